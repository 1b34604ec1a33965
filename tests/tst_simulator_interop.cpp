// The merovisim program: its options, its "faults:" lines, its pty at a set baud rate, and
// an independent Modbus master, mbpoll (Debian package mbpoll), over TCP and RTU.

#include "simulator/modulecore.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

class TestSimulatorInterop : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void helpAndErrors();
    void moduleFaultsAndFaultLines();
    void baudAndIdentification_data();
    void baudAndIdentification();
    void mbpoll_data();
    void mbpoll();

private:
    bool start(const QStringList &arguments);
    bool logShows(const QString &text);
    QByteArray tcp(const QByteArray &request, int replyBytes);
    QString poll(const QString &arguments);

    QProcess *m_sim = nullptr;
    QString m_log;
    QString m_pty;
    QString m_target;
    QStringList m_transport;
    QTemporaryDir m_dir;
};

void TestSimulatorInterop::cleanup()
{
    if (m_sim)
        m_sim->terminate();
    if (m_sim && !m_sim->waitForFinished(3000))
        m_sim->kill();
    delete m_sim;
    m_sim = nullptr;
    m_log.clear();
    QVERIFY(!QFileInfo(m_dir.filePath(QStringLiteral("tty"))).isSymLink()); // removed on the way out
}

bool TestSimulatorInterop::start(const QStringList &arguments)
{
    m_sim = new QProcess;
    m_sim->start(QStringLiteral(MEROVISIM_PATH), arguments);
    const bool ready = logShows(QStringLiteral("merovisim: ready"));
    const QRegularExpressionMatch tcp = QRegularExpression(QStringLiteral("tcp 127\\.0\\.0\\.1:(\\d+)")).match(m_log);
    m_transport = tcp.hasMatch() ? QStringList { QStringLiteral("-m"), QStringLiteral("tcp"), QStringLiteral("-p"), tcp.captured(1) }
                                 : QStringList { QStringLiteral("-m"), QStringLiteral("rtu"), QStringLiteral("-b"), QStringLiteral("115200"), QStringLiteral("-P"), QStringLiteral("none") };
    m_pty = QRegularExpression(QStringLiteral("merovisim: serial (\\S+)")).match(m_log).captured(1);
    m_target = tcp.hasMatch() ? QStringLiteral("127.0.0.1") : QRegularExpression(QStringLiteral("link (\\S+) ->")).match(m_log).captured(1);
    return ready;
}

bool TestSimulatorInterop::logShows(const QString &text)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_log.contains(text) && clock.elapsed() < 5000 && m_sim->state() != QProcess::NotRunning) {
        m_sim->waitForReadyRead(50);
        m_log += QString::fromLocal8Bit(m_sim->readAllStandardOutput());
    }
    m_log += QString::fromLocal8Bit(m_sim->readAllStandardOutput());
    return m_log.contains(text);
}

QByteArray TestSimulatorInterop::tcp(const QByteArray &request, int replyBytes)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, quint16(m_transport.at(3).toUInt()));
    socket.waitForConnected(3000);
    socket.write(QByteArray::fromHex("0000 0000 00") + char(request.size()) + request);
    QByteArray reply;
    while (reply.size() < replyBytes + 6 && socket.waitForReadyRead(replyBytes > 0 ? 5000 : 300))
        reply += socket.readAll();
    return reply.mid(6);
}

QString TestSimulatorInterop::poll(const QString &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("mbpoll"), m_transport + QStringList { QStringLiteral("-1"), m_target }
                      + arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    if (!process.waitForFinished(15000))
        process.kill();
    return QString::fromLocal8Bit(process.readAll());
}

void TestSimulatorInterop::helpAndErrors()
{
    QProcess help;
    help.start(QStringLiteral(MEROVISIM_PATH), { QStringLiteral("--help") });
    QVERIFY(help.waitForFinished(5000));
    const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
    for (const char *option : { "--tcp", "--serial", "--pty", "--link", "--model", "--outputs", "--unit", "--address", "--type-code",
                                "--inputs-pattern", "--analog-in-values", "--announce", "--no-identify", "--baud", "--stuck-output",
                                "--stuck-input", "--analog-offset", "--drop", "--delay-ms", "--garbage", "--split", "--corrupt-crc",
                                "--exception", "--disconnect-after", "--restart-delay-ms", "--seed", "--quiet" })
        QVERIFY2(text.contains(QLatin1String(option)), option);
    QProcess list;
    list.start(QStringLiteral(MEROVISIM_PATH), { QStringLiteral("--list-models") });
    QVERIFY(list.waitForFinished(5000));
    const QString models = QString::fromLocal8Bit(list.readAllStandardOutput());
    QCOMPARE(models.count(QLatin1Char('\n')), 36);
    QVERIFY(models.contains(QLatin1String("220  \"Switch 64-channel outputs\"\n")));
    QVERIFY(models.contains(QLatin1String("230  \"Switch 64-channel inputs\"\n")));
    for (const QString &bad : { QStringLiteral("--tcp 0 --model Nonsense"), QStringLiteral("--quiet"),
                                QStringLiteral("--tcp 0 --stuck-output 0"), QStringLiteral("--tcp 0 --analog-offset 1") }) {
        QProcess failing;
        failing.start(QStringLiteral(MEROVISIM_PATH), bad.split(QLatin1Char(' ')));
        QVERIFY(failing.waitForFinished(5000));
        QVERIFY2(failing.exitCode() == 2 && !failing.readAllStandardError().isEmpty(), qPrintable(bad));
    }
}

void TestSimulatorInterop::moduleFaultsAndFaultLines()
{
    // Y3 and IN2 as the panels number them; AO1 as the analog panel does (AO0 first).
    QVERIFY(start(QStringLiteral("--tcp 0 --quiet --outputs 8 --inputs 8 --analog-out 2 --analog-in 3 --inputs-pattern 0 --stuck-output 3 "
                                 "--stuck-input 2 --analog-offset 1:5 --analog-in-values 4000,,20000").split(QLatin1Char(' '))));
    QCOMPARE(tcp(QByteArray::fromHex("01 06 0000 00ff"), 6).toHex(), QByteArray("01060000" "00ff"));
    QCOMPARE(tcp(QByteArray::fromHex("01 03 0000 0001"), 5).toHex(), QByteArray("01030200fb"));
    QCOMPARE(tcp(QByteArray::fromHex("01 03 0004 0001"), 5).toHex(), QByteArray("0103020002"));
    QCOMPARE(tcp(QByteArray::fromHex("01 03 0009 0002"), 7).toHex(), QByteArray("010304" "0000" "0005"));
    const QByteArray analog = tcp(QByteArray::fromHex("01 03 0020 0003"), 9).toHex();
    QCOMPARE(analog.left(10) + analog.right(4), QByteArray("0103060fa04e20")); // 4000, varying, 20000
    // The counts after a request that is not answered cleanly, on SIGUSR1 and on exit.
    QCOMPARE(tcp(QByteArray::fromHex("02 03 0000 0001"), 0), QByteArray());
    const QString line = QStringLiteral("faults: requests=5 clean=5 exceptions=0 dropped=0 muted=0 corrupted=0 garbage=0 delayed=0 split=0 disconnects=0 ignored=1\n");
    QVERIFY2(logShows(line), qPrintable(m_log));
    m_log.clear();
    ::kill(pid_t(m_sim->processId()), SIGUSR1);
    QVERIFY2(logShows(line), qPrintable(m_log));
    m_log.clear();
    m_sim->terminate();
    QVERIFY2(m_sim->waitForFinished(3000) && logShows(line), qPrintable(m_log));
}

void TestSimulatorInterop::baudAndIdentification_data()
{
    QTest::addColumn<bool>("identify");
    QTest::newRow("merovisim --pty --baud 9600 --address 17") << true;
    QTest::newRow("the same with --no-identify") << false;
}

void TestSimulatorInterop::baudAndIdentification()
{
    QFETCH(bool, identify);
    QVERIFY(start(QStringLiteral("--pty --baud 9600 --address 17 --type-code 230%1").arg(identify ? "" : " --no-identify").split(QLatin1Char(' '))));
    const int fd = ::open(m_pty.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(fd >= 0);
    // The reply once it is whole, or what came within 300 ms when none is expected.
    const auto ask = [fd](speed_t speed, const QByteArray &request, const QByteArray &expected) {
        termios settings {};
        ::tcgetattr(fd, &settings);
        ::cfmakeraw(&settings);
        ::cfsetspeed(&settings, speed);
        ::tcsetattr(fd, TCSANOW, &settings);
        if (::write(fd, request.constData(), size_t(request.size())) != request.size())
            return QByteArray("write failed");
        QByteArray reply;
        char buffer[64];
        for (int ms = 0; ms < (expected.isEmpty() ? 300 : 5000) && reply.size() < qMax(1, expected.size()); ms += 10) {
            QTest::qWait(10);
            for (ssize_t n = 0; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                reply.append(buffer, int(n));
        }
        return reply == expected ? QByteArray() : reply.toHex() + " instead of " + expected.toHex();
    };
    const QByteArray read = ModuleCore::withCrc(QByteArray::fromHex("11 03 0000 0001"));
    const QByteArray id = ModuleCore::withCrc(QByteArray::fromHex("49443a 0011 001a2b3c4d5e 00e6"));
    QCOMPARE(ask(B115200, ModuleCore::identificationRequest(), QByteArray()), QByteArray()); // another rate: noise
    QCOMPARE(ask(B115200, read, QByteArray()), QByteArray());
    QCOMPARE(ask(B9600, read, ModuleCore::withCrc(QByteArray::fromHex("11 03 02 0000"))), QByteArray());
    QCOMPARE(ask(B9600, ModuleCore::identificationRequest(), identify ? id : QByteArray()), QByteArray());
    ::close(fd);
    QVERIFY2(logShows(identify ? QStringLiteral("ignored=2") : QStringLiteral("ignored=3")), qPrintable(m_log));
}

void TestSimulatorInterop::mbpoll_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("Modbus TCP on 127.0.0.1") << QStringList { QStringLiteral("--tcp"), QStringLiteral("0") };
    QTest::newRow("Modbus RTU on the pty") << QStringList { QStringLiteral("--link"), m_dir.filePath(QStringLiteral("tty")) };
}

void TestSimulatorInterop::mbpoll()
{
    QFETCH(QStringList, arguments);
    if (QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty())
        QSKIP("mbpoll is not installed (Debian package mbpoll; .ci/run installs it): interop not checked");
    QVERIFY(start(arguments + QStringList { QStringLiteral("--inputs-pattern"), QStringLiteral("a5c3") }));
    // Arguments -> what mbpoll prints: coils 18 and 4 on, read as registers and as coils,
    // "All Close" with function 16, the inputs both ways, the network block, an exception.
    const QVector<QPair<QString, QString>> steps = {
        { QStringLiteral("-a 1 -t 0 -r 18 1"), QStringLiteral("Written 1 references") },
        { QStringLiteral("-a 1 -t 0 -r 4 1"), QStringLiteral("Written 1 references") },
        { QStringLiteral("-a 1 -t 4:hex -r 1 -c 2"), QStringLiteral("[1]: \t0x0008\n[2]: \t0x0002") },
        { QStringLiteral("-a 1 -t 0 -r 3 -c 2"), QStringLiteral("[3]: \t0\n[4]: \t1") },
        { QStringLiteral("-a 1 -t 4 -r 1 0 0"), QStringLiteral("Written 2 references") },
        { QStringLiteral("-a 1 -t 4:hex -r 1 -c 2"), QStringLiteral("[1]: \t0x0000\n[2]: \t0x0000") },
        { QStringLiteral("-a 1 -t 4:hex -r 5"), QStringLiteral("[5]: \t0xA5C3") },
        { QStringLiteral("-a 1 -t 1 -r 1 -c 3"), QStringLiteral("[1]: \t1\n[2]: \t1\n[3]: \t0") },
        { QStringLiteral("-a 1 -t 4 -r 10013 -c 7"), QStringLiteral("[10013]: \t8080\n[10014]: \t192\n[10015]: \t168\n[10016]: \t1\n[10017]: \t100\n[10018]: \t4000\n[10019]: \t1") },
        { QStringLiteral("-a 1 -t 4 -r 3"), QStringLiteral("Illegal data address") },
        { QStringLiteral("-a 2 -o 0.3 -t 4 -r 1"), QStringLiteral("timed out") },
    };
    for (const auto &step : steps) {
        const QString output = poll(step.first);
        QVERIFY2(output.contains(step.second, Qt::CaseInsensitive), qPrintable(step.first + "\n" + output));
    }
    QVERIFY2(logShows(QStringLiteral("fc 05 addr 0x0011 qty 1 value 0xff00 ->")), qPrintable(m_log));
    QVERIFY2(logShows(QStringLiteral("exception 02 (illegal data address)")), qPrintable(m_log));
}

QTEST_GUILESS_MAIN(TestSimulatorInterop)
#include "tst_simulator_interop.moc"
