#include "ui/connectionstatus.h"

#include "protocol/modelcatalogue.h"
#include "ui/elidedlabel.h"

#include <QLabel>

namespace {

const QColor kGood(0, 128, 0);
const QColor kBad(Qt::red);
const QColor kPlain(Qt::black);
constexpr int kPoints = 11;

} // namespace

ConnectionStatus::ConnectionStatus(const Session *session, QLabel *label,
                                   std::function<QString(LinkKind)> endpoint, QObject *parent)
    : QObject(parent)
    , session(session)
    , label(label)
    , endpoint(std::move(endpoint))
{
    label->setObjectName(QStringLiteral("label_connectionStatus"));
    // Beside the form's state labels, in a lighter font, so the whole line fits a laptop.
    label->setFont(QFont(QStringLiteral("Arial"), kPoints, QFont::Normal));
    // Cut in the middle where the room is short: the state at the end stays in view.
    if (auto *elided = qobject_cast<ElidedLabel *>(label))
        elided->setElideMode(Qt::ElideMiddle);
    connect(session, &Session::stateChanged, this, &ConnectionStatus::show);
    connect(session, &Session::linkChanged, this, &ConnectionStatus::show);
    connect(session, &Session::serialStateChanged, this, &ConnectionStatus::serialChanged);
    connect(session, &Session::tcpStateChanged, this, &ConnectionStatus::tcpChanged);
    connect(session, &Session::modelChanged, this, &ConnectionStatus::modelChanged);
    serialWasOpen = session->serialOpen();
    tcpWasConnected = session->tcpConnected();
    show();
}

QString ConnectionStatus::text() const
{
    const QString serial = endpoint(LinkKind::Serial);
    const QString tcp = endpoint(LinkKind::Tcp);
    switch (session->state()) {
    case Session::LinkState::Opening:
        return tr("Serial %1 — opening", " 串口 %1 — 正在打开 ").arg(serial);
    case Session::LinkState::Open:
        return tr("Serial %1 — open", " 串口 %1 — 已打开 ").arg(serial);
    case Session::LinkState::Failed:
        return tr("Serial %1 — did not open", " 串口 %1 — 未能打开 ").arg(serial);
    case Session::LinkState::Connecting:
        return tr("TCP %1 — connecting", " TCP %1 — 正在连接 ").arg(tcp);
    case Session::LinkState::Connected:
        return tr("TCP %1 — connected", " TCP %1 — 已连接 ").arg(tcp);
    case Session::LinkState::Reconnecting:
        return tr("TCP %1 — reconnecting in %2 s", " TCP %1 — %2 秒后重连 ")
                .arg(tcp)
                .arg(session->reconnectSeconds());
    case Session::LinkState::Closed:
        break;
    }
    return tr("No link", " 无连接 ");
}

void ConnectionStatus::show()
{
    label->setText(text());
}

void ConnectionStatus::serialChanged()
{
    show();
    const bool open = session->serialOpen();
    if (open == serialWasOpen)
        return;
    serialWasOpen = open;
    const QString where = endpoint(LinkKind::Serial);
    emit logLine(open ? tr("Serial port opened: %1", " 串口已打开：%1 ").arg(where)
                      : tr("Serial port closed: %1", " 串口已关闭：%1 ").arg(where),
                 open ? kGood : kPlain);
}

void ConnectionStatus::tcpChanged()
{
    show();
    const bool connected = session->tcpConnected();
    if (connected == tcpWasConnected)
        return;
    tcpWasConnected = connected;
    const QString where = endpoint(LinkKind::Tcp);
    if (connected) {
        emit logLine(tcpLost ? tr("Reconnected: TCP %1", " 已重新连接：TCP %1 ").arg(where)
                             : tr("Connected: TCP %1", " 已连接：TCP %1 ").arg(where),
                     kGood);
        tcpLost = false;
        return;
    }
    // Closed for the serial port the operator opened: nothing was lost.
    if (session->serialOpen()) {
        emit logLine(tr("TCP %1 closed while the serial port is in use",
                        " 串口使用中，TCP %1 已关闭 ").arg(where),
                     kPlain);
        return;
    }
    tcpLost = true;
    emit logLine(tr("Connection lost: TCP %1", " 连接断开：TCP %1 ").arg(where), kBad);
}

void ConnectionStatus::modelChanged(int index)
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    if (index < 0 || index >= models.size())
        return;
    emit logLine(tr("Model: %1", " 型号：%1 ").arg(models.at(index).text().simplified()), kPlain);
}
