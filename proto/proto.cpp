#include "proto/proto.h"

#include "proto/commands.h"
#include "proto/modelhost.h"

#include <QDebug>

using wire::be16;
using wire::be24;
using wire::le16;
using wire::le32;

namespace {

QString hex(quint32 v) { return QString::number(v, 16); }

// Where the fields that both channels have stand in each channel's
// configuration reply; the commands echo some of the bytes around them.
struct CfgLayout {
    int line;             // bits 0-5: line codes, echoed bit 2, long line, extra gain
    int inversion;        // bit 5 RX, bit 6 TX
    int masks;            // TX then RX timeslot mask; the 4 bytes after them are echoed
    int err_rate;         // automatic error ratio exponent
    int offset;           // low 8 bits of the frequency offset
    quint8 offset_sign;   // the offset's sign bit in byte 2
};
constexpr CfgLayout CFG[2] = {{18, 19, 41, 4, 10, 0x01}, {9, 10, 27, 3, 6, 0x04}};

// Byte of a stored configuration reply, 0 while none has arrived.
int raw(const ModelHost* m, int ch, int i)
{
    const QByteArray& r = m->raw_cfg[ch];
    return i < r.size() ? uchar(r.at(i)) : 0;
}

const quint8 LEVELS[16] = {0, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 29, 31, 34, 36, 40};

} // namespace

Proto::Proto(ModelHost* parent) : QObject(parent) {}

ModelHost* Proto::host() const { return static_cast<ModelHost*>(parent()); }

QByteArray Proto::encode(quint8 code, qint32 argument)
{
    if (!cmd::find(code)) {
        qDebug() << "Encoder is not implemented yet:" << hex(code);
        return QByteArray();
    }
    const ModelHost* m = host();
    const CommonSettings& c = m->common;
    const int ch = cmd::channel(code);
    const TxSettings& t = m->tx[ch];
    const RxSettings& r = m->rx[ch];
    QByteArray p;
    auto b = [&p](int v) { p.append(char(quint8(v))); };

    switch (code) {
    case cmd::SET_BASE:
        b(((raw(m, 0, 2) >> 6) & 3) + ((1 - c.rxtx_jointly) << 3) + (c.timed_measurement << 5));
        b(c.meas_days);
        b(c.meas_hours);
        b(c.meas_minutes);
        break;
    case cmd::SET_SEQ:
        b(((raw(m, 0, 2) >> 4) & 3) + (c.seq_type << 2) + (m->rx[0].inversion << 5) + (m->tx[0].inversion << 6));
        b(((raw(m, 1, 2) >> 4) & 3) + (m->rx[1].inversion << 5) + (m->tx[1].inversion << 6));
        b(c.word & 0xFF);
        b(c.word >> 8);
        b(c.alt_word & 0xFF);
        b(c.alt_word >> 8);
        b(c.word_switch_loop);
        break;
    case cmd::SET_FREQ_A:
    case cmd::SET_FREQ_B: {
        // Channel B's clock 1 (its own receiver) is code 2 of channel A's scale.
        const int clock = ch ? (t.clock_source << 1) : t.clock_source;
        b(clock | (t.freq_mode << 2) | ((t.freq_offset < 0 ? 1 : 0) << 4));
        b(t.freq_offset & 0xFF);
        break;
    }
    case cmd::SET_LINEAR:
        b(m->tx[0].line_code + (m->rx[0].line_code << 1) + (raw(m, 0, CFG[0].line) & 0x04) + (m->rx[0].long_line << 3)
          + (m->rx[0].extra_gain << 4));
        b(m->tx[1].line_code + (m->rx[1].line_code << 1) + (raw(m, 1, CFG[1].line) & 0x04) + (m->rx[1].long_line << 3)
          + (m->rx[1].extra_gain << 4) + (m->tx[1].sync_signal << 6));
        break;
    case cmd::SET_ERROR_A:
    case cmd::SET_ERROR_B:
        b(t.err_type + (t.err_mode << 3));
        b(t.err_rate_exp);
        break;
    case cmd::SET_DEFECT_A:
    case cmd::SET_DEFECT_B:
        b(t.defect_on ? t.defect_type + 1 : 0);
        break;
    case cmd::SET_CYCLE_A:
    case cmd::SET_CYCLE_B: {
        // CRC-4 and CAS mean nothing without framing, so they go out as 0 then.
        int v = t.framing + (r.framing << 3);
        if (t.framing)
            v += (t.crc4 << 1) + (t.cas << 2);
        if (r.framing)
            v += (r.crc4 << 4) + (r.cas << 5);
        b(v);
        break;
    }
    case cmd::SET_CHANNEL_A:
    case cmd::SET_CHANNEL_B:
        wire::put_le32(p, t.timeslot_mask);
        wire::put_le32(p, r.timeslot_mask);
        for (int i = 0; i < 4; ++i)
            b(raw(m, ch, CFG[ch].masks + 8 + i));
        break;
    case cmd::SET_JITTER: // the generator exists on channel A only
        wire::put_be16(p, t.jitter_freq / 10);
        wire::put_be16(p, quint32(qint64(t.jitter_amplitude * 100.0)));
        b(t.jitter_on);
        break;
    case cmd::START_STOP:
        b(1 - c.test_running);
        break;
    case cmd::GET_RECORD:
        wire::put_be16(p, quint32(argument));
        break;
    default:
        break; // the other requests carry nothing
    }
    return wire::make_frame(code, p);
}

quint8 Proto::decode(QByteArray frame)
{
    const int n = frame.size();
    const uchar* d = wire::bytes(frame);
    if (!wire::checksum_ok(frame)) {
        qDebug() << "Checksum error.";
        return 0;
    }
    if (d[0] != wire::HEADER) {
        qDebug() << "Invalid packet header.";
        return 0;
    }
    // The extent of the read is the extent of the frame; the length byte is not trusted.
    if (n < wire::OVERHEAD) {
        qDebug() << "Packet is too short:" << QString::number(n);
        return 0;
    }
    const quint8 code = d[wire::CODE_AT];
    const uchar* p = d + wire::PAYLOAD_AT;   // payload, followed by the checksum byte
    const int payload = n - wire::OVERHEAD;
    const cmd::Info* info = cmd::find(code);
    if (!info) {
        qDebug() << "Decoder is not implemented yet:" << hex(code);
        return 0;
    }
    if (payload < info->reply_size) {
        qDebug() << "Packet is too short:" << hex(code);
        return 0;
    }

    ModelHost* m = host();
    switch (code) {
    case cmd::START_STOP:
        m->common.test_running = quint8(1 - m->common.test_running);
        break;
    case cmd::GET_RESULTS_A:
    case cmd::GET_RESULTS_B:
        decode_results(cmd::channel(code), p);
        break;
    case cmd::GET_CURRENT_RECORD:
    case cmd::GET_RECORD:
        decode_record(p);
        break;
    case cmd::GET_CFG_A:
    case cmd::GET_CFG_B: {
        const int ch = cmd::channel(code);
        if (ch == 0)
            decode_cfg_a(p);
        else
            decode_cfg_b(p);
        m->raw_cfg[ch] = QByteArray(reinterpret_cast<const char*>(p), payload + 1);
        break;
    }
    case cmd::GET_IDENTITY:
        m->device_id = p[0];
        m->device_version = p[1];
        m->identified = true;
        qDebug() << "Device ID:" << hex(p[0]);
        qDebug() << "Device version:" << hex(p[1]);
        break;
    default:
        break; // settings acknowledgements carry nothing
    }
    return code;
}

void Proto::decode_results(int channel, const uchar* p)
{
    ChannelResults& r = host()->results[channel];
    r.elapsed_s = be24(p + 0);
    r.code_errors = be24(p + 3);
    r.bit_errors = be24(p + 6);
    r.frame_errors = be24(p + 9);
    r.crc4_errors = be24(p + 12);
    r.ebit_errors = be24(p + 15);
    r.no_input_count = be24(p + 18);
    r.ais_count = be24(p + 21);
    r.lof_count = be24(p + 24);
    r.available_s = be24(p + 27);
    r.errored_s = be24(p + 30);
    r.severely_errored_s = be24(p + 33);
    r.bbe = be24(p + 36);
    r.alarms = p[39];
    r.signal_level = LEVELS[p[40] & 0x0F];
    r.status_flags = p[41];
    if (channel == 0) {
        r.jitter = be16(p + 42) / 100.0;
        r.jitter_hf = be16(p + 44) / 100.0;
        r.signal_freq = be24(p + 46);
    } else {
        r.signal_freq = be24(p + 42);
    }
}

void Proto::decode_record(const uchar* p)
{
    using wire::from_bcd;
    TableRecord& t = host()->scratch_record;
    t.number = be16(p);
    t.time_s = from_bcd(p[2]) * 86400u + from_bcd(p[3]) * 3600u + from_bcd(p[4]) * 60u + from_bcd(p[5]);
    t.jitter = be16(p + 6) / 100.0;
    t.jitter_hf = be16(p + 8) / 100.0;
    for (int k = 0; k < 16; ++k)
        t.counters[k] = be24(p + 10 + 3 * k);
}

void Proto::decode_cfg_a(const uchar* p)
{
    ModelHost* m = host();
    CommonSettings& c = m->common;
    TxSettings& t = m->tx[0];

    // Test state first: a change seen here is announced before the rest lands.
    const quint8 old = c.test_running;
    c.test_running = (p[3] >> 4) & 1;
    if (m->first_cfg_pending)
        m->first_cfg_pending = false;
    else if (c.test_running != old)
        emit user_toggle_test();

    decode_cfg_channel(0, p);
    t.clock_source = (p[0] >> 6) & 3;
    t.freq_mode = p[3] & 3;
    c.rxtx_jointly = ((p[3] >> 3) & 1) ? 0 : 1;
    c.timed_measurement = (p[3] >> 5) & 1;
    c.meas_days = p[7];
    c.meas_hours = p[8];
    c.meas_minutes = p[9];
    t.jitter_freq = be16(p + 11) * 10u;
    t.jitter_amplitude = be16(p + 13) / 100.0;
    c.seq_type = (p[19] >> 2) & 7;
    c.word = quint16(le16(p + 20));
    c.alt_word = quint16(le16(p + 22));
    c.word_switch_loop = p[24];
}

void Proto::decode_cfg_b(const uchar* p)
{
    TxSettings& t = host()->tx[1];
    decode_cfg_channel(1, p);
    t.clock_source = (p[0] >> 7) & 1;
    t.freq_mode = (p[2] >> 6) & 3;
    t.sync_signal = (p[CFG[1].line] >> 6) & 1;
}

void Proto::decode_cfg_channel(int channel, const uchar* p)
{
    TxSettings& t = host()->tx[channel];
    RxSettings& r = host()->rx[channel];
    const CfgLayout& at = CFG[channel];
    t.framing = p[0] & 1;
    t.cas = (p[0] >> 1) & 1;
    t.crc4 = (p[0] >> 2) & 1;
    r.framing = (p[0] >> 3) & 1;
    r.cas = (p[0] >> 4) & 1;
    r.crc4 = (p[0] >> 5) & 1;
    t.err_type = p[1] & 7;
    t.err_mode = (p[1] >> 3) & 3;
    t.jitter_on = (p[1] >> 5) & 1;
    const int defect = (p[1] >> 6) & 3;
    t.defect_on = defect != 0;
    t.defect_type = defect ? defect - 1 : 0;
    t.err_rate_exp = p[at.err_rate];
    t.freq_offset = qint16((p[2] & at.offset_sign) ? int(p[at.offset]) - 256 : int(p[at.offset]));
    t.line_code = p[at.line] & 1;
    r.line_code = (p[at.line] >> 1) & 1;
    r.long_line = (p[at.line] >> 3) & 1;
    r.extra_gain = (p[at.line] >> 4) & 3;
    r.inversion = (p[at.inversion] >> 5) & 1;
    t.inversion = (p[at.inversion] >> 6) & 1;
    t.timeslot_mask = le32(p + at.masks) & ~1u;
    r.timeslot_mask = le32(p + at.masks + 4);
}
