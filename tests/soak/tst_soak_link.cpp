// Long runs of the device link against the simulated instrument on a driven
// clock, with faults thrown in under a fixed seed.

#include "device/device.h"
#include "proto/wire.h"
#include "simulator/simbackend.h"

#include <QTimer>
#include <QtTest>

#include <random>

namespace {

constexpr qint64 SECOND = 1000;
constexpr qint64 MINUTE = 60 * SECOND;

// Each of the link's timers keeps its own due time, as Qt would (idle exchange
// ticks do nothing, so the clock jumps past them); the signals are answered as
// the main window and the records table do. After every timer slot the bounds
// are checked; the first breach is kept in `error` and stops the run.
struct Soak {
    Soak()
    {
        usb::setBackend(std::unique_ptr<usb::Backend>(sim = new SimBackend));
        Device::clock_ms = [this] { return sim->now_ms(); };
        Device::warning_box = [this](const QString&) { ++warnings; };
        newDevice();
    }
    ~Soak()
    {
        delete dev;
        Device::clock_ms = saved_clock;
        Device::warning_box = saved_box;
        usb::setBackend(nullptr);
    }

    qint64 now() const { return sim->now_ms(); }
    bool ok() const { return error.isEmpty(); }

    void newDevice() // the program is started (again)
    {
        delete dev;
        dev = new Device;
        scan_next = io_next = res_next = halted_since = -1;
        Device* d = dev;
        QObject::connect(d, &Device::dev_conn, d, [this, d] {
            res_next = now() + 1000; // the poll timer is restarted right after this signal
            d->get_cfg(0);
            d->get_cfg(1);
        });
        QObject::connect(d, &Device::res_rcv, d, [d](uchar ch) { // settings changed on the instrument
            if (d->results[ch ? 1 : 0].status_flags & 1) d->get_cfg(ch);
        });
        QObject::connect(d, &Device::records_cleared, d, [this, d] {
            d->records.clear(); // as the records table does
            restarted_from = 0;
        });
        QObject::connect(d, &Device::dev_disc, d, [this] { scan_next = now() + 1000; });
    }

    // Runs the link's timers until `until`; false as soon as a bound breaks.
    bool runTo(qint64 until)
    {
        while (ok()) {
            auto follow = [this](QTimer* t, qint64& next, int period) {
                next = !t->isActive() ? -1 : next < 0 ? now() + period : next;
            };
            follow(dev->scan_timer, scan_next, 1000);
            follow(dev->res_timer, res_next, 1000);
            follow(dev->io_timer, io_next, 10);
            // Halted by two instruments: within half a minute the user unplugs one and restarts.
            if (dev->connected || dev->scan_timer->isActive()) {
                halted_since = -1;
            } else if (halted_since < 0) {
                halted_since = now();
            } else if (now() >= halted_since + 30 * SECOND) {
                sim->setDeviceCount(1);
                newDevice();
                ++restarts;
                continue;
            }
            const bool busy = dev->awaiting_reply || !dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty();
            if (io_next >= 0 && io_next < now())
                io_next += (now() - io_next + 9) / 10 * 10; // keep the 10 ms phase
            qint64 due = until + 1;
            for (qint64 t : {scan_next, res_next, busy ? io_next : -1, halted_since < 0 ? -1 : halted_since + 30 * SECOND})
                if (t >= 0)
                    due = qMin(due, t);
            sim->advance(qMin(due, until) - now());
            if (due > until)
                return ok();
            auto fire = [&](qint64& next, int period, bool active, void (Device::*slot)()) {
                if (next == due && active) {
                    next += period;
                    (dev->*slot)();
                    check();
                }
            };
            fire(scan_next, 1000, true, &Device::tDevScanTimeout);
            fire(res_next, 1000, dev->res_timer->isActive(), &Device::tDevResTimeout);
            fire(io_next, 10, busy && dev->io_timer->isActive(), &Device::tDevIOTimeout);
        }
        return false;
    }

    bool runUntil(const std::function<bool()>& done, qint64 limit)
    {
        while (!done()) {
            if (now() >= limit || !ok())
                return false;
            runTo(qMin(limit, now() + 10));
        }
        return true;
    }

    // The instrument starts its test anew; until the link notices, it may hold
    // more records than the new test has.
    void restartTest()
    {
        restarted_from = qMax(restarted_from, sim->instrument().storedRecords());
        sim->instrument().startTest();
    }

    void check()
    {
        const int stored = qMax(sim->instrument().storedRecords(), restarted_from);
        const auto& list = dev->records;
        const bool bad = dev->cmd_queue.size() > max_cmd_queue // one poll, two configuration requests, the user's
            || dev->rec_queue.size() > stored + 1 || list.size() > stored + 1
            || (!list.isEmpty() && (list.first().number != 0 || list.last().number != quint32(list.size() - 1)))
            || (!dev->connected && (!dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty()));
        if (bad && error.isEmpty())
            error = QStringLiteral("at %1 ms: connected %2, queues %3 + %4, list %5, %6 stored").arg(now())
                        .arg(dev->connected).arg(dev->cmd_queue.size()).arg(dev->rec_queue.size()).arg(list.size()).arg(stored);
    }

    // Runs until the link is idle with all records fetched; then the list must
    // hold the stored records, every field, plus `extra` in progress.
    QString fetchAll(int extra, qint64 within)
    {
        const SimInstrument& inst = sim->instrument();
        if (!runUntil([=, &inst] {
                return dev->connected && dev->rec_queue.isEmpty() && !dev->awaiting_reply && dev->cmd_queue.isEmpty()
                    && dev->records.size() == inst.storedRecords() + extra;
            }, now() + within))
            return QStringLiteral("%1 records, %2 stored; %3").arg(dev->records.size()).arg(inst.storedRecords()).arg(error);
        for (int i = 0; i < inst.storedRecords(); ++i) {
            const TableRecord& got = dev->records.at(i);
            const SimRecord& want = inst.record(i);
            if (got.number != quint32(i) || got.time_s != want.time_s || qRound(got.jitter * 100) != want.jitter
                || qRound(got.jitter_hf * 100) != want.jitter_hf || !std::equal(got.counters, got.counters + 16, want.counters))
                return QStringLiteral("record %1 differs from the stored one").arg(i);
        }
        return QString();
    }

    SimBackend* sim;
    Device* dev = nullptr;
    QString error;
    int max_cmd_queue = 40;
    int warnings = 0;
    int restarts = 0;
    int restarted_from = 0;
    qint64 scan_next = -1, io_next = -1, res_next = -1, halted_since = -1;
    const std::function<qint64()> saved_clock = Device::clock_ms;
    const std::function<void(const QString&)> saved_box = Device::warning_box;
};

} // namespace

class TstSoakLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false")); } // one line per fault
    void backlogRequestedOnceWhileListIsEmpty_data();
    void backlogRequestedOnceWhileListIsEmpty();
    void listEmptiedWhileBacklogIsFetched();
    void dayWithFaults();
};

void TstSoakLink::backlogRequestedOnceWhileListIsEmpty_data()
{
    QTest::addColumn<int>("delay");
    QTest::newRow("150 ms") << 150;
    QTest::newRow("450 ms (poll slower than its period)") << 450;
    QTest::newRow("900 ms") << 900;
}

// A slow instrument and a long backlog: while the list is still empty every poll
// reply queues record requests 0..n-1, which wait until the command queue is
// empty. A poll getting ahead of record 0 every second would queue the whole
// backlog again each time; polls must not pile up behind each other either.
void TstSoakLink::backlogRequestedOnceWhileListIsEmpty()
{
    QFETCH(int, delay);
    Soak s;
    SimInstrument& inst = s.sim->instrument();
    inst.setNoise(false);
    inst.startTest();
    s.sim->advance(2000 * SECOND); // 200 records stored before the host looks
    s.sim->setReplyDelay(delay);
    s.max_cmd_queue = 6;
    QVERIFY2(s.runUntil([&] { return s.dev->rec_queue.size() > 0; }, s.now() + 30 * SECOND), qPrintable(s.error));
    QVERIFY2(s.runTo(s.now() + 20 * SECOND), qPrintable(s.error)); // several polls go by
    QVERIFY(!s.dev->records.isEmpty());
    QSet<int> seen;
    for (const QByteArray& f : s.dev->rec_queue)
        seen.insert(int(wire::be16(wire::bytes(f) + wire::PAYLOAD_AT)));
    QCOMPARE(seen.size(), s.dev->rec_queue.size()); // each record number waits once
    s.sim->setReplyDelay(0);
    QCOMPARE(s.fetchAll(1, 10 * MINUTE), QString());
}

// A configuration read during the test keeps the list; the test started anew
// on the instrument while a backlog is fetched empties it, and the requests
// still queued for the old test must not come back as records of the new one.
void TstSoakLink::listEmptiedWhileBacklogIsFetched()
{
    Soak s;
    SimInstrument& inst = s.sim->instrument();
    inst.startTest();
    s.sim->advance(3000 * SECOND);
    QVERIFY2(s.runUntil([&] { return s.dev->records.size() >= 100; }, s.now() + MINUTE), qPrintable(s.error));
    QVERIFY(s.dev->rec_queue.size() > 100);
    inst.markConfigChanged(0);
    QVERIFY2(s.runTo(s.now() + 5 * SECOND), qPrintable(s.error));
    QVERIFY(s.dev->records.size() > 100);
    s.restartTest();
    QVERIFY2(s.runUntil([&] { return s.dev->records.size() < 100; }, s.now() + 5 * SECOND), qPrintable(s.error));
    QVERIFY2(s.runTo(s.now() + 95 * SECOND), qPrintable(s.error));
    QCOMPARE(s.fetchAll(1, 10 * MINUTE), QString());
}

// A day of instrument time with every kind of fault the link must survive:
// bounds hold all along, and after the last reconnection the list is the instrument's.
void TstSoakLink::dayWithFaults()
{
    Soak s;
    SimBackend* sim = s.sim;
    SimInstrument& inst = sim->instrument();
    inst.setSeed(20261206);
    inst.setConfigByte(0, 1, quint8(2 << 3)); // automatic bit errors at 1e-6 on channel A:
    inst.setConfigByte(0, 4, 6);              // the counters move all day
    std::mt19937_64 rng(0x50A4);
    auto uniform = [&](qint64 lo, qint64 hi) { return std::uniform_int_distribution<qint64>(lo, hi)(rng); };

    QVERIFY2(s.runUntil([&] { return s.dev->raw_cfg[1].size() > 0; }, 10 * SECOND), qPrintable(s.error));
    s.dev->start_stop_test(); // from the program; not time-limited
    QVERIFY2(s.runUntil([&] { return inst.running(); }, s.now() + 5 * SECOND), qPrintable(s.error));
    qint64 started = s.now();
    const qint64 end = s.now() + 24 * 60 * MINUTE;

    auto unplugFor = [&](qint64 ms) {
        sim->unplug();
        return s.runTo(s.now() + ms) && (sim->plug(), true);
    };

    using Call = SimBackend::Call;
    const Call calls[] = {Call::Count, Call::Open, Call::Write, Call::CheckRXQueue, Call::Read, Call::BeforeWrite};
    enum Kind { Lost = 6, Foreign, Corrupt, Split, Unplug, SecondDevice, ConfigOnInstrument, Restart, Kinds };
    int injected[Kinds] = {};
    while (s.now() < end) {
        QVERIFY2(s.runTo(qMin(end, s.now() + uniform(2 * MINUTE, 20 * MINUTE))), qPrintable(s.error));
        if (s.now() >= end)
            break;
        const int kind = int(uniform(0, Kinds - 1));
        ++injected[kind];
        switch (kind) {
        case Lost: sim->dropReply(); break;
        case Foreign: sim->foreignReply(); break;
        case Corrupt: sim->corruptReply(); break;
        case Split: sim->splitReply(0, int(uniform(1, 8))); break;
        case Unplug: QVERIFY2(unplugFor(uniform(SECOND, 2 * MINUTE)), qPrintable(s.error)); break;
        case SecondDevice: // harmless while connected; while scanning it halts the link
            sim->setDeviceCount(2);
            if (uniform(0, 1))
                sim->failNext(Call::Read); // the link drops while both are there
            QVERIFY2(s.runTo(s.now() + uniform(SECOND, MINUTE)), qPrintable(s.error));
            sim->setDeviceCount(1);
            break;
        case ConfigOnInstrument: inst.markConfigChanged(int(uniform(0, 1))); break;
        case Restart: // started anew on the instrument's keys, now or while the cable is out;
            if (s.now() < end - 12 * 60 * MINUTE) { // in the first half, so that the end checks a long list
                s.restartTest();
                started = s.now();
            }
            if (uniform(0, 1))
                QVERIFY2(unplugFor(uniform(SECOND, 2 * MINUTE)), qPrintable(s.error));
            break;
        default: // a library call fails one to three times
            sim->failNext(calls[kind], kind == 4 ? usb::DEVICE_IO_FAILED : usb::SYSTEM_ERROR_CODE, int(uniform(1, 3)));
        }
    }
    QVERIFY(inst.running() && inst.elapsed_s() * SECOND >= s.now() - started - 5 * SECOND);
    QVERIFY(s.warnings > 0 && s.restarts > 0);
    for (int k = 0; k < Kinds; ++k)
        QVERIFY2(injected[k] > 0, qPrintable(QStringLiteral("fault kind %1 never injected").arg(k)));

    // No more faults; whatever was left armed goes. Pulled once more, the new
    // connection keeps what it holds and fetches what was stored meanwhile:
    // the list is the closed records as stored, then the record in progress.
    // Stopped, the last record closes with its final counts.
    for (Call c : calls)
        sim->failNext(c, 0, 0);
    QVERIFY2(s.runTo(s.now() + 2 * MINUTE), qPrintable(s.error));
    QVERIFY2(unplugFor(2 * SECOND), qPrintable(s.error));
    QCOMPARE(s.fetchAll(1, 30 * MINUTE), QString());
    QVERIFY(inst.storedRecords() >= (s.now() - started) / (10 * SECOND) - 1 && inst.storedRecords() >= 4320);
    QCOMPARE(s.dev->records.last().time_s, quint32(inst.storedRecords()) * 10);
    s.dev->start_stop_test();
    QVERIFY2(s.runUntil([&] { return !inst.running(); }, s.now() + 10 * SECOND), qPrintable(s.error));
    QVERIFY2(s.runTo(s.now() + 5 * SECOND), qPrintable(s.error));
    QCOMPARE(s.fetchAll(0, MINUTE), QString());
}

QTEST_GUILESS_MAIN(TstSoakLink)
#include "tst_soak_link.moc"
