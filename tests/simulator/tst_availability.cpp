// The simulated instrument's G.821 availability against the rules: 10 SES in a
// row start unavailable time, 10 non-SES in a row end it, and either run is
// counted from its first second.

#include "simulator/availability.h"

#include <QtTest>

class TstAvailability : public QObject {
    Q_OBJECT

private slots:
    void runsOfTen_data();
    void runsOfTen();
};

void TstAvailability::runsOfTen_data()
{
    // One character a second: '.' clean, 'e' errored with 3 errored blocks, 'S' severely errored.
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("available");
    QTest::addColumn<int>("errored");
    QTest::addColumn<int>("severely");
    QTest::addColumn<int>("bbe");
    QTest::addColumn<bool>("unavailable");
    QTest::newRow("ten SES start unavailable time at the first") << ".....SSSSSSSSSS" << 5 << 0 << 0 << 0 << true;
    QTest::newRow("nine SES do not") << "eSSSSSSSSS." << 11 << 10 << 9 << 3 << false;
    QTest::newRow("ten non-SES end it, counted back") << "SSSSSSSSSSe........." << 10 << 1 << 0 << 3 << false;
    QTest::newRow("an SES among them starts the count again") << "SSSSSSSSSSe........S........." << 0 << 0 << 0 << 0
                                                               << true;
}

void TstAvailability::runsOfTen()
{
    QFETCH(QString, seconds);
    Availability a;
    for (QChar c : seconds)
        a.second(c != '.', c == 'S', c == 'e' ? 3 : 0);
    QTEST(int(a.available_s()), "available");
    QTEST(int(a.errored_s()), "errored");
    QTEST(int(a.severely_errored_s()), "severely");
    QTEST(int(a.bbe()), "bbe");
    QTEST(a.unavailable(), "unavailable");
}

QTEST_GUILESS_MAIN(TstAvailability)
#include "tst_availability.moc"
