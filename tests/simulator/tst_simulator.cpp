// The simulated instrument on its own: the configuration follows every
// settings command, the test runs and stops on its clock, records are stored
// every 10 s, results follow the injected errors and defects, and the bus
// behaves as the faults and the update restart say.

#include "modelhost.h"
#include "proto.h"
#include "simbackend.h"

#include <QtTest>

#include <functional>

namespace {

// A data model with its codec, standing in for the program's side.
struct Host : ModelHost {
    Host() : proto(new Proto(this)) {}
    Proto* proto;
};

// An open connection to a simulated instrument, exchanging whole frames.
class Bench {
public:
    Bench()
    {
        sim.instrument().setNoise(false);
        opened = sim.open(0, &handle) == usb::SUCCESS;
    }

    // Writes a frame and returns whatever the instrument queued in answer.
    QByteArray exchange(const QByteArray& frame)
    {
        quint32 written = 0;
        if (sim.write(handle, frame.constData(), quint32(frame.size()), &written) != usb::SUCCESS)
            return QByteArray("write failed");
        return take();
    }
    QByteArray take()
    {
        quint32 n = 0, status = 0;
        if (sim.checkRXQueue(handle, &n, &status) != usb::SUCCESS)
            return QByteArray("check failed");
        QByteArray buf(int(n), '\0');
        quint32 got = 0;
        if (n && sim.read(handle, buf.data(), n, &got) != usb::SUCCESS)
            return QByteArray("read failed");
        return buf.left(int(got));
    }
    // Sends the code encoded from `host`'s model and decodes the reply into it.
    quint8 send(Host& host, quint8 code, qint32 arg = 0)
    {
        return host.proto->decode(exchange(host.proto->encode(code, arg)));
    }
    QByteArray payload(Host& host, quint8 code, qint32 arg = 0)
    {
        const QByteArray r = exchange(host.proto->encode(code, arg));
        return r.mid(3, r.size() - 4);
    }

    SimBackend sim;
    usb::Handle handle = nullptr;
    bool opened = false;
};

QByteArray withChecksum(QByteArray f)
{
    f.append(char(inv_checksum(reinterpret_cast<const uchar*>(f.constData()), f.size())));
    return f;
}

// The instrument's identity reply: model code 10, version 0x21.
QByteArray identityReply() { return withChecksum(QByteArray::fromHex("a5048a0a21")); }

QByteArray frame(const QByteArray& body)
{
    QByteArray f;
    f.append(char(0xA5));
    f.append(char(body.size() + 1));
    f.append(body);
    f.append(char(inv_checksum(reinterpret_cast<const uchar*>(f.constData()), f.size())));
    return f;
}

// The model fields each settings command carries, compared between two models.
using Fields = std::function<void(const Model&, const Model&)>;

struct Row {
    quint8 code;
    Fields same;
};

#define SAME(field) QCOMPARE(b.field, a.field)

const QList<Row>& rows()
{
    static const QList<Row> r = {
        {0x03, [](const Model& a, const Model& b) {
             SAME(common.rxtx_jointly); SAME(common.timed_measurement); SAME(common.meas_days);
             SAME(common.meas_hours); SAME(common.meas_minutes);
         }},
        {0x04, [](const Model& a, const Model& b) {
             SAME(common.seq_type); SAME(common.word); SAME(common.alt_word); SAME(common.word_switch_loop);
             SAME(rx[0].inversion); SAME(tx[0].inversion); SAME(rx[1].inversion); SAME(tx[1].inversion);
         }},
        {0x05, [](const Model& a, const Model& b) {
             SAME(tx[0].clock_source); SAME(tx[0].freq_mode); SAME(tx[0].freq_offset);
         }},
        {0x45, [](const Model& a, const Model& b) {
             SAME(tx[1].clock_source); SAME(tx[1].freq_mode); SAME(tx[1].freq_offset);
         }},
        {0x06, [](const Model& a, const Model& b) {
             for (int ch = 0; ch < 2; ++ch) {
                 SAME(tx[ch].line_code); SAME(rx[ch].line_code); SAME(rx[ch].long_line); SAME(rx[ch].extra_gain);
             }
             SAME(tx[1].sync_signal);
         }},
        {0x07, [](const Model& a, const Model& b) {
             SAME(tx[0].err_type); SAME(tx[0].err_mode); SAME(tx[0].err_rate_exp);
         }},
        {0x47, [](const Model& a, const Model& b) {
             SAME(tx[1].err_type); SAME(tx[1].err_mode); SAME(tx[1].err_rate_exp);
         }},
        {0x08, [](const Model& a, const Model& b) { SAME(tx[0].defect_on); SAME(tx[0].defect_type); }},
        {0x48, [](const Model& a, const Model& b) { SAME(tx[1].defect_on); SAME(tx[1].defect_type); }},
        {0x09, [](const Model& a, const Model& b) {
             SAME(tx[0].framing); SAME(tx[0].cas); SAME(tx[0].crc4);
             SAME(rx[0].framing); SAME(rx[0].cas); SAME(rx[0].crc4);
         }},
        {0x49, [](const Model& a, const Model& b) {
             SAME(tx[1].framing); SAME(rx[1].framing); SAME(rx[1].cas); SAME(rx[1].crc4);
         }},
        {0x0C, [](const Model& a, const Model& b) { SAME(tx[0].timeslot_mask); SAME(rx[0].timeslot_mask); }},
        {0x4C, [](const Model& a, const Model& b) { SAME(tx[1].timeslot_mask); SAME(rx[1].timeslot_mask); }},
        {0x0D, [](const Model& a, const Model& b) {
             SAME(tx[0].jitter_freq); SAME(tx[0].jitter_amplitude); SAME(tx[0].jitter_on);
         }},
    };
    return r;
}

// Every setting away from the instrument's starting configuration.
void changeEverything(Model& m)
{
    m.common.rxtx_jointly = 0;
    m.common.timed_measurement = 1;
    m.common.meas_days = 2;
    m.common.meas_hours = 3;
    m.common.meas_minutes = 4;
    m.common.seq_type = 5;
    m.common.word = 0xBEEF;
    m.common.alt_word = 0x1357;
    m.common.word_switch_loop = 77;
    m.rx[0].inversion = 1;
    m.tx[0].inversion = 0;
    m.rx[1].inversion = 0;
    m.tx[1].inversion = 1;
    m.tx[0].clock_source = 2;
    m.tx[0].freq_mode = 1;
    m.tx[0].freq_offset = -123;
    m.tx[1].clock_source = 1;
    m.tx[1].freq_mode = 2;
    m.tx[1].freq_offset = 45;
    m.tx[0].line_code = 0;
    m.rx[0].line_code = 1;
    m.rx[0].long_line = 1;
    m.rx[0].extra_gain = 3;
    m.tx[1].line_code = 1;
    m.rx[1].line_code = 0;
    m.rx[1].long_line = 0;
    m.rx[1].extra_gain = 2;
    m.tx[1].sync_signal = 1;
    m.tx[0].err_type = 5;
    m.tx[0].err_mode = 2;
    m.tx[0].err_rate_exp = 6;
    m.tx[1].err_type = 4;
    m.tx[1].err_mode = 1;
    m.tx[1].err_rate_exp = 7;
    m.tx[0].defect_on = 1;
    m.tx[0].defect_type = 2;
    m.tx[1].defect_on = 1;
    m.tx[1].defect_type = 0;
    m.tx[0].framing = 1;
    m.tx[0].cas = 1;
    m.tx[0].crc4 = 0;
    m.rx[0].framing = 1;
    m.rx[0].cas = 0;
    m.rx[0].crc4 = 1;
    m.tx[1].framing = 0;
    m.tx[1].cas = 1;
    m.tx[1].crc4 = 1;
    m.rx[1].framing = 1;
    m.rx[1].cas = 1;
    m.rx[1].crc4 = 0;
    m.tx[0].timeslot_mask = 0x0000FFFE;
    m.rx[0].timeslot_mask = 0xFFFF0001;
    m.tx[1].timeslot_mask = 0x80000002;
    m.rx[1].timeslot_mask = 0x7FFFFFFE;
    m.tx[0].jitter_freq = 12340;
    m.tx[0].jitter_amplitude = 2.5;
    m.tx[0].jitter_on = 1;
}

// Alarm bits.
constexpr quint8 LOS = 0x80, AIS = 0x40, LOF = 0x20, LOMF = 0x10, LOCRC = 0x08, RAI = 0x04, MRAI = 0x02, PL = 0x01;

} // namespace

class TstSimulator : public QObject {
    Q_OBJECT

private slots:
    void identityAndStartingConfiguration();
    void configurationFollowsEverySettingsCommand_data();
    void configurationFollowsEverySettingsCommand();
    void unreadableRequestsAreNotAnswered();
    void startStopAndTimeLimit();
    void recordsEveryTenSeconds();
    void recordTimeInBcd();
    void errorsFollowTheTransmitters();
    void manualErrorsOnePerCommand();
    void defectsAndMismatchesRaiseAlarms();
    void unavailablePeriods();
    void frequencyAndJitter();
    void noiseIsDeterministic();
    void busFaults();
    void replyFaults();
    void updateModeAndRestart();
    void realTimeInstrumentAnswers();
};

void TstSimulator::identityAndStartingConfiguration()
{
    Bench b;
    QVERIFY(b.opened);
    Host h;
    QCOMPARE(b.send(h, 0x8A), quint8(0x8A));
    QCOMPARE(h.device_id, quint8(10));
    QCOMPARE(b.send(h, 0x88), quint8(0x88));
    QCOMPARE(b.send(h, 0xC8), quint8(0xC8));
    QCOMPARE(h.raw_cfg[0].size(), 54);
    QCOMPARE(h.raw_cfg[1].size(), 40);
    QCOMPARE(h.common.seq_type, quint8(2));
    QCOMPARE(h.common.meas_minutes, quint8(15));
    QCOMPARE(h.common.timed_measurement, quint8(0));
    QCOMPARE(h.common.rxtx_jointly, quint8(1));
    QCOMPARE(h.tx[0].line_code, quint8(1));
    QCOMPARE(h.tx[1].framing, quint8(1));
    QCOMPARE(h.rx[1].crc4, quint8(1));
    QCOMPARE(h.tx[0].timeslot_mask, 0xFFFFFFFEu);
    QCOMPARE(h.rx[1].timeslot_mask, 0xFFFFFFFEu);
    // Every request has a reply of the size the decoder needs.
    for (quint8 code : {0x80, 0xC0, 0x86, 0x87})
        QCOMPARE(b.payload(h, code).size(), Proto::reply_payload_size(code));
}

void TstSimulator::configurationFollowsEverySettingsCommand_data()
{
    QTest::addColumn<int>("row");
    for (int i = 0; i < rows().size(); ++i)
        QTest::newRow(qPrintable(QString("0x%1").arg(rows().at(i).code, 2, 16, QChar('0')))) << i;
}

void TstSimulator::configurationFollowsEverySettingsCommand()
{
    QFETCH(int, row);
    const Row& r = rows().at(row);
    Bench b;
    Host sender;
    b.send(sender, 0x88);
    b.send(sender, 0xC8);
    const QByteArray before[2] = {b.sim.instrument().config(0), b.sim.instrument().config(1)};
    changeEverything(sender);
    QCOMPARE(b.send(sender, r.code), r.code);

    Host reader;
    QCOMPARE(b.send(reader, 0x88), quint8(0x88));
    QCOMPARE(b.send(reader, 0xC8), quint8(0xC8));
    r.same(sender, reader);
    if (r.code == 0x49) {
        // Unframed: CAS and CRC-4 go out as 0, and come back as 0.
        QCOMPARE(reader.tx[1].cas, quint8(0));
        QCOMPARE(reader.tx[1].crc4, quint8(0));
    }

    // The bits the program echoes come back as the instrument had them.
    const QByteArray& a = b.sim.instrument().config(0);
    const QByteArray& bb = b.sim.instrument().config(1);
    QCOMPARE(quint8(a.at(2)) & 0xF0, quint8(before[0].at(2)) & 0xF0);
    QCOMPARE(quint8(a.at(18)) & 0x04, quint8(before[0].at(18)) & 0x04);
    QCOMPARE(a.mid(49, 4), before[0].mid(49, 4));
    QCOMPARE(quint8(bb.at(2)) & 0x30, quint8(before[1].at(2)) & 0x30);
    QCOMPARE(quint8(bb.at(9)) & 0x04, quint8(before[1].at(9)) & 0x04);
    QCOMPARE(bb.mid(35, 4), before[1].mid(35, 4));

    // Nothing outside the command's group moved: a second reader of a fresh
    // instrument agrees on every field the command does not carry.
    Bench fresh;
    Host orig;
    fresh.send(orig, 0x88);
    fresh.send(orig, 0xC8);
    for (const Row& other : rows()) {
        if (other.code == r.code)
            continue;
        other.same(orig, reader);
        if (QTest::currentTestFailed()) {
            qWarning("a field of command 0x%x moved", other.code);
            return;
        }
    }
    QCOMPARE(reader.common.test_running, quint8(0));
}

void TstSimulator::unreadableRequestsAreNotAnswered()
{
    Bench b;
    Host h;
    QByteArray good = h.proto->encode(0x8A);
    QByteArray bad = good;
    bad[3] = char(bad.at(3) ^ 1);
    QVERIFY(b.exchange(bad).isEmpty());
    QVERIFY(b.exchange(frame(QByteArray(1, char(0x10)))).isEmpty());      // unknown code
    QVERIFY(b.exchange(frame(QByteArray(1, char(0x87)))).isEmpty());      // record number missing
    QCOMPARE(b.exchange(good).size(), 6);
    QCOMPARE(b.sim.received().size(), 4);
}

void TstSimulator::startStopAndTimeLimit()
{
    Bench b;
    Host h;
    b.send(h, 0x88);
    b.send(h, 0xC8);
    // Starting while running and stopping while stopped change nothing.
    h.common.test_running = 1;
    QCOMPARE(b.send(h, 0x0E), quint8(0x0E));   // asks to stop: not running
    QVERIFY(!b.sim.instrument().running());
    h.common.test_running = 0;

    h.common.timed_measurement = 1;
    h.common.meas_minutes = 2;
    b.send(h, 0x03);
    QCOMPARE(b.sim.instrument().time_limit_s(), 120u);
    QCOMPARE(b.send(h, 0x0E), quint8(0x0E));
    QVERIFY(b.sim.instrument().running());
    QCOMPARE(h.common.test_running, quint8(1));
    b.send(h, 0x88);
    QCOMPARE(h.common.test_running, quint8(1));
    b.sim.advance(5000);
    h.common.test_running = 0;
    b.send(h, 0x0E);                              // a second start: ignored
    QCOMPARE(b.sim.instrument().elapsed_s(), 5u);
    b.sim.advance(114000);
    QVERIFY(b.sim.instrument().running());
    b.send(h, 0x80);
    QCOMPARE(h.results[0].elapsed_s, 119u);
    QCOMPARE(h.results[0].status_flags & 1, 0);

    b.sim.advance(1000);
    QVERIFY(!b.sim.instrument().running());
    QCOMPARE(b.sim.instrument().elapsed_s(), 120u);
    // Told through channel A's results until its configuration is read.
    b.send(h, 0x80);
    QCOMPARE(h.results[0].status_flags & 1, 1);
    b.send(h, 0xC0);
    QCOMPARE(h.results[1].status_flags & 1, 0);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].status_flags & 1, 1);
    b.send(h, 0x88);
    QCOMPARE(h.common.test_running, quint8(0));
    b.send(h, 0x80);
    QCOMPARE(h.results[0].status_flags & 1, 0);
    QCOMPARE(h.results[0].elapsed_s, 120u);
    b.sim.advance(5000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].elapsed_s, 120u);

    // A stop by the user says nothing in the results.
    h.common.test_running = 0;
    h.common.timed_measurement = 0;
    b.send(h, 0x03);
    b.send(h, 0x0E);
    QVERIFY(b.sim.instrument().running());
    b.sim.advance(3000);
    h.common.test_running = 1;
    b.send(h, 0x0E);
    QVERIFY(!b.sim.instrument().running());
    b.send(h, 0x80);
    QCOMPARE(h.results[0].status_flags & 1, 0);
    QCOMPARE(h.results[0].elapsed_s, 3u);
}

void TstSimulator::recordsEveryTenSeconds()
{
    Bench b;
    Host h;
    // Before any test: record 0, empty.
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.number, 0u);
    QCOMPARE(h.scratch_record.counters[REC_BIT], 0u);

    b.sim.instrument().startTest();
    b.sim.advance(500);
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.number, 0u);      // record 0 in progress
    b.send(h, 0x87, 0);
    QCOMPARE(h.scratch_record.number, 0u);
    // 204.8 bit errors a second on channel B (1e-4).
    h.tx[1].err_mode = 2;
    h.tx[1].err_rate_exp = 4;
    h.tx[1].err_type = 0;
    b.send(h, 0x47);
    b.sim.advance(34500);
    QCOMPARE(b.sim.instrument().storedRecords(), 3);
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(b.send(h, 0x87, k), quint8(0x87));
        QCOMPARE(h.scratch_record.number, quint32(k));
        QCOMPARE(h.scratch_record.time_s, quint32(10 * k));
        // Cumulative counts at the record's end.
        QCOMPARE(h.scratch_record.counters[8 + REC_BIT], quint32(2048 * (k + 1)));
        QCOMPARE(h.scratch_record.counters[REC_BIT], 0u);
    }
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.number, 3u);
    QCOMPARE(h.scratch_record.time_s, 30u);
    QCOMPARE(h.scratch_record.counters[8 + REC_BIT], 7168u);   // 35 s so far
    b.send(h, 0x87, 3);
    QCOMPARE(h.scratch_record.number, 3u);

    // Stopped at 37 s: the record in progress is kept with the final counts.
    b.sim.advance(2000);
    b.sim.instrument().stopTest();
    QCOMPARE(b.sim.instrument().storedRecords(), 4);
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.number, 3u);
    QCOMPARE(h.scratch_record.time_s, 30u);
    QCOMPARE(h.scratch_record.counters[8 + REC_BIT], quint32(37 * 2048 / 10));
    b.sim.advance(60000);
    QCOMPARE(b.sim.instrument().storedRecords(), 4);

    // A new test starts a new list.
    b.sim.instrument().startTest();
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.number, 0u);
    QCOMPARE(h.scratch_record.counters[8 + REC_BIT], 0u);
}

void TstSimulator::recordTimeInBcd()
{
    Bench b;
    Host h;
    b.sim.instrument().startTest();
    // 1 day, 12 h, 34 min, 50 s.
    const quint32 t = 86400 + 12 * 3600 + 34 * 60 + 50;
    b.sim.advance(qint64(t) * 1000 + 300);
    const QByteArray p = b.payload(h, 0x86);
    QCOMPARE(p.mid(2, 4), QByteArray::fromHex("01123450"));
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.time_s, t);
    QCOMPARE(h.scratch_record.number, t / 10);
}

void TstSimulator::errorsFollowTheTransmitters()
{
    Bench b;
    Host h;
    b.send(h, 0x88);
    b.send(h, 0xC8);
    // A: 1e-4 binary errors; B: 1e-5 CRC-4 errors.
    h.tx[0].err_mode = 2;
    h.tx[0].err_rate_exp = 4;
    h.tx[0].err_type = 0;
    b.send(h, 0x07);
    h.tx[1].err_mode = 2;
    h.tx[1].err_rate_exp = 5;
    h.tx[1].err_type = 4;
    b.send(h, 0x47);
    b.sim.instrument().startTest();
    b.sim.advance(100000);
    b.send(h, 0x80);
    b.send(h, 0xC0);
    const ChannelResults& a = h.results[0];
    const ChannelResults& r = h.results[1];
    QCOMPARE(a.elapsed_s, 100u);
    QCOMPARE(a.bit_errors, 20480u);
    QCOMPARE(a.code_errors, 0u);
    QCOMPARE(a.crc4_errors, 0u);
    QCOMPARE(r.crc4_errors, 2048u);
    QCOMPARE(r.bit_errors, 0u);
    QCOMPARE(a.alarms, quint8(0));
    QCOMPARE(r.alarms, quint8(0));
    // Every second errored, none severely (about 200 of 1000 blocks).
    QCOMPARE(a.available_s, 100u);
    QCOMPARE(a.errored_s, 100u);
    QCOMPARE(a.severely_errored_s, 0u);
    QCOMPARE(a.bbe, 20480u);
    QCOMPARE(r.errored_s, 100u);
    QCOMPARE(r.bbe, 2048u);

    // 1e-3 is severely errored; ten of them in a row make the time unavailable.
    h.tx[0].err_rate_exp = 3;
    b.send(h, 0x07);
    b.sim.advance(9000);
    b.send(h, 0x80);
    QCOMPARE(a.severely_errored_s, 9u);
    QCOMPARE(a.available_s, 109u);
    b.sim.advance(1000);
    b.send(h, 0x80);
    QCOMPARE(a.severely_errored_s, 0u);
    QCOMPARE(a.errored_s, 100u);
    QCOMPARE(a.available_s, 100u);
    QCOMPARE(a.elapsed_s, 110u);
    QCOMPARE(a.bit_errors, 20480u + 10 * 2048u);

    // Errors only where the receiver can see them: CRC-4 without CRC-4 framing.
    h.tx[1].crc4 = 0;
    h.rx[1].crc4 = 0;
    b.send(h, 0x49);
    b.sim.advance(10000);
    b.send(h, 0xC0);
    QCOMPARE(r.crc4_errors, 2252u);   // 110 s of 20.48 a second; none since
}

void TstSimulator::manualErrorsOnePerCommand()
{
    Bench b;
    Host h;
    b.send(h, 0x88);
    h.tx[0].err_mode = 1;
    h.tx[0].err_type = 1;
    b.send(h, 0x07);                 // before the test: nothing
    b.sim.instrument().startTest();
    for (int i = 0; i < 3; ++i)
        b.send(h, 0x07);
    b.sim.advance(1000);
    b.send(h, 0x07);
    b.sim.advance(1000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].code_errors, 4u);
    QCOMPARE(h.results[0].bit_errors, 0u);
    QCOMPARE(h.results[1].code_errors, 0u);
    // Off: the command inserts nothing.
    h.tx[0].err_mode = 0;
    b.send(h, 0x07);
    b.sim.advance(1000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].code_errors, 4u);
}

void TstSimulator::defectsAndMismatchesRaiseAlarms()
{
    Bench b;
    Host h;
    b.send(h, 0x88);
    b.send(h, 0xC8);
    b.sim.instrument().startTest();

    h.tx[0].defect_on = 1;
    h.tx[0].defect_type = 0;        // AIS
    b.send(h, 0x08);
    h.tx[1].defect_on = 1;
    h.tx[1].defect_type = 1;        // RAI
    b.send(h, 0x48);
    b.sim.advance(5000);
    b.send(h, 0x80);
    b.send(h, 0xC0);
    QCOMPARE(h.results[0].alarms, AIS);
    QCOMPARE(h.results[0].ais_count, 5u);
    QCOMPARE(h.results[0].severely_errored_s, 5u);
    QCOMPARE(h.results[1].alarms, RAI);
    QCOMPARE(h.results[1].ais_count, 0u);
    QCOMPARE(h.results[1].errored_s, 0u);
    h.tx[1].defect_type = 2;        // MRAI
    b.send(h, 0x48);
    b.send(h, 0xC0);
    QCOMPARE(h.results[1].alarms, MRAI);
    h.tx[0].defect_on = 0;
    b.send(h, 0x08);
    h.tx[1].defect_on = 0;
    b.send(h, 0x48);

    // Framing expected but not sent: loss of frame.
    h.tx[0].framing = 0;
    b.send(h, 0x09);
    b.sim.advance(2000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].alarms, LOF);
    QCOMPARE(h.results[0].lof_count, 2u);
    h.tx[0].framing = 1;
    h.tx[0].crc4 = 0;
    h.rx[0].cas = 1;
    b.send(h, 0x09);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].alarms, quint8(LOCRC | LOMF));

    // Line codes that differ: the receiver has no usable signal.
    h.tx[1].line_code = 0;
    b.send(h, 0x06);
    b.sim.advance(3000);
    b.send(h, 0xC0);
    QCOMPARE(h.results[1].alarms, LOS);
    QCOMPARE(h.results[1].no_input_count, 3u);
    QCOMPARE(h.results[1].signal_freq, 0u);
    QCOMPARE(h.results[1].signal_level, quint8(40));
    h.tx[1].line_code = 1;
    b.send(h, 0x06);

    // Inverted sequence or timeslots without it: pattern loss.
    h.tx[1].inversion = 1;
    b.send(h, 0x04);
    b.send(h, 0xC0);
    QCOMPARE(h.results[1].alarms, PL);
    h.tx[1].inversion = 0;
    h.tx[1].timeslot_mask = 0x0000FFFE;
    b.send(h, 0x04);
    b.send(h, 0x4C);
    b.send(h, 0xC0);
    QCOMPARE(h.results[1].alarms, PL);
    h.rx[1].timeslot_mask = 0x0000FFFE;
    b.send(h, 0x4C);
    b.send(h, 0xC0);
    QCOMPARE(h.results[1].alarms, quint8(0));

    // A pulled cable.
    b.sim.instrument().setSignalLost(0, true);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].alarms, LOS);

    // Whatever happened, the G.821 counts stay consistent.
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelResults& r = h.results[ch];
        QVERIFY(r.severely_errored_s <= r.errored_s);
        QVERIFY(r.errored_s <= r.available_s);
        QVERIFY(r.available_s <= r.elapsed_s);
    }
}

void TstSimulator::unavailablePeriods()
{
    Bench b;
    Host h;
    b.send(h, 0x88);
    b.sim.instrument().startTest();
    h.tx[0].defect_on = 1;
    b.send(h, 0x08);
    b.sim.advance(15000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].available_s, 0u);
    QCOMPARE(h.results[0].severely_errored_s, 0u);
    QCOMPARE(h.results[0].ais_count, 15u);
    h.tx[0].defect_on = 0;
    b.send(h, 0x08);
    b.sim.advance(9000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].available_s, 0u);
    // The tenth good second makes all ten available.
    b.sim.advance(1000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].available_s, 10u);
    b.sim.advance(5000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].available_s, 15u);
    QCOMPARE(h.results[0].elapsed_s, 30u);
    QCOMPARE(h.results[0].errored_s, 0u);
}

void TstSimulator::frequencyAndJitter()
{
    Bench b;
    Host h;
    b.send(h, 0x88);
    b.send(h, 0x80);
    b.send(h, 0xC0);
    QCOMPARE(h.results[0].signal_freq, 2048000u);
    QCOMPARE(h.results[1].signal_freq, 2048000u);
    QCOMPARE(h.results[0].signal_level, quint8(4));
    QCOMPARE(h.results[0].jitter, 0.03);
    h.tx[0].freq_mode = 1;
    h.tx[0].freq_offset = -5;
    b.send(h, 0x05);
    h.tx[0].jitter_on = 1;
    h.tx[0].jitter_amplitude = 1.25;
    b.send(h, 0x0D);
    h.rx[1].long_line = 1;
    b.send(h, 0x06);
    b.send(h, 0x80);
    b.send(h, 0xC0);
    QCOMPARE(h.results[0].signal_freq, 2047995u);
    QCOMPARE(h.results[0].jitter, 1.25);
    QCOMPARE(h.results[0].jitter_hf, 0.5);
    QCOMPARE(h.results[1].signal_level, quint8(24));
    // Records carry channel A's jitter.
    b.sim.instrument().startTest();
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.jitter, 1.25);
}

void TstSimulator::noiseIsDeterministic()
{
    auto run = [](quint64 seed) {
        SimBackend sim;
        sim.instrument().setSeed(seed);
        sim.instrument().startTest();
        sim.advance(600000);
        return sim.instrument().resultsPayload(0) + sim.instrument().resultsPayload(1);
    };
    const QByteArray one = run(7);
    QCOMPARE(run(7), one);
    QVERIFY(run(8) != one);
    // Some background errors, but few.
    SimBackend sim;
    sim.instrument().startTest();
    sim.advance(600000);
    const SimChannel& c = sim.instrument().channel(0);
    QVERIFY(c.bit > 0 && c.bit < 60);
    QVERIFY(c.errored == c.bit);
    QCOMPARE(c.severely, 0u);
}

void TstSimulator::busFaults()
{
    SimBackend sim;
    quint32 n = 9;
    QCOMPARE(sim.getNumDevices(&n), quint32(usb::SUCCESS));
    QCOMPARE(n, 1u);
    char text[256];
    QCOMPARE(sim.getDeviceString(0, text, 2), quint32(usb::SUCCESS));
    QCOMPARE(sim.getDeviceString(1, text, 2), quint32(usb::DEVICE_NOT_FOUND));

    // Each kind of call fails once on request, with the status asked for.
    using C = SimBackend::Call;
    sim.failNext(C::Count, 11);
    QCOMPARE(sim.getNumDevices(&n), 11u);
    QCOMPARE(sim.getNumDevices(&n), 0u);
    sim.failNext(C::DeviceString);
    QCOMPARE(sim.getDeviceString(0, text, 2), quint32(usb::SYSTEM_ERROR_CODE));
    usb::Handle h = nullptr;
    sim.failNext(C::Open, 255, 2);
    QCOMPARE(sim.open(0, &h), 255u);
    QCOMPARE(sim.open(0, &h), 255u);
    QCOMPARE(sim.open(0, &h), 0u);
    QVERIFY(sim.isOpen());
    usb::Handle other = nullptr;
    QCOMPARE(sim.open(0, &other), quint32(usb::DEVICE_NOT_FOUND));   // already open
    const QByteArray id = QByteArray::fromHex("a5028ace");
    quint32 w = 0, q = 0;
    sim.failNext(C::BeforeWrite);
    QCOMPARE(sim.beforeWrite(h, 0, 0), quint32(usb::SYSTEM_ERROR_CODE));
    QCOMPARE(sim.beforeWrite(h, 0, 0), 0u);
    sim.failNext(C::Write);
    QCOMPARE(sim.write(h, id.constData(), 4, &w), quint32(usb::SYSTEM_ERROR_CODE));
    QCOMPARE(sim.write(h, id.constData(), 4, &w), 0u);
    QCOMPARE(w, 4u);
    sim.failNext(C::CheckRXQueue);
    QCOMPARE(sim.checkRXQueue(h, &n, &q), quint32(usb::SYSTEM_ERROR_CODE));
    QCOMPARE(sim.checkRXQueue(h, &n, &q), 0u);
    QCOMPARE(n, 6u);
    char buf[16];
    sim.failNext(C::Read);
    QCOMPARE(sim.read(h, buf, n, &w), quint32(usb::SYSTEM_ERROR_CODE));
    QCOMPARE(sim.read(h, buf, n, &w), 0u);
    QCOMPARE(QByteArray(buf, 6), identityReply());

    // Two instruments on the bus.
    sim.setDeviceCount(2);
    QCOMPARE(sim.getNumDevices(&n), 0u);
    QCOMPARE(n, 2u);
    sim.setDeviceCount(1);

    // Unplugged: the count is 0 and the open handle is dead, also after plugging back.
    sim.write(h, id.constData(), 4, &w);
    sim.unplug();
    QCOMPARE(sim.getNumDevices(&n), 0u);
    QCOMPARE(n, 0u);
    QVERIFY(sim.checkRXQueue(h, &n, &q) != 0);
    QVERIFY(sim.write(h, id.constData(), 4, &w) != 0);
    QVERIFY(sim.open(0, &other) != 0);
    sim.plug();
    QVERIFY(sim.checkRXQueue(h, &n, &q) != 0);
    QCOMPARE(sim.open(0, &other), 0u);
    QVERIFY(other != h);
    QCOMPARE(sim.opens(), 2);
    // Nothing of the old connection is waiting.
    QCOMPARE(sim.checkRXQueue(other, &n, &q), 0u);
    QCOMPARE(n, 0u);
    QCOMPARE(sim.close(other), 0u);
    QVERIFY(sim.close(other) != 0);
}

void TstSimulator::replyFaults()
{
    Bench b;
    Host h;
    const QByteArray poll = h.proto->encode(0x80);
    const QByteArray normal = b.exchange(poll);
    QCOMPARE(normal.size(), 53);

    // Aimed at a code: other requests are answered normally meanwhile.
    b.sim.dropReply(0x80);
    QCOMPARE(b.exchange(h.proto->encode(0x8A)).size(), 6);
    QVERIFY(b.exchange(poll).isEmpty());
    QCOMPARE(b.exchange(poll).size(), 53);

    b.sim.foreignReply(0x80);
    QByteArray r = b.exchange(poll);
    QCOMPARE(r.size(), 53);
    QVERIFY(quint8(r.at(2)) != 0x80);
    QCOMPARE(inv_checksum(reinterpret_cast<const uchar*>(r.constData()), r.size() - 1), quint8(r.at(r.size() - 1)));

    b.sim.corruptReply();
    r = b.exchange(poll);
    QCOMPARE(r.size(), 53);
    QCOMPARE(r.left(52), normal.left(52));
    QVERIFY(r.at(52) != normal.at(52));

    // Split: the first part now, the rest at a later look.
    b.sim.splitReply(0x80, 5);
    r = b.exchange(poll);
    QCOMPARE(r, normal.left(5));
    QCOMPARE(b.take(), normal.mid(5));

    // Delayed replies appear on the instrument's clock.
    b.sim.setReplyDelay(50);
    QVERIFY(b.exchange(poll).isEmpty());
    b.sim.advance(49);
    QVERIFY(b.take().isEmpty());
    b.sim.advance(1);
    QCOMPARE(b.take(), normal);
}

void TstSimulator::updateModeAndRestart()
{
    Bench b;
    Host h;
    // A remote-program frame first: the instrument answers it normally.
    QCOMPARE(b.exchange(h.proto->encode(0x8A)).size(), 6);
    b.sim.instrument().startTest();
    QCOMPARE(b.exchange(QByteArray(1, char(0xA3))), QByteArray(1, char(0xA3)));
    QVERIFY(b.sim.inUpdateMode());
    QVERIFY(!b.sim.instrument().running());
    QCOMPARE(b.exchange(QByteArray("SQ")), QByteArray("P"));
    QByteArray q("Q");
    q.append(char(2));
    q.append("\x01\x02", 2);
    q.append(char(0xA9));
    QCOMPARE(b.exchange(q), QByteArray("P"));
    QCOMPARE(b.exchange(QByteArray("SR")), QByteArray("P"));
    QCOMPARE(b.exchange(QByteArray::fromHex("5200ad")), QByteArray("P"));
    QCOMPARE(b.sim.updatePeer().sectionQ(), QByteArray("\x01\x02", 2));
    // Frames of the remote program go to the update peer too now.
    QVERIFY(b.exchange(h.proto->encode(0x8A)) != identityReply());

    // The end packet: its answer can be read, then the instrument is gone for 3 s.
    const QByteArray end = b.exchange(QByteArray("U"));
    QCOMPARE(end.size(), 1);
    QVERIFY(end != QByteArray("P"));
    QVERIFY(b.sim.restarting());
    quint32 n = 0, st = 0;
    QCOMPARE(b.sim.getNumDevices(&n), 0u);
    QCOMPARE(n, 0u);
    QVERIFY(b.sim.checkRXQueue(b.handle, &n, &st) != 0);
    char text[256];
    QVERIFY(b.sim.getDeviceString(0, text, 2) != 0);
    usb::Handle again = nullptr;
    QVERIFY(b.sim.open(0, &again) != 0);
    b.sim.advance(SimBackend::RESTART_MS - 1);
    QCOMPARE(b.sim.getNumDevices(&n), 0u);
    QCOMPARE(n, 0u);
    b.sim.advance(1);
    QCOMPARE(b.sim.getNumDevices(&n), 0u);
    QCOMPARE(n, 1u);
    QVERIFY(!b.sim.inUpdateMode());
    QVERIFY(!b.sim.restarting());
    QVERIFY(b.sim.updatePeer().sectionQ().isEmpty());
    QCOMPARE(b.sim.open(0, &b.handle), 0u);
    QCOMPARE(b.exchange(h.proto->encode(0x8A)), identityReply());

    // An end answer nobody reads: gone a second later anyway.
    b.exchange(QByteArray(1, char(0xA3)));
    quint32 w = 0;
    QCOMPARE(b.sim.write(b.handle, "U", 1, &w), 0u);
    QVERIFY(b.sim.present());
    b.sim.advance(1000);
    QVERIFY(!b.sim.present());
    b.sim.advance(SimBackend::RESTART_MS);
    QVERIFY(b.sim.present());
}

void TstSimulator::realTimeInstrumentAnswers()
{
    std::unique_ptr<usb::Backend> be = SimBackend::createRealTime();
    quint32 n = 0;
    QCOMPARE(be->getNumDevices(&n), 0u);
    QCOMPARE(n, 1u);
    usb::Handle h = nullptr;
    QCOMPARE(be->open(0, &h), 0u);
    const QByteArray id = QByteArray::fromHex("a5028ace");
    quint32 w = 0, q = 0;
    QCOMPARE(be->write(h, id.constData(), 4, &w), 0u);
    QCOMPARE(be->checkRXQueue(h, &n, &q), 0u);
    QCOMPARE(n, 6u);
    char buf[8];
    QCOMPARE(be->read(h, buf, n, &w), 0u);
    QCOMPARE(QByteArray(buf, 6), identityReply());
    QCOMPARE(be->close(h), 0u);
}

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"
