#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QtGlobal>

// What the link reports about the frames it moves and about itself, as values. The log,
// the status bar and the traffic view decide how these look; nothing parses them back.

// Which link a frame went over.
enum class LinkKind { None, Serial, Tcp };

// One frame on the wire, or a request that ended without one (TimedOut, NotSent).
struct ExchangeRecord
{
    enum class Direction { Sent, Received };
    enum class Result {
        Pending,   // a request sent, its answer not yet known
        Ok,        // a reply that answered its request
        Exception, // an exception reply (exceptionCode says which)
        TimedOut,  // the request got no acceptable reply in its time; no bytes
        NotSent,   // the request was withdrawn or refused before it reached the wire; no bytes
        BadCrc,    // a frame whose CRC was wrong
        Unmatched  // a well-formed frame that answered nothing asked
    };

    quint64 requestId = 0;    // the request this record belongs to; 0 for a frame that answers none
    Direction direction = Direction::Sent;
    Result result = Result::Pending;
    LinkKind link = LinkKind::None;
    QString kind;             // the request kind ("Check Status", "QPushButton_2", …)
    QByteArray bytes;         // the frame as on the wire: with its CRC (serial) or TCP header
    bool polling = false;     // a request that is sent again and again while its panel detects
    quint8 unit = 0;          // the device address the request went to
    quint8 exceptionCode = 0; // with Result::Exception
    qint64 timeMs = 0;        // QDateTime::currentMSecsSinceEpoch() when it happened
    qint64 responseMs = -1;   // received, timed out: ms since the request went out; -1 otherwise
    quint32 modelGeneration = 0; // the model choice the request was made for (0: none)
};

// Something the link has to tell the operator.
struct LinkNotice
{
    enum class Severity { Info, Success, Warning, Error };

    Severity severity = Severity::Info;
    QString text;       // already translated
    qint64 timeMs = 0;
};

Q_DECLARE_METATYPE(LinkKind)
Q_DECLARE_METATYPE(ExchangeRecord)
Q_DECLARE_METATYPE(LinkNotice)
