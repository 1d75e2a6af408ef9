// Histogram chart drawing (pixel checks at computed coordinates), the kept
// y scale against a plain recomputation, the histograms window, the chart
// export dialog and the PNG export with its failure report.

#include "chartwidget.h"
#include "device.h"
#include "histogramsform.h"
#include "savechartdialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QImage>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGray = QColor(Qt::gray).rgb();
const QRgb kBars[5] = {qRgb(0, 170, 0), qRgb(170, 0, 0), qRgb(0, 0, 170), qRgb(255, 255, 0), qRgb(170, 0, 255)};
const int kBarCounter[5] = {REC_BIT, REC_CODE, REC_FRAME, REC_CRC4, REC_EBIT};

// Screen geometry of a chart drawn into (0, 0, w, h).
struct Geo {
    int L, R, W, B, P, H, N;
    Geo(int w, int h, int M = 40, int G = 60)
    {
        L = M;
        R = w - 1 - M;
        W = R - L + 1;
        B = h - M;
        P = M - 1;
        H = P - B + 1;
        N = W > 0 ? W / G : 0;
    }
};

QImage render(ChartWidget& chart, QSize size, int first, int channel, bool print = false)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(0xffffff);
    QPainter p(&img);
    chart.draw_chart(QRect(QPoint(0, 0), size), p, first, print, channel);
    return img;
}

// The same text drawn alone, with the chart's font, at the same origin.
QImage reference_text(QSize size, const QList<QPair<QPoint, QString>>& texts)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(0xffffff);
    QPainter p(&img);
    p.setPen(Qt::black);
    p.setFont(QFont("Arial", 10));
    for (const auto& t : texts)
        p.drawText(t.first, t.second);
    return img;
}

bool same_region(const QImage& a, const QImage& b, const QRect& r)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return false;
    return true;
}

bool region_has(const QImage& img, const QRect& r, QRgb colour)
{
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (img.pixel(x, y) == colour)
                return true;
    return false;
}

TableRecord record(quint32 number, quint32 time_s, std::initializer_list<quint32> a,
                   std::initializer_list<quint32> b = {})
{
    // a, b: bit, code, frame, CRC-4, E-bit (cumulative)
    TableRecord r;
    r.number = number;
    r.time_s = time_s;
    int i = 0;
    for (quint32 v : a)
        r.counters[kBarCounter[i++]] = v;
    i = 0;
    for (quint32 v : b)
        r.counters[8 + kBarCounter[i++]] = v;
    return r;
}

// The largest bar value walked exactly as described for the chart.
quint32 plain_scale(const QList<TableRecord>& recs, int channel)
{
    if (recs.isEmpty())
        return 50;
    const int base = channel == 0 ? 0 : 8;
    quint32 best = 0;
    for (qsizetype pos = 0; pos < recs.size() && quint32(pos) <= recs.last().number; ++pos) {
        const TableRecord& r = recs[pos];
        for (int k : kBarCounter) {
            const quint32 v = r.number == 0 ? r.counters[base + k]
                                            : r.counters[base + k] - recs[r.number - 1].counters[base + k];
            best = std::max(best, v);
        }
    }
    return std::max<quint32>(best, 50);
}

} // namespace

class TestChart : public QObject {
    Q_OBJECT
    QList<TableRecord> recs;

    // Checks the five bars of `cur` (predecessor `prev`) in slot `slot`.
    void check_bars(const QImage& img, const Geo& g, int slot, const TableRecord& cur, const TableRecord* prev,
                    quint32 scale, int channel)
    {
        const int X = g.L + slot * 60;
        const int base = channel == 0 ? 0 : 8;
        for (int b = 0; b < 5; ++b) {
            const int k = base + kBarCounter[b];
            const quint32 v = cur.counters[k] - (prev ? prev->counters[k] : 0);
            const int height = int(double(v) * g.H / double(scale));
            const int cx = X + (2 * b + 1) * 60 / 12 + 5;
            QVERIFY2(img.pixel(cx, g.B + height / 2) == kBars[b],
                     qPrintable(QString("bar %1 of slot %2 at y %3").arg(b).arg(slot).arg(g.B + height / 2)));
            QVERIFY2(img.pixel(cx, g.B + height - 3) != kBars[b],
                     qPrintable(QString("bar %1 of slot %2 too high").arg(b).arg(slot)));
        }
    }

private slots:
    void init() { recs.clear(); }

    void emptyChart()
    {
        ChartWidget chart(&recs, 0);
        const QSize size(400, 300);
        const QImage img = render(chart, size, 0, 0);
        const Geo g(400, 300);
        // Frame.
        QCOMPARE(img.pixel(0, 0), kBlack);
        QCOMPARE(img.pixel(0, 150), kBlack);
        QCOMPARE(img.pixel(200, 0), kBlack);
        QCOMPARE(img.pixel(399, 150), kBlack);
        QCOMPARE(img.pixel(200, 299), kBlack);
        QCOMPARE(img.pixel(10, 10), kWhite);
        // Vertical grid lines at every slot border.
        for (int k = 1; k <= g.N; ++k)
            QCOMPARE(img.pixel(g.L + k * 60, g.B - 11), kGray);
        QCOMPARE(img.pixel(g.L + 30, g.B - 11), kWhite);
        // Ten horizontal grid lines.
        for (int k = 1; k <= 10; ++k)
            QCOMPARE(img.pixel(g.L + 30, g.B + (k * g.H) / 10), kGray);
        // Axes.
        QCOMPARE(img.pixel(g.L - 1, g.B - 50), kBlack);
        QCOMPARE(img.pixel(g.L - 1, g.B + 19), kBlack);
        QCOMPARE(img.pixel(g.L + 100, g.B), kBlack);
        QCOMPARE(img.pixel(g.L + g.W + 20, g.B), kBlack);
        // Labels 0, 5, ... 50 left of the axis; nothing else there.
        QList<QPair<QPoint, QString>> labels;
        for (int k = 0; k <= 10; ++k)
            labels.append({QPoint(g.L - 36, g.B + (k * g.H) / 10), QString::number(5 * k)});
        const QImage ref = reference_text(size, labels);
        QVERIFY(same_region(img, ref, QRect(1, 1, g.L - 21 - 1, g.B + 19)));
        QVERIFY(region_has(img, QRect(1, 1, g.L - 21 - 1, g.B + 19), kBlack));
        // No bars anywhere.
        for (QRgb c : kBars)
            QVERIFY(!region_has(img, QRect(g.L, g.P, g.W, g.B - g.P), c));
    }

    void barsOfKnownRecords()
    {
        recs.append(record(0, 10, {10, 20, 30, 40, 100}, {1, 2, 3, 4, 5}));
        recs.append(record(1, 70, {60, 20, 31, 50, 150}, {50, 2, 3, 4, 5}));
        recs.append(record(2, 86400 + 3723, {60, 30, 31, 50, 160}, {50, 2, 3, 4, 5}));
        ChartWidget chart(&recs, 0);
        const QSize size(400, 300);
        const Geo g(400, 300);
        QCOMPARE(chart.scale(0), 100u);

        QImage img = render(chart, size, 0, 0);
        check_bars(img, g, 0, recs[0], nullptr, 100, 0);
        check_bars(img, g, 1, recs[1], &recs[0], 100, 0);
        check_bars(img, g, 2, recs[2], &recs[1], 100, 0);
        // A bar of value 0 is a flat line on the axis in its colour.
        QCOMPARE(img.pixel(g.L + 60 + 15 + 5, g.B), kBars[1]);
        // Slots after the last record stay empty.
        for (QRgb c : kBars)
            QVERIFY(!region_has(img, QRect(g.L + 3 * 60, g.P, 2 * 60, g.B - g.P), c));
        // Time of day under each slot.
        QList<QPair<QPoint, QString>> times = {{QPoint(g.L + 4, g.B + 20), "00:00:10"},
                                               {QPoint(g.L + 64, g.B + 20), "00:01:10"},
                                               {QPoint(g.L + 124, g.B + 20), "01:02:03"}};
        const QImage ref = reference_text(size, times);
        QVERIFY(same_region(img, ref, QRect(g.L + 2, g.B + 10, 56, 14)));
        QVERIFY(same_region(img, ref, QRect(g.L + 122, g.B + 10, 56, 14)));

        // Starting at record 1: record 1 in the leftmost slot, last visible is record 2.
        img = render(chart, size, 1, 0);
        check_bars(img, g, 0, recs[1], &recs[0], 100, 0);
        check_bars(img, g, 1, recs[2], &recs[1], 100, 0);
        for (QRgb c : kBars)
            QVERIFY(!region_has(img, QRect(g.L + 2 * 60, g.P, 3 * 60, g.B - g.P), c));

        // The channel argument picks the counters, not the widget's channel.
        QCOMPARE(chart.scale(1), 50u);
        img = render(chart, size, 0, 1);
        check_bars(img, g, 1, recs[1], &recs[0], 50, 1);
    }

    void onlyAsManySlotsAsFit()
    {
        for (quint32 i = 0; i < 20; ++i)
            recs.append(record(i, i, {i * 10, i * 10, i * 10, i * 10, i * 10}));
        ChartWidget chart(&recs, 0);
        const QImage img = render(chart, QSize(400, 300), 0, 0);
        const Geo g(400, 300);
        QCOMPARE(g.N, 5);
        // Bars in the fifth slot; nothing in the right margin.
        QCOMPARE(img.pixel(g.L + 4 * 60 + 9 * 5 + 5, g.B - 5), kBars[4]);
        for (QRgb c : kBars)
            QVERIFY(!region_has(img, QRect(g.L + 5 * 60, 1, 400 - g.L - 5 * 60 - 1, 298), c));
    }

    void narrowChartHasNoSlots()
    {
        recs.append(record(0, 0, {10, 10, 10, 10, 10}));
        ChartWidget chart(&recs, 0);
        const int w = 2 * 40 + 60 - 1;
        const QImage img = render(chart, QSize(w, 300), 0, 0);
        const Geo g(w, 300);
        QCOMPARE(g.N, 0);
        for (QRgb c : kBars)
            QVERIFY(!region_has(img, QRect(1, 1, w - 2, 298), c));
        // No vertical grid: between horizontal lines there is no gray.
        QVERIFY(!region_has(img, QRect(g.L, g.B - 20, w - g.L - 1, 18), kGray));
        // Axes and labels are still there.
        QCOMPARE(img.pixel(g.L - 1, g.B - 50), kBlack);
        QVERIFY(region_has(img, QRect(1, 1, g.L - 22, g.B + 19), kBlack));

        const QImage wider = render(chart, QSize(w + 1, 300), 0, 0);
        QCOMPARE(wider.pixel(g.L + 5 + 5, g.B - 5), kBars[0]);
    }

    void scaleNeverBelowFifty()
    {
        recs.append(record(0, 0, {5, 0, 0, 0, 0}));
        ChartWidget chart(&recs, 0);
        QCOMPARE(chart.scale(0), 50u);
        const Geo g(400, 300);
        const QImage img = render(chart, QSize(400, 300), 0, 0);
        // 5 of 50 on a 220-pixel plot: 22 pixels.
        QCOMPARE(img.pixel(g.L + 10, g.B - 21), kBars[0]);
        QVERIFY(img.pixel(g.L + 10, g.B - 24) != kBars[0]);
    }

    void labelsFollowTheScale()
    {
        recs.append(record(0, 0, {0, 0, 0, 0, 4000000000u}));
        ChartWidget chart(&recs, 0);
        QCOMPARE(chart.scale(0), 4000000000u);
        const QSize size(400, 300);
        const Geo g(400, 300);
        const QImage img = render(chart, size, 0, 0);
        QList<QPair<QPoint, QString>> labels;
        for (quint64 k = 0; k <= 10; ++k)
            labels.append({QPoint(g.L - 36, g.B + (int(k) * g.H) / 10), QString::number(k * 4000000000ull / 10)});
        QVERIFY(same_region(img, reference_text(size, labels), QRect(1, 1, g.L - 22, g.B + 19)));
    }

    void counterGoingBackwardsIsHuge()
    {
        recs.append(record(0, 0, {10, 0, 0, 0, 0}));
        recs.append(record(1, 1, {9, 0, 0, 0, 0}));
        ChartWidget chart(&recs, 0);
        QCOMPARE(chart.scale(0), 4294967295u);
    }

    void printGeometry()
    {
        recs.append(record(0, 0, {50, 50, 50, 50, 50}));
        ChartWidget chart(&recs, 0);
        const QImage img = render(chart, QSize(3400, 2000), 0, 0, true);
        const Geo g(3400, 2000, 950, 750);
        QCOMPARE(g.N, 2);
        for (int b = 0; b < 5; ++b) {
            const int cx = g.L + (2 * b + 1) * 750 / 12 + 62;
            QCOMPARE(img.pixel(cx, g.B + g.H / 2), kBars[b]);
        }
        QCOMPARE(img.pixel(g.L + 750, g.B - 10), kGray);
    }

    void keptScaleMatchesRecomputation()
    {
        ChartWidget chart(&recs, 0);
        QRandomGenerator rng(12345);
        auto random_record = [&](quint32 number) {
            TableRecord r;
            r.number = number;
            r.time_s = number * 10;
            const TableRecord* prev = recs.isEmpty() ? nullptr : &recs.last();
            for (int k = 0; k < 16; ++k) {
                const quint32 step = rng.bounded(100) < 3 ? rng.bounded(5000) : rng.bounded(40);
                r.counters[k] = (prev ? prev->counters[k] : 0) + step;
            }
            return r;
        };
        for (int op = 0; op < 3000; ++op) {
            const int what = rng.bounded(100);
            if (what < 80 || recs.isEmpty()) {
                recs.append(random_record(quint32(recs.size())));
            } else if (what < 92) {
                TableRecord r0 = random_record(0);
                for (quint32& c : r0.counters)
                    c = rng.bounded(3000);
                recs[0] = r0;
            } else if (what < 96) {
                recs.clear();
            } else {
                // Emptied and refilled beyond the old size between two looks.
                const qsizetype n = recs.size() + 1 + rng.bounded(5);
                recs.clear();
                for (qsizetype i = 0; i < n; ++i)
                    recs.append(random_record(quint32(i)));
            }
            if (rng.bounded(3) == 0)
                continue; // not looked at every time
            const int ch = int(rng.bounded(2));
            QCOMPARE(chart.scale(ch), plain_scale(recs, ch));
        }
    }

    void inconsistentNumberingIsSafe()
    {
        recs.append(record(0, 0, {10, 0, 0, 0, 0}));
        recs.append(record(7, 0, {500, 0, 0, 0, 0})); // number beyond the list
        ChartWidget chart(&recs, 0);
        const quint32 s = chart.scale(0);
        QVERIFY(s >= 50u);
        render(chart, QSize(400, 300), 0, 0); // must not read outside the list
    }

    void histogramsWindow()
    {
        Device dev;
        dev.scan_timer->stop();
        HistogramsForm form(&dev);
        QVERIFY(form.isHidden());
        QCOMPARE(form.windowType(), Qt::Tool);
        QCOMPARE(form.windowTitle(), QString("Гистограммы"));
        QCOMPARE(form.size(), QSize(900, 600));
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form.geometry().x(), (avail.left() + avail.right()) / 2 - 900 / 2);
        QCOMPARE(form.geometry().y(), (avail.top() + avail.bottom()) / 2 - 600 / 2);

        QFrame* left = form.findChild<QFrame*>("fLeft");
        QVERIFY(left);
        QLayout* lay = left->layout();
        QCOMPARE(lay->count(), 3);
        QCOMPARE(lay->itemAt(0)->widget(), static_cast<QWidget*>(form.chartA()));
        QCOMPARE(lay->itemAt(1)->widget(), static_cast<QWidget*>(form.chartB()));
        QCOMPARE(lay->itemAt(2)->widget(), static_cast<QWidget*>(form.scrollBar()));
        QCOMPARE(form.chartA()->channel(), 0);
        QCOMPARE(form.chartB()->channel(), 1);
        QCOMPARE(form.findChild<QFrame*>("fRight")->maximumWidth(), 100);
        QCOMPARE(form.findChild<QFrame*>("line_4")->styleSheet(), QString("color: rgb(255, 255, 0);"));
        QCOMPARE(form.scrollBar()->maximum(), 0);

        for (quint32 i = 0; i < 30; ++i)
            dev.records.append(record(i, i * 10, {i, i, i, i, i}));
        form.draw_rec();
        QCOMPARE(form.scrollBar()->minimum(), 0);
        QCOMPARE(form.scrollBar()->maximum(), 29);
        form.scrollBar()->setValue(12);
        QCOMPARE(form.chartA()->first_record(), 12);
        QCOMPARE(form.chartB()->first_record(), 12);
        dev.records.append(record(30, 300, {30, 30, 30, 30, 30}));
        form.draw_rec();
        QCOMPARE(form.scrollBar()->value(), 12); // the view does not jump
        QCOMPARE(form.scrollBar()->maximum(), 30);

        // Shown: painting goes through the same routine.
        form.show();
        const QImage shot = form.chartA()->grab().toImage();
        QVERIFY(region_has(shot, shot.rect(), kBars[0]));
        form.close(); // hides; the window and its charts stay
        QVERIFY(form.isHidden());
        QCOMPARE(form.chartA()->first_record(), 12);
        form.repaint_charts();
        dev.records.clear();
        form.draw_rec();
        QCOMPARE(form.scrollBar()->maximum(), 0);
        QCOMPARE(form.chartA()->scale(0), 50u);
    }

    void contextMenuHasSaveAction()
    {
        ChartWidget chart(&recs, 1);
        QCOMPARE(chart.contextMenuPolicy(), Qt::CustomContextMenu);
        QCOMPARE(chart.minimumSize(), QSize(100, 100));
        QCOMPARE(chart.menu()->actions().size(), 1);
        QCOMPARE(chart.menu()->actions().first()->text(), QString("Save as..."));
    }

    void exportDialogForm()
    {
        SaveChartDialog dlg;
        QCOMPARE(dlg.windowTitle(), QString("Сохранение графика"));
        QVERIFY(!dlg.windowFlags().testFlag(Qt::WindowContextHelpButtonHint));
        auto* w = dlg.findChild<QSpinBox*>("sWidth");
        auto* h = dlg.findChild<QSpinBox*>("sHeight");
        QVERIFY(w && h);
        QCOMPARE(dlg.image_size(), QSize(640, 480));
        QCOMPARE(w->singleStep(), 100);
        QCOMPARE(w->maximum(), 10000);
        QCOMPARE(h->maximum(), 10000);
        // A zero-sized image cannot be asked for.
        w->setValue(0);
        h->setValue(0);
        QCOMPARE(dlg.image_size(), QSize(1, 1));
        QVERIFY(dlg.findChild<QLineEdit*>("lFileName")->isReadOnly());
        QCOMPARE(dlg.file_name(), QString());
        QCOMPARE(SaveChartDialog::proposed_file_name(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))),
                 QString("2024-03-05 14-07-09.png"));
    }

    void exportDialogFileChoice()
    {
        SaveChartDialog dlg;
        QTemporaryDir dir;
        const QString chosen = dir.filePath("chart.png");
        bool accept = true;
        QString proposed;
        auto saved = SaveChartDialog::exec_file_dialog;
        SaveChartDialog::exec_file_dialog = [&](QFileDialog& fd) {
            [&] {
                QCOMPARE(fd.acceptMode(), QFileDialog::AcceptSave);
                QCOMPARE(fd.fileMode(), QFileDialog::AnyFile);
                QCOMPARE(fd.defaultSuffix(), QString("png"));
                QCOMPARE(fd.nameFilters(), QStringList("*.png"));
                QVERIFY(!fd.testOption(QFileDialog::DontConfirmOverwrite));
            }();
            proposed = QFileInfo(fd.selectedFiles().value(0)).fileName();
            fd.selectFile(chosen);
            return accept;
        };
        dlg.findChild<QPushButton*>("bFileOpen")->click();
        QCOMPARE(dlg.file_name(), chosen);
        QVERIFY(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d-\d\d-\d\d\.png$)").match(proposed).hasMatch());

        accept = false; // cancelled: the earlier choice stays
        dlg.findChild<QPushButton*>("bFileOpen")->click();
        QCOMPARE(dlg.file_name(), chosen);
        SaveChartDialog::exec_file_dialog = saved;
    }

    void pngExport()
    {
        recs.append(record(0, 0, {10, 20, 30, 40, 50}));
        recs.append(record(1, 60, {30, 20, 30, 40, 50}));
        ChartWidget chart(&recs, 0);
        chart.draw_from_num(1);
        QTemporaryDir dir;
        QString file = dir.filePath("out.png");
        QSize size(321, 123);
        QStringList warnings;
        bool accept = true;
        auto saved_exec = ChartWidget::exec_save_dialog;
        auto saved_warn = ChartWidget::warning_box;
        ChartWidget::exec_save_dialog = [&](SaveChartDialog& dlg) {
            dlg.findChild<QSpinBox*>("sWidth")->setValue(size.width());
            dlg.findChild<QSpinBox*>("sHeight")->setValue(size.height());
            dlg.findChild<QLineEdit*>("lFileName")->setText(file);
            return accept;
        };
        ChartWidget::warning_box = [&](const QString&, const QString& text) { warnings << text; };

        chart.saveChart();
        QVERIFY(warnings.isEmpty());
        QImage written(file);
        QCOMPARE(written.size(), size);
        // The same picture as the routine draws, from the chart's first record.
        QCOMPARE(written.convertToFormat(QImage::Format_RGB32), render(chart, size, 1, 0));

        // Cancelled, or accepted without a file: nothing written, nothing said.
        QFile::remove(file);
        accept = false;
        chart.saveChart();
        QVERIFY(!QFile::exists(file));
        accept = true;
        file.clear();
        chart.saveChart();
        QVERIFY(warnings.isEmpty());

        // A file that cannot be written is reported by name.
        file = dir.filePath("missing/dir/out.png");
        chart.saveChart();
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().contains(QDir::toNativeSeparators(file)));
        QVERIFY(!QFile::exists(file));

        ChartWidget::exec_save_dialog = saved_exec;
        ChartWidget::warning_box = saved_warn;
    }
};

QTEST_MAIN(TestChart)
#include "tst_chart.moc"
