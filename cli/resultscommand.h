#pragma once

#include <QString>

struct CheckRun;

// The results store from the command line: `merovitest --history SN` and
// `merovitest --yield`, and the record of a `--check` run.
namespace ResultsCommand {

bool requested(int argc, char *argv[]);
// 0 done, 2 bad arguments or a store that cannot be read.
int run(int argc, char *argv[]);

// What `--check --serial-number` records, and where.
struct Recording
{
    QString serialNumber;
    QString store;    // --results; empty: the SQLite file in the data folder
    QString station;  // empty: the host name
    QString operatorName; // empty: the login name
};
// Checks the store argument before anything is sent; empty when it is good.
QString recordingError(const Recording &recording);
// Records the finished run and returns the exit status that stands: a run queued for
// the server counts as recorded; a run that could not be kept turns a pass (0) into 4.
int record(const CheckRun &run, const Recording &recording, const QString &htmlReport,
           const QString &junitReport, const QString &csvReport, int status);

} // namespace ResultsCommand
