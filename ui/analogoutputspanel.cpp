#include "ui/analogoutputspanel.h"

#include "QtLibrary/QtTools/qttools.h"
#include "link/session.h"
#include "protocol/analogconversion.h"
#include "protocol/modbusrequest.h"
#include "ui/analogoutputrow.h"
#include "ui/panelrequest.h"

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
#include <QVBoxLayout>

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

AnalogOutputsPanel::AnalogOutputsPanel(Session *session, QVBoxLayout *layout, QObject *parent)
    : QObject(parent), session(session), layout(layout)
{
}

void AnalogOutputsPanel::build(int count, const QString &unit)
{
    for (AnalogOutputRow *row : qAsConst(channelRows)) {
        row->hide();
        row->deleteLater();
    }
    channelRows.clear();
    delete grid;
    grid = new QGridLayout;
    grid->setSpacing(kCellSpacing);

    for (int channel = 0; channel < count; ++channel) {
        auto *row = new AnalogOutputRow(channel, unit);
        channelRows.append(row);
        grid->addWidget(row, channel / kColumns, channel % kColumns);
        connectRow(row);
    }
    layout->addLayout(grid);
    readBack();
}

void AnalogOutputsPanel::connectRow(AnalogOutputRow *row)
{
    row->valueEdit->installEventFilter(this);
    row->precisionEdit->installEventFilter(this);
    connect(row->valueEdit, &QLineEdit::textEdited, this, [row]() { row->setButtonsEnabled(true); });
    connect(row->precisionEdit, &QLineEdit::textEdited, this, [row]() {
        const double precision = AnalogConversion::fieldNumber(row->precisionEdit->text());
        row->maximumEdit->setText(QtTools::toHex(AnalogConversion::maximumRegister(rowMode(row), precision)));
        row->setButtonsEnabled(true);
    });
    connect(row->maximumEdit, &QLineEdit::textEdited, this, [row]() {
        row->precisionEdit->setText(AnalogConversion::precisionText(rowMode(row), row->typedMaximum()));
        row->setButtonsEnabled(true);
    });
    connect(row->modeBox, &QComboBox::currentTextChanged, this, [row]() {
        // The same precision means another maximum in another range, and the
        // maximum field is what a value above the top writes.
        const AnalogConversion::OutputMode &mode = rowMode(row);
        const double precision = AnalogConversion::fieldNumber(row->precisionEdit->text());
        row->maximumEdit->setText(QtTools::toHex(AnalogConversion::maximumRegister(mode, precision)));
        row->valueUnit->setText(QString::fromLatin1(mode.unit));
        row->precisionUnit->setText(QString::fromLatin1(mode.unit));
        row->setButtonsEnabled(true);
    });
    connect(row->writeButton, &QPushButton::clicked, this, [this, row]() { write(row); });
    connect(row->cancelButton, &QPushButton::clicked, this, [this, row]() {
        row->setButtonsEnabled(false);
        readBack();
        row->valueEdit->clearFocus();
    });
    connect(row->viewCheckBox, &QCheckBox::stateChanged, this, [row](int state) {
        row->controls->setVisible(state == 0);
        row->registerView->setVisible(state != 0);
    });
}

void AnalogOutputsPanel::readBack()
{
    if (!session->linkUp() || channelRows.isEmpty())
        return;
    const int readCount = ModbusRequest::analogOutputReadCount(channelRows.size());
    for (AnalogBlock block : { AnalogBlock::Value, AnalogBlock::Max, AnalogBlock::Mode }) {
        emit request(panelRequest(*session, ModbusRequest::analogOutputReadKind(block),
                                  ModbusRequest::analogOutputRead(block, readCount)));
    }
}

void AnalogOutputsPanel::showReadBack(const QString &kind, const QString &reply)
{
    const int channels = channelsInReadBack(reply.size());
    for (int channel = 0; channel < channels; ++channel) {
        // A reply for a panel that has since been rebuilt smaller.
        AnalogOutputRow *row = channelRows.value(channel);
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
            if (maximum != 0)
                row->precisionEdit->setText(AnalogConversion::precisionText(mode, maximum));
        }
    }
}

void AnalogOutputsPanel::write(AnalogOutputRow *row)
{
    if (!session->linkUp()) {
        QMessageBox::warning(layout->parentWidget(), tr("warning", " 警告 "),
                             tr("Unable to write until open the serial port.", " 串口没有打开，无法写入。 "));
        return;
    }
    const AnalogConversion::OutputMode &mode = rowMode(row);
    const double value = AnalogConversion::fieldNumber(row->valueEdit->text());
    const double precision = AnalogConversion::fieldNumber(row->precisionEdit->text());
    const quint16 maximum = AnalogConversion::maximumRegister(mode, precision);
    const quint16 valueRegister = AnalogConversion::valueRegister(mode, value, precision, row->typedMaximum());

    auto queue = [this](AnalogBlock block, QLabel *label, const QString &caption, int channel, quint16 word) {
        const QString frame = ModbusRequest::analogOutputWrite(block, channel, word);
        label->setText(caption + QLatin1Char(':')
                       + (session->link() == LinkKind::Tcp ? QtTools::toModbusTcpFrame(frame) : frame));
        emit request(panelRequest(*session, ModbusRequest::analogOutputWriteKind(block, channel), frame));
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
    QTimer::singleShot(kReadBackDelayMs, this, &AnalogOutputsPanel::readBack);
}

bool AnalogOutputsPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent *>(event)->key();
    const bool confirm = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (!confirm && key != Qt::Key_Escape)
        return QObject::eventFilter(watched, event);
    for (AnalogOutputRow *row : qAsConst(channelRows)) {
        if (watched != row->valueEdit && watched != row->precisionEdit)
            continue;
        (confirm ? row->writeButton : row->cancelButton)->click();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
