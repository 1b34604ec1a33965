// The fields of recorded frames (the common ones are in the traffic table's rows, tst_trafficmodel)
// and the values polling brings in.
#include "protocol/exchangefields.h"
#include "protocol/modbusrequest.h"
#include "protocol/polledvalues.h"
#include "tests/exchangerecords.h"

#include <QtTest>

namespace {

QString samplesText(const QVector<PolledSample> &samples)
{
    QStringList parts;
    for (const PolledSample &sample : samples)
        parts << QStringLiteral("%1=%2%3").arg(sample.channel).arg(sample.value).arg(sample.unit);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestPolledValues : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void samples_data();
    void samples();
    void analogOutputNeedsModeAndMaximum();
};

void TestPolledValues::fields_data()
{
    QTest::addColumn<bool>("isRequest");
    QTest::addColumn<int>("link");
    QTest::addColumn<QByteArray>("pdu");
    QTest::addColumn<QString>("expected"); // unit function address quantity [values] exception

    const int serial = int(LinkKind::Serial), tcp = int(LinkKind::Tcp);
    QTest::newRow("write register") << true << tcp << QByteArray("010600091234")
                                    << "1 6 9 1 [4660] -";
    QTest::newRow("write coils") << true << serial << QByteArray("010f0000000a020501")
                                 << "1 15 0 10 [1 0 1 0 0 0 0 0 1 0] -";
    QTest::newRow("short request") << true << serial << QByteArray("0103") << "1 3 -1 -1 [] -";
    QTest::newRow("read reply cut short") << false << tcp << QByteArray("0103040fa0")
                                          << "1 3 -1 -1 [4000] -";
    QTest::newRow("write echo") << false << serial << QByteArray("0a1000000002")
                                << "10 16 0 2 [] -";
    QTest::newRow("exception over TCP") << false << tcp << QByteArray("019001") << "1 16 -1 -1 [] 1";
}

void TestPolledValues::fields()
{
    QFETCH(bool, isRequest);
    QFETCH(int, link);
    QFETCH(QByteArray, pdu);
    QFETCH(QString, expected);
    const LinkKind kind = LinkKind(link);
    const QByteArray bytes = wireFrame(QString::fromLatin1(pdu), kind);
    const ExchangeFields::Fields f = isRequest ? ExchangeFields::request(bytes, kind) : ExchangeFields::reply(bytes, kind);
    QVERIFY(f.valid);
    QStringList values;
    for (const quint16 value : f.values)
        values << QString::number(value);
    const QString text = QStringLiteral("%1 %2 %3 %4 [%5] %6")
                             .arg(f.unit)
                             .arg(f.function)
                             .arg(f.address)
                             .arg(f.quantity)
                             .arg(values.join(QLatin1Char(' ')))
                             .arg(f.exception ? QString::number(f.exceptionCode) : QStringLiteral("-"));
    QCOMPARE(text, expected);
}

void TestPolledValues::samples_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("later"); // requests sent, unanswered, before the reply comes
    const int serial = int(LinkKind::Serial), tcp = int(LinkKind::Tcp);

    QTest::newRow("analog inputs in mA")
        << ModbusRequest::kAnalogStartDetecting << QByteArray("010300200002")
        << QByteArray("0103040fa04e20") << serial << "Response=9ms AI0=4mA AI1=20mA" << 0;
    QTest::newRow("switch outputs")
        << ModbusRequest::kCheckStatus << QByteArray("010300000001") << QByteArray("0103020002")
        << tcp << "Response=9ms Y1=0 Y2=1" << 0;
    QTest::newRow("a write gives the response time alone")
        << ModbusRequest::buttonKind(1) << QByteArray("01050001ff00") << QByteArray("01050001ff00")
        << serial << "Response=9ms" << 0;
    QTest::newRow("a failed analysis gives no values")
        << ModbusRequest::kAnalogStartDetecting << QByteArray("010300200002")
        << QByteArray("0103050fa04e20") << serial << "Response=9ms" << 0;
    // Requests never answered cannot grow the table for ever: one is forgotten once 1024
    // more went out after it.
    QTest::newRow("switch inputs, as many as the model has; 1023 later: still known")
        << ModbusRequest::kStartDetecting << QByteArray("010300040001")
        << QByteArray("0103020005") << serial << "Response=9ms IN1=1 IN2=0 IN3=1" << 1023;
    QTest::newRow("1024 later: forgotten") << ModbusRequest::kStartDetecting << QByteArray("010300040001")
        << QByteArray("0103020005") << serial << "Response=9ms" << 1024;
}

void TestPolledValues::samples()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    QFETCH(int, link);
    QFETCH(QString, expected);
    QFETCH(int, later);
    PolledValues values;
    values.setChannels(2, 3, 0, QStringLiteral("mA"));
    const LinkKind linkKind = LinkKind(link);
    QVERIFY(values.take(sent(7, kind, request, linkKind)).isEmpty());
    for (quint64 id = 8; id < 8 + quint64(later); ++id)
        values.take(sent(id, ModbusRequest::kCheckStatus, "010300000001"));
    // The reply's record may leave the kind to the request's.
    const QVector<PolledSample> samples = values.take(answer(7, ExchangeRecord::Result::Ok, reply, linkKind, 9));
    QCOMPARE(samplesText(samples), expected);
    // Each at the time its reply came.
    for (const PolledSample &sample : samples)
        QCOMPARE(sample.timeMs, qint64(7009));
}

void TestPolledValues::analogOutputNeedsModeAndMaximum()
{
    PolledValues values;
    values.setChannels(0, 0, 2, QStringLiteral("V"));
    auto exchange = [&values](quint64 id, const QString &kind, const QByteArray &reply) {
        values.take(sent(id, kind, "010300090002"));
        QVector<PolledSample> samples = values.take(answer(id, ExchangeRecord::Result::Ok, reply));
        samples.removeFirst(); // the response time
        return samplesText(samples);
    };
    // Without the mode and the maximum a value register means nothing yet.
    QCOMPARE(exchange(1, ModbusRequest::kReadAnalogOutputValue, "010304000a0005"), QString());
    // 0~10V (mode 4) with maximum 20: register 10 is 5 V; 0~5V (mode 3) with maximum 20:
    // register 5 is 1.25 V. A read of more registers than channels stops at the channels.
    QCOMPARE(exchange(2, ModbusRequest::kReadAnalogOutputMode, "010306000400030004"), QString());
    QCOMPARE(exchange(3, ModbusRequest::kReadAnalogOutputMax, "010306001400140014"), QString());
    QCOMPARE(exchange(4, ModbusRequest::kReadAnalogOutputValue, "010306000a00050005"),
             QStringLiteral("AO0=5V AO1=1.25V"));
}

QTEST_MAIN(TestPolledValues)
#include "tst_polledvalues.moc"
