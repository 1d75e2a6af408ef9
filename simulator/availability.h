#pragma once
// G.821 availability of one receiver, second by second. Unavailable time
// begins with the first of 10 consecutive severely errored seconds (SES) and
// ends with the first of 10 consecutive non-SES; the seconds are counted only
// while available. A run of 10 is settled when it completes, back to its
// first second: taken out of the counts when it starts unavailable time,
// added to them when it ends it.

#include <QtGlobal>

class Availability {
public:
    static constexpr int RUN = 10;

    // One second: errored (ES), severely errored (SES), and its errored blocks.
    void second(bool es, bool ses, quint32 blocks);

    bool unavailable() const { return unavailable_; }
    quint32 available_s() const { return available_; }
    quint32 errored_s() const { return errored_; }
    quint32 severely_errored_s() const { return severely_; }
    quint32 bbe() const { return bbe_; }

private:
    quint32 available_ = 0;
    quint32 errored_ = 0;
    quint32 severely_ = 0;
    quint32 bbe_ = 0;
    bool unavailable_ = false;
    int ses_run_ = 0;          // SES in a row while available
    int ok_run_ = 0;           // non-SES in a row while unavailable
    quint32 ok_run_es_ = 0;    // ES among them
    quint32 ok_run_bbe_ = 0;   // errored blocks among them
};
