#pragma once
// A scripted instrument behind usb::Backend for the updater tests: replies
// come from an UpdatePeer or from a list, and every call can be made to fail.

#include "updatepeer.h"
#include "usb.h"

#include <QByteArray>
#include <QList>

#include <cstring>
#include <functional>

class FakeUsb : public usb::Backend {
public:
    // What the bus shows.
    quint32 devices = 1;
    bool present = true;
    // Unplugged: calls on the open handle fail (true) or succeed with nothing to read (false).
    bool callsFailWhenAbsent = true;
    // Status of each call (0 succeeds).
    quint32 numStatus = 0;
    quint32 openStatus = 0;
    quint32 writeStatus = 0;
    quint32 checkStatus = 0;
    quint32 readStatus = 0;
    // Replies: from the peer if set, otherwise the scripted list in order
    // (one entry per write; an empty entry or an exhausted list means no reply).
    UpdatePeer* peer = nullptr;
    QList<QByteArray> script;
    // Run after each write has been recorded and answered.
    std::function<void(int index, const QByteArray& packet)> onWrite;

    // Record of the traffic.
    QList<QByteArray> written;
    QByteArray queue;
    int numCalls = 0;
    int stringCalls = 0;
    int opens = 0;
    int closes = 0;
    int checks = 0;
    int reads = 0;
    quint32 lastReadSize = 0;
    int closedHandleUse = 0; // calls made with a handle that is not open
    bool isOpen = false;

    static usb::Handle theHandle() { return reinterpret_cast<usb::Handle>(0x5A5A); }

    quint32 getNumDevices(quint32* n) override
    {
        ++numCalls;
        *n = present ? devices : 0;
        return numStatus;
    }
    quint32 getDeviceString(quint32, char* buffer, quint32) override
    {
        ++stringCalls;
        if (!present)
            return usb::DEVICE_NOT_FOUND;
        std::strcpy(buffer, "KELM");
        return usb::SUCCESS;
    }
    quint32 open(quint32, usb::Handle* h) override
    {
        ++opens;
        if (openStatus != 0)
            return openStatus;
        *h = theHandle();
        isOpen = true;
        return usb::SUCCESS;
    }
    quint32 close(usb::Handle h) override
    {
        ++closes;
        if (!isOpen || h != theHandle()) {
            ++closedHandleUse;
            return usb::INVALID_HANDLE;
        }
        isOpen = false;
        return usb::SUCCESS;
    }
    quint32 beforeWrite(usb::Handle, quint8, quint8) override { return usb::SUCCESS; }
    quint32 write(usb::Handle h, const void* data, quint32 size, quint32* n) override
    {
        if (!usable(h))
            return usb::INVALID_HANDLE;
        if (writeStatus != 0)
            return writeStatus;
        const QByteArray p(static_cast<const char*>(data), int(size));
        const int index = written.size();
        written.append(p);
        *n = size;
        if (peer)
            queue += peer->handle(p);
        else if (index < script.size())
            queue += script.at(index);
        if (onWrite)
            onWrite(index, p);
        return usb::SUCCESS;
    }
    quint32 checkRXQueue(usb::Handle h, quint32* bytes, quint32* st) override
    {
        ++checks;
        if (!usable(h))
            return usb::INVALID_HANDLE;
        *bytes = checkStatus == 0 ? quint32(queue.size()) : 0;
        *st = 0;
        return checkStatus;
    }
    quint32 read(usb::Handle h, void* buffer, quint32 size, quint32* got) override
    {
        ++reads;
        lastReadSize = size;
        if (!usable(h))
            return usb::INVALID_HANDLE;
        if (readStatus != 0)
            return readStatus;
        const int n = qMin(int(size), int(queue.size()));
        std::memcpy(buffer, queue.constData(), size_t(n));
        queue.remove(0, n);
        *got = quint32(n);
        return usb::SUCCESS;
    }

private:
    bool usable(usb::Handle h)
    {
        if (!isOpen || h != theHandle()) {
            ++closedHandleUse;
            return false;
        }
        return present || !callsFailWhenAbsent;
    }
};
