#pragma once
// Ratios that the results window and the report both show.

#include "model.h"

#include <QtGlobal>

// Bits of the test sequence received per second: the whole 2048 kbit/s line
// when unframed, else 64 kbit/s per analysed timeslot 1..31, timeslot 16 not
// counted when it carries CAS signalling. Zero when no timeslot is analysed.
inline double tested_bits_per_second(const RxSettings& rx)
{
    if (!rx.framing)
        return 2048000.0;
    quint32 mask = rx.timeslot_mask & ~1u;
    if (rx.cas)
        mask &= ~(1u << 16);
    return 64000.0 * qPopulationCount(mask);
}

// G.826 background block error ratio of a 2048 kbit/s path: background block
// errors over the blocks of the available time that were not severely errored,
// 1000 blocks (CRC-4 submultiframes) a second. Zero when there are none.
inline double background_block_error_ratio(quint32 bbe, quint32 available_s, quint32 severely_errored_s)
{
    if (available_s <= severely_errored_s)
        return 0.0;
    return double(bbe) / (double(available_s - severely_errored_s) * 1000.0);
}
