#include "usb/usbid.h"

#include <QStringList>

namespace usb {

namespace {

bool parseHex16(QString part, quint16* out)
{
    if (part.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        part = part.mid(2);
    if (part.isEmpty() || part.size() > 4)
        return false;
    for (const QChar c : part)
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
              || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    bool ok = false;
    const uint v = part.toUInt(&ok, 16);
    if (!ok)
        return false;
    *out = quint16(v);
    return true;
}

} // namespace

bool parseUsbId(const QString& text, quint16* vid, quint16* pid)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() != 2)
        return false;
    quint16 v = 0, p = 0;
    if (!parseHex16(parts[0], &v) || !parseHex16(parts[1], &p))
        return false;
    if (vid)
        *vid = v;
    if (pid)
        *pid = p;
    return true;
}

} // namespace usb
