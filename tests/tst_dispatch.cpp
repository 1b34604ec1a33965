#include "protocol/replydecoder.h"

#include <QtTest>

using ReplyDecoder::Dispatch;

// What the request queue does with a reply to its head request, by the kind of that request.
class TestDispatch : public QObject
{
    Q_OBJECT

private slots:
    void dispatch_data();
    void dispatch();
};

void TestDispatch::dispatch_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("request"); // the head's frame, where the row needs it
    QTest::addColumn<bool>("network");
    QTest::addColumn<QString>("expected");

    const QString outputs = QStringLiteral("01030200057847");
    const QString written = QStringLiteral("01100000000241c8");
    QTest::newRow("output states") << outputs << "Check Status" << "" << false
                                   << "outputs pop 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0";
    QTest::newRow("inputs, two registers, keep polling")
        << "0103048001000203f2" << "Start detecting" << "" << false
        << "inputs requeue 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    QTest::newRow("analog inputs, keep polling") << "0103080fa000004e200000637f" << "Analog-Start-detecting"
                                                 << "" << false << "analog requeue 4.000 0.000 20.000 0.000";
    QTest::newRow("analog reply that cannot be analysed still keeps polling")
        << "01030400059846" << "Analog-Start-detecting" << "" << true << "- requeue";
    QTest::newRow("analog output read-back") << outputs << "read-Analog-OutputMode" << "" << false
                                             << "analog outputs pop " + outputs;
    QTest::newRow("communication time-out: on, off and unchanged outputs")
        << "0103080000138800030008002ca2" << "Communication TimeOut" << "" << false
        << "time-out pop 5000 1 1 0 2 0 0 0 0 0 0 0 0 0 0 0 0";
    QTest::newRow("network block")
        << "01033200c000a80001005000ff00ff00ff000000c000a8000100019c4000c000a8000100640fa000010000001a002b003c004d005eaf55"
        << "Read Network" << "" << false
        << "network pop 192.168.1.80 255.255.255.0 192.168.1.1 40000 192.168.1.100 4000 1 00-1a-2b-3c-4d-5e";
    QTest::newRow("analog polling kind is matched whole") << outputs << "Analog-Start-detecting-x" << "" << false
                                                          << "- pop";
    QTest::newRow("switch acknowledged") << "0105000cff004c39" << "QPushButton_12" << "0105000CFF00" << false
                                         << "click pop 12";
    QTest::newRow("coil acknowledgement to another kind stays")
        << "01050002ff002dfa" << "Check Status" << "" << false << "- stay";
    QTest::newRow("outputs written by a button") << written << "QPushButton_3" << "" << false << "click pop 3";
    QTest::newRow("all open") << written << "All Open" << "" << false << "all open pop 1";
    QTest::newRow("all close") << written << "All Close" << "0110000000020400000000" << false << "all open pop 0";
    QTest::newRow("network written") << written << "Write NetWork" << "" << false
                                     << "log pop Network parameter was written successfully";
    QTest::newRow("0f acknowledged") << "010f000000105407" << "Check Status" << "" << false << "- pop";
    // Which replies are taken at all (address, function code, CRC on the serial line) is
    // the fuzz corpus replay's proof; the network alone skips the CRC.
    QTest::newRow("CRC not checked on the network") << "01030200050000" << "UI text" << "" << true << "- pop";
    // A late reply to an earlier request of another shape is not taken for the head's.
    QTest::newRow("16 inputs read answered by a late 32-output reply")
        << "010304fffffffffba7" << "Start detecting" << "010300040001" << false << "rejected";
    QTest::newRow("32 output states read answered by its own reply")
        << "010304fffffffffba7" << "UI text" << "0103 00000002" << false << "- pop";
    QTest::newRow("5 coils read, answered by its one byte") << "0101010105886f" << "UI text" << "010100000005"
                                                           << false << "- pop";
    QTest::newRow("switching answered by a late read") << outputs << "QPushButton_2" << "01050002FF00" << false
                                                       << "rejected";
    QTest::newRow("switching answered for another output")
        << "01050003ff007c3a" << "QPushButton_2" << "01050002FF00" << false << "rejected";
    QTest::newRow("all open answered by a write of another length")
        << "011000000004c1ca" << "All Open" << "0110000000020400FF00FF" << false << "rejected";
}

void TestDispatch::dispatch()
{
    QFETCH(QString, reply);
    QFETCH(QString, kind);
    QFETCH(QString, request);
    QFETCH(bool, network);
    QFETCH(QString, expected);

    static const char *const signalNames[] = {"-",        "outputs", "inputs", "analog", "analog outputs",
                                              "time-out", "network", "click",  "all open", "log"};
    static const char *const thenNames[] = {"stay", "pop", "requeue"};
    const Dispatch result = ReplyDecoder::dispatch(reply, kind, QStringLiteral("01"), network, request);
    QString text = result.text;
    if (result.signal == Dispatch::ChangeCtlOuts) {
        QStringList states;
        for (const int state : ReplyDecoder::decodeRegisterBits(text))
            states << QString::number(state);
        text = states.join(QLatin1Char(' '));
    }
    QStringList got{QString::fromLatin1(signalNames[result.signal]), QString::fromLatin1(thenNames[result.then])};
    if (result.signal == Dispatch::ClickButton || result.signal == Dispatch::AllOpen)
        got << QString::number(result.number);
    if (!text.isEmpty())
        got << text;
    QVERIFY(result.accepted || got.join(QLatin1Char(' ')) == QLatin1String("- stay"));
    QCOMPARE(result.accepted ? got.join(QLatin1Char(' ')) : QStringLiteral("rejected"), expected);
}

QTEST_APPLESS_MAIN(TestDispatch)
#include "tst_dispatch.moc"
