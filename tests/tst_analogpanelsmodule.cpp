#include "tests/loopbackwindow.h"

// The analog panels of the real window against the simulated module over Modbus TCP on
// 127.0.0.1: what is written lands in the module's registers, what it measures shows.
class TestAnalogPanelsModule : public QObject
{
    Q_OBJECT

private slots:
    void writtenValuesReachTheModule();
    void inputsShownThroughRejectedReplies();
};

namespace {

// A window on the module, showing the module's model.
MainWindow *openOn(ModuleSimulator &module, const char *model)
{
    MainWindow *window = nullptr;
    openWindowOnModule(window, module, false);
    if (window)
        chooseModel(window, model);
    return window;
}

template<typename T>
T *row(MainWindow *window, const char *name, int channel)
{
    return window->findChild<T *>(QLatin1String(name) + QLatin1Char('_') + QString::number(channel));
}

void type(MainWindow *window, const char *name, int channel, const char *text)
{
    auto *edit = row<QLineEdit>(window, name, channel);
    edit->selectAll();
    QTest::keyClicks(edit, QString::fromLatin1(text));
}

} // namespace

void TestAnalogPanelsModule::writtenValuesReachTheModule()
{
    ModuleSimulator module;
    QVERIFY(module.setModel("Analog voltage  8-channel outputs"));
    module.setHoldingRegister(0x7530 + 3, 3); // AO3 in 0~5V until written
    QScopedPointer<MainWindow> window(openOn(module, "Analog voltage  8-channel outputs"));
    QVERIFY(window && !QTest::currentTestFailed());
    // The panel's first reads are in once AO3 shows the module's mode.
    QTRY_COMPARE_WITH_TIMEOUT(row<QComboBox>(window.data(), "comboBox_analogOutMode", 3)->currentText(),
                              QStringLiteral("0~5V"), 10000);

    row<QComboBox>(window.data(), "comboBox_analogOutMode", 3)->setCurrentText("0~10V");
    type(window.data(), "lineEdit_analogOutPrecision", 3, "0.50");
    type(window.data(), "lineEdit_analogOutValue", 3, "2.50");
    const quint16 neighbour = module.holdingRegister(0x0009 + 2);
    QTest::mouseClick(row<QPushButton>(window.data(), "pushButton_analogOutWrite", 3), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module.holdingRegister(0x0009 + 3), quint16(5), 10000);
    QCOMPARE(module.holdingRegister(0x7594 + 3), quint16(20));
    QCOMPARE(module.holdingRegister(0x7530 + 3), quint16(4));
    QCOMPARE(module.holdingRegister(0x0009 + 2), neighbour);

    // A second channel written at once is not taken for a duplicate of the first.
    for (int channel : { 4, 5 }) {
        type(window.data(), "lineEdit_analogOutPrecision", channel, "0.50");
        type(window.data(), "lineEdit_analogOutValue", channel, channel == 4 ? "5.00" : "7.50");
    }
    QTest::mouseClick(row<QPushButton>(window.data(), "pushButton_analogOutWrite", 4), Qt::LeftButton);
    QTest::mouseClick(row<QPushButton>(window.data(), "pushButton_analogOutWrite", 5), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module.holdingRegister(0x0009 + 4), quint16(10), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(module.holdingRegister(0x0009 + 5), quint16(15), 10000);
}

void TestAnalogPanelsModule::inputsShownThroughRejectedReplies()
{
    ModuleSimulator module;
    QVERIFY(module.setModel("Analog voltage  4-channel inputs"));
    QScopedPointer<MainWindow> window(openOn(module, "Analog voltage  4-channel inputs"));
    QVERIFY(window && !QTest::currentTestFailed());
    module.setAnalogInputValue(0, 1500);
    module.setAnalogInputValue(3, 3250);
    QTest::mouseClick(window->findChild<QPushButton *>("pushButton_check_analog_in"), Qt::LeftButton);
    const QList<QLabel *> &labels = window->analogInputs()->values();
    QTRY_COMPARE_WITH_TIMEOUT(labels.at(0)->text(), QStringLiteral("1.500"), 10000);
    QCOMPARE(labels.at(3)->text(), QStringLiteral("3.250"));

    // Replies the window cannot take do not end detection: it shows the new value once
    // the module answers cleanly again.
    module.setCorruptCrcPercent(100);
    module.setAnalogInputValue(0, 2500);
    QTRY_VERIFY_WITH_TIMEOUT(module.faultCounts().corrupted >= 2, 10000);
    QCOMPARE(labels.at(0)->text(), QStringLiteral("1.500"));
    module.setCorruptCrcPercent(0);
    QTRY_COMPARE_WITH_TIMEOUT(labels.at(0)->text(), QStringLiteral("2.500"), 10000);
}

QTEST_MAIN(TestAnalogPanelsModule)
#include "tst_analogpanelsmodule.moc"
