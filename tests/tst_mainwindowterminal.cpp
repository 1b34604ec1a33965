#include "tests/loopbackwindow.h"
#include "link/sender.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
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
    void logKeepsWholeLines();
    void hidingPollingKeepsTypedFramesAndErrors();
    void pauseKeepsCollecting();
    void savingWritesWhatIsKept();
    void burstBeyondTheBoundDropsWithOneLine();
    void separators();
    void colourOutOfRangeTakesViewColour();

private:
    QTextEdit *recvText() const { return window->findChild<QTextEdit *>("recvText"); }
    QString viewText() const
    {
        window->flushLog();
        return recvText()->toPlainText();
    }

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
    // The window's attempts to reach its closed port would log at any moment: the
    // link's lines are cut off and the log starts empty.
    disconnect(window->threadSerialport, nullptr, window, nullptr);
    settleLink(window);
    QCoreApplication::sendPostedEvents(window);
    window->on_recvTextClear_clicked();
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
    QTest::addColumn<QString>("refusal");
    QTest::newRow("blanks removed") << "01 03 00 00 00 01" << "010300000001" << "";
    QTest::newRow("tabs and line breaks removed") << "0103\t0000\n0001" << "010300000001" << "";
    QTest::newRow("function code 0F goes as 0f") << "01 0F 0000 0002 01 03" << "010f00000002 0103"
                                                   << "";
    QTest::newRow("empty is not sent") << "" << "" << "";
    QTest::newRow("only blanks is not sent") << "   " << "" << "";
    QTest::newRow("odd length") << "0103000" << "" << "Not sent: an odd number of hex digits (7)";
    QTest::newRow("not hex") << "01 03 0G 00" << "" << "Not sent: only hex digits";
    QTest::newRow("function code 04")
        << "0104 0000 0001" << ""
        << "Not sent: function code 04 is not supported (01 02 03 05 06 0f 10)";
    QTest::newRow("another address")
        << "0203 0000 0001" << "" << "Not sent: address 02 is not the device address 01";
    QTest::newRow("address alone") << "01" << "" << "Not sent: a frame starts with an address";
}

void TestMainWindowTerminal::sendQueuesTypedTextWithoutBlanks()
{
    QFETCH(QString, typed);
    QFETCH(QString, queued);
    QFETCH(QString, refusal);
    queued.remove(' ');
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
    // A refusal is one red line, at once.
    const QString log = recvText()->toPlainText();
    QCOMPARE(log.count("Not sent"), refusal.isEmpty() ? 0 : 1);
    if (!refusal.isEmpty()) {
        QVERIFY2(log.contains(refusal), qPrintable(log));
        QCOMPARE(recvText()->document()->lastBlock().begin().fragment().charFormat()
                         .foreground().color(), QColor(Qt::red));
    }
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
    QVERIFY(QRegularExpression("^\\[\\d\\d:\\d\\d:\\d\\d\\]    01 03 02 00 05 b8 45  $")
                .match(viewText()).hasMatch());
    QTest::mouseClick(window->findChild<QWidget *>("checkBox_out_2"), Qt::LeftButton);
    window->UIappendData("0103020005b845");
    QVERIFY(viewText().endsWith("]    01 03 02 00 05 B8 45  "));
}

void TestMainWindowTerminal::logKeepsWholeLines()
{
    const int total = MainWindow::kLogHistoryLines + 10;
    for (int i = 0; i < total; ++i) {
        window->writeOutputWidget(QStringLiteral("line %1").arg(i), QColor(Qt::blue));
        if (i % 1000 == 999)
            window->flushLog();
    }
    const QStringList lines = viewText().split('\n');
    QCOMPARE(lines.size(), MainWindow::kLogHistoryLines);
    QVERIFY(lines.first().startsWith('['));
    QVERIFY(lines.first().endsWith("]    line 10"));
    QVERIFY(lines.last().endsWith("]    line " + QString::number(total - 1)));
    QCOMPARE(window->logHistory.size(), MainWindow::kLogHistoryLines);
    QCOMPARE(window->logHistory.first().text, QString("line 10"));
}

void TestMainWindowTerminal::hidingPollingKeepsTypedFramesAndErrors()
{
    window->outputCount = 8; // polls 01 03 0000 0001
    window->inputCount = 8;  // polls 01 03 0004 0001
    window->linkReady = 1;
    window->findChild<QTextEdit *>("sendText")->setPlainText("0106 0005 0001");
    QTest::mouseClick(window->findChild<QWidget *>("sendBt"), Qt::LeftButton);
    QTest::mouseClick(window->findChild<QWidget *>("checkBox_showPolling"), Qt::LeftButton);

    window->writeOutputWidget(0);
    window->writeOutputWidget("Send: 01 03 00 00 00 01 84 0a", QColor(Qt::blue));
    window->UIappendData("010302000ab843");
    window->writeOutputWidget(0);
    window->writeOutputWidget("Send: 00 00 00 00 00 06 01 03 00 04 00 01", QColor(Qt::blue));
    window->writeOutputWidget("Exception reply: function 03", QColor(Qt::red));
    window->writeOutputWidget(0);
    window->writeOutputWidget("Send: 01 06 00 05 00 01 58 0b", QColor(Qt::blue));
    window->UIappendData("010600050001580b");
    window->writeOutputWidget(0);
    window->writeOutputWidget("Send: 01 03 00 04 00 01 c5 cb", QColor(Qt::blue));
    window->UIappendData("01030200017984");
    window->writeOutputWidget("No reply within 400 ms", QColor(Qt::red));

    QStringList shown = viewText().split('\n');
    for (QString &line : shown)
        line = line.mid(14);
    QCOMPARE(shown, QStringList({"Exception reply: function 03", "===================",
                                 "Send: 01 06 00 05 00 01 58 0b", "01 06 00 05 00 01 58 0b  ",
                                 "No reply within 400 ms"}));
    // Hidden, not lost: showing polling again brings every line back.
    QCOMPARE(window->logHistory.size(), 13);
    QTest::mouseClick(window->findChild<QWidget *>("checkBox_showPolling"), Qt::LeftButton);
    QCOMPARE(recvText()->document()->blockCount(), 13);
}

void TestMainWindowTerminal::pauseKeepsCollecting()
{
    window->writeOutputWidget("before");
    QCOMPARE(viewText().count('\n'), 0);
    auto *pause = window->findChild<QCheckBox *>("checkBox_pauseLog");
    QTest::mouseClick(pause, Qt::LeftButton);
    window->writeOutputWidget("while paused");
    window->UIappendData("0103");
    QVERIFY(!viewText().contains("while paused"));
    QCOMPARE(window->logHistory.size(), 3);
    QTest::mouseClick(pause, Qt::LeftButton);
    QVERIFY(recvText()->toPlainText().contains("]    while paused\n"));
    QVERIFY(recvText()->toPlainText().endsWith("]    01 03  "));
}

void TestMainWindowTerminal::savingWritesWhatIsKept()
{
    window->outputCount = 8;
    QTest::mouseClick(window->findChild<QWidget *>("checkBox_showPolling"), Qt::LeftButton);
    window->writeOutputWidget("Send: 01 03 00 00 00 01 84 0a", QColor(Qt::blue));
    window->writeOutputWidget(QString::fromUtf8("修改名称成功"));
    window->writeOutputWidget("red", QColor(Qt::red));

    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    QVERIFY(window->saveLog(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.last(), QString());
    const QRegularExpression stamp("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]    ");
    QStringList texts;
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(stamp.match(lines.at(i)).hasMatch(), qPrintable(lines.at(i)));
        texts << lines.at(i).mid(29);
    }
    QCOMPARE(texts, QStringList({"Send: 01 03 00 00 00 01 84 0a", QString::fromUtf8("修改名称成功"),
                                 "red"}));

    QString error;
    QVERIFY(!window->saveLog(dir.filePath("missing/log.txt"), &error));
    QVERIFY(!error.isEmpty());
}

void TestMainWindowTerminal::burstBeyondTheBoundDropsWithOneLine()
{
    // As a flood of frames from the link arrives: each one a queued call.
    window->writeOutputWidget("before");
    const int burst = 112000;
    for (int i = 0; i < burst; ++i)
        QMetaObject::invokeMethod(window, "UIappendData", Qt::QueuedConnection,
                                  Q_ARG(QString, QStringLiteral("0103020005b845")));
    QElapsedTimer clock;
    clock.start();
    QTRY_VERIFY_WITH_TIMEOUT(recvText()->toPlainText().contains("dropped"), 60000);
    qInfo("%d frames taken in %lld ms", burst, clock.elapsed());
    const QString log = viewText();
    QCOMPARE(log.count("log lines dropped"), 1);
    // What waits is bounded; the rest is counted in that line, which ends the burst.
    const QRegularExpressionMatch dropped =
        QRegularExpression("\\]    (\\d+) log lines dropped[^\\n]*$").match(log);
    QVERIFY(dropped.hasMatch());
    QCOMPARE(dropped.captured(1).toInt(), burst + 1 - MainWindow::kLogPendingLines);
    QCOMPARE(log.count("01 03 02 00 05 b8 45"), MainWindow::kLogPendingLines - 1);
}

void TestMainWindowTerminal::separators()
{
    window->writeOutputWidget(1);
    const QStringList lines = viewText().split('\n');
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
    window->flushLog();
    QTextBlock block = recvText()->document()->begin();
    QCOMPARE(block.begin().fragment().charFormat().foreground().color(),
             recvText()->palette().text().color());
    block = block.next();
    QCOMPARE(block.begin().fragment().charFormat().foreground().color(), QColor(0, 255, 0));
}

QTEST_MAIN(TestMainWindowTerminal)
#include "tst_mainwindowterminal.moc"
