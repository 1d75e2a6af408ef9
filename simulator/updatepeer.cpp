#include "updatepeer.h"

namespace {

const int MAX_DATA = 60;

quint8 inverted_sum(const QByteArray& bytes, int count)
{
    quint8 sum = 0;
    for (int i = 0; i < count; ++i)
        sum = quint8(sum + quint8(bytes.at(i)));
    return quint8(~sum);
}

} // namespace

QByteArray UpdatePeer::handle(const QByteArray& packet)
{
    const int index = handled++;
    if (silentFrom >= 0 && index >= silentFrom)
        return QByteArray();
    if (packet.isEmpty())
        return QByteArray(1, REJECT);

    const char first = packet.at(0);
    if (packet.size() == 1 && first == REQUEST_ECHO) {
        // A new update starts from nothing.
        started = true;
        done = false;
        section = 0;
        q.clear();
        r.clear();
        return QByteArray(1, REQUEST_ECHO);
    }
    if (!started)
        return QByteArray(1, REJECT);
    if (packet.size() == 2 && first == 'S' && (packet.at(1) == 'Q' || packet.at(1) == 'R')) {
        section = packet.at(1);
        return QByteArray(1, ACKNOWLEDGE);
    }
    if (packet.size() == 1 && first == 'U') {
        done = true;
        started = false;
        return QByteArray(1, RESTART);
    }
    if (first == 'Q' || first == 'R')
        return dataPacket(packet);
    return QByteArray(1, REJECT);
}

QByteArray UpdatePeer::dataPacket(const QByteArray& packet)
{
    const char letter = packet.at(0);
    const int n = packet.size() >= 2 ? quint8(packet.at(1)) : -1;
    const bool ok = letter == section && n >= 0 && n <= MAX_DATA && packet.size() == n + 3
        && quint8(packet.at(n + 2)) == inverted_sum(packet, n + 2);
    if (!ok) {
        ++rejectedCount;
        return QByteArray(1, REJECT);
    }
    (letter == 'Q' ? q : r).append(packet.mid(2, n));
    return QByteArray(1, ACKNOWLEDGE);
}

bool UpdatePeer::finished() const { return done; }

QByteArray UpdatePeer::sectionQ() const { return q; }

QByteArray UpdatePeer::sectionR() const { return r; }

void UpdatePeer::reset()
{
    started = false;
    done = false;
    section = 0;
    q.clear();
    r.clear();
    handled = 0;
    rejectedCount = 0;
}
