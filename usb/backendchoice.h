#pragma once
// How a program reaches its instrument, chosen on its command line. Every
// program takes the same options with the same wording; without them the
// platform's own backend is used (libusb on Linux and the like, the vendor's
// host library on Windows), never the silent no-device fallback.

#include "usb/usb.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QCommandLineParser;

namespace usb {

// What the command line asked for.
struct BackendOptions {
    bool simulator = false;
    // The simulated instrument's clock runs this many times wall time.
    double simulatorSpeed = 1.0;
    quint16 vendorId = 0x10c4;
    quint16 productId = 0xea61;
};

// Builds the simulated instrument. The simulator sits above this layer, so
// the program entry hands it in.
using SimulatorFactory = std::function<std::unique_ptr<Backend>(const BackendOptions&)>;

// Fast enough for a day's test in under a minute; beyond it the simulated
// instrument would spend whole seconds catching up at every call.
constexpr double MAX_SIMULATOR_SPEED = 10000.0;

// Adds the shared options (--simulator, --simulator-speed, --usb-id, --help, --version) to
// `parser`, which may already hold the program's own, parses `arguments` and
// installs the chosen backend. --help and --version print and end the program
// with status 0, as Qt does. Returns -1 when the program goes on, or 2 after
// a usage error, whose message is on standard error.
int chooseBackend(QCommandLineParser& parser, const QStringList& arguments, const SimulatorFactory& simulator);

// A message on standard error, as every program writes one: "<program>: <text>".
void printError(const QString& text);

} // namespace usb
