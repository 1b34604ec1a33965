#pragma once

#include <QMetaType>
#include <QtGlobal>

// What the operator needs to judge the link: requests and what became of them, and
// how long the module took to answer.
struct LinkHealth
{
    quint64 sent = 0;        // requests handed to an open link
    quint64 accepted = 0;    // replies that answered the request on the wire
    quint64 timeouts = 0;    // requests the module left unanswered
    quint64 badCrc = 0;      // replies with a wrong CRC
    quint64 unmatched = 0;   // well-formed replies that answered nothing asked
    quint64 garbage = 0;     // runs of bytes that were no frame
    quint64 exceptions = 0;  // exception replies
    int consecutiveTimeouts = 0;
    qint64 lastMs = -1;      // response time of the last accepted reply; -1 before any
    qint64 maxMs = 0;
    qint64 totalMs = 0;      // over the accepted replies, for the mean
    qint64 lastReplyAt = -1; // QDateTime::currentMSecsSinceEpoch() of the last good reply

    quint64 badFrames() const { return badCrc + unmatched + garbage; }
    double meanMs() const { return accepted ? double(totalMs) / double(accepted) : 0.0; }
    void recordReply(qint64 elapsedMs, qint64 now)
    {
        ++accepted;
        consecutiveTimeouts = 0;
        lastMs = elapsedMs;
        maxMs = qMax(maxMs, elapsedMs);
        totalMs += elapsedMs;
        lastReplyAt = now;
    }
};

Q_DECLARE_METATYPE(LinkHealth)
