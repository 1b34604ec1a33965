#pragma once

#include <QString>

// A module that floods the tool: merovibench --flood-peer runs it in a process of its own.
// Returns the process's exit code.
int runFloodPeer(int argc, char *argv[]);

// The real window against that module over TCP (127.0.0.1) and over a pseudo-terminal:
// `seconds` of 200 kB/s of small frames, then one burst of `burstBytes`; the cases whose
// name holds `only`. Markdown.
QString floodFigures(int seconds, qint64 burstBytes, const QString &only = QString());
