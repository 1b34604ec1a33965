#include "link/threadadministrator.h"

#include "QtLibrary/QtTools/qttools.h"

#include <QtTest>

// The request queue: one request on the wire, duplicates, address, time-outs.
class TestThreadAdministrator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void duplicateOfRequestInFlightIsSentAgain();
    void duplicateBehindOthersIsDropped();
    void nextRequestWaitsForTheReply();
    void addressSubstitution_data();
    void addressSubstitution();
    void replyTimeoutTable_data();
    void replyTimeoutTable();
    void unknownBaudKeepsTimeout();
    void sendableFrames_data();
    void sendableFrames();
    void networkUsesTheHeaderPath();
    void sendersClearBySubstringRemovesHead();
    void sendersClearEmptyKeyClearsAll();
    void moveToLastAndWriteResendsSingleRequest();
    void moveToLastAndWriteRotates();
    void addressChangeStrandsOldRequests();
    void timeoutDropsHeadAndSendsNext();
    void windowCloseEmptiesQueue();
    void pollingSurvives_data();
    void pollingSurvives();
    void addressChangeReaddressesPolling();
    void noLinkRefusesWithOneLine();
    void sendStep_data();
    void sendStep();
    void healthCounts();
    void newerCommandOfAKindIsNotLost();

private:
    ThreadAdministrator *queue = nullptr;
    QSignalSpy *serialSpy = nullptr;
    QSignalSpy *networkSpy = nullptr;
    // A baud rate outside the table keeps a time-out long enough for any machine.
    void holdTimeout()
    {
        queue->baudRate = 14400;
        queue->replyTimeout = 60000;
    }
    QStringList kinds() const
    {
        QStringList out;
        for (const Sender *sender : queue->senders)
            out << sender->kind;
        return out;
    }
};

void TestThreadAdministrator::init()
{
    queue = new ThreadAdministrator;
    queue->init();
    queue->setLinkOpen(true);
    serialSpy = new QSignalSpy(queue, &ThreadAdministrator::writeSerialPort_CRC16);
    networkSpy = new QSignalSpy(queue, &ThreadAdministrator::writeSerialPort);
}

void TestThreadAdministrator::cleanup()
{
    delete serialSpy;
    delete networkSpy;
    delete queue;
}

void TestThreadAdministrator::duplicateOfRequestInFlightIsSentAgain()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    QCOMPARE(queue->senders.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
    QCOMPARE(serialSpy->at(1).first().toString(), QStringLiteral("010300000001"));
}

void TestThreadAdministrator::duplicateBehindOthersIsDropped()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("UI text"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    QCOMPARE(kinds(), (QStringList{"UI text", "Check Status"}));
}

void TestThreadAdministrator::nextRequestWaitsForTheReply()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("A"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("B"), QStringLiteral("010300010001")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    QTest::qWait(100);
    QCOMPARE(serialSpy->count(), 1);
    queue->popAndWrite();
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
    QCOMPARE(serialSpy->at(1).first().toString(), QStringLiteral("010300010001"));
}

void TestThreadAdministrator::addressSubstitution_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("queued");
    QTest::newRow("placeholder replaced") << "0A" << "010300000001" << "0A0300000001";
    QTest::newRow("other address kept") << "0A" << "020300000001" << "020300000001";
    QTest::newRow("blank after placeholder") << "05" << "01 03 00 00" << "05 03 00 00";
}

void TestThreadAdministrator::addressSubstitution()
{
    QFETCH(QString, address);
    QFETCH(QString, data);
    QFETCH(QString, queued);
    holdTimeout();
    queue->deviceAddress = address;
    queue->write(new Sender(QStringLiteral("UI text"), data));
    QCOMPARE(queue->senders.first()->data, queued);
}

void TestThreadAdministrator::replyTimeoutTable_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("timeout");
    QTest::newRow("115200") << 115200 << "Check Status" << 400;
    QTest::newRow("115200 Write NetWork") << 115200 << "Write NetWork" << 2000;
    QTest::newRow("57600 Write NetWork") << 57600 << "Write NetWork" << 3000;
    QTest::newRow("38400") << 38400 << "Check Status" << 500;
    QTest::newRow("19200") << 19200 << "Check Status" << 600;
    QTest::newRow("9600") << 9600 << "Check Status" << 700;
    QTest::newRow("9600 Write NetWork") << 9600 << "Write NetWork" << 6000;
    QTest::newRow("9600 write network in other case") << 9600 << "write NetWork" << 700;
    QTest::newRow("4800") << 4800 << "Check Status" << 800;
    QTest::newRow("2400") << 2400 << "Check Status" << 900;
    QTest::newRow("1200") << 1200 << "Check Status" << 1000;
    QTest::newRow("1200 Write NetWork") << 1200 << "Write NetWork" << 9000;
}

void TestThreadAdministrator::replyTimeoutTable()
{
    QFETCH(int, baud);
    QFETCH(QString, kind);
    QFETCH(int, timeout);
    queue->baudRate = baud;
    queue->write(new Sender(kind, QStringLiteral("010300000001")));
    QCOMPARE(queue->replyTimeout, timeout);
}

void TestThreadAdministrator::unknownBaudKeepsTimeout()
{
    queue->baudRate = 9600;
    queue->write(new Sender(QStringLiteral("Write NetWork"), QStringLiteral("0110")));
    QCOMPARE(queue->replyTimeout, 6000);
    queue->baudRate = 14400;
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("0103")));
    QCOMPARE(queue->replyTimeout, 6000);
}

void TestThreadAdministrator::sendableFrames_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("sent");
    QTest::newRow("03") << "010300000001" << true;
    QTest::newRow("lower-case 0f") << "010f00000010020000" << true;
    QTest::newRow("upper-case 0F") << "010F00000010020000" << false;
    QTest::newRow("10") << "0110fde80001020001" << true;
    QTest::newRow("04 is not offered") << "010400000001" << false;
    QTest::newRow("blank between address and function") << "01 03 0000 0001" << false;
    QTest::newRow("blanks after the function code") << "0103 0000 0001" << true;
    QTest::newRow("another address") << "020300000001" << false;
}

void TestThreadAdministrator::sendableFrames()
{
    QFETCH(QString, data);
    QFETCH(bool, sent);
    holdTimeout();
    queue->write(new Sender(QStringLiteral("UI text"), data));
    // The send step runs 20 ms after queuing; wait for it, then look.
    QTRY_VERIFY_WITH_TIMEOUT(queue->administratorTimer->isActive(), 10000);
    QCOMPARE(serialSpy->count(), sent ? 1 : 0);
    if (sent)
        QCOMPARE(serialSpy->first().first().toString(), data);
}

void TestThreadAdministrator::networkUsesTheHeaderPath()
{
    holdTimeout();
    queue->netWorkConnected = true;
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    QTRY_COMPARE_WITH_TIMEOUT(networkSpy->count(), 1, 10000);
    QCOMPARE(serialSpy->count(), 0);
}

void TestThreadAdministrator::sendersClearBySubstringRemovesHead()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("Analog-Start-detecting"), QStringLiteral("0103002")));
    queue->write(new Sender(QStringLiteral("x Start detecting"), QStringLiteral("0103")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    queue->sendersClear(QStringLiteral("Start detecting"));
    QCOMPARE(kinds(), (QStringList{"Check Status", "Analog-Start-detecting"}));
    // The removed head's reply timer cannot drop the next request: that one is sent now.
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
    QCOMPARE(serialSpy->last().first().toString(), QStringLiteral("010300000001"));
}

void TestThreadAdministrator::sendersClearEmptyKeyClearsAll()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("A"), QStringLiteral("0103")));
    queue->write(new Sender(QStringLiteral("B"), QStringLiteral("0103")));
    queue->sendersClear(QString());
    QVERIFY(queue->senders.isEmpty());
}

void TestThreadAdministrator::moveToLastAndWriteResendsSingleRequest()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    queue->moveToLastAndWrite();
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
    QCOMPARE(queue->senders.size(), 1);
}

void TestThreadAdministrator::moveToLastAndWriteRotates()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("A"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("B"), QStringLiteral("010300010001")));
    queue->write(new Sender(QStringLiteral("C"), QStringLiteral("010300020001")));
    queue->moveToLastAndWrite();
    QCOMPARE(kinds(), (QStringList{"B", "C", "A"}));
    QTRY_VERIFY_WITH_TIMEOUT(serialSpy->count() >= 1, 10000);
    QCOMPARE(serialSpy->last().first().toString(), QStringLiteral("010300010001"));
}

void TestThreadAdministrator::addressChangeStrandsOldRequests()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("A"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("B"), QStringLiteral("010300010001")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    queue->deviceAddressChange(QStringLiteral("05"), 14400);
    QCOMPARE(queue->baudRate, 14400);
    queue->popAndWrite();
    QTRY_VERIFY_WITH_TIMEOUT(queue->administratorTimer->isActive(), 10000);
    QCOMPARE(serialSpy->count(), 1);
    queue->popAndWrite();
    queue->write(new Sender(QStringLiteral("C"), QStringLiteral("010300020001")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
    QCOMPARE(serialSpy->last().first().toString(), QStringLiteral("050300020001"));
}

void TestThreadAdministrator::timeoutDropsHeadAndSendsNext()
{
    queue->baudRate = 115200;
    QSignalSpy timedOut(queue, &ThreadAdministrator::replyTimedOut);
    QSignalSpy log(queue, QOverload<QString, QColor>::of(&ThreadAdministrator::writeOutputWidget));
    queue->write(new Sender(QStringLiteral("UI text"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000002")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
    QCOMPARE(serialSpy->last().first().toString(), QStringLiteral("010300000002"));
    QCOMPARE(timedOut.count(), 1);
    // An unanswered terminal frame is reported; the operator typed it.
    QCOMPARE(log.count(), 1);
    QCOMPARE(log.first().at(1).value<QColor>(), QColor(Qt::red));
    QTRY_VERIFY_WITH_TIMEOUT(queue->senders.isEmpty(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!queue->administratorTimer->isActive(), 10000);
    QCOMPARE(log.count(), 1);
}

void TestThreadAdministrator::windowCloseEmptiesQueue()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("A"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("B"), QStringLiteral("010300010001")));
    queue->windowClose();
    QVERIFY(queue->senders.isEmpty());
    QVERIFY(!queue->administratorTimer->isActive());
    QTest::qWait(60);
    QCOMPARE(serialSpy->count(), 0);
}

void TestThreadAdministrator::pollingSurvives_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("answer"); // "" for none: the reply time-out
    QTest::addColumn<bool>("stays");
    QTest::newRow("input poll, no reply") << "Start detecting" << "" << true;
    QTest::newRow("analog poll, no reply") << "Analog-Start-detecting" << "" << true;
    QTest::newRow("input poll, exception") << "Start detecting" << "exception" << true;
    QTest::newRow("analog poll, reply that cannot be analysed")
        << "Analog-Start-detecting" << "0103040005" << true;
    QTest::newRow("read, no reply") << "Check Status" << "" << false;
    QTest::newRow("terminal frame, exception") << "UI text" << "exception" << false;
}

void TestThreadAdministrator::pollingSurvives()
{
    QFETCH(QString, kind);
    QFETCH(QString, answer);
    QFETCH(bool, stays);
    queue->baudRate = 115200;
    QSignalSpy log(queue, QOverload<QString, QColor>::of(&ThreadAdministrator::writeOutputWidget));
    queue->write(new Sender(kind, QStringLiteral("010300040002")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    if (answer == QLatin1String("exception"))
        queue->exceptionReply(0x03, 0x02);
    else if (!answer.isEmpty())
        queue->slot_dealWithData(QtTools::appendCrc16(answer).toLower());
    if (stays) {
        QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
        QCOMPARE(kinds(), QStringList{kind});
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(queue->senders.isEmpty(), 10000);
    }
    // An exception is the terminal's answer: no "No reply" line follows it.
    if (kind == QLatin1String("UI text")) {
        QTest::qWait(500);
        QCOMPARE(log.count(), 0);
    }
}

void TestThreadAdministrator::addressChangeReaddressesPolling()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    queue->write(new Sender(QStringLiteral("Analog-Start-detecting"), QStringLiteral("010300200004")));
    queue->setDeviceAddress(QStringLiteral("11"));
    QCOMPARE(queue->senders.at(1)->data, QStringLiteral("110300040001"));
    QCOMPARE(queue->senders.at(2)->data, QStringLiteral("110300200004"));
    queue->deviceAddressChange(QStringLiteral("0a"), 14400);
    QCOMPARE(queue->senders.at(1)->data, QStringLiteral("0A0300040001"));
    // Other requests keep the address they were queued with.
    QCOMPARE(queue->senders.at(0)->data, QStringLiteral("010300000001"));
}

void TestThreadAdministrator::noLinkRefusesWithOneLine()
{
    holdTimeout();
    queue->setLinkOpen(false);
    QSignalSpy log(queue, QOverload<QString, QColor>::of(&ThreadAdministrator::writeOutputWidget));
    queue->write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    queue->write(new Sender(QStringLiteral("QPushButton_2"), QStringLiteral("01050002FF00")));
    QCOMPARE(log.count(), 1);
    QVERIFY(log.first().first().toString().startsWith(QStringLiteral("Not sent: no connection")));
    QCOMPARE(kinds(), QStringList{"Start detecting"});
    QTest::qWait(100);
    QCOMPARE(serialSpy->count(), 0);
    // The poll goes out as soon as the link is there.
    queue->setLinkOpen(true);
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    QCOMPARE(log.count(), 1);
}

void TestThreadAdministrator::sendStep_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("atLeastUs");
    QTest::addColumn<int>("atMostUs");
    QTest::newRow("1200 baud: 3.5 characters of 11 bits and 1 ms") << 1200 << false << 32000 << 34000;
    QTest::newRow("2400 baud") << 2400 << false << 20000 << 20000;
    QTest::newRow("9600 baud") << 9600 << false << 20000 << 20000;
    QTest::newRow("115200 baud") << 115200 << false << 20000 << 20000;
    QTest::newRow("TCP") << 1200 << true << 20000 << 20000;
}

void TestThreadAdministrator::sendStep()
{
    QFETCH(int, baud);
    QFETCH(bool, network);
    QFETCH(int, atLeastUs);
    QFETCH(int, atMostUs);
    const qint64 step = ThreadAdministrator::sendStepFor(baud, network).count();
    QVERIFY(step >= atLeastUs);
    QVERIFY(step <= atMostUs);
}

void TestThreadAdministrator::healthCounts()
{
    queue->baudRate = 115200;
    QSignalSpy health(queue, &ThreadAdministrator::linkHealthChanged);
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    queue->slot_dealWithData(QStringLiteral("01030200050000")); // bad CRC
    queue->slot_dealWithData(QtTools::appendCrc16(QStringLiteral("0103020005")).toLower());
    queue->write(new Sender(QStringLiteral("A"), QStringLiteral("010300000002")));
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 2, 10000);
    queue->exceptionReply(0x03, 0x02);
    queue->write(new Sender(QStringLiteral("B"), QStringLiteral("010300000003")));
    QTRY_VERIFY_WITH_TIMEOUT(queue->senders.isEmpty(), 10000);
    queue->slot_dealWithData(QtTools::appendCrc16(QStringLiteral("0103020005")).toLower());
    QTRY_VERIFY_WITH_TIMEOUT(!health.isEmpty(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(health.last().first().value<LinkHealth>().unmatched, quint64(1), 10000);
    const LinkHealth h = health.last().first().value<LinkHealth>();
    QCOMPARE(h.sent, quint64(3));
    QCOMPARE(h.accepted, quint64(1));
    QCOMPARE(h.badCrc, quint64(1));
    QCOMPARE(h.exceptions, quint64(1));
    QCOMPARE(h.timeouts, quint64(1));
    QCOMPARE(h.consecutiveTimeouts, 1);
}

void TestThreadAdministrator::newerCommandOfAKindIsNotLost()
{
    holdTimeout();
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000001")));
    queue->write(new Sender(QStringLiteral("QPushButton_2"), QStringLiteral("01050002FF00")));
    queue->write(new Sender(QStringLiteral("QPushButton_2"), QStringLiteral("010500020000")));
    queue->write(new Sender(QStringLiteral("Analog-OutputValue_0"), QStringLiteral("010600090100")));
    queue->write(new Sender(QStringLiteral("Analog-OutputValue_1"), QStringLiteral("0106000A0200")));
    QCOMPARE(kinds(), (QStringList{"Check Status", "QPushButton_2", "Analog-OutputValue_0",
                                   "Analog-OutputValue_1"}));
    // The switch flipped back before it went out: the module is told the last word.
    QCOMPARE(queue->senders.at(1)->data, QStringLiteral("010500020000"));
    // A command for the request on the wire follows it.
    QTRY_COMPARE_WITH_TIMEOUT(serialSpy->count(), 1, 10000);
    queue->write(new Sender(QStringLiteral("Check Status"), QStringLiteral("010300000002")));
    QCOMPARE(queue->senders.size(), 5);
}

QTEST_GUILESS_MAIN(TestThreadAdministrator)
#include "tst_threadadministrator.moc"
