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

    QString framingText() const; // "8N1"; "TCP" over the network
    QString modelText() const;   // the model's menu text, or empty
};
Q_DECLARE_METATYPE(FoundModule)

// Looks for modules on a serial line or behind a TCP endpoint, on its own port or
// connection: the identification request first at every baud rate, then, where no
// module identifies itself, a one-register read to every address 1 to 33. It only
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
    };

    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 33;
    static constexpr int kTcpIdentifyMs = 1000;
    static constexpr int kTcpSweepWaitMs = 100;
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

    // How long the address sweep waits for each address at a baud rate: the request and
    // the reply on the wire and the silence after them, plus a margin; at least kSweepFloorMs.
    static int sweepWaitMs(int baudRate);
    static constexpr int kSweepFloorMs = 40;
    static constexpr int kSweepMarginMs = 30;
    // Addresses first..last that answer a one-register read with a well-formed reply or
    // exception (right address, right CRC) anywhere in the received bytes.
    static QVector<int> rtuAnswers(const QByteArray &bytes, int first, int last);
    static QVector<int> tcpAnswers(const QByteArray &bytes, int first, int last);
    // The bytes of the identification request, "ScanDevice" and its CRC.
    static QByteArray identificationRequest();
    // The frame that reads the output state register of one address.
    static QByteArray readRequest(int address, bool network);

signals:
    void progress(const QString &what, int step);
    void found(const FoundModule &module);
    void finished(ModuleFinder::Outcome outcome);

private:
    enum class Phase { Idle, Connecting, Identify, Sweep, Grace };

    void identifyAt(int rateIndex);
    void sweepAt(int rateIndex);
    void sendRead();
    void onTimeout();
    void onReadyRead();
    void record(FoundModule module);
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
    int m_step = 0;
    bool m_sweeping = false;
    QByteArray m_received;
    FrameCutter m_cutter;
    QList<FoundModule> m_results;
    QString m_error;
};

Q_DECLARE_METATYPE(ModuleFinder::Outcome)
