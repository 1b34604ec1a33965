// A flooding module against the real window. The module is a process of its own (this
// program with --flood-peer), so the CPU time and memory measured are the tool's: it
// answers every request as the simulated module does and, once told "go", sends small
// valid frames at 200 kB/s for a while, then one large burst of them.
#include "bench/floodbench.h"

#include "bench/benchtools.h"
#include "protocol/modbusrequest.h"
#include "protocol/modelcatalogue.h"
#include "simulator/modulecore.h"

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTcpSocket>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

const char kFloodModel[] = "Switch 16-channel outputs";
constexpr double kFloodBytesPerSecond = 200000.0;
constexpr int kFloodTickMs = 10;

void tell(const QByteArray &line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

class FloodPeer : public QObject
{
public:
    FloodPeer(bool serial, bool identifications, int seconds, qint64 burstBytes)
        : serial(serial), seconds(seconds), burstBytes(burstBytes)
    {
        core.setModel(QString::fromLatin1(kFloodModel));
        if (!serial)
            floodFrame = QByteArray::fromHex("000000000003018302");
        else if (identifications)
            floodFrame = core.identificationReply();
        else
            floodFrame = ModuleCore::withCrc(QByteArray::fromHex("018302"));
    }

    bool start()
    {
        if (serial)
            return openPty();
        connect(&server, &QTcpServer::newConnection, this, [this]() {
            while (QTcpSocket *next = server.nextPendingConnection()) {
                delete socket;
                socket = next;
                rx.clear();
                connect(socket, &QTcpSocket::readyRead, this, [this]() { received(socket->readAll()); });
                connect(socket, &QTcpSocket::bytesWritten, this, [this]() { checkWritten(); });
            }
        });
        if (!server.listen(QHostAddress::LocalHost))
            return false;
        tell("port " + QByteArray::number(server.serverPort()));
        return true;
    }

    void go()
    {
        floodClock.start();
        connect(&floodTimer, &QTimer::timeout, this, [this]() { floodTick(); });
        floodTimer.setTimerType(Qt::PreciseTimer);
        floodTimer.start(kFloodTickMs);
    }

private:
    bool openPty()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return false;
        // The slave stays open here too, so the line never hangs up before the tool opens it.
        termios settings {};
        if (::tcgetattr(slave, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(slave, TCSANOW, &settings);
        }
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
        connect(readNotifier, &QSocketNotifier::activated, this, [this]() {
            char buffer[4096];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                received(QByteArray(buffer, int(n)));
        });
        writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
        writeNotifier->setEnabled(false);
        connect(writeNotifier, &QSocketNotifier::activated, this, [this]() { pump(); });
        tell("pty " + QByteArray(name));
        return true;
    }

    // Requests in, the module's replies out, behind whatever flood is already queued.
    void received(const QByteArray &bytes)
    {
        rx += bytes;
        for (;;) {
            int length = 0;
            if (serial) {
                if (rx.size() < 8)
                    return;
                const char function = rx.at(1);
                length = function == 0x0f || function == 0x10 ? 9 + quint8(rx.at(6)) : 8;
            } else {
                if (rx.size() < 6)
                    return;
                length = 6 + (quint8(rx.at(4)) << 8 | quint8(rx.at(5)));
            }
            if (rx.size() < length)
                return;
            const ModuleCore::Result result =
                core.handle(rx.left(length), serial ? ModuleCore::Framing::Rtu : ModuleCore::Framing::Tcp);
            rx.remove(0, length);
            if (!result.reply.isEmpty())
                send(result.reply);
        }
    }

    void send(const QByteArray &bytes)
    {
        if (!serial) {
            if (socket)
                socket->write(bytes);
            return;
        }
        pending += bytes;
        pump();
    }

    void pump()
    {
        while (!pending.isEmpty()) {
            const ssize_t n = ::write(master, pending.constData(), size_t(pending.size()));
            if (n <= 0)
                break;
            pending.remove(0, int(n));
        }
        writeNotifier->setEnabled(!pending.isEmpty());
        checkWritten();
    }

    void floodTick()
    {
        const qint64 elapsed = floodClock.elapsed();
        const qint64 due = qint64(kFloodBytesPerSecond * qMin<qint64>(elapsed, seconds * 1000LL) / 1000.0);
        const int frames = int((due - floodSent) / floodFrame.size());
        if (frames > 0) {
            send(floodFrame.repeated(frames));
            floodSent += qint64(frames) * floodFrame.size();
        }
        if (elapsed < seconds * 1000LL)
            return;
        floodTimer.stop();
        tell("burst");
        bursting = true;
        send(floodFrame.repeated(int(burstBytes / floodFrame.size())));
        checkWritten();
    }

    void checkWritten()
    {
        const bool empty = serial ? pending.isEmpty() : (socket && socket->bytesToWrite() == 0);
        if (bursting && empty) {
            bursting = false;
            tell("written");
        }
    }

    bool serial;
    int seconds;
    qint64 burstBytes;
    ModuleCore core;
    QByteArray floodFrame;
    QTcpServer server;
    QTcpSocket *socket = nullptr;
    int master = -1;
    int slave = -1;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QByteArray rx;
    QByteArray pending;
    QTimer floodTimer;
    QElapsedTimer floodClock;
    qint64 floodSent = 0;
    bool bursting = false;
};

struct FloodCase
{
    const char *name;
    bool serial;
    bool identifications;
};

struct FloodRun
{
    bool ok = false;
    QString failure;
    qint64 idleKb = 0;
    qint64 peakKb = 0;
    qint64 endKb = 0;
    double idleCpuPercent = 0;
    double floodCpuPercent = 0;
    double stallIdleMs = 0;
    double stallFloodMs = 0;
    double stallBurstMs = 0;
    double stallAfterMs = 0;
    double gapIdleMs = 0;
    double gapFloodMs = 0;
    double gapBurstMs = 0;
    int repliesFlood = 0;
    int exceptionsFlood = 0;
    int timeoutsFlood = 0;
    double burstMs = 0;
    double backToIdleMs = -1;
    QStringList cpuAfter; // % of a core in each second after the burst is out
    int notShownLines = 0;
    int outOfStepLines = 0;
    qint64 notShownFrames = 0;
    int droppedLinesKept = 0;
    int viewLines = 0;
};

// The longest time without a reply in (from, to]; an open gap at the end counts too.
double longestGap(const QVector<qint64> &times, qint64 from, qint64 to)
{
    qint64 previous = from;
    for (qint64 t : times) {
        if (t <= from)
            previous = t;
    }
    qint64 longest = 0;
    for (qint64 t : times) {
        if (t <= from || t > to)
            continue;
        longest = qMax(longest, t - previous);
        previous = t;
    }
    return double(qMax(longest, to - previous));
}

FloodRun floodRun(const FloodCase &flood, int seconds, qint64 burstBytes)
{
    FloodRun run;
    QProcess peer;
    peer.setProgram(QCoreApplication::applicationFilePath());
    peer.setArguments({QStringLiteral("--flood-peer"),
                       QLatin1String(flood.serial ? "serial" : "tcp"),
                       QLatin1String(flood.identifications ? "identifications" : "exceptions"),
                       QString::number(seconds), QString::number(burstBytes)});
    peer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QByteArray said;
    auto heard = [&](const QByteArray &what) {
        said += peer.readAllStandardOutput();
        return said.contains("\n" + what) || said.startsWith(what);
    };
    peer.start();
    if (!waitFor([&]() { return heard("port ") || heard("pty "); })) {
        run.failure = QStringLiteral("the flooding module did not start");
        return run;
    }
    quint16 port = 0;
    QString pty;
    for (const QByteArray &line : said.split('\n')) {
        if (line.startsWith("port "))
            port = quint16(line.mid(5).toUInt());
        else if (line.startsWith("pty "))
            pty = QString::fromLocal8Bit(line.mid(4));
    }

    MainWindow *window = newWindow(flood.serial ? freeLocalPort() : port);
    window->modelAction(ModelCatalogue::indexOf(QString::fromLatin1(kFloodModel)))->trigger();
    window->show();
    if (flood.serial) {
        window->addSerialPortPath(pty);
        auto *ports = window->findChild<QComboBox *>(QStringLiteral("comCbb"));
        waitFor([&]() { return ports->findText(pty) >= 0; });
        ports->setCurrentText(pty);
        window->findChild<QPushButton *>(QStringLiteral("switchBt"))->click();
    }
    const char *state = flood.serial ? "label_serialState" : "label_network";
    if (!waitFor([&]() { return window->findChild<QLabel *>(QLatin1String(state))->text() == QLatin1String("Connect"); })) {
        run.failure = QStringLiteral("the window did not connect");
        delete window;
        return run;
    }
    ThreadAdministrator *queue = queueOf(window);

    // Phases: 0 idle, 1 flood, 2 burst, 3 after the burst is out.
    int phase = 0;
    QElapsedTimer clock;
    clock.start();
    QVector<qint64> replies;
    QObject::connect(queue, &ThreadAdministrator::change_ctlOuts, window, [&]() {
        replies << clock.elapsed();
        if (phase == 1)
            ++run.repliesFlood;
    });
    QObject::connect(queue, &ThreadAdministrator::requestFailed, window,
                     [&](const QString &kind, const QString &reason) {
                         if (phase != 1 || kind != ModbusRequest::kCheckStatus)
                             return;
                         if (reason.startsWith(QLatin1String("exception")))
                             ++run.exceptionsFlood;
                         else if (reason == QLatin1String("timeout"))
                             ++run.timeoutsFlood;
                     });
    QObject::connect(window->link(), &ThreadSerialport::linkNotice, window,
                     [&](const LinkNotice &notice) {
                         const QString &line = notice.text;
                         static const QString shown = QStringLiteral(" frames from the module not shown");
                         const int at = line.indexOf(shown);
                         if (line.startsWith(QLatin1String("Network data out of step")))
                             ++run.outOfStepLines;
                         if (at > 0) {
                             ++run.notShownLines;
                             run.notShownFrames += line.leftRef(at).toLongLong();
                         }
                     });

    // The window's thread: a 10 ms timer, and how late each of its turns comes.
    double stall[4] = {0, 0, 0, 0};
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer beat;
    QObject::connect(&heartbeat, &QTimer::timeout, window, [&]() {
        const double late = beat.nsecsElapsed() / 1e6 - kFloodTickMs;
        beat.restart();
        stall[phase] = qMax(stall[phase], late);
    });
    heartbeat.start(kFloodTickMs);
    beat.start();

    wait(3000);
    const qint64 idleStart = clock.elapsed();
    double cpu = cpuSeconds();
    wait(2000);
    run.idleCpuPercent = 100.0 * (cpuSeconds() - cpu) / ((clock.elapsed() - idleStart) / 1000.0);
    run.gapIdleMs = longestGap(replies, idleStart, clock.elapsed());
    run.idleKb = residentKb();
    // The peak from here on.
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
    refs.close();

    peer.write("go\n");
    phase = 1;
    const qint64 floodStart = clock.elapsed();
    const double floodCpuStart = cpuSeconds();
    qint64 burstStart = -1;
    qint64 writtenAt = -1;
    // CPU time sampled each 100 ms: (time, seconds of CPU).
    QVector<QPair<qint64, double>> samples;
    const qint64 limit = (seconds + 120) * 1000LL;
    while (clock.elapsed() - floodStart < limit) {
        wait(100);
        samples.append({clock.elapsed(), cpuSeconds()});
        run.peakKb = qMax(run.peakKb, residentKb());
        if (burstStart < 0 && heard("burst")) {
            burstStart = clock.elapsed();
            run.floodCpuPercent = 100.0 * (cpuSeconds() - floodCpuStart) / ((burstStart - floodStart) / 1000.0);
            phase = 2;
        }
        if (burstStart >= 0 && writtenAt < 0 && heard("written")) {
            writtenAt = clock.elapsed();
            phase = 3;
        }
        if (writtenAt >= 0 && clock.elapsed() - writtenAt > 5000)
            break;
    }
    heartbeat.stop();
    const qint64 end = clock.elapsed();
    run.peakKb = qMax(run.peakKb, statusKb("VmHWM:"));
    run.endKb = residentKb();
    run.stallIdleMs = stall[0];
    run.stallFloodMs = stall[1];
    run.stallBurstMs = stall[2];
    run.stallAfterMs = stall[3];
    if (burstStart < 0 || writtenAt < 0) {
        run.failure = QStringLiteral("the flood did not end in time");
    } else {
        run.ok = true;
        run.gapFloodMs = longestGap(replies, floodStart, burstStart);
        run.gapBurstMs = longestGap(replies, burstStart, end);
        run.burstMs = writtenAt - burstStart;
        // Back to idle: the start of the first second after the burst that stays at the
        // idle rate (plus 5 % of a core) in each of its 100 ms samples.
        for (int second = 0; second < 5; ++second) {
            const qint64 from = writtenAt + second * 1000LL;
            int first = -1;
            int last = -1;
            for (int i = 0; i < samples.size(); ++i) {
                if (first < 0 && samples.at(i).first >= from)
                    first = i;
                if (samples.at(i).first <= from + 1000)
                    last = i;
            }
            if (first >= 0 && last > first)
                run.cpuAfter << QString::number(100.0 * (samples.at(last).second - samples.at(first).second)
                                                    / ((samples.at(last).first - samples.at(first).first) / 1000.0),
                                                'f', 0);
        }
        // Back to idle: from the burst's last byte to the first second (in 100 ms steps)
        // whose CPU use is within the idle rate plus 5 % of a core.
        const double idleRate = run.idleCpuPercent / 100.0 + 0.05;
        for (int i = 0; i + 10 < samples.size(); ++i) {
            if (samples.at(i).first < writtenAt)
                continue;
            const double rate = (samples.at(i + 10).second - samples.at(i).second)
                / ((samples.at(i + 10).first - samples.at(i).first) / 1000.0);
            if (rate <= idleRate) {
                run.backToIdleMs = samples.at(i).first - writtenAt;
                break;
            }
        }
    }
    window->outputLog()->flush();
    run.viewLines = window->outputLog()->model()->rowCount();
    for (const auto &line : window->outputLog()->history()) {
        if (line.text.contains(QLatin1String("log lines dropped")))
            ++run.droppedLinesKept;
    }
    delete window;
    peer.terminate();
    peer.waitForFinished(3000);
    return run;
}

QString figure(double value, int decimals = 0)
{
    return value < 0 ? QStringLiteral("n/a") : QString::number(value, 'f', decimals);
}

} // namespace

int runFloodPeer(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 6)
        return 2;
    FloodPeer peer(qstrcmp(argv[2], "serial") == 0, qstrcmp(argv[3], "identifications") == 0,
                   QByteArray(argv[4]).toInt(), QByteArray(argv[5]).toLongLong());
    if (!peer.start())
        return 1;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &peer, [&]() {
        char buffer[64];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit();
            return;
        }
        if (QByteArray(buffer, int(n)).contains("go"))
            peer.go();
    });
    return app.exec();
}

QString floodFigures(int seconds, qint64 burstBytes, const QString &only)
{
    const FloodCase cases[] = {
        {"Modbus TCP, 127.0.0.1: exception frames `00 00 00 00 00 03 01 83 02`", false, false},
        {"Modbus RTU, pseudo-terminal: exception frames `01 83 02 C0 F1`", true, false},
        {"Modbus RTU, pseudo-terminal: identification replies `49 44 3A ...` (15 bytes)", true, true},
    };
    QString out = QStringLiteral(
        "## Flood\n\n"
        "A module answering every request of \"%1\" (output polling every 500 ms) that also "
        "sends valid small frames at 200 kB/s for %2 s, then one burst of %3 MB of them. "
        "Goals: memory grows by less than 20 MB over idle; longest stall under 100 ms; "
        "polling gaps under 700 ms during the flood; CPU back to idle within 1 s after the flood.\n\n")
                      .arg(QLatin1String(kFloodModel)).arg(seconds).arg(burstBytes / 1e6, 0, 'f', 1);
    out += QStringLiteral(
        "| link and flood | resident memory idle / peak / end, kB | growth, kB | longest stall idle / flood / burst / after, ms "
        "| longest polling gap idle / flood / burst, ms | Check Status during the flood: replies / exceptions / time-outs "
        "| CPU idle / flood, % of a core | burst out, ms | CPU back to idle after, ms | CPU in each second after, % | \"not shown\" lines (frames) | \"out of step\" lines "
        "| \"log lines dropped\" lines kept | rows in the view |\n"
        "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const FloodCase &flood : cases) {
        if (!QString::fromLatin1(flood.name).contains(only))
            continue;
        const FloodRun run = floodRun(flood, seconds, burstBytes);
        if (!run.ok) {
            out += QStringLiteral("| %1 | failed: %2 |||||||||||||\n").arg(QLatin1String(flood.name), run.failure);
            continue;
        }
        out += QStringLiteral("| %1 | %2 / %3 / %4 | %5 | %6 / %7 / %8 / %9 | %10 / %11 / %12 | %13 / %14 / %15 "
                              "| %16 / %17 | %18 | %19 | %20 | %21 (%22) | %23 | %24 | %25 |\n")
                   .arg(QLatin1String(flood.name))
                   .arg(run.idleKb).arg(run.peakKb).arg(run.endKb).arg(run.peakKb - run.idleKb)
                   .arg(figure(run.stallIdleMs, 1), figure(run.stallFloodMs, 1), figure(run.stallBurstMs, 1),
                        figure(run.stallAfterMs, 1))
                   .arg(figure(run.gapIdleMs), figure(run.gapFloodMs), figure(run.gapBurstMs))
                   .arg(run.repliesFlood).arg(run.exceptionsFlood).arg(run.timeoutsFlood)
                   .arg(figure(run.idleCpuPercent, 1), figure(run.floodCpuPercent, 1))
                   .arg(figure(run.burstMs), figure(run.backToIdleMs), run.cpuAfter.join(QLatin1Char(' ')))
                   .arg(run.notShownLines).arg(run.notShownFrames).arg(run.outOfStepLines)
                   .arg(run.droppedLinesKept).arg(run.viewLines);
    }
    return out;
}
