#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QGridLayout;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

class Sender;
class Session;

// The switch inputs panel: one lamp per input and the detection that keeps them
// following the module ("Start detecting" / "Stop detecting").
class SwitchInputsPanel : public QObject
{
    Q_OBJECT

public:
    // The form's widgets the panel adopts: its frame, the layout its grid goes in, the
    // label that shows the frame last sent and the detection button.
    struct Widgets
    {
        QWidget *panel = nullptr;
        QVBoxLayout *layout = nullptr;
        QLabel *frameLabel = nullptr;
        QPushButton *detectButton = nullptr;
    };

    SwitchInputsPanel(Session *session, const Widgets &widgets, QObject *parent = nullptr);

    // One lamp per input; a count below 0 hides the panel and ends detection.
    void build(int count);
    int count() const { return inputs; }
    const QList<QPushButton *> &buttons() const { return inputButtons; }

    bool detecting() const;
    // Starts detection afresh (a detection that was on is withdrawn first).
    void restartDetection();
    // What the detection button does: starts detection, or ends it.
    void toggleDetection();

    // Greys the lamps: the states are not known now.
    void showUnknown();
    // Re-reads the stored channel names into the lamps.
    void refreshNames();

public slots:
    // A detection reply, decoded to one token per input ("1 0 1 …").
    void showStates(const QString &bits);

signals:
    void request(Sender *sender);
    // Withdraws the queued requests of a kind.
    void withdraw(const QString &kind);
    // A reply showed the module's inputs: the window may drop its "No reply".
    void statesConfirmed();

private:
    void paint(int index, bool on);

    Session *session;
    Widgets form;
    QList<QPushButton *> inputButtons;
    QGridLayout *grid = nullptr;
    int inputs = -1;
};
