#include "tests/loopbackwindow.h"
#include "link/session.h"
#include "ui/switchstates.h"

#include <functional>

// The session: one owner of the link's state, the device address and the model. Its rules
// as a table of what the link reports; the serial port and TCP together end to end, over a
// pseudo-terminal and TCP on 127.0.0.1 against the simulated module.
class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void linkState_data();
    void linkState();
    void deviceAddress_data();
    void deviceAddress();
    void modelJudgedByItsOwnRequests_data();
    void modelJudgedByItsOwnRequests();
    void serialOpenedAndClosedWhileTcpPolls();
};

namespace {

QString stateName(Session::LinkState state)
{
    static const char *const names[] = {"closed", "opening", "open", "connecting", "connected",
                                        "reconnecting", "failed"};
    return QString::fromLatin1(names[int(state)]);
}

QString linkName(LinkKind link)
{
    return link == LinkKind::Serial ? QStringLiteral("serial")
                                    : link == LinkKind::Tcp ? QStringLiteral("tcp") : QStringLiteral("none");
}

QPushButton *input(MainWindow *window, int channel)
{
    return window->switchInputs()->buttons().at(channel - 1);
}

} // namespace

// Steps: what the link reports; "=link/state" and "in N" (seconds to the next attempt) check
// what the session says.
void TestSession::linkState_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("TCP connects")
        << QStringList{"=none/closed", "connecting", "=none/connecting", "connected", "=tcp/connected"};
    QTest::newRow("serial opened while TCP is up: the port is the link, TCP waits closed")
        << QStringList{"connected", "opening", "=tcp/opening", "opened", "=serial/open", "disconnected",
                       "=serial/open", "closed", "=none/closed", "connecting", "connected", "=tcp/connected"};
    QTest::newRow("a serial port that fails to open changes nothing about TCP")
        << QStringList{"connected", "opening", "failed", "=tcp/connected", "disconnected", "=none/failed"};
    QTest::newRow("a failed open without TCP is the state")
        << QStringList{"opening", "failed", "=none/failed", "opening", "=none/opening", "opened",
                       "=serial/open"};
    QTest::newRow("reconnecting in N s")
        << QStringList{"reconnecting 4", "=none/reconnecting", "in 4", "connecting", "connected", "=tcp/connected"};
}

void TestSession::linkState()
{
    QFETCH(QStringList, steps);
    Session session;
    QStringList links;
    connect(&session, &Session::linkChanged, this, [&](LinkKind link) { links << linkName(link); });
    const QHash<QString, std::function<void()>> reports = {
        {"connecting", [&] { session.tcpConnecting(); }},
        {"connected", [&] { session.tcpConnectedNow(); }},
        {"disconnected", [&] { session.tcpDisconnected(); }},
        {"opening", [&] { session.serialOpening(); }},
        {"opened", [&] { session.serialOpened(); }},
        {"failed", [&] { session.serialFailed(QStringLiteral("No such file or directory")); }},
        {"closed", [&] { session.serialClosed(); }},
    };
    for (const QString &step : steps) {
        if (step.startsWith("reconnecting "))
            session.tcpReconnecting(step.section(' ', 1).toInt());
        else if (step.startsWith("in "))
            QCOMPARE(session.reconnectSeconds(), step.mid(3).toInt());
        else if (step.startsWith('='))
            QCOMPARE(linkName(session.link()) + '/' + stateName(session.state()), step.mid(1));
        else if (reports.contains(step))
            reports.value(step)();
        else
            QFAIL(qPrintable("unknown step " + step));
    }
    // Each change of the link in use is announced once.
    for (int i = 1; i < links.size(); ++i)
        QVERIFY2(links.at(i) != links.at(i - 1), qPrintable(links.join(' ')));
    if (steps.contains("failed") && session.state() == Session::LinkState::Failed)
        QCOMPARE(session.failure(), QStringLiteral("No such file or directory"));
}

void TestSession::deviceAddress_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("taken");
    QTest::newRow("0 is the broadcast: refused") << 0 << false;
    QTest::newRow("1") << 1 << true;
    QTest::newRow("247, the last") << 247 << true;
    QTest::newRow("248 refused") << 248 << false;
}

void TestSession::deviceAddress()
{
    QFETCH(int, address);
    QFETCH(bool, taken);
    Session session;
    QVERIFY(session.setDeviceAddress(20));
    QSignalSpy changes(&session, &Session::deviceAddressChanged);
    QCOMPARE(session.setDeviceAddress(address), taken);
    QCOMPARE(session.deviceAddress(), taken ? address : 20);
    QCOMPARE(changes.count(), taken ? 1 : 0);
    QCOMPARE(Session::addressRefusal(address).isEmpty(), taken);
    QCOMPARE(session.deviceAddressHex(), QStringLiteral("%1").arg(taken ? address : 20, 2, 16, QLatin1Char('0')).toUpper());
}

// Records: "ok", "exception NN", "misshapen", "timeout", each for the current model ("now")
// or the one before ("old"), or for none ("none").
void TestSession::modelJudgedByItsOwnRequests_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QString>("status");
    QTest::newRow("nothing heard yet") << QStringList{} << "unknown";
    QTest::newRow("a good reply to the old model's request confirms nothing")
        << QStringList{"old ok"} << "unknown";
    QTest::newRow("illegal data address to this model's request") << QStringList{"now exception 02"} << "refuted";
    QTest::newRow("illegal function to this model's request") << QStringList{"now exception 01"} << "refuted";
    QTest::newRow("a busy module says nothing about the model") << QStringList{"now exception 06"} << "unknown";
    QTest::newRow("answered in another shape") << QStringList{"now misshapen"} << "refuted";
    QTest::newRow("refuted, then one succeeds") << QStringList{"now exception 02", "now ok"} << "confirmed";
    QTest::newRow("a late old reply after a refusal") << QStringList{"now exception 02", "old ok"} << "refuted";
    QTest::newRow("time-outs say nothing") << QStringList{"now timeout"} << "unknown";
    QTest::newRow("the terminal's requests say nothing") << QStringList{"none exception 02"} << "unknown";
}

void TestSession::modelJudgedByItsOwnRequests()
{
    QFETCH(QStringList, records);
    QFETCH(QString, status);
    Session session;
    session.setModel(3);
    const quint32 old = session.modelGeneration();
    session.setModel(5);
    QVERIFY(session.modelGeneration() != old);
    QSignalSpy exchanges(&session, &Session::exchange);
    for (const QString &text : records) {
        const QStringList parts = text.split(' ');
        ExchangeRecord record;
        record.direction = ExchangeRecord::Direction::Received;
        record.modelGeneration = parts.at(0) == "now" ? session.modelGeneration() : parts.at(0) == "old" ? old : 0;
        const QString what = parts.at(1);
        record.result = what == "ok" ? ExchangeRecord::Result::Ok
            : what == "exception" ? ExchangeRecord::Result::Exception
            : what == "misshapen" ? ExchangeRecord::Result::Unmatched
                                  : ExchangeRecord::Result::TimedOut;
        if (parts.size() > 2)
            record.exceptionCode = quint8(parts.at(2).toUInt(nullptr, 16));
        session.recordExchange(record);
    }
    static const char *const names[] = {"unknown", "confirmed", "refuted"};
    QCOMPARE(QString::fromLatin1(names[int(session.modelStatus())]), status);
    // Every record goes on to the log and the traffic view, judged or not.
    QCOMPARE(exchanges.count(), records.size());
}

// The window on TCP polls the inputs; the operator opens a serial port and closes it again.
// (A port that fails to open leaves TCP the link: the table above.)
void TestSession::serialOpenedAndClosedWhileTcpPolls()
{
    ModuleSimulator network, serial;
    QVERIFY(network.setModel("Switch 16-channel inputs"));
    QVERIFY(serial.setModel("Switch 16-channel inputs"));
    network.setInputPattern(0x0001);
    serial.setInputPattern(0x0010);
    MainWindow *opened = nullptr;
    openWindowOnModule(opened, network, false);
    QScopedPointer<MainWindow> window(opened);
    if (QTest::currentTestFailed())
        return;
    chooseModel(window.data(), "Switch 16-channel inputs");
    QTRY_COMPARE_WITH_TIMEOUT(input(window.data(), 1)->styleSheet(), SwitchStates::kOnStyle, 10000);
    auto *networkState = window->findChild<QLabel *>("label_network");

    // The serial port becomes the link; TCP closes and stays closed meanwhile.
    openSerialInWindow(window.data(), serial.openPty());
    QTRY_COMPARE_WITH_TIMEOUT(networkState->text(), shown("DisConnect", " 断开 ", "LinkControlsPanel"), 10000);
    QCOMPARE(window->session()->link(), LinkKind::Serial);
    QTRY_COMPARE_WITH_TIMEOUT(input(window.data(), 5)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(input(window.data(), 1)->styleSheet(), SwitchStates::kOffStyle);

    // Closed again: TCP reconnects by itself and its replies are taken as TCP replies (a
    // reply judged by the serial line's rules would fail its CRC and never be shown).
    QTest::mouseClick(window->findChild<QPushButton *>("switchBt"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(networkState->text(), shown("Connect", " 连接 ", "LinkControlsPanel"), 10000);
    QCOMPARE(window->session()->link(), LinkKind::Tcp);
    QCOMPARE(window->findChild<QLabel *>("label_serialState")->text(), shown("DisConnect", " 断开 ", "LinkControlsPanel"));
    network.setInputPattern(0x0004);
    QTRY_COMPARE_WITH_TIMEOUT(input(window.data(), 3)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(input(window.data(), 5)->styleSheet(), SwitchStates::kOffStyle);
}

QTEST_MAIN(TestSession)
#include "tst_session.moc"
