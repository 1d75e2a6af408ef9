// The Windows backend run for real (under wine) against our stand-in of the
// vendor's library: the calls in order, each with the outcome it must have.

#include "usb/windows_backend.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace usb;

namespace {

std::unique_ptr<WindowsBackend> be;
Handle h = nullptr;
int failed = 0;

void check(const char* what, const std::string& got, const std::string& want)
{
    if (got != want) {
        ++failed;
        std::printf("FAIL %s: got \"%s\", want \"%s\"\n", what, got.c_str(), want.c_str());
    }
}

std::string str(quint32 st) { return std::to_string(st); }

std::string count()
{
    quint32 n = 99;
    const quint32 st = be->getNumDevices(&n);
    return str(st) + " " + str(n);
}

std::string queue()
{
    quint32 n = 99, qs = 99;
    const quint32 st = be->checkRXQueue(h, &n, &qs);
    return str(st) + " " + str(n) + " " + str(qs);
}

std::string open()
{
    h = nullptr;
    const quint32 st = be->open(0, &h);
    return str(st) + (h ? " open " : " - ") + be->lastOpenError();
}

// A backend over `dll`, and what it says before any open.
std::string load(const char* dll)
{
    be = std::make_unique<WindowsBackend>(dll);
    return std::string(be->isLoaded() ? "loaded" : "not loaded") + "|" + be->lastOpenError();
}

} // namespace

int main()
{
    char buf[256] = {};
    quint32 n = 0;
    check("load", load("SiUSBXp.dll"), "loaded|");
    check("enumerate", count(), "0 1");
    check("product string", str(be->getDeviceString(0, buf, 2)) + " " + buf, "0 KELM stand-in");
    SetEnvironmentVariableA("STANDIN_OPEN", "8");
    check("open failing", open(), "8 - The instrument could not be opened (status 8).");
    SetEnvironmentVariableA("STANDIN_OPEN", nullptr);
    check("open", open(), "0 open ");
    check("queue empty", queue(), "0 0 0");
    check("before write", str(be->beforeWrite(h, 0, 0)), "0");
    quint32 st = be->write(h, "ping", 4, &n);
    check("write", str(st) + " " + str(n), "0 4");
    check("queue holds the reply", queue(), "0 6 2");
    st = be->read(h, buf, 200, &n);
    check("reply", str(st) + " " + std::string(buf, n), "0 <ping>");
    SetEnvironmentVariableA("STANDIN_GONE", "1");
    check("device vanishes", count(), "0 0");
    check("presence check", str(be->getDeviceString(0, buf, 2)), "255");
    check("queue of a vanished device", queue(), "255 0 0");
    check("close", str(be->close(h)), "0");
    // Without the library, or a call of it, the reason is there before the scan's first count.
    check("library missing", load("NoSuchLib.dll"), "not loaded|NoSuchLib.dll could not be loaded (error 126).");
    check("count without library", count(), "12 99");
    check("open without library", open(), "12 - NoSuchLib.dll could not be loaded (error 126).");
    check("ordinal missing", load("SiUSBXpNo12.dll"), "not loaded|SiUSBXpNo12.dll has no function with ordinal 12.");
    check("count with ordinal missing", count(), "12 99");
    std::printf("%d failed\n", failed);
    return failed ? 1 : 0;
}
