#include "tests/loopbackwindow.h"

#include "check/modulefinder.h"
#include "ui/findmoduledialog.h"

#include <QProgressDialog>

// Finding a module: which answers count, the address sweep against the simulated module
// on a pseudo-terminal, and searches from the window, cancelled and used.
class TestModuleFinder : public QObject
{
    Q_OBJECT

private slots:
    void rtuAnswers_data();
    void rtuAnswers();
    void sweepFindsAddressAndRate();
    void cancelThenUse();
};

void TestModuleFinder::rtuAnswers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QVector<int>>("answers");
    QTest::newRow("read reply of 17") << QByteArray::fromHex("11030200007987") << QVector<int>{ 17 };
    QTest::newRow("exception of 17") << QByteArray::fromHex("118302c134") << QVector<int>{ 17 };
    QTest::newRow("noise, two replies") << QByteArray::fromHex("ff0103020000b84411030200007987")
                                        << QVector<int>{ 1, 17 };
    QTest::newRow("bad CRC") << QByteArray::fromHex("11030200007988") << QVector<int>{};
    QTest::newRow("address not asked") << QByteArray::fromHex("22030200007d83") << QVector<int>{};
}

void TestModuleFinder::rtuAnswers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QVector<int>, answers);
    QCOMPARE(ModuleFinder::rtuAnswers(bytes, 1, 17), answers);
}

// A module that does not identify itself is found by reading every address, at its own
// rate only; the sweep never reads the broadcast address.
void TestModuleFinder::sweepFindsAddressAndRate()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch 64-channel outputs")));
    module.setAddress(33);
    module.setBaudRate(57600);
    module.setBaudMustMatch(true);
    module.setIdentify(false);
    QStringList log;
    module.setLogging(true);
    module.setLogFunction([&log](const QString &line) { log << line; });
    ModuleFinder::SerialTarget target;
    target.portName = module.openPty();
    target.baudRates = { 57600, 115200 };

    ModuleFinder finder;
    QSignalSpy finished(&finder, &ModuleFinder::finished);
    finder.startSerial(target);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.first().first().value<ModuleFinder::Outcome>(), ModuleFinder::Completed);
    const QList<FoundModule> found = finder.results();
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.first().address, 33);
    QCOMPARE(found.first().baudRate, 57600);
    QCOMPARE(found.first().how, FoundModule::ByAddressSweep);
    QCOMPARE(log.filter(QStringLiteral("broadcast")), QStringList());
}

// The window gives the line to the search and takes it back, polling again, when the
// operator cancels; "Use" takes what a search found: rate, address and model.
void TestModuleFinder::cancelThenUse()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(QStringLiteral("Switch 64-channel outputs")));
    module.setIdentify(false);
    MainWindow *opened = nullptr;
    openWindowOnModule(opened, module, true);
    QScopedPointer<MainWindow> window(opened);
    if (QTest::currentTestFailed())
        return;
    chooseModel(window.data(), "Switch 64-channel outputs");
    window->findChild<QAction *>(QStringLiteral("action_findModule"))->trigger();
    QVERIFY(!window->outputPollTimer.isActive());
    auto *progress = window->findChild<QProgressDialog *>(QStringLiteral("findModuleProgress"));
    QTRY_VERIFY_WITH_TIMEOUT(progress->labelText().contains(QStringLiteral("115200")), 10000);
    QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_serialState"))->text(),
                              shown("Connect", " 连接 "), 10000);
    auto *rates = window->findChild<QComboBox *>(QStringLiteral("rateCbb"));
    QCOMPARE(rates->currentText(), QStringLiteral("115200"));
    QVERIFY(!window->findChild<FindModuleDialog *>());
    QVERIFY(window->outputPollTimer.isActive());
    int answered = module.requestCount();
    QTRY_VERIFY_WITH_TIMEOUT(module.requestCount() > answered, 10000);

    module.setAddress(17);
    module.setBaudRate(57600);
    module.setBaudMustMatch(true);
    module.setIdentify(true);
    chooseModel(window.data(), "Switch 16-channel inputs");
    // Two rates to try keep the search short.
    while (rates->count() > 2)
        rates->removeItem(2);
    window->findChild<QAction *>(QStringLiteral("action_findModule"))->trigger();
    QPushButton *use = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((use = window->findChild<QPushButton *>(QStringLiteral("pushButton_use")))
                                 && use->isVisible(), 30000);
    QTest::mouseClick(use, Qt::LeftButton);
    QCOMPARE(rates->currentText(), QStringLiteral("57600"));
    QCOMPARE(window->session()->deviceAddressHex(), QStringLiteral("11"));
    QCOMPARE(window->outputCount, 64);
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_serialState"))->text(),
                              shown("Connect", " 连接 "), 10000);
    answered = module.requestCount();
    QTRY_VERIFY_WITH_TIMEOUT(module.requestCount() > answered + 2, 10000);
}

QTEST_MAIN(TestModuleFinder)
#include "tst_modulefinder.moc"
