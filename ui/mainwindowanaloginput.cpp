#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/modbusrequest.h"
#include "ui/panelfonts.h"
#include "ui/switchstates.h"

#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

// Analog input panel: one cell per channel, polled while detection is on.

namespace {

constexpr int kColumns = 4;
constexpr int kCellMargin = 2;

const QString kZeroValue = QStringLiteral("0.000");
const QString kWidestValue = QStringLiteral("00.000");
const QString kInputHighlight = QStringLiteral("background-color: rgb(170, 255, 255);");

} // namespace

void MainWindow::buildAnalogInputPanel(int count, const QString &unit)
{
    qDebug() << "buildAnalogInputPanel" << count;
    // A running poll reads the old channel count: stop it with the old panel.
    if (ui->pushButton_check_analog_in->text().contains(tr("Stop detecting", " 停止检测 "))) {
        emit sendersClear(ModbusRequest::kAnalogStartDetecting);
        ui->pushButton_check_analog_in->setText(tr("Start detecting", " 开始检测 "));
    }
    qDeleteAll(analogInputCells);
    analogInputCells.clear();
    analogInputLabels.clear();
    delete analogInputGrid;
    analogInputGrid = new QGridLayout;

    for (int channel = 0; channel < count; ++channel) {
        QLabel *name = PanelFonts::newLabel(QStringLiteral("AI") + QStringLiteral("%1:").arg(channel), 18, Qt::AlignCenter);
        // Nothing read yet: a 0.000 here would read as a broken 4-20 mA loop.
        QLabel *value = PanelFonts::newLabel(SwitchStates::kUnknownValue, 26, Qt::AlignCenter);
        value->setStyleSheet(SwitchStates::kUnknownTextStyle);
        // As wide as the widest reading from the start: the cells do not move as values come.
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(kWidestValue));
        value->setObjectName(QStringLiteral("label_analogInValue_%1").arg(channel));
        QLabel *unitLabel = PanelFonts::newLabel(unit, 18);
        for (QLabel *label : { name, value, unitLabel })
            PanelFonts::keepWhole(label);

        auto *cell = new QWidget;
        cell->setObjectName(QStringLiteral("widget_analogInCell_%1").arg(channel));
        auto *cellLayout = new QVBoxLayout(cell);
        // Four cells of the widest readings in a row beside the log.
        cellLayout->setContentsMargins(kCellMargin, kCellMargin, kCellMargin, kCellMargin);
        auto *line = new QHBoxLayout;
        line->addWidget(name);
        line->addWidget(value);
        line->addStretch();
        line->addWidget(unitLabel);
        cellLayout->addLayout(line);
        cellLayout->addStretch();

        analogInputLabels.append(value);
        analogInputCells.append(cell);
        analogInputGrid->addWidget(cell, channel / kColumns, channel % kColumns);
    }
    ui->verticalLayout_analog_in->addLayout(analogInputGrid);
}

void MainWindow::on_pushButton_check_analog_in_clicked()
{
    if (ui->pushButton_check_analog_in->text().contains(tr("Stop detecting", " 停止检测 "))) {
        // What detection read is no longer being read.
        for (QLabel *label : qAsConst(analogInputLabels)) {
            label->setText(SwitchStates::kUnknownValue);
            label->setStyleSheet(SwitchStates::kUnknownTextStyle);
        }
        ui->pushButton_check_analog_in->setText(tr("Start detecting", " 开始检测 "));
        emit sendersClear(ModbusRequest::kAnalogStartDetecting);
        return;
    }
    if (analogInputLabels.isEmpty())
        return;
    const QString frame = ModbusRequest::analogInputRead(session()->deviceAddressHex(), analogInputLabels.size());
    ui->label_analogout_OperationCode_2->setText(ModbusRequest::wireText(frame, session()->deviceAddressHex(), session()->link() == LinkKind::Tcp));
    emit write(panelRequest(ModbusRequest::kAnalogStartDetecting, frame));
    ui->pushButton_check_analog_in->setText(tr("Stop detecting", " 停止检测 "));
}

void MainWindow::analogInput(QString data)
{
    showStatesConfirmed();
    const QStringList values = data.split(QLatin1Char(' '));
    const int channels = qMin(values.size(), analogInputLabels.size());
    for (int channel = 0; channel < channels; ++channel) {
        QLabel *label = analogInputLabels.at(channel);
        const QString &value = values.at(channel);
        if (value.isEmpty())
            continue;
        if (value == kZeroValue) {
            if (label->text() != kZeroValue) {
                label->setText(value);
                if (!label->styleSheet().isEmpty())
                    label->setStyleSheet(QString());
            }
        } else {
            label->setText(value);
            if (label->styleSheet() != kInputHighlight)
                label->setStyleSheet(kInputHighlight);
        }
    }
}
