#include "ui/helpwidget.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QtTest>

// The help window: its pictures really load from the core library's resources,
// the clock runs and the two pages switch.
class TestHelpWidget : public QObject
{
    Q_OBJECT

private slots:
    void picturesLoadFromTheResources_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("resource");
        QTest::newRow("address DIP switch") << QStringLiteral("label_8") << QStringLiteral(":/piture/boma.png");
        QTest::newRow("wiring diagram") << QStringLiteral("label_6") << QStringLiteral(":/piture/connectWire.png");
    }

    void picturesLoadFromTheResources()
    {
        QFETCH(QString, label);
        QFETCH(QString, resource);

        HelpWidget window;
        const QLabel *picture = window.findChild<QLabel *>(label);
        QVERIFY(picture);
        const QPixmap shown = picture->pixmap(Qt::ReturnByValue);
        QVERIFY(!shown.isNull());
        const QPixmap fromResource(resource);
        QVERIFY(!fromResource.isNull());
        QCOMPARE(shown.size(), fromResource.size());
        // Both fit side by side with the usage text in the window's initial size.
        QVERIFY(fromResource.width() <= window.width() / 2);
        QVERIFY(fromResource.height() * 2 < window.height());
    }

    void clockAdvances()
    {
        HelpWidget window;
        const auto *clock = window.findChild<QLabel *>(QStringLiteral("label_time"));
        QVERIFY(clock);
        const QString first = clock->text();
        QVERIFY(QDateTime::fromString(first.left(19), QStringLiteral("yyyy-MM-dd hh:mm:ss")).isValid());
        QTRY_VERIFY_WITH_TIMEOUT(clock->text() != first, 10000);
    }

    void pagesSwitch()
    {
        HelpWidget window;
        window.show();
        auto *soft = window.findChild<QWidget *>(QStringLiteral("widget_soft"));
        auto *hard = window.findChild<QWidget *>(QStringLiteral("widget_hard"));
        QVERIFY(soft->isVisible() && hard->isVisible());

        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton_hard")), Qt::LeftButton);
        QVERIFY(!soft->isVisible());
        QVERIFY(hard->isVisible());
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton_soft")), Qt::LeftButton);
        QVERIFY(soft->isVisible());
        QVERIFY(!hard->isVisible());
    }
};

QTEST_MAIN(TestHelpWidget)
#include "tst_helpwidget.moc"
