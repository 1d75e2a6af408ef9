#include "usb/windows_backend.h"

#include <windows.h>

#include <cstdio>

namespace usb {

namespace {

// The library's calls and their import ordinals.
using GetNumDevicesFn = int(WINAPI*)(DWORD* count);
using GetProductStringFn = int(WINAPI*)(DWORD index, void* buffer, DWORD option);
using OpenFn = int(WINAPI*)(DWORD index, HANDLE* handle);
using CloseFn = int(WINAPI*)(HANDLE handle);
using ReadFn = int(WINAPI*)(HANDLE handle, void* buffer, DWORD size, DWORD* got, OVERLAPPED* o);
using WriteFn = int(WINAPI*)(HANDLE handle, void* data, DWORD size, DWORD* written, OVERLAPPED* o);
using FlushFn = int(WINAPI*)(HANDLE handle, BYTE a, BYTE b);
using CheckRXQueueFn = int(WINAPI*)(HANDLE handle, DWORD* bytes, DWORD* status);

enum Ordinal {
    GET_NUM_DEVICES = 1,
    GET_PRODUCT_STRING = 2,
    OPEN = 3,
    CLOSE = 4,
    READ = 6,
    WRITE = 7,
    FLUSH = 9,
    CHECK_RX_QUEUE = 12
};

const int ordinals[] = {GET_NUM_DEVICES, GET_PRODUCT_STRING, OPEN, CLOSE, READ, WRITE, FLUSH, CHECK_RX_QUEUE};

template <typename Fn>
Fn call(void* const* table, int ordinal)
{
    return reinterpret_cast<Fn>(table[ordinal]);
}

} // namespace

WindowsBackend::WindowsBackend(const char* dllName)
{
    HMODULE m = LoadLibraryA(dllName);
    module_ = reinterpret_cast<void*>(m);
    if (!m) {
        char text[300];
        std::snprintf(text, sizeof text, "%s could not be loaded (error %lu).", dllName,
                      static_cast<unsigned long>(GetLastError()));
        loadError_ = text;
        return;
    }
    for (int ordinal : ordinals) {
        // Through void*: a FARPROC does not convert to another function type directly.
        void* p = reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(ordinal)));
        if (!p) {
            char text[300];
            std::snprintf(text, sizeof text, "%s has no function with ordinal %d.", dllName, ordinal);
            loadError_ = text;
            return;
        }
        fn_[ordinal] = p;
    }
    loaded_ = true;
}

WindowsBackend::~WindowsBackend()
{
    if (module_)
        FreeLibrary(reinterpret_cast<HMODULE>(module_));
}

quint32 WindowsBackend::getNumDevices(quint32* count)
{
    if (!count)
        return INVALID_PARAMETER;
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    DWORD n = 0;
    const int st = call<GetNumDevicesFn>(fn_, GET_NUM_DEVICES)(&n);
    *count = quint32(n);
    return quint32(st);
}

quint32 WindowsBackend::getDeviceString(quint32 index, char* buffer, quint32 option)
{
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    return quint32(call<GetProductStringFn>(fn_, GET_PRODUCT_STRING)(DWORD(index), buffer, DWORD(option)));
}

quint32 WindowsBackend::open(quint32 index, Handle* handle)
{
    if (!handle)
        return INVALID_PARAMETER;
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    HANDLE h = nullptr;
    const int st = call<OpenFn>(fn_, OPEN)(DWORD(index), &h);
    if (st == 0) {
        *handle = h;
        openError_.clear();
    } else {
        char text[200];
        std::snprintf(text, sizeof text, "The instrument could not be opened (status %d).", st);
        openError_ = text;
    }
    return quint32(st);
}

quint32 WindowsBackend::close(Handle handle)
{
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    return quint32(call<CloseFn>(fn_, CLOSE)(static_cast<HANDLE>(handle)));
}

quint32 WindowsBackend::beforeWrite(Handle handle, quint8 a, quint8 b)
{
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    return quint32(call<FlushFn>(fn_, FLUSH)(static_cast<HANDLE>(handle), BYTE(a), BYTE(b)));
}

quint32 WindowsBackend::write(Handle handle, const void* data, quint32 size, quint32* written)
{
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    DWORD n = 0;
    // The library takes a non-const buffer but does not change it.
    const int st = call<WriteFn>(fn_, WRITE)(static_cast<HANDLE>(handle), const_cast<void*>(data), DWORD(size), &n,
                                            nullptr);
    if (written)
        *written = quint32(n);
    return quint32(st);
}

quint32 WindowsBackend::checkRXQueue(Handle handle, quint32* bytes, quint32* queueStatus)
{
    if (!bytes)
        return INVALID_PARAMETER;
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    DWORD n = 0, status = 0;
    const int st = call<CheckRXQueueFn>(fn_, CHECK_RX_QUEUE)(static_cast<HANDLE>(handle), &n, &status);
    *bytes = quint32(n);
    if (queueStatus)
        *queueStatus = quint32(status);
    return quint32(st);
}

quint32 WindowsBackend::read(Handle handle, void* buffer, quint32 size, quint32* got)
{
    if (!loaded_)
        return SYSTEM_ERROR_CODE;
    DWORD n = 0;
    const int st = call<ReadFn>(fn_, READ)(static_cast<HANDLE>(handle), buffer, DWORD(size), &n, nullptr);
    if (got)
        *got = quint32(n);
    return quint32(st);
}

} // namespace usb
