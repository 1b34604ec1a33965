#include "link/analogconversion.h"

#include <QtTest>

using namespace AnalogConversion;

namespace {

const OutputMode &mode(const QString &text)
{
    const int index = modeIndexForText(text);
    Q_ASSERT(index >= 0);
    return modes().at(index);
}

} // namespace

// Conversions of the analog output panel between physical values and registers.
class TestAnalogConversion : public QObject
{
    Q_OBJECT

private slots:
    void modeForWord_data();
    void modeForWord();
    void unknownModeText();

    void maximumFromPrecision_data();
    void maximumFromPrecision();
    void precisionForMaximum_data();
    void precisionForMaximum();
    void shownPrecisionGivesItsMaximumBack();

    void valueRegisterFromValue_data();
    void valueRegisterFromValue();
    void valueFromReadBack_data();
    void valueFromReadBack();
    void shownValueGivesItsRegisterBack();

    void fieldNumber_data();
    void fieldNumber();
};

void TestAnalogConversion::modeForWord_data()
{
    QTest::addColumn<int>("word");
    QTest::addColumn<QString>("text");

    QTest::newRow("0000 is 4~20mA") << 0x0000 << "4~20mA";
    QTest::newRow("FFFF of a fresh module is 4~20mA") << 0xFFFF << "4~20mA";
    QTest::newRow("0001") << 0x0001 << "0~20mA";
    QTest::newRow("0002") << 0x0002 << "1~5V";
    QTest::newRow("0003") << 0x0003 << "0~5V";
    QTest::newRow("0004") << 0x0004 << "0~10V";
    QTest::newRow("0005 unknown") << 0x0005 << QString();
    QTest::newRow("0100 unknown") << 0x0100 << QString();
    QTest::newRow("FFFE unknown") << 0xFFFE << QString();
}

void TestAnalogConversion::modeForWord()
{
    QFETCH(int, word);
    QFETCH(QString, text);
    const int index = modeIndexForWord(quint16(word));
    if (text.isEmpty())
        QCOMPARE(index, -1);
    else
        QCOMPARE(QString::fromLatin1(modes().at(index).text), text);
}

void TestAnalogConversion::unknownModeText()
{
    QCOMPARE(modeIndexForText(QStringLiteral("0~24V")), -1);
    QCOMPARE(modeIndexForText(QString()), -1);
    QCOMPARE(modeIndexForText(QStringLiteral("0~10v")), -1);
}

void TestAnalogConversion::maximumFromPrecision_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<double>("precision");
    QTest::addColumn<int>("maximum");

    QTest::newRow("0~10V precision 0.5") << "0~10V" << 0.5 << 20;
    QTest::newRow("0~5V precision 0.25") << "0~5V" << 0.25 << 20;
    QTest::newRow("4~20mA precision 0.001") << "4~20mA" << 0.001 << 16000;
    QTest::newRow("1~5V precision 0.001") << "1~5V" << 0.001 << 4000;
    QTest::newRow("0~10V precision 0.3 truncated") << "0~10V" << 0.3 << 33;
    QTest::newRow("0~10V precision 0.1 without noise") << "0~10V" << 0.1 << 100;
    QTest::newRow("0~10V precision 30 above top") << "0~10V" << 30.0 << 0;
    QTest::newRow("0~10V precision equal to top") << "0~10V" << 10.0 << 1;
    QTest::newRow("4~20mA precision 18 between interval and top") << "4~20mA" << 18.0 << 0;
    QTest::newRow("4~20mA precision 21 above top") << "4~20mA" << 21.0 << 0;
    QTest::newRow("0~10V precision 0 is the limit") << "0~10V" << 0.0 << 0xFFFF;
    QTest::newRow("0~10V precision below interval/65535") << "0~10V" << 0.0001 << 0xFFFF;
    QTest::newRow("0~10V precision exactly interval/65535") << "0~10V" << 10.0 / 65535 << 0xFFFF;
    QTest::newRow("negative precision is the limit") << "0~5V" << -1.0 << 0xFFFF;
    QTest::newRow("0~10V shown precision 1.66667 of maximum 6") << "0~10V" << 1.66667 << 6;
    QTest::newRow("0~5V shown precision 0.000305176 of 4000") << "0~5V" << 0.000305176 << 0x4000;
}

void TestAnalogConversion::maximumFromPrecision()
{
    QFETCH(QString, mode);
    QFETCH(double, precision);
    QFETCH(int, maximum);
    QCOMPARE(int(maximumRegister(::mode(mode), precision)), maximum);
}

void TestAnalogConversion::precisionForMaximum_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("text");

    QTest::newRow("4~20mA maximum 0 shows the top") << "4~20mA" << 0 << "20";
    QTest::newRow("0~20mA maximum 0 shows the top") << "0~20mA" << 0 << "20";
    QTest::newRow("1~5V maximum 0 shows the top") << "1~5V" << 0 << "5";
    QTest::newRow("0~5V maximum 0 shows the top") << "0~5V" << 0 << "5";
    QTest::newRow("0~10V maximum 0 shows the top") << "0~10V" << 0 << "10";
    QTest::newRow("0~10V maximum 20") << "0~10V" << 20 << "0.5";
    QTest::newRow("0~5V maximum 4000 hex") << "0~5V" << 0x4000 << "0.000305176";
    QTest::newRow("0~10V maximum 6, six digits") << "0~10V" << 6 << "1.66667";
    QTest::newRow("4~20mA maximum 16000") << "4~20mA" << 16000 << "0.001";
}

void TestAnalogConversion::precisionForMaximum()
{
    QFETCH(QString, mode);
    QFETCH(int, maximum);
    QFETCH(QString, text);
    QCOMPARE(precisionText(::mode(mode), quint16(maximum)), text);
}

void TestAnalogConversion::shownPrecisionGivesItsMaximumBack()
{
    // Read back, then written again unchanged: the module must keep its maximum.
    for (const OutputMode &m : modes()) {
        for (int maximum = 1; maximum <= 0xFFFF; ++maximum) {
            const double shown = precisionText(m, quint16(maximum)).toDouble();
            const int again = maximumRegister(m, shown);
            if (again != maximum)
                QFAIL(qPrintable(QStringLiteral("%1: maximum %2 came back as %3")
                                         .arg(QLatin1String(m.text)).arg(maximum).arg(again)));
        }
    }
}

void TestAnalogConversion::valueRegisterFromValue_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("precision");
    QTest::addColumn<int>("typedMaximum");
    QTest::addColumn<int>("expected");

    QTest::newRow("0~10V 2.5 V at 0.5") << "0~10V" << 2.5 << 0.5 << 20 << 5;
    QTest::newRow("0~5V 1.25 V at 0.25") << "0~5V" << 1.25 << 0.25 << 20 << 5;
    QTest::newRow("4~20mA below 4") << "4~20mA" << 3.9 << 0.001 << 16000 << 0;
    QTest::newRow("4~20mA 0 mA") << "4~20mA" << 0.0 << 0.001 << 16000 << 0;
    QTest::newRow("4~20mA exactly 4") << "4~20mA" << 4.0 << 0.001 << 16000 << 0;
    QTest::newRow("4~20mA 12 mA") << "4~20mA" << 12.0 << 0.001 << 16000 << 8000;
    QTest::newRow("4~20mA exactly 20") << "4~20mA" << 20.0 << 0.001 << 16000 << 16000;
    QTest::newRow("4~20mA above 20 writes the typed maximum") << "4~20mA" << 20.5 << 0.001 << 0x1234 << 0x1234;
    QTest::newRow("1~5V below 1") << "1~5V" << 0.5 << 0.001 << 4000 << 0;
    QTest::newRow("1~5V 3 V") << "1~5V" << 3.0 << 0.001 << 4000 << 2000;
    QTest::newRow("0~20mA 20 mA at 0.5") << "0~20mA" << 20.0 << 0.5 << 40 << 40;
    QTest::newRow("0~10V 0.7 V at 0.1 is 7, not 6") << "0~10V" << 0.7 << 0.1 << 100 << 7;
    QTest::newRow("0~10V 6 V at 0.3 uses the real maximum") << "0~10V" << 6.0 << 0.3 << 33 << 20;
    QTest::newRow("0~10V 5.9 V at 0.3 truncated") << "0~10V" << 5.9 << 0.3 << 33 << 19;
    QTest::newRow("0~10V top at 0.3") << "0~10V" << 10.0 << 0.3 << 33 << 33;
    QTest::newRow("0~10V precision 30 gives 0") << "0~10V" << 5.0 << 30.0 << 0 << 0;
    QTest::newRow("0~10V precision 0 scales to FFFF") << "0~10V" << 10.0 << 0.0 << 0xFFFF << 0xFFFF;
    QTest::newRow("0~10V half at precision 0 truncated") << "0~10V" << 5.0 << 0.0 << 0xFFFF << 32767;
    QTest::newRow("0~10V 5 V at shown precision 1.66667") << "0~10V" << 5.0 << 1.66667 << 6 << 3;
    QTest::newRow("0~10V above top with an empty maximum field") << "0~10V" << 11.0 << 0.5 << 0 << 0;
}

void TestAnalogConversion::valueRegisterFromValue()
{
    QFETCH(QString, mode);
    QFETCH(double, value);
    QFETCH(double, precision);
    QFETCH(int, typedMaximum);
    QFETCH(int, expected);
    QCOMPARE(int(valueRegister(::mode(mode), value, precision, quint16(typedMaximum))), expected);
}

void TestAnalogConversion::valueFromReadBack_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<QString>("text");

    QTest::newRow("0~5V 2000 of 4000 hex") << "0~5V" << 0x2000 << 0x4000 << "2.5";
    QTest::newRow("0~10V 5 of 20") << "0~10V" << 5 << 20 << "2.5";
    QTest::newRow("4~20mA bottom") << "4~20mA" << 0 << 16000 << "4";
    QTest::newRow("4~20mA middle") << "4~20mA" << 8000 << 16000 << "12";
    QTest::newRow("1~5V middle") << "1~5V" << 2000 << 4000 << "3";
    QTest::newRow("0~10V FFFF of FFFF") << "0~10V" << 0xFFFF << 0xFFFF << "10";
    QTest::newRow("4~20mA fresh module FFFF of FFFF") << "4~20mA" << 0xFFFF << 0xFFFF << "20";
    QTest::newRow("maximum 0 shows 0.000") << "0~10V" << 5 << 0 << "0.000";
    QTest::newRow("six significant digits") << "0~10V" << 1 << 7 << "1.42857";
}

void TestAnalogConversion::valueFromReadBack()
{
    QFETCH(QString, mode);
    QFETCH(int, value);
    QFETCH(int, maximum);
    QFETCH(QString, text);
    QCOMPARE(physicalValueText(::mode(mode), quint16(value), quint16(maximum)), text);
}

void TestAnalogConversion::shownValueGivesItsRegisterBack()
{
    // The fields after a read-back, written again unchanged, give the same registers.
    const QVector<int> maxima = { 1, 2, 3, 6, 7, 20, 33, 99, 100, 333, 1000, 4095, 16000, 0x4000 };
    for (const OutputMode &m : modes()) {
        for (int maximum : maxima) {
            const double precision = precisionText(m, quint16(maximum)).toDouble();
            for (int value = 0; value <= maximum; ++value) {
                const double shown = physicalValueText(m, quint16(value), quint16(maximum)).toDouble();
                const int again = valueRegister(m, shown, precision, quint16(maximum));
                if (again != value)
                    QFAIL(qPrintable(QStringLiteral("%1: %2 of %3 came back as %4")
                                             .arg(QLatin1String(m.text)).arg(value).arg(maximum).arg(again)));
            }
        }
    }
}

void TestAnalogConversion::fieldNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("number");

    QTest::newRow("decimal") << "2.5" << 2.5;
    QTest::newRow("decimal comma") << "2,5" << 2.5;
    QTest::newRow("comma and point") << "1,234.5" << 0.0;
    QTest::newRow("two commas") << "1,2,5" << 0.0;
    QTest::newRow("blanks around") << " 3 " << 3.0;
    QTest::newRow("exponent as shown for small precisions") << "6.10361e-05" << 6.10361e-05;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("not a number") << "abc" << 0.0;
    QTest::newRow("nan") << "nan" << 0.0;
    QTest::newRow("inf") << "inf" << 0.0;
}

void TestAnalogConversion::fieldNumber()
{
    QFETCH(QString, text);
    QFETCH(double, number);
    QCOMPARE(AnalogConversion::fieldNumber(text), number);
}

QTEST_APPLESS_MAIN(TestAnalogConversion)
#include "tst_analogconversion.moc"
