#include "results/g821form.h"

#include "device/device.h"
#include "panels/windowplacement.h"
#include "proto/formats.h"
#include "proto/ratios.h"
#include "ui_g821form.h"

G821Form::G821Form(Device* device, int channel, QWidget* parent)
    : QWidget(parent), ui(new Ui::G821Form), device_(device), channel_(channel == 0 ? 0 : 1)
{
    ui->setupUi(this);
    setWindowTitle(tr("Channel ") + (channel_ == 0 ? "A" : "B") + ": G.821, G.826/M2100");
    setWindowFlags(Qt::Tool);
    centre_in_available_area(this);
}

G821Form::~G821Form() { delete ui; }

void G821Form::update_results()
{
    const ChannelResults& r = device_->results[channel_];
    const quint32 t = r.elapsed_s;
    const quint32 as = r.available_s;
    const quint32 uas = t - as; // unavailable seconds, unsigned 32-bit difference

    ui->lUAS->setText(QString::number(uas));
    ui->lUASpc->setText(fixed_text(percent(uas, t)));
    ui->lAS->setText(QString::number(as));
    ui->lASpc->setText(fixed_text(percent(as, t)));
    ui->lES->setText(QString::number(r.errored_s));
    ui->lESpc->setText(fixed_text(percent(r.errored_s, as)));
    ui->lSES->setText(QString::number(r.severely_errored_s));
    ui->lSESpc->setText(fixed_text(percent(r.severely_errored_s, as)));

    ui->lES_2->setText(QString::number(r.errored_s));
    ui->lESR->setText(ratio_text(quotient(r.errored_s, as)));
    ui->lSES_2->setText(QString::number(r.severely_errored_s));
    ui->lSESR->setText(ratio_text(quotient(r.severely_errored_s, as)));
    ui->lBBE->setText(QString::number(r.bbe));
    ui->lBBER->setText(ratio_text(background_block_error_ratio(r.bbe, as, r.severely_errored_s)));
    ui->lAS_2->setText(QString::number(as));
    ui->lASR->setText(ratio_text(quotient(as, t)));
    ui->lUS->setText(QString::number(uas));
    ui->lUSR->setText(ratio_text(quotient(uas, t)));
}
