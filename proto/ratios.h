#pragma once
// Ratios that the results window and the report both show.

#include <QtGlobal>

// G.826 background block error ratio of a 2048 kbit/s path: background block
// errors over the blocks of the available time that were not severely errored,
// 1000 blocks (CRC-4 submultiframes) a second. Zero when there are none.
inline double background_block_error_ratio(quint32 bbe, quint32 available_s, quint32 severely_errored_s)
{
    if (available_s <= severely_errored_s)
        return 0.0;
    return double(bbe) / (double(available_s - severely_errored_s) * 1000.0);
}
