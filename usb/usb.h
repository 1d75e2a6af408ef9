#pragma once
// The instrument's USB pipe: the seven operations of the instrument's host
// library and one more (device-string query) used by the updater. Every call
// returns a status; 0 is success. The program picks one backend at start-up.

#include <QtGlobal>

#include <memory>
#include <string>

namespace usb {

enum Status : quint32 {
    SUCCESS = 0,
    INVALID_HANDLE = 1,
    INVALID_PARAMETER = 6,
    INVALID_REQUEST_LENGTH = 7,
    GLOBAL_DATA_ERROR = 11,
    SYSTEM_ERROR_CODE = 12,
    DEVICE_NOT_FOUND = 255,
    // Further failures of the native backends (any non-zero status is a failure).
    WRITE_ERROR = 4,
    DEVICE_IO_FAILED = 8,
    WRITE_TIMED_OUT = 14,
    // The instrument is there but could not be opened: no permission, or it is
    // held by another program. lastOpenError() says which.
    DEVICE_NOT_ACCESSIBLE = 256
};

using Handle = void*;

class Backend {
public:
    virtual ~Backend() = default;

    virtual quint32 getNumDevices(quint32* count) = 0;
    // Device string of device `index` into `buffer` (at least 256 bytes).
    virtual quint32 getDeviceString(quint32 index, char* buffer, quint32 option) = 0;
    virtual quint32 open(quint32 index, Handle* handle) = 0;
    virtual quint32 close(Handle handle) = 0;
    // Called before every write with (handle, 0, 0).
    virtual quint32 beforeWrite(Handle handle, quint8 a, quint8 b) = 0;
    virtual quint32 write(Handle handle, const void* data, quint32 size, quint32* written) = 0;
    // Bytes waiting in the receive queue; never blocks.
    virtual quint32 checkRXQueue(Handle handle, quint32* bytes, quint32* queueStatus) = 0;
    virtual quint32 read(Handle handle, void* buffer, quint32 size, quint32* got) = 0;

    // Why the last failed open() failed, in English, for telling the user;
    // empty after a successful open or when the backend has nothing to add.
    virtual std::string lastOpenError() const { return std::string(); }
};

// The backend in use; set once at start-up (tests may replace it).
Backend* backend();
void setBackend(std::unique_ptr<Backend> b);

} // namespace usb
