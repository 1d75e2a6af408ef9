#pragma once
// Collects the program's debug output while alive, so that a test can say
// which diagnostics were written; nested captures stack.

#include <QStringList>
#include <QtGlobal>

#include <utility>

class DebugCapture {
public:
    DebugCapture() : outer_(std::exchange(current_, this))
    {
        previous_ = qInstallMessageHandler(
            [](QtMsgType, const QMessageLogContext&, const QString& text) { current_->lines.append(text); });
    }
    ~DebugCapture()
    {
        qInstallMessageHandler(previous_);
        current_ = outer_;
    }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    QStringList lines;
    QString joined() const { return lines.join(QLatin1Char('|')); }

private:
    static inline DebugCapture* current_ = nullptr;
    DebugCapture* outer_;
    QtMessageHandler previous_ = nullptr;
};
