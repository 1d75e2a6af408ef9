#include "usb/usb.h"

namespace usb {

namespace {

// Before any choice: no instrument is ever found.
class NoDevice : public Backend {
public:
    quint32 getNumDevices(quint32* count) override { *count = 0; return SUCCESS; }
    quint32 getDeviceString(quint32, char*, quint32) override { return DEVICE_NOT_FOUND; }
    quint32 open(quint32, Handle*) override { return DEVICE_NOT_FOUND; }
    quint32 close(Handle) override { return INVALID_HANDLE; }
    quint32 beforeWrite(Handle, quint8, quint8) override { return INVALID_HANDLE; }
    quint32 write(Handle, const void*, quint32, quint32*) override { return INVALID_HANDLE; }
    quint32 checkRXQueue(Handle, quint32*, quint32*) override { return INVALID_HANDLE; }
    quint32 read(Handle, void*, quint32, quint32*) override { return INVALID_HANDLE; }
};

std::unique_ptr<Backend>& current()
{
    static std::unique_ptr<Backend> b(new NoDevice);
    return b;
}

} // namespace

Backend* backend() { return current().get(); }

void setBackend(std::unique_ptr<Backend> b)
{
    current() = b ? std::move(b) : std::unique_ptr<Backend>(new NoDevice);
}

} // namespace usb
