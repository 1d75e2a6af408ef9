// Verdicts against the G.826 and G.821 objectives at their boundaries.

#include "proto/formats.h"
#include "proto/verdicts.h"

#include <QtTest>

class TestVerdicts : public QObject {
    Q_OBJECT
private slots:
    // Elapsed times as "dd hh:mm:ss" and chart labels as the time of day, around full hours and days.
    void timeTexts()
    {
        const struct { quint32 t; const char* elapsed; const char* of_day; } rows[] = {
            {3599, "00 00:59:59", "00:59:59"}, {3600, "00 01:00:00", "01:00:00"},
            {86399, "00 23:59:59", "23:59:59"}, {86400 + 7199, "01 01:59:59", "01:59:59"},
            {99 * 86400 + 36000, "99 10:00:00", "10:00:00"}};
        for (const auto& r : rows)
            QCOMPARE(elapsed_text(r.t) + '|' + time_of_day_text(r.t), QString(r.elapsed) + '|' + r.of_day);
    }

    void boundaries_data()
    {
        QTest::addColumn<QList<quint32>>("counts"); // T, AS, ES, SES, BBE
        QTest::addColumn<double>("allocation");
        QTest::addColumn<QString>("expected");      // ESR SESR BBER ES SES, then overall: P pass, F fail, N no data
        auto row = [](const char* name, QList<quint32> counts, double allocation, const char* expected) {
            QTest::newRow(name) << counts << allocation << QString(expected);
        };
        row("no test time", {0, 0, 0, 0, 0}, 100, "NNNNN N");
        row("unavailable time only", {900, 0, 0, 0, 0}, 100, "NNNNN N");
        row("all G.826 exactly at", {10000, 10000, 400, 20, 1996}, 100, "PPPPP P");
        row("ESR just above", {10000, 10000, 401, 20, 1996}, 100, "FPPPP F");
        row("SESR just above", {10000, 10000, 400, 21, 1995}, 100, "PFPPF F");
        row("BBER just above", {10000, 10000, 400, 20, 1997}, 100, "PPFPP F");
        row("G.821 ES exactly at 8 %", {10000, 10000, 800, 0, 0}, 100, "FPPPP F");
        row("G.821 ES just above", {10000, 10000, 801, 0, 0}, 100, "FPPFP F");
        row("half allocation, exactly at", {20000, 10000, 200, 10, 999}, 50, "PPPPP P");
        row("30 %: quotients that do not come out even", {10000, 10000, 120, 6, 599}, 30, "PPPPP P");
        row("30 %: one more errored second", {10000, 10000, 121, 6, 599}, 30, "FPPPP F");
    }

    void boundaries()
    {
        QFETCH(QList<quint32>, counts);
        QFETCH(double, allocation);
        QFETCH(QString, expected);
        ChannelResults r;
        r.elapsed_s = counts[0];
        r.available_s = counts[1];
        r.errored_s = counts[2];
        r.severely_errored_s = counts[3];
        r.bbe = counts[4];
        const ChannelVerdicts v = judge(r, allocation);
        auto letter = [](Verdict x) { return x == Verdict::Pass ? 'P' : x == Verdict::Fail ? 'F' : 'N'; };
        QString got;
        for (const FigureVerdict& f : v.figures)
            got += letter(f.verdict);
        got += QString(" ") + letter(v.overall);
        QCOMPARE(got, expected);
    }
};

QTEST_GUILESS_MAIN(TestVerdicts)
#include "tst_verdicts.moc"
