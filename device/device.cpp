#include "device.h"

#include "proto.h"

#include <QDebug>

#include <algorithm>
#include <iterator>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>

namespace {

qint64 monotonic_ms()
{
    static QElapsedTimer t;
    if (!t.isValid())
        t.start();
    return t.elapsed();
}

QString hex(quint32 v) { return QString::number(v, 16); }

} // namespace

std::function<void(const QString&)> Device::warning_box = [](const QString& text) {
    QMessageBox::warning(nullptr, QString(), text, QMessageBox::Ok);
};

std::function<qint64()> Device::clock_ms = monotonic_ms;

Device::Device(QObject* parent) : ModelHost(parent)
{
    proto = new Proto(this);
    io_timer = new QTimer;
    scan_timer = new QTimer;
    res_timer = new QTimer;
    connect(proto, &Proto::user_toggle_test, this, &Device::user_toggle_test);
    connect(io_timer, &QTimer::timeout, this, &Device::tDevIOTimeout);
    connect(scan_timer, &QTimer::timeout, this, &Device::tDevScanTimeout);
    connect(res_timer, &QTimer::timeout, this, &Device::tDevResTimeout);
    connected = false;
    first_cfg_pending = true;
    awaiting_reply = false;
    scan_timer->setInterval(1000);
    scan_timer->start();
}

Device::~Device()
{
    if (connected)
        usb::backend()->close(handle);
    delete proto;
    delete io_timer;
    delete scan_timer;
    delete res_timer;
}

void Device::queue(quint8 code) { cmd_queue.enqueue(proto->encode(code, 0)); }

void Device::get_cfg(uchar channel) { queue(channel == 0 ? 0x88 : 0xC8); }
void Device::set_base_setting() { queue(0x03); }
void Device::set_seq_settings() { queue(0x04); }
void Device::set_freq_settings_a() { queue(0x05); }
void Device::set_freq_settings_b() { queue(0x45); }
void Device::set_linear_settings() { queue(0x06); }
void Device::set_error_settings_a() { queue(0x07); }
void Device::set_error_settings_b() { queue(0x47); }
void Device::set_defect_settings_a() { queue(0x08); }
void Device::set_defect_settings_b() { queue(0x48); }
void Device::set_cycle_settings_a() { queue(0x09); }
void Device::set_cycle_settings_b() { queue(0x49); }
void Device::set_channel_settings_a() { queue(0x0C); }
void Device::set_channel_settings_b() { queue(0x4C); }
void Device::set_jitter_settings() { queue(0x0D); }
void Device::start_stop_test() { queue(0x0E); }

void Device::user_toggle_test() { emit dev_test_state(); }

quint32 Device::report_status(const char* what, quint32 st)
{
    if (st == 0)
        return st;
    const char* msg = nullptr;
    switch (st) {
    case 1: msg = "Invalid HANDLE."; break;
    case 6: msg = "Invalid parameter."; break;
    case 7: msg = "Invalid request length."; break;
    case 11: msg = "Global data error."; break;
    case 12: msg = "System error code."; break;
    case 255: msg = "Device not found."; break;
    default: break;
    }
    if (msg)
        qDebug().noquote() << QStringLiteral("\"%1\" %2").arg(QString::fromLatin1(what), QString::fromLatin1(msg));
    else
        qDebug().noquote() << QStringLiteral("%1 \"%2\" Not implemented yet.").arg(st).arg(QString::fromLatin1(what));
    return st;
}

void Device::tDevScanTimeout()
{
    quint32 count = 0;
    if (report_status("SI_GetNumDevices", usb::backend()->getNumDevices(&count)) > 0)
        return;
    if (count == 0)
        return;
    scan_timer->stop();
    if (count > 1) {
        // Which of the two to talk to cannot be chosen; the user must unplug one and restart.
        warning_box(tr("More then 1 device found."));
        return;
    }
    if (report_status("SI_Open", usb::backend()->open(0, &handle)) > 0) {
        // Scanning stays halted, so the user must learn why nothing connects.
        const QString reason = QString::fromStdString(usb::backend()->lastOpenError());
        if (!reason.isEmpty())
            qDebug() << "SI_Open:" << reason;
        emit dev_open_failed(reason);
        return;
    }
    cmd_queue.clear();
    cmd_queue.enqueue(proto->encode(0x8A, 0));
    connected = true;
    io_timer->start(10);
}

void Device::tDevIOTimeout()
{
    usb::Backend* b = usb::backend();
    if (!awaiting_reply) {
        QByteArray packet;
        if (!cmd_queue.isEmpty())
            packet = cmd_queue.dequeue();
        else if (!rec_queue.isEmpty())
            packet = rec_queue.dequeue();
        else
            return;
        if (packet.isEmpty())
            return;
        b->beforeWrite(handle, 0, 0);
        expected_code = quint8(packet.at(2));
        quint32 written = 0;
        const quint32 st = report_status("SI_Write", b->write(handle, packet.constData(), quint32(packet.size()), &written));
        if (st == 0) {
            awaiting_reply = true;
            write_time_ms = clock_ms();
        } else {
            close_link();
        }
        return;
    }

    quint32 n = 0;
    quint32 queue_status = 0;
    if (report_status("SI_CheckRXQueue", b->checkRXQueue(handle, &n, &queue_status)) > 0) {
        close_link();
        return;
    }
    if (n == 0) {
        // An instrument that stops answering would otherwise hold the link for ever.
        if (clock_ms() - write_time_ms > REPLY_TIMEOUT_MS) {
            qDebug() << "Reply timeout:" << hex(expected_code);
            close_link();
        }
        return;
    }
    awaiting_reply = false;
    QByteArray buffer(int(n), '\0');
    quint32 got = 0;
    if (report_status("SI_Read", b->read(handle, buffer.data(), n, &got)) > 0) {
        close_link();
        return;
    }
    if (buffer.size() > 2 && quint8(buffer.at(2)) == expected_code) {
        const quint8 code = proto->decode(buffer);
        switch (code) {
        case 0:
            close_link();
            break;
        case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08: case 0x09:
        case 0x0C: case 0x0D: case 0x45: case 0x47: case 0x48: case 0x49: case 0x4C:
            break;
        case 0x0E:
            get_cfg(0);
            break;
        case 0x80:
            emit res_rcv(0);
            break;
        case 0xC0:
            emit res_rcv(1);
            break;
        case 0x86:
        case 0x87:
            merge_record(code);
            break;
        case 0x88:
            emit cfg_rcv(0);
            break;
        case 0xC8:
            emit cfg_rcv(1);
            break;
        case 0x8A:
            emit dev_conn();
            res_timer->start(1000);
            break;
        default:
            qDebug() << "Parser is not implemented yet:" << hex(code);
            break;
        }
        return;
    }
    qDebug() << "Packet is not accepted:" << hex(expected_code);
    close_link();
}

void Device::tDevResTimeout()
{
    // The last poll is not answered yet (an instrument slower than the poll
    // period): another one now would pile up behind it every second, and keep
    // the record requests, served only after the polls, waiting for ever.
    if ((awaiting_reply && expected_code == 0x86) || cmd_queue.contains(proto->encode(0x86, 0)))
        return;
    queue(0x80);
    queue(0xC0);
    queue(0x86);
}

namespace {

bool same_record(const TableRecord& a, const TableRecord& b)
{
    return a.number == b.number && a.time_s == b.time_s && a.jitter == b.jitter && a.jitter_hf == b.jitter_hf
           && std::equal(std::begin(a.counters), std::end(a.counters), std::begin(b.counters));
}

} // namespace

void Device::merge_record(quint8 code)
{
    const TableRecord& r = scratch_record;
    const quint32 n = r.number;
    bool changed = false;
    if (records.isEmpty()) {
        if (n > 0) {
            // Whatever record requests still wait were queued for a list that
            // has been emptied since (a new test, a configuration during the
            // test), or are this same backlog from an earlier poll. Each of
            // them answered into the empty list would queue the backlog once
            // more: ask for it once, afresh, instead.
            rec_queue.clear();
        }
        for (quint32 i = 0; i < n; ++i)
            rec_queue.enqueue(proto->encode(0x87, qint32(i)));
        if (n == 0) {
            records.append(r);
            changed = true;
        }
    } else if (n == 0) {
        records[0] = r;
        changed = true;
    } else if (n == records.last().number + 1) {
        records.append(r);
        changed = true;
        // The poll took the previous record while it was still being counted;
        // now that it is closed, fetch the values the instrument stored.
        if (code == 0x86)
            rec_queue.enqueue(proto->encode(0x87, qint32(n - 1)));
    } else if (n <= records.last().number) {
        // The record in progress has counted on, or a closed record came back
        // with its final values: keep the newest values, announce only a change.
        if (!same_record(records[qsizetype(n)], r)) {
            records[qsizetype(n)] = r;
            changed = true;
        }
    } else if (n > records.last().number + 1 && rec_queue.isEmpty()) {
        // Records were closed on the instrument while earlier ones were still
        // being fetched: without asking for the missing ones the list would
        // never reach the current number again.
        for (quint32 i = records.last().number + 1; i < n; ++i)
            rec_queue.enqueue(proto->encode(0x87, qint32(i)));
    }
    if (changed)
        emit table_rec_rcv();
}

void Device::close_link()
{
    io_timer->stop();
    // Polls queued while nothing is open would pile up without bound.
    res_timer->stop();
    emit dev_disc();
    usb::backend()->close(handle);
    connected = false;
    first_cfg_pending = true;
    awaiting_reply = false;
    cmd_queue.clear();
    rec_queue.clear();
    records.clear();
    scan_timer->start(1000);
}
