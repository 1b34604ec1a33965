#pragma once

#include "link/session.h"
#include "protocol/linkevents.h"

#include <QByteArray>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QThread>
#include <QTimer>

class QAction;
class QCloseEvent;
class QEvent;
class QLabel;
class QMenu;

class AnalogInputsPanel;
class AnalogOutputsPanel;
class FindFlow;
class LinkControlsPanel;
class LinkHealthView;
class ModuleCheck;
class ModuleCheckFlow;
class NameSetting;
class NetworkWindow;
class NoModelHint;
class OutputLog;
class Sender;
class SwitchInputsPanel;
class SwitchOutputsPanel;
class TerminalPanel;
class ThreadAdministrator;
class ThreadSerialport;
class TrafficViews;
struct FoundModule;
struct LinkHealth;
struct ModelEntry;

namespace Ui {
class MainWindow;
}

// The tool's window: a shell that builds the panels over the form, the menus, the
// toolbar and the status bar, and wires them to the session and to the link it owns in a
// worker thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Adds a device path (a pseudo-terminal, say) to the ports the link offers.
    void addSerialPortPath(const QString &path);
    // Shows the window as the operator left it last time, or maximised the first time.
    void showAsLeft();

    // The link's state, the device address and the model: every panel and dialog asks it.
    Session *session() const { return linkSession; }
    // The link to the module; it lives in the window's worker thread.
    ThreadSerialport *link() const { return serialLink; }
    LinkControlsPanel *linkControls() const { return linkPanel; }
    SwitchOutputsPanel *switchOutputs() const { return outputsPanel; }
    SwitchInputsPanel *switchInputs() const { return inputsPanel; }
    AnalogOutputsPanel *analogOutputs() const { return analogOutputsPanel; }
    AnalogInputsPanel *analogInputs() const { return analogInputsPanel; }
    TerminalPanel *terminal() const { return terminalPanel; }
    OutputLog *outputLog() const;
    // The View menu's traffic table, trend, input changes and recording.
    TrafficViews *trafficViews() const { return views; }
    // The module check, sharing the queue with the panels while it runs.
    ModuleCheck *moduleCheck() const;
    // A menu or toolbar action by its object name ("moduleCheckAction", "action_reboot"…).
    QAction *action(const QString &objectName) const;
    // The model menus' action for a catalogue row.
    QAction *modelAction(int index) const { return modelActions.value(index); }

signals:
    void windowClose();
    void write(Sender *sender);
    void sendersClear(QString key);
    // Relays the module's network block (decoded) to the network window.
    void netWorkProcessing(QString data);
    void resetLinkHealth();
    // A request of `kind` ended: answered (accepted) or not, with the queue's reason.
    void requestEnded(QString kind, bool accepted, QString reason);

public slots:
    // The form's buttons and boxes, by name.
    void on_switchBt_clicked();
    void on_sendBt_clicked();
    void on_sendBtClear_clicked();
    void on_recvTextClear_clicked();
    void on_checkBox_out_2_stateChanged(int arg1);
    void on_checkBox_out_3_stateChanged(int arg1);
    void on_checkBox_timeSend_stateChanged(int arg1);
    void on_lineEdit_textEdited(QString arg1);
    void on_pushButton_allOpen_clicked();
    void on_pushButton_allClose_clicked();
    void on_checkBox_out_stateChanged(int arg1);
    void on_pushButton_check_clicked();
    void on_pushButton_check_analog_in_clicked();
    // Asks first, then restarts the module.
    void slotReBoot();
    void slotChangeTime();
    // What the link reports.
    void identify_deviceType(int code);
    void slotLinkHealthChanged(const LinkHealth &health);
    // Re-reads the stored channel names into the switch buttons.
    void refreshChannelNames();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildPanels();
    void initWindow();
    void createActions();
    void createMenus();
    void createToolBar();
    void initLink();
    // The hint in the panel area while connected without a model (ui/nomodelhint.*).
    void initNoModelHint();
    void initFlows();
    void connectQueue(ThreadAdministrator *queue);
    void restoreWindowLayout();
    void fitDescription();
    void log(const QString &text, const QColor &color);

    // The model menus and what the chosen model shows.
    void selectModel(int index);
    const ModelEntry *chosenModel() const;
    void setProductControlsEnabled(bool enabled);
    void linkUp();
    void useFoundModule(const FoundModule &module);

    // The panels show states the module has not confirmed lately as unknown.
    void showStatesUnknown(bool noReply);
    void showStatesConfirmed();
    void showTcpState();
    void showLinkChange(LinkKind link);
    void showModelStatus(Session::ModelStatus status);
    void showDeviceAddress(int address);

    // The settings windows and the requests that need no window of their own.
    void openHelp();
    void askCommunicationTimeout();
    void showCommunicationTimeout(const QString &data);
    void openNetworkWindow();
    void openNameSetting();

    Ui::MainWindow *ui = nullptr;
    Session *linkSession = nullptr;
    ThreadSerialport *serialLink = nullptr;
    QThread serialThread;
    LinkControlsPanel *linkPanel = nullptr;
    SwitchOutputsPanel *outputsPanel = nullptr;
    SwitchInputsPanel *inputsPanel = nullptr;
    AnalogOutputsPanel *analogOutputsPanel = nullptr;
    AnalogInputsPanel *analogInputsPanel = nullptr;
    TerminalPanel *terminalPanel = nullptr;
    TrafficViews *views = nullptr;
    ModuleCheckFlow *checkFlow = nullptr;
    FindFlow *findFlow = nullptr;
    LinkHealthView *linkHealthView = nullptr;
    NoModelHint *noModelHint = nullptr;

    QMenu *switchModelMenu = nullptr;
    QMenu *analogModelMenu = nullptr;
    QList<QAction *> modelActions;
    QLabel *clockLabel = nullptr;
    QLabel *addressTipLabel = nullptr;
    QTimer clockTimer;

    QPointer<NameSetting> nameSetting;
    QPointer<NetworkWindow> networkWindow;

    bool statesUnknown = false;
    bool geometryRestored = false;
    // Geometry and splitter state just after the window was first shown.
    QList<QByteArray> layoutAtShow;
};
