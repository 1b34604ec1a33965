#include "link/threadadministrator.h"

#include "link/modbusrequest.h"
#include "link/replydecoder.h"
#include "link/sendsteptimer.h"

#include <QTimer>

namespace {

constexpr std::chrono::milliseconds kSendDelay{20};

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

void ThreadAdministrator::init()
{
    administratorTimer = new QTimer(this);
    connect(administratorTimer, &QTimer::timeout, this,
            &ThreadAdministrator::slot_administratorTimer);
    // One pending send step at a time: a second request for it only moves it.
    sendStepTimer = new SendStepTimer(kSendDelay, this);
    connect(sendStepTimer, &SendStepTimer::timeout, this, [this]() {
        if (senders.isEmpty())
            return;
        sendFirst();
        administratorTimer->start(replyTimeout);
    });
    // Requests can arrive before the timers exist (the window queues as soon as a model
    // is chosen); the first of them would otherwise never be sent and block the queue.
    if (!senders.isEmpty())
        startSend();
}

void ThreadAdministrator::write(Sender *sender)
{
    if (!sender)
        return;
    for (const Sender *queued : qAsConst(senders)) {
        if (queued->kind == sender->kind) {
            delete sender;
            if (senders.size() == 1)
                startSend();
            return;
        }
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
    if (administratorTimer)
        administratorTimer->stop();
    if (sendStepTimer)
        sendStepTimer->start();
}

void ThreadAdministrator::sendFirst()
{
    const QString data = senders.first()->data;
    // Only frames for the current module with a function code it knows go out;
    // the others expire by the reply time-out.
    const bool sendable = data.leftRef(2).compare(deviceAddress, Qt::CaseInsensitive) == 0
        && ModbusRequest::isSupportedFunction(data.midRef(2, 2));
    if (!sendable)
        return;
    if (netWorkConnected)
        emit writeSerialPort(data);
    else
        emit writeSerialPort_CRC16(data);
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
        return;
    }
    for (int i = 0; i < senders.size();) {
        if (senders.at(i)->kind.contains(key))
            delete senders.takeAt(i);
        else
            ++i;
    }
}

void ThreadAdministrator::slot_administratorTimer()
{
    if (senders.isEmpty()) {
        administratorTimer->stop();
        return;
    }
    if (senders.first()->kind == ModbusRequest::kUiText)
        emit writeOutputWidget(tr("No reply within %1 ms", " %1 毫秒内无回复 ").arg(replyTimeout),
                               QColor(Qt::red));
    emit replyTimedOut();
    popAndWrite();
}

void ThreadAdministrator::slot_dealWithData(QString reply)
{
    if (senders.isEmpty())
        return;
    const ReplyDecoder::Dispatch result = ReplyDecoder::dispatch(
        reply, senders.first()->kind, deviceAddress, netWorkConnected, senders.first()->data);
    if (result.showRaw)
        emit UIappendData(reply);
    if (!result.accepted)
        return;

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
