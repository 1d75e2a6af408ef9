#pragma once
// One instrument on a pretend USB bus that records every frame written and
// answers each request with a well-formed reply of the same code: zero
// payload of the size the decoder expects (the identity reply names model 7).

#include "proto.h"
#include "usb.h"

#include <QByteArray>
#include <QList>

#include <cstring>

class RecordingBackend : public usb::Backend {
public:
    QList<QByteArray> writes;
    QByteArray pending;

    // A complete frame: header, length, code, payload, checksum.
    static QByteArray frame(quint8 code, const QByteArray& payload)
    {
        QByteArray f;
        f.append(char(0xA5));
        f.append(char(payload.size() + 2));
        f.append(char(code));
        f.append(payload);
        f.append(char(inv_checksum(reinterpret_cast<const uchar*>(f.constData()), int(f.size()))));
        return f;
    }

    static QByteArray reply_for(quint8 code)
    {
        if (code == 0x8A)
            return frame(code, QByteArray::fromHex("0701"));
        return frame(code, QByteArray(qMax(0, Proto::reply_payload_size(code)), '\0'));
    }

    quint32 getNumDevices(quint32* count) override { *count = 1; return usb::SUCCESS; }
    quint32 getDeviceString(quint32, char* buffer, quint32) override { buffer[0] = 0; return usb::SUCCESS; }
    quint32 open(quint32, usb::Handle* handle) override { *handle = this; return usb::SUCCESS; }
    quint32 close(usb::Handle) override { return usb::SUCCESS; }
    quint32 beforeWrite(usb::Handle, quint8, quint8) override { return usb::SUCCESS; }
    quint32 write(usb::Handle, const void* data, quint32 size, quint32* written) override
    {
        const QByteArray f(static_cast<const char*>(data), int(size));
        writes.append(f);
        *written = size;
        if (f.size() > 2)
            pending = reply_for(quint8(f.at(2)));
        return usb::SUCCESS;
    }
    quint32 checkRXQueue(usb::Handle, quint32* bytes, quint32* queueStatus) override
    {
        *bytes = quint32(pending.size());
        *queueStatus = 0;
        return usb::SUCCESS;
    }
    quint32 read(usb::Handle, void* buffer, quint32 size, quint32* got) override
    {
        const quint32 n = qMin<quint32>(size, quint32(pending.size()));
        std::memcpy(buffer, pending.constData(), n);
        pending.remove(0, int(n));
        *got = n;
        return usb::SUCCESS;
    }
};
