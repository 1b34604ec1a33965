#include "ui/statustips.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QObject>
#include <QWidget>

namespace {

class StatusTipSink : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::StatusTip)
            return true;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

namespace StatusTips {

void showAsToolTips(QWidget *window)
{
    window->installEventFilter(new StatusTipSink(window));
    for (QAction *action : window->findChildren<QAction *>()) {
        // A model's tip repeats its name; a tool tip would only say it again.
        if (!action->statusTip().isEmpty() && action->statusTip() != action->text())
            action->setToolTip(action->statusTip());
    }
    for (QMenu *menu : window->findChildren<QMenu *>())
        menu->setToolTipsVisible(true);
}

} // namespace StatusTips
