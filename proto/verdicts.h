#pragma once
// Pass/fail judgement of one channel's performance figures against the ITU-T
// objectives of a 2048 kbit/s path: G.826 (ESR, SESR, BBER) and G.821 (ES and
// SES as shares of the available time). Each objective is scaled by the share
// of the end-to-end objectives that the user allots to the path under test.

#include "proto/model.h"

#include <QString>

enum class Verdict { NoData, Pass, Fail };

enum VerdictFigure { G826_ESR, G826_SESR, G826_BBER, G821_ES, G821_SES, FIGURE_COUNT };

// End-to-end objectives, as ratios (G.821's 8 % and 0.2 % of available time too).
constexpr double OBJECTIVES[FIGURE_COUNT] = {0.04, 0.002, 2e-4, 0.08, 0.002};

// The allotted share of the objectives, percent.
constexpr double ALLOCATION_MIN_PCT = 0.1;
constexpr double ALLOCATION_MAX_PCT = 100.0;
constexpr double ALLOCATION_DEFAULT_PCT = 100.0;

struct FigureVerdict {
    double value = 0.0;       // the figure, as a ratio of available time (or of blocks)
    double objective = 0.0;   // the scaled objective, same unit
    Verdict verdict = Verdict::NoData;
};

struct ChannelVerdicts {
    FigureVerdict figures[FIGURE_COUNT];
    Verdict overall = Verdict::NoData;   // NoData, or Fail when any figure fails
};

// Without available time there is nothing to judge: every verdict is NoData.
// A figure exactly at its objective passes.
ChannelVerdicts judge(const ChannelResults& r, double allocation_pct = ALLOCATION_DEFAULT_PCT);

// "Норма", "Не норма", "Нет данных" (through the catalogue, context "Verdicts").
QString verdict_text(Verdict v);
