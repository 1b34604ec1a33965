#include "tests/loopbackwindow.h"
#include "link/sender.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/mainwindow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

// The window's own rules: device address, serial selector couplings, the terminal's
// sending and periodic sending, and the log.
class TestMainWindowTerminal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void deviceAddress_data();
    void deviceAddress();
    void dataBitsAndStopBitsGoTogether();
    void sendQueuesTypedTextWithoutBlanks_data();
    void sendQueuesTypedTextWithoutBlanks();
    void nothingIsSentWithoutLink();
    void periodicSendingMinimum_data();
    void periodicSendingMinimum();
    void receivedDataIsSpacedAndCased();
    void receiveViewIsTrimmed();
    void separators();
    void colourOutOfRangeTakesViewColour();

private:
    QTextEdit *recvText() const { return window->findChild<QTextEdit *>("recvText"); }

    MainWindow *window = nullptr;
    QList<QPair<QString, QString>> requests;
};

void TestMainWindowTerminal::init()
{
    window = newLoopbackWindow();
    // The requests come here instead of the queue: the test owns them, and no other
    // thread can delete one while it is being read.
    settleLink(window);
    disconnect(window, &MainWindow::write, nullptr, nullptr);
    requests.clear();
    connect(window, &MainWindow::write, this, [this](Sender *sender) {
        requests.append({sender->kind, sender->data});
        delete sender;
    });
}

void TestMainWindowTerminal::cleanup()
{
    delete window;
    window = nullptr;
}

void TestMainWindowTerminal::deviceAddress_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("value");
    QTest::newRow("10 is 0A") << "10" << "10" << "0A" << 10;
    QTest::newRow("a third digit cannot be typed") << "123" << "12" << "0C" << 12;
    QTest::newRow("letters are refused") << "x7" << "7" << "07" << 7;
}

void TestMainWindowTerminal::deviceAddress()
{
    QFETCH(QString, typed);
    QFETCH(QString, field);
    QFETCH(QString, address);
    QFETCH(int, value);
    auto *edit = window->findChild<QLineEdit *>("lineEdit");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QCOMPARE(window->deviceAddress, QString("00"));
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), field);
    QCOMPARE(window->deviceAddress, address);
    QCOMPARE(window->deviceAddressValue, value);
}

void TestMainWindowTerminal::dataBitsAndStopBitsGoTogether()
{
    auto *data = window->findChild<QComboBox *>("dataCbb");
    auto *stop = window->findChild<QComboBox *>("stopCbb");
    data->setCurrentIndex(1);
    emit data->textActivated(data->currentText());
    QCOMPARE(stop->currentText(), QString("2"));
    stop->setCurrentIndex(0);
    emit stop->textActivated(stop->currentText());
    QCOMPARE(data->currentText(), QString("8"));
}

void TestMainWindowTerminal::sendQueuesTypedTextWithoutBlanks_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("queued");
    QTest::newRow("blanks removed") << "01 03 00 00 00 01" << "010300000001";
    QTest::newRow("tabs and line breaks removed") << "0103\t0000\n0001" << "010300000001";
    QTest::newRow("odd length is not sent") << "0103000" << "";
    QTest::newRow("empty is not sent") << "" << "";
    QTest::newRow("only blanks is not sent") << "   " << "";
    QTest::newRow("not hex is refused") << "01 03 0G 00" << "";
}

void TestMainWindowTerminal::sendQueuesTypedTextWithoutBlanks()
{
    QFETCH(QString, typed);
    QFETCH(QString, queued);
    window->linkReady = 1;
    auto *sendText = window->findChild<QTextEdit *>("sendText");
    sendText->setPlainText(typed);
    QTest::mouseClick(window->findChild<QWidget *>("sendBt"), Qt::LeftButton);
    if (queued.isEmpty()) {
        QVERIFY(requests.isEmpty());
    } else {
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().first, QString("UI text"));
        QCOMPARE(requests.first().second, queued);
    }
    const bool refused = recvText()->toPlainText().contains("Not sent");
    QCOMPARE(refused, typed.contains('G'));
}

void TestMainWindowTerminal::nothingIsSentWithoutLink()
{
    window->linkReady = 0;
    window->findChild<QTextEdit *>("sendText")->setPlainText("010300000001");
    QTest::mouseClick(window->findChild<QWidget *>("sendBt"), Qt::LeftButton);
    QVERIFY(requests.isEmpty());
}

void TestMainWindowTerminal::periodicSendingMinimum_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("interval");
    QTest::newRow("9600, 10 ms") << "9600" << "10" << "20" << 70;
    QTest::newRow("9600, 70 ms as typed") << "9600" << "70" << "70" << 70;
    QTest::newRow("2400, 50 ms") << "2400" << "50" << "100" << 150;
    QTest::newRow("4800, 10 ms") << "4800" << "10" << "50" << 100;
    QTest::newRow("1200, 199 ms") << "1200" << "199" << "200" << 200;
    QTest::newRow("115200, 5 ms") << "115200" << "5" << "20" << 20;
    QTest::newRow("38400, 300 ms") << "38400" << "300" << "300" << 300;
}

void TestMainWindowTerminal::periodicSendingMinimum()
{
    QFETCH(QString, baud);
    QFETCH(QString, period);
    QFETCH(QString, field);
    QFETCH(int, interval);
    window->findChild<QComboBox *>("rateCbb")->setCurrentText(baud);
    auto *edit = window->findChild<QLineEdit *>("lineEdit_timeSend");
    edit->setText(period);
    QTest::mouseClick(window->findChild<QWidget *>("checkBox_timeSend"), Qt::LeftButton);
    QVERIFY(window->sendTimer.isActive());
    QCOMPARE(edit->text(), field);
    QCOMPARE(window->sendTimer.interval(), interval);
    QTest::mouseClick(window->findChild<QWidget *>("checkBox_timeSend"), Qt::LeftButton);
    QVERIFY(!window->sendTimer.isActive());
}

void TestMainWindowTerminal::receivedDataIsSpacedAndCased()
{
    window->UIappendData("0103020005B845");
    QCOMPARE(recvText()->toPlainText(), QString("01 03 02 00 05 b8 45  "));
    QTest::mouseClick(window->findChild<QWidget *>("checkBox_out_2"), Qt::LeftButton);
    window->UIappendData("0103020005b845");
    QVERIFY(recvText()->toPlainText().endsWith("\n01 03 02 00 05 B8 45  "));
}

void TestMainWindowTerminal::receiveViewIsTrimmed()
{
    const QString filler(15000, 'x');
    recvText()->setPlainText(filler + QString(1000, 'y'));
    window->UIappendData("0103");
    const QString text = recvText()->toPlainText();
    QCOMPARE(text, QString(1024 - 1000, 'x') + QString(1000, 'y') + "\n01 03  ");

    // Log lines keep the view bounded as well, when no data arrives.
    for (int i = 0; i < 1000; ++i)
        window->writeOutputWidget(QStringLiteral("no reply"), QColor(Qt::red));
    QVERIFY(recvText()->toPlainText().size() <= 15360 + 40);
}

void TestMainWindowTerminal::separators()
{
    window->writeOutputWidget(1);
    const QStringList lines = recvText()->toPlainText().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).endsWith("]    ==================="));
    QVERIFY(lines.at(1).endsWith("]    ========New========"));
    QVERIFY(lines.at(2).endsWith("]    ==================="));
    const QTextBlock first = recvText()->document()->begin();
    QCOMPARE(first.begin().fragment().charFormat().foreground().color(), QColor(43, 87, 154));
}

void TestMainWindowTerminal::colourOutOfRangeTakesViewColour()
{
    window->writeOutputWidget("plain", 256, 0, 0);
    window->writeOutputWidget("green", 0, 255, 0);
    QTextBlock block = recvText()->document()->begin();
    QCOMPARE(block.begin().fragment().charFormat().foreground().color(),
             recvText()->palette().text().color());
    block = block.next();
    QCOMPARE(block.begin().fragment().charFormat().foreground().color(), QColor(0, 255, 0));
}

QTEST_MAIN(TestMainWindowTerminal)
#include "tst_mainwindowterminal.moc"
