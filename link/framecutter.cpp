#include "link/framecutter.h"

#include "QtLibrary/QtTools/qttools.h"

namespace {

const QString kIdentificationStart = QStringLiteral("49443a"); // "ID:"
const QString kErrorWord = QStringLiteral("4552524f52");       // "ERROR"
constexpr int kIdentificationChars = 30;
constexpr int kWriteReplyChars = 16;
constexpr int kExceptionChars = 10;
constexpr int kTcpHeaderChars = 12;

bool isReadCode(const QStringRef &code)
{
    return code == QLatin1String("01") || code == QLatin1String("02")
        || code == QLatin1String("03");
}

bool isWriteCode(const QStringRef &code)
{
    return code == QLatin1String("05") || code == QLatin1String("06")
        || code == QLatin1String("0f") || code == QLatin1String("10");
}

bool crcMatches(const QString &frame)
{
    const QString body = frame.left(frame.size() - 4);
    return QtTools::crc16Hex(body).compare(frame.right(4), Qt::CaseInsensitive) == 0;
}

} // namespace

void FrameCutter::setDeviceAddress(const QString &address)
{
    m_address = address.toLower();
}

void FrameCutter::clear()
{
    m_buffer.clear();
    m_tcpBuffer.clear();
}

QVector<CutEvent> FrameCutter::feedSerial(const QByteArray &bytes)
{
    QVector<CutEvent> events;
    m_buffer += QString::fromLatin1(bytes.toHex());
    cutSerial(m_buffer, events);
    return events;
}

QVector<CutEvent> FrameCutter::feedTcp(const QByteArray &bytes)
{
    QVector<CutEvent> events;
    m_tcpBuffer += QString::fromLatin1(bytes.toHex());
    while (m_tcpBuffer.size() >= kTcpHeaderChars) {
        const int length = m_tcpBuffer.midRef(8, 4).toInt(nullptr, 16);
        if (length < 2 || length > kMaxTcpLength) {
            CutEvent event;
            event.type = CutEvent::TcpOutOfStep;
            event.text = m_tcpBuffer.left(kTcpHeaderChars);
            events.append(event);
            m_tcpBuffer.clear();
            break;
        }
        const int frameChars = 2 * length + kTcpHeaderChars;
        if (m_tcpBuffer.size() < frameChars)
            break;
        CutEvent frame;
        frame.text = m_tcpBuffer.left(frameChars);
        m_tcpBuffer.remove(0, frameChars);
        // The tool always sends transaction and protocol identifier 0.
        if (!frame.text.startsWith(QLatin1String("00000000"))) {
            frame.type = CutEvent::TcpDiscarded;
            events.append(frame);
            continue;
        }
        frame.type = CutEvent::TcpFrame;
        events.append(frame);
        // Each TCP frame is cut on its own; what it does not explain is dropped with it.
        QString serial = QtTools::appendCrc16(frame.text.mid(kTcpHeaderChars));
        cutSerial(serial, events);
    }
    return events;
}

void FrameCutter::cutSerial(QString &buffer, QVector<CutEvent> &events)
{
    while (buffer.size() >= 2) {
        // "ID:" and "ERROR" first: a module may well sit at address 0x49 or 0x45.
        if (buffer.startsWith(kIdentificationStart)) {
            if (buffer.size() < kIdentificationChars)
                return;
            CutEvent event;
            event.type = CutEvent::Identification;
            event.text = buffer.left(kIdentificationChars);
            event.address = event.text.mid(8, 2);
            event.shownAddress = event.text.midRef(6, 4).toInt(nullptr, 16);
            event.typeCode = event.text.midRef(22, 4).toInt(nullptr, 16);
            events.append(event);
            buffer.remove(0, kIdentificationChars);
            // The module answers at the address it announced from now on.
            m_address = event.address;
            continue;
        }
        if (buffer.startsWith(kErrorWord)) {
            CutEvent event;
            event.type = CutEvent::ErrorWord;
            event.text = kErrorWord;
            events.append(event);
            buffer.remove(0, kErrorWord.size());
            continue;
        }
        // The start of something longer that may still come: wait for it.
        if (kIdentificationStart.startsWith(buffer) || kErrorWord.startsWith(buffer))
            return;
        if (buffer.startsWith(m_address)) {
            if (buffer.size() < 4)
                return;
            const QStringRef code = buffer.midRef(2, 2);
            if (isReadCode(code)) {
                if (buffer.size() < 6)
                    return;
                const int count = buffer.midRef(4, 2).toInt(nullptr, 16);
                if (count > kMaxReadBytes) {
                    // No frame starts here; a good reply may follow in the same bytes.
                    CutEvent event;
                    event.type = CutEvent::Oversized;
                    event.text = buffer.left(6);
                    events.append(event);
                    buffer.remove(0, 2);
                    continue;
                }
                const int frameChars = 2 * count + 10;
                if (buffer.size() < frameChars)
                    return;
                CutEvent event;
                event.text = buffer.left(frameChars);
                buffer.remove(0, frameChars);
                events.append(event);
                continue;
            }
            if (isWriteCode(code)) {
                if (buffer.size() < kWriteReplyChars)
                    return;
                CutEvent event;
                event.text = buffer.left(kWriteReplyChars);
                buffer.remove(0, kWriteReplyChars);
                events.append(event);
                continue;
            }
            bool ok = false;
            const int function = code.toInt(&ok, 16);
            if (ok && function >= 0x80) {
                // Exception reply: address, function | 0x80, exception code, CRC.
                if (buffer.size() < kExceptionChars)
                    return;
                const QString frame = buffer.left(kExceptionChars);
                if (crcMatches(frame)) {
                    CutEvent event;
                    event.type = CutEvent::ExceptionReply;
                    event.text = frame;
                    event.function = function & 0x7F;
                    event.exceptionCode = frame.midRef(4, 2).toInt(nullptr, 16);
                    events.append(event);
                    buffer.remove(0, kExceptionChars);
                    continue;
                }
            }
            buffer.remove(0, 2);
            continue;
        }
        // Resynchronise a whole byte at a time, so no frame is read half a byte off.
        buffer.remove(0, 2);
    }
}
