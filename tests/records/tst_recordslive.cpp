// The records table and both charts fed by a device link to the simulated
// instrument, with time driven by the test.

#include "tests/support/linkrig.h"
#include "proto/formats.h"
#include "records/chartwidget.h"
#include "records/histogramsform.h"
#include "records/tableform.h"

#include <QScrollBar>
#include <QTableWidget>
#include <QtTest>

class TstRecordsLive : public QObject {
    Q_OBJECT

private slots:
    void aMinuteOfTestFillsTableAndCharts()
    {
        LinkRig rig;
        Device* dev = rig.dev;
        TableForm table(dev);
        HistogramsForm hist(dev);
        // Wired the way the main window wires them.
        connect(dev, &Device::table_rec_rcv, &table, &TableForm::table_rec_rcv);
        connect(&table, &TableForm::draw_rec, &hist, &HistogramsForm::draw_rec);
        connect(dev, &Device::cfg_rcv, this, [&] { // a started test starts the records afresh
            if (dev->common.test_running) {
                hist.repaint_charts();
                table.clear_table();
            }
        });
        hist.resize(900, 600);
        hist.show(); // repaints happen as records arrive
        QVERIFY(rig.connectFully());

        // Automatic bit errors at 10^-5 on channel A.
        dev->tx[0].err_type = 0;
        dev->tx[0].err_mode = 2;
        dev->tx[0].err_rate_exp = 5;
        dev->set_error_settings_a();
        dev->start_stop_test();
        rig.run(61000);
        QVERIFY(rig.sim->instrument().running());
        QVERIFY(rig.warnings.isEmpty());

        const QList<TableRecord>& recs = dev->records;
        QVERIFY2(recs.size() >= 6, qPrintable(QString::number(recs.size())));
        QTableWidget* t = table.findChild<QTableWidget*>("tRes");
        QCOMPARE(t->rowCount(), recs.size());
        for (int i = 0; i < recs.size(); ++i)
            QCOMPARE(t->item(i, 0)->text(), elapsed_text(10 * i));
        // A full interval of 10 s at 10^-5 of 2048000 bit/s: about 205 bit errors.
        const int bits = t->item(2, 1)->text().toInt();
        QVERIFY2(bits > 150 && bits < 260, qPrintable(t->item(2, 1)->text()));

        QCOMPARE(hist.scrollBar()->maximum(), int(recs.last().number));
        for (ChartWidget* c : {hist.chartA(), hist.chartB()}) { // bars, or flat bars on B's axis
            const QImage img = c->grab().toImage().convertToFormat(QImage::Format_RGB32);
            bool green = false;
            for (int y = 0; y < img.height() && !green; ++y)
                for (int x = 0; x < img.width() && !green; ++x)
                    green = img.pixel(x, y) == qRgb(0, 170, 0);
            QVERIFY(green);
        }
    }
};

QTEST_MAIN(TstRecordsLive)
#include "tst_recordslive.moc"
