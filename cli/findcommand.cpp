#include "cli/findcommand.h"

#include "check/modulefinder.h"
#include "cli/commandline.h"
#include "protocol/remoteaddress.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>
#include <QTimer>

#include <cstdio>

namespace {

constexpr quint16 kDefaultRemotePort = 8080;
constexpr int kProgressMs = 900;
const QList<int> kBaudRates = { 115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200 };

int refuse(const QString &why)
{
    fprintf(stderr, "merovitest --find: %s\n", qPrintable(why));
    return CommandLine::kCouldNotRun;
}

QString line(const FoundModule &module)
{
    const QString none = QStringLiteral("-");
    if (module.everyAddress)
        return QStringLiteral("port=%1 baud=%2 framing=%3 address=%4-%5 found=sweep: %6")
            .arg(module.port, module.network ? QStringLiteral("-") : QString::number(module.baudRate),
                 module.framingText())
            .arg(ModuleFinder::kFirstAddress)
            .arg(ModuleFinder::kLastAddress)
            .arg(QLatin1String(ModuleFinder::kEveryAddressText));
    return QStringLiteral("port=%1 baud=%2 framing=%3 address=%4 type=%5 model=\"%6\" mac=%7 found=%8")
        .arg(module.port, module.network ? none : QString::number(module.baudRate),
             module.framingText(), QString::number(module.address),
             module.typeCode >= 0 ? QString::number(module.typeCode) : none,
             module.modelIndex >= 0 ? module.modelText() : none,
             module.mac.isEmpty() ? none : module.mac,
             module.how == FoundModule::ByIdentification ? QStringLiteral("identification")
                                                         : QStringLiteral("sweep"));
}

} // namespace

namespace FindCommand {

bool requested(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--find") == 0)
            return true;
    }
    return false;
}

int run(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.addOptions(CommandLine::findOptions());
    const QString serial = QStringLiteral("serial-port");
    const QString remote = QStringLiteral("remote");
    if (!parser.parse(application.arguments()))
        return refuse(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    const QStringList paths = parser.values(serial);
    if (paths.size() + (parser.isSet(remote) ? 1 : 0) != 1)
        return refuse(QStringLiteral("give exactly one --serial-port PATH or --remote HOST[:PORT]"));

    ModuleFinder finder;
    QObject::connect(&finder, &ModuleFinder::found, [](const FoundModule &module) {
        printf("%s\n", qPrintable(line(module)));
        fflush(stdout);
    });
    // Progress on stderr at least once a second: what is being tried, and how much was found.
    QString doing;
    QTimer heartbeat;
    auto tell = [&doing, &finder]() {
        fprintf(stderr, "merovitest --find: %s; found %d\n", qPrintable(doing), int(finder.results().size()));
    };
    QObject::connect(&heartbeat, &QTimer::timeout, &finder, tell);
    QObject::connect(&finder, &ModuleFinder::progress, &finder, [&](const QString &what, int) {
        const bool first = doing.isEmpty();
        doing = what;
        if (first)
            tell();
    });
    heartbeat.start(kProgressMs);
    int status = 1;
    QObject::connect(&finder, &ModuleFinder::finished, [&finder, &status](ModuleFinder::Outcome outcome) {
        if (!finder.results().isEmpty())
            status = 0;
        else if (outcome == ModuleFinder::Failed)
            status = refuse(finder.errorString());
        else
            fprintf(stderr, "merovitest --find: nothing found\n");
        QCoreApplication::exit(status);
    });

    if (!paths.isEmpty()) {
        ModuleFinder::SerialTarget target;
        target.portName = CommandLine::serialPath(paths.first());
        target.baudRates = kBaudRates;
        target.allRates = parser.isSet(QStringLiteral("all-rates"));
        finder.startSerial(target);
    } else {
        const QString text = parser.value(remote);
        const int colon = text.lastIndexOf(QLatin1Char(':'));
        const RemoteAddress::Host host = RemoteAddress::parseHost(colon < 0 ? text : text.left(colon));
        if (!host.valid)
            return refuse(host.error);
        quint16 port = kDefaultRemotePort;
        if (colon >= 0) {
            const RemoteAddress::Port parsed = RemoteAddress::parsePort(text.mid(colon + 1));
            if (!parsed.valid)
                return refuse(parsed.error);
            port = parsed.number;
        }
        finder.startTcp(host.text, port);
    }
    // A port that cannot be opened ends the search before the event loop runs.
    if (!finder.isRunning())
        return status;
    return application.exec();
}

} // namespace FindCommand
