#include "cli/commandline.h"

#include "protocol/modelcatalogue.h"

#include <QCommandLineOption>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace CommandLine {

namespace {

QCommandLineOption option(const char *name, const char *description, const char *value = nullptr,
                          const char *defaultValue = nullptr)
{
    QCommandLineOption result(QString::fromLatin1(name), QString::fromLatin1(description));
    if (value)
        result.setValueName(QString::fromLatin1(value));
    if (defaultValue)
        result.setDefaultValue(QString::fromLatin1(defaultValue));
    return result;
}

QCommandLineOption remoteOption(const char *description)
{
    return option("remote", description, "HOST[:PORT]");
}

QString section(const QString &title, const QList<QCommandLineOption> &options)
{
    QString text = title + QLatin1Char('\n');
    for (const QCommandLineOption &o : options) {
        QString left = QStringLiteral("  --") + o.names().first();
        if (!o.valueName().isEmpty())
            left += QLatin1Char(' ') + o.valueName();
        left = left.leftJustified(30);
        if (left.size() > 30)
            left += QStringLiteral("\n") + QString(30, QLatin1Char(' '));
        text += left + o.description() + QLatin1Char('\n');
    }
    return text;
}

QString folded(const QString &text)
{
    return text.simplified().toLower();
}

int distance(const QString &a, const QString &b)
{
    QVector<int> row(b.size() + 1);
    for (int j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1,
                                diagonal + (a.at(i - 1) == b.at(j - 1) ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[b.size()];
}

bool hasArgument(int argc, char *argv[], std::initializer_list<const char *> names)
{
    for (int i = 1; i < argc; ++i) {
        for (const char *name : names) {
            if (qstrcmp(argv[i], name) == 0)
                return true;
        }
    }
    return false;
}

} // namespace

QList<QCommandLineOption> windowOptions()
{
    return {
        remoteOption("Connect to the module at HOST (IPv4) and PORT instead of the address in "
                     "the window."),
        option("serial-port", "Offer the device PATH (a pseudo-terminal, say) among the serial "
                              "ports; repeatable.", "PATH"),
        option("model", "Show the panels of the model NAME, as the menus name it, from the "
                        "start.", "NAME"),
        option("record", "Record every polled value to FILE (CSV, appended) from the start, as "
                         "View > Record to file does.", "FILE"),
        option("language", "Show the interface in English (en) or Chinese (zh) for this run "
                           "instead of the language chosen in the Language menu.", "en|zh"),
        option("station", "Open the production station instead of the main window."),
    };
}

QList<QCommandLineOption> checkOptions()
{
    return {
        option("check", "Check the module and report every step; no window."),
        option("model", "Model as the menus name it (see --list-models).", "NAME"),
        remoteOption("Module at HOST (IPv4), port 8080 unless given."),
        option("serial-port", "Module on the serial line PATH.", "PATH"),
        option("baud", "Serial baud rate (115200).", "N", "115200"),
        option("parity", "none, even or odd (none).", "none|even|odd", "none"),
        option("address", "Device address 1-247 (1).", "N", "1"),
        option("report", "Write the HTML report.", "FILE.html"),
        option("csv", "Write the CSV report.", "FILE.csv"),
        option("junit", "Write a JUnit XML report.", "FILE.xml"),
        option("expect-inputs", "Inputs as wired, hex, IN1 = bit 0; without it inputs are "
                                "listed only.", "MASK"),
        option("require-identity", "Fail unless the module's identification names the model."),
        option("language", "Steps and verdict of the output and the reports in English (en) or "
                           "Chinese (zh).", "en|zh", "en"),
        option("serial-number", "Record the run under the board's serial number SN.", "SN"),
        option("results", "Results store: sqlite:PATH, PATH or postgresql://USER@HOST:PORT/DB "
                          "(results.sqlite in the data folder).", "STORE"),
        option("station", "Station named in the record (the host name).", "NAME"),
        option("operator", "Operator named in the record (the login name).", "NAME"),
    };
}

QList<QCommandLineOption> resultsOptions()
{
    return {
        option("history", "The board's recorded runs, newest first.", "SN"),
        option("yield", "Tested, passed, failed and first-pass yield per model."),
        option("since", "With --yield: runs from this day on.", "YYYY-MM-DD"),
        option("station", "With --yield: runs of this station only.", "NAME"),
        option("results", "Results store, as for --check.", "STORE"),
        option("format", "text or csv (text).", "text|csv", "text"),
    };
}

QList<QCommandLineOption> findOptions()
{
    return {
        option("find", "Search for modules, print one line per module found; no window."),
        option("serial-port", "Search the serial line PATH at every baud rate.", "PATH"),
        remoteOption("Search behind HOST (IPv4), port 8080 unless given."),
        option("all-rates", "Go on to the slower rates after one where modules answered."),
    };
}

QString helpText()
{
    QString text = QStringLiteral(
        "Usage: merovitest [options]                       the window\n"
        "       merovitest --check --model NAME (--remote HOST[:PORT] | --serial-port PATH) [options]\n"
        "       merovitest --find (--remote HOST[:PORT] | --serial-port PATH) [--all-rates]\n"
        "       merovitest --history SN | --yield [--since YYYY-MM-DD] [--station NAME] [--results STORE]\n"
        "       merovitest --list-models | --help | --version\n\n"
        "Test and set-up tool for Modbus I/O modules (RTU and TCP).\n\n");
    text += section(QStringLiteral("Window:"), windowOptions()) + QLatin1Char('\n');
    text += section(QStringLiteral("Module check:"), checkOptions()) + QLatin1Char('\n');
    text += section(QStringLiteral("Finding modules:"), findOptions()) + QLatin1Char('\n');
    text += section(QStringLiteral("Recorded runs:"), resultsOptions()) + QLatin1Char('\n');
    text += QStringLiteral(
        "Other:\n"
        "  --list-models               Print the 36 model names --model takes.\n"
        "  -h, --help                  Print this help.\n"
        "  -v, --version               Print the version.\n\n"
        "Exit status of --check:\n"
        "  0  pass; \"identity not confirmed\" is still 0 unless --require-identity\n"
        "  1  fail: a step failed, the identity or plausibility failed, or the link was lost\n"
        "     mid-check; also when a report could not be written at the end (said on stderr)\n"
        "  2  could not run, and nothing was switched: a bad argument, an unwritable report\n"
        "     path, or no connection\n"
        "  3  interrupted by a signal (SIGINT, SIGTERM, SIGHUP); the reports say whether the\n"
        "     restore worked\n"
        "  4  passed, but its evidence could not be kept: a report could not be written, or\n"
        "     (with --serial-number) the run could not be recorded; queued for the server is recorded\n"
        "Exit status of --find: 0 found, 1 nothing found, 2 could not run.\n");
    return text;
}

QString modelList()
{
    QString text;
    for (const ModelEntry &model : ModelCatalogue::models())
        text += QString::fromLatin1(model.english) + QLatin1Char('\n');
    return text;
}

int modelIndex(const QString &text)
{
    return ModelCatalogue::indexOf(text);
}

QString unknownModel(const QString &text)
{
    return QStringLiteral("--model \"%1\" is not a model; nearest: \"%2\" (merovitest --list-models lists all)")
        .arg(text, nearestModels(text).join(QStringLiteral("\", \"")));
}

QStringList nearestModels(const QString &text, int count)
{
    // Words and numbers in common first ("32", "outputs"), then the fewest edits.
    const QRegularExpression separators(QStringLiteral("[^a-z0-9]+"));
    const QStringList words = folded(text).split(separators, Qt::SkipEmptyParts);
    struct Candidate
    {
        int common;
        int edits;
        QString name;
    };
    QVector<Candidate> ranked;
    for (const ModelEntry &model : ModelCatalogue::models()) {
        const QString name = QString::fromLatin1(model.english);
        QStringList own = folded(name).split(separators, Qt::SkipEmptyParts);
        int common = 0;
        for (const QString &word : words)
            common += own.removeOne(word) ? 1 : 0;
        ranked.append({ common, distance(folded(text), folded(name)), name });
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Candidate &a, const Candidate &b) {
        return a.common != b.common ? a.common > b.common : a.edits < b.edits;
    });
    QStringList names;
    for (int i = 0; i < ranked.size() && i < count; ++i)
        names << ranked.at(i).name;
    return names;
}

bool asksForHelp(int argc, char *argv[])
{
    return hasArgument(argc, argv, { "-h", "-?", "--help", "--help-all" });
}

bool asksForModelList(int argc, char *argv[])
{
    return hasArgument(argc, argv, { "--list-models" });
}

QString serialPath(const QString &path)
{
    // A bare name that is no file here ("ttyUSB0") is a device the port finds under /dev.
    if (path.isEmpty() || (!path.contains(QLatin1Char('/')) && !QFileInfo::exists(path)))
        return path;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace CommandLine
