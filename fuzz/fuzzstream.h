#pragma once

// Builds a received byte stream from fuzz input: the module's well-formed frames with
// garbage between them that cannot form a frame, the frames the cutter must report,
// and the chunking with which the bytes arrive.
#include "QtLibrary/QtTools/qttools.h"
#include "link/framecutter.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstddef>
#include <cstdint>

namespace FuzzStream {

// Reads the fuzz input front to back; zeros once it is used up.
class Input
{
public:
    Input(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_pos >= m_size; }
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    QByteArray bytes(int count)
    {
        QByteArray out;
        for (int i = 0; i < count; ++i)
            out.append(char(byte()));
        return out;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// Arrival sizes: 1 to maxChunk bytes, from a small deterministic generator.
inline QVector<QByteArray> chunks(const QByteArray &stream, quint32 seed, int maxChunk)
{
    QVector<QByteArray> out;
    quint32 state = seed | 1u;
    for (int pos = 0; pos < stream.size();) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const int size = 1 + int(state % quint32(maxChunk));
        out.append(stream.mid(pos, size));
        pos += size;
    }
    return out;
}

inline QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

inline QByteArray withCrc(const QByteArray &body)
{
    return QtTools::withCrc16(body);
}

// One event as a comparable text.
inline QString describe(const CutEvent &event)
{
    switch (event.type) {
    case CutEvent::Reply:
        return QStringLiteral("reply ") + event.text;
    case CutEvent::ExceptionReply:
        return QStringLiteral("exception %1 %2").arg(event.function).arg(event.exceptionCode);
    case CutEvent::Identification:
        return QStringLiteral("id %1 %2 %3").arg(event.address).arg(event.typeCode).arg(event.shownAddress);
    case CutEvent::ErrorWord:
        return QStringLiteral("error");
    case CutEvent::Oversized:
        return QStringLiteral("oversized");
    case CutEvent::TcpFrame:
        return QStringLiteral("tcp ") + event.text;
    case CutEvent::TcpDiscarded:
        return QStringLiteral("tcp discarded ") + event.text;
    case CutEvent::TcpOutOfStep:
        return QStringLiteral("tcp out of step");
    case CutEvent::Garbage:
        break;
    }
    return QString();
}

inline QStringList describe(const QVector<CutEvent> &events)
{
    QStringList out;
    for (const CutEvent &event : events) {
        if (event.type != CutEvent::Garbage)
            out << describe(event);
    }
    return out;
}

// A frame body (without CRC) the module may send, and the event it must give.
struct Frame
{
    QByteArray body;      // serial body without CRC (TCP: the unit identifier and PDU)
    bool carriesCrc = true;
    QString expected;     // describe() of the event, with the serial text filled in later
    int newAddress = -1;  // an identification changes the address replies carry
};

// The next frame from the input, for a module at the given address.
inline Frame nextFrame(Input &in, int address)
{
    Frame frame;
    const uint8_t kind = in.byte() % 5;
    QByteArray body;
    if (kind == 0) { // read reply: 01, 02 or 03 with up to the largest byte count
        body.append(char(address));
        body.append(char(1 + in.byte() % 3));
        const int count = in.byte() % (FrameCutter::kMaxReadBytes + 1);
        body.append(char(count));
        body += in.bytes(count);
        frame.expected = QStringLiteral("reply");
    } else if (kind == 1) { // write acknowledgement: echo of address and value/quantity
        static const char codes[] = {0x05, 0x06, 0x0f, 0x10};
        body.append(char(address));
        body.append(codes[in.byte() % 4]);
        body += in.bytes(4);
        frame.expected = QStringLiteral("reply");
    } else if (kind == 2) { // exception reply
        const int function = 1 + in.byte() % 0x7f;
        const int code = in.byte();
        body.append(char(address));
        body.append(char(function | 0x80));
        body.append(char(code));
        frame.expected = QStringLiteral("exception %1 %2").arg(function).arg(code);
    } else if (kind == 3) { // identification, possibly announcing another address
        const int announced = in.byte() % 4 == 0 ? 1 + in.byte() % 247 : address;
        const int type = (in.byte() << 8) | in.byte();
        body = QByteArray("ID:");
        body.append(char(0));
        body.append(char(announced));
        body += in.bytes(6);
        body.append(char(type >> 8));
        body.append(char(type & 0xFF));
        frame.expected = QStringLiteral("id %1 %2 %3")
                             .arg(QString::fromLatin1(QByteArray(1, char(announced)).toHex()))
                             .arg(type)
                             .arg(announced);
        frame.newAddress = announced;
    } else { // the module's ASCII ERROR
        body = QByteArray("ERROR");
        frame.carriesCrc = false;
        frame.expected = QStringLiteral("error");
    }
    frame.body = body;
    return frame;
}

// A byte that no frame of a module at this address can start with.
inline char garbageByte(uint8_t value, int address)
{
    while (value == address || value == 'I' || value == 'E')
        value = uint8_t(value + 1);
    return char(value);
}

// The largest frame the module sends, serial form, in bytes.
constexpr int kMaxSerialFrame = 3 + FrameCutter::kMaxReadBytes + 2;
// The largest Modbus TCP frame the cutter accepts, in bytes.
constexpr int kMaxTcpFrame = 6 + FrameCutter::kMaxTcpLength;

} // namespace FuzzStream
