#pragma once

#include "protocol/linkevents.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSortFilterProxyModel>
#include <QString>
#include <QTimer>
#include <QVector>

// One line of the traffic table: a request with what became of it, a frame that
// answered nothing, or an event of the link.
struct TrafficRow
{
    enum class Result { Pending, Ok, Exception, TimedOut, NotSent, BadCrc, Unmatched, Event };

    qint64 timeMs = 0;
    quint64 requestId = 0;
    LinkKind link = LinkKind::None;
    Result result = Result::Pending;
    bool polling = false;
    int unit = -1;
    int function = -1;
    int address = -1;
    int quantity = -1;
    int exceptionCode = 0;
    qint64 responseMs = -1;
    QString kind;
    QString data;   // decoded values; for an event, its text
};

// The last exchanges with the module, newest last, in a ring of fixed size: once it is
// full the oldest row goes for each new one. Records are shown in batches, so a fast
// poll costs one insertion per batch, not one per row.
class TrafficModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Link, Unit, Function, Address, Quantity, Data, Result, Response, ColumnCount };
    static constexpr int kDefaultCapacity = 100000;
    static constexpr int kBatchMs = 100;

    explicit TrafficModel(QObject *parent = nullptr, int capacity = kDefaultCapacity);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TrafficRow &row(int index) const;
    int capacity() const { return m_capacity; }

    // While paused the table holds still; what arrives meanwhile is shown on resuming
    // (at most a ring's worth).
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    // Shows what has arrived now instead of at the next batch.
    void flush();
    void clear();

    static QString resultText(const TrafficRow &row);
    static QString columnText(const TrafficRow &row, int column);

public slots:
    void addExchange(const ExchangeRecord &record);
    void addNotice(const LinkNotice &notice);

private:
    void append(const TrafficRow &row);
    TrafficRow *rowForSequence(quint64 sequence);
    void scheduleFlush();

    QVector<TrafficRow> m_ring;
    int m_capacity;
    int m_start = 0;           // ring index of the oldest shown row
    int m_count = 0;           // rows shown
    quint64 m_shownEnd = 0;    // sequence number after the newest shown row
    QVector<TrafficRow> m_pending; // arrived, not yet shown; sequences from m_shownEnd on
    quint64 m_pendingSkipped = 0;  // arrived while paused and already pushed out again
    QHash<quint64, quint64> m_open; // request id -> sequence of its row
    int m_changedFirst = -1;   // shown rows changed since the last batch
    int m_changedLast = -1;
    bool m_paused = false;
    QTimer m_batchTimer;
};

// The rows the operator asked to see: one function, one result, a text anywhere in the
// row, polling hidden.
class TrafficFilter : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    enum class ResultFilter { All, Ok, Failed, Exception, TimedOut, BadCrc, Unmatched, Event };

    explicit TrafficFilter(QObject *parent = nullptr);

    void setFunction(int function); // -1: every function
    void setResult(ResultFilter result);
    void setText(const QString &text);
    void setHidePolling(bool hide);

    // The rows shown, with a header line, as CSV.
    QString csv() const;
    bool exportCsv(const QString &path, QString *error = nullptr) const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;

private:
    int m_function = -1;
    ResultFilter m_result = ResultFilter::All;
    QString m_text;
    bool m_hidePolling = false;
};
