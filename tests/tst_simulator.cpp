// The simulated module: its register map as a request -> reply table against ModuleCore, above
// all what it refuses, and the merovisim program served to a standard Modbus master. The faults
// it injects are proven where the tool meets them: dropped, corrupted and refused replies
// counted against the tool's figures (tst_shownfigures), garbage, split and late replies in
// tst_link, a closed connection in tst_checkcommand.

#include "protocol/modelcatalogue.h"
#include "simulator/modulesimulator.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

static QByteArray hex(const QString &text) { return QByteArray::fromHex(text.toLatin1()); }

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void everyCatalogueModel();
    void mbpoll();
};

// Setup items, separated by ";": model:<menu text>, coil:<i>, inputs:<hex>, address:<n>,
// pin:<c>:<thousandths>, reg:<hex address>:<hex value>; or tcp alone for Modbus TCP frames.
// Requests and replies are separated by "|";
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

    row("All Open: bits beyond the model stay off; a single choice", "model:Switch 20-channel outputs",
        "01 10 0000 0002 04 ffff ffff|01 01 0000 0014|01 03 0000 0002|01 10 0000 0002 04 0000 0002|01 03 0000 0002",
        "01 10 0000 0002|01 01 03 ffff0f|01 03 04 ffff 000f|01 10 0000 0002|01 03 04 0000 0002");
    row("functions 01 and 02", "model:Switch 16-channel outputs 16-channel inputs;coil:0;coil:9;inputs:8001",
        "01 01 0000 0010|01 01 0009 0001|01 02 0000 0010|01 01 0000 0011|01 02 000f 0002", "01 01 02 01 02|01 01 01 01|01 02 02 01 80|01 81 02|01 82 02");
    row("write multiple coils", "model:Switch 16-channel outputs", "01 0f 0002 000a 02 ff 01|01 03 0000 0001|01 0f 0002 000a 01 ff|01 0f 000f 0002 01 03",
        "01 0f 0002 000a|01 03 02 07fc|01 8f 03|01 8f 02");
    row("only the model's inputs, read only", "model:Switch  4-channel inputs;inputs:ffff", "01 03 0004 0001|01 06 0004 0001|01 10 0004 0001 02 0001", "01 03 02 000f|01 86 02|01 90 02");
    row("analog outputs", "model:Analog voltage  2-channel outputs",
        "01 03 7530 0001|01 06 7595 0014|01 06 7531 0003|01 06 000a 0005|01 03 7530 0002|01 03 0009 0002|01 03 7594 0002|01 06 7531 0005|01 03 0009 0003|01 03 7594 0003|01 03 0000 0001|01 05 0000 ff00",
        "01 03 02 0004|01 06 7595 0014|01 06 7531 0003|01 06 000a 0005|01 03 04 0004 0003|01 03 04 0000 0005|01 03 04 0fff 0014|01 86 03|01 83 02|01 83 02|01 83 02|01 85 02");
    // Channel 0 set by the module, 3 pinned, 1 and 2 swing in their mode's range.
    row("analog inputs", "model:Analog current  4-channel inputs;reg:20:3039;pin:3:65535", "01 03 0020 0004|01 06 7531 0002|01 03 0021 0001|01 06 0020 0001|01 03 0020 0005",
        "01 03 08 3039 4302 4dac ffff|01 06 7531 0002|01 03 02 10c0|01 86 02|01 83 02");
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
    row("TCP: transaction echoed; units 0 and ff answered, others not", "tcp",
        "1234 0000 0006 01 03 2710 0001|ffff 0000 0006 01 04 0000 0001|0002 0000 0006 00 03 0000 0001|0003 0000 0006 02 03 0000 0001|0004 0001 0006 01 03 0000 0001",
        "1234 0000 0005 01 03 02 00c0|ffff 0000 0003 01 84 01|0002 0000 0005 00 03 02 0000|-|-");
    // Broadcasts are executed unanswered; a bad CRC or another address is not answered.
    row("RTU at address 2", "address:2", "02 06 2722 0000|02 04 0000 0001|01 03 0000 0001|=0203000000018438|00 05 0007 ff00|02 01 0007 0001",
        "02 06 2722 0000|02 84 01|-|-|-|02 01 01 01");
}

void TestSimulator::requests()
{
    QFETCH(QString, setup);
    QFETCH(QString, requests);
    QFETCH(QString, replies);
    ModuleCore core;
    core.setClock([] { return qint64(0); });
    const bool tcp = setup == QLatin1String("tcp");
    static const QStringList keys = { "model", "coil", "inputs", "address", "pin", "reg" };
    for (const QString &item : setup.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList f = item.split(QLatin1Char(':'));
        const auto n = [&f](int i, int base = 10) { return f.at(i).toInt(nullptr, base); };
        switch (keys.indexOf(f.at(0))) {
        case 0: QVERIFY(core.setModel(f.at(1))); break;
        case 1: core.setCoil(n(1), true); break;
        case 2: core.setInputPattern(f.at(1).toULongLong(nullptr, 16)); break;
        case 3: core.setAddress(n(1)); break;
        case 4: core.setAnalogInputValue(n(1), quint16(n(2))); break;
        case 5: core.setHoldingRegister(quint16(n(1, 16)), quint16(n(2, 16))); break;
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

// mbpoll (Debian package mbpoll), an independent Modbus master, against the merovisim program.
// Every model of the catalogue is one the simulator can play, with the catalogue's channels,
// every block the tool reads, and a type code of its own.
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
}

void TestSimulator::mbpoll()
{
    if (QStandardPaths::findExecutable(QStringLiteral("mbpoll")).isEmpty())
        QSKIP("mbpoll is not installed (scripts/test installs it): not checked");
    QProcess sim;
    sim.start(QStringLiteral(MEROVISIM_PATH), QStringLiteral("--tcp 0 --quiet --inputs-pattern 1 --stuck-input 2").split(QLatin1Char(' ')));
    QString log;
    while (!log.contains(QLatin1String("merovisim: ready")) && sim.waitForReadyRead(5000))
        log += QString::fromLocal8Bit(sim.readAllStandardOutput());
    const QString port = QRegularExpression(QStringLiteral("tcp 127\\.0\\.0\\.1:(\\d+)")).match(log).captured(1);
    const QStringList link = { "-m", "tcp", "-p", port, "127.0.0.1" };
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
    // The counts on the way out.
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    log += QString::fromLocal8Bit(sim.readAllStandardOutput());
    QVERIFY2(log.endsWith(QLatin1String("faults: requests=4 clean=3 exceptions=1 dropped=0 muted=0 corrupted=0 garbage=0 delayed=0 split=0 disconnects=0 ignored=0\n")), qPrintable(log));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
