#pragma once

// merovitest --find: searches a serial line or a TCP endpoint for modules without a window.
namespace FindCommand {

// True when the arguments ask for a search.
bool requested(int argc, char *argv[]);
// Runs the search and prints one line per module found. Exit status: 0 something
// answered, 1 nothing did, 2 a bad argument or a port or address that cannot be opened.
int run(int argc, char *argv[]);

} // namespace FindCommand
