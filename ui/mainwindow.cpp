#include "ui/mainwindow.h"

#include "ui_mainwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "protocol/sender.h"
#include "ui/analoginputspanel.h"
#include "ui/analogoutputspanel.h"
#include "ui/communicationtimeout.h"
#include "ui/confirmation.h"
#include "ui/connectionstatus.h"
#include "ui/findflow.h"
#include "ui/helpwidget.h"
#include "ui/language.h"
#include "ui/linkcontrolspanel.h"
#include "ui/linkhealthview.h"
#include "ui/modulecheckflow.h"
#include "ui/namesetting.h"
#include "ui/networkwindow.h"
#include "ui/nomodelhint.h"
#include "ui/outputlog.h"
#include "ui/stationwindow.h"
#include "ui/statustips.h"
#include "ui/steadywidth.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"
#include "ui/terminalpanel.h"
#include "ui/trafficviews.h"

#include "check/modulecheck.h"
#include "check/modulefinder.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QItemSelection>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaObject>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVector>
#include <QtMath>

namespace {

constexpr int kLogLinesShown = 8;
constexpr int kNarrowestDescription = 250;
constexpr int kMostDescriptionLines = 12;

// Window keys of the settings store; channel-name keys never hold a slash.
const QString kGeometryKey = QStringLiteral("window/geometry");
// The panels beside the terminal; an older "window/splitter" held them above it.
const QString kSplitterKey = QStringLiteral("window/panelsBesideLog");

// The settings windows are top-level windows of their own; they close with the
// main window, so that closing the tool really ends it.
void closeWithMainWindow(MainWindow *mainWindow, QWidget *window)
{
    QObject::connect(mainWindow, &MainWindow::windowClose, window, &QWidget::close);
    QObject::connect(mainWindow, &QObject::destroyed, window, &QObject::deleteLater);
}

QString addressTip(int address)
{
    const QString key = QStringLiteral("地址[") + QString::number(address) + QLatin1Char(']');
    return QtTools::instance()->configMap.value(key);
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , clockLabel(new QLabel)
    , addressTipLabel(new QLabel)
{
    ui->setupUi(this);
    qRegisterMetaType<ThreadSerialport *>("ThreadSerialport *");
    qRegisterMetaType<Sender *>("Sender*");
    qRegisterMetaType<ExchangeRecord>();
    qRegisterMetaType<LinkNotice>();
    qRegisterMetaType<LinkKind>();
    qRegisterMetaType<QTextCharFormat>("QTextCharFormat");
    qRegisterMetaType<QTextCursor>("QTextCursor");
    qRegisterMetaType<QItemSelection>("QItemSelection");
    qRegisterMetaType<QVector<int>>("QVector<int>");
    qRegisterMetaType<Qt::Orientation>("Qt::Orientation");
    qRegisterMetaType<QList<int>>("QList<int>");

    linkSession = new Session(this);
    // The link makes the queue's connections to the window when it creates the queue.
    serialLink = new ThreadSerialport(this, [this](ThreadAdministrator *queue) { connectQueue(queue); });

    linkPanel = new LinkControlsPanel(
            linkSession, serialLink,
            { ui->comCbb, ui->rateCbb, ui->dataCbb, ui->stopCbb, ui->parityCbb, ui->switchBt,
              ui->lineEdit_localFarIP, ui->lineEdit_localfarPortNumber, ui->lineEdit,
              ui->label_serialState, ui->label_network },
            this);
    outputsPanel = new SwitchOutputsPanel(
            linkSession, { ui->widget_out, ui->verticalLayout_out, ui->label_out_OperationCode_2 },
            this);
    inputsPanel = new SwitchInputsPanel(linkSession,
                                        { ui->widget_in, ui->verticalLayout_in,
                                          ui->label_in_OperationCode_2, ui->pushButton_check },
                                        this);
    analogOutputsPanel = new AnalogOutputsPanel(linkSession, ui->verticalLayout_analog_out, this);
    analogInputsPanel = new AnalogInputsPanel(linkSession,
                                              { ui->verticalLayout_analog_in,
                                                ui->label_analogout_OperationCode_2,
                                                ui->pushButton_check_analog_in },
                                              this);
    terminalPanel = new TerminalPanel(linkSession,
                                      { ui->sendText, ui->recvText, ui->checkBox_timeSend,
                                        ui->lineEdit_timeSend, ui->rateCbb, ui->checkBox_out_2,
                                        ui->checkBox_out_3, ui->recvTextClear },
                                      this);

    connect(outputsPanel, &SwitchOutputsPanel::request, this, &MainWindow::write);
    connect(inputsPanel, &SwitchInputsPanel::request, this, &MainWindow::write);
    connect(analogOutputsPanel, &AnalogOutputsPanel::request, this, &MainWindow::write);
    connect(analogInputsPanel, &AnalogInputsPanel::request, this, &MainWindow::write);
    connect(terminalPanel, &TerminalPanel::request, this, &MainWindow::write);
    connect(inputsPanel, &SwitchInputsPanel::withdraw, this, &MainWindow::sendersClear);
    connect(analogInputsPanel, &AnalogInputsPanel::withdraw, this, &MainWindow::sendersClear);
    connect(outputsPanel, &SwitchOutputsPanel::statesConfirmed, this, &MainWindow::showStatesConfirmed);
    connect(inputsPanel, &SwitchInputsPanel::statesConfirmed, this, &MainWindow::showStatesConfirmed);
    connect(analogInputsPanel, &AnalogInputsPanel::statesConfirmed, this,
            &MainWindow::showStatesConfirmed);
    // The operator's own edits and choices: the answer shows at once.
    connect(linkPanel, &LinkControlsPanel::logLine, this, [this](const QString &text, const QColor &color) {
        log(text, color);
        outputLog()->flush();
    });
    connect(linkPanel, &LinkControlsPanel::serialClosing, this, [this]() {
        outputsPanel->stopPolling();
        emit sendersClear(QString());
    });
    connect(linkPanel, &LinkControlsPanel::remoteChosen, this, [this](const QString &endpoint) {
        if (!session()->serialOpen())
            linkHealthView->setEndpoint(endpoint);
    });

    qDebug().noquote() << QStringLiteral("\033[34mHello!");
    initWindow();
    initLink();
    initFlows();
    initNoModelHint();
    serialThread.start(QThread::InheritPriority);
    QMetaObject::invokeMethod(serialLink, &ThreadSerialport::initVariable, Qt::QueuedConnection);
}

MainWindow::~MainWindow()
{
    qDebug() << "window delete!";
    serialThread.quit();
    serialThread.wait();
    delete ui;
}

void MainWindow::addSerialPortPath(const QString &path)
{
    ThreadSerialport *serial = serialLink;
    QMetaObject::invokeMethod(serial, [serial, path]() { serial->addExtraPortPath(path); });
}

OutputLog *MainWindow::outputLog() const
{
    return terminalPanel->log();
}

ModuleCheck *MainWindow::moduleCheck() const
{
    return checkFlow->check();
}

QAction *MainWindow::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

void MainWindow::log(const QString &text, const QColor &color)
{
    outputLog()->append(text, color);
}

void MainWindow::initWindow()
{
    ui->textBrowser->setPlainText(tr(
        "Description: only one of serial port and network can be used at the same time \n"
        "If serial port is used, select \"port\", and click \"open\"\n"
        "To use the network, the serial port must be closed \n"
        "First, connect to the remote IP as a client, \n"
        "Modifying the remote IP will automatically try to connect. \n \n"
        "* Pay special attention * no need to input CRC check for sending instructions from the "
        "sending side \n"));

    createActions();
    views = new TrafficViews(this);
    createMenus();
    createToolBar();

    linkHealthView = new LinkHealthView(ui->statusbar);
    // Permanent, so no message takes its place.
    ui->statusbar->addPermanentWidget(linkHealthView, 1);
    StatusTips::showAsToolTips(this);
    linkHealthView->setEndpoint(linkPanel->networkEndpoint());

    connect(&clockTimer, &QTimer::timeout, this, &MainWindow::slotChangeTime);
    clockTimer.start(1000);
    slotChangeTime();

    installEventFilter(this);

    // The panels get the height the terminal leaves; they scroll when their rows do not fit.
    ui->splitter_main->setStretchFactor(0, 1);
    ui->splitter_main->setStretchFactor(1, 0);
    ui->splitter_main->setStyleSheet(
        QStringLiteral("QSplitter#splitter_main::handle { background-color: rgb(215, 200, 160); }"));
    ui->recvText->setMinimumHeight(OutputLog::viewHeight(ui->recvText, kLogLinesShown));
    // The tip is read once; a smaller font leaves the panels their height on a laptop screen.
    QFont tipFont = ui->textBrowser->font();
    tipFont.setPointSizeF(tipFont.pointSizeF() * 0.85);
    ui->textBrowser->setFont(tipFont);
    ui->textBrowser->installEventFilter(this);
    // The description is one click away; its room goes to the panels.
    ui->textBrowser->hide();
    ui->toolButton_description->setToolTip(ui->textBrowser->toPlainText());
    connect(ui->toolButton_description, &QToolButton::toggled, ui->textBrowser, &QWidget::setVisible);

    ui->widget_control_analog->hide();
    ui->widget_control->hide();
    for (QPushButton *button : { ui->pushButton_check, ui->pushButton_check_analog_in })
        keepWidestText(button, { tr("Start detecting", " 开始检测 "), tr("Stop detecting", " 停止检测 ") });

    // The terminal's smaller font, for the controls added to it in code as well (a style
    // sheet keeps new children from inheriting it).
    for (QWidget *child : ui->widget_terminal->findChildren<QWidget *>())
        child->setFont(ui->widget_terminal->font());

    ui->ensureBT->deleteLater();
    ui->lineEdit_localIP->deleteLater();
    ui->lineEdit_localListenFarPortNumber->deleteLater();
    ui->label_networkLocalIP->deleteLater();
    ui->label_networkLocalPort->deleteLater();
    ui->pushButton_check_analog_out->deleteLater();
    ui->pushButton_check_analog_out_refresh->deleteLater();
    restoreWindowLayout();
}

void MainWindow::restoreWindowLayout()
{
    // The terminal starts at the width its controls need; the panels get the rest.
    const int terminalWidth = ui->widget_terminal->minimumSizeHint().width();
    ui->splitter_main->setSizes({ qMax(terminalWidth, width() - terminalWidth), terminalWidth });
    const QMap<QString, QString> &stored = QtTools::instance()->configMap;
    if (stored.contains(kGeometryKey))
        geometryRestored = restoreGeometry(QByteArray::fromBase64(stored.value(kGeometryKey).toLatin1()));
    if (stored.contains(kSplitterKey))
        ui->splitter_main->restoreState(QByteArray::fromBase64(stored.value(kSplitterKey).toLatin1()));
}

void MainWindow::showAsLeft()
{
    if (geometryRestored)
        show();
    else
        showMaximized();
}

// The description is shown whole: its height follows the width it gets.
void MainWindow::fitDescription()
{
    QTextBrowser *box = ui->textBrowser;
    // Narrow moments while the window is first laid out must not make it grow.
    const int width = box->viewport()->width();
    if (width < kNarrowestDescription)
        return;
    QTextDocument copy;
    copy.setDefaultFont(box->font());
    copy.setDocumentMargin(box->document()->documentMargin());
    copy.setPlainText(box->toPlainText());
    copy.setTextWidth(width);
    const int cap = box->fontMetrics().lineSpacing() * kMostDescriptionLines;
    const int height = qMin(cap, qCeil(copy.size().height())) + 2 * box->frameWidth();
    if (box->minimumHeight() != height)
        box->setMinimumHeight(height);
}

void MainWindow::createActions()
{
    // The window's own font: Arial 18 would take a laptop screen's row of channels.
    const QFont toolFont = QApplication::font();
    auto add = [this, &toolFont](const char *name, const QString &text, const QString &tip,
                                 void (MainWindow::*slot)(), bool toolFontToo) {
        auto *action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setStatusTip(tip);
        if (slot)
            connect(action, &QAction::triggered, this, slot);
        if (toolFontToo)
            action->setFont(toolFont);
        return action;
    };
    add("action_help", tr("To help illustrate", " 帮助说明 "),
        tr("Software description and hardware model description.", " 软件说明以及硬件型号说明、接线 "),
        &MainWindow::openHelp, false);
    add("action_timeout", tr("Timeout Setting", " 通讯超时设置 "),
        tr("Communication timeout setting.", " 通讯超时设置 "), &MainWindow::askCommunicationTimeout, true);
    add("action_networkParameters", tr("Module Network Parameter Setting", " 模块网络参数设置 "),
        tr("Network debugging.", " 网络调试 "), &MainWindow::openNetworkWindow, true);
    add("action_reboot", tr("Reboot", " 重启 "),
        tr("The module's light flashes when you reboot it", " 重启时模块的灯会闪烁 "),
        &MainWindow::slotReBoot, true);
    add("action_nameSetting", tr("Name Setting", " 名称设置 "),
        tr("Name setting can set the name of switching value.", " 名称设置可以设置开关量名称。 "),
        &MainWindow::openNameSetting, true);
    add("moduleCheckAction", tr("Module check", " 模块检测 "),
        tr("Switch, write and read back every channel of the chosen model, "
           "then put the module back as it was.",
           " 逐路检测所选型号的模块，结束后恢复原状态。 "),
        nullptr, false);
    add("action_findModule", tr("Find module", " 查找模块 "),
        tr("Search the serial port or the remote address for modules.", " 在串口或远程地址上查找模块 "),
        nullptr, false);

    modelActions.clear();
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (int i = 0; i < models.size(); ++i) {
        auto *action = new QAction(models.at(i).text(), this);
        action->setStatusTip(models.at(i).text());
        connect(action, &QAction::triggered, this, [this, i]() { selectModel(i); });
        modelActions.append(action);
    }
}

void MainWindow::createMenus()
{
    const QFont menuFont = [] {
        QFont font = QApplication::font();
        font.setPointSize(12);
        return font;
    }();
    QAction *findModuleAction = action(QStringLiteral("action_findModule"));
    QAction *moduleCheckAction = action(QStringLiteral("moduleCheckAction"));
    menuBar()->setFont(menuFont);
    switchModelMenu = menuBar()->addMenu(tr("Switch model selection", " 开关量型号选择 "));
    analogModelMenu = menuBar()->addMenu(tr("Analog model selection", " 模拟量型号选择 "));
    // What works on the module as a whole.
    QMenu *toolsMenu = menuBar()->addMenu(tr("Tools", " 工具 "));
    toolsMenu->setObjectName(QStringLiteral("toolsMenu"));
    toolsMenu->addAction(findModuleAction);
    toolsMenu->addAction(moduleCheckAction);
    QAction *stationAction = toolsMenu->addAction(tr("Production station", " 生产测试站 "), this, []() {
        auto *station = new StationWindow;
        station->setAttribute(Qt::WA_DeleteOnClose);
        station->show();
    });
    stationAction->setObjectName(QStringLiteral("stationAction"));
    QMenu *viewMenu = menuBar()->addMenu(tr("View", " 视图 "));
    viewMenu->setObjectName(QStringLiteral("viewMenu"));
    views->addActions(viewMenu);
    toolsMenu->addSeparator();
    Confirmation::addChoice(toolsMenu);
    QMenu *helpMenu = menuBar()->addMenu(tr("help", " 帮助 "));
    QMenu *languageMenu = menuBar()->addMenu(tr("Language", " 语言 "));
    languageMenu->setObjectName(QStringLiteral("languageMenu"));
    Language::addChoice(languageMenu, this);
    for (QMenu *menu : {switchModelMenu, analogModelMenu, toolsMenu, viewMenu, helpMenu, languageMenu})
        menu->setFont(menuFont);

    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (int i = 0; i < models.size() && i < modelActions.size(); ++i) {
        QMenu *menu = models.at(i).menu == ModelEntry::SwitchMenu ? switchModelMenu
                                                                   : analogModelMenu;
        if (models.at(i).separatorBefore)
            menu->addSeparator();
        menu->addAction(modelActions.at(i));
    }
    helpMenu->addAction(action(QStringLiteral("action_help")));

    // The toolbar below is full with the settings actions and the clock; the tools sit at
    // the right end of the menu bar, one click away as well.
    auto *toolsBar = new QToolBar(menuBar());
    toolsBar->setObjectName(QStringLiteral("toolBar_tools"));
    toolsBar->setFont(menuFont);
    toolsBar->addAction(findModuleAction);
    toolsBar->addAction(moduleCheckAction);
    menuBar()->setCornerWidget(toolsBar, Qt::TopRightCorner);
}

void MainWindow::createToolBar()
{
    QToolBar *toolBar = addToolBar(tr("Time"));
    toolBar->setObjectName(QStringLiteral("toolBar_time"));
    for (const char *name : { "action_timeout", "action_networkParameters", "action_reboot", "action_nameSetting" })
        toolBar->addAction(action(QLatin1String(name)));

    auto *holder = new QWidget(toolBar);
    auto *row = new QHBoxLayout(holder);
    row->setContentsMargins(4, 0, 4, 0);
    addressTipLabel->setFont(QFont(QStringLiteral("Arial"), 16));
    addressTipLabel->setStyleSheet(QStringLiteral("color: rgb(230, 50, 50);"));
    clockLabel->setObjectName(QStringLiteral("label_clock"));
    clockLabel->setFont(QFont(QStringLiteral("Arial"), 16));
    clockLabel->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    // A long tip is cut rather than pushing the clock behind the toolbar's overflow arrow.
    addressTipLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(addressTipLabel);
    row->addStretch();
    row->addWidget(clockLabel);
    holder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar->addWidget(holder);
    addressTipLabel->setText(addressTip(session()->deviceAddress()));
}

void MainWindow::initLink()
{
    linkSession->attach(serialLink);
    connect(linkSession, &Session::tcpStateChanged, this, &MainWindow::showTcpState);
    connect(linkSession, &Session::linkChanged, this, &MainWindow::showLinkChange);
    connect(linkSession, &Session::exchange, outputLog(), &OutputLog::showExchange);
    views->followSession(linkSession);
    connect(linkSession, &Session::notice, outputLog(), &OutputLog::showNotice);
    connect(linkSession, &Session::modelStatusChanged, this, &MainWindow::showModelStatus);
    connect(linkSession, &Session::deviceAddressChanged, this, &MainWindow::showDeviceAddress);
    auto *connectionStatus = new ConnectionStatus(
            linkSession, ui->label_connectionStatus,
            [this](LinkKind kind) { return linkPanel->endpoint(kind); }, this);
    connect(connectionStatus, &ConnectionStatus::logLine, this, &MainWindow::log);
    serialLink->moveToThread(&serialThread);
    connect(&serialThread, &QThread::finished, serialLink, &QObject::deleteLater);

    connect(serialLink, &ThreadSerialport::identify_deviceType, this, &MainWindow::identify_deviceType);
    connect(serialLink, &ThreadSerialport::serialPortError, this, [this](QString, bool lost) {
        if (!lost)
            outputsPanel->stopPolling();
    });
}

void MainWindow::initFlows()
{
    checkFlow = new ModuleCheckFlow(linkSession, serialLink,
                                    { outputsPanel, inputsPanel, analogInputsPanel, linkPanel },
                                    action(QStringLiteral("moduleCheckAction")), this);
    connect(checkFlow, &ModuleCheckFlow::request, this, &MainWindow::write);
    connect(checkFlow, &ModuleCheckFlow::withdraw, this, &MainWindow::sendersClear);
    connect(checkFlow, &ModuleCheckFlow::logLine, this, &MainWindow::log);
    connect(linkPanel, &LinkControlsPanel::serialClosing, checkFlow, &ModuleCheckFlow::serialClosed);
    findFlow = new FindFlow(linkSession, serialLink,
                            { outputsPanel, inputsPanel, analogInputsPanel, linkPanel },
                            action(QStringLiteral("action_findModule")), this);
    connect(findFlow, &FindFlow::logLine, this, &MainWindow::log);
    connect(findFlow, &FindFlow::useRequested, this, &MainWindow::useFoundModule);
}

void MainWindow::initNoModelHint()
{
    noModelHint = new NoModelHint(ui->scrollAreaWidgetContents);
    ui->verticalLayout_panels->insertWidget(0, noModelHint);
    connect(noModelHint, &NoModelHint::identifyRequested, serialLink, &ThreadSerialport::identifyModule);
    // Made after the window's own connections, so each runs once the window has taken
    // the change in: a link opened or lost, a model chosen.
    const auto refresh = [this]() {
        noModelHint->showFor(session()->linkUp(), session()->model() >= 0);
    };
    connect(session(), &Session::stateChanged, this, refresh);
    connect(session(), &Session::modelChanged, this, refresh);
    connect(serialLink, &ThreadSerialport::identify_deviceType, this, refresh);
    for (QAction *model : qAsConst(modelActions))
        connect(model, &QAction::triggered, this, refresh);
}

void MainWindow::connectQueue(ThreadAdministrator *queue)
{
    connect(this, &MainWindow::write, queue, &ThreadAdministrator::write);
    connect(this, &MainWindow::windowClose, queue, &ThreadAdministrator::windowClose);
    connect(this, &MainWindow::sendersClear, queue, &ThreadAdministrator::sendersClear);

    connect(queue, &ThreadAdministrator::click_QPushButton, outputsPanel,
            &SwitchOutputsPanel::showSwitched);
    connect(queue, &ThreadAdministrator::change_ctlOuts, outputsPanel,
            &SwitchOutputsPanel::showStates);
    connect(queue, &ThreadAdministrator::change_inputs, inputsPanel, &SwitchInputsPanel::showStates);
    connect(queue, &ThreadAdministrator::analogInput, analogInputsPanel,
            &AnalogInputsPanel::showValues);
    connect(queue, &ThreadAdministrator::readAnalogOuput, analogOutputsPanel,
            &AnalogOutputsPanel::showReadBack);
    connect(queue, &ThreadAdministrator::checkSwitchStatus, outputsPanel,
            &SwitchOutputsPanel::poll);
    connect(queue, &ThreadAdministrator::allOpen, outputsPanel, &SwitchOutputsPanel::showAll);
    connect(queue, &ThreadAdministrator::creatCommunicationTimeOut, this,
            &MainWindow::showCommunicationTimeout);
    // The queue's records and notices reach the window through the session.
    connect(queue, &ThreadAdministrator::exchangeRecorded, linkSession, &Session::recordExchange);
    connect(queue, &ThreadAdministrator::linkNotice, linkSession, &Session::relayNotice);
    connect(queue, &ThreadAdministrator::netWorkProcessing, this, &MainWindow::netWorkProcessing);
    connect(queue, &ThreadAdministrator::linkHealthChanged, this,
            &MainWindow::slotLinkHealthChanged);
    connect(this, &MainWindow::resetLinkHealth, queue, &ThreadAdministrator::resetLinkHealth);
    connect(queue, &ThreadAdministrator::replyReceived, this,
            [this](const QString &kind) { emit requestEnded(kind, true, QString()); });
    connect(queue, &ThreadAdministrator::requestFailed, this,
            [this](const QString &kind, const QString &reason) { emit requestEnded(kind, false, reason); });
    connect(linkHealthView, &LinkHealthView::resetRequested, this, &MainWindow::resetLinkHealth);
    checkFlow->connectQueue(queue);
}

// What the session says, on the window's labels and panels.

void MainWindow::showModelStatus(Session::ModelStatus status)
{
    // Only the panels' requests for the chosen model speak for it; the terminal and the
    // settings windows read what the operator asks for. A new choice waits for its own
    // replies: what was said stays until one of them decides.
    if (status == Session::ModelStatus::Unknown)
        return;
    if (status == Session::ModelStatus::Confirmed) {
        ui->label_wrongModel->hide();
        return;
    }
    ui->label_wrongModel->setText(tr("The module does not have these registers: choose the model that fits it",
                                     " 模块没有这些寄存器：请选择与模块相符的型号 "));
    ui->label_wrongModel->show();
}

void MainWindow::slotLinkHealthChanged(const LinkHealth &health)
{
    linkHealthView->setHealth(health);
    // Three requests in a row unanswered: what the panels show is no longer known.
    if (health.consecutiveTimeouts >= 3 && !statesUnknown)
        showStatesUnknown(true);
}

void MainWindow::showTcpState()
{
    const Session *state = session();
    if (state->serialOpen())
        return;
    if (state->tcpState() == Session::LinkState::Reconnecting)
        linkHealthView->setReconnecting(state->reconnectSeconds());
    else if (state->tcpConnected())
        linkHealthView->setReconnecting(0);
}

void MainWindow::showLinkChange(LinkKind link)
{
    linkHealthView->setEndpoint(linkPanel->endpoint(link));
    if (link == LinkKind::None) {
        outputsPanel->stopPolling();
        showStatesUnknown(false);
        return;
    }
    linkHealthView->setReconnecting(0);
    linkUp();
}

void MainWindow::showDeviceAddress(int address)
{
    addressTipLabel->setText(addressTip(address));
    linkHealthView->setDeviceAddress(address);
}

void MainWindow::showStatesUnknown(bool noReply)
{
    statesUnknown = true;
    outputsPanel->showUnknown();
    inputsPanel->showUnknown();
    analogInputsPanel->showUnknown();
    if (noReply)
        linkPanel->showNoReply();
}

void MainWindow::showStatesConfirmed()
{
    if (!statesUnknown)
        return;
    statesUnknown = false;
    linkPanel->showReplying();
}

void MainWindow::setProductControlsEnabled(bool enabled)
{
    for (QAction *model : qAsConst(modelActions))
        model->setEnabled(enabled);
    ui->switchBt->setEnabled(enabled);
    action(QStringLiteral("action_timeout"))->setEnabled(enabled);
}

void MainWindow::slotChangeTime()
{
    linkHealthView->tick();
    clockLabel->setText(Language::clockText(QDateTime::currentDateTime()));
}

// The model menus.

const ModelEntry *MainWindow::chosenModel() const
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    const int index = session()->model();
    return index >= 0 && index < models.size() ? &models.at(index) : nullptr;
}

void MainWindow::selectModel(int index)
{
    // The warning goes with the model it was about; the new one waits for its own replies.
    session()->setModel(index);
    buildPanels();
    const ModelEntry *model = chosenModel();
    if (model) {
        views->setModel(model->text(), model->outputCount, model->inputCount,
                        qMax(model->voltageOutputCount, model->currentOutputCount),
                        model->voltageInputCount >= 0 ? QStringLiteral("V") : QStringLiteral("mA"));
    } else {
        views->setModel(QString(), -1, -1, -1, QStringLiteral("mA"));
    }
    linkHealthView->setModel(model ? model->text() : QString());

    if (outputsPanel->count() >= 0)
        outputsPanel->startPolling();
    // The new board may have another number of inputs: detection starts afresh
    // with its own frame instead of being toggled off by a second choice.
    inputsPanel->restartDetection();
}

void MainWindow::buildPanels()
{
    static const ModelEntry none = { ModelEntry::SwitchMenu, false, "", "", -1, -1, -1, -1, -1, -1, 0 };
    const ModelEntry &model = chosenModel() ? *chosenModel() : none;
    // An analog model has no switch outputs: their panel goes, and so does its polling.
    outputsPanel->build(model.outputCount);
    inputsPanel->build(model.inputCount);
    if (model.outputCount >= 0 || model.inputCount >= 0) {
        ui->widget_control->show();
        ui->widget_control_analog->hide();
        return;
    }

    const bool analogOutputs = model.voltageOutputCount >= 0 || model.currentOutputCount >= 0;
    const bool analogInputs = model.voltageInputCount >= 0 || model.currentInputCount >= 0;
    if (model.voltageOutputCount >= 0)
        analogOutputsPanel->build(model.voltageOutputCount, QStringLiteral("V"));
    else if (model.currentOutputCount >= 0)
        analogOutputsPanel->build(model.currentOutputCount, QStringLiteral("mA"));
    else if (model.voltageInputCount >= 0)
        analogInputsPanel->build(model.voltageInputCount, QStringLiteral("V"));
    else if (model.currentInputCount >= 0)
        analogInputsPanel->build(model.currentInputCount, QStringLiteral("mA"));

    if (!analogOutputs && !analogInputs) {
        ui->widget_control->hide();
        ui->widget_control_analog->hide();
        return;
    }
    ui->widget_analog_out->setVisible(analogOutputs);
    ui->widget_analog_in->setVisible(!analogOutputs);
    ui->widget_control->hide();
    ui->widget_control_analog->show();
}

void MainWindow::linkUp()
{
    if (outputsPanel->count() >= 0)
        outputsPanel->startPolling();
    inputsPanel->restartDetection();
    // Analog detection that was on runs again, with the address of now.
    analogInputsPanel->restartDetection();
}

void MainWindow::identify_deviceType(int code)
{
    if (session()->serialOpen())
        ui->switchBt->setText(tr("Close", " 关闭 "));
    setProductControlsEnabled(true);
    const int index = ModelCatalogue::indexForTypeCode(code);
    // A running check judges the model it was started with.
    if (checkFlow->running())
        return;
    // Chosen directly, not through the action, which may be disabled at this moment.
    if (index >= 0)
        selectModel(index);
}

void MainWindow::useFoundModule(const FoundModule &module)
{
    linkPanel->showFoundModule(module);
    // What the search heard is this link's identity; the check need not ask again.
    checkFlow->setIdentity(module.typeCode, module.address,
                           module.network ? LinkKind::Tcp : LinkKind::Serial);
    if (module.modelIndex >= 0 && module.modelIndex < modelActions.size())
        modelActions.at(module.modelIndex)->trigger();
    if (!module.network)
        linkPanel->toggleSerialPort();
    else if (session()->link() != LinkKind::Tcp)
        linkPanel->connectRemote();
}

void MainWindow::refreshChannelNames()
{
    outputsPanel->refreshNames();
    inputsPanel->refreshNames();
}

// The form's buttons and boxes.

void MainWindow::on_switchBt_clicked()
{
    linkPanel->toggleSerialPort();
}

void MainWindow::on_lineEdit_textEdited(QString arg1)
{
    linkPanel->addressEdited(arg1);
}

void MainWindow::on_sendBt_clicked()
{
    terminalPanel->send();
}

void MainWindow::on_sendBtClear_clicked()
{
    ui->sendText->clear();
}

void MainWindow::on_recvTextClear_clicked()
{
    outputLog()->clear();
}

void MainWindow::on_checkBox_out_2_stateChanged(int arg1)
{
    terminalPanel->setUpperCase(arg1 != 0);
}

void MainWindow::on_checkBox_out_3_stateChanged(int arg1)
{
    terminalPanel->setUpperCase(arg1 == 0);
}

void MainWindow::on_checkBox_timeSend_stateChanged(int arg1)
{
    terminalPanel->setTimedSend(arg1 != 0);
}

void MainWindow::on_pushButton_allOpen_clicked()
{
    outputsPanel->switchAll(true);
}

void MainWindow::on_pushButton_allClose_clicked()
{
    outputsPanel->switchAll(false);
}

void MainWindow::on_checkBox_out_stateChanged(int arg1)
{
    outputsPanel->setSingleChoice(arg1 != 0);
}

void MainWindow::on_pushButton_check_clicked()
{
    inputsPanel->toggleDetection();
}

void MainWindow::on_pushButton_check_analog_in_clicked()
{
    analogInputsPanel->toggleDetection();
}

// The settings windows.

void MainWindow::openHelp()
{
    auto *help = new HelpWidget;
    help->setAttribute(Qt::WA_DeleteOnClose);
    closeWithMainWindow(this, help);
    help->show();
}

void MainWindow::askCommunicationTimeout()
{
    const ModelEntry *model = chosenModel();
    QString refusal;
    if (!session()->linkUp()) {
        refusal = tr("The Timeout Setting cannot be switched on until open the serial port.",
                     " 串口没有打开，无法打开通讯超时设置。 ");
    } else if (model && model->outputCount < 0 && model->inputCount < 0) {
        // On analog modules the registers from 0x7530 are the channel modes: a
        // "timeout" written there would change how the channels work.
        refusal = tr("Analog modules have no communication timeout: their registers from 0x7530 hold the channel modes.",
                     " 模拟量模块没有通讯超时设置：0x7530起的寄存器是通道模式。 ");
    }
    if (!refusal.isEmpty()) {
        auto *box = new QMessageBox(QMessageBox::Warning, tr("warning", "警告  "), refusal, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    emit write(new Sender(ModbusRequest::kCommunicationTimeout,
                          ModbusRequest::timeoutRead(model ? model->outputCount : -1)));
}

void MainWindow::showCommunicationTimeout(const QString &data)
{
    // Every read opens a new window; a closed one is gone for good.
    auto *window = new CommunicationTimeout(this, data);
    window->setAttribute(Qt::WA_DeleteOnClose);
    closeWithMainWindow(this, window);
    window->showNormal();
}

void MainWindow::openNetworkWindow()
{
    delete networkWindow;
    networkWindow = new NetworkWindow(this);
    closeWithMainWindow(this, networkWindow);
    networkWindow->show();
}

void MainWindow::slotReBoot()
{
    // One stray click would drop every relay of a module in use: asked first.
    const QString where = linkPanel->endpoint(session()->serialOpen() ? LinkKind::Serial : LinkKind::Tcp);
    const ModelEntry *model = chosenModel();
    Confirmation::ask(this, QStringLiteral("rebootConfirmBox"),
                      tr("Restart the module %1 at %2, address %3? Its relays drop while it restarts.",
                         " 重启模块 %1（%2，地址 %3）吗？重启时其继电器会释放。 ")
                          .arg(model ? model->text() : tr("(no model chosen)", " （未选择型号） "), where)
                          .arg(session()->deviceAddress()),
                      [this]() { emit write(new Sender(ModbusRequest::kReboot, ModbusRequest::reboot())); });
}

void MainWindow::openNameSetting()
{
    if (!nameSetting) {
        nameSetting = new NameSetting;
        connect(nameSetting, &NameSetting::saveSuccess, this, &MainWindow::refreshChannelNames);
        closeWithMainWindow(this, nameSetting);
    }
    nameSetting->show();
    nameSetting->raise();
    nameSetting->activateWindow();
}

// The window's own events.

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The layout as the window first shows it, once the platform has placed it: closing
    // a window nobody moved or resized leaves the stored layout as it is.
    if (watched == this && event->type() == QEvent::Show && layoutAtShow.isEmpty())
        QTimer::singleShot(0, this, [this]() { layoutAtShow = {saveGeometry(), ui->splitter_main->saveState()}; });
    if (watched == ui->textBrowser && event->type() == QEvent::Resize)
        fitDescription();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    emit windowClose();
    views->stopRecording();
    QtTools *store = QtTools::instance();
    const QByteArray geometry = saveGeometry();
    const QByteArray splitter = ui->splitter_main->saveState();
    // Only what the operator changed is stored: the platform may place a restored window a
    // few pixels off, which is no reason to write the settings file again.
    const bool moved = layoutAtShow.size() < 2 || layoutAtShow.at(0) != geometry;
    const bool split = layoutAtShow.size() < 2 || layoutAtShow.at(1) != splitter;
    if (moved || !store->configMap.contains(kGeometryKey))
        store->setValue(kGeometryKey, QString::fromLatin1(geometry.toBase64()));
    if (split || !store->configMap.contains(kSplitterKey))
        store->setValue(kSplitterKey, QString::fromLatin1(splitter.toBase64()));
    event->accept();
}
