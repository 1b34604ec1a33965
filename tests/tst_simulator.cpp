// The simulated module: its register map as a request -> reply table against ModuleCore,
// then what only the transports show, against ModuleSimulator on 127.0.0.1 and a pty.

#include "simulator/modulesimulator.h"
#include "link/modelcatalogue.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray hex(const QString &text) { return QByteArray::fromHex(text.toLatin1()); }
QByteArray rtu(const char *text) { return ModuleCore::withCrc(hex(QLatin1String(text))); }
QByteArray mbap(quint16 id, const QByteArray &adu) { return QByteArray(1, char(id >> 8)) + char(id) + QByteArray(3, 0) + char(adu.size()) + adu; }

// A Modbus TCP client, or a program on the pty's slave side in raw mode, collecting what it receives.
struct Client {
    QTcpSocket socket;
    int fd = -1;
    QByteArray rx;
    int pieces = 0;

    explicit Client(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] { rx += socket.readAll(); ++pieces; });
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(3000);
    }
    explicit Client(const QString &pty) : fd(::open(pty.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        termios settings {};
        ::tcgetattr(fd, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    ~Client() { fd >= 0 && ::close(fd); }
    void send(const QByteArray &bytes) { fd < 0 ? void(socket.write(bytes)) : void(::write(fd, bytes.constData(), size_t(bytes.size()))); }
    // What arrived once count bytes are in, or after ms.
    QByteArray take(int count, int ms = 2000)
    {
        QElapsedTimer clock;
        clock.start();
        char buffer[256];
        while (rx.size() < count && clock.elapsed() < ms) {
            QTest::qWait(2);
            for (ssize_t n = 0; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0; ++pieces)
                rx.append(buffer, int(n));
        }
        return std::exchange(rx, QByteArray());
    }
    QByteArray transact(const QByteArray &request, int replyBytes) { send(request); return take(replyBytes); }
};

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void everyCatalogueModel();
    void tcpConnections();
    void rtuFraming();
    void announce();
    void faults_data();
    void faults();
    void watchdogTimer();
    void restartOverTcp();
};

// Setup items, separated by ";": model:<menu text>, coil:<i>, inputs:<hex>, address:<n>,
// time:<ms>, pin:<c>:<thousandths>, reg:<hex address>:<hex value>, stuck-output:<i>,
// stuck-input:<i>, offset:<c>:<counts>, noidentify, tcp. Requests and replies are
// separated by "|"; RTU frames get their CRC unless written "=..."; "-" is no reply;
// the request "watchdog" lets the watchdog run out. Default model: 32 outputs, 16 inputs.
void TestSimulator::requests_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("requests");
    QTest::addColumn<QString>("replies");
    const auto row = [](const char *name, const char *setup, const char *requests, const char *replies) {
        QTest::newRow(name) << QString::fromUtf8(setup) << QString::fromLatin1(requests) << QString::fromLatin1(replies);
    };
    // Nothing changes on an exception: output 4 stays the only one on.
    const auto exception = [&row](const char *name, const char *request, const char *reply) {
        row(name, "coil:3", qPrintable(QLatin1String(request) + "|01 03 0000 0002"), qPrintable(QLatin1String(reply) + "|01 03 04 0008 0000"));
    };

    row("coils follow the output registers", "", "01 05 0002 ff00|01 05 0011 ff00|01 03 0000 0002|01 05 0002 0000|01 03 0000 0002",
        "01 05 0002 ff00|01 05 0011 ff00|01 03 04 0004 0002|01 05 0002 0000|01 03 04 0000 0002");
    row("All Open, single choice, All Close", "", "01 10 0000 0002 04 ffff ffff|01 01 0000 0020|01 10 0000 0002 04 0000 0002|01 03 0000 0002|01 10 0000 0002 04 0000 0000|01 03 0000 0002",
        "01 10 0000 0002|01 01 04 ffffffff|01 10 0000 0002|01 03 04 0000 0002|01 10 0000 0002|01 03 04 0000 0000");
    row("output bits beyond the model stay off", "model:Switch 20-channel outputs", "01 10 0000 0002 04 ffff ffff|01 03 0000 0002", "01 10 0000 0002|01 03 04 ffff 000f");
    row("functions 01 and 02", "model:Switch 16-channel outputs 16-channel inputs;coil:0;coil:9;inputs:8001",
        "01 01 0000 0010|01 01 0009 0001|01 02 0000 0010|01 01 0000 0011|01 02 000f 0002", "01 01 02 01 02|01 01 01 01|01 02 02 01 80|01 81 02|01 82 02");
    row("write multiple coils", "model:Switch 16-channel outputs", "01 0f 0002 000a 02 ff 01|01 03 0000 0001|01 0f 0002 000a 01 ff|01 0f 000f 0002 01 03",
        "01 0f 0002 000a|01 03 02 07fc|01 8f 03|01 8f 02");
    row("64 fixed inputs", "model:Switch 64-channel inputs;inputs:0123456789abcdef", "01 03 0004 0004|01 03 0006 0001", "01 03 08 cdef 89ab 4567 0123|01 03 02 4567");
    row("only the model's inputs, read only", "model:Switch  4-channel inputs;inputs:ffff", "01 03 0004 0001|01 06 0004 0001|01 10 0004 0001 02 0001", "01 03 02 000f|01 86 02|01 90 02");
    row("walking input at 0 s", "model:Switch  8-channel inputs", "01 03 0004 0001", "01 03 02 0001");
    row("walking input at 2.5 s", "model:Switch  8-channel inputs;time:2500", "01 03 0004 0001", "01 03 02 0004");
    row("analog outputs, 2 V channels", "model:Analog voltage  2-channel outputs",
        "01 03 7530 0001|01 06 7595 0014|01 06 7531 0003|01 06 000a 0005|01 03 7530 0002|01 03 0009 0002|01 03 7594 0002|01 06 7531 0005|01 03 0009 0003|01 03 7594 0003|01 03 0000 0001|01 05 0000 ff00",
        "01 03 02 0004|01 06 7595 0014|01 06 7531 0003|01 06 000a 0005|01 03 04 0004 0003|01 03 04 0000 0005|01 03 04 0fff 0014|01 86 03|01 83 02|01 83 02|01 83 02|01 85 02");
    row("analog outputs, 8 V channels", "model:Analog voltage  8-channel outputs", "01 06 759b 0014|01 06 7537 0003|01 06 0010 0005|01 03 0010 0001|01 03 0009 0009",
        "01 06 759b 0014|01 06 7537 0003|01 06 0010 0005|01 03 02 0005|01 83 02");
    row("analog outputs, 12 mA channels", "model:Analog current 12-channel outputs", "01 03 7530 0001|01 06 753b 0003|01 06 759f 0014|01 03 753b 0001|01 03 759f 0001|01 03 0009 000d",
        "01 03 02 0000|01 06 753b 0003|01 06 759f 0014|01 03 02 0003|01 03 02 0014|01 83 02");
    row("analog inputs swing in their mode's range", "model:Analog current  4-channel inputs", "01 03 0020 0004|01 06 7531 0002|01 03 0021 0001|01 06 0020 0001|01 03 0020 0005",
        "01 03 08 2ee0 4302 4dac 49da|01 06 7531 0002|01 03 02 10c0|01 86 02|01 83 02");
    row("pinned analog inputs", "model:Analog current  4-channel inputs;pin:0:4000;pin:2:20000;pin:3:65535;reg:21:3039", "01 03 0020 0004", "01 03 08 0fa0 3039 4e20 ffff");
    row("registers set behind the tool's back", "model:Switch 32-channel outputs 32-channel inputs;reg:1:8001;reg:5:00f0", "01 03 0000 0002|01 02 0014 0004|01 03 0002 0001",
        "01 03 04 0000 8001|01 02 01 0f|01 83 02");
    exception("function 04 is not served", "01 04 0000 0001", "01 84 01");
    exception("function 2b is not served", "01 2b 0e 01 00", "01 ab 01");
    exception("function 07 is not served", "01 07", "01 87 01");
    exception("read 0 registers", "01 03 0000 0000", "01 83 03");
    exception("read 126 registers", "01 03 0000 007e", "01 83 03");
    exception("read past the outputs", "01 03 0000 0003", "01 83 02");
    exception("read the gap after the inputs", "01 03 0005 0001", "01 83 02");
    exception("read past the timeout block", "01 03 7530 0007", "01 83 02");
    exception("read past the network block", "01 03 2710 001a", "01 83 02");
    exception("read analog block of a switch model", "01 03 7594 0001", "01 83 02");
    exception("coil value 1234", "01 05 0000 1234", "01 85 03");
    exception("coil value 0001", "01 05 0000 0001", "01 85 03");
    exception("coil 32 of 32", "01 05 0020 ff00", "01 85 02");
    exception("write input register", "01 06 0004 0000", "01 86 02");
    exception("write unknown register", "01 06 1000 0000", "01 86 02");
    exception("write 0 registers", "01 10 0000 0000 00", "01 90 03");
    exception("write 124 registers", "01 10 0000 007c 00", "01 90 03");
    exception("byte count not twice the quantity", "01 10 0000 0002 02 ffff", "01 90 03");
    exception("fewer data than the byte count", "01 10 0000 0002 04 ffff", "01 90 03");
    exception("write past the outputs", "01 10 0001 0002 04 ffff ffff", "01 90 02");
    exception("restart with 2", "01 06 fde8 0002", "01 86 03");
    exception("read with a short PDU", "01 03 0000", "01 83 03");
    // Group 0: output 1 ON (OR), 2 OFF (AND clear), 3 unchanged, 4 ON; group 1: 21 unchanged, others OFF.
    row("watchdog fallback", "coil:1;coil:2;coil:20;coil:21", "01 10 7530 0006 0c 0000 0096 0009 fffd 0000 0010|01 03 7530 0006|watchdog|01 03 0000 0002",
        "01 10 7530 0006|01 03 0c 0000 0096 0009 fffd 0000 0010|-|01 03 04 000d 0010");
    row("watchdog block of 64 outputs", "model:Switch 64-channel outputs", "01 03 7530 000a|01 10 7530 000a 14 0001 1170 0001 0001 0002 0002 0004 0004 0008 0008|01 03 7538 0002|01 03 7530 000b",
        "01 03 14 0000 0000 0000 ffff 0000 ffff 0000 ffff 0000 ffff|01 10 7530 000a|01 03 04 0008 0008|01 83 02");
    row("inputs only: the timeout alone", "model:Switch 16-channel inputs", "01 03 7530 0002|01 03 7530 0004", "01 03 04 0000 0000|01 83 02");
    row("network block defaults", "", "01 03 2710 0019", "01 03 32 00c0 00a8 0001 0050 00ff 00ff 00ff 0000 00c0 00a8 0001 0001 1f90 00c0 00a8 0001 0064 0fa0 0001 0000 001a 002b 003c 004d 005e");
    row("network block in force after the restart, relays dropped", "coil:5;address:42",
        "2a 06 2710 000a|2a 06 2722 0002|2a 06 2727 00ee|=5363616e446576696365165a|2a 06 fde8 0000|2a 03 0000 0001|2a 10 fde8 0001 02 0001|2a 03 0000 0001|2a 03 2710 0001|2a 03 fde8 0001|=5363616e446576696365165a",
        "2a 06 2710 000a|2a 06 2722 0002|2a 06 2727 00ee|49443a002a001a2b3c4d5e0076|2a 06 fde8 0000|2a 03 02 0020|2a 10 fde8 0001|2a 03 02 0000|2a 03 02 000a|2a 03 02 0000|49443a002a001a2b3cee5e0076");
    row("network values checked", "", "01 06 2722 0003|01 06 2710 0100|01 06 2722 0002|01 06 271c ffff", "01 86 03|01 86 03|01 06 2722 0002|01 06 271c ffff");
    row("identification at any address", "model:Switch 64-channel outputs;address:42", "=5363616e446576696365165a", "=49443a002a001a2b3c4d5e00dcb353");
    row("identification not answered", "noidentify", "=5363616e446576696365165a", "-");
    row("identification over TCP, with and without CRC", "tcp;model:Switch 64-channel inputs", "0000 0000 000a 5363616e446576696365|0077 0000 000c 5363616e446576696365165a",
        "0000 0000 000f 49443a0001001a2b3c4d5e00e6 d9b1|0077 0000 000f 49443a0001001a2b3c4d5e00e6 d9b1");
    row("TCP transaction echoed", "tcp", "1234 0000 0006 01 03 2710 0001|ffff 0000 0006 01 04 0000 0001", "1234 0000 0005 01 03 02 00c0|ffff 0000 0003 01 84 01");
    row("TCP units 0 and ff answered, others not", "tcp", "0001 0000 0006 ff 03 0000 0001|0002 0000 0006 00 03 0000 0001|0003 0000 0006 02 03 0000 0001|0004 0001 0006 01 03 0000 0001",
        "0001 0000 0005 ff 03 02 0000|0002 0000 0005 00 03 02 0000|-|-");
    row("RTU bad CRC or another address: no answer", "", "=010300000001840b|02 03 0000 0001", "-|-");
    row("RTU at address 2", "address:2", "02 06 2722 0000|02 04 0000 0001|01 03 0000 0001", "02 06 2722 0000|02 84 01|-");
    row("RTU broadcast: written, not answered", "", "00 05 0007 ff00|00 03 0000 0001|01 01 0007 0001", "-|-|01 01 01 01");
    row("stuck output Y3 keeps its bit", "stuck-output:2", "01 05 0002 ff00|01 10 0000 0002 04 ffff ffff|01 01 0000 0004|01 0f 0000 0004 01 00|01 03 0000 0001",
        "01 05 0002 ff00|01 10 0000 0002|01 01 01 0b|01 0f 0000 0004|01 03 02 fff0");
    row("stuck output Y3 on stays on", "stuck-output:2;reg:0:0004", "01 06 0000 0000|01 03 0000 0001", "01 06 0000 0000|01 03 02 0004");
    row("stuck input IN2 reads 1", "stuck-input:1;inputs:0100", "01 03 0004 0001|01 02 0000 0003", "01 03 02 0102|01 02 01 02");
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
    bool tcp = false;
    static const QStringList keys = { "model", "coil", "inputs", "address", "time", "pin", "reg", "stuck-output", "stuck-input", "offset", "noidentify", "tcp" };
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
        case 10: core.setIdentify(false); break;
        case 11: tcp = true; break;
        default: QFAIL(qPrintable(item));
        }
    }
    const QStringList asked = requests.split(QLatin1Char('|')), expected = replies.split(QLatin1Char('|'));
    QCOMPARE(asked.size(), expected.size());
    for (int i = 0; i < asked.size(); ++i) {
        if (asked.at(i) == QLatin1String("watchdog")) {
            core.watchdogExpired();
            continue;
        }
        // Frames written "=..." are taken as they are; other RTU frames get their CRC.
        const auto frame = [tcp](const QString &text) {
            const QByteArray bytes = hex(text.trimmed().remove(QLatin1Char('=')));
            return tcp || text.contains(QLatin1Char('=')) || bytes.isEmpty() ? bytes : ModuleCore::withCrc(bytes);
        };
        const ModuleCore::Result result = core.handle(frame(asked.at(i)), tcp ? ModuleCore::Framing::Tcp : ModuleCore::Framing::Rtu);
        QCOMPARE(result.reply.toHex(' '), frame(expected.at(i)).toHex(' '));
        if (result.restart)
            core.restart();
    }
}

void TestSimulator::everyCatalogueModel()
{
    ModuleCore core;
    QCOMPARE(ModelCatalogue::models().size(), 36);
    const auto reads = [&core](int address, int count) {
        return core.processPdu(QByteArray("\x03", 1) + char(address >> 8) + char(address) + '\0' + char(count), false).size() == 2 + 2 * count;
    };
    QSet<int> codes;
    for (const ModelEntry &row : ModelCatalogue::models()) {
        QVERIFY2(core.setModel(QLatin1String(row.english)), row.english);
        const int outputs = qMax(0, row.outputCount), inputs = qMax(0, row.inputCount);
        const int analogOut = qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount));
        const int analogIn = qMax(0, qMax(row.voltageInputCount, row.currentInputCount));
        QCOMPARE(QVector<int>({ core.outputCount(), core.inputCount(), core.analogOutputCount(), core.analogInputCount() }),
                 QVector<int>({ outputs, inputs, analogOut, analogIn }));
        QCOMPARE(core.milliamps(), row.currentOutputCount >= 0 || row.currentInputCount >= 0);
        QCOMPARE(core.modelDescription(), QLatin1String(row.english));
        // Every block the tool reads answers to the tool's own read counts.
        QVERIFY(outputs == 0 || (reads(0x0000, (outputs + 15) / 16) && reads(0x7530, (outputs - 1) / 16 * 2 + 4)));
        QVERIFY(inputs == 0 || (reads(0x0004, (inputs + 15) / 16) && (outputs > 0 || reads(0x7530, 2))));
        QVERIFY(analogOut == 0 || (reads(0x0009, analogOut) && reads(0x7530, analogOut) && reads(0x7594, analogOut)));
        QVERIFY(analogIn == 0 || reads(0x0020, analogIn));
        QVERIFY(reads(0x2710, 25));
        // Type codes: 220 and 230 select a model in the tool, every other code (one per model) nothing.
        QVERIFY2(!codes.contains(core.typeCode()), row.english);
        codes.insert(core.typeCode());
        QCOMPARE(ModelCatalogue::indexForTypeCode(core.typeCode()) >= 0, row.typeCode != 0);
        QVERIFY(row.typeCode == 0 || core.typeCode() == row.typeCode);
    }
    QVERIFY(codes.contains(220) && codes.contains(230));
    core.setCounts(64, 0, 0, 0, false);
    QCOMPARE(core.typeCode(), 220);
    core.setCounts(5, 3, 0, 0, false);
    QCOMPARE(core.typeCode(), 199);
    core.setTypeCode(4242);
    QVERIFY(core.setModel(QStringLiteral("Switch 64-channel outputs")));
    QCOMPARE(core.typeCode(), 4242); // an explicit code stays
    // Blanks need not match the menu's, the Chinese text works too, an unknown one changes nothing.
    QVERIFY(core.setModel(QStringLiteral("Switch 8-channel outputs 8-channel inputs")));
    QCOMPARE(core.outputCount(), 8);
    QVERIFY(core.setModel(QStringLiteral(" 模拟量电流12路输入 ")));
    QVERIFY(!core.setModel(QStringLiteral("Switch 17-channel outputs")));
    QCOMPARE(core.analogInputCount(), 12);
}

void TestSimulator::tcpConnections()
{
    ModuleSimulator module;
    QVERIFY(module.listenTcp());
    QSignalSpy connected(&module, &ModuleSimulator::clientConnected);
    QSignalSpy handled(&module, &ModuleSimulator::requestHandled);
    QStringList log;
    module.setLogFunction([&log](const QString &line) { log.append(line); });
    for (quint16 i = 0; i < 3; ++i) {
        Client client(module.tcpPort());
        QCOMPARE(client.transact(mbap(i, hex("01 05 0000 ff00")), 12), mbap(i, hex("01 05 0000 ff00")));
    }
    QTRY_COMPARE(connected.count(), 3);
    QCOMPARE(handled.at(0), (QList<QVariant>{ 5, 0, 1, false }));
    QVERIFY(log.isEmpty()); // quiet unless asked
    module.setLogging(true);
    // Two at once; requests back to back; a request byte by byte.
    Client first(module.tcpPort()), second(module.tcpPort());
    QCOMPARE(second.transact(mbap(1, hex("01 03 0000 0009")), 9), mbap(1, hex("01 83 02")));
    QCOMPARE(handled.last().at(3).toBool(), true);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3} tcp#5 fc 03 addr 0x0000 qty 9 -> exception 02 \\(illegal data address\\): 00 01 00 00 00 03 01 83 02$"))
                 .match(log.last()).hasMatch(), qPrintable(log.last()));
    QCOMPARE(first.transact(mbap(2, hex("01 05 0001 0000")) + mbap(3, hex("01 03 0000 0001")), 23), mbap(2, hex("01 05 0001 0000")) + mbap(3, hex("01 03 02 0001")));
    for (char byte : mbap(4, hex("01 03 0000 0002"))) {
        first.send(QByteArray(1, byte));
        first.socket.flush();
        QTest::qWait(2);
    }
    QCOMPARE(first.take(13), mbap(4, hex("01 03 04 0001 0000")));
    QCOMPARE(module.requestCount(), 7);
    first.send(hex("0000 0000 0000")); // a length that cannot be Modbus ends the connection
    QTRY_COMPARE(first.socket.state(), QAbstractSocket::UnconnectedState);
}

void TestSimulator::rtuFraming()
{
    ModuleSimulator module;
    module.setBaudRate(1200); // 32 ms of silence end a frame
    const QString path = module.openPty();
    QSignalSpy opened(&module, &ModuleSimulator::serialLineOpened);
    {
        Client serial(path);
        const QByteArray frame = rtu("01 10 0000 0002 04 ffff 0000");
        serial.send(frame.left(5));
        QTest::qWait(8);
        QCOMPARE(serial.transact(frame.mid(5), 8), rtu("01 10 0000 0002"));
    }
    QTRY_VERIFY(!module.serialLineOpen());
    module.setBaudRate(115200); // 1.75 ms
    module.announce();          // a reply for nobody is lost, not kept for the next program
    Client serial(path);
    QTRY_COMPARE(opened.count(), 2);
    const QByteArray frame = rtu("01 05 0001 0000");
    serial.send(frame.left(4));
    QCOMPARE(serial.take(99, 30), QByteArray());
    serial.send(frame.mid(4));
    QCOMPARE(serial.take(99, 60), QByteArray()); // broken by the silence: dropped
    QVERIFY(module.coil(1));
    serial.send(hex("13 37")); // noise
    QCOMPARE(serial.take(99, 50), QByteArray());
    QCOMPARE(module.faultCounts().ignored, 3);
    QCOMPARE(serial.transact(frame + rtu("01 03 0000 0001"), 15), frame + rtu("01 03 02 fffd"));
    QCOMPARE(serial.transact(rtu("01 2b 0e 01 00"), 5), rtu("01 ab 01")); // unknown layout: the silence ends it
}

void TestSimulator::announce()
{
    ModuleSimulator module;
    QVERIFY(module.listenTcp());
    module.setAnnounceOnOpen(true);
    const QString path = module.openPty();
    QCOMPARE(Client(path).take(15), module.identificationReply()); // when first opened
    QTRY_VERIFY(!module.serialLineOpen());
    Client serial(path), first(module.tcpPort()), second(module.tcpPort());
    QTRY_VERIFY(module.serialLineOpen());
    QCOMPARE(serial.take(99, 100), QByteArray()); // only then
    module.announce();
    QCOMPARE(serial.take(15), module.identificationReply());
    QCOMPARE(first.take(21), mbap(0, module.identificationReply()));
    QCOMPARE(second.take(21), mbap(0, module.identificationReply()));
    QCOMPARE(module.requestCount(), 0);
}

void TestSimulator::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("counts"); // besides requests=1
    QTest::newRow("drop: not executed, no reply") << "drop" << false << "dropped=1";
    QTest::newRow("corrupt over TCP: protocol id") << "corrupt" << false << "corrupted=1";
    QTest::newRow("corrupt over RTU: CRC") << "corrupt" << true << "corrupted=1";
    QTest::newRow("garbage around the reply") << "garbage" << true << "garbage=1";
    QTest::newRow("split over TCP") << "split" << false << "split=1";
    QTest::newRow("split over RTU") << "split" << true << "split=1";
    QTest::newRow("delay: executed at once") << "delay" << false << "delayed=1";
    QTest::newRow("exception 04, not executed") << "exception" << false << "exceptions=1";
    QTest::newRow("disconnect after the request") << "disconnect" << false << "clean=1 disconnects=1";
    QTest::newRow("another unit: ignored") << "unit" << false << "requests=0 ignored=1";
}

void TestSimulator::faults()
{
    QFETCH(QString, fault);
    QFETCH(bool, serial);
    QFETCH(QString, counts);
    ModuleSimulator module;
    QVERIFY(module.listenTcp());
    QSignalSpy changed(&module, &ModuleSimulator::faultCountsChanged);
    const auto is = [&fault](const char *name) { return fault == QLatin1String(name); };
    module.setDropPercent(is("drop") ? 100 : 0);
    module.setCorruptCrcPercent(is("corrupt") ? 100 : 0);
    module.setGarbagePercent(is("garbage") ? 100 : 0);
    module.setSplit(is("split"));
    module.setDelayMs(is("delay") ? 300 : 0);
    module.setExceptionPercent(is("exception") ? 100 : 0);
    module.setDisconnectAfter(is("disconnect") ? 1 : 0);
    Client client = serial ? Client(module.openPty()) : Client(module.tcpPort());
    const QByteArray adu = hex(is("unit") ? "02 05 0000 ff00" : "01 05 0000 ff00");
    const QByteArray clean = serial ? ModuleCore::withCrc(adu) : mbap(7, adu);
    client.send(serial ? clean : mbap(7, adu));
    if (is("delay")) {
        QTRY_VERIFY(module.coil(0));
        QVERIFY(client.rx.isEmpty());
    }
    const QByteArray got = client.take(clean.size(), is("garbage") ? 100 : 400);
    QCOMPARE(module.coil(0), !is("drop") && !is("exception") && !is("unit"));
    if (is("drop") || is("unit")) {
        QCOMPARE(got, QByteArray());
    } else if (is("corrupt")) {
        QVERIFY(got != clean);
        QCOMPARE(serial ? got.left(6) : got.mid(6), serial ? clean.left(6) : clean.mid(6));
    } else if (is("garbage")) {
        QVERIFY2(got.size() > clean.size() && got.size() <= clean.size() + 6, got.toHex().constData());
        QVERIFY(got.startsWith(clean) || got.endsWith(clean));
    } else {
        QCOMPARE(got, is("exception") ? mbap(7, hex("01 85 04")) : clean);
        QVERIFY(!is("split") || client.pieces > 1);
    }
    if (is("disconnect"))
        QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QString line = MeroviSim::FaultCounts{ 1 }.line();
    for (const QString &item : counts.split(QLatin1Char(' ')))
        line.replace(QRegularExpression(QLatin1Char(' ') + item.section(QLatin1Char('='), 0, 0) + QStringLiteral("=\\d+")), QLatin1Char(' ') + item);
    QCOMPARE(module.faultCounts().line(), line);
    QCOMPARE(changed.isEmpty(), counts == QLatin1String("clean=1"));
}

void TestSimulator::watchdogTimer()
{
    ModuleSimulator module;
    QVERIFY(module.listenTcp());
    QVERIFY(module.setModel(QStringLiteral("Switch  8-channel outputs")));
    QSignalSpy fired(&module, &ModuleSimulator::watchdogFired);
    Client client(module.tcpPort());
    // 300 ms, every output falls back to OFF; polling keeps it fed, another unit's request does not.
    QCOMPARE(client.transact(mbap(0, hex("01 10 7530 0004 08 0000 012c 0000 0000")), 12), mbap(0, hex("01 10 7530 0004")));
    QCOMPARE(client.transact(mbap(0, hex("01 05 0000 ff00")), 12), mbap(0, hex("01 05 0000 ff00")));
    for (int i = 0; i < 14; ++i, QTest::qWait(50))
        QCOMPARE(client.transact(mbap(0, hex("01 03 0000 0001")), 11), mbap(0, hex("01 03 02 0001")));
    QCOMPARE(fired.count(), 0);
    client.send(mbap(0, hex("02 03 0000 0001")));
    QVERIFY(fired.wait(2000));
    QVERIFY(!module.coil(0));
    QTest::qWait(400);
    QCOMPARE(fired.count(), 1); // once per silence
}

void TestSimulator::restartOverTcp()
{
    ModuleSimulator module;
    QVERIFY(module.listenTcp());
    module.setRestartDelayMs(300);
    QSignalSpy restarted(&module, &ModuleSimulator::restarted);
    QSignalSpy gone(&module, &ModuleSimulator::clientDisconnected);
    Client client(module.tcpPort());
    // "Reboot": acknowledged, then the module restarts and drops the connection.
    QCOMPARE(client.transact(mbap(0, hex("01 10 fde8 0001 02 0001")), 12), mbap(0, hex("01 10 fde8 0001")));
    QTRY_COMPARE(restarted.count(), 1);
    QTRY_COMPARE(client.socket.state(), QAbstractSocket::UnconnectedState);
    QTRY_COMPARE(gone.count(), 1);
    // Silent while it boots, then answering again on 127.0.0.1.
    Client again(module.tcpPort());
    again.send(mbap(1, hex("01 03 0000 0001")));
    QTRY_COMPARE(module.faultCounts().muted, 1);
    QTRY_COMPARE(again.transact(mbap(2, hex("01 03 0000 0001")), 11), mbap(2, hex("01 03 02 0000")));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
