#pragma once

#include "protocol/polledvalues.h"

#include <QAbstractListModel>
#include <QHash>
#include <QVector>

// The switch inputs' changes, newest last, each with its time ("IN3 on 14:02:03.412");
// the last kMaxEntries are kept.
class InputHistory : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int kMaxEntries = 10000;

    struct Entry
    {
        qint64 timeMs = 0;
        QString channel;
        bool on = false;
    };

    explicit InputHistory(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const QVector<Entry> &entries() const { return m_entries; }
    static QString entryText(const Entry &entry);
    QString csv() const;
    bool exportCsv(const QString &path, QString *error = nullptr) const;
    // Forgets the known states (another model); the list stays.
    void resetStates();
    void clear();

public slots:
    void addSample(const PolledSample &sample);

private:
    QVector<Entry> m_entries;
    QHash<QString, bool> m_known;
};
