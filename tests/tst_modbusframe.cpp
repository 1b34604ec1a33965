#include "protocol/modbusframe.h"

#include <QtTest>

// Where a reply or a Modbus TCP frame ends in received bytes, and whether its CRC holds.
// The CRCs here come from a bitwise CRC-16, not from the table the tool uses.
class TestModbusFrame : public QObject
{
    Q_OBJECT

private slots:
    void rtu_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("shape");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("crcOk");

        using S = ModbusFrame::Shape;
        QTest::newRow("read reply, 1 register, CRC 3843") << "010302000a3843" << 0 << int(S::Complete) << 7 << true;
        QTest::newRow("read reply, CRC bytes swapped") << "010302000a4338" << 0 << int(S::Complete) << 7 << false;
        QTest::newRow("read reply behind two bytes of noise") << "ffee010302000a3843" << 2 << int(S::Complete) << 7 << true;
        QTest::newRow("read reply and more behind it") << "010302000a384301" << 0 << int(S::Complete) << 7 << true;
        QTest::newRow("read reply one byte short") << "010302000a38" << 0 << int(S::Incomplete) << 0 << false;
        QTest::newRow("address alone") << "01" << 0 << int(S::Incomplete) << 0 << false;
        QTest::newRow("read without its byte count yet") << "0103" << 0 << int(S::Incomplete) << 0 << false;
        QTest::newRow("byte count 250, the most") << "0103fa" << 0 << int(S::Incomplete) << 0 << false;
        QTest::newRow("byte count 251") << "0103fb6173" << 0 << int(S::BadLength) << 0 << false;
        QTest::newRow("write single coil echo, CRC DC3F") << "01050011ff00dc3f" << 0 << int(S::Complete) << 8 << true;
        QTest::newRow("write multiple registers echo, bad CRC") << "011000000002ffff" << 0 << int(S::Complete) << 8 << false;
        QTest::newRow("write 0F echo seven bytes") << "010f0000000801" << 0 << int(S::Incomplete) << 0 << false;
        QTest::newRow("exception 02 to a read, CRC C0F1") << "018302c0f1" << 0 << int(S::Complete) << 5 << true;
        QTest::newRow("exception with a bad CRC") << "018302c0f2" << 0 << int(S::Complete) << 5 << false;
        QTest::newRow("exception four bytes") << "018302c0" << 0 << int(S::Incomplete) << 0 << false;
        QTest::newRow("function 04, not ours") << "010402000a" << 0 << int(S::UnknownFunction) << 0 << false;
        QTest::newRow("function 07, not ours") << "0107" << 0 << int(S::UnknownFunction) << 0 << false;
        QTest::newRow("start past the end") << "0103" << 5 << int(S::Incomplete) << 0 << false;
    }

    void rtu()
    {
        QFETCH(QString, hex);
        QFETCH(int, at);
        QFETCH(int, shape);
        QFETCH(int, length);
        QFETCH(bool, crcOk);
        const ModbusFrame::Rtu frame = ModbusFrame::parseRtu(QByteArray::fromHex(hex.toLatin1()), at);
        QCOMPARE(int(frame.shape), shape);
        QCOMPARE(frame.length, length);
        QCOMPARE(frame.crcOk, crcOk);
    }

    void tcp_data()
    {
        QTest::addColumn<QString>("hex");
        QTest::addColumn<int>("shape");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("transaction");
        QTest::addColumn<int>("unit");

        using S = ModbusFrame::Shape;
        QTest::newRow("read reply") << "000000000005" "010302000a" << int(S::Complete) << 11 << 0 << 1;
        QTest::newRow("transaction 7, unit 0x21") << "000700000003" "218302" << int(S::Complete) << 9 << 7 << 0x21;
        QTest::newRow("header alone") << "000000000005" << int(S::Incomplete) << 0 << 0 << 0;
        QTest::newRow("five header bytes") << "0000000000" << int(S::Incomplete) << 0 << 0 << 0;
        QTest::newRow("one byte short") << "000000000005" "010302000a"
                                           "000000000006" "01030200" << int(S::Complete) << 11 << 0 << 1;
        QTest::newRow("length 1: no function code") << "000000000001" "01" << int(S::BadLength) << 0 << 0 << 0;
        QTest::newRow("length 254, the most") << "0000000000fe" "01" << int(S::Incomplete) << 0 << 0 << 0;
        QTest::newRow("length 255") << "0000000000ff" "01" << int(S::BadLength) << 0 << 0 << 0;
    }

    void tcp()
    {
        QFETCH(QString, hex);
        QFETCH(int, shape);
        QFETCH(int, length);
        QFETCH(int, transaction);
        QFETCH(int, unit);
        const ModbusFrame::Tcp frame = ModbusFrame::parseTcp(QByteArray::fromHex(hex.toLatin1()));
        QCOMPARE(int(frame.shape), shape);
        QCOMPARE(frame.length, length);
        QCOMPARE(int(frame.transaction), transaction);
        QCOMPARE(int(frame.unit), unit);
    }
};

QTEST_GUILESS_MAIN(TestModbusFrame)
#include "tst_modbusframe.moc"
