#include "tests/loopbackwindow.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "simulator/modulesimulator.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTcpServer>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

// The real window with its link threads against the simulated module, over TCP on
// 127.0.0.1 and over a pseudo-terminal.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tcpTypedFrameRoundTrips();
    void tcpStartUpAttemptKeepsTheConnection();
    void tcpIdentificationSetsAddressAndModel();
    void remoteFieldOctetsAreDecimal();
    void typedPortConnectsOnceSettled();
    void tcpExceptionReplyIsLoggedInRed();
    void serialTypedFrameRoundTrips();
    void serialAddressTypedByTheOperator();
    void terminalRefusesNonHexText();
    void closesCleanlyWithBothThreadsEnded();

private:
    void makeWindow(quint16 port);
    void openSerial();
    QString logText() const
    {
        window->flushLog();
        return recvText()->toPlainText();
    }
    QTextEdit *recvText() const { return window->findChild<QTextEdit *>("recvText"); }
    QColor colourOfLine(const QString &needle) const;
    void typeAndReturn(const QString &text);
    static quint16 closedPort();

    ModuleSimulator *simulator = nullptr;
    MainWindow *window = nullptr;
};

quint16 TestMainWindow::closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void TestMainWindow::init()
{
    simulator = new ModuleSimulator;
}

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
    delete simulator;
    simulator = nullptr;
}

void TestMainWindow::makeWindow(quint16 port)
{
    window = newLoopbackWindow(port);
    QCOMPARE(window->findChild<QLineEdit *>("lineEdit_localFarIP")->text(), QString("127.0.0.1"));
}

void TestMainWindow::openSerial()
{
    const QString path = simulator->openPty();
    QVERIFY(!path.isEmpty());
    openSerialInWindow(window, path);
    QCOMPARE(window->findChild<QPushButton *>("switchBt")->text(), QString("Close"));
    QCOMPARE(window->linkReady, 1);
    QTRY_VERIFY_WITH_TIMEOUT(simulator->serialLineOpen(), 10000);
}

QColor TestMainWindow::colourOfLine(const QString &needle) const
{
    for (QTextBlock block = recvText()->document()->begin(); block.isValid(); block = block.next()) {
        if (!block.text().contains(needle))
            continue;
        const QTextBlock::iterator it = block.begin();
        if (!it.atEnd())
            return it.fragment().charFormat().foreground().color();
        return QColor();
    }
    return QColor();
}

void TestMainWindow::typeAndReturn(const QString &text)
{
    auto *sendText = window->findChild<QTextEdit *>("sendText");
    sendText->setPlainText(text);
    sendText->setFocus();
    QTest::keyClick(sendText, Qt::Key_Return);
    // Return sends instead of breaking the line.
    QCOMPARE(sendText->toPlainText(), text);
}

void TestMainWindow::tcpTypedFrameRoundTrips()
{
    simulator->setModel("Switch 8-channel outputs");
    simulator->setHoldingRegister(0x0000, 0x0005);
    QVERIFY(simulator->listenTcp());
    makeWindow(simulator->tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>("label_network")->text(),
                              QString("Connect"), 10000);
    QCOMPARE(window->networkMode, 1);
    QCOMPARE(window->linkReady, 1);

    typeAndReturn("01 03 00 00 00 01");
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("00 00 00 00 00 05 01 03 02 00 05"), 10000);
    QVERIFY(logText().contains("Send: 00 00 00 00 00 06 01 03 00 00 00 01"));
    QCOMPARE(colourOfLine("Send: 00 00 00 00 00 06"), QColor(0, 0, 255));
    QCOMPARE(colourOfLine("==================="), QColor(43, 87, 154));
    QCOMPARE(colourOfLine("00 00 00 00 00 05 01 03"), recvText()->palette().text().color());
    // The separator comes before the request, the reply after it.
    const QString log = logText();
    const int separator = log.indexOf("===================");
    const int request = log.indexOf("Send: 00 00 00 00 00 06");
    const int reply = log.indexOf("00 00 00 00 00 05 01 03 02 00 05");
    QVERIFY(separator >= 0 && separator < request && request < reply);
    QVERIFY(QRegularExpression("\\[\\d\\d:\\d\\d:\\d\\d\\]    Send: ").match(log).hasMatch());
    QTRY_COMPARE_WITH_TIMEOUT(queuedKinds(window).size(), 0, 10000);
}

void TestMainWindow::tcpStartUpAttemptKeepsTheConnection()
{
    simulator->setModel("Switch 8-channel outputs");
    QVERIFY(simulator->listenTcp());
    QSignalSpy connected(simulator, &ModuleSimulator::clientConnected);
    QSignalSpy disconnected(simulator, &ModuleSimulator::clientDisconnected);
    makeWindow(simulator->tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>("label_network")->text(),
                              QString("Connect"), 10000);
    // Well past the window's own attempt half a second after start.
    QTest::qWait(1500);
    QCOMPARE(connected.count(), 1);
    QCOMPARE(disconnected.count(), 0);
}

void TestMainWindow::remoteFieldOctetsAreDecimal()
{
    QTcpServer ten;
    QVERIFY(ten.listen(QHostAddress(QStringLiteral("127.0.0.10"))));
    QSignalSpy connections(&ten, &QTcpServer::newConnection);
    makeWindow(closedPort());
    window->findChild<QLineEdit *>("lineEdit_localfarPortNumber")->setText(QString::number(ten.serverPort()));
    auto *ip = window->findChild<QLineEdit *>("lineEdit_localFarIP");
    ip->clear();
    QTest::keyClicks(ip, "127.0.0.010");
    QCOMPARE(ip->text(), QString("127.0.0.010"));
    QTest::keyClick(ip, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(connections.count(), 1, 10000);

    // A refused address: one red line and no attempt, also when the edit settles again.
    ip->clear();
    QTest::keyClicks(ip, "127.0.0.256");
    QTest::keyClick(ip, Qt::Key_Return);
    QTest::keyClick(ip, Qt::Key_Return);
    QCOMPARE(logText().count("\"127.0.0.256\" has \"256\", not a number from 0 to 255"), 1);
    QCOMPARE(colourOfLine("127.0.0.256"), QColor(Qt::red));
}

// Every prefix of the typed port has a listener, so an attempt on any keystroke
// would be seen.
void TestMainWindow::typedPortConnectsOnceSettled()
{
    QList<QTcpServer *> servers;
    for (quint16 port : { 1, 15, 150, 1504 }) {
        servers << new QTcpServer(this);
        if (!servers.last()->listen(QHostAddress::LocalHost, port)) {
            qDeleteAll(servers);
            QSKIP("needs ports 1, 15, 150 and 1504 of 127.0.0.1 (root in a network namespace)");
        }
    }
    QList<QSignalSpy *> spies;
    for (QTcpServer *server : servers)
        spies << new QSignalSpy(server, &QTcpServer::newConnection);
    makeWindow(closedPort());
    auto *port = window->findChild<QLineEdit *>("lineEdit_localfarPortNumber");
    QTest::qWait(1000); // past the attempt at start-up
    port->clear();
    QTest::keyClicks(port, "1504");
    QTRY_COMPARE_WITH_TIMEOUT(spies.at(3)->count(), 1, 10000);
    // Settling again on the address being connected changes nothing.
    QTest::keyClick(port, Qt::Key_Return);
    settleLink(window);
    QTest::qWait(500);
    QCOMPARE(spies.at(0)->count() + spies.at(1)->count() + spies.at(2)->count(), 0);
    QCOMPARE(spies.at(3)->count(), 1);
    qDeleteAll(spies);
    qDeleteAll(servers);
}

void TestMainWindow::tcpIdentificationSetsAddressAndModel()
{
    simulator->setModel("Switch 64-channel outputs");
    simulator->setAddress(5);
    QVERIFY(simulator->listenTcp());
    makeWindow(simulator->tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(window->networkMode, 1, 10000);

    simulator->announce();
    QTRY_COMPARE_WITH_TIMEOUT(window->deviceAddress, QString("05"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(window->outputCount, 64, 10000);
    QCOMPARE(window->findChild<QLineEdit *>("lineEdit")->text(), QString("5"));
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Device type:Switch 64-channel outputs Device address:05"), 10000);

    // Polling at the announced address follows the module's outputs.
    simulator->setCoil(2, true);
    simulator->setCoil(40, true);
    QTRY_VERIFY_WITH_TIMEOUT(window->ctlOuts.size() >= 64 && window->ctlOuts.at(2) == 1
                                 && window->ctlOuts.at(40) == 1, 10000);
}

void TestMainWindow::tcpExceptionReplyIsLoggedInRed()
{
    simulator->setModel("Switch 8-channel outputs");
    QVERIFY(simulator->listenTcp());
    makeWindow(simulator->tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(window->networkMode, 1, 10000);

    // Register 0x0100 does not exist on this module.
    typeAndReturn("0103 0100 0001");
    const QString line = "Exception reply: function 03, exception 02 (Illegal data address)";
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(line), 10000);
    QCOMPARE(colourOfLine(line), QColor(Qt::red));
    // The exception ends the request, and the link still delivers the next reply.
    QTRY_COMPARE_WITH_TIMEOUT(queuedKinds(window).size(), 0, 10000);
    typeAndReturn("0103 0000 0001");
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("00 00 00 00 00 05 01 03 02 00 00"), 10000);
}

void TestMainWindow::serialTypedFrameRoundTrips()
{
    simulator->setModel("Switch 8-channel outputs");
    simulator->setHoldingRegister(0x0000, 0x0005);
    makeWindow(closedPort());
    openSerial();

    typeAndReturn("01 03 00 00 00 01");
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("01 03 02 00 05 78 47"), 10000);
    QVERIFY(logText().contains("Send: 01 03 00 00 00 01 84 0a"));

    // Upper case display applies to what arrives afterwards.
    QTest::mouseClick(window->findChild<QCheckBox *>("checkBox_out_2"), Qt::LeftButton);
    QVERIFY(!window->findChild<QCheckBox *>("checkBox_out_3")->isChecked());
    simulator->setHoldingRegister(0x0000, 0x000a);
    typeAndReturn("01 03 00 00 00 01");
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("01 03 02 00 0A 38 43"), 10000);
}

void TestMainWindow::serialAddressTypedByTheOperator()
{
    simulator->setModel("Switch 8-channel outputs");
    simulator->setAddress(10);
    makeWindow(closedPort());
    openSerial();

    auto *edit = window->findChild<QLineEdit *>("lineEdit");
    edit->selectAll();
    QTest::keyClicks(edit, "10");
    QCOMPARE(window->deviceAddress, QString("0A"));
    window->modelActions.at(ModelCatalogue::indexOf("Switch  8-channel outputs"))->trigger();
    // The module answers "0a" in lower case; its replies are taken all the same.
    simulator->setCoil(3, true);
    QTRY_VERIFY_WITH_TIMEOUT(window->ctlOuts.size() >= 8 && window->ctlOuts.at(3) == 1, 10000);
    QVERIFY(logText().contains("Send: 0a 03 00 00 00 01"));
}

void TestMainWindow::terminalRefusesNonHexText()
{
    simulator->setModel("Switch 8-channel outputs");
    makeWindow(closedPort());
    openSerial();
    const int handled = simulator->requestCount();

    typeAndReturn("01 03 zz 00 00 01");
    const QString refusal = "Not sent: only hex digits and blanks can be sent";
    QTRY_VERIFY(logText().contains(refusal));
    QCOMPARE(colourOfLine(refusal), QColor(Qt::red));
    // Odd length: silently not sent.
    typeAndReturn("0103000");
    QCOMPARE(queuedKinds(window).size(), 0);
    QVERIFY(!logText().contains("Send:"));
    QCOMPARE(simulator->requestCount(), handled);
}

void TestMainWindow::closesCleanlyWithBothThreadsEnded()
{
    simulator->setModel("Switch 8-channel outputs");
    QVERIFY(simulator->listenTcp());
    makeWindow(simulator->tcpPort());
    QTRY_COMPARE_WITH_TIMEOUT(window->networkMode, 1, 10000);
    const int index = ModelCatalogue::indexOf("Switch  8-channel outputs");
    window->modelActions.at(index)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(simulator->requestCount() > 2, 10000);

    QPointer<ThreadSerialport> link = window->threadSerialport;
    QPointer<ThreadAdministrator> queue;
    QMetaObject::invokeMethod(link, [&]() { queue = link->threadAdministrator; },
                              Qt::BlockingQueuedConnection);
    QVERIFY(queue);
    QThread *linkThread = &window->serialThread;
    QVERIFY(linkThread->isRunning());

    window->close();
    QCOMPARE(queuedKinds(window).size(), 0);
    delete window;
    window = nullptr;
    QVERIFY(link.isNull());
    QVERIFY(queue.isNull());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
