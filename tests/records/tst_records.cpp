// The records windows. Histogram chart: pixel checks at computed coordinates, the kept
// y scale against a plain recount, the PNG export. Records table: absolute first row then
// deltas, unsigned wrap, time texts, refill after a clear, numbering that does not fit.

#include "device/device.h"
#include "records/chartwidget.h"
#include "records/savechartdialog.h"
#include "records/tableform.h"
#include "tests/support/widgets.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGray = QColor(Qt::gray).rgb();
const QRgb kBars[5] = {qRgb(0, 170, 0), qRgb(170, 0, 0), qRgb(0, 0, 170), qRgb(255, 255, 0), qRgb(170, 0, 255)};
const int kBarCounter[5] = {REC_BIT, REC_CODE, REC_FRAME, REC_CRC4, REC_EBIT};
const int M = 40, G = 60;

// A chart drawn into (0, 0, 400, 300): bottom line and plot height (values grow upwards).
const QSize kSize(400, 300);
const int B = 300 - M, H = 2 * M - 300;

QImage render(ChartWidget& chart, QSize size, int first, int channel)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(0xffffff);
    QPainter p(&img);
    chart.draw_chart(QRect(QPoint(0, 0), size), p, first, false, channel);
    return img;
}

// a, b: cumulative bit, code, frame, CRC-4, E-bit counts of channels A and B.
TableRecord record(quint32 number, quint32 time_s, QList<quint32> a, QList<quint32> b = {})
{
    TableRecord r;
    r.number = number;
    r.time_s = time_s;
    for (int i = 0; i < 5; ++i) {
        r.counters[kBarCounter[i]] = a.value(i);
        r.counters[8 + kBarCounter[i]] = b.value(i);
    }
    return r;
}

// The largest bar value, walked over the whole list.
quint32 plain_scale(const QList<TableRecord>& recs, int channel)
{
    quint32 best = 50;
    for (qsizetype pos = 0; pos < recs.size(); ++pos)
        for (int k : kBarCounter) {
            const int c = 8 * channel + k;
            best = std::max(best, recs[pos].counters[c] - (pos ? recs[pos - 1].counters[c] : 0));
        }
    return best;
}

} // namespace

class TstRecords : public QObject {
    Q_OBJECT
    QList<TableRecord> recs;
    Device* dev = nullptr;
    TableForm* form = nullptr;
    QTableView* table = nullptr;

    void append(const TableRecord& r)
    {
        dev->records.append(r);
        form->table_rec_rcv();
    }
    int rows() { return table->verticalHeader()->count(); } // as the view shows them

    // The five bars of recs[i] in `slot`: their colour up to the expected height, and no higher.
    void check_bars(const QImage& img, int slot, int i, quint32 scale, int channel)
    {
        for (int b = 0; b < 5; ++b) {
            const int k = 8 * channel + kBarCounter[b];
            const int height = int(double(recs[i].counters[k] - (i ? recs[i - 1].counters[k] : 0)) * H / scale);
            const int cx = M + slot * G + (2 * b + 1) * G / 12 + 5;
            QCOMPARE(img.pixel(cx, B + height / 2), kBars[b]);
            QVERIFY(img.pixel(cx, B + height - 3) != kBars[b]);
        }
    }

private slots:
    void init()
    {
        recs.clear();
        dev = new Device;
        dev->scan_timer->stop();
        form = new TableForm(dev);
        table = form->findChild<QTableView*>("tRes");
        // Every change the table's model announces must keep to Qt's model rules.
        new QAbstractItemModelTester(table->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, form);
    }
    void cleanup()
    {
        delete form;
        delete dev;
    }

    // Frame, grid, axes, and the bars of known records at their heights.
    void barsOfKnownRecords()
    {
        ChartWidget chart(&recs, 0);
        recs.append(record(0, 10, {10, 20, 30, 40, 100}, {1, 2, 3, 4, 5}));
        recs.append(record(1, 70, {60, 20, 31, 50, 150}, {50, 2, 3, 4, 5}));
        recs.append(record(2, 3723, {60, 30, 31, 50, 160}, {50, 2, 3, 4, 5}));
        QCOMPARE(chart.scale(0), 100u);
        QImage img = render(chart, kSize, 0, 0);
        for (QPoint p : {QPoint(0, 150), QPoint(200, 0), QPoint(399, 150), QPoint(200, 299)})
            QCOMPARE(img.pixel(p), kBlack); // frame
        for (int k = 1; k <= 5; ++k)
            QCOMPARE(img.pixel(M + k * G, B - 11), kGray); // slot borders
        for (int k = 1; k <= 10; ++k)
            QCOMPARE(img.pixel(M + 4 * G + 30, B + (k * H) / 10), kGray);
        QCOMPARE(img.pixel(M - 1, B - 50), kBlack); // axes, the y axis reaching above the plot
        QCOMPARE(img.pixel(M - 1, B + H - 2), kBlack);
        QCOMPARE(img.pixel(M + 3 * G + 30, B), kBlack);
        for (int i = 0; i < 3; ++i)
            check_bars(img, i, i, 100, 0);
        // From record 1, channel B (not the widget's): record 1 in the leftmost slot.
        QCOMPARE(chart.scale(1), 50u);
        img = render(chart, kSize, 1, 1);
        check_bars(img, 0, 1, 50, 1);
        check_bars(img, 1, 2, 50, 1);
    }

    void keptScaleMatchesRecount()
    {
        ChartWidget chart(&recs, 0);
        QRandomGenerator rng(12345);
        auto random_record = [&](quint32 number) {
            TableRecord r = number ? recs.last() : TableRecord();
            r.number = number;
            for (quint32& c : r.counters)
                c += rng.bounded(100) < 3 ? rng.bounded(5000) : rng.bounded(40);
            return r;
        };
        for (int op = 0; op < 600; ++op) {
            const int what = rng.bounded(100);
            if (what < 70 || recs.isEmpty()) {
                recs.append(random_record(quint32(recs.size())));
            } else if (what < 82 && recs.size() > 2) {
                // The record in progress counts on, or the one before it gets its stored values.
                TableRecord& r = recs[recs.size() - 1 - qsizetype(rng.bounded(2))];
                for (quint32& c : r.counters)
                    c += rng.bounded(100) < 10 ? rng.bounded(9000) : rng.bounded(20);
            } else if (what < 92) {
                for (quint32& c : recs[0].counters) // record 0 replaced in place
                    c = rng.bounded(3000);
            } else {
                // Emptied, and maybe refilled beyond the old size, between two looks.
                const qsizetype n = what < 96 ? 0 : recs.size() + 1 + rng.bounded(5);
                recs.clear();
                for (qsizetype i = 0; i < n; ++i)
                    recs.append(random_record(quint32(i)));
            }
            if (rng.bounded(3) == 0)
                continue; // not looked at every time
            const int ch = int(rng.bounded(2));
            QCOMPARE(chart.scale(ch), plain_scale(recs, ch));
        }
        // Emptied and refilled equal where the kept part ends, without the spike: it leaves the scale.
        auto refill = [&](bool spike) {
            recs.clear();
            for (int i = 0; i < 40; ++i) {
                const int extra = spike ? (i >= 3 ? 4990 : 0) : 166 * std::clamp(i - 2, 0, 30) + (i >= 33 ? 10 : 0);
                recs.append(record(quint32(i), 0, {quint32(10 * (i + 1) + extra)}));
            }
        };
        refill(true);
        QCOMPARE(chart.scale(0), 5000u);
        recs.clear();
        QCOMPARE(chart.scale(0), 50u);
        refill(false);
        QCOMPARE(chart.scale(0), 176u);
        // Nor is the scale kept for one list taken for another (the report's copy).
        const QList<TableRecord> flat = recs;
        refill(true);
        const QList<TableRecord> spiked = recs;
        QCOMPARE(chart.scale(0, spiked), 5000u);
        QCOMPARE(chart.scale(0, flat), 176u);
        // A counter that went backwards is a huge bar, not a negative one.
        recs = {record(0, 0, {10}), record(1, 1, {9})};
        QCOMPARE(chart.scale(0), 4294967295u);
        // A record numbered 0 further down (a new test's first) shows its own counts, not a delta.
        recs = {record(0, 0, {10}), record(0, 10, {30}), record(5, 20, {40})};
        QCOMPARE(render(chart, kSize, 0, 0).pixel(M + G + G / 12 + 5, B - 100), kBars[0]);
    }

    // The PNG is the picture the routine draws, at the size asked for.
    void pngExport()
    {
        recs = {record(0, 0, {10, 20, 30, 40, 50}), record(1, 60, {30, 20, 30, 40, 50})};
        ChartWidget chart(&recs, 0);
        chart.draw_from_num(1);
        QTemporaryDir dir;
        const QString file = dir.filePath("out.png");
        ChartWidget::exec_save_dialog = [&](SaveChartDialog& dlg) {
            dlg.findChild<QSpinBox*>("sWidth")->setValue(321);
            dlg.findChild<QSpinBox*>("sHeight")->setValue(123);
            dlg.findChild<QLineEdit*>("lFileName")->setText(file);
            return true;
        };
        ChartWidget::warning_box = [](const QString&, const QString& text) { QFAIL(qPrintable(text)); };
        chart.saveChart();
        QCOMPARE(QImage(file).convertToFormat(QImage::Format_RGB32), render(chart, QSize(321, 123), 1, 0));
    }

    // Deltas wrap as unsigned counts do; times count days; jitter has two decimals.
    void deltasAndTexts()
    {
        TableRecord r0 = record(0, 90061, {10});
        r0.jitter_hf = 1.234;
        r0.counters[8 + REC_LOF] = 4294967295u;
        append(r0);
        TableRecord r1 = record(1, 8640000, {7}); // bit errors went backwards
        r1.jitter = 2.5;
        r1.counters[8 + REC_LOF] = 2; // wrapped forwards
        append(r1);
        const QStringList texts = {cell(table, 1, 1), cell(table, 1, 19), cell(table, 0, 0), cell(table, 1, 0),
                                   cell(table, 0, 10), cell(table, 1, 9), cell(table, 1, 11)};
        QCOMPARE(texts, QStringList({"4294967293", "3", "01 01:01:01", "100 00:00:00", "1.23", "2.50", ""}));
    }

    // No value is ever elided: each column is as wide as its largest value needs.
    void columnsHoldTheirLargestValues()
    {
        TableRecord r = record(0, std::numeric_limits<quint32>::max(), {});
        std::fill(std::begin(r.counters), std::end(r.counters), std::numeric_limits<quint32>::max());
        r.jitter = r.jitter_hf = 655.35;
        append(r);
        for (int c = 0; c < 20; ++c)
            QVERIFY2(table->columnWidth(c) >= static_cast<QAbstractItemView*>(table)->sizeHintForColumn(c),
                     qPrintable(cell(table, 0, c)));
        // Sized for what each field can hold: a jitter column not as wide as a count's.
        QVERIFY(table->columnWidth(9) < table->columnWidth(1));
        QCOMPARE(table->columnWidth(11), 5); // the narrow gap between the channels
    }

    void clearThenRefill()
    {
        for (quint32 i = 0; i < 3; ++i)
            append(record(i, i * 10, {5}));
        form->clear_table();
        QCOMPARE(rows(), 0);
        QVERIFY(dev->records.isEmpty());

        // Several records arrive before the next announcement: all rows are written.
        QSignalSpy drawn(form, &TableForm::draw_rec);
        for (quint32 i = 0; i < 4; ++i)
            dev->records.append(record(i, 100 + i, {0, 7 * i * i + 5}));
        form->table_rec_rcv();
        QCOMPARE(rows(), 4);
        QCOMPARE(drawn.count(), 4);
        const QStringList code = {cell(table, 0, 2), cell(table, 1, 2), cell(table, 2, 2), cell(table, 3, 2)};
        QCOMPARE(code, QStringList({"5", "7", "21", "35"}));
    }

    // A record taken again with its final values shows them; numbering that
    // does not fit the list changes nothing until it fits again.
    void newestRowsFollowTheirRecords()
    {
        append(record(0, 0, {}));
        append(record(1, 10, {}));
        QSignalSpy changed(table->model(), &QAbstractItemModel::dataChanged);
        dev->records[1].time_s = 11;
        form->table_rec_rcv();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 0);
        QCOMPARE(changed[0][1].toModelIndex().row(), 1);
        QCOMPARE(cell(table, 1, 0), QString("00 00:00:11"));

        QSignalSpy drawn(form, &TableForm::draw_rec);
        append(record(5, 50, {})); // not number 2
        QCOMPARE(rows(), 2);
        QCOMPARE(drawn.count(), 0);
        dev->records[2] = record(2, 20, {});
        append(record(3, 30, {}));
        QCOMPARE(rows(), 4);
        QCOMPARE(drawn.count(), 1);
        QCOMPARE(cell(table, 2, 0), QString("00 00:00:20"));
        QCOMPARE(cell(table, 3, 0), QString("00 00:00:30"));
    }
};

QTEST_MAIN(TstRecords)
#include "tst_records.moc"
