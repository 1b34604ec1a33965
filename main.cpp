#include "QtLibrary/QtTools/qttools.h"
#include "cli/checkcommand.h"
#include "cli/commandline.h"
#include "cli/findcommand.h"
#include "cli/resultscommand.h"
#include "protocol/remoteaddress.h"
#include "ui/applicationfont.h"
#include "ui/language.h"
#include "ui/mainwindow.h"
#include "ui/stationwindow.h"
#include "ui/trafficviews.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTextCodec>

#include <cstdio>

namespace {

bool asksForVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "-v") == 0 || qstrcmp(argv[i], "--version") == 0)
            return true;
    }
    return false;
}

void addWindowOptions(QCommandLineParser *parser)
{
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addOptions(CommandLine::windowOptions());
}

} // namespace

int main(int argc, char *argv[])
{
    // Help, the model list and the version need no window system.
    if (CommandLine::asksForHelp(argc, argv)) {
        fputs(qPrintable(CommandLine::helpText()), stdout);
        return CommandLine::kPassed;
    }
    if (CommandLine::asksForModelList(argc, argv)) {
        fputs(CommandLine::modelList().toUtf8().constData(), stdout);
        return CommandLine::kPassed;
    }
    if (asksForVersion(argc, argv)) {
        printf("merovitest %s\n", MEROVI_VERSION);
        return CommandLine::kPassed;
    }
    if (CheckCommand::requested(argc, argv))
        return CheckCommand::run(argc, argv, &Language::install);
    if (ResultsCommand::requested(argc, argv))
        return ResultsCommand::run(argc, argv);
    // A search without a window.
    if (FindCommand::requested(argc, argv))
        return FindCommand::run(argc, argv);

    QApplication application(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("utf-8"));
    ApplicationFont::install();
    QtTools::instance()->applicationName = QStringLiteral("MeroviTest");
    QApplication::setApplicationVersion(QStringLiteral(MEROVI_VERSION));

    QCommandLineParser parser;
    addWindowOptions(&parser);
    parser.process(application);
    const QString remoteOption = QStringLiteral("remote");
    const QString serialOption = QStringLiteral("serial-port");
    const QString languageOption = QStringLiteral("language");
    const QString modelOption = QStringLiteral("model");
    const QString recordOption = QStringLiteral("record");

    RemoteAddress::Endpoint remote;
    if (parser.isSet(remoteOption)) {
        remote = RemoteAddress::parseEndpoint(parser.value(remoteOption));
        if (!remote.valid()) {
            fprintf(stderr, "merovitest: --remote wants HOST[:PORT] with an IPv4 HOST: %s\n",
                    qPrintable(remote.error()));
            return CommandLine::kCouldNotRun;
        }
    }

    int model = -1;
    if (parser.isSet(modelOption)) {
        model = CommandLine::modelIndex(parser.value(modelOption));
        if (model < 0) {
            fprintf(stderr, "merovitest: %s\n",
                    qPrintable(CommandLine::unknownModel(parser.value(modelOption))));
            return CommandLine::kCouldNotRun;
        }
    }

    QString language;
    if (parser.isSet(languageOption)) {
        language = Language::normalized(parser.value(languageOption));
        if (language.isEmpty()) {
            fprintf(stderr, "merovitest: --language wants en or zh, not \"%s\"\n",
                    qPrintable(parser.value(languageOption)));
            return 2;
        }
    }

    QtTools::instance()->openEverything();
    if (language.isEmpty())
        language = Language::stored();
    if (!Language::install(&application, language))
        fprintf(stderr, "merovitest: the Chinese texts could not be loaded; showing English\n");

    if (parser.isSet(QStringLiteral("station"))) {
        StationWindow station;
        for (const QString &path : parser.values(serialOption))
            station.addSerialPortPath(CommandLine::serialPath(path));
        station.show();
        QObject::connect(&application, &QApplication::lastWindowClosed, &application, &QApplication::quit);
        const int status = application.exec();
        QtTools::instance()->saveEverything();
        return status;
    }

    MainWindow window;
    // Before the event loop runs, so the window's first connection attempt goes there;
    // setting the fields does not connect by itself.
    if (remote.valid()) {
        window.findChild<QLineEdit *>(QStringLiteral("lineEdit_localFarIP"))->setText(remote.host.text);
        if (remote.portGiven)
            window.findChild<QLineEdit *>(QStringLiteral("lineEdit_localfarPortNumber"))
                ->setText(QString::number(remote.port.number));
    }
    for (const QString &path : parser.values(serialOption))
        window.addSerialPortPath(CommandLine::serialPath(path));
    // As the menu would: polling waits for the link and starts when it is up.
    if (model >= 0)
        window.modelAction(model)->trigger();
    if (parser.isSet(recordOption)) {
        QString error;
        if (!window.trafficViews()->startRecording(parser.value(recordOption), &error)) {
            fprintf(stderr, "merovitest: cannot record to %s: %s\n",
                    qPrintable(parser.value(recordOption)), qPrintable(error));
            return CommandLine::kCouldNotRun;
        }
    }
    window.showAsLeft();
    QObject::connect(&application, &QApplication::lastWindowClosed, &application,
                     &QApplication::quit);
    QObject::connect(&window, &QObject::destroyed, []() { QtTools::instance()->saveEverything(); });
    return application.exec();
}
