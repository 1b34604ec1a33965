#include "switchstates.h"

#include <QCoreApplication>
#include <QStringList>

namespace SwitchStates {

const QString kNoLinkStyle = QStringLiteral("background-color: rgb(143, 143, 143)");
const QString kOffStyle = QStringLiteral("background-color: rgb(255, 0, 127)");
const QString kOnStyle = QStringLiteral("background-color: rgb(85, 255, 0)");

namespace {

constexpr int kByteCountAt = 4;
constexpr int kDataAt = 6;
constexpr int kDigitsPerRegister = 4;
constexpr int kBitsPerRegister = 16;

bool isHex(const QString &digits)
{
    for (const QChar c : digits) {
        const char l = c.toLatin1();
        if (!((l >= '0' && l <= '9') || (l >= 'a' && l <= 'f') || (l >= 'A' && l <= 'F')))
            return false;
    }
    return !digits.isEmpty();
}

} // namespace

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

QVector<int> decodeRegisterBits(const QString &reply)
{
    QVector<int> states;
    const QString byteCountText = reply.mid(kByteCountAt, 2);
    if (byteCountText.size() != 2 || !isHex(byteCountText))
        return states;
    const int byteCount = byteCountText.toInt(nullptr, 16);
    const int available = (reply.size() - kDataAt) / kDigitsPerRegister;
    const int registers = qMin(byteCount / 2, available);
    for (int i = 0; i < registers; ++i) {
        const QString digits = reply.mid(kDataAt + kDigitsPerRegister * i, kDigitsPerRegister);
        if (!isHex(digits))
            break;
        const uint value = digits.toUInt(nullptr, 16);
        for (int b = 0; b < kBitsPerRegister; ++b)
            states.append(int(value >> b & 1));
    }
    return states;
}

QVector<int> mergeStates(const QVector<int> &known, const QVector<int> &decoded)
{
    QVector<int> merged = decoded;
    for (int k = decoded.size(); k < known.size(); ++k)
        merged.append(known.at(k));
    return merged;
}

QVector<bool> decodeInputTokens(const QString &bits, int count)
{
    const QStringList tokens = bits.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QVector<bool> states(qMax(count, 0), false);
    for (int k = 0; k < states.size() && k < tokens.size(); ++k)
        states[k] = tokens.at(k) == QLatin1String("1");
    return states;
}

} // namespace SwitchStates
