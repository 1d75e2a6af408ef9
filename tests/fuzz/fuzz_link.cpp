// Feeds arbitrary replies to the device link: the exchange step, the codec and
// the record merge behind it. The input is a list of chunks; each chunk is one
// read from the instrument.
//
// Chunk: [flags][length][bytes...]. Flag bit 0 puts the expected code into the
// third byte and bit 1 repairs the checksum, so that mutations get past the
// frame checks and reach the payload decoders; bit 2 queues a results poll and
// bit 3 a configuration request before the chunk is answered.

#include "device/device.h"
#include "proto/wire.h"
#include "tests/support/seam.h"
#include "usb/usb.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

class ScriptBackend : public usb::Backend {
public:
    QByteArray pending;      // the next reply, visible to the queue check
    QByteArray last_written;
    bool open_ok = true;

    quint32 getNumDevices(quint32* count) override { *count = 1; return usb::SUCCESS; }
    quint32 getDeviceString(quint32, char* b, quint32) override { b[0] = 0; return usb::SUCCESS; }
    quint32 open(quint32, usb::Handle* h) override { *h = this; return open_ok ? usb::SUCCESS : usb::DEVICE_NOT_FOUND; }
    quint32 close(usb::Handle) override { return usb::SUCCESS; }
    quint32 beforeWrite(usb::Handle, quint8, quint8) override { return usb::SUCCESS; }
    quint32 write(usb::Handle, const void* d, quint32 n, quint32* w) override
    {
        last_written = QByteArray(static_cast<const char*>(d), int(n));
        *w = n;
        return usb::SUCCESS;
    }
    quint32 checkRXQueue(usb::Handle, quint32* bytes, quint32* st) override
    {
        *bytes = quint32(pending.size());
        *st = 0;
        return usb::SUCCESS;
    }
    quint32 read(usb::Handle, void* b, quint32 n, quint32* got) override
    {
        const quint32 k = qMin(n, quint32(pending.size()));
        memcpy(b, pending.constData(), k);
        pending.remove(0, int(k));
        *got = k;
        return usb::SUCCESS;
    }
};

ScriptBackend* g_backend = nullptr;
qint64 g_now = 0;

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    auto b = std::make_unique<ScriptBackend>();
    g_backend = b.get();
    usb::setBackend(std::move(b));
    static Seam box(Device::warning_box, [](const QString&) {});
    static Seam clock(Device::clock_ms, [] { return g_now; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Device dev;
    dev.scan_timer->stop();
    dev.tDevScanTimeout();
    if (!dev.connected)
        return 0;

    size_t pos = 0;
    int steps = 0;
    while (pos + 2 <= size && steps < 4096) {
        const uint8_t flags = data[pos];
        const size_t len = qMin<size_t>(data[pos + 1], size - pos - 2);
        QByteArray reply(reinterpret_cast<const char*>(data + pos + 2), int(len));
        pos += 2 + len;
        ++steps;

        if (!dev.connected) {
            dev.tDevScanTimeout();
            if (!dev.connected)
                continue;
        }
        if (flags & 4)
            dev.tDevResTimeout();
        if (flags & 8)
            dev.get_cfg(flags & 16 ? 1 : 0);
        if (!dev.awaiting_reply) {
            dev.tDevIOTimeout(); // send
            if (!dev.awaiting_reply)
                continue;
        }
        if ((flags & 1) && reply.size() > wire::CODE_AT)
            reply[wire::CODE_AT] = char(dev.expected_code);
        if ((flags & 2) && reply.size() > 1)
            wire::seal(reply);
        g_backend->pending = reply;
        if (flags & 32)
            g_now += Device::REPLY_TIMEOUT_MS + 1; // a reply too late
        dev.tDevIOTimeout(); // receive
        g_backend->pending.clear();

        // What was received stays consistent: numbered 0, 1, 2, ... without gaps.
        for (int i = 0; i < dev.records.size(); ++i)
            check(dev.records.at(i).number == quint32(i), "record numbering");
        check(dev.cmd_queue.size() < 100000, "command queue bounded");
        check(dev.rec_queue.size() < 200000, "record queue bounded");
        if (!dev.connected)
            check(dev.cmd_queue.isEmpty() && dev.rec_queue.isEmpty() && !dev.checking_records(), "closed link is idle");
    }
    return 0;
}
