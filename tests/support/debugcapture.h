#pragma once
// Collects the program's debug output while alive, so that a test can say
// which diagnostics were written; nested captures stack.

#include <QString>
#include <QStringList>
#include <QtGlobal>

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    QStringList lines;
    bool contains(const QString& line) const { return lines.contains(line); }
    QString joined() const { return lines.join(QLatin1Char('|')); }

private:
    DebugCapture* outer_;
    QtMessageHandler previous_;
};
