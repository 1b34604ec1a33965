#include "cli/checkcommand.h"

#include "check/checkreport.h"
#include "check/checktexts.h"
#include "cli/commandline.h"
#include "cli/interrupts.h"
#include "protocol/modelcatalogue.h"
#include "check/modulecheck.h"
#include "cli/resultscommand.h"
#include "protocol/remoteaddress.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "protocol/modbusrequest.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace CheckCommand {

namespace {

constexpr int kConnectWaitMs = 6000;

int refuse(const QString &message)
{
    fprintf(stderr, "merovitest: %s\n", qPrintable(message));
    return CommandLine::kCouldNotRun;
}

void print(const QString &line)
{
    fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    fflush(stdout);
}

// The verdict as the exit status; a report that could not be written never hides a
// failure, and never lets a pass go unmarked.
int exitStatus(const CheckRun &result, bool reportsKept)
{
    if (result.interrupted)
        return CommandLine::kInterrupted;
    if (!result.passed())
        return CommandLine::kFailed;
    return reportsKept ? CommandLine::kPassed : CommandLine::kEvidenceLost;
}

} // namespace

bool requested(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--check") == 0)
            return true;
    }
    return false;
}

int run(int argc, char *argv[], const LanguageInstaller &installLanguage)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("merovitest"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MEROVI_VERSION));
    // stdout carries the steps; the link's diagnostics stay out of the way.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    // Every argument is judged before the module hears anything.
    QCommandLineParser parser;
    parser.addOptions(CommandLine::checkOptions());
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    CheckSetup setup;
    setup.modelIndex = CommandLine::modelIndex(parser.value(QStringLiteral("model")));
    if (setup.modelIndex < 0) {
        if (!parser.isSet(QStringLiteral("model")))
            return refuse(QStringLiteral("--check needs --model NAME (merovitest --list-models lists them)"));
        return refuse(CommandLine::unknownModel(parser.value(QStringLiteral("model"))));
    }
    const bool isRemote = parser.isSet(QStringLiteral("remote"));
    if (isRemote == parser.isSet(QStringLiteral("serial-port")))
        return refuse(QStringLiteral("--check needs either --remote HOST[:PORT] or --serial-port PATH"));
    bool ok = false;
    setup.deviceAddress = parser.value(QStringLiteral("address")).toInt(&ok);
    if (!ok || setup.deviceAddress < 1 || setup.deviceAddress > 247)
        return refuse(QStringLiteral("--address wants 1 to 247, not %1").arg(parser.value(QStringLiteral("address"))));
    if (parser.isSet(QStringLiteral("expect-inputs"))) {
        QString mask = parser.value(QStringLiteral("expect-inputs"));
        if (mask.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            mask.remove(0, 2);
        setup.expectedInputs = mask.toULongLong(&ok, 16);
        if (!ok)
            return refuse(QStringLiteral("--expect-inputs wants a hex mask, not %1")
                              .arg(parser.value(QStringLiteral("expect-inputs"))));
        setup.inputsExpected = true;
    }
    setup.requireIdentity = parser.isSet(QStringLiteral("require-identity"));
    // The reports are read by machines and people elsewhere: English unless asked.
    const QString language = parser.value(QStringLiteral("language"));
    if (language != QLatin1String("en") && language != QLatin1String("zh"))
        return refuse(QStringLiteral("--language wants en or zh, not %1").arg(language));
    if (language == QLatin1String("zh") && !installLanguage(&application, language))
        return refuse(QStringLiteral("--language zh: the Chinese catalogue could not be loaded"));

    const ResultsCommand::Recording recording{
        parser.value(QStringLiteral("serial-number")), parser.value(QStringLiteral("results")),
        parser.value(QStringLiteral("station")), parser.value(QStringLiteral("operator"))};
    const bool recorded = parser.isSet(QStringLiteral("serial-number"));
    if (!recorded && (parser.isSet(QStringLiteral("results")) || parser.isSet(QStringLiteral("station"))
                      || parser.isSet(QStringLiteral("operator"))))
        return refuse(QStringLiteral("--results, --station and --operator go with --serial-number"));
    if (recorded && !ResultsCommand::recordingError(recording).isEmpty())
        return refuse(ResultsCommand::recordingError(recording));
    std::unique_ptr<ResultsCommand::Recorder> recorder;
    if (recorded)
        recorder = std::make_unique<ResultsCommand::Recorder>(recording);

    ThreadSerialport::PortSettings settings;
    RemoteAddress::Endpoint endpoint;
    if (isRemote) {
        endpoint = RemoteAddress::parseEndpoint(parser.value(QStringLiteral("remote")));
        if (!endpoint.host.valid)
            return refuse(QStringLiteral("--remote wants HOST[:PORT] with an IPv4 HOST: %1").arg(endpoint.host.error));
        if (!endpoint.port.valid)
            return refuse(QStringLiteral("--remote wants HOST[:PORT]: %1").arg(endpoint.port.error));
        setup.network = true;
        setup.endpoint = endpoint.text();
    } else {
        static const QList<int> rates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
        settings.portName = CommandLine::serialPath(parser.value(QStringLiteral("serial-port")));
        settings.baudRate = parser.value(QStringLiteral("baud")).toInt(&ok);
        if (!ok || !rates.contains(settings.baudRate))
            return refuse(QStringLiteral("--baud wants one of 1200 2400 4800 9600 19200 38400 57600 115200, not %1")
                              .arg(parser.value(QStringLiteral("baud"))));
        const QString p = parser.value(QStringLiteral("parity"));
        if (p == QLatin1String("none"))
            settings.parity = QSerialPort::NoParity;
        else if (p == QLatin1String("even"))
            settings.parity = QSerialPort::EvenParity;
        else if (p == QLatin1String("odd"))
            settings.parity = QSerialPort::OddParity;
        else
            return refuse(QStringLiteral("--parity wants none, even or odd, not %1").arg(p));
        setup.baudRate = settings.baudRate;
        setup.endpoint = CheckReport::serialEndpoint(settings.portName, settings.baudRate,
                                                     int(settings.dataBits), p.at(0).toUpper(),
                                                     int(settings.stopBits));
    }
    const QList<QPair<QString, QString>> reportOptions = {
        {QStringLiteral("report"), QStringLiteral("--report")},
        {QStringLiteral("csv"), QStringLiteral("--csv")},
        {QStringLiteral("junit"), QStringLiteral("--junit")}};
    for (const auto &option : reportOptions) {
        if (!parser.isSet(option.first))
            continue;
        const QString problem = CheckReport::pathProblem(parser.value(option.first));
        if (!problem.isEmpty())
            return refuse(QStringLiteral("%1 %2: %3").arg(option.second, parser.value(option.first), problem));
    }

    ModuleCheck engine;
    // From here on a signal cancels as the window's Cancel does, and the reports say so.
    Interrupts interrupts(CommandLine::kInterrupted);
    QObject::connect(&interrupts, &Interrupts::interrupted, &engine, [&](int) {
        if (!engine.running()) {
            fprintf(stderr, "merovitest: interrupted before the check began; nothing was switched\n");
            application.exit(CommandLine::kInterrupted);
            return;
        }
        fprintf(stderr, "merovitest: interrupted; putting the module back as it was found "
                        "(a second signal ends at once)\n");
        engine.interrupt();
    });
    auto *link = new ThreadSerialport(nullptr, [&engine](ThreadAdministrator *queue) {
        QObject::connect(&engine, &ModuleCheck::write, queue, &ThreadAdministrator::write);
        QObject::connect(queue, &ThreadAdministrator::replyReceived, &engine, &ModuleCheck::replyReceived);
        QObject::connect(queue, &ThreadAdministrator::requestFailed, &engine, &ModuleCheck::requestFailed);
        QObject::connect(queue, &ThreadAdministrator::linkHealthChanged, &engine, &ModuleCheck::setLinkHealth);
        QObject::connect(&engine, &ModuleCheck::withdraw, queue, &ThreadAdministrator::sendersClear);
    });
    QThread linkThread;
    link->moveToThread(&linkThread);
    QObject::connect(&linkThread, &QThread::finished, link, &QObject::deleteLater);
    // The link announces the address before the type code.
    int identifiedAddress = -1;
    QObject::connect(link, &ThreadSerialport::deviceAddressChange, &engine,
                     [&identifiedAddress](QString text, int) { identifiedAddress = int(text.toUInt(nullptr, 16)); });
    QObject::connect(link, &ThreadSerialport::identify_deviceType, &engine,
                     [&](int code) { engine.identified(identifiedAddress, code); });
    QObject::connect(&engine, &ModuleCheck::identificationRequested, link,
                     [link]() { link->writeSerialPort_CRC16(ModbusRequest::identificationRequest()); });
    linkThread.start();

    int status = CommandLine::kCouldNotRun;
    QTimer connectTimer;
    connectTimer.setSingleShot(true);
    auto connected = [&]() {
        if (!connectTimer.isActive())
            return;
        connectTimer.stop();
        engine.start(setup);
    };
    QObject::connect(&connectTimer, &QTimer::timeout, &application, [&]() {
        fprintf(stderr, "merovitest: could not connect to %s\n", qPrintable(setup.endpoint));
        application.exit(CommandLine::kCouldNotRun);
    });
    QObject::connect(link, &ThreadSerialport::networkConnected, &engine, connected);
    QObject::connect(link, &ThreadSerialport::serialPortOpened, &engine, connected);
    QObject::connect(link, &ThreadSerialport::serialPortError, &engine, [&](QString reason, bool lost) {
        if (lost)
            engine.linkLost(reason);
    });
    QObject::connect(link, &ThreadSerialport::networkDisconnected, &engine,
                     [&]() { engine.linkLost(QStringLiteral("the module closed the connection")); });
    QObject::connect(link, &ThreadSerialport::networkReconnecting, &engine, [&](int) {
        engine.linkLost(QStringLiteral("no connection"));
        if (!connectTimer.isActive())
            return;
        connectTimer.stop();
        fprintf(stderr, "merovitest: could not connect to %s\n", qPrintable(setup.endpoint));
        application.exit(CommandLine::kCouldNotRun);
    });
    QObject::connect(link, &ThreadSerialport::serialPortOpenFailed, &engine, [&](QString reason) {
        connectTimer.stop();
        fprintf(stderr, "merovitest: could not open %s: %s\n", qPrintable(settings.portName), qPrintable(reason));
        application.exit(CommandLine::kCouldNotRun);
    });
    QObject::connect(&engine, &ModuleCheck::stepDone, &engine,
                     [](const CheckStep &step) { print(CheckReport::stepLine(CheckTexts::translated(step))); });
    QObject::connect(&engine, &ModuleCheck::finished, &engine, [&](const CheckRun &result) {
        // The reports in the language asked for; the record keeps the English step ids.
        const CheckRun shown = CheckTexts::translated(result);
        print(CheckReport::summaryLine(shown));
        const QList<QPair<QString, QString>> files = {
            {parser.value(QStringLiteral("report")), CheckReport::html(shown)},
            {parser.value(QStringLiteral("csv")), CheckReport::csv(shown)},
            {parser.value(QStringLiteral("junit")), CheckReport::junit(shown)}};
        bool kept = true;
        for (const auto &file : files) {
            QString error;
            if (!file.first.isEmpty() && !CheckReport::save(file.first, file.second, &error)) {
                fprintf(stderr, "merovitest: could not write %s: %s\n", qPrintable(file.first),
                        qPrintable(error));
                kept = false;
            }
        }
        int status = exitStatus(result, kept);
        if (recorder)
            status = recorder->record(result, parser.value(QStringLiteral("report")),
                                      parser.value(QStringLiteral("junit")),
                                      parser.value(QStringLiteral("csv")), status);
        application.exit(status);
    });

    const QString deviceAddress = QStringLiteral("%1").arg(setup.deviceAddress, 2, 16, QLatin1Char('0')).toUpper();
    const bool network = setup.network;
    const QString hostText = endpoint.host.text;
    const quint16 port = endpoint.port.number;
    QMetaObject::invokeMethod(link, [link, deviceAddress, network, hostText, port, settings]() {
        link->initVariable();
        link->setDeviceAddress(deviceAddress);
        if (network) {
            link->connectToModule(hostText, port);
        } else {
            link->addExtraPortPath(settings.portName);
            link->setPortSettings(settings);
            link->slot_openSerialPort();
        }
    });
    connectTimer.start(kConnectWaitMs);
    status = application.exec();
    linkThread.quit();
    linkThread.wait();
    return status;
}

} // namespace CheckCommand
