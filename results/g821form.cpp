#include "results/g821form.h"

#include "device/device.h"
#include "panels/windowplacement.h"
#include "proto/formats.h"
#include "proto/ratios.h"
#include "proto/verdicts.h"
#include "ui_g821form.h"

namespace {

// Scoped to the label: its tool tip would take the colour too.
const QString PASS_STYLE = QStringLiteral("#%1 { color: rgb(0, 128, 0); }");
const QString FAIL_STYLE = QStringLiteral("#%1 { color: rgb(255, 0, 0); }");

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
    show_verdicts();
}

// The judged figures keep their texts; colour and tool tip carry the verdict,
// so the window keeps its size.
void G821Form::show_verdicts()
{
    const ChannelVerdicts v = judge(device_->results[channel_], device_->allocation_pct);
    QLabel* const labels[FIGURE_COUNT] = {ui->lESR, ui->lSESR, ui->lBBER, ui->lESpc, ui->lSESpc};
    for (int i = 0; i < FIGURE_COUNT; ++i) {
        const FigureVerdict& f = v.figures[i];
        const bool percent = i == G821_ES || i == G821_SES;
        const QString objective = percent ? fixed_text(f.objective * 100.0) + " %" : ratio_text(f.objective);
        const QString& style = f.verdict == Verdict::Pass ? PASS_STYLE : FAIL_STYLE;
        labels[i]->setStyleSheet(f.verdict == Verdict::NoData ? QString() : style.arg(labels[i]->objectName()));
        labels[i]->setToolTip(tr("Objective: <= %1").arg(objective) + '\n' + verdict_text(f.verdict));
    }
    const QString overall = tr("Channel verdict: %1").arg(verdict_text(v.overall)) + '\n'
                            + tr("Allocation: %1 %").arg(device_->allocation_pct, 0, 'f', 1);
    ui->groupBox->setToolTip(overall);
    ui->groupBox_2->setToolTip(overall);
}
