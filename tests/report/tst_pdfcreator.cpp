// PDFCreator: writes real PDF files on the offscreen platform and reads them
// back with poppler's pdftotext / pdfinfo.

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
        f->cbComments->setChecked(!comments.isNull());
        f->teComments->setPlainText(comments);
        creator->create_pdf();
    }

    void fill_results()
    {
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
    }

    void section_a_counts_and_g82x()
    {
        fill_results();
        model.allocation_pct = 25; // ESR exactly at its objective, three figures above theirs
        const QString f = path("a.pdf");
        QVERIFY(creator->write_main_file(f, true, false, QString()));
        const QStringList l = lines(pdfText(f));
        const QString ch = " " + tx("Channel", "Канал") + " A";
        const QString pass = tx("Pass", "Норма"), fail = tx("Fail", "Не норма");
        const QStringList expected = {
            tx("Alarms statistics", "Статистика аварий") + ch, tx("No entry", "Нет входа") + " 3",
            tx("SIAS entry", "SIAS вход") + " 4", tx("Lost of cycle", "Потеря цикла") + " 5",
            "G821, G826/M2100" + ch, "G.821", "UAS 600 %UAS 16.67", "AS 3000 %AS 83.33", "ES 30 %ES 1.00",
            "SES 3 %SES 0.10", "DM 0 %DM 0.00", "AM 0", "G.826", "ES 30 ESR 1.00e-02", "SES 3 SESR 1.00e-03",
            "BBE 150 BBER 5.01e-05", "AS 3000 ASR 8.33e-01", "US 600 USR 1.67e-01",
            tx("Verdicts", "Соответствие нормам") + ch, tx("Allocation, %", "Доля норм, %") + " 25.0",
            "G.826 ESR ≤ 1.00e-02 " + pass, "G.826 SESR ≤ 5.00e-04 " + fail, "G.826 BBER ≤ 5.00e-05 " + fail,
            "G.821 %ES ≤ 2.00 " + pass, "G.821 %SES ≤ 0.05 " + fail, tx("Overall", "Итог") + " " + fail,
        };
        // In this order, each on its own line, and the section ends there.
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
        // 39 records under the header on the first page, 40 on the next ones.
        QCOMPARE(pages(tf), 3);
        const QStringList l = lines(pdfText(tf));
        const QString header =
            tx("Time Bin Code Cycle CRC E-bit No entry SIAS No cycle Jitter Jitter HF Bin Code Cycle CRC E-bit "
               "No entry SIAS No cycle",
               "Время Бин Код Цикл CRC Е-бит Нет входа СИАС Нет цикла Джиттер Джиттер ВЧ Бин Код Цикл CRC Е-бит "
               "Нет входа СИАС Нет цикла");
        QCOMPARE(l.count(header), 1);
        QCOMPARE(l.value(0), header);
        QCOMPARE(l.size(), 101);
        QCOMPARE(l.value(1), QString("01 01:01:01 200 100 300 400 500 600 700 800 0.00 0.10 "
                                     "1000 900 1100 1200 1300 1400 1500 1600"));
        QCOMPARE(l.value(100), QString("01 02:40:01 2 1 3 4 5 6 7 8 0.99 0.10 10 9 11 12 13 14 15 16"));
        QCOMPARE(l.value(4).section(' ', -1), QString("4294965664"));
        QCOMPARE(l.value(5).section(' ', -1), QString("1664"));
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
        // Each page shows its own 13 records, in both charts.
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdfText(cf, page, page);
            for (int i = 0; i < records; ++i)
                QCOMPARE(text.count(hms(quint32(90061 + 60 * i))), (i / 13 + 1 == page) ? 2 : 0);
        }
    }

    void empty_record_list_gives_one_empty_page_each()
    {
        report(path("empty.pdf"), true, true, true, true);
        QCOMPARE(msgs.value(0).second, finished());
        for (const QString& name : {path("empty_table.pdf"), path("empty_chart.pdf")}) {
            QCOMPARE(pages(name), 1);
            QVERIFY(pdfText(name).trimmed().isEmpty());
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
        // Idle again: the next report runs.
        msgs.clear();
        report(path("after.pdf"), true, false, false, false);
        QCOMPARE(dialog_runs, 2);
        QCOMPARE(msgs.value(0).second, finished());
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
        QVERIFY(l.value(i + 1).startsWith(tx("Errors", "Ошибки")));
    }

    // Comments that leave room for 28 rows move both sections (29 rows for A), whole, to the next page.
    void sections_kept_on_one_page()
    {
        fill_results();
        const QString f = path("pushed.pdf");
        QVERIFY(creator->write_main_file(f, true, true, QString("comment line\n").repeated(23)));
        QCOMPARE(pages(f), 2);
        QVERIFY(!pdfText(f, 1, 1).contains(tx("Errors", "Ошибки")));
        QVERIFY(lines(pdfText(f, 2, 2)).join(' ').contains("US 600 USR 1.67e-01"));
    }

    // While the progress dialog lets events through, the list is emptied (a new test): every file
    // still holds the records of the moment OK was pressed.
    void progress_dialog_while_writing()
    {
        fill_records(200);
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
        // 200 records of the table and 16 chart pages.
        QCOMPARE(seen_max, 200 + 16);
        QVERIFY(seen_modal);
        QCOMPARE(msgs.value(0).second, finished());
        QVERIFY(model.records.isEmpty());
        QCOMPARE(lines(pdfText(path("progress_table.pdf"))).size(), 201);
        const QString charts = pdfText(path("progress_chart.pdf"));
        for (int i = 0; i < 200; ++i)
            QCOMPARE(charts.count(hms(quint32(90061 + 60 * i))), 2);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<QProgressDialog*>(w));
    }
};

QTEST_MAIN(TstPdfCreator)
#include "tst_pdfcreator.moc"
