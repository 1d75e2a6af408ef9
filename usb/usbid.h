#pragma once
// The --usb-id option of both programs: "VID:PID", each one to four hex digits
// (an optional 0x prefix is accepted), e.g. "10c4:ea61".

#include <QString>
#include <QtGlobal>

namespace usb {

// True and both ids set when `text` is a well-formed "VID:PID"; otherwise false
// and neither output is touched.
bool parseUsbId(const QString& text, quint16* vid, quint16* pid);

} // namespace usb
