// kelm-remote: remote control of the KELM E1/E10 line testers.

#include "mainwidget.h"
#include "resources.h"
#include "simbackend.h"
#include "usb.h"
#include "usbid.h"

#ifdef Q_OS_WIN
#include "windows_backend.h"
#elif defined(KELM_HAVE_LIBUSB)
#include "libusb_backend.h"
#endif

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("kelm-remote");
    QApplication::setApplicationVersion(KELM_VERSION);
    QApplication::setWindowIcon(kelm::applicationIcon());

    QCommandLineParser parser;
    parser.setApplicationDescription("Remote control of the KELM E1/E10 line testers over USB.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption simulator("simulator",
                                       "Talk to a simulated KELM-E1+ instead of a USB instrument.");
    const QCommandLineOption usbId("usb-id", "USB vendor and product id of the instrument (default 10c4:ea61).",
                                   "VID:PID");
    parser.addOption(simulator);
    parser.addOption(usbId);
    parser.process(app);

    if (parser.isSet(simulator)) {
        usb::setBackend(SimBackend::createRealTime());
    } else {
#ifdef Q_OS_WIN
        // The vendor's library finds the instrument by itself; --usb-id is accepted but not needed.
        usb::setBackend(std::make_unique<usb::WindowsBackend>());
#elif defined(KELM_HAVE_LIBUSB)
        quint16 vid = 0x10c4, pid = 0xea61;
        if (parser.isSet(usbId) && !usb::parseUsbId(parser.value(usbId), &vid, &pid)) {
            std::fprintf(stderr, "kelm-remote: --usb-id wants VID:PID in hex, e.g. 10c4:ea61\n");
            return 2;
        }
        usb::setBackend(std::make_unique<usb::LibusbBackend>(vid, pid));
#endif
    }

    auto* w = new MainWidget;
    w->show();
    const int rc = app.exec();
    delete w;
    return rc;
}
