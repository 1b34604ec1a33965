#pragma once

#include "link/framecutter.h"
#include "link/sender.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QThread>

class MainWindow;
class QTcpSocket;
class ThreadAdministrator;

// Owns the module link: the serial port or the TCP socket, cuts replies out of
// the received bytes and runs the request queue in a thread of its own.
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

    explicit ThreadSerialport(MainWindow *mainWindow);
    ~ThreadSerialport() override;

    // The following run in the link's thread (queued calls from the window).
    void addExtraPortPath(const QString &path);
    void setPortSettings(const PortSettings &settings);
    void setDeviceAddress(const QString &address);
    void setNetWorkConnected(bool connected);
    void connectToModule(const QString &host, quint16 port);
    void clearReceiveBuffer();

    QPointer<QSerialPort> serialPort;
    QString portName;
    QList<QSerialPort *> allPorts;
    MainWindow *mainWindow = nullptr;
    QThread administratorThread;
    ThreadAdministrator *threadAdministrator = nullptr;
    QString deviceAddress = QStringLiteral("01");
    QTcpSocket *tcpSocket = nullptr;

signals:
    void writeOutputWidget(QString data, QColor color);
    void writeOutputWidget(QString data, int R, int G, int B);
    void writeOutputWidget(int draw);
    void identify_deviceType(int code);
    void threadAdministrator_init();
    void dealWithData(QString reply);
    void write(Sender *sender);
    void moveToLastAndWrite();
    void popAndWrite();
    void deviceAddressChange(QString address, int baud);
    void sendersClear(QString key);

public slots:
    void initVariable();
    void getSerialPort();
    qlonglong writeSerialPort_CRC16(QString strDataNoCRC);
    qlonglong writeSerialPort(QString strDataNoCRC);
    void slot_openSerialPort();
    void slot_tryOpenSerialPort();
    void slot_closeSerialPort();
    void slotReceiveData();

private:
    void handleCutEvents(const QVector<CutEvent> &events);
    void logSent(const QByteArray &bytes);
    qlonglong transmit(QString strDataNoCRC, bool appendCrc);
    void onTcpConnected();
    void onTcpDisconnected();
    void onSerialError(QSerialPort::SerialPortError error);

    FrameCutter cutter;
    QStringList extraPortPaths;
    PortSettings portSettings;
};
