#pragma once

#include "protocol/linkhealth.h"
#include "protocol/sender.h"

#include <QColor>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class QTimer;
class SendStepTimer;

// Keeps the single queue of requests to the module; one is on the wire at a time.
class ThreadAdministrator : public QObject
{
    Q_OBJECT

public:
    explicit ThreadAdministrator(QObject *mainWindow = nullptr);
    ~ThreadAdministrator() override;

    void init();

    // Reply time-out for a kind at a baud rate; -1 for a baud rate the module does not use.
    static int replyTimeoutFor(int baudRate, const QString &kind);
    // Pause between a reply and the next request: 20 ms, or 3.5 character times of
    // 11 bits plus 1 ms where that is longer (slow serial lines); 20 ms on TCP.
    static std::chrono::microseconds sendStepFor(int baudRate, bool network);
    // Polling requests stay in the queue until their panel removes them.
    static bool isPolling(const QString &kind);

    QObject *mainWindow = nullptr;
    QList<Sender *> senders;
    QString deviceAddress = QStringLiteral("01");
    int baudRate = 115200;
    QTimer *administratorTimer = nullptr;
    int replyTimeout = 1000;
    bool netWorkConnected = false;

signals:
    void writeSerialPort_CRC16(QString strDataNoCRC);
    void writeSerialPort(QString strDataNoCRC);
    void checkSwitchStatus();
    void writeOutputWidget(int draw);
    void writeOutputWidget(QString data, QColor color);
    void writeOutputWidget(QString data, int R, int G, int B);
    void click_QPushButton(int index);
    void change_ctlOuts(QString reply);
    void change_inputs(QString bits);
    void analogInput(QString data);
    void readAnalogOuput(QString kind, QString reply);
    void UIappendData(QString data);
    void tryOpenSerialPort();
    void allOpen(int status);
    void creatCommunicationTimeOut(QString data);
    void netWorkProcessing(QString data);
    // The head request got no reply in time; a half-received frame belongs to it.
    void replyTimedOut();
    // The device address changed (two upper-case hex digits); the window shows it.
    void deviceAddressShown(QString address);
    // Every accepted reply, with the kind of the request it answered (for callers that
    // decode replies themselves, such as a module check).
    void replyReceived(QString kind, QString reply);
    // A request ended without a reply: "timeout", "exception XX" or "not sent".
    void requestFailed(QString kind, QString reason);
    // The link's figures changed (sent at most every kHealthReportMs).
    void linkHealthChanged(LinkHealth health);

public slots:
    void write(Sender *sender);
    void popAndWrite();
    void moveToLastAndWrite();
    void deviceAddressChange(QString address, int baud);
    void windowClose();
    void sendersClear(QString key);
    void slot_administratorTimer();
    void slot_dealWithData(QString reply);
    // The module refused a request (function code without the exception bit).
    void exceptionReply(int function, int exceptionCode);
    // What the link could not use: runs of bytes that were no frame, and frames
    // beyond what was asked for.
    void framesRejected(int garbageRuns, int unmatchedFrames);
    // Whether bytes can go out: a serial port is open or the TCP connection is up.
    void setLinkOpen(bool open);
    // The operator chose another device address (two hex digits).
    void setDeviceAddress(QString address);
    void resetLinkHealth();

private:
    void startSend();
    void sendFirst();
    void clearAll();
    void finishHead(bool requeue);
    void refuse(Sender *sender);
    void headUnansweredOnLinkLoss();
    void readdressPolling();
    void healthChanged();

    SendStepTimer *sendStepTimer = nullptr;
    QTimer *healthTimer = nullptr;
    bool linkOpen = false;
    bool headOnWire = false;
    QElapsedTimer headSentAt;
    LinkHealth health;
};
