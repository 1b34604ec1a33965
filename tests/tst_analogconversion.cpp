#include "QtLibrary/QtTools/qttools.h"
#include "protocol/analogconversion.h"
#include "protocol/modbuscodec.h"

#include <QLocale>
#include <QtTest>

#include <clocale>

using namespace AnalogConversion;

namespace {

// A reply text with its CRC appended the way the module sends it (lower case).
QString withCrc(const QString &body)
{
    return body + QtTools::crc16Hex(body).toLower();
}

const OutputMode &mode(const QString &text)
{
    const int index = modeIndexForText(text);
    Q_ASSERT(index >= 0);
    return modes().at(index);
}

} // namespace

// Analog values between registers and the texts the operator reads and types:
// input replies as values, output values and precisions as registers and back.
class TestAnalogConversion : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A desktop locale that writes a decimal comma, as the application object
        // installs it from the environment; the texts must not follow it.
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8"),
                 "the locale de_DE.UTF-8 is missing (scripts/test generates it)");
        QCOMPARE(QByteArray(std::localeconv()->decimal_point), QByteArray(","));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void inputReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("result");

        QTest::newRow("largest register") << withCrc("010302ffff") << "65.535";
        // The network link appends an upper-case CRC to the reply it received.
        QTest::newRow("blanks, upper-case CRC") << "01 03 04 0f a0 4e 20 " + QtTools::crc16Hex("0103040fa04e20")
                                                << "4.000 20.000";
        QTest::newRow("9 characters or fewer") << "010302000" << "03 Analog-Error";
        QTest::newRow("CRC mismatch") << "0103040fa04e200000" << "03 Analog-Analyse CRC Error";
        QTest::newRow("exception reply 83") << withCrc("018302") << "83-Error 02";
        QTest::newRow("other function code") << withCrc("0104020fa0") << "03 Analog-Analyse Not03 Error";
        QTest::newRow("count smaller than data") << withCrc("0103020fa04e20") << "03 analyse MidData Error";
    }

    void inputReply()
    {
        QFETCH(QString, reply);
        QFETCH(QString, result);
        QCOMPARE(ModbusCodec::analyseAnalog_03(reply), result);
    }

    void outputFields_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("precision");
        QTest::addColumn<int>("typedMaximum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("registerValue");

        QTest::newRow("0~10V 2,5 at 0,5") << "0~10V" << "2,5" << "0,5" << 20 << 20 << 5;
        QTest::newRow("4~20mA below 4") << "4~20mA" << "3.9" << "0.001" << 16000 << 16000 << 0;
        QTest::newRow("above the top writes the typed maximum") << "4~20mA" << "20.5" << "0.001" << 0x1234 << 16000 << 0x1234;
        QTest::newRow("1~5V 3 at 0.001") << "1~5V" << " 3 " << "0.001" << 4000 << 4000 << 2000;
        QTest::newRow("6 at 0.3 from the real maximum") << "0~10V" << "6" << "0.3" << 33 << 33 << 20;
        QTest::newRow("5.9 at 0.3 truncated") << "0~10V" << "5.9" << "0.3" << 33 << 33 << 19;
        QTest::newRow("precision above the top") << "0~10V" << "5" << "30" << 0 << 0 << 0;
        QTest::newRow("precision equal to the top") << "0~10V" << "10" << "10" << 1 << 1 << 1;
        QTest::newRow("precision 0 is the register limit") << "0~10V" << "5" << "0" << 0xFFFF << 0xFFFF << 32767;
        QTest::newRow("inf precision") << "0~10V" << "10" << "inf" << 0xFFFF << 0xFFFF << 0xFFFF;
        QTest::newRow("comma and point is no number") << "0~10V" << "1,234.5" << "0.5" << 20 << 20 << 0;
    }

    void outputFields()
    {
        QFETCH(QString, mode);
        QFETCH(QString, value);
        QFETCH(QString, precision);
        QFETCH(int, typedMaximum);
        QFETCH(int, maximum);
        QFETCH(int, registerValue);
        const double typedPrecision = fieldNumber(precision);
        QCOMPARE(int(maximumRegister(::mode(mode), typedPrecision)), maximum);
        QCOMPARE(int(valueRegister(::mode(mode), fieldNumber(value), typedPrecision, quint16(typedMaximum))),
                 registerValue);
    }

    void outputReadBack_data()
    {
        QTest::addColumn<int>("modeWord");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("mode"); // empty: unknown
        QTest::addColumn<QString>("valueText");
        QTest::addColumn<QString>("precisionText");

        QTest::newRow("fresh module: FFFF everywhere") << 0xFFFF << 0xFFFF << 0xFFFF << "4~20mA" << "20" << "0.000244144";
        QTest::newRow("4~20mA bottom") << 0x0000 << 0 << 16000 << "4~20mA" << "4" << "0.001";
        QTest::newRow("1~5V middle") << 0x0002 << 2000 << 4000 << "1~5V" << "3" << "0.001";
        QTest::newRow("six significant digits") << 0x0004 << 1 << 7 << "0~10V" << "1.42857" << "1.42857";
        QTest::newRow("maximum 0") << 0x0004 << 5 << 0 << "0~10V" << "0.000" << "10";
        QTest::newRow("unknown mode") << 0x0005 << 0 << 0 << "" << "" << "";
    }

    void outputReadBack()
    {
        QFETCH(int, modeWord);
        QFETCH(int, value);
        QFETCH(int, maximum);
        QFETCH(QString, mode);
        QFETCH(QString, valueText);
        QFETCH(QString, precisionText);
        const int index = modeIndexForWord(quint16(modeWord));
        if (mode.isEmpty()) {
            QCOMPARE(index, -1);
            return;
        }
        const OutputMode &m = modes().at(index);
        QCOMPARE(QLatin1String(m.text), mode);
        QCOMPARE(physicalValueText(m, quint16(value), quint16(maximum)), valueText);
        QCOMPARE(AnalogConversion::precisionText(m, quint16(maximum)), precisionText);
    }

    void readBackWrittenAgainIsKept()
    {
        // The fields after a read-back, written again unchanged, give the same registers.
        for (const OutputMode &m : modes()) {
            for (int maximum = 1; maximum <= 0xFFFF; ++maximum)
                QCOMPARE(int(maximumRegister(m, precisionText(m, quint16(maximum)).toDouble())), maximum);
            for (int maximum : { 1, 2, 3, 6, 7, 20, 33, 99, 100, 333, 1000, 4095, 16000, 0x4000 }) {
                const double precision = precisionText(m, quint16(maximum)).toDouble();
                for (int value = 0; value <= maximum; ++value) {
                    const double shown = physicalValueText(m, quint16(value), quint16(maximum)).toDouble();
                    QCOMPARE(int(valueRegister(m, shown, precision, quint16(maximum))), value);
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(TestAnalogConversion)
#include "tst_analogconversion.moc"
