// The updater window against the simulated instrument: packets, the reply
// table, the reply wait, whole transfers and the faults on the way.

#include "simulator/simbackend.h"
#include "ui_mainwidget.h"
#include "tests/support/seam.h"
#include "updater/mainwidget.h"

#include <QDialogButtonBox>
#include <QTimer>
#include <QtTest>

#include <random>

namespace {

// The simulated instrument; `onPacket` may spoil a packet before it goes.
class Rig : public SimBackend {
public:
    std::function<void(QByteArray&)> onPacket;
    quint32 write(usb::Handle h, const void* data, quint32 size, quint32* written) override
    {
        QByteArray p(static_cast<const char*>(data), int(size));
        if (onPacket)
            onPacket(p);
        return SimBackend::write(h, p.constData(), quint32(p.size()), written);
    }
};

QByteArray randomData(int size, int seed)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b.append(char(i * 151 + seed * 17 + i / 7));
    return b;
}

// Faults besides a failing call: the cable pulled, pulled and noticed first by
// the scan tick, and the instrument falling silent.
const int PULL = 100, PULL_SCAN = 101, SILENT = 102;

const QString DISCONNECTED = QString::fromUtf8("Устройство отключено.");
const QString CRITICAL = QString::fromUtf8("critical Критическая ошибка: ");

} // namespace

class TstMainWidget : public QObject {
    Q_OBJECT

    QStringList boxes; // "<kind> <title>: <text>"
    std::function<void()> onBox;
    std::function<void()> onClock; // runs at every clock reading, i.e. inside each reply wait
    Rig* sim = nullptr;

    // A window connected to the simulated instrument, with both files.
    void connectWithFiles(MainWidget& w, const QByteArray& f1, const QByteArray& f2)
    {
        w.tDevScan->stop();
        w.file1Data = f1;
        w.file2Data = f2;
        w.tDevScanTimeout();
        QVERIFY(w.connected && w.ui->bUpdate->isEnabled());
    }

private slots:
    void init()
    {
        boxes.clear();
        onBox = onClock = nullptr;
        // Boxes are recorded, never shown: nothing in these tests can block.
        MainWidget::messageBox = [this](QWidget*, MainWidget::BoxKind kind, const QString& title, const QString& text) {
            boxes << (kind == MainWidget::BoxKind::Warning ? "warning " : "critical ") + title + ": " + text;
            if (onBox)
                onBox();
        };
        usb::setBackend(std::unique_ptr<Rig>(sim = new Rig));
        // The clock moves 40 ms at each reading: before the first look at the queue and after each.
        MainWidget::clockMs = [this] {
            sim->advance(40);
            if (onClock)
                onClock();
            return sim->now_ms();
        };
    }

    void cleanup() { usb::setBackend(nullptr); }

    // Both files, read whole and not empty, before an update can start.
    void updateNeedsBothFiles()
    {
        QTemporaryDir dir;
        const QString empty = dir.filePath("empty.kt3"), good = dir.filePath("good.kt2");
        QFile f(good);
        QVERIFY(QFile(empty).open(QIODevice::WriteOnly) && f.open(QIODevice::WriteOnly) && f.write("abc") == 3);
        f.close();
        MainWidget w;
        QVERIFY(w.tDevScan->isActive());
        QCOMPARE(w.size(), QSize(700, 250));
        // Qt's own texts in Russian too, as in the file dialogs.
        const QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(box.Open)->text() + box.button(box.Cancel)->text(), QString::fromUtf8("ОткрытьОтмена"));
        w.tDevScan->stop();
        w.setFiles(good, empty);
        w.tDevScanTimeout();
        QCOMPARE(w.file1Data, QByteArray("abc"));
        QVERIFY(w.ui->lFile2->text().isEmpty() && !w.ui->bUpdate->isEnabled());
        w.bUpdateClicked();
        QCOMPARE(sim->updatePeer().packetsHandled(), 0);
        Seam pick(MainWidget::openFileName, [&](QWidget*, const QString&, const QString&) { return good; });
        w.bOpen2Clicked();
        w.tDevScanTimeout();
        QVERIFY(w.ui->bUpdate->isEnabled());
    }

    // The replies a whole transfer does not give.
    void nextPacketTable_data()
    {
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<int>("last"); // sections whose last packet went: 1 Q, 2 R
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("next"); // first bytes of the next packet; empty: connection ended
        const QByteArray P("P"), echo(1, char(0xA3));
        QTest::newRow("request, P: again") << echo << 0 << P << echo;
        QTest::newRow("end, P: again") << QByteArray("U") << 3 << P << QByteArray("U");
        QTest::newRow("echo inside R") << QByteArray("R<") << 1 << echo << QByteArray("SQ");
        QTest::newRow("other byte") << QByteArray("Q<") << 0 << QByteArray("E") << QByteArray();
    }

    void nextPacketTable()
    {
        QFETCH(QByteArray, current);
        QFETCH(int, last);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, next);
        MainWidget w;
        connectWithFiles(w, randomData(200, 7), randomData(300, 8));
        w.updating = true;
        w.packet = current;
        w.lastQChunkSent = last & 1;
        w.lastRChunkSent = last & 2;
        w.replyBuffer[0] = reply.at(0);
        QCOMPARE(w.processReply(), !next.isEmpty());
        QVERIFY(boxes.isEmpty());
        QCOMPARE(w.connected, !next.isEmpty());
        QCOMPARE(w.packet.left(next.size()), next);
        if (next.isEmpty())
            QVERIFY(!w.updating && w.packet.isEmpty() && w.ui->lStatus->text() == DISCONNECTED);
    }

    void transfer_data()
    {
        QTest::addColumn<int>("size1");
        QTest::addColumn<int>("size2");
        QTest::addColumn<int>("packets"); // all, from the update request to the end packet
        QTest::newRow("121 + 61") << 121 << 61 << 7;
        QTest::newRow("60 + 200") << 60 << 200 << 9;
        QTest::newRow("1 + 1") << 1 << 1 << 6;
    }

    // A file's last byte is never sent. Replies come 120 ms after each packet.
    void transfer()
    {
        QFETCH(int, size1);
        QFETCH(int, size2);
        QFETCH(int, packets);
        sim->setReplyDelay(120);
        MainWidget w;
        connectWithFiles(w, randomData(size1, 21), randomData(size2, 22));
        int peak = -1;
        bool buttonsDuring = false;
        onClock = [&] { // a scan tick at every look must not free the buttons
            w.tDevScanTimeout();
            peak = qMax(peak, w.ui->pBar->value());
            buttonsDuring |= w.ui->bUpdate->isEnabled() || w.ui->bOpen1->isEnabled() || w.ui->bOpen2->isEnabled();
        };
        QTest::mouseClick(w.ui->bUpdate, Qt::LeftButton);

        // Everything but each file's last byte arrived, checked, in order.
        const UpdatePeer& peer = sim->updatePeer();
        QVERIFY(peer.finished() && peer.rejected() == 0 && !buttonsDuring);
        QCOMPARE(peer.packetsHandled(), packets);
        QCOMPARE(peer.sectionQ(), w.file1Data.chopped(1));
        QCOMPARE(peer.sectionR(), w.file2Data.chopped(1));
        QCOMPARE(qMakePair(w.ui->pBar->minimum(), w.ui->pBar->maximum()), qMakePair(0, size1 + size2 - 2));
        QCOMPARE(peak, size1 + size2 - 2);

        // The restart reply ends it like a disconnection, without a box.
        QVERIFY(boxes.isEmpty() && !w.connected);
        QCOMPARE(w.ui->lStatus->text(), DISCONNECTED);
        QCOMPARE(w.ui->pBar->value(), 0);
    }

    void faults_data()
    {
        QTest::addColumn<int>("fault"); // the call that fails, or PULL, PULL_SCAN, SILENT
        QTest::addColumn<quint32>("status");
        QTest::addColumn<int>("delay"); // of every reply, ms
        QTest::addColumn<int>("at");    // packets taken before it: 6 is inside section Q
        QTest::addColumn<int>("sent");  // packets taken in all
        QTest::addColumn<QString>("text"); // of the box; empty: none
        using C = SimBackend::Call;
        const quint32 error = usb::SYSTEM_ERROR_CODE;
        const QString check = QString::fromUtf8("Невозможно получить статус USB очереди");
        const QString timeout = QString::fromUtf8("Превышено время ожидания пакета");
        QTest::newRow("write") << int(C::Write) << error << 0 << 6 << 6
                               << QString::fromUtf8("Невозможно отправить данные на устройство");
        QTest::newRow("queue check") << int(C::CheckRXQueue) << error << 0 << 6 << 6 << check;
        QTest::newRow("read") << int(C::Read) << error << 0 << 6 << 6
                              << QString::fromUtf8("Невозможно прочитать данные с устройства");
        // A read that delivers nothing must not pass for the previous acknowledgement.
        QTest::newRow("read gives nothing") << int(C::Read) << quint32(usb::SUCCESS) << 0 << 6 << 6 << QString();
        QTest::newRow("unplugged") << PULL << 0u << 0 << 6 << 6 << check;
        // The scan tick inside the reply wait closes the handle: it must not be used again.
        QTest::newRow("unplugged, the scan notices first") << PULL_SCAN << 0u << 0 << 6 << 6 << QString();
        QTest::newRow("no reply in section Q") << SILENT << 0u << 0 << 5 << 6 << timeout;
        QTest::newRow("echo 5000 ms after its packet: taken") << SILENT << 0u << 5000 << 1 << 2 << timeout;
        QTest::newRow("echo 5040 ms after it") << SILENT << 0u << 5040 << 1 << 1 << timeout;
    }

    // The box, if any, comes while still connected, then the disconnection.
    void faults()
    {
        QFETCH(int, fault);
        QFETCH(quint32, status);
        QFETCH(int, delay);
        QFETCH(int, at);
        QFETCH(int, sent);
        QFETCH(QString, text);
        sim->setReplyDelay(delay);
        sim->updatePeer().silentFrom = fault == SILENT ? at : -1;
        MainWidget w;
        connectWithFiles(w, randomData(400, 9), randomData(300, 10));
        bool armed = fault == SILENT;
        onClock = [&] {
            if (armed || sim->updatePeer().packetsHandled() != at)
                return;
            armed = true;
            if (fault == PULL)
                sim->unplug();
            else if (fault == PULL_SCAN)
                QTimer::singleShot(0, &w, [&] {
                    sim->unplug();
                    w.tDevScanTimeout();
                });
            else
                sim->failNext(SimBackend::Call(fault), status);
        };
        bool connectedDuringBox = false;
        onBox = [&] { connectedDuringBox = w.connected; };
        w.bUpdateClicked();
        QCOMPARE(sim->updatePeer().packetsHandled(), sent);
        QCOMPARE(boxes, text.isEmpty() ? QStringList() : QStringList{CRITICAL + text});
        QCOMPARE(connectedDuringBox, !text.isEmpty());
        QVERIFY(!w.connected && !w.updating && !sim->updatePeer().finished());
        QVERIFY(w.ui->bOpen1->isEnabled() && w.ui->bOpen2->isEnabled() && !w.ui->bUpdate->isEnabled());
        QCOMPARE(w.qOffset + w.rOffset, 0); // the next transfer starts afresh: the soak below sends it whole
    }

    // Scan ticks that come while the modal warning is up keep scanning but
    // must not stack a second box; an instrument unplugged under it leaves one.
    void twoInstrumentsOneBoxAtATime()
    {
        MainWidget w;
        w.tDevScan->stop();
        sim->setDeviceCount(2);
        onBox = [&] {
            w.tDevScanTimeout();
            sim->setDeviceCount(1);
            w.tDevScanTimeout();
        };
        w.tDevScanTimeout();
        QCOMPARE(boxes, QStringList{QString::fromUtf8("warning : Обнаружено более 1 устройства.")});
        QVERIFY(w.connected);
    }

    // Updates in a row, most of them hit by one fault at a random packet (fixed
    // seed), a scan tick every second of the wait. Whenever the instrument
    // accepts the end packet it holds exactly each file minus its last byte.
    // Failing library calls at random packets are the fuzzer's part.
    void manyTransfersWithFaults()
    {
        MainWidget w;
        w.tDevScan->stop();
        qint64 next_scan = 1000;
        onClock = [&] {
            if (sim->now_ms() >= next_scan) {
                next_scan += 1000;
                QTimer::singleShot(0, &w, [&w] { w.tDevScanTimeout(); });
            }
        };
        std::mt19937_64 rng(0x0D7A7E);
        auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
        enum Kind { None, NoReply, Unplug, SpoilPacket, Slow, Kinds };
        for (int t = 0; t < 1500; ++t) {
            // Connected and idle before each transfer; faults left from the last one go.
            sim->plug();
            sim->setReplyDelay(0);
            sim->updatePeer().silentFrom = -1;
            for (int i = 0; i < 20 && !(w.connected && !sim->restarting()); ++i) {
                sim->advance(1000);
                next_scan = sim->now_ms() + 1000;
                w.tDevScanTimeout();
            }
            QVERIFY2(w.connected, qPrintable(QStringLiteral("transfer %1: no connection").arg(t)));

            const QByteArray f1 = randomData(uniform(1, 2500), t), f2 = randomData(uniform(1, 2500), -t);
            w.file1Data = f1;
            w.file2Data = f2;
            const Kind kind = uniform(0, 3) == 0 ? None : Kind(uniform(1, Kinds - 1));
            int writes = 0;
            const int fault_at = uniform(0, 4 + (f1.size() + 58) / 60 + (f2.size() + 58) / 60);
            sim->onPacket = [&, kind](QByteArray& p) {
                if (writes++ != fault_at)
                    return;
                if (kind == NoReply)
                    sim->updatePeer().silentFrom = sim->updatePeer().packetsHandled();
                else if (kind == Unplug)
                    sim->unplug();
                else if (kind == SpoilPacket && p.size() >= 3 && (p.at(0) == 'Q' || p.at(0) == 'R'))
                    p[uniform(0, p.size() - 1)] ^= char(uniform(1, 255)); // the instrument checks its data packets
                else if (kind == Slow)
                    sim->setReplyDelay(uniform(100, 6500)); // sometimes beyond the reply limit
            };
            boxes.clear();
            const UpdatePeer& peer = sim->updatePeer();
            const int rejectedBefore = peer.rejected();
            w.bUpdateClicked();

            const QString where = QStringLiteral("transfer %1 (fault %2 at packet %3)").arg(t).arg(kind).arg(fault_at);
            QVERIFY2(!w.updating && !w.connected && boxes.size() <= 1, qPrintable(where));
            if (peer.finished())
                QVERIFY2(peer.sectionQ() == f1.chopped(1) && peer.sectionR() == f2.chopped(1), qPrintable(where));
            if (kind == None) // a transfer without a fault ends accepted and quietly
                QVERIFY2(peer.finished() && boxes.isEmpty() && peer.rejected() == rejectedBefore, qPrintable(where));
        }
    }
};

QTEST_MAIN(TstMainWidget)
#include "tst_mainwidget.moc"
