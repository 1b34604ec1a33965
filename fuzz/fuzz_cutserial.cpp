// The frame cutter on the serial line: the module's frames with garbage between them
// arrive in random pieces; every frame is reported once, however the stream is cut,
// and the buffer never holds more than one frame plus one arrival.
#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzstream.h"

using namespace FuzzStream;

namespace {

constexpr int kMaxChunk = 64;

QStringList feedAll(FrameCutter &cutter, const QVector<QByteArray> &pieces)
{
    QStringList events;
    for (const QByteArray &piece : pieces) {
        events += describe(cutter.feedSerial(piece));
        FUZZ_CHECK(cutter.buffer().size() <= 2 * (kMaxSerialFrame + piece.size()));
    }
    return events;
}

// Any bytes at all: the same frames whole or in pieces, unless a read reply announced
// more data than a frame can hold (then what had arrived is dropped, which depends on
// the pieces).
void arbitraryStream(const uint8_t *data, size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), int(size));
    const int address = size > 0 ? 1 + data[0] % 247 : 1;
    const QString addressText = QString::fromLatin1(QByteArray(1, char(address)).toHex());

    FrameCutter whole;
    whole.setDeviceAddress(addressText);
    const QStringList once = describe(whole.feedSerial(stream));
    FUZZ_CHECK(whole.buffer().size() <= 2 * kMaxSerialFrame);

    FrameCutter pieces;
    pieces.setDeviceAddress(addressText);
    const quint32 seed = size > 4 ? quint32(data[1]) | quint32(data[2]) << 8 | quint32(data[3]) << 16 : 7;
    const QStringList cut = feedAll(pieces, chunks(stream, seed, kMaxChunk));
    if (!once.contains(QStringLiteral("oversized")) && !cut.contains(QStringLiteral("oversized")))
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
    for (int parts = 0; !in.empty() && parts < 64; ++parts) {
        if (in.byte() % 2 == 0) {
            const int count = in.byte() % 17;
            for (int i = 0; i < count; ++i)
                stream.append(garbageByte(in.byte(), address));
            continue;
        }
        const Frame frame = nextFrame(in, address);
        const QByteArray bytes = frame.carriesCrc ? withCrc(frame.body) : frame.body;
        stream += bytes;
        expected << (frame.expected == QLatin1String("reply") ? QStringLiteral("reply ") + hex(bytes)
                                                                 : frame.expected);
        if (frame.newAddress > 0)
            address = frame.newAddress;
    }

    FrameCutter whole;
    whole.setDeviceAddress(startAddress);
    FUZZ_CHECK(describe(whole.feedSerial(stream)) == expected);
    FUZZ_CHECK(whole.buffer().isEmpty());

    FrameCutter pieces;
    pieces.setDeviceAddress(startAddress.toUpper());
    FUZZ_CHECK(feedAll(pieces, chunks(stream, seed, kMaxChunk)) == expected);
    FUZZ_CHECK(pieces.buffer().isEmpty());

    FrameCutter bytewise;
    bytewise.setDeviceAddress(startAddress);
    FUZZ_CHECK(feedAll(bytewise, chunks(stream, seed, 1)) == expected);
    return 0;
}
