// The simulated instrument's command line, as the programs choose their backend, and its G.821
// availability; what it answers is checked through the link, the panels and the setup files.

#include "simulator/availability.h"
#include "simulator/simbackend.h"
#include "usb/backendchoice.h"

#include <QCommandLineParser>
#include <QtTest>

class TstSimulator : public QObject {
    Q_OBJECT

private slots:
    void speedOption_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status"); // -1: the program goes on
        QTest::addColumn<double>("speed");
        QTest::newRow("default") << QStringList{"--simulator"} << -1 << 1.0;
        QTest::newRow("zero") << QStringList{"--simulator", "--simulator-speed", "0"} << 2 << 0.0; // as is no number
    }
    void speedOption()
    {
        QFETCH(QStringList, args);
        QCommandLineParser parser;
        double given = 0.0;
        const auto factory = [&given](const usb::BackendOptions& o) {
            given = o.simulatorSpeed;
            return std::make_unique<SimBackend>();
        };
        QTEST(usb::chooseBackend(parser, QStringList{"kelm"} + args, factory), "status");
        usb::setBackend(nullptr);
        QTEST(given, "speed");
    }

    void availability_data()
    {
        // One character a second: '.' clean, 'e' errored with 3 errored blocks, 'S' severely errored.
        QTest::addColumn<QString>("seconds");
        QTest::addColumn<QList<int>>("counts"); // available, errored, severely errored, BBE, unavailable now
        QTest::newRow("nine SES do not") << "eSSSSSSSSS." << QList<int>{11, 10, 9, 3, 0};
        QTest::newRow("ten non-SES end it, counted back") << "SSSSSSSSSSe........." << QList<int>{10, 1, 0, 3, 0};
        QTest::newRow("an SES among them starts the count again") << "SSSSSSSSSSe........S........."
                                                                  << QList<int>{0, 0, 0, 0, 1};
    }
    void availability()
    {
        QFETCH(QString, seconds);
        Availability a;
        for (QChar c : seconds)
            a.second(c != '.', c == 'S', c == 'e' ? 3 : 0);
        QTEST((QList<int>{int(a.available_s()), int(a.errored_s()), int(a.severely_errored_s()), int(a.bbe()),
                          int(a.unavailable())}), "counts");
    }
};

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"
