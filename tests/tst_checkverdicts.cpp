#include "check/modulecheck.h"
#include "QtLibrary/QtTools/qttools.h"
#include "check/plausibility.h"
#include "protocol/modelcatalogue.h"

#include <QtTest>

// What the check concludes from what a module says about itself: its identity against
// the chosen model, and the values no module can hold.
class TestCheckVerdicts : public QObject
{
    Q_OBJECT

private slots:
    void identity_data();
    void identity();
    void plausibility_data();
    void plausibility();
    void analogPoints();
    void givesUpOnASilentModule_data();
    void givesUpOnASilentModule();
};

// Checks of the 64-input board: what its answer to the identification request makes of it.
void TestCheckVerdicts::identity_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("typeCode");
    QTest::addColumn<bool>("required");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("mark");
    const int fail = CheckStep::Fail, na = CheckStep::NotApplicable;
    QTest::newRow("no answer, required") << -1 << -1 << true << fail << "identity not confirmed: no answer";
    QTest::newRow("code not in the catalogue")
        << 1 << 199 << false << na << "identity not confirmed: type code 199 (not in the catalogue)";
    QTest::newRow("another model")
        << 1 << 220 << false << fail << "wrong model: type code 220 is Switch 64-channel outputs, not Switch 64-channel inputs";
    QTest::newRow("the model at address 0")
        << 0 << 230 << false << fail << "confirmed: type code 230 (Switch 64-channel inputs)";
}

void TestCheckVerdicts::identity()
{
    QFETCH(int, address);
    QFETCH(int, typeCode);
    QFETCH(bool, required);
    QFETCH(int, result);
    QFETCH(QString, mark);
    CheckSetup setup;
    setup.modelIndex = ModelCatalogue::indexOf(QStringLiteral("Switch 64-channel inputs"));
    setup.requireIdentity = required;
    QString said;
    QCOMPARE(int(ModuleCheck::identityStep(setup, address, typeCode, &said).result), result);
    QCOMPARE(said, mark);
}

// A network block (IP, mask, gateway, port, remote IP, remote port, mode, MAC), or the two
// registers of an analog output (maximum, mode).
void TestCheckVerdicts::plausibility_data()
{
    QTest::addColumn<QVector<quint16>>("block");
    QTest::addColumn<QStringList>("problems");
    const QVector<quint16> good = { 192, 168, 1, 80, 255, 255, 255, 0, 192, 168, 1, 1, 8080,
                                    192, 168, 1, 100, 4000, 1, 0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e };
    auto with = [&good](std::initializer_list<std::pair<int, quint16>> changes) {
        QVector<quint16> block = good;
        for (const auto &change : changes)
            block[change.first] = change.second;
        return block;
    };
    QTest::newRow("a module's") << good << QStringList();
    QTest::newRow("server without a gateway") << with({ { 18, 0 }, { 8, 0 }, { 9, 0 }, { 10, 0 }, { 11, 0 } })
                                               << QStringList();
    QTest::newRow("blank registers") << QVector<quint16>(25, 0)
                                     << QStringList{ "IP 0.0.0.0 is no host address",
                                                     "mask 0.0.0.0 is not a contiguous subnet mask",
                                                     "port 0", "MAC 00-00-00-00-00-00" };
    QTest::newRow("group MAC") << with({ { 19, 0x01 } })
                               << QStringList{ "MAC is a group address (first byte 0x01 is odd)" };
    QTest::newRow("mask with a hole") << with({ { 6, 0 }, { 7, 255 } })
                                      << QStringList{ "mask 255.255.0.255 is not a contiguous subnet mask" };
    QTest::newRow("IP is the subnet's broadcast") << with({ { 3, 255 } })
                                                  << QStringList{ "IP 192.168.1.255 is the network or broadcast address of its subnet" };
    QTest::newRow("gateway elsewhere") << with({ { 10, 2 } })
                                       << QStringList{ "gateway 192.168.2.1 is not another host of the module's subnet" };
    QTest::newRow("mode 3") << with({ { 18, 3 } }) << QStringList{ "working mode 3 (0 server, 1 client, 2 UDP)" };
    QTest::newRow("client without a peer") << with({ { 17, 0 } })
                                           << QStringList{ "as a client or over UDP it has no remote peer (192.168.1.100:0)" };
    QTest::newRow("octet beyond a byte") << with({ { 1, 0x01a8 } })
                                         << QStringList{ "register 1 holds 0x01a8, more than a byte" };
    QTest::newRow("short block") << QVector<quint16>(24, 1) << QStringList{ "network block short: 24 of 25 registers" };
    // Which mode words are modes is tst_analogconversion's.
    QTest::newRow("analog output 0~10V, 12 bits") << QVector<quint16>{ 0x0FFF, 0x0004 } << QStringList();
    QTest::newRow("analog output without a range, unknown mode")
        << QVector<quint16>{ 0, 0x0005 } << QStringList{ "maximum register 0: no output range", "mode 0x0005 is no output mode" };
}

void TestCheckVerdicts::plausibility()
{
    QFETCH(QVector<quint16>, block);
    QFETCH(QStringList, problems);
    QCOMPARE(block.size() == 2 ? Plausibility::analogOutputProblems(block.at(0), block.at(1))
                               : Plausibility::networkProblems(block),
             problems);
}

// At every point neighbouring channels hold different values, so a write that lands on a
// neighbour shows; over the three points every channel sees 0, 50 and 100 %.
void TestCheckVerdicts::analogPoints()
{
    for (int channel = 0; channel < 12; ++channel) {
        QSet<int> seen;
        for (int point = 0; point < 3; ++point) {
            seen.insert(ModuleCheck::analogPercent(point, channel));
            QVERIFY(ModuleCheck::analogPercent(point, channel) != ModuleCheck::analogPercent(point, channel + 1));
        }
        QCOMPARE(seen, (QSet<int>{ 0, 50, 100 }));
    }
}

// The module's answers, one letter a request (t no reply, x an exception, r a reply, also
// after the last letter; the first read is answered, so that outputs are switched): the
// check stops after that many requests, or never (-1).
void TestCheckVerdicts::givesUpOnASilentModule_data()
{
    QTest::addColumn<QString>("answers");
    QTest::addColumn<int>("stoppedAfter");
    QTest::newRow("three unanswered in a row") << "rttt" << 4;
    QTest::newRow("an exception starts the count again") << "rttxttt" << 7;
    QTest::newRow("two in a row do not stop it") << "rttrttr" << -1;
}

void TestCheckVerdicts::givesUpOnASilentModule()
{
    QFETCH(QString, answers);
    QFETCH(int, stoppedAfter);
    CheckSetup setup;
    setup.modelIndex = ModelCatalogue::indexOf(QStringLiteral("Switch  8-channel outputs"));
    setup.identifiedAddress = 1;
    setup.identifiedType = 0;
    ModuleCheck check;
    int requests = 0, stoppedAt = -1;
    connect(&check, &ModuleCheck::write, this, [&](Sender *sender) {
        const QChar answer = requests < answers.size() ? answers.at(requests) : QLatin1Char('r');
        ++requests;
        const QString kind = sender->kind;
        delete sender;
        QMetaObject::invokeMethod(&check, [&check, answer, kind]() {
            if (answer == QLatin1Char('r'))
                check.replyReceived(kind, QtTools::appendCrc16(QStringLiteral("0103020000")).toLower());
            else
                check.requestFailed(kind, answer == QLatin1Char('x') ? QStringLiteral("exception 02")
                                                                     : QStringLiteral("timeout"));
        }, Qt::QueuedConnection);
    });
    connect(&check, &ModuleCheck::stepDone, this, [&](const CheckStep &step) {
        if (step.group == QLatin1String("Link") && step.name == QLatin1String("module answers"))
            stoppedAt = requests;
    });
    QSignalSpy finished(&check, &ModuleCheck::finished);
    check.start(setup);
    QVERIFY(finished.wait(10000));
    QCOMPARE(stoppedAt, stoppedAfter);
}

QTEST_GUILESS_MAIN(TestCheckVerdicts)
#include "tst_checkverdicts.moc"
