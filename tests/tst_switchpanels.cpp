#include "tests/loopbackwindow.h"
#include "protocol/sender.h"
#include "ui/switchstates.h"

#include <QCheckBox>

// The buttons' states: 1 on, 0 off, - unknown.
static QString states(const QList<QPushButton *> &buttons)
{
    QString text;
    for (const QPushButton *button : buttons) {
        const QString style = button->styleSheet();
        text += style == SwitchStates::kOnStyle ? '1' : style == SwitchStates::kOffStyle ? '0'
                : style == SwitchStates::kNoLinkStyle ? '-' : '?';
    }
    return text;
}

// The switch panels of the main window driven through their widgets and reply
// slots; the requests are caught where the window hands them to the queue.
class TestSwitchPanels : public QObject
{
    Q_OBJECT

    MainWindow *window = nullptr;
    QStringList requests; // "kind|frame"
    QStringList clears;

    QPushButton *output(int channel) const { return window->switchOutputs()->buttons().at(channel - 1); }

    QString lastFrame(const QString &kind) const
    {
        for (int i = requests.size() - 1; i >= 0; --i) {
            if (requests.at(i).startsWith(kind + '|'))
                return requests.at(i).mid(kind.size() + 1);
        }
        return QString();
    }

    QString shownFrame() const
    {
        return window->findChild<QLabel *>("label_out_OperationCode_2")->text().remove(' ');
    }

private slots:
    void init()
    {
        QtTools::instance()->configMap.clear();
        window = newLoopbackWindow();
        disconnect(window, &MainWindow::write, nullptr, nullptr);
        pretendLink(window, LinkKind::Serial);
        requests.clear();
        clears.clear();
        connect(window, &MainWindow::write, this, [this](Sender *sender) {
            requests << sender->kind + '|' + QString(sender->data).remove(' ');
            delete sender;
        }, Qt::DirectConnection);
        connect(window, &MainWindow::sendersClear, this, [this](const QString &key) { clears << key; },
                Qt::DirectConnection);
    }

    void cleanup() { delete window; }

    void statesUnknownWithoutLink()
    {
        pretendLink(window, LinkKind::None);
        chooseModel(window, "Switch  8-channel outputs  8-channel inputs");
        QCOMPARE(states(window->switchOutputs()->buttons()) + states(window->switchInputs()->buttons()), QString(16, '-'));
        QCOMPARE(lastFrame("Check Status"), QString());
    }

    void clickWritesTheOutput()
    {
        chooseModel(window, "Switch 32-channel outputs");
        QVERIFY(window->session()->setDeviceAddress(10));
        QTest::mouseClick(output(18), Qt::LeftButton);
        QCOMPARE(lastFrame("QPushButton_17"), QStringLiteral("01050011FF00"));
        QCOMPARE(shownFrame(), QStringLiteral("0A050011FF00DD44"));
        pretendLink(window, LinkKind::Tcp);
        QTest::mouseClick(output(18), Qt::LeftButton);
        QCOMPARE(lastFrame("QPushButton_17"), QStringLiteral("010500110000"));
        QCOMPARE(shownFrame(), QStringLiteral("0000000000060A0500110000"));

        // The module says output 4 is on: a click switches it off.
        window->switchOutputs()->showStates("0103020008");
        QTest::mouseClick(output(4), Qt::LeftButton);
        QCOMPARE(lastFrame("QPushButton_3"), QStringLiteral("010500030000"));
    }

    void singleChoiceMarksTheChosenOutputOn()
    {
        chooseModel(window, "Switch 32-channel outputs");
        pretendLink(window, LinkKind::Tcp);
        requests.clear();
        window->findChild<QCheckBox *>("checkBox_out")->setChecked(true);
        QCOMPARE(requests, QStringList{ "All Close|0110000000020400000000" });

        // Output 18 is on already; the choice still switches it on and the others off.
        window->switchOutputs()->showStates("01030400000002");
        QTest::mouseClick(output(18), Qt::LeftButton);
        QCOMPARE(lastFrame("QPushButton_17"), QStringLiteral("0110000000020400000002"));
        // The header counts bytes, not the blanks of the frame text.
        QCOMPARE(shownFrame(), QStringLiteral("00000000000B0110000000020400000002"));
        window->switchOutputs()->showSwitched(17);
        QCOMPARE(states(window->switchOutputs()->buttons()), QString(17, '0') + '1' + QString(14, '0'));
    }

    void statesShown_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("shown");
        const QString on16(16, '1');
        QTest::newRow("low bit first; 17-32 not told") << "0103020005" << "1010000000000000" + on16;
        QTest::newRow("second register is 17-32") << "010304000000021234" << QString(17, '0') + '1' + QString(14, '0');
        QTest::newRow("byte count beyond the data") << "0103080001" << '1' + QString(15, '0') + on16;
        QTest::newRow("not hex ends the states") << "0103040001zz01" << '1' + QString(15, '0') + on16;
        QTest::newRow("byte count not hex") << "0103zz0001" << on16 + on16;
        QTest::newRow("a sign is not a digit") << "010302+fff" << on16 + on16;
    }

    void statesShown()
    {
        QFETCH(QString, reply);
        QFETCH(QString, shown);
        chooseModel(window, "Switch 32-channel outputs");
        window->switchOutputs()->showStates("010304FFFFFFFF");
        window->switchOutputs()->showStates(reply);
        QCOMPARE(states(window->switchOutputs()->buttons()), shown);
    }

    void inputsShown()
    {
        chooseModel(window, "Switch  8-channel inputs");
        window->switchInputs()->showStates("1 1 1 1 1 1 1 1");
        window->switchInputs()->showStates("1 0 1");
        QCOMPARE(states(window->switchInputs()->buttons()), QStringLiteral("10100000"));
    }

    void namesFollowTheState()
    {
        QMap<QString, QString> &names = QtTools::instance()->configMap;
        names.insert("Y1Output OFF", "Pump off");
        names.insert("Y1Output ON", "Pump on");
        names.insert("IN2Input ON", "Alarm");
        chooseModel(window, "Switch  8-channel outputs  8-channel inputs");
        QCOMPARE(output(1)->text(), QStringLiteral("Pump off"));
        // More states than buttons.
        window->switchOutputs()->showStates("01030400010001");
        window->switchInputs()->showStates("0 1");
        QCOMPARE(output(1)->text() + ',' + window->switchInputs()->buttons().at(1)->text(), QStringLiteral("Pump on,Alarm"));

        // Without a name for its state a button shows its off-state name, else its number.
        names.remove("Y1Output ON");
        names.remove("IN2Input ON");
        window->refreshChannelNames();
        QCOMPARE(output(1)->text() + ',' + window->switchInputs()->buttons().at(1)->text(), QStringLiteral("Pump off,IN2"));
    }

    void inputDetection()
    {
        chooseModel(window, "Switch 16-channel inputs");
        auto *check = window->findChild<QPushButton *>("pushButton_check");
        QCOMPARE(lastFrame("Start detecting"), QStringLiteral("010300040001"));
        QTest::mouseClick(check, Qt::LeftButton);
        QCOMPARE(clears, QStringList{ "Start detecting" });
        requests.clear();
        QTest::mouseClick(check, Qt::LeftButton);
        QCOMPARE(requests, QStringList{ "Start detecting|010300040001" });

        // Another board while detecting: polled with its own frame, not toggled off.
        chooseModel(window, "Switch 64-channel inputs");
        QCOMPARE(lastFrame("Start detecting"), QStringLiteral("010300040004"));
        // A board without inputs ends the polling.
        clears.clear();
        chooseModel(window, "Switch 16-channel outputs");
        QCOMPARE(clears, QStringList{ "Start detecting" });
    }
};

QTEST_MAIN(TestSwitchPanels)
#include "tst_switchpanels.moc"
