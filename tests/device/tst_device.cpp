// The device link against the simulated instrument: the polled exchange, the two queues, start and
// stop, the end of a connection on every kind of failure, and setups in files.

#include "proto/setupfile.h"
#include "tests/support/debugcapture.h"
#include "tests/support/frames.h"
#include "tests/support/linkrig.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Each way a connection can break, and the debug line naming it (none: the reply time-out).
struct Fault {
    const char* name;
    std::function<void(SimBackend*)> inject;
    QString line;
};
using C = SimBackend::Call;
const QList<Fault> faults = {
    {"write fails", [](SimBackend* s) { s->failNext(C::Write); }, "\"SI_Write\" System error code."},
    {"queue check fails", [](SimBackend* s) { s->failNext(C::CheckRXQueue); }, "\"SI_CheckRXQueue\" System error code."},
    {"read fails", [](SimBackend* s) { s->failNext(C::Read); }, "\"SI_Read\" System error code."},
    {"no reply", [](SimBackend* s) { s->dropReply(0x80); }, ""},
    {"foreign code", [](SimBackend* s) { s->foreignReply(0x80, 0xC0); }, "Packet is not accepted: \"80\""},
    {"corrupted checksum", [](SimBackend* s) { s->corruptReply(0x80); }, "Checksum error."},
};

// Two setups that differ in every setting a file holds, as the instrument reads them back.
const Setup SETUPS[2] = {
    // Joint mode, and receiver B set apart from its transmitter: it takes the transmitter's instead.
    {{5, 17, 0x1234, 0xBEEF, 1, 1, 2, 3, 4},
     {{2, 1, -150, 1, 1, 1, 1, 1, 0, 0xAAAAAAAA, 1, 2, 4, 1, 2, 1, 2.55, 12340},
      {1, 2, 77, 0, 1, 1, 1, 1, 1, 0x0000FFFE, 0, 2, 6, 1, 1}},
     {{1, 1, 3, 1, 1, 1, 1, 0xAAAAAAAA}, {1, 0, 2, 0, 0, 0, 0, 0x0F0F0F0E}}},
    {{2, 200, 0x4321, 0x0F0F, 0, 0, 9, 20, 59},
     {{0, 2, 99, 0, 0, 0, 0, 0, 0, 0x55555554, 4, 1, 0, 0, 0, 0, 0.5, 1000},
      {0, 0, -3, 1, 0, 0, 0, 0, 0, 0xFFFF0000, 5, 1, 0, 0, 0}},
     {{0, 0, 1, 0, 0, 0, 0, 0x0000FFFE}, {1, 0, 0, 1, 0, 0, 0, 0x0F0F0F0E}}},
};

QString write(const QTemporaryDir& dir, const QByteArray& text)
{
    QFile f(dir.filePath("setup.json"));
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    return f.fileName();
}

QByteArray shown(const Device& d) { return setup_to_json(setup_of(d)); }

} // namespace

class TstDevice : public QObject {
    Q_OBJECT

private slots:
    void startResultsAndBothStops();
    void backlogFetchedAfterCommandsAndKeptUp();
    void reconnectionFetchesOnlyWhatIsNew_data();
    void reconnectionFetchesOnlyWhatIsNew();
    void setupRoundTripRestoresTheInstrument();
    void refusedSetupSendsNothing_data();
    void refusedSetupSendsNothing();

private:
    QTemporaryDir dir;
    static bool settle(LinkRig& rig) { return rig.runUntil([&] { return rig.idle(); }, 3000); }
};

void TstDevice::startResultsAndBothStops()
{
    LinkRig rig;
    Device* d = rig.dev;
    QVERIFY(rig.connectFully());
    QSignalSpy state(d, &Device::dev_test_state);
    rig.sim->clearReceived();
    d->start_stop_test();
    QVERIFY(settle(rig));
    // The acknowledgement brings the channel-A configuration, which agrees.
    QCOMPARE(codes(rig.sim->received()).mid(0, 2), (QList<quint8>{0x0E, 0x88}));
    QVERIFY(rig.sim->instrument().running());
    QCOMPARE(d->common.test_running, quint8(1));

    // Stop pressed as the instrument ends the test: the stopped state read between the stop and its
    // answer must not read as a start that throws the finished test's records away.
    rig.run(40000);
    const qsizetype held = d->records.size();
    QVERIFY(held >= 3);
    QSignalSpy cleared(d, &Device::records_cleared);
    rig.sim->instrument().stopTest();
    d->get_cfg(0);
    d->start_stop_test();
    QVERIFY(settle(rig));
    rig.run(3000);
    QVERIFY(!rig.sim->instrument().running() && d->common.test_running == 0);
    QCOMPARE(cleared.count(), 0);
    QVERIFY(d->records.size() >= held);
    QCOMPARE(state.count(), 1); // the instrument's stop, once: the user's own start and stop announce nothing
}

// 600 records stored before the program connects: settings made meanwhile go out first, and the
// records the instrument closes while the backlog is fetched are asked for too.
void TstDevice::backlogFetchedAfterCommandsAndKeptUp()
{
    LinkRig rig;
    Device* d = rig.dev;
    const SimInstrument& inst = rig.sim->instrument();
    rig.sim->instrument().startTest();
    rig.sim->advance(6000 * 1000 + 5000);
    QList<quint8> order;
    rig.sim->onWrite = [&](const QByteArray& f) {
        order << codeOf(f);
        if (codeOf(f) != 0x87)
            return;
        QVERIFY2(d->cmd_queue.isEmpty(), "record request sent while commands waited");
        if (order.count(0x87) == 1) {
            QVERIFY2(d->records.isEmpty(), "the polled record listed before record 0");
            d->set_base_setting();
            d->set_jitter_settings();
        }
    };
    QVERIFY(rig.connectFully());
    QVERIFY(rig.runUntil([&] { return d->records.size() >= inst.storedRecords() + 1; }, 40000));
    // The first poll queues the backlog; the settings overtake all but the first record request.
    const int first = order.indexOf(0x87);
    QCOMPARE(order.mid(first - 1, 5), (QList<quint8>{0x86, 0x87, 0x03, 0x0D, 0x87}));
    rig.run(25000);
    QCOMPARE(d->records.size(), inst.storedRecords() + 1);
    for (int k = 0; k < d->records.size(); ++k)
        QVERIFY(d->records.at(k).number == quint32(k) && d->records.at(k).time_s == quint32(10 * k));
    // Closed records hold what the instrument stored, also those first taken while still counting.
    d->tx[0].err_mode = 2;
    d->tx[0].err_rate_exp = 5;
    d->set_error_settings_a();
    rig.run(35000);
    QVERIFY(d->records.last().counters[REC_BIT] > d->records.at(d->records.size() - 4).counters[REC_BIT]);
    for (int k = 0; k + 1 < d->records.size(); ++k)
        QCOMPARE(d->records.at(k).counters[REC_BIT], inst.record(k).counters[REC_BIT]);
    // Once the test has ended, repeated polls of an unchanged record announce nothing.
    rig.sim->instrument().stopTest();
    rig.run(3000);
    QSignalSpy announced(d, &Device::table_rec_rcv);
    rig.run(5000);
    QCOMPARE(announced.count(), 0);
    QCOMPARE(d->records.size(), inst.storedRecords());
}

enum Event { Nothing, Stop, Restart, ConfigChange };

void TstDevice::reconnectionFetchesOnlyWhatIsNew_data()
{
    QTest::addColumn<int>("event");
    QTest::addColumn<int>("outage"); // ms unplugged; 0: the link stays up, or a fault breaks it
    QTest::addColumn<int>("fault");  // in `faults`; -1: none
    QTest::addColumn<bool>("refetch");
    QTest::newRow("same test") << int(Nothing) << 45000 << -1 << false;
    QTest::newRow("stopped meanwhile") << int(Stop) << 45000 << -1 << false;
    QTest::newRow("restarted, fewer records") << int(Restart) << 45000 << -1 << true;
    QTest::newRow("restarted, more records") << int(Restart) << 400000 << -1 << true;
    QTest::newRow("configuration changed, connected") << int(ConfigChange) << 0 << -1 << false;
    QTest::newRow("restarted, connected") << int(Restart) << 0 << -1 << true;
    for (int i = 0; i < faults.size(); ++i)
        QTest::newRow(faults.at(i).name) << int(Nothing) << 0 << i << false;
}

// 30 records held; the link breaks (by a fault or unplugged) or not while the test goes on, stops or
// restarts: held records of the same test stay and only what is new is asked for; another test's
// replace them all.
void TstDevice::reconnectionFetchesOnlyWhatIsNew()
{
    QFETCH(int, event);
    QFETCH(int, outage);
    QFETCH(int, fault);
    QFETCH(bool, refetch);
    LinkRig rig;
    Device* d = rig.dev;
    SimInstrument& inst = rig.sim->instrument();
    inst.setNoise(true); // no two tests have equal records
    inst.startTest();
    rig.sim->advance(305000);
    QSignalSpy conn(d, &Device::dev_conn);
    int connections = 1;
    auto complete = [&] {
        return conn.count() == connections && d->records.size() == inst.storedRecords() + (inst.running() ? 1 : 0)
            && d->rec_queue.isEmpty() && !d->awaiting_reply && !d->checking_records();
    };
    QVERIFY(rig.connectFully() && rig.runUntil(complete, 5000));
    const qsizetype held = d->records.size();
    QSignalSpy cleared(d, &Device::records_cleared);

    if (fault >= 0) {
        const Fault& f = faults.at(fault);
        QSignalSpy disc(d, &Device::dev_disc);
        qint64 polled = -1;
        rig.sim->onWrite = [&](const QByteArray& frame) {
            if (codeOf(frame) == 0x80 && polled < 0)
                polled = rig.now();
        };
        DebugCapture log;
        f.inject(rig.sim);
        QVERIFY(rig.runUntil([&disc] { return disc.count() == 1; }, 7000));
        rig.sim->onWrite = nullptr;
        if (!f.line.isEmpty())
            QVERIFY2(log.lines.contains(f.line), qPrintable(log.joined()));
        // An unanswered request ends the link after the reply time-out, no sooner.
        const qint64 waited = rig.now() - polled;
        QVERIFY2(!f.line.isEmpty() || (waited > Device::REPLY_TIMEOUT_MS && waited <= Device::REPLY_TIMEOUT_MS + 20),
                 qPrintable(QString::number(waited)));
        // Closed and idle, the records kept, no instrument named; it looks again every second.
        QVERIFY(!d->connected && !rig.sim->isOpen() && d->cmd_queue.isEmpty() && d->rec_queue.isEmpty());
        QVERIFY(d->records.size() == held && !d->identified);
        QVERIFY(d->scan_timer->isActive() && d->scan_timer->interval() == 1000);
    }
    if (outage)
        rig.sim->unplug();
    rig.sim->clearReceived();
    if (event == Stop)
        inst.stopTest();
    if (event == Restart)
        inst.startTest();
    if (event == ConfigChange)
        inst.markConfigChanged(0);
    rig.run(outage ? outage : 35000);
    if (outage)
        QVERIFY(d->records.size() >= held); // kept, and shown, while away
    rig.sim->plug();
    connections += outage || fault >= 0 ? 1 : 0;
    QVERIFY(rig.runUntil(complete, 5000));

    QCOMPARE(cleared.count(), int(refetch));
    // Held records asked for again, besides the first and the newest few (those may have counted on).
    const int stored = inst.storedRecords();
    int again = 0;
    for (const QByteArray& f : rig.sim->received())
        again += codeOf(f) == 0x87 && recordNumber(f) > 0 && recordNumber(f) < held - 3;
    QCOMPARE(again, refetch ? qMin(stored, int(held) - 3) - 1 : 0);
    for (int k = 0; k < stored; ++k) {
        const TableRecord& got = d->records.at(k);
        const SimRecord& want = inst.record(k);
        QVERIFY2(got.number == quint32(k) && got.time_s == want.time_s && qRound(got.jitter * 100) == want.jitter
                     && std::equal(got.counters, got.counters + 16, want.counters),
                 qPrintable(QString::number(k)));
    }
}

void TstDevice::setupRoundTripRestoresTheInstrument()
{
    LinkRig rig;
    QVERIFY(rig.connectFully());
    QString error;
    // Every setting of the file reaches the instrument and comes back as written, the joint ones as followed.
    QVERIFY2(rig.dev->send_setup_file(write(dir, setup_to_json(SETUPS[0])), &error), qPrintable(error));
    QVERIFY(settle(rig));
    Setup joint = SETUPS[0]; // gain and long line stay the receiver's own
    follow_transmitter(joint.tx[1], &joint.rx[1]);
    QCOMPARE(shown(*rig.dev), setup_to_json(joint));

    const QByteArray saved[2] = {rig.sim->instrument().config(0), rig.sim->instrument().config(1)};
    const QString path = dir.filePath("saved.json");
    QVERIFY2(save_setup_file(path, setup_of(*rig.dev), &error), qPrintable(error));

    QVERIFY(rig.dev->send_setup(SETUPS[1], &error));
    QVERIFY(settle(rig));
    QCOMPARE(shown(*rig.dev), setup_to_json(SETUPS[1])); // every setting changed

    rig.sim->clearReceived();
    QVERIFY2(rig.dev->send_setup_file(path, &error), qPrintable(error));
    QVERIFY(settle(rig));
    QCOMPARE(rig.sim->instrument().config(0), saved[0]);
    QCOMPARE(rig.sim->instrument().config(1), saved[1]);
    QList<quint8> sent = codes(rig.sim->received()); // the settings, without the polls
    sent.removeIf([](quint8 c) { return c == 0x80 || c == 0xC0 || c == 0x86 || c == 0x87; });
    QCOMPARE(sent, (QList<quint8>{0x03, 0x04, 0x05, 0x07, 0x08, 0x09, 0x0C, 0x45, 0x47, 0x48, 0x49, 0x4C, 0x06,
                                0x0D, 0x88, 0xC8}));
}

// Whatever stops a setup, it names the fault, and nothing reaches the model or the queue.
void TstDevice::refusedSetupSendsNothing_data()
{
    QTest::addColumn<QString>("from"); // in the text of a good file: "running" and "unplugged" keep it
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* from, const char* to, const char* expected) {
        QTest::newRow(from) << QString(from) << QString(to) << QString(expected);
    };
    row("\"minutes\": 4", "\"minutes\": 0",
        "\"common.minutes\": the value 0 is not allowed with a limited measurement time");
    row("\"inversion\": true", "\"inversion\": 1",
        "inversion\": the value 1 is not allowed (allowed: true, false)");
    row("\"version\": 1", "\"version\": 2", "\"version\": the value 2 ");
    row("\"extra_gain\": \"32 dB\",", "", "Field \"channel_a.receiver.extra_gain\" is missing.");
    row("\"sync_signal\": true", "\"sync_signal\": true, \"jitter\": true",
        "\"channel_b.transmitter.jitter\" (value true) is not a setting");
    row("\"format\"", "format", "not a setup file");
    row("running", "", "A test is running: stop it before loading settings.");
    row("unplugged", "", "No instrument is connected: the settings were not sent.");
}

void TstDevice::refusedSetupSendsNothing()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, expected);
    LinkRig rig;
    QVERIFY(rig.connectFully());
    if (from == "running") {
        rig.dev->start_stop_test();
        QVERIFY(rig.runUntil([&] { return rig.dev->common.test_running && rig.dev->cmd_queue.isEmpty(); }, 3000));
    } else if (from == "unplugged") {
        rig.sim->unplug();
        QVERIFY(rig.runUntil([&] { return !rig.dev->connected; }, 3000));
    }
    const QByteArray model = shown(*rig.dev);
    const QString text = QString::fromUtf8(setup_to_json(SETUPS[0]));
    QString error;
    QVERIFY(!rig.dev->send_setup_file(write(dir, QString(text).replace(from, to).toUtf8()), &error));
    QVERIFY2(error.contains(expected), qPrintable(error));
    QVERIFY(rig.dev->cmd_queue.isEmpty());
    QCOMPARE(shown(*rig.dev), model);
}

QTEST_GUILESS_MAIN(TstDevice)
#include "tst_device.moc"
