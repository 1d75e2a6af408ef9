// The event log of a test run on the simulated instrument: started once from
// the PC, an alarm rising and clearing, settings changed from the PC and on
// the instrument, the instrument ending the timed test, the cable pulled.

#include "tests/support/linkrig.h"
#include "events/eventlog.h"

#include <QtTest>

// Stands for a settings panel: the log listens to its "set_..." signals.
class Panel : public QObject {
    Q_OBJECT
signals:
    void set_error_settings();
    void set_cycle_settings();
};

class TestEventLog : public QObject {
    Q_OBJECT

private slots:
    void timedTestWithAlarmAndUnplug()
    {
        LinkRig rig;
        EventLog log(rig.dev);
        Panel panel;
        log.watch_settings(&panel, 0);
        SimInstrument& inst = rig.sim->instrument();
        inst.setConfigByte(0, 3, quint8(inst.config(0).at(3) | 0x20)); // limited to 0 d 0 h 1 min
        inst.setConfigByte(0, 9, 1);
        QVERIFY(rig.connectFully());
        rig.run(2000);
        emit panel.set_error_settings(); // no test runs: nothing to log

        rig.dev->start_stop_test();
        rig.run(5000);
        inst.setSignalLost(1, true);
        rig.run(3000);
        emit panel.set_error_settings();
        emit panel.set_error_settings(); // one change that sent two commands
        inst.setSignalLost(1, false);
        rig.run(3000);
        inst.setConfigByte(1, 3, 5); // on the instrument's own keys
        inst.markConfigChanged(1);
        rig.run(60000);
        QVERIFY(!inst.running());
        rig.sim->unplug();
        rig.run(2000);
        rig.sim->plug();
        QVERIFY(rig.connectFully(5000));
        rig.run(2000);

        // Through the model behind the window: channel, event and elapsed time.
        QStringList rows;
        for (int i = 0; i < log.rowCount(); ++i) {
            rows << log.index(i, EventLog::COL_CHANNEL).data().toString() + ' ' + log.index(i, EventLog::COL_EVENT).data().toString();
            if (i > 0)
                QVERIFY(log.events()[i].when >= log.events()[i - 1].when);
        }
        QCOMPARE(rows, (QStringList{" Test started from the PC", "B Alarm LOS raised", "A Settings changed: error insertion",
                                    "B Alarm LOS cleared", "B Settings changed on the instrument", " Timed test finished",
                                    " Instrument disconnected", " Instrument connected"}));
        QCOMPARE(log.events()[0].elapsed_s, 0u);
        QVERIFY2(log.events()[1].elapsed_s >= 5 && log.events()[1].elapsed_s <= 7, qPrintable(rows.join('|')));
        QCOMPARE(log.index(5, EventLog::COL_ELAPSED).data().toString(), QString("00 00:01:00"));
    }

    // Past its bound the log drops its oldest events a chunk at a time, and counts them.
    void keepsTheNewest()
    {
        Device dev;
        EventLog log(&dev);
        Panel panel;
        log.watch_settings(&panel, 1);
        dev.common.test_running = 1; // one "test started" and then a change a time
        for (int i = 0; i < EventLog::MAX_EVENTS; ++i)
            i % 2 ? panel.set_error_settings() : panel.set_cycle_settings();
        QCOMPARE(log.dropped(), EventLog::DROP_CHUNK);
        QCOMPARE(log.rowCount(), EventLog::MAX_EVENTS - EventLog::DROP_CHUNK + 1);
        QCOMPARE(log.events().last().text, QString("Settings changed: error insertion"));
    }
};

QTEST_MAIN(TestEventLog)
#include "tst_eventlog.moc"
