#pragma once
// The command line of kelm-cli: the options shared with the other programs
// (from usb::chooseBackend) and the runner's own, checked before anything is
// sent to an instrument.

#include "proto/setupfile.h"
#include "usb/backendchoice.h"

#include <QString>
#include <QStringList>

namespace cli {

// Exit statuses; an interruption by a signal ends with 128 + its number.
enum Status {
    PASSED = 0,
    FAILED = 1,
    USAGE = 2,
    NO_INSTRUMENT = 3,
    LINK_LOST = 4,
    SIGNALLED = 128,
};

struct Options {
    bool has_setup = false;
    Setup setup;
    quint32 duration_s = 0;   // 0: none given
    double allocation_pct = 100.0;
    QString report;           // main PDF file; empty: no report
    QString csv_prefix;       // empty: no CSV files
    bool json = false;
    // How long an instrument is looked for at the start, and how long a lost
    // link is waited for, before giving up.
    int find_timeout_ms = 10000;
    int link_timeout_ms = 60000;
};

// A duration "15m", "2h", "1d" or a run of them ("1h30m"), in seconds; false
// when it is not one, or is shorter than a minute or longer than the
// instrument's measurement time can be (255 days).
bool parse_duration(const QString& text, quint32* seconds);

// The instrument's limited measurement time (days, hours, minutes) for a test
// of `seconds`: the shortest it can hold that is not shorter. Its minutes run
// 1..59, so whole hours get one minute more.
void measurement_time(quint32 seconds, CommonSettings* c);

// Parses `arguments` into `o` and installs the chosen backend. Returns -1 when
// the run goes on, else the exit status (after --help, --version or an error,
// whose message is on standard error).
int parse(const QStringList& arguments, const usb::SimulatorFactory& simulator, Options* o);

} // namespace cli
