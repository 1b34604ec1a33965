#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "link/sender.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"
#include "ui/switchstates.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QtTest>

// The switch panels of the main window driven through their widgets and reply
// slots; the requests are caught where the window hands them to the queue.
class TestSwitchPanels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void modelWithOutputsAndInputsBuildsBothGrids();
    void analogModelHidesSwitchPanels();
    void typeCodeSelectsModel_data();
    void typeCodeSelectsModel();
    void frameDisplay_data();
    void frameDisplay();
    void singleChoiceBeyondSixteen();
    void singleChoiceClickOnOutputAlreadyOn();
    void statesWithMoreBitsThanButtons();
    void shortStatesReplyKeepsOtherOutputs();
    void inputsWithFewerTokensThanButtons();
    void detectionStopsAndRestarts();
    void rebuildsDoNotLeak();
    void refreshTakesNewAndRemovedNames();

private:
    void chooseModel(const char *english);
    QPushButton *outputButton(int channel) const { return window->outputButtons.at(channel - 1); }
    QPushButton *inputButton(int channel) const { return window->inputButtons.at(channel - 1); }
    QStringList kinds() const;
    QString lastFrame(const QString &kind) const;

    MainWindow *window = nullptr;
    QList<QPair<QString, QString>> requests;
    QStringList clears;
};

static QString noBlanks(QString text)
{
    return text.remove(QLatin1Char(' '));
}

void TestSwitchPanels::init()
{
    window = newLoopbackWindow();
    // The requests come here instead of the queue: the test owns them, and no other
    // thread can delete one while it is being read.
    settleLink(window);
    disconnect(window, &MainWindow::write, nullptr, nullptr);
    // As if a module link were up: the panels poll only then.
    window->linkReady = 1;

    requests.clear();
    clears.clear();
    connect(window, &MainWindow::write, this, [this](Sender *sender) {
        requests.append(qMakePair(sender->kind, sender->data));
        delete sender;
    }, Qt::DirectConnection);
    connect(window, &MainWindow::sendersClear, this, [this](const QString &key) {
        clears.append(key);
    }, Qt::DirectConnection);
    QtTools::instance()->configMap.clear();
}

void TestSwitchPanels::cleanup()
{
    delete window;
    window = nullptr;
    QtTools::instance()->configMap.clear();
}

void TestSwitchPanels::chooseModel(const char *english)
{
    const int index = ModelCatalogue::indexOf(QString::fromUtf8(english));
    QVERIFY(index >= 0);
    QCOMPARE(window->modelActions.size(), ModelCatalogue::models().size());
    window->modelActions.at(index)->trigger();
}

QStringList TestSwitchPanels::kinds() const
{
    QStringList result;
    for (const auto &request : requests)
        result << request.first;
    return result;
}

QString TestSwitchPanels::lastFrame(const QString &kind) const
{
    for (int i = requests.size() - 1; i >= 0; --i) {
        if (requests.at(i).first == kind)
            return requests.at(i).second;
    }
    return QString();
}

void TestSwitchPanels::modelWithOutputsAndInputsBuildsBothGrids()
{
    chooseModel("Switch 32-channel outputs 16-channel inputs");

    QCOMPARE(window->voltageOutputCount, -1);
    QCOMPARE(window->outputButtons.size(), 32);
    QCOMPARE(window->inputButtons.size(), 16);
    QCOMPARE(window->outputGrid->rowCount(), 8);
    QCOMPARE(window->inputGrid->rowCount(), 4);
    QCOMPARE(window->outputGrid->columnCount(), 4);
    // Channel 6 is the second of the second row.
    int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
    window->outputGrid->getItemPosition(window->outputGrid->indexOf(outputButton(6)), &row, &column,
                                        &rowSpan, &columnSpan);
    QCOMPARE(row, 1);
    QCOMPARE(column, 1);
    QCOMPARE(outputButton(6)->text(), QStringLiteral("Y6"));
    QCOMPARE(inputButton(16)->text(), QStringLiteral("IN16"));

    auto *control = window->findChild<QWidget *>("widget_control");
    QVERIFY(window->findChild<QWidget *>("widget_out")->isVisibleTo(control));
    QVERIFY(window->findChild<QWidget *>("widget_in")->isVisibleTo(control));
    QVERIFY(!control->isHidden());
    QVERIFY(window->findChild<QWidget *>("widget_control_analog")->isHidden());

    QVERIFY(window->outputPollTimer.isActive());
    QCOMPARE(window->outputPollTimer.interval(), 500);
    QCOMPARE(noBlanks(lastFrame("Check Status")), QStringLiteral("010300000002"));
    QCOMPARE(noBlanks(lastFrame("Start detecting")), QStringLiteral("010300040001"));
    QCOMPARE(window->findChild<QPushButton *>("pushButton_check")->text(),
             QStringLiteral("Stop detecting"));
}

void TestSwitchPanels::analogModelHidesSwitchPanels()
{
    chooseModel("Switch  8-channel outputs  8-channel inputs");
    chooseModel("Analog current 12-channel inputs");

    QCOMPARE(window->outputCount, -1);
    QCOMPARE(window->currentInputCount, 12);
    QVERIFY(window->findChild<QWidget *>("widget_control")->isHidden());
    auto *analog = window->findChild<QWidget *>("widget_control_analog");
    QVERIFY(!analog->isHidden());
    QVERIFY(window->findChild<QWidget *>("widget_analog_in")->isVisibleTo(analog));
    QVERIFY(!window->findChild<QWidget *>("widget_analog_out")->isVisibleTo(analog));
    // The switch buttons stay until a switch model comes back.
    QCOMPARE(window->outputButtons.size(), 8);
}

void TestSwitchPanels::typeCodeSelectsModel_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<int>("inputs");

    QTest::newRow("220: 64 outputs") << 220 << 64 << -1;
    QTest::newRow("230: 64 inputs") << 230 << -1 << 64;
    QTest::newRow("100: nothing chosen") << 100 << -1 << -1;
}

void TestSwitchPanels::typeCodeSelectsModel()
{
    QFETCH(int, code);
    QFETCH(int, outputs);
    QFETCH(int, inputs);

    // Even with the model menus disabled at that moment.
    window->setProductControlsEnabled(false);
    window->identify_deviceType(code);
    QCOMPARE(window->linkReady, 1);
    QCOMPARE(window->outputCount, outputs);
    QCOMPARE(window->inputCount, inputs);
    QCOMPARE(window->outputButtons.size(), qMax(outputs, 0));
    QCOMPARE(window->inputButtons.size(), qMax(inputs, 0));
    if (outputs > 0) {
        QCOMPARE(outputButton(1)->styleSheet(), SwitchStates::kOffStyle);
        QCOMPARE(noBlanks(lastFrame("Check Status")), QStringLiteral("010300000004"));
    }
    if (inputs > 0)
        QCOMPARE(noBlanks(lastFrame("Start detecting")), QStringLiteral("010300040004"));
}

void TestSwitchPanels::frameDisplay_data()
{
    QTest::addColumn<int>("network");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("shown");

    QTest::newRow("serial, address 01, CRC DC3F") << 0 << "01" << "01050011FF00DC3F";
    QTest::newRow("serial, address 0A, CRC DD44") << 0 << "0A" << "0A050011FF00DD44";
    QTest::newRow("network, header with length 6") << 1 << "0A" << "0000000000060A050011FF00";
}

void TestSwitchPanels::frameDisplay()
{
    QFETCH(int, network);
    QFETCH(QString, address);
    QFETCH(QString, shown);

    chooseModel("Switch 32-channel outputs");
    window->networkMode = network;
    window->deviceAddress = address;
    QTest::mouseClick(outputButton(18), Qt::LeftButton);
    QCOMPARE(noBlanks(window->findChild<QLabel *>("label_out_OperationCode_2")->text()), shown);
}

void TestSwitchPanels::singleChoiceBeyondSixteen()
{
    chooseModel("Switch 32-channel outputs");
    window->networkMode = 1;
    requests.clear();

    window->findChild<QCheckBox *>("checkBox_out")->setChecked(true);
    QCOMPARE(window->singleMode, 1);
    QCOMPARE(kinds(), QStringList{ "All Close" });
    QCOMPARE(noBlanks(lastFrame("All Close")), QStringLiteral("0110000000020400000000"));

    QTest::mouseClick(outputButton(18), Qt::LeftButton);
    QCOMPARE(noBlanks(lastFrame("QPushButton_17")), QStringLiteral("0110000000020400000002"));
    // Header length counts bytes, not the blanks of the frame text.
    QCOMPARE(noBlanks(window->findChild<QLabel *>("label_out_OperationCode_2")->text()),
             QStringLiteral("00000000000B0110000000020400000002"));

    window->click_QPushButton(17);
    for (int channel = 1; channel <= 32; ++channel) {
        QCOMPARE(outputButton(channel)->styleSheet(),
                 channel == 18 ? SwitchStates::kOnStyle : SwitchStates::kOffStyle);
    }

    QTest::mouseClick(outputButton(2), Qt::LeftButton);
    QCOMPARE(noBlanks(lastFrame("QPushButton_1")), QStringLiteral("0110000000020400020000"));
    window->click_QPushButton(1);
    QCOMPARE(outputButton(2)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(outputButton(18)->styleSheet(), SwitchStates::kOffStyle);

    window->findChild<QCheckBox *>("checkBox_out")->setChecked(false);
    QCOMPARE(window->singleMode, 0);
}

void TestSwitchPanels::singleChoiceClickOnOutputAlreadyOn()
{
    chooseModel("Switch  8-channel outputs");
    window->findChild<QCheckBox *>("checkBox_out")->setChecked(true);
    window->change_ctlOuts("0103020004");
    QCOMPARE(outputButton(3)->styleSheet(), SwitchStates::kOnStyle);

    // The command switches output 3 on (and the rest off): the button must agree.
    QTest::mouseClick(outputButton(3), Qt::LeftButton);
    QCOMPARE(noBlanks(lastFrame("QPushButton_2")), QStringLiteral("01100000000102" "0004"));
    window->click_QPushButton(2);
    QCOMPARE(outputButton(3)->styleSheet(), SwitchStates::kOnStyle);
}

void TestSwitchPanels::statesWithMoreBitsThanButtons()
{
    chooseModel("Switch  4-channel outputs");
    window->change_ctlOuts("01030400050001ffff");
    QCOMPARE(outputButton(1)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(outputButton(2)->styleSheet(), SwitchStates::kOffStyle);
    QCOMPARE(outputButton(3)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(outputButton(4)->styleSheet(), SwitchStates::kOffStyle);
    QTest::mouseClick(outputButton(4), Qt::LeftButton);
    QCOMPARE(noBlanks(lastFrame("QPushButton_3")), QStringLiteral("01050003FF00"));
}

void TestSwitchPanels::shortStatesReplyKeepsOtherOutputs()
{
    chooseModel("Switch 32-channel outputs");
    window->change_ctlOuts("01030400808000FFFF");
    QCOMPARE(outputButton(8)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(outputButton(32)->styleSheet(), SwitchStates::kOnStyle);

    // One register only, then garbage: outputs 17 to 32 are not told anything.
    window->change_ctlOuts("010304000");
    window->change_ctlOuts("0103040001");
    QCOMPARE(outputButton(1)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(outputButton(8)->styleSheet(), SwitchStates::kOffStyle);
    QCOMPARE(outputButton(32)->styleSheet(), SwitchStates::kOnStyle);
    QCOMPARE(window->ctlOuts.size(), 32);

    // Clicking the output still on sends "off".
    QTest::mouseClick(outputButton(32), Qt::LeftButton);
    QCOMPARE(noBlanks(lastFrame("QPushButton_31")), QStringLiteral("0105001F0000"));
}

void TestSwitchPanels::inputsWithFewerTokensThanButtons()
{
    chooseModel("Switch  8-channel inputs");
    window->change_inputs("1 1 1 1 1 1 1 1");
    window->change_inputs("1 0 1");
    const QVector<bool> expected{ true, false, true, false, false, false, false, false };
    for (int k = 0; k < 8; ++k) {
        QCOMPARE(inputButton(k + 1)->styleSheet(),
                 expected.at(k) ? SwitchStates::kOnStyle : SwitchStates::kOffStyle);
    }
    window->change_inputs(QString());
    QCOMPARE(inputButton(1)->styleSheet(), SwitchStates::kOffStyle);
}

void TestSwitchPanels::detectionStopsAndRestarts()
{
    chooseModel("Switch 16-channel inputs");
    auto *check = window->findChild<QPushButton *>("pushButton_check");
    QCOMPARE(check->text(), QStringLiteral("Stop detecting"));
    QCOMPARE(noBlanks(window->findChild<QLabel *>("label_in_OperationCode_2")->text()),
             QStringLiteral("010300040001C5CB"));

    QTest::mouseClick(check, Qt::LeftButton);
    QCOMPARE(clears, QStringList{ "Start detecting" });
    QCOMPARE(check->text(), QStringLiteral("Start detecting"));

    requests.clear();
    QTest::mouseClick(check, Qt::LeftButton);
    QCOMPARE(kinds(), QStringList{ "Start detecting" });
    QCOMPARE(check->text(), QStringLiteral("Stop detecting"));

    // Choosing a board with more inputs while detection runs polls it with its own frame.
    requests.clear();
    clears.clear();
    chooseModel("Switch 64-channel inputs");
    QCOMPARE(clears, QStringList{ "Start detecting" });
    QCOMPARE(noBlanks(lastFrame("Start detecting")), QStringLiteral("010300040004"));
    QCOMPARE(check->text(), QStringLiteral("Stop detecting"));

    // A board without inputs ends the polling; its button then does nothing.
    clears.clear();
    chooseModel("Switch 16-channel outputs");
    QCOMPARE(clears, QStringList{ "Start detecting" });
    QCOMPARE(check->text(), QStringLiteral("Start detecting"));
    clears.clear();
    requests.clear();
    QTest::mouseClick(check, Qt::LeftButton);
    QVERIFY(clears.isEmpty());
    QVERIFY(!kinds().contains("Start detecting"));
}

void TestSwitchPanels::rebuildsDoNotLeak()
{
    auto *out = window->findChild<QWidget *>("widget_out");
    auto *in = window->findChild<QWidget *>("widget_in");
    chooseModel("Switch 32-channel outputs 32-channel inputs");
    const int outChildren = out->findChildren<QObject *>().size();
    const int inChildren = in->findChildren<QObject *>().size();

    const char *models[] = { "Switch 64-channel outputs", "Switch 32-channel outputs 32-channel inputs",
                             "Analog voltage  8-channel outputs", "Switch  4-channel inputs" };
    for (int i = 0; i < 50; ++i)
        chooseModel(models[i % 4]);
    chooseModel("Switch 32-channel outputs 32-channel inputs");

    QCOMPARE(out->findChildren<QObject *>().size(), outChildren);
    QCOMPARE(in->findChildren<QObject *>().size(), inChildren);
    QCOMPARE(out->findChildren<QPushButton *>().size(), 32 + 2);
    QCOMPARE(out->findChildren<QGridLayout *>().size(), 1);
    QCOMPARE(in->findChildren<QGridLayout *>().size(), 1);
}

void TestSwitchPanels::refreshTakesNewAndRemovedNames()
{
    QtTools *tools = QtTools::instance();
    tools->configMap.insert("Y2Output OFF", "Valve");
    chooseModel("Switch  8-channel outputs  8-channel inputs");
    window->change_ctlOuts("0103020001");
    QCOMPARE(outputButton(2)->text(), QStringLiteral("Valve"));

    tools->configMap.remove("Y2Output OFF");
    tools->configMap.insert("Y1Output OFF", "Pump");
    tools->configMap.insert("IN4Input OFF", "Alarm");
    window->refreshChannelNames();
    // Output 1 is on and has no on-state name: its off-state name is shown.
    QCOMPARE(outputButton(1)->text(), QStringLiteral("Pump"));
    QCOMPARE(outputButton(2)->text(), QStringLiteral("Y2"));
    QCOMPARE(inputButton(4)->text(), QStringLiteral("Alarm"));
}

QTEST_MAIN(TestSwitchPanels)
#include "tst_switchpanels.moc"
