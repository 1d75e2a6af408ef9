// Arbitrary instrument replies to the updater's transfers, with library calls
// failing. Input: [size1][size2] (the two files, 1..256 bytes), then one chunk
// per packet written: [flags][length][reply...], no reply bytes: no answer.
// Flags: bit 0 the write fails, 1 the queue check fails, 2 the read fails, 7 the
// reply comes eight times over (more than the reply buffer). Transfers follow
// one another, the window connecting again, until the chunks run out.

#include "proto/wire.h"
#include "tests/support/seam.h"
#include "updater/mainwidget.h"

#include <QApplication>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Script : usb::Backend {
    QByteArray input; // the chunks not used yet
    QByteArray file[2];
    int seen[2] = {}; // of each file since the last update request
    uint8_t flags = 0; // of the packet last written
    QByteArray reply; // what is left of the last one
    bool is_open = false;

    quint32 getNumDevices(quint32* count) override { *count = 1; return usb::SUCCESS; }
    quint32 getDeviceString(quint32, char*, quint32) override { return usb::SUCCESS; }
    quint32 open(quint32, usb::Handle* h) override
    {
        check(!std::exchange(is_open, true), "opened twice");
        *h = this;
        return usb::SUCCESS;
    }
    quint32 close(usb::Handle) override
    {
        check(std::exchange(is_open, false), "close of a handle that is not open");
        reply.clear();
        return usb::SUCCESS;
    }
    quint32 beforeWrite(usb::Handle, quint8, quint8) override { return usb::SUCCESS; }

    quint32 write(usb::Handle, const void* d, quint32 n, quint32* written) override
    {
        check(is_open && n >= 1 && n <= 63, "write on a closed handle, or of a bad size");
        checkPacket(QByteArray(static_cast<const char*>(d), int(n)));
        check(reply.isEmpty(), "all of a reply read before the next packet");
        *written = n;
        flags = 0;
        if (input.size() >= 2) {
            flags = quint8(input.at(0));
            reply = input.mid(2, quint8(input.at(1)));
            input.remove(0, 2 + reply.size());
            if (flags & 0x80)
                reply = reply.repeated(8);
        }
        return (flags & 0x01) ? usb::WRITE_ERROR : usb::SUCCESS;
    }
    quint32 checkRXQueue(usb::Handle, quint32* bytes, quint32* st) override
    {
        check(is_open, "queue check on a closed handle");
        *st = 0;
        *bytes = quint32(reply.size());
        return (flags & 0x02) ? usb::SYSTEM_ERROR_CODE : usb::SUCCESS;
    }
    quint32 read(usb::Handle, void* buffer, quint32 n, quint32* got) override
    {
        check(is_open && n <= quint32(MainWidget::REPLY_BUFFER_SIZE), "read on a closed handle or past the buffer");
        *got = (flags & 0x04) ? 0 : qMin(n, quint32(reply.size()));
        std::memcpy(buffer, reply.constData(), *got);
        reply.remove(0, int(*got));
        return (flags & 0x04) ? usb::DEVICE_IO_FAILED : usb::SUCCESS;
    }

    // Only whole, well-formed packets go out, and the data packets carry each
    // file in order from its start, never its last byte.
    void checkPacket(const QByteArray& p)
    {
        if (p == "\xA3")
            seen[0] = seen[1] = 0;
        if (p == "\xA3" || p == "U" || p == "SQ" || p == "SR")
            return;
        const int k = p.at(0) == 'R';
        const int len = p.size() >= 3 ? quint8(p.at(1)) : -1;
        check((p.at(0) == 'Q' || k) && len >= 0 && len <= MainWidget::MAX_CHUNK && p.size() == len + 3, "packet form");
        check(quint8(p.back()) == inv_checksum(wire::bytes(p), int(p.size()) - 1), "data packet checksum");
        check(p.mid(2, len) == file[k].mid(seen[k], len), "data packets carry the file in order");
        check((seen[k] += len) <= file[k].size() - 1, "last byte of a file never sent");
    }
};

Script* g_backend = nullptr;
qint64 g_now = 0;
int g_boxes = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    g_backend = new Script;
    usb::setBackend(std::unique_ptr<usb::Backend>(g_backend));
    static Seam box(MainWidget::messageBox, [](QWidget*, MainWidget::BoxKind, const QString&, const QString&) { ++g_boxes; });
    // Each look at the clock is 700 ms later: a reply not there by the eighth look times out.
    static Seam clock(MainWidget::clockMs, [] { return g_now += 700; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    Script& b = *g_backend;
    b.input = QByteArray(reinterpret_cast<const char*>(data) + 2, int(size) - 2);
    for (int k = 0; k < 2; ++k) {
        b.file[k] = QByteArray(data[k] + 1, '\0');
        for (int i = 0; i < b.file[k].size(); ++i)
            b.file[k][i] = char(i * 7 + k + 1);
    }
    MainWidget w;
    w.tDevScan->stop();
    w.file1Data = b.file[0];
    w.file2Data = b.file[1];
    for (int transfer = 0; transfer < 64 && b.input.size() >= 2; ++transfer) {
        w.tDevScanTimeout();
        check(w.connected && b.is_open, "connects");
        g_boxes = 0;
        w.bUpdateClicked();
        check(!w.updating && !w.connected && !b.is_open, "every transfer ends disconnected, its handle closed");
        check(g_boxes <= 1, "at most one box");
    }
    return 0;
}
