#pragma once

#include "link/threadserialport.h"
#include "protocol/remoteaddress.h"

#include <QObject>
#include <QString>
#include <QTimer>

class QColor;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class Session;
struct FoundModule;

// The link controls: the serial port and its framing with the open button, the remote
// address fields, the device address and the two connection labels. What the link is
// doing is the session's; the panel asks the link for what the operator chooses.
class LinkControlsPanel : public QObject
{
    Q_OBJECT

public:
    // The form's widgets the panel drives.
    struct Widgets
    {
        QComboBox *port = nullptr;
        QComboBox *baud = nullptr;
        QComboBox *dataBits = nullptr;
        QComboBox *stopBits = nullptr;
        QComboBox *parity = nullptr;
        QPushButton *openButton = nullptr;
        QLineEdit *remoteHost = nullptr;
        QLineEdit *remotePort = nullptr;
        QLineEdit *address = nullptr;
        QLabel *serialState = nullptr;
        QLabel *networkState = nullptr;
    };

    LinkControlsPanel(Session *session, ThreadSerialport *link, const Widgets &widgets,
                      QObject *parent = nullptr);

    // "/dev/ttyUSB0 9600 8N1" and "192.168.1.80:8080", as the fields read now.
    QString serialEndpoint() const;
    QString networkEndpoint() const;
    QString endpoint(LinkKind link) const;
    // The remote fields read as an address (or why they are none).
    RemoteAddress::Endpoint remoteEndpoint() const;
    // The port and framing the fields choose.
    ThreadSerialport::PortSettings portSettings() const;
    // Every rate the baud box offers, highest first.
    QList<int> baudRates() const;

    // What the open button does: opens the chosen port, or closes the open one.
    void toggleSerialPort();
    // The button offers to open (the port is closed, or closing).
    bool offersOpen() const;
    // Asks the link to connect to the remote fields' address.
    void connectRemote();
    // The operator typed in the address field.
    void addressEdited(const QString &text);
    // The controls show the port, framing and address of a module found; nothing opens.
    void showFoundModule(const FoundModule &module);

    // The state label of the link in use says the module no longer answers, or that it
    // answers again.
    void showNoReply();
    void showReplying();

public slots:
    void showPorts(const QStringList &names, const QString &chosen);
    void showOpenFailed(const QString &reason);
    void showPortError(const QString &reason, bool lost);

signals:
    void logLine(const QString &text, const QColor &color);
    // The operator closed the serial port.
    void serialClosing();
    // The operator asked for the remote address (valid): "192.168.1.80:8080".
    void remoteChosen(const QString &endpoint);

private:
    void showSerialState();
    void showTcpState();
    void showDeviceAddress(int address);
    // Connects to the remote fields' address once an edit has settled, unless it is
    // the one already connected or being connected.
    void settleRemoteEdit();

    Session *session;
    ThreadSerialport *link;
    Widgets form;
    QTimer remoteEditTimer;
    // The remote address last asked of the link ("192.168.1.80:8080"), or the
    // refused field texts, so an unchanged settled edit does nothing.
    QString remoteRequested;
};
