#include "simulator/simcrc.h"

namespace SimCrc {

quint16 crc16(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= static_cast<quint8>(c);
        for (int bit = 0; bit < 8; ++bit) {
            if (crc & 1)
                crc = static_cast<quint16>((crc >> 1) ^ 0xA001);
            else
                crc = static_cast<quint16>(crc >> 1);
        }
    }
    return crc;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = crc16(bytes);
    QByteArray frame = bytes;
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool crcOk(const QByteArray &frame)
{
    if (frame.size() < 3)
        return false;
    return withCrc(frame.left(frame.size() - 2)) == frame;
}

} // namespace SimCrc
