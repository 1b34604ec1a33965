#include "link/replydecoder.h"
#include "link/threadadministrator.h"

#include <QtTest>

using ReplyDecoder::Dispatch;

Q_DECLARE_METATYPE(Dispatch::Signal)
Q_DECLARE_METATYPE(Dispatch::Then)

// What the request queue does with each reply, by the kind of its head request.
class TestDispatch : public QObject
{
    Q_OBJECT

private slots:
    void table_data();
    void table();
    void decoders_data();
    void decoders();
    void emptyQueueIgnoresReply();
    void badCrcShownButNotApplied();
    void allCloseIsRemovedBeforeItIsReported();
    void pollingRequestGoesToTheBack();
};

static const char kOutputs[] = "01030200057847";
static const char kInputsText[] = "1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0";

void TestDispatch::table_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("network");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<Dispatch::Signal>("signal");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number");
    QTest::addColumn<Dispatch::Then>("then");

    const QString analog = QStringLiteral("0103080fa000004e200000637f");
    QTest::newRow("03 Check Status") << kOutputs << "Check Status" << false << true
                                     << Dispatch::ChangeCtlOuts << kOutputs << 0 << Dispatch::Pop;
    QTest::newRow("03 Start detecting") << kOutputs << "Start detecting" << false << true
                                        << Dispatch::ChangeInputs << kInputsText << 0
                                        << Dispatch::Requeue;
    QTest::newRow("03 Analog-Start-detecting") << analog << "Analog-Start-detecting" << false
                                               << true << Dispatch::AnalogInput
                                               << "4.000 0.000 20.000 0.000" << 0
                                               << Dispatch::Requeue;
    QTest::newRow("03 Analog-Start-detecting, analysis fails, polling goes on")
        << "01030400059846" << "Analog-Start-detecting" << true << true << Dispatch::NoSignal
        << "" << 0 << Dispatch::Requeue;
    QTest::newRow("03 read-Analog-OutputMode") << kOutputs << "read-Analog-OutputMode" << false
                                               << true << Dispatch::ReadAnalogOutput << kOutputs
                                               << 0 << Dispatch::Pop;
    QTest::newRow("03 Communication TimeOut")
        << "0103080000138800030008002ca2" << "Communication TimeOut" << false << true
        << Dispatch::CommunicationTimeOut << "5000 1 1 0 2 0 0 0 0 0 0 0 0 0 0 0 0" << 0
        << Dispatch::Pop;
    QTest::newRow("03 Read Network")
        << "01033200c000a80001005000ff00ff00ff000000c000a8000100019c4000c000a8000100640fa000010000001a002b003c004d005eaf55"
        << "Read Network" << false << true << Dispatch::NetworkProcessing
        << "192.168.1.80 255.255.255.0 192.168.1.1 40000 192.168.1.100 4000 1 00-1a-2b-3c-4d-5e"
        << 0 << Dispatch::Pop;
    QTest::newRow("03 other kind") << kOutputs << "Reboot" << false << true << Dispatch::NoSignal
                                   << "" << 0 << Dispatch::Pop;
    QTest::newRow("03 not Start detecting: Analog kind has no blank")
        << kOutputs << "Analog-Start-detecting-x" << false << true << Dispatch::NoSignal << ""
        << 0 << Dispatch::Pop;
    QTest::newRow("05 QPushButton_12") << "0105000cff004c39" << "QPushButton_12" << false << true
                                       << Dispatch::ClickButton << "" << 12 << Dispatch::Pop;
    QTest::newRow("05 to another kind stays") << "01050002ff002dfa" << "Check Status" << false
                                              << true << Dispatch::NoSignal << "" << 0
                                              << Dispatch::Stay;
    QTest::newRow("10 QPushButton_3") << "01100000000241c8" << "QPushButton_3" << false << true
                                      << Dispatch::ClickButton << "" << 3 << Dispatch::Pop;
    QTest::newRow("10 All Open") << "01100000000241c8" << "All Open" << false << true
                                 << Dispatch::AllOpen << "" << 1 << Dispatch::Pop;
    QTest::newRow("10 All Close") << "01100000000241c8" << "All Close" << false << true
                                  << Dispatch::AllOpen << "" << 0 << Dispatch::Pop;
    QTest::newRow("10 change CommunicationTimeout")
        << "01100000000241c8" << "change CommunicationTimeout" << false << true << Dispatch::Log
        << "Communication timeout set successfully" << 0 << Dispatch::Pop;
    QTest::newRow("10 Write NetWork") << "01100000000241c8" << "Write NetWork" << false << true
                                      << Dispatch::Log
                                      << "Network parameter was written successfully" << 0
                                      << Dispatch::Pop;
    QTest::newRow("10 Reboot") << "01100000000241c8" << "Reboot" << false << true
                               << Dispatch::NoSignal << "" << 0 << Dispatch::Pop;
    QTest::newRow("06 analog write") << "01060009000ad9cf" << "Analog-OutputValue" << false
                                     << true << Dispatch::NoSignal << "" << 0 << Dispatch::Pop;
    QTest::newRow("0f any") << "010f000000105407" << "Check Status" << false << true
                            << Dispatch::NoSignal << "" << 0 << Dispatch::Pop;
    QTest::newRow("01 any") << "0101010100486c" << "Check Status" << false << true
                            << Dispatch::NoSignal << "" << 0 << Dispatch::Pop;
    QTest::newRow("02 any") << "01020101004828" << "Check Status" << false << true
                            << Dispatch::NoSignal << "" << 0 << Dispatch::Pop;
    QTest::newRow("UI text takes any good reply") << "01050002ff002dfa" << "UI text" << false
                                                  << true << Dispatch::NoSignal << "" << 0
                                                  << Dispatch::Pop;
    QTest::newRow("wrong address") << "02030200053c47" << "Check Status" << false << false
                                   << Dispatch::NoSignal << "" << 0 << Dispatch::Stay;
    QTest::newRow("exception reply") << "018302c0f1" << "Check Status" << false << false
                                     << Dispatch::NoSignal << "" << 0 << Dispatch::Stay;
    QTest::newRow("bad CRC") << "01030200050000" << "Check Status" << false << false
                             << Dispatch::NoSignal << "" << 0 << Dispatch::Stay;
    QTest::newRow("bad CRC not checked on the network")
        << "01030200050000" << "Check Status" << true << true << Dispatch::ChangeCtlOuts
        << "01030200050000" << 0 << Dispatch::Pop;
    QTest::newRow("too short") << "01" << "UI text" << false << false << Dispatch::NoSignal << ""
                               << 0 << Dispatch::Stay;
    QTest::newRow("upper-case 0F is not a function code") << "010F000000105407" << "UI text"
                                                          << false << false << Dispatch::NoSignal
                                                          << "" << 0 << Dispatch::Stay;
}

void TestDispatch::table()
{
    QFETCH(QString, reply);
    QFETCH(QString, kind);
    QFETCH(bool, network);
    QFETCH(bool, accepted);
    QFETCH(Dispatch::Signal, signal);
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(Dispatch::Then, then);

    const Dispatch result = ReplyDecoder::dispatch(reply, kind, QStringLiteral("01"), network);
    QCOMPARE(result.showRaw, !network);
    QCOMPARE(result.accepted, accepted);
    QCOMPARE(result.signal, signal);
    if (signal != Dispatch::NoSignal && signal != Dispatch::ClickButton
        && signal != Dispatch::AllOpen)
        QCOMPARE(result.text, text);
    QCOMPARE(result.number, number);
    QCOMPARE(result.then, then);
}

void TestDispatch::decoders_data()
{
    QTest::addColumn<QString>("which");
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("expected");

    QTest::newRow("inputs, two registers")
        << "inputs" << "010304800100027a12"
        << "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    QTest::newRow("inputs, byte count 0") << "inputs" << "010300aaaa" << "";
    QTest::newRow("timeout block without groups") << "timeout" << "01030400001388aaaa" << "5000";
    QTest::newRow("timeout block, high-byte channels")
        << "timeout" << "010308ffffffff8000ffffaaaa"
        << "4294967295 2 2 2 2 2 2 2 2 2 2 2 2 2 2 2 1";
    QTest::newRow("network port 9C40 is 40000")
        << "network"
        << "010332" + QString(48, QLatin1Char('0')) + "9c40" + QString(52, QLatin1Char('0')) + "aaaa"
        << "0.0.0.0 0.0.0.0 0.0.0.0 40000 0.0.0.0 0 0 00-00-00-00-00-00";
}

void TestDispatch::decoders()
{
    QFETCH(QString, which);
    QFETCH(QString, reply);
    QFETCH(QString, expected);
    if (which == QLatin1String("inputs"))
        QCOMPARE(ReplyDecoder::inputBits(reply), expected);
    else if (which == QLatin1String("timeout"))
        QCOMPARE(ReplyDecoder::timeoutBlock(reply), expected);
    else
        QCOMPARE(ReplyDecoder::networkBlock(reply), expected);
}

void TestDispatch::emptyQueueIgnoresReply()
{
    ThreadAdministrator queue;
    queue.init();
    queue.setLinkOpen(true);
    QSignalSpy shown(&queue, &ThreadAdministrator::UIappendData);
    QSignalSpy outputs(&queue, &ThreadAdministrator::change_ctlOuts);
    queue.slot_dealWithData(QString::fromLatin1(kOutputs));
    QCOMPARE(shown.count(), 0);
    QCOMPARE(outputs.count(), 0);
}

void TestDispatch::badCrcShownButNotApplied()
{
    ThreadAdministrator queue;
    queue.init();
    queue.setLinkOpen(true);
    queue.baudRate = 14400; // keeps the long time-out below
    queue.replyTimeout = 60000;
    QSignalSpy sent(&queue, &ThreadAdministrator::writeSerialPort_CRC16);
    queue.write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    QVERIFY(sent.wait());
    QSignalSpy shown(&queue, &ThreadAdministrator::UIappendData);
    QSignalSpy outputs(&queue, &ThreadAdministrator::change_ctlOuts);
    queue.slot_dealWithData(QStringLiteral("01030200050000"));
    QCOMPARE(shown.count(), 1);
    QCOMPARE(shown.first().first().toString(), QStringLiteral("01030200050000"));
    QCOMPARE(outputs.count(), 0);
    QCOMPARE(queue.senders.size(), 1);

    queue.slot_dealWithData(QString::fromLatin1(kOutputs));
    QCOMPARE(outputs.count(), 1);
    QVERIFY(queue.senders.isEmpty());
}

void TestDispatch::allCloseIsRemovedBeforeItIsReported()
{
    ThreadAdministrator queue;
    queue.init();
    queue.setLinkOpen(true);
    QSignalSpy sent(&queue, &ThreadAdministrator::writeSerialPort_CRC16);
    queue.write(new Sender(QStringLiteral("All Close"), QStringLiteral("0110000000020400000000")));
    QVERIFY(sent.wait());
    int queuedWhenReported = -1;
    connect(&queue, &ThreadAdministrator::allOpen, this,
            [&](int) { queuedWhenReported = queue.senders.size(); });
    QSignalSpy allOpen(&queue, &ThreadAdministrator::allOpen);
    queue.slot_dealWithData(QStringLiteral("01100000000241c8"));
    QCOMPARE(allOpen.count(), 1);
    QCOMPARE(allOpen.first().first().toInt(), 0);
    QCOMPARE(queuedWhenReported, 0);
}

void TestDispatch::pollingRequestGoesToTheBack()
{
    ThreadAdministrator queue;
    queue.init();
    queue.setLinkOpen(true);
    QSignalSpy sent(&queue, &ThreadAdministrator::writeSerialPort_CRC16);
    queue.write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    queue.write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    QVERIFY(sent.wait());
    QSignalSpy inputs(&queue, &ThreadAdministrator::change_inputs);
    queue.slot_dealWithData(QString::fromLatin1(kOutputs));
    QCOMPARE(inputs.count(), 1);
    QCOMPARE(inputs.first().first().toString(), QString::fromLatin1(kInputsText));
    QCOMPARE(queue.senders.size(), 2);
    QCOMPARE(queue.senders.first()->kind, QStringLiteral("Check Status"));
    QCOMPARE(queue.senders.last()->kind, QStringLiteral("Start detecting"));
}

QTEST_GUILESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
