// The merovisim program against an independent Modbus master, mbpoll (Debian package
// mbpoll), over Modbus TCP on 127.0.0.1 and over the pseudo-terminal as Modbus RTU.

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString kModel = QStringLiteral("Switch 32-channel outputs 16-channel inputs");

struct Poll {
    int exitCode = -1;
    QString output;
    QMap<int, QString> values; // reference -> printed value
};

} // namespace

class TestSimulatorInterop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void helpAndErrors();
    void listModels();
    void mbpoll_data();
    void mbpoll();
    void analogModelOverTcp();

private:
    bool startSimulator(const QStringList &arguments);
    bool logShows(const QString &text);
    Poll poll(const QStringList &arguments);
    QStringList transport(const QString &kind) const;

    QString m_mbpoll;
    QString m_simulatorPath;
    QTemporaryDir m_dir;
    QProcess *m_simulator = nullptr;
    QString m_simulatorOutput;
    quint16 m_port = 0;
    QString m_link;
};

void TestSimulatorInterop::initTestCase()
{
    m_simulatorPath = QStringLiteral(MEROVISIM_PATH);
    QVERIFY2(QFileInfo::exists(m_simulatorPath), qPrintable(m_simulatorPath + " is not built"));
    m_mbpoll = QStandardPaths::findExecutable(QStringLiteral("mbpoll"));
    QVERIFY(m_dir.isValid());
}

void TestSimulatorInterop::init()
{
    m_simulatorOutput.clear();
    m_port = 0;
    m_link.clear();
}

void TestSimulatorInterop::cleanup()
{
    if (m_simulator) {
        m_simulator->terminate();
        if (!m_simulator->waitForFinished(3000))
            m_simulator->kill();
        m_simulator->waitForFinished(3000);
        delete m_simulator;
        m_simulator = nullptr;
        // merovisim removes its --link on the way out.
        if (!m_link.isEmpty())
            QVERIFY(!QFileInfo(m_link).isSymLink());
    }
}

bool TestSimulatorInterop::startSimulator(const QStringList &arguments)
{
    m_simulator = new QProcess;
    m_simulator->setProcessChannelMode(QProcess::MergedChannels);
    m_simulator->start(m_simulatorPath, arguments);
    if (!m_simulator->waitForStarted(5000))
        return false;
    QElapsedTimer clock;
    clock.start();
    while (!m_simulatorOutput.contains(QLatin1String("merovisim: ready")) && clock.elapsed() < 5000) {
        m_simulator->waitForReadyRead(100);
        m_simulatorOutput += QString::fromLocal8Bit(m_simulator->readAll());
    }
    const QRegularExpressionMatch tcp =
        QRegularExpression(QStringLiteral("merovisim: tcp 127\\.0\\.0\\.1:(\\d+)")).match(m_simulatorOutput);
    if (tcp.hasMatch())
        m_port = quint16(tcp.captured(1).toUInt());
    return m_simulatorOutput.contains(QLatin1String("merovisim: ready"));
}

bool TestSimulatorInterop::logShows(const QString &text)
{
    QElapsedTimer clock;
    clock.start();
    while (!m_simulatorOutput.contains(text) && clock.elapsed() < 3000) {
        m_simulator->waitForReadyRead(50);
        m_simulatorOutput += QString::fromLocal8Bit(m_simulator->readAll());
    }
    return m_simulatorOutput.contains(text);
}

QStringList TestSimulatorInterop::transport(const QString &kind) const
{
    if (kind == QLatin1String("tcp"))
        return { QStringLiteral("-m"), QStringLiteral("tcp"), QStringLiteral("-p"), QString::number(m_port) };
    return { QStringLiteral("-m"), QStringLiteral("rtu"), QStringLiteral("-b"), QStringLiteral("115200"),
             QStringLiteral("-P"), QStringLiteral("none") };
}

Poll TestSimulatorInterop::poll(const QStringList &arguments)
{
    Poll result;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_mbpoll, arguments);
    if (!process.waitForFinished(15000)) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAll());
    const QRegularExpression line(QStringLiteral("^\\[(\\d+)\\]:\\s+(\\S+)\\s*$"),
                                  QRegularExpression::MultilineOption);
    QRegularExpressionMatchIterator it = line.globalMatch(result.output);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        result.values.insert(match.captured(1).toInt(), match.captured(2));
    }
    // The simulator's log, for the failure messages.
    if (m_simulator)
        m_simulatorOutput += QString::fromLocal8Bit(m_simulator->readAll());
    return result;
}

void TestSimulatorInterop::helpAndErrors()
{
    QProcess help;
    help.start(m_simulatorPath, { QStringLiteral("--help") });
    QVERIFY(help.waitForFinished(5000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
    for (const char *option : { "--tcp", "--serial", "--link", "--model", "--outputs", "--unit", "--address",
                                "--type-code", "--inputs-pattern", "--analog-in-values", "--announce", "--baud",
                                "--drop", "--delay-ms", "--garbage", "--split", "--corrupt-crc",
                                "--disconnect-after", "--seed", "--quiet" })
        QVERIFY2(text.contains(QLatin1String(option)), option);

    QProcess unknown;
    unknown.start(m_simulatorPath, { QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--model"),
                                     QStringLiteral("Switch 17-channel outputs") });
    QVERIFY(unknown.waitForFinished(5000));
    QCOMPARE(unknown.exitCode(), 2);
    QVERIFY(QString::fromLocal8Bit(unknown.readAllStandardError()).contains(QLatin1String("unknown model")));

    QProcess nothing;
    nothing.start(m_simulatorPath, { QStringLiteral("--quiet") });
    QVERIFY(nothing.waitForFinished(5000));
    QCOMPARE(nothing.exitCode(), 2);
}

void TestSimulatorInterop::listModels()
{
    QProcess list;
    list.start(m_simulatorPath, { QStringLiteral("--list-models") });
    QVERIFY(list.waitForFinished(5000));
    QCOMPARE(list.exitCode(), 0);
    const QStringList lines = QString::fromLocal8Bit(list.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 36);
    QVERIFY(lines.contains(QStringLiteral("220  \"Switch 64-channel outputs\"")));
    QVERIFY(lines.contains(QStringLiteral("230  \"Switch 64-channel inputs\"")));
}

void TestSimulatorInterop::mbpoll_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("Modbus TCP on 127.0.0.1") << QStringLiteral("tcp");
    QTest::newRow("Modbus RTU on the pty") << QStringLiteral("rtu");
}

void TestSimulatorInterop::mbpoll()
{
    QFETCH(QString, kind);
    if (m_mbpoll.isEmpty())
        QSKIP("mbpoll is not installed (Debian package mbpoll; .ci/run installs it): interop not checked");
    m_link = m_dir.filePath(QStringLiteral("tty-%1").arg(kind));
    QStringList arguments = { QStringLiteral("--model"), kModel, QStringLiteral("--inputs-pattern"), QStringLiteral("a5c3") };
    if (kind == QLatin1String("tcp"))
        arguments << QStringLiteral("--tcp") << QStringLiteral("0");
    else
        arguments << QStringLiteral("--link") << m_link;
    QVERIFY2(startSimulator(arguments), qPrintable(m_simulatorOutput));
    const QString target = kind == QLatin1String("tcp") ? QStringLiteral("127.0.0.1") : m_link;
    const QStringList base = transport(kind) + QStringList { QStringLiteral("-a"), QStringLiteral("1"), QStringLiteral("-1") };

    // The output registers, as the tool's "Check Status" reads them.
    Poll outputs = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4:hex"), QStringLiteral("-r"), QStringLiteral("1"),
                                            QStringLiteral("-c"), QStringLiteral("2"), target });
    QVERIFY2(outputs.exitCode == 0, qPrintable(outputs.output + m_simulatorOutput));
    QCOMPARE(outputs.values.value(1), QStringLiteral("0x0000"));
    QCOMPARE(outputs.values.value(2), QStringLiteral("0x0000"));

    // Write coil 18 (reference 18 = output index 17) on, then coil 4.
    for (const char *reference : { "18", "4" }) {
        const Poll write = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("0"), QStringLiteral("-r"),
                                                     QLatin1String(reference), target, QStringLiteral("1") });
        QVERIFY2(write.exitCode == 0 && write.output.contains(QLatin1String("Written 1 references")),
                 qPrintable(write.output + m_simulatorOutput));
    }
    outputs = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4:hex"), QStringLiteral("-r"), QStringLiteral("1"),
                                       QStringLiteral("-c"), QStringLiteral("2"), target });
    QCOMPARE(outputs.values.value(1), QStringLiteral("0x0008"));
    QCOMPARE(outputs.values.value(2), QStringLiteral("0x0002"));
    // The same outputs as coils (function 01).
    const Poll coils = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("0"), QStringLiteral("-r"), QStringLiteral("1"),
                                                QStringLiteral("-c"), QStringLiteral("20"), target });
    QVERIFY2(coils.exitCode == 0, qPrintable(coils.output));
    for (int reference = 1; reference <= 20; ++reference)
        QCOMPARE(coils.values.value(reference), (reference == 4 || reference == 18) ? QStringLiteral("1") : QStringLiteral("0"));

    // "All Close" as the tool writes it (function 16 on the output registers).
    const Poll allClose = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"), QStringLiteral("1"),
                                                   target, QStringLiteral("0"), QStringLiteral("0") });
    QVERIFY2(allClose.exitCode == 0, qPrintable(allClose.output));
    outputs = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4:hex"), QStringLiteral("-r"), QStringLiteral("1"),
                                       QStringLiteral("-c"), QStringLiteral("2"), target });
    QCOMPARE(outputs.values.value(1), QStringLiteral("0x0000"));
    QCOMPARE(outputs.values.value(2), QStringLiteral("0x0000"));

    // The fixed inputs: register 0x0004 and the discrete inputs agree.
    const Poll inputs = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4:hex"), QStringLiteral("-r"), QStringLiteral("5"), target });
    QCOMPARE(inputs.values.value(5), QStringLiteral("0xA5C3"));
    const Poll bits = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("1"), QStringLiteral("-r"), QStringLiteral("1"),
                                               QStringLiteral("-c"), QStringLiteral("4"), target });
    QCOMPARE(bits.values.value(1), QStringLiteral("1"));
    QCOMPARE(bits.values.value(2), QStringLiteral("1"));
    QCOMPARE(bits.values.value(3), QStringLiteral("0"));
    QCOMPARE(bits.values.value(4), QStringLiteral("0"));

    // The network block (25 registers at 0x2710 = reference 10001).
    const Poll network = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"), QStringLiteral("10001"),
                                                  QStringLiteral("-c"), QStringLiteral("25"), target });
    QVERIFY2(network.exitCode == 0, qPrintable(network.output));
    const QList<int> expected = { 192, 168, 1, 80, 255, 255, 255, 0, 192, 168, 1, 1, 8080,
                                  192, 168, 1, 100, 4000, 1, 0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e };
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(network.values.value(10001 + i), QString::number(expected.at(i)));

    // An exception as a real slave gives it: register 0x0002 does not exist on this model.
    const Poll missing = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"), QStringLiteral("3"), target });
    QVERIFY2(missing.output.contains(QLatin1String("Illegal data address")), qPrintable(missing.output));

    // The request log names each request.
    QVERIFY2(logShows(QStringLiteral("fc 05 addr 0x0011 qty 1 value 0xff00 ->")), qPrintable(m_simulatorOutput));
    QVERIFY2(logShows(QStringLiteral("fc 03 addr 0x2710 qty 25 ->")), qPrintable(m_simulatorOutput));
    QVERIFY2(logShows(QStringLiteral("exception 02 (illegal data address)")), qPrintable(m_simulatorOutput));
}

void TestSimulatorInterop::analogModelOverTcp()
{
    if (m_mbpoll.isEmpty())
        QSKIP("mbpoll is not installed (Debian package mbpoll; .ci/run installs it): interop not checked");
    QVERIFY2(startSimulator({ QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--quiet"),
                              QStringLiteral("--model"), QStringLiteral("Analog current  4-channel inputs"),
                              QStringLiteral("--analog-in-values"), QStringLiteral("4000,,20000"),
                              QStringLiteral("--address"), QStringLiteral("7") }),
             qPrintable(m_simulatorOutput));
    const QStringList base = transport(QStringLiteral("tcp")) + QStringList { QStringLiteral("-a"), QStringLiteral("7"), QStringLiteral("-1") };
    const Poll inputs = poll(base + QStringList { QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"), QStringLiteral("33"),
                                                 QStringLiteral("-c"), QStringLiteral("4"), QStringLiteral("127.0.0.1") });
    QVERIFY2(inputs.exitCode == 0, qPrintable(inputs.output));
    QCOMPARE(inputs.values.value(33), QStringLiteral("4000"));
    QCOMPARE(inputs.values.value(35), QStringLiteral("20000"));
    const int varying = inputs.values.value(34).toInt();
    QVERIFY2(varying >= 4000 && varying <= 20000, qPrintable(inputs.output));
    // Another unit address gets no answer at all.
    const Poll other = poll(transport(QStringLiteral("tcp")) + QStringList { QStringLiteral("-a"), QStringLiteral("8"), QStringLiteral("-1"),
                                                                              QStringLiteral("-o"), QStringLiteral("0.3"),
                                                                              QStringLiteral("-t"), QStringLiteral("4"), QStringLiteral("-r"),
                                                                              QStringLiteral("33"), QStringLiteral("127.0.0.1") });
    QVERIFY2(other.values.isEmpty(), qPrintable(other.output));
    QVERIFY2(other.output.contains(QLatin1String("timed out"), Qt::CaseInsensitive), qPrintable(other.output));
}

QTEST_GUILESS_MAIN(TestSimulatorInterop)
#include "tst_simulator_interop.moc"
