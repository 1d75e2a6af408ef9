// Prints how long a chart repaint and a records-table refill take with
// 50 000 records (about six days of a test at one record per 10 s).
// Run on the offscreen platform: QT_QPA_PLATFORM=offscreen ./bench_records

#include "device/device.h"
#include "records/chartwidget.h"
#include "records/histogramsform.h"
#include "records/tableform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kRecords = 50000;

TableRecord make(quint32 n, const TableRecord* prev)
{
    TableRecord r;
    r.number = n;
    r.time_s = n * 10;
    r.jitter = (n % 7) * 0.01;
    for (int k = 0; k < 16; ++k)
        r.counters[k] = (prev ? prev->counters[k] : 0) + (n * 31 + k * 17) % 97;
    return r;
}

double ms(QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    Device dev;
    dev.scan_timer->stop();
    dev.records.reserve(kRecords + 1);
    for (int i = 0; i < kRecords; ++i)
        dev.records.append(make(quint32(i), i ? &dev.records.last() : nullptr));

    HistogramsForm hist(&dev);
    hist.resize(900, 600);
    hist.show();
    QApplication::processEvents();
    hist.draw_rec(); // scroll range
    hist.scrollBar()->setValue(kRecords - 5);

    QElapsedTimer t;
    t.start();
    hist.chartA()->reset_scale();
    hist.chartA()->repaint();
    const double cold = ms(t);

    double warm = 1e9;
    for (int i = 0; i < 20; ++i) {
        t.restart();
        hist.chartA()->repaint();
        warm = std::min(warm, ms(t));
    }

    // Both charts after each new record, as while a test runs (best of 20).
    double both_after_append = 1e9;
    for (int i = 0; i < 20; ++i) {
        dev.records.append(make(quint32(dev.records.size()), &dev.records.last()));
        t.restart();
        hist.draw_rec();
        both_after_append = std::min(both_after_append, ms(t));
    }

    QImage img(1920, 1080, QImage::Format_RGB32);
    img.fill(0xffffff);
    t.restart();
    {
        QPainter p(&img);
        hist.chartB()->draw_chart(img.rect(), p, kRecords - 30, false, 1);
    }
    const double to_image = ms(t);

    TableForm table(&dev);
    t.restart();
    table.table_rec_rcv(); // refill-all: every row
    const double refill = ms(t);

    dev.records.append(make(quint32(dev.records.size()), &dev.records.last()));
    t.restart();
    table.table_rec_rcv();
    const double one_row = ms(t);

    std::printf("records: %d\n", int(dev.records.size()));
    std::printf("chart repaint, first after reset (walks the list once): %.2f ms\n", cold);
    std::printf("chart repaint, steady (best of 20): %.2f ms\n", warm);
    std::printf("both charts after a new record (draw_rec, best of 20): %.2f ms\n", both_after_append);
    std::printf("draw_chart into a 1920x1080 image: %.2f ms\n", to_image);
    std::printf("records table refill of all rows: %.1f ms (%d rows)\n", refill,
                table.findChild<QTableWidget*>("tRes")->rowCount());
    std::printf("records table, one new row: %.3f ms\n", one_row);
    return 0;
}
