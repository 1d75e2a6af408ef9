#include "records/tableform.h"

#include "device/device.h"
#include "panels/windowplacement.h"
#include "proto/formats.h"
#include "ui_tableform.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTableWidget>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const int COLUMN_WIDTH[20] = {70, 39, 39, 39, 39, 39, 59, 39, 59, 49, 59, 5, 39, 39, 39, 39, 39, 59, 39, 59};

// Table column of each channel-A counter; channel B uses the same order
// 11 columns further right. Bit errors come before code errors on screen
// although the record stores code errors first.
struct CounterColumn {
    int column;
    int counter;
};
const CounterColumn COUNTER_COLUMNS[] = {
    {1, REC_BIT}, {2, REC_CODE}, {3, REC_FRAME}, {4, REC_CRC4},
    {5, REC_EBIT}, {6, REC_NO_INPUT}, {7, REC_AIS}, {8, REC_LOF},
};
const int CHANNEL_B_SHIFT = 11;

// The largest value each column's field can hold, as the table writes it:
// the time of the largest count of seconds, a 32-bit count, or a jitter,
// which the instrument sends as 16 bits of hundredths.
QString widest_value(int column)
{
    if (column == 0)
        return elapsed_text(std::numeric_limits<quint32>::max());
    if (column == 9 || column == 10)
        return fixed_text(65535 / 100.0);
    return QString::number(std::numeric_limits<quint32>::max());
}

// `text` with every digit replaced by the widest digit of the font, so that
// no value of the same shape is wider, whatever the font's digits.
QString widest_digits(const QFontMetricsF& fm, QString text)
{
    QChar widest('0');
    for (char d = '1'; d <= '9'; ++d)
        if (fm.horizontalAdvance(QChar(d)) > fm.horizontalAdvance(widest))
            widest = QChar(d);
    for (QChar& ch : text)
        if (ch.isDigit())
            ch = widest;
    return text;
}

} // namespace

TableForm::TableForm(Device* device, QWidget* parent) : QWidget(parent), ui(new Ui::TableForm), device_(device)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool);
    // The separator column between the channels is narrower than the
    // style's default minimum section.
    ui->tRes->horizontalHeader()->setMinimumSectionSize(5);
    // The export is offered by the table's context menu, so the window keeps its layout.
    QAction* export_action = new QAction(tr("Export to CSV..."), ui->tRes);
    connect(export_action, &QAction::triggered, this, &TableForm::export_csv);
    ui->tRes->addAction(export_action);
    ui->tRes->setContextMenuPolicy(Qt::ActionsContextMenu);
    // The widths suit the instrument maker's usual small dialog font. Each
    // column grows, in the font in use, to its header and to the widest text
    // its field can give, so that no value is ever elided. A cell's text has
    // the style's focus margin and one pixel on each side, and the grid line.
    const QFontMetricsF cells(ui->tRes->font());
    const QFontMetrics heads(ui->tRes->horizontalHeader()->font());
    const int head_padding = 8;
    const int cell_padding = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, ui->tRes) + 1) + 1;
    for (int c = 0; c < 20; ++c) {
        int need = 0;
        if (c != 11)
            need = std::max(heads.horizontalAdvance(ui->tRes->horizontalHeaderItem(c)->text()) + head_padding,
                            int(std::ceil(cells.horizontalAdvance(widest_digits(cells, widest_value(c))))) + cell_padding);
        ui->tRes->setColumnWidth(c, std::max(COLUMN_WIDTH[c], need));
    }
    // Room for all columns, row numbers up to five digits and the scroll bar,
    // so that both channels are seen side by side where the screen allows;
    // beyond that the table scrolls sideways.
    int total = 0;
    for (int c = 0; c < 20; ++c)
        total += ui->tRes->columnWidth(c);
    total += heads.horizontalAdvance("99999") + head_padding;
    total += style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * ui->tRes->frameWidth() + 12 + 4;
    if (const QScreen* screen = this->screen())
        total = std::min(total, screen->availableGeometry().width());
    if (total > width())
        resize(total, height());
    centre_in_available_area(this);
}

TableForm::~TableForm() { delete ui; }

void TableForm::clear_table()
{
    ui->tRes->setRowCount(0);
    refill_all_ = true;
    device_->records.clear();
}

void TableForm::table_rec_rcv()
{
    const QList<TableRecord>& recs = device_->records;
    const qsizetype n = recs.size();
    // Nothing to write; a pending refill stays pending so that the first
    // records that do arrive are all written.
    if (n == 0)
        return;
    if (recs.last().number != quint32(n - 1))
        return;
    if (ui->tRes->rowCount() < n)
        ui->tRes->setRowCount(int(n));

    if (!refill_all_) {
        // The row before the newest too: the device link replaces a record
        // that was taken while still being counted once its final values come.
        if (n > 1)
            write_row(recs[n - 2], recs[n > 2 ? n - 3 : n - 2], false);
        write_row(recs[n - 1], recs[n > 1 ? n - 2 : n - 1]);
        return;
    }
    for (qsizetype i = 0; i < n; ++i)
        write_row(recs[i], recs[i > 0 ? i - 1 : 0]);
    refill_all_ = false;
}

void TableForm::set_cell(int row, int column, const QString& text)
{
    QTableWidgetItem* item = ui->tRes->item(row, column);
    if (item)
        item->setText(text);
    else
        ui->tRes->setItem(row, column, new QTableWidgetItem(text)); // one model update, not two
}

void TableForm::write_row(const TableRecord& cur, const TableRecord& prev, bool announce)
{
    const int row = int(cur.number);
    set_cell(row, 0, elapsed_text(cur.time_s));
    set_cell(row, 9, fixed_text(cur.jitter));
    set_cell(row, 10, fixed_text(cur.jitter_hf));
    for (int ch = 0; ch < 2; ++ch) {
        for (const CounterColumn& cc : COUNTER_COLUMNS) {
            const int k = cc.counter + ch * COUNTERS_PER_CHANNEL;
            // Deltas wrap as unsigned 32-bit: a counter that went backwards shows large.
            const quint32 value = cur.number == 0 ? cur.counters[k] : quint32(cur.counters[k] - prev.counters[k]);
            set_cell(row, cc.column + ch * CHANNEL_B_SHIFT, QString::number(value));
        }
    }
    if (announce)
        emit draw_rec();
}
