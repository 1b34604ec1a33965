#pragma once

#include "protocol/linkevents.h"

#include <QObject>
#include <QString>

class ThreadSerialport;

// The one owner of the link's state: which link is in use, how it stands, the device
// address, the chosen model and whether the module has confirmed it. Panels, dialogs and
// the status bar ask it and listen to it; the link reports to it.
//
// The serial port and the network are alternatives. Opening the serial port closes the
// TCP connection, which stays closed while the port is open and reconnects by itself
// once the port closes (by the operator or because the device went away). A serial port
// that fails to open changes nothing about TCP.
class Session : public QObject
{
    Q_OBJECT

public:
    enum class LinkState { Closed, Opening, Open, Connecting, Connected, Reconnecting, Failed };
    enum class ModelStatus { Unknown, Confirmed, Refuted };

    static constexpr int kFirstAddress = 1;
    static constexpr int kLastAddress = 247;

    explicit Session(QObject *parent = nullptr);

    // Wires the link's reports to the session and the session's address to the link.
    void attach(ThreadSerialport *link);

    // The link requests go over: the open serial port, else the TCP connection, else none.
    LinkKind link() const;
    bool linkUp() const { return link() != LinkKind::None; }
    // The state of the link in use, or of the one being tried.
    LinkState state() const;
    bool serialOpen() const { return serial == SerialState::Open; }
    bool tcpConnected() const { return tcp == LinkState::Connected; }
    LinkState tcpState() const { return tcp; }
    // Reconnecting: the next attempt starts in this many seconds.
    int reconnectSeconds() const { return reconnectIn; }
    // Failed: why the serial port did not open.
    QString failure() const { return failureReason; }

    int deviceAddress() const { return address; }
    // Two upper-case hex digits, as the frames carry it.
    QString deviceAddressHex() const;
    // Why an address cannot be used; empty when it can.
    static QString addressRefusal(int address);
    // Takes an address the operator chose; refused (false, nothing changes) unless usable.
    bool setDeviceAddress(int address);

    int model() const { return modelIndex; }
    // Counts the model choices; requests made for the current one carry it.
    quint32 modelGeneration() const { return generation; }
    ModelStatus modelStatus() const { return status; }
    void setModel(int index);

signals:
    void linkChanged(LinkKind link);
    void stateChanged(Session::LinkState state);
    void serialStateChanged();
    void tcpStateChanged();
    void deviceAddressChanged(int address);
    void modelChanged(int index);
    void modelStatusChanged(Session::ModelStatus status);
    void exchange(const ExchangeRecord &record);
    void notice(const LinkNotice &notice);
    // The serial port did not open (the reason), told once per attempt.
    void serialOpenFailed(const QString &reason);

public slots:
    // What the link reports (public so that a window without a link can be told the same).
    void serialOpening();
    void serialOpened();
    void serialFailed(const QString &reason);
    void serialClosed();
    void tcpConnecting();
    void tcpConnectedNow();
    void tcpDisconnected();
    void tcpReconnecting(int seconds);
    void recordExchange(const ExchangeRecord &record);
    void relayNotice(const LinkNotice &notice);
    // The module announced itself at this address (two hex digits).
    void moduleAddressed(const QString &hexAddress);

private:
    enum class SerialState { Closed, Opening, Open, Failed };

    void changed(LinkKind linkBefore, LinkState stateBefore);
    void judgeModel(const ExchangeRecord &record);
    void setStatus(ModelStatus next);

    ThreadSerialport *linkObject = nullptr;
    SerialState serial = SerialState::Closed;
    LinkState tcp = LinkState::Closed;
    int reconnectIn = 0;
    QString failureReason;
    int address = kFirstAddress;
    int modelIndex = -1;
    quint32 generation = 0;
    ModelStatus status = ModelStatus::Unknown;
};

Q_DECLARE_METATYPE(Session::LinkState)
Q_DECLARE_METATYPE(Session::ModelStatus)
