// Measures the tool against the simulated module and prints the figures as Markdown:
// transactions per second through the real queue and link (TCP on 127.0.0.1 and a
// pseudo-terminal) against the ceiling 1 / (20 ms + round trip), CPU time per transaction,
// the cost of a log line in the receive view and the longest event-loop stall under a
// steady log, start-up times and resident memory. Only 127.0.0.1 and ptys are used.
//   merovibench [--seconds N] [--log-seconds N] [--transactions N] [--hidden-window]
//   merovibench --flood [SECONDS] [BURST_BYTES] [CASE]   (a flooding module: floodbench.cpp)
//   merovibench --traffic [SECONDS]   (the traffic table's figures alone)
//   merovibench --log [SECONDS]   (the receive view's figures alone)
#include "bench/benchtools.h"
#include "bench/floodbench.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "simulator/modulesimulator.h"
#include "ui/mainwindow.h"
#include "ui/outputlog.h"
#include "ui/trafficmodel.h"
#include "protocol/modelcatalogue.h"
#include "QtLibrary/QtTools/qttools.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTableView>
#include <QListView>
#include <QTimer>
#include <QWindow>

#include <dlfcn.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr double kSendStepMs = 20.0;
const char kModel[] = "Switch 16-channel inputs";

// The simulated module as a process of its own, so the CPU time measured is the tool's.
struct SimProcess
{
    QProcess process;
    quint16 port = 0;
    QString pty;

    bool start(bool serial)
    {
        QStringList arguments{QStringLiteral("--model"), QString::fromLatin1(kModel),
                              QStringLiteral("--inputs-pattern"), QStringLiteral("5"),
                              QStringLiteral("--quiet")};
        if (serial) {
            arguments << QStringLiteral("--serial");
        } else {
            port = freeLocalPort();
            arguments << QStringLiteral("--tcp") << QString::number(port);
        }
        process.setProgram(QStringLiteral(MEROVISIM_PATH));
        process.setArguments(arguments);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.start();
        QByteArray out;
        const bool ready = waitFor([&]() {
            out += process.readAllStandardOutput();
            return out.contains("merovisim: ready");
        });
        for (const QByteArray &line : out.split('\n')) {
            if (line.startsWith("merovisim: serial "))
                pty = QString::fromLocal8Bit(line.mid(18).trimmed());
        }
        return ready;
    }
    ~SimProcess()
    {
        process.terminate();
        process.waitForFinished(3000);
    }
};

void chooseModel(MainWindow *window)
{
    window->modelAction(ModelCatalogue::indexOf(QString::fromLatin1(kModel)))->trigger();
}

// libmodbus, when installed, reading the same register: the anchor for the round trip.
struct LibModbus
{
    void *handle = dlopen("libmodbus.so.5", RTLD_NOW);
    using NewTcp = void *(*)(const char *, int);
    using NewRtu = void *(*)(const char *, int, char, int, int);
    using Ctx = int (*)(void *);
    using SetSlave = int (*)(void *, int);
    using Read = int (*)(void *, int, int, quint16 *);
    using Free = void (*)(void *);

    template<typename F> F symbol(const char *name) const
    {
        return handle ? reinterpret_cast<F>(dlsym(handle, name)) : nullptr;
    }

    // Mean round trip in ms over n reads, or -1.
    double roundTripMs(bool serial, quint16 port, const QString &pty, int n) const
    {
        auto newTcp = symbol<NewTcp>("modbus_new_tcp");
        auto newRtu = symbol<NewRtu>("modbus_new_rtu");
        auto connectTo = symbol<Ctx>("modbus_connect");
        auto setSlave = symbol<SetSlave>("modbus_set_slave");
        auto read = symbol<Read>("modbus_read_registers");
        auto close = symbol<Free>("modbus_close");
        auto release = symbol<Free>("modbus_free");
        if (!newTcp || !newRtu || !connectTo || !setSlave || !read || !close || !release)
            return -1;
        void *ctx = serial ? newRtu(pty.toLocal8Bit().constData(), 115200, 'N', 8, 1)
                           : newTcp("127.0.0.1", port);
        if (!ctx)
            return -1;
        setSlave(ctx, 1);
        if (connectTo(ctx) != 0) {
            release(ctx);
            return -1;
        }
        quint16 value = 0;
        read(ctx, 4, 1, &value); // warm-up
        QElapsedTimer clock;
        clock.start();
        int good = 0;
        for (int i = 0; i < n; ++i)
            good += read(ctx, 4, 1, &value) == 1;
        const double ms = clock.nsecsElapsed() / 1e6 / qMax(1, good);
        close(ctx);
        release(ctx);
        return good > 0 ? ms : -1;
    }
};

struct Throughput
{
    double perSecond = 0;
    double rttMs = -1;
    double cpuMsPerTransaction = 0;
    long transactions = 0;
    double seconds = 0;
};

// Whether the throughput runs show the window (the log and panels drawn as they change);
// --hidden-window measures as earlier rounds did, the window never shown.
bool showWindow = true;

Throughput throughput(bool serial, int seconds, long minimumTransactions)
{
    Throughput result;
    SimProcess sim;
    if (!sim.start(serial))
        return result;
    result.rttMs = LibModbus().roundTripMs(serial, sim.port, sim.pty, 300);

    MainWindow *window = newWindow(serial ? freeLocalPort() : sim.port);
    if (showWindow)
        window->show();
    chooseModel(window);
    if (serial) {
        window->addSerialPortPath(sim.pty);
        auto *ports = window->findChild<QComboBox *>(QStringLiteral("comCbb"));
        waitFor([&]() { return ports->findText(sim.pty) >= 0; });
        ports->setCurrentText(sim.pty);
        window->findChild<QPushButton *>(QStringLiteral("switchBt"))->click();
        waitFor([&]() { return window->findChild<QLabel *>(QStringLiteral("label_serialState"))->text() == QLatin1String("Connect"); });
    } else {
        waitFor([&]() { return window->findChild<QLabel *>(QStringLiteral("label_network"))->text() == QLatin1String("Connect"); });
    }
    ThreadAdministrator *queue = queueOf(window);
    long applied = 0;
    QObject::connect(queue, &ThreadAdministrator::change_inputs, window, [&applied]() { ++applied; });
    wait(2000);

    const long start = applied;
    const double cpuStart = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    long seen = applied;
    QElapsedTimer progress;
    progress.start();
    while (clock.elapsed() < seconds * 1000 || applied - start < minimumTransactions) {
        wait(100);
        // No faults are injected, but a reply lost all the same ends detection (the
        // request expires); the run then ends with what it has.
        if (applied != seen) {
            seen = applied;
            progress.restart();
        } else if (progress.elapsed() > 2000) {
            break;
        }
    }
    result.seconds = clock.nsecsElapsed() / 1e9;
    result.transactions = applied - start;
    result.perSecond = result.transactions / result.seconds;
    result.cpuMsPerTransaction = (cpuSeconds() - cpuStart) * 1000.0 / qMax(1L, result.transactions);
    delete window;
    return result;
}

struct LogCost
{
    double emptyUs = 0;
    double fullUs = 0;
    double paintUs = 0;   // a full view laid out and painted
    int rowsInSight = 0;
    double longestStallMs = 0;
    int seconds = 0;
    long lines = 0;
};

LogCost logCost(int seconds)
{
    LogCost result;
    MainWindow *window = newWindow(freeLocalPort());
    window->show();
    // Painting is measured only on a window that is on the screen.
    waitFor([&]() { return window->windowHandle() && window->windowHandle()->isExposed(); }, 5000);
    wait(200);
    auto *view = window->findChild<QListView *>(QStringLiteral("recvText"));
    const QString line = QStringLiteral("Send: 01 03 00 04 00 01 c5 cb");

    // A line costs little when it is queued and most when the view takes it in: each batch
    // of 100 lines is measured up to and including its flush into the view, the view's
    // layout and its painting (as the next screen update would do it).
    auto batch = [&](QElapsedTimer &clock) {
        clock.start();
        for (int i = 0; i < 100; ++i)
            window->outputLog()->append(line, QColor(Qt::blue));
        window->outputLog()->flush();
        view->viewport()->repaint();
        return clock.nsecsElapsed();
    };
    // Empty view: the first 100 lines, from empty each time.
    QElapsedTimer clock;
    qint64 total = 0;
    int count = 0;
    for (int round = 0; round < 20; ++round) {
        window->on_recvTextClear_clicked();
        total += batch(clock);
        count += 100;
    }
    result.emptyUs = total / 1000.0 / count;

    // Full view: kept at its trimmed size (the history's lines) by the appends themselves.
    for (int i = 0; i < OutputLog::kHistoryLines / 100 + 1; ++i)
        batch(clock);
    total = 0;
    count = 0;
    for (int round = 0; round < 20; ++round) {
        total += batch(clock);
        count += 100;
    }
    result.fullUs = total / 1000.0 / count;

    // The full view laid out from scratch and every row in sight painted.
    total = 0;
    for (int round = 0; round < 20; ++round) {
        clock.start();
        view->doItemsLayout();
        view->viewport()->repaint();
        total += clock.nsecsElapsed();
    }
    result.paintUs = total / 1000.0 / 20;
    result.rowsInSight = view->viewport()->height() / qMax(1, view->sizeHintForRow(0));

    // 200 lines/s, received data and log lines alternating, against a 1 ms heartbeat.
    QTimer lines;
    lines.setTimerType(Qt::PreciseTimer);
    bool data = false;
    QObject::connect(&lines, &QTimer::timeout, window, [&]() {
        if ((data = !data))
            window->outputLog()->appendReceived(QStringLiteral("0103020005b845"), false);
        else
            window->outputLog()->append(line, QColor(Qt::blue));
        ++result.lines;
    });
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer beat;
    qint64 longest = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, window, [&]() {
        longest = qMax(longest, beat.nsecsElapsed());
        beat.restart();
    });
    lines.start(5);
    heartbeat.start(1);
    beat.start();
    wait(seconds * 1000);
    lines.stop();
    heartbeat.stop();
    result.longestStallMs = longest / 1e6 - 1.0;
    result.seconds = seconds;
    delete window;
    return result;
}

struct TrafficCost
{
    double fillMs = 0;        // 100,000 exchanges into an empty table, shown
    qint64 beforeKb = 0;      // resident memory, empty table
    qint64 fullKb = 0;        // the ring just full
    qint64 secondKb = 0;      // another ring's worth later
    qint64 afterKb = 0;       // and after the stall run
    double longestStallMs = 0;
    long exchanges = 0;
    int seconds = 0;
    int rate = 0;             // exchanges per second while the stall is measured
};

// The traffic table in a shown table view, fed with exchange records as the link makes
// them (a request, then its reply); a 1 ms heartbeat on the same thread measures stalls.
TrafficCost trafficCost(int seconds)
{
    TrafficCost result;
    TrafficModel model;
    TrafficFilter filter;
    filter.setSourceModel(&model);
    QTableView view;
    view.setModel(&filter);
    view.resize(1200, 600);
    view.show();
    wait(200);
    quint64 id = 0;
    const QByteArray request = QtTools::withCrc16(QByteArray::fromHex("010300040001"));
    const QByteArray reply = QtTools::withCrc16(QByteArray::fromHex("0103020005"));
    auto exchange = [&]() {
        ExchangeRecord sent;
        sent.requestId = ++id;
        sent.link = LinkKind::Serial;
        sent.kind = QStringLiteral("Start detecting");
        sent.polling = true;
        sent.bytes = request;
        sent.timeMs = QDateTime::currentMSecsSinceEpoch();
        model.addExchange(sent);
        ExchangeRecord received = sent;
        received.direction = ExchangeRecord::Direction::Received;
        received.result = ExchangeRecord::Result::Ok;
        received.bytes = reply;
        received.responseMs = 1;
        model.addExchange(received);
        ++result.exchanges;
    };
    result.beforeKb = residentKb();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < model.capacity(); ++i) {
        exchange();
        if (i % 1000 == 999)
            QCoreApplication::processEvents();
    }
    model.flush();
    view.scrollToBottom();
    QCoreApplication::processEvents();
    result.fillMs = clock.nsecsElapsed() / 1e6;
    result.fullKb = residentKb();
    for (int i = 0; i < model.capacity(); ++i) {
        exchange();
        if (i % 1000 == 999)
            QCoreApplication::processEvents();
    }
    model.flush();
    QCoreApplication::processEvents();
    result.secondKb = residentKb();

    // Full ring, view following: ten times the fastest polling (an exchange per 2 ms
    // against one per 20 ms and more), each batch scrolled to the newest row.
    result.rate = 500;
    QObject::connect(&filter, &QAbstractItemModel::rowsInserted, &view,
                     [&view]() { view.scrollToBottom(); });
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feed, &QTimer::timeout, &view, [&]() { exchange(); });
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer beat;
    qint64 longest = 0;
    QObject::connect(&heartbeat, &QTimer::timeout, &view, [&]() {
        longest = qMax(longest, beat.nsecsElapsed());
        beat.restart();
    });
    feed.start(1000 / result.rate);
    heartbeat.start(1);
    beat.start();
    wait(seconds * 1000);
    feed.stop();
    heartbeat.stop();
    result.longestStallMs = longest / 1e6 - 1.0;
    result.seconds = seconds;
    result.afterKb = residentKb();
    return result;
}

QString logFigures(const LogCost &log)
{
    return QStringLiteral("## Receive view\n\n"
                          "| figure | value |\n|---|---|\n"
                          "| log line appended to an empty view, laid out and painted | %1 µs |\n"
                          "| log line appended to a full (trimmed) view, laid out and painted | %2 µs |\n"
                          "| full view (%5 lines kept, %6 rows in sight) laid out and painted | %7 µs |\n"
                          "| longest event-loop stall, 200 lines/s (data and log alternating) for %3 s | %4 ms |\n\n")
        .arg(log.emptyUs, 0, 'f', 1).arg(log.fullUs, 0, 'f', 1).arg(log.seconds).arg(log.longestStallMs, 0, 'f', 1)
        .arg(OutputLog::kHistoryLines).arg(log.rowsInSight).arg(log.paintUs, 0, 'f', 1);
}

QString trafficFigures(const TrafficCost &traffic)
{
    return QStringLiteral("## Traffic table\n\n"
                          "| figure | value |\n|---|---|\n"
                          "| 100,000 exchanges (request and reply) into the shown table | %1 ms |\n"
                          "| resident memory: empty table; ring just full; a second ring's worth later; after the stall run (%2 exchanges in all) | %3 kB; %4 kB; %9 kB; %5 kB |\n"
                          "| longest event-loop stall, ring full, view following, %6 exchanges/s for %7 s | %8 ms |\n\n")
        .arg(traffic.fillMs, 0, 'f', 0)
        .arg(traffic.exchanges)
        .arg(traffic.beforeKb)
        .arg(traffic.fullKb)
        .arg(traffic.afterKb)
        .arg(traffic.rate)
        .arg(traffic.seconds)
        .arg(traffic.longestStallMs, 0, 'f', 1)
        .arg(traffic.secondKb);
}

struct Startup
{
    double shownMs = -1;
    double firstFrameMs = -1;
    qint64 idleKb = -1;
};

Startup startup()
{
    Startup result;
    ModuleSimulator module;
    module.setModel(QString::fromLatin1(kModel));
    module.listenTcp();
    QElapsedTimer clock;
    QElapsedTimer firstFrame;
    bool seen = false;
    QObject::connect(&module, &ModuleSimulator::requestHandled, &module, [&]() {
        if (!seen)
            result.firstFrameMs = clock.nsecsElapsed() / 1e6;
        seen = true;
    });
    clock.start();
    MainWindow *window = newWindow(module.tcpPort());
    chooseModel(window);
    window->show();
    waitFor([&]() { return window->windowHandle() && window->windowHandle()->isExposed(); }, 5000);
    result.shownMs = clock.nsecsElapsed() / 1e6;
    waitFor([&]() { return seen; });
    // Idle: detection stopped, nothing queued, two seconds later.
    window->findChild<QPushButton *>(QStringLiteral("pushButton_check"))->click();
    wait(2000);
    result.idleKb = residentKb();
    delete window;
    return result;
}

QString ms(double value, int decimals = 2)
{
    return value < 0 ? QStringLiteral("n/a") : QString::number(value, 'f', decimals);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--flood-peer") == 0)
        return runFloodPeer(argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    if (argc > 1 && qstrcmp(argv[1], "--flood") == 0) {
        const int floodSeconds = argc > 2 ? QByteArray(argv[2]).toInt() : 60;
        const qint64 burstBytes = argc > 3 ? QByteArray(argv[3]).toLongLong() : 6 * 1000 * 1000;
        const QString only = argc > 4 ? QString::fromLocal8Bit(argv[4]) : QString();
        std::fputs(floodFigures(floodSeconds, burstBytes, only).toUtf8().constData(), stdout);
        return 0;
    }
    if (argc > 1 && qstrcmp(argv[1], "--traffic") == 0) {
        const int trafficSeconds = argc > 2 ? QByteArray(argv[2]).toInt() : 20;
        std::fputs(trafficFigures(trafficCost(trafficSeconds)).toUtf8().constData(), stdout);
        return 0;
    }
    if (argc > 1 && qstrcmp(argv[1], "--log") == 0) {
        const int logSeconds = argc > 2 ? QByteArray(argv[2]).toInt() : 20;
        std::fputs(logFigures(logCost(logSeconds)).toUtf8().constData(), stdout);
        return 0;
    }
    int seconds = 20;
    int logSeconds = 60;
    long transactions = 0;
    const QStringList args = app.arguments();
    showWindow = !args.contains(QStringLiteral("--hidden-window"));
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--seconds"))
            seconds = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--log-seconds"))
            logSeconds = args.at(i + 1).toInt();
        else if (args.at(i) == QLatin1String("--transactions"))
            transactions = args.at(i + 1).toLong();
    }

    const Startup start = startup();
    const Throughput tcp = throughput(false, seconds, transactions);
    const qint64 afterTcpKb = residentKb();
    const Throughput rtu = throughput(true, seconds, 0);
    const LogCost log = logCost(logSeconds);
    const TrafficCost traffic = trafficCost(logSeconds);

    auto row = [](const char *link, const Throughput &t) {
        const double ceiling = t.rttMs >= 0 ? 1000.0 / (kSendStepMs + t.rttMs) : 1000.0 / kSendStepMs;
        return QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 % | %7 | %8 |\n")
            .arg(QLatin1String(link))
            .arg(t.seconds, 0, 'f', 0)
            .arg(t.transactions)
            .arg(t.perSecond, 0, 'f', 2)
            .arg(ceiling, 0, 'f', 2)
            .arg(100.0 * t.perSecond / ceiling, 0, 'f', 1)
            .arg(ms(t.rttMs, 3))
            .arg(ms(t.cpuMsPerTransaction, 3));
    };
    QString out;
    out += QStringLiteral("## Transactions through the real queue and link\n\n"
                          "Input detection of \"%1\" (one register read, sent again after each reply) "
                          "against merovisim in a process of its own; ceiling = 1 / (20 ms + round trip), "
                          "the round trip being libmodbus's own on the same link and machine.\n\n"
                          "| link | seconds | transactions | per second | ceiling per second | of ceiling | libmodbus round trip, ms | tool CPU per transaction, ms |\n"
                          "|---|---|---|---|---|---|---|---|\n").arg(QLatin1String(kModel));
    out += row("Modbus TCP, 127.0.0.1", tcp);
    out += row("Modbus RTU, pseudo-terminal", rtu);
    out += QStringLiteral("\nMeasured after a 2 s warm-up for at least %1 s per link%2. CPU is the tool process's "
                          "user + system time over the run divided by the transactions (the module runs in another process). "
                          "%3\n\n")
               .arg(seconds)
               .arg(transactions > 0 ? QStringLiteral(", the TCP run until %1 transactions").arg(transactions)
                                     : QString())
               .arg(showWindow ? QStringLiteral("The window is shown (offscreen) throughout: the log, the panels and "
                                                "the status bar are drawn as they change.")
                               : QStringLiteral("The window is never shown (--hidden-window)."));
    out += logFigures(log);
    out += trafficFigures(traffic);
    out += QStringLiteral("## Start-up and memory\n\n"
                          "| figure | value |\n|---|---|\n"
                          "| window constructed to shown (exposed) | %1 ms |\n"
                          "| window constructed to first request at the module (model chosen at once, TCP) | %2 ms |\n"
                          "| resident memory, idle window | %3 kB |\n"
                          "| resident memory after the TCP run (%4 transactions) | %5 kB |\n")
               .arg(ms(start.shownMs, 1)).arg(ms(start.firstFrameMs, 1)).arg(start.idleKb)
               .arg(tcp.transactions).arg(afterTcpKb);
    std::fputs(out.toUtf8().constData(), stdout);
    return 0;
}
