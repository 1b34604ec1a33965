#include "ui/switchinputspanel.h"

#include "QtLibrary/QtTools/qttools.h"
#include "link/session.h"
#include "protocol/modbusrequest.h"
#include "protocol/replydecoder.h"
#include "ui/panelrequest.h"
#include "ui/channelbuttons.h"
#include "ui/switchstates.h"

#include <QFont>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace {

constexpr int kChannelsPerRow = 4;
constexpr int kButtonMinimumHeight = 30;

const QMap<QString, QString> &storedNames()
{
    return QtTools::instance()->configMap;
}

QString offCaption(int channel)
{
    return ChannelButtons::offCaption(storedNames(), &SwitchStates::inputNameKey,
                                      &SwitchStates::defaultInputCaption, channel);
}

QString startText()
{
    return SwitchInputsPanel::tr("Start detecting", " 开始检测 ");
}

QString stopText()
{
    return SwitchInputsPanel::tr("Stop detecting", " 停止检测 ");
}

} // namespace

SwitchInputsPanel::SwitchInputsPanel(Session *session, const Widgets &widgets, QObject *parent)
    : QObject(parent), session(session), form(widgets)
{
}

void SwitchInputsPanel::build(int count)
{
    inputs = count;
    if (count < 0) {
        form.panel->hide();
        // A board without inputs is not polled for them.
        if (detecting()) {
            emit withdraw(ModbusRequest::kStartDetecting);
            form.detectButton->setText(startText());
        }
        return;
    }
    qDeleteAll(inputButtons);
    inputButtons.clear();
    delete grid;

    form.panel->show();
    grid = new QGridLayout;
    const QString style = SwitchStates::builtStyle(session->linkUp());
    for (int k = 0; k < count; ++k) {
        auto *button = new QPushButton(offCaption(k + 1), form.panel);
        button->setStyleSheet(style);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setMinimumHeight(kButtonMinimumHeight);
        button->setFont(QFont(QStringLiteral("Arial"), 12));
        inputButtons.append(button);
        grid->addWidget(button, k / kChannelsPerRow, k % kChannelsPerRow);
    }
    form.layout->addLayout(grid);
}

bool SwitchInputsPanel::detecting() const
{
    return form.detectButton->text() == stopText();
}

void SwitchInputsPanel::restartDetection()
{
    if (inputs < 0)
        return;
    // A detection that ran before the link went down, or for the board before, is
    // started afresh with its own frame.
    if (detecting())
        toggleDetection();
    toggleDetection();
}

void SwitchInputsPanel::toggleDetection()
{
    if (inputs < 0)
        return;
    if (!detecting()) {
        const QString frame = ModbusRequest::startDetecting(inputs);
        emit request(panelRequest(*session, ModbusRequest::kStartDetecting, frame));
        form.frameLabel->setText(ModbusRequest::wireText(frame, session->deviceAddressHex(),
                                                         session->link() == LinkKind::Tcp));
        form.detectButton->setText(stopText());
    } else {
        emit withdraw(ModbusRequest::kStartDetecting);
        form.detectButton->setText(startText());
    }
}

void SwitchInputsPanel::showUnknown()
{
    ChannelButtons::showUnknown(inputButtons);
}

void SwitchInputsPanel::refreshNames()
{
    ChannelButtons::refreshNames(inputButtons, storedNames(), &SwitchStates::inputNameKey,
                                 &SwitchStates::defaultInputCaption);
}

void SwitchInputsPanel::showStates(const QString &bits)
{
    emit statesConfirmed();
    const QVector<bool> states = ReplyDecoder::decodeInputTokens(bits, inputButtons.size());
    for (int k = 0; k < states.size(); ++k)
        paint(k, states.at(k));
}

void SwitchInputsPanel::paint(int index, bool on)
{
    ChannelButtons::paint(inputButtons.at(index), storedNames(), &SwitchStates::inputNameKey, index + 1, on);
}
