#pragma once
// What the PC knows of the instrument itself: its model name from the
// identity code, and how a test stands against its set measurement time.
// One home for these rules: the window title, the event log, the report and
// the command line all use them.

#include "proto/model.h"

#include <QString>
#include <QtGlobal>

// The model name from the identity code; unknown codes give "KELM-E??".
inline QString instrument_name(quint8 device_id)
{
    switch (device_id) {
    case 7: return QStringLiteral("KELM-E1");
    case 9: return QStringLiteral("KELM-E10");
    case 10: return QStringLiteral("KELM-E1+");
    default: return QStringLiteral("KELM-E??");
    }
}

// The firmware version byte of the identity reply as the link's debug line
// writes it (lowercase hexadecimal), with a "0x" in front.
inline QString firmware_text(quint8 version)
{
    return QStringLiteral("0x%1").arg(version, 2, 16, QChar('0'));
}

// The set measurement time in seconds; 0 when the test is not timed.
inline quint32 measurement_limit_s(const CommonSettings& c)
{
    if (!c.timed_measurement)
        return 0;
    return c.meas_days * 86400u + c.meas_hours * 3600u + c.meas_minutes * 60u;
}

// A stopped test ended by its set time rather than by someone stopping it.
inline bool timed_test_done(const CommonSettings& c, quint32 elapsed_s)
{
    const quint32 limit = measurement_limit_s(c);
    return c.test_running == 0 && limit > 0 && elapsed_s >= limit;
}
