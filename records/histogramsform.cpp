#include "records/histogramsform.h"

#include "device/device.h"
#include "panels/windowplacement.h"
#include "records/chartwidget.h"
#include "ui_histogramsform.h"

#include <QEvent>
#include <QScrollBar>

#include <algorithm>

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
    connect(scroll_, &QScrollBar::valueChanged, this, &HistogramsForm::scroll_moved);
    // A wider or narrower chart shows more or fewer records.
    chart_a_->installEventFilter(this);
}

HistogramsForm::~HistogramsForm() { delete ui; }

// The scroll range runs to the newest record's number, so that the bar's far
// end puts the newest record in the leftmost slot; "at the end" is therefore
// any position where the newest record is in view, and following shows it in
// the rightmost slot, with as many records before it as the chart holds.
int HistogramsForm::follow_position() const
{
    const int shown = std::max(1, ChartWidget::slot_count(chart_a_->width(), false));
    return std::max(0, scroll_->maximum() - shown + 1);
}

void HistogramsForm::scroll_moved(int value)
{
    following_ = value >= follow_position();
}

bool HistogramsForm::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == chart_a_ && event->type() == QEvent::Resize && following_)
        scroll_->setValue(follow_position());
    return QWidget::eventFilter(watched, event);
}

void HistogramsForm::draw_rec()
{
    const QList<TableRecord>& recs = device_->records;
    const int first = scroll_->value();
    scroll_->setRange(0, recs.isEmpty() ? 0 : int(recs.last().number));
    if (following_)
        scroll_->setValue(follow_position());
    // Keep the scales current even while the window is hidden, so a refilled
    // list is noticed record by record rather than at the next paint.
    chart_a_->scale(0);
    chart_b_->scale(1);
    if (scroll_->value() == first) { // else moving the bar has repainted them
        chart_a_->repaint();
        chart_b_->repaint();
    }
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
