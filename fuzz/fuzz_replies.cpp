// Received bytes on their way to the request queue. Cutting, on the serial line and on
// Modbus TCP: the module's frames, with garbage between them (serial) or frames of other
// transactions and frames carrying nothing usable (TCP), arrive in random pieces; every
// frame is reported once, however the stream is cut, and the buffer never holds more than
// one frame plus one arrival. Then the input as a reply to a kind of head request: the
// dispatch decision, the decoders and the analog analysis (the analog conversions of a
// read-back word have their own test, over every word).
#include "fuzz/fuzzcheck.h"
#include "QtLibrary/QtTools/qttools.h"
#include "protocol/framecutter.h"
#include "protocol/modbuscodec.h"
#include "protocol/modbusrequest.h"
#include "protocol/replydecoder.h"

#include <QRegularExpression>

using namespace ModbusRequest;

namespace {

// Reads the fuzz input front to back; zeros once it is used up.
struct Input
{
    QByteArray data;
    int pos = 0;
    uint8_t byte() { return pos < data.size() ? uint8_t(data.at(pos++)) : 0; }
    QByteArray bytes(int count)
    {
        pos += count;
        return data.mid(pos - count, count).leftJustified(count, '\0');
    }
};

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QString describe(const CutEvent &e)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7").arg(e.type).arg(e.text.toLower()).arg(e.function)
        .arg(e.exceptionCode).arg(e.address).arg(e.shownAddress).arg(e.typeCode);
}

// The events of the stream (garbage left out) cut in arrivals of 1 to maxChunk bytes (0: all
// at once), then what is left; "dropped" where a length no frame can have dropped what had arrived.
QStringList cut(bool tcp, const QString &address, const QByteArray &stream, quint32 seed, int maxChunk)
{
    FrameCutter cutter;
    cutter.setDeviceAddress(address);
    QStringList events;
    for (int pos = 0; pos < stream.size();) {
        seed = seed * 1103515245u + 12345u;
        const int size = maxChunk ? 1 + int((seed >> 16) % quint32(maxChunk)) : stream.size();
        const QByteArray piece = stream.mid(pos, size);
        pos += size;
        for (const CutEvent &e : tcp ? cutter.feedTcp(piece) : cutter.feedSerial(piece)) {
            if (e.type == CutEvent::Oversized || e.type == CutEvent::TcpOutOfStep)
                events << QStringLiteral("dropped");
            else if (e.type != CutEvent::Garbage)
                events << describe(e);
        }
        const int maxFrame = tcp ? 6 + FrameCutter::kMaxTcpLength : 5 + FrameCutter::kMaxReadBytes;
        FUZZ_CHECK((tcp ? cutter.tcpBuffer() : cutter.buffer()).size() <= 2 * (maxFrame + (maxChunk ? size : 0)));
    }
    return events << QStringLiteral("left ") + (tcp ? cutter.tcpBuffer() : cutter.buffer());
}

// A byte that no frame of a module at this address can start with.
char garbageByte(uint8_t value, int address)
{
    while (value == address || value == 'I' || value == 'E')
        ++value;
    return char(value);
}

QByteArray tcpHeader(int transaction, int protocol, int length)
{
    return QByteArray::fromHex(QString::asprintf("%04x%04x%04x", transaction, protocol, length).toLatin1());
}

// The next frame of a module at this address, serial form; sets the type of event it gives.
QByteArray frame(Input &in, int &address, CutEvent &event)
{
    QByteArray body(1, char(address));
    const int kind = in.byte() % 5;
    if (kind == 0) { // read reply: 01, 02 or 03 with up to the largest byte count
        body.append(char(1 + in.byte() % 3));
        const int count = in.byte() % (FrameCutter::kMaxReadBytes + 1);
        body.append(char(count)).append(in.bytes(count));
    } else if (kind == 1) { // write acknowledgement: echo of address and value or quantity
        body.append("\x05\x06\x0f\x10"[in.byte() % 4]).append(in.bytes(4));
    } else if (kind == 2) {
        event.type = CutEvent::ExceptionReply;
        event.function = 1 + in.byte() % 0x7f;
        event.exceptionCode = in.byte();
        body.append(char(event.function | 0x80)).append(char(event.exceptionCode));
    } else if (kind == 3) { // identification, possibly announcing another address
        event.type = CutEvent::Identification;
        address = in.byte() % 4 ? address : 1 + in.byte() % 247;
        event.shownAddress = address;
        event.address = hex(QByteArray(1, char(address)));
        const QByteArray type = in.bytes(2);
        event.typeCode = type.toHex().toInt(nullptr, 16);
        body = QByteArray("ID:") + '\0' + char(address) + in.bytes(6) + type;
    } else {
        event.type = CutEvent::ErrorWord;
        return QByteArray("ERROR");
    }
    return QtTools::withCrc16(body);
}

// One part of a built stream; appends the events it must give.
QByteArray part(Input &in, int &address, bool tcp, QStringList &expected)
{
    const int what = in.byte() % (tcp ? 4 : 2);
    QByteArray bytes;
    if (tcp && what == 0) { // another transaction or protocol: dropped whole
        const int transaction = in.bytes(2).toHex().toInt(nullptr, 16);
        const int protocol = in.byte() % 2;
        const int length = 2 + in.byte() % 40;
        bytes = tcpHeader(transaction || protocol ? transaction : 1, protocol, length) + in.bytes(length);
        expected << describe({CutEvent::TcpDiscarded, hex(bytes), 0, 0, {}, 0, 0});
    } else if (what == 0 || (tcp && what == 1)) { // garbage; over TCP in a frame of ours
        const int count = tcp ? 2 + in.byte() % 30 : in.byte() % 17;
        for (int i = 0; i < count; ++i)
            bytes.append(garbageByte(in.byte(), address));
        if (tcp)
            expected << describe({CutEvent::TcpFrame, hex(bytes.prepend(tcpHeader(0, 0, count))), 0, 0, {}, 0, 0});
    } else {
        CutEvent reply;
        bytes = frame(in, address, reply);
        reply.text = hex(bytes);
        if (tcp) { // without CRC: the cutter computes it
            const QByteArray body = reply.type == CutEvent::ErrorWord ? bytes : bytes.chopped(2);
            bytes = tcpHeader(0, 0, body.size()) + body;
            expected << describe({CutEvent::TcpFrame, hex(bytes), 0, 0, {}, 0, 0});
        }
        expected << describe(reply);
    }
    return bytes;
}

void checkCutter(bool tcp, const uint8_t *data, size_t size)
{
    // Any bytes: the same frames whole or in pieces, unless what had arrived was dropped.
    const QByteArray raw(reinterpret_cast<const char *>(data), int(size));
    const QString rawAddress = hex(QByteArray(1, char(size > 0 ? 1 + data[0] % 247 : 1)));
    const QStringList once = cut(tcp, rawAddress, raw, 0, 0);
    const QStringList pieces = cut(tcp, rawAddress, raw, raw.mid(1, 3).toHex().toUInt(nullptr, 16), 64);
    FUZZ_CHECK(once.contains("dropped") || pieces.contains("dropped") || once == pieces);

    // The module's frames built from the input: whole, in pieces (the address in upper
    // case) and byte by byte, exactly these frames are reported.
    Input in{raw};
    int address = 1 + in.byte() % 247;
    const QString start = hex(QByteArray(1, char(address)));
    const quint32 seed = in.bytes(2).toHex().toUInt(nullptr, 16);
    QByteArray stream;
    QStringList expected;
    for (int parts = 0; in.pos < raw.size() && parts < 48; ++parts)
        stream += part(in, address, tcp, expected);
    for (int maxChunk : {0, 64, 1})
        FUZZ_CHECK(cut(tcp, maxChunk == 64 ? start.toUpper() : start, stream, seed, maxChunk) == expected + QStringList("left "));
}

bool matches(const char *pattern, const QString &text)
{
    static QHash<const char *, QRegularExpression> compiled;
    if (!compiled.contains(pattern))
        compiled.insert(pattern, QRegularExpression(QLatin1String(pattern)));
    return compiled.value(pattern).match(text).hasMatch();
}

void checkDispatch(const QString &reply, const QString &kind, const QString &address, bool network)
{
    using D = ReplyDecoder::Dispatch;
    const D d = ReplyDecoder::dispatch(reply, kind, address, network);
    FUZZ_CHECK(d.showRaw == !network && (d.accepted || (d.signal == D::NoSignal && d.then == D::Stay)));
    if (!d.accepted)
        return;
    // Only a reply from our module, with a function code the tool uses and, on the serial
    // line, a good CRC is accepted (what it then does for each kind of request is the
    // dispatch table's test).
    const QString code = reply.mid(2, 2);
    FUZZ_CHECK(reply.left(2).compare(address, Qt::CaseInsensitive) == 0);
    FUZZ_CHECK(matches("^(0[12356f]|10)$", code));
    FUZZ_CHECK(network || QtTools::checkCrc16(reply.left(reply.size() - 4), reply.right(4)));
}

void checkDecoders(const QString &reply)
{
    // Input bits: 16 per register of the byte count, each the bit of its word.
    const QStringList tokens = ReplyDecoder::inputBits(reply).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    FUZZ_CHECK(tokens.size() == 16 * qMax(0, reply.midRef(4, 2).toInt(nullptr, 16) / 2));
    for (int k = 0; k < tokens.size(); ++k)
        FUZZ_CHECK(tokens.at(k) == ((reply.midRef(6 + 4 * (k / 16), 4).toUInt(nullptr, 16) >> (k % 16)) & 1 ? "1" : "0"));
    // The time-out, then on, off or unchanged for each output of whole groups of 16 (the
    // network block read back is the settings windows' test, against the module).
    FUZZ_CHECK(matches("^\\d+(( [012]){16})*$", ReplyDecoder::timeoutBlock(reply)));
    // Known output states are never forgotten (how a reply's states are read is the
    // dispatch table's test).
    FUZZ_CHECK(ReplyDecoder::mergeStates(QVector<int>(20, 1), ReplyDecoder::decodeRegisterBits(reply)).size() >= 20);
}

// Analog inputs: the same in either case; a success is one value of three decimals per register.
void checkAnalog(const QString &reply)
{
    const QString result = ModbusCodec::analyseAnalog_03(reply);
    if (matches("^[\\x00-\\x7f]*$", reply))
        FUZZ_CHECK(ModbusCodec::analyseAnalog_03(reply.toUpper()) == result);
    if (result.contains(QLatin1String("Error")))
        return;
    const QStringList values = result.isEmpty() ? QStringList() : result.split(QLatin1Char(' '));
    for (const QString &value : values)
        FUZZ_CHECK(matches("^[0-9]{1,2}\\.[0-9]{3}$", value));
    FUZZ_CHECK(values.size() == ModbusCodec::removeBlanks(reply.toUtf8()).mid(4, 2).toInt(nullptr, 16) / 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkCutter(false, data, size);
    checkCutter(true, data, size);
    checkAnalog(QString::fromUtf8(reinterpret_cast<const char *>(data), int(size)));
    if (size < 2)
        return 0;
    static const QStringList kinds = {kUiText, kCheckStatus, kStartDetecting, kAnalogStartDetecting,
        kReadAnalogOutputValue, kReadAnalogOutputMax, kReadAnalogOutputMode, kCommunicationTimeout,
        kChangeCommunicationTimeout, kReadNetwork, kWriteNetwork, kAllOpen, kAllClose,
        QStringLiteral("QPushButton_12"), kReboot, kAnalogOutputValue, kAnalogOutputMax, kAnalogOutputMode};
    const QString kind = kinds.at(data[0] % kinds.size());
    const bool network = data[1] & 1;
    // As text: anything at all; as bytes: a reply the link could cut, CRC made good when asked.
    const QByteArray rest(reinterpret_cast<const char *>(data + 2), int(size - 2));
    const QString reply = data[1] & 2 ? hex(rest.size() <= 250 ? QtTools::withCrc16(rest) : rest) : QString::fromLatin1(rest);
    const QString address = reply.left(2).toUpper();
    checkDispatch(reply, kind, address, network);
    checkDispatch(reply, kind, QStringLiteral("01"), network);
    checkDecoders(reply);
    checkAnalog(reply);
    return 0;
}
