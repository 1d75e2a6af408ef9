// PDFCreator: writes real PDF files on the offscreen platform and reads them
// back with poppler's pdftotext / pdfinfo.

#include "device/device.h"
#include "events/eventlog.h"
#include "proto/model.h"
#include "records/chartwidget.h"
#include "report/pdfcreator.h"
#include "report/reportdialog.h"
#include "ui_reportdialog.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

namespace {

// Text of the file (or of pages first..last), keeping the physical layout.
QString pdfText(const QString& file, int first = 0, int last = 0)
{
    QStringList args{"-layout"};
    if (first > 0)
        args << "-f" << QString::number(first) << "-l" << QString::number(last);
    QProcess p;
    p.start("pdftotext", args << file << "-");
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pages(const QString& file)
{
    QProcess p;
    p.start("pdfinfo", {file});
    p.waitForFinished(60000);
    const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// Non-empty text lines with runs of blanks folded to one.
QStringList lines(const QString& text)
{
    QStringList out;
    for (const QString& l : text.split('\n'))
        if (!l.simplified().isEmpty())
            out << l.simplified();
    return out;
}

QString hms(quint32 t)
{
    return QString("%1:%2:%3").arg(t % 86400 / 3600, 2, 10, QChar('0')).arg(t % 3600 / 60, 2, 10, QChar('0'))
        .arg(t % 60, 2, 10, QChar('0'));
}

} // namespace

class TstPdfCreator : public QObject
{
    Q_OBJECT

    QTemporaryDir tmp;
    QTranslator translator;
    bool russian = false;
    Model model;
    ChartWidget* chart_a = nullptr;
    ChartWidget* chart_b = nullptr;
    PDFCreator* creator = nullptr;
    QList<QPair<QMessageBox::Icon, QString>> msgs;
    std::function<void()> on_message;
    int dialog_runs = 0;
    QString chosen_file;
    QStringList questions;
    bool replace = true;
    bool events_wanted = false;

    // The Russian text when the catalogue is loaded, else the English source.
    QString tx(const char* en, const char* ru) const { return russian ? QString::fromUtf8(ru) : QString(en); }
    QString path(const QString& name) const { return tmp.filePath(name); }
    QString finished() const { return QCoreApplication::translate("PDFCreator", "Report creation finished."); }

    // Runs create_pdf() as if the user accepted the dialog with these choices.
    void report(const QString& file, bool a, bool b, bool table, bool chart, const QString& comments = QString())
    {
        chosen_file = file;
        Ui::ReportDialog* f = creator->dialog()->form();
        f->bFile->click();
        f->cbMainA->setChecked(a);
        f->cbMainB->setChecked(b);
        f->cbTable->setChecked(table);
        f->cbChart->setChecked(chart);
        f->cbEvents->setChecked(events_wanted);
        f->cbComments->setChecked(!comments.isNull());
        f->teComments->setPlainText(comments);
        creator->create_pdf();
    }

    // "page N of M" with the report's name, as the foot of every page reads.
    QString mark(const QString& name, int page, int pages) const
    {
        return name + " " + tx("page %1 of %2", "стр. %1 из %2").arg(page).arg(pages);
    }

    // An instrument that identified itself and sent its configuration.
    void connect_instrument()
    {
        model.identified = true;
        model.device_id = 10;
        model.device_version = 0x2b;
        model.raw_cfg[0] = QByteArray(24, '\0');
    }

    void fill_results()
    {
        connect_instrument();
        CommonSettings& c = model.common;
        c.seq_type = 5; c.word = 0xA5F0; c.alt_word = 0x0001; c.rxtx_jointly = 1;
        c.timed_measurement = 1; c.meas_days = 1; c.meas_hours = 2; c.meas_minutes = 30;
        // Channel A: one unframed hour.
        ChannelResults& a = model.results[0];
        a.elapsed_s = 3600; a.bit_errors = 100; a.code_errors = 7; a.frame_errors = 2800; a.crc4_errors = 36;
        a.jitter = 0.25; a.jitter_hf = 1.5; a.no_input_count = 3; a.ais_count = 4; a.lof_count = 5;
        a.available_s = 3000; a.errored_s = 30; a.severely_errored_s = 3; a.bbe = 150;
        // Channel B before its first second: counts but no time.
        ChannelResults& b = model.results[1];
        b.bit_errors = 5; b.code_errors = 6; b.no_input_count = 9;
        b.jitter = 7.77; // never printed for B
    }

    // Record i: counters[k] = 100·(k+1) + i·(k+1), so record 0 shows 100·(k+1)
    // and every later record the delta k+1.
    void fill_records(int n)
    {
        for (int i = 0; i < n; ++i) {
            TableRecord r;
            r.number = quint32(i);
            r.time_s = quint32(90061 + 60 * i);
            r.jitter = i / 100.0;
            r.jitter_hf = 0.1;
            for (int k = 0; k < 16; ++k)
                r.counters[k] = quint32(100 * (k + 1) + i * (k + 1));
            model.records << r;
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        russian = translator.load("E1_rc_ru", ":/");
        if (russian)
            QCoreApplication::installTranslator(&translator);
        QVERIFY2(QProcess::execute("pdftotext", {"-v"}) == 0, "pdftotext (poppler-utils) is needed");
        ReportDialog::save_file_name = [this](QWidget*, const QString&, const QString&, const QString&) {
            return chosen_file;
        };
        PDFCreator::exec_dialog = [this](ReportDialog&) { return ++dialog_runs, int(QDialog::Accepted); };
        PDFCreator::confirm_replace = [this](const QString& text) { return questions << text, replace; };
        PDFCreator::message_box = [this](QMessageBox::Icon icon, const QString& text) {
            msgs.append({icon, text});
            if (on_message)
                on_message();
        };
    }

    void init()
    {
        model = Model();
        msgs.clear();
        on_message = nullptr;
        dialog_runs = 0;
        questions.clear();
        replace = true;
        events_wanted = false;
        PDFCreator::progress_delay_ms = 700;
        chart_a = new ChartWidget(&model.records, 0);
        chart_b = new ChartWidget(&model.records, 1);
        creator = new PDFCreator;
        creator->set_model(&model);
        creator->set_charts(chart_a, chart_b);
    }

    void cleanup()
    {
        delete creator;
        delete chart_a;
        delete chart_b;
    }

    void settings_block_and_both_sections()
    {
        fill_results();
        const QString f = path("main.pdf");
        report(f, true, true, false, false);
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].second, finished());
        QCOMPARE(pages(f), 1);
        const QStringList l = lines(pdfText(f));
        const QString ch = " " + tx("Channel", "Канал") + " ";
        const QString err = tx("Errors", "Ошибки"), bin = tx("Binary", "Бинарные");
        for (const QString& s : {
                 tx("Sequence type", "Тип последовательности") + " " + tx("Word + Alt. word", "Слово + Альт. слово"),
                 tx("Word #1", "Слово №1") + " 1010010111110000", tx("Word #2", "Слово №2") + " 0000000000000001",
                 tx("Test time", "Время измерения") + " 01" + tx("d", "д") + " 02" + tx("h", "ч") + " 30" + tx("m", "м"),
                 // The sections stand side by side: A's cells, then B's on the same line.
                 err + ch + "A " + err + ch + "B",
                 bin + " 100 1.36e-08 " + bin + " 5 0.00e+00",
                 tx("Code", "Код") + " 7 9.49e-10 " + tx("Code", "Код") + " 6 0.00e+00",
                 tx("Cycle", "Цикл") + " 2800 2.78e-05 " + tx("Cycle", "Цикл") + " 0 0.00e+00",
                 QString("CRC-4 36 1.00e-05 CRC-4 0 0.00e+00"),
                 // Only A has a jitter block; B's alarm header stands beside it.
                 tx("Jitter", "Джиттер") + ch + "A " + tx("Alarms statistics", "Статистика аварий") + ch + "B",
                 tx("Jitter", "Джиттер") + " 0.25 " + tx("Jitter HF", "Джиттер ВЧ") + " 1.50 " +
                     tx("No entry", "Нет входа") + " 9"})
            QVERIFY2(l.contains(s), qPrintable(s + " not in " + l.join('|')));
        // B without any time: its G.821 / G.826 rows are zeros, not a division by zero.
        const QString all = l.join(' ');
        for (const char* s : {"UAS 0 %UAS 0.00", "AS 0 %AS 0.00", "SES 0 %SES 0.00", "ASR 0.00e+00", "US 0 USR 0.00e+00"})
            QVERIFY2(all.contains(s), s);
        QVERIFY(!all.contains("7.77"));
        // The settings' check boxes are pictures 180 px square (0.15 in on paper).
        QProcess images;
        images.start("pdfimages", {"-list", f});
        QVERIFY(images.waitForFinished(60000));
        QStringList sizes;
        for (const QString& row : QString::fromUtf8(images.readAllStandardOutput()).split('\n').mid(2))
            if (const QStringList c = row.simplified().split(' '); c.size() > 4)
                sizes << c[3] + 'x' + c[4];
        QVERIFY2(!sizes.isEmpty() && sizes.count("180x180") == sizes.size(), qPrintable(sizes.join(' ')));
    }

    void section_a_counts_and_g82x()
    {
        fill_results();
        model.allocation_pct = 25; // ESR exactly at its objective, three figures above theirs
        const QString f = path("a.pdf");
        PDFCreator::Contents c;
        c.file = f;
        c.main_b = false;
        QVERIFY(creator->write_main_file(c));
        const QStringList l = lines(pdfText(f));
        const QString ch = " " + tx("Channel", "Канал") + " A";
        const QString pass = tx("Pass", "Норма"), fail = tx("Fail", "Не норма");
        QStringList expected = {
            tx("Alarms statistics", "Статистика аварий") + ch, tx("No entry", "Нет входа") + " 3",
            tx("SIAS entry", "SIAS вход") + " 4", tx("Lost of cycle", "Потеря цикла") + " 5",
            "G821, G826/M2100" + ch, "G.821", "UAS 600 %UAS 16.67", "AS 3000 %AS 83.33", "ES 30 %ES 1.00",
            "SES 3 %SES 0.10", "DM 0 %DM 0.00", "AM 0", "G.826", "ES 30 ESR 1.00e-02", "SES 3 SESR 1.00e-03",
            "BBE 150 BBER 5.01e-05", "AS 3000 ASR 8.33e-01", "US 600 USR 1.67e-01",
            tx("Verdicts", "Соответствие нормам") + ch, tx("Allocation, %", "Доля норм, %") + " 25.0",
            "G.826 ESR ≤ 1.00e-02 " + pass, "G.826 SESR ≤ 5.00e-04 " + fail, "G.826 BBER ≤ 5.00e-05 " + fail,
            "G.821 %ES ≤ 2.00 " + pass, "G.821 %SES ≤ 0.05 " + fail, tx("Overall", "Итог") + " " + fail,
        };
        // In this order, each on its own line, and the section ends there, above the page's mark.
        expected << mark("a.pdf", 1, 1);
        const qsizetype start = l.indexOf(expected.first());
        QVERIFY2(start >= 0, qPrintable(l.join('|')));
        QCOMPARE(l.mid(start), expected);
    }

    void table_file_and_companion_names()
    {
        QCOMPARE(PDFCreator::companion_name("/data/test.pdf", "_chart"), QString("/data/test_chart.pdf"));
        fill_records(100);
        // A counter that went backwards shows as a large unsigned delta.
        model.records[3].counters[15] = 0;
        report(path("t.pdf"), false, false, true, false);
        QCOMPARE(msgs.value(0).second, finished());
        const QString tf = path("t_table.pdf");
        QVERIFY(!QFile::exists(path("t_chart.pdf")));
        // 38 records a page under the two header rows, on every page, and the page's mark below.
        QCOMPARE(pages(tf), 3);
        const QString ch = tx("Channel", "Канал");
        const QString header =
            tx("Time Bin Code Cycle CRC E-bit No entry SIAS No cycle Jitter Jitter HF Bin Code Cycle CRC E-bit "
               "No entry SIAS No cycle",
               "Время Бин Код Цикл CRC Е-бит Нет входа СИАС Нет цикла Джиттер Джиттер ВЧ Бин Код Цикл CRC Е-бит "
               "Нет входа СИАС Нет цикла");
        QStringList l;
        for (int page = 1; page <= 3; ++page) {
            const QStringList p = lines(pdfText(tf, page, page));
            QCOMPARE(p.mid(0, 2), QStringList({ch + " A " + ch + " B", header}));
            QCOMPARE(p.last(), mark("t.pdf", page, 3));
            QCOMPARE(p.size(), 3 + (page < 3 ? 38 : 24));
            l << p.mid(2, p.size() - 3);
        }
        QCOMPARE(l.value(0), QString("01 01:01:01 200 100 300 400 500 600 700 800 0.00 0.10 "
                                     "1000 900 1100 1200 1300 1400 1500 1600"));
        QCOMPARE(l.value(99), QString("01 02:40:01 2 1 3 4 5 6 7 8 0.99 0.10 10 9 11 12 13 14 15 16"));
        QCOMPARE(l.value(3).section(' ', -1), QString("4294965664"));
        QCOMPARE(l.value(4).section(' ', -1), QString("1664"));
    }

    // The companions' suffix goes before the extension: a name without ".pdf" (any case) gets it.
    void name_gets_pdf_extension()
    {
        report(path("noext"), false, false, true, false);
        report(path("up.PDF"), false, false, true, false);
        for (const char* name : {"noext.pdf", "noext_table.pdf", "up.PDF", "up_table.PDF"})
            QVERIFY2(QFile::exists(path(name)), name);
    }

    // The dialog keeps the name: OK again asks once, naming the files to be written, and "No"
    // writes nothing.
    void existing_files_replaced_only_when_confirmed()
    {
        report(path("again.pdf"), true, true, false, true);
        QVERIFY(questions.isEmpty());
        const QStringList files = {path("again.pdf"), path("again_chart.pdf")};
        for (const QString& f : files) { // stand-ins that show whether they were replaced
            QFile file(f);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("earlier") == 7);
        }
        msgs.clear();
        replace = false;
        creator->create_pdf();
        for (const QString& f : files)
            QCOMPARE(QFileInfo(f).size(), 7);
        replace = true;
        creator->create_pdf();
        QCOMPARE(questions.size(), 2);
        QCOMPARE(questions[0].count(QDir::toNativeSeparators(tmp.path())), 2); // no table file chosen
        QCOMPARE(msgs.size(), 1); // from the second run, which replaced both
        for (const QString& f : files)
            QCOMPARE(pages(f), 1);
    }

    void chart_pages_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("pages");
        QTest::newRow("exactly a page") << 13 << 1;
        QTest::newRow("one more") << 14 << 2;
        QTest::newRow("30") << 30 << 3;
    }

    void chart_pages()
    {
        QFETCH(int, records);
        QFETCH(int, pages);
        fill_records(records);
        report(path("c.pdf"), false, false, false, true);
        QCOMPARE(msgs.value(0).second, finished());
        const QString cf = path("c_chart.pdf");
        QCOMPARE(::pages(cf), pages);
        // Each page shows its own 13 records in both charts, each chart its channel, and the legend
        // both share above them.
        const QString ch = tx("Channel", "Канал");
        const QString legend = tx("Binary errors Code errors Frame errors CRC-4 errors E-bit errors",
                                  "Бинарные Кодовые Цикловые CRC-4 E-бит");
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(cf, page, page);
            for (int i = 0; i < records; ++i)
                QCOMPARE(text.count(hms(quint32(90061 + 60 * i))), (i / 13 + 1 == page) ? 2 : 0);
            const QStringList l = lines(text);
            QCOMPARE(l.value(0), legend);
            QCOMPARE(l.count(ch + " A"), 1);
            QCOMPARE(l.count(ch + " B"), 1);
            QCOMPARE(l.last(), mark("c.pdf", page, pages));
        }
    }

    void empty_record_list_gives_one_page_each()
    {
        report(path("empty.pdf"), true, true, true, true);
        QCOMPARE(msgs.value(0).second, finished());
        for (const QString& name : {path("empty_table.pdf"), path("empty_chart.pdf")}) {
            QCOMPARE(pages(name), 1);
            QCOMPARE(lines(pdfText(name)), QStringList{mark("empty.pdf", 1, 1)});
        }
    }

    void busy_guard()
    {
        fill_records(3);
        on_message = [this] {
            if (msgs.size() == 1) {
                // Still busy while the completion box is open.
                QVERIFY(creator->busy());
                creator->create_pdf();
            }
        };
        report(path("busy.pdf"), true, true, true, true);
        QCOMPARE(dialog_runs, 1);
        QCOMPARE(msgs.size(), 2);
        QCOMPARE(msgs[1].first, QMessageBox::Warning);
        QCOMPARE(msgs[1].second, tx("Report creation proccess is busy now. Please wait until it finish.",
                                    "Процесс создания отчета сейчас занят. Пожалуйста подождите."));
        QVERIFY(!creator->busy());
    }

    void unwritable_file_is_reported_by_name()
    {
        fill_records(3);
        // A directory where the table file should be: it cannot be written, even as root.
        QVERIFY(QDir(tmp.path()).mkdir("p_table.pdf"));
        report(path("p.pdf"), true, true, true, true);
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].first, QMessageBox::Warning);
        QVERIFY(!msgs[0].second.contains(finished()));
        QVERIFY(msgs[0].second.contains(path("p_table.pdf")));
        QVERIFY(!msgs[0].second.contains(path("p_chart.pdf")));
        QCOMPARE(pages(path("p_chart.pdf")), 1);
        QVERIFY(!creator->busy());
        // Idle again: the next report runs; a chart file that cannot be written is named too.
        msgs.clear();
        report(path("after.pdf"), true, false, false, false);
        QCOMPARE(dialog_runs, 2);
        QCOMPARE(msgs.value(0).second, finished());
        QVERIFY(QDir(tmp.path()).mkdir("q_chart.pdf"));
        report(path("q.pdf"), false, false, false, true);
        QVERIFY(msgs.value(1).first == QMessageBox::Warning && msgs.value(1).second.contains(path("q_chart.pdf")));
    }

    void comments_printed_wrapped()
    {
        fill_results();
        QStringList words;
        for (int i = 1; i <= 60; ++i)
            words << QString("слово%1").arg(i, 2, 10, QChar('0'));
        const QString f = path("comments.pdf");
        report(f, true, true, false, false, words.join(' ') + "\n\nSecond paragraph.");
        const QStringList l = lines(pdfText(f));
        const qsizetype header = l.indexOf(QCoreApplication::translate("PDFCreator", "Comments"));
        QVERIFY2(header > l.indexOf(tx("Settings", "Настройки")), qPrintable(l.join('|')));
        // Wrapped over several lines, nothing lost, in order, and the results after them.
        QStringList printed;
        qsizetype i = header + 1;
        for (; i < l.size() && l[i].startsWith("слово"); ++i)
            printed << l[i].split(' ');
        QVERIFY(i - header > 3);
        QCOMPARE(printed, words);
        QCOMPARE(l.value(i), QString("Second paragraph."));
        // The sections do not fit below them: the first page ends there.
        QCOMPARE(l.value(i + 1), mark("comments.pdf", 1, 2));
        QVERIFY(l.value(i + 2).startsWith(tx("Errors", "Ошибки")));
    }

    // Comments that leave room for 28 rows move both sections (29 rows for A), whole, to the next page.
    void sections_kept_on_one_page()
    {
        fill_results();
        const QString f = path("pushed.pdf");
        PDFCreator::Contents c;
        c.file = f;
        c.comments = QString("comment line\n").repeated(16);
        QVERIFY(creator->write_main_file(c));
        QCOMPARE(pages(f), 2);
        QVERIFY(!pdfText(f, 1, 1).contains(tx("Errors", "Ошибки")));
        QVERIFY(lines(pdfText(f, 2, 2)).join(' ').contains("US 600 USR 1.67e-01"));
    }

    // While the progress dialog lets events through, the list is emptied (a new test): every file
    // still holds the records of the moment OK was pressed.
    void progress_dialog_while_writing()
    {
        fill_records(200);
        Device dev;
        dev.scan_timer->stop();
        EventLog log(&dev);
        creator->set_event_log(&log);
        for (int i = 0; i < 30; ++i) {
            dev.results[0].alarms ^= ALARM_AIS;
            emit dev.res_rcv(0);
        }
        events_wanted = true;
        PDFCreator::progress_delay_ms = 0;
        int seen_max = -1;
        bool seen_modal = false;
        QTimer::singleShot(0, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* pd = qobject_cast<QProgressDialog*>(w); pd && pd->isVisible()) {
                    seen_max = pd->maximum();
                    seen_modal = pd->isModal();
                }
            }
            model.records.clear();
        });
        report(path("progress.pdf"), true, true, true, true);
        // 200 records of the table, 16 chart pages and 30 events.
        QCOMPARE(seen_max, 200 + 16 + 30);
        QVERIFY(seen_modal);
        QCOMPARE(msgs.value(0).second, finished());
        QVERIFY(model.records.isEmpty());
        QCOMPARE(pages(path("progress_table.pdf")), 6); // 38 records a page, each with 3 more lines
        QCOMPARE(lines(pdfText(path("progress_table.pdf"))).size(), 200 + 6 * 3);
        const QString charts = pdfText(path("progress_chart.pdf"));
        for (int i = 0; i < 200; ++i)
            QCOMPARE(charts.count(hms(quint32(90061 + 60 * i))), 2);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<QProgressDialog*>(w));
    }

    // The block that opens the main file: what the model and the log say, nothing more.
    void header_block_data()
    {
        QTest::addColumn<int>("state"); // 0 never connected, 1 connected, 2 connection lost since
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("seen_starting"); // the log saw the start
        QTest::addColumn<QString>("shown_state");
        QTest::newRow("running, start seen") << 1 << true << true << tx("Running", "Идет");
        QTest::newRow("running, found so") << 1 << true << false << tx("Running", "Идет");
        QTest::newRow("timed test finished") << 1 << false << true << tx("Timed test finished", "Завершено по времени");
        QTest::newRow("stopped before its time") << 1 << false << false << tx("Stopped", "Остановлено");
        QTest::newRow("link lost while running") << 2 << true << true << tx("Unknown", "Неизвестно");
        QTest::newRow("never connected") << 0 << false << false << QString();
    }

    void header_block()
    {
        QFETCH(int, state);
        QFETCH(bool, running);
        QFETCH(bool, seen_starting);
        QFETCH(QString, shown_state);
        Device dev;
        dev.scan_timer->stop();
        EventLog log(&dev);
        creator->set_event_log(&log);
        if (state > 0) {
            fill_results();
            model.identified = state == 1;
            model.common.timed_measurement = 1; // 01d 02h 30m, reached only by the finished test
            const bool timed_out = QTest::currentDataTag() == QByteArray("timed test finished");
            model.results[0].elapsed_s = timed_out ? 95400 : 3600;
            model.common.test_running = running;
            if (seen_starting) { // started from the PC while the log listened
                emit dev.dev_conn();
                emit dev.cfg_rcv(0);
                dev.common.test_running = 1;
                emit dev.cfg_rcv(0);
                QVERIFY(log.test_started().isValid());
            }
        }
        const QString f = path("head.pdf");
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        report(f, true, true, false, false);
        const QDateTime after = QDateTime::currentDateTime();
        const QStringList l = lines(pdfText(f));
        QCOMPARE(l.value(0), tx("Report", "Отчет"));
        const QString made_label = tx("Report made", "Отчет создан");
        QVERIFY(l.value(1).startsWith(made_label + " "));
        const QDateTime made = QDateTime::fromString(l.value(1).mid(made_label.size() + 1), "yyyy-MM-dd hh:mm:ss");
        QVERIFY2(made >= before && made <= after, qPrintable(l.value(1)));

        QStringList want;
        if (state != 1)
            want << tx("Instrument not connected", "Прибор не подключен");
        if (state > 0) {
            const qint64 elapsed = model.results[0].elapsed_s;
            // The log's start when it saw one, else PC time less the test time while the instrument says it runs.
            const QDateTime start = seen_starting ? log.test_started()
                                    : running     ? made.addSecs(-elapsed)
                                                  : QDateTime();
            want << (state == 1 ? tx("Instrument", "Прибор") : tx("Last instrument", "Последний подключенный прибор"))
                        + " KELM-E1+, " + tx("firmware version", "версия ПО") + " 0x2b"
                 << tx("Test started", "Начало измерения") + " "
                        + (start.isValid() ? start.toString("yyyy-MM-dd hh:mm:ss") : tx("Unknown", "Неизвестно"))
                 << tx("Duration", "Длительность") + " " + (elapsed == 3600 ? "00 01:00:00" : "01 02:30:00")
                 << tx("Test state", "Состояние измерения") + " " + shown_state;
        }
        // Settings and results only of an instrument; the page's mark last.
        want << (state > 0 ? tx("Settings", "Настройки") : mark("head.pdf", 1, 1));
        QCOMPARE(l.mid(2, want.size()), want);
        if (state == 0)
            QCOMPARE(l.size(), 2 + want.size());
    }

    // The log's section lists every event of the log, in order, as the log's window shows them;
    // the column names head every page it runs onto, and every page of the file has its mark.
    void event_log_section_data()
    {
        QTest::addColumn<int>("events");
        QTest::addColumn<bool>("chosen");
        QTest::newRow("not chosen") << 5 << false;
        QTest::newRow("empty") << 0 << true;
        QTest::newRow("over two pages") << 120 << true;
    }

    void event_log_section()
    {
        QFETCH(int, events);
        QFETCH(bool, chosen);
        Device dev;
        dev.scan_timer->stop();
        EventLog log(&dev);
        creator->set_event_log(&log);
        fill_results();
        for (int i = 0; i < events; ++i) { // LOS of A and B rising and clearing in turn
            dev.results[i % 2].alarms ^= ALARM_LOS;
            dev.results[i % 2].elapsed_s = quint32(i * 7);
            emit dev.res_rcv(uchar(i % 2));
        }
        QCOMPARE(log.events().size(), events);
        events_wanted = chosen;
        const QString f = path("log.pdf");
        report(f, true, true, false, false);
        const int n = pages(f);
        const QString title = tx("Event log", "Журнал событий");
        const QString names = tx("Date and time Elapsed Channel Event", "Дата и время Время от начала Канал Событие");
        QStringList got;
        bool in_log = false;
        for (int page = 1; page <= n; ++page) {
            QStringList l = lines(pdfText(f, page, page));
            QCOMPARE(l.takeLast(), mark("log.pdf", page, n));
            if (in_log) {
                QCOMPARE(l.value(0), names);
            } else if (l.contains(title)) {
                l = l.mid(l.indexOf(title) + 1);
                in_log = true;
            } else {
                continue;
            }
            got << l;
        }
        QCOMPARE(in_log, chosen);
        if (!chosen)
            return;
        QStringList want;
        if (events == 0)
            want << tx("No events", "Событий нет");
        for (int i = 0; i < events; ++i) {
            if (i == 0 || got.value(want.size()) == names)
                want << names;
            const LogEvent& e = log.events()[i];
            want << QStringList{EventLog::cell_text(e, EventLog::COL_TIME), EventLog::cell_text(e, EventLog::COL_ELAPSED),
                                EventLog::channel_name(e.channel), e.text}.join(' ');
        }
        QCOMPARE(got, want);
        QCOMPARE(n, events > 100 ? 3 : 1);
    }
};

QTEST_MAIN(TstPdfCreator)
#include "tst_pdfcreator.moc"
