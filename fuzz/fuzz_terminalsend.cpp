// Text typed in the terminal on its way to the wire: the window's check (blanks
// removed, hex digits only, whole bytes), then the link's framing for the serial line
// (CRC appended) and for Modbus TCP (header in front). The window's check lives inside
// its send slot, so it is restated here; the framing is the link's own helpers.
#include "fuzz/fuzzcheck.h"

#include "QtLibrary/QtTools/qttools.h"

#include <QRegularExpression>

#include <cstdint>

namespace {

// Modbus RTU CRC, bit by bit, as an independent reference for the table method.
quint16 referenceCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc; // low byte goes first on the wire
}

// The longest request body a Modbus RTU frame carries: 256 bytes less the CRC.
constexpr int kMaxBodyBytes = 254;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression hexOnly(QStringLiteral("^[0-9A-Fa-f]*$"));
    const bool accepted = hexOnly.match(text).hasMatch() && !text.isEmpty() && text.size() % 2 == 0;

    // The helpers never fail on what the window refuses either.
    const QByteArray anyBytes = QtTools::hexStringToByteArray(text);
    FUZZ_CHECK(anyBytes.size() <= text.size() / 2 + 1);
    QtTools::appendCrc16(text);
    if (!accepted)
        return 0;

    const QByteArray body = QtTools::hexStringToByteArray(text);
    FUZZ_CHECK(body.size() == text.size() / 2);
    FUZZ_CHECK(body == QByteArray::fromHex(text.toLatin1()));

    const QByteArray serial = QtTools::hexStringToByteArray(QtTools::appendCrc16(text));
    FUZZ_CHECK(serial.size() == body.size() + 2);
    FUZZ_CHECK(serial.left(body.size()) == body);
    if (body.size() <= kMaxBodyBytes) {
        const quint16 crc = referenceCrc(body);
        FUZZ_CHECK(quint8(serial.at(body.size())) == (crc & 0xFF));
        FUZZ_CHECK(quint8(serial.at(body.size() + 1)) == (crc >> 8));
        FUZZ_CHECK(QtTools::checkCrc16(text, QtTools::crc16Hex(text).toLower()));
    }

    if (body.size() <= 0xFFFF) {
        const QByteArray tcp = QtTools::hexStringToByteArray(QtTools::toModbusTcpFrame(text));
        FUZZ_CHECK(tcp.size() == body.size() + 6);
        FUZZ_CHECK(tcp.left(4) == QByteArray(4, '\0'));
        FUZZ_CHECK(((quint8(tcp.at(4)) << 8) | quint8(tcp.at(5))) == body.size());
        FUZZ_CHECK(tcp.mid(6) == body);
    }
    return 0;
}
