// The shipped programs, each run as a process of its own against an emulated
// instrument: they must choose the USB backend themselves, find the
// instrument and talk to it. Checked from the instrument's side.

#include "tests/support/fakeusb.h"

#include "simulator/simbackend.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TstPrograms : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    QTemporaryDir dir;
    QList<FakeDevice*> plugged;
    std::vector<std::unique_ptr<SimBackend>> sims; // outlive their devices

    // An emulated instrument with the simulated one behind it.
    FakeDevice* plug(int pid, SimBackend** sim)
    {
        sims.push_back(std::make_unique<SimBackend>());
        *sim = sims.back().get();
        plugged << bed->add(0x10c4, quint16(pid), behind(*sim));
        return plugged.back();
    }

    // Runs `kelm-updater <args> FILE1 FILE2 --start` with files holding `q` and `r`.
    void update(QProcess& p, const QStringList& args, const QByteArray& q, const QByteArray& r)
    {
        QStringList files;
        for (const QByteArray& data : {q, r}) {
            QFile f(dir.filePath(QString("update.kt%1").arg(files.size() + 2)));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
            files << f.fileName();
        }
        p.start(KELM_UPDATER, args + files + QStringList{"--start"});
        QVERIFY(p.waitForFinished(30000));
    }

    void ids()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("pid");
        QTest::newRow("default id") << QStringList() << 0xea61;
        QTest::newRow("--usb-id") << QStringList{"--usb-id", "10c4:8a5e"} << 0x8a5e;
    }

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
    }

    // Also after a failure: a device left behind would make two.
    void cleanup()
    {
        for (FakeDevice* d : plugged)
            bed->unplug(d);
        plugged.clear();
        sims.clear();
    }

    void cleanupTestCase() { delete bed; }

    void usageErrors_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        for (const QString program : {KELM_REMOTE, KELM_UPDATER}) {
            const QString name = QFileInfo(program).fileName();
            QTest::addRow("%s malformed id", qPrintable(name))
                << program << QStringList{"--usb-id", "10c4-ea61"} << "--usb-id wants VID:PID in hex, e.g. 10c4:ea61";
            QTest::addRow("%s speed 0", qPrintable(name))
                << program << QStringList{"--simulator", "--simulator-speed", "0"}
                << "--simulator-speed wants a number N, 0 < N <= 10000";
            QTest::addRow("%s unknown option", qPrintable(name))
                << program << QStringList{"--usb"} << "Unknown option 'usb'.";
        }
        QTest::newRow("one update file") << QString(KELM_UPDATER) << QStringList{"a.kt2", "--start"}
                                         << "give both update files";
    }

    void usageErrors()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        QProcess p;
        p.start(program, args);
        QVERIFY(p.waitForFinished(10000));
        const QString err = p.readAllStandardError();
        QVERIFY2(err.contains(QFileInfo(program).fileName() + ": " + message), qPrintable(err));
        QCOMPARE(p.exitCode(), 2);
    }

    void remoteIdentifiesAndAsksForConfigurations_data() { ids(); }
    void remoteIdentifiesAndAsksForConfigurations()
    {
        QFETCH(QStringList, args);
        QFETCH(int, pid);
        SimBackend* sim = nullptr;
        FakeDevice* dev = plug(pid, &sim);
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(KELM_REMOTE, args);
        const auto codes = [&] {
            std::lock_guard<std::mutex> lock(dev->mutex);
            QList<int> c;
            for (const QByteArray& frame : sim->received())
                c << (frame.size() > 2 ? quint8(frame.at(2)) : -1);
            return c;
        };
        // Identity first, then both channels' configurations.
        QTRY_VERIFY_WITH_TIMEOUT(codes().mid(0, 3) == (QList<int>{0x8A, 0x88, 0xC8}), 15000);
    }

    void updaterUpdatesInstrument_data() { ids(); }
    void updaterUpdatesInstrument()
    {
        QFETCH(QStringList, args);
        QFETCH(int, pid);
        const QByteArray q(245, 'q'), r(61, 'r');
        SimBackend* sim = nullptr;
        FakeDevice* dev = plug(pid, &sim);
        QProcess p;
        update(p, args, q, r);
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, p.readAllStandardError().constData());
        {
            std::lock_guard<std::mutex> lock(dev->mutex);
            const UpdatePeer& peer = sim->updatePeer();
            QVERIFY(peer.finished() && peer.rejected() == 0);
            QCOMPARE(peer.sectionQ(), q.chopped(1)); // a file's last byte is never sent
            QCOMPARE(peer.sectionR(), r.chopped(1));
        }
    }

    void updaterReportsRefusedUpdate()
    {
        // Takes the update request, refuses the first section.
        plugged << bed->add(0x10c4, 0xea61, [](const QByteArray& r) { return r.startsWith('\xA3') ? r : "E"; });
        QProcess p;
        update(p, {}, "data1", "data2");
        QCOMPARE(p.exitCode(), 1);
        const QString err = p.readAllStandardError();
        QVERIFY2(err.contains(QString::fromUtf8("kelm-updater: Прибор прервал обновление (ответ 0x45).")), qPrintable(err));
    }
};

QTEST_MAIN(TstPrograms)
#include "tst_programs.moc"
