#pragma once
// The ranges a user may give the instrument's settings: the panels' validators
// and the setup files are checked against the same numbers.

namespace setting {

struct Range {
    int min;
    int max;
    constexpr bool holds(long long v) const { return v >= min && v <= max; }
};

constexpr Range WORD_SWITCH_LOOP{0, 255};
constexpr Range MEAS_DAYS{0, 255};
constexpr Range MEAS_HOURS{0, 23};
constexpr Range MEAS_MINUTES{1, 59};
constexpr Range WORD{0, 0xFFFF};
constexpr Range FREQ_OFFSET{-200, 200};
constexpr Range JITTER_FREQ{0, 100000};
constexpr Range TIMESLOT{1, 31};   // timeslot 0 carries the frame alignment

constexpr double JITTER_AMPLITUDE_MAX = 10.0;
constexpr int JITTER_AMPLITUDE_DECIMALS = 2;

} // namespace setting
