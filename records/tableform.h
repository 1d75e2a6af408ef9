#pragma once
// Records table: one row per timed record of the running test, with the
// per-interval counts of both channels and the jitter of channel A.

#include "proto/model.h"

#include <QString>
#include <QWidget>

class Device;

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
    void write_row(const TableRecord& cur, const TableRecord& prev, bool announce = true);
    void set_cell(int row, int column, const QString& text);

    Device* device_;
    bool refill_all_ = true;
};
