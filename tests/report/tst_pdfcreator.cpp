// PDFCreator: writes real PDF files on the offscreen platform and reads them
// back with pdftotext / pdfinfo.

#include "chartwidget.h"
#include "model.h"
#include "pdfcreator.h"
#include "pdftext.h"
#include "reportdialog.h"
#include "ui_reportdialog.h"

#include <QDir>
#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

using pdftext::lines;

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

    struct Msg {
        QMessageBox::Icon icon;
        QString text;
    };
    QList<Msg> msgs;
    std::function<void(const Msg&)> on_message;
    int dialog_runs = 0;
    QString chosen_file;

    // The Russian text when the catalogue is loaded, else the English source.
    QString tx(const char* en, const char* ru) const { return russian ? QString::fromUtf8(ru) : QString(en); }

    QString path(const QString& name) const { return tmp.filePath(name); }

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
        model = Model();
        CommonSettings& c = model.common;
        c.seq_type = 5;
        c.word = 0xA5F0;
        c.alt_word = 0x0001;
        c.rxtx_jointly = 1;
        c.timed_measurement = 1;
        c.meas_days = 1;
        c.meas_hours = 2;
        c.meas_minutes = 30;

        ChannelResults& a = model.results[0];
        a.elapsed_s = 3600;
        a.bit_errors = 100;
        a.code_errors = 7;
        a.frame_errors = 2800;
        a.crc4_errors = 36;
        a.ebit_errors = 0;
        a.jitter = 0.25;
        a.jitter_hf = 1.5;
        a.no_input_count = 3;
        a.ais_count = 4;
        a.lof_count = 5;
        a.available_s = 3000;
        a.errored_s = 30;
        a.severely_errored_s = 3;
        a.bbe = 150;

        // Channel B before its first second: counts but no time.
        ChannelResults& b = model.results[1];
        b.bit_errors = 5;
        b.code_errors = 6;
        b.no_input_count = 9;
        b.jitter = 7.77; // never printed for B
    }

    // Record i: counters[k] = 100·(k+1) + i·(k+1), so record 0 shows 100·(k+1)
    // and every later record the delta k+1.
    void fill_records(int n)
    {
        model.records.clear();
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

    static QString hms(quint32 t)
    {
        t %= 86400;
        return QString("%1:%2:%3")
            .arg(t / 3600, 2, 10, QChar('0'))
            .arg(t % 3600 / 60, 2, 10, QChar('0'))
            .arg(t % 60, 2, 10, QChar('0'));
    }

    QStringList finished() const { return {QCoreApplication::translate("PDFCreator", "Report creation finished.")}; }

    QStringList texts() const
    {
        QStringList out;
        for (const Msg& m : msgs)
            out << m.text;
        return out;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        // KELM_KEEP_PDF=1 keeps the written files for a look.
        if (qEnvironmentVariableIsSet("KELM_KEEP_PDF")) {
            tmp.setAutoRemove(false);
            qInfo("PDF files kept in %s", qPrintable(tmp.path()));
        }
        russian = translator.load("E1_rc_ru", ":/");
        if (russian)
            QCoreApplication::installTranslator(&translator);
        else
            qWarning("Russian catalogue not compiled in: checking the English source texts");
        QVERIFY2(QProcess::execute("pdftotext", {"-v"}) == 0, "pdftotext (poppler-utils) is needed");

        ReportDialog::save_file_name = [this](QWidget*, const QString&, const QString&, const QString&) {
            return chosen_file;
        };
        PDFCreator::exec_dialog = [this](ReportDialog&) {
            ++dialog_runs;
            return int(QDialog::Accepted);
        };
        PDFCreator::message_box = [this](QMessageBox::Icon icon, const QString& text) {
            msgs << Msg{icon, text};
            if (on_message)
                on_message(msgs.last());
        };
    }

    void init()
    {
        model = Model();
        msgs.clear();
        on_message = nullptr;
        dialog_runs = 0;
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

    void catalogue_texts()
    {
        if (!russian)
            QSKIP("Russian catalogue not compiled in");
        QCOMPARE(QCoreApplication::translate("PDFCreator", "Report creation finished."),
                 QString("Создание отчета завершено."));
        QCOMPARE(QCoreApplication::translate("PDFCreator", "Comments"), QString("Комментарии"));
        QCOMPARE(QCoreApplication::translate("ReportDialog", "Save File"), QString("Сохранить файл"));
    }

    void companion_names()
    {
        QCOMPARE(PDFCreator::companion_name("/data/test.pdf", "_table"), QString("/data/test_table.pdf"));
        QCOMPARE(PDFCreator::companion_name("/data/test.pdf", "_chart"), QString("/data/test_chart.pdf"));
        // No four-character extension: still before the last four characters.
        QCOMPARE(PDFCreator::companion_name("/data/report", "_table"), QString("/data/re_tableport"));
        QCOMPARE(PDFCreator::companion_name("/data/r.x", "_chart"), QString("/data_chart/r.x"));
        // Shorter than four characters: in front, nothing doubled.
        QCOMPARE(PDFCreator::companion_name("ab", "_table"), QString("_tableab"));
    }

    void settings_block_and_both_sections()
    {
        fill_results();
        const QString f = path("main.pdf");
        report(f, true, true, false, false);
        QCOMPARE(texts(), finished());
        QVERIFY(!creator->busy());
        QCOMPARE(pdftext::pages(f), 1);
        QVERIFY2(pdftext::page_size(f).contains("(A4)"), qPrintable(pdftext::page_size(f)));
        QVERIFY(pdftext::page_size(f).startsWith("595"));

        const QStringList l = lines(pdftext::text(f, true));
        auto has = [&](const QString& s) {
            if (!l.contains(s))
                qWarning() << "missing line" << s << "in" << l;
            return l.contains(s);
        };
        QVERIFY(has(tx("Settings", "Настройки")));
        QVERIFY(has(tx("Sequence type", "Тип последовательности") + " " +
                    tx("Word + Alt. word", "Слово + Альт. слово")));
        QVERIFY(has(tx("Word #1", "Слово №1") + " 1010010111110000"));
        QVERIFY(has(tx("Word #2", "Слово №2") + " 0000000000000001"));
        QVERIFY(has(tx("Transmit & receive settings", "Настройки приема и передачи")));
        QVERIFY(has(tx("Test time", "Время измерения") + " 01" + tx("d", "д") + " 02" + tx("h", "ч") + " 30" +
                    tx("m", "м")));

        // The sections stand side by side: A's cells, then B's on the same line.
        const QString ch = " " + tx("Channel", "Канал") + " ";
        QVERIFY(has(tx("Errors", "Ошибки") + ch + "A " + tx("Errors", "Ошибки") + ch + "B"));
        QVERIFY(has(tx("Binary", "Бинарные") + " 100 1.36e-08 " + tx("Binary", "Бинарные") + " 5 0.00e+00"));
        QVERIFY(has(tx("Code", "Код") + " 7 9.49e-10 " + tx("Code", "Код") + " 6 0.00e+00"));
        QVERIFY(has(tx("Cycle", "Цикл") + " 2800 2.78e-05 " + tx("Cycle", "Цикл") + " 0 0.00e+00"));
        QVERIFY(has("CRC-4 36 1.00e-05 CRC-4 0 0.00e+00"));
        QVERIFY(has(tx("E-bit", "Е-бит") + " 0 0.00e+00 " + tx("E-bit", "Е-бит") + " 0 0.00e+00"));
        // Only A has a jitter block; B's alarm header stands beside it.
        QVERIFY(has(tx("Jitter", "Джиттер") + ch + "A " + tx("Alarms statistics", "Статистика аварий") + ch + "B"));
        QVERIFY(has(tx("Jitter", "Джиттер") + " 0.25 " + tx("Jitter HF", "Джиттер ВЧ") + " 1.50 " +
                    tx("No entry", "Нет входа") + " 9"));
        QVERIFY(!pdftext::text(f).contains("7.77"));
    }

    void section_a_counts_and_g82x()
    {
        fill_results();
        const QString f = path("a.pdf");
        QVERIFY(creator->write_main_file(f, true, false, QString()));
        const QStringList l = lines(pdftext::text(f, true));
        const QString ch = " " + tx("Channel", "Канал") + " A";
        const QStringList expected = {
            tx("Alarms statistics", "Статистика аварий") + ch,
            tx("No entry", "Нет входа") + " 3",
            tx("SIAS entry", "SIAS вход") + " 4",
            tx("Lost of cycle", "Потеря цикла") + " 5",
            "G821, G826/M2100" + ch,
            "G.821",
            "UAS 600 %UAS 16.67",
            "AS 3000 %AS 83.33",
            "ES 30 %ES 1.00",
            "SES 3 %SES 0.10",
            "DM 0 %DM 0.00",
            "AM 0",
            "G.826",
            "ES 30 ESR 1.00e-02",
            "SES 3 SESR 1.00e-03",
            "BBE 150 BBER 5.00e-02",
            "AS 3000 ASR 8.33e-01",
            "US 600 USR 1.67e-01",
        };
        // In this order, each on its own line, and the section ends there.
        const qsizetype start = l.indexOf(expected.first());
        QVERIFY2(start >= 0, qPrintable(l.join('|')));
        QCOMPARE(l.mid(start), expected);
    }

    void section_b_before_any_time()
    {
        fill_results();
        const QString f = path("b.pdf");
        QVERIFY(creator->write_main_file(f, false, true, QString()));
        const QString text = pdftext::text(f, true);
        const QStringList l = lines(text);
        const QString ch = " " + tx("Channel", "Канал") + " B";
        QVERIFY(!text.contains(tx("Jitter", "Джиттер")));
        // The alarm header follows the empty row after the errors directly.
        const qsizetype e = l.indexOf(tx("E-bit", "Е-бит") + " 0 0.00e+00");
        QVERIFY(e > 0);
        QCOMPARE(l.value(e + 1), tx("Alarms statistics", "Статистика аварий") + ch);
        for (const QString& s : {QString("UAS 0 %UAS 0.00"), QString("AS 0 %AS 0.00"), QString("ES 0 %ES 0.00"),
                                 QString("SES 0 %SES 0.00"), QString("ESR 0.00e+00"), QString("ASR 0.00e+00"),
                                 QString("US 0 USR 0.00e+00")})
            QVERIFY2(text.simplified().contains(s), qPrintable(s));
    }

    void binary_ratio_counts_the_used_timeslots_data()
    {
        QTest::addColumn<quint8>("framing");
        QTest::addColumn<quint8>("cas");
        QTest::addColumn<quint32>("mask");
        QTest::addColumn<QString>("ratio");
        // One second, 1 920 000 errors = 30 timeslots of 64 kbit/s.
        QTest::newRow("unframed ignores the mask") << quint8(0) << quint8(1) << 0u << "9.38e-01";
        QTest::newRow("all slots, CAS: n = 30") << quint8(1) << quint8(1) << 0xFFFFFFFFu << "1.00e+00";
        QTest::newRow("all slots, no CAS: n = 31") << quint8(1) << quint8(0) << 0xFFFFFFFEu << "9.68e-01";
        QTest::newRow("empty mask") << quint8(1) << quint8(0) << 0u << "0.00e+00";
        QTest::newRow("only slot 16 with CAS") << quint8(1) << quint8(1) << (1u << 16) << "0.00e+00";
        QTest::newRow("slot 0 never counts") << quint8(1) << quint8(0) << 0x00000001u << "0.00e+00";
    }

    void binary_ratio_counts_the_used_timeslots()
    {
        QFETCH(quint8, framing);
        QFETCH(quint8, cas);
        QFETCH(quint32, mask);
        QFETCH(QString, ratio);
        model.results[0].elapsed_s = 1;
        model.results[0].bit_errors = 1920000;
        model.rx[0].framing = framing;
        model.rx[0].cas = cas;
        model.rx[0].timeslot_mask = mask;
        const QString f = path("ratio.pdf");
        QVERIFY(creator->write_main_file(f, true, false, QString()));
        QVERIFY(lines(pdftext::text(f, true)).contains(tx("Binary", "Бинарные") + " 1920000 " + ratio));
    }

    void long_test_ratios_stay_exact()
    {
        // 30 days: T · 2048000 overflows 32 bits many times over.
        model.results[0].elapsed_s = 30 * 86400;
        model.results[0].code_errors = 4000000000u;
        model.results[0].available_s = 30 * 86400;
        const QString f = path("long.pdf");
        QVERIFY(creator->write_main_file(f, true, false, QString()));
        const QStringList l = lines(pdftext::text(f, true));
        QVERIFY(l.contains(tx("Code", "Код") + " 4000000000 7.54e-04"));
        QVERIFY(l.contains("UAS 0 %UAS 0.00"));
        QVERIFY(l.contains("AS 2592000 %AS 100.00"));
    }

    void settings_values_data()
    {
        QTest::addColumn<int>("seq");
        QTest::addColumn<QString>("name");
        QTest::newRow("0") << 0 << "PCP 2^7-1";
        QTest::newRow("3") << 3 << "PCP 2^20-1";
        QTest::newRow("4") << 4 << tx("DWORD 32bits", "Дв. слово 32бита");
        QTest::newRow("6") << 6 << tx("Octet 55", "Октет 55");
        QTest::newRow("7") << 7 << "PCP 2^9-1";
        QTest::newRow("8 prints nothing") << 8 << QString();
        QTest::newRow("255 prints nothing") << 255 << QString();
    }

    void settings_values()
    {
        QFETCH(int, seq);
        QFETCH(QString, name);
        model.common.seq_type = quint8(seq);
        model.common.timed_measurement = 0;
        model.common.meas_days = 5;
        const QString f = path("settings.pdf");
        QVERIFY(creator->write_main_file(f, false, false, QString()));
        const QStringList l = lines(pdftext::text(f, true));
        const QString label = tx("Sequence type", "Тип последовательности");
        QVERIFY2(l.contains(name.isEmpty() ? label : label + " " + name), qPrintable(l.join('|')));
        QVERIFY(l.contains(tx("Test time", "Время измерения") + " " + tx("Current", "Текущее")));
    }

    void nothing_ticked_gives_only_the_settings()
    {
        fill_results();
        fill_records(5);
        const QString f = path("only.pdf");
        report(f, false, false, false, false);
        QCOMPARE(texts(), finished());
        const QString text = pdftext::text(f);
        QVERIFY(text.contains(tx("Settings", "Настройки")));
        QVERIFY(!text.contains(tx("Errors", "Ошибки")));
        QVERIFY(!text.contains("G.821"));
        QVERIFY(!QFile::exists(path("only_table.pdf")));
        QVERIFY(!QFile::exists(path("only_chart.pdf")));
    }

    void table_file()
    {
        fill_records(100);
        // A counter that went backwards shows as a large unsigned delta.
        model.records[3].counters[15] = 0;
        const QString f = path("t.pdf");
        report(f, false, false, true, false);
        QCOMPARE(texts(), finished());
        const QString tf = path("t_table.pdf");
        QVERIFY(QFile::exists(tf));
        QVERIFY(!QFile::exists(path("t_chart.pdf")));
        // 39 records under the header on the first page, 40 on the next ones.
        QCOMPARE(pdftext::pages(tf), 3);
        QVERIFY2(pdftext::page_size(tf).startsWith("842 x 595"), qPrintable(pdftext::page_size(tf)));

        const QStringList l = lines(pdftext::text(tf, true));
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
        for (int i = 1; i < 100; ++i) {
            const quint32 t = quint32(90061 + 60 * i);
            QString nocycle_b = "16";
            if (i == 3)
                nocycle_b = QString::number(quint32(0u - (100u * 16 + 2u * 16)));
            if (i == 4)
                nocycle_b = "1664";
            const QString line = QString("%1 %2:%3:%4 2 1 3 4 5 6 7 8 %5 0.10 10 9 11 12 13 14 15 %6")
                                     .arg(t / 86400, 2, 10, QChar('0'))
                                     .arg(t % 86400 / 3600, 2, 10, QChar('0'))
                                     .arg(t % 3600 / 60, 2, 10, QChar('0'))
                                     .arg(t % 60, 2, 10, QChar('0'))
                                     .arg(i / 100.0, 0, 'f', 2)
                                     .arg(nocycle_b);
            QCOMPARE(l.value(i + 1), line);
        }
        QCOMPARE(l.value(4).section(' ', -1), QString("4294965664"));
        // Page 2 starts with a record, not a header.
        QVERIFY(lines(pdftext::text(tf, true, 2, 2)).value(0).startsWith("01 01:40:01"));
    }

    void chart_pages_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("pages");
        QTest::newRow("fewer than a page") << 5 << 1;
        QTest::newRow("exactly a page") << 13 << 1;
        QTest::newRow("one more") << 14 << 2;
        QTest::newRow("30") << 30 << 3;
    }

    void chart_pages()
    {
        QFETCH(int, records);
        QFETCH(int, pages);
        fill_records(records);
        const QString f = path("c.pdf");
        report(f, false, false, false, true);
        QCOMPARE(texts(), finished());
        const QString cf = path("c_chart.pdf");
        QCOMPARE(pdftext::pages(cf), pages);
        QVERIFY2(pdftext::page_size(cf).startsWith("842 x 595"), qPrintable(pdftext::page_size(cf)));
        QVERIFY(!QFile::exists(path("c_table.pdf")));
        // Each page shows its own 13 records, in both charts.
        for (int page = 1; page <= pages; ++page) {
            const QString text = pdftext::text(cf, false, page, page);
            for (int i = 0; i < records; ++i) {
                const int expected = (i / 13 + 1 == page) ? 2 : 0;
                QCOMPARE(text.count(hms(quint32(90061 + 60 * i))), expected);
            }
        }
    }

    void empty_record_list_gives_one_empty_page_each()
    {
        const QString f = path("empty.pdf");
        report(f, true, true, true, true);
        QCOMPARE(texts(), finished());
        for (const QString& name : {path("empty_table.pdf"), path("empty_chart.pdf")}) {
            QCOMPARE(pdftext::pages(name), 1);
            QVERIFY(pdftext::text(name).trimmed().isEmpty());
        }
    }

    void name_without_extension()
    {
        fill_records(3);
        const QString f = path("report");
        report(f, false, false, true, true);
        QCOMPARE(texts(), finished());
        QCOMPARE(pdftext::pages(f), 1);
        QCOMPARE(pdftext::pages(path("re_tableport")), 1);
        QCOMPARE(pdftext::pages(path("re_chartport")), 1);
    }

    void busy_guard()
    {
        fill_records(3);
        int inner = 0;
        on_message = [&](const Msg& m) {
            if (m.icon == QMessageBox::Information && inner++ == 0) {
                // Still busy while the completion box is open.
                QVERIFY(creator->busy());
                creator->create_pdf();
            }
        };
        report(path("busy.pdf"), true, true, true, true);
        QCOMPARE(dialog_runs, 1);
        QCOMPARE(msgs.size(), 2);
        QCOMPARE(msgs[1].icon, QMessageBox::Warning);
        QCOMPARE(msgs[1].text, tx("Report creation proccess is busy now. Please wait until it finish.",
                                  "Процесс создания отчета сейчас занят. Пожалуйста подождите."));
        QVERIFY(!creator->busy());

        // Idle again: the next report runs.
        on_message = nullptr;
        msgs.clear();
        report(path("busy2.pdf"), true, false, false, false);
        QCOMPARE(dialog_runs, 2);
        QCOMPARE(texts(), finished());
    }

    void rejected_dialog_writes_nothing()
    {
        PDFCreator::exec_dialog = [this](ReportDialog&) {
            ++dialog_runs;
            return int(QDialog::Rejected);
        };
        report(path("rejected.pdf"), true, true, true, true);
        PDFCreator::exec_dialog = [this](ReportDialog&) {
            ++dialog_runs;
            return int(QDialog::Accepted);
        };
        QCOMPARE(dialog_runs, 1);
        QVERIFY(msgs.isEmpty());
        QVERIFY(!QFile::exists(path("rejected.pdf")));
        QVERIFY(!creator->busy());
    }

    void unwritable_directory_is_reported()
    {
        fill_records(3);
        // A plain file where the directory should be: nothing can be created
        // below it, even as root.
        const QString blocker = path("blocker");
        {
            QFile b(blocker);
            QVERIFY(b.open(QIODevice::WriteOnly));
        }
        const QString f = blocker + "/r.pdf";
        report(f, true, true, true, true);
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].icon, QMessageBox::Warning);
        QVERIFY(!texts().contains(finished().first()));
        QVERIFY(msgs[0].text.contains(f));
        QVERIFY(msgs[0].text.contains(blocker + "/r_table.pdf"));
        QVERIFY(msgs[0].text.contains(blocker + "/r_chart.pdf"));
        QVERIFY(!creator->busy());

        // One bad file out of three: only that one is named.
        msgs.clear();
        QVERIFY(QDir(tmp.path()).mkdir("p_table.pdf"));
        report(path("p.pdf"), true, true, true, true);
        QCOMPARE(msgs.size(), 1);
        QCOMPARE(msgs[0].icon, QMessageBox::Warning);
        QVERIFY(msgs[0].text.contains(path("p_table.pdf")));
        QVERIFY(!msgs[0].text.contains(path("p.pdf")));
        QVERIFY(!msgs[0].text.contains(path("p_chart.pdf")));
        QCOMPARE(pdftext::pages(path("p.pdf")), 1);
        QCOMPARE(pdftext::pages(path("p_chart.pdf")), 1);
        QVERIFY(!creator->busy());
    }

    void comments_printed_wrapped()
    {
        fill_results();
        QStringList words;
        for (int i = 1; i <= 60; ++i)
            words << QString("слово%1").arg(i, 2, 10, QChar('0'));
        const QString comments = words.join(' ') + "\n\nSecond paragraph.";
        const QString f = path("comments.pdf");
        report(f, true, true, false, false, comments);
        QCOMPARE(texts(), finished());
        QCOMPARE(pdftext::pages(f), 1);

        const QStringList l = lines(pdftext::text(f, true));
        const qsizetype header = l.indexOf(QCoreApplication::translate("PDFCreator", "Comments"));
        QVERIFY2(header > l.indexOf(tx("Settings", "Настройки")), qPrintable(l.join('|')));
        // Wrapped over several lines, nothing lost, in order.
        QStringList printed;
        int comment_lines = 0;
        qsizetype i = header + 1;
        for (; i < l.size() && l[i].startsWith("слово"); ++i, ++comment_lines)
            printed << l[i].split(' ');
        QVERIFY(comment_lines >= 3);
        QCOMPARE(printed, words);
        QCOMPARE(l.value(i), QString("Second paragraph."));
        // The results follow the comments.
        QVERIFY(l.value(i + 1).startsWith(tx("Errors", "Ошибки")));
    }

    void comments_not_wanted_or_empty()
    {
        fill_results();
        const QString f = path("nocomments.pdf");
        report(f, true, false, false, false, "   \n  ");
        const QString comments = QCoreApplication::translate("PDFCreator", "Comments");
        QVERIFY(!pdftext::text(f).contains(comments));
        report(f, true, false, false, false, "do not print");
        QVERIFY(pdftext::text(f).contains("do not print"));
        creator->dialog()->form()->cbComments->setChecked(false);
        creator->create_pdf();
        QVERIFY(!pdftext::text(f).contains("do not print"));
    }

    void long_comments_move_the_sections_together()
    {
        fill_results();
        QStringList paras;
        for (int i = 0; i < 45; ++i)
            paras << QString("note %1").arg(i);
        const QString f = path("longcomments.pdf");
        report(f, true, true, false, false, paras.join('\n'));
        QCOMPARE(pdftext::pages(f), 2);
        const QString page1 = pdftext::text(f, true, 1, 1);
        QVERIFY(page1.contains("note 44"));
        QVERIFY(!page1.contains(tx("Errors", "Ошибки")));
        // Both sections start on page 2, side by side from its top.
        const QStringList l2 = lines(pdftext::text(f, true, 2, 2));
        const QString ch = " " + tx("Channel", "Канал") + " ";
        QCOMPARE(l2.value(0), tx("Errors", "Ошибки") + ch + "A " + tx("Errors", "Ошибки") + ch + "B");
        QCOMPARE(l2.last(), QString("US 600 USR 1.67e-01"));
        // B has no jitter block, so it ends three rows higher.
        QVERIFY(l2.contains("SES 3 SESR 1.00e-03 US 0 USR 0.00e+00"));
    }

    void progress_dialog_while_writing()
    {
        fill_records(200);
        PDFCreator::progress_delay_ms = 0;
        int seen_max = -1;
        bool seen_modal = false;
        int busy_warnings = 0;
        QTimer::singleShot(0, this, [&] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (auto* pd = qobject_cast<QProgressDialog*>(w); pd && pd->isVisible()) {
                    seen_max = pd->maximum();
                    seen_modal = pd->isModal();
                }
            }
            // A second request meanwhile is turned away.
            const int before = int(msgs.size());
            creator->create_pdf();
            busy_warnings = int(msgs.size()) - before;
        });
        report(path("progress.pdf"), true, true, true, true);
        // 200 records of the table and 16 chart pages.
        QCOMPARE(seen_max, 200 + 16);
        QVERIFY(seen_modal);
        QCOMPARE(busy_warnings, 1);
        QCOMPARE(dialog_runs, 1);
        QCOMPARE(msgs.last().text, finished().first());
        QCOMPARE(pdftext::pages(path("progress_chart.pdf")), 16);
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<QProgressDialog*>(w));
    }

    void choices_persist_between_reports()
    {
        fill_records(2);
        report(path("first.pdf"), false, true, false, true, "keep me");
        QString seen_file;
        bool a = true, b = false, t = true, c = false, com = false;
        QString text;
        PDFCreator::exec_dialog = [&](ReportDialog& d) {
            ++dialog_runs;
            seen_file = d.file_name();
            a = d.main_a();
            b = d.main_b();
            t = d.table();
            c = d.chart();
            com = d.comments();
            text = d.comments_text();
            return int(QDialog::Rejected);
        };
        creator->create_pdf();
        PDFCreator::exec_dialog = [this](ReportDialog&) {
            ++dialog_runs;
            return int(QDialog::Accepted);
        };
        QCOMPARE(seen_file, path("first.pdf"));
        QVERIFY(!a && b && !t && c && com);
        QCOMPARE(text, QString("keep me"));
    }
};

QTEST_MAIN(TstPdfCreator)
#include "tst_pdfcreator.moc"
