#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT, SIGTERM and SIGHUP (on Windows the console's Ctrl-C, Ctrl-Break and
// close) into a signal in the event loop, so a headless command can end as a cancel
// does. A second interrupt ends the process at once with `exitStatus`.
class Interrupts : public QObject
{
    Q_OBJECT

public:
    explicit Interrupts(int exitStatus, QObject *parent = nullptr);
    ~Interrupts() override;

signals:
    void interrupted(int signalNumber);

private:
    void deliver(int signalNumber);

    QSocketNotifier *notifier = nullptr;
};
