#pragma once
// The runner's final word: each channel's results and verdicts, as text for
// a person or as JSON for a program.

#include "proto/instrument.h"
#include "proto/model.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace cli {

// How the test ended.
enum class End { DURATION, INSTRUMENT, INTERRUPTED, LINK_LOST };

struct Outcome {
    End end = End::DURATION;
    QStringList written;     // files written
    QStringList unwritten;   // files that could not be written
};

// Names of the alarms set in a results alarm byte, LOS first.
QStringList alarm_names(quint8 alarms);
// True when both channels' overall verdicts pass; "no data" does not.
bool passed(const Model& m);

QString summary_text(const Model& m, const Outcome& o);
QByteArray summary_json(const Model& m, const Outcome& o);

} // namespace cli
