// The three CSV files of a simulated test, read back and compared with what the
// records table, the results panels, the G.821 / G.826 windows and the event log show.

#include "tests/support/linkrig.h"
#include "tests/support/csvreader.h"
#include "csv/csvexport.h"
#include "records/tableform.h"
#include "results/g821form.h"
#include "results/resultframe.h"

#include <QLabel>
#include "tests/support/widgets.h"

#include <QTableView>
#include <QtTest>

namespace {

QString exp2(const QString& v) { return QString("%1").arg(v.toDouble(), 0, 'e', 2); }
QString fix2(const QString& v) { return QString("%1").arg(v.toDouble(), 0, 'f', 2); }
QString same(const QString& v) { return v; }

} // namespace

class TestCsv : public QObject {
    Q_OBJECT

private slots:
    void filesMatchTheProgram()
    {
        LinkRig rig;
        Device* dev = rig.dev;
        EventLog log(dev);
        TableForm table(dev);
        ResultFrame panels[2] = {ResultFrame(dev, 0), ResultFrame(dev, 1)};
        connect(dev, &Device::table_rec_rcv, &table, &TableForm::table_rec_rcv);
        connect(dev, &Device::records_cleared, &table, &TableForm::clear_table);
        connect(dev, &Device::res_rcv, this, [&](uchar ch) { panels[ch ? 1 : 0].update_results(); });
        QVERIFY(rig.connectFully());
        dev->tx[0].err_mode = 2; // bit errors at 10^-5 on channel A
        dev->tx[0].err_rate_exp = 5;
        dev->set_error_settings_a();
        dev->allocation_pct = 50;
        dev->start_stop_test();
        rig.run(12000);
        rig.sim->instrument().setSignalLost(1, true);
        rig.run(25000);
        dev->start_stop_test();
        rig.run(3000);
        QVERIFY(dev->records.size() >= 4 && log.events().size() >= 3);

        QTemporaryDir dir;
        const QString prefix = dir.filePath("night, \"B\"");
        QList<LogEvent> events = log.events();
        events.append({QDateTime::currentDateTime(), 7, 1, "a, \"quoted\"\r\nsecond line"});
        QVERIFY(csv::write_all(prefix, *dev, events));
        QCOMPARE(csv::prefix_of(csv::file_name(prefix, csv::Kind::EVENTS)), prefix);

        // Records: values as stored, and the deltas and jitter as the table shows them.
        const auto recs = read(csv::file_name(prefix, csv::Kind::RECORDS));
        QCOMPARE(recs.size(), dev->records.size());
        const QTableView* cells = table.findChild<QTableView*>("tRes");
        const char* counters[] = {"bit", "code", "frame", "crc4", "ebit", "no_input", "ais", "lof"};
        QCOMPARE(recs[0].size(), 3 + 2 * 2 * 8 + 2);
        for (int i = 0; i < recs.size(); ++i) {
            const TableRecord& r = dev->records[i];
            QCOMPARE(recs[i]["number"], QString::number(r.number));
            QCOMPARE(recs[i]["elapsed_s"], QString::number(r.time_s));
            QCOMPARE(recs[i]["elapsed"], csv::duration(r.time_s));
            QCOMPARE(recs[i]["a_jitter"].toDouble(), r.jitter);
            QCOMPARE(recs[i]["a_jitter_hf"].toDouble(), r.jitter_hf);
            QCOMPARE(fix2(recs[i]["a_jitter"]), cell(cells, i, 9));
            for (int ch = 0; ch < 2; ++ch)
                for (int j = 0; j < 8; ++j) {
                    // Stored values add up the deltas, which are the table's.
                    const QString name = QString("%1_%2").arg(ch ? 'b' : 'a').arg(counters[j]);
                    const quint32 before = i > 0 ? recs[i - 1][name].toUInt() : 0;
                    QCOMPARE(recs[i][name + "_delta"], cell(cells, i, 1 + j + 11 * ch));
                    QCOMPARE(QString::number(recs[i][name].toUInt() - before), recs[i][name + "_delta"]);
                }
        }

        // Final results: every figure of the results panel and the G.821 / G.826 window.
        const auto res = read(csv::file_name(prefix, csv::Kind::RESULTS));
        QCOMPARE(res.size(), 2);
        const struct {
            const char* column;
            const char* label;
            QString (*shown)(const QString&);
        } figures[] = {
            {"bit_errors", "lBin", same}, {"bit_error_ratio", "lBinK", exp2}, {"code_errors", "lCode", same},
            {"code_error_ratio", "lCodeK", exp2}, {"frame_errors", "lLoop", same}, {"frame_error_ratio", "lLoopK", exp2},
            {"crc4_errors", "lCRC4", same}, {"crc4_error_ratio", "lCRC4K", exp2}, {"ebit_errors", "lEbit", same},
            {"ebit_error_ratio", "lEbitK", exp2}, {"jitter", "lJitter", fix2}, {"jitter_hf", "lJitterHF", fix2},
            {"no_input", "lNoInput", same}, {"ais", "lSIASInput", same}, {"lof", "lLostOfLoop", same},
            {"uas", "lUAS", same}, {"uas_percent", "lUASpc", fix2}, {"as", "lAS", same}, {"as_percent", "lASpc", fix2},
            {"es", "lES", same}, {"es_percent", "lESpc", fix2}, {"ses", "lSES", same}, {"ses_percent", "lSESpc", fix2},
            {"esr", "lESR", exp2}, {"sesr", "lSESR", exp2}, {"bbe", "lBBE", same}, {"bber", "lBBER", exp2},
            {"asr", "lASR", exp2}, {"usr", "lUSR", exp2},
        };
        const char* alarms[] = {"LOS", "AIS", "LOF", "LOMF", "LOCRC", "RAI", "MRAI", "PL"};
        QCOMPARE(res[0].size(), 3 + 8 + int(std::size(figures)) + 2 + 1 + 2 * FIGURE_COUNT + 1);
        for (int ch = 0; ch < 2; ++ch) {
            const ChannelResults& r = dev->results[ch];
            QCOMPARE(res[ch]["channel"], QString(ch ? "B" : "A"));
            QCOMPARE(res[ch]["elapsed_s"], QString::number(r.elapsed_s));
            QCOMPARE(res[ch]["signal_freq_hz"], QString::number(r.signal_freq));
            QCOMPARE(res[ch]["signal_level_db"], QString::number(r.signal_level));
            for (const char* a : alarms) {
                const bool red = panels[ch].findChild<QLabel*>(QString("l") + a)->styleSheet().contains("255, 0, 0");
                QCOMPARE(res[ch][QString("alarm_") + QString(a).toLower()], QString(red ? "1" : "0"));
            }
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
                QCOMPARE(f.shown(v), l->text());
            }
        }
        // Verdicts against the objectives scaled by the allocation, G.821's in percent like their figures.
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < FIGURE_COUNT; ++i)
                QCOMPARE(res[ch][QString(csv::FIGURE_COLUMNS[i]) + "_verdict"],
                         csv::verdict_name(judge(dev->results[ch], 50).figures[i].verdict));
        QCOMPARE(res[0]["allocation_pct"], QString("50"));
        QCOMPARE(res[0]["esr_objective"], QString("0.02"));
        QCOMPARE(res[0]["ses_percent_objective"], QString("0.1"));
        QCOMPARE(res[0]["esr_verdict"], QString("fail")); // an errored second every second
        QCOMPARE(res[0]["verdict"], QString("fail"));
        QCOMPARE(res[1]["alarm_los"], QString("1")); // the figures are not all zero
        QVERIFY(res[0]["bit_errors"].toInt() > 0);

        // Events, the one with a comma, quotes and a line break among them.
        const auto ev = read(csv::file_name(prefix, csv::Kind::EVENTS));
        QCOMPARE(ev.size(), events.size());
        for (int i = 0; i < ev.size(); ++i) {
            QCOMPARE(QDateTime::fromString(ev[i]["time"], Qt::ISODate).toSecsSinceEpoch(), events[i].when.toSecsSinceEpoch());
            QCOMPARE(ev[i]["elapsed_s"], QString::number(events[i].elapsed_s));
            QCOMPARE(ev[i]["channel"], EventLog::channel_name(events[i].channel));
            QCOMPARE(ev[i]["event"], events[i].text);
        }
        QCOMPARE(ev[0].size(), 5);
        QCOMPARE(csv::duration(90061), QString("P1DT01H01M01S"));

        // A file that cannot be written says where and why.
        QString error;
        QVERIFY(!csv::write_file(dir.filePath("missing/x.csv"), csv::Kind::RESULTS, *dev, events, &error));
        QVERIFY2(error.startsWith(dir.filePath("missing/x.csv") + ": "), qPrintable(error));
    }
};

QTEST_MAIN(TestCsv)
#include "tst_csv.moc"
