#include "ui/elidedlabel.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace {

// The width asked for when there is room: a frame of this many digits, whatever is shown.
constexpr int kPreferredCharacters = 16;
const QString kEllipsis = QStringLiteral("…");

} // namespace

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    m_elideMode = mode;
    update();
}

int ElidedLabel::spareWidth() const
{
    const QMargins margins = contentsMargins();
    return margins.left() + margins.right() + 2 * margin();
}

int ElidedLabel::wholeWidth() const
{
    return fontMetrics().horizontalAdvance(text()) + spareWidth() + 1;
}

QString ElidedLabel::shownText() const
{
    const int room = contentsRect().width() - 2 * margin();
    return fontMetrics().elidedText(text(), m_elideMode, qMax(0, room));
}

bool ElidedLabel::isElided() const
{
    return shownText() != text();
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return QSize(metrics.horizontalAdvance(QLatin1Char('0')) * kPreferredCharacters + spareWidth(),
                 QLabel::minimumSizeHint().height());
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(kEllipsis) + spareWidth(),
                 QLabel::minimumSizeHint().height());
}

bool ElidedLabel::event(QEvent *event)
{
    // The tool tip is the whole text as it is now (no copy to keep in step), before
    // any explanation the label's own tool tip gives.
    if (event->type() == QEvent::ToolTip) {
        QStringList lines;
        if (toolTip().isEmpty() || isElided())
            lines << text();
        lines << toolTip();
        lines.removeAll(QString());
        auto *help = static_cast<QHelpEvent *>(event);
        if (lines.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), lines.join(QLatin1Char('\n')), this);
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, room, int(alignment()) | Qt::TextSingleLine, palette(),
                          isEnabled(), shownText(), foregroundRole());
}
