#include "ui/stationwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "check/checkreport.h"
#include "check/checktexts.h"
#include "check/resultsstore.h"
#include "check/stationfiles.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "protocol/remoteaddress.h"
#include "ui/confirmation.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QListWidget>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSpinBox>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int kSerialPoints = 28;
constexpr int kVerdictPoints = 96;
constexpr int kBoardPoints = 22;
constexpr int kDetailPoints = 16;
constexpr int kFigurePoints = 20;
constexpr int kSettingsWidth = 400;
constexpr quint16 kDefaultPort = 8080;
constexpr int kDefaultBaud = 115200;
const QString kDefaultHost = QStringLiteral("192.168.1.80");
const QString kTcp = QStringLiteral("tcp");
const QString kSerial = QStringLiteral("serial");
const QStringList kReportSuffixes = { QStringLiteral(".html"), QStringLiteral(".xml") };

QString stored(const char *key)
{
    return QtTools::instance()->configMap.value(QLatin1String(key));
}

void keep(const char *key, const QString &value)
{
    QtTools::instance()->setValue(QLatin1String(key), value);
}

QFont sized(const QFont &base, int points, bool bold = true)
{
    QFont font = base;
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

} // namespace

StationWindow::StationWindow(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(tr("Production station", " 生产测试站 "));
    setObjectName(QStringLiteral("StationWindow"));

    serialEdit = new QLineEdit;
    serialEdit->setObjectName(QStringLiteral("lineEdit_serialNumber"));
    serialEdit->setFont(sized(font(), kSerialPoints));
    serialEdit->setPlaceholderText(tr("Scan the serial number", " 扫描序列号 "));
    connect(serialEdit, &QLineEdit::returnPressed, this, &StationWindow::scanned);

    verdictLabel = new QLabel;
    verdictLabel->setObjectName(QStringLiteral("label_verdict"));
    verdictLabel->setFont(sized(font(), kVerdictPoints));
    verdictLabel->setAlignment(Qt::AlignCenter);
    verdictLabel->setMinimumHeight(verdictLabel->fontMetrics().height() + 24);
    boardLabel = new QLabel;
    boardLabel->setObjectName(QStringLiteral("label_board"));
    boardLabel->setFont(sized(font(), kBoardPoints));
    boardLabel->setAlignment(Qt::AlignCenter);
    boardLabel->setWordWrap(true);
    detailList = new QListWidget;
    detailList->setObjectName(QStringLiteral("listWidget_details"));
    detailList->setFont(sized(font(), kDetailPoints, false));
    detailList->setWordWrap(true);
    detailList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    queueLabel = new QLabel;
    queueLabel->setObjectName(QStringLiteral("label_queue"));
    queueLabel->setFont(sized(font(), kDetailPoints));
    queueLabel->setStyleSheet(QStringLiteral("color: #b35c00;"));
    queueLabel->hide();

    auto *figures = new QHBoxLayout;
    const auto figure = [this, figures](const QString &name) {
        auto *label = new QLabel;
        label->setObjectName(name);
        label->setFont(sized(font(), kFigurePoints));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::StyledPanel);
        figures->addWidget(label);
        return label;
    };
    testedLabel = figure(QStringLiteral("label_tested"));
    passedLabel = figure(QStringLiteral("label_passed"));
    failedLabel = figure(QStringLiteral("label_failed"));
    yieldLabel = figure(QStringLiteral("label_yield"));

    auto *line = new QVBoxLayout;
    line->addWidget(serialEdit);
    line->addWidget(verdictLabel);
    line->addWidget(boardLabel);
    line->addWidget(detailList, 1);
    line->addWidget(queueLabel);
    line->addLayout(figures);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(buildSettings());
    layout->addLayout(line, 1);

    m_finder = new ModuleFinder(this);
    connect(m_finder, &ModuleFinder::finished, this, &StationWindow::identified);
    m_connectTimer = new QTimer(this);
    m_connectTimer->setSingleShot(true);
    connect(m_connectTimer, &QTimer::timeout, this, [this]() {
        refuse(tr("NO CONNECTION", " 无法连接 "),
               tr("No connection to %1", " 无法连接 %1 ").arg(m_setup.endpoint));
    });
    m_storeThread = new QThread(this);
    m_storeContext = new QObject;
    m_storeContext->moveToThread(m_storeThread);
    connect(m_storeThread, &QThread::finished, m_storeContext, &QObject::deleteLater);
    m_storeThread->start();
    m_deliveryTimer = new QTimer(this);
    connect(m_deliveryTimer, &QTimer::timeout, this, &StationWindow::deliverQueued);
    m_deliveryTimer->start(kDeliveryIntervalMs);

    loadSettings();
    showState(Shown::Idle, tr("READY", " 就绪 "));
    showFigures();
    resize(1280, 720);
    serialEdit->setFocus();
}

StationWindow::~StationWindow()
{
    m_busy = false;
    m_finder->cancel();
    tearDownLink();
    QMetaObject::invokeMethod(m_storeContext, [this]() { delete m_store; }, Qt::BlockingQueuedConnection);
    m_storeThread->quit();
    m_storeThread->wait();
}

QWidget *StationWindow::buildSettings()
{
    auto *box = new QGroupBox(tr("Station settings", " 测试站设置 "));
    box->setMaximumWidth(kSettingsWidth);
    auto *form = new QFormLayout(box);

    linkCombo = new QComboBox;
    linkCombo->setObjectName(QStringLiteral("comboBox_link"));
    linkCombo->addItem(tr("TCP", " 网络 "), kTcp);
    linkCombo->addItem(tr("Serial port", " 串口 "), kSerial);
    hostEdit = new QLineEdit;
    hostEdit->setObjectName(QStringLiteral("lineEdit_host"));
    portSpin = new QSpinBox;
    portSpin->setObjectName(QStringLiteral("spinBox_port"));
    portSpin->setRange(1, 65535);
    serialPortCombo = new QComboBox;
    serialPortCombo->setObjectName(QStringLiteral("comboBox_serialPort"));
    serialPortCombo->setEditable(true);
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        serialPortCombo->addItem(info.systemLocation());
    baudCombo = new QComboBox;
    baudCombo->setObjectName(QStringLiteral("comboBox_baud"));
    for (int rate : { 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 })
        baudCombo->addItem(QString::number(rate), rate);
    modelCombo = new QComboBox;
    modelCombo->setObjectName(QStringLiteral("comboBox_model"));
    modelCombo->addItem(tr("From the module's identification", " 按模块识别 "), -1);
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (int i = 0; i < models.size(); ++i)
        modelCombo->addItem(models.at(i).text(), i);
    reportFolderEdit = new QLineEdit;
    reportFolderEdit->setObjectName(QStringLiteral("lineEdit_reportFolder"));
    auto *browse = new QPushButton(tr("Choose…", " 选择… "));
    connect(browse, &QPushButton::clicked, this, [this]() {
        const QString folder = QFileDialog::getExistingDirectory(this, tr("Report folder", " 报告文件夹 "),
                                                                 reportFolderEdit->text());
        if (!folder.isEmpty())
            reportFolderEdit->setText(folder);
    });
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(reportFolderEdit, 1);
    folderRow->addWidget(browse);
    resultsEdit = new QLineEdit;
    resultsEdit->setObjectName(QStringLiteral("lineEdit_results"));
    resultsEdit->setPlaceholderText(tr("sqlite:PATH or postgresql://USER@HOST:PORT/DB",
                                       " sqlite:路径 或 postgresql://用户@主机:端口/库 "));
    stationEdit = new QLineEdit;
    stationEdit->setObjectName(QStringLiteral("lineEdit_station"));
    operatorEdit = new QLineEdit;
    operatorEdit->setObjectName(QStringLiteral("lineEdit_operator"));

    form->addRow(tr("Link", " 连接方式 "), linkCombo);
    form->addRow(tr("Remote IP", " 远程IP "), hostEdit);
    form->addRow(tr("Remote port", " 远程端口 "), portSpin);
    form->addRow(tr("Serial port", " 串口 "), serialPortCombo);
    form->addRow(tr("Baud rate", " 波特率 "), baudCombo);
    form->addRow(tr("Model", " 型号 "), modelCombo);
    form->addRow(tr("Report folder", " 报告文件夹 "), folderRow);
    form->addRow(tr("Results store", " 结果库 "), resultsEdit);
    form->addRow(tr("Station", " 测试站 "), stationEdit);
    form->addRow(tr("Operator", " 操作员 "), operatorEdit);
    return box;
}

void StationWindow::loadSettings()
{
    linkCombo->setCurrentIndex(qMax(0, linkCombo->findData(stored(kLinkKey))));
    hostEdit->setText(stored(kHostKey).isEmpty() ? kDefaultHost : stored(kHostKey));
    portSpin->setValue(stored(kPortKey).isEmpty() ? kDefaultPort : stored(kPortKey).toInt());
    if (!stored(kSerialPortKey).isEmpty())
        serialPortCombo->setCurrentText(stored(kSerialPortKey));
    const int baud = stored(kBaudKey).isEmpty() ? kDefaultBaud : stored(kBaudKey).toInt();
    baudCombo->setCurrentIndex(qMax(0, baudCombo->findData(baud)));
    modelCombo->setCurrentIndex(qMax(0, modelCombo->findData(ModelCatalogue::indexOf(stored(kModelKey)))));
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    reportFolderEdit->setText(stored(kReportFolderKey).isEmpty() ? data + QStringLiteral("/reports")
                                                                 : stored(kReportFolderKey));
    resultsEdit->setText(stored(kResultsKey));
    stationEdit->setText(stored(kNameKey).isEmpty() ? QSysInfo::machineHostName() : stored(kNameKey));
    operatorEdit->setText(stored(kOperatorKey).isEmpty() ? qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME")) : stored(kOperatorKey));
}

void StationWindow::keepSettings()
{
    keep(kLinkKey, linkCombo->currentData().toString());
    keep(kHostKey, hostEdit->text().trimmed());
    keep(kPortKey, QString::number(portSpin->value()));
    keep(kSerialPortKey, serialPortCombo->currentText().trimmed());
    keep(kBaudKey, baudCombo->currentData().toString());
    const int model = modelCombo->currentData().toInt();
    keep(kModelKey, model < 0 ? QString() : QString::fromLatin1(ModelCatalogue::models().at(model).english));
    keep(kReportFolderKey, reportFolderEdit->text().trimmed());
    keep(kResultsKey, resultsEdit->text().trimmed());
    keep(kNameKey, stationEdit->text().trimmed());
    keep(kOperatorKey, operatorEdit->text().trimmed());
    QtTools::instance()->saveEverything();
}

void StationWindow::addSerialPortPath(const QString &path)
{
    if (serialPortCombo->findText(path) < 0)
        serialPortCombo->addItem(path);
}

void StationWindow::scanned()
{
    const QString serial = serialEdit->text().trimmed();
    // While the arming question is open, another Enter neither asks again nor starts a run.
    if (m_busy || serial.isEmpty() || findChild<QMessageBox *>(QStringLiteral("stationArmQuestion")))
        return;
    keepSettings();
    if (m_armed)
        return begin(serial);
    // Once per session: every scan after this one switches the relays without asking.
    Confirmation::ask(
        this, QStringLiteral("stationArmQuestion"),
        tr("From now on every scan checks the board on the fixture: every relay is switched, and "
           "loads connected to it will move. The check puts the outputs back afterwards.\n\n"
           "Arm the station?",
           " 从现在起每次扫描都会检测治具上的板卡：每个继电器都会动作，所接负载会动作。检测结束后输出会恢复。\n\n"
           "启用测试站？ "),
        [this, serial]() {
            m_armed = true;
            // The scanner types into the field: the station takes the keyboard back.
            activateWindow();
            serialEdit->setFocus();
            begin(serial);
        });
}

void StationWindow::begin(const QString &serial)
{
    if (m_busy)
        return;
    m_busy = true;
    m_serial = serial;
    serialEdit->setReadOnly(true);
    showState(Shown::Testing, tr("TESTING", " 检测中 "));
    queueLabel->setVisible(false);

    m_setup = CheckSetup();
    if (linkCombo->currentData().toString() == kTcp) {
        const RemoteAddress::Host host = RemoteAddress::parseHost(hostEdit->text().trimmed());
        if (!host.valid)
            return refuse(tr("NO CONNECTION", " 无法连接 "), host.error);
        m_setup.network = true;
        m_setup.endpoint = host.text + QLatin1Char(':') + QString::number(portSpin->value());
        m_finder->startTcp(host.text, quint16(portSpin->value()));
    } else {
        ModuleFinder::SerialTarget target;
        target.portName = serialPortCombo->currentText().trimmed();
        target.baudRates = { baudCombo->currentData().toInt() };
        if (target.portName.isEmpty())
            return refuse(tr("NO CONNECTION", " 无法连接 "), tr("No serial port chosen", " 未选择串口 "));
        m_setup.endpoint = QStringLiteral("%1 %2 8N1").arg(target.portName).arg(target.baudRates.first());
        m_setup.baudRate = target.baudRates.first();
        m_finder->startSerial(target);
    }
}

void StationWindow::identified(ModuleFinder::Outcome outcome)
{
    if (!m_busy)
        return;
    const QList<FoundModule> found = m_finder->results();
    if (outcome != ModuleFinder::Completed || found.isEmpty()) {
        const QString reason = m_finder->errorString().isEmpty()
                                   ? tr("No module answered at %1", " %1 处没有模块应答 ").arg(m_setup.endpoint)
                                   : m_finder->errorString();
        return refuse(tr("NO CONNECTION", " 无法连接 "), reason);
    }
    const FoundModule &module = found.first();
    m_setup.deviceAddress = module.address;
    if (module.how == FoundModule::ByIdentification) {
        m_setup.identifiedAddress = module.address;
        m_setup.identifiedType = module.typeCode;
    }
    const int chosen = modelCombo->currentData().toInt();
    const int byCode = ModelCatalogue::indexForTypeCode(module.typeCode);
    if (chosen < 0 && byCode < 0) {
        return refuse(tr("NOT IDENTIFIED", " 未识别 "),
                      module.typeCode < 0
                          ? tr("The module did not identify itself; choose its model in the station settings.",
                               " 模块未报告身份；请在测试站设置中选择型号。 ")
                          : tr("Type code %1 is not in the catalogue; choose the model in the station settings.",
                               " 类型码 %1 不在型号表中；请在测试站设置中选择型号。 ")
                                .arg(module.typeCode));
    }
    // A board that says it is another model is not switched at all.
    if (chosen >= 0 && byCode >= 0 && byCode != chosen) {
        return refuse(tr("WRONG MODEL", " 型号不符 "),
                      tr("The module identifies itself as %1, not %2.", " 模块报告为 %1，而不是 %2。 ")
                          .arg(ModelCatalogue::models().at(byCode).text(),
                               ModelCatalogue::models().at(chosen).text()));
    }
    m_setup.modelIndex = chosen >= 0 ? chosen : byCode;
    connectLink();
}

void StationWindow::connectLink()
{
    m_check = new ModuleCheck(this);
    connect(m_check, &ModuleCheck::finished, this, &StationWindow::checkFinished);
    connect(m_check, &ModuleCheck::progress, this, [this](int done, int total, const QString &) {
        boardLabel->setText(tr("%1 — step %2 of %3", " %1 — 第 %2 步，共 %3 步 ").arg(m_serial).arg(done).arg(total));
    });
    ModuleCheck *check = m_check;
    auto *link = new ThreadSerialport(nullptr, [check](ThreadAdministrator *queue) {
        QObject::connect(check, &ModuleCheck::write, queue, &ThreadAdministrator::write);
        QObject::connect(queue, &ThreadAdministrator::replyReceived, check, &ModuleCheck::replyReceived);
        QObject::connect(queue, &ThreadAdministrator::requestFailed, check, &ModuleCheck::requestFailed);
        QObject::connect(queue, &ThreadAdministrator::linkHealthChanged, check, &ModuleCheck::setLinkHealth);
        QObject::connect(check, &ModuleCheck::withdraw, queue, &ThreadAdministrator::sendersClear);
    });
    m_link = link;
    m_linkAddress = -1;
    m_linkThread = new QThread(this);
    link->moveToThread(m_linkThread);
    connect(m_linkThread, &QThread::finished, link, &QObject::deleteLater);
    const auto connected = [this]() {
        if (!m_connectTimer->isActive())
            return;
        m_connectTimer->stop();
        m_check->start(m_setup);
    };
    const auto failed = [this](const QString &reason) {
        if (!m_connectTimer->isActive())
            return;
        m_connectTimer->stop();
        refuse(tr("NO CONNECTION", " 无法连接 "), reason);
    };
    // A module found by the sweep has not said who it is: the check asks it on the link.
    connect(link, &ThreadSerialport::deviceAddressChange, this,
            [this](QString text, int) { m_linkAddress = int(text.toUInt(nullptr, 16)); });
    connect(link, &ThreadSerialport::identify_deviceType, this, [this](int code) {
        if (m_check)
            m_check->identified(m_linkAddress, code);
    });
    connect(m_check, &ModuleCheck::identificationRequested, link,
            [link]() { link->writeSerialPort_CRC16(ModbusRequest::identificationRequest()); });
    const auto lost = [this](const QString &reason) {
        if (m_check && m_check->running())
            m_check->linkLost(reason);
    };
    connect(link, &ThreadSerialport::serialPortError, this, [lost](QString reason, bool gone) {
        if (gone)
            lost(reason);
    });
    connect(link, &ThreadSerialport::networkDisconnected, this,
            [lost]() { lost(QStringLiteral("the module closed the connection")); });
    connect(link, &ThreadSerialport::networkConnected, this, connected);
    connect(link, &ThreadSerialport::serialPortOpened, this, connected);
    connect(link, &ThreadSerialport::networkReconnecting, this, [this, failed, lost](int) {
        lost(QStringLiteral("no connection"));
        failed(tr("No connection to %1", " 无法连接 %1 ").arg(m_setup.endpoint));
    });
    connect(link, &ThreadSerialport::serialPortOpenFailed, this, failed);
    m_linkThread->start();

    const QString address = QStringLiteral("%1").arg(m_setup.deviceAddress, 2, 16, QLatin1Char('0')).toUpper();
    const bool network = m_setup.network;
    const QString host = hostEdit->text().trimmed();
    const quint16 port = quint16(portSpin->value());
    ThreadSerialport::PortSettings settings;
    settings.portName = serialPortCombo->currentText().trimmed();
    settings.baudRate = baudCombo->currentData().toInt();
    m_connectTimer->start(kConnectWaitMs);
    QMetaObject::invokeMethod(link, [link, address, network, host, port, settings]() {
        link->initVariable();
        link->setDeviceAddress(address);
        if (network) {
            link->connectToModule(host, port);
        } else {
            link->addExtraPortPath(settings.portName);
            link->setPortSettings(settings);
            link->slot_openSerialPort();
        }
    });
}

void StationWindow::checkFinished(const CheckRun &run)
{
    tearDownLink();
    QStringList details;
    for (const CheckStep &step : CheckTexts::translated(run).steps) {
        if (step.result == CheckStep::Fail)
            details << QStringLiteral("%1 / %2: %3 %4, %5 %6")
                           .arg(step.group, step.name, tr("expected", " 应为 "), step.expected,
                                tr("read", " 读到 "), step.read);
    }

    // The evidence: both reports under the serial number, then the record.
    QStringList lost;
    const QString folder = reportFolderEdit->text().trimmed();
    QString html, junit;
    if (!QDir().mkpath(folder)) {
        lost << tr("The report folder %1 cannot be made", " 无法创建报告文件夹 %1 ").arg(folder);
    } else {
        const QString base = StationFiles::freeBaseName(
            folder, StationFiles::baseName(m_serial, run.started.toLocalTime()), kReportSuffixes);
        html = QDir(folder).filePath(base + kReportSuffixes.at(0));
        junit = QDir(folder).filePath(base + kReportSuffixes.at(1));
        QString error;
        if (!CheckReport::save(html, CheckReport::html(run), &error)) {
            lost << tr("Report %1 not written: %2", " 报告 %1 未写入：%2 ").arg(html, error);
            html.clear();
        }
        if (!CheckReport::save(junit, CheckReport::junit(run), &error)) {
            lost << tr("Report %1 not written: %2", " 报告 %1 未写入：%2 ").arg(junit, error);
            junit.clear();
        }
    }
    RunRecord record = RunRecord::fromCheck(run, m_serial);
    record.station = stationEdit->text().trimmed();
    record.operatorName = operatorEdit->text().trimmed();
    record.htmlReport = html;
    record.junitReport = junit;
    m_pendingPassed = run.passed();
    m_pendingDetails = details;
    m_pendingLost = lost;
    withStore([this, record](ResultsStore *store) {
        const ResultsStore::Delivery delivery = store->record(record);
        const QString error = delivery.outcome == ResultsStore::Outcome::Failed ? delivery.error : QString();
        const int waiting = delivery.waiting;
        QMetaObject::invokeMethod(this, [this, error, waiting]() { recorded(error, waiting); },
                                  Qt::QueuedConnection);
    });
}

void StationWindow::recorded(const QString &error, int waiting)
{
    QStringList lost = m_pendingLost;
    if (!error.isEmpty())
        lost << tr("The run was not recorded: %1", " 本次检测未记录：%1 ").arg(error);
    showQueue(waiting);
    countBoard(m_serial, m_pendingPassed);
    if (!m_pendingPassed)
        showState(Shown::Fail, tr("FAIL", " 不合格 "), m_pendingDetails + lost);
    else if (!lost.isEmpty())
        showState(Shown::Error, tr("NOT RECORDED", " 未记录 "), lost);
    else
        showState(Shown::Pass, tr("PASS", " 合格 "));
    endScan();
}

void StationWindow::refuse(const QString &headline, const QString &reason)
{
    m_busy = false; // the finder's own end, should it be cancelled here, is not a second refusal
    m_finder->cancel();
    tearDownLink();
    showState(Shown::Error, headline, { reason });
    endScan();
}

void StationWindow::showState(Shown state, const QString &headline, const QStringList &details)
{
    static const QHash<int, QString> colours = {
        { int(Shown::Idle), QStringLiteral("#5f6368") },  { int(Shown::Testing), QStringLiteral("#1a5fb4") },
        { int(Shown::Pass), QStringLiteral("#1b8a3a") },  { int(Shown::Fail), QStringLiteral("#c62828") },
        { int(Shown::Error), QStringLiteral("#c62828") },
    };
    static const QHash<int, QString> names = {
        { int(Shown::Idle), QStringLiteral("idle") }, { int(Shown::Testing), QStringLiteral("testing") },
        { int(Shown::Pass), QStringLiteral("pass") }, { int(Shown::Fail), QStringLiteral("fail") },
        { int(Shown::Error), QStringLiteral("error") },
    };
    verdictLabel->setText(headline);
    verdictLabel->setProperty("verdict", names.value(int(state)));
    verdictLabel->setStyleSheet(QStringLiteral("color: white; background: %1; border-radius: 8px;")
                                    .arg(colours.value(int(state))));
    boardLabel->setText(m_serial);
    detailList->clear();
    for (const QString &detail : details) {
        auto *item = new QListWidgetItem(detail, detailList);
        if (state == Shown::Fail || state == Shown::Error)
            item->setForeground(QColor(QStringLiteral("#c62828")));
    }
}

void StationWindow::endScan()
{
    m_busy = false;
    serialEdit->clear();
    serialEdit->setReadOnly(false);
    serialEdit->setFocus();
    if (m_check) {
        m_check->deleteLater();
        m_check = nullptr;
    }
    emit scanFinished();
}

void StationWindow::tearDownLink()
{
    m_connectTimer->stop();
    if (!m_linkThread)
        return;
    m_linkThread->quit();
    m_linkThread->wait();
    delete m_linkThread;
    m_linkThread = nullptr;
}

void StationWindow::countBoard(const QString &serial, bool passed)
{
    auto board = m_boards.find(serial);
    if (board == m_boards.end())
        m_boards.insert(serial, qMakePair(passed, passed));
    else
        board->second = passed;
    showFigures();
}

void StationWindow::showFigures()
{
    int passed = 0, firstPass = 0;
    for (const QPair<bool, bool> &board : qAsConst(m_boards)) {
        firstPass += board.first ? 1 : 0;
        passed += board.second ? 1 : 0;
    }
    const int tested = m_boards.size();
    testedLabel->setText(tr("Tested %1", " 已测 %1 ").arg(tested));
    passedLabel->setText(tr("Passed %1", " 合格 %1 ").arg(passed));
    failedLabel->setText(tr("Failed %1", " 不合格 %1 ").arg(tested - passed));
    yieldLabel->setText(tr("First-pass yield %1 %", " 一次通过率 %1 % ")
                            .arg(tested ? QString::number(100.0 * firstPass / tested, 'f', 1)
                                        : QStringLiteral("–")));
}

void StationWindow::showQueue(int waiting)
{
    queueLabel->setText(tr("queued: %1 waiting", " 排队：%1 条待送 ").arg(waiting));
    queueLabel->setVisible(waiting > 0);
}

void StationWindow::withStore(const std::function<void(ResultsStore *store)> &work)
{
    const QString text = resultsEdit->text().trimmed();
    const bool renew = !m_storeMade || text != m_storeText;
    m_storeMade = true;
    m_storeText = text;
    QMetaObject::invokeMethod(m_storeContext, [this, text, renew, work]() {
        if (renew) {
            delete m_store;
            m_store = new ResultsStore(StoreLocation::parse(text.isEmpty() ? StoreLocation::defaultPath() : text));
        }
        work(m_store);
    });
}

void StationWindow::deliverQueued()
{
    if (m_busy || StoreLocation::parse(resultsEdit->text().trimmed()).kind != StoreLocation::Postgresql)
        return;
    withStore([this](ResultsStore *store) {
        store->deliverQueued();
        const int waiting = store->waiting();
        QMetaObject::invokeMethod(this, [this, waiting]() { showQueue(waiting); }, Qt::QueuedConnection);
    });
}
