#include "ui/language.h"

#include "QtLibrary/QtTools/qttools.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QLocale>
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

// A text of the code in the language `code`, whatever language is installed.
QString translatedInto(const QString &code, const char *context, const char *source,
                       const char *comment)
{
    if (code != kChinese)
        return QString::fromUtf8(source);
    initTranslationResource();
    QTranslator chinese;
    if (!chinese.load(QStringLiteral(":/translations/merovitest_zh_CN.qm")))
        return QString::fromUtf8(source);
    const QString text = chinese.translate(context, source, comment);
    return text.isEmpty() ? QString::fromUtf8(source) : text;
}

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

QString clockText(const QDateTime &time)
{
    const QLocale locale(installedLanguage == kChinese ? QLocale::Chinese : QLocale::English,
                         installedLanguage == kChinese ? QLocale::China : QLocale::UnitedStates);
    return locale.toString(time, QStringLiteral("yyyy-MM-dd hh:mm:ss dddd"));
}

QString picture(const QString &englishPath)
{
    if (installedLanguage != kChinese)
        return englishPath;
    QString chinese = englishPath;
    chinese.insert(chinese.lastIndexOf(QLatin1Char('.')), QStringLiteral("_zh"));
    return QFile::exists(chinese) ? chinese : englishPath;
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
            // Said in the language chosen, which the operator reads, and in the one shown.
            static const struct
            {
                const char *source;
                const char *comment;
            } kNotice = QT_TRANSLATE_NOOP3("MainWindow",
                                           "The language changes at the next start of the program.",
                                           " 语言将在程序下次启动时更改。 "),
              kTitle = QT_TRANSLATE_NOOP3("MainWindow", "Language", " 语言 ");
            QStringList notice;
            for (const QString &language : { code, installedLanguage }) {
                const QString line = translatedInto(language, "MainWindow", kNotice.source,
                                                    kNotice.comment);
                if (!notice.contains(line))
                    notice << line;
            }
            auto *box = new QMessageBox(
                    QMessageBox::Information,
                    translatedInto(code, "MainWindow", kTitle.source, kTitle.comment),
                    notice.join(QLatin1Char('\n')), QMessageBox::Ok, parent);
            box->setObjectName(QStringLiteral("languageNotice"));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        });
    }
}

} // namespace Language
