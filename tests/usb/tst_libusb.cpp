// The libusb backend against emulated instruments (umockdev), and the
// --usb-id parser.

#include "fakeusb.h"

#include "libusb_backend.h"
#include "usbid.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <unistd.h>

using namespace usb;

namespace {

// Echoes what it gets; "long" is answered with several packets.
QByteArray instrument(const QByteArray& request)
{
    return request == "long" ? QByteArray(150, 'L') : request;
}

quint32 count(Backend* b)
{
    quint32 n = 0;
    return b->getNumDevices(&n) == SUCCESS ? n : 1000;
}

} // namespace

class TestLibusb : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    LibusbBackend* be = nullptr;
    QList<FakeDevice*> plugged;

    FakeDevice* plug(FakeDevice::Responder r = instrument, bool emulated = true)
    {
        plugged << bed->add(0x10c4, 0xea61, std::move(r), emulated);
        return plugged.back();
    }

    // Writes, polls the receive queue (each look non-blocking) until something
    // waits, and reads what that look reported, as the device link does.
    QByteArray exchange(Handle h, const QByteArray& request)
    {
        quint32 n = 0, qs = 0;
        if (be->beforeWrite(h, 0, 0) != SUCCESS || be->write(h, request.constData(), quint32(request.size()), &n) != SUCCESS
            || n != quint32(request.size()))
            return "write failed";
        QElapsedTimer t;
        t.start();
        while (be->checkRXQueue(h, &n, &qs) == SUCCESS && n == 0 && t.elapsed() < 2000)
            QTest::qWait(2);
        QByteArray buf(int(n), 0);
        if (n == 0 || qs != 2 || be->read(h, buf.data(), n, &n) != SUCCESS)
            return "no reply";
        return buf.left(int(n));
    }

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        // Something else on the bus from the start (libusb also wants a usbfs
        // that is not empty when it starts).
        bed->add(0x1d6b, 0x0002);
        be = new LibusbBackend;
        QVERIFY(be->isReady());
    }

    void cleanup()
    {
        for (FakeDevice* d : plugged)
            bed->unplug(d);
        plugged.clear();
        QTRY_COMPARE(count(be), 0u);
    }

    void cleanupTestCase()
    {
        delete be;
        delete bed;
    }

    void parseUsbId_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("vid"); // -1: refused
        QTest::addColumn<int>("pid");
        QTest::newRow("default") << "10c4:ea61" << 0x10c4 << 0xea61;
        QTest::newRow("upper case, 0x, blanks") << " 0x10C4:0XEA61 " << 0x10c4 << 0xea61;
        QTest::newRow("no colon") << "10c4ea61" << -1 << 0;
        QTest::newRow("too long") << "10c40:ea61" << -1 << 0;
        QTest::newRow("not hex") << "10g4:ea61" << -1 << 0;
    }

    void parseUsbId()
    {
        QFETCH(QString, text);
        QFETCH(int, vid);
        QFETCH(int, pid);
        quint16 v = 0x7777, p = 0x7777;
        QCOMPARE(usb::parseUsbId(text, &v, &p), vid >= 0);
        QCOMPARE(int(v), vid >= 0 ? vid : 0x7777); // untouched when refused
        QCOMPARE(int(p), vid >= 0 ? pid : 0x7777);
    }

    void enumerateOpenAndExchange()
    {
        // Only devices with the chosen id count.
        Handle h = nullptr;
        QCOMPARE(count(be), 0u);
        QCOMPARE(be->open(0, &h), quint32(DEVICE_NOT_FOUND));
        FakeDevice* d = plug();
        QTRY_COMPARE(count(be), 1u);
        QCOMPARE(count(std::make_unique<LibusbBackend>(0x1d6b, 0x0002).get()), 1u);
        char text[256] = {};
        QCOMPARE(be->getDeviceString(0, text, 2), quint32(SUCCESS));
        QCOMPARE(QString(text), QString::asprintf("10c4:ea61 bus 001 address %03d", d->address));
        QCOMPARE(be->getDeviceString(1, text, 2), quint32(DEVICE_NOT_FOUND));

        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        // Nothing sent yet: the queue is empty, and looking does not wait.
        QElapsedTimer t;
        t.start();
        for (quint32 i = 0, n = 99, qs = 99; i < 50; ++i)
            QVERIFY(be->checkRXQueue(h, &n, &qs) == SUCCESS && n == 0 && qs == 0);
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        const QByteArray identity = QByteArray::fromHex("a5048a0a0137");
        QCOMPARE(exchange(h, identity), identity);
        QCOMPARE(d->writes(), QList<QByteArray>{identity});
        QCOMPARE(exchange(h, "long"), QByteArray(150, 'L')); // several packets, whole at the first look

        // A short read leaves the rest waiting; a read never waits for more.
        quint32 got = 0;
        QCOMPARE(be->write(h, "abc", 3, &got), quint32(SUCCESS));
        QTRY_VERIFY(be->checkRXQueue(h, &got, nullptr) == SUCCESS && got == 3);
        char part[8] = {};
        QVERIFY(be->read(h, part, 2, &got) == SUCCESS && got == 2);
        QVERIFY(be->read(h, part + 2, 6, &got) == SUCCESS && got == 1);
        QCOMPARE(QByteArray(part), QByteArray("abc"));
        QVERIFY(be->read(h, part, 8, &got) == SUCCESS && got == 0);

        QCOMPARE(be->close(h), quint32(SUCCESS));
        QCOMPARE(be->checkRXQueue(h, &got, nullptr), quint32(INVALID_HANDLE));
    }

    void twoDevicesPresent()
    {
        FakeDevice* a = plug([](const QByteArray& r) { return "A:" + r; });
        plug([](const QByteArray& r) { return "B:" + r; });
        QTRY_COMPARE(count(be), 2u);
        Handle h0 = nullptr, h1 = nullptr;
        QCOMPARE(be->open(0, &h0), quint32(SUCCESS));
        QCOMPARE(be->open(1, &h1), quint32(SUCCESS));
        // Each handle talks to its own device, whichever index it got.
        const QByteArray r0 = exchange(h0, "one");
        const QByteArray r1 = exchange(h1, "two");
        QVERIFY(r0.mid(2) == "one" && r1.mid(2) == "two" && r0.at(0) != r1.at(0));
        QCOMPARE(a->writes(), QList<QByteArray>{r0.startsWith("A:") ? "one" : "two"});
        QCOMPARE(be->close(h0), quint32(SUCCESS));
        QCOMPARE(be->close(h1), quint32(SUCCESS));
    }

    void deviceVanishesMidExchange()
    {
        FakeDevice* d = plug([](const QByteArray&) { return QByteArray(); });
        QTRY_COMPARE(count(be), 1u);
        Handle h = nullptr;
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        quint32 n = 99;
        char buf[256];
        QCOMPARE(be->write(h, "ping", 4, &n), quint32(SUCCESS));
        QVERIFY(be->checkRXQueue(h, &n, nullptr) == SUCCESS && n == 0); // no answer (yet)

        bed->unplug(d);
        plugged.clear();
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
        QTRY_COMPARE(count(be), 1u);
        QVERIFY(QFile::setPermissions(bed->rootDir() + locked->devNode, QFile::Permissions()));
        // umockdev's own socket stays reachable for that other user.
        const QStringList open = {bed->rootDir(), bed->rootDir() + "/ioctl", bed->rootDir() + "/ioctl/_default"};
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
};

QTEST_GUILESS_MAIN(TestLibusb)
#include "tst_libusb.moc"
