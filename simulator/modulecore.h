#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <functional>

// One Merovi I/O module without transports or timers: its register map, its coils and
// inputs, its network block, its identification, and the module faults a real unit can
// have. A request frame goes in (RTU with its CRC, or a whole Modbus TCP frame), the
// reply frame comes out. Time comes from a clock function (default: always 0).
//
// Register map (holding registers; which blocks exist follows the model):
//   0x0000 + w   output states, 16 outputs per register, kept in step with the coils
//   0x0004 + w   input states (read only), a walking bit (one step per second) unless fixed
//   0x0009 + c   analog output values
//   0x0020 + c   analog input values in thousandths (read only), following the channel's mode
//   0x2710       25-register network block; the written block takes effect at restart
//   0x7530       switch modules: watchdog timeout (hi, lo) + OR/AND mask per 16 outputs
//   0x7530 + c   analog modules: channel modes (outputs first, then inputs), 0..4
//   0x7594 + c   analog output maxima
//   0xFDE8       restart: writing 1 restarts the module (reads as 0)
// Function codes: 01, 02, 03, 05, 06, 0F, 10 and the identification request
// "ScanDevice" + CRC. Anything else is answered with exception 01.
class ModuleCore
{
public:
    enum class Framing { Rtu, Tcp };
    enum class Kind {
        Reply,            // answered (reply holds a normal or an exception reply)
        Identification,   // answered with the identification reply
        Broadcast,        // RTU unit 0: executed, no answer
        NotForThisModule, // another unit address: no answer
        Ignored,          // not a request the module answers (see why)
    };
    struct Result {
        Kind kind = Kind::Ignored;
        Framing framing = Framing::Rtu;
        QByteArray reply;      // the frame to send; empty: none
        QByteArray pdu;        // the request PDU (function code + data)
        int unit = 0;
        int transaction = 0;   // Modbus TCP transaction identifier
        int function = 0;
        int address = 0;
        int quantity = 0;
        int exception = 0;     // exception code of the reply, 0 for none
        bool restart = false;  // the module restarts once the reply is out
        QString why;           // for Ignored
    };

    ModuleCore();

    // Model. English catalogue text ("Switch 32-channel outputs 16-channel inputs"; runs of
    // blanks need not match, the Chinese text works too); false if unknown.
    bool setModel(const QString &menuText);
    // Explicit counts; 0 or less means the kind is absent. Analog channels are volts
    // unless milliamps is set. Resets the module's state.
    void setCounts(int outputs, int inputs, int analogOutputs, int analogInputs, bool milliamps);
    void setAddress(int address); // 1..247, default 1
    void setTypeCode(int code);   // default: the model's code (see typeCodeFor)
    int address() const { return m_address; }
    int typeCode() const { return m_typeCode; }
    int outputCount() const { return m_outputs; }
    int inputCount() const { return m_inputs; }
    int analogOutputCount() const { return m_analogOutputs; }
    int analogInputCount() const { return m_analogInputs; }
    bool milliamps() const { return m_milliamps; }
    QString modelDescription() const;
    // 220 for 64 outputs, 230 for 64 inputs, 100 + catalogue index for the other catalogue
    // models, 199 for counts that match no catalogue row.
    static int typeCodeFor(int outputs, int inputs, int analogOutputs, int analogInputs,
                           bool milliamps);
    void setClock(std::function<qint64()> milliseconds);

    // Requests.
    // What the frame is, without executing it (kind, unit, function, address, quantity).
    Result inspect(const QByteArray &frame, Framing framing) const;
    // Executes the request and builds the reply. A restart is left to the caller (restart()).
    Result handle(const QByteArray &frame, Framing framing);
    // The reply frame for a request that is answered with this exception instead.
    QByteArray exceptionReply(const Result &request, quint8 code) const;
    // The PDU alone: the reply PDU, empty for a broadcast.
    QByteArray processPdu(const QByteArray &pdu, bool broadcast, Result *result = nullptr);
    void setIdentify(bool on); // answer the identification request (default on)
    bool identifies() const { return m_identify; }
    QByteArray identificationReply() const; // the 15 bytes
    static QByteArray identificationRequest(); // "ScanDevice" + CRC
    static QByteArray withCrc(const QByteArray &bytes); // the RTU CRC appended, as on the wire
    static bool crcOk(const QByteArray &frame);

    // Module state.
    quint16 holdingRegister(quint16 address) const; // 0 where the model has no register
    bool hasRegister(quint16 address) const;
    // Sets a register as the module itself would ("behind the tool's back"): input states
    // fix the input pattern, analog inputs pin the channel, the restart register is ignored.
    void setHoldingRegister(quint16 address, quint16 value);
    bool coil(int index) const;
    void setCoil(int index, bool on); // also a stuck output: the hand on the relay
    quint64 outputBits() const { return m_outputBits; }
    quint64 inputBits() const;        // as the module reads them now
    void setInputPattern(quint64 bits);
    void setWalkingInputs();
    quint16 analogInputValue(int channel) const;
    void setAnalogInputValue(int channel, quint16 thousandths); // pins a channel
    void unpinAnalogInputs();
    QVector<quint16> networkBlock() const { return m_network; }
    QVector<quint16> activeNetworkBlock() const { return m_activeNetwork; }
    // What a restart does to the registers: the written network block comes into force
    // and the relays drop.
    void restart();

    // Watchdog: the timeout in force (0 = off) and what happens when it runs out.
    quint32 watchdogTimeoutMs() const;
    void watchdogExpired();

    // Module faults; channels count from 0 here (coil / input / analog output index).
    void setStuckOutput(int channel);  // ignores writes: coil and state register keep its bit
    void setStuckInput(int channel);   // reads 1 always
    void setAnalogOffset(int channel, int counts); // value register reads back value + counts
    void clearModuleFaults();

private:
    QByteArray execute(const QByteArray &pdu, bool broadcast, Result *result);
    QByteArray exceptionPdu(quint8 function, quint8 code, Result *result) const;
    QByteArray frame(const Result &request, const QByteArray &pdu) const;
    bool registerExists(quint16 address) const;
    bool registerWritable(quint16 address) const;
    bool valueAcceptable(quint16 address, quint16 value) const;
    quint16 readRegister(quint16 address) const;
    void writeRegister(quint16 address, quint16 value, Result *result);
    void driveOutputs(quint64 bits); // every change of the relays but the hand's
    int outputRegisters() const;
    int inputRegisters() const;
    int timeoutRegisters() const;
    int modeRegisters() const;
    bool hasTimeoutBlock() const;
    bool hasModeBlock() const;
    quint64 outputMask() const;
    quint16 modeOf(int channel) const;
    void resetState();
    void applyCatalogueRow(int index);

    int m_outputs = 0;
    int m_inputs = 0;
    int m_analogOutputs = 0;
    int m_analogInputs = 0;
    bool m_milliamps = false;
    int m_address = 1;
    int m_typeCode = 199;
    bool m_typeCodeSet = false;
    bool m_identify = true;
    QString m_modelText;
    std::function<qint64()> m_clock;

    quint64 m_outputBits = 0;
    bool m_inputsFixed = false;
    quint64 m_inputPattern = 0;
    QVector<quint16> m_analogOutValues;
    QVector<quint16> m_analogOutMaxima;
    QVector<quint16> m_modes; // analog outputs, then analog inputs
    QHash<int, quint16> m_pinnedInputs;
    quint32 m_timeoutMs = 0;
    QVector<quint16> m_orMasks;
    QVector<quint16> m_andMasks;
    QVector<quint16> m_network;
    QVector<quint16> m_activeNetwork;

    quint64 m_stuckOutputs = 0;
    quint64 m_stuckInputs = 0;
    QHash<int, int> m_analogOffsets;
};
