#include "cli/summary.h"

#include "csv/csvexport.h"
#include "proto/formats.h"
#include "proto/ratios.h"
#include "proto/verdicts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace cli {

namespace {

const char* const ALARMS[8] = {"LOS", "AIS", "LOF", "LOMF", "LOCRC", "RAI", "MRAI", "PL"};
const char* const ENDS[] = {"duration", "instrument", "interrupted", "link_lost"};
const char* const END_TEXTS[] = {"ended at its duration", "stopped by the instrument", "interrupted",
                                 "link lost"};
const char* const FIGURE_LABELS[FIGURE_COUNT] = {"G.826 ESR", "G.826 SESR", "G.826 BBER", "G.821 %ES",
                                                 "G.821 %SES"};
const char* const FIGURE_KEYS[FIGURE_COUNT] = {"g826_esr", "g826_sesr", "g826_bber", "g821_es", "g821_ses"};

struct ErrorCount {
    const char* name;
    quint32 count;
    double ratio;
};

// The five error counts of a channel with their ratios, as the results panel shows them.
QList<ErrorCount> error_counts(const Model& m, int ch)
{
    const ChannelResults& r = m.results[ch];
    const quint32 t = r.elapsed_s;
    return {{"bit", r.bit_errors, error_ratio(r.bit_errors, t, tested_bits_per_second(m.rx[ch]))},
            {"code", r.code_errors, error_ratio(r.code_errors, t, LINE_BIT_RATE)},
            {"frame", r.frame_errors, error_ratio(r.frame_errors, t, FRAME_BIT_RATE)},
            {"crc4", r.crc4_errors, error_ratio(r.crc4_errors, t, BLOCK_RATE)},
            {"ebit", r.ebit_errors, error_ratio(r.ebit_errors, t, BLOCK_RATE)}};
}

// A judged figure in its column's unit (G.821's in percent), as text.
QString figure_text(int i, double v)
{
    return i >= G821_ES ? fixed_text(csv::objective_in_column_unit(i, v)) + " %" : ratio_text(v);
}

} // namespace

QStringList alarm_names(quint8 alarms)
{
    QStringList names;
    for (int bit = 7; bit >= 0; --bit)
        if (alarms & (1u << bit))
            names << ALARMS[7 - bit];
    return names;
}

bool passed(const Model& m)
{
    for (const ChannelResults& r : m.results)
        if (judge(r, m.allocation_pct).overall != Verdict::Pass)
            return false;
    return true;
}

QString summary_text(const Model& m, const Outcome& o)
{
    QStringList l;
    l << QStringLiteral("%1, test time %2, %3; %4 records")
             .arg(instrument_name(m.device_id), elapsed_text(m.results[0].elapsed_s), END_TEXTS[int(o.end)])
             .arg(m.records.size());
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelResults& r = m.results[ch];
        QStringList errors;
        for (const ErrorCount& e : error_counts(m, ch))
            errors << QStringLiteral("%1 %2 (%3)").arg(e.name).arg(e.count).arg(ratio_text(e.ratio));
        const QStringList alarms = alarm_names(r.alarms);
        l << QStringLiteral("Channel %1: %2%3")
                 .arg(ch ? 'B' : 'A')
                 .arg(errors.join(", "), alarms.isEmpty() ? QString() : "; alarms " + alarms.join(' '));
        l << QStringLiteral("  AS %1, UAS %2, ES %3, SES %4, BBE %5")
                 .arg(r.available_s)
                 .arg(r.elapsed_s - r.available_s)
                 .arg(r.errored_s)
                 .arg(r.severely_errored_s)
                 .arg(r.bbe);
        const ChannelVerdicts v = judge(r, m.allocation_pct);
        for (int i = 0; i < FIGURE_COUNT; ++i) {
            const FigureVerdict& f = v.figures[i];
            l << QStringLiteral("  %1 %2 <= %3  %4")
                     .arg(QString(FIGURE_LABELS[i]), -11)
                     .arg(figure_text(i, f.value), 9)
                     .arg(figure_text(i, f.objective), -9)
                     .arg(csv::verdict_name(f.verdict));
        }
        l << QStringLiteral("  channel %1 (allocation %2 %)")
                 .arg(csv::verdict_name(v.overall))
                 .arg(m.allocation_pct, 0, 'f', 1);
    }
    for (const QString& f : o.written)
        l << QStringLiteral("Written: %1").arg(f);
    for (const QString& f : o.unwritten)
        l << QStringLiteral("Not written: %1").arg(f);
    l << QStringLiteral("Verdict: %1").arg(passed(m) ? "pass" : "fail");
    return l.join('\n') + '\n';
}

QByteArray summary_json(const Model& m, const Outcome& o)
{
    QJsonArray channels;
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelResults& r = m.results[ch];
        QJsonObject errors;
        for (const ErrorCount& e : error_counts(m, ch))
            errors[e.name] = QJsonObject{{"count", double(e.count)}, {"ratio", e.ratio}};
        const ChannelVerdicts v = judge(r, m.allocation_pct);
        QJsonObject verdicts{{"overall", csv::verdict_name(v.overall)}};
        for (int i = 0; i < FIGURE_COUNT; ++i) {
            const FigureVerdict& f = v.figures[i];
            // Values and objectives as ratios, G.821's too.
            verdicts[FIGURE_KEYS[i]] = QJsonObject{
                {"value", f.value}, {"objective", f.objective}, {"verdict", csv::verdict_name(f.verdict)}};
        }
        QJsonObject c{
            {"channel", ch ? "B" : "A"},
            {"elapsed_s", double(r.elapsed_s)},
            {"alarms", QJsonArray::fromStringList(alarm_names(r.alarms))},
            {"errors", errors},
            {"alarm_seconds",
             QJsonObject{{"no_input", double(r.no_input_count)}, {"ais", double(r.ais_count)},
                         {"lof", double(r.lof_count)}}},
            {"available_s", double(r.available_s)},
            {"unavailable_s", double(quint32(r.elapsed_s - r.available_s))},
            {"errored_s", double(r.errored_s)},
            {"severely_errored_s", double(r.severely_errored_s)},
            {"bbe", double(r.bbe)},
            {"verdicts", verdicts},
        };
        if (ch == 0) {
            c["jitter"] = r.jitter;
            c["jitter_hf"] = r.jitter_hf;
        }
        channels.append(c);
    }
    const QJsonObject root{
        {"instrument", instrument_name(m.device_id)},
        {"end", ENDS[int(o.end)]},
        {"elapsed_s", double(m.results[0].elapsed_s)},
        {"records", double(m.records.size())},
        {"allocation_pct", m.allocation_pct},
        {"verdict", passed(m) ? "pass" : "fail"},
        {"channels", channels},
        {"written", QJsonArray::fromStringList(o.written)},
        {"unwritten", QJsonArray::fromStringList(o.unwritten)},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

} // namespace cli
