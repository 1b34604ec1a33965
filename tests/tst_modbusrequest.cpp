#include "QtLibrary/QtTools/qttools.h"
#include "link/modbusrequest.h"

#include <QtTest>

using namespace ModbusRequest;

class TestModbusRequest : public QObject
{
    Q_OBJECT

private slots:
    void switchFrames_data();
    void switchFrames();
    void analogFrames_data();
    void analogFrames();
    void analogReadCount_data();
    void analogReadCount();
    void timeoutFrames_data();
    void timeoutFrames();
    void timeoutWriteTooFewStatesForAGroup();
    void networkAndRestart();
    void wireText_data();
    void wireText();
    void blanksDoNotChangeTheWireBytes();
    void exceptionMeanings();
};

void TestModbusRequest::switchFrames_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("expected");

    // The worked example: a 20-output board.
    QTest::newRow("20 outputs, all open") << allOutputs(20, true) << "01100000000204ffffffff";
    QTest::newRow("20 outputs, single choice output 17") << singleChoice(17, 20) << "0110 0000000204" "0000" "0002";
    QTest::newRow("coil 17 on") << singleCoil(17, true) << "01050011FF00";
    QTest::newRow("coil 0 off") << singleCoil(0, false) << "010500000000";
    QTest::newRow("32 outputs, all open") << allOutputs(32, true) << "01100000000204ffffffff";
    QTest::newRow("8 outputs, all close") << allOutputs(8, false) << "01100000000102" "0000";
    QTest::newRow("64 outputs, all close") << allOutputs(64, false) << "01100000000408" + QString("0000").repeated(4);
    QTest::newRow("64 outputs, single choice output 63") << singleChoice(63, 64) << "0110 0000000408" "000000000000" "8000";
    QTest::newRow("single choice output 16 is bit 0 of register 1") << singleChoice(16, 32) << "0110 0000000204" "0000" "0001";
    QTest::newRow("check status, 8 outputs") << checkStatus(8) << "0103 00000001";
    QTest::newRow("check status, 32 outputs") << checkStatus(32) << "0103 00000002";
    QTest::newRow("check status, 64 outputs") << checkStatus(64) << "0103 00000004";
    QTest::newRow("start detecting, 64 inputs") << startDetecting(64) << "010300040004";
    QTest::newRow("start detecting, 16 inputs") << startDetecting(16) << "010300040001";
    QTest::newRow("start detecting, no inputs still reads one register") << startDetecting(0) << "010300040001";
    QTest::newRow("button kind") << buttonKind(12) << "QPushButton_12";
}

void TestModbusRequest::switchFrames()
{
    QFETCH(QString, frame);
    QFETCH(QString, expected);
    QCOMPARE(frame, expected);
}

void TestModbusRequest::analogFrames_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("expected");

    QTest::newRow("read values, 8") << analogOutputRead(AnalogBlock::Value, 8) << "010300090008";
    QTest::newRow("read maxima, 12") << analogOutputRead(AnalogBlock::Max, 12) << "01037594000c";
    QTest::newRow("read modes, 2") << analogOutputRead(AnalogBlock::Mode, 2) << "010375300002";
    QTest::newRow("write maximum 20, channel 3") << analogOutputWrite(AnalogBlock::Max, 3, 20) << "010675970014";
    QTest::newRow("write mode 4, channel 3") << analogOutputWrite(AnalogBlock::Mode, 3, 4) << "010675330004";
    QTest::newRow("write value 5, channel 3") << analogOutputWrite(AnalogBlock::Value, 3, 5) << "0106000c0005";
    QTest::newRow("write value FFFF, channel 11") << analogOutputWrite(AnalogBlock::Value, 11, 0xFFFF) << "01060014ffff";
    QTest::newRow("analog inputs, 32") << analogInputRead("01", 32) << "010300200020";
    QTest::newRow("analog inputs, none") << analogInputRead("01", 0) << "03 Analog Error";
    QTest::newRow("read kinds") << analogOutputReadKind(AnalogBlock::Mode) << "read-Analog-OutputMode";
    QTest::newRow("write kinds, per channel")
        << analogOutputWriteKind(AnalogBlock::Max, 3) << "Analog-OutputMax_3";
}

void TestModbusRequest::analogFrames()
{
    QFETCH(QString, frame);
    QFETCH(QString, expected);
    QCOMPARE(frame, expected);
}

void TestModbusRequest::analogReadCount_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("count");

    QTest::newRow("2 channels") << 2 << 2;
    QTest::newRow("3 channels") << 3 << 8;
    QTest::newRow("8 channels") << 8 << 8;
    QTest::newRow("9 channels keep 2") << 9 << 2;
    QTest::newRow("11 channels keep 2") << 11 << 2;
    QTest::newRow("12 channels") << 12 << 12;
}

void TestModbusRequest::analogReadCount()
{
    QFETCH(int, channels);
    QFETCH(int, count);
    QCOMPARE(analogOutputReadCount(channels), count);
}

void TestModbusRequest::timeoutFrames_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("expected");

    QTest::newRow("read, no outputs") << timeoutRead(-1) << "0103 75300002";
    QTest::newRow("read, 0 outputs") << timeoutRead(0) << "0103 75300004";
    QTest::newRow("read, 8 outputs") << timeoutRead(8) << "0103 75300004";
    QTest::newRow("read, 16 outputs") << timeoutRead(16) << "0103 75300004";
    QTest::newRow("read, 32 outputs") << timeoutRead(32) << "0103 75300006";
    QTest::newRow("read, 64 outputs") << timeoutRead(64) << "0103 7530000A";

    QVector<int> states(16, 0);
    states[0] = 1;
    states[1] = 1;
    states[3] = 2;
    QTest::newRow("one group, 5000 ms") << timeoutWrite(5000, states) << "0110 7530000408" "00001388" "0003" "000B";
    QTest::newRow("70000 ms") << timeoutWrite(70000, QVector<int>(16, 0)) << "0110 7530000408" "00011170" "0000" "0000";
    QTest::newRow("all unchanged") << timeoutWrite(0, QVector<int>(16, 2)) << "0110 7530000408" "00000000" "0000" "FFFF";
    QTest::newRow("no outputs: timeout only") << timeoutWrite(4294967295u, {}) << "0110 7530000204" "FFFFFFFF";

    QVector<int> four(64, 0);
    four[16] = 1;
    four[63] = 2;
    QTest::newRow("64 outputs, groups in order") << timeoutWrite(1000, four)
            << "0110 753000" "0A" "14" "000003E8" "00000000" "00010001" "00000000" "00008000";
}

void TestModbusRequest::timeoutFrames()
{
    QFETCH(QString, frame);
    QFETCH(QString, expected);
    QCOMPARE(frame, expected);
}

void TestModbusRequest::timeoutWriteTooFewStatesForAGroup()
{
    // Fewer than 16 states make no group: only the timeout is written.
    QCOMPARE(timeoutWrite(1, QVector<int>(4, 1)), QString("0110 7530000204" "00000001"));
}

void TestModbusRequest::networkAndRestart()
{
    QCOMPARE(networkRead(), QString("0103 2710 0019"));
    QVector<quint16> registers = { 192, 168, 1, 80, 255, 255, 255, 0, 192, 168, 1, 1, 8080,
                                   192, 168, 1, 100, 4000, 1, 0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e };
    const QString frame = networkWrite(registers);
    QVERIFY(frame.startsWith(QStringLiteral("0110 2710 0019 32")));
    QCOMPARE(QtTools::hexStringToByteArray(frame).size(), 7 + 50);
    QCOMPARE(frame.mid(17 + 12 * 4, 4), QString("1F90"));
    QCOMPARE(frame.mid(17 + 17 * 4, 4), QString("0FA0"));
    QCOMPARE(reboot(), QString("0110fde80001020001"));
    // The reboot frame goes out on the serial line with the CRC bytes 5C 77.
    QCOMPARE(QtTools::hexStringToByteArray(QtTools::appendCrc16(reboot())),
             QByteArray::fromHex("0110fde800010200015c77"));
}

void TestModbusRequest::wireText_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("network");
    QTest::addColumn<QString>("expected");

    QTest::newRow("serial, address substituted, CRC appended")
            << "010300000001" << "01" << false << "010300000001840A";
    QTest::newRow("serial keeps blanks")
            << checkStatus(8) << "01" << false << "0103 00000001840A";
    QTest::newRow("network header")
            << "010300000001" << "01" << true << "000000000006010300000001";
    QTest::newRow("network header counts bytes, not blanks")
            << checkStatus(8) << "0A" << true << "0000000000060A03 00000001";
    QTest::newRow("network, all open on 32 outputs")
            << allOutputs(32, true) << "01" << true << "00000000000B01100000000204ffffffff";
}

void TestModbusRequest::wireText()
{
    QFETCH(QString, frame);
    QFETCH(QString, address);
    QFETCH(bool, network);
    QFETCH(QString, expected);
    QCOMPARE(ModbusRequest::wireText(frame, address, network), expected);
}

void TestModbusRequest::blanksDoNotChangeTheWireBytes()
{
    QCOMPARE(QtTools::hexStringToByteArray("0103 7530 0004"),
             QtTools::hexStringToByteArray("010375300004"));
    QCOMPARE(QtTools::toModbusTcpFrame(QString(networkRead()).remove(QLatin1Char(' '))),
             QString("000000000006010327100019"));
}

void TestModbusRequest::exceptionMeanings()
{
    QCOMPARE(exceptionMeaning(1), QString("Illegal function"));
    QCOMPARE(exceptionMeaning(2), QString("Illegal data address"));
    QCOMPARE(exceptionMeaning(3), QString("Illegal data value"));
    QCOMPARE(exceptionMeaning(4), QString("Slave device failure"));
    QCOMPARE(exceptionMeaning(0x7F), QString("Unknown exception"));
}

QTEST_APPLESS_MAIN(TestModbusRequest)
#include "tst_modbusrequest.moc"
