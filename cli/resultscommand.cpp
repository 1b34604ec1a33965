#include "cli/resultscommand.h"

#include "check/modulecheck.h"
#include "check/resultsstore.h"
#include "cli/commandline.h"
#include "protocol/csv.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <cstdio>

namespace ResultsCommand {

namespace {

int refuse(const QString &message)
{
    fprintf(stderr, "merovitest: %s\n", qPrintable(message));
    return CommandLine::kCouldNotRun;
}

void print(const QString &line)
{
    fprintf(stdout, "%s\n", line.toUtf8().constData());
}

void printRow(const QStringList &fields, bool csv)
{
    if (!csv) {
        print(fields.join(QLatin1Char('\t')));
        return;
    }
    QStringList quoted;
    for (const QString &field : fields)
        quoted << Csv::field(field);
    print(quoted.join(QLatin1Char(',')));
}

StoreLocation locationOf(const QString &text)
{
    return StoreLocation::parse(text.isEmpty() ? StoreLocation::defaultPath() : text);
}

QString yieldText(const YieldFigures &figures)
{
    return QString::number(figures.firstPassYield(), 'f', 1);
}

} // namespace

bool requested(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--history") == 0 || qstrcmp(argv[i], "--yield") == 0)
            return true;
    }
    return false;
}

int run(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("merovitest"));
    QCommandLineParser parser;
    parser.addOptions(CommandLine::resultsOptions());
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(QStringLiteral("history")) == parser.isSet(QStringLiteral("yield")))
        return refuse(QStringLiteral("give either --history SN or --yield"));
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    const QString formatText = parser.value(QStringLiteral("format"));
    if (formatText != QLatin1String("text") && formatText != QLatin1String("csv"))
        return refuse(QStringLiteral("--format wants text or csv, not %1").arg(formatText));
    const bool csv = formatText == QLatin1String("csv");
    QDate from;
    if (parser.isSet(QStringLiteral("since"))) {
        from = QDate::fromString(parser.value(QStringLiteral("since")), Qt::ISODate);
        if (!from.isValid())
            return refuse(QStringLiteral("--since wants YYYY-MM-DD, not %1").arg(parser.value(QStringLiteral("since"))));
    }
    if (parser.isSet(QStringLiteral("history")) && (parser.isSet(QStringLiteral("since")) || parser.isSet(QStringLiteral("station"))))
        return refuse(QStringLiteral("--since and --station go with --yield"));
    const StoreLocation location = locationOf(parser.value(QStringLiteral("results")));
    if (location.kind == StoreLocation::Invalid)
        return refuse(QStringLiteral("--results %1").arg(location.error));
    // Reading an SQLite file that is not there would make an empty one.
    if (location.kind == StoreLocation::Sqlite && !QFileInfo::exists(location.path))
        return refuse(QStringLiteral("no results store at %1").arg(location.path));

    ResultsStore store(location);
    QString error;
    // Runs this station queued while the server was down belong in what is read: handed
    // over first; those the server still does not take are named, not silently left out.
    store.deliverQueued();
    if (const int waiting = store.waiting())
        fprintf(stderr, "merovitest: %d runs wait in this station's queue and are not counted\n", waiting);
    if (parser.isSet(QStringLiteral("history"))) {
        QVector<RunRecord> runs;
        if (!store.history(parser.value(QStringLiteral("history")), &runs, &error))
            return refuse(QStringLiteral("could not read %1: %2").arg(location.text(), error));
        if (csv)
            printRow({ QStringLiteral("time"), QStringLiteral("station"), QStringLiteral("operator"),
                       QStringLiteral("model"), QStringLiteral("verdict"), QStringLiteral("failed steps"),
                       QStringLiteral("report") },
                     true);
        for (const RunRecord &run : runs)
            printRow({ run.started.toUTC().toString(Qt::ISODate), run.station, run.operatorName, run.model,
                       run.verdict, QString::number(run.failedSteps), run.reportPath() },
                     csv);
        return CommandLine::kPassed;
    }
    QVector<YieldFigures> figures;
    if (!store.yield(from, parser.value(QStringLiteral("station")), &figures, &error))
        return refuse(QStringLiteral("could not read %1: %2").arg(location.text(), error));
    printRow({ QStringLiteral("model"), QStringLiteral("tested"), QStringLiteral("passed"),
               QStringLiteral("failed"), QStringLiteral("first-pass yield %") },
             csv);
    for (const YieldFigures &line : figures)
        printRow({ line.model, QString::number(line.tested), QString::number(line.passed),
                   QString::number(line.failed), yieldText(line) },
                 csv);
    return CommandLine::kPassed;
}

QString recordingError(const Recording &recording)
{
    if (recording.serialNumber.trimmed().isEmpty())
        return QStringLiteral("--serial-number wants the board's serial number");
    if (recording.store.isEmpty())
        return QString();
    const StoreLocation location = StoreLocation::parse(recording.store);
    return location.kind == StoreLocation::Invalid ? QStringLiteral("--results %1").arg(location.error)
                                                   : QString();
}

Recorder::Recorder(const Recording &recording)
    : m_recording(recording), m_thread(new QThread), m_context(new QObject)
{
    m_context->moveToThread(m_thread);
    QObject::connect(m_thread, &QThread::finished, m_context, &QObject::deleteLater);
    m_thread->start();
    const StoreLocation location = locationOf(recording.store);
    QMetaObject::invokeMethod(m_context, [this, location]() {
        m_store = new ResultsStore(location);
        m_store->connect();
    });
}

Recorder::~Recorder()
{
    QMetaObject::invokeMethod(m_context, [this]() { delete m_store; }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

int Recorder::record(const CheckRun &run, const QString &htmlReport, const QString &junitReport,
                     const QString &csvReport, int status)
{
    const Recording &recording = m_recording;
    RunRecord record = RunRecord::fromCheck(run, recording.serialNumber);
    record.station = recording.station.isEmpty() ? QSysInfo::machineHostName() : recording.station;
    record.operatorName = recording.operatorName.isEmpty() ? qEnvironmentVariable("USER", qEnvironmentVariable("LOGNAME")) : recording.operatorName;
    const auto absolute = [](const QString &path) {
        return path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    };
    record.htmlReport = absolute(htmlReport);
    record.junitReport = absolute(junitReport);
    record.csvReport = absolute(csvReport);
    ResultsStore::Delivery delivery;
    QMetaObject::invokeMethod(m_context, [this, &record, &delivery]() { delivery = m_store->record(record); },
                              Qt::BlockingQueuedConnection);
    switch (delivery.outcome) {
    case ResultsStore::Outcome::Recorded:
        if (delivery.waiting > 0)
            fprintf(stderr, "merovitest: queued: %d waiting\n", delivery.waiting);
        return status;
    case ResultsStore::Outcome::Queued:
        fprintf(stderr, "merovitest: %s\nmerovitest: queued: %d waiting\n", qPrintable(delivery.error),
                delivery.waiting);
        return status;
    case ResultsStore::Outcome::Failed:
        break;
    }
    fprintf(stderr, "merovitest: the run was not recorded: %s\n", qPrintable(delivery.error));
    return status == CommandLine::kPassed ? CommandLine::kEvidenceLost : status;
}

} // namespace ResultsCommand
