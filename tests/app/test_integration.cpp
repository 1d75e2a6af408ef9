// The whole program against the simulated instrument: the main window with
// every panel and window, its device link on a simulated USB bus, and time in
// the hands of the test. The link's timers keep their running state but never
// fire by themselves; each 10 ms step moves the instrument's clock and runs
// the timer slots that would have fired, so nothing here sleeps.

#include "device.h"
#include "g821form.h"
#include "histogramsform.h"
#include "mainmenu.h"
#include "mainwidget.h"
#include "receiveframe.h"
#include "resultframe.h"
#include "settingsframe.h"
#include "simbackend.h"
#include "tableform.h"
#include "transmissionframe.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

const QString kTitle = QString::fromUtf8("Удаленное Управление КЕЛМ Е1/Е10");
const QString kConnected = kTitle + QString::fromUtf8(" - KELM-E1+ Подключен");

// Swallows the timer events of the link's timers: whether a timer runs is
// still the link's decision (start/stop), but when it fires is the test's.
class TimerGate : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* e) override { return e->type() == QEvent::Timer; }
};

// A click where the user would click: on the indicator of a check box, in the
// middle of anything else.
void click(QAbstractButton* b)
{
    const bool box = qobject_cast<QCheckBox*>(b) != nullptr;
    QTest::mouseClick(b, Qt::LeftButton, Qt::NoModifier, box ? QPoint(7, b->height() / 2) : b->rect().center());
}

// Frame codes the host wrote, in order.
QList<int> codes(const QList<QByteArray>& frames)
{
    QList<int> out;
    for (const QByteArray& f : frames)
        out << (f.size() > 2 ? quint8(f.at(2)) : -1);
    return out;
}

} // namespace

class TestIntegration : public QObject {
    Q_OBJECT

    SimBackend* sim = nullptr;
    MainWidget* w = nullptr;
    Device* dev = nullptr;
    TimerGate* gate = nullptr;
    QStringList warnings;
    std::function<qint64()> saved_clock;
    std::function<void(const QString&)> saved_box;
    QPushButton* bStart = nullptr;
    QPushButton* bStop = nullptr;

    template <class T>
    static T* in(QObject* parent, const char* name)
    {
        T* child = parent->findChild<T*>(name);
        if (!child)
            qFatal("no widget %s", name);
        return child;
    }
    QTableWidget* table() { return in<QTableWidget>(w->table, "tRes"); }

    // One 10 ms tick: the instrument's clock, then the slots whose timers are due.
    void step()
    {
        sim->advance(10);
        if (sim->now_ms() % 1000 == 0) {
            if (dev->scan_timer->isActive())
                dev->tDevScanTimeout();
            if (dev->res_timer->isActive())
                dev->tDevResTimeout();
        }
        if (dev->io_timer->isActive())
            dev->tDevIOTimeout();
    }
    void run(qint64 ms)
    {
        for (qint64 t = 0; t < ms; t += 10)
            step();
    }
    bool runUntil(const std::function<bool()>& done, qint64 limit_ms)
    {
        for (qint64 t = 0; t < limit_ms; t += 10) {
            if (done())
                return true;
            step();
        }
        return done();
    }
    // Connected, both configurations read, nothing left to send.
    bool connectFully()
    {
        return runUntil([this] { return dev->connected && !dev->raw_cfg[0].isEmpty() && !dev->raw_cfg[1].isEmpty()
                                        && dev->cmd_queue.isEmpty() && !dev->awaiting_reply; },
                        3000);
    }
    // Runs until the link has announced `count` configurations of any channel.
    bool awaitConfigurations(QSignalSpy& spy, int count) { return runUntil([&] { return spy.count() >= count; }, 3000); }

private slots:
    void init();
    void cleanup();

    void connectionShowsTheInstrumentsConfiguration();
    void configurationRefreshesTheChannelsPanels();
    void aMinuteOfTestFillsTableChartsAndResults();
    void settingChangedInAPanelComesBack();
    void unplugKeepsThePanelsAndPlugReconnects();
    void menuExitClosesEveryWindow();
};

void TestIntegration::init()
{
    auto s = std::make_unique<SimBackend>();
    sim = s.get();
    sim->instrument().setNoise(false);
    usb::setBackend(std::move(s));
    saved_clock = Device::clock_ms;
    saved_box = Device::warning_box;
    SimBackend* clock = sim;
    Device::clock_ms = [clock] { return clock->now_ms(); };
    warnings.clear();
    Device::warning_box = [this](const QString& text) { warnings << text; };

    w = new MainWidget;
    dev = w->device;
    gate = new TimerGate(w);
    for (QTimer* t : {dev->scan_timer, dev->io_timer, dev->res_timer})
        t->installEventFilter(gate);
    bStart = in<QPushButton>(w, "bStart");
    bStop = in<QPushButton>(w, "bStop");
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
}

void TestIntegration::cleanup()
{
    delete w;
    w = nullptr;
    usb::setBackend(nullptr);
    Device::clock_ms = saved_clock;
    Device::warning_box = saved_box;
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
}

void TestIntegration::connectionShowsTheInstrumentsConfiguration()
{
    // An instrument whose settings differ from every panel's defaults:
    // sequence 5, 42 minutes, CRC-4 on for channel A only.
    SimInstrument& inst = sim->instrument();
    inst.setConfigByte(0, 19, quint8((inst.config(0).at(19) & ~0x1C) | (5 << 2)));
    inst.setConfigByte(0, 9, 42);
    inst.setConfigByte(1, 0, 0x09);

    QCOMPARE(w->windowTitle(), kTitle);
    QVERIFY(!bStart->isEnabled() && !bStop->isEnabled());

    // The buttons wait for the configuration; the title does not.
    bool start_at_conn = true;
    QString title_at_conn;
    connect(dev, &Device::dev_conn, this, [&] {
        start_at_conn = bStart->isEnabled();
        title_at_conn = w->windowTitle();
    });
    QVERIFY(connectFully());
    QCOMPARE(title_at_conn, kConnected);
    QVERIFY(!start_at_conn);

    QCOMPARE(w->windowTitle(), kConnected);
    // Identification, then the configurations of A and of B.
    QCOMPARE(codes(sim->received()).mid(0, 3), QList<int>({0x8A, 0x88, 0xC8}));

    QCOMPARE(in<QComboBox>(w->settings, "cbPCP")->currentIndex(), 5);
    QCOMPARE(in<QLineEdit>(w->settings, "lMin")->text(), QString("42"));
    QVERIFY(in<QCheckBox>(w->settings, "cbRxTxSettings")->isChecked());
    QVERIFY(in<QCheckBox>(w->tx_a, "cbCRC4")->isChecked());
    QVERIFY(in<QCheckBox>(w->rx_a, "cbCRC4")->isChecked());
    QVERIFY(!in<QCheckBox>(w->tx_b, "cbCRC4")->isChecked());
    QVERIFY(!in<QCheckBox>(w->rx_b, "cbCRC4")->isChecked());
    QCOMPARE(in<QComboBox>(w->tx_a, "cbCode")->currentIndex(), 1); // HDB-3

    QVERIFY(bStart->isEnabled());
    QVERIFY(!bStop->isEnabled());

    // The polls begin: the results panels show the receivers' signal.
    run(2000);
    QVERIFY(in<QLineEdit>(w->rx_a, "lSignalFreq")->text().startsWith(QString::number(dev->results[0].signal_freq) + ' '));
    QVERIFY(dev->results[0].signal_freq > 0);
}

// Channel B's configuration reloads only channel B's panels; channel A's
// reloads the receiver, then the transmitter, then the common settings.
void TestIntegration::configurationRefreshesTheChannelsPanels()
{
    QVERIFY(connectFully());
    QComboBox* pcp = in<QComboBox>(w->settings, "cbPCP");
    QCheckBox* rxA = in<QCheckBox>(w->rx_a, "cbCRC4");
    QCheckBox* txA = in<QCheckBox>(w->tx_a, "cbCRC4");
    QCheckBox* rxB = in<QCheckBox>(w->rx_b, "cbCRC4");
    QCheckBox* txB = in<QCheckBox>(w->tx_b, "cbCRC4");
    QCOMPARE(pcp->currentIndex(), 2);
    QVERIFY(rxA->isChecked() && txA->isChecked() && rxB->isChecked() && txB->isChecked());

    // Each panel's reload shows as a change of one of its widgets.
    QStringList log;
    connect(rxA, &QCheckBox::toggled, this, [&] { log << "RX A"; });
    connect(txA, &QCheckBox::toggled, this, [&] { log << "TX A"; });
    connect(rxB, &QCheckBox::toggled, this, [&] { log << "RX B"; });
    connect(txB, &QCheckBox::toggled, this, [&] { log << "TX B"; });
    bool rxA_at_settings = true, txA_at_settings = true;
    connect(pcp, &QComboBox::currentIndexChanged, this, [&] {
        log << "settings";
        rxA_at_settings = rxA->isChecked();
        txA_at_settings = txA->isChecked();
    });

    // CRC-4 off on the instrument for both channels, another sequence.
    SimInstrument& inst = sim->instrument();
    inst.setConfigByte(0, 0, 0x09);
    inst.setConfigByte(1, 0, 0x09);
    inst.setConfigByte(0, 19, quint8((inst.config(0).at(19) & ~0x1C) | (3 << 2)));
    // A sequence in the model that the settings panel would show if reloaded.
    dev->common.seq_type = 6;

    QSignalSpy cfg(dev, &Device::cfg_rcv);
    emit w->get_cfg(1);
    QVERIFY(awaitConfigurations(cfg, 1));
    QCOMPARE(cfg.at(0).at(0).value<uchar>(), uchar(1));
    QCOMPARE(log, QStringList({"RX B", "TX B"}));
    QCOMPARE(pcp->currentIndex(), 2);
    QVERIFY(rxA->isChecked() && txA->isChecked());

    log.clear();
    emit w->get_cfg(0);
    QVERIFY(awaitConfigurations(cfg, 2));
    QCOMPARE(cfg.at(1).at(0).value<uchar>(), uchar(0));
    QCOMPARE(log, QStringList({"RX A", "TX A", "settings"}));
    // Both channel A panels showed the new configuration before the settings
    // panel was reloaded.
    QVERIFY(!rxA_at_settings);
    QVERIFY(!txA_at_settings);
    QCOMPARE(pcp->currentIndex(), 3);
    QCOMPARE(dev->common.seq_type, quint8(3));
}

void TestIntegration::aMinuteOfTestFillsTableChartsAndResults()
{
    QVERIFY(connectFully());
    run(2000);
    // Idle polls already brought the instrument's record 0 (all zero).
    QCOMPARE(table()->rowCount(), 1);

    // Automatic binary errors on channel A, through its transmitter panel.
    click(in<QCheckBox>(w->tx_a, "cbErrInput"));
    QComboBox* mode = in<QComboBox>(w->tx_a, "cbErrAuto");
    QVERIFY(mode->isEnabled());
    QTest::keyClick(mode, Qt::Key_Down); // "Автоматический", at the shown 10^-3
    QCOMPARE(dev->tx[0].err_mode, quint8(2));
    QCOMPARE(dev->tx[0].err_rate_exp, quint8(3));

    // The table at the moment the start is confirmed.
    int rows_when_started = -1;
    connect(dev, &Device::cfg_rcv, this, [&](uchar ch) {
        if (ch == 0 && dev->common.test_running && rows_when_started < 0)
            rows_when_started = table()->rowCount();
    });
    sim->clearReceived();
    QTest::mouseClick(bStart, Qt::LeftButton);
    QVERIFY(runUntil([&] { return bStop->isEnabled(); }, 2000));
    QVERIFY(sim->instrument().running());
    QVERIFY(!bStart->isEnabled());
    QVERIFY(!in<QWidget>(w->settings, "fTime")->isEnabled());
    QCOMPARE(rows_when_started, 0);
    // The error settings went out before the toggle.
    const QList<int> sent = codes(sim->received());
    QVERIFY(sent.indexOf(0x07) >= 0 && sent.indexOf(0x07) < sent.indexOf(0x0E));

    run(30000);
    const int scroll_half = w->histograms->scrollBar()->maximum();
    run(30000);

    // A record every 10 s, plus the one in progress.
    const SimInstrument& inst = sim->instrument();
    QCOMPARE(inst.elapsed_s(), quint32(60));
    QTableWidget* t = table();
    const QList<TableRecord>& recs = dev->records;
    QVERIFY2(t->rowCount() >= 6 && t->rowCount() <= 7, qPrintable(QString::number(t->rowCount())));
    QCOMPARE(t->rowCount(), recs.size());
    QCOMPARE(int(recs.last().number), t->rowCount() - 1);
    for (int i = 0; i < t->rowCount(); ++i)
        QCOMPARE(t->item(i, 0)->text(), TableForm::elapsed_text(quint32(i) * 10));
    // Row 0 holds record 0 as it is, later rows what each record added to
    // the one before; so the column adds up to the last record's count.
    quint64 sum = 0;
    for (int i = 0; i < t->rowCount(); ++i) {
        const quint32 cur = recs[i].counters[REC_BIT];
        const quint32 shown = i == 0 ? cur : cur - recs[i - 1].counters[REC_BIT];
        QCOMPARE(t->item(i, 1)->text(), QString::number(shown));
        QCOMPARE(t->item(i, 12)->text(), QString("0")); // channel B: no errors
        if (i > 0)
            QVERIFY(shown < cur);
        sum += shown;
    }
    QCOMPARE(sum, quint64(recs.last().counters[REC_BIT]));
    QVERIFY(sum > 0);

    // The rows of the records the instrument has closed should carry what it
    // stored for them. They do not: a record is taken at the first poll that
    // sees it and never refreshed (record 0 until record 1 appears), so each
    // one holds the counts of about the start of its interval. Here row 0
    // shows 9 s of errors, row 1 one second's, and every later row the
    // interval before its own.
    QStringList shown, stored;
    for (int i = 0; i < t->rowCount() - 1; ++i) {
        shown << t->item(i, 1)->text();
        const quint32 prev = i ? inst.record(i - 1).counters[REC_BIT] : 0;
        stored << QString::number(inst.record(i).counters[REC_BIT] - prev);
    }
    QCOMPARE(shown, stored);

    // Both charts scroll over the records seen so far.
    QScrollBar* scroll = w->histograms->scrollBar();
    QCOMPARE(scroll->maximum(), int(recs.last().number));
    QVERIFY(scroll_half >= 2 && scroll_half < scroll->maximum());

    // The results panels show the counts of the last poll.
    QVERIFY(dev->results[0].elapsed_s >= 59);
    QVERIFY(dev->results[0].bit_errors > 0);
    QVERIFY(dev->results[0].bit_errors <= inst.channel(0).bit);
    QCOMPARE(in<QLabel>(w->result_a, "lBin")->text(), QString::number(dev->results[0].bit_errors));
    QVERIFY(in<QLabel>(w->result_a, "lBinK")->text().endsWith("e-03"));
    QCOMPARE(in<QLabel>(w->result_b, "lBin")->text(), QString("0"));

    // Stop.
    QTest::mouseClick(bStop, Qt::LeftButton);
    QVERIFY(runUntil([&] { return bStart->isEnabled(); }, 2000));
    QVERIFY(!inst.running());
    QVERIFY(!bStop->isEnabled());
    QVERIFY(in<QWidget>(w->settings, "fTime")->isEnabled());
    // Stopped, the table is left as it was.
    const int rows_stopped = t->rowCount();
    run(3000);
    QVERIFY(t->rowCount() >= rows_stopped);

    // A second start begins the table afresh.
    rows_when_started = -1;
    QTest::mouseClick(bStart, Qt::LeftButton);
    QVERIFY(runUntil([&] { return bStop->isEnabled(); }, 2000));
    QCOMPARE(rows_when_started, 0);
    run(15000);
    QCOMPARE(t->rowCount(), 2);
    QCOMPARE(t->item(1, 0)->text(), QString("00 00:00:10"));
}

// CRC-4 switched off on the channel A transmitter reaches the instrument, and
// the next configuration reply brings it back into a panel that was reset.
void TestIntegration::settingChangedInAPanelComesBack()
{
    QVERIFY(connectFully());
    QCheckBox* txA = in<QCheckBox>(w->tx_a, "cbCRC4");
    QCheckBox* rxA = in<QCheckBox>(w->rx_a, "cbCRC4");
    QVERIFY(txA->isEnabled() && txA->isChecked());
    sim->clearReceived();
    click(txA);
    QVERIFY(!txA->isChecked());
    QVERIFY(!rxA->isChecked()); // joint mode: the receiver follows
    QVERIFY(runUntil([&] { return dev->cmd_queue.isEmpty() && !dev->awaiting_reply; }, 1000));
    QCOMPARE(codes(sim->received()).first(), 0x09);
    // The instrument keeps it: CRC-4 off for its transmitter and its receiver.
    QCOMPARE(quint8(sim->instrument().config(0).at(0)) & 0x24, 0);

    // Forget it on this side, then ask.
    dev->tx[0].crc4 = 1;
    dev->rx[0].crc4 = 1;
    w->tx_a->update_form();
    w->rx_a->update_form();
    QVERIFY(txA->isChecked() && rxA->isChecked());
    QSignalSpy cfg(dev, &Device::cfg_rcv);
    emit w->get_cfg(0);
    QVERIFY(awaitConfigurations(cfg, 1));
    QVERIFY(!txA->isChecked());
    QVERIFY(!rxA->isChecked());
    QCOMPARE(dev->tx[0].crc4, quint8(0));
    QCOMPARE(dev->rx[0].crc4, quint8(0));
    // Channel B was not touched.
    QVERIFY(in<QCheckBox>(w->tx_b, "cbCRC4")->isChecked());
}

void TestIntegration::unplugKeepsThePanelsAndPlugReconnects()
{
    QVERIFY(connectFully());
    click(in<QCheckBox>(w->tx_a, "cbErrInput")); // manual mode: one error per click of "Ввод"
    QTest::mouseClick(bStart, Qt::LeftButton);
    QVERIFY(runUntil([&] { return bStop->isEnabled(); }, 2000));
    click(in<QPushButton>(w->tx_a, "bErrInput"));
    click(in<QPushButton>(w->tx_a, "bErrInput"));
    run(25000);
    QLabel* bin = in<QLabel>(w->result_a, "lBin");
    QCOMPARE(bin->text(), QString("2"));
    const int rows = table()->rowCount();
    QCOMPARE(rows, 3);
    const int pcp = in<QComboBox>(w->settings, "cbPCP")->currentIndex();
    const int scroll = w->histograms->scrollBar()->maximum();

    QSignalSpy disc(dev, &Device::dev_disc);
    sim->unplug();
    QVERIFY(runUntil([&] { return disc.count() == 1; }, 2000));
    QCOMPARE(w->windowTitle(), kTitle);
    QVERIFY(!bStart->isEnabled());
    QVERIFY(!bStop->isEnabled());
    // What was shown stays.
    QCOMPARE(bin->text(), QString("2"));
    QCOMPARE(table()->rowCount(), rows);
    QCOMPARE(table()->item(1, 0)->text(), QString("00 00:00:10"));
    QCOMPARE(in<QComboBox>(w->settings, "cbPCP")->currentIndex(), pcp);
    QVERIFY(in<QCheckBox>(w->tx_a, "cbErrInput")->isChecked());
    QCOMPARE(w->histograms->scrollBar()->maximum(), scroll);

    // Nothing to find while the cable is out.
    run(3000);
    QVERIFY(!dev->connected);
    QCOMPARE(sim->opens(), 1);

    sim->plug();
    QSignalSpy conn(dev, &Device::dev_conn);
    QVERIFY(connectFully());
    QCOMPARE(conn.count(), 1);
    QCOMPARE(sim->opens(), 2);
    QCOMPARE(w->windowTitle(), kConnected);
    // The instrument ran on meanwhile: its test state and its records come back.
    QVERIFY(bStop->isEnabled() && !bStart->isEnabled());
    QVERIFY(runUntil([&] { return table()->rowCount() == sim->instrument().storedRecords() + 1; }, 5000));
    QCOMPARE(table()->item(table()->rowCount() - 1, 0)->text(),
             TableForm::elapsed_text(quint32(sim->instrument().storedRecords()) * 10));
    run(1000);
    QCOMPARE(bin->text(), QString("2"));
}

// The menu's Exit closes the main window and the tool windows with it, and
// the program's event loop ends.
void TestIntegration::menuExitClosesEveryWindow()
{
    QVERIFY(connectFully());
    QCOMPARE(w->menu->aExit->text(), QString::fromUtf8("Выход"));
    w->menu->aTable->trigger();
    w->menu->aHistograms->trigger();
    click(in<QPushButton>(w->result_a, "bG281"));
    QWidget* g821 = w->result_a->g821();
    QVERIFY(w->table->isVisible());
    QVERIFY(w->histograms->isVisible());
    QVERIFY(g821->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(w->histograms));

    QTimer::singleShot(0, w->menu, [this] { w->menu->aExit->trigger(); });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
    watchdog.start(5000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!w->isVisible());
    QVERIFY(!w->table->isVisible());
    QVERIFY(!w->histograms->isVisible());
    QVERIFY(!g821->isVisible());
}

QTEST_MAIN(TestIntegration)
#include "test_integration.moc"
