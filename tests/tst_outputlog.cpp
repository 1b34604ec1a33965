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
// scrolled up, wraps long lines at its width and copies the selected lines; the file it
// saves; and the trend, whose chart is made only when it is first shown.
class TestOutputLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void copiesTheSelectedLines();
    void followsTheEndUnlessScrolledUp();
    void longLinesWrapAtTheViewWidth_data();
    void longLinesWrapAtTheViewWidth();
    void narrowerViewWrapsAgainAtTheEnd();
    void timesShownAndSavedInLocalTime();
    void trendChartMadeWhenFirstShown();

private:
    void add(int count, const QString &text = QStringLiteral("line %1"))
    {
        for (int i = 0; i < count; ++i)
            log->append(text.arg(added++), QColor(Qt::blue));
        log->flush();
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
    const QString wrapped = QStringLiteral("Send:") + QStringLiteral(" 0a").repeated(100);
    log->append(wrapped, QColor(Qt::blue));
    log->flush();
    QVERIFY(log->model()->rowCount() > 8);
    // Picked from the bottom up, copied top down; two rows of one wrapped line copy it once.
    for (const int row : {8, 7, 4, 1})
        view->selectionModel()->select(log->model()->index(row), QItemSelectionModel::Select);
    view->setFocus();
    QApplication::clipboard()->clear();
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QStringList copied = QApplication::clipboard()->text().split('\n');
    for (QString &line : copied)
        line = line.section(QStringLiteral("]    "), 1);
    QCOMPARE(copied, QStringList({"line 1", "line 4", wrapped}));
}

void TestOutputLog::followsTheEndUnlessScrolledUp()
{
    while (added < OutputLog::kHistoryLines + 1000)
        add(1000);
    QCOMPARE(log->model()->rowCount(), OutputLog::kHistoryLines);
    QCOMPARE(log->history().size(), OutputLog::kHistoryLines);
    // The oldest lines are the ones gone.
    QCOMPARE(log->model()->index(0).data().toString().mid(14),
             QStringLiteral("line %1").arg(added - OutputLog::kHistoryLines));

    // Scrolled up to read: the lines stay where they are, also while the oldest go.
    const auto firstInSight = [this]() { return view->indexAt(QPoint(1, 1)).data().toString(); };
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

void TestOutputLog::longLinesWrapAtTheViewWidth_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("text");
    const QString frame = QStringLiteral("Send: ") + QStringLiteral("01 03 00 20 00 10 c5 cb ").repeated(12);
    const QString word = QStringLiteral("MeroviTest-iiWWmm.0123").repeated(20);
    QTest::newRow("frame, broken between bytes") << 400 << frame;
    QTest::newRow("word wider than a row, broken anywhere, 400 px") << 400 << word;
    QTest::newRow("word wider than a row, broken anywhere, 333 px") << 333 << word;
    QTest::newRow("words, then a word wider than a row") << 400 << QStringLiteral("Error: ") + word;
}

void TestOutputLog::longLinesWrapAtTheViewWidth()
{
    QFETCH(int, width);
    QFETCH(QString, text);
    const int shownRows = 8;
    view->setFixedHeight(OutputLog::viewHeight(view, shownRows));
    window->resize(width, window->height());
    log->append(text, QColor(Qt::blue));
    log->flush();
    // Wrapped again once the view has its new width: each row's text fits after the time column.
    const int textColumn = view->fontMetrics().horizontalAdvance(QStringLiteral("[00:00:00]    "));
    auto piece = [this](int row) { return log->model()->index(row).data().toString().mid(row > 0 ? 0 : 14); };
    auto fitting = [&]() {
        for (int row = 0; row < log->model()->rowCount(); ++row) {
            if (textColumn + view->fontMetrics().horizontalAdvance(piece(row)) > view->viewport()->width())
                return false;
        }
        return true;
    };
    QTRY_VERIFY(fitting());
    QVERIFY(log->model()->rowCount() > 3);
    QVERIFY(!view->horizontalScrollBar()->isVisible());
    QVERIFY(view->viewport()->height() >= shownRows * view->sizeHintForRow(0));

    // As drawn: the continuation rows leave the time column blank, their text under the line's.
    const QImage drawn = view->viewport()->grab().toImage();
    const QRgb blank = view->viewport()->palette().color(QPalette::Base).rgb();
    QString pieces = piece(0);
    for (int row = 1; row < log->model()->rowCount(); ++row) {
        const QRect timeColumn = view->visualRect(log->model()->index(row)) & QRect(0, 0, textColumn, drawn.height());
        for (int y = timeColumn.top(); y <= timeColumn.bottom(); ++y) {
            for (int x = timeColumn.left(); x <= timeColumn.right(); ++x)
                QVERIFY2(drawn.pixel(x, y) == blank, qPrintable(piece(row)));
        }
        pieces += piece(row);
    }
    // Broken, not cut: every character on a row, and the line whole as text.
    QCOMPARE(pieces.remove(' '), QString(text).remove(' '));
    QCOMPARE(log->shownText().mid(14), text);
}

void TestOutputLog::narrowerViewWrapsAgainAtTheEnd()
{
    window->resize(900, 300);
    add(100, QStringLiteral("Send: 00 00 00 00 00 06 01 03 00 20 00 10 (%1)"));
    QTRY_COMPARE(log->model()->rowCount(), 100);
    window->resize(150, 300);
    QTRY_VERIFY(log->model()->rowCount() >= 200);
    QTRY_COMPARE(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    QVERIFY(view->viewport()->rect().contains(
        view->visualRect(log->model()->index(log->model()->rowCount() - 1))));

    // A separator is a rule: one row however narrow the view, cut at its edge.
    const int rows = log->model()->rowCount();
    log->appendSeparator();
    log->flush();
    QCOMPARE(log->model()->rowCount(), rows + 1);
}

void TestOutputLog::timesShownAndSavedInLocalTime()
{
    // Half an hour off any whole-hour zone; it stays for the rest of this program, whose
    // other tests read no clock.
    qputenv("TZ", "IST-05:30");
    tzset();
    const QString before = QDateTime::currentDateTime().toString("hh:mm");
    add(1);
    log->append(QString::fromUtf8("修改名称成功"), QColor(Qt::red));
    log->flush();
    QTemporaryDir dir;
    QVERIFY(log->save(dir.filePath("log.txt")));
    const QString after = QDateTime::currentDateTime().toString("hh:mm");
    QFile file(dir.filePath("log.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const QString saved = text.mid(12, 5);
    const QString shown = log->shownText().mid(1, 5);
    QVERIFY2(shown == before || shown == after, qPrintable(shown + " " + before));
    QVERIFY2(saved == before || saved == after, qPrintable(saved + " " + before));
    // Each line whole after its stamp, in UTF-8; a folder that is not there is said so.
    const QRegularExpression stamp("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]    ",
                                   QRegularExpression::MultilineOption);
    QCOMPARE(QString(text).remove(stamp), QString::fromUtf8("line 0\n修改名称成功\n"));
    QString error;
    QVERIFY(!log->save(dir.filePath("missing/log.txt"), &error));
    QVERIFY(!error.isEmpty());
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
    QVERIFY(!trend.findChild<QtCharts::QChartView *>());
    // What came before the first look is in the chart.
    trend.show();
    QVERIFY(trend.series(QStringLiteral("AI1")));
    QCOMPARE(trend.series(QStringLiteral("AI1"))->count(), 5);
    QCOMPARE(trend.series(QStringLiteral("AI1"))->name(), QStringLiteral("AI1 (mA)"));
}

QTEST_MAIN(TestOutputLog)
#include "tst_outputlog.moc"
