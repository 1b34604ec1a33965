#pragma once

#include <functional>

class QCoreApplication;
class QString;

// The module check without a window: `merovitest --check ...`.
namespace CheckCommand {

// Whether the command line asks for the check.
bool requested(int argc, char *argv[]);
// Installs the catalogue of a language ("zh") in the application; false when it cannot.
using LanguageInstaller = std::function<bool(QCoreApplication *, const QString &)>;

// Runs the check and returns the exit status (CommandLine::ExitStatus). The reports are
// English unless `--language zh` is given.
int run(int argc, char *argv[], const LanguageInstaller &installLanguage);

} // namespace CheckCommand
