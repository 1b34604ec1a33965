#pragma once

#include "protocol/modbusframe.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// One thing found in the received byte stream.
struct CutEvent
{
    enum Type {
        Reply,          // a complete reply for the request queue (serial form, CRC included)
        ExceptionReply, // the module refused the request
        Identification, // the module's "ID:" announcement
        ErrorWord,      // the module's ASCII "ERROR"
        Oversized,      // a read reply announcing more data than Modbus allows; buffer emptied
        TcpFrame,       // a whole Modbus TCP frame as received (header included)
        TcpDiscarded,   // a Modbus TCP frame that is not ours (transaction or protocol not 0)
        TcpOutOfStep,   // a Modbus TCP length that no frame can have; buffer emptied
        Garbage         // the start of a run of bytes that belong to no frame
    };

    Type type = Reply;
    QString text;         // frame text, lower-case hex (Reply: CRC upper-case on TCP)
    int function = 0;     // ExceptionReply: function code without the exception bit
    int exceptionCode = 0;
    QString address;      // Identification: the address byte, two hex digits
    int shownAddress = 0; // Identification: the address field as a number
    int typeCode = 0;     // Identification: the device type code
};

// Cuts complete module replies out of received bytes, kept as lower-case hex text.
// On the serial line frames are recognised by address and function code; on TCP
// by the Modbus TCP header, then handled like serial frames with a computed CRC.
// Each feed reads its buffer front to back and drops what it used once, so a read
// costs time in proportion to its size; at most one unfinished frame is kept.
class FrameCutter
{
public:
    static constexpr int kMaxReadBytes = ModbusFrame::kMaxReadBytes;
    static constexpr int kMaxTcpLength = ModbusFrame::kMaxTcpLength;

    // The address every reply must carry, two hex digits in either case.
    void setDeviceAddress(const QString &address);
    QString deviceAddress() const { return m_address; }

    QVector<CutEvent> feedSerial(const QByteArray &bytes);
    QVector<CutEvent> feedTcp(const QByteArray &bytes);
    void clear();
    // The serial line loses bytes; a TCP stream does not, so its framing stays in step.
    void clearSerial()
    {
        m_buffer.clear();
        m_dropping = false;
    }
    QString buffer() const { return m_buffer; }
    QString tcpBuffer() const { return m_tcpBuffer; }

private:
    // Cuts from the front of the text; returns how many characters were used up.
    int cutSerial(const QString &buffer, QVector<CutEvent> &events);

    QString m_buffer;
    QString m_tcpBuffer;
    QString m_address = QStringLiteral("01");
    // Inside a run of dropped bytes: it is reported once, however long it is.
    bool m_dropping = false;
};
