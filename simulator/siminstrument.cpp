#include "simulator/siminstrument.h"

#include "proto/commands.h"
#include "proto/wire.h"

#include <algorithm>

namespace {

constexpr quint32 MAX24 = 0xFFFFFF;
constexpr quint32 NOMINAL_HZ = 2048000;
constexpr quint32 BITS_PER_S = 2048000;
constexpr quint32 FRAMES_PER_S = 4000;   // frame alignment words per second
constexpr quint32 BLOCKS_PER_S = 1000;   // CRC-4 blocks per second

void setBits(QByteArray& a, int index, quint8 mask, quint8 value)
{
    a[index] = char((quint8(a.at(index)) & ~mask) | (value & mask));
}

quint8 at(const QByteArray& a, int i) { return quint8(a.at(i)); }

// Counts travel as 24 bits and stop at the largest.
void putCount(QByteArray& a, quint32 v) { wire::put_be24(a, qMin(v, MAX24)); }

void add24(quint32& counter, quint32 n) { counter = qMin<quint64>(quint64(counter) + n, MAX24); }

} // namespace

SimInstrument::SimInstrument()
{
    // A demo-ready configuration: HDB-3, framing and CRC-4 on, timeslots 1..31,
    // PRBS 2^15-1, measurement time 15 minutes (not limited). The echoed bits and
    // bytes carry non-zero values so that a host which does not send them back
    // unchanged is caught.
    QByteArray& a = cfg_[0];
    a = QByteArray(CFG_A_SIZE, '\0');
    a[0] = char(0x2D);                  // TX framing + CRC-4, RX framing + CRC-4
    a[2] = char(0x90);                  // echoed bits 4-5 = 1, 6-7 = 2
    a[9] = char(15);                    // 0 d 0 h 15 min
    a[11] = char(0x00); a[12] = char(100);   // jitter 1000 Hz
    a[13] = char(0x00); a[14] = char(50);    // jitter 0.50 UI
    a[18] = char(0x07);                 // TX and RX HDB-3, echoed bit 2
    a[19] = char(2 << 2);               // PRBS 2^15-1
    a[20] = char(0xAA); a[21] = char(0x55);  // word 0x55AA
    a[22] = char(0x00); a[23] = char(0xFF);  // alternate word 0xFF00
    a[24] = char(1);
    for (int i = 41; i < 49; ++i)
        a[i] = char(0xFF);
    a[41] = char(0xFE); a[45] = char(0xFE);  // timeslots 1..31
    a[49] = char(0x01); a[50] = char(0x02); a[51] = char(0x03); a[52] = char(0x04);

    QByteArray& b = cfg_[1];
    b = QByteArray(CFG_B_SIZE, '\0');
    b[0] = char(0x2D);
    b[2] = char(0x10);                  // echoed bits 4-5 = 1
    b[9] = char(0x07);
    for (int i = 27; i < 35; ++i)
        b[i] = char(0xFF);
    b[27] = char(0xFE); b[31] = char(0xFE);
    b[35] = char(0x05); b[36] = char(0x06); b[37] = char(0x07); b[38] = char(0x08);
}

void SimInstrument::setConfigByte(int ch, int index, quint8 value)
{
    QByteArray& c = cfg_[ch ? 1 : 0];
    if (index >= 0 && index < c.size())
        c[index] = char(value);
}

quint32 SimInstrument::time_limit_s() const
{
    const QByteArray& a = cfg_[0];
    if (!(at(a, 3) & 0x20))
        return 0;
    return quint32(at(a, 7)) * 86400u + quint32(at(a, 8)) * 3600u + quint32(at(a, 9)) * 60u;
}

quint32 SimInstrument::rand()
{
    // xorshift64*: the same seed gives the same test every time.
    rng_ ^= rng_ >> 12;
    rng_ ^= rng_ << 25;
    rng_ ^= rng_ >> 27;
    return quint32((rng_ * 0x2545F4914F6CDD1DULL) >> 32);
}

bool SimInstrument::handle(quint8 code, const QByteArray& payload, QByteArray* reply)
{
    const cmd::Info* info = cmd::find(code);
    if (!info || payload.size() < info->request_size)
        return false;
    const uchar* p = wire::bytes(payload);
    reply->clear();
    switch (code) {
    case cmd::GET_RESULTS_A:
    case cmd::GET_RESULTS_B:
        *reply = resultsPayload(cmd::channel(code));
        break;
    case cmd::GET_CURRENT_RECORD:
        *reply = currentRecordPayload();
        break;
    case cmd::GET_RECORD:
        *reply = recordPayload(int(wire::be16(p)));
        break;
    case cmd::GET_CFG_A:
    case cmd::GET_CFG_B:
        chan_[cmd::channel(code)].config_changed = false;
        *reply = cfg_[cmd::channel(code)];
        break;
    case cmd::GET_IDENTITY:
        reply->append(char(MODEL_CODE));
        reply->append(char(VERSION));
        break;
    default:
        apply(code, p);
        break;
    }
    return true;
}

// The settings commands written into the configuration bytes, so that the
// next configuration reply reads back what was sent.
void SimInstrument::apply(quint8 code, const uchar* p)
{
    QByteArray& a = cfg_[0];
    QByteArray& b = cfg_[1];
    switch (code) {
    case cmd::SET_BASE:
        setBits(a, 2, 0xC0, quint8(p[0] << 6));
        setBits(a, 3, 0x28, p[0]);          // joint settings (inverted) and limited time
        a[7] = char(p[1]);
        a[8] = char(p[2]);
        a[9] = char(p[3]);
        break;
    case cmd::SET_SEQ:
        setBits(a, 2, 0x30, quint8(p[0] << 4));
        setBits(a, 19, 0x7C, p[0]);         // sequence and both inversions of A
        setBits(b, 2, 0x30, quint8(p[1] << 4));
        setBits(b, 10, 0x60, p[1]);
        a[20] = char(p[2]);
        a[21] = char(p[3]);
        a[22] = char(p[4]);
        a[23] = char(p[5]);
        a[24] = char(p[6]);
        break;
    case cmd::SET_FREQ_A:
        setBits(a, 0, 0xC0, quint8(p[0] << 6));
        setBits(a, 3, 0x03, quint8(p[0] >> 2));
        setBits(a, 2, 0x01, quint8(p[0] >> 4));
        a[10] = char(p[1]);
        break;
    case cmd::SET_FREQ_B:
        setBits(b, 0, 0xC0, quint8(p[0] << 6));
        setBits(b, 2, 0xC0, quint8(p[0] << 4));
        setBits(b, 2, 0x04, quint8(p[0] >> 2));
        b[6] = char(p[1]);
        break;
    case cmd::SET_LINEAR:
        setBits(a, 18, 0x3F, p[0]);
        setBits(b, 9, 0x7F, p[1]);
        break;
    case cmd::SET_ERROR_A:
    case cmd::SET_ERROR_B: {
        const int ch = cmd::channel(code);
        QByteArray& c = cfg_[ch];
        setBits(c, 1, 0x1F, p[0]);
        c[ch ? 3 : 4] = char(p[1]);
        chan_[ch].err_acc = 0;   // a new ratio starts afresh
        // Manual mode: every error command during a test inserts one error.
        if (running_ && ((p[0] >> 3) & 3) == 1)
            ++chan_[ch].manual_pending;
        break;
    }
    case cmd::SET_DEFECT_A:
    case cmd::SET_DEFECT_B:
        setBits(cfg_[cmd::channel(code)], 1, 0xC0, quint8(p[0] << 6));
        break;
    case cmd::SET_CYCLE_A:
    case cmd::SET_CYCLE_B: {
        // The command orders CRC-4 before CAS; the configuration the other way round.
        const quint8 v = quint8((p[0] & 0x09) | ((p[0] & 0x02) << 1) | ((p[0] & 0x04) >> 1)
                                | ((p[0] & 0x10) << 1) | ((p[0] & 0x20) >> 1));
        setBits(cfg_[cmd::channel(code)], 0, 0x3F, v);
        break;
    }
    case cmd::SET_CHANNEL_A:
    case cmd::SET_CHANNEL_B: {
        const int ch = cmd::channel(code);
        QByteArray& c = cfg_[ch];
        const int from = ch ? 27 : 41;
        for (int i = 0; i < 12; ++i)
            c[from + i] = char(p[i]);
        break;
    }
    case cmd::SET_JITTER:
        a[11] = char(p[0]);
        a[12] = char(p[1]);
        a[13] = char(p[2]);
        a[14] = char(p[3]);
        setBits(a, 1, 0x20, quint8(p[4] << 5));
        break;
    case cmd::START_STOP:
        if (p[0] == 1 && !running_)
            startTest();
        else if (p[0] == 0 && running_)
            stopTest();
        break;
    default:
        break;
    }
}

SimInstrument::Side SimInstrument::side(int ch) const
{
    const QByteArray& c = cfg_[ch ? 1 : 0];
    Side s;
    const quint8 f = at(c, 0);
    s.tx_framing = f & 1;
    s.tx_cas = (f >> 1) & 1;
    s.tx_crc4 = (f >> 2) & 1;
    s.rx_framing = (f >> 3) & 1;
    s.rx_cas = (f >> 4) & 1;
    s.rx_crc4 = (f >> 5) & 1;
    s.err_type = at(c, 1) & 7;
    s.err_mode = (at(c, 1) >> 3) & 3;
    s.defect = (at(c, 1) >> 6) & 3;
    if (ch == 0) {
        s.tx_line = at(c, 18) & 1;
        s.rx_line = (at(c, 18) >> 1) & 1;
        s.long_line = (at(c, 18) >> 3) & 1;
        s.rx_inv = (at(c, 19) >> 5) & 1;
        s.tx_inv = (at(c, 19) >> 6) & 1;
        s.err_rate = at(c, 4);
        s.freq_mode = at(c, 3) & 3;
        s.freq_offset = (at(c, 2) & 1) ? int(at(c, 10)) - 256 : int(at(c, 10));
        s.tx_mask = wire::le32(wire::bytes(c) + 41);
        s.rx_mask = wire::le32(wire::bytes(c) + 45);
    } else {
        s.tx_line = at(c, 9) & 1;
        s.rx_line = (at(c, 9) >> 1) & 1;
        s.long_line = (at(c, 9) >> 3) & 1;
        s.rx_inv = (at(c, 10) >> 5) & 1;
        s.tx_inv = (at(c, 10) >> 6) & 1;
        s.err_rate = at(c, 3);
        s.freq_mode = (at(c, 2) >> 6) & 3;
        s.freq_offset = (at(c, 2) & 4) ? int(at(c, 6)) - 256 : int(at(c, 6));
        s.tx_mask = wire::le32(wire::bytes(c) + 27);
        s.rx_mask = wire::le32(wire::bytes(c) + 31);
    }
    return s;
}

quint8 SimInstrument::alarms(int ch) const
{
    const Side s = side(ch);
    // A line code the receiver does not expect leaves it without a usable signal.
    if (signal_lost_[ch ? 1 : 0] || s.tx_line != s.rx_line)
        return ALARM_LOS;
    if (s.defect == 1)
        return ALARM_AIS;                  // AIS replaces the whole signal
    quint8 al = 0;
    if (s.defect == 2)
        al |= ALARM_RAI;
    if (s.defect == 3)
        al |= ALARM_MRAI;
    if (s.rx_framing && !s.tx_framing)
        return quint8(al | ALARM_LOF);
    if (s.rx_framing) {
        if (s.rx_cas && !s.tx_cas)
            al |= ALARM_LOMF;
        if (s.rx_crc4 && !s.tx_crc4)
            al |= ALARM_LOCRC;
    }
    // The receiver cannot lock to the test sequence: inverted, or looking at
    // timeslots that do not carry it.
    const bool framed = s.rx_framing && s.tx_framing;
    if (s.tx_inv != s.rx_inv || (framed && (s.rx_mask & ~s.tx_mask & ~1u)))
        al |= ALARM_PL;
    return al;
}

void SimInstrument::tickChannel(int ch)
{
    SimChannel& c = chan_[ch];
    const Side s = side(ch);
    const quint8 al = alarms(ch);
    if (al & ALARM_LOS)
        add24(c.counts[REC_NO_INPUT], 1);
    if (al & ALARM_AIS)
        add24(c.counts[REC_AIS], 1);
    if (al & ALARM_LOF)
        add24(c.counts[REC_LOF], 1);

    const quint32 inserted = insertErrors(c, s);
    const bool defect = al & (ALARM_LOS | ALARM_AIS | ALARM_LOF | ALARM_PL);
    Errors e;
    if (!defect) {
        e = receiveErrors(s, inserted);
        addNoise(e);
    }
    add24(c.counts[REC_CODE], e.code);
    add24(c.counts[REC_BIT], e.bit);
    add24(c.counts[REC_FRAME], e.frame);
    add24(c.counts[REC_CRC4], e.crc4);
    add24(c.counts[REC_EBIT], e.ebit);

    // G.821 / G.826 second: errored blocks from the bit, frame and CRC-4 errors;
    // severely errored on a defect, a bit error ratio of 1e-3 or 30 % errored blocks.
    const quint32 blocks = qMin<quint32>(BLOCKS_PER_S, e.bit + e.frame + e.crc4);
    const bool ses = defect || e.bit >= BITS_PER_S / 1000 || blocks >= BLOCKS_PER_S * 3 / 10;
    c.g821.second(ses || blocks > 0, ses, blocks);
}

// The errors the transmitter inserts this second: the single ones asked for
// since the last second, and those of the automatic ratio 10^-n, whole errors
// only, the fraction carried over exactly.
quint32 SimInstrument::insertErrors(SimChannel& c, const Side& s)
{
    quint32 n = c.manual_pending;
    c.manual_pending = 0;
    if (s.err_mode == 2 && s.err_rate >= 1 && s.err_rate <= 9) {
        quint64 unit = 1;
        for (int i = 0; i < s.err_rate; ++i)
            unit *= 10;
        c.err_acc += BITS_PER_S;
        n += quint32(c.err_acc / unit);
        c.err_acc %= unit;
    }
    return n;
}

// What the looped receiver counts of the inserted errors, by their kind: frame
// and CRC-4 errors need the framing that carries them, and a second has only
// so many frames and blocks.
SimInstrument::Errors SimInstrument::receiveErrors(const Side& s, quint32 inserted)
{
    const bool framed = s.rx_framing && s.tx_framing;
    const bool crc = framed && s.rx_crc4 && s.tx_crc4;
    Errors e;
    switch (s.err_type) {
    case 0: e.bit = inserted; break;
    case 1: e.code = inserted; break;
    case 2: case 3: e.frame = framed ? qMin(inserted, FRAMES_PER_S) : 0; break;
    case 4: case 6: e.crc4 = crc ? qMin(inserted, BLOCKS_PER_S) : 0; break;
    default: e.ebit = crc ? qMin(inserted, BLOCKS_PER_S) : 0; break;
    }
    return e;
}

// A stray error now and then on a line that carries the signal.
void SimInstrument::addNoise(Errors& e)
{
    if (noise_ && rand() % 40 == 0) {
        ++e.bit;
        ++e.code;
    }
}

void SimInstrument::tick()
{
    if (!running_)
        return;
    ++elapsed_;
    tickChannel(0);
    tickChannel(1);
    if (elapsed_ % RECORD_PERIOD_S == 0)
        storeRecord();
    const quint32 limit = time_limit_s();
    if ((at(cfg_[0], 3) & 0x20) && elapsed_ >= limit)
        stopTest(true);
}

void SimInstrument::startTest()
{
    running_ = true;
    elapsed_ = 0;
    for (SimChannel& c : chan_) {
        const bool changed = c.config_changed;
        c = SimChannel();
        c.config_changed = changed;
    }
    records_.clear();
    setBits(cfg_[0], 3, 0x10, 0x10);
}

void SimInstrument::stopTest(bool by_itself)
{
    if (!running_)
        return;
    running_ = false;
    // The record in progress is kept with the final counts.
    storeRecord();
    setBits(cfg_[0], 3, 0x10, 0x00);
    if (by_itself)
        chan_[0].config_changed = true;
}

void SimInstrument::jitterNow(quint16* jitter, quint16* jitter_hf)
{
    const QByteArray& a = cfg_[0];
    const int wobble = noise_ ? int(rand() % 5) - 2 : 0;
    if (at(a, 1) & 0x20) {
        const int amp = int(wire::be16(wire::bytes(a) + 13));
        *jitter = quint16(qMax(0, amp + wobble));
        *jitter_hf = quint16(qMax(0, amp * 4 / 10 + wobble));
    } else {
        // The receiver's own floor.
        *jitter = quint16(qMax(0, 3 + wobble));
        *jitter_hf = quint16(qMax(0, 1 + wobble / 2));
    }
}

SimRecord SimInstrument::snapshot(quint32 time_s)
{
    SimRecord r;
    r.time_s = time_s;
    jitterNow(&r.jitter, &r.jitter_hf);
    for (int ch = 0; ch < 2; ++ch) {
        const quint32* k = chan_[ch].counts;
        std::copy(k, k + COUNTERS_PER_CHANNEL, r.counters + ch * COUNTERS_PER_CHANNEL);
    }
    return r;
}

void SimInstrument::storeRecord()
{
    if (records_.size() < MAX_RECORDS)
        records_.append(snapshot(quint32(records_.size()) * RECORD_PERIOD_S));
}

QByteArray SimInstrument::encodeRecord(int number, const SimRecord& r) const
{
    using wire::to_bcd;
    QByteArray p;
    wire::put_be16(p, quint32(number));
    const quint32 t = r.time_s;
    p.append(char(to_bcd(qMin<quint32>(t / 86400, 99))));
    p.append(char(to_bcd(t / 3600 % 24)));
    p.append(char(to_bcd(t / 60 % 60)));
    p.append(char(to_bcd(t % 60)));
    wire::put_be16(p, r.jitter);
    wire::put_be16(p, r.jitter_hf);
    for (quint32 v : r.counters)
        putCount(p, v);
    return p;
}

QByteArray SimInstrument::currentRecordPayload()
{
    if (running_) {
        // The record in progress: the next number, its start time, the counts so far.
        if (records_.size() >= MAX_RECORDS)
            return encodeRecord(records_.size() - 1, records_.last());
        return encodeRecord(records_.size(), snapshot(quint32(records_.size()) * RECORD_PERIOD_S));
    }
    if (records_.isEmpty())
        return encodeRecord(0, SimRecord());
    return encodeRecord(records_.size() - 1, records_.last());
}

QByteArray SimInstrument::recordPayload(int n)
{
    if (n >= 0 && n < records_.size())
        return encodeRecord(n, records_.at(n));
    if (running_ && n == records_.size())
        return currentRecordPayload();
    SimRecord none;
    return encodeRecord(n, none);
}

quint32 SimInstrument::frequency(int ch)
{
    const Side s = side(ch);
    qint64 f = NOMINAL_HZ;
    if (s.freq_mode == 1)
        f += s.freq_offset;
    else if (s.freq_mode == 2)
        f += noise_ ? qint64(rand() % 7) - 3 : 0;
    if (noise_)
        f += qint64(rand() % 3) - 1;
    return quint32(f);
}

QByteArray SimInstrument::resultsPayload(int ch)
{
    const SimChannel& c = chan_[ch];
    const quint8 al = alarms(ch);
    QByteArray p;
    putCount(p, elapsed_);
    for (quint32 v : c.counts)
        putCount(p, v);
    putCount(p, c.g821.available_s());
    putCount(p, c.g821.errored_s());
    putCount(p, c.g821.severely_errored_s());
    putCount(p, c.g821.bbe());
    p.append(char(al));
    const bool los = al & ALARM_LOS;
    // Level index: a short loop cable, or a long-line attenuator; nothing without a signal.
    p.append(char(los ? 15 : (side(ch).long_line ? 9 : 1)));
    p.append(char(c.config_changed ? 1 : 0));
    if (ch == 0) {
        quint16 j = 0, jhf = 0;
        jitterNow(&j, &jhf);
        wire::put_be16(p, j);
        wire::put_be16(p, jhf);
    }
    putCount(p, los ? 0 : frequency(ch));
    return p;
}
