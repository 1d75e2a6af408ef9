// The simulated instrument's side of the update protocol.

#include "simulator/updatepeer.h"

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

class TstUpdatePeer : public QObject {
    Q_OBJECT
private slots:
    void sectionsAndRestart()
    {
        UpdatePeer peer;
        QCOMPARE(peer.handle("SQ").at(0), UpdatePeer::REJECT); // nothing before the request
        QCOMPARE(peer.handle(REQUEST), REQUEST);
        for (const QByteArray& p : {QByteArray("SQ"), dataPacket('Q', "ab"), QByteArray("SR"), dataPacket('R', "xyz"),
                                    QByteArray("SQ"), dataPacket('Q', QByteArray()), QByteArray("SR"),
                                    dataPacket('R', "uv")})
            QCOMPARE(peer.handle(p), ACK);
        // Going back to a section (an echo inside R does that) keeps what it holds.
        QCOMPARE(peer.sectionQ(), QByteArray("ab"));
        QCOMPARE(peer.sectionR(), QByteArray("xyzuv"));
        QVERIFY(!peer.finished());
        QCOMPARE(peer.handle("U").at(0), UpdatePeer::RESTART);
        QVERIFY(peer.finished());
        // A new request starts again from nothing.
        QCOMPARE(peer.handle(REQUEST), REQUEST);
        QVERIFY(!peer.finished() && peer.sectionQ().isEmpty() && peer.sectionR().isEmpty());
    }

    void rejectsBadPackets_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QByteArray badSum = dataPacket('Q', "hello");
        badSum[badSum.size() - 1] = char(badSum.back() ^ 0x01);
        QTest::newRow("bad checksum") << badSum;
        QTest::newRow("count larger than the packet") << dataPacket('Q', "hello").chopped(2);
        QTest::newRow("more than 60 bytes") << dataPacket('Q', QByteArray(61, 'z'));
        QTest::newRow("other section") << dataPacket('R', "abc");
    }

    void rejectsBadPackets()
    {
        QFETCH(QByteArray, packet);
        UpdatePeer peer;
        peer.handle(REQUEST);
        peer.handle("SQ");
        QCOMPARE(peer.handle(packet).at(0), UpdatePeer::REJECT);
        QCOMPARE(peer.rejected(), 1);
        QVERIFY(peer.sectionQ().isEmpty() && peer.sectionR().isEmpty());
        // A good packet afterwards is still taken.
        QCOMPARE(peer.handle(dataPacket('Q', "ok")), ACK);
        QCOMPARE(peer.sectionQ(), QByteArray("ok"));
    }
};

QTEST_MAIN(TstUpdatePeer)
#include "tst_updatepeer.moc"
