#include "ui/findflow.h"

#include "check/modulefinder.h"
#include "link/session.h"
#include "link/threadserialport.h"
#include "protocol/remoteaddress.h"
#include "ui/analoginputspanel.h"
#include "ui/findmoduledialog.h"
#include "ui/linkcontrolspanel.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"

#include <QAction>
#include <QColor>
#include <QMetaObject>
#include <QPointer>
#include <QProgressDialog>

FindFlow::FindFlow(Session *session, ThreadSerialport *link, const Panels &panels,
                   QAction *action, QWidget *window)
    : QObject(window), session(session), link(link), panels(panels), action(action), window(window)
{
    connect(action, &QAction::triggered, this, &FindFlow::start);
}

void FindFlow::start()
{
    if (progress)
        return;
    // The serial port when it is in use, or when the network is not; else the remote address.
    const ThreadSerialport::PortSettings port = panels.link->portSettings();
    const bool serial = session->serialOpen()
        || (session->link() != LinkKind::Tcp && !port.portName.isEmpty());
    ModuleFinder::SerialTarget target;
    RemoteAddress::Endpoint remote;
    if (serial) {
        target.portName = port.portName;
        target.baudRates = panels.link->baudRates();
        target.dataBits = port.dataBits;
        target.stopBits = port.stopBits;
        target.parity = port.parity;
    } else {
        remote = panels.link->remoteEndpoint();
        if (!remote.valid()) {
            emit logLine(remote.error(), QColor(Qt::red));
            return;
        }
    }

    // Polling and detection pause while the search has the line.
    pause.serialWasOpen = session->serialOpen();
    pause.pollWasActive = panels.outputs->polling();
    pause.inputDetecting = panels.inputs->detecting();
    pause.analogDetecting = panels.analogInputs->detecting();
    panels.outputs->stopPolling();
    if (pause.inputDetecting)
        panels.inputs->toggleDetection();
    if (pause.analogDetecting)
        panels.analogInputs->toggleDetection();

    if (!finder) {
        finder = new ModuleFinder(this);
        connect(finder, &ModuleFinder::finished, this,
                [this](ModuleFinder::Outcome outcome) { finish(outcome); });
    }
    action->setEnabled(false);
    progress = new QProgressDialog(tr("Find module", " 查找模块 "), tr("Cancel", " 取消 "), 0,
                                   ModuleFinder::stepCount(serial ? target.baudRates.size() : 1), window);
    progress->setObjectName(QStringLiteral("findModuleProgress"));
    progress->setWindowTitle(tr("Find module", " 查找模块 "));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(0);
    QProgressDialog *shown = progress;
    connect(finder, &ModuleFinder::progress, shown, [shown](const QString &what, int step) {
        shown->setLabelText(what);
        shown->setValue(qMin(step, shown->maximum()));
    });
    connect(shown, &QProgressDialog::canceled, this, [this]() {
        if (finder->isRunning())
            finder->cancel();
    });
    shown->show();

    if (!serial) {
        // A short connection of its own: the link to the module stays as it is.
        finder->startTcp(remote.host.text, remote.port.number);
        return;
    }
    if (session->serialOpen())
        panels.link->toggleSerialPort();
    // The link closes the port in its own thread; the search opens it once that is done.
    ThreadSerialport *serialLink = link;
    QPointer<QProgressDialog> waiting = shown;
    QMetaObject::invokeMethod(serialLink, [this, waiting, target]() {
        QMetaObject::invokeMethod(this, [this, waiting, target]() {
            if (!waiting)
                return;
            if (waiting->wasCanceled())
                finish(ModuleFinder::Cancelled);
            else
                finder->startSerial(target);
        });
    });
}

void FindFlow::finish(int outcome)
{
    if (progress) {
        finder->disconnect(progress);
        progress->close();
        progress->deleteLater();
        progress = nullptr;
    }
    action->setEnabled(true);

    // The line goes back to the link as the operator left it, and polling resumes.
    if (pause.serialWasOpen && panels.link->offersOpen())
        panels.link->toggleSerialPort();
    if (pause.inputDetecting && !panels.inputs->detecting())
        panels.inputs->toggleDetection();
    if (pause.analogDetecting && !panels.analogInputs->detecting())
        panels.analogInputs->toggleDetection();
    if (pause.pollWasActive && panels.outputs->count() >= 0)
        panels.outputs->startPolling();
    pause = Pause();

    const QList<FoundModule> modules = finder->results();
    if (outcome == ModuleFinder::Cancelled) {
        emit logLine(tr("Find module: cancelled", " 查找模块：已取消 "), QColor(Qt::darkYellow));
        return;
    }
    const QString error = outcome == ModuleFinder::Failed ? finder->errorString() : QString();
    if (!error.isEmpty())
        emit logLine(tr("Find module: %1", " 查找模块：%1 ").arg(error), QColor(Qt::red));
    else if (modules.isEmpty())
        emit logLine(tr("Find module: nothing found", " 查找模块：未找到 "), QColor(Qt::red));
    for (const FoundModule &module : modules) {
        emit logLine(tr("Find module: %1 %2 %3, address %4 %5", " 查找模块：%1 %2 %3，地址 %4 %5 ")
                         .arg(module.port,
                              module.network ? QString() : QString::number(module.baudRate),
                              module.framingText(), QString::number(module.address),
                              module.modelText()),
                     QColor(0, 128, 0));
    }
    if (!dialog) {
        dialog = new FindModuleDialog(window);
        connect(dialog, &FindModuleDialog::useRequested, this, &FindFlow::useRequested);
    }
    dialog->showResults(modules, error);
    dialog->open();
}
