// MainWindow: model choice and what the switch panels share.

#include "ui/mainwindow.h"
#include "ui/trafficviews.h"

#include "check/modulecheck.h"
#include "ui_mainwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "protocol/replydecoder.h"
#include "ui/linkhealthview.h"
#include "ui/panelrequest.h"
#include "ui/analoginputspanel.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"
#include "ui/switchstates.h"

#include <QAction>
#include <QDebug>
#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

void MainWindow::slotSwitchProduct()
{
    const int index = modelActions.indexOf(qobject_cast<QAction *>(sender()));
    selectModel(index);
}

void MainWindow::selectModel(int index)
{
    outputCount = inputCount = -1;
    voltageOutputCount = currentOutputCount = -1;
    voltageInputCount = currentInputCount = -1;

    const QVector<ModelEntry> &models = ModelCatalogue::models();
    if (index >= 0 && index < models.size()) {
        const ModelEntry &model = models.at(index);
        outputCount = model.outputCount;
        inputCount = model.inputCount;
        voltageOutputCount = model.voltageOutputCount;
        currentOutputCount = model.currentOutputCount;
        voltageInputCount = model.voltageInputCount;
        currentInputCount = model.currentInputCount;
    }

    // The warning goes with the model it was about; the new one waits for its own replies.
    session()->setModel(index);
    buildPanels();
    trafficViews->setModel(index >= 0 && index < models.size() ? models.at(index).text() : QString(),
                           outputCount, inputCount, qMax(voltageOutputCount, currentOutputCount),
                           voltageInputCount >= 0 ? QStringLiteral("V") : QStringLiteral("mA"));
    linkHealthView->setModel(index >= 0 && index < models.size() ? models.at(index).text()
                                                                 : QString());

    if (outputCount != -1)
        outputsPanel->startPolling();
    // The new board may have another number of inputs: detection starts afresh
    // with its own frame instead of being toggled off by a second choice.
    inputsPanel->restartDetection();
}

void MainWindow::slotLinkUp()
{
    if (outputCount != -1)
        outputsPanel->startPolling();
    inputsPanel->restartDetection();
    // Analog detection that was on runs again, with the address of now.
    analogInputsPanel->restartDetection();
}

void MainWindow::showStatesUnknown(bool noReply)
{
    statesUnknown = true;
    outputsPanel->showUnknown();
    inputsPanel->showUnknown();
    analogInputsPanel->showUnknown();
    if (noReply) {
        QLabel *state = session()->link() == LinkKind::Tcp ? ui->label_network : ui->label_serialState;
        state->setText(tr("No reply", " 无回复 "));
    }
}

void MainWindow::showStatesConfirmed()
{
    if (!statesUnknown)
        return;
    statesUnknown = false;
    if (session()->link() == LinkKind::Tcp)
        ui->label_network->setText(tr("Connect", " 连接 "));
    if (session()->serialOpen())
        ui->label_serialState->setText(tr("Connect", " 连接 "));
}

void MainWindow::identify_deviceType(int code)
{
    if (session()->serialOpen())
        ui->switchBt->setText(tr("Close", " 关闭 "));
    setProductControlsEnabled(true);
    const int index = ModelCatalogue::indexForTypeCode(code);
    // A running check judges the model it was started with.
    if (moduleCheck && moduleCheck->running())
        return;
    // Chosen directly, not through the action, which may be disabled at this moment.
    if (index >= 0)
        selectModel(index);
}

void MainWindow::buildPanels()
{
    // An analog model has no switch outputs: their panel goes, and so does its polling.
    outputsPanel->build(outputCount);
    inputsPanel->build(inputCount);
    if (outputCount >= 0 || inputCount >= 0) {
        ui->widget_control->show();
        ui->widget_control_analog->hide();
        return;
    }

    const bool analogOutputs = voltageOutputCount >= 0 || currentOutputCount >= 0;
    const bool analogInputs = voltageInputCount >= 0 || currentInputCount >= 0;
    if (voltageOutputCount >= 0)
        buildAnalogOutputPanel(voltageOutputCount, QStringLiteral("V"));
    else if (currentOutputCount >= 0)
        buildAnalogOutputPanel(currentOutputCount, QStringLiteral("mA"));
    else if (voltageInputCount >= 0)
        analogInputsPanel->build(voltageInputCount, QStringLiteral("V"));
    else if (currentInputCount >= 0)
        analogInputsPanel->build(currentInputCount, QStringLiteral("mA"));

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

Sender *MainWindow::panelRequest(const QString &kind, const QString &frame) const
{
    return ::panelRequest(*session(), kind, frame);
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

void MainWindow::refreshChannelNames()
{
    outputsPanel->refreshNames();
    inputsPanel->refreshNames();
}

void MainWindow::on_pushButton_check_clicked()
{
    inputsPanel->toggleDetection();
}

void MainWindow::on_pushButton_check_analog_in_clicked()
{
    analogInputsPanel->toggleDetection();
}
