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

#include <algorithm>

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
// Wrapped texts remembered: polling repeats a few; a flood of distinct texts starts it over.
constexpr int kWrappedTexts = 4096;

QString logPrefix(const QDateTime &time)
{
    return QLatin1Char('[') + time.toLocalTime().toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("]    ");
}

int rowHeight(const QWidget *view)
{
    return QFontMetrics(view->font()).lineSpacing();
}

// Where a line's text begins, after the widest time of day: continuation rows start there too.
int timeColumn(const QFontMetrics &metrics)
{
    int widest = 0;
    for (char c = '0'; c <= '9'; ++c) {
        const QString digits(2, QLatin1Char(c));
        widest = qMax(widest, metrics.horizontalAdvance(QLatin1Char('[') + digits + QLatin1Char(':') + digits
                                                        + QLatin1Char(':') + digits + QStringLiteral("]    ")));
    }
    return widest;
}

} // namespace

// Draws a row of the log in its line's colour: the time of day on a line's first row, then
// that row's piece of the text under the text column. Every row has the height of a line
// and the view's width, so the view lays out and paints only the rows in sight. Polling
// repeats the same few texts and the time changes once a second: each piece is laid out
// once and drawn from that.
class LogLineDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        const auto *view = qobject_cast<const QAbstractScrollArea *>(option.widget);
        return QSize(view ? view->viewport()->width() : 1, rowHeight(option.widget));
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
        const auto *model = static_cast<const OutputLogModel *>(index.model());
        const QPoint at(option.rect.left() + kTextMargin,
                        option.rect.top() + (option.rect.height() - option.fontMetrics.height()) / 2);
        painter->drawStaticText(at + QPoint(textColumn(option.font), 0),
                                piece(model->piece(index.row()), option.font));
        if (!model->continues(index.row()))
            painter->drawStaticText(at, piece(prefix(model->line(index.row()).time), option.font));
    }

private:
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

    int textColumn(const QFont &font) const
    {
        if (column < 0 || font != piecesFont) {
            pieces.clear();
            piecesFont = font;
            column = timeColumn(QFontMetrics(font));
        }
        return column;
    }

    const QStaticText &piece(const QString &text, const QFont &font) const
    {
        textColumn(font);
        auto it = pieces.constFind(text);
        if (it == pieces.constEnd()) {
            if (pieces.size() >= kCachedPieces)
                pieces.clear();
            QStaticText made(text);
            made.setTextFormat(Qt::PlainText);
            made.setPerformanceHint(QStaticText::AggressiveCaching);
            it = pieces.insert(text, made);
        }
        return *it;
    }

    mutable QHash<qint64, QString> prefixes;
    mutable QHash<QString, QStaticText> pieces;
    mutable QFont piecesFont;
    mutable int column = -1;
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
    const LogLine &shown = line(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return continues(index.row()) ? piece(index.row()) : logPrefix(shown.time) + piece(index.row());
    case Qt::ForegroundRole:
        return shown.color.isValid() ? QVariant(QBrush(shown.color)) : QVariant();
    default:
        return QVariant();
    }
}

QString OutputLogModel::piece(int row) const
{
    const Row &at = rows.at(row);
    return lines.at(lineOf(row)).text.mid(at.start, at.length);
}

QString OutputLogModel::shownText(int line) const
{
    return logPrefix(lines.at(line).time) + lines.at(line).text;
}

const QVector<OutputLogModel::Cut> &OutputLogModel::cuts(const QString &text) const
{
    auto it = wrapped.constFind(text);
    if (it != wrapped.constEnd())
        return *it;
    if (wrapped.size() >= kWrappedTexts)
        wrapped.clear();
    QVector<Cut> made;
    const int size = text.size();
    if (wrapWidth <= 0) {
        made.append({0, size});
        return *wrapped.insert(text, made);
    }
    const QFontMetrics metrics(wrapFont);
    auto fits = [&](int from, int to) {
        return metrics.horizontalAdvance(text.mid(from, to - from)) <= wrapWidth;
    };
    // Rows break at spaces (between the bytes of a frame); a word wider than a row
    // breaks where the row ends. Spaces at a break are not carried to the next row.
    int start = 0;
    for (;;) {
        int end = start;
        int at = start;
        bool tookWord = false;
        while (at < size) {
            int wordEnd = text.indexOf(QLatin1Char(' '), at);
            if (wordEnd < 0)
                wordEnd = size;
            if (wordEnd > at) {
                if (!fits(start, wordEnd))
                    break;
                tookWord = true;
            }
            end = wordEnd;
            at = wordEnd;
            while (at < size && text.at(at) == QLatin1Char(' '))
                ++at;
        }
        if (!tookWord && at < size) {
            int wordEnd = text.indexOf(QLatin1Char(' '), at);
            if (wordEnd < 0)
                wordEnd = size;
            // The most of the word that fits, at least one character.
            int low = at + 1;
            int high = wordEnd - 1;
            while (low < high) {
                const int middle = (low + high + 1) / 2;
                if (fits(start, middle))
                    low = middle;
                else
                    high = middle - 1;
            }
            end = low;
            at = low;
        }
        made.append({start, end - start});
        if (at >= size)
            break;
        start = at;
    }
    return *wrapped.insert(text, made);
}

QVector<OutputLogModel::Row> OutputLogModel::rowsOf(int fromLine) const
{
    QVector<Row> made;
    for (int i = fromLine; i < lines.size(); ++i) {
        const QVector<Cut> &pieces = cuts(lines.at(i).text);
        // A separator is a rule across the row: its first row only, cut at the edge.
        const int count = lines.at(i).separator ? 1 : pieces.size();
        for (int cut = 0; cut < count; ++cut)
            made.append({firstLine + i, pieces.at(cut).start, pieces.at(cut).length});
    }
    return made;
}

void OutputLogModel::addRows(int fromLine)
{
    rows += rowsOf(fromLine);
}

int OutputLogModel::rowOf(qint64 line, int offset) const
{
    auto it = std::lower_bound(rows.cbegin(), rows.cend(), line,
                               [](const Row &row, qint64 wanted) { return row.line < wanted; });
    if (it == rows.cend())
        return rows.size() - 1;
    while (it + 1 != rows.cend() && (it + 1)->line == line && (it + 1)->start <= offset)
        ++it;
    return int(it - rows.cbegin());
}

int OutputLogModel::append(const QList<LogLine> &added)
{
    if (added.isEmpty())
        return 0;
    const int excess = lines.size() + added.size() - bound;
    int removed = 0;
    if (excess > 0) {
        const int gone = qMin(excess, lines.size());
        const qint64 kept = firstLine + gone;
        while (removed < rows.size() && rows.at(removed).line < kept)
            ++removed;
        if (removed > 0) {
            beginRemoveRows(QModelIndex(), 0, removed - 1);
            lines.erase(lines.begin(), lines.begin() + gone);
            rows.erase(rows.begin(), rows.begin() + removed);
            firstLine = kept;
            endRemoveRows();
        }
    }
    // More than the bound in one go: only the newest are shown.
    const int skip = qMax(0, added.size() - bound);
    const int from = lines.size();
    const int fromRow = rows.size();
    lines.append(skip > 0 ? added.mid(skip) : added);
    const QVector<Row> newRows = rowsOf(from);
    beginInsertRows(QModelIndex(), fromRow, fromRow + newRows.size() - 1);
    rows += newRows;
    endInsertRows();
    return removed;
}

void OutputLogModel::setLines(const QList<LogLine> &shown)
{
    beginResetModel();
    lines = shown.size() > bound ? shown.mid(shown.size() - bound) : shown;
    rows.clear();
    firstLine = 0;
    addRows(0);
    endResetModel();
}

bool OutputLogModel::setWrapWidth(const QFont &font, int width)
{
    if (width == wrapWidth && font == wrapFont)
        return false;
    wrapFont = font;
    wrapWidth = width;
    wrapped.clear();
    // The rows picked or in sight stay on the same part of their lines.
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QVector<Row> places;
    places.reserve(before.size());
    for (const QModelIndex &index : before)
        places.append(rows.at(index.row()));
    rows.clear();
    addRows(0);
    QModelIndexList after;
    after.reserve(before.size());
    for (const Row &place : qAsConst(places))
        after.append(index(rowOf(place.line, place.start)));
    changePersistentIndexList(before, after);
    emit layoutChanged();
    return true;
}

OutputLog::OutputLog(QListView *view, QCheckBox *showPolling, QCheckBox *pause, QObject *parent)
    : QObject(parent)
    , view(view)
    , viewport(view->viewport())
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
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    // Long lines wrap onto rows of their own: nothing to scroll sideways.
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
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
    // A resize re-wraps once the sizes have settled, not at every step of a drag.
    wrapTimer.setSingleShot(true);
    wrapTimer.setInterval(0);
    connect(&wrapTimer, &QTimer::timeout, this, &OutputLog::wrap);
    view->installEventFilter(this);
    viewport->installEventFilter(this);
    wrap();
    connect(showPollingBox, &QCheckBox::toggled, this, &OutputLog::rebuild);
    connect(pauseBox, &QCheckBox::toggled, this, [this](bool paused) {
        if (!paused)
            rebuild();
    });
}

int OutputLog::viewHeight(const QAbstractScrollArea *view, int lines)
{
    return lines * rowHeight(view) + 2 * view->frameWidth();
}

bool OutputLog::eventFilter(QObject *watched, QEvent *event)
{
    // Addresses only: no call into a view that may be half destroyed.
    if ((event->type() == QEvent::Resize && watched == viewport)
        || (event->type() == QEvent::FontChange && watched == view))
        wrapTimer.start();
    return QObject::eventFilter(watched, event);
}

void OutputLog::wrap()
{
    const QFont font = view->font();
    const int width = view->viewport()->width() - 2 * kTextMargin - timeColumn(QFontMetrics(font));
    const QScrollBar *bar = view->verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    const QPersistentModelIndex top = view->indexAt(QPoint(0, 0));
    if (!shown->setWrapWidth(font, qMax(1, width)))
        return;
    if (atEnd)
        view->scrollToBottom();
    else if (top.isValid())
        view->scrollTo(top, QAbstractItemView::PositionAtTop);
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
    if (following)
        view->scrollToBottom();
    else if (removed > 0)
        view->scrollTo(shown->index(qMax(0, top - removed)), QAbstractItemView::PositionAtTop);
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
    view->scrollToBottom();
}

QString OutputLog::shownText() const
{
    QStringList text;
    text.reserve(shown->lineCount());
    for (int line = 0; line < shown->lineCount(); ++line)
        text << shown->shownText(line);
    return text.join(QLatin1Char('\n'));
}

void OutputLog::copySelection()
{
    QModelIndexList selected = view->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    std::sort(selected.begin(), selected.end());
    QStringList text;
    int last = -1;
    for (const QModelIndex &index : qAsConst(selected)) {
        // A wrapped line is copied once, whole, however many of its rows are picked.
        const int line = shown->lineOf(index.row());
        if (line != last)
            text << shown->shownText(line);
        last = line;
    }
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
