#pragma once

#include <QByteArray>
#include <QRandomGenerator>
#include <QString>

namespace MeroviSim {

// What the simulator did with the requests it received, as the line
// "faults: requests=N clean=N exceptions=N dropped=N muted=N corrupted=N garbage=N
// delayed=N split=N disconnects=N ignored=N" (see simulator/README.md).
struct FaultCounts {
    int requests = 0;    // requests for this module that want an answer (identification too)
    int clean = 0;       // answered whole, on time, unspoilt, and not with an exception
    int exceptions = 0;  // answered with an exception reply (bad request or --exception)
    int dropped = 0;     // lost by --drop: not executed, no reply
    int muted = 0;       // not answered while restarting (--restart-delay-ms)
    int corrupted = 0;   // reply spoilt by --corrupt-crc
    int garbage = 0;     // reply with stray bytes (--garbage)
    int delayed = 0;     // reply written late (--delay-ms)
    int split = 0;       // reply written in pieces (--split)
    int disconnects = 0; // TCP connections closed by --disconnect-after
    int ignored = 0;     // frames not answered by design: other unit, bad CRC, noise,
                         // wrong baud rate, identification with --no-identify

    QString line() const;
    bool operator==(const FaultCounts &other) const { return line() == other.line(); }
};

// The faults injected on the way between the module and the tool, decided by a seeded
// random generator so that a run can be repeated, and counted.
class FaultPlan
{
public:
    FaultPlan();

    void setDropPercent(int percent);
    void setDelayMs(int ms);
    void setGarbagePercent(int percent);
    void setSplit(bool on);
    void setCorruptCrcPercent(int percent);
    void setExceptionPercent(int percent);
    void setDisconnectAfter(int requests);
    void setRestartDelayMs(int ms);
    void setSeed(quint32 seed);
    int delayMs() const { return m_delayMs; }
    bool split() const { return m_split; }
    int disconnectAfter() const { return m_disconnectAfter; }
    int restartDelayMs() const { return m_restartDelayMs; }

    // Each decision for one request; the counts follow.
    bool dropRequest();                // counts the request, and dropped if so
    void muteRequest();                // counts the request as muted
    bool injectException();            // true: answer exception 04 instead
    // Spoils a reply frame (rtu: CRC, else the MBAP protocol identifier), adds delay and
    // split, and counts it; returns notes for the log.
    QString spoil(QByteArray *frame, bool rtu, bool exception);
    quint32 nextSplitSeed() { return m_random.generate(); }
    void countIgnored() { ++m_counts.ignored; }
    void countDisconnect() { ++m_counts.disconnects; }
    void countRequest() { ++m_counts.requests; }

    const FaultCounts &counts() const { return m_counts; }

private:
    bool chance(int percent);

    int m_dropPercent = 0;
    int m_delayMs = 0;
    int m_garbagePercent = 0;
    bool m_split = false;
    int m_corruptPercent = 0;
    int m_exceptionPercent = 0;
    int m_disconnectAfter = 0;
    int m_restartDelayMs = 0;
    QRandomGenerator m_random;
    FaultCounts m_counts;
};

} // namespace MeroviSim
