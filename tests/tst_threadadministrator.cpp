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
    void replyTimeoutsOutlastTheLongestReply();
    void recordsPairRepliesWithRequests();
};

// Each row is a script for a queue that serves the module at address 0A over a serial line;
// its reply time-out is a minute unless a step shortens it. Steps:
//   +Kind=frame  queue a request        <reply  the module answers (CRC added; <! with a bad CRC)
//   x            an exception reply     ?event  wait for the next thing the queue does
//   =kinds       the queued kinds       !       nothing more happens for a while
//   -key         remove requests        @addr   the module turns up at another address
//   #addr        the operator sets another device address
//   T50          50 ms reply time-out   !1500   nothing more happens for 1.5 s
//   speed1200    the line's speed set   link0, link1, tcp, init, close
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
    QTest::newRow("polling survives exceptions and replies that cannot be analysed")
        << QStringList{"+Start detecting=010300040002", "?sent 0A0300040002", "x", "?sent 0A0300040002",
                       "-", "+Analog-Start-detecting=010300040002", "?sent 0A0300040002", "<0a03040005",
                       "?raw 0a03040005", "?sent 0A0300040002", "=Analog-Start-detecting"};
    QTest::newRow("without a link: refused with one line, polling waits")
        << QStringList{"link0", "+Start detecting=010300040001", "+QPushButton_2=01050002FF00",
                       "?log Not sent: no connection (QPushButton_2)", "=Start detecting", "!", "link1",
                       "?sent 0A0300040001", "!"};
    QTest::newRow("TCP: All Close is removed before it is reported")
        << QStringList{"tcp", "+All Close=0110000000020400000000", "?tcp 0A10000000020400000000",
                       "<0a1000000002", "?raw 0a1000000002", "?all 0 queued 0"};
    // Each request waits its own time: writing the network block 2000 ms at 115200 baud, a
    // poll queued after it 400 ms; a poll that waited for the line takes its speed's.
    QTest::newRow("writing the network block waits its long time, not the poll's after it")
        << QStringList{"speed115200", "+Write NetWork=0110000000020400000000", "+Start detecting=010300040001",
                       "?sent 0A10000000020400000000", "!1500", "?timeout", "?sent 0A0300040001"};
    QTest::newRow("a poll queued without a link takes the time-out of the speed set meanwhile")
        << QStringList{"link0", "T100", "+Start detecting=010300040001", "speed1200", "link1",
                       "?sent 0A0300040001", "!750", "?timeout"};
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
        } else if (step.startsWith(QLatin1Char('!'))) {
            QTest::qWait(arg.isEmpty() ? 60 : arg.toInt());
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
        } else if (step.startsWith(QLatin1Char('T'))) {
            queue.replyTimeout = arg.toInt();
        } else if (step.startsWith(QLatin1String("speed"))) {
            queue.setLineSpeed(step.mid(5).toInt());
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

// At every rate the module offers, a request waits at least as long as the longest reply
// the tool asks for takes: request and reply on the wire, the silence that ends each, and
// the module's turnaround. Writing the network block waits longer still; a rate the module
// does not use has no time-out of its own. The pause before the next request outlasts the
// silence that ends a frame on the line, and is never under 20 ms (over TCP just that).
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
        const qint64 stepUs = ThreadAdministrator::sendStepFor(baud, false).count();
        QVERIFY(stepUs >= 20000 && stepUs > SerialTiming::silenceMicros(baud));
    }
    QCOMPARE(int(ThreadAdministrator::sendStepFor(1200, true).count()), 20000);
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
    const auto results = [&records]() {
        static const QStringList names{"Pending", "Ok", "Exception", "TimedOut", "NotSent", "BadCrc", "Unmatched"};
        QStringList shown;
        for (const ExchangeRecord &r : qAsConst(records))
            shown << names.at(int(r.result)) + QLatin1Char(':') + QString::number(r.requestId);
        return shown.join(' ');
    };

    queue.write(new Sender(QStringLiteral("A"), QStringLiteral("010300000001")));
    queue.write(new Sender(QStringLiteral("B"), QStringLiteral("010300010001")));
    QTRY_COMPARE_WITH_TIMEOUT(records.size(), 1, 5000);
    QCOMPARE(records.first().bytes.toHex(), QByteArray("0a03000000018571"));
    QCOMPARE(records.first().kind, QStringLiteral("A"));
    queue.slot_dealWithData(QtTools::appendCrc16(QStringLiteral("0a03020005")).toLower());
    QTRY_COMPARE_WITH_TIMEOUT(records.size(), 3, 5000);
    queue.slot_dealWithData(QtTools::appendCrc16(QStringLiteral("0b03020005")).toLower());
    queue.sendersClear(QString());
    QCOMPARE(results(), QStringLiteral("Pending:1 Ok:1 Pending:2 Unmatched:0 NotSent:2"));
    QVERIFY(!records.at(0).polling);

    // A poll answered over TCP in another shape (two registers for one): it answers nothing,
    // but it is kept with the link's own bytes and speaks for the model the poll was made for.
    records.clear();
    queue.setLink(LinkKind::Tcp);
    auto *asked = new Sender(QStringLiteral("Start detecting"), QStringLiteral("010300040001"));
    asked->modelGeneration = 7;
    queue.write(asked);
    QTRY_COMPARE_WITH_TIMEOUT(records.size(), 1, 5000);
    QVERIFY(records.first().polling);
    queue.replyArrived(QtTools::appendCrc16(QStringLiteral("0a030400050006")), LinkKind::Tcp, QByteArray("tcp"));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records.at(1).result, ExchangeRecord::Result::Unmatched);
    QCOMPARE(records.at(1).kind, QStringLiteral("Start detecting"));
    QCOMPARE(records.at(1).modelGeneration, 7u);
    QCOMPARE(records.at(1).link, LinkKind::Tcp);
    QCOMPARE(records.at(1).bytes, QByteArray("tcp"));
}

QTEST_GUILESS_MAIN(TestThreadAdministrator)
#include "tst_threadadministrator.moc"
