// kelm-remote: remote control of the KELM E1/E10 line testers.

#include "app/mainwidget.h"
#include "resources/resources.h"
#include "simulator/simbackend.h"
#include "usb/backendchoice.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("kelm-remote");
    QApplication::setApplicationVersion(KELM_VERSION);
    QApplication::setWindowIcon(kelm::applicationIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription("Remote control of the KELM E1/E10 line testers over USB.");
    const int exitStatus = usb::chooseBackend(parser, app.arguments(), [](const usb::BackendOptions& o) {
        return SimBackend::createRealTime(o.simulatorSpeed);
    });
    if (exitStatus >= 0)
        return exitStatus;

    auto* w = new MainWidget;
    w->show();
    const int rc = app.exec();
    delete w;
    return rc;
}
