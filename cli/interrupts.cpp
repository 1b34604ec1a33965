#include "cli/interrupts.h"

#include <QSocketNotifier>

#include <atomic>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

std::atomic<int> interrupts{ 0 };
int exitStatusOnSecond = 1;
Interrupts *instance = nullptr;

#ifdef Q_OS_WIN

BOOL WINAPI consoleHandler(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (interrupts.fetch_add(1) >= 1)
        ExitProcess(UINT(exitStatusOnSecond));
    // The handler runs in a thread of its own; the event loop takes it from here.
    QMetaObject::invokeMethod(instance, "interrupted", Qt::QueuedConnection, Q_ARG(int, int(event)));
    return TRUE;
}

#else

const int kSignals[] = { SIGINT, SIGTERM, SIGHUP };
int pipeEnds[2] = { -1, -1 };

void handler(int signalNumber)
{
    if (interrupts.fetch_add(1) >= 1)
        _exit(exitStatusOnSecond);
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = write(pipeEnds[1], &byte, 1);
}

#endif

} // namespace

Interrupts::Interrupts(int exitStatus, QObject *parent)
    : QObject(parent)
{
    instance = this;
    exitStatusOnSecond = exitStatus;
    interrupts = 0;
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(consoleHandler, TRUE);
#else
    if (pipe(pipeEnds) != 0)
        return;
    for (int end : pipeEnds) {
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
        fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this]() {
        unsigned char byte = 0;
        while (read(pipeEnds[0], &byte, 1) == 1)
            deliver(byte);
    });
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kSignals)
        sigaction(signalNumber, &action, nullptr);
#endif
}

Interrupts::~Interrupts()
{
#ifdef Q_OS_WIN
    SetConsoleCtrlHandler(consoleHandler, FALSE);
#else
    for (int signalNumber : kSignals)
        signal(signalNumber, SIG_DFL);
    delete notifier;
    for (int &end : pipeEnds) {
        if (end >= 0)
            close(end);
        end = -1;
    }
#endif
    instance = nullptr;
}

void Interrupts::deliver(int signalNumber)
{
    emit interrupted(signalNumber);
}
