#include "protocol/replydecoder.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbuscodec.h"
#include "protocol/modbusrequest.h"

#include <QCoreApplication>
#include <QStringList>

namespace ReplyDecoder {

namespace {

int byteCount(const QString &reply)
{
    return reply.midRef(4, 2).toInt(nullptr, 16);
}

quint16 word(const QString &reply, int position)
{
    return quint16(reply.midRef(position, 4).toUInt(nullptr, 16));
}

QString dottedLowBytes(const QString &reply, int position)
{
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << QString::number(reply.midRef(position + 4 * i + 2, 2).toUInt(nullptr, 16));
    return parts.join(QLatin1Char('.'));
}

constexpr int kByteCountAt = 4;
constexpr int kDataAt = 6;
constexpr int kDigitsPerRegister = 4;
constexpr int kBitsPerRegister = 16;

} // namespace

QString inputBits(const QString &reply)
{
    const int registers = byteCount(reply) / 2;
    QString text;
    for (int i = 0; i < registers; ++i) {
        const quint16 value = word(reply, 6 + 4 * i);
        for (int bit = 0; bit < 16; ++bit)
            text += (value >> bit) & 1 ? QStringLiteral("1 ") : QStringLiteral("0 ");
    }
    if (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
    return text;
}

QString timeoutBlock(const QString &reply)
{
    const int digits = 2 * byteCount(reply);
    QString text = QString::number(reply.midRef(6, 8).toUInt(nullptr, 16));
    if (digits > 15) {
        const int groups = (digits - 8) / 8;
        for (int g = 0; g < groups; ++g) {
            const quint16 orMask = word(reply, 14 + 8 * g);
            const quint16 andMask = word(reply, 18 + 8 * g);
            for (int channel = 0; channel < 16; ++channel) {
                // Channels 0..7 sit in the low bytes, 8..15 in the high bytes.
                if ((orMask >> channel) & 1)
                    text += QStringLiteral(" 1");
                else if (!((andMask >> channel) & 1))
                    text += QStringLiteral(" 0");
                else
                    text += QStringLiteral(" 2");
            }
        }
    }
    return text;
}

QString networkBlock(const QString &reply)
{
    QStringList items;
    items << dottedLowBytes(reply, 6) << dottedLowBytes(reply, 22) << dottedLowBytes(reply, 38)
          << QString::number(word(reply, 54)) << dottedLowBytes(reply, 58)
          << QString::number(word(reply, 74)) << QString::number(word(reply, 78));
    QStringList mac;
    for (int i = 0; i < 6; ++i)
        mac << reply.mid(82 + 4 * i + 2, 2);
    items << mac.join(QLatin1Char('-'));
    return items.join(QLatin1Char(' '));
}

bool answers(const QString &reply, const QString &requestFrame)
{
    QString request = requestFrame.toLower();
    request.remove(QLatin1Char(' '));
    const QString code = reply.mid(2, 2).toLower();
    if (request.size() < 4 || code != request.mid(2, 2))
        return false;
    if (request.size() < 12)
        return true;
    bool ok = false;
    const int quantity = request.midRef(8, 4).toInt(&ok, 16);
    if (!ok)
        return true;
    if (code == QLatin1String("01") || code == QLatin1String("02"))
        return byteCount(reply) == (quantity + 7) / 8;
    if (code == QLatin1String("03") || code == QLatin1String("04"))
        return byteCount(reply) == 2 * quantity;
    if (ModbusRequest::functionClass(code) == ModbusRequest::FunctionClass::Write)
        return reply.mid(4, 8).compare(request.mid(4, 8), Qt::CaseInsensitive) == 0;
    return true;
}

Dispatch dispatch(const QString &reply, const QString &headKind, const QString &deviceAddress,
                  bool network, const QString &headFrame)
{
    Dispatch result;
    result.showRaw = !network;

    // The module answers in lower case; the address is kept in upper case.
    const QString code = reply.mid(2, 2);
    if (reply.size() < 4 || reply.left(2).compare(deviceAddress, Qt::CaseInsensitive) != 0
        || !ModbusRequest::isSupportedFunction(code)) {
        result.rejection = Dispatch::WrongAddress;
        return result;
    }
    if (!network
        && (reply.size() < 8
            || !QtTools::checkCrc16(reply.left(reply.size() - 4), reply.right(4)))) {
        result.rejection = Dispatch::BadCrc;
        return result;
    }
    if (!headFrame.isEmpty() && !answers(reply, headFrame)) {
        result.rejection = Dispatch::Unmatched;
        return result;
    }
    result.accepted = true;

    if (headKind.contains(ModbusRequest::kUiText)) {
        result.then = Dispatch::Pop;
        return result;
    }

    if (code == QLatin1String("03")) {
        result.then = Dispatch::Pop;
        if (headKind.contains(ModbusRequest::kCheckStatus)) {
            result.signal = Dispatch::ChangeCtlOuts;
            result.text = reply;
        } else if (headKind.contains(ModbusRequest::kStartDetecting)) {
            result.signal = Dispatch::ChangeInputs;
            result.text = inputBits(reply);
            result.then = Dispatch::Requeue;
        } else if (headKind == ModbusRequest::kAnalogStartDetecting) {
            // A reply that cannot be analysed does not end polling either.
            result.then = Dispatch::Requeue;
            const QString values = ModbusCodec::analyseAnalog_03(reply);
            if (!values.contains(QLatin1String("error"), Qt::CaseInsensitive)) {
                result.signal = Dispatch::AnalogInput;
                result.text = values;
            }
        } else if (headKind.startsWith(ModbusRequest::kReadAnalogOutputPrefix)) {
            result.signal = Dispatch::ReadAnalogOutput;
            result.text = reply;
        } else if (headKind.contains(ModbusRequest::kCommunicationTimeout)) {
            result.signal = Dispatch::CommunicationTimeOut;
            result.text = timeoutBlock(reply);
        } else if (headKind.contains(ModbusRequest::kReadNetwork)) {
            result.signal = Dispatch::NetworkProcessing;
            result.text = networkBlock(reply);
        }
        return result;
    }

    const bool buttonRequest = headKind.contains(QLatin1String("QPushButton"));
    if (code == QLatin1String("05")) {
        if (buttonRequest) {
            result.signal = Dispatch::ClickButton;
            result.number = int(headKind.section(QLatin1Char('_'), 1, 1).toUInt());
            result.then = Dispatch::Pop;
        }
        return result;
    }

    if (code == QLatin1String("10")) {
        result.then = Dispatch::Pop;
        if (buttonRequest) {
            result.signal = Dispatch::ClickButton;
            result.number = int(headKind.section(QLatin1Char('_'), 1, 1).toUInt());
        } else if (headKind.contains(ModbusRequest::kAllOpen)
                   || headKind.contains(ModbusRequest::kAllClose)) {
            result.signal = Dispatch::AllOpen;
            result.number = headKind.contains(ModbusRequest::kAllOpen) ? 1 : 0;
            result.popBeforeSignal = true;
        } else if (headKind.contains(ModbusRequest::kChangeCommunicationTimeout)) {
            result.signal = Dispatch::Log;
            result.text = QCoreApplication::translate(
                    "ThreadAdministrator", "Communication timeout set successfully",
                    " 通讯超时设置成功 ");
        } else if (headKind.contains(ModbusRequest::kWriteNetwork)) {
            result.signal = Dispatch::Log;
            result.text = QCoreApplication::translate(
                    "ThreadAdministrator", "Network parameter was written successfully",
                    " 成功写入网络参数 ");
        }
        return result;
    }

    // 01, 02, 06 and 0f: the acknowledgement only ends the request.
    result.then = Dispatch::Pop;
    return result;
}

QVector<quint16> decodeRegisters(const QString &reply)
{
    QVector<quint16> registers;
    const QString byteCountText = reply.mid(kByteCountAt, 2);
    if (byteCountText.size() != 2 || !QtTools::isHexDigits(byteCountText))
        return registers;
    const int byteCount = byteCountText.toInt(nullptr, 16);
    const int available = (reply.size() - kDataAt) / kDigitsPerRegister;
    const int count = qMin(byteCount / 2, available);
    for (int i = 0; i < count; ++i) {
        const QString digits = reply.mid(kDataAt + kDigitsPerRegister * i, kDigitsPerRegister);
        if (!QtTools::isHexDigits(digits))
            break;
        registers.append(quint16(digits.toUInt(nullptr, 16)));
    }
    return registers;
}

QVector<int> decodeRegisterBits(const QString &reply)
{
    QVector<int> states;
    for (const quint16 value : decodeRegisters(reply)) {
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

} // namespace ReplyDecoder
