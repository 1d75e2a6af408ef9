// The settings panels driven through their widgets as a user would, checked in the model and in
// the frames that reach the USB layer; and round trips through the simulated instrument: a setting
// changed in a panel comes back in the next configuration reply and the reloaded panel shows it.

#include "device/device.h"
#include "panels/receiveframe.h"
#include "panels/settingsframe.h"
#include "panels/transmissionframe.h"
#include "proto/proto.h"
#include "simulator/simbackend.h"
#include "tests/support/frames.h"
#include "tests/support/widgets.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

namespace {

// The five settings panels over one Device, wired as the main window wires them.
struct PanelRig {
    Device dev;
    QFrame host; // the main window's left column
    SettingsFrame* sf = new SettingsFrame(&dev);
    TransmissionFrame* tx[2] = {new TransmissionFrame(&dev, 0), new TransmissionFrame(&dev, 1)};
    ReceiveFrame* rx[2] = {new ReceiveFrame(&dev, 0), new ReceiveFrame(&dev, 1)};

    PanelRig()
    {
        dev.scan_timer->stop();
        auto* lay = new QVBoxLayout(&host);
        for (QWidget* w : std::initializer_list<QWidget*>{sf, tx[0], rx[0], tx[1], rx[1]})
            lay->addWidget(w);
        QObject::connect(sf, &SettingsFrame::set_base_settings, &dev, &Device::set_base_setting);
        QObject::connect(sf, &SettingsFrame::set_seq_settings, &dev, &Device::set_seq_settings);
        for (int c = 0; c < 2; ++c) { // per signal, channel A's receivers first
            QObject::connect(sf, &SettingsFrame::rxtx_jointly_sw, tx[c], &TransmissionFrame::rxtx_jointly_sw);
            QObject::connect(sf, &SettingsFrame::rxtx_jointly_sw, rx[c], &ReceiveFrame::rxtx_jointly_sw);
            QObject::connect(sf, &SettingsFrame::rxtx_jointly_usr, rx[c], &ReceiveFrame::rxtx_jointly_usr);
            QObject::connect(tx[c], &TransmissionFrame::update_rcv_form, rx[c], &ReceiveFrame::update_rcv_form);
            // Each set_X_settings() signal goes to the device slot set_X_settings_a/_b() of the
            // panel's channel, or to the shared set_X_settings(); channel B has no jitter generator.
            for (QObject* p : std::initializer_list<QObject*>{tx[c], rx[c]})
                for (const char* x : {"seq", "freq", "linear", "error", "defect", "cycle", "channel", "jitter"}) {
                    const QByteArray sig = QByteArray("set_") + x + "_settings()";
                    QByteArray slot = sig.chopped(2) + (c ? "_b()" : "_a()");
                    if (p->metaObject()->indexOfSignal(sig) < 0 || (c && sig.startsWith("set_jitter")))
                        continue;
                    if (dev.metaObject()->indexOfSlot(slot) < 0)
                        slot = sig;
                    QVERIFY(QObject::connect(p, "2" + sig, &dev, "1" + slot));
                }
        }
        // The main window's configuration refresh: receiver, transmitter, then (A) the settings panel.
        QObject::connect(&dev, &Device::cfg_rcv, &host, [this](uchar ch) {
            rx[ch ? 1 : 0]->update_form();
            tx[ch ? 1 : 0]->update_form();
            if (ch == 0)
                sf->update_form();
        });
        host.show();
    }

    // Runs the exchange until nothing is queued or in flight.
    void pump()
    {
        for (int i = 0; i < 2000 && (dev.awaiting_reply || !dev.cmd_queue.isEmpty() || !dev.rec_queue.isEmpty()); ++i)
            dev.tDevIOTimeout();
    }
};

// Clicks only when the box or bit button shows the other state.
void set(QAbstractButton* b, bool on)
{
    auto shows = [b] { return qobject_cast<QPushButton*>(b) ? b->text() == QLatin1String("1") : b->isChecked(); };
    if (shows() != on)
        click(b);
    QCOMPARE(shows(), on);
}

} // namespace

class TstPanels : public QObject {
    Q_OBJECT

    SimBackend* sim = nullptr;
    std::unique_ptr<PanelRig> rig;

    template <class T> T* A(const char* name) { return child<T>(rig->tx[0], name); }
    template <class T> T* B(const char* name) { return child<T>(rig->tx[1], name); }
    template <class T> T* RA(const char* name) { return child<T>(rig->rx[0], name); }
    template <class T> T* RB(const char* name) { return child<T>(rig->rx[1], name); }
    template <class T> T* S(const char* name) { return child<T>(rig->sf, name); }

    // Frames written since the last call, after the queue has drained.
    QList<QByteArray> sent()
    {
        rig->pump();
        const QList<QByteArray> out = sim->received();
        sim->clearReceived();
        return out;
    }

    // Sends what the panels queued, forgets and unshows the channel's settings on the PC side,
    // then fetches them: what the panels show afterwards can only have come from the instrument.
    void round_trip(int ch)
    {
        rig->pump();
        rig->dev.tx[ch] = TxSettings();
        rig->dev.rx[ch] = RxSettings();
        if (ch == 0)
            rig->dev.common = CommonSettings();
        emit rig->dev.cfg_rcv(uchar(ch));
        sim->clearReceived();
        rig->dev.get_cfg(uchar(ch));
        QCOMPARE(sent(), QList<QByteArray>{frame(ch ? 0xC8 : 0x88, "")}); // the reload sends nothing itself
    }

    // What each panel shows: per widget, its text or choice, checked and enabled state.
    QStringList shown()
    {
        QStringList out;
        const std::pair<QWidget*, const char*> panels[] = {{rig->sf, "settings"}, {rig->tx[0], "tx A"},
                                                           {rig->rx[0], "rx A"}, {rig->tx[1], "tx B"}, {rig->rx[1], "rx B"}};
        for (const auto& [p, panel] : panels)
            for (QWidget* w : p->findChildren<QWidget*>())
                out << QStringLiteral("%1.%2: %3%4%5%6")
                           .arg(panel, w->objectName(), w->property("text").toString(),
                                w->property("currentText").toString(), w->property("checked").toBool() ? " on" : "",
                                w->isEnabled() ? "" : " (locked)");
        return out;
    }

    // One row per settings group: what the user changes in the panels.
    QList<std::pair<const char*, std::function<void()>>> groups()
    {
        return {
            {"0x03 base", [this] {
                 click(S<QRadioButton>("rDateTime"));
                 type(S<QLineEdit>("lDay"), "7");
                 type(S<QLineEdit>("lMin"), "30");
                 set(S<QCheckBox>("cbRxTxSettings"), true);
             }},
            {"0x04 sequence", [this] {
                 choose(S<QComboBox>("cbPCP"), 5);
                 set(S<QPushButton>("b20"), true);
                 set(S<QPushButton>("b3"), false);
                 type(S<QLineEdit>("lWordSwitchLoop"), "9");
                 set(A<QCheckBox>("cbInversion"), true);
                 set(RB<QCheckBox>("cbInversion"), true);
             }},
            {"0x05/0x45 clock", [this] {
                 choose(A<QComboBox>("cbFreqVal"), 1);
                 type(A<QLineEdit>("lFreqVal"), "-17");
                 choose(B<QComboBox>("cbFreqType"), 1);
             }},
            {"0x06 line", [this] {
                 choose(A<QComboBox>("cbCode"), 0);
                 choose(RA<QComboBox>("cbExtraAmpl"), 2);
                 set(RA<QCheckBox>("cbLongLine"), true);
                 set(B<QCheckBox>("cbSyncSignal"), true);
             }},
            {"0x07/0x47 errors", [this] {
                 set(A<QCheckBox>("cbErrInput"), true);
                 choose(A<QComboBox>("cbErrAuto"), 1);
                 choose(A<QComboBox>("cbErrVal"), 3);
                 set(B<QCheckBox>("cbErrInput"), true);
                 choose(B<QComboBox>("cbErrType"), 3);
             }},
            {"0x08/0x48 defects", [this] {
                 set(A<QCheckBox>("cbInputDefect"), true);
                 choose(A<QComboBox>("cbDefectType"), 2);
                 set(B<QCheckBox>("cbInputDefect"), true);
             }},
            {"0x09/0x49 framing", [this] {
                 set(A<QCheckBox>("cbCRC4"), false);
                 set(A<QCheckBox>("cbCAS"), true);
                 set(RA<QCheckBox>("cbCAS"), true);
                 set(RB<QCheckBox>("cbCRC4"), false);
             }},
            {"0x0C/0x4C timeslots", [this] {
                 set(A<QCheckBox>("cb5"), false);
                 set(RB<QCheckBox>("cb2"), false);
             }},
            {"0x0D jitter", [this] { // the instrument keeps the frequency in tens of hertz
                 set(A<QCheckBox>("cbJitter"), true);
                 type(A<QLineEdit>("lAmplitude"), "2.50");
                 type(A<QLineEdit>("lFrequency"), "12340");
             }},
            {"joint switch on and off", [this] { // the receiver commands it sent remain
                 set(A<QCheckBox>("cbCRC4"), false);
                 set(A<QCheckBox>("cb9"), false);
                 set(S<QCheckBox>("cbRxTxSettings"), true);
                 set(S<QCheckBox>("cbRxTxSettings"), false);
             }},
        };
    }

    // One row per user action: what it does in the panels, and the frames (code and payload) it sends.
    struct Action {
        const char* name;
        std::function<void()> act;
        QList<QByteArray> frames;
    };
    QList<Action> actions()
    {
        return {
            {"receiver line code, and back to the first item", [this] {
                 choose(RA<QComboBox>("cbCode"), 1);
                 choose(RA<QComboBox>("cbCode"), 0);
             }, {"06 0200", "06 0000"}},
            {"receiver extra gain, and back to the first item", [this] {
                 choose(RA<QComboBox>("cbExtraAmpl"), 2);
                 choose(RA<QComboBox>("cbExtraAmpl"), 0);
             }, {"06 2000", "06 0000"}},
            {"receiver timeslot on and off", [this] {
                 click(RA<QCheckBox>("cbLoop"));
                 click(RA<QCheckBox>("cb5"));
                 click(RA<QCheckBox>("cb5"));
             }, {"09 08", "0c 00000000 20000000 00000000", "0c 00000000 00000000 00000000"}},
            {"frequency mode, and back to the first item", [this] {
                 choose(A<QComboBox>("cbFreqVal"), 1);
                 choose(A<QComboBox>("cbFreqVal"), 0);
             }, {"05 0400", "05 0000"}},
            {"transmitter inversion on and off", [this] {
                 set(A<QCheckBox>("cbInversion"), true);
                 set(A<QCheckBox>("cbInversion"), false);
             }, {"04 40000000000000", "04 00000000000000"}},
            {"jitter on and off", [this] {
                 set(A<QCheckBox>("cbJitter"), true);
                 set(A<QCheckBox>("cbJitter"), false);
             }, {"0d 0000000001", "0d 0000000000"}},
            {"error insertion on, automatic, off and on again", [this] {
                 set(A<QCheckBox>("cbErrInput"), true);
                 choose(A<QComboBox>("cbErrAuto"), 1);
                 choose(A<QComboBox>("cbErrVal"), 0); // the current item
                 set(A<QCheckBox>("cbErrInput"), false);
                 set(A<QCheckBox>("cbErrInput"), true);
             }, {"07 0800", "07 1003", "07 0000", "07 0800"}},
            {"E-bit errors", [this] {
                 set(A<QCheckBox>("cbErrInput"), true);
                 choose(A<QComboBox>("cbErrType"), 4);
             }, {"07 0800", "07 0d00"}},
            {"timeslot 16 after CAS on and off", [this] {
                 set(A<QCheckBox>("cbLoop"), true);
                 set(A<QCheckBox>("cbCAS"), true);
                 set(A<QCheckBox>("cbCAS"), false);
                 set(A<QCheckBox>("cb5"), true);
             }, {"09 01", "09 05", "09 01", "0c 20000100 00000000 00000000"}},
            {"the current item chosen again", [this] {
                 choose(A<QComboBox>("cbFreqType"), 0);
                 choose(A<QComboBox>("cbFreqVal"), 0);
                 choose(A<QComboBox>("cbCode"), A<QComboBox>("cbCode")->currentIndex());
                 choose(RA<QComboBox>("cbCode"), RA<QComboBox>("cbCode")->currentIndex());
                 choose(RA<QComboBox>("cbExtraAmpl"), 0);
                 choose(S<QComboBox>("cbPCP"), 0);
             }, {}},
            {"word bit 16", [this] {
                 choose(S<QComboBox>("cbPCP"), 4);
                 click(S<QPushButton>("b16"));
             }, {"04 10000000000000", "04 10000000010000"}},
        };
    }

private slots:
    void eachActionSendsItsCommand_data()
    {
        QTest::addColumn<int>("row");
        const auto all = actions();
        for (int i = 0; i < all.size(); ++i)
            QTest::newRow(all[i].name) << i;
    }
    void eachActionSendsItsCommand()
    {
        QFETCH(int, row);
        const Action a = actions().at(row);
        a.act();
        QList<QByteArray> want;
        for (const QByteArray& f : a.frames)
            want << frame(quint8(f.left(2).toUInt(nullptr, 16)), f.mid(3));
        QCOMPARE(sent(), want);
    }

    void enableRules()
    {
        // The offset only in offset mode; the jitter fields only with jitter on.
        choose(A<QComboBox>("cbFreqVal"), 1);
        choose(A<QComboBox>("cbFreqVal"), 0);
        set(A<QCheckBox>("cbJitter"), true);
        set(A<QCheckBox>("cbJitter"), false);
        for (const char* off : {"lFreqVal", "lAmplitude", "lFrequency"})
            QVERIFY2(!A<QLineEdit>(off)->isEnabled(), off);
        // With CAS, timeslot 16 carries the signalling: off and locked, also when a reload sets it.
        for (int ch = 0; ch < 2; ++ch) {
            QWidget* panel[2] = {rig->tx[0], rig->rx[0]};
            auto* cb16 = child<QCheckBox>(panel[ch], "cb16");
            set(child<QCheckBox>(panel[ch], "cbLoop"), true);
            set(child<QCheckBox>(panel[ch], "cbCAS"), false);
            set(cb16, true);
            set(child<QCheckBox>(panel[ch], "cbCAS"), true);
            QVERIFY(!cb16->isEnabled() && !cb16->isChecked());
            rig->dev.tx[0].framing = rig->dev.tx[0].cas = rig->dev.rx[0].framing = rig->dev.rx[0].cas = 1;
            rig->dev.tx[0].timeslot_mask = rig->dev.rx[0].timeslot_mask = 0x10000;
            ch ? rig->rx[0]->update_form() : rig->tx[0]->update_form();
            QVERIFY(!cb16->isChecked());
        }
        // Channel B reloaded with insertion on: the type is free to choose.
        rig->dev.tx[1].err_mode = 1;
        rig->tx[1]->update_form();
        QVERIFY(B<QComboBox>("cbErrType")->isEnabled());
    }

    void initTestCase()
    {
        // The offscreen platform complains at every combo popup; that says nothing about the panels.
        static QtMessageHandler next = nullptr;
        next = qInstallMessageHandler([](QtMsgType t, const QMessageLogContext& c, const QString& m) {
            if (!m.startsWith(QLatin1String("This plugin does not support")))
                next(t, c, m);
        });
    }

    void init()
    {
        sim = new SimBackend;
        sim->instrument().setNoise(false);
        usb::setBackend(std::unique_ptr<usb::Backend>(sim));
        rig = std::make_unique<PanelRig>();
        // Connected, and no configuration asked for yet: the model holds its defaults.
        rig->dev.tDevScanTimeout();
        rig->dev.io_timer->stop();
        rig->pump();
        rig->dev.res_timer->stop();
        QCOMPARE(sent(), QList<QByteArray>{frame(0x8A, "")});
    }

    void cleanup() { rig.reset(); }

    void sequenceChoice()
    {
        auto* pcp = S<QComboBox>("cbPCP");
        for (int i : {5, 4, 0}) {
            choose(pcp, i);
            QCOMPARE(int(rig->dev.common.seq_type), i);
            QCOMPARE(S<QFrame>("fBits0_15")->isEnabled(), i == 4 || i == 5);
            QCOMPARE(S<QLineEdit>("lWordSwitchLoop")->isEnabled(), i == 5);
            const QByteArray seq = QByteArray::number(i << 2, 16).rightJustified(2, '0');
            QCOMPARE(sent(), QList<QByteArray>{frame(0x04, seq + "000000000000")});
        }
        // The user picks the stored sequence again: nothing to send.
        choose(pcp, 0);
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void bitButtonFlipsAltWord()
    {
        choose(S<QComboBox>("cbPCP"), 4);
        sent();
        auto* b20 = S<QPushButton>("b20");
        click(b20);
        QCOMPARE(rig->dev.common.alt_word, quint16(0x0010));
        QCOMPARE(b20->text() + b20->styleSheet(), "1" + SettingsFrame::GREEN_STYLE);
        QCOMPARE(sent(), QList<QByteArray>{frame(0x04, "10000000100000")});
        click(b20);
        QCOMPARE(rig->dev.common.alt_word, quint16(0));
        QCOMPARE(b20->text() + b20->styleSheet(), "0" + SettingsFrame::RED_STYLE);
        QCOMPARE(sent().size(), 1);
    }

    // Edits accept half-typed numbers (empty, "-", out of range) while typing;
    // they are not settings and are not sent. Values past the range are clamped.
    void halfTypedNumbersAreNotSent()
    {
        click(S<QRadioButton>("rDateTime"));
        type(S<QLineEdit>("lDay"), "");
        type(S<QLineEdit>("lDay"), "7");
        type(S<QLineEdit>("lHour"), "99"); // the "9" on the way is a valid hour
        type(S<QLineEdit>("lMin"), "0");
        QCOMPARE(sent(), (QList<QByteArray>{frame(0x03, "28000000"), frame(0x03, "28070000"), frame(0x03, "28070900")}));

        choose(A<QComboBox>("cbFreqVal"), 1);
        type(A<QLineEdit>("lFreqVal"), "-5");
        type(A<QLineEdit>("lFreqVal"), "");
        QCOMPARE(int(rig->dev.tx[0].freq_offset), -5);
        QCOMPARE(sent(), (QList<QByteArray>{frame(0x05, "0400"), frame(0x05, "14fb")}));
    }

    // When editing ends (Return, or focus leaving), the field shows what was stored and sent: a
    // number past the range capped in sight, anything else the stored value, with nothing sent.
    void editEndShowsWhatWasSent_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("byReturn");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("last"); // code and payload of the last frame sent
        QTest::newRow("days") << "lDay" << "300" << true << "255" << QByteArray("03 28ff0000");
        QTest::newRow("hours") << "lHour" << "25" << false << "23" << QByteArray("03 28001700");
        QTest::newRow("minutes") << "lMin" << "75" << true << "59" << QByteArray("03 2800003b");
        QTest::newRow("days cleared") << "lDay" << "" << false << "0" << QByteArray();
        QTest::newRow("cycle") << "lWordSwitchLoop" << "300" << false << "255" << QByteArray("04 140000000000ff");
        QTest::newRow("offset") << "lFreqVal" << "250" << true << "200" << QByteArray("05 04c8");
        QTest::newRow("offset sign") << "lFreqVal" << "-" << false << "0" << QByteArray();
        QTest::newRow("amplitude") << "lAmplitude" << "12.5" << true << "10.00" << QByteArray("0d 000003e801");
        QTest::newRow("jitter freq") << "lFrequency" << "150000" << false << "100000" << QByteArray("0d 2710000001");
        QTest::newRow("jitter freq cleared") << "lFrequency" << "" << true << "0" << QByteArray("0d 0000000001");
    }
    void editEndShowsWhatWasSent()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(bool, byReturn);
        QFETCH(QString, shown);
        QFETCH(QByteArray, last);
        click(S<QRadioButton>("rDateTime")); // every field editable
        choose(S<QComboBox>("cbPCP"), 5);
        choose(A<QComboBox>("cbFreqVal"), 1);
        click(A<QCheckBox>("cbJitter"));
        sent();
        QLineEdit* edit = rig->sf->findChild<QLineEdit*>(field);
        edit = edit ? edit : A<QLineEdit>(qPrintable(field));
        rig->host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&rig->host));
        edit->setFocus();
        type(edit, typed);
        if (byReturn)
            QTest::keyClick(edit, Qt::Key_Return);
        else
            S<QComboBox>("cbPCP")->setFocus();
        QCOMPARE(edit->text(), shown);
        const QList<QByteArray> frames = sent();
        QCOMPARE(frames.isEmpty() ? QByteArray() : frames.last(),
                 last.isEmpty() ? QByteArray() : frame(quint8(last.left(2).toUInt(nullptr, 16)), last.mid(3)));
        if (!frames.isEmpty()) // and the model holds what was sent
            QCOMPARE(rig->dev.proto->encode(quint8(frames.last().at(2))), frames.last());
    }

    // The offset applies to the internal clock only, whatever a reload says.
    void frequencyOffsetNeedsInternalClock()
    {
        auto* mode = A<QComboBox>("cbFreqVal");
        auto* offset = A<QLineEdit>("lFreqVal");
        choose(mode, 1);
        QVERIFY(offset->isEnabled());
        choose(A<QComboBox>("cbFreqType"), 2);
        QVERIFY(!offset->isEnabled() && !mode->isEnabled());
        rig->dev.tx[0].freq_mode = 2;
        rig->tx[0]->update_form();
        rig->dev.tx[0].freq_mode = 1;
        rig->tx[0]->update_form();
        QVERIFY(!offset->isEnabled());
        choose(A<QComboBox>("cbFreqType"), 0);
        QVERIFY(offset->isEnabled() && mode->isEnabled());
        QCOMPARE(sent(), (QList<QByteArray>{frame(0x05, "0400"), frame(0x05, "0600"), frame(0x05, "0400")}));
    }

    void framingAndCrc4()
    {
        auto* loop = A<QCheckBox>("cbLoop");
        auto* crc = A<QCheckBox>("cbCRC4");
        click(loop);
        QVERIFY(crc->isEnabled() && A<QFrame>("fSignal")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{frame(0x09, "01")});

        // CRC-4 on for the channel A transmitter: exactly one 0x09 frame, bit 1 set.
        click(crc);
        const QList<QByteArray> frames = sent();
        QCOMPARE(frames, QList<QByteArray>{frame(0x09, "03")});
        QVERIFY(quint8(frames[0].at(3)) & 0x02);

        // Framing off: the box locks but keeps its value, and the command drops its bit.
        click(loop);
        QVERIFY(!crc->isEnabled() && crc->isChecked() && rig->dev.tx[0].crc4 == 1);
        QCOMPARE(sent(), QList<QByteArray>{frame(0x09, "00")});
        click(B<QCheckBox>("cbLoop")); // channel B has its own command
        QCOMPARE(sent(), QList<QByteArray>{frame(0x49, "01")});
    }

    void errorInsertion()
    {
        // A reload with a code-error type but insertion off keeps every error control locked.
        TxSettings& t = rig->dev.tx[0];
        t.err_type = 1;
        rig->tx[0]->update_form();
        QVERIFY(!A<QCheckBox>("cbErrInput")->isChecked());
        for (const char* off : {"cbErrType", "cbErrAuto", "cbErrVal", "bErrInput"})
            QVERIFY2(!A<QWidget>(off)->isEnabled(), off);
        // Insertion on: {type, mode, rate exponent} shown as items; a rate in automatic mode only.
        const int cases[][6] = {{0, 2, 5, 0, 1, 2}, {6, 1, 0, 3, 0, 0}, {9, 1, 0, 0, 0, 0}};
        for (const auto& c : cases) {
            t.err_type = quint8(c[0]), t.err_mode = quint8(c[1]), t.err_rate_exp = quint8(c[2]);
            rig->tx[0]->update_form();
            QCOMPARE(QList<int>({A<QComboBox>("cbErrType")->currentIndex(), A<QComboBox>("cbErrAuto")->currentIndex(),
                                 A<QComboBox>("cbErrVal")->currentIndex(), A<QComboBox>("cbErrVal")->isEnabled()}),
                     QList<int>({c[3], c[4], c[5], c[4] == 1}));
        }
        QCOMPARE(sent(), QList<QByteArray>{});

        // "CRC 4" is stored as 4 and inserted by hand only; each press resends the settings.
        choose(A<QComboBox>("cbErrType"), 3);
        QVERIFY(!A<QComboBox>("cbErrAuto")->isEnabled());
        QCOMPARE(QList<int>({t.err_type, t.err_mode}), QList<int>({4, 1}));
        click(A<QPushButton>("bErrInput"));
        QCOMPARE(sent(), (QList<QByteArray>{frame(0x07, "0c00"), frame(0x07, "0c00")}));
        click(A<QCheckBox>("cbErrInput"));
        QVERIFY(!A<QComboBox>("cbErrType")->isEnabled() && !A<QPushButton>("bErrInput")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{frame(0x07, "0000")});
    }

    void reloadSendsNothing()
    {
        CommonSettings& c = rig->dev.common;
        c.seq_type = 5, c.word = 0x8001, c.alt_word = 0x8010, c.word_switch_loop = 7, c.timed_measurement = 1;
        TxSettings& t = rig->dev.tx[0];
        t.freq_mode = 1, t.freq_offset = -17, t.line_code = 1, t.framing = 1, t.crc4 = 1, t.timeslot_mask = 0xF0;
        emit rig->dev.cfg_rcv(0); // as a configuration reply would
        for (int n = 0; n < 32; ++n) {
            auto* b = S<QPushButton>(qPrintable(QStringLiteral("b%1").arg(n)));
            const bool on = n == 0 || n == 15 || n == 20 || n == 31;
            QCOMPARE(b->text() + b->styleSheet(),
                     on ? "1" + SettingsFrame::GREEN_STYLE : "0" + SettingsFrame::RED_STYLE);
        }
        QVERIFY(S<QLineEdit>("lWordSwitchLoop")->isEnabled() && S<QLineEdit>("lDay")->isEnabled());
        QCOMPARE(A<QLineEdit>("lFreqVal")->text(), QStringLiteral("-17"));
        QVERIFY(A<QCheckBox>("cbCRC4")->isChecked());
        QVERIFY(A<QCheckBox>("cb4")->isChecked() && !A<QCheckBox>("cb3")->isChecked());
        QCOMPARE(sent(), QList<QByteArray>{});

        // A configuration reply reloads the panels of its channel and sends nothing further.
        rig->dev.get_cfg(0);
        rig->dev.get_cfg(1);
        QCOMPARE(sent(), (QList<QByteArray>{frame(0x88, ""), frame(0xC8, "")}));
        QVERIFY(S<QCheckBox>("cbRxTxSettings")->isChecked() && B<QCheckBox>("cbLoop")->isChecked());
    }

    void jointModeFollowsTransmitter()
    {
        TxSettings& t = rig->dev.tx[0];
        t.line_code = 1, t.framing = 1, t.crc4 = 1, t.timeslot_mask = 0x0000FF00;
        rig->dev.rx[0].extra_gain = 3;
        rig->tx[0]->update_form();
        click(S<QCheckBox>("cbRxTxSettings"));
        const RxSettings& r = rig->dev.rx[0];
        QCOMPARE(QList<quint32>({r.line_code, r.framing, r.crc4, r.timeslot_mask, r.extra_gain}),
                 QList<quint32>({1, 1, 1, 0xFF00, 3})); // receiver-only settings stay
        QVERIFY(RA<QCheckBox>("cb8")->isChecked() && RA<QComboBox>("cbCode")->currentIndex() == 1);
        for (const char* off : {"cbLoop", "cbCRC4", "cbCode", "fSignal"})
            QVERIFY2(!RA<QWidget>(off)->isEnabled(), off);
        // Base settings, then each receiver's timeslot, framing and sequence settings.
        QList<quint8> codes;
        for (const QByteArray& f : sent())
            codes << quint8(f.at(2));
        QCOMPARE(codes, (QList<quint8>{0x03, 0x0C, 0x09, 0x04, 0x4C, 0x49, 0x04}));

        // The transmitter's framing click reaches the receiver at once.
        click(A<QCheckBox>("cbLoop"));
        QVERIFY(!RA<QCheckBox>("cbLoop")->isChecked() && r.framing == 0);
        QCOMPARE(sent(), QList<QByteArray>{frame(0x09, "00")});
        // Off again frees the receiver without sending anything for it.
        click(S<QCheckBox>("cbRxTxSettings"));
        QVERIFY(RA<QCheckBox>("cbLoop")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{frame(0x03, "08000000")});
    }

    void jointModeWithoutInstrumentKeepsReceiver()
    {
        rig = std::make_unique<PanelRig>(); // never connected
        rig->dev.tx[0].line_code = 1;
        click(S<QCheckBox>("cbRxTxSettings"));
        click(A<QCheckBox>("cbLoop"));
        QVERIFY(rig->dev.rx[0].framing == 0 && rig->dev.rx[0].line_code == 0);
        QVERIFY(!RA<QCheckBox>("cbLoop")->isChecked() && !RA<QCheckBox>("cbLoop")->isEnabled());
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("group");
        const auto all = groups();
        for (int i = 0; i < all.size(); ++i)
            QTest::newRow(all[i].first) << i;
    }
    void roundTrip()
    {
        QFETCH(int, group);
        // The simulated instrument starts in joint mode, HDB-3, framed with CRC-4, all timeslots.
        rig->dev.get_cfg(0);
        rig->dev.get_cfg(1);
        rig->pump();
        set(S<QCheckBox>("cbRxTxSettings"), false);
        const QStringList before = shown();
        groups().at(group).second();
        const QStringList changed = shown();
        QVERIFY(changed != before);
        round_trip(0);
        round_trip(1);
        QCOMPARE(shown(), changed);
    }
};

QTEST_MAIN(TstPanels)
#include "tst_panels.moc"
