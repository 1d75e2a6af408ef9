#pragma once
// The PC-side mirror of the instrument: configuration, live results and the
// timed records of the running test. Plain data, zero-initialised; the reply
// decoder fills it, the panels edit the settings, everything else reads it.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

struct CommonSettings {
    quint8 seq_type = 0;
    quint8 word_switch_loop = 0;
    quint16 word = 0;
    quint16 alt_word = 0;
    quint8 rxtx_jointly = 0;
    quint8 timed_measurement = 0;
    quint8 meas_days = 0;
    quint8 meas_hours = 0;
    quint8 meas_minutes = 0;
    quint8 test_running = 0;
};

struct TxSettings {
    quint8 clock_source = 0;
    quint8 freq_mode = 0;
    qint16 freq_offset = 0;
    quint8 line_code = 0;
    quint8 inversion = 0;
    quint8 framing = 0;
    quint8 cas = 0;
    quint8 crc4 = 0;
    quint8 sync_signal = 0;
    quint32 timeslot_mask = 0;
    quint8 err_type = 0;
    quint8 err_mode = 0;
    quint8 err_rate_exp = 0;
    quint8 defect_on = 0;
    quint8 defect_type = 0;
    quint8 jitter_on = 0;
    double jitter_amplitude = 0.0;
    quint32 jitter_freq = 0;
};

struct RxSettings {
    quint8 line_code = 0;
    quint8 inversion = 0;
    quint8 extra_gain = 0;
    quint8 long_line = 0;
    quint8 framing = 0;
    quint8 cas = 0;
    quint8 crc4 = 0;
    quint32 timeslot_mask = 0;
};

// In joint mode a receiver takes these settings from its channel's transmitter.
inline void follow_transmitter(const TxSettings& t, RxSettings* r)
{
    r->line_code = t.line_code;
    r->inversion = t.inversion;
    r->framing = t.framing;
    r->cas = t.cas;
    r->crc4 = t.crc4;
    r->timeslot_mask = t.timeslot_mask;
}

struct ChannelResults {
    quint32 signal_freq = 0;
    quint8 signal_level = 0;
    quint32 elapsed_s = 0;
    quint32 code_errors = 0;
    quint32 bit_errors = 0;
    quint32 frame_errors = 0;
    quint32 crc4_errors = 0;
    quint32 ebit_errors = 0;
    quint32 no_input_count = 0;
    quint32 ais_count = 0;
    quint32 lof_count = 0;
    quint8 alarms = 0;
    double jitter = 0.0;
    double jitter_hf = 0.0;
    quint32 available_s = 0;
    quint32 errored_s = 0;
    quint32 severely_errored_s = 0;
    quint32 bbe = 0;
    quint8 status_flags = 0;
};

// Counter indexes inside TableRecord::counters; channel B adds COUNTERS_PER_CHANNEL.
enum RecordCounter {
    REC_CODE = 0,
    REC_BIT = 1,
    REC_FRAME = 2,
    REC_CRC4 = 3,
    REC_EBIT = 4,
    REC_NO_INPUT = 5,
    REC_AIS = 6,
    REC_LOF = 7,
    COUNTERS_PER_CHANNEL = 8
};

struct TableRecord {
    quint32 number = 0;
    quint32 time_s = 0;
    double jitter = 0.0;
    double jitter_hf = 0.0;
    quint32 counters[16] = {};
};

// Alarm bits of ChannelResults::alarms.
enum AlarmBit : quint8 {
    ALARM_PL = 0x01,
    ALARM_MRAI = 0x02,
    ALARM_RAI = 0x04,
    ALARM_LOCRC = 0x08,
    ALARM_LOMF = 0x10,
    ALARM_LOF = 0x20,
    ALARM_AIS = 0x40,
    ALARM_LOS = 0x80
};

struct Model {
    quint8 device_id = 0;
    // The identity reply's second byte, the instrument's firmware version.
    quint8 device_version = 0;
    // An instrument has identified itself on the open link; cleared when the
    // link closes. Everything else stays as last received.
    bool identified = false;
    QByteArray raw_cfg[2];
    QList<TableRecord> records;
    CommonSettings common;
    TxSettings tx[2];
    RxSettings rx[2];
    ChannelResults results[2];
    TableRecord scratch_record;
    // Not the instrument's: the share of the end-to-end performance objectives
    // that the user allots to the path under test, percent (0.1..100). The
    // verdicts scale every objective by it; it lasts while the program runs.
    double allocation_pct = 100.0;
};
