#pragma once

#include <QLoggingCategory>

// Per-frame traces of the receive path ("merovi.frames"). Off by default; turned on
// with QT_LOGGING_RULES="merovi.frames.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcFrames)
