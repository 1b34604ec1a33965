#include "ui/mainwindow.h"

#include "ui/confirmation.h"
#include "ui_mainwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusrequest.h"
#include "protocol/remoteaddress.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/linkhealthview.h"
#include "ui/nomodelhint.h"
#include "ui/trafficviews.h"
#include "protocol/modelcatalogue.h"
#include "ui/language.h"
#include "ui/communicationtimeout.h"
#include "ui/connectionstatus.h"
#include "ui/networkwindow.h"
#include "ui/stationwindow.h"
#include "ui/statustips.h"
#include "ui/steadywidth.h"
#include "ui/analoginputspanel.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMetaObject>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QtMath>
#include <QTextCursor>
#include <QToolBar>
#include <QToolButton>
#include <QVector>

namespace {

constexpr int kAddressMaximum = 33;
constexpr int kFirstConnectDelayMs = 500;
constexpr int kRemoteEditSettleMs = 600;
// Frame, margins and cursor around the text of a line edit.
constexpr int kFieldSpareWidth = 16;
constexpr int kLogLinesShown = 8;
constexpr int kNarrowestDescription = 250;
constexpr int kMostDescriptionLines = 12;

// Window keys of the settings store; channel-name keys never hold a slash.
const QString kGeometryKey = QStringLiteral("window/geometry");
// The panels beside the terminal; an older "window/splitter" held them above it.
const QString kSplitterKey = QStringLiteral("window/panelsBesideLog");

// The remote fields read as an address; the key names what a connection attempt
// would be for, so that an unchanged address or the same refused texts are seen.
struct RemoteFields
{
    RemoteFields(const QString &hostText, const QString &portText)
        : endpoint(RemoteAddress::parseEndpoint(hostText, portText))
        , key(endpoint.valid() ? endpoint.text() : hostText + QLatin1Char('\n') + portText)
    {
    }

    RemoteAddress::Endpoint endpoint;
    QString key;
};

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , clockLabel(new QLabel)
    , addressTipLabel(new QLabel)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    linkSession = new Session(this);
    outputsPanel = new SwitchOutputsPanel(
            linkSession, { ui->widget_out, ui->verticalLayout_out, ui->label_out_OperationCode_2 },
            this);
    connect(outputsPanel, &SwitchOutputsPanel::request, this, &MainWindow::write);
    connect(outputsPanel, &SwitchOutputsPanel::statesConfirmed, this,
            &MainWindow::showStatesConfirmed);
    inputsPanel = new SwitchInputsPanel(linkSession,
                                        { ui->widget_in, ui->verticalLayout_in,
                                          ui->label_in_OperationCode_2, ui->pushButton_check },
                                        this);
    connect(inputsPanel, &SwitchInputsPanel::request, this, &MainWindow::write);
    connect(inputsPanel, &SwitchInputsPanel::withdraw, this, &MainWindow::sendersClear);
    connect(inputsPanel, &SwitchInputsPanel::statesConfirmed, this,
            &MainWindow::showStatesConfirmed);
    analogInputsPanel = new AnalogInputsPanel(linkSession,
                                              { ui->verticalLayout_analog_in,
                                                ui->label_analogout_OperationCode_2,
                                                ui->pushButton_check_analog_in },
                                              this);
    connect(analogInputsPanel, &AnalogInputsPanel::request, this, &MainWindow::write);
    connect(analogInputsPanel, &AnalogInputsPanel::withdraw, this, &MainWindow::sendersClear);
    connect(analogInputsPanel, &AnalogInputsPanel::statesConfirmed, this,
            &MainWindow::showStatesConfirmed);
    qDebug().noquote() << QStringLiteral("\033[34mHello!");
    initWindow();
    connect(&sendTimer, &QTimer::timeout, this, &MainWindow::on_sendBt_clicked);
    initSerialThread();
    initNoModelHint();
    emit threadSerialport_init();
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
    ThreadSerialport *link = threadSerialport;
    QMetaObject::invokeMethod(link, [link, path]() { link->addExtraPortPath(path); });
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
    createFindModuleAction();
    trafficViews = new TrafficViews(this);
    createMenus();
    createToolBar();

    linkHealthView = new LinkHealthView(ui->statusbar);
    // Permanent, so no message takes its place.
    ui->statusbar->addPermanentWidget(linkHealthView, 1);
    StatusTips::showAsToolTips(this);
    linkHealthView->setEndpoint(networkEndpoint());

    connect(&clockTimer, &QTimer::timeout, this, &MainWindow::slotChangeTime);
    clockTimer.start(1000);
    slotChangeTime();

    installEventFilter(this);
    ui->sendText->installEventFilter(this);

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
    const int addressWidth = ui->lineEdit_localFarIP->fontMetrics().horizontalAdvance(
                                 QStringLiteral("000.000.000.000 "))
        + ui->lineEdit_localFarIP->minimumSizeHint().width();
    ui->lineEdit_localFarIP->setMinimumWidth(addressWidth);

    ui->widget_control_analog->hide();
    ui->widget_control->hide();
    ui->ensureBT->hide();
    for (QPushButton *button : { ui->pushButton_check, ui->pushButton_check_analog_in })
        keepWidestText(button, { tr("Start detecting", " 开始检测 "), tr("Stop detecting", " 停止检测 ") });

    ui->lineEdit->setText(QStringLiteral("1"));
    ui->lineEdit->setValidator(new QIntValidator(0, kAddressMaximum, ui->lineEdit));
    ui->lineEdit->setMaxLength(2);
    ui->lineEdit->setMinimumWidth(
        QFontMetrics(QApplication::font()).horizontalAdvance(QStringLiteral("192.168.000.000")));

    initTerminal();
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

    ui->lineEdit_localFarIP->setMinimumWidth(
        ui->lineEdit_localFarIP->fontMetrics().horizontalAdvance(QStringLiteral("000.000.000.000"))
        + kFieldSpareWidth);
    // The operator's edits connect once they settle; setting the text in code does not.
    remoteEditTimer.setSingleShot(true);
    remoteEditTimer.setInterval(kRemoteEditSettleMs);
    connect(&remoteEditTimer, &QTimer::timeout, this, &MainWindow::settleRemoteEdit);
    for (QLineEdit *field : {ui->lineEdit_localFarIP, ui->lineEdit_localfarPortNumber}) {
        connect(field, &QLineEdit::textEdited, &remoteEditTimer, qOverload<>(&QTimer::start));
        connect(field, &QLineEdit::editingFinished, this, &MainWindow::settleRemoteEdit);
    }
    // The first attempt after start-up, with the fields as they are then, unless an
    // edit has already connected.
    QTimer::singleShot(kFirstConnectDelayMs, this, [this]() {
        if (remoteRequested.isEmpty())
            tryConnectIp();
    });
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

void MainWindow::createActions()
{
    helpAction = new QAction(tr("To help illustrate", " 帮助说明 "), this);
    helpAction->setStatusTip(tr("Software description and hardware model description.",
                                " 软件说明以及硬件型号说明、接线 "));
    connect(helpAction, &QAction::triggered, this, &MainWindow::slotHelpDocument);

    // The window's own font: Arial 18 would take a laptop screen's row of channels.
    const QFont toolFont = QApplication::font();
    timeoutAction = new QAction(tr("Timeout Setting", " 通讯超时设置 "), this);
    timeoutAction->setStatusTip(tr("Communication timeout setting.", " 通讯超时设置 "));
    connect(timeoutAction, &QAction::triggered, this, &MainWindow::slotCommunicationTimeout);

    networkParameterAction = new QAction(
        tr("Module Network Parameter Setting", " 模块网络参数设置 "), this);
    networkParameterAction->setStatusTip(tr("Network debugging.", " 网络调试 "));
    connect(networkParameterAction, &QAction::triggered, this, &MainWindow::slotSetNetwork);

    rebootAction = new QAction(tr("Reboot", " 重启 "), this);
    rebootAction->setStatusTip(tr("The module's light flashes when you reboot it",
                                  " 重启时模块的灯会闪烁 "));
    connect(rebootAction, &QAction::triggered, this, &MainWindow::slotReBoot);

    nameSettingAction = new QAction(tr("Name Setting", " 名称设置 "), this);
    nameSettingAction->setStatusTip(tr("Name setting can set the name of switching value.",
                                       " 名称设置可以设置开关量名称。 "));
    connect(nameSettingAction, &QAction::triggered, this, &MainWindow::slotNameSettingAction);

    moduleCheckAction = new QAction(tr("Module check", " 模块检测 "), this);
    moduleCheckAction->setObjectName(QStringLiteral("moduleCheckAction"));
    moduleCheckAction->setStatusTip(tr("Switch, write and read back every channel of the chosen model, "
                                       "then put the module back as it was.",
                                       " 逐路检测所选型号的模块，结束后恢复原状态。 "));
    connect(moduleCheckAction, &QAction::triggered, this, &MainWindow::slotModuleCheck);

    for (QAction *action : {timeoutAction, networkParameterAction, rebootAction, nameSettingAction})
        action->setFont(toolFont);

    modelActions.clear();
    for (const ModelEntry &model : ModelCatalogue::models()) {
        auto *action = new QAction(model.text(), this);
        action->setStatusTip(model.text());
        connect(action, &QAction::triggered, this, &MainWindow::slotSwitchProduct);
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
    trafficViews->addActions(viewMenu);
    toolsMenu->addSeparator();
    Confirmation::addChoice(toolsMenu);
    helpMenu = menuBar()->addMenu(tr("help", " 帮助 "));
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
    helpMenu->addAction(helpAction);

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
    toolBar->addAction(timeoutAction);
    toolBar->addAction(networkParameterAction);
    toolBar->addAction(rebootAction);
    toolBar->addAction(nameSettingAction);

    auto *holder = new QWidget(toolBar);
    auto *row = new QHBoxLayout(holder);
    row->setContentsMargins(4, 0, 4, 0);
    addressTipLabel->setFont(QFont(QStringLiteral("Arial"), 16));
    addressTipLabel->setStyleSheet(QStringLiteral("color: rgb(230, 50, 50);"));
    clockLabel->setFont(QFont(QStringLiteral("Arial"), 16));
    clockLabel->setStyleSheet(QStringLiteral("color: rgb(0, 0, 255);"));
    // A long tip is cut rather than pushing the clock behind the toolbar's overflow arrow.
    addressTipLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    row->addWidget(addressTipLabel);
    row->addStretch();
    row->addWidget(clockLabel);
    holder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    toolBar->addWidget(holder);

    const QString key = QStringLiteral("地址[") + QString::number(session()->deviceAddress())
        + QLatin1Char(']');
    addressTipLabel->setText(QtTools::instance()->configMap.value(key));
}

void MainWindow::initSerialThread()
{
    auto logActivated = [](const QString &text) { qDebug() << "Clicked!" << text; };
    connect(ui->comCbb, &QComboBox::textActivated, this, [this, logActivated](const QString &text) {
        logActivated(text);
        // The link reads the name only when it (re)opens the port, in its own thread.
        ThreadSerialport *link = threadSerialport;
        QMetaObject::invokeMethod(link, [link, text]() { link->portName = text; });
    });
    connect(ui->rateCbb, &QComboBox::textActivated, this, logActivated);
    connect(ui->parityCbb, &QComboBox::textActivated, this, logActivated);
    connect(ui->dataCbb, &QComboBox::textActivated, this, [this, logActivated](const QString &text) {
        logActivated(text);
        ui->stopCbb->setCurrentIndex(ui->dataCbb->currentIndex() == 1 ? 1 : 0);
    });
    connect(ui->stopCbb, &QComboBox::textActivated, this, [this, logActivated](const QString &text) {
        logActivated(text);
        ui->dataCbb->setCurrentIndex(ui->stopCbb->currentIndex() == 1 ? 1 : 0);
    });

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

    // The link makes the queue's connections to the window when it creates the queue.
    threadSerialport = new ThreadSerialport(this, [this](ThreadAdministrator *queue) {
        connectQueue(queue);
    });
    linkSession->attach(threadSerialport);
    connect(linkSession, &Session::serialStateChanged, this, &MainWindow::showSerialState);
    connect(linkSession, &Session::tcpStateChanged, this, &MainWindow::showTcpState);
    connect(linkSession, &Session::linkChanged, this, &MainWindow::showLinkChange);
    connect(linkSession, &Session::serialOpenFailed, this, &MainWindow::slotSerialPortOpenFailed);
    connect(linkSession, &Session::exchange, this, &MainWindow::showExchange);
    trafficViews->followSession(linkSession);
    connect(linkSession, &Session::notice, this, &MainWindow::showNotice);
    connect(linkSession, &Session::modelStatusChanged, this, &MainWindow::showModelStatus);
    connect(linkSession, &Session::deviceAddressChanged, this, &MainWindow::showDeviceAddress);
    auto *connectionStatus = new ConnectionStatus(
            linkSession, ui->label_connectionStatus,
            [this](LinkKind kind) { return kind == LinkKind::Serial ? serialEndpoint() : networkEndpoint(); },
            this);
    connect(connectionStatus, &ConnectionStatus::logLine, this,
            QOverload<QString, QColor>::of(&MainWindow::writeOutputWidget));
    threadSerialport->moveToThread(&serialThread);
    connect(&serialThread, &QThread::finished, threadSerialport, &QObject::deleteLater);

    connect(this, &MainWindow::writeSerialPort, threadSerialport,
            &ThreadSerialport::writeSerialPort);
    connect(this, &MainWindow::writeSerialPort_CRC16, threadSerialport,
            &ThreadSerialport::writeSerialPort_CRC16);
    connect(this, &MainWindow::threadSerialport_init, threadSerialport,
            &ThreadSerialport::initVariable, Qt::QueuedConnection);
    connect(this, &MainWindow::openSerialPort, threadSerialport,
            &ThreadSerialport::slot_openSerialPort);
    connect(this, &MainWindow::closeSerialPort, threadSerialport,
            &ThreadSerialport::slot_closeSerialPort);
    connect(threadSerialport, &ThreadSerialport::identify_deviceType, this,
            &MainWindow::identify_deviceType);
    connect(threadSerialport, &ThreadSerialport::serialPortsFound, this,
            &MainWindow::slotSerialPortsFound);
    connect(threadSerialport, &ThreadSerialport::serialPortError, this,
            &MainWindow::slotSerialPortError);

    initModuleCheck();
    serialThread.start(QThread::InheritPriority);
}

void MainWindow::initNoModelHint()
{
    noModelHint = new NoModelHint(ui->scrollAreaWidgetContents);
    ui->verticalLayout_panels->insertWidget(0, noModelHint);
    connect(noModelHint, &NoModelHint::identifyRequested, threadSerialport,
            &ThreadSerialport::identifyModule);
    // Made after the window's own connections, so each runs once the window has taken
    // the change in: a link opened or lost, a model chosen.
    const auto refresh = [this]() {
        noModelHint->showFor(session()->linkUp(), session()->model() >= 0);
    };
    connect(session(), &Session::stateChanged, this, refresh);
    connect(session(), &Session::modelChanged, this, refresh);
    connect(threadSerialport, &ThreadSerialport::identify_deviceType, this, refresh);
    for (QAction *action : qAsConst(modelActions))
        connect(action, &QAction::triggered, this, refresh);
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
    connect(queue, &ThreadAdministrator::readAnalogOuput, this,
            &MainWindow::showAnalogOutputReadBack);
    connect(queue, &ThreadAdministrator::checkSwitchStatus, outputsPanel,
            &SwitchOutputsPanel::poll);
    connect(queue, &ThreadAdministrator::allOpen, outputsPanel, &SwitchOutputsPanel::showAll);
    connect(queue, &ThreadAdministrator::creatCommunicationTimeOut, this,
            &MainWindow::creatCommunicationTimeOut);
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
    connectModuleCheck(queue);
}

QString MainWindow::serialEndpoint() const
{
    const QString parity = ui->parityCbb->currentIndex() == 1
        ? QStringLiteral("E")
        : ui->parityCbb->currentIndex() == 2 ? QStringLiteral("O") : QStringLiteral("N");
    return ui->comCbb->currentText() + QLatin1Char(' ') + ui->rateCbb->currentText()
        + QLatin1Char(' ') + ui->dataCbb->currentText() + parity + ui->stopCbb->currentText();
}

QString MainWindow::networkEndpoint() const
{
    return ui->lineEdit_localFarIP->text() + QLatin1Char(':')
        + ui->lineEdit_localfarPortNumber->text();
}

void MainWindow::slotLinkHealthChanged(const LinkHealth &health)
{
    linkHealthView->setHealth(health);
    // Three requests in a row unanswered: what the panels show is no longer known.
    if (health.consecutiveTimeouts >= 3 && !statesUnknown)
        showStatesUnknown(true);
}

void MainWindow::slotSerialPortsFound(QStringList names, QString chosen)
{
    QComboBox *box = ui->comCbb;
    const QString current = box->currentText();
    box->clear();
    box->addItems(names);
    if (!chosen.isEmpty() && names.contains(chosen))
        box->setCurrentText(chosen);
    else if (names.contains(current))
        box->setCurrentText(current);
}

void MainWindow::showSerialState()
{
    const bool open = session()->serialOpen();
    ui->switchBt->setText(open ? tr("Close", " 关闭 ") : tr("Open", " 打开 "));
    ui->label_serialState->setText(open ? tr("Connect", " 连接 ") : tr("DisConnect", " 断开 "));
}

void MainWindow::showTcpState()
{
    const Session *state = session();
    ui->label_network->setText(state->tcpConnected() ? tr("Connect", " 连接 ") : tr("DisConnect", " 断开 "));
    if (state->serialOpen())
        return;
    if (state->tcpState() == Session::LinkState::Reconnecting)
        linkHealthView->setReconnecting(state->reconnectSeconds());
    else if (state->tcpConnected())
        linkHealthView->setReconnecting(0);
}

void MainWindow::showLinkChange(LinkKind link)
{
    linkHealthView->setEndpoint(link == LinkKind::Serial ? serialEndpoint() : networkEndpoint());
    if (link == LinkKind::None) {
        outputsPanel->stopPolling();
        showStatesUnknown(false);
        return;
    }
    linkHealthView->setReconnecting(0);
    slotLinkUp();
}

void MainWindow::slotSerialPortOpenFailed(QString reason)
{
    writeOutputWidget(tr("Serial port open failed", "串口打开失败") + QStringLiteral(": ") + reason,
                      QColor(Qt::red));
    // Window-modal without a nested event loop: the link keeps running meanwhile.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("warning", "警告"),
                                tr("Serial port open failed", "串口打开失败"), QMessageBox::Ok,
                                this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("serialOpenFailedBox"));
    box->open();
}

void MainWindow::slotSerialPortError(QString reason, bool lost)
{
    if (!lost) {
        outputsPanel->stopPolling();
        return;
    }
    writeOutputWidget(tr("Serial port lost: %1", " 串口断开：%1 ").arg(reason), QColor(Qt::red));
}

void MainWindow::setProductControlsEnabled(bool enabled)
{
    for (QAction *action : switchModelMenu->actions())
        action->setEnabled(enabled);
    for (QAction *action : analogModelMenu->actions())
        action->setEnabled(enabled);
    ui->switchBt->setEnabled(enabled);
    timeoutAction->setEnabled(enabled);
}

void MainWindow::slotChangeTime()
{
    linkHealthView->tick();
    clockLabel->setText(Language::clockText(QDateTime::currentDateTime()));
}

void MainWindow::on_switchBt_clicked()
{
    ThreadSerialport *link = threadSerialport;
    if (ui->switchBt->text().contains(tr("Close", " 关闭 "))) {
        // The session hears from the link that the port closed; TCP then reconnects. The
        // button offers to open again at once, so a second click opens.
        ui->switchBt->setText(tr("Open", " 打开 "));
        emit closeSerialPort();
        outputsPanel->stopPolling();
        emit sendersClear(QString());
    } else if (ui->switchBt->text().contains(tr("Open", " 打开 "))) {
        ThreadSerialport::PortSettings settings;
        settings.portName = ui->comCbb->currentText();
        settings.baudRate = ui->rateCbb->currentText().toInt();
        settings.dataBits = ui->dataCbb->currentIndex() == 1 ? QSerialPort::Data7
                                                             : QSerialPort::Data8;
        settings.stopBits = ui->stopCbb->currentIndex() == 1 ? QSerialPort::TwoStop
                                                             : QSerialPort::OneStop;
        const int parity = ui->parityCbb->currentIndex();
        settings.parity = parity == 1 ? QSerialPort::EvenParity
                                      : parity == 2 ? QSerialPort::OddParity
                                                    : QSerialPort::NoParity;
        QMetaObject::invokeMethod(link, [link, settings]() { link->setPortSettings(settings); });
        emit openSerialPort();
    }
}

void MainWindow::tryConnectIp()
{
    remoteEditTimer.stop();
    const RemoteFields remote(ui->lineEdit_localFarIP->text(),
                              ui->lineEdit_localfarPortNumber->text());
    remoteRequested = remote.key;
    if (!remote.endpoint.valid()) {
        writeOutputWidget(remote.endpoint.error(), QColor(Qt::red));
        return;
    }
    const QString address = remote.endpoint.host.text;
    const quint16 port = remote.endpoint.port.number;
    if (!session()->serialOpen())
        linkHealthView->setEndpoint(remote.endpoint.text());
    ThreadSerialport *link = threadSerialport;
    QMetaObject::invokeMethod(link, [link, address, port]() { link->connectToModule(address, port); });
}

void MainWindow::settleRemoteEdit()
{
    remoteEditTimer.stop();
    const RemoteFields remote(ui->lineEdit_localFarIP->text(),
                              ui->lineEdit_localfarPortNumber->text());
    if (remote.key != remoteRequested)
        tryConnectIp();
}

void MainWindow::on_lineEdit_textEdited(QString arg1)
{
    // An empty field is an edit under way; the address stays what it was.
    if (arg1.trimmed().isEmpty())
        return;
    const int value = int(arg1.toUInt());
    const QString refusal = Session::addressRefusal(value);
    ui->lineEdit->setToolTip(refusal);
    ui->lineEdit->setStyleSheet(refusal.isEmpty() ? QString()
                                                  : QStringLiteral("QLineEdit { color: rgb(230, 50, 50); }"));
    if (!refusal.isEmpty()) {
        writeOutputWidget(refusal, QColor(Qt::red));
        flushLog();
        return;
    }
    session()->setDeviceAddress(value);
}

void MainWindow::showDeviceAddress(int address)
{
    const QString key = QStringLiteral("地址[") + QString::number(address) + QLatin1Char(']');
    addressTipLabel->setText(QtTools::instance()->configMap.value(key));
    linkHealthView->setDeviceAddress(address);
    if (address <= kAddressMaximum && int(ui->lineEdit->text().toUInt()) != address) {
        ui->lineEdit->setText(QString::number(address));
        ui->lineEdit->setToolTip(QString());
        ui->lineEdit->setStyleSheet(QString());
    }
}

void MainWindow::showIdentifiedAddress(const QString &address)
{
    session()->moduleAddressed(address);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        const int key = keyEvent->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched == ui->sendText) {
            on_sendBt_clicked();
            return true;
        }
        if (handleAnalogOutputKey(watched, keyEvent))
            return true;
    }
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
    trafficViews->stopRecording();
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
