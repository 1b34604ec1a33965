#include "protocol/framecutter.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusframe.h"

#include <QLatin1String>
#include <QStringRef>

namespace {

const QString kIdentificationStart = QStringLiteral("49443a"); // "ID:"
const QString kErrorWord = QStringLiteral("4552524f52");       // "ERROR"
constexpr int kIdentificationChars = 30;
constexpr int kTcpHeaderChars = 2 * ModbusFrame::kTcpHeaderBytes;

} // namespace

void FrameCutter::setDeviceAddress(const QString &address)
{
    m_address = address.toLower();
}

void FrameCutter::clear()
{
    m_buffer.clear();
    m_tcpBuffer.clear();
    m_dropping = false;
}

QVector<CutEvent> FrameCutter::feedSerial(const QByteArray &bytes)
{
    QVector<CutEvent> events;
    m_buffer += QString::fromLatin1(bytes.toHex());
    const int used = cutSerial(m_buffer, events);
    // A copy of the short rest, so a large read does not keep its memory.
    m_buffer = m_buffer.mid(used);
    return events;
}

QVector<CutEvent> FrameCutter::feedTcp(const QByteArray &bytes)
{
    QVector<CutEvent> events;
    m_tcpBuffer += QString::fromLatin1(bytes.toHex());
    const QByteArray buffered = QByteArray::fromHex(m_tcpBuffer.toLatin1());
    int at = 0; // bytes
    while (at < buffered.size()) {
        const ModbusFrame::Tcp parsed = ModbusFrame::parseTcp(buffered, at);
        if (parsed.shape == ModbusFrame::Shape::Incomplete)
            break;
        if (parsed.shape != ModbusFrame::Shape::Complete) {
            CutEvent event;
            event.type = CutEvent::TcpOutOfStep;
            event.text = m_tcpBuffer.mid(2 * at, kTcpHeaderChars);
            events.append(event);
            at = buffered.size();
            break;
        }
        CutEvent frame;
        frame.text = m_tcpBuffer.mid(2 * at, 2 * parsed.length);
        at += parsed.length;
        // The tool always sends transaction and protocol identifier 0.
        if (parsed.transaction != 0 || parsed.protocol != 0) {
            frame.type = CutEvent::TcpDiscarded;
            events.append(frame);
            continue;
        }
        frame.type = CutEvent::TcpFrame;
        events.append(frame);
        // Each TCP frame is cut on its own; what it does not explain is dropped with it. Frames
        // get a CRC for the cut, except an identification reply that brings its own.
        const QString payload = frame.text.mid(kTcpHeaderChars);
        const bool whole = payload.startsWith(kIdentificationStart) && payload.size() == kIdentificationChars;
        cutSerial(whole ? payload : QtTools::appendCrc16(payload), events);
    }
    m_tcpBuffer = m_tcpBuffer.mid(2 * at);
    return events;
}

int FrameCutter::cutSerial(const QString &buffer, QVector<CutEvent> &events)
{
    const QByteArray bytes = QByteArray::fromHex(buffer.toLatin1());
    int at = 0; // characters, two per byte
    auto dropByte = [&]() {
        if (!m_dropping) {
            CutEvent event;
            event.type = CutEvent::Garbage;
            events.append(event);
            m_dropping = true;
        }
        at += 2;
    };
    while (buffer.size() - at >= 2) {
        const QStringRef rest = buffer.midRef(at);
        // "ID:" and "ERROR" first: a module may well sit at address 0x49 or 0x45.
        if (rest.startsWith(kIdentificationStart)) {
            if (rest.size() < kIdentificationChars)
                return at;
            CutEvent event;
            event.type = CutEvent::Identification;
            event.text = rest.left(kIdentificationChars).toString();
            event.address = event.text.mid(8, 2);
            event.shownAddress = event.text.midRef(6, 4).toInt(nullptr, 16);
            event.typeCode = event.text.midRef(22, 4).toInt(nullptr, 16);
            events.append(event);
            m_dropping = false;
            at += kIdentificationChars;
            // The module answers at the address it announced from now on.
            m_address = event.address;
            continue;
        }
        if (rest.startsWith(kErrorWord)) {
            CutEvent event;
            event.type = CutEvent::ErrorWord;
            event.text = kErrorWord;
            events.append(event);
            m_dropping = false;
            at += kErrorWord.size();
            continue;
        }
        // The start of something longer that may still come: wait for it.
        if (kIdentificationStart.startsWith(rest) || kErrorWord.startsWith(rest))
            return at;
        if (rest.startsWith(m_address)) {
            if (rest.size() < 4)
                return at;
            const ModbusFrame::Rtu parsed = ModbusFrame::parseRtu(bytes, at / 2);
            if (parsed.shape == ModbusFrame::Shape::Incomplete)
                return at;
            if (parsed.shape == ModbusFrame::Shape::BadLength) {
                // No frame starts here; a good reply may follow in the same bytes.
                CutEvent event;
                event.type = CutEvent::Oversized;
                event.text = rest.left(6).toString();
                events.append(event);
                dropByte();
                continue;
            }
            // Replies go to the queue whatever their CRC, which the dispatch judges;
            // an exception reply is believed only with a good one.
            if (parsed.shape == ModbusFrame::Shape::Complete && (!parsed.exception || parsed.crcOk)) {
                CutEvent event;
                event.text = rest.left(2 * parsed.length).toString();
                if (parsed.exception) {
                    event.type = CutEvent::ExceptionReply;
                    event.function = parsed.function & ~ModbusFrame::kExceptionBit;
                    event.exceptionCode = parsed.exceptionCode;
                }
                at += 2 * parsed.length;
                events.append(event);
                m_dropping = false;
                continue;
            }
            dropByte();
            continue;
        }
        // Resynchronise a whole byte at a time, so no frame is read half a byte off.
        dropByte();
    }
    return at;
}
