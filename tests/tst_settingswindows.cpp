#include "tests/loopbackwindow.h"
#include "protocol/sender.h"
#include "ui/communicationtimeout.h"
#include "ui/helpwidget.h"
#include "ui/lastfolder.h"
#include "ui/networkwindow.h"

#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolBar>

static const QString kRead =
        QStringLiteral("192.168.1.80 255.255.255.0 192.168.1.1 8080 192.168.1.100 4000 1 00-1a-2b-3c-4d-5e");
static const QString kTimeoutWrite = QStringLiteral("change CommunicationTimeout|");

// The time-out and network windows: the frames they build from what is typed and
// what they refuse, their requests caught at an unconnected main window; then once
// against the simulated module on 127.0.0.1.
class TestSettingsWindows : public QObject
{
    Q_OBJECT

    MainWindow *offline = nullptr;
    QStringList requests; // "kind|frame"

    // Clicks the button; returns the requests it handed over, or the text of the box it showed.
    QString click(QWidget *window, const char *button)
    {
        requests.clear();
        QTest::mouseClick(window->findChild<QPushButton *>(button), Qt::LeftButton);
        QScopedPointer<QMessageBox> box(window->findChild<QMessageBox *>());
        return box ? box->text() + (requests.isEmpty() ? "" : " and a request") : requests.join(' ');
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(QStringLiteral("merovitest-settingswindows-test"));
        QtTools::instance()->applicationName = QStringLiteral("MeroviTest");
        offline = newLoopbackWindow();
        disconnect(offline, &MainWindow::write, nullptr, nullptr);
        connect(offline, &MainWindow::write, this, [this](Sender *sender) {
            requests << sender->kind + '|' + QString(sender->data).remove(' ');
            delete sender;
        }, Qt::DirectConnection);
    }

    void cleanupTestCase()
    {
        delete offline;
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
    }

    // The time-out typed into the field, and channel 3's state clicked on so many times.
    void timeoutWindowWritesTheBlock_data()
    {
        QTest::addColumn<QString>("handOver");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("frame");
        const QString off15 = QStringLiteral(" 0").repeated(15);
        QTest::newRow("8 outputs: ON ON OFF unchanged") << "5000 1 1 0 2" + off15.mid(6) << "5000" << 0
                                                       << "01107530000408000013880003000B";
        QTest::newRow("64 outputs: four pairs in group order")
                << "4294967295 1" + off15 + " 0 2" + off15.mid(2) + " 0" + off15 + off15 + " 1" << "4294967295" << 0
                << "01107530000A14FFFFFFFF" "00010001" "00000002" "00000000" "80008000";
        QTest::newRow("state outside 0..2 is OFF") << "10 7 -1" + off15.mid(2) << "10" << 0
                                                  << "01107530000408" "0000000A" "00000000";
        QTest::newRow("no outputs: time-out only") << "1000" << "1000" << 0 << "0110753000020400" "0003E8";
        // ON, then left as it is, then OFF.
        const QString sixteen = "5000" + QStringLiteral(" 0").repeated(16);
        QTest::newRow("clicked once: ON") << sixteen << "5000" << 1 << "011075300004080000138800040004";
        QTest::newRow("twice: left as it is") << sixteen << "5000" << 2 << "011075300004080000138800000004";
        QTest::newRow("three times: OFF") << sixteen << "5000" << 3 << "011075300004080000138800000000";
        QTest::newRow("digits only") << "5000" << "-12a3" << 0 << "01107530000204" "0000007B";
        QTest::newRow("above the maximum") << "5000" << "9999999999" << 0 << "01107530000204FFFFFFFF";
        QTest::newRow("left empty: 0") << "5000" << "" << 0 << "0110753000020400000000";
    }

    void timeoutWindowWritesTheBlock()
    {
        QFETCH(QString, handOver);
        QFETCH(QString, typed);
        QFETCH(int, clicks);
        QFETCH(QString, frame);
        CommunicationTimeout window(offline, handOver);
        auto *field = window.findChild<QLineEdit *>("lineEdit");
        field->clear();
        QTest::keyClicks(field, typed);
        for (int n = 0; n < clicks; ++n)
            QTest::mouseClick(window.findChild<QRadioButton *>("radioButton_3"), Qt::LeftButton);
        QCOMPARE(click(&window, "pushButton_ok"), kTimeoutWrite + frame);
    }

    // The window says what became of its write, not only the log behind it.
    void timeoutWindowShowsTheAnswer_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("shown");
        const QString write = QStringLiteral("change CommunicationTimeout");
        QTest::newRow("taken") << write << true << "" << "Communication timeout set successfully";
        QTest::newRow("no reply") << write << false << "timeout" << "Not set: the module did not answer in time";
        QTest::newRow("refused") << write << false << "exception 02"
                                 << "Not set: the module refused it (exception 02)";
        QTest::newRow("no link") << write << false << "not sent"
                                 << "Not set: it was not sent: no link to the module";
        QTest::newRow("a poll's reply is not the answer") << "Check Status" << true << ""
                                                          << "Writing to the module…";
    }

    void timeoutWindowShowsTheAnswer()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        QFETCH(QString, reason);
        QFETCH(QString, shown);
        CommunicationTimeout window(offline, "5000");
        auto *answer = window.findChild<QLabel *>("label_answer");
        // Nothing asked, nothing to answer.
        emit offline->requestEnded(kind, accepted, reason);
        QVERIFY(answer->text().isEmpty());
        click(&window, "pushButton_ok");
        emit offline->requestEnded(kind, accepted, reason);
        QCOMPARE(answer->text(), shown);
    }

    // A save dialog opens in the folder last chosen while it is there, in Documents once it is gone.
    void saveDialogsStartInTheLastFolder_data()
    {
        QTest::addColumn<bool>("folderRemains");
        QTest::newRow("kept folder") << true;
        QTest::newRow("kept folder gone") << false;
    }

    void saveDialogsStartInTheLastFolder()
    {
        QFETCH(bool, folderRemains);
        QtTools::instance()->configMap.remove(LastFolder::kSettingsKey);
        QTemporaryDir work;
        QVERIFY(QDir(work.path()).mkpath("reports"));
        LastFolder::remember(work.filePath("reports/module-7.html"));
        if (!folderRemains)
            QVERIFY(QDir(work.filePath("reports")).removeRecursively());
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString suggested = LastFolder::suggest("log.txt");
        QCOMPARE(suggested, QDir(folderRemains ? work.filePath("reports") : documents).filePath("log.txt"));
    }

    void timeoutRefused_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("linkReady");
        QTest::addColumn<QString>("warning");
        QTest::newRow("no link") << "Switch  8-channel outputs" << 0
                                 << "The Timeout Setting cannot be switched on until open the serial port.";
        QTest::newRow("analog: 0x7530 holds the modes") << "Analog voltage  2-channel outputs" << 1
                << "Analog modules have no communication timeout: their registers from 0x7530 hold the channel modes.";
    }

    void timeoutRefused()
    {
        QFETCH(QString, model);
        QFETCH(int, linkReady);
        QFETCH(QString, warning);
        chooseModel(offline, qPrintable(model));
        pretendLink(offline, linkReady ? LinkKind::Serial : LinkKind::None);
        requests.clear();
        offline->action(QStringLiteral("action_timeout"))->trigger();
        QScopedPointer<QMessageBox> box(offline->findChild<QMessageBox *>());
        QCOMPARE(box ? box->text() : QString(), warning);
        QVERIFY(!requests.join(' ').contains("Communication TimeOut"));
    }

    // Restarting drops every relay: asked first, naming the module; "No" sends nothing,
    // and the setting turns the question off.
    void rebootAsksFirst_data()
    {
        QTest::addColumn<bool>("fromNetworkWindow");
        QTest::addColumn<bool>("questionsOn");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("sent");
        QTest::newRow("toolbar, no") << false << true << false << false;
        QTest::newRow("network window, yes") << true << true << true << true;
        QTest::newRow("questions off") << false << false << false << true;
    }

    void rebootAsksFirst()
    {
        QFETCH(bool, fromNetworkWindow);
        QFETCH(bool, questionsOn);
        QFETCH(bool, yes);
        QFETCH(bool, sent);
        chooseModel(offline, "Switch 16-channel outputs");
        auto *setting = offline->findChild<QAction *>("action_askBeforeSwitching");
        QVERIFY(setting && setting->isChecked());
        setting->setChecked(questionsOn);
        NetworkWindow window(offline);
        requests.clear();
        if (fromNetworkWindow)
            window.findChild<QToolBar *>("bigLittle")->actions().last()->trigger();
        else
            offline->action(QStringLiteral("action_reboot"))->trigger();
        const QString asked = answerConfirmation(offline, "rebootConfirmBox", yes);
        setting->setChecked(true);
        QCOMPARE(asked.isEmpty(), !questionsOn);
        if (questionsOn)
            QVERIFY2(asked.contains("Switch 16-channel outputs") && asked.contains("relays drop"), qPrintable(asked));
        QCOMPARE(requests, sent ? QStringList{ "Reboot|0110fde80001020001" } : QStringList());
    }

    // What was read, written back with one field changed; or refused, naming what is wrong.
    void networkWindowWrites_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("as read, server mode") << "radioButton_server" << ""
                << "Write NetWork|0110271000193200C000A80001005000FF00FF00FF000000C000A800010001"
                   "1F9000C000A800010064" "0FA0" "0000" "0000001A002B003C004D005E";
        QTest::newRow("module IP partly blank") << "lineEdit_IP" << "192.168..80" << "Module IP is incomplete";
        QTest::newRow("module port empty") << "lineEdit_portNumber" << "" << "Module port number is empty";
        QTest::newRow("MAC never read") << "lineEdit_MAC" << "" << "the MAC Hardware Address is missing";
        QTest::newRow("no working mode") << "" << "" << "no module working mode is checked";
        QTest::newRow("no link") << "" << "" << "UUnable to write module network parameters until open the serial port.";
    }

    void networkWindowWrites()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, result);
        NetworkWindow window(offline);
        // A mode the window does not know checks none.
        window.netWorkProcessing(QString(kRead).replace(" 1 00-", result.contains("mode") ? " 9 00-" : " 1 00-"));
        pretendLink(offline, result.contains("until open") ? LinkKind::None : LinkKind::Serial);
        if (field.startsWith("radioButton"))
            window.findChild<QRadioButton *>(field)->setChecked(true);
        else if (!field.isEmpty())
            window.findChild<QLineEdit *>(field)->setText(text);
        const QString clicked = click(&window, "switchBt_netWorkParameter_write");
        QVERIFY2(clicked.contains(result) && !clicked.endsWith("a request"), qPrintable(clicked));
    }

    void networkPortsAreClamped()
    {
        NetworkWindow window(offline);
        for (const char *name : { "lineEdit_portNumber", "lineEdit_farPortNumber" }) {
            auto *port = window.findChild<QLineEdit *>(name);
            port->clear();
            QTest::keyClicks(port, "5x0-2");
            QCOMPARE(port->text(), QStringLiteral("502"));
            port->clear();
            QTest::keyClicks(port, "70000");
            QCOMPARE(port->text(), QStringLiteral("65535"));
        }
    }

    // The time-out block read from the module, shown and written back. The network block goes
    // the same way: its reply is decoded in tst_dispatch, the frame written back is above.
    void settingsReachTheModule()
    {
        ModuleSimulator module;
        QVERIFY(module.setModel(QStringLiteral("Switch  8-channel outputs")));
        // 5000 ms; channels 1 and 2 fall back ON, 4 stays as it is, the others OFF.
        module.setHoldingRegister(0x7531, 0x1388);
        module.setHoldingRegister(0x7532, 0x0003);
        module.setHoldingRegister(0x7533, 0x000B);
        MainWindow *window = nullptr;
        openWindowOnModule(window, module, false);
        QScopedPointer<MainWindow> owner(window);
        if (QTest::currentTestFailed())
            return;
        chooseModel(window, "Switch  8-channel outputs");

        window->action(QStringLiteral("action_timeout"))->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(openWindows<CommunicationTimeout>().size(), 1, 10000);
        CommunicationTimeout *timeout = openWindows<CommunicationTimeout>().first();
        QCOMPARE(timeout->timeoutValue(), 5000u);
        QCOMPARE(timeout->channelStates().mid(0, 5), QVector<int>({ 1, 1, 0, 2, 0 }));
        QTest::mouseClick(timeout->findChild<QRadioButton *>("radioButton_1"), Qt::LeftButton);
        QTest::mouseClick(timeout->findChild<QPushButton *>("pushButton_ok"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(module.holdingRegister(0x7532), quint16(0x0002), 10000);
    }

    void helpWindowsCloseWithTheTool()
    {
        QScopedPointer<MainWindow> window(newLoopbackWindow());
        window->show();
        window->action(QStringLiteral("action_help"))->trigger();
        window->action(QStringLiteral("action_help"))->trigger();
        const QList<HelpWidget *> open = openWindows<HelpWidget>();
        QCOMPARE(open.size(), 2);
        window->close();
        QVERIFY(!open.at(0)->isVisible() && !open.at(1)->isVisible());
    }

    void languageChoiceIsKeptForTheNextStart()
    {
        const QMap<QString, QString> &stored = QtTools::instance()->configMap;
        offline->findChild<QAction *>("languageAction_zh")->trigger();
        QCOMPARE(stored.value(QStringLiteral("ui/language")), QStringLiteral("zh"));
        QScopedPointer<QMessageBox> notice(offline->findChild<QMessageBox *>("languageNotice"));
        QVERIFY(notice && notice->isVisible());
        // Said in the language chosen, which this run does not show yet, and in this one.
        QCOMPARE(notice->text(), QStringLiteral("语言将在程序下次启动时更改。\n"
                                                "The language changes at the next start of the program."));
        // This run keeps its language until the next start.
        QCOMPARE(offline->findChild<QPushButton *>("switchBt")->text(), QStringLiteral("Open"));
        offline->findChild<QAction *>("languageAction_en")->trigger();
        QCOMPARE(stored.value(QStringLiteral("ui/language")), QStringLiteral("en"));
    }
};

QTEST_MAIN(TestSettingsWindows)
#include "tst_settingswindows.moc"
