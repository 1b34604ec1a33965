#pragma once

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modelcatalogue.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "simulator/modulesimulator.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/analoginputspanel.h"
#include "ui/analogoutputspanel.h"
#include "ui/linkcontrolspanel.h"
#include "ui/outputlog.h"
#include "ui/switchinputspanel.h"
#include "ui/switchoutputspanel.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

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

// The window's request queue (in the link's thread), once the link has made it.
inline ThreadAdministrator *queueOf(MainWindow *window)
{
    ThreadSerialport *link = window->link();
    ThreadAdministrator *queue = nullptr;
    QMetaObject::invokeMethod(link, [link, &queue]() { queue = link->threadAdministrator; },
                              Qt::BlockingQueuedConnection);
    return queue;
}

// Waits until the link has wired the window to the request queue and the queue
// has taken every request handed to it, so no request is left without an owner.
inline void settleLink(MainWindow *window)
{
    if (ThreadAdministrator *queue = queueOf(window))
        QMetaObject::invokeMethod(queue, []() {}, Qt::BlockingQueuedConnection);
}

// The kinds of the requests in a queue running in another thread, head first.
inline QStringList queuedKinds(ThreadAdministrator *queue)
{
    QStringList kinds;
    if (!queue)
        return kinds;
    QMetaObject::invokeMethod(queue, [queue, &kinds]() {
        for (const Sender *sender : qAsConst(queue->senders))
            kinds << sender->kind;
    }, Qt::BlockingQueuedConnection);
    return kinds;
}

// The kinds of the requests in the window's queue, head first.
inline QStringList queuedKinds(MainWindow *window)
{
    return queuedKinds(queueOf(window));
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

// Tells the window's session that the link in use is now `link`, as the link itself would;
// the link (connected nowhere) is cut off from the session first, so it cannot say otherwise.
inline void pretendLink(MainWindow *window, LinkKind link)
{
    Session *session = window->session();
    QObject::disconnect(window->link(), nullptr, session, nullptr);
    switch (link) {
    case LinkKind::Tcp:
        session->tcpConnectedNow();
        session->serialClosed();
        break;
    case LinkKind::Serial:
        session->serialOpened();
        break;
    case LinkKind::None:
        session->serialClosed();
        session->tcpDisconnected();
        break;
    }
}

// The settings windows of a type that are open (they are top-level windows of their own).
template <class T>
QList<T *> openWindows()
{
    QList<T *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<T *>(widget); window && window->isVisible())
            found << window;
    }
    return found;
}

// Answers the question the window asks before it switches relays or restarts a module
// (the box named `name`); returns its text, empty when none was asked.
inline QString answerConfirmation(QWidget *window, const char *name, bool yes)
{
    auto *box = window->findChild<QMessageBox *>(QLatin1String(name));
    if (!box)
        return QString();
    const QString text = box->text();
    QTest::mouseClick(box->button(yes ? QMessageBox::Yes : QMessageBox::No), Qt::LeftButton);
    return text;
}

// Chooses a model from the Model menu by its English name, as an operator would; the
// rows of an earlier panel are gone when it returns.
inline void chooseModel(MainWindow *window, const char *english)
{
    const int index = ModelCatalogue::indexOf(QString::fromUtf8(english));
    QVERIFY2(index >= 0, english);
    window->modelAction(index)->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
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
                              shown("Connect", " 连接 ", "LinkControlsPanel"), 10000);
}

inline void waitForNetworkConnect(MainWindow *window)
{
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_network"))->text(),
                              shown("Connect", " 连接 ", "LinkControlsPanel"), 10000);
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

// A module whose every answer the test writes itself, on Modbus TCP (127.0.0.1) or on
// Modbus RTU through a pseudo-terminal: each request (serial form without CRC) goes to
// the script, whose bytes go back exactly as given.
class ScriptedModule : public QObject
{
public:
    using Script = std::function<QByteArray(const QByteArray &request, int number)>;

    explicit ScriptedModule(bool serial) : m_serial(serial) {}
    ~ScriptedModule() override { closeLine(); }

    bool start()
    {
        if (!m_serial) {
            connect(&m_server, &QTcpServer::newConnection, this, [this]() {
                while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                    delete m_socket;
                    m_socket = socket;
                    m_rx.clear();
                    connect(socket, &QTcpSocket::readyRead, this, [this, socket]() {
                        m_rx += socket->readAll();
                        cutRequests();
                    });
                }
            });
            return m_server.listen(QHostAddress::LocalHost);
        }
        return openPty();
    }

    bool openPty()
    {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
            return false;
        // The slave stays open here too, so the line never hangs up before the tool opens it.
        termios settings {};
        if (::tcgetattr(m_slave, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(m_slave, TCSANOW, &settings);
        }
        m_path = QString::fromLocal8Bit(name);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
        connect(m_notifier, &QSocketNotifier::activated, this, [this]() {
            char buffer[512];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                m_rx += QByteArray(buffer, int(n));
                cutRequests();
            }
        });
        return true;
    }

    // The line goes away under the tool: the connection or the pseudo-terminal closes.
    void closeLine()
    {
        if (m_socket) {
            m_socket->disconnectFromHost();
            m_socket->deleteLater();
            m_socket = nullptr;
        }
        delete m_notifier;
        m_notifier = nullptr;
        if (m_master >= 0)
            ::close(m_master);
        if (m_slave >= 0)
            ::close(m_slave);
        m_master = m_slave = -1;
        m_rx.clear();
    }

    void send(const QByteArray &bytes)
    {
        if (m_socket)
            m_socket->write(bytes);
        else if (m_master >= 0)
            (void)!::write(m_master, bytes.constData(), size_t(bytes.size()));
    }

    // A reply in the line's own framing.
    QByteArray frame(const QByteArray &body) const
    {
        if (m_serial)
            return QtTools::hexStringToByteArray(QtTools::appendCrc16(QString::fromLatin1(body.toHex())));
        QByteArray header(4, '\0');
        header.append(char(body.size() >> 8));
        header.append(char(body.size() & 0xFF));
        return header + body;
    }

    quint16 port() const { return m_server.serverPort(); }
    // Bytes given to send() that have not yet left for the line (TCP).
    qint64 unsent() const { return m_socket ? m_socket->bytesToWrite() : 0; }
    QString path() const { return m_path; }
    bool serial() const { return m_serial; }

    Script script;
    QList<QByteArray> requests;

private:
    void cutRequests()
    {
        for (;;) {
            QByteArray request;
            if (m_serial) {
                if (m_rx.size() < 8)
                    return;
                const char function = m_rx.at(1);
                int length = 8;
                if (function == 0x0f || function == 0x10) {
                    if (m_rx.size() < 7)
                        return;
                    length = 9 + quint8(m_rx.at(6));
                }
                if (m_rx.size() < length)
                    return;
                request = m_rx.left(length - 2);
                m_rx.remove(0, length);
            } else {
                if (m_rx.size() < 6)
                    return;
                const int length = 6 + (quint8(m_rx.at(4)) << 8 | quint8(m_rx.at(5)));
                if (m_rx.size() < length)
                    return;
                request = m_rx.mid(6, length - 6);
                m_rx.remove(0, length);
            }
            requests << request;
            if (script) {
                const QByteArray answer = script(request, requests.size());
                if (!answer.isEmpty())
                    send(answer);
            }
        }
    }

    bool m_serial;
    QTcpServer m_server;
    QTcpSocket *m_socket = nullptr;
    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_rx;
};
