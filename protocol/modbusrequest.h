#pragma once

#include <QString>
#include <QStringView>
#include <QVector>

// The one home of every request the tool sends: the kind texts that pair a reply
// with its request, and the frame texts (device address "01" as placeholder, no CRC).
namespace ModbusRequest {

// Kinds.
extern const QString kUiText;
extern const QString kCheckStatus;
extern const QString kStartDetecting;
extern const QString kButtonPrefix;          // "QPushButton_" + output index
extern const QString kAllOpen;
extern const QString kAllClose;
extern const QString kAnalogStartDetecting;
extern const QString kReadAnalogOutputPrefix; // "read-Analog-Output"
extern const QString kReadAnalogOutputValue;
extern const QString kReadAnalogOutputMax;
extern const QString kReadAnalogOutputMode;
extern const QString kAnalogOutputValue;
extern const QString kAnalogOutputMax;
extern const QString kAnalogOutputMode;
extern const QString kCommunicationTimeout;
extern const QString kChangeCommunicationTimeout;
extern const QString kReadNetwork;
extern const QString kWriteNetwork;
extern const QString kReboot;

// Register blocks.
constexpr quint16 kOutputStates = 0x0000;
constexpr quint16 kInputStates = 0x0004;
constexpr quint16 kAnalogOutputValues = 0x0009;
constexpr quint16 kAnalogInputValues = 0x0020;
constexpr quint16 kNetworkBlock = 0x2710;
constexpr quint16 kNetworkRegisters = 25;
constexpr quint16 kTimeoutBlock = 0x7530;
constexpr quint16 kAnalogOutputModes = 0x7530;
constexpr quint16 kAnalogOutputMaxima = 0x7594;
constexpr quint16 kRestart = 0xFDE8;

enum class AnalogBlock { Value, Max, Mode };

// The function codes the tool sends and accepts, two hex digits as the module writes
// them ("0f"). The test is case-sensitive: "0F" is none of them.
enum class FunctionClass {
    Unsupported,
    Read, // 01, 02, 03: the reply carries a byte count and the data
    Write // 05, 06, 0f, 10: the reply echoes address and value or quantity
};
FunctionClass functionClass(QStringView code);
bool isSupportedFunction(QStringView code);

// Registers needed for a channel count, 16 channels each; 0 channels still need one.
int registerCount(int channels);

QString buttonKind(int index);
QString checkStatus(int outputCount);
QString startDetecting(int inputCount);
QString singleCoil(int index, bool on);
// Every output register written: output index on, every other output off.
QString singleChoice(int index, int outputCount);
QString allOutputs(int outputCount, bool on);
// Every output register written with the given words, register 0 first.
QString outputStates(const QVector<quint16> &registers);

QString analogInputRead(const QString &address, int channels);
// Registers read back per analog output block: 2 up to 2 channels, 8 for 3 to 8,
// 12 from 12 on; any other size keeps 2.
int analogOutputReadCount(int channels);
QString analogOutputRead(AnalogBlock block, int readCount);
QString analogOutputWrite(AnalogBlock block, int channel, quint16 value);
QString analogOutputReadKind(AnalogBlock block);
// "Analog-OutputValue_3": the block's kind and the channel.
QString analogOutputWriteKind(AnalogBlock block, int channel);

// Timeout block: 2 registers, plus an OR and an AND mask per 16 outputs.
int timeoutReadCount(int outputCount);
QString timeoutRead(int outputCount);
// states: 0 off, 1 on, 2 unchanged, one per channel, whole groups of 16.
QString timeoutWrite(quint32 timeoutMs, const QVector<int> &states);

QString networkRead();
// Exactly 25 register values.
QString networkWrite(const QVector<quint16> &registers);
QString reboot();
// The module's identification request, the ASCII text "ScanDevice" (no address, no
// function code); the link appends the CRC.
QString identification();

// A frame as it goes on the wire: the current address in place of the first byte,
// then the CRC (serial) or behind the Modbus TCP header (network).
QString wireText(const QString &frame, const QString &deviceAddress, bool network);

// Modbus exception codes.
constexpr quint8 kIllegalFunction = 0x01;
constexpr quint8 kIllegalDataAddress = 0x02;
constexpr quint8 kIllegalDataValue = 0x03;

// Standard meaning of a Modbus exception code ("Illegal function", ...).
QString exceptionMeaning(int code);

} // namespace ModbusRequest
