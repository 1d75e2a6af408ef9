#include "proto.h"

#include "modelhost.h"

#include <QDebug>

namespace {

constexpr uchar HEADER = 0xA5;

QString hex(quint32 v) { return QString::number(v, 16); }

quint32 be16(const uchar* p) { return (quint32(p[0]) << 8) | p[1]; }
quint32 be24(const uchar* p) { return (quint32(p[0]) << 16) | (quint32(p[1]) << 8) | p[2]; }
quint32 le16(const uchar* p) { return quint32(p[0]) | (quint32(p[1]) << 8); }
quint32 le32(const uchar* p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}
quint32 bcd(uchar b) { return (b >> 4) * 10u + (b & 0x0F); }

void put_le32(QByteArray& a, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        a.append(char((v >> (8 * i)) & 0xFF));
}
void put_be16(QByteArray& a, quint32 v)
{
    a.append(char((v >> 8) & 0xFF));
    a.append(char(v & 0xFF));
}

// Byte of a stored configuration reply, 0 while none has arrived.
int raw(const ModelHost* m, int ch, int i)
{
    const QByteArray& r = m->raw_cfg[ch];
    return i < r.size() ? uchar(r.at(i)) : 0;
}

const quint8 LEVELS[16] = {0, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 29, 31, 34, 36, 40};

} // namespace

quint8 inv_checksum(const uchar* bytes, int count)
{
    quint8 sum = 0;
    for (int i = 0; i < count; ++i)
        sum = quint8(sum + bytes[i]);
    return quint8(~sum);
}

Proto::Proto(ModelHost* parent) : QObject(parent) {}

ModelHost* Proto::host() const { return static_cast<ModelHost*>(parent()); }

int Proto::reply_payload_size(quint8 code)
{
    switch (code) {
    case 0x03: case 0x04: case 0x05: case 0x06: case 0x07: case 0x08: case 0x09:
    case 0x0C: case 0x0D: case 0x0E:
    case 0x45: case 0x47: case 0x48: case 0x49: case 0x4C:
        return 0;
    case 0x80: return 49;
    case 0xC0: return 45;
    case 0x86: case 0x87: return 58;
    case 0x88: return 53;
    case 0xC8: return 39;
    case 0x8A: return 2;
    default: return -1;
    }
}

QByteArray Proto::encode(quint8 code, qint32 argument)
{
    const ModelHost* m = host();
    const CommonSettings& c = m->common;
    QByteArray f;
    f.append(char(HEADER));
    f.append('?');
    f.append(char(code));

    auto b = [&f](int v) { f.append(char(quint8(v))); };

    switch (code) {
    case 0x03:
        b(((raw(m, 0, 2) >> 6) & 3) + ((1 - c.rxtx_jointly) << 3) + (c.timed_measurement << 5));
        b(c.meas_days);
        b(c.meas_hours);
        b(c.meas_minutes);
        break;
    case 0x04:
        b(((raw(m, 0, 2) >> 4) & 3) + (c.seq_type << 2) + (m->rx[0].inversion << 5) + (m->tx[0].inversion << 6));
        b(((raw(m, 1, 2) >> 4) & 3) + (m->rx[1].inversion << 5) + (m->tx[1].inversion << 6));
        b(c.word & 0xFF);
        b(c.word >> 8);
        b(c.alt_word & 0xFF);
        b(c.alt_word >> 8);
        b(c.word_switch_loop);
        break;
    case 0x05:
    case 0x45: {
        const TxSettings& t = m->tx[code == 0x45 ? 1 : 0];
        const int clock = code == 0x45 ? (t.clock_source << 1) : t.clock_source;
        b(clock | (t.freq_mode << 2) | ((t.freq_offset < 0 ? 1 : 0) << 4));
        b(t.freq_offset & 0xFF);
        break;
    }
    case 0x06:
        b(m->tx[0].line_code + (m->rx[0].line_code << 1) + (raw(m, 0, 18) & 0x04) + (m->rx[0].long_line << 3)
          + (m->rx[0].extra_gain << 4));
        b(m->tx[1].line_code + (m->rx[1].line_code << 1) + (raw(m, 1, 9) & 0x04) + (m->rx[1].long_line << 3)
          + (m->rx[1].extra_gain << 4) + (m->tx[1].sync_signal << 6));
        break;
    case 0x07:
    case 0x47: {
        const TxSettings& t = m->tx[code == 0x47 ? 1 : 0];
        b(t.err_type + (t.err_mode << 3));
        b(t.err_rate_exp);
        break;
    }
    case 0x08:
    case 0x48: {
        const TxSettings& t = m->tx[code == 0x48 ? 1 : 0];
        b(t.defect_on ? t.defect_type + 1 : 0);
        break;
    }
    case 0x09:
    case 0x49: {
        const int ch = code == 0x49 ? 1 : 0;
        const TxSettings& t = m->tx[ch];
        const RxSettings& r = m->rx[ch];
        // CRC-4 and CAS mean nothing without framing, so they go out as 0 then.
        int v = t.framing + (r.framing << 3);
        if (t.framing)
            v += (t.crc4 << 1) + (t.cas << 2);
        if (r.framing)
            v += (r.crc4 << 4) + (r.cas << 5);
        b(v);
        break;
    }
    case 0x0C:
    case 0x4C: {
        const int ch = code == 0x4C ? 1 : 0;
        put_le32(f, m->tx[ch].timeslot_mask);
        put_le32(f, m->rx[ch].timeslot_mask);
        const int from = ch == 0 ? 49 : 35;
        for (int i = 0; i < 4; ++i)
            b(raw(m, ch, from + i));
        break;
    }
    case 0x0D: {
        const TxSettings& t = m->tx[0];
        put_be16(f, t.jitter_freq / 10);
        put_be16(f, quint32(qint64(t.jitter_amplitude * 100.0)));
        b(t.jitter_on);
        break;
    }
    case 0x0E:
        b(1 - c.test_running);
        break;
    case 0x87:
        put_be16(f, quint32(argument));
        break;
    case 0x80: case 0xC0: case 0x86: case 0x88: case 0xC8: case 0x8A:
        break;
    default:
        f.clear();
        qDebug() << "Encoder is not implemented yet:" << hex(code);
        return f;
    }

    const int n = f.size();
    f[1] = char(n - 1);
    f.append(char(inv_checksum(reinterpret_cast<const uchar*>(f.constData()), n)));
    return f;
}

quint8 Proto::decode(QByteArray frame)
{
    const int n = frame.size();
    const uchar* d = reinterpret_cast<const uchar*>(frame.constData());
    if (n < 1 || inv_checksum(d, n - 1) != d[n - 1]) {
        qDebug() << "Checksum error.";
        return 0;
    }
    if (d[0] != HEADER) {
        qDebug() << "Invalid packet header.";
        return 0;
    }
    // The extent of the read is the extent of the frame; the length byte is not trusted.
    if (n < 4) {
        qDebug() << "Packet is too short:" << QString::number(n);
        return 0;
    }
    const quint8 code = d[2];
    const uchar* p = d + 3;          // payload, followed by the checksum byte
    const int payload = n - 4;
    const int need = reply_payload_size(code);
    if (need < 0) {
        qDebug() << "Decoder is not implemented yet:" << hex(code);
        return 0;
    }
    if (payload < need) {
        qDebug() << "Packet is too short:" << hex(code);
        return 0;
    }

    ModelHost* m = host();
    switch (code) {
    case 0x0E:
        m->common.test_running = quint8(1 - m->common.test_running);
        break;
    case 0x80:
        decode_results(0, p);
        break;
    case 0xC0:
        decode_results(1, p);
        break;
    case 0x86:
    case 0x87:
        decode_record(p);
        break;
    case 0x88:
        decode_cfg_a(p);
        m->raw_cfg[0] = QByteArray(reinterpret_cast<const char*>(p), payload + 1);
        break;
    case 0xC8:
        decode_cfg_b(p);
        m->raw_cfg[1] = QByteArray(reinterpret_cast<const char*>(p), payload + 1);
        break;
    case 0x8A:
        m->device_id = p[0];
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
    TableRecord& t = host()->scratch_record;
    t.number = be16(p);
    t.time_s = bcd(p[2]) * 86400u + bcd(p[3]) * 3600u + bcd(p[4]) * 60u + bcd(p[5]);
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
    RxSettings& r = m->rx[0];

    // Test state first: a change seen here is announced before the rest lands.
    const quint8 old = c.test_running;
    c.test_running = (p[3] >> 4) & 1;
    if (m->first_cfg_pending)
        m->first_cfg_pending = false;
    else if (c.test_running != old)
        emit user_toggle_test();

    t.framing = p[0] & 1;
    t.cas = (p[0] >> 1) & 1;
    t.crc4 = (p[0] >> 2) & 1;
    r.framing = (p[0] >> 3) & 1;
    r.cas = (p[0] >> 4) & 1;
    r.crc4 = (p[0] >> 5) & 1;
    t.clock_source = (p[0] >> 6) & 3;
    t.err_type = p[1] & 7;
    t.err_mode = (p[1] >> 3) & 3;
    t.jitter_on = (p[1] >> 5) & 1;
    const int defect = (p[1] >> 6) & 3;
    t.defect_on = defect != 0;
    t.defect_type = defect ? defect - 1 : 0;
    t.freq_mode = p[3] & 3;
    c.rxtx_jointly = ((p[3] >> 3) & 1) ? 0 : 1;
    c.timed_measurement = (p[3] >> 5) & 1;
    t.err_rate_exp = p[4];
    c.meas_days = p[7];
    c.meas_hours = p[8];
    c.meas_minutes = p[9];
    t.freq_offset = qint16((p[2] & 1) ? int(p[10]) - 256 : int(p[10]));
    t.jitter_freq = be16(p + 11) * 10u;
    t.jitter_amplitude = be16(p + 13) / 100.0;
    t.line_code = p[18] & 1;
    r.line_code = (p[18] >> 1) & 1;
    r.long_line = (p[18] >> 3) & 1;
    r.extra_gain = (p[18] >> 4) & 3;
    c.seq_type = (p[19] >> 2) & 7;
    r.inversion = (p[19] >> 5) & 1;
    t.inversion = (p[19] >> 6) & 1;
    c.word = quint16(le16(p + 20));
    c.alt_word = quint16(le16(p + 22));
    c.word_switch_loop = p[24];
    t.timeslot_mask = le32(p + 41) & ~1u;
    r.timeslot_mask = le32(p + 45);
}

void Proto::decode_cfg_b(const uchar* p)
{
    ModelHost* m = host();
    TxSettings& t = m->tx[1];
    RxSettings& r = m->rx[1];
    t.framing = p[0] & 1;
    t.cas = (p[0] >> 1) & 1;
    t.crc4 = (p[0] >> 2) & 1;
    r.framing = (p[0] >> 3) & 1;
    r.cas = (p[0] >> 4) & 1;
    r.crc4 = (p[0] >> 5) & 1;
    t.clock_source = (p[0] >> 7) & 1;
    t.err_type = p[1] & 7;
    t.err_mode = (p[1] >> 3) & 3;
    t.jitter_on = (p[1] >> 5) & 1;
    const int defect = (p[1] >> 6) & 3;
    t.defect_on = defect != 0;
    t.defect_type = defect ? defect - 1 : 0;
    t.freq_mode = (p[2] >> 6) & 3;
    t.err_rate_exp = p[3];
    t.freq_offset = qint16((p[2] & 4) ? int(p[6]) - 256 : int(p[6]));
    t.line_code = p[9] & 1;
    r.line_code = (p[9] >> 1) & 1;
    r.long_line = (p[9] >> 3) & 1;
    r.extra_gain = (p[9] >> 4) & 3;
    t.sync_signal = (p[9] >> 6) & 1;
    r.inversion = (p[10] >> 5) & 1;
    t.inversion = (p[10] >> 6) & 1;
    t.timeslot_mask = le32(p + 27) & ~1u;
    r.timeslot_mask = le32(p + 31);
}
