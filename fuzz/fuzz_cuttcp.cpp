// The frame cutter on Modbus TCP: the module's frames, frames of other transactions and
// frames carrying nothing usable arrive in random pieces; every frame is reported once,
// however the stream is cut, and the buffer never holds more than one frame plus one
// arrival.
#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzstream.h"

using namespace FuzzStream;

namespace {

constexpr int kMaxChunk = 96;

QStringList feedAll(FrameCutter &cutter, const QVector<QByteArray> &pieces)
{
    QStringList events;
    for (const QByteArray &piece : pieces) {
        events += describe(cutter.feedTcp(piece));
        FUZZ_CHECK(cutter.tcpBuffer().size() <= 2 * (kMaxTcpFrame + piece.size()));
    }
    return events;
}

QByteArray header(quint16 transaction, quint16 protocol, int length)
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

// Any bytes: the same frames whole or in pieces, unless the stream fell out of step
// (a length no frame can have), after which what had arrived is dropped.
void arbitraryStream(const uint8_t *data, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), int(size));
    FrameCutter whole;
    const QStringList once = describe(whole.feedTcp(stream));
    FUZZ_CHECK(whole.tcpBuffer().size() <= 2 * kMaxTcpFrame);

    FrameCutter pieces;
    const quint32 seed = size > 3 ? quint32(data[0]) | quint32(data[1]) << 8 | quint32(data[2]) << 16 : 3;
    const QStringList cut = feedAll(pieces, chunks(stream, seed, kMaxChunk));
    const QString outOfStep = QStringLiteral("tcp out of step");
    if (!once.contains(outOfStep) && !cut.contains(outOfStep))
        FUZZ_CHECK(once == cut);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    arbitraryStream(data, size);

    Input in(data, size);
    int address = 1 + in.byte() % 247;
    const QString startAddress = QString::fromLatin1(QByteArray(1, char(address)).toHex());
    const quint32 seed = quint32(in.byte()) << 8 | in.byte();
    QByteArray stream;
    QStringList expected;
    for (int parts = 0; !in.empty() && parts < 48; ++parts) {
        const uint8_t what = in.byte() % 4;
        if (what == 0) { // a frame of another transaction or protocol: dropped whole
            const quint16 transaction = quint16(in.byte() << 8 | in.byte());
            const quint16 protocol = quint16(in.byte() % 2);
            const int length = 2 + in.byte() % 40;
            const QByteArray frame = header(transaction == 0 && protocol == 0 ? 1 : transaction,
                                            protocol, length)
                + in.bytes(length);
            stream += frame;
            expected << QStringLiteral("tcp discarded ") + hex(frame);
            continue;
        }
        if (what == 1) { // our transaction, but nothing the module would send
            const int length = 2 + in.byte() % 30;
            QByteArray payload;
            for (int i = 0; i < length; ++i)
                payload.append(garbageByte(in.byte(), address));
            const QByteArray frame = header(0, 0, length) + payload;
            stream += frame;
            expected << QStringLiteral("tcp ") + hex(frame);
            continue;
        }
        const Frame reply = nextFrame(in, address);
        const QByteArray frame = header(0, 0, reply.body.size()) + reply.body;
        stream += frame;
        expected << QStringLiteral("tcp ") + hex(frame);
        // The cutter gives the frame a computed CRC, as if it had come over the serial line.
        expected << (reply.expected == QLatin1String("reply")
                         ? QStringLiteral("reply ") + hex(reply.body) + QtTools::crc16Hex(hex(reply.body))
                         : reply.expected);
        if (reply.newAddress > 0)
            address = reply.newAddress;
    }

    FrameCutter whole;
    whole.setDeviceAddress(startAddress);
    FUZZ_CHECK(describe(whole.feedTcp(stream)) == expected);
    FUZZ_CHECK(whole.tcpBuffer().isEmpty());

    FrameCutter pieces;
    pieces.setDeviceAddress(startAddress);
    FUZZ_CHECK(feedAll(pieces, chunks(stream, seed, kMaxChunk)) == expected);
    FUZZ_CHECK(pieces.tcpBuffer().isEmpty());

    FrameCutter bytewise;
    bytewise.setDeviceAddress(startAddress);
    FUZZ_CHECK(feedAll(bytewise, chunks(stream, seed, 1)) == expected);
    return 0;
}
