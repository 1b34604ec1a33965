#include "ui/analoginputspanel.h"

#include "link/session.h"
#include "protocol/modbusrequest.h"
#include "ui/panelfonts.h"
#include "ui/panelrequest.h"
#include "ui/switchstates.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kColumns = 4;
constexpr int kCellMargin = 2;

const QString kZeroValue = QStringLiteral("0.000");
const QString kWidestValue = QStringLiteral("00.000");
const QString kInputHighlight = QStringLiteral("background-color: rgb(170, 255, 255);");

QString startText()
{
    return AnalogInputsPanel::tr("Start detecting", " 开始检测 ");
}

QString stopText()
{
    return AnalogInputsPanel::tr("Stop detecting", " 停止检测 ");
}

} // namespace

AnalogInputsPanel::AnalogInputsPanel(Session *session, const Widgets &widgets, QObject *parent)
    : QObject(parent), session(session), form(widgets)
{
}

void AnalogInputsPanel::build(int count, const QString &unit)
{
    // A running poll reads the old channel count: stop it with the old panel.
    if (detecting()) {
        emit withdraw(ModbusRequest::kAnalogStartDetecting);
        form.detectButton->setText(startText());
    }
    qDeleteAll(cellWidgets);
    cellWidgets.clear();
    valueLabels.clear();
    delete grid;
    grid = new QGridLayout;

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

        valueLabels.append(value);
        cellWidgets.append(cell);
        grid->addWidget(cell, channel / kColumns, channel % kColumns);
    }
    form.layout->addLayout(grid);
}

bool AnalogInputsPanel::detecting() const
{
    return form.detectButton->text() == stopText();
}

void AnalogInputsPanel::toggleDetection()
{
    if (detecting()) {
        // What detection read is no longer being read.
        showUnknown();
        form.detectButton->setText(startText());
        emit withdraw(ModbusRequest::kAnalogStartDetecting);
        return;
    }
    if (valueLabels.isEmpty())
        return;
    const QString frame = ModbusRequest::analogInputRead(session->deviceAddressHex(), valueLabels.size());
    form.frameLabel->setText(ModbusRequest::wireText(frame, session->deviceAddressHex(),
                                                     session->link() == LinkKind::Tcp));
    emit request(panelRequest(*session, ModbusRequest::kAnalogStartDetecting, frame));
    form.detectButton->setText(stopText());
}

void AnalogInputsPanel::restartDetection()
{
    if (!detecting())
        return;
    toggleDetection();
    toggleDetection();
}

void AnalogInputsPanel::showUnknown()
{
    for (QLabel *label : qAsConst(valueLabels)) {
        label->setText(SwitchStates::kUnknownValue);
        label->setStyleSheet(SwitchStates::kUnknownTextStyle);
    }
}

void AnalogInputsPanel::showValues(const QString &data)
{
    emit statesConfirmed();
    const QStringList values = data.split(QLatin1Char(' '));
    const int channels = qMin(values.size(), valueLabels.size());
    for (int channel = 0; channel < channels; ++channel) {
        QLabel *label = valueLabels.at(channel);
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
