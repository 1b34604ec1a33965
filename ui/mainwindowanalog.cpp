#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/analogconversion.h"
#include "protocol/modbusrequest.h"
#include "ui/analogoutputrow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>

using ModbusRequest::AnalogBlock;

namespace {

constexpr int kColumns = 4;
// Twelve channels are three rows: close enough to fit a laptop screen.
constexpr int kCellSpacing = 2;
constexpr int kReadBackDelayMs = 300;

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

const AnalogConversion::OutputMode &rowMode(const AnalogOutputRow *row)
{
    const int index = AnalogConversion::modeIndexForText(row->modeBox->currentText());
    return AnalogConversion::modes().at(qMax(0, index));
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
        row->hide();
        row->deleteLater();
    }
    analogOutRows.clear();
    delete analogOutGrid;
    analogOutGrid = new QGridLayout;
    analogOutGrid->setSpacing(kCellSpacing);

    for (int channel = 0; channel < count; ++channel) {
        auto *row = new AnalogOutputRow(channel, unit);
        analogOutRows.insert(channel, row);
        analogOutGrid->addWidget(row, channel / kColumns, channel % kColumns);
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
    if (!session()->linkUp() || analogOutRows.isEmpty())
        return;
    const int readCount = ModbusRequest::analogOutputReadCount(analogOutRows.size());
    for (AnalogBlock block : { AnalogBlock::Value, AnalogBlock::Max, AnalogBlock::Mode }) {
        emit write(panelRequest(ModbusRequest::analogOutputReadKind(block),
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
            if (!row->hasPendingEdits())
                row->maximumEdit->setText(word.toUpper());
        } else if (kind == ModbusRequest::kReadAnalogOutputMode) {
            const int index = AnalogConversion::modeIndexForWord(number);
            if (index < 0 || row->hasPendingEdits())
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
            row->setButtonsEnabled(true);
    }
}

void MainWindow::slotAnalogOut_lineEditPrecision()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->precisionEdit)
            continue;
        const double precision = AnalogConversion::fieldNumber(row->precisionEdit->text());
        row->maximumEdit->setText(QtTools::toHex(AnalogConversion::maximumRegister(rowMode(row), precision)));
        row->setButtonsEnabled(true);
    }
}

void MainWindow::slotAnalogOut_lineEditBigestReg()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->maximumEdit)
            continue;
        row->precisionEdit->setText(AnalogConversion::precisionText(rowMode(row), row->typedMaximum()));
        row->setButtonsEnabled(true);
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
        row->setButtonsEnabled(true);
    }
}

void MainWindow::slotAnalogOut_pushButtonEnsure_clicked()
{
    if (!session()->linkUp()) {
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
    const quint16 valueRegister = AnalogConversion::valueRegister(mode, value, precision, row->typedMaximum());
    qDebug() << "valueHex:" << QtTools::toHex(maximum);
    qDebug() << "1valueHex:" << QtTools::toHex(valueRegister);
    qDebug() << "2buf3Hex:" << QtTools::toHex(quint32(RegisterMap::kAnalogOutputValues + row->channel));

    auto queue = [this](AnalogBlock block, QLabel *label, const QString &caption, int channel, quint16 word) {
        const QString frame = ModbusRequest::analogOutputWrite(block, channel, word);
        label->setText(caption + QLatin1Char(':')
                       + (session()->link() == LinkKind::Tcp ? QtTools::toModbusTcpFrame(frame) : frame));
        emit write(panelRequest(ModbusRequest::analogOutputWriteKind(block, channel), frame));
    };
    queue(AnalogBlock::Max, row->maximumFrameLabel, tr("Maximum value register", " 最大值寄存器 "),
          row->channel, maximum);
    queue(AnalogBlock::Mode, row->modeFrameLabel, tr("Output mode registe", " 输出模式寄存器 "),
          row->channel, mode.code);
    queue(AnalogBlock::Value, row->valueFrameLabel, tr("Output register", " 输出寄存器 "),
          row->channel, valueRegister);
    row->maximumWord = maximum;
    row->valueWord = valueRegister;

    row->setButtonsEnabled(false);
    row->valueEdit->clearFocus();
    QTimer::singleShot(kReadBackDelayMs, this, &MainWindow::readAnalogOutputs);
}

void MainWindow::slotAnalogOut_pushButtonCancel_clicked()
{
    for (AnalogOutputRow *row : qAsConst(analogOutRows)) {
        if (sender() != row->cancelButton)
            continue;
        row->setButtonsEnabled(false);
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
