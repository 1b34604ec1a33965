#pragma once

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/linkevents.h"

#include <QByteArray>
#include <QString>

// The bytes a request frame (hex text without CRC, blanks allowed) is on the given link:
// with its CRC on the serial line, behind the Modbus TCP header on the network.
inline QByteArray wireFrame(QString frameNoCrc, LinkKind link)
{
    frameNoCrc.remove(QLatin1Char(' '));
    return QtTools::hexStringToByteArray(link == LinkKind::Tcp ? QtTools::toModbusTcpFrame(frameNoCrc)
                                                               : QtTools::appendCrc16(frameNoCrc));
}
