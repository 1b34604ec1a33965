#pragma once

#include "link/session.h"
#include "protocol/linkevents.h"
#include "protocol/sender.h"
#include "ui/outputlog.h"

#include <QColor>
#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QTimer>

class QAction;
class QCheckBox;
class QCloseEvent;
class QEvent;
class QGridLayout;
class QKeyEvent;
class QLabel;
class QMenu;
class QPushButton;
class QWidget;

class ThreadAdministrator;
class ThreadSerialport;
struct AnalogOutputRow;
class NameSetting;
class CommunicationTimeout;
class NetworkWindow;
class HelpWidget;
class LinkHealthView;
class NoModelHint;
class TrafficViews;
class SwitchOutputsPanel;
class SwitchInputsPanel;
class AnalogInputsPanel;
struct LinkHealth;
class FindModuleDialog;
class ModuleFinder;
class QProgressDialog;
struct FoundModule;
class ModuleCheck;
struct CheckRun;

namespace Ui {
class MainWindow;
}

// The tool's window: connection controls, model menus, device panels and the
// send/receive terminal; owns the link to the module in a worker thread.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Adds a device path (a pseudo-terminal, say) to the ports the link offers.
    void addSerialPortPath(const QString &path);

    void setProductControlsEnabled(bool enabled);
    void buildPanels();
    void buildAnalogOutputPanel(int count, const QString &unit);
    void readAnalogOutputs();
    bool handleAnalogOutputKey(QObject *watched, QKeyEvent *event);
    // Shows the window as the operator left it last time, or maximised the first time.
    void showAsLeft();
    // The address the module announced (two hex digits) becomes the window's address.
    void showIdentifiedAddress(const QString &address);

    // The link's state, the device address and the model: every panel and dialog asks it.
    Session *session() const { return linkSession; }
    SwitchOutputsPanel *switchOutputs() const { return outputsPanel; }
    SwitchInputsPanel *switchInputs() const { return inputsPanel; }
    AnalogInputsPanel *analogInputs() const { return analogInputsPanel; }

    // Channel counts of the chosen model, -1 for a kind it lacks.
    int outputCount = -1;
    int inputCount = -1;
    int voltageOutputCount = -1;
    int currentOutputCount = -1;
    int voltageInputCount = -1;
    int currentInputCount = -1;

    ThreadSerialport *threadSerialport = nullptr;
    QThread serialThread;

    // Timers and toolbar.
    QTimer sendTimer;
    QTimer clockTimer;
    QLabel *clockLabel = nullptr;
    QLabel *addressTipLabel = nullptr;

    // Menus and actions.
    QMenu *switchModelMenu = nullptr;
    QMenu *analogModelMenu = nullptr;
    QMenu *helpMenu = nullptr;
    QAction *helpAction = nullptr;
    QAction *timeoutAction = nullptr;
    QAction *networkParameterAction = nullptr;
    QAction *rebootAction = nullptr;
    QAction *nameSettingAction = nullptr;
    QAction *moduleCheckAction = nullptr;
    // The model actions in catalogue order.
    QList<QAction *> modelActions;
    QAction *findModuleAction = nullptr;

    // Analog output panel.
    QMap<int, AnalogOutputRow *> analogOutRows;
    QGridLayout *analogOutGrid = nullptr;
    int readBackStage = 0;

    // Terminal: received data in upper case when 1.
    int displayUpperCase = 0;

    // The output log: the kept history (every line, polling too) and its view.
    static constexpr int kLogHistoryLines = OutputLog::kHistoryLines;
    static constexpr int kLogPendingLines = OutputLog::kPendingLines;
    OutputLog *outputLog() const { return log; }
    QCheckBox *showPollingBox = nullptr;
    QCheckBox *pauseLogBox = nullptr;
    QPushButton *saveLogButton = nullptr;

    // Moves the waiting lines into the history and, unless paused, into the view.
    void flushLog();
    // Writes the kept history as UTF-8 text with time stamps; false with the reason.
    bool saveLog(const QString &path, QString *error = nullptr);

    // Dialogs.
    NameSetting *nameSetting = nullptr;
    CommunicationTimeout *communicationTimeout = nullptr;
    NetworkWindow *networkWindow = nullptr;
    HelpWidget *helpWidget = nullptr;

    // The module check, sharing the queue with the panels while it runs.
    ModuleCheck *moduleCheck = nullptr;

    // The View menu's traffic table, trend, input changes and recording.
    TrafficViews *trafficViews = nullptr;

signals:
    void windowClose();
    void write(Sender *sender);
    void writeSerialPort(QString strDataNoCRC);
    void writeSerialPort_CRC16(QString strDataNoCRC);
    void threadSerialport_init();
    void openSerialPort();
    void closeSerialPort();
    void sendersClear(QString key);
    // Relays the module's network block (decoded) to the network window.
    void netWorkProcessing(QString data);
    void resetLinkHealth();
    // A request of `kind` ended: answered (accepted) or not, with the queue's reason.
    void requestEnded(QString kind, bool accepted, QString reason);

public slots:
    void slotSwitchProduct();
    void slotHelpDocument();
    void slotChangeTime();
    void slotCommunicationTimeout();
    void slotSetNetwork();
    void slotReBoot();
    void slotAnalogOut_lineEdit();
    void slotAnalogOut_lineEditPrecision();
    void slotAnalogOut_lineEditBigestReg();
    void slotAnalogOut_outputModeCCB();
    void slotAnalogOut_pushButtonEnsure_clicked();
    void slotAnalogOut_pushButtonCancel_clicked();
    void slotAnalogOut_isLookRegCB(int widget);
    void on_switchBt_clicked();
    void on_sendBt_clicked();
    void on_pushButton_check_clicked();
    void on_checkBox_out_stateChanged(int arg1);
    void on_recvTextClear_clicked();
    void on_sendBtClear_clicked();
    void on_lineEdit_timeSend_textEdited();
    void on_checkBox_out_2_stateChanged(int arg1);
    void on_checkBox_out_3_stateChanged(int arg1);
    void on_pushButton_check_analog_in_clicked();
    void on_pushButton_allOpen_clicked();
    void on_pushButton_allClose_clicked();
    void writeOutputWidget(int draw);
    void writeOutputWidget();
    void writeOutputWidget(QString data, int R, int G, int B);
    void writeOutputWidget(QString data, QColor color);
    void writeOutputWidget(QString data);
    void identify_deviceType(int code);
    void UIappendData(QString data);
    // The log's lines for what the link reports.
    void showExchange(const ExchangeRecord &record);
    void showNotice(const LinkNotice &notice);
    void creatCommunicationTimeOut(QString data);
    void tryConnectIp();
    void slotNameSettingAction();
    // Read-back of the analog output blocks (kind of the request, whole reply).
    void showAnalogOutputReadBack(QString kind, QString reply);
    // Re-reads the stored channel names into the switch buttons.
    void refreshChannelNames();
    // What the link reports.
    void slotSerialPortsFound(QStringList names, QString chosen);
    void slotSerialPortOpenFailed(QString reason);
    void slotSerialPortError(QString reason, bool lost);
    // The link is up: output polling starts and detection that was on runs again.
    void slotLinkUp();
    void slotLinkHealthChanged(const LinkHealth &health);
    // Searches the chosen serial port, or the remote address, for modules.
    void slotFindModule();
    // Sets the controls to a module found and opens the link to it.
    void useFoundModule(const FoundModule &module);
    // Checks the module of the chosen model; polling pauses meanwhile.
    void slotModuleCheck();
    void startModuleCheck(int modelIndex);

private slots:
    void on_checkBox_timeSend_stateChanged(int arg1);
    void on_lineEdit_textEdited(QString arg1);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void initWindow();
    void createActions();
    void createMenus();
    void createToolBar();
    void initSerialThread();
    // The hint in the panel area while connected without a model (ui/nomodelhint.*).
    void initNoModelHint();
    void connectQueue(ThreadAdministrator *queue);
    void initTerminal();
    void appendLog(const QString &text, const QColor &color);
    void refuseTypedFrame(const QString &reason);
    void slotSaveLog();
    void restoreWindowLayout();
    void fitDescription();

    // Module check (mainwindowcheck.cpp).
    void initModuleCheck();
    void connectModuleCheck(ThreadAdministrator *queue);
    void moduleCheckFinished(const CheckRun &run);
    struct CheckPause
    {
        bool outputPolling = false;
        int pollInterval = 0;
        bool inputDetection = false;
        bool analogDetection = false;
    } checkPause;
    QProgressDialog *checkProgress = nullptr;
    int identifiedType = -1;
    int identifiedAddress = -1;
    LinkKind identifiedLink = LinkKind::None; // the link the identity was heard on

    // Switch panels.
    void selectModel(int index);
    Sender *panelRequest(const QString &kind, const QString &frame) const;

    // The panels show states the module has not confirmed lately as unknown.
    void showStatesUnknown(bool noReply);
    void showStatesConfirmed();
    QString serialEndpoint() const;
    QString networkEndpoint() const;
    // The chosen model's catalogue row and menu text, or -1 and empty.
    int currentModelIndex() const;
    QString currentModelText() const;

    // Find module (mainwindowfind.cpp): what the search paused, to resume it after.
    struct FindPause
    {
        bool serialWasOpen = false;
        bool pollWasActive = false;
        bool inputDetecting = false;
        bool analogDetecting = false;
    };
    void createFindModuleAction();
    void finishFindModule(int outcome);
    FindPause findPause;
    ModuleFinder *moduleFinder = nullptr;
    QProgressDialog *findProgress = nullptr;
    FindModuleDialog *findDialog = nullptr;

    // Connects to the remote fields' address once an edit has settled, unless it is
    // the one already connected or being connected.
    void settleRemoteEdit();

    // What the session says, on the window's labels and panels.
    void showSerialState();
    void showTcpState();
    void showLinkChange(LinkKind link);
    void showModelStatus(Session::ModelStatus status);
    void showDeviceAddress(int address);

    Ui::MainWindow *ui = nullptr;
    Session *linkSession = nullptr;
    SwitchOutputsPanel *outputsPanel = nullptr;
    SwitchInputsPanel *inputsPanel = nullptr;
    AnalogInputsPanel *analogInputsPanel = nullptr;
    OutputLog *log = nullptr;
    QTimer remoteEditTimer;
    // The remote address last asked of the link ("192.168.1.80:8080"), or the
    // refused field texts, so an unchanged settled edit does nothing.
    QString remoteRequested;
    bool statesUnknown = false;
    LinkHealthView *linkHealthView = nullptr;
    NoModelHint *noModelHint = nullptr;
    // The frame last sent was a poll, so the reply that follows is one too.
    bool pollingExchange = false;
    // The operator's last typed frame after its address; a sent frame equal to it is
    // shown even if a poll sends the same.
    QString typedFramePdu;
    QString lastRefusal;
    bool geometryRestored = false;
    // Geometry and splitter state just after the window was first shown.
    QList<QByteArray> layoutAtShow;
};
