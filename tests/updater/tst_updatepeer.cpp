// The simulated instrument's side of the update protocol.

#include "updatepeer.h"

#include <QtTest>

namespace {

QByteArray dataPacket(char letter, const QByteArray& data)
{
    QByteArray p;
    p.append(letter);
    p.append(char(data.size()));
    p.append(data);
    quint8 sum = 0;
    for (char c : p)
        sum = quint8(sum + quint8(c));
    p.append(char(~sum));
    return p;
}

const QByteArray REQUEST(1, char(0xA3));
const QByteArray ACK("P");

} // namespace

class TestUpdatePeer : public QObject {
    Q_OBJECT
private slots:
    void normalCourse()
    {
        UpdatePeer peer;
        QCOMPARE(peer.handle(REQUEST), REQUEST);
        QCOMPARE(peer.handle("SQ"), ACK);
        QCOMPARE(peer.handle(dataPacket('Q', QByteArray(60, 'a'))), ACK);
        QCOMPARE(peer.handle(dataPacket('Q', "bc")), ACK);
        QCOMPARE(peer.handle("SR"), ACK);
        QCOMPARE(peer.handle(dataPacket('R', QByteArray())), ACK);
        QCOMPARE(peer.handle(dataPacket('R', "xyz")), ACK);
        QVERIFY(!peer.finished());
        const QByteArray end = peer.handle("U");
        QCOMPARE(end.size(), 1);
        QVERIFY(end != ACK && end != REQUEST);
        QVERIFY(peer.finished());
        QCOMPARE(peer.sectionQ(), QByteArray(60, 'a') + "bc");
        QCOMPARE(peer.sectionR(), QByteArray("xyz"));
        QCOMPARE(peer.rejected(), 0);
        QCOMPARE(peer.packetsHandled(), 8);

        // A new request starts again from nothing.
        QCOMPARE(peer.handle(REQUEST), REQUEST);
        QVERIFY(!peer.finished());
        QVERIFY(peer.sectionQ().isEmpty() && peer.sectionR().isEmpty());
    }

    void rejectsBadPackets_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QByteArray badSum = dataPacket('Q', "hello");
        badSum[badSum.size() - 1] = char(badSum.at(badSum.size() - 1) ^ 0x01);
        QByteArray shortPacket = dataPacket('Q', "hello");
        shortPacket.chop(2);
        QByteArray tooMany = dataPacket('Q', QByteArray(61, 'z'));
        QTest::newRow("bad checksum") << badSum;
        QTest::newRow("count larger than the packet") << shortPacket;
        QTest::newRow("more than 60 bytes") << tooMany;
        QTest::newRow("other section") << dataPacket('R', "abc");
        QTest::newRow("letter only") << QByteArray("Q");
        QTest::newRow("unknown packet") << QByteArray("Z");
        QTest::newRow("empty") << QByteArray();
    }

    void rejectsBadPackets()
    {
        QFETCH(QByteArray, packet);
        UpdatePeer peer;
        peer.handle(REQUEST);
        peer.handle("SQ");
        const QByteArray reply = peer.handle(packet);
        QVERIFY(!reply.isEmpty());
        QVERIFY(reply.at(0) != 'P' && reply.at(0) != char(0xA3));
        QVERIFY(peer.sectionQ().isEmpty());
        QVERIFY(peer.sectionR().isEmpty());
        // A good packet afterwards is still taken.
        QCOMPARE(peer.handle(dataPacket('Q', "ok")), ACK);
        QCOMPARE(peer.sectionQ(), QByteArray("ok"));
    }

    void nothingBeforeTheRequest()
    {
        UpdatePeer peer;
        QCOMPARE(peer.handle("SQ").at(0), UpdatePeer::REJECT);
        QCOMPARE(peer.handle(dataPacket('Q', "a")).at(0), UpdatePeer::REJECT);
        QCOMPARE(peer.handle("U").at(0), UpdatePeer::REJECT);
        QVERIFY(!peer.finished());
    }

    void sectionsCanBeRevisited()
    {
        // A header does not erase what its section already holds.
        UpdatePeer peer;
        peer.handle(REQUEST);
        peer.handle("SQ");
        peer.handle(dataPacket('Q', "12"));
        peer.handle("SR");
        peer.handle(dataPacket('R', "34"));
        peer.handle("SQ");
        QCOMPARE(peer.handle(dataPacket('Q', QByteArray())), ACK);
        peer.handle("SR");
        peer.handle(dataPacket('R', "56"));
        QCOMPARE(peer.sectionQ(), QByteArray("12"));
        QCOMPARE(peer.sectionR(), QByteArray("3456"));
    }

    void silenceAndReset()
    {
        UpdatePeer peer;
        peer.silentFrom = 2;
        QCOMPARE(peer.handle(REQUEST), REQUEST);
        QCOMPARE(peer.handle("SQ"), ACK);
        QVERIFY(peer.handle(dataPacket('Q', "a")).isEmpty());
        QVERIFY(peer.sectionQ().isEmpty()); // a silent instrument takes nothing either
        peer.handle("U");
        QVERIFY(!peer.finished());
        peer.reset();
        QCOMPARE(peer.packetsHandled(), 0);
        QCOMPARE(peer.handle(REQUEST), REQUEST);
        QCOMPARE(peer.handle("SQ"), ACK);
        QVERIFY(peer.handle("SR").isEmpty());
    }
};

QTEST_MAIN(TestUpdatePeer)
#include "tst_updatepeer.moc"
