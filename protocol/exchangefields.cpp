#include "protocol/exchangefields.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/replydecoder.h"

namespace ExchangeFields {

namespace {

constexpr int kTcpHeaderBytes = 6; // transaction, protocol, length; the unit follows
constexpr int kCrcBytes = 2;
constexpr int kExceptionBit = 0x80;

quint16 word(const QByteArray &pdu, int at)
{
    return quint16(quint8(pdu.at(at)) << 8 | quint8(pdu.at(at + 1)));
}

bool isBitFunction(int function)
{
    return function == 0x01 || function == 0x02 || function == 0x0F;
}

// Coil or input states packed eight to a byte, bit 0 first.
QVector<quint16> bits(const QByteArray &data, int count)
{
    QVector<quint16> states;
    for (int i = 0; i < count && i / 8 < data.size(); ++i)
        states.append(quint16(quint8(data.at(i / 8)) >> (i % 8) & 1));
    return states;
}

QVector<quint16> words(const QByteArray &data)
{
    QVector<quint16> registers;
    for (int at = 0; at + 1 < data.size(); at += 2)
        registers.append(word(data, at));
    return registers;
}

} // namespace

QByteArray applicationData(const QByteArray &wire, LinkKind link)
{
    const QByteArray pdu = link == LinkKind::Tcp ? wire.mid(kTcpHeaderBytes)
                                                  : wire.left(wire.size() - kCrcBytes);
    return pdu.size() >= 2 ? pdu : QByteArray();
}

QString replyText(const QByteArray &wire, LinkKind link)
{
    if (link != LinkKind::Tcp)
        return wire.size() >= 2 + kCrcBytes ? QString::fromLatin1(wire.toHex()) : QString();
    const QByteArray pdu = applicationData(wire, link);
    return pdu.isEmpty() ? QString() : QString::fromLatin1(QtTools::withCrc16(pdu).toHex());
}

Fields request(const QByteArray &wire, LinkKind link)
{
    Fields fields;
    const QByteArray pdu = applicationData(wire, link);
    if (pdu.isEmpty())
        return fields;
    fields.valid = true;
    fields.unit = quint8(pdu.at(0));
    fields.function = quint8(pdu.at(1)) & ~kExceptionBit;
    if (pdu.size() < 6)
        return fields;
    fields.address = word(pdu, 2);
    switch (fields.function) {
    case 0x05:
        fields.quantity = 1;
        fields.values = {quint16(word(pdu, 4) == 0xFF00 ? 1 : 0)};
        break;
    case 0x06:
        fields.quantity = 1;
        fields.values = {word(pdu, 4)};
        break;
    case 0x0F:
    case 0x10:
        fields.quantity = word(pdu, 4);
        if (fields.function == 0x0F)
            fields.values = bits(pdu.mid(7), fields.quantity);
        else
            fields.values = words(pdu.mid(7)).mid(0, fields.quantity);
        break;
    default:
        fields.quantity = word(pdu, 4);
        break;
    }
    return fields;
}

Fields reply(const QByteArray &wire, LinkKind link)
{
    Fields fields;
    const QByteArray pdu = applicationData(wire, link);
    if (pdu.isEmpty())
        return fields;
    fields.valid = true;
    fields.unit = quint8(pdu.at(0));
    const int code = quint8(pdu.at(1));
    fields.function = code & ~kExceptionBit;
    if (code & kExceptionBit) {
        fields.exception = true;
        fields.exceptionCode = pdu.size() > 2 ? quint8(pdu.at(2)) : 0;
        return fields;
    }
    switch (fields.function) {
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04: {
        if (pdu.size() < 3)
            break;
        const QByteArray data = pdu.mid(3, quint8(pdu.at(2)));
        fields.values = isBitFunction(fields.function)
            ? bits(data, data.size() * 8)
            // Without the CRC, so a frame cut short yields only the registers it holds.
            : ReplyDecoder::decodeRegisters(QString::fromLatin1(pdu.left(3 + data.size()).toHex()));
        break;
    }
    default:
        if (pdu.size() < 6)
            break;
        fields.address = word(pdu, 2);
        if (fields.function == 0x05 || fields.function == 0x06) {
            fields.quantity = 1;
            fields.values = {fields.function == 0x05 ? quint16(word(pdu, 4) == 0xFF00)
                                                     : word(pdu, 4)};
        } else {
            fields.quantity = word(pdu, 4);
        }
        break;
    }
    return fields;
}

} // namespace ExchangeFields
