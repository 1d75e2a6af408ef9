// The libusb backend against emulated instruments (umockdev): why an open
// fails, a transfer, and a device that vanishes.

#include "tests/support/fakeusb.h"

#include "usb/libusb_backend.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <unistd.h>

using namespace usb;

class TstLibusb : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    LibusbBackend* be = nullptr;

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        be = new LibusbBackend;
        QVERIFY(be->isReady());
    }

    void cleanupTestCase()
    {
        delete be; // libusb goes before its testbed
        delete bed;
    }

    // Why an open failed, in words for the user: nothing attached, or an
    // instrument the user may not open. Root ignores file modes, so that open
    // is made as somebody else, who must still reach umockdev's own socket; a
    // node that is a plain file is all this needs.
    void openErrors()
    {
        Handle h = nullptr;
        QCOMPARE(be->open(0, &h), quint32(DEVICE_NOT_FOUND));
        QCOMPARE(be->lastOpenError(), std::string("No instrument (USB 10c4:ea61) is attached."));
        const QString root = qEnvironmentVariable("UMOCKDEV_DIR");
        FakeDevice* locked = bed->add(0x10c4, 0xea61, {}, false);
        QVERIFY(QFile::setPermissions(root + locked->devNode, QFile::Permissions()));
        QTRY_COMPARE(instruments(be), 1u);
        const QStringList open = {root, root + "/ioctl", root + "/ioctl/_default"};
        QList<QFile::Permissions> kept;
        for (const QString& path : open) {
            kept << QFile::permissions(path);
            QVERIFY(QFile::setPermissions(path, kept.back() | QFile::ExeGroup | QFile::ReadGroup | QFile::WriteGroup
                                                    | QFile::ExeOther | QFile::ReadOther | QFile::WriteOther));
        }
        const bool asRoot = geteuid() == 0;
        QVERIFY(!asRoot || seteuid(65534) == 0);
        const quint32 st = be->open(0, &h);
        QVERIFY(!asRoot || seteuid(0) == 0);
        for (int i = 0; i < open.size(); ++i)
            QFile::setPermissions(open[i], kept[i]);
        bed->unplug(locked);
        QVERIFY(st == DEVICE_NOT_ACCESSIBLE && h == nullptr);
        const QString why = QString::fromStdString(be->lastOpenError());
        QVERIFY2(why.endsWith("found but could not be opened: permission denied. Install the udev rule 70-kelm.rules, "
                              "then unplug and plug in the instrument."), qPrintable(why));
    }

    // Looking at an empty queue does not wait; a reply of several packets is
    // there whole at the first look that shows it. Once the device has gone,
    // every call on its handle but close says so.
    void transferAndVanish()
    {
        QTRY_COMPARE(instruments(be), 0u);
        FakeDevice* d = bed->add(0x10c4, 0xea61, [](const QByteArray& r) { return r + QByteArray(150, 'L'); });
        QTRY_COMPARE(instruments(be), 1u);
        Handle h = nullptr;
        quint32 n = 99, qs = 99;
        QVERIFY(be->open(0, &h) == SUCCESS);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 50; ++i)
            QVERIFY(be->checkRXQueue(h, &n, &qs) == SUCCESS && n == 0 && qs == 0);
        QVERIFY(t.elapsed() < 1000);
        QVERIFY(be->beforeWrite(h, 0, 0) == SUCCESS && be->write(h, "ping", 4, &n) == SUCCESS && n == 4);
        QTRY_VERIFY(be->checkRXQueue(h, &n, &qs) == SUCCESS && n > 0);
        QByteArray reply(256, 0);
        QVERIFY(qs == 2 && be->read(h, reply.data(), n, &n) == SUCCESS);
        QCOMPARE(reply.left(int(n)), "ping" + QByteArray(150, 'L'));

        bed->unplug(d);
        QCOMPARE(be->checkRXQueue(h, &n, nullptr), quint32(DEVICE_NOT_FOUND));
        QVERIFY(be->read(h, reply.data(), 8, &n) != SUCCESS && be->write(h, "ping", 4, &n) != SUCCESS);
        QCOMPARE(be->getDeviceString(0, reply.data(), 2), quint32(DEVICE_NOT_FOUND)); // the updater's presence check
        QCOMPARE(be->close(h), quint32(SUCCESS));
    }
};

QTEST_MAIN(TstLibusb)
#include "tst_libusb.moc"
