// A stand-in for the vendor's USB host library: the calls the Windows backend
// binds, by ordinal, over one pretend instrument that answers every write with
// the written bytes in angle brackets. StandInSet() switches faults on. What
// is exported, and under which ordinal, is up to the .def file it is linked with.

#include <windows.h>

#include <cstring>
#include <string>

namespace {

const HANDLE THE_HANDLE = reinterpret_cast<HANDLE>(0x4b454c4d);
const int SUCCESS = 0, INVALID_HANDLE = 1, DEVICE_NOT_FOUND = 0xFF;

int devices = 1;   // "devices"
int openFails = 0; // "open": the status SI_Open returns instead of success
bool present = true;
bool opened = false;
std::string rx;

int gate(HANDLE h)
{
    if (h != THE_HANDLE || !opened)
        return INVALID_HANDLE;
    return present ? SUCCESS : DEVICE_NOT_FOUND;
}

} // namespace

extern "C" {

void WINAPI StandInSet(const char* what, int value)
{
    if (!std::strcmp(what, "devices"))
        devices = value;
    else if (!std::strcmp(what, "open"))
        openFails = value;
    else if (!std::strcmp(what, "present"))
        present = value != 0;
}

int WINAPI SI_GetNumDevices(DWORD* count)
{
    *count = present ? DWORD(devices) : 0;
    return SUCCESS;
}

int WINAPI SI_GetProductString(DWORD index, void* buffer, DWORD option)
{
    if (!present || index >= DWORD(devices))
        return DEVICE_NOT_FOUND;
    std::strcpy(static_cast<char*>(buffer), option == 2 ? "KELM stand-in" : "other");
    return SUCCESS;
}

int WINAPI SI_Open(DWORD index, HANDLE* handle)
{
    if (!present || index >= DWORD(devices))
        return DEVICE_NOT_FOUND;
    if (openFails)
        return openFails;
    opened = true;
    rx.clear();
    *handle = THE_HANDLE;
    return SUCCESS;
}

int WINAPI SI_Close(HANDLE h)
{
    const int st = h == THE_HANDLE && opened ? SUCCESS : INVALID_HANDLE;
    opened = false;
    return st;
}

int WINAPI SI_FlushBuffers(HANDLE h, BYTE, BYTE)
{
    return gate(h);
}

int WINAPI SI_Write(HANDLE h, void* data, DWORD size, DWORD* written, OVERLAPPED*)
{
    if (const int st = gate(h))
        return st;
    rx += "<" + std::string(static_cast<const char*>(data), size) + ">";
    *written = size;
    return SUCCESS;
}

int WINAPI SI_CheckRXQueue(HANDLE h, DWORD* bytes, DWORD* status)
{
    if (const int st = gate(h))
        return st;
    *bytes = DWORD(rx.size());
    *status = rx.empty() ? 0 : 2;
    return SUCCESS;
}

int WINAPI SI_Read(HANDLE h, void* buffer, DWORD size, DWORD* got, OVERLAPPED*)
{
    if (const int st = gate(h))
        return st;
    *got = DWORD(rx.copy(static_cast<char*>(buffer), size));
    rx.erase(0, *got);
    return SUCCESS;
}

} // extern "C"
