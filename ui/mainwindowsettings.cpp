#include "ui/mainwindow.h"

#include "protocol/modbusrequest.h"
#include "protocol/sender.h"
#include "ui/communicationtimeout.h"
#include "ui/helpwidget.h"
#include "ui/namesetting.h"
#include "ui/networkwindow.h"

#include <QMessageBox>

// The main window's side of the settings windows: opening them and the requests
// that need no window of their own.

namespace {

// The settings windows are top-level windows of their own; they close with the
// main window, so that closing the tool really ends it.
void closeWithMainWindow(MainWindow *mainWindow, QWidget *window)
{
    QObject::connect(mainWindow, &MainWindow::windowClose, window, &QWidget::close);
    QObject::connect(mainWindow, &QObject::destroyed, window, &QObject::deleteLater);
}

} // namespace

void MainWindow::slotHelpDocument()
{
    auto *help = new HelpWidget;
    help->setAttribute(Qt::WA_DeleteOnClose);
    connect(help, &QObject::destroyed, this, [this, help]() {
        if (helpWidget == help)
            helpWidget = nullptr;
    });
    closeWithMainWindow(this, help);
    helpWidget = help;
    help->show();
}

void MainWindow::slotCommunicationTimeout()
{
    QString refusal;
    if (!session()->linkUp()) {
        refusal = tr("The Timeout Setting cannot be switched on until open the serial port.",
                     " 串口没有打开，无法打开通讯超时设置。 ");
    } else if (outputCount < 0 && inputCount < 0
               && (voltageOutputCount >= 0 || currentOutputCount >= 0
                   || voltageInputCount >= 0 || currentInputCount >= 0)) {
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
    emit write(new Sender(ModbusRequest::kCommunicationTimeout, ModbusRequest::timeoutRead(outputCount)));
}

void MainWindow::creatCommunicationTimeOut(QString data)
{
    auto *window = new CommunicationTimeout(this, data);
    // Every read opens a new window; a closed one is gone for good.
    window->setAttribute(Qt::WA_DeleteOnClose);
    connect(window, &QObject::destroyed, this, [this, window]() {
        if (communicationTimeout == window)
            communicationTimeout = nullptr;
    });
    closeWithMainWindow(this, window);
    communicationTimeout = window;
    window->showNormal();
}

void MainWindow::slotSetNetwork()
{
    delete networkWindow;
    networkWindow = new NetworkWindow(this);
    closeWithMainWindow(this, networkWindow);
    networkWindow->show();
}

void MainWindow::slotReBoot()
{
    emit write(new Sender(ModbusRequest::kReboot, ModbusRequest::reboot()));
}

void MainWindow::slotNameSettingAction()
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
