#include "link/replydecoder.h"

#include <QtTest>

// Decoding of the switch state registers as the module sends them.
class TestSwitchPanelsStates : public QObject
{
    Q_OBJECT

private slots:
    void registerBits_data();
    void registerBits();
};

static QVector<int> bitsOn(int size, std::initializer_list<int> on)
{
    QVector<int> states(size, 0);
    for (int k : on)
        states[k] = 1;
    return states;
}

void TestSwitchPanelsStates::registerBits_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QVector<int>>("states");

    QTest::newRow("one register 0005, outputs 1 and 3") << "0103020005" << bitsOn(16, { 0, 2 });
    QTest::newRow("with CRC behind the data") << "01030200057847" << bitsOn(16, { 0, 2 });
    QTest::newRow("two registers, bit 1 of the second")
            << "010304000000021234" << bitsOn(32, { 17 });
    QTest::newRow("lower-case high bit") << "0103028000" << bitsOn(16, { 15 });
    QTest::newRow("byte count claims more than is there") << "0103080001" << bitsOn(16, { 0 });
    QTest::newRow("odd byte count counts whole registers") << "01030300010000" << bitsOn(16, { 0 });
    QTest::newRow("byte count zero") << "01030000011234" << QVector<int>();
    QTest::newRow("byte count not hex") << "0103zz0001" << QVector<int>();
    QTest::newRow("too short for a byte count") << "0103" << QVector<int>();
    QTest::newRow("empty") << "" << QVector<int>();
    QTest::newRow("second register not hex stops there")
            << "0103040001zz01" << bitsOn(16, { 0 });
    QTest::newRow("sign is not a digit") << "010302+fff" << QVector<int>();
    QTest::newRow("blank inside a register") << "01030200 5" << QVector<int>();
}

void TestSwitchPanelsStates::registerBits()
{
    QFETCH(QString, reply);
    QFETCH(QVector<int>, states);
    QCOMPARE(ReplyDecoder::decodeRegisterBits(reply), states);
}

QTEST_GUILESS_MAIN(TestSwitchPanelsStates)
#include "tst_switchpanelsstates.moc"
