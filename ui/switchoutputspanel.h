#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

class Session;
class Sender;

// The switch outputs panel: one button per relay, switched one at a time or as a
// single choice, all open and all close, and the "Check Status" poll that keeps the
// buttons showing what the module really does.
class SwitchOutputsPanel : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPollMs = 500;

    // The form's widgets the panel adopts: its frame, the layout its grid goes in and
    // the label that shows the frame last sent.
    struct Widgets
    {
        QWidget *panel = nullptr;
        QVBoxLayout *layout = nullptr;
        QLabel *frameLabel = nullptr;
    };

    SwitchOutputsPanel(Session *session, const Widgets &widgets, QObject *parent = nullptr);

    // One button per output and their states asked for; a count below 0 hides the panel.
    void build(int count);
    int count() const { return outputs; }
    const QList<QPushButton *> &buttons() const { return outputButtons; }
    // The states the panel believes the module holds (1 on, 0 off), one per output.
    QVector<int> states() const { return known; }

    void startPolling(int intervalMs = kPollMs);
    void stopPolling() { pollTimer.stop(); }
    bool polling() const { return pollTimer.isActive(); }
    int pollInterval() const { return pollTimer.interval(); }

    // Greys the buttons: the states are not known now.
    void showUnknown();
    // Re-reads the stored channel names into the buttons.
    void refreshNames();

    // Single choice: a click switches that output on and every other off.
    void setSingleChoice(bool on);
    bool singleChoice() const { return single; }
    // All open (on) or all close; a single choice turned on closes all first.
    void switchAll(bool on);

public slots:
    // Asks the module for the outputs' states ("Check Status"), if a link is up.
    void poll();
    // A "Check Status" reply: the channels it covers take its states.
    void showStates(const QString &reply);
    // The module acknowledged switching one output (or a single choice).
    void showSwitched(int index);
    // The module acknowledged all open (1) or all close (0).
    void showAll(int status);

signals:
    void request(Sender *sender);
    // A reply showed the module's states: the window may drop its "No reply".
    void statesConfirmed();

private:
    void clicked();
    void paint(int index, bool on);
    void send(const QString &kind, const QString &frame);

    Session *session;
    Widgets form;
    QList<QPushButton *> outputButtons;
    QGridLayout *grid = nullptr;
    QVector<int> known;
    QTimer pollTimer;
    int outputs = -1;
    bool single = false;
};
