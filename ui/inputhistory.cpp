#include "ui/inputhistory.h"

#include "protocol/csv.h"

#include <QDateTime>
#include <QSaveFile>

InputHistory::InputHistory(QObject *parent) : QAbstractListModel(parent) {}

int InputHistory::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_entries.size();
}

QString InputHistory::entryText(const Entry &entry)
{
    const QString time =
        QDateTime::fromMSecsSinceEpoch(entry.timeMs).toString(QStringLiteral("hh:mm:ss.zzz"));
    return entry.on ? tr("%1 on %2", " %1 接通 %2 ").arg(entry.channel, time)
                    : tr("%1 off %2", " %1 断开 %2 ").arg(entry.channel, time);
}

QVariant InputHistory::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size() || role != Qt::DisplayRole)
        return QVariant();
    return entryText(m_entries.at(index.row()));
}

void InputHistory::addSample(const PolledSample &sample)
{
    if (sample.kind != PolledSample::Kind::SwitchInput)
        return;
    const bool on = sample.value != 0;
    const auto known = m_known.constFind(sample.channel);
    const bool changed = known != m_known.constEnd() && known.value() != on;
    m_known.insert(sample.channel, on);
    if (!changed)
        return;
    if (m_entries.size() >= kMaxEntries) {
        beginRemoveRows(QModelIndex(), 0, 0);
        m_entries.removeFirst();
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), m_entries.size(), m_entries.size());
    m_entries.append({sample.timeMs, sample.channel, on});
    endInsertRows();
}

void InputHistory::resetStates()
{
    m_known.clear();
}

void InputHistory::clear()
{
    beginResetModel();
    m_entries.clear();
    endResetModel();
}

QString InputHistory::csv() const
{
    QString text = Csv::line({QStringLiteral("time"), QStringLiteral("channel"), QStringLiteral("state")});
    for (const Entry &entry : m_entries)
        text += Csv::line({QDateTime::fromMSecsSinceEpoch(entry.timeMs)
                               .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")),
                           entry.channel, entry.on ? QStringLiteral("on") : QStringLiteral("off")});
    return text;
}

bool InputHistory::exportCsv(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv().toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
