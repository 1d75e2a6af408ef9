// Feeds arbitrary instrument replies to the updater's transfer: the reply wait,
// the reply table and the packet builders behind it, with every library call
// able to fail and the presence check able to run inside the wait.
//
// Input: [size1][size2] then one chunk per packet the updater writes:
// [flags][length][bytes...]. Sizes give the two update files (1..256 bytes).
// Flags: bit 0 the write fails, bit 1 the queue check fails, bit 2 the read
// fails, bit 3 nothing is answered (the wait times out), bit 4 the scan tick
// runs inside the wait, bit 5 that tick finds the instrument gone, bit 6 the
// reply shows only on the third queue check, bit 7 the reply is eight times
// longer (the bytes repeated), so more than the 256-byte buffer waits.
// When the chunks run out nothing more is answered. After a transfer ends the
// window connects again and the next transfer takes the remaining chunks.

#include "proto/wire.h"
#include "tests/support/seam.h"
#include "updater/mainwidget.h"
#include "usb/usb.h"

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

class ScriptBackend : public usb::Backend {
public:
    // Per input.
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    MainWidget* window = nullptr;
    QByteArray file1, file2;

    // Per packet written.
    uint8_t flags = 0;
    QByteArray reply;
    int checks = 0;
    bool scanned = false;
    bool presence_fails = false;

    // What the instrument has seen of the files since the last update request.
    int q_seen = 0;
    int r_seen = 0;
    bool is_open = false;
    int writes = 0;

    void reset(const uint8_t* d, size_t n)
    {
        data = d;
        size = n;
        pos = 0;
        flags = 0;
        reply.clear();
        is_open = false;
        writes = 0;
        presence_fails = false;
    }

    quint32 getNumDevices(quint32* count) override
    {
        *count = 1;
        return usb::SUCCESS;
    }
    quint32 getDeviceString(quint32, char* buffer, quint32) override
    {
        if (presence_fails)
            return usb::DEVICE_NOT_FOUND;
        std::strcpy(buffer, "KELM");
        return usb::SUCCESS;
    }
    quint32 open(quint32, usb::Handle* h) override
    {
        check(!is_open, "opened twice");
        is_open = true;
        *h = this;
        return usb::SUCCESS;
    }
    quint32 close(usb::Handle h) override
    {
        check(is_open && h == this, "close of a handle that is not open");
        is_open = false;
        return usb::SUCCESS;
    }
    quint32 beforeWrite(usb::Handle, quint8, quint8) override { return usb::SUCCESS; }

    quint32 write(usb::Handle h, const void* d, quint32 n, quint32* written) override
    {
        check(is_open && h == this, "write on a closed handle");
        check(n >= 1 && n <= 63, "packet size");
        const QByteArray p(static_cast<const char*>(d), int(n));
        checkPacket(p);
        ++writes;
        *written = n;

        // The next chunk decides how this packet is answered.
        reply.clear();
        checks = 0;
        scanned = false;
        flags = 0x08; // chunks used up: no answer
        if (pos + 2 <= size) {
            flags = data[pos];
            size_t len = qMin<size_t>(data[pos + 1], size - pos - 2);
            reply = QByteArray(reinterpret_cast<const char*>(data + pos + 2), int(len));
            pos += 2 + len;
            if ((flags & 0x80) && !reply.isEmpty()) {
                const QByteArray one = reply;
                for (int i = 1; i < 8; ++i)
                    reply += one;
            }
        }
        if (flags & 0x08)
            reply.clear();
        return (flags & 0x01) ? usb::WRITE_ERROR : usb::SUCCESS;
    }

    quint32 checkRXQueue(usb::Handle h, quint32* bytes, quint32* st) override
    {
        check(is_open && h == this, "queue check on a closed handle");
        ++checks;
        *st = 0;
        *bytes = 0;
        if (flags & 0x02)
            return usb::SYSTEM_ERROR_CODE;
        if ((flags & 0x10) && !scanned) {
            // The scan timer fires inside the wait's event pass.
            scanned = true;
            presence_fails = flags & 0x20;
            QTimer::singleShot(0, window, [w = window] { w->tDevScanTimeout(); });
        }
        if ((flags & 0x40) && checks < 3)
            return usb::SUCCESS;
        *bytes = quint32(reply.size());
        return usb::SUCCESS;
    }

    quint32 read(usb::Handle h, void* buffer, quint32 n, quint32* got) override
    {
        check(is_open && h == this, "read on a closed handle");
        check(n <= quint32(MainWidget::REPLY_BUFFER_SIZE), "read larger than the reply buffer");
        *got = 0;
        if (flags & 0x04)
            return usb::DEVICE_IO_FAILED;
        const quint32 k = qMin(n, quint32(reply.size()));
        std::memcpy(buffer, reply.constData(), k);
        reply.remove(0, int(k));
        *got = k;
        return usb::SUCCESS;
    }

private:
    // Only whole, well-formed packets go out, and the data packets carry each
    // file in order from its start, never its last byte.
    void checkPacket(const QByteArray& p)
    {
        const quint8 first = quint8(p.at(0));
        if (p.size() == 1 && first == 0xA3) {
            q_seen = 0;
            r_seen = 0;
            return;
        }
        if (p.size() == 1 && first == 'U')
            return;
        if (p.size() == 2 && first == 'S') {
            check(p.at(1) == 'Q' || p.at(1) == 'R', "section header letter");
            return;
        }
        check(first == 'Q' || first == 'R', "packet kind");
        check(p.size() >= 3, "data packet size");
        const int len = quint8(p.at(1));
        check(len <= MainWidget::MAX_CHUNK && p.size() == len + 3, "data packet count");
        check(quint8(p.at(p.size() - 1)) == inv_checksum(wire::bytes(p), int(p.size()) - 1), "data packet checksum");
        const QByteArray& file = first == 'Q' ? file1 : file2;
        int& seen = first == 'Q' ? q_seen : r_seen;
        check(p.mid(2, len) == file.mid(seen, len), "data packet carries the file in order");
        seen += len;
        check(seen <= file.size() - 1, "last byte of a file never sent");
    }
};

ScriptBackend* g_backend = nullptr;
qint64 g_now = 0;
int g_boxes = 0;

QByteArray fileOf(int size, int salt)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i * 7 + salt);
    return b;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    auto b = std::make_unique<ScriptBackend>();
    g_backend = b.get();
    usb::setBackend(std::move(b));
    static Seam box(MainWidget::messageBox, [](QWidget*, MainWidget::BoxKind, const QString&, const QString&) { ++g_boxes; });
    static Seam pick(MainWidget::openFileName, [](QWidget*, const QString&, const QString&) { return QString(); });
    // Each look at the clock is 700 ms later: a reply not there by the eighth look times out.
    static Seam clock(MainWidget::clockMs, [] { return g_now += 700; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    g_backend->reset(data + 2, size - 2);
    const QByteArray f1 = fileOf(data[0] + 1, 1);
    const QByteArray f2 = fileOf(data[1] + 1, 2);
    g_backend->file1 = f1;
    g_backend->file2 = f2;
    {
        MainWidget w;
        g_backend->window = &w;
        w.tDevScan->stop();
        const QProgressBar* bar = w.findChild<QProgressBar*>(QStringLiteral("pBar"));
        const QPushButton* open1 = w.findChild<QPushButton*>(QStringLiteral("bOpen1"));
        const QPushButton* open2 = w.findChild<QPushButton*>(QStringLiteral("bOpen2"));
        check(bar && open1 && open2, "form widgets");
        w.file1Data = f1;
        w.file2Data = f2;
        for (int transfer = 0; transfer < 64; ++transfer) {
            w.tDevScanTimeout();
            check(w.connected && g_backend->is_open, "connects");
            g_boxes = 0;
            const int before = g_backend->writes;
            w.bUpdateClicked();
            check(!w.updating && !w.connected, "every transfer ends disconnected");
            check(!g_backend->is_open, "handle closed at the end");
            check(g_boxes <= 1, "at most one box per transfer");
            check(bar->value() == 0, "progress reset");
            check(open1->isEnabled() && open2->isEnabled(), "open buttons enabled again");
            check(w.file1Data == f1 && w.file2Data == f2, "files kept");
            // A scan tick still queued from the wait runs, as in the event loop.
            QCoreApplication::processEvents();
            check(!w.updating, "no transfer without a click");
            g_backend->presence_fails = false;
            if (w.connected)
                w.devDisconnect();
            if (g_backend->pos + 2 > g_backend->size || g_backend->writes == before)
                break;
        }
        g_backend->window = nullptr;
    }
    return 0;
}
