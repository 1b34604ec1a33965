#include "link/threadadministrator.h"

#include "protocol/modbusrequest.h"
#include "protocol/replydecoder.h"
#include "protocol/serialtiming.h"
#include "protocol/wireframe.h"
#include "link/sendsteptimer.h"

#include <QDateTime>
#include <QStringList>
#include <QTimer>

#include <cmath>

namespace {

constexpr std::chrono::milliseconds kSendDelay{20};
// Kept between the silence that ends a frame and the next request.
constexpr double kSilenceMarginUs = 1000.0;
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
    const double silenceUs = SerialTiming::silenceMicros(baudRate) + kSilenceMarginUs;
    return std::max<std::chrono::microseconds>(
        kSendDelay, std::chrono::microseconds(qint64(std::ceil(silenceUs))));
}

bool ThreadAdministrator::isPolling(const QString &kind)
{
    return kind == ModbusRequest::kStartDetecting || kind == ModbusRequest::kAnalogStartDetecting;
}

bool ThreadAdministrator::isRepeated(const QString &kind)
{
    return isPolling(kind) || kind == ModbusRequest::kCheckStatus;
}

void ThreadAdministrator::init()
{
    qRegisterMetaType<LinkHealth>();
    qRegisterMetaType<ExchangeRecord>();
    qRegisterMetaType<LinkNotice>();
    qRegisterMetaType<LinkKind>();
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
        // The same request again: one that waits alone is sent; one on the wire keeps its
        // reply time-out, or its reply would be taken for an answer to nothing.
        delete sender;
        if (senders.size() == 1 && !onWire)
            startSend();
        return;
    }
    // Polling waits for the link; anything else asked without one is refused at once.
    sender->requestId = ++lastRequestId;
    sender->polling = isRepeated(sender->kind);
    if (link == LinkKind::None && !isPolling(sender->kind)) {
        refuse(sender);
        return;
    }
    if (sender->data.startsWith(QLatin1String("01")))
        sender->data.replace(0, 2, deviceAddress);
    // Each request waits its own time: a poll queued behind a long write does not shorten it.
    if (sender->replyTimeoutMs <= 0) {
        const int timeout = replyTimeoutFor(baudRate, sender->kind);
        sender->replyTimeoutMs = timeout > 0 ? timeout : replyTimeout;
        sender->replyTimeoutFromTable = true;
    }
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
    if (link == LinkKind::None) {
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
    sendStepTimer->setInterval(sendStepFor(baudRate, link == LinkKind::Tcp));
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
    say(LinkNotice::Severity::Error,
        tr("Not sent: no connection (%1)", " 未发送：没有连接（%1） ").arg(sender->kind));
    withdraw(sender);
}

void ThreadAdministrator::withdraw(Sender *sender)
{
    emit requestFailed(sender->kind, QStringLiteral("not sent"));
    emit exchangeRecorded(recordFor(sender, ExchangeRecord::Result::NotSent));
    delete sender;
}

ExchangeRecord ThreadAdministrator::recordFor(const Sender *sender, ExchangeRecord::Result result) const
{
    ExchangeRecord record;
    record.requestId = sender->requestId;
    record.result = result;
    record.direction = result == ExchangeRecord::Result::Pending ? ExchangeRecord::Direction::Sent
                                                                 : ExchangeRecord::Direction::Received;
    record.link = link;
    record.kind = sender->kind;
    record.polling = sender->polling;
    record.unit = quint8(sender->data.leftRef(2).toUInt(nullptr, 16));
    record.modelGeneration = sender->modelGeneration;
    record.timeMs = QDateTime::currentMSecsSinceEpoch();
    return record;
}

void ThreadAdministrator::recordStray(ExchangeRecord::Result result, LinkKind via, const QByteArray &wire,
                                      const Sender *misanswered)
{
    ExchangeRecord record;
    // From the module asked, with the right function, in another shape than the request's:
    // it answers nothing, but it says something about the model the request was made for.
    if (misanswered) {
        record.kind = misanswered->kind;
        record.polling = misanswered->polling;
        record.modelGeneration = misanswered->modelGeneration;
    }
    record.direction = ExchangeRecord::Direction::Received;
    record.result = result;
    record.link = via;
    record.bytes = wire;
    record.unit = wire.isEmpty() ? 0 : quint8(via == LinkKind::Tcp && wire.size() > 6 ? wire.at(6) : wire.at(0));
    record.timeMs = QDateTime::currentMSecsSinceEpoch();
    emit exchangeRecorded(record);
}

void ThreadAdministrator::say(LinkNotice::Severity severity, const QString &text)
{
    LinkNotice notice;
    notice.severity = severity;
    notice.text = text;
    notice.timeMs = QDateTime::currentMSecsSinceEpoch();
    emit linkNotice(notice);
}

void ThreadAdministrator::sendFirst()
{
    const Sender *head = senders.first();
    const QString &data = head->data;
    // Only frames for the current module with a function code it knows go out;
    // the others expire by the reply time-out.
    const bool sendable = data.leftRef(2).compare(deviceAddress, Qt::CaseInsensitive) == 0
        && ModbusRequest::isSupportedFunction(data.midRef(2, 2));
    if (sendable) {
        if (link == LinkKind::Tcp)
            emit writeSerialPort(data);
        else
            emit writeSerialPort_CRC16(data);
        ++health.sent;
        healthChanged();
        headOnWire = true;
        headSentAt.start();
        ExchangeRecord record = recordFor(head, ExchangeRecord::Result::Pending);
        record.bytes = wireFrame(data, link);
        emit exchangeRecorded(record);
    }
    administratorTimer->start(head->replyTimeoutMs);
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

void ThreadAdministrator::setLink(LinkKind kind)
{
    if (link == kind)
        return;
    link = kind;
    // A request on the wire of the link that went is not answered over the new one.
    if (headOnWire && !senders.isEmpty())
        headUnansweredOnLinkLoss();
    if (!senders.isEmpty())
        startSend();
}

void ThreadAdministrator::setDeviceAddress(QString address)
{
    deviceAddress = address;
    readdressPolling();
}

void ThreadAdministrator::setLineSpeed(int baud)
{
    baudRate = baud;
    for (Sender *sender : qAsConst(senders)) {
        const int timeout = replyTimeoutFor(baudRate, sender->kind);
        if (sender->replyTimeoutFromTable && timeout > 0)
            sender->replyTimeoutMs = timeout;
    }
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
    setLineSpeed(baud);
    readdressPolling();
}

void ThreadAdministrator::clearAll()
{
    const QList<Sender *> withdrawn = senders;
    senders.clear();
    for (Sender *sender : withdrawn)
        withdraw(sender);
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
            withdraw(senders.takeAt(i));
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
    const Sender *head = senders.first();
    const QString kind = head->kind;
    ExchangeRecord record = recordFor(head, headOnWire ? ExchangeRecord::Result::TimedOut
                                                       : ExchangeRecord::Result::NotSent);
    if (headOnWire) {
        ++health.timeouts;
        ++health.consecutiveTimeouts;
        healthChanged();
        record.responseMs = headSentAt.elapsed();
    }
    emit exchangeRecorded(record);
    if (kind == ModbusRequest::kUiText)
        say(LinkNotice::Severity::Error,
            tr("No reply within %1 ms", " %1 毫秒内无回复 ").arg(head->replyTimeoutMs));
    emit replyTimedOut();
    emit requestFailed(kind, QStringLiteral("timeout"));
    // A lost reply does not end polling: the request waits for its next turn.
    finishHead(isPolling(kind));
}

void ThreadAdministrator::exceptionReply(int function, int exceptionCode)
{
    exceptionArrived(function, exceptionCode, link, QByteArray());
}

void ThreadAdministrator::exceptionArrived(int function, int exceptionCode, LinkKind via,
                                           QByteArray wire)
{
    ++health.exceptions;
    healthChanged();
    bool ok = false;
    const int headFunction = senders.isEmpty() ? -1 : senders.first()->data.midRef(2, 2).toInt(&ok, 16);
    if (!headOnWire || !ok || headFunction != function) {
        recordStray(ExchangeRecord::Result::Unmatched, via, wire);
        return;
    }
    ExchangeRecord record = recordFor(senders.first(), ExchangeRecord::Result::Exception);
    record.link = via;
    record.bytes = wire;
    record.exceptionCode = quint8(exceptionCode);
    record.responseMs = headSentAt.elapsed();
    emit exchangeRecorded(record);
    // The module answered: the request is done (polling goes on at its next turn).
    emit requestFailed(senders.first()->kind,
                       QStringLiteral("exception %1").arg(exceptionCode, 2, 16, QLatin1Char('0')));
    finishHead(isPolling(senders.first()->kind));
}

void ThreadAdministrator::slot_dealWithData(QString reply)
{
    replyArrived(reply, link, QtTools::hexStringToByteArray(reply));
}

void ThreadAdministrator::replyArrived(QString reply, LinkKind via, QByteArray wire)
{
    if (senders.isEmpty()) {
        ++health.unmatched;
        healthChanged();
        recordStray(ExchangeRecord::Result::Unmatched, via, wire);
        return;
    }
    // A reply is judged by the link it came over: only serial replies carry a CRC of their own.
    const ReplyDecoder::Dispatch result = ReplyDecoder::dispatch(
        reply, senders.first()->kind, deviceAddress, via == LinkKind::Tcp, senders.first()->data);
    if (!result.accepted || !headOnWire) {
        const bool badCrc = result.rejection == ReplyDecoder::Dispatch::BadCrc;
        if (badCrc)
            ++health.badCrc;
        else
            ++health.unmatched;
        healthChanged();
        const bool misshapen = headOnWire && result.rejection == ReplyDecoder::Dispatch::Unmatched;
        recordStray(badCrc ? ExchangeRecord::Result::BadCrc : ExchangeRecord::Result::Unmatched, via,
                    wire, misshapen ? senders.first() : nullptr);
        return;
    }
    const qint64 responseMs = headSentAt.elapsed();
    health.recordReply(responseMs, QDateTime::currentMSecsSinceEpoch());
    ExchangeRecord record = recordFor(senders.first(), ExchangeRecord::Result::Ok);
    record.link = via;
    record.bytes = wire;
    record.responseMs = responseMs;
    emit exchangeRecorded(record);
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
        say(LinkNotice::Severity::Info, result.text);
        break;
    }

    if (result.popBeforeSignal)
        return;
    if (result.then == D::Pop)
        popAndWrite();
    else if (result.then == D::Requeue)
        moveToLastAndWrite();
}
