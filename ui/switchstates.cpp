#include "ui/switchstates.h"

#include <QCoreApplication>

namespace SwitchStates {

const QString kNoLinkStyle = QStringLiteral("background-color: rgb(143, 143, 143)");
const QString kOffStyle = QStringLiteral("background-color: rgb(255, 0, 127)");
const QString kOnStyle = QStringLiteral("background-color: rgb(85, 255, 0)");
const QString kUnknownTextStyle = QStringLiteral("color: rgb(143, 143, 143)");
const QString kUnknownValue = QStringLiteral("–");

QString builtStyle(bool linkReady)
{
    return linkReady ? kOffStyle : kNoLinkStyle;
}

QString stateStyle(bool on)
{
    return on ? kOnStyle : kOffStyle;
}

namespace {

struct StateText
{
    const char *source;
    const char *comment;
};

// The state texts, English and Chinese: a channel-name key ends with one of them.
const StateText kOutputOn = QT_TRANSLATE_NOOP3("MainWindow", "Output ON", "闭合");
const StateText kOutputOff = QT_TRANSLATE_NOOP3("MainWindow", "Output OFF", "断开");
const StateText kInputOn = QT_TRANSLATE_NOOP3("MainWindow", "Input ON", "通");
const StateText kInputOff = QT_TRANSLATE_NOOP3("MainWindow", "Input OFF", "断");

QString translated(const StateText &text)
{
    return QCoreApplication::translate("MainWindow", text.source, text.comment);
}

// Whether `prefix` is "Y" or "IN" followed by a channel number.
bool isChannelPrefix(const QString &prefix, const QString &letters)
{
    if (!prefix.startsWith(letters) || prefix.size() == letters.size())
        return false;
    for (int i = letters.size(); i < prefix.size(); ++i) {
        if (!prefix.at(i).isDigit())
            return false;
    }
    return true;
}

} // namespace

QString outputStateText(bool on)
{
    return translated(on ? kOutputOn : kOutputOff);
}

QString inputStateText(bool on)
{
    return translated(on ? kInputOn : kInputOff);
}

QStringList nameKeys(const QString &key)
{
    QStringList keys{key};
    const struct {
        const StateText *state;
        QLatin1String letters;
    } endings[] = {
        { &kOutputOn, QLatin1String("Y") },
        { &kOutputOff, QLatin1String("Y") },
        { &kInputOn, QLatin1String("IN") },
        { &kInputOff, QLatin1String("IN") },
    };
    for (const auto &ending : endings) {
        const QStringList spellings{ translated(*ending.state),
                                     QString::fromUtf8(ending.state->source),
                                     QString::fromUtf8(ending.state->comment) };
        for (const QString &spelling : spellings) {
            const QString prefix = key.left(key.size() - spelling.size());
            if (!key.endsWith(spelling) || !isChannelPrefix(prefix, ending.letters))
                continue;
            for (const QString &other : spellings) {
                if (!keys.contains(prefix + other))
                    keys.append(prefix + other);
            }
            return keys;
        }
    }
    return keys;
}

QString outputNameKey(int channel, bool on)
{
    return defaultOutputCaption(channel) + outputStateText(on);
}

QString inputNameKey(int channel, bool on)
{
    return defaultInputCaption(channel) + inputStateText(on);
}

QString defaultOutputCaption(int channel)
{
    return QStringLiteral("Y") + QString::number(channel);
}

QString defaultInputCaption(int channel)
{
    return QStringLiteral("IN") + QString::number(channel);
}

QString caption(const QMap<QString, QString> &names, const QString &key, const QString &current)
{
    for (const QString &spelling : nameKeys(key)) {
        const auto it = names.constFind(spelling);
        if (it != names.constEnd())
            return it.value();
    }
    return current;
}

} // namespace SwitchStates
