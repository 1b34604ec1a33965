#pragma once

#include <QString>

// The module's IPv4 address and TCP port as the operator types them: four decimal
// numbers 0 to 255 (a leading zero is still decimal: 010 is ten, never octal) and
// a port 1 to 65535. Blanks are ignored, as the address field leaves them where
// a part has fewer than three digits; anything else is refused with a reason.
namespace RemoteAddress {

struct Host
{
    // Why a text was refused: nothing typed, not four numbers (a missing or empty
    // one included), or a number that is no octet.
    enum class Fault { None, Empty, Parts, Octet };

    bool valid = false;
    Fault fault = Fault::None;
    quint32 ipv4 = 0;  // host byte order, for QHostAddress
    QString text;      // normalised: "192.168.1.80"
    QString error;     // why the text was refused
};

struct Port
{
    bool valid = false;
    quint16 number = 0;
    QString error;
};

// An address and port together: "HOST[:PORT]" on the command line, or the window's
// two fields.
struct Endpoint
{
    Host host;
    Port port;
    bool portGiven = false; // false: the text named no port and the default stands

    bool valid() const { return host.valid && port.valid; }
    QString error() const { return host.valid ? port.error : host.error; }
    QString text() const; // "192.168.1.80:8080"
};

// The port a module listens on when it leaves the factory.
constexpr quint16 kDefaultPort = 8080;

Host parseHost(const QString &text);
Port parsePort(const QString &text);
// "HOST" or "HOST:PORT"; without a port, defaultPort.
Endpoint parseEndpoint(const QString &text, quint16 defaultPort = kDefaultPort);
Endpoint parseEndpoint(const QString &hostText, const QString &portText);

} // namespace RemoteAddress
