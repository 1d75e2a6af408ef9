#include "g821form.h"
#include "ratios.h"

#include "device.h"
#include "ui_g821form.h"
#include "windowplacement.h"

namespace {

// A quotient with a zero divisor shows as zero.
double quotient(double num, quint32 den) { return den == 0 ? 0.0 : num / double(den); }
QString fixed_text(double v) { return QString("%1").arg(v, 0, 'f', 2); }
QString exp_text(double v) { return QString("%1").arg(v, 0, 'e', 2); }

} // namespace

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
    ui->lUASpc->setText(fixed_text(quotient(double(uas) * 100.0, t)));
    ui->lAS->setText(QString::number(as));
    ui->lASpc->setText(fixed_text(quotient(double(as) * 100.0, t)));
    ui->lES->setText(QString::number(r.errored_s));
    ui->lESpc->setText(fixed_text(quotient(double(r.errored_s) * 100.0, as)));
    ui->lSES->setText(QString::number(r.severely_errored_s));
    ui->lSESpc->setText(fixed_text(quotient(double(r.severely_errored_s) * 100.0, as)));

    ui->lES_2->setText(QString::number(r.errored_s));
    ui->lESR->setText(exp_text(quotient(r.errored_s, as)));
    ui->lSES_2->setText(QString::number(r.severely_errored_s));
    ui->lSESR->setText(exp_text(quotient(r.severely_errored_s, as)));
    ui->lBBE->setText(QString::number(r.bbe));
    ui->lBBER->setText(exp_text(background_block_error_ratio(r.bbe, as, r.severely_errored_s)));
    ui->lAS_2->setText(QString::number(as));
    ui->lASR->setText(exp_text(quotient(as, t)));
    ui->lUS->setText(QString::number(uas));
    ui->lUSR->setText(exp_text(quotient(uas, t)));
}
