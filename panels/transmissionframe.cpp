#include "panels/transmissionframe.h"

#include "device/device.h"
#include "panels/panelinput.h"
#include "panels/timeslots.h"
#include "proto/settingranges.h"
#include "ui_transmissionframe.h"

#include <cmath>

namespace {

constexpr double MAX_AMPLITUDE = setting::JITTER_AMPLITUDE_MAX;
constexpr quint32 MAX_JITTER_FREQ = setting::JITTER_FREQ.max;

} // namespace

TransmissionFrame::TransmissionFrame(Device* device, int channel, QWidget* parent)
    : QFrame(parent), ui_(new Ui::TransmissionFrame), channel_(channel), sync_signal_(false), joint_(false), device_(device)
{
    ui_->setupUi(this);
    ui_->groupBox->setTitle(tr("Transmission") + QLatin1Char(' ') + (channel_ == 0 ? QLatin1Char('A') : QLatin1Char('B')));
    ui_->cbSyncSignal->setVisible(channel_ != 0);
    if (channel_ != 0) {
        // Channel B can take its clock only from its own receiver.
        ui_->cbFreqType->removeItem(1);
        ui_->fJit->hide();
    }

    const TxSettings* t = &device_->tx[channel_];
    using namespace setting;
    ui_->lFreqVal->setValidator(new FieldIntValidator(FREQ_OFFSET.min, FREQ_OFFSET.max,
                                                     [t] { return QString::number(t->freq_offset); }, this));
    ui_->lAmplitude->setValidator(new FieldDoubleValidator(
        0.0, MAX_AMPLITUDE, JITTER_AMPLITUDE_DECIMALS, [t] { return QString::number(t->jitter_amplitude, 'f', 2); },
        this));
    ui_->lFrequency->setValidator(new FieldIntValidator(JITTER_FREQ.min, JITTER_FREQ.max,
                                                       [t] { return QString::number(t->jitter_freq); }, this));

    connect(ui_->cbFreqType, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbFreqTypeIndexChanged);
    connect(ui_->cbFreqVal, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbFreqValIndexChanged);
    connect(ui_->cbLoop, &QCheckBox::toggled, this, &TransmissionFrame::cbLoopToggled);
    connect(ui_->cbCAS, &QCheckBox::toggled, this, &TransmissionFrame::cbCASToggled);
    connect(ui_->cb16, &QCheckBox::toggled, this, &TransmissionFrame::cb16Toggled);
    connect(ui_->cbSyncSignal, &QCheckBox::toggled, this, &TransmissionFrame::cbSyncSignalToggled);
    connect(ui_->cbErrInput, &QCheckBox::toggled, this, &TransmissionFrame::cbErrInputToggled);
    connect(ui_->cbErrType, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbErrTypeIndexChanged);
    connect(ui_->cbErrAuto, &QComboBox::currentIndexChanged, this, &TransmissionFrame::cbErrAutoIndexChanged);
    connect(ui_->cbInputDefect, &QCheckBox::toggled, this, &TransmissionFrame::cbInputDefectToggled);
    connect(ui_->cbJitter, &QCheckBox::toggled, this, &TransmissionFrame::cbJitterToggled);

    connect(ui_->cbFreqType, &QComboBox::activated, this, &TransmissionFrame::cbFreqTypeActivated);
    connect(ui_->cbFreqVal, &QComboBox::activated, this, &TransmissionFrame::cbFreqValActivated);
    connect(ui_->lFreqVal, &QLineEdit::textEdited, this, &TransmissionFrame::lFreqValTextEdited);
    connect(ui_->cbCode, &QComboBox::activated, this, &TransmissionFrame::cbCodeActivated);
    connect(ui_->cbInversion, &QCheckBox::clicked, this, &TransmissionFrame::cbInversionClicked);
    connect(ui_->cbLoop, &QCheckBox::clicked, this, &TransmissionFrame::cbLoopClicked);
    connect(ui_->cbCAS, &QCheckBox::clicked, this, &TransmissionFrame::cbCASClicked);
    connect(ui_->cbCRC4, &QCheckBox::clicked, this, &TransmissionFrame::cbCRC4Clicked);
    connect(ui_->cbSyncSignal, &QCheckBox::clicked, this, &TransmissionFrame::cbSyncSignalClicked);
    connect(ui_->cbErrInput, &QCheckBox::clicked, this, &TransmissionFrame::cbErrInputClicked);
    connect(ui_->cbErrType, &QComboBox::activated, this, &TransmissionFrame::cbErrTypeActivated);
    connect(ui_->cbErrAuto, &QComboBox::activated, this, &TransmissionFrame::cbErrAutoActivated);
    connect(ui_->cbErrVal, &QComboBox::activated, this, &TransmissionFrame::cbErrValActivated);
    connect(ui_->bErrInput, &QPushButton::clicked, this, &TransmissionFrame::bErrInputClicked);
    connect(ui_->cbInputDefect, &QCheckBox::clicked, this, &TransmissionFrame::cbInputDefectClicked);
    connect(ui_->cbDefectType, &QComboBox::activated, this, &TransmissionFrame::cbDefectTypeActivated);
    connect(ui_->cbJitter, &QCheckBox::clicked, this, &TransmissionFrame::cbJitterClicked);
    connect(ui_->lAmplitude, &QLineEdit::textEdited, this, &TransmissionFrame::lAmplitudeTextEdited);
    connect(ui_->lFrequency, &QLineEdit::textEdited, this, &TransmissionFrame::lFrequencyTextEdited);
    connect(ui_->lFreqVal, &QLineEdit::editingFinished, this, &TransmissionFrame::lFreqValEditingFinished);
    connect(ui_->lAmplitude, &QLineEdit::editingFinished, this, &TransmissionFrame::lAmplitudeEditingFinished);
    connect(ui_->lFrequency, &QLineEdit::editingFinished, this, &TransmissionFrame::lFrequencyEditingFinished);

    connect_timeslot_boxes(ui_->fSignal, this);
}

TransmissionFrame::~TransmissionFrame() { delete ui_; }

quint8 TransmissionFrame::err_code_of_index(int index)
{
    static const quint8 ERR_CODES[] = {0, 1, 2, 4, 5};
    return index >= 0 && index < 5 ? ERR_CODES[index] : 0;
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
    const TxSettings& t = device_->tx[channel_];
    ui_->cbFreqType->setCurrentIndex(t.clock_source);
    ui_->cbFreqVal->setCurrentIndex(t.freq_mode);
    ui_->lFreqVal->setText(QString::number(t.freq_offset));

    ui_->cbCode->setCurrentIndex(t.line_code);
    ui_->cbInversion->setChecked(t.inversion != 0);
    ui_->cbLoop->setChecked(t.framing != 0);
    ui_->cbCAS->setChecked(t.cas != 0);
    ui_->cbCRC4->setChecked(t.crc4 != 0);

    if (channel_ != 0) {
        sync_signal_ = t.sync_signal != 0;
        ui_->cbSyncSignal->setChecked(t.sync_signal != 0);
    }

    show_timeslot_mask(ui_->fSignal, t.timeslot_mask);

    ui_->cbErrInput->setChecked(t.err_mode != 0);
    ui_->cbErrType->setCurrentIndex(err_index_of_code(t.err_type));
    ui_->cbErrAuto->setCurrentIndex(t.err_mode ? t.err_mode - 1 : 0);
    ui_->cbErrVal->setCurrentIndex(t.err_rate_exp ? t.err_rate_exp - 3 : 0);

    ui_->cbInputDefect->setChecked(t.defect_on != 0);
    ui_->cbDefectType->setCurrentIndex(t.defect_type);
    ui_->cbJitter->setChecked(t.jitter_on != 0);

    if (channel_ == 0) {
        ui_->lFrequency->setText(QString::number(t.jitter_freq));
        ui_->lAmplitude->setText(QString::number(t.jitter_amplitude, 'f', 2));
    }
}

void TransmissionFrame::rxtx_jointly_sw(bool state) { joint_ = state; }

// ---- form only -------------------------------------------------------------

void TransmissionFrame::cbFreqTypeIndexChanged(int index)
{
    if (index == 0) {
        ui_->cbFreqVal->setEnabled(!sync_signal_);
        ui_->lFreqVal->setEnabled(ui_->cbFreqVal->currentIndex() == 1 && !sync_signal_);
    } else {
        ui_->cbFreqVal->setEnabled(false);
        ui_->lFreqVal->setEnabled(false);
    }
}

void TransmissionFrame::cbFreqValIndexChanged(int index)
{
    ui_->lFreqVal->setEnabled(index == 1 && !sync_signal_ && ui_->cbFreqType->currentIndex() == 0);
}

void TransmissionFrame::cbLoopToggled(bool state)
{
    const bool on = state && !sync_signal_;
    ui_->fSignal->setEnabled(on);
    ui_->cbCAS->setEnabled(on);
    ui_->cbCRC4->setEnabled(on);
    cbCASToggled(ui_->cbCAS->isChecked());
}

void TransmissionFrame::cbCASToggled(bool state)
{
    // With CAS, timeslot 16 carries the signalling and cannot be a test slot.
    ui_->cb16->setEnabled(!state && !sync_signal_);
    ui_->cb16->setChecked(!state);
}

void TransmissionFrame::cb16Toggled(bool state)
{
    if (ui_->cbCAS->isChecked() && state)
        ui_->cb16->setChecked(false);
}

void TransmissionFrame::cbSyncSignalToggled(bool state)
{
    sync_signal_ = state;
    ui_->fFreq->setEnabled(!sync_signal_);
    ui_->fDef->setEnabled(!sync_signal_);
    ui_->fJit->setEnabled(!sync_signal_);
    ui_->fErr->setEnabled(!sync_signal_);
    ui_->cbLoop->setEnabled(!sync_signal_);
    const bool framed = ui_->cbLoop->isChecked() && !sync_signal_;
    ui_->fSignal->setEnabled(framed);
    ui_->cbCAS->setEnabled(framed);
    ui_->cbCRC4->setEnabled(framed);
    // cb16 may have been disabled in sync-signal mode; leaving sync mode must free it again.
    ui_->cb16->setEnabled(!ui_->cbCAS->isChecked() && !sync_signal_);
    ui_->cbFreqType->setCurrentIndex(sync_signal_ ? 1 : 0);
}

void TransmissionFrame::cbErrInputToggled(bool state)
{
    if (!state) {
        ui_->cbErrType->setEnabled(false);
        ui_->cbErrAuto->setEnabled(false);
        ui_->cbErrVal->setEnabled(false);
        ui_->bErrInput->setEnabled(false);
        return;
    }
    ui_->cbErrType->setEnabled(!sync_signal_);
    cbErrTypeIndexChanged(ui_->cbErrType->currentIndex());
    ui_->cbErrAuto->setEnabled(!sync_signal_);
    ui_->cbErrVal->setEnabled(!sync_signal_);
    ui_->bErrInput->setEnabled(!sync_signal_);
    cbErrAutoIndexChanged(ui_->cbErrAuto->currentIndex());
}

void TransmissionFrame::cbErrTypeIndexChanged(int index)
{
    // A reload may change the type while insertion is off; the mode must then stay locked,
    // or choosing a mode would switch insertion on behind an unchecked box.
    const bool usable = ui_->cbErrInput->isChecked() && !sync_signal_;
    if (index > 1) {
        ui_->cbErrAuto->setEnabled(false);
        ui_->cbErrAuto->setCurrentIndex(0);
    } else {
        ui_->cbErrAuto->setEnabled(usable);
        ui_->cbErrAuto->setCurrentIndex(0);
        // Channel B inserts code errors only on request.
        if (channel_ != 0 && index == 1)
            ui_->cbErrAuto->setEnabled(false);
    }
}

void TransmissionFrame::cbErrAutoIndexChanged(int index)
{
    const bool usable = ui_->cbErrInput->isChecked() && !sync_signal_;
    if (index == 1) {
        ui_->cbErrVal->setEnabled(usable);
        ui_->bErrInput->setEnabled(false);
    } else {
        ui_->cbErrVal->setEnabled(false);
        ui_->bErrInput->setEnabled(index == 0 && usable);
    }
}

void TransmissionFrame::cbInputDefectToggled(bool state)
{
    ui_->cbDefectType->setEnabled(state && !sync_signal_);
}

void TransmissionFrame::cbJitterToggled(bool state)
{
    ui_->lAmplitude->setEnabled(state && !sync_signal_);
    ui_->lFrequency->setEnabled(state && !sync_signal_);
}

// ---- user action -----------------------------------------------------------

void TransmissionFrame::joint_notice()
{
    if (joint_)
        emit update_rcv_form();
}

void TransmissionFrame::apply_rate_rule()
{
    TxSettings& t = device_->tx[channel_];
    if (t.err_type < 2 && t.err_mode != 1)
        t.err_rate_exp = quint8(ui_->cbErrVal->currentIndex() + 3);
    else
        t.err_rate_exp = 0;
}

void TransmissionFrame::cbFreqTypeActivated(int index)
{
    TxSettings& t = device_->tx[channel_];
    if (index < 0 || index == t.clock_source)
        return;
    t.clock_source = quint8(index);
    emit set_freq_settings();
}

void TransmissionFrame::cbFreqValActivated(int index)
{
    TxSettings& t = device_->tx[channel_];
    if (index < 0 || index == t.freq_mode)
        return;
    t.freq_mode = quint8(index);
    emit set_freq_settings();
}

void TransmissionFrame::lFreqValTextEdited(const QString& text)
{
    int v = 0;
    if (!accepted_number(ui_->lFreqVal, text, &v))
        return;
    device_->tx[channel_].freq_offset = qint16(v);
    emit set_freq_settings();
}

void TransmissionFrame::cbCodeActivated(int index)
{
    TxSettings& t = device_->tx[channel_];
    if (index < 0 || quint8(index != 0) == t.line_code)
        return;
    t.line_code = index != 0;
    joint_notice();
    emit set_linear_settings();
}

void TransmissionFrame::cbInversionClicked(bool state)
{
    device_->tx[channel_].inversion = state;
    joint_notice();
    emit set_seq_settings();
}

void TransmissionFrame::cbLoopClicked(bool state)
{
    device_->tx[channel_].framing = state;
    joint_notice();
    emit set_cycle_settings();
}

void TransmissionFrame::cbCASClicked(bool state)
{
    TxSettings& t = device_->tx[channel_];
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
    device_->tx[channel_].crc4 = state;
    joint_notice();
    emit set_cycle_settings();
}

void TransmissionFrame::cbXXClicked(bool state)
{
    const int n = timeslot_of(sender());
    if (n < 0)
        return;
    quint32& mask = device_->tx[channel_].timeslot_mask;
    if (state)
        mask |= 1u << n;
    else
        mask &= ~(1u << n);
    joint_notice();
    emit set_channel_settings();
}

void TransmissionFrame::cbSyncSignalClicked(bool state)
{
    TxSettings& t = device_->tx[channel_];
    t.sync_signal = state;
    if (channel_ != 0)
        t.clock_source = state;
    emit set_linear_settings();
}

void TransmissionFrame::cbErrInputClicked(bool state)
{
    TxSettings& t = device_->tx[channel_];
    if (state) {
        t.err_type = err_code_of_index(ui_->cbErrType->currentIndex());
        t.err_mode = quint8(ui_->cbErrAuto->currentIndex() + 1);
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
    TxSettings& t = device_->tx[channel_];
    if (index < 0 || err_code_of_index(index) == t.err_type)
        return;
    t.err_type = err_code_of_index(index);
    t.err_mode = quint8(ui_->cbErrAuto->currentIndex() + 1);
    apply_rate_rule();
    emit set_error_settings();
}

void TransmissionFrame::cbErrAutoActivated(int index)
{
    TxSettings& t = device_->tx[channel_];
    if (index < 0 || index + 1 == t.err_mode)
        return;
    t.err_mode = quint8(index + 1);
    apply_rate_rule();
    emit set_error_settings();
}

void TransmissionFrame::cbErrValActivated(int index)
{
    TxSettings& t = device_->tx[channel_];
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
    TxSettings& t = device_->tx[channel_];
    t.defect_on = state;
    t.defect_type = quint8(qMax(0, ui_->cbDefectType->currentIndex()));
    emit set_defect_settings();
}

void TransmissionFrame::cbDefectTypeActivated(int index)
{
    TxSettings& t = device_->tx[channel_];
    if (index < 0 || index == t.defect_type)
        return;
    t.defect_type = quint8(index);
    emit set_defect_settings();
}

void TransmissionFrame::cbJitterClicked(bool state)
{
    device_->tx[channel_].jitter_on = state;
    emit set_jitter_settings();
}

void TransmissionFrame::lAmplitudeTextEdited(const QString& text)
{
    bool ok = false;
    double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v) || v < 0.0)
        v = 0.0;
    device_->tx[channel_].jitter_amplitude = qMin(v, MAX_AMPLITUDE);
    emit set_jitter_settings();
}

void TransmissionFrame::lFrequencyTextEdited(const QString& text)
{
    bool ok = false;
    const qulonglong v = QLocale::c().toULongLong(text, &ok);
    device_->tx[channel_].jitter_freq = ok ? quint32(qMin<qulonglong>(v, MAX_JITTER_FREQ)) : 0;
    emit set_jitter_settings();
}

void TransmissionFrame::lFreqValEditingFinished()
{
    if (settle_number(ui_->lFreqVal, device_->tx[channel_].freq_offset))
        emit set_freq_settings();
}

void TransmissionFrame::lAmplitudeEditingFinished()
{
    double& amplitude = device_->tx[channel_].jitter_amplitude;
    bool ok = false;
    const double v = QLocale::c().toDouble(ui_->lAmplitude->text(), &ok);
    const bool changed = ok && v != amplitude;
    if (changed)
        amplitude = v;
    ui_->lAmplitude->setText(QString::number(amplitude, 'f', 2));
    if (changed)
        emit set_jitter_settings();
}

void TransmissionFrame::lFrequencyEditingFinished()
{
    if (settle_number(ui_->lFrequency, device_->tx[channel_].jitter_freq))
        emit set_jitter_settings();
}
