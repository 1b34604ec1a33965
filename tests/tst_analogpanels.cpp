#include "tests/loopbackwindow.h"
#include "protocol/sender.h"
#include "ui/switchstates.h"

#include <QApplication>
#include <QMessageBox>

// The analog panels of the main window without a module: fed with replies through
// their slots, driven through their widgets; the requests are caught where the
// window hands them to the queue.
class TestAnalogPanels : public QObject
{
    Q_OBJECT

    MainWindow *window = nullptr;
    QStringList requests; // "kind frame"
    QStringList clears;

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
        window = newLoopbackWindow();
        disconnect(window, &MainWindow::write, nullptr, nullptr);
        requests.clear();
        clears.clear();
        connect(window, &MainWindow::write, this, [this](Sender *sender) {
            requests << sender->kind + ' ' + sender->data;
            delete sender;
        }, Qt::DirectConnection);
        connect(window, &MainWindow::sendersClear, this, [this](const QString &key) { clears << key; },
                Qt::DirectConnection);
    }

    void cleanup() { delete window; }

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
        QCOMPARE(requests, QStringList({ "Analog-OutputMax_5 010675990028", "Analog-OutputMode_5 010675350004",
                                         "Analog-OutputValue_5 0106000e000a" }));
        QVERIFY(!row<QPushButton>("pushButton_analogOutWrite", 5)->isEnabled());

        // Escape gives up an edit.
        type("lineEdit_analogOutPrecision", 2, "1");
        QTest::keyClick(row<QLineEdit>("lineEdit_analogOutPrecision", 2), Qt::Key_Escape);
        QVERIFY(!row<QPushButton>("pushButton_analogOutCancel", 2)->isEnabled());
    }

    void writeWithoutLinkWarns()
    {
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

    void inputValuesShown()
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
    }

    void inputDetection()
    {
        chooseModel(window, "Analog current  4-channel inputs");
        auto *button = window->findChild<QPushButton *>("pushButton_check_analog_in");
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(requests, QStringList{ "Analog-Start-detecting 010300200004" });
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
        QCOMPARE(requests, QStringList{ "Analog-Start-detecting 010300200020" });
    }
};

QTEST_MAIN(TestAnalogPanels)
#include "tst_analogpanels.moc"
