#include "csv/csvexport.h"

#include "proto/ratios.h"

#include <QDir>
#include <QLocale>
#include <QSaveFile>

namespace csv {

namespace {

const QString EOL = QStringLiteral("\r\n");

const Kind KINDS[] = {Kind::RECORDS, Kind::RESULTS, Kind::EVENTS};
const char* const FILE_SUFFIXES[] = {"_records", "_results", "_events"};

// Record counters in the records table's column order, with their column names.
struct Counter {
    int index;
    const char* name;
};
const Counter COUNTERS[] = {
    {REC_BIT, "bit"},   {REC_CODE, "code"},         {REC_FRAME, "frame"}, {REC_CRC4, "crc4"},
    {REC_EBIT, "ebit"}, {REC_NO_INPUT, "no_input"}, {REC_AIS, "ais"},     {REC_LOF, "lof"},
};

const char* const ALARMS[8] = {"los", "ais", "lof", "lomf", "locrc", "rai", "mrai", "pl"};

const char* const VERDICT_NAMES[] = {"no_data", "pass", "fail"};

QString row(const QStringList& fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields)
        quoted << field(f);
    return quoted.join(',') + EOL;
}

QString count(quint32 v) { return QString::number(v); }

QString iso_time(const QDateTime& t)
{
    // With the offset from UTC, so that a file read elsewhere keeps the moment.
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate);
}

} // namespace

const char* const FIGURE_COLUMNS[FIGURE_COUNT] = {"esr", "sesr", "bber", "es_percent", "ses_percent"};

QString verdict_name(Verdict v) { return VERDICT_NAMES[int(v)]; }

double objective_in_column_unit(int figure, double objective)
{
    return figure >= G821_ES ? objective * 100.0 : objective;
}

QString field(const QString& text)
{
    if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
        return text;
    QString q = text;
    q.replace('"', QStringLiteral("\"\""));
    return '"' + q + '"';
}

QString number(double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); }

QString duration(quint32 s)
{
    return QString("P%1DT%2H%3M%4S")
        .arg(s / 86400)
        .arg(s % 86400 / 3600, 2, 10, QChar('0'))
        .arg(s % 3600 / 60, 2, 10, QChar('0'))
        .arg(s % 60, 2, 10, QChar('0'));
}

QString records_text(const QList<TableRecord>& records)
{
    QStringList head = {"number", "elapsed_s", "elapsed"};
    for (const char* ch : {"a", "b"}) {
        for (const Counter& c : COUNTERS)
            head << QString("%1_%2").arg(ch, c.name) << QString("%1_%2_delta").arg(ch, c.name);
        if (ch[0] == 'a')
            head << "a_jitter" << "a_jitter_hf";
    }
    QString out = row(head);
    for (qsizetype i = 0; i < records.size(); ++i) {
        const TableRecord& cur = records[i];
        // As the records table shows them: record 0 with its own counts, every
        // later one with what it added to the one before it, wrapping as 32 bits.
        const TableRecord& prev = records[i > 0 ? i - 1 : 0];
        QStringList f = {count(cur.number), count(cur.time_s), duration(cur.time_s)};
        for (int ch = 0; ch < 2; ++ch) {
            for (const Counter& c : COUNTERS) {
                const int k = c.index + ch * COUNTERS_PER_CHANNEL;
                f << count(cur.counters[k])
                  << count(cur.number == 0 ? cur.counters[k] : quint32(cur.counters[k] - prev.counters[k]));
            }
            if (ch == 0)
                f << number(cur.jitter) << number(cur.jitter_hf);
        }
        out += row(f);
    }
    return out;
}

QString results_text(const Model& model)
{
    QStringList head = {"channel", "elapsed_s", "elapsed"};
    for (const char* a : ALARMS)
        head << QString("alarm_%1").arg(a);
    head << "bit_errors" << "bit_error_ratio" << "code_errors" << "code_error_ratio" << "frame_errors"
         << "frame_error_ratio" << "crc4_errors" << "crc4_error_ratio" << "ebit_errors" << "ebit_error_ratio"
         << "jitter" << "jitter_hf" << "no_input" << "ais" << "lof"
         << "uas" << "uas_percent" << "as" << "as_percent" << "es" << "es_percent" << "ses" << "ses_percent"
         << "esr" << "sesr" << "bbe" << "bber" << "asr" << "usr" << "signal_freq_hz" << "signal_level_db"
         << "allocation_pct";
    for (const char* fig : FIGURE_COLUMNS)
        head << QString("%1_objective").arg(fig) << QString("%1_verdict").arg(fig);
    head << "verdict";
    QString out = row(head);
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelResults& r = model.results[ch];
        const double t = r.elapsed_s;
        const quint32 as = r.available_s;
        const quint32 uas = r.elapsed_s - as; // as the G.821 window: a 32-bit difference
        QStringList f = {ch == 0 ? "A" : "B", count(r.elapsed_s), duration(r.elapsed_s)};
        for (int bit = 7; bit >= 0; --bit)
            f << count((r.alarms >> bit) & 1);
        f << count(r.bit_errors) << number(error_ratio(r.bit_errors, r.elapsed_s, tested_bits_per_second(model.rx[ch])))
          << count(r.code_errors) << number(error_ratio(r.code_errors, r.elapsed_s, LINE_BIT_RATE))
          << count(r.frame_errors) << number(error_ratio(r.frame_errors, r.elapsed_s, FRAME_BIT_RATE))
          << count(r.crc4_errors) << number(error_ratio(r.crc4_errors, r.elapsed_s, BLOCK_RATE))
          << count(r.ebit_errors) << number(error_ratio(r.ebit_errors, r.elapsed_s, BLOCK_RATE));
        // Only channel A measures jitter.
        f << (ch == 0 ? number(r.jitter) : QString()) << (ch == 0 ? number(r.jitter_hf) : QString());
        f << count(r.no_input_count) << count(r.ais_count) << count(r.lof_count);
        f << count(uas) << number(percent(uas, t)) << count(as) << number(percent(as, t))
          << count(r.errored_s) << number(percent(r.errored_s, as))
          << count(r.severely_errored_s) << number(percent(r.severely_errored_s, as))
          << number(quotient(r.errored_s, as)) << number(quotient(r.severely_errored_s, as)) << count(r.bbe)
          << number(background_block_error_ratio(r.bbe, as, r.severely_errored_s))
          << number(quotient(as, t)) << number(quotient(uas, t)) << count(r.signal_freq) << count(r.signal_level);
        const ChannelVerdicts v = judge(r, model.allocation_pct);
        f << number(model.allocation_pct);
        for (int i = 0; i < FIGURE_COUNT; ++i)
            f << number(objective_in_column_unit(i, v.figures[i].objective)) << verdict_name(v.figures[i].verdict);
        f << verdict_name(v.overall);
        out += row(f);
    }
    return out;
}

QString events_text(const QList<LogEvent>& events)
{
    QString out = row({"time", "elapsed_s", "elapsed", "channel", "event"});
    for (const LogEvent& e : events)
        out += row({iso_time(e.when), count(e.elapsed_s), duration(e.elapsed_s), EventLog::channel_name(e.channel),
                    e.text});
    return out;
}

bool write_file(const QString& path, Kind kind, const Model& model, const QList<LogEvent>& events, QString* error)
{
    const QString text = kind == Kind::RECORDS   ? records_text(model.records)
                         : kind == Kind::RESULTS ? results_text(model)
                                                 : events_text(events);
    // A file that could not be written whole is not left behind half written.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray bytes = text.toUtf8();
        if (file.write(bytes) == bytes.size() && file.commit())
            return true;
    }
    if (error)
        *error = QDir::toNativeSeparators(path) + ": " + file.errorString();
    return false;
}

QString file_name(const QString& prefix, Kind kind) { return prefix + FILE_SUFFIXES[int(kind)] + ".csv"; }

QStringList file_names(const QString& prefix)
{
    QStringList names;
    for (Kind k : KINDS)
        names << file_name(prefix, k);
    return names;
}

QString prefix_of(QString path)
{
    if (path.endsWith(".csv", Qt::CaseInsensitive))
        path.chop(4);
    for (const char* suffix : FILE_SUFFIXES)
        if (path.endsWith(QLatin1String(suffix)))
            return path.chopped(qstrlen(suffix));
    return path;
}

bool write_all(const QString& prefix, const Model& model, const QList<LogEvent>& events, QString* error)
{
    for (Kind k : KINDS)
        if (!write_file(file_name(prefix, k), k, model, events, error))
            return false;
    return true;
}

} // namespace csv
