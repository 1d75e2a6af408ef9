#pragma once
// The simulated two-channel E1 tester behind the USB pipe: it keeps the
// configuration the way the instrument reports it, answers every request of
// the packet protocol, runs the test on a clock that its owner drives, and
// stores a record every 10 seconds. Each channel's transmitter is looped to
// its own receiver, so injected errors and defects come back as results.

#include "proto/model.h"
#include "simulator/availability.h"

#include <QByteArray>
#include <QVector>
#include <QtGlobal>

// Cumulative results of one receiver since the start of the test.
struct SimChannel {
    // Errors and alarm seconds, in the order of a record's counters (REC_CODE ...).
    quint32 counts[COUNTERS_PER_CHANNEL] = {};
    Availability g821;
    // Status bit 0 of the results: the instrument changed this channel's
    // configuration by itself; cleared when the host asks for that configuration.
    bool config_changed = false;

    // Error insertion of the running test.
    quint64 err_acc = 0;           // bits sent at the automatic ratio since its last whole error
    quint32 manual_pending = 0;    // single errors requested since the last second
};

struct SimRecord {
    quint32 time_s = 0;
    quint16 jitter = 0;            // hundredths of a unit interval
    quint16 jitter_hf = 0;
    quint32 counters[16] = {};
};

class SimInstrument {
public:
    static constexpr int CFG_A_SIZE = 53;
    static constexpr int CFG_B_SIZE = 39;
    static constexpr quint8 MODEL_CODE = 10;
    static constexpr quint8 VERSION = 0x21;
    static constexpr int RECORD_PERIOD_S = 10;
    static constexpr int MAX_RECORDS = 65536;   // record numbers travel as 16 bits

    SimInstrument();

    // One request frame's code and payload -> the reply payload. Returns false
    // when the request is not answered (unknown code, payload too short).
    bool handle(quint8 code, const QByteArray& payload, QByteArray* reply);

    // One second of the instrument's clock (called by the owner while running).
    void tick();

    // Configuration as reported by 0x88 (channel 0) and 0xC8 (channel 1).
    const QByteArray& config(int ch) const { return cfg_[ch ? 1 : 0]; }
    void setConfigByte(int ch, int index, quint8 value);
    // As if changed on the instrument's own keys: the next results say so.
    void markConfigChanged(int ch) { chan_[ch ? 1 : 0].config_changed = true; }

    bool running() const { return running_; }
    quint32 elapsed_s() const { return elapsed_; }
    // Measurement time limit in seconds, or 0 when unlimited.
    quint32 time_limit_s() const;
    void startTest();
    // `by_itself`: the instrument ended the test (time limit), so it tells the
    // host through status bit 0 of channel A's next results.
    void stopTest(bool by_itself = false);

    const SimChannel& channel(int ch) const { return chan_[ch ? 1 : 0]; }
    // Alarm bits (LOS ... PL) the receiver of `ch` sees now.
    quint8 alarms(int ch) const;

    // Record k covers the test seconds [10k, 10k + 10): its time is 10k and its
    // counts are those at its end. It is stored when it closes (every 10 s, and
    // at the stop); until then it is the record in progress, numbered
    // storedRecords(), with the counts so far.
    int storedRecords() const { return records_.size(); }
    const SimRecord& record(int n) const { return records_.at(n); }
    // Payload of a 0x86 reply (the record in progress while running, else the last stored).
    QByteArray currentRecordPayload();
    // Payload of a 0x87 reply.
    QByteArray recordPayload(int n);

    QByteArray resultsPayload(int ch);

    // Deterministic background noise: a stray error now and then, a hertz of wander.
    void setNoise(bool on) { noise_ = on; }
    void setSeed(quint64 seed) { rng_ = seed ? seed : 1; }
    // No signal at this receiver (cable pulled): LOS.
    void setSignalLost(int ch, bool lost) { signal_lost_[ch ? 1 : 0] = lost; }

private:
    // The instrument reads its configuration bytes (side()) and writes the
    // settings commands into them (apply()) by itself, apart from the codec on
    // purpose: the round-trip tests compare the two, which is worth doing only
    // while they are independent. Only the command table, the frame and the
    // byte orders are shared.
    struct Side {
        int tx_framing, tx_cas, tx_crc4, rx_framing, rx_cas, rx_crc4;
        int tx_line, rx_line, tx_inv, rx_inv, long_line;
        quint32 tx_mask, rx_mask;
        int err_type, err_mode, err_rate, defect;
        int freq_mode, freq_offset;
    };
    // This second's errors at one receiver.
    struct Errors {
        quint32 code = 0, bit = 0, frame = 0, crc4 = 0, ebit = 0;
    };
    Side side(int ch) const;
    void apply(quint8 code, const uchar* p);
    void tickChannel(int ch);
    static quint32 insertErrors(SimChannel& c, const Side& s);
    static Errors receiveErrors(const Side& s, quint32 inserted);
    void addNoise(Errors& e);
    void storeRecord();
    SimRecord snapshot(quint32 time_s);
    QByteArray encodeRecord(int number, const SimRecord& r) const;
    quint32 frequency(int ch);
    void jitterNow(quint16* jitter, quint16* jitter_hf);
    quint32 rand();

    QByteArray cfg_[2];
    SimChannel chan_[2];
    QVector<SimRecord> records_;
    bool running_ = false;
    quint32 elapsed_ = 0;
    bool noise_ = true;
    bool signal_lost_[2] = {false, false};
    quint64 rng_ = 0x2545F4914F6CDD1DULL;
};
