#include "QtLibrary/QtTools/qttools.h"

#include <QRandomGenerator>
#include <QtTest>

// Bitwise Modbus CRC-16 (0xA001 reflected, start 0xFFFF), independent of the tables.
static quint16 bitwiseCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= uchar(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    // The tool keeps the first wire byte (the low byte of the register) in the high half.
    return quint16((crc & 0xFF) << 8 | crc >> 8);
}

class TestQtTools : public QObject
{
    Q_OBJECT

private slots:
    void hexStringToByteArray_data();
    void hexStringToByteArray();
    void toHex_data();
    void toHex();
    void readers();
    void crc16Examples_data();
    void crc16Examples();
    void crc16MatchesBitwiseRule();
    void crc16LengthIsEightBits();
    void checkCrc16CaseRule_data();
    void checkCrc16CaseRule();
    void frameWrapping();
};

void TestQtTools::hexStringToByteArray_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");

    QTest::newRow("blanks between pairs") << "5363 616E 4465" << QByteArray::fromHex("5363616E4465") << true;
    QTest::newRow("odd final digit dropped") << "abc" << QByteArray::fromHex("ab") << true;
    QTest::newRow("mixed case") << "aBcD" << QByteArray::fromHex("abcd") << true;
    QTest::newRow("leading and trailing blanks") << "  01 03  " << QByteArray::fromHex("0103") << true;
    QTest::newRow("empty") << "" << QByteArray() << true;
    QTest::newRow("non-hex stops, bytes so far kept") << "0103zz05" << QByteArray::fromHex("0103") << false;
    QTest::newRow("non-hex second digit") << "0g" << QByteArray() << false;
    QTest::newRow("blank inside a pair") << "0 1" << QByteArray() << false;
    QTest::newRow("non-hex odd final character") << "01x" << QByteArray::fromHex("01") << false;
    QTest::newRow("non-latin character") << QString::fromUtf8("01开") << QByteArray::fromHex("01") << false;
}

void TestQtTools::hexStringToByteArray()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    bool converted = !ok;
    QCOMPARE(QtTools::hexStringToByteArray(text, &converted), bytes);
    QCOMPARE(converted, ok);
    QCOMPARE(QtTools::hexStringToByteArray(text), bytes);
}

void TestQtTools::toHex_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero is four digits") << 0u << "0000";
    QTest::newRow("upper case") << 0x840Au << "840A";
    QTest::newRow("largest 16-bit") << 0xFFFFu << "FFFF";
    QTest::newRow("above 16 bits is eight digits") << 0x10000u << "00010000";
    QTest::newRow("0x12345") << 0x12345u << "00012345";
    QTest::newRow("largest 32-bit") << 0xFFFFFFFFu << "FFFFFFFF";
}

void TestQtTools::toHex()
{
    QFETCH(quint32, value);
    QFETCH(QString, text);
    QCOMPARE(QtTools::toHex(value), text);
}

void TestQtTools::readers()
{
    const QByteArray ff38 = QByteArray::fromHex("FF38");
    QCOMPARE(QtTools::byteArrayToShort(ff38), qint16(-200));
    QCOMPARE(QtTools::byteArrayToUShort(ff38), quint16(65336));
    QCOMPARE(QtTools::byteArrayToShort(QByteArray::fromHex("FF")), qint16(255));
    QCOMPARE(QtTools::byteArrayToUShort(QByteArray()), quint16(0));
    QCOMPARE(QtTools::byteArrayToUShort(QByteArray::fromHex("123456")), quint16(0x1234));
    QCOMPARE(QtTools::byteArrayToUInt(QByteArray::fromHex("1234")), 0x1234u);
    QCOMPARE(QtTools::byteArrayToUInt(QByteArray::fromHex("123456")), 0x12345600u);
    QCOMPARE(QtTools::byteArrayToUInt(QByteArray::fromHex("DEADBEEF01")), 0xDEADBEEFu);
    QCOMPARE(QtTools::byteArrayToULongLong(QByteArray::fromHex("01020304")), quint64(0x01020304));
    QCOMPARE(QtTools::byteArrayToULongLong(QByteArray::fromHex("0102030405")),
             quint64(0x0102030405000000ull));
    QCOMPARE(QtTools::byteArrayToLongLong(QByteArray::fromHex("FFFFFFFFFFFFFFFE")), qint64(-2));
}

void TestQtTools::crc16Examples_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("crc");

    QTest::newRow("read 1 register, CRC 840A") << "010300000001" << "840A";
    QTest::newRow("blanks ignored") << "0103 0000 0001" << "840A";
    QTest::newRow("reboot frame, CRC 5C77") << "0110fde80001020001" << "5C77";
    QTest::newRow("ScanDevice, CRC 165A")
            << QString::fromLatin1(QByteArray("ScanDevice").toHex()) << "165A";
    QTest::newRow("empty text gives empty CRC") << "" << "";
    QTest::newRow("blanks only give empty CRC") << "   " << "";
}

void TestQtTools::crc16Examples()
{
    QFETCH(QString, frame);
    QFETCH(QString, crc);
    QCOMPARE(QtTools::crc16Hex(frame), crc);
}

void TestQtTools::crc16MatchesBitwiseRule()
{
    QRandomGenerator random(20261206);
    for (int round = 0; round < 5000; ++round) {
        QByteArray bytes(int(random.bounded(1, 256)), Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        const quint16 table = QtTools::crc16(reinterpret_cast<const uchar *>(bytes.constData()),
                                             quint8(bytes.size()));
        QCOMPARE(table, bitwiseCrc(bytes));
    }
    QCOMPARE(QtTools::crc16(nullptr, 0), quint16(0xFFFF));
}

void TestQtTools::crc16LengthIsEightBits()
{
    // 257 bytes: the length counts modulo 256, so only the first byte is covered.
    QByteArray bytes(257, '\x5A');
    QCOMPARE(QtTools::crc16Hex(QString::fromLatin1(bytes.toHex())),
             QtTools::toHex(bitwiseCrc(bytes.left(1))));
}

void TestQtTools::checkCrc16CaseRule_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("crc");
    QTest::addColumn<bool>("match");

    QTest::newRow("lower-case received CRC matches") << "010300000001" << "840a" << true;
    QTest::newRow("upper-case received CRC does not") << "010300000001" << "840A" << false;
    QTest::newRow("wrong CRC") << "010300000001" << "840b" << false;
    QTest::newRow("upper-case frame, lower-case CRC") << "0110FDE80001020001" << "5c77" << true;
}

void TestQtTools::checkCrc16CaseRule()
{
    QFETCH(QString, frame);
    QFETCH(QString, crc);
    QFETCH(bool, match);
    QCOMPARE(QtTools::checkCrc16(frame, crc), match);
}

void TestQtTools::frameWrapping()
{
    QCOMPARE(QtTools::appendCrc16("010300000001"), QString("010300000001840A"));
    QCOMPARE(QtTools::appendCrc16("0103 0000 0001"), QString("0103 0000 0001840A"));
    QCOMPARE(QtTools::toModbusTcpFrame("010300000001"), QString("000000000006010300000001"));
    QCOMPARE(QtTools::toModbusTcpFrame("0103271000" "19"), QString("000000000006010327100019"));
    // The network block write: 7 header bytes + 50 data bytes.
    QCOMPARE(QtTools::toModbusTcpFrame(QString(118, QLatin1Char('0'))).mid(8, 4), QString("003B"));
}

QTEST_APPLESS_MAIN(TestQtTools)
#include "tst_qttools.moc"
