#include "simulator/modulesimulator.h"

#include "simulator/simlinks.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTime>
#include <QTimer>

#include <climits>
#include <cstdio>

using MeroviSim::Endpoint;
using MeroviSim::PtyLink;
using MeroviSim::TcpLink;

namespace {

constexpr quint8 kServerDeviceFailure = 0x04;

quint16 u16(const QByteArray &bytes, int at)
{
    return quint16(quint8(bytes.at(at)) << 8 | quint8(bytes.at(at + 1)));
}

QString exceptionName(int code)
{
    switch (code) {
    case 0x01: return QStringLiteral("illegal function");
    case 0x02: return QStringLiteral("illegal data address");
    case 0x03: return QStringLiteral("illegal data value");
    case kServerDeviceFailure: return QStringLiteral("server device failure");
    default: return QStringLiteral("exception");
    }
}

// "fc 03 addr 0x0000 qty 2" for the log, from the request alone.
QString describeRequest(const QByteArray &pdu)
{
    if (pdu.isEmpty())
        return QStringLiteral("empty request");
    const quint8 function = quint8(pdu.at(0));
    QString text = QStringLiteral("fc %1").arg(function, 2, 16, QLatin1Char('0'));
    if (pdu.size() >= 5 && function <= 0x10) {
        text += QStringLiteral(" addr 0x%1").arg(u16(pdu, 1), 4, 16, QLatin1Char('0'));
        if (function == 0x05 || function == 0x06)
            text += QStringLiteral(" qty 1 value 0x%1").arg(u16(pdu, 3), 4, 16, QLatin1Char('0'));
        else
            text += QStringLiteral(" qty %1").arg(u16(pdu, 3));
    }
    return text;
}

} // namespace

ModuleSimulator::ModuleSimulator(QObject *parent) : QObject(parent)
{
    m_clock.start();
    m_core.setClock([this] { return m_clock.elapsed(); });
    m_watchdog = new QTimer(this);
    m_watchdog->setSingleShot(true);
    m_watchdog->setTimerType(Qt::PreciseTimer);
    connect(m_watchdog, &QTimer::timeout, this, &ModuleSimulator::fireWatchdog);
}

ModuleSimulator::~ModuleSimulator()
{
    // Every link, also one that is closing or waiting for deleteLater, goes before the
    // members it reports to.
    m_tcpLinks.clear();
    const QList<TcpLink *> links = findChildren<TcpLink *>(QString(), Qt::FindDirectChildrenOnly);
    for (TcpLink *link : links) {
        link->socket()->disconnect(this);
        delete link;
    }
    delete m_pty;
    m_pty = nullptr;
}

void ModuleSimulator::setCounts(int outputs, int inputs, int analogOutputs, int analogInputs,
                                bool milliamps)
{
    m_core.setCounts(outputs, inputs, analogOutputs, analogInputs, milliamps);
    m_watchdog->stop();
}

bool ModuleSimulator::setModel(const QString &menuText)
{
    if (!m_core.setModel(menuText))
        return false;
    m_watchdog->stop();
    return true;
}

void ModuleSimulator::setHoldingRegister(quint16 address, quint16 value)
{
    const quint32 timeout = m_core.watchdogTimeoutMs();
    m_core.setHoldingRegister(address, value);
    if (m_core.watchdogTimeoutMs() != timeout)
        feedWatchdog();
}

// ---------------------------------------------------------------- watchdog and restart

void ModuleSimulator::feedWatchdog()
{
    const quint32 timeout = m_core.watchdogTimeoutMs();
    if (timeout > 0)
        m_watchdog->start(int(qMin<quint32>(timeout, INT_MAX)));
    else
        m_watchdog->stop();
}

void ModuleSimulator::fireWatchdog()
{
    const quint64 before = m_core.outputBits();
    m_core.watchdogExpired();
    logLine(QStringLiteral("watchdog: no valid request for %1 ms, outputs %2 -> %3")
                .arg(m_core.watchdogTimeoutMs())
                .arg(before, 0, 16)
                .arg(m_core.outputBits(), 0, 16));
    emit watchdogFired();
}

void ModuleSimulator::restart()
{
    doRestart();
}

void ModuleSimulator::doRestart()
{
    m_core.restart();
    closeTcpClients();
    m_restartClock.start();
    feedWatchdog();
    const QVector<quint16> block = m_core.activeNetworkBlock();
    const auto octets = [&block](int at) {
        return QStringLiteral("%1.%2.%3.%4").arg(block.at(at)).arg(block.at(at + 1)).arg(block.at(at + 2)).arg(block.at(at + 3));
    };
    logLine(QStringLiteral("restart: network block applied (IP %1 port %2, remote %3:%4, mode %5; "
                           "data only, the simulator still listens on 127.0.0.1)")
                .arg(octets(0))
                .arg(block.at(12))
                .arg(octets(13))
                .arg(block.at(17))
                .arg(block.at(18)));
    emit restarted();
}

bool ModuleSimulator::restarting() const
{
    return m_faults.restartDelayMs() > 0 && m_restartClock.isValid()
        && m_restartClock.elapsed() < m_faults.restartDelayMs();
}

// ---------------------------------------------------------------- requests

void ModuleSimulator::announce()
{
    const QByteArray reply = identificationReply();
    if (m_pty && m_pty->peerPresent())
        m_pty->enqueue(reply, 0, false, 0);
    QByteArray header;
    header.append(6, '\0');
    header[5] = char(reply.size());
    for (TcpLink *link : qAsConst(m_tcpLinks))
        link->enqueue(header + reply, 0, false, 0);
    logLine(QStringLiteral("announce: identification reply %1")
                .arg(QString::fromLatin1(reply.toHex(' '))));
}

void ModuleSimulator::noiseIgnored(const QString &what)
{
    m_faults.countIgnored();
    logLine(what);
    emit faultCountsChanged();
}

void ModuleSimulator::frameIn(Endpoint *link, const QByteArray &frame)
{
    const bool rtu = link->kind() == Endpoint::Kind::Rtu;
    const ModuleCore::Framing framing = rtu ? ModuleCore::Framing::Rtu : ModuleCore::Framing::Tcp;
    const ModuleCore::Result request = m_core.inspect(frame, framing);
    auto *tcpLink = rtu ? nullptr : static_cast<TcpLink *>(link);
    const bool identification = request.kind == ModuleCore::Kind::Identification;
    QString text = link->name() + QLatin1Char(' ')
        + (identification ? QStringLiteral("ScanDevice") : describeRequest(request.pdu));
    if (request.kind == ModuleCore::Kind::NotForThisModule)
        text = QStringLiteral("%1 unit %2 %3").arg(link->name()).arg(request.unit).arg(describeRequest(request.pdu));

    if (tcpLink && !identification && request.kind != ModuleCore::Kind::Ignored)
        ++tcpLink->requests;
    const auto disconnectIfDue = [&] {
        const int after = m_faults.disconnectAfter();
        if (tcpLink && after > 0 && tcpLink->requests >= after && !tcpLink->closing()) {
            logLine(QStringLiteral("%1 closed after %2 requests (fault injection)").arg(link->name()).arg(tcpLink->requests));
            m_faults.countDisconnect();
            tcpLink->closeAfterWrites();
            emit faultCountsChanged();
        }
    };

    switch (request.kind) {
    case ModuleCore::Kind::Ignored:
        noiseIgnored(QStringLiteral("%1 %2 ignored: %3").arg(link->name(), request.why, QString::fromLatin1(frame.toHex(' '))));
        return;
    case ModuleCore::Kind::NotForThisModule:
        noiseIgnored(text + QStringLiteral(" -> not for this module (unit %1), no answer").arg(m_core.address()));
        disconnectIfDue();
        return;
    case ModuleCore::Kind::Broadcast:
        if (restarting()) {
            logLine(text + QStringLiteral(" -> no answer (restarting)"));
            return;
        }
        if (m_core.handle(frame, framing).restart)
            doRestart();
        feedWatchdog();
        logLine(text + QStringLiteral(" -> broadcast, no answer"));
        return;
    default:
        break;
    }

    if (restarting()) {
        m_faults.muteRequest();
        logLine(text + QStringLiteral(" -> no answer (restarting)"));
        emit faultCountsChanged();
        return;
    }
    if (m_faults.dropRequest()) {
        logLine(text + QStringLiteral(" -> dropped (fault injection)"));
        emit faultCountsChanged();
        disconnectIfDue();
        return;
    }
    ModuleCore::Result result = request;
    if (!identification && m_faults.injectException()) {
        result.reply = m_core.exceptionReply(request, kServerDeviceFailure);
        result.exception = kServerDeviceFailure;
    } else {
        result = m_core.handle(frame, framing);
    }
    feedWatchdog();
    ++m_requestCount;
    emit requestHandled(result.function, result.address, result.quantity, result.exception != 0);

    QByteArray reply = result.reply;
    const int cleanBefore = m_faults.counts().clean;
    const QString notes = m_faults.spoil(&reply, rtu, result.exception != 0);
    const QString outcome = result.exception
        ? QStringLiteral("exception %1 (%2): ").arg(result.exception, 2, 16, QLatin1Char('0')).arg(exceptionName(result.exception))
        : QString();
    logLine(text + QStringLiteral(" -> ") + outcome + QString::fromLatin1(reply.toHex(' ')) + notes);
    std::function<void()> after;
    if (result.restart)
        after = [this] { doRestart(); };
    link->enqueue(reply, m_faults.delayMs(), m_faults.split(), m_faults.nextSplitSeed(), after);
    if (m_faults.counts().clean == cleanBefore)
        emit faultCountsChanged();
    disconnectIfDue();
}

// ---------------------------------------------------------------- transports

bool ModuleSimulator::listenTcp(quint16 port)
{
    if (!m_server) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &ModuleSimulator::acceptTcpClients);
    }
    if (m_server->isListening())
        m_server->close();
    // Loopback only: the simulator is never reachable from, nor talks to, another host.
    return m_server->listen(QHostAddress::LocalHost, port);
}

quint16 ModuleSimulator::tcpPort() const
{
    return m_server && m_server->isListening() ? m_server->serverPort() : 0;
}

void ModuleSimulator::acceptTcpClients()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        auto *link = new TcpLink(this, socket, m_nextClientId++);
        m_tcpLinks.append(link);
        connect(socket, &QTcpSocket::disconnected, this, [this, link] { tcpClientGone(link); });
        logLine(QStringLiteral("%1 client connected from %2:%3")
                    .arg(link->name(), socket->peerAddress().toString())
                    .arg(socket->peerPort()));
        emit clientConnected();
    }
}

void ModuleSimulator::tcpClientGone(TcpLink *link)
{
    if (!m_tcpLinks.removeOne(link))
        return;
    logLine(QStringLiteral("%1 client disconnected").arg(link->name()));
    link->deleteLater();
    emit clientDisconnected();
}

void ModuleSimulator::closeTcpClients()
{
    for (TcpLink *link : qAsConst(m_tcpLinks))
        link->closeAfterWrites();
}

QString ModuleSimulator::openPty()
{
    if (m_pty)
        return m_pty->slavePath();
    m_pty = new PtyLink(this);
    if (!m_pty->open()) {
        delete m_pty;
        m_pty = nullptr;
        return QString();
    }
    m_pty->setBaudRate(m_baud);
    m_pty->setRequiredBaud(m_baudMustMatch ? m_baud : 0);
    return m_pty->slavePath();
}

QString ModuleSimulator::ptyPath() const
{
    return m_pty ? m_pty->slavePath() : QString();
}

bool ModuleSimulator::serialLineOpen() const
{
    return m_pty && m_pty->peerPresent();
}

void ModuleSimulator::setBaudRate(int baud)
{
    m_baud = baud;
    if (m_pty) {
        m_pty->setBaudRate(baud);
        m_pty->setRequiredBaud(m_baudMustMatch ? m_baud : 0);
    }
}

void ModuleSimulator::setAnnounceOnOpen(bool on)
{
    m_announceOnOpen = on;
}

void ModuleSimulator::serialOpenedByPeer()
{
    logLine(QStringLiteral("rtu serial line opened by the tool"));
    emit serialLineOpened();
    if (m_announceOnOpen && !m_announced) {
        m_announced = true;
        const QByteArray reply = identificationReply();
        m_pty->enqueue(reply, 0, false, 0);
        logLine(QStringLiteral("rtu announce: identification reply %1")
                    .arg(QString::fromLatin1(reply.toHex(' '))));
    }
}

void ModuleSimulator::setBaudMustMatch(bool on)
{
    m_baudMustMatch = on;
    if (m_pty)
        m_pty->setRequiredBaud(on ? m_baud : 0);
}

// ---------------------------------------------------------------- log

void ModuleSimulator::setLogging(bool on)
{
    m_logging = on;
}

void ModuleSimulator::setLogFunction(std::function<void(const QString &)> sink)
{
    m_logSink = std::move(sink);
}

void ModuleSimulator::logLine(const QString &line)
{
    if (!m_logging)
        return;
    const QString text = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line;
    if (m_logSink) {
        m_logSink(text);
    } else {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }
}
