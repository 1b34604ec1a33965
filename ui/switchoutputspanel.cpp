#include "ui/switchoutputspanel.h"

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
    return ChannelButtons::offCaption(storedNames(), &SwitchStates::outputNameKey,
                                      &SwitchStates::defaultOutputCaption, channel);
}

} // namespace

SwitchOutputsPanel::SwitchOutputsPanel(Session *session, const Widgets &widgets, QObject *parent)
    : QObject(parent), session(session), form(widgets)
{
    connect(&pollTimer, &QTimer::timeout, this, &SwitchOutputsPanel::poll);
}

void SwitchOutputsPanel::build(int count)
{
    outputs = count;
    qDeleteAll(outputButtons);
    outputButtons.clear();
    delete grid;
    grid = nullptr;
    known.clear();
    if (count < 0) {
        form.panel->hide();
        return;
    }
    form.panel->show();

    grid = new QGridLayout;
    const QString style = SwitchStates::builtStyle(session->linkUp());
    for (int k = 0; k < count; ++k) {
        auto *button = new QPushButton(offCaption(k + 1), form.panel);
        button->setStyleSheet(style);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        button->setMinimumHeight(kButtonMinimumHeight);
        button->setFont(QFont(QStringLiteral("Arial"), 12));
        outputButtons.append(button);
        grid->addWidget(button, k / kChannelsPerRow, k % kChannelsPerRow);
        connect(button, &QPushButton::clicked, this, &SwitchOutputsPanel::clicked);
    }
    form.layout->addLayout(grid);
    known.fill(0, count);
    poll();
}

void SwitchOutputsPanel::startPolling(int intervalMs)
{
    if (outputs >= 0)
        pollTimer.start(intervalMs);
}

void SwitchOutputsPanel::showUnknown()
{
    ChannelButtons::showUnknown(outputButtons);
}

void SwitchOutputsPanel::refreshNames()
{
    ChannelButtons::refreshNames(outputButtons, storedNames(), &SwitchStates::outputNameKey,
                                 &SwitchStates::defaultOutputCaption);
}

void SwitchOutputsPanel::setSingleChoice(bool on)
{
    if (on && outputs >= 0)
        switchAll(false);
    single = on;
}

void SwitchOutputsPanel::switchAll(bool on)
{
    if (outputs < 0)
        return;
    known.fill(on ? 1 : 0, outputs);
    send(on ? ModbusRequest::kAllOpen : ModbusRequest::kAllClose,
         ModbusRequest::allOutputs(outputs, on));
}

void SwitchOutputsPanel::poll()
{
    // Nothing is polled without a link; the panel shows the states as unknown meanwhile.
    if (outputs < 0 || !session->linkUp())
        return;
    emit request(panelRequest(*session, ModbusRequest::kCheckStatus,
                              ModbusRequest::checkStatus(outputs)));
}

void SwitchOutputsPanel::showStates(const QString &reply)
{
    emit statesConfirmed();
    const QVector<int> decoded = ReplyDecoder::decodeRegisterBits(reply);
    // A short reply updates only the channels it covers; the others keep their state.
    known = ReplyDecoder::mergeStates(known, decoded);
    const int painted = qMin(decoded.size(), outputButtons.size());
    for (int k = 0; k < painted; ++k)
        paint(k, known.at(k) == 1);
}

void SwitchOutputsPanel::showSwitched(int index)
{
    if (single) {
        for (int j = 0; j < outputButtons.size() && j < known.size(); ++j)
            paint(j, known.at(j) == 1);
        return;
    }
    if (index >= 0 && index < outputButtons.size() && index < known.size())
        paint(index, known.at(index) == 1);
}

void SwitchOutputsPanel::showAll(int status)
{
    known.fill(status);
    for (int k = 0; k < outputButtons.size(); ++k)
        paint(k, status != 0);
}

void SwitchOutputsPanel::clicked()
{
    const int k = outputButtons.indexOf(qobject_cast<QPushButton *>(sender()));
    if (outputs < 0 || k < 0 || k >= known.size())
        return;

    QString frame;
    if (single) {
        // The module is told: this output on, every other off; the known states follow
        // that command, so the acknowledgement paints what the module really does.
        known.fill(0);
        known[k] = 1;
        frame = ModbusRequest::singleChoice(k, outputs);
    } else {
        known[k] = known.at(k) == 0 ? 1 : 0;
        frame = ModbusRequest::singleCoil(k, known.at(k) == 1);
    }
    send(ModbusRequest::buttonKind(k), frame);
}

void SwitchOutputsPanel::paint(int index, bool on)
{
    ChannelButtons::paint(outputButtons.at(index), storedNames(), &SwitchStates::outputNameKey, index + 1, on);
}

void SwitchOutputsPanel::send(const QString &kind, const QString &frame)
{
    emit request(panelRequest(*session, kind, frame));
    form.frameLabel->setText(ModbusRequest::wireText(frame, session->deviceAddressHex(),
                                                     session->link() == LinkKind::Tcp));
}
