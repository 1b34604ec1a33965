#include "ui/outputlog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QListView>
#include <QPainter>
#include <QHash>
#include <QSaveFile>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>

namespace {

const QColor kSeparatorColor = QColor::fromRgba64(0x2B2B, 0x5757, 0x9A9A, 0xFFFF);
const QString kSeparatorLong = QStringLiteral("===================");
const QString kSeparatorShort = QStringLiteral("========");
const QColor kSentColor = QColor(0, 0, 255);
// Lines reach the view in batches, four a second: as fast as anyone reads a log, and each
// batch costs a layout and a paint of the view (at ten a second that was a third of the
// tool's CPU while polling).
constexpr int kFlushMs = 250;
// Room left and right of a line's text.
constexpr int kTextMargin = 3;

QString logPrefix(const QDateTime &time)
{
    return QLatin1Char('[') + time.toLocalTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("]    ");
}

int rowHeight(const QWidget *view)
{
    return QFontMetrics(view->font()).lineSpacing();
}

} // namespace

// Draws a log line as one line of text in its colour; every row has the height of a line
// and the width of the widest, so the view lays out and paints only the rows in sight.
// Polling repeats the same few texts and the time changes once a second: the time and the
// text are laid out once each and drawn from that.
class LogLineDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    int widest = 0;

    // The line's width as drawn: its time, then its text.
    int width(const LogLine &line, const QFont &font) const
    {
        return piece(prefix(line.time), font).width + piece(line.text, font).width;
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return QSize(widest + 2 * kTextMargin, rowHeight(option.widget));
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette::ColorGroup group = option.state & QStyle::State_Active ? QPalette::Active
                                                                               : QPalette::Inactive;
        QColor color = option.palette.color(group, QPalette::Text);
        if (selected) {
            painter->fillRect(option.rect, option.palette.brush(group, QPalette::Highlight));
            color = option.palette.color(group, QPalette::HighlightedText);
        } else {
            const QVariant foreground = index.data(Qt::ForegroundRole);
            if (foreground.isValid())
                color = foreground.value<QBrush>().color();
        }
        painter->setPen(color);
        const LogLine &line = static_cast<const OutputLogModel *>(index.model())->line(index.row());
        QPoint at(option.rect.left() + kTextMargin,
                  option.rect.top() + (option.rect.height() - option.fontMetrics.height()) / 2);
        const Piece &time = piece(prefix(line.time), option.font);
        painter->drawStaticText(at, time.text);
        at.rx() += time.width;
        painter->drawStaticText(at, piece(line.text, option.font).text);
    }

private:
    struct Piece
    {
        QStaticText text;
        int width = 0;
    };
    // Enough for the texts of a screenful and more; a flood of distinct texts starts it over.
    static constexpr int kCachedPieces = 4096;

    const QString &prefix(const QDateTime &time) const
    {
        const qint64 second = time.toMSecsSinceEpoch() / 1000;
        auto it = prefixes.constFind(second);
        if (it == prefixes.constEnd()) {
            if (prefixes.size() >= kCachedPieces)
                prefixes.clear();
            it = prefixes.insert(second, logPrefix(time));
        }
        return *it;
    }

    const Piece &piece(const QString &text, const QFont &font) const
    {
        if (font != piecesFont) {
            pieces.clear();
            piecesFont = font;
        }
        auto it = pieces.constFind(text);
        if (it == pieces.constEnd()) {
            if (pieces.size() >= kCachedPieces)
                pieces.clear();
            Piece made;
            made.text.setText(text);
            made.text.setTextFormat(Qt::PlainText);
            made.text.setPerformanceHint(QStaticText::AggressiveCaching);
            made.width = QFontMetrics(font).horizontalAdvance(text);
            it = pieces.insert(text, made);
        }
        return *it;
    }

    mutable QHash<qint64, QString> prefixes;
    mutable QHash<QString, Piece> pieces;
    mutable QFont piecesFont;
};

OutputLogModel::OutputLogModel(int bound, QObject *parent)
    : QAbstractListModel(parent)
    , bound(bound)
{
}

int OutputLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

QVariant OutputLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return QVariant();
    const LogLine &line = rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return logPrefix(line.time) + line.text;
    case Qt::ForegroundRole:
        return line.color.isValid() ? QVariant(QBrush(line.color)) : QVariant();
    case Qt::ToolTipRole:
        // A line wider than the view is whole in its tool tip.
        return line.text;
    default:
        return QVariant();
    }
}

QString OutputLogModel::shownText(int row) const
{
    return logPrefix(rows.at(row).time) + rows.at(row).text;
}

int OutputLogModel::append(const QList<LogLine> &added)
{
    if (added.isEmpty())
        return 0;
    const int excess = rows.size() + added.size() - bound;
    int removed = 0;
    if (excess > 0) {
        removed = qMin(excess, rows.size());
        beginRemoveRows(QModelIndex(), 0, removed - 1);
        rows.erase(rows.begin(), rows.begin() + removed);
        endRemoveRows();
    }
    // More than the bound in one go: only the newest are shown.
    const int skip = qMax(0, added.size() - bound);
    beginInsertRows(QModelIndex(), rows.size(), rows.size() + added.size() - skip - 1);
    rows.append(skip > 0 ? added.mid(skip) : added);
    endInsertRows();
    return removed;
}

void OutputLogModel::setLines(const QList<LogLine> &shown)
{
    beginResetModel();
    rows = shown.size() > bound ? shown.mid(shown.size() - bound) : shown;
    endResetModel();
}

OutputLog::OutputLog(QListView *view, QCheckBox *showPolling, QCheckBox *pause, QObject *parent)
    : QObject(parent)
    , view(view)
    , showPollingBox(showPolling)
    , pauseBox(pause)
    , shown(new OutputLogModel(kHistoryLines, this))
    , delegate(new LogLineDelegate(this))
{
    view->setUniformItemSizes(true);
    view->setItemDelegate(delegate);
    view->setModel(shown);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view->setWordWrap(false);

    auto *copy = new QAction(tr("Copy", " 复制 "), view);
    copy->setObjectName(QStringLiteral("recvTextCopy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &OutputLog::copySelection);
    view->addAction(copy);
    view->setContextMenuPolicy(Qt::ActionsContextMenu);

    flushTimer.setSingleShot(true);
    flushTimer.setInterval(kFlushMs);
    connect(&flushTimer, &QTimer::timeout, this, &OutputLog::flush);
    connect(showPollingBox, &QCheckBox::toggled, this, &OutputLog::rebuild);
    connect(pauseBox, &QCheckBox::toggled, this, [this](bool paused) {
        if (!paused)
            rebuild();
    });
}

int OutputLog::viewHeight(const QAbstractScrollArea *view, int lines)
{
    // A long line brings the horizontal scroll bar; the lines stay in sight above it.
    return lines * rowHeight(view) + 2 * view->frameWidth()
        + view->horizontalScrollBar()->sizeHint().height();
}

bool OutputLog::full()
{
    if (pending.size() < kPendingLines)
        return false;
    ++dropped;
    return true;
}

void OutputLog::queue(const LogLine &line)
{
    pending.append(line);
    if (!flushTimer.isActive())
        flushTimer.start();
}

void OutputLog::append(const QString &text, const QColor &color)
{
    if (full())
        return;
    queue({QDateTime::currentDateTimeUtc(), text, color});
}

void OutputLog::appendSeparator()
{
    if (full())
        return;
    LogLine line{QDateTime::currentDateTimeUtc(), kSeparatorLong, kSeparatorColor};
    line.separator = true;
    queue(line);
}

void OutputLog::appendBanner(const QString &title)
{
    if (title.isEmpty()) {
        append(QString(), kSeparatorColor);
        return;
    }
    append(kSeparatorLong, kSeparatorColor);
    append(kSeparatorShort + title + kSeparatorShort, kSeparatorColor);
    append(kSeparatorLong, kSeparatorColor);
}

void OutputLog::appendReceived(const QString &hex, bool polling)
{
    if (full())
        return;
    QString shown;
    shown.reserve(hex.size() * 3 / 2 + 2);
    for (int i = 0; i <= hex.size(); i += 2)
        shown += hex.midRef(i, 2) + QLatin1Char(' ');
    shown = upperCase ? shown.toUpper() : shown.toLower();
    LogLine line{QDateTime::currentDateTimeUtc(), shown, QColor()};
    line.polling = polling;
    queue(line);
}

void OutputLog::showExchange(const ExchangeRecord &record)
{
    using Result = ExchangeRecord::Result;
    if (record.direction == ExchangeRecord::Direction::Sent) {
        if (full())
            return;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        LogLine separator{now, kSeparatorLong, kSeparatorColor};
        separator.separator = true;
        separator.polling = record.polling;
        queue(separator);
        if (full())
            return;
        LogLine sent{now,
                     tr("Send: %1", " 发送：%1 ").arg(QString::fromLatin1(record.bytes.toHex(' '))),
                     kSentColor};
        sent.polling = record.polling;
        queue(sent);
        return;
    }
    // Time-outs and withdrawals have their own notices; a frame received is shown as it came.
    if (record.result == Result::TimedOut || record.result == Result::NotSent || record.bytes.isEmpty())
        return;
    appendReceived(QString::fromLatin1(record.bytes.toHex()), record.polling);
}

void OutputLog::showNotice(const LinkNotice &notice)
{
    using Severity = LinkNotice::Severity;
    QColor color(Qt::black);
    switch (notice.severity) {
    case Severity::Info:
        break;
    case Severity::Success:
        color = QColor(0, 128, 0);
        break;
    case Severity::Warning:
        color = QColor(200, 120, 0);
        break;
    case Severity::Error:
        color = QColor(Qt::red);
        break;
    }
    append(notice.text, color);
}

void OutputLog::flush()
{
    flushTimer.stop();
    QList<LogLine> batch;
    batch.swap(pending);
    if (dropped > 0) {
        batch.append({QDateTime::currentDateTimeUtc(),
                      tr("%1 log lines dropped: more came in than the view can take",
                         " 丢弃了 %1 行日志：来得比显示得快 ")
                          .arg(dropped),
                      QColor(Qt::red)});
        dropped = 0;
    }
    if (batch.isEmpty())
        return;
    lines.append(batch);
    const int excess = lines.size() - kHistoryLines;
    if (excess > 0)
        lines.erase(lines.begin(), lines.begin() + excess);
    if (!pauseBox->isChecked())
        show(batch);
}

void OutputLog::clear()
{
    pending.clear();
    lines.clear();
    dropped = 0;
    shown->setLines({});
    delegate->widest = 0;
}

void OutputLog::show(const QList<LogLine> &batch)
{
    QList<LogLine> added;
    if (showPollingBox->isChecked()) {
        added = batch;
    } else {
        for (const LogLine &line : batch) {
            if (!line.polling)
                added.append(line);
        }
    }
    if (added.isEmpty())
        return;
    // The view follows the newest line unless the operator scrolled up to read.
    const QScrollBar *bar = view->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    const int top = following ? 0 : view->indexAt(QPoint(0, 0)).row();
    const int removed = shown->append(added);
    measure(shown->rowCount() - added.size());
    if (following)
        view->scrollToBottom();
    else if (removed > 0)
        view->scrollTo(shown->index(qMax(0, top - removed)), QAbstractItemView::PositionAtTop);
}

void OutputLog::measure(int fromRow)
{
    const QFont font = view->font();
    int widest = delegate->widest;
    for (int row = qMax(0, fromRow); row < shown->rowCount(); ++row)
        widest = qMax(widest, delegate->width(shown->line(row), font));
    if (widest != delegate->widest) {
        delegate->widest = widest;
        view->doItemsLayout();
    }
}

void OutputLog::rebuild()
{
    // A paused view stays as it is; resuming rebuilds it.
    if (pauseBox->isChecked())
        return;
    QList<LogLine> kept;
    const bool showPolling = showPollingBox->isChecked();
    for (const LogLine &line : qAsConst(lines)) {
        if (showPolling || !line.polling)
            kept.append(line);
    }
    shown->setLines(kept);
    delegate->widest = 0;
    measure(0);
    view->scrollToBottom();
}

QString OutputLog::shownText() const
{
    QStringList text;
    text.reserve(shown->rowCount());
    for (int row = 0; row < shown->rowCount(); ++row)
        text << shown->shownText(row);
    return text.join(QLatin1Char('\n'));
}

void OutputLog::copySelection()
{
    QModelIndexList selected = view->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    std::sort(selected.begin(), selected.end());
    QStringList text;
    for (const QModelIndex &index : qAsConst(selected))
        text << shown->shownText(index.row());
    QApplication::clipboard()->setText(text.join(QLatin1Char('\n')));
}

bool OutputLog::save(const QString &path, QString *error)
{
    flush();
    QByteArray text;
    for (const LogLine &line : qAsConst(lines)) {
        text += (QLatin1Char('[') + line.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
                 + QStringLiteral("]    ") + line.text + QLatin1Char('\n'))
                    .toUtf8();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
