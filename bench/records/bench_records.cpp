// Prints, for a record count N (default 50 000, about six days of a test at
// one record per 10 s): the records table's memory against the records' own,
// its refill after a clear, the step of one new record (table and both
// charts, as while a test runs), and a chart repaint. Run at several counts
// to see which figures stay flat.
//
//   bench_records [N]      (on the offscreen platform unless QT_QPA_PLATFORM says otherwise)

#include "device/device.h"
#include "records/chartwidget.h"
#include "records/histogramsform.h"
#include "records/tableform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>

namespace {

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

// Bytes the heap holds in use now, large blocks (mapped on their own) included.
double heap_bytes()
{
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks + m.hblkhd);
}

void append(Device& dev) { dev.records.append(make(quint32(dev.records.size()), &dev.records.last())); }

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(2, QString(argv[1]).toInt()) : 50000;
    Device dev;
    dev.scan_timer->stop();
    QList<TableRecord> all;
    all.reserve(n + 64);
    for (int i = 0; i < n; ++i)
        all.append(make(quint32(i), i ? &all.last() : nullptr));
    dev.records = all;

    // The table alone: what its rows cost, and how long a refill takes.
    TableForm table(&dev);
    QTableView* view = table.findChild<QTableView*>("tRes");
    table.show();
    QApplication::processEvents();
    const double heap_before = heap_bytes();
    QElapsedTimer t;
    t.start();
    table.table_rec_rcv(); // refill-all: every row
    const double first_fill = ms(t);
    view->scrollToBottom();
    view->repaint();
    QApplication::processEvents();
    const double table_bytes = heap_bytes() - heap_before;
    const double record_bytes = double(n) * sizeof(TableRecord);

    double refill = 1e9;
    for (int i = 0; i < 5; ++i) {
        table.clear_table();
        dev.records = all;
        t.restart();
        table.table_rec_rcv();
        refill = std::min(refill, ms(t));
    }
    t.restart();
    view->repaint();
    const double table_paint = ms(t);

    // Charts following the newest record, wired to the table as in the program.
    HistogramsForm hist(&dev);
    hist.resize(900, 600);
    hist.show();
    QApplication::processEvents();
    hist.draw_rec(); // scroll range
    QObject::connect(&table, &TableForm::draw_rec, &hist, &HistogramsForm::draw_rec);

    double chart = 1e9;
    for (int i = 0; i < 20; ++i) {
        t.restart();
        hist.chartA()->repaint();
        chart = std::min(chart, ms(t));
    }
    // One new record: the table's row, both charts (best of 20).
    double step = 1e9;
    for (int i = 0; i < 20; ++i) {
        append(dev);
        t.restart();
        table.table_rec_rcv();
        step = std::min(step, ms(t));
    }
    QImage img(1920, 1080, QImage::Format_RGB32);
    img.fill(0xffffff);
    t.restart();
    {
        QPainter p(&img);
        hist.chartB()->draw_chart(img.rect(), p, n - 30, false, 1);
    }
    const double to_image = ms(t);

    std::printf("records: %d (table rows %d)\n", n, view->model()->rowCount());
    std::printf("records' own memory: %.2f MiB (%d x %zu bytes)\n", record_bytes / 1048576, n, sizeof(TableRecord));
    std::printf("table memory: %.2f MiB, x%.3f the records'\n", table_bytes / 1048576, table_bytes / record_bytes);
    std::printf("table fill at first show: %.2f ms; refill after a clear (best of 5): %.3f ms\n", first_fill, refill);
    std::printf("table repaint after the refill: %.2f ms\n", table_paint);
    std::printf("one new record, table and both charts (best of 20): %.3f ms\n", step);
    std::printf("chart repaint (best of 20): %.3f ms\n", chart);
    std::printf("draw_chart into a 1920x1080 image: %.2f ms\n", to_image);
    return 0;
}
