#pragma once

#include <QString>
#include <QStringList>

// Comma-separated files as spreadsheets read them: a field with a comma, a quote or a
// line break is quoted, its quotes doubled.
namespace Csv {

inline QString field(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// One line, CRLF-free: fields joined by commas, then "\n".
inline QString line(const QStringList &fields)
{
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString &text : fields)
        quoted << field(text);
    return quoted.join(QLatin1Char(',')) + QLatin1Char('\n');
}

} // namespace Csv
