// The main window against the simulated instrument, time in the test's hands
// through the link rig driving the window's own link; the link's signals are
// also emitted by hand where the instrument cannot be made to send them.

#include "app/mainmenu.h"
#include "app/mainwidget.h"
#include "device/device.h"
#include "panels/receiveframe.h"
#include "panels/settingsframe.h"
#include "panels/transmissionframe.h"
#include "proto/proto.h"
#include "records/histogramsform.h"
#include "records/tableform.h"
#include "results/resultframe.h"
#include "tests/support/linkrig.h"
#include "tests/support/widgets.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>

#include <memory>

namespace {

const QString kTitle = QString::fromUtf8("Удаленное Управление КЕЛМ Е1/Е10");
const QString kConnected = QString::fromUtf8(" Подключен");

} // namespace

class TstMainWidget : public QObject {
    Q_OBJECT

    std::unique_ptr<LinkRig> rig;
    SimBackend* sim = nullptr;
    MainWidget* w = nullptr;
    Device* dev = nullptr;
    QPushButton* bStart = nullptr;
    QPushButton* bStop = nullptr;

    QComboBox* pcp() { return child<QComboBox>(w->settings, "cbPCP"); }
    bool runUntil(const std::function<bool()>& done) { return rig->runUntil(done, 3000); }

private slots:
    void init()
    {
        rig = std::make_unique<LinkRig>(false); // the window owns the link and answers it itself
        sim = rig->sim;
        w = new MainWidget;
        rig->attach(dev = w->device);
        bStart = child<QPushButton>(w, "bStart");
        bStop = child<QPushButton>(w, "bStop");
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    void cleanup()
    {
        delete w;
        const QStringList warnings = rig->warnings;
        rig.reset();
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    }

    // The compiled-in catalogue: a text with arguments and line breaks, and one known in another context
    // only. The menu and the report name their images without a slash after the colon.
    void catalogueAndImages()
    {
        const char* rows[][3] = {
            {"PDFCreator", "These files already exist:\n%1\nReplace them?", "Эти файлы уже существуют:\n%1\nЗаменить их?"},
            {"G821Form", "Channel ", "Канал "}, {"PDFCreator", "Channel ", "Channel "},
        };
        for (const auto& r : rows)
            QCOMPARE(QCoreApplication::translate(r[0], r[1]), QString::fromUtf8(r[2]));
        for (const char* p : {":img/table.png", ":img/chart.png", ":img/report.png", ":img/about.png",
                              ":img/qt.png", ":img/check.png", ":img/uncheck.png", ":/img/header.png"})
            QVERIFY2(!QImage(p).isNull(), p);
    }

    // A results reply with status bit 0 asks for its channel's configuration, and only that;
    // an instrument that cannot be opened is named in the title.
    void resultsAndFailedOpen()
    {
        // {channel, status flags A, status flags B, get_cfg(channel) expected}
        const int rows[][4] = {{0, 0xFF, 0, 1}, {0, 0xFE, 0xFF, 0}, {1, 1, 0, 0}, {2, 0, 3, 1}};
        for (const auto& r : rows) {
            dev->results[0].status_flags = quint8(r[1]);
            dev->results[1].status_flags = quint8(r[2]);
            dev->cmd_queue.clear();
            emit dev->res_rcv(uchar(r[0]));
            QCOMPARE(dev->cmd_queue, r[3] ? QList<QByteArray>{dev->proto->encode(r[0] ? 0xC8 : 0x88, 0)} : QList<QByteArray>{});
        }
        sim->failNext(SimBackend::Call::Open, usb::DEVICE_NOT_ACCESSIBLE); // as without permission
        QTest::ignoreMessage(QtDebugMsg, "256 \"SI_Open\" Not implemented yet.");
        dev->tDevScanTimeout();
        QCOMPARE(w->windowTitle(),
                 kTitle + QString::fromUtf8(" - Прибор найден, но не открывается (нет доступа или занят)"));
    }

    // The instrument's settings show on connection; then channel B's configuration reloads
    // only channel B's panels, channel A's the receiver, the transmitter, then the settings.
    void connectionShowsTheConfigurationAndEachReplyRefreshesItsPanels()
    {
        SimInstrument& inst = sim->instrument();
        const quint8 crc_on = quint8(inst.config(1).at(0));
        inst.setConfigByte(0, 19, quint8((inst.config(0).at(19) & ~0x1C) | (5 << 2))); // sequence 5
        inst.setConfigByte(1, 0, 0x09);                                                  // CRC-4 off on B

        QVERIFY(rig->connectFully());
        QCOMPARE(pcp()->currentIndex(), 5);
        QCheckBox* const crc4[] = {child<QCheckBox>(w->rx_a, "cbCRC4"), child<QCheckBox>(w->tx_a, "cbCRC4"),
                                   child<QCheckBox>(w->rx_b, "cbCRC4"), child<QCheckBox>(w->tx_b, "cbCRC4")};
        QVERIFY(crc4[0]->isChecked() && crc4[1]->isChecked() && !crc4[2]->isChecked() && !crc4[3]->isChecked());

        // Each panel's reload shows as a change of its CRC-4 box; the settings panel's with channel A's boxes then.
        QStringList log;
        const char* names[] = {"RX A", "TX A", "RX B", "TX B"};
        for (int i = 0; i < 4; ++i)
            connect(crc4[i], &QCheckBox::toggled, this, [&log, name = names[i]] { log << name; });
        connect(pcp(), &QComboBox::currentIndexChanged, this,
                [&] { log << QString("settings %1%2").arg(crc4[0]->isChecked()).arg(crc4[1]->isChecked()); });
        // CRC-4 swapped, another sequence; in the model one shown if reloaded too early.
        inst.setConfigByte(0, 0, 0x09);
        inst.setConfigByte(1, 0, crc_on);
        inst.setConfigByte(0, 19, quint8((inst.config(0).at(19) & ~0x1C) | (3 << 2)));
        dev->common.seq_type = 6;

        QSignalSpy cfg(dev, &Device::cfg_rcv);
        emit w->get_cfg(1);
        QVERIFY(runUntil([&] { return cfg.count() == 1; }));
        QCOMPARE(log, QStringList({"RX B", "TX B"})); // the settings panel, with another sequence, stays

        log.clear();
        emit w->get_cfg(0);
        QVERIFY(runUntil([&] { return cfg.count() == 2; }));
        QCOMPARE(log, QStringList({"RX A", "TX A", "settings 00"}));
        QCOMPARE(pcp()->currentIndex(), 3);
    }

    // A minute of test with errors on channel A, the cable pulled and put back, then Стоп.
    void aMinuteOfTestFillsTableAndChartsAcrossTheCable()
    {
        QVERIFY(rig->connectFully());
        child<QCheckBox>(w->tx_a, "cbErrInput")->click();
        QTest::keyClick(child<QComboBox>(w->tx_a, "cbErrAuto"), Qt::Key_Down); // automatic, at 10^-3
        QTest::mouseClick(bStart, Qt::LeftButton);
        QVERIFY(runUntil([this] { return bStop->isEnabled(); }));
        QVERIFY(sim->instrument().running() && !bStart->isEnabled());

        rig->run(60000);

        // A record every 10 s, plus the one in progress; row 0 absolute, later rows deltas.
        const SimInstrument& inst = sim->instrument();
        QTableView* t = child<QTableView>(w->table, "tRes");
        const QList<TableRecord>& recs = dev->records;
        const int rows = t->model()->rowCount();
        QVERIFY2(rows >= 6 && rows <= 7 && rows == recs.size(), qPrintable(QString::number(rows)));
        QVERIFY(recs[0].counters[REC_BIT] > 0);
        for (int i = 0; i < rows; ++i) {
            const quint32 cur = recs[i].counters[REC_BIT], prev = i ? recs[i - 1].counters[REC_BIT] : 0;
            QCOMPARE(cell(t, i, 1), QString::number(cur - prev));
            // A closed record carries what the instrument stored, not a poll's counts.
            if (i + 1 < rows)
                QCOMPARE(cur, inst.record(i).counters[REC_BIT]);
        }
        QCOMPARE(w->histograms->scrollBar()->maximum(), int(recs.last().number));

        // Unplugged: the buttons go off, what the windows show and the records stay.
        QLabel* bin = child<QLabel>(w->result_a, "lBin");
        const QString bin_shown = bin->text();
        QVERIFY(bin_shown.toLongLong() > 0);
        QSignalSpy disc(dev, &Device::dev_disc);
        sim->unplug();
        QVERIFY(runUntil([&] { return disc.count() == 1; }));
        QCOMPARE(w->windowTitle(), kTitle);
        QVERIFY(!bStart->isEnabled() && !bStop->isEnabled());
        QCOMPARE(bin->text(), bin_shown);
        QVERIFY(t->model()->rowCount() == rows && recs.size() == rows);
        QVERIFY(child<QCheckBox>(w->tx_a, "cbErrInput")->isChecked());

        sim->plug();
        QVERIFY(rig->connectFully());
        QCOMPARE(w->windowTitle(), kTitle + " - KELM-E1+" + kConnected); // built afresh
        QVERIFY(bStop->isEnabled() && !bStart->isEnabled());
        QVERIFY(t->model()->rowCount() == rows && recs.size() >= rows - 1); // the same test: its records stay

        QTest::mouseClick(bStop, Qt::LeftButton);
        QVERIFY(runUntil([this] { return bStart->isEnabled(); }));
        QVERIFY(!inst.running() && !bStop->isEnabled());
        // Any non-zero test state means running; the table empties only when the link empties its list.
        dev->common.test_running = 0x80;
        emit dev->dev_test_state();
        QVERIFY(!bStart->isEnabled() && bStop->isEnabled());
        emit dev->records_cleared();
        QVERIFY(t->model()->rowCount() == 0 && recs.isEmpty());
    }

    // The menu's Выход closes every window, the records table too, and ends the loop.
    void menuExit()
    {
        w->menu->aTable->trigger();
        QVERIFY(QTest::qWaitForWindowExposed(w->table));
        QTimer::singleShot(0, w->menu, [this] { w->menu->aExit->trigger(); });
        QTimer::singleShot(5000, w, [] { QCoreApplication::exit(1); }); // watchdog, gone with the window
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!w->isVisible() && !w->table->isVisible());
    }
};

QTEST_MAIN(TstMainWidget)
#include "tst_mainwidget.moc"
