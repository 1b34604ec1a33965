#include "cli/checkcommand.h"

#include "check/checkreport.h"
#include "protocol/modelcatalogue.h"
#include "check/modulecheck.h"
#include "cli/resultscommand.h"
#include "protocol/remoteaddress.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace CheckCommand {

namespace {

constexpr int kConnectWaitMs = 6000;
// An identification the module sends unasked when the line opens arrives meanwhile.
constexpr int kAnnounceWaitMs = 200;
constexpr quint16 kDefaultPort = 8080;

int refuse(const QString &message)
{
    fprintf(stderr, "merovitest: %s\n", qPrintable(message));
    return 2;
}

void print(const QString &line)
{
    fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
    fflush(stdout);
}

int modelIndex(const QString &text)
{
    const QString wanted = text.simplified();
    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (int i = 0; i < models.size(); ++i) {
        if (QString::fromLatin1(models.at(i).english).simplified() == wanted)
            return i;
    }
    return -1;
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

int run(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("merovitest"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MEROVI_VERSION));
    // stdout carries the steps; the link's diagnostics stay out of the way.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Checks a Modbus I/O module and reports every step."));
    parser.addHelpOption();
    const QCommandLineOption check(QStringLiteral("check"), QStringLiteral("Run the module check."));
    const QCommandLineOption model(QStringLiteral("model"), QStringLiteral("Model as the menus show it."),
                                   QStringLiteral("NAME"));
    const QCommandLineOption remote(QStringLiteral("remote"), QStringLiteral("Module at HOST (IPv4), port 8080 unless given."),
                                    QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption serial(QStringLiteral("serial-port"), QStringLiteral("Module on the serial line PATH."),
                                    QStringLiteral("PATH"));
    const QCommandLineOption baud(QStringLiteral("baud"), QStringLiteral("Serial baud rate (115200)."),
                                  QStringLiteral("N"), QStringLiteral("115200"));
    const QCommandLineOption parity(QStringLiteral("parity"), QStringLiteral("none, even or odd (none)."),
                                    QStringLiteral("none|even|odd"), QStringLiteral("none"));
    const QCommandLineOption address(QStringLiteral("address"), QStringLiteral("Device address 1-247 (1)."),
                                     QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption report(QStringLiteral("report"), QStringLiteral("Write the HTML report."),
                                    QStringLiteral("FILE.html"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Write the CSV report."),
                                 QStringLiteral("FILE.csv"));
    const QCommandLineOption junit(QStringLiteral("junit"), QStringLiteral("Write a JUnit XML report."),
                                   QStringLiteral("FILE.xml"));
    const QCommandLineOption inputs(QStringLiteral("expect-inputs"),
                                    QStringLiteral("Inputs as wired, hex, IN1 = bit 0; without it inputs are listed only."),
                                    QStringLiteral("MASK"));
    parser.addOptions({check, model, remote, serial, baud, parity, address, report, csv, junit, inputs});
    const QCommandLineOption serialNumber(QStringLiteral("serial-number"),
                                          QStringLiteral("Record the run under the board's serial number SN."),
                                          QStringLiteral("SN"));
    const QCommandLineOption results(QStringLiteral("results"),
                                     QStringLiteral("Results store: sqlite:PATH, PATH or postgresql://USER@HOST:PORT/DB "
                                                    "(default: results.sqlite in the data folder)."),
                                     QStringLiteral("STORE"));
    const QCommandLineOption station(QStringLiteral("station"), QStringLiteral("Station name in the record (the host name)."),
                                     QStringLiteral("NAME"));
    const QCommandLineOption operatorName(QStringLiteral("operator"), QStringLiteral("Operator in the record (the login name)."),
                                          QStringLiteral("NAME"));
    parser.addOptions({serialNumber, results, station, operatorName});
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        print(parser.helpText());
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    CheckSetup setup;
    setup.modelIndex = modelIndex(parser.value(model));
    if (setup.modelIndex < 0)
        return refuse(QStringLiteral("--model \"%1\" is not a model of the menus (merovisim --list-models lists them)")
                          .arg(parser.value(model)));
    if (parser.isSet(remote) == parser.isSet(serial))
        return refuse(QStringLiteral("--check needs either --remote HOST[:PORT] or --serial-port PATH"));
    bool ok = false;
    setup.deviceAddress = parser.value(address).toInt(&ok);
    if (!ok || setup.deviceAddress < 1 || setup.deviceAddress > 247)
        return refuse(QStringLiteral("--address wants 1 to 247, not %1").arg(parser.value(address)));
    if (parser.isSet(inputs)) {
        QString mask = parser.value(inputs);
        if (mask.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            mask.remove(0, 2);
        setup.expectedInputs = mask.toULongLong(&ok, 16);
        if (!ok)
            return refuse(QStringLiteral("--expect-inputs wants a hex mask, not %1").arg(parser.value(inputs)));
        setup.inputsExpected = true;
    }

    const ResultsCommand::Recording recording{parser.value(serialNumber), parser.value(results),
                                              parser.value(station), parser.value(operatorName)};
    const bool recorded = parser.isSet(serialNumber);
    if (!recorded && (parser.isSet(results) || parser.isSet(station) || parser.isSet(operatorName)))
        return refuse(QStringLiteral("--results, --station and --operator go with --serial-number"));
    if (recorded && !ResultsCommand::recordingError(recording).isEmpty())
        return refuse(ResultsCommand::recordingError(recording));

    RemoteAddress::Host host;
    quint16 port = kDefaultPort;
    ThreadSerialport::PortSettings settings;
    if (parser.isSet(remote)) {
        const QString text = parser.value(remote);
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        host = RemoteAddress::parseHost(colon < 0 ? text : text.left(colon));
        if (!host.valid)
            return refuse(QStringLiteral("--remote wants HOST[:PORT] with an IPv4 HOST: %1").arg(host.error));
        if (colon >= 0) {
            const RemoteAddress::Port given = RemoteAddress::parsePort(text.mid(colon + 1));
            if (!given.valid)
                return refuse(QStringLiteral("--remote wants HOST[:PORT]: %1").arg(given.error));
            port = given.number;
        }
        setup.network = true;
        setup.endpoint = host.text + QLatin1Char(':') + QString::number(port);
    } else {
        static const QList<int> rates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
        settings.portName = parser.value(serial);
        settings.baudRate = parser.value(baud).toInt(&ok);
        if (!ok || !rates.contains(settings.baudRate))
            return refuse(QStringLiteral("--baud wants one of 1200 2400 4800 9600 19200 38400 57600 115200, not %1")
                              .arg(parser.value(baud)));
        const QString p = parser.value(parity);
        if (p == QLatin1String("none"))
            settings.parity = QSerialPort::NoParity;
        else if (p == QLatin1String("even"))
            settings.parity = QSerialPort::EvenParity;
        else if (p == QLatin1String("odd"))
            settings.parity = QSerialPort::OddParity;
        else
            return refuse(QStringLiteral("--parity wants none, even or odd, not %1").arg(p));
        setup.endpoint = QStringLiteral("%1 %2 8%31")
                             .arg(settings.portName)
                             .arg(settings.baudRate)
                             .arg(p.at(0).toUpper());
    }

    ModuleCheck engine;
    auto *link = new ThreadSerialport(nullptr, [&engine](ThreadAdministrator *queue) {
        QObject::connect(&engine, &ModuleCheck::write, queue, &ThreadAdministrator::write);
        QObject::connect(queue, &ThreadAdministrator::replyReceived, &engine, &ModuleCheck::replyReceived);
        QObject::connect(queue, &ThreadAdministrator::requestFailed, &engine, &ModuleCheck::requestFailed);
        QObject::connect(queue, &ThreadAdministrator::linkHealthChanged, &engine, &ModuleCheck::setLinkHealth);
    });
    QThread linkThread;
    link->moveToThread(&linkThread);
    QObject::connect(&linkThread, &QThread::finished, link, &QObject::deleteLater);
    QObject::connect(link, &ThreadSerialport::identify_deviceType, &engine,
                     [&setup](int code) { setup.identifiedType = code; });
    QObject::connect(link, &ThreadSerialport::deviceAddressChange, &engine,
                     [&setup](QString text, int) { setup.identifiedAddress = int(text.toUInt(nullptr, 16)); });
    linkThread.start();

    int status = 2;
    QTimer connectTimer;
    connectTimer.setSingleShot(true);
    auto connected = [&]() {
        if (!connectTimer.isActive())
            return;
        connectTimer.stop();
        QTimer::singleShot(kAnnounceWaitMs, &engine, [&]() { engine.start(setup); });
    };
    QObject::connect(&connectTimer, &QTimer::timeout, &application, [&]() {
        fprintf(stderr, "merovitest: could not connect to %s\n", qPrintable(setup.endpoint));
        application.exit(2);
    });
    QObject::connect(link, &ThreadSerialport::networkConnected, &engine, connected);
    QObject::connect(link, &ThreadSerialport::serialPortOpened, &engine, connected);
    QObject::connect(link, &ThreadSerialport::networkReconnecting, &engine, [&](int) {
        if (!connectTimer.isActive())
            return;
        connectTimer.stop();
        fprintf(stderr, "merovitest: could not connect to %s\n", qPrintable(setup.endpoint));
        application.exit(2);
    });
    QObject::connect(link, &ThreadSerialport::serialPortOpenFailed, &engine, [&](QString reason) {
        connectTimer.stop();
        fprintf(stderr, "merovitest: could not open %s: %s\n", qPrintable(settings.portName), qPrintable(reason));
        application.exit(2);
    });
    QObject::connect(&engine, &ModuleCheck::stepDone, &engine,
                     [](const CheckStep &step) { print(CheckReport::stepLine(step)); });
    QObject::connect(&engine, &ModuleCheck::finished, &engine, [&](const CheckRun &result) {
        print(CheckReport::summaryLine(result));
        int code = result.passed() ? 0 : 1;
        const QList<QPair<QString, QString>> files = {
            {parser.value(report), CheckReport::html(result)},
            {parser.value(csv), CheckReport::csv(result)},
            {parser.value(junit), CheckReport::junit(result)}};
        for (const auto &file : files) {
            QString error;
            if (!file.first.isEmpty() && !CheckReport::save(file.first, file.second, &error)) {
                fprintf(stderr, "merovitest: could not write %s: %s\n", qPrintable(file.first),
                        qPrintable(error));
                code = 2;
            }
        }
        if (recorded)
            code = ResultsCommand::record(result, recording, parser.value(report), parser.value(junit),
                                          parser.value(csv), code);
        application.exit(code);
    });

    const QString deviceAddress = QStringLiteral("%1").arg(setup.deviceAddress, 2, 16, QLatin1Char('0')).toUpper();
    const bool network = setup.network;
    const QString hostText = host.text;
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
