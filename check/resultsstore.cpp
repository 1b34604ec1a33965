#include "check/resultsstore.h"

#include "check/modulecheck.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUuid>
#include <QVariant>

namespace {

const QString kSqliteDriver = QStringLiteral("QSQLITE");
const QString kPostgresDriver = QStringLiteral("QPSQL");
const QString kVerdictPass = QStringLiteral("PASS");
const QString kVerdictFail = QStringLiteral("FAIL");
const QString kVerdictInterrupted = QStringLiteral("INTERRUPTED");
constexpr int kStepsPerStatement = 100;

// The schema, one entry per version; the same statements on SQLite and PostgreSQL.
// Times are ISO 8601 UTC texts with milliseconds, so they sort as they read.
const QVector<QStringList> &migrations()
{
    static const QVector<QStringList> all = {
        // 1: runs and their steps
        { QStringLiteral("CREATE TABLE runs ("
                         " id TEXT PRIMARY KEY,"
                         " serial_number TEXT NOT NULL,"
                         " station TEXT NOT NULL,"
                         " operator TEXT NOT NULL,"
                         " model TEXT NOT NULL,"
                         " type_code INTEGER NOT NULL,"
                         " identity TEXT NOT NULL,"
                         " started_at TEXT NOT NULL,"
                         " duration_ms BIGINT NOT NULL,"
                         " verdict TEXT NOT NULL,"
                         " restore_state TEXT NOT NULL,"
                         " failed_steps INTEGER NOT NULL,"
                         " html_report TEXT NOT NULL,"
                         " junit_report TEXT NOT NULL,"
                         " csv_report TEXT NOT NULL,"
                         " tool_version TEXT NOT NULL)"),
          QStringLiteral("CREATE TABLE steps ("
                         " run_id TEXT NOT NULL REFERENCES runs(id) ON DELETE CASCADE,"
                         " position INTEGER NOT NULL,"
                         " step_id TEXT NOT NULL,"
                         " result TEXT NOT NULL,"
                         " expected TEXT NOT NULL,"
                         " read_value TEXT NOT NULL,"
                         " response_ms BIGINT NOT NULL,"
                         " PRIMARY KEY (run_id, position))"),
          QStringLiteral("CREATE INDEX runs_serial ON runs (serial_number, started_at)"),
          QStringLiteral("CREATE INDEX runs_started ON runs (started_at)") },
    };
    return all;
}

QString isoUtc(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QString sqlError(const QSqlError &error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("unknown database error") : text;
}

bool exec(QSqlQuery &query, QString *error)
{
    if (query.exec())
        return true;
    if (error)
        *error = sqlError(query.lastError());
    return false;
}

bool exec(const QSqlDatabase &db, const QString &statement, QString *error)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return true;
    if (error)
        *error = sqlError(query.lastError());
    return false;
}

int schemaVersion(const QSqlDatabase &db, QString *error)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT MAX(version) FROM schema_migrations"))) {
        if (error)
            *error = sqlError(query.lastError());
        return -1;
    }
    return query.next() ? query.value(0).toInt() : 0;
}

// Brings the schema up to date, one transaction per version. Two stations migrating a
// new server at once: the second one's version row clashes, it rolls back and finds
// the work done.
bool migrate(QSqlDatabase &db, QString *error)
{
    // Up to date, the usual case: one query.
    {
        QSqlQuery query(db);
        if (query.exec(QStringLiteral("SELECT MAX(version) FROM schema_migrations")) && query.next()
            && query.value(0).toInt() == ResultsStore::kSchemaVersion)
            return true;
    }
    if (!exec(db, QStringLiteral("CREATE TABLE IF NOT EXISTS schema_migrations ("
                                 " version INTEGER PRIMARY KEY, applied_at TEXT NOT NULL)"),
              error))
        return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int version = schemaVersion(db, error);
        if (version < 0)
            return false;
        if (version > ResultsStore::kSchemaVersion) {
            if (error)
                *error = QStringLiteral("the database has schema version %1; this tool knows up to %2")
                             .arg(version)
                             .arg(ResultsStore::kSchemaVersion);
            return false;
        }
        bool clash = false;
        for (; version < migrations().size() && !clash; ++version) {
            if (!db.transaction()) {
                if (error)
                    *error = sqlError(db.lastError());
                return false;
            }
            for (const QString &statement : migrations().at(version)) {
                if (!exec(db, statement, error)) {
                    clash = true;
                    break;
                }
            }
            QSqlQuery mark(db);
            mark.prepare(QStringLiteral("INSERT INTO schema_migrations (version, applied_at) VALUES (?, ?)"));
            mark.addBindValue(version + 1);
            mark.addBindValue(isoUtc(QDateTime::currentDateTimeUtc()));
            if (clash || !exec(mark, error)) {
                db.rollback();
                clash = true;
                break;
            }
            if (!db.commit()) {
                if (error)
                    *error = sqlError(db.lastError());
                db.rollback();
                return false;
            }
        }
        if (!clash)
            return true;
    }
    return false;
}

// One transaction: the run and its steps, or nothing. A run already there (sent twice)
// is left as it is and counts as recorded.
bool insertRun(QSqlDatabase &db, const RunRecord &run, QString *error)
{
    if (!db.transaction()) {
        if (error)
            *error = sqlError(db.lastError());
        return false;
    }
    QSqlQuery insert(db);
    insert.prepare(QStringLiteral(
        "INSERT INTO runs (id, serial_number, station, operator, model, type_code, identity,"
        " started_at, duration_ms, verdict, restore_state, failed_steps, html_report,"
        " junit_report, csv_report, tool_version)"
        " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO NOTHING"));
    const QVariantList values = { run.id, run.serialNumber, run.station, run.operatorName,
                                  run.model, run.typeCode, run.identity, isoUtc(run.started),
                                  run.durationMs, run.verdict, run.restore, run.failedSteps,
                                  run.htmlReport, run.junitReport, run.csvReport,
                                  run.toolVersion };
    for (const QVariant &value : values)
        insert.addBindValue(value.type() == QVariant::String && value.toString().isNull()
                                ? QVariant(QStringLiteral(""))
                                : value);
    bool ok = exec(insert, error);
    if (ok && insert.numRowsAffected() > 0) {
        // Many rows to a statement: one round trip to a server for a whole board.
        for (int first = 0; ok && first < run.steps.size(); first += kStepsPerStatement) {
            const int rows = qMin(kStepsPerStatement, run.steps.size() - first);
            QStringList placeholders;
            for (int i = 0; i < rows; ++i)
                placeholders << QStringLiteral("(?, ?, ?, ?, ?, ?, ?)");
            QSqlQuery step(db);
            step.prepare(QStringLiteral("INSERT INTO steps (run_id, position, step_id, result, expected,"
                                        " read_value, response_ms) VALUES ")
                         + placeholders.join(QStringLiteral(", ")));
            for (int i = first; i < first + rows; ++i) {
                const RecordedStep &s = run.steps.at(i);
                step.addBindValue(run.id);
                step.addBindValue(i);
                step.addBindValue(s.id);
                step.addBindValue(s.result);
                step.addBindValue(s.expected.isNull() ? QStringLiteral("") : s.expected);
                step.addBindValue(s.read.isNull() ? QStringLiteral("") : s.read);
                step.addBindValue(s.ms);
            }
            ok = exec(step, error);
        }
    }
    if (ok && db.commit())
        return true;
    if (ok && error)
        *error = sqlError(db.lastError());
    db.rollback();
    return false;
}

const QString kRunColumns = QStringLiteral(
    "id, serial_number, station, operator, model, type_code, identity, started_at, duration_ms,"
    " verdict, restore_state, failed_steps, html_report, junit_report, csv_report, tool_version");

RunRecord runFrom(const QSqlQuery &query)
{
    RunRecord run;
    run.id = query.value(0).toString();
    run.serialNumber = query.value(1).toString();
    run.station = query.value(2).toString();
    run.operatorName = query.value(3).toString();
    run.model = query.value(4).toString();
    run.typeCode = query.value(5).toInt();
    run.identity = query.value(6).toString();
    run.started = QDateTime::fromString(query.value(7).toString(), Qt::ISODateWithMs);
    run.durationMs = query.value(8).toLongLong();
    run.verdict = query.value(9).toString();
    run.restore = query.value(10).toString();
    run.failedSteps = query.value(11).toInt();
    run.htmlReport = query.value(12).toString();
    run.junitReport = query.value(13).toString();
    run.csvReport = query.value(14).toString();
    run.toolVersion = query.value(15).toString();
    return run;
}

} // namespace

RunRecord RunRecord::fromCheck(const CheckRun &run, const QString &serialNumber)
{
    RunRecord record;
    record.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.serialNumber = serialNumber;
    record.model = run.model;
    record.typeCode = run.identifiedType;
    // The check's own mark: "confirmed: …", "wrong model: …", "identity not confirmed: …".
    record.identity = run.identity.isEmpty() ? QStringLiteral("identity not confirmed") : run.identity;
    record.started = run.started.toUTC();
    record.durationMs = run.durationMs;
    record.verdict = run.cancelled || run.interrupted ? kVerdictInterrupted : run.passed() ? kVerdictPass : kVerdictFail;
    record.restore = !run.restoreNeeded ? QStringLiteral("not needed")
                     : run.restoreOk    ? QStringLiteral("restored")
                                        : QStringLiteral("not restored");
    record.toolVersion = run.version;
    for (const CheckStep &step : run.steps) {
        RecordedStep recorded;
        recorded.id = step.group + QLatin1Char('/') + step.name;
        recorded.result = CheckStep::resultText(step.result);
        recorded.expected = step.expected;
        recorded.read = step.read;
        recorded.ms = step.ms;
        record.steps.append(recorded);
        if (step.result == CheckStep::Fail)
            ++record.failedSteps;
    }
    return record;
}

QString RunRecord::reportPath() const
{
    return !htmlReport.isEmpty() ? htmlReport : !junitReport.isEmpty() ? junitReport : csvReport;
}

StoreLocation StoreLocation::parse(const QString &text)
{
    StoreLocation location;
    if (text.startsWith(QLatin1String("postgresql://")) || text.startsWith(QLatin1String("postgres://"))) {
        const QUrl url(text, QUrl::StrictMode);
        location.user = url.userName();
        location.host = url.host();
        location.port = url.port(kPostgresPort);
        location.database = url.path().mid(1);
        if (!url.isValid() || location.host.isEmpty() || location.database.isEmpty()
            || location.database.contains(QLatin1Char('/')) || location.user.isEmpty()) {
            location.error = QStringLiteral("wants postgresql://USER@HOST:PORT/DB, not \"%1\"").arg(text);
            return location;
        }
        // A password on the command line is seen by every user of the machine.
        if (!url.password().isEmpty()) {
            location.error = QStringLiteral("takes no password in the URL; give it in PGPASSWORD or ~/.pgpass");
            return location;
        }
        location.kind = Postgresql;
        return location;
    }
    location.path = text.startsWith(QLatin1String("sqlite:")) ? text.mid(7) : text;
    if (location.path.isEmpty()) {
        location.error = QStringLiteral("wants sqlite:PATH, a path or postgresql://USER@HOST:PORT/DB");
        return location;
    }
    location.path = QFileInfo(location.path).absoluteFilePath();
    location.kind = Sqlite;
    return location;
}

QString StoreLocation::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
           + QStringLiteral("/results.sqlite");
}

QString StoreLocation::defaultQueuePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
           + QStringLiteral("/results-queue.sqlite");
}

QString StoreLocation::text() const
{
    if (kind == Postgresql)
        return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, host).arg(port).arg(database);
    return path;
}

ResultsStore::ResultsStore(const StoreLocation &location, const QString &queuePath)
    : m_location(location), m_queuePath(queuePath)
{
    const QString id = QUuid::createUuid().toString(QUuid::Id128);
    m_central = QStringLiteral("results-") + id;
    m_queue = QStringLiteral("results-queue-") + id;
    if (location.kind == StoreLocation::Postgresql) {
        QSqlDatabase db = QSqlDatabase::addDatabase(kPostgresDriver, m_central);
        db.setHostName(location.host);
        db.setPort(location.port);
        db.setDatabaseName(location.database);
        db.setUserName(location.user);
        // The password comes from PGPASSWORD or ~/.pgpass, read by libpq itself.
        db.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(kConnectTimeoutSeconds));
        QSqlDatabase queue = QSqlDatabase::addDatabase(kSqliteDriver, m_queue);
        queue.setDatabaseName(queuePath);
        queue.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    } else {
        QSqlDatabase db = QSqlDatabase::addDatabase(kSqliteDriver, m_central);
        db.setDatabaseName(location.path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        m_queue.clear();
    }
}

ResultsStore::~ResultsStore()
{
    for (const QString &name : { m_central, m_queue }) {
        if (name.isEmpty())
            continue;
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
    }
}

bool ResultsStore::open(const QString &connection, QString *error)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (db.isOpen())
        return true;
    if (db.driverName() == kSqliteDriver) {
        const QFileInfo file(db.databaseName());
        if (!QDir().mkpath(file.absolutePath())) {
            if (error)
                *error = QStringLiteral("cannot create the folder %1").arg(file.absolutePath());
            return false;
        }
    }
    if (!db.open()) {
        if (error)
            *error = sqlError(db.lastError());
        return false;
    }
    // The server's notices ("already exists, skipping") are not for the operator.
    // SQLite: a write-ahead log, so a commit costs one sync of the log rather than the
    // journal's several.
    const QStringList setUp = db.driverName() == kSqliteDriver
                                  ? QStringList{ QStringLiteral("PRAGMA journal_mode = WAL"),
                                                 QStringLiteral("PRAGMA foreign_keys = ON") }
                                  : QStringList{ QStringLiteral("SET client_min_messages TO WARNING") };
    for (const QString &statement : setUp) {
        if (!exec(db, statement, error)) {
            db.close();
            return false;
        }
    }
    if (!migrate(db, error)) {
        db.close();
        return false;
    }
    return true;
}

bool ResultsStore::connect(QString *error)
{
    if (m_location.kind == StoreLocation::Invalid) {
        if (error)
            *error = m_location.error;
        return false;
    }
    return open(m_central, error);
}

ResultsStore::Delivery ResultsStore::record(const RunRecord &run)
{
    Delivery delivery;
    if (m_location.kind == StoreLocation::Invalid) {
        delivery.error = m_location.error;
        return delivery;
    }
    QString error;
    if (m_queue.isEmpty()) {
        QSqlDatabase db = QSqlDatabase::database(m_central, false);
        if (open(m_central, &error) && insertRun(db, run, &error)) {
            delivery.outcome = Outcome::Recorded;
            return delivery;
        }
        delivery.error = QStringLiteral("could not record the run in %1: %2").arg(m_location.path, error);
        return delivery;
    }

    QSqlDatabase central = QSqlDatabase::database(m_central, false);
    // Earlier runs first, so the server sees them in their order.
    QString queueError;
    if (open(m_central, &error) && (deliverQueued(&queueError), central.isOpen())
        && insertRun(central, run, &error)) {
        delivery.outcome = Outcome::Recorded;
        delivery.waiting = waiting();
        return delivery;
    }
    // A connection that went stale is opened afresh next time.
    central.close();
    const QString serverError = error.isEmpty() ? queueError : error;
    QSqlDatabase queue = QSqlDatabase::database(m_queue, false);
    if (open(m_queue, &error) && insertRun(queue, run, &error)) {
        delivery.outcome = Outcome::Queued;
        delivery.waiting = waiting();
        delivery.error = QStringLiteral("%1 did not take the run: %2").arg(m_location.text(), serverError);
        return delivery;
    }
    delivery.error = QStringLiteral("%1 did not take the run (%2), and the local queue %3 failed: %4")
                         .arg(m_location.text(), serverError, m_queuePath, error);
    return delivery;
}

int ResultsStore::deliverQueued(QString *error)
{
    if (m_queue.isEmpty() || !QFileInfo::exists(m_queuePath))
        return 0;
    QSqlDatabase queue = QSqlDatabase::database(m_queue, false);
    if (!open(m_queue, error))
        return -1;
    QVector<RunRecord> runs;
    {
        QSqlQuery query(queue);
        query.prepare(QStringLiteral("SELECT ") + kRunColumns + QStringLiteral(" FROM runs ORDER BY started_at"));
        if (!exec(query, error))
            return -1;
        while (query.next())
            runs.append(runFrom(query));
    }
    if (runs.isEmpty())
        return 0;
    QSqlDatabase central = QSqlDatabase::database(m_central, false);
    if (!open(m_central, error))
        return -1;
    int delivered = 0;
    for (RunRecord &run : runs) {
        QSqlQuery steps(queue);
        steps.prepare(QStringLiteral("SELECT step_id, result, expected, read_value, response_ms"
                                     " FROM steps WHERE run_id = ? ORDER BY position"));
        steps.addBindValue(run.id);
        if (!exec(steps, error))
            return -1;
        while (steps.next())
            run.steps.append({ steps.value(0).toString(), steps.value(1).toString(),
                               steps.value(2).toString(), steps.value(3).toString(),
                               steps.value(4).toLongLong() });
        if (!insertRun(central, run, error)) {
            // A server that answers but refuses this one run: the run stays queued, and
            // does not hold up the runs behind it.
            QSqlQuery alive(central);
            if (alive.exec(QStringLiteral("SELECT 1")))
                continue;
            central.close();
            return delivered ? delivered : -1;
        }
        // Delivered: only now does it leave the queue. Should this delete fail, the next
        // delivery sends it again and the server keeps its one row.
        QSqlQuery remove(queue);
        remove.prepare(QStringLiteral("DELETE FROM runs WHERE id = ?"));
        remove.addBindValue(run.id);
        exec(remove, error);
        ++delivered;
    }
    return delivered;
}

int ResultsStore::waiting()
{
    if (m_queue.isEmpty() || !QFileInfo::exists(m_queuePath))
        return 0;
    if (!open(m_queue, nullptr))
        return 0;
    QSqlQuery query(QSqlDatabase::database(m_queue, false));
    if (!query.exec(QStringLiteral("SELECT COUNT(*) FROM runs")) || !query.next())
        return 0;
    return query.value(0).toInt();
}

bool ResultsStore::history(const QString &serialNumber, QVector<RunRecord> *runs, QString *error)
{
    runs->clear();
    if (!connect(error))
        return false;
    QSqlQuery query(QSqlDatabase::database(m_central, false));
    query.prepare(QStringLiteral("SELECT ") + kRunColumns
                  + QStringLiteral(" FROM runs WHERE serial_number = ? ORDER BY started_at DESC, id"));
    query.addBindValue(serialNumber);
    if (!exec(query, error))
        return false;
    while (query.next())
        runs->append(runFrom(query));
    return true;
}

bool ResultsStore::yield(const QDate &since, const QString &station, QVector<YieldFigures> *figures,
                         QString *error)
{
    figures->clear();
    if (!connect(error))
        return false;
    QSqlQuery query(QSqlDatabase::database(m_central, false));
    query.prepare(QStringLiteral("SELECT model, serial_number, verdict FROM runs"
                                 " WHERE started_at >= ? AND (? = '' OR station = ?)"
                                 " AND verdict <> ? ORDER BY started_at, id"));
    const QDateTime from = since.isValid() ? QDateTime(since, QTime(0, 0), Qt::LocalTime)
                                           : QDateTime::fromMSecsSinceEpoch(0, Qt::UTC);
    query.addBindValue(isoUtc(from));
    query.addBindValue(station.isNull() ? QStringLiteral("") : station);
    query.addBindValue(station.isNull() ? QStringLiteral("") : station);
    query.addBindValue(kVerdictInterrupted);
    if (!exec(query, error))
        return false;
    // Per model, per board: the verdict of its first run and of its latest.
    QMap<QString, QHash<QString, QPair<bool, bool>>> boards;
    while (query.next()) {
        const bool pass = query.value(2).toString() == kVerdictPass;
        auto &models = boards[query.value(0).toString()];
        auto board = models.find(query.value(1).toString());
        if (board == models.end())
            models.insert(query.value(1).toString(), qMakePair(pass, pass));
        else
            board->second = pass;
    }
    for (auto model = boards.cbegin(); model != boards.cend(); ++model) {
        YieldFigures line;
        line.model = model.key();
        for (const QPair<bool, bool> &board : model.value()) {
            ++line.tested;
            line.firstPass += board.first ? 1 : 0;
            line.passed += board.second ? 1 : 0;
        }
        line.failed = line.tested - line.passed;
        figures->append(line);
    }
    return true;
}
