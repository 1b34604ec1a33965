#include "protocol/framelog.h"

Q_LOGGING_CATEGORY(lcFrames, "merovi.frames", QtInfoMsg)
