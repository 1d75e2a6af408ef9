// The Windows backend run for real (under wine) against our stand-in of the
// vendor's library: one table of calls, each with the outcome it must have.

#include "usb/windows_backend.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

using namespace usb;

namespace {

std::unique_ptr<WindowsBackend> be;
Handle h = nullptr;
char buf[256];

void set(const char* what, int value)
{
    using SetFn = void(WINAPI*)(const char*, int);
    reinterpret_cast<SetFn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("SiUSBXp.dll"), "StandInSet")))(
        what, value);
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

std::string read(quint32 size)
{
    quint32 got = 99;
    const quint32 st = be->read(h, buf, size, &got);
    return str(st) + " " + std::string(buf, st ? 0 : got);
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

struct Step {
    const char* what;
    std::function<std::string()> run;
    std::string want;
};

const Step steps[] = {
    {"load", [] { return load("SiUSBXp.dll"); }, "loaded|"},
    {"enumerate", count, "0 1"},
    {"product string", [] { const quint32 st = be->getDeviceString(0, buf, 2); return str(st) + " " + buf; },
     "0 KELM stand-in"},
    {"open failing", [] { set("open", 8); return open(); }, "8 - The instrument could not be opened (status 8)."},
    {"open", [] { set("open", 0); return open(); }, "0 open "},
    {"queue empty", queue, "0 0 0"},
    {"before write", [] { return str(be->beforeWrite(h, 0, 0)); }, "0"},
    {"write", [] { quint32 n = 0; const quint32 st = be->write(h, "ping", 4, &n); return str(st) + " " + str(n); },
     "0 4"},
    {"queue holds the reply", queue, "0 6 2"},
    {"reply, first part", [] { return read(4); }, "0 <pin"},
    {"queue holds the rest", queue, "0 2 2"},
    {"reply, second part", [] { return read(200); }, "0 g>"},
    {"device vanishes", [] { set("present", 0); return count(); }, "0 0"},
    {"presence check", [] { return str(be->getDeviceString(0, buf, 2)); }, "255"},
    {"queue of a vanished device", queue, "255 0 0"},
    {"write to a vanished device", [] { quint32 n = 0; return str(be->write(h, "x", 1, &n)); }, "255"},
    {"close", [] { return str(be->close(h)); }, "0"},
    {"device back", [] { set("present", 1); return count(); }, "0 1"},
    // Without the library, the reason is there before the scan's first count.
    {"library missing", [] { return load("NoSuchLib.dll"); }, "not loaded|NoSuchLib.dll could not be loaded (error 126)."},
    {"count without library", count, "12 99"},
    {"open without library", open, "12 - NoSuchLib.dll could not be loaded (error 126)."},
    {"ordinal missing", [] { return load("SiUSBXpNo12.dll"); }, "not loaded|SiUSBXpNo12.dll has no function with ordinal 12."},
    {"count with ordinal missing", count, "12 99"},
};

} // namespace

int main()
{
    int passed = 0, failed = 0;
    for (const Step& s : steps) {
        const std::string got = s.run();
        if (got == s.want) {
            ++passed;
        } else {
            ++failed;
            std::printf("FAIL %s: got \"%s\", want \"%s\"\n", s.what, got.c_str(), s.want.c_str());
        }
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}
