#pragma once
// Menu bar of the main window: setups in files, the objectives allocation,
// the CSV export and Exit; the records-table, histograms and event-log
// windows, the PDF report; the about boxes.

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
    void set_table_window(QWidget* w) { table_window_ = w; }
    void set_histograms_window(QWidget* w) { histograms_window_ = w; }
    void set_events_window(QWidget* w) { events_window_ = w; }
    QWidget* tableWindow() const { return table_window_; }
    QWidget* histogramsWindow() const { return histograms_window_; }

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
    QAction* aExportCsv = nullptr;
    QAction* aEvents = nullptr;

signals:
    void create_pdf();
    // The main window asks for the file or the value and does the work.
    void save_settings();
    void load_settings();
    void set_allocation();
    // The user asked for the records, results and event log as CSV files.
    void export_csv();

public slots:
    void aTableTriggered();
    void aHistogramsTriggered();
    void aReportsTriggered();
    void aEventsTriggered();

private:
    static void show_window(QWidget* w);

    QWidget* table_window_ = nullptr;
    QWidget* histograms_window_ = nullptr;
    QWidget* events_window_ = nullptr;
};
