#pragma once

#include <QString>

class QCoreApplication;
class QDateTime;
class QMenu;
class QWidget;

// The interface language: English (the texts of the code and the forms) or Chinese
// (the compiled catalogue). The operator's choice is kept in the settings store and
// takes effect at the next start.
namespace Language {

extern const QString kEnglish; // "en"
extern const QString kChinese; // "zh"
// Settings-store key; the slash keeps it apart from every channel-name key.
extern const QString kSettingsKey;

// "en" or "zh" for a code such as "zh", "zh_CN", "EN"; empty when unknown.
QString normalized(const QString &code);
// The stored choice, English when none is stored.
QString stored();
void store(const QString &code);
// Installs the Chinese catalogue for "zh" (nothing for English); false when the
// catalogue cannot be loaded.
bool install(QCoreApplication *application, const QString &code);
// The language installed by install(), "en" before.
QString current();

// The clock's text, "2026-12-07 09:30:00 Monday", the weekday in the language installed.
QString clockText(const QDateTime &time);
// A picture of the help window (":/piture/boma.png") in the language installed.
QString picture(const QString &englishPath);

// Adds the English / 中文 choice to `menu`; a change is stored and announced.
void addChoice(QMenu *menu, QWidget *parent);

} // namespace Language
