#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineOption;

// What `merovitest` accepts on its command line, in one place: the window's options,
// `--check` and `--find` with theirs, the exit statuses, and the model names.
namespace CommandLine {

// Exit statuses of `--check` (`--find` uses the first three: found, nothing found, could not run).
enum ExitStatus {
    kPassed = 0,
    kFailed = 1,
    kCouldNotRun = 2,
    kInterrupted = 3,
    kEvidenceLost = 4
};

QList<QCommandLineOption> windowOptions();
QList<QCommandLineOption> checkOptions();
QList<QCommandLineOption> findOptions();
QList<QCommandLineOption> resultsOptions();

// The whole `--help`: usage, the three ways of running, their options and the exit statuses.
QString helpText();
// The 36 model names, one a line, as `--model` takes them.
QString modelList();
// The catalogue row of a model as the menus name it (double blanks may be one), or -1.
int modelIndex(const QString &text);
// The model names closest to a mistyped one, best first.
QStringList nearestModels(const QString &text, int count = 3);
// Why a --model text is refused, naming the nearest models.
QString unknownModel(const QString &text);
// Whether the arguments ask for help or the model list (answered without a window).
bool asksForHelp(int argc, char *argv[]);
bool asksForModelList(int argc, char *argv[]);
// A serial device as the port opens it: relative paths taken from the working folder.
QString serialPath(const QString &path);

} // namespace CommandLine
