#include "ui/language.h"

#include "QtLibrary/QtTools/qttools.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QTranslator>

// The catalogue is embedded in the window library, a static library.
static void initTranslationResource()
{
    Q_INIT_RESOURCE(translations);
}

namespace Language {

const QString kEnglish = QStringLiteral("en");
const QString kChinese = QStringLiteral("zh");
const QString kSettingsKey = QStringLiteral("ui/language");

namespace {

QString installedLanguage = kEnglish;

} // namespace

QString normalized(const QString &code)
{
    const QString lower = code.trimmed().toLower();
    if (lower == kEnglish || lower.startsWith(QLatin1String("en_")))
        return kEnglish;
    if (lower == kChinese || lower.startsWith(QLatin1String("zh_")))
        return kChinese;
    return QString();
}

QString stored()
{
    const QString code = normalized(QtTools::instance()->configMap.value(kSettingsKey));
    return code.isEmpty() ? kEnglish : code;
}

void store(const QString &code)
{
    QtTools::instance()->setValue(kSettingsKey, normalized(code));
    QtTools::instance()->saveEverything();
}

bool install(QCoreApplication *application, const QString &code)
{
    if (normalized(code) != kChinese) {
        installedLanguage = kEnglish;
        return true;
    }
    initTranslationResource();
    auto *translator = new QTranslator(application);
    if (!translator->load(QStringLiteral(":/translations/merovitest_zh_CN.qm"))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installedLanguage = kChinese;
    return true;
}

QString current()
{
    return installedLanguage;
}

void addChoice(QMenu *menu, QWidget *parent)
{
    auto *group = new QActionGroup(menu);
    const QString chosen = stored();
    const QList<QPair<QString, QString>> choices = {
        { kEnglish, QStringLiteral("English") },
        { kChinese, QStringLiteral("中文") },
    };
    for (const auto &choice : choices) {
        QAction *action = menu->addAction(choice.second);
        action->setObjectName(QStringLiteral("languageAction_") + choice.first);
        action->setCheckable(true);
        action->setChecked(choice.first == chosen);
        group->addAction(action);
        const QString code = choice.first;
        QObject::connect(action, &QAction::triggered, parent, [code, parent]() {
            if (code == stored())
                return;
            store(code);
            auto *box = new QMessageBox(
                    QMessageBox::Information,
                    QCoreApplication::translate("MainWindow", "Language", " 语言 "),
                    QCoreApplication::translate(
                            "MainWindow", "The language changes at the next start of the program.",
                            " 语言将在程序下次启动时更改。 "),
                    QMessageBox::Ok, parent);
            box->setObjectName(QStringLiteral("languageNotice"));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        });
    }
}

} // namespace Language
