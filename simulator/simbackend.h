#pragma once
// A simulated instrument on a simulated USB bus, behind the same calls as the
// real host library. Tests drive its clock by hand and inject faults;
// the programs' demo mode uses the real-time variant, whose clock follows the
// wall clock.

#include "simulator/siminstrument.h"
#include "simulator/updatepeer.h"
#include "usb/usb.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>

#include <functional>
#include <memory>

class SimBackend : public usb::Backend {
public:
    // The kinds of library call, for fault injection.
    enum class Call { Count, Open, Write, CheckRXQueue, Read, BeforeWrite, DeviceString };

    // Driven clock: time moves only by advance().
    SimBackend();
    ~SimBackend() override;
    // The clock follows wall time, `speed` times as fast (caught up at every
    // call); one instrument is present.
    static std::unique_ptr<usb::Backend> createRealTime(double speed = 1.0);

    // usb::Backend
    quint32 getNumDevices(quint32* count) override;
    quint32 getDeviceString(quint32 index, char* buffer, quint32 option) override;
    quint32 open(quint32 index, usb::Handle* handle) override;
    quint32 close(usb::Handle handle) override;
    quint32 beforeWrite(usb::Handle handle, quint8 a, quint8 b) override;
    quint32 write(usb::Handle handle, const void* data, quint32 size, quint32* written) override;
    quint32 checkRXQueue(usb::Handle handle, quint32* bytes, quint32* queueStatus) override;
    quint32 read(usb::Handle handle, void* buffer, quint32 size, quint32* got) override;

    // Clock.
    void advance(qint64 ms);
    qint64 now_ms() const { return now_; }

    // The instrument: configuration, test, results, records.
    SimInstrument& instrument() { return inst_; }
    const SimInstrument& instrument() const { return inst_; }

    // Replies become visible this long after the request was written (default 0).
    void setReplyDelay(qint64 ms) { reply_delay_ = ms; }

    // Frames written in normal mode, in order (for checking what the host sent):
    // the latest MAX_LOG of them; none in the real-time variant.
    static constexpr int MAX_LOG = 100000;
    const QList<QByteArray>& received() const { return received_; }
    void clearReceived() { received_.clear(); }
    // Called with each frame written in normal mode, before it is answered.
    std::function<void(const QByteArray&)> onWrite;

    // Faults. The next `times` calls of `call` fail with `status`.
    void failNext(Call call, quint32 status = usb::SYSTEM_ERROR_CODE, int times = 1);
    // Reply faults apply to the next request with code `onCode` (0: any request).
    void dropReply(quint8 onCode = 0);                          // no reply at all
    void foreignReply(quint8 onCode = 0, quint8 replyCode = 0); // reply carries another code
    void corruptReply(quint8 onCode = 0);                       // checksum byte wrong
    void splitReply(quint8 onCode = 0, int firstPart = 3);      // the rest shows on a later check
    // Instruments on the bus: 1 normally; 2 for the "more than one" case.
    void setDeviceCount(int n) { device_count_ = n; }
    // Cable pulled: calls on the open handle fail and the count is 0 until plug().
    void unplug();
    void plug();
    bool present() const;
    bool isOpen() const { return open_handle_ != 0; }
    int opens() const { return opens_; }

    // Update mode: a write starting with 0xA3 (not a packet frame) hands every
    // later write to the peer. When the peer has answered the end packet, the
    // instrument restarts: once that answer has been read (or 1 s later) it is
    // gone from the bus for 3 s, then back in normal mode with the peer reset.
    UpdatePeer& updatePeer() { return peer_; }
    bool inUpdateMode() const { return update_mode_; }
    bool restarting() const { return restart_at_ >= 0 || absent_until_ >= 0; }
    static constexpr qint64 RESTART_MS = 3000;

private:
    enum class Fault { Drop, Foreign, Corrupt, Split };
    struct ReplyFault {
        Fault kind;
        quint8 onCode;
        int param;
    };
    struct Chunk {
        QByteArray bytes;
        qint64 visible_at;
        int checks_before;   // further queue checks needed before it shows
    };

    struct RealTime {};
    SimBackend(RealTime, double speed);

    void sync();
    bool injected(Call call, quint32* status);
    bool valid(usb::Handle h) const;
    quint32 handleStatus(usb::Handle h) const;
    void handleFrame(const QByteArray& frame);
    void queueReply(const QByteArray& bytes, int split);
    void goAway(qint64 for_ms);
    void flush();

    SimInstrument inst_;
    UpdatePeer peer_;
    qint64 now_ = 0;
    qint64 next_tick_ = -1;
    bool real_time_ = false;
    double speed_ = 1.0;
    QElapsedTimer wall_;

    int device_count_ = 1;
    bool plugged_ = true;
    qint64 absent_until_ = -1;   // restarting after an update
    qint64 restart_at_ = -1;     // update finished; going away at this time at the latest
    quintptr open_handle_ = 0;   // 0: nothing open
    quintptr next_handle_ = 0x100;
    int opens_ = 0;
    bool update_mode_ = false;
    qint64 reply_delay_ = 0;

    QList<Chunk> pending_;
    QByteArray ready_;
    QList<QByteArray> received_;
    QList<ReplyFault> faults_;
    struct CallFault {
        int times = 0;
        quint32 status = 0;
    };
    CallFault call_faults_[7];
};
