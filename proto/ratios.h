#pragma once
// Rates of a 2048 kbit/s line and the ratios that the results window, the
// G.821 / G.826 window and the report show.

#include "proto/model.h"

#include <QtGlobal>

// Bits per second of the whole line, per timeslot, of the frame alignment
// words, and CRC-4 blocks (E-bits likewise) per second.
constexpr double LINE_BIT_RATE = 2048000.0;
constexpr double TIMESLOT_BIT_RATE = 64000.0;
constexpr double FRAME_BIT_RATE = 28000.0;
constexpr double BLOCK_RATE = 1000.0;

// A quotient with nothing to relate it to (a zero divisor) is shown as 0.
inline double quotient(double num, double den) { return den == 0.0 ? 0.0 : num / den; }
inline double percent(double num, double den) { return quotient(num * 100.0, den); }

// Errors per unit sent in `seconds` at `per_second`; 0 without time or rate.
inline double error_ratio(quint32 count, quint32 seconds, double per_second)
{
    return quotient(count, double(seconds) * per_second);
}

// Bits of the test sequence received per second: the whole 2048 kbit/s line
// when unframed, else 64 kbit/s per analysed timeslot 1..31, timeslot 16 not
// counted when it carries CAS signalling. Zero when no timeslot is analysed.
inline double tested_bits_per_second(const RxSettings& rx)
{
    if (!rx.framing)
        return LINE_BIT_RATE;
    quint32 mask = rx.timeslot_mask & ~1u;
    if (rx.cas)
        mask &= ~(1u << 16);
    return TIMESLOT_BIT_RATE * qPopulationCount(mask);
}

// G.826 background block error ratio of a 2048 kbit/s path: background block
// errors over the blocks of the available time that were not severely errored,
// 1000 blocks (CRC-4 submultiframes) a second. Zero when there are none.
inline double background_block_error_ratio(quint32 bbe, quint32 available_s, quint32 severely_errored_s)
{
    if (available_s <= severely_errored_s)
        return 0.0;
    return double(bbe) / (double(available_s - severely_errored_s) * BLOCK_RATE);
}
