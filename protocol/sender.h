#pragma once

#include <QMetaType>
#include <QString>

// One queued request to the module: its kind, which pairs the reply with it,
// and the frame as hex text without CRC. Owned by the queue once handed over.
class Sender
{
public:
    Sender(const QString &kind, const QString &data)
        : kind(kind), data(data)
    {
    }

    QString kind;
    QString data;
};

Q_DECLARE_METATYPE(Sender *)
