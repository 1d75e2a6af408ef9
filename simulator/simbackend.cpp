#include "simulator/simbackend.h"

#include "proto/commands.h"
#include "proto/wire.h"

#include <cstring>
#include <limits>

namespace {

constexpr uchar UPDATE_REQUEST = 0xA3;

} // namespace

SimBackend::SimBackend() = default;

SimBackend::SimBackend(RealTime, double speed) : real_time_(true), speed_(speed) { wall_.start(); }

SimBackend::~SimBackend() = default;

std::unique_ptr<usb::Backend> SimBackend::createRealTime(double speed)
{
    return std::unique_ptr<usb::Backend>(new SimBackend(RealTime{}, speed));
}

void SimBackend::sync()
{
    if (real_time_) {
        const qint64 t = qint64(double(wall_.elapsed()) * speed_);
        if (t > now_)
            advance(t - now_);
    }
}

void SimBackend::advance(qint64 ms)
{
    if (ms < 0)
        return;
    const qint64 target = now_ + ms;
    for (;;) {
        if (!inst_.running())
            next_tick_ = -1;
        else if (next_tick_ < 0)
            next_tick_ = now_ + 1000;
        qint64 ev = std::numeric_limits<qint64>::max();
        if (next_tick_ >= 0)
            ev = qMin(ev, next_tick_);
        if (restart_at_ >= 0)
            ev = qMin(ev, restart_at_);
        if (absent_until_ >= 0)
            ev = qMin(ev, absent_until_);
        if (ev > target)
            break;
        now_ = ev;
        if (ev == restart_at_) {
            goAway(RESTART_MS);
        } else if (ev == absent_until_) {
            // Back from the restart, running the measurement firmware again.
            absent_until_ = -1;
            update_mode_ = false;
            peer_.reset();
        } else {
            inst_.tick();
            next_tick_ += 1000;
        }
    }
    now_ = target;
}

void SimBackend::failNext(Call call, quint32 status, int times)
{
    CallFault& f = call_faults_[int(call)];
    f.times = times;
    f.status = status;
}

void SimBackend::dropReply(quint8 onCode) { faults_.append({Fault::Drop, onCode, 0}); }
void SimBackend::foreignReply(quint8 onCode, quint8 replyCode) { faults_.append({Fault::Foreign, onCode, replyCode}); }
void SimBackend::corruptReply(quint8 onCode) { faults_.append({Fault::Corrupt, onCode, 0}); }
void SimBackend::splitReply(quint8 onCode, int firstPart) { faults_.append({Fault::Split, onCode, firstPart}); }

void SimBackend::unplug()
{
    plugged_ = false;
    open_handle_ = 0;
    flush();
}

void SimBackend::plug() { plugged_ = true; }

bool SimBackend::present() const { return plugged_ && absent_until_ < 0; }

bool SimBackend::injected(Call call, quint32* status)
{
    CallFault& f = call_faults_[int(call)];
    if (f.times <= 0)
        return false;
    --f.times;
    *status = f.status;
    return true;
}

bool SimBackend::valid(usb::Handle h) const
{
    return present() && open_handle_ != 0 && reinterpret_cast<quintptr>(h) == open_handle_;
}

quint32 SimBackend::handleStatus(usb::Handle h) const
{
    if (valid(h))
        return usb::SUCCESS;
    return present() ? usb::INVALID_HANDLE : usb::SYSTEM_ERROR_CODE;
}

void SimBackend::flush()
{
    pending_.clear();
    ready_.clear();
}

void SimBackend::goAway(qint64 for_ms)
{
    restart_at_ = -1;
    absent_until_ = now_ + for_ms;
    open_handle_ = 0;
    flush();
}

quint32 SimBackend::getNumDevices(quint32* count)
{
    sync();
    quint32 st = 0;
    if (injected(Call::Count, &st))
        return st;
    *count = present() ? quint32(qMax(device_count_, 0)) : 0;
    return usb::SUCCESS;
}

quint32 SimBackend::getDeviceString(quint32 index, char* buffer, quint32 option)
{
    sync();
    quint32 st = 0;
    if (injected(Call::DeviceString, &st))
        return st;
    if (!present() || index >= quint32(qMax(device_count_, 0)))
        return usb::DEVICE_NOT_FOUND;
    const char* text = "SIM0001";
    switch (option) {
    case 0: text = "SIM0001"; break;
    case 1: text = "KELM-E1+ simulated"; break;
    case 2: text = "sim-usb-0"; break;
    default: text = "0000"; break;
    }
    std::strncpy(buffer, text, 255);
    buffer[255] = '\0';
    return usb::SUCCESS;
}

quint32 SimBackend::open(quint32 index, usb::Handle* handle)
{
    sync();
    quint32 st = 0;
    if (injected(Call::Open, &st))
        return st;
    // Only the first instrument is simulated; an open one cannot be opened twice.
    if (!present() || index != 0 || device_count_ < 1 || open_handle_ != 0)
        return usb::DEVICE_NOT_FOUND;
    flush();
    open_handle_ = next_handle_++;
    ++opens_;
    *handle = reinterpret_cast<usb::Handle>(open_handle_);
    return usb::SUCCESS;
}

quint32 SimBackend::close(usb::Handle handle)
{
    sync();
    if (!valid(handle))
        return usb::INVALID_HANDLE;
    open_handle_ = 0;
    flush();
    return usb::SUCCESS;
}

quint32 SimBackend::beforeWrite(usb::Handle handle, quint8, quint8)
{
    sync();
    quint32 st = 0;
    if (injected(Call::BeforeWrite, &st))
        return st;
    return handleStatus(handle);
}

quint32 SimBackend::write(usb::Handle handle, const void* data, quint32 size, quint32* written)
{
    sync();
    *written = 0;
    quint32 st = 0;
    if (injected(Call::Write, &st))
        return st;
    st = handleStatus(handle);
    if (st != usb::SUCCESS)
        return st;
    *written = size;
    const QByteArray packet(static_cast<const char*>(data), int(size));
    if (!update_mode_ && !packet.isEmpty() && uchar(packet.at(0)) == UPDATE_REQUEST) {
        // The loader takes over from the measurement firmware: a running test ends.
        update_mode_ = true;
        inst_.stopTest();
    }
    if (update_mode_) {
        const QByteArray reply = peer_.handle(packet);
        if (!reply.isEmpty())
            queueReply(reply, 0);
        if (peer_.finished() && restart_at_ < 0 && absent_until_ < 0)
            restart_at_ = now_ + 1000;
        return usb::SUCCESS;
    }
    handleFrame(packet);
    return usb::SUCCESS;
}

void SimBackend::handleFrame(const QByteArray& frame)
{
    // The demo instrument runs for hours: it keeps no log. A driven one keeps the latest frames.
    if (!real_time_) {
        if (received_.size() >= MAX_LOG)
            received_.removeFirst();
        received_.append(frame);
    }
    if (onWrite)
        onWrite(frame);
    // A frame the instrument cannot read is not answered.
    if (!wire::well_formed(frame))
        return;
    const quint8 code = quint8(frame.at(wire::CODE_AT));
    QByteArray payload;
    if (!inst_.handle(code, frame.mid(wire::PAYLOAD_AT, frame.size() - wire::OVERHEAD), &payload))
        return;
    if (inst_.running() && next_tick_ < 0)
        next_tick_ = now_ + 1000;

    QByteArray reply = wire::make_frame(code, payload);

    int split = 0;
    for (int i = 0; i < faults_.size(); ++i) {
        const ReplyFault f = faults_.at(i);
        if (f.onCode != 0 && f.onCode != code)
            continue;
        faults_.removeAt(i);
        switch (f.kind) {
        case Fault::Drop:
            return;
        case Fault::Foreign:
            if (f.param)
                reply[wire::CODE_AT] = char(f.param);
            else
                reply[wire::CODE_AT] = char(code == cmd::GET_IDENTITY ? cmd::GET_CFG_A : cmd::GET_IDENTITY);
            wire::seal(reply);
            break;
        case Fault::Corrupt:
            reply[reply.size() - 1] = char(uchar(reply.at(reply.size() - 1)) ^ 0x5A);
            break;
        case Fault::Split:
            split = f.param;
            break;
        }
        break;
    }
    queueReply(reply, split);
}

void SimBackend::queueReply(const QByteArray& bytes, int split)
{
    const qint64 at = now_ + reply_delay_;
    if (split > 0 && split < bytes.size()) {
        pending_.append({bytes.left(split), at, 0});
        pending_.append({bytes.mid(split), at, 1});
    } else {
        pending_.append({bytes, at, 0});
    }
}

quint32 SimBackend::checkRXQueue(usb::Handle handle, quint32* bytes, quint32* queueStatus)
{
    sync();
    quint32 st = 0;
    if (injected(Call::CheckRXQueue, &st))
        return st;
    st = handleStatus(handle);
    if (st != usb::SUCCESS)
        return st;
    while (!pending_.isEmpty()) {
        Chunk& c = pending_.first();
        if (c.visible_at > now_)
            break;
        if (c.checks_before > 0) {
            --c.checks_before;
            break;
        }
        ready_.append(c.bytes);
        pending_.removeFirst();
    }
    *bytes = quint32(ready_.size());
    *queueStatus = ready_.isEmpty() ? 0x00 : 0x02;
    return usb::SUCCESS;
}

quint32 SimBackend::read(usb::Handle handle, void* buffer, quint32 size, quint32* got)
{
    sync();
    *got = 0;
    quint32 st = 0;
    if (injected(Call::Read, &st))
        return st;
    st = handleStatus(handle);
    if (st != usb::SUCCESS)
        return st;
    const int n = qMin(int(size), ready_.size());
    std::memcpy(buffer, ready_.constData(), size_t(n));
    ready_.remove(0, n);
    *got = quint32(n);
    // The restart answer has been taken: the instrument reboots now.
    if (restart_at_ >= 0 && ready_.isEmpty() && pending_.isEmpty())
        goAway(RESTART_MS);
    return usb::SUCCESS;
}
