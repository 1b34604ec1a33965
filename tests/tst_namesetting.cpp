#include "tests/loopbackwindow.h"
#include "ui/namesetting.h"

#include <QDir>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>

// The channel-name window against the real settings store in a throw-away data
// directory, in the language of the run.
class TestNameSetting : public QObject
{
    Q_OBJECT

    static QString configPath()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
            + QStringLiteral("/configMeroviTest");
    }

    static QTableWidget *table(NameSetting &window, bool outputs = true)
    {
        return window.findChild<QTableWidget *>(outputs ? "tableWidget_Y" : "tableWidget_IN");
    }

    // Clicks save and returns the text of the box it shows.
    static QString save(NameSetting &window)
    {
        QTest::mouseClick(window.findChild<QPushButton *>("pushButton_save"), Qt::LeftButton);
        QScopedPointer<QMessageBox> box(window.findChild<QMessageBox *>());
        return box ? box->text() : QStringLiteral("no box");
    }

    static QString saved() { return shown("Names saved", "修改名称成功", "NameSetting"); }

    // Channel-name keys in the language of the run: "Y3Output ON" or "Y3闭合".
    static QString outputKey(int channel, bool on)
    {
        return QStringLiteral("Y%1").arg(channel) + (on ? shown("Output ON", "闭合") : shown("Output OFF", "断开"));
    }

    // A restart of the tool: the names come from the settings file alone.
    static const QMap<QString, QString> &reopened()
    {
        QtTools::instance()->configMap.clear();
        QtTools::instance()->openEverything();
        return QtTools::instance()->configMap;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(installTestLanguage());
        QStandardPaths::setTestModeEnabled(true);
        // The English and the Chinese run may run at once: each its own settings folder.
        QCoreApplication::setApplicationName(QStringLiteral("merovitest-namesetting-test-")
                                             + Language::current());
    }

    void init()
    {
        QDir(QFileInfo(configPath()).path()).removeRecursively();
        QtTools *tools = QtTools::instance();
        tools->configMap.clear();
        tools->modified = false;
        tools->applicationName = QStringLiteral("MeroviTest");
    }

    void cleanupTestCase()
    {
        QDir(QFileInfo(configPath()).path()).removeRecursively();
    }

    // A name the file holds under the other language's key is shown on the OFF row of
    // its channel, and a save writes it under the key of the language shown and
    // updates the old one.
    void nameUnderEitherLanguagesKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("written in English") << QStringLiteral("Y3Output OFF");
        QTest::newRow("written in Chinese") << QStringLiteral("Y3断开");
    }

    void nameUnderEitherLanguagesKey()
    {
        QFETCH(QString, key);
        QtTools::instance()->setValue(key, QStringLiteral("Pump"));
        NameSetting window;
        QCOMPARE(table(window)->verticalHeaderItem(4)->text(), outputKey(3, false));
        QCOMPARE(table(window)->item(4, 0)->text() + ',' + table(window)->item(5, 0)->text(),
                 QStringLiteral("Pump,Y3"));
        table(window)->item(4, 0)->setText(QStringLiteral("Fan"));
        QCOMPARE(save(window), saved());
        const QMap<QString, QString> &names = reopened();
        QCOMPARE(names.value(outputKey(3, false)) + ',' + names.value(key), QStringLiteral("Fan,Fan"));
    }

    void savedNameSurvivesARestart_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("surrounding blanks are trimmed") << QStringLiteral("  Pump 2  ") << QStringLiteral("Pump 2");
        QTest::newRow("colon in the name") << QStringLiteral("Pump: main") << QStringLiteral("Pump: main");
        QTest::newRow("line break cannot split the file") << QStringLiteral("Pump\nY9:x") << QStringLiteral("Pump Y9:x");
        QTest::newRow("a blank cell keeps the stored name") << QStringLiteral("   ") << QStringLiteral("Fan");
    }

    void savedNameSurvivesARestart()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        const QString key = QStringLiteral("IN1") + shown("Input OFF", "断");
        QtTools::instance()->setValue(key, QStringLiteral("Fan"));
        NameSetting window;
        QSignalSpy announced(&window, &NameSetting::saveSuccess);
        table(window, false)->item(0, 0)->setText(typed);
        QCOMPARE(save(window), saved());
        QCOMPARE(announced.count(), 1);
        QCOMPARE(reopened().value(key), stored);
    }

    void failedSaveIsReportedAndNotAnnounced()
    {
        // A directory where the file should be cannot be opened for writing, not even by root.
        QVERIFY(QDir().mkpath(configPath()));
        NameSetting window;
        QSignalSpy announced(&window, &NameSetting::saveSuccess);
        table(window)->item(0, 0)->setText(QStringLiteral("Valve"));
        QCOMPARE(save(window), shown("Names not saved", "修改名称失败", "NameSetting"));
        QCOMPARE(announced.count(), 0);
        // The name stays in memory for a later attempt.
        QCOMPARE(QtTools::instance()->configMap.value(outputKey(1, false)), QStringLiteral("Valve"));
    }

    void cancelDropsUnsavedEdits()
    {
        NameSetting window;
        window.show();
        table(window)->item(0, 0)->setText(QStringLiteral("Lamp"));
        QTest::mouseClick(window.findChild<QPushButton *>("pushButton_cacel"), Qt::LeftButton);
        QVERIFY(window.isHidden());
        window.show();
        QCOMPARE(table(window)->item(0, 0)->text(), QStringLiteral("Y1"));
        QVERIFY(QtTools::instance()->configMap.isEmpty());
    }
};

QTEST_MAIN(TestNameSetting)
#include "tst_namesetting.moc"
