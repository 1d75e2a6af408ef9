#pragma once
// The instrument's side of the update protocol: answers each host packet,
// checks the data packets and keeps what arrived of both sections.

#include <QByteArray>

class UpdatePeer {
public:
    // One host packet in update mode -> reply bytes (may be empty).
    QByteArray handle(const QByteArray& packet);
    // The end packet was answered with the restart byte.
    bool finished() const;
    QByteArray sectionQ() const;
    QByteArray sectionR() const;
    void reset();

    // Replies of the instrument.
    static constexpr char REQUEST_ECHO = char(0xA3);
    static constexpr char ACKNOWLEDGE = 'P';
    static constexpr char REJECT = 'E';
    static constexpr char RESTART = 'R';

    // Fault injection for tests and demonstrations: from the packet with this
    // index on (0 is the first packet handled since reset()), nothing is answered.
    int silentFrom = -1;
    // Packets handled since reset().
    int packetsHandled() const { return handled_; }
    // Data packets rejected since reset() (bad checksum, count or section).
    int rejected() const { return rejected_; }

private:
    QByteArray dataPacket(const QByteArray& packet);

    bool started_ = false;
    bool done_ = false;
    char section_ = 0;
    QByteArray q_;
    QByteArray r_;
    int handled_ = 0;
    int rejected_ = 0;
};
