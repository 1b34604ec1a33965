#pragma once

// What the bench programs share: waiting without spinning, the process's CPU time and
// memory, and a window told 127.0.0.1 before its event loop runs.
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/mainwindow.h"
#include "ui/outputlog.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTcpServer>
#include <QTimer>

#include <sys/resource.h>

#include <functional>

// Runs the event loop for a while without spinning, so the process CPU time is the tool's.
inline void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

inline bool waitFor(const std::function<bool()> &condition, int ms = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > ms)
            return false;
        wait(5);
    }
    return true;
}

inline double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A figure of /proc/self/status in kB ("VmRSS:", "VmHWM:"), or -1.
inline qint64 statusKb(const char *field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

inline qint64 residentKb()
{
    return statusKb("VmRSS:");
}

inline quint16 freeLocalPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// A window as the operator would have it, told 127.0.0.1 before its event loop runs.
inline MainWindow *newWindow(quint16 port)
{
    auto *window = new MainWindow;
    auto *ip = window->findChild<QLineEdit *>(QStringLiteral("lineEdit_localFarIP"));
    {
        const QSignalBlocker blocker(ip);
        ip->setText(QStringLiteral("127.0.0.1"));
    }
    window->findChild<QLineEdit *>(QStringLiteral("lineEdit_localfarPortNumber"))->setText(QString::number(port));
    return window;
}

inline ThreadAdministrator *queueOf(MainWindow *window)
{
    ThreadSerialport *link = window->link();
    ThreadAdministrator *queue = nullptr;
    waitFor([&]() {
        QMetaObject::invokeMethod(link, [link]() { return link->threadAdministrator; },
                                  Qt::BlockingQueuedConnection, &queue);
        return queue != nullptr;
    });
    return queue;
}
