// Both programs over the libusb backend and an emulated instrument: the
// device link identifies the instrument and notices it vanish, and the
// updater sends a pair of update files.

#include "fakeusb.h"
#include "libusb_backend.h"

#include "device.h"
#ifdef KELM_HAVE_UPDATER
#include "mainwidget.h"
#endif

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// The instrument's frame: A5, length, code, payload, inverted-sum checksum.
QByteArray instrumentFrame(quint8 code, const QByteArray& payload)
{
    QByteArray f = QByteArray(1, char(0xA5)) + char(payload.size() + 2) + char(code) + payload;
    quint8 sum = 0;
    for (char c : f)
        sum = quint8(sum + quint8(c));
    return f + char(~sum);
}

// The remote program's side of the instrument: identity and channel-A
// configuration are answered, anything else is left unanswered.
QByteArray instrument(const QByteArray& req)
{
    if (req.size() < 4 || quint8(req[0]) != 0xA5)
        return QByteArray();
    switch (quint8(req[2])) {
    case 0x8A:
        return instrumentFrame(0x8A, QByteArray::fromHex("0a03")); // KELM-E1+, version 3
    case 0x88:
        return instrumentFrame(0x88, QByteArray(53, '\0'));
    default:
        return QByteArray();
    }
}

quint32 instruments()
{
    quint32 n = 0;
    return usb::backend()->getNumDevices(&n) == usb::SUCCESS ? n : 1000;
}

} // namespace

class TestRoundTrip : public QObject {
    Q_OBJECT

    FakeBed* bed = nullptr;
    QStringList warnings;

private slots:
    void initTestCase()
    {
        bed = new FakeBed;
        QVERIFY2(bed->ok(), "needs the umockdev preload: run under umockdev-wrapper");
        bed->add(0x1d6b, 0x0002); // libusb wants a usbfs that is not empty
        usb::setBackend(std::make_unique<usb::LibusbBackend>());
        Device::warning_box = [this](const QString& text) { warnings << text; };
    }

    void cleanupTestCase()
    {
        usb::setBackend(nullptr); // libusb goes before its testbed
        delete bed;
    }

    void deviceLinkIdentifiesAndLosesInstrument()
    {
        FakeDevice* inst = bed->add(0x10c4, 0xea61, instrument);
        QTRY_COMPARE(instruments(), 1u);
        Device dev;
        QSignalSpy conn(&dev, &Device::dev_conn);
        QSignalSpy disc(&dev, &Device::dev_disc);
        QSignalSpy cfg(&dev, &Device::cfg_rcv);
        dev.tDevScanTimeout(); // the first scan, without waiting a second for it
        QVERIFY(dev.connected);
        QTRY_COMPARE(conn.count(), 1);
        QCOMPARE(int(dev.device_id), 10);
        QCOMPARE(inst->writes().value(0), QByteArray::fromHex("a5028ace"));

        dev.get_cfg(0);
        QTRY_COMPARE(cfg.count(), 1);
        QCOMPARE(cfg.at(0).at(0).value<uchar>(), uchar(0));

        // A request the instrument never answers, and then it is pulled out.
        dev.get_cfg(1);
        QTRY_VERIFY(dev.awaiting_reply && inst->writes().contains(QByteArray::fromHex("a502c890")));
        QCOMPARE(disc.count(), 0);
        bed->unplug(inst);
        QTRY_COMPARE(disc.count(), 1);
        QVERIFY(!dev.connected && dev.scan_timer->isActive());
        QVERIFY(warnings.isEmpty());
        QTRY_COMPARE(instruments(), 0u);
    }

#ifdef KELM_HAVE_UPDATER
    void updaterSendsBothFiles()
    {
        // The instrument's update side: echo the request, acknowledge every
        // packet, and answer the end packet with something else (done).
        FakeDevice* inst = bed->add(0x10c4, 0xea61, [](const QByteArray& req) -> QByteArray {
            return req == QByteArray(1, char(0xA3)) ? req : req == "U" ? "D" : "P";
        });
        QTRY_COMPARE(instruments(), 1u);

        QStringList boxes;
        MainWidget::messageBox = [&](QWidget*, MainWidget::BoxKind, const QString&, const QString& text) {
            boxes << text;
        };
        MainWidget w;
        w.tDevScan->stop();
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        w.tDevScanTimeout(); // the presence check keeps it
        QVERIFY(w.connected);

        QByteArray file1, file2 = QByteArray::fromHex("c0ffee");
        for (int i = 0; i < 65; ++i)
            file1.append(char(i * 7));
        w.file1Data = file1;
        w.file2Data = file2;
        w.bUpdateClicked();
        QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join('|')));
        QVERIFY(!w.connected); // the end reply ends it

        // What the instrument got, in order; the last byte of a file is never sent.
        auto packet = [](char letter, const QByteArray& data) {
            const QByteArray p = letter + QByteArray(1, char(data.size())) + data;
            return p + char(MainWidget::checksum(p));
        };
        QCOMPARE(inst->writes(), (QList<QByteArray>{QByteArray(1, char(0xA3)), "SQ", packet('Q', file1.left(60)),
                                                     packet('Q', file1.mid(60, 4)), "SR", packet('R', file2.left(2)),
                                                     "U"}));
        bed->unplug(inst);
        QTRY_COMPARE(instruments(), 0u);
    }
#endif
};

QTEST_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
