// The frame cutter on the serial line and on Modbus TCP: the module's frames, with
// garbage between them (serial) or frames of other transactions and frames carrying
// nothing usable (TCP), arrive in random pieces; every frame is reported once, however
// the stream is cut, and the buffer never holds more than one frame plus one arrival.
// Every input is tried on both lines.
#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzstream.h"

using namespace FuzzStream;

namespace {

struct Line
{
    bool tcp;
    int maxChunk;
    int maxFrame;        // bytes
    int maxParts;
    const char *dropAll; // the event after which what had arrived is dropped
};

const Line kSerial = {false, 64, kMaxSerialFrame, 64, "oversized"};
const Line kTcp = {true, 96, kMaxTcpFrame, 48, "tcp out of step"};

QVector<CutEvent> feed(FrameCutter &cutter, const Line &line, const QByteArray &bytes)
{
    return line.tcp ? cutter.feedTcp(bytes) : cutter.feedSerial(bytes);
}

QString buffer(const FrameCutter &cutter, const Line &line)
{
    return line.tcp ? cutter.tcpBuffer() : cutter.buffer();
}

QStringList feedAll(FrameCutter &cutter, const Line &line, const QVector<QByteArray> &pieces)
{
    QStringList events;
    for (const QByteArray &piece : pieces) {
        events += describe(feed(cutter, line, piece));
        FUZZ_CHECK(buffer(cutter, line).size() <= 2 * (line.maxFrame + piece.size()));
    }
    return events;
}

QString addressText(int address)
{
    return QString::fromLatin1(QByteArray(1, char(address)).toHex());
}

// Any bytes at all: the same frames whole or in pieces, unless a read reply announced
// more data than a frame can hold or a TCP length no frame can have put the stream out
// of step (then what had arrived is dropped, which depends on the pieces).
void arbitraryStream(const Line &line, const uint8_t *data, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), int(size));
    const QString address = addressText(size > 0 ? 1 + data[0] % 247 : 1);

    FrameCutter whole;
    whole.setDeviceAddress(address);
    const QStringList once = describe(feed(whole, line, stream));
    FUZZ_CHECK(buffer(whole, line).size() <= 2 * line.maxFrame);

    FrameCutter pieces;
    pieces.setDeviceAddress(address);
    const quint32 seed = size > 4 ? quint32(data[1]) | quint32(data[2]) << 8 | quint32(data[3]) << 16 : 7;
    const QStringList cut = feedAll(pieces, line, chunks(stream, seed, line.maxChunk));
    const QString dropAll = QString::fromLatin1(line.dropAll);
    if (!once.contains(dropAll) && !cut.contains(dropAll))
        FUZZ_CHECK(once == cut);
}

QByteArray tcpHeader(quint16 transaction, quint16 protocol, int length)
{
    QByteArray bytes;
    bytes.append(char(transaction >> 8));
    bytes.append(char(transaction & 0xFF));
    bytes.append(char(protocol >> 8));
    bytes.append(char(protocol & 0xFF));
    bytes.append(char(length >> 8));
    bytes.append(char(length & 0xFF));
    return bytes;
}

// One part of a built stream: its bytes and the events they must give.
struct Part
{
    QByteArray bytes;
    QStringList expected;
    int newAddress = -1;
};

Part serialPart(Input &in, int address)
{
    Part part;
    if (in.byte() % 2 == 0) {
        const int count = in.byte() % 17;
        for (int i = 0; i < count; ++i)
            part.bytes.append(garbageByte(in.byte(), address));
        return part;
    }
    const Frame frame = nextFrame(in, address);
    part.bytes = frame.carriesCrc ? withCrc(frame.body) : frame.body;
    part.expected << (frame.expected == QLatin1String("reply") ? QStringLiteral("reply ") + hex(part.bytes)
                                                               : frame.expected);
    part.newAddress = frame.newAddress;
    return part;
}

Part tcpPart(Input &in, int address)
{
    Part part;
    const uint8_t what = in.byte() % 4;
    if (what == 0) { // a frame of another transaction or protocol: dropped whole
        const quint16 transaction = quint16(in.byte() << 8 | in.byte());
        const quint16 protocol = quint16(in.byte() % 2);
        const int length = 2 + in.byte() % 40;
        part.bytes = tcpHeader(transaction == 0 && protocol == 0 ? 1 : transaction, protocol, length)
            + in.bytes(length);
        part.expected << QStringLiteral("tcp discarded ") + hex(part.bytes);
        return part;
    }
    if (what == 1) { // our transaction, but nothing the module would send
        const int length = 2 + in.byte() % 30;
        QByteArray payload;
        for (int i = 0; i < length; ++i)
            payload.append(garbageByte(in.byte(), address));
        part.bytes = tcpHeader(0, 0, length) + payload;
        part.expected << QStringLiteral("tcp ") + hex(part.bytes);
        return part;
    }
    const Frame reply = nextFrame(in, address);
    part.bytes = tcpHeader(0, 0, reply.body.size()) + reply.body;
    part.expected << QStringLiteral("tcp ") + hex(part.bytes);
    // The cutter gives the frame a computed CRC, as if it had come over the serial line.
    part.expected << (reply.expected == QLatin1String("reply")
                          ? QStringLiteral("reply ") + hex(reply.body) + QtTools::crc16Hex(hex(reply.body))
                          : reply.expected);
    part.newAddress = reply.newAddress;
    return part;
}

// The module's frames built from the input: whole, in pieces (the address given in
// upper case) and byte by byte, the cutter reports exactly these frames.
void builtStream(const Line &line, const uint8_t *data, size_t size)
{
    Input in(data, size);
    int address = 1 + in.byte() % 247;
    const QString startAddress = addressText(address);
    const quint32 seed = quint32(in.byte()) << 8 | in.byte();
    QByteArray stream;
    QStringList expected;
    for (int parts = 0; !in.empty() && parts < line.maxParts; ++parts) {
        const Part part = line.tcp ? tcpPart(in, address) : serialPart(in, address);
        stream += part.bytes;
        expected += part.expected;
        if (part.newAddress > 0)
            address = part.newAddress;
    }

    FrameCutter whole;
    whole.setDeviceAddress(startAddress);
    FUZZ_CHECK(describe(feed(whole, line, stream)) == expected);
    FUZZ_CHECK(buffer(whole, line).isEmpty());

    FrameCutter pieces;
    pieces.setDeviceAddress(startAddress.toUpper());
    FUZZ_CHECK(feedAll(pieces, line, chunks(stream, seed, line.maxChunk)) == expected);
    FUZZ_CHECK(buffer(pieces, line).isEmpty());

    FrameCutter bytewise;
    bytewise.setDeviceAddress(startAddress);
    FUZZ_CHECK(feedAll(bytewise, line, chunks(stream, seed, 1)) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (const Line &line : {kSerial, kTcp}) {
        arbitraryStream(line, data, size);
        builtStream(line, data, size);
    }
    return 0;
}
