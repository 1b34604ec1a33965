#include "link/threadadministrator.h"

#include "protocol/modbusrequest.h"
#include "protocol/replydecoder.h"
#include "link/sendsteptimer.h"

#include <QDateTime>
#include <QStringList>
#include <QTimer>

#include <cmath>

namespace {

constexpr std::chrono::milliseconds kSendDelay{20};
// A Modbus RTU character is 11 bits (start, 8 data, parity or a second stop, stop).
constexpr double kBitsPerCharacter = 11.0;
constexpr double kSilenceCharacters = 3.5;
constexpr int kHealthReportMs = 200;

struct TimeoutRow
{
    int baudRate;
    int replyMs;
    int writeNetworkMs;
};

const TimeoutRow kReplyTimeouts[] = {
    {115200, 400, 2000}, {57600, 400, 3000}, {38400, 500, 4000}, {19200, 600, 5000},
    {9600, 700, 6000},   {4800, 800, 7000},  {2400, 900, 8000},  {1200, 1000, 9000},
};

} // namespace

ThreadAdministrator::ThreadAdministrator(QObject *mainWindow)
    : mainWindow(mainWindow)
{
}

ThreadAdministrator::~ThreadAdministrator()
{
    qDeleteAll(senders);
}

int ThreadAdministrator::replyTimeoutFor(int baudRate, const QString &kind)
{
    for (const TimeoutRow &row : kReplyTimeouts) {
        if (row.baudRate == baudRate)
            return kind == ModbusRequest::kWriteNetwork ? row.writeNetworkMs : row.replyMs;
    }
    return -1;
}

std::chrono::microseconds ThreadAdministrator::sendStepFor(int baudRate, bool network)
{
    if (network || baudRate <= 0)
        return kSendDelay;
    const double silenceUs = kSilenceCharacters * kBitsPerCharacter * 1e6 / baudRate + 1000.0;
    return std::max<std::chrono::microseconds>(
        kSendDelay, std::chrono::microseconds(qint64(std::ceil(silenceUs))));
}

bool ThreadAdministrator::isPolling(const QString &kind)
{
    return kind == ModbusRequest::kStartDetecting || kind == ModbusRequest::kAnalogStartDetecting;
}

void ThreadAdministrator::init()
{
    qRegisterMetaType<LinkHealth>();
    administratorTimer = new QTimer(this);
    connect(administratorTimer, &QTimer::timeout, this,
            &ThreadAdministrator::slot_administratorTimer);
    // One pending send step at a time: a second request for it only moves it.
    sendStepTimer = new SendStepTimer(kSendDelay, this);
    connect(sendStepTimer, &SendStepTimer::timeout, this, [this]() {
        if (senders.isEmpty())
            return;
        sendFirst();
    });
    // The figures change with every exchange; the window hears of them a few times a second.
    healthTimer = new QTimer(this);
    healthTimer->setSingleShot(true);
    healthTimer->setInterval(kHealthReportMs);
    connect(healthTimer, &QTimer::timeout, this, [this]() { emit linkHealthChanged(health); });
    // Requests can arrive before the timers exist (the window queues as soon as a model
    // is chosen); the first of them would otherwise never be sent and block the queue.
    if (!senders.isEmpty())
        startSend();
}

void ThreadAdministrator::write(Sender *sender)
{
    if (!sender)
        return;
    QString data = sender->data;
    if (data.startsWith(QLatin1String("01")))
        data.replace(0, 2, deviceAddress);
    for (int i = 0; i < senders.size(); ++i) {
        Sender *queued = senders.at(i);
        if (queued->kind != sender->kind)
            continue;
        // A command that changes what the queued one says (a switch flipped back, a new
        // analog value) is not lost: the newer one replaces it, or follows the one on the wire.
        const bool onWire = i == 0 && (headOnWire || (sendStepTimer && sendStepTimer->isActive()));
        if (queued->data != data && !onWire) {
            queued->data = data;
            delete sender;
            return;
        }
        if (queued->data != data)
            break;
        delete sender;
        if (senders.size() == 1)
            startSend();
        return;
    }
    // Polling waits for the link; anything else asked without one is refused at once.
    if (!linkOpen && !isPolling(sender->kind)) {
        refuse(sender);
        return;
    }
    if (sender->data.startsWith(QLatin1String("01")))
        sender->data.replace(0, 2, deviceAddress);
    const int timeout = replyTimeoutFor(baudRate, sender->kind);
    if (timeout > 0)
        replyTimeout = timeout;
    senders.append(sender);
    if (senders.size() == 1)
        startSend();
}

void ThreadAdministrator::startSend()
{
    headOnWire = false;
    if (administratorTimer)
        administratorTimer->stop();
    if (!sendStepTimer)
        return;
    if (!linkOpen) {
        // Nothing can go out: what is not polling is refused, polling waits for the link.
        for (int i = 0; i < senders.size();) {
            if (isPolling(senders.at(i)->kind))
                ++i;
            else
                refuse(senders.takeAt(i));
        }
        sendStepTimer->stop();
        return;
    }
    sendStepTimer->setInterval(sendStepFor(baudRate, netWorkConnected));
    sendStepTimer->start();
}

// The head went out and the link went away before its reply: unanswered, not unsent.
void ThreadAdministrator::headUnansweredOnLinkLoss()
{
    ++health.timeouts;
    ++health.consecutiveTimeouts;
    healthChanged();
    headOnWire = false;
    administratorTimer->stop();
    emit requestFailed(senders.first()->kind, QStringLiteral("link lost"));
    if (!isPolling(senders.first()->kind))
        delete senders.takeFirst();
}

void ThreadAdministrator::refuse(Sender *sender)
{
    emit requestFailed(sender->kind, QStringLiteral("not sent"));
    emit writeOutputWidget(tr("Not sent: no connection (%1)", " 未发送：没有连接（%1） ")
                               .arg(sender->kind),
                           QColor(Qt::red));
    delete sender;
}

void ThreadAdministrator::sendFirst()
{
    const QString data = senders.first()->data;
    // Only frames for the current module with a function code it knows go out;
    // the others expire by the reply time-out.
    const bool sendable = data.leftRef(2).compare(deviceAddress, Qt::CaseInsensitive) == 0
        && ModbusRequest::isSupportedFunction(data.midRef(2, 2));
    if (sendable) {
        if (netWorkConnected)
            emit writeSerialPort(data);
        else
            emit writeSerialPort_CRC16(data);
        ++health.sent;
        healthChanged();
        headOnWire = true;
        headSentAt.start();
    }
    administratorTimer->start(replyTimeout);
}

void ThreadAdministrator::finishHead(bool requeue)
{
    if (requeue)
        moveToLastAndWrite();
    else
        popAndWrite();
}

void ThreadAdministrator::healthChanged()
{
    if (healthTimer && !healthTimer->isActive())
        healthTimer->start();
}

void ThreadAdministrator::setLinkOpen(bool open)
{
    if (linkOpen == open)
        return;
    linkOpen = open;
    if (!open && headOnWire && !senders.isEmpty())
        headUnansweredOnLinkLoss();
    if (!senders.isEmpty())
        startSend();
}

void ThreadAdministrator::setDeviceAddress(QString address)
{
    deviceAddress = address;
    readdressPolling();
}

void ThreadAdministrator::resetLinkHealth()
{
    health = LinkHealth();
    emit linkHealthChanged(health);
}

void ThreadAdministrator::framesRejected(int garbageRuns, int unmatchedFrames)
{
    health.garbage += quint64(qMax(garbageRuns, 0));
    health.unmatched += quint64(qMax(unmatchedFrames, 0));
    healthChanged();
}

void ThreadAdministrator::readdressPolling()
{
    // Polling requests ask the module that is there now.
    for (Sender *sender : qAsConst(senders)) {
        if (isPolling(sender->kind) && sender->data.size() >= 2)
            sender->data.replace(0, 2, deviceAddress);
    }
}

void ThreadAdministrator::popAndWrite()
{
    if (senders.isEmpty()) {
        if (administratorTimer)
            administratorTimer->stop();
        return;
    }
    delete senders.takeFirst();
    startSend();
}

void ThreadAdministrator::moveToLastAndWrite()
{
    if (senders.isEmpty()) {
        if (administratorTimer)
            administratorTimer->stop();
        return;
    }
    if (senders.size() > 1)
        senders.append(senders.takeFirst());
    startSend();
}

void ThreadAdministrator::deviceAddressChange(QString address, int baud)
{
    deviceAddress = address.toUpper();
    baudRate = baud;
    readdressPolling();
    emit deviceAddressShown(deviceAddress);
}

void ThreadAdministrator::clearAll()
{
    qDeleteAll(senders);
    senders.clear();
}

void ThreadAdministrator::windowClose()
{
    if (administratorTimer)
        administratorTimer->stop();
    if (sendStepTimer)
        sendStepTimer->stop();
    clearAll();
}

void ThreadAdministrator::sendersClear(QString key)
{
    if (key.isEmpty()) {
        clearAll();
        if (administratorTimer)
            administratorTimer->stop();
        if (sendStepTimer)
            sendStepTimer->stop();
        headOnWire = false;
        return;
    }
    const Sender *head = senders.isEmpty() ? nullptr : senders.first();
    for (int i = 0; i < senders.size();) {
        if (senders.at(i)->kind.contains(key))
            delete senders.takeAt(i);
        else
            ++i;
    }
    // The reply timer belonged to the removed head; the next request gets its own.
    if (head && (senders.isEmpty() || senders.first() != head)) {
        if (senders.isEmpty()) {
            headOnWire = false;
            administratorTimer->stop();
            sendStepTimer->stop();
        } else {
            startSend();
        }
    }
}

void ThreadAdministrator::slot_administratorTimer()
{
    if (senders.isEmpty()) {
        administratorTimer->stop();
        return;
    }
    const QString kind = senders.first()->kind;
    if (headOnWire) {
        ++health.timeouts;
        ++health.consecutiveTimeouts;
        healthChanged();
    }
    if (kind == ModbusRequest::kUiText)
        emit writeOutputWidget(tr("No reply within %1 ms", " %1 毫秒内无回复 ").arg(replyTimeout),
                               QColor(Qt::red));
    emit replyTimedOut();
    emit requestFailed(kind, QStringLiteral("timeout"));
    // A lost reply does not end polling: the request waits for its next turn.
    finishHead(isPolling(kind));
}

void ThreadAdministrator::exceptionReply(int function, int exceptionCode)
{
    ++health.exceptions;
    healthChanged();
    if (senders.isEmpty() || !headOnWire)
        return;
    const QString data = senders.first()->data;
    bool ok = false;
    const int headFunction = data.midRef(2, 2).toInt(&ok, 16);
    if (!ok || headFunction != function)
        return;
    // The module answered: the request is done (polling goes on at its next turn).
    emit requestFailed(senders.first()->kind,
                       QStringLiteral("exception %1").arg(exceptionCode, 2, 16, QLatin1Char('0')));
    finishHead(isPolling(senders.first()->kind));
}

void ThreadAdministrator::slot_dealWithData(QString reply)
{
    if (senders.isEmpty()) {
        ++health.unmatched;
        healthChanged();
        return;
    }
    const ReplyDecoder::Dispatch result = ReplyDecoder::dispatch(
        reply, senders.first()->kind, deviceAddress, netWorkConnected, senders.first()->data);
    if (result.showRaw)
        emit UIappendData(reply);
    if (!result.accepted || !headOnWire) {
        if (result.rejection == ReplyDecoder::Dispatch::BadCrc)
            ++health.badCrc;
        else
            ++health.unmatched;
        healthChanged();
        return;
    }
    health.recordReply(headSentAt.elapsed(), QDateTime::currentMSecsSinceEpoch());
    emit replyReceived(senders.first()->kind, reply);
    healthChanged();

    const QString kind = senders.first()->kind;
    if (result.popBeforeSignal && result.then == ReplyDecoder::Dispatch::Pop)
        popAndWrite();

    using D = ReplyDecoder::Dispatch;
    switch (result.signal) {
    case D::NoSignal:
        break;
    case D::ChangeCtlOuts:
        emit change_ctlOuts(result.text);
        break;
    case D::ChangeInputs:
        emit change_inputs(result.text);
        break;
    case D::AnalogInput:
        emit analogInput(result.text);
        break;
    case D::ReadAnalogOutput:
        emit readAnalogOuput(kind, result.text);
        break;
    case D::CommunicationTimeOut:
        emit creatCommunicationTimeOut(result.text);
        break;
    case D::NetworkProcessing:
        emit netWorkProcessing(result.text);
        break;
    case D::ClickButton:
        emit click_QPushButton(result.number);
        break;
    case D::AllOpen:
        emit allOpen(result.number);
        break;
    case D::Log:
        emit writeOutputWidget(result.text, QColor(Qt::black));
        break;
    }

    if (result.popBeforeSignal)
        return;
    if (result.then == D::Pop)
        popAndWrite();
    else if (result.then == D::Requeue)
        moveToLastAndWrite();
}
