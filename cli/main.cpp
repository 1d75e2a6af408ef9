// kelm-cli: runs a test on a KELM E1 line tester from the command line, with
// no windows, and ends with a status that says whether it passed.

#include "cli/options.h"
#include "cli/runner.h"
#include "simulator/simbackend.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QTranslator>

#include <csignal>

int main(int argc, char* argv[])
{
    // Painting the report needs a GUI application, but no display: a
    // headless box runs it as it is.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelm-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KELM_VERSION));
    // The link's debug lines are for developers; QT_LOGGING_RULES brings them back.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    // The report and the setup file's messages read as kelm-remote's do.
    QTranslator translator;
    if (translator.load(QStringLiteral("E1_rc_ru"), QStringLiteral(":/")))
        QCoreApplication::installTranslator(&translator);

    cli::Options options;
    const int status = cli::parse(app.arguments(), [](const usb::BackendOptions& o) {
        return SimBackend::createRealTime(o.simulatorSpeed);
    }, &options);
    if (status >= 0)
        return status;

    std::signal(SIGINT, cli::Runner::note_signal);
    std::signal(SIGTERM, cli::Runner::note_signal);
    cli::Runner runner(options);
    runner.start();
    return app.exec();
}
