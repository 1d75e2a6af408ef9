// Entry of the updater: one window, run until it closes. Given both update
// files it fills them in; with --start it also updates the next instrument
// that connects and exits with the outcome, for updating many in a row.

#include "simulator/simbackend.h"
#include "updater/mainwidget.h"
#include "usb/backendchoice.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[])
{
    QApplication* app = new QApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelm-updater"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELM_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Updates a KELM-E1 instrument from a pair of update files."));
    parser.addPositionalArgument(QStringLiteral("FILE1"), QStringLiteral("The *.kt2 update file."),
                                 QStringLiteral("[FILE1"));
    parser.addPositionalArgument(QStringLiteral("FILE2"), QStringLiteral("The *.kt3 update file."),
                                 QStringLiteral("FILE2]"));
    const QCommandLineOption start(QStringLiteral("start"),
                                   QStringLiteral("Update the next instrument that connects, then exit: status 0 when "
                                                  "the update completed, 1 with the reason on standard error otherwise."));
    parser.addOption(start);
    int result = usb::chooseBackend(parser, app->arguments(), [](const usb::BackendOptions& o) {
        return SimBackend::createRealTime(o.simulatorSpeed);
    });
    const QStringList files = parser.positionalArguments();
    const bool filesGiven = files.size() == 2 || (files.isEmpty() && !parser.isSet(start));
    if (result < 0 && !filesGiven) {
        usb::printError(QStringLiteral("give both update files, FILE1 (*.kt2) and FILE2 (*.kt3), or none"));
        result = 2;
    }
    if (result >= 0) {
        delete app;
        return result;
    }

    MainWidget* w = new MainWidget;
    if (!files.isEmpty()) {
        w->setFiles(files[0], files[1]);
        const bool usable[] = {!w->file1Data.isEmpty(), !w->file2Data.isEmpty()};
        for (int i = 0; i < 2; ++i)
            if (!usable[i])
                usb::printError(files[i] + QStringLiteral(": cannot be read, or is empty"));
        if (parser.isSet(start) && !(usable[0] && usable[1]))
            result = 1;
    }
    if (parser.isSet(start)) {
        // Nobody is there to press OK: what a box would say goes to standard
        // error, and the first finished transfer decides the exit status.
        MainWidget::messageBox = [](QWidget*, MainWidget::BoxKind kind, const QString&, const QString& text) {
            if (kind == MainWidget::BoxKind::Warning) // a critical one ends the transfer, whose reason follows
                usb::printError(text);
        };
        w->startWhenConnected = true;
        w->transferEnded = [app](bool completed, const QString& reason) {
            if (!completed)
                usb::printError(reason);
            app->exit(completed ? 0 : 1);
        };
    }
    if (result < 0) {
        w->show();
        result = app->exec();
    }
    delete w;
    delete app;
    return result;
}
