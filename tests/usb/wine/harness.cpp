// The Windows backend run for real (under wine) against our stand-in of the
// vendor's library: the calls in order, each with the outcome it must have.

#include "usb/windows_backend.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::unique_ptr<usb::WindowsBackend> be;
usb::Handle h = nullptr;
quint32 n = 99, qs = 99; // counts a call gives back; 99 where it gave none
char text[64] = {};      // the text it gives back
int failed = 0;

// A call's status, the counts and text it gave back, and the backend's open error, against `want`.
void check(const char* what, quint32 st, const std::string& want)
{
    std::string got = std::to_string(st);
    for (quint32 v : {n, qs})
        got += v == 99 ? "" : " " + std::to_string(v);
    for (const std::string& s : {std::string(text), be->lastOpenError()})
        got += s.empty() ? "" : " " + s;
    if (got != want) {
        ++failed;
        std::printf("FAIL %s: got \"%s\", want \"%s\"\n", what, got.c_str(), want.c_str());
    }
    n = qs = 99;
    std::memset(text, 0, sizeof text);
}

// A backend over `dll`: 0 if it loaded, 1 if not, with the reason from the start.
void load(const char* dll, const std::string& want)
{
    be = std::make_unique<usb::WindowsBackend>(dll);
    check(dll, be->isLoaded() ? 0 : 1, want);
}

} // namespace

int main()
{
    load("SiUSBXp.dll", "0");
    check("enumerate", be->getNumDevices(&n), "0 1");
    check("product string", be->getDeviceString(0, text, 2), "0 KELM stand-in");
    SetEnvironmentVariableA("STANDIN_OPEN", "8");
    check("open failing", be->open(0, &h), "8 The instrument could not be opened (status 8).");
    SetEnvironmentVariableA("STANDIN_OPEN", nullptr);
    check("open", be->open(0, &h), "0");
    check("before write", be->beforeWrite(h, 0, 0), "0");
    check("write", be->write(h, "ping", 4, &n), "0 4");
    check("queue holds the reply", be->checkRXQueue(h, &n, &qs), "0 6 2");
    check("reply, first part", be->read(h, text, 3, &n), "0 3 <pi");
    check("reply, the rest", be->read(h, text, sizeof text, &n), "0 3 ng>");
    SetEnvironmentVariableA("STANDIN_GONE", "1");
    check("device vanishes", be->getNumDevices(&n), "0 0");
    check("queue of a vanished device", be->checkRXQueue(h, &n, &qs), "255 0 0");
    check("close", be->close(h), "0");
    // Without the library, or a call of it, the reason is there before the scan's first count.
    load("NoSuchLib.dll", "1 NoSuchLib.dll could not be loaded (error 126).");
    check("count without library", be->getNumDevices(&n), "12 NoSuchLib.dll could not be loaded (error 126).");
    load("SiUSBXpNo12.dll", "1 SiUSBXpNo12.dll has no function with ordinal 12.");
    std::printf("%d failed\n", failed);
    return failed ? 1 : 0;
}
