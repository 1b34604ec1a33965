#include "check/resultsstore.h"
#include "check/stationfiles.h"
#include "simulator/modulesimulator.h"
#include "tests/throwawaypostgres.h"
#include "tests/toolrun.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>

// The results store on a real SQLite file and a real PostgreSQL server this test starts:
// checked boards recorded through `merovitest --check`, `--history` and `--yield`, a run
// sent twice, a server that is down, a damaged file.
class TestResultsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void locations_data();
    void locations();
    void reportNames_data();
    void reportNames();
    void boardsRecorded_data();
    void boardsRecorded();
    void serverDownQueues();
    void damagedFile_data();
    void damagedFile();

private:
    ToolRun tool(const QStringList &arguments, const QString &dataHome = QString());
    ToolRun check(ModuleSimulator &module, const QString &serial, const QString &store,
               const QStringList &more = {}, const QString &dataHome = QString());
    int stepsOnTheServer(const QString &serial);
    static RunRecord runRecord(const QString &serial);
    // The module of the checked model, listening on 127.0.0.1.
    static bool onTcp(ModuleSimulator &module) { return module.setModel(QLatin1String(kModel)) && module.listenTcp(); }

    static constexpr const char *kModel = "Switch  4-channel outputs";
    QTemporaryDir m_dir;
    ThrowawayPostgres m_postgres;
    QString m_postgresError;
};

void TestResultsStore::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_postgresError = m_postgres.start();
    // libpq reads the password itself, in this process and in the tool's.
    qputenv("PGPASSWORD", ThrowawayPostgres::kPassword);
}

ToolRun TestResultsStore::tool(const QStringList &arguments, const QString &dataHome)
{
    QProcessEnvironment home;
    home.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.isEmpty() ? m_dir.filePath(QStringLiteral("data")) : dataHome);
    return runTool(arguments, home);
}

ToolRun TestResultsStore::check(ModuleSimulator &module, const QString &serial, const QString &store,
                                const QStringList &more, const QString &dataHome)
{
    return tool(checkOverTcp(QLatin1String(kModel), module) << "--serial-number" << serial << "--results" << store
                    << more,
                dataHome);
}

// The steps of a board's runs on the PostgreSQL server, counted on a connection of the
// test's own.
int TestResultsStore::stepsOnTheServer(const QString &serial)
{
    const StoreLocation location = StoreLocation::parse(m_postgres.url());
    const QString name = QUuid::createUuid().toString();
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(location.database);
        db.setHostName(location.host);
        db.setPort(location.port);
        db.setUserName(location.user);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT COUNT(*) FROM steps JOIN runs ON runs.id = steps.run_id"
                                      " WHERE runs.serial_number = '%1'").arg(serial));
            if (query.next())
                rows = query.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

// A passing run of a board, with a new id.
RunRecord TestResultsStore::runRecord(const QString &serial)
{
    RunRecord run;
    run.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    run.serialNumber = serial;
    run.started = QDateTime::currentDateTimeUtc();
    run.verdict = QStringLiteral("PASS");
    return run;
}

// A location is refused with a reason, one that never repeats a password. A sqlite: prefix,
// a plain path and a server with its port are the stores of the runs below.
void TestResultsStore::locations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("where"); // empty: refused
    QTest::newRow("server, port 5432 unless given") << "postgresql://line@db/results"
                                                    << "postgresql://line@db:5432/results";
    QTest::newRow("password in the URL refused") << "postgresql://line:secret@db/results" << "";
    QTest::newRow("no user (or no database)") << "postgresql://db/results" << "";
    QTest::newRow("empty sqlite path") << "sqlite:" << "";
}

void TestResultsStore::locations()
{
    QFETCH(QString, text);
    QFETCH(QString, where);
    const StoreLocation location = StoreLocation::parse(text);
    if (where.isEmpty()) {
        QCOMPARE(int(location.kind), int(StoreLocation::Invalid));
        QVERIFY2(!location.error.isEmpty() && !location.error.contains(QLatin1String("secret")),
                 qPrintable(location.error));
    } else {
        QCOMPARE(location.text(), where);
    }
}

void TestResultsStore::reportNames_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<bool>("clash"); // an HTML report of the same second already there
    QTest::addColumn<QString>("base");
    QTest::newRow("plain") << "SN-0001.a_b" << false << "SN-0001.a_b_20261207-091502";
    QTest::newRow("slash, blank, colon and Chinese become _") << "A/B C:板" << false << "A_B_C___20261207-091502";
    QTest::newRow("one clash adds -2") << "SN7" << true << "SN7_20261207-091502-2";
}

void TestResultsStore::reportNames()
{
    QFETCH(QString, serial);
    QFETCH(bool, clash);
    QFETCH(QString, base);
    QTemporaryDir folder;
    const QString first = StationFiles::baseName(serial, QDateTime(QDate(2026, 12, 7), QTime(9, 15, 2)));
    if (clash) {
        QFile file(folder.filePath(first + QStringLiteral(".html")));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QCOMPARE(StationFiles::freeBaseName(folder.path(), first, { ".html", ".xml" }), base);
}

void TestResultsStore::boardsRecorded_data()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << "sqlite";
    QTest::newRow("postgresql") << "postgresql";
}

// A passing board, a failing one, and the failing one again after repair: each run
// recorded, the history newest first, the yield counting the repaired board as passed
// but not at its first run.
void TestResultsStore::boardsRecorded()
{
    QFETCH(QString, engine);
    const bool server = engine == QLatin1String("postgresql");
    const QString store = server ? m_postgres.url() : QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("boards.sqlite"));
    if (server && !m_postgresError.isEmpty())
        QSKIP(qPrintable(QStringLiteral("PostgreSQL could not be started: ") + m_postgresError));
    const QString station = QStringLiteral("station ") + engine;
    const QStringList who{ "--station", station, "--operator", QStringLiteral("Li Wei") };
    const QString reports = m_dir.filePath(engine);
    QVERIFY(QDir().mkpath(reports));

    ModuleSimulator good, bad, repaired;
    for (ModuleSimulator *module : { &good, &bad, &repaired })
        QVERIFY(onTcp(*module));
    bad.core().setStuckOutput(2);
    const QString badSerial = engine + QStringLiteral("/B 2");
    ToolRun run = check(good, engine + QStringLiteral("-A1"), store, who);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err + run.out));
    run = check(bad, badSerial, store, who + QStringList{ "--report", reports + QStringLiteral("/b1.html") });
    QVERIFY2(run.exitCode == 1, qPrintable(run.out + run.err));
    const int failedSteps = run.out.count(QRegularExpression(QStringLiteral("^FAIL "), QRegularExpression::MultilineOption));
    QVERIFY(failedSteps > 0);
    run = check(repaired, badSerial, store, who + QStringList{ "--junit", reports + QStringLiteral("/b2.xml") });
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));

    run = tool({ "--history", badSerial, "--results", store });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList newest = lines.at(0).split(QLatin1Char('\t'));
    const QStringList oldest = lines.at(1).split(QLatin1Char('\t'));
    QCOMPARE(newest.mid(1), (QStringList{ station, "Li Wei", kModel, "PASS", "0", reports + "/b2.xml" }));
    QCOMPARE(oldest.mid(1), (QStringList{ station, "Li Wei", kModel, "FAIL", QString::number(failedSteps),
                                          reports + "/b1.html" }));
    QVERIFY(QDateTime::fromString(oldest.at(0), Qt::ISODate).isValid());

    run = tool({ "--yield", "--station", station, "--results", store, "--format", "csv" });
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, QStringLiteral("model,tested,passed,failed,first-pass yield %\n"
                                     "Switch  4-channel outputs,2,2,0,50.0\n"));
    run = tool({ "--yield", "--station", station, "--results", store, "--since",
                 QDate::currentDate().addDays(1).toString(Qt::ISODate) });
    QCOMPARE(run.out.count(QLatin1Char('\n')), 1);

    // A run sent twice is kept once, its steps too: the second sending is taken, not
    // refused by the runs' or the steps' keys.
    RunRecord twice = runRecord(QStringLiteral("twice-") + engine);
    twice.steps = { { "Outputs/Y1 on", "pass", "0001", "0001", 21 }, { "Outputs/Y2 on", "pass", "0002", "0002", 20 } };
    ResultsStore results(StoreLocation::parse(store), m_dir.filePath(QStringLiteral("unused-queue.sqlite")));
    for (int sending = 0; sending < 2; ++sending)
        QCOMPARE(results.record(twice).outcome, ResultsStore::Outcome::Recorded);
}

// The server stopped: the run is kept in the station's queue and the check's verdict
// stands; after the restart the next command delivers it, once. A run the server refuses
// (PostgreSQL takes no NUL in a text) waits in the queue without holding up the runs
// queued after it.
void TestResultsStore::serverDownQueues()
{
    if (!m_postgresError.isEmpty())
        QSKIP(qPrintable(QStringLiteral("PostgreSQL could not be started: ") + m_postgresError));
    QTemporaryDir home;
    {
        // Straight into the queue file, as a run waits there while the server is down.
        ResultsStore queue(StoreLocation::parse(home.filePath(QStringLiteral("merovitest/results-queue.sqlite"))));
        const RunRecord refused = runRecord(QStringLiteral("refused") + QChar(0) + QStringLiteral("1"));
        QVERIFY(queue.record(refused).outcome == ResultsStore::Outcome::Recorded);
    }
    ModuleSimulator module;
    QVERIFY(onTcp(module));
    QVERIFY(m_postgres.stop());
    const ToolRun run = check(module, QStringLiteral("queued-1"), m_postgres.url(), {}, home.path());
    QVERIFY(m_postgres.start().isEmpty());
    QVERIFY2(run.exitCode == 0, qPrintable(run.out + run.err));
    QVERIFY2(run.err.contains(QLatin1String("queued: 2 waiting")), qPrintable(run.err));

    // Read back while still queued: the history hands the run over first.
    const ToolRun read = tool({ "--history", "queued-1", "--results", m_postgres.url() }, home.path());
    QVERIFY2(read.exitCode == 0 && read.out.contains(QLatin1String("PASS"))
                 && read.err.contains(QLatin1String(" 1 runs wait in this station's queue")),
             qPrintable(read.out + read.err));
    QVERIFY(stepsOnTheServer(QStringLiteral("queued-1")) > 0);
}

void TestResultsStore::damagedFile_data()
{
    QTest::addColumn<bool>("stuck");
    QTest::newRow("pass, not recorded: 4") << false;
    QTest::newRow("fail stays 1") << true;
}

// A file that is not a database: a clear error, no crash, the report written.
void TestResultsStore::damagedFile()
{
    QFETCH(bool, stuck);
    QTemporaryDir dir;
    QFile damaged(dir.filePath(QStringLiteral("results.sqlite")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray("SQLite format 3").append(QByteArray(4096, '\x5a')));
    damaged.close();
    ModuleSimulator module;
    QVERIFY(onTcp(module));
    if (stuck)
        module.core().setStuckOutput(1);
    const ToolRun run = check(module, QStringLiteral("SN-damaged"), damaged.fileName(),
                           { "--junit", dir.filePath("r.xml") });
    QVERIFY2(run.exitCode == (stuck ? 1 : 4), qPrintable(run.out + run.err));
    QVERIFY2(run.err.contains(QLatin1String("the run was not recorded: could not record the run in "))
                 && run.err.contains(damaged.fileName()),
             qPrintable(run.err));
    QVERIFY(QFileInfo(dir.filePath("r.xml")).size() > 0);
}

QTEST_MAIN(TestResultsStore)
#include "tst_resultsstore.moc"
