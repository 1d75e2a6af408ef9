// The updater window against the simulated instrument: packet building, the
// reply table, the reply wait, whole transfers and the faults on the way.

#include "simulator/simbackend.h"
#include "ui_mainwidget.h"
#include "tests/support/seam.h"
#include "updater/mainwidget.h"

#include <QDialogButtonBox>
#include <QTimer>
#include <QtTest>

namespace {

// The simulated instrument, with `junk` sent right behind its next reply.
class Rig : public SimBackend {
public:
    QByteArray junk;
    quint32 checkRXQueue(usb::Handle h, quint32* n, quint32* qs) override
    {
        const quint32 st = SimBackend::checkRXQueue(h, n, qs);
        if (st == usb::SUCCESS && *n > 0)
            *n += quint32(junk.size());
        return st;
    }
    quint32 read(usb::Handle h, void* buffer, quint32 size, quint32* got) override
    {
        const quint32 st = SimBackend::read(h, buffer, size, got);
        const int more = qMin(int(size - *got), int(junk.size()));
        std::memcpy(static_cast<char*>(buffer) + *got, junk.constData(), size_t(more));
        junk.remove(0, more);
        *got += quint32(more);
        return st;
    }
};

QByteArray randomData(int size, int seed)
{
    QByteArray b;
    for (int i = 0; i < size; ++i)
        b.append(char(i * 151 + seed * 17 + i / 7));
    return b;
}

// Faults of the cable: pulled, and noticed first by the scan tick.
const int PULL = 100, PULL_SCAN = 101;

const QString DISCONNECTED = QString::fromUtf8("Устройство отключено.");
const QString CRITICAL = QString::fromUtf8("critical Критическая ошибка: ");

} // namespace

class TstMainWidget : public QObject {
    Q_OBJECT

    QStringList boxes; // "<kind> <title>: <text>"
    std::function<void()> onBox;
    std::function<void()> onClock; // runs at every clock reading, i.e. inside each reply wait
    qint64 step = 40;
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

    // What every aborted transfer leaves behind.
    void checkAborted(MainWidget& w)
    {
        QVERIFY(!w.connected && !w.updating);
        QCOMPARE(w.ui->lStatus->text(), DISCONNECTED);
        QCOMPARE(w.ui->pBar->value(), 0);
        QVERIFY(w.ui->bOpen1->isEnabled() && w.ui->bOpen2->isEnabled());
        QVERIFY(!w.ui->bUpdate->isEnabled());
        QCOMPARE(w.qOffset + w.rOffset, 0);
        QVERIFY(!sim->updatePeer().finished());
    }

private slots:
    void init()
    {
        boxes.clear();
        onBox = nullptr;
        onClock = nullptr;
        step = 40;
        // Boxes are recorded, never shown: nothing in these tests can block.
        MainWidget::messageBox = [this](QWidget*, MainWidget::BoxKind kind, const QString& title, const QString& text) {
            boxes << (kind == MainWidget::BoxKind::Warning ? "warning " : "critical ") + title + ": " + text;
            if (onBox)
                onBox();
        };
        auto owned = std::make_unique<Rig>();
        sim = owned.get();
        usb::setBackend(std::move(owned));
        MainWidget::clockMs = [this] {
            sim->advance(step);
            if (onClock)
                onClock();
            return sim->now_ms();
        };
    }

    void cleanup() { usb::setBackend(nullptr); }

    void standardButtonsInRussian() // Qt's own texts, as in the file dialogs
    {
        MainWidget w;
        const QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(box.Open)->text() + box.button(box.Cancel)->text(), QString::fromUtf8("ОткрытьОтмена"));
    }

    // Both files, read whole and not empty, before an update can start.
    void updateNeedsBothFiles()
    {
        QTemporaryDir dir;
        const QString empty = dir.filePath("empty.kt3"), good = dir.filePath("good.kt2");
        QFile(empty).open(QIODevice::WriteOnly);
        QFile f(good);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("abc") == 3);
        f.close();
        MainWidget w;
        QVERIFY(w.tDevScan->isActive());
        QCOMPARE(w.size(), QSize(700, 250));
        w.tDevScan->stop();
        QString chosen = good;
        Seam pick(MainWidget::openFileName, [&](QWidget*, const QString&, const QString&) { return chosen; });
        w.bOpen1Clicked();
        chosen = empty;
        w.bOpen2Clicked();
        w.tDevScanTimeout();
        QCOMPARE(w.file1Data, QByteArray("abc"));
        QVERIFY(w.ui->lFile2->text().isEmpty() && !w.ui->bUpdate->isEnabled());
        w.bUpdateClicked();
        QCOMPARE(sim->updatePeer().packetsHandled(), 0);
        chosen = good;
        w.bOpen2Clicked();
        w.tDevScanTimeout();
        QVERIFY(w.ui->bUpdate->isEnabled());
    }

    void packetBuilding_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("121 bytes") << 121 << QList<int>{60, 60};
        QTest::newRow("60 bytes") << 60 << QList<int>{59};
        QTest::newRow("1 byte") << 1 << QList<int>{0};
    }

    void packetBuilding()
    {
        // Packets of at most 60 bytes with an inverted-sum checksum; a file's
        // last byte is never sent.
        QFETCH(int, size);
        QFETCH(QList<int>, counts);
        MainWidget w;
        w.tDevScan->stop();
        w.file1Data = randomData(size, size);
        int offset = 0;
        for (int i = 0; i < counts.size(); ++i) {
            w.makeQPacket();
            const int n = counts[i];
            QCOMPARE(w.packet.chopped(1), QByteArray("Q") + char(n) + w.file1Data.mid(offset, n));
            quint8 sum = 0;
            for (char c : w.packet)
                sum = quint8(sum + quint8(c));
            QCOMPARE(sum, quint8(0xFF)); // the checksum byte completes the sum to FF
            offset += n;
            QCOMPARE(w.lastQChunkSent, i == counts.size() - 1);
        }
        QCOMPARE(w.qOffset, size - 1);
        if (size == 1)
            QCOMPARE(w.packet, QByteArray::fromHex("5100ae"));
    }

    void nextPacketTable_data()
    {
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<int>("last"); // sections whose last packet went: 1 Q, 2 R
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("next"); // first bytes of the next packet; empty: connection ended
        const QByteArray P("P");
        const QByteArray echo(1, char(0xA3));
        QTest::newRow("request, echo") << echo << 0 << echo << QByteArray("SQ");
        QTest::newRow("request, P: again") << echo << 0 << P << echo;
        QTest::newRow("SQ, P") << QByteArray("SQ") << 0 << P << QByteArray("Q<");
        QTest::newRow("SR, P") << QByteArray("SR") << 0 << P << QByteArray("R<");
        QTest::newRow("Q, P") << QByteArray("Q<") << 0 << P << QByteArray("Q<");
        QTest::newRow("last Q, P") << QByteArray("Q<") << 1 << P << QByteArray("SR");
        QTest::newRow("last R, P") << QByteArray("R<") << 2 << P << QByteArray("U");
        QTest::newRow("end, P: again") << QByteArray("U") << 3 << P << QByteArray("U");
        QTest::newRow("echo inside R") << QByteArray("R<") << 1 << echo << QByteArray("SQ");
        QTest::newRow("other byte") << QByteArray("Q<") << 0 << QByteArray("E") << QByteArray();
        QTest::newRow("restart byte") << QByteArray("U") << 3 << QByteArray("R") << QByteArray();
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
        if (next.isEmpty()) {
            QVERIFY(!w.connected && !w.updating && w.packet.isEmpty());
            QCOMPARE(w.ui->lStatus->text(), DISCONNECTED);
            return;
        }
        QVERIFY(w.connected);
        QCOMPARE(w.packet.left(next.size()), next);
    }

    void transfer_data()
    {
        QTest::addColumn<int>("size1");
        QTest::addColumn<int>("size2");
        QTest::newRow("100 + 200") << 100 << 200;
        QTest::newRow("1 + 1") << 1 << 1;
    }

    void transfer()
    {
        // Replies come 120 ms after each packet; the wait moves the clock 40 ms a look.
        QFETCH(int, size1);
        QFETCH(int, size2);
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
        QVERIFY(peer.finished());
        QCOMPARE(peer.sectionQ(), w.file1Data.chopped(1));
        QCOMPARE(peer.sectionR(), w.file2Data.chopped(1));
        QCOMPARE(peer.rejected(), 0);
        QVERIFY(!buttonsDuring);
        QCOMPARE(w.ui->pBar->minimum(), 0);
        QCOMPARE(w.ui->pBar->maximum(), size1 + size2 - 2); // 100 and 200 bytes: 0 to 298
        QCOMPARE(peak, size1 + size2 - 2);

        // The restart reply ends it like a disconnection, without a box.
        QVERIFY(boxes.isEmpty() && !w.connected);
        QCOMPARE(w.ui->lStatus->text(), DISCONNECTED);
        QCOMPARE(w.ui->pBar->value(), 0);
    }

    void replyTimeout_data()
    {
        QTest::addColumn<int>("delay");      // of every reply, ms
        QTest::addColumn<int>("silentFrom"); // first packet left unanswered
        QTest::addColumn<int>("sent");       // packets sent until the time-out
        QTest::newRow("echo seen 5000 ms into the wait: taken") << 5000 << 1 << 2;
        QTest::newRow("echo seen 6000 ms into it") << 6000 << 1 << 1;
        QTest::newRow("no reply in section Q") << 0 << 5 << 6;
    }

    void replyTimeout()
    {
        // The clock moves 1000 ms at each reading: once before the first look
        // at the queue and once after each look.
        QFETCH(int, delay);
        QFETCH(int, silentFrom);
        QFETCH(int, sent);
        step = 1000;
        sim->setReplyDelay(delay);
        sim->updatePeer().silentFrom = silentFrom;
        MainWidget w;
        connectWithFiles(w, randomData(500, 5), randomData(500, 6));
        w.bUpdateClicked();
        QCOMPARE(sim->updatePeer().packetsHandled(), sent);
        QCOMPARE(boxes, QStringList{CRITICAL + QString::fromUtf8("Превышено время ожидания пакета")});
        checkAborted(w);
    }

    void faults_data()
    {
        QTest::addColumn<int>("fault"); // the call that fails, or PULL, PULL_SCAN
        QTest::addColumn<quint32>("status");
        QTest::addColumn<QString>("text"); // of the box; empty: none
        using C = SimBackend::Call;
        const quint32 error = usb::SYSTEM_ERROR_CODE;
        const QString check = QString::fromUtf8("Невозможно получить статус USB очереди");
        QTest::newRow("write") << int(C::Write) << error << QString::fromUtf8("Невозможно отправить данные на устройство");
        QTest::newRow("queue check") << int(C::CheckRXQueue) << error << check;
        QTest::newRow("read") << int(C::Read) << error << QString::fromUtf8("Невозможно прочитать данные с устройства");
        // A read that delivers nothing must not pass for the previous acknowledgement.
        QTest::newRow("read gives nothing") << int(C::Read) << quint32(usb::SUCCESS) << QString();
        QTest::newRow("unplugged") << PULL << 0u << check;
        // The scan tick inside the reply wait closes the handle: it must not be used again.
        QTest::newRow("unplugged, the scan notices first") << PULL_SCAN << 0u << QString();
    }

    void faults()
    {
        // In the middle of section Q, after four packets of it: the box, if
        // any, comes while still connected, then the disconnection. Afterwards
        // the same files go out again from the start.
        QFETCH(int, fault);
        QFETCH(quint32, status);
        QFETCH(QString, text);
        MainWidget w;
        connectWithFiles(w, randomData(400, 9), randomData(300, 10));
        bool armed = false;
        onClock = [&] {
            if (armed || sim->updatePeer().packetsHandled() != 6)
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
        QCOMPARE(boxes, text.isEmpty() ? QStringList() : QStringList{CRITICAL + text});
        QCOMPARE(connectedDuringBox, !text.isEmpty());
        QCOMPARE(sim->updatePeer().sectionQ().size(), 240);
        checkAborted(w);

        sim->plug();
        sim->updatePeer().reset();
        boxes.clear();
        w.tDevScanTimeout();
        w.bUpdateClicked();
        QVERIFY(boxes.isEmpty());
        QVERIFY(sim->updatePeer().finished());
        QCOMPARE(sim->updatePeer().sectionQ(), w.file1Data.chopped(1));
        QCOMPARE(sim->updatePeer().sectionR(), w.file2Data.chopped(1));
    }

    void longReplyIsDrained()
    {
        // Only the first byte counts; more than the 256-byte buffer waiting is
        // all read, so that none of it passes for the next reply.
        MainWidget w;
        connectWithFiles(w, "ab", "cd");
        sim->junk = QByteArray(600, 'x');
        w.packet = QByteArray(1, char(0xA3));
        QVERIFY(w.sendPacket() && w.receiveReply());
        QCOMPARE(w.replyBuffer[0], char(0xA3));
        QVERIFY(sim->junk.isEmpty());
    }

    void twoInstrumentsOneBoxAtATime()
    {
        // Scan ticks that come while the modal warning is up keep scanning but
        // must not stack a second box.
        MainWidget w;
        w.tDevScan->stop();
        sim->setDeviceCount(2);
        onBox = [&] {
            if (boxes.size() == 1) {
                w.tDevScanTimeout();
                w.tDevScanTimeout();
            }
        };
        w.tDevScanTimeout();
        QCOMPARE(boxes, QStringList{QString::fromUtf8("warning : Обнаружено более 1 устройства.")});
        QVERIFY(!w.connected);

        // After OK the next tick warns again; one instrument unplugged under the box is found.
        onBox = [&] {
            sim->setDeviceCount(1);
            w.tDevScanTimeout();
        };
        w.tDevScanTimeout();
        QCOMPARE(boxes.size(), 2);
        QVERIFY(w.connected);
    }
};

QTEST_MAIN(TstMainWidget)
#include "tst_mainwidget.moc"
