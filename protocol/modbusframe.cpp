#include "protocol/modbusframe.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusrequest.h"

namespace ModbusFrame {

namespace {

quint16 word(const QByteArray &bytes, int at)
{
    return quint16(uchar(bytes.at(at)) << 8 | uchar(bytes.at(at + 1)));
}

// The CRC goes on the wire low byte first, which QtTools::crc16 keeps in its high half.
bool crcHolds(const QByteArray &bytes, int at, int length)
{
    const quint16 crc = QtTools::crc16(reinterpret_cast<const uchar *>(bytes.constData() + at),
                                       quint8(length - kCrcBytes));
    return crc == word(bytes, at + length - kCrcBytes);
}

} // namespace

Rtu parseRtu(const QByteArray &bytes, int at)
{
    Rtu frame;
    const int available = bytes.size() - at;
    if (at < 0 || available < 2)
        return frame;
    frame.address = quint8(bytes.at(at));
    frame.function = quint8(bytes.at(at + 1));
    int length = 0;
    if (frame.function & kExceptionBit) {
        frame.exception = true;
        length = kExceptionBytes;
    } else {
        switch (ModbusRequest::functionClass(frame.function)) {
        case ModbusRequest::FunctionClass::Read:
            if (available < 3)
                return frame;
            frame.byteCount = quint8(bytes.at(at + 2));
            if (frame.byteCount > kMaxReadBytes) {
                frame.shape = Shape::BadLength;
                return frame;
            }
            length = 3 + frame.byteCount + kCrcBytes;
            break;
        case ModbusRequest::FunctionClass::Write:
            length = kWriteReplyBytes;
            break;
        case ModbusRequest::FunctionClass::Unsupported:
            frame.shape = Shape::UnknownFunction;
            return frame;
        }
    }
    if (available < length)
        return frame;
    frame.shape = Shape::Complete;
    frame.length = length;
    if (frame.exception)
        frame.exceptionCode = quint8(bytes.at(at + 2));
    frame.crcOk = crcHolds(bytes, at, length);
    return frame;
}

Tcp parseTcp(const QByteArray &bytes, int at)
{
    Tcp frame;
    if (at < 0 || bytes.size() - at < kTcpHeaderBytes)
        return frame;
    frame.transaction = word(bytes, at);
    frame.protocol = word(bytes, at + 2);
    frame.pduLength = word(bytes, at + 4);
    if (frame.pduLength < kMinTcpLength || frame.pduLength > kMaxTcpLength) {
        frame.shape = Shape::BadLength;
        return frame;
    }
    const int length = kTcpHeaderBytes + frame.pduLength;
    if (bytes.size() - at < length)
        return frame;
    frame.shape = Shape::Complete;
    frame.length = length;
    frame.unit = quint8(bytes.at(at + kTcpHeaderBytes));
    frame.function = quint8(bytes.at(at + kTcpHeaderBytes + 1));
    return frame;
}

} // namespace ModbusFrame
