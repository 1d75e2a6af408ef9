// A day of instrument time through the device link, with every kind of fault
// the link has to survive thrown in at random (fixed seed). Queues and the
// record list must stay bounded at every step, and once the faults stop, a
// fresh connection must fetch every record the instrument stored, value for value.

#include "linksoak.h"

#include <QtTest>

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

// The list holds the instrument's closed records, every field, plus `extra` records in progress.
QString sameAsStored(const LinkSoak& s, int extra)
{
    const SimInstrument& inst = s.sim->instrument();
    if (s.dev->records.size() != inst.storedRecords() + extra)
        return QStringLiteral("%1 records, %2 stored").arg(s.dev->records.size()).arg(inst.storedRecords());
    for (int i = 0; i < inst.storedRecords(); ++i) {
        const TableRecord& got = s.dev->records.at(i);
        const SimRecord want = inst.record(i);
        bool same = got.number == quint32(i) && got.time_s == want.time_s && qRound(got.jitter * 100) == want.jitter
            && qRound(got.jitter_hf * 100) == want.jitter_hf;
        for (int k = 0; k < 16; ++k)
            same = same && got.counters[k] == want.counters[k];
        if (!same)
            return QStringLiteral("record %1 differs from the stored one").arg(i);
    }
    return QString();
}

bool fetched(const LinkSoak& s, int extra)
{
    return s.dev->connected && s.dev->rec_queue.isEmpty() && !s.dev->awaiting_reply && s.dev->cmd_queue.isEmpty()
        && s.dev->records.size() == s.sim->instrument().storedRecords() + extra;
}

} // namespace

class TstSoakLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { qInstallMessageHandler(quiet); }
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

// A slow instrument and a long backlog: while the list is still empty every
// poll reply queues record requests 0..n-1, and record requests wait until the
// command queue is empty. A poll getting ahead of record 0 every second would
// queue the whole backlog again each time, and polls must not pile up behind
// each other. Each request must wait once.
void TstSoakLink::backlogRequestedOnceWhileListIsEmpty()
{
    QFETCH(int, delay);
    LinkSoak s;
    SimInstrument& inst = s.sim->instrument();
    inst.setNoise(false);
    inst.startTest();
    s.sim->advance(2000 * SECOND); // 200 records stored before the host looks
    s.sim->setReplyDelay(delay);
    s.max_cmd_queue = 6;
    QVERIFY2(s.runUntil([&] { return s.dev->connected && s.dev->rec_queue.size() > 0; }, s.now() + 30 * SECOND),
             qPrintable(s.error));
    QVERIFY2(s.runTo(s.now() + 20 * SECOND), qPrintable(s.error)); // several polls go by
    QVERIFY(!s.dev->records.isEmpty());
    QSet<int> seen;
    for (const QByteArray& f : s.dev->rec_queue) {
        const int n = (quint8(f.at(3)) << 8) | quint8(f.at(4));
        QVERIFY2(!seen.contains(n), qPrintable(QStringLiteral("record %1 queued twice").arg(n)));
        seen.insert(n);
    }
    s.sim->setReplyDelay(0);
    QVERIFY2(s.runUntil([&] { return fetched(s, 1); }, s.now() + 10 * MINUTE), qPrintable(s.error));
    QCOMPARE(sameAsStored(s, 1), QString());
}

// The records table empties the list while a backlog is still being fetched
// (a configuration arrives during the test). The record requests still queued
// then answer into an empty list; each would queue the whole backlog again.
// The list must be fetched afresh, once.
void TstSoakLink::listEmptiedWhileBacklogIsFetched()
{
    LinkSoak s;
    SimInstrument& inst = s.sim->instrument();
    inst.startTest();
    s.sim->advance(3000 * SECOND);
    QVERIFY2(s.runUntil([&] { return s.dev->records.size() >= 100; }, s.now() + MINUTE), qPrintable(s.error));
    QVERIFY(s.dev->rec_queue.size() > 100);
    const int clearsBefore = s.clears;
    inst.markConfigChanged(0);
    QVERIFY2(s.runUntil([&] { return s.clears > clearsBefore; }, s.now() + 5 * SECOND), qPrintable(s.error));
    QVERIFY2(s.runUntil([&] { return fetched(s, 1); }, s.now() + 10 * MINUTE), qPrintable(s.error));
    QCOMPARE(sameAsStored(s, 1), QString());
}

void TstSoakLink::dayWithFaults()
{
    LinkSoak s;
    SimBackend* sim = s.sim;
    SimInstrument& inst = sim->instrument();
    inst.setSeed(20261206);
    // Automatic bit errors at 1e-6 on channel A, so the counters move all day.
    inst.setConfigByte(0, 1, quint8(2 << 3));
    inst.setConfigByte(0, 4, 6);
    std::mt19937_64 rng(0x50A4);
    auto uniform = [&](qint64 lo, qint64 hi) { return std::uniform_int_distribution<qint64>(lo, hi)(rng); };

    QVERIFY2(s.runUntil([&] { return s.dev->connected && s.dev->raw_cfg[1].size() > 0; }, 10 * SECOND),
             qPrintable(s.error));
    s.dev->start_stop_test(); // from the program; not time-limited
    QVERIFY2(s.runUntil([&] { return inst.running(); }, s.now() + 5 * SECOND), qPrintable(s.error));
    const qint64 end = s.now() + 24 * HOUR;

    // A halted link is noticed by the user within half a minute: the second
    // instrument is unplugged and the program restarted.
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
    auto unplugFor = [&](qint64 ms) {
        sim->unplug();
        const bool ok = runTo(s.now() + ms);
        sim->plug();
        return ok;
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
        case Lost: sim->dropReply(); break;
        case Foreign: sim->foreignReply(); break;
        case Corrupt: sim->corruptReply(); break;
        case Split: sim->splitReply(0, int(uniform(1, 8))); break;
        case Unplug: QVERIFY2(unplugFor(uniform(SECOND, 2 * MINUTE)), qPrintable(s.error)); break;
        case SecondDevice:
            // Harmless while connected; while scanning it halts the link.
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
                s.dev->set_cycle_settings_b();
                s.dev->set_jitter_settings();
            }
            break;
        case ConfigOnInstrument:
            // Half the time while a backlog is fetched after a new connection:
            // the table empties the list under the queued requests.
            if (uniform(0, 1)) {
                QVERIFY2(unplugFor(2 * SECOND), qPrintable(s.error));
                s.runUntil([&] { return s.dev->rec_queue.size() > 100; }, s.now() + MINUTE);
                QVERIFY2(s.ok(), qPrintable(s.error));
            }
            inst.markConfigChanged(int(uniform(0, 1)));
            break;
        default: // a library call fails one to three times
            sim->failNext(calls[kind], kind == ReadFails ? usb::DEVICE_IO_FAILED : usb::SYSTEM_ERROR_CODE,
                          int(uniform(1, 3)));
        }
    }
    QVERIFY(inst.running() && inst.elapsed_s() >= 24 * 3600 - 5);
    QVERIFY(s.warnings > 0 && s.restarts > 0);
    for (int k = 0; k < Kinds; ++k)
        QVERIFY2(injected[k] > 0, qPrintable(QStringLiteral("fault kind %1 never injected").arg(k)));

    // No more faults; whatever was left armed goes. Pulled once more, the new
    // connection fetches the whole day: the closed records as stored, then
    // the record in progress. Stopped, the last record closes with its final counts.
    sim->setReplyDelay(0);
    for (SimBackend::Call c : calls)
        sim->failNext(c, 0, 0);
    QVERIFY2(runTo(s.now() + 2 * MINUTE), qPrintable(s.error));
    QVERIFY2(unplugFor(2 * SECOND), qPrintable(s.error));
    const int restartsBefore = s.restarts;
    QVERIFY2(s.runUntil([&] { return fetched(s, 1); }, s.now() + 30 * MINUTE), qPrintable(s.error));
    QCOMPARE(s.restarts, restartsBefore);
    QVERIFY(inst.storedRecords() >= 8640);
    QCOMPARE(sameAsStored(s, 1), QString());
    QCOMPARE(s.dev->records.last().time_s, quint32(inst.storedRecords()) * 10);
    s.dev->start_stop_test();
    QVERIFY2(s.runUntil([&] { return !inst.running(); }, s.now() + 10 * SECOND), qPrintable(s.error));
    QVERIFY2(runTo(s.now() + 5 * SECOND), qPrintable(s.error));
    QVERIFY2(s.runUntil([&] { return fetched(s, 0); }, s.now() + MINUTE), qPrintable(s.error));
    QCOMPARE(sameAsStored(s, 0), QString());
}

QTEST_GUILESS_MAIN(TstSoakLink)
#include "tst_soak_link.moc"
