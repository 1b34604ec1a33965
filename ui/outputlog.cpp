#include "ui/outputlog.h"

#include <QCheckBox>
#include <QSaveFile>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

namespace {

const QColor kSeparatorColor = QColor::fromRgba64(0x2B2B, 0x5757, 0x9A9A, 0xFFFF);
const QString kSeparatorLong = QStringLiteral("===================");
const QString kSeparatorShort = QStringLiteral("========");
const QColor kSentColor = QColor(0, 0, 255);
// Lines reach the view in batches: each batch costs a layout of the document.
constexpr int kFlushMs = 100;

QString logPrefix(const QDateTime &time)
{
    return QLatin1Char('[') + time.toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("]    ");
}

} // namespace

OutputLog::OutputLog(QTextEdit *view, QCheckBox *showPolling, QCheckBox *pause, QObject *parent)
    : QObject(parent)
    , view(view)
    , showPollingBox(showPolling)
    , pauseBox(pause)
{
    view->setUndoRedoEnabled(false);
    view->document()->setMaximumBlockCount(kHistoryLines);
    flushTimer.setSingleShot(true);
    flushTimer.setInterval(kFlushMs);
    connect(&flushTimer, &QTimer::timeout, this, &OutputLog::flush);
    connect(showPollingBox, &QCheckBox::toggled, this, &OutputLog::rebuild);
    connect(pauseBox, &QCheckBox::toggled, this, [this](bool paused) {
        if (!paused)
            rebuild();
    });
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
    queue({QDateTime::currentDateTime(), text, color});
}

void OutputLog::appendSeparator()
{
    if (full())
        return;
    LogLine line{QDateTime::currentDateTime(), kSeparatorLong, kSeparatorColor};
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
    LogLine line{QDateTime::currentDateTime(), shown, QColor()};
    line.polling = polling;
    queue(line);
}

void OutputLog::showExchange(const ExchangeRecord &record)
{
    using Result = ExchangeRecord::Result;
    if (record.direction == ExchangeRecord::Direction::Sent) {
        if (full())
            return;
        const QDateTime now = QDateTime::currentDateTime();
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
        batch.append({QDateTime::currentDateTime(),
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
    view->clear();
}

void OutputLog::show(const QList<LogLine> &shown)
{
    const bool showPolling = showPollingBox->isChecked();
    QTextDocument *document = view->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    bool any = false;
    for (const LogLine &line : shown) {
        if (line.polling && !showPolling)
            continue;
        QTextCharFormat format;
        format.setForeground(line.color.isValid() ? QBrush(line.color) : view->palette().text());
        if (!document->isEmpty())
            cursor.insertBlock();
        cursor.insertText(logPrefix(line.time) + line.text, format);
        any = true;
    }
    cursor.endEditBlock();
    if (!any)
        return;
    view->moveCursor(QTextCursor::End);
    view->ensureCursorVisible();
}

void OutputLog::rebuild()
{
    // A paused view stays as it is; resuming rebuilds it.
    if (pauseBox->isChecked())
        return;
    view->clear();
    show(lines);
}

bool OutputLog::save(const QString &path, QString *error)
{
    flush();
    QByteArray text;
    for (const LogLine &line : qAsConst(lines)) {
        text += (QLatin1Char('[') + line.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
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
