#include "protocol/modbusrequest.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbuscodec.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QLatin1String>

namespace ModbusRequest {

const QString kUiText = QStringLiteral("UI text");
const QString kCheckStatus = QStringLiteral("Check Status");
const QString kStartDetecting = QStringLiteral("Start detecting");
const QString kButtonPrefix = QStringLiteral("QPushButton_");
const QString kAllOpen = QStringLiteral("All Open");
const QString kAllClose = QStringLiteral("All Close");
const QString kAnalogStartDetecting = QStringLiteral("Analog-Start-detecting");
const QString kReadAnalogOutputPrefix = QStringLiteral("read-Analog-Output");
const QString kReadAnalogOutputValue = QStringLiteral("read-Analog-OutputValue");
const QString kReadAnalogOutputMax = QStringLiteral("read-Analog-OutputMax");
const QString kReadAnalogOutputMode = QStringLiteral("read-Analog-OutputMode");
const QString kAnalogOutputValue = QStringLiteral("Analog-OutputValue");
const QString kAnalogOutputMax = QStringLiteral("Analog-OutputMax");
const QString kAnalogOutputMode = QStringLiteral("Analog-OutputMode");
const QString kCommunicationTimeout = QStringLiteral("Communication TimeOut");
const QString kChangeCommunicationTimeout = QStringLiteral("change CommunicationTimeout");
const QString kReadNetwork = QStringLiteral("Read Network");
const QString kWriteNetwork = QStringLiteral("Write NetWork");
const QString kReboot = QStringLiteral("Reboot");

namespace {

QString hex4(int value)
{
    return QtTools::toHex(quint32(value) & 0xFFFF);
}

// Byte count of a register write: the last two digits of its 4-digit form.
QString byteCount(int registers)
{
    return hex4(2 * registers).right(2);
}

quint16 blockStart(AnalogBlock block)
{
    switch (block) {
    case AnalogBlock::Value:
        return RegisterMap::kAnalogOutputValues;
    case AnalogBlock::Max:
        return RegisterMap::kAnalogOutputMaxima;
    case AnalogBlock::Mode:
        return RegisterMap::kAnalogOutputModes;
    }
    return RegisterMap::kAnalogOutputValues;
}

} // namespace

const QVector<FunctionCode> &functionCodes()
{
    static const QVector<FunctionCode> codes = {
        {0x01, FunctionClass::Read, "Read coils"},
        {0x02, FunctionClass::Read, "Read discrete inputs"},
        {0x03, FunctionClass::Read, "Read holding registers"},
        {0x05, FunctionClass::Write, "Write single coil"},
        {0x06, FunctionClass::Write, "Write single register"},
        {0x0F, FunctionClass::Write, "Write multiple coils"},
        {0x10, FunctionClass::Write, "Write multiple registers"},
    };
    return codes;
}

QString FunctionCode::text() const
{
    return QString::fromLatin1(QByteArray(1, char(code)).toHex());
}

FunctionClass functionClass(QStringView code)
{
    if (code.size() != 2)
        return FunctionClass::Unsupported;
    int value = 0;
    for (const QChar c : code) {
        const char16_t digit = c.unicode();
        if (digit >= '0' && digit <= '9')
            value = value * 16 + (digit - '0');
        else if (digit >= 'a' && digit <= 'f')
            value = value * 16 + (digit - 'a' + 10);
        else
            return FunctionClass::Unsupported;
    }
    return functionClass(quint8(value));
}

FunctionClass functionClass(quint8 code)
{
    for (const FunctionCode &entry : functionCodes()) {
        if (entry.code == code)
            return entry.kind;
    }
    return FunctionClass::Unsupported;
}

bool isSupportedFunction(QStringView code)
{
    return functionClass(code) != FunctionClass::Unsupported;
}

int registerCount(int channels)
{
    return (channels - 1) / 16 + 1;
}

QString buttonKind(int index)
{
    return kButtonPrefix + QString::number(index);
}

QString checkStatus(int outputCount)
{
    return QStringLiteral("0103 ") + hex4(RegisterMap::kOutputStates) + hex4(registerCount(outputCount));
}

QString startDetecting(int inputCount)
{
    return QStringLiteral("0103") + hex4(RegisterMap::kInputStates) + hex4(registerCount(inputCount));
}

QString singleCoil(int index, bool on)
{
    return QStringLiteral("0105") + hex4(index) + (on ? QStringLiteral("FF00") : QStringLiteral("0000"));
}

QString singleChoice(int index, int outputCount)
{
    const int registers = registerCount(outputCount);
    QString frame = QStringLiteral("0110 ") + hex4(RegisterMap::kOutputStates) + hex4(registers)
            + byteCount(registers);
    for (int w = 0; w < registers; ++w)
        frame += w == index / 16 ? hex4(1 << (index % 16)) : QStringLiteral("0000");
    return frame;
}

QString allOutputs(int outputCount, bool on)
{
    const int registers = registerCount(outputCount);
    return QStringLiteral("0110") + hex4(RegisterMap::kOutputStates) + hex4(registers) + byteCount(registers)
            + (on ? QStringLiteral("ffff") : QStringLiteral("0000")).repeated(registers);
}

QString outputStates(const QVector<quint16> &registers)
{
    const int count = registers.size();
    QString frame = QStringLiteral("0110") + hex4(RegisterMap::kOutputStates) + hex4(count) + byteCount(count);
    for (quint16 word : registers)
        frame += hex4(word);
    return frame;
}

QString analogInputRead(const QString &address, int channels)
{
    return ModbusCodec::readAnalog_03(address, 0, channels);
}

int analogOutputReadCount(int channels)
{
    if (channels >= 12)
        return 12;
    if (channels >= 3 && channels <= 8)
        return 8;
    return 2;
}

QString analogOutputRead(AnalogBlock block, int readCount)
{
    const quint16 start = blockStart(block);
    QByteArray bytes;
    bytes.append(char(0x01)).append(char(0x03));
    bytes.append(char(start >> 8)).append(char(start & 0xFF));
    bytes.append(char(0x00)).append(char(readCount & 0xFF));
    return QString::fromLatin1(bytes.toHex());
}

QString analogOutputWrite(AnalogBlock block, int channel, quint16 value)
{
    const quint16 address = quint16(blockStart(block) + channel);
    QByteArray bytes;
    bytes.append(char(0x01)).append(char(0x06));
    bytes.append(char(address >> 8)).append(char(address & 0xFF));
    bytes.append(char(value >> 8)).append(char(value & 0xFF));
    return QString::fromLatin1(bytes.toHex());
}

QString analogOutputReadKind(AnalogBlock block)
{
    switch (block) {
    case AnalogBlock::Value:
        return kReadAnalogOutputValue;
    case AnalogBlock::Max:
        return kReadAnalogOutputMax;
    case AnalogBlock::Mode:
        return kReadAnalogOutputMode;
    }
    return QString();
}

QString analogOutputWriteKind(AnalogBlock block, int channel)
{
    // One kind per channel, so writes to two channels never count as duplicates.
    const QString suffix = QLatin1Char('_') + QString::number(channel);
    switch (block) {
    case AnalogBlock::Value:
        return kAnalogOutputValue + suffix;
    case AnalogBlock::Max:
        return kAnalogOutputMax + suffix;
    case AnalogBlock::Mode:
        return kAnalogOutputMode + suffix;
    }
    return QString();
}

int timeoutReadCount(int outputCount)
{
    if (outputCount < 0)
        return 2;
    return ((outputCount - 1) / 16) * 2 + 4;
}

QString timeoutRead(int outputCount)
{
    return QStringLiteral("0103 ") + hex4(RegisterMap::kTimeoutBlock) + hex4(timeoutReadCount(outputCount));
}

QString timeoutWrite(quint32 timeoutMs, const QVector<int> &states)
{
    const int groups = states.size() / 16;
    QString frame = QStringLiteral("0110 ") + hex4(RegisterMap::kTimeoutBlock) + hex4(groups * 2 + 2)
            + byteCount(groups * 2 + 2) + hex4(int(timeoutMs >> 16)) + hex4(int(timeoutMs & 0xFFFF));
    for (int g = 0; g < groups; ++g) {
        int orMask = 0;
        int andMask = 0;
        for (int k = 0; k < 16; ++k) {
            const int state = states.at(16 * g + k);
            if (state == 1)
                orMask |= 1 << k;
            if (state == 1 || state == 2)
                andMask |= 1 << k;
        }
        frame += hex4(orMask) + hex4(andMask);
    }
    return frame;
}

QString networkRead()
{
    return QStringLiteral("0103 ") + hex4(RegisterMap::kNetworkBlock) + QLatin1Char(' ')
            + hex4(RegisterMap::kNetworkRegisters);
}

QString networkWrite(const QVector<quint16> &registers)
{
    QString frame = QStringLiteral("0110 ") + hex4(RegisterMap::kNetworkBlock) + QLatin1Char(' ')
            + hex4(RegisterMap::kNetworkRegisters) + QLatin1Char(' ')
            + byteCount(RegisterMap::kNetworkRegisters);
    for (quint16 value : registers)
        frame += hex4(value);
    return frame;
}

QString reboot()
{
    // Lower-case, as the module's own documentation writes this frame.
    return (QStringLiteral("0110") + hex4(RegisterMap::kRestart) + QStringLiteral("0001")
            + byteCount(1) + hex4(RegisterMap::kRestartValue))
        .toLower();
}

QString identificationRequest()
{
    return QString::fromLatin1(QByteArrayLiteral("ScanDevice").toHex());
}

QString wireText(const QString &frame, const QString &deviceAddress, bool network)
{
    const QString text = deviceAddress + frame.mid(2);
    if (!network)
        return QtTools::appendCrc16(text);
    const int bytes = QString(text).remove(QLatin1Char(' ')).size() / 2;
    return QtTools::modbusTcpHeader(quint32(bytes) & 0xFFFF) + text;
}

QString functionName(int code)
{
    struct Text
    {
        const char *source;
        const char *comment;
    };
    static const struct
    {
        int code;
        Text text;
    } kNames[] = {
        {0x01, QT_TRANSLATE_NOOP3("ModbusRequest", "Read coils", " 读线圈 ")},
        {0x02, QT_TRANSLATE_NOOP3("ModbusRequest", "Read discrete inputs", " 读离散输入 ")},
        {0x03, QT_TRANSLATE_NOOP3("ModbusRequest", "Read holding registers", " 读保持寄存器 ")},
        {0x04, QT_TRANSLATE_NOOP3("ModbusRequest", "Read input registers", " 读输入寄存器 ")},
        {0x05, QT_TRANSLATE_NOOP3("ModbusRequest", "Write single coil", " 写单个线圈 ")},
        {0x06, QT_TRANSLATE_NOOP3("ModbusRequest", "Write single register", " 写单个寄存器 ")},
        {0x0F, QT_TRANSLATE_NOOP3("ModbusRequest", "Write multiple coils", " 写多个线圈 ")},
        {0x10, QT_TRANSLATE_NOOP3("ModbusRequest", "Write multiple registers", " 写多个寄存器 ")},
    };
    for (const auto &entry : kNames) {
        if (entry.code == (code & 0x7F))
            return QCoreApplication::translate("ModbusRequest", entry.text.source,
                                               entry.text.comment);
    }
    return QString();
}

QString exceptionMeaning(int code)
{
    struct Meaning
    {
        int code;
        const char *text;
    };
    static const Meaning kMeanings[] = {
        {kIllegalFunction, "Illegal function"},
        {kIllegalDataAddress, "Illegal data address"},
        {kIllegalDataValue, "Illegal data value"},
        {0x04, "Slave device failure"},
        {0x05, "Acknowledge"},
        {0x06, "Slave device busy"},
        {0x07, "Negative acknowledge"},
        {0x08, "Memory parity error"},
        {0x0A, "Gateway path unavailable"},
        {0x0B, "Gateway target device failed to respond"},
    };
    for (const Meaning &meaning : kMeanings) {
        if (meaning.code == code)
            return QString::fromLatin1(meaning.text);
    }
    return QStringLiteral("Unknown exception");
}

} // namespace ModbusRequest
