#include "panels/receiveframe.h"

#include "device/device.h"
#include "panels/timeslots.h"
#include "ui_receiveframe.h"

ReceiveFrame::ReceiveFrame(Device* device, int channel, QWidget* parent)
    : QFrame(parent), ui_(new Ui::ReceiveFrame), channel_(channel), joint_(false), device_(device)
{
    ui_->setupUi(this);
    ui_->groupBox->setTitle(tr("Receive") + QLatin1Char(' ') + (channel_ == 0 ? QLatin1Char('A') : QLatin1Char('B')));

    connect(ui_->cbLoop, &QCheckBox::toggled, this, &ReceiveFrame::cbLoopToggled);
    connect(ui_->cbCAS, &QCheckBox::toggled, this, &ReceiveFrame::cbCASToggled);
    connect(ui_->cb16, &QCheckBox::toggled, this, &ReceiveFrame::cb16Toggled);

    connect(ui_->cbCode, &QComboBox::activated, this, &ReceiveFrame::cbCodeActivated);
    connect(ui_->cbInversion, &QCheckBox::clicked, this, &ReceiveFrame::cbInversionClicked);
    connect(ui_->cbLoop, &QCheckBox::clicked, this, &ReceiveFrame::cbLoopClicked);
    connect(ui_->cbCAS, &QCheckBox::clicked, this, &ReceiveFrame::cbCASClicked);
    connect(ui_->cbCRC4, &QCheckBox::clicked, this, &ReceiveFrame::cbCRC4Clicked);
    connect(ui_->cbExtraAmpl, &QComboBox::activated, this, &ReceiveFrame::cbExtraAmplActivated);
    connect(ui_->cbLongLine, &QCheckBox::clicked, this, &ReceiveFrame::cbLongLineClicked);

    connect_timeslot_boxes(ui_->fSignal, this);
}

ReceiveFrame::~ReceiveFrame() { delete ui_; }

void ReceiveFrame::update_form()
{
    const RxSettings& r = device_->rx[channel_];
    ui_->cbCode->setCurrentIndex(r.line_code);
    ui_->cbInversion->setChecked(r.inversion != 0);
    ui_->cbExtraAmpl->setCurrentIndex(r.extra_gain);
    ui_->cbLongLine->setChecked(r.long_line != 0);
    ui_->cbLoop->setChecked(r.framing != 0);
    ui_->cbCAS->setChecked(r.cas != 0);
    ui_->cbCRC4->setChecked(r.crc4 != 0);
    show_timeslot_mask(ui_->fSignal, r.timeslot_mask);
}

void ReceiveFrame::show_signal()
{
    const ChannelResults& res = device_->results[channel_];
    ui_->lSignalFreq->setText(QStringLiteral("%1 ").arg(res.signal_freq) + tr("Hz"));
    ui_->lSignalLvl->setText(QStringLiteral("%1 ").arg(res.signal_level) + QStringLiteral("dB"));
}

void ReceiveFrame::copy_from_transmitter()
{
    // Without an instrument the transmitter values are not the instrument's; keep ours.
    if (!device_->is_connected())
        return;
    follow_transmitter(device_->tx[channel_], &device_->rx[channel_]);
    update_form();
}

void ReceiveFrame::rxtx_jointly_sw(bool state)
{
    joint_ = state;
    if (joint_)
        copy_from_transmitter();
    ui_->cbLoop->setEnabled(!joint_);
    ui_->cbCRC4->setEnabled(!joint_);
    ui_->cbCAS->setEnabled(!joint_);
    ui_->cbCode->setEnabled(!joint_);
    ui_->cbInversion->setEnabled(!joint_);
    ui_->fSignal->setEnabled(!joint_);
    cbLoopToggled(ui_->cbLoop->isChecked());
}

void ReceiveFrame::rxtx_jointly_usr(bool state)
{
    if (!state)
        return;
    emit set_channel_settings();
    emit set_cycle_settings();
    emit set_seq_settings();
}

void ReceiveFrame::update_rcv_form() { copy_from_transmitter(); }

// ---- form only -------------------------------------------------------------

void ReceiveFrame::cbLoopToggled(bool state)
{
    const bool on = state && !joint_;
    ui_->fSignal->setEnabled(on);
    ui_->cbCAS->setEnabled(on);
    ui_->cbCRC4->setEnabled(on);
    cbCASToggled(ui_->cbCAS->isChecked());
}

void ReceiveFrame::cbCASToggled(bool state)
{
    ui_->cb16->setEnabled(!state && !joint_);
    ui_->cb16->setChecked(!state);
}

void ReceiveFrame::cb16Toggled(bool state)
{
    if (ui_->cbCAS->isChecked() && state)
        ui_->cb16->setChecked(false);
}

// ---- user action -----------------------------------------------------------

void ReceiveFrame::cbCodeActivated(int index)
{
    RxSettings& r = device_->rx[channel_];
    if (index < 0 || quint8(index != 0) == r.line_code)
        return;
    r.line_code = index != 0;
    emit set_linear_settings();
}

void ReceiveFrame::cbInversionClicked(bool state)
{
    device_->rx[channel_].inversion = state;
    emit set_seq_settings();
}

void ReceiveFrame::cbLoopClicked(bool state)
{
    device_->rx[channel_].framing = state;
    emit set_cycle_settings();
}

void ReceiveFrame::cbCASClicked(bool state)
{
    device_->rx[channel_].cas = state;
    emit set_cycle_settings();
}

void ReceiveFrame::cbCRC4Clicked(bool state)
{
    device_->rx[channel_].crc4 = state;
    emit set_cycle_settings();
}

void ReceiveFrame::cbXXClicked(bool state)
{
    const int n = timeslot_of(sender());
    if (n < 0)
        return;
    quint32& mask = device_->rx[channel_].timeslot_mask;
    if (state)
        mask |= 1u << n;
    else
        mask &= ~(1u << n);
    emit set_channel_settings();
}

void ReceiveFrame::cbExtraAmplActivated(int index)
{
    RxSettings& r = device_->rx[channel_];
    if (index < 0 || index == r.extra_gain)
        return;
    r.extra_gain = quint8(index);
    emit set_linear_settings();
}

void ReceiveFrame::cbLongLineClicked(bool state)
{
    device_->rx[channel_].long_line = state;
    emit set_linear_settings();
}
