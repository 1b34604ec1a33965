#include "link/threadadministrator.h"

#include "QtLibrary/QtTools/qttools.h"
#include "check/modulefinder.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "protocol/serialtiming.h"

#include <QtTest>

// The request queue: one request on the wire, duplicates, address, time-outs, polling.
class TestThreadAdministrator : public QObject
{
    Q_OBJECT

private slots:
    void queue_data();
    void queue();
    void timing_data();
    void timing();
    void replyTimeoutsOutlastTheLongestReply();
    void recordsPairRepliesWithRequests();
    void eachRequestWaitsItsOwnTime();
};

// Each row is a script for a queue that serves the module at address 0A over a serial line;
// its reply time-out is a minute unless a step shortens it. Steps:
//   +Kind=frame  queue a request        <reply  the module answers (CRC added; <! with a bad CRC)
//   x            an exception reply     ?event  wait for the next thing the queue does
//   =kinds       the queued kinds       !       nothing more happens for a while
//   -key         remove requests        @addr   the module turns up at another address
//   #addr        the operator sets another device address
//   T50          50 ms reply time-out   link0, link1, tcp, init, close
//   health ...   the link's figures (sent accepted badCrc exceptions timeouts, in a row, unmatched)
void TestThreadAdministrator::queue_data()
{
    QTest::addColumn<QStringList>("steps");

    QTest::newRow("a duplicate of the request on the wire waits for its reply")
        << QStringList{"+Check Status=010300000001", "?sent 0A0300000001", "+Check Status=010300000001",
                       "!", "=Check Status", "<0a03020005", "?raw 0a03020005", "?outputs", "="};
    QTest::newRow("the next waits for the reply; a bad CRC is shown but not applied; figures")
        << QStringList{"+Check Status=010300000001", "+A=010300000002", "+A=010300000002",
                       "?sent 0A0300000001", "!", "=Check Status,A", "<!0a03020005", "?raw 0a03020005",
                       "=Check Status,A", "<0a03020005", "?raw 0a03020005", "?outputs", "?sent 0A0300000002",
                       "x", "T50", "+B=010300000003", "?sent 0A0300000003", "?timeout", "<0a03020005",
                       "?stray 0a03020005", "!",
                       "health 3 1 1 1 1 1 1"};
    QTest::newRow("a newer command replaces the queued one and follows the one on the wire")
        << QStringList{"+Check Status=010300000001", "+QPushButton_2=01050002FF00",
                       "+QPushButton_2=010500020000", "+Analog-OutputValue_0=010600090100",
                       "+Analog-OutputValue_1=0106000A0200", "?sent 0A0300000001",
                       "+Check Status=010300000002",
                       "=Check Status,QPushButton_2,Analog-OutputValue_0,Analog-OutputValue_1,Check Status",
                       "<0a03020005", "?raw 0a03020005", "?outputs", "?sent 0A0500020000"};
    QTest::newRow("only frames for the module in functions it knows go out; time-outs move on")
        << QStringList{"T50", "+UI text=010300000001", "+A=010f00000010020000", "+B=010F00000010020000",
                       "+C=0103 0000 0001", "+D=01 03 0000 0001", "+E=020300000001", "+F=010400000001",
                       "?sent 0A0300000001", "?log No reply within 50 ms", "?timeout",
                       "?sent 0A0f00000010020000", "?timeout", "?timeout", "?sent 0A03 0000 0001",
                       "?timeout", "?timeout", "?timeout", "?timeout", "=", "!"};
    QTest::newRow("removing the head sends the next; an empty key removes all")
        << QStringList{"+Start detecting=010300040001", "+Check Status=010300000001",
                       "+Analog-Start-detecting=010300200004", "+x Start detecting=010300040002",
                       "?sent 0A0300040001", "-Start detecting", "=Check Status,Analog-Start-detecting",
                       "?sent 0A0300000001", "-", "=", "!"};
    QTest::newRow("polling follows the address; other requests keep theirs")
        << QStringList{"+Start detecting=010300040001", "+Other=010300010001", "@0b",
                       "?sent 0B0300040001", "<0b03020005", "?raw 0b03020005", "?inputs", "=Other,Start detecting",
                       "!", "-Other", "?sent 0B0300040001"};
    QTest::newRow("polling follows the operator's address")
        << QStringList{"T50", "+Start detecting=010300040001", "?sent 0A0300040001", "#0C", "?timeout",
                       "?sent 0C0300040001"};
    QTest::newRow("polling survives time-outs; a read is dropped")
        << QStringList{"T50", "+Start detecting=010300040002", "+Analog-Start-detecting=010300200004",
                       "+Check Status=010300000001", "?sent 0A0300040002", "?timeout", "?sent 0A0300200004",
                       "?timeout", "?sent 0A0300000001", "?timeout", "?sent 0A0300040002", "?timeout",
                       "?sent 0A0300200004"};
    QTest::newRow("polling survives exceptions and replies that cannot be analysed")
        << QStringList{"+Start detecting=010300040002", "?sent 0A0300040002", "x", "?sent 0A0300040002",
                       "-", "+Analog-Start-detecting=010300040002", "?sent 0A0300040002", "<0a03040005",
                       "?raw 0a03040005", "?sent 0A0300040002", "=Analog-Start-detecting"};
    QTest::newRow("an exception ends a terminal frame")
        << QStringList{"+UI text=010300040002", "?sent 0A0300040002", "x", "=", "!"};
    QTest::newRow("a polling reply sends the poll to the back")
        << QStringList{"+Start detecting=010300040001", "+Check Status=010300000001", "?sent 0A0300040001",
                       "<0a03020005", "?raw 0a03020005", "?inputs", "=Check Status,Start detecting",
                       "?sent 0A0300000001"};
    QTest::newRow("without a link: refused with one line, polling waits")
        << QStringList{"link0", "+Start detecting=010300040001", "+QPushButton_2=01050002FF00",
                       "?log Not sent: no connection (QPushButton_2)", "=Start detecting", "!", "link1",
                       "?sent 0A0300040001", "!"};
    QTest::newRow("TCP: All Close is removed before it is reported")
        << QStringList{"tcp", "+All Close=0110000000020400000000", "?tcp 0A10000000020400000000",
                       "<0a1000000002", "?raw 0a1000000002", "?all 0 queued 0"};
    QTest::newRow("closing the window empties the queue")
        << QStringList{"+A=010300000001", "+B=010300010001", "close", "=", "!"};
    QTest::newRow("requests queued before the queue starts are sent")
        << QStringList{"T50", "+Check Status=010300000001", "+Start detecting=010300040001", "init",
                       "?sent 0A0300000001", "?timeout", "?sent 0A0300040001"};
}

void TestThreadAdministrator::queue()
{
    QFETCH(QStringList, steps);
    ThreadAdministrator queue;
    queue.setDeviceAddress(QStringLiteral("0A"));
    queue.baudRate = 14400; // a rate without a time-out of its own: the one set here stays
    queue.replyTimeout = 60000;
    if (!steps.contains(QStringLiteral("init")))
        queue.init();
    queue.setLink(LinkKind::Serial);

    QStringList events;
    LinkHealth health;
    const auto withoutCrc = [](const QString &reply) { return reply.left(reply.size() - 4); };
    connect(&queue, &ThreadAdministrator::writeSerialPort_CRC16, this, [&](const QString &f) { events << "sent " + f; });
    connect(&queue, &ThreadAdministrator::writeSerialPort, this, [&](const QString &f) { events << "tcp " + f; });
    connect(&queue, &ThreadAdministrator::linkNotice, this, [&](const LinkNotice &n) { events << "log " + n.text; });
    connect(&queue, &ThreadAdministrator::replyTimedOut, this, [&] { events << "timeout"; });
    // Frames received, as the log shows them; frames that answer nothing are strays.
    connect(&queue, &ThreadAdministrator::exchangeRecorded, this, [&](const ExchangeRecord &r) {
        if (r.direction == ExchangeRecord::Direction::Received && !r.bytes.isEmpty())
            events << (r.result == ExchangeRecord::Result::Unmatched ? "stray " : "raw ")
                    + withoutCrc(QString::fromLatin1(r.bytes.toHex()));
    });
    connect(&queue, &ThreadAdministrator::change_ctlOuts, this, [&] { events << "outputs"; });
    connect(&queue, &ThreadAdministrator::change_inputs, this, [&] { events << "inputs"; });
    connect(&queue, &ThreadAdministrator::allOpen, this,
            [&](int open) { events << QStringLiteral("all %1 queued %2").arg(open).arg(queue.senders.size()); });
    connect(&queue, &ThreadAdministrator::linkHealthChanged, this, [&](const LinkHealth &h) { health = h; });

    int seen = 0;
    for (const QString &step : steps) {
        const QString arg = step.mid(1);
        if (step.startsWith(QLatin1Char('+'))) {
            queue.write(new Sender(arg.section(QLatin1Char('='), 0, 0), arg.section(QLatin1Char('='), 1)));
        } else if (step.startsWith(QLatin1String("<!"))) {
            queue.slot_dealWithData(step.mid(2) + QStringLiteral("0000"));
        } else if (step.startsWith(QLatin1Char('<'))) {
            queue.slot_dealWithData(QtTools::appendCrc16(arg).toLower());
        } else if (step == QLatin1String("x")) {
            queue.exceptionReply(0x03, 0x02);
        } else if (step.startsWith(QLatin1Char('?'))) {
            for (QDeadlineTimer limit(5000); events.size() <= seen && !limit.hasExpired();)
                QTest::qWait(1);
            QVERIFY(events.size() > seen);
            QCOMPARE(events.at(seen++), arg);
        } else if (step == QLatin1String("!")) {
            QTest::qWait(60);
            QCOMPARE(events.mid(seen), QStringList());
        } else if (step.startsWith(QLatin1Char('='))) {
            QStringList kinds;
            for (const Sender *sender : qAsConst(queue.senders))
                kinds << sender->kind;
            QCOMPARE(kinds.join(QLatin1Char(',')), arg);
        } else if (step.startsWith(QLatin1Char('-'))) {
            queue.sendersClear(arg);
        } else if (step.startsWith(QLatin1Char('#'))) {
            queue.setDeviceAddress(arg);
        } else if (step.startsWith(QLatin1Char('@'))) {
            queue.deviceAddressChange(arg, 14400);
        } else if (step == QLatin1String("T50")) {
            queue.replyTimeout = 50;
        } else if (step.startsWith(QLatin1String("link"))) {
            queue.setLink(step.endsWith(QLatin1Char('1')) ? LinkKind::Serial : LinkKind::None);
        } else if (step == QLatin1String("tcp")) {
            queue.setLink(LinkKind::Tcp);
        } else if (step == QLatin1String("init")) {
            queue.init();
        } else if (step == QLatin1String("close")) {
            queue.windowClose();
        } else if (step.startsWith(QLatin1String("health "))) {
            QTRY_COMPARE_WITH_TIMEOUT(QStringLiteral("health %1 %2 %3 %4 %5 %6 %7").arg(health.sent).arg(health.accepted)
                .arg(health.badCrc).arg(health.exceptions).arg(health.timeouts).arg(health.consecutiveTimeouts)
                .arg(health.unmatched), step, 5000);
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }
}

// The pause between a reply and the next request.
void TestThreadAdministrator::timing_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<bool>("network");
    QTest::addColumn<int>("stepUs");
    QTest::newRow("9600 baud: 20 ms") << 9600 << false << 20000;
    QTest::newRow("slow line: 3.5 characters of 11 bits and 1 ms") << 1200 << false << 33084;
    QTest::newRow("TCP keeps the 20 ms step") << 1200 << true << 20000;
}

void TestThreadAdministrator::timing()
{
    QFETCH(int, baud);
    QFETCH(bool, network);
    QFETCH(int, stepUs);
    QCOMPARE(int(ThreadAdministrator::sendStepFor(baud, network).count()), stepUs);
}

// At every rate the module offers, a request waits at least as long as the longest reply
// the tool asks for takes: request and reply on the wire, the silence that ends each, and
// the module's turnaround. Writing the network block waits longer still; a rate the module
// does not use has no time-out of its own.
void TestThreadAdministrator::replyTimeoutsOutlastTheLongestReply()
{
    int registers = 0;
    const auto read = [&registers](QString frame) {
        frame.remove(QLatin1Char(' '));
        if (frame.mid(2, 2) == QLatin1String("03"))
            registers = qMax(registers, frame.right(4).toInt(nullptr, 16));
    };
    for (const ModelEntry &model : ModelCatalogue::models()) {
        read(ModbusRequest::checkStatus(qMax(model.outputCount, 0)));
        read(ModbusRequest::timeoutRead(qMax(model.outputCount, 0)));
        read(ModbusRequest::startDetecting(qMax(model.inputCount, 0)));
        const int analogIn = qMax(model.voltageInputCount, model.currentInputCount);
        read(ModbusRequest::analogInputRead(QStringLiteral("01"), qMax(analogIn, 1)));
        const int analogOut = qMax(model.voltageOutputCount, model.currentOutputCount);
        read(ModbusRequest::analogOutputRead(ModbusRequest::AnalogBlock::Value,
                                             ModbusRequest::analogOutputReadCount(analogOut)));
    }
    read(ModbusRequest::networkRead());
    QVERIFY(registers >= 25);
    const int bytes = 8 + 5 + 2 * registers; // the read request, and its reply
    for (int baud : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200}) {
        const double wireUs = bytes * SerialTiming::characterMicros(baud) + 2 * SerialTiming::silenceMicros(baud);
        const int needed = int(std::ceil(wireUs / 1000.0)) + ModuleFinder::kTurnaroundMs;
        const int timeout = ThreadAdministrator::replyTimeoutFor(baud, ModbusRequest::kCheckStatus);
        QVERIFY2(timeout >= needed, qPrintable(QStringLiteral("%1 baud: %2 ms, the reply needs %3").arg(baud).arg(timeout).arg(needed)));
        QVERIFY(ThreadAdministrator::replyTimeoutFor(baud, ModbusRequest::kWriteNetwork) > timeout);
    }
    QCOMPARE(ThreadAdministrator::replyTimeoutFor(14400, ModbusRequest::kCheckStatus), -1);
}

// Every request gets an id of its own; its reply, time-out or withdrawal carries it, a frame
// that answers nothing carries none.
void TestThreadAdministrator::recordsPairRepliesWithRequests()
{
    ThreadAdministrator queue;
    queue.setDeviceAddress(QStringLiteral("0A"));
    queue.baudRate = 14400;
    queue.replyTimeout = 60000;
    queue.init();
    queue.setLink(LinkKind::Serial);
    QList<ExchangeRecord> records;
    connect(&queue, &ThreadAdministrator::exchangeRecorded, this, [&](const ExchangeRecord &r) { records << r; });
    using R = ExchangeRecord::Result;
    auto results = [&]() {
        QStringList shown;
        for (const ExchangeRecord &r : qAsConst(records))
            shown << QStringLiteral("%1:%2").arg(int(r.result)).arg(r.requestId);
        return shown.join(' ');
    };
    const auto at = [](R result, int id) { return QStringLiteral("%1:%2").arg(int(result)).arg(id); };

    queue.write(new Sender(QStringLiteral("A"), QStringLiteral("010300000001")));
    queue.write(new Sender(QStringLiteral("B"), QStringLiteral("010300010001")));
    QTRY_COMPARE_WITH_TIMEOUT(records.size(), 1, 5000);
    QCOMPARE(records.first().bytes.toHex(), QByteArray("0a03000000018571"));
    QCOMPARE(records.first().kind, QStringLiteral("A"));
    queue.slot_dealWithData(QtTools::appendCrc16(QStringLiteral("0a03020005")).toLower());
    QTRY_COMPARE_WITH_TIMEOUT(records.size(), 3, 5000);
    queue.slot_dealWithData(QtTools::appendCrc16(QStringLiteral("0b03020005")).toLower());
    queue.sendersClear(QString());
    QCOMPARE(results(), QStringList({at(R::Pending, 1), at(R::Ok, 1), at(R::Pending, 2), at(R::Unmatched, 0),
                                     at(R::NotSent, 2)}).join(' '));
    QVERIFY(records.at(1).responseMs >= 0);
    QCOMPARE(records.at(1).direction, ExchangeRecord::Direction::Received);
    QVERIFY(!records.at(0).polling);

    // A frame received over TCP is judged as one: its CRC is the link's own.
    records.clear();
    queue.setLink(LinkKind::Tcp);
    queue.write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    QTRY_COMPARE_WITH_TIMEOUT(records.size(), 1, 5000);
    QVERIFY(records.first().polling);
    QCOMPARE(records.first().link, LinkKind::Tcp);
    queue.replyArrived(QtTools::appendCrc16(QStringLiteral("0a03020005")), LinkKind::Tcp, QByteArray("tcp"));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(1).result, R::Ok);
    QCOMPARE(records.at(1).bytes, QByteArray("tcp"));

    // Answered in another shape (two registers for one): it answers nothing, but it speaks
    // for the model the request was made for.
    queue.sendersClear(QString());
    records.clear();
    auto *asked = new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001"));
    asked->modelGeneration = 7;
    queue.write(asked);
    QTRY_COMPARE_WITH_TIMEOUT(records.size(), 1, 5000);
    queue.replyArrived(QtTools::appendCrc16(QStringLiteral("0a030400050006")), LinkKind::Tcp, QByteArray("tcp"));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(1).result, R::Unmatched);
    QCOMPARE(records.at(1).kind, QStringLiteral("Start detecting"));
    QCOMPARE(records.at(1).modelGeneration, 7u);
}

// "Write NetWork" waits its long time-out even when a poll, with a short one, is queued after it.
void TestThreadAdministrator::eachRequestWaitsItsOwnTime()
{
    ThreadAdministrator queue;
    queue.setDeviceAddress(QStringLiteral("0A"));
    queue.baudRate = 115200;
    queue.init();
    queue.setLink(LinkKind::Serial);
    QList<ExchangeRecord> timedOut;
    connect(&queue, &ThreadAdministrator::exchangeRecorded, this, [&](const ExchangeRecord &r) {
        if (r.result == ExchangeRecord::Result::TimedOut)
            timedOut << r;
    });
    queue.write(new Sender(QStringLiteral("Write NetWork"), QStringLiteral("0110000000020400000000")));
    queue.write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    QTRY_COMPARE_WITH_TIMEOUT(timedOut.size(), 2, 20000);
    QCOMPARE(timedOut.at(0).kind, QStringLiteral("Write NetWork"));
    // 2000 ms at this line speed; a timer may end a little early, never at the poll's 400 ms.
    QVERIFY2(timedOut.at(0).responseMs >= 1500, qPrintable(QString::number(timedOut.at(0).responseMs)));
    QCOMPARE(timedOut.at(1).kind, QStringLiteral("Start detecting"));

    // A poll that waited for the serial port takes the time-out of the line's speed.
    ThreadAdministrator slow;
    slow.setDeviceAddress(QStringLiteral("0A"));
    slow.baudRate = 14400; // no row of its own: the queue's 100 ms
    slow.replyTimeout = 100;
    slow.init();
    QList<ExchangeRecord> slowTimedOut;
    connect(&slow, &ThreadAdministrator::exchangeRecorded, this, [&](const ExchangeRecord &r) {
        if (r.result == ExchangeRecord::Result::TimedOut)
            slowTimedOut << r;
    });
    slow.write(new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001")));
    slow.setLineSpeed(1200);
    slow.setLink(LinkKind::Serial);
    QTRY_COMPARE_WITH_TIMEOUT(slowTimedOut.size(), 1, 20000);
    QVERIFY2(slowTimedOut.at(0).responseMs >= 750, qPrintable(QString::number(slowTimedOut.at(0).responseMs)));
}

QTEST_GUILESS_MAIN(TestThreadAdministrator)
#include "tst_threadadministrator.moc"
