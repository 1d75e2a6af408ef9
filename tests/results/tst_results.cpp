// Results panel and G.821 / G.826 window: ratios, percentages, zero divisors, unsigned counts, alarms.

#include "device/device.h"
#include "results/g821form.h"
#include "results/resultframe.h"
#include "tests/support/widgets.h"

#include <QLabel>
#include <QtTest>

static QLabel* label(ResultFrame& f, const QString& name)
{
    QLabel* l = f.findChild<QLabel*>(name);
    return l ? l : child<QLabel>(f.g821(), qPrintable(name));
}

class TstResults : public QObject {
    Q_OBJECT
    std::unique_ptr<Device> dev;

private slots:
    void init()
    {
        dev = std::make_unique<Device>();
        dev->scan_timer->stop();
    }

    void shownTexts_data()
    {
        QTest::addColumn<int>("ch");
        QTest::addColumn<QList<quint32>>("counts"); // T, bit, code, frame, CRC-4, E-bit, AS, ES, SES, BBE; 0 after
        QTest::addColumn<QList<quint32>>("rx");     // receiver framing, CAS, timeslot mask
        QTest::addColumn<QString>("expected");      // "label=text ..."
        auto row = [](const char* name, int ch, QList<quint32> counts, QList<quint32> rx, const char* expected) {
            QTest::newRow(name) << ch << counts << rx << QString(expected);
        };
        row("every ratio and percentage", 1, {100, 409600000, 204800, 280, 50, 10, 90, 9, 3, 45}, {0, 0, 0},
            "lBinK=2.00e+00 lCodeK=1.00e-03 lLoopK=1.00e-04 lCRC4K=5.00e-04 lEbitK=1.00e-04 lCode=204800 lUAS=10 "
            "lUASpc=10.00 lAS=90 lASpc=90.00 lES=9 lESpc=10.00 lSES=3 lSESpc=3.33 lESR=1.00e-01 lSESR=3.33e-02 "
            "lBBE=45 lBBER=5.17e-04 lASR=9.00e-01 lUS=10 lUSR=1.00e-01 lES_2=9 lSES_2=3 lAS_2=90");
        row("T = 0 < AS: zero ratios, UAS wraps as unsigned", 0, {0, 7, 8, 9, 10, 11, 1, 4, 2, 3}, {0, 0, 0},
            "lBin=7 lCRC4=10 lEbit=11 lBinK=0.00e+00 lCodeK=0.00e+00 lUAS=4294967295 lUASpc=0.00 lBBER=0.00e+00 "
            "lASR=0.00e+00 lES=4");
        row("AS = 0", 1, {60, 0, 0, 0, 0, 0, 0, 5, 0, 5}, {0, 0, 0},
            "lUAS=60 lUASpc=100.00 lESpc=0.00 lESR=0.00e+00 lBBER=0.00e+00");
        row("framed, only timeslot 16 and CAS", 0, {1, 1000}, {1, 1, 0x00010000}, "lBinK=0.00e+00 lBin=1000");
        row("framed, timeslot 16 without CAS; bit 0", 0, {1, 64}, {1, 0, 0x00010001}, "lBinK=1.00e-03");
        row("T above 2^31", 0, {4000000000u, 0, 4096000000u, 0, 4000000000u, 0, 3000000000u, 1500000000u}, {0, 0, 0},
            "lCode=4096000000 lCodeK=5.00e-07 lCRC4K=1.00e-03 lUAS=1000000000 lUASpc=25.00 lASpc=75.00 lESpc=50.00");
    }
    void shownTexts()
    {
        QFETCH(int, ch);
        QFETCH(QList<quint32>, counts);
        QFETCH(QList<quint32>, rx);
        QFETCH(QString, expected);
        ChannelResults& r = dev->results[ch];
        quint32* fields[] = {&r.elapsed_s, &r.bit_errors, &r.code_errors, &r.frame_errors, &r.crc4_errors,
                             &r.ebit_errors, &r.available_s, &r.errored_s, &r.severely_errored_s, &r.bbe};
        for (int i = 0; i < 10; ++i)
            *fields[i] = counts.value(i);
        dev->rx[ch].framing = quint8(rx[0]);
        dev->rx[ch].cas = quint8(rx[1]);
        dev->rx[ch].timeslot_mask = rx[2];
        // The transmitter's settings and the other channel do not count.
        dev->tx[ch].framing = quint8(!rx[0]);
        dev->tx[ch].timeslot_mask = ~rx[2];
        dev->results[1 - ch].code_errors = 99;
        ResultFrame f(dev.get(), ch);
        f.update_results(); // refreshes the hidden G.821 window too
        for (const QString& e : expected.split(' ')) {
            const QString name = e.section('=', 0, 0);
            QCOMPARE(name + "=" + label(f, name)->text(), e);
        }
    }

    // Alarms red by bit, in a font a point smaller; jitter only for channel A.
    void alarmsAndStatistics()
    {
        ResultFrame f(dev.get(), 0);
        QVERIFY(!f.findChild<QWidget*>("fJitter")->isHidden() && ResultFrame(dev.get(), 1).findChild<QWidget*>("fJitter")->isHidden());
        QCOMPARE(label(f, "lLOS")->font().pointSizeF(), f.font().pointSizeF() - 1);
        ChannelResults& r = dev->results[0];
        r.alarms = 0xA5;
        r.jitter = 1.5;
        r.jitter_hf = 0.126;
        r.ais_count = 12;
        r.lof_count = 13;
        r.no_input_count = 4294967295u;
        f.update_results();
        QStringList shown;
        for (const char* name : {"lPL", "lMRAI", "lRAI", "lLOCRC", "lLOMF", "lLOF", "lAIS", "lLOS"}) // bit 0 first
            shown << (label(f, name)->styleSheet() == "color: rgb(255, 0, 0);" ? "red" : label(f, name)->styleSheet());
        for (const char* name : {"lJitter", "lJitterHF", "lSIASInput", "lLostOfLoop", "lNoInput"})
            shown << label(f, name)->text();
        QCOMPARE(shown.join(' '), "red  red   red  red 1.50 0.13 12 13 4294967295");
    }

    // Verdicts colour the judged values and name objective and verdict in their tool tips.
    void verdictsInTheG821Window()
    {
        ResultFrame f(dev.get(), 1);
        ChannelResults& r = dev->results[1];
        r.elapsed_s = r.available_s = 1000;
        r.errored_s = 21; // at half the objectives: ESR above 0.02, but within 4 %
        dev->allocation_pct = 50;
        f.update_results();
        QCOMPARE(label(f, "lESR")->styleSheet(), "#lESR { color: rgb(255, 0, 0); }");
        QCOMPARE(label(f, "lESR")->toolTip(), "Objective: <= 2.00e-02\nFail");
        QCOMPARE(label(f, "lESpc")->styleSheet(), "#lESpc { color: rgb(0, 128, 0); }");
        QCOMPARE(label(f, "lESpc")->toolTip(), "Objective: <= 4.00 %\nPass");
        QCOMPARE(f.g821()->findChild<QWidget*>("groupBox_2")->toolTip(), "Channel verdict: Fail\nAllocation: 50.0 %");
        r.available_s = 0; // unavailable time only
        f.update_results();
        QCOMPARE(label(f, "lESR")->styleSheet(), "");
        QCOMPARE(label(f, "lESR")->toolTip(), "Objective: <= 2.00e-02\nNo data");
    }
};

QTEST_MAIN(TstResults)
#include "tst_results.moc"
