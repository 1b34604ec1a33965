#pragma once

#include <QByteArray>
#include <QtGlobal>

// Where the Modbus frame at a place in received bytes ends, and whether its CRC holds:
// an RTU reply is known by its function code, a Modbus TCP frame by its header.
namespace ModbusFrame {

enum class Shape {
    Incomplete,     // the bytes so far may still become a frame
    Complete,       // length, and for RTU the CRC result, are known
    BadLength,      // a byte count or length field no frame can have
    UnknownFunction // an RTU function code no reply of ours carries
};

constexpr int kCrcBytes = 2;
constexpr int kMaxReadBytes = 250;  // the byte count of a read reply, at most
constexpr int kWriteReplyBytes = 8; // address, function, 2 x 16 bits echoed, CRC
constexpr int kExceptionBytes = 5;  // address, function | 0x80, exception code, CRC
constexpr quint8 kExceptionBit = 0x80;
constexpr int kTcpHeaderBytes = 6;  // transaction, protocol, length; the unit follows
constexpr int kMinTcpLength = 2;    // unit and function code
constexpr int kMaxTcpLength = 254;

struct Rtu
{
    Shape shape = Shape::Incomplete;
    int length = 0;         // bytes of the whole frame, CRC included
    quint8 address = 0;
    quint8 function = 0;    // as received, exception bit included
    bool exception = false;
    quint8 exceptionCode = 0;
    int byteCount = -1;     // read replies: the byte count field
    bool crcOk = false;
};

struct Tcp
{
    Shape shape = Shape::Incomplete;
    int length = 0;         // bytes of the whole frame, header included
    quint16 transaction = 0;
    quint16 protocol = 0;
    int pduLength = 0;      // the length field: unit, function code and data
    quint8 unit = 0;
    quint8 function = 0;
};

// The reply that starts at byte `at`.
Rtu parseRtu(const QByteArray &bytes, int at = 0);
// The TCP frame that starts at byte `at`.
Tcp parseTcp(const QByteArray &bytes, int at = 0);

} // namespace ModbusFrame
