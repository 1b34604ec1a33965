#pragma once

#include <QString>

// The folder the operator last saved a report or a log in, kept in the settings store,
// so the next save dialog starts there.
namespace LastFolder {

// Settings-store key; the slash keeps it apart from every channel-name key.
extern const QString kSettingsKey;

// `fileName` in the folder last used, or in the documents folder when none is kept or
// the kept one is gone.
QString suggest(const QString &fileName);
// Keeps the folder of a file the operator chose.
void remember(const QString &chosenPath);

} // namespace LastFolder
