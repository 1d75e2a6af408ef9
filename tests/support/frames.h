#pragma once
// Frames as the tests write and read them, built with the program's own wire
// helpers: frame(0x04, "14 00...") is a whole frame with its checksum.

#include "proto/wire.h"

#include <QByteArray>
#include <QList>

inline QByteArray frame(quint8 code, QByteArray hex = {})
{
    return wire::make_frame(code, QByteArray::fromHex(hex.replace(' ', "")));
}
inline quint8 codeOf(const QByteArray& f) { return quint8(f.at(wire::CODE_AT)); }
inline QList<quint8> codes(const QList<QByteArray>& frames)
{
    QList<quint8> out;
    for (const QByteArray& f : frames)
        out << codeOf(f);
    return out;
}
// The record number a record request asks for.
inline int recordNumber(const QByteArray& f) { return int(wire::be16(wire::bytes(f) + wire::PAYLOAD_AT)); }
