// kelm-cli run as a process against the simulated instrument at speed: its
// exit status, its JSON, and its report and CSV files read back.

#include "tests/support/csvreader.h"
#include "proto/setupfile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TstCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    struct Run {
        int status = -1;
        QJsonObject json;
        QString err;
    };

    Run run(const QStringList& args)
    {
        QProcess p;
        p.start(KELM_CLI, args);
        Run r;
        if (!p.waitForFinished(120000))
            return r;
        r.status = p.exitCode();
        r.json = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    QString pdfText(const QString& file)
    {
        QProcess p;
        p.start("pdftotext", {"-layout", file, "-"});
        p.waitForFinished(60000);
        return QString::fromUtf8(p.readAllStandardOutput()).simplified();
    }

private slots:
    // The instrument's own measurement time ends the test at exactly 30 minutes.
    void passingRun()
    {
        const QString prefix = dir.filePath("pass");
        const Run r = run({"--simulator", "--simulator-speed", "600", "--duration", "30m", "--json", "--report",
                           prefix + ".pdf", "--csv", prefix});
        QVERIFY2(r.status == 0, qPrintable(r.err));
        QCOMPARE(r.json["verdict"].toString(), QString("pass"));
        QCOMPARE(r.json["end"].toString(), QString("duration"));
        QCOMPARE(r.json["elapsed_s"].toInt(), 1800);

        // Every record, from 0 to the one the stop closed, and the last holds the final counts.
        const auto records = read(prefix + "_records.csv");
        QCOMPARE(records.size(), 181);
        QCOMPARE(r.json["records"].toInt(), 181);
        QCOMPARE(records.last()["number"], QString("180"));
        const auto results = read(prefix + "_results.csv");
        QCOMPARE(results.size(), 2);
        for (int ch = 0; ch < 2; ++ch) {
            const QJsonObject c = r.json["channels"][ch].toObject();
            const QString bits = QString::number(c["errors"]["bit"]["count"].toInt());
            QCOMPARE(results[ch]["bit_errors"], bits);
            QCOMPARE(records.last()[ch ? "b_bit" : "a_bit"], bits);
            QCOMPARE(results[ch]["elapsed_s"], QString("1800"));
            QCOMPARE(results[ch]["verdict"], QString("pass"));
            QCOMPARE(c["verdicts"]["overall"].toString(), QString("pass"));
        }

        // Both channels' verdict rows in the report, and a table line for each record.
        const QString report = pdfText(prefix + ".pdf");
        QVERIFY2(report.contains("Соответствие нормам Канал B") && report.contains("G.826 ESR ≤ 4.00e-02 Норма"),
                 qPrintable(report));
        QCOMPARE(report.count("Норма"), 12); // five figures and the overall verdict, twice
        QVERIFY(!report.contains("Не норма"));
        QCOMPARE(pdfText(prefix + "_table.pdf").count(QRegularExpression("00 00:\\d\\d:\\d0 ")), 181);
    }

    // Bit errors inserted on channel A at 10^-5 make every second an errored one.
    void failingRun()
    {
        Model m;
        m.common.seq_type = 2;
        m.tx[0].err_mode = 2;
        m.tx[0].err_rate_exp = 5;
        QString error;
        const QString setup = dir.filePath("errors.json");
        QVERIFY2(save_setup_file(setup, setup_of(m), &error), qPrintable(error));
        const Run r = run({"--simulator", "--simulator-speed", "600", "--setup", setup, "--duration", "15m",
                           "--allocation", "80", "--json"});
        QVERIFY2(r.status == 1, qPrintable(r.err));
        const QJsonObject a = r.json["channels"][0].toObject();
        QCOMPARE(a["errored_s"].toInt(), 900);
        QCOMPARE(a["verdicts"]["g826_esr"]["verdict"].toString(), QString("fail"));
        QCOMPARE(a["verdicts"]["g826_esr"]["objective"].toDouble(), 0.032);
        QCOMPARE(a["verdicts"]["overall"].toString(), QString("fail"));
        QCOMPARE(r.json["verdict"].toString(), QString("fail"));
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("duration") << QStringList{"--duration", "90s"} << 2 << "--duration wants minutes";
        QTest::newRow("allocation") << QStringList{"--allocation", "0"} << 2 << "--allocation wants a percentage";
        QTest::newRow("report folder") << QStringList{"--report", "/nonexistent/r.pdf"} << 2 << "--report: cannot write";
        QTest::newRow("argument") << QStringList{"extra"} << 2 << "unexpected argument extra";
        QTest::newRow("setup") << QStringList{"--setup", "/nonexistent.json"} << 2 << "/nonexistent.json";
        QTest::newRow("no instrument") << QStringList{"--usb-id", "ffff:fffe", "--find-timeout-ms", "300"} << 3
                                       << "no instrument found within 0.3 s";
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (status == 2)
            args << "--simulator";
        const Run r = run(args);
        QVERIFY2(r.err.contains("kelm-cli: ") && r.err.contains(message), qPrintable(r.err));
        QCOMPARE(r.status, status);
    }
};

QTEST_MAIN(TstCli)
#include "tst_cli.moc"
