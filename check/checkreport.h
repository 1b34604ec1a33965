#pragma once

#include "check/modulecheck.h"

#include <QByteArray>
#include <QString>

// The module check's report as text: self-contained HTML, CSV and JUnit XML, and the
// line per step the headless command prints. Pure functions of the run.
namespace CheckReport {

// Any text of the run as the reports carry it: C0 control characters other
// than tab, CR and LF become U+FFFD, which every format can hold.
QString reportText(const QString &text);

QString stepLine(const CheckStep &step);
QString summaryLine(const CheckRun &run);
QString html(const CheckRun &run);
// One row per step; every row carries the run's date, version, model, address,
// endpoint and verdict, so the file is one table.
QString csv(const CheckRun &run);
// One test case per step; failures carry expected and read, n/a steps are skipped.
QString junit(const CheckRun &run);
// "check-Switch_32-channel_outputs_16-channel_inputs-20261206-1745.html"
QString suggestedFileName(const CheckRun &run, const QString &suffix);

// "/dev/ttyUSB0 9600 8E1"
QString serialEndpoint(const QString &port, int baudRate, int dataBits, QChar parity, int stopBits);

// Why a report could not be written at `path` (not a file in a writable folder), or
// empty when it can; asked before the check touches the module.
QString pathProblem(const QString &path);

// Writes the file whole or not at all; false with the reason.
bool save(const QString &path, const QString &text, QString *error = nullptr);

} // namespace CheckReport
