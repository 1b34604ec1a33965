#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "simulator/modulesimulator.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>

#include <memory>

// The analog panels of the real main window against the simulated module over
// Modbus TCP on 127.0.0.1: what is written lands in the module's registers, and
// what the module holds or measures shows in the panels.
class TestAnalogPanelsModule : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void writeVoltageChannelAndReadItBack();
    void twoCurrentChannelsReadAndCancel();
    void twelveChannelsReadTwelveRegisters();
    void thirtyTwoCurrentInputs();
    void rejectedRepliesKeepThePoll();
    void serialLineOutputsAndInputs();
    void wrongModelIsNamedInThePanel();

private:
    void connectTo(const char *model);
    void openSerialLineTo(const char *model);
    void chooseModel(const char *model);
    template<typename T>
    T *rowWidget(const char *name, int channel) const;
    void type(QLineEdit *edit, const QString &text);
    bool handled(int function, int address, int quantity) const;
    QStringList queuedKinds() const;

    std::unique_ptr<ModuleSimulator> module;
    std::unique_ptr<QSignalSpy> requests;
    MainWindow *window = nullptr;
};

void TestAnalogPanelsModule::cleanup()
{
    if (window)
        settleLink(window);
    delete window;
    window = nullptr;
    requests.reset();
    module.reset();
}

void TestAnalogPanelsModule::connectTo(const char *model)
{
    module.reset(new ModuleSimulator);
    QVERIFY(module->setModel(QString::fromUtf8(model)));
    QVERIFY(module->listenTcp(0));
    requests.reset(new QSignalSpy(module.get(), &ModuleSimulator::requestHandled));

    window = newLoopbackWindow(module->tcpPort());
    waitForNetworkConnect(window);
    QTRY_COMPARE_WITH_TIMEOUT(window->linkReady, 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(window->networkMode, 1, 10000);
    chooseModel(model);
}

void TestAnalogPanelsModule::openSerialLineTo(const char *model)
{
    module.reset(new ModuleSimulator);
    QVERIFY(module->setModel(QString::fromUtf8(model)));
    const QString path = module->openPty();
    QVERIFY(!path.isEmpty());
    requests.reset(new QSignalSpy(module.get(), &ModuleSimulator::requestHandled));

    window = newLoopbackWindow();

    openSerialInWindow(window, path);
    QTRY_COMPARE_WITH_TIMEOUT(window->linkReady, 1, 10000);
    QCOMPARE(window->networkMode, 0);
    chooseModel(model);
}

void TestAnalogPanelsModule::chooseModel(const char *model)
{
    const int index = ModelCatalogue::indexOf(QString::fromUtf8(model));
    QVERIFY(index >= 0);
    window->modelActions.at(index)->trigger();
}

template<typename T>
T *TestAnalogPanelsModule::rowWidget(const char *name, int channel) const
{
    return window->findChild<T *>(QLatin1String(name) + QLatin1Char('_') + QString::number(channel));
}

void TestAnalogPanelsModule::type(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

bool TestAnalogPanelsModule::handled(int function, int address, int quantity) const
{
    for (const QList<QVariant> &request : qAsConst(*requests)) {
        if (request.at(0).toInt() == function && request.at(1).toInt() == address
            && request.at(2).toInt() == quantity && !request.at(3).toBool())
            return true;
    }
    return false;
}

QStringList TestAnalogPanelsModule::queuedKinds() const
{
    ThreadAdministrator *queue = window->threadSerialport->threadAdministrator;
    QStringList kinds;
    QMetaObject::invokeMethod(queue, [queue, &kinds]() {
        for (const Sender *sender : qAsConst(queue->senders))
            kinds << sender->kind;
    }, Qt::BlockingQueuedConnection);
    return kinds;
}

void TestAnalogPanelsModule::writeVoltageChannelAndReadItBack()
{
    connectTo("Analog voltage  8-channel outputs");
    QTRY_VERIFY_WITH_TIMEOUT(handled(3, 0x7530, 8), 10000);
    QVERIFY(handled(3, 0x0009, 8));
    QVERIFY(handled(3, 0x7594, 8));

    rowWidget<QComboBox>("comboBox_analogOutMode", 3)->setCurrentText("0~10V");
    type(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 3), "0.50");
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 3)->text(), QStringLiteral("0014"));
    type(rowWidget<QLineEdit>("lineEdit_analogOutValue", 3), "2.50");
    const quint16 neighbour = module->holdingRegister(0x0009 + 2);
    requests->clear();
    QTest::mouseClick(rowWidget<QPushButton>("pushButton_analogOutWrite", 3), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x0009 + 3), quint16(5), 10000);
    QCOMPARE(module->holdingRegister(0x7594 + 3), quint16(20));
    QCOMPARE(module->holdingRegister(0x7530 + 3), quint16(4));
    QCOMPARE(module->holdingRegister(0x0009 + 2), neighbour);

    // The module's own values come back: the typed "2.50" and "0.50" are replaced.
    QTRY_COMPARE_WITH_TIMEOUT(rowWidget<QLineEdit>("lineEdit_analogOutValue", 3)->text(), QStringLiteral("2.5"), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 3)->text(), QStringLiteral("0.5"), 10000);
    QCOMPARE(rowWidget<QComboBox>("comboBox_analogOutMode", 3)->currentText(), QStringLiteral("0~10V"));
    QVERIFY(handled(3, 0x0009, 8));
    QVERIFY(!rowWidget<QPushButton>("pushButton_analogOutWrite", 3)->isEnabled());
    // The register view shows each write frame as it went out, behind the TCP header.
    QCOMPARE(rowWidget<QLabel>("label_analogOutMaximumFrame", 3)->text(),
             QStringLiteral("Maximum value register:000000000006010675970014"));
    QCOMPARE(rowWidget<QLabel>("label_analogOutModeFrame", 3)->text(),
             QStringLiteral("Output mode registe:000000000006010675330004"));
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueFrame", 3)->text(),
             QStringLiteral("Output register:0000000000060106000c0005"));

    // A second channel written at once is not taken for a duplicate of the first.
    type(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 4), "0.50");
    type(rowWidget<QLineEdit>("lineEdit_analogOutValue", 4), "5.00");
    type(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 5), "0.50");
    type(rowWidget<QLineEdit>("lineEdit_analogOutValue", 5), "7.50");
    QTest::mouseClick(rowWidget<QPushButton>("pushButton_analogOutWrite", 4), Qt::LeftButton);
    QTest::mouseClick(rowWidget<QPushButton>("pushButton_analogOutWrite", 5), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x0009 + 4), quint16(10), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x0009 + 5), quint16(15), 10000);
    QCOMPARE(module->holdingRegister(0x7594 + 5), quint16(20));
}

void TestAnalogPanelsModule::twoCurrentChannelsReadAndCancel()
{
    connectTo("Analog current  2-channel outputs");
    QTRY_VERIFY_WITH_TIMEOUT(handled(3, 0x7530, 2), 10000);
    QVERIFY(handled(3, 0x0009, 2));
    QVERIFY(handled(3, 0x7594, 2));
    QCOMPARE(window->analogOutRows.size(), 2);
    QCOMPARE(rowWidget<QLabel>("label_analogOutChannel", 0)->text(), QStringLiteral("AO0:"));
    QCOMPARE(rowWidget<QLabel>("label_analogOutChannel", 1)->text(), QStringLiteral("AO1:"));

    // Set behind the tool's back: 0~20mA, maximum 40, value 10 is 5 mA.
    module->setHoldingRegister(0x7530 + 1, 1);
    module->setHoldingRegister(0x7594 + 1, 40);
    module->setHoldingRegister(0x0009 + 1, 10);
    QLineEdit *value = rowWidget<QLineEdit>("lineEdit_analogOutValue", 1);
    type(value, "7");
    QTest::keyClick(value, Qt::Key_Escape);
    QTRY_COMPARE_WITH_TIMEOUT(value->text(), QStringLiteral("5"), 10000);
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 1)->text(), QStringLiteral("0.5"));
    QCOMPARE(rowWidget<QComboBox>("comboBox_analogOutMode", 1)->currentText(), QStringLiteral("0~20mA"));
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 1)->text(), QStringLiteral("0028"));

    // Above the top writes the typed maximum: full scale.
    type(value, "25");
    QTest::keyClick(value, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x0009 + 1), quint16(40), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(value->text(), QStringLiteral("20"), 10000);
}

void TestAnalogPanelsModule::twelveChannelsReadTwelveRegisters()
{
    connectTo("Analog current 12-channel outputs");
    QTRY_VERIFY_WITH_TIMEOUT(handled(3, 0x7530, 12), 10000);
    QVERIFY(handled(3, 0x0009, 12));

    QComboBox *mode = rowWidget<QComboBox>("comboBox_analogOutMode", 11);
    mode->setCurrentText("4~20mA");
    type(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 11), "0.001");
    type(rowWidget<QLineEdit>("lineEdit_analogOutValue", 11), "12");
    QTest::mouseClick(rowWidget<QPushButton>("pushButton_analogOutWrite", 11), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x0009 + 11), quint16(8000), 10000);
    QCOMPARE(module->holdingRegister(0x7594 + 11), quint16(16000));
    QCOMPARE(module->holdingRegister(0x7530 + 11), quint16(0));
}

void TestAnalogPanelsModule::thirtyTwoCurrentInputs()
{
    connectTo("Analog current 32-channel inputs");
    QCOMPARE(window->analogInputLabels.size(), 32);
    QStringList expected;
    for (int channel = 0; channel < 32; ++channel) {
        const quint16 thousandths = channel == 5 ? 0 : quint16(4000 + 500 * channel);
        module->setAnalogInputValue(channel, thousandths);
        expected << QString::number(thousandths / 1000.0, 'f', 3);
    }
    QCOMPARE(expected.at(0), QStringLiteral("4.000"));
    QCOMPARE(expected.at(31), QStringLiteral("19.500"));

    auto *button = window->findChild<QPushButton *>("pushButton_check_analog_in");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(window->findChild<QLabel *>("label_analogout_OperationCode_2")->text(),
             QStringLiteral("000000000006010300200020"));
    QTRY_COMPARE_WITH_TIMEOUT(window->analogInputLabels.at(31)->text(), expected.at(31), 10000);
    for (int channel = 0; channel < 32; ++channel) {
        QLabel *label = window->analogInputLabels.at(channel);
        QCOMPARE(label->text(), expected.at(channel));
        QCOMPARE(label->styleSheet().isEmpty(), channel == 5);
    }
    // The poll keeps going: a new value shows up without another click.
    module->setAnalogInputValue(5, 12345);
    QTRY_COMPARE_WITH_TIMEOUT(window->analogInputLabels.at(5)->text(), QStringLiteral("12.345"), 10000);
    QVERIFY(queuedKinds().contains("Analog-Start-detecting"));

    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Start detecting"));
    for (QLabel *label : qAsConst(window->analogInputLabels)) {
        QCOMPARE(label->text(), QStringLiteral("0.000"));
        QVERIFY(label->styleSheet().isEmpty());
    }
    QTRY_VERIFY_WITH_TIMEOUT(!queuedKinds().contains("Analog-Start-detecting"), 10000);
}

void TestAnalogPanelsModule::rejectedRepliesKeepThePoll()
{
    connectTo("Analog voltage  4-channel inputs");
    module->setAnalogInputValue(0, 1500);
    auto *button = window->findChild<QPushButton *>("pushButton_check_analog_in");
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window->analogInputLabels.at(0)->text(), QStringLiteral("1.500"), 10000);

    // Replies the tool cannot take do not end detection: it reads the new value once
    // the module answers cleanly again.
    module->setCorruptCrcPercent(100);
    module->setAnalogInputValue(0, 2500);
    QTest::qWait(1000);
    QVERIFY(queuedKinds().contains("Analog-Start-detecting"));
    module->setCorruptCrcPercent(0);
    QTRY_COMPARE_WITH_TIMEOUT(window->analogInputLabels.at(0)->text(), QStringLiteral("2.500"), 10000);
    QCOMPARE(button->text(), QStringLiteral("Stop detecting"));
}

void TestAnalogPanelsModule::serialLineOutputsAndInputs()
{
    // The 32-channel input reply is 69 bytes on the line, the longest the module sends.
    openSerialLineTo("Analog voltage 32-channel inputs");
    for (int channel = 0; channel < 32; ++channel)
        module->setAnalogInputValue(channel, quint16(100 * channel));
    auto *button = window->findChild<QPushButton *>("pushButton_check_analog_in");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(window->findChild<QLabel *>("label_analogout_OperationCode_2")->text(),
             QtTools::appendCrc16("010300200020"));
    QTRY_COMPARE_WITH_TIMEOUT(window->analogInputLabels.at(31)->text(), QStringLiteral("3.100"), 10000);
    QCOMPARE(window->analogInputLabels.at(16)->text(), QStringLiteral("1.600"));
    QCOMPARE(window->analogInputLabels.at(0)->text(), QStringLiteral("0.000"));
    QVERIFY(window->analogInputLabels.at(0)->styleSheet().isEmpty());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!queuedKinds().contains("Analog-Start-detecting"), 10000);

    // The same module's line, now asked as an output board: frames without a header.
    module->setCounts(0, 0, 12, 0, false);
    chooseModel("Analog voltage 12-channel outputs");
    QTRY_VERIFY_WITH_TIMEOUT(handled(3, 0x7530, 12), 10000);
    rowWidget<QComboBox>("comboBox_analogOutMode", 11)->setCurrentText("1~5V");
    type(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 11), "0.001");
    type(rowWidget<QLineEdit>("lineEdit_analogOutValue", 11), "0.5");
    QTest::keyClick(rowWidget<QLineEdit>("lineEdit_analogOutValue", 11), Qt::Key_Enter);
    QTRY_COMPARE_WITH_TIMEOUT(module->holdingRegister(0x7594 + 11), quint16(4000), 10000);
    QCOMPARE(module->holdingRegister(0x0009 + 11), quint16(0));
    QCOMPARE(rowWidget<QLabel>("label_analogOutModeFrame", 11)->text(),
             QStringLiteral("Output mode registe:0106753b0002"));
    QTRY_COMPARE_WITH_TIMEOUT(rowWidget<QLineEdit>("lineEdit_analogOutValue", 11)->text(), QStringLiteral("1"), 10000);
}


// A switch board asked for analog outputs answers "illegal data address"; the panel
// says so until the operator chooses another model.
void TestAnalogPanelsModule::wrongModelIsNamedInThePanel()
{
    connectTo("Switch 16-channel outputs");
    auto *warning = window->findChild<QLabel *>(QStringLiteral("label_wrongModel"));
    // The board answers the output poll; a second poll follows the first answer.
    const auto polls = [this]() {
        int count = 0;
        for (const QList<QVariant> &request : qAsConst(*requests))
            count += request.at(0).toInt() == 3 && request.at(1).toInt() == 0 && !request.at(3).toBool();
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(polls() >= 2, 10000);

    // A read the operator types for a register the board lacks says nothing about the model.
    window->findChild<QTextEdit *>(QStringLiteral("sendText"))->setPlainText(QStringLiteral("010300090001"));
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("sendBt")), Qt::LeftButton);
    auto *log = window->findChild<QTextEdit *>(QStringLiteral("recvText"));
    QTRY_VERIFY_WITH_TIMEOUT(log->toPlainText().contains(QStringLiteral("Illegal data address")), 10000);
    QVERIFY(warning->isHidden());

    chooseModel("Analog voltage  8-channel outputs");
    QTRY_VERIFY_WITH_TIMEOUT(!warning->isHidden(), 10000);
    QVERIFY(warning->text().contains(QStringLiteral("choose the model")));

    chooseModel("Switch 16-channel outputs");
    QVERIFY(warning->isHidden());
}

QTEST_MAIN(TestAnalogPanelsModule)
#include "tst_analogpanelsmodule.moc"
