#pragma once

#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "simulator/modulesimulator.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTcpServer>
#include <QtTest>

// A test program runs in the language MEROVI_TEST_LANGUAGE names ("zh" installs the
// Chinese catalogue, as `merovitest --language zh` does; English otherwise).
inline bool installTestLanguage()
{
    const QString code = qEnvironmentVariable("MEROVI_TEST_LANGUAGE");
    if (!Language::install(QCoreApplication::instance(), code))
        return false;
    // The catalogue is in place: a Chinese run shows Chinese texts.
    return Language::current() != Language::kChinese
        || QCoreApplication::translate("MainWindow", "Close", " 关闭 ") == QStringLiteral("关闭");
}

// What the window shows for an English text in the language of the run.
inline QString shown(const char *source, const char *comment = nullptr,
                     const char *context = "MainWindow")
{
    return QCoreApplication::translate(context, source, comment);
}

// Main windows for tests. A window tries to connect on its own half a second after
// start, so its remote address must be on this machine before the event loop runs.

// A port of 127.0.0.1 that nothing listens on: a connection attempt there fails.
inline quint16 closedLocalPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// Waits until the link has wired the window to the request queue and the queue
// has taken every request handed to it, so no request is left without an owner.
inline void settleLink(MainWindow *window)
{
    ThreadSerialport *link = window->threadSerialport;
    ThreadAdministrator *queue = nullptr;
    QMetaObject::invokeMethod(link, [link, &queue]() { queue = link->threadAdministrator; },
                              Qt::BlockingQueuedConnection);
    if (queue)
        QMetaObject::invokeMethod(queue, []() {}, Qt::BlockingQueuedConnection);
}

// A main window whose remote address is 127.0.0.1 and the given port (by default
// a closed one), so it never reaches anything but this machine; its link is wired,
// so every request it hands over from now on has an owner.
inline MainWindow *newLoopbackWindow(quint16 port = 0)
{
    auto *window = new MainWindow;
    auto *ip = window->findChild<QLineEdit *>(QStringLiteral("lineEdit_localFarIP"));
    {
        const QSignalBlocker blocker(ip);
        ip->setText(QStringLiteral("127.0.0.1"));
    }
    window->findChild<QLineEdit *>(QStringLiteral("lineEdit_localfarPortNumber"))
            ->setText(QString::number(port ? port : closedLocalPort()));
    settleLink(window);
    return window;
}

// Chooses the serial line at `path` in the window and opens it, as an operator would.
inline void openSerialInWindow(MainWindow *window, const QString &path)
{
    window->addSerialPortPath(path);
    auto *ports = window->findChild<QComboBox *>(QStringLiteral("comCbb"));
    QTRY_VERIFY_WITH_TIMEOUT(ports->findText(path) >= 0, 10000);
    ports->setCurrentText(path);
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("switchBt")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_serialState"))->text(),
                              shown("Connect", " 连接 "), 10000);
}

inline void waitForNetworkConnect(MainWindow *window)
{
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_network"))->text(),
                              shown("Connect", " 连接 "), 10000);
}

// A new window connected to the simulated module, over TCP on 127.0.0.1 or over a
// pseudo-terminal (the window's own TCP attempt then goes to a closed local port).
// `settleMs` lets the window's start-up connection attempt pass before connecting.
inline void openWindowOnModule(MainWindow *&window, ModuleSimulator &module, bool serial,
                               int settleMs = 0)
{
    quint16 port = 0;
    if (!serial) {
        QVERIFY(module.listenTcp());
        port = module.tcpPort();
    }
    window = newLoopbackWindow(port);
    if (settleMs > 0)
        QTest::qWait(settleMs);
    if (!serial) {
        waitForNetworkConnect(window);
        return;
    }
    const QString path = module.openPty();
    QVERIFY(!path.isEmpty());
    openSerialInWindow(window, path);
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(module.serialLineOpen(), 10000);
}
