#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// File names for the reports a production station files under the board's serial number.
namespace StationFiles {

// "SN-0001_20261207-091500": characters outside [A-Za-z0-9._-] become '_'.
QString baseName(const QString &serialNumber, const QDateTime &time);
// `base`, or base-2, base-3, … : the first for which no file base + suffix exists in the folder.
QString freeBaseName(const QString &folder, const QString &base, const QStringList &suffixes);

} // namespace StationFiles
