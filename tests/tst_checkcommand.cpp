#include "tests/loopbackwindow.h"

#include "protocol/modelcatalogue.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

// The command line of `merovitest`: its help and model list, arguments judged before the
// module hears anything, and the exit statuses and endpoint texts of a whole check.
class TestCheckCommand : public QObject
{
    Q_OBJECT

private slots:
    void helpNamesEverything_data();
    void helpNamesEverything();
    void listModels();
    void refusedBeforeAnyRequest_data();
    void refusedBeforeAnyRequest();
    void relativeSerialPathAndEndpoint();
    void reportLostAfterPass();

private:
    struct Run
    {
        int exitCode = -1;
        QString out;
        QString err;
    };
    // Runs merovitest to its end while this thread's event loop serves the module.
    static Run tool(const QStringList &arguments, const QString &folder = QString(),
                    const std::function<void(QProcess &)> &meanwhile = {});
};

TestCheckCommand::Run TestCheckCommand::tool(const QStringList &arguments, const QString &folder,
                                             const std::function<void(QProcess &)> &meanwhile)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(QStringLiteral(MEROVITEST_PATH), arguments);
    process.waitForStarted();
    if (meanwhile)
        meanwhile(process);
    Run run;
    if (process.state() != QProcess::NotRunning) {
        QEventLoop loop;
        connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

void TestCheckCommand::helpNamesEverything_data()
{
    QTest::addColumn<QString>("text");
    for (const char *option : { "--remote", "--serial-port", "--language", "--check", "--model",
                                "--baud", "--parity", "--address", "--report", "--csv", "--junit",
                                "--expect-inputs", "--require-identity", "--find", "--all-rates",
                                "--list-models" })
        QTest::newRow(option) << QString::fromLatin1(option);
    QTest::newRow("exit status 3") << QStringLiteral("  3  interrupted by a signal");
    QTest::newRow("exit status 4") << QStringLiteral("  4  passed, but its evidence could not be kept");
    QTest::newRow("find statuses") << QStringLiteral("0 found, 1 nothing found, 2 could not run");
}

void TestCheckCommand::helpNamesEverything()
{
    QFETCH(QString, text);
    static const Run help = tool({ QStringLiteral("--help") });
    QCOMPARE(help.exitCode, 0);
    QVERIFY2(help.out.contains(text), qPrintable(help.out));
}

void TestCheckCommand::listModels()
{
    const Run run = tool({ QStringLiteral("--list-models") });
    QCOMPARE(run.exitCode, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 36);
    for (int i = 0; i < lines.size(); ++i)
        QCOMPARE(ModelCatalogue::indexOf(lines.at(i)), i);
}

// A bad argument ends the run with 2 before the module is reached at all.
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
    const Run run = tool(QStringList{ "--check", "--remote", QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()) }
                             + arguments,
                         dir.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(said), qPrintable(run.err));
    QCOMPARE(connections.count(), 0);
    QCOMPARE(module.requestCount(), 0);
}

// A pseudo-terminal named relative to the working folder; the reports name the whole endpoint.
void TestCheckCommand::relativeSerialPathAndEndpoint()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch  4-channel outputs")));
    const QFileInfo pty(module.openPty());
    QVERIFY(pty.exists());
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("r.csv"));
    const Run run = tool({ "--check", "--model", "Switch  4-channel outputs", "--serial-port",
                           pty.fileName(), "--baud", "115200", "--csv", csv },
                         pty.absolutePath());
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains(QStringLiteral(",%1 115200 8N1,PASS,").arg(pty.absoluteFilePath())),
             qPrintable(text));
}

// A report that cannot be written at the end turns a pass into 4, never into a plain pass.
void TestCheckCommand::reportLostAfterPass()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch  8-channel outputs")));
    QVERIFY(module.listenTcp());
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("reports"));
    QVERIFY(QDir().mkpath(folder));
    connect(&module, &ModuleSimulator::requestHandled, this,
            [&folder]() { QDir(folder).removeRecursively(); });
    const Run run = tool({ "--check", "--model", "Switch  8-channel outputs", "--remote",
                           QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()), "--report",
                           folder + QStringLiteral("/r.html") });
    QCOMPARE(run.exitCode, 4);
    QVERIFY2(run.out.contains(QStringLiteral("\nPASS: ")), qPrintable(run.out));
    QVERIFY2(run.err.contains(QStringLiteral("could not write")), qPrintable(run.err));
}

QTEST_MAIN(TestCheckCommand)
#include "tst_checkcommand.moc"
