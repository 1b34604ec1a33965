#pragma once

#include "ui/switchstates.h"

#include <QList>
#include <QMap>
#include <QPushButton>

// What the output and the input panel do alike to their channel buttons: grey while the
// state is unknown, painted by state, captioned by the stored channel names.
namespace ChannelButtons {

using NameKey = QString (*)(int channel, bool on);
using DefaultCaption = QString (*)(int channel);

// A channel's off-state name, else its number.
inline QString offCaption(const QMap<QString, QString> &names, NameKey key,
                          DefaultCaption fallback, int channel)
{
    return SwitchStates::caption(names, key(channel, false), fallback(channel));
}

inline void showUnknown(const QList<QPushButton *> &buttons)
{
    for (QPushButton *button : buttons)
        button->setStyleSheet(SwitchStates::kNoLinkStyle);
}

// A button shows the name of its present state, else its off-state name, else its
// number, so a removed name gives the number back.
inline void refreshNames(const QList<QPushButton *> &buttons, const QMap<QString, QString> &names,
                         NameKey key, DefaultCaption fallback)
{
    for (int k = 0; k < buttons.size(); ++k) {
        QPushButton *button = buttons.at(k);
        const bool on = button->styleSheet() == SwitchStates::kOnStyle;
        button->setText(SwitchStates::caption(names, key(k + 1, on),
                                              offCaption(names, key, fallback, k + 1)));
    }
}

// A button already showing the state keeps its style and caption (names change through
// refreshNames): a poll that changes nothing touches no widget.
inline void paint(QPushButton *button, const QMap<QString, QString> &names, NameKey key,
                  int channel, bool on)
{
    const QString style = SwitchStates::stateStyle(on);
    if (button->styleSheet() == style)
        return;
    button->setStyleSheet(style);
    button->setText(SwitchStates::caption(names, key(channel, on), button->text()));
}

} // namespace ChannelButtons
