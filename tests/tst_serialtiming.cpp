#include "protocol/serialtiming.h"

#include <QtTest>

// Character time and the silence that ends an RTU frame, per rate and framing.
class TestSerialTiming : public QObject
{
    Q_OBJECT

private slots:
    void timing_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<bool>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("characterUs");
        QTest::addColumn<int>("silenceUs");

        QTest::newRow("9600 8E1: 11 bits") << 9600 << 8 << true << 1 << 1146 << 4010;
        QTest::newRow("9600 8N2: 11 bits") << 9600 << 8 << false << 2 << 1146 << 4010;
        QTest::newRow("9600 8N1: 10 bits") << 9600 << 8 << false << 1 << 1042 << 3646;
        QTest::newRow("9600 7E1: 10 bits") << 9600 << 7 << true << 1 << 1042 << 3646;
        QTest::newRow("1200 8E1") << 1200 << 8 << true << 1 << 9167 << 32083;
        QTest::newRow("19200 still counts characters") << 19200 << 8 << true << 1 << 573 << 2005;
        QTest::newRow("38400: the fixed 1750 us") << 38400 << 8 << true << 1 << 286 << 1750;
        QTest::newRow("115200 8N1: the fixed 1750 us") << 115200 << 8 << false << 1 << 87 << 1750;
        QTest::newRow("no rate") << 0 << 8 << true << 1 << 0 << 1750;
    }

    void timing()
    {
        QFETCH(int, baud);
        QFETCH(int, dataBits);
        QFETCH(bool, parity);
        QFETCH(int, stopBits);
        QFETCH(int, characterUs);
        QFETCH(int, silenceUs);
        SerialTiming::Framing framing;
        framing.dataBits = dataBits;
        framing.parity = parity;
        framing.stopBits = stopBits;
        QCOMPARE(qRound(SerialTiming::characterMicros(baud, framing)), characterUs);
        QCOMPARE(qRound(SerialTiming::silenceMicros(baud, framing)), silenceUs);
    }
};

QTEST_GUILESS_MAIN(TestSerialTiming)
#include "tst_serialtiming.moc"
