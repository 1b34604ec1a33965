#include "simulator/simlinks.h"

#include "simulator/modulesimulator.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QVector>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace MeroviSim {

namespace {

constexpr int kPeerPollMs = 10;
constexpr int kMbapPrefix = 6;     // transaction, protocol, length; the unit follows
constexpr int kMaxMbapLength = 254; // unit + PDU of at most 253 bytes

} // namespace

// ---------------------------------------------------------------- Endpoint

Endpoint::Endpoint(ModuleSimulator *module, Kind kind)
    : QObject(module), m_module(module), m_kind(kind)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Endpoint::pump);
    m_clock.start();
}

Endpoint::~Endpoint() = default;

void Endpoint::enqueue(const QByteArray &bytes, int delayMs, bool split, quint32 splitSeed,
                       std::function<void()> after)
{
    if (delayMs <= 0 && !split && m_queue.isEmpty()) {
        if (!bytes.isEmpty())
            writeNow(bytes);
        if (after)
            after();
        queueDrained();
        return;
    }
    qint64 due = m_clock.elapsed() + qMax(0, delayMs);
    if (!m_queue.isEmpty())
        due = qMax(due, m_queue.last().due);
    if (!split || bytes.size() < 2) {
        m_queue.append({ due, bytes, after });
    } else {
        QRandomGenerator random(splitSeed);
        int position = 0;
        while (position < bytes.size()) {
            int length = random.bounded(1, 5);
            if (position == 0)
                length = qMin(length, bytes.size() - 1); // always at least two pieces
            length = qMin(length, bytes.size() - position);
            m_queue.append({ due, bytes.mid(position, length), {} });
            position += length;
            due += kSplitPauseMs;
        }
        m_queue.last().after = after;
    }
    if (!m_timer.isActive())
        m_timer.start(int(qMax<qint64>(0, m_queue.first().due - m_clock.elapsed())));
}

void Endpoint::pump()
{
    while (!m_queue.isEmpty() && m_queue.first().due <= m_clock.elapsed()) {
        const Item item = m_queue.takeFirst();
        if (!item.bytes.isEmpty())
            writeNow(item.bytes);
        if (item.after)
            item.after();
    }
    if (m_queue.isEmpty())
        queueDrained();
    else
        m_timer.start(int(qMax<qint64>(0, m_queue.first().due - m_clock.elapsed())));
}

// ---------------------------------------------------------------- TcpLink

TcpLink::TcpLink(ModuleSimulator *module, QTcpSocket *socket, int id)
    : Endpoint(module, Kind::Tcp), m_socket(socket), m_id(id)
{
    m_socket->setParent(this);
    // Replies go out as they are written (no Nagle), so split pieces stay pieces.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_socket, &QTcpSocket::readyRead, this, &TcpLink::onReadyRead);
}

TcpLink::~TcpLink() = default;

QString TcpLink::name() const
{
    return QStringLiteral("tcp#%1").arg(m_id);
}

bool TcpLink::peerPresent() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void TcpLink::closeAfterWrites()
{
    m_closing = true;
    if (idle())
        m_socket->disconnectFromHost();
}

void TcpLink::queueDrained()
{
    if (m_closing)
        m_socket->disconnectFromHost();
}

void TcpLink::writeNow(const QByteArray &bytes)
{
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->write(bytes);
}

void TcpLink::onReadyRead()
{
    m_rx.append(m_socket->readAll());
    while (!m_closing && m_rx.size() >= kMbapPrefix) {
        const int length = quint8(m_rx.at(4)) << 8 | quint8(m_rx.at(5));
        if (length < 1 || length > kMaxMbapLength) {
            // No way to find the next frame: a server drops such a connection.
            m_module->logLine(QStringLiteral("%1 bad MBAP length %2, connection closed")
                                  .arg(name())
                                  .arg(length));
            m_rx.clear();
            m_closing = true;
            m_socket->abort();
            return;
        }
        if (m_rx.size() < 6 + length)
            return;
        const QByteArray frame = m_rx.left(kMbapPrefix + length);
        m_rx.remove(0, kMbapPrefix + length);
        m_module->frameIn(this, frame);
    }
}

// ---------------------------------------------------------------- PtyLink

PtyLink::PtyLink(ModuleSimulator *module) : Endpoint(module, Kind::Rtu)
{
    m_poll.setInterval(kPeerPollMs);
    connect(&m_poll, &QTimer::timeout, this, &PtyLink::onPoll);
    m_silence.setSingleShot(true);
    m_silence.setTimerType(Qt::PreciseTimer);
    connect(&m_silence, &QTimer::timeout, this, &PtyLink::onSilence);
    m_lastByte.start();
}

PtyLink::~PtyLink()
{
    delete m_notifier;
    if (m_master >= 0)
        ::close(m_master);
}

bool PtyLink::open()
{
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    termios settings {};
    if (::tcgetattr(slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, B115200);
        settings.c_cflag |= CLOCAL | CREAD;
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    // The slave is left to the tool: while nobody has it open the master reports a
    // hang-up, which is how the simulator sees the line being opened and closed.
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    m_master = master;
    m_path = QString::fromLocal8Bit(name);
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    m_notifier->setEnabled(false);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLink::onReadable);
    m_poll.start();
    return true;
}

void PtyLink::setBaudRate(int baud)
{
    m_silenceMicros = silenceMicros(baud);
}

void PtyLink::setRequiredBaud(int baud)
{
    m_requiredBaud = baud;
}

int PtyLink::lineSpeed() const
{
    // On Linux the master reports the termios of the slave, as the tool set it up.
    termios settings {};
    if (::tcgetattr(m_master, &settings) != 0)
        return 0;
    static const QVector<QPair<speed_t, int>> rates = {
        { B50, 50 }, { B75, 75 }, { B110, 110 }, { B134, 134 }, { B150, 150 }, { B200, 200 },
        { B300, 300 }, { B600, 600 }, { B1200, 1200 }, { B1800, 1800 }, { B2400, 2400 },
        { B4800, 4800 }, { B9600, 9600 }, { B19200, 19200 }, { B38400, 38400 },
        { B57600, 57600 }, { B115200, 115200 }, { B230400, 230400 }, { B460800, 460800 },
        { B500000, 500000 }, { B576000, 576000 }, { B921600, 921600 }, { B1000000, 1000000 },
        { B1152000, 1152000 }, { B1500000, 1500000 }, { B2000000, 2000000 },
    };
    const speed_t speed = ::cfgetospeed(&settings);
    for (const auto &rate : rates) {
        if (rate.first == speed)
            return rate.second;
    }
    return 0;
}

int PtyLink::silenceMicros(int baud)
{
    return qRound(SerialTiming::silenceMicros(baud));
}

void PtyLink::writeNow(const QByteArray &bytes)
{
    if (!m_peerOpen || m_master < 0)
        return; // nobody on the line: the bytes are lost, as on a real wire
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd descriptor { m_master, POLLOUT, 0 };
            ::poll(&descriptor, 1, 50);
        } else {
            return;
        }
    }
}

void PtyLink::onPoll()
{
    pollfd descriptor { m_master, POLLIN, 0 };
    if (::poll(&descriptor, 1, 0) < 0)
        return;
    if (descriptor.revents & POLLHUP)
        return;
    m_peerOpen = true;
    m_poll.stop();
    m_notifier->setEnabled(true);
    m_module->serialOpenedByPeer();
    onReadable();
}

void PtyLink::onReadable()
{
    if (!readPending())
        return;
    cutFrames();
    if (!m_rx.isEmpty() || m_discard)
        m_silence.start(qMax(1, (m_silenceMicros + 999) / 1000));
}

void PtyLink::onSilence()
{
    // Bytes already waiting arrived before the silence ran out (the event loop was late).
    if (readPending()) {
        cutFrames();
        if (!m_rx.isEmpty() || m_discard)
            m_silence.start(qMax(1, (m_silenceMicros + 999) / 1000));
        return;
    }
    frameEndedBySilence();
}

bool PtyLink::readPending()
{
    if (!m_peerOpen)
        return false;
    bool got = false;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            if (!m_discard)
                m_rx.append(buffer, int(n));
            got = true;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        hangUp(); // EIO: the last program holding the slave closed it
        return false;
    }
    if (got) {
        m_lastByte.restart();
        const int speed = lineSpeed();
        if (m_requiredBaud > 0 && speed != m_requiredBaud && !m_discard) {
            // Characters at another rate reach a UART as noise: nothing of it is a frame.
            m_module->noiseIgnored(QStringLiteral("rtu %1 bytes at %2 baud, the module listens at %3: noise")
                                       .arg(m_rx.size())
                                       .arg(speed)
                                       .arg(m_requiredBaud));
            m_rx.clear();
            m_discard = true;
        }
    }
    return got;
}

void PtyLink::hangUp()
{
    m_peerOpen = false;
    m_notifier->setEnabled(false);
    ::tcflush(m_master, TCIOFLUSH);
    m_rx.clear();
    m_discard = false;
    m_silence.stop();
    m_poll.start();
    m_module->logLine(QStringLiteral("rtu serial line closed by the tool"));
}

int PtyLink::expectedLength() const
{
    if (m_rx.isEmpty())
        return -1;
    const QByteArray scanDevice = ModuleCore::identificationRequest();
    if (scanDevice.startsWith(m_rx.left(scanDevice.size())))
        return scanDevice.size();
    if (m_rx.size() < 2)
        return -1;
    const quint8 function = quint8(m_rx.at(1));
    switch (function) {
    case 0x01: case 0x02: case 0x03: case 0x04: case 0x05: case 0x06: case 0x08:
        return 8;
    case 0x07: case 0x0B: case 0x0C: case 0x11:
        return 4;
    case 0x0F: case 0x10:
        return m_rx.size() < 7 ? -1 : 9 + quint8(m_rx.at(6));
    case 0x16:
        return 10;
    case 0x17:
        return m_rx.size() < 11 ? -1 : 13 + quint8(m_rx.at(10));
    case 0x18:
        return 6;
    default:
        return 0; // unknown layout: the silence ends the frame
    }
}

void PtyLink::cutFrames()
{
    while (!m_rx.isEmpty() && !m_discard) {
        const int need = expectedLength();
        if (need <= 0 || m_rx.size() < need)
            return;
        const QByteArray frame = m_rx.left(need);
        if (!ModuleCore::crcOk(frame)) {
            // A slave cannot tell where the next frame starts: it waits for the silence.
            m_module->noiseIgnored(QStringLiteral("rtu bad CRC, frame ignored: %1")
                                       .arg(QString::fromLatin1(m_rx.toHex(' '))));
            m_rx.clear();
            m_discard = true;
            return;
        }
        m_rx.remove(0, need);
        deliver(frame);
    }
}

void PtyLink::frameEndedBySilence()
{
    if (m_discard) {
        m_discard = false;
        m_rx.clear();
        return;
    }
    if (m_rx.isEmpty())
        return;
    const QByteArray frame = m_rx;
    m_rx.clear();
    if (frame.size() >= 4 && ModuleCore::crcOk(frame)) {
        deliver(frame);
        return;
    }
    m_module->noiseIgnored(QStringLiteral("rtu incomplete or damaged frame ignored: %1")
                               .arg(QString::fromLatin1(frame.toHex(' '))));
}

void PtyLink::deliver(const QByteArray &frame)
{
    m_module->frameIn(this, frame);
}

} // namespace MeroviSim
