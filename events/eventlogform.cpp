#include "events/eventlogform.h"

#include "events/eventlog.h"
#include "ui_eventlogform.h"

#include <QHeaderView>
#include <QScrollBar>

EventLogForm::EventLogForm(EventLog* log, QWidget* parent) : QWidget(parent), ui(new Ui::EventLogForm), log_(log)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool);
    ui->tEvents->setModel(log_);
    // Each column as wide as its header and the widest text it can hold.
    QHeaderView* head = ui->tEvents->horizontalHeader();
    const QFontMetrics cells(ui->tEvents->font());
    auto fit = [this, head, &cells](int column, const QString& widest) {
        const QString title = log_->headerData(column, Qt::Horizontal).toString();
        head->resizeSection(column, qMax(cells.horizontalAdvance(widest), head->fontMetrics().horizontalAdvance(title)) + 16);
    };
    fit(EventLog::COL_TIME, "0000-00-00 00:00:00");
    fit(EventLog::COL_ELAPSED, "00000 00:00:00");
    fit(EventLog::COL_CHANNEL, "A");

    // New events are followed while the view is at its end; a user reading
    // older ones is left where they are.
    QScrollBar* bar = ui->tEvents->verticalScrollBar();
    connect(log_, &EventLog::rowsAboutToBeInserted, this, [this, bar] { at_end_ = bar->value() == bar->maximum(); });
    connect(log_, &EventLog::rowsInserted, this, [this] {
        if (at_end_)
            ui->tEvents->scrollToBottom();
    });
    connect(log_, &EventLog::dropped_changed, this, &EventLogForm::show_dropped);
    connect(ui->bExport, &QPushButton::clicked, this, &EventLogForm::export_csv);
    show_dropped(log_->dropped());
}

EventLogForm::~EventLogForm() { delete ui; }

void EventLogForm::show_dropped(int dropped)
{
    ui->lDropped->setVisible(dropped > 0);
    ui->lDropped->setText(tr("Older events dropped: %1 (the log keeps at most %2).").arg(dropped).arg(EventLog::MAX_EVENTS));
}
