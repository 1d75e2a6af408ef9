// kelm-cli against an emulated USB instrument with the simulated one behind
// it, so that the test sees what reached the instrument: nothing when the
// run is refused, the stop on Ctrl-C, and the cable pulled for a lost link.

#include "tests/support/fakeusb.h"

#include "tests/support/csvreader.h"
#include "proto/commands.h"
#include "proto/setupfile.h"
#include "proto/wire.h"
#include "simulator/simbackend.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TstCliUsb : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    FakeDevice* dev = nullptr;
    SimBackend sim;
    QElapsedTimer wall;
    QTemporaryDir dir;
    QProcess cli;

    static constexpr double SPEED = 100;

    // Reads the simulated instrument under the emulated device's lock.
    template <class F>
    auto inspect(F f)
    {
        std::lock_guard<std::mutex> lock(dev->mutex);
        return f();
    }

    QList<QByteArray> frames() { return inspect([this] { return sim.received(); }); }

    void start(const QStringList& args)
    {
        cli.start(KELM_CLI, args + QStringList{"--csv", dir.filePath("run"), "--json"});
        QVERIFY(cli.waitForStarted());
    }

    // Results requests of channel A since the last start or stop.
    int polls_since_start()
    {
        int n = 0;
        for (const QByteArray& f : frames())
            n = quint8(f.at(wire::CODE_AT)) == cmd::START_STOP ? 0 : n + (quint8(f.at(wire::CODE_AT)) == cmd::GET_RESULTS_A);
        return n;
    }

    // Until the test has run this long on the instrument.
    void runFor(quint32 seconds)
    {
        QTRY_VERIFY_WITH_TIMEOUT(inspect([&] { return sim.instrument().elapsed_s() >= seconds; }), 20000);
    }

    // The run's exit status once it has ended (-1: it has not), its JSON and standard error.
    int finished(QJsonObject* json, QByteArray* err)
    {
        if (!cli.waitForFinished(30000))
            return -1;
        *err = cli.readAllStandardError();
        *json = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
        return cli.exitCode();
    }

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        // The instrument's clock at SPEED times wall time, moved on as requests come.
        const FakeDevice::Responder through = behind(&sim);
        wall.start();
        dev = bed->add(0x10c4, 0xea61, [this, through](const QByteArray& request) {
            sim.advance(qint64(double(wall.elapsed()) * SPEED) - sim.now_ms());
            return through(request);
        });
    }

    void init()
    {
        inspect([this] { return sim.instrument().stopTest(), sim.clearReceived(), 0; });
    }

    void cleanupTestCase()
    {
        cli.kill();
        cli.waitForFinished();
        delete bed;
    }

    // Stopped on the instrument, every record it stored fetched and written.
    void interruptStopsTest()
    {
        start({"--duration", "1d", "--report", dir.filePath("r.pdf")});
        runFor(60);
        QVERIFY(::kill(pid_t(cli.processId()), SIGINT) == 0);
        QJsonObject out;
        QByteArray err;
        QVERIFY2(finished(&out, &err) == 128 + SIGINT, err.constData());
        QCOMPARE(out["end"].toString(), QString("interrupted"));
        QByteArray last_toggle;
        for (const QByteArray& f : frames())
            if (quint8(f.at(wire::CODE_AT)) == cmd::START_STOP)
                last_toggle = f;
        QVERIFY(last_toggle.size() > wire::PAYLOAD_AT);
        QCOMPARE(quint8(last_toggle.at(wire::PAYLOAD_AT)), quint8(0)); // a stop
        const auto records = read(dir.filePath("run_records.csv"));
        const SimInstrument inst = inspect([this] { return sim.instrument(); });
        QVERIFY(!inst.running());
        QCOMPARE(records.size(), inst.storedRecords());
        QCOMPARE(records.last()["a_bit"].toUInt(), inst.record(inst.storedRecords() - 1).counters[REC_BIT]);
        QVERIFY(QFileInfo(dir.filePath("r_table.pdf")).size() > 0);
    }

    // Nothing reaches the instrument: a setup that fails its checks is refused
    // before the instrument is looked for, a running test is left alone.
    void refusals_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad setup") << false << "channel_a.transmitter.frequency_offset";
        QTest::newRow("test running") << true << "a test is already running";
    }

    void refusals()
    {
        QFETCH(bool, running);
        QFETCH(QString, message);
        QStringList args{"--duration", "15m"};
        if (running) {
            inspect([this] { return sim.instrument().startTest(), 0; });
        } else {
            QFile bad(dir.filePath("bad.json"));
            QVERIFY(bad.open(QIODevice::WriteOnly));
            bad.write(setup_to_json(Setup()).replace("\"frequency_offset\": 0", "\"frequency_offset\": 999"));
            args << "--setup" << bad.fileName();
        }
        start(args);
        QJsonObject out;
        QByteArray err;
        QVERIFY2(finished(&out, &err) == 2 && err.contains(message.toUtf8()), err.constData());
        QList<int> codes;
        for (const QByteArray& f : frames())
            codes << quint8(f.at(wire::CODE_AT));
        QCOMPARE(codes.isEmpty(), !running);
        // Only requests (identity, configurations, polls), no command.
        for (int code : codes)
            QVERIFY2(code & 0x80, qPrintable(QString::number(code, 16)));
        QCOMPARE(inspect([this] { return sim.instrument().running(); }), running);
    }

    // Last: the cable stays pulled. The files still hold what was received.
    void lostLink()
    {
        start({"--duration", "1d", "--link-timeout-ms", "1000"});
        // Two results polls answered after the start: the second one with test time.
        QTRY_VERIFY_WITH_TIMEOUT(polls_since_start() >= 2, 20000);
        bed->unplug(dev);
        QJsonObject out;
        QByteArray err;
        QVERIFY2(finished(&out, &err) == 4, err.constData());
        QCOMPARE(out["end"].toString(), QString("link_lost"));
        const auto results = read(dir.filePath("run_results.csv"));
        QCOMPARE(results.size(), 2);
        QVERIFY(results[0]["elapsed_s"].toUInt() > 0);
    }
};

QTEST_MAIN(TstCliUsb)
#include "tst_cli_usb.moc"
