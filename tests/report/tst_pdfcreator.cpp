// PDFCreator: real PDF files written on the offscreen platform, read back with poppler's pdftotext
// and pdfimages, in the English source texts.

#include "device/device.h"
#include "events/eventlog.h"
#include "proto/model.h"
#include "records/chartwidget.h"
#include "report/pdfcreator.h"
#include "report/reportdialog.h"
#include "tests/support/seam.h"
#include "ui_reportdialog.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// What a poppler tool prints about the file.
QString output(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Each page's non-empty text lines, runs of blanks folded to one; pdftotext ends every page with a form feed.
QList<QStringList> pdf_pages(const QString& file)
{
    QList<QStringList> pages;
    for (QString page : output("pdftotext", {"-layout", file, "-"}).split('\f')) {
        page.replace(QRegularExpression("[ \\t]+"), " ");
        pages << page.trimmed().split(QRegularExpression("\\s*\\n\\s*"), Qt::SkipEmptyParts);
    }
    pages.removeLast();
    return pages;
}

QString mark(const QString& name, int page, int pages) { return QString("%1 page %2 of %3").arg(name).arg(page).arg(pages); }

using Messages = QList<QPair<QMessageBox::Icon, QString>>;
const QString FINISHED = "Report creation finished.";

} // namespace

class TstPdfCreator : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    Model model;
    std::unique_ptr<ChartWidget> chart_a, chart_b;
    std::unique_ptr<PDFCreator> creator;
    Messages msgs;
    int dialog_runs = 0;
    QString chosen_file;

    QString path(const QString& name) const { return tmp.filePath(name); }

    // Runs create_pdf() as if the user accepted the dialog with these choices.
    void report(const QString& file, bool a, bool b, bool table, bool chart, const QString& comments = QString(),
                bool events = false)
    {
        chosen_file = file;
        Ui::ReportDialog* f = creator->dialog()->form();
        f->bFile->click();
        f->cbMainA->setChecked(a);
        f->cbMainB->setChecked(b);
        f->cbTable->setChecked(table);
        f->cbChart->setChecked(chart);
        f->cbEvents->setChecked(events);
        f->cbComments->setChecked(!comments.isNull());
        f->teComments->setPlainText(comments);
        creator->create_pdf();
    }

    // An instrument that identified itself and sent its configuration and results.
    void fill_results()
    {
        model.identified = true;
        model.device_id = 10;
        model.device_version = 0x2b;
        model.raw_cfg[0] = QByteArray(24, '\0');
        CommonSettings& c = model.common;
        c.seq_type = 5; c.word = 0xA5F0; c.alt_word = 0x0001; c.rxtx_jointly = 1;
        c.timed_measurement = 1; c.meas_days = 1; c.meas_hours = 2; c.meas_minutes = 30;
        ChannelResults& a = model.results[0];
        a.elapsed_s = 3600; a.bit_errors = 100; a.code_errors = 7; a.frame_errors = 2800; a.crc4_errors = 36;
        a.jitter = 0.25; a.jitter_hf = 1.5; a.no_input_count = 3; a.ais_count = 4; a.lof_count = 5;
        a.available_s = 3000; a.errored_s = 30; a.severely_errored_s = 3; a.bbe = 150;
        ChannelResults& b = model.results[1];
        b.bit_errors = 5; b.code_errors = 6; b.no_input_count = 9;
    }

    // Record 0 shows 100·(k+1) for counter k, every later record the delta k+1.
    void fill_records(int n)
    {
        for (int i = 0; i < n; ++i) {
            TableRecord r{quint32(i), quint32(90061 + 60 * i), i / 100.0, 0.1};
            for (int k = 0; k < 16; ++k)
                r.counters[k] = quint32(100 * (k + 1) + i * (k + 1));
            model.records << r;
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QProcess::execute("pdftotext", {"-v"}) == 0, "pdftotext (poppler-utils) is needed");
        ReportDialog::save_file_name = [this](QWidget*, const QString&, const QString&, const QString&) {
            return chosen_file;
        };
        PDFCreator::exec_dialog = [this](ReportDialog&) { return ++dialog_runs, int(QDialog::Accepted); };
        PDFCreator::confirm_replace = [](const QString&) { return true; };
        PDFCreator::message_box = [this](QMessageBox::Icon icon, const QString& text) { msgs.append({icon, text}); };
    }

    void init()
    {
        model = Model();
        msgs.clear();
        dialog_runs = 0;
        PDFCreator::progress_delay_ms = 700;
        creator = std::make_unique<PDFCreator>();
        chart_a = std::make_unique<ChartWidget>(&model.records, 0);
        chart_b = std::make_unique<ChartWidget>(&model.records, 1);
        creator->set_model(&model);
        creator->set_charts(chart_a.get(), chart_b.get());
    }

    // The header and the settings of a running test, the comments wrapped with nothing lost, then the
    // sections side by side on the next page; only A has a jitter block.
    void settings_comments_and_both_sections()
    {
        fill_results();
        model.common.test_running = 1;
        QStringList words;
        for (int i = 1; i <= 60; ++i)
            words << QString("слово%1").arg(i, 2, 10, QChar('0'));
        const QString f = path("main.pdf");
        report(f, true, true, false, false, words.join(' '));
        QCOMPARE(msgs, (Messages{{QMessageBox::Information, FINISHED}}));
        const QList<QStringList> pages = pdf_pages(f);
        QCOMPARE(pages.size(), 2);
        const QStringList l = pages[0] + pages[1];
        const QDateTime made = QDateTime::fromString(l.value(1), "'Report made' yyyy-MM-dd hh:mm:ss");
        QVERIFY(made.isValid() && qAbs(made.secsTo(QDateTime::currentDateTime())) < 5);
        QCOMPARE(l.mid(3, 3), QStringList({"Test started " + made.addSecs(-3600).toString("yyyy-MM-dd hh:mm:ss"),
                                           "Duration 00 01:00:00", "Test state Running"}));
        for (const char* s : {"Report", "Instrument KELM-E1+, firmware version 0x2b", "Sequence type Word + Alt. word",
                              "Word #1 1010010111110000", "Word #2 0000000000000001", "Test time 01d 02h 30m",
                              "Errors Channel A Errors Channel B", "Binary 100 1.36e-08 Binary 5 0.00e+00",
                              "Code 7 9.49e-10 Code 6 0.00e+00", "Cycle 2800 2.78e-05 Cycle 0 0.00e+00",
                              "CRC-4 36 1.00e-05 CRC-4 0 0.00e+00", "Jitter Channel A Alarms statistics Channel B",
                              "Jitter 0.25 Jitter HF 1.50 No entry 9"})
            QVERIFY2(l.contains(s), qPrintable(s + (" not in " + l.join('|'))));
        const qsizetype first = l.indexOf("Comments") + 1;
        QVERIFY(first > l.indexOf("Settings"));
        QCOMPARE(l.mid(first, l.indexOf(mark("main.pdf", 1, 2)) - first).join(' ').split(' '), words);
        // B without any time: its G.821 / G.826 rows are zeros, not a division by zero.
        const QString all = l.join(' ');
        for (const char* s : {"UAS 0 %UAS 0.00", "AS 0 %AS 0.00", "SES 0 %SES 0.00", "BBER 0.00e+00", "US 0 USR 0.00e+00"})
            QVERIFY2(all.contains(s), s);
        // The settings' check boxes are pictures 180 px square: "page num type width height ...".
        const QStringList images = output("pdfimages", {"-list", f}).split('\n', Qt::SkipEmptyParts).mid(2);
        QVERIFY(!images.isEmpty());
        for (const QString& row : images)
            QCOMPARE(row.simplified().section(' ', 3, 4), "180 180");
    }

    void section_a_counts_and_g82x()
    {
        fill_results();
        model.allocation_pct = 25; // ESR exactly at its objective, three figures above theirs
        model.identified = false; // the link lost while the test ran: its state and start are unknown
        model.common.test_running = 1;
        report(path("a.pdf"), true, false, false, false, QString(), true);
        const QStringList l = pdf_pages(path("a.pdf")).value(0);
        // In this order, each on its own line, and the section ends there, above the log and the page's mark.
        const QStringList expected = {
            "Alarms statistics Channel A", "No entry 3", "SIAS entry 4", "Lost of cycle 5",
            "G821, G826/M2100 Channel A", "G.821", "UAS 600 %UAS 16.67", "AS 3000 %AS 83.33", "ES 30 %ES 1.00",
            "SES 3 %SES 0.10", "DM 0 %DM 0.00", "AM 0", "G.826", "ES 30 ESR 1.00e-02", "SES 3 SESR 1.00e-03",
            "BBE 150 BBER 5.01e-05", "AS 3000 ASR 8.33e-01", "US 600 USR 1.67e-01", "Verdicts Channel A",
            "Allocation, % 25.0", "G.826 ESR ≤ 1.00e-02 Pass", "G.826 SESR ≤ 5.00e-04 Fail",
            "G.826 BBER ≤ 5.00e-05 Fail", "G.821 %ES ≤ 2.00 Pass", "G.821 %SES ≤ 0.05 Fail", "Overall Fail",
            "Event log", "No events", mark("a.pdf", 1, 1)};
        QCOMPARE(l.mid(l.indexOf(expected.first())), expected);
        QCOMPARE(l.mid(2, 6), QStringList({"Instrument not connected", "Last instrument KELM-E1+, firmware version 0x2b",
                                           "Test started Unknown", "Duration 00 01:00:00", "Test state Unknown", "Settings"}));
    }

    // 38 records a page; the companions' suffix goes before the extension, and a name without ".pdf" gets it.
    void table_file_and_companion_names()
    {
        fill_records(100);
        model.records[3].counters[15] = 0; // a counter that went backwards: a large unsigned delta
        report(path("t"), false, false, true, false);
        QVERIFY(QFile::exists(path("t.pdf")) && !QFile::exists(path("t_chart.pdf")));
        const QList<QStringList> pages = pdf_pages(path("t_table.pdf"));
        QCOMPARE(pages.size(), 3);
        QStringList l;
        for (int page = 1; page <= 3; ++page) {
            const QStringList& p = pages[page - 1];
            QCOMPARE(p.mid(0, 2), QStringList({"Channel A Channel B", "Time Bin Code Cycle CRC E-bit No entry SIAS No cycle "
                                               "Jitter Jitter HF Bin Code Cycle CRC E-bit No entry SIAS No cycle"}));
            QCOMPARE(p.last(), mark("t.pdf", page, 3));
            QCOMPARE(p.size(), 3 + (page < 3 ? 38 : 24));
            l << p.mid(2, p.size() - 3);
        }
        QCOMPARE(l.value(0), "01 01:01:01 200 100 300 400 500 600 700 800 0.00 0.10 1000 900 1100 1200 1300 1400 1500 1600");
        QCOMPARE(l.value(99), "01 02:40:01 2 1 3 4 5 6 7 8 0.99 0.10 10 9 11 12 13 14 15 16");
        QCOMPARE(l.value(3).section(' ', -1) + " " + l.value(4).section(' ', -1), "4294965664 1664");
        // Drawn as well as written: black text and lines on white cells, not filled cells, and
        // nothing beyond the table's borders at 1/15 and 28/30 of the width (the page mark included),
        // which run down beside the records.
        QProcess::execute("pdftoppm", {"-gray", "-r", "100", "-singlefile", path("t_table.pdf"), path("t1")});
        const QImage page(path("t1.pgm"));
        int dark = 0, left = page.width(), right = -1;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (qGray(page.pixel(x, y)) < 128) {
                    ++dark;
                    left = qMin(left, x);
                    right = qMax(right, x);
                }
        QVERIFY2(!page.isNull() && dark < page.width() * page.height() * 2 / 5, qPrintable(QString::number(dark)));
        QVERIFY(qAbs(left - page.width() / 15.0) <= 2 && qAbs(right - page.width() * 28 / 30.0) <= 2);
        QVERIFY(qGray(page.pixel(left, page.height() / 2)) < 128 && qGray(page.pixel(right, page.height() / 2)) < 128);
        report(path("up.PDF"), false, false, true, false);
        QVERIFY(QFile::exists(path("up_table.PDF")));
    }

    // 13 records a page in both charts under one legend; without records, each file is one page with its mark.
    void chart_pages_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("pages");
        QTest::newRow("none") << 0 << 1;
        QTest::newRow("exactly a page") << 13 << 1;
        QTest::newRow("one more, a page later") << 27 << 3;
    }
    void chart_pages()
    {
        QFETCH(int, records);
        QFETCH(int, pages);
        fill_records(records);
        report(path("c.pdf"), false, false, records == 0, true);
        const QList<QStringList> got = pdf_pages(path("c_chart.pdf"));
        QCOMPARE(got.size(), pages);
        for (int page = 1; page <= pages; ++page) {
            const QStringList& l = got[page - 1];
            for (int i = 0; i < records; ++i)
                QCOMPARE(l.join(' ').count(QTime(1, 1, 1).addSecs(60 * i).toString()), (i / 13 + 1 == page) ? 2 : 0);
            QCOMPARE(l.first(), records ? "Binary errors Code errors Frame errors CRC-4 errors E-bit errors" : mark("c.pdf", 1, 1));
            QCOMPARE(l.count("Channel A") + l.count("Channel B") * 10, records ? 11 : 0);
            QCOMPARE(l.last(), mark("c.pdf", page, pages));
        }
        if (records == 0)
            QCOMPARE(pdf_pages(path("c_table.pdf")), QList<QStringList>{{mark("c.pdf", 1, 1)}});
    }

    // Files in the way. A companion that cannot be written (a directory, even as root) is reported by
    // name, and the next report runs. Existing files: one question naming them all; "No" leaves them.
    void files_in_the_way()
    {
        fill_records(3);
        QVERIFY(QDir(tmp.path()).mkdir("p_table.pdf") && QDir(tmp.path()).mkdir("q_chart.pdf"));
        report(path("p.pdf"), true, true, true, true);
        QCOMPARE(pdf_pages(path("p_chart.pdf")).size(), 1);
        report(path("q.pdf"), false, false, false, true);
        const QString failed = "The report could not be written to:\n";
        QCOMPARE(msgs, (Messages{{QMessageBox::Warning, failed + path("p_table.pdf")},
                                 {QMessageBox::Warning, failed + path("q_chart.pdf")}}));

        const QStringList files = {path("r.pdf"), path("r_chart.pdf")};
        for (const QString& f : files) {
            QFile file(f);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier") == 7);
        }
        QStringList questions;
        Seam seam(PDFCreator::confirm_replace, [&](const QString& text) { return questions << text, false; });
        report(path("r.pdf"), true, false, false, true);
        for (const QString& f : files)
            QCOMPARE(QFileInfo(f).size(), 7);
        QCOMPARE(questions.size(), 1);
        QCOMPARE(questions[0].count(QDir::toNativeSeparators(tmp.path())), 2); // no table file chosen
    }

    // Records cleared and another report asked for while writing: the files hold the records of the
    // moment OK was pressed, and the second report is refused.
    void progress_dialog_while_writing()
    {
        fill_records(200);
        PDFCreator::progress_delay_ms = 0;
        int seen_max = -1;
        QTimer::singleShot(0, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* pd = qobject_cast<QProgressDialog*>(w); pd && pd->isVisible() && pd->isModal())
                    seen_max = pd->maximum();
            model.records.clear();
            creator->create_pdf();
        });
        report(path("progress.pdf"), true, true, true, true);
        QCOMPARE(seen_max, 200 + 16); // 200 records of the table and 16 chart pages
        QCOMPARE(dialog_runs, 1);
        QCOMPARE(msgs, (Messages{{QMessageBox::Warning, "Report creation proccess is busy now. Please wait until it finish."},
                                 {QMessageBox::Information, FINISHED}}));
        QCOMPARE(pdf_pages(path("progress_table.pdf")).size(), 6); // 200 records
        QCOMPARE(pdf_pages(path("progress_chart.pdf")).size(), 16);
    }

    // Every event of the log, in order, as its window shows them; the column names head every page.
    void event_log_section()
    {
        Device dev; // never scans
        dev.scan_timer->stop();
        EventLog log(&dev);
        creator->set_event_log(&log);
        fill_results();
        model.common.test_running = 1;
        emit dev.dev_conn(); // the test started from the PC while the log listened
        emit dev.cfg_rcv(0);
        dev.common.test_running = 1;
        emit dev.cfg_rcv(0);
        for (int i = 0; i < 120; ++i) { // LOS of A and B rising and clearing in turn
            dev.results[i % 2].alarms ^= ALARM_LOS;
            dev.results[i % 2].elapsed_s = quint32(i * 7);
            emit dev.res_rcv(uchar(i % 2));
        }
        report(path("log.pdf"), true, true, false, false, QString(), true);
        const QList<QStringList> pages = pdf_pages(path("log.pdf"));
        QCOMPARE(pages.size(), 3);
        QCOMPARE(pages[0].value(3), "Test started " + log.test_started().toString("yyyy-MM-dd hh:mm:ss"));
        QStringList got;
        for (int page = 0; page < 3; ++page) {
            const QStringList& l = pages[page];
            const qsizetype names = page ? 0 : l.indexOf("Event log") + 1;
            QCOMPARE(l.value(names), "Date and time Elapsed Channel Event");
            got << l.mid(names + 1, l.size() - names - 2);
        }
        QStringList want;
        for (const LogEvent& e : log.events())
            want << QStringList{EventLog::cell_text(e, EventLog::COL_TIME), EventLog::cell_text(e, EventLog::COL_ELAPSED),
                                EventLog::channel_name(e.channel), e.text}.join(' ').simplified();
        QCOMPARE(got, want);
    }
};

QTEST_MAIN(TstPdfCreator)
#include "tst_pdfcreator.moc"
