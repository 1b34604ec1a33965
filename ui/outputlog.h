#pragma once

#include "protocol/linkevents.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

class QCheckBox;
class QTextEdit;

// One line of the output log, kept with the time it was written.
struct LogLine
{
    QDateTime time;
    QString text;
    QColor color; // invalid: the view's own text colour
    bool polling = false;
    bool separator = false;
};

// The output log: every line kept (polling too) up to a bound, lines waiting for the view
// bounded as well, and the text view that shows them unless paused or hidden as polling.
// It formats what the link reports: a frame sent, a frame received, a notice.
class OutputLog : public QObject
{
    Q_OBJECT

public:
    static constexpr int kHistoryLines = 5000;
    static constexpr int kPendingLines = 2000;

    // The view shows the lines; "Show polling" and "Pause" decide which and when.
    OutputLog(QTextEdit *view, QCheckBox *showPolling, QCheckBox *pause, QObject *parent = nullptr);

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

private:
    bool full();
    void queue(const LogLine &line);
    void show(const QList<LogLine> &shown);
    void rebuild();

    QTextEdit *view;
    QCheckBox *showPollingBox;
    QCheckBox *pauseBox;
    QList<LogLine> lines;
    QList<LogLine> pending;
    int dropped = 0;
    bool upperCase = false;
    QTimer flushTimer;
};
