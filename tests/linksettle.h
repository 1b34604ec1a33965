#pragma once

#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/mainwindow.h"

#include <QMetaObject>

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
