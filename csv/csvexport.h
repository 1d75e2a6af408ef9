#pragma once
// CSV files of a test for spreadsheets: the records, the final results of
// both channels, and the event log. RFC 4180 (fields quoted where needed,
// CRLF line ends), UTF-8, one header row of column names, numbers with a
// dot, PC times and elapsed times in ISO 8601.

#include "events/eventlog.h"
#include "proto/model.h"
#include "proto/verdicts.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace csv {

enum class Kind { RECORDS, RESULTS, EVENTS };

// One field, quoted when it holds a comma, a quote or a line break.
QString field(const QString& text);
// The shortest text that reads back as exactly `v`.
QString number(double v);
// Elapsed seconds as an ISO 8601 duration, "P1DT02H03M04S".
QString duration(quint32 seconds);

// Verdicts as the results file writes them: "pass", "fail", "no_data".
QString verdict_name(Verdict v);
// The results file's columns of the judged figures, in VerdictFigure order;
// their objectives and verdicts are in "<name>_objective" and "<name>_verdict",
// the objective in the figure's unit (G.821's in percent).
extern const char* const FIGURE_COLUMNS[FIGURE_COUNT];
// An objective in the unit of its figure's column.
double objective_in_column_unit(int figure, double objective);

// Whole file contents, header row first.
QString records_text(const QList<TableRecord>& records);
QString results_text(const Model& model);
QString events_text(const QList<LogEvent>& events);

// Writes one file whole or not at all; false with the reason in `error`.
bool write_file(const QString& path, Kind kind, const Model& model, const QList<LogEvent>& events,
                QString* error = nullptr);

// The three files of one export: PREFIX_records.csv, PREFIX_results.csv and
// PREFIX_events.csv.
QString file_name(const QString& prefix, Kind kind);
QStringList file_names(const QString& prefix);
// The prefix of a name given for all three: without ".csv" and without the
// part that names one of the files, so that choosing one of them will do.
QString prefix_of(QString path);
// Writes all three; stops at the first failure, with its reason in `error`.
bool write_all(const QString& prefix, const Model& model, const QList<LogEvent>& events, QString* error = nullptr);

} // namespace csv
