// The libusb backend against emulated instruments (umockdev), and the
// --usb-id parser.

#include "fakeusb.h"
#include "libusb_backend.h"
#include "usbid.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <unistd.h>

using namespace usb;

namespace {

const QByteArray identityRequest = QByteArray::fromHex("a5028ace");

QByteArray pattern(int n, char seed)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(seed + i));
    return b;
}

} // namespace

class TestLibusb : public QObject {
    Q_OBJECT

private:
    FakeBed* bed = nullptr;
    LibusbBackend* be = nullptr;
    QList<FakeDevice*> plugged;

    FakeDevice* plug(quint16 vid = 0x10c4, quint16 pid = 0xea61)
    {
        FakeDevice* d = bed->add(vid, pid);
        plugged << d;
        return d;
    }

    void unplug(FakeDevice* d)
    {
        plugged.removeAll(d);
        bed->unplug(d);
    }

    quint32 count(Backend* b)
    {
        quint32 n = 12345;
        const quint32 st = b->getNumDevices(&n);
        return st == SUCCESS ? n : 1000 + st;
    }

    // Polls the receive queue (each look is non-blocking) until something
    // waits or two seconds pass, and reads what the first non-empty look
    // reported, as the device link does.
    QByteArray reply(Handle h, quint32* status = nullptr)
    {
        QElapsedTimer t;
        t.start();
        quint32 n = 0, qs = 0, st = SUCCESS;
        while ((st = be->checkRXQueue(h, &n, &qs)) == SUCCESS && n == 0 && t.elapsed() < 2000)
            QTest::qWait(2);
        if (status)
            *status = st;
        if (st != SUCCESS || n == 0)
            return QByteArray();
        if (qs != 2)
            return "queue status " + QByteArray::number(qs);
        QByteArray buf(int(n), 0);
        quint32 got = 0;
        st = be->read(h, buf.data(), n, &got);
        if (status)
            *status = st;
        return st == SUCCESS ? buf.left(int(got)) : QByteArray();
    }

    QString deviceString(quint32 index, quint32 option, quint32* st)
    {
        char buf[256];
        std::memset(buf, 'x', sizeof buf);
        *st = be->getDeviceString(index, buf, option);
        return *st == SUCCESS ? QString::fromLatin1(buf) : QString();
    }

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        // Something else on the bus from the start (libusb also wants a usbfs
        // that is not empty when it starts).
        plug(0x1d6b, 0x0002);
        be = new LibusbBackend;
        QVERIFY(be->isReady());
        QCOMPARE(be->vendorId(), quint16(0x10c4));
        QCOMPARE(be->productId(), quint16(0xea61));
    }

    void cleanup()
    {
        // Leave the bus as initTestCase made it.
        for (FakeDevice* d : QList<FakeDevice*>(plugged))
            if (d->vid == 0x10c4)
                unplug(d);
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
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("vid");
        QTest::addColumn<int>("pid");
        QTest::newRow("default") << "10c4:ea61" << true << 0x10c4 << 0xea61;
        QTest::newRow("upper case, 0x, blanks") << " 0x10C4:0XEA61 " << true << 0x10c4 << 0xea61;
        QTest::newRow("short") << "1:ff" << true << 0x1 << 0xff;
        QTest::newRow("no colon") << "10c4ea61" << false << 0 << 0;
        QTest::newRow("three parts") << "10c4:ea61:1" << false << 0 << 0;
        QTest::newRow("empty vid") << ":ea61" << false << 0 << 0;
        QTest::newRow("empty pid") << "10c4:" << false << 0 << 0;
        QTest::newRow("too long") << "10c40:ea61" << false << 0 << 0;
        QTest::newRow("not hex") << "10g4:ea61" << false << 0 << 0;
        QTest::newRow("sign") << "+10c:ea61" << false << 0 << 0;
        QTest::newRow("bare 0x") << "0x:ea61" << false << 0 << 0;
        QTest::newRow("empty") << "" << false << 0 << 0;
    }

    void parseUsbId()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(int, vid);
        QFETCH(int, pid);
        quint16 v = 0x7777, p = 0x7777;
        QCOMPARE(usb::parseUsbId(text, &v, &p), ok);
        QCOMPARE(int(v), ok ? vid : 0x7777);
        QCOMPARE(int(p), ok ? pid : 0x7777);
    }

    void enumeratesOnlyItsId()
    {
        QCOMPARE(count(be), 0u); // the 1d6b:0002 device is not ours
        quint32 st = 0;
        QCOMPARE(deviceString(0, 2, &st), QString());
        QCOMPARE(st, quint32(DEVICE_NOT_FOUND));
        Handle h = reinterpret_cast<Handle>(1);
        QCOMPARE(be->open(0, &h), quint32(DEVICE_NOT_FOUND));
        QCOMPARE(h, Handle(nullptr));
        QVERIFY(QString::fromStdString(be->lastOpenError()).contains("10c4:ea61"));

        FakeDevice* d = plug();
        QTRY_COMPARE(count(be), 1u);
        QCOMPARE(deviceString(0, 3, &st), QString("10c4"));
        QCOMPARE(deviceString(0, 4, &st), QString("ea61"));
        QCOMPARE(deviceString(0, 2, &st), QString::asprintf("10c4:ea61 bus 001 address %03d", d->address));
        QCOMPARE(deviceString(1, 2, &st), QString());
        QCOMPARE(st, quint32(DEVICE_NOT_FOUND));

        // Another id chooses other devices.
        LibusbBackend other(0x1d6b, 0x0002);
        QTRY_COMPARE(count(&other), 1u);
        LibusbBackend none(0x1234, 0x5678);
        QCOMPARE(count(&none), 0u);
    }

    void requestAnsweredThroughQueue()
    {
        FakeDevice* d = plug();
        const QByteArray identity = instrumentFrame(0x8A, QByteArray::fromHex("0a01"));
        d->setResponder([&](const QByteArray& req) {
            if (req == identityRequest)
                return identity;
            if (req.startsWith("long"))
                return pattern(150, 'a');
            if (req.startsWith("packet"))
                return pattern(64, 'A');
            return QByteArray();
        });
        QTRY_COMPARE(count(be), 1u);

        Handle h = nullptr;
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        QVERIFY(h);
        QVERIFY(be->lastOpenError().empty());
        QCOMPARE(d->claims(), 1);
        QCOMPARE(d->inFlightIn(), 4); // receive transfers wait from the start

        // Nothing sent yet: the queue is empty, and looking does not wait.
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 50; ++i) {
            quint32 n = 99, qs = 99;
            QCOMPARE(be->checkRXQueue(h, &n, &qs), quint32(SUCCESS));
            QCOMPARE(n, 0u);
            QCOMPARE(qs, 0u);
        }
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));

        QCOMPARE(be->beforeWrite(h, 0, 0), quint32(SUCCESS));
        quint32 written = 0;
        QCOMPARE(be->write(h, identityRequest.constData(), 4, &written), quint32(SUCCESS));
        QCOMPARE(written, 4u);
        QCOMPARE(d->writes(), QList<QByteArray>{identityRequest});
        QCOMPARE(reply(h), identity);
        quint32 n = 99;
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(SUCCESS));
        QCOMPARE(n, 0u);

        // A reply of several packets is there whole at the first look; one of
        // exactly a full packet is not held back.
        QCOMPARE(be->write(h, "long", 4, &written), quint32(SUCCESS));
        QCOMPARE(reply(h), pattern(150, 'a'));
        QCOMPARE(be->write(h, "packet", 6, &written), quint32(SUCCESS));
        QCOMPARE(reply(h), pattern(64, 'A'));

        // A short read leaves the rest waiting; a read never waits for more.
        QCOMPARE(be->write(h, identityRequest.constData(), 4, &written), quint32(SUCCESS));
        QTRY_VERIFY([&] { quint32 k = 0; be->checkRXQueue(h, &k, nullptr); return k == 6; }());
        char part[16] = {};
        quint32 got = 0;
        QCOMPARE(be->read(h, part, 2, &got), quint32(SUCCESS));
        QCOMPARE(QByteArray(part, int(got)), identity.left(2));
        QCOMPARE(be->read(h, part, 16, &got), quint32(SUCCESS));
        QCOMPARE(QByteArray(part, int(got)), identity.mid(2));
        QCOMPARE(be->read(h, part, 16, &got), quint32(SUCCESS));
        QCOMPARE(got, 0u);

        // Closing gives back the receive transfer and the interface.
        QCOMPARE(be->close(h), quint32(SUCCESS));
        QCOMPARE(d->inFlightIn(), 0);
        QCOMPARE(d->releases(), 1);
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(INVALID_HANDLE));
        QCOMPARE(be->close(h), quint32(INVALID_HANDLE));

        // And the device opens again afterwards.
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        QCOMPARE(be->write(h, identityRequest.constData(), 4, &written), quint32(SUCCESS));
        QCOMPARE(reply(h), identity);
        QCOMPARE(be->close(h), quint32(SUCCESS));
    }

    void twoDevicesPresent()
    {
        FakeDevice* a = plug();
        FakeDevice* b = plug();
        a->setResponder([](const QByteArray& r) { return "A:" + r; });
        b->setResponder([](const QByteArray& r) { return "B:" + r; });
        QTRY_COMPARE(count(be), 2u);

        Handle h0 = nullptr, h1 = nullptr;
        QCOMPARE(be->open(0, &h0), quint32(SUCCESS));
        QCOMPARE(be->open(1, &h1), quint32(SUCCESS));
        QVERIFY(h0 && h1 && h0 != h1);
        quint32 st = 0;
        const QString s0 = deviceString(0, 2, &st);
        const QString s1 = deviceString(1, 2, &st);
        QVERIFY(!s0.isEmpty() && !s1.isEmpty() && s0 != s1);

        quint32 written = 0;
        QCOMPARE(be->write(h0, "one", 3, &written), quint32(SUCCESS));
        QCOMPARE(be->write(h1, "two", 3, &written), quint32(SUCCESS));
        const QByteArray r0 = reply(h0);
        const QByteArray r1 = reply(h1);
        // Each handle talks to its own device, whichever index it got.
        QCOMPARE(r0.mid(2), QByteArray("one"));
        QCOMPARE(r1.mid(2), QByteArray("two"));
        FakeDevice* first = r0.startsWith("A:") ? a : b;
        FakeDevice* second = first == a ? b : a;
        QCOMPARE(r1.at(0), second == a ? 'A' : 'B');
        QCOMPARE(first->writes(), QList<QByteArray>{"one"});
        QCOMPARE(second->writes(), QList<QByteArray>{"two"});
        QCOMPARE(a->writes().size() + b->writes().size(), 2);

        QCOMPARE(be->close(h0), quint32(SUCCESS));
        QCOMPARE(be->close(h1), quint32(SUCCESS));
        QCOMPARE(a->releases() + b->releases(), 2);
    }

    void deviceVanishesMidExchange()
    {
        FakeDevice* d = plug();
        QTRY_COMPARE(count(be), 1u);
        Handle h = nullptr;
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        quint32 written = 0;
        QCOMPARE(be->write(h, identityRequest.constData(), 4, &written), quint32(SUCCESS));
        quint32 n = 99;
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(SUCCESS));
        QCOMPARE(n, 0u); // no answer (yet)

        unplug(d);
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(DEVICE_NOT_FOUND));
        QCOMPARE(n, 0u);
        char buf[8];
        QVERIFY(be->read(h, buf, 8, &n) != SUCCESS);
        QVERIFY(be->write(h, identityRequest.constData(), 4, &written) != SUCCESS);
        quint32 st = 0;
        deviceString(0, 2, &st);
        QCOMPARE(st, quint32(DEVICE_NOT_FOUND));
        QCOMPARE(be->close(h), quint32(SUCCESS));
        QTRY_COMPARE(count(be), 0u);
    }

    void presenceCheckSeesUnplug()
    {
        // The updater's way: an idle open device, checked by its device string.
        FakeDevice* d = plug();
        QTRY_COMPARE(count(be), 1u);
        Handle h = nullptr;
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        quint32 st = 99;
        QVERIFY(!deviceString(0, 2, &st).isEmpty());
        QCOMPARE(st, quint32(SUCCESS));
        unplug(d);
        deviceString(0, 2, &st);
        QCOMPARE(st, quint32(DEVICE_NOT_FOUND));
        QCOMPARE(be->close(h), quint32(SUCCESS));

        // A new instrument is found and opened again.
        FakeDevice* again = plug();
        again->setResponder([](const QByteArray& r) { return r; });
        QTRY_COMPARE(count(be), 1u);
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        quint32 written = 0;
        QCOMPARE(be->write(h, "ping", 4, &written), quint32(SUCCESS));
        QCOMPARE(reply(h), QByteArray("ping"));
        QCOMPARE(be->close(h), quint32(SUCCESS));
    }

    void openFailuresAreTold()
    {
        // No permission on the device node. (Root ignores file modes, so the
        // open is made as somebody else; that only works on a node that is a
        // plain file, which is all this part needs.)
        FakeDevice* locked = bed->add(0x10c4, 0xea61, false);
        plugged << locked;
        QTRY_COMPARE(count(be), 1u);
        QFile node(bed->nodePath(locked));
        QVERIFY(node.setPermissions(QFile::Permissions()));
        // umockdev's own socket stays reachable for that other user.
        const QStringList open = {bed->rootDir(), bed->rootDir() + "/ioctl", bed->rootDir() + "/ioctl/_default"};
        QList<QFile::Permissions> kept;
        for (const QString& path : open) {
            QFile f(path);
            kept << f.permissions();
            QVERIFY(f.setPermissions(f.permissions() | QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                     | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther));
        }
        const bool asRoot = geteuid() == 0;
        if (asRoot)
            QCOMPARE(seteuid(65534), 0);
        Handle h = nullptr;
        const quint32 st = be->open(0, &h);
        if (asRoot)
            QCOMPARE(seteuid(0), 0);
        for (int i = 0; i < open.size(); ++i)
            QFile(open[i]).setPermissions(kept[i]);
        QCOMPARE(st, quint32(DEVICE_NOT_ACCESSIBLE));
        QCOMPARE(h, Handle(nullptr));
        QString why = QString::fromStdString(be->lastOpenError());
        QVERIFY2(why.contains("found but could not be opened: permission denied") && why.contains("70-kelm.rules"),
                 qPrintable(why));
        unplug(locked);
        QTRY_COMPARE(count(be), 0u);

        // Held by another program: the claim is refused.
        FakeDevice* d = plug();
        QTRY_COMPARE(count(be), 1u);
        d->setClaimErrno(EBUSY);
        QCOMPARE(be->open(0, &h), quint32(DEVICE_NOT_ACCESSIBLE));
        QCOMPARE(h, Handle(nullptr));
        why = QString::fromStdString(be->lastOpenError());
        QVERIFY2(why.contains("found but could not be opened") && why.contains("in use by another program"),
                 qPrintable(why));
        QCOMPARE(count(be), 1u); // still there, just not ours

        // Once free, it opens and the explanation is gone.
        d->setClaimErrno(0);
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));
        QVERIFY(be->lastOpenError().empty());
        QCOMPARE(be->close(h), quint32(SUCCESS));
    }

    void receiveFlushAndBadCalls()
    {
        FakeDevice* d = plug();
        QTRY_COMPARE(count(be), 1u);
        Handle h = nullptr;
        QCOMPARE(be->open(0, &h), quint32(SUCCESS));

        // Unasked bytes: kept by the usual (h, 0, 0) call, dropped by a receive flush.
        d->pushIn("stale");
        QTRY_VERIFY([&] { quint32 k = 0; be->checkRXQueue(h, &k, nullptr); return k == 5; }());
        quint32 n = 0;
        QCOMPARE(be->beforeWrite(h, 0, 0), quint32(SUCCESS));
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(SUCCESS));
        QCOMPARE(n, 5u);
        QCOMPARE(be->beforeWrite(h, 0, 1), quint32(SUCCESS));
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(SUCCESS));
        QCOMPARE(n, 0u);

        // Bad arguments never reach the device.
        char buf[8];
        quint32 k = 0;
        Handle bogus = reinterpret_cast<Handle>(&k);
        QCOMPARE(be->write(bogus, "x", 1, &k), quint32(INVALID_HANDLE));
        QCOMPARE(be->read(nullptr, buf, 1, &k), quint32(INVALID_HANDLE));
        QCOMPARE(be->checkRXQueue(bogus, &k, nullptr), quint32(INVALID_HANDLE));
        QCOMPARE(be->beforeWrite(bogus, 0, 0), quint32(INVALID_HANDLE));
        QCOMPARE(be->close(bogus), quint32(INVALID_HANDLE));
        QCOMPARE(be->write(h, nullptr, 1, &k), quint32(INVALID_PARAMETER));
        QCOMPARE(be->write(h, "x", 0, &k), quint32(INVALID_REQUEST_LENGTH));
        QCOMPARE(be->write(h, buf, LibusbBackend::MAX_TRANSFER + 1, &k), quint32(INVALID_REQUEST_LENGTH));
        QCOMPARE(be->read(h, nullptr, 1, &k), quint32(INVALID_PARAMETER));
        QCOMPARE(be->read(h, buf, 0, &k), quint32(INVALID_REQUEST_LENGTH));
        QCOMPARE(be->checkRXQueue(h, nullptr, nullptr), quint32(INVALID_PARAMETER));
        QCOMPARE(be->getNumDevices(nullptr), quint32(INVALID_PARAMETER));
        QCOMPARE(be->getDeviceString(0, nullptr, 2), quint32(INVALID_PARAMETER));
        QCOMPARE(be->open(0, nullptr), quint32(INVALID_PARAMETER));
        QCOMPARE(d->writes().size(), 0);
        QCOMPARE(be->close(h), quint32(SUCCESS));
    }
};

QTEST_GUILESS_MAIN(TestLibusb)
#include "tst_libusb.moc"
