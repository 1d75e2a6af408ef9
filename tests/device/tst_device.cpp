// The device link against the simulated instrument: connection, the polled
// exchange, the two queues, start and stop, and the end of a connection on
// every kind of failure.

#include "linkrig.h"
#include "proto.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

QStringList* g_lines = nullptr;

void capture(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (g_lines)
        g_lines->append(text);
}

// Collects the debug output while alive.
class MessageLog {
public:
    MessageLog()
    {
        g_lines = &lines;
        previous = qInstallMessageHandler(capture);
    }
    ~MessageLog()
    {
        qInstallMessageHandler(previous);
        g_lines = nullptr;
    }
    bool has(const QString& line) const { return lines.contains(line); }
    QStringList lines;

private:
    QtMessageHandler previous = nullptr;
};

quint8 codeOf(const QByteArray& frame) { return quint8(frame.at(2)); }

int countCode(const QList<QByteArray>& frames, quint8 code)
{
    int n = 0;
    for (const QByteArray& f : frames)
        n += codeOf(f) == code ? 1 : 0;
    return n;
}

QList<quint8> codes(const QList<QByteArray>& frames)
{
    QList<quint8> out;
    for (const QByteArray& f : frames)
        out << codeOf(f);
    return out;
}

// Record number carried by a 0x87 request.
int recordNumber(const QByteArray& frame) { return (quint8(frame.at(3)) << 8) | quint8(frame.at(4)); }

} // namespace

class TstDevice : public QObject {
    Q_OBJECT

private slots:
    void noInstrumentScansQuietly();
    void connectionReadsIdentityAndBothConfigurations();
    void settingsCommandChangesNextConfiguration();
    void otherChannelNumbersRequestChannelB();
    void startResultsAndStopByUser();
    void stopByInstrumentAnnouncedOnce();
    void firstConfigurationOfConnectionIsSilent();
    void backlogFetchedWhenCommandsAreDone();
    void recordsEveryTenSecondsWhileRunning();
    void repeatedPollsBeforeRecordZero();
    void recordsKeepUpAfterALongBacklog();
    void faultEndsConnection_data();
    void faultEndsConnection();
    void foreignCodeNamesTheRequest();
    void replyTimeoutAfterFiveSeconds();
    void slowRepliesWithinTheLimitKeepTheLink();
    void countFailureIsRetried();
    void openFailureHalts();
    void beforeWriteResultIsIgnored();
    void unknownStatusIsReportedWithItsNumber();
    void twoInstrumentsWarnOnceAndHalt();
    void reconnectionRestartsTheSamePollTimer();
    void packetsQueuedWhileClosedAreDropped();
};

void TstDevice::noInstrumentScansQuietly()
{
    LinkRig rig;
    rig.sim->unplug();
    QSignalSpy conn(rig.dev, &Device::dev_conn);
    {
        MessageLog log;
        rig.run(5000);
        // Status 0 every second and nothing else: not a single line.
        QVERIFY2(log.lines.isEmpty(), qPrintable(log.lines.join('|')));
    }
    QVERIFY(!rig.dev->connected);
    QVERIFY(rig.dev->scan_timer->isActive());
    QCOMPARE(conn.count(), 0);
    QCOMPARE(rig.sim->opens(), 0);

    rig.sim->plug();
    MessageLog log;
    QVERIFY(rig.connectFully());
    rig.run(3000);
    for (const QString& line : log.lines)
        QVERIFY2(!line.contains("SI_"), qPrintable(line));
}

void TstDevice::connectionReadsIdentityAndBothConfigurations()
{
    LinkRig rig;
    Device* d = rig.dev;
    QSignalSpy conn(d, &Device::dev_conn);
    QSignalSpy cfg(d, &Device::cfg_rcv);
    QSignalSpy disc(d, &Device::dev_disc);
    QVERIFY(rig.connectFully());

    QCOMPARE(conn.count(), 1);
    QCOMPARE(disc.count(), 0);
    QCOMPARE(d->device_id, quint8(10));
    QCOMPARE(cfg.count(), 2);
    QCOMPARE(cfg.at(0).at(0).value<uchar>(), uchar(0));
    QCOMPARE(cfg.at(1).at(0).value<uchar>(), uchar(1));
    QCOMPARE(codes(rig.sim->received()).mid(0, 3), (QList<quint8>{0x8A, 0x88, 0xC8}));
    QVERIFY(d->res_timer->isActive());
    QVERIFY(d->scan_timer->isActive() == false);

    // The payload plus the checksum byte, as received.
    QCOMPARE(d->raw_cfg[0].size(), 54);
    QCOMPARE(d->raw_cfg[1].size(), 40);
    QCOMPARE(d->raw_cfg[0].left(53), rig.sim->instrument().config(0));
    QCOMPARE(d->raw_cfg[1].left(39), rig.sim->instrument().config(1));

    // The instrument's starting configuration reaches the model.
    QCOMPARE(d->common.seq_type, quint8(2));
    QCOMPARE(d->common.rxtx_jointly, quint8(1));
    QCOMPARE(d->common.timed_measurement, quint8(0));
    QCOMPARE(d->common.meas_minutes, quint8(15));
    QCOMPARE(d->common.test_running, quint8(0));
    for (int ch = 0; ch < 2; ++ch) {
        QCOMPARE(d->tx[ch].line_code, quint8(1));
        QCOMPARE(d->rx[ch].line_code, quint8(1));
        QCOMPARE(d->tx[ch].framing, quint8(1));
        QCOMPARE(d->tx[ch].crc4, quint8(1));
        QCOMPARE(d->tx[ch].cas, quint8(0));
        QCOMPARE(d->rx[ch].crc4, quint8(1));
        QCOMPARE(d->tx[ch].timeslot_mask, 0xFFFFFFFEu);
        QCOMPARE(d->rx[ch].timeslot_mask, 0xFFFFFFFEu);
    }

    // Then the once-a-second poll, and its replies announced.
    QSignalSpy res(d, &Device::res_rcv);
    rig.sim->clearReceived();
    rig.run(2000);
    QCOMPARE(codes(rig.sim->received()), (QList<quint8>{0x80, 0xC0, 0x86, 0x80, 0xC0, 0x86}));
    QCOMPARE(res.count(), 4);
    QCOMPARE(res.at(0).at(0).value<uchar>(), uchar(0));
    QCOMPARE(res.at(1).at(0).value<uchar>(), uchar(1));
}

void TstDevice::settingsCommandChangesNextConfiguration()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    const QByteArray rawA = d->raw_cfg[0];
    const QByteArray rawB = d->raw_cfg[1];

    d->tx[0].line_code = 0;
    d->rx[0].line_code = 0;
    d->rx[1].extra_gain = 2;
    d->set_linear_settings();
    d->common.word = 0x1234;
    d->common.seq_type = 6;
    d->set_seq_settings();
    d->tx[1].clock_source = 1;
    d->tx[1].freq_mode = 1;
    d->tx[1].freq_offset = -5;
    d->set_freq_settings_b();
    d->tx[0].err_type = 1;
    d->tx[0].err_mode = 2;
    d->tx[0].err_rate_exp = 5;
    d->set_error_settings_a();
    QVERIFY(rig.runUntil([d] { return d->cmd_queue.isEmpty() && !d->awaiting_reply; }, 1000));

    // Spoil the mirror; the configuration replies must bring the sent values back.
    d->tx[0].line_code = d->rx[0].line_code = 1;
    d->rx[1].extra_gain = 0;
    d->common.word = 0;
    d->common.seq_type = 0;
    d->tx[1] = TxSettings();
    d->tx[0].err_type = d->tx[0].err_mode = d->tx[0].err_rate_exp = 0;
    QSignalSpy cfg(d, &Device::cfg_rcv);
    d->get_cfg(0);
    d->get_cfg(1);
    QVERIFY(rig.runUntil([&cfg] { return cfg.count() == 2; }, 1000));

    QCOMPARE(d->tx[0].line_code, quint8(0));
    QCOMPARE(d->rx[0].line_code, quint8(0));
    QCOMPARE(d->rx[1].extra_gain, quint8(2));
    QCOMPARE(d->common.word, quint16(0x1234));
    QCOMPARE(d->common.seq_type, quint8(6));
    QCOMPARE(d->tx[1].clock_source, quint8(1));
    QCOMPARE(d->tx[1].freq_mode, quint8(1));
    QCOMPARE(d->tx[1].freq_offset, qint16(-5));
    QCOMPARE(d->tx[1].timeslot_mask, 0xFFFFFFFEu);   // untouched by 0x45
    QCOMPARE(d->tx[0].err_type, quint8(1));
    QCOMPARE(d->tx[0].err_mode, quint8(2));
    QCOMPARE(d->tx[0].err_rate_exp, quint8(5));

    // The bits the program does not model travel back unchanged.
    const QByteArray& a = d->raw_cfg[0];
    const QByteArray& b = d->raw_cfg[1];
    QCOMPARE(quint8(a.at(2)) & 0xF0, quint8(rawA.at(2)) & 0xF0);
    QCOMPARE(quint8(a.at(18)) & 0x04, quint8(rawA.at(18)) & 0x04);
    QCOMPARE(a.mid(49, 4), rawA.mid(49, 4));
    QCOMPARE(quint8(b.at(2)) & 0x30, quint8(rawB.at(2)) & 0x30);
    QCOMPARE(quint8(b.at(9)) & 0x04, quint8(rawB.at(9)) & 0x04);
    QCOMPARE(b.mid(35, 4), rawB.mid(35, 4));
}

void TstDevice::otherChannelNumbersRequestChannelB()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    rig.sim->clearReceived();
    QSignalSpy cfg(d, &Device::cfg_rcv);
    d->get_cfg(5);
    QVERIFY(rig.runUntil([&cfg] { return cfg.count() == 1; }, 500));
    QCOMPARE(cfg.at(0).at(0).value<uchar>(), uchar(1));
    QCOMPARE(codes(rig.sim->received()), (QList<quint8>{0xC8}));
}

void TstDevice::startResultsAndStopByUser()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    QSignalSpy state(d, &Device::dev_test_state);
    QSignalSpy res(d, &Device::res_rcv);

    rig.sim->clearReceived();
    d->start_stop_test();
    QVERIFY(rig.runUntil([d] { return d->cmd_queue.isEmpty() && !d->awaiting_reply; }, 500));
    // The acknowledgement brings the channel-A configuration, which agrees.
    QCOMPARE(codes(rig.sim->received()).mid(0, 2), (QList<quint8>{0x0E, 0x88}));
    QVERIFY(rig.sim->instrument().running());
    QCOMPARE(d->common.test_running, quint8(1));
    QCOMPARE(state.count(), 0);

    res.clear();
    rig.run(5000);
    QCOMPARE(res.count(), 10);
    for (int i = 0; i < res.count(); ++i)
        QCOMPARE(res.at(i).at(0).value<uchar>(), uchar(i % 2));
    // Results every second: the elapsed time follows the instrument's.
    QVERIFY(d->results[0].elapsed_s >= 4 && d->results[0].elapsed_s <= 5);
    QCOMPARE(d->results[1].elapsed_s, d->results[0].elapsed_s);
    QCOMPARE(d->results[0].signal_freq, 2048000u);

    rig.sim->clearReceived();
    d->start_stop_test();
    QVERIFY(rig.runUntil([d] { return d->cmd_queue.isEmpty() && !d->awaiting_reply; }, 500));
    QCOMPARE(codes(rig.sim->received()).mid(0, 2), (QList<quint8>{0x0E, 0x88}));
    QVERIFY(!rig.sim->instrument().running());
    QCOMPARE(d->common.test_running, quint8(0));
    rig.run(3000);
    QCOMPARE(state.count(), 0);
}

void TstDevice::stopByInstrumentAnnouncedOnce()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    d->common.timed_measurement = 1;
    d->common.meas_days = 0;
    d->common.meas_hours = 0;
    d->common.meas_minutes = 1;
    d->set_base_setting();
    d->start_stop_test();
    QVERIFY(rig.runUntil([d] { return d->common.test_running == 1 && d->cmd_queue.isEmpty(); }, 1000));
    QSignalSpy state(d, &Device::dev_test_state);

    rig.run(58000);
    QVERIFY(rig.sim->instrument().running());
    QCOMPARE(state.count(), 0);
    // The instrument ends the test at one minute; its next results say so and
    // the configuration that follows carries the stopped state.
    QVERIFY(rig.runUntil([&state] { return state.count() == 1; }, 5000));
    QVERIFY(!rig.sim->instrument().running());
    QCOMPARE(rig.sim->instrument().elapsed_s(), 60u);
    QCOMPARE(d->common.test_running, quint8(0));
    rig.run(5000);
    QCOMPARE(state.count(), 1);
    QCOMPARE(d->results[0].status_flags & 1, 0);
    QCOMPARE(d->results[0].elapsed_s, 60u);
}

void TstDevice::firstConfigurationOfConnectionIsSilent()
{
    LinkRig rig;
    Device* d = rig.dev;
    rig.sim->instrument().startTest();
    QSignalSpy state(d, &Device::dev_test_state);
    QVERIFY(rig.connectFully());
    QCOMPARE(d->common.test_running, quint8(1));
    QCOMPARE(state.count(), 0);

    // A new connection starts silent again, even though the mirror said running.
    QSignalSpy disc(d, &Device::dev_disc);
    rig.sim->unplug();
    QVERIFY(rig.runUntil([&disc] { return disc.count() == 1; }, 2000));
    rig.sim->instrument().stopTest();
    rig.sim->plug();
    QVERIFY(rig.connectFully());
    QCOMPARE(d->common.test_running, quint8(0));
    QCOMPARE(state.count(), 0);

    // Started on the instrument's own keys: announced once.
    rig.sim->instrument().startTest();
    rig.sim->instrument().markConfigChanged(0);
    QVERIFY(rig.runUntil([&state] { return state.count() == 1; }, 2500));
    QCOMPARE(d->common.test_running, quint8(1));
    rig.run(3000);
    QCOMPARE(state.count(), 1);
}

void TstDevice::backlogFetchedWhenCommandsAreDone()
{
    LinkRig rig;
    Device* d = rig.dev;
    // A test that has run 35 s before the program connects: records 0, 1, 2
    // are stored, record 3 is in progress.
    rig.sim->instrument().startTest();
    rig.sim->advance(35000);
    QCOMPARE(rig.sim->instrument().storedRecords(), 3);

    struct Sent {
        quint8 code;
        int number;
        bool commands_waiting;
    };
    QList<Sent> sent;
    bool pushed = false;
    rig.sim->onWrite = [&](const QByteArray& f) {
        const quint8 code = codeOf(f);
        sent.append({code, code == 0x87 ? recordNumber(f) : -1, !d->cmd_queue.isEmpty()});
        // Settings made while records are still to come go out first.
        if (code == 0x87 && !pushed) {
            pushed = true;
            d->set_base_setting();
            d->set_jitter_settings();
        }
    };
    QSignalSpy table(d, &Device::table_rec_rcv);
    QVERIFY(rig.connectFully());
    QVERIFY(rig.runUntil([d] { return d->records.size() >= 4; }, 5000));
    rig.sim->onWrite = nullptr;

    QList<int> requested;
    QList<quint8> order;
    for (const Sent& s : sent) {
        order << s.code;
        if (s.code == 0x87) {
            requested << s.number;
            QVERIFY2(!s.commands_waiting, "record request sent while commands waited");
        }
    }
    QCOMPARE(requested, (QList<int>{0, 1, 2}));
    // The first poll (number 3) queues 0..2; the two settings pushed at the first
    // record request overtake the remaining record requests.
    const int first = order.indexOf(0x87);
    QVERIFY(first > 0);
    QCOMPARE(order.mid(first - 1, 5), (QList<quint8>{0x86, 0x87, 0x03, 0x0D, 0x87}));

    QCOMPARE(table.count(), 4);
    for (int k = 0; k < 4; ++k) {
        QCOMPARE(d->records.at(k).number, quint32(k));
        QCOMPARE(d->records.at(k).time_s, quint32(10 * k));
    }
    QVERIFY(d->rec_queue.isEmpty());
}

void TstDevice::recordsEveryTenSecondsWhileRunning()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    // 2048 bit errors a second on channel A.
    d->tx[0].err_type = 0;
    d->tx[0].err_mode = 2;
    d->tx[0].err_rate_exp = 3;
    d->set_error_settings_a();
    QSignalSpy table(d, &Device::table_rec_rcv);
    d->start_stop_test();
    rig.run(35500);

    QCOMPARE(d->records.size(), 4);
    for (int k = 0; k < d->records.size(); ++k) {
        const TableRecord& r = d->records.at(k);
        QCOMPARE(r.number, quint32(k));
        QCOMPARE(r.time_s, quint32(10 * k));
        // Taken in progress, shortly after it opened.
        QVERIFY2(r.counters[REC_BIT] >= 2048u * 10 * k && r.counters[REC_BIT] <= 2048u * 10 * (k + 1),
                 qPrintable(QString::number(r.counters[REC_BIT])));
        QCOMPARE(r.counters[8 + REC_BIT], 0u);
    }
    // Record 0 is announced on every poll while it is the current one.
    QVERIFY(table.count() >= 3 + 8);
}

void TstDevice::repeatedPollsBeforeRecordZero()
{
    LinkRig rig;
    Device* d = rig.dev;
    // A finished test with records 0..3.
    rig.sim->instrument().startTest();
    rig.sim->advance(35000);
    rig.sim->instrument().stopTest();
    QCOMPARE(rig.sim->instrument().storedRecords(), 4);
    QVERIFY(rig.connectFully());

    // A second poll gets ahead of the first record request: settings keep the
    // command queue busy after the first poll, and the next poll comes meanwhile.
    bool settings = false, polled = false;
    QList<int> requested;
    rig.sim->onWrite = [&](const QByteArray& f) {
        if (codeOf(f) == 0x86 && !settings) {
            settings = true;
            d->set_base_setting();
            d->set_base_setting();
        }
        if (codeOf(f) == 0x03 && !polled) {
            polled = true;
            d->tDevResTimeout();
        }
        if (codeOf(f) == 0x87)
            requested << recordNumber(f);
    };
    QSignalSpy table(d, &Device::table_rec_rcv);
    QVERIFY(rig.runUntil([d] { return d->records.size() == 4; }, 3000));
    rig.sim->onWrite = nullptr;
    QCOMPARE(requested, (QList<int>{0, 1, 2, 0, 1, 2}));
    // 0, 1, 2, record 0 again (replaced and announced), then 3 from a poll.
    QCOMPARE(table.count(), 5);
    for (int k = 0; k < 4; ++k)
        QCOMPARE(d->records.at(k).number, quint32(k));
    // Polls that name the last record change nothing.
    rig.run(3000);
    QCOMPARE(table.count(), 5);
}

void TstDevice::recordsKeepUpAfterALongBacklog()
{
    LinkRig rig;
    Device* d = rig.dev;
    // 600 records stored and the test still running: fetching them takes
    // longer than one record, so the instrument moves on meanwhile.
    rig.sim->instrument().startTest();
    rig.sim->advance(6000 * 1000 + 5000);
    QVERIFY(rig.connectFully());
    QVERIFY(rig.runUntil([&] { return d->records.size() >= rig.sim->instrument().storedRecords() + 1; }, 40000));
    rig.run(25000);
    const SimInstrument& inst = rig.sim->instrument();
    QCOMPARE(d->records.size(), inst.storedRecords() + 1);
    for (int k = 0; k < d->records.size(); ++k) {
        QCOMPARE(d->records.at(k).number, quint32(k));
        QCOMPARE(d->records.at(k).time_s, quint32(10 * k));
    }
}

void TstDevice::faultEndsConnection_data()
{
    // The debug line that names the failure (empty: not checked).
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("line");
    QTest::newRow("write fails") << "write" << "\"SI_Write\" System error code.";
    QTest::newRow("queue check fails") << "check" << "\"SI_CheckRXQueue\" System error code.";
    QTest::newRow("read fails") << "read" << "\"SI_Read\" System error code.";
    QTest::newRow("no reply") << "drop" << "";
    QTest::newRow("foreign code") << "foreign" << "Packet is not accepted: \"80\"";
    QTest::newRow("corrupted checksum") << "corrupt" << "Checksum error.";
    QTest::newRow("split reply") << "split" << "Checksum error.";
    QTest::newRow("split after two bytes") << "split2" << "Packet is not accepted: \"80\"";
    QTest::newRow("unplugged") << "unplug" << "";
}

void TstDevice::faultEndsConnection()
{
    QFETCH(QString, fault);
    QFETCH(QString, line);
    LinkRig rig;
    Device* d = rig.dev;
    SimBackend* sim = rig.sim;
    QVERIFY(rig.connectFully());
    d->start_stop_test();
    rig.run(12000);
    QVERIFY(!d->records.isEmpty());

    QSignalSpy disc(d, &Device::dev_disc);
    QSignalSpy conn(d, &Device::dev_conn);
    auto log = std::make_unique<MessageLog>();
    if (fault == "write")
        sim->failNext(SimBackend::Call::Write);
    else if (fault == "check")
        sim->failNext(SimBackend::Call::CheckRXQueue);
    else if (fault == "read")
        sim->failNext(SimBackend::Call::Read);
    else if (fault == "drop")
        sim->dropReply(0x80);
    else if (fault == "foreign")
        sim->foreignReply(0x80);
    else if (fault == "corrupt")
        sim->corruptReply(0x80);
    else if (fault == "split")
        sim->splitReply(0x80, 10);
    else if (fault == "split2")
        sim->splitReply(0x80, 2);
    else if (fault == "unplug")
        sim->unplug();

    QVERIFY(rig.runUntil([&disc] { return disc.count() == 1; }, 7000));
    if (!line.isEmpty())
        QVERIFY2(log->has(line), qPrintable(log->lines.join('|')));
    log.reset();
    QVERIFY(!d->connected);
    QVERIFY(d->records.isEmpty());
    QVERIFY(d->cmd_queue.isEmpty());
    QVERIFY(d->rec_queue.isEmpty());
    QVERIFY(!sim->isOpen());
    QVERIFY(d->scan_timer->isActive());
    // Results and settings keep their last values.
    QCOMPARE(d->device_id, quint8(10));
    QVERIFY(d->results[0].elapsed_s > 0);

    if (fault == "unplug") {
        rig.run(3000);
        QCOMPARE(conn.count(), 0);
        sim->plug();
    }
    QVERIFY(rig.runUntil([&conn] { return conn.count() == 1; }, 3000));
    QVERIFY(d->connected);
    QCOMPARE(disc.count(), 1);
    // The link works again, and the running test's records come back from 0.
    QVERIFY(rig.runUntil([d] { return d->records.size() >= 2; }, 3000));
    QCOMPARE(d->records.at(0).number, 0u);
    QCOMPARE(disc.count(), 1);
}

void TstDevice::foreignCodeNamesTheRequest()
{
    LinkRig rig;
    QVERIFY(rig.connectFully());
    QSignalSpy disc(rig.dev, &Device::dev_disc);
    MessageLog log;
    rig.sim->foreignReply(0x80, 0xC0);
    QVERIFY(rig.runUntil([&disc] { return disc.count() == 1; }, 2000));
    QVERIFY2(log.has("Packet is not accepted: \"80\""), qPrintable(log.lines.join('|')));
}

void TstDevice::replyTimeoutAfterFiveSeconds()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    qint64 written = -1;
    rig.sim->onWrite = [&](const QByteArray& f) {
        if (codeOf(f) == 0x80 && written < 0)
            written = rig.sim->now_ms();
    };
    rig.sim->dropReply(0x80);
    QSignalSpy disc(d, &Device::dev_disc);
    QVERIFY(rig.runUntil([&] { return written >= 0; }, 1500));
    QVERIFY(rig.runUntil([&disc] { return disc.count() == 1; }, 6000));
    rig.sim->onWrite = nullptr;
    const qint64 waited = rig.sim->now_ms() - written;
    QVERIFY2(waited > Device::REPLY_TIMEOUT_MS && waited <= Device::REPLY_TIMEOUT_MS + 20,
             qPrintable(QString::number(waited)));
    QVERIFY(d->records.isEmpty());
    QVERIFY(rig.runUntil([d] { return d->connected && d->device_id == 10; }, 2000));
}

void TstDevice::slowRepliesWithinTheLimitKeepTheLink()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    QSignalSpy disc(d, &Device::dev_disc);
    QSignalSpy res(d, &Device::res_rcv);
    rig.sim->setReplyDelay(4900);
    rig.run(16000);
    QCOMPARE(disc.count(), 0);
    QVERIFY(res.count() >= 2);
}

void TstDevice::countFailureIsRetried()
{
    LinkRig rig;
    rig.sim->failNext(SimBackend::Call::Count, usb::GLOBAL_DATA_ERROR);
    MessageLog log;
    rig.run(1000);
    QVERIFY(!rig.dev->connected);
    QVERIFY(log.has("\"SI_GetNumDevices\" Global data error."));
    QVERIFY(rig.dev->scan_timer->isActive());
    QVERIFY(rig.connectFully());
}

void TstDevice::openFailureHalts()
{
    LinkRig rig;
    rig.sim->failNext(SimBackend::Call::Open);
    MessageLog log;
    rig.run(5000);
    QVERIFY(!rig.dev->connected);
    QVERIFY(log.has("\"SI_Open\" System error code."));
    QVERIFY(!rig.dev->scan_timer->isActive());
    QCOMPARE(rig.sim->opens(), 0);
}

void TstDevice::beforeWriteResultIsIgnored()
{
    LinkRig rig;
    QVERIFY(rig.connectFully());
    QSignalSpy disc(rig.dev, &Device::dev_disc);
    QSignalSpy res(rig.dev, &Device::res_rcv);
    rig.sim->failNext(SimBackend::Call::BeforeWrite, usb::SYSTEM_ERROR_CODE, 6);
    rig.run(2000);
    QCOMPARE(disc.count(), 0);
    QCOMPARE(res.count(), 4);
}

void TstDevice::unknownStatusIsReportedWithItsNumber()
{
    LinkRig rig;
    QVERIFY(rig.connectFully());
    QSignalSpy disc(rig.dev, &Device::dev_disc);
    MessageLog log;
    rig.sim->failNext(SimBackend::Call::Read, 2);
    QVERIFY(rig.runUntil([&disc] { return disc.count() == 1; }, 2000));
    QVERIFY2(log.has("2 \"SI_Read\" Not implemented yet."), qPrintable(log.lines.join('|')));
}

void TstDevice::twoInstrumentsWarnOnceAndHalt()
{
    LinkRig rig;
    rig.sim->setDeviceCount(2);
    rig.run(3000);
    QCOMPARE(rig.warnings, QStringList{"More then 1 device found."});
    QVERIFY(!rig.dev->scan_timer->isActive());
    rig.sim->setDeviceCount(1);
    rig.run(5000);
    QCOMPARE(rig.warnings.size(), 1);
    QVERIFY(!rig.dev->connected);
    QCOMPARE(rig.sim->opens(), 0);
}

void TstDevice::reconnectionRestartsTheSamePollTimer()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    QTimer* const poll = d->res_timer;
    QSignalSpy disc(d, &Device::dev_disc);
    QSignalSpy conn(d, &Device::dev_conn);
    rig.sim->unplug();
    QVERIFY(rig.runUntil([&disc] { return disc.count() == 1; }, 2000));
    // Nothing piles up while no instrument is there.
    QVERIFY(!d->res_timer->isActive());
    rig.run(3000);
    QVERIFY(d->cmd_queue.isEmpty());

    rig.sim->plug();
    QVERIFY(rig.runUntil([&conn] { return conn.count() == 1; }, 2000));
    QCOMPARE(d->res_timer, poll);
    QVERIFY(d->res_timer->isActive());
    QVERIFY(rig.connectFully());
    rig.sim->clearReceived();
    rig.run(3000);
    QCOMPARE(countCode(rig.sim->received(), 0x80), 3);
    QCOMPARE(countCode(rig.sim->received(), 0xC0), 3);
}

void TstDevice::packetsQueuedWhileClosedAreDropped()
{
    LinkRig rig;
    Device* d = rig.dev;
    rig.sim->unplug();
    d->set_base_setting();
    d->start_stop_test();
    d->set_error_settings_b();
    QCOMPARE(d->cmd_queue.size(), 3);
    rig.run(2000);
    rig.sim->plug();
    QVERIFY(rig.connectFully());
    rig.run(1500);
    const QList<quint8> sent = codes(rig.sim->received());
    QVERIFY(!sent.contains(0x03));
    QVERIFY(!sent.contains(0x0E));
    QVERIFY(!sent.contains(0x47));
    QCOMPARE(sent.first(), quint8(0x8A));
    QVERIFY(!rig.sim->instrument().running());
}

QTEST_GUILESS_MAIN(TstDevice)
#include "tst_device.moc"
