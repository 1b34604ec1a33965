#pragma once

#include "protocol/wireframe.h"

// Exchange records as the link makes them, from a PDU in hex: the request with this id, sent
// at `id` seconds, and its end `responseMs` later.
inline ExchangeRecord sent(quint64 id, const QString &kind, const QByteArray &pduHex,
                           LinkKind link = LinkKind::Serial, bool polling = false)
{
    ExchangeRecord record;
    record.requestId = id;
    record.direction = ExchangeRecord::Direction::Sent;
    record.result = ExchangeRecord::Result::Pending;
    record.link = link;
    record.kind = kind;
    record.bytes = wireFrame(QString::fromLatin1(pduHex), link);
    record.polling = polling;
    record.unit = quint8(pduHex.left(2).toUInt(nullptr, 16));
    record.timeMs = 1000 * qint64(id);
    return record;
}

inline ExchangeRecord answer(quint64 id, ExchangeRecord::Result result, const QByteArray &pduHex,
                             LinkKind link = LinkKind::Serial, qint64 responseMs = 12)
{
    ExchangeRecord record;
    record.requestId = id;
    record.direction = ExchangeRecord::Direction::Received;
    record.result = result;
    record.link = link;
    if (!pduHex.isEmpty())
        record.bytes = wireFrame(QString::fromLatin1(pduHex), link);
    record.responseMs = responseMs;
    record.timeMs = 1000 * qint64(id) + responseMs;
    return record;
}
