#pragma once
// How bytes travel to and from the instrument: the frame around every packet,
// and the byte orders and BCD used inside payloads. The codec, the simulated
// instrument and the tests all build and read frames with these, so a rule
// of the wire is written once.

#include <QByteArray>
#include <QtGlobal>

// Complement of the 8-bit sum of the first `count` bytes; 0xFF for count < 1.
inline quint8 inv_checksum(const uchar* bytes, int count)
{
    quint8 sum = 0;
    for (int i = 0; i < count; ++i)
        sum = quint8(sum + bytes[i]);
    return quint8(~sum);
}

namespace wire {

// Frame: header, length (2 + payload size), code, payload, checksum of all before it.
constexpr quint8 HEADER = 0xA5;
constexpr int CODE_AT = 2;
constexpr int PAYLOAD_AT = 3;
constexpr int OVERHEAD = 4;

inline const uchar* bytes(const QByteArray& a) { return reinterpret_cast<const uchar*>(a.constData()); }

inline QByteArray make_frame(quint8 code, const QByteArray& payload)
{
    QByteArray f;
    f.reserve(payload.size() + OVERHEAD);
    f.append(char(HEADER));
    f.append(char(payload.size() + 2));
    f.append(char(code));
    f.append(payload);
    f.append(char(inv_checksum(bytes(f), int(f.size()))));
    return f;
}

// The last byte is the checksum of the bytes before it.
inline bool checksum_ok(const QByteArray& f)
{
    const int n = int(f.size());
    return n >= 1 && inv_checksum(bytes(f), n - 1) == quint8(f.at(n - 1));
}

// Rewrites the last byte as the checksum of the bytes before it.
inline void seal(QByteArray& f)
{
    const int n = int(f.size());
    if (n >= 1)
        f[n - 1] = char(inv_checksum(bytes(f), n - 1));
}

// Header, length and checksum all as a sender builds them.
inline bool well_formed(const QByteArray& f)
{
    const int n = int(f.size());
    return n >= OVERHEAD && quint8(f.at(0)) == HEADER && quint8(f.at(1)) == n - 2 && checksum_ok(f);
}

// Multi-byte numbers: big-endian, except the configuration's 16-bit words and
// 32-bit timeslot masks, which are little-endian.
inline quint32 be16(const uchar* p) { return (quint32(p[0]) << 8) | p[1]; }
inline quint32 be24(const uchar* p) { return (quint32(p[0]) << 16) | (quint32(p[1]) << 8) | p[2]; }
inline quint32 le16(const uchar* p) { return quint32(p[0]) | (quint32(p[1]) << 8); }
inline quint32 le32(const uchar* p) { return le16(p) | (le16(p + 2) << 16); }

inline void put_be16(QByteArray& a, quint32 v)
{
    a.append(char((v >> 8) & 0xFF));
    a.append(char(v & 0xFF));
}
inline void put_be24(QByteArray& a, quint32 v)
{
    a.append(char((v >> 16) & 0xFF));
    put_be16(a, v);
}
inline void put_le32(QByteArray& a, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        a.append(char((v >> (8 * i)) & 0xFF));
}

// A BCD byte holds two decimal digits, tens in the high nibble.
inline quint32 from_bcd(uchar b) { return (b >> 4) * 10u + (b & 0x0F); }
inline quint8 to_bcd(quint32 v) { return quint8(((v / 10) % 10) << 4 | (v % 10)); }

} // namespace wire
