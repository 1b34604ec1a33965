#pragma once

#include "check/modulecheck.h"

#include <QString>

// The module check's words in the language installed: the run keeps English texts (the
// results store and the default reports use them as they are), and what is shown is
// put into the interface language phrase by phrase. Without a catalogue installed every
// function gives back the English text.
namespace CheckTexts {

// "Y3 on; differs at Y3" -> "Y3 接通; 不一致于 Y3": the check's fixed phrases and the
// model names translated, numbers, channels and frames left as they are.
QString translated(const QString &english);
CheckStep translated(const CheckStep &step);
// The model, the steps, the restore and identity marks.
CheckRun translated(const CheckRun &run);

// "pass", "fail", "n/a" and the verdict in the language installed.
QString resultText(CheckStep::Result result);
QString verdict(const CheckRun &run);

// `text` padded with blanks to `columns` terminal columns, a Chinese character taking two.
QString columnJustified(const QString &text, int columns);

} // namespace CheckTexts
