#include "protocol/modbuscodec.h"
#include "protocol/modbusrequest.h"

#include <QtTest>

using namespace ModbusRequest;

// The request frames as they go on the wire.
class TestModbusRequest : public QObject
{
    Q_OBJECT

private slots:
    void frames_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("expected");

        // Switch outputs and inputs; a 20-output board is the worked example.
        QTest::newRow("20 outputs, all open") << allOutputs(20, true) << "01100000000204ffffffff";
        QTest::newRow("32 outputs, all open") << allOutputs(32, true) << "01100000000204ffffffff";
        QTest::newRow("64 outputs, all close") << allOutputs(64, false) << "01100000000408" "0000000000000000";
        QTest::newRow("20 outputs, single choice 17") << singleChoice(17, 20) << "0110 0000000204" "0000" "0002";
        QTest::newRow("64 outputs, single choice 63") << singleChoice(63, 64) << "0110 0000000408" "000000000000" "8000";
        QTest::newRow("coil 17 on") << singleCoil(17, true) << "01050011FF00";
        QTest::newRow("check status, 64 outputs") << checkStatus(64) << "0103 00000004";
        QTest::newRow("start detecting, 16 inputs") << startDetecting(16) << "010300040001";
        QTest::newRow("start detecting, no inputs reads one register") << startDetecting(0) << "010300040001";

        // Analog inputs and outputs.
        QTest::newRow("analog inputs, 32 at 0A") << analogInputRead("0A", 32) << "0A0300200020";
        QTest::newRow("analog inputs, none") << analogInputRead("01", 0) << "03 Analog Error";
        QTest::newRow("analog input 3 alone") << ModbusCodec::readAnalog_03("01", 3, 1) << "010300230001";
        QTest::newRow("analog inputs, above 65536") << ModbusCodec::readAnalog_03("01", 0, 65537) << "03 Analog Error";
        QTest::newRow("read output values, 8") << analogOutputRead(AnalogBlock::Value, 8) << "010300090008";
        QTest::newRow("read output maxima, 12") << analogOutputRead(AnalogBlock::Max, 12) << "01037594000c";
        QTest::newRow("write mode 4, channel 3") << analogOutputWrite(AnalogBlock::Mode, 3, 4) << "010675330004";
        QTest::newRow("write value FFFF, channel 11") << analogOutputWrite(AnalogBlock::Value, 11, 0xFFFF) << "01060014ffff";
        // One kind per channel: writes to two channels are never duplicates of each other.
        QTest::newRow("write kind per channel") << analogOutputWriteKind(AnalogBlock::Max, 3) << "Analog-OutputMax_3";
        QTest::newRow("3 outputs read 8") << QString::number(analogOutputReadCount(3)) << "8";
        QTest::newRow("8 outputs read 8") << QString::number(analogOutputReadCount(8)) << "8";
        QTest::newRow("9 outputs read 2") << QString::number(analogOutputReadCount(9)) << "2";
        QTest::newRow("12 outputs read 12") << QString::number(analogOutputReadCount(12)) << "12";

        // Communication time-out block: timeout, then OR and AND masks per 16 outputs.
        QTest::newRow("time-out read, no outputs") << timeoutRead(-1) << "0103 75300002";
        QTest::newRow("time-out read, 16 outputs") << timeoutRead(16) << "0103 75300004";
        QTest::newRow("time-out read, 64 outputs") << timeoutRead(64) << "0103 7530000A";
        QVector<int> states(16, 0);
        states[0] = 1;
        states[1] = 1;
        states[3] = 2;
        QTest::newRow("time-out write, one group") << timeoutWrite(5000, states)
                << "0110 7530000408" "00001388" "0003" "000B";
        QVector<int> four(64, 0);
        four[16] = 1;
        four[63] = 2;
        QTest::newRow("time-out write, 64 outputs in order") << timeoutWrite(1000, four)
                << "0110 753000" "0A" "14" "000003E8" "00000000" "00010001" "00000000" "00008000";
        QTest::newRow("time-out write, no outputs, 70000 ms") << timeoutWrite(70000, {})
                << "0110 7530000204" "00011170";

        // Network block and restart.
        QTest::newRow("network read") << networkRead() << "0103 2710 0019";
        QTest::newRow("network write") << networkWrite({ 192, 8080 }) << "0110 2710 0019 32" "00C0" "1F90";
        QTest::newRow("reboot") << reboot() << "0110fde80001020001";

        // On the wire: the device address replaces 01; serial appends the CRC, TCP
        // prefixes the header whose length counts bytes, not blanks.
        QTest::newRow("serial wire text") << wireText(checkStatus(8), "0A", false) << "0A03 00000001" "8571";
        QTest::newRow("network wire text") << wireText(networkRead(), "01", true) << "000000000006" "0103 2710 0019";
    }

    void frames()
    {
        QFETCH(QString, frame);
        QFETCH(QString, expected);
        QCOMPARE(frame, expected);
    }
};

QTEST_APPLESS_MAIN(TestModbusRequest)
#include "tst_modbusrequest.moc"
