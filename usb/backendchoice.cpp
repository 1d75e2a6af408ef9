#include "usb/backendchoice.h"

#include "usb/usbid.h"

#ifdef _WIN32
#include "usb/windows_backend.h"
#else
#include "usb/libusb_backend.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QLocale>

#include <cstdio>

namespace usb {

namespace {

std::unique_ptr<Backend> nativeBackend(const BackendOptions& o)
{
#ifdef _WIN32
    // The vendor's library finds the instrument by itself; the id is not needed.
    Q_UNUSED(o);
    return std::make_unique<WindowsBackend>();
#else
    return std::make_unique<LibusbBackend>(o.vendorId, o.productId);
#endif
}

} // namespace

void printError(const QString& text)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(text));
}

int chooseBackend(QCommandLineParser& parser, const QStringList& arguments, const SimulatorFactory& simulator)
{
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption simulatorOption(QStringLiteral("simulator"),
                                             QStringLiteral("Talk to a simulated KELM-E1+ instead of a USB instrument."));
    const QCommandLineOption usbId(QStringLiteral("usb-id"),
                                   QStringLiteral("USB vendor and product id of the instrument (default 10c4:ea61)."),
                                   QStringLiteral("VID:PID"));
    const QCommandLineOption speed(QStringLiteral("simulator-speed"),
                                   QStringLiteral("Run the simulated instrument's clock N times as fast as wall time."),
                                   QStringLiteral("N"));
    parser.addOption(simulatorOption);
    parser.addOption(speed);
    parser.addOption(usbId);

    if (!parser.parse(arguments)) {
        printError(parser.errorText() + QStringLiteral(" (see --help)"));
        return 2;
    }
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.isSet(version))
        parser.showVersion();

    BackendOptions o;
    o.simulator = parser.isSet(simulatorOption);
    if (parser.isSet(speed)) {
        bool ok = false;
        o.simulatorSpeed = QLocale::c().toDouble(parser.value(speed), &ok);
        if (!ok || !(o.simulatorSpeed > 0.0 && o.simulatorSpeed <= MAX_SIMULATOR_SPEED)) {
            printError(QStringLiteral("--simulator-speed wants a number N, 0 < N <= %1").arg(MAX_SIMULATOR_SPEED));
            return 2;
        }
        if (!o.simulator) {
            // A real instrument keeps its own time; the option would be silently void.
            printError(QStringLiteral("--simulator-speed needs --simulator"));
            return 2;
        }
    }
    if (parser.isSet(usbId) && !parseUsbId(parser.value(usbId), &o.vendorId, &o.productId)) {
        printError(QStringLiteral("--usb-id wants VID:PID in hex, e.g. 10c4:ea61"));
        return 2;
    }

    std::unique_ptr<Backend> b = o.simulator ? simulator(o) : nativeBackend(o);
    // A backend that could not start finds nothing; say why once, up front.
    const std::string why = b->lastOpenError();
    if (!why.empty())
        qWarning().noquote() << QString::fromStdString(why);
    setBackend(std::move(b));
    return -1;
}

} // namespace usb
