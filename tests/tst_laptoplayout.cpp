#include "tests/loopbackwindow.h"
#include "protocol/linkhealth.h"
#include "ui/analogoutputrow.h"
#include "ui/applicationfont.h"
#include "ui/elidedlabel.h"
#include "ui/helpwidget.h"
#include "ui/linkhealthview.h"

#include <QHelpEvent>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QToolButton>
#include <QToolTip>

// The window on a bench laptop's screen, with the tool's own font and in the language of
// the run: what must be seen whole, what may be cut and in which order, what must not move.
class TestLaptopLayout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void boardSeenWhole_data();
    void boardSeenWhole();
    void biggestBoardScrollsByWholeRows();
    void aWriteMovesNoPanel();
    void frameTextIsCutOnlyWhenPainted_data();
    void frameTextIsCutOnlyWhenPainted();
    void statusBarGivesWayInOrder_data();
    void statusBarGivesWayInOrder();
    void statusBarCountersEndOnTheNewest();
    void clockAndHelpPicturesSpeakTheLanguage();

private:
    void showAt(const QSize &size, const char *model);
    QStringList notWhole(const QList<QWidget *> &widgets) const;
    QList<QWidget *> statusWidgets() const;

    MainWindow *window = nullptr;
};

namespace {

// Whether all of `widget` can be seen: inside every parent up to its window.
bool wholeInView(const QWidget *widget)
{
    if (!widget->isVisible())
        return false;
    QRect seen = widget->rect();
    for (const QWidget *child = widget; !child->isWindow(); child = child->parentWidget())
        seen = seen.translated(child->pos()) & child->parentWidget()->rect();
    return seen.size() == widget->size();
}

QString nameOf(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return widget->objectName() + QLatin1Char('"') + button->text() + QLatin1Char('"');
    return widget->objectName().isEmpty() ? QString::fromLatin1(widget->metaObject()->className())
                                          : widget->objectName();
}

const QString kOutputsAndInputs = QStringLiteral("Switch 32-channel outputs 16-channel inputs");

} // namespace

void TestLaptopLayout::initTestCase()
{
    window = newLoopbackWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestLaptopLayout::cleanupTestCase()
{
    settleLink(window);
    delete window;
}

void TestLaptopLayout::showAt(const QSize &size, const char *model)
{
    window->resize(size);
    chooseModel(window, model);
    // Layouts settle in posted events, the port list from the link thread among them.
    QTest::qWait(50);
    QCoreApplication::processEvents();
    // A layout that needs more than the screen makes the window bigger than asked.
    QCOMPARE(window->size(), size);
}

QStringList TestLaptopLayout::notWhole(const QList<QWidget *> &widgets) const
{
    QStringList cut;
    for (QWidget *widget : widgets) {
        if (!wholeInView(widget))
            cut << nameOf(widget);
        else if (auto *label = qobject_cast<ElidedLabel *>(widget); label && label->isElided())
            cut << nameOf(widget) + QStringLiteral(" (elided)");
    }
    return cut;
}

QList<QWidget *> TestLaptopLayout::statusWidgets() const
{
    return window->statusBar()->findChild<LinkHealthView *>()->findChildren<QWidget *>();
}

void TestLaptopLayout::boardSeenWhole_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("model");
    const QSize laptop(1366, 740);
    QTest::newRow("32 outputs, 16 inputs on 1366x768") << laptop << kOutputsAndInputs;
    QTest::newRow("12 current outputs") << laptop << "Analog current 12-channel outputs";
    QTest::newRow("12 voltage inputs") << laptop << "Analog voltage 12-channel inputs";
    QTest::newRow("16 current inputs") << laptop << "Analog current 16-channel inputs";
}

// Every control of the board and every status-bar field is seen whole, without scrolling.
void TestLaptopLayout::boardSeenWhole()
{
    QFETCH(QSize, size);
    QFETCH(QString, model);
    showAt(size, model.toUtf8().constData());
    if (QTest::currentTestFailed())
        return;
    QList<QWidget *> controls;
    if (window->switchOutputs()->count() >= 0) {
        for (QPushButton *button : qAsConst(window->switchOutputs()->buttons()))
            controls << button;
        controls << window->findChild<QWidget *>("pushButton_allOpen")
                 << window->findChild<QWidget *>("pushButton_allClose")
                 << window->findChild<QWidget *>("checkBox_out");
    }
    if (window->switchInputs()->count() >= 0) {
        for (QPushButton *button : qAsConst(window->switchInputs()->buttons()))
            controls << button;
        controls << window->findChild<QWidget *>("pushButton_check");
    }
    for (AnalogOutputRow *row : qAsConst(window->analogOutputs()->rows())) {
        for (QWidget *child : row->findChildren<QWidget *>()) {
            if (child->isVisibleTo(window) && !child->findChild<QWidget *>())
                controls << child;
        }
    }
    // Inputs with the widest readings a loop gives.
    if (!window->analogInputs()->cells().isEmpty()) {
        window->analogInputs()->showValues(QStringLiteral("19.999 ").repeated(window->analogInputs()->cells().size()).trimmed());
        QCoreApplication::processEvents();
        for (QWidget *cell : qAsConst(window->analogInputs()->cells()))
            controls << cell;
        controls << window->findChild<QWidget *>("pushButton_check_analog_in");
    }
    QVERIFY(controls.size() > 8);
    // A menu's status tip, shown while the operator points at it, leaves the link counters.
    QStatusTipEvent tip(window->action(QStringLiteral("action_networkParameters"))->statusTip());
    QCoreApplication::sendEvent(window->menuBar(), &tip);
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
    // The tip is still there, as a tool tip, for the operator who points at the action.
    QCOMPARE(window->action(QStringLiteral("action_networkParameters"))->toolTip(), window->action(QStringLiteral("action_networkParameters"))->statusTip());
    const QStringList cut = notWhole(controls + statusWidgets());
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char(' '))));
}

// A 64-channel board shows whole rows from the top and scrolls to the rest.
void TestLaptopLayout::biggestBoardScrollsByWholeRows()
{
    showAt(QSize(1366, 740), "Switch 64-channel outputs");
    auto *panels = window->findChild<QScrollArea *>("scrollArea_panels");
    QVERIFY(panels->verticalScrollBar()->isVisible());
    int wholeRows = 0;
    while (wholeRows * 4 < window->switchOutputs()->buttons().size()
           && wholeInView(window->switchOutputs()->buttons().at(wholeRows * 4))
           && wholeInView(window->switchOutputs()->buttons().at(wholeRows * 4 + 3)))
        ++wholeRows;
    QVERIFY2(wholeRows >= 8, qPrintable(QString::number(wholeRows)));
    // The last row is reached by scrolling.
    panels->ensureWidgetVisible(window->switchOutputs()->buttons().last());
    QCoreApplication::processEvents();
    QVERIFY(wholeInView(window->switchOutputs()->buttons().last()));
}

// The frame of a write is shown whole in text() (its tool tip below); the panels stay put.
void TestLaptopLayout::aWriteMovesNoPanel()
{
    showAt(QSize(1366, 740), kOutputsAndInputs.toUtf8().constData());
    if (QTest::currentTestFailed())
        return;
    const QStringList watched = { "widget_out", "widget_in", "pushButton_check", "pushButton_allOpen" };
    auto places = [this, &watched]() {
        QList<QRect> rects;
        for (const QString &name : watched) {
            auto *widget = window->findChild<QWidget *>(name);
            rects << QRect(widget->mapTo(window, QPoint()), widget->size());
        }
        rects << QRect(window->switchInputs()->buttons().at(3)->mapTo(window, QPoint()), window->switchInputs()->buttons().at(3)->size());
        return rects;
    };
    const QList<QRect> before = places();
    window->on_pushButton_allOpen_clicked();
    window->on_pushButton_check_clicked();
    QTest::qWait(50);
    QCoreApplication::processEvents();
    QCOMPARE(places(), before);

    // The write was shown (the panels' test proves its frame).
    QVERIFY(window->findChild<ElidedLabel *>("label_out_OperationCode_2")->text().startsWith("0110"));
    window->on_pushButton_check_clicked();
}

void TestLaptopLayout::frameTextIsCutOnlyWhenPainted_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("cut");
    QTest::newRow("room for the frame") << 600 << false;
    QTest::newRow("half the room") << 150 << true;
}

void TestLaptopLayout::frameTextIsCutOnlyWhenPainted()
{
    QFETCH(int, width);
    QFETCH(bool, cut);
    const QString frame = QStringLiteral("00000000000B01100000000204ffffffff");
    ElidedLabel label;
    label.setText(QStringLiteral("0103"));
    const QSize asked = label.sizeHint();
    label.setText(frame);
    // The room the label asks for does not follow its text.
    QCOMPARE(label.sizeHint(), asked);
    label.resize(width, label.sizeHint().height());
    QCOMPARE(label.text(), frame);
    QCOMPARE(label.isElided(), cut);
    QVERIFY(label.shownText().endsWith(QStringLiteral("…")) == cut);
    QVERIFY(label.fontMetrics().horizontalAdvance(label.shownText()) <= label.contentsRect().width());
    // Cut or not, the tool tip has all of it.
    label.show();
    QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), label.mapToGlobal(QPoint(1, 1)));
    QCoreApplication::sendEvent(&label, &help);
    QTRY_COMPARE_WITH_TIMEOUT(QToolTip::text(), frame, 5000);
    QToolTip::hideText();
}

void TestLaptopLayout::statusBarGivesWayInOrder_data()
{
    QTest::addColumn<int>("fieldsCut");
    for (int cut = 0; cut <= 6; ++cut)
        QTest::newRow(qPrintable(QStringLiteral("%1 fields cut").arg(cut))) << cut;
}

// Short of room, the fields are cut in a fixed order; the Reset button never is.
void TestLaptopLayout::statusBarGivesWayInOrder()
{
    QFETCH(int, fieldsCut);
    const QStringList order = { "label_linkModel", "label_linkAddress", "label_linkAge",
                                "label_linkTimes", "label_linkCounters", "label_linkEndpoint" };
    LinkHealthView view;
    view.setEndpoint(QStringLiteral("127.0.0.1:502"));
    view.setModel(kOutputsAndInputs);
    LinkHealth health;
    health.sent = 1234;
    health.accepted = 1200;
    health.timeouts = 34;
    health.recordReply(12, QDateTime::currentMSecsSinceEpoch());
    view.setHealth(health);
    int width = view.sizeHint().width();
    // Each field cut gives up all but its dots; one pixel more cuts into the next.
    for (int k = 0; k < fieldsCut; ++k) {
        auto *field = view.findChild<ElidedLabel *>(order.at(k));
        width -= field->wholeWidth() - field->minimumSizeHint().width();
    }
    if (fieldsCut > 0 && fieldsCut < order.size())
        width += 1;
    view.resize(width, view.sizeHint().height());
    view.show();
    QStringList elided;
    for (const QString &name : order) {
        auto *field = view.findChild<ElidedLabel *>(name);
        if (field->isElided())
            elided << name;
        QVERIFY(field->geometry().right() < view.width());
    }
    QCOMPARE(elided, order.mid(0, fieldsCut));
    auto *reset = view.findChild<QToolButton *>("toolButton_resetCounters");
    QCOMPARE(reset->width(), reset->sizeHint().width());
    QVERIFY(reset->geometry().right() < view.width());
}

// Counters that change with every exchange are drawn a few times a second: the first at
// once, the last one always.
void TestLaptopLayout::statusBarCountersEndOnTheNewest()
{
    LinkHealthView view;
    view.show();
    auto *counters = view.findChild<ElidedLabel *>("label_linkCounters");
    const auto text = [](int sent) {
        return shown("Sent %1  Replies %2  Time-outs %3  Bad frames %4  Exceptions %5",
                     " 发送 %1  回复 %2  超时 %3  错误帧 %4  异常 %5 ", "LinkHealthView")
            .arg(sent).arg(0).arg(0).arg(0).arg(0);
    };
    LinkHealth health;
    for (int sent = 1; sent <= 3; ++sent) {
        health.sent = sent;
        view.setHealth(health);
        if (sent == 1)
            QCOMPARE(counters->text(), text(1));
    }
    QTRY_COMPARE(counters->text(), text(3));
    // A field that grows while there is room is given it.
    view.resize(view.sizeHint().width() + 400, view.sizeHint().height());
    auto *model = view.findChild<ElidedLabel *>("label_linkModel");
    view.setModel(QStringLiteral("A"));
    view.setModel(kOutputsAndInputs);
    QVERIFY(!model->isElided());
}

void TestLaptopLayout::clockAndHelpPicturesSpeakTheLanguage()
{
    const bool chinese = Language::current() == Language::kChinese;
    const QLocale locale(chinese ? QLocale::Chinese : QLocale::English);
    window->slotChangeTime();
    const QString clock = window->findChild<QLabel *>("label_clock")->text();
    bool weekday = false;
    for (int day = 1; day <= 7; ++day)
        weekday = weekday || clock.endsWith(locale.dayName(day));
    QVERIFY2(weekday, qPrintable(clock));

    HelpWidget help;
    const QString suffix = chinese ? QStringLiteral("_zh.png") : QStringLiteral(".png");
    const QStringList pictures = { "label_8:boma", "label_6:connectWire" };
    for (const QString &picture : pictures) {
        const QImage shown = help.findChild<QLabel *>(picture.section(':', 0, 0))->pixmap(Qt::ReturnByValue).toImage();
        QVERIFY(!shown.isNull());
        QCOMPARE(shown, QPixmap(":/piture/" + picture.section(':', 1) + suffix).toImage());
    }
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    // The font the operator's window has, set as the tool sets it at start-up.
    ApplicationFont::install();
    if (!installTestLanguage())
        return 1;
    TestLaptopLayout test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_laptoplayout.moc"
