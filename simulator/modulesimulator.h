#pragma once

#include "simulator/faultplan.h"
#include "simulator/modulecore.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class QTcpServer;
class QTimer;

namespace MeroviSim {
class Endpoint;
class PtyLink;
class TcpLink;
}

// Serves one simulated Merovi I/O module (a ModuleCore) as Modbus TCP on 127.0.0.1 and as
// Modbus RTU on a pseudo-terminal, with its watchdog timer, its restart, the request log
// and the faults injected on the way (a FaultPlan).
class ModuleSimulator : public QObject
{
    Q_OBJECT

public:
    explicit ModuleSimulator(QObject *parent = nullptr);
    ~ModuleSimulator() override;

    // The module itself: model, registers, identification, module faults.
    ModuleCore &core() { return m_core; }
    const ModuleCore &core() const { return m_core; }

    // Model (see ModuleCore).
    bool setModel(const QString &menuText);
    void setCounts(int outputs, int inputs, int analogOutputs, int analogInputs, bool milliamps);
    void setAddress(int address) { m_core.setAddress(address); }
    void setTypeCode(int code) { m_core.setTypeCode(code); }
    int address() const { return m_core.address(); }
    int typeCode() const { return m_core.typeCode(); }
    int outputCount() const { return m_core.outputCount(); }
    int inputCount() const { return m_core.inputCount(); }
    int analogOutputCount() const { return m_core.analogOutputCount(); }
    int analogInputCount() const { return m_core.analogInputCount(); }
    bool milliamps() const { return m_core.milliamps(); }
    QString modelDescription() const { return m_core.modelDescription(); }
    static int typeCodeFor(int outputs, int inputs, int analogOutputs, int analogInputs, bool milliamps)
    {
        return ModuleCore::typeCodeFor(outputs, inputs, analogOutputs, analogInputs, milliamps);
    }

    // Transports.
    bool listenTcp(quint16 port = 0); // binds 127.0.0.1 only; 0 = any free port
    quint16 tcpPort() const;
    QString openPty();                // openpty(); returns the slave path ("" on failure); raw mode
    QString ptyPath() const;
    bool serialLineOpen() const;      // a program has the pty slave open
    void setBaudRate(int baud);       // RTU silence timing (default 115200)
    int baudRate() const { return m_baud; }
    // Answer on the pty only while the line is set to baudRate(); at another rate the
    // requests are noise to the module.
    void setBaudMustMatch(bool on);
    void setAnnounceOnOpen(bool on);  // identification reply when the serial line is first opened
    void setIdentify(bool on) { m_core.setIdentify(on); } // answer "ScanDevice" (default on)
    void closeTcpClients();

    // Module state (see ModuleCore).
    quint16 holdingRegister(quint16 address) const { return m_core.holdingRegister(address); }
    bool hasRegister(quint16 address) const { return m_core.hasRegister(address); }
    void setHoldingRegister(quint16 address, quint16 value);
    bool coil(int index) const { return m_core.coil(index); }
    void setCoil(int index, bool on) { m_core.setCoil(index, on); }
    quint64 outputBits() const { return m_core.outputBits(); }
    quint64 inputBits() const { return m_core.inputBits(); }
    void setInputPattern(quint64 bits) { m_core.setInputPattern(bits); }
    void setWalkingInputs() { m_core.setWalkingInputs(); }
    quint16 analogInputValue(int channel) const { return m_core.analogInputValue(channel); }
    void setAnalogInputValue(int channel, quint16 thousandths) { m_core.setAnalogInputValue(channel, thousandths); }
    void unpinAnalogInputs() { m_core.unpinAnalogInputs(); }
    QVector<quint16> networkBlock() const { return m_core.networkBlock(); }
    QVector<quint16> activeNetworkBlock() const { return m_core.activeNetworkBlock(); }

    void announce();  // sends the identification reply unsolicited (serial and TCP clients)
    QByteArray identificationReply() const { return m_core.identificationReply(); }
    void restart();   // as writing 1 to 0xFDE8 does

    // Fault injection on the way (see FaultPlan and the executable's --help).
    MeroviSim::FaultPlan &faults() { return m_faults; }
    void setDropPercent(int percent) { m_faults.setDropPercent(percent); }
    void setDelayMs(int ms) { m_faults.setDelayMs(ms); }
    void setGarbagePercent(int percent) { m_faults.setGarbagePercent(percent); }
    void setSplit(bool on) { m_faults.setSplit(on); }
    void setCorruptCrcPercent(int percent) { m_faults.setCorruptCrcPercent(percent); }
    void setExceptionPercent(int percent) { m_faults.setExceptionPercent(percent); }
    void setDisconnectAfter(int requests) { m_faults.setDisconnectAfter(requests); }
    void setSeed(quint32 seed) { m_faults.setSeed(seed); }
    void setRestartDelayMs(int ms) { m_faults.setRestartDelayMs(ms); }
    // What was received and injected so far; the program logs it as FaultCounts::line().
    const MeroviSim::FaultCounts &faultCounts() const { return m_faults.counts(); }

    int requestCount() const { return m_requestCount; } // valid requests answered or excepted

    // Request log, one line per request (off by default).
    void setLogging(bool on);
    void setLogFunction(std::function<void(const QString &)> sink);

signals:
    void requestHandled(int function, int address, int quantity, bool exception);
    void restarted();
    void watchdogFired();
    void clientConnected();
    void clientDisconnected();
    void serialLineOpened();
    // After every request that was not answered cleanly (see FaultCounts).
    void faultCountsChanged();

private:
    friend class MeroviSim::PtyLink;
    friend class MeroviSim::TcpLink;

    // Transport side (called by the links).
    void frameIn(MeroviSim::Endpoint *link, const QByteArray &frame);
    void noiseIgnored(const QString &what);
    bool restarting() const;
    void logLine(const QString &line);
    void serialOpenedByPeer();
    void tcpClientGone(MeroviSim::TcpLink *link);
    void acceptTcpClients();
    void feedWatchdog();
    void fireWatchdog();
    void doRestart();

    ModuleCore m_core;
    MeroviSim::FaultPlan m_faults;
    QElapsedTimer m_clock;       // drives the walking inputs and the analog inputs
    QElapsedTimer m_restartClock;
    QTimer *m_watchdog = nullptr;

    QTcpServer *m_server = nullptr;
    QVector<MeroviSim::TcpLink *> m_tcpLinks;
    MeroviSim::PtyLink *m_pty = nullptr;
    int m_baud = 115200;
    bool m_baudMustMatch = false;
    bool m_announceOnOpen = false;
    bool m_announced = false;
    int m_nextClientId = 1;

    int m_requestCount = 0;
    bool m_logging = false;
    std::function<void(const QString &)> m_logSink;
};
