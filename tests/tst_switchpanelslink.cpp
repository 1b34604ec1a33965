#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "simulator/modulesimulator.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"
#include "ui/switchstates.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QtTest>

// The switch panels of the real window against the simulated module over Modbus TCP on
// 127.0.0.1, or over Modbus RTU on a pseudo-terminal where the serial port is what is
// tried. Every request form crosses both links in tst_link.
class TestSwitchPanelsLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(installTestLanguage()); }
    void init();
    void cleanup();

    void inputsAndOutputsFollowTheModule();
    void clickSwitchesCoilAfterAcknowledgement();
    void singleChoiceLeavesOneOutputOn();
    void allOpenAndAllClose();
    void serialIdentificationSelectsSixtyFourOutputs();
    void stoppingDetectionEndsInputPolling();
    void closingThePortStopsPolling();
    void storedNamesFollowTheModule_data();
    void storedNamesFollowTheModule();
    void parityChosenByItsText_data();
    void parityChosenByItsText();

private:
    void connectWindow(bool serial);
    void chooseModel(const char *english);
    QPushButton *output(int channel) const { return window->outputButtons.at(channel - 1); }
    QPushButton *input(int channel) const { return window->inputButtons.at(channel - 1); }
    QPushButton *widgetButton(const char *name) const
    {
        return window->findChild<QPushButton *>(name);
    }

    ModuleSimulator *module = nullptr;
    MainWindow *window = nullptr;
    int inputReads = 0;
    int statusReads = 0;
    int outputWrites = 0;
};

static constexpr int kStartUpConnectMs = 700;

// A failure inside a helper ends the test function that called it.
#define CONNECT_WINDOW(serial)                                                                     \
    connectWindow(serial);                                                                          \
    if (QTest::currentTestFailed())                                                                \
    return

void TestSwitchPanelsLink::init()
{
    QtTools::instance()->configMap.clear();
    module = new ModuleSimulator;
    inputReads = statusReads = outputWrites = 0;
    connect(module, &ModuleSimulator::requestHandled, this,
            [this](int function, int address, int, bool) {
                if (function == 3 && address == 0x0004)
                    ++inputReads;
                if (function == 3 && address == 0x0000)
                    ++statusReads;
                if (function == 16 && address == 0x0000)
                    ++outputWrites;
            });
}

void TestSwitchPanelsLink::cleanup()
{
    delete window;
    window = nullptr;
    delete module;
    module = nullptr;
    QtTools::instance()->configMap.clear();
}

void TestSwitchPanelsLink::connectWindow(bool serial)
{
    // The window makes its own connection attempt half a second after start; once it
    // has passed, the link stays as it is.
    openWindowOnModule(window, *module, serial, kStartUpConnectMs);
}

void TestSwitchPanelsLink::chooseModel(const char *english)
{
    const int index = ModelCatalogue::indexOf(QString::fromUtf8(english));
    QVERIFY(index >= 0);
    window->modelActions.at(index)->trigger();
}

void TestSwitchPanelsLink::inputsAndOutputsFollowTheModule()
{
    QVERIFY(module->setModel("Switch 32-channel outputs 16-channel inputs"));
    module->setInputPattern(0x8005);
    module->setCoil(9, true);
    CONNECT_WINDOW(false);
    chooseModel("Switch 32-channel outputs 16-channel inputs");

    QCOMPARE(window->outputButtons.size(), 32);
    QCOMPARE(window->inputButtons.size(), 16);
    QVERIFY(window->outputPollTimer.isActive());
    QTRY_COMPARE_WITH_TIMEOUT(input(16)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(input(1)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(input(2)->styleSheet(), SwitchStates::kOffStyle);
    QCOMPARE(input(3)->styleSheet(), SwitchStates::kOnStyle);
    QTRY_COMPARE_WITH_TIMEOUT(output(10)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(output(1)->styleSheet(), SwitchStates::kOffStyle);

    // Inputs keep being polled.
    module->setInputPattern(0x0002);
    QTRY_COMPARE_WITH_TIMEOUT(input(2)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(input(1)->styleSheet(), SwitchStates::kOffStyle);

    // Outputs changed behind the tool's back show up through the polling.
    module->setCoil(9, false);
    module->setHoldingRegister(0x0001, 0x8000);
    QTRY_COMPARE_WITH_TIMEOUT(output(32)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(10)->styleSheet(), SwitchStates::kOffStyle, 10000);
}

void TestSwitchPanelsLink::clickSwitchesCoilAfterAcknowledgement()
{
    QVERIFY(module->setModel("Switch 32-channel outputs"));
    CONNECT_WINDOW(false);
    chooseModel("Switch 32-channel outputs");
    QTRY_COMPARE_WITH_TIMEOUT(output(18)->styleSheet(), SwitchStates::kOffStyle, 10000);

    QTest::mouseClick(output(18), Qt::LeftButton);
    // Not green before the module has answered.
    QCOMPARE(output(18)->styleSheet(), SwitchStates::kOffStyle);
    QTRY_VERIFY_WITH_TIMEOUT(module->coil(17), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(18)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(module->outputBits(), quint64(1) << 17);

    QTest::mouseClick(output(18), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!module->coil(17), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(18)->styleSheet(), SwitchStates::kOffStyle, 10000);
}

void TestSwitchPanelsLink::singleChoiceLeavesOneOutputOn()
{
    QVERIFY(module->setModel("Switch 32-channel outputs"));
    module->setCoil(2, true);
    module->setCoil(20, true);
    CONNECT_WINDOW(false);
    chooseModel("Switch 32-channel outputs");

    window->findChild<QCheckBox *>("checkBox_out")->click();
    QCOMPARE(window->singleMode, 1);
    QTRY_COMPARE_WITH_TIMEOUT(module->outputBits(), quint64(0), 10000);

    QTest::mouseClick(output(5), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module->outputBits(), quint64(1) << 4, 10000);
    QTest::mouseClick(output(20), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module->outputBits(), quint64(1) << 19, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(20)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(5)->styleSheet(), SwitchStates::kOffStyle, 10000);
    // The output already on, clicked again, stays the one that is on.
    const int writes = outputWrites;
    QTest::mouseClick(output(20), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(outputWrites > writes, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(20)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(module->outputBits(), quint64(1) << 19);
}

void TestSwitchPanelsLink::allOpenAndAllClose()
{
    QVERIFY(module->setModel("Switch 20-channel outputs"));
    CONNECT_WINDOW(false);
    chooseModel("Switch 20-channel outputs");

    QTest::mouseClick(widgetButton("pushButton_allOpen"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module->outputBits(), quint64(0xFFFFF), 10000);
    for (int channel = 1; channel <= 20; ++channel)
        QTRY_COMPARE_WITH_TIMEOUT(output(channel)->styleSheet(), SwitchStates::kOnStyle, 10000);

    QTest::mouseClick(widgetButton("pushButton_allClose"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module->outputBits(), quint64(0), 10000);
    for (int channel = 1; channel <= 20; ++channel)
        QTRY_COMPARE_WITH_TIMEOUT(output(channel)->styleSheet(), SwitchStates::kOffStyle, 10000);
}

// Over TCP the identification is in tst_mainwindow.
void TestSwitchPanelsLink::serialIdentificationSelectsSixtyFourOutputs()
{
    QVERIFY(module->setModel("Switch 64-channel outputs"));
    module->setTypeCode(220);
    module->setAddress(5);
    CONNECT_WINDOW(true);

    module->announce();
    QTRY_COMPARE_WITH_TIMEOUT(window->outputCount, 64, 10000);
    QCOMPARE(window->inputCount, -1);
    QCOMPARE(window->outputButtons.size(), 64);
    QTRY_COMPARE_WITH_TIMEOUT(window->deviceAddress, QStringLiteral("05"), 10000);
    QVERIFY(window->outputPollTimer.isActive());

    // Requests now reach the module at address 5.
    QTest::mouseClick(output(64), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(module->coil(63), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(64)->styleSheet(), SwitchStates::kOnStyle, 10000);
}

void TestSwitchPanelsLink::stoppingDetectionEndsInputPolling()
{
    QVERIFY(module->setModel("Switch 16-channel outputs 16-channel inputs"));
    CONNECT_WINDOW(false);
    chooseModel("Switch 16-channel outputs 16-channel inputs");
    QTRY_VERIFY_WITH_TIMEOUT(inputReads >= 3, 10000);

    auto *check = widgetButton("pushButton_check");
    QTest::mouseClick(check, Qt::LeftButton);
    QCOMPARE(check->text(), shown("Start detecting", " 开始检测 "));

    // One input read may still have been on the wire; after a few rounds of output
    // polling no further one comes.
    int rounds = statusReads;
    QTRY_VERIFY_WITH_TIMEOUT(statusReads >= rounds + 2, 10000);
    const int settled = inputReads;
    rounds = statusReads;
    QTRY_VERIFY_WITH_TIMEOUT(statusReads >= rounds + 3, 10000);
    QCOMPARE(inputReads, settled);

    // And starts again.
    module->setInputPattern(0x0001);
    QTest::mouseClick(check, Qt::LeftButton);
    QCOMPARE(check->text(), shown("Stop detecting", " 停止检测 "));
    QTRY_COMPARE_WITH_TIMEOUT(input(1)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(inputReads > settled + 2, 10000);
}

void TestSwitchPanelsLink::closingThePortStopsPolling()
{
    QVERIFY(module->setModel("Switch  8-channel outputs  8-channel inputs"));
    CONNECT_WINDOW(true);
    chooseModel("Switch  8-channel outputs  8-channel inputs");
    QTRY_VERIFY_WITH_TIMEOUT(inputReads >= 2 && statusReads >= 2, 10000);

    QTest::mouseClick(widgetButton("switchBt"), Qt::LeftButton);
    QCOMPARE(widgetButton("switchBt")->text(), shown("Open", " 打开 "));
    QVERIFY(!window->outputPollTimer.isActive());
    QCOMPARE(queuedKinds(window), QStringList());
    QTRY_VERIFY_WITH_TIMEOUT(!module->serialLineOpen(), 10000);
    const int afterClose = module->requestCount();
    // Nothing is sent while the port is closed: wait past several polling periods.
    QTest::qWait(1500);
    QCOMPARE(module->requestCount(), afterClose);
    QCOMPARE(queuedKinds(window), QStringList());

    // Reopened, both pollings resume.
    module->setInputPattern(0x0080);
    module->setCoil(3, true);
    const int inputsBefore = inputReads;
    const int statusBefore = statusReads;
    QTest::mouseClick(widgetButton("switchBt"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(widgetButton("switchBt")->text(), shown("Close", " 关闭 "), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(inputReads > inputsBefore + 1 && statusReads > statusBefore + 1,
                             10000);
    QTRY_COMPARE_WITH_TIMEOUT(input(8)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(output(4)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(widgetButton("pushButton_check")->text(), shown("Stop detecting", " 停止检测 "));
}

// A settings file keeps its names whichever language wrote it and whichever reads it.
void TestSwitchPanelsLink::storedNamesFollowTheModule_data()
{
    QTest::addColumn<QStringList>("keys");
    QTest::newRow("written in English")
            << QStringList{ "Y3Output OFF", "Y3Output ON", "IN2Input ON", "IN2Input OFF" };
    QTest::newRow("written in Chinese")
            << QStringList{ "Y3断开", "Y3闭合", "IN2通", "IN2断" };
}

void TestSwitchPanelsLink::storedNamesFollowTheModule()
{
    QFETCH(QStringList, keys);
    QtTools *tools = QtTools::instance();
    tools->configMap.insert(keys.at(0), "Lamp");
    tools->configMap.insert(keys.at(1), "Lamp lit");
    tools->configMap.insert(keys.at(2), "Door open");
    tools->configMap.insert(keys.at(3), "Door shut");
    QVERIFY(module->setModel("Switch  8-channel outputs  8-channel inputs"));
    CONNECT_WINDOW(false);
    chooseModel("Switch  8-channel outputs  8-channel inputs");
    QCOMPARE(output(3)->text(), QStringLiteral("Lamp"));
    QCOMPARE(input(2)->text(), QStringLiteral("Door shut"));

    module->setCoil(2, true);
    module->setInputPattern(0x0002);
    QTRY_COMPARE_WITH_TIMEOUT(output(3)->text(), QStringLiteral("Lamp lit"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(input(2)->text(), QStringLiteral("Door open"), 10000);
    QCOMPARE(output(4)->text(), QStringLiteral("Y4"));

    module->setCoil(2, false);
    QTRY_COMPARE_WITH_TIMEOUT(output(3)->text(), QStringLiteral("Lamp"), 10000);
}

void TestSwitchPanelsLink::parityChosenByItsText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("parity");
    QTest::newRow("Even") << shown("Even") << int(QSerialPort::EvenParity);
    QTest::newRow("Odd") << shown("Odd") << int(QSerialPort::OddParity);
    QTest::newRow("None") << shown("None") << int(QSerialPort::NoParity);
}

void TestSwitchPanelsLink::parityChosenByItsText()
{
    QFETCH(QString, text);
    QFETCH(int, parity);
    window = newLoopbackWindow();
    auto *box = window->findChild<QComboBox *>("parityCbb");
    QVERIFY(box->findText(text) >= 0);
    box->setCurrentIndex(box->findText(text));
    openSerialInWindow(window, module->openPty());
    ThreadSerialport *link = window->threadSerialport;
    int opened = -1;
    QMetaObject::invokeMethod(link, [&]() {
        if (link->serialPort)
            opened = link->serialPort->parity();
    }, Qt::BlockingQueuedConnection);
    QCOMPARE(opened, parity);
}

QTEST_MAIN(TestSwitchPanelsLink)
#include "tst_switchpanelslink.moc"
