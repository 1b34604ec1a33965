#pragma once

#include "protocol/linkevents.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The Modbus fields of a frame as the link recorded it (serial with its CRC, TCP behind
// its header), for the traffic table and for the values that polling brings in.
namespace ExchangeFields {

// Unit identifier, function code and data: the CRC or the TCP header taken off. Empty
// when the frame is too short to hold unit and function code.
QByteArray applicationData(const QByteArray &wire, LinkKind link);
// The frame as the reply decoders read it: hex text with a CRC last (TCP frames get a
// computed one, as the link hands replies to the queue). Empty for a frame too short.
QString replyText(const QByteArray &wire, LinkKind link);

struct Fields
{
    bool valid = false;     // unit and function code were there
    int unit = -1;
    int function = -1;      // without the exception bit
    bool exception = false;
    int exceptionCode = 0;
    int address = -1;       // first register or coil; -1 where the frame has none
    int quantity = -1;      // registers or coils; -1 where the frame has none
    QVector<quint16> values; // registers (or coil states 0/1) read or written
};

// A request the tool sent: what it asks, and for writes what it writes.
Fields request(const QByteArray &wire, LinkKind link);
// A reply from the module: what it read, what it confirms, or its exception.
Fields reply(const QByteArray &wire, LinkKind link);

} // namespace ExchangeFields
