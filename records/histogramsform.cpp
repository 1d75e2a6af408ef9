#include "histogramsform.h"

#include "chartwidget.h"
#include "device.h"
#include "ui_histogramsform.h"
#include "windowplacement.h"

#include <QScrollBar>

HistogramsForm::HistogramsForm(Device* device, QWidget* parent)
    : QWidget(parent), ui(new Ui::HistogramsForm), device_(device)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool);
    centre_in_available_area(this);

    chart_a_ = new ChartWidget(&device_->records, 0, ui->fLeft);
    chart_b_ = new ChartWidget(&device_->records, 1, ui->fLeft);
    scroll_ = new QScrollBar(Qt::Horizontal, ui->fLeft);
    ui->verticalLayout_2->addWidget(chart_a_);
    ui->verticalLayout_2->addWidget(chart_b_);
    ui->verticalLayout_2->addWidget(scroll_);
    scroll_->setRange(0, 0);
    connect(scroll_, &QScrollBar::valueChanged, chart_a_, &ChartWidget::draw_from_num);
    connect(scroll_, &QScrollBar::valueChanged, chart_b_, &ChartWidget::draw_from_num);
}

HistogramsForm::~HistogramsForm() { delete ui; }

void HistogramsForm::draw_rec()
{
    const QList<TableRecord>& recs = device_->records;
    scroll_->setRange(0, recs.isEmpty() ? 0 : int(recs.last().number));
    // Keep the scales current even while the window is hidden, so a refilled
    // list is noticed record by record rather than at the next paint.
    chart_a_->scale(0);
    chart_b_->scale(1);
    chart_a_->repaint();
    chart_b_->repaint();
}

void HistogramsForm::repaint_charts()
{
    chart_a_->repaint();
    chart_b_->repaint();
    // The main window empties the records right after this; start the
    // scales afresh rather than trust what was kept for the old list.
    chart_a_->reset_scale();
    chart_b_->reset_scale();
}
