#pragma once

#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/mainwindow.h"

#include <QHostAddress>
#include <QLineEdit>
#include <QMetaObject>
#include <QSignalBlocker>
#include <QTcpServer>

// Main windows for tests. A window tries to connect on its own half a second after
// start, so its remote address must be on this machine before the event loop runs.

// A port of 127.0.0.1 that nothing listens on: a connection attempt there fails.
inline quint16 closedLocalPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Waits until the link has wired the window to the request queue and the queue
// has taken every request handed to it, so no request is left without an owner.
inline void settleLink(MainWindow *window)
{
    ThreadSerialport *link = window->threadSerialport;
    ThreadAdministrator *queue = nullptr;
    QMetaObject::invokeMethod(link, [link, &queue]() { queue = link->threadAdministrator; },
                              Qt::BlockingQueuedConnection);
    if (queue)
        QMetaObject::invokeMethod(queue, []() {}, Qt::BlockingQueuedConnection);
}

// A main window whose remote address is 127.0.0.1 and the given port (by default
// a closed one), so it never reaches anything but this machine; its link is wired,
// so every request it hands over from now on has an owner.
inline MainWindow *newLoopbackWindow(quint16 port = 0)
{
    auto *window = new MainWindow;
    auto *ip = window->findChild<QLineEdit *>(QStringLiteral("lineEdit_localFarIP"));
    {
        const QSignalBlocker blocker(ip);
        ip->setText(QStringLiteral("127.0.0.1"));
    }
    window->findChild<QLineEdit *>(QStringLiteral("lineEdit_localfarPortNumber"))
            ->setText(QString::number(port ? port : closedLocalPort()));
    settleLink(window);
    return window;
}
