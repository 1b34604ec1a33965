// The View menu's trend, the analog inputs through spoilt replies and the recording against
// the simulated module on 127.0.0.1 (the traffic table's rows are in tst_shownfigures).
#include "loopbackwindow.h"
#include "toolrun.h"

#include "ui/trafficviews.h"
#include "ui/trendview.h"
#include "ui/valuerecorder.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtCharts/QLineSeries>

#include <csignal>

namespace {

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
    void trendFollowsAnalogInputs();
    void recordingSurvivesSigkill();
};

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
    window->trafficViews()->trendAction()->trigger();
    TrendView *trend = window->trafficViews()->trendView();
    QVERIFY(trend->isVisible());
    auto *start = window->findChild<QPushButton *>(QStringLiteral("pushButton_check_analog_in"));
    if (start->text() != shown("Stop detecting", " 停止检测 "))
        QTest::mouseClick(start, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(trend->series(QStringLiteral("AI1")) != nullptr, 15000);
    QtCharts::QLineSeries *series = trend->series(QStringLiteral("AI1"));
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

    // Replies the window cannot take do not end detection: it shows the new value once
    // the module answers cleanly again.
    const QList<QLabel *> &labels = window->analogInputs()->values();
    QCOMPARE(labels.at(1)->text(), QStringLiteral("12.000"));
    module.setCorruptCrcPercent(100);
    module.setAnalogInputValue(1, 2500);
    QTRY_VERIFY_WITH_TIMEOUT(module.faultCounts().corrupted >= 2, 10000);
    QCOMPARE(labels.at(1)->text(), QStringLiteral("12.000"));
    module.setCorruptCrcPercent(0);
    QTRY_COMPARE_WITH_TIMEOUT(labels.at(1)->text(), QStringLiteral("2.500"), 10000);
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

    QProcess tool;
    startWindowTool(tool, {QStringLiteral("--remote"), QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()),
                           QStringLiteral("--record"), path}, dir.filePath(QStringLiteral("home")));
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
    QCOMPARE(lines.last(), QString()); // the file ends with a whole line
    const QStringList values = valueLines();
    QVERIFY(values.contains(lastBeforeKill));
    QString previous;
    for (int i = 0; i < values.size(); ++i) {
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
