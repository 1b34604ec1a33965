#include "ui/mainwindow.h"

// Placeholder: the module settings dialogs and the help window.

void MainWindow::slotHelpDocument() {}
void MainWindow::slotCommunicationTimeout() {}
void MainWindow::creatCommunicationTimeOut(QString data) { Q_UNUSED(data) }
void MainWindow::slotSetNetwork() {}
void MainWindow::slotReBoot() {}
void MainWindow::slotNameSettingAction() {}
