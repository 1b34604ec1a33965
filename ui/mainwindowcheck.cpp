#include "ui/mainwindow.h"
#include "ui/analoginputspanel.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"

#include "check/checktexts.h"
#include "check/checkreport.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "check/modulecheck.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/confirmation.h"
#include "ui/modulecheckwindow.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QProgressDialog>

void MainWindow::initModuleCheck()
{
    moduleCheck = new ModuleCheck(this);
    connect(moduleCheck, &ModuleCheck::write, this, &MainWindow::write);
    connect(moduleCheck, &ModuleCheck::finished, this, &MainWindow::moduleCheckFinished);
    connect(threadSerialport, &ThreadSerialport::deviceAddressChange, this,
            [this](QString address, int) { identifiedAddress = int(address.toUInt(nullptr, 16)); });
    connect(threadSerialport, &ThreadSerialport::identify_deviceType, this, [this](int code) {
        identifiedType = code;
        identifiedLink = session()->link();
        moduleCheck->identified(identifiedAddress, code);
    });
    // An identity belongs to the link it was heard on; another module may be there next.
    // Opening the serial port closes TCP: an identity heard on the serial line stays.
    auto forgetIdentity = [this](LinkKind gone) {
        if (identifiedLink != gone)
            return;
        identifiedType = -1;
        identifiedAddress = -1;
        identifiedLink = LinkKind::None;
    };
    connect(this, &MainWindow::closeSerialPort, this, [forgetIdentity]() { forgetIdentity(LinkKind::Serial); });
    connect(threadSerialport, &ThreadSerialport::serialPortError, this,
            [this, forgetIdentity](QString reason, bool lost) {
                if (!lost)
                    return;
                forgetIdentity(LinkKind::Serial);
                moduleCheck->linkLost(reason);
            });
    connect(threadSerialport, &ThreadSerialport::networkDisconnected, this, [this, forgetIdentity]() {
        forgetIdentity(LinkKind::Tcp);
        moduleCheck->linkLost(QStringLiteral("the module closed the connection"));
    });
    ThreadSerialport *link = threadSerialport;
    connect(moduleCheck, &ModuleCheck::identificationRequested, link,
            [link]() { link->writeSerialPort_CRC16(ModbusRequest::identificationRequest()); });
}

// Runs in the link's thread while it creates the queue.
void MainWindow::connectModuleCheck(ThreadAdministrator *queue)
{
    connect(queue, &ThreadAdministrator::replyReceived, moduleCheck, &ModuleCheck::replyReceived);
    connect(queue, &ThreadAdministrator::requestFailed, moduleCheck, &ModuleCheck::requestFailed);
    connect(queue, &ThreadAdministrator::linkHealthChanged, moduleCheck, &ModuleCheck::setLinkHealth);
    connect(moduleCheck, &ModuleCheck::withdraw, queue, &ThreadAdministrator::sendersClear);
}

int MainWindow::currentModelIndex() const
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (int i = 0; i < models.size(); ++i) {
        const ModelEntry &m = models.at(i);
        if (m.outputCount == outputCount && m.inputCount == inputCount
            && m.voltageOutputCount == voltageOutputCount && m.currentOutputCount == currentOutputCount
            && m.voltageInputCount == voltageInputCount && m.currentInputCount == currentInputCount)
            return i;
    }
    return -1;
}

QString MainWindow::currentModelText() const
{
    const int index = currentModelIndex();
    return index >= 0 ? ModelCatalogue::models().at(index).text() : QString();
}

void MainWindow::slotModuleCheck()
{
    if (moduleCheck->running())
        return;
    auto warn = [this](const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, tr("warning", " 警告 "), text, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("moduleCheckRefusedBox"));
        box->open();
    };
    if (!session()->linkUp())
        return warn(tr("Unable to check the module until it is connected.", " 模块未连接，无法检测。 "));
    const int modelIndex = currentModelIndex();
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    if (modelIndex < 0)
        return warn(tr("Choose the module's model first.", " 请先选择模块型号。 "));
    Confirmation::ask(this, QStringLiteral("moduleCheckConfirmBox"),
                      tr("The check switches every relay of %1 on and off and writes every "
                         "analog output: connected loads will move. Check the module now?",
                         " 检测将逐一切换 %1 的每个继电器并写入每路模拟量输出：所接负载会动作。现在检测吗？ ")
                          .arg(models.at(modelIndex).text()),
                      [this, modelIndex]() { startModuleCheck(modelIndex); });
}

void MainWindow::startModuleCheck(int modelIndex)
{
    if (moduleCheck->running() || !session()->linkUp())
        return;
    const QVector<ModelEntry> &models = ModelCatalogue::models();

    CheckSetup setup;
    setup.modelIndex = modelIndex;
    setup.network = !session()->serialOpen() && session()->link() == LinkKind::Tcp;
    setup.endpoint = setup.network ? networkEndpoint() : serialEndpoint();
    setup.baudRate = ui->rateCbb->currentText().toInt();
    setup.deviceAddress = session()->deviceAddress();
    setup.identifiedType = identifiedType;
    setup.identifiedAddress = identifiedAddress;

    // The panels' polling would interleave with the check: paused until it is over.
    checkPause.outputPolling = outputsPanel->polling();
    checkPause.pollInterval = outputsPanel->pollInterval();
    checkPause.inputDetection = inputsPanel->detecting();
    checkPause.analogDetection = analogInputsPanel->detecting();
    outputsPanel->stopPolling();
    emit sendersClear(ModbusRequest::kCheckStatus);
    emit sendersClear(ModbusRequest::kStartDetecting);
    emit sendersClear(ModbusRequest::kAnalogStartDetecting);

    checkProgress = new QProgressDialog(tr("Module check", " 模块检测 "), tr("Cancel", " 取消 "), 0, 100, this);
    checkProgress->setObjectName(QStringLiteral("moduleCheckProgress"));
    checkProgress->setWindowModality(Qt::WindowModal);
    checkProgress->setAutoClose(false);
    checkProgress->setAutoReset(false);
    checkProgress->setMinimumDuration(0);
    connect(checkProgress, &QProgressDialog::canceled, moduleCheck, &ModuleCheck::cancel);
    connect(moduleCheck, &ModuleCheck::progress, checkProgress,
            [this](int done, int total, const QString &text) {
                checkProgress->setMaximum(total);
                checkProgress->setValue(qMin(done, total));
                checkProgress->setLabelText(tr("Module check", " 模块检测 ") + QStringLiteral(": ") + text);
            });
    checkProgress->show();
    moduleCheckAction->setEnabled(false);
    writeOutputWidget(tr("Module check started: %1", " 模块检测开始：%1 ").arg(models.at(modelIndex).text()),
                      QColor(Qt::blue));
    moduleCheck->start(setup);
}

void MainWindow::moduleCheckFinished(const CheckRun &run)
{
    if (checkProgress) {
        checkProgress->deleteLater();
        checkProgress = nullptr;
    }
    moduleCheckAction->setEnabled(true);
    if (checkPause.outputPolling && outputCount != -1)
        outputsPanel->startPolling(checkPause.pollInterval);
    if (checkPause.inputDetection)
        inputsPanel->restartDetection();
    if (checkPause.analogDetection)
        analogInputsPanel->restartDetection();
    writeOutputWidget(tr("Module check: %1", " 模块检测：%1 ").arg(CheckReport::summaryLine(CheckTexts::translated(run))),
                      run.passed() ? QColor(0, 128, 0) : QColor(Qt::red));
    auto *window = new ModuleCheckWindow(run, this);
    window->show();
}
