#include "simulator/modulesimulator.h"

#include "simulator/simcrc.h"
#include "simulator/simlinks.h"
#include "link/modelcatalogue.h"

#include <QDateTime>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <climits>
#include <cmath>
#include <cstdio>

using MeroviSim::Endpoint;
using MeroviSim::PtyLink;
using MeroviSim::TcpLink;

namespace {

// Register blocks.
constexpr quint16 kOutputStates = 0x0000;
constexpr quint16 kInputStates = 0x0004;
constexpr quint16 kAnalogOutputValues = 0x0009;
constexpr quint16 kAnalogInputValues = 0x0020;
constexpr quint16 kNetworkBlock = 0x2710;
constexpr int kNetworkRegisters = 25;
constexpr quint16 kTimeoutBlock = 0x7530; // switch modules
constexpr quint16 kModeBlock = 0x7530;    // analog modules
constexpr quint16 kAnalogOutputMaxima = 0x7594;
constexpr quint16 kRestart = 0xFDE8;

// Network block offsets.
constexpr int kModulePort = 12;
constexpr int kRemotePort = 17;
constexpr int kWorkingMode = 18;
constexpr int kMac = 19;

// Limits that keep the blocks apart.
constexpr int kMaxSwitchChannels = 64;
constexpr int kMaxAnalogOutputs = 23; // 0x0009 + 23 = 0x0020
constexpr int kMaxAnalogInputs = 64;

constexpr quint16 kDefaultMaximum = 0x0FFF; // a 12-bit converter
constexpr quint16 kModeMilliamps4to20 = 0;
constexpr quint16 kModeVolts0to10 = 4;
constexpr quint16 kHighestMode = 4;
constexpr int kInputStepMs = 1000;     // the walking input moves once a second
constexpr double kAnalogPeriodS = 30.0; // one slow swing of an analog input

constexpr int kCustomTypeCode = 199;
constexpr int kCatalogueTypeCodeBase = 100;
constexpr quint32 kDefaultSeed = 0x4D45524F;

// Modbus exception codes.
constexpr quint8 kIllegalFunction = 0x01;
constexpr quint8 kIllegalDataAddress = 0x02;
constexpr quint8 kIllegalDataValue = 0x03;

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

QString exceptionName(int code)
{
    switch (code) {
    case kIllegalFunction: return QStringLiteral("illegal function");
    case kIllegalDataAddress: return QStringLiteral("illegal data address");
    case kIllegalDataValue: return QStringLiteral("illegal data value");
    default: return QStringLiteral("exception");
    }
}

// "fc 03 addr 0x0000 qty 2" for the log, from the request alone.
QString describeRequest(const QByteArray &pdu)
{
    if (pdu.isEmpty())
        return QStringLiteral("empty request");
    const quint8 function = quint8(pdu.at(0));
    QString text = QStringLiteral("fc %1").arg(function, 2, 16, QLatin1Char('0'));
    if (pdu.size() >= 5 && function <= 0x10) {
        text += QStringLiteral(" addr 0x%1").arg(u16(pdu, 1), 4, 16, QLatin1Char('0'));
        if (function == 0x05 || function == 0x06)
            text += QStringLiteral(" qty 1 value 0x%1").arg(u16(pdu, 3), 4, 16, QLatin1Char('0'));
        else
            text += QStringLiteral(" qty %1").arg(u16(pdu, 3));
    }
    return text;
}

QString simplifiedText(const QString &text)
{
    return text.simplified();
}

} // namespace

ModuleSimulator::ModuleSimulator(QObject *parent) : QObject(parent), m_random(kDefaultSeed)
{
    m_clock.start();
    m_watchdog = new QTimer(this);
    m_watchdog->setSingleShot(true);
    m_watchdog->setTimerType(Qt::PreciseTimer);
    connect(m_watchdog, &QTimer::timeout, this, &ModuleSimulator::fireWatchdog);

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

ModuleSimulator::~ModuleSimulator()
{
    // Every link, also one that is closing or waiting for deleteLater, goes before the
    // members it reports to.
    m_tcpLinks.clear();
    const QList<TcpLink *> links = findChildren<TcpLink *>(QString(), Qt::FindDirectChildrenOnly);
    for (TcpLink *link : links) {
        link->socket()->disconnect(this);
        delete link;
    }
    delete m_pty;
    m_pty = nullptr;
}

// ---------------------------------------------------------------- model

bool ModuleSimulator::setModel(const QString &menuText)
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

void ModuleSimulator::applyCatalogueRow(int index)
{
    const ModelEntry &row = ModelCatalogue::models().at(index);
    const bool milliamps = row.currentOutputCount >= 0 || row.currentInputCount >= 0;
    setCounts(qMax(0, row.outputCount), qMax(0, row.inputCount),
              qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount)),
              qMax(0, qMax(row.voltageInputCount, row.currentInputCount)), milliamps);
}

void ModuleSimulator::setCounts(int outputs, int inputs, int analogOutputs, int analogInputs,
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

int ModuleSimulator::typeCodeFor(int outputs, int inputs, int analogOutputs, int analogInputs,
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

void ModuleSimulator::setAddress(int address)
{
    m_address = qBound(1, address, 247);
}

void ModuleSimulator::setTypeCode(int code)
{
    m_typeCode = code & 0xFFFF;
    m_typeCodeSet = true;
}

QString ModuleSimulator::modelDescription() const
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

void ModuleSimulator::resetState()
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
    m_watchdog->stop();
}

int ModuleSimulator::outputRegisters() const
{
    return registersFor(m_outputs);
}

int ModuleSimulator::inputRegisters() const
{
    return registersFor(m_inputs);
}

bool ModuleSimulator::hasModeBlock() const
{
    return m_outputs == 0 && m_analogOutputs + m_analogInputs > 0;
}

bool ModuleSimulator::hasTimeoutBlock() const
{
    return !hasModeBlock() && (m_outputs > 0 || m_inputs > 0);
}

int ModuleSimulator::timeoutRegisters() const
{
    return hasTimeoutBlock() ? 2 + 2 * outputRegisters() : 0;
}

int ModuleSimulator::modeRegisters() const
{
    return hasModeBlock() ? m_analogOutputs + m_analogInputs : 0;
}

quint64 ModuleSimulator::outputMask() const
{
    return m_outputs >= 64 ? ~quint64(0) : (quint64(1) << m_outputs) - 1;
}

quint16 ModuleSimulator::modeOf(int channel) const
{
    return channel >= 0 && channel < m_modes.size() ? m_modes.at(channel) : 0;
}

// ---------------------------------------------------------------- registers

bool ModuleSimulator::registerExists(quint16 a) const
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

bool ModuleSimulator::hasRegister(quint16 address) const
{
    return registerExists(address);
}

bool ModuleSimulator::registerWritable(quint16 a) const
{
    if (!registerExists(a))
        return false;
    const bool inputStates = a >= kInputStates && a < kInputStates + inputRegisters();
    const bool analogInputs = a >= kAnalogInputValues && a < kAnalogInputValues + m_analogInputs;
    return !inputStates && !analogInputs;
}

bool ModuleSimulator::valueAcceptable(quint16 a, quint16 value) const
{
    if (a >= kModeBlock && a < kModeBlock + modeRegisters())
        return value <= kHighestMode;
    if (a == kRestart)
        return value <= 1;
    if (a >= kNetworkBlock && a < kNetworkBlock + kNetworkRegisters) {
        const int offset = a - kNetworkBlock;
        if (offset == kModulePort || offset == kRemotePort)
            return true;
        if (offset == kWorkingMode)
            return value <= 2;
        return value <= 0xFF; // address octets and MAC bytes sit in the low byte
    }
    return true;
}

quint16 ModuleSimulator::readRegister(quint16 a) const
{
    if (a < kOutputStates + outputRegisters())
        return quint16(m_outputBits >> (16 * (a - kOutputStates)));
    if (a >= kInputStates && a < kInputStates + inputRegisters())
        return quint16(inputBits() >> (16 * (a - kInputStates)));
    if (a >= kAnalogOutputValues && a < kAnalogOutputValues + m_analogOutputs)
        return m_analogOutValues.at(a - kAnalogOutputValues);
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

void ModuleSimulator::writeRegister(quint16 a, quint16 value, Outcome *outcome)
{
    if (a < kOutputStates + outputRegisters()) {
        const int shift = 16 * (a - kOutputStates);
        m_outputBits &= ~(quint64(0xFFFF) << shift);
        m_outputBits |= quint64(value) << shift;
        m_outputBits &= outputMask();
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
    } else if (a == kRestart && value == 1 && outcome) {
        outcome->restart = true;
    }
}

quint16 ModuleSimulator::holdingRegister(quint16 address) const
{
    return registerExists(address) ? readRegister(address) : 0;
}

void ModuleSimulator::setHoldingRegister(quint16 a, quint16 value)
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
        writeRegister(a, value, nullptr);
        feedWatchdog();
    }
}

bool ModuleSimulator::coil(int index) const
{
    return index >= 0 && index < m_outputs && (m_outputBits >> index) & 1;
}

void ModuleSimulator::setCoil(int index, bool on)
{
    if (index < 0 || index >= m_outputs)
        return;
    if (on)
        m_outputBits |= quint64(1) << index;
    else
        m_outputBits &= ~(quint64(1) << index);
}

quint64 ModuleSimulator::inputBits() const
{
    if (m_inputs <= 0)
        return 0;
    const quint64 mask = m_inputs >= 64 ? ~quint64(0) : (quint64(1) << m_inputs) - 1;
    if (m_inputsFixed)
        return m_inputPattern & mask;
    const qint64 step = m_clock.elapsed() / kInputStepMs;
    return quint64(1) << (step % m_inputs);
}

void ModuleSimulator::setInputPattern(quint64 bits)
{
    m_inputsFixed = true;
    m_inputPattern = bits;
}

void ModuleSimulator::setWalkingInputs()
{
    m_inputsFixed = false;
}

quint16 ModuleSimulator::analogInputValue(int channel) const
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
    const double seconds = m_clock.elapsed() / 1000.0;
    const double phase = 2.0 * M_PI * seconds / kAnalogPeriodS + 0.7 * channel;
    const double value = low + (high - low) * (0.5 + 0.5 * std::sin(phase));
    return quint16(qBound(double(low), std::round(value), double(high)));
}

void ModuleSimulator::setAnalogInputValue(int channel, quint16 thousandths)
{
    if (channel >= 0 && channel < kMaxAnalogInputs)
        m_pinnedInputs.insert(channel, thousandths);
}

void ModuleSimulator::unpinAnalogInputs()
{
    m_pinnedInputs.clear();
}

// ---------------------------------------------------------------- requests

QByteArray ModuleSimulator::exceptionPdu(quint8 function, quint8 code, Outcome *outcome) const
{
    outcome->exception = code;
    QByteArray reply;
    reply.append(char(function | 0x80));
    reply.append(char(code));
    return reply;
}

QByteArray ModuleSimulator::processPdu(const QByteArray &pdu, bool broadcast)
{
    Outcome outcome;
    const QByteArray reply = execute(pdu, broadcast, &outcome);
    feedWatchdog();
    if (outcome.restart)
        doRestart();
    return broadcast ? QByteArray() : reply;
}

QByteArray ModuleSimulator::execute(const QByteArray &pdu, bool broadcast, Outcome *outcome)
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
        setCoil(coilIndex, value == 0xFF00);
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
        for (int k = 0; k < quantity; ++k)
            setCoil(start + k, (quint8(pdu.at(6 + k / 8)) >> (k % 8)) & 1);
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

// ---------------------------------------------------------------- watchdog and restart

void ModuleSimulator::feedWatchdog()
{
    if (hasTimeoutBlock() && m_timeoutMs > 0)
        m_watchdog->start(int(qMin<quint32>(m_timeoutMs, INT_MAX)));
    else
        m_watchdog->stop();
}

void ModuleSimulator::fireWatchdog()
{
    const quint64 before = m_outputBits;
    for (int i = 0; i < m_outputs; ++i) {
        const int group = i / 16;
        const int bit = i % 16;
        if ((m_orMasks.at(group) >> bit) & 1)
            setCoil(i, true);
        else if (!((m_andMasks.at(group) >> bit) & 1))
            setCoil(i, false);
    }
    logLine(QStringLiteral("watchdog: no valid request for %1 ms, outputs %2 -> %3")
                .arg(m_timeoutMs)
                .arg(before, 0, 16)
                .arg(m_outputBits, 0, 16));
    emit watchdogFired();
}

void ModuleSimulator::restart()
{
    doRestart();
}

void ModuleSimulator::doRestart()
{
    m_activeNetwork = m_network;
    m_outputBits = 0; // the relays drop while the module boots
    closeTcpClients();
    m_restartClock.start();
    feedWatchdog();
    const auto octets = [this](int at) {
        return QStringLiteral("%1.%2.%3.%4")
            .arg(m_activeNetwork.at(at))
            .arg(m_activeNetwork.at(at + 1))
            .arg(m_activeNetwork.at(at + 2))
            .arg(m_activeNetwork.at(at + 3));
    };
    logLine(QStringLiteral("restart: network block applied (IP %1 port %2, remote %3:%4, mode %5; "
                           "data only, the simulator still listens on 127.0.0.1)")
                .arg(octets(0))
                .arg(m_activeNetwork.at(kModulePort))
                .arg(octets(13))
                .arg(m_activeNetwork.at(kRemotePort))
                .arg(m_activeNetwork.at(kWorkingMode)));
    emit restarted();
}

bool ModuleSimulator::restarting() const
{
    return m_restartDelayMs > 0 && m_restartClock.isValid()
        && m_restartClock.elapsed() < m_restartDelayMs;
}

// ---------------------------------------------------------------- identification

QByteArray ModuleSimulator::identificationReply() const
{
    // "ID:", the address, six bytes that the tool does not interpret (here the MAC address
    // in force), the type code, and the CRC of the 13 bytes before it.
    QByteArray reply("ID:");
    appendU16(&reply, quint16(m_address));
    for (int i = 0; i < 6; ++i)
        reply.append(char(m_activeNetwork.at(kMac + i) & 0xFF));
    appendU16(&reply, quint16(m_typeCode));
    return SimCrc::withCrc(reply);
}

void ModuleSimulator::announce()
{
    const QByteArray reply = identificationReply();
    if (m_pty && m_pty->peerPresent())
        m_pty->enqueue(reply, 0, false, 0);
    for (TcpLink *link : qAsConst(m_tcpLinks))
        link->enqueue(frameFor(link, 0, reply), 0, false, 0);
    logLine(QStringLiteral("announce: identification reply %1")
                .arg(QString::fromLatin1(reply.toHex(' '))));
}

void ModuleSimulator::identify(Endpoint *link, quint16 transaction)
{
    const QString request = QStringLiteral("%1 ScanDevice").arg(link->name());
    if (restarting()) {
        logLine(request + QStringLiteral(" -> no answer (restarting)"));
        return;
    }
    if (faultDrop()) {
        logLine(request + QStringLiteral(" -> dropped (fault injection)"));
        return;
    }
    feedWatchdog();
    ++m_requestCount;
    emit requestHandled(0, 0, 0, false);
    QByteArray frame = frameFor(link, transaction, identificationReply());
    const QString faults = applyFaults(link, &frame);
    logLine(request + QStringLiteral(" -> ") + QString::fromLatin1(frame.toHex(' ')) + faults);
    link->enqueue(frame, m_delayMs, m_split, m_random.generate());
}

// ---------------------------------------------------------------- transports

QByteArray ModuleSimulator::frameFor(Endpoint *link, quint16 transaction, const QByteArray &adu) const
{
    if (link->kind() == Endpoint::Kind::Rtu) {
        // The identification reply carries its own CRC already.
        if (adu.startsWith("ID:"))
            return adu;
        return SimCrc::withCrc(adu);
    }
    QByteArray frame;
    appendU16(&frame, transaction);
    appendU16(&frame, 0);
    appendU16(&frame, quint16(adu.size()));
    frame.append(adu);
    return frame;
}

bool ModuleSimulator::faultDrop()
{
    return m_dropPercent > 0 && int(m_random.bounded(100)) < m_dropPercent;
}

QString ModuleSimulator::applyFaults(Endpoint *link, QByteArray *frame)
{
    QString notes;
    if (m_corruptPercent > 0 && int(m_random.bounded(100)) < m_corruptPercent) {
        if (link->kind() == Endpoint::Kind::Rtu) {
            (*frame)[frame->size() - 1] = char(frame->at(frame->size() - 1) ^ 0xFF);
            (*frame)[frame->size() - 2] = char(frame->at(frame->size() - 2) ^ 0x5A);
            notes += QStringLiteral(" [CRC corrupted]");
        } else {
            (*frame)[3] = char(frame->at(3) ^ 0x01); // protocol identifier no longer 0
            notes += QStringLiteral(" [protocol id corrupted]");
        }
    }
    if (m_garbagePercent > 0 && int(m_random.bounded(100)) < m_garbagePercent) {
        QByteArray garbage;
        const int count = int(m_random.bounded(1, 7));
        for (int i = 0; i < count; ++i)
            garbage.append(char(m_random.bounded(256)));
        const bool before = m_random.bounded(2) == 0;
        if (before)
            frame->prepend(garbage);
        else
            frame->append(garbage);
        notes += QStringLiteral(" [garbage %1 %2]")
                     .arg(before ? QStringLiteral("before:") : QStringLiteral("after:"))
                     .arg(QString::fromLatin1(garbage.toHex(' ')));
    }
    if (m_delayMs > 0)
        notes += QStringLiteral(" [delay %1 ms]").arg(m_delayMs);
    if (m_split)
        notes += QStringLiteral(" [split]");
    return notes;
}

void ModuleSimulator::rtuFrame(Endpoint *link, const QByteArray &frame)
{
    if (frame == SimCrc::withCrc(kScanDevice)) {
        identify(link, 0);
        return;
    }
    const quint8 unit = quint8(frame.at(0));
    const QByteArray pdu = frame.mid(1, frame.size() - 3);
    if (unit != 0 && unit != m_address) {
        logLine(QStringLiteral("%1 unit %2 %3 -> not for this module (unit %4), no answer")
                    .arg(link->name())
                    .arg(unit)
                    .arg(describeRequest(pdu))
                    .arg(m_address));
        return;
    }
    serve(link, unit, pdu, unit == 0, 0);
}

void ModuleSimulator::tcpFrame(TcpLink *link, quint16 transaction, const QByteArray &adu)
{
    if (adu == kScanDevice || adu == SimCrc::withCrc(kScanDevice)) {
        identify(link, transaction);
        return;
    }
    ++link->requests;
    const quint8 unit = quint8(adu.at(0));
    const QByteArray pdu = adu.mid(1);
    if (unit != m_address && unit != 0 && unit != 0xFF) {
        logLine(QStringLiteral("%1 unit %2 %3 -> not for this module (unit %4), no answer")
                    .arg(link->name())
                    .arg(unit)
                    .arg(describeRequest(pdu))
                    .arg(m_address));
    } else {
        // On TCP unit 0 and 0xFF mean "the device at the other end": answered.
        serve(link, unit, pdu, false, transaction);
    }
    if (m_disconnectAfter > 0 && link->requests >= m_disconnectAfter && !link->closing()) {
        logLine(QStringLiteral("%1 closed after %2 requests (fault injection)")
                    .arg(link->name())
                    .arg(link->requests));
        link->closeAfterWrites();
    }
}

void ModuleSimulator::serve(Endpoint *link, quint8 unit, const QByteArray &pdu, bool broadcast,
                            quint16 transaction)
{
    const QString request = QStringLiteral("%1 %2").arg(link->name(), describeRequest(pdu));
    if (pdu.isEmpty()) {
        logLine(request + QStringLiteral(" -> ignored"));
        return;
    }
    if (restarting()) {
        logLine(request + QStringLiteral(" -> no answer (restarting)"));
        return;
    }
    if (faultDrop()) {
        logLine(request + QStringLiteral(" -> dropped (fault injection)"));
        return;
    }
    Outcome outcome;
    const QByteArray reply = execute(pdu, broadcast, &outcome);
    feedWatchdog();
    if (broadcast) {
        logLine(request + QStringLiteral(" -> broadcast, no answer"));
        if (outcome.restart)
            doRestart();
        return;
    }
    ++m_requestCount;
    emit requestHandled(outcome.function, outcome.address, outcome.quantity, outcome.exception != 0);

    QByteArray adu;
    adu.append(char(unit));
    adu.append(reply);
    QByteArray frame = frameFor(link, transaction, adu);
    const QString faults = applyFaults(link, &frame);
    QString result = outcome.exception
        ? QStringLiteral("exception %1 (%2): ")
              .arg(outcome.exception, 2, 16, QLatin1Char('0'))
              .arg(exceptionName(outcome.exception))
        : QString();
    logLine(request + QStringLiteral(" -> ") + result + QString::fromLatin1(frame.toHex(' ')) + faults);

    std::function<void()> after;
    if (outcome.restart)
        after = [this] { doRestart(); };
    link->enqueue(frame, m_delayMs, m_split, m_random.generate(), after);
}

bool ModuleSimulator::listenTcp(quint16 port)
{
    if (!m_server) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &ModuleSimulator::acceptTcpClients);
    }
    if (m_server->isListening())
        m_server->close();
    // Loopback only: the simulator is never reachable from, nor talks to, another host.
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 ModuleSimulator::tcpPort() const
{
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

void ModuleSimulator::acceptTcpClients()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *link = new TcpLink(this, socket, m_nextClientId++);
        m_tcpLinks.append(link);
        connect(socket, &QTcpSocket::disconnected, this, [this, link] { tcpClientGone(link); });
        logLine(QStringLiteral("%1 client connected from %2:%3")
                    .arg(link->name(), socket->peerAddress().toString())
                    .arg(socket->peerPort()));
        emit clientConnected();
    }
}

void ModuleSimulator::tcpClientGone(TcpLink *link)
{
    if (!m_tcpLinks.removeOne(link))
        return;
    logLine(QStringLiteral("%1 client disconnected").arg(link->name()));
    link->deleteLater();
    emit clientDisconnected();
}

void ModuleSimulator::closeTcpClients()
{
    for (TcpLink *link : qAsConst(m_tcpLinks))
        link->closeAfterWrites();
}

QString ModuleSimulator::openPty()
{
    if (m_pty)
        return m_pty->slavePath();
    m_pty = new PtyLink(this);
    if (!m_pty->open()) {
        delete m_pty;
        m_pty = nullptr;
        return QString();
    }
    m_pty->setBaudRate(m_baud);
    return m_pty->slavePath();
}

QString ModuleSimulator::ptyPath() const
{
    return m_pty ? m_pty->slavePath() : QString();
}

bool ModuleSimulator::serialLineOpen() const
{
    return m_pty && m_pty->peerPresent();
}

void ModuleSimulator::setBaudRate(int baud)
{
    m_baud = baud;
    if (m_pty)
        m_pty->setBaudRate(baud);
}

void ModuleSimulator::setAnnounceOnOpen(bool on)
{
    m_announceOnOpen = on;
}

void ModuleSimulator::serialOpenedByPeer()
{
    logLine(QStringLiteral("rtu serial line opened by the tool"));
    emit serialLineOpened();
    if (m_announceOnOpen && !m_announced) {
        m_announced = true;
        const QByteArray reply = identificationReply();
        m_pty->enqueue(reply, 0, false, 0);
        logLine(QStringLiteral("rtu announce: identification reply %1")
                    .arg(QString::fromLatin1(reply.toHex(' '))));
    }
}

// ---------------------------------------------------------------- faults and log

void ModuleSimulator::setDropPercent(int percent) { m_dropPercent = qBound(0, percent, 100); }
void ModuleSimulator::setDelayMs(int ms) { m_delayMs = qMax(0, ms); }
void ModuleSimulator::setGarbagePercent(int percent) { m_garbagePercent = qBound(0, percent, 100); }
void ModuleSimulator::setSplit(bool on) { m_split = on; }
void ModuleSimulator::setCorruptCrcPercent(int percent) { m_corruptPercent = qBound(0, percent, 100); }
void ModuleSimulator::setDisconnectAfter(int requests) { m_disconnectAfter = qMax(0, requests); }
void ModuleSimulator::setSeed(quint32 seed) { m_random.seed(seed); }
void ModuleSimulator::setRestartDelayMs(int ms) { m_restartDelayMs = qMax(0, ms); }

void ModuleSimulator::setLogging(bool on)
{
    m_logging = on;
}

void ModuleSimulator::setLogFunction(std::function<void(const QString &)> sink)
{
    m_logSink = std::move(sink);
}

void ModuleSimulator::logLine(const QString &line)
{
    if (!m_logging)
        return;
    const QString text = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line;
    if (m_logSink) {
        m_logSink(text);
    } else {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}
