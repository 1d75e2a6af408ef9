#include "records/tableform.h"

#include "device/device.h"
#include "panels/windowplacement.h"
#include "proto/formats.h"
#include "ui_tableform.h"

#include <QAction>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QTableView>

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

const char* const HEADERS[RecordsModel::COLUMNS] = {
    QT_TRANSLATE_NOOP("TableForm", "Время"),     QT_TRANSLATE_NOOP("TableForm", "Бин"),
    QT_TRANSLATE_NOOP("TableForm", "Код"),       QT_TRANSLATE_NOOP("TableForm", "Цикл"),
    QT_TRANSLATE_NOOP("TableForm", "CRC"),       QT_TRANSLATE_NOOP("TableForm", "Е-бит"),
    QT_TRANSLATE_NOOP("TableForm", "Нет входа"), QT_TRANSLATE_NOOP("TableForm", "СИАС"),
    QT_TRANSLATE_NOOP("TableForm", "Нет цикла"), QT_TRANSLATE_NOOP("TableForm", "Джиттер"),
    QT_TRANSLATE_NOOP("TableForm", "Джиттер ВЧ"), "",
    QT_TRANSLATE_NOOP("TableForm", "Бин"),       QT_TRANSLATE_NOOP("TableForm", "Код"),
    QT_TRANSLATE_NOOP("TableForm", "Цикл"),      QT_TRANSLATE_NOOP("TableForm", "CRC"),
    QT_TRANSLATE_NOOP("TableForm", "Е-бит"),     QT_TRANSLATE_NOOP("TableForm", "Нет входа"),
    QT_TRANSLATE_NOOP("TableForm", "СИАС"),      QT_TRANSLATE_NOOP("TableForm", "Нет цикла"),
};

// Record counter shown in each column, or -1 for the columns that show no counter.
int counter_of(int column)
{
    for (int ch = 0; ch < 2; ++ch)
        for (const CounterColumn& cc : COUNTER_COLUMNS)
            if (cc.column + ch * CHANNEL_B_SHIFT == column)
                return cc.counter + ch * COUNTERS_PER_CHANNEL;
    return -1;
}

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

RecordsModel::RecordsModel(const QList<TableRecord>* records, QObject* parent)
    : QAbstractTableModel(parent), records_(records)
{
}

int RecordsModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int RecordsModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : COLUMNS; }

QString record_cell_text(const QList<TableRecord>& records, qsizetype row, int column)
{
    const TableRecord& cur = records[row];
    switch (column) {
    case 0:
        return elapsed_text(cur.time_s);
    case 9:
        return fixed_text(cur.jitter);
    case 10:
        return fixed_text(cur.jitter_hf);
    default:
        break;
    }
    const int k = counter_of(column);
    if (k < 0)
        return QString();
    // Deltas wrap as unsigned 32-bit: a counter that went backwards shows large.
    const TableRecord& prev = records[row > 0 ? row - 1 : 0];
    return QString::number(cur.number == 0 ? cur.counters[k] : quint32(cur.counters[k] - prev.counters[k]));
}

QVariant RecordsModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (role != Qt::DisplayRole || !index.isValid() || row >= rows_ || row >= records_->size())
        return QVariant();
    const QString t = record_cell_text(*records_, row, index.column());
    return t.isNull() ? QVariant() : QVariant(t); // the gap between the channels shows nothing
}

QVariant RecordsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < COLUMNS)
        return QCoreApplication::translate("TableForm", HEADERS[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags RecordsModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

void RecordsModel::grow_to(int rows)
{
    if (rows <= rows_)
        return;
    beginInsertRows(QModelIndex(), rows_, rows - 1);
    rows_ = rows;
    endInsertRows();
}

void RecordsModel::reset_to(int rows)
{
    beginResetModel();
    rows_ = rows;
    endResetModel();
}

void RecordsModel::rows_changed(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, rows_ - 1);
    if (first <= last)
        emit dataChanged(index(first, 0), index(last, COLUMNS - 1), {Qt::DisplayRole});
}

TableForm::TableForm(Device* device, QWidget* parent)
    : QWidget(parent), ui(new Ui::TableForm), device_(device), model_(new RecordsModel(&device->records, this))
{
    ui->setupUi(this);
    ui->tRes->setModel(model_);
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
            need = std::max(heads.horizontalAdvance(model_->headerData(c, Qt::Horizontal).toString()) + head_padding,
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
    model_->reset_to(0);
    refill_all_ = true;
    device_->records.clear();
}

void TableForm::table_rec_rcv()
{
    const QList<TableRecord>& recs = device_->records;
    const qsizetype n = recs.size();
    // Nothing to show; a pending refill stays pending so that the first
    // records that do arrive are all shown.
    if (n == 0)
        return;
    if (recs.last().number != quint32(n - 1))
        return;

    if (!refill_all_) {
        const int before = model_->rowCount();
        model_->grow_to(int(n));
        // The row before the newest too: the device link replaces a record
        // that was taken while still being counted once its final values come.
        model_->rows_changed(int(n) - 2, std::min(before, int(n)) - 1);
        emit draw_rec();
        return;
    }
    if (model_->rowCount() < n)
        model_->reset_to(int(n));
    else
        model_->rows_changed(0, int(n) - 1);
    refill_all_ = false;
    // Each row tells the charts, as when the rows came one by one.
    for (qsizetype i = 0; i < n; ++i)
        emit draw_rec();
}
