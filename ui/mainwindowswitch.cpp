#include "ui/mainwindow.h"

// Placeholder: model switching and the switch panels.

void MainWindow::slotSwitchProduct() {}
void MainWindow::identify_deviceType(int code)
{
    Q_UNUSED(code)
    linkReady = 1;
}
void MainWindow::buildPanels() {}
void MainWindow::checkSwitchStatus() {}
void MainWindow::slotPushButton_out_clicked() {}
void MainWindow::click_QPushButton(int index) { Q_UNUSED(index) }
void MainWindow::allOpen(int status) { Q_UNUSED(status) }
void MainWindow::change_ctlOuts(QString reply) { Q_UNUSED(reply) }
void MainWindow::change_inputs(QString bits) { Q_UNUSED(bits) }
void MainWindow::on_pushButton_check_clicked() {}
void MainWindow::on_checkBox_out_stateChanged(int arg1) { Q_UNUSED(arg1) }
void MainWindow::on_pushButton_allOpen_clicked() {}
void MainWindow::on_pushButton_allClose_clicked() {}
void MainWindow::refreshChannelNames() {}
