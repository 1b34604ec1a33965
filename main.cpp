#include "QtLibrary/QtTools/qttools.h"
#include "cli/findcommand.h"
#include "cli/checkcommand.h"
#include "protocol/remoteaddress.h"
#include "ui/applicationfont.h"
#include "ui/language.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTextCodec>

#include <cstdio>

namespace {

struct Options
{
    QCommandLineOption remote{QStringLiteral("remote"),
                              QStringLiteral("Connect to the module at HOST (IPv4) and PORT "
                                             "instead of the address in the window."),
                              QStringLiteral("HOST[:PORT]")};
    QCommandLineOption serialPort{QStringLiteral("serial-port"),
                                  QStringLiteral("Offer the device PATH (a pseudo-terminal, say) "
                                                 "among the serial ports; repeatable."),
                                  QStringLiteral("PATH")};
    QCommandLineOption language{QStringLiteral("language"),
                                QStringLiteral("Show the interface in English (en) or Chinese (zh) "
                                               "for this run instead of the language chosen in "
                                               "the Language menu."),
                                QStringLiteral("en|zh")};
};

void describe(QCommandLineParser *parser, const Options &options)
{
    parser->setApplicationDescription(
        QStringLiteral("Test and set-up tool for Modbus I/O modules (RTU and TCP)."));
    parser->addHelpOption();
    parser->addVersionOption();
    parser->addOption(options.remote);
    parser->addOption(options.serialPort);
    parser->addOption(options.language);
    parser->addOption(FindCommand::option());
}

bool onlyAsksForInformation(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" || arg == "-v"
            || arg == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (CheckCommand::requested(argc, argv))
        return CheckCommand::run(argc, argv);
    const Options options;
    // A search without a window.
    if (FindCommand::requested(argc, argv) && !onlyAsksForInformation(argc, argv))
        return FindCommand::run(argc, argv);
    // Help and version need no window system.
    if (onlyAsksForInformation(argc, argv)) {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("merovitest"));
        QCoreApplication::setApplicationVersion(QStringLiteral(MEROVI_VERSION));
        QCommandLineParser parser;
        describe(&parser, options);
        parser.process(application);
        return 0;
    }

    QApplication application(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("utf-8"));
    ApplicationFont::install();
    QtTools::instance()->applicationName = QStringLiteral("MeroviTest");
    QApplication::setApplicationVersion(QStringLiteral(MEROVI_VERSION));

    QCommandLineParser parser;
    describe(&parser, options);
    parser.process(application);
    const QCommandLineOption &remoteOption = options.remote;
    const QCommandLineOption &serialOption = options.serialPort;

    RemoteAddress::Host remoteHost;
    RemoteAddress::Port remotePort;
    if (parser.isSet(remoteOption)) {
        const QString remote = parser.value(remoteOption);
        const int colon = remote.lastIndexOf(QLatin1Char(':'));
        remoteHost = RemoteAddress::parseHost(colon < 0 ? remote : remote.left(colon));
        if (colon >= 0)
            remotePort = RemoteAddress::parsePort(remote.mid(colon + 1));
        const QString error = !remoteHost.valid ? remoteHost.error
                                                : colon >= 0 && !remotePort.valid ? remotePort.error
                                                                                  : QString();
        if (!error.isEmpty()) {
            fprintf(stderr, "merovitest: --remote wants HOST[:PORT] with an IPv4 HOST: %s\n",
                    qPrintable(error));
            return 2;
        }
    }

    QString language;
    if (parser.isSet(options.language)) {
        language = Language::normalized(parser.value(options.language));
        if (language.isEmpty()) {
            fprintf(stderr, "merovitest: --language wants en or zh, not \"%s\"\n",
                    qPrintable(parser.value(options.language)));
            return 2;
        }
    }

    QtTools::instance()->openEverything();
    if (language.isEmpty())
        language = Language::stored();
    if (!Language::install(&application, language))
        fprintf(stderr, "merovitest: the Chinese texts could not be loaded; showing English\n");

    MainWindow window;
    // Before the event loop runs, so the window's first connection attempt goes there;
    // setting the fields does not connect by itself.
    if (remoteHost.valid) {
        window.findChild<QLineEdit *>(QStringLiteral("lineEdit_localFarIP"))->setText(remoteHost.text);
        if (remotePort.valid)
            window.findChild<QLineEdit *>(QStringLiteral("lineEdit_localfarPortNumber"))
                ->setText(QString::number(remotePort.number));
    }
    for (const QString &path : parser.values(serialOption))
        window.addSerialPortPath(path);
    window.showAsLeft();
    QObject::connect(&application, &QApplication::lastWindowClosed, &application,
                     &QApplication::quit);
    QObject::connect(&window, &QObject::destroyed, []() { QtTools::instance()->saveEverything(); });
    return application.exec();
}
