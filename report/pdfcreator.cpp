#include "report/pdfcreator.h"
#include "report/reportdialog.h"

#include "proto/formats.h"
#include "proto/ratios.h"
#include "proto/verdicts.h"
#include "records/chartwidget.h"
#include "report/reportrows.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPrinter>
#include <QProgressDialog>
#include <QTextLayout>

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

// Counter index shown in each counter column of the table (-1: not a
// counter). Bit errors come before code errors on both sides.
const int TABLE_COUNTER[20] = {-1, 1, 0, 2, 3, 4, 5, 6, 7, -1,
                               -1, -1, 9, 8, 10, 11, 12, 13, 14, 15};

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

// Draws `text` at the text origin of a cell `w` pixels wide. A text longer
// than the cell is drawn in a smaller size of the same font, so that it does
// not run into the next cell.
void cell_text(QPainter& p, int x, int y, int w, const QString& text)
{
    if (text.isEmpty())
        return;
    const int room = w - 2 * TEXT_DX;
    const int advance = p.fontMetrics().horizontalAdvance(text);
    if (advance <= room || room <= 0) {
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
void cell(QPainter& p, int x, int y, int w, const QString& text, const QColor& fill = QColor())
{
    const QRect r(x, y, w, ROW_H);
    if (fill.isValid())
        p.fillRect(r, fill);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
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
        ~BusyGuard() { flag = false, snapshot = nullptr; }
    } guard{busy_, snapshot_};
    busy_ = true;

    // All three files show the records as they were when OK was pressed: the
    // device link may append, or empty the list for a new test, while the
    // progress dialog lets events through. The copy shares the data until then.
    // No report is being written yet, so source() is the device link's model.
    const Model snapshot = source();
    snapshot_ = &snapshot;
    Contents c;
    c.file = dialog_->file_name();
    c.main_a = dialog_->main_a();
    c.main_b = dialog_->main_b();
    c.table = dialog_->table();
    c.chart = dialog_->chart();
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
    const QStringList names = file_names(c);
    QStringList failed;
    if (!write_main_file(names[0], c.main_a, c.main_b, c.comments))
        failed << names[0];
    if (c.table && !write_table_file(names[1]))
        failed << names[1];
    if (c.chart && !write_chart_file(names.last()))
        failed << names.last();
    snapshot_ = outer;
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
    const QFileInfo info(file);
    return ended && info.exists() && info.size() > 0;
}

void PDFCreator::step_progress(int n)
{
    if (progress_)
        progress_->setValue(qMin(progress_->maximum(), progress_->value() + n));
}

bool PDFCreator::write_main_file(const QString& file, bool main_a, bool main_b, const QString& comments)
{
    QPrinter printer(QPrinter::HighResolution);
    QPainter p;
    if (!begin(p, printer, file, false))
        return false;
    p.setPen(PEN_COLOUR);
    p.setFont(QFont("Arial", 11, QFont::Normal, false));

    const int W = p.viewport().width();
    const int H = p.viewport().height();
    RowCursor cursor(printer, H / 15, 28 * H / 30, ROW_H);
    const int x0 = 2 * W / 21;

    draw_rows(p, cursor, x0, K_PAGE, settings_rows());
    if (!comments.trimmed().isEmpty())
        draw_rows(p, cursor, x0, K_PAGE, comment_rows(p, K_PAGE, comments));

    // The two sections stand side by side, so neither may break its page
    // on its own: start them on a fresh page when the longer would not fit.
    const QList<ReportRow> section_a = main_a ? results_rows(0) : QList<ReportRow>();
    const QList<ReportRow> section_b = main_b ? results_rows(1) : QList<ReportRow>();
    cursor.keep(int(qMax(section_a.size(), section_b.size())));
    const int y1 = cursor.y;
    draw_rows(p, cursor, x0, K_SECTION, section_a);
    cursor.y = y1;
    draw_rows(p, cursor, W / 2, K_SECTION, section_b);
    return finish(p, file);
}

bool PDFCreator::write_table_file(const QString& file)
{
    QPrinter printer(QPrinter::HighResolution);
    QPainter p;
    if (!begin(p, printer, file, true))
        return false;
    table_pages(p, printer);
    return finish(p, file);
}

bool PDFCreator::write_chart_file(const QString& file)
{
    QPrinter printer(QPrinter::HighResolution);
    QPainter p;
    if (!begin(p, printer, file, true))
        return false;
    chart_pages(p, printer);
    return finish(p, file);
}

// ---- main file --------------------------------------------------------------

void PDFCreator::draw_rows(QPainter& p, RowCursor& cursor, int x, int k, const QList<ReportRow>& rows) const
{
    for (const ReportRow& row : rows) {
        cursor.keep(row.keep);
        const int y = cursor.y;
        const QString* t = row.text;
        switch (row.kind) {
        case ReportRow::BLANK:
            break;
        case ReportRow::HEADER:
            cell(p, x, y, k, t[0], HEADER_FILL);
            break;
        case ReportRow::LINE:
            cell(p, x, y, k, t[0]);
            break;
        case ReportRow::PAIR:
            cell(p, x, y, k / 2, t[0], LABEL_FILL);
            cell(p, x + k / 2, y, k / 2, t[1]);
            break;
        case ReportRow::CHECK:
            cell(p, x, y, k / 2, t[0], LABEL_FILL);
            cell(p, x + k / 2, y, k / 2, QString());
            p.drawImage(QPoint(x + k / 2 + TEXT_DX, y + 10), row.flag ? check_ : uncheck_);
            break;
        case ReportRow::THREE:
            cell(p, x, y, k / 3, t[0], LABEL_FILL);
            cell(p, x + k / 3, y, k / 3, t[1]);
            cell(p, x + 2 * k / 3, y, k / 3, t[2]);
            break;
        case ReportRow::FOUR:
            cell(p, x, y, k / 4, t[0], LABEL_FILL);
            cell(p, x + k / 4, y, k / 4, t[1]);
            cell(p, x + k / 2, y, k / 4, t[2], LABEL_FILL);
            cell(p, x + 3 * k / 4, y, k / 4, t[3]);
            break;
        }
        cursor.next();
    }
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
    int lefts[20];
    for (int i = 0, x = left; i < 20; ++i) {
        widths[i] = int(float(TABLE_BASE[i]) * float(Tw) / 905.0f);
        lefts[i] = x;
        x += widths[i];
    }
    QString header[20];
    for (int i = 0; i < 20; ++i)
        header[i] = TABLE_HEADER[i] ? tr(TABLE_HEADER[i]) : QString();

    // A copy: the device link may append records while the progress dialog
    // lets events through, and the table must stay consistent.
    const QList<TableRecord> recs = source().records;
    RowCursor cursor(printer, 2 * H / 21, 19 * H / 21, ROW_H);
    int since_step = 0;
    for (qsizetype i = 0; i < recs.size(); ++i) {
        if (!cursor.fits(1)) {
            cursor.newPage();
            step_progress(since_step);
            since_step = 0;
        }
        const TableRecord& cur = recs[i];
        const TableRecord& prev = i > 0 ? recs[i - 1] : cur;
        if (cur.number == 0) {
            for (int c = 0; c < 20; ++c)
                cell(p, lefts[c], cursor.y, widths[c], header[c], HEADER_FILL);
            cursor.next();
        }
        for (int c = 0; c < 20; ++c) {
            QString text;
            const int k = TABLE_COUNTER[c];
            if (c == 0)
                text = elapsed_text(cur.time_s);
            else if (c == 9)
                text = fixed_text(cur.jitter);
            else if (c == 10)
                text = fixed_text(cur.jitter_hf);
            else if (k >= 0)
                text = QString::number(cur.number == 0 ? cur.counters[k]
                                                       : quint32(cur.counters[k] - prev.counters[k]));
            cell(p, lefts[c], cursor.y, widths[c], text);
        }
        cursor.next();
        ++since_step;
    }
    step_progress(since_step);
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
    if (n == 0)
        return;
    for (ChartWidget* chart : {chart_a_, chart_b_})
        if (chart)
            chart->reset_scale(); // an earlier report's copy may have lain where this one lies
    for (qsizetype first = 0;; first += per_page) {
        if (chart_a_)
            chart_a_->draw_chart(QRect(x, topA, Cw, Ch), p, int(first), true, 0, recs);
        if (chart_b_)
            chart_b_->draw_chart(QRect(x, topB, Cw, Ch), p, int(first), true, 1, recs);
        step_progress(1);
        if (first + per_page >= n)
            break;
        printer.newPage();
    }
}
