#pragma once
// The instrument on Linux (and anywhere libusb-1.0 runs): found by its USB
// vendor and product id, reached through its vendor interface's bulk pipes.
//
// Everything runs in the caller's (GUI) thread. The receive side never blocks:
// one bulk IN transfer is always outstanding and fills a receive buffer; every
// call first lets libusb finish whatever completed, without waiting, so
// checkRXQueue() reports what has arrived and read() takes it out.
//
// Indexes are positions among the attached devices with the chosen id, in
// libusb's enumeration order. Status codes are those of usb.h:
//   open():  DEVICE_NOT_FOUND when there is no such index, DEVICE_NOT_ACCESSIBLE
//            when the device is there but cannot be opened or claimed (see
//            lastOpenError()).
//   after the device has gone: DEVICE_NOT_FOUND from every call on its handle
//            except close(); any other transfer failure: DEVICE_IO_FAILED.

#include "usb/usb.h"

#include <string>

namespace usb {

class LibusbBackend : public Backend {
public:
    explicit LibusbBackend(quint16 vid = 0x10c4, quint16 pid = 0xea61);
    ~LibusbBackend() override;
    LibusbBackend(const LibusbBackend&) = delete;
    LibusbBackend& operator=(const LibusbBackend&) = delete;

    // A write that the device has not taken within this time fails.
    static constexpr unsigned WRITE_TIMEOUT_MS = 1000;
    // Longest single write and read request.
    static constexpr quint32 MAX_TRANSFER = 4096;

    quint16 vendorId() const { return vid_; }
    quint16 productId() const { return pid_; }
    // False when libusb could not be started; every call then fails with
    // GLOBAL_DATA_ERROR.
    bool isReady() const;

    quint32 getNumDevices(quint32* count) override;
    // While a handle opened with this index is open, answers whether that very
    // device is still attached (DEVICE_NOT_FOUND once it has gone). The text:
    // option 3 the vendor id, option 4 the product id (4 hex digits each), any
    // other option "vvvv:pppp bus BBB address AAA".
    quint32 getDeviceString(quint32 index, char* buffer, quint32 option) override;
    quint32 open(quint32 index, Handle* handle) override;
    quint32 close(Handle handle) override;
    // Writes are synchronous, so there is nothing to flush on the way out; a
    // non-zero `b` drops the received bytes not yet read.
    quint32 beforeWrite(Handle handle, quint8 a, quint8 b) override;
    quint32 write(Handle handle, const void* data, quint32 size, quint32* written) override;
    // queueStatus: 0 when nothing waits, 2 when bytes wait.
    quint32 checkRXQueue(Handle handle, quint32* bytes, quint32* queueStatus) override;
    // Takes up to `size` waiting bytes; never waits for more (got may be less).
    quint32 read(Handle handle, void* buffer, quint32 size, quint32* got) override;
    std::string lastOpenError() const override;

    struct Impl;

private:
    quint16 vid_;
    quint16 pid_;
    Impl* d_;
};

} // namespace usb
