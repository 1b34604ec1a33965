#pragma once

#include "link/linebudget.h"
#include "protocol/framecutter.h"
#include "protocol/linkevents.h"
#include "protocol/sender.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QAbstractSocket>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

class QTcpSocket;
class QTimer;
class ThreadAdministrator;

// Owns the module link: the serial port or the TCP socket, cuts replies out of
// the received bytes and runs the request queue in a thread of its own. It reports
// what happens through its signals; the window decides what its widgets show.
class ThreadSerialport : public QObject
{
    Q_OBJECT

public:
    // Serial settings taken from the window's selectors when the port is opened.
    struct PortSettings
    {
        QString portName;
        qint32 baudRate = 115200;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };

    // Makes the owner's connections to the queue when the link creates it (in the
    // link's thread, before the queue's thread starts).
    using QueueHook = std::function<void(ThreadAdministrator *)>;

    // The wait before the next attempt to reach the module over TCP, after one of `seconds`:
    // doubled, up to kReconnectMaxSeconds.
    static constexpr int kReconnectMaxSeconds = 10;
    static int reconnectSecondsAfter(int seconds);

    explicit ThreadSerialport(QObject *mainWindow = nullptr, QueueHook queueHook = {});
    ~ThreadSerialport() override;

    // The following run in the link's thread (queued calls from the window).
    void addExtraPortPath(const QString &path);
    void setPortSettings(const PortSettings &settings);
    void setDeviceAddress(const QString &address);
    void connectToModule(const QString &host, quint16 port);
    void clearReceiveBuffer();

    QPointer<QSerialPort> serialPort;
    QString portName;
    QList<QSerialPort *> allPorts;
    QObject *mainWindow = nullptr;
    QThread administratorThread;
    ThreadAdministrator *threadAdministrator = nullptr;
    QTcpSocket *tcpSocket = nullptr;

signals:
    // What the link tells the operator, and frames that reached no request.
    void linkNotice(LinkNotice notice);
    void exchangeRecorded(ExchangeRecord record);
    void identify_deviceType(int code);
    void threadAdministrator_init();
    void replyArrived(QString reply, LinkKind link, QByteArray wire);
    void exceptionArrived(int function, int exceptionCode, LinkKind link, QByteArray wire);
    void write(Sender *sender);
    void moveToLastAndWrite();
    void popAndWrite();
    void deviceAddressChange(QString address, int baud);
    void sendersClear(QString key);
    // The serial ports found, and the one the operator picked before.
    void serialPortsFound(QStringList names, QString chosen);
    void serialPortOpening();
    void serialPortOpened();
    void serialPortOpenFailed(QString reason);
    // The open port closed: the operator closed it or the device went away.
    void serialPortClosed();
    // An error on the open port; lost means the device went away and the port is closed.
    void serialPortError(QString reason, bool lost);
    // An attempt to reach the module over TCP has started.
    void networkConnecting();
    void networkConnected();
    void networkDisconnected();
    // The next attempt to reach the module over TCP starts in that many seconds.
    void networkReconnecting(int seconds);
    // The module answered a request of `function` with an exception code.
    void exceptionReply(int function, int exceptionCode);
    // Bytes that were no frame (runs) and frames beyond what was asked for, per read.
    void framesRejected(int garbageRuns, int unmatchedFrames);

public slots:
    void initVariable();
    void getSerialPort();
    qlonglong writeSerialPort_CRC16(QString strDataNoCRC);
    qlonglong writeSerialPort(QString strDataNoCRC);
    // Asks the module to identify itself, on the operator's request only; the reply is
    // reported by identify_deviceType like an announcement.
    void identifyModule();
    void slot_openSerialPort();
    void slot_tryOpenSerialPort();
    void slot_closeSerialPort();
    void slotReceiveData();

private:
    void handleCutEvents(const QVector<CutEvent> &events, LinkKind via);
    void say(LinkNotice::Severity severity, const QString &text);
    qlonglong transmit(QString strDataNoCRC, bool appendCrc);
    void onTcpConnected();
    void onTcpDisconnected();
    void onSerialError(QSerialPort::SerialPortError error);
    void onTcpError(QAbstractSocket::SocketError error);
    void scheduleReconnect();
    void closeTcpForSerial();
    void serialGone();
    void reconnect();
    void updateLinkOpen();
    void logLimited(const QString &line);
    void reportSuppressedLines();
    bool tcpConnected() const;
    LinkKind linkInUse() const;

    QueueHook queueHook;
    QString remoteHost;
    quint16 remotePort = 0;
    QTimer *reconnectTimer = nullptr;
    QTimer *connectTimer = nullptr;
    int reconnectSeconds = 1;
    bool aborting = false;
    QTimer *suppressedTimer = nullptr;
    LineBudget logBudget;
    QElapsedTimer identificationClock;
    int suppressedLines = 0;
    FrameCutter cutter;
    QStringList extraPortPaths;
    PortSettings portSettings;
};
