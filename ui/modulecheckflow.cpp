#include "ui/modulecheckflow.h"

#include "check/checkreport.h"
#include "check/checktexts.h"
#include "check/modulecheck.h"
#include "link/session.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "ui/analoginputspanel.h"
#include "ui/confirmation.h"
#include "ui/linkcontrolspanel.h"
#include "ui/modulecheckwindow.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"

#include <QAction>
#include <QColor>
#include <QMessageBox>
#include <QProgressDialog>

ModuleCheckFlow::ModuleCheckFlow(Session *session, ThreadSerialport *link, const Panels &panels,
                                 QAction *action, QWidget *window)
    : QObject(window), session(session), panels(panels), action(action), window(window)
{
    moduleCheck = new ModuleCheck(this);
    connect(moduleCheck, &ModuleCheck::write, this, &ModuleCheckFlow::request);
    connect(moduleCheck, &ModuleCheck::finished, this, &ModuleCheckFlow::finished);
    connect(action, &QAction::triggered, this, &ModuleCheckFlow::ask);
    connect(link, &ThreadSerialport::deviceAddressChange, this,
            [this](QString address, int) { identifiedAddress = int(address.toUInt(nullptr, 16)); });
    connect(link, &ThreadSerialport::identify_deviceType, this, [this](int code) {
        identifiedType = code;
        identifiedLink = this->session->link();
        moduleCheck->identified(identifiedAddress, code);
    });
    // An identity belongs to the link it was heard on; another module may be there next.
    // Opening the serial port closes TCP: an identity heard on the serial line stays.
    connect(link, &ThreadSerialport::serialPortError, this, [this](QString reason, bool lost) {
        if (!lost)
            return;
        forgetIdentity(LinkKind::Serial);
        moduleCheck->linkLost(reason);
    });
    connect(link, &ThreadSerialport::networkDisconnected, this, [this]() {
        forgetIdentity(LinkKind::Tcp);
        moduleCheck->linkLost(QStringLiteral("the module closed the connection"));
    });
    connect(moduleCheck, &ModuleCheck::identificationRequested, link,
            [link]() { link->writeSerialPort_CRC16(ModbusRequest::identificationRequest()); });
}

bool ModuleCheckFlow::running() const
{
    return moduleCheck->running();
}

// Runs in the link's thread while it creates the queue.
void ModuleCheckFlow::connectQueue(ThreadAdministrator *queue)
{
    connect(queue, &ThreadAdministrator::replyReceived, moduleCheck, &ModuleCheck::replyReceived);
    connect(queue, &ThreadAdministrator::requestFailed, moduleCheck, &ModuleCheck::requestFailed);
    connect(queue, &ThreadAdministrator::linkHealthChanged, moduleCheck, &ModuleCheck::setLinkHealth);
    connect(moduleCheck, &ModuleCheck::withdraw, queue, &ThreadAdministrator::sendersClear);
}

void ModuleCheckFlow::setIdentity(int typeCode, int address, LinkKind link)
{
    identifiedType = typeCode;
    identifiedAddress = typeCode >= 0 ? address : -1;
    identifiedLink = link;
}

void ModuleCheckFlow::serialClosed()
{
    forgetIdentity(LinkKind::Serial);
}

void ModuleCheckFlow::forgetIdentity(LinkKind gone)
{
    if (identifiedLink != gone)
        return;
    identifiedType = -1;
    identifiedAddress = -1;
    identifiedLink = LinkKind::None;
}

void ModuleCheckFlow::ask()
{
    if (moduleCheck->running())
        return;
    auto warn = [this](const QString &text) {
        auto *box = new QMessageBox(QMessageBox::Warning, tr("warning", " 警告 "), text, QMessageBox::Ok, window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setObjectName(QStringLiteral("moduleCheckRefusedBox"));
        box->open();
    };
    if (!session->linkUp())
        return warn(tr("Unable to check the module until it is connected.", " 模块未连接，无法检测。 "));
    const int modelIndex = session->model();
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    if (modelIndex < 0 || modelIndex >= models.size())
        return warn(tr("Choose the module's model first.", " 请先选择模块型号。 "));
    Confirmation::ask(window, QStringLiteral("moduleCheckConfirmBox"),
                      tr("The check switches every relay of %1 on and off and writes every "
                         "analog output: connected loads will move. Check the module now?",
                         " 检测将逐一切换 %1 的每个继电器并写入每路模拟量输出：所接负载会动作。现在检测吗？ ")
                          .arg(models.at(modelIndex).text()),
                      [this, modelIndex]() { start(modelIndex); });
}

void ModuleCheckFlow::start(int modelIndex)
{
    if (moduleCheck->running() || !session->linkUp())
        return;
    const QVector<ModelEntry> &models = ModelCatalogue::models();

    CheckSetup setup;
    setup.modelIndex = modelIndex;
    setup.network = !session->serialOpen() && session->link() == LinkKind::Tcp;
    setup.endpoint = panels.link->endpoint(setup.network ? LinkKind::Tcp : LinkKind::Serial);
    setup.baudRate = panels.link->portSettings().baudRate;
    setup.deviceAddress = session->deviceAddress();
    setup.identifiedType = identifiedType;
    setup.identifiedAddress = identifiedAddress;

    // The panels' polling would interleave with the check: paused until it is over.
    pause.outputPolling = panels.outputs->polling();
    pause.pollInterval = panels.outputs->pollInterval();
    pause.inputDetection = panels.inputs->detecting();
    pause.analogDetection = panels.analogInputs->detecting();
    panels.outputs->stopPolling();
    emit withdraw(ModbusRequest::kCheckStatus);
    emit withdraw(ModbusRequest::kStartDetecting);
    emit withdraw(ModbusRequest::kAnalogStartDetecting);

    progress = new QProgressDialog(tr("Module check", " 模块检测 "), tr("Cancel", " 取消 "), 0, 100, window);
    progress->setObjectName(QStringLiteral("moduleCheckProgress"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    connect(progress, &QProgressDialog::canceled, moduleCheck, &ModuleCheck::cancel);
    connect(moduleCheck, &ModuleCheck::progress, progress,
            [this](int done, int total, const QString &text) {
                progress->setMaximum(total);
                progress->setValue(qMin(done, total));
                progress->setLabelText(tr("Module check", " 模块检测 ") + QStringLiteral(": ") + text);
            });
    progress->show();
    action->setEnabled(false);
    emit logLine(tr("Module check started: %1", " 模块检测开始：%1 ").arg(models.at(modelIndex).text()),
                 QColor(Qt::blue));
    moduleCheck->start(setup);
}

void ModuleCheckFlow::finished(const CheckRun &run)
{
    if (progress) {
        progress->deleteLater();
        progress = nullptr;
    }
    action->setEnabled(true);
    if (pause.outputPolling && panels.outputs->count() >= 0)
        panels.outputs->startPolling(pause.pollInterval);
    if (pause.inputDetection)
        panels.inputs->restartDetection();
    if (pause.analogDetection)
        panels.analogInputs->restartDetection();
    emit logLine(tr("Module check: %1", " 模块检测：%1 ").arg(CheckReport::summaryLine(CheckTexts::translated(run))),
                 run.passed() ? QColor(0, 128, 0) : QColor(Qt::red));
    auto *report = new ModuleCheckWindow(run, window);
    report->show();
}
