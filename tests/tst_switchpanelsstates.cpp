#include "ui/switchstates.h"

#include <QtTest>

// Decoding of the switch state registers and input texts, and the channel-name keys.
class TestSwitchPanelsStates : public QObject
{
    Q_OBJECT

private slots:
    void registerBits_data();
    void registerBits();
    void mergeKeepsUncoveredChannels();
    void inputTokens_data();
    void inputTokens();
    void nameKeys();
    void captionFallsBackToCurrent();
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
    QCOMPARE(SwitchStates::decodeRegisterBits(reply), states);
}

void TestSwitchPanelsStates::mergeKeepsUncoveredChannels()
{
    const QVector<int> known = bitsOn(32, { 20, 31 });
    const QVector<int> merged = SwitchStates::mergeStates(known, bitsOn(16, { 1 }));
    QCOMPARE(merged, bitsOn(32, { 1, 20, 31 }));
    QCOMPARE(SwitchStates::mergeStates(bitsOn(4, { 0 }), bitsOn(16, { 5 })), bitsOn(16, { 5 }));
    QCOMPARE(SwitchStates::mergeStates(bitsOn(8, { 7 }), QVector<int>()), bitsOn(8, { 7 }));
}

void TestSwitchPanelsStates::inputTokens_data()
{
    QTest::addColumn<QString>("bits");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<bool>>("states");

    QTest::newRow("1 0 1 0 on four inputs") << "1 0 1 0" << 4
                                            << QVector<bool>{ true, false, true, false };
    QTest::newRow("more tokens than inputs") << "0 1 1 1 1" << 2 << QVector<bool>{ false, true };
    QTest::newRow("fewer tokens: the rest is off") << "1 1" << 4
                                                   << QVector<bool>{ true, true, false, false };
    QTest::newRow("empty text: all off") << "" << 3 << QVector<bool>{ false, false, false };
    QTest::newRow("doubled blanks are one separator") << "1  0 1" << 3
                                                      << QVector<bool>{ true, false, true };
    QTest::newRow("anything but 1 is off") << "x 11 1" << 3 << QVector<bool>{ false, false, true };
    QTest::newRow("no inputs") << "1 1" << -1 << QVector<bool>();
}

void TestSwitchPanelsStates::inputTokens()
{
    QFETCH(QString, bits);
    QFETCH(int, count);
    QFETCH(QVector<bool>, states);
    QCOMPARE(SwitchStates::decodeInputTokens(bits, count), states);
}

void TestSwitchPanelsStates::nameKeys()
{
    QCOMPARE(SwitchStates::outputNameKey(3, true), QStringLiteral("Y3Output ON"));
    QCOMPARE(SwitchStates::outputNameKey(12, false), QStringLiteral("Y12Output OFF"));
    QCOMPARE(SwitchStates::inputNameKey(5, true), QStringLiteral("IN5Input ON"));
    QCOMPARE(SwitchStates::inputNameKey(64, false), QStringLiteral("IN64Input OFF"));
}

void TestSwitchPanelsStates::captionFallsBackToCurrent()
{
    const QMap<QString, QString> names{ { QStringLiteral("Y1Output OFF"), QStringLiteral("Pump") } };
    QCOMPARE(SwitchStates::caption(names, QStringLiteral("Y1Output OFF"), QStringLiteral("Y1")),
             QStringLiteral("Pump"));
    QCOMPARE(SwitchStates::caption(names, QStringLiteral("Y1Output ON"), QStringLiteral("Pump")),
             QStringLiteral("Pump"));
}

QTEST_GUILESS_MAIN(TestSwitchPanelsStates)
#include "tst_switchpanelsstates.moc"
