// The simulated module, driven from outside as the tool would: a Modbus TCP client on
// 127.0.0.1 and a raw client on the pseudo-terminal. Frames are built and checked with
// the tool's table CRC (QtTools), the simulator uses its own bitwise one: each checks the other.

#include "QtLibrary/QtTools/qttools.h"
#include "simulator/modulesimulator.h"
#include "simulator/simcrc.h"
#include "simulator/simlinks.h"
#include "link/modelcatalogue.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <memory>

namespace {

template<typename Predicate>
bool waitFor(Predicate done, int timeoutMs = 2000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(1);
    }
    return true;
}

int regs(int channels)
{
    return (channels - 1) / 16 + 1;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The tool's CRC: crc16() gives the first byte on the wire in its high half.
QByteArray withToolCrc(const QByteArray &bytes)
{
    const quint16 crc = QtTools::crc16(reinterpret_cast<const uchar *>(bytes.constData()),
                                       quint8(bytes.size()));
    QByteArray frame = bytes;
    frame.append(char(crc >> 8));
    frame.append(char(crc & 0xFF));
    return frame;
}

bool toolCrcOk(const QByteArray &frame)
{
    return frame.size() >= 3 && withToolCrc(frame.left(frame.size() - 2)) == frame;
}

QByteArray mbap(quint16 transaction, const QByteArray &adu, quint16 protocol = 0)
{
    QByteArray frame;
    frame.append(char(transaction >> 8)).append(char(transaction & 0xFF));
    frame.append(char(protocol >> 8)).append(char(protocol & 0xFF));
    frame.append(char(adu.size() >> 8)).append(char(adu.size() & 0xFF));
    return frame + adu;
}

// A Modbus TCP client that keeps the event loop running while it waits.
class TcpClient
{
public:
    explicit TcpClient(quint16 port)
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            ++chunks;
            rx.append(socket.readAll());
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
    }

    bool connected()
    {
        return waitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; });
    }

    void send(const QByteArray &bytes) { socket.write(bytes); }

    // The next whole MBAP frame, or empty after the timeout.
    QByteArray frame(int timeoutMs = 1000)
    {
        const auto complete = [this] {
            return rx.size() >= 7 && rx.size() >= 6 + (quint8(rx.at(4)) << 8 | quint8(rx.at(5)));
        };
        if (!waitFor(complete, timeoutMs))
            return {};
        const int length = 6 + (quint8(rx.at(4)) << 8 | quint8(rx.at(5)));
        const QByteArray result = rx.left(length);
        rx.remove(0, length);
        return result;
    }

    // Request (unit + PDU) out, reply (unit + PDU) back; empty on no answer.
    QByteArray transact(const QByteArray &adu, quint16 transaction = 0, int timeoutMs = 1000)
    {
        send(mbap(transaction, adu));
        const QByteArray reply = frame(timeoutMs);
        return reply.mid(6);
    }

    QTcpSocket socket;
    QByteArray rx;
    int chunks = 0;
};

// A program on the other end of the pseudo-terminal, like the tool's serial port.
class PtyClient
{
public:
    explicit PtyClient(const QString &path)
    {
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios settings {};
            ::tcgetattr(fd, &settings);
            ::cfmakeraw(&settings);
            ::tcsetattr(fd, TCSANOW, &settings);
        }
    }
    ~PtyClient() { close(); }

    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    bool isOpen() const { return fd >= 0; }

    void send(const QByteArray &bytes)
    {
        const ssize_t written = ::write(fd, bytes.constData(), size_t(bytes.size()));
        QCOMPARE(int(written), bytes.size());
    }

    // Reads for the given time, or until count bytes are in.
    QByteArray read(int count, int timeoutMs = 1000)
    {
        waitFor([&] {
            pump();
            return rx.size() >= count;
        }, timeoutMs);
        const QByteArray result = rx.left(count);
        rx.remove(0, result.size());
        return result;
    }

    // Everything that arrives within the time.
    QByteArray readAll(int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            pump();
            QTest::qWait(1);
        }
        pump();
        const QByteArray result = rx;
        rx.clear();
        return result;
    }

    QByteArray transact(const QByteArray &frame, int replyBytes, int timeoutMs = 1000)
    {
        send(frame);
        return read(replyBytes, timeoutMs);
    }

    void pump()
    {
        char buffer[256];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            ++reads;
            rx.append(buffer, int(n));
        }
    }

    int fd = -1;
    QByteArray rx;
    int reads = 0;
};

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // CRC and catalogue.
    void crc_data();
    void crc();
    void crcAgreesWithTheTool();
    void everyCatalogueModel();
    void unknownModel();
    void typeCodes();
    void startsInMilliseconds();

    // Registers per function code.
    void coilsFollowOutputRegisters();
    void allOpenAllCloseAndSingleChoice();
    void outputBitsBeyondTheModelStayOff();
    void readCoilsAndInputsWithFunctions01And02();
    void writeMultipleCoils();
    void fixedInputs();
    void walkingInputs();
    void analogOutputRegisters_data();
    void analogOutputRegisters();
    void analogInputsFollowTheirMode();
    void pinnedAnalogInputs();
    void behindTheToolsBack();

    // Exceptions.
    void exceptions_data();
    void exceptions();

    // Watchdog, network, restart.
    void watchdogFires();
    void watchdogIsFedByValidRequests();
    void watchdogBlockLayout();
    void networkBlockDefaults();
    void networkBlockRoundTripAndRestart();
    void networkBlockRejectsBadValues();
    void restartDelay();

    // Identification.
    void identificationOverSerial();
    void identificationOverTcp();
    void announce();
    void announceWhenTheLineIsFirstOpened();

    // TCP framing.
    void transactionIdEchoed();
    void sequentialClients();
    void pipelinedAndFragmentedRequests();
    void otherUnitOrProtocolIgnoredOnTcp();

    // RTU framing.
    void rtuSilence_data();
    void rtuSilence();
    void rtuBadCrcOrOtherAddressNotAnswered();
    void rtuBroadcastWritesWithoutAnswer();
    void rtuFrameInTwoPiecesWithinTheSilence();
    void rtuFrameBrokenBySilenceIsDropped();
    void rtuUnknownFunctionEndsBySilence();
    void rtuLineReopened();

    // Fault injection.
    void dropAll();
    void dropSome();
    void delay();
    void splitOverTcp();
    void splitOverSerial();
    void garbage();
    void corruptCrcOverSerial();
    void corruptCrcOverTcp();
    void disconnectAfter();
    void requestLog();

private:
    QByteArray tcp(const QByteArray &adu, quint16 transaction = 0);
    QByteArray read03(quint16 address, quint16 count);

    std::unique_ptr<ModuleSimulator> module;
    std::unique_ptr<TcpClient> client;
};

void TestSimulator::init()
{
    module.reset(new ModuleSimulator);
    QVERIFY(module->listenTcp());
    client.reset(new TcpClient(module->tcpPort()));
    QVERIFY(client->connected());
}

void TestSimulator::cleanup()
{
    client.reset();
    module.reset();
}

QByteArray TestSimulator::tcp(const QByteArray &adu, quint16 transaction)
{
    return client->transact(adu, transaction);
}

QByteArray TestSimulator::read03(quint16 address, quint16 count)
{
    QByteArray adu = hex("01 03");
    adu.append(char(address >> 8)).append(char(address & 0xFF));
    adu.append(char(count >> 8)).append(char(count & 0xFF));
    return tcp(adu);
}

// ---------------------------------------------------------------- CRC and catalogue

void TestSimulator::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("read 1 register, CRC 840A") << hex("010300000001") << hex("840a");
    QTest::newRow("ScanDevice, CRC 165A") << QByteArray("ScanDevice") << hex("165a");
    QTest::newRow("reboot, CRC 5C77") << hex("0110fde80001020001") << hex("5c77");
}

void TestSimulator::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, wire);
    QCOMPARE(SimCrc::withCrc(bytes).right(2), wire);
    QVERIFY(SimCrc::crcOk(bytes + wire));
    QVERIFY(!SimCrc::crcOk(bytes + wire.left(1) + char(wire.at(1) ^ 1)));
}

void TestSimulator::crcAgreesWithTheTool()
{
    QRandomGenerator random(7);
    for (int round = 0; round < 500; ++round) {
        QByteArray bytes;
        const int length = int(random.bounded(1, 120));
        for (int i = 0; i < length; ++i)
            bytes.append(char(random.bounded(256)));
        QCOMPARE(SimCrc::withCrc(bytes), withToolCrc(bytes));
    }
}

void TestSimulator::everyCatalogueModel()
{
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    QCOMPARE(models.size(), 36);
    for (const ModelEntry &row : models) {
        QVERIFY2(module->setModel(QLatin1String(row.english)), row.english);
        QCOMPARE(module->outputCount(), qMax(0, row.outputCount));
        QCOMPARE(module->inputCount(), qMax(0, row.inputCount));
        QCOMPARE(module->analogOutputCount(), qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount)));
        QCOMPARE(module->analogInputCount(), qMax(0, qMax(row.voltageInputCount, row.currentInputCount)));
        QCOMPARE(module->milliamps(), row.currentOutputCount >= 0 || row.currentInputCount >= 0);
        QCOMPARE(module->modelDescription(), QLatin1String(row.english));
        // The first register of each existing block answers; the tool's own reads fit.
        if (row.outputCount > 0)
            QCOMPARE(read03(0x0000, quint16(regs(row.outputCount))).size(), 3 + 2 * regs(row.outputCount));
        if (row.inputCount > 0)
            QCOMPARE(read03(0x0004, quint16(regs(row.inputCount))).size(), 3 + 2 * regs(row.inputCount));
        const int analogOut = module->analogOutputCount();
        if (analogOut > 0) {
            QCOMPARE(read03(0x0009, quint16(analogOut)).size(), 3 + 2 * analogOut);
            QCOMPARE(read03(0x7530, quint16(analogOut)).size(), 3 + 2 * analogOut);
            QCOMPARE(read03(0x7594, quint16(analogOut)).size(), 3 + 2 * analogOut);
        }
        const int analogIn = module->analogInputCount();
        if (analogIn > 0)
            QCOMPARE(read03(0x0020, quint16(analogIn)).size(), 3 + 2 * analogIn);
        // The tool's timeout read: 2 registers without outputs, else 2 per 16 outputs + 2.
        if (row.outputCount > 0) {
            const int count = ((row.outputCount - 1) / 16) * 2 + 4;
            QCOMPARE(read03(0x7530, quint16(count)).size(), 3 + 2 * count);
        } else if (row.inputCount > 0) {
            QCOMPARE(read03(0x7530, 2).size(), 3 + 4);
        }
        QCOMPARE(read03(0x2710, 25).size(), 3 + 50);
    }
    // Blanks do not have to match the menu's exactly, and the Chinese text works too.
    QVERIFY(module->setModel(QStringLiteral("Switch 8-channel outputs 8-channel inputs")));
    QCOMPARE(module->outputCount(), 8);
    QVERIFY(module->setModel(QStringLiteral(" 模拟量电流12路输入 ")));
    QCOMPARE(module->analogInputCount(), 12);
    QVERIFY(module->milliamps());
}

void TestSimulator::unknownModel()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 16-channel outputs")));
    QVERIFY(!module->setModel(QStringLiteral("Switch 17-channel outputs")));
    QCOMPARE(module->outputCount(), 16); // unchanged
}

void TestSimulator::typeCodes()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 64-channel outputs")));
    QCOMPARE(module->typeCode(), 220);
    QVERIFY(module->setModel(QStringLiteral("Switch 64-channel inputs")));
    QCOMPARE(module->typeCode(), 230);
    module->setCounts(64, 0, 0, 0, false);
    QCOMPARE(module->typeCode(), 220);
    // Every other model has a code of its own that selects nothing in the tool.
    QSet<int> codes;
    for (const ModelEntry &row : ModelCatalogue::models()) {
        QVERIFY(module->setModel(QLatin1String(row.english)));
        const int code = module->typeCode();
        QVERIFY2(!codes.contains(code), row.english);
        codes.insert(code);
        if (row.typeCode == 0) {
            QVERIFY(code != 220 && code != 230);
            QCOMPARE(ModelCatalogue::indexForTypeCode(code), -1);
        } else {
            QCOMPARE(code, row.typeCode);
        }
    }
    module->setCounts(5, 3, 0, 0, false);
    QCOMPARE(module->typeCode(), 199);
    module->setTypeCode(4242);
    QVERIFY(module->setModel(QStringLiteral("Switch 64-channel outputs")));
    QCOMPARE(module->typeCode(), 4242); // an explicit code stays
}

void TestSimulator::startsInMilliseconds()
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 10; ++i) {
        ModuleSimulator another;
        QVERIFY(another.setModel(QStringLiteral("Switch 64-channel outputs")));
        QVERIFY(another.listenTcp());
        QVERIFY(!another.openPty().isEmpty());
    }
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
}

// ---------------------------------------------------------------- registers

void TestSimulator::coilsFollowOutputRegisters()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs")));
    // The tool's single switching: write single coil, echoed.
    QCOMPARE(tcp(hex("01 05 0002 FF00")), hex("01 05 0002 FF00"));
    QCOMPARE(tcp(hex("01 05 0011 FF00")), hex("01 05 0011 FF00"));
    QVERIFY(module->coil(2));
    QVERIFY(module->coil(17));
    QCOMPARE(read03(0x0000, 2), hex("01 03 04 0004 0002"));
    QCOMPARE(tcp(hex("01 05 0002 0000")), hex("01 05 0002 0000"));
    QCOMPARE(read03(0x0000, 2), hex("01 03 04 0000 0002"));
    QCOMPARE(module->holdingRegister(0x0001), quint16(0x0002));
}

void TestSimulator::allOpenAllCloseAndSingleChoice()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs")));
    QSignalSpy handled(module.get(), &ModuleSimulator::requestHandled);
    // "All Open" of the tool: 0110 0000 0002 04 ffff ffff.
    QCOMPARE(tcp(hex("01 10 0000 0002 04 ffff ffff")), hex("01 10 0000 0002"));
    for (int i = 0; i < 32; ++i)
        QVERIFY(module->coil(i));
    QCOMPARE(handled.count(), 1);
    QCOMPARE(handled.at(0).at(0).toInt(), 0x10);
    QCOMPARE(handled.at(0).at(1).toInt(), 0);
    QCOMPARE(handled.at(0).at(2).toInt(), 2);
    QCOMPARE(handled.at(0).at(3).toBool(), false);
    // Single choice: output 18 (k = 17) on, all others off.
    QCOMPARE(tcp(hex("01 10 0000 0002 04 0000 0002")), hex("01 10 0000 0002"));
    for (int i = 0; i < 32; ++i)
        QCOMPARE(module->coil(i), i == 17);
    // "All Close".
    QCOMPARE(tcp(hex("01 10 0000 0002 04 0000 0000")), hex("01 10 0000 0002"));
    QCOMPARE(module->outputBits(), quint64(0));
}

void TestSimulator::outputBitsBeyondTheModelStayOff()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 20-channel outputs")));
    QCOMPARE(tcp(hex("01 10 0000 0002 04 ffff ffff")), hex("01 10 0000 0002"));
    QCOMPARE(read03(0x0000, 2), hex("01 03 04 ffff 000f"));
    QVERIFY(module->coil(19));
    QVERIFY(!module->coil(20));
}

void TestSimulator::readCoilsAndInputsWithFunctions01And02()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 16-channel outputs 16-channel inputs")));
    module->setCoil(0, true);
    module->setCoil(9, true);
    module->setInputPattern(0x8001);
    QCOMPARE(tcp(hex("01 01 0000 0010")), hex("01 01 02 01 02"));
    QCOMPARE(tcp(hex("01 01 0009 0001")), hex("01 01 01 01"));
    QCOMPARE(tcp(hex("01 02 0000 0010")), hex("01 02 02 01 80"));
    QCOMPARE(tcp(hex("01 01 0000 0011")), hex("01 81 02"));
    QCOMPARE(tcp(hex("01 02 000f 0002")), hex("01 82 02"));
}

void TestSimulator::writeMultipleCoils()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 16-channel outputs")));
    QCOMPARE(tcp(hex("01 0f 0002 000a 02 ff 01")), hex("01 0f 0002 000a"));
    QCOMPARE(read03(0x0000, 1), hex("01 03 02 07fc"));
    QCOMPARE(tcp(hex("01 0f 0002 000a 01 ff")), hex("01 8f 03"));   // byte count short
    QCOMPARE(tcp(hex("01 0f 000f 0002 01 03")), hex("01 8f 02"));   // past output 16
}

void TestSimulator::fixedInputs()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 64-channel inputs")));
    module->setInputPattern(Q_UINT64_C(0x0123456789abcdef));
    QCOMPARE(read03(0x0004, 4), hex("01 03 08 cdef 89ab 4567 0123"));
    QCOMPARE(read03(0x0006, 1), hex("01 03 02 4567"));
    QVERIFY(module->setModel(QStringLiteral("Switch  4-channel inputs")));
    module->setInputPattern(0xffff);
    QCOMPARE(read03(0x0004, 1), hex("01 03 02 000f")); // only four inputs exist
    // The input states are the module's own: the tool cannot write them.
    QCOMPARE(tcp(hex("01 06 0004 0001")), hex("01 86 02"));
    QCOMPARE(tcp(hex("01 10 0004 0001 02 0001")), hex("01 90 02"));
}

void TestSimulator::walkingInputs()
{
    QVERIFY(module->setModel(QStringLiteral("Switch  8-channel inputs")));
    const QByteArray first = read03(0x0004, 1);
    QCOMPARE(first.size(), 5);
    const quint16 value = quint16(quint8(first.at(3)) << 8 | quint8(first.at(4)));
    QVERIFY(value != 0 && (value & (value - 1)) == 0); // one input on
    QVERIFY(value < 0x100);
    QVERIFY(waitFor([&] { return read03(0x0004, 1) != first; }, 2500));
}

void TestSimulator::analogOutputRegisters_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("defaultMode");
    QTest::newRow("voltage 2") << QStringLiteral("Analog voltage  2-channel outputs") << 2 << 4;
    QTest::newRow("voltage 8") << QStringLiteral("Analog voltage  8-channel outputs") << 8 << 4;
    QTest::newRow("current 12") << QStringLiteral("Analog current 12-channel outputs") << 12 << 0;
}

void TestSimulator::analogOutputRegisters()
{
    QFETCH(QString, model);
    QFETCH(int, channels);
    QFETCH(int, defaultMode);
    QVERIFY(module->setModel(model));
    // The panel's three read-backs with its read count.
    QByteArray modes = read03(0x7530, quint16(channels));
    QCOMPARE(modes.size(), 3 + 2 * channels);
    QCOMPARE(int(quint8(modes.at(4))), defaultMode);
    // The panel's write: maximum, mode, value of the last channel.
    const quint8 last = quint8(channels - 1);
    QByteArray writeMax = hex("01 06 75"); writeMax.append(char(0x94 + last)).append(hex("0014"));
    QByteArray writeMode = hex("01 06 75"); writeMode.append(char(0x30 + last)).append(hex("0003"));
    QByteArray writeValue = hex("01 06 00"); writeValue.append(char(0x09 + last)).append(hex("0005"));
    QCOMPARE(tcp(writeMax), writeMax);
    QCOMPARE(tcp(writeMode), writeMode);
    QCOMPARE(tcp(writeValue), writeValue);
    QCOMPARE(module->holdingRegister(quint16(0x7594 + last)), quint16(0x0014));
    QCOMPARE(module->holdingRegister(quint16(0x7530 + last)), quint16(3));
    QCOMPARE(module->holdingRegister(quint16(0x0009 + last)), quint16(5));
    const QByteArray values = read03(0x0009, quint16(channels));
    QCOMPARE(values.right(2), hex("0005"));
    // Modes are 0..4; one channel past the model is an illegal address.
    QByteArray badMode = hex("01 06 75"); badMode.append(char(0x30 + last)).append(hex("0005"));
    QCOMPARE(tcp(badMode), hex("01 86 03"));
    QCOMPARE(read03(0x0009, quint16(channels + 1)), hex("01 83 02"));
    QCOMPARE(read03(0x7594, quint16(channels + 1)), hex("01 83 02"));
    // No switch outputs here.
    QCOMPARE(read03(0x0000, 1), hex("01 83 02"));
    QCOMPARE(tcp(hex("01 05 0000 ff00")), hex("01 85 02"));
}

void TestSimulator::analogInputsFollowTheirMode()
{
    QVERIFY(module->setModel(QStringLiteral("Analog current  4-channel inputs")));
    for (int round = 0; round < 5; ++round) {
        const QByteArray reply = read03(0x0020, 4);
        QCOMPARE(reply.size(), 3 + 8);
        for (int c = 0; c < 4; ++c) {
            const int value = quint8(reply.at(3 + 2 * c)) << 8 | quint8(reply.at(4 + 2 * c));
            QVERIFY2(value >= 4000 && value <= 20000, qPrintable(QString::number(value)));
        }
    }
    // Channel 1 switched to 1~5V (mode 2): 1000..5000 thousandths.
    QCOMPARE(tcp(hex("01 06 7531 0002")), hex("01 06 7531 0002"));
    const quint16 value = module->analogInputValue(1);
    QVERIFY2(value >= 1000 && value <= 5000, qPrintable(QString::number(value)));
    QVERIFY(module->setModel(QStringLiteral("Analog voltage 32-channel inputs")));
    const QByteArray all = read03(0x0020, 32);
    QCOMPARE(all.size(), 3 + 64);
    for (int c = 0; c < 32; ++c) {
        const int v = quint8(all.at(3 + 2 * c)) << 8 | quint8(all.at(4 + 2 * c));
        QVERIFY(v <= 10000);
    }
    // The channels vary from one another.
    QVERIFY(all.mid(3, 2) != all.mid(5, 2) || all.mid(5, 2) != all.mid(7, 2));
    // Measured values are read only.
    QCOMPARE(tcp(hex("01 06 0020 0001")), hex("01 86 02"));
    QCOMPARE(read03(0x0020, 33), hex("01 83 02"));
}

void TestSimulator::pinnedAnalogInputs()
{
    QVERIFY(module->setModel(QStringLiteral("Analog current  4-channel inputs")));
    module->setAnalogInputValue(0, 4000);
    module->setAnalogInputValue(2, 20000);
    module->setAnalogInputValue(3, 0xFFFF);
    const QByteArray reply = read03(0x0020, 4);
    QCOMPARE(reply.mid(3, 2), hex("0fa0"));
    QCOMPARE(reply.mid(7, 4), hex("4e20 ffff"));
    module->setHoldingRegister(0x0021, 12345);
    QCOMPARE(read03(0x0021, 1), hex("01 03 02 3039"));
}

void TestSimulator::behindTheToolsBack()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 32-channel outputs 32-channel inputs")));
    module->setHoldingRegister(0x0001, 0x8001);
    QVERIFY(module->coil(16));
    QVERIFY(module->coil(31));
    QCOMPARE(read03(0x0000, 2), hex("01 03 04 0000 8001"));
    module->setHoldingRegister(0x0005, 0x00F0);
    QCOMPARE(module->holdingRegister(0x0005), quint16(0x00F0));
    QCOMPARE(tcp(hex("01 02 0014 0004")), hex("01 02 01 0f"));
    QVERIFY(!module->hasRegister(0x0002));
    QCOMPARE(module->holdingRegister(0x0002), quint16(0));
}

// ---------------------------------------------------------------- exceptions

void TestSimulator::exceptions_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    // Switch 32 outputs 16 inputs: outputs 0x0000-1, inputs 0x0004, timeout 0x7530-0x7535.
    QTest::newRow("function 04 is not served") << hex("01 04 0000 0001") << hex("01 84 01");
    QTest::newRow("function 2b is not served") << hex("01 2b 0e 01 00") << hex("01 ab 01");
    QTest::newRow("function 07 is not served") << hex("01 07") << hex("01 87 01");
    QTest::newRow("read 0 registers") << hex("01 03 0000 0000") << hex("01 83 03");
    QTest::newRow("read 126 registers") << hex("01 03 0000 007e") << hex("01 83 03");
    QTest::newRow("read past the outputs") << hex("01 03 0000 0003") << hex("01 83 02");
    QTest::newRow("read the gap after the inputs") << hex("01 03 0005 0001") << hex("01 83 02");
    QTest::newRow("read past the timeout block") << hex("01 03 7530 0007") << hex("01 83 02");
    QTest::newRow("read past the network block") << hex("01 03 2710 001a") << hex("01 83 02");
    QTest::newRow("read analog block of a switch model") << hex("01 03 7594 0001") << hex("01 83 02");
    QTest::newRow("coil value 1234") << hex("01 05 0000 1234") << hex("01 85 03");
    QTest::newRow("coil value 0001") << hex("01 05 0000 0001") << hex("01 85 03");
    QTest::newRow("coil 32 of 32") << hex("01 05 0020 ff00") << hex("01 85 02");
    QTest::newRow("write input register") << hex("01 06 0004 0000") << hex("01 86 02");
    QTest::newRow("write unknown register") << hex("01 06 1000 0000") << hex("01 86 02");
    QTest::newRow("write 0 registers") << hex("01 10 0000 0000 00") << hex("01 90 03");
    QTest::newRow("write 124 registers") << hex("01 10 0000 007c 00") << hex("01 90 03");
    QTest::newRow("byte count not twice the quantity") << hex("01 10 0000 0002 02 ffff") << hex("01 90 03");
    QTest::newRow("fewer data than the byte count") << hex("01 10 0000 0002 04 ffff") << hex("01 90 03");
    QTest::newRow("write past the outputs") << hex("01 10 0001 0002 04 ffff ffff") << hex("01 90 02");
    QTest::newRow("restart with 2") << hex("01 06 fde8 0002") << hex("01 86 03");
    QTest::newRow("read with a short PDU") << hex("01 03 0000") << hex("01 83 03");
}

void TestSimulator::exceptions()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QVERIFY(module->setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs")));
    module->setCoil(3, true);
    QSignalSpy handled(module.get(), &ModuleSimulator::requestHandled);
    QCOMPARE(tcp(request), reply);
    QCOMPARE(handled.count(), 1);
    QCOMPARE(handled.at(0).at(3).toBool(), true);
    QCOMPARE(module->requestCount(), 1);
    // Nothing changed.
    QCOMPARE(module->outputBits(), quint64(0x8));
    QCOMPARE(read03(0x0000, 2), hex("01 03 04 0008 0000"));
}

// ---------------------------------------------------------------- watchdog, network, restart

void TestSimulator::watchdogFires()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs")));
    module->setCoil(0, false);
    module->setCoil(1, true);
    module->setCoil(2, true);
    module->setCoil(3, false);
    module->setCoil(20, true);
    module->setCoil(21, true);
    QSignalSpy fired(module.get(), &ModuleSimulator::watchdogFired);
    // Timeout 150 ms; group 0: channel 1 ON, 2 OFF, 3 unchanged (AND set), 4.. ON via OR bit 3;
    // group 1: channel 21 (bit 4) unchanged, every other channel OFF.
    QCOMPARE(tcp(hex("01 10 7530 0006 0c 0000 0096 0009 fffd 0000 0010")),
             hex("01 10 7530 0006"));
    QCOMPARE(read03(0x7530, 6), hex("01 03 0c 0000 0096 0009 fffd 0000 0010"));
    QVERIFY(fired.wait(1000));
    QCOMPARE(fired.count(), 1);
    QVERIFY(module->coil(0));   // OR bit
    QVERIFY(!module->coil(1));  // AND bit clear
    QVERIFY(module->coil(2));   // unchanged (AND set), was on
    QVERIFY(module->coil(3));   // OR bit
    QVERIFY(module->coil(4) == false);  // unchanged, was off
    QVERIFY(module->coil(20));  // unchanged, was on
    QVERIFY(!module->coil(21)); // AND clear
    // It fires once per silence, not again and again.
    QTest::qWait(400);
    QCOMPARE(fired.count(), 1);
    // Timeout 0 switches it off.
    QCOMPARE(tcp(hex("01 10 7530 0002 04 0000 0000")), hex("01 10 7530 0002"));
    QTest::qWait(250);
    QCOMPARE(fired.count(), 1);
}

void TestSimulator::watchdogIsFedByValidRequests()
{
    QVERIFY(module->setModel(QStringLiteral("Switch  8-channel outputs")));
    QSignalSpy fired(module.get(), &ModuleSimulator::watchdogFired);
    // 300 ms; every output falls back to OFF.
    QCOMPARE(tcp(hex("01 10 7530 0004 08 0000 012c 0000 0000")), hex("01 10 7530 0004"));
    QCOMPARE(tcp(hex("01 05 0000 ff00")), hex("01 05 0000 ff00"));
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 700) {
        QCOMPARE(read03(0x0000, 1), hex("01 03 02 0001")); // polled every 50 ms: stays on
        QTest::qWait(50);
    }
    QCOMPARE(fired.count(), 0);
    // Requests for another unit or with a bad MBAP protocol are not valid for this module.
    client->send(mbap(0, hex("02 03 0000 0001")));
    QVERIFY(fired.wait(1000));
    QVERIFY(!module->coil(0));
}

void TestSimulator::watchdogBlockLayout()
{
    // 64 outputs: four groups, ten registers, written in group order.
    QVERIFY(module->setModel(QStringLiteral("Switch 64-channel outputs")));
    QCOMPARE(read03(0x7530, 10), hex("01 03 14 0000 0000 0000 ffff 0000 ffff 0000 ffff 0000 ffff"));
    QCOMPARE(tcp(hex("01 10 7530 000a 14 0001 1170 0001 0001 0002 0002 0004 0004 0008 0008")),
             hex("01 10 7530 000a"));
    QCOMPARE(module->holdingRegister(0x7531), quint16(0x1170));
    QCOMPARE(read03(0x7530, 2), hex("01 03 04 0001 1170")); // 70000 ms
    QCOMPARE(read03(0x7538, 2), hex("01 03 04 0008 0008"));
    QCOMPARE(read03(0x7530, 11), hex("01 83 02"));
    // A model without switch outputs has the timeout only.
    QVERIFY(module->setModel(QStringLiteral("Switch 16-channel inputs")));
    QCOMPARE(read03(0x7530, 2), hex("01 03 04 0000 0000"));
    QCOMPARE(read03(0x7530, 4), hex("01 83 02"));
}

void TestSimulator::networkBlockDefaults()
{
    QCOMPARE(read03(0x2710, 25),
             hex("01 03 32 00c0 00a8 0001 0050 00ff 00ff 00ff 0000 00c0 00a8 0001 0001 1f90"
                 " 00c0 00a8 0001 0064 0fa0 0001 0000 001a 002b 003c 004d 005e"));
}

void TestSimulator::networkBlockRoundTripAndRestart()
{
    QSignalSpy restarted(module.get(), &ModuleSimulator::restarted);
    QSignalSpy gone(module.get(), &ModuleSimulator::clientDisconnected);
    module->setCoil(5, true);
    const QByteArray block = hex("000a 0000 0000 0002 00ff 00ff 0000 0000 000a 0000 0000 0001 9c40"
                                 " 000a 0000 0000 0063 1388 0000 0000 001a 002b 003c 004d 005e");
    QByteArray write = hex("01 10 2710 0019 32");
    write.append(block);
    QCOMPARE(tcp(write), hex("01 10 2710 0019"));
    QCOMPARE(read03(0x2710, 25), hex("01 03 32") + block);
    // Written, not yet in force.
    QCOMPARE(module->activeNetworkBlock().at(0), quint16(192));
    QCOMPARE(module->networkBlock().at(0), quint16(10));
    // "Reboot": acknowledged, then the module restarts and drops the connection.
    QCOMPARE(tcp(hex("01 10 fde8 0001 02 0001")), hex("01 10 fde8 0001"));
    QVERIFY(restarted.count() == 1 || restarted.wait(1000));
    QVERIFY(waitFor([&] { return client->socket.state() == QAbstractSocket::UnconnectedState; }));
    QVERIFY(gone.count() == 1 || gone.wait(1000));
    QCOMPARE(module->activeNetworkBlock().at(0), quint16(10));
    QCOMPARE(module->activeNetworkBlock().at(12), quint16(40000));
    QVERIFY(!module->coil(5)); // relays drop during the restart
    // The module answers again on a new connection, still on 127.0.0.1.
    client.reset(new TcpClient(module->tcpPort()));
    QVERIFY(client->connected());
    QCOMPARE(read03(0x2710, 4), hex("01 03 08 000a 0000 0000 0002"));
    QCOMPARE(read03(0xfde8, 1), hex("01 03 02 0000"));
    // The identification carries the MAC in force.
    QCOMPARE(module->identificationReply().mid(5, 6), hex("00 1a 2b 3c 4d 5e"));
    // Restart register written with 0: nothing happens.
    QCOMPARE(tcp(hex("01 06 fde8 0000")), hex("01 06 fde8 0000"));
    QTest::qWait(50);
    QCOMPARE(restarted.count(), 1);
    QCOMPARE(client->socket.state(), QAbstractSocket::ConnectedState);
}

void TestSimulator::networkBlockRejectsBadValues()
{
    QCOMPARE(tcp(hex("01 06 2722 0003")), hex("01 86 03")); // working mode 0..2
    QCOMPARE(tcp(hex("01 06 2710 0100")), hex("01 86 03")); // an octet sits in the low byte
    QCOMPARE(tcp(hex("01 06 2722 0002")), hex("01 06 2722 0002"));
    QCOMPARE(tcp(hex("01 06 271c ffff")), hex("01 06 271c ffff"));
    QCOMPARE(module->networkBlock().at(18), quint16(2));
    QCOMPARE(module->networkBlock().at(12), quint16(65535));
}

void TestSimulator::restartDelay()
{
    module->setRestartDelayMs(300);
    module->restart();
    client.reset(new TcpClient(module->tcpPort()));
    QVERIFY(client->connected());
    client->send(mbap(0, hex("01 03 0000 0001")));
    QVERIFY(client->frame(150).isEmpty());
    QTest::qWait(250);
    QCOMPARE(read03(0x0000, 1), hex("01 03 02 0000"));
}

// ---------------------------------------------------------------- identification

void TestSimulator::identificationOverSerial()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 64-channel outputs")));
    module->setAddress(0x2a);
    PtyClient serial(module->openPty());
    QVERIFY(serial.isOpen());
    // The tool's request: ScanDevice + CRC 165A, whatever the address.
    const QByteArray reply = serial.transact(withToolCrc("ScanDevice"), 15);
    QCOMPARE(reply.size(), 15);
    QCOMPARE(reply.left(3), QByteArray("ID:"));
    QCOMPARE(reply.mid(3, 2), hex("002a"));
    QCOMPARE(reply.mid(5, 6), hex("001a2b3c4d5e"));
    QCOMPARE(reply.mid(11, 2), hex("00dc")); // 220
    QVERIFY(toolCrcOk(reply));
    // As the tool reads it: "49443a" at 0-5, address at 8-9, type code at 22-25.
    const QString text = QString::fromLatin1(reply.toHex());
    QCOMPARE(text.mid(0, 6), QStringLiteral("49443a"));
    QCOMPARE(text.mid(8, 2), QStringLiteral("2a"));
    QCOMPARE(text.mid(22, 4).toInt(nullptr, 16), 220);
    QCOMPARE(module->requestCount(), 1);
}

void TestSimulator::identificationOverTcp()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 64-channel inputs")));
    // The tool's terminal sends it behind a header with or without the CRC.
    client->send(mbap(0, QByteArray("ScanDevice")));
    QByteArray frame = client->frame();
    QCOMPARE(frame.left(6), hex("0000 0000 000f"));
    QCOMPARE(frame.mid(6), module->identificationReply());
    QCOMPARE(frame.mid(6 + 11, 2), hex("00e6")); // 230
    client->send(mbap(0x77, withToolCrc("ScanDevice")));
    frame = client->frame();
    QCOMPARE(frame.left(6), hex("0077 0000 000f"));
}

void TestSimulator::announce()
{
    PtyClient serial(module->openPty());
    QVERIFY(waitFor([&] { return module->serialLineOpen(); }));
    TcpClient second(module->tcpPort());
    QVERIFY(second.connected());
    QVERIFY(waitFor([&] { return module->requestCount() == 0; }));
    QTest::qWait(20);
    module->announce();
    QCOMPARE(serial.read(15), module->identificationReply());
    const QByteArray frame = client->frame();
    QCOMPARE(frame, mbap(0, module->identificationReply()));
    QCOMPARE(second.frame(), frame);
    QCOMPARE(module->requestCount(), 0);
}

void TestSimulator::announceWhenTheLineIsFirstOpened()
{
    module->setAnnounceOnOpen(true);
    const QString path = module->openPty();
    QTest::qWait(30);
    QSignalSpy opened(module.get(), &ModuleSimulator::serialLineOpened);
    {
        PtyClient serial(path);
        QCOMPARE(serial.read(15), module->identificationReply());
        QCOMPARE(opened.count(), 1);
    }
    QVERIFY(waitFor([&] { return !module->serialLineOpen(); }));
    // Only the first opening.
    PtyClient again(path);
    QVERIFY(waitFor([&] { return opened.count() == 2; }));
    QCOMPARE(again.readAll(100), QByteArray());
    QCOMPARE(module->requestCount(), 0);
}

// ---------------------------------------------------------------- TCP framing

void TestSimulator::transactionIdEchoed()
{
    client->send(mbap(0x1234, hex("01 03 2710 0001")));
    QCOMPARE(client->frame(), hex("1234 0000 0005 01 03 02 00c0"));
    client->send(mbap(0, hex("01 03 2710 0001")));
    QCOMPARE(client->frame(), hex("0000 0000 0005 01 03 02 00c0"));
    client->send(mbap(0xffff, hex("01 04 0000 0001")));
    QCOMPARE(client->frame(), hex("ffff 0000 0003 01 84 01"));
}

void TestSimulator::sequentialClients()
{
    QSignalSpy connected(module.get(), &ModuleSimulator::clientConnected);
    for (int i = 0; i < 5; ++i) {
        client.reset(new TcpClient(module->tcpPort()));
        QVERIFY(client->connected());
        QCOMPARE(tcp(hex("01 05 0000 ff00"), quint16(i)), hex("01 05 0000 ff00"));
        QCOMPARE(tcp(hex("01 05 0000 0000"), quint16(i)), hex("01 05 0000 0000"));
    }
    QVERIFY(waitFor([&] { return connected.count() == 5; }));
    // Two at once work as well.
    TcpClient other(module->tcpPort());
    QVERIFY(other.connected());
    QCOMPARE(other.transact(hex("01 03 0000 0001")), hex("01 03 02 0000"));
    QCOMPARE(tcp(hex("01 03 0000 0001")), hex("01 03 02 0000"));
}

void TestSimulator::pipelinedAndFragmentedRequests()
{
    client->send(mbap(1, hex("01 05 0001 ff00")) + mbap(2, hex("01 03 0000 0001")));
    QCOMPARE(client->frame(), mbap(1, hex("01 05 0001 ff00")));
    QCOMPARE(client->frame(), mbap(2, hex("01 03 02 0002")));
    const QByteArray request = mbap(3, hex("01 03 0000 0002"));
    for (char byte : request) {
        client->send(QByteArray(1, byte));
        client->socket.flush();
        QTest::qWait(2);
    }
    QCOMPARE(client->frame(), mbap(3, hex("01 03 04 0002 0000")));
}

void TestSimulator::otherUnitOrProtocolIgnoredOnTcp()
{
    client->send(mbap(1, hex("02 03 0000 0001")));
    QVERIFY(client->frame(150).isEmpty());
    client->send(mbap(2, hex("01 03 0000 0001"), 1));
    QVERIFY(client->frame(150).isEmpty());
    QCOMPARE(module->requestCount(), 0);
    // Unit 0 and 0xFF stand for the device at the other end of the connection.
    QCOMPARE(client->transact(hex("ff 03 0000 0001")), hex("ff 03 02 0000"));
    QCOMPARE(client->transact(hex("00 03 0000 0001")), hex("00 03 02 0000"));
    // A length that cannot be a Modbus frame ends the connection.
    client->send(hex("0000 0000 0000"));
    QVERIFY(waitFor([&] { return client->socket.state() == QAbstractSocket::UnconnectedState; }));
}

// ---------------------------------------------------------------- RTU framing

void TestSimulator::rtuSilence_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("micros");
    QTest::newRow("1200") << 1200 << 32083;
    QTest::newRow("9600") << 9600 << 4010;
    QTest::newRow("19200") << 19200 << 2005;
    QTest::newRow("38400") << 38400 << 1750;
    QTest::newRow("115200") << 115200 << 1750;
}

void TestSimulator::rtuSilence()
{
    QFETCH(int, baud);
    QFETCH(int, micros);
    QCOMPARE(MeroviSim::PtyLink::silenceMicros(baud), micros);
}

void TestSimulator::rtuBadCrcOrOtherAddressNotAnswered()
{
    PtyClient serial(module->openPty());
    QVERIFY(serial.isOpen());
    QByteArray frame = withToolCrc(hex("01 03 0000 0001"));
    QCOMPARE(frame.right(2), hex("840a"));
    frame[7] = char(frame.at(7) ^ 0x01);
    serial.send(frame);
    QCOMPARE(serial.readAll(100), QByteArray());
    serial.send(withToolCrc(hex("02 03 0000 0001")));
    QCOMPARE(serial.readAll(100), QByteArray());
    QCOMPARE(module->requestCount(), 0);
    // After the silence the module listens again.
    const QByteArray reply = serial.transact(withToolCrc(hex("01 03 0000 0002")), 9);
    QCOMPARE(reply, withToolCrc(hex("01 03 04 0000 0000")));
    module->setAddress(2);
    QCOMPARE(serial.transact(withToolCrc(hex("02 06 2722 0000")), 8), withToolCrc(hex("02 06 2722 0000")));
    QCOMPARE(serial.transact(withToolCrc(hex("02 04 0000 0001")), 5), withToolCrc(hex("02 84 01")));
}

void TestSimulator::rtuBroadcastWritesWithoutAnswer()
{
    PtyClient serial(module->openPty());
    serial.send(withToolCrc(hex("00 05 0007 ff00")));
    QCOMPARE(serial.readAll(100), QByteArray());
    QVERIFY(module->coil(7));
    serial.send(withToolCrc(hex("00 03 0000 0001")));
    QCOMPARE(serial.readAll(100), QByteArray());
}

void TestSimulator::rtuFrameInTwoPiecesWithinTheSilence()
{
    module->setBaudRate(1200); // 32 ms of silence end a frame
    PtyClient serial(module->openPty());
    const QByteArray frame = withToolCrc(hex("01 10 0000 0002 04 ffff 0000"));
    serial.send(frame.left(5));
    serial.readAll(8);
    serial.send(frame.mid(5));
    QCOMPARE(serial.read(8), withToolCrc(hex("01 10 0000 0002")));
    QCOMPARE(module->outputBits(), quint64(0xffff));
}

void TestSimulator::rtuFrameBrokenBySilenceIsDropped()
{
    PtyClient serial(module->openPty()); // 115200: 1.75 ms end a frame
    const QByteArray frame = withToolCrc(hex("01 05 0001 ff00"));
    serial.send(frame.left(4));
    QCOMPARE(serial.readAll(30), QByteArray());
    serial.send(frame.mid(4));
    QCOMPARE(serial.readAll(60), QByteArray());
    QVERIFY(!module->coil(1));
    QCOMPARE(serial.transact(frame, 8), frame);
    QVERIFY(module->coil(1));
    // Two frames back to back are both served.
    serial.send(withToolCrc(hex("01 05 0002 ff00")) + withToolCrc(hex("01 03 0000 0001")));
    QCOMPARE(serial.read(15), withToolCrc(hex("01 05 0002 ff00")) + withToolCrc(hex("01 03 02 0006")));
}

void TestSimulator::rtuUnknownFunctionEndsBySilence()
{
    PtyClient serial(module->openPty());
    QCOMPARE(serial.transact(withToolCrc(hex("01 2b 0e 01 00")), 5), withToolCrc(hex("01 ab 01")));
    // Noise that is no frame is ignored.
    serial.send(hex("13 37"));
    QCOMPARE(serial.readAll(50), QByteArray());
    QCOMPARE(serial.transact(withToolCrc(hex("01 03 7530 0002")), 9), withToolCrc(hex("01 03 04 0000 0000")));
}

void TestSimulator::rtuLineReopened()
{
    const QString path = module->openPty();
    QSignalSpy opened(module.get(), &ModuleSimulator::serialLineOpened);
    for (int round = 0; round < 3; ++round) {
        PtyClient serial(path);
        QVERIFY(serial.isOpen());
        QCOMPARE(serial.transact(withToolCrc(hex("01 03 0000 0001")), 7), withToolCrc(hex("01 03 02 0000")));
        serial.close();
        QVERIFY(waitFor([&] { return !module->serialLineOpen(); }));
        // A reply for nobody is lost, not kept for the next program that opens the line.
        module->announce();
    }
    QCOMPARE(opened.count(), 3);
    PtyClient last(path);
    QCOMPARE(last.readAll(50), QByteArray());
}

// ---------------------------------------------------------------- faults

void TestSimulator::dropAll()
{
    module->setDropPercent(100);
    client->send(mbap(0, hex("01 05 0000 ff00")));
    QVERIFY(client->frame(200).isEmpty());
    QVERIFY(!module->coil(0)); // lost on the way: not executed
    QCOMPARE(module->requestCount(), 0);
    PtyClient serial(module->openPty());
    serial.send(withToolCrc(hex("01 03 0000 0001")));
    QCOMPARE(serial.readAll(100), QByteArray());
    module->setDropPercent(0);
    QCOMPARE(tcp(hex("01 03 0000 0001")), hex("01 03 02 0000"));
}

void TestSimulator::dropSome()
{
    module->setSeed(1);
    module->setDropPercent(50);
    int answered = 0;
    for (int i = 0; i < 40; ++i) {
        client->send(mbap(quint16(i), hex("01 03 0000 0001")));
        if (!client->frame(60).isEmpty())
            ++answered;
    }
    QCOMPARE(module->requestCount(), answered);
    QVERIFY2(answered > 5 && answered < 35, qPrintable(QString::number(answered)));
}

void TestSimulator::delay()
{
    module->setDelayMs(150);
    QElapsedTimer clock;
    clock.start();
    client->send(mbap(0, hex("01 03 0000 0001")));
    client->send(mbap(1, hex("01 03 0000 0002")));
    QCOMPARE(client->frame(1000), mbap(0, hex("01 03 02 0000")));
    QVERIFY2(clock.elapsed() >= 140, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(client->frame(1000), mbap(1, hex("01 03 04 0000 0000")));
    // The request took effect at once; only the answer is late.
    module->setDelayMs(300);
    client->send(mbap(2, hex("01 05 0004 ff00")));
    QVERIFY(waitFor([&] { return module->coil(4); }, 100));
    QVERIFY(client->frame(100).isEmpty());
    QCOMPARE(client->frame(1000), mbap(2, hex("01 05 0004 ff00")));
}

void TestSimulator::splitOverTcp()
{
    module->setSplit(true);
    const QByteArray reply = client->transact(hex("01 03 2710 0019"));
    QCOMPARE(reply.size(), 1 + 2 + 50);
    QCOMPARE(reply.left(3), hex("01 03 32"));
    QVERIFY2(client->chunks > 3, qPrintable(QString::number(client->chunks)));
}

void TestSimulator::splitOverSerial()
{
    module->setSplit(true);
    PtyClient serial(module->openPty());
    const QByteArray reply = serial.transact(withToolCrc(hex("01 03 2710 0004")), 13);
    QCOMPARE(reply, withToolCrc(hex("01 03 08 00c0 00a8 0001 0050")));
    QVERIFY2(serial.reads > 2, qPrintable(QString::number(serial.reads)));
}

void TestSimulator::garbage()
{
    module->setGarbagePercent(100);
    PtyClient serial(module->openPty());
    for (int i = 0; i < 5; ++i) {
        serial.send(withToolCrc(hex("01 03 0000 0001")));
        const QByteArray got = serial.readAll(60);
        const QByteArray reply = withToolCrc(hex("01 03 02 0000"));
        QVERIFY2(got.size() > reply.size() && got.size() <= reply.size() + 6, got.toHex().constData());
        QVERIFY2(got.startsWith(reply) || got.endsWith(reply), got.toHex().constData());
    }
}

void TestSimulator::corruptCrcOverSerial()
{
    module->setCorruptCrcPercent(100);
    PtyClient serial(module->openPty());
    serial.send(withToolCrc(hex("01 03 0000 0001")));
    const QByteArray got = serial.read(7);
    QCOMPARE(got.left(5), hex("01 03 02 0000"));
    QVERIFY(!toolCrcOk(got));
}

void TestSimulator::corruptCrcOverTcp()
{
    module->setCorruptCrcPercent(100);
    client->send(mbap(5, hex("01 03 0000 0001")));
    const QByteArray got = client->frame();
    QCOMPARE(got.left(2), hex("0005"));
    QVERIFY(got.mid(2, 2) != hex("0000")); // a client must throw it away
    QCOMPARE(got.mid(6), hex("01 03 02 0000"));
}

void TestSimulator::disconnectAfter()
{
    module->setDisconnectAfter(2);
    QCOMPARE(tcp(hex("01 03 0000 0001")), hex("01 03 02 0000"));
    QCOMPARE(client->socket.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(tcp(hex("01 03 0000 0001")), hex("01 03 02 0000")); // the second is answered
    QVERIFY(waitFor([&] { return client->socket.state() == QAbstractSocket::UnconnectedState; }));
    client.reset(new TcpClient(module->tcpPort()));
    QVERIFY(client->connected());
    QCOMPARE(tcp(hex("01 03 0000 0001")), hex("01 03 02 0000"));
}

void TestSimulator::requestLog()
{
    QStringList lines;
    module->setLogFunction([&](const QString &line) { lines.append(line); });
    tcp(hex("01 03 0000 0002"));
    QVERIFY(lines.isEmpty()); // quiet unless asked
    module->setLogging(true);
    tcp(hex("01 03 0000 0002"));
    tcp(hex("01 03 0000 0009"));
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).contains(QLatin1String("fc 03 addr 0x0000 qty 2 -> 00 00 00 00 00 07 01 03 04")), qPrintable(lines.at(0)));
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ")).match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).contains(QLatin1String("exception 02 (illegal data address)")), qPrintable(lines.at(1)));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
