#pragma once

#include "link/sender.h"

#include <QColor>
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

public slots:
    void write(Sender *sender);
    void popAndWrite();
    void moveToLastAndWrite();
    void deviceAddressChange(QString address, int baud);
    void windowClose();
    void sendersClear(QString key);
    void slot_administratorTimer();
    void slot_dealWithData(QString reply);

private:
    void startSend();
    void sendFirst();
    void clearAll();

    SendStepTimer *sendStepTimer = nullptr;
};
