// The main window as controller: title, buttons and configuration requests,
// driven through the device link's signals as in the program.

#include "app/mainwidget.h"
#include "device/device.h"
#include "panels/transmissionframe.h"
#include "proto/proto.h"
#include "records/tableform.h"
#include "usb/usb.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QTimer>

namespace {
const QString kTitle = QString::fromUtf8("Удаленное Управление КЕЛМ Е1/Е10");
const QString kConnected = QString::fromUtf8("Подключен");

// One instrument on the bus that refuses to be opened, as without permission.
class LockedBackend : public usb::Backend {
public:
    quint32 getNumDevices(quint32* count) override { *count = 1; return usb::SUCCESS; }
    quint32 getDeviceString(quint32, char*, quint32) override { return usb::DEVICE_NOT_FOUND; }
    quint32 open(quint32, usb::Handle*) override { return usb::DEVICE_NOT_ACCESSIBLE; }
    quint32 close(usb::Handle) override { return usb::SUCCESS; }
    quint32 beforeWrite(usb::Handle, quint8, quint8) override { return usb::INVALID_HANDLE; }
    quint32 write(usb::Handle, const void*, quint32, quint32*) override { return usb::INVALID_HANDLE; }
    quint32 checkRXQueue(usb::Handle, quint32*, quint32*) override { return usb::INVALID_HANDLE; }
    quint32 read(usb::Handle, void*, quint32, quint32*) override { return usb::INVALID_HANDLE; }
    std::string lastOpenError() const override { return "permission denied"; }
};
} // namespace

class TstMainWidget : public QObject {
    Q_OBJECT
    MainWidget* w = nullptr;
    Device* d = nullptr;
    QPushButton *bStart = nullptr, *bStop = nullptr, *bExit = nullptr;

    QByteArray request(int ch) { return d->proto->encode(ch == 0 ? 0x88 : 0xC8, 0); }
    static int shownCode(QWidget* panel) { return panel->findChild<QComboBox*>("cbCode")->currentIndex(); }

private slots:
    void init()
    {
        w = new MainWidget;
        d = w->device;
        d->scan_timer->stop(); // nothing scans or polls; the signals are emitted by hand
        bStart = w->findChild<QPushButton*>("bStart");
        bStop = w->findChild<QPushButton*>("bStop");
        bExit = w->findChild<QPushButton*>("bExit");
        QVERIFY(bStart && bStop && bExit);
    }
    void cleanup() { delete w; }

    void standardButtonsInRussian() // Qt's own texts, as in the file dialogs
    {
        const QDialogButtonBox box(QDialogButtonBox::Save | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(box.Save)->text() + box.button(box.Cancel)->text(), QString::fromUtf8("СохранитьОтмена"));
    }

    // Each connection builds the title afresh and asks for both configurations, channel A first.
    void titleIsBuiltAfreshOnEachConnection()
    {
        const std::pair<int, const char*> rows[] = {{7, " - KELM-E1 "}, {9, " - KELM-E10 "}, {10, " - KELM-E1+ "},
                                                    {0, " - KELM-E?? "}, {8, " - KELM-E?? "}, {255, " - KELM-E?? "}};
        for (const auto& [id, model] : rows) {
            d->device_id = quint8(id);
            d->cmd_queue.clear();
            QSignalSpy spy(w, &MainWidget::get_cfg);
            emit d->dev_conn();
            QCOMPARE(w->windowTitle(), kTitle + model + kConnected);
            QCOMPARE(spy.count(), 2);
            QCOMPARE(d->cmd_queue, (QList<QByteArray>{request(0), request(1)}));
        }
    }

    // Channel 0 reloads channel A's panels, any other channel B's; the buttons follow
    // test_running; a disconnection touches the title and the buttons only.
    void configurationThenDisconnection()
    {
        for (int channel : {0, 255}) {
            cleanup();
            init();
            d->tx[0].line_code = d->tx[1].line_code = 1;
            d->common.test_running = 1;
            emit d->cfg_rcv(uchar(channel));
            QCOMPARE(shownCode(channel == 0 ? w->tx_b : w->tx_a), 0);
            QVERIFY(!bStart->isEnabled() && bStop->isEnabled());
            d->common.test_running = 0;
            emit d->cfg_rcv(uchar(channel));
            QVERIFY(bStart->isEnabled() && !bStop->isEnabled());
            d->common.test_running = 0x80; // a test-state report; any non-zero value means running
            emit d->dev_test_state();
            QVERIFY(!bStart->isEnabled() && bStop->isEnabled());

            w->setWindowTitle("connected");
            d->cmd_queue.clear();
            emit d->dev_disc();
            QCOMPARE(w->windowTitle(), kTitle);
            QVERIFY(!bStart->isEnabled() && !bStop->isEnabled() && bExit->isEnabled());
            QVERIFY(d->cmd_queue.isEmpty() && d->common.test_running == 0x80);
            QCOMPARE(shownCode(channel == 0 ? w->tx_a : w->tx_b), 1);
        }
    }

    // The records table is emptied only when the device link empties its list.
    void recordsGoOnlyWhenTheLinkClearsThem()
    {
        d->records = {TableRecord{0}, TableRecord{1}, TableRecord{2}};
        w->table->table_rec_rcv();
        const QAbstractItemModel* t = w->table->findChild<QTableView*>("tRes")->model();
        d->common.test_running = 1;
        emit d->dev_conn();
        emit d->cfg_rcv(0);
        emit d->dev_test_state();
        QVERIFY(t->rowCount() == 3 && d->records.size() == 3);
        emit d->records_cleared();
        QVERIFY(t->rowCount() == 0 && d->records.isEmpty());
    }

    void resultsAskForConfigurationOnBitZero()
    {
        // {channel, status flags A, status flags B, get_cfg(channel) expected}
        const int rows[][4] = {{0, 0xFF, 0, 1}, {0, 0xFE, 0xFF, 0}, {1, 1, 0, 0}, {1, 0, 1, 1}, {2, 0, 3, 1}};
        for (const auto& r : rows) {
            d->results[0].status_flags = quint8(r[1]);
            d->results[1].status_flags = quint8(r[2]);
            d->cmd_queue.clear();
            QSignalSpy spy(w, &MainWidget::get_cfg);
            emit d->res_rcv(uchar(r[0]));
            QCOMPARE(spy.count(), r[3]);
            QCOMPARE(d->cmd_queue, r[3] ? QList<QByteArray>{request(r[0])} : QList<QByteArray>{});
        }
        QVERIFY(!bStart->isEnabled() && !bStop->isEnabled()); // results never switch the buttons
    }

    // bExit closes the main window only, and that ends the loop though a tool window is open.
    void exitButtonClosesOnlyTheMainWindow()
    {
        QWidget tool(nullptr, Qt::Tool);
        tool.show();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTest::mouseClick(bExit, Qt::LeftButton);
        QVERIFY(!w->isVisible() && tool.isVisible());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QTimer::singleShot(0, bExit, [this] { QTest::mouseClick(bExit, Qt::LeftButton); });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(1); }); // watchdog
        QCOMPARE(QApplication::exec(), 0);
    }

    void instrumentThatCannotBeOpenedIsNamedInTheTitle()
    {
        usb::setBackend(std::make_unique<LockedBackend>());
        QTest::ignoreMessage(QtDebugMsg, "256 \"SI_Open\" Not implemented yet.");
        QTest::ignoreMessage(QtDebugMsg, "SI_Open: \"permission denied\"");
        d->tDevScanTimeout();
        usb::setBackend(nullptr);
        QCOMPARE(w->windowTitle(),
                 kTitle + QString::fromUtf8(" - Прибор найден, но не открывается (нет доступа или занят)"));
        QVERIFY(!bStart->isEnabled() && !d->connected);
        QVERIFY(!d->scan_timer->isActive()); // scanning stays halted, as after any failed open
    }
};

QTEST_MAIN(TstMainWidget)
#include "tst_mainwidget.moc"
