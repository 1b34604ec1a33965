#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QVector>

#include <functional>

class QTcpServer;
class QTimer;
class QTextStream;

namespace MeroviSim {
class Endpoint;
class PtyLink;
class TcpLink;
}

// Stands in for one Merovi I/O module: its register map, its coils and inputs, its
// watchdog, its network block and restart, served as Modbus TCP on 127.0.0.1 and as
// Modbus RTU on a pseudo-terminal, with optional fault injection on the replies.
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
// Function codes: 01 read coils, 02 read inputs, 03, 05, 06, 0F, 10; the identification
// request "ScanDevice" + CRC. Anything else is answered with exception 01.
class ModuleSimulator : public QObject
{
    Q_OBJECT

public:
    explicit ModuleSimulator(QObject *parent = nullptr);
    ~ModuleSimulator() override;

    // Model. English catalogue text ("Switch 32-channel outputs 16-channel inputs"; runs of
    // blanks need not match, the Chinese text works too); false if unknown.
    bool setModel(const QString &menuText);
    // Explicit counts; 0 or less means the kind is absent. Analog channels are volts
    // unless milliamps is set.
    void setCounts(int outputs, int inputs, int analogOutputs, int analogInputs, bool milliamps);
    void setAddress(int address);   // 1..247, default 1
    void setTypeCode(int code);     // default: the catalogue model's code (see typeCodeFor)
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

    // Transports.
    bool listenTcp(quint16 port = 0); // binds 127.0.0.1 only; 0 = any free port
    quint16 tcpPort() const;
    QString openPty();                // openpty(); returns the slave path ("" on failure); raw mode
    QString ptyPath() const;
    bool serialLineOpen() const;      // a program has the pty slave open
    void setBaudRate(int baud);       // RTU silence timing (default 115200)
    int baudRate() const { return m_baud; }
    void setAnnounceOnOpen(bool on);  // identification reply when the serial line is first opened
    void closeTcpClients();

    // Module state.
    quint16 holdingRegister(quint16 address) const; // 0 where the model has no register
    bool hasRegister(quint16 address) const;
    // Sets a register as the module itself would ("behind the tool's back"): input states
    // fix the input pattern, analog inputs pin the channel, the restart register is ignored.
    void setHoldingRegister(quint16 address, quint16 value);
    bool coil(int index) const;      // output state
    void setCoil(int index, bool on);
    quint64 outputBits() const { return m_outputBits; }
    quint64 inputBits() const;       // as the module reads them now
    void setInputPattern(quint64 bits); // fixes the inputs (stops the walking pattern)
    void setWalkingInputs();            // back to the walking pattern
    quint16 analogInputValue(int channel) const;
    void setAnalogInputValue(int channel, quint16 thousandths); // pins a channel
    void unpinAnalogInputs();
    QVector<quint16> networkBlock() const { return m_network; }        // as written
    QVector<quint16> activeNetworkBlock() const { return m_activeNetwork; } // since restart

    void announce();  // sends the identification reply unsolicited (serial and TCP clients)
    QByteArray identificationReply() const; // the 15 bytes
    void restart();   // as writing 1 to 0xFDE8 does

    // Fault injection (replies only; see the executable's --help).
    void setDropPercent(int percent);      // the request is lost: not executed, no reply
    void setDelayMs(int ms);               // reply delay
    void setGarbagePercent(int percent);   // random bytes before or after a reply
    void setSplit(bool on);                // replies written in small pieces with pauses
    void setCorruptCrcPercent(int percent);// RTU: CRC bytes flipped; TCP: protocol id not 0
    void setDisconnectAfter(int requests); // TCP: connection closed after N replies (0 = never)
    void setSeed(quint32 seed);
    void setRestartDelayMs(int ms);        // no answers for this long after a restart (default 0)

    int requestCount() const { return m_requestCount; } // valid requests answered or excepted

    // Request log, one line per request (off by default).
    void setLogging(bool on);
    void setLogFunction(std::function<void(const QString &)> sink);

    // Pure request handling: a request PDU (function code + data) for this module in,
    // the reply PDU out; empty when there is no reply (unit 0 broadcast). Used by both
    // transports; public for tests.
    QByteArray processPdu(const QByteArray &pdu, bool broadcast);

signals:
    void requestHandled(int function, int address, int quantity, bool exception);
    void restarted();
    void watchdogFired();
    void clientConnected();
    void clientDisconnected();
    void serialLineOpened();

private:
    friend class MeroviSim::PtyLink;
    friend class MeroviSim::TcpLink;

    struct Outcome {
        int function = 0;
        int address = 0;
        int quantity = 0;
        int exception = 0;
        bool restart = false;
    };

    // Transport side (called by the links).
    bool faultDrop();
    void rtuFrame(MeroviSim::Endpoint *link, const QByteArray &frame);
    void tcpFrame(MeroviSim::TcpLink *link, quint16 transaction, const QByteArray &adu);
    void serve(MeroviSim::Endpoint *link, quint8 unit, const QByteArray &pdu, bool broadcast,
               quint16 transaction);
    void identify(MeroviSim::Endpoint *link, quint16 transaction);
    QByteArray frameFor(MeroviSim::Endpoint *link, quint16 transaction, const QByteArray &adu) const;
    QString applyFaults(MeroviSim::Endpoint *link, QByteArray *frame);
    bool restarting() const;
    void logLine(const QString &line);
    void serialOpenedByPeer();
    void tcpClientGone(MeroviSim::TcpLink *link);
    void acceptTcpClients();

    // Register side.
    QByteArray execute(const QByteArray &pdu, bool broadcast, Outcome *outcome);
    QByteArray exceptionPdu(quint8 function, quint8 code, Outcome *outcome) const;
    bool registerExists(quint16 address) const;
    bool registerWritable(quint16 address) const;
    bool valueAcceptable(quint16 address, quint16 value) const;
    quint16 readRegister(quint16 address) const;
    void writeRegister(quint16 address, quint16 value, Outcome *outcome);
    int outputRegisters() const;
    int inputRegisters() const;
    int timeoutRegisters() const;
    int modeRegisters() const;
    bool hasTimeoutBlock() const;
    bool hasModeBlock() const;
    quint16 modeOf(int channel) const;
    void resetState();
    void applyCatalogueRow(int index);
    void feedWatchdog();
    void fireWatchdog();
    void doRestart();
    quint64 outputMask() const;

    // Model.
    int m_outputs = 0;
    int m_inputs = 0;
    int m_analogOutputs = 0;
    int m_analogInputs = 0;
    bool m_milliamps = false;
    int m_address = 1;
    int m_typeCode = 199;
    bool m_typeCodeSet = false;
    QString m_modelText;

    // State.
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
    QElapsedTimer m_clock;       // drives the walking inputs and the analog inputs
    QElapsedTimer m_restartClock;
    QTimer *m_watchdog = nullptr;

    // Transports.
    QTcpServer *m_server = nullptr;
    QVector<MeroviSim::TcpLink *> m_tcpLinks;
    MeroviSim::PtyLink *m_pty = nullptr;
    int m_baud = 115200;
    bool m_announceOnOpen = false;
    bool m_announced = false;
    int m_nextClientId = 1;

    // Faults.
    int m_dropPercent = 0;
    int m_delayMs = 0;
    int m_garbagePercent = 0;
    bool m_split = false;
    int m_corruptPercent = 0;
    int m_disconnectAfter = 0;
    int m_restartDelayMs = 0;
    QRandomGenerator m_random;

    int m_requestCount = 0;
    bool m_logging = false;
    std::function<void(const QString &)> m_logSink;
};
