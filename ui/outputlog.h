#pragma once

#include "protocol/linkevents.h"

#include <QAbstractListModel>
#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class QAbstractScrollArea;
class QCheckBox;
class QListView;
class LogLineDelegate;

// One line of the output log, kept with the time it was written.
struct LogLine
{
    QDateTime time; // UTC: taken without a time zone lookup per line, shown in local time
    QString text;
    QColor color; // invalid: the view's own text colour
    bool polling = false;
    bool separator = false;
};

// The lines the log view shows, oldest first: the time of day, then the text, in the
// line's colour. Bounded: the oldest go first. A line wider than the view wraps onto
// rows of its own: each row is a piece of one line, broken at spaces, so every row has
// the same height and the view lays out only the rows in sight.
class OutputLogModel : public QAbstractListModel
{
    Q_OBJECT

public:
    explicit OutputLogModel(int bound, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Adds the lines at the end and returns how many old rows went to keep the bound.
    int append(const QList<LogLine> &added);
    void setLines(const QList<LogLine> &shown);
    // Wraps the lines so that a row's text is at most this wide in this font; 0: no wrap.
    // Returns whether the rows changed.
    bool setWrapWidth(const QFont &font, int width);

    int lineCount() const { return lines.size(); }
    // The line a row shows (part of), and where that part of its text begins and ends.
    const LogLine &line(int row) const { return lines.at(lineOf(row)); }
    int lineOf(int row) const { return int(rows.at(row).line - firstLine); }
    bool continues(int row) const { return rows.at(row).start > 0; }
    QString piece(int row) const;
    // A whole line as the view shows it: "[hh:mm:ss]    text".
    QString shownText(int line) const;

private:
    struct Row
    {
        qint64 line; // counted from the first line ever added
        int start;
        int length;
    };
    struct Cut
    {
        int start;
        int length;
    };
    const QVector<Cut> &cuts(const QString &text) const;
    // The display rows of the lines from `fromLine` on.
    QVector<Row> rowsOf(int fromLine) const;
    void addRows(int fromLine);
    int rowOf(qint64 line, int offset) const;

    QList<LogLine> lines;
    QVector<Row> rows;
    qint64 firstLine = 0;
    int bound;
    QFont wrapFont;
    int wrapWidth = 0;
    mutable QHash<QString, QVector<Cut>> wrapped; // polling repeats the same few texts
};

// The output log: every line kept (polling too) up to a bound, lines waiting for the view
// bounded as well, and the list view that shows them unless paused or hidden as polling.
// It formats what the link reports: a frame sent, a frame received, a notice.
class OutputLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHistoryLines = 5000;
    static constexpr int kPendingLines = 2000;

    // The view shows the lines; "Show polling" and "Pause" decide which and when.
    OutputLog(QListView *view, QCheckBox *showPolling, QCheckBox *pause, QObject *parent = nullptr);

    // The height a log view needs to show the given number of rows in full.
    static int viewHeight(const QAbstractScrollArea *view, int lines);

    void append(const QString &text, const QColor &color);
    // Received bytes (hex text) as the terminal shows them, in the case chosen.
    void appendReceived(const QString &hex, bool polling);
    void appendSeparator();
    // A title between separator lines; an empty title is one empty line.
    void appendBanner(const QString &title);
    void showExchange(const ExchangeRecord &record);
    void showNotice(const LinkNotice &notice);
    void setUpperCase(bool upper) { upperCase = upper; }

    // Moves the waiting lines into the history and, unless paused, into the view.
    void flush();
    void clear();
    // Writes the kept history as UTF-8 text with time stamps; false with the reason.
    bool save(const QString &path, QString *error = nullptr);
    const QList<LogLine> &history() const { return lines; }

    const OutputLogModel *model() const { return shown; }
    // What the view shows, whole lines, one per line of text.
    QString shownText() const;
    // The lines of the selected rows, each once and whole, to the clipboard.
    void copySelection();

private:
    bool full();
    void queue(const LogLine &line);
    void show(const QList<LogLine> &batch);
    void rebuild();
    void wrap();
    bool eventFilter(QObject *watched, QEvent *event) override;

    QListView *view;
    QWidget *viewport; // kept: while the view is destroyed, its viewport still sends events
    QCheckBox *showPollingBox;
    QCheckBox *pauseBox;
    OutputLogModel *shown;
    LogLineDelegate *delegate;
    QList<LogLine> lines;
    QList<LogLine> pending;
    int dropped = 0;
    bool upperCase = false;
    QTimer flushTimer;
    QTimer wrapTimer;
};
