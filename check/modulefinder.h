#pragma once

#include "protocol/framecutter.h"

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QVector>

class QTcpSocket;
class QTimer;

// One module that answered a search.
struct FoundModule
{
    enum How { ByIdentification, ByAddressSweep };

    QString port;     // serial port path, or "host:port" over TCP
    bool network = false;
    int baudRate = 0; // 0 over TCP
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    int address = 0;
    int typeCode = -1;   // -1: the module did not identify itself
    int modelIndex = -1; // catalogue row the type code selects, or -1
    QString mac;         // "00-1a-2b-3c-4d-5e" when the identification reply carries one
    How how = ByIdentification;
    // Every address swept answered: one device that answers for all (then `address` is
    // the first of them).
    bool everyAddress = false;

    QString framingText() const; // "8N1"; "TCP" over the network
    QString modelText() const;   // the model's menu text, or empty
};
Q_DECLARE_METATYPE(FoundModule)

// Looks for modules on a serial line or behind a TCP endpoint, on its own port or
// connection: the identification request first at every baud rate, then, where no
// module identifies itself, a one-register read to every address 1 to 33. Both stop
// after the first rate where something answered, unless all rates are asked for. Each
// wait is what the wire needs at that rate, not the queue's reply time-out. It only
// ever reads, and never uses the broadcast address. Driven by timers; reports by signals.
class ModuleFinder : public QObject
{
    Q_OBJECT

public:
    enum Outcome { Completed, Cancelled, Failed };

    struct SerialTarget
    {
        QString portName;
        QList<int> baudRates; // tried in this order
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
        bool allRates = false; // go on after a rate where modules answered
    };

    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 33;
    static constexpr int kTcpConnectMs = 3000;

    explicit ModuleFinder(QObject *parent = nullptr);
    ~ModuleFinder() override;

    void startSerial(const SerialTarget &target);
    void startTcp(const QString &host, quint16 port);
    void cancel();
    bool isRunning() const { return m_phase != Phase::Idle; }

    QList<FoundModule> results() const { return m_results; }
    QString errorString() const { return m_error; }
    // Progress steps of a whole search: per round (a baud rate, or the one TCP connection)
    // the identification request and every address.
    static int stepCount(int rounds) { return rounds * (1 + kLastAddress - kFirstAddress + 1); }

    // How long a module may take to answer one request at a rate (0: over TCP): request
    // and reply on the wire, the 3.5-character silence after them, and kTurnaroundMs.
    static int answerWaitMs(int baudRate, int requestBytes, int replyBytes);
    // The wait for an answer to the identification request.
    static int identifyWaitMs(int baudRate);
    static constexpr int kTurnaroundMs = 20;
    static constexpr int kTcpAnswerMs = 100;

    // The wait for an answer to the read of one address.
    static int sweepWaitMs(int baudRate);
    // 3.5 characters of silence, which end a frame on the line (rounded up, plus 1 ms).
    static int silenceMs(int baudRate);
    static constexpr const char *kEveryAddressText =
        "answers every address (a gateway or a generic Modbus server)";
    // Addresses first..last that answer a one-register read with a well-formed reply or
    // exception (right address, right CRC) anywhere in the received bytes.
    static QVector<int> rtuAnswers(const QByteArray &bytes, int first, int last);
    static QVector<int> tcpAnswers(const QByteArray &bytes, int first, int last);
    // Whether the bytes hold a whole exception reply (any address): the request was heard
    // and refused, nothing more will come.
    static bool holdsException(const QByteArray &bytes, bool network);
    // The bytes of the identification request, "ScanDevice" and its CRC.
    static QByteArray identificationRequest();
    // The frame that reads the output state register of one address.
    static QByteArray readRequest(int address, bool network);
    // The read that follows an unanswered one on a serial line (see sendRead).
    static QByteArray realignRequest(int address);
    // Silence before the serial sweep, for slaves still reading the identification request.
    static constexpr int kSettleMs = 1100;

signals:
    void progress(const QString &what, int step);
    void found(const FoundModule &module);
    void finished(ModuleFinder::Outcome outcome);

private:
    enum class Phase { Idle, Connecting, Identify, Settle, Sweep };

    void identifyAt(int rateIndex);
    void sweepAt(int rateIndex);
    void sendRead();
    void onTimeout();
    void onReadyRead();
    void record(FoundModule module);
    void endOfSweepRate();
    void nextRateOrFinish(bool sweeping);
    void startSweep();
    FoundModule baseResult() const;
    void finish(Outcome outcome, const QString &error = QString());
    void closeDevices();
    int currentRate() const;
    bool foundAtCurrentRate() const;

    Phase m_phase = Phase::Idle;
    bool m_network = false;
    SerialTarget m_target;
    QString m_endpoint;
    QPointer<QSerialPort> m_serial;
    QPointer<QTcpSocket> m_socket;
    QTimer *m_timer = nullptr;
    int m_rateIndex = 0;
    int m_address = 0;
    bool m_realigning = false;   // the second read of a silent address is on the wire
    bool m_sweepOnConnect = false;
    QString m_host;
    quint16 m_port = 0;
    int m_step = 0;
    bool m_sweeping = false;
    QByteArray m_received;
    FrameCutter m_cutter;
    QList<FoundModule> m_results;
    QString m_error;
};

Q_DECLARE_METATYPE(ModuleFinder::Outcome)
