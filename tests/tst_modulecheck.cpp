#include "check/checktexts.h"
#include "protocol/modbusrequest.h"
#include "tests/loopbackwindow.h"
#include "tests/toolrun.h"
#include "ui/modulecheckwindow.h"

#include <QProgressDialog>
#include <QRegularExpression>
#include <QTableWidget>

// `merovitest --check` against a faulty simulated module over TCP on 127.0.0.1: the
// steps each fault fails and the module left as it was found;
// the check run from the window, its results in the language of the run.
class TestModuleCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void shownInTheLanguage_data();
    void shownInTheLanguage();
    void faultFailsItsSteps_data();
    void faultFailsItsSteps();
    void fromWindow();
};

void TestModuleCheck::initTestCase()
{
    QVERIFY(installTestLanguage());
}

static bool chinese()
{
    return Language::current() == Language::kChinese;
}

// The check's English texts as the window shows them: phrases and model names
// translated as whole words, channels, numbers and frames kept.
void TestModuleCheck::shownInTheLanguage_data()
{
    QTest::addColumn<QString>("english");
    QTest::addColumn<QString>("zh");
    QTest::newRow("channel switched on") << "Y6 on" << "Y6 闭合";
    QTest::newRow("longest phrase first") << "identity not confirmed: no answer" << "身份未确认: 无应答";
    QTest::newRow("word inside a word kept") << "confirmed: type code 230 (Switch 64-channel inputs)"
                                            << "已确认: 类型码 230 (开关量64路输入)";
    // A reason the socket gives, in its own words.
    QTest::newRow("phrase inside a foreign word kept") << "lost: The remote host closed the connection"
                                                      << "断开: The remote host closed the connection";
    QTest::newRow("readings with numbers") << "timeout 0 ms (watchdog off); fallback Y1-Y4 unchanged"
                                          << "超时 0 ms (看门狗关闭); 超时输出 Y1-Y4 不变";
    QTest::newRow("analog name untouched") << "AO1 50 %" << "AO1 50 %";
    QTest::newRow("frame untouched") << "short reply 0103020001" << "应答过短 0103020001";
}

void TestModuleCheck::shownInTheLanguage()
{
    QFETCH(QString, english);
    QFETCH(QString, zh);
    QCOMPARE(CheckTexts::translated(english), chinese() ? zh : english);
}

void TestModuleCheck::faultFailsItsSteps_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("stuckOutput");
    QTest::addColumn<int>("analogOffset"); // of AO1's value register
    QTest::addColumn<QStringList>("failing");
    // Beyond the first output register: Y18 is bit 1 of the second.
    QTest::newRow("stuck relay Y18") << "Switch 20-channel outputs" << 17 << 0
                                     << QStringList{ "Outputs/Y18 on", "Outputs/all on" };
    // Reading back 7 less than it holds, the module cannot be given its value back.
    QTest::newRow("AO1 reads low") << "Analog voltage  2-channel outputs" << -1 << -7
                                   << QStringList{ "Analog outputs/AO1 50 %", "Analog outputs/AO1 100 %",
                                                   "Restore/AO1 registers" };
}

void TestModuleCheck::faultFailsItsSteps()
{
    QFETCH(QString, model);
    QFETCH(int, stuckOutput);
    QFETCH(int, analogOffset);
    QFETCH(QStringList, failing);
    if (chinese())
        QSKIP("the headless check is English unless asked; its Chinese is proven by tst_checkcommand");
    ModuleSimulator module;
    QVERIFY(module.setModel(model));
    if (stuckOutput >= 0) {
        module.core().setStuckOutput(stuckOutput);
        module.setCoil(0, true);
        module.setCoil(16, true);
    } else {
        module.core().setAnalogOffset(1, analogOffset);
        module.setHoldingRegister(0x0009 + 1, 0x0200);
    }
    QVERIFY(module.listenTcp());
    const quint64 outputs = module.outputBits();

    const ToolRun run = runTool(checkOverTcp(model, module));
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(module.outputBits(), outputs);

    // Every failing step printed, and only those (tst_checkreports reads the reports).
    const QString &out = run.out;
    QStringList printed;
    QRegularExpressionMatchIterator lines =
        QRegularExpression(QStringLiteral("^FAIL (.+) / (.+): expected "), QRegularExpression::MultilineOption)
            .globalMatch(out);
    while (lines.hasNext()) {
        const QRegularExpressionMatch line = lines.next();
        printed << line.captured(1) + QLatin1Char('/') + line.captured(2);
    }
    QCOMPARE(printed, failing);
    QVERIFY2(out.contains(QStringLiteral("\nFAIL: ")), qPrintable(out));
}

// The window's polling pauses while the check has the module and resumes after; the
// results list failures first; a cancelled check puts the outputs back as they were.
void TestModuleCheck::fromWindow()
{
    const char *model = "Switch  8-channel outputs  8-channel inputs";
    ModuleSimulator module;
    QVERIFY(module.setModel(QString::fromLatin1(model)));
    module.core().setStuckOutput(5);
    MainWindow *opened = nullptr;
    openWindowOnModule(opened, module, false);
    QScopedPointer<MainWindow> window(opened);
    if (QTest::currentTestFailed())
        return;
    chooseModel(window.data(), model);
    QTRY_COMPARE(window->findChild<QPushButton *>(QStringLiteral("pushButton_check"))->text(),
                 shown("Stop detecting", " 停止检测 "));
    QVERIFY(window->switchOutputs()->polling());
    module.setCoil(1, true);
    const quint64 outputs = module.outputBits();
    // While the check runs, the module hears only the check.
    QStringList during, after;
    connect(window.data(), &MainWindow::write, this, [&](Sender *sender) {
        (window->moduleCheck()->running() ? during : after) << sender->kind;
    });
    connect(window->moduleCheck(), &ModuleCheck::stepDone, this, [&]() { during << queuedKinds(window.data()); });
    // Asked first: every relay will move.
    window->action(QStringLiteral("moduleCheckAction"))->trigger();
    QVERIFY(window->switchOutputs()->polling());
    QVERIFY(answerConfirmation(window.data(), "moduleCheckConfirmBox", true)
                .contains(chinese() ? QStringLiteral("所接负载会动作") : QStringLiteral("connected loads will move")));
    QVERIFY(!window->switchOutputs()->polling());
    ModuleCheckWindow *results = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((results = window->findChild<ModuleCheckWindow *>()), 60000);
    QCOMPARE(during.filter(QRegularExpression(QStringLiteral("^(?!Module check )"))), QStringList());
    // Failures first, in the language of the window; the run keeps its English step ids.
    const QTableWidget *table = results->findChild<QTableWidget *>(QStringLiteral("stepTable"));
    const QStringList failed = {table->item(0, 0)->text(), table->item(0, 1)->text(), table->item(0, 2)->text()};
    const QStringList expected = chinese() ? QStringList{"失败", "输出", "Y6 闭合"} : QStringList{"fail", "Outputs", "Y6 on"};
    QCOMPARE(failed, expected);
    const QString verdict = results->findChild<QLabel *>(QStringLiteral("verdictLabel"))->text();
    QVERIFY2(verdict.startsWith(chinese() ? QStringLiteral("不合格 开关量8路输出8路输入 ") : QStringLiteral("FAIL Switch")),
             qPrintable(verdict));
    QVERIFY2(verdict.contains(chinese() ? QStringLiteral("项失败") : QStringLiteral(" failed, ")), qPrintable(verdict));
    QVERIFY(window->switchOutputs()->polling());
    QTRY_VERIFY(after.contains(ModbusRequest::kStartDetecting));
    QCOMPARE(module.outputBits(), outputs);

    // Cancelled with Y1 switched on: the run names its steps in English, whatever the window shows.
    delete results;
    connect(window->moduleCheck(), &ModuleCheck::stepDone, this, [&](const CheckStep &step) {
        if (step.name == QLatin1String("Y1 on"))
            QTest::mouseClick(window->findChild<QProgressDialog *>(QStringLiteral("moduleCheckProgress"))
                                  ->findChild<QPushButton *>(), Qt::LeftButton);
    });
    window->action(QStringLiteral("moduleCheckAction"))->trigger();
    answerConfirmation(window.data(), "moduleCheckConfirmBox", true);
    QTRY_VERIFY_WITH_TIMEOUT(window->findChild<ModuleCheckWindow *>(), 60000);
    QCOMPARE(window->moduleCheck()->result().verdict(), QStringLiteral("CANCELLED"));
    QCOMPARE(module.outputBits(), outputs);
}

QTEST_MAIN(TestModuleCheck)
#include "tst_modulecheck.moc"
