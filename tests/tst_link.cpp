#include "tests/loopbackwindow.h"
#include "link/linkhealth.h"
#include "link/modbusrequest.h"

#include <QColor>
#include <QThread>

// The link and its request queue without a window, against the simulated module over
// Modbus TCP on 127.0.0.1 and over Modbus RTU on a pseudo-terminal.

namespace {

const QString kInputs16 = ModbusRequest::startDetecting(16);
const QString kOutputs16 = ModbusRequest::checkStatus(16);

// The link in its thread, its queue in another, wired to this object in the test's
// thread as the window wires itself; torn down as the window does.
class Link : public QObject
{
    Q_OBJECT

public:
    Link()
    {
        qRegisterMetaType<LinkHealth>();
        link = new ThreadSerialport(nullptr, [this](ThreadAdministrator *q) { wireQueue(q); });
        connect(link, QOverload<QString, QColor>::of(&ThreadSerialport::writeOutputWidget), this,
                &Link::logLine);
        connect(link, &ThreadSerialport::serialPortOpened, this, [this]() { events << "opened"; });
        connect(link, &ThreadSerialport::networkConnected, this, [this]() { events << "connected"; });
        connect(link, &ThreadSerialport::networkDisconnected, this,
                [this]() { events << "disconnected"; });
        connect(link, &ThreadSerialport::networkReconnecting, this,
                [this](int seconds) { events << QStringLiteral("reconnecting %1").arg(seconds); });
        link->moveToThread(&thread);
        connect(&thread, &QThread::finished, link, &QObject::deleteLater);
        thread.start();
        QMetaObject::invokeMethod(link, &ThreadSerialport::initVariable, Qt::BlockingQueuedConnection);
    }

    ~Link() override
    {
        thread.quit();
        thread.wait();
    }

    void write(const QString &kind, const QString &data)
    {
        ThreadAdministrator *q = queue;
        QMetaObject::invokeMethod(q, [q, kind, data]() { q->write(new Sender(kind, data)); });
    }

    QStringList queued()
    {
        ThreadAdministrator *q = queue;
        QStringList kinds;
        QMetaObject::invokeMethod(q, [q, &kinds]() {
            for (const Sender *sender : qAsConst(q->senders))
                kinds << sender->kind;
        }, Qt::BlockingQueuedConnection);
        return kinds;
    }

    // Everything the link and the queue have said so far has reached this thread.
    void settle()
    {
        ThreadSerialport *l = link;
        ThreadAdministrator *q = queue;
        QMetaObject::invokeMethod(q, []() {}, Qt::BlockingQueuedConnection);
        QMetaObject::invokeMethod(l, []() {}, Qt::BlockingQueuedConnection);
        QCoreApplication::processEvents();
    }

    void connectTo(quint16 port)
    {
        ThreadSerialport *l = link;
        QMetaObject::invokeMethod(l, [l, port]() { l->connectToModule(QStringLiteral("127.0.0.1"), port); });
    }

    void openSerial(const QString &path)
    {
        ThreadSerialport *l = link;
        QMetaObject::invokeMethod(l, [l, path]() {
            l->addExtraPortPath(path);
            ThreadSerialport::PortSettings settings;
            settings.portName = path;
            l->setPortSettings(settings);
            l->slot_openSerialPort();
        });
    }

    // Opens the serial port at `path` or connects to `port` of 127.0.0.1, and waits for it.
    bool open(const QString &path, quint16 port)
    {
        if (path.isEmpty())
            connectTo(port);
        else
            openSerial(path);
        const char *event = path.isEmpty() ? "connected" : "opened";
        return QTest::qWaitFor([&]() { return events.contains(event); }, 10000);
    }

    bool open(ModuleSimulator &module, bool serial)
    {
        if (serial) {
            const QString path = module.openPty();
            return !path.isEmpty() && open(path, 0)
                && QTest::qWaitFor([&]() { return module.serialLineOpen(); }, 10000);
        }
        return (module.tcpPort() || module.listenTcp()) && open(QString(), module.tcpPort());
    }

    bool open(ScriptedModule &module)
    {
        return module.start() && open(module.path(), module.port());
    }

    int lines(const QString &start) const
    {
        int count = 0;
        for (const QString &line : log)
            count += line.startsWith(start) ? 1 : 0;
        return count;
    }

    QThread thread;
    ThreadSerialport *link = nullptr;
    ThreadAdministrator *queue = nullptr;

    QStringList events;
    QStringList log;
    QList<QColor> colours;
    LinkHealth health;
    QStringList replies;                  // kinds of accepted replies
    QStringList replyTexts;
    QList<QPair<QString, QString>> failures; // kind, reason
    QStringList inputs;                   // input states reported by polling
    std::function<void()> onFinished;     // after every request that ended

private:
    void wireQueue(ThreadAdministrator *q)
    {
        queue = q;
        // Runs in the link's thread: connections into this thread are queued.
        connect(q, QOverload<QString, QColor>::of(&ThreadAdministrator::writeOutputWidget), this,
                &Link::logLine);
        connect(q, &ThreadAdministrator::linkHealthChanged, this,
                [this](const LinkHealth &h) { health = h; });
        connect(q, &ThreadAdministrator::replyReceived, this,
                [this](const QString &kind, const QString &reply) {
                    replies << kind;
                    replyTexts << reply;
                    if (onFinished)
                        onFinished();
                });
        connect(q, &ThreadAdministrator::requestFailed, this,
                [this](const QString &kind, const QString &reason) {
                    failures << qMakePair(kind, reason);
                    if (onFinished)
                        onFinished();
                });
        connect(q, &ThreadAdministrator::change_inputs, this,
                [this](const QString &bits) { inputs << bits; });
    }

    void logLine(const QString &line, const QColor &colour)
    {
        log << line;
        colours << colour;
    }
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void countersMatchTheInjectedFaults_data();
    void countersMatchTheInjectedFaults();
    void pollingSurvivesAFaultyModule_data() { links(); }
    void pollingSurvivesAFaultyModule();
    void everyRequestFormCrossesTheLink_data();
    void everyRequestFormCrossesTheLink();
    void tcpReconnectsAndPollingResumes();
    void nothingIsSentWithoutALink_data() { links(); }
    void nothingIsSentWithoutALink();
    void partialFrameDiscardedWhenRequestTimesOut_data() { links(); }
    void partialFrameDiscardedWhenRequestTimesOut();
    void goodReplyAfterCorruptOne_data();
    void goodReplyAfterCorruptOne();
    void lateReadReplyNotTakenAsInputs_data() { links(); }
    void lateReadReplyNotTakenAsInputs();
    void lateReadReplyDoesNotEndButtonRequest_data() { links(); }
    void lateReadReplyDoesNotEndButtonRequest();

private:
    void links();
};

void TestLink::links()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp 127.0.0.1") << false;
    QTest::newRow("rtu pty") << true;
}

void TestLink::countersMatchTheInjectedFaults_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("drop");
    QTest::addColumn<int>("exception");
    QTest::addColumn<int>("corrupt");
    QTest::addColumn<int>("garbage");
    for (const bool serial : {false, true}) {
        const char *name = serial ? "rtu pty" : "tcp";
        QTest::addRow("%s: drop", name) << serial << 15 << 0 << 0 << 0;
        QTest::addRow("%s: exception", name) << serial << 0 << 15 << 0 << 0;
        QTest::addRow("%s: corrupt", name) << serial << 0 << 0 << 15 << 0;
        QTest::addRow("%s: drop, exception, corrupt", name) << serial << 10 << 15 << 15 << 0;
        QTest::addRow("%s: garbage", name) << serial << 0 << 0 << 0 << 20;
    }
}

// Requests one after another, each written when the one before has ended; then the
// link's figures against what the module counted:
//   sent == requests, accepted == clean, timeouts == dropped + corrupted, unmatched == 0,
//   exceptions == exceptions - spoilt exceptions (a spoilt one is no exception to the link);
//   RTU: badCrc == corrupted - spoilt exceptions, garbage == spoilt exceptions;
//   TCP: badCrc == 0, garbage == corrupted.
void TestLink::countersMatchTheInjectedFaults()
{
    QFETCH(bool, serial);
    QFETCH(int, drop);
    QFETCH(int, exception);
    QFETCH(int, corrupt);
    QFETCH(int, garbage);
    constexpr int kRequests = 100;

    ModuleSimulator module;
    QVERIFY(module.setModel("Switch 16-channel outputs 16-channel inputs"));
    module.setDropPercent(drop);
    module.setExceptionPercent(exception);
    module.setCorruptCrcPercent(corrupt);
    module.setGarbagePercent(garbage);
    // Exception replies that were also spoilt: the module counts them in both.
    int spoiltExceptions = 0;
    module.setLogging(true);
    module.setLogFunction([&spoiltExceptions](const QString &line) {
        if (line.contains(QLatin1String("-> exception")) && line.contains(QLatin1String("corrupted]")))
            ++spoiltExceptions;
    });

    Link link;
    QVERIFY(link.open(module, serial));
    int written = 1;
    link.onFinished = [&]() {
        if (written++ < kRequests)
            link.write(ModbusRequest::kCheckStatus, kOutputs16);
    };
    link.write(ModbusRequest::kCheckStatus, kOutputs16);
    QTRY_COMPARE_WITH_TIMEOUT(link.replies.size() + link.failures.size(), kRequests, 120000);
    // The figures are current once every request is accounted for in them.
    const auto ended = [&link]() {
        return link.health.accepted + link.health.timeouts + link.health.exceptions;
    };
    QTRY_COMPARE_WITH_TIMEOUT(ended(), quint64(kRequests), 10000);

    const MeroviSim::FaultCounts &f = module.faultCounts();
    const LinkHealth &h = link.health;
    qInfo().noquote() << f.line() << "| spoilt exceptions" << spoiltExceptions << "| link: sent" << h.sent
                      << "accepted" << h.accepted << "timeouts" << h.timeouts << "badCrc" << h.badCrc
                      << "garbage" << h.garbage << "unmatched" << h.unmatched << "exceptions"
                      << h.exceptions;
    QCOMPARE(f.requests, kRequests);
    QCOMPARE(f.ignored, 0);
    QCOMPARE(h.sent, quint64(f.requests));
    QVERIFY(drop == 0 || f.dropped > 0);
    QVERIFY(exception == 0 || f.exceptions > 0);
    QVERIFY(corrupt == 0 || f.corrupted > 0);
    QVERIFY(garbage == 0 || f.garbage > 0);

    if (garbage > 0) {
        // Stray bytes may look like the start of a frame and take the reply with them, or
        // sit unfinished until the next request clears them: no exact figure, only bounds.
        // A run of at most 6 stray bytes is at most 7 bad frames (a run or a frame per
        // stray byte, and one run of what is left of the reply).
        QVERIFY(h.accepted >= quint64(f.clean));
        QVERIFY(h.accepted <= quint64(f.clean + f.garbage));
        QVERIFY(h.garbage > 0);
        QVERIFY(h.badFrames() <= quint64(7 * f.garbage));
        QCOMPARE(h.timeouts, quint64(kRequests) - h.accepted);
        return;
    }
    QCOMPARE(h.accepted, quint64(f.clean));
    QCOMPARE(h.timeouts, quint64(f.dropped + f.corrupted));
    QCOMPARE(h.unmatched, quint64(0));
    QCOMPARE(h.exceptions, quint64(f.exceptions - spoiltExceptions));
    // RTU: an exception reply is taken only with a good CRC, so a spoilt one is a run of
    // bytes that is no frame. TCP: a frame whose protocol identifier is not 0 is not ours.
    QCOMPARE(h.badCrc, quint64(serial ? f.corrupted - spoiltExceptions : 0));
    QCOMPARE(h.garbage, quint64(serial ? spoiltExceptions : f.corrupted));
}

void TestLink::pollingSurvivesAFaultyModule()
{
    QFETCH(bool, serial);
    ModuleSimulator module;
    QVERIFY(module.setModel("Switch 16-channel outputs 16-channel inputs"));
    module.setInputPattern(0x0001);
    module.setDropPercent(10);
    module.setGarbagePercent(14);
    module.setExceptionPercent(10);
    Link link;
    QVERIFY(link.open(module, serial));
    link.write(ModbusRequest::kStartDetecting, kInputs16);

    const QString first = QStringLiteral("1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0");
    const QString second = QStringLiteral("0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1");
    QTRY_VERIFY_WITH_TIMEOUT(link.inputs.contains(first), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(module.faultCounts().dropped > 0 && module.faultCounts().garbage > 0
                                 && module.faultCounts().exceptions > 0, 60000);
    module.setInputPattern(0x8000);
    QTRY_VERIFY_WITH_TIMEOUT(link.inputs.contains(second), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(link.health.exceptions > 0 && link.health.timeouts > 0, 10000);
    QCOMPARE(link.queued(), QStringList{ModbusRequest::kStartDetecting});
}

void TestLink::everyRequestFormCrossesTheLink_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("data");
    QTest::addColumn<quint64>("outputs"); // the module's outputs afterwards
    const QVector<QPair<const char *, QPair<QString, QString>>> requests = {
        {"read outputs (03)", {ModbusRequest::kCheckStatus, kOutputs16}},
        {"read inputs (03)", {ModbusRequest::kStartDetecting, kInputs16}},
        {"switch one output (05)", {ModbusRequest::buttonKind(3), ModbusRequest::singleCoil(3, true)}},
        {"one output only (10)", {ModbusRequest::buttonKind(5), ModbusRequest::singleChoice(5, 16)}},
        {"all open (10)", {ModbusRequest::kAllOpen, ModbusRequest::allOutputs(16, true)}},
        {"all close (10)", {ModbusRequest::kAllClose, ModbusRequest::allOutputs(16, false)}},
    };
    const QVector<quint64> after = {0x0101, 0x0101, 0x0109, 0x0020, 0xFFFF, 0x0000};
    for (const bool serial : {false, true}) {
        for (int i = 0; i < requests.size(); ++i) {
            QTest::addRow("%s: %s", serial ? "rtu pty" : "tcp", requests.at(i).first)
                << serial << requests.at(i).second.first << requests.at(i).second.second << after.at(i);
        }
    }
}

// Each form of request the panels send reaches the module and its answer is taken.
void TestLink::everyRequestFormCrossesTheLink()
{
    QFETCH(bool, serial);
    QFETCH(QString, kind);
    QFETCH(QString, data);
    QFETCH(quint64, outputs);
    ModuleSimulator module;
    QVERIFY(module.setModel("Switch 16-channel outputs 16-channel inputs"));
    module.setCoil(0, true);
    module.setCoil(8, true);
    module.setInputPattern(0x0002);
    Link link;
    QVERIFY(link.open(module, serial));
    link.write(kind, data);
    QTRY_VERIFY_WITH_TIMEOUT(link.replies.contains(kind), 10000);
    QCOMPARE(link.failures.size(), 0);
    QCOMPARE(module.outputBits(), outputs);
    if (kind == ModbusRequest::kStartDetecting)
        QCOMPARE(link.inputs.value(0), QStringLiteral("0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0"));
}

void TestLink::tcpReconnectsAndPollingResumes()
{
    auto *module = new ModuleSimulator;
    QVERIFY(module->listenTcp());
    const quint16 port = module->tcpPort();
    Link link;
    QVERIFY(link.open(*module, false));
    link.write(ModbusRequest::kStartDetecting, kInputs16);
    QTRY_VERIFY_WITH_TIMEOUT(module->faultCounts().requests >= 3, 10000);

    // The module goes away: its connections close and its port is shut.
    delete module;
    QTRY_VERIFY_WITH_TIMEOUT(link.events.contains("reconnecting 2"), 20000);
    module = new ModuleSimulator;
    QVERIFY(module->listenTcp(port));
    QTRY_COMPARE_WITH_TIMEOUT(link.events.count("connected"), 2, 20000);
    QCOMPARE(link.events.mid(0, 4),
             (QStringList{"connected", "disconnected", "reconnecting 1", "reconnecting 2"}));
    QCOMPARE(link.events.last(), QStringLiteral("connected"));
    // The poll was kept while the link was down.
    QTRY_VERIFY_WITH_TIMEOUT(module->faultCounts().requests >= 3, 10000);
    QCOMPARE(link.queued(), QStringList{ModbusRequest::kStartDetecting});
    delete module;
}

void TestLink::nothingIsSentWithoutALink()
{
    QFETCH(bool, serial);
    ModuleSimulator module;
    Link link;
    const QStringList refused = {ModbusRequest::kCheckStatus, ModbusRequest::buttonKind(2),
                                 ModbusRequest::kUiText};
    link.write(refused.at(0), kOutputs16);
    link.write(ModbusRequest::kStartDetecting, kInputs16);
    link.write(refused.at(1), ModbusRequest::singleCoil(2, true));
    link.write(refused.at(2), QStringLiteral("010300000001"));
    QTRY_COMPARE_WITH_TIMEOUT(link.failures.size(), 3, 10000);
    link.settle();
    for (int i = 0; i < refused.size(); ++i)
        QCOMPARE(link.failures.at(i), qMakePair(refused.at(i), QStringLiteral("not sent")));
    QCOMPARE(link.lines(QStringLiteral("Not sent: ")), 3);
    for (int i = 0; i < link.log.size(); ++i) {
        QCOMPARE(link.log.at(i), QStringLiteral("Not sent: no connection (%1)").arg(refused.at(i)));
        QCOMPARE(link.colours.at(i), QColor(Qt::red));
    }
    QCOMPARE(link.lines(QStringLiteral("Send: ")), 0);
    QCOMPARE(link.queued(), QStringList{ModbusRequest::kStartDetecting});

    // The poll goes out once the link is open.
    QVERIFY(link.open(module, serial));
    QTRY_VERIFY_WITH_TIMEOUT(link.inputs.size() >= 2, 10000);
    QVERIFY(link.lines(QStringLiteral("Send: ")) >= 2);
    QCOMPARE(link.lines(QStringLiteral("Not sent")), 3);
}

void TestLink::partialFrameDiscardedWhenRequestTimesOut()
{
    QFETCH(bool, serial);
    // The first read gets half a reply and nothing more, the second the whole one.
    ScriptedModule module(serial);
    module.script = [&module](const QByteArray &, int number) -> QByteArray {
        const QByteArray reply = module.frame(QByteArray::fromHex("0103020005"));
        return number == 1 ? reply.left(reply.size() - 3) : reply;
    };
    Link link;
    QVERIFY(link.open(module));
    link.onFinished = [&link]() {
        if (link.replies.isEmpty())
            link.write(ModbusRequest::kCheckStatus, kOutputs16);
    };
    link.write(ModbusRequest::kCheckStatus, kOutputs16);
    QTRY_COMPARE_WITH_TIMEOUT(link.replies.size(), 1, 10000);
    QCOMPARE(link.failures.value(0).second, QStringLiteral("timeout"));
    QCOMPARE(link.replyTexts.first().toLower(), QtTools::appendCrc16("0103020005").toLower());
}

void TestLink::goodReplyAfterCorruptOne_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QByteArray>("corrupt");

    const QByteArray other = QByteArray::fromHex("0103020002");
    QTest::newRow("rtu: bad CRC") << true << QByteArray::fromHex("01030200020000");
    QTest::newRow("rtu: another address")
        << true << QtTools::hexStringToByteArray(QtTools::appendCrc16("0203020002"));
    QTest::newRow("rtu: byte count beyond any frame") << true << QByteArray::fromHex("0103fb");
    QTest::newRow("rtu: noise") << true << QByteArray::fromHex("ff00a5");
    QTest::newRow("tcp: another transaction")
        << false << QByteArray::fromHex("000100000005") + other;
    QTest::newRow("tcp: another protocol") << false << QByteArray::fromHex("000000010005") + other;
}

// The read is answered by the corrupt frame and the good one in one piece.
void TestLink::goodReplyAfterCorruptOne()
{
    QFETCH(bool, serial);
    QFETCH(QByteArray, corrupt);
    ScriptedModule module(serial);
    module.script = [&module, corrupt](const QByteArray &, int) {
        return corrupt + module.frame(QByteArray::fromHex("0103020005"));
    };
    Link link;
    QVERIFY(link.open(module));
    link.write(ModbusRequest::kCheckStatus, kOutputs16);
    QTRY_COMPARE_WITH_TIMEOUT(link.replies.size(), 1, 10000);
    QCOMPARE(link.replyTexts.first().toLower(), QtTools::appendCrc16("0103020005").toLower());
    QCOMPARE(link.failures.size(), 0);
}

void TestLink::lateReadReplyNotTakenAsInputs()
{
    QFETCH(bool, serial);
    ScriptedModule module(serial);
    // The output states read is answered only when the next request is already on the
    // wire, just before that request's own answer: all outputs on, inputs all off.
    bool owesOutputs = false;
    module.script = [&module, &owesOutputs](const QByteArray &request, int) -> QByteArray {
        const bool outputsRead = request.mid(1, 3) == QByteArray::fromHex("030000");
        QByteArray answer;
        if (!outputsRead && owesOutputs) {
            answer += module.frame(QByteArray::fromHex("010304ffffffff"));
            owesOutputs = false;
        }
        if (outputsRead)
            owesOutputs = true;
        else
            answer += module.frame(QByteArray::fromHex("0103020000"));
        return answer;
    };
    Link link;
    QVERIFY(link.open(module));
    // Output polling as the window does it, beside the input poll.
    const QString outputs32 = ModbusRequest::checkStatus(32);
    link.onFinished = [&link, outputs32]() { link.write(ModbusRequest::kCheckStatus, outputs32); };
    link.write(ModbusRequest::kCheckStatus, outputs32);
    link.write(ModbusRequest::kStartDetecting, kInputs16);
    QTRY_VERIFY_WITH_TIMEOUT(link.inputs.size() >= 4 && link.failures.size() >= 4, 10000);
    for (const QString &bits : qAsConst(link.inputs))
        QVERIFY2(!bits.contains(QLatin1Char('1')), qPrintable(bits));
}

void TestLink::lateReadReplyDoesNotEndButtonRequest()
{
    QFETCH(bool, serial);
    ScriptedModule module(serial);
    // Output reads are never answered on time; the late answer to one arrives with the
    // acknowledgement of the switching that follows it.
    bool owesOutputs = false;
    module.script = [&module, &owesOutputs](const QByteArray &request, int) -> QByteArray {
        if (request.at(1) == 0x03) {
            owesOutputs = true;
            return QByteArray();
        }
        QByteArray answer;
        if (owesOutputs)
            answer += module.frame(QByteArray::fromHex("0103020000"));
        return answer + module.frame(request);
    };
    Link link;
    QVERIFY(link.open(module));
    link.write(ModbusRequest::kCheckStatus, kOutputs16);
    link.write(ModbusRequest::buttonKind(2), ModbusRequest::singleCoil(2, true));
    QTRY_COMPARE_WITH_TIMEOUT(link.replies, QStringList{ModbusRequest::buttonKind(2)}, 10000);
    QCOMPARE(link.failures.value(0), qMakePair(ModbusRequest::kCheckStatus, QStringLiteral("timeout")));
}

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
