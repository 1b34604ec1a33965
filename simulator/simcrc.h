#pragma once

#include <QByteArray>

// The simulator's own Modbus RTU CRC-16, computed bit by bit (polynomial 0xA001, start
// 0xFFFF), kept apart from the tool's table-driven one so that each checks the other.
namespace SimCrc {

quint16 crc16(const QByteArray &bytes);
// The bytes with their CRC appended, low byte first as on the wire.
QByteArray withCrc(const QByteArray &bytes);
// True when the last two bytes are the CRC of the ones before.
bool crcOk(const QByteArray &frame);

} // namespace SimCrc
