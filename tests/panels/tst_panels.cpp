// The settings panels in the main window, driven as a user would, checked in what they show, in the
// frames sent, and in round trips through the simulated instrument.

#include "app/mainwidget.h"
#include "device/device.h"
#include "panels/receiveframe.h"
#include "panels/settingsframe.h"
#include "panels/transmissionframe.h"
#include "proto/proto.h"
#include "simulator/simbackend.h"
#include "tests/support/debugcapture.h"
#include "tests/support/frames.h"
#include "tests/support/widgets.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

// Frames written as "code payload" in hex: {"09 01", "0c 20000100 ..."}.
static QList<QByteArray> frames(const QStringList& hex)
{
    QList<QByteArray> out;
    for (const QString& f : hex)
        out << frame(quint8(f.left(2).toUInt(nullptr, 16)), f.mid(3).toLatin1());
    return out;
}

class TstPanels : public QObject {
    Q_OBJECT

    SimBackend* sim = nullptr;
    std::unique_ptr<MainWidget> win;
    Device* dev = nullptr;
    std::unique_ptr<DebugCapture> quiet;

    // A widget as "panel:name": S the settings panel, A / B the transmitters, RA / RB the receivers.
    template <class T> T* w(const QString& at)
    {
        QWidget* const panels[] = {win->settings, win->tx_a, win->tx_b, win->rx_a, win->rx_b};
        return child<T>(panels[QStringList{"S", "A", "B", "RA", "RB"}.indexOf(at.section(':', 0, 0))],
                        qPrintable(at.section(':', 1)));
    }

    void pump()
    {
        for (int i = 0; i < 2000 && (dev->awaiting_reply || !dev->cmd_queue.isEmpty() || !dev->rec_queue.isEmpty()); ++i)
            dev->tDevIOTimeout();
    }

    // User steps "panel:name=value": a list index ("same": the current one), a line edit's text, "<focus>",
    // "<return>" or "<leave>", "click", or "on" / "off" (clicked if it differs); "panel:name?text" checks a
    // line edit; "|" forgets the frames sent so far.
    void run(const QString& steps)
    {
        for (const QString& s : steps.split(' ', Qt::SkipEmptyParts)) {
            const QChar op = s.contains('?') ? '?' : '=';
            QWidget* at = s == "|" ? nullptr : w<QWidget>(s.section(op, 0, 0));
            const QString v = s.section(op, 1);
            auto* b = qobject_cast<QAbstractButton*>(at);
            auto* e = qobject_cast<QLineEdit*>(at);
            auto shows = [b] { return QString((qobject_cast<QPushButton*>(b) ? b->text() == "1" : b->isChecked()) ? "on" : "off"); };
            if (!at) {
                sent();
            } else if (op == '?') {
                QCOMPARE(e->text(), v);
            } else if (auto* c = qobject_cast<QComboBox*>(at)) {
                choose(c, v == "same" ? c->currentIndex() : v.toInt());
            } else if (v == "<focus>") {
                win->activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(win.get()));
                e->setFocus();
            } else if (v == "<return>" || v == "<leave>") {
                v == "<return>" ? QTest::keyClick(e, Qt::Key_Return) : w<QWidget>("S:cbPCP")->setFocus();
            } else if (e) {
                type(e, v);
            } else if (v == "click" || shows() != v) {
                click(b);
            }
            if (b && v != "click")
                QCOMPARE(shows(), v);
        }
    }

    // Per named widget, one digit: 'e' enabled, 'c' checked, 'i' the list's current item.
    QString states(const QString& names, char what = 'e')
    {
        QString out;
        for (const QString& n : names.split(' '))
            out += QString::number(what == 'i' ? w<QComboBox>(n)->currentIndex()
                                   : what == 'c' ? w<QAbstractButton>(n)->isChecked() : w<QWidget>(n)->isEnabled());
        return out;
    }

    // Frames written since the last call, after the queue has drained.
    QList<QByteArray> sent()
    {
        pump();
        const QList<QByteArray> out = sim->received();
        sim->clearReceived();
        return out;
    }

    // What each panel shows: per widget, its text or choice, colour, checked and enabled state.
    QStringList shown()
    {
        QStringList out;
        for (QWidget* c : child<QWidget>(win.get(), "fLeft")->findChildren<QWidget*>()) // panel by panel, A before B
            out << QStringLiteral("%1.%2: %3%4%5%6%7")
                       .arg(c->parent()->objectName(), c->objectName(), c->property("text").toString(),
                            c->property("currentText").toString(), c->styleSheet(),
                            c->property("checked").toBool() ? " on" : "", c->isEnabled() ? "" : " (locked)");
        return out;
    }

private slots:
    // The offscreen platform complains at every combo popup; that says nothing about the panels.
    void initTestCase() { quiet = std::make_unique<DebugCapture>(); }

    void init()
    {
        sim = new SimBackend;
        sim->instrument().setNoise(false);
        usb::setBackend(std::unique_ptr<usb::Backend>(sim));
        win = std::make_unique<MainWidget>();
        dev = win->device;
        dev->scan_timer->stop();
        // Connected, and no configuration asked for: the panels start from the link's defaults.
        QObject::disconnect(dev, &Device::dev_conn, win.get(), nullptr);
        dev->tDevScanTimeout();
        dev->io_timer->stop();
        pump();
        dev->res_timer->stop();
        win->show();
        QCOMPARE(sent(), frames({"8a"}));
    }

    void cleanup() { win.reset(); }


    // What each user action sends; the current item chosen again, or a half-typed number, sends nothing.
    void eachActionSendsItsCommand_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("want");
        QTest::newRow("receiver line code and extra gain, and back") << "RA:cbCode=1 RA:cbCode=0 RA:cbExtraAmpl=2 RA:cbExtraAmpl=0"
            << QStringList{"06 0200", "06 0000", "06 2000", "06 0000"};
        QTest::newRow("receiver timeslot on and off") << "RA:cbLoop=click RA:cb5=click RA:cb5=click"
            << QStringList{"09 08", "0c 00000000 20000000 00000000", "0c 00000000 00000000 00000000"};
        QTest::newRow("frequency mode, and back") << "A:cbFreqVal=1 A:cbFreqVal=0" << QStringList{"05 0400", "05 0000"};
        QTest::newRow("transmitter inversion and jitter on and off")
            << "A:cbInversion=on A:cbInversion=off A:cbJitter=on A:cbJitter=off"
            << QStringList{"04 40000000000000", "04 00000000000000", "0d 0000000001", "0d 0000000000"};
        QTest::newRow("error insertion on, automatic, off and on again")
            << "A:cbErrInput=on A:cbErrAuto=1 A:cbErrVal=0 A:cbErrInput=off A:cbErrInput=on"
            << QStringList{"07 0800", "07 1003", "07 0000", "07 0800"};
        QTest::newRow("CRC-4 errors by hand only, then E-bit errors")
            << "A:cbErrInput=on A:cbErrAuto=1 A:cbErrType=3 A:bErrInput=click A:cbErrType=4"
            << QStringList{"07 0800", "07 1003", "07 0c00", "07 0c00", "07 0d00"};
        QTest::newRow("channel B framing") << "B:cbLoop=on" << QStringList{"49 01"};
        QTest::newRow("timeslot 16 after CAS on and off") << "A:cbLoop=on A:cbCAS=on A:cbCAS=off A:cb5=on"
            << QStringList{"09 01", "09 05", "09 01", "0c 20000100 00000000 00000000"};
        QTest::newRow("the current item chosen again")
            << "A:cbFreqType=0 A:cbFreqVal=0 A:cbCode=same RA:cbCode=same RA:cbExtraAmpl=0 S:cbPCP=0" << QStringList{};
        QTest::newRow("sequences, alternate word bits on and off")
            << "S:cbPCP=5 S:cbPCP=0 S:cbPCP=0 S:cbPCP=4 S:b16=click S:b20=click S:b20=click"
            << QStringList{"04 14000000000000", "04 00000000000000", "04 10000000000000", "04 10000000010000",
                           "04 10000000110000", "04 10000000010000"};
        QTest::newRow("half-typed test time") << "S:rDateTime=click S:lDay= S:lDay=7 S:lHour=99 S:lMin=0"
            << QStringList{"03 28000000", "03 28070000", "03 28070900"};
        // When editing ends, the field shows what was stored and sent.
        QTest::newRow("days capped") << "S:rDateTime=click | S:lDay=<focus> S:lDay=300 S:lDay=<return> S:lDay?255"
            << QStringList{"03 28030000", "03 281e0000", "03 28ff0000"};
        QTest::newRow("cycle capped") << "S:cbPCP=5 | S:lWordSwitchLoop=<focus> S:lWordSwitchLoop=300 | "
            "S:lWordSwitchLoop=<leave> S:lWordSwitchLoop?255" << QStringList{"04 140000000000ff"};
        QTest::newRow("amplitude capped as typed") << "A:cbJitter=on | A:lAmplitude=<focus> A:lAmplitude=12.5 "
            "A:lAmplitude=<leave> A:lAmplitude?10.00" << QStringList{"0d 0000006401", "0d 000003e801", "0d 000003e801", "0d 000003e801"};
        QTest::newRow("jitter frequency cleared")
            << "A:cbJitter=on | A:lFrequency=<focus> A:lFrequency= A:lFrequency=<return> A:lFrequency?0"
            << QStringList{"0d 0000000001"};
        QTest::newRow("half-typed offset") << "A:cbFreqVal=1 A:lFreqVal=-5 A:lFreqVal=" << QStringList{"05 0400", "05 14fb"};
    }
    void eachActionSendsItsCommand()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, want);
        run(steps);
        const QList<QByteArray> got = sent();
        QCOMPARE(got, frames(want));
        if (!got.isEmpty()) // and the model holds what was sent last
            QCOMPARE(dev->proto->encode(codeOf(got.last())), got.last());
    }

    void enableRules()
    {
        // The offset only in offset mode with the internal clock; the jitter fields only with jitter on.
        run("A:cbFreqVal=1 A:cbFreqVal=0 A:cbJitter=on A:cbJitter=off");
        QCOMPARE(states("A:lFreqVal A:lAmplitude A:lFrequency"), "000");
        run("A:cbFreqVal=1 A:cbFreqType=2");
        QCOMPARE(states("A:lFreqVal A:cbFreqVal"), "00");
        run("A:cbFreqType=0");
        QCOMPARE(states("A:lFreqVal A:cbFreqVal"), "11");
        // The word bits only with a word sequence, the switch count with two; a bit shows 1 on green, 0 on red.
        run("S:cbPCP=4 S:b20=click");
        QCOMPARE(states("S:fBits0_15 S:lWordSwitchLoop"), "10");
        QCOMPARE(w<QPushButton>("S:b20")->styleSheet() + w<QPushButton>("S:b21")->styleSheet(),
                 SettingsFrame::GREEN_STYLE + SettingsFrame::RED_STYLE);
        // Framing off locks CRC-4 and the signalling but keeps the box's value.
        run("A:cbLoop=on A:cbCRC4=on A:cbLoop=off");
        QCOMPARE(states("A:cbCRC4 A:fSignal") + states("A:cbCRC4", 'c'), "001");
        // With CAS, timeslot 16 carries the signalling: off and locked, also when a reload sets it.
        for (const QString p : {"A", "RA"}) {
            run(p + ":cbLoop=on " + p + ":cbCAS=off " + p + ":cb16=on " + p + ":cbCAS=on");
            QCOMPARE(states(p + ":cb16") + states(p + ":cb16", 'c'), "00");
            dev->tx[0].framing = dev->tx[0].cas = dev->rx[0].framing = dev->rx[0].cas = 1;
            dev->tx[0].timeslot_mask = dev->rx[0].timeslot_mask = 0x10000;
            p == "A" ? win->tx_a->update_form() : win->rx_a->update_form();
            QCOMPARE(states(p + ":cb16", 'c'), "0");
        }
        // Channel B reloaded with insertion on: the type is free to choose.
        dev->tx[1].err_mode = 1;
        win->tx_b->update_form();
        QCOMPARE(states("B:cbErrType"), "1");
    }

    // Joint mode copies the transmitter's settings to the receiver, keeps the receiver's own, and locks them.
    void jointModeFollowsTransmitter()
    {
        run("A:cbCode=1 A:cbLoop=on A:cbCRC4=on A:cb8=on RA:cbExtraAmpl=3");
        sent();
        run("S:cbRxTxSettings=on");
        QCOMPARE(states("RA:cb8 RA:cb9 RA:cbLoop RA:cbCRC4", 'c') + states("RA:cbCode RA:cbExtraAmpl", 'i')
                     + states("RA:cbLoop RA:cbCRC4 RA:cbCode RA:fSignal"), "1011130000");
        // Base settings, then each receiver's timeslot, framing and sequence settings.
        QCOMPARE(codes(sent()), (QList<quint8>{0x03, 0x0C, 0x09, 0x04, 0x4C, 0x49, 0x04}));
        QCOMPARE(dev->rx[0].timeslot_mask + dev->rx[0].line_code, 0x100u + 1);
        // The transmitter's framing reaches the receiver at once; off again frees it, sending nothing for it.
        run("A:cbLoop=off S:cbRxTxSettings=off");
        QCOMPARE(states("RA:cbLoop", 'c') + states("RA:cbLoop"), "01");
        QCOMPARE(sent(), frames({"09 00", "03 08000000"}));
    }

    // Each settings group changed in the panels comes back from the instrument as shown.
    void roundTrip_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("0x03 base") << "S:rDateTime=click S:lDay=7 S:lHour=5 S:lMin=30 S:cbRxTxSettings=on";
        QTest::newRow("0x04 sequence") << "S:cbPCP=5 S:b20=on S:b3=off S:b31=on S:lWordSwitchLoop=9 A:cbInversion=on RB:cbInversion=on";
        QTest::newRow("0x05/0x45 clock") << "A:cbFreqVal=1 A:lFreqVal=-17 B:cbFreqType=1";
        QTest::newRow("0x06 line") << "A:cbCode=0 RA:cbExtraAmpl=2 RA:cbLongLine=on B:cbSyncSignal=on";
        QTest::newRow("0x07/0x47 errors") << "A:cbErrInput=on A:cbErrAuto=1 A:cbErrVal=3 B:cbErrInput=on B:cbErrType=3";
        QTest::newRow("0x08/0x48 defects") << "A:cbInputDefect=on A:cbDefectType=2 B:cbInputDefect=on";
        QTest::newRow("0x09/0x49 framing") << "A:cbCRC4=off A:cbCAS=on RA:cbCAS=on RB:cbCRC4=off";
        QTest::newRow("0x0C/0x4C timeslots") << "A:cb5=off RB:cb2=off";
        // The instrument keeps the jitter frequency in tens of hertz.
        QTest::newRow("0x0D jitter") << "A:cbJitter=on A:lAmplitude=2.50 A:lFrequency=12340";
        // The receiver commands sent while joint remain.
        QTest::newRow("joint switch on and off") << "A:cbCRC4=off A:cb9=off S:cbRxTxSettings=on S:cbRxTxSettings=off";
    }
    void roundTrip()
    {
        QFETCH(QString, steps);
        // The simulated instrument starts in joint mode, HDB-3, framed with CRC-4, all timeslots.
        dev->get_cfg(0);
        dev->get_cfg(1);
        pump();
        run("S:cbRxTxSettings=off");
        const QStringList before = shown();
        run(steps);
        const QStringList changed = shown();
        QVERIFY(changed != before);
        // Settings sent, then forgotten and unshown on the PC: what is shown again came from the instrument.
        for (int ch = 0; ch < 2; ++ch) {
            pump();
            dev->tx[ch] = TxSettings();
            dev->rx[ch] = RxSettings();
            if (ch == 0)
                dev->common = CommonSettings();
            emit dev->cfg_rcv(uchar(ch));
            sim->clearReceived();
            dev->get_cfg(uchar(ch));
            QCOMPARE(sent(), frames({ch ? "c8" : "88"})); // the reload sends nothing itself
        }
        QCOMPARE(shown(), changed);
    }
};

QTEST_MAIN(TstPanels)
#include "tst_panels.moc"
