// Feeds arbitrary replies to the device link: the exchange step, the codec and
// the record merge behind it. Input: chunks [flags][length][bytes...], each one
// read from the instrument. Flag bit 0 puts the expected code into the third
// byte and bit 1 repairs the checksum, so that mutations reach the payload
// decoders; bit 2 queues a results poll and bit 3 a configuration request
// (bit 4: of channel B) before the chunk is answered; bit 5 makes it late.

#include "device/device.h"
#include "proto/wire.h"
#include "tests/support/seam.h"
#include "usb/usb.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

struct Script : usb::Backend {
    QByteArray pending; // the next reply, seen by the queue check

    quint32 getNumDevices(quint32* count) override { *count = 1; return usb::SUCCESS; }
    quint32 getDeviceString(quint32, char* b, quint32) override { b[0] = 0; return usb::SUCCESS; }
    quint32 open(quint32, usb::Handle* h) override { *h = this; return usb::SUCCESS; }
    quint32 close(usb::Handle) override { return usb::SUCCESS; }
    quint32 beforeWrite(usb::Handle, quint8, quint8) override { return usb::SUCCESS; }
    quint32 write(usb::Handle, const void*, quint32 n, quint32* w) override { *w = n; return usb::SUCCESS; }
    quint32 checkRXQueue(usb::Handle, quint32* bytes, quint32*) override
    {
        *bytes = quint32(pending.size());
        return usb::SUCCESS;
    }
    quint32 read(usb::Handle, void* b, quint32 n, quint32* got) override
    {
        *got = qMin(n, quint32(pending.size()));
        std::memcpy(b, pending.constData(), *got);
        pending.remove(0, int(*got));
        return usb::SUCCESS;
    }
};

Script* g_backend = nullptr;
qint64 g_now = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    g_backend = new Script;
    usb::setBackend(std::unique_ptr<usb::Backend>(g_backend));
    static Seam box(Device::warning_box, [](const QString&) {});
    static Seam clock(Device::clock_ms, [] { return g_now; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Device dev; // its timers never fire: no event loop runs
    for (size_t pos = 0, steps = 0; pos + 2 <= size && steps < 4096; ++steps) {
        const uint8_t flags = data[pos];
        QByteArray reply(reinterpret_cast<const char*>(data + pos + 2), int(qMin<size_t>(data[pos + 1], size - pos - 2)));
        pos += 2 + size_t(reply.size());
        if (!dev.connected)
            dev.tDevScanTimeout(); // always connects: one instrument, opened at once
        if (flags & 4)
            dev.tDevResTimeout();
        if (flags & 8)
            dev.get_cfg(flags & 16 ? 1 : 0);
        if (!dev.awaiting_reply)
            dev.tDevIOTimeout(); // send
        if (!dev.awaiting_reply)
            continue;
        if ((flags & 1) && reply.size() > wire::CODE_AT)
            reply[wire::CODE_AT] = char(dev.expected_code);
        if ((flags & 2) && reply.size() > 1)
            wire::seal(reply);
        g_backend->pending = reply;
        if (flags & 32)
            g_now += Device::REPLY_TIMEOUT_MS + 1;
        dev.tDevIOTimeout(); // receive, all of it

        // What was received stays consistent: numbered 0, 1, 2, ... without gaps; a closed link is idle.
        for (int i = 0; i < dev.records.size(); ++i)
            if (dev.records.at(i).number != quint32(i))
                std::abort();
        if (!dev.connected && (!dev.cmd_queue.isEmpty() || !dev.rec_queue.isEmpty() || dev.checking_records()))
            std::abort();
    }
    return 0;
}
