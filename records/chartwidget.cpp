#include "records/chartwidget.h"

#include "proto/formats.h"
#include "records/numericglyphs.h"
#include "records/savechartdialog.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

#include <algorithm>
#include <cstring>

namespace {

// Counter index of each bar, in drawing order: bit, code, frame, CRC-4, E-bit.
const int BAR_COUNTER[5] = {REC_BIT, REC_CODE, REC_FRAME, REC_CRC4, REC_EBIT};

const QColor BAR_COLOUR[5] = {
    QColor(0, 170, 0), QColor(170, 0, 0), QColor(0, 0, 170), QColor(255, 255, 0), QColor(170, 0, 255)};

int counter_base(int channel) { return channel == 0 ? 0 : COUNTERS_PER_CHANNEL; }

bool same_record(const TableRecord& a, const TableRecord& b)
{
    return a.number == b.number && a.time_s == b.time_s && a.jitter == b.jitter && a.jitter_hf == b.jitter_hf
        && std::memcmp(a.counters, b.counters, sizeof a.counters) == 0;
}

} // namespace

std::function<bool(SaveChartDialog&)> ChartWidget::exec_save_dialog = [](SaveChartDialog& dlg) {
    return dlg.exec() == QDialog::Accepted;
};

std::function<void(const QString&, const QString&)> ChartWidget::warning_box =
    [](const QString& title, const QString& text) { QMessageBox::warning(nullptr, title, text); };

ChartWidget::ChartWidget(const QList<TableRecord>* records, int channel, QWidget* parent)
    : QWidget(parent), records_(records), menu_(new QMenu), channel_(channel)
{
    setMinimumSize(100, 100);
    setContextMenuPolicy(Qt::CustomContextMenu);
    QAction* save = menu_->addAction(tr("Save as..."));
    connect(save, &QAction::triggered, this, &ChartWidget::saveChart);
    connect(this, &QWidget::customContextMenuRequested, this, &ChartWidget::contextMenu);
}

ChartWidget::~ChartWidget() { delete menu_; }

void ChartWidget::draw_from_num(int n)
{
    first_ = n;
    repaint();
}

void ChartWidget::contextMenu(QPoint p) { menu_->popup(mapToGlobal(p)); }

void ChartWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRect vp = painter.viewport();
    draw_chart(QRect(0, 0, vp.width(), vp.height()), painter, first_, false, channel_);
}

void ChartWidget::reset_scale()
{
    for (ScaleCache* c : {&cache_[0], &cache_[1], &other_cache_[0], &other_cache_[1]})
        *c = ScaleCache();
}

int ChartWidget::slot_count(int width, bool print)
{
    const int W = width - 2 * (print ? PRINT_MARGIN : SCREEN_MARGIN);
    return W > 0 ? W / (print ? PRINT_SLOT : SCREEN_SLOT) : 0;
}

// Bar value candidate of the record at `pos`: its own largest counter for
// record 0, else the largest difference to its predecessor.
quint32 ChartWidget::tail_candidate(const QList<TableRecord>& recs, int channel, qsizetype pos)
{
    const TableRecord& r = recs[pos];
    const int base = counter_base(channel);
    quint32 best = 0;
    if (r.number == 0) {
        for (int k : BAR_COUNTER)
            best = std::max(best, r.counters[base + k]);
        return best;
    }
    // The predecessor is found by number; a list whose numbering disagrees
    // with the positions falls back to the previous position rather than
    // reading outside the list.
    qsizetype prev = qsizetype(r.number) - 1;
    if (prev >= recs.size() || prev < 0)
        prev = pos - 1;
    if (prev < 0)
        prev = pos;
    const TableRecord& p = recs[prev];
    for (int k : BAR_COUNTER)
        best = std::max(best, quint32(r.counters[base + k] - p.counters[base + k]));
    return best;
}

quint32 ChartWidget::scale(int channel, const QList<TableRecord>& recs)
{
    const int ch = channel == 0 ? 0 : 1;
    ScaleCache& c = &recs == records_ ? cache_[ch] : other_cache_[ch];
    if (c.list != &recs)
        c = ScaleCache();
    c.list = &recs;
    const qsizetype n = recs.size();
    if (n == 0) {
        c.valid = false;
        return MIN_SCALE;
    }

    quint32 best = 0;
    if (recs.last().number != quint32(n - 1)) {
        // Numbering and positions disagree: walk as far as the last number
        // reaches, without keeping anything.
        c.valid = false;
        for (qsizetype pos = 0; pos < n && quint32(pos) <= recs.last().number; ++pos)
            best = std::max(best, tail_candidate(recs, ch, pos));
        return std::max(best, MIN_SCALE);
    }

    // Records only grow by appending, and only the first two and the last
    // LIVE_TAIL ones may still be replaced in place: those are looked at afresh,
    // the settled ones between are kept. A shorter list, or a different record
    // where the kept part ended, means the list was emptied and refilled.
    const qsizetype settled = std::max<qsizetype>(n - LIVE_TAIL, 2);
    if (c.valid && (settled < c.size || (c.size > 2 && !same_record(recs[c.size - 1], c.last))))
        c.valid = false;
    if (!c.valid) {
        c.valid = true;
        c.size = 0;
        c.max_tail = 0;
    }
    for (qsizetype pos = std::max<qsizetype>(c.size, 2); pos < settled; ++pos)
        c.max_tail = std::max(c.max_tail, tail_candidate(recs, ch, pos));
    c.size = std::max<qsizetype>(c.size, settled);
    if (c.size > 2)
        c.last = recs[c.size - 1];

    best = c.max_tail;
    for (qsizetype pos : {qsizetype(0), qsizetype(1), n - 2, n - 1})
        if (pos >= 0 && pos < n)
            best = std::max(best, tail_candidate(recs, ch, pos));
    return std::max(best, MIN_SCALE);
}

QColor ChartWidget::bar_colour(int b)
{
    return b >= 0 && b < 5 ? BAR_COLOUR[b] : QColor();
}

void ChartWidget::draw_chart(const QRect& area, QPainter& painter, int first, bool print, int channel,
                             const QList<TableRecord>& recs)
{
    const int M = print ? PRINT_MARGIN : SCREEN_MARGIN;
    const int G = print ? PRINT_SLOT : SCREEN_SLOT;
    const int T = print ? PRINT_UNIT : SCREEN_UNIT;
    const int t04 = int(0.4 * T);
    const int t18 = int(1.8 * T);
    const int t02 = int(0.2 * T);

    const int x = area.x();
    const int y = area.y();
    const int w = area.width();
    const int h = area.height();
    const int right = x + w - 1;

    const int L = x + M;
    const int R = right - M;
    const int W = R - L + 1;
    const int B = y + h - M;
    const int P = y + M - 1;
    const int H = P - B + 1; // negative: values grow upwards
    const int N = slot_count(w, print);

    // Frame.
    painter.setPen(QPen(Qt::black));
    painter.setBrush(QBrush(Qt::white, Qt::SolidPattern));
    painter.drawRect(x, y, w - 1, h - 1);

    // Grid.
    painter.setPen(QPen(Qt::gray));
    for (int k = 1; k <= N; ++k)
        painter.drawLine(QPoint(L + k * G, B + t04), QPoint(L + k * G, P));
    for (int k = 1; k <= 10; ++k) {
        const int yk = B + (k * H) / 10;
        painter.drawLine(QPoint(L - t04, yk), QPoint(R, yk));
    }

    // Axes.
    painter.setPen(QPen(Qt::black));
    painter.drawLine(QPoint(L - 1, B + T), QPoint(L - 1, P - T + 1));
    painter.drawLine(QPoint(L - T, B), QPoint(L + W + T, B));

    QFont font("Arial", 10);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    painter.setFont(font);

    // On paper, the numbers come from glyphs looked up once: a report has
    // thousands of chart pages, and shaping each label costs more than
    // drawing the rest of the chart.
    NumericGlyphs* glyphs = nullptr;
    if (print) {
        if (!print_glyphs_)
            print_glyphs_ = std::make_unique<NumericGlyphs>();
        if (print_glyphs_->prepare(painter))
            glyphs = print_glyphs_.get();
    }
    auto label = [&](const QPoint& at, const QString& text) {
        if (!glyphs || !glyphs->draw(painter, at.x(), at.y(), text, w))
            painter.drawText(at, text);
    };

    const quint32 S = scale(channel, recs);
    for (quint32 k = 0; k <= 10; ++k)
        label(QPoint(L - t18, B + (int(k) * H) / 10), QString::number(quint64(k) * S / 10));

    if (recs.isEmpty() || N <= 0)
        return;

    const int base = counter_base(channel);
    const qint64 last_number = recs.last().number;
    const int bar_w = G / 6;
    const int offsets[5] = {G / 12, G / 4, 5 * G / 12, 7 * G / 12, 9 * G / 12};
    static const TableRecord ZERO_RECORD;

    for (qint64 i = first; i < qint64(first) + N && i <= last_number; ++i) {
        if (i < 0)
            continue;
        if (i >= recs.size())
            break; // numbering ahead of the list: nothing to draw there
        const int X = L + int(i - first) * G;
        const TableRecord& cur = recs[i];

        painter.setPen(QPen(Qt::black));
        label(QPoint(X + t02, B + T), time_of_day_text(cur.time_s));

        const TableRecord& prev = (cur.number != 0 && i > 0) ? recs[i - 1] : ZERO_RECORD;
        for (int b = 0; b < 5; ++b) {
            const int k = base + BAR_COUNTER[b];
            const quint32 value = cur.counters[k] - prev.counters[k];
            const int height = int(double(value) * H / double(S));
            painter.setPen(QPen(BAR_COLOUR[b]));
            painter.setBrush(QBrush(BAR_COLOUR[b], Qt::SolidPattern));
            painter.drawRect(QRect(X + offsets[b], B, bar_w, height));
        }
    }
}

void ChartWidget::saveChart()
{
    SaveChartDialog dlg;
    if (!exec_save_dialog(dlg))
        return;
    const QString file = dlg.file_name();
    if (file.isEmpty())
        return;
    const QSize size = dlg.image_size();
    write_png(file, size.width(), size.height());
}

bool ChartWidget::write_png(const QString& file, int width, int height)
{
    bool ok = false;
    if (width > 0 && height > 0) {
        QImage image(width, height, QImage::Format_RGB32);
        if (!image.isNull()) {
            image.fill(0xffffff);
            {
                QPainter painter(&image);
                const QRect vp = painter.viewport();
                draw_chart(QRect(0, 0, vp.width(), vp.height()), painter, first_, false, channel_);
            }
            ok = image.save(file, "PNG");
        }
    }
    if (!ok)
        warning_box(tr("Save chart"),
                    tr("The chart could not be saved to the file %1.").arg(QDir::toNativeSeparators(file)));
    return ok;
}
