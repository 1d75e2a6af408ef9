// A timed test on the simulated instrument, logged and exported: the event log's rows, and the CSV
// files read back against what the records table, the results panels and windows, and the log show.

#include "csv/csvexport.h"
#include "events/eventlog.h"
#include "records/tableform.h"
#include "results/g821form.h"
#include "results/resultframe.h"
#include "tests/support/csvreader.h"
#include "tests/support/linkrig.h"
#include "tests/support/widgets.h"

#include <QLabel>
#include <QtTest>

// Stands for a settings panel: the log listens to its "set_..." signals.
class Panel : public QObject {
    Q_OBJECT
signals:
    void set_error_settings();
    void set_cycle_settings();
};

class TestCsv : public QObject {
    Q_OBJECT

private slots:
    void testLoggedAndExported()
    {
        LinkRig rig;
        Device* dev = rig.dev;
        EventLog log(dev);
        Panel panel;
        log.watch_settings(&panel, 0);
        connect(&panel, &Panel::set_error_settings, dev, &Device::set_error_settings_a);
        TableForm table(dev);
        ResultFrame panels[2] = {ResultFrame(dev, 0), ResultFrame(dev, 1)};
        connect(dev, &Device::table_rec_rcv, &table, &TableForm::table_rec_rcv);
        connect(dev, &Device::res_rcv, this, [&](uchar ch) { panels[ch ? 1 : 0].update_results(); });
        SimInstrument& inst = rig.sim->instrument();
        inst.setConfigByte(0, 3, quint8(inst.config(0).at(3) | 0x20)); // limited to 0 d 0 h 1 min
        inst.setConfigByte(0, 9, 1);
        QVERIFY(rig.connectFully());
        emit panel.set_error_settings(); // no test runs: nothing to log

        dev->allocation_pct = 50;
        dev->start_stop_test();
        rig.run(5000);
        inst.setSignalLost(1, true);
        rig.run(3000);
        dev->tx[0].err_mode = 2; // bit errors at 10^-5 on channel A
        dev->tx[0].err_rate_exp = 5;
        emit panel.set_error_settings();
        emit panel.set_error_settings(); // one change that sent two commands
        inst.setSignalLost(1, false);
        rig.run(3000);
        inst.setConfigByte(1, 3, 5); // on the instrument's own keys
        inst.markConfigChanged(1);
        rig.run(60000);
        rig.sim->unplug();
        rig.run(2000);
        rig.sim->plug();
        QVERIFY(rig.connectFully(5000));

        QStringList rows;
        for (int i = 0; i < log.rowCount(); ++i)
            rows << log.index(i, EventLog::COL_CHANNEL).data().toString() + ' ' + log.index(i, EventLog::COL_EVENT).data().toString();
        QCOMPARE(rows, (QStringList{" Test started from the PC", "B Alarm LOS raised", "A Settings changed: error insertion",
                                    "B Alarm LOS cleared", "B Settings changed on the instrument", " Timed test finished",
                                    " Instrument disconnected", " Instrument connected"}));
        QCOMPARE(log.index(5, EventLog::COL_ELAPSED).data().toString(), QString("00 00:01:00"));

        QTemporaryDir dir;
        const QString prefix = dir.filePath("night, \"B\"");
        QList<LogEvent> events = log.events();
        events.append({QDateTime::currentDateTime(), 7, 1, "a, \"quoted\"\r\nsecond line"});
        QVERIFY(csv::write_all(prefix, *dev, events));

        const auto recs = read(csv::file_name(prefix, csv::Kind::RECORDS));
        QCOMPARE(recs.size(), dev->records.size());
        const QAbstractItemView* cells = child<QAbstractItemView>(&table, "tRes");
        const char* counters[] = {"bit", "code", "frame", "crc4", "ebit", "no_input", "ais", "lof"};
        for (int i = 0; i < recs.size(); ++i) {
            const TableRecord& r = dev->records[i];
            QCOMPARE(recs[i]["elapsed_s"], QString::number(r.time_s));
            for (int ch = 0; ch < 2; ++ch)
                for (int j = 0; j < 8; ++j) {
                    const QString name = QString("%1_%2").arg(ch ? 'b' : 'a').arg(counters[j]);
                    QCOMPARE(recs[i][name + "_delta"], cell(cells, i, 1 + j + 11 * ch));
                }
        }

        const auto res = read(csv::file_name(prefix, csv::Kind::RESULTS));
        QCOMPARE(res.size(), 2);
        const struct { const char* column; const char* label; char format = 0; } figures[] = {
            {"bit_errors", "lBin"}, {"bit_error_ratio", "lBinK", 'e'}, {"code_errors", "lCode"},
            {"code_error_ratio", "lCodeK", 'e'}, {"frame_errors", "lLoop"}, {"frame_error_ratio", "lLoopK", 'e'},
            {"crc4_errors", "lCRC4"}, {"crc4_error_ratio", "lCRC4K", 'e'}, {"ebit_errors", "lEbit"},
            {"ebit_error_ratio", "lEbitK", 'e'}, {"jitter", "lJitter", 'f'}, {"jitter_hf", "lJitterHF", 'f'},
            {"no_input", "lNoInput"}, {"ais", "lSIASInput"}, {"lof", "lLostOfLoop"}, {"uas", "lUAS"},
            {"uas_percent", "lUASpc", 'f'}, {"as", "lAS"}, {"as_percent", "lASpc", 'f'}, {"es", "lES"},
            {"es_percent", "lESpc", 'f'}, {"ses", "lSES"}, {"ses_percent", "lSESpc", 'f'}, {"esr", "lESR", 'e'},
            {"sesr", "lSESR", 'e'}, {"bbe", "lBBE"}, {"bber", "lBBER", 'e'}, {"asr", "lASR", 'e'}, {"usr", "lUSR", 'e'},
        };
        for (int ch = 0; ch < 2; ++ch) {
            for (const auto& f : figures) {
                const QString v = res[ch][f.column];
                if (ch == 1 && QByteArray(f.label).startsWith("lJitter")) { // channel B measures no jitter
                    QVERIFY(v.isEmpty());
                    continue;
                }
                QLabel* l = panels[ch].findChild<QLabel*>(f.label);
                if (!l)
                    l = panels[ch].g821()->findChild<QLabel*>(f.label);
                QVERIFY2(l && !v.isEmpty(), f.column);
                QCOMPARE(f.format ? QString::number(v.toDouble(), f.format, 2) : v, l->text());
            }
        }
        QCOMPARE(res[0]["esr_objective"], QString("0.02")); // scaled by the allocation
        QCOMPARE(res[0]["ses_percent_objective"], QString("0.1")); // G.821's in percent, like its figures

        // Events, the one with a comma, quotes and a line break among them.
        const auto ev = read(csv::file_name(prefix, csv::Kind::EVENTS));
        QCOMPARE(ev.size(), events.size());
        for (int i = 0; i < ev.size(); ++i) {
            QCOMPARE(QDateTime::fromString(ev[i]["time"], Qt::ISODate).toSecsSinceEpoch(), events[i].when.toSecsSinceEpoch());
            QCOMPARE(ev[i]["channel"], EventLog::channel_name(events[i].channel));
            QCOMPARE(ev[i]["event"], events[i].text);
        }
        QCOMPARE(csv::duration(90061), QString("P1DT01H01M01S"));

        QString error;
        QVERIFY(!csv::write_file(dir.filePath("missing/x.csv"), csv::Kind::RESULTS, *dev, events, &error));
        QVERIFY2(error.startsWith(dir.filePath("missing/x.csv") + ": "), qPrintable(error));
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

QTEST_MAIN(TestCsv)
#include "tst_csv.moc"
