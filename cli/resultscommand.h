#pragma once

#include <QString>

struct CheckRun;
class QObject;
class QThread;
class ResultsStore;

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
// Keeps the record of one `--check` run: the store is opened in a thread of its own while
// the check runs, so recording adds only the writing to the check's time.
class Recorder
{
public:
    explicit Recorder(const Recording &recording);
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Records the finished run and returns the exit status that stands: a run queued for
    // the server counts as recorded; a run that could not be kept turns a pass (0) into 4.
    int record(const CheckRun &run, const QString &htmlReport, const QString &junitReport,
               const QString &csvReport, int status);

private:
    Recording m_recording;
    QThread *m_thread = nullptr;
    QObject *m_context = nullptr; // lives in m_thread, and so does the store
    ResultsStore *m_store = nullptr;
};

} // namespace ResultsCommand
