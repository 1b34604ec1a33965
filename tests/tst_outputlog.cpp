#include "ui/outputlog.h"
#include "ui/trendview.h"

#include <QCheckBox>
#include <QClipboard>
#include <QListView>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtTest>

#include <ctime>

// The output log as the operator reads it: a view that follows the newest line unless
// scrolled up, shows long lines whole and copies the selected lines; and the trend,
// whose chart is made only when it is first shown.
class TestOutputLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void copiesTheSelectedLines();
    void followsTheEndUnlessScrolledUp();
    void longLinesStayWholeAboveTheScrollBar();
    void timesShownAndSavedInLocalTime();
    void trendChartMadeWhenFirstShown();

private:
    void add(int count, const QString &text = QStringLiteral("line %1"))
    {
        for (int i = 0; i < count; ++i)
            log->append(text.arg(added++), QColor(Qt::blue));
        log->flush();
    }
    QString firstInSight() const
    {
        return view->indexAt(QPoint(1, 1)).data().toString().mid(14);
    }

    QWidget *window = nullptr;
    QListView *view = nullptr;
    OutputLog *log = nullptr;
    int added = 0;
};

void TestOutputLog::init()
{
    window = new QWidget;
    auto *layout = new QVBoxLayout(window);
    view = new QListView(window);
    auto *showPolling = new QCheckBox(window);
    showPolling->setChecked(true);
    auto *pause = new QCheckBox(window);
    layout->addWidget(view);
    log = new OutputLog(view, showPolling, pause, window);
    added = 0;
    window->resize(400, 300);
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

void TestOutputLog::cleanup()
{
    delete window;
    window = nullptr;
}

void TestOutputLog::copiesTheSelectedLines()
{
    add(6);
    // Picked from the bottom up, copied top down.
    view->selectionModel()->select(log->model()->index(4), QItemSelectionModel::Select);
    view->selectionModel()->select(log->model()->index(1), QItemSelectionModel::Select);
    view->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    const QStringList copied = QApplication::clipboard()->text().split('\n');
    QCOMPARE(copied.size(), 2);
    QVERIFY2(copied.at(0).endsWith("]    line 1"), qPrintable(copied.at(0)));
    QVERIFY2(copied.at(1).endsWith("]    line 4"), qPrintable(copied.at(1)));
}

void TestOutputLog::followsTheEndUnlessScrolledUp()
{
    add(100);
    QCOMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    add(100);
    QTRY_COMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    QVERIFY(view->verticalScrollBar()->maximum() > 0);

    // Scrolled up to read: the lines stay where they are, also while the oldest go.
    view->scrollTo(log->model()->index(150), QAbstractItemView::PositionAtTop);
    QCOMPARE(firstInSight(), QStringLiteral("line 150"));
    add(100);
    QTRY_COMPARE(firstInSight(), QStringLiteral("line 150"));
    while (added < OutputLog::kHistoryLines + 1000)
        add(1000);
    QCOMPARE(log->model()->rowCount(), OutputLog::kHistoryLines);
    view->scrollTo(log->model()->index(2000), QAbstractItemView::PositionAtTop);
    const QString top = firstInSight();
    add(100);
    QTRY_COMPARE(firstInSight(), top);

    // Back at the end, it follows again.
    view->scrollToBottom();
    add(10);
    QTRY_COMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    QVERIFY(view->viewport()->rect().contains(
        view->visualRect(log->model()->index(log->model()->rowCount() - 1))));
}

void TestOutputLog::longLinesStayWholeAboveTheScrollBar()
{
    const int shownLines = 8;
    view->setFixedHeight(OutputLog::viewHeight(view, shownLines));
    const QString longest = QStringLiteral("Send: ") + QStringLiteral("01 ").repeated(256) + QStringLiteral("%1");
    add(1, longest);
    add(20);
    QTRY_VERIFY(view->horizontalScrollBar()->isVisible());
    const int width = view->fontMetrics().horizontalAdvance(log->model()->shownText(0));
    QVERIFY2(view->horizontalScrollBar()->maximum() + view->viewport()->width() >= width,
             qPrintable(QString::number(width)));
    QVERIFY(view->viewport()->height() >= shownLines * view->sizeHintForRow(0));
}

void TestOutputLog::timesShownAndSavedInLocalTime()
{
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "IST-05:30");
    tzset();
    const QString before = QDateTime::currentDateTime().toString("hh:mm");
    add(1);
    QTemporaryDir dir;
    QVERIFY(log->save(dir.filePath("log.txt")));
    const QString after = QDateTime::currentDateTime().toString("hh:mm");
    QFile file(dir.filePath("log.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString saved = QString::fromUtf8(file.readAll()).mid(12, 5);
    const QString shown = log->shownText().mid(1, 5);
    if (zone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", zone);
    tzset();
    QVERIFY2(shown == before || shown == after, qPrintable(shown + " " + before));
    QVERIFY2(saved == before || saved == after, qPrintable(saved + " " + before));
}

void TestOutputLog::trendChartMadeWhenFirstShown()
{
    TrendView trend;
    PolledSample sample;
    sample.kind = PolledSample::Kind::AnalogInput;
    sample.channel = QStringLiteral("AI1");
    sample.unit = QStringLiteral("mA");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < 5; ++i) {
        sample.timeMs = now - 5000 + i * 1000;
        sample.value = 4 + i;
        trend.addSample(sample);
    }
    QVERIFY(!trend.isBuilt());
    QVERIFY(!trend.findChild<QtCharts::QChartView *>());
    QCOMPARE(trend.channels(), QStringList{QStringLiteral("AI1")});
    // What came before the first look is in the chart.
    trend.show();
    QVERIFY(trend.findChild<QtCharts::QChartView *>());
    QVERIFY(trend.series(QStringLiteral("AI1")));
    QCOMPARE(trend.series(QStringLiteral("AI1"))->count(), 5);
    QCOMPARE(trend.series(QStringLiteral("AI1"))->name(), QStringLiteral("AI1 (mA)"));
}

QTEST_MAIN(TestOutputLog)
#include "tst_outputlog.moc"
