// A stand-in for the vendor's USB host library over one pretend instrument that
// answers every write with the written bytes in angle brackets; the .def file
// it is linked with says what is exported under which ordinal. Faults come from
// the environment: STANDIN_OPEN, a status for SI_Open to fail with, and
// STANDIN_GONE, set when the instrument is unplugged.

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const HANDLE THE_HANDLE = reinterpret_cast<HANDLE>(0x4b454c4d);
const int SUCCESS = 0, INVALID_HANDLE = 1, DEVICE_NOT_FOUND = 0xFF;
std::string rx;

int setting(const char* name)
{
    char value[16] = "0";
    GetEnvironmentVariableA(name, value, sizeof value);
    return std::atoi(value);
}

int gate(HANDLE h)
{
    return h != THE_HANDLE ? INVALID_HANDLE : setting("STANDIN_GONE") ? DEVICE_NOT_FOUND : SUCCESS;
}

} // namespace

extern "C" {

int WINAPI SI_GetNumDevices(DWORD* count)
{
    *count = setting("STANDIN_GONE") ? 0 : 1;
    return SUCCESS;
}

int WINAPI SI_GetProductString(DWORD, void* buffer, DWORD)
{
    std::strcpy(static_cast<char*>(buffer), "KELM stand-in");
    return SUCCESS;
}

int WINAPI SI_Open(DWORD, HANDLE* handle)
{
    if (const int st = setting("STANDIN_OPEN"))
        return st;
    *handle = THE_HANDLE;
    return SUCCESS;
}

int WINAPI SI_Close(HANDLE h) { return h == THE_HANDLE ? SUCCESS : INVALID_HANDLE; }

int WINAPI SI_FlushBuffers(HANDLE h, BYTE, BYTE) { return gate(h); }

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
    *bytes = DWORD(rx.size());
    *status = rx.empty() ? 0 : 2;
    return gate(h);
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
