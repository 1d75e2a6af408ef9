#pragma once
// Menu bar of the main window: setups in files, the objectives allocation,
// Exit, the records-table and histograms windows, the PDF report, and the
// about boxes.

#include <QMenuBar>

class AboutDialog;
class QAction;

class MainMenu : public QMenuBar {
    Q_OBJECT
public:
    explicit MainMenu(QWidget* parent = nullptr);
    ~MainMenu() override;

    // The windows shown by the Windows menu; not owned. Until one is set its
    // action does nothing.
    void set_table_window(QWidget* w) { table_window = w; }
    void set_histograms_window(QWidget* w) { histograms_window = w; }
    QWidget* tableWindow() const { return table_window; }
    QWidget* histogramsWindow() const { return histograms_window; }

    AboutDialog* about = nullptr;
    QAction* aSaveSettings = nullptr;
    QAction* aLoadSettings = nullptr;
    QAction* aAllocation = nullptr;
    QAction* aExit = nullptr;
    QAction* aTable = nullptr;
    QAction* aHistograms = nullptr;
    QAction* aReports = nullptr;
    QAction* aAbout = nullptr;
    QAction* aAboutQt = nullptr;

signals:
    void create_pdf();
    // The main window asks for the file or the value and does the work.
    void save_settings();
    void load_settings();
    void set_allocation();

public slots:
    void aTableTriggered();
    void aHistogramsTriggered();
    void aReportsTriggered();

private:
    QWidget* table_window = nullptr;
    QWidget* histograms_window = nullptr;
};
