#include "check/plausibility.h"

#include "protocol/analogconversion.h"

namespace Plausibility {

namespace {

// Offsets in the network block.
constexpr int kIp = 0;
constexpr int kMask = 4;
constexpr int kGateway = 8;
constexpr int kPort = 12;
constexpr int kRemoteIp = 13;
constexpr int kRemotePort = 17;
constexpr int kMode = 18;
constexpr int kMac = 19;
constexpr int kBlockSize = 25;
constexpr int kLastMode = 2; // 0 server, 1 client, 2 UDP
constexpr int kLastDeviceAddress = 247;

quint32 address(const QVector<quint16> &block, int at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | (block.at(at + i) & 0xFF);
    return value;
}

QString dotted(quint32 value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24).arg((value >> 16) & 0xFF).arg((value >> 8) & 0xFF).arg(value & 0xFF);
}

// 0.0.0.0, loopback, multicast and the reserved range above it.
bool unusable(quint32 ip)
{
    const quint32 first = ip >> 24;
    return ip == 0 || first == 127 || first >= 224;
}

bool contiguous(quint32 mask)
{
    return (~mask & (~mask + 1)) == 0;
}

} // namespace

QStringList networkProblems(const QVector<quint16> &block)
{
    if (block.size() < kBlockSize)
        return { QStringLiteral("network block short: %1 of %2 registers").arg(block.size()).arg(kBlockSize) };
    QStringList problems;
    for (int i = 0; i < kBlockSize; ++i) {
        // An octet or a MAC byte sits in the low byte; only the two ports use the whole register.
        if (i != kPort && i != kRemotePort && block.at(i) > 0xFF)
            problems << QStringLiteral("register %1 holds 0x%2, more than a byte")
                            .arg(i).arg(block.at(i), 4, 16, QLatin1Char('0'));
    }
    const quint32 ip = address(block, kIp);
    const quint32 mask = address(block, kMask);
    const quint32 gateway = address(block, kGateway);
    if (unusable(ip))
        problems << QStringLiteral("IP %1 is no host address").arg(dotted(ip));
    if (mask == 0 || !contiguous(mask))
        problems << QStringLiteral("mask %1 is not a contiguous subnet mask").arg(dotted(mask));
    else if (~mask > 1 && !unusable(ip) && ((ip & ~mask) == 0 || (ip & ~mask) == ~mask))
        problems << QStringLiteral("IP %1 is the network or broadcast address of its subnet").arg(dotted(ip));
    // 0.0.0.0 is "no gateway".
    if (gateway != 0 && !unusable(ip) && contiguous(mask) && mask != 0
        && ((gateway & mask) != (ip & mask) || gateway == ip))
        problems << QStringLiteral("gateway %1 is not another host of the module's subnet").arg(dotted(gateway));
    if (block.at(kPort) == 0)
        problems << QStringLiteral("port 0");
    if (block.at(kMode) > kLastMode)
        problems << QStringLiteral("working mode %1 (0 server, 1 client, 2 UDP)").arg(block.at(kMode));
    else if (block.at(kMode) != 0 && (unusable(address(block, kRemoteIp)) || block.at(kRemotePort) == 0))
        problems << QStringLiteral("as a client or over UDP it has no remote peer (%1:%2)")
                        .arg(dotted(address(block, kRemoteIp))).arg(block.at(kRemotePort));
    bool allZero = true;
    for (int i = 0; i < 6; ++i)
        allZero = allZero && (block.at(kMac + i) & 0xFF) == 0;
    if (allZero)
        problems << QStringLiteral("MAC 00-00-00-00-00-00");
    else if (block.at(kMac) & 0x01)
        problems << QStringLiteral("MAC is a group address (first byte 0x%1 is odd)")
                        .arg(block.at(kMac) & 0xFF, 2, 16, QLatin1Char('0'));
    return problems;
}

QStringList analogOutputProblems(quint16 maximum, quint16 mode)
{
    QStringList problems;
    if (maximum == 0)
        problems << QStringLiteral("maximum register 0: no output range");
    if (AnalogConversion::modeIndexForWord(mode) < 0)
        problems << QStringLiteral("mode 0x%1 is no output mode").arg(mode, 4, 16, QLatin1Char('0'));
    return problems;
}

QStringList addressProblems(int address)
{
    if (address < 1 || address > kLastDeviceAddress)
        return { QStringLiteral("address %1 is no device address (1 to %2)").arg(address).arg(kLastDeviceAddress) };
    return {};
}

} // namespace Plausibility
