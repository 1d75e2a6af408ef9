// How fast the device link fetches a backlog of stored records from the
// instrument, and how long a reconnection to the same running test takes
// until the list is complete again. Time is link time: the exchange step runs
// every 10 ms and one exchange needs at least two steps (write, then read), so
// the design limit is 50 exchanges a second; the once-a-second poll takes
// three of them.
//
// Usage: bench_link [HELD [OUTAGE_S]] - without arguments the backlog figures
// and reconnections with 4,320, 43,200 and 65,536 records held, 60 s away.

#include "device/device.h"
#include "proto/commands.h"
#include "proto/wire.h"
#include "tests/support/linkrig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
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

// The link rig (the simulated instrument behind the USB layer, the main
// window's answers to the link) with a test that has stored about `records`.
struct Setup : LinkRig {
    explicit Setup(int records)
    {
        sim->instrument().startTest();
        sim->advance(qint64(records) * 10 * 1000 - 5000);
    }
};

// The list holds every closed record and, while running, the one in progress
// (a full instrument stores no more: its current record is the last stored).
bool complete(SimBackend* sim, const Device& dev)
{
    const SimInstrument& inst = sim->instrument();
    const int stored = inst.storedRecords();
    const int want = stored + (inst.running() && stored < SimInstrument::MAX_RECORDS ? 1 : 0);
    return dev.connected && dev.records.size() == want && dev.rec_queue.isEmpty() && !dev.checking_records();
}

// `records` stored by a test; `running`: the test goes on while they are fetched.
Result measure(int records, bool running)
{
    Result res;
    Setup setup(records);
    SimBackend* sim = setup.sim;
    Device& dev = *setup.dev;
    if (!running)
        sim->instrument().stopTest();
    res.stored = sim->instrument().storedRecords();

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
    res.complete = setup.runUntil([&] { return complete(sim, dev) && res.first_ms >= 0; },
                             qint64(records) * 1000 + 60000);
    res.done_ms = sim->now_ms();
    res.wall_ms = wall.elapsed();
    res.fetched = dev.records.size();
    sim->onWrite = nullptr;
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

// A running test with `held` records fetched; the cable is out for `outage_s`
// and put back. From then until the list is complete again, in link time.
void reconnection(int held, int outage_s)
{
    Setup setup(held);
    SimBackend* sim = setup.sim;
    Device& dev = *setup.dev;
    const SimInstrument& inst = sim->instrument();
    int cleared = 0, connections = 0;
    QObject::connect(&dev, &Device::records_cleared, &dev, [&cleared] { ++cleared; });
    QObject::connect(&dev, &Device::dev_conn, &dev, [&connections] { ++connections; });
    const qint64 start = sim->now_ms();
    const bool fetched = setup.runUntil([&] { return complete(sim, dev); }, qint64(held) * 1000 + 60000);
    const qint64 first_ms = sim->now_ms() - start;
    const qsizetype had = dev.records.size();

    sim->unplug();
    setup.run(qint64(outage_s) * 1000);
    int requests = 0;
    sim->onWrite = [&requests](const QByteArray& f) { requests += quint8(f.at(wire::CODE_AT)) == cmd::GET_RECORD; };
    sim->plug();
    const qint64 back = sim->now_ms();
    QElapsedTimer wall;
    wall.start();
    cleared = 0;
    const bool done = fetched && setup.runUntil([&] { return connections == 2 && complete(sim, dev); }, 30 * 60 * 1000);
    const qint64 wall_ms = wall.elapsed();
    sim->onWrite = nullptr;
    bool same = done;
    for (int k = 0; same && k < inst.storedRecords(); ++k)
        same = dev.records.at(k).time_s == inst.record(k).time_s
            && std::equal(inst.record(k).counters, inst.record(k).counters + 16, dev.records.at(k).counters);

    std::printf("reconnection, %d records held, %d s away:\n", int(had), outage_s);
    if (!done) {
        std::printf("  INCOMPLETE: %d records in the list when the run gave up\n", int(dev.records.size()));
    } else {
        std::printf("  first fetch of the list: %.1f s of link time (what every reconnection cost before)\n",
                    first_ms / 1000.0);
        std::printf("  complete again %.2f s of link time after the cable was back: %d records, %d record requests, "
                    "list emptied %d times, %s the instrument's; host time %lld ms\n",
                    (sim->now_ms() - back) / 1000.0, int(dev.records.size()), requests, cleared,
                    same ? "equal to" : "DIFFERENT FROM", static_cast<long long>(wall_ms));
    }
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
    if (argc > 1) {
        const int held = qBound(1, std::atoi(argv[1]), SimInstrument::MAX_RECORDS);
        reconnection(held, argc > 2 ? qMax(0, std::atoi(argv[2])) : 60);
        return 0;
    }
    report("finished test, 1000 records:", measure(1000, false));
    report("running test, 1000 records and more coming:", measure(1000, true));
    for (int held : {4320, 43200, SimInstrument::MAX_RECORDS})
        reconnection(held, 60);
    return 0;
}
