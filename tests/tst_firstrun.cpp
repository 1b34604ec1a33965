// A first run that shows the module: `merovitest --model` starts with live panels; while
// connected without a model the panel area says where to choose one and offers
// "Identify module", which asks the module what it is (and nothing else does); the window
// takes the model and the address the module names, over TCP and over a serial line; the
// hint goes when the link does.

#include "loopbackwindow.h"
#include "toolrun.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTextEdit>

#include <algorithm>

class TestFirstRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void identifyModule_data();
    void identifyModule();
    void startWithModel_data();
    void startWithModel();

private:
    QWidget *hint() const { return window->findChild<QWidget *>(QStringLiteral("noModelHint")); }
    // Shown in the panel area (the window itself need not be on screen).
    bool hintShown() const { return hint()->isVisibleTo(window); }

    MainWindow *window = nullptr;
    ModuleSimulator *module = nullptr;
    QStringList moduleLog;
};

void TestFirstRun::init()
{
    moduleLog.clear();
    module = new ModuleSimulator;
    module->setLogging(true);
    module->setLogFunction([this](const QString &line) { moduleLog << line; });
}

void TestFirstRun::cleanup()
{
    delete window;
    window = nullptr;
    delete module;
    module = nullptr;
}

void TestFirstRun::identifyModule_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("outputs"); // what the window shows after the reply; -1 none

    QTest::newRow("TCP, type code 220 names the 64-output board")
        << false << "Switch 64-channel outputs" << 64;
    QTest::newRow("serial line, type code 220 names the 64-output board")
        << true << "Switch 64-channel outputs" << 64;
    QTest::newRow("serial line, a type code the catalogue lacks chooses nothing")
        << true << "Switch 32-channel outputs 16-channel inputs" << -1;
}

void TestFirstRun::identifyModule()
{
    QFETCH(bool, serial);
    QFETCH(QString, model);
    QFETCH(int, outputs);
    QVERIFY(module->setModel(model));
    if (serial) {
        // The line opens with the parity the box names, in either language.
        window = newLoopbackWindow();
        auto *parity = window->findChild<QComboBox *>(QStringLiteral("parityCbb"));
        parity->setCurrentIndex(parity->findText(shown("Even")));
        openSerialInWindow(window, module->openPty());
    } else {
        openWindowOnModule(window, *module, false);
    }
    if (QTest::currentTestFailed())
        return;
    if (serial) {
        ThreadSerialport *link = window->link();
        int parity = -1;
        QMetaObject::invokeMethod(link, [&]() { parity = link->serialPort->parity(); },
                                  Qt::BlockingQueuedConnection);
        QCOMPARE(parity, int(QSerialPort::EvenParity));
    }
    QTRY_VERIFY_WITH_TIMEOUT(hintShown(), 10000);
    QCOMPARE(hint()->findChild<QLabel *>(QStringLiteral("label_noModelHint"))->text(),
             shown("Choose the model from 'Switch model selection' or 'Analog model selection'",
                   " 请从“开关量型号选择”或“模拟量型号选择”中选择型号 ", "NoModelHint"));

    // Connecting and talking to the module do not make the link ask who it is: a frame the
    // operator types reaches the module after whatever the link sent before it.
    const int before = module->requestCount();
    window->findChild<QTextEdit *>(QStringLiteral("sendText"))->setPlainText(QStringLiteral("01 03 00 00 00 01"));
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("sendBt")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(module->requestCount() > before, 10000);
    QVERIFY2(moduleLog.filter(QStringLiteral("ScanDevice")).isEmpty(), qPrintable(moduleLog.join('\n')));
    QVERIFY(hintShown());

    // The module names its type and its address; the window takes both.
    module->setAddress(5);
    QTest::mouseClick(hint()->findChild<QPushButton *>(QStringLiteral("identifyModuleButton")),
                      Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(moduleLog.filter(QStringLiteral("ScanDevice")).size(), 1, 10000);
    const auto identified = [this]() {
        window->outputLog()->flush();
        const QList<LogLine> &history = window->outputLog()->history();
        return std::any_of(history.cbegin(), history.cend(), [](const LogLine &line) {
            return line.text.startsWith(shown("Device type", " 设备类型 "));
        });
    };
    QTRY_VERIFY_WITH_TIMEOUT(identified(), 10000);
    QCOMPARE(window->switchOutputs()->count(), outputs);
    QCOMPARE(hintShown(), outputs < 0);
    if (outputs < 0) {
        // Still without a model, the line closes: the port closes in the link's thread and
        // the hint follows the session's news of it.
        QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("switchBt")), Qt::LeftButton);
        QTRY_VERIFY(!hintShown());
        return;
    }
    // Its outputs are driven at its address.
    QTRY_COMPARE_WITH_TIMEOUT(window->session()->deviceAddressHex(), QStringLiteral("05"), 10000);
    QTest::mouseClick(window->switchOutputs()->buttons().last(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(module->coil(63), 10000);
}

void TestFirstRun::startWithModel_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("exitCode"); // -1: keeps running

    QTest::newRow("menu text: outputs and inputs polled at once")
        << "Switch 32-channel outputs 16-channel inputs" << -1;
    QTest::newRow("no such model: status 2") << "Switch 33-channel outputs" << 2;
}

void TestFirstRun::startWithModel()
{
    QFETCH(QString, model);
    QFETCH(int, exitCode);
    QVERIFY(module->setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs")));
    QVERIFY(module->listenTcp());
    QTemporaryDir home;
    QProcess tool;
    startWindowTool(tool, {QStringLiteral("--remote"), QStringLiteral("127.0.0.1:%1").arg(module->tcpPort()),
                           QStringLiteral("--model"), model}, home.path());
    QVERIFY(tool.waitForStarted(20000));
    if (exitCode >= 0) {
        QTRY_COMPARE_WITH_TIMEOUT(tool.state(), QProcess::NotRunning, 20000);
        QCOMPARE(tool.exitCode(), exitCode);
        QVERIFY(moduleLog.isEmpty());
        return;
    }
    // Without anyone touching the window, the module is asked for its outputs and inputs.
    const auto asked = [this](const char *what) {
        return !moduleLog.filter(QLatin1String(what)).isEmpty();
    };
    QTRY_VERIFY_WITH_TIMEOUT(asked("fc 03 addr 0x0000") && asked("fc 03 addr 0x0004"), 20000);
    QVERIFY2(moduleLog.filter(QStringLiteral("ScanDevice")).isEmpty(), qPrintable(moduleLog.join('\n')));
    tool.terminate();
    QVERIFY(tool.waitForFinished(20000));
}

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
