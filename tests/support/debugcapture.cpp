#include "tests/support/debugcapture.h"

namespace {
DebugCapture* g_current = nullptr;
}

DebugCapture::DebugCapture() : outer_(g_current)
{
    g_current = this;
    previous_ = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { g_current->lines.append(text); });
}

DebugCapture::~DebugCapture()
{
    qInstallMessageHandler(previous_);
    g_current = outer_;
}
