#include "tests/loopbackwindow.h"
#include "protocol/linkhealth.h"
#include "ui/language.h"
#include "ui/switchstates.h"

#include <QAbstractButton>
#include <QTextEdit>

// What the main window decides and shows: the links it opens, the states it trusts,
// the remote address it reaches and its language.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { module = new ModuleSimulator; }
    void cleanup();

    void panelsSayWhatTheModuleDoesNotConfirm();
    void wrongModelWarningFollowsTheModelsOwnReplies();
    void unchangedRunWritesNoSettings();
    void linkFieldsAsTyped();
    void linkEventsShownAndLogged();
    void languageCodes_data();
    void languageCodes();

private:
    QString logText() const
    {
        window->outputLog()->flush();
        return window->outputLog()->shownText();
    }

    ModuleSimulator *module = nullptr;
    MainWindow *window = nullptr;
};

void TestMainWindow::cleanup()
{
    delete window;
    window = nullptr;
    delete module;
    module = nullptr;
}

void TestMainWindow::panelsSayWhatTheModuleDoesNotConfirm()
{
    module->setModel("Switch 8-channel outputs");
    openWindowOnModule(window, *module, true);
    chooseModel(window, "Switch  8-channel outputs");
    QTRY_COMPARE_WITH_TIMEOUT(window->switchOutputs()->states().size(), 8, 10000);
    auto *state = window->findChild<QLabel *>("label_serialState");
    QAbstractButton *output = window->switchOutputs()->buttons().first();

    LinkHealth health;
    health.consecutiveTimeouts = 2;
    window->slotLinkHealthChanged(health);
    QCOMPARE(state->text(), QString("Connect"));
    health.consecutiveTimeouts = 3;
    window->slotLinkHealthChanged(health);
    QCOMPARE(state->text(), QString("No reply"));
    QCOMPARE(output->styleSheet(), SwitchStates::kNoLinkStyle);
    // The next polling reply confirms the states again.
    QTRY_COMPARE_WITH_TIMEOUT(state->text(), QString("Connect"), 10000);
    QVERIFY(output->styleSheet() != SwitchStates::kNoLinkStyle);
}

// The wrong-model warning speaks of the chosen model only: replies to the requests made for
// the model before neither show it nor take it away.
void TestMainWindow::wrongModelWarningFollowsTheModelsOwnReplies()
{
    module->setModel("Switch 8-channel outputs");
    openWindowOnModule(window, *module, false);
    if (QTest::currentTestFailed())
        return;
    auto *wrongModel = window->findChild<QLabel *>("label_wrongModel");
    chooseModel(window, "Switch  8-channel outputs");
    QTRY_COMPARE_WITH_TIMEOUT(window->session()->modelStatus(), Session::ModelStatus::Confirmed, 10000);

    // A read the operator types for a register the module lacks says nothing about the model.
    // Return sends it instead of breaking the line.
    auto *sendText = window->findChild<QTextEdit *>("sendText");
    sendText->setPlainText("0103 0100 0001");
    sendText->setFocus();
    QTest::keyClick(sendText, Qt::Key_Return);
    QCOMPARE(sendText->toPlainText(), QString("0103 0100 0001"));
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Illegal data address"), 10000);
    QVERIFY(wrongModel->isHidden());

    for (int attempt = 0; attempt < 3; ++attempt) {
        // Chosen while the switch polls are still answered: the analog model is refused all the same.
        chooseModel(window, "Analog voltage  8-channel outputs");
        QTRY_VERIFY_WITH_TIMEOUT(!wrongModel->isHidden(), 10000);
        QCOMPARE(window->session()->modelStatus(), Session::ModelStatus::Refuted);
        // Back to the module's model: the warning goes at its first good reply.
        chooseModel(window, "Switch  8-channel outputs");
        QTRY_VERIFY_WITH_TIMEOUT(wrongModel->isHidden(), 10000);
        QCOMPARE(window->session()->modelStatus(), Session::ModelStatus::Confirmed);
    }
}

// Closing a window that changed nothing leaves the settings file alone; a window the
// operator resized is stored.
void TestMainWindow::unchangedRunWritesNoSettings()
{
    QtTools *store = QtTools::instance();
    const auto forget = [store]() {
        store->configMap.remove(QStringLiteral("window/geometry"));
        store->configMap.remove(QStringLiteral("window/splitter"));
    };
    forget();
    // The other windows of this program open as if for the first time.
    const auto cleanup = qScopeGuard(forget);
    auto run = [&](bool resize) {
        store->modified = false;
        window = newLoopbackWindow();
        // (A maximised window keeps changing size on the offscreen platform, which has no
        // window manager; the first run leaves a window of its own size.)
        if (!store->configMap.contains(QStringLiteral("window/geometry"))) {
            window->resize(900, 640);
            window->show();
        } else {
            window->showAsLeft();
        }
        if (!QTest::qWaitForWindowExposed(window))
            return false;
        QTest::qWait(50);
        if (resize)
            window->resize(window->width() - 40, window->height() - 30);
        window->close();
        delete window;
        window = nullptr;
        return store->modified;
    };
    QVERIFY(run(false)); // the first run stores the layout
    QVERIFY(!run(false));
    QVERIFY(run(true));
}

// A keystroke that makes a valid prefix of the endpoint (port 3001 of 30015) would reach
// the other listener; the window connects once, when the typing settles. What cannot be
// used is refused with the reason in the log.
void TestMainWindow::linkFieldsAsTyped()
{
    QTcpServer full, prefix;
    quint16 port = 0;
    for (quint16 candidate = 30015; candidate < 65535 && !port; candidate += 10) {
        if (full.listen(QHostAddress::LocalHost, candidate)
            && prefix.listen(QHostAddress::LocalHost, candidate / 10))
            port = candidate;
        else
            full.close();
    }
    QVERIFY(port);
    QSignalSpy toFull(&full, &QTcpServer::newConnection);
    QSignalSpy toPrefix(&prefix, &QTcpServer::newConnection);
    window = newLoopbackWindow();
    auto *portField = window->findChild<QLineEdit *>("lineEdit_localfarPortNumber");
    portField->clear();
    QTest::keyClicks(portField, QString::number(port));
    QTRY_COMPARE_WITH_TIMEOUT(toFull.count(), 1, 10000);
    QCOMPARE(toPrefix.count(), 0);
    auto *ip = window->findChild<QLineEdit *>("lineEdit_localFarIP");

    // A refused address is one line, also when the edit settles again.
    ip->clear();
    QTest::keyClicks(ip, "127.0.0.256");
    QTest::keyClick(ip, Qt::Key_Return);
    QTest::keyClick(ip, Qt::Key_Return);
    QCOMPARE(logText().count("\"127.0.0.256\" has \"256\", not a number from 0 to 255"), 1);

    // Address 0 is the broadcast, which no module answers (addresses typed: tst_mainwindowterminal).
    auto *field = window->findChild<QLineEdit *>("lineEdit");
    field->selectAll();
    QTest::keyClicks(field, "0");
    QCOMPARE(window->session()->deviceAddress(), 1);
    QVERIFY2(logText().contains("Address 0 is not used"), qPrintable(logText()));
}

// One line says how the link stands; the log says when it came, went and came back.
void TestMainWindow::linkEventsShownAndLogged()
{
    module->setModel("Switch  8-channel outputs");
    openWindowOnModule(window, *module, false);
    if (QTest::currentTestFailed())
        return;
    const QString where = QStringLiteral("127.0.0.1:%1").arg(module->tcpPort());
    auto *status = window->findChild<QLabel *>("label_connectionStatus");
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), "TCP " + where + " — connected", 10000);
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Connected: TCP " + where), 10000);
    chooseModel(window, "Switch  8-channel outputs");
    QVERIFY(logText().contains("Model: Switch 8-channel outputs"));

    module->closeTcpClients();
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Connection lost: TCP " + where), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains("Reconnected: TCP " + where), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), "TCP " + where + " — connected", 10000);
}

void TestMainWindow::languageCodes_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("language");
    QTest::newRow("zh_CN") << "zh_CN" << "zh";
    QTest::newRow("EN") << " EN" << "en";
    QTest::newRow("unknown") << "de_DE" << "";
}

void TestMainWindow::languageCodes()
{
    QFETCH(QString, code);
    QFETCH(QString, language);
    QCOMPARE(Language::normalized(code), language);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
