#pragma once

#include "link/session.h"

#include <QColor>
#include <QObject>
#include <QString>

#include <functional>

class QLabel;

// One line for the state of the link at a glance ("TCP 127.0.0.1:502 — connected",
// "Serial /dev/ttyUSB0 9600 8N1 — open"), and a log line for each change an operator
// should know of: connected, lost, reconnected, serial port opened or closed, model chosen.
class ConnectionStatus : public QObject
{
    Q_OBJECT

public:
    // `endpoint` names where a link goes as the window's fields say ("127.0.0.1:502").
    ConnectionStatus(const Session *session, QLabel *label,
                     std::function<QString(LinkKind)> endpoint, QObject *parent = nullptr);

    QString text() const;

signals:
    void logLine(const QString &text, const QColor &color);

private:
    void show();
    void serialChanged();
    void tcpChanged();
    void modelChanged(int index);

    const Session *session;
    QLabel *label;
    std::function<QString(LinkKind)> endpoint;
    bool serialWasOpen = false;
    bool tcpWasConnected = false;
    // The connection was up once and went away: the next one is a reconnection.
    bool tcpLost = false;
};
