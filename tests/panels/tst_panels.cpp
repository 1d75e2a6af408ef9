// The settings panels driven through their widgets, checked in the model and
// in the frames that reach the USB layer.

#include "panelrig.h"
#include "recordingbackend.h"

#include <QDoubleValidator>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QTranslator>
#include <QtTest>

#include <memory>

namespace {

const QString GREEN = QStringLiteral("background-color: rgb(0, 200, 0);font: 10pt \"MS Shell Dlg 2\";");
const QString RED = QStringLiteral("background-color: rgb(200, 0, 0);font: 10pt \"MS Shell Dlg 2\";");

QByteArray F(quint8 code, const char* hex) { return RecordingBackend::frame(code, QByteArray::fromHex(hex)); }

QStringList texts(QComboBox* c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

} // namespace

class tst_panels : public QObject {
    Q_OBJECT

    RecordingBackend* usb = nullptr;
    std::unique_ptr<PanelRig> rig;
    QTranslator translator;
    bool russian = false;

    // Frames written since the last call, after the queue has drained.
    QList<QByteArray> sent()
    {
        rig->pump();
        QList<QByteArray> out = usb->writes;
        usb->writes.clear();
        return out;
    }
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

private slots:
    void initTestCase()
    {
        quiet_offscreen_popups();
        // The program always installs the Russian catalogue; it is part of the resources library.
        russian = translator.load(QStringLiteral("E1_rc_ru"), QStringLiteral(":/"));
        if (russian)
            QCoreApplication::installTranslator(&translator);
        else
            qWarning("catalogue :/E1_rc_ru.qm not linked in; checking the English source texts");
    }

    void init()
    {
        usb = new RecordingBackend;
        usb::setBackend(std::unique_ptr<usb::Backend>(usb));
        rig = std::make_unique<PanelRig>();
        rig->connect_instrument();
        QVERIFY(rig->dev.is_connected());
        QCOMPARE(usb->writes, QList<QByteArray>{F(0x8A, "")});
        usb->writes.clear();
    }

    void cleanup()
    {
        rig.reset();
    }

    // ---- settings panel ------------------------------------------------------

    void settingsFormAsBuilt()
    {
        QCOMPARE(S<QGroupBox>("groupBox")->title(), QStringLiteral("Настройки"));
        auto* pcp = S<QComboBox>("cbPCP");
        QCOMPARE(texts(pcp), (QStringList{"ПСП 2^7-1", "ПСП 2^11-1", "ПСП 2^15-1", "ПСП 2^20-1",
                                          "Дв. слово 32 бита", "Слово+альт. слово", "Октет 55", "ПСП 2^9-1"}));
        QCOMPARE(pcp->currentIndex(), 0);
        QCOMPARE(pcp->maximumWidth(), 125);
        QVERIFY(!S<QFrame>("fBits0_15")->isEnabled());
        QVERIFY(!S<QFrame>("fBits16_31")->isEnabled());
        QVERIFY(!S<QLineEdit>("lWordSwitchLoop")->isEnabled());
        QVERIFY(S<QFrame>("fTime")->isEnabled());
        QVERIFY(S<QRadioButton>("rCurrent")->isChecked());
        QVERIFY(!S<QRadioButton>("rDateTime")->isChecked());
        QVERIFY(!S<QCheckBox>("cbRxTxSettings")->isChecked());
        QCOMPARE(S<QCheckBox>("cbRxTxSettings")->text(), QStringLiteral("Совместные настройки приема и передачи"));

        // Each bit row: low octet first, most significant bit first, then the high octet.
        for (const char* frame : {"fBits0_15", "fBits16_31"}) {
            const int base = QByteArray(frame) == "fBits0_15" ? 0 : 16;
            QList<QPushButton*> row;
            for (QPushButton* b : S<QFrame>(frame)->findChildren<QPushButton*>())
                row << b;
            std::sort(row.begin(), row.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
            QCOMPARE(row.size(), 16);
            QStringList names;
            for (QPushButton* b : row) {
                names << b->objectName();
                QCOMPARE(b->text(), QStringLiteral("0"));
                QCOMPARE(b->styleSheet(), RED);
                QCOMPARE(b->maximumWidth(), 15);
            }
            QStringList expected;
            for (int n = 7; n >= 0; --n)
                expected << QStringLiteral("b%1").arg(base + n);
            for (int n = 15; n >= 8; --n)
                expected << QStringLiteral("b%1").arg(base + n);
            QCOMPARE(names, expected);
        }

        const struct { const char* edit; int lo, hi, width; } edits[] = {
            {"lWordSwitchLoop", 0, 255, 125}, {"lDay", 0, 255, 50}, {"lHour", 0, 23, 50}, {"lMin", 1, 59, 50}};
        for (const auto& e : edits) {
            auto* le = S<QLineEdit>(e.edit);
            auto* v = qobject_cast<const QIntValidator*>(le->validator());
            QVERIFY2(v, e.edit);
            QCOMPARE(v->bottom(), e.lo);
            QCOMPARE(v->top(), e.hi);
            QCOMPARE(le->maximumWidth(), e.width);
            QCOMPARE(le->text(), QStringLiteral("0"));
        }
        for (const char* e : {"lDay", "lHour", "lMin"})
            QVERIFY(!S<QLineEdit>(e)->isEnabled());
    }

    void sequenceChoiceEnablesWordEditors()
    {
        auto* pcp = S<QComboBox>("cbPCP");
        for (int i : {5, 4, 6, 7, 0, 3, 5}) {
            choose(pcp, i);
            QCOMPARE(pcp->currentIndex(), i);
            QCOMPARE(int(rig->dev.common.seq_type), i);
            const bool words = i == 4 || i == 5;
            QCOMPARE(S<QFrame>("fBits0_15")->isEnabled(), words);
            QCOMPARE(S<QFrame>("fBits16_31")->isEnabled(), words);
            QCOMPARE(S<QLineEdit>("lWordSwitchLoop")->isEnabled(), i == 5);
            // One sequence command with the new type in bits 2-4.
            QCOMPARE(sent(), QList<QByteArray>{F(0x04, QByteArray::number(i << 2, 16).rightJustified(2, '0') + "000000000000")});
        }
        // The user picks the stored sequence again: nothing to send.
        choose(pcp, 5);
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void bitButtonsToggleWords()
    {
        choose(S<QComboBox>("cbPCP"), 4);
        sent();
        auto* b20 = S<QPushButton>("b20");
        click(b20);
        QCOMPARE(rig->dev.common.alt_word, quint16(0x0010));
        QCOMPARE(b20->text(), QStringLiteral("1"));
        QCOMPARE(b20->styleSheet(), GREEN);
        QCOMPARE(sent(), QList<QByteArray>{F(0x04, "10000000100000")});

        click(S<QPushButton>("b3"));
        click(S<QPushButton>("b15"));
        QCOMPARE(rig->dev.common.word, quint16(0x8008));
        QCOMPARE(sent(), (QList<QByteArray>{F(0x04, "10000800100000"), F(0x04, "10000880100000")}));

        click(b20);
        QCOMPARE(rig->dev.common.alt_word, quint16(0));
        QCOMPARE(b20->text(), QStringLiteral("0"));
        QCOMPARE(b20->styleSheet(), RED);
        QCOMPARE(sent().size(), 1);
    }

    void wordSwitchLoopTyping()
    {
        choose(S<QComboBox>("cbPCP"), 5);
        sent();
        auto* loop = S<QLineEdit>("lWordSwitchLoop");
        type(loop, "200");
        QCOMPARE(int(rig->dev.common.word_switch_loop), 200);
        const QList<QByteArray> frames = sent();
        QCOMPARE(frames.size(), 3); // "2", "20", "200"
        QCOMPARE(frames.last(), F(0x04, "140000000000c8"));
        type(loop, "");
        QCOMPARE(int(rig->dev.common.word_switch_loop), 200);
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void measurementTime()
    {
        auto* day = S<QLineEdit>("lDay");
        click(S<QRadioButton>("rDateTime"));
        QCOMPARE(int(rig->dev.common.timed_measurement), 1);
        QVERIFY(day->isEnabled() && S<QLineEdit>("lHour")->isEnabled() && S<QLineEdit>("lMin")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x03, "28000000")});

        // Clearing the days completely sends nothing; typing 7 sends the base settings.
        type(day, "");
        QCOMPARE(day->text(), QString());
        QCOMPARE(sent(), QList<QByteArray>{});
        type(day, "7");
        QCOMPARE(int(rig->dev.common.meas_days), 7);
        QCOMPARE(sent(), QList<QByteArray>{F(0x03, "28070000")});

        type(S<QLineEdit>("lHour"), "23");
        type(S<QLineEdit>("lMin"), "5");
        QCOMPARE(int(rig->dev.common.meas_hours), 23);
        QCOMPARE(int(rig->dev.common.meas_minutes), 5);
        QCOMPARE(sent().last(), F(0x03, "28071705"));

        // The edit lets half-typed out-of-range numbers stand while typing; they are not settings.
        type(S<QLineEdit>("lHour"), "99");
        type(S<QLineEdit>("lMin"), "0");
        QCOMPARE(S<QLineEdit>("lHour")->text(), QStringLiteral("99"));
        QCOMPARE(int(rig->dev.common.meas_hours), 9); // the "9" on the way was a valid hour
        QCOMPARE(int(rig->dev.common.meas_minutes), 5);
        QCOMPARE(sent(), QList<QByteArray>{F(0x03, "28070905")});

        click(S<QRadioButton>("rCurrent"));
        QCOMPARE(int(rig->dev.common.timed_measurement), 0);
        QVERIFY(!day->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x03, "08070905")});
    }

    void jointSwitchSignalOrder()
    {
        QStringList log;
        connect(rig->sf, &SettingsFrame::rxtx_jointly_sw, this, [&](bool on) { log << QStringLiteral("sw %1").arg(on); });
        connect(rig->sf, &SettingsFrame::set_base_settings, this, [&] { log << "base"; });
        connect(rig->sf, &SettingsFrame::rxtx_jointly_usr, this, [&](bool on) { log << QStringLiteral("usr %1").arg(on); });
        click(S<QCheckBox>("cbRxTxSettings"));
        QCOMPARE(log, (QStringList{"sw 1", "base", "usr 1"}));
        QCOMPARE(int(rig->dev.common.rxtx_jointly), 1);
        const QList<QByteArray> frames = sent();
        QCOMPARE(frames.first(), F(0x03, "00000000")); // joint mode travels inverted

        log.clear();
        rig->dev.common.rxtx_jointly = 0;
        rig->sf->update_form();
        rig->dev.common.rxtx_jointly = 1;
        rig->sf->update_form();
        rig->sf->update_form();
        QCOMPARE(log, (QStringList{"sw 0", "sw 1"}));
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void settingsReloadShowsModelAndSendsNothing()
    {
        CommonSettings& c = rig->dev.common;
        c.seq_type = 5;
        c.word = 0x8001;
        c.alt_word = 0x0010;
        c.word_switch_loop = 7;
        c.timed_measurement = 1;
        c.meas_days = 3;
        c.meas_hours = 4;
        c.meas_minutes = 5;
        rig->sf->update_form();
        QCOMPARE(S<QComboBox>("cbPCP")->currentIndex(), 5);
        QVERIFY(S<QFrame>("fBits0_15")->isEnabled() && S<QLineEdit>("lWordSwitchLoop")->isEnabled());
        for (int n = 0; n < 32; ++n) {
            auto* b = S<QPushButton>(QByteArray("b" + QByteArray::number(n)).constData());
            const bool set = n == 0 || n == 15 || n == 20;
            QCOMPARE(b->text(), set ? QStringLiteral("1") : QStringLiteral("0"));
            QCOMPARE(b->styleSheet(), set ? GREEN : RED);
        }
        QCOMPARE(S<QLineEdit>("lWordSwitchLoop")->text(), QStringLiteral("7"));
        QVERIFY(S<QRadioButton>("rDateTime")->isChecked() && !S<QRadioButton>("rCurrent")->isChecked());
        QVERIFY(S<QLineEdit>("lDay")->isEnabled());
        QCOMPARE(S<QLineEdit>("lDay")->text() + S<QLineEdit>("lHour")->text() + S<QLineEdit>("lMin")->text(),
                 QStringLiteral("345"));
        c.timed_measurement = 0;
        rig->sf->update_form();
        QVERIFY(S<QRadioButton>("rCurrent")->isChecked() && !S<QLineEdit>("lDay")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{});
        QVERIFY(rig->dev.cmd_queue.isEmpty());

        // A bit toggled after a reload starts from the reloaded word.
        click(S<QPushButton>("b0"));
        QCOMPARE(c.word, quint16(0x8000));
    }

    void runningTestLocksMeasurementTime()
    {
        rig->dev.common.test_running = 1;
        rig->sf->update_test_state();
        QVERIFY(!S<QFrame>("fTime")->isEnabled());
        QVERIFY(!S<QRadioButton>("rDateTime")->isEnabled());
        click(S<QRadioButton>("rDateTime"));
        QCOMPARE(int(rig->dev.common.timed_measurement), 0);
        QCOMPARE(sent(), QList<QByteArray>{});
        rig->dev.common.test_running = 0;
        rig->sf->update_test_state();
        QVERIFY(S<QFrame>("fTime")->isEnabled());
    }

    // ---- transmitter panel ---------------------------------------------------

    void transmitterFormAsBuilt()
    {
        const QString tr = russian ? QStringLiteral("Передача") : QStringLiteral("Transmission");
        QCOMPARE(A<QGroupBox>("groupBox")->title(), tr + " A");
        QCOMPARE(B<QGroupBox>("groupBox")->title(), tr + " B");
        QCOMPARE(texts(A<QComboBox>("cbFreqType")), (QStringList{"2048 кГц", "RxA", "RxB"}));
        QCOMPARE(texts(B<QComboBox>("cbFreqType")), (QStringList{"2048 кГц", "RxB"}));
        QCOMPARE(texts(A<QComboBox>("cbFreqVal")), (QStringList{"Номинал", "Ручная", "АВТО"}));
        QCOMPARE(texts(A<QComboBox>("cbErrType")), (QStringList{"Бинарные", "Кодовые", "Цикловые", "CRC 4", "Е-бит"}));
        QCOMPARE(texts(A<QComboBox>("cbErrAuto")), (QStringList{"Ручной", "Автоматический"}));
        QCOMPARE(texts(A<QComboBox>("cbErrVal")), (QStringList{"10^-3", "10^-4", "10^-5", "10^-6", "10^-7"}));
        QCOMPARE(texts(A<QComboBox>("cbDefectType")), (QStringList{"СИАС", "RIA", "MRIA"}));
        QVERIFY(A<QCheckBox>("cbSyncSignal")->isHidden());
        QVERIFY(!B<QCheckBox>("cbSyncSignal")->isHidden());
        QVERIFY(!A<QFrame>("fJit")->isHidden());
        QVERIFY(B<QFrame>("fJit")->isHidden());
        for (const char* off : {"lFreqVal", "cbCAS", "cbCRC4", "fSignal", "cbErrType", "cbErrAuto", "cbErrVal",
                                "bErrInput", "cbDefectType", "lAmplitude", "lFrequency"})
            QVERIFY2(!A<QWidget>(off)->isEnabled(), off);
        QCOMPARE(A<QLineEdit>("lAmplitude")->text(), QStringLiteral("0.00"));

        auto* fv = qobject_cast<const QIntValidator*>(A<QLineEdit>("lFreqVal")->validator());
        QVERIFY(fv && fv->bottom() == -200 && fv->top() == 200);
        auto* av = qobject_cast<const QDoubleValidator*>(A<QLineEdit>("lAmplitude")->validator());
        QVERIFY(av && av->bottom() == 0.0 && av->top() == 10.0 && av->decimals() == 2);
        auto* jv = qobject_cast<const QIntValidator*>(A<QLineEdit>("lFrequency")->validator());
        QVERIFY(jv && jv->bottom() == 0 && jv->top() == 100000);

        // Timeslot boxes 1..31, none for timeslot 0, in both panels.
        for (QWidget* panel : {static_cast<QWidget*>(rig->tx[0]), static_cast<QWidget*>(rig->rx[1])}) {
            const QList<QCheckBox*> boxes = rig->w<QFrame>(panel, "fSignal")->findChildren<QCheckBox*>();
            QCOMPARE(boxes.size(), 31);
            QVERIFY(!panel->findChild<QCheckBox*>("cb0"));
            for (int n = 1; n <= 31; ++n)
                QVERIFY(rig->w<QCheckBox>(panel, QByteArray("cb" + QByteArray::number(n)).constData())->text().isEmpty());
        }
    }

    void framingAndCrc4()
    {
        auto* loop = A<QCheckBox>("cbLoop");
        auto* crc = A<QCheckBox>("cbCRC4");
        auto* cas = A<QCheckBox>("cbCAS");
        click(loop);
        QVERIFY(crc->isEnabled() && cas->isEnabled() && A<QFrame>("fSignal")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x09, "01")});

        // CRC-4 on for the channel A transmitter: exactly one 0x09 frame, bit 1 set.
        click(crc);
        QCOMPARE(int(rig->dev.tx[0].crc4), 1);
        const QList<QByteArray> frames = sent();
        QCOMPARE(frames.size(), 1);
        QCOMPARE(frames[0], F(0x09, "03"));
        QVERIFY(quint8(frames[0].at(3)) & 0x02);

        click(cas);
        QCOMPARE(sent(), QList<QByteArray>{F(0x09, "07")});

        // Framing off: the boxes lock but keep their values, and the command drops their bits.
        click(loop);
        QVERIFY(!crc->isEnabled() && !cas->isEnabled() && !A<QFrame>("fSignal")->isEnabled());
        QVERIFY(crc->isChecked() && cas->isChecked());
        QCOMPARE(int(rig->dev.tx[0].crc4), 1);
        QCOMPARE(int(rig->dev.tx[0].cas), 1);
        QCOMPARE(sent(), QList<QByteArray>{F(0x09, "00")});

        // Channel B goes to its own command.
        click(B<QCheckBox>("cbLoop"));
        QCOMPARE(sent(), QList<QByteArray>{F(0x49, "01")});
    }

    void casReservesTimeslot16()
    {
        rig->dev.tx[0].timeslot_mask = 0x00010002;
        rig->dev.tx[0].framing = 1;
        rig->tx[0]->update_form();
        auto* cb16 = A<QCheckBox>("cb16");
        QVERIFY(cb16->isChecked() && cb16->isEnabled());

        click(A<QCheckBox>("cbCAS"));
        QCOMPARE(rig->dev.tx[0].timeslot_mask, quint32(0x00000002));
        QVERIFY(!cb16->isEnabled());
        QVERIFY(!cb16->isChecked());
        QCOMPARE(sent(), QList<QByteArray>{F(0x09, "05")});

        click(A<QCheckBox>("cbCAS"));
        QCOMPARE(rig->dev.tx[0].timeslot_mask, quint32(0x00010002));
        QVERIFY(cb16->isEnabled() && cb16->isChecked());
        QCOMPARE(sent(), QList<QByteArray>{F(0x09, "01")});

        // A reload with CAS on never shows timeslot 16 as a test slot.
        rig->dev.tx[0].cas = 1;
        rig->tx[0]->update_form();
        QVERIFY(!cb16->isChecked() && !cb16->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void timeslotBoxes()
    {
        click(A<QCheckBox>("cbLoop"));
        click(RA<QCheckBox>("cbLoop"));
        sent();
        click(A<QCheckBox>("cb5"));
        click(A<QCheckBox>("cb31"));
        QCOMPARE(rig->dev.tx[0].timeslot_mask, quint32(0x80000020));
        click(RA<QCheckBox>("cb1"));
        QCOMPARE(rig->dev.rx[0].timeslot_mask, quint32(0x00000002));
        QCOMPARE(sent(), (QList<QByteArray>{F(0x0C, "200000000000000000000000"), F(0x0C, "200000800000000000000000"),
                                            F(0x0C, "200000800200000000000000")}));
        click(A<QCheckBox>("cb5"));
        QCOMPARE(rig->dev.tx[0].timeslot_mask, quint32(0x80000000));
        QCOMPARE(sent().size(), 1);

        rig->dev.tx[1].timeslot_mask = 0xFFFEFFFE;
        rig->tx[1]->update_form();
        int checked = 0;
        for (QCheckBox* b : B<QFrame>("fSignal")->findChildren<QCheckBox*>())
            checked += b->isChecked();
        QCOMPARE(checked, 30);
        QVERIFY(!B<QCheckBox>("cb16")->isChecked());
    }

    void clockAndFrequency()
    {
        auto* type_a = A<QComboBox>("cbFreqType");
        auto* mode = A<QComboBox>("cbFreqVal");
        auto* offset = A<QLineEdit>("lFreqVal");
        QVERIFY(!offset->isEnabled());
        choose(mode, 1);
        QCOMPARE(int(rig->dev.tx[0].freq_mode), 1);
        QVERIFY(offset->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x05, "0400")});
        type(offset, "-5");
        QCOMPARE(int(rig->dev.tx[0].freq_offset), -5);
        // "-" alone is not a number yet: only "-5" is sent.
        QCOMPARE(sent(), QList<QByteArray>{F(0x05, "14fb")});
        type(offset, "");
        QCOMPARE(sent(), QList<QByteArray>{});

        choose(type_a, 2);
        QCOMPARE(int(rig->dev.tx[0].clock_source), 2);
        QVERIFY(!offset->isEnabled() && !mode->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x05, "16fb")});
        // A reload that changes the mode with a receiver clock leaves the offset locked.
        rig->dev.tx[0].freq_mode = 2;
        rig->tx[0]->update_form();
        rig->dev.tx[0].freq_mode = 1;
        rig->tx[0]->update_form();
        QVERIFY(!offset->isEnabled());
        choose(type_a, 0);
        QVERIFY(offset->isEnabled() && mode->isEnabled());
        sent();
        choose(mode, 2);
        QVERIFY(!offset->isEnabled());
        choose(mode, 2);
        QCOMPARE(sent(), QList<QByteArray>{F(0x05, "18fb")});

        // Channel B: two clocks; "RxB" is stored as 1 and sent as code 2.
        auto* type_b = B<QComboBox>("cbFreqType");
        QCOMPARE(type_b->count(), 2);
        choose(type_b, 1);
        QCOMPARE(int(rig->dev.tx[1].clock_source), 1);
        QCOMPARE(sent(), QList<QByteArray>{F(0x45, "0200")});
    }

    void lineCodeAndInversion()
    {
        choose(A<QComboBox>("cbCode"), 1);
        QCOMPARE(int(rig->dev.tx[0].line_code), 1);
        choose(RB<QComboBox>("cbCode"), 1);
        QCOMPARE(int(rig->dev.rx[1].line_code), 1);
        choose(RB<QComboBox>("cbCode"), 1);
        QCOMPARE(sent(), (QList<QByteArray>{F(0x06, "0100"), F(0x06, "0102")}));
        click(A<QCheckBox>("cbInversion"));
        click(RB<QCheckBox>("cbInversion"));
        QCOMPARE(sent(), (QList<QByteArray>{F(0x04, "40000000000000"), F(0x04, "40200000000000")}));
    }

    void syncSignalModeOnChannelB()
    {
        auto* sync = B<QCheckBox>("cbSyncSignal");
        click(B<QCheckBox>("cbLoop"));
        sent();
        click(sync);
        QCOMPARE(int(rig->dev.tx[1].sync_signal), 1);
        QCOMPARE(int(rig->dev.tx[1].clock_source), 1);
        QCOMPARE(B<QComboBox>("cbFreqType")->currentIndex(), 1);
        for (const char* off : {"fFreq", "fDef", "fErr", "cbLoop", "fSignal", "cbCAS", "cbCRC4"})
            QVERIFY2(!B<QWidget>(off)->isEnabled(), off);
        QVERIFY(sync->isEnabled());
        // Only the line settings carry the sync bit; the clock goes with it.
        QCOMPARE(sent(), QList<QByteArray>{F(0x06, "0040")});

        click(sync);
        QCOMPARE(int(rig->dev.tx[1].sync_signal), 0);
        QCOMPARE(int(rig->dev.tx[1].clock_source), 0);
        QCOMPARE(B<QComboBox>("cbFreqType")->currentIndex(), 0);
        for (const char* on : {"fFreq", "fDef", "fErr", "cbLoop", "fSignal", "cbCAS", "cbCRC4", "cb16", "cbFreqVal"})
            QVERIFY2(B<QWidget>(on)->isEnabled(), on);
        QCOMPARE(sent(), QList<QByteArray>{F(0x06, "0000")});

        // A reload in sync mode locks the panel the same way and sends nothing.
        rig->dev.tx[1].sync_signal = 1;
        rig->dev.tx[1].clock_source = 1;
        rig->tx[1]->update_form();
        QVERIFY(sync->isChecked() && !B<QWidget>("fErr")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void errorInsertionRules()
    {
        TxSettings& t = rig->dev.tx[0];
        auto* on = A<QCheckBox>("cbErrInput");
        auto* kind = A<QComboBox>("cbErrType");
        auto* mode = A<QComboBox>("cbErrAuto");
        auto* rate = A<QComboBox>("cbErrVal");
        auto* insert = A<QPushButton>("bErrInput");

        click(on);
        QCOMPARE(int(t.err_type), 0);
        QCOMPARE(int(t.err_mode), 1);
        QCOMPARE(int(t.err_rate_exp), 0);
        QVERIFY(kind->isEnabled() && mode->isEnabled() && insert->isEnabled() && !rate->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x07, "0800")});

        // "CRC 4" stores 4, manual mode, no rate; automatic insertion is not offered for it.
        choose(kind, 3);
        QCOMPARE(int(t.err_type), 4);
        QCOMPARE(int(t.err_mode), 1);
        QCOMPARE(int(t.err_rate_exp), 0);
        QVERIFY(!mode->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x07, "0c00")});
        choose(kind, 4);
        QCOMPARE(int(t.err_type), 5);
        choose(kind, 2);
        QCOMPARE(int(t.err_type), 2);
        sent();

        choose(kind, 0);
        QVERIFY(mode->isEnabled());
        choose(mode, 1);
        QCOMPARE(int(t.err_mode), 2);
        QCOMPARE(int(t.err_rate_exp), 3);
        QVERIFY(rate->isEnabled() && !insert->isEnabled());
        choose(rate, 3);
        QCOMPARE(int(t.err_rate_exp), 6);
        choose(rate, 3);
        QCOMPARE(sent(), (QList<QByteArray>{F(0x07, "0800"), F(0x07, "1003"), F(0x07, "1006")}));

        // Choosing a type resets the mode to manual before the type is stored.
        choose(kind, 1);
        QCOMPARE(mode->currentIndex(), 0);
        QCOMPARE(int(t.err_type), 1);
        QCOMPARE(int(t.err_mode), 1);
        QCOMPARE(int(t.err_rate_exp), 0);
        QVERIFY(insert->isEnabled());
        sent();
        // Manual insertion: each press sends the unchanged settings again.
        click(insert);
        click(insert);
        QCOMPARE(sent(), (QList<QByteArray>{F(0x07, "0900"), F(0x07, "0900")}));

        click(on);
        QCOMPARE(int(t.err_type) + int(t.err_mode) + int(t.err_rate_exp), 0);
        QVERIFY(!kind->isEnabled() && !mode->isEnabled() && !rate->isEnabled() && !insert->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x07, "0000")});

        // Channel B inserts code errors on request only.
        click(B<QCheckBox>("cbErrInput"));
        choose(B<QComboBox>("cbErrType"), 1);
        QVERIFY(!B<QComboBox>("cbErrAuto")->isEnabled());
        choose(B<QComboBox>("cbErrType"), 0);
        QVERIFY(B<QComboBox>("cbErrAuto")->isEnabled());
        QCOMPARE(sent(), (QList<QByteArray>{F(0x47, "0800"), F(0x47, "0900"), F(0x47, "0800")}));
    }

    void errorReloadKeepsModeLockedWhileOff()
    {
        // The instrument reports a code-error type with insertion off.
        rig->dev.tx[0].err_type = 1;
        rig->dev.tx[0].err_mode = 0;
        rig->tx[0]->update_form();
        QVERIFY(!A<QCheckBox>("cbErrInput")->isChecked());
        for (const char* off : {"cbErrType", "cbErrAuto", "cbErrVal", "bErrInput"})
            QVERIFY2(!A<QWidget>(off)->isEnabled(), off);

        const struct { quint8 type, mode, rate; int ti, mi, ri; } cases[] = {
            {0, 2, 5, 0, 1, 2}, {1, 1, 0, 1, 0, 0}, {3, 1, 0, 2, 0, 0}, {6, 1, 0, 3, 0, 0}, {7, 1, 0, 4, 0, 0}, {9, 1, 0, 0, 0, 0}};
        for (const auto& c : cases) {
            rig->dev.tx[0].err_type = c.type;
            rig->dev.tx[0].err_mode = c.mode;
            rig->dev.tx[0].err_rate_exp = c.rate;
            rig->tx[0]->update_form();
            QVERIFY(A<QCheckBox>("cbErrInput")->isChecked());
            QCOMPARE(A<QComboBox>("cbErrType")->currentIndex(), c.ti);
            QCOMPARE(A<QComboBox>("cbErrAuto")->currentIndex(), c.mi);
            QCOMPARE(A<QComboBox>("cbErrVal")->currentIndex(), c.ri);
            QCOMPARE(A<QComboBox>("cbErrVal")->isEnabled(), c.mi == 1);
        }
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void defectInsertion()
    {
        click(A<QCheckBox>("cbInputDefect"));
        QVERIFY(A<QComboBox>("cbDefectType")->isEnabled());
        choose(A<QComboBox>("cbDefectType"), 2);
        QCOMPARE(int(rig->dev.tx[0].defect_type), 2);
        choose(A<QComboBox>("cbDefectType"), 2);
        click(A<QCheckBox>("cbInputDefect"));
        QCOMPARE(int(rig->dev.tx[0].defect_on), 0);
        click(B<QCheckBox>("cbInputDefect"));
        QCOMPARE(sent(), (QList<QByteArray>{F(0x08, "01"), F(0x08, "03"), F(0x08, "00"), F(0x48, "01")}));
    }

    void jitterGenerator()
    {
        auto* amp = A<QLineEdit>("lAmplitude");
        auto* freq = A<QLineEdit>("lFrequency");
        click(A<QCheckBox>("cbJitter"));
        QVERIFY(amp->isEnabled() && freq->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x0D, "0000000001")});

        type(amp, "12.5");
        QCOMPARE(amp->text(), QStringLiteral("12.5"));
        QCOMPARE(rig->dev.tx[0].jitter_amplitude, 10.0);
        QCOMPARE(sent().last(), F(0x0D, "000003e801"));
        type(amp, "2.55");
        QCOMPARE(rig->dev.tx[0].jitter_amplitude, 2.55);
        type(amp, "");
        QCOMPARE(rig->dev.tx[0].jitter_amplitude, 0.0);
        QCOMPARE(sent().last(), F(0x0D, "0000000001")); // empty text stores 0 and is sent

        type(freq, "999999");
        QCOMPARE(rig->dev.tx[0].jitter_freq, quint32(100000));
        QCOMPARE(sent().last(), F(0x0D, "2710000001"));
        type(freq, "12345");
        QCOMPARE(rig->dev.tx[0].jitter_freq, quint32(12345));
        QCOMPARE(sent().last(), F(0x0D, "04d2000001"));

        rig->dev.tx[0].jitter_amplitude = 2.5;
        rig->dev.tx[0].jitter_freq = 1230;
        rig->tx[0]->update_form();
        QCOMPARE(amp->text(), QStringLiteral("2.50"));
        QCOMPARE(freq->text(), QStringLiteral("1230"));
        QCOMPARE(sent(), QList<QByteArray>{});
    }

    void jointFlagAnnouncesToReceiverFirst()
    {
        QStringList log;
        connect(rig->tx[0], &TransmissionFrame::update_rcv_form, this, [&] { log << "rcv"; });
        connect(rig->tx[0], &TransmissionFrame::set_cycle_settings, this, [&] { log << "cycle"; });
        click(A<QCheckBox>("cbLoop"));
        QCOMPARE(log, QStringList{"cycle"});
        log.clear();
        rig->tx[0]->rxtx_jointly_sw(true);
        click(A<QCheckBox>("cbLoop"));
        QCOMPARE(log, (QStringList{"rcv", "cycle"}));
    }

    void transmitterReloadSendsNothing()
    {
        TxSettings& t = rig->dev.tx[0];
        t.clock_source = 0;
        t.freq_mode = 1;
        t.freq_offset = -17;
        t.line_code = 1;
        t.inversion = 1;
        t.framing = 1;
        t.crc4 = 1;
        t.timeslot_mask = 0x000000F0;
        t.defect_on = 1;
        t.defect_type = 1;
        t.jitter_on = 1;
        rig->tx[0]->update_form();
        QCOMPARE(A<QLineEdit>("lFreqVal")->text(), QStringLiteral("-17"));
        QVERIFY(A<QLineEdit>("lFreqVal")->isEnabled());
        QCOMPARE(A<QComboBox>("cbCode")->currentIndex(), 1);
        QVERIFY(A<QCheckBox>("cbInversion")->isChecked() && A<QCheckBox>("cbCRC4")->isChecked());
        QVERIFY(A<QCheckBox>("cbCRC4")->isEnabled() && A<QFrame>("fSignal")->isEnabled());
        QVERIFY(A<QCheckBox>("cb4")->isChecked() && !A<QCheckBox>("cb3")->isChecked());
        QCOMPARE(A<QComboBox>("cbDefectType")->currentIndex(), 1);
        QVERIFY(A<QComboBox>("cbDefectType")->isEnabled() && A<QLineEdit>("lAmplitude")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{});

        // A configuration reply reloads the panels of its channel and sends nothing further.
        rig->dev.get_cfg(0);
        rig->dev.get_cfg(1);
        QCOMPARE(sent(), (QList<QByteArray>{F(0x88, ""), F(0xC8, "")}));
        QCOMPARE(A<QComboBox>("cbCode")->currentIndex(), 0);
        QVERIFY(!A<QCheckBox>("cbLoop")->isChecked());
        QVERIFY(rig->dev.cmd_queue.isEmpty());
    }

    // ---- receiver panel ------------------------------------------------------

    void receiverFormAsBuilt()
    {
        const QString rcv = russian ? QStringLiteral("Прием") : QStringLiteral("Receive");
        QCOMPARE(RA<QGroupBox>("groupBox")->title(), rcv + " A");
        QCOMPARE(RB<QGroupBox>("groupBox")->title(), rcv + " B");
        QCOMPARE(texts(RA<QComboBox>("cbExtraAmpl")), (QStringList{"0 дБ", "20 дБ", "26 дБ", "32 дБ"}));
        QCOMPARE(texts(RA<QComboBox>("cbCode")), (QStringList{"AMI", "HDB-3"}));
        QCOMPARE(RA<QLineEdit>("lSignalLvl")->text(), QStringLiteral("0 дБ"));
        QCOMPARE(RA<QLineEdit>("lSignalFreq")->text(), QStringLiteral("0 Гц"));
        for (const char* off : {"lSignalLvl", "lSignalFreq", "cbCAS", "cbCRC4", "fSignal"})
            QVERIFY2(!RA<QWidget>(off)->isEnabled(), off);
        QCOMPARE(RA<QLabel>("label_32")->text(), QStringLiteral("Дополнительное усиление"));
    }

    void receiverEdits()
    {
        RxSettings& r = rig->dev.rx[0];
        choose(RA<QComboBox>("cbExtraAmpl"), 2);
        QCOMPARE(int(r.extra_gain), 2);
        choose(RA<QComboBox>("cbExtraAmpl"), 2);
        click(RA<QCheckBox>("cbLongLine"));
        QCOMPARE(int(r.long_line), 1);
        QCOMPARE(sent(), (QList<QByteArray>{F(0x06, "2000"), F(0x06, "2800")}));

        click(RA<QCheckBox>("cbLoop"));
        QVERIFY(RA<QCheckBox>("cbCAS")->isEnabled() && RA<QFrame>("fSignal")->isEnabled());
        r.timeslot_mask = 0x00010000;
        rig->rx[0]->update_form();
        click(RA<QCheckBox>("cbCAS"));
        QCOMPARE(int(r.cas), 1);
        QCOMPARE(r.timeslot_mask, quint32(0x00010000)); // the receiver leaves its mask alone
        QVERIFY(!RA<QCheckBox>("cb16")->isEnabled() && !RA<QCheckBox>("cb16")->isChecked());
        click(RA<QCheckBox>("cbCRC4"));
        QCOMPARE(sent(), (QList<QByteArray>{F(0x09, "08"), F(0x09, "28"), F(0x09, "38")}));
        click(RA<QCheckBox>("cb2"));
        QCOMPARE(sent(), QList<QByteArray>{F(0x0C, "000000000400010000000000")});
    }

    void jointModeFollowsTransmitter()
    {
        TxSettings& t = rig->dev.tx[0];
        t.line_code = 1;
        t.framing = 1;
        t.crc4 = 1;
        t.timeslot_mask = 0x0000FF00;
        rig->dev.rx[0].extra_gain = 3;
        rig->dev.rx[1].framing = 1;
        rig->tx[0]->update_form();
        rig->rx[0]->update_form();

        click(S<QCheckBox>("cbRxTxSettings"));
        const RxSettings& r = rig->dev.rx[0];
        QCOMPARE(int(r.line_code), 1);
        QCOMPARE(int(r.framing), 1);
        QCOMPARE(int(r.crc4), 1);
        QCOMPARE(r.timeslot_mask, quint32(0x0000FF00));
        QCOMPARE(int(r.extra_gain), 3); // receiver-only settings stay
        QCOMPARE(RA<QComboBox>("cbCode")->currentIndex(), 1);
        QVERIFY(RA<QCheckBox>("cb8")->isChecked());
        for (const char* off : {"cbLoop", "cbCRC4", "cbCAS", "cbCode", "cbInversion", "fSignal"})
            QVERIFY2(!RA<QWidget>(off)->isEnabled(), off);
        QVERIFY(RA<QComboBox>("cbExtraAmpl")->isEnabled() && RA<QCheckBox>("cbLongLine")->isEnabled());
        QVERIFY(!rig->dev.rx[1].framing); // channel B took its transmitter's values too
        // Base settings, then each receiver's channel, cycle and sequence settings; no line settings.
        QList<quint8> codes;
        for (const QByteArray& f : sent())
            codes << quint8(f.at(2));
        QCOMPARE(codes, (QList<quint8>{0x03, 0x0C, 0x09, 0x04, 0x4C, 0x49, 0x04}));

        // The transmitter's framing click reaches the receiver at once.
        click(A<QCheckBox>("cbLoop"));
        QVERIFY(!RA<QCheckBox>("cbLoop")->isChecked());
        QCOMPARE(int(r.framing), 0);
        QCOMPARE(sent(), QList<QByteArray>{F(0x09, "00")});
        click(A<QCheckBox>("cbLoop"));
        QVERIFY(RA<QCheckBox>("cbLoop")->isChecked());
        QCOMPARE(sent(), QList<QByteArray>{F(0x09, "1b")});

        // Switching the joint mode off frees the receiver without sending anything for it.
        click(S<QCheckBox>("cbRxTxSettings"));
        QVERIFY(RA<QCheckBox>("cbLoop")->isEnabled() && RA<QFrame>("fSignal")->isEnabled());
        QCOMPARE(sent(), QList<QByteArray>{F(0x03, "08000000")});
    }

    void jointModeWithoutInstrumentKeepsReceiver()
    {
        rig.reset();
        usb->writes.clear();
        rig = std::make_unique<PanelRig>(); // never connected
        QVERIFY(!rig->dev.is_connected());
        rig->dev.tx[0].framing = 1;
        rig->dev.tx[0].line_code = 1;
        click(S<QCheckBox>("cbRxTxSettings"));
        click(A<QCheckBox>("cbLoop"));
        click(A<QCheckBox>("cbLoop"));
        QCOMPARE(int(rig->dev.rx[0].framing), 0);
        QCOMPARE(int(rig->dev.rx[0].line_code), 0);
        QVERIFY(!RA<QCheckBox>("cbLoop")->isChecked());
        QVERIFY(!RA<QCheckBox>("cbLoop")->isEnabled()); // still locked by the joint mode
    }

    void signalReadings()
    {
        rig->dev.results[0].signal_level = 6;
        rig->dev.results[0].signal_freq = 2048003;
        rig->dev.results[1].signal_level = 40;
        rig->rx[0]->show_signal();
        rig->rx[1]->show_signal();
        QCOMPARE(RA<QLineEdit>("lSignalLvl")->text(), QStringLiteral("6 dB"));
        QCOMPARE(RA<QLineEdit>("lSignalFreq")->text(),
                 QStringLiteral("2048003 ") + (russian ? QStringLiteral("Гц") : QStringLiteral("Hz")));
        QCOMPARE(RB<QLineEdit>("lSignalLvl")->text(), QStringLiteral("40 dB"));
        QCOMPARE(RB<QLineEdit>("lSignalFreq")->text().section(' ', 0, 0), QStringLiteral("0"));
    }

    void panelsFitTheLeftColumn()
    {
        int height = 0;
        for (QWidget* p : {static_cast<QWidget*>(rig->sf), static_cast<QWidget*>(rig->tx[0]),
                           static_cast<QWidget*>(rig->rx[0]), static_cast<QWidget*>(rig->tx[1]),
                           static_cast<QWidget*>(rig->rx[1])}) {
            QVERIFY2(p->minimumSizeHint().width() <= 565, p->metaObject()->className());
            height += p->sizeHint().height();
        }
        QVERIFY(height <= 680);
    }
};

QTEST_MAIN(tst_panels)
#include "tst_panels.moc"
