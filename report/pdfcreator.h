#pragma once
// Writes the test report as PDF files: the main file (settings, comments and
// the main results of channel A and/or B side by side), the records table
// ("_table", landscape) and the histograms ("_chart", landscape). Everything
// is painted in printer pixels (A4, 1200 dpi, full page) as a grid of rows
// 200 pixels high.

#include "model.h"

#include <QColor>
#include <QImage>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class ChartWidget;
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

    ReportDialog* dialog() const { return m_dialog; }
    bool busy() const { return m_busy; }

    // The name of a companion file: `suffix` goes before the last four
    // characters of `name` ("r.pdf" gives "r_table.pdf").
    static QString companion_name(const QString& name, const QString& suffix);

    // Each writes one file and tells whether it was written. Used by
    // create_pdf() in turn, all three from one copy of the model taken when
    // the dialog was accepted; public so that each file can be timed alone.
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
    // Row primitives: each draws at left x and the current y, then moves y
    // down one row.
    void header_row(QPainter& p, int x, const QString& text, int rows_needed, const QColor& colour);
    void pair_row(QPainter& p, int x, const QString& label, const QString& value);
    void check_row(QPainter& p, int x, const QString& label, bool flag);
    void three_row(QPainter& p, int x, const QString& t1, const QString& t2, const QString& t3);
    void four_row(QPainter& p, int x, const QString& t1, const QString& t2, const QString& t3,
                  const QString& t4);
    void cell(QPainter& p, int x, int w, const QString& text, bool filled, const QColor& fill);

    void settings_block(QPainter& p, int x);
    void comments_block(QPainter& p, int x, const QString& text);
    void results_section(QPainter& p, int x, int channel);
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

    const Model* m_model = nullptr;
    const Model* m_snapshot = nullptr;
    ChartWidget* m_chart_a = nullptr;
    ChartWidget* m_chart_b = nullptr;
    bool m_busy = false;
    ReportDialog* m_dialog;
    QImage m_check;
    QImage m_uncheck;
    int K = 5000;
    int m_y = 0;
    int m_page_h = 0;
    QPrinter* m_printer = nullptr;
    QProgressDialog* m_progress = nullptr;
};
