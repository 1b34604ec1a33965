#pragma once

#include "protocol/linkevents.h"

#include <QObject>
#include <QString>

class QAction;
class QColor;
class QProgressDialog;
class QWidget;

class AnalogInputsPanel;
class LinkControlsPanel;
class ModuleCheck;
class Sender;
class Session;
class SwitchInputsPanel;
class SwitchOutputsPanel;
class ThreadAdministrator;
class ThreadSerialport;
struct CheckRun;

// The window's module check: asks first, pauses the panels' polling, shows the progress,
// and on the end resumes what it paused, logs the verdict and opens the report. Keeps
// the identity the module announced on the link in use, so the check need not ask again.
class ModuleCheckFlow : public QObject
{
    Q_OBJECT

public:
    // The panels whose polling the check pauses.
    struct Panels
    {
        SwitchOutputsPanel *outputs = nullptr;
        SwitchInputsPanel *inputs = nullptr;
        AnalogInputsPanel *analogInputs = nullptr;
        LinkControlsPanel *link = nullptr;
    };

    ModuleCheckFlow(Session *session, ThreadSerialport *link, const Panels &panels,
                    QAction *action, QWidget *window);

    ModuleCheck *check() const { return moduleCheck; }
    bool running() const;
    // Wires the check to the request queue (in the link's thread, as it creates the queue).
    void connectQueue(ThreadAdministrator *queue);
    // What a search heard on a link is that link's identity.
    void setIdentity(int typeCode, int address, LinkKind link);
    // The operator closed the serial port: an identity heard on it is gone.
    void serialClosed();

    // Asks whether to check the module of the chosen model, then checks it.
    void ask();
    void start(int modelIndex);

signals:
    void request(Sender *sender);
    void withdraw(const QString &kind);
    void logLine(const QString &text, const QColor &color);

private:
    void finished(const CheckRun &run);
    void forgetIdentity(LinkKind gone);

    struct Pause
    {
        bool outputPolling = false;
        int pollInterval = 0;
        bool inputDetection = false;
        bool analogDetection = false;
    } pause;
    Session *session;
    Panels panels;
    QAction *action;
    QWidget *window;
    ModuleCheck *moduleCheck = nullptr;
    QProgressDialog *progress = nullptr;
    int identifiedType = -1;
    int identifiedAddress = -1;
    LinkKind identifiedLink = LinkKind::None; // the link the identity was heard on
};
