// Entry of the updater: one window, run until it closes.

#include "mainwidget.h"
#include "simbackend.h"
#include "usb.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication* app = new QApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelm-updater"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELM_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Updates a KELM-E1 instrument from a pair of update files."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulator(QStringLiteral("simulator"),
                                       QStringLiteral("Talk to a simulated instrument instead of the USB device."));
    parser.addOption(simulator);
    parser.process(*app);

    if (parser.isSet(simulator))
        usb::setBackend(SimBackend::createRealTime());

    MainWidget* w = new MainWidget;
    w->show();
    const int result = app->exec();
    delete w;
    delete app;
    return result;
}
