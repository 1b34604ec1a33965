#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "simulator/modulesimulator.h"
#include "ui/communicationtimeout.h"
#include "ui/helpwidget.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"
#include "ui/namesetting.h"
#include "ui/networkwindow.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QToolBar>
#include <QtTest>

// The settings commands of the main window end to end, against the simulated module
// on 127.0.0.1 or on a pseudo-terminal.
class TestSettingsWindows : public QObject
{
    Q_OBJECT

private:
    struct Read
    {
        int function;
        int address;
        int quantity;
    };

    ModuleSimulator *module = nullptr;
    MainWindow *window = nullptr;
    QList<Read> requests;

    void connectWindow(bool serial);
    void chooseModel(const char *english);
    template<typename T>
    T *child(QObject *parent, const char *name) { return parent->findChild<T *>(QLatin1String(name)); }
    bool handled(int function, int address, int quantity) const;
    CommunicationTimeout *readTimeoutWindow();
    int visibleHelpWindows() const;

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void timeoutWindowWritesTheWatchdog_data();
    void timeoutWindowWritesTheWatchdog();
    void timeoutBlockFollowsTheOutputCount_data();
    void timeoutBlockFollowsTheOutputCount();
    void timeoutIsRefused_data();
    void timeoutIsRefused();
    void networkParametersReadWriteAndRestart_data();
    void networkParametersReadWriteAndRestart();
    void networkWindowRebootDropsTheConnection();
    void channelNamesSurviveARestartOfTheTool();
    void helpOpensAFurtherWindowEachTime();
    void languageChoiceIsKeptForTheNextStart();
};

void TestSettingsWindows::initTestCase()
{
    qRegisterMetaType<Sender *>();
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setApplicationName(QStringLiteral("merovitest-settingswindows-test"));
}

void TestSettingsWindows::init()
{
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
    QtTools *tools = QtTools::instance();
    tools->configMap.clear();
    tools->modified = false;
    tools->applicationName = QStringLiteral("MeroviTest");
    module = new ModuleSimulator;
    requests.clear();
    connect(module, &ModuleSimulator::requestHandled, this,
            [this](int function, int address, int quantity, bool) {
                requests.append({function, address, quantity});
            });
}

void TestSettingsWindows::cleanup()
{
    delete window;
    window = nullptr;
    delete module;
    module = nullptr;
    // The settings windows go with the main window.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestSettingsWindows::cleanupTestCase()
{
    QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
}

void TestSettingsWindows::connectWindow(bool serial)
{
    openWindowOnModule(window, *module, serial);
}

void TestSettingsWindows::chooseModel(const char *english)
{
    const int index = ModelCatalogue::indexOf(QString::fromUtf8(english));
    QVERIFY(index >= 0);
    window->modelActions.at(index)->trigger();
}

bool TestSettingsWindows::handled(int function, int address, int quantity) const
{
    for (const Read &read : requests) {
        if (read.function == function && read.address == address && read.quantity == quantity)
            return true;
    }
    return false;
}

CommunicationTimeout *TestSettingsWindows::readTimeoutWindow()
{
    window->timeoutAction->trigger();
    // The caller checks for null: no window within the time means no reply came.
    if (!QTest::qWaitFor([this]() { return window->communicationTimeout != nullptr; }, 10000))
        return nullptr;
    return window->communicationTimeout;
}

int TestSettingsWindows::visibleHelpWindows() const
{
    int count = 0;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows) {
        if (qobject_cast<HelpWidget *>(widget) && widget->isVisible())
            ++count;
    }
    return count;
}

void TestSettingsWindows::timeoutWindowWritesTheWatchdog_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp 127.0.0.1") << false;
    QTest::newRow("rtu pty") << true;
}

void TestSettingsWindows::timeoutWindowWritesTheWatchdog()
{
    QFETCH(bool, serial);
    QVERIFY(module->setModel(QStringLiteral("Switch  8-channel outputs")));
    // 5000 ms; channels 1 and 2 fall back ON, 4 stays as it is, the others OFF.
    module->setHoldingRegister(0x7530, 0x0000);
    module->setHoldingRegister(0x7531, 0x1388);
    module->setHoldingRegister(0x7532, 0x0003);
    module->setHoldingRegister(0x7533, 0x000B);
    connectWindow(serial);
    if (QTest::currentTestFailed())
        return;
    chooseModel("Switch  8-channel outputs");

    CommunicationTimeout *timeout = readTimeoutWindow();
    QVERIFY(timeout);
    QVERIFY(handled(3, 0x7530, 4));
    QVERIFY(timeout->isVisible());
    QCOMPARE(timeout->timeoutValue(), 5000u);
    QCOMPARE(timeout->channelCount(), 16);
    QVector<int> expected(16, 0);
    expected[0] = expected[1] = 1;
    expected[3] = 2;
    QCOMPARE(timeout->channelStates(), expected);
    QCOMPARE(timeout->findChildren<QRadioButton *>().size(), 16);

    auto *third = child<QRadioButton>(timeout, "radioButton_3");
    QTest::mouseClick(third, Qt::LeftButton);
    QTest::mouseClick(third, Qt::LeftButton);
    auto *field = child<QLineEdit>(timeout, "lineEdit");
    field->clear();
    QTest::keyClicks(field, QStringLiteral("700"));
    QTest::mouseClick(child<QPushButton>(timeout, "pushButton_ok"), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x7531), quint16(700), 10000);
    QCOMPARE(module->holdingRegister(0x7530), quint16(0));
    QCOMPARE(module->holdingRegister(0x7532), quint16(0x0003));
    QCOMPARE(module->holdingRegister(0x7533), quint16(0x000F));
    QVERIFY(handled(16, 0x7530, 4));

    // The tool falls silent; the module's watchdog puts the outputs into the
    // configured states: 1 and 2 on, 3 and 4 unchanged, 5 off.
    module->setCoil(2, true);
    module->setCoil(4, true);
    window->outputPollTimer.stop();
    QSignalSpy fired(module, &ModuleSimulator::watchdogFired);
    QTRY_VERIFY_WITH_TIMEOUT(fired.count() > 0, 10000);
    QCOMPARE(module->outputBits(), quint64(0x07));
}

void TestSettingsWindows::timeoutBlockFollowsTheOutputCount_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("registers");
    QTest::addColumn<int>("buttons");
    QTest::newRow("64 outputs: 10 registers") << "Switch 64-channel outputs" << 10 << 64;
    QTest::newRow("32 outputs 16 inputs: 6 registers") << "Switch 32-channel outputs 16-channel inputs" << 6 << 32;
    QTest::newRow("inputs only: 2 registers") << "Switch  8-channel inputs" << 2 << 0;
}

void TestSettingsWindows::timeoutBlockFollowsTheOutputCount()
{
    QFETCH(QString, model);
    QFETCH(int, registers);
    QFETCH(int, buttons);
    QVERIFY(module->setModel(model));
    for (quint16 a = 0x7530; a < 0x7530 + registers; ++a)
        module->setHoldingRegister(a, 0);
    connectWindow(false);
    if (QTest::currentTestFailed())
        return;
    chooseModel(qPrintable(model));

    CommunicationTimeout *timeout = readTimeoutWindow();
    QVERIFY(timeout);
    QVERIFY(handled(3, 0x7530, registers));
    QCOMPARE(timeout->findChildren<QRadioButton *>().size(), buttons);

    // Channel 1 ON, and the last channel left unchanged.
    if (buttons > 0) {
        QTest::mouseClick(child<QRadioButton>(timeout, "radioButton_1"), Qt::LeftButton);
        auto *last = timeout->findChild<QRadioButton *>(QStringLiteral("radioButton_%1").arg(buttons));
        QTest::mouseClick(last, Qt::LeftButton);
        QTest::mouseClick(last, Qt::LeftButton);
    }
    auto *field = child<QLineEdit>(timeout, "lineEdit");
    field->clear();
    QTest::keyClicks(field, QStringLiteral("70000"));
    QTest::mouseClick(child<QPushButton>(timeout, "pushButton_ok"), Qt::LeftButton);

    QTRY_VERIFY_WITH_TIMEOUT(handled(16, 0x7530, registers), 10000);
    QCOMPARE(module->holdingRegister(0x7530), quint16(0x0001));
    QCOMPARE(module->holdingRegister(0x7531), quint16(0x1170));
    const int groups = (registers - 2) / 2;
    for (int g = 0; g < groups; ++g) {
        const quint16 orMask = g == 0 ? 0x0001 : 0;
        quint16 andMask = orMask;
        if (g == groups - 1)
            andMask |= quint16(1u << ((buttons - 1) % 16));
        QCOMPARE(module->holdingRegister(quint16(0x7532 + 2 * g)), orMask);
        QCOMPARE(module->holdingRegister(quint16(0x7533 + 2 * g)), andMask);
    }
}

void TestSettingsWindows::timeoutIsRefused_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<bool>("linkReady");
    QTest::addColumn<QString>("warning");
    QTest::newRow("no link") << "Switch  8-channel outputs" << false
                             << "The Timeout Setting cannot be switched on until open the serial port.";
    QTest::newRow("analog outputs: 0x7530 holds their modes") << "Analog voltage  2-channel outputs" << true
            << "Analog modules have no communication timeout: their registers from 0x7530 hold the channel modes.";
    QTest::newRow("analog inputs") << "Analog current  4-channel inputs" << true
            << "Analog modules have no communication timeout: their registers from 0x7530 hold the channel modes.";
}

void TestSettingsWindows::timeoutIsRefused()
{
    QFETCH(QString, model);
    QFETCH(bool, linkReady);
    QFETCH(QString, warning);
    QVERIFY(module->setModel(model));
    connectWindow(false);
    if (QTest::currentTestFailed())
        return;
    chooseModel(qPrintable(model));
    window->linkReady = linkReady ? 1 : 0;
    window->timeoutAction->trigger();
    auto *box = window->findChild<QMessageBox *>();
    QVERIFY(box);
    QCOMPARE(box->text(), warning);
    delete box;
    // Had the read gone out, the module's answer would have opened a window by now.
    QTest::qWait(500);
    QVERIFY(!window->communicationTimeout);
}

void TestSettingsWindows::networkParametersReadWriteAndRestart_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("tcp 127.0.0.1") << false;
    QTest::newRow("rtu pty") << true;
}

void TestSettingsWindows::networkParametersReadWriteAndRestart()
{
    QFETCH(bool, serial);
    QVERIFY(module->setModel(QStringLiteral("Switch  8-channel outputs")));
    connectWindow(serial);
    if (QTest::currentTestFailed())
        return;

    window->networkParameterAction->trigger();
    QPointer<NetworkWindow> first = window->networkWindow;
    QVERIFY(first);
    window->networkParameterAction->trigger();
    // The command replaces the window it opened before.
    QVERIFY(!first);
    NetworkWindow *network = window->networkWindow;
    QVERIFY(network && network->isVisible());

    child<QPushButton>(network, "switchBt_netWorkParameter_get")->click();
    auto *ip = child<QLineEdit>(network, "lineEdit_IP");
    QTRY_COMPARE_WITH_TIMEOUT(ip->text(), QStringLiteral("192.168.1.80"), 10000);
    QCOMPARE(child<QLineEdit>(network, "lineEdit_portNumber")->text(), QStringLiteral("8080"));
    QCOMPARE(child<QLineEdit>(network, "lineEdit_farIP")->text(), QStringLiteral("192.168.1.100"));
    QVERIFY(child<QRadioButton>(network, "radioButton_client")->isChecked());
    QCOMPARE(child<QLineEdit>(network, "lineEdit_MAC")->text(), QStringLiteral("00-1a-2b-3c-4d-5e"));

    auto *port = child<QLineEdit>(network, "lineEdit_portNumber");
    port->clear();
    QTest::keyClicks(port, QStringLiteral("502"));
    child<QPushButton>(network, "switchBt_netWorkParameter_write")->click();
    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x271C), quint16(0x01F6), 10000);
    const QVector<quint16> block = module->networkBlock();
    QCOMPARE(block.mid(0, 4), (QVector<quint16>{192, 168, 1, 80}));
    QCOMPARE(block.mid(19, 6), (QVector<quint16>{0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}));
    // Not in force before the restart.
    QCOMPARE(module->activeNetworkBlock().at(12), quint16(8080));

    QSignalSpy restarted(module, &ModuleSimulator::restarted);
    window->rebootAction->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(restarted.count(), 1, 10000);
    QCOMPARE(module->activeNetworkBlock().at(12), quint16(502));
    if (!serial)
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(window, "label_network")->text(), QStringLiteral("DisConnect"), 10000);
}

void TestSettingsWindows::networkWindowRebootDropsTheConnection()
{
    QVERIFY(module->setModel(QStringLiteral("Switch 16-channel outputs")));
    connectWindow(false);
    if (QTest::currentTestFailed())
        return;
    window->networkParameterAction->trigger();
    NetworkWindow *network = window->networkWindow;
    QVERIFY(network);

    QSignalSpy restarted(module, &ModuleSimulator::restarted);
    QSignalSpy gone(module, &ModuleSimulator::clientDisconnected);
    const QList<QAction *> actions = child<QToolBar>(network, "bigLittle")->actions();
    QCOMPARE(actions.last()->text(), QStringLiteral("Reboot"));
    actions.last()->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(restarted.count(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(gone.count() > 0, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(window, "label_network")->text(), QStringLiteral("DisConnect"), 10000);
    QVERIFY(handled(16, 0xFDE8, 1));
}

void TestSettingsWindows::channelNamesSurviveARestartOfTheTool()
{
    QVERIFY(module->setModel(QStringLiteral("Switch  8-channel outputs")));
    connectWindow(false);
    if (QTest::currentTestFailed())
        return;
    chooseModel("Switch  8-channel outputs");
    QCOMPARE(window->outputButtons.size(), 8);

    window->nameSettingAction->trigger();
    NameSetting *names = window->nameSetting;
    QVERIFY(names && names->isVisible());
    auto *table = child<QTableWidget>(names, "tableWidget_Y");
    table->item(0, 0)->setText(QStringLiteral(" Pump: off "));
    table->item(1, 0)->setText(QStringLiteral("Pump: on"));
    QTest::mouseClick(child<QPushButton>(names, "pushButton_save"), Qt::LeftButton);
    auto *box = names->findChild<QMessageBox *>();
    QVERIFY(box);
    QCOMPARE(box->text(), shown("Names saved", "修改名称成功", "NameSetting"));
    delete box;

    // The command shows the same window again.
    window->nameSettingAction->trigger();
    QCOMPARE(window->nameSetting, names);

    QTRY_COMPARE_WITH_TIMEOUT(window->outputButtons.at(0)->text(), QStringLiteral("Pump: off"), 10000);
    QCOMPARE(window->outputButtons.at(1)->text(), QStringLiteral("Y2"));
    module->setCoil(0, true);
    QTRY_COMPARE_WITH_TIMEOUT(window->outputButtons.at(0)->text(), QStringLiteral("Pump: on"), 10000);

    // A restart of the tool: the names come from the settings file alone.
    delete window;
    window = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QtTools::instance()->configMap.clear();
    QtTools::instance()->openEverything();
    module->closeTcpClients();
    connectWindow(false);
    if (QTest::currentTestFailed())
        return;
    chooseModel("Switch  8-channel outputs");
    QTRY_COMPARE_WITH_TIMEOUT(window->outputButtons.at(0)->text(), QStringLiteral("Pump: on"), 10000);
    module->setCoil(0, false);
    QTRY_COMPARE_WITH_TIMEOUT(window->outputButtons.at(0)->text(), QStringLiteral("Pump: off"), 10000);
}

void TestSettingsWindows::helpOpensAFurtherWindowEachTime()
{
    QVERIFY(module->setModel(QStringLiteral("Switch  4-channel outputs")));
    connectWindow(false);
    if (QTest::currentTestFailed())
        return;
    window->show();
    QCOMPARE(visibleHelpWindows(), 0);
    window->helpAction->trigger();
    HelpWidget *first = window->helpWidget;
    window->helpAction->trigger();
    QVERIFY(first && window->helpWidget && first != window->helpWidget);
    QCOMPARE(visibleHelpWindows(), 2);
    const auto *clock = child<QLabel>(first, "label_time");
    const QString shown = clock->text();
    QTRY_VERIFY_WITH_TIMEOUT(clock->text() != shown, 10000);

    // Closing the tool closes its help windows too.
    window->close();
    QCOMPARE(visibleHelpWindows(), 0);
}

void TestSettingsWindows::languageChoiceIsKeptForTheNextStart()
{
    window = newLoopbackWindow();
    const QMap<QString, QString> &stored = QtTools::instance()->configMap;
    child<QAction>(window, "languageAction_zh")->trigger();
    QCOMPARE(stored.value(QStringLiteral("ui/language")), QStringLiteral("zh"));
    QPointer<QMessageBox> notice = child<QMessageBox>(window, "languageNotice");
    QVERIFY(notice && notice->isVisible());
    // This run keeps its language until the next start.
    QCOMPARE(window->findChild<QPushButton *>("switchBt")->text(), QStringLiteral("Open"));
    delete notice;

    child<QAction>(window, "languageAction_en")->trigger();
    QCOMPARE(stored.value(QStringLiteral("ui/language")), QStringLiteral("en"));
}

QTEST_MAIN(TestSettingsWindows)
#include "tst_settingswindows.moc"
