#pragma once
// How numbers and times are written on screen, in the chart and in the report.

#include <QString>
#include <QtGlobal>

// Error ratios and G.826 ratios: exponent notation, 2 decimals ("1.36e-08").
inline QString ratio_text(double v) { return QString("%1").arg(v, 0, 'e', 2); }
// Percentages and jitter: fixed notation, 2 decimals ("99.72").
inline QString fixed_text(double v) { return QString("%1").arg(v, 0, 'f', 2); }

inline QString two_digits(quint32 v) { return QString("%1").arg(v, 2, 10, QChar('0')); }

// Time since the start of a test, "dd hh:mm:ss"; the day count is at least
// two digits and never capped.
inline QString elapsed_text(quint32 t)
{
    return two_digits(t / 86400) + ' ' + two_digits(t % 86400 / 3600) + ':' + two_digits(t % 3600 / 60) + ':'
        + two_digits(t % 60);
}

// Time of day of a test time, "hh:mm:ss" of t modulo a day.
inline QString time_of_day_text(quint32 t)
{
    t %= 86400;
    return two_digits(t / 3600) + ':' + two_digits(t % 3600 / 60) + ':' + two_digits(t % 60);
}
