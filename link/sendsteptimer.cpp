#include "link/sendsteptimer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

// How early the thread is woken, to wait out the rest of the pause on the processor. Each
// microsecond of it is spent busy in every exchange, so it covers a short wake-up only; a
// later wake-up lengthens the 20 ms pause by a fraction of a percent.
constexpr std::chrono::microseconds kWakeEarly{50};

} // namespace

SendStepTimer::SendStepTimer(std::chrono::microseconds interval, QObject *parent)
    : QObject(parent), step(interval)
{
#ifdef Q_OS_LINUX
    // A timerfd runs on the kernel's high-resolution clock, steady_clock's own.
    timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd >= 0) {
        notifier = new QSocketNotifier(timerFd, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &SendStepTimer::wake);
        return;
    }
#endif
    fallback = new QTimer(this);
    fallback->setSingleShot(true);
    fallback->setTimerType(Qt::PreciseTimer);
    fallback->setInterval(int(std::chrono::ceil<std::chrono::milliseconds>(step).count()));
    connect(fallback, &QTimer::timeout, this, &SendStepTimer::finish);
}

SendStepTimer::~SendStepTimer()
{
#ifdef Q_OS_LINUX
    if (timerFd >= 0) {
        delete notifier;
        ::close(timerFd);
    }
#endif
}

void SendStepTimer::setInterval(std::chrono::microseconds interval)
{
    step = interval;
    if (fallback)
        fallback->setInterval(int(std::chrono::ceil<std::chrono::milliseconds>(step).count()));
}

void SendStepTimer::start()
{
    deadline = Clock::now() + step;
    active = true;
    if (fallback) {
        fallback->start();
        return;
    }
#ifdef Q_OS_LINUX
    const auto wakeAt = (deadline - kWakeEarly).time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wakeAt);
    itimerspec spec{};
    spec.it_value.tv_sec = seconds.count();
    spec.it_value.tv_nsec = long(std::chrono::duration_cast<std::chrono::nanoseconds>(wakeAt - seconds).count());
    timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
#endif
}

void SendStepTimer::stop()
{
    active = false;
    if (fallback) {
        fallback->stop();
        return;
    }
#ifdef Q_OS_LINUX
    const itimerspec disarm{};
    timerfd_settime(timerFd, 0, &disarm, nullptr);
#endif
}

void SendStepTimer::wake()
{
#ifdef Q_OS_LINUX
    std::uint64_t expirations = 0;
    // Re-arming clears an expiry that was already signalled: then there is nothing to read.
    if (::read(timerFd, &expirations, sizeof expirations) != sizeof expirations || !active)
        return;
    // The rest of the pause is shorter than a wake-up would take: wait it out here.
    while (Clock::now() < deadline) {
    }
    finish();
#endif
}

void SendStepTimer::finish()
{
    if (!active)
        return;
    active = false;
    emit timeout();
}
