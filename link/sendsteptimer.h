#pragma once

#include <QObject>

#include <chrono>

class QSocketNotifier;
class QTimer;

// A single-shot timer for the pause between a reply and the next request. The kernel wakes
// an idle thread a tenth of a millisecond or more late, and Qt's own timers round up to
// whole milliseconds; this one wakes shortly before the deadline and waits out the rest,
// so the request leaves as close to the pause's end as the machine allows, never before.
class SendStepTimer : public QObject
{
    Q_OBJECT

public:
    explicit SendStepTimer(std::chrono::microseconds interval, QObject *parent = nullptr);
    ~SendStepTimer() override;

    // (Re)starts the pause: one timeout() after the interval, counted from now.
    void start();
    void stop();
    // Takes effect at the next start().
    void setInterval(std::chrono::microseconds interval);
    bool isActive() const { return active; }

signals:
    void timeout();

private:
    void wake();
    void finish();

    std::chrono::microseconds step;
    std::chrono::steady_clock::time_point deadline;
    bool active = false;
    int timerFd = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer *fallback = nullptr;
};
