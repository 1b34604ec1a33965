#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/analogoutputrow.h"
#include "ui/mainwindow.h"
#include "link/modelcatalogue.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include <functional>

// The analog panels of the main window without a module: built from the model
// menu, fed with replies through their slots, driven through their widgets.
class TestAnalogPanels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void outputPanelLayout_data();
    void outputPanelLayout();
    void readBackShowsPhysicalValues_data();
    void readBackShowsPhysicalValues();
    void readBackOfUnexpectedLengthOnlyAdvancesStage();
    void readBackForMoreChannelsThanRows();
    void readBackKeepsPendingEdits();
    void writeWithoutLinkWarns();
    void returnWritesAndEscapeCancels();
    void precisionAndMaximumFollowEachOther_data();
    void precisionAndMaximumFollowEachOther();
    void modeChangeKeepsMaximumAndUnitsInStep();

    void inputPanelLayout_data();
    void inputPanelLayout();
    void inputValuesHighlightNonZero();
    void inputValueCountMismatch();
    void detectionStartAndStop();
    void rebuildWhileDetectingStopsPolling();

private:
    void chooseModel(const char *english);
    template<typename T>
    T *rowWidget(const char *name, int channel) const;
    QLabel *inputValue(int channel) const;
    // Runs the action and closes the modal box it opens; returns the box's text.
    QString closeMessageBox(const std::function<void()> &action);

    MainWindow *window = nullptr;
    QStringList clears;
};

namespace {

// A read-back reply as the link hands it over: every register holds the word.
QString readBackReply(int registers, const QString &word)
{
    return QtTools::appendCrc16(QStringLiteral("0103") + QtTools::toHex(quint32(2 * registers)).right(2)
                                + word.repeated(registers)).toLower();
}

} // namespace

void TestAnalogPanels::init()
{
    window = newLoopbackWindow();
    settleLink(window);

    clears.clear();
    connect(window, &MainWindow::sendersClear, this, [this](const QString &key) { clears.append(key); },
            Qt::DirectConnection);
}

void TestAnalogPanels::cleanup()
{
    settleLink(window);
    delete window;
    window = nullptr;
}

void TestAnalogPanels::chooseModel(const char *english)
{
    const int index = ModelCatalogue::indexOf(QString::fromUtf8(english));
    QVERIFY(index >= 0);
    QCOMPARE(window->modelActions.size(), ModelCatalogue::models().size());
    window->modelActions.at(index)->trigger();
    // Rows of an earlier build go at the next turn of the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template<typename T>
T *TestAnalogPanels::rowWidget(const char *name, int channel) const
{
    return window->findChild<T *>(QLatin1String(name) + QLatin1Char('_') + QString::number(channel));
}

QLabel *TestAnalogPanels::inputValue(int channel) const
{
    return window->analogInputLabels.at(channel);
}

QString TestAnalogPanels::closeMessageBox(const std::function<void()> &action)
{
    QString text;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&text]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            text = box->text();
            box->done(QMessageBox::Ok);
        }
    });
    poll.start(10);
    action();
    return text;
}

void TestAnalogPanels::outputPanelLayout_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("gridRows");
    QTest::addColumn<QString>("unit");

    QTest::newRow("current 2 channels, one row") << "Analog current  2-channel outputs" << 2 << 1 << "mA";
    QTest::newRow("voltage 8 channels, two rows") << "Analog voltage  8-channel outputs" << 8 << 2 << "V";
    QTest::newRow("current 12 channels, three rows") << "Analog current 12-channel outputs" << 12 << 3 << "mA";
}

void TestAnalogPanels::outputPanelLayout()
{
    QFETCH(QString, model);
    QFETCH(int, channels);
    QFETCH(int, gridRows);
    QFETCH(QString, unit);

    chooseModel("Analog voltage 12-channel outputs");
    chooseModel(model.toUtf8().constData());

    QCOMPARE(window->analogOutRows.size(), channels);
    QCOMPARE(window->analogOutGrid->rowCount(), gridRows);
    QCOMPARE(window->analogOutGrid->count(), channels);
    const int last = channels - 1;
    QCOMPARE(rowWidget<QLabel>("label_analogOutChannel", last)->text(), QStringLiteral("AO%1:").arg(last));
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueUnit", last)->text(), unit);
    // Nothing of the earlier, larger panel is left.
    QVERIFY(!rowWidget<QLineEdit>("lineEdit_analogOutValue", channels));
    QVERIFY(!window->findChild<QWidget *>("widget_analog_out")->isHidden());
    QVERIFY(window->findChild<QWidget *>("widget_analog_in")->isHidden());
}

void TestAnalogPanels::readBackShowsPhysicalValues_data()
{
    QTest::addColumn<QString>("modeWord");
    QTest::addColumn<QString>("valueWord");
    QTest::addColumn<QString>("maximumWord");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("precision");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("unit");

    QTest::newRow("0~5V 2000 of 4000") << "0003" << "2000" << "4000" << "2.5" << "0.000305176" << "0~5V" << "V";
    QTest::newRow("fresh module reads FFFF everywhere") << "ffff" << "ffff" << "ffff" << "20" << "0.000244144"
                                                        << "4~20mA" << "mA";
    QTest::newRow("4~20mA half way") << "0000" << "1f40" << "3e80" << "12" << "0.001" << "4~20mA" << "mA";
    QTest::newRow("0~5V one count of FFFF keeps every digit") << "0003" << "0001" << "ffff" << "7.62951e-05"
                                                              << "7.62951e-05" << "0~5V" << "V";
    QTest::newRow("1~5V quarter") << "0002" << "03e8" << "0fa0" << "2" << "0.001" << "1~5V" << "V";
    QTest::newRow("maximum 0 shows 0.000 and keeps the precision") << "0004" << "0005" << "0000" << "0.000"
                                                                   << "0" << "0~10V" << "V";
    QTest::newRow("unknown mode word changes nothing") << "0007" << "0005" << "0014" << "0.000" << "0"
                                                       << "4~20mA" << "V";
}

void TestAnalogPanels::readBackShowsPhysicalValues()
{
    QFETCH(QString, modeWord);
    QFETCH(QString, valueWord);
    QFETCH(QString, maximumWord);
    QFETCH(QString, value);
    QFETCH(QString, precision);
    QFETCH(QString, mode);
    QFETCH(QString, unit);

    chooseModel("Analog voltage  8-channel outputs");
    window->showAnalogOutputReadBack("read-Analog-OutputValue", readBackReply(8, valueWord));
    window->showAnalogOutputReadBack("read-Analog-OutputMax", readBackReply(8, maximumWord));
    window->showAnalogOutputReadBack("read-Analog-OutputMode", readBackReply(8, modeWord));

    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutValue", 3)->text(), value);
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 3)->text(), precision);
    QCOMPARE(rowWidget<QComboBox>("comboBox_analogOutMode", 3)->currentText(), mode);
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueUnit", 3)->text(), unit);
    QCOMPARE(rowWidget<QLabel>("label_analogOutPrecisionUnit", 3)->text(), unit);
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 3)->text(), maximumWord.toUpper());
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueFrame", 3)->text(), "0x" + valueWord);
    QCOMPARE(rowWidget<QLabel>("label_analogOutMaximumFrame", 3)->text(), "0x" + maximumWord);
    // Showing what the module holds is no edit: nothing to write or cancel.
    QVERIFY(!rowWidget<QPushButton>("pushButton_analogOutWrite", 3)->isEnabled());
    QVERIFY(!rowWidget<QPushButton>("pushButton_analogOutCancel", 3)->isEnabled());
}

void TestAnalogPanels::readBackOfUnexpectedLengthOnlyAdvancesStage()
{
    chooseModel("Analog voltage  8-channel outputs");
    QCOMPARE(window->readBackStage, 0);
    const QString tooShort = readBackReply(8, "0005").mid(2);
    window->showAnalogOutputReadBack("read-Analog-OutputValue", tooShort);
    QCOMPARE(window->readBackStage, 1);
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueFrame", 0)->text(), QStringLiteral("0xFFFF"));
    window->showAnalogOutputReadBack("read-Analog-OutputMax", QString());
    QCOMPARE(window->readBackStage, 2);
    window->showAnalogOutputReadBack("read-Analog-OutputMode", readBackReply(3, "0004"));
    QCOMPARE(window->readBackStage, 0);
    QCOMPARE(rowWidget<QComboBox>("comboBox_analogOutMode", 0)->currentText(), QStringLiteral("4~20mA"));
}

void TestAnalogPanels::readBackForMoreChannelsThanRows()
{
    // A 12-register reply still on its way when the operator chose a 2-channel model.
    chooseModel("Analog current  2-channel outputs");
    window->showAnalogOutputReadBack("read-Analog-OutputValue", readBackReply(12, "0005"));
    window->showAnalogOutputReadBack("read-Analog-OutputMax", readBackReply(12, "0014"));
    window->showAnalogOutputReadBack("read-Analog-OutputMode", readBackReply(12, "0001"));
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutValue", 1)->text(), QStringLiteral("5"));
    QCOMPARE(window->analogOutRows.size(), 2);
}

void TestAnalogPanels::readBackKeepsPendingEdits()
{
    chooseModel("Analog voltage  8-channel outputs");
    QLineEdit *typed = rowWidget<QLineEdit>("lineEdit_analogOutValue", 1);
    typed->selectAll();
    QTest::keyClicks(typed, "7.5");
    QVERIFY(rowWidget<QPushButton>("pushButton_analogOutWrite", 1)->isEnabled());

    // The read-back after writing another channel.
    window->showAnalogOutputReadBack("read-Analog-OutputValue", readBackReply(8, "0005"));
    window->showAnalogOutputReadBack("read-Analog-OutputMax", readBackReply(8, "0014"));
    window->showAnalogOutputReadBack("read-Analog-OutputMode", readBackReply(8, "0004"));

    QCOMPARE(typed->text(), QStringLiteral("7.5"));
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 1)->text(), QStringLiteral("FFFF"));
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueFrame", 1)->text(), QStringLiteral("0x0005"));
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutValue", 0)->text(), QStringLiteral("2.5"));
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 0)->text(), QStringLiteral("0.5"));

    // Cancel gives the row back to the module's values at the next read-back.
    QTest::mouseClick(rowWidget<QPushButton>("pushButton_analogOutCancel", 1), Qt::LeftButton);
    QVERIFY(!rowWidget<QPushButton>("pushButton_analogOutWrite", 1)->isEnabled());
    window->showAnalogOutputReadBack("read-Analog-OutputValue", readBackReply(8, "0005"));
    window->showAnalogOutputReadBack("read-Analog-OutputMax", readBackReply(8, "0014"));
    window->showAnalogOutputReadBack("read-Analog-OutputMode", readBackReply(8, "0004"));
    QCOMPARE(typed->text(), QStringLiteral("2.5"));
}

void TestAnalogPanels::writeWithoutLinkWarns()
{
    chooseModel("Analog voltage  8-channel outputs");
    QCOMPARE(window->linkReady, 0);
    QLineEdit *value = rowWidget<QLineEdit>("lineEdit_analogOutValue", 2);
    value->selectAll();
    QTest::keyClicks(value, "2.5");
    QPushButton *write = rowWidget<QPushButton>("pushButton_analogOutWrite", 2);

    const QString text = closeMessageBox([write]() { QTest::mouseClick(write, Qt::LeftButton); });
    QCOMPARE(text, QStringLiteral("Unable to write until open the serial port."));
    // Nothing was queued: the register view still shows no frame.
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueFrame", 2)->text(), QStringLiteral("0xFFFF"));
    QCOMPARE(rowWidget<QLabel>("label_analogOutModeFrame", 2)->text(), QStringLiteral("0xFFFF"));
    QVERIFY(write->isEnabled());
}

void TestAnalogPanels::returnWritesAndEscapeCancels()
{
    chooseModel("Analog current  2-channel outputs");
    QLineEdit *value = rowWidget<QLineEdit>("lineEdit_analogOutValue", 1);
    QLineEdit *precision = rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 1);
    QLineEdit *maximum = rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 1);
    QPushButton *write = rowWidget<QPushButton>("pushButton_analogOutWrite", 1);
    QTest::keyClicks(value, "1");
    QVERIFY(write->isEnabled());

    // Without a link the write button answers with its warning: that is the click.
    QCOMPARE(closeMessageBox([value]() { QTest::keyClick(value, Qt::Key_Return); }),
             QStringLiteral("Unable to write until open the serial port."));
    QCOMPARE(closeMessageBox([precision]() { QTest::keyClick(precision, Qt::Key_Enter); }),
             QStringLiteral("Unable to write until open the serial port."));
    QCOMPARE(closeMessageBox([maximum]() { QTest::keyClick(maximum, Qt::Key_Return); }), QString());
    // The other row's fields belong to the other row.
    QCOMPARE(closeMessageBox([this]() {
                 QTest::keyClick(rowWidget<QLineEdit>("lineEdit_analogOutValue", 0), Qt::Key_Return);
             }),
             QString());

    QTest::keyClick(precision, Qt::Key_Escape);
    QVERIFY(!write->isEnabled());
    QVERIFY(!rowWidget<QPushButton>("pushButton_analogOutCancel", 1)->isEnabled());
}

void TestAnalogPanels::precisionAndMaximumFollowEachOther_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("otherField");
    QTest::addColumn<QString>("shown");

    QTest::newRow("0~10V precision 0.5") << "0~10V" << "lineEdit_analogOutPrecision" << "0.5"
                                         << "lineEdit_analogOutMaximum" << "0014";
    QTest::newRow("0~10V precision 30 above top") << "0~10V" << "lineEdit_analogOutPrecision" << "30"
                                                  << "lineEdit_analogOutMaximum" << "0000";
    QTest::newRow("4~20mA precision 0.001") << "4~20mA" << "lineEdit_analogOutPrecision" << "0.001"
                                            << "lineEdit_analogOutMaximum" << "3E80";
    QTest::newRow("0~10V maximum 0000 shows the top") << "0~10V" << "lineEdit_analogOutMaximum" << "0000"
                                                      << "lineEdit_analogOutPrecision" << "10";
    QTest::newRow("0~10V maximum 0006") << "0~10V" << "lineEdit_analogOutMaximum" << "0006"
                                        << "lineEdit_analogOutPrecision" << "1.66667";
    QTest::newRow("0~5V maximum 4000") << "0~5V" << "lineEdit_analogOutMaximum" << "4000"
                                       << "lineEdit_analogOutPrecision" << "0.000305176";
}

void TestAnalogPanels::precisionAndMaximumFollowEachOther()
{
    QFETCH(QString, mode);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, otherField);
    QFETCH(QString, shown);

    chooseModel("Analog voltage  8-channel outputs");
    rowWidget<QComboBox>("comboBox_analogOutMode", 5)->setCurrentText(mode);
    QLineEdit *edit = rowWidget<QLineEdit>(field.toLatin1().constData(), 5);
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QCOMPARE(rowWidget<QLineEdit>(otherField.toLatin1().constData(), 5)->text(), shown);
    QVERIFY(rowWidget<QPushButton>("pushButton_analogOutWrite", 5)->isEnabled());
    QVERIFY(rowWidget<QPushButton>("pushButton_analogOutCancel", 5)->isEnabled());
    QVERIFY(!rowWidget<QPushButton>("pushButton_analogOutWrite", 4)->isEnabled());
}

void TestAnalogPanels::modeChangeKeepsMaximumAndUnitsInStep()
{
    chooseModel("Analog voltage  8-channel outputs");
    QLineEdit *precision = rowWidget<QLineEdit>("lineEdit_analogOutPrecision", 0);
    precision->selectAll();
    QTest::keyClicks(precision, "0.5");
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 0)->text(), QStringLiteral("0020"));
    rowWidget<QComboBox>("comboBox_analogOutMode", 0)->setCurrentText("0~10V");
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 0)->text(), QStringLiteral("0014"));
    QCOMPARE(rowWidget<QLabel>("label_analogOutValueUnit", 0)->text(), QStringLiteral("V"));
    rowWidget<QComboBox>("comboBox_analogOutMode", 0)->setCurrentText("0~20mA");
    QCOMPARE(rowWidget<QLineEdit>("lineEdit_analogOutMaximum", 0)->text(), QStringLiteral("0028"));
    QCOMPARE(rowWidget<QLabel>("label_analogOutPrecisionUnit", 0)->text(), QStringLiteral("mA"));
}

void TestAnalogPanels::inputPanelLayout_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("unit");

    QTest::newRow("voltage 32 channels") << "Analog voltage 32-channel inputs" << 32 << "V";
    QTest::newRow("current 4 channels") << "Analog current  4-channel inputs" << 4 << "mA";
    QTest::newRow("current 12 channels") << "Analog current 12-channel inputs" << 12 << "mA";
}

void TestAnalogPanels::inputPanelLayout()
{
    QFETCH(QString, model);
    QFETCH(int, channels);
    QFETCH(QString, unit);

    chooseModel("Analog voltage 16-channel inputs");
    chooseModel(model.toUtf8().constData());
    QCOMPARE(window->analogInputLabels.size(), channels);
    QCOMPARE(window->analogInputCells.size(), channels);
    QCOMPARE(window->analogInputGrid->rowCount(), channels / 4);
    QCOMPARE(window->analogInputGrid->count(), channels);
    QWidget *last = window->analogInputCells.last();
    QStringList texts;
    const QList<QLabel *> labels = last->findChildren<QLabel *>();
    for (const QLabel *label : labels)
        texts << label->text();
    QCOMPARE(texts, QStringList({ QStringLiteral("AI%1:").arg(channels - 1), "0.000", unit }));
    QVERIFY(window->findChild<QWidget *>("widget_analog_out")->isHidden());
    QVERIFY(!window->findChild<QWidget *>("widget_analog_in")->isHidden());
}

void TestAnalogPanels::inputValuesHighlightNonZero()
{
    const QString highlight = QStringLiteral("background-color: rgb(170, 255, 255);");
    chooseModel("Analog current  4-channel inputs");
    window->analogInput("4.000 0.000 20.000 0.000");
    QCOMPARE(inputValue(0)->text(), QStringLiteral("4.000"));
    QCOMPARE(inputValue(0)->styleSheet(), highlight);
    QCOMPARE(inputValue(1)->styleSheet(), QString());
    QCOMPARE(inputValue(2)->text(), QStringLiteral("20.000"));
    QCOMPARE(inputValue(2)->styleSheet(), highlight);
    QCOMPARE(inputValue(3)->text(), QStringLiteral("0.000"));
    QCOMPARE(inputValue(3)->styleSheet(), QString());

    window->analogInput("0.000 0.000 19.999 0.001");
    QCOMPARE(inputValue(0)->text(), QStringLiteral("0.000"));
    QCOMPARE(inputValue(0)->styleSheet(), QString());
    QCOMPARE(inputValue(2)->text(), QStringLiteral("19.999"));
    QCOMPARE(inputValue(3)->styleSheet(), highlight);
}

void TestAnalogPanels::inputValueCountMismatch()
{
    chooseModel("Analog voltage  4-channel inputs");
    window->analogInput("1.000");
    QCOMPARE(inputValue(0)->text(), QStringLiteral("1.000"));
    QCOMPARE(inputValue(1)->text(), QStringLiteral("0.000"));
    window->analogInput("1.000 2.000 3.000 4.000 5.000 6.000");
    QCOMPARE(inputValue(3)->text(), QStringLiteral("4.000"));
    // A piece without a value (an empty reply, a double blank) leaves its cell alone.
    window->analogInput(QString());
    QCOMPARE(inputValue(0)->text(), QStringLiteral("1.000"));
    window->analogInput("0.000  3.500");
    QCOMPARE(inputValue(1)->text(), QStringLiteral("2.000"));
    QCOMPARE(inputValue(2)->text(), QStringLiteral("3.500"));
}

void TestAnalogPanels::detectionStartAndStop()
{
    chooseModel("Analog current  4-channel inputs");
    auto *button = window->findChild<QPushButton *>("pushButton_check_analog_in");
    auto *frame = window->findChild<QLabel *>("label_analogout_OperationCode_2");
    QCOMPARE(button->text(), QStringLiteral("Start detecting"));

    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Stop detecting"));
    QCOMPARE(frame->text(), QtTools::appendCrc16("010300200004"));
    QVERIFY(clears.isEmpty());

    window->analogInput("4.000 5.000 6.000 7.000");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Start detecting"));
    QCOMPARE(clears, QStringList({ "Analog-Start-detecting" }));
    for (int channel = 0; channel < 4; ++channel) {
        QCOMPARE(inputValue(channel)->text(), QStringLiteral("0.000"));
        QCOMPARE(inputValue(channel)->styleSheet(), QString());
    }
}

void TestAnalogPanels::rebuildWhileDetectingStopsPolling()
{
    chooseModel("Analog current  4-channel inputs");
    auto *button = window->findChild<QPushButton *>("pushButton_check_analog_in");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(button->text(), QStringLiteral("Stop detecting"));

    // The running poll reads 4 registers; the new module has 32.
    chooseModel("Analog current 32-channel inputs");
    QCOMPARE(clears, QStringList({ "Analog-Start-detecting" }));
    QCOMPARE(button->text(), QStringLiteral("Start detecting"));
    QCOMPARE(window->analogInputLabels.size(), 32);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(window->findChild<QLabel *>("label_analogout_OperationCode_2")->text(),
             QtTools::appendCrc16("010300200020"));
}


QTEST_MAIN(TestAnalogPanels)
#include "tst_analogpanels.moc"
