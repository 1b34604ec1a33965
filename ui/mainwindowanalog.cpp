#include "ui/mainwindow.h"

// Placeholder: the analog output and input panels.

void MainWindow::buildAnalogOutputPanel(int count, const QString &unit)
{
    Q_UNUSED(count)
    Q_UNUSED(unit)
}
void MainWindow::buildAnalogInputPanel(int count, const QString &unit)
{
    Q_UNUSED(count)
    Q_UNUSED(unit)
}
void MainWindow::readAnalogOutputs() {}
void MainWindow::showAnalogOutputReadBack(QString kind, QString reply)
{
    Q_UNUSED(kind)
    Q_UNUSED(reply)
}
void MainWindow::slotAnalogOut_lineEdit() {}
void MainWindow::slotAnalogOut_lineEditPrecision() {}
void MainWindow::slotAnalogOut_lineEditBigestReg() {}
void MainWindow::slotAnalogOut_outputModeCCB() {}
void MainWindow::slotAnalogOut_pushButtonEnsure_clicked() {}
void MainWindow::slotAnalogOut_pushButtonCancel_clicked() {}
void MainWindow::slotAnalogOut_isLookRegCB(int widget) { Q_UNUSED(widget) }
bool MainWindow::handleAnalogOutputKey(QObject *watched, QKeyEvent *event)
{
    Q_UNUSED(watched)
    Q_UNUSED(event)
    return false;
}
void MainWindow::on_pushButton_check_analog_in_clicked() {}
void MainWindow::analogInput(QString data) { Q_UNUSED(data) }
