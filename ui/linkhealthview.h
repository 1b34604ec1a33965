#pragma once

#include "protocol/linkhealth.h"

#include <QTimer>
#include <QWidget>

class ElidedLabel;
class QToolButton;

// The status bar's account of the link: where it goes, to which module, and how the
// module has been answering. When the bar is too narrow the fields give up room in a
// fixed order, cut with "…" and whole in their tool tips: first the model, then the
// address, the time since the last reply, the response times, the counters, and the
// link itself last; the Reset button is never cut.
class LinkHealthView : public QWidget
{
    Q_OBJECT

public:
    // The counters move with every exchange; they are redrawn at most this often, the
    // newest last.
    static constexpr int kRefreshMs = 250;

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

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

signals:
    void resetRequested();

private:
    void showCounters();
    void setField(ElidedLabel *label, const QString &text);
    // Places the fields, cutting them by priority when the room is short.
    void arrange();
    // The fields in the order they give up room, the first first.
    QList<ElidedLabel *> fieldsByPriority() const;

    ElidedLabel *endpointLabel = nullptr;
    ElidedLabel *addressLabel = nullptr;
    ElidedLabel *modelLabel = nullptr;
    ElidedLabel *ageLabel = nullptr;
    ElidedLabel *countersLabel = nullptr;
    ElidedLabel *timesLabel = nullptr;
    QToolButton *resetButton = nullptr;
    LinkHealth m_health;
    QString endpoint;
    int reconnectSeconds = 0;
    QTimer refreshTimer;
    bool stale = false;
};
