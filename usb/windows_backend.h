#pragma once
// The instrument on Windows: the vendor's host library SiUSBXp.dll, loaded at
// run time and bound by ordinal. Only usb.h is needed here (no other Qt
// header), so the file can be checked by a cross compiler on its own.

#include "usb/usb.h"

#include <string>

namespace usb {

class WindowsBackend : public Backend {
public:
    // Loads the library; when it is missing or lacks a call, every operation
    // fails with SYSTEM_ERROR_CODE and lastOpenError() says why.
    explicit WindowsBackend(const char* dllName = "SiUSBXp.dll");
    ~WindowsBackend() override;
    WindowsBackend(const WindowsBackend&) = delete;
    WindowsBackend& operator=(const WindowsBackend&) = delete;

    bool isLoaded() const { return loaded_; }

    quint32 getNumDevices(quint32* count) override;
    quint32 getDeviceString(quint32 index, char* buffer, quint32 option) override;
    quint32 open(quint32 index, Handle* handle) override;
    quint32 close(Handle handle) override;
    quint32 beforeWrite(Handle handle, quint8 a, quint8 b) override;
    quint32 write(Handle handle, const void* data, quint32 size, quint32* written) override;
    quint32 checkRXQueue(Handle handle, quint32* bytes, quint32* queueStatus) override;
    quint32 read(Handle handle, void* buffer, quint32 size, quint32* got) override;
    // A library that could not be loaded is reported from the start: the scan
    // fails on the device count and never reaches open().
    std::string lastOpenError() const override { return loaded_ ? openError_ : loadError_; }

private:
    void* module_ = nullptr;
    bool loaded_ = false;
    std::string loadError_;
    std::string openError_;
    // The library's calls, bound by ordinal (stored untyped; typed in the .cpp).
    void* fn_[13] = {};
};

} // namespace usb
