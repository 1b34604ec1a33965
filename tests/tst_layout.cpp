#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "link/modelcatalogue.h"
#include "ui/communicationtimeout.h"
#include "ui/helpwidget.h"
#include "ui/mainwindow.h"
#include "ui/namesetting.h"
#include "ui/networkwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollArea>
#include <QSplitter>
#include <QTextBrowser>
#include <QTextEdit>
#include <QToolBar>
#include <QtTest>

// What an operator sees on a laptop screen and on a large one: every control of
// the window, of every model's panels and of the settings windows at least as large
// as it asks to be, texts whole, the log readable and the window's layout kept.
class TestLayout : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void everyModelFits_data();
    void everyModelFits();
    void settingsWindowsFit();
    void splitterMovesAndIsRemembered();

private:
    MainWindow *openWindow(const QSize &size);
    // Names every visible control of `top` smaller than its minimum size hint.
    static QStringList squashed(QWidget *top);

    MainWindow *window = nullptr;
};

namespace {

const QSize kLaptop(1366, 740);
const QSize kDesktop(1920, 1050);

bool isControl(QWidget *widget)
{
    return qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget)
        || qobject_cast<QComboBox *>(widget);
}

// The digits of a large value have the font's height inside the widget's frame.
bool digitsWhole(QWidget *widget)
{
    int inside = widget->contentsRect().height();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        inside -= 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit);
    return inside >= widget->fontMetrics().height();
}

// The port list has arrived and every layout has run.
void settle(MainWindow *window)
{
    settleLink(window);
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

} // namespace

void TestLayout::cleanup()
{
    if (window)
        settleLink(window);
    delete window;
    window = nullptr;
    QtTools::instance()->configMap.remove(QStringLiteral("window/geometry"));
    QtTools::instance()->configMap.remove(QStringLiteral("window/splitter"));
}

MainWindow *TestLayout::openWindow(const QSize &size)
{
    auto *opened = newLoopbackWindow();
    opened->resize(size);
    opened->show();
    if (!QTest::qWaitForWindowExposed(opened))
        qWarning("window not exposed");
    settle(opened);
    return opened;
}

QStringList TestLayout::squashed(QWidget *top)
{
    QStringList found;
    const QList<QWidget *> widgets = top->findChildren<QWidget *>();
    for (QWidget *widget : widgets) {
        if (!isControl(widget) || !widget->isVisibleTo(top))
            continue;
        const QSize wanted = widget->minimumSizeHint();
        if (widget->width() < wanted.width() || widget->height() < wanted.height()) {
            found << QStringLiteral("%1 %2x%3 < %4x%5").arg(widget->objectName()).arg(widget->width())
                        .arg(widget->height()).arg(wanted.width()).arg(wanted.height());
        }
    }
    return found;
}

void TestLayout::everyModelFits_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("model");

    const QVector<ModelEntry> &models = ModelCatalogue::models();
    for (const QSize &size : { kLaptop, kDesktop }) {
        for (int index = 0; index < models.size(); ++index) {
            QTest::addRow("%dx%d %s", size.width(), size.height(), qPrintable(models.at(index).text()))
                    << size << index;
        }
    }
}

void TestLayout::everyModelFits()
{
    QFETCH(QSize, size);
    QFETCH(int, model);

    window = openWindow(size);
    window->modelActions.at(model)->trigger();
    settle(window);

    // The port list arrives from the link thread and lays the window out once more.
    QStringList small;
    QTRY_VERIFY2_WITH_TIMEOUT((small = squashed(window)).isEmpty(), qPrintable(small.join(QStringLiteral(", "))), 5000);

    for (QLineEdit *value : window->findChildren<QLineEdit *>(QRegularExpression(QStringLiteral("^lineEdit_analogOutValue_"))))
        QVERIFY2(digitsWhole(value), qPrintable(value->objectName()));
    for (QLabel *value : qAsConst(window->analogInputLabels))
        QVERIFY2(digitsWhole(value), qPrintable(value->objectName()));

    // Panels that do not fit scroll; the panel area itself is never squeezed away.
    auto *panels = window->findChild<QScrollArea *>(QStringLiteral("scrollArea_panels"));
    QVERIFY(panels->widget()->height() >= panels->widget()->minimumSizeHint().height());

    auto *remoteIp = window->findChild<QLineEdit *>(QStringLiteral("lineEdit_localFarIP"));
    QVERIFY(remoteIp->width() > remoteIp->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")));

    for (const char *name : {"toolBar_time", "toolBar_tools"}) {
        auto *toolBar = window->findChild<QToolBar *>(QLatin1String(name));
        QVERIFY(toolBar);
        const QList<QAction *> actions = toolBar->actions();
        for (QAction *action : actions) {
            QWidget *shown = toolBar->widgetForAction(action);
            QVERIFY2(shown && shown->isVisible() && toolBar->rect().contains(shown->geometry()),
                     qPrintable(action->text()));
        }
    }
    QVERIFY(window->clockLabel->isVisible());
    QVERIFY(window->clockLabel->width() >= window->clockLabel->sizeHint().width());

    auto *description = window->findChild<QTextBrowser *>(QStringLiteral("textBrowser"));
    QVERIFY(description->document()->size().height() <= description->viewport()->height() + 1);

    auto *log = window->findChild<QTextEdit *>(QStringLiteral("recvText"));
    QVERIFY(log->viewport()->height() >= 8 * log->fontMetrics().lineSpacing());
}

void TestLayout::settingsWindowsFit()
{
    window = openWindow(kLaptop);
    const QString sixtyFourOutputs = QStringLiteral("5000") + QStringLiteral(" 0").repeated(64);
    QList<QWidget *> windows = { new CommunicationTimeout(window, sixtyFourOutputs), new NetworkWindow(window),
                                 new NameSetting, new HelpWidget };
    for (QWidget *settings : qAsConst(windows)) {
        settings->show();
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        const QStringList small = squashed(settings);
        QVERIFY2(small.isEmpty(), qPrintable(small.join(QStringLiteral(", "))));
        for (QLineEdit *edit : settings->findChildren<QLineEdit *>()) {
            if (edit->isVisibleTo(settings) && !edit->inputMask().isEmpty()) {
                QVERIFY2(edit->width() > edit->fontMetrics().horizontalAdvance(edit->inputMask().section(QLatin1Char(';'), 0, 0)),
                         qPrintable(edit->objectName()));
            }
        }
        QVERIFY2(settings->width() <= kLaptop.width() && settings->height() <= kLaptop.height(),
                 settings->metaObject()->className());
    }
    qDeleteAll(windows);
}

void TestLayout::splitterMovesAndIsRemembered()
{
    window = openWindow(kLaptop);
    auto *splitter = window->findChild<QSplitter *>(QStringLiteral("splitter_main"));
    const QList<int> before = splitter->sizes();

    // The operator drags the handle 60 pixels up: the log grows.
    QWidget *handle = splitter->handle(1);
    const QPoint grip = handle->rect().center();
    auto send = [handle](QEvent::Type type, const QPoint &at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, handle->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(handle, &event);
    };
    send(QEvent::MouseButtonPress, grip, Qt::LeftButton);
    send(QEvent::MouseMove, grip - QPoint(0, 60), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, grip - QPoint(0, 60), Qt::NoButton);
    const QList<int> moved = splitter->sizes();
    QCOMPARE(moved.at(0), before.at(0) - 60);
    QCOMPARE(moved.at(1), before.at(1) + 60);

    QVERIFY(window->close());
    settleLink(window);
    delete window;
    window = newLoopbackWindow();
    window->showAsLeft();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QCOMPARE(window->size(), kLaptop);
    QCOMPARE(window->findChild<QSplitter *>(QStringLiteral("splitter_main"))->sizes().at(1), moved.at(1));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
