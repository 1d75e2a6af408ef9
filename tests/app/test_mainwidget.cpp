// The main window as controller: title, buttons, configuration requests and
// the wiring between it and the device link.

#include "device.h"
#include "mainmenu.h"
#include "mainwidget.h"
#include "proto.h"
#include "usb.h"

#include <QApplication>
#include <QFrame>
#include <QLayout>
#include <QMetaMethod>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
const QString kTitle = QString::fromUtf8("Удаленное Управление КЕЛМ Е1/Е10");
const QString kConnected = QString::fromUtf8("Подключен");
} // namespace

class TestMainWidget : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void metaObjectLayout();
    void formAndWindow();
    void titleNamesTheModel_data();
    void titleNamesTheModel();
    void titleIsBuiltAfreshOnEachConnection();
    void connectionAsksForBothConfigurations();
    void disconnectionTouchesOnlyTitleAndButtons();
    void buttonsFollowTestRunning_data();
    void buttonsFollowTestRunning();
    void configurationOfAnyChannelUpdatesButtons_data();
    void configurationOfAnyChannelUpdatesButtons();
    void resultsAskForConfigurationOnBitZero_data();
    void resultsAskForConfigurationOnBitZero();
    void deviceSignalsReachTheWindow();
    void startAndStopToggleTheTest();
    void exitButtonClosesOnlyTheMainWindow();
    void instrumentThatCannotBeOpenedIsNamedInTheTitle();

private:
    MainWidget* w = nullptr;
    QPushButton* bStart = nullptr;
    QPushButton* bStop = nullptr;
    QPushButton* bExit = nullptr;
};

void TestMainWidget::init()
{
    w = new MainWidget;
    // Nothing scans or polls in these tests; the slots are driven directly.
    w->device->scan_timer->stop();
    bStart = w->findChild<QPushButton*>("bStart");
    bStop = w->findChild<QPushButton*>("bStop");
    bExit = w->findChild<QPushButton*>("bExit");
    QVERIFY(bStart && bStop && bExit);
}

void TestMainWidget::cleanup()
{
    delete w;
    w = nullptr;
}

void TestMainWidget::metaObjectLayout()
{
    const QMetaObject* mo = w->metaObject();
    QStringList own;
    for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
        const QMetaMethod m = mo->method(i);
        own << QString("%1 %2").arg(m.methodType() == QMetaMethod::Signal ? "signal" : "slot",
                                    QString::fromLatin1(m.methodSignature()));
    }
    QCOMPARE(own, QStringList({"signal get_cfg(uchar)", "slot dev_test_state()", "slot dev_conn()",
                               "slot dev_disc()", "slot cfg_rcv(uchar)", "slot res_rcv(uchar)",
                               "slot dev_open_failed(QString)"}));
}

void TestMainWidget::formAndWindow()
{
    QCOMPARE(w->windowTitle(), kTitle);
    QCOMPARE(w->minimumSize(), QSize(900, 705));
    QCOMPARE(w->maximumSize(), QSize(900, 705));
    QCOMPARE(w->size(), QSize(900, 705));

    const Qt::WindowFlags f = w->windowFlags();
    QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
    QVERIFY(f & Qt::WindowMinimizeButtonHint);
    QVERIFY(f & Qt::WindowCloseButtonHint);
    QVERIFY(f & Qt::WindowTitleHint);

    const QRect a = w->screen()->availableGeometry();
    QCOMPARE(w->pos(), QPoint((a.left() + a.right()) / 2 - 450, (a.top() + a.bottom()) / 2 - 705 / 2));

    QCOMPARE(bStart->text(), QString::fromUtf8("Старт"));
    QCOMPARE(bStop->text(), QString::fromUtf8("Стоп"));
    QCOMPARE(bExit->text(), QString::fromUtf8("Выход"));
    QVERIFY(!bStart->isEnabled());
    QVERIFY(!bStop->isEnabled());
    QVERIFY(bExit->isEnabled());
    QVERIFY(bStart->styleSheet().isEmpty() && bStop->styleSheet().isEmpty());

    // The menu sits above both columns, translated by the installed catalogue.
    QCOMPARE(w->layout()->menuBar(), static_cast<QWidget*>(w->menu));
    QCOMPARE(w->menu->aExit->text(), QString::fromUtf8("Выход"));

    // Columns the panels go into, and the button row at the bottom right.
    for (const char* name : {"fLeft", "frame_2", "fRight", "frame_3"})
        QVERIFY2(w->findChild<QFrame*>(name), name);
    auto* top = qobject_cast<QHBoxLayout*>(w->layout());
    QVERIFY(top);
    QCOMPARE(top->spacing(), 2);
    QCOMPARE(top->itemAt(0)->widget()->objectName(), QString("fLeft"));
    QCOMPARE(top->itemAt(1)->widget()->objectName(), QString("frame_2"));
    QCOMPARE(bExit->parentWidget()->objectName(), QString("frame_3"));
    QCOMPARE(w->findChild<QFrame*>("frame_3")->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(w->device->parent(), nullptr);
}

void TestMainWidget::titleNamesTheModel_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("7") << 7 << " - KELM-E1 ";
    QTest::newRow("9") << 9 << " - KELM-E10 ";
    QTest::newRow("10") << 10 << " - KELM-E1+ ";
    QTest::newRow("0") << 0 << " - KELM-E?? ";
    QTest::newRow("8") << 8 << " - KELM-E?? ";
    QTest::newRow("255") << 255 << " - KELM-E?? ";
}

void TestMainWidget::titleNamesTheModel()
{
    QFETCH(int, id);
    QFETCH(QString, suffix);
    w->device->device_id = quint8(id);
    w->dev_conn();
    QCOMPARE(w->windowTitle(), kTitle + suffix + kConnected);
}

void TestMainWidget::titleIsBuiltAfreshOnEachConnection()
{
    w->device->device_id = 9;
    w->dev_conn();
    w->device->device_id = 10;
    w->dev_conn();
    w->dev_conn();
    QCOMPARE(w->windowTitle(), QString::fromUtf8("Удаленное Управление КЕЛМ Е1/Е10 - KELM-E1+ Подключен"));
    w->dev_disc();
    QCOMPARE(w->windowTitle(), kTitle);
}

void TestMainWidget::connectionAsksForBothConfigurations()
{
    QSignalSpy spy(w, &MainWidget::get_cfg);
    w->device->cmd_queue.clear();
    w->dev_conn();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).value<uchar>(), uchar(0));
    QCOMPARE(spy.at(1).at(0).value<uchar>(), uchar(1));
    // The requests reach the device link: channel A's configuration first.
    QCOMPARE(w->device->cmd_queue.size(), 2);
    QCOMPARE(w->device->cmd_queue.at(0), w->device->proto->encode(0x88, 0));
    QCOMPARE(w->device->cmd_queue.at(1), w->device->proto->encode(0xC8, 0));
    // Buttons wait for a configuration or a test-state report.
    QVERIFY(!bStart->isEnabled());
    QVERIFY(!bStop->isEnabled());
}

void TestMainWidget::disconnectionTouchesOnlyTitleAndButtons()
{
    w->device->device_id = 7;
    w->dev_conn();
    w->device->common.test_running = 1;
    w->dev_test_state();
    QVERIFY(bStop->isEnabled());
    w->device->cmd_queue.clear();
    QSignalSpy spy(w, &MainWidget::get_cfg);

    w->dev_disc();
    QCOMPARE(w->windowTitle(), kTitle);
    QVERIFY(!bStart->isEnabled());
    QVERIFY(!bStop->isEnabled());
    QVERIFY(bExit->isEnabled());
    QCOMPARE(spy.count(), 0);
    QVERIFY(w->device->cmd_queue.isEmpty());
    QCOMPARE(w->device->common.test_running, quint8(1));
}

void TestMainWidget::buttonsFollowTestRunning_data()
{
    QTest::addColumn<int>("running");
    QTest::newRow("stopped") << 0;
    QTest::newRow("running") << 1;
    QTest::newRow("any non-zero") << 0x80;
}

void TestMainWidget::buttonsFollowTestRunning()
{
    QFETCH(int, running);
    w->device->common.test_running = quint8(running);
    w->dev_test_state();
    QCOMPARE(bStart->isEnabled(), running == 0);
    QCOMPARE(bStop->isEnabled(), running != 0);
    // And back.
    w->device->common.test_running = running ? 0 : 1;
    w->dev_test_state();
    QCOMPARE(bStart->isEnabled(), running != 0);
    QCOMPARE(bStop->isEnabled(), running == 0);
}

void TestMainWidget::configurationOfAnyChannelUpdatesButtons_data()
{
    QTest::addColumn<int>("channel");
    QTest::newRow("A") << 0;
    QTest::newRow("B") << 1;
    QTest::newRow("2 counts as B") << 2;
    QTest::newRow("255 counts as B") << 255;
}

void TestMainWidget::configurationOfAnyChannelUpdatesButtons()
{
    QFETCH(int, channel);
    QSignalSpy spy(w, &MainWidget::get_cfg);
    w->device->common.test_running = 1;
    w->cfg_rcv(uchar(channel));
    QVERIFY(!bStart->isEnabled());
    QVERIFY(bStop->isEnabled());
    w->device->common.test_running = 0;
    w->cfg_rcv(uchar(channel));
    QVERIFY(bStart->isEnabled());
    QVERIFY(!bStop->isEnabled());
    QCOMPARE(spy.count(), 0);
}

void TestMainWidget::resultsAskForConfigurationOnBitZero_data()
{
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("flagsA");
    QTest::addColumn<int>("flagsB");
    QTest::addColumn<int>("expected"); // number of get_cfg(channel)
    QTest::newRow("A bit 0") << 0 << 0x01 << 0x00 << 1;
    QTest::newRow("A all bits") << 0 << 0xFF << 0x00 << 1;
    QTest::newRow("A bits 1-7") << 0 << 0xFE << 0xFF << 0;
    QTest::newRow("A, only B flagged") << 0 << 0x00 << 0x01 << 0;
    QTest::newRow("B bit 0") << 1 << 0x00 << 0x01 << 1;
    QTest::newRow("B bits 1-7") << 1 << 0xFF << 0xFE << 0;
    QTest::newRow("B, only A flagged") << 1 << 0x01 << 0x00 << 0;
    QTest::newRow("2 reads B") << 2 << 0x00 << 0x03 << 1;
    QTest::newRow("2 ignores A") << 2 << 0x01 << 0x00 << 0;
}

void TestMainWidget::resultsAskForConfigurationOnBitZero()
{
    QFETCH(int, channel);
    QFETCH(int, flagsA);
    QFETCH(int, flagsB);
    QFETCH(int, expected);
    w->device->results[0].status_flags = quint8(flagsA);
    w->device->results[1].status_flags = quint8(flagsB);
    w->device->cmd_queue.clear();
    QSignalSpy spy(w, &MainWidget::get_cfg);
    w->res_rcv(uchar(channel));
    QCOMPARE(spy.count(), expected);
    QCOMPARE(w->device->cmd_queue.size(), expected);
    if (expected) {
        QCOMPARE(spy.at(0).at(0).value<uchar>(), uchar(channel));
        QCOMPARE(w->device->cmd_queue.at(0), w->device->proto->encode(channel == 0 ? 0x88 : 0xC8, 0));
    }
    // Results never switch the buttons.
    QVERIFY(!bStart->isEnabled());
    QVERIFY(!bStop->isEnabled());
}

void TestMainWidget::deviceSignalsReachTheWindow()
{
    Device* d = w->device;
    d->device_id = 10;
    emit d->dev_conn();
    QCOMPARE(w->windowTitle(), kTitle + " - KELM-E1+ " + kConnected);

    d->common.test_running = 0;
    emit d->cfg_rcv(0);
    QVERIFY(bStart->isEnabled());

    d->common.test_running = 1;
    emit d->dev_test_state();
    QVERIFY(bStop->isEnabled());
    QVERIFY(!bStart->isEnabled());

    d->results[1].status_flags = 1;
    QSignalSpy spy(w, &MainWidget::get_cfg);
    emit d->res_rcv(1);
    QCOMPARE(spy.count(), 1);

    emit d->dev_disc();
    QCOMPARE(w->windowTitle(), kTitle);
    QVERIFY(!bStop->isEnabled());
}

void TestMainWidget::startAndStopToggleTheTest()
{
    Device* d = w->device;
    d->cmd_queue.clear();
    d->common.test_running = 0;
    w->dev_test_state();
    QByteArray toggle = d->proto->encode(0x0E, 0);
    QTest::mouseClick(bStart, Qt::LeftButton);
    QCOMPARE(d->cmd_queue.size(), 1);
    QCOMPARE(d->cmd_queue.at(0), toggle);
    // Disabled Stop does nothing.
    QTest::mouseClick(bStop, Qt::LeftButton);
    QCOMPARE(d->cmd_queue.size(), 1);

    d->common.test_running = 1;
    w->dev_test_state();
    toggle = d->proto->encode(0x0E, 0);
    QTest::mouseClick(bStop, Qt::LeftButton);
    QCOMPARE(d->cmd_queue.size(), 2);
    QCOMPARE(d->cmd_queue.at(1), toggle);
    QTest::mouseClick(bStart, Qt::LeftButton);
    QCOMPARE(d->cmd_queue.size(), 2);
}

// bExit closes the main window only; with the event loop running, as in the
// program, that ends the loop although a tool window (as the records-table and
// histograms windows are) is still open.
void TestMainWidget::exitButtonClosesOnlyTheMainWindow()
{
    QWidget tool(nullptr, Qt::Tool);
    w->menu->set_table_window(&tool);
    w->show();
    tool.show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QTest::mouseClick(bExit, Qt::LeftButton);
    QVERIFY(!w->isVisible());
    QVERIFY(tool.isVisible());

    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    QSignalSpy last(qApp, &QGuiApplication::lastWindowClosed);
    QTimer::singleShot(0, bExit, [this] { QTest::mouseClick(bExit, Qt::LeftButton); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QCOMPARE(last.count(), 1);
    QVERIFY(!w->isVisible());
}

namespace {
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

void TestMainWidget::instrumentThatCannotBeOpenedIsNamedInTheTitle()
{
    usb::setBackend(std::make_unique<LockedBackend>());
    QTest::ignoreMessage(QtDebugMsg, "256 \"SI_Open\" Not implemented yet.");
    QTest::ignoreMessage(QtDebugMsg, "SI_Open: \"permission denied\"");
    w->device->tDevScanTimeout();
    usb::setBackend(nullptr);
    QCOMPARE(w->windowTitle(),
             kTitle + QString::fromUtf8(" - Прибор найден, но не открывается (нет доступа или занят)"));
    QVERIFY(!bStart->isEnabled());
    // Scanning stays halted, as after any failed open.
    QVERIFY(!w->device->scan_timer->isActive());
    QVERIFY(!w->device->connected);
}

QTEST_MAIN(TestMainWidget)
#include "test_mainwidget.moc"
