// Replies, as the link could deliver them, to every kind of head request: the dispatch
// decision and the decoders of input bits, output states, time-out block, network block
// and analog read-back.
#include "fuzz/fuzzcheck.h"
#include "fuzz/fuzzstream.h"
#include "link/modbusrequest.h"
#include "link/replydecoder.h"
#include "link/analogconversion.h"

#include <QRegularExpression>

using namespace FuzzStream;

namespace {

const QStringList &kinds()
{
    static const QStringList all = {
        ModbusRequest::kUiText,
        ModbusRequest::kCheckStatus,
        ModbusRequest::kStartDetecting,
        ModbusRequest::kAnalogStartDetecting,
        ModbusRequest::kReadAnalogOutputValue,
        ModbusRequest::kReadAnalogOutputMax,
        ModbusRequest::kReadAnalogOutputMode,
        ModbusRequest::kCommunicationTimeout,
        ModbusRequest::kChangeCommunicationTimeout,
        ModbusRequest::kReadNetwork,
        ModbusRequest::kWriteNetwork,
        ModbusRequest::kAllOpen,
        ModbusRequest::kAllClose,
        QStringLiteral("QPushButton_12"),
        ModbusRequest::kReboot,
        ModbusRequest::kAnalogOutputValue,
        ModbusRequest::kAnalogOutputMax,
        ModbusRequest::kAnalogOutputMode,
    };
    return all;
}

bool isHex(const QString &text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]*$"));
    return hex.match(text).hasMatch();
}

void checkInputBits(const QString &reply)
{
    const QString bits = ReplyDecoder::inputBits(reply);
    const QStringList tokens = bits.isEmpty() ? QStringList() : bits.split(QLatin1Char(' '));
    const int registers = qMax(0, reply.midRef(4, 2).toInt(nullptr, 16) / 2);
    FUZZ_CHECK(tokens.size() == 16 * registers);
    for (int k = 0; k < tokens.size(); ++k) {
        FUZZ_CHECK(tokens.at(k) == QLatin1String("0") || tokens.at(k) == QLatin1String("1"));
        const QString word = reply.mid(6 + 4 * (k / 16), 4);
        if (word.size() == 4 && isHex(word)) {
            const bool set = (word.toUInt(nullptr, 16) >> (k % 16)) & 1;
            FUZZ_CHECK(tokens.at(k) == (set ? QLatin1String("1") : QLatin1String("0")));
        }
    }
}

void checkTimeoutBlock(const QString &reply)
{
    const QStringList tokens = ReplyDecoder::timeoutBlock(reply).split(QLatin1Char(' '));
    bool ok = false;
    tokens.first().toUInt(&ok);
    FUZZ_CHECK(ok);
    FUZZ_CHECK((tokens.size() - 1) % 16 == 0);
    for (int i = 1; i < tokens.size(); ++i)
        FUZZ_CHECK(tokens.at(i) == QLatin1String("0") || tokens.at(i) == QLatin1String("1")
                   || tokens.at(i) == QLatin1String("2"));
}

void checkNetworkBlock(const QString &reply)
{
    const QString text = ReplyDecoder::networkBlock(reply);
    if (!isHex(reply))
        return;
    const QStringList items = text.split(QLatin1Char(' '));
    FUZZ_CHECK(items.size() == 8);
    for (int i : {0, 1, 2, 4}) {
        const QStringList parts = items.at(i).split(QLatin1Char('.'));
        FUZZ_CHECK(parts.size() == 4);
        for (const QString &part : parts)
            FUZZ_CHECK(part.toUInt() <= 255);
    }
    FUZZ_CHECK(items.at(7).count(QLatin1Char('-')) == 5);
}

void checkOutputStates(const QString &reply)
{
    const QVector<int> states = ReplyDecoder::decodeRegisterBits(reply);
    FUZZ_CHECK(states.size() % 16 == 0);
    FUZZ_CHECK(states.size() <= 16 * qMax(0, (reply.size() - 6) / 4));
    const QVector<int> merged = ReplyDecoder::mergeStates(QVector<int>(20, 1), states);
    FUZZ_CHECK(merged.size() >= 20);
}

// The analog read-back: each word through the mode table and the conversions.
void checkAnalogReadBack(const QString &reply)
{
    for (int i = 0; 6 + 4 * i + 4 <= reply.size() && i < 16; ++i) {
        const quint16 word = quint16(reply.midRef(6 + 4 * i, 4).toUInt(nullptr, 16));
        const int index = AnalogConversion::modeIndexForWord(word);
        FUZZ_CHECK(index >= -1 && index < AnalogConversion::modes().size());
        for (const AnalogConversion::OutputMode &mode : AnalogConversion::modes()) {
            const QString value = AnalogConversion::physicalValueText(mode, word, quint16(word ^ 0x5a5a));
            FUZZ_CHECK(!value.isEmpty());
            AnalogConversion::precisionText(mode, word);
        }
    }
}

void checkDispatch(const QString &reply, const QString &kind, const QString &address, bool network)
{
    const ReplyDecoder::Dispatch d = ReplyDecoder::dispatch(reply, kind, address, network);
    FUZZ_CHECK(d.showRaw == !network);
    using D = ReplyDecoder::Dispatch;
    if (!d.accepted) {
        FUZZ_CHECK(d.signal == D::NoSignal && d.then == D::Stay);
        return;
    }
    // Only a reply from our module, with a function code the tool uses and, on the
    // serial line, a good CRC is accepted.
    FUZZ_CHECK(reply.left(2).compare(address, Qt::CaseInsensitive) == 0);
    const QString code = reply.mid(2, 2);
    FUZZ_CHECK(QStringList({"01", "02", "03", "05", "06", "0f", "10"}).contains(code));
    if (!network)
        FUZZ_CHECK(QtTools::checkCrc16(reply.left(reply.size() - 4), reply.right(4)));

    // A reply is applied only to a request of its own kind and function code.
    switch (d.signal) {
    case D::ChangeCtlOuts:
        FUZZ_CHECK(code == "03" && kind.contains(ModbusRequest::kCheckStatus));
        break;
    case D::ChangeInputs:
        FUZZ_CHECK(code == "03" && kind.contains(ModbusRequest::kStartDetecting));
        FUZZ_CHECK(d.then == D::Requeue);
        break;
    case D::AnalogInput:
        FUZZ_CHECK(code == "03" && kind == ModbusRequest::kAnalogStartDetecting);
        FUZZ_CHECK(!d.text.contains(QLatin1String("rror")));
        break;
    case D::ReadAnalogOutput:
        FUZZ_CHECK(code == "03" && kind.startsWith(ModbusRequest::kReadAnalogOutputPrefix));
        break;
    case D::CommunicationTimeOut:
        FUZZ_CHECK(code == "03" && kind.contains(ModbusRequest::kCommunicationTimeout));
        break;
    case D::NetworkProcessing:
        FUZZ_CHECK(code == "03" && kind.contains(ModbusRequest::kReadNetwork));
        break;
    case D::ClickButton:
        FUZZ_CHECK((code == "05" || code == "10") && kind.contains(QLatin1String("QPushButton")));
        FUZZ_CHECK(d.number == 12);
        break;
    case D::AllOpen:
        FUZZ_CHECK(code == "10");
        FUZZ_CHECK(d.number == (kind.contains(ModbusRequest::kAllOpen) ? 1 : 0));
        break;
    case D::Log:
        FUZZ_CHECK(code == "10");
        break;
    case D::NoSignal:
        break;
    }
    if (kind == ModbusRequest::kUiText)
        FUZZ_CHECK(d.signal == D::NoSignal && d.then == D::Pop);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const QString kind = kinds().at(data[0] % kinds().size());
    const bool network = data[1] & 1;
    const bool makeValid = data[1] & 2;
    const QByteArray rest(reinterpret_cast<const char *>(data + 2), int(size - 2));

    // As text: anything at all; as bytes: a reply the link could cut, CRC made good
    // when asked, so the decoders are reached.
    QString reply = makeValid ? hex(rest) : QString::fromLatin1(rest);
    if (makeValid && rest.size() <= 250)
        reply = hex(withCrc(rest));
    const QString address = reply.left(2).toUpper();

    checkDispatch(reply, kind, address, network);
    checkDispatch(reply, kind, QStringLiteral("01"), network);

    // With the head's frame known, only a reply that answers it is accepted, and that
    // reply would have been accepted without the frame too.
    const QString headFrame = hex(rest.left(6));
    const ReplyDecoder::Dispatch matched
        = ReplyDecoder::dispatch(reply, kind, address, network, headFrame);
    if (matched.accepted) {
        FUZZ_CHECK(ReplyDecoder::answers(reply, headFrame));
        FUZZ_CHECK(ReplyDecoder::dispatch(reply, kind, address, network).accepted);
        FUZZ_CHECK(reply.mid(2, 2).compare(headFrame.mid(2, 2), Qt::CaseInsensitive) == 0);
    }
    checkInputBits(reply);
    checkTimeoutBlock(reply);
    checkNetworkBlock(reply);
    checkOutputStates(reply);
    checkAnalogReadBack(reply);
    return 0;
}
