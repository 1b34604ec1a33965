#pragma once

#include <QObject>
#include <QString>

class QAction;
class QColor;
class QProgressDialog;
class QWidget;

class AnalogInputsPanel;
class FindModuleDialog;
class LinkControlsPanel;
class ModuleFinder;
class Session;
class SwitchInputsPanel;
class SwitchOutputsPanel;
class ThreadSerialport;
struct FoundModule;

// The window's search for modules: on the chosen serial port (the link lends it for the
// search) or at the remote address, with polling paused meanwhile; the modules found are
// listed, and the one the operator picks becomes the window's link.
class FindFlow : public QObject
{
    Q_OBJECT

public:
    struct Panels
    {
        SwitchOutputsPanel *outputs = nullptr;
        SwitchInputsPanel *inputs = nullptr;
        AnalogInputsPanel *analogInputs = nullptr;
        LinkControlsPanel *link = nullptr;
    };

    FindFlow(Session *session, ThreadSerialport *link, const Panels &panels, QAction *action,
             QWidget *window);

    // Searches the chosen serial port, or the remote address, for modules.
    void start();

signals:
    void logLine(const QString &text, const QColor &color);
    // The operator chose a module found: the window takes its address, model and link.
    void useRequested(const FoundModule &module);

private:
    void finish(int outcome);

    // What the search paused, to resume it after.
    struct Pause
    {
        bool serialWasOpen = false;
        bool pollWasActive = false;
        bool inputDetecting = false;
        bool analogDetecting = false;
    } pause;
    Session *session;
    ThreadSerialport *link;
    Panels panels;
    QAction *action;
    QWidget *window;
    ModuleFinder *finder = nullptr;
    QProgressDialog *progress = nullptr;
    FindModuleDialog *dialog = nullptr;
};
