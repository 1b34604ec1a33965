#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "link/framecutter.h"
#include "link/modbusrequest.h"
#include "link/replydecoder.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"
#include "ui/switchstates.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

// How the window recovers from a bad line: frames cut out of a damaged stream, a frame
// too long for its CRC, and a link pulled away under it. The link's own recovery from
// partial, corrupt and late replies is in tst_link.
class TestRecovery : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void cutterResynchronises_data();
    void cutterResynchronises();
    void replyMustAnswerTheHeadRequest_data();
    void replyMustAnswerTheHeadRequest();
    void requestQueuedBeforeTheQueueStartsIsSent();
    void terminalRefusesFrameTooLongForItsCrc();

    void tcpClosedMidFrame();
    void ptyClosedUnderOpenPort();
    void floodLeavesLogBoundedAndPollingAlive();

private:
    ScriptedModule *newModule(bool serial);
    void start(const char *model);
    int sentLines() const;
    void checkQuietWhileDown();
    QByteArray body(const char *hex) const { return QByteArray::fromHex(hex); }

    ScriptedModule *module = nullptr;
    MainWindow *window = nullptr;
};

void TestRecovery::init()
{
    QtTools::instance()->configMap.clear();
}

void TestRecovery::cleanup()
{
    if (module)
        module->script = nullptr;
    delete window;
    window = nullptr;
    delete module;
    module = nullptr;
}

ScriptedModule *TestRecovery::newModule(bool serial)
{
    module = new ScriptedModule(serial);
    return module->start() ? module : nullptr;
}

// The window on the scripted module, whose script is set before the first request.
void TestRecovery::start(const char *model)
{
    QVERIFY(module);
    const bool serial = module->serial();
    // Serial: a closed local port, so the window's own TCP attempt fails.
    window = newLoopbackWindow(serial ? 0 : module->port());
    const int index = ModelCatalogue::indexOf(QString::fromUtf8(model));
    QVERIFY(index >= 0);
    window->modelActions.at(index)->trigger();

    if (serial)
        openSerialInWindow(window, module->path());
    else
        waitForNetworkConnect(window);
}

int TestRecovery::sentLines() const
{
    window->flushLog();
    return window->findChild<QTextEdit *>("recvText")->toPlainText().count(QStringLiteral("Send:"));
}

// The link is down: polling has stopped, the queue is empty, and nothing is sent
// however long it stays so.
void TestRecovery::checkQuietWhileDown()
{
    QTRY_VERIFY_WITH_TIMEOUT(!window->outputPollTimer.isActive(), 10000);
    QCOMPARE(window->linkReady, 0);
    QTRY_VERIFY_WITH_TIMEOUT(queuedKinds(window).size() == 0, 10000);
    const int sent = sentLines();
    QTest::qWait(1200);
    QCOMPARE(sentLines(), sent);
    QVERIFY(queuedKinds(window).size() <= 1);
}

void TestRecovery::cutterResynchronises_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("stream");
    QTest::addColumn<QStringList>("replies");

    const QString good = QStringLiteral("010302000a3843");
    QTest::newRow("byte count beyond any frame, then a good reply")
        << "01" << "0103fb" + good << QStringList{good};
    QTest::newRow("reply with a bad CRC, then a good reply")
        << "01" << "010302000a0000" + good << QStringList{"010302000a0000", good};
    QTest::newRow("exception reply, then a good reply") << "01" << "018302c0f1" + good << QStringList{good};
    // The identification is recognised also when the module's address is the letter I.
    QTest::newRow("identification at address 0x49")
        << "49" << "49443a" "0049" "000000000000" "00dc" "0000" + QString("490302000a3843")
        << QStringList{"490302000a3843"};
}

void TestRecovery::cutterResynchronises()
{
    QFETCH(QString, address);
    QFETCH(QString, stream);
    QFETCH(QStringList, replies);
    const QByteArray bytes = QByteArray::fromHex(stream.toLatin1());
    // Whole, and one byte at a time: the same replies.
    for (int piece : {int(bytes.size()), 1}) {
        FrameCutter cutter;
        cutter.setDeviceAddress(address);
        QStringList got;
        bool identified = false;
        for (int i = 0; i < bytes.size(); i += piece) {
            for (const CutEvent &event : cutter.feedSerial(bytes.mid(i, piece))) {
                if (event.type == CutEvent::Reply)
                    got << event.text;
                identified = identified || event.type == CutEvent::Identification;
            }
        }
        QCOMPARE(got, replies);
        if (stream.startsWith(QLatin1String("49443a")))
            QVERIFY(identified);
    }
}

void TestRecovery::replyMustAnswerTheHeadRequest_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<bool>("accepted");

    const QString outputs32 = QStringLiteral("0103 00000002");
    const QString inputs16 = QStringLiteral("010300040001");
    QTest::newRow("inputs read answered by its own reply")
        << ModbusRequest::kStartDetecting << inputs16 << QtTools::appendCrc16("0103020005").toLower()
        << true;
    QTest::newRow("inputs read answered by a late 32-output reply")
        << ModbusRequest::kStartDetecting << inputs16 << QtTools::appendCrc16("010304ffffffff").toLower()
        << false;
    QTest::newRow("output states read answered by its own reply")
        << ModbusRequest::kCheckStatus << outputs32 << QtTools::appendCrc16("010304ffffffff").toLower()
        << true;
    QTest::newRow("switching answered by a late read")
        << "QPushButton_2" << "01050002FF00" << QtTools::appendCrc16("0103020005").toLower() << false;
    QTest::newRow("switching answered by the acknowledgement of another output")
        << "QPushButton_2" << "01050002FF00" << QtTools::appendCrc16("01050003ff00").toLower() << false;
    QTest::newRow("switching acknowledged")
        << "QPushButton_2" << "01050002FF00" << "01050002ff002dfa" << true;
    QTest::newRow("all open acknowledged")
        << ModbusRequest::kAllOpen << "0110000000020400FF00FF" << "01100000000241c8" << true;
    QTest::newRow("all open answered by a write of another length")
        << ModbusRequest::kAllOpen << "0110000000020400FF00FF" << QtTools::appendCrc16("011000000004").toLower()
        << false;
}

void TestRecovery::replyMustAnswerTheHeadRequest()
{
    QFETCH(QString, kind);
    QFETCH(QString, request);
    QFETCH(QString, reply);
    QFETCH(bool, accepted);
    QCOMPARE(ReplyDecoder::answers(reply, request), accepted);
    QCOMPARE(ReplyDecoder::dispatch(reply, kind, "01", false, request).accepted, accepted);
}

void TestRecovery::requestQueuedBeforeTheQueueStartsIsSent()
{
    // The window may queue before the queue's thread has set up its timers.
    ThreadAdministrator queue;
    queue.setLinkOpen(true);
    QSignalSpy sent(&queue, &ThreadAdministrator::writeSerialPort_CRC16);
    queue.write(new Sender(ModbusRequest::kCheckStatus, ModbusRequest::checkStatus(8)));
    queue.write(new Sender(ModbusRequest::kStartDetecting, ModbusRequest::startDetecting(8)));
    queue.init();
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 1, 10000);
    // And the queue keeps moving: the head expires and the next one goes out.
    QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 2, 10000);
}

void TestRecovery::terminalRefusesFrameTooLongForItsCrc()
{
    // The CRC covers at most 255 bytes; the terminal sends no frame it cannot check.
    ScriptedModule *peer = newModule(false);
    QVERIFY(peer);
    start("Switch 16-channel outputs");
    QSignalSpy queued(window, &MainWindow::write);
    auto *text = window->findChild<QTextEdit *>("sendText");
    auto *view = window->findChild<QTextEdit *>("recvText");
    text->setPlainText("0110 0000 007E FC" + QString(2 * 251, QLatin1Char('0')));
    QTest::mouseClick(window->findChild<QPushButton *>("sendBt"), Qt::LeftButton);
    QCOMPARE(queued.count(), 0);
    QVERIFY(view->toPlainText().contains("Not sent"));
    text->setPlainText("0110 0000 007B F6" + QString(2 * 247, QLatin1Char('0')));
    QTest::mouseClick(window->findChild<QPushButton *>("sendBt"), Qt::LeftButton);
    QCOMPARE(queued.count(), 1);
}

void TestRecovery::tcpClosedMidFrame()
{
    ScriptedModule *peer = newModule(false);
    QVERIFY(peer);
    peer->script = [peer](const QByteArray &, int) { return peer->frame(QByteArray::fromHex("0103020000")); };
    start("Switch 16-channel outputs");
    // Past the window's own first connection attempt, the module goes away mid-reply.
    QTRY_VERIFY_WITH_TIMEOUT(module->requests.size() >= 3, 10000);
    peer->script = [peer](const QByteArray &, int) -> QByteArray {
        const QByteArray reply = peer->frame(QByteArray::fromHex("0103020000"));
        peer->send(reply.left(5));
        QMetaObject::invokeMethod(peer, [peer]() { peer->closeLine(); }, Qt::QueuedConnection);
        return QByteArray();
    };
    auto *state = window->findChild<QLabel *>("label_network");
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("DisConnect"), 10000);
    checkQuietWhileDown();
    if (QTest::currentTestFailed())
        return;

    // Reconnected, the half frame of the old connection is gone and replies are applied.
    peer->script = [peer](const QByteArray &, int) { return peer->frame(QByteArray::fromHex("0103020003")); };
    window->tryConnectIp();
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Connect"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(window->outputButtons.at(1)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(window->outputButtons.at(0)->styleSheet(), SwitchStates::kOnStyle);
    QVERIFY(window->outputPollTimer.isActive());
}

void TestRecovery::ptyClosedUnderOpenPort()
{
    ScriptedModule *peer = newModule(true);
    QVERIFY(peer);
    peer->script = [peer](const QByteArray &, int) {
        return peer->frame(QByteArray::fromHex("0103020000"));
    };
    start("Switch  8-channel outputs  8-channel inputs");
    QTRY_VERIFY_WITH_TIMEOUT(module->requests.size() >= 4, 10000);

    module->closeLine();
    auto *switchBt = window->findChild<QPushButton *>("switchBt");
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>("label_serialState")->text(),
                              QStringLiteral("DisConnect"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(switchBt->text(), QStringLiteral("Open"), 10000);
    window->flushLog();
    QVERIFY(window->findChild<QTextEdit *>("recvText")->toPlainText().contains("Serial port lost"));
    checkQuietWhileDown();
    if (QTest::currentTestFailed())
        return;

    // A new line (the module plugged in again) opens and polls as before.
    module->requests.clear();
    QVERIFY(module->openPty());
    peer->script = [peer](const QByteArray &request, int) -> QByteArray {
        return peer->frame(request.mid(1, 3) == QByteArray::fromHex("030000")
                               ? QByteArray::fromHex("0103020081")
                               : QByteArray::fromHex("0103020002"));
    };
    openSerialInWindow(window, module->path());
    QTRY_COMPARE_WITH_TIMEOUT(window->outputButtons.at(7)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(window->inputButtons.at(1)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QVERIFY(window->outputPollTimer.isActive());
}

void TestRecovery::floodLeavesLogBoundedAndPollingAlive()
{
    ScriptedModule *peer = newModule(false);
    QVERIFY(peer);
    QByteArray states = QByteArray::fromHex("0103020000");
    peer->script = [peer, &states](const QByteArray &, int) { return peer->frame(states); };
    start("Switch 16-channel outputs");
    QTRY_VERIFY_WITH_TIMEOUT(module->requests.size() >= 2, 10000);
    int notShownLines = 0;
    QObject context;
    connect(window->threadSerialport, QOverload<QString, QColor>::of(&ThreadSerialport::writeOutputWidget),
            &context, [&notShownLines](const QString &line) {
                notShownLines += line.contains(QLatin1String("frames from the module not shown"));
            });
    auto residentMb = []() {
        QFile statm(QStringLiteral("/proc/self/statm"));
        statm.open(QIODevice::ReadOnly);
        return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE) / (1 << 20);
    };
    const qint64 before = residentMb();
    qint64 peak = before;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, &context, [&]() { peak = qMax(peak, residentMb()); });
    sampler.start(20);

    // 200,000 exception frames at once while output polling runs; the polls after it see
    // other output states.
    QElapsedTimer clock;
    clock.start();
    peer->send(QByteArray::fromHex("000000000003018302").repeated(200000));
    QTRY_VERIFY_WITH_TIMEOUT(peer->unsent() == 0, 60000);
    states = QByteArray::fromHex("0103020005");
    QTRY_COMPARE_WITH_TIMEOUT(window->outputButtons.at(0)->styleSheet(), SwitchStates::kOnStyle, 30000);
    QCOMPARE(window->outputButtons.at(1)->styleSheet(), SwitchStates::kOffStyle);
    QTRY_VERIFY_WITH_TIMEOUT(notShownLines > 0, 10000);
    // The link tells what it did not show at most once a second.
    QVERIFY2(notShownLines <= clock.elapsed() / 1000 + 1, qPrintable(QString::number(notShownLines)));
    window->flushLog();
    QVERIFY(window->logHistory.size() <= MainWindow::kLogHistoryLines);
    QVERIFY(window->findChild<QTextEdit *>("recvText")->document()->blockCount() <= MainWindow::kLogHistoryLines);
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer keeps freed memory in quarantine, so the bound says nothing there.)
    QVERIFY2(peak - before < 100, qPrintable(QStringLiteral("%1 MB more").arg(peak - before)));
#else
    Q_UNUSED(peak)
    Q_UNUSED(before)
#endif
}

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
