#include "ui/analogoutputrow.h"

#include "protocol/analogconversion.h"
#include "ui/panelfonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleValidator>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// Six significant digits need up to 11 characters ("0.000305176", "7.62951e-05"); a
// shorter field would cut the read-back text, and the next write would use the stump.
constexpr int kNumberFieldLength = 11;
// Tight enough that three rows of four channels fit a laptop screen beside the log.
constexpr int kFrameMargin = 3;
constexpr int kRowSpacing = 2;
constexpr int kValuePoints = 20;
constexpr int kButtonPadding = 16;

const QString kRowFrameStyle = QStringLiteral("QWidget#widgetTotal{background-color: rgb(255, 170, 127);}");

QString numbered(const char *name, int channel)
{
    return QLatin1String(name) + QLatin1Char('_') + QString::number(channel);
}

} // namespace

AnalogOutputRow::AnalogOutputRow(int channel, const QString &unit, QWidget *parent)
    : QWidget(parent)
    , channel(channel)
{
    using PanelFonts::newLabel;
    setObjectName(numbered("widget_analogOutCell", channel));

    channelLabel = newLabel(QStringLiteral("AO") + QStringLiteral("%1:").arg(channel), 18, Qt::AlignCenter);
    channelLabel->setObjectName(numbered("label_analogOutChannel", channel));

    valueEdit = new QLineEdit(QStringLiteral("0.000"));
    valueEdit->setObjectName(numbered("lineEdit_analogOutValue", channel));
    valueEdit->setValidator(new QDoubleValidator(0, 99999, 6, valueEdit));
    valueEdit->setMaxLength(kNumberFieldLength);
    valueEdit->setAlignment(Qt::AlignCenter);
    valueEdit->setFont(PanelFonts::arial(kValuePoints));
    PanelFonts::keepWhole(valueEdit);
    valueUnit = newLabel(unit, 18);
    valueUnit->setObjectName(numbered("label_analogOutValueUnit", channel));

    precisionCaption = newLabel(tr("Precision:", " 输出精度: "), 12, Qt::AlignRight | Qt::AlignVCenter);
    precisionEdit = new QLineEdit(QStringLiteral("0"));
    precisionEdit->setObjectName(numbered("lineEdit_analogOutPrecision", channel));
    precisionEdit->setValidator(new QDoubleValidator(0, 999999.99, 6, precisionEdit));
    precisionEdit->setMaxLength(kNumberFieldLength);
    precisionEdit->setFont(PanelFonts::arial(12));
    precisionEdit->setToolTip(tr("Output accuracy = interval/maximum register",
                                             " 输出精度=区间值/最大值寄存器 "));
    precisionUnit = newLabel(unit, 12);
    precisionUnit->setObjectName(numbered("label_analogOutPrecisionUnit", channel));

    maximumCaption = newLabel(tr("Maximum:0x", "  最大值寄存器:0x "), 12, Qt::AlignRight | Qt::AlignVCenter);
    maximumEdit = new QLineEdit;
    maximumEdit->setObjectName(numbered("lineEdit_analogOutMaximum", channel));
    maximumEdit->setInputMask(QStringLiteral("HHHH"));
    maximumEdit->setMaxLength(4);
    maximumEdit->setText(QStringLiteral("FFFF"));
    maximumEdit->setFont(PanelFonts::arial(12));

    modeCaption = newLabel(tr("Mode:", " 输出模式: "), 12, Qt::AlignRight | Qt::AlignVCenter);
    modeBox = new QComboBox;
    modeBox->setObjectName(numbered("comboBox_analogOutMode", channel));
    for (const AnalogConversion::OutputMode &mode : AnalogConversion::modes())
        modeBox->addItem(QString::fromLatin1(mode.text));
    modeBox->setFont(PanelFonts::arial(12));

    writeButton = new QPushButton(tr("write", " 写入 "));
    writeButton->setObjectName(numbered("pushButton_analogOutWrite", channel));
    writeButton->setStatusTip(tr("write new value into register", " 写入寄存器 "));
    writeButton->setFont(PanelFonts::arial(12));
    cancelButton = new QPushButton(tr("Cancel", " 取消 "));
    cancelButton->setObjectName(numbered("pushButton_analogOutCancel", channel));
    cancelButton->setFont(PanelFonts::arial(12));
    // Nothing to write or cancel until the operator edits the row.
    setButtonsEnabled(false);
    // As narrow as their words allow, and the register field as wide as its four digits:
    // four channels share a row beside the log.
    for (QPushButton *button : { writeButton, cancelButton }) {
        button->setSizePolicy(QSizePolicy::Preferred, button->sizePolicy().verticalPolicy());
        button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + kButtonPadding);
    }
    maximumEdit->setMinimumWidth(maximumEdit->fontMetrics().horizontalAdvance(QStringLiteral("FFFF"))
                                 + kButtonPadding);

    controls = new QWidget;
    controls->setObjectName(numbered("widget_analogOutControls", channel));
    auto *controlsLayout = new QVBoxLayout(controls);
    controlsLayout->setContentsMargins(0, 0, 0, 0);
    controlsLayout->setSpacing(kRowSpacing);
    auto addLine = [controlsLayout](std::initializer_list<QWidget *> widgets) {
        auto *line = new QHBoxLayout;
        for (QWidget *widget : widgets)
            line->addWidget(widget);
        controlsLayout->addLayout(line);
    };
    controlsLayout->addStretch();
    addLine({ channelLabel, valueEdit, valueUnit });
    addLine({ precisionCaption, precisionEdit, precisionUnit });
    // The buttons beside the fields they write, one line less.
    addLine({ maximumCaption, maximumEdit, writeButton });
    addLine({ modeCaption, modeBox, cancelButton });
    controlsLayout->addStretch();

    modeFrameLabel = newLabel(QStringLiteral("0xFFFF"), 18, Qt::AlignCenter);
    modeFrameLabel->setObjectName(numbered("label_analogOutModeFrame", channel));
    valueFrameLabel = newLabel(QStringLiteral("0xFFFF"), 18, Qt::AlignCenter);
    valueFrameLabel->setObjectName(numbered("label_analogOutValueFrame", channel));
    maximumFrameLabel = newLabel(QStringLiteral("0xFFFF"), 18, Qt::AlignCenter);
    maximumFrameLabel->setObjectName(numbered("label_analogOutMaximumFrame", channel));
    registerView = new QWidget;
    registerView->setObjectName(numbered("widget_analogOutRegisters", channel));
    auto *registerLayout = new QVBoxLayout(registerView);
    registerLayout->setContentsMargins(0, 0, 0, 0);
    for (QLabel *label : { modeFrameLabel, valueFrameLabel, maximumFrameLabel })
        registerLayout->addWidget(label);
    registerView->hide();

    viewCheckBox = new QCheckBox(tr("View register values", " 查看寄存器值 "));
    viewCheckBox->setObjectName(numbered("checkBox_analogOutView", channel));
    viewCheckBox->setFont(PanelFonts::arial(12));

    frame = new QWidget;
    frame->setObjectName(QStringLiteral("widgetTotal"));
    frame->setStyleSheet(kRowFrameStyle);
    auto *frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(kFrameMargin, kFrameMargin, kFrameMargin, kFrameMargin);
    frameLayout->setSpacing(kRowSpacing);
    frameLayout->addWidget(controls);
    frameLayout->addWidget(registerView);
    frameLayout->addWidget(viewCheckBox);

    auto *cellLayout = new QVBoxLayout(this);
    cellLayout->setContentsMargins(0, 0, 0, 0);
    cellLayout->addStretch();
    cellLayout->addWidget(frame);
    cellLayout->addStretch();
}

void AnalogOutputRow::setButtonsEnabled(bool enabled)
{
    writeButton->setEnabled(enabled);
    cancelButton->setEnabled(enabled);
}

bool AnalogOutputRow::hasPendingEdits() const
{
    return writeButton->isEnabled();
}

quint16 AnalogOutputRow::typedMaximum() const
{
    bool ok = false;
    const uint value = maximumEdit->text().toUInt(&ok, 16);
    return ok ? quint16(value) : 0;
}
