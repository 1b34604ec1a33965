#include "check/modulefinder.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"

#include <QStringList>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTcpStepMs = 20;
// 11 bits a character: start, 8 data, parity or a second stop bit, stop.
constexpr double kBitsPerCharacter = 11.0;
constexpr int kReadRequestBytes = 8;
// A read whose third byte is 3 is 8 bytes long whether it is read as a request or as the
// reply to one (address, function, byte count 3, 3 bytes, CRC).
constexpr quint16 kRealignRegister = 0x0300;
constexpr double kSilenceCharacters = 3.5;
constexpr int kIdentificationRequestBytes = 12; // "ScanDevice" and its CRC
constexpr int kIdentificationReplyBytes = 15;
constexpr int kMaxReceived = 4096;
constexpr int kReadReplyBytes = 7;
constexpr int kExceptionReplyBytes = 5;
constexpr int kMbapBytes = 7;

quint16 wireCrc(const QByteArray &bytes, int at)
{
    return quint16((uchar(bytes.at(at)) << 8) | uchar(bytes.at(at + 1)));
}

bool crcOk(const QByteArray &bytes, int at, int length)
{
    const quint16 crc = QtTools::crc16(reinterpret_cast<const uchar *>(bytes.constData() + at),
                                       quint8(length - 2));
    return crc == wireCrc(bytes, at + length - 2);
}

} // namespace

QString FoundModule::framingText() const
{
    if (network)
        return QStringLiteral("TCP");
    const QChar parityLetter = parity == QSerialPort::EvenParity
        ? QLatin1Char('E')
        : parity == QSerialPort::OddParity ? QLatin1Char('O') : QLatin1Char('N');
    return QString::number(int(dataBits)) + parityLetter + QString::number(int(stopBits));
}

QString FoundModule::modelText() const
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    return modelIndex >= 0 && modelIndex < models.size() ? models.at(modelIndex).text()
                                                         : QString();
}

ModuleFinder::ModuleFinder(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    qRegisterMetaType<FoundModule>("FoundModule");
    qRegisterMetaType<ModuleFinder::Outcome>("ModuleFinder::Outcome");
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &ModuleFinder::onTimeout);
}

ModuleFinder::~ModuleFinder()
{
    closeDevices();
}

int ModuleFinder::answerWaitMs(int baudRate, int requestBytes, int replyBytes)
{
    if (baudRate <= 0)
        return kTcpAnswerMs;
    const double characters = requestBytes + replyBytes + kSilenceCharacters;
    return int(std::ceil(characters * kBitsPerCharacter * 1000.0 / baudRate)) + kTurnaroundMs;
}

int ModuleFinder::identifyWaitMs(int baudRate)
{
    return answerWaitMs(baudRate, kIdentificationRequestBytes, kIdentificationReplyBytes);
}

int ModuleFinder::sweepWaitMs(int baudRate)
{
    return answerWaitMs(baudRate, kReadRequestBytes, kReadReplyBytes);
}

int ModuleFinder::silenceMs(int baudRate)
{
    if (baudRate <= 0)
        return kTcpStepMs;
    return int(std::ceil(kSilenceCharacters * kBitsPerCharacter * 1000.0 / baudRate)) + 1;
}

QVector<int> ModuleFinder::rtuAnswers(const QByteArray &bytes, int first, int last)
{
    QVector<int> answers;
    for (int at = 0; at + kExceptionReplyBytes <= bytes.size(); ++at) {
        const int address = uchar(bytes.at(at));
        if (address < first || address > last || answers.contains(address))
            continue;
        const uchar function = uchar(bytes.at(at + 1));
        const bool reply = function == 0x03 && at + kReadReplyBytes <= bytes.size()
            && bytes.at(at + 2) == 2 && crcOk(bytes, at, kReadReplyBytes);
        const bool exception = function == 0x83 && crcOk(bytes, at, kExceptionReplyBytes);
        if (reply || exception)
            answers.append(address);
    }
    return answers;
}

QVector<int> ModuleFinder::tcpAnswers(const QByteArray &bytes, int first, int last)
{
    QVector<int> answers;
    for (int at = 0; at + kMbapBytes + 2 <= bytes.size(); ++at) {
        if (bytes.at(at + 2) != 0 || bytes.at(at + 3) != 0)
            continue;
        const int length = (uchar(bytes.at(at + 4)) << 8) | uchar(bytes.at(at + 5));
        const int address = uchar(bytes.at(at + 6));
        if (address < first || address > last || answers.contains(address)
            || at + 6 + length > bytes.size())
            continue;
        const uchar function = uchar(bytes.at(at + 7));
        const bool reply = function == 0x03 && length == 5 && bytes.at(at + 8) == 2;
        const bool exception = function == 0x83 && length == 3;
        if (reply || exception)
            answers.append(address);
    }
    return answers;
}

bool ModuleFinder::holdsException(const QByteArray &bytes, bool network)
{
    if (network) {
        for (int at = 0; at + kMbapBytes + 2 <= bytes.size(); ++at) {
            if (bytes.at(at + 2) == 0 && bytes.at(at + 3) == 0 && bytes.at(at + 4) == 0
                && bytes.at(at + 5) == 3 && (uchar(bytes.at(at + 7)) & 0x80))
                return true;
        }
        return false;
    }
    for (int at = 0; at + kExceptionReplyBytes <= bytes.size(); ++at) {
        if ((uchar(bytes.at(at + 1)) & 0x80) && crcOk(bytes, at, kExceptionReplyBytes))
            return true;
    }
    return false;
}

QByteArray ModuleFinder::identificationRequest()
{
    return QtTools::hexStringToByteArray(QtTools::appendCrc16(ModbusRequest::identification()));
}

QByteArray ModuleFinder::readRequest(int address, bool network)
{
    const QString addressText = QtTools::toHex(quint32(address)).right(2);
    QString text = ModbusRequest::wireText(ModbusRequest::checkStatus(1), addressText, network);
    return QtTools::hexStringToByteArray(text.remove(QLatin1Char(' ')));
}

QByteArray ModuleFinder::realignRequest(int address)
{
    const QString text = QtTools::toHex(quint32(address)).right(2) + QStringLiteral("03")
        + QtTools::toHex(quint32(kRealignRegister)).right(4) + QStringLiteral("0001");
    return QtTools::hexStringToByteArray(QtTools::appendCrc16(text));
}

void ModuleFinder::startSerial(const SerialTarget &target)
{
    if (isRunning())
        return;
    m_network = false;
    m_target = target;
    m_endpoint = target.portName;
    m_results.clear();
    m_error.clear();
    if (target.baudRates.isEmpty()) {
        finish(Failed, tr("No baud rate to try", " 没有可尝试的波特率 "));
        return;
    }
    m_serial = new QSerialPort(this);
    m_serial->setPortName(target.portName);
    m_serial->setBaudRate(target.baudRates.first());
    m_serial->setDataBits(target.dataBits);
    m_serial->setParity(target.parity);
    m_serial->setStopBits(target.stopBits);
    m_serial->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_serial->open(QIODevice::ReadWrite)) {
        finish(Failed, m_serial->errorString());
        return;
    }
    connect(m_serial, &QSerialPort::readyRead, this, &ModuleFinder::onReadyRead);
    connect(m_serial, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError && isRunning())
            finish(m_results.isEmpty() ? Failed : Completed, m_serial->errorString());
    });
    identifyAt(0);
}

void ModuleFinder::startTcp(const QString &host, quint16 port)
{
    if (isRunning())
        return;
    m_network = true;
    m_endpoint = host + QLatin1Char(':') + QString::number(port);
    m_results.clear();
    m_error.clear();
    m_host = host;
    m_port = port;
    m_sweepOnConnect = false;
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &ModuleFinder::onReadyRead);
    connect(m_socket, &QTcpSocket::connected, this, [this]() {
        if (m_sweepOnConnect)
            sweepAt(0);
        else
            identifyAt(0);
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (!isRunning())
            return;
        // A server that does not know the identification request may hang up on it.
        if (m_phase == Phase::Identify && error == QAbstractSocket::RemoteHostClosedError
            && m_results.isEmpty()) {
            m_timer->stop();
            startSweep();
            return;
        }
        finish(m_results.isEmpty() ? Failed : Completed, m_socket->errorString());
    });
    m_phase = Phase::Connecting;
    m_step = 0;
    emit progress(tr("Connecting to %1", " 正在连接 %1 ").arg(m_endpoint), 0);
    m_timer->start(kTcpConnectMs);
    m_socket->connectToHost(host, port);
}

void ModuleFinder::cancel()
{
    if (isRunning())
        finish(Cancelled);
}

int ModuleFinder::currentRate() const
{
    return m_network ? 0 : m_target.baudRates.value(m_rateIndex);
}

bool ModuleFinder::foundAtCurrentRate() const
{
    for (const FoundModule &module : m_results) {
        if (module.baudRate == currentRate())
            return true;
    }
    return false;
}

FoundModule ModuleFinder::baseResult() const
{
    FoundModule module;
    module.port = m_endpoint;
    module.network = m_network;
    module.baudRate = currentRate();
    if (!m_network) {
        module.dataBits = m_target.dataBits;
        module.parity = m_target.parity;
        module.stopBits = m_target.stopBits;
    }
    return module;
}

void ModuleFinder::identifyAt(int rateIndex)
{
    m_rateIndex = rateIndex;
    m_sweeping = false;
    m_received.clear();
    m_cutter.clear();
    m_step = rateIndex + 1;
    QIODevice *device = m_socket;
    QByteArray request = identificationRequest();
    if (m_network) {
        m_timer->stop();
        emit progress(tr("Asking the module at %1 to identify itself",
                         " 请求 %1 的模块报告身份 ").arg(m_endpoint), m_step);
        request = QtTools::hexStringToByteArray(
            QtTools::toModbusTcpFrame(QString::fromLatin1(request.toHex())));
    } else {
        const int rate = currentRate();
        m_serial->setBaudRate(rate);
        m_serial->clear();
        device = m_serial;
        emit progress(tr("%1 baud: asking any module to identify itself",
                         " %1 波特：请求模块报告身份 ").arg(rate), m_step);
    }
    m_phase = Phase::Identify;
    device->write(request);
    // Also when nothing answers, the silence after it keeps the request a frame of its own.
    m_timer->start(identifyWaitMs(currentRate()));
}

void ModuleFinder::sweepAt(int rateIndex)
{
    m_rateIndex = rateIndex;
    m_sweeping = true;
    m_received.clear();
    m_cutter.clear();
    if (!m_network) {
        m_serial->setBaudRate(currentRate());
        m_serial->clear();
    }
    m_address = kFirstAddress;
    m_realigning = false;
    sendRead();
}

// Nothing identified itself: the sweep, on a line that is quiet again.
void ModuleFinder::startSweep()
{
    if (m_network) {
        // A server that does not know the identification request may take its text for the
        // next request's header; a new connection starts a clean stream.
        m_sweepOnConnect = true;
        m_phase = Phase::Connecting;
        m_socket->abort();
        m_timer->start(kTcpConnectMs);
        m_socket->connectToHost(m_host, m_port);
        return;
    }
    // A slave that cuts frames by their length rather than by the silence between them
    // (libmodbus waits up to 0.5 s for the rest of a frame and 0.5 s for another slave's
    // reply) has given up on the identification request by then.
    m_phase = Phase::Settle;
    emit progress(tr("Waiting for the line to settle", " 等待线路静默 "), m_step);
    m_timer->start(kSettleMs);
}

void ModuleFinder::sendRead()
{
    const int addresses = kLastAddress - kFirstAddress + 1;
    const int identifySteps = m_network ? 1 : m_target.baudRates.size();
    m_step = identifySteps + m_rateIndex * addresses + (m_address - kFirstAddress) + 1;
    if (m_network) {
        emit progress(tr("%1: reading address %2", " %1：读取地址 %2 ")
                          .arg(m_endpoint).arg(m_address), m_step);
    } else {
        emit progress(tr("%1 baud: reading address %2", " %1 波特：读取地址 %2 ")
                          .arg(currentRate()).arg(m_address), m_step);
    }
    m_phase = Phase::Sweep;
    QIODevice *device = m_network ? static_cast<QIODevice *>(m_socket) : m_serial.data();
    // A slave that heard a request for another address may take the next frame for that
    // address's reply and skip it (libmodbus does). After a silent address the same address
    // is read once more, with a frame that is whole either way, so such a slave is in step
    // again for the next address.
    device->write(m_realigning ? realignRequest(m_address) : readRequest(m_address, m_network));
    m_timer->start(sweepWaitMs(currentRate()));
}

void ModuleFinder::onTimeout()
{
    switch (m_phase) {
    case Phase::Idle:
        break;
    case Phase::Connecting:
        finish(Failed, tr("No connection to %1", " 无法连接 %1 ").arg(m_endpoint));
        break;
    case Phase::Identify:
        nextRateOrFinish(false);
        break;
    case Phase::Settle:
        sweepAt(0);
        break;
    case Phase::Sweep:
        if (!m_network && !m_realigning) {
            m_realigning = true;
            sendRead();
            break;
        }
        m_realigning = false;
        if (++m_address <= kLastAddress)
            sendRead();
        else
            endOfSweepRate();
        break;
    }
}

// A bus runs at one rate: once modules answered at this one, the search is done.
void ModuleFinder::nextRateOrFinish(bool sweeping)
{
    const int rates = m_network ? 1 : m_target.baudRates.size();
    const bool done = foundAtCurrentRate() && !m_target.allRates;
    if (!done && m_rateIndex + 1 < rates) {
        if (sweeping)
            sweepAt(m_rateIndex + 1);
        else
            identifyAt(m_rateIndex + 1);
    } else if (!sweeping && m_results.isEmpty()) {
        startSweep();
    } else {
        finish(Completed);
    }
}

// One device that answers for every address is one result, not 33.
void ModuleFinder::endOfSweepRate()
{
    QList<FoundModule> swept;
    for (const FoundModule &module : qAsConst(m_results)) {
        if (module.baudRate == currentRate() && module.how == FoundModule::ByAddressSweep)
            swept << module;
    }
    if (swept.size() == kLastAddress - kFirstAddress + 1) {
        FoundModule one = swept.first();
        one.everyAddress = true;
        m_results.erase(std::remove_if(m_results.begin(), m_results.end(),
                                       [this](const FoundModule &module) {
                                           return module.baudRate == currentRate()
                                               && module.how == FoundModule::ByAddressSweep;
                                       }),
                        m_results.end());
        m_results.append(one);
        swept = { one };
    }
    for (const FoundModule &module : qAsConst(swept))
        emit found(module);
    nextRateOrFinish(true);
}

void ModuleFinder::onReadyRead()
{
    QIODevice *device = m_network ? static_cast<QIODevice *>(m_socket) : m_serial.data();
    if (!device || !isRunning())
        return;
    const QByteArray bytes = device->readAll();
    if (m_phase == Phase::Connecting)
        return;
    m_received += bytes;
    if (m_received.size() > kMaxReceived)
        m_received = m_received.right(kMaxReceived / 2);

    // After an answer, only the silence that ends it before the next request.
    const int stepMs = silenceMs(currentRate());
    const QVector<CutEvent> events = m_network ? m_cutter.feedTcp(bytes) : m_cutter.feedSerial(bytes);
    for (const CutEvent &event : events) {
        if (event.type != CutEvent::Identification)
            continue;
        FoundModule module = baseResult();
        module.address = event.address.toInt(nullptr, 16);
        module.typeCode = event.typeCode;
        module.modelIndex = ModelCatalogue::indexForTypeCode(event.typeCode);
        const QString mac = event.text.mid(10, 12);
        if (mac != QLatin1String("000000000000") && mac != QLatin1String("ffffffffffff")) {
            QStringList octets;
            for (int i = 0; i < mac.size(); i += 2)
                octets << mac.mid(i, 2);
            module.mac = octets.join(QLatin1Char('-'));
        }
        module.how = FoundModule::ByIdentification;
        record(module);
        if (m_phase == Phase::Identify)
            m_timer->start(stepMs);
    }

    if (!m_sweeping) {
        // Refused: nothing more will come.
        if (m_phase == Phase::Identify && holdsException(m_received, m_network))
            m_timer->start(stepMs);
        return;
    }
    const QVector<int> answers = m_network ? tcpAnswers(m_received, kFirstAddress, m_address)
                                           : rtuAnswers(m_received, kFirstAddress, m_address);
    for (int address : answers) {
        FoundModule module = baseResult();
        module.address = address;
        module.how = FoundModule::ByAddressSweep;
        record(module);
    }
    // Told at the end of the rate, when it is clear whether one device answered for all.
    if (m_phase == Phase::Sweep && answers.contains(m_address)) {
        m_realigning = true; // answered: no second read
        m_timer->start(stepMs);
    }
}

void ModuleFinder::record(FoundModule module)
{
    for (FoundModule &known : m_results) {
        if (known.port == module.port && known.baudRate == module.baudRate
            && known.address == module.address) {
            if (known.how == FoundModule::ByIdentification || module.how != FoundModule::ByIdentification)
                return;
            known = module;
            if (module.how == FoundModule::ByIdentification)
                emit found(module);
            return;
        }
    }
    m_results.append(module);
    if (module.how == FoundModule::ByIdentification)
        emit found(module);
}

void ModuleFinder::finish(Outcome outcome, const QString &error)
{
    m_timer->stop();
    closeDevices();
    m_phase = Phase::Idle;
    m_sweeping = false;
    m_error = error;
    emit finished(outcome);
}

void ModuleFinder::closeDevices()
{
    if (m_serial) {
        m_serial->disconnect(this);
        m_serial->close();
        m_serial->deleteLater();
        m_serial.clear();
    }
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket.clear();
    }
}
