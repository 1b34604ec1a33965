// merovisim: a simulated Merovi I/O module for MeroviTest, served as Modbus TCP on
// 127.0.0.1 and/or Modbus RTU on a pseudo-terminal, with a request log on stdout.

#include "simulator/modulesimulator.h"
#include "protocol/modelcatalogue.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int number)
{
    const char byte = number == SIGUSR1 ? 'r' : 'q';
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
}

void say(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

[[noreturn]] void fail(const QString &message)
{
    std::fputs(("merovisim: " + message + "\n").toLocal8Bit().constData(), stderr);
    std::exit(2);
}

int number(const QString &name, const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 0);
    if (!ok || value < low || value > high)
        fail(QStringLiteral("--%1 wants a number from %2 to %3, not \"%4\"").arg(name).arg(low).arg(high).arg(text));
    return value;
}

int intOption(const QCommandLineParser &parser, const QString &name, int low, int high)
{
    return number(name, parser.value(name), low, high);
}

// Every value of a repeatable option, commas splitting further.
QStringList items(const QCommandLineParser &parser, const QString &name)
{
    QStringList result;
    for (const QString &value : parser.values(name))
        result += value.split(QLatin1Char(','), Qt::SkipEmptyParts);
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("merovisim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MEROVI_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated Merovi I/O module for MeroviTest: Modbus TCP on 127.0.0.1 and/or Modbus RTU\n"
        "on a pseudo-terminal, with the module's register map, watchdog, network block, restart,\n"
        "identification reply and optional fault injection. Each request is logged on stdout.\n\n"
        "Example: merovisim --tcp 1502 --serial --link /tmp/merovi-tty \\\n"
        "             --model \"Switch 32-channel outputs 16-channel inputs\""));
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options = {
        { QStringLiteral("tcp"), QStringLiteral("Serve Modbus TCP on 127.0.0.1:<port> (0: any free port)."), QStringLiteral("port") },
        { { QStringLiteral("serial"), QStringLiteral("pty") }, QStringLiteral("Serve Modbus RTU on a new pseudo-terminal; prints its path.") },
        { QStringLiteral("link"), QStringLiteral("Make <path> a symbolic link to the pseudo-terminal (implies --serial)."), QStringLiteral("path") },
        { QStringLiteral("model"), QStringLiteral("Model by its menu text (see --list-models). Default: Switch 32-channel outputs 16-channel inputs."), QStringLiteral("text") },
        { QStringLiteral("list-models"), QStringLiteral("Print the 36 model texts with their type codes and exit.") },
        { QStringLiteral("outputs"), QStringLiteral("Switch outputs (instead of --model)."), QStringLiteral("n") },
        { QStringLiteral("inputs"), QStringLiteral("Switch inputs (instead of --model)."), QStringLiteral("n") },
        { QStringLiteral("analog-out"), QStringLiteral("Analog output channels (instead of --model)."), QStringLiteral("n") },
        { QStringLiteral("analog-in"), QStringLiteral("Analog input channels (instead of --model)."), QStringLiteral("n") },
        { QStringLiteral("unit"), QStringLiteral("Unit of the analog channels: V or mA (default V)."), QStringLiteral("unit") },
        { QStringLiteral("address"), QStringLiteral("Device address 1..247 (default 1)."), QStringLiteral("n") },
        { QStringLiteral("type-code"), QStringLiteral("Type code in the identification reply (default: the model's)."), QStringLiteral("n") },
        { QStringLiteral("inputs-pattern"), QStringLiteral("Fix the switch inputs to these bits (hex, bit 0 = input 1) instead of the walking pattern."), QStringLiteral("hex") },
        { QStringLiteral("analog-in-values"), QStringLiteral("Pin analog inputs, in thousandths, comma-separated from channel 0 (an empty item leaves that channel varying)."), QStringLiteral("list") },
        { QStringLiteral("announce"), QStringLiteral("Send the identification reply once, when the tool first opens the serial line.") },
        { QStringLiteral("no-identify"), QStringLiteral("Do not answer the identification request \"ScanDevice\" + CRC.") },
        { QStringLiteral("baud"), QStringLiteral("The module's baud rate: on the pseudo-terminal it answers only while the line is set to it\n"
                                                 "(other rates are noise); also the RTU silence timing. Default: any rate, timing of 115200."), QStringLiteral("n") },
        { QStringLiteral("stuck-output"), QStringLiteral("Output Yn (1 = Y1) ignores writes: its coil and state bit keep their value. Repeatable."), QStringLiteral("n") },
        { QStringLiteral("stuck-input"), QStringLiteral("Input INn (1 = IN1) reads 1 always. Repeatable."), QStringLiteral("n") },
        { QStringLiteral("analog-offset"), QStringLiteral("Analog output AOc (0 = AO0) reads back its value register plus counts (may be negative). Repeatable."), QStringLiteral("c:counts") },
        { QStringLiteral("drop"), QStringLiteral("Lose this percentage of requests (not executed, no reply)."), QStringLiteral("percent") },
        { QStringLiteral("delay-ms"), QStringLiteral("Answer this many milliseconds late."), QStringLiteral("n") },
        { QStringLiteral("garbage"), QStringLiteral("Put random bytes before or after this percentage of replies."), QStringLiteral("percent") },
        { QStringLiteral("split"), QStringLiteral("Write every reply in pieces of 1 to 4 bytes, 4 ms apart.") },
        { QStringLiteral("corrupt-crc"), QStringLiteral("Spoil this percentage of replies: RTU CRC bytes flipped, TCP protocol identifier not 0."), QStringLiteral("percent") },
        { QStringLiteral("exception"), QStringLiteral("Answer this percentage of requests with exception 04 (server device failure), not executed."), QStringLiteral("percent") },
        { QStringLiteral("disconnect-after"), QStringLiteral("Close each TCP connection after this many requests."), QStringLiteral("n") },
        { QStringLiteral("restart-delay-ms"), QStringLiteral("After a restart, answer nothing for this long (default 0)."), QStringLiteral("n") },
        { QStringLiteral("seed"), QStringLiteral("Seed of the fault injection's random numbers."), QStringLiteral("n") },
        { QStringLiteral("quiet"), QStringLiteral("No request log; only the start-up lines and the \"faults:\" lines.") },
    };
    parser.addOptions(options);
    parser.process(application);

    if (parser.isSet(QStringLiteral("list-models"))) {
        for (const ModelEntry &row : ModelCatalogue::models()) {
            const int code = ModuleSimulator::typeCodeFor(
                qMax(0, row.outputCount), qMax(0, row.inputCount),
                qMax(0, qMax(row.voltageOutputCount, row.currentOutputCount)),
                qMax(0, qMax(row.voltageInputCount, row.currentInputCount)),
                row.currentOutputCount >= 0 || row.currentInputCount >= 0);
            say(QStringLiteral("%1  \"%2\"").arg(code).arg(QLatin1String(row.english)));
        }
        return 0;
    }

    ModuleSimulator module;
    const bool explicitCounts = parser.isSet(QStringLiteral("outputs")) || parser.isSet(QStringLiteral("inputs"))
        || parser.isSet(QStringLiteral("analog-out")) || parser.isSet(QStringLiteral("analog-in"));
    if (explicitCounts && parser.isSet(QStringLiteral("model")))
        fail(QStringLiteral("give either --model or the channel counts, not both"));
    if (parser.isSet(QStringLiteral("model")) && !module.setModel(parser.value(QStringLiteral("model"))))
        fail(QStringLiteral("unknown model \"%1\" (see --list-models)").arg(parser.value(QStringLiteral("model"))));
    if (explicitCounts) {
        const auto count = [&](const char *name, int high) {
            return parser.isSet(QLatin1String(name)) ? intOption(parser, QLatin1String(name), 0, high) : 0;
        };
        const QString unit = parser.value(QStringLiteral("unit")).isEmpty() ? QStringLiteral("V") : parser.value(QStringLiteral("unit"));
        if (unit.compare(QLatin1String("V"), Qt::CaseInsensitive) != 0 && unit.compare(QLatin1String("mA"), Qt::CaseInsensitive) != 0)
            fail(QStringLiteral("--unit is V or mA"));
        module.setCounts(count("outputs", 64), count("inputs", 64), count("analog-out", 23), count("analog-in", 64),
                         unit.compare(QLatin1String("mA"), Qt::CaseInsensitive) == 0);
    }
    if (parser.isSet(QStringLiteral("address")))
        module.setAddress(intOption(parser, QStringLiteral("address"), 1, 247));
    if (parser.isSet(QStringLiteral("type-code")))
        module.setTypeCode(intOption(parser, QStringLiteral("type-code"), 0, 65535));
    if (parser.isSet(QStringLiteral("inputs-pattern"))) {
        bool ok = false;
        QString text = parser.value(QStringLiteral("inputs-pattern"));
        if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            text = text.mid(2);
        const quint64 bits = text.toULongLong(&ok, 16);
        if (!ok)
            fail(QStringLiteral("--inputs-pattern wants hex digits"));
        module.setInputPattern(bits);
    }
    if (parser.isSet(QStringLiteral("analog-in-values"))) {
        const QStringList items = parser.value(QStringLiteral("analog-in-values")).split(QLatin1Char(','));
        for (int channel = 0; channel < items.size(); ++channel) {
            const QString item = items.at(channel).trimmed();
            if (item.isEmpty())
                continue;
            bool ok = false;
            const uint value = item.toUInt(&ok);
            if (!ok || value > 65535)
                fail(QStringLiteral("--analog-in-values wants thousandths 0..65535, not \"%1\"").arg(item));
            module.setAnalogInputValue(channel, quint16(value));
        }
    }
    if (parser.isSet(QStringLiteral("baud"))) {
        module.setBaudRate(intOption(parser, QStringLiteral("baud"), 50, 4000000));
        module.setBaudMustMatch(true);
    }
    module.setIdentify(!parser.isSet(QStringLiteral("no-identify")));
    for (const QString &item : items(parser, QStringLiteral("stuck-output")))
        module.core().setStuckOutput(number(QStringLiteral("stuck-output"), item, 1, 64) - 1);
    for (const QString &item : items(parser, QStringLiteral("stuck-input")))
        module.core().setStuckInput(number(QStringLiteral("stuck-input"), item, 1, 64) - 1);
    for (const QString &item : items(parser, QStringLiteral("analog-offset"))) {
        const QStringList parts = item.split(QLatin1Char(':'));
        if (parts.size() != 2)
            fail(QStringLiteral("--analog-offset wants channel:counts, not \"%1\"").arg(item));
        module.core().setAnalogOffset(number(QStringLiteral("analog-offset"), parts.at(0), 0, 22),
                                      number(QStringLiteral("analog-offset"), parts.at(1), -65535, 65535));
    }
    if (parser.isSet(QStringLiteral("drop")))
        module.setDropPercent(intOption(parser, QStringLiteral("drop"), 0, 100));
    if (parser.isSet(QStringLiteral("delay-ms")))
        module.setDelayMs(intOption(parser, QStringLiteral("delay-ms"), 0, 600000));
    if (parser.isSet(QStringLiteral("garbage")))
        module.setGarbagePercent(intOption(parser, QStringLiteral("garbage"), 0, 100));
    module.setSplit(parser.isSet(QStringLiteral("split")));
    if (parser.isSet(QStringLiteral("exception")))
        module.setExceptionPercent(intOption(parser, QStringLiteral("exception"), 0, 100));
    if (parser.isSet(QStringLiteral("corrupt-crc")))
        module.setCorruptCrcPercent(intOption(parser, QStringLiteral("corrupt-crc"), 0, 100));
    if (parser.isSet(QStringLiteral("disconnect-after")))
        module.setDisconnectAfter(intOption(parser, QStringLiteral("disconnect-after"), 0, 1000000000));
    if (parser.isSet(QStringLiteral("restart-delay-ms")))
        module.setRestartDelayMs(intOption(parser, QStringLiteral("restart-delay-ms"), 0, 600000));
    if (parser.isSet(QStringLiteral("seed")))
        module.setSeed(quint32(parser.value(QStringLiteral("seed")).toULongLong(nullptr, 0)));
    module.setAnnounceOnOpen(parser.isSet(QStringLiteral("announce")));
    module.setLogging(!parser.isSet(QStringLiteral("quiet")));

    const bool serial = parser.isSet(QStringLiteral("serial")) || parser.isSet(QStringLiteral("link"));
    if (!parser.isSet(QStringLiteral("tcp")) && !serial)
        fail(QStringLiteral("nothing to serve: give --tcp PORT and/or --serial (see --help)"));

    say(QStringLiteral("merovisim: model \"%1\", address %2, type code %3")
            .arg(module.modelDescription())
            .arg(module.address())
            .arg(module.typeCode()));
    if (parser.isSet(QStringLiteral("tcp"))) {
        const int port = intOption(parser, QStringLiteral("tcp"), 0, 65535);
        if (!module.listenTcp(quint16(port)))
            fail(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port));
        say(QStringLiteral("merovisim: tcp 127.0.0.1:%1").arg(module.tcpPort()));
    }
    QString linkPath;
    if (serial) {
        const QString path = module.openPty();
        if (path.isEmpty())
            fail(QStringLiteral("cannot open a pseudo-terminal"));
        say(QStringLiteral("merovisim: serial %1").arg(path));
        if (parser.isSet(QStringLiteral("link"))) {
            linkPath = parser.value(QStringLiteral("link"));
            const QFileInfo existing(linkPath);
            if (existing.isSymLink())
                QFile::remove(linkPath);
            else if (existing.exists())
                fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
            if (!QFile::link(path, linkPath))
                fail(QStringLiteral("cannot make the link %1").arg(linkPath));
            say(QStringLiteral("merovisim: link %1 -> %2").arg(linkPath, path));
        }
    }
    say(QStringLiteral("merovisim: ready"));

    // The counts after every request not answered cleanly, on SIGUSR1 and on the way out.
    const auto reportFaults = [&module] { say(module.faultCounts().line()); };
    QObject::connect(&module, &ModuleSimulator::faultCountsChanged, &application, reportFaults);
    // SIGINT and SIGTERM end the event loop, so the link is removed on the way out.
    if (::pipe(signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
        QObject::connect(notifier, &QSocketNotifier::activated, &application, [&] {
            char byte = 0;
            if (::read(signalPipe[0], &byte, 1) == 1 && byte == 'r')
                reportFaults();
            else
                QCoreApplication::quit();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGHUP, onSignal);
        std::signal(SIGUSR1, onSignal);
    }
    const int result = application.exec();
    reportFaults();
    if (!linkPath.isEmpty() && QFileInfo(linkPath).isSymLink())
        QFile::remove(linkPath);
    return result;
}
