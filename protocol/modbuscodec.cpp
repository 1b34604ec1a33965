#include "protocol/modbuscodec.h"

#include "QtLibrary/QtTools/qttools.h"

#include <QLatin1Char>

#include <charconv>
#include <limits>

namespace ModbusCodec {

namespace {

// Reads digits as a hex number; -1 when one of them is not a hex digit.
qint64 readHex(const QByteArray &text, int position, int digits)
{
    if (position < 0 || position + digits > text.size())
        return -1;
    qint64 value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = QtTools::hexDigitValue(QLatin1Char(text.at(position + i)));
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

QString readAnalog_03(const QString &address, int first, int count)
{
    if (count < 1 || count > 65536 || first < 0)
        return QStringLiteral("03 Analog Error");
    return address + QStringLiteral("03") + QString::fromLatin1(hexField(quint64(0x20 + first), 4))
            + QString::fromLatin1(hexField(quint64(count), 4));
}

QString analyseAnalog_03(const QString &reply)
{
    const QByteArray text = removeBlanks(reply.toUtf8()).toLower();
    if (text.size() <= 9)
        return QStringLiteral("03 Analog-Error");
    const QByteArray body = text.left(text.size() - 4);
    const QByteArray crc = text.right(4);
    if (!crcMatches(body, crc))
        return QStringLiteral("03 Analog-Analyse CRC Error");
    const QByteArray function = body.mid(2, 2);
    if (function != "03") {
        if (function == "83")
            return QStringLiteral("83-Error ") + QString::fromUtf8(body.mid(4, 2));
        return QStringLiteral("03 Analog-Analyse Not03 Error");
    }
    const qint64 count = readHex(body, 4, 2);
    const QByteArray data = body.mid(6);
    if (count < 0 || 2 * count != data.size())
        return QStringLiteral("03 analyse MidData Error");
    QByteArray result;
    for (int i = 0; i < count / 2; ++i) {
        const qint64 value = readHex(data, 4 * i, 4);
        if (value < 0)
            return QStringLiteral("03 analyse MidData Error");
        result += formatFixed(static_cast<long double>(value) / 1000.0L, 3) + ' ';
    }
    return QString::fromUtf8(trim(result));
}

QByteArray crcText(const QByteArray &hex)
{
    return QtTools::crc16Hex(QString::fromUtf8(hex)).toLower().toUtf8();
}

bool crcMatches(const QByteArray &body, const QByteArray &crc)
{
    return QtTools::crcMatches(QString::fromUtf8(body), QString::fromUtf8(crc), Qt::CaseInsensitive);
}

QByteArray removeBlanks(const QByteArray &text)
{
    QByteArray result = text;
    result.replace(' ', QByteArray());
    return result;
}

QByteArray trim(const QByteArray &text)
{
    int begin = 0;
    int end = text.size();
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

QByteArray formatFixed(long double value, int decimals)
{
    // Six decimals as "%Lf" writes them, but always with a point: printf would
    // follow the desktop's numeric locale.
    constexpr int kDecimals = 6;
    char buffer[std::numeric_limits<long double>::max_exponent10 + kDecimals + 8];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value,
                                                       std::chars_format::fixed, kDecimals);
    QByteArray text(buffer, written.ec == std::errc() ? int(written.ptr - buffer) : 0);
    const int point = text.indexOf('.');
    if (point >= 0 && text.size() - point - 1 > decimals)
        text.truncate(decimals > 0 ? point + 1 + decimals : point);
    return text;
}

QByteArray hexField(quint64 value, int width)
{
    return QByteArray::number(value, 16).rightJustified(width, '0');
}

} // namespace ModbusCodec
