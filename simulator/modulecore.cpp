#include "simulator/modulecore.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "protocol/registermap.h"

#include <cmath>

namespace {

using namespace RegisterMap;
// Analog modules keep their channel modes where switch modules keep the timeout block.
constexpr quint16 kModeBlock = kAnalogOutputModes;

// Limits that keep the blocks apart.
constexpr int kMaxSwitchChannels = 64;
constexpr int kMaxAnalogOutputs = kAnalogInputValues - kAnalogOutputValues;
constexpr int kMaxAnalogInputs = 64;

constexpr quint16 kDefaultMaximum = 0x0FFF; // a 12-bit converter
constexpr quint16 kModeMilliamps4to20 = 0;
constexpr quint16 kModeVolts0to10 = 4;
constexpr quint16 kHighestMode = 4;
constexpr int kInputStepMs = 1000;     // the walking input moves once a second
constexpr double kAnalogPeriodS = 30.0; // one slow swing of an analog input

constexpr int kCustomTypeCode = 199;
constexpr int kCatalogueTypeCodeBase = 100;
constexpr int kMbapHeader = 6;

using ModbusRequest::kIllegalDataAddress;
using ModbusRequest::kIllegalDataValue;
using ModbusRequest::kIllegalFunction;

const QByteArray kScanDevice = QByteArrayLiteral("ScanDevice");

int registersFor(int channels)
{
    return channels > 0 ? (channels - 1) / 16 + 1 : 0;
}

quint16 u16(const QByteArray &bytes, int at)
{
    return quint16(quint8(bytes.at(at)) << 8 | quint8(bytes.at(at + 1)));
}

void appendU16(QByteArray *bytes, quint16 value)
{
    bytes->append(char(value >> 8));
    bytes->append(char(value & 0xFF));
}

QString simplifiedText(const QString &text)
{
    return text.simplified();
}

quint64 bit(int index)
{
    return quint64(1) << index;
}

} // namespace

ModuleCore::ModuleCore() : m_clock([] { return qint64(0); })
{
    m_network = {
        192, 168, 1, 80,     // module IP
        255, 255, 255, 0,    // subnet mask
        192, 168, 1, 1,      // gateway
        8080,                // module port
        192, 168, 1, 100,    // remote IP
        4000,                // remote port
        1,                   // working mode: Client
        0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, // MAC
    };
    m_activeNetwork = m_network;
    setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs"));
}

void ModuleCore::setClock(std::function<qint64()> milliseconds)
{
    m_clock = std::move(milliseconds);
}

// ---------------------------------------------------------------- model

bool ModuleCore::setModel(const QString &menuText)
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    const QString wanted = simplifiedText(menuText);
    for (int i = 0; i < models.size(); ++i) {
        const ModelEntry &row = models.at(i);
        if (menuText == QLatin1String(row.english) || wanted == simplifiedText(QLatin1String(row.english))
            || wanted == simplifiedText(QString::fromUtf8(row.chinese))) {
            applyCatalogueRow(i);
            return true;
        }
    }
    return false;
}

void ModuleCore::applyCatalogueRow(int index)
{
    const ModelEntry &row = ModelCatalogue::models().at(index);
    const bool milliamps = row.currentOutputCount >= 0 || row.currentInputCount >= 0;
    setCounts(qMax(0, row.outputCount), qMax(0, row.inputCount),
              qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount)),
              qMax(0, qMax(row.voltageInputCount, row.currentInputCount)), milliamps);
}

void ModuleCore::setCounts(int outputs, int inputs, int analogOutputs, int analogInputs,
                                bool milliamps)
{
    m_outputs = qBound(0, outputs, kMaxSwitchChannels);
    m_inputs = qBound(0, inputs, kMaxSwitchChannels);
    m_analogOutputs = qBound(0, analogOutputs, kMaxAnalogOutputs);
    m_analogInputs = qBound(0, analogInputs, kMaxAnalogInputs);
    m_milliamps = milliamps;
    m_modelText.clear();
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (const ModelEntry &row : models) {
        if (typeCodeFor(qMax(0, row.outputCount), qMax(0, row.inputCount),
                        qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount)),
                        qMax(0, qMax(row.voltageInputCount, row.currentInputCount)),
                        row.currentOutputCount >= 0 || row.currentInputCount >= 0)
            == typeCodeFor(m_outputs, m_inputs, m_analogOutputs, m_analogInputs, m_milliamps)) {
            m_modelText = QLatin1String(row.english);
            break;
        }
    }
    if (!m_typeCodeSet)
        m_typeCode = typeCodeFor(m_outputs, m_inputs, m_analogOutputs, m_analogInputs, m_milliamps);
    resetState();
}

int ModuleCore::typeCodeFor(int outputs, int inputs, int analogOutputs, int analogInputs,
                                 bool milliamps)
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (int i = 0; i < models.size(); ++i) {
        const ModelEntry &row = models.at(i);
        const bool rowMilliamps = row.currentOutputCount >= 0 || row.currentInputCount >= 0;
        const bool analog = analogOutputs > 0 || analogInputs > 0;
        if (qMax(0, row.outputCount) == outputs && qMax(0, row.inputCount) == inputs
            && qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount)) == analogOutputs
            && qMax(0, qMax(row.voltageInputCount, row.currentInputCount)) == analogInputs
            && (!analog || rowMilliamps == milliamps)) {
            return row.typeCode != 0 ? row.typeCode : kCatalogueTypeCodeBase + i;
        }
    }
    return kCustomTypeCode;
}

void ModuleCore::setAddress(int address)
{
    m_address = qBound(1, address, 247);
}

void ModuleCore::setTypeCode(int code)
{
    m_typeCode = code & 0xFFFF;
    m_typeCodeSet = true;
}

QString ModuleCore::modelDescription() const
{
    if (!m_modelText.isEmpty())
        return m_modelText;
    return QStringLiteral("%1 outputs, %2 inputs, %3 analog outputs, %4 analog inputs (%5)")
        .arg(m_outputs)
        .arg(m_inputs)
        .arg(m_analogOutputs)
        .arg(m_analogInputs)
        .arg(m_milliamps ? QStringLiteral("mA") : QStringLiteral("V"));
}

void ModuleCore::resetState()
{
    m_outputBits = 0;
    m_inputsFixed = false;
    m_inputPattern = 0;
    m_pinnedInputs.clear();
    const quint16 defaultMode = m_milliamps ? kModeMilliamps4to20 : kModeVolts0to10;
    m_analogOutValues = QVector<quint16>(m_analogOutputs, 0);
    m_analogOutMaxima = QVector<quint16>(m_analogOutputs, kDefaultMaximum);
    m_modes = QVector<quint16>(m_analogOutputs + m_analogInputs, defaultMode);
    m_timeoutMs = 0;
    // Watchdog fallback "remain unchanged" for every output until the tool sets it.
    m_orMasks = QVector<quint16>(registersFor(m_outputs), 0x0000);
    m_andMasks = QVector<quint16>(registersFor(m_outputs), 0xFFFF);
}

int ModuleCore::outputRegisters() const
{
    return registersFor(m_outputs);
}

int ModuleCore::inputRegisters() const
{
    return registersFor(m_inputs);
}

bool ModuleCore::hasModeBlock() const
{
    return m_outputs == 0 && m_analogOutputs + m_analogInputs > 0;
}

bool ModuleCore::hasTimeoutBlock() const
{
    return !hasModeBlock() && (m_outputs > 0 || m_inputs > 0);
}

int ModuleCore::timeoutRegisters() const
{
    return hasTimeoutBlock() ? 2 + 2 * outputRegisters() : 0;
}

int ModuleCore::modeRegisters() const
{
    return hasModeBlock() ? m_analogOutputs + m_analogInputs : 0;
}

quint64 ModuleCore::outputMask() const
{
    return m_outputs >= 64 ? ~quint64(0) : (quint64(1) << m_outputs) - 1;
}

quint16 ModuleCore::modeOf(int channel) const
{
    return channel >= 0 && channel < m_modes.size() ? m_modes.at(channel) : 0;
}

// ---------------------------------------------------------------- registers

bool ModuleCore::registerExists(quint16 a) const
{
    if (a < kOutputStates + outputRegisters())
        return true;
    if (a >= kInputStates && a < kInputStates + inputRegisters())
        return true;
    if (a >= kAnalogOutputValues && a < kAnalogOutputValues + m_analogOutputs)
        return true;
    if (a >= kAnalogInputValues && a < kAnalogInputValues + m_analogInputs)
        return true;
    if (a >= kNetworkBlock && a < kNetworkBlock + kNetworkRegisters)
        return true;
    if (a >= kTimeoutBlock && a < kTimeoutBlock + timeoutRegisters())
        return true;
    if (a >= kModeBlock && a < kModeBlock + modeRegisters())
        return true;
    if (a >= kAnalogOutputMaxima && a < kAnalogOutputMaxima + m_analogOutputs)
        return true;
    return a == kRestart;
}

bool ModuleCore::hasRegister(quint16 address) const
{
    return registerExists(address);
}

bool ModuleCore::registerWritable(quint16 a) const
{
    if (!registerExists(a))
        return false;
    const bool inputStates = a >= kInputStates && a < kInputStates + inputRegisters();
    const bool analogInputs = a >= kAnalogInputValues && a < kAnalogInputValues + m_analogInputs;
    return !inputStates && !analogInputs;
}

bool ModuleCore::valueAcceptable(quint16 a, quint16 value) const
{
    if (a >= kModeBlock && a < kModeBlock + modeRegisters())
        return value <= kHighestMode;
    if (a == kRestart)
        return value <= 1;
    if (a >= kNetworkBlock && a < kNetworkBlock + kNetworkRegisters) {
        const int offset = a - kNetworkBlock;
        if (offset == kNetworkModulePort || offset == kNetworkRemotePort)
            return true;
        if (offset == kNetworkWorkingMode)
            return value <= 2;
        return value <= 0xFF; // address octets and MAC bytes sit in the low byte
    }
    return true;
}

quint16 ModuleCore::readRegister(quint16 a) const
{
    if (a < kOutputStates + outputRegisters())
        return quint16(m_outputBits >> (16 * (a - kOutputStates)));
    if (a >= kInputStates && a < kInputStates + inputRegisters())
        return quint16(inputBits() >> (16 * (a - kInputStates)));
    if (a >= kAnalogOutputValues && a < kAnalogOutputValues + m_analogOutputs)
        return quint16(qBound(0, m_analogOutValues.at(a - kAnalogOutputValues)
                                      + m_analogOffsets.value(a - kAnalogOutputValues), 0xFFFF));
    if (a >= kAnalogInputValues && a < kAnalogInputValues + m_analogInputs)
        return analogInputValue(a - kAnalogInputValues);
    if (a >= kNetworkBlock && a < kNetworkBlock + kNetworkRegisters)
        return m_network.at(a - kNetworkBlock);
    if (a >= kTimeoutBlock && a < kTimeoutBlock + timeoutRegisters()) {
        const int offset = a - kTimeoutBlock;
        if (offset == 0)
            return quint16(m_timeoutMs >> 16);
        if (offset == 1)
            return quint16(m_timeoutMs & 0xFFFF);
        const int group = (offset - 2) / 2;
        return (offset % 2 == 0) ? m_orMasks.at(group) : m_andMasks.at(group);
    }
    if (a >= kModeBlock && a < kModeBlock + modeRegisters())
        return m_modes.at(a - kModeBlock);
    if (a >= kAnalogOutputMaxima && a < kAnalogOutputMaxima + m_analogOutputs)
        return m_analogOutMaxima.at(a - kAnalogOutputMaxima);
    return 0;
}

void ModuleCore::writeRegister(quint16 a, quint16 value, Result *outcome)
{
    if (a < kOutputStates + outputRegisters()) {
        const int shift = 16 * (a - kOutputStates);
        driveOutputs((m_outputBits & ~(quint64(0xFFFF) << shift)) | quint64(value) << shift);
    } else if (a >= kAnalogOutputValues && a < kAnalogOutputValues + m_analogOutputs) {
        m_analogOutValues[a - kAnalogOutputValues] = value;
    } else if (a >= kNetworkBlock && a < kNetworkBlock + kNetworkRegisters) {
        m_network[a - kNetworkBlock] = value;
    } else if (a >= kTimeoutBlock && a < kTimeoutBlock + timeoutRegisters()) {
        const int offset = a - kTimeoutBlock;
        if (offset == 0)
            m_timeoutMs = (m_timeoutMs & 0x0000FFFFu) | (quint32(value) << 16);
        else if (offset == 1)
            m_timeoutMs = (m_timeoutMs & 0xFFFF0000u) | value;
        else if (offset % 2 == 0)
            m_orMasks[(offset - 2) / 2] = value;
        else
            m_andMasks[(offset - 2) / 2] = value;
    } else if (a >= kModeBlock && a < kModeBlock + modeRegisters()) {
        m_modes[a - kModeBlock] = value;
    } else if (a >= kAnalogOutputMaxima && a < kAnalogOutputMaxima + m_analogOutputs) {
        m_analogOutMaxima[a - kAnalogOutputMaxima] = value;
    } else if (a == kRestart && value == kRestartValue && outcome) {
        outcome->restart = true;
    }
}

quint16 ModuleCore::holdingRegister(quint16 address) const
{
    return registerExists(address) ? readRegister(address) : 0;
}

void ModuleCore::setHoldingRegister(quint16 a, quint16 value)
{
    if (a >= kInputStates && a < kInputStates + inputRegisters()) {
        quint64 bits = inputBits();
        const int shift = 16 * (a - kInputStates);
        bits &= ~(quint64(0xFFFF) << shift);
        bits |= quint64(value) << shift;
        setInputPattern(bits);
    } else if (a >= kAnalogInputValues && a < kAnalogInputValues + m_analogInputs) {
        setAnalogInputValue(a - kAnalogInputValues, value);
    } else if (a != kRestart && registerExists(a)) {
        const quint64 stuck = m_stuckOutputs;
        m_stuckOutputs = 0; // the hand on the relay
        writeRegister(a, value, nullptr);
        m_stuckOutputs = stuck;
    }
}

bool ModuleCore::coil(int index) const
{
    return index >= 0 && index < m_outputs && (m_outputBits >> index) & 1;
}

void ModuleCore::setCoil(int index, bool on)
{
    if (index < 0 || index >= m_outputs)
        return;
    if (on)
        m_outputBits |= bit(index);
    else
        m_outputBits &= ~bit(index);
}

void ModuleCore::driveOutputs(quint64 bits)
{
    m_outputBits = ((bits & ~m_stuckOutputs) | (m_outputBits & m_stuckOutputs)) & outputMask();
}

quint64 ModuleCore::inputBits() const
{
    if (m_inputs <= 0)
        return 0;
    const quint64 mask = m_inputs >= 64 ? ~quint64(0) : (quint64(1) << m_inputs) - 1;
    const quint64 bits = m_inputsFixed ? m_inputPattern : bit(int((m_clock() / kInputStepMs) % m_inputs));
    return (bits | m_stuckInputs) & mask;
}

void ModuleCore::setInputPattern(quint64 bits)
{
    m_inputsFixed = true;
    m_inputPattern = bits;
}

void ModuleCore::setWalkingInputs()
{
    m_inputsFixed = false;
}

quint16 ModuleCore::analogInputValue(int channel) const
{
    if (channel < 0 || channel >= m_analogInputs)
        return 0;
    const auto pinned = m_pinnedInputs.constFind(channel);
    if (pinned != m_pinnedInputs.constEnd())
        return pinned.value();
    // The channel's mode sets the range, in thousandths of mA or V.
    int low = 0;
    int high = 10000;
    switch (modeOf(m_analogOutputs + channel)) {
    case 0: low = 4000; high = 20000; break;  // 4~20mA
    case 1: low = 0; high = 20000; break;     // 0~20mA
    case 2: low = 1000; high = 5000; break;   // 1~5V
    case 3: low = 0; high = 5000; break;      // 0~5V
    default: low = 0; high = 10000; break;    // 0~10V
    }
    const double seconds = m_clock() / 1000.0;
    const double phase = 2.0 * M_PI * seconds / kAnalogPeriodS + 0.7 * channel;
    const double value = low + (high - low) * (0.5 + 0.5 * std::sin(phase));
    return quint16(qBound(double(low), std::round(value), double(high)));
}

void ModuleCore::setAnalogInputValue(int channel, quint16 thousandths)
{
    if (channel >= 0 && channel < kMaxAnalogInputs)
        m_pinnedInputs.insert(channel, thousandths);
}

void ModuleCore::unpinAnalogInputs()
{
    m_pinnedInputs.clear();
}

// ---------------------------------------------------------------- requests

QByteArray ModuleCore::exceptionPdu(quint8 function, quint8 code, Result *outcome) const
{
    outcome->exception = code;
    QByteArray reply;
    reply.append(char(function | 0x80));
    reply.append(char(code));
    return reply;
}

QByteArray ModuleCore::processPdu(const QByteArray &pdu, bool broadcast, Result *result)
{
    Result scratch;
    Result *outcome = result ? result : &scratch;
    const QByteArray reply = execute(pdu, broadcast, outcome);
    return broadcast ? QByteArray() : reply;
}

QByteArray ModuleCore::execute(const QByteArray &pdu, bool broadcast, Result *outcome)
{
    if (pdu.isEmpty())
        return {};
    const quint8 function = quint8(pdu.at(0));
    outcome->function = function;
    if (pdu.size() >= 5) {
        outcome->address = u16(pdu, 1);
        outcome->quantity = (function == 0x05 || function == 0x06) ? 1 : u16(pdu, 3);
    }
    QByteArray reply;
    reply.append(char(function));

    switch (function) {
    case 0x01:   // read coils: the outputs
    case 0x02: { // read discrete inputs: the switch inputs
        if (pdu.size() != 5)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        const int start = u16(pdu, 1);
        const int quantity = u16(pdu, 3);
        if (quantity < 1 || quantity > 2000)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        const int count = function == 0x01 ? m_outputs : m_inputs;
        if (start + quantity > count)
            return exceptionPdu(function, kIllegalDataAddress, outcome);
        if (broadcast)
            return {};
        const quint64 bits = (function == 0x01 ? m_outputBits : inputBits()) >> start;
        const int bytes = (quantity + 7) / 8;
        reply.append(char(bytes));
        for (int b = 0; b < bytes; ++b) {
            quint8 byte = 0;
            for (int k = 0; k < 8 && 8 * b + k < quantity; ++k)
                byte |= quint8(((bits >> (8 * b + k)) & 1) << k);
            reply.append(char(byte));
        }
        return reply;
    }
    case 0x03: {
        if (pdu.size() != 5)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        const int start = u16(pdu, 1);
        const int quantity = u16(pdu, 3);
        if (quantity < 1 || quantity > 125)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        for (int a = start; a < start + quantity; ++a) {
            if (a > 0xFFFF || !registerExists(quint16(a)))
                return exceptionPdu(function, kIllegalDataAddress, outcome);
        }
        if (broadcast)
            return {};
        reply.append(char(2 * quantity));
        for (int a = start; a < start + quantity; ++a)
            appendU16(&reply, readRegister(quint16(a)));
        return reply;
    }
    case 0x05: {
        if (pdu.size() != 5)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        const int coilIndex = u16(pdu, 1);
        const quint16 value = u16(pdu, 3);
        if (value != 0xFF00 && value != 0x0000)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        if (coilIndex >= m_outputs)
            return exceptionPdu(function, kIllegalDataAddress, outcome);
        driveOutputs(value == 0xFF00 ? m_outputBits | bit(coilIndex) : m_outputBits & ~bit(coilIndex));
        return pdu;
    }
    case 0x06: {
        if (pdu.size() != 5)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        const quint16 a = u16(pdu, 1);
        const quint16 value = u16(pdu, 3);
        if (!registerWritable(a))
            return exceptionPdu(function, kIllegalDataAddress, outcome);
        if (!valueAcceptable(a, value))
            return exceptionPdu(function, kIllegalDataValue, outcome);
        writeRegister(a, value, outcome);
        return pdu;
    }
    case 0x0F: {
        if (pdu.size() < 6)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        const int start = u16(pdu, 1);
        const int quantity = u16(pdu, 3);
        const int bytes = quint8(pdu.at(5));
        if (quantity < 1 || quantity > 0x7B0 || bytes != (quantity + 7) / 8 || pdu.size() != 6 + bytes)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        if (start + quantity > m_outputs)
            return exceptionPdu(function, kIllegalDataAddress, outcome);
        quint64 bits = m_outputBits;
        for (int k = 0; k < quantity; ++k) {
            if ((quint8(pdu.at(6 + k / 8)) >> (k % 8)) & 1)
                bits |= bit(start + k);
            else
                bits &= ~bit(start + k);
        }
        driveOutputs(bits);
        return pdu.left(5);
    }
    case 0x10: {
        if (pdu.size() < 6)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        const int start = u16(pdu, 1);
        const int quantity = u16(pdu, 3);
        const int bytes = quint8(pdu.at(5));
        if (quantity < 1 || quantity > 123 || bytes != 2 * quantity || pdu.size() != 6 + bytes)
            return exceptionPdu(function, kIllegalDataValue, outcome);
        for (int k = 0; k < quantity; ++k) {
            if (start + k > 0xFFFF || !registerWritable(quint16(start + k)))
                return exceptionPdu(function, kIllegalDataAddress, outcome);
        }
        for (int k = 0; k < quantity; ++k) {
            if (!valueAcceptable(quint16(start + k), u16(pdu, 6 + 2 * k)))
                return exceptionPdu(function, kIllegalDataValue, outcome);
        }
        for (int k = 0; k < quantity; ++k)
            writeRegister(quint16(start + k), u16(pdu, 6 + 2 * k), outcome);
        return pdu.left(5);
    }
    default:
        return exceptionPdu(function, kIllegalFunction, outcome);
    }
}


// ---------------------------------------------------------------- frames

QByteArray ModuleCore::withCrc(const QByteArray &bytes)
{
    return QtTools::withCrc16(bytes);
}

bool ModuleCore::crcOk(const QByteArray &frame)
{
    return frame.size() >= 3 && frame.size() <= 257
        && withCrc(frame.left(frame.size() - 2)) == frame;
}

QByteArray ModuleCore::identificationRequest()
{
    return withCrc(kScanDevice);
}

QByteArray ModuleCore::identificationReply() const
{
    // "ID:", the address, six bytes that the tool does not interpret (here the MAC address
    // in force), the type code, and the CRC of the 13 bytes before it.
    QByteArray reply("ID:");
    appendU16(&reply, quint16(m_address));
    for (int i = 0; i < 6; ++i)
        reply.append(char(m_activeNetwork.at(kNetworkMac + i) & 0xFF));
    appendU16(&reply, quint16(m_typeCode));
    return withCrc(reply);
}

void ModuleCore::setIdentify(bool on)
{
    m_identify = on;
}

ModuleCore::Result ModuleCore::inspect(const QByteArray &frame, Framing framing) const
{
    Result result;
    result.framing = framing;
    QByteArray adu;
    if (framing == Framing::Rtu) {
        if (frame == identificationRequest()) {
            result.kind = Kind::Identification;
        } else if (frame.size() < 4 || !crcOk(frame)) {
            result.why = QStringLiteral("damaged frame");
            return result;
        }
        adu = frame.left(frame.size() - 2);
    } else {
        if (frame.size() < kMbapHeader + 1
            || u16(frame, 4) != frame.size() - kMbapHeader) {
            result.why = QStringLiteral("damaged frame");
            return result;
        }
        result.transaction = u16(frame, 0);
        if (u16(frame, 2) != 0) {
            result.why = QStringLiteral("protocol id %1 is not Modbus").arg(u16(frame, 2));
            return result;
        }
        adu = frame.mid(kMbapHeader);
        // The tool's terminal sends it behind a header, with or without the CRC.
        if (adu == kScanDevice || adu == identificationRequest())
            result.kind = Kind::Identification;
    }
    if (result.kind == Kind::Identification) {
        if (!m_identify) {
            result.kind = Kind::Ignored;
            result.why = QStringLiteral("identification not answered");
        }
        return result;
    }
    result.unit = quint8(adu.at(0));
    result.pdu = adu.mid(1);
    if (result.pdu.isEmpty()) {
        result.why = QStringLiteral("empty request");
        return result;
    }
    result.function = quint8(result.pdu.at(0));
    if (result.pdu.size() >= 5) {
        result.address = u16(result.pdu, 1);
        result.quantity = (result.function == 0x05 || result.function == 0x06) ? 1 : u16(result.pdu, 3);
    }
    // On TCP unit 0 and 0xFF mean "the device at the other end"; on RTU 0 is a broadcast.
    if (framing == Framing::Rtu && result.unit == 0)
        result.kind = Kind::Broadcast;
    else if (result.unit == m_address || (framing == Framing::Tcp && (result.unit == 0 || result.unit == 0xFF)))
        result.kind = Kind::Reply;
    else
        result.kind = Kind::NotForThisModule;
    return result;
}

ModuleCore::Result ModuleCore::handle(const QByteArray &frame, Framing framing)
{
    Result result = inspect(frame, framing);
    switch (result.kind) {
    case Kind::Identification:
        result.reply = framing == Framing::Rtu ? identificationReply() : this->frame(result, identificationReply());
        break;
    case Kind::Broadcast:
        execute(result.pdu, true, &result);
        break;
    case Kind::Reply:
        result.reply = this->frame(result, execute(result.pdu, false, &result));
        break;
    default:
        break;
    }
    return result;
}

QByteArray ModuleCore::exceptionReply(const Result &request, quint8 code) const
{
    Result scratch;
    return frame(request, exceptionPdu(quint8(request.function), code, &scratch));
}

QByteArray ModuleCore::frame(const Result &request, const QByteArray &pdu) const
{
    if (request.kind == Kind::Identification && request.framing == Framing::Rtu)
        return pdu;
    QByteArray adu;
    if (request.kind != Kind::Identification)
        adu.append(char(request.unit));
    adu.append(pdu);
    if (request.framing == Framing::Rtu)
        return withCrc(adu);
    QByteArray tcp;
    appendU16(&tcp, quint16(request.transaction));
    appendU16(&tcp, 0);
    appendU16(&tcp, quint16(adu.size()));
    return tcp + adu;
}

// ---------------------------------------------------------------- restart, watchdog, faults

void ModuleCore::restart()
{
    m_activeNetwork = m_network;
    driveOutputs(0); // the relays drop while the module boots
}

quint32 ModuleCore::watchdogTimeoutMs() const
{
    return hasTimeoutBlock() ? m_timeoutMs : 0;
}

void ModuleCore::watchdogExpired()
{
    quint64 bits = m_outputBits;
    for (int i = 0; i < m_outputs; ++i) {
        const int group = i / 16;
        if ((m_orMasks.at(group) >> (i % 16)) & 1)
            bits |= bit(i);
        else if (!((m_andMasks.at(group) >> (i % 16)) & 1))
            bits &= ~bit(i);
    }
    driveOutputs(bits);
}

void ModuleCore::setStuckOutput(int channel)
{
    if (channel >= 0 && channel < kMaxSwitchChannels)
        m_stuckOutputs |= bit(channel);
}

void ModuleCore::setStuckInput(int channel)
{
    if (channel >= 0 && channel < kMaxSwitchChannels)
        m_stuckInputs |= bit(channel);
}

void ModuleCore::setAnalogOffset(int channel, int counts)
{
    if (channel >= 0 && channel < kMaxAnalogOutputs)
        m_analogOffsets.insert(channel, counts);
}

void ModuleCore::clearModuleFaults()
{
    m_stuckOutputs = 0;
    m_stuckInputs = 0;
    m_analogOffsets.clear();
}
