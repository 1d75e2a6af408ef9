#include "report/pdfcreator.h"
#include "report/reportdialog.h"

#include "proto/formats.h"
#include "proto/instrument.h"
#include "proto/ratios.h"
#include "proto/verdicts.h"
#include "records/chartwidget.h"
#include "records/numericglyphs.h"
#include "records/tableform.h"
#include "report/reportrows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGlyphRun>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QProgressDialog>
#include <QTextLayout>

#include <memory>

namespace {

const int ROW_H = 200;
const int TEXT_DX = 30;
const int TEXT_DY = 170;
const int K_PAGE = 5000;
const int K_SECTION = 3800;
const int IMAGE_SIZE = 180;
// Width of an A4 page in landscape at 1200 dpi, full page.
const int A4_LANDSCAPE_W = 14033;

const QColor LABEL_FILL(217, 217, 217);
const QColor HEADER_FILL(102, 255, 255);
const QColor PEN_COLOUR(31, 31, 31);

// Base widths of the 20 table columns; they add up to 905.
const int TABLE_BASE[20] = {70, 40, 40, 40, 40, 40, 60, 40, 60, 50,
                            60, 5,  40, 40, 40, 40, 40, 60, 40, 60};

const char* const SEQ_NAMES[8] = {
    QT_TRANSLATE_NOOP("PDFCreator", "PCP 2^7-1"),
    QT_TRANSLATE_NOOP("PDFCreator", "PCP 2^11-1"),
    QT_TRANSLATE_NOOP("PDFCreator", "PCP 2^15-1"),
    QT_TRANSLATE_NOOP("PDFCreator", "PCP 2^20-1"),
    QT_TRANSLATE_NOOP("PDFCreator", "DWORD 32bits"),
    QT_TRANSLATE_NOOP("PDFCreator", "Word + Alt. word"),
    QT_TRANSLATE_NOOP("PDFCreator", "Octet 55"),
    QT_TRANSLATE_NOOP("PDFCreator", "PCP 2^9-1"),
};

const char* const TABLE_HEADER[20] = {
    QT_TRANSLATE_NOOP("PDFCreator", "Time"),     QT_TRANSLATE_NOOP("PDFCreator", "Bin"),
    QT_TRANSLATE_NOOP("PDFCreator", "Code"),     QT_TRANSLATE_NOOP("PDFCreator", "Cycle"),
    QT_TRANSLATE_NOOP("PDFCreator", "CRC"),      QT_TRANSLATE_NOOP("PDFCreator", "E-bit"),
    QT_TRANSLATE_NOOP("PDFCreator", "No entry"), QT_TRANSLATE_NOOP("PDFCreator", "SIAS"),
    QT_TRANSLATE_NOOP("PDFCreator", "No cycle"), QT_TRANSLATE_NOOP("PDFCreator", "Jitter"),
    QT_TRANSLATE_NOOP("PDFCreator", "Jitter HF"), nullptr,
    QT_TRANSLATE_NOOP("PDFCreator", "Bin"),      QT_TRANSLATE_NOOP("PDFCreator", "Code"),
    QT_TRANSLATE_NOOP("PDFCreator", "Cycle"),    QT_TRANSLATE_NOOP("PDFCreator", "CRC"),
    QT_TRANSLATE_NOOP("PDFCreator", "E-bit"),    QT_TRANSLATE_NOOP("PDFCreator", "No entry"),
    QT_TRANSLATE_NOOP("PDFCreator", "SIAS"),     QT_TRANSLATE_NOOP("PDFCreator", "No cycle"),
};

// The channel's name as the report's headers write it.
QString channel_title(int channel)
{
    return QCoreApplication::translate("PDFCreator", "Channel") + (channel == 0 ? " A" : " B");
}

// The legend of the charts, in the order of their bars; the screen's words.
const char* const LEGEND[5] = {
    QT_TRANSLATE_NOOP("PDFCreator", "Binary errors"), QT_TRANSLATE_NOOP("PDFCreator", "Code errors"),
    QT_TRANSLATE_NOOP("PDFCreator", "Frame errors"),  QT_TRANSLATE_NOOP("PDFCreator", "CRC-4 errors"),
    QT_TRANSLATE_NOOP("PDFCreator", "E-bit errors"),
};

// Shares of the event log's width taken by its columns (time, elapsed,
// channel, event), in percent.
const int LOG_SHARE[EventLog::COLUMNS] = {26, 21, 8, 45};

// Records per chart page for a page W printer pixels wide; at least one.
int records_per_chart_page(int W)
{
    return qMax(1, ChartWidget::slot_count(26 * W / 30, true));
}

QString bits16(quint16 w)
{
    return QString("%1").arg(w, 16, 2, QChar('0'));
}

// Check box pictures for the report, should the resource images be missing.
QImage drawn_box(bool ticked)
{
    QImage img(IMAGE_SIZE, IMAGE_SIZE, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(31, 31, 31), 12));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(8, 8, IMAGE_SIZE - 16, IMAGE_SIZE - 16));
    if (ticked) {
        QPainterPath tick;
        tick.moveTo(40, 92);
        tick.lineTo(76, 132);
        tick.lineTo(142, 48);
        p.setPen(QPen(QColor(31, 31, 31), 22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    return img;
}

QImage load_box(const char* path, bool ticked)
{
    QImage img(QString::fromLatin1(path));
    if (img.isNull())
        return drawn_box(ticked);
    return img.scaled(IMAGE_SIZE, IMAGE_SIZE, Qt::KeepAspectRatio, Qt::FastTransformation);
}

// Texts drawn on thousands of pages alike: shaped once, and kept as few
// glyph runs as their fonts allow, since every text drawn costs the file
// writer about as much as a chart's worth of lines.
class ShapedTexts {
public:
    // Adds `text` with its baseline starting at `at`.
    void add(const QString& text, const QFont& font, QPaintDevice* device, QPointF at)
    {
        QTextLayout layout(text, font, device);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        if (!line.isValid()) {
            layout.endLayout();
            return;
        }
        line.setPosition(QPointF(0, 0));
        layout.endLayout();
        const QPointF shift = at - QPointF(0, line.ascent());
        for (const QGlyphRun& run : layout.glyphRuns()) {
            QList<QPointF> positions = run.positions();
            for (QPointF& pos : positions)
                pos += shift;
            if (!runs_.isEmpty() && runs_.last().rawFont() == run.rawFont()) {
                QGlyphRun& last = runs_.last();
                last.setGlyphIndexes(last.glyphIndexes() + run.glyphIndexes());
                last.setPositions(last.positions() + positions);
            } else {
                QGlyphRun copy = run;
                copy.setPositions(positions);
                runs_ << copy;
            }
        }
    }
    void draw(QPainter& p) const
    {
        for (const QGlyphRun& run : runs_)
            p.drawGlyphRun(QPointF(0, 0), run);
    }

private:
    QList<QGlyphRun> runs_;
};

// The glyphs of the file being written; dropped when it is finished, so that
// no font outlives the report (nor the application).
std::unique_ptr<NumericGlyphs> numeric_glyphs;

// Draws `text` at the text origin of a cell `w` pixels wide. A text longer
// than the cell is drawn in a smaller size of the same font, so that it does
// not run into the next cell.
void cell_text(QPainter& p, int x, int y, int w, const QString& text)
{
    if (text.isEmpty())
        return;
    if (!numeric_glyphs)
        numeric_glyphs = std::make_unique<NumericGlyphs>();
    NumericGlyphs& numeric = *numeric_glyphs;
    const int room = w - 2 * TEXT_DX;
    const bool ready = numeric.prepare(p);
    if (ready && numeric.draw(p, x + TEXT_DX, y + TEXT_DY, text, room))
        return;
    if (room <= 0 || (ready && numeric.surely_fits(text, room))) {
        p.drawText(x + TEXT_DX, y + TEXT_DY, text);
        return;
    }
    const int advance = p.fontMetrics().horizontalAdvance(text);
    if (advance <= room) {
        p.drawText(x + TEXT_DX, y + TEXT_DY, text);
        return;
    }
    const QFont saved = p.font();
    QFont small = saved;
    if (saved.pointSizeF() > 0)
        small.setPointSizeF(saved.pointSizeF() * room / advance);
    else
        small.setPixelSize(qMax(1, saved.pixelSize() * room / advance));
    p.setFont(small);
    p.drawText(x + TEXT_DX, y + TEXT_DY, text);
    p.setFont(saved);
}

// One cell of a row whose top is y: filled with `fill` when it is valid,
// outlined with the current pen, and its text.
void cell(QPainter& p, int x, int y, int w, const QString& text, const QColor& fill = QColor(), bool outline = true)
{
    const QRect r(x, y, w, ROW_H);
    if (fill.isValid())
        p.fillRect(r, fill);
    if (outline) {
        p.setBrush(Qt::NoBrush);
        p.drawRect(r);
    }
    cell_text(p, x, y, w, text);
}

// An empty model stands in until the main window hands over the real one.
const Model& empty_model()
{
    static const Model EMPTY;
    return EMPTY;
}

} // namespace

const Model& PDFCreator::source() const
{
    return snapshot_ ? *snapshot_ : model_ ? *model_ : empty_model();
}

std::function<int(ReportDialog&)> PDFCreator::exec_dialog = [](ReportDialog& d) { return d.exec(); };

std::function<void(QMessageBox::Icon, const QString&)> PDFCreator::message_box =
    [](QMessageBox::Icon icon, const QString& text) {
        QMessageBox box(icon, QString(), text, QMessageBox::Ok);
        box.exec();
    };

std::function<bool(const QString&)> PDFCreator::confirm_replace = [](const QString& text) {
    return QMessageBox::question(nullptr, QString(), text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
};

int PDFCreator::progress_delay_ms = 700;

PDFCreator::PDFCreator(QObject* parent)
    : QObject(parent),
      dialog_(new ReportDialog(nullptr)),
      check_(load_box(":img/check.png", true)),
      uncheck_(load_box(":img/uncheck.png", false))
{
}

PDFCreator::~PDFCreator()
{
    delete dialog_;
}

void PDFCreator::set_model(const Model* model)
{
    model_ = model;
}

void PDFCreator::set_charts(ChartWidget* a, ChartWidget* b)
{
    chart_a_ = a;
    chart_b_ = b;
}

void PDFCreator::set_event_log(const EventLog* log)
{
    log_ = log;
}

PDFCreator::LogCopy PDFCreator::log_source() const
{
    if (log_snapshot_)
        return *log_snapshot_;
    if (!log_)
        return {};
    return {log_->events(), log_->dropped(), log_->test_started()};
}

QString PDFCreator::companion_name(const QString& name, const QString& suffix)
{
    const qsizetype at = qMax<qsizetype>(0, name.size() - 4);
    return name.left(at) + suffix + name.mid(at);
}

void PDFCreator::create_pdf()
{
    if (busy_) {
        message_box(QMessageBox::Warning,
                    tr("Report creation proccess is busy now. Please wait until it finish."));
        return;
    }
    if (exec_dialog(*dialog_) != QDialog::Accepted)
        return;

    // Cleared on every way out: a report that failed must not lock the next one.
    struct BusyGuard {
        bool& flag;
        const Model*& snapshot;
        const LogCopy*& log_snapshot;
        ~BusyGuard() { flag = false, snapshot = nullptr, log_snapshot = nullptr; }
    } guard{busy_, snapshot_, log_snapshot_};
    busy_ = true;

    // All three files show the records as they were when OK was pressed: the
    // device link may append, or empty the list for a new test, while the
    // progress dialog lets events through. The copy shares the data until then.
    // No report is being written yet, so source() is the device link's model.
    const Model snapshot = source();
    snapshot_ = &snapshot;
    const LogCopy log = log_source();
    log_snapshot_ = &log;
    Contents c;
    c.file = dialog_->file_name();
    c.main_a = dialog_->main_a();
    c.main_b = dialog_->main_b();
    c.table = dialog_->table();
    c.chart = dialog_->chart();
    c.events = dialog_->events();
    c.comments = dialog_->comments() ? dialog_->comments_text() : QString();

    // The dialog keeps the last name, so OK again would silently replace the
    // previous report.
    QStringList existing;
    for (const QString& name : file_names(c))
        if (QFileInfo::exists(name))
            existing << QDir::toNativeSeparators(name);
    if (!existing.isEmpty()
        && !confirm_replace(tr("These files already exist:\n%1\nReplace them?").arg(existing.join('\n'))))
        return;

    // A month-long test gives thousands of pages; show how far along we are.
    // Modal, so that nothing else is started meanwhile, and it keeps the
    // device link served while the files are written.
    int units = 0;
    if (c.events)
        units += int(log.events.size());
    if (c.table)
        units += int(snapshot.records.size());
    if (c.chart && !snapshot.records.isEmpty()) {
        const int per_page = records_per_chart_page(A4_LANDSCAPE_W);
        units += int((snapshot.records.size() + per_page - 1) / per_page);
    }
    if (units > 0) {
        progress_ = new QProgressDialog(tr("Writing the report..."), QString(), 0, units);
        progress_->setWindowModality(Qt::ApplicationModal);
        progress_->setMinimumDuration(progress_delay_ms);
        progress_->setAutoClose(false);
        progress_->setAutoReset(false);
        progress_->setValue(0);
    }

    const QStringList failed = write_report(c);

    delete progress_;
    progress_ = nullptr;

    if (failed.isEmpty())
        message_box(QMessageBox::Information, tr("Report creation finished."));
    else
        message_box(QMessageBox::Warning,
                    tr("The report could not be written to:\n%1").arg(failed.join('\n')));
}

QStringList PDFCreator::file_names(const Contents& c)
{
    QStringList names{c.file};
    if (c.table)
        names << companion_name(c.file, "_table");
    if (c.chart)
        names << companion_name(c.file, "_chart");
    return names;
}

QStringList PDFCreator::write_report(const Contents& c)
{
    // All files show one moment of the model (create_pdf()'s copy when it
    // took one), whatever the device link receives meanwhile.
    const Model snapshot = source();
    const Model* const outer = snapshot_;
    snapshot_ = &snapshot;
    const LogCopy log = log_source();
    const LogCopy* const outer_log = log_snapshot_;
    log_snapshot_ = &log;
    made_ = QDateTime::currentDateTime();
    const QStringList names = file_names(c);
    QStringList failed;
    if (!write_main_file(c))
        failed << names[0];
    if (c.table && !write_table_file(c))
        failed << names[1];
    if (c.chart && !write_chart_file(c))
        failed << names.last();
    snapshot_ = outer;
    log_snapshot_ = outer_log;
    made_ = QDateTime();
    return failed;
}

bool PDFCreator::begin(QPainter& p, QPrinter& printer, const QString& file, bool landscape)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setOutputFileName(file);
    if (file.isEmpty())
        return false;
    return p.begin(&printer);
}

bool PDFCreator::finish(QPainter& p, const QString& file)
{
    const bool ended = p.end();
    numeric_glyphs.reset();
    const QFileInfo info(file);
    return ended && info.exists() && info.size() > 0;
}

void PDFCreator::step_progress(int n)
{
    if (progress_)
        progress_->setValue(qMin(progress_->maximum(), progress_->value() + n));
}

bool PDFCreator::write_main_file(const Contents& c)
{
    const QString file = c.file;
    QPrinter printer(QPrinter::HighResolution);
    QPainter p;
    if (!begin(p, printer, file, false))
        return false;
    p.setPen(PEN_COLOUR);
    p.setFont(QFont("Arial", 11, QFont::Normal, false));
    name_ = QFileInfo(c.file).fileName();

    const int W = p.viewport().width();
    const int H = p.viewport().height();
    const int x0 = 2 * W / 21;
    const int right = W / 2 + K_SECTION; // where channel B's section ends

    // Settings and results only of an instrument that sent them: defaults
    // must not pass for its figures.
    const bool measured = !source().raw_cfg[0].isEmpty();
    QList<ReportRow> head = header_rows();
    if (measured)
        head += settings_rows();
    if (!c.comments.trimmed().isEmpty())
        head += comment_rows(p, K_PAGE, c.comments);
    const QList<ReportRow> section_a = measured && c.main_a ? results_rows(0) : QList<ReportRow>();
    const QList<ReportRow> section_b = measured && c.main_b ? results_rows(1) : QList<ReportRow>();
    const QList<ReportRow> log = c.events ? log_rows() : QList<ReportRow>();

    // Laid out twice, alike: first only counting the pages, then drawing.
    auto lay_out = [&](QPainter* painter, RowCursor& cursor) {
        draw_rows(painter, cursor, x0, K_PAGE, head);
        // The two sections stand side by side, so neither may break its page
        // on its own: start them on a fresh page when the longer would not fit.
        cursor.keep(int(qMax(section_a.size(), section_b.size())));
        const int y1 = cursor.y;
        draw_rows(painter, cursor, x0, K_SECTION, section_a);
        const int below_a = cursor.y;
        cursor.y = y1;
        draw_rows(painter, cursor, W / 2, K_SECTION, section_b);
        cursor.y = qMax(cursor.y, below_a);
        draw_rows(painter, cursor, x0, right - x0, log);
    };
    RowCursor count(nullptr, H / 15, 28 * H / 30, ROW_H);
    lay_out(nullptr, count);
    const int pages = count.page;

    RowCursor cursor(&printer, H / 15, 28 * H / 30, ROW_H);
    cursor.page_done = [&](int page) { page_mark(p, x0, right, page, pages); };
    lay_out(&p, cursor);
    page_mark(p, x0, right, cursor.page, pages);
    return finish(p, file);
}

bool PDFCreator::write_table_file(const Contents& c)
{
    const QString file = companion_name(c.file, "_table");
    QPrinter printer(QPrinter::HighResolution);
    QPainter p;
    if (!begin(p, printer, file, true))
        return false;
    name_ = QFileInfo(c.file).fileName();
    table_pages(p, printer);
    return finish(p, file);
}

bool PDFCreator::write_chart_file(const Contents& c)
{
    const QString file = companion_name(c.file, "_chart");
    QPrinter printer(QPrinter::HighResolution);
    QPainter p;
    if (!begin(p, printer, file, true))
        return false;
    name_ = QFileInfo(c.file).fileName();
    chart_pages(p, printer);
    return finish(p, file);
}

void PDFCreator::page_mark(QPainter& p, int left, int right, int page, int pages)
{
    const int H = p.viewport().height();
    const int base = H - H / 30;
    const QFont saved = p.font();
    const QPen saved_pen = p.pen();
    p.setFont(mark_font_);
    p.setPen(PEN_COLOUR);
    // All marks of a file start where the widest ends at the right edge:
    // measured once, not on each of thousands of pages.
    if (mark_pages_ != pages) {
        mark_pages_ = pages;
        mark_width_ = p.fontMetrics().horizontalAdvance(tr("page %1 of %2").arg(pages).arg(pages));
    }
    p.drawText(left, base, name_);
    p.drawText(right - mark_width_, base, tr("page %1 of %2").arg(page).arg(pages));
    p.setFont(saved);
    p.setPen(saved_pen);
}

// ---- main file --------------------------------------------------------------

void PDFCreator::draw_rows(QPainter* p, RowCursor& cursor, int x, int k, const QList<ReportRow>& rows)
{
    int log_x[EventLog::COLUMNS + 1] = {x};
    for (int i = 0; i < EventLog::COLUMNS; ++i)
        log_x[i + 1] = i + 1 == EventLog::COLUMNS ? x + k : log_x[i] + k * LOG_SHARE[i] / 100;
    const ReportRow* log_names = nullptr;
    int since_step = 0;

    for (const ReportRow& row : rows) {
        if (cursor.keep(row.keep) && row.kind == ReportRow::LOG && !row.flag && log_names) {
            // The log runs onto a new page: its column names first.
            if (p)
                for (int i = 0; i < EventLog::COLUMNS; ++i)
                    cell(*p, log_x[i], cursor.y, log_x[i + 1] - log_x[i], log_names->text[i], LABEL_FILL);
            cursor.next();
        }
        if (row.kind == ReportRow::LOG && row.flag)
            log_names = &row;
        if (!p) {
            cursor.next();
            continue;
        }
        const int y = cursor.y;
        const QString* t = row.text;
        switch (row.kind) {
        case ReportRow::BLANK:
            break;
        case ReportRow::HEADER:
            cell(*p, x, y, k, t[0], HEADER_FILL);
            break;
        case ReportRow::LINE:
            cell(*p, x, y, k, t[0]);
            break;
        case ReportRow::PAIR:
            cell(*p, x, y, k / 2, t[0], LABEL_FILL);
            cell(*p, x + k / 2, y, k / 2, t[1]);
            break;
        case ReportRow::CHECK:
            cell(*p, x, y, k / 2, t[0], LABEL_FILL);
            cell(*p, x + k / 2, y, k / 2, QString());
            p->drawImage(QPoint(x + k / 2 + TEXT_DX, y + 10), row.flag ? check_ : uncheck_);
            break;
        case ReportRow::THREE:
            cell(*p, x, y, k / 3, t[0], LABEL_FILL);
            cell(*p, x + k / 3, y, k / 3, t[1]);
            cell(*p, x + 2 * k / 3, y, k / 3, t[2]);
            break;
        case ReportRow::FOUR:
            cell(*p, x, y, k / 4, t[0], LABEL_FILL);
            cell(*p, x + k / 4, y, k / 4, t[1]);
            cell(*p, x + k / 2, y, k / 4, t[2], LABEL_FILL);
            cell(*p, x + 3 * k / 4, y, k / 4, t[3]);
            break;
        case ReportRow::LOG:
            for (int i = 0; i < EventLog::COLUMNS; ++i)
                cell(*p, log_x[i], y, log_x[i + 1] - log_x[i], t[i], row.flag ? LABEL_FILL : QColor());
            if (!row.flag && ++since_step == 100) {
                step_progress(since_step);
                since_step = 0;
            }
            break;
        }
        cursor.next();
    }
    step_progress(since_step);
}

QList<ReportRow> PDFCreator::header_rows() const
{
    const Model& m = source();
    const QDateTime made = made_.isValid() ? made_ : QDateTime::currentDateTime();
    QList<ReportRow> rows{
        ReportRow::header(tr("Report"), 7),
        ReportRow::pair(tr("Report made"), made.toString("yyyy-MM-dd hh:mm:ss")),
    };
    if (!m.identified)
        rows << ReportRow::line(tr("Instrument not connected"));
    if (m.identified || !m.raw_cfg[0].isEmpty()) {
        // The test as last received; while no instrument is connected a
        // test that was running may have ended since.
        const quint32 T = m.results[0].elapsed_s;
        const bool running = m.common.test_running != 0;
        QDateTime start = log_source().started;
        if (!start.isValid() && running && m.identified)
            start = made.addSecs(-qint64(T));
        const QString state = running ? (m.identified ? tr("Running") : tr("Unknown"))
                              : timed_test_done(m.common, T) ? tr("Timed test finished")
                                                             : tr("Stopped");
        rows << ReportRow::pair(m.identified ? tr("Instrument") : tr("Last instrument"),
                                instrument_name(m.device_id) + ", "
                                    + tr("firmware version %1").arg(firmware_text(m.device_version)))
             << ReportRow::pair(tr("Test started"), start.isValid() ? start.toString("yyyy-MM-dd hh:mm:ss")
                                                                    : tr("Unknown"))
             << ReportRow::pair(tr("Duration"), elapsed_text(T))
             << ReportRow::pair(tr("Test state"), state);
    }
    rows << ReportRow::blank();
    return rows;
}

QList<ReportRow> PDFCreator::log_rows() const
{
    const LogCopy log = log_source();
    QList<ReportRow> rows{
        ReportRow::blank(),
        ReportRow::header(tr("Event log"), 3),
    };
    if (log.dropped > 0)
        rows << ReportRow::line(tr("Earlier events not kept: %1").arg(log.dropped));
    if (log.events.isEmpty()) {
        rows << ReportRow::line(tr("No events"));
        return rows;
    }
    rows << ReportRow::log(EventLog::column_name(0), EventLog::column_name(1), EventLog::column_name(2),
                           EventLog::column_name(3), true);
    rows.reserve(rows.size() + log.events.size());
    for (const LogEvent& e : log.events)
        rows << ReportRow::log(EventLog::cell_text(e, 0), EventLog::cell_text(e, 1), EventLog::cell_text(e, 2),
                               EventLog::cell_text(e, 3), false);
    return rows;
}

QList<ReportRow> PDFCreator::settings_rows() const
{
    const CommonSettings& c = source().common;
    const QString time = c.timed_measurement ? two_digits(c.meas_days) + tr("d") + ' ' + two_digits(c.meas_hours)
                                                   + tr("h") + ' ' + two_digits(c.meas_minutes) + tr("m")
                                             : tr("Current");
    return {
        ReportRow::header(tr("Settings"), 10),
        ReportRow::pair(tr("Sequence type"), c.seq_type < 8 ? tr(SEQ_NAMES[c.seq_type]) : QString()),
        ReportRow::pair(tr("Word #1"), bits16(c.word)),
        ReportRow::pair(tr("Word #2"), bits16(c.alt_word)),
        ReportRow::check(tr("Transmit & receive settings"), c.rxtx_jointly != 0),
        ReportRow::pair(tr("Test time"), time),
        ReportRow::blank(),
    };
}

QList<ReportRow> PDFCreator::comment_rows(QPainter& p, int width, const QString& text) const
{
    QList<ReportRow> rows{ReportRow::header(tr("Comments"), 2)};

    // Wrap each paragraph to the inner width of a full-width row.
    QStringList lines;
    const QFont font = p.font();
    for (const QString& para : text.split('\n')) {
        if (para.trimmed().isEmpty()) {
            lines << QString();
            continue;
        }
        QTextLayout layout(para, font, p.device());
        QTextOption opt;
        opt.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(opt);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width - 2 * TEXT_DX);
            lines << para.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    for (const QString& line : lines)
        rows << ReportRow::line(line);
    rows << ReportRow::blank();
    return rows;
}

QList<ReportRow> PDFCreator::results_rows(int channel) const
{
    const Model& m = source();
    const int ch = channel == 0 ? 0 : 1;
    const ChannelResults& r = m.results[ch];
    const RxSettings& rx = m.rx[ch];
    const QString L = ch == 0 ? "A" : "B";
    const QString chan = " " + tr("Channel") + " ";
    const quint32 T = r.elapsed_s;
    auto errors = [&](const QString& label, quint32 count, double per_second) {
        return ReportRow::three(label, QString::number(count), ratio_text(error_ratio(count, T, per_second)));
    };

    QList<ReportRow> rows{
        ReportRow::header(tr("Errors") + chan + L, 6),
        errors(tr("Binary"), r.bit_errors, tested_bits_per_second(rx)),
        errors(tr("Code"), r.code_errors, LINE_BIT_RATE),
        errors(tr("Cycle"), r.frame_errors, FRAME_BIT_RATE),
        errors(tr("CRC-4"), r.crc4_errors, BLOCK_RATE),
        errors(tr("E-bit"), r.ebit_errors, BLOCK_RATE),
        ReportRow::blank(),
    };
    if (ch == 0)
        rows << ReportRow::header(tr("Jitter") + chan + "A", 2)
             << ReportRow::four(tr("Jitter"), fixed_text(r.jitter), tr("Jitter HF"), fixed_text(r.jitter_hf))
             << ReportRow::blank();

    const quint32 uas = r.elapsed_s - r.available_s;
    const double AS = r.available_s;
    rows << ReportRow::header(tr("Alarms statistics") + chan + L, 4)
         << ReportRow::pair(tr("No entry"), QString::number(r.no_input_count))
         << ReportRow::pair(tr("SIAS entry"), QString::number(r.ais_count))
         << ReportRow::pair(tr("Lost of cycle"), QString::number(r.lof_count))
         << ReportRow::blank()
         << ReportRow::header("G821, G826/M2100" + chan + L, 14)
         << ReportRow::header("G.821", 7)
         << ReportRow::four("UAS", QString::number(uas), "%UAS", fixed_text(percent(uas, T)))
         << ReportRow::four("AS", QString::number(r.available_s), "%AS", fixed_text(percent(AS, T)))
         << ReportRow::four("ES", QString::number(r.errored_s), "%ES", fixed_text(percent(r.errored_s, AS)))
         << ReportRow::four("SES", QString::number(r.severely_errored_s), "%SES",
                            fixed_text(percent(r.severely_errored_s, AS)))
         << ReportRow::four("DM", "0", "%DM", "0.00")
         << ReportRow::four("AM", "0", QString(), QString())
         << ReportRow::header("G.826", 6)
         << ReportRow::four("ES", QString::number(r.errored_s), "ESR", ratio_text(quotient(r.errored_s, AS)))
         << ReportRow::four("SES", QString::number(r.severely_errored_s), "SESR",
                            ratio_text(quotient(r.severely_errored_s, AS)))
         << ReportRow::four("BBE", QString::number(r.bbe), "BBER",
                            ratio_text(background_block_error_ratio(r.bbe, r.available_s, r.severely_errored_s)))
         << ReportRow::four("AS", QString::number(r.available_s), "ASR", ratio_text(quotient(AS, T)))
         << ReportRow::four("US", QString::number(uas), "USR", ratio_text(quotient(uas, T)));
    return rows + verdict_rows(ch);
}

QList<ReportRow> PDFCreator::verdict_rows(int channel) const
{
    const Model& m = source();
    const ChannelVerdicts v = judge(m.results[channel], m.allocation_pct);
    // The judged figures in the units the section above shows them in.
    const char* const names[FIGURE_COUNT] = {"G.826 ESR", "G.826 SESR", "G.826 BBER", "G.821 %ES", "G.821 %SES"};
    QList<ReportRow> rows{
        ReportRow::blank(),
        ReportRow::header(tr("Verdicts") + " " + tr("Channel") + " " + (channel == 0 ? "A" : "B"), FIGURE_COUNT + 3),
        ReportRow::pair(tr("Allocation, %"), QString::number(m.allocation_pct, 'f', 1)),
    };
    for (int i = 0; i < FIGURE_COUNT; ++i) {
        const double objective = v.figures[i].objective;
        rows << ReportRow::three(names[i],
                                 QString::fromUtf8("≤ ")
                                     + (i >= G821_ES ? fixed_text(objective * 100.0) : ratio_text(objective)),
                                 verdict_text(v.figures[i].verdict));
    }
    rows << ReportRow::pair(tr("Overall"), verdict_text(v.overall));
    return rows;
}

// ---- table file -------------------------------------------------------------

void PDFCreator::table_pages(QPainter& p, QPrinter& printer)
{
    const int W = p.viewport().width();
    const int H = p.viewport().height();
    const int left = W / 15;
    const int Tw = 26 * W / 30;
    int widths[20];
    int lefts[21];
    lefts[0] = left;
    for (int i = 0; i < 20; ++i) {
        widths[i] = int(float(TABLE_BASE[i]) * float(Tw) / 905.0f);
        lefts[i + 1] = lefts[i] + widths[i];
    }
    QString header[20];
    for (int i = 0; i < 20; ++i)
        header[i] = TABLE_HEADER[i] ? tr(TABLE_HEADER[i]) : QString();

    // A copy: the device link may append records while the progress dialog
    // lets events through, and the table must stay consistent.
    const QList<TableRecord> recs = source().records;
    RowCursor cursor(&printer, 2 * H / 21, 19 * H / 21, ROW_H);
    // Every page opens with the two header rows: the channels over their
    // columns, as on the screen, then the columns' names.
    const int per_page = qMax(1, cursor.rows_per_page() - 2);
    const int pages = qMax(1, int((recs.size() + per_page - 1) / per_page));
    const int right = lefts[20];
    auto page_header = [&] {
        const int y = cursor.y;
        cell(p, lefts[0], y, lefts[11] - lefts[0], channel_title(0), HEADER_FILL);
        cell(p, lefts[11], y, widths[11], QString(), HEADER_FILL);
        cell(p, lefts[12], y, right - lefts[12], channel_title(1), HEADER_FILL);
        cursor.next();
        for (int c = 0; c < 20; ++c)
            cell(p, lefts[c], cursor.y, widths[c], header[c], HEADER_FILL);
        cursor.next();
    };
    // The numbers of a page go to the file as one run of glyphs, and the
    // outlines of its rows as the lines of one grid: the same lines as each
    // cell's own outline, in a small part of the writer's time.
    if (!numeric_glyphs)
        numeric_glyphs = std::make_unique<NumericGlyphs>();
    numeric_glyphs->set_batching(true);
    int rows_top = -1;
    auto flush = [&] {
        numeric_glyphs->flush(p);
        if (rows_top < 0)
            return;
        QList<QLine> grid;
        for (int y = rows_top; y <= cursor.y; y += ROW_H)
            grid << QLine(left, y, right, y);
        for (int c = 0; c <= 20; ++c)
            grid << QLine(lefts[c], rows_top, lefts[c], cursor.y);
        p.drawLines(grid);
        rows_top = -1;
    };
    cursor.page_done = [&](int page) {
        flush();
        page_mark(p, left, right, page, pages);
    };

    int on_page = 0;
    for (qsizetype i = 0; i < recs.size(); ++i) {
        if (on_page == per_page) {
            cursor.newPage();
            step_progress(on_page);
            on_page = 0;
        }
        if (on_page == 0) {
            page_header();
            rows_top = cursor.y;
        }
        for (int c = 0; c < 20; ++c)
            cell(p, lefts[c], cursor.y, widths[c], record_cell_text(recs, i, c), QColor(), false);
        cursor.next();
        ++on_page;
    }
    step_progress(on_page);
    flush();
    numeric_glyphs->set_batching(false);
    page_mark(p, left, right, cursor.page, pages);
}

// ---- chart file -------------------------------------------------------------

void PDFCreator::chart_pages(QPainter& p, QPrinter& printer)
{
    const int W = printer.width();
    const int H = printer.height();
    const int x = W / 15;
    const int Cw = 26 * W / 30;
    const int Ch = int(8.5f * float(H) / 21.0f);
    const int topA = 2 * H / 21;
    const int topB = H / 2;
    const int per_page = records_per_chart_page(W);

    // A copy, for the same reason as the table's.
    const QList<TableRecord> recs = source().records;
    const qsizetype n = recs.size();
    const int pages = qMax(1, int((n + per_page - 1) / per_page));
    if (n == 0) {
        page_mark(p, x, x + Cw, 1, 1);
        return;
    }
    for (ChartWidget* chart : {chart_a_, chart_b_})
        if (chart)
            chart->reset_scale(); // an earlier report's copy may have lain where this one lies

    // The channel's name and the legend of the bars go in the band above the
    // plot, inside the chart's frame, in the chart's own font.
    // Each chart names its channel in the band above its plot, inside its
    // frame; the legend of the bars, shared by both as on the screen, goes
    // above the charts. Shaped once, at the first page and in the charts'
    // font: thousands of pages make every text shaped count.
    const int band = ChartWidget::PRINT_MARGIN;
    ShapedTexts texts;
    int swatch = 0;           // height of a swatch (the font's ascent); its width is twice that
    int legend_x[5] = {};     // where each swatch starts
    int legend_base = 0;
    auto page_titles = [&] {
        if (swatch == 0) {
            const QFontMetrics fm = p.fontMetrics();
            swatch = qMax(1, fm.ascent());
            legend_base = topA - band / 2 + swatch;
            QString words[5];
            int width = 0;
            for (int b = 0; b < 5; ++b) {
                words[b] = tr(LEGEND[b]);
                width += (b ? 2 * swatch : 0) + 2 * swatch + swatch / 2 + fm.horizontalAdvance(words[b]);
            }
            // Ending where the charts end.
            for (int b = 0, lx = x + Cw - width; b < 5; ++b) {
                legend_x[b] = lx;
                texts.add(words[b], p.font(), p.device(), QPointF(lx + 2 * swatch + swatch / 2, legend_base));
                lx += 2 * swatch + swatch / 2 + fm.horizontalAdvance(words[b]) + 2 * swatch;
            }
            for (int ch = 0; ch < 2; ++ch)
                if (ch == 0 ? chart_a_ : chart_b_)
                    texts.add(channel_title(ch), p.font(), p.device(),
                              QPointF(x + band, (ch == 0 ? topA : topB) + band / 2));
        }
        for (int b = 0; b < 5; ++b)
            p.fillRect(QRect(legend_x[b], legend_base - swatch, 2 * swatch, swatch), ChartWidget::bar_colour(b));
        p.setPen(QPen(Qt::black));
        texts.draw(p);
    };

    int page = 1;
    for (qsizetype first = 0;; first += per_page) {
        if (chart_a_)
            chart_a_->draw_chart(QRect(x, topA, Cw, Ch), p, int(first), true, 0, recs);
        if (chart_b_)
            chart_b_->draw_chart(QRect(x, topB, Cw, Ch), p, int(first), true, 1, recs);
        if (chart_a_ || chart_b_)
            page_titles();
        page_mark(p, x, x + Cw, page, pages);
        step_progress(1);
        if (first + per_page >= n)
            break;
        printer.newPage();
        ++page;
    }
}
