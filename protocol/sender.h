#pragma once

#include <QMetaType>
#include <QString>

// One queued request to the module: its kind, which pairs the reply with it,
// and the frame as hex text without CRC. Owned by the queue once handed over.
class Sender
{
public:
    Sender(const QString &kind, const QString &data)
        : kind(kind), data(data)
    {
    }

    QString kind;
    QString data;
    // Set by the queue when it takes the request: the id its records carry.
    quint64 requestId = 0;
    // How long the request waits for its reply; set when queued (the queue's table for the
    // kind and line speed unless the caller set one).
    int replyTimeoutMs = -1;
    // The queue chose the time-out from its table; it follows a change of line speed.
    bool replyTimeoutFromTable = false;
    // The model choice the request was made for (0: none in particular); a reply speaks
    // for the model only if this is the current one.
    quint32 modelGeneration = 0;
    // Sent again and again while a panel detects or polls; set by the queue from the kind.
    bool polling = false;
};

Q_DECLARE_METATYPE(Sender *)
