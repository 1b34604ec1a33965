#pragma once

#include "protocol/linkevents.h"
#include "protocol/linkhealth.h"
#include "protocol/sender.h"

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
    // Requests sent again and again while a panel shows the module: polling, and the
    // output state read by the window's poll timer.
    static bool isRepeated(const QString &kind);

    QObject *mainWindow = nullptr;
    QList<Sender *> senders;
    int baudRate = 115200;
    QTimer *administratorTimer = nullptr;
    // The reply time-out of a kind at a line speed the table does not have.
    int replyTimeout = 1000;

signals:
    void writeSerialPort_CRC16(QString strDataNoCRC);
    void writeSerialPort(QString strDataNoCRC);
    void checkSwitchStatus();
    // Each request sent, each reply, time-out and withdrawal, and each frame that answers nothing.
    void exchangeRecorded(ExchangeRecord record);
    void notice(LinkNotice notice);
    void click_QPushButton(int index);
    void change_ctlOuts(QString reply);
    void change_inputs(QString bits);
    void analogInput(QString data);
    void readAnalogOuput(QString kind, QString reply);
    void tryOpenSerialPort();
    void allOpen(int status);
    void creatCommunicationTimeOut(QString data);
    void netWorkProcessing(QString data);
    // The head request got no reply in time; a half-received frame belongs to it.
    void replyTimedOut();
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
    // A reply (serial form, CRC last) judged as one of the link in use.
    void slot_dealWithData(QString reply);
    // A reply judged by the link it came over; wire is the frame as received.
    void replyArrived(QString reply, LinkKind link, QByteArray wire);
    // The module refused a request (function code without the exception bit).
    void exceptionReply(int function, int exceptionCode);
    void exceptionArrived(int function, int exceptionCode, LinkKind link, QByteArray wire);
    // What the link could not use: runs of bytes that were no frame, and frames
    // beyond what was asked for.
    void framesRejected(int garbageRuns, int unmatchedFrames);
    // The link bytes go out over: none, the serial port or the TCP connection.
    void setLink(LinkKind link);
    // The serial line's speed: the reply time-outs of the queued requests follow it.
    void setLineSpeed(int baud);
    // The operator chose another device address (two hex digits).
    void setDeviceAddress(QString address);
    void resetLinkHealth();

private:
    void startSend();
    void sendFirst();
    void clearAll();
    void finishHead(bool requeue);
    void refuse(Sender *sender);
    void readdressPolling();
    void healthChanged();
    void withdraw(Sender *sender);
    ExchangeRecord recordFor(const Sender *sender, ExchangeRecord::Result result) const;
    void recordStray(ExchangeRecord::Result result, LinkKind link, const QByteArray &wire,
                     const Sender *misanswered = nullptr);
    void say(LinkNotice::Severity severity, const QString &text);

    SendStepTimer *sendStepTimer = nullptr;
    QTimer *healthTimer = nullptr;
    LinkKind link = LinkKind::None;
    // The address the session (or the module's announcement) gave; frames are stamped with it.
    QString deviceAddress = QStringLiteral("01");
    quint64 lastRequestId = 0;
    bool headOnWire = false;
    QElapsedTimer headSentAt;
    LinkHealth health;
};
