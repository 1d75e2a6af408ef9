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

    bool comments() const { return comments_; }
    QString comments_text() const { return comments_text_; }
    bool main_a() const { return main_a_; }
    bool main_b() const { return main_b_; }
    bool table() const { return table_; }
    bool chart() const { return chart_; }
    bool events() const { return events_; }
    QString file_name() const { return file_name_; }

    Ui::ReportDialog* form() const { return ui_; }

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
    void cbEventsToggled(bool on);
    void bFileClicked();

private:
    Ui::ReportDialog* ui_;
    bool comments_ = false;
    bool main_a_ = true;
    bool main_b_ = true;
    bool table_ = true;
    bool chart_ = true;
    bool events_ = true;
    QString comments_text_;
    QString file_name_;
};
