#include "transmissionframe.h"

#include "device.h"
#include "panelinput.h"
#include "settingranges.h"
#include "timeslots.h"
#include "ui_transmissionframe.h"

#include <cmath>

namespace {

constexpr double MAX_AMPLITUDE = setting::JITTER_AMPLITUDE_MAX;
constexpr quint32 MAX_JITTER_FREQ = setting::JITTER_FREQ.max;

} // namespace

TransmissionFrame::TransmissionFrame(Device* device, int channel, QWidget* parent)
    : QFrame(parent), ui(new Ui::TransmissionFrame), channel(channel), S(false), J(false), device(device)
{
    ui->setupUi(this);
    ui->groupBox->setTitle(tr("Transmission") + QLatin1Char(' ') + (channel == 0 ? QLatin1Char('A') : QLatin1Char('B')));
    ui->cbSyncSignal->setVisible(channel != 0);
    if (channel != 0) {
        // Channel B can take its clock only from its own receiver.
        ui->cbFreqType->removeItem(1);
        ui->fJit->hide();
    }

    const TxSettings* t = &device->tx[channel];
    using namespace setting;
    ui->lFreqVal->setValidator(new FieldIntValidator(FREQ_OFFSET.min, FREQ_OFFSET.max,
                                                     [t] { return QString::number(t->freq_offset); }, this));
    ui->lAmplitude->setValidator(new FieldDoubleValidator(
        0.0, MAX_AMPLITUDE, JITTER_AMPLITUDE_DECIMALS, [t] { return QString::number(t->jitter_amplitude, 'f', 2); },
        this));
    ui->lFrequency->setValidator(new FieldIntValidator(JITTER_FREQ.min, JITTER_FREQ.max,
                                                       [t] { return QString::number(t->jitter_freq); }, this));

    connect(ui->cbFreqType, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbFreqTypeIndexChanged);
    connect(ui->cbFreqVal, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbFreqValIndexChanged);
    connect(ui->cbLoop, &QCheckBox::toggled, this, &TransmissionFrame::cbLoopToggled);
    connect(ui->cbCAS, &QCheckBox::toggled, this, &TransmissionFrame::cbCASToggled);
    connect(ui->cb16, &QCheckBox::toggled, this, &TransmissionFrame::cb16Toggled);
    connect(ui->cbSyncSignal, &QCheckBox::toggled, this, &TransmissionFrame::cbSyncSignalToggled);
    connect(ui->cbErrInput, &QCheckBox::toggled, this, &TransmissionFrame::cbErrInputToggled);
    connect(ui->cbErrType, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbErrTypeIndexChanged);
    connect(ui->cbErrAuto, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbErrAutoIndexChanged);
    connect(ui->cbInputDefect, &QCheckBox::toggled, this, &TransmissionFrame::cbInputDefectToggled);
    connect(ui->cbJitter, &QCheckBox::toggled, this, &TransmissionFrame::cbJitterToggled);

    connect(ui->cbFreqType, &QComboBox::activated, this, &TransmissionFrame::cbFreqTypeActivated);
    connect(ui->cbFreqVal, &QComboBox::activated, this, &TransmissionFrame::cbFreqValActivated);
    connect(ui->lFreqVal, &QLineEdit::textEdited, this, &TransmissionFrame::lFreqValTextEdited);
    connect(ui->cbCode, &QComboBox::activated, this, &TransmissionFrame::cbCodeActivated);
    connect(ui->cbInversion, &QCheckBox::clicked, this, &TransmissionFrame::cbInversionClicked);
    connect(ui->cbLoop, &QCheckBox::clicked, this, &TransmissionFrame::cbLoopClicked);
    connect(ui->cbCAS, &QCheckBox::clicked, this, &TransmissionFrame::cbCASClicked);
    connect(ui->cbCRC4, &QCheckBox::clicked, this, &TransmissionFrame::cbCRC4Clicked);
    connect(ui->cbSyncSignal, &QCheckBox::clicked, this, &TransmissionFrame::cbSyncSignalClicked);
    connect(ui->cbErrInput, &QCheckBox::clicked, this, &TransmissionFrame::cbErrInputClicked);
    connect(ui->cbErrType, &QComboBox::activated, this, &TransmissionFrame::cbErrTypeActivated);
    connect(ui->cbErrAuto, &QComboBox::activated, this, &TransmissionFrame::cbErrAutoActivated);
    connect(ui->cbErrVal, &QComboBox::activated, this, &TransmissionFrame::cbErrValActivated);
    connect(ui->bErrInput, &QPushButton::clicked, this, &TransmissionFrame::bErrInputClicked);
    connect(ui->cbInputDefect, &QCheckBox::clicked, this, &TransmissionFrame::cbInputDefectClicked);
    connect(ui->cbDefectType, &QComboBox::activated, this, &TransmissionFrame::cbDefectTypeActivated);
    connect(ui->cbJitter, &QCheckBox::clicked, this, &TransmissionFrame::cbJitterClicked);
    connect(ui->lAmplitude, &QLineEdit::textEdited, this, &TransmissionFrame::lAmplitudeTextEdited);
    connect(ui->lFrequency, &QLineEdit::textEdited, this, &TransmissionFrame::lFrequencyTextEdited);
    connect(ui->lFreqVal, &QLineEdit::editingFinished, this, &TransmissionFrame::lFreqValEditingFinished);
    connect(ui->lAmplitude, &QLineEdit::editingFinished, this, &TransmissionFrame::lAmplitudeEditingFinished);
    connect(ui->lFrequency, &QLineEdit::editingFinished, this, &TransmissionFrame::lFrequencyEditingFinished);

    connect_timeslot_boxes(ui->fSignal, this);
}

TransmissionFrame::~TransmissionFrame() { delete ui; }

quint8 TransmissionFrame::err_code_of_index(int index)
{
    static const quint8 codes[] = {0, 1, 2, 4, 5};
    return index >= 0 && index < 5 ? codes[index] : 0;
}

int TransmissionFrame::err_index_of_code(quint8 code)
{
    switch (code) {
    case 1: return 1;
    case 2: case 3: return 2;
    case 4: case 6: return 3;
    case 5: case 7: return 4;
    default: return 0;
    }
}

void TransmissionFrame::update_form()
{
    const TxSettings& t = device->tx[channel];
    ui->cbFreqType->setCurrentIndex(t.clock_source);
    ui->cbFreqVal->setCurrentIndex(t.freq_mode);
    ui->lFreqVal->setText(QString::number(t.freq_offset));

    ui->cbCode->setCurrentIndex(t.line_code);
    ui->cbInversion->setChecked(t.inversion != 0);
    ui->cbLoop->setChecked(t.framing != 0);
    ui->cbCAS->setChecked(t.cas != 0);
    ui->cbCRC4->setChecked(t.crc4 != 0);

    if (channel != 0) {
        S = t.sync_signal != 0;
        ui->cbSyncSignal->setChecked(t.sync_signal != 0);
    }

    show_timeslot_mask(ui->fSignal, t.timeslot_mask);

    ui->cbErrInput->setChecked(t.err_mode != 0);
    ui->cbErrType->setCurrentIndex(err_index_of_code(t.err_type));
    ui->cbErrAuto->setCurrentIndex(t.err_mode ? t.err_mode - 1 : 0);
    ui->cbErrVal->setCurrentIndex(t.err_rate_exp ? t.err_rate_exp - 3 : 0);

    ui->cbInputDefect->setChecked(t.defect_on != 0);
    ui->cbDefectType->setCurrentIndex(t.defect_type);
    ui->cbJitter->setChecked(t.jitter_on != 0);

    if (channel == 0) {
        ui->lFrequency->setText(QString::number(t.jitter_freq));
        ui->lAmplitude->setText(QString::number(t.jitter_amplitude, 'f', 2));
    }
}

void TransmissionFrame::rxtx_jointly_sw(bool state) { J = state; }

// ---- form only -------------------------------------------------------------

void TransmissionFrame::cbFreqTypeIndexChanged(int index)
{
    if (index == 0) {
        ui->cbFreqVal->setEnabled(!S);
        ui->lFreqVal->setEnabled(ui->cbFreqVal->currentIndex() == 1 && !S);
    } else {
        ui->cbFreqVal->setEnabled(false);
        ui->lFreqVal->setEnabled(false);
    }
}

void TransmissionFrame::cbFreqValIndexChanged(int index)
{
    ui->lFreqVal->setEnabled(index == 1 && !S && ui->cbFreqType->currentIndex() == 0);
}

void TransmissionFrame::cbLoopToggled(bool state)
{
    const bool on = state && !S;
    ui->fSignal->setEnabled(on);
    ui->cbCAS->setEnabled(on);
    ui->cbCRC4->setEnabled(on);
    cbCASToggled(ui->cbCAS->isChecked());
}

void TransmissionFrame::cbCASToggled(bool state)
{
    // With CAS, timeslot 16 carries the signalling and cannot be a test slot.
    ui->cb16->setEnabled(!state && !S);
    ui->cb16->setChecked(!state);
}

void TransmissionFrame::cb16Toggled(bool state)
{
    if (ui->cbCAS->isChecked() && state)
        ui->cb16->setChecked(false);
}

void TransmissionFrame::cbSyncSignalToggled(bool state)
{
    S = state;
    ui->fFreq->setEnabled(!S);
    ui->fDef->setEnabled(!S);
    ui->fJit->setEnabled(!S);
    ui->fErr->setEnabled(!S);
    ui->cbLoop->setEnabled(!S);
    const bool framed = ui->cbLoop->isChecked() && !S;
    ui->fSignal->setEnabled(framed);
    ui->cbCAS->setEnabled(framed);
    ui->cbCRC4->setEnabled(framed);
    // cb16 may have been disabled while S was set; leaving sync mode must free it again.
    ui->cb16->setEnabled(!ui->cbCAS->isChecked() && !S);
    ui->cbFreqType->setCurrentIndex(S ? 1 : 0);
}

void TransmissionFrame::cbErrInputToggled(bool state)
{
    if (!state) {
        ui->cbErrType->setEnabled(false);
        ui->cbErrAuto->setEnabled(false);
        ui->cbErrVal->setEnabled(false);
        ui->bErrInput->setEnabled(false);
        return;
    }
    ui->cbErrType->setEnabled(!S);
    cbErrTypeIndexChanged(ui->cbErrType->currentIndex());
    ui->cbErrAuto->setEnabled(!S);
    ui->cbErrVal->setEnabled(!S);
    ui->bErrInput->setEnabled(!S);
    cbErrAutoIndexChanged(ui->cbErrAuto->currentIndex());
}

void TransmissionFrame::cbErrTypeIndexChanged(int index)
{
    // A reload may change the type while insertion is off; the mode must then stay locked,
    // or choosing a mode would switch insertion on behind an unchecked box.
    const bool usable = ui->cbErrInput->isChecked() && !S;
    if (index > 1) {
        ui->cbErrAuto->setEnabled(false);
        ui->cbErrAuto->setCurrentIndex(0);
    } else {
        ui->cbErrAuto->setEnabled(usable);
        ui->cbErrAuto->setCurrentIndex(0);
        // Channel B inserts code errors only on request.
        if (channel != 0 && index == 1)
            ui->cbErrAuto->setEnabled(false);
    }
}

void TransmissionFrame::cbErrAutoIndexChanged(int index)
{
    const bool usable = ui->cbErrInput->isChecked() && !S;
    if (index == 1) {
        ui->cbErrVal->setEnabled(usable);
        ui->bErrInput->setEnabled(false);
    } else {
        ui->cbErrVal->setEnabled(false);
        ui->bErrInput->setEnabled(index == 0 && usable);
    }
}

void TransmissionFrame::cbInputDefectToggled(bool state)
{
    ui->cbDefectType->setEnabled(state && !S);
}

void TransmissionFrame::cbJitterToggled(bool state)
{
    ui->lAmplitude->setEnabled(state && !S);
    ui->lFrequency->setEnabled(state && !S);
}

// ---- user action -----------------------------------------------------------

void TransmissionFrame::joint_notice()
{
    if (J)
        emit update_rcv_form();
}

void TransmissionFrame::apply_rate_rule()
{
    TxSettings& t = device->tx[channel];
    if (t.err_type < 2 && t.err_mode != 1)
        t.err_rate_exp = quint8(ui->cbErrVal->currentIndex() + 3);
    else
        t.err_rate_exp = 0;
}

void TransmissionFrame::cbFreqTypeActivated(int index)
{
    TxSettings& t = device->tx[channel];
    if (index < 0 || index == t.clock_source)
        return;
    t.clock_source = quint8(index);
    emit set_freq_settings();
}

void TransmissionFrame::cbFreqValActivated(int index)
{
    TxSettings& t = device->tx[channel];
    if (index < 0 || index == t.freq_mode)
        return;
    t.freq_mode = quint8(index);
    emit set_freq_settings();
}

void TransmissionFrame::lFreqValTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui->lFreqVal, text, &v))
        return;
    device->tx[channel].freq_offset = qint16(v);
    emit set_freq_settings();
}

void TransmissionFrame::cbCodeActivated(int index)
{
    TxSettings& t = device->tx[channel];
    if (index < 0 || quint8(index != 0) == t.line_code)
        return;
    t.line_code = index != 0;
    joint_notice();
    emit set_linear_settings();
}

void TransmissionFrame::cbInversionClicked(bool state)
{
    device->tx[channel].inversion = state;
    joint_notice();
    emit set_seq_settings();
}

void TransmissionFrame::cbLoopClicked(bool state)
{
    device->tx[channel].framing = state;
    joint_notice();
    emit set_cycle_settings();
}

void TransmissionFrame::cbCASClicked(bool state)
{
    TxSettings& t = device->tx[channel];
    t.cas = state;
    if (state)
        t.timeslot_mask &= ~(1u << 16);
    else
        t.timeslot_mask |= 1u << 16;
    joint_notice();
    emit set_cycle_settings();
}

void TransmissionFrame::cbCRC4Clicked(bool state)
{
    device->tx[channel].crc4 = state;
    joint_notice();
    emit set_cycle_settings();
}

void TransmissionFrame::cbXXClicked(bool state)
{
    const int n = timeslot_of(sender());
    if (n < 0)
        return;
    quint32& mask = device->tx[channel].timeslot_mask;
    if (state)
        mask |= 1u << n;
    else
        mask &= ~(1u << n);
    joint_notice();
    emit set_channel_settings();
}

void TransmissionFrame::cbSyncSignalClicked(bool state)
{
    TxSettings& t = device->tx[channel];
    t.sync_signal = state;
    if (channel != 0)
        t.clock_source = state;
    emit set_linear_settings();
}

void TransmissionFrame::cbErrInputClicked(bool state)
{
    TxSettings& t = device->tx[channel];
    if (state) {
        t.err_type = err_code_of_index(ui->cbErrType->currentIndex());
        t.err_mode = quint8(ui->cbErrAuto->currentIndex() + 1);
        apply_rate_rule();
    } else {
        t.err_type = 0;
        t.err_mode = 0;
        t.err_rate_exp = 0;
    }
    emit set_error_settings();
}

void TransmissionFrame::cbErrTypeActivated(int index)
{
    TxSettings& t = device->tx[channel];
    if (index < 0 || err_code_of_index(index) == t.err_type)
        return;
    t.err_type = err_code_of_index(index);
    t.err_mode = quint8(ui->cbErrAuto->currentIndex() + 1);
    apply_rate_rule();
    emit set_error_settings();
}

void TransmissionFrame::cbErrAutoActivated(int index)
{
    TxSettings& t = device->tx[channel];
    if (index < 0 || index + 1 == t.err_mode)
        return;
    t.err_mode = quint8(index + 1);
    apply_rate_rule();
    emit set_error_settings();
}

void TransmissionFrame::cbErrValActivated(int index)
{
    TxSettings& t = device->tx[channel];
    if (index < 0 || index + 3 == t.err_rate_exp)
        return;
    t.err_rate_exp = quint8(index + 3);
    emit set_error_settings();
}

void TransmissionFrame::bErrInputClicked()
{
    emit set_error_settings();
}

void TransmissionFrame::cbInputDefectClicked(bool state)
{
    TxSettings& t = device->tx[channel];
    t.defect_on = state;
    t.defect_type = quint8(qMax(0, ui->cbDefectType->currentIndex()));
    emit set_defect_settings();
}

void TransmissionFrame::cbDefectTypeActivated(int index)
{
    TxSettings& t = device->tx[channel];
    if (index < 0 || index == t.defect_type)
        return;
    t.defect_type = quint8(index);
    emit set_defect_settings();
}

void TransmissionFrame::cbJitterClicked(bool state)
{
    device->tx[channel].jitter_on = state;
    emit set_jitter_settings();
}

void TransmissionFrame::lAmplitudeTextEdited(const QString& text)
{
    bool ok = false;
    double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v) || v < 0.0)
        v = 0.0;
    device->tx[channel].jitter_amplitude = qMin(v, MAX_AMPLITUDE);
    emit set_jitter_settings();
}

void TransmissionFrame::lFrequencyTextEdited(const QString& text)
{
    bool ok = false;
    const qulonglong v = QLocale::c().toULongLong(text, &ok);
    device->tx[channel].jitter_freq = ok ? quint32(qMin<qulonglong>(v, MAX_JITTER_FREQ)) : 0;
    emit set_jitter_settings();
}

void TransmissionFrame::lFreqValEditingFinished()
{
    if (settle_number(ui->lFreqVal, device->tx[channel].freq_offset))
        emit set_freq_settings();
}

void TransmissionFrame::lAmplitudeEditingFinished()
{
    double& amplitude = device->tx[channel].jitter_amplitude;
    bool ok = false;
    const double v = QLocale::c().toDouble(ui->lAmplitude->text(), &ok);
    const bool changed = ok && v != amplitude;
    if (changed)
        amplitude = v;
    ui->lAmplitude->setText(QString::number(amplitude, 'f', 2));
    if (changed)
        emit set_jitter_settings();
}

void TransmissionFrame::lFrequencyEditingFinished()
{
    if (settle_number(ui->lFrequency, device->tx[channel].jitter_freq))
        emit set_jitter_settings();
}
