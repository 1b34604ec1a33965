#include "protocol/modbusrequest.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbuscodec.h"

#include <QByteArray>
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
        return kAnalogOutputValues;
    case AnalogBlock::Max:
        return kAnalogOutputMaxima;
    case AnalogBlock::Mode:
        return kAnalogOutputModes;
    }
    return kAnalogOutputValues;
}

} // namespace

FunctionClass functionClass(QStringView code)
{
    static const QLatin1String kReadCodes[] = {
        QLatin1String("01"), QLatin1String("02"), QLatin1String("03")};
    static const QLatin1String kWriteCodes[] = {
        QLatin1String("05"), QLatin1String("06"), QLatin1String("0f"), QLatin1String("10")};
    for (const QLatin1String &read : kReadCodes) {
        if (code == read)
            return FunctionClass::Read;
    }
    for (const QLatin1String &write : kWriteCodes) {
        if (code == write)
            return FunctionClass::Write;
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
    return QStringLiteral("0103 0000") + hex4(registerCount(outputCount));
}

QString startDetecting(int inputCount)
{
    return QStringLiteral("0103") + hex4(kInputStates) + hex4(registerCount(inputCount));
}

QString singleCoil(int index, bool on)
{
    return QStringLiteral("0105") + hex4(index) + (on ? QStringLiteral("FF00") : QStringLiteral("0000"));
}

QString singleChoice(int index, int outputCount)
{
    const int registers = registerCount(outputCount);
    QString frame = QStringLiteral("0110 0000") + hex4(registers) + byteCount(registers);
    for (int w = 0; w < registers; ++w)
        frame += w == index / 16 ? hex4(1 << (index % 16)) : QStringLiteral("0000");
    return frame;
}

QString allOutputs(int outputCount, bool on)
{
    const int registers = registerCount(outputCount);
    return QStringLiteral("0110") + hex4(kOutputStates) + hex4(registers) + byteCount(registers)
            + (on ? QStringLiteral("ffff") : QStringLiteral("0000")).repeated(registers);
}

QString outputStates(const QVector<quint16> &registers)
{
    const int count = registers.size();
    QString frame = QStringLiteral("0110") + hex4(kOutputStates) + hex4(count) + byteCount(count);
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
    return QStringLiteral("0103 7530") + hex4(timeoutReadCount(outputCount));
}

QString timeoutWrite(quint32 timeoutMs, const QVector<int> &states)
{
    const int groups = states.size() / 16;
    QString frame = QStringLiteral("0110 7530") + hex4(groups * 2 + 2) + byteCount(groups * 2 + 2)
            + hex4(int(timeoutMs >> 16)) + hex4(int(timeoutMs & 0xFFFF));
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
    return QStringLiteral("0103 2710 0019");
}

QString networkWrite(const QVector<quint16> &registers)
{
    QString frame = QStringLiteral("0110 2710 0019 32");
    for (quint16 value : registers)
        frame += hex4(value);
    return frame;
}

QString reboot()
{
    return QStringLiteral("0110fde80001020001");
}

QString identification()
{
    return QStringLiteral("5363616E446576696365");
}

QString wireText(const QString &frame, const QString &deviceAddress, bool network)
{
    const QString text = deviceAddress + frame.mid(2);
    if (!network)
        return QtTools::appendCrc16(text);
    const int bytes = QString(text).remove(QLatin1Char(' ')).size() / 2;
    return QtTools::modbusTcpHeader(quint32(bytes) & 0xFFFF) + text;
}

QString exceptionMeaning(int code)
{
    switch (code) {
    case 0x01:
        return QStringLiteral("Illegal function");
    case 0x02:
        return QStringLiteral("Illegal data address");
    case 0x03:
        return QStringLiteral("Illegal data value");
    case 0x04:
        return QStringLiteral("Slave device failure");
    case 0x05:
        return QStringLiteral("Acknowledge");
    case 0x06:
        return QStringLiteral("Slave device busy");
    case 0x07:
        return QStringLiteral("Negative acknowledge");
    case 0x08:
        return QStringLiteral("Memory parity error");
    case 0x0A:
        return QStringLiteral("Gateway path unavailable");
    case 0x0B:
        return QStringLiteral("Gateway target device failed to respond");
    default:
        return QStringLiteral("Unknown exception");
    }
}

} // namespace ModbusRequest
