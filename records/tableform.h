#pragma once
// Records table: one row per timed record of the running test, with the
// per-interval counts of both channels and the jitter of channel A.

#include "proto/model.h"

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QWidget>

class Device;

// What the records table shows for record `row` of `records` in `column`
// (0-19): its time, a jitter, or a counter's change since the record before
// (the first record's own counts); empty in the gap between the channels.
// The printed table shows the same.
QString record_cell_text(const QList<TableRecord>& records, qsizetype row, int column);

// The rows of the records table, read from the record list itself: a cell's
// text is made when the view asks for it, so a row costs nothing but the
// record it shows.
class RecordsModel : public QAbstractTableModel {
public:
    static const int COLUMNS = 20;

    RecordsModel(const QList<TableRecord>* records, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Adds rows up to `rows` (never removes any).
    void grow_to(int rows);
    // Shows exactly `rows` rows afresh, whatever was shown before.
    void reset_to(int rows);
    // Rows `first` to `last` now show other values.
    void rows_changed(int first, int last);

private:
    const QList<TableRecord>* records_;
    int rows_ = 0;
};

namespace Ui {
class TableForm;
}

class TableForm : public QWidget {
    Q_OBJECT
public:
    explicit TableForm(Device* device, QWidget* parent = nullptr);
    ~TableForm() override;

    // Empties the table and the record list; the next update refills all rows.
    void clear_table();

    bool refill_all() const { return refill_all_; }

    Ui::TableForm* ui;

signals:
    void draw_rec();
    // The user asked for the records as a CSV file.
    void export_csv();

public slots:
    void table_rec_rcv();

private:
    Device* device_;
    RecordsModel* model_;
    bool refill_all_ = true;
};
