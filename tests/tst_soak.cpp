#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "link/modbusrequest.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "simulator/modulesimulator.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextEdit>
#include <QtTest>

// Output polling, input detection and analog detection of the real window against the
// simulated module with dropped, garbled, corrupted, split and late replies. Every reply
// carries the number of its request (all registers hold the count of requests served
// before), so each applied value names the request it answered.
//   MEROVI_SOAK_TRANSACTIONS  transactions per link (default 500; scripts/soak: 100000)
class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void faultSoak_data();
    void faultSoak();
    void reconnectCyclesKeepDescriptorsFlat();

private:
    struct Served
    {
        int block = 0;      // register block read: outputs, inputs or analog inputs
        int delayMs = 0;
        bool faulty = false; // garbage or a corrupted frame
        bool late = false;   // written after the tool's reply time-out
        bool clean = false;  // intact and in time: must be applied
        int applied = 0;
    };

    void connectWindow(bool serial);
    ThreadAdministrator *queue();
    QStringList queuedKinds();
    void applied(int block, int id);
    static qint64 residentKb();
    static int openDescriptors();

    ModuleSimulator *module = nullptr;
    MainWindow *window = nullptr;
    QVector<Served> served;
    QHash<int, int> wrongKind;
    int duplicates = 0;
    int unknown = 0;
    int next = 0;
};

namespace {

constexpr int kReplyTimeoutMs = 400; // 115200 baud and TCP
constexpr int kMarginMs = 80;        // split pieces, scheduling
constexpr int kAnalogChannels = 4;

int transactions()
{
    const int n = qEnvironmentVariableIntValue("MEROVI_SOAK_TRANSACTIONS");
    return n > 0 ? n : 500;
}

} // namespace

void TestSoak::init()
{
    QtTools::instance()->configMap.clear();
    served.clear();
    wrongKind.clear();
    duplicates = unknown = next = 0;
}

void TestSoak::cleanup()
{
    delete window;
    window = nullptr;
    delete module;
    module = nullptr;
}

qint64 TestSoak::residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

int TestSoak::openDescriptors()
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
}

ThreadAdministrator *TestSoak::queue()
{
    ThreadSerialport *link = window->threadSerialport;
    ThreadAdministrator *result = nullptr;
    QMetaObject::invokeMethod(link, [link]() { return link->threadAdministrator; },
                              Qt::BlockingQueuedConnection, &result);
    return result;
}

QStringList TestSoak::queuedKinds()
{
    ThreadAdministrator *q = queue();
    QStringList kinds;
    QMetaObject::invokeMethod(q, [q]() {
        QStringList out;
        for (const Sender *sender : qAsConst(q->senders))
            out << sender->kind;
        return out;
    }, Qt::BlockingQueuedConnection, &kinds);
    return kinds;
}

void TestSoak::connectWindow(bool serial)
{
    openWindowOnModule(window, *module, serial);
}

// A value reached the window: the request it answered must be of the same block, and
// answered only once.
void TestSoak::applied(int block, int value)
{
    // Values repeat every 10000 requests; the most recent request with it is meant.
    int id = -1;
    for (int candidate = value; candidate < served.size(); candidate += 10000)
        id = candidate;
    if (id < 0) {
        ++unknown;
        return;
    }
    Served &request = served[id];
    if (request.block != block)
        wrongKind[block]++;
    else if (++request.applied > 1)
        ++duplicates;
}

void TestSoak::faultSoak_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp 127.0.0.1") << false;
    QTest::newRow("rtu pty") << true;
}

void TestSoak::faultSoak()
{
    QFETCH(bool, serial);
    const int total = transactions();
    module = new ModuleSimulator;
    module->setCounts(32, 16, 0, kAnalogChannels, false);
    module->setSeed(20261206);
    module->setDropPercent(2);
    module->setGarbagePercent(2);
    module->setCorruptCrcPercent(2);
    QRandomGenerator random(4711);

    // Every request served gets the next number into all registers for the one after it.
    auto setRegisters = [this]() {
        const quint16 value = quint16(next % 10000);
        module->setHoldingRegister(0x0000, value);
        module->setHoldingRegister(0x0001, value);
        module->setInputPattern(value);
        for (int c = 0; c < kAnalogChannels; ++c)
            module->setAnalogInputValue(c, value);
    };
    setRegisters();
    connect(module, &ModuleSimulator::requestHandled, this,
            [this, &random, setRegisters](int function, int address, int, bool) {
                Served request;
                request.block = function == 3 ? address : -1;
                // Most replies at once, some late within the time-out, a few after it.
                const int dice = int(random.bounded(100));
                if (dice < 2)
                    request.delayMs = kReplyTimeoutMs + 20 + int(random.bounded(150));
                else if (dice < 15)
                    request.delayMs = int(random.bounded(kReplyTimeoutMs - kMarginMs));
                request.late = request.delayMs >= kReplyTimeoutMs;
                module->setDelayMs(request.delayMs);
                module->setSplit(random.bounded(2) == 0);
                served.append(request);
                ++next;
                setRegisters();
            });
    module->setLogging(true);
    module->setLogFunction([this](const QString &line) {
        // The line of the request just served, with the faults done to its reply.
        if (served.isEmpty() || line.contains(QLatin1String("dropped")))
            return;
        if (line.contains(QLatin1String("corrupted")) || line.contains(QLatin1String("[garbage")))
            served.last().faulty = true;
    });

    connectWindow(serial);
    const int index = ModelCatalogue::indexOf(QStringLiteral("Switch 32-channel outputs 16-channel inputs"));
    window->modelActions.at(index)->trigger();
    const QString analogFrame = ModbusRequest::analogInputRead(QStringLiteral("01"), kAnalogChannels);
    emit window->write(new Sender(ModbusRequest::kAnalogStartDetecting, analogFrame));

    ThreadAdministrator *q = queue();
    QObject context;
    connect(q, &ThreadAdministrator::change_ctlOuts, &context, [this](const QString &reply) {
        applied(ModbusRequest::kOutputStates, int(reply.midRef(6, 4).toUInt(nullptr, 16)));
    });
    connect(q, &ThreadAdministrator::change_inputs, &context, [this](const QString &bits) {
        int value = 0;
        const QStringList tokens = bits.split(QLatin1Char(' '));
        for (int k = 0; k < 16 && k < tokens.size(); ++k)
            value |= (tokens.at(k) == QLatin1String("1") ? 1 : 0) << k;
        applied(ModbusRequest::kInputStates, value);
    });
    connect(q, &ThreadAdministrator::analogInput, &context, [this](const QString &values) {
        applied(ModbusRequest::kAnalogInputValues,
                qRound(values.section(QLatin1Char(' '), 0, 0).toDouble() * 1000));
    });

    // Replies applied before the connections above were made are not seen.
    const int firstCounted = served.size() + 10;
    int largestQueue = 0;
    qint64 warmRss = -1;
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer progress;
    progress.start();
    int lastServed = 0;
    while (served.size() < total) {
        QTest::qWait(50);
        const QStringList kinds = queuedKinds();
        largestQueue = qMax(largestQueue, kinds.size());
        // Lost, garbled and late replies never end detection.
        QVERIFY2(kinds.contains(ModbusRequest::kStartDetecting), "input detection ended");
        QVERIFY2(kinds.contains(ModbusRequest::kAnalogStartDetecting), "analog detection ended");
        if (warmRss < 0 && served.size() >= total / 10)
            warmRss = residentKb();
        if (served.size() != lastServed) {
            lastServed = served.size();
            progress.restart();
        }
        if (progress.elapsed() > 10000) {
            ThreadAdministrator *stuck = queue();
            QString state;
            QMetaObject::invokeMethod(stuck, [stuck]() {
                QString text;
                for (const Sender *sender : qAsConst(stuck->senders))
                    text += sender->kind + QLatin1Char('|') + sender->data + QLatin1Char(' ');
                return text + QStringLiteral("reply timer %1").arg(stuck->administratorTimer->isActive());
            }, Qt::BlockingQueuedConnection, &state);
            qInfo().noquote() << "no reply served for 10 s; queue:" << state << "link:"
                              << window->findChild<QLabel *>("label_serialState")->text()
                              << window->findChild<QLabel *>("label_network")->text()
                              << "log:" << window->findChild<QTextEdit *>("recvText")->toPlainText().right(600);
            QFAIL("the soak made no progress");
        }
    }
    // The last replies settle.
    const int settled = served.size();
    QTRY_VERIFY_WITH_TIMEOUT(served.size() > settled + 5, 10000);
    QTest::qWait(kReplyTimeoutMs + 200);
    const qint64 endRss = residentKb();

    // A request counts as clean when its reply was intact and in time. A late reply of the
    // same shape may stand in for a following request of its kind; it is then applied
    // once, to a request of its own kind, never to another.
    int clean = 0, lost = 0, late = 0, faulty = 0, appliedCount = 0;
    for (int i = firstCounted; i + 5 < settled; ++i) {
        Served &request = served[i];
        // A late reply, or garbage trailing a split reply, can still be on its way while
        // the next requests go out; on TCP it throws the next frame out of step.
        bool disturbed = false;
        for (int j = qMax(0, i - 3); j < i; ++j)
            disturbed = disturbed || served.at(j).late || served.at(j).faulty;
        request.clean = request.block >= 0 && !request.faulty && !request.late && !disturbed;
        clean += request.clean;
        late += request.late;
        faulty += request.faulty;
        appliedCount += request.applied > 0;
        if (request.clean && request.applied == 0) {
            ++lost;
            QString around;
            for (int j = qMax(0, i - 3); j <= qMin(settled - 1, i + 2); ++j)
                around += QStringLiteral(" [%1 block %2 delay %3%4%5 applied %6]")
                              .arg(j).arg(served.at(j).block, 0, 16).arg(served.at(j).delayMs)
                              .arg(served.at(j).faulty ? " faulty" : "").arg(served.at(j).late ? " late" : "")
                              .arg(served.at(j).applied);
            qInfo().noquote() << "lost:" << around;
        }
    }
    const int wrong = wrongKind.value(ModbusRequest::kOutputStates) + wrongKind.value(ModbusRequest::kInputStates)
        + wrongKind.value(ModbusRequest::kAnalogInputValues);
    const double seconds = clock.elapsed() / 1000.0;
    qInfo().noquote() << QStringLiteral(
        "soak %1: %2 replies served in %3 s (%4/s), %5 clean, %6 faulty, %7 late, %8 applied; "
        "lost %9, applied to another kind %10, applied twice %11, unknown %12; "
        "largest queue %13; resident memory %14 kB after warm-up, %15 kB at the end")
        .arg(serial ? "rtu" : "tcp").arg(settled).arg(seconds, 0, 'f', 1).arg(settled / seconds, 0, 'f', 1)
        .arg(clean).arg(faulty).arg(late).arg(appliedCount).arg(lost).arg(wrong).arg(duplicates)
        .arg(unknown).arg(largestQueue).arg(warmRss).arg(endRss);

    QCOMPARE(lost, 0);
    QCOMPARE(wrong, 0);
    QCOMPARE(duplicates, 0);
    QCOMPARE(unknown, 0);
    // Output polling, input and analog detection, and one more.
    QVERIFY2(largestQueue <= 4, qPrintable(QString::number(largestQueue)));
    QVERIFY(clean > settled / 2);
    if (total >= 20000)
        QVERIFY2(endRss - warmRss < 5 * 1024, qPrintable(QString::number(endRss - warmRss)));
}

void TestSoak::reconnectCyclesKeepDescriptorsFlat()
{
    module = new ModuleSimulator;
    QVERIFY(module->setModel("Switch 16-channel outputs"));
    connectWindow(false);
    const int index = ModelCatalogue::indexOf(QStringLiteral("Switch 16-channel outputs"));
    window->modelActions.at(index)->trigger();
    auto *state = window->findChild<QLabel *>("label_network");

    int descriptors = -1;
    for (int cycle = 0; cycle < 100; ++cycle) {
        const int before = module->requestCount();
        QTRY_VERIFY_WITH_TIMEOUT(module->requestCount() > before, 10000);
        module->closeTcpClients();
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("DisConnect"), 10000);
        window->tryConnectIp();
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Connect"), 10000);
        if (cycle == 1)
            descriptors = openDescriptors();
    }
    const int after = openDescriptors();
    qInfo().noquote() << QStringLiteral("open descriptors: %1 after 2 cycles, %2 after 100").arg(descriptors).arg(after);
    QVERIFY2(after <= descriptors + 1, qPrintable(QStringLiteral("%1 -> %2").arg(descriptors).arg(after)));
}

int main(int argc, char *argv[])
{
    // Both links run in one test function; on a busy machine that outlasts Qt Test's
    // default five minutes (CTest keeps its own limit).
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT", "3600000");
    QApplication app(argc, argv);
    TestSoak test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
