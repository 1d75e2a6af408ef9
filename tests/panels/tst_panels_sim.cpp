// Round trips against the simulated instrument: a setting changed in a panel
// is sent, comes back in the next configuration reply, and the reloaded panel
// shows it. Before each reload the model and the panels are wiped, so what
// the panel shows afterwards can only have come from the instrument.

#include "panelrig.h"
#include "simbackend.h"

#include <QtTest>

#include <memory>

class tst_panels_sim : public QObject {
    Q_OBJECT

    SimBackend* sim = nullptr;
    std::unique_ptr<PanelRig> rig;

    template <class T>
    T* A(const char* name) { return rig->w<T>(rig->tx[0], name); }
    template <class T>
    T* B(const char* name) { return rig->w<T>(rig->tx[1], name); }
    template <class T>
    T* RA(const char* name) { return rig->w<T>(rig->rx[0], name); }
    template <class T>
    T* RB(const char* name) { return rig->w<T>(rig->rx[1], name); }
    template <class T>
    T* S(const char* name) { return rig->w<T>(rig->sf, name); }

    // Sends what the panels queued, forgets the channel's settings on the PC
    // side, then fetches them from the instrument and reloads the panels.
    void round_trip(int ch)
    {
        rig->pump();
        QVERIFY(rig->dev.is_connected());
        rig->dev.tx[ch] = TxSettings();
        rig->dev.rx[ch] = RxSettings();
        if (ch == 0)
            rig->dev.common = CommonSettings();
        rig->rx[ch]->update_form();
        rig->tx[ch]->update_form();
        if (ch == 0)
            rig->sf->update_form();
        sim->clearReceived();
        rig->dev.get_cfg(uchar(ch));
        rig->pump();
        // The reload itself put nothing on the wire besides the request.
        QCOMPARE(sim->received().size(), 1);
        QCOMPARE(quint8(sim->received().at(0).at(2)), quint8(ch ? 0xC8 : 0x88));
        QVERIFY(rig->dev.is_connected());
    }

    // Clicks only when the box or bit button shows the other state.
    static void set(QCheckBox* box, bool on)
    {
        if (box->isChecked() != on)
            click(box);
        QCOMPARE(box->isChecked(), on);
    }
    static void set(QPushButton* bit, bool on)
    {
        if ((bit->text() == QLatin1String("1")) != on)
            click(bit);
        QCOMPARE(bit->text(), on ? QStringLiteral("1") : QStringLiteral("0"));
    }

private slots:
    void initTestCase() { quiet_offscreen_popups(); }

    void init()
    {
        sim = new SimBackend;
        sim->instrument().setNoise(false);
        usb::setBackend(std::unique_ptr<usb::Backend>(sim));
        rig = std::make_unique<PanelRig>();
        // As the main window does on connection.
        connect(&rig->dev, &Device::dev_conn, this, [this] {
            rig->dev.get_cfg(0);
            rig->dev.get_cfg(1);
        });
        rig->connect_instrument();
        QVERIFY(rig->dev.is_connected());
        QCOMPARE(rig->dev.device_id, SimInstrument::MODEL_CODE);
        // The simulated instrument starts in joint mode, HDB-3, framed with CRC-4, all timeslots.
        QVERIFY(S<QCheckBox>("cbRxTxSettings")->isChecked());
        QVERIFY(!RA<QCheckBox>("cbLoop")->isEnabled());
        set(S<QCheckBox>("cbRxTxSettings"), false);
        QVERIFY(RA<QCheckBox>("cbLoop")->isEnabled());
        rig->pump();
    }

    void cleanup() { rig.reset(); }

    void baseSettings0x03()
    {
        click(S<QRadioButton>("rDateTime"));
        type(S<QLineEdit>("lDay"), "7");
        type(S<QLineEdit>("lHour"), "5");
        type(S<QLineEdit>("lMin"), "30");
        round_trip(0);
        QVERIFY(S<QRadioButton>("rDateTime")->isChecked());
        QCOMPARE(S<QLineEdit>("lDay")->text(), QStringLiteral("7"));
        QCOMPARE(S<QLineEdit>("lHour")->text(), QStringLiteral("5"));
        QCOMPARE(S<QLineEdit>("lMin")->text(), QStringLiteral("30"));
        QVERIFY(!S<QCheckBox>("cbRxTxSettings")->isChecked());
        set(S<QCheckBox>("cbRxTxSettings"), true);
        round_trip(0);
        QVERIFY(S<QCheckBox>("cbRxTxSettings")->isChecked());
        QVERIFY(!RA<QCheckBox>("cbLoop")->isEnabled());
    }

    void sequenceSettings0x04()
    {
        choose(S<QComboBox>("cbPCP"), 5);
        set(S<QPushButton>("b20"), true);
        set(S<QPushButton>("b3"), false);
        set(S<QPushButton>("b4"), true);
        type(S<QLineEdit>("lWordSwitchLoop"), "9");
        set(A<QCheckBox>("cbInversion"), true);
        set(RB<QCheckBox>("cbInversion"), true);
        const quint16 word = rig->dev.common.word;
        const quint16 alt = rig->dev.common.alt_word;
        round_trip(0);
        QCOMPARE(rig->dev.common.word, word);
        QCOMPARE(rig->dev.common.alt_word, alt);
        QCOMPARE(S<QComboBox>("cbPCP")->currentIndex(), 5);
        QCOMPARE(S<QPushButton>("b20")->text(), QStringLiteral("1"));
        QCOMPARE(S<QPushButton>("b20")->styleSheet(), SettingsFrame::green_style);
        QCOMPARE(S<QPushButton>("b3")->text(), QStringLiteral("0"));
        QCOMPARE(S<QPushButton>("b3")->styleSheet(), SettingsFrame::red_style);
        QCOMPARE(S<QPushButton>("b4")->text(), QStringLiteral("1"));
        QCOMPARE(S<QLineEdit>("lWordSwitchLoop")->text(), QStringLiteral("9"));
        QVERIFY(A<QCheckBox>("cbInversion")->isChecked());
        QVERIFY(!RA<QCheckBox>("cbInversion")->isChecked());
        round_trip(1);
        QVERIFY(RB<QCheckBox>("cbInversion")->isChecked());
        QVERIFY(!B<QCheckBox>("cbInversion")->isChecked());
    }

    void frequency0x05and0x45()
    {
        choose(A<QComboBox>("cbFreqVal"), 1);
        type(A<QLineEdit>("lFreqVal"), "-17");
        choose(B<QComboBox>("cbFreqType"), 1);
        round_trip(0);
        QCOMPARE(A<QComboBox>("cbFreqVal")->currentIndex(), 1);
        QCOMPARE(A<QLineEdit>("lFreqVal")->text(), QStringLiteral("-17"));
        QVERIFY(A<QLineEdit>("lFreqVal")->isEnabled());
        round_trip(1);
        QCOMPARE(B<QComboBox>("cbFreqType")->currentIndex(), 1);
        QCOMPARE(int(rig->dev.tx[1].clock_source), 1);
    }

    void lineSettings0x06()
    {
        choose(A<QComboBox>("cbCode"), 0);
        choose(RA<QComboBox>("cbExtraAmpl"), 2);
        set(RA<QCheckBox>("cbLongLine"), true);
        choose(RB<QComboBox>("cbCode"), 0);
        set(B<QCheckBox>("cbSyncSignal"), true);
        round_trip(0);
        QCOMPARE(A<QComboBox>("cbCode")->currentIndex(), 0);
        QCOMPARE(RA<QComboBox>("cbCode")->currentIndex(), 1);
        QCOMPARE(RA<QComboBox>("cbExtraAmpl")->currentIndex(), 2);
        QVERIFY(RA<QCheckBox>("cbLongLine")->isChecked());
        round_trip(1);
        QCOMPARE(RB<QComboBox>("cbCode")->currentIndex(), 0);
        QCOMPARE(B<QComboBox>("cbCode")->currentIndex(), 1);
        QVERIFY(B<QCheckBox>("cbSyncSignal")->isChecked());
        QVERIFY(!B<QFrame>("fErr")->isEnabled());
    }

    void errors0x07and0x47()
    {
        set(A<QCheckBox>("cbErrInput"), true);
        choose(A<QComboBox>("cbErrAuto"), 1);
        choose(A<QComboBox>("cbErrVal"), 3);
        set(B<QCheckBox>("cbErrInput"), true);
        choose(B<QComboBox>("cbErrType"), 3);
        round_trip(0);
        QVERIFY(A<QCheckBox>("cbErrInput")->isChecked());
        QCOMPARE(A<QComboBox>("cbErrType")->currentIndex(), 0);
        QCOMPARE(A<QComboBox>("cbErrAuto")->currentIndex(), 1);
        QCOMPARE(A<QComboBox>("cbErrVal")->currentIndex(), 3);
        QVERIFY(A<QComboBox>("cbErrVal")->isEnabled());
        round_trip(1);
        QVERIFY(B<QCheckBox>("cbErrInput")->isChecked());
        QCOMPARE(B<QComboBox>("cbErrType")->currentIndex(), 3);
        QCOMPARE(B<QComboBox>("cbErrAuto")->currentIndex(), 0);
        QVERIFY(!B<QComboBox>("cbErrAuto")->isEnabled());
    }

    void defects0x08and0x48()
    {
        set(A<QCheckBox>("cbInputDefect"), true);
        choose(A<QComboBox>("cbDefectType"), 2);
        set(B<QCheckBox>("cbInputDefect"), true);
        choose(B<QComboBox>("cbDefectType"), 1);
        round_trip(0);
        QVERIFY(A<QCheckBox>("cbInputDefect")->isChecked());
        QCOMPARE(A<QComboBox>("cbDefectType")->currentIndex(), 2);
        round_trip(1);
        QVERIFY(B<QCheckBox>("cbInputDefect")->isChecked());
        QCOMPARE(B<QComboBox>("cbDefectType")->currentIndex(), 1);
    }

    void framing0x09and0x49()
    {
        set(A<QCheckBox>("cbLoop"), true);
        set(A<QCheckBox>("cbCRC4"), false);
        set(A<QCheckBox>("cbCAS"), true);
        set(RA<QCheckBox>("cbLoop"), true);
        set(RA<QCheckBox>("cbCRC4"), false);
        set(RA<QCheckBox>("cbCAS"), true);
        set(B<QCheckBox>("cbLoop"), false);
        round_trip(0);
        QVERIFY(A<QCheckBox>("cbLoop")->isChecked() && A<QCheckBox>("cbCAS")->isChecked());
        QVERIFY(!A<QCheckBox>("cbCRC4")->isChecked());
        QVERIFY(!A<QCheckBox>("cb16")->isChecked() && !A<QCheckBox>("cb16")->isEnabled());
        QVERIFY(RA<QCheckBox>("cbLoop")->isChecked() && RA<QCheckBox>("cbCAS")->isChecked());
        QVERIFY(!RA<QCheckBox>("cbCRC4")->isChecked());
        QVERIFY(!RA<QCheckBox>("cb16")->isEnabled());
        round_trip(1);
        QVERIFY(!B<QCheckBox>("cbLoop")->isChecked());
        QVERIFY(!B<QFrame>("fSignal")->isEnabled() && !B<QCheckBox>("cbCRC4")->isEnabled());
        QVERIFY(RB<QCheckBox>("cbLoop")->isChecked());
    }

    void timeslots0x0Cand0x4C()
    {
        set(A<QCheckBox>("cb5"), false);
        set(RA<QCheckBox>("cb7"), false);
        set(B<QCheckBox>("cb30"), false);
        set(RB<QCheckBox>("cb2"), false);
        const quint32 tx_a = rig->dev.tx[0].timeslot_mask;
        const quint32 rx_b = rig->dev.rx[1].timeslot_mask;
        QCOMPARE(tx_a, quint32(0xFFFFFFDE));
        round_trip(0);
        QCOMPARE(rig->dev.tx[0].timeslot_mask, tx_a);
        QVERIFY(!A<QCheckBox>("cb5")->isChecked() && A<QCheckBox>("cb6")->isChecked());
        QVERIFY(!RA<QCheckBox>("cb7")->isChecked() && RA<QCheckBox>("cb5")->isChecked());
        round_trip(1);
        QCOMPARE(rig->dev.rx[1].timeslot_mask, rx_b);
        QVERIFY(!B<QCheckBox>("cb30")->isChecked() && B<QCheckBox>("cb31")->isChecked());
        QVERIFY(!RB<QCheckBox>("cb2")->isChecked() && RB<QCheckBox>("cb3")->isChecked());
    }

    void jitter0x0D()
    {
        set(A<QCheckBox>("cbJitter"), true);
        type(A<QLineEdit>("lAmplitude"), "2.5");
        type(A<QLineEdit>("lFrequency"), "12345");
        round_trip(0);
        QVERIFY(A<QCheckBox>("cbJitter")->isChecked());
        QCOMPARE(A<QLineEdit>("lAmplitude")->text(), QStringLiteral("2.50"));
        // The instrument keeps the frequency in tens of hertz.
        QCOMPARE(A<QLineEdit>("lFrequency")->text(), QStringLiteral("12340"));
        QVERIFY(A<QLineEdit>("lAmplitude")->isEnabled());
    }

    void jointModeAgainstInstrument()
    {
        set(A<QCheckBox>("cbCRC4"), false);
        set(A<QCheckBox>("cb9"), false);
        QVERIFY(RA<QCheckBox>("cbCRC4")->isChecked() && RA<QCheckBox>("cb9")->isChecked());
        set(S<QCheckBox>("cbRxTxSettings"), true);
        QVERIFY(!RA<QCheckBox>("cbLoop")->isEnabled());
        // Off again, so the reload below shows the instrument's receiver, not a copy.
        set(S<QCheckBox>("cbRxTxSettings"), false);
        round_trip(0);
        QVERIFY(!S<QCheckBox>("cbRxTxSettings")->isChecked());
        // The receiver commands sent by the joint switch made the instrument's receiver match.
        QVERIFY(RA<QCheckBox>("cbLoop")->isChecked());
        QVERIFY(!RA<QCheckBox>("cbCRC4")->isChecked());
        QVERIFY(!RA<QCheckBox>("cb9")->isChecked() && RA<QCheckBox>("cb10")->isChecked());
        QVERIFY(RA<QCheckBox>("cbLoop")->isEnabled());
    }
};

QTEST_MAIN(tst_panels_sim)
#include "tst_panels_sim.moc"
