#include "ui/confirmation.h"

#include "QtLibrary/QtTools/qttools.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>

namespace Confirmation {

namespace {

const QString kSettingsKey = QStringLiteral("askBeforeSwitching");

} // namespace

bool asks()
{
    return QtTools::instance()->configMap.value(kSettingsKey) != QLatin1String("0");
}

void setAsks(bool on)
{
    QtTools::instance()->setValue(kSettingsKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    QtTools::instance()->saveEverything();
}

void addChoice(QMenu *menu)
{
    auto *action = menu->addAction(QCoreApplication::translate("Confirmation", "Ask before switching relays or restarting",
                                      " 切换继电器或重启前先询问 "));
    action->setObjectName(QStringLiteral("action_askBeforeSwitching"));
    action->setCheckable(true);
    action->setChecked(asks());
    action->setStatusTip(QCoreApplication::translate("Confirmation", "Turn off only for a bench with nothing connected to the module.",
                            " 仅在模块未接任何负载时关闭。 "));
    QObject::connect(action, &QAction::toggled, action, [](bool on) { setAsks(on); });
}

void ask(QWidget *parent, const QString &objectName, const QString &text,
         const std::function<void()> &proceed)
{
    if (!asks()) {
        proceed();
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Question, QCoreApplication::translate("Confirmation", "Please confirm", " 请确认 "), text,
                                QMessageBox::Yes | QMessageBox::No, parent);
    box->setObjectName(objectName);
    box->setDefaultButton(QMessageBox::No);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, box, [box, proceed](int) {
        if (box->clickedButton() == box->button(QMessageBox::Yes))
            proceed();
    });
    box->open();
}

} // namespace Confirmation
