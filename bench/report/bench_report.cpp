// Time and peak memory of the PDF report for a long test: 30 days with one
// record a minute (43 200 records). Each file is written in a child process
// of its own, so that its peak resident size (getrusage ru_maxrss) is its own.
// The chart file is also written for a tenth of the records: its time per
// page must stay flat as the record count grows.
//
//   bench_report                      all measurements
//   bench_report <main|table|chart> <records> <dir>   one file (child)

#include "proto/model.h"
#include "records/chartwidget.h"
#include "report/pdfcreator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

void fill(Model& m, int n)
{
    QRandomGenerator rng(12345);
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

int child(const QString& kind, int records, const QString& dir)
{
    Model model;
    fill(model, records);
    ChartWidget a(&model.records, 0);
    ChartWidget b(&model.records, 1);
    PDFCreator creator;
    creator.set_model(&model);
    creator.set_charts(&a, &b);

    const QString file = dir + "/bench_" + kind + ".pdf";
    const long before = peak_kib();
    QElapsedTimer t;
    t.start();
    bool ok = false;
    if (kind == "main")
        ok = creator.write_main_file(file, true, true, "Bench report: thirty days, one record a minute.");
    else if (kind == "table")
        ok = creator.write_table_file(file);
    else
        ok = creator.write_chart_file(file);
    const qint64 ms = t.elapsed();
    std::printf("%s %d %lld %ld %ld %lld %d\n", qPrintable(kind), records, static_cast<long long>(ms), before,
                peak_kib(), static_cast<long long>(QFileInfo(file).size()), ok ? 1 : 0);
    return ok ? 0 : 1;
}

int pages_of(const QString& kind, int records)
{
    if (kind == "main")
        return 1;
    if (kind == "table")
        return (records + 1 + 39) / 40; // 40 rows a page, the header included
    return (records + 12) / 13;         // 13 records a chart page
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
    std::printf("PDF report, one record a minute; each file written by its own process\n");
    std::printf("%-6s %8s %7s %10s %12s %14s %10s\n", "file", "records", "pages", "wall ms", "ms per page",
                "peak RSS MiB", "size MiB");
    struct Run {
        const char* kind;
        int records;
    };
    const Run runs[] = {{"main", 43200}, {"table", 43200}, {"chart", 43200}, {"chart", 4320}, {"table", 4320}};
    double per_page[2] = {0, 0};
    int failures = 0;
    for (const Run& r : runs) {
        QProcess p;
        p.start(app.applicationFilePath(), {r.kind, QString::number(r.records), dir.path()});
        p.waitForFinished(-1);
        const QStringList f = QString::fromLatin1(p.readAllStandardOutput()).split(' ', Qt::SkipEmptyParts);
        if (p.exitCode() != 0 || f.size() < 7) {
            std::printf("%-6s %8d  failed\n", r.kind, r.records);
            ++failures;
            continue;
        }
        const int pages = pages_of(r.kind, r.records);
        const double ms = f[2].toDouble();
        std::printf("%-6s %8d %7d %10.0f %12.2f %14.1f %10.1f\n", r.kind, r.records, pages, ms, ms / pages,
                    f[4].toDouble() / 1024.0, f[5].toDouble() / (1024.0 * 1024.0));
        if (QString(r.kind) == "chart")
            per_page[r.records == 43200 ? 1 : 0] = ms / pages;
    }
    if (per_page[0] > 0)
        std::printf("chart time per page, 43200 vs 4320 records: x%.2f (flat means linear in the record count)\n",
                    per_page[1] / per_page[0]);
    return failures ? 1 : 0;
}
