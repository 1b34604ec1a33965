#pragma once

#include "link/session.h"
#include "protocol/sender.h"

#include <QString>

// A panel's request is made for the chosen model: its reply speaks for that model.
inline Sender *panelRequest(const Session &session, const QString &kind, const QString &frame)
{
    auto *sender = new Sender(kind, frame);
    sender->modelGeneration = session.modelGeneration();
    return sender;
}
