#include "ui/trafficmodel.h"

#include "protocol/csv.h"
#include "protocol/exchangefields.h"
#include "protocol/modbuscodec.h"
#include "protocol/modbusrequest.h"
#include "protocol/replydecoder.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

bool isWrite(int function)
{
    return function == 0x05 || function == 0x06 || function == 0x0F || function == 0x10;
}

QString hexWords(const QVector<quint16> &values)
{
    QStringList words;
    for (const quint16 value : values)
        words << QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
    return words.join(QLatin1Char(' '));
}

// What a reply carries, decoded as the panel that asked for it decodes it.
QString replyData(const QString &kind, const ExchangeRecord &record,
                  const ExchangeFields::Fields &fields)
{
    const QString reply = ExchangeFields::replyText(record.bytes, record.link);
    if (kind == ModbusRequest::kAnalogStartDetecting) {
        const QString values = ModbusCodec::analyseAnalog_03(reply);
        if (!values.contains(QLatin1String("error"), Qt::CaseInsensitive))
            return values;
    }
    if (kind == ModbusRequest::kStartDetecting || kind == ModbusRequest::kCheckStatus)
        return ReplyDecoder::inputBits(reply);
    if (fields.function == 0x01 || fields.function == 0x02) {
        QStringList bits;
        for (const quint16 value : fields.values)
            bits << QString::number(value);
        return bits.join(QLatin1Char(' '));
    }
    return hexWords(fields.values);
}

QString writtenData(const ExchangeFields::Fields &fields)
{
    if (fields.function == 0x05)
        return fields.values.value(0) ? QStringLiteral("ON") : QStringLiteral("OFF");
    if (fields.function == 0x0F) {
        QStringList bits;
        for (const quint16 value : fields.values)
            bits << QString::number(value);
        return bits.join(QLatin1Char(' '));
    }
    return hexWords(fields.values);
}

TrafficRow::Result rowResult(ExchangeRecord::Result result)
{
    switch (result) {
    case ExchangeRecord::Result::Pending:
        return TrafficRow::Result::Pending;
    case ExchangeRecord::Result::Ok:
        return TrafficRow::Result::Ok;
    case ExchangeRecord::Result::Exception:
        return TrafficRow::Result::Exception;
    case ExchangeRecord::Result::TimedOut:
        return TrafficRow::Result::TimedOut;
    case ExchangeRecord::Result::NotSent:
        return TrafficRow::Result::NotSent;
    case ExchangeRecord::Result::BadCrc:
        return TrafficRow::Result::BadCrc;
    case ExchangeRecord::Result::Unmatched:
        return TrafficRow::Result::Unmatched;
    }
    return TrafficRow::Result::Pending;
}

QColor resultColour(TrafficRow::Result result)
{
    switch (result) {
    case TrafficRow::Result::Ok:
        return QColor(226, 244, 226);
    case TrafficRow::Result::Exception:
        return QColor(255, 224, 178);
    case TrafficRow::Result::TimedOut:
        return QColor(255, 205, 210);
    case TrafficRow::Result::BadCrc:
        return QColor(244, 143, 177);
    case TrafficRow::Result::Unmatched:
        return QColor(255, 245, 157);
    case TrafficRow::Result::NotSent:
        return QColor(224, 224, 224);
    case TrafficRow::Result::Event:
        return QColor(187, 222, 251);
    case TrafficRow::Result::Pending:
        break;
    }
    return QColor();
}

} // namespace

TrafficModel::TrafficModel(QObject *parent, int capacity)
    : QAbstractTableModel(parent), m_capacity(qMax(capacity, 1))
{
    m_batchTimer.setSingleShot(true);
    m_batchTimer.setInterval(kBatchMs);
    connect(&m_batchTimer, &QTimer::timeout, this, &TrafficModel::flush);
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_count;
}

int TrafficModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

const TrafficRow &TrafficModel::row(int index) const
{
    return m_ring.at((m_start + index) % m_capacity);
}

QString TrafficModel::resultText(const TrafficRow &row)
{
    switch (row.result) {
    case TrafficRow::Result::Pending:
        return tr("Waiting", " 等待中 ");
    case TrafficRow::Result::Ok:
        return tr("OK", " 成功 ");
    case TrafficRow::Result::Exception:
        return tr("Exception %1: %2", " 异常 %1：%2 ")
            .arg(row.exceptionCode, 2, 16, QLatin1Char('0'))
            .arg(ModbusRequest::exceptionMeaning(row.exceptionCode));
    case TrafficRow::Result::TimedOut:
        return tr("Time-out", " 超时 ");
    case TrafficRow::Result::NotSent:
        return tr("Not sent", " 未发送 ");
    case TrafficRow::Result::BadCrc:
        return tr("Bad CRC", " CRC 错误 ");
    case TrafficRow::Result::Unmatched:
        return tr("Unmatched", " 无对应请求 ");
    case TrafficRow::Result::Event:
        return tr("Link", " 链路 ");
    }
    return QString();
}

QString TrafficModel::columnText(const TrafficRow &row, int column)
{
    switch (column) {
    case Time:
        return QDateTime::fromMSecsSinceEpoch(row.timeMs).toString(QStringLiteral("hh:mm:ss.zzz"));
    case Link:
        if (row.link == LinkKind::Serial)
            return tr("Serial", " 串口 ");
        if (row.link == LinkKind::Tcp)
            return QStringLiteral("TCP");
        return QString();
    case Unit:
        return row.unit < 0 ? QString() : QString::number(row.unit);
    case Function:
        if (row.function < 0)
            return QString();
        return QStringLiteral("%1 %2")
            .arg(row.function, 2, 16, QLatin1Char('0'))
            .arg(ModbusRequest::functionName(row.function))
            .trimmed();
    case Address:
        return row.address < 0 ? QString()
                               : QStringLiteral("0x") + QStringLiteral("%1").arg(row.address, 4, 16, QLatin1Char('0')).toUpper();
    case Quantity:
        return row.quantity < 0 ? QString() : QString::number(row.quantity);
    case Data:
        return row.data;
    case Result:
        return resultText(row);
    case Response:
        return row.responseMs < 0 ? QString() : QString::number(row.responseMs);
    default:
        return QString();
    }
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_count)
        return QVariant();
    const TrafficRow &shown = row(index.row());
    if (role == Qt::DisplayRole)
        return columnText(shown, index.column());
    if (role == Qt::BackgroundRole) {
        const QColor colour = resultColour(shown.result);
        return colour.isValid() ? QVariant(QBrush(colour)) : QVariant();
    }
    if (role == Qt::ToolTipRole && !shown.kind.isEmpty())
        return shown.kind;
    return QVariant();
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Time:
        return tr("Time", " 时间 ");
    case Link:
        return tr("Link", " 链路 ");
    case Unit:
        return tr("Unit", " 站号 ");
    case Function:
        return tr("Function", " 功能码 ");
    case Address:
        return tr("Address", " 地址 ");
    case Quantity:
        return tr("Quantity", " 数量 ");
    case Data:
        return tr("Data", " 数据 ");
    case Result:
        return tr("Result", " 结果 ");
    case Response:
        return tr("Response (ms)", " 响应（毫秒） ");
    default:
        return QVariant();
    }
}

void TrafficModel::setPaused(bool paused)
{
    m_paused = paused;
    if (!paused)
        scheduleFlush();
}

TrafficRow *TrafficModel::rowForSequence(quint64 sequence)
{
    if (sequence >= m_shownEnd) {
        const quint64 at = sequence - m_shownEnd;
        if (at < m_pendingSkipped)
            return nullptr;
        return at - m_pendingSkipped < quint64(m_pending.size())
            ? &m_pending[int(at - m_pendingSkipped)]
            : nullptr;
    }
    const quint64 back = m_shownEnd - sequence; // 1 for the newest shown row
    if (back > quint64(m_count))
        return nullptr; // gone from the ring
    const int index = m_count - int(back);
    const int changed = index;
    m_changedFirst = m_changedFirst < 0 ? changed : qMin(m_changedFirst, changed);
    m_changedLast = qMax(m_changedLast, changed);
    return &m_ring[(m_start + index) % m_capacity];
}

void TrafficModel::append(const TrafficRow &row)
{
    m_pending.append(row);
    // While paused, only the newest ring's worth can ever be shown.
    if (m_pending.size() > 2 * m_capacity) {
        const int drop = m_pending.size() - m_capacity;
        m_pending.remove(0, drop);
        m_pendingSkipped += quint64(drop);
    }
    scheduleFlush();
}

void TrafficModel::scheduleFlush()
{
    if (!m_paused && !m_batchTimer.isActive())
        m_batchTimer.start();
}

void TrafficModel::flush()
{
    m_batchTimer.stop();
    if (m_paused)
        return;
    if (m_changedFirst >= 0 && m_changedFirst < m_count) {
        emit dataChanged(index(m_changedFirst, 0),
                         index(qMin(m_changedLast, m_count - 1), ColumnCount - 1));
    }
    m_changedFirst = m_changedLast = -1;
    if (m_pending.isEmpty())
        return;
    int incoming = m_pending.size();
    int skip = 0;
    if (incoming > m_capacity) {
        skip = incoming - m_capacity;
        incoming = m_capacity;
    }
    const int evict = qMax(0, m_count + incoming - m_capacity);
    if (evict > 0) {
        beginRemoveRows(QModelIndex(), 0, evict - 1);
        m_start = (m_start + evict) % m_capacity;
        m_count -= evict;
        endRemoveRows();
    }
    if (m_ring.size() < m_capacity)
        m_ring.resize(qMin(m_capacity, qMax(m_ring.size(), m_count + incoming)));
    beginInsertRows(QModelIndex(), m_count, m_count + incoming - 1);
    for (int i = 0; i < incoming; ++i)
        m_ring[(m_start + m_count + i) % m_capacity] = m_pending.at(skip + i);
    m_count += incoming;
    m_shownEnd += m_pendingSkipped + quint64(m_pending.size());
    m_pendingSkipped = 0;
    m_pending.clear();
    endInsertRows();
    // Requests whose rows are gone can no longer be completed.
    if (m_open.size() > m_capacity) {
        const quint64 oldest = m_shownEnd - quint64(m_count);
        for (auto it = m_open.begin(); it != m_open.end();)
            it = it.value() < oldest ? m_open.erase(it) : std::next(it);
    }
}

void TrafficModel::clear()
{
    beginResetModel();
    m_shownEnd += m_pendingSkipped + quint64(m_pending.size());
    m_pendingSkipped = 0;
    m_pending.clear();
    m_ring.clear();
    m_start = m_count = 0;
    m_open.clear();
    m_changedFirst = m_changedLast = -1;
    endResetModel();
}

void TrafficModel::addExchange(const ExchangeRecord &record)
{
    const quint64 sequence = m_shownEnd + m_pendingSkipped + quint64(m_pending.size());
    if (record.direction == ExchangeRecord::Direction::Sent && record.requestId != 0
        && record.result == ExchangeRecord::Result::Pending) {
        const ExchangeFields::Fields fields = ExchangeFields::request(record.bytes, record.link);
        TrafficRow row;
        row.timeMs = record.timeMs;
        row.requestId = record.requestId;
        row.link = record.link;
        row.polling = record.polling;
        row.kind = record.kind;
        row.unit = fields.valid ? fields.unit : int(record.unit);
        row.function = fields.function;
        row.address = fields.address;
        row.quantity = fields.quantity;
        if (isWrite(fields.function))
            row.data = writtenData(fields);
        m_open.insert(record.requestId, sequence);
        append(row);
        return;
    }

    TrafficRow *open = nullptr;
    if (record.requestId != 0) {
        const auto it = m_open.find(record.requestId);
        if (it != m_open.end()) {
            open = rowForSequence(it.value());
            m_open.erase(it);
        }
    }
    TrafficRow own;
    TrafficRow *row = open ? open : &own;
    if (!open) {
        // A frame that answers nothing, or the end of a request whose row is gone.
        own.timeMs = record.timeMs;
        own.requestId = record.requestId;
        own.link = record.link;
        own.polling = record.polling;
        own.kind = record.kind;
        own.unit = record.unit;
    }
    if (row->kind.isEmpty() && !record.kind.isEmpty()) {
        // A request recorded before its kind was known.
        row->kind = record.kind;
        row->polling = record.polling;
    }
    row->result = rowResult(record.result);
    row->responseMs = record.responseMs;
    if (!record.bytes.isEmpty()) {
        const ExchangeFields::Fields fields = ExchangeFields::reply(record.bytes, record.link);
        if (!open && fields.valid) {
            own.unit = fields.unit;
            own.function = fields.function;
            own.address = fields.address;
            own.quantity = fields.quantity;
        }
        if (record.result == ExchangeRecord::Result::Exception || fields.exception)
            row->exceptionCode = fields.exception ? fields.exceptionCode : record.exceptionCode;
        else if (record.result == ExchangeRecord::Result::Ok && !isWrite(fields.function))
            row->data = replyData(row->kind, record, fields);
        else if (record.result == ExchangeRecord::Result::BadCrc
                 || record.result == ExchangeRecord::Result::Unmatched)
            row->data = QString::fromLatin1(record.bytes.toHex(' ')).toUpper();
    } else if (record.result == ExchangeRecord::Result::Exception) {
        row->exceptionCode = record.exceptionCode;
    }
    if (open)
        scheduleFlush();
    else
        append(own);
}

void TrafficModel::addNotice(const LinkNotice &notice)
{
    TrafficRow row;
    row.timeMs = notice.timeMs;
    row.result = TrafficRow::Result::Event;
    row.data = notice.text;
    append(row);
}

TrafficFilter::TrafficFilter(QObject *parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
}

void TrafficFilter::setFunction(int function)
{
    m_function = function;
    invalidateFilter();
}

void TrafficFilter::setResult(ResultFilter result)
{
    m_result = result;
    invalidateFilter();
}

void TrafficFilter::setText(const QString &text)
{
    m_text = text.trimmed();
    invalidateFilter();
}

void TrafficFilter::setHidePolling(bool hide)
{
    m_hidePolling = hide;
    invalidateFilter();
}

bool TrafficFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    const auto *traffic = static_cast<const TrafficModel *>(sourceModel());
    const TrafficRow &row = traffic->row(sourceRow);
    if (m_hidePolling && row.polling)
        return false;
    if (m_function >= 0 && row.function != m_function)
        return false;
    using R = TrafficRow::Result;
    switch (m_result) {
    case ResultFilter::All:
        break;
    case ResultFilter::Ok:
        if (row.result != R::Ok)
            return false;
        break;
    case ResultFilter::Failed:
        if (row.result == R::Ok || row.result == R::Pending || row.result == R::Event)
            return false;
        break;
    case ResultFilter::Exception:
        if (row.result != R::Exception)
            return false;
        break;
    case ResultFilter::TimedOut:
        if (row.result != R::TimedOut)
            return false;
        break;
    case ResultFilter::BadCrc:
        if (row.result != R::BadCrc)
            return false;
        break;
    case ResultFilter::Unmatched:
        if (row.result != R::Unmatched)
            return false;
        break;
    case ResultFilter::Event:
        if (row.result != R::Event)
            return false;
        break;
    }
    if (m_text.isEmpty())
        return true;
    for (int column = 0; column < TrafficModel::ColumnCount; ++column) {
        if (TrafficModel::columnText(row, column).contains(m_text, Qt::CaseInsensitive))
            return true;
    }
    return row.kind.contains(m_text, Qt::CaseInsensitive);
}

QString TrafficFilter::csv() const
{
    QString text;
    QStringList header;
    for (int column = 0; column < TrafficModel::ColumnCount; ++column)
        header << sourceModel()->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    text += Csv::line(header);
    const auto *traffic = static_cast<const TrafficModel *>(sourceModel());
    for (int r = 0; r < rowCount(); ++r) {
        const TrafficRow &row = traffic->row(mapToSource(index(r, 0)).row());
        QStringList fields;
        for (int column = 0; column < TrafficModel::ColumnCount; ++column)
            fields << TrafficModel::columnText(row, column);
        text += Csv::line(fields);
    }
    return text;
}

bool TrafficFilter::exportCsv(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv().toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
