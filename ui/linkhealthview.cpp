#include "ui/linkhealthview.h"

#include "ui/elidedlabel.h"

#include <QDateTime>
#include <QResizeEvent>
#include <QToolButton>

namespace {

constexpr int kFieldSpacing = 4;

ElidedLabel *field(const QString &objectName, QWidget *parent)
{
    auto *label = new ElidedLabel(parent);
    label->setObjectName(objectName);
    label->setFrameShape(QFrame::StyledPanel);
    return label;
}

} // namespace

LinkHealthView::LinkHealthView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("linkHealthView"));

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
    // Narrower than the window's font, so every field fits a laptop's width; set on each
    // field, as the window's style sheet keeps children from inheriting it.
    const QFont small(QStringLiteral("Arial"), 10);
    for (QWidget *child : findChildren<QWidget *>())
        child->setFont(small);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    refreshTimer.setSingleShot(true);
    refreshTimer.setInterval(kRefreshMs);
    connect(&refreshTimer, &QTimer::timeout, this, [this]() {
        if (!stale)
            return;
        stale = false;
        showCounters();
        tick();
        refreshTimer.start();
    });
    setEndpoint(QString());
    setDeviceAddress(1);
    setModel(QString());
    showCounters();
    tick();
}

QList<ElidedLabel *> LinkHealthView::fieldsByPriority() const
{
    return { modelLabel, addressLabel, ageLabel, timesLabel, countersLabel, endpointLabel };
}

void LinkHealthView::setField(ElidedLabel *label, const QString &text)
{
    if (label->text() == text)
        return;
    const int width = label->wholeWidth();
    label->setText(text);
    // A count going up keeps its width: the label redraws itself, the fields stay put.
    if (label->wholeWidth() == width)
        return;
    updateGeometry();
    arrange();
}

QSize LinkHealthView::sizeHint() const
{
    int width = resetButton->sizeHint().width();
    int height = resetButton->sizeHint().height();
    for (const ElidedLabel *label : fieldsByPriority()) {
        width += label->wholeWidth() + kFieldSpacing;
        height = qMax(height, label->sizeHint().height());
    }
    return QSize(width, height);
}

QSize LinkHealthView::minimumSizeHint() const
{
    int width = resetButton->sizeHint().width();
    for (const ElidedLabel *label : fieldsByPriority())
        width += label->minimumSizeHint().width() + kFieldSpacing;
    return QSize(width, sizeHint().height());
}

void LinkHealthView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrange();
}

void LinkHealthView::arrange()
{
    const QList<ElidedLabel *> fields = fieldsByPriority();
    QMap<ElidedLabel *, int> widths;
    int needed = resetButton->sizeHint().width();
    for (ElidedLabel *label : fields) {
        widths[label] = label->wholeWidth();
        needed += widths[label] + kFieldSpacing;
    }
    // What is missing is taken from the fields of least priority first.
    int missing = needed - width();
    for (ElidedLabel *label : fields) {
        if (missing <= 0)
            break;
        const int cut = qMin(missing, widths[label] - label->minimumSizeHint().width());
        if (cut > 0) {
            widths[label] -= cut;
            missing -= cut;
        }
    }
    // Left to right as an operator reads them: the link, then the module, then its answers.
    int x = 0;
    const int h = height();
    for (ElidedLabel *label : { endpointLabel, addressLabel, modelLabel, ageLabel, countersLabel,
                                timesLabel }) {
        label->setGeometry(x, 0, widths[label], h);
        x += widths[label] + kFieldSpacing;
    }
    resetButton->setGeometry(x, 0, resetButton->sizeHint().width(), h);
}

void LinkHealthView::setEndpoint(const QString &text)
{
    endpoint = text;
    setField(endpointLabel, reconnectSeconds > 0
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
    setField(addressLabel, tr("Address %1", " 地址 %1 ").arg(address));
}

void LinkHealthView::setModel(const QString &model)
{
    setField(modelLabel, model.isEmpty() ? tr("No model", " 未选型号 ") : model.simplified());
}

void LinkHealthView::setHealth(const LinkHealth &health)
{
    m_health = health;
    if (refreshTimer.isActive()) {
        stale = true;
        return;
    }
    showCounters();
    tick();
    refreshTimer.start();
}

void LinkHealthView::showCounters()
{
    const LinkHealth &h = m_health;
    setField(countersLabel,
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
        setField(timesLabel, tr("Response -", " 响应 - "));
        return;
    }
    timesLabel->setToolTip(tr("Response time: last / mean / max", " 响应时间：最近/平均/最大 "));
    setField(timesLabel, tr("%1 / %2 / %3 ms", " %1 / %2 / %3 毫秒 ")
                            .arg(h.lastMs)
                            .arg(QString::number(h.meanMs(), 'f', 1))
                            .arg(h.maxMs));
}

void LinkHealthView::tick()
{
    if (m_health.lastReplyAt < 0) {
        setField(ageLabel, tr("No reply yet", " 尚无回复 "));
        return;
    }
    const qint64 seconds = (QDateTime::currentMSecsSinceEpoch() - m_health.lastReplyAt) / 1000;
    setField(ageLabel, tr("Last reply %1 s ago", " %1 秒前回复 ").arg(seconds));
}
