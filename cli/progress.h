#pragma once
// What the runner tells the user while it works: messages, and the progress of
// the test, as a bar redrawn in place on a terminal or as one plain line every
// 10 s in a log.

#include "proto/model.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace cli {

class Progress {
public:
    // Writes to `out`; a bar when `out` is a terminal.
    explicit Progress(std::FILE* out);

    // A message on a line of its own.
    void say(const QString& text);
    // The test's state: elapsed and remaining time (`duration_s` 0: none set)
    // and each channel's error counts and alarms so far.
    void show(const Model& m, quint32 duration_s);
    // Takes the bar off the line, so that what follows starts clean.
    void clear();

    static constexpr qint64 LINE_PERIOD_MS = 10000;

private:
    static QString counts(const Model& m);

    std::FILE* out_;
    bool terminal_;
    bool bar_shown_ = false;
    QElapsedTimer since_line_;
};

} // namespace cli
