// Codec tests: framing, every command layout, every reply layout, and the
// rules that decide what the model and the signals see.

#include "proto/modelhost.h"
#include "proto/proto.h"
#include "proto/wire.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

using wire::make_frame;
using wire::put_be16;
using wire::put_be24;
using wire::put_le32;

QByteArray hexBytes(const char* text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

// Collects debug lines so tests can say which diagnostics were written.
QStringList* g_lines = nullptr;
void collect(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    if (g_lines)
        g_lines->append(msg);
}

struct DebugCapture {
    QStringList lines;
    QtMessageHandler previous;
    DebugCapture() { g_lines = &lines; previous = qInstallMessageHandler(collect); }
    ~DebugCapture() { qInstallMessageHandler(previous); g_lines = nullptr; }
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
        QCOMPARE(proto->encode(0x80), hexBytes("A5 02 80 D8"));
        QCOMPARE(proto->encode(0x87, 5), hexBytes("A5 04 87 00 05 CA"));
        QCOMPARE(proto->encode(0x87, 0x1234).mid(3, 2), hexBytes("12 34"));
        for (quint8 code : {0xC0, 0x86, 0x88, 0xC8})
            QCOMPARE(proto->encode(code).size(), 4);
    }

    void everyFrameSumsToFF()
    {
        for (int code : {0x03, 0x04, 0x05, 0x45, 0x06, 0x07, 0x47, 0x08, 0x48, 0x09, 0x49, 0x0C, 0x4C, 0x0D,
                         0x0E, 0x80, 0xC0, 0x86, 0x87, 0x88, 0xC8, 0x8A}) {
            const QByteArray f = proto->encode(quint8(code), 7);
            QVERIFY2(!f.isEmpty(), qPrintable(QString::number(code, 16)));
            quint8 sum = 0;
            for (char c : f)
                sum = quint8(sum + quint8(c));
            QCOMPARE(sum, quint8(0xFF));
            QCOMPARE(int(quint8(f[1])), f.size() - 2);
            QCOMPARE(quint8(f[2]), quint8(code));
        }
    }

    void unknownCodeEncodesNothing()
    {
        DebugCapture cap;
        QVERIFY(proto->encode(0x10).isEmpty());
        QCOMPARE(cap.lines, QStringList{"Encoder is not implemented yet: \"10\""});
    }

    void baseSettings()
    {
        host->common.rxtx_jointly = 1;
        host->common.timed_measurement = 1;
        host->common.meas_days = 1;
        host->common.meas_hours = 2;
        host->common.meas_minutes = 3;
        host->common.test_running = 1; // never part of this command
        host->raw_cfg[0] = QByteArray(54, '\0');
        host->raw_cfg[0][2] = char(0xC0);
        QCOMPARE(proto->encode(0x03), hexBytes("A5 06 03 23 01 02 03 28"));
        host->common.rxtx_jointly = 0;
        QCOMPARE(quint8(proto->encode(0x03)[3]), quint8(0x2B));
    }

    void sequenceSettings()
    {
        host->raw_cfg[0] = QByteArray(54, '\0');
        host->raw_cfg[0][2] = char(0x30);
        host->raw_cfg[1] = QByteArray(40, '\0');
        host->raw_cfg[1][2] = char(0x10);
        host->common.seq_type = 5;
        host->rx[0].inversion = 1;
        host->tx[1].inversion = 1;
        host->common.word = 0x1234;
        host->common.alt_word = 0xABCD;
        host->common.word_switch_loop = 200;
        QCOMPARE(proto->encode(0x04).mid(3, 7), hexBytes("37 41 34 12 CD AB C8"));
    }

    void frequencySettings()
    {
        host->tx[1].clock_source = 1;
        host->tx[1].freq_mode = 1;
        QCOMPARE(quint8(proto->encode(0x45)[3]), quint8(0x06));
        host->tx[0].clock_source = 2;
        host->tx[0].freq_mode = 2;
        host->tx[0].freq_offset = -5;
        QCOMPARE(proto->encode(0x05).mid(3, 2), hexBytes("1A FB"));
        host->tx[0].freq_offset = 200;
        QCOMPARE(proto->encode(0x05).mid(3, 2), hexBytes("0A C8"));
    }

    void lineSettingsEchoRawBit()
    {
        host->raw_cfg[0] = QByteArray(54, '\0');
        host->raw_cfg[0][18] = char(0xFF);
        host->raw_cfg[1] = QByteArray(40, '\0');
        host->raw_cfg[1][9] = char(0x04);
        host->tx[0].line_code = 1;
        host->rx[0].extra_gain = 3;
        host->rx[1].line_code = 1;
        host->rx[1].long_line = 1;
        host->tx[1].sync_signal = 1;
        QCOMPARE(proto->encode(0x06).mid(3, 2), hexBytes("35 4E"));
    }

    void errorDefectFraming()
    {
        host->tx[1].err_type = 5;
        host->tx[1].err_mode = 2;
        host->tx[1].err_rate_exp = 7;
        QCOMPARE(proto->encode(0x47).mid(3, 2), hexBytes("15 07"));

        host->tx[0].defect_on = 1;
        host->tx[0].defect_type = 2;
        QCOMPARE(quint8(proto->encode(0x08)[3]), quint8(3));
        host->tx[0].defect_on = 0;
        QCOMPARE(quint8(proto->encode(0x08)[3]), quint8(0));

        // Framing off: CAS and CRC-4 of that side are not sent.
        TxSettings& t = host->tx[0];
        RxSettings& r = host->rx[0];
        t.cas = t.crc4 = 1;
        r.framing = r.cas = r.crc4 = 1;
        QCOMPARE(quint8(proto->encode(0x09)[3]), quint8(0x38));
        t.framing = 1;
        t.cas = 0;
        QCOMPARE(quint8(proto->encode(0x09)[3]), quint8(0x3B));
        r.framing = 0;
        QCOMPARE(quint8(proto->encode(0x09)[3]), quint8(0x03));
    }

    void timeslots()
    {
        host->tx[1].timeslot_mask = 0xFFFEFFFE;
        host->rx[1].timeslot_mask = 0x00000003;
        host->raw_cfg[1] = QByteArray(40, '\0');
        for (int i = 0; i < 4; ++i)
            host->raw_cfg[1][35 + i] = char(0x11 * (i + 1));
        QCOMPARE(proto->encode(0x4C).mid(3, 12), hexBytes("FE FF FE FF 03 00 00 00 11 22 33 44"));
        // Before any configuration reply the echoed bytes are 0.
        QCOMPARE(proto->encode(0x0C).mid(11, 4), hexBytes("00 00 00 00"));
    }

    void jitter()
    {
        TxSettings& t = host->tx[0];
        t.jitter_freq = 12345;
        t.jitter_amplitude = 2.55;
        t.jitter_on = 1;
        QCOMPARE(proto->encode(0x0D).mid(3, 5), hexBytes("04 D2 00 FE 01"));
        t.jitter_amplitude = 10.0;
        QCOMPARE(proto->encode(0x0D).mid(5, 2), hexBytes("03 E8"));
        host->tx[1].jitter_freq = 99990; // only channel A's generator exists
        QCOMPARE(proto->encode(0x0D).mid(3, 2), hexBytes("04 D2"));
    }

    void frameChecks()
    {
        DebugCapture cap;
        const QByteArray good = make_frame(0x03, {});
        QCOMPARE(int(proto->decode(good)), 0x03);

        // Any single changed byte is caught by the checksum.
        for (int i = 0; i < good.size(); ++i) {
            QByteArray bad = good;
            bad[i] = char(bad[i] ^ 0x10);
            QCOMPARE(int(proto->decode(bad)), 0);
        }
        // The checksum is tested before the header.
        cap.lines.clear();
        QByteArray wrongHeader = good;
        wrongHeader[0] = char(0xA4);
        QCOMPARE(int(proto->decode(wrongHeader)), 0);
        QCOMPARE(cap.lines, QStringList{"Checksum error."});
        wire::seal(wrongHeader);
        cap.lines.clear();
        QCOMPARE(int(proto->decode(wrongHeader)), 0);
        QCOMPARE(cap.lines, QStringList{"Invalid packet header."});

        // A one-byte read: the checksum of nothing is 0xFF, so only 0xFF passes it.
        cap.lines.clear();
        QCOMPARE(int(proto->decode(hexBytes("FF"))), 0);
        QCOMPARE(cap.lines, QStringList{"Invalid packet header."});
        cap.lines.clear();
        QCOMPARE(int(proto->decode(hexBytes("A5"))), 0);
        QCOMPARE(cap.lines, QStringList{"Checksum error."});
        QCOMPARE(int(proto->decode(QByteArray())), 0);

        // The length byte is not trusted.
        QByteArray wrongLength = good;
        wrongLength[1] = char(0x40);
        wire::seal(wrongLength);
        QCOMPARE(int(proto->decode(wrongLength)), 0x03);

        cap.lines.clear();
        QCOMPARE(int(proto->decode(make_frame(0x10, {}))), 0);
        QCOMPARE(cap.lines, QStringList{"Decoder is not implemented yet: \"10\""});
    }

    void shortPayloadIsRejected()
    {
        // A reply shorter than its layout is refused; nothing past the read is touched.
        DebugCapture cap;
        const struct { quint8 code; int size; } layouts[] = {
            {0x80, 49}, {0xC0, 45}, {0x86, 58}, {0x87, 58}, {0x88, 53}, {0xC8, 39}, {0x8A, 2}};
        for (const auto& l : layouts) {
            host->results[0].elapsed_s = 77;
            host->device_id = 77;
            host->raw_cfg[0] = "keep";
            cap.lines.clear();
            QCOMPARE(int(proto->decode(make_frame(l.code, QByteArray(l.size - 1, char(0x11))))), 0);
            QCOMPARE(cap.lines.size(), 1);
            QVERIFY(cap.lines[0].startsWith("Packet is too short:"));
            QCOMPARE(host->results[0].elapsed_s, 77u);
            QCOMPARE(host->device_id, quint8(77));
            QCOMPARE(host->raw_cfg[0], QByteArray("keep"));
            QCOMPARE(int(proto->decode(make_frame(l.code, QByteArray(l.size, '\0')))), int(l.code));
        }
        // Three bytes can hold no code and checksum both.
        QByteArray three = hexBytes("A5 01 00");
        wire::seal(three);
        QCOMPARE(int(proto->decode(three)), 0);
    }

    void identity()
    {
        DebugCapture cap;
        QCOMPARE(int(proto->decode(make_frame(0x8A, hexBytes("0A 21")))), 0x8A);
        QCOMPARE(host->device_id, quint8(10));
        QCOMPARE(host->device_version, quint8(0x21));
        QVERIFY(host->identified);
        QCOMPARE(cap.lines, (QStringList{"Device ID: \"a\"", "Device version: \"21\""}));
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
        QCOMPARE(a.alarms, quint8(0xA5));
        QCOMPARE(a.signal_level, quint8(9));
        QCOMPARE(a.status_flags, quint8(1));
        QCOMPARE(a.jitter, 3.0);
        QCOMPARE(a.jitter_hf, 0.15);
        QCOMPARE(a.signal_freq, 2048003u);

        // Channel B: frequency at 42 and its jitter never written.
        host->results[1].jitter = 1.25;
        host->results[1].jitter_hf = 2.5;
        QByteArray q(40, '\0');
        q += hexBytes("0F 00");
        put_be24(q, 2047990);
        QCOMPARE(int(proto->decode(make_frame(0xC0, q))), 0xC0);
        QCOMPARE(host->results[1].signal_freq, 2047990u);
        QCOMPARE(host->results[1].signal_level, quint8(40));
        QCOMPARE(host->results[1].jitter, 1.25);
        QCOMPARE(host->results[1].jitter_hf, 2.5);
        QCOMPARE(host->results[0].signal_freq, 2048003u);
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
        QCOMPARE(r.number, 258u);
        QCOMPARE(r.time_s, 12u * 86400 + 23 * 3600 + 59 * 60 + 58);
        QCOMPARE(r.jitter, 1.0);
        QCOMPARE(r.jitter_hf, 0.05);
        QCOMPARE(r.counters[REC_CODE], 1u);
        QCOMPARE(r.counters[COUNTERS_PER_CHANNEL + REC_LOF - 1], 14001u);
        QCOMPARE(r.counters[15], 0xFFFFFFu);
        QCOMPARE(int(proto->decode(make_frame(0x86, p))), 0x86);
    }

    void configurationA()
    {
        QByteArray p(41, '\0');
        p[0] = char(0xC0 | 0x20 | 0x08 | 0x02 | 0x01); // clock 3, RX crc4+framing, TX cas+framing
        p[1] = char(0x80 | 0x20 | 0x10 | 0x05);        // defect code 2, jitter on, mode 2, type 5
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
        QSignalSpy toggled(proto, &Proto::user_toggle_test);
        QCOMPARE(int(proto->decode(make_frame(0x88, p))), 0x88);

        const CommonSettings& c = host->common;
        const TxSettings& t = host->tx[0];
        const RxSettings& r = host->rx[0];
        QCOMPARE(c.rxtx_jointly, quint8(0));
        QCOMPARE(c.test_running, quint8(0));
        QCOMPARE(c.timed_measurement, quint8(0));
        QCOMPARE(t.freq_mode, quint8(0));
        QCOMPARE(int(t.framing), 1); QCOMPARE(int(t.cas), 1); QCOMPARE(int(t.crc4), 0);
        QCOMPARE(int(r.framing), 1); QCOMPARE(int(r.cas), 0); QCOMPARE(int(r.crc4), 1);
        QCOMPARE(int(t.clock_source), 3);
        QCOMPARE(int(t.err_type), 5); QCOMPARE(int(t.err_mode), 2);
        QCOMPARE(int(t.jitter_on), 1);
        QCOMPARE(int(t.defect_on), 1); QCOMPARE(int(t.defect_type), 1);
        QCOMPARE(int(t.err_rate_exp), 9);
        QCOMPARE(int(c.meas_days), 1); QCOMPARE(int(c.meas_hours), 2); QCOMPARE(int(c.meas_minutes), 3);
        QCOMPARE(int(t.freq_offset), -5);
        QCOMPARE(t.jitter_freq, 12340u);
        QCOMPARE(t.jitter_amplitude, 2.55);
        QCOMPARE(int(t.line_code), 1); QCOMPARE(int(r.line_code), 1);
        QCOMPARE(int(r.long_line), 1); QCOMPARE(int(r.extra_gain), 3);
        QCOMPARE(int(c.seq_type), 7);
        QCOMPARE(int(r.inversion), 1); QCOMPARE(int(t.inversion), 1);
        QCOMPARE(c.word, quint16(0x1234)); QCOMPARE(c.alt_word, quint16(0xABCD));
        QCOMPARE(int(c.word_switch_loop), 42);
        QCOMPARE(t.timeslot_mask, 0xFFFFFFFEu);   // timeslot 0 cleared for the transmitter
        QCOMPARE(r.timeslot_mask, 0x00010001u);   // kept for the receiver
        QCOMPARE(host->raw_cfg[0], make_frame(0x88, p).mid(3));
        QCOMPARE(toggled.count(), 0);

        // Channel B untouched by A's reply.
        QCOMPARE(host->tx[1].timeslot_mask, 0u);
        QVERIFY(host->raw_cfg[1].isEmpty());

        // Sign bit clear: the byte is a positive offset.
        p[2] = 0;
        p[3] = 0;
        proto->decode(make_frame(0x88, p));
        QCOMPARE(int(t.freq_offset), 251);
        QCOMPARE(int(c.rxtx_jointly), 1);
        p[1] = 0;
        proto->decode(make_frame(0x88, p));
        QCOMPARE(int(t.defect_on), 0); QCOMPARE(int(t.defect_type), 0);
    }

    void configurationB()
    {
        host->common.seq_type = 3;
        host->common.test_running = 1;
        host->tx[0].defect_on = 1;
        host->tx[0].defect_type = 2;
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
        QSignalSpy toggled(proto, &Proto::user_toggle_test);
        QCOMPARE(int(proto->decode(make_frame(0xC8, p))), 0xC8);
        const TxSettings& t = host->tx[1];
        QCOMPARE(int(t.clock_source), 0);
        QCOMPARE(int(t.defect_on), 1); QCOMPARE(int(t.defect_type), 0);
        QCOMPARE(int(t.freq_mode), 2);
        QCOMPARE(int(t.err_rate_exp), 4);
        QCOMPARE(int(t.freq_offset), -10);
        QCOMPARE(int(t.line_code), 1);
        QCOMPARE(int(t.sync_signal), 1);
        QCOMPARE(int(t.inversion), 1); QCOMPARE(int(host->rx[1].inversion), 0);
        QCOMPARE(t.timeslot_mask, 2u);
        QCOMPARE(host->rx[1].timeslot_mask, 3u);
        QCOMPARE(host->raw_cfg[1].size(), 40);
        // Common settings and channel A come only with A's reply.
        QCOMPARE(int(host->common.seq_type), 3);
        QCOMPARE(int(host->common.test_running), 1);
        QCOMPARE(int(host->tx[0].defect_type), 2);
        QCOMPARE(toggled.count(), 0);

        p[0] = char(0x80); // high bit alone gives 1
        proto->decode(make_frame(0xC8, p));
        QCOMPARE(int(t.clock_source), 1);
    }

    void echoedBitsComeBackUnchanged()
    {
        QByteArray a(53, '\0');
        a[2] = char(0xF0);
        a[18] = char(0x04);
        for (int i = 49; i < 53; ++i)
            a[i] = char(0xA0 + i);
        QByteArray b(39, '\0');
        b[2] = char(0x30);
        b[9] = char(0x04);
        for (int i = 35; i < 39; ++i)
            b[i] = char(0xB0 + i);
        proto->decode(make_frame(0x88, a));
        proto->decode(make_frame(0xC8, b));
        QCOMPARE(quint8(proto->encode(0x03)[3]) & 0x03, 0x03);
        QCOMPARE(quint8(proto->encode(0x04)[3]) & 0x03, 0x03);
        QCOMPARE(quint8(proto->encode(0x04)[4]) & 0x03, 0x03);
        QCOMPARE(quint8(proto->encode(0x06)[3]) & 0x04, 0x04);
        QCOMPARE(quint8(proto->encode(0x06)[4]) & 0x04, 0x04);
        QCOMPARE(proto->encode(0x0C).mid(11, 4), a.mid(49, 4));
        QCOMPARE(proto->encode(0x4C).mid(11, 4), b.mid(35, 4));
    }

    void testStateRule()
    {
        QByteArray running(53, '\0');
        running[3] = 0x10;
        const QByteArray stopped(53, '\0');
        QSignalSpy toggled(proto, &Proto::user_toggle_test);

        // The first configuration of a connection is silent, even with a test running.
        QVERIFY(host->first_cfg_pending);
        proto->decode(make_frame(0x88, running));
        QCOMPARE(toggled.count(), 0);
        QVERIFY(!host->first_cfg_pending);
        QCOMPARE(int(host->common.test_running), 1);

        proto->decode(make_frame(0x88, running));
        QCOMPARE(toggled.count(), 0);
        proto->decode(make_frame(0x88, stopped));
        QCOMPARE(toggled.count(), 1);

        // The start acknowledgement flips the state; a configuration that agrees is silent.
        QCOMPARE(int(proto->decode(make_frame(0x0E, {}))), 0x0E);
        QCOMPARE(int(host->common.test_running), 1);
        proto->decode(make_frame(0x88, running));
        QCOMPARE(toggled.count(), 1);

        // The signal comes before the rest of the reply lands.
        QByteArray later = stopped;
        later[24] = 99;
        connect(proto, &Proto::user_toggle_test, this,
                [this] { QCOMPARE(int(host->common.word_switch_loop), 0); });
        proto->decode(make_frame(0x88, later));
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(int(host->common.word_switch_loop), 99);
    }
};

QTEST_GUILESS_MAIN(TstProto)
#include "tst_proto.moc"
