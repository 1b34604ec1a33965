// The simulated module: its register map as a request -> reply table against ModuleCore, the
// faults it injects on the way, and the merovisim program served to a standard Modbus master.

#include "simulator/modulesimulator.h"
#include "protocol/modelcatalogue.h"

#include <QProcess>
#include <QSerialPort>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

static QByteArray hex(const QString &text) { return QByteArray::fromHex(text.toLatin1()); }
static QByteArray mbap(quint16 id, const QByteArray &adu) { return QByteArray(1, char(id >> 8)) + char(id) + QByteArray(3, 0) + char(adu.size()) + adu; }

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void everyCatalogueModel();
    void faults_data();
    void faults();
    void mbpoll_data();
    void mbpoll();

private:
    QTemporaryDir m_dir;
};

// Setup items, separated by ";": model:<menu text>, coil:<i>, inputs:<hex>, address:<n>,
// time:<ms>, pin:<c>:<thousandths>, reg:<hex address>:<hex value>, stuck-output:<i>,
// stuck-input:<i>, offset:<c>:<counts>; or tcp alone for Modbus TCP frames. Requests and replies are separated by "|";
// RTU frames get their CRC unless written "=..."; "-" is no reply; the request "watchdog"
// lets the watchdog run out. Default model: 32 outputs, 16 inputs.
void TestSimulator::requests_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("requests");
    QTest::addColumn<QString>("replies");
    const auto row = [](const char *name, const char *setup, const char *requests, const char *replies) {
        QTest::newRow(name) << QString::fromUtf8(setup) << QString::fromLatin1(requests) << QString::fromLatin1(replies);
    };
    // Nothing changes on an exception: output 4 stays the only one on.
    const auto refused = [&row](const char *name, const char *requests, const char *replies) {
        row(name, "coil:3", qPrintable(QLatin1String(requests) + "|01 03 0000 0002"), qPrintable(QLatin1String(replies) + "|01 03 04 0008 0000"));
    };

    row("coils follow the output registers", "", "01 05 0002 ff00|01 05 0011 ff00|01 03 0000 0002|01 05 0002 0000|01 03 0000 0002",
        "01 05 0002 ff00|01 05 0011 ff00|01 03 04 0004 0002|01 05 0002 0000|01 03 04 0000 0002");
    row("All Open: bits beyond the model stay off; a single choice", "model:Switch 20-channel outputs",
        "01 10 0000 0002 04 ffff ffff|01 01 0000 0014|01 03 0000 0002|01 10 0000 0002 04 0000 0002|01 03 0000 0002",
        "01 10 0000 0002|01 01 03 ffff0f|01 03 04 ffff 000f|01 10 0000 0002|01 03 04 0000 0002");
    row("functions 01 and 02", "model:Switch 16-channel outputs 16-channel inputs;coil:0;coil:9;inputs:8001",
        "01 01 0000 0010|01 01 0009 0001|01 02 0000 0010|01 01 0000 0011|01 02 000f 0002", "01 01 02 01 02|01 01 01 01|01 02 02 01 80|01 81 02|01 82 02");
    row("write multiple coils", "model:Switch 16-channel outputs", "01 0f 0002 000a 02 ff 01|01 03 0000 0001|01 0f 0002 000a 01 ff|01 0f 000f 0002 01 03",
        "01 0f 0002 000a|01 03 02 07fc|01 8f 03|01 8f 02");
    row("64 fixed inputs", "model:Switch 64-channel inputs;inputs:0123456789abcdef", "01 03 0004 0004|01 03 0006 0001", "01 03 08 cdef 89ab 4567 0123|01 03 02 4567");
    row("only the model's inputs, read only", "model:Switch  4-channel inputs;inputs:ffff", "01 03 0004 0001|01 06 0004 0001|01 10 0004 0001 02 0001", "01 03 02 000f|01 86 02|01 90 02");
    row("walking input at 2.5 s", "model:Switch  8-channel inputs;time:2500", "01 03 0004 0001", "01 03 02 0004");
    row("analog outputs", "model:Analog voltage  2-channel outputs",
        "01 03 7530 0001|01 06 7595 0014|01 06 7531 0003|01 06 000a 0005|01 03 7530 0002|01 03 0009 0002|01 03 7594 0002|01 06 7531 0005|01 03 0009 0003|01 03 7594 0003|01 03 0000 0001|01 05 0000 ff00",
        "01 03 02 0004|01 06 7595 0014|01 06 7531 0003|01 06 000a 0005|01 03 04 0004 0003|01 03 04 0000 0005|01 03 04 0fff 0014|01 86 03|01 83 02|01 83 02|01 83 02|01 85 02");
    // Channel 0 set by the module, 3 pinned, 1 and 2 swing in their mode's range.
    row("analog inputs", "model:Analog current  4-channel inputs;reg:20:3039;pin:3:65535", "01 03 0020 0004|01 06 7531 0002|01 03 0021 0001|01 06 0020 0001|01 03 0020 0005",
        "01 03 08 3039 4302 4dac ffff|01 06 7531 0002|01 03 02 10c0|01 86 02|01 83 02");
    row("registers set behind the tool's back", "model:Switch 32-channel outputs 32-channel inputs;reg:1:8001;reg:5:00f0", "01 03 0000 0002|01 02 0014 0004|01 03 0002 0001",
        "01 03 04 0000 8001|01 02 01 0f|01 83 02");
    refused("functions not served", "01 04 0000 0001|01 2b 0e 01 00", "01 84 01|01 ab 01");
    refused("quantities and values refused", "01 03 0000 0000|01 03 0000 007e|01 03 0000|01 10 0000 0000 00|01 10 0000 007c 00|01 10 0000 0002 02 ffff|01 10 0000 0002 04 ffff|01 05 0000 1234|01 06 fde8 0002",
            "01 83 03|01 83 03|01 83 03|01 90 03|01 90 03|01 90 03|01 90 03|01 85 03|01 86 03");
    refused("addresses refused", "01 03 0000 0003|01 03 0005 0001|01 03 2710 001a|01 03 7594 0001|01 05 0020 ff00|01 06 0004 0000|01 06 1000 0000|01 10 0001 0002 04 ffff ffff",
            "01 83 02|01 83 02|01 83 02|01 83 02|01 85 02|01 86 02|01 86 02|01 90 02");
    // Group 0: output 1 ON (OR), 2 OFF (AND clear), 3 unchanged, 4 ON; group 1: 21 unchanged, others OFF.
    row("watchdog fallback", "coil:1;coil:2;coil:20;coil:21", "01 10 7530 0006 0c 0000 0096 0009 fffd 0000 0010|01 03 7530 0006|watchdog|01 03 0000 0002",
        "01 10 7530 0006|01 03 0c 0000 0096 0009 fffd 0000 0010|-|01 03 04 000d 0010");
    // Written values are checked, and in force after the restart, which drops the relays.
    row("network block", "coil:5;address:42",
        "2a 03 2710 0019|2a 06 2722 0003|2a 06 2710 0100|2a 06 2727 00ee|2a 10 fde8 0001 02 0001|2a 03 0000 0001|2a 03 fde8 0001|2a 03 2727 0001|=5363616e446576696365165a",
        "2a 03 32 00c0 00a8 0001 0050 00ff 00ff 00ff 0000 00c0 00a8 0001 0001 1f90 00c0 00a8 0001 0064 0fa0 0001 0000 001a 002b 003c 004d 005e|2a 86 03|2a 86 03|2a 06 2727 00ee|2a 10 fde8 0001|2a 03 02 0000|2a 03 02 0000|2a 03 02 00ee|49443a002a001a2b3cee5e0076");
    row("identification at any address", "model:Switch 64-channel outputs;address:42", "=5363616e446576696365165a", "=49443a002a001a2b3c4d5e00dcb353");
    row("TCP transaction echoed", "tcp", "1234 0000 0006 01 03 2710 0001|ffff 0000 0006 01 04 0000 0001", "1234 0000 0005 01 03 02 00c0|ffff 0000 0003 01 84 01");
    row("TCP units 0 and ff answered, others not", "tcp", "0001 0000 0006 ff 03 0000 0001|0002 0000 0006 00 03 0000 0001|0003 0000 0006 02 03 0000 0001|0004 0001 0006 01 03 0000 0001",
        "0001 0000 0005 ff 03 02 0000|0002 0000 0005 00 03 02 0000|-|-");
    // Broadcasts are executed unanswered; a bad CRC or another address is not answered.
    row("RTU at address 2", "address:2", "02 06 2722 0000|02 04 0000 0001|01 03 0000 0001|=0203000000018438|00 05 0007 ff00|02 01 0007 0001",
        "02 06 2722 0000|02 84 01|-|-|-|02 01 01 01");
    row("stuck output Y3, stuck input IN2", "stuck-output:2;stuck-input:1;inputs:0100",
        "01 05 0002 ff00|01 10 0000 0002 04 ffff ffff|01 01 0000 0004|01 0f 0000 0004 01 00|01 03 0000 0001|01 03 0004 0001|01 02 0000 0003",
        "01 05 0002 ff00|01 10 0000 0002|01 01 01 0b|01 0f 0000 0004|01 03 02 fff0|01 03 02 0102|01 02 01 02");
    row("analog offset on AO1", "model:Analog voltage  2-channel outputs;offset:1:-3", "01 06 000a 0064|01 06 0009 0064|01 03 0009 0002|01 06 000a 0001|01 03 000a 0001",
        "01 06 000a 0064|01 06 0009 0064|01 03 04 0064 0061|01 06 000a 0001|01 03 02 0000");
}

void TestSimulator::requests()
{
    QFETCH(QString, setup);
    QFETCH(QString, requests);
    QFETCH(QString, replies);
    ModuleCore core;
    qint64 now = 0;
    core.setClock([&now] { return now; });
    const bool tcp = setup == QLatin1String("tcp");
    static const QStringList keys = { "model", "coil", "inputs", "address", "time", "pin", "reg", "stuck-output", "stuck-input", "offset" };
    for (const QString &item : setup.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = item.split(QLatin1Char(':'));
        const auto n = [&f](int i, int base = 10) { return f.at(i).toInt(nullptr, base); };
        switch (keys.indexOf(f.at(0))) {
        case 0: QVERIFY(core.setModel(f.at(1))); break;
        case 1: core.setCoil(n(1), true); break;
        case 2: core.setInputPattern(f.at(1).toULongLong(nullptr, 16)); break;
        case 3: core.setAddress(n(1)); break;
        case 4: now = n(1); break;
        case 5: core.setAnalogInputValue(n(1), quint16(n(2))); break;
        case 6: core.setHoldingRegister(quint16(n(1, 16)), quint16(n(2, 16))); break;
        case 7: core.setStuckOutput(n(1)); break;
        case 8: core.setStuckInput(n(1)); break;
        case 9: core.setAnalogOffset(n(1), n(2)); break;
        default: QVERIFY2(tcp, qPrintable(item)); break;
        }
    }
    const QStringList asked = requests.split(QLatin1Char('|')), expected = replies.split(QLatin1Char('|'));
    QCOMPARE(asked.size(), expected.size());
    const auto frame = [tcp](const QString &text) {
        const QByteArray bytes = hex(text.trimmed().remove(QLatin1Char('=')));
        return tcp || text.contains(QLatin1Char('=')) || bytes.isEmpty() ? bytes : ModuleCore::withCrc(bytes);
    };
    for (int i = 0; i < asked.size(); ++i) {
        if (asked.at(i) == QLatin1String("watchdog")) {
            core.watchdogExpired();
            continue;
        }
        const ModuleCore::Result result = core.handle(frame(asked.at(i)), tcp ? ModuleCore::Framing::Tcp : ModuleCore::Framing::Rtu);
        QCOMPARE(result.reply.toHex(' '), frame(expected.at(i)).toHex(' '));
        if (result.restart)
            core.restart();
    }
}

void TestSimulator::everyCatalogueModel()
{
    ModuleCore core;
    const auto reads = [&core](int address, int count) {
        return core.processPdu(QByteArray("\x03", 1) + char(address >> 8) + char(address) + '\0' + char(count), false).size() == 2 + 2 * count;
    };
    QSet<int> codes;
    for (const ModelEntry &row : ModelCatalogue::models()) {
        QVERIFY2(core.setModel(QLatin1String(row.english)), row.english);
        const int outputs = qMax(0, row.outputCount), inputs = qMax(0, row.inputCount);
        const int analogOut = qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount)), analogIn = qMax(0, qMax(row.voltageInputCount, row.currentInputCount));
        QCOMPARE(QVector<int>({ core.outputCount(), core.inputCount(), core.analogOutputCount(), core.analogInputCount(), core.milliamps() }),
                 QVector<int>({ outputs, inputs, analogOut, analogIn, row.currentOutputCount >= 0 || row.currentInputCount >= 0 }));
        // Every block the tool reads answers to the tool's own read counts.
        QVERIFY(outputs == 0 || (reads(0x0000, (outputs + 15) / 16) && reads(0x7530, (outputs - 1) / 16 * 2 + 4)));
        QVERIFY(inputs == 0 || (reads(0x0004, (inputs + 15) / 16) && (outputs > 0 || reads(0x7530, 2))));
        QVERIFY(analogOut == 0 || (reads(0x0009, analogOut) && reads(0x7530, analogOut) && reads(0x7594, analogOut)));
        QVERIFY(analogIn == 0 || reads(0x0020, analogIn));
        // One type code per model (counted below); the tool picks a model by the codes it knows.
        codes.insert(core.typeCode());
        QCOMPARE(ModelCatalogue::indexForTypeCode(core.typeCode()) >= 0, row.typeCode != 0);
        QVERIFY(row.typeCode == 0 || core.typeCode() == row.typeCode);
    }
    QCOMPARE(codes.size(), ModelCatalogue::models().size());
    // Blanks need not match the menu's, the Chinese text works too, an unknown one changes nothing.
    QVERIFY(core.setModel(QStringLiteral("Switch 8-channel outputs 8-channel inputs")) && core.outputCount() == 8);
    QVERIFY(core.setModel(QStringLiteral(" 模拟量电流12路输入 ")) && !core.setModel(QStringLiteral("Switch 17-channel outputs")));
    QCOMPARE(core.analogInputCount(), 12);
}

// One request with the fault, then a clean read of output 1 that shows whether it was executed.
// Counts: requests clean exceptions dropped muted corrupted garbage delayed split disconnects ignored.
void TestSimulator::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("counts");
    QTest::newRow("drop: not executed, no reply") << "drop" << false << "2 1 0 1 0 0 0 0 0 0 0";
    QTest::newRow("corrupt over TCP: protocol id") << "corrupt" << false << "2 1 0 0 0 1 0 0 0 0 0";
    QTest::newRow("corrupt over RTU: CRC") << "corrupt" << true << "2 1 0 0 0 1 0 0 0 0 0";
    QTest::newRow("garbage around the reply") << "garbage" << true << "2 1 0 0 0 0 1 0 0 0 0";
    QTest::newRow("delay: executed at once") << "delay" << false << "2 1 0 0 0 0 0 1 0 0 0";
    QTest::newRow("split") << "split" << false << "2 1 0 0 0 0 0 0 1 0 0";
    QTest::newRow("exception 04, not executed") << "exception" << false << "2 1 1 0 0 0 0 0 0 0 0";
    QTest::newRow("disconnect after the request") << "disconnect" << false << "1 1 0 0 0 0 0 0 0 1 0";
    QTest::newRow("another unit: ignored") << "unit" << true << "1 1 0 0 0 0 0 0 0 0 1";
}

void TestSimulator::faults()
{
    QFETCH(QString, fault);
    QFETCH(bool, serial);
    QFETCH(QString, counts);
    ModuleSimulator module;
    const auto is = [&fault](const char *name) { return fault == QLatin1String(name); };
    const auto inject = [&](bool on) {
        module.setDropPercent(on && is("drop") ? 100 : 0);
        module.setCorruptCrcPercent(on && is("corrupt") ? 100 : 0);
        module.setGarbagePercent(on && is("garbage") ? 100 : 0);
        module.setSplit(on && is("split"));
        module.setDelayMs(on && is("delay") ? 50 : 0);
        module.setExceptionPercent(on && is("exception") ? 100 : 0);
        module.setDisconnectAfter(on && is("disconnect") ? 1 : 0);
    };
    QByteArray rx;
    int pieces = 0;
    QTcpSocket socket;
    QSerialPort port;
    QIODevice *client = serial ? static_cast<QIODevice *>(&port) : &socket;
    if (serial) {
        port.setPortName(module.openPty());
        QVERIFY(port.open(QIODevice::ReadWrite));
    } else {
        QVERIFY(module.listenTcp());
        socket.connectToHost(QHostAddress::LocalHost, module.tcpPort());
        QVERIFY(socket.waitForConnected(3000));
    }
    connect(client, &QIODevice::readyRead, this, [&] { rx += client->readAll(); ++pieces; });
    const auto frame = [serial](quint16 id, const QString &adu) { return serial ? ModuleCore::withCrc(hex(adu)) : mbap(id, hex(adu)); };
    QSignalSpy changed(&module, &ModuleSimulator::faultCountsChanged);
    inject(true);
    client->write(frame(7, is("unit") ? "02 05 0000 ff00" : "01 05 0000 ff00"));
    QVERIFY(changed.wait(3000));
    QVERIFY(!is("delay") || (module.coil(0) && rx.isEmpty()));
    inject(false);
    const QByteArray clean = frame(7, "01 05 0000 ff00");
    QTRY_VERIFY(!is("split") || (rx.size() == clean.size() && pieces > 1));
    if (is("disconnect")) {
        QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    } else {
        const bool executed = !is("drop") && !is("exception") && !is("unit");
        const QByteArray read = frame(8, executed ? "01 03 02 0001" : "01 03 02 0000");
        client->write(frame(8, "01 03 0000 0001"));
        QTRY_VERIFY2(rx.endsWith(read), rx.toHex().constData());
        rx.chop(read.size());
    }
    // Spoilt: the RTU CRC, the TCP protocol identifier; or 1 to 6 stray bytes on one side.
    if (is("corrupt"))
        QVERIFY(rx != clean && rx.size() == clean.size() && (serial ? rx.left(6) == clean.left(6) : rx.left(3) + rx.mid(4) == clean.left(3) + clean.mid(4)));
    else if (is("garbage"))
        QVERIFY2(rx.size() > clean.size() && rx.size() <= clean.size() + 6 && (rx.startsWith(clean) || rx.endsWith(clean)), rx.toHex().constData());
    else
        QCOMPARE(rx, is("drop") || is("unit") ? QByteArray() : is("exception") ? frame(7, "01 85 04") : clean);
    QCOMPARE(module.faultCounts().line().remove(QRegularExpression(QStringLiteral("[a-z:=]"))).simplified(), counts);
}

void TestSimulator::mbpoll_data()
{
    QTest::addColumn<QString>("serve");
    QTest::newRow("Modbus TCP on 127.0.0.1") << QStringLiteral("--tcp 0");
    QTest::newRow("Modbus RTU on a pty behind a link") << QStringLiteral("--link ") + m_dir.filePath(QStringLiteral("tty"));
}

// mbpoll (Debian package mbpoll), an independent Modbus master, against the merovisim program.
void TestSimulator::mbpoll()
{
    QFETCH(QString, serve);
    if (QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty())
        QSKIP("mbpoll is not installed (scripts/test installs it): not checked");
    QProcess sim;
    sim.start(QStringLiteral(MEROVISIM_PATH), (serve + QStringLiteral(" --quiet --inputs-pattern 1 --stuck-input 2")).split(QLatin1Char(' ')));
    QString log;
    while (!log.contains(QLatin1String("merovisim: ready")) && sim.waitForReadyRead(5000))
        log += QString::fromLocal8Bit(sim.readAllStandardOutput());
    const QString port = QRegularExpression(QStringLiteral("tcp 127\\.0\\.0\\.1:(\\d+)")).match(log).captured(1);
    const QStringList link = port.isEmpty() ? QStringList { "-m", "rtu", "-b", "115200", "-P", "none", m_dir.filePath(QStringLiteral("tty")) }
                                            : QStringList { "-m", "tcp", "-p", port, "127.0.0.1" };
    // An exception; output 18 on, read back as registers; inputs 1 and 2 (stuck) on, 3 off.
    const QVector<QPair<const char *, const char *>> steps = {
        { "-t 4 -r 3", "Illegal data address" },
        { "-t 0 -r 18 1", "Written 1 references" },
        { "-t 4:hex -r 1 -c 2", "[1]: \t0x0000\n[2]: \t0x0002" },
        { "-t 1 -r 1 -c 3", "[1]: \t1\n[2]: \t1\n[3]: \t0" },
    };
    for (const auto &step : steps) {
        QProcess poll;
        poll.setProcessChannelMode(QProcess::MergedChannels);
        poll.start(QStringLiteral("mbpoll"), link + QString::fromLatin1("-1 -a 1 %1").arg(QLatin1String(step.first)).split(QLatin1Char(' ')));
        QVERIFY(poll.waitForFinished(15000));
        const QString output = QString::fromLocal8Bit(poll.readAll());
        QVERIFY2(output.contains(QLatin1String(step.second), Qt::CaseInsensitive), qPrintable(step.first + QLatin1Char('\n') + output));
    }
    // The counts after the exception, and once more on the way out; the link is removed.
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    log += QString::fromLocal8Bit(sim.readAllStandardOutput());
    QVERIFY2(log.contains(QLatin1String("faults: requests=1 clean=0 exceptions=1 ")), qPrintable(log));
    QVERIFY2(log.endsWith(QLatin1String("faults: requests=4 clean=3 exceptions=1 dropped=0 muted=0 corrupted=0 garbage=0 delayed=0 split=0 disconnects=0 ignored=0\n")), qPrintable(log));
    QVERIFY(!QFileInfo(m_dir.filePath(QStringLiteral("tty"))).isSymLink());
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
