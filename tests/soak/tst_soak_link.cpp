// A day of instrument time through the device link, with every kind of fault
// the link has to survive thrown in at random (fixed seed): failing library
// calls, lost, foreign, corrupted and split replies, a slow instrument, the
// cable pulled, a second instrument plugged in. A test runs on the instrument
// all day. Queues and the record list must stay bounded at every step, and
// once the faults stop, a fresh connection must fetch every record the
// instrument stored, value for value.

#include "linksoak.h"
#include "proto.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cstdio>
#include <numeric>
#include <random>

namespace {

constexpr qint64 SECOND = 1000;
constexpr qint64 MINUTE = 60 * SECOND;
constexpr qint64 HOUR = 60 * MINUTE;

void quiet(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    // The link's debug lines would flood the log: one per fault and more.
    if (type != QtDebugMsg && type != QtInfoMsg)
        fprintf(stderr, "%s\n", qPrintable(text));
}

// Record `i` of the list equals the one the instrument stored, every field.
QString sameRecord(const TableRecord& got, int i, const SimRecord& want)
{
    if (got.number != quint32(i))
        return QStringLiteral("record %1 has number %2").arg(i).arg(got.number);
    if (got.time_s != want.time_s)
        return QStringLiteral("record %1 time %2, instrument %3").arg(i).arg(got.time_s).arg(want.time_s);
    if (qRound(got.jitter * 100) != want.jitter || qRound(got.jitter_hf * 100) != want.jitter_hf)
        return QStringLiteral("record %1 jitter differs").arg(i);
    for (int k = 0; k < 16; ++k)
        if (got.counters[k] != want.counters[k])
            return QStringLiteral("record %1 counter %2: %3, instrument %4")
                .arg(i).arg(k).arg(got.counters[k]).arg(want.counters[k]);
    return QString();
}

struct Rig {
    Rig()
    {
        auto s = std::make_unique<SimBackend>();
        sim = s.get();
        usb::setBackend(std::move(s));
        soak = std::make_unique<LinkSoak>(sim);
    }
    ~Rig()
    {
        soak.reset();
        usb::setBackend(nullptr);
    }
    SimBackend* sim;
    std::unique_ptr<LinkSoak> soak;
};

} // namespace

class TstSoakLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(quiet); }
    void backlogRequestedOnceWhileListIsEmpty_data();
    void backlogRequestedOnceWhileListIsEmpty();
    void slowInstrumentDoesNotPileUpPolls();
    void dayWithFaults();
    void newTestFromTheProgram();
    void listEmptiedWhileBacklogIsFetched();
};

// The records table empties the list while a backlog is still being fetched
// (a configuration arrives during the test: the instrument's keys, a start).
// The record requests still queued then answer into an empty list; each
// would queue the whole backlog again. The list must be fetched afresh, once.
void TstSoakLink::listEmptiedWhileBacklogIsFetched()
{
    Rig rig;
    LinkSoak& s = *rig.soak;
    SimInstrument& inst = rig.sim->instrument();
    inst.startTest();
    rig.sim->advance(3000 * SECOND);
    QVERIFY2(s.runUntil([&] { return s.dev->records.size() >= 100; }, s.now() + MINUTE), qPrintable(s.error));
    QVERIFY(s.dev->rec_queue.size() > 100);
    const int clearsBefore = s.clears;
    inst.markConfigChanged(0);
    QVERIFY2(s.runUntil([&] { return s.clears > clearsBefore; }, s.now() + 5 * SECOND), qPrintable(s.error));
    QVERIFY2(s.runUntil([&] { return s.dev->records.size() == inst.storedRecords() + 1 && s.dev->rec_queue.isEmpty(); },
                        s.now() + 10 * MINUTE),
             qPrintable(s.error));
    for (int i = 0; i < inst.storedRecords(); ++i)
        QCOMPARE(sameRecord(s.dev->records.at(i), i, inst.record(i)), QString());
}

// A second test started from the program after a first one: what the list
// holds must be the new test's records, not a mix of both.
void TstSoakLink::newTestFromTheProgram()
{
    Rig rig;
    LinkSoak& s = *rig.soak;
    SimInstrument& inst = rig.sim->instrument();
    QVERIFY2(s.runUntil([&] { return s.dev->connected && s.dev->raw_cfg[1].size() > 0; }, 10 * SECOND),
             qPrintable(s.error));
    s.dev->start_stop_test();
    QVERIFY2(s.runTo(s.now() + 1000 * SECOND), qPrintable(s.error));
    QCOMPARE(s.dev->records.size(), inst.storedRecords() + 1);
    s.dev->start_stop_test(); // stop
    const int clearsBefore = s.clears;
    QVERIFY2(s.runTo(s.now() + 5 * SECOND), qPrintable(s.error));
    QVERIFY(!inst.running());
    s.dev->start_stop_test(); // a new test
    // Until the configuration reply says that the test runs, the list still holds the last test.
    s.list_slack = int(s.dev->records.size());
    QVERIFY2(s.runUntil([&] { return s.clears > clearsBefore; }, s.now() + 2 * SECOND), qPrintable(s.error));
    s.list_slack = 0;
    QVERIFY2(s.runTo(s.now() + 305 * SECOND), qPrintable(s.error));
    QVERIFY(inst.running());
    QCOMPARE(s.dev->records.size(), inst.storedRecords() + 1);
    for (int i = 0; i < inst.storedRecords(); ++i)
        QCOMPARE(sameRecord(s.dev->records.at(i), i, inst.record(i)), QString());
}

void TstSoakLink::backlogRequestedOnceWhileListIsEmpty_data()
{
    QTest::addColumn<int>("delay");
    QTest::newRow("150 ms") << 150;
    QTest::newRow("330 ms") << 330;
    QTest::newRow("450 ms") << 450;
    QTest::newRow("900 ms") << 900;
}

// A slow instrument and a long backlog: while the list is still empty every
// poll reply queues record requests 0..n-1, and record requests wait until
// the command queue is empty. A poll getting ahead of record 0 every second
// would queue the whole backlog again each time. Each request must wait once.
void TstSoakLink::backlogRequestedOnceWhileListIsEmpty()
{
    QFETCH(int, delay);
    Rig rig;
    LinkSoak& s = *rig.soak;
    SimInstrument& inst = rig.sim->instrument();
    inst.setNoise(false);
    inst.startTest();
    rig.sim->advance(2000 * SECOND); // 200 records stored before the host looks
    QCOMPARE(inst.storedRecords(), 200);
    rig.sim->setReplyDelay(delay);
    QVERIFY2(s.runUntil([&] { return s.dev->connected && s.dev->rec_queue.size() > 0; }, s.now() + 30 * SECOND),
             qPrintable(s.error));
    // Several polls go by; records come in meanwhile.
    QVERIFY2(s.runTo(s.now() + 20 * SECOND), qPrintable(s.error));
    QVERIFY(!s.dev->records.isEmpty());
    QVERIFY(s.peak_rec_queue <= inst.storedRecords() + 1);
    // Each number waits at most once.
    QSet<int> seen;
    for (const QByteArray& f : s.dev->rec_queue) {
        QCOMPARE(f.size(), 6);
        const int n = (quint8(f.at(3)) << 8) | quint8(f.at(4));
        QVERIFY2(!seen.contains(n), qPrintable(QStringLiteral("record %1 queued twice").arg(n)));
        seen.insert(n);
    }
    rig.sim->setReplyDelay(0);
    QVERIFY2(s.runUntil([&] { return s.dev->records.size() == inst.storedRecords() + 1 && s.dev->rec_queue.isEmpty(); },
                        s.now() + 10 * MINUTE),
             qPrintable(s.error));
    for (int i = 0; i < inst.storedRecords(); ++i)
        QCOMPARE(sameRecord(s.dev->records.at(i), i, inst.record(i)), QString());
}

// Replies slower than a third of a second: the three packets of one poll take
// longer than the poll period. Polls must not pile up behind each other, and
// the link still serves records and settings in between.
void TstSoakLink::slowInstrumentDoesNotPileUpPolls()
{
    Rig rig;
    LinkSoak& s = *rig.soak;
    SimInstrument& inst = rig.sim->instrument();
    inst.startTest();
    rig.sim->setReplyDelay(450);
    s.max_cmd_queue = 6;
    QVERIFY2(s.runTo(10 * MINUTE), qPrintable(s.error));
    QVERIFY(s.dev->connected);
    QCOMPARE(s.disconnections, 0);
    // Results still come in, and the records keep up with the instrument.
    QVERIFY(s.dev->results[0].elapsed_s + 5 >= inst.elapsed_s());
    QVERIFY(s.dev->records.size() >= inst.storedRecords() - 1);
    s.dev->set_seq_settings();
    const int sent = rig.sim->received().size();
    QVERIFY2(s.runUntil([&] { return s.dev->cmd_queue.isEmpty() && !s.dev->awaiting_reply; }, s.now() + 10 * SECOND),
             qPrintable(s.error));
    QVERIFY(rig.sim->received().size() > sent);
}

void TstSoakLink::dayWithFaults()
{
    QElapsedTimer wall;
    wall.start();
    Rig rig;
    LinkSoak& s = *rig.soak;
    SimBackend* sim = rig.sim;
    SimInstrument& inst = sim->instrument();
    inst.setSeed(20261206);
    // Automatic bit errors at 1e-6 on channel A, so the counters move all day.
    inst.setConfigByte(0, 1, quint8((2 << 3) | 0));
    inst.setConfigByte(0, 4, 6);
    std::mt19937_64 rng(0x50A4);
    auto uniform = [&](qint64 lo, qint64 hi) { return std::uniform_int_distribution<qint64>(lo, hi)(rng); };

    // The user starts the test from the program; it is not time-limited.
    QVERIFY2(s.runUntil([&] { return s.dev->connected && s.dev->raw_cfg[1].size() > 0; }, 10 * SECOND),
             qPrintable(s.error));
    QVERIFY(!s.dev->common.timed_measurement);
    s.dev->start_stop_test();
    QVERIFY2(s.runUntil([&] { return inst.running(); }, s.now() + 5 * SECOND), qPrintable(s.error));
    const qint64 end = s.now() + 24 * HOUR;

    // A halted link is noticed by the user within half a minute: the second
    // instrument is unplugged if it is there, and the program restarted.
    qint64 halted_since = -1;
    auto runTo = [&](qint64 t) {
        while (s.ok() && s.now() < t) {
            s.runTo(qMin(t, s.now() + 5 * SECOND));
            if (!s.halted()) {
                halted_since = -1;
            } else if (halted_since < 0) {
                halted_since = s.now();
            } else if (s.now() - halted_since >= 30 * SECOND) {
                sim->setDeviceCount(1);
                s.restartProgram();
                halted_since = -1;
            }
        }
        return s.ok();
    };

    enum Kind { CountFails, OpenFails, WriteFails, CheckFails, ReadFails, BeforeWriteFails, Lost, Foreign,
                Corrupt, Split, Unplug, SecondDevice, Slow, UserSettings, ConfigOnInstrument, Kinds };
    int injected[Kinds] = {};
    const SimBackend::Call calls[] = {SimBackend::Call::Count, SimBackend::Call::Open, SimBackend::Call::Write,
                                      SimBackend::Call::CheckRXQueue, SimBackend::Call::Read,
                                      SimBackend::Call::BeforeWrite};
    while (s.now() < end) {
        QVERIFY2(runTo(qMin(end, s.now() + uniform(2 * MINUTE, 20 * MINUTE))), qPrintable(s.error));
        if (s.now() >= end)
            break;
        const int kind = int(uniform(0, Kinds - 1));
        ++injected[kind];
        switch (kind) {
        case CountFails: case OpenFails: case WriteFails: case CheckFails: case ReadFails: case BeforeWriteFails:
            sim->failNext(calls[kind], kind == ReadFails ? usb::DEVICE_IO_FAILED : usb::SYSTEM_ERROR_CODE,
                          int(uniform(1, 3)));
            break;
        case Lost:
            sim->dropReply();
            break;
        case Foreign:
            sim->foreignReply();
            break;
        case Corrupt:
            sim->corruptReply();
            break;
        case Split:
            sim->splitReply(0, int(uniform(1, 8)));
            break;
        case Unplug:
            sim->unplug();
            QVERIFY2(runTo(s.now() + uniform(SECOND, 2 * MINUTE)), qPrintable(s.error));
            sim->plug();
            break;
        case SecondDevice:
            // Harmless while connected (the count is only read while scanning);
            // while scanning it halts the link until the program is restarted.
            sim->setDeviceCount(2);
            if (uniform(0, 1))
                sim->failNext(SimBackend::Call::Read); // the link drops while both are there
            QVERIFY2(runTo(s.now() + uniform(SECOND, MINUTE)), qPrintable(s.error));
            sim->setDeviceCount(1);
            break;
        case Slow:
            sim->setReplyDelay(uniform(100, 450));
            QVERIFY2(runTo(s.now() + uniform(10 * SECOND, 3 * MINUTE)), qPrintable(s.error));
            sim->setReplyDelay(0);
            break;
        case UserSettings:
            // The panels send back what the instrument reported.
            if (s.dev->connected && !s.dev->raw_cfg[0].isEmpty() && !s.dev->raw_cfg[1].isEmpty()) {
                s.dev->set_seq_settings();
                s.dev->set_freq_settings_a();
                s.dev->set_freq_settings_b();
                s.dev->set_cycle_settings_b();
                s.dev->set_channel_settings_a();
                s.dev->set_jitter_settings();
            }
            break;
        case ConfigOnInstrument:
            // Half the time while the link is fetching a backlog after a new
            // connection: the table empties the list under the queued requests.
            if (uniform(0, 1)) {
                sim->unplug();
                QVERIFY2(runTo(s.now() + 2 * SECOND), qPrintable(s.error));
                sim->plug();
                // (Early in the day, or with an open failure armed, there is no such fetch.)
                s.runUntil([&] { return s.dev->rec_queue.size() > 100; }, s.now() + MINUTE);
                QVERIFY2(s.ok(), qPrintable(s.error));
            }
            inst.markConfigChanged(int(uniform(0, 1)));
            break;
        }
    }
    QVERIFY(inst.running());
    QVERIFY(inst.elapsed_s() >= 24 * 3600 - 5);
    const int faults = std::accumulate(std::begin(injected), std::end(injected), 0);
    QVERIFY(faults > 100);
    QVERIFY(s.warnings > 0 && s.restarts > 0);
    for (int k = 0; k < Kinds; ++k)
        QVERIFY2(injected[k] > 0, qPrintable(QStringLiteral("fault kind %1 never injected").arg(k)));

    // No more faults. Whatever was left armed fires or goes, and the link
    // catches up by itself: every closed record holds the values the
    // instrument stored, the last one is the record in progress.
    sim->plug();
    sim->setDeviceCount(1);
    sim->setReplyDelay(0);
    for (SimBackend::Call c : calls)
        sim->failNext(c, 0, 0);
    QVERIFY2(runTo(s.now() + 2 * MINUTE), qPrintable(s.error));
    auto fetched = [&](int extra) {
        return [&, extra] {
            return s.dev->connected && s.dev->rec_queue.isEmpty() && !s.dev->awaiting_reply
                && s.dev->cmd_queue.isEmpty() && s.dev->records.size() == inst.storedRecords() + extra;
        };
    };
    auto sameAsStored = [&](const char* when) {
        for (int i = 0; i < inst.storedRecords(); ++i) {
            const QString diff = sameRecord(s.dev->records.at(i), i, inst.record(i));
            if (!diff.isEmpty())
                return QStringLiteral("%1: %2").arg(QString::fromLatin1(when), diff);
        }
        return QString();
    };
    QVERIFY2(s.runUntil(fetched(1), s.now() + 30 * MINUTE), qPrintable(s.error));
    QCOMPARE(sameAsStored("caught up"), QString());

    // Pulled once more: the new connection fetches the whole day again.
    sim->unplug();
    QVERIFY2(runTo(s.now() + 2 * SECOND), qPrintable(s.error));
    sim->plug();
    const int restartsBefore = s.restarts;
    QVERIFY2(s.runUntil(fetched(1), s.now() + 30 * MINUTE), qPrintable(s.error));
    QCOMPARE(s.restarts, restartsBefore);
    const int stored = inst.storedRecords();
    QVERIFY(stored >= 8640);
    QCOMPARE(sameAsStored("after reconnection"), QString());
    QCOMPARE(s.dev->records.last().number, quint32(stored));
    QCOMPARE(s.dev->records.last().time_s, quint32(stored) * 10);

    // The user stops the test: the record in progress is closed with its
    // final counts, and the list follows without a new connection.
    s.dev->start_stop_test();
    QVERIFY2(s.runUntil([&] { return !inst.running(); }, s.now() + 10 * SECOND), qPrintable(s.error));
    QVERIFY2(runTo(s.now() + 5 * SECOND), qPrintable(s.error));
    QVERIFY2(s.runUntil(fetched(0), s.now() + MINUTE), qPrintable(s.error));
    QCOMPARE(sameAsStored("after the stop"), QString());
    // And the same after one more connection.
    sim->unplug();
    QVERIFY2(runTo(s.now() + 2 * SECOND), qPrintable(s.error));
    sim->plug();
    QVERIFY2(s.runUntil(fetched(0), s.now() + 30 * MINUTE), qPrintable(s.error));
    QVERIFY2(runTo(s.now() + 5 * SECOND), qPrintable(s.error));
    QCOMPARE(s.dev->records.size(), inst.storedRecords());
    QCOMPARE(sameAsStored("stopped, after reconnection"), QString());

    std::printf("soak: %d faults injected, %d connections, %d list clears, %d program restarts, %d warnings; peak queues %d commands,"
          " %d records; %lld slots, %lld exchange ticks; %lld ms real time\n",
          faults, s.connections, s.clears, s.restarts, s.warnings, s.peak_cmd_queue, s.peak_rec_queue, s.slot_calls, s.io_ticks,
          qint64(wall.elapsed()));
}

QTEST_GUILESS_MAIN(TstSoakLink)
#include "tst_soak_link.moc"
