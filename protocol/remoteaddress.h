#pragma once

#include <QString>

// The module's IPv4 address and TCP port as the operator types them: four decimal
// numbers 0 to 255 (a leading zero is still decimal: 010 is ten, never octal) and
// a port 1 to 65535. Blanks are ignored, as the address field leaves them where
// a part has fewer than three digits; anything else is refused with a reason.
namespace RemoteAddress {

struct Host
{
    bool valid = false;
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

Host parseHost(const QString &text);
Port parsePort(const QString &text);

} // namespace RemoteAddress
