// A day of the device link against the simulated instrument on a driven clock,
// with every kind of fault it must survive thrown in under a fixed seed: at the
// end the list is the instrument's, every record of it.

#include "tests/support/linkrig.h"

#include <QtTest>

#include <random>

constexpr qint64 SECOND = 1000;
constexpr qint64 MINUTE = 60 * SECOND;

class TstSoakLink : public QObject {
    Q_OBJECT

private slots:
    void dayWithFaults()
    {
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false")); // one line per fault
        LinkRig s;
        SimBackend* sim = s.sim;
        SimInstrument& inst = sim->instrument();
        inst.setNoise(true);
        inst.setSeed(20261206);
        inst.setConfigByte(0, 1, quint8(2 << 3)); // automatic bit errors at 1e-6 on channel A:
        inst.setConfigByte(0, 4, 6);              // the counters move all day
        // 200 records stored before the program looks: the backlog is fetched while faults come.
        inst.startTest();
        sim->advance(2000 * SECOND);
        std::mt19937_64 rng(0x50A4);
        auto uniform = [&](qint64 lo, qint64 hi) { return std::uniform_int_distribution<qint64>(lo, hi)(rng); };
        // Halted (two instruments, or an open refused): the user restarts the program.
        auto run = [&](qint64 ms) {
            s.run(ms);
            if (!s.dev->connected && !s.dev->scan_timer->isActive())
                s.restartProgram();
        };
        const qint64 end = s.now() + 24 * 60 * MINUTE;

        using Call = SimBackend::Call;
        const Call calls[] = {Call::Count, Call::Open, Call::Write, Call::CheckRXQueue, Call::Read, Call::BeforeWrite};
        enum Kind { Lost = 6, Foreign, Corrupt, Split, Slow, Unplug, SecondDevice, ConfigOnInstrument, Restart, Kinds };
        while (s.now() < end) {
            run(qMin(end - s.now(), uniform(2 * MINUTE, 20 * MINUTE)));
            sim->setReplyDelay(0);
            const int kind = int(uniform(0, Kinds - 1));
            switch (kind) {
            case Lost: sim->dropReply(); break;
            case Foreign: sim->foreignReply(); break;
            case Corrupt: sim->corruptReply(); break;
            case Split: sim->splitReply(0, int(uniform(1, 8))); break;
            case Slow: sim->setReplyDelay(uniform(100, 450)); break; // up to polls slower than their period
            case SecondDevice: // harmless while connected; the link drops, and scanning halts
                sim->setDeviceCount(2);
                sim->failNext(Call::Read);
                run(uniform(SECOND, MINUTE));
                sim->setDeviceCount(1);
                break;
            case ConfigOnInstrument: inst.markConfigChanged(int(uniform(0, 1))); break;
            case Restart: // on the instrument's keys, now or while the cable is out; in the
                          // first half, so that the end checks a long list
                if (s.now() < end - 12 * 60 * MINUTE)
                    inst.startTest();
                if (uniform(0, 1))
                    break;
                [[fallthrough]];
            case Unplug:
                sim->unplug();
                run(uniform(SECOND, 2 * MINUTE));
                sim->plug();
                break;
            default: // a library call fails one to three times
                sim->failNext(calls[kind], kind == 4 ? usb::DEVICE_IO_FAILED : usb::SYSTEM_ERROR_CODE, int(uniform(1, 3)));
            }
        }

        // No more faults, and stopped: the last record closes, and the list is the instrument's.
        for (Call c : calls)
            sim->failNext(c, 0, 0);
        sim->setReplyDelay(0);
        run(2 * MINUTE);
        QVERIFY(s.runUntil([&] { return s.dev->connected && s.idle(); }, 30 * MINUTE));
        s.dev->start_stop_test();
        QVERIFY(s.runUntil([&] { return !inst.running(); }, 10 * SECOND));
        QVERIFY(inst.storedRecords() >= 4320);
        auto same = [&](int i) {
            const TableRecord& got = s.dev->records.at(i);
            const SimRecord& want = inst.record(i);
            return got.number == quint32(i) && got.time_s == want.time_s && qRound(got.jitter * 100) == want.jitter
                   && qRound(got.jitter_hf * 100) == want.jitter_hf && std::equal(got.counters, got.counters + 16, want.counters);
        };
        // The closed last record replaces the one last polled when the link fetches it.
        QVERIFY(s.runUntil([&] { return s.dev->rec_queue.isEmpty() && s.idle()
                                        && s.dev->records.size() == inst.storedRecords()
                                        && same(inst.storedRecords() - 1); }, 30 * MINUTE));
        for (int i = 0; i < inst.storedRecords(); ++i)
            QVERIFY2(same(i), qPrintable(QStringLiteral("record %1 differs from the stored one").arg(i)));
    }
};

QTEST_GUILESS_MAIN(TstSoakLink)
#include "tst_soak_link.moc"
