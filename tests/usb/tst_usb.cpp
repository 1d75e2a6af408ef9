// Emulated instruments on a USB bus (umockdev) with the simulated instrument
// behind each: the libusb backend itself, and the shipped programs run as
// processes that must choose the USB backend, find the instrument and talk to it.

#include "tests/support/fakeusb.h"

#include "proto/commands.h"
#include "proto/setupfile.h"
#include "proto/wire.h"
#include "simulator/simbackend.h"
#include "tests/support/csvreader.h"
#include "usb/libusb_backend.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <list>
#include <sys/stat.h>
#include <unistd.h>

using namespace usb;

class TstUsb : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    FakeDevice* dev = nullptr;
    std::list<SimBackend> sims; // outlive their devices
    QElapsedTimer wall;
    QTemporaryDir dir;
    QProcess cli;

    // An emulated instrument with the simulated one behind it, its clock at
    // `speed` times wall time (0: still), unless it answers by `r`.
    SimBackend* plug(quint16 pid, FakeDevice::Responder r = {}, int speed = 0)
    {
        SimBackend* sim = &sims.emplace_back();
        Handle h = nullptr;
        sim->open(0, &h);
        const qint64 from = wall.elapsed();
        // On umockdev's thread, under the device's lock.
        dev = bed->add(0x10c4, pid, r ? r : [=](const QByteArray& request) {
            sim->advance((wall.elapsed() - from) * speed - sim->now_ms());
            quint32 n = 0, qs = 0;
            sim->write(h, request.constData(), quint32(request.size()), &n);
            sim->checkRXQueue(h, &n, &qs);
            QByteArray reply(int(n), '\0');
            sim->read(h, reply.data(), n, &n);
            return reply;
        });
        return sim;
    }

    // What the instrument behind the device has seen, under its lock.
    template <class F>
    auto inspect(F f)
    {
        std::lock_guard<std::mutex> lock(dev->mutex);
        return f();
    }
    QList<int> codes(SimBackend* sim)
    {
        QList<int> c;
        for (const QByteArray& f : inspect([&] { return sim->received(); }))
            c << (f.size() > wire::CODE_AT ? quint8(f.at(wire::CODE_AT)) : -1);
        return c;
    }

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        wall.start();
    }

    // Also after a failure: a device left behind would make two.
    void cleanup()
    {
        if (dev)
            bed->unplug(dev);
    }

    void cleanupTestCase() { delete bed; }

    // Why an open failed, in words for the user. Root ignores file modes, so
    // that open is made as somebody else, who must still reach umockdev's socket.
    void libusbOpenErrors()
    {
        LibusbBackend be;
        Handle h = nullptr;
        QCOMPARE(be.open(0, &h), quint32(DEVICE_NOT_FOUND));
        QCOMPARE(be.lastOpenError(), std::string("No instrument (USB 10c4:ea61) is attached."));
        const QString root = qEnvironmentVariable("UMOCKDEV_DIR");
        dev = bed->add(0x10c4, 0xea61, {}, false);
        QVERIFY(QFile::setPermissions(root + dev->devNode, QFile::Permissions()));
        QTRY_COMPARE(instruments(&be), 1u);
        const QStringList socket = {root, root + "/ioctl", root + "/ioctl/_default"};
        for (const QString& path : socket)
            QVERIFY(::chmod(qPrintable(path), 0777) == 0);
        const bool asRoot = geteuid() == 0;
        QVERIFY(!asRoot || seteuid(65534) == 0);
        const quint32 st = be.open(0, &h);
        QVERIFY(!asRoot || seteuid(0) == 0);
        QVERIFY(st == DEVICE_NOT_ACCESSIBLE && h == nullptr);
        QVERIFY2(QString::fromStdString(be.lastOpenError())
                     .endsWith("found but could not be opened: permission denied. Install the udev rule 70-kelm.rules, "
                               "then unplug and plug in the instrument."),
                 be.lastOpenError().c_str());
    }

    // Looking at an empty queue does not wait; a reply of several packets is
    // there whole at the first look that shows it. Once the device has gone,
    // every call on its handle but close says so.
    void libusbTransferAndVanish()
    {
        LibusbBackend be;
        Handle h = nullptr;
        QTRY_COMPARE(instruments(&be), 0u);
        plug(0xea61, [](const QByteArray& r) { return r + QByteArray(150, 'L'); });
        QTRY_COMPARE(instruments(&be), 1u);
        quint32 n = 99, qs = 99;
        QVERIFY(be.open(0, &h) == SUCCESS);
        const qint64 before = wall.elapsed();
        for (int i = 0; i < 50; ++i)
            QVERIFY(be.checkRXQueue(h, &n, &qs) == SUCCESS && n == 0 && qs == 0);
        QVERIFY(wall.elapsed() - before < 1000);
        QVERIFY(be.beforeWrite(h, 0, 0) == SUCCESS && be.write(h, "ping", 4, &n) == SUCCESS && n == 4);
        QTRY_VERIFY(be.checkRXQueue(h, &n, &qs) == SUCCESS && n > 0);
        QByteArray reply(256, 0);
        QVERIFY(qs == 2 && be.read(h, reply.data(), n, &n) == SUCCESS);
        QCOMPARE(reply.left(int(n)), "ping" + QByteArray(150, 'L'));

        bed->unplug(dev);
        QCOMPARE(be.checkRXQueue(h, &n, nullptr), quint32(DEVICE_NOT_FOUND));
        QVERIFY(be.read(h, reply.data(), 8, &n) != SUCCESS && be.write(h, "ping", 4, &n) != SUCCESS);
        QCOMPARE(be.getDeviceString(0, reply.data(), 2), quint32(DEVICE_NOT_FOUND)); // the updater's presence check
        QCOMPARE(be.close(h), quint32(SUCCESS));
    }

    // kelm-remote: identity first, then both channels' configurations.
    void remoteIdentifiesAndAsksForConfigurations()
    {
        SimBackend* sim = plug(0xea61);
        QProcess p;
        p.start(KELM_REMOTE);
        QTRY_VERIFY_WITH_TIMEOUT(codes(sim).mid(0, 3) == (QList<int>{0x8A, 0x88, 0xC8}), 15000);
    }

    void updater_data()
    {
        QTest::addColumn<QStringList>("args"); // besides the two update files and --start
        QTest::addColumn<int>("pid");          // of the instrument plugged in
        QTest::addColumn<int>("status");       // 1: it takes the update request, refuses the first section
        QTest::addColumn<QString>("message");
        QTest::newRow("update") << QStringList{"--usb-id", "10c4:8a5e"} << 0x8a5e << 0 << QString();
        QTest::newRow("refused") << QStringList() << 0xea61 << 1
                                 << QString::fromUtf8("kelm-updater: Прибор прервал обновление (ответ 0x45).");
        QTest::newRow("malformed id") << QStringList{"--usb-id", "10c4-ea61"} << 0xea61 << 2
                                      << "kelm-updater: --usb-id wants VID:PID in hex, e.g. 10c4:ea61";
    }

    // `kelm-updater ... --start`: what the instrument took, or why not.
    void updater()
    {
        QFETCH(QStringList, args);
        QFETCH(int, pid);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QByteArray q(245, 'q'), r(61, 'r');
        for (const QByteArray& data : {q, r}) {
            QFile f(dir.filePath(QString(data.left(1))));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
            args << f.fileName();
        }
        SimBackend* sim = status == 1 ? plug(pid, [](const QByteArray& w) { return w.startsWith('\xA3') ? w : "E"; })
                                      : plug(quint16(pid));
        QProcess p;
        p.start(KELM_UPDATER, args << "--start");
        QVERIFY(p.waitForFinished(30000));
        const QString err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == status && err.contains(message),
                 qPrintable(err));
        inspect([&] {
            QCOMPARE(sim->updatePeer().finished(), status == 0);
            QCOMPARE(sim->updatePeer().sectionQ(), status ? QByteArray() : q.chopped(1)); // no file's last byte
            QCOMPARE(sim->updatePeer().sectionR(), status ? QByteArray() : r.chopped(1));
        });
    }

    void cliRefusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("running"); // a test runs on the instrument already
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QFile bad(dir.filePath("bad.json"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(setup_to_json(Setup()).replace("\"frequency_offset\": 0", "\"frequency_offset\": 999"));
        QTest::newRow("duration") << QStringList{"--duration", "90s"} << false << 2 << "--duration wants minutes";
        QTest::newRow("report folder") << QStringList{"--report", "/nonexistent/r.pdf"} << false << 2
                                       << "--report: cannot write";
        QTest::newRow("argument") << QStringList{"extra"} << false << 2 << "unexpected argument extra";
        QTest::newRow("setup missing") << QStringList{"--setup", "/nonexistent.json"} << false << 2
                                       << "/nonexistent.json";
        QTest::newRow("setup failing its checks") << QStringList{"--setup", bad.fileName()} << false << 2
                                                  << "channel_a.transmitter.frequency_offset";
        QTest::newRow("no instrument") << QStringList{"--usb-id", "ffff:fffe", "--find-timeout-ms", "300"} << false << 3
                                       << "no instrument found within 0.3 s";
        QTest::newRow("test running") << QStringList{"--duration", "15m"} << true << 2 << "a test is already running";
    }

    // kelm-cli refusing: nothing reaches the instrument but requests
    // (identity, configurations, polls), and a running test is left alone.
    void cliRefusals()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, running);
        QFETCH(int, status);
        QFETCH(QString, message);
        SimBackend* sim = plug(0xea61, {}, 600);
        if (running)
            sim->instrument().startTest();
        cli.start(KELM_CLI, args);
        QVERIFY(cli.waitForFinished(30000));
        const QString err = cli.readAllStandardError();
        QVERIFY2(cli.exitCode() == status && err.contains("kelm-cli: ") && err.contains(message), qPrintable(err));
        for (int code : codes(sim))
            QVERIFY2(code & 0x80, qPrintable(QString::number(code, 16)));
        QCOMPARE(inspect([&] { return sim->instrument().running(); }), running);
    }

    void cliRuns_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("stop"); // 0: the test's duration ends it; else this signal, or -1: the cable is pulled
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("records"); // of a test that ran its duration: one each 10 s, and the final one
        // Bit errors inserted on channel A at 10^-5: the failing run.
        Model m;
        m.common.seq_type = 2;
        m.tx[0].err_mode = 2;
        m.tx[0].err_rate_exp = 5;
        QString error;
        QVERIFY2(save_setup_file(dir.filePath("errors.json"), setup_of(m), &error), qPrintable(error));
        QTest::newRow("pass") << QStringList{"--simulator", "--simulator-speed", "600", "--duration", "30m"} << 0 << 0
                              << "duration" << 181;
        QTest::newRow("fail") << QStringList{"--duration", "15m", "--setup", dir.filePath("errors.json")} << 0 << 1
                              << "duration" << 91;
        QTest::newRow("interrupted") << QStringList{"--duration", "1d"} << SIGINT << 128 + SIGINT << "interrupted" << 0;
        QTest::newRow("unplugged") << QStringList{"--duration", "1d", "--link-timeout-ms", "1000"} << -1 << 4
                                   << "link_lost" << 0;
    }

    // kelm-cli: a test ends at exactly its duration by the instrument's time;
    // Ctrl-C stops it there; a lost link leaves it running. Every record
    // received is in the files: after a stop, every record the instrument stored.
    void cliRuns()
    {
        QFETCH(QStringList, args);
        QFETCH(int, stop);
        QFETCH(int, status);
        QFETCH(QString, end);
        QFETCH(int, records);
        SimBackend* sim = plug(0xea61, {}, 600);
        const QString prefix = dir.filePath(QTest::currentDataTag());
        cli.start(KELM_CLI, args << "--json" << "--report" << prefix + ".pdf" << "--csv" << prefix);
        if (stop) {
            // A minute into the test, and two results polls answered since the start.
            const auto polled = [&] {
                const QList<int> c = codes(sim);
                const qsizetype start = c.lastIndexOf(cmd::START_STOP);
                return start >= 0 && c.mid(start).count(cmd::GET_RESULTS_A) >= 2;
            };
            QTRY_VERIFY_WITH_TIMEOUT(polled() && inspect([&] { return sim->instrument().elapsed_s() >= 60; }), 20000);
            if (stop < 0)
                bed->unplug(dev);
            else
                QVERIFY(::kill(pid_t(cli.processId()), stop) == 0);
        }
        QVERIFY(cli.waitForFinished(120000));
        const QJsonObject json = QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
        QVERIFY2(cli.exitCode() == status, cli.readAllStandardError().constData());
        QCOMPARE(json["end"].toString(), end);
        const SimInstrument inst = inspect([&] { return sim->instrument(); });
        QCOMPARE(inst.running(), stop < 0); // a lost link leaves the test running
        const int complete = stop < 0 ? json["records"].toInt() : stop ? inst.storedRecords() : records;
        QCOMPARE(read(prefix + "_records.csv").size(), complete);

        // The report has a verdict row for each verdict given.
        QStringList verdicts;
        for (int ch = 0; ch < 2; ++ch)
            for (const QJsonValue v : json["channels"][ch]["verdicts"].toObject())
                verdicts << (v.isString() ? v.toString() : v["verdict"].toString());
        QProcess pdf;
        pdf.start("pdftotext", {"-layout", prefix + ".pdf", "-"});
        QVERIFY(pdf.waitForFinished(60000));
        const QString report = QString::fromUtf8(pdf.readAllStandardOutput());
        QCOMPARE(report.count("Норма"), verdicts.count("pass"));
        QCOMPARE(report.count("Не норма"), verdicts.count("fail"));
    }
};

QTEST_MAIN(TstUsb)
#include "tst_usb.moc"
