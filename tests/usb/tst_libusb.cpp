// The libusb backend against emulated instruments (umockdev), both programs
// over it with the simulated instrument behind the emulated device, and the
// --usb-id parser.

#include "tests/support/fakeusb.h"

#include "device/device.h"
#include "simulator/simbackend.h"
#include "tests/support/seam.h"
#include "updater/mainwidget.h"
#include "usb/libusb_backend.h"
#include "usb/usbid.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>

#include <unistd.h>

using namespace usb;

namespace {

// The default instrument echoes, and answers "long" with several packets.
QByteArray echo(const QByteArray& request)
{
    return request == "long" ? QByteArray(150, 'L') : request;
}

} // namespace

class TstLibusb : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    LibusbBackend* be = nullptr;
    QList<FakeDevice*> plugged;

    FakeDevice* plug(FakeDevice::Responder r = echo, bool emulated = true)
    {
        plugged << bed->add(0x10c4, 0xea61, std::move(r), emulated);
        return plugged.back();
    }

    // Writes, polls the receive queue (each look non-blocking) until something
    // waits, and reads what that look reported, as the device link does.
    QByteArray exchange(Handle h, const QByteArray& request)
    {
        quint32 n = 0, qs = 0;
        if (be->beforeWrite(h, 0, 0) || be->write(h, request.constData(), quint32(request.size()), &n))
            return "write failed";
        for (QDeadlineTimer wait(2000); be->checkRXQueue(h, &n, &qs) == SUCCESS && n == 0 && !wait.hasExpired();)
            QTest::qWait(2);
        QByteArray buf(int(n), 0);
        return n && qs == 2 && be->read(h, buf.data(), n, &n) == SUCCESS ? buf.left(int(n)) : "no reply";
    }

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        usb::setBackend(std::unique_ptr<Backend>(be = new LibusbBackend)); // also the programs' backend
        QVERIFY(be->isReady());
    }

    void cleanup()
    {
        for (FakeDevice* d : plugged)
            bed->unplug(d);
        plugged.clear();
        QTRY_COMPARE(instruments(be), 0u);
    }

    void cleanupTestCase()
    {
        usb::setBackend(nullptr); // libusb goes before its testbed
        delete bed;
    }

    void parseUsbId()
    {
        quint16 v = 0, p = 0;
        QVERIFY(usb::parseUsbId(" 0x10C4:0XEA61 ", &v, &p) && v == 0x10c4 && p == 0xea61);
        QVERIFY(usb::parseUsbId("1:ff", &v, &p) && v == 0x1 && p == 0xff);
        for (const char* bad : {"10c4ea61", "10c40:ea61", "10g4:ea61", ":ea61", "10c4:ea61:1"}) {
            QVERIFY2(!usb::parseUsbId(bad, &v, &p), bad);
            QVERIFY(v == 0x1 && p == 0xff); // untouched
        }
    }

    void enumerateOpenAndExchange()
    {
        // Only devices with the chosen id count.
        Handle h = nullptr;
        QCOMPARE(instruments(be), 0u);
        QCOMPARE(be->open(0, &h), quint32(DEVICE_NOT_FOUND));
        plug();
        QTRY_COMPARE(instruments(be), 1u);
        QCOMPARE(instruments(std::make_unique<LibusbBackend>(0x1d6b, 0x0002).get()), 1u);

        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        // Nothing sent yet: the queue is empty, and looking does not wait.
        QElapsedTimer t;
        t.start();
        quint32 n = 99, qs = 99;
        for (int i = 0; i < 50; ++i)
            QVERIFY(be->checkRXQueue(h, &n, &qs) == SUCCESS && n == 0 && qs == 0);
        QVERIFY(t.elapsed() < 1000);
        QCOMPARE(exchange(h, "ping"), QByteArray("ping"));
        QCOMPARE(exchange(h, "long"), QByteArray(150, 'L')); // several packets, whole at the first look

        QCOMPARE(be->close(h), quint32(SUCCESS));
    }

    void twoDevicesPresent()
    {
        plug([](const QByteArray& r) { return "A:" + r; });
        plug([](const QByteArray& r) { return "B:" + r; });
        QTRY_COMPARE(instruments(be), 2u);
        Handle h0 = nullptr, h1 = nullptr;
        QCOMPARE(be->open(0, &h0), quint32(SUCCESS));
        QCOMPARE(be->open(1, &h1), quint32(SUCCESS));
        // Each handle talks to its own device, whichever index it got.
        const QByteArray r0 = exchange(h0, "one");
        const QByteArray r1 = exchange(h1, "two");
        QVERIFY(r0.mid(2) == "one" && r1.mid(2) == "two" && r0.at(0) != r1.at(0));
        QCOMPARE(be->close(h0), quint32(SUCCESS));
        QCOMPARE(be->close(h1), quint32(SUCCESS));
    }

    void deviceVanishesMidExchange()
    {
        FakeDevice* d = plug({}); // answers nothing
        QTRY_COMPARE(instruments(be), 1u);
        Handle h = nullptr;
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        quint32 n = 99;
        char buf[256];
        QCOMPARE(be->write(h, "ping", 4, &n), quint32(SUCCESS));
        QVERIFY(be->checkRXQueue(h, &n, nullptr) == SUCCESS && n == 0); // no answer (yet)

        bed->unplug(d);
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(DEVICE_NOT_FOUND));
        QVERIFY(be->read(h, buf, 8, &n) != SUCCESS);
        QVERIFY(be->write(h, "ping", 4, &n) != SUCCESS);
        QCOMPARE(be->getDeviceString(0, buf, 2), quint32(DEVICE_NOT_FOUND)); // the updater's presence check
        QCOMPARE(be->close(h), quint32(SUCCESS));
    }

    void openWithoutPermission()
    {
        // Root ignores file modes, so the open is made as somebody else; that
        // only works on a node that is a plain file, which is all this needs.
        FakeDevice* locked = plug({}, false);
        QTRY_COMPARE(instruments(be), 1u);
        const QString root = qEnvironmentVariable("UMOCKDEV_DIR");
        QVERIFY(QFile::setPermissions(root + locked->devNode, QFile::Permissions()));
        // umockdev's own socket stays reachable for that other user.
        const QStringList open = {root, root + "/ioctl", root + "/ioctl/_default"};
        QList<QFile::Permissions> kept;
        for (const QString& path : open) {
            kept << QFile::permissions(path);
            QVERIFY(QFile::setPermissions(path, kept.back() | QFile::ExeGroup | QFile::ReadGroup | QFile::WriteGroup
                                                    | QFile::ExeOther | QFile::ReadOther | QFile::WriteOther));
        }
        const bool asRoot = geteuid() == 0;
        QVERIFY(!asRoot || seteuid(65534) == 0);
        Handle h = nullptr;
        const quint32 st = be->open(0, &h);
        QVERIFY(!asRoot || seteuid(0) == 0);
        for (int i = 0; i < open.size(); ++i)
            QFile::setPermissions(open[i], kept[i]);
        QCOMPARE(st, quint32(DEVICE_NOT_ACCESSIBLE));
        QCOMPARE(h, Handle(nullptr));
        const QString why = QString::fromStdString(be->lastOpenError());
        QVERIFY2(why.contains("found but could not be opened: permission denied") && why.contains("70-kelm.rules"),
                 qPrintable(why));
    }

    void deviceLinkRoundTrip()
    {
        QStringList warnings;
        Seam box(Device::warning_box, [&](const QString& text) { warnings << text; });
        SimBackend sim;
        FakeDevice* inst = plug(behind(&sim));
        QTRY_COMPARE(instruments(), 1u);
        Device dev;
        QSignalSpy disc(&dev, &Device::dev_disc);
        dev.tDevScanTimeout(); // the first scan, without waiting a second for it
        QTRY_COMPARE(dev.device_id, SimInstrument::MODEL_CODE); // its identity arrived
        dev.get_cfg(0);
        QTRY_VERIFY(dev.raw_cfg[0].startsWith(sim.instrument().config(0)));
        bed->unplug(inst);
        QTRY_COMPARE(disc.count(), 1);
        QVERIFY(!dev.connected && dev.scan_timer->isActive());
        QVERIFY(warnings.isEmpty());
    }

    void updaterRoundTrip()
    {
        SimBackend loader;
        plug(behind(&loader));
        QTRY_COMPARE(instruments(), 1u);
        QStringList boxes;
        Seam box(MainWidget::messageBox, [&](QWidget*, MainWidget::BoxKind, const QString&, const QString& t) { boxes << t; });
        MainWidget w;
        w.tDevScan->stop();
        w.tDevScanTimeout();
        w.tDevScanTimeout(); // the presence check keeps it
        QVERIFY(w.connected);
        w.file1Data = QByteArray(64, 'q') + 'z';
        w.file2Data = "abc";
        w.bUpdateClicked();
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('|')));
        QVERIFY(!w.connected); // the end reply ends it
        // Every packet checked; the last byte of a file is never sent.
        const UpdatePeer& peer = loader.updatePeer();
        QVERIFY(peer.finished() && peer.rejected() == 0);
        QCOMPARE(peer.sectionQ(), QByteArray(64, 'q'));
        QCOMPARE(peer.sectionR(), QByteArray("ab"));
    }
};

QTEST_MAIN(TstLibusb)
#include "tst_libusb.moc"
