#include "proto/verdicts.h"

#include "proto/ratios.h"

#include <QCoreApplication>

ChannelVerdicts judge(const ChannelResults& r, double allocation_pct)
{
    ChannelVerdicts v;
    const double as = r.available_s;
    const double values[FIGURE_COUNT] = {
        as > 0 ? r.errored_s / as : 0.0,
        as > 0 ? r.severely_errored_s / as : 0.0,
        background_block_error_ratio(r.bbe, r.available_s, r.severely_errored_s),
        as > 0 ? r.errored_s / as : 0.0,
        as > 0 ? r.severely_errored_s / as : 0.0,
    };
    const double share = qBound(ALLOCATION_MIN_PCT, allocation_pct, ALLOCATION_MAX_PCT) / 100.0;
    bool failed = false;
    for (int i = 0; i < FIGURE_COUNT; ++i) {
        FigureVerdict& f = v.figures[i];
        f.value = values[i];
        f.objective = OBJECTIVES[i] * share;
        if (r.available_s == 0)
            continue;
        // A count exactly at the objective passes; the margin only absorbs the
        // rounding of the quotients, far below one count in 2^32 seconds.
        f.verdict = f.value <= f.objective * (1.0 + 1e-12) ? Verdict::Pass : Verdict::Fail;
        failed = failed || f.verdict == Verdict::Fail;
    }
    if (r.available_s > 0)
        v.overall = failed ? Verdict::Fail : Verdict::Pass;
    return v;
}

QString verdict_text(Verdict v)
{
    switch (v) {
    case Verdict::Pass: return QCoreApplication::translate("Verdicts", "Pass");
    case Verdict::Fail: return QCoreApplication::translate("Verdicts", "Fail");
    case Verdict::NoData: break;
    }
    return QCoreApplication::translate("Verdicts", "No data");
}
