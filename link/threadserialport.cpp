#include "link/threadserialport.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/framelog.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "protocol/wireframe.h"
#include "link/threadadministrator.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDebug>
#include <QMetaObject>
#include <QSerialPortInfo>
#include <QTcpSocket>
#include <QTimer>

namespace {

const char kListedName[] = "listedName";
// A module that does not answer the connection attempt at all is tried again.
constexpr int kConnectTimeoutMs = 5000;
// How often a flood is summed up in the log.
constexpr int kSuppressedReportMs = 1000;
constexpr int kRepliesPerRead = 4;
constexpr int kIdentificationMs = 1000;

} // namespace

ThreadSerialport::ThreadSerialport(QObject *mainWindow, QueueHook queueHook)
    : mainWindow(mainWindow)
    , queueHook(std::move(queueHook))
{
}

ThreadSerialport::~ThreadSerialport()
{
    qDebug() << "threadSerialport delete!";
    // Nothing may reach the queue once its thread is gone.
    if (tcpSocket) {
        tcpSocket->disconnect(this);
        tcpSocket->abort();
    }
    for (QSerialPort *port : qAsConst(allPorts))
        port->disconnect(this);
    administratorThread.quit();
    administratorThread.wait();
    threadAdministrator = nullptr;
    qDeleteAll(allPorts);
    allPorts.clear();
}

void ThreadSerialport::initVariable()
{
    qRegisterMetaType<ExchangeRecord>();
    qRegisterMetaType<LinkNotice>();
    qRegisterMetaType<LinkKind>();
    serialPort.clear();

    threadAdministrator = new ThreadAdministrator(mainWindow);
    ThreadAdministrator *queue = threadAdministrator;

    connect(this, &ThreadSerialport::write, queue, &ThreadAdministrator::write);
    connect(this, &ThreadSerialport::moveToLastAndWrite, queue,
            &ThreadAdministrator::moveToLastAndWrite);
    connect(this, &ThreadSerialport::popAndWrite, queue, &ThreadAdministrator::popAndWrite);
    connect(this, &ThreadSerialport::deviceAddressChange, queue,
            &ThreadAdministrator::deviceAddressChange);
    connect(this, &ThreadSerialport::sendersClear, queue, &ThreadAdministrator::sendersClear);
    connect(this, &ThreadSerialport::replyArrived, queue, &ThreadAdministrator::replyArrived);
    connect(this, &ThreadSerialport::threadAdministrator_init, queue, &ThreadAdministrator::init);
    connect(queue, &ThreadAdministrator::writeSerialPort_CRC16, this,
            &ThreadSerialport::writeSerialPort_CRC16);
    connect(queue, &ThreadAdministrator::writeSerialPort, this, &ThreadSerialport::writeSerialPort);
    connect(queue, &ThreadAdministrator::tryOpenSerialPort, this,
            &ThreadSerialport::slot_tryOpenSerialPort);
    connect(queue, &ThreadAdministrator::replyTimedOut, this,
            &ThreadSerialport::clearReceiveBuffer);
    connect(this, &ThreadSerialport::exceptionArrived, queue, &ThreadAdministrator::exceptionArrived);
    connect(this, &ThreadSerialport::framesRejected, queue, &ThreadAdministrator::framesRejected);
    // The window's requests and displays.
    if (queueHook)
        queueHook(queue);

    tcpSocket = new QTcpSocket(this);
    tcpSocket->setReadBufferSize(16384);
    connect(tcpSocket, &QTcpSocket::readyRead, this, &ThreadSerialport::slotReceiveData);
    connect(tcpSocket, &QTcpSocket::connected, this, &ThreadSerialport::onTcpConnected);
    connect(tcpSocket, &QTcpSocket::disconnected, this, &ThreadSerialport::onTcpDisconnected);
    connect(tcpSocket, &QTcpSocket::errorOccurred, this, &ThreadSerialport::onTcpError);
    suppressedTimer = new QTimer(this);
    suppressedTimer->setSingleShot(true);
    connect(suppressedTimer, &QTimer::timeout, this, &ThreadSerialport::reportSuppressedLines);
    reconnectTimer = new QTimer(this);
    reconnectTimer->setSingleShot(true);
    connect(reconnectTimer, &QTimer::timeout, this, &ThreadSerialport::reconnect);
    connectTimer = new QTimer(this);
    connectTimer->setSingleShot(true);
    connectTimer->setInterval(kConnectTimeoutMs);
    connect(connectTimer, &QTimer::timeout, this, [this]() {
        if (tcpSocket->state() == QAbstractSocket::ConnectedState)
            return;
        aborting = true;
        tcpSocket->abort();
        aborting = false;
        scheduleReconnect();
    });

    getSerialPort();

    queue->moveToThread(&administratorThread);
    connect(&administratorThread, &QThread::finished, queue, &QObject::deleteLater);
    administratorThread.start(QThread::InheritPriority);
    emit threadAdministrator_init();
}

void ThreadSerialport::addExtraPortPath(const QString &path)
{
    if (path.isEmpty() || extraPortPaths.contains(path))
        return;
    extraPortPaths.append(path);
    getSerialPort();
}

void ThreadSerialport::getSerialPort()
{
    // Port objects stay alive while one of them is the open port.
    for (QSerialPort *port : qAsConst(allPorts)) {
        if (port != serialPort)
            port->deleteLater();
    }
    allPorts.clear();
    if (serialPort)
        allPorts.append(serialPort);

    QStringList names;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        names << info.portName();
    names << extraPortPaths;
    for (const QString &name : qAsConst(names)) {
        if (serialPort && serialPort->property(kListedName).toString() == name)
            continue;
        auto *port = new QSerialPort(this);
        port->setPortName(name);
        // A path given as such keeps it; QSerialPort shortens "/dev/..." names.
        port->setProperty(kListedName, name);
        allPorts.append(port);
    }

    emit serialPortsFound(names, portName);
}

void ThreadSerialport::setPortSettings(const PortSettings &settings)
{
    portSettings = settings;
}

void ThreadSerialport::setDeviceAddress(const QString &address)
{
    cutter.setDeviceAddress(address);
    ThreadAdministrator *queue = threadAdministrator;
    if (queue)
        QMetaObject::invokeMethod(queue, [queue, address]() { queue->setDeviceAddress(address); });
}

bool ThreadSerialport::tcpConnected() const
{
    return tcpSocket && tcpSocket->state() == QAbstractSocket::ConnectedState;
}

LinkKind ThreadSerialport::linkInUse() const
{
    if (serialPort && serialPort->isOpen())
        return LinkKind::Serial;
    return tcpConnected() ? LinkKind::Tcp : LinkKind::None;
}

void ThreadSerialport::updateLinkOpen()
{
    const LinkKind link = linkInUse();
    ThreadAdministrator *queue = threadAdministrator;
    if (queue)
        QMetaObject::invokeMethod(queue, [queue, link]() { queue->setLink(link); });
}

void ThreadSerialport::say(LinkNotice::Severity severity, const QString &text)
{
    LinkNotice notice;
    notice.severity = severity;
    notice.text = text;
    notice.timeMs = QDateTime::currentMSecsSinceEpoch();
    emit linkNotice(notice);
}

void ThreadSerialport::connectToModule(const QString &host, quint16 port)
{
    if (!tcpSocket)
        return;
    remoteHost = host;
    remotePort = port;
    reconnectSeconds = 1;
    reconnect();
}

void ThreadSerialport::reconnect()
{
    reconnectTimer->stop();
    aborting = true;
    tcpSocket->abort();
    aborting = false;
    if (remoteHost.isEmpty())
        return;
    // The serial port and the network are alternatives: no attempts while the port is open.
    if (serialPort && serialPort->isOpen())
        return;
    tcpSocket->connectToHost(remoteHost, remotePort, QIODevice::ReadWrite,
                             QAbstractSocket::AnyIPProtocol);
    connectTimer->start();
    emit networkConnecting();
}

void ThreadSerialport::scheduleReconnect()
{
    // The serial port and the network are alternatives: no attempts while the port is open.
    if (aborting || remoteHost.isEmpty() || reconnectTimer->isActive()
        || (serialPort && serialPort->isOpen()))
        return;
    connectTimer->stop();
    emit networkReconnecting(reconnectSeconds);
    reconnectTimer->start(reconnectSeconds * 1000);
    reconnectSeconds = reconnectSecondsAfter(reconnectSeconds);
}

int ThreadSerialport::reconnectSecondsAfter(int seconds)
{
    return qMin(seconds * 2, kReconnectMaxSeconds);
}

void ThreadSerialport::onTcpError(QAbstractSocket::SocketError error)
{
    if (aborting || error == QAbstractSocket::OperationError
        || error == QAbstractSocket::UnknownSocketError)
        return;
    say(LinkNotice::Severity::Error, tr("Network: %1", " 网络：%1 ").arg(tcpSocket->errorString()));
    if (tcpSocket->state() != QAbstractSocket::ConnectedState)
        scheduleReconnect();
}

void ThreadSerialport::clearReceiveBuffer()
{
    // Called when a request got no reply in time: what is half received belongs to it.
    cutter.clearSerial();
}

qlonglong ThreadSerialport::writeSerialPort(QString strDataNoCRC)
{
    return transmit(strDataNoCRC, false);
}

qlonglong ThreadSerialport::writeSerialPort_CRC16(QString strDataNoCRC)
{
    return transmit(strDataNoCRC, true);
}

void ThreadSerialport::identifyModule()
{
    // With the CRC on the serial line, behind the Modbus TCP header on the network.
    transmit(ModbusRequest::identificationRequest(), true);
}

qlonglong ThreadSerialport::transmit(QString strDataNoCRC, bool appendCrc)
{
    if (strDataNoCRC.isEmpty())
        return -1;
    const bool serialOpen = serialPort && serialPort->isOpen();
    const bool tcpOpen = tcpConnected();
    if (!serialOpen && !tcpOpen) {
        say(LinkNotice::Severity::Error, tr("Not sent: no connection", " 未发送：没有连接 "));
        return -1;
    }
    QByteArray bytes;
    QIODevice *device = nullptr;
    if (serialOpen) {
        bytes = appendCrc ? wireFrame(strDataNoCRC, LinkKind::Serial)
                          : QtTools::hexStringToByteArray(strDataNoCRC.remove(QLatin1Char(' ')));
        device = serialPort;
    } else {
        bytes = wireFrame(strDataNoCRC, LinkKind::Tcp);
        device = tcpSocket;
    }
    // What is left of an earlier reply cannot answer this request; on TCP this also brings
    // a stream that stray bytes put out of step back to a frame boundary. Not under a flood:
    // the stream is whole then, and clearing it would cut a frame in two.
    const bool flooded = suppressedLines > 0 || (suppressedTimer && suppressedTimer->isActive());
    if (serialOpen || !flooded)
        cutter.clear();
    const qint64 written = device->write(bytes);
    // Out now rather than on the next turn of the event loop.
    if (serialOpen)
        serialPort->flush();
    else
        tcpSocket->flush();
    return written;
}

void ThreadSerialport::slot_openSerialPort()
{
    emit serialPortOpening();
    QSerialPort *chosen = nullptr;
    for (QSerialPort *port : qAsConst(allPorts)) {
        if (port->property(kListedName).toString() == portSettings.portName) {
            chosen = port;
            break;
        }
    }
    if (!chosen) {
        emit serialPortOpenFailed(tr("No serial port %1", " 没有串口 %1 ").arg(portSettings.portName));
        return;
    }
    if (serialPort && serialPort != chosen && serialPort->isOpen())
        serialPort->close();
    serialPort = chosen;
    QSerialPort *port = serialPort;
    if (port->isOpen())
        port->close();
    port->setBaudRate(portSettings.baudRate);
    port->setDataBits(portSettings.dataBits);
    port->setStopBits(portSettings.stopBits);
    port->setParity(portSettings.parity);
    port->setFlowControl(QSerialPort::NoFlowControl);

    if (!port->open(QIODevice::ReadWrite)) {
        disconnect(port, &QSerialPort::readyRead, this, &ThreadSerialport::slotReceiveData);
        emit serialPortOpenFailed(port->errorString());
        return;
    }

    connect(port, &QSerialPort::readyRead, this, &ThreadSerialport::slotReceiveData,
            Qt::UniqueConnection);
    connect(port, &QSerialPort::errorOccurred, this, &ThreadSerialport::onSerialError,
            Qt::UniqueConnection);
    cutter.clear();
    closeTcpForSerial();
    // The reply time-outs follow the line speed, before anything goes out on the line.
    ThreadAdministrator *queue = threadAdministrator;
    const int baud = int(port->baudRate());
    QMetaObject::invokeMethod(queue, [queue, baud]() { queue->setLineSpeed(baud); });
    updateLinkOpen();

    emit serialPortOpened();
}

void ThreadSerialport::slot_tryOpenSerialPort()
{
    slot_openSerialPort();
}

void ThreadSerialport::closeTcpForSerial()
{
    // Only one link at a time: TCP stays closed while the serial port is open, so no
    // reply comes over a link that is not the one in use.
    reconnectTimer->stop();
    connectTimer->stop();
    const bool wasUp = tcpSocket->state() != QAbstractSocket::UnconnectedState;
    aborting = true;
    tcpSocket->abort();
    aborting = false;
    if (!remoteHost.isEmpty())
        emit networkDisconnected();
    if (wasUp)
        say(LinkNotice::Severity::Info,
            tr("Network closed while the serial port is open", " 串口打开期间网络已关闭 "));
}

void ThreadSerialport::serialGone()
{
    cutter.clear();
    updateLinkOpen();
    emit serialPortClosed();
    // The network is the link again: it reconnects at once.
    if (!tcpConnected()) {
        reconnectSeconds = 1;
        reconnect();
    }
}

void ThreadSerialport::slot_closeSerialPort()
{
    const bool wasOpen = serialPort && serialPort->isOpen();
    if (serialPort)
        serialPort->close();
    if (wasOpen) {
        serialGone();
        return;
    }
    cutter.clear();
    updateLinkOpen();
}

void ThreadSerialport::onSerialError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError)
        return;
    const QString reason = serialPort ? serialPort->errorString() : QString();
    const bool lost = error == QSerialPort::ResourceError;
    if (lost) {
        // The device went away under the open port: as if the operator had closed it.
        if (serialPort)
            serialPort->close();
        emit sendersClear(QString());
        emit serialPortError(reason, lost);
        serialGone();
        return;
    }
    emit serialPortError(reason, lost);
}

void ThreadSerialport::onTcpConnected()
{
    connectTimer->stop();
    reconnectSeconds = 1;
    cutter.clear();
    updateLinkOpen();
    emit networkConnected();
}

void ThreadSerialport::onTcpDisconnected()
{
    cutter.clear();
    updateLinkOpen();
    emit networkDisconnected();
    scheduleReconnect();
}

void ThreadSerialport::slotReceiveData()
{
    // Each reply is judged by the link it came over.
    const QObject *from = sender();
    const bool serialOpen = serialPort && serialPort->isOpen();
    if (serialOpen && (from == serialPort || from != tcpSocket))
        handleCutEvents(cutter.feedSerial(serialPort->readAll()), LinkKind::Serial);
    else if (tcpSocket)
        handleCutEvents(cutter.feedTcp(tcpSocket->readAll()), LinkKind::Tcp);
}

void ThreadSerialport::logLimited(const QString &line)
{
    // A flooding module cannot bury the log: beyond a bound per interval, lines are
    // counted, and the count is told once the interval is over.
    if (logBudget.take(QDeadlineTimer::current().deadline())) {
        say(LinkNotice::Severity::Error, line);
        return;
    }
    ++suppressedLines;
    if (!suppressedTimer->isActive())
        suppressedTimer->start(kSuppressedReportMs);
}

void ThreadSerialport::reportSuppressedLines()
{
    if (suppressedLines == 0)
        return;
    say(LinkNotice::Severity::Error,
        tr("%1 frames from the module not shown: more came than were asked for",
           " 未显示模块的 %1 帧：收到的多于请求的 ")
            .arg(suppressedLines));
    suppressedLines = 0;
}

void ThreadSerialport::handleCutEvents(const QVector<CutEvent> &events, LinkKind via)
{
    // On TCP the whole frame is what was received; the reply cut from it follows it.
    QByteArray tcpFrame;
    bool tcpFrameAnswered = true;
    auto recordUnanswered = [&]() {
        if (tcpFrameAnswered)
            return;
        tcpFrameAnswered = true;
        ExchangeRecord record;
        record.direction = ExchangeRecord::Direction::Received;
        record.result = ExchangeRecord::Result::Unmatched;
        record.link = LinkKind::Tcp;
        record.bytes = tcpFrame;
        record.unit = tcpFrame.size() > 6 ? quint8(tcpFrame.at(6)) : 0;
        record.timeMs = QDateTime::currentMSecsSinceEpoch();
        emit exchangeRecorded(record);
    };
    auto wireOf = [&](const CutEvent &event) {
        if (via == LinkKind::Tcp) {
            tcpFrameAnswered = true;
            return tcpFrame;
        }
        return QtTools::hexStringToByteArray(event.text);
    };
    int garbageRuns = 0;
    int repliesPassed = 0;
    int framesDropped = 0;
    int answers = 0;
    int tcpFramesShown = 0;
    for (const CutEvent &event : events)
        answers += event.type == CutEvent::Reply || event.type == CutEvent::ExceptionReply;
    const bool flooded = answers > 1 || suppressedLines > 0 || suppressedTimer->isActive();
    for (const CutEvent &event : events) {
        if (event.type == CutEvent::ExceptionReply && flooded) {
            ++framesDropped;
            continue;
        }
        switch (event.type) {
        case CutEvent::Reply:
        case CutEvent::ExceptionReply:
            // One request is on the wire at a time: more replies than that in one read are
            // a flood, counted instead of handed on one by one.
            if (repliesPassed >= kRepliesPerRead) {
                ++framesDropped;
                break;
            }
            ++repliesPassed;
            if (event.type == CutEvent::Reply) {
                emit replyArrived(event.text, via, wireOf(event));
                break;
            }
            emit exceptionArrived(event.function, event.exceptionCode, via, wireOf(event));
            emit exceptionReply(event.function, event.exceptionCode);
            logLimited(tr("Exception reply: function %1, exception %2 (%3)",
                          " 异常应答：功能码 %1，异常码 %2（%3） ")
                           .arg(QtTools::toHex(quint32(event.function)).right(2),
                                QtTools::toHex(quint32(event.exceptionCode)).right(2),
                                ModbusRequest::exceptionMeaning(event.exceptionCode)));
            break;
        case CutEvent::TcpFrame:
            recordUnanswered();
            tcpFrame = QtTools::hexStringToByteArray(event.text);
            // Shown in the log even when no reply comes of it, as far as a flood allows.
            tcpFrameAnswered = tcpFramesShown++ >= kRepliesPerRead;
            break;
        case CutEvent::Identification: {
            // A module announces itself once; a stream of announcements is acted on once a second.
            if (identificationClock.isValid() && identificationClock.elapsed() < kIdentificationMs) {
                ++framesDropped;
                break;
            }
            identificationClock.start();
            cutter.setDeviceAddress(event.address);
            const int baud = serialPort && serialPort->isOpen() ? int(serialPort->baudRate())
                                                                : portSettings.baudRate;
            emit deviceAddressChange(event.address, baud);
            const QString shown = (event.shownAddress < 10 ? QStringLiteral("0") : QString())
                + QString::number(event.shownAddress);
            emit identify_deviceType(event.typeCode);
            qCDebug(lcFrames) << "deviceType=" << event.typeCode;
            const int model = ModelCatalogue::indexForTypeCode(event.typeCode);
            const QString modelText = model >= 0 ? ModelCatalogue::models().at(model).text()
                                                 : QString();
            say(LinkNotice::Severity::Info, tr("Device type", " 设备类型 ") + QStringLiteral(":")
                                                + modelText + QStringLiteral(" ")
                                                + tr("Device address", " 设备地址 ")
                                                + QStringLiteral(":") + shown);
            break;
        }
        case CutEvent::Garbage:
            ++garbageRuns;
            break;
        case CutEvent::ErrorWord:
            qCDebug(lcFrames) << "ERROR   (45 52 52 4F 52)";
            break;
        case CutEvent::Oversized:
            qCDebug(lcFrames) << "03size=" << event.text;
            break;
        case CutEvent::TcpDiscarded:
            ++garbageRuns;
            qCDebug(lcFrames) << "Modbus TCP frame of another transaction dropped:" << event.text;
            break;
        case CutEvent::TcpOutOfStep:
            ++garbageRuns;
            logLimited(tr("Network data out of step, dropped", " 网络数据错位，已丢弃 "));
            break;
        }
    }
    recordUnanswered();
    if (garbageRuns > 0 || framesDropped > 0)
        emit framesRejected(garbageRuns, framesDropped);
    if (framesDropped > 0) {
        suppressedLines += framesDropped;
        if (!suppressedTimer->isActive())
            suppressedTimer->start(kSuppressedReportMs);
    }
}
