// The View menu's trend, the analog inputs through spoilt replies and the recording against
// the simulated module on 127.0.0.1 (the traffic table's rows are in tst_shownfigures).
#include "loopbackwindow.h"
#include "toolrun.h"

#include "ui/trafficviews.h"
#include "ui/trendview.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtCharts/QLineSeries>

#include <algorithm>
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
    QTest::mouseClick(window->findChild<QPushButton *>(QStringLiteral("pushButton_check_analog_in")), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(trend->series(QStringLiteral("AI1")) != nullptr, 15000);
    QtCharts::QLineSeries *series = trend->series(QStringLiteral("AI1"));
    QTRY_VERIFY_WITH_TIMEOUT(series->count() >= 3, 15000);
    // Paused, the chart holds still while values keep arriving; resumed, it shows them all,
    // in time order.
    trend->setPaused(true);
    const int held = series->count();
    QTRY_VERIFY_WITH_TIMEOUT(trend->pointCount(QStringLiteral("AI1")) > held + 2, 15000);
    QCOMPARE(series->count(), held);
    trend->setPaused(false);
    QCOMPARE(series->count(), trend->pointCount(QStringLiteral("AI1")));
    for (int i = 1; i < series->count(); ++i)
        QVERIFY(series->at(i).x() >= series->at(i - 1).x());

    // The export holds the values the chart shows.
    QTemporaryDir dir;
    QVERIFY(trend->exportCsv(dir.filePath(QStringLiteral("trend.csv"))));
    const QStringList lines = readLines(dir.filePath(QStringLiteral("trend.csv")));
    QVERIFY(lines.filter(QRegularExpression(QStringLiteral("^[-0-9T:.]+,AI1,12,mA$"))).size() >= 3);

    // Replies the window cannot take do not end detection: it shows the new value once
    // the module answers cleanly again.
    const QList<QLabel *> &labels = window->analogInputs()->values();
    module.setCorruptCrcPercent(100);
    module.setAnalogInputValue(1, 2500);
    QTRY_VERIFY_WITH_TIMEOUT(module.faultCounts().corrupted >= 2, 10000);
    QCOMPARE(labels.at(1)->text(), QStringLiteral("12.000"));
    module.setCorruptCrcPercent(0);
    QTRY_COMPARE_WITH_TIMEOUT(labels.at(1)->text(), QStringLiteral("2.500"), 10000);
}

// The tool itself (the merovitest program) records while it polls the module, and is
// killed without warning: the file holds nothing but complete lines of polled values, in
// time order, up to the last flush before the kill.
void TestTrafficWindow::recordingSurvivesSigkill()
{
    ModuleSimulator module;
    // The module makes itself known when the tool connects, and the tool polls the
    // outputs of the model it names.
    module.setModel(QStringLiteral("Switch 64-channel outputs"));
    connect(&module, &ModuleSimulator::clientConnected, &module, [&module]() { module.announce(); });
    QVERIFY(module.listenTcp());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("values.csv"));

    QProcess tool;
    startWindowTool(tool, {QStringLiteral("--remote"), QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()),
                           QStringLiteral("--record"), path}, dir.filePath(QStringLiteral("home")));
    QVERIFY(tool.waitForStarted(20000));

    // Polled values reach the disk while the tool runs.
    auto valueLines = [&path]() {
        return readLines(path).filter(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT[0-9:.]+(,[^,]*){3}$")));
    };
    QTRY_VERIFY_WITH_TIMEOUT(valueLines().size() >= 3, 30000);
    const QString lastBeforeKill = valueLines().last();
    QTest::qWait(700); // the kill comes between two flushes
    ::kill(pid_t(tool.processId()), SIGKILL);
    QVERIFY(tool.waitForFinished(20000));
    QCOMPARE(tool.exitStatus(), QProcess::CrashExit);

    // The header, whole lines of values and nothing else; the last line ends too.
    const QStringList values = valueLines();
    QCOMPARE(readLines(path), QStringList(QStringLiteral("time,channel,value,unit")) + values + QStringList(QString()));
    QVERIFY(values.contains(lastBeforeKill));
    QVERIFY(std::is_sorted(values.cbegin(), values.cend(), [](const QString &a, const QString &b) {
        return a.section(QLatin1Char(','), 0, 0) < b.section(QLatin1Char(','), 0, 0);
    }));
}

QTEST_MAIN(TestTrafficWindow)
#include "tst_trafficwindow.moc"
