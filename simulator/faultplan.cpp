#include "simulator/faultplan.h"

namespace MeroviSim {

namespace {

constexpr quint32 kDefaultSeed = 0x4D45524F;

} // namespace

QString FaultCounts::line() const
{
    return QStringLiteral("faults: requests=%1 clean=%2 exceptions=%3 dropped=%4 muted=%5 corrupted=%6 "
                          "garbage=%7 delayed=%8 split=%9 disconnects=%10 ignored=%11")
        .arg(requests)
        .arg(clean)
        .arg(exceptions)
        .arg(dropped)
        .arg(muted)
        .arg(corrupted)
        .arg(garbage)
        .arg(delayed)
        .arg(split)
        .arg(disconnects)
        .arg(ignored);
}

FaultPlan::FaultPlan() : m_random(kDefaultSeed) {}

void FaultPlan::setDropPercent(int percent) { m_dropPercent = qBound(0, percent, 100); }
void FaultPlan::setDelayMs(int ms) { m_delayMs = qMax(0, ms); }
void FaultPlan::setGarbagePercent(int percent) { m_garbagePercent = qBound(0, percent, 100); }
void FaultPlan::setSplit(bool on) { m_split = on; }
void FaultPlan::setCorruptCrcPercent(int percent) { m_corruptPercent = qBound(0, percent, 100); }
void FaultPlan::setExceptionPercent(int percent) { m_exceptionPercent = qBound(0, percent, 100); }
void FaultPlan::setDisconnectAfter(int requests) { m_disconnectAfter = qMax(0, requests); }
void FaultPlan::setRestartDelayMs(int ms) { m_restartDelayMs = qMax(0, ms); }
void FaultPlan::setSeed(quint32 seed) { m_random.seed(seed); }

bool FaultPlan::chance(int percent)
{
    return percent > 0 && int(m_random.bounded(100)) < percent;
}

bool FaultPlan::dropRequest()
{
    ++m_counts.requests;
    if (!chance(m_dropPercent))
        return false;
    ++m_counts.dropped;
    return true;
}

void FaultPlan::muteRequest()
{
    ++m_counts.requests;
    ++m_counts.muted;
}

bool FaultPlan::injectException()
{
    return chance(m_exceptionPercent);
}

QString FaultPlan::spoil(QByteArray *frame, bool rtu, bool exception)
{
    QString notes;
    bool spoilt = false;
    if (chance(m_corruptPercent)) {
        if (rtu) {
            (*frame)[frame->size() - 1] = char(frame->at(frame->size() - 1) ^ 0xFF);
            (*frame)[frame->size() - 2] = char(frame->at(frame->size() - 2) ^ 0x5A);
            notes += QStringLiteral(" [CRC corrupted]");
        } else {
            (*frame)[3] = char(frame->at(3) ^ 0x01); // protocol identifier no longer 0
            notes += QStringLiteral(" [protocol id corrupted]");
        }
        ++m_counts.corrupted;
        spoilt = true;
    }
    if (chance(m_garbagePercent)) {
        QByteArray garbage;
        const int count = int(m_random.bounded(1, 7));
        for (int i = 0; i < count; ++i)
            garbage.append(char(m_random.bounded(256)));
        const bool before = m_random.bounded(2) == 0;
        if (before)
            frame->prepend(garbage);
        else
            frame->append(garbage);
        notes += QStringLiteral(" [garbage %1 %2]")
                     .arg(before ? QStringLiteral("before:") : QStringLiteral("after:"))
                     .arg(QString::fromLatin1(garbage.toHex(' ')));
        ++m_counts.garbage;
        spoilt = true;
    }
    if (m_delayMs > 0) {
        notes += QStringLiteral(" [delay %1 ms]").arg(m_delayMs);
        ++m_counts.delayed;
        spoilt = true;
    }
    if (m_split) {
        notes += QStringLiteral(" [split]");
        ++m_counts.split;
        spoilt = true;
    }
    if (exception)
        ++m_counts.exceptions;
    else if (!spoilt)
        ++m_counts.clean;
    return notes;
}

} // namespace MeroviSim
