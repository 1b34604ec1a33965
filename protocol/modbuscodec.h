#pragma once

#include <QByteArray>
#include <QString>

// Analysis of analog input replies and the text routines it rests on. Works on
// UTF-8 byte strings and keeps no state.
namespace ModbusCodec {

// Address + "03" + first register (0x20 + first) + count, lower-case hex;
// "03 Analog Error" for a count outside 1..65536 or a negative first channel.
QString readAnalog_03(const QString &address, int first, int count);

// A function-03 reply carrying analog input registers, turned into values in
// units (thousandths / 1000) separated by blanks, or a text containing "Error".
QString analyseAnalog_03(const QString &reply);

// CRC-16 of the digit pairs as 4 lower-case digits in wire order; empty for empty text
// (QtTools::crc16Hex in lower case). The comparison ignores case (QtTools::crcMatches).
QByteArray crcText(const QByteArray &hex);
bool crcMatches(const QByteArray &body, const QByteArray &crc);
QByteArray removeBlanks(const QByteArray &text);
QByteArray trim(const QByteArray &text);
// Six decimals, then cut (not rounded) after the given number of decimals.
QByteArray formatFixed(long double value, int decimals);

// Lower-case hex of value, left-padded with "0" to width; longer values are not cut.
QByteArray hexField(quint64 value, int width);

} // namespace ModbusCodec
