#pragma once
// Writes the test report as PDF files: the main file (settings, comments and
// the main results of channel A and/or B side by side), the records table
// ("_table", landscape) and the histograms ("_chart", landscape). Everything
// is painted in printer pixels (A4, 1200 dpi, full page) as a grid of rows
// 200 pixels high.

#include "proto/model.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class ChartWidget;
class RowCursor;
struct ReportRow;
class QPainter;
class QPrinter;
class QProgressDialog;
class ReportDialog;

class PDFCreator : public QObject
{
    Q_OBJECT

public:
    explicit PDFCreator(QObject* parent = nullptr);
    ~PDFCreator() override;

    // The data model the report reads (the device link's); not owned.
    void set_model(const Model* model);
    // Chart A and chart B of the histograms window; not owned.
    void set_charts(ChartWidget* a, ChartWidget* b);

    ReportDialog* dialog() const { return dialog_; }
    bool busy() const { return busy_; }

    // The name of a companion file: `suffix` goes before the last four
    // characters of `name` ("r.pdf" gives "r_table.pdf").
    static QString companion_name(const QString& name, const QString& suffix);

    // What a report holds: the main file (settings, comments, the results of
    // the chosen channels) and, if chosen, the records table and the charts
    // in its companions "_table" and "_chart".
    struct Contents {
        QString file;
        bool main_a = true;
        bool main_b = true;
        bool table = false;
        bool chart = false;
        QString comments;
    };
    // The files of `c`, the main file first.
    static QStringList file_names(const Contents& c);
    // Writes the files of `c` from the model as it is now, asking nothing and
    // showing nothing; returns those that could not be written.
    QStringList write_report(const Contents& c);

    // Each writes one file and tells whether it was written. Used by
    // write_report() in turn, all three from one copy of the model; public so
    // that each file can be timed alone.
    bool write_main_file(const QString& file, bool main_a, bool main_b, const QString& comments);
    bool write_table_file(const QString& file);
    bool write_chart_file(const QString& file);

    // Seams, replaced by tests so that nothing modal blocks.
    // Runs the report dialog modally; returns the dialog's result code.
    static std::function<int(ReportDialog&)> exec_dialog;
    // Shows a message box (kind, text) with one OK button, no parent, empty title.
    static std::function<void(QMessageBox::Icon, const QString&)> message_box;
    // Asks whether to replace the files of an earlier report (the question's
    // text); true for yes.
    static std::function<bool(const QString&)> confirm_replace;
    // Time after which the progress dialog of a long report shows itself (ms).
    static int progress_delay_ms;

public slots:
    void create_pdf();

private:
    // The blocks of the main file, as the rows that draw them.
    QList<ReportRow> settings_rows() const;
    QList<ReportRow> comment_rows(QPainter& p, int width, const QString& text) const;
    QList<ReportRow> results_rows(int channel) const;
    // The channel's verdicts against the objectives, after its results.
    QList<ReportRow> verdict_rows(int channel) const;
    // Draws `rows` at left x, k pixels wide (the column width), from the
    // cursor down; a row that wants more room than is left starts a new page.
    void draw_rows(QPainter& p, RowCursor& cursor, int x, int k, const QList<ReportRow>& rows) const;
    void table_pages(QPainter& p, QPrinter& printer);
    void chart_pages(QPainter& p, QPrinter& printer);

    // Opens `printer` on `file` in the given orientation; false when the
    // file cannot be opened for writing.
    bool begin(QPainter& p, QPrinter& printer, const QString& file, bool landscape);
    bool finish(QPainter& p, const QString& file);
    void step_progress(int n);

    // The model a report reads: the copy taken for it while one is written,
    // else the device link's.
    const Model& source() const;

    const Model* model_ = nullptr;
    const Model* snapshot_ = nullptr;
    ChartWidget* chart_a_ = nullptr;
    ChartWidget* chart_b_ = nullptr;
    bool busy_ = false;
    ReportDialog* dialog_;
    QImage check_;
    QImage uncheck_;
    QProgressDialog* progress_ = nullptr;
};
