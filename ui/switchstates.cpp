#include "ui/switchstates.h"

#include <QCoreApplication>

namespace SwitchStates {

const QString kNoLinkStyle = QStringLiteral("background-color: rgb(143, 143, 143)");
const QString kOffStyle = QStringLiteral("background-color: rgb(255, 0, 127)");
const QString kOnStyle = QStringLiteral("background-color: rgb(85, 255, 0)");
const QString kUnknownTextStyle = QStringLiteral("color: rgb(143, 143, 143)");

QString builtStyle(bool linkReady)
{
    return linkReady ? kOffStyle : kNoLinkStyle;
}

QString stateStyle(bool on)
{
    return on ? kOnStyle : kOffStyle;
}

QString outputStateText(bool on)
{
    return on ? QCoreApplication::translate("MainWindow", "Output ON", "闭合")
              : QCoreApplication::translate("MainWindow", "Output OFF", "断开");
}

QString inputStateText(bool on)
{
    return on ? QCoreApplication::translate("MainWindow", "Input ON", "通")
              : QCoreApplication::translate("MainWindow", "Input OFF", "断");
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
    const auto it = names.constFind(key);
    return it == names.constEnd() ? current : it.value();
}

} // namespace SwitchStates
