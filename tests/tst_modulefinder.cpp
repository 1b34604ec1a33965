#include "loopbackwindow.h"

#include "link/modelcatalogue.h"
#include "link/modulefinder.h"
#include "ui/findmoduledialog.h"

#include <QAction>
#include <QProcess>
#include <QPointer>
#include <QProgressDialog>
#include <QTableWidget>
#include <QTemporaryDir>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

// Finding a module: which answers count, the search against the simulated module on
// a serial line and over TCP, what it leaves behind, and merovitest --find.
class TestModuleFinder : public QObject
{
    Q_OBJECT

private slots:
    void rtuAnswers_data();
    void rtuAnswers();
    void frames();
    void findsModuleOnSerialLineAndUsesIt_data();
    void findsModuleOnSerialLineAndUsesIt();
    void findsModuleOverTcp();
    void nothingConnectedLeavesToolAsItWas();
    void cancelLeavesPortAndControls();
    void findCommand_data();
    void findCommand();

private:
    void startSearch(MainWindow *window);
    QTableWidget *resultTable(MainWindow *window);
    QString cell(QTableWidget *table, int column) { return table->item(0, column)->text(); }
    QTemporaryDir home;
};

namespace {

const QString kModel = QStringLiteral("Switch 64-channel outputs");

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// A pseudo-terminal with nothing behind it: what the search sends goes nowhere.
struct SilentLine
{
    SilentLine()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            path = QString::fromLatin1(ptsname(master));
    }
    ~SilentLine()
    {
        if (master >= 0)
            ::close(master);
    }
    int master = -1;
    QString path;
};

} // namespace

void TestModuleFinder::rtuAnswers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QVector<int>>("answers");

    QTest::newRow("read reply of 17") << hex("11030200007987") << QVector<int>{ 17 };
    QTest::newRow("exception of 17") << hex("118302c134") << QVector<int>{ 17 };
    QTest::newRow("noise, then reply of 1") << hex("ff000103020000b844") << QVector<int>{ 1 };
    QTest::newRow("two replies") << hex("0103020000b84411030200007987") << QVector<int>{ 1, 17 };
    QTest::newRow("bad CRC") << hex("11030200007988") << QVector<int>{};
    QTest::newRow("address not asked") << hex("22030200007d83") << QVector<int>{};
    QTest::newRow("broadcast address 0") << hex("00030200008584") << QVector<int>{};
    QTest::newRow("cut short") << hex("110302000079") << QVector<int>{};
    QTest::newRow("write echo is no answer") << hex("110500000000cf5a") << QVector<int>{};
}

void TestModuleFinder::rtuAnswers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QVector<int>, answers);
    QCOMPARE(ModuleFinder::rtuAnswers(bytes, 1, 17), answers);
}

void TestModuleFinder::frames()
{
    QCOMPARE(ModuleFinder::identificationRequest(), hex("5363616e446576696365165a"));
    QCOMPARE(ModuleFinder::readRequest(1, false), hex("010300000001840a"));
    QCOMPARE(ModuleFinder::readRequest(17, true), hex("000000000006110300000001"));
    // The sweep's wait per address: a floor at fast rates, the wire time at slow ones.
    QCOMPARE(ModuleFinder::sweepWaitMs(115200), ModuleFinder::kSweepFloorMs);
    QCOMPARE(ModuleFinder::sweepWaitMs(1200), 170 + ModuleFinder::kSweepMarginMs);
}

void TestModuleFinder::startSearch(MainWindow *window)
{
    auto *action = window->findChild<QAction *>(QStringLiteral("action_findModule"));
    QVERIFY(action);
    action->trigger();
}

QTableWidget *TestModuleFinder::resultTable(MainWindow *window)
{
    FindModuleDialog *dialog = nullptr;
    [&]() {
        QTRY_VERIFY_WITH_TIMEOUT((dialog = window->findChild<FindModuleDialog *>()) && dialog->isVisible(),
                                 60000);
    }();
    return dialog ? dialog->findChild<QTableWidget *>(QStringLiteral("tableWidget_found")) : nullptr;
}

void TestModuleFinder::findsModuleOnSerialLineAndUsesIt_data()
{
    QTest::addColumn<bool>("identify");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("how");
    QTest::newRow("identification") << true << kModel << "identification";
    QTest::newRow("address sweep") << false << "-" << "address sweep";
}

void TestModuleFinder::findsModuleOnSerialLineAndUsesIt()
{
    QFETCH(bool, identify);
    QFETCH(QString, model);
    QFETCH(QString, how);
    ModuleSimulator module;
    QVERIFY(module.setModel(kModel));
    module.setAddress(17);
    module.setBaudRate(9600);
    module.setBaudMustMatch(true);
    module.setIdentify(identify);
    const QString path = module.openPty();
    QVERIFY(!path.isEmpty());

    QScopedPointer<MainWindow> window(newLoopbackWindow());
    window->addSerialPortPath(path);
    auto *ports = window->findChild<QComboBox *>(QStringLiteral("comCbb"));
    QTRY_VERIFY_WITH_TIMEOUT(ports->findText(path) >= 0, 10000);
    ports->setCurrentText(path);
    startSearch(window.data());

    QTableWidget *table = resultTable(window.data());
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(cell(table, 0), path);
    QCOMPARE(cell(table, 1), QStringLiteral("9600"));
    QCOMPARE(cell(table, 2), QStringLiteral("8N1"));
    QCOMPARE(cell(table, 3), QStringLiteral("17"));
    QCOMPARE(cell(table, 5), model);
    QCOMPARE(cell(table, 7), how);
    QVERIFY(window->findChild<QLabel *>(QStringLiteral("label_findSummary"))->text().startsWith(
        QStringLiteral("One module answered")));

    if (!identify)
        window->modelActions.at(ModelCatalogue::indexOf(kModel))->trigger();
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("pushButton_use")), Qt::LeftButton);
    QCOMPARE(window->findChild<QComboBox *>(QStringLiteral("rateCbb"))->currentText(), QStringLiteral("9600"));
    QCOMPARE(window->deviceAddress, QStringLiteral("11"));
    QCOMPARE(window->outputCount, 64);
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_serialState"))->text(),
                              QStringLiteral("Connect"), 10000);
    // Polled at its address and rate: the module answers again and again.
    const int answered = module.requestCount();
    QTRY_VERIFY_WITH_TIMEOUT(module.requestCount() >= answered + 3, 10000);
}

void TestModuleFinder::findsModuleOverTcp()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(kModel));
    module.setAddress(17);
    MainWindow *opened = nullptr;
    openWindowOnModule(opened, module, false);
    QScopedPointer<MainWindow> window(opened);
    startSearch(window.data());

    QTableWidget *table = resultTable(window.data());
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 1);
    QCOMPARE(cell(table, 0), QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()));
    QCOMPARE(cell(table, 3), QStringLiteral("17"));
    QCOMPARE(cell(table, 5), kModel);
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("pushButton_use")), Qt::LeftButton);
    QCOMPARE(window->deviceAddress, QStringLiteral("11"));
    const int answered = module.requestCount();
    QTRY_VERIFY_WITH_TIMEOUT(module.requestCount() >= answered + 3, 10000);
}

void TestModuleFinder::nothingConnectedLeavesToolAsItWas()
{
    SilentLine line;
    QVERIFY(!line.path.isEmpty());
    QScopedPointer<MainWindow> window(newLoopbackWindow());
    openSerialInWindow(window.data(), line.path);
    auto *address = window->findChild<QLineEdit *>(QStringLiteral("lineEdit"));
    auto *rate = window->findChild<QComboBox *>(QStringLiteral("rateCbb"));
    const QString rateBefore = rate->currentText();
    startSearch(window.data());
    // The window gives the line up to the search.
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QPushButton *>(QStringLiteral("switchBt"))->text(),
                              QStringLiteral("Open"), 5000);

    // Within the worst case of a minute.
    QTableWidget *table = resultTable(window.data());
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("label_findSummary"))->text(),
             QStringLiteral("Nothing found"));
    QVERIFY(!window->findChild<QPushButton *>(QStringLiteral("pushButton_use"))->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_serialState"))->text(),
                              QStringLiteral("Connect"), 10000);
    QCOMPARE(window->findChild<QPushButton *>(QStringLiteral("switchBt"))->text(), QStringLiteral("Close"));
    QCOMPARE(rate->currentText(), rateBefore);
    QCOMPARE(address->text(), QStringLiteral("1"));
}

void TestModuleFinder::cancelLeavesPortAndControls()
{
    ModuleSimulator module;
    QVERIFY(module.setModel(kModel));
    MainWindow *opened = nullptr;
    openWindowOnModule(opened, module, true);
    QScopedPointer<MainWindow> window(opened);
    window->modelActions.at(ModelCatalogue::indexOf(kModel))->trigger();
    QVERIFY(window->outputPollTimer.isActive());
    // A module that does not identify itself keeps the search at each rate for a reply
    // time-out, so there is a middle to cancel in.
    module.setIdentify(false);
    startSearch(window.data());

    QPointer<QProgressDialog> progress =
        window->findChild<QProgressDialog *>(QStringLiteral("findModuleProgress"));
    QVERIFY(progress);
    QVERIFY(!window->outputPollTimer.isActive());
    QTRY_VERIFY_WITH_TIMEOUT(progress && progress->labelText().contains(QStringLiteral("57600")), 10000);
    QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);

    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_serialState"))->text(),
                              QStringLiteral("Connect"), 10000);
    QCOMPARE(window->findChild<QPushButton *>(QStringLiteral("switchBt"))->text(), QStringLiteral("Close"));
    QCOMPARE(window->findChild<QComboBox *>(QStringLiteral("rateCbb"))->currentText(), QStringLiteral("115200"));
    QCOMPARE(window->deviceAddress, QStringLiteral("01"));
    QVERIFY(!window->findChild<FindModuleDialog *>());
    // Polling resumes on the line as it was.
    QVERIFY(window->outputPollTimer.isActive());
    const int answered = module.requestCount();
    QTRY_VERIFY_WITH_TIMEOUT(module.requestCount() >= answered + 3, 10000);
}

void TestModuleFinder::findCommand_data()
{
    QTest::addColumn<QStringList>("arguments"); // "PORT" stands for the module's TCP port
    QTest::addColumn<int>("address");           // of the module; 0: none at 127.0.0.1
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    QTest::newRow("module over TCP")
        << QStringList{ "--find", "--remote", "127.0.0.1:PORT" } << 17 << 0
        << "port=127.0.0.1:PORT baud=- framing=TCP address=17 type=220 "
           "model=\"Switch 64-channel outputs\" mac=00-1a-2b-3c-4d-5e found=identification\n";
    QTest::newRow("nothing answers") << QStringList{ "--find", "--remote", "127.0.0.1:PORT" } << 40
                                     << 1 << "";
    QTest::newRow("bad remote") << QStringList{ "--find", "--remote", "127.0.0.256" } << 0 << 2 << "";
    QTest::newRow("bad port number") << QStringList{ "--find", "--remote", "127.0.0.1:0" } << 0 << 2 << "";
    QTest::newRow("neither port nor remote") << QStringList{ "--find" } << 0 << 2 << "";
    QTest::newRow("both") << QStringList{ "--find", "--remote", "127.0.0.1", "--serial-port", "/dev/null" }
                          << 0 << 2 << "";
    QTest::newRow("serial port missing")
        << QStringList{ "--find", "--serial-port", "/nonexistent/tty" } << 0 << 2 << "";
}

void TestModuleFinder::findCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, address);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    ModuleSimulator module;
    QVERIFY(module.setModel(kModel));
    if (address) {
        module.setAddress(address);
        // Outside the sweep's 1 to 33 and silent to the identification request.
        module.setIdentify(address <= ModuleFinder::kLastAddress);
        QVERIFY(module.listenTcp());
        const QString port = QString::number(module.tcpPort());
        arguments.replaceInStrings(QStringLiteral("PORT"), port);
        output.replace(QStringLiteral("PORT"), port);
    }
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(MEROVITEST_PATH), arguments);
    // The simulated module runs in this event loop.
    QTRY_COMPARE_WITH_TIMEOUT(tool.state(), QProcess::NotRunning, 60000);
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);
    QCOMPARE(QString::fromUtf8(tool.readAllStandardOutput()), output);
    if (exitCode == 2)
        QVERIFY(!tool.readAllStandardError().isEmpty());
}

QTEST_MAIN(TestModuleFinder)
#include "tst_modulefinder.moc"
