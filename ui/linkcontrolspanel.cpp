#include "ui/linkcontrolspanel.h"

#include "check/modulefinder.h"
#include "link/session.h"
#include "protocol/remoteaddress.h"

#include <QApplication>
#include <QColor>
#include <QComboBox>
#include <QDebug>
#include <QFontMetrics>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>

#include <algorithm>
#include <functional>

namespace {

constexpr int kAddressMaximum = 33;
constexpr int kFirstConnectDelayMs = 500;
constexpr int kRemoteEditSettleMs = 600;
// Frame, margins and cursor around the text of a line edit.
constexpr int kFieldSpareWidth = 16;

// The remote fields read as an address; the key names what a connection attempt
// would be for, so that an unchanged address or the same refused texts are seen.
struct RemoteFields
{
    RemoteFields(const QString &hostText, const QString &portText)
        : endpoint(RemoteAddress::parseEndpoint(hostText, portText))
        , key(endpoint.valid() ? endpoint.text() : hostText + QLatin1Char('\n') + portText)
    {
    }

    RemoteAddress::Endpoint endpoint;
    QString key;
};

QString connectedText()
{
    return LinkControlsPanel::tr("Connect", " 连接 ");
}

QString disconnectedText()
{
    return LinkControlsPanel::tr("DisConnect", " 断开 ");
}

QString openText()
{
    return LinkControlsPanel::tr("Open", " 打开 ");
}

QString closeText()
{
    return LinkControlsPanel::tr("Close", " 关闭 ");
}

} // namespace

LinkControlsPanel::LinkControlsPanel(Session *session, ThreadSerialport *link,
                                     const Widgets &widgets, QObject *parent)
    : QObject(parent), session(session), link(link), form(widgets)
{
    auto logActivated = [](const QString &text) { qDebug() << "Clicked!" << text; };
    connect(form.port, &QComboBox::textActivated, this, [this, logActivated](const QString &text) {
        logActivated(text);
        // The link reads the name only when it (re)opens the port, in its own thread.
        ThreadSerialport *serial = this->link;
        QMetaObject::invokeMethod(serial, [serial, text]() { serial->portName = text; });
    });
    connect(form.baud, &QComboBox::textActivated, this, logActivated);
    connect(form.parity, &QComboBox::textActivated, this, logActivated);
    connect(form.dataBits, &QComboBox::textActivated, this, [this, logActivated](const QString &text) {
        logActivated(text);
        form.stopBits->setCurrentIndex(form.dataBits->currentIndex() == 1 ? 1 : 0);
    });
    connect(form.stopBits, &QComboBox::textActivated, this, [this, logActivated](const QString &text) {
        logActivated(text);
        form.dataBits->setCurrentIndex(form.stopBits->currentIndex() == 1 ? 1 : 0);
    });

    form.address->setText(QStringLiteral("1"));
    form.address->setValidator(new QIntValidator(0, kAddressMaximum, form.address));
    form.address->setMaxLength(2);
    form.address->setMinimumWidth(
        QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("192.168.000.000")));
    // As wide as an address needs, no wider: the room left goes to the connection's state.
    form.remoteHost->setFixedWidth(
        form.remoteHost->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000"))
        + kFieldSpareWidth);

    // The operator's edits connect once they settle; setting the text in code does not.
    remoteEditTimer.setSingleShot(true);
    remoteEditTimer.setInterval(kRemoteEditSettleMs);
    connect(&remoteEditTimer, &QTimer::timeout, this, &LinkControlsPanel::settleRemoteEdit);
    for (QLineEdit *field : { form.remoteHost, form.remotePort }) {
        connect(field, &QLineEdit::textEdited, &remoteEditTimer, qOverload<>(&QTimer::start));
        connect(field, &QLineEdit::editingFinished, this, &LinkControlsPanel::settleRemoteEdit);
    }
    // The first attempt after start-up, with the fields as they are then, unless an
    // edit has already connected.
    QTimer::singleShot(kFirstConnectDelayMs, this, [this]() {
        if (remoteRequested.isEmpty())
            connectRemote();
    });

    connect(session, &Session::serialStateChanged, this, &LinkControlsPanel::showSerialState);
    connect(session, &Session::tcpStateChanged, this, &LinkControlsPanel::showTcpState);
    connect(session, &Session::serialOpenFailed, this, &LinkControlsPanel::showOpenFailed);
    connect(session, &Session::deviceAddressChanged, this, &LinkControlsPanel::showDeviceAddress);
    connect(link, &ThreadSerialport::serialPortsFound, this, &LinkControlsPanel::showPorts);
    connect(link, &ThreadSerialport::serialPortError, this, &LinkControlsPanel::showPortError);
}

QString LinkControlsPanel::serialEndpoint() const
{
    const QString parity = form.parity->currentIndex() == 1
        ? QStringLiteral("E")
        : form.parity->currentIndex() == 2 ? QStringLiteral("O") : QStringLiteral("N");
    return form.port->currentText() + QLatin1Char(' ') + form.baud->currentText()
        + QLatin1Char(' ') + form.dataBits->currentText() + parity + form.stopBits->currentText();
}

QString LinkControlsPanel::networkEndpoint() const
{
    return form.remoteHost->text() + QLatin1Char(':') + form.remotePort->text();
}

QString LinkControlsPanel::endpoint(LinkKind kind) const
{
    return kind == LinkKind::Serial ? serialEndpoint() : networkEndpoint();
}

RemoteAddress::Endpoint LinkControlsPanel::remoteEndpoint() const
{
    return RemoteAddress::parseEndpoint(form.remoteHost->text(), form.remotePort->text());
}

ThreadSerialport::PortSettings LinkControlsPanel::portSettings() const
{
    ThreadSerialport::PortSettings settings;
    settings.portName = form.port->currentText();
    settings.baudRate = form.baud->currentText().toInt();
    settings.dataBits = form.dataBits->currentIndex() == 1 ? QSerialPort::Data7 : QSerialPort::Data8;
    settings.stopBits = form.stopBits->currentIndex() == 1 ? QSerialPort::TwoStop : QSerialPort::OneStop;
    const int parity = form.parity->currentIndex();
    settings.parity = parity == 1 ? QSerialPort::EvenParity
                                  : parity == 2 ? QSerialPort::OddParity : QSerialPort::NoParity;
    return settings;
}

QList<int> LinkControlsPanel::baudRates() const
{
    QList<int> rates;
    for (int i = 0; i < form.baud->count(); ++i)
        rates << form.baud->itemText(i).toInt();
    std::sort(rates.begin(), rates.end(), std::greater<int>());
    return rates;
}

void LinkControlsPanel::showPorts(const QStringList &names, const QString &chosen)
{
    QComboBox *box = form.port;
    const QString current = box->currentText();
    box->clear();
    box->addItems(names);
    if (!chosen.isEmpty() && names.contains(chosen))
        box->setCurrentText(chosen);
    else if (names.contains(current))
        box->setCurrentText(current);
}

void LinkControlsPanel::showSerialState()
{
    const bool open = session->serialOpen();
    form.openButton->setText(open ? closeText() : openText());
    form.serialState->setText(open ? connectedText() : disconnectedText());
}

void LinkControlsPanel::showTcpState()
{
    form.networkState->setText(session->tcpConnected() ? connectedText() : disconnectedText());
}

void LinkControlsPanel::showNoReply()
{
    QLabel *state = session->link() == LinkKind::Tcp ? form.networkState : form.serialState;
    state->setText(tr("No reply", " 无回复 "));
}

void LinkControlsPanel::showReplying()
{
    if (session->link() == LinkKind::Tcp)
        form.networkState->setText(connectedText());
    if (session->serialOpen())
        form.serialState->setText(connectedText());
}

void LinkControlsPanel::showOpenFailed(const QString &reason)
{
    emit logLine(tr("Serial port open failed", "串口打开失败") + QStringLiteral(": ") + reason,
                 QColor(Qt::red));
    // Window-modal without a nested event loop: the link keeps running meanwhile.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("warning", "警告"),
                                tr("Serial port open failed", "串口打开失败"), QMessageBox::Ok,
                                form.openButton->window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("serialOpenFailedBox"));
    box->open();
}

void LinkControlsPanel::showPortError(const QString &reason, bool lost)
{
    if (lost)
        emit logLine(tr("Serial port lost: %1", " 串口断开：%1 ").arg(reason), QColor(Qt::red));
}

bool LinkControlsPanel::offersOpen() const
{
    return form.openButton->text().contains(openText());
}

void LinkControlsPanel::toggleSerialPort()
{
    ThreadSerialport *serial = link;
    if (form.openButton->text().contains(closeText())) {
        // The session hears from the link that the port closed; TCP then reconnects. The
        // button offers to open again at once, so a second click opens.
        form.openButton->setText(openText());
        QMetaObject::invokeMethod(serial, &ThreadSerialport::slot_closeSerialPort);
        emit serialClosing();
    } else if (offersOpen()) {
        const ThreadSerialport::PortSettings settings = portSettings();
        QMetaObject::invokeMethod(serial, [serial, settings]() {
            serial->setPortSettings(settings);
            serial->slot_openSerialPort();
        });
    }
}

void LinkControlsPanel::connectRemote()
{
    remoteEditTimer.stop();
    const RemoteFields remote(form.remoteHost->text(), form.remotePort->text());
    remoteRequested = remote.key;
    if (!remote.endpoint.valid()) {
        emit logLine(remote.endpoint.error(), QColor(Qt::red));
        return;
    }
    const QString address = remote.endpoint.host.text;
    const quint16 port = remote.endpoint.port.number;
    emit remoteChosen(remote.endpoint.text());
    ThreadSerialport *serial = link;
    QMetaObject::invokeMethod(serial, [serial, address, port]() { serial->connectToModule(address, port); });
}

void LinkControlsPanel::settleRemoteEdit()
{
    remoteEditTimer.stop();
    const RemoteFields remote(form.remoteHost->text(), form.remotePort->text());
    if (remote.key != remoteRequested)
        connectRemote();
}

void LinkControlsPanel::addressEdited(const QString &text)
{
    // An empty field is an edit under way; the address stays what it was.
    if (text.trimmed().isEmpty())
        return;
    const int value = int(text.toUInt());
    const QString refusal = Session::addressRefusal(value);
    form.address->setToolTip(refusal);
    form.address->setStyleSheet(refusal.isEmpty() ? QString()
                                                  : QStringLiteral("QLineEdit { color: rgb(230, 50, 50); }"));
    if (!refusal.isEmpty()) {
        emit logLine(refusal, QColor(Qt::red));
        return;
    }
    session->setDeviceAddress(value);
}

void LinkControlsPanel::showDeviceAddress(int address)
{
    if (address <= kAddressMaximum && int(form.address->text().toUInt()) != address) {
        form.address->setText(QString::number(address));
        form.address->setToolTip(QString());
        form.address->setStyleSheet(QString());
    }
}

void LinkControlsPanel::showFoundModule(const FoundModule &module)
{
    if (!module.network) {
        if (form.openButton->text().contains(closeText()))
            toggleSerialPort();
        form.port->setCurrentText(module.port);
        ThreadSerialport *serial = link;
        const QString name = module.port;
        QMetaObject::invokeMethod(serial, [serial, name]() { serial->portName = name; });
        form.baud->setCurrentText(QString::number(module.baudRate));
        form.dataBits->setCurrentIndex(module.dataBits == QSerialPort::Data7 ? 1 : 0);
        form.stopBits->setCurrentIndex(module.stopBits == QSerialPort::TwoStop ? 1 : 0);
        form.parity->setCurrentIndex(module.parity == QSerialPort::EvenParity
                                         ? 1
                                         : module.parity == QSerialPort::OddParity ? 2 : 0);
    }
    form.address->setText(QString::number(module.address));
    addressEdited(form.address->text());
}
