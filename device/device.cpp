#include "device/device.h"

#include "proto/commands.h"
#include "proto/proto.h"
#include "proto/setupfile.h"

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

void Device::get_cfg(uchar channel) { queue(channel == 0 ? cmd::GET_CFG_A : cmd::GET_CFG_B); }
void Device::set_base_setting() { queue(cmd::SET_BASE); }
void Device::set_seq_settings() { queue(cmd::SET_SEQ); }
void Device::set_freq_settings_a() { queue(cmd::SET_FREQ_A); }
void Device::set_freq_settings_b() { queue(cmd::SET_FREQ_B); }
void Device::set_linear_settings() { queue(cmd::SET_LINEAR); }
void Device::set_error_settings_a() { queue(cmd::SET_ERROR_A); }
void Device::set_error_settings_b() { queue(cmd::SET_ERROR_B); }
void Device::set_defect_settings_a() { queue(cmd::SET_DEFECT_A); }
void Device::set_defect_settings_b() { queue(cmd::SET_DEFECT_B); }
void Device::set_cycle_settings_a() { queue(cmd::SET_CYCLE_A); }
void Device::set_cycle_settings_b() { queue(cmd::SET_CYCLE_B); }
void Device::set_channel_settings_a() { queue(cmd::SET_CHANNEL_A); }
void Device::set_channel_settings_b() { queue(cmd::SET_CHANNEL_B); }
void Device::set_jitter_settings() { queue(cmd::SET_JITTER); }
void Device::start_stop_test() { queue(cmd::START_STOP); }

bool Device::send_setup(const Setup& s, QString* error)
{
    if (!connected) {
        *error = tr("No instrument is connected: the settings were not sent.");
        return false;
    }
    if (common.test_running) {
        // Settings change the test under way, and an error command would insert errors into it.
        *error = tr("A test is running: stop it before loading settings.");
        return false;
    }
    apply_setup(s, this);
    for (quint8 code : {cmd::SET_BASE, cmd::SET_SEQ, cmd::SET_FREQ_A, cmd::SET_ERROR_A, cmd::SET_DEFECT_A,
                        cmd::SET_CYCLE_A, cmd::SET_CHANNEL_A, cmd::SET_FREQ_B, cmd::SET_ERROR_B, cmd::SET_DEFECT_B,
                        cmd::SET_CYCLE_B, cmd::SET_CHANNEL_B, cmd::SET_LINEAR, cmd::SET_JITTER})
        queue(code);
    get_cfg(0);
    get_cfg(1);
    return true;
}

bool Device::send_setup_file(const QString& path, QString* error)
{
    Setup s;
    return load_setup_file(path, &s, error) && send_setup(s, error);
}

void Device::user_toggle_test()
{
    // Started on the instrument: its records begin again from 0.
    if (common.test_running)
        clear_records();
    emit dev_test_state();
}

quint32 Device::report_status(const char* what, quint32 st)
{
    if (st == usb::SUCCESS)
        return st;
    const char* msg = nullptr;
    switch (st) {
    case usb::INVALID_HANDLE: msg = "Invalid HANDLE."; break;
    case usb::INVALID_PARAMETER: msg = "Invalid parameter."; break;
    case usb::INVALID_REQUEST_LENGTH: msg = "Invalid request length."; break;
    case usb::GLOBAL_DATA_ERROR: msg = "Global data error."; break;
    case usb::SYSTEM_ERROR_CODE: msg = "System error code."; break;
    case usb::DEVICE_NOT_FOUND: msg = "Device not found."; break;
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
    cmd_queue.enqueue(proto->encode(cmd::GET_IDENTITY, 0));
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
        expected_code = quint8(packet.at(wire::CODE_AT));
        if (expected_code == cmd::START_STOP)
            run_requested_ = quint8(packet.at(wire::PAYLOAD_AT));
        quint32 written = 0;
        const quint32 st = report_status("SI_Write", b->write(handle, packet.constData(), quint32(packet.size()), &written));
        if (st == usb::SUCCESS) {
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
    if (buffer.size() > wire::CODE_AT && quint8(buffer.at(wire::CODE_AT)) == expected_code) {
        // What the model said before this reply: whose records are held, and
        // whether their test was running when the link last saw it.
        const quint8 held_id = device_id;
        const bool was_running = common.test_running != 0;
        const bool first_cfg = first_cfg_pending;
        const quint8 code = proto->decode(buffer);
        switch (code) {
        case 0:
            close_link();
            break;
        case cmd::START_STOP:
            // The instrument runs now as it was asked to. Decoding toggled the
            // state, which is wrong when a configuration reply between the
            // request and this answer showed a timed test already stopped: the
            // toggle would read as a start and throw its records away.
            common.test_running = run_requested_;
            // Start acknowledged: a new test with no records yet.
            if (run_requested_ && !was_running)
                clear_records();
            get_cfg(0);
            break;
        case cmd::GET_RESULTS_A:
        case cmd::GET_RESULTS_B:
            emit res_rcv(uchar(cmd::channel(code)));
            break;
        case cmd::GET_CURRENT_RECORD:
        case cmd::GET_RECORD:
            merge_record(code);
            break;
        case cmd::GET_CFG_A:
        case cmd::GET_CFG_B:
            // The first configuration of a connection announces no change of
            // state; a test found running where a stopped one was held was
            // started while the link was down, so the held records are not its.
            if (code == cmd::GET_CFG_A && first_cfg && !was_running && common.test_running && !records.isEmpty())
                clear_records();
            emit cfg_rcv(uchar(cmd::channel(code)));
            break;
        case cmd::GET_IDENTITY:
            check_held_records(held_id);
            emit dev_conn();
            res_timer->start(1000);
            break;
        default: {
            // Settings acknowledgements need nothing more.
            const cmd::Info* info = cmd::find(code);
            if (!info || !info->ack)
                qDebug() << "Parser is not implemented yet:" << hex(code);
            break;
        }
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
    const QByteArray poll = proto->encode(cmd::GET_CURRENT_RECORD, 0);
    if ((awaiting_reply && expected_code == cmd::GET_CURRENT_RECORD) || cmd_queue.contains(poll))
        return;
    queue(cmd::GET_RESULTS_A);
    queue(cmd::GET_RESULTS_B);
    queue(cmd::GET_CURRENT_RECORD);
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
    const bool current = code == cmd::GET_CURRENT_RECORD;
    // Something else may have emptied the list.
    closed_count_ = qMin(closed_count_, records.size());
    // Within one test the instrument's current record never goes back, and
    // the list never gets ahead of it: a lower number is another test.
    if (current && !records.isEmpty() && n < records.last().number)
        clear_records();
    if (checking_) {
        if (!current)
            check_record();
        return;
    }
    // Record k of the list now holds what this reply carried.
    auto taken = [this, current](quint32 k, bool changed) {
        if (current && changed)
            closed_count_ = qMin(closed_count_, qsizetype(k));
        else if (!current && qsizetype(k) == closed_count_)
            closed_count_ = k + 1;
    };
    bool changed = false;
    if (records.isEmpty()) {
        if (n > 0) {
            // Whatever record requests still wait were queued for a list that
            // has been emptied since, or are this same backlog from an earlier
            // poll. Each of them answered into the empty list would queue the
            // backlog once more: ask for it once, afresh, instead.
            rec_queue.clear();
        }
        for (quint32 i = 0; i < n; ++i)
            rec_queue.enqueue(proto->encode(cmd::GET_RECORD, qint32(i)));
        if (n == 0) {
            records.append(r);
            changed = true;
            taken(0, true);
        }
    } else if (n == 0) {
        records[0] = r;
        changed = true;
        taken(0, true);
    } else if (n == records.last().number + 1) {
        records.append(r);
        changed = true;
        taken(n, true);
        // The poll took the previous record while it was still being counted;
        // now that it is closed, fetch the values the instrument stored.
        if (current && closed_count_ < qsizetype(n))
            rec_queue.enqueue(proto->encode(cmd::GET_RECORD, qint32(n - 1)));
    } else if (n <= records.last().number) {
        // The record in progress has counted on, or a closed record came back
        // with its final values: keep the newest values, announce only a change.
        if (!same_record(records[qsizetype(n)], r)) {
            records[qsizetype(n)] = r;
            changed = true;
        }
        taken(n, changed);
    } else if (n > records.last().number + 1 && rec_queue.isEmpty()) {
        // Records were closed on the instrument while earlier ones were still
        // being fetched: without asking for the missing ones the list would
        // never reach the current number again. Held records that may have
        // been read while still counting are asked for again with them.
        for (quint32 i = quint32(closed_count_); i < n; ++i)
            rec_queue.enqueue(proto->encode(cmd::GET_RECORD, qint32(i)));
    }
    if (changed)
        emit table_rec_rcv();
}

void Device::clear_records()
{
    records.clear();
    // Requests still queued were for the records just dropped.
    rec_queue.clear();
    closed_count_ = 0;
    checking_ = false;
    check_numbers_.clear();
    emit records_cleared();
}

// On a new connection: the held records are kept only if they are this
// instrument's, of the test it still holds. The first and the last record
// known to be closed are asked for again and must come back unchanged. The
// newest held records are left out of the comparison: they may have been
// read while still counting, and differ from the stored ones in the same test.
void Device::check_held_records(quint8 held_id)
{
    checking_ = false;
    check_numbers_.clear();
    closed_count_ = qMin(closed_count_, records.size());
    if (records.isEmpty())
        return;
    if (device_id != held_id || closed_count_ == 0) {
        clear_records();
        return;
    }
    check_numbers_ << 0;
    if (closed_count_ > 1)
        check_numbers_ << quint32(closed_count_ - 1);
    for (quint32 k : check_numbers_)
        rec_queue.enqueue(proto->encode(cmd::GET_RECORD, qint32(k)));
    checking_ = true;
}

void Device::check_record()
{
    if (check_numbers_.isEmpty()) {
        checking_ = false;
        return;
    }
    const quint32 k = check_numbers_.takeFirst();
    const TableRecord& r = scratch_record;
    if (r.number != k || qsizetype(k) >= records.size() || !same_record(records[qsizetype(k)], r)) {
        clear_records();
        return;
    }
    if (!check_numbers_.isEmpty())
        return;
    // The same test: the closed records stay, the rest comes as new records do.
    checking_ = false;
    records.resize(closed_count_);
}

void Device::close_link()
{
    io_timer->stop();
    // Polls queued while nothing is open would pile up without bound.
    res_timer->stop();
    emit dev_disc();
    usb::backend()->close(handle);
    connected = false;
    identified = false;
    first_cfg_pending = true;
    awaiting_reply = false;
    cmd_queue.clear();
    rec_queue.clear();
    // The records stay: they are still shown and reported, and a reconnection
    // to the same test needs only what is new.
    checking_ = false;
    check_numbers_.clear();
    scan_timer->start(1000);
}
