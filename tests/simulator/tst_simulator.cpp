// The simulated instrument's command line: --simulator and its speed, as the
// programs choose their backend. (What it answers is checked through the
// device link, the panels and the setup files, which all run against it.)

#include "simulator/simbackend.h"
#include "usb/backendchoice.h"

#include <QCommandLineParser>
#include <QtTest>

class TstSimulator : public QObject {
    Q_OBJECT

private slots:
    void speedOption_data();
    void speedOption();
};

void TstSimulator::speedOption_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status"); // -1: the program goes on
    QTest::addColumn<double>("speed");
    QTest::newRow("default") << QStringList{"--simulator"} << -1 << 1.0;
    QTest::newRow("fast") << QStringList{"--simulator", "--simulator-speed=60"} << -1 << 60.0;
    QTest::newRow("zero") << QStringList{"--simulator", "--simulator-speed", "0"} << 2 << 0.0;
    QTest::newRow("not a number") << QStringList{"--simulator", "--simulator-speed", "fast"} << 2 << 0.0;
    QTest::newRow("no simulator") << QStringList{"--simulator-speed", "10"} << 2 << 0.0;
}

void TstSimulator::speedOption()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(double, speed);
    QCommandLineParser parser;
    double given = 0.0;
    const auto factory = [&given](const usb::BackendOptions& o) {
        given = o.simulatorSpeed;
        return std::make_unique<SimBackend>();
    };
    QCOMPARE(usb::chooseBackend(parser, QStringList{"kelm"} + args, factory), status);
    usb::setBackend(nullptr);
    QCOMPARE(given, speed);
}

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"
