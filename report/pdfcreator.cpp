#include "pdfcreator.h"
#include "reportdialog.h"

#include "chartwidget.h"
#include "formats.h"
#include "ratios.h"

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

// Rows of one results section, headers and empty rows included; used to
// keep a section on one page when comments pushed it down.
const int SECTION_ROWS_A = 7 + 3 + 5 + 14;
const int SECTION_ROWS_B = 7 + 5 + 14;

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

// An empty model stands in until the main window hands over the real one.
const Model& empty_model()
{
    static const Model m;
    return m;
}

} // namespace

const Model& PDFCreator::source() const
{
    return m_snapshot ? *m_snapshot : m_model ? *m_model : empty_model();
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
      m_dialog(new ReportDialog(nullptr)),
      m_check(load_box(":img/check.png", true)),
      m_uncheck(load_box(":img/uncheck.png", false))
{
}

PDFCreator::~PDFCreator()
{
    delete m_dialog;
}

void PDFCreator::set_model(const Model* model)
{
    m_model = model;
}

void PDFCreator::set_charts(ChartWidget* a, ChartWidget* b)
{
    m_chart_a = a;
    m_chart_b = b;
}

QString PDFCreator::companion_name(const QString& name, const QString& suffix)
{
    const qsizetype at = qMax<qsizetype>(0, name.size() - 4);
    return name.left(at) + suffix + name.mid(at);
}

void PDFCreator::create_pdf()
{
    if (m_busy) {
        message_box(QMessageBox::Warning,
                    tr("Report creation proccess is busy now. Please wait until it finish."));
        return;
    }
    if (exec_dialog(*m_dialog) != QDialog::Accepted)
        return;

    // Cleared on every way out: a report that failed must not lock the next one.
    struct BusyGuard {
        bool& flag;
        const Model*& snapshot;
        ~BusyGuard() { flag = false, snapshot = nullptr; }
    } guard{m_busy, m_snapshot};
    m_busy = true;

    // All three files show the records as they were when OK was pressed: the
    // device link may append, or empty the list for a new test, while the
    // progress dialog lets events through. The copy shares the data until then.
    const Model snapshot = m_model ? *m_model : empty_model();
    m_snapshot = &snapshot;
    const QString file = m_dialog->file_name();
    const bool table = m_dialog->table();
    const bool chart = m_dialog->chart();
    const QString comments = m_dialog->comments() ? m_dialog->comments_text() : QString();

    // The dialog keeps the last name, so OK again would silently replace the
    // previous report.
    QStringList names{file};
    if (table)
        names << companion_name(file, "_table");
    if (chart)
        names << companion_name(file, "_chart");
    QStringList existing;
    for (const QString& name : names)
        if (QFileInfo::exists(name))
            existing << QDir::toNativeSeparators(name);
    if (!existing.isEmpty()
        && !confirm_replace(tr("These files already exist:\n%1\nReplace them?").arg(existing.join('\n'))))
        return;

    // A month-long test gives thousands of pages; show how far along we are.
    // Modal, so that nothing else is started meanwhile, and it keeps the
    // device link served while the files are written.
    int units = 0;
    if (table)
        units += int(snapshot.records.size());
    if (chart && !snapshot.records.isEmpty()) {
        const int per_page = records_per_chart_page(A4_LANDSCAPE_W);
        units += int((snapshot.records.size() + per_page - 1) / per_page);
    }
    if (units > 0) {
        m_progress = new QProgressDialog(tr("Writing the report..."), QString(), 0, units);
        m_progress->setWindowModality(Qt::ApplicationModal);
        m_progress->setMinimumDuration(progress_delay_ms);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->setValue(0);
    }

    QStringList failed;
    if (!write_main_file(file, m_dialog->main_a(), m_dialog->main_b(), comments))
        failed << file;
    if (table && !write_table_file(names[1]))
        failed << names[1];
    if (chart && !write_chart_file(names.last()))
        failed << names.last();

    delete m_progress;
    m_progress = nullptr;

    if (failed.isEmpty())
        message_box(QMessageBox::Information, tr("Report creation finished."));
    else
        message_box(QMessageBox::Warning,
                    tr("The report could not be written to:\n%1").arg(failed.join('\n')));
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
    if (m_progress)
        m_progress->setValue(qMin(m_progress->maximum(), m_progress->value() + n));
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
    m_printer = &printer;
    m_page_h = H;
    const int x0 = 2 * W / 21;
    m_y = H / 15;

    K = K_PAGE;
    settings_block(p, x0);
    if (!comments.trimmed().isEmpty())
        comments_block(p, x0, comments);

    int y1 = m_y;
    // The two sections stand side by side, so neither may break its page
    // on its own: start them on a fresh page when they would not fit.
    if (main_a || main_b) {
        const int rows = main_a ? SECTION_ROWS_A : SECTION_ROWS_B;
        if (y1 + rows * ROW_H > 28 * H / 30) {
            printer.newPage();
            y1 = H / 15;
        }
    }
    if (main_a) {
        K = K_SECTION;
        m_y = y1;
        results_section(p, x0, 0);
        K = K_PAGE;
    }
    if (main_b) {
        K = K_SECTION;
        m_y = y1;
        results_section(p, W / 2, 1);
        K = K_PAGE;
    }
    m_printer = nullptr;
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

// ---- row primitives -------------------------------------------------------

void PDFCreator::cell(QPainter& p, int x, int w, const QString& text, bool filled, const QColor& fill)
{
    const QRect r(x, m_y, w, ROW_H);
    if (filled)
        p.fillRect(r, fill);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r);
    cell_text(p, x, m_y, w, text);
}

void PDFCreator::header_row(QPainter& p, int x, const QString& text, int rows_needed, const QColor& colour)
{
    if (rows_needed > 0 && m_printer && m_y + rows_needed * ROW_H > 28 * m_page_h / 30) {
        m_printer->newPage();
        m_y = m_page_h / 15;
    }
    cell(p, x, K, text, true, colour);
    m_y += ROW_H;
}

void PDFCreator::pair_row(QPainter& p, int x, const QString& label, const QString& value)
{
    cell(p, x, K / 2, label, true, LABEL_FILL);
    cell(p, x + K / 2, K / 2, value, false, QColor());
    m_y += ROW_H;
}

void PDFCreator::check_row(QPainter& p, int x, const QString& label, bool flag)
{
    cell(p, x, K / 2, label, true, LABEL_FILL);
    cell(p, x + K / 2, K / 2, QString(), false, QColor());
    p.drawImage(QPoint(x + K / 2 + TEXT_DX, m_y + 10), flag ? m_check : m_uncheck);
    m_y += ROW_H;
}

void PDFCreator::three_row(QPainter& p, int x, const QString& t1, const QString& t2, const QString& t3)
{
    cell(p, x, K / 3, t1, true, LABEL_FILL);
    cell(p, x + K / 3, K / 3, t2, false, QColor());
    cell(p, x + 2 * K / 3, K / 3, t3, false, QColor());
    m_y += ROW_H;
}

void PDFCreator::four_row(QPainter& p, int x, const QString& t1, const QString& t2, const QString& t3,
                          const QString& t4)
{
    cell(p, x, K / 4, t1, true, LABEL_FILL);
    cell(p, x + K / 4, K / 4, t2, false, QColor());
    cell(p, x + K / 2, K / 4, t3, true, LABEL_FILL);
    cell(p, x + 3 * K / 4, K / 4, t4, false, QColor());
    m_y += ROW_H;
}

// ---- main file --------------------------------------------------------------

void PDFCreator::settings_block(QPainter& p, int x)
{
    const CommonSettings& c = source().common;

    header_row(p, x, tr("Settings"), 10, HEADER_FILL);
    pair_row(p, x, tr("Sequence type"), c.seq_type < 8 ? tr(SEQ_NAMES[c.seq_type]) : QString());
    pair_row(p, x, tr("Word #1"), bits16(c.word));
    pair_row(p, x, tr("Word #2"), bits16(c.alt_word));
    check_row(p, x, tr("Transmit & receive settings"), c.rxtx_jointly != 0);
    QString time;
    if (c.timed_measurement)
        time = two_digits(c.meas_days) + tr("d") + ' ' + two_digits(c.meas_hours) + tr("h") + ' '
            + two_digits(c.meas_minutes) + tr("m");
    else
        time = tr("Current");
    pair_row(p, x, tr("Test time"), time);
    m_y += ROW_H;
}

void PDFCreator::comments_block(QPainter& p, int x, const QString& text)
{
    header_row(p, x, tr("Comments"), 2, HEADER_FILL);

    // Wrap each paragraph to the inner width of a full-width row.
    QStringList lines;
    const QFont font = p.font();
    const int width = K - 2 * TEXT_DX;
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
            line.setLineWidth(width);
            lines << para.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
    }
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    for (const QString& line : lines) {
        // Comment lines may run over several pages.
        if (m_printer && m_y + ROW_H > 28 * m_page_h / 30) {
            m_printer->newPage();
            m_y = m_page_h / 15;
        }
        cell(p, x, K, line, false, QColor());
        m_y += ROW_H;
    }
    m_y += ROW_H;
}

void PDFCreator::results_section(QPainter& p, int x, int channel)
{
    const Model& m = source();
    const int ch = channel == 0 ? 0 : 1;
    const ChannelResults& r = m.results[ch];
    const RxSettings& rx = m.rx[ch];
    const QString L = ch == 0 ? "A" : "B";
    const QString chan = " " + tr("Channel") + " ";

    const quint32 T = r.elapsed_s;

    header_row(p, x, tr("Errors") + chan + L, 6, HEADER_FILL);
    three_row(p, x, tr("Binary"), QString::number(r.bit_errors),
              ratio_text(error_ratio(r.bit_errors, T, tested_bits_per_second(rx))));
    three_row(p, x, tr("Code"), QString::number(r.code_errors), ratio_text(error_ratio(r.code_errors, T, LINE_BIT_RATE)));
    three_row(p, x, tr("Cycle"), QString::number(r.frame_errors),
              ratio_text(error_ratio(r.frame_errors, T, FRAME_BIT_RATE)));
    three_row(p, x, tr("CRC-4"), QString::number(r.crc4_errors), ratio_text(error_ratio(r.crc4_errors, T, BLOCK_RATE)));
    three_row(p, x, tr("E-bit"), QString::number(r.ebit_errors), ratio_text(error_ratio(r.ebit_errors, T, BLOCK_RATE)));
    m_y += ROW_H;

    if (ch == 0) {
        header_row(p, x, tr("Jitter") + chan + "A", 2, HEADER_FILL);
        four_row(p, x, tr("Jitter"), fixed_text(r.jitter), tr("Jitter HF"), fixed_text(r.jitter_hf));
        m_y += ROW_H;
    }

    header_row(p, x, tr("Alarms statistics") + chan + L, 4, HEADER_FILL);
    pair_row(p, x, tr("No entry"), QString::number(r.no_input_count));
    pair_row(p, x, tr("SIAS entry"), QString::number(r.ais_count));
    pair_row(p, x, tr("Lost of cycle"), QString::number(r.lof_count));
    m_y += ROW_H;

    const quint32 uas = r.elapsed_s - r.available_s;
    const double AS = r.available_s;
    header_row(p, x, "G821, G826/M2100" + chan + L, 14, HEADER_FILL);
    header_row(p, x, "G.821", 7, HEADER_FILL);
    four_row(p, x, "UAS", QString::number(uas), "%UAS", fixed_text(percent(uas, T)));
    four_row(p, x, "AS", QString::number(r.available_s), "%AS", fixed_text(percent(AS, T)));
    four_row(p, x, "ES", QString::number(r.errored_s), "%ES", fixed_text(percent(r.errored_s, AS)));
    four_row(p, x, "SES", QString::number(r.severely_errored_s), "%SES", fixed_text(percent(r.severely_errored_s, AS)));
    four_row(p, x, "DM", "0", "%DM", "0.00");
    four_row(p, x, "AM", "0", QString(), QString());

    header_row(p, x, "G.826", 6, HEADER_FILL);
    four_row(p, x, "ES", QString::number(r.errored_s), "ESR", ratio_text(quotient(r.errored_s, AS)));
    four_row(p, x, "SES", QString::number(r.severely_errored_s), "SESR", ratio_text(quotient(r.severely_errored_s, AS)));
    four_row(p, x, "BBE", QString::number(r.bbe), "BBER",
             ratio_text(background_block_error_ratio(r.bbe, r.available_s, r.severely_errored_s)));
    four_row(p, x, "AS", QString::number(r.available_s), "ASR", ratio_text(quotient(AS, T)));
    four_row(p, x, "US", QString::number(uas), "USR", ratio_text(quotient(uas, T)));
}

// ---- table file -------------------------------------------------------------

void PDFCreator::table_pages(QPainter& p, QPrinter& printer)
{
    const int W = p.viewport().width();
    const int H = p.viewport().height();
    const int left = W / 15;
    const int top = 2 * H / 21;
    const int bottom = 19 * H / 21;
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
    int y = top;
    int since_step = 0;
    for (qsizetype i = 0; i < recs.size(); ++i) {
        if (y + ROW_H - 1 >= bottom) {
            printer.newPage();
            y = top;
            step_progress(since_step);
            since_step = 0;
        }
        const TableRecord& cur = recs[i];
        const TableRecord& prev = i > 0 ? recs[i - 1] : cur;
        if (cur.number == 0) {
            for (int c = 0; c < 20; ++c) {
                const QRect r(lefts[c], y, widths[c], ROW_H);
                p.fillRect(r, HEADER_FILL);
                p.drawRect(r);
                cell_text(p, lefts[c], y, widths[c], header[c]);
            }
            y += ROW_H;
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
            const QRect r(lefts[c], y, widths[c], ROW_H);
            p.drawRect(r);
            cell_text(p, lefts[c], y, widths[c], text);
        }
        y += ROW_H;
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
    for (ChartWidget* chart : {m_chart_a, m_chart_b})
        if (chart)
            chart->reset_scale(); // an earlier report's copy may have lain where this one lies
    for (qsizetype first = 0;; first += per_page) {
        if (m_chart_a)
            m_chart_a->draw_chart(QRect(x, topA, Cw, Ch), p, int(first), true, 0, recs);
        if (m_chart_b)
            m_chart_b->draw_chart(QRect(x, topB, Cw, Ch), p, int(first), true, 1, recs);
        step_progress(1);
        if (first + per_page >= n)
            break;
        printer.newPage();
    }
}
