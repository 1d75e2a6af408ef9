// The updater window against the simulated instrument: packets, the reply
// table, the reply wait, whole transfers and the faults on the way.

#include "simulator/simbackend.h"
#include "ui_mainwidget.h"
#include "tests/support/seam.h"
#include "updater/mainwidget.h"

#include <QDialogButtonBox>
#include <QTimer>
#include <QtTest>

namespace {

// The simulated instrument; `junk` comes right behind its next reply and
// waits in the queue until it is read.
class Rig : public SimBackend {
public:
    QByteArray junk, waiting;
    quint32 checkRXQueue(usb::Handle h, quint32* n, quint32* qs) override
    {
        const quint32 st = SimBackend::checkRXQueue(h, n, qs);
        if (st == usb::SUCCESS && *n > 0)
            waiting += std::exchange(junk, {});
        if (st == usb::SUCCESS)
            *n += quint32(waiting.size());
        return st;
    }
    quint32 read(usb::Handle h, void* buffer, quint32 size, quint32* got) override
    {
        const quint32 st = SimBackend::read(h, buffer, size, got);
        const QByteArray more = waiting.left(int(size - *got));
        std::memcpy(static_cast<char*>(buffer) + *got, more.constData(), size_t(more.size()));
        waiting.remove(0, more.size());
        *got += quint32(more.size());
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
        // The clock moves 40 ms at each reading: once before the first look
        // at the queue and once after each look.
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
        QTest::addColumn<int>("junk");    // bytes behind the first reply
        QTest::newRow("121 + 61") << 121 << 61 << 7 << 0;
        QTest::newRow("60 + 200, a long first reply") << 60 << 200 << 9 << 600;
        QTest::newRow("1 + 1") << 1 << 1 << 6 << 0;
    }

    // Packets of at most 60 bytes with an inverted-sum checksum, a file's last
    // byte never sent; of a reply only the first byte counts, and all of it is
    // read so that none of it passes for the next one. Replies come 120 ms
    // after each packet.
    void transfer()
    {
        QFETCH(int, size1);
        QFETCH(int, size2);
        QFETCH(int, packets);
        QFETCH(int, junk);
        sim->setReplyDelay(120);
        sim->junk = QByteArray(junk, 'x');
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
        QTest::addColumn<int>("at");    // packets taken before it: 6 is inside section Q, 12 inside R
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
        QTest::newRow("unplugged in section R") << PULL << 0u << 0 << 12 << 12 << check;
        // The scan tick inside the reply wait closes the handle: it must not be used again.
        QTest::newRow("unplugged, the scan notices first") << PULL_SCAN << 0u << 0 << 6 << 6 << QString();
        QTest::newRow("no reply in section Q") << SILENT << 0u << 0 << 5 << 6 << timeout;
        QTest::newRow("echo 5000 ms after its packet: taken") << SILENT << 0u << 5000 << 1 << 2 << timeout;
        QTest::newRow("echo 5040 ms after it") << SILENT << 0u << 5040 << 1 << 1 << timeout;
    }

    // The box, if any, comes while still connected, then the disconnection.
    // Afterwards the same files go out again whole, from the start.
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
        QCOMPARE(w.ui->lStatus->text(), DISCONNECTED);
        QCOMPARE(w.ui->pBar->value(), 0);
        QVERIFY(w.ui->bOpen1->isEnabled() && w.ui->bOpen2->isEnabled() && !w.ui->bUpdate->isEnabled());
        QCOMPARE(w.qOffset + w.rOffset, 0);

        sim->plug();
        sim->setReplyDelay(0);
        sim->updatePeer().reset();
        sim->updatePeer().silentFrom = -1;
        boxes.clear();
        w.tDevScanTimeout();
        w.bUpdateClicked();
        QVERIFY(boxes.isEmpty() && sim->updatePeer().finished());
        QCOMPARE(sim->updatePeer().sectionQ(), w.file1Data.chopped(1));
        QCOMPARE(sim->updatePeer().sectionR(), w.file2Data.chopped(1));
    }

    // Scan ticks that come while the modal warning is up keep scanning but
    // must not stack a second box.
    void twoInstrumentsOneBoxAtATime()
    {
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
