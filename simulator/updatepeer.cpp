#include "simulator/updatepeer.h"

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
    const int index = handled_++;
    if (silentFrom >= 0 && index >= silentFrom)
        return QByteArray();
    if (packet.isEmpty())
        return QByteArray(1, REJECT);

    const char first = packet.at(0);
    if (packet.size() == 1 && first == REQUEST_ECHO) {
        // A new update starts from nothing.
        started_ = true;
        done_ = false;
        section_ = 0;
        q_.clear();
        r_.clear();
        return QByteArray(1, REQUEST_ECHO);
    }
    if (!started_)
        return QByteArray(1, REJECT);
    if (packet.size() == 2 && first == 'S' && (packet.at(1) == 'Q' || packet.at(1) == 'R')) {
        section_ = packet.at(1);
        return QByteArray(1, ACKNOWLEDGE);
    }
    if (packet.size() == 1 && first == 'U') {
        done_ = true;
        started_ = false;
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
    const bool ok = letter == section_ && n >= 0 && n <= MAX_DATA && packet.size() == n + 3
        && quint8(packet.at(n + 2)) == inverted_sum(packet, n + 2);
    if (!ok) {
        ++rejected_;
        return QByteArray(1, REJECT);
    }
    (letter == 'Q' ? q_ : r_).append(packet.mid(2, n));
    return QByteArray(1, ACKNOWLEDGE);
}

bool UpdatePeer::finished() const { return done_; }

QByteArray UpdatePeer::sectionQ() const { return q_; }

QByteArray UpdatePeer::sectionR() const { return r_; }

void UpdatePeer::reset()
{
    started_ = false;
    done_ = false;
    section_ = 0;
    q_.clear();
    r_.clear();
    handled_ = 0;
    rejected_ = 0;
}
