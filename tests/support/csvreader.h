#pragma once
// An RFC 4180 reader for the tests that read the program's CSV files back.

#include <QFile>
#include <QHash>
#include <QStringList>

// Each data row as column name -> field. A quoted field may hold commas, doubled quotes
// and line breaks; every row ends with CRLF, so a row without one is lost and fails.
inline QList<QHash<QString, QString>> read(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QString text = QString::fromUtf8(file.readAll());
    QList<QStringList> rows;
    QStringList row;
    QString f;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted && c == '"' && text.mid(i, 2) == "\"\"")
            f += c, ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (!quoted && c == ',')
            row << f, f.clear();
        else if (!quoted && text.mid(i, 2) == "\r\n")
            rows << (row << f), row.clear(), f.clear(), ++i;
        else
            f += c;
    }
    QList<QHash<QString, QString>> out;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        if (rows[r].size() != rows[0].size())
            qFatal("row %d has %d fields", int(r), int(rows[r].size()));
        QHash<QString, QString> m;
        for (qsizetype c = 0; c < rows[0].size(); ++c)
            m.insert(rows[0][c], rows[r][c]);
        out << m;
    }
    return out;
}
