// The updater window: catalogue, files, scan, packet building, the reply
// table, the reply wait and whole transfers against a scripted instrument.

#include "fakeusb.h"
#include "mainwidget.h"
#include "simbackend.h"
#include "ui_mainwidget.h"
#include "updatepeer.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

struct Box {
    MainWidget::BoxKind kind;
    QString title;
    QString text;
};

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray b;
    for (int v : list)
        b.append(char(v));
    return b;
}

QByteArray randomData(int size, quint32 seed)
{
    QRandomGenerator gen(seed);
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(gen.bounded(256));
    return b;
}

} // namespace

class TestMainWidget : public QObject {
    Q_OBJECT

    QList<Box> boxes;
    std::function<void(const Box&)> onBox;
    QString nextPath;
    QStringList fileCaptions;
    QStringList fileFilters;
    qint64 now = 0;
    qint64 tick = 0;
    FakeUsb* usbFake = nullptr;
    QTemporaryDir dir;

    QString writeFile(const QString& name, const QByteArray& data)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        f.write(data);
        return path;
    }

    // A window that is connected to the fake instrument and has both files.
    void connectWithFiles(MainWidget& w, const QByteArray& f1, const QByteArray& f2)
    {
        w.tDevScan->stop();
        w.file1Data = f1;
        w.file2Data = f2;
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        QVERIFY(w.ui->bUpdate->isEnabled());
    }

private slots:
    void init()
    {
        boxes.clear();
        onBox = nullptr;
        nextPath.clear();
        fileCaptions.clear();
        fileFilters.clear();
        now = 0;
        tick = 0;
        MainWidget::messageBox = [this](QWidget*, MainWidget::BoxKind kind, const QString& title, const QString& text) {
            const Box b{kind, title, text};
            boxes.append(b);
            if (onBox)
                onBox(b);
        };
        MainWidget::openFileName = [this](QWidget*, const QString& caption, const QString& filter) {
            fileCaptions.append(caption);
            fileFilters.append(filter);
            return nextPath;
        };
        // Time moves only when read, by `tick` each time.
        MainWidget::clockMs = [this] {
            now += tick;
            return now;
        };
        auto fake = std::make_unique<FakeUsb>();
        usbFake = fake.get();
        usb::setBackend(std::move(fake));
    }

    void cleanup() { usb::setBackend(nullptr); }

    void formAndCatalogue()
    {
        MainWidget w;
        QCOMPARE(w.size(), QSize(700, 250));
        QCOMPARE(w.minimumSize(), QSize(700, 250));
        QCOMPARE(w.maximumSize(), QSize(700, 250));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(w.windowFlags() & Qt::WindowContextHelpButtonHint);
        QCOMPARE(w.font().pointSize(), 12);
        QCOMPARE(w.windowTitle(), QString::fromUtf8("Программа обновления приборов КЕЛМ-Е1"));
        QCOMPARE(w.findChild<QGroupBox*>("groupBox")->title(), QString::fromUtf8("Файлы"));
        QCOMPARE(w.findChild<QGroupBox*>("groupBox_2")->title(), QString::fromUtf8("Статус"));
        QCOMPARE(w.findChild<QPushButton*>("bOpen1")->text(), QString::fromUtf8("Открыть"));
        QCOMPARE(w.findChild<QPushButton*>("bOpen2")->text(), QString::fromUtf8("Открыть"));
        QCOMPARE(w.findChild<QLabel*>("label_2")->text(), QStringLiteral("1:"));
        QCOMPARE(w.findChild<QLabel*>("label_3")->text(), QStringLiteral("2:"));
        auto* update = w.findChild<QPushButton*>("bUpdate");
        QCOMPARE(update->text(), QString::fromUtf8("Обновить"));
        QVERIFY(!update->isEnabled());
        QVERIFY(w.findChild<QLineEdit*>("lFile1")->isReadOnly());
        QVERIFY(w.findChild<QLineEdit*>("lFile2")->isReadOnly());
        auto* bar = w.findChild<QProgressBar*>("pBar");
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->alignment(), Qt::AlignCenter);
        auto* status = w.findChild<QLabel*>("lStatus");
        QVERIFY(status->text().isEmpty());
        QCOMPARE(status->styleSheet(), QStringLiteral("background-color: rgb(255, 255, 255);"));
        QCOMPARE(status->frameShape(), QFrame::StyledPanel);
        QVERIFY(w.tDevScan->isActive());
        QCOMPARE(w.tDevScan->interval(), 1000);
        QVERIFY(!w.tDevScan->isSingleShot());
        QVERIFY(!w.connected && !w.updating && !w.lastQChunkSent && !w.lastRChunkSent);
        QCOMPARE(usbFake->numCalls, 0); // the first scan waits for the timer

        // All 17 entries, in the window's context.
        const char* table[][2] = {
            {"KELM-E1 Updater", "Программа обновления приборов КЕЛМ-Е1"},
            {"Files", "Файлы"},
            {"Open", "Открыть"},
            {"Status", "Статус"},
            {"Update", "Обновить"},
            {"Select file", "Выбор файла"},
            {"KELM-E1x update file(*.kt2)", "КЕЛМ-Е1х файл обновления(*.kt2)"},
            {"KELM-E1x update file(*.kt3)", "КЕЛМ-Е1х файл обновления(*.kt3)"},
            {"Device connected.", "Устройство подключено."},
            {"Device disconnected.", "Устройство отключено."},
            {"Error on device opening.", "Ошибка открытия устройства."},
            {"More then 1 device found.", "Обнаружено более 1 устройства."},
            {"Critical error", "Критическая ошибка"},
            {"Couldn't send data to device", "Невозможно отправить данные на устройство"},
            {"Couldn't receive USB queue status", "Невозможно получить статус USB очереди"},
            {"Timeout on waiting packet", "Превышено время ожидания пакета"},
            {"Couldn't read data from device", "Невозможно прочитать данные с устройства"},
        };
        for (const auto& e : table)
            QCOMPARE(QCoreApplication::translate("MainWidget", e[0]), QString::fromUtf8(e[1]));
        QVERIFY(QFile::exists(":/E1_up_ru.qm"));
    }

    void fileLoading()
    {
        MainWidget w;
        w.tDevScan->stop();
        const QByteArray one = randomData(300, 1);
        nextPath = writeFile("a.kt2", one);
        w.bOpen1Clicked();
        QCOMPARE(fileCaptions.last(), QString::fromUtf8("Выбор файла"));
        QCOMPARE(fileFilters.last(), QString::fromUtf8("КЕЛМ-Е1х файл обновления(*.kt2)"));
        QCOMPARE(w.ui->lFile1->text(), nextPath);
        QCOMPARE(w.file1Data, one);

        const QByteArray two(1, 'x');
        nextPath = writeFile("b.kt3", two);
        w.bOpen2Clicked();
        QCOMPARE(fileFilters.last(), QString::fromUtf8("КЕЛМ-Е1х файл обновления(*.kt3)"));
        QCOMPARE(w.ui->lFile2->text(), nextPath);
        QCOMPARE(w.file2Data, two); // one byte is accepted

        // Empty file, missing file, a directory: blank line, no data, no message.
        nextPath = writeFile("empty.kt3", QByteArray());
        w.bOpen2Clicked();
        QVERIFY(w.ui->lFile2->text().isEmpty());
        QVERIFY(w.file2Data.isEmpty());
        nextPath = dir.filePath("missing.kt2");
        w.bOpen1Clicked();
        QVERIFY(w.ui->lFile1->text().isEmpty());
        QVERIFY(w.file1Data.isEmpty());
        nextPath = writeFile("c.kt2", one);
        w.bOpen1Clicked();
        QCOMPARE(w.file1Data, one);
        nextPath = dir.path();
        w.bOpen1Clicked();
        QVERIFY(w.ui->lFile1->text().isEmpty());
        QVERIFY(w.file1Data.isEmpty());

        // Cancelling discards the file chosen before.
        nextPath = writeFile("d.kt3", one);
        w.bOpen2Clicked();
        QCOMPARE(w.file2Data, one);
        nextPath.clear();
        w.bOpen2Clicked();
        QVERIFY(w.ui->lFile2->text().isEmpty());
        QVERIFY(w.file2Data.isEmpty());
        QVERIFY(boxes.isEmpty());

        // The buttons reach the slots.
        nextPath = writeFile("e.kt2", one);
        QTest::mouseClick(w.ui->bOpen1, Qt::LeftButton);
        QCOMPARE(w.file1Data, one);
    }

    void scanAndButtonState()
    {
        MainWidget w;
        w.tDevScan->stop();
        usbFake->devices = 0;
        w.tDevScanTimeout();
        QVERIFY(!w.connected);
        QCOMPARE(usbFake->opens, 0);
        QVERIFY(w.ui->lStatus->text().isEmpty());

        // Count query fails: nothing else this tick.
        usbFake->devices = 1;
        usbFake->numStatus = usb::SYSTEM_ERROR_CODE;
        w.tDevScanTimeout();
        QCOMPARE(usbFake->opens, 0);
        usbFake->numStatus = 0;

        usbFake->openStatus = usb::DEVICE_NOT_FOUND;
        w.tDevScanTimeout();
        QVERIFY(!w.connected);
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Ошибка открытия устройства."));
        usbFake->openStatus = 0;
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство подключено."));
        QVERIFY(!w.ui->bUpdate->isEnabled()); // no files yet

        // A file chosen while connected enables Update only at the next tick.
        nextPath = writeFile("s.kt2", "abc");
        w.bOpen1Clicked();
        nextPath = writeFile("s.kt3", "defg");
        w.bOpen2Clicked();
        QVERIFY(!w.ui->bUpdate->isEnabled());
        w.tDevScanTimeout();
        QCOMPARE(usbFake->stringCalls, 1);
        QCOMPARE(usbFake->opens, 2); // still the same connection
        QVERIFY(w.ui->bUpdate->isEnabled());
        nextPath.clear();
        w.bOpen2Clicked();
        QVERIFY(w.ui->bUpdate->isEnabled());
        w.tDevScanTimeout();
        QVERIFY(!w.ui->bUpdate->isEnabled());

        // Presence check fails: disconnected, handle closed, rescanning later.
        w.ui->pBar->setValue(40);
        w.ui->bOpen1->setEnabled(false);
        usbFake->present = false;
        w.tDevScanTimeout();
        QVERIFY(!w.connected);
        QCOMPARE(usbFake->closes, 1);
        QVERIFY(!usbFake->isOpen);
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство отключено."));
        QCOMPARE(w.ui->pBar->value(), 0);
        QVERIFY(w.ui->bOpen1->isEnabled());
        usbFake->present = true;
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        QVERIFY(boxes.isEmpty());
    }

    void twoInstruments()
    {
        MainWidget w;
        w.tDevScan->stop();
        usbFake->devices = 2;
        w.tDevScanTimeout();
        w.tDevScanTimeout();
        QCOMPARE(boxes.size(), 2); // once per tick
        QCOMPARE(int(boxes[0].kind), int(MainWidget::BoxKind::Warning));
        QVERIFY(boxes[0].title.isEmpty());
        QCOMPARE(boxes[0].text, QString::fromUtf8("Обнаружено более 1 устройства."));
        QCOMPARE(usbFake->opens, 0);
        QVERIFY(!w.connected);
    }

    void twoInstrumentsOneBoxAtATime()
    {
        // Scan ticks that arrive while the modal warning is up must not stack
        // a second box, but they keep scanning.
        MainWidget w;
        w.tDevScan->stop();
        usbFake->devices = 2;
        int nested = 0;
        onBox = [&](const Box&) {
            if (nested++ == 0) {
                w.tDevScanTimeout();
                w.tDevScanTimeout();
            }
        };
        w.tDevScanTimeout();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(usbFake->numCalls, 3);

        // After OK the next tick warns again; one instrument unplugged under the box is found.
        onBox = [&](const Box&) {
            usbFake->devices = 1;
            w.tDevScanTimeout();
        };
        w.tDevScanTimeout();
        QCOMPARE(boxes.size(), 2);
        QVERIFY(w.connected);
        QCOMPARE(usbFake->opens, 1);
    }

    void packetBuilding_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("121 bytes") << 121 << QList<int>{60, 60};
        QTest::newRow("60 bytes") << 60 << QList<int>{59};
        QTest::newRow("61 bytes") << 61 << QList<int>{60};
        QTest::newRow("62 bytes") << 62 << QList<int>{60, 1};
        QTest::newRow("1 byte") << 1 << QList<int>{0};
    }

    void packetBuilding()
    {
        QFETCH(int, size);
        QFETCH(QList<int>, counts);
        MainWidget w;
        w.tDevScan->stop();
        const QByteArray file = randomData(size, quint32(size));
        for (char letter : {'Q', 'R'}) {
            (letter == 'Q' ? w.file1Data : w.file2Data) = file;
            int offset = 0;
            for (int i = 0; i < counts.size(); ++i) {
                letter == 'Q' ? w.makeQPacket() : w.makeRPacket();
                const int n = counts[i];
                QCOMPARE(w.packet.size(), n + 3);
                QCOMPARE(w.packet.at(0), letter);
                QCOMPARE(int(quint8(w.packet.at(1))), n);
                QCOMPARE(w.packet.mid(2, n), file.mid(offset, n));
                quint8 sum = 0;
                for (int k = 0; k < n + 2; ++k)
                    sum = quint8(sum + quint8(w.packet.at(k)));
                QCOMPARE(quint8(w.packet.at(n + 2)), quint8(~sum));
                offset += n;
                QCOMPARE(letter == 'Q' ? w.qOffset : w.rOffset, offset);
                const bool last = letter == 'Q' ? w.lastQChunkSent : w.lastRChunkSent;
                QCOMPARE(last, i == counts.size() - 1);
            }
            QCOMPARE(offset, size - 1); // the last byte is never sent
        }
    }

    void packetExamples()
    {
        MainWidget w;
        w.tDevScan->stop();
        w.file1Data = QByteArray(1, '\x77');
        w.makeQPacket();
        QCOMPARE(w.packet, bytes({0x51, 0x00, 0xAE}));
        QVERIFY(w.lastQChunkSent);
        w.file2Data = QByteArray(1, '\x77');
        w.makeRPacket();
        QCOMPARE(w.packet, bytes({0x52, 0x00, 0xAD}));
        w.file1Data = bytes({0x01, 0x02, 0x03});
        w.qOffset = 0;
        w.makeQPacket();
        QCOMPARE(w.packet, bytes({0x51, 0x02, 0x01, 0x02, 0xA9}));
        QCOMPARE(MainWidget::checksum(bytes({0xFF, 0x01})), quint8(0xFF)); // sum wraps modulo 256
    }

    void nextPacketTable_data()
    {
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<bool>("lastQ");
        QTest::addColumn<bool>("lastR");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("next"); // first bytes of the next packet
        QTest::addColumn<bool>("ok");
        const QByteArray P("P");
        const QByteArray echo(1, char(0xA3));
        QTest::newRow("request, echo") << echo << false << false << echo << QByteArray("SQ") << true;
        QTest::newRow("request, P: again") << echo << false << false << P << echo << true;
        QTest::newRow("SQ, P") << QByteArray("SQ") << false << false << P << QByteArray("Q<") << true;
        QTest::newRow("SR, P") << QByteArray("SR") << false << false << P << QByteArray("R<") << true;
        QTest::newRow("S?, P") << QByteArray("SX") << false << false << P << QByteArray("R<") << true;
        QTest::newRow("Q, P") << QByteArray("Q<") << false << false << P << QByteArray("Q<") << true;
        QTest::newRow("last Q, P") << QByteArray("Q<") << true << false << P << QByteArray("SR") << true;
        QTest::newRow("R, P") << QByteArray("R<") << false << false << P << QByteArray("R<") << true;
        QTest::newRow("last R, P") << QByteArray("R<") << false << true << P << QByteArray("U") << true;
        QTest::newRow("end, P: again") << QByteArray("U") << true << true << P << QByteArray("U") << true;
        QTest::newRow("echo inside R") << QByteArray("R<") << true << false << echo << QByteArray("SQ") << true;
        QTest::newRow("several bytes: first decides") << QByteArray("Q<") << false << false << QByteArray("PEE")
                                                      << QByteArray("Q<") << true;
        QTest::newRow("other byte") << QByteArray("Q<") << false << false << QByteArray("E") << QByteArray() << false;
        QTest::newRow("restart byte") << QByteArray("U") << true << true << QByteArray("R") << QByteArray() << false;
        QTest::newRow("zero byte") << QByteArray("R<") << false << false << QByteArray(1, '\0') << QByteArray()
                                   << false;
    }

    void nextPacketTable()
    {
        QFETCH(QByteArray, current);
        QFETCH(bool, lastQ);
        QFETCH(bool, lastR);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, next);
        QFETCH(bool, ok);
        MainWidget w;
        connectWithFiles(w, randomData(200, 7), randomData(300, 8));
        w.updating = true;
        w.packet = current;
        w.lastQChunkSent = lastQ;
        w.lastRChunkSent = lastR;
        w.qOffset = 120;
        w.rOffset = 60;
        std::memcpy(w.replyBuffer, reply.constData(), size_t(reply.size()));
        QCOMPARE(w.processReply(), ok);
        QCOMPARE(w.packet.left(next.size()), next);
        if (next.startsWith('Q'))
            QCOMPARE(w.packet.mid(2, 60), w.file1Data.mid(120, 60));
        if (next.startsWith('R'))
            QCOMPARE(w.packet.mid(2, 60), w.file2Data.mid(60, 60));
        if (ok) {
            QVERIFY(w.connected);
            QVERIFY(boxes.isEmpty());
        } else {
            QVERIFY(!w.connected && !w.updating);
            QVERIFY(boxes.isEmpty());
            QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство отключено."));
            QCOMPARE(w.qOffset + w.rOffset, 0);
        }
    }

    void progressRange()
    {
        MainWidget w;
        connectWithFiles(w, randomData(100, 1), randomData(200, 2));
        w.packet = QByteArray(1, char(0xA3));
        w.replyBuffer[0] = char(0xA3);
        QVERIFY(w.processReply());
        QCOMPARE(w.ui->pBar->maximum(), 100); // the echo does not move the bar
        w.replyBuffer[0] = 'P';
        QVERIFY(w.processReply()); // "SQ" acknowledged: first Q packet built
        QCOMPARE(w.ui->pBar->minimum(), 0);
        QCOMPARE(w.ui->pBar->maximum(), 298);
        QCOMPARE(w.ui->pBar->value(), 60);
    }

    void updateDoesNothingUnlessReady()
    {
        MainWidget w;
        w.tDevScan->stop();
        w.file1Data = "abc";
        w.file2Data = "def";
        w.bUpdateClicked(); // not connected
        w.tDevScanTimeout();
        w.file2Data.clear();
        w.bUpdateClicked(); // file 2 missing
        w.file2Data = "def";
        w.file1Data.clear();
        w.bUpdateClicked(); // file 1 missing
        w.file1Data = "abc";
        w.updating = true;
        w.bUpdateClicked(); // already running
        QVERIFY(usbFake->written.isEmpty());
        QVERIFY(w.ui->bOpen1->isEnabled());
        QVERIFY(w.connected);
    }

    void replyWaitLimit()
    {
        // The reply is taken if seen by 5000 ms, and counts as a time-out if
        // it is first seen after that. The clock is read once at the start and
        // once after each queue check, 1000 ms apart.
        for (int seenAtCheck : {5, 6}) {
            MainWidget w;
            connectWithFiles(w, "ab", "cd");
            const int checksBefore = usbFake->checks;
            int reads = 0;
            MainWidget::clockMs = [&] {
                if (++reads == seenAtCheck)
                    usbFake->queue = "P";
                return qint64(reads - 1) * 1000;
            };
            QCOMPARE(w.receiveReply(), seenAtCheck == 5);
            QCOMPARE(usbFake->checks - checksBefore, seenAtCheck);
            if (seenAtCheck == 5) {
                QCOMPARE(w.replyBuffer[0], 'P');
                QVERIFY(boxes.isEmpty());
                QVERIFY(w.connected);
            } else {
                QCOMPARE(boxes.size(), 1);
                QCOMPARE(boxes[0].text, QString::fromUtf8("Превышено время ожидания пакета"));
                QVERIFY(!w.connected);
                boxes.clear();
            }
        }
    }

    void longReplyIsDrained()
    {
        MainWidget w;
        connectWithFiles(w, "ab", "cd");
        usbFake->queue = QByteArray(1, char(0xA3)) + QByteArray(600, 'x');
        QVERIFY(w.receiveReply());
        QCOMPARE(w.replyBuffer[0], char(0xA3));
        QVERIFY(usbFake->queue.isEmpty());
        QCOMPARE(usbFake->reads, 3);
        QVERIFY(w.processReply());
        QCOMPARE(w.packet, QByteArray("SQ"));
    }

    void fullTransfer_data()
    {
        QTest::addColumn<int>("size1");
        QTest::addColumn<int>("size2");
        QTest::newRow("121 + 300") << 121 << 300;
        QTest::newRow("1 + 1") << 1 << 1;
        QTest::newRow("60 + 61") << 60 << 61;
        QTest::newRow("4000 + 2500") << 4000 << 2500;
    }

    void fullTransfer()
    {
        QFETCH(int, size1);
        QFETCH(int, size2);
        UpdatePeer peer;
        usbFake->peer = &peer;
        MainWidget w;
        const QByteArray f1 = randomData(size1, 11);
        const QByteArray f2 = randomData(size2, 12);
        connectWithFiles(w, f1, f2);
        QList<int> progress;
        QList<bool> buttonsDuring;
        usbFake->onWrite = [&](int, const QByteArray&) {
            progress.append(w.ui->pBar->value());
            buttonsDuring.append(w.ui->bUpdate->isEnabled() || w.ui->bOpen1->isEnabled()
                                 || w.ui->bOpen2->isEnabled());
            QCOMPARE(w.ui->pBar->maximum(), progress.size() > 2 ? size1 + size2 - 2 : 100);
        };
        QTest::mouseClick(w.ui->bUpdate, Qt::LeftButton);

        QVERIFY(peer.finished());
        QCOMPARE(peer.sectionQ(), f1.left(size1 - 1));
        QCOMPARE(peer.sectionR(), f2.left(size2 - 1));
        QCOMPARE(peer.rejected(), 0);
        const int packets = 1 + 1 + qMax(1, (size1 - 1 + 59) / 60) + 1 + qMax(1, (size2 - 1 + 59) / 60) + 1;
        QCOMPARE(usbFake->written.size(), packets);
        QCOMPARE(usbFake->written.first(), QByteArray(1, char(0xA3)));
        QCOMPARE(usbFake->written.last(), QByteArray("U"));
        QVERIFY(!buttonsDuring.contains(true));
        QCOMPARE(progress.last(), size1 + size2 - 2); // the bar reached the end before "U"
        for (int i = 1; i < progress.size(); ++i)
            QVERIFY(progress[i] >= progress[i - 1]);

        // The restart reply ends it like a disconnection, without a box.
        QVERIFY(boxes.isEmpty());
        QVERIFY(!w.connected && !w.updating);
        QCOMPARE(w.ui->pBar->value(), 0);
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство отключено."));
        QVERIFY(w.ui->bOpen1->isEnabled() && w.ui->bOpen2->isEnabled());
        QCOMPARE(usbFake->closes, 1);
        QCOMPARE(usbFake->closedHandleUse, 0);
        QCOMPARE(w.file1Data, f1); // the files survive for a second run

        // Next scan connects again and the same update can run once more.
        w.tDevScanTimeout();
        QVERIFY(w.ui->bUpdate->isEnabled());
        peer.reset();
        usbFake->written.clear();
        usbFake->onWrite = nullptr;
        w.bUpdateClicked();
        QVERIFY(peer.finished());
        QCOMPARE(peer.sectionR(), f2.left(size2 - 1));
    }

    void oddRepliesDuringTransfer()
    {
        // "P" to the request and to the end packet repeats them; an echo inside
        // section R goes back to section Q at its current offset.
        MainWidget w;
        const QByteArray f1 = randomData(70, 3);
        const QByteArray f2 = randomData(130, 4);
        connectWithFiles(w, f1, f2);
        const QByteArray echo(1, char(0xA3));
        usbFake->script = {"P", echo, "P", "P", "P", "P", echo, "P", "P", "P", "P", "P", "P", "R"};
        w.bUpdateClicked();
        const QList<QByteArray>& s = usbFake->written;
        QCOMPARE(s.size(), 14);
        QCOMPARE(s[0], echo);
        QCOMPARE(s[1], echo);
        QCOMPARE(s[2], QByteArray("SQ"));
        QCOMPARE(s[3].left(2), bytes({'Q', 60}));
        QCOMPARE(s[4].left(2), bytes({'Q', 9}));
        QCOMPARE(s[5], QByteArray("SR"));
        QCOMPARE(s[6].left(2), bytes({'R', 60}));
        QCOMPARE(s[7], QByteArray("SQ")); // after the echo
        QCOMPARE(s[8], bytes({'Q', 0, quint8(~quint8('Q'))})); // section Q was complete
        QCOMPARE(s[9], QByteArray("SR"));
        QCOMPARE(s[10].left(2), bytes({'R', 60}));
        QCOMPARE(s[10].mid(2, 60), f2.mid(60, 60)); // R goes on from its offset
        QCOMPARE(s[11].left(2), bytes({'R', 9}));
        QCOMPARE(s[12], QByteArray("U"));
        QCOMPARE(s[13], QByteArray("U"));
        QVERIFY(!w.connected);
        QVERIFY(boxes.isEmpty());
    }

    void noReply()
    {
        UpdatePeer peer;
        peer.silentFrom = 5;
        usbFake->peer = &peer;
        MainWidget w;
        connectWithFiles(w, randomData(500, 5), randomData(500, 6));
        tick = 700;
        w.bUpdateClicked();
        QCOMPARE(usbFake->written.size(), 6);
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(int(boxes[0].kind), int(MainWidget::BoxKind::Critical));
        QCOMPARE(boxes[0].title, QString::fromUtf8("Критическая ошибка"));
        QCOMPARE(boxes[0].text, QString::fromUtf8("Превышено время ожидания пакета"));
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство отключено."));
        QCOMPARE(w.ui->pBar->value(), 0);
        QVERIFY(w.ui->bOpen1->isEnabled() && w.ui->bOpen2->isEnabled());
        QVERIFY(!w.ui->bUpdate->isEnabled());
        QVERIFY(!w.connected && !w.updating && !w.lastQChunkSent && !w.lastRChunkSent);
        QVERIFY(w.packet.isEmpty());
        QCOMPARE(w.qOffset + w.rOffset, 0);
        QCOMPARE(usbFake->closes, 1);
        QVERIFY(!w.file1Data.isEmpty()); // the files stay chosen
    }

    void failingCalls_data()
    {
        QTest::addColumn<int>("which"); // 0 write, 1 queue check, 2 read
        QTest::addColumn<QString>("text");
        QTest::newRow("write") << 0 << QString::fromUtf8("Невозможно отправить данные на устройство");
        QTest::newRow("queue check") << 1 << QString::fromUtf8("Невозможно получить статус USB очереди");
        QTest::newRow("read") << 2 << QString::fromUtf8("Невозможно прочитать данные с устройства");
    }

    void failingCalls()
    {
        QFETCH(int, which);
        QFETCH(QString, text);
        UpdatePeer peer;
        usbFake->peer = &peer;
        MainWidget w;
        connectWithFiles(w, randomData(300, 9), randomData(300, 10));
        // Fail in the middle of section Q.
        usbFake->onWrite = [&](int index, const QByteArray&) {
            if (index == 3) {
                quint32& st = which == 1 ? usbFake->checkStatus : usbFake->readStatus;
                st = usb::SYSTEM_ERROR_CODE;
            }
            if (index == 2 && which == 0)
                usbFake->writeStatus = usb::SYSTEM_ERROR_CODE;
        };
        bool connectedDuringBox = false;
        onBox = [&](const Box&) { connectedDuringBox = w.connected; };
        w.bUpdateClicked();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(int(boxes[0].kind), int(MainWidget::BoxKind::Critical));
        QCOMPARE(boxes[0].title, QString::fromUtf8("Критическая ошибка"));
        QCOMPARE(boxes[0].text, text);
        QVERIFY(connectedDuringBox); // the box comes first, then the disconnection
        QVERIFY(!w.connected && !w.updating);
        QCOMPARE(w.ui->pBar->value(), 0);
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство отключено."));
        QVERIFY(w.ui->bOpen1->isEnabled());
        QCOMPARE(usbFake->closes, 1);
        QCOMPARE(peer.finished(), false);
    }

    void unplugDuringSection_data()
    {
        QTest::addColumn<bool>("callsFail");
        QTest::newRow("scan notices first") << false;
        QTest::newRow("queue check fails") << true;
    }

    void unplugDuringSection()
    {
        // The instrument goes away after the third Q data packet. Either the
        // scan tick inside the reply wait notices it (status line only), or
        // the next call on the handle fails (its box). The handle is closed
        // once and not used after that.
        QFETCH(bool, callsFail);
        UpdatePeer peer;
        usbFake->peer = &peer;
        usbFake->callsFailWhenAbsent = callsFail;
        MainWidget w;
        connectWithFiles(w, randomData(400, 13), randomData(400, 14));
        int progressAtUnplug = -1;
        usbFake->onWrite = [&](int index, const QByteArray&) {
            if (index == 4) {
                progressAtUnplug = w.ui->pBar->value();
                usbFake->queue.clear();
                peer.silentFrom = 0;
                usbFake->present = false;
                QTimer::singleShot(0, &w, &MainWidget::tDevScanTimeout);
            }
        };
        w.bUpdateClicked();
        QCOMPARE(progressAtUnplug, 180); // counts the bytes put into packets, the one in flight too
        if (callsFail) {
            QCOMPARE(boxes.size(), 1);
            QCOMPARE(boxes[0].text, QString::fromUtf8("Невозможно получить статус USB очереди"));
        } else {
            QVERIFY(boxes.isEmpty());
        }
        QVERIFY(!w.connected && !w.updating);
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство отключено."));
        QCOMPARE(w.ui->pBar->value(), 0);
        QVERIFY(w.ui->bOpen1->isEnabled() && w.ui->bOpen2->isEnabled());
        QCOMPARE(usbFake->closes, 1);
        QCOMPARE(usbFake->closedHandleUse, 0);
        QCOMPARE(usbFake->written.size(), 5);
        QCOMPARE(peer.sectionQ().size(), 180);
        QCoreApplication::processEvents(); // the pending scan finds nothing to open
        QVERIFY(!w.connected);
        QCOMPARE(usbFake->closes, 1);
    }

    void unplugWhileBoxIsUp()
    {
        // A read failure's box is up while the scan finds the instrument gone:
        // the handle is still closed only once.
        UpdatePeer peer;
        usbFake->peer = &peer;
        MainWidget w;
        connectWithFiles(w, randomData(200, 15), randomData(200, 16));
        usbFake->onWrite = [&](int index, const QByteArray&) {
            if (index == 2)
                usbFake->readStatus = usb::SYSTEM_ERROR_CODE;
        };
        onBox = [&](const Box&) {
            usbFake->present = false;
            w.tDevScanTimeout();
        };
        w.bUpdateClicked();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(usbFake->closes, 1);
        QCOMPARE(usbFake->closedHandleUse, 0);
        QVERIFY(!w.connected);
    }

    void transferAgainstSimulator_data()
    {
        QTest::addColumn<int>("replyDelay");
        QTest::newRow("immediate replies") << 0;
        QTest::newRow("replies after 120 ms") << 120;
    }

    void transferAgainstSimulator()
    {
        // The simulated instrument on a driven clock: the window's wait moves
        // it 40 ms per reading, so delayed replies are waited for.
        QFETCH(int, replyDelay);
        auto owned = std::make_unique<SimBackend>();
        SimBackend* sim = owned.get();
        usb::setBackend(std::move(owned));
        sim->setReplyDelay(replyDelay);
        MainWidget::clockMs = [sim] {
            sim->advance(40);
            return sim->now_ms();
        };
        MainWidget w;
        w.tDevScan->stop();
        const QByteArray f1 = randomData(1000, 21);
        const QByteArray f2 = randomData(777, 22);
        w.file1Data = f1;
        w.file2Data = f2;
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        w.bUpdateClicked();

        // Everything but each file's last byte arrived, checked, in order.
        const UpdatePeer& peer = sim->updatePeer();
        QVERIFY(peer.finished());
        QCOMPARE(peer.sectionQ(), f1.left(f1.size() - 1));
        QCOMPARE(peer.sectionR(), f2.left(f2.size() - 1));
        QCOMPARE(peer.rejected(), 0);
        QVERIFY(boxes.isEmpty());
        QVERIFY(!w.connected);
        QCOMPARE(w.ui->lStatus->text(), QString::fromUtf8("Устройство отключено."));

        // The instrument restarts: away for a while, then found again.
        w.tDevScanTimeout();
        QVERIFY(!w.connected);
        sim->advance(SimBackend::RESTART_MS + 1000);
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        QVERIFY(!sim->inUpdateMode());
        QVERIFY(w.ui->bUpdate->isEnabled());
    }

    void unplugAgainstSimulator()
    {
        // Cable pulled in the middle of section R: the queue check fails with
        // its box. Plugged in again, the same files go out from the start.
        auto owned = std::make_unique<SimBackend>();
        SimBackend* sim = owned.get();
        usb::setBackend(std::move(owned));
        bool pull = true;
        MainWidget::clockMs = [&] {
            sim->advance(40);
            // Packets so far: request, SQ, 9 Q packets, SR, 2 R packets.
            if (pull && sim->updatePeer().packetsHandled() == 14) {
                sim->unplug();
                pull = false;
            }
            return sim->now_ms();
        };
        MainWidget w;
        w.tDevScan->stop();
        w.file1Data = randomData(541, 31);
        w.file2Data = randomData(541, 32);
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        w.bUpdateClicked();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QString::fromUtf8("Критическая ошибка"));
        QCOMPARE(boxes[0].text, QString::fromUtf8("Невозможно получить статус USB очереди"));
        QVERIFY(!w.connected && !w.updating);
        QCOMPARE(w.ui->pBar->value(), 0);
        QVERIFY(w.ui->bOpen1->isEnabled() && w.ui->bOpen2->isEnabled());
        QCOMPARE(sim->updatePeer().sectionR().size(), 120);

        sim->plug();
        sim->updatePeer().reset();
        w.tDevScanTimeout();
        QVERIFY(w.connected);
        boxes.clear();
        w.bUpdateClicked();
        QVERIFY(boxes.isEmpty());
        QVERIFY(sim->updatePeer().finished());
        QCOMPARE(sim->updatePeer().sectionQ(), w.file1Data.left(540));
        QCOMPARE(sim->updatePeer().sectionR(), w.file2Data.left(540));
    }

    void destructionClosesHandle()
    {
        {
            MainWidget w;
            w.tDevScan->stop();
            w.tDevScanTimeout();
            QVERIFY(w.connected);
        }
        QCOMPARE(usbFake->closes, 1);
        {
            MainWidget w;
        }
        QCOMPARE(usbFake->closes, 1);
    }
};

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
