// Records table: absolute first row then deltas, unsigned wrap, time texts,
// refill after a clear, records whose numbering does not fit.

#include "device/device.h"
#include "records/tableform.h"

#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

static TableRecord make(quint32 number, quint32 time_s, quint32 base)
{
    TableRecord r;
    r.number = number;
    r.time_s = time_s;
    for (int k = 0; k < 16; ++k)
        r.counters[k] = base + quint32(k) * 10 * (number + 1);
    return r;
}

class TstRecordsTable : public QObject {
    Q_OBJECT
    Device* dev = nullptr;
    TableForm* form = nullptr;
    QTableView* table = nullptr;

    void append(const TableRecord& r)
    {
        dev->records.append(r);
        form->table_rec_rcv();
    }
    QString cell(int row, int col) { return table->model()->index(row, col).data().toString(); }
    int rows() { return table->model()->rowCount(); }

private slots:
    void init()
    {
        dev = new Device;
        dev->scan_timer->stop();
        form = new TableForm(dev);
        table = form->findChild<QTableView*>("tRes");
    }
    void cleanup()
    {
        delete form;
        delete dev;
    }

    // Deltas wrap as unsigned counts do; times count days; jitter has two decimals.
    void deltasAndTexts()
    {
        TableRecord r0 = make(0, 90061, 1000);
        r0.jitter_hf = 1.234;
        r0.counters[REC_BIT] = 10;
        r0.counters[8 + REC_LOF] = 4294967295u;
        append(r0);
        TableRecord r1 = make(1, 8640000, 1000);
        r1.jitter = 2.5;
        r1.counters[REC_BIT] = 7;     // went backwards
        r1.counters[8 + REC_LOF] = 2; // wrapped forwards
        append(r1);
        const QStringList texts = {cell(1, 1), cell(1, 19), cell(0, 0), cell(1, 0), cell(0, 10), cell(1, 9), cell(1, 11)};
        QCOMPARE(texts, QStringList({"4294967293", "3", "01 01:01:01", "100 00:00:00", "1.23", "2.50", ""}));
    }

    // No value is ever elided: each column is as wide as its largest value needs.
    void columnsHoldTheirLargestValues()
    {
        TableRecord r = make(0, std::numeric_limits<quint32>::max(), 0);
        std::fill(std::begin(r.counters), std::end(r.counters), std::numeric_limits<quint32>::max());
        r.jitter = r.jitter_hf = 655.35;
        append(r);
        for (int c = 0; c < 20; ++c)
            QVERIFY2(table->columnWidth(c) >= static_cast<QAbstractItemView*>(table)->sizeHintForColumn(c),
                     qPrintable(cell(0, c)));
    }

    void clearThenRefill()
    {
        for (quint32 i = 0; i < 3; ++i)
            append(make(i, i * 10, 5));
        form->clear_table();
        QCOMPARE(rows(), 0);
        QVERIFY(dev->records.isEmpty());

        // Several records arrive before the next announcement: all rows are written.
        QSignalSpy drawn(form, &TableForm::draw_rec);
        for (quint32 i = 0; i < 4; ++i)
            dev->records.append(make(i, 100 + i, 7 * i));
        form->table_rec_rcv();
        const QList<TableRecord> recs = dev->records;
        QCOMPARE(rows(), 4);
        QCOMPARE(drawn.count(), 4);
        QCOMPARE(cell(0, 2), QString::number(recs[0].counters[REC_CODE]));
        for (int i = 1; i < 4; ++i)
            QCOMPARE(cell(i, 2), QString::number(recs[i].counters[REC_CODE] - recs[i - 1].counters[REC_CODE]));
        QCOMPARE(cell(3, 0), QString("00 00:01:43"));
    }

    // A record taken again with its final values shows them; numbering that
    // does not fit the list changes nothing until it fits again.
    void newestRowsFollowTheirRecords()
    {
        append(make(0, 0, 0));
        append(make(1, 10, 0));
        QSignalSpy changed(table->model(), &QAbstractItemModel::dataChanged);
        dev->records[1].time_s = 11;
        form->table_rec_rcv();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].toModelIndex().row(), 0);
        QCOMPARE(changed[0][1].toModelIndex().row(), 1);
        QCOMPARE(cell(1, 0), QString("00 00:00:11"));

        QSignalSpy drawn(form, &TableForm::draw_rec);
        append(make(5, 50, 0)); // not number 2
        QCOMPARE(rows(), 2);
        QCOMPARE(drawn.count(), 0);
        dev->records[2] = make(2, 20, 0);
        append(make(3, 30, 0));
        QCOMPARE(rows(), 4);
        QCOMPARE(drawn.count(), 1);
        QCOMPARE(cell(2, 0), QString("00 00:00:20"));
        QCOMPARE(cell(3, 0), QString("00 00:00:30"));
    }
};

QTEST_MAIN(TstRecordsTable)
#include "tst_recordstable.moc"
