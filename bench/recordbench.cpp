// merovirecordbench: how long recording a module check's run takes, into an SQLite file and
// into a PostgreSQL server on 127.0.0.1 (started for the purpose, as the tests do). Prints a
// Markdown section for bench/RESULTS.md.
#include "check/resultsstore.h"
#include "tests/throwawaypostgres.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUuid>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kRuns = 50;
// A 32-channel output, 16-channel input board's check has about this many steps.
constexpr int kSteps = 90;

RunRecord sampleRun(int n)
{
    RunRecord run;
    run.id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    run.serialNumber = QStringLiteral("BENCH-%1").arg(n, 5, 10, QLatin1Char('0'));
    run.station = QStringLiteral("bench");
    run.operatorName = QStringLiteral("bench");
    run.model = QStringLiteral("Switch 32-channel outputs 16-channel inputs");
    run.typeCode = 1016;
    run.identity = QStringLiteral("not confirmed");
    run.started = QDateTime::currentDateTimeUtc();
    run.durationMs = 2870;
    run.verdict = n % 10 ? QStringLiteral("PASS") : QStringLiteral("FAIL");
    run.restore = QStringLiteral("restored");
    run.htmlReport = QStringLiteral("/var/lib/merovitest/reports/%1_20261207-091500.html").arg(run.serialNumber);
    run.junitReport = QStringLiteral("/var/lib/merovitest/reports/%1_20261207-091500.xml").arg(run.serialNumber);
    for (int i = 0; i < kSteps; ++i)
        run.steps.append({ QStringLiteral("Outputs/Y%1 on").arg(i + 1), QStringLiteral("pass"),
                           QStringLiteral("0000 0001"), QStringLiteral("0000 0001"), 21 });
    return run;
}

struct Figures
{
    double median = 0, max = 0;
    int failed = 0;
};

Figures summarize(QVector<double> ms, int failed)
{
    std::sort(ms.begin(), ms.end());
    return { ms.isEmpty() ? 0 : ms.at(ms.size() / 2), ms.isEmpty() ? 0 : ms.last(), failed };
}

// A headless check opens the store, records and closes it: the whole cost per run. The
// station keeps its store open between boards.
void measure(const QString &what, const StoreLocation &location, const QString &queue, int *serial)
{
    QVector<double> fresh, kept;
    int failed = 0;
    {
        ResultsStore first(location, queue); // the schema made once, not measured
        if (first.record(sampleRun((*serial)++)).outcome != ResultsStore::Outcome::Recorded)
            ++failed;
    }
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        ResultsStore store(location, queue);
        if (store.record(sampleRun((*serial)++)).outcome != ResultsStore::Outcome::Recorded)
            ++failed;
        fresh.append(clock.nsecsElapsed() / 1e6);
    }
    ResultsStore station(location, queue);
    station.record(sampleRun((*serial)++));
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (station.record(sampleRun((*serial)++)).outcome != ResultsStore::Outcome::Recorded)
            ++failed;
        kept.append(clock.nsecsElapsed() / 1e6);
    }
    const Figures a = summarize(fresh, failed), b = summarize(kept, 0);
    printf("| %s | %.1f | %.1f | %.1f | %.1f | %d |\n", qPrintable(what), a.median, a.max, b.median, b.max,
           a.failed);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QTemporaryDir dir;
    int serial = 0;
    printf("## Recording a run\n\n");
    printf("A run of %d steps recorded %d times into a store opened for it, and %d times into a store\n"
           "already open: the station keeps its store open, and `merovitest --check --serial-number`\n"
           "opens it in a thread of its own while the check runs, so what recording adds to a check\n"
           "is the \"already open\" figure. Milliseconds.\n\n",
           kSteps, kRuns, kRuns);
    printf("| store | opened for it, median | max | already open, median | max | not recorded |\n");
    printf("|---|---|---|---|---|---|\n");
    measure(QStringLiteral("SQLite file (local disk)"),
            StoreLocation::parse(dir.filePath(QStringLiteral("bench.sqlite"))), QString(), &serial);
    ThrowawayPostgres server;
    const QString error = server.start();
    if (!error.isEmpty()) {
        printf("\nPostgreSQL not measured: %s\n", qPrintable(error));
        return 0;
    }
    qputenv("PGPASSWORD", ThrowawayPostgres::kPassword);
    measure(QStringLiteral("PostgreSQL 15 on 127.0.0.1"), StoreLocation::parse(server.url()),
            dir.filePath(QStringLiteral("queue.sqlite")), &serial);
    return 0;
}
