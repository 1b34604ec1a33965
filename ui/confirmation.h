#pragma once

#include <QString>

#include <functional>

class QMenu;
class QWidget;

// The question the window asks before it moves relays or restarts a module. A setting
// turns the questions off for a bench with nothing connected.
namespace Confirmation {

bool asks();
void setAsks(bool on);
// The checkable menu entry of the setting.
void addChoice(QMenu *menu);
// Runs `proceed` once the operator agreed in the box named `objectName` (at once when
// the questions are off); nothing happens on "No".
void ask(QWidget *parent, const QString &objectName, const QString &text,
         const std::function<void()> &proceed);

} // namespace Confirmation
