// Results panel and G.821 / G.826 window: every shown number from known
// results, the zero-divisor cases, unsigned counts, alarms and the window's
// behaviour.

#include "device.h"
#include "g821form.h"
#include "resultframe.h"

#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QGroupBox>
#include <QLabel>
#include <QtTest>

// Widgets are reached by their object names, as the forms define them.
template <class T = QLabel>
static T* W(QWidget& parent, const char* name)
{
    T* w = parent.findChild<T*>(name);
    if (!w)
        qFatal("no widget %s", name);
    return w;
}

class TestResults : public QObject {
    Q_OBJECT

    Device* dev = nullptr;

    static QStringList ratios(ResultFrame& f)
    {
        return {W(f, "lBinK")->text(), W(f, "lCodeK")->text(), W(f, "lLoopK")->text(), W(f, "lCRC4K")->text(),
                W(f, "lEbitK")->text()};
    }

private slots:
    void init()
    {
        dev = new Device;
        dev->scan_timer->stop();
    }
    void cleanup()
    {
        delete dev;
        dev = nullptr;
    }

    void constructionPerChannel()
    {
        ResultFrame a(dev, 0), b(dev, 1);
        QCOMPARE(W<QGroupBox>(a, "groupBox")->title(), QString("Results A"));
        QCOMPARE(W<QGroupBox>(b, "groupBox")->title(), QString("Results B"));
        QVERIFY(!W<QWidget>(a, "fJitter")->isHidden());
        QVERIFY(W<QWidget>(b, "fJitter")->isHidden());
        QCOMPARE(W(a, "lBinK")->text(), QString("0.00e+000"));
        QCOMPARE(a.g821()->windowTitle(), QString("Channel A: G.821, G.826/M2100"));
        QCOMPARE(b.g821()->windowTitle(), QString("Channel B: G.821, G.826/M2100"));
        QVERIFY(a.g821()->parent() == nullptr);
        QVERIFY(a.g821()->isHidden());
    }

    void zeroTimeShowsCountsAndZeroRatios()
    {
        ChannelResults& r = dev->results[0];
        r.elapsed_s = 0;
        r.bit_errors = 7;
        r.code_errors = 8;
        r.frame_errors = 9;
        r.crc4_errors = 10;
        r.ebit_errors = 11;
        r.available_s = 0;
        r.errored_s = 4;
        r.severely_errored_s = 2;
        r.bbe = 3;
        ResultFrame f(dev, 0);
        f.update_results();
        QCOMPARE(W(f, "lBin")->text(), QString("7"));
        QCOMPARE(W(f, "lCode")->text(), QString("8"));
        QCOMPARE(W(f, "lLoop")->text(), QString("9"));
        QCOMPARE(W(f, "lCRC4")->text(), QString("10"));
        QCOMPARE(W(f, "lEbit")->text(), QString("11"));
        QCOMPARE(ratios(f), QStringList(5, "0.00e+00"));

        G821Form& g = *f.g821();
        QCOMPARE(W(g, "lUAS")->text(), QString("0"));
        for (QLabel* l : {W(g, "lUASpc"), W(g, "lASpc"), W(g, "lESpc"), W(g, "lSESpc")})
            QCOMPARE(l->text(), QString("0.00"));
        for (QLabel* l : {W(g, "lESR"), W(g, "lSESR"), W(g, "lBBER"), W(g, "lASR"), W(g, "lUSR")})
            QCOMPARE(l->text(), QString("0.00e+00"));
        QCOMPARE(W(g, "lES")->text(), QString("4"));
        QCOMPARE(W(g, "lBBE")->text(), QString("3"));
    }

    void errorRatios()
    {
        ChannelResults& r = dev->results[1];
        r.elapsed_s = 10;
        r.code_errors = 20480;   // 20480 / (10 * 2048000)
        r.bit_errors = 40960000; // unframed: / (10 * 2048000)
        r.frame_errors = 28;     // / (10 * 28000)
        r.crc4_errors = 5;       // / (10 * 1000)
        r.ebit_errors = 1;
        ResultFrame f(dev, 1);
        f.update_results();
        QCOMPARE(W(f, "lCodeK")->text(), QString("1.00e-03"));
        QCOMPARE(W(f, "lBinK")->text(), QString("2.00e+00"));
        QCOMPARE(W(f, "lLoopK")->text(), QString("1.00e-04"));
        QCOMPARE(W(f, "lCRC4K")->text(), QString("5.00e-04"));
        QCOMPARE(W(f, "lEbitK")->text(), QString("1.00e-04"));
        // Channel A's results are not this panel's.
        dev->results[0].code_errors = 99;
        f.update_results();
        QCOMPARE(W(f, "lCode")->text(), QString("20480"));
    }

    void binaryRatioByTimeslots_data()
    {
        QTest::addColumn<int>("framing");
        QTest::addColumn<int>("cas");
        QTest::addColumn<quint32>("mask");
        QTest::addColumn<quint32>("count");
        QTest::addColumn<QString>("text");
        // T = 1 s throughout.
        QTest::newRow("unframed ignores an empty mask") << 0 << 0 << 0u << 2048u << "1.00e-03";
        QTest::newRow("unframed ignores a mask") << 0 << 1 << 0x00000002u << 2048u << "1.00e-03";
        QTest::newRow("all 31 timeslots") << 1 << 0 << 0xFFFFFFFEu << 1984u << "1.00e-03";
        QTest::newRow("CAS takes timeslot 16") << 1 << 1 << 0xFFFFFFFEu << 1920u << "1.00e-03";
        QTest::newRow("only 16 with CAS") << 1 << 1 << 0x00010000u << 1000u << "0.00e+00";
        QTest::newRow("only 16 without CAS") << 1 << 0 << 0x00010000u << 64u << "1.00e-03";
        QTest::newRow("bit 0 is not a timeslot") << 1 << 0 << 0x00000003u << 64u << "1.00e-03";
        QTest::newRow("no timeslot") << 1 << 0 << 0u << 64u << "0.00e+00";
    }
    void binaryRatioByTimeslots()
    {
        QFETCH(int, framing);
        QFETCH(int, cas);
        QFETCH(quint32, mask);
        QFETCH(quint32, count);
        QFETCH(QString, text);
        dev->rx[0].framing = quint8(framing);
        dev->rx[0].cas = quint8(cas);
        dev->rx[0].timeslot_mask = mask;
        // The transmitter settings do not count.
        dev->tx[0].framing = quint8(!framing);
        dev->tx[0].timeslot_mask = ~mask;
        dev->results[0].elapsed_s = 1;
        dev->results[0].bit_errors = count;
        ResultFrame f(dev, 0);
        f.update_results();
        QCOMPARE(W(f, "lBinK")->text(), text);
    }

    void largeCountsAreUnsigned()
    {
        ChannelResults& r = dev->results[0];
        r.elapsed_s = 1;
        r.code_errors = 3000000000u;
        r.no_input_count = 4294967295u;
        ResultFrame f(dev, 0);
        f.update_results();
        QCOMPARE(W(f, "lCode")->text(), QString("3000000000"));
        QCOMPARE(W(f, "lCodeK")->text(), QString("1.46e+03"));
        QCOMPARE(W(f, "lNoInput")->text(), QString("4294967295"));

        // A test longer than 2^31 s: the divisor product must not overflow.
        r.elapsed_s = 4000000000u;
        r.code_errors = 4096000000u;
        r.crc4_errors = 4000000000u;
        f.update_results();
        QCOMPARE(W(f, "lCodeK")->text(), QString("5.00e-07"));
        QCOMPARE(W(f, "lCRC4K")->text(), QString("1.00e-03"));
    }

    void alarmLabelsFollowBits()
    {
        ResultFrame f(dev, 0);
        const char* const names[8] = {"lPL", "lMRAI", "lRAI", "lLOCRC", "lLOMF", "lLOF", "lAIS", "lLOS"};
        QLabel* byBit[8];
        for (int bit = 0; bit < 8; ++bit)
            byBit[bit] = W(f, names[bit]);
        const QStringList texts = {"PL", "MRAI", "RAI", "LOCRC", "LOMF", "LOF", "AIS", "LOS"};
        for (int bit = 0; bit < 8; ++bit)
            QCOMPARE(byBit[bit]->text(), texts[bit]);
        for (quint8 alarms : {quint8(0xA5), quint8(0x5A), quint8(0xFF), quint8(0x00)}) {
            dev->results[0].alarms = alarms;
            f.update_results();
            for (int bit = 0; bit < 8; ++bit)
                QCOMPARE(byBit[bit]->styleSheet(),
                         QString((alarms >> bit) & 1 ? "color: rgb(255, 0, 0);" : ""));
        }
    }

    void jitterAndStatistics()
    {
        dev->results[0].jitter = 1.5;
        dev->results[0].jitter_hf = 0.126;
        dev->results[0].ais_count = 12;
        dev->results[0].lof_count = 13;
        dev->results[1].jitter = 7.0;
        dev->results[1].no_input_count = 21;
        ResultFrame a(dev, 0), b(dev, 1);
        a.update_results();
        b.update_results();
        QCOMPARE(W(a, "lJitter")->text(), QString("1.50"));
        QCOMPARE(W(a, "lJitterHF")->text(), QString("0.13"));
        QCOMPARE(W(a, "lSIASInput")->text(), QString("12"));
        QCOMPARE(W(a, "lLostOfLoop")->text(), QString("13"));
        QCOMPARE(W(b, "lNoInput")->text(), QString("21"));
        QCOMPARE(W(b, "lJitter")->text(), QString("00.00"));
    }

    void g821Figures()
    {
        ChannelResults& r = dev->results[0];
        r.elapsed_s = 100;
        r.available_s = 90;
        r.errored_s = 9;
        r.severely_errored_s = 3;
        r.bbe = 45;
        ResultFrame f(dev, 0);
        f.update_results(); // refreshes the hidden window too
        G821Form& g = *f.g821();
        QCOMPARE(W(g, "lUAS")->text(), QString("10"));
        QCOMPARE(W(g, "lUASpc")->text(), QString("10.00"));
        QCOMPARE(W(g, "lAS")->text(), QString("90"));
        QCOMPARE(W(g, "lASpc")->text(), QString("90.00"));
        QCOMPARE(W(g, "lES")->text(), QString("9"));
        QCOMPARE(W(g, "lESpc")->text(), QString("10.00"));
        QCOMPARE(W(g, "lSES")->text(), QString("3"));
        QCOMPARE(W(g, "lSESpc")->text(), QString("3.33"));
        QCOMPARE(W(g, "lES_2")->text(), QString("9"));
        QCOMPARE(W(g, "lESR")->text(), QString("1.00e-01"));
        QCOMPARE(W(g, "lSES_2")->text(), QString("3"));
        QCOMPARE(W(g, "lSESR")->text(), QString("3.33e-02"));
        QCOMPARE(W(g, "lBBE")->text(), QString("45"));
        QCOMPARE(W(g, "lBBER")->text(), QString("5.00e-01"));
        QCOMPARE(W(g, "lAS_2")->text(), QString("90"));
        QCOMPARE(W(g, "lASR")->text(), QString("9.00e-01"));
        QCOMPARE(W(g, "lUS")->text(), QString("10"));
        QCOMPARE(W(g, "lUSR")->text(), QString("1.00e-01"));
        // Rows without a source keep their first texts.
        QCOMPARE(W(g, "lDM")->text(), QString("0"));
        QCOMPARE(W(g, "lDMpc")->text(), QString("0.00"));
        QCOMPARE(W(g, "lAM")->text(), QString("0"));
    }

    void g821AllUnavailable()
    {
        ChannelResults& r = dev->results[1];
        r.elapsed_s = 60;
        r.available_s = 0;
        r.errored_s = 5;
        r.severely_errored_s = 5;
        r.bbe = 5;
        G821Form g(dev, 1);
        g.update_results();
        QCOMPARE(W(g, "lUAS")->text(), QString("60"));
        QCOMPARE(W(g, "lUASpc")->text(), QString("100.00"));
        QCOMPARE(W(g, "lUSR")->text(), QString("1.00e+00"));
        QCOMPARE(W(g, "lASpc")->text(), QString("0.00"));
        QCOMPARE(W(g, "lESpc")->text(), QString("0.00"));
        QCOMPARE(W(g, "lSESpc")->text(), QString("0.00"));
        QCOMPARE(W(g, "lESR")->text(), QString("0.00e+00"));
        QCOMPARE(W(g, "lSESR")->text(), QString("0.00e+00"));
        QCOMPARE(W(g, "lBBER")->text(), QString("0.00e+00"));
    }

    void g821UnsignedCounts()
    {
        ChannelResults& r = dev->results[0];
        r.elapsed_s = 4000000000u;
        r.available_s = 3000000000u;
        r.errored_s = 1500000000u;
        G821Form g(dev, 0);
        g.update_results();
        QCOMPARE(W(g, "lUAS")->text(), QString("1000000000"));
        QCOMPARE(W(g, "lUASpc")->text(), QString("25.00"));
        QCOMPARE(W(g, "lASpc")->text(), QString("75.00"));
        QCOMPARE(W(g, "lESpc")->text(), QString("50.00"));
        // More available than elapsed seconds: the difference wraps as unsigned.
        r.elapsed_s = 0;
        r.available_s = 1;
        g.update_results();
        QCOMPARE(W(g, "lUAS")->text(), QString("4294967295"));
        QCOMPARE(W(g, "lUASpc")->text(), QString("0.00"));
    }

    void g821WindowShownOnDemand()
    {
        ResultFrame f(dev, 0);
        G821Form* g = f.g821();
        QVERIFY(g->windowFlags().testFlag(Qt::Tool));
        QCOMPARE(g->size(), QSize(250, 250));
        QCOMPARE(g->minimumSize(), QSize(250, 250));
        QCOMPARE(g->maximumSize(), QSize(250, 250));
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(g->geometry().center().x() / 10, avail.center().x() / 10);

        W<QPushButton>(f, "bG281")->click();
        QVERIFY(g->isVisible());
        g->close(); // hides only
        QVERIFY(!g->isVisible());
        dev->results[0].elapsed_s = 10;
        dev->results[0].available_s = 5;
        f.update_results();
        W<QPushButton>(f, "bG281")->click();
        QVERIFY(g->isVisible());
        QCOMPARE(W(*g, "lUAS")->text(), QString("5"));
        W<QPushButton>(f, "bG281")->click(); // open already: stays open
        QVERIFY(g->isVisible());
    }
};

QTEST_MAIN(TestResults)
#include "tst_results.moc"
