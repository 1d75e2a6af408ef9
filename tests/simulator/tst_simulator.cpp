// The simulated instrument on its own: the configuration follows every
// settings command, a limited test stops itself and says so, records are
// stored every 10 s, and the injected reply faults do what they claim.

#include "proto/modelhost.h"
#include "proto/proto.h"
#include "simulator/simbackend.h"
#include "usb/backendchoice.h"

#include <QCommandLineParser>
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

    SimBackend sim;
    usb::Handle handle = nullptr;
    bool opened = false;
};

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

// Every setting away from the instrument's starting configuration, one line per command.
void changeEverything(Model& m)
{
    CommonSettings& c = m.common;
    c.rxtx_jointly = 0; c.timed_measurement = 1; c.meas_days = 2; c.meas_hours = 3; c.meas_minutes = 4;
    c.seq_type = 5; c.word = 0xBEEF; c.alt_word = 0x1357; c.word_switch_loop = 77;
    m.rx[0].inversion = 1; m.tx[0].inversion = 0; m.rx[1].inversion = 0; m.tx[1].inversion = 1;
    m.tx[0].clock_source = 2; m.tx[0].freq_mode = 1; m.tx[0].freq_offset = -123;
    m.tx[1].clock_source = 1; m.tx[1].freq_mode = 2; m.tx[1].freq_offset = 45;
    m.tx[0].line_code = 0; m.rx[0].line_code = 1; m.rx[0].long_line = 1; m.rx[0].extra_gain = 3;
    m.tx[1].line_code = 1; m.rx[1].line_code = 0; m.rx[1].long_line = 0; m.rx[1].extra_gain = 2;
    m.tx[1].sync_signal = 1;
    m.tx[0].err_type = 5; m.tx[0].err_mode = 2; m.tx[0].err_rate_exp = 6;
    m.tx[1].err_type = 4; m.tx[1].err_mode = 1; m.tx[1].err_rate_exp = 7;
    m.tx[0].defect_on = 1; m.tx[0].defect_type = 2;
    m.tx[1].defect_on = 1; m.tx[1].defect_type = 0;
    m.tx[0].framing = 1; m.tx[0].cas = 1; m.tx[0].crc4 = 0; m.rx[0].framing = 1; m.rx[0].cas = 0; m.rx[0].crc4 = 1;
    m.tx[1].framing = 0; m.tx[1].cas = 1; m.tx[1].crc4 = 1; m.rx[1].framing = 1; m.rx[1].cas = 1; m.rx[1].crc4 = 0;
    m.tx[0].timeslot_mask = 0x0000FFFE; m.rx[0].timeslot_mask = 0xFFFF0001;
    m.tx[1].timeslot_mask = 0x80000002; m.rx[1].timeslot_mask = 0x7FFFFFFE;
    m.tx[0].jitter_freq = 12340; m.tx[0].jitter_amplitude = 2.5; m.tx[0].jitter_on = 1;
}

} // namespace

class TstSimulator : public QObject {
    Q_OBJECT

private slots:
    void configurationFollowsEverySettingsCommand_data();
    void configurationFollowsEverySettingsCommand();
    void timeLimitStopsAndFlagsTheResults();
    void recordsEveryTenSeconds();
    void replyFaults();
    void speedOption_data();
    void speedOption();
    void realTimeClockRunsAtItsSpeed();
};

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
    QVERIFY(b.opened);
    Host orig;
    QCOMPARE(b.send(orig, 0x88), quint8(0x88));
    QCOMPARE(b.send(orig, 0xC8), quint8(0xC8));
    QCOMPARE(orig.raw_cfg[0].size(), 54);
    QCOMPARE(orig.raw_cfg[1].size(), 40);
    const QByteArray before[2] = {b.sim.instrument().config(0), b.sim.instrument().config(1)};
    Host sender;
    b.send(sender, 0x88);
    b.send(sender, 0xC8);
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

    // Nothing outside the command's group moved.
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

void TstSimulator::timeLimitStopsAndFlagsTheResults()
{
    Bench b;
    Host h;
    b.send(h, 0x88);
    b.send(h, 0xC8);
    h.common.timed_measurement = 1;
    h.common.meas_minutes = 2;
    b.send(h, 0x03);
    QCOMPARE(b.sim.instrument().time_limit_s(), 120u);
    QCOMPARE(b.send(h, 0x0E), quint8(0x0E));
    QVERIFY(b.sim.instrument().running());
    QCOMPARE(h.common.test_running, quint8(1));
    b.sim.advance(119000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].elapsed_s, 119u);
    QCOMPARE(h.results[0].status_flags & 1, 0);

    b.sim.advance(1000);
    QVERIFY(!b.sim.instrument().running());
    // Told through channel A's results until its configuration is read.
    b.send(h, 0x80);
    QCOMPARE(h.results[0].status_flags & 1, 1);
    b.send(h, 0xC0);
    QCOMPARE(h.results[1].status_flags & 1, 0);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].status_flags & 1, 1);
    b.send(h, 0x88);
    QCOMPARE(h.common.test_running, quint8(0));
    b.sim.advance(5000);
    b.send(h, 0x80);
    QCOMPARE(h.results[0].status_flags & 1, 0);
    QCOMPARE(h.results[0].elapsed_s, 120u);

    // A stop by the user says nothing in the results.
    h.common.timed_measurement = 0;
    b.send(h, 0x03);
    b.send(h, 0x0E);
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
    b.sim.instrument().startTest();
    // 204.8 bit errors a second on channel B (1e-4).
    h.tx[1].err_mode = 2;
    h.tx[1].err_rate_exp = 4;
    h.tx[1].err_type = 0;
    b.send(h, 0x47);
    b.sim.advance(35000);
    QCOMPARE(b.sim.instrument().storedRecords(), 3);
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(b.send(h, 0x87, k), quint8(0x87));
        QCOMPARE(h.scratch_record.number, quint32(k));
        QCOMPARE(h.scratch_record.time_s, quint32(10 * k));
        // Cumulative counts at the record's end.
        QCOMPARE(h.scratch_record.counters[8 + REC_BIT], quint32(2048 * (k + 1)));
        QCOMPARE(h.scratch_record.counters[REC_BIT], 0u);
    }
    // The poll carries the record in progress.
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.number, 3u);
    QCOMPARE(h.scratch_record.counters[8 + REC_BIT], 7168u);

    // Stopped at 37 s: the record in progress is kept with the final counts.
    b.sim.advance(2000);
    b.sim.instrument().stopTest();
    QCOMPARE(b.sim.instrument().storedRecords(), 4);
    b.send(h, 0x87, 3);
    QCOMPARE(h.scratch_record.number, 3u);
    QCOMPARE(h.scratch_record.counters[8 + REC_BIT], quint32(37 * 2048 / 10));
    b.sim.advance(60000);
    QCOMPARE(b.sim.instrument().storedRecords(), 4);

    // A new test starts a new list.
    b.sim.instrument().startTest();
    b.send(h, 0x86);
    QCOMPARE(h.scratch_record.number, 0u);
    QCOMPARE(h.scratch_record.counters[8 + REC_BIT], 0u);
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
    QCOMPARE(b.exchange(poll), normal);

    b.sim.corruptReply();
    const QByteArray r = b.exchange(poll);
    QCOMPARE(r.left(52), normal.left(52));
    QVERIFY(r.at(52) != normal.at(52));

    // Split: the first part now, the rest at a later look.
    b.sim.splitReply(0x80, 5);
    QCOMPARE(b.exchange(poll), normal.left(5));
    QCOMPARE(b.take(), normal.mid(5));
}

void TstSimulator::speedOption_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status"); // -1: the program goes on
    QTest::addColumn<double>("speed");
    QTest::newRow("default") << QStringList{"--simulator"} << -1 << 1.0;
    QTest::newRow("fast") << QStringList{"--simulator", "--simulator-speed=60"} << -1 << 60.0;
    QTest::newRow("zero") << QStringList{"--simulator", "--simulator-speed", "0"} << 2 << 0.0;
    QTest::newRow("not a number") << QStringList{"--simulator", "--simulator-speed", "fast"} << 2 << 0.0;
    QTest::newRow("no simulator") << QStringList{"--simulator-speed", "10"} << 2 << 0.0;
}

void TstSimulator::speedOption()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(double, speed);
    QCommandLineParser parser;
    double given = 0.0;
    const auto factory = [&given](const usb::BackendOptions& o) {
        given = o.simulatorSpeed;
        return std::make_unique<SimBackend>();
    };
    QCOMPARE(usb::chooseBackend(parser, QStringList{"kelm"} + args, factory), status);
    usb::setBackend(nullptr);
    QCOMPARE(given, speed);
}

void TstSimulator::realTimeClockRunsAtItsSpeed()
{
    QElapsedTimer wall;
    wall.start();
    const std::unique_ptr<usb::Backend> b = SimBackend::createRealTime(200);
    auto* sim = static_cast<SimBackend*>(b.get());
    usb::Handle h = nullptr;
    QCOMPARE(sim->open(0, &h), usb::SUCCESS);
    sim->instrument().startTest();
    QTest::qSleep(100);
    quint32 n = 0, status = 0;
    QCOMPARE(sim->checkRXQueue(h, &n, &status), usb::SUCCESS); // the clock catches up at every call
    const qint64 upper = wall.elapsed() * 200 / 1000;
    QVERIFY2(sim->instrument().elapsed_s() >= 19 && sim->instrument().elapsed_s() <= upper,
             qPrintable(QString::number(sim->instrument().elapsed_s())));
}

QTEST_GUILESS_MAIN(TstSimulator)
#include "tst_simulator.moc"
