#include "link/session.h"

#include "protocol/modbusrequest.h"
#include "link/threadserialport.h"

#include <QMetaObject>

Session::Session(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<ExchangeRecord>();
    qRegisterMetaType<LinkNotice>();
    qRegisterMetaType<LinkKind>();
    qRegisterMetaType<Session::LinkState>();
    qRegisterMetaType<Session::ModelStatus>();
}

void Session::attach(ThreadSerialport *link)
{
    linkObject = link;
    connect(link, &ThreadSerialport::serialPortOpening, this, &Session::serialOpening);
    connect(link, &ThreadSerialport::serialPortOpened, this, &Session::serialOpened);
    connect(link, &ThreadSerialport::serialPortOpenFailed, this, &Session::serialFailed);
    connect(link, &ThreadSerialport::serialPortClosed, this, &Session::serialClosed);
    connect(link, &ThreadSerialport::networkConnecting, this, &Session::tcpConnecting);
    connect(link, &ThreadSerialport::networkConnected, this, &Session::tcpConnectedNow);
    connect(link, &ThreadSerialport::networkDisconnected, this, &Session::tcpDisconnected);
    connect(link, &ThreadSerialport::networkReconnecting, this, &Session::tcpReconnecting);
    connect(link, &ThreadSerialport::exchangeRecorded, this, &Session::recordExchange);
    connect(link, &ThreadSerialport::notice, this, &Session::relayNotice);
    connect(link, &ThreadSerialport::deviceAddressChange, this,
            [this](const QString &hex, int) { moduleAddressed(hex); });
}

LinkKind Session::link() const
{
    const bool portInUse = serial == SerialState::Open;
    if (portInUse)
        return LinkKind::Serial;
    return tcp == LinkState::Connected ? LinkKind::Tcp : LinkKind::None;
}

Session::LinkState Session::state() const
{
    if (serial == SerialState::Opening)
        return LinkState::Opening;
    if (serial == SerialState::Open)
        return LinkState::Open;
    if (tcp != LinkState::Closed)
        return tcp;
    return serial == SerialState::Failed ? LinkState::Failed : LinkState::Closed;
}

void Session::changed(LinkKind linkBefore, LinkState stateBefore)
{
    if (link() != linkBefore)
        emit linkChanged(link());
    if (state() != stateBefore)
        emit stateChanged(state());
}

void Session::serialOpening()
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    if (serial == SerialState::Open)
        return;
    serial = SerialState::Opening;
    failureReason.clear();
    emit serialStateChanged();
    changed(linkBefore, stateBefore);
}

void Session::serialOpened()
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    serial = SerialState::Open;
    failureReason.clear();
    emit serialStateChanged();
    changed(linkBefore, stateBefore);
}

void Session::serialFailed(const QString &reason)
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    serial = SerialState::Failed;
    failureReason = reason;
    emit serialStateChanged();
    changed(linkBefore, stateBefore);
    emit serialOpenFailed(reason);
}

void Session::serialClosed()
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    if (serial == SerialState::Closed)
        return;
    serial = SerialState::Closed;
    emit serialStateChanged();
    changed(linkBefore, stateBefore);
}

void Session::tcpConnecting()
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    tcp = LinkState::Connecting;
    emit tcpStateChanged();
    changed(linkBefore, stateBefore);
}

void Session::tcpConnectedNow()
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    tcp = LinkState::Connected;
    reconnectIn = 0;
    emit tcpStateChanged();
    changed(linkBefore, stateBefore);
}

void Session::tcpDisconnected()
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    tcp = LinkState::Closed;
    emit tcpStateChanged();
    changed(linkBefore, stateBefore);
}

void Session::tcpReconnecting(int seconds)
{
    const LinkKind linkBefore = link();
    const LinkState stateBefore = state();
    tcp = LinkState::Reconnecting;
    reconnectIn = seconds;
    emit tcpStateChanged();
    changed(linkBefore, stateBefore);
}

QString Session::deviceAddressHex() const
{
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

QString Session::addressRefusal(int address)
{
    if (address == 0)
        return tr("Address 0 is not used: it is the broadcast address, which no module answers. "
                  "Choose an address from %1 to %2.",
                  " 地址 0 不可用：它是广播地址，没有模块会回复。请选择 %1 到 %2 之间的地址。 ")
            .arg(kFirstAddress)
            .arg(kLastAddress);
    if (address < kFirstAddress || address > kLastAddress)
        return tr("Address %1 is not used: choose an address from %2 to %3.",
                  " 地址 %1 不可用：请选择 %2 到 %3 之间的地址。 ")
            .arg(address)
            .arg(kFirstAddress)
            .arg(kLastAddress);
    return QString();
}

bool Session::setDeviceAddress(int value)
{
    if (!addressRefusal(value).isEmpty())
        return false;
    if (value == address)
        return true;
    address = value;
    if (ThreadSerialport *link = linkObject) {
        const QString hex = deviceAddressHex();
        QMetaObject::invokeMethod(link, [link, hex]() { link->setDeviceAddress(hex); });
    }
    emit deviceAddressChanged(address);
    return true;
}

void Session::moduleAddressed(const QString &hexAddress)
{
    bool ok = false;
    const int value = int(hexAddress.toUInt(&ok, 16));
    // The link follows the module's announcement itself; the session keeps it as the address.
    if (!ok || !addressRefusal(value).isEmpty() || value == address)
        return;
    address = value;
    emit deviceAddressChanged(address);
}

void Session::setModel(int index)
{
    modelIndex = index;
    // Replies to requests made for the model before say nothing about this one.
    ++generation;
    emit modelChanged(index);
    setStatus(ModelStatus::Unknown);
}

void Session::setStatus(ModelStatus next)
{
    if (status == next)
        return;
    status = next;
    emit modelStatusChanged(status);
}

void Session::judgeModel(const ExchangeRecord &record)
{
    if (record.modelGeneration == 0 || record.modelGeneration != generation)
        return;
    using Result = ExchangeRecord::Result;
    switch (record.result) {
    case Result::Ok:
        setStatus(ModelStatus::Confirmed);
        break;
    case Result::Exception:
        // The module lacks the registers or the function the model has.
        if (record.exceptionCode == ModbusRequest::kIllegalDataAddress
            || record.exceptionCode == ModbusRequest::kIllegalFunction)
            setStatus(ModelStatus::Refuted);
        break;
    case Result::Unmatched:
        // A reply of the right module to this request, in another shape than the model's.
        setStatus(ModelStatus::Refuted);
        break;
    default:
        break;
    }
}

void Session::recordExchange(const ExchangeRecord &record)
{
    judgeModel(record);
    emit exchange(record);
}

void Session::relayNotice(const LinkNotice &notice)
{
    emit this->notice(notice);
}
