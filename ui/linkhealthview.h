#pragma once

#include "protocol/linkhealth.h"

#include <QWidget>

class QLabel;
class QToolButton;

// The status bar's account of the link: where it goes, to which module, and how the
// module has been answering.
class LinkHealthView : public QWidget
{
    Q_OBJECT

public:
    explicit LinkHealthView(QWidget *parent = nullptr);

    void setEndpoint(const QString &endpoint);
    void setDeviceAddress(int address);
    void setModel(const QString &model);
    void setHealth(const LinkHealth &health);
    // Seconds to the next connection attempt; 0 when none is pending.
    void setReconnecting(int seconds);
    // Refreshes the time since the last good reply.
    void tick();

    const LinkHealth &health() const { return m_health; }

signals:
    void resetRequested();

private:
    void showCounters();

    QLabel *endpointLabel = nullptr;
    QLabel *addressLabel = nullptr;
    QLabel *modelLabel = nullptr;
    QLabel *ageLabel = nullptr;
    QLabel *countersLabel = nullptr;
    QLabel *timesLabel = nullptr;
    QToolButton *resetButton = nullptr;
    LinkHealth m_health;
    QString endpoint;
    int reconnectSeconds = 0;
};
