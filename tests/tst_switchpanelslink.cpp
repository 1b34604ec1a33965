#include "tests/loopbackwindow.h"
#include "ui/switchstates.h"

// The switch panels of the real window against the simulated module over Modbus TCP on
// 127.0.0.1; the module's identification also over a pseudo-terminal.
class TestSwitchPanelsLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(installTestLanguage()); }
    void statesShownAndClickReachesModule();
    void identificationSelectsTheModel_data();
    void identificationSelectsTheModel();
};

static QPushButton *button(const QList<QPushButton *> &buttons, int channel)
{
    return buttons.at(channel - 1);
}

void TestSwitchPanelsLink::statesShownAndClickReachesModule()
{
    ModuleSimulator module;
    QVERIFY(module.setModel("Switch 32-channel outputs 16-channel inputs"));
    module.setInputPattern(0x8005);
    module.setCoil(9, true);
    MainWindow *opened = nullptr;
    openWindowOnModule(opened, module, false);
    QScopedPointer<MainWindow> window(opened);
    if (QTest::currentTestFailed())
        return;
    chooseModel(window.data(), "Switch 32-channel outputs 16-channel inputs");
    const auto &inputs = window->switchInputs()->buttons();
    const auto &outputs = window->switchOutputs()->buttons();
    QCOMPARE(window->findChild<QPushButton *>("pushButton_check")->text(), shown("Stop detecting", " 停止检测 "));
    QTRY_COMPARE_WITH_TIMEOUT(button(inputs, 16)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(button(inputs, 1)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(button(inputs, 2)->styleSheet(), SwitchStates::kOffStyle);
    QCOMPARE(button(inputs, 3)->styleSheet(), SwitchStates::kOnStyle);
    QTRY_COMPARE_WITH_TIMEOUT(button(outputs, 10)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(button(outputs, 1)->styleSheet(), SwitchStates::kOffStyle);

    // Y18 sits in the second output register; it turns green once the module has answered.
    QTest::mouseClick(button(outputs, 18), Qt::LeftButton);
    QCOMPARE(button(outputs, 18)->styleSheet(), SwitchStates::kOffStyle);
    QTRY_VERIFY_WITH_TIMEOUT(module.coil(17), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(button(outputs, 18)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(module.outputBits(), quint64(1) << 17 | quint64(1) << 9);

    // Inputs keep being polled.
    module.setInputPattern(0x0002);
    QTRY_COMPARE_WITH_TIMEOUT(button(inputs, 2)->styleSheet(), SwitchStates::kOnStyle, 10000);
    QCOMPARE(button(inputs, 1)->styleSheet(), SwitchStates::kOffStyle);
}

void TestSwitchPanelsLink::identificationSelectsTheModel_data()
{
    QTest::addColumn<bool>("serial");
    QTest::newRow("TCP") << false;
    QTest::newRow("pty") << true;
}

// The module names its type and address; the window takes both and drives its outputs.
void TestSwitchPanelsLink::identificationSelectsTheModel()
{
    QFETCH(bool, serial);
    ModuleSimulator module;
    QVERIFY(module.setModel("Switch 64-channel outputs"));
    module.setTypeCode(220);
    module.setAddress(5);
    MainWindow *opened = nullptr;
    if (serial) {
        // The line opens with the parity the box names, in either language.
        opened = newLoopbackWindow();
        auto *parity = opened->findChild<QComboBox *>("parityCbb");
        parity->setCurrentIndex(parity->findText(shown("Even")));
        openSerialInWindow(opened, module.openPty());
    } else {
        openWindowOnModule(opened, module, false);
    }
    QScopedPointer<MainWindow> window(opened);
    if (QTest::currentTestFailed())
        return;
    if (serial) {
        ThreadSerialport *link = window->link();
        int parity = -1;
        QMetaObject::invokeMethod(link, [&]() { parity = link->serialPort->parity(); },
                                  Qt::BlockingQueuedConnection);
        QCOMPARE(parity, int(QSerialPort::EvenParity));
    }

    module.announce();
    QTRY_COMPARE_WITH_TIMEOUT(window->switchOutputs()->count(), 64, 10000);
    QCOMPARE(window->switchOutputs()->buttons().size(), 64);
    QTRY_COMPARE_WITH_TIMEOUT(window->session()->deviceAddressHex(), QStringLiteral("05"), 10000);
    QTest::mouseClick(button(window->switchOutputs()->buttons(), 64), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(module.coil(63), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(button(window->switchOutputs()->buttons(), 64)->styleSheet(), SwitchStates::kOnStyle, 10000);
}

QTEST_MAIN(TestSwitchPanelsLink)
#include "tst_switchpanelslink.moc"
