#include "tests/loopbackwindow.h"
#include "tests/toolrun.h"

#include "check/modulefinder.h"
#include "ui/modulecheckwindow.h"

#include <QProcess>
#include <QProgressDialog>
#include <QTcpServer>
#include <QTemporaryDir>

// Finding a module: which answers count, the address sweep against the simulated module
// on a pseudo-terminal, and searches from the window, cancelled and used.
class TestModuleFinder : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void waitsOfTheWire_data();
    void waitsOfTheWire();
    void sweepFindsAddressAndRate();
    void findCommand_data();
    void findCommand();
    void cancelThenUse();
};

// Which addresses answered a read (on the serial line, of 1 to 17), and whether the bytes hold
// an exception that ends the wait.
void TestModuleFinder::answers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("network");
    QTest::addColumn<QVector<int>>("answers");
    QTest::addColumn<bool>("ends");
    QTest::newRow("exception of 17") << QByteArray::fromHex("118302c134") << false << QVector<int>{ 17 } << true;
    QTest::newRow("noise, two replies") << QByteArray::fromHex("ff0103020000b84411030200007987") << false
                                        << QVector<int>{ 1, 17 } << false;
    QTest::newRow("bad CRC") << QByteArray::fromHex("11030200007988") << false << QVector<int>{} << false;
    // A generic server refusing "ScanDevice": unit 0x53 (not asked), function 0x63 | 0x80,
    // illegal function.
    QTest::newRow("rtu exception to ScanDevice") << QByteArray::fromHex("53e3010921") << false << QVector<int>{} << true;
    QTest::newRow("rtu exception, bad CRC") << QByteArray::fromHex("53e3010922") << false << QVector<int>{} << false;
    QTest::newRow("tcp exception to ScanDevice") << QByteArray::fromHex("00000000000353e301") << true << QVector<int>{} << true;
    QTest::newRow("tcp read reply") << QByteArray::fromHex("0000000000051103020000") << true << QVector<int>{} << false;
}

void TestModuleFinder::answers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, network);
    QFETCH(QVector<int>, answers);
    QFETCH(bool, ends);
    QCOMPARE(ModuleFinder::holdsException(bytes, network), ends);
    if (!network)
        QCOMPARE(ModuleFinder::rtuAnswers(bytes, 1, 17), answers);
}

// Each wait is the wire's time at that rate (11 bits a character) plus the silence that
// ends a frame (3.5 characters, 1.75 ms above 19200 baud) and 20 ms for the module to turn
// round: a rate of either side of 19200, and TCP.
void TestModuleFinder::waitsOfTheWire_data()
{
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<int>("identifyMs");
    QTest::addColumn<int>("sweepMs");
    QTest::newRow("115200") << 115200 << 25 << 24;
    QTest::newRow("9600") << 9600 << 55 << 42;
    QTest::newRow("TCP") << 0 << 100 << 100;
}

void TestModuleFinder::waitsOfTheWire()
{
    QFETCH(int, baudRate);
    QFETCH(int, identifyMs);
    QFETCH(int, sweepMs);
    QCOMPARE(ModuleFinder::identifyWaitMs(baudRate), identifyMs);
    QCOMPARE(ModuleFinder::sweepWaitMs(baudRate), sweepMs);
}

// A module that does not identify itself is found by reading every address, at its own
// rate; the sweep never reads the broadcast address nor one beyond 33.
void TestModuleFinder::sweepFindsAddressAndRate()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch 64-channel outputs")));
    module.setAddress(33);
    module.setBaudRate(57600);
    module.setBaudMustMatch(true);
    module.setIdentify(false);
    QStringList log;
    module.setLogging(true);
    module.setLogFunction([&log](const QString &line) { log << line; });
    ModuleFinder::SerialTarget target;
    target.portName = module.openPty();
    target.baudRates = { 57600, 115200 };

    ModuleFinder finder;
    QSignalSpy finished(&finder, &ModuleFinder::finished);
    finder.startSerial(target);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().value<ModuleFinder::Outcome>(), ModuleFinder::Completed);
    const QList<FoundModule> found = finder.results();
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().address, 33);
    QCOMPARE(found.first().baudRate, 57600);
    QCOMPARE(found.first().how, FoundModule::ByAddressSweep);
    QCOMPARE(log.filter(QStringLiteral("broadcast")), QStringList());
    // Every other address of 1 to 33 was asked, and nothing beyond. (That the search stops
    // at the first rate that found modules is proven by --find on the libmodbus slave.)
    QSet<int> others, expected;
    for (int address = 1; address < 33; ++address)
        expected.insert(address);
    const QRegularExpression unit(QStringLiteral(" unit (\\d+) "));
    for (const QString &line : qAsConst(log))
        if (const QRegularExpressionMatch m = unit.match(line); m.hasMatch())
            others.insert(m.captured(1).toInt());
    QCOMPARE(others, expected);
}

// The window gives the line to the search and takes it back, polling again, when the
// operator cancels; "Use" takes what a search found: rate, address and model. The window's
// check then takes the identity the search heard (what it makes of it is tst_checkverdicts').
void TestModuleFinder::cancelThenUse()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch 64-channel outputs")));
    module.setIdentify(false);
    MainWindow *opened = nullptr;
    openWindowOnModule(opened, module, true);
    QScopedPointer<MainWindow> window(opened);
    if (QTest::currentTestFailed())
        return;
    chooseModel(window.data(), "Switch 64-channel outputs");
    window->findChild<QAction *>(QStringLiteral("action_findModule"))->trigger();
    QVERIFY(!window->switchOutputs()->polling());
    auto *progress = window->findChild<QProgressDialog *>(QStringLiteral("findModuleProgress"));
    QTRY_VERIFY_WITH_TIMEOUT(progress->labelText().contains(QStringLiteral("115200")), 10000);
    QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);

    auto *rates = window->findChild<QComboBox *>(QStringLiteral("rateCbb"));
    QCOMPARE(rates->currentText(), QStringLiteral("115200"));
    int answered = module.requestCount();
    QTRY_VERIFY_WITH_TIMEOUT(module.requestCount() > answered, 10000);

    module.setAddress(17);
    module.setBaudRate(57600);
    module.setBaudMustMatch(true);
    module.setIdentify(true);
    chooseModel(window.data(), "Switch 16-channel inputs");
    window->findChild<QAction *>(QStringLiteral("action_findModule"))->trigger();
    QPushButton *use = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((use = window->findChild<QPushButton *>(QStringLiteral("pushButton_use")))
                                 && use->isVisible(), 30000);
    QTest::mouseClick(use, Qt::LeftButton);
    QCOMPARE(rates->currentText(), QStringLiteral("57600"));
    QCOMPARE(window->session()->deviceAddressHex(), QStringLiteral("11"));
    QCOMPARE(window->switchOutputs()->count(), 64);
    answered = module.requestCount();
    QTRY_VERIFY_WITH_TIMEOUT(module.requestCount() > answered + 2, 10000);

    // The check takes the identity the search heard and does not ask again.
    QStringList heard;
    module.setLogging(true);
    module.setLogFunction([&heard](const QString &line) { heard << line; });
    window->action(QStringLiteral("moduleCheckAction"))->trigger();
    answerConfirmation(window.data(), "moduleCheckConfirmBox", true);
    QTRY_VERIFY_WITH_TIMEOUT(window->findChild<ModuleCheckWindow *>(), 60000);
    QCOMPARE(heard.filter(QStringLiteral("ScanDevice")), QStringList());
}

// `merovitest --find` against peers of another library: a generic TCP server answers for
// every unit id, one device said once; for an RTU slave at address 17 across a socat pair the
// identification request must not put it out of step for the reads after it, and the search
// stops at the first rate swept. It ends with 1 when nothing answered, and with 2 when it
// could not search at all.
void TestModuleFinder::findCommand_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("printed"); // the one line on stdout, or none
    QTest::addColumn<QString>("said");
    QTest::newRow("generic TCP server") << "--remote" << "libmodbus" << 0
                                        << QString::fromLatin1(ModuleFinder::kEveryAddressText) << "; found ";
    QTest::newRow("RTU slave at 17") << "--serial-port" << "libmodbus" << 0 << " address=17 " << "; found ";
    QTest::newRow("a server that never answers: 1") << "--remote" << "silent" << 1 << "" << "nothing found";
    QTest::newRow("no such serial port: 2") << "--serial-port" << "/nonexistent/tty" << 2 << "" << "--find: No such file";
    QTest::newRow("a remote without a host: 2") << "--remote" << ":502" << 2 << "" << "--find: The remote IP is empty";
}

void TestModuleFinder::findCommand()
{
    QFETCH(QString, option);
    QFETCH(QString, target);
    QFETCH(int, exitCode);
    QFETCH(QString, printed);
    QFETCH(QString, said);
    const bool serial = option == QLatin1String("--serial-port");
    QTemporaryDir dir;
    QProcess peer, socat;
    // The kernel accepts for a listening socket this thread never serves: connected, never answered.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    if (target == QLatin1String("libmodbus"))
        target = serial ? startRtuSlave(socat, peer, QDir(dir.path()), 17)
                        : QStringLiteral("127.0.0.1:") + startBlankServer(peer);
    else if (target == QLatin1String("silent"))
        target = QStringLiteral("127.0.0.1:%1").arg(silent.serverPort());
    QVERIFY(!target.isEmpty() && !target.endsWith(QLatin1Char(':')));
    const ToolRun run = runTool({ QStringLiteral("--find"), option, target });
    for (QProcess *process : { &peer, &socat }) {
        process->kill();
        process->waitForFinished();
    }
    QCOMPARE(run.exitCode, exitCode);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), printed.isEmpty() ? 0 : 1);
    QVERIFY2(printed.isEmpty() || lines.first().contains(printed), qPrintable(run.out));
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
}

QTEST_MAIN(TestModuleFinder)
#include "tst_modulefinder.moc"
