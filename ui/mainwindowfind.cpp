#include "ui/mainwindow.h"
#include "ui/analoginputspanel.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"
#include "ui_mainwindow.h"

#include "check/modulefinder.h"
#include "protocol/remoteaddress.h"
#include "link/threadserialport.h"
#include "ui/findmoduledialog.h"

#include <QAction>
#include <QMetaObject>
#include <QPointer>
#include <QProgressDialog>

#include <algorithm>
#include <functional>

void MainWindow::createFindModuleAction()
{
    findModuleAction = new QAction(tr("Find module", " 查找模块 "), this);
    findModuleAction->setObjectName(QStringLiteral("action_findModule"));
    findModuleAction->setStatusTip(tr("Search the serial port or the remote address for modules.",
                                      " 在串口或远程地址上查找模块 "));
    connect(findModuleAction, &QAction::triggered, this, &MainWindow::slotFindModule);
}

void MainWindow::slotFindModule()
{
    if (findProgress)
        return;
    // The serial port when it is in use, or when the network is not; else the remote address.
    const bool serial = session()->serialOpen()
        || (session()->link() != LinkKind::Tcp && !ui->comCbb->currentText().isEmpty());
    ModuleFinder::SerialTarget target;
    RemoteAddress::Endpoint remote;
    if (serial) {
        target.portName = ui->comCbb->currentText();
        for (int i = 0; i < ui->rateCbb->count(); ++i)
            target.baudRates << ui->rateCbb->itemText(i).toInt();
        std::sort(target.baudRates.begin(), target.baudRates.end(), std::greater<int>());
        target.dataBits = ui->dataCbb->currentIndex() == 1 ? QSerialPort::Data7 : QSerialPort::Data8;
        target.stopBits = ui->stopCbb->currentIndex() == 1 ? QSerialPort::TwoStop
                                                           : QSerialPort::OneStop;
        const int parity = ui->parityCbb->currentIndex();
        target.parity = parity == 1 ? QSerialPort::EvenParity
                                    : parity == 2 ? QSerialPort::OddParity : QSerialPort::NoParity;
    } else {
        remote = RemoteAddress::parseEndpoint(ui->lineEdit_localFarIP->text(),
                                              ui->lineEdit_localfarPortNumber->text());
        if (!remote.valid()) {
            writeOutputWidget(remote.error(), QColor(Qt::red));
            return;
        }
    }

    // Polling and detection pause while the search has the line.
    findPause.serialWasOpen = session()->serialOpen();
    findPause.pollWasActive = outputsPanel->polling();
    findPause.inputDetecting = inputsPanel->detecting();
    findPause.analogDetecting = analogInputsPanel->detecting();
    outputsPanel->stopPolling();
    if (findPause.inputDetecting)
        on_pushButton_check_clicked();
    if (findPause.analogDetecting)
        on_pushButton_check_analog_in_clicked();

    if (!moduleFinder) {
        moduleFinder = new ModuleFinder(this);
        connect(moduleFinder, &ModuleFinder::finished, this,
                [this](ModuleFinder::Outcome outcome) { finishFindModule(outcome); });
    }
    findModuleAction->setEnabled(false);
    findProgress = new QProgressDialog(tr("Find module", " 查找模块 "), tr("Cancel", " 取消 "), 0,
                                       ModuleFinder::stepCount(serial ? target.baudRates.size() : 1), this);
    findProgress->setObjectName(QStringLiteral("findModuleProgress"));
    findProgress->setWindowTitle(tr("Find module", " 查找模块 "));
    findProgress->setWindowModality(Qt::WindowModal);
    findProgress->setAutoClose(false);
    findProgress->setAutoReset(false);
    findProgress->setMinimumDuration(0);
    QProgressDialog *progress = findProgress;
    connect(moduleFinder, &ModuleFinder::progress, progress,
            [progress](const QString &what, int step) {
                progress->setLabelText(what);
                progress->setValue(qMin(step, progress->maximum()));
            });
    connect(progress, &QProgressDialog::canceled, this, [this]() {
        if (moduleFinder->isRunning())
            moduleFinder->cancel();
    });
    progress->show();

    if (!serial) {
        // A short connection of its own: the link to the module stays as it is.
        moduleFinder->startTcp(remote.host.text, remote.port.number);
        return;
    }
    if (session()->serialOpen())
        on_switchBt_clicked();
    // The link closes the port in its own thread; the search opens it once that is done.
    ThreadSerialport *link = threadSerialport;
    QPointer<QProgressDialog> waiting = progress;
    QMetaObject::invokeMethod(link, [this, waiting, target]() {
        QMetaObject::invokeMethod(this, [this, waiting, target]() {
            if (!waiting)
                return;
            if (waiting->wasCanceled())
                finishFindModule(ModuleFinder::Cancelled);
            else
                moduleFinder->startSerial(target);
        });
    });
}

void MainWindow::finishFindModule(int outcome)
{
    if (findProgress) {
        moduleFinder->disconnect(findProgress);
        findProgress->close();
        findProgress->deleteLater();
        findProgress = nullptr;
    }
    findModuleAction->setEnabled(true);

    // The line goes back to the link as the operator left it, and polling resumes.
    if (findPause.serialWasOpen && ui->switchBt->text().contains(tr("Open", " 打开 ")))
        on_switchBt_clicked();
    if (findPause.inputDetecting && !inputsPanel->detecting())
        on_pushButton_check_clicked();
    if (findPause.analogDetecting && !analogInputsPanel->detecting())
        on_pushButton_check_analog_in_clicked();
    if (findPause.pollWasActive && outputCount != -1)
        outputsPanel->startPolling();
    findPause = FindPause();

    const QList<FoundModule> modules = moduleFinder->results();
    if (outcome == ModuleFinder::Cancelled) {
        writeOutputWidget(tr("Find module: cancelled", " 查找模块：已取消 "), QColor(Qt::darkYellow));
        return;
    }
    const QString error = outcome == ModuleFinder::Failed ? moduleFinder->errorString() : QString();
    if (!error.isEmpty())
        writeOutputWidget(tr("Find module: %1", " 查找模块：%1 ").arg(error), QColor(Qt::red));
    else if (modules.isEmpty())
        writeOutputWidget(tr("Find module: nothing found", " 查找模块：未找到 "), QColor(Qt::red));
    for (const FoundModule &module : modules) {
        writeOutputWidget(tr("Find module: %1 %2 %3, address %4 %5",
                             " 查找模块：%1 %2 %3，地址 %4 %5 ")
                              .arg(module.port,
                                   module.network ? QString() : QString::number(module.baudRate),
                                   module.framingText(), QString::number(module.address),
                                   module.modelText()),
                          QColor(0, 128, 0));
    }
    if (!findDialog) {
        findDialog = new FindModuleDialog(this);
        connect(findDialog, &FindModuleDialog::useRequested, this, &MainWindow::useFoundModule);
    }
    findDialog->showResults(modules, error);
    findDialog->open();
}

void MainWindow::useFoundModule(const FoundModule &module)
{
    if (!module.network) {
        if (ui->switchBt->text().contains(tr("Close", " 关闭 ")))
            on_switchBt_clicked();
        ui->comCbb->setCurrentText(module.port);
        ThreadSerialport *link = threadSerialport;
        const QString name = module.port;
        QMetaObject::invokeMethod(link, [link, name]() { link->portName = name; });
        ui->rateCbb->setCurrentText(QString::number(module.baudRate));
        ui->dataCbb->setCurrentIndex(module.dataBits == QSerialPort::Data7 ? 1 : 0);
        ui->stopCbb->setCurrentIndex(module.stopBits == QSerialPort::TwoStop ? 1 : 0);
        ui->parityCbb->setCurrentIndex(module.parity == QSerialPort::EvenParity
                                           ? 1
                                           : module.parity == QSerialPort::OddParity ? 2 : 0);
    }
    // What the search heard is this link's identity; the check need not ask again.
    identifiedType = module.typeCode;
    identifiedAddress = module.typeCode >= 0 ? module.address : -1;
    identifiedLink = module.network ? LinkKind::Tcp : LinkKind::Serial;
    ui->lineEdit->setText(QString::number(module.address));
    on_lineEdit_textEdited(ui->lineEdit->text());
    if (module.modelIndex >= 0 && module.modelIndex < modelActions.size())
        modelActions.at(module.modelIndex)->trigger();
    if (!module.network)
        on_switchBt_clicked();
    else if (session()->link() != LinkKind::Tcp)
        tryConnectIp();
}
