#pragma once
// Options of the PDF report: which parts to write and where. One instance
// lives as long as the report writer, so the choices carry over from one
// report to the next.

#include <QDialog>
#include <QString>
#include <functional>

namespace Ui {
class ReportDialog;
}

class ReportDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ReportDialog(QWidget* parent = nullptr);
    ~ReportDialog() override;

    bool comments() const { return m_comments; }
    QString comments_text() const { return m_comments_text; }
    bool main_a() const { return m_main_a; }
    bool main_b() const { return m_main_b; }
    bool table() const { return m_table; }
    bool chart() const { return m_chart; }
    QString file_name() const { return m_file_name; }

    Ui::ReportDialog* form() const { return ui; }

    // The save-file dialog (parent, caption, directory, filter). Tests put a
    // function here that answers without a window.
    static std::function<QString(QWidget*, const QString&, const QString&, const QString&)> save_file_name;

public slots:
    void cbCommentsToggled(bool on);
    void teCommentsTextChanged();
    void cbMainAToggled(bool on);
    void cbMainBToggled(bool on);
    void cbTableToggled(bool on);
    void cbChartToggled(bool on);
    void bFileClicked();

private:
    Ui::ReportDialog* ui;
    bool m_comments = false;
    bool m_main_a = true;
    bool m_main_b = true;
    bool m_table = true;
    bool m_chart = true;
    QString m_comments_text;
    QString m_file_name;
};
