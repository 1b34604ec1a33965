#include "ui/linkhealthview.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

namespace {

QLabel *field(const QString &objectName, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setFrameShape(QFrame::StyledPanel);
    return label;
}

} // namespace

LinkHealthView::LinkHealthView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("linkHealthView"));
    QFont small = font();
    small.setPointSize(10);
    small.setBold(false);
    setFont(small);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    endpointLabel = field(QStringLiteral("label_linkEndpoint"), this);
    addressLabel = field(QStringLiteral("label_linkAddress"), this);
    modelLabel = field(QStringLiteral("label_linkModel"), this);
    ageLabel = field(QStringLiteral("label_linkAge"), this);
    countersLabel = field(QStringLiteral("label_linkCounters"), this);
    timesLabel = field(QStringLiteral("label_linkTimes"), this);
    resetButton = new QToolButton(this);
    resetButton->setObjectName(QStringLiteral("toolButton_resetCounters"));
    resetButton->setText(tr("Reset", " 清零 "));
    resetButton->setToolTip(tr("Reset the link counters", " 链路计数清零 "));
    connect(resetButton, &QToolButton::clicked, this, &LinkHealthView::resetRequested);
    for (QWidget *widget : {static_cast<QWidget *>(endpointLabel), static_cast<QWidget *>(addressLabel),
                            static_cast<QWidget *>(modelLabel), static_cast<QWidget *>(ageLabel),
                            static_cast<QWidget *>(countersLabel), static_cast<QWidget *>(timesLabel),
                            static_cast<QWidget *>(resetButton)})
        row->addWidget(widget);
    setEndpoint(QString());
    setDeviceAddress(1);
    setModel(QString());
    setHealth(LinkHealth());
}

void LinkHealthView::setEndpoint(const QString &text)
{
    endpoint = text;
    endpointLabel->setText(reconnectSeconds > 0
                               ? tr("%1, reconnecting in %2 s", " %1，%2 秒后重连 ")
                                     .arg(endpoint)
                                     .arg(reconnectSeconds)
                               : (endpoint.isEmpty() ? tr("No link", " 无连接 ") : endpoint));
}

void LinkHealthView::setReconnecting(int seconds)
{
    reconnectSeconds = seconds;
    setEndpoint(endpoint);
}

void LinkHealthView::setDeviceAddress(int address)
{
    addressLabel->setText(tr("Address %1", " 地址 %1 ").arg(address));
}

void LinkHealthView::setModel(const QString &model)
{
    modelLabel->setText(model.isEmpty() ? tr("No model", " 未选型号 ") : model.simplified());
}

void LinkHealthView::setHealth(const LinkHealth &health)
{
    m_health = health;
    showCounters();
    tick();
}

void LinkHealthView::showCounters()
{
    const LinkHealth &h = m_health;
    countersLabel->setText(
        tr("Sent %1  Replies %2  Time-outs %3  Bad frames %4  Exceptions %5",
           " 发送 %1  回复 %2  超时 %3  错误帧 %4  异常 %5 ")
            .arg(h.sent)
            .arg(h.accepted)
            .arg(h.timeouts)
            .arg(h.badFrames())
            .arg(h.exceptions));
    countersLabel->setToolTip(tr("Bad frames: CRC %1, unmatched %2, garbage %3",
                                 " 错误帧：校验 %1，不匹配 %2，乱码 %3 ")
                                  .arg(h.badCrc)
                                  .arg(h.unmatched)
                                  .arg(h.garbage));
    if (h.lastMs < 0) {
        timesLabel->setText(tr("Response -", " 响应 - "));
        return;
    }
    timesLabel->setToolTip(tr("Response time: last / mean / max", " 响应时间：最近/平均/最大 "));
    timesLabel->setText(tr("%1 / %2 / %3 ms", " %1 / %2 / %3 毫秒 ")
                            .arg(h.lastMs)
                            .arg(QString::number(h.meanMs(), 'f', 1))
                            .arg(h.maxMs));
}

void LinkHealthView::tick()
{
    if (m_health.lastReplyAt < 0) {
        ageLabel->setText(tr("No reply yet", " 尚无回复 "));
        return;
    }
    const qint64 seconds = (QDateTime::currentMSecsSinceEpoch() - m_health.lastReplyAt) / 1000;
    ageLabel->setText(tr("Last reply %1 s ago", " %1 秒前回复 ").arg(seconds));
}
