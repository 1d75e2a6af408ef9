// The records table, both charts and the results panels fed by a device link
// that talks to the simulated instrument, with time driven by the test: a
// minute of a running test fills the table and the charts. With
// KELM_SHOT_DIR set, the windows are also saved there as pictures.

#include "chartwidget.h"
#include "device.h"
#include "g821form.h"
#include "histogramsform.h"
#include "resultframe.h"
#include "simbackend.h"
#include "tableform.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QtTest>

namespace {

bool has_colour(const QImage& img, QRgb colour)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == colour)
                return true;
    return false;
}

} // namespace

class TestRecordsLive : public QObject {
    Q_OBJECT

    SimBackend* sim = nullptr;
    Device* dev = nullptr;

    // One 10 ms tick of the instrument's clock and of the link's timers.
    void step()
    {
        sim->advance(10);
        if (sim->now_ms() % 1000 == 0) {
            if (dev->scan_timer->isActive())
                dev->tDevScanTimeout();
            if (dev->res_timer->isActive())
                dev->tDevResTimeout();
        }
        if (dev->io_timer->isActive())
            dev->tDevIOTimeout();
    }
    void run(qint64 ms)
    {
        for (qint64 t = 0; t < ms; t += 10)
            step();
    }

private slots:
    void init()
    {
        auto s = std::make_unique<SimBackend>();
        sim = s.get();
        usb::setBackend(std::move(s));
        SimBackend* clock = sim;
        Device::clock_ms = [clock] { return clock->now_ms(); };
        Device::warning_box = [](const QString& text) { QFAIL(qPrintable(text)); };
        dev = new Device;
    }
    void cleanup()
    {
        delete dev;
        usb::setBackend(nullptr);
    }

    void aMinuteOfTestFillsTableAndCharts()
    {
        TableForm table(dev);
        HistogramsForm hist(dev);
        ResultFrame resA(dev, 0), resB(dev, 1);
        // Wired the way the main window wires them.
        connect(dev, &Device::table_rec_rcv, &table, &TableForm::table_rec_rcv);
        connect(&table, &TableForm::draw_rec, &hist, &HistogramsForm::draw_rec);
        connect(dev, &Device::res_rcv, this, [&](uchar ch) { (ch == 0 ? resA : resB).update_results(); });
        connect(dev, &Device::dev_conn, this, [&] {
            dev->get_cfg(0);
            dev->get_cfg(1);
            hist.repaint_charts();
            table.clear_table();
        });
        // A configuration while a test runs (the start reply brings one)
        // starts the records afresh.
        connect(dev, &Device::cfg_rcv, this, [&](uchar ch) {
            if (ch == 0 && dev->common.test_running) {
                hist.repaint_charts();
                table.clear_table();
            }
        });
        hist.resize(900, 600);
        hist.show(); // repaints happen as records arrive

        run(3000);
        QVERIFY(dev->connected);
        QVERIFY(!dev->raw_cfg[1].isEmpty());

        // Automatic bit errors at 10^-5 on channel A, code errors by hand on B.
        dev->tx[0].err_type = 0;
        dev->tx[0].err_mode = 2;
        dev->tx[0].err_rate_exp = 5;
        dev->set_error_settings_a();
        dev->start_stop_test();
        run(61000);
        QVERIFY(sim->instrument().running());

        const QList<TableRecord>& recs = dev->records;
        QVERIFY2(recs.size() >= 6, qPrintable(QString::number(recs.size())));
        QTableWidget* t = table.findChild<QTableWidget*>("tRes");
        QCOMPARE(t->rowCount(), recs.size());
        for (int i = 0; i < recs.size(); ++i) {
            QCOMPARE(recs[i].number, quint32(i));
            QCOMPARE(t->item(i, 0)->text(), TableForm::elapsed_text(recs[i].time_s));
        }
        QCOMPARE(t->item(0, 0)->text(), QString("00 00:00:00"));
        QCOMPARE(t->item(1, 0)->text(), QString("00 00:00:10"));
        // A full interval of 10 s at 10^-5 of 2048000 bit/s: about 205 bit errors.
        const int bits = t->item(2, 1)->text().toInt();
        QVERIFY2(bits > 150 && bits < 260, qPrintable(t->item(2, 1)->text()));

        QCOMPARE(hist.scrollBar()->maximum(), int(recs.last().number));
        const QImage a = hist.chartA()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage b = hist.chartB()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QVERIFY(has_colour(a, qRgb(0, 170, 0)));  // bit error bars of channel A
        QVERIFY(has_colour(b, qRgb(0, 170, 0)));  // flat bars on channel B's axis
        QVERIFY(hist.chartA()->scale(0) >= quint32(bits));

        // The results panels saw the same test.
        QVERIFY(dev->results[0].elapsed_s >= 59);
        QVERIFY(table.findChild<QWidget*>()); // keep the form alive until here
        QCOMPARE(resA.findChild<QLabel*>("lBin")->text(), QString::number(dev->results[0].bit_errors));
        QVERIFY(resA.findChild<QLabel*>("lBinK")->text().endsWith("e-05"));

        // Stopping and starting again starts the table and the charts afresh.
        dev->start_stop_test();
        run(3000);
        QVERIFY(!sim->instrument().running());
        const int old_rows = t->rowCount();
        dev->start_stop_test();
        run(25000);
        QVERIFY(sim->instrument().running());
        QVERIFY(t->rowCount() < old_rows);
        QCOMPARE(t->rowCount(), dev->records.size());
        QCOMPARE(t->item(0, 0)->text(), QString("00 00:00:00"));
        QCOMPARE(t->item(2, 0)->text(), QString("00 00:00:20"));
        QVERIFY(hist.chartA()->scale(0) < 1000);

        if (qEnvironmentVariableIsSet("KELM_SHOT_DIR")) {
            const QString dir = qEnvironmentVariable("KELM_SHOT_DIR");
            run(300000); // a few dozen records
            table.show();
            QVERIFY(table.grab().save(dir + "/shot-table.png"));
            QVERIFY(hist.grab().save(dir + "/shot-hist.png"));
        }
    }

    void resultsFitTheMainWindowColumn()
    {
        dev->results[0].elapsed_s = 3600;
        dev->results[0].bit_errors = 4294967295u;
        dev->results[0].code_errors = 123456;
        dev->results[0].alarms = 0xA0;
        dev->results[0].jitter = 12.34;
        dev->results[0].jitter_hf = 0.05;
        dev->results[0].available_s = 3500;
        dev->results[0].errored_s = 17;
        dev->results[0].bbe = 1234;
        dev->results[1].elapsed_s = 3600;
        dev->results[1].ais_count = 4000000000u;

        // The main window's right column: both panels above the three buttons.
        QWidget column;
        auto* v = new QVBoxLayout(&column);
        v->setContentsMargins(0, 0, 0, 0);
        v->setSpacing(0);
        auto* a = new ResultFrame(dev, 0);
        auto* b = new ResultFrame(dev, 1);
        v->addWidget(a);
        v->addWidget(b);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(2);
        for (const char* text : {"Старт", "Стоп", "Выход"})
            buttons->addWidget(new QPushButton(QString::fromUtf8(text)));
        v->addLayout(buttons);
        a->update_results();
        b->update_results();
        column.resize(330, column.sizeHint().height());
        column.show();

        // The width does not depend on the numbers shown.
        const QSize before = column.minimumSizeHint();
        const ChannelResults full = dev->results[0];
        dev->results[0] = ChannelResults();
        a->update_results();
        QCOMPARE(column.minimumSizeHint(), before);
        dev->results[0] = full;
        a->update_results();
        QVERIFY2(column.minimumSizeHint().width() <= 330, qPrintable(QString::number(column.minimumSizeHint().width())));
        QVERIFY2(column.sizeHint().height() <= 640, qPrintable(QString::number(column.sizeHint().height())));
        // Nothing cut: every value label gets at least the width of its text.
        for (ResultFrame* f : {a, b})
            for (QLabel* l : f->findChildren<QLabel*>())
                if (l->isVisibleTo(f))
                    QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()),
                             qPrintable(l->objectName() + " " + l->text()));

        G821Form* g = a->g821();
        g->show();
        for (QLabel* l : g->findChildren<QLabel*>())
            QVERIFY2(l->width() >= l->fontMetrics().horizontalAdvance(l->text()) && l->height() >= 10,
                     qPrintable(l->objectName() + " " + l->text()));

        if (qEnvironmentVariableIsSet("KELM_SHOT_DIR")) {
            const QImage left = column.grab().toImage();
            const QImage right = g->grab().toImage();
            QImage shot(left.width() + 20 + right.width(), std::max(left.height(), right.height()),
                        QImage::Format_RGB32);
            shot.fill(Qt::lightGray);
            QPainter p(&shot);
            p.drawImage(0, 0, left);
            p.drawImage(left.width() + 20, 0, right);
            p.end();
            QVERIFY(shot.save(qEnvironmentVariable("KELM_SHOT_DIR") + "/shot-results.png"));
        }
    }
};

QTEST_MAIN(TestRecordsLive)
#include "tst_recordslive.moc"
