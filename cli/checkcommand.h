#pragma once

// The module check without a window: `merovitest --check ...`.
namespace CheckCommand {

// Whether the command line asks for the check.
bool requested(int argc, char *argv[]);
// Runs the check and returns the exit status: 0 every step passed, 1 a step failed,
// 2 no connection or wrong arguments.
int run(int argc, char *argv[]);

} // namespace CheckCommand
