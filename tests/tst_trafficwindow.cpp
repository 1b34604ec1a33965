// The View menu's traffic table, trend and recording in the window, against the
// simulated module on 127.0.0.1 (TCP) and on a pseudo-terminal.
#include "loopbackwindow.h"

#include "ui/inputhistory.h"
#include "ui/trafficmodel.h"
#include "ui/trafficview.h"
#include "ui/trafficviews.h"
#include "ui/trendview.h"
#include "ui/valuerecorder.h"

#include <QMenuBar>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QtCharts/QLineSeries>

#include <csignal>

namespace {

// A row of the traffic table with the function and the result (English text).
bool hasRow(const TrafficModel *model, int function, const QString &result)
{
    for (int r = 0; r < model->rowCount(); ++r) {
        const TrafficRow &row = model->row(r);
        if (row.function == function && TrafficModel::resultText(row).startsWith(result))
            return true;
    }
    return false;
}

bool hasEvent(const TrafficModel *model, const QString &text)
{
    for (int r = 0; r < model->rowCount(); ++r) {
        if (model->row(r).result == TrafficRow::Result::Event && model->row(r).data == text)
            return true;
    }
    return false;
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

} // namespace

class TestTrafficWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(installTestLanguage()); }
    void rows_data();
    void rows();
    void trendFollowsAnalogInputs();
    void recordingSurvivesSigkill();
};

void TestTrafficWindow::rows_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("function");
    QTest::addColumn<QString>("result");
    QTest::newRow("read, TCP") << false << QString() << 0x03 << shown("OK", " 成功 ", "TrafficModel");
    QTest::newRow("read, serial") << true << QString() << 0x03 << shown("OK", " 成功 ", "TrafficModel");
    QTest::newRow("write, TCP") << false << QStringLiteral("write") << 0x05
                                << shown("OK", " 成功 ", "TrafficModel");
    QTest::newRow("write, serial") << true << QStringLiteral("write") << 0x05
                                   << shown("OK", " 成功 ", "TrafficModel");
    QTest::newRow("exception, TCP") << false << QStringLiteral("exception") << 0x03
                                    << shown("Exception %1: %2", " 异常 %1：%2 ", "TrafficModel")
                                           .arg(QStringLiteral("04"), QStringLiteral("Slave device failure"));
    QTest::newRow("time-out, TCP") << false << QStringLiteral("drop") << 0x03
                                   << shown("Time-out", " 超时 ", "TrafficModel");
    QTest::newRow("bad CRC, serial") << true << QStringLiteral("crc") << 0x03
                                     << shown("Bad CRC", " CRC 错误 ", "TrafficModel");
}

void TestTrafficWindow::rows()
{
    QFETCH(bool, serial);
    QFETCH(QString, fault);
    QFETCH(int, function);
    QFETCH(QString, result);
    ModuleSimulator module;
    module.setModel(QStringLiteral("Switch  8-channel outputs"));
    if (fault == QLatin1String("exception"))
        module.setExceptionPercent(100);
    else if (fault == QLatin1String("drop"))
        module.setDropPercent(100);
    else if (fault == QLatin1String("crc"))
        module.setCorruptCrcPercent(100);
    MainWindow *window = nullptr;
    openWindowOnModule(window, module, serial);
    QScopedPointer<MainWindow> owner(window);
    if (QTest::currentTestFailed())
        return;
    chooseModel(window, "Switch  8-channel outputs");
    window->trafficViews->trafficAction()->trigger();
    TrafficView *view = window->trafficViews->trafficView();
    QVERIFY(view->isVisible());
    if (fault == QLatin1String("write")) {
        QTRY_VERIFY_WITH_TIMEOUT(!window->switchOutputs()->buttons().isEmpty(), 10000);
        QTest::mouseClick(window->switchOutputs()->buttons().at(2), Qt::LeftButton);
    }
    const TrafficModel *model = window->trafficViews->trafficModel();
    QTRY_VERIFY_WITH_TIMEOUT(hasRow(model, function, result), 20000);
    // The link's events and the model chosen are rows of their own.
    if (!serial)
        QVERIFY(hasEvent(model, shown("Connected (TCP)", " 已连接（TCP） ", "TrafficViews")));
    QVERIFY(hasEvent(model, shown("Model: %1", " 型号：%1 ", "TrafficViews")
                                .arg(QStringLiteral("Switch 8-channel outputs"))));
    // The table shows it too, through the filter.
    QVERIFY(view->table()->model()->rowCount() > 0);
}

void TestTrafficWindow::trendFollowsAnalogInputs()
{
    ModuleSimulator module;
    module.setModel(QStringLiteral("Analog current  4-channel inputs"));
    module.setAnalogInputValue(1, 12000);
    MainWindow *window = nullptr;
    openWindowOnModule(window, module, false);
    QScopedPointer<MainWindow> owner(window);
    if (QTest::currentTestFailed())
        return;
    chooseModel(window, "Analog current  4-channel inputs");
    // No chart until the operator opens the trend.
    QVERIFY(!window->trafficViews->trendView()->isBuilt());
    window->trafficViews->trendAction()->trigger();
    TrendView *trend = window->trafficViews->trendView();
    QVERIFY(trend->isVisible());
    auto *start = window->findChild<QPushButton *>(QStringLiteral("pushButton_check_analog_in"));
    if (start->text() != shown("Stop detecting", " 停止检测 "))
        QTest::mouseClick(start, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(trend->series(QStringLiteral("AI1")) != nullptr, 15000);
    QtCharts::QLineSeries *series = trend->series(QStringLiteral("AI1"));
    QCOMPARE(series->name(), QStringLiteral("AI1 (mA)"));
    QTRY_VERIFY_WITH_TIMEOUT(series->count() >= 3, 15000);
    QCOMPARE(series->at(series->count() - 1).y(), 12.0);
    // Points keep coming while detection runs, in time order.
    const int count = series->count();
    QTRY_VERIFY_WITH_TIMEOUT(series->count() > count, 15000);
    for (int i = 1; i < series->count(); ++i)
        QVERIFY(series->at(i).x() >= series->at(i - 1).x());
    // Paused, the chart holds still while values keep arriving.
    trend->setPaused(true);
    const int held = series->count();
    const int points = trend->pointCount(QStringLiteral("AI1"));
    QTRY_VERIFY_WITH_TIMEOUT(trend->pointCount(QStringLiteral("AI1")) > points + 2, 15000);
    QCOMPARE(series->count(), held);
    trend->setPaused(false);
    QCOMPARE(series->count(), trend->pointCount(QStringLiteral("AI1")));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(trend->exportPng(dir.filePath(QStringLiteral("trend.png"))));
    QVERIFY(QImage(dir.filePath(QStringLiteral("trend.png"))).width() > 100);
    QVERIFY(trend->exportCsv(dir.filePath(QStringLiteral("trend.csv"))));
    const QStringList lines = readLines(dir.filePath(QStringLiteral("trend.csv")));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^[-0-9T:.]+,AI1,12,mA$"))).size() >= 3);
}

// The tool itself (the merovitest program) records while it polls the module, and is
// killed without warning: the file holds complete lines of polled values, in time order,
// up to the last flush before the kill.
void TestTrafficWindow::recordingSurvivesSigkill()
{
    ModuleSimulator module;
    // The module makes itself known when the tool connects, and the tool polls the
    // outputs of the model it names.
    module.setModel(QStringLiteral("Switch 64-channel outputs"));
    connect(&module, &ModuleSimulator::clientConnected, &module, [&module]() { module.announce(); });
    QVERIFY(module.listenTcp());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("values.csv"));
    // An earlier recording: the new one appends to it.
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("time,channel,value,unit\n2026-12-07T14:02:03.412,IN1,0,\n");
    }

    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("home")));
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(MEROVITEST_PATH),
               {QStringLiteral("--remote"), QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()),
                QStringLiteral("--record"), path});
    QVERIFY(tool.waitForStarted(20000));

    // Polled values reach the disk while the tool runs.
    auto valueLines = [&path]() {
        return readLines(path).filter(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT[0-9:.]+,")));
    };
    QTRY_VERIFY_WITH_TIMEOUT(valueLines().size() >= 3, 30000);
    const QString seen = valueLines().last();
    QTRY_VERIFY_WITH_TIMEOUT(valueLines().last() > seen, 30000);
    const QString lastBeforeKill = valueLines().last();
    QTest::qWait(700); // the kill comes between two flushes
    const QDateTime killedAt = QDateTime::currentDateTime();
    ::kill(pid_t(tool.processId()), SIGKILL);
    QVERIFY(tool.waitForFinished(20000));
    QCOMPARE(tool.exitStatus(), QProcess::CrashExit);

    const QStringList lines = readLines(path);
    QCOMPARE(lines.first(), QStringLiteral("time,channel,value,unit"));
    QCOMPARE(lines.count(QStringLiteral("time,channel,value,unit")), 1);
    QCOMPARE(lines.at(1), QStringLiteral("2026-12-07T14:02:03.412,IN1,0,"));
    QCOMPARE(lines.last(), QString()); // the file ends with a whole line
    const QStringList values = valueLines();
    QVERIFY(values.contains(lastBeforeKill));
    QString previous;
    for (int i = 1; i < values.size(); ++i) {
        const QStringList fields = values.at(i).split(QLatin1Char(','));
        QCOMPARE(fields.size(), 4);
        QVERIFY2(fields.at(0) >= previous, qPrintable(values.at(i)));
        previous = fields.at(0);
    }
    QVERIFY(values.size() > 3);
    const QDateTime lastTime = QDateTime::fromString(previous, QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
    QVERIFY(lastTime.isValid());
    qInfo("%d values recorded; the last one %lld ms before the kill", int(values.size()),
          lastTime.msecsTo(killedAt));
}

QTEST_MAIN(TestTrafficWindow)
#include "tst_trafficwindow.moc"
