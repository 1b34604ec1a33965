#include "tests/loopbackwindow.h"
#include "protocol/sender.h"
#include "ui/switchstates.h"

#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>

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

// The switch and analog panels of the main window without a module: fed with replies
// through their slots, driven through their widgets; the requests are caught where the
// window hands them to the queue.
class TestPanels : public QObject
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

    template<typename T>
    T *row(const char *name, int channel) const
    {
        return window->findChild<T *>(QLatin1String(name) + '_' + QString::number(channel));
    }

    QString text(const char *field, int channel) const { return row<QLineEdit>(field, channel)->text(); }

    void type(const char *field, int channel, const QString &text)
    {
        row<QLineEdit>(field, channel)->selectAll();
        QTest::keyClicks(row<QLineEdit>(field, channel), text);
    }

    // The three read-back replies as the link hands them over: every register holds the word.
    void readBack(int registers, const QString &value, const QString &maximum, const QString &mode)
    {
        const QString kinds[] = { "read-Analog-OutputValue", "read-Analog-OutputMax", "read-Analog-OutputMode" };
        const QString words[] = { value, maximum, mode };
        for (int i = 0; i < 3; ++i) {
            window->analogOutputs()->showReadBack(kinds[i], QtTools::appendCrc16(
                    "0103" + QtTools::toHex(quint32(2 * registers)).right(2) + words[i].repeated(registers)).toLower());
        }
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

    void namesFollowTheState()
    {
        QMap<QString, QString> &names = QtTools::instance()->configMap;
        names.insert("Y1Output OFF", "Pump off");
        names.insert("Y1Output ON", "Pump on");
        names.insert("IN2Input ON", "Alarm");
        chooseModel(window, "Switch  8-channel outputs  8-channel inputs");
        QCOMPARE(output(1)->text(), QStringLiteral("Pump off"));
        // More states than buttons; fewer, and the inputs not told are off.
        window->switchOutputs()->showStates("01030400010001");
        window->switchInputs()->showStates("1 1 1 1 1 1 1 1");
        window->switchInputs()->showStates("0 1");
        QCOMPARE(states(window->switchInputs()->buttons()), QStringLiteral("01000000"));
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

    void typedRowIsWritten()
    {
        chooseModel(window, "Analog voltage  8-channel outputs");
        pretendLink(window, LinkKind::Serial);
        type("lineEdit_analogOutPrecision", 5, "0.5");
        QCOMPARE(text("lineEdit_analogOutMaximum", 5), QStringLiteral("0020"));
        // Another mode: the same precision is another maximum, in its own unit.
        row<QComboBox>("comboBox_analogOutMode", 5)->setCurrentText("0~10V");
        QCOMPARE(text("lineEdit_analogOutMaximum", 5) + row<QLabel>("label_analogOutValueUnit", 5)->text(), "0014V");
        type("lineEdit_analogOutMaximum", 5, "0028");
        QCOMPARE(text("lineEdit_analogOutPrecision", 5), QStringLiteral("0.25"));
        type("lineEdit_analogOutValue", 5, "-x2.5");
        QCOMPARE(text("lineEdit_analogOutValue", 5), QStringLiteral("2.5"));

        // Return in the value field writes the row: maximum, mode, then value.
        requests.clear();
        QTest::keyClick(row<QLineEdit>("lineEdit_analogOutValue", 5), Qt::Key_Return);
        QCOMPARE(requests, QStringList({ "Analog-OutputMax_5|010675990028", "Analog-OutputMode_5|010675350004",
                                         "Analog-OutputValue_5|0106000e000a" }));
        QVERIFY(!row<QPushButton>("pushButton_analogOutWrite", 5)->isEnabled());

        // Escape gives up an edit.
        type("lineEdit_analogOutPrecision", 2, "1");
        QTest::keyClick(row<QLineEdit>("lineEdit_analogOutPrecision", 2), Qt::Key_Escape);
        QVERIFY(!row<QPushButton>("pushButton_analogOutCancel", 2)->isEnabled());
    }

    void writeWithoutLinkWarns()
    {
        pretendLink(window, LinkKind::None);
        chooseModel(window, "Analog current  2-channel outputs");
        type("lineEdit_analogOutValue", 1, "12");
        QString warning;
        QTimer::singleShot(0, this, [&warning]() {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            warning = box ? box->text() : QString();
            if (box)
                box->done(QMessageBox::Ok);
        });
        QTest::mouseClick(row<QPushButton>("pushButton_analogOutWrite", 1), Qt::LeftButton);
        QCOMPARE(warning, QStringLiteral("Unable to write until open the serial port."));
        QVERIFY(requests.isEmpty());
    }

    void readBackShowsTheModulesValues()
    {
        chooseModel(window, "Analog voltage  8-channel outputs");
        type("lineEdit_analogOutValue", 1, "7.5");
        readBack(8, "2000", "4000", "0003");
        QCOMPARE(text("lineEdit_analogOutValue", 3), QStringLiteral("2.5"));
        QCOMPARE(text("lineEdit_analogOutPrecision", 3), QStringLiteral("0.000305176"));
        QCOMPARE(text("lineEdit_analogOutMaximum", 3), QStringLiteral("4000"));
        QCOMPARE(row<QComboBox>("comboBox_analogOutMode", 3)->currentText(), QStringLiteral("0~5V"));
        QCOMPARE(row<QLabel>("label_analogOutValueFrame", 3)->text(), QStringLiteral("0x2000"));
        QVERIFY(!row<QPushButton>("pushButton_analogOutWrite", 3)->isEnabled());
        // A row being edited keeps what the operator typed.
        QCOMPARE(text("lineEdit_analogOutValue", 1) + ' ' + text("lineEdit_analogOutMaximum", 1),
                 QStringLiteral("7.5 FFFF"));

        // A reply for twelve channels still on its way when two were chosen.
        chooseModel(window, "Analog current  2-channel outputs");
        readBack(12, "1f40", "3e80", "0000");
        QCOMPARE(text("lineEdit_analogOutValue", 1), QStringLiteral("12"));
    }

    void analogInputs()
    {
        chooseModel(window, "Analog current  4-channel inputs");
        // Never read is not 0.000 mA, which would read as a broken loop.
        for (const QLabel *label : qAsConst(window->analogInputs()->values())) {
            QCOMPARE(label->text(), SwitchStates::kUnknownValue);
            QCOMPARE(label->styleSheet(), SwitchStates::kUnknownTextStyle);
        }
        window->analogInputs()->showValues("4.000 5.000 20.000 0.000 9.000");
        // An empty piece leaves its channel alone.
        window->analogInputs()->showValues("0.000  19.999 0.001");
        QStringList shown;
        for (const QLabel *label : qAsConst(window->analogInputs()->values()))
            shown << label->text() + (label->styleSheet().isEmpty() ? "" : "*");
        QCOMPARE(shown, QStringList({ "0.000", "5.000*", "19.999*", "0.001*" }));

        // Detection polls the board's channels; stopped, it leaves no reading behind.
        auto *button = window->findChild<QPushButton *>("pushButton_check_analog_in");
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(requests, QStringList{ "Analog-Start-detecting|010300200004" });
        window->analogInputs()->showValues("4.000 5.000 6.000 7.000");
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clears, QStringList{ "Analog-Start-detecting" });
        QCOMPARE(window->analogInputs()->values().at(0)->text(), SwitchStates::kUnknownValue);

        // A new board stops a running poll, which reads the old channel count.
        QTest::mouseClick(button, Qt::LeftButton);
        clears.clear();
        chooseModel(window, "Analog current 32-channel inputs");
        QCOMPARE(clears, QStringList{ "Analog-Start-detecting" });
        requests.clear();
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(requests, QStringList{ "Analog-Start-detecting|010300200020" });
    }
};

QTEST_MAIN(TestPanels)
#include "tst_panels.moc"
