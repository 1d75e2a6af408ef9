#pragma once
// Reading back the PDF files that the tests write, through poppler-utils.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace pdftext {

// Text of the file (or of pages first..last), in reading order or, with
// `layout`, keeping the physical layout of each line.
inline QString text(const QString& file, bool layout = false, int first = 0, int last = 0)
{
    QStringList args;
    if (layout)
        args << "-layout";
    if (first > 0)
        args << "-f" << QString::number(first);
    if (last > 0)
        args << "-l" << QString::number(last);
    args << file << "-";
    QProcess p;
    p.start("pdftotext", args);
    p.waitForFinished(120000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

inline int pages(const QString& file)
{
    QProcess p;
    p.start("pdfinfo", {file});
    p.waitForFinished(60000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const auto m = QRegularExpression("Pages:\\s+(\\d+)").match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// "Page size:" of pdfinfo, e.g. "595.2 x 841.92 pts (A4)".
inline QString page_size(const QString& file)
{
    QProcess p;
    p.start("pdfinfo", {file});
    p.waitForFinished(60000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    return QRegularExpression("Page size:\\s+([^\\n]*)").match(out).captured(1).trimmed();
}

// Text lines with runs of blanks folded to one blank and the ends trimmed.
inline QStringList lines(const QString& text)
{
    QStringList out;
    for (QString l : text.split('\n')) {
        l = l.simplified();
        if (!l.isEmpty())
            out << l;
    }
    return out;
}

} // namespace pdftext
