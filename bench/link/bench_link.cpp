// How fast the device link fetches a backlog of stored records from the
// instrument. Time is link time: the exchange step runs every 10 ms and one
// exchange needs at least two steps (write, then read), so the design limit
// is 50 exchanges a second; the once-a-second poll takes three of them.

#include "commands.h"
#include "device.h"
#include "simbackend.h"
#include "wire.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr qint64 TICK_MS = 10;
constexpr double DESIGN_LIMIT = 1000.0 / (2 * TICK_MS);

struct Result {
    int stored = 0;
    int fetched = 0;
    qint64 first_ms = -1;    // first record request written
    qint64 done_ms = -1;     // list complete
    int exchanges = 0;
    int polls = 0;
    int record_requests = 0;
    qint64 wall_ms = 0;
    bool complete = false;
};

// `records` stored by a test; `running`: the test goes on while they are fetched.
Result measure(int records, bool running)
{
    Result res;
    auto owned = std::make_unique<SimBackend>();
    SimBackend* sim = owned.get();
    sim->instrument().setNoise(false);
    usb::setBackend(std::move(owned));
    const auto saved_clock = Device::clock_ms;
    Device::clock_ms = [sim] { return sim->now_ms(); };

    sim->instrument().startTest();
    sim->advance(qint64(records) * 10 * 1000 - 5000);
    if (!running)
        sim->instrument().stopTest();
    res.stored = sim->instrument().storedRecords();

    Device dev;
    QObject::connect(&dev, &Device::dev_conn, &dev, [&dev] {
        dev.get_cfg(0);
        dev.get_cfg(1);
    });
    sim->onWrite = [&](const QByteArray& f) {
        ++res.exchanges;
        const quint8 code = quint8(f.at(wire::CODE_AT));
        if (code == cmd::GET_RESULTS_A || code == cmd::GET_RESULTS_B || code == cmd::GET_CURRENT_RECORD)
            ++res.polls;
        if (code == cmd::GET_RECORD) {
            ++res.record_requests;
            if (res.first_ms < 0)
                res.first_ms = sim->now_ms();
        }
    };

    QElapsedTimer wall;
    wall.start();
    const qint64 limit = sim->now_ms() + qint64(records) * 1000 + 60000;
    while (sim->now_ms() < limit) {
        sim->advance(TICK_MS);
        if (sim->now_ms() % 1000 == 0) {
            if (dev.scan_timer->isActive())
                dev.tDevScanTimeout();
            if (dev.res_timer->isActive())
                dev.tDevResTimeout();
        }
        if (dev.io_timer->isActive())
            dev.tDevIOTimeout();
        // Complete: every closed record and, while running, the one in progress.
        const int want = sim->instrument().storedRecords() + (sim->instrument().running() ? 1 : 0);
        if (dev.records.size() >= want && res.first_ms >= 0) {
            res.done_ms = sim->now_ms();
            res.complete = true;
            break;
        }
    }
    res.wall_ms = wall.elapsed();
    res.fetched = dev.records.size();
    sim->onWrite = nullptr;
    Device::clock_ms = saved_clock;
    return res;
}

void report(const char* title, const Result& r)
{
    const double link_s = (r.done_ms - r.first_ms) / 1000.0;
    const double rate = link_s > 0 ? r.fetched / link_s : 0.0;
    std::printf("%s\n", title);
    std::printf("  records stored when the link connected: %d\n", r.stored);
    if (!r.complete) {
        std::printf("  INCOMPLETE: %d records in the list when the run gave up\n", r.fetched);
        return;
    }
    std::printf("  records fetched: %d in %.2f s of link time (%lld ticks of %lld ms)\n", r.fetched, link_s,
                static_cast<long long>((r.done_ms - r.first_ms) / TICK_MS), static_cast<long long>(TICK_MS));
    std::printf("  rate: %.1f records/s; design limit %.0f exchanges/s (one per two ticks): %.1f %%\n", rate,
                DESIGN_LIMIT, 100.0 * rate / DESIGN_LIMIT);
    std::printf("  exchanges: %d (%d poll requests, %d record requests)\n", r.exchanges, r.polls, r.record_requests);
    std::printf("  host time: %lld ms of wall clock for the whole run\n", static_cast<long long>(r.wall_ms));
}

} // namespace

// The link's debug lines (identity and so on) would mix with the figures.
void quiet(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(text));
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    std::printf("bench_link: record backlog through the device link, simulated instrument\n");
    report("finished test, 1000 records:", measure(1000, false));
    report("running test, 1000 records and more coming:", measure(1000, true));
    return 0;
}
