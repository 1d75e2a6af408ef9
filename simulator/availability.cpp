#include "simulator/availability.h"

void Availability::second(bool es, bool ses, quint32 blocks)
{
    if (!unavailable_) {
        ++available_;
        if (es)
            ++errored_;
        if (ses)
            ++severely_;
        else
            bbe_ += blocks;
        ses_run_ = ses ? ses_run_ + 1 : 0;
        if (ses_run_ == RUN) {
            // Every one of them was an SES, hence also an ES, and brought no BBE.
            available_ -= RUN;
            errored_ -= RUN;
            severely_ -= RUN;
            unavailable_ = true;
            ses_run_ = 0;
            ok_run_ = 0;
            ok_run_es_ = 0;
            ok_run_bbe_ = 0;
        }
        return;
    }
    if (ses) {
        ok_run_ = 0;
        ok_run_es_ = 0;
        ok_run_bbe_ = 0;
    } else {
        ++ok_run_;
        ok_run_es_ += es ? 1 : 0;
        ok_run_bbe_ += blocks;
    }
    if (ok_run_ == RUN) {
        available_ += RUN;
        errored_ += ok_run_es_;
        bbe_ += ok_run_bbe_;
        unavailable_ = false;
        ok_run_ = 0;
        ok_run_es_ = 0;
        ok_run_bbe_ = 0;
    }
}
