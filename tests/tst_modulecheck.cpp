#include "link/checkreport.h"
#include "link/modelcatalogue.h"
#include "link/modulecheck.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "simulator/modulesimulator.h"
#include "tests/loopbackwindow.h"
#include "ui/modulecheckwindow.h"

#include <QAction>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>
#include <QtTest>

// The module check against the simulated module: what passes, what each module fault
// fails, that the module is left as it was found, and the headless command.
namespace {

// A link and its queue without a window, as the headless command runs them.
struct Link
{
    explicit Link(ModuleCheck *check)
    {
        link = new ThreadSerialport(nullptr, [check](ThreadAdministrator *queue) {
            QObject::connect(check, &ModuleCheck::write, queue, &ThreadAdministrator::write);
            QObject::connect(queue, &ThreadAdministrator::replyReceived, check, &ModuleCheck::replyReceived);
            QObject::connect(queue, &ThreadAdministrator::requestFailed, check, &ModuleCheck::requestFailed);
        });
        link->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, link, &QObject::deleteLater);
        thread.start();
        ThreadSerialport *l = link;
        QMetaObject::invokeMethod(link, [l]() { l->initVariable(); });
    }
    ~Link()
    {
        thread.quit();
        thread.wait();
    }
    bool open(ModuleSimulator &module, bool serial)
    {
        ThreadSerialport *l = link;
        QSignalSpy up(link, serial ? &ThreadSerialport::serialPortOpened : &ThreadSerialport::networkConnected);
        if (serial) {
            const QString path = module.openPty();
            ThreadSerialport::PortSettings settings;
            settings.portName = path;
            QMetaObject::invokeMethod(link, [l, settings]() {
                l->addExtraPortPath(settings.portName);
                l->setPortSettings(settings);
                l->slot_openSerialPort();
            });
        } else {
            if (!module.listenTcp())
                return false;
            const quint16 port = module.tcpPort();
            QMetaObject::invokeMethod(link, [l, port]() { l->connectToModule(QStringLiteral("127.0.0.1"), port); });
        }
        return up.wait(10000) || up.count() > 0;
    }
    QThread thread;
    ThreadSerialport *link = nullptr;
};

// What a check may touch: output states and the analog output registers.
QVector<quint64> moduleState(const ModuleSimulator &module)
{
    QVector<quint64> state{module.outputBits()};
    for (int c = 0; c < module.analogOutputCount(); ++c) {
        for (quint16 block : {quint16(0x0009), quint16(0x7594), quint16(0x7530)})
            state << module.holdingRegister(quint16(block + c));
    }
    return state;
}

// Some outputs on and some analog registers off their defaults, so restoring shows.
void disturb(ModuleSimulator &module)
{
    if (module.outputCount() > 2) {
        module.setCoil(0, true);
        module.setCoil(module.outputCount() - 1, true);
    }
    for (int c = 0; c < module.analogOutputCount(); ++c)
        module.setHoldingRegister(quint16(0x0009 + c), quint16(0x100 + c));
    module.setInputPattern(0);
}

CheckRun runCheck(ModuleSimulator &module, bool serial, CheckSetup setup = CheckSetup(),
                  int cancelAfterSteps = -1)
{
    ModuleCheck check;
    Link link(&check);
    if (!link.open(module, serial))
        return CheckRun();
    QSignalSpy finished(&check, &ModuleCheck::finished);
    QObject::connect(&check, &ModuleCheck::stepDone, &check, [&](const CheckStep &) {
        if (check.result().steps.size() == cancelAfterSteps)
            check.cancel();
    });
    setup.network = !serial;
    check.start(setup);
    finished.wait(60000);
    return check.result();
}

QStringList failedSteps(const CheckRun &run)
{
    QStringList names;
    for (const CheckStep &step : run.steps) {
        if (step.result == CheckStep::Fail)
            names << step.name;
    }
    return names;
}

// Fields of one CSV line; quoted fields may hold commas and doubled quotes.
QStringList csvFields(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar ch = line.at(i);
        if (quoted && ch == QLatin1Char('"') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"'))
            field += line.at(++i);
        else if (ch == QLatin1Char('"'))
            quoted = !quoted;
        else if (ch == QLatin1Char(',') && !quoted)
        {
            fields << field;
            field.clear();
        }
        else
            field += ch;
    }
    return fields << field;
}

} // namespace

class TestModuleCheck : public QObject
{
    Q_OBJECT

private slots:
    void passesAndRestores_data();
    void passesAndRestores();
    void faultFailsItsSteps_data();
    void faultFailsItsSteps();
    void cancelRestores();
    void headless_data();
    void headless();
    void windowPausesPollingAndShowsFailuresFirst();
};

void TestModuleCheck::passesAndRestores_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("serial");
    QTest::newRow("outputs with inputs, TCP") << "Switch 32-channel outputs 16-channel inputs" << false;
    QTest::newRow("inputs only, TCP") << "Switch 16-channel inputs" << false;
    QTest::newRow("analog outputs, TCP") << "Analog current  8-channel outputs" << false;
    QTest::newRow("analog inputs, TCP") << "Analog voltage  4-channel inputs" << false;
    QTest::newRow("outputs with inputs, pty") << "Switch  8-channel outputs  8-channel inputs" << true;
}

void TestModuleCheck::passesAndRestores()
{
    QFETCH(QString, model);
    QFETCH(bool, serial);
    ModuleSimulator module;
    QVERIFY(module.setModel(model));
    disturb(module);
    const QVector<quint64> before = moduleState(module);
    CheckSetup setup;
    setup.modelIndex = ModelCatalogue::indexOf(model);
    const CheckRun run = runCheck(module, serial, setup);
    QVERIFY2(run.passed(), qPrintable(failedSteps(run).join(QLatin1Char(','))));
    QVERIFY(run.count(CheckStep::Pass) > 2);
    QCOMPARE(run.health.timeouts, quint64(0));
    QCOMPARE(moduleState(module), before);
}

void TestModuleCheck::faultFailsItsSteps_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("fault"); // 0 stuck output, 1 stuck input, 2 analog offset
    QTest::addColumn<int>("channel");
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<QString>("named");
    QTest::newRow("stuck output Y3") << "Switch  8-channel outputs" << 0 << 2
                                     << QStringList{"Y3 on", "all on"} << "Y3";
    QTest::newRow("stuck input IN2") << "Switch  8-channel outputs  8-channel inputs" << 1 << 1
                                     << QStringList{"IN2"} << "on";
    QTest::newRow("analog offset AO1") << "Analog voltage  2-channel outputs" << 2 << 1
                                       << QStringList{"AO1 0 %", "AO1 50 %", "AO1 100 %"} << "AO1";
}

void TestModuleCheck::faultFailsItsSteps()
{
    QFETCH(QString, model);
    QFETCH(int, fault);
    QFETCH(int, channel);
    QFETCH(QStringList, failing);
    QFETCH(QString, named);
    ModuleSimulator module;
    QVERIFY(module.setModel(model));
    module.setInputPattern(0);
    for (int c = 0; c < module.analogOutputCount(); ++c)
        module.setHoldingRegister(quint16(0x0009 + c), 0x0200);
    if (fault == 0)
        module.core().setStuckOutput(channel);
    else if (fault == 1)
        module.core().setStuckInput(channel);
    else
        module.core().setAnalogOffset(channel, 7);
    const QVector<quint64> before = moduleState(module);
    CheckSetup setup;
    setup.modelIndex = ModelCatalogue::indexOf(model);
    setup.inputsExpected = true;
    const CheckRun run = runCheck(module, false, setup);
    QCOMPARE(failedSteps(run), failing);
    for (const CheckStep &step : run.steps) {
        if (step.result == CheckStep::Fail)
            QVERIFY2(step.read.contains(named), qPrintable(step.read));
    }
    QVERIFY(run.restoreOk);
    QCOMPARE(moduleState(module), before);
}

void TestModuleCheck::cancelRestores()
{
    const QString model = QStringLiteral("Switch 32-channel outputs 16-channel inputs");
    ModuleSimulator module;
    QVERIFY(module.setModel(model));
    disturb(module);
    const QVector<quint64> before = moduleState(module);
    CheckSetup setup;
    setup.modelIndex = ModelCatalogue::indexOf(model);
    const CheckRun run = runCheck(module, false, setup, 10);
    QVERIFY(run.cancelled);
    QCOMPARE(run.verdict(), QStringLiteral("CANCELLED"));
    QVERIFY(run.restoreNeeded && run.restoreOk);
    QVERIFY(run.steps.size() < 40);
    QCOMPARE(moduleState(module), before);
}

void TestModuleCheck::headless_data()
{
    QTest::addColumn<QString>("model"); // as typed, blanks collapsed or not
    QTest::addColumn<int>("stuckOutput");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("pass") << "Switch  4-channel outputs" << -1 << true << 0;
    QTest::newRow("stuck output, reports") << "Switch 8-channel outputs" << 0 << true << 1;
    QTest::newRow("no connection") << "Switch  4-channel outputs" << -1 << false << 2;
    QTest::newRow("unknown model") << "Switch 5-channel outputs" << -1 << true << 2;
}

void TestModuleCheck::headless()
{
    QFETCH(QString, model);
    QFETCH(int, stuckOutput);
    QFETCH(bool, reachable);
    QFETCH(int, exitCode);
    ModuleSimulator module;
    module.setModel(QStringLiteral("Switch  8-channel outputs"));
    if (stuckOutput >= 0)
        module.core().setStuckOutput(stuckOutput);
    quint16 port = 0;
    if (reachable) {
        QVERIFY(module.listenTcp());
        port = module.tcpPort();
    } else {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    QTemporaryDir dir;
    const QString html = dir.filePath(QStringLiteral("r.html"));
    const QString csv = dir.filePath(QStringLiteral("r.csv"));
    const QString xml = dir.filePath(QStringLiteral("r.xml"));
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tool.setProcessEnvironment(environment);
    qRegisterMetaType<QProcess::ExitStatus>();
    QSignalSpy finished(&tool, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
    tool.start(QStringLiteral(MEROVITEST_PATH),
               {QStringLiteral("--check"), QStringLiteral("--model"), model, QStringLiteral("--remote"),
                QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--report"), html,
                QStringLiteral("--csv"), csv, QStringLiteral("--junit"), xml});
    // The module answers from this thread: wait with the event loop running.
    QVERIFY(finished.wait(60000) || finished.count() > 0);
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitCode(), exitCode);
    if (exitCode == 2) {
        QVERIFY2(err.contains(QStringLiteral("merovitest: ")), qPrintable(err));
        QVERIFY(!QFile::exists(html));
        return;
    }
    QVERIFY2(out.contains(exitCode == 0 ? QStringLiteral("\nPASS: ") : QStringLiteral("\nFAIL: ")), qPrintable(out));

    // The three files name the same steps with the same results.
    QMap<QString, QString> fromCsv, fromJunit, fromHtml;
    QFile csvFile(csv);
    QVERIFY(csvFile.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(csvFile.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QStringList header = csvFields(lines.first());
    for (const QString &line : lines.mid(1)) {
        const QStringList fields = csvFields(line);
        QCOMPARE(fields.size(), header.size());
        fromCsv.insert(fields.at(6) + QLatin1Char('/') + fields.at(7), fields.at(8));
        QCOMPARE(fields.at(5), exitCode == 0 ? QStringLiteral("PASS") : QStringLiteral("FAIL"));
    }
    QFile xmlFile(xml);
    QVERIFY(xmlFile.open(QIODevice::ReadOnly));
    QXmlStreamReader junit(&xmlFile);
    QString current;
    while (!junit.atEnd()) {
        if (junit.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (junit.name() == QLatin1String("testcase")) {
            current = junit.attributes().value(QLatin1String("classname")) + QLatin1Char('/')
                + junit.attributes().value(QLatin1String("name"));
            fromJunit.insert(current, QStringLiteral("pass"));
        } else if (junit.name() == QLatin1String("failure")) {
            fromJunit[current] = QStringLiteral("fail");
        } else if (junit.name() == QLatin1String("skipped")) {
            fromJunit[current] = QStringLiteral("n/a");
        }
    }
    QVERIFY2(!junit.hasError(), qPrintable(junit.errorString()));
    QFile htmlFile(html);
    QVERIFY(htmlFile.open(QIODevice::ReadOnly));
    QXmlStreamReader page(&htmlFile);
    QStringList cells;
    while (!page.atEnd()) {
        page.readNext();
        if (page.isStartElement() && page.name() == QLatin1String("td"))
            cells << page.readElementText();
        if (page.isEndElement() && page.name() == QLatin1String("tr")) {
            if (cells.size() == 6)
                fromHtml.insert(cells.at(0) + QLatin1Char('/') + cells.at(1), cells.at(2));
            cells.clear();
        }
    }
    QVERIFY2(!page.hasError(), qPrintable(page.errorString()));
    QVERIFY(fromCsv.size() > 5);
    QCOMPARE(fromJunit, fromCsv);
    QCOMPARE(fromHtml, fromCsv);
    QCOMPARE(fromCsv.values().contains(QStringLiteral("fail")), exitCode == 1);
    if (exitCode == 1)
        QCOMPARE(fromCsv.value(QStringLiteral("Outputs/Y1 on")), QStringLiteral("fail"));
}

void TestModuleCheck::windowPausesPollingAndShowsFailuresFirst()
{
    const QString model = QStringLiteral("Switch  8-channel outputs  8-channel inputs");
    ModuleSimulator module;
    QVERIFY(module.setModel(model));
    module.core().setStuckOutput(5);
    MainWindow *window = nullptr;
    openWindowOnModule(window, module, false);
    QScopedPointer<MainWindow> owner(window);
    window->modelActions.at(ModelCatalogue::indexOf(model))->trigger();
    auto *detect = window->findChild<QPushButton *>(QStringLiteral("pushButton_check"));
    QTRY_COMPARE(detect->text(), QStringLiteral("Stop detecting"));
    QVERIFY(window->outputPollTimer.isActive());
    module.setCoil(1, true);
    const QVector<quint64> before = moduleState(module);

    // While the check runs, the module hears only the check.
    QStringList during, after;
    connect(window, &MainWindow::write, this, [&](Sender *sender) {
        (window->moduleCheck->running() ? during : after) << sender->kind;
    });
    window->moduleCheckAction->trigger();
    QVERIFY(!window->outputPollTimer.isActive());
    ModuleCheckWindow *results = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((results = window->findChild<ModuleCheckWindow *>()) != nullptr, 60000);
    const QStringList polls = during.filter(QRegularExpression(QStringLiteral("^(?!Module check )")));
    QVERIFY2(polls.isEmpty(), qPrintable(polls.join(QLatin1Char(','))));

    auto *table = results->findChild<QTableWidget *>(QStringLiteral("stepTable"));
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("fail"));
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("Y6 on"));
    results->findChild<QLineEdit *>(QStringLiteral("filterEdit"))->setText(QStringLiteral("IN3"));
    int shown = 0;
    for (int row = 0; row < table->rowCount(); ++row)
        shown += table->isRowHidden(row) ? 0 : 1;
    QCOMPARE(shown, 1);

    QTemporaryDir dir;
    for (const QString &name : {QStringLiteral("r.html"), QStringLiteral("r.csv")}) {
        QVERIFY(results->saveReport(dir.filePath(name)));
        QFile saved(dir.filePath(name));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("Y6 on"));
    }

    QVERIFY(window->outputPollTimer.isActive());
    QCOMPARE(detect->text(), QStringLiteral("Stop detecting"));
    QTRY_VERIFY(after.contains(QStringLiteral("Start detecting")));
    QTRY_VERIFY(after.contains(QStringLiteral("Check Status")));
    QCOMPARE(moduleState(module), before);
}

QTEST_MAIN(TestModuleCheck)
#include "tst_modulecheck.moc"
