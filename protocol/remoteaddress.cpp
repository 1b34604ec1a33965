#include "protocol/remoteaddress.h"

#include <QCoreApplication>
#include <QStringList>

namespace RemoteAddress {

namespace {

constexpr int kOctets = 4;
constexpr int kOctetMaximum = 255;
constexpr int kPortMaximum = 65535;
// Enough digits for any leading zeros the field allows, few enough not to overflow.
constexpr int kDigitsMaximum = 9;

QString withoutBlanks(const QString &text)
{
    QString result = text;
    result.remove(QLatin1Char(' '));
    return result;
}

// A run of ASCII digits read as decimal, or -1.
int decimal(const QString &digits)
{
    if (digits.isEmpty() || digits.size() > kDigitsMaximum)
        return -1;
    int value = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

} // namespace

Host parseHost(const QString &text)
{
    Host host;
    const QString compact = withoutBlanks(text);
    if (compact.isEmpty()) {
        host.fault = Host::Fault::Empty;
        host.error = QCoreApplication::translate("RemoteAddress", "The remote IP is empty.",
                                                 " 远程IP为空。 ");
        return host;
    }
    const QStringList parts = compact.split(QLatin1Char('.'));
    if (parts.size() != kOctets || parts.contains(QString())) {
        host.fault = Host::Fault::Parts;
        host.error = QCoreApplication::translate(
                "RemoteAddress", "The remote IP \"%1\" needs four numbers separated by dots.",
                " 远程IP\"%1\"需要四个以点分隔的数字。 ")
                         .arg(text);
        return host;
    }
    QStringList normalised;
    for (const QString &part : parts) {
        const int octet = decimal(part);
        if (octet < 0 || octet > kOctetMaximum) {
            host.fault = Host::Fault::Octet;
            host.error = QCoreApplication::translate(
                    "RemoteAddress", "The remote IP \"%1\" has \"%2\", not a number from 0 to 255.",
                    " 远程IP\"%1\"中的\"%2\"不是0到255的数字。 ")
                             .arg(text, part);
            return host;
        }
        host.ipv4 = host.ipv4 << 8 | quint32(octet);
        normalised << QString::number(octet);
    }
    host.valid = true;
    host.text = normalised.join(QLatin1Char('.'));
    return host;
}

Port parsePort(const QString &text)
{
    Port port;
    const int number = decimal(withoutBlanks(text));
    if (number < 1 || number > kPortMaximum) {
        port.error = QCoreApplication::translate(
                "RemoteAddress", "The remote port \"%1\" is not a number from 1 to 65535.",
                " 远程端口\"%1\"不是1到65535的数字。 ")
                         .arg(text);
        return port;
    }
    port.valid = true;
    port.number = quint16(number);
    return port;
}

QString Endpoint::text() const
{
    return host.text + QLatin1Char(':') + QString::number(port.number);
}

Endpoint parseEndpoint(const QString &text, quint16 defaultPort)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        Endpoint endpoint;
        endpoint.host = parseHost(text);
        endpoint.port.valid = true;
        endpoint.port.number = defaultPort;
        return endpoint;
    }
    return parseEndpoint(text.left(colon), text.mid(colon + 1));
}

Endpoint parseEndpoint(const QString &hostText, const QString &portText)
{
    Endpoint endpoint;
    endpoint.host = parseHost(hostText);
    endpoint.port = parsePort(portText);
    endpoint.portGiven = true;
    return endpoint;
}

} // namespace RemoteAddress
