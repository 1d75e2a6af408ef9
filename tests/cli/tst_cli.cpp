// kelm-cli run as a process against an emulated USB instrument with the
// simulated one behind it (or against its own simulator), so that the test
// sees what reached the instrument as well as the JSON, report and CSV files.

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

class TstCli : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    FakeDevice* dev = nullptr;
    SimBackend sim; // behind the emulated device, its clock at 600 times wall time
    QElapsedTimer wall;
    QTemporaryDir dir;
    QProcess cli;

    // Reads the simulated instrument under the emulated device's lock.
    template <class F>
    auto inspect(F f)
    {
        std::lock_guard<std::mutex> lock(dev->mutex);
        return f();
    }

    // Command codes the instrument received since the test function began.
    QList<int> codes()
    {
        QList<int> c;
        for (const QByteArray& f : inspect([this] { return sim.received(); }))
            c << quint8(f.at(wire::CODE_AT));
        return c;
    }

    QString pdfText(const QString& file)
    {
        QProcess p;
        p.start("pdftotext", {"-layout", file, "-"});
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput()).simplified();
    }

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        const FakeDevice::Responder through = behind(&sim);
        wall.start();
        dev = bed->add(0x10c4, 0xea61, [this, through](const QByteArray& request) {
            sim.advance(wall.elapsed() * 600 - sim.now_ms());
            return through(request);
        });
        // Bit errors inserted on channel A at 10^-5.
        Model m;
        m.common.seq_type = 2;
        m.tx[0].err_mode = 2;
        m.tx[0].err_rate_exp = 5;
        QString error;
        QVERIFY2(save_setup_file(dir.filePath("errors.json"), setup_of(m), &error), qPrintable(error));
        QFile bad(dir.filePath("bad.json"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(setup_to_json(Setup()).replace("\"frequency_offset\": 0", "\"frequency_offset\": 999"));
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

    void refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("running"); // a test runs on the instrument already
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("duration") << QStringList{"--duration", "90s"} << false << 2 << "--duration wants minutes";
        QTest::newRow("allocation") << QStringList{"--allocation", "0"} << false << 2
                                    << "--allocation wants a percentage";
        QTest::newRow("report folder") << QStringList{"--report", "/nonexistent/r.pdf"} << false << 2
                                       << "--report: cannot write";
        QTest::newRow("argument") << QStringList{"extra"} << false << 2 << "unexpected argument extra";
        QTest::newRow("setup missing") << QStringList{"--setup", "/nonexistent.json"} << false << 2
                                       << "/nonexistent.json";
        QTest::newRow("setup failing its checks") << QStringList{"--setup", dir.filePath("bad.json")} << false << 2
                                                  << "channel_a.transmitter.frequency_offset";
        QTest::newRow("no instrument") << QStringList{"--usb-id", "ffff:fffe", "--find-timeout-ms", "300"} << false << 3
                                       << "no instrument found within 0.3 s";
        QTest::newRow("test running") << QStringList{"--duration", "15m"} << true << 2 << "a test is already running";
    }

    // Nothing reaches the instrument but requests (identity, configurations,
    // polls), and a running test is left alone.
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, running);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (running)
            inspect([this] { return sim.instrument().startTest(), 0; });
        cli.start(KELM_CLI, args);
        QVERIFY(cli.waitForFinished(30000));
        const QString err = cli.readAllStandardError();
        QVERIFY2(cli.exitCode() == status && err.contains("kelm-cli: ") && err.contains(message), qPrintable(err));
        QCOMPARE(codes().isEmpty(), !running);
        for (int code : codes())
            QVERIFY2(code & 0x80, qPrintable(QString::number(code, 16)));
        QCOMPARE(inspect([this] { return sim.instrument().running(); }), running);
    }

    void runs_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("stop"); // 0: the test's duration ends it; else this signal, or -1: the cable is pulled
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("seconds");  // of a test that ran its duration
        QTest::addColumn<bool>("inserted"); // errors on channel A make every second of it an errored one
        QTest::addColumn<double>("esrObjective");
        QTest::newRow("pass") << QStringList{"--simulator", "--simulator-speed", "600", "--duration", "30m"} << 0 << 0
                              << "duration" << 1800 << false << 0.04;
        QTest::newRow("fail") << QStringList{"--duration", "15m", "--setup", dir.filePath("errors.json"),
                                             "--allocation", "80"}
                              << 0 << 1 << "duration" << 900 << true << 0.032;
        QTest::newRow("interrupted") << QStringList{"--duration", "1d"} << SIGINT << 128 + SIGINT << "interrupted" << 0
                                     << false << 0.04;
        // For good: the last case.
        QTest::newRow("unplugged") << QStringList{"--duration", "1d", "--link-timeout-ms", "1000"} << -1 << 4
                                   << "link_lost" << 0 << false << 0.04;
    }

    // A test ends at exactly its duration, by the instrument's own measurement
    // time; Ctrl-C stops it on the instrument; a lost link leaves it running
    // there. Every record received, from 0 on, is in the files: after a stop,
    // every record the instrument stored.
    void runs()
    {
        QFETCH(QStringList, args);
        QFETCH(int, stop);
        QFETCH(int, status);
        QFETCH(QString, end);
        QFETCH(int, seconds);
        QFETCH(bool, inserted);
        QFETCH(double, esrObjective);
        const QString prefix = dir.filePath(QTest::currentDataTag());
        cli.start(KELM_CLI, args << "--json" << "--report" << prefix + ".pdf" << "--csv" << prefix);
        if (stop) {
            // A minute into the test, and two results polls answered since the start.
            const auto polled = [this] {
                const QList<int> c = codes();
                const qsizetype start = c.lastIndexOf(cmd::START_STOP);
                return start >= 0 && c.mid(start).count(cmd::GET_RESULTS_A) >= 2;
            };
            QTRY_VERIFY_WITH_TIMEOUT(polled() && inspect([this] { return sim.instrument().elapsed_s() >= 60; }), 20000);
            if (stop < 0)
                bed->unplug(dev);
            else
                QVERIFY(::kill(pid_t(cli.processId()), stop) == 0);
        }
        QVERIFY(cli.waitForFinished(120000));
        const QJsonObject json = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
        QVERIFY2(cli.exitCode() == status, cli.readAllStandardError().constData());
        QCOMPARE(json["end"].toString(), end);
        const auto records = read(prefix + "_records.csv"), results = read(prefix + "_results.csv");
        QVERIFY(!records.isEmpty() && results.size() == 2);
        QCOMPARE(json["records"].toInt(), records.size());
        if (!stop) {
            QCOMPARE(json["elapsed_s"].toInt(), seconds);
            QCOMPARE(records.size(), seconds / 10 + 1);
        } else {
            const SimInstrument inst = inspect([this] { return sim.instrument(); });
            QCOMPARE(inst.running(), stop < 0);
            if (stop > 0)
                QCOMPARE(records.size(), inst.storedRecords());
        }
        QStringList verdicts;
        for (int ch = 0; ch < 2; ++ch) {
            const QJsonObject c = json["channels"][ch].toObject();
            const QString bits = QString::number(c["errors"]["bit"]["count"].toInt());
            QCOMPARE(results[ch]["bit_errors"], bits);
            if (stop >= 0) // all fetched: the last record holds the final counts
                QCOMPARE(records.last()[ch ? "b_bit" : "a_bit"], bits);
            QCOMPARE(results[ch]["elapsed_s"], QString::number(c["elapsed_s"].toInt()));
            QVERIFY(c["elapsed_s"].toInt() > 0);
            QCOMPARE(results[ch]["verdict"], c["verdicts"]["overall"].toString());
            QCOMPARE(c["verdicts"]["g826_esr"]["objective"].toDouble(), esrObjective);
            if (inserted && ch == 0)
                QCOMPARE(c["errored_s"].toInt(), seconds);
            for (const QJsonValue v : c["verdicts"].toObject())
                verdicts << (v.isString() ? v.toString() : v["verdict"].toString());
        }

        // The report has a verdict row for each, and a table line for each record.
        const QString report = pdfText(prefix + ".pdf");
        QVERIFY2(report.contains("Соответствие нормам Канал B")
                     && report.contains(QString("G.826 ESR ≤ %1 ").arg(esrObjective, 0, 'e', 2)),
                 qPrintable(report));
        QCOMPARE(report.count("Норма"), verdicts.count("pass"));
        QCOMPARE(report.count("Не норма"), verdicts.count("fail"));
        QCOMPARE(pdfText(prefix + "_table.pdf").count(QRegularExpression("00 00:\\d\\d:\\d0 ")), records.size());
    }
};

QTEST_MAIN(TstCli)
#include "tst_cli.moc"
