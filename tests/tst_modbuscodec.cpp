#include "QtLibrary/QtTools/qttools.h"
#include "link/modbuscodec.h"

#include <QLocale>
#include <QtTest>

#include <clocale>

// A reply text with its CRC appended the way the module sends it (lower case).
static QString withCrc(const QString &body)
{
    return body + QtTools::crc16Hex(body).toLower();
}

// The same with the codec's own CRC, for bodies that are not all hex digits.
static QString withCodecCrc(const QString &body)
{
    return body + QString::fromLatin1(ModbusCodec::crcText(body.toUtf8()));
}

namespace {

// The tables run under a desktop locale that writes a decimal comma, as the
// application object installs it from the environment; the texts must not follow it.
void useDecimalCommaLocale()
{
    QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"),
             "the locale de_DE.UTF-8 is missing (scripts/test generates it)");
    QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

} // namespace

class TestModbusCodec : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useDecimalCommaLocale(); }
    void analyseAnalog_data();
    void analyseAnalog();
    void analyseIgnoresCaseAndBlanks();
    void readAnalog_data();
    void readAnalog();
    void crcText();
    void formatFixedCutsNotRounds_data();
    void formatFixedCutsNotRounds();
    void trimAndBlanks();
};

void TestModbusCodec::analyseAnalog_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("result");

    QTest::newRow("two registers 4.000 20.000") << withCrc("0103040fa04e20") << "4.000 20.000";
    QTest::newRow("largest register 65.535") << withCrc("010302ffff") << "65.535";
    QTest::newRow("exact thousandths") << withCrc("01030400010bb8") << "0.001 3.000";
    QTest::newRow("byte count 00 gives empty text") << withCrc("010300") << "";
    QTest::newRow("odd byte count ignores the incomplete register") << withCrc("0103030fa04e") << "4.000";
    QTest::newRow("9 characters or fewer") << "010302000" << "03 Analog-Error";
    QTest::newRow("empty") << "" << "03 Analog-Error";
    QTest::newRow("CRC mismatch") << "0103040fa04e200000" << "03 Analog-Analyse CRC Error";
    QTest::newRow("exception reply 83") << withCrc("018302") << "83-Error 02";
    QTest::newRow("other function code") << withCrc("0104020fa0") << "03 Analog-Analyse Not03 Error";
    QTest::newRow("count 02 without data") << withCrc("010302") << "03 analyse MidData Error";
    QTest::newRow("count larger than data") << withCrc("0103040fa0") << "03 analyse MidData Error";
    QTest::newRow("count smaller than data") << withCrc("0103020fa04e20") << "03 analyse MidData Error";
    QTest::newRow("non-hex byte count") << withCodecCrc("0103zz0fa0") << "03 analyse MidData Error";
    QTest::newRow("non-hex register") << withCodecCrc("0103020fzz") << "03 analyse MidData Error";
    const QString sixtyFourBytes = QStringLiteral("0fa0").repeated(32);
    QTest::newRow("32 channels, byte count 0x40")
            << withCrc("010340" + sixtyFourBytes) << QStringLiteral("4.000 ").repeated(31) + "4.000";
}

void TestModbusCodec::analyseAnalog()
{
    QFETCH(QString, reply);
    QFETCH(QString, result);
    const QString analysed = ModbusCodec::analyseAnalog_03(reply);
    QCOMPARE(analysed, result);
    QCOMPARE(analysed.contains(QStringLiteral("error"), Qt::CaseInsensitive),
             result.contains(QStringLiteral("Error")));
}

void TestModbusCodec::analyseIgnoresCaseAndBlanks()
{
    const QString reply = withCrc("0103040fa04e20");
    QCOMPARE(ModbusCodec::analyseAnalog_03(reply.toUpper()), QString("4.000 20.000"));
    QCOMPARE(ModbusCodec::analyseAnalog_03("01 03 04 0F A0 4E 20 " + reply.right(4).toUpper()),
             QString("4.000 20.000"));
    // The network path appends an upper-case CRC to a lower-case body.
    QCOMPARE(ModbusCodec::analyseAnalog_03(QtTools::appendCrc16("0103040fa04e20")),
             QString("4.000 20.000"));
}

void TestModbusCodec::readAnalog_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("frame");

    QTest::newRow("4 channels") << "01" << 0 << 4 << "010300200004";
    QTest::newRow("32 channels, address 0A") << "0A" << 0 << 32 << "0A0300200020";
    QTest::newRow("first channel 3") << "01" << 3 << 1 << "010300230001";
    QTest::newRow("count 65536 is not cut") << "01" << 0 << 65536 << "01030020" "10000";
    QTest::newRow("count 0") << "01" << 0 << 0 << "03 Analog Error";
    QTest::newRow("count above 65536") << "01" << 0 << 65537 << "03 Analog Error";
    QTest::newRow("negative first channel") << "01" << -1 << 4 << "03 Analog Error";
}

void TestModbusCodec::readAnalog()
{
    QFETCH(QString, address);
    QFETCH(int, first);
    QFETCH(int, count);
    QFETCH(QString, frame);
    QCOMPARE(ModbusCodec::readAnalog_03(address, first, count), frame);
}

void TestModbusCodec::crcText()
{
    QCOMPARE(ModbusCodec::crcText("010300000001"), QByteArray("840a"));
    QCOMPARE(ModbusCodec::crcText("0110FDE80001020001"), QByteArray("5c77"));
    QCOMPARE(ModbusCodec::crcText(""), QByteArray());
    // Only whole pairs count.
    QCOMPARE(ModbusCodec::crcText("0103000000017"), QByteArray("840a"));
    QVERIFY(ModbusCodec::crcMatches("010300000001", "840A"));
    QVERIFY(ModbusCodec::crcMatches("0103000000", "840a") == false);
}

void TestModbusCodec::formatFixedCutsNotRounds_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("two thirds cut") << 2.0 / 3.0 << 3 << QByteArray("0.666");
    QTest::newRow("0.9999 cut, not rounded up") << 0.9999 << 3 << QByteArray("0.999");
    QTest::newRow("below the sixth decimal") << 0.0000004 << 3 << QByteArray("0.000");
    QTest::newRow("six decimals kept") << 1.5 << 6 << QByteArray("1.500000");
    QTest::newRow("no decimals") << 12.75 << 0 << QByteArray("12");
    QTest::newRow("thousandths exact") << 4000 / 1000.0 << 3 << QByteArray("4.000");
}

void TestModbusCodec::formatFixedCutsNotRounds()
{
    QFETCH(double, value);
    QFETCH(int, decimals);
    QFETCH(QByteArray, text);
    QCOMPARE(ModbusCodec::formatFixed(value, decimals), text);
}

void TestModbusCodec::trimAndBlanks()
{
    QCOMPARE(ModbusCodec::removeBlanks(" 01 03 0 "), QByteArray("01030"));
    QCOMPARE(ModbusCodec::trim(" \t\n4.000 20.000 \n"), QByteArray("4.000 20.000"));
    QCOMPARE(ModbusCodec::trim("   "), QByteArray());
    QCOMPARE(ModbusCodec::hexField(0x20, 4), QByteArray("0020"));
    QCOMPARE(ModbusCodec::hexField(0x12345, 4), QByteArray("12345"));
}

QTEST_APPLESS_MAIN(TestModbusCodec)
#include "tst_modbuscodec.moc"
