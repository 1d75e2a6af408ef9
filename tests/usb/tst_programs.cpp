// The shipped programs, each run as a process of its own against an emulated
// instrument: they must choose the USB backend themselves, find the
// instrument and talk to it. Checked from the instrument's side.

#include "tests/support/fakeusb.h"

#include "simulator/simbackend.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <list>

class TstPrograms : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    FakeDevice* dev = nullptr;
    std::list<SimBackend> sims; // outlive their devices
    QTemporaryDir dir;

    // An emulated instrument with the simulated one behind it, unless it answers by `r`.
    SimBackend* plug(quint16 pid, FakeDevice::Responder r = {})
    {
        SimBackend* sim = &sims.emplace_back();
        dev = bed->add(0x10c4, pid, r ? r : behind(sim));
        return sim;
    }

    // What the instrument behind the device has seen, under its lock.
    template <class F>
    auto inspect(F f)
    {
        std::lock_guard<std::mutex> lock(dev->mutex);
        return f();
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
        if (dev)
            bed->unplug(dev);
    }

    void cleanupTestCase() { delete bed; }

    // Identity first, then both channels' configurations.
    void remoteIdentifiesAndAsksForConfigurations()
    {
        SimBackend* sim = plug(0xea61);
        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(KELM_REMOTE);
        const auto codes = [&] {
            QList<int> c;
            for (const QByteArray& frame : inspect([&] { return sim->received(); }))
                c << (frame.size() > 2 ? quint8(frame.at(2)) : -1);
            return c;
        };
        QTRY_VERIFY_WITH_TIMEOUT(codes().mid(0, 3) == (QList<int>{0x8A, 0x88, 0xC8}), 15000);
    }

    void updater_data()
    {
        QTest::addColumn<QStringList>("args"); // Q and R stand for the two update files
        QTest::addColumn<int>("pid");          // of the instrument plugged in
        QTest::addColumn<bool>("refuses");     // it takes the update request, refuses the first section
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("update") << QStringList{"--usb-id", "10c4:8a5e", "Q", "R", "--start"} << 0x8a5e << false << 0
                                << QString();
        QTest::newRow("refused") << QStringList{"Q", "R", "--start"} << 0xea61 << true << 1
                                 << QString::fromUtf8("kelm-updater: Прибор прервал обновление (ответ 0x45).");
        QTest::newRow("one update file") << QStringList{"Q", "--start"} << 0xea61 << false << 2
                                         << "kelm-updater: give both update files";
        QTest::newRow("malformed id") << QStringList{"--usb-id", "10c4-ea61", "Q", "R", "--start"} << 0xea61 << false
                                      << 2 << "kelm-updater: --usb-id wants VID:PID in hex, e.g. 10c4:ea61";
    }

    // `kelm-updater ... --start`: what the instrument took, or why not.
    void updater()
    {
        QFETCH(QStringList, args);
        QFETCH(int, pid);
        QFETCH(bool, refuses);
        QFETCH(int, status);
        QFETCH(QString, message);
        const QByteArray q(245, 'q'), r(61, 'r');
        for (const QByteArray& data : {q, r}) {
            QFile f(dir.filePath(QString(data.left(1))));
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(data) == data.size());
            args.replaceInStrings(QRegularExpression("^" + data.left(1).toUpper() + "$"), f.fileName());
        }
        SimBackend* sim = refuses ? plug(pid, [](const QByteArray& w) { return w.startsWith('\xA3') ? w : "E"; })
                                  : plug(quint16(pid));
        QProcess p;
        p.start(KELM_UPDATER, args);
        QVERIFY(p.waitForFinished(30000));
        const QString err = p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == status && err.contains(message),
                 qPrintable(err));
        inspect([&] {
            QCOMPARE(sim->updatePeer().finished(), status == 0);
            QCOMPARE(sim->updatePeer().rejected(), 0);
            QCOMPARE(sim->updatePeer().sectionQ(), status ? QByteArray() : q.chopped(1)); // no file's last byte
            QCOMPARE(sim->updatePeer().sectionR(), status ? QByteArray() : r.chopped(1));
        });
    }
};

QTEST_MAIN(TstPrograms)
#include "tst_programs.moc"
