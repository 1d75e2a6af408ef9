// Setups in files against the simulated instrument: a round trip restores its
// configuration byte for byte, in the panels' commands and order; a bad file,
// a running test or a missing instrument sends nothing.

#include "proto/setupfile.h"
#include "tests/support/linkrig.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

// Two setups that differ in every setting a file holds, as the instrument reads them back.
Setup setup(bool other)
{
    Setup s;
    if (!other) {
        // Joint mode: each receiver shares its transmitter's code, inversion, framing and timeslots.
        s.common = {5, 17, 0x1234, 0xBEEF, 1, 1, 2, 3, 4};
        s.tx[0] = {2, 1, -150, 1, 1, 1, 1, 1, 0, 0xAAAAAAAA, 1, 2, 4, 1, 2, 1, 2.55, 12340};
        s.tx[1] = {1, 2, 77, 0, 1, 1, 1, 1, 1, 0x0000FFFE, 0, 2, 6, 1, 1};
        s.rx[0] = {1, 1, 3, 1, 1, 1, 1, 0xAAAAAAAA};
        s.rx[1] = {0, 1, 2, 0, 1, 1, 1, 0x0000FFFE};
    } else {
        s.common = {2, 200, 0x4321, 0x0F0F, 0, 0, 9, 20, 59};
        s.tx[0] = {0, 2, 99, 0, 0, 0, 0, 0, 0, 0x55555554, 4, 1, 0, 0, 0, 0, 0.5, 1000};
        s.tx[1] = {0, 0, -3, 1, 0, 0, 0, 0, 0, 0xFFFF0000, 5, 1, 0, 0, 0};
        s.rx[0] = {0, 0, 1, 0, 0, 0, 0, 0x0000FFFE};
        s.rx[1] = {1, 0, 0, 1, 0, 0, 0, 0x0F0F0F0E};
    }
    return s;
}

QString write(const QTemporaryDir& dir, const QByteArray& text)
{
    QFile f(dir.filePath("setup.json"));
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    return f.fileName();
}

QByteArray shown(const Device& d) { return setup_to_json(setup_of(d)); }

} // namespace

class TestSetup : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    static bool settle(LinkRig& rig) { return rig.runUntil([&] { return rig.idle(); }, 3000); }

private slots:
    void roundTripRestoresTheInstrument()
    {
        LinkRig rig;
        QVERIFY(rig.connectFully());
        QString error;
        // Every setting of the file reaches the instrument and comes back as written.
        const QByteArray first = setup_to_json(setup(false));
        QVERIFY2(rig.dev->send_setup_file(write(dir, first), &error), qPrintable(error));
        QVERIFY(settle(rig));
        QCOMPARE(shown(*rig.dev), first);

        const QByteArray saved[2] = {rig.sim->instrument().config(0), rig.sim->instrument().config(1)};
        const QString path = dir.filePath("saved.json");
        QVERIFY2(save_setup_file(path, setup_of(*rig.dev), &error), qPrintable(error));

        QVERIFY(rig.dev->send_setup(setup(true), &error));
        QVERIFY(settle(rig));
        // Both texts have the same keys in the same lines: every setting's line differs.
        const QList<QByteArray> was = first.split('\n'), now = shown(*rig.dev).split('\n');
        QCOMPARE(now.size(), was.size());
        for (int i = 0; i < was.size(); ++i)
            if (was[i].contains(": ") && !was[i].endsWith('{') && !was[i].contains("\"format\"")
                && !was[i].contains("\"version\""))
                QVERIFY2(now[i] != was[i], was[i].constData());

        rig.sim->clearReceived();
        QVERIFY2(rig.dev->send_setup_file(path, &error), qPrintable(error));
        QVERIFY(settle(rig));
        QCOMPARE(rig.sim->instrument().config(0), saved[0]);
        QCOMPARE(rig.sim->instrument().config(1), saved[1]);
        QList<int> codes;
        for (const QByteArray& frame : rig.sim->received())
            if (!QList<int>{0x80, 0xC0, 0x86, 0x87}.contains(quint8(frame.at(2))))
                codes << quint8(frame.at(2));
        QCOMPARE(codes, (QList<int>{0x03, 0x04, 0x05, 0x07, 0x08, 0x09, 0x0C, 0x45, 0x47, 0x48, 0x49, 0x4C, 0x06,
                                    0x0D, 0x88, 0xC8}));
    }

    void jointModeReceiversFollowTransmitters()
    {
        Setup s = setup(false);
        s.rx[1] = setup(true).rx[1];
        Model m;
        apply_setup(s, &m);
        RxSettings expected = s.rx[1]; // gain and long line stay the receiver's own
        follow_transmitter(s.tx[1], &expected);
        QCOMPARE(setup_to_json(setup_of(m)), setup_to_json(Setup{s.common, {s.tx[0], s.tx[1]}, {s.rx[0], expected}}));
    }

    // Whatever stops a setup, it names the fault, and nothing reaches the model or the queue.
    void refusedSetupSendsNothing_data()
    {
        QTest::addColumn<QString>("from"); // in the text of a good file: "running" and "unplugged" keep it
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* from, const char* to, const char* expected) {
            QTest::newRow(from) << QString(from) << QString(to) << QString(expected);
        };
        row("\"hours\": 3", "\"hours\": 24", "\"common.hours\": the value 24 is not allowed (allowed: 0..23)");
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

    void refusedSetupSendsNothing()
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
        const QString text = QString::fromUtf8(setup_to_json(setup(false)));
        QVERIFY(from == "running" || from == "unplugged" || text.contains(from));
        QString error;
        QVERIFY(!rig.dev->send_setup_file(write(dir, QString(text).replace(from, to).toUtf8()), &error));
        QVERIFY2(error.contains(expected), qPrintable(error));
        QVERIFY(rig.dev->cmd_queue.isEmpty());
        QCOMPARE(shown(*rig.dev), model);
    }
};

QTEST_GUILESS_MAIN(TestSetup)
#include "tst_setup.moc"
