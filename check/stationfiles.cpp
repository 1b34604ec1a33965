#include "check/stationfiles.h"

#include <QDir>
#include <QFileInfo>

namespace StationFiles {

namespace {

bool allowed(QChar c)
{
    return (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('.')
        || c == QLatin1Char('_') || c == QLatin1Char('-');
}

} // namespace

QString baseName(const QString &serialNumber, const QDateTime &time)
{
    QString safe = serialNumber;
    for (QChar &c : safe) {
        if (!allowed(c))
            c = QLatin1Char('_');
    }
    return safe + QLatin1Char('_') + time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString freeBaseName(const QString &folder, const QString &base, const QStringList &suffixes)
{
    const QDir dir(folder);
    for (int n = 1;; ++n) {
        const QString candidate = n == 1 ? base : base + QStringLiteral("-%1").arg(n);
        bool taken = false;
        for (const QString &suffix : suffixes)
            taken = taken || QFileInfo::exists(dir.filePath(candidate + suffix));
        if (!taken)
            return candidate;
    }
}

} // namespace StationFiles
