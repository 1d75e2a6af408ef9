// Codec tests: framing, every command and reply layout, the rules that decide what the model and
// the signals see; time texts, and verdicts at the G.826 and G.821 objectives' boundaries.

#include "proto/formats.h"
#include "proto/modelhost.h"
#include "proto/proto.h"
#include "proto/verdicts.h"
#include "proto/wire.h"
#include "tests/support/debugcapture.h"

#include <QSignalSpy>
#include <QtTest>

#include <functional>

namespace {

using wire::make_frame;
using wire::put_be16;
using wire::put_be24;
using wire::put_le32;

QByteArray hexBytes(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// Every field in declaration order, so that one comparison shows all that differ.
QList<double> fields(const CommonSettings& c)
{
    return {double(c.seq_type), double(c.word_switch_loop), double(c.word), double(c.alt_word),
            double(c.rxtx_jointly), double(c.timed_measurement), double(c.meas_days), double(c.meas_hours),
            double(c.meas_minutes), double(c.test_running)};
}
QList<double> fields(const TxSettings& t)
{
    return {double(t.clock_source), double(t.freq_mode), double(t.freq_offset), double(t.line_code),
            double(t.inversion), double(t.framing), double(t.cas), double(t.crc4), double(t.sync_signal),
            double(t.timeslot_mask), double(t.err_type), double(t.err_mode), double(t.err_rate_exp),
            double(t.defect_on), double(t.defect_type), double(t.jitter_on), t.jitter_amplitude, double(t.jitter_freq)};
}
QList<double> fields(const RxSettings& r)
{
    return {double(r.line_code), double(r.inversion), double(r.extra_gain), double(r.long_line), double(r.framing),
            double(r.cas), double(r.crc4), double(r.timeslot_mask)};
}

// A model change before encoding, and the payload expected.
struct Encoding {
    const char* name;
    std::function<void(ModelHost&)> set;
    quint8 code;
    const char* payload;
};

// Configuration replies as received, with the bits the program echoes back.
void configs(ModelHost& h, int at2a, int at18a, int at2b, int at9b)
{
    h.raw_cfg[0] = QByteArray(54, '\0');
    h.raw_cfg[0][2] = char(at2a);
    h.raw_cfg[0][18] = char(at18a);
    h.raw_cfg[1] = QByteArray(40, '\0');
    h.raw_cfg[1][2] = char(at2b);
    h.raw_cfg[1][9] = char(at9b);
}

const QList<Encoding> encodings = {
    {"base settings, joint", [](ModelHost& h) {
         configs(h, 0xC0, 0, 0, 0);
         h.common.rxtx_jointly = h.common.timed_measurement = h.common.meas_days = 1;
         h.common.meas_hours = 2, h.common.meas_minutes = 3;
         h.common.test_running = 1; // never part of this command
     }, 0x03, "23 01 02 03"},
    {"base settings, separate", [](ModelHost& h) { configs(h, 0xC0, 0, 0, 0); h.common.timed_measurement = 1; },
     0x03, "2B 00 00 00"},
    {"sequence", [](ModelHost& h) {
         configs(h, 0x30, 0, 0x10, 0);
         h.common.seq_type = 5, h.rx[0].inversion = 1, h.tx[1].inversion = 1;
         h.common.word = 0x1234, h.common.alt_word = 0xABCD, h.common.word_switch_loop = 200;
     }, 0x04, "37 41 34 12 CD AB C8"},
    {"clock B", [](ModelHost& h) { h.tx[1].clock_source = 1, h.tx[1].freq_mode = 1; }, 0x45, "06 00"},
    {"clock A, negative offset", [](ModelHost& h) {
         h.tx[0].clock_source = 2, h.tx[0].freq_mode = 2, h.tx[0].freq_offset = -5;
     }, 0x05, "1A FB"},
    {"line", [](ModelHost& h) {
         configs(h, 0, 0xFF, 0, 0x04);
         h.tx[0].line_code = 1, h.rx[0].extra_gain = 3, h.rx[1].line_code = 1, h.rx[1].long_line = 1;
         h.tx[1].sync_signal = 1;
     }, 0x06, "35 4E"},
    {"errors B", [](ModelHost& h) { h.tx[1].err_type = 5, h.tx[1].err_mode = 2, h.tx[1].err_rate_exp = 7; }, 0x47, "15 07"},
    {"defect on", [](ModelHost& h) { h.tx[0].defect_on = 1, h.tx[0].defect_type = 2; }, 0x08, "03"},
    {"defect off", [](ModelHost& h) { h.tx[0].defect_type = 2; }, 0x08, "00"},
    // Framing off: CAS and CRC-4 of that side are not sent.
    {"receiver framed", [](ModelHost& h) {
         h.tx[0].cas = h.tx[0].crc4 = h.rx[0].framing = h.rx[0].cas = h.rx[0].crc4 = 1;
     }, 0x09, "38"},
    {"transmitter framed", [](ModelHost& h) { h.tx[0].framing = h.tx[0].cas = h.tx[0].crc4 = h.rx[0].cas = 1; },
     0x09, "07"},
    {"timeslots B", [](ModelHost& h) {
         h.tx[1].timeslot_mask = 0xFFFEFFFE, h.rx[1].timeslot_mask = 0x00000003;
         h.raw_cfg[1] = QByteArray(35, '\0') + QByteArray::fromHex("11223344") + '\0';
     }, 0x4C, "FE FF FE FF 03 00 00 00 11 22 33 44"},
    {"timeslots A before any configuration", [](ModelHost& h) { h.tx[0].timeslot_mask = 1; }, 0x0C,
     "01 00 00 00 00 00 00 00 00 00 00 00"},
    {"jitter", [](ModelHost& h) {
         h.tx[0].jitter_freq = 12345, h.tx[0].jitter_amplitude = 2.55, h.tx[0].jitter_on = 1;
         h.tx[1].jitter_freq = 99990; // only channel A's generator exists
     }, 0x0D, "04 D2 00 FE 01"},
};

} // namespace

class TstProto : public QObject {
    Q_OBJECT

    ModelHost* host = nullptr;
    Proto* proto = nullptr;

private slots:
    void init()
    {
        host = new ModelHost;
        proto = new Proto(host);
    }
    void cleanup() { delete host; }

    void requestFrames()
    {
        QCOMPARE(proto->encode(0x8A), hexBytes("A5 02 8A CE"));
        QCOMPARE(proto->encode(0x0E), hexBytes("A5 03 0E 01 48"));
        host->common.test_running = 1;
        QCOMPARE(quint8(proto->encode(0x0E)[3]), quint8(0));
        QCOMPARE(proto->encode(0x87, 0x1234), hexBytes("A5 04 87 12 34 89"));
        DebugCapture cap;
        QVERIFY(proto->encode(0x10).isEmpty());
        QCOMPARE(cap.lines, QStringList{"Encoder is not implemented yet: \"10\""});
    }

    void commandPayloads_data()
    {
        QTest::addColumn<int>("row");
        for (int i = 0; i < encodings.size(); ++i)
            QTest::newRow(encodings[i].name) << i;
    }
    void commandPayloads()
    {
        QFETCH(int, row);
        const Encoding& e = encodings[row];
        e.set(*host);
        QCOMPARE(proto->encode(e.code).mid(3).chopped(1).toHex(' ').toUpper(), QByteArray(e.payload));
    }

    // What a frame decodes to and the debug lines it leaves; a refused one leaves the model as it was.
    void receivedFrames_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("lines");
        const QByteArray good = make_frame(0x03, {});
        for (int i = 0; i < good.size(); ++i) { // the header's too: the checksum is looked at first
            QByteArray f = good;
            f[i] = char(f[i] ^ 0x10);
            QTest::addRow("byte %d changed", i) << f << 0 << "Checksum error.";
        }
        QTest::newRow("length byte not trusted") << hexBytes("A5 40 03 17") << 0x03 << "";
        QTest::newRow("one byte 0xFF sums right") << hexBytes("FF") << 0 << "Invalid packet header.";
        QTest::newRow("unknown code") << make_frame(0x10, {}) << 0 << "Decoder is not implemented yet: \"10\"";
        for (const auto& l : {std::pair{0x80, 49}, {0xC0, 45}, {0x86, 58}, {0x87, 58}, {0x88, 53}, {0xC8, 39}, {0x8A, 2}})
            QTest::addRow("%x short", l.first) << make_frame(quint8(l.first), QByteArray(l.second - 1, char(0x11))) << 0
                                               << QString("Packet is too short: \"%1\"").arg(l.first, 0, 16);
    }
    void receivedFrames()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, code);
        QFETCH(QString, lines);
        host->results[0].elapsed_s = 77;
        host->raw_cfg[0] = "keep";
        DebugCapture cap;
        QCOMPARE(int(proto->decode(frame)), code);
        QCOMPARE(cap.joined(), lines);
        if (code == 0)
            QVERIFY(!host->identified && host->results[0].elapsed_s == 77 && host->raw_cfg[0] == "keep");
    }

    void resultsOfBothChannels()
    {
        QByteArray p;
        for (int k = 0; k < 13; ++k)
            put_be24(p, 0x010000u * (k + 1) + 0x0203u);
        p += hexBytes("A5 F3 01");   // alarms; level index 3, high nibble ignored; status
        put_be16(p, 300);            // 3.00
        put_be16(p, 15);             // 0.15
        put_be24(p, 2048003);
        QCOMPARE(int(proto->decode(make_frame(0x80, p))), 0x80);
        const ChannelResults& a = host->results[0];
        const quint32 ChannelResults::*order[] = {
            &ChannelResults::elapsed_s, &ChannelResults::code_errors, &ChannelResults::bit_errors,
            &ChannelResults::frame_errors, &ChannelResults::crc4_errors, &ChannelResults::ebit_errors,
            &ChannelResults::no_input_count, &ChannelResults::ais_count, &ChannelResults::lof_count,
            &ChannelResults::available_s, &ChannelResults::errored_s, &ChannelResults::severely_errored_s,
            &ChannelResults::bbe};
        for (int k = 0; k < 13; ++k)
            QCOMPARE(a.*order[k], 0x010000u * (k + 1) + 0x0203u);
        QCOMPARE(QList<double>({double(a.alarms), double(a.signal_level), double(a.status_flags), a.jitter,
                                a.jitter_hf, double(a.signal_freq)}),
                 QList<double>({0xA5, 9, 1, 3.0, 0.15, 2048003}));

        // Channel B: frequency at 42 and its jitter never written.
        host->results[1].jitter = 1.25;
        QByteArray q(40, '\0');
        q += hexBytes("0F 00");
        put_be24(q, 2047990);
        QCOMPARE(int(proto->decode(make_frame(0xC0, q))), 0xC0);
        const ChannelResults& b = host->results[1];
        QCOMPARE(QList<double>({double(b.signal_freq), double(b.signal_level), b.jitter, double(a.signal_freq)}),
                 QList<double>({2047990, 40, 1.25, 2048003}));

        // The level byte's low nibble indexes the instrument's table of levels in dB.
        QList<int> levels;
        for (int i = 0; i < 16; ++i) {
            p[40] = char(0xF0 | i);
            proto->decode(make_frame(0x80, p));
            levels << host->results[0].signal_level;
        }
        QCOMPARE(levels, (QList<int>{0, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 29, 31, 34, 36, 40}));
    }

    void recordReply()
    {
        QByteArray p;
        put_be16(p, 258);
        p += hexBytes("12 23 59 58");   // 12 d 23:59:58 in BCD
        put_be16(p, 100);               // 1.00
        put_be16(p, 5);                 // 0.05
        for (int k = 0; k < 16; ++k)
            put_be24(p, k == 15 ? 0xFFFFFF : quint32(k * 1000 + 1));
        QCOMPARE(int(proto->decode(make_frame(0x87, p))), 0x87);
        const TableRecord& r = host->scratch_record;
        QCOMPARE(QList<double>({double(r.number), double(r.time_s), r.jitter, r.jitter_hf, double(r.counters[0]),
                                double(r.counters[COUNTERS_PER_CHANNEL + REC_LOF - 1]), double(r.counters[15])}),
                 QList<double>({258, 12 * 86400 + 23 * 3600 + 59 * 60 + 58, 1.0, 0.05, 1, 14001, 0xFFFFFF}));
    }

    void configurationA()
    {
        QByteArray p(41, '\0');
        p[0] = char(0xC0 | 0x20 | 0x08 | 0x02 | 0x01); // clock 3, RX crc4+framing, TX cas+framing
        p[1] = char(0x80 | 0x20 | 0x10 | 0x06);        // defect code 2, jitter on, mode 2, type 6
        p[2] = char(0x01 | 0xF0);                      // negative offset, echoed bits set
        p[3] = char(0x08);                             // joint bit set -> rxtx_jointly 0
        p[4] = 9;
        p[7] = 1; p[8] = 2; p[9] = 3;
        p[10] = char(0xFB);
        p[11] = 0x04; p[12] = char(0xD2);              // 1234 -> 12340 Hz
        p[13] = 0x00; p[14] = char(0xFF);              // 2.55 UI
        p[18] = char(0x3B);                            // tx code, rx code, echo bit 2 clear, long line, gain 3
        p[19] = char(0x60 | (7 << 2));
        p[20] = 0x34; p[21] = 0x12;
        p[22] = char(0xCD); p[23] = char(0xAB);
        p[24] = 42;
        put_le32(p, 0xFFFFFFFF);
        put_le32(p, 0x00010001);
        p += hexBytes("01 02 03 04");
        QCOMPARE(int(proto->decode(make_frame(0x88, p))), 0x88);

        // Timeslot 0 is cleared for the transmitter and kept for the receiver.
        QCOMPARE(fields(host->common), fields(CommonSettings{7, 42, 0x1234, 0xABCD, 0, 0, 1, 2, 3, 0}));
        QCOMPARE(fields(host->tx[0]),
                 fields(TxSettings{3, 0, -5, 1, 1, 1, 1, 0, 0, 0xFFFFFFFE, 6, 2, 9, 1, 1, 1, 2.55, 12340}));
        QCOMPARE(fields(host->rx[0]), fields(RxSettings{1, 1, 3, 1, 1, 0, 1, 0x00010001}));
        QCOMPARE(host->raw_cfg[0], make_frame(0x88, p).mid(3));

        // Sign bit clear: the byte is a positive offset; no defect code, no defect.
        p[1] = p[2] = p[3] = 0;
        proto->decode(make_frame(0x88, p));
        QCOMPARE(QList<int>({host->tx[0].freq_offset, host->common.rxtx_jointly, host->tx[0].defect_on,
                             host->tx[0].defect_type}), QList<int>({251, 1, 0, 0}));
    }

    void configurationB()
    {
        QByteArray p(27, '\0');
        p[0] = char(0x40);      // only bit 6 of the clock field: reads as 0
        p[1] = char(0x40);      // defect code 1
        p[2] = char(0x04 | 0x80 | 0x30); // negative, freq_mode 2
        p[3] = 4;
        p[6] = char(0xF6);
        p[9] = char(0x40 | 0x04 | 0x01);
        p[10] = char(0x40);
        put_le32(p, 0x00000003);
        put_le32(p, 0x00000003);
        p += QByteArray(4, '\0');
        QCOMPARE(int(proto->decode(make_frame(0xC8, p))), 0xC8);
        QCOMPARE(fields(host->tx[1]), fields(TxSettings{0, 2, -10, 1, 1, 0, 0, 0, 1, 2, 0, 0, 4, 1, 0}));
        QCOMPARE(fields(host->rx[1]), fields(RxSettings{0, 0, 0, 0, 0, 0, 0, 3}));
        QCOMPARE(host->raw_cfg[1].size(), 40);

        p[0] = char(0x80); // high bit alone gives 1
        proto->decode(make_frame(0xC8, p));
        QCOMPARE(int(host->tx[1].clock_source), 1);
    }

    void testStateRule()
    {
        QByteArray running(53, '\0');
        running[3] = 0x10;
        const QByteArray stopped(53, '\0');
        QSignalSpy toggled(proto, &Proto::user_toggle_test);

        // The first configuration of a connection is silent, even with a test running.
        proto->decode(make_frame(0x88, running));
        QCOMPARE(toggled.count(), 0);
        QVERIFY(!host->first_cfg_pending);
        QCOMPARE(int(host->common.test_running), 1);

        proto->decode(make_frame(0x88, running));
        QCOMPARE(toggled.count(), 0);
        proto->decode(make_frame(0x88, stopped));
        QCOMPARE(toggled.count(), 1);

        // The signal comes before the rest of the reply lands.
        QByteArray later = running;
        later[24] = 99;
        connect(proto, &Proto::user_toggle_test, this,
                [this] { QCOMPARE(int(host->common.word_switch_loop), 0); });
        proto->decode(make_frame(0x88, later));
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(int(host->common.word_switch_loop), 99);
    }

    // Chart labels as the time of day, around full hours and days (elapsed times show in the table's tests).
    void timeTexts()
    {
        const struct { quint32 t; const char* of_day; } rows[] = {{3599, "00:59:59"}, {86400 + 7199, "01:59:59"}};
        for (const auto& r : rows)
            QCOMPARE(time_of_day_text(r.t), QString(r.of_day));
    }

    // Verdicts at the objectives' boundaries: ESR SESR BBER ES SES, then overall (P pass, F fail, N no data).
    void boundaries()
    {
        const struct { quint32 as, es, ses, bbe; double allocation; const char* expected; } rows[] = {
            {10000, 400, 20, 1996, 100, "PPPPP P"}, // all G.826 exactly at
            {10000, 401, 20, 1996, 100, "FPPPP F"}, // ESR just above
            {10000, 400, 21, 1995, 100, "PFPPF F"}, // SESR just above
            {10000, 400, 20, 1997, 100, "PPFPP F"}, // BBER just above
            {10000, 801, 0, 0, 100, "FPPFP F"},     // G.821 ES just above 8 %
            {10000, 120, 6, 599, 30, "PPPPP P"},    // 30 %: quotients that do not come out even
        };
        auto letter = [](Verdict x) { return x == Verdict::Pass ? 'P' : x == Verdict::Fail ? 'F' : 'N'; };
        for (const auto& row : rows) {
            ChannelResults r;
            r.available_s = row.as;
            r.errored_s = row.es;
            r.severely_errored_s = row.ses;
            r.bbe = row.bbe;
            const ChannelVerdicts v = judge(r, row.allocation);
            QString got;
            for (const FigureVerdict& f : v.figures)
                got += letter(f.verdict);
            QCOMPARE(got + ' ' + letter(v.overall), QString(row.expected));
        }
    }
};

QTEST_GUILESS_MAIN(TstProto)
#include "tst_proto.moc"
