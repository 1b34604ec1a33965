#pragma once

#include "QtLibrary/QtTools/qttools.h"

#include <QDebug>

// The coloured diagnostic line of file operations, with the caller's function and line.
#define MEROVI_DIAGNOSTIC(file) QtTools::diagnostic(file, __func__, __LINE__)
