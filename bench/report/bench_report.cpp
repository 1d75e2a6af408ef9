// Time and peak memory of the PDF report for a long test: 30 days with one
// record a minute (43 200 records), and an event log full to its bound in the
// main file. Each file is written in a child process of its own, so that its
// peak resident size (getrusage ru_maxrss) is its own. The chart file is also
// written for a tenth of the records: its time per page must stay flat as the
// record count grows. Each time per page is set against the floor: as many
// trivial pages (one short line each) written by the same PDF writer, in a
// child process too, in the same run.
//
//   bench_report                      all measurements
//   bench_report KIND N               KIND main, table, chart or all, at N records
//   bench_report --against OTHER      the whole report at 43 200 records,
//                                     this build and the bench program OTHER
//                                     (an earlier build) taking turns
//   bench_report <main|table|chart> <records> <dir>   one file (child)
//   bench_report floor <pages> <dir>                   the floor (child)

#include "device/device.h"
#include "events/eventlog.h"
#include "proto/model.h"
#include "records/chartwidget.h"
#include "report/pdfcreator.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

void fill(Model& m, int n)
{
    QRandomGenerator rng(12345);
    m.identified = true;
    m.device_id = 10;
    m.raw_cfg[0] = QByteArray(24, '\0');
    m.raw_cfg[1] = QByteArray(16, '\0');
    m.results[0].elapsed_s = quint32(n) * 60;
    m.results[0].available_s = quint32(n) * 60 - 17;
    m.results[1] = m.results[0];
    quint32 acc[16] = {};
    m.records.reserve(n);
    for (int i = 0; i < n; ++i) {
        TableRecord r;
        r.number = quint32(i);
        r.time_s = quint32(i) * 60;
        r.jitter = rng.bounded(1000) / 100.0;
        r.jitter_hf = rng.bounded(300) / 100.0;
        for (int k = 0; k < 16; ++k) {
            // Mostly quiet, with an occasional burst.
            acc[k] += rng.bounded(100) < 5 ? rng.bounded(5000u) : rng.bounded(3u);
            r.counters[k] = acc[k];
        }
        m.records << r;
    }
}

long peak_kib()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// An event log full to its bound: channel A and B alarms rising and clearing
// in turn over the test.
void fill_log(Device& dev, int records)
{
    for (int i = 0; i < EventLog::MAX_EVENTS; ++i) {
        ChannelResults& r = dev.results[i % 2];
        r.alarms ^= ALARM_LOS;
        r.elapsed_s = quint32(qint64(i) * records * 60 / EventLog::MAX_EVENTS);
        emit dev.res_rcv(uchar(i % 2));
    }
}

// The trivial pages: one short line of text each, on the report's page.
int floor_child(int pages, const QString& dir)
{
    const QString file = dir + "/floor.pdf";
    QElapsedTimer t;
    t.start();
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(file);
    QPainter p;
    bool ok = p.begin(&printer);
    p.setFont(QFont("Arial", 11));
    for (int i = 1; ok && i <= pages; ++i) {
        p.drawText(200, 200, QString("page %1").arg(i));
        if (i < pages)
            ok = printer.newPage();
    }
    ok = p.end() && ok;
    std::printf("floor %d %.3f %ld %ld %lld %d\n", pages, t.nsecsElapsed() / 1e6, 0L, peak_kib(),
                static_cast<long long>(QFileInfo(file).size()), ok ? 1 : 0);
    return ok ? 0 : 1;
}

int child(const QString& kind, int records, const QString& dir)
{
    if (kind == "floor")
        return floor_child(records, dir);
    Device model; // the device link's model, with no instrument behind it
    model.scan_timer->stop();
    EventLog log(&model);
    fill_log(model, records);
    fill(model, records);
    ChartWidget a(&model.records, 0);
    ChartWidget b(&model.records, 1);
    PDFCreator creator;
    creator.set_model(&model);
    creator.set_charts(&a, &b);
    creator.set_event_log(&log);

    PDFCreator::Contents c;
    c.file = dir + "/bench.pdf";
    c.comments = "Bench report: thirty days, one record a minute.";
    c.events = true;
    const QString file = kind == "main" ? c.file : PDFCreator::companion_name(c.file, "_" + kind);
    const long before = peak_kib();
    QElapsedTimer t;
    t.start();
    bool ok = false;
    if (kind == "main")
        ok = creator.write_main_file(c);
    else if (kind == "table")
        ok = creator.write_table_file(c);
    else
        ok = creator.write_chart_file(c);
    const double ms = t.nsecsElapsed() / 1e6;
    std::printf("%s %d %.3f %ld %ld %lld %d\n", qPrintable(kind), records, ms, before,
                peak_kib(), static_cast<long long>(QFileInfo(file).size()), ok ? 1 : 0);
    return ok ? 0 : 1;
}

// Pages of a PDF file as written by Qt: its page objects.
int pages_in(const QString& file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray data = f.readAll();
    return int(data.count("/Type /Page\n") + data.count("/Type /Page ") + data.count("/Type /Page/")
               + data.count("/Type /Page>"));
}

struct Figures {
    bool ok = false;
    double ms = 0;
    double peak_mib = 0;
    double size_mib = 0;
    int pages = 0;
};

// One file written by `program` in a child process.
Figures run_child(const QString& program, const QString& kind, int records, const QString& dir)
{
    QProcess p;
    // The one PDF file in `dir` afterwards is the one this child wrote.
    QDir d(dir);
    for (const QString& old : d.entryList({"*.pdf"}, QDir::Files))
        d.remove(old);
    p.start(program, {kind, QString::number(records), dir});
    p.waitForFinished(-1);
    const QStringList f = QString::fromLatin1(p.readAllStandardOutput()).split(' ', Qt::SkipEmptyParts);
    Figures r;
    if (p.exitCode() != 0 || f.size() < 7)
        return r;
    r.ok = true;
    r.ms = f[2].toDouble();
    r.peak_mib = f[4].toDouble() / 1024.0;
    r.size_mib = f[5].toDouble() / (1024.0 * 1024.0);
    const QStringList written = d.entryList({"*.pdf"}, QDir::Files);
    r.pages = written.size() == 1 ? pages_in(d.filePath(written[0])) : 0;
    return r;
}

// The whole report at 43 200 records by this build and by `other`, taking
// turns so that both see the same machine; the median of each file's times.
int compare(const QString& self, const QString& other, const QString& dir)
{
    const int ROUNDS = 3;
    const int RECORDS = 43200;
    std::printf("Whole report at %d records: %s (before) against this build (after), median of %d turns\n", RECORDS,
                qPrintable(other), ROUNDS);
    std::printf("%-6s %12s %12s %12s %12s %8s\n", "file", "pages before", "pages after", "ms before", "ms after",
                "ratio");
    double total[2] = {0, 0};
    for (const char* kind : {"main", "table", "chart"}) {
        QList<double> ms[2];
        int pages[2] = {0, 0};
        for (int round = 0; round < ROUNDS; ++round) {
            for (int side = 0; side < 2; ++side) {
                // Alternate which goes first, so neither always runs on a warmer machine.
                const int which = (round + side) % 2;
                const Figures f = run_child(which == 0 ? other : self, kind, RECORDS, dir);
                if (!f.ok) {
                    std::printf("%-6s failed (%s)\n", kind, which == 0 ? "before" : "after");
                    return 1;
                }
                ms[which] << f.ms;
                pages[which] = f.pages;
            }
        }
        double med[2];
        for (int side = 0; side < 2; ++side) {
            std::sort(ms[side].begin(), ms[side].end());
            med[side] = ms[side][ROUNDS / 2];
            total[side] += med[side];
        }
        std::printf("%-6s %12d %12d %12.0f %12.0f %8.3f\n", kind, pages[0], pages[1], med[0], med[1], med[1] / med[0]);
    }
    std::printf("%-6s %12s %12s %12.0f %12.0f %8.3f\n", "whole", "", "", total[0], total[1], total[1] / total[0]);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4)
        return child(args[1], args[2].toInt(), args[3]);

    QTemporaryDir dir;
    if (args.size() == 3 && args[1] == "--against")
        return compare(app.applicationFilePath(), args[2], dir.path());
    struct Run {
        QString kind;
        int records;
    };
    QList<Run> runs = {{"main", 43200}, {"table", 43200}, {"chart", 43200}, {"chart", 4320}, {"table", 4320}};
    if (args.size() == 3) {
        const int n = args[2].toInt();
        const QStringList kinds = args[1] == "all" ? QStringList{"main", "table", "chart"} : QStringList{args[1]};
        if (n <= 0 || !QStringList({"main", "table", "chart", "all"}).contains(args[1])) {
            std::printf("usage: bench_report [main|table|chart|all N | --against OTHER]\n");
            return 2;
        }
        runs.clear();
        for (const QString& k : kinds)
            runs.append({k, n});
    }
    std::printf("PDF report, one record a minute; each file written by its own process;\n"
                "floor: as many pages of one short line each, same writer, same run\n");
    std::printf("%-6s %8s %7s %10s %12s %12s %7s %14s %10s\n", "file", "records", "pages", "wall ms", "ms per page",
                "floor ms/pg", "ratio", "peak RSS MiB", "size MiB");
    double per_page[2] = {0, 0};
    double whole = 0;
    int failures = 0;
    for (const Run& r : runs) {
        const Figures f = run_child(app.applicationFilePath(), r.kind, r.records, dir.path());
        const Figures fl = f.ok && f.pages > 0 ? run_child(app.applicationFilePath(), "floor", f.pages, dir.path())
                                               : Figures();
        if (!f.ok || f.pages <= 0 || !fl.ok) {
            std::printf("%-6s %8d  failed\n", qPrintable(r.kind), r.records);
            ++failures;
            continue;
        }
        const double page_ms = f.ms / f.pages;
        const double floor_ms = fl.ms / f.pages;
        std::printf("%-6s %8d %7d %10.0f %12.3f %12.3f %7.1f %14.1f %10.1f\n", qPrintable(r.kind), r.records, f.pages,
                    f.ms, page_ms, floor_ms, page_ms / floor_ms, f.peak_mib, f.size_mib);
        whole += f.ms;
        if (r.kind == "chart")
            per_page[r.records == 43200 ? 1 : 0] = page_ms;
    }
    if (args.size() == 3 && args[1] == "all")
        std::printf("whole report at %d records: %.0f ms\n", runs[0].records, whole);
    if (per_page[0] > 0 && per_page[1] > 0)
        std::printf("chart time per page, 43200 vs 4320 records: x%.2f (flat means linear in the record count)\n",
                    per_page[1] / per_page[0]);
    return failures ? 1 : 0;
}
