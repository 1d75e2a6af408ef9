#include "cli/options.h"

#include "proto/settingranges.h"
#include "proto/verdicts.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace cli {

namespace {

const char* const DESCRIPTION =
    "Runs a test on a KELM E1 line tester without windows: connects, loads the setup, starts the test,\n"
    "shows its progress, stops it at the end, fetches every record, writes the report and the CSV\n"
    "files, and prints the final results with their verdicts against the ITU-T G.826 and G.821\n"
    "objectives of a 2048 kbit/s path.\n"
    "\n"
    "Duration: the runner stops the test when the instrument's own test time reaches --duration.\n"
    "The instrument's measurement time is set to it as well (one minute more for whole hours, as\n"
    "its minutes run 1..59), so that the instrument ends the test by itself should the link be\n"
    "lost. Without --duration the limited measurement time of the setup, or else the instrument's,\n"
    "is the duration; with neither the test runs until interrupted.\n"
    "A test already running on the instrument is left alone: nothing is sent, status 2.\n"
    "Ctrl-C (SIGINT) or SIGTERM stops the test on the instrument, fetches its records and still\n"
    "writes the files; a second one writes them at once with what has been received.\n"
    "Progress goes to standard output (standard error with --json): a bar on a terminal, else a\n"
    "line every 10 s.\n"
    "\n"
    "Exit status:\n"
    "  0    every verdict of both channels passes\n"
    "  1    a verdict fails, or has no data (no available time): \"no data\" does not pass\n"
    "  2    usage error, refused setup file, output file that cannot be written,\n"
    "       or a test already running on the instrument\n"
    "  3    no instrument found within 10 s, or it cannot be opened\n"
    "  4    the link was lost and not regained within 60 s (files written with what was received)\n"
    "  130  interrupted by SIGINT; 143 by SIGTERM (files written)";

// The runner's own options: name, value (empty for a switch), help. Those
// without help are hidden: the waits for the instrument, shortened by tests.
struct OptionText {
    const char* name;
    const char* value;
    const char* help;
};
const OptionText OPTIONS[] = {
    {"setup", "FILE",
     "Load this setup file (as kelm-remote saves them) into the instrument before the test. A file that fails its "
     "checks is refused before anything is sent."},
    {"duration", "T", "Test duration: minutes, hours or days, e.g. 15m, 2h, 1d, 1h30m (1 minute to 255 days)."},
    {"allocation", "PCT",
     "Share of the end-to-end objectives allotted to the tested path, percent (0.1 to 100, default 100)."},
    {"report", "FILE.pdf",
     "Write the report: FILE.pdf (settings, results, verdicts), FILE_table.pdf (records) and FILE_chart.pdf "
     "(histograms)."},
    {"csv", "PREFIX", "Write PREFIX_records.csv, PREFIX_results.csv (with the verdicts) and PREFIX_events.csv."},
    {"json", "", "Print the final results and verdicts as JSON on standard output."},
    {"find-timeout-ms", "MS", ""},
    {"link-timeout-ms", "MS", ""},
};

bool writable_dir_of(const QString& path, const QString& option)
{
    const QFileInfo dir(QFileInfo(path).absolutePath());
    if (dir.isDir() && dir.isWritable())
        return true;
    usb::printError(QStringLiteral("%1: cannot write into %2").arg(option, QDir::toNativeSeparators(dir.filePath())));
    return false;
}

} // namespace

bool parse_duration(const QString& text, quint32* seconds)
{
    static const QRegularExpression whole(QStringLiteral("^(\\d+[mhd])+$"));
    static const QRegularExpression part(QStringLiteral("(\\d+)([mhd])"));
    if (!whole.match(text).hasMatch())
        return false;
    quint64 s = 0;
    for (const QRegularExpressionMatch& m : part.globalMatch(text)) {
        const QString unit = m.captured(2);
        const quint64 n = m.captured(1).left(12).toULongLong();
        s += n * (unit == "m" ? 60 : unit == "h" ? 3600 : 86400);
        if (m.captured(1).size() > 12 || s > quint64(setting::MEAS_DAYS.max) * 86400)
            return false;
    }
    if (s < 60)
        return false;
    *seconds = quint32(s);
    return true;
}

void measurement_time(quint32 seconds, CommonSettings* c)
{
    quint32 minutes = (seconds + 59) / 60;
    if (minutes % 60 == 0)
        ++minutes;
    c->timed_measurement = 1;
    c->meas_days = quint8(qMin<quint32>(minutes / 1440, quint32(setting::MEAS_DAYS.max)));
    c->meas_hours = quint8(minutes % 1440 / 60);
    c->meas_minutes = quint8(minutes % 60);
}

int parse(const QStringList& arguments, const usb::SimulatorFactory& simulator, Options* o)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(DESCRIPTION));
    for (const OptionText& t : OPTIONS) {
        QCommandLineOption option(QString::fromLatin1(t.name), QString::fromLatin1(t.help),
                                  QString::fromLatin1(t.value));
        if (!*t.help)
            option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const int status = usb::chooseBackend(parser, arguments, simulator);
    if (status >= 0)
        return status;
    auto isSet = [&parser](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    auto value = [&parser](const char* name) { return parser.value(QString::fromLatin1(name)); };
    if (!parser.positionalArguments().isEmpty()) {
        usb::printError(QStringLiteral("unexpected argument %1 (see --help)").arg(parser.positionalArguments().first()));
        return USAGE;
    }
    if (isSet("duration") && !parse_duration(value("duration"), &o->duration_s)) {
        usb::printError(QStringLiteral("--duration wants minutes, hours or days, e.g. 15m, 2h, 1d (1 minute to 255 days)"));
        return USAGE;
    }
    if (isSet("allocation")) {
        bool ok = false;
        o->allocation_pct = QLocale::c().toDouble(value("allocation"), &ok);
        if (!ok || !(o->allocation_pct >= ALLOCATION_MIN_PCT && o->allocation_pct <= ALLOCATION_MAX_PCT)) {
            usb::printError(QStringLiteral("--allocation wants a percentage from 0.1 to 100"));
            return USAGE;
        }
    }
    if (isSet("find-timeout-ms"))
        o->find_timeout_ms = qMax(0, value("find-timeout-ms").toInt());
    if (isSet("link-timeout-ms"))
        o->link_timeout_ms = qMax(0, value("link-timeout-ms").toInt());
    o->json = isSet("json");
    if (isSet("report")) {
        o->report = value("report");
        // As the report dialog does: the companions' suffix goes before ".pdf".
        if (!o->report.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
            o->report += QLatin1String(".pdf");
        if (!writable_dir_of(o->report, QStringLiteral("--report")))
            return USAGE;
    }
    if (isSet("csv")) {
        o->csv_prefix = value("csv");
        if (!writable_dir_of(o->csv_prefix, QStringLiteral("--csv")))
            return USAGE;
    }
    if (isSet("setup")) {
        QString error;
        if (!load_setup_file(value("setup"), &o->setup, &error)) {
            usb::printError(error);
            return USAGE;
        }
        o->has_setup = true;
    }
    return -1;
}

} // namespace cli
