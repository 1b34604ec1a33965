#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVector>

struct CheckRun;

// One step of a recorded run, by its step id ("Outputs/Y3 on"), never by a shown text.
struct RecordedStep
{
    QString id;
    QString result; // "pass", "fail", "n/a"
    QString expected;
    QString read;
    qint64 ms = -1;
};

// One module check as the results store keeps it.
struct RunRecord
{
    QString id; // a UUID made by the station: sending the run again never adds a row
    QString serialNumber;
    QString station;
    QString operatorName;
    QString model; // the catalogue's English name
    int typeCode = -1;
    QString identity; // the check's mark: "confirmed: …", "wrong model: …", "identity not confirmed: …"
    QDateTime started; // UTC
    qint64 durationMs = 0;
    QString verdict; // "PASS", "FAIL", "INTERRUPTED"
    QString restore; // "not needed", "restored", "not restored"
    QString htmlReport;
    QString junitReport;
    QString csvReport;
    QString toolVersion;
    int failedSteps = 0;
    QVector<RecordedStep> steps;

    static RunRecord fromCheck(const CheckRun &run, const QString &serialNumber);
    // The report the history names: the HTML one, else the JUnit, else the CSV.
    QString reportPath() const;
};

// Tested, passed and failed boards of one model, and how many passed at their first run.
struct YieldFigures
{
    QString model;
    int tested = 0;
    int passed = 0; // boards whose latest run passed
    int failed = 0;
    int firstPass = 0;
    double firstPassYield() const { return tested ? 100.0 * firstPass / tested : 0.0; }
};

// Where the results go: "sqlite:PATH" or a plain path, or
// "postgresql://USER@HOST:PORT/DB" (the password from PGPASSWORD or ~/.pgpass).
struct StoreLocation
{
    enum Kind { Invalid, Sqlite, Postgresql };

    Kind kind = Invalid;
    QString path; // SQLite
    QString user, host, database;
    int port = kPostgresPort;
    QString error;

    static constexpr int kPostgresPort = 5432;
    static StoreLocation parse(const QString &text);
    // The SQLite file in the tool's data folder.
    static QString defaultPath();
    // The station's own queue for runs a central server did not take.
    static QString defaultQueuePath();
    QString text() const; // for messages, never with a password
};

// Keeps the module check's runs in a database through Qt SQL: an SQLite file on one
// station, or a PostgreSQL server for a line, with one schema brought up to date by
// numbered migrations. A run goes in as one transaction under its UUID. When the server
// does not answer, the run waits in the station's local SQLite queue and is delivered
// with the next run (or deliverQueued()), once.
class ResultsStore
{
public:
    enum class Outcome { Recorded, Queued, Failed };
    struct Delivery
    {
        Outcome outcome = Outcome::Failed;
        int waiting = 0;   // runs in the local queue after this call
        QString error;     // why it failed, or why the server did not take it
    };

    explicit ResultsStore(const StoreLocation &location,
                          const QString &queuePath = StoreLocation::defaultQueuePath());
    ~ResultsStore();
    ResultsStore(const ResultsStore &) = delete;
    ResultsStore &operator=(const ResultsStore &) = delete;

    static constexpr int kSchemaVersion = 1;
    static constexpr int kConnectTimeoutSeconds = 5;
    static constexpr int kBusyTimeoutMs = 2000;

    const StoreLocation &location() const { return m_location; }
    // Opens the store ahead of the first record (and brings its schema up to date).
    bool connect(QString *error = nullptr);
    Delivery record(const RunRecord &run);
    // Hands the queued runs to the server; the number delivered, -1 when it did not answer.
    int deliverQueued(QString *error = nullptr);
    int waiting();

    // The board's runs, newest first, steps left out.
    bool history(const QString &serialNumber, QVector<RunRecord> *runs, QString *error);
    // Per model; runs before `since` (local midnight) or of other stations are left out;
    // interrupted runs say nothing about the board and do not count.
    bool yield(const QDate &since, const QString &station, QVector<YieldFigures> *figures,
               QString *error);

private:
    bool open(const QString &connection, QString *error);
    QString m_central;
    QString m_queue;
    StoreLocation m_location;
    QString m_queuePath;
};
