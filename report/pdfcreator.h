#pragma once
// Writes the test report as PDF files: the main file (when and from what it
// was made, settings, comments, the main results of channel A and/or B side by
// side, the event log), the records table ("_table", landscape) and the
// histograms ("_chart", landscape). Every page carries the report's name and
// its number among the file's pages. Everything is painted in printer pixels
// (A4, 1200 dpi, full page) as a grid of rows 200 pixels high.

#include "events/eventlog.h"
#include "proto/model.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
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
    // The event log, for the main file's header block and its log section; not owned.
    void set_event_log(const EventLog* log);

    ReportDialog* dialog() const { return dialog_; }
    bool busy() const { return busy_; }

    // The name of a companion file: `suffix` goes before the last four
    // characters of `name` ("r.pdf" gives "r_table.pdf").
    static QString companion_name(const QString& name, const QString& suffix);

    // What a report holds: the main file (settings, comments, the results of
    // the chosen channels, the event log) and, if chosen, the records table
    // and the charts in its companions "_table" and "_chart".
    struct Contents {
        QString file;
        bool main_a = true;
        bool main_b = true;
        bool table = false;
        bool chart = false;
        bool events = false;
        QString comments;
    };
    // The files of `c`, the main file first.
    static QStringList file_names(const Contents& c);
    // Writes the files of `c` from the model as it is now, asking nothing and
    // showing nothing; returns those that could not be written.
    QStringList write_report(const Contents& c);

    // Each writes one file of `c` and tells whether it was written. Used by
    // write_report() in turn, all three from one copy of the model; public so
    // that each file can be timed alone.
    bool write_main_file(const Contents& c);
    bool write_table_file(const Contents& c);
    bool write_chart_file(const Contents& c);

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
    // The event log as a report reads it: the copy taken for it, like the model's.
    struct LogCopy {
        QList<LogEvent> events;
        int dropped = 0;
        QDateTime started;
    };

    // The blocks of the main file, as the rows that draw them.
    QList<ReportRow> header_rows() const;
    QList<ReportRow> settings_rows() const;
    QList<ReportRow> comment_rows(QPainter& p, int width, const QString& text) const;
    QList<ReportRow> results_rows(int channel) const;
    // The channel's verdicts against the objectives, after its results.
    QList<ReportRow> verdict_rows(int channel) const;
    QList<ReportRow> log_rows() const;
    // Draws `rows` at left x, k pixels wide (the column width), from the
    // cursor down; a row that wants more room than is left starts a new page.
    // With `p` null it only moves the cursor (the pass that counts pages).
    void draw_rows(QPainter* p, RowCursor& cursor, int x, int k, const QList<ReportRow>& rows);
    void table_pages(QPainter& p, QPrinter& printer);
    void chart_pages(QPainter& p, QPrinter& printer);
    // The report's name and "page N of M" under the page's content, which
    // spans left to right.
    void page_mark(QPainter& p, int left, int right, int page, int pages);

    // Opens `printer` on `file` in the given orientation; false when the
    // file cannot be opened for writing.
    bool begin(QPainter& p, QPrinter& printer, const QString& file, bool landscape);
    bool finish(QPainter& p, const QString& file);
    void step_progress(int n);

    // The model a report reads: the copy taken for it while one is written,
    // else the device link's.
    const Model& source() const;
    // The same for the event log.
    LogCopy log_source() const;

    const Model* model_ = nullptr;
    const Model* snapshot_ = nullptr;
    const EventLog* log_ = nullptr;
    const LogCopy* log_snapshot_ = nullptr;
    // When the report being written was made, and the name its pages carry.
    QDateTime made_;
    QString name_;
    const QFont mark_font_{QStringLiteral("Arial"), 9, QFont::Normal, false};
    int mark_pages_ = -1;  // the page count the width below was measured for
    int mark_width_ = 0;
    ChartWidget* chart_a_ = nullptr;
    ChartWidget* chart_b_ = nullptr;
    bool busy_ = false;
    ReportDialog* dialog_;
    QImage check_;
    QImage uncheck_;
    QProgressDialog* progress_ = nullptr;
};
