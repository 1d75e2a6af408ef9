// Records table: column mapping, absolute first row and deltas, unsigned
// wrap, time texts, refill after a clear, the numbering check, and the
// draw_rec() signal per written row.

#include "device.h"
#include "tableform.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

namespace {

TableRecord make(quint32 number, quint32 time_s, quint32 base)
{
    TableRecord r;
    r.number = number;
    r.time_s = time_s;
    for (int k = 0; k < 16; ++k)
        r.counters[k] = base + quint32(k) * 10 * (number + 1);
    return r;
}

QString cell(QTableWidget* t, int row, int col)
{
    QTableWidgetItem* it = t->item(row, col);
    return it ? it->text() : QString("<none>");
}

} // namespace

class TestRecordsTable : public QObject {
    Q_OBJECT
    Device* dev = nullptr;
    TableForm* form = nullptr;
    QTableWidget* table = nullptr;

    void append(const TableRecord& r)
    {
        dev->records.append(r);
        form->table_rec_rcv();
    }

private slots:
    void init()
    {
        dev = new Device;
        dev->scan_timer->stop();
        form = new TableForm(dev);
        table = form->findChild<QTableWidget*>("tRes");
        QVERIFY(table);
    }
    void cleanup()
    {
        delete form;
        delete dev;
    }

    void formLayout()
    {
        QVERIFY(form->isHidden());
        QCOMPARE(form->windowType(), Qt::Tool);
        QCOMPARE(form->windowTitle(), QString());
        QVERIFY(form->width() >= 960);
        QCOMPARE(form->height(), 600);
        const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(form->geometry().x(), (avail.left() + avail.right()) / 2 - form->width() / 2);
        QCOMPARE(form->geometry().y(), (avail.top() + avail.bottom()) / 2 - 600 / 2);
        QCOMPARE(form->findChild<QLabel*>("label")->text(), QString("Канал А"));
        QCOMPARE(form->findChild<QLabel*>("label_2")->text(), QString("Канал В"));

        const QStringList heads = {"Время", "Бин", "Код", "Цикл", "CRC", "Е-бит", "Нет входа",
                                   "СИАС", "Нет цикла", "Джиттер", "Джиттер ВЧ", "", "Бин", "Код",
                                   "Цикл", "CRC", "Е-бит", "Нет входа", "СИАС", "Нет цикла"};
        const int widths[20] = {70, 39, 39, 39, 39, 39, 59, 39, 59, 49, 59, 5, 39, 39, 39, 39, 39, 59, 39, 59};
        QCOMPARE(table->columnCount(), 20);
        for (int c = 0; c < 20; ++c) {
            QCOMPARE(table->horizontalHeaderItem(c)->text(), heads[c]);
            // At least the given width; wider only where the font needs it.
            QVERIFY(table->columnWidth(c) >= widths[c]);
            const int need = table->horizontalHeader()->fontMetrics().horizontalAdvance(heads[c]);
            QVERIFY2(c == 0 || table->columnWidth(c) == widths[c] || table->columnWidth(c) <= need + 8,
                     qPrintable(QString::number(c)));
        }
        QCOMPARE(table->columnWidth(11), 5);
        QVERIFY(table->columnWidth(0) >= table->fontMetrics().horizontalAdvance("00 00:00:00"));
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(table->verticalHeader()->defaultSectionSize(), 19);
        QCOMPARE(table->rowCount(), 0);
        QVERIFY(form->refill_all());
    }

    void firstRowAbsoluteThenDeltas()
    {
        QSignalSpy drawn(form, &TableForm::draw_rec);
        TableRecord r0 = make(0, 10, 1000);
        r0.jitter = 0.0;
        r0.jitter_hf = 1.234;
        append(r0);
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(drawn.count(), 1);
        QVERIFY(!form->refill_all());

        // Column -> counter index; channel B sits 11 columns to the right.
        const int counterOfColumn[8] = {1, 0, 2, 3, 4, 5, 6, 7};
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(cell(table, 0, 1 + i), QString::number(r0.counters[counterOfColumn[i]]));
            QCOMPARE(cell(table, 0, 12 + i), QString::number(r0.counters[8 + counterOfColumn[i]]));
        }
        QCOMPARE(cell(table, 0, 0), QString("00 00:00:10"));
        QCOMPARE(cell(table, 0, 9), QString("0.00"));
        QCOMPARE(cell(table, 0, 10), QString("1.23"));
        QCOMPARE(cell(table, 0, 11), QString("<none>"));

        TableRecord r1 = make(1, 70, 1000);
        r1.jitter = 2.5;
        append(r1);
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(drawn.count(), 2);
        for (int i = 0; i < 8; ++i) {
            const int a = counterOfColumn[i], b = 8 + counterOfColumn[i];
            QCOMPARE(cell(table, 1, 1 + i), QString::number(r1.counters[a] - r0.counters[a]));
            QCOMPARE(cell(table, 1, 12 + i), QString::number(r1.counters[b] - r0.counters[b]));
        }
        QCOMPARE(cell(table, 1, 9), QString("2.50"));
        QCOMPARE(cell(table, 1, 11), QString("<none>"));
        // The first row is not rewritten by the second record.
        QCOMPARE(cell(table, 0, 1), QString::number(r0.counters[1]));
    }

    void counterGoingBackwardsWraps()
    {
        TableRecord r0 = make(0, 0, 0);
        r0.counters[REC_BIT] = 10;
        r0.counters[8 + REC_LOF] = 4294967295u;
        append(r0);
        TableRecord r1 = r0;
        r1.number = 1;
        r1.counters[REC_BIT] = 7;              // went backwards
        r1.counters[8 + REC_LOF] = 2;          // wrapped forwards
        append(r1);
        QCOMPARE(cell(table, 1, 1), QString("4294967293"));
        QCOMPARE(cell(table, 1, 19), QString("3"));
        QCOMPARE(cell(table, 0, 19), QString("4294967295"));
        QCOMPARE(cell(table, 1, 2), QString("0"));
    }

    void timeTexts_data()
    {
        QTest::addColumn<quint32>("t");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0u << "00 00:00:00";
        QTest::newRow("one of each") << 90061u << "01 01:01:01";
        QTest::newRow("last second of a day") << 86399u << "00 23:59:59";
        QTest::newRow("100 days") << 8640000u << "100 00:00:00";
        QTest::newRow("largest") << 4294967295u << "49710 06:28:15";
    }
    void timeTexts()
    {
        QFETCH(quint32, t);
        QFETCH(QString, text);
        TableRecord r = make(0, t, 0);
        append(r);
        QCOMPARE(cell(table, 0, 0), text);
    }

    void clearThenRefill()
    {
        for (quint32 i = 0; i < 3; ++i)
            append(make(i, i * 10, 5));
        QCOMPARE(table->rowCount(), 3);

        form->clear_table();
        QCOMPARE(table->rowCount(), 0);
        QVERIFY(dev->records.isEmpty());
        QVERIFY(form->refill_all());

        // An announcement with nothing in the list writes nothing.
        QSignalSpy drawn(form, &TableForm::draw_rec);
        form->table_rec_rcv();
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(drawn.count(), 0);

        // Several records arrive before the next announcement: all rows are written.
        TableRecord recs[4];
        for (quint32 i = 0; i < 4; ++i) {
            recs[i] = make(i, 100 + i, 7 * i);
            dev->records.append(recs[i]);
        }
        form->table_rec_rcv();
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(drawn.count(), 4);
        QVERIFY(!form->refill_all());
        QCOMPARE(cell(table, 0, 2), QString::number(recs[0].counters[REC_CODE]));
        for (int i = 1; i < 4; ++i) {
            QCOMPARE(cell(table, i, 0), TableForm::elapsed_text(100 + i));
            QCOMPARE(cell(table, i, 2), QString::number(recs[i].counters[REC_CODE] - recs[i - 1].counters[REC_CODE]));
        }

        // Back in step: one row per announcement.
        append(make(4, 200, 0));
        QCOMPARE(drawn.count(), 5);
    }

    void clearWithOneRecordWritesRowZero()
    {
        form->clear_table();
        append(make(0, 5, 3));
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(cell(table, 0, 0), QString("00 00:00:05"));
    }

    void recordZeroReplacedInPlace()
    {
        append(make(0, 1, 0));
        TableRecord again = make(0, 2, 50);
        dev->records[0] = again;
        form->table_rec_rcv();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(cell(table, 0, 0), QString("00 00:00:02"));
        QCOMPARE(cell(table, 0, 1), QString::number(again.counters[REC_BIT]));
    }

    void numberingMismatchIsSkipped()
    {
        append(make(0, 0, 0));
        QSignalSpy drawn(form, &TableForm::draw_rec);
        dev->records.append(make(5, 50, 0)); // not number 1
        form->table_rec_rcv();
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(drawn.count(), 0);
        QVERIFY(!form->refill_all());

        // Consistent again, with one update missed: the table grows to the
        // list size and the skipped row stays empty.
        dev->records[1] = make(1, 10, 0);
        dev->records.append(make(2, 20, 0));
        form->table_rec_rcv();
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(cell(table, 1, 0), QString("<none>"));
        QCOMPARE(cell(table, 2, 0), QString("00 00:00:20"));
    }

    void tableNeverShrinksOnUpdate()
    {
        for (quint32 i = 0; i < 3; ++i)
            append(make(i, i, 0));
        dev->records.removeLast();
        form->table_rec_rcv();
        QCOMPARE(table->rowCount(), 3);
    }
};

QTEST_MAIN(TestRecordsTable)
#include "tst_recordstable.moc"
