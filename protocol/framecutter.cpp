#include "protocol/framecutter.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusrequest.h"

#include <QLatin1String>
#include <QStringRef>

namespace {

const QString kIdentificationStart = QStringLiteral("49443a"); // "ID:"
const QString kErrorWord = QStringLiteral("4552524f52");       // "ERROR"
constexpr int kIdentificationChars = 30;
constexpr int kWriteReplyChars = 16;
constexpr int kExceptionChars = 10;
constexpr int kTcpHeaderChars = 12;

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
    int at = 0;
    while (m_tcpBuffer.size() - at >= kTcpHeaderChars) {
        const int length = m_tcpBuffer.midRef(at + 8, 4).toInt(nullptr, 16);
        if (length < 2 || length > kMaxTcpLength) {
            CutEvent event;
            event.type = CutEvent::TcpOutOfStep;
            event.text = m_tcpBuffer.mid(at, kTcpHeaderChars);
            events.append(event);
            at = m_tcpBuffer.size();
            break;
        }
        const int frameChars = 2 * length + kTcpHeaderChars;
        if (m_tcpBuffer.size() - at < frameChars)
            break;
        CutEvent frame;
        frame.text = m_tcpBuffer.mid(at, frameChars);
        at += frameChars;
        // The tool always sends transaction and protocol identifier 0.
        if (!frame.text.startsWith(QLatin1String("00000000"))) {
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
    m_tcpBuffer = m_tcpBuffer.mid(at);
    return events;
}

int FrameCutter::cutSerial(const QString &buffer, QVector<CutEvent> &events)
{
    int at = 0;
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
            const QStringRef code = rest.mid(2, 2);
            const ModbusRequest::FunctionClass function = ModbusRequest::functionClass(code);
            if (function == ModbusRequest::FunctionClass::Read) {
                if (rest.size() < 6)
                    return at;
                const int count = rest.mid(4, 2).toInt(nullptr, 16);
                if (count > kMaxReadBytes) {
                    // No frame starts here; a good reply may follow in the same bytes.
                    CutEvent event;
                    event.type = CutEvent::Oversized;
                    event.text = rest.left(6).toString();
                    events.append(event);
                    dropByte();
                    continue;
                }
                const int frameChars = 2 * count + 10;
                if (rest.size() < frameChars)
                    return at;
                CutEvent event;
                event.text = rest.left(frameChars).toString();
                at += frameChars;
                events.append(event);
                m_dropping = false;
                continue;
            }
            if (function == ModbusRequest::FunctionClass::Write) {
                if (rest.size() < kWriteReplyChars)
                    return at;
                CutEvent event;
                event.text = rest.left(kWriteReplyChars).toString();
                at += kWriteReplyChars;
                events.append(event);
                m_dropping = false;
                continue;
            }
            bool ok = false;
            const int exception = code.toInt(&ok, 16);
            if (ok && exception >= 0x80) {
                // Exception reply: address, function | 0x80, exception code, CRC.
                if (rest.size() < kExceptionChars)
                    return at;
                const QString frame = rest.left(kExceptionChars).toString();
                const int crcAt = kExceptionChars - 4;
                if (QtTools::crcMatches(frame.left(crcAt), frame.mid(crcAt), Qt::CaseInsensitive)) {
                    CutEvent event;
                    event.type = CutEvent::ExceptionReply;
                    event.text = frame;
                    event.function = exception & 0x7F;
                    event.exceptionCode = frame.midRef(4, 2).toInt(nullptr, 16);
                    events.append(event);
                    m_dropping = false;
                    at += kExceptionChars;
                    continue;
                }
            }
            dropByte();
            continue;
        }
        // Resynchronise a whole byte at a time, so no frame is read half a byte off.
        dropByte();
    }
    return at;
}
