#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "link/modbusrequest.h"
#include "link/analogconversion.h"
#include "ui/analogoutputrow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

using ModbusRequest::AnalogBlock;

namespace {

constexpr int kColumns = 4;
constexpr int kReadBackDelayMs = 300;
constexpr int kFieldMinimumHeight = 30;
// Six significant digits need up to 11 characters ("0.000305176", "7.62951e-05"); a
// shorter field would cut the read-back text, and the next write would use the stump.
constexpr int kNumberFieldLength = 11;

const QString kZeroValue = QStringLiteral("0.000");
const QString kInputHighlight = QStringLiteral("background-color: rgb(170, 255, 255);");
const QString kRowFrameStyle = QStringLiteral("QWidget#widgetTotal{background-color: rgb(255, 170, 127);}");

// Read-back replies: address, function, byte count, 4 digits per register, CRC.
int channelsInReadBack(int replyLength)
{
    switch (replyLength) {
    case 18:
        return 2;
    case 42:
        return 8;
    case 58:
        return 12;
    default:
        return 0;
    }
}

QFont arial(int points)
{
    return QFont(QStringLiteral("Arial"), points);
}

QLabel *newLabel(const QString &text, int points, Qt::Alignment alignment = Qt::Alignment())
{
    auto *label = new QLabel(text);
    label->setFont(arial(points));
    if (alignment)
        label->setAlignment(alignment);
    return label;
}

QString numbered(const char *name, int channel)
{
    return QLatin1String(name) + QLatin1Char('_') + QString::number(channel);
}

// The row's widgets, laid out: the four field lines and the buttons, the register
// view beside them, and the check box, inside the orange frame.
AnalogOutputRow *createAnalogOutputRow(int channel, const QString &unit)
{
    auto *row = new AnalogOutputRow;
    row->channel = channel;

    row->channelLabel = newLabel(QStringLiteral("AO") + QStringLiteral("%1:").arg(channel), 18, Qt::AlignCenter);
    row->channelLabel->setObjectName(numbered("label_analogOutChannel", channel));

    row->valueEdit = new QLineEdit(kZeroValue);
    row->valueEdit->setObjectName(numbered("lineEdit_analogOutValue", channel));
    row->valueEdit->setValidator(new QDoubleValidator(0, 99999, 6, row->valueEdit));
    row->valueEdit->setMaxLength(kNumberFieldLength);
    row->valueEdit->setAlignment(Qt::AlignCenter);
    row->valueEdit->setFont(arial(26));
    row->valueEdit->setMinimumHeight(kFieldMinimumHeight);
    row->valueUnit = newLabel(unit, 18);
    row->valueUnit->setObjectName(numbered("label_analogOutValueUnit", channel));

    row->precisionCaption = newLabel(MainWindow::tr("Precision:", " 输出精度: "), 12, Qt::AlignRight | Qt::AlignVCenter);
    row->precisionEdit = new QLineEdit(QStringLiteral("0"));
    row->precisionEdit->setObjectName(numbered("lineEdit_analogOutPrecision", channel));
    row->precisionEdit->setValidator(new QDoubleValidator(0, 999999.99, 6, row->precisionEdit));
    row->precisionEdit->setMaxLength(kNumberFieldLength);
    row->precisionEdit->setFont(arial(12));
    row->precisionEdit->setToolTip(MainWindow::tr("Output accuracy = interval/maximum register",
                                                  " 输出精度=区间值/最大值寄存器 "));
    row->precisionUnit = newLabel(unit, 12);
    row->precisionUnit->setObjectName(numbered("label_analogOutPrecisionUnit", channel));

    row->maximumCaption = newLabel(MainWindow::tr("Maximum:0x", "  最大值寄存器:0x "), 12, Qt::AlignRight | Qt::AlignVCenter);
    row->maximumEdit = new QLineEdit;
    row->maximumEdit->setObjectName(numbered("lineEdit_analogOutMaximum", channel));
    row->maximumEdit->setInputMask(QStringLiteral("HHHH"));
    row->maximumEdit->setMaxLength(4);
    row->maximumEdit->setText(QStringLiteral("FFFF"));
    row->maximumEdit->setFont(arial(12));

    row->modeCaption = newLabel(MainWindow::tr("Mode:", " 输出模式: "), 12, Qt::AlignRight | Qt::AlignVCenter);
    row->modeBox = new QComboBox;
    row->modeBox->setObjectName(numbered("comboBox_analogOutMode", channel));
    for (const AnalogConversion::OutputMode &mode : AnalogConversion::modes())
        row->modeBox->addItem(QString::fromLatin1(mode.text));
    row->modeBox->setFont(arial(12));

    row->writeButton = new QPushButton(MainWindow::tr("write", " 写入 "));
    row->writeButton->setObjectName(numbered("pushButton_analogOutWrite", channel));
    row->writeButton->setStatusTip(MainWindow::tr("write new value into register", " 写入寄存器 "));
    row->writeButton->setFont(arial(12));
    row->cancelButton = new QPushButton(MainWindow::tr("Cancel", " 取消 "));
    row->cancelButton->setObjectName(numbered("pushButton_analogOutCancel", channel));
    row->cancelButton->setFont(arial(12));
    // Nothing to write or cancel until the operator edits the row.
    row->writeButton->setEnabled(false);
    row->cancelButton->setEnabled(false);

    row->controls = new QWidget;
    row->controls->setObjectName(numbered("widget_analogOutControls", channel));
    auto *controlsLayout = new QVBoxLayout(row->controls);
    auto addLine = [controlsLayout](std::initializer_list<QWidget *> widgets) {
        auto *line = new QHBoxLayout;
        for (QWidget *widget : widgets)
            line->addWidget(widget);
        controlsLayout->addLayout(line);
    };
    controlsLayout->addStretch();
    addLine({ row->channelLabel, row->valueEdit, row->valueUnit });
    addLine({ row->precisionCaption, row->precisionEdit, row->precisionUnit });
    addLine({ row->maximumCaption, row->maximumEdit });
    addLine({ row->modeCaption, row->modeBox });
    addLine({ row->writeButton, row->cancelButton });
    controlsLayout->addStretch();

    row->modeFrameLabel = newLabel(QStringLiteral("0xFFFF"), 18, Qt::AlignCenter);
    row->modeFrameLabel->setObjectName(numbered("label_analogOutModeFrame", channel));
    row->valueFrameLabel = newLabel(QStringLiteral("0xFFFF"), 18, Qt::AlignCenter);
    row->valueFrameLabel->setObjectName(numbered("label_analogOutValueFrame", channel));
    row->maximumFrameLabel = newLabel(QStringLiteral("0xFFFF"), 18, Qt::AlignCenter);
    row->maximumFrameLabel->setObjectName(numbered("label_analogOutMaximumFrame", channel));
    row->registerView = new QWidget;
    row->registerView->setObjectName(numbered("widget_analogOutRegisters", channel));
    auto *registerLayout = new QVBoxLayout(row->registerView);
    registerLayout->addWidget(row->modeFrameLabel);
    registerLayout->addWidget(row->valueFrameLabel);
    registerLayout->addWidget(row->maximumFrameLabel);
    row->registerView->hide();

    row->viewCheckBox = new QCheckBox(MainWindow::tr("View register values", " 查看寄存器值 "));
    row->viewCheckBox->setObjectName(numbered("checkBox_analogOutView", channel));
    row->viewCheckBox->setFont(arial(12));

    row->frame = new QWidget;
    row->frame->setObjectName(QStringLiteral("widgetTotal"));
    row->frame->setStyleSheet(kRowFrameStyle);
    auto *frameLayout = new QVBoxLayout(row->frame);
    frameLayout->addWidget(row->controls);
    frameLayout->addWidget(row->registerView);
    frameLayout->addWidget(row->viewCheckBox);

    row->cell = new QWidget;
    row->cell->setObjectName(numbered("widget_analogOutCell", channel));
    auto *cellLayout = new QVBoxLayout(row->cell);
    cellLayout->addStretch();
    cellLayout->addWidget(row->frame);
    cellLayout->addStretch();

    QObject::connect(row->cell, &QObject::destroyed, [row]() { delete row; });
    return row;
}

void setButtonsEnabled(AnalogOutputRow *row, bool enabled)
{
    row->writeButton->setEnabled(enabled);
    row->cancelButton->setEnabled(enabled);
}

// A row has edits the module has not seen while its write button is enabled.
bool hasPendingEdits(const AnalogOutputRow *row)
{
    return row->writeButton->isEnabled();
}

const AnalogConversion::OutputMode &rowMode(const AnalogOutputRow *row)
{
    const int index = AnalogConversion::modeIndexForText(row->modeBox->currentText());
    return AnalogConversion::modes().at(qMax(0, index));
}

quint16 typedMaximum(const AnalogOutputRow *row)
{
    bool ok = false;
    const uint value = row->maximumEdit->text().toUInt(&ok, 16);
    return ok ? quint16(value) : 0;
}

void replaceWord(QLabel *label, const QString &word)
{
    label->setText(label->text().left(qMax(0, label->text().size() - 4)) + word);
}

} // namespace

// Analog output panel.

void MainWindow::buildAnalogOutputPanel(int count, const QString &unit)
{
    qDebug() << "buildAnalogOutputPanel" << count;
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        row->cell->hide();
        row->cell->deleteLater();
    }
    analogOutRows.clear();
    delete analogOutGrid;
    analogOutGrid = new QGridLayout;

    for (int channel = 0; channel < count; ++channel) {
        AnalogOutputRow *row = createAnalogOutputRow(channel, unit);
        analogOutRows.insert(channel, row);
        analogOutGrid->addWidget(row->cell, channel / kColumns, channel % kColumns);
        row->valueEdit->installEventFilter(this);
        row->precisionEdit->installEventFilter(this);
        connect(row->valueEdit, &QLineEdit::textEdited, this, &MainWindow::slotAnalogOut_lineEdit);
        connect(row->precisionEdit, &QLineEdit::textEdited, this, &MainWindow::slotAnalogOut_lineEditPrecision);
        connect(row->maximumEdit, &QLineEdit::textEdited, this, &MainWindow::slotAnalogOut_lineEditBigestReg);
        connect(row->modeBox, &QComboBox::currentTextChanged, this, &MainWindow::slotAnalogOut_outputModeCCB);
        connect(row->writeButton, &QPushButton::clicked, this, &MainWindow::slotAnalogOut_pushButtonEnsure_clicked);
        connect(row->cancelButton, &QPushButton::clicked, this, &MainWindow::slotAnalogOut_pushButtonCancel_clicked);
        connect(row->viewCheckBox, &QCheckBox::stateChanged, this, &MainWindow::slotAnalogOut_isLookRegCB);
    }
    ui->verticalLayout_analog_out->addLayout(analogOutGrid);
    readBackStage = 0;
    readAnalogOutputs();
}

void MainWindow::readAnalogOutputs()
{
    if (linkReady != 1 || analogOutRows.isEmpty())
        return;
    const int readCount = ModbusRequest::analogOutputReadCount(analogOutRows.size());
    for (AnalogBlock block : { AnalogBlock::Value, AnalogBlock::Max, AnalogBlock::Mode }) {
        emit write(new Sender(ModbusRequest::analogOutputReadKind(block),
                              ModbusRequest::analogOutputRead(block, readCount)));
    }
}

void MainWindow::showAnalogOutputReadBack(QString kind, QString reply)
{
    const int channels = channelsInReadBack(reply.size());
    for (int channel = 0; channel < channels; ++channel) {
        // A reply for a panel that has since been rebuilt smaller.
        AnalogOutputRow *row = analogOutRows.value(channel);
        if (!row)
            continue;
        const QString word = reply.mid(6 + 4 * channel, 4);
        bool ok = false;
        const quint16 number = quint16(word.toUInt(&ok, 16));
        if (!ok)
            continue;

        if (kind == ModbusRequest::kReadAnalogOutputValue) {
            replaceWord(row->valueFrameLabel, word);
            row->valueWord = number;
        } else if (kind == ModbusRequest::kReadAnalogOutputMax) {
            replaceWord(row->maximumFrameLabel, word);
            row->maximumWord = number;
            if (!hasPendingEdits(row))
                row->maximumEdit->setText(word.toUpper());
        } else if (kind == ModbusRequest::kReadAnalogOutputMode) {
            const int index = AnalogConversion::modeIndexForWord(number);
            if (index < 0 || hasPendingEdits(row))
                continue;
            const AnalogConversion::OutputMode &mode = AnalogConversion::modes().at(index);
            const QString unit = QString::fromLatin1(mode.unit);
            row->valueUnit->setText(unit);
            row->precisionUnit->setText(unit);
            {
                // Showing the module's mode is not an edit of the operator's.
                const QSignalBlocker blocker(row->modeBox);
                row->modeBox->setCurrentText(QString::fromLatin1(mode.text));
            }
            const quint16 maximum = row->maximumWord;
            row->valueEdit->setText(AnalogConversion::physicalValueText(mode, row->valueWord, maximum));
            if (maximum != 0) {
                if (index == 0)
                    qDebug() << "valueCurrent:" << row->valueEdit->text();
                row->precisionEdit->setText(AnalogConversion::precisionText(mode, maximum));
            }
        }
    }
    readBackStage = (readBackStage + 1) % 3;
}

void MainWindow::slotAnalogOut_lineEdit()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() == row->valueEdit)
            setButtonsEnabled(row, true);
    }
}

void MainWindow::slotAnalogOut_lineEditPrecision()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->precisionEdit)
            continue;
        const double precision = AnalogConversion::fieldNumber(row->precisionEdit->text());
        row->maximumEdit->setText(QtTools::toHex(AnalogConversion::maximumRegister(rowMode(row), precision)));
        setButtonsEnabled(row, true);
    }
}

void MainWindow::slotAnalogOut_lineEditBigestReg()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->maximumEdit)
            continue;
        row->precisionEdit->setText(AnalogConversion::precisionText(rowMode(row), typedMaximum(row)));
        setButtonsEnabled(row, true);
    }
}

void MainWindow::slotAnalogOut_outputModeCCB()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->modeBox)
            continue;
        // The same precision means another maximum in another range, and the
        // maximum field is what a value above the top writes.
        const AnalogConversion::OutputMode &mode = rowMode(row);
        const double precision = AnalogConversion::fieldNumber(row->precisionEdit->text());
        row->maximumEdit->setText(QtTools::toHex(AnalogConversion::maximumRegister(mode, precision)));
        row->valueUnit->setText(QString::fromLatin1(mode.unit));
        row->precisionUnit->setText(QString::fromLatin1(mode.unit));
        setButtonsEnabled(row, true);
    }
}

void MainWindow::slotAnalogOut_pushButtonEnsure_clicked()
{
    if (linkReady != 1) {
        QMessageBox::warning(this, tr("warning", " 警告 "),
                             tr("Unable to write until open the serial port.", " 串口没有打开，无法写入。 "));
        return;
    }
    AnalogOutputRow *row = nullptr;
    for (AnalogOutputRow *candidate : qAsConst(analogOutRows)) {
        if (sender() == candidate->writeButton)
            row = candidate;
    }
    if (!row)
        return;

    const AnalogConversion::OutputMode &mode = rowMode(row);
    const double value = AnalogConversion::fieldNumber(row->valueEdit->text());
    const double precision = AnalogConversion::fieldNumber(row->precisionEdit->text());
    const quint16 maximum = AnalogConversion::maximumRegister(mode, precision);
    const quint16 valueRegister = AnalogConversion::valueRegister(mode, value, precision, typedMaximum(row));
    qDebug() << "valueHex:" << QtTools::toHex(maximum);
    qDebug() << "1valueHex:" << QtTools::toHex(valueRegister);
    qDebug() << "2buf3Hex:" << QtTools::toHex(quint32(ModbusRequest::kAnalogOutputValues + row->channel));

    auto queue = [this](AnalogBlock block, QLabel *label, const QString &caption, int channel, quint16 word) {
        const QString frame = ModbusRequest::analogOutputWrite(block, channel, word);
        label->setText(caption + QLatin1Char(':')
                       + (networkMode == 1 ? QtTools::toModbusTcpFrame(frame) : frame));
        emit write(new Sender(ModbusRequest::analogOutputWriteKind(block), frame));
    };
    queue(AnalogBlock::Max, row->maximumFrameLabel, tr("Maximum value register", " 最大值寄存器 "),
          row->channel, maximum);
    queue(AnalogBlock::Mode, row->modeFrameLabel, tr("Output mode registe", " 输出模式寄存器 "),
          row->channel, mode.code);
    queue(AnalogBlock::Value, row->valueFrameLabel, tr("Output register", " 输出寄存器 "),
          row->channel, valueRegister);
    row->maximumWord = maximum;
    row->valueWord = valueRegister;

    setButtonsEnabled(row, false);
    row->valueEdit->clearFocus();
    QTimer::singleShot(kReadBackDelayMs, this, &MainWindow::readAnalogOutputs);
}

void MainWindow::slotAnalogOut_pushButtonCancel_clicked()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->cancelButton)
            continue;
        setButtonsEnabled(row, false);
        readAnalogOutputs();
        row->valueEdit->clearFocus();
    }
}

void MainWindow::slotAnalogOut_isLookRegCB(int widget)
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->viewCheckBox)
            continue;
        row->controls->setVisible(widget == 0);
        row->registerView->setVisible(widget != 0);
    }
}

bool MainWindow::handleAnalogOutputKey(QObject *watched, QKeyEvent *event)
{
    const int key = event->key();
    const bool confirm = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (!confirm && key != Qt::Key_Escape)
        return false;
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (watched != row->valueEdit && watched != row->precisionEdit)
            continue;
        (confirm ? row->writeButton : row->cancelButton)->click();
        return true;
    }
    return false;
}

// Analog input panel.

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
        QLabel *name = newLabel(QStringLiteral("AI") + QStringLiteral("%1:").arg(channel), 18, Qt::AlignCenter);
        QLabel *value = newLabel(kZeroValue, 26, Qt::AlignCenter);
        value->setObjectName(numbered("label_analogInValue", channel));
        QLabel *unitLabel = newLabel(unit, 18);
        for (QLabel *label : { name, value, unitLabel })
            label->setMinimumHeight(kFieldMinimumHeight);

        auto *cell = new QWidget;
        cell->setObjectName(numbered("widget_analogInCell", channel));
        auto *cellLayout = new QVBoxLayout(cell);
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
        for (QLabel *label : qAsConst(analogInputLabels)) {
            label->setText(kZeroValue);
            label->setStyleSheet(QString());
        }
        ui->pushButton_check_analog_in->setText(tr("Start detecting", " 开始检测 "));
        emit sendersClear(ModbusRequest::kAnalogStartDetecting);
        return;
    }
    if (analogInputLabels.isEmpty())
        return;
    const QString frame = ModbusRequest::analogInputRead(deviceAddress, analogInputLabels.size());
    ui->label_analogout_OperationCode_2->setText(ModbusRequest::wireText(frame, deviceAddress, networkMode == 1));
    emit write(new Sender(ModbusRequest::kAnalogStartDetecting, frame));
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
