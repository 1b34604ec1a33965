#include "tests/loopbackwindow.h"
#include "tests/toolrun.h"

#include "protocol/modelcatalogue.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <csignal>

// The command line of `merovitest`: its help and model list, arguments judged before the
// module hears anything, and the exit statuses and endpoint texts of a whole check.
class TestCheckCommand : public QObject
{
    Q_OBJECT

private slots:
    void helpNamesExitStatuses();
    void listModels();
    void refusedBeforeAnyRequest_data();
    void refusedBeforeAnyRequest();
    void relativeSerialPathAndEndpoint();
    void report_data();
    void report();
    void interruptRestores_data();
    void interruptRestores();
    void linkLostMidCheck();
};

// Every option --help lists has its man page entry (man_pages_complete); the exit statuses
// are said there too.
void TestCheckCommand::helpNamesExitStatuses()
{
    const ToolRun help = runTool({ QStringLiteral("--help") });
    QCOMPARE(help.exitCode, 0);
    for (const char *text : { "  3  interrupted by a signal", "  4  passed, but its evidence could not be kept",
                              "0 found, 1 nothing found, 2 could not run" })
        QVERIFY2(help.out.contains(QLatin1String(text)), qPrintable(help.out));
}

void TestCheckCommand::listModels()
{
    const ToolRun run = runTool({ QStringLiteral("--list-models") });
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 36);
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(ModelCatalogue::indexOf(lines.at(i)), i);
}

// A bad argument, or no connection, ends the run with 2 before the module is reached at all.
void TestCheckCommand::refusedBeforeAnyRequest_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said");
    const QString model = QStringLiteral("Switch  4-channel outputs");
    QTest::newRow("report path is a folder") << QStringList{ "--model", model, "--report", "." }
                                             << "is a folder";
    QTest::newRow("csv folder missing") << QStringList{ "--model", model, "--csv", "missing/r.csv" }
                                        << "does not exist";
    QTest::newRow("junit under a file") << QStringList{ "--model", model, "--junit", "plain/r.xml" }
                                        << "is not a folder";
    QTest::newRow("mistyped model") << QStringList{ "--model", "Switch 32 outputs 16 inputs" }
                                    << "\"Switch 32-channel outputs 16-channel inputs\"";
    QTest::newRow("address 0") << QStringList{ "--model", model, "--address", "0" } << "--address";
    QTest::newRow("nothing listens") << QStringList{ "--model", model, "--remote", "127.0.0.1:1" }
                                     << "could not connect to 127.0.0.1:1";
    QTest::newRow("no such serial port") << QStringList{ "--model", model, "--serial-port", "missing-tty" }
                                         << "could not open";
    QTest::newRow("unknown report language") << QStringList{ "--model", model, "--language", "de" }
                                             << "--language wants en or zh, not de";
}

void TestCheckCommand::refusedBeforeAnyRequest()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    QTemporaryDir dir;
    QFile plain(dir.filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch  4-channel outputs")));
    QVERIFY(module.listenTcp());
    QSignalSpy connections(&module, &ModuleSimulator::clientConnected);
    if (!arguments.contains(QStringLiteral("--remote")) && !arguments.contains(QStringLiteral("--serial-port")))
        arguments << QStringLiteral("--remote") << QStringLiteral("127.0.0.1:%1").arg(module.tcpPort());
    const ToolRun run = runTool(QStringList{ "--check" } + arguments, {}, dir.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QCOMPARE(connections.count(), 0);
}

// A pseudo-terminal named relative to the working folder, and a module that does not answer
// the identification request: the check goes on without it, and fails for it only under
// --require-identity (tst_checkverdicts judges every answer). The reports name the whole
// endpoint.
void TestCheckCommand::relativeSerialPathAndEndpoint()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch  4-channel outputs")));
    module.setIdentify(false);
    const QFileInfo pty(module.openPty());
    QVERIFY(pty.exists());
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("r.csv"));
    const ToolRun run = runTool({ "--check", "--model", "Switch  4-channel outputs", "--serial-port", pty.fileName(),
                                  "--baud", "115200", "--require-identity", "--csv", csv },
                                {}, pty.absolutePath());
    QVERIFY2(run.exitCode == 1 && run.out.contains(QStringLiteral("identity: identity not confirmed: no answer")),
             qPrintable(run.out + run.err));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains(QStringLiteral(",%1 115200 8N1,FAIL,").arg(pty.absoluteFilePath())),
             qPrintable(text));
}

// The output and the report are English whatever the window's language, Chinese when asked
// for. A report that cannot be written at the end turns a pass into 4, never into a plain
// pass, and never hides a failure. A module that hears but never answers: three requests in
// a row unanswered end the check, as failed, within the 3 s the README promises over TCP.
void TestCheckCommand::report_data()
{
    QTest::addColumn<QStringList>("language");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<bool>("stuck");
    QTest::addColumn<bool>("lost"); // the report's folder removed under the check
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("printed");
    QTest::addColumn<QString>("reportCell");
    QTest::newRow("default English") << QStringList() << false << false << false << 0
                                     << QStringList{"PASS Outputs / Y2 on: expected ", "\nPASS: "}
                                     << "<td>Outputs</td><td>Y2 on</td><td>pass</td>";
    QTest::newRow("--language zh") << QStringList{"--language", "zh"} << false << false << false << 0
                                   << QStringList{"通过 输出 / Y2 闭合：期望 ", "\n合格：", "项失败", "恢复：已恢复"}
                                   << "<th>结论</th><td>PASS</td></tr>|<td>输出</td><td>Y2 闭合</td><td>通过</td>";
    QTest::newRow("lost, pass: 4") << QStringList() << false << false << true << 4 << QStringList{"\nPASS: "} << "";
    QTest::newRow("lost, fail stays 1") << QStringList() << false << true << true << 1 << QStringList{"\nFAIL: "} << "";
    QTest::newRow("silent module: 1") << QStringList() << true << false << false << 1
        << QStringList{"FAIL Link / module answers: expected replies, read 3 requests in a row unanswered: check stopped"}
        << "";
}

void TestCheckCommand::report()
{
    QFETCH(QStringList, language);
    QFETCH(bool, silent);
    QFETCH(bool, stuck);
    QFETCH(bool, lost);
    QFETCH(int, exitCode);
    QFETCH(QStringList, printed);
    QFETCH(QString, reportCell);
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch  4-channel outputs")));
    if (stuck)
        module.core().setStuckOutput(1);
    module.setDropPercent(silent ? 100 : 0);
    QVERIFY(module.listenTcp());
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("reports"));
    QVERIFY(QDir().mkpath(folder));
    if (lost)
        connect(&module, &ModuleSimulator::requestHandled, this, [&folder]() { QDir(folder).removeRecursively(); });
    const ToolRun run = runTool(checkOverTcp(QStringLiteral("Switch  4-channel outputs"), module)
                                << "--report" << folder + QStringLiteral("/r.html") << language);
    QCOMPARE(run.exitCode, exitCode);
    for (const QString &line : printed)
        QVERIFY2(run.out.contains(line), qPrintable(line + QLatin1Char('\n') + run.out));
    const QRegularExpressionMatch took = QRegularExpression(QStringLiteral("\\nFAIL: .* in (\\d+) ms;")).match(run.out);
    QVERIFY2(!silent || (took.hasMatch() && took.captured(1).toInt() < 3000), qPrintable(run.out));
    QCOMPARE(run.err.contains(QStringLiteral("could not write")), lost);
    if (lost)
        return;
    QFile report(folder + QStringLiteral("/r.html"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(report.readAll());
    for (const QString &cell : reportCell.split(QLatin1Char('|')))
        QVERIFY2(html.contains(cell), qPrintable(cell + QLatin1Char('\n') + html));
    const bool anyChinese = (run.out + html).contains(QRegularExpression(QStringLiteral("[\\x{4e00}-\\x{9fff}]")));
    QCOMPARE(anyChinese, language.contains(QStringLiteral("zh")));
}

// A signal in the middle of switching: the outputs go back, the reports are written and
// say so; a second signal ends the run at once.
void TestCheckCommand::interruptRestores_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("twice");
    QTest::newRow("Ctrl-C") << int(SIGINT) << false;
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGHUP") << int(SIGHUP) << false;
    QTest::newRow("Ctrl-C twice") << int(SIGINT) << true;
}

void TestCheckCommand::interruptRestores()
{
    QFETCH(int, signalNumber);
    QFETCH(bool, twice);
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch  8-channel outputs")));
    for (int coil : { 0, 2, 5, 7 })
        module.setCoil(coil, true);
    QCOMPARE(module.outputBits(), quint64(0x00A5));
    QVERIFY(module.listenTcp());
    QTemporaryDir dir;
    const QString junit = dir.filePath(QStringLiteral("r.xml"));
    // Interrupted once the check has switched some outputs (a write, then its read-back).
    int writes = 0;
    qint64 pid = 0;
    // A second signal only after the first was taken (signals sent together may merge).
    connect(&module, &ModuleSimulator::requestHandled, this, [&](int function, int, int, bool) {
        if (function == 0x10 && pid > 0 && (++writes == 3 || (twice && writes == 4)))
            ::kill(pid_t(pid), signalNumber);
    });
    const ToolRun run = runTool(checkOverTcp(QStringLiteral("Switch  8-channel outputs"), module) << "--junit" << junit,
                                {}, QString(), [&pid](QProcess &process) { pid = process.processId(); });
    QCOMPARE(run.exitCode, 3);
    QVERIFY(writes >= 3);
    // Ended there and then: no restore, no report.
    if (twice) {
        QVERIFY2(!QFile::exists(junit) && !run.out.contains(QStringLiteral("INTERRUPTED: ")), qPrintable(run.out));
        return;
    }
    QCOMPARE(module.outputBits(), quint64(0x00A5));
    QVERIFY2(run.out.contains(QStringLiteral("INTERRUPTED: ")) && run.out.contains(QStringLiteral("restore: restored")),
             qPrintable(run.out));
    // Written on the way out (tst_checkreports reads an interrupted run's JUnit file).
    QVERIFY(QFileInfo(junit).size() > 0);
}

// A generic Modbus slave of another library, every register 0, refuses to say who it is. Its
// line goes away after outputs were switched: the check ends as failed at once and says the
// module could not be put back. (Both links noticing a lost line is tst_link's; what the
// check makes of blank registers, tst_checkverdicts'.)
void TestCheckCommand::linkLostMidCheck()
{
    QTemporaryDir dir;
    QProcess socat, slave;
    const QString toolEnd = startRtuSlave(socat, slave, QDir(dir.path()), 1);
    QVERIFY(!toolEnd.isEmpty());
    const ToolRun run = runTool({ "--check", "--model", "Switch  8-channel outputs", "--serial-port", toolEnd,
                                  "--baud", "9600" },
                                {}, QString(), [&](QProcess &process) {
        connect(&process, &QProcess::readyReadStandardOutput, &socat, [&process, &socat]() {
            if (process.peek(1 << 16).contains("Y2 on"))
                socat.kill();
        });
    });
    slave.kill();
    slave.waitForFinished();
    socat.waitForFinished();
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(QStringLiteral("\nFAIL Link / link: expected up to the end of the check, read lost: ")),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("restore: not restored (link lost)")), qPrintable(run.out));
    QVERIFY2(!run.out.contains(QStringLiteral("unanswered 0,")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QStringLiteral("identity: identity not confirmed: no answer")), qPrintable(run.out));
}

QTEST_MAIN(TestCheckCommand)
#include "tst_checkcommand.moc"
