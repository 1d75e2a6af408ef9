#include "cli/progress.h"

#include "cli/summary.h"
#include "proto/formats.h"

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace cli {

namespace {

constexpr int BAR_WIDTH = 20;

// Columns of the terminal behind `out`: a line longer than that would wrap,
// and the next redraw would start in its middle.
int columns(std::FILE* out)
{
#ifndef _WIN32
    winsize w{};
    if (ioctl(fileno(out), TIOCGWINSZ, &w) == 0 && w.ws_col > 0)
        return w.ws_col;
#else
    Q_UNUSED(out);
#endif
    return 80;
}

} // namespace

Progress::Progress(std::FILE* out) : out_(out), terminal_(isatty(fileno(out)) != 0) {}

void Progress::clear()
{
    if (bar_shown_)
        std::fputs("\r\033[K", out_);
    bar_shown_ = false;
}

void Progress::say(const QString& text)
{
    clear();
    std::fprintf(out_, "%s\n", qPrintable(text));
    std::fflush(out_);
}

QString Progress::counts(const Model& m)
{
    QStringList parts;
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelResults& r = m.results[ch];
        QString s = QStringLiteral("%1: bit %2 code %3 ES %4 SES %5")
                        .arg(ch ? 'B' : 'A')
                        .arg(r.bit_errors)
                        .arg(r.code_errors)
                        .arg(r.errored_s)
                        .arg(r.severely_errored_s);
        const QStringList alarms = alarm_names(r.alarms);
        if (!alarms.isEmpty())
            s += ' ' + alarms.join(' ');
        parts << s;
    }
    return parts.join(QStringLiteral(" | "));
}

void Progress::show(const Model& m, quint32 duration_s)
{
    const quint32 elapsed = m.results[0].elapsed_s;
    QString time = elapsed_text(elapsed);
    if (duration_s > 0)
        time += QStringLiteral(", ") + elapsed_text(duration_s - qMin(elapsed, duration_s)) + QStringLiteral(" left");
    if (!terminal_) {
        if (since_line_.isValid() && since_line_.elapsed() < LINE_PERIOD_MS)
            return;
        since_line_.start();
        say(time + QStringLiteral(" | ") + counts(m));
        return;
    }
    QString bar;
    if (duration_s > 0) {
        const int done = int(qMin<quint64>(BAR_WIDTH, quint64(elapsed) * BAR_WIDTH / duration_s));
        bar = '[' + QString(done, '#') + QString(BAR_WIDTH - done, '-') + "] "
              + QStringLiteral("%1% ").arg(qMin<quint64>(100, quint64(elapsed) * 100 / duration_s), 3);
    }
    const QString line = bar + time + QStringLiteral(" | ") + counts(m);
    std::fprintf(out_, "\r%s\033[K", qPrintable(line.left(columns(out_) - 1)));
    std::fflush(out_);
    bar_shown_ = true;
}

} // namespace cli
