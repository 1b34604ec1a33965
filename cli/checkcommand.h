#pragma once

// The module check without a window: `merovitest --check ...`.
namespace CheckCommand {

// Whether the command line asks for the check.
bool requested(int argc, char *argv[]);
// Runs the check and returns the exit status (CommandLine::ExitStatus).
int run(int argc, char *argv[]);

} // namespace CheckCommand
