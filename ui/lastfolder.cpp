#include "ui/lastfolder.h"

#include "QtLibrary/QtTools/qttools.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace LastFolder {

const QString kSettingsKey = QStringLiteral("dialogs/lastFolder");

QString suggest(const QString &fileName)
{
    const QString kept = QtTools::instance()->configMap.value(kSettingsKey);
    const QString folder = !kept.isEmpty() && QFileInfo(kept).isDir()
        ? kept
        : QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(folder).filePath(fileName);
}

void remember(const QString &chosenPath)
{
    if (chosenPath.isEmpty())
        return;
    const QString folder = QFileInfo(chosenPath).absolutePath();
    if (QtTools::instance()->configMap.value(kSettingsKey) != folder)
        QtTools::instance()->setValue(kSettingsKey, folder);
}

} // namespace LastFolder
