#include "tests/loopbackwindow.h"
#include "protocol/sender.h"
#include "ui/outputlog.h"

#include <QTextEdit>

// The terminal: what a typed frame becomes or why it is not sent, and the log the
// operator reads, hides and pauses (its view and its file are tst_outputlog's).
class TestMainWindowTerminal : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typedFrames_data();
    void typedFrames();
    void hidingPollingKeepsTypedFramesAndErrors();
    void pauseKeepsCollecting();
    void burstBeyondTheBoundDropsWithOneLine();

private:
    QString shownText() const { return window->outputLog()->shownText(); }
    // The colour of a line's first row (a line may wrap onto several).
    QColor shownColor(int line) const
    {
        const OutputLogModel *model = window->outputLog()->model();
        if (line < 0)
            line += model->lineCount();
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->lineOf(row) == line)
                return model->index(row).data(Qt::ForegroundRole).value<QBrush>().color();
        }
        return QColor();
    }
    QString viewText() const
    {
        window->outputLog()->flush();
        return shownText();
    }
    void click(const char *name) { QTest::mouseClick(window->findChild<QWidget *>(name), Qt::LeftButton); }

    MainWindow *window = nullptr;
    QList<QPair<QString, QString>> requests;
};

void TestMainWindowTerminal::init()
{
    window = newLoopbackWindow();
    // The requests come here instead of the queue, and the link's own lines (its
    // attempts on a closed port) are cut off, so the log starts empty.
    disconnect(window, &MainWindow::write, nullptr, nullptr);
    requests.clear();
    connect(window, &MainWindow::write, this, [this](Sender *sender) {
        requests.append({sender->kind, sender->data});
        delete sender;
    });
    disconnect(window->session(), &Session::notice, window->outputLog(), nullptr);
    settleLink(window);
    QCoreApplication::sendPostedEvents(window);
    window->on_recvTextClear_clicked();
}

void TestMainWindowTerminal::cleanup()
{
    delete window;
    window = nullptr;
}

void TestMainWindowTerminal::typedFrames_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("queued");
    QTest::addColumn<QString>("refusal");
    const QString longest = "0110" + QString("00").repeated(252);
    QTest::newRow("blanks removed, 0F as 0f") << "1" << "01 0F\t0000\n0002 01 03" << "010f000000020103" << "";
    QTest::newRow("device address 10 is 0a") << "10" << "0a03 0000 0001" << "0a0300000001" << "";
    QTest::newRow("254 bytes") << "1" << longest << longest << "";
    QTest::newRow("only blanks") << "1" << "   " << "" << "";
    QTest::newRow("255 bytes") << "1" << longest + "00" << ""
                               << "Not sent: a frame holds at most 254 bytes before its CRC";
    QTest::newRow("odd length") << "1" << "0103000" << "" << "Not sent: an odd number of hex digits (7)";
    QTest::newRow("not hex") << "1" << "01 03 0G 00" << ""
                             << "Not sent: only hex digits and blanks can be sent";
    QTest::newRow("function 04") << "1" << "0104 0000 0001" << ""
                                 << "Not sent: function code 04 is not supported (01 02 03 05 06 0f 10)";
    QTest::newRow("another address") << "1" << "0203 0000 0001" << ""
                                     << "Not sent: address 02 is not the device address 01";
    QTest::newRow("address alone") << "1" << "01" << ""
                                   << "Not sent: a frame starts with an address and a function code";
}

void TestMainWindowTerminal::typedFrames()
{
    QFETCH(QString, address);
    QFETCH(QString, typed);
    QFETCH(QString, queued);
    QFETCH(QString, refusal);
    auto *field = window->findChild<QLineEdit *>("lineEdit");
    field->selectAll();
    QTest::keyClicks(field, address);
    pretendLink(window, LinkKind::Serial);
    window->findChild<QTextEdit *>("sendText")->setPlainText(typed);
    click("sendBt");
    if (queued.isEmpty())
        QVERIFY(requests.isEmpty());
    else
        QCOMPARE(requests, (QList<QPair<QString, QString>>{{"UI text", queued}}));
    // A refusal is one red line, at once.
    const QString log = shownText();
    QCOMPARE(log.count("Not sent"), refusal.isEmpty() ? 0 : 1);
    if (!refusal.isEmpty()) {
        QVERIFY2(log.endsWith(refusal), qPrintable(log));
        QCOMPARE(shownColor(-1), QColor(Qt::red));
    }
}

void TestMainWindowTerminal::hidingPollingKeepsTypedFramesAndErrors()
{
    click("checkBox_showPolling");
    const auto frame = [this](bool sent, bool polling, const char *hex) {
        ExchangeRecord record;
        record.direction = sent ? ExchangeRecord::Direction::Sent : ExchangeRecord::Direction::Received;
        record.result = sent ? ExchangeRecord::Result::Pending : ExchangeRecord::Result::Ok;
        record.polling = polling;
        record.bytes = QByteArray::fromHex(hex);
        window->outputLog()->showExchange(record);
    };
    frame(true, true, "01030000000184 0a");
    frame(false, true, "010302000ab843");
    frame(true, false, "010600050001580b");
    frame(false, false, "010600050001580b");
    frame(true, true, "010300040001c5cb");
    LinkNotice error;
    error.severity = LinkNotice::Severity::Error;
    error.text = QStringLiteral("No reply within 400 ms");
    window->outputLog()->showNotice(error);

    QStringList shown = viewText().split('\n');
    for (QString &line : shown)
        line = line.mid(14);
    QCOMPARE(shown, QStringList({"===================", "Send: 01 06 00 05 00 01 58 0b",
                                 "01 06 00 05 00 01 58 0b  ", "No reply within 400 ms"}));
    // Hidden, not lost: showing polling again brings every line back.
    click("checkBox_showPolling");
    QCOMPARE(window->outputLog()->model()->lineCount(), 9);
    // Sent frames in blue, errors in red.
    QCOMPARE(shownColor(1), QColor(Qt::blue));
    QCOMPARE(shownColor(-1), QColor(Qt::red));
}

void TestMainWindowTerminal::pauseKeepsCollecting()
{
    click("checkBox_pauseLog");
    window->outputLog()->append("while paused", QColor(Qt::black));
    QVERIFY(!viewText().contains("while paused"));
    click("checkBox_pauseLog");
    QVERIFY(shownText().endsWith("]    while paused"));
}

void TestMainWindowTerminal::burstBeyondTheBoundDropsWithOneLine()
{
    // A flood of frames from the link: each one a queued call.
    window->outputLog()->append("before", QColor(Qt::black));
    const int burst = 3 * OutputLog::kPendingLines;
    OutputLog *outputLog = window->outputLog();
    for (int i = 0; i < burst; ++i)
        QMetaObject::invokeMethod(
                outputLog, [outputLog]() { outputLog->appendReceived(QStringLiteral("0103020005b845"), false); },
                Qt::QueuedConnection);
    QTRY_VERIFY_WITH_TIMEOUT(shownText().contains("dropped"), 60000);
    // What waits is bounded; the rest is counted in one line, which ends the burst.
    const QString log = viewText();
    const QRegularExpressionMatch dropped =
        QRegularExpression("\\]    (\\d+) log lines dropped[^\\n]*$").match(log);
    QVERIFY2(dropped.hasMatch(), qPrintable(log.right(200)));
    QCOMPARE(dropped.captured(1).toInt(), burst + 1 - OutputLog::kPendingLines);
    QCOMPARE(log.count("01 03 02 00 05 b8 45"), OutputLog::kPendingLines - 1);
}

QTEST_MAIN(TestMainWindowTerminal)
#include "tst_mainwindowterminal.moc"
