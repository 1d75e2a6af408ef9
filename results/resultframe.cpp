#include "results/resultframe.h"

#include "device/device.h"
#include "proto/formats.h"
#include "proto/ratios.h"
#include "results/g821form.h"
#include "ui_resultframe.h"

#include <QFontMetrics>
#include <QLabel>

namespace {

const char* const ALARM_STYLE = "color: rgb(255, 0, 0);";

// No time, or no timeslot analysed: nothing to relate the count to, so 0.
QString ratio(quint32 count, quint32 seconds, double per_second)
{
    return ratio_text(error_ratio(count, seconds, per_second));
}

} // namespace

ResultFrame::ResultFrame(Device* device, int channel, QWidget* parent)
    : QFrame(parent), ui(new Ui::ResultFrame), device_(device), channel_(channel == 0 ? 0 : 1)
{
    ui->setupUi(this);
    ui->groupBox->setTitle(tr("Results") + ' ' + (channel_ == 0 ? "A" : "B"));
    ui->fJitter->setVisible(channel_ == 0);
    // Value columns keep the width of their widest usual text (the counts
    // travel as 24-bit numbers), so the panel does not grow and push the main
    // window's layout about as the counts get longer during a test.
    const QFontMetrics fm(font());
    for (QLabel* l : {ui->lBin, ui->lCode, ui->lLoop, ui->lCRC4, ui->lEbit, ui->lNoInput, ui->lSIASInput,
                      ui->lLostOfLoop})
        l->setMinimumWidth(fm.horizontalAdvance("16777215"));
    for (QLabel* l : {ui->lBinK, ui->lCodeK, ui->lLoopK, ui->lCRC4K, ui->lEbitK})
        l->setMinimumWidth(fm.horizontalAdvance("0.00e+00"));
    // The eight alarm names share one row of a narrow column: one point
    // smaller than the panel's font, so that the row is not what sets the
    // panel's width.
    QFont small = font();
    if (small.pointSizeF() > 1.0)
        small.setPointSizeF(small.pointSizeF() - 1.0);
    for (QLabel* l : {ui->lLOS, ui->lAIS, ui->lLOF, ui->lLOMF, ui->lLOCRC, ui->lRAI, ui->lMRAI, ui->lPL})
        l->setFont(small);
    g821_ = new G821Form(device, channel_, nullptr);
    connect(ui->bG281, &QPushButton::clicked, this, &ResultFrame::bG821Clicked);
}

ResultFrame::~ResultFrame()
{
    delete g821_;
    delete ui;
}

void ResultFrame::update_results()
{
    const ChannelResults& r = device_->results[channel_];
    const RxSettings& rx = device_->rx[channel_];
    const quint32 t = r.elapsed_s;

    QLabel* const alarm_labels[8] = {ui->lPL, ui->lMRAI, ui->lRAI, ui->lLOCRC, ui->lLOMF, ui->lLOF, ui->lAIS, ui->lLOS};
    for (int bit = 0; bit < 8; ++bit)
        alarm_labels[bit]->setStyleSheet((r.alarms >> bit) & 1 ? ALARM_STYLE : "");

    ui->lCode->setText(QString::number(r.code_errors));
    ui->lCodeK->setText(ratio(r.code_errors, t, LINE_BIT_RATE));
    ui->lBin->setText(QString::number(r.bit_errors));
    ui->lBinK->setText(ratio(r.bit_errors, t, tested_bits_per_second(rx)));
    ui->lLoop->setText(QString::number(r.frame_errors));
    ui->lLoopK->setText(ratio(r.frame_errors, t, FRAME_BIT_RATE));
    ui->lCRC4->setText(QString::number(r.crc4_errors));
    ui->lCRC4K->setText(ratio(r.crc4_errors, t, BLOCK_RATE));
    ui->lEbit->setText(QString::number(r.ebit_errors));
    ui->lEbitK->setText(ratio(r.ebit_errors, t, BLOCK_RATE));

    if (channel_ == 0) {
        ui->lJitter->setText(fixed_text(r.jitter));
        ui->lJitterHF->setText(fixed_text(r.jitter_hf));
    }

    ui->lNoInput->setText(QString::number(r.no_input_count));
    ui->lSIASInput->setText(QString::number(r.ais_count));
    ui->lLostOfLoop->setText(QString::number(r.lof_count));

    g821_->update_results();
}

void ResultFrame::bG821Clicked()
{
    g821_->show();
    g821_->raise();
    g821_->activateWindow();
}
