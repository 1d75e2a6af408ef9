#include "receiveframe.h"

#include "device.h"
#include "timeslots.h"
#include "ui_receiveframe.h"

ReceiveFrame::ReceiveFrame(Device* device, int channel, QWidget* parent)
    : QFrame(parent), ui(new Ui::ReceiveFrame), channel(channel), J(false), device(device)
{
    ui->setupUi(this);
    ui->groupBox->setTitle(tr("Receive") + QLatin1Char(' ') + (channel == 0 ? QLatin1Char('A') : QLatin1Char('B')));

    connect(ui->cbLoop, &QCheckBox::toggled, this, &ReceiveFrame::cbLoopToggled);
    connect(ui->cbCAS, &QCheckBox::toggled, this, &ReceiveFrame::cbCASToggled);
    connect(ui->cb16, &QCheckBox::toggled, this, &ReceiveFrame::cb16Toggled);

    connect(ui->cbCode, &QComboBox::activated, this, &ReceiveFrame::cbCodeActivated);
    connect(ui->cbInversion, &QCheckBox::clicked, this, &ReceiveFrame::cbInversionClicked);
    connect(ui->cbLoop, &QCheckBox::clicked, this, &ReceiveFrame::cbLoopClicked);
    connect(ui->cbCAS, &QCheckBox::clicked, this, &ReceiveFrame::cbCASClicked);
    connect(ui->cbCRC4, &QCheckBox::clicked, this, &ReceiveFrame::cbCRC4Clicked);
    connect(ui->cbExtraAmpl, &QComboBox::activated, this, &ReceiveFrame::cbExtraAmplActivated);
    connect(ui->cbLongLine, &QCheckBox::clicked, this, &ReceiveFrame::cbLongLineClicked);

    connect_timeslot_boxes(ui->fSignal, this);
}

ReceiveFrame::~ReceiveFrame() { delete ui; }

void ReceiveFrame::update_form()
{
    const RxSettings& r = device->rx[channel];
    ui->cbCode->setCurrentIndex(r.line_code);
    ui->cbInversion->setChecked(r.inversion != 0);
    ui->cbExtraAmpl->setCurrentIndex(r.extra_gain);
    ui->cbLongLine->setChecked(r.long_line != 0);
    ui->cbLoop->setChecked(r.framing != 0);
    ui->cbCAS->setChecked(r.cas != 0);
    ui->cbCRC4->setChecked(r.crc4 != 0);
    show_timeslot_mask(ui->fSignal, r.timeslot_mask);
}

void ReceiveFrame::show_signal()
{
    const ChannelResults& res = device->results[channel];
    ui->lSignalFreq->setText(QStringLiteral("%1 ").arg(res.signal_freq) + tr("Hz"));
    ui->lSignalLvl->setText(QStringLiteral("%1 ").arg(res.signal_level) + QStringLiteral("dB"));
}

void ReceiveFrame::copy_from_transmitter()
{
    // Without an instrument the transmitter values are not the instrument's; keep ours.
    if (!device->is_connected())
        return;
    follow_transmitter(device->tx[channel], &device->rx[channel]);
    update_form();
}

void ReceiveFrame::rxtx_jointly_sw(bool state)
{
    J = state;
    if (J)
        copy_from_transmitter();
    ui->cbLoop->setEnabled(!J);
    ui->cbCRC4->setEnabled(!J);
    ui->cbCAS->setEnabled(!J);
    ui->cbCode->setEnabled(!J);
    ui->cbInversion->setEnabled(!J);
    ui->fSignal->setEnabled(!J);
    cbLoopToggled(ui->cbLoop->isChecked());
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
    const bool on = state && !J;
    ui->fSignal->setEnabled(on);
    ui->cbCAS->setEnabled(on);
    ui->cbCRC4->setEnabled(on);
    cbCASToggled(ui->cbCAS->isChecked());
}

void ReceiveFrame::cbCASToggled(bool state)
{
    ui->cb16->setEnabled(!state && !J);
    ui->cb16->setChecked(!state);
}

void ReceiveFrame::cb16Toggled(bool state)
{
    if (ui->cbCAS->isChecked() && state)
        ui->cb16->setChecked(false);
}

// ---- user action -----------------------------------------------------------

void ReceiveFrame::cbCodeActivated(int index)
{
    RxSettings& r = device->rx[channel];
    if (index < 0 || quint8(index != 0) == r.line_code)
        return;
    r.line_code = index != 0;
    emit set_linear_settings();
}

void ReceiveFrame::cbInversionClicked(bool state)
{
    device->rx[channel].inversion = state;
    emit set_seq_settings();
}

void ReceiveFrame::cbLoopClicked(bool state)
{
    device->rx[channel].framing = state;
    emit set_cycle_settings();
}

void ReceiveFrame::cbCASClicked(bool state)
{
    device->rx[channel].cas = state;
    emit set_cycle_settings();
}

void ReceiveFrame::cbCRC4Clicked(bool state)
{
    device->rx[channel].crc4 = state;
    emit set_cycle_settings();
}

void ReceiveFrame::cbXXClicked(bool state)
{
    const int n = timeslot_of(sender());
    if (n < 0)
        return;
    quint32& mask = device->rx[channel].timeslot_mask;
    if (state)
        mask |= 1u << n;
    else
        mask &= ~(1u << n);
    emit set_channel_settings();
}

void ReceiveFrame::cbExtraAmplActivated(int index)
{
    RxSettings& r = device->rx[channel];
    if (index < 0 || index == r.extra_gain)
        return;
    r.extra_gain = quint8(index);
    emit set_linear_settings();
}

void ReceiveFrame::cbLongLineClicked(bool state)
{
    device->rx[channel].long_line = state;
    emit set_linear_settings();
}
