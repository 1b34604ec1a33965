// What is shown is what was counted: a stretch of polling with faults on the way, and the
// status bar's figures and the traffic table's rows against the simulated module's own
// counts for the same run; a station's shift against the runs its results store recorded.
#include "tests/loopbackwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "check/resultsstore.h"
#include "ui/linkhealthview.h"
#include "ui/stationwindow.h"
#include "ui/trafficmodel.h"
#include "ui/trafficview.h"

#include <QApplication>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>

namespace {

// A stretch of polling in seconds; faster than a reply time-out, as the window's 500 ms
// poll is on a slow line, so polls also come while their request is on the wire.
constexpr int kPollMs = 30;
constexpr int kRequests = 40;
constexpr int kWaitMs = 60000;
constexpr const char *kModel = "Switch  8-channel outputs";
// Four relays: a station's check is short.
constexpr const char *kStationModel = "Switch  4-channel outputs";

QString linkText(const char *source, const char *comment)
{
    return shown(source, comment, "LinkHealthView");
}

// The rows the traffic table shows with the result filter at `result`.
int rowsShown(TrafficView *view, TrafficFilter::ResultFilter result)
{
    auto *box = view->findChild<QComboBox *>(QStringLiteral("trafficResult"));
    box->setCurrentIndex(box->findData(int(result)));
    return view->table()->model()->rowCount();
}

} // namespace

class TestShownFigures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void linkFigures_data();
    void linkFigures();
    void stationFigures();

private:
    QTemporaryDir m_dir;
};

void TestShownFigures::initTestCase()
{
    QVERIFY(installTestLanguage());
    QVERIFY(m_dir.isValid());
    QtTools::instance()->applicationName = QStringLiteral("MeroviTest-tst_shownfigures");
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
}

void TestShownFigures::linkFigures_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<int>("drop");
    QTest::addColumn<int>("exception");
    QTest::addColumn<int>("corrupt");
    QTest::newRow("silences and exceptions, TCP") << false << 25 << 25 << 0;
    QTest::newRow("bad CRC and silences, serial") << true << 20 << 0 << 30;
    QTest::newRow("spoilt headers, TCP") << false << 0 << 0 << 30;
}

void TestShownFigures::linkFigures()
{
    QFETCH(bool, serial);
    QFETCH(int, drop);
    QFETCH(int, exception);
    QFETCH(int, corrupt);
    ModuleSimulator module;
    QVERIFY(module.setModel(QLatin1String(kModel)));
    module.setSeed(20261207);
    module.setDropPercent(drop);
    module.setExceptionPercent(exception);
    module.setCorruptCrcPercent(corrupt);
    MainWindow *window = nullptr;
    openWindowOnModule(window, module, serial);
    QScopedPointer<MainWindow> owner(window);
    if (QTest::currentTestFailed())
        return;
    window->findChild<QAction *>(QStringLiteral("trafficAction"))->trigger();
    auto *view = window->findChild<TrafficView *>(QStringLiteral("trafficView"));
    QVERIFY(view && view->isVisible());
    chooseModel(window, kModel);
    window->switchOutputs()->startPolling(kPollMs);
    QTRY_VERIFY_WITH_TIMEOUT(module.faultCounts().requests >= kRequests, kWaitMs);

    // Frozen: no more polls, and every request sent has come to its end on both sides.
    window->switchOutputs()->stopPolling();
    auto *bar = window->findChild<LinkHealthView *>(QStringLiteral("linkHealthView"));
    auto *traffic = qobject_cast<TrafficModel *>(view->filter()->sourceModel());
    const QString waiting = TrafficModel::resultText(TrafficRow());
    const auto waitingRows = [&]() {
        // The figures reach the bar after the records they count reach the table.
        traffic->flush();
        return traffic->match(traffic->index(0, TrafficModel::Result), Qt::DisplayRole, waiting, -1,
                              Qt::MatchExactly).size();
    };
    const auto settled = [&]() {
        const LinkHealth &h = bar->health();
        return h.sent == quint64(module.faultCounts().requests)
            && h.sent == h.accepted + h.timeouts + h.exceptions && waitingRows() == 0;
    };
    QTRY_VERIFY2_WITH_TIMEOUT(settled(), qPrintable(QStringLiteral("%1 / %2 waiting rows")
                                                        .arg(module.faultCounts().line())
                                                        .arg(waitingRows())), kWaitMs);
    const MeroviSim::FaultCounts counted = module.faultCounts();
    QCOMPARE(counted.requests, counted.clean + counted.exceptions + counted.dropped + counted.corrupted);
    if (drop)
        QVERIFY(counted.dropped > 0);
    if (exception)
        QVERIFY(counted.exceptions > 0);
    if (corrupt)
        QVERIFY(counted.corrupted > 0);

    // The status bar: a spoilt reply is a bad frame, and its request then times out. On the
    // serial line it is a frame with a bad CRC; on TCP a header no reply of ours can have,
    // dropped with its frame as garbage.
    const int timeouts = counted.dropped + counted.corrupted;
    const int badCrc = serial ? counted.corrupted : 0;
    // The bar redraws at most four times a second, and always ends on the newest figures.
    auto *counters = window->findChild<QLabel *>(QStringLiteral("label_linkCounters"));
    QTRY_COMPARE_WITH_TIMEOUT(counters->text(),
             linkText("Sent %1  Replies %2  Time-outs %3  Bad frames %4  Exceptions %5",
                      " 发送 %1  回复 %2  超时 %3  错误帧 %4  异常 %5 ")
                 .arg(counted.requests)
                 .arg(counted.clean)
                 .arg(timeouts)
                 .arg(counted.corrupted)
                 .arg(counted.exceptions), 5000);
    QCOMPARE(counters->toolTip(), linkText("Bad frames: CRC %1, unmatched %2, garbage %3",
                                           " 错误帧：校验 %1，不匹配 %2，乱码 %3 ")
                                      .arg(badCrc)
                                      .arg(0)
                                      .arg(counted.corrupted - badCrc));

    // The traffic table: one row per request with what became of it, one per reply with a bad CRC.
    using R = TrafficFilter::ResultFilter;
    QCOMPARE(rowsShown(view, R::Ok), counted.clean);
    QCOMPARE(rowsShown(view, R::Exception), counted.exceptions);
    QCOMPARE(rowsShown(view, R::TimedOut), timeouts);
    QCOMPARE(rowsShown(view, R::BadCrc), badCrc);
    QCOMPARE(rowsShown(view, R::Unmatched), 0);

    // The response times in the bar are those of the good replies in the table.
    rowsShown(view, R::Ok);
    QAbstractItemModel *table = view->table()->model();
    qint64 last = -1, max = 0, total = 0;
    for (int r = 0; r < table->rowCount(); ++r) {
        const qint64 ms = table->index(r, TrafficModel::Response).data().toLongLong();
        last = ms;
        max = qMax(max, ms);
        total += ms;
    }
    QTRY_COMPARE_WITH_TIMEOUT(window->findChild<QLabel *>(QStringLiteral("label_linkTimes"))->text(),
             linkText("%1 / %2 / %3 ms", " %1 / %2 / %3 毫秒 ")
                 .arg(last)
                 .arg(QString::number(double(total) / double(table->rowCount()), 'f', 1))
                 .arg(max), 5000);
}

// A shift: a board that passes, one that fails, the failed one again after repair, one never
// checked, and one that fails; the station's figures against the store's for the same runs.
void TestShownFigures::stationFigures()
{
    ModuleSimulator good, bad;
    for (ModuleSimulator *module : { &good, &bad }) {
        QVERIFY(module->setModel(QLatin1String(kStationModel)));
        QVERIFY(module->listenTcp());
    }
    bad.core().setStuckOutput(1);
    const QString stationName = QStringLiteral("line 2 station 1");
    const QString results = QStringLiteral("sqlite:") + m_dir.filePath(QStringLiteral("shift.sqlite"));
    const QString reports = m_dir.filePath(QStringLiteral("reports"));
    QtTools *tools = QtTools::instance();
    tools->setValue(QLatin1String(StationWindow::kLinkKey), QStringLiteral("tcp"));
    tools->setValue(QLatin1String(StationWindow::kHostKey), QStringLiteral("127.0.0.1"));
    tools->setValue(QLatin1String(StationWindow::kModelKey), QLatin1String(kStationModel));
    tools->setValue(QLatin1String(StationWindow::kReportFolderKey), reports);
    tools->setValue(QLatin1String(StationWindow::kResultsKey), results);
    tools->setValue(QLatin1String(StationWindow::kNameKey), stationName);
    tools->setValue(QLatin1String(StationWindow::kOperatorKey), QStringLiteral("Wang Fang"));
    StationWindow station;
    station.show();
    QVERIFY(QTest::qWaitForWindowActive(&station));
    QSignalSpy finished(&station, &StationWindow::scanFinished);
    // The station is armed once: only the first scan asks.
    int asked = 0;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&asked]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            ++asked;
            box->button(QMessageBox::Yes)->click();
        }
    });
    answer.start(20);

    struct Scan { QString serial; quint16 port; const char *verdict; };
    const QList<Scan> scans = {
        { QStringLiteral("MV 0001/A"), good.tcpPort(), "pass" }, { QStringLiteral("SN-2"), bad.tcpPort(), "fail" },
        { QStringLiteral("SN-2"), good.tcpPort(), "pass" }, { QStringLiteral("SN-3"), closedLocalPort(), "error" },
        { QStringLiteral("SN-4"), bad.tcpPort(), "fail" },
    };
    auto *field = station.findChild<QLineEdit *>(QStringLiteral("lineEdit_serialNumber"));
    auto *verdict = station.findChild<QLabel *>(QStringLiteral("label_verdict"));
    for (int i = 0; i < scans.size(); ++i) {
        station.findChild<QSpinBox *>(QStringLiteral("spinBox_port"))->setValue(scans.at(i).port);
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClicks(field, scans.at(i).serial);
        QTest::keyClick(field, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), i + 1, kWaitMs);
        QCOMPARE(verdict->property("verdict").toString(), QLatin1String(scans.at(i).verdict));
        QCOMPARE(field->text(), QString());
    }
    QCOMPARE(asked, 1);

    // Every scan that reached a check is recorded, by the station and operator set, with
    // both its reports; the one never checked is not.
    ResultsStore store(StoreLocation::parse(results));
    QString error;
    QVector<RunRecord> runs;
    const QList<QPair<QString, int>> recorded = {
        { QStringLiteral("MV 0001/A"), 1 }, { QStringLiteral("SN-2"), 2 },
        { QStringLiteral("SN-3"), 0 }, { QStringLiteral("SN-4"), 1 },
    };
    for (const auto &board : recorded) {
        QVERIFY2(store.history(board.first, &runs, &error), qPrintable(error));
        QCOMPARE(runs.size(), board.second);
        for (const RunRecord &run : qAsConst(runs)) {
            QCOMPARE(run.station, stationName);
            QCOMPARE(run.operatorName, QStringLiteral("Wang Fang"));
            QVERIFY(QFileInfo::exists(run.htmlReport));
        }
    }
    QCOMPARE(QDir(reports).entryList(QDir::Files).size(), 8);

    QVector<YieldFigures> figures;
    QVERIFY2(store.yield(QDate::currentDate(), stationName, &figures, &error), qPrintable(error));
    QCOMPARE(figures.size(), 1);
    const YieldFigures &shift = figures.first();
    QCOMPARE(shift.tested, 3);
    QCOMPARE(shift.passed, 2);
    QCOMPARE(shift.firstPass, 1);
    const auto label = [&station](const char *name) {
        return station.findChild<QLabel *>(QLatin1String(name))->text();
    };
    QCOMPARE(label("label_tested"), shown("Tested %1", " 已测 %1 ", "StationWindow").arg(shift.tested));
    QCOMPARE(label("label_passed"), shown("Passed %1", " 合格 %1 ", "StationWindow").arg(shift.passed));
    QCOMPARE(label("label_failed"), shown("Failed %1", " 不合格 %1 ", "StationWindow").arg(shift.failed));
    QCOMPARE(label("label_yield"), shown("First-pass yield %1 %", " 一次通过率 %1 % ", "StationWindow")
                                       .arg(QString::number(shift.firstPassYield(), 'f', 1)));
}

QTEST_MAIN(TestShownFigures)
#include "tst_shownfigures.moc"
