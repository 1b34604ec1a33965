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
        QtTools::instance()->configMap.clear();
        QtTools::instance()->modified = false;
        QtTools::instance()->applicationName = QStringLiteral("MeroviTest");
    }

    void cleanupTestCase()
    {
        QDir(QFileInfo(configPath()).path()).removeRecursively();
    }

    // A name the file holds under either language's key is shown on the OFF row of its
    // channel; a save writes what was typed under the key of the language shown, updates
    // the old key too, and the names come back after a restart. A save that cannot write
    // says so, announces nothing and keeps the name in memory for a later attempt.
    void savedNameSurvivesARestart_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("writable");
        const QString shownKey = outputKey(3, false);
        QTest::newRow("written in English") << "Y3Output OFF" << "Fan" << "Fan" << true;
        QTest::newRow("written in Chinese") << "Y3断开" << "Fan" << "Fan" << true;
        QTest::newRow("surrounding blanks are trimmed") << shownKey << "  Pump 2  " << "Pump 2" << true;
        QTest::newRow("line break cannot split the file") << shownKey << "Pump\nY9:x" << "Pump Y9:x" << true;
        QTest::newRow("a blank cell keeps the stored name") << shownKey << "   " << "Pump" << true;
        QTest::newRow("file cannot be written") << shownKey << "Valve" << "Valve" << false;
    }

    void savedNameSurvivesARestart()
    {
        QFETCH(QString, key);
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QFETCH(bool, writable);
        // A directory where the file should be cannot be opened for writing, not even by root.
        QVERIFY(writable || QDir().mkpath(configPath()));
        QtTools *tools = QtTools::instance();
        tools->setValue(key, QStringLiteral("Pump"));
        NameSetting window;
        QSignalSpy announced(&window, &NameSetting::saveSuccess);
        const QString shownKey = outputKey(3, false);
        QCOMPARE(table(window)->verticalHeaderItem(4)->text() + ',' + table(window)->item(4, 0)->text() + ','
                     + table(window)->item(5, 0)->text(), shownKey + QStringLiteral(",Pump,Y3"));
        table(window)->item(4, 0)->setText(typed);
        QCOMPARE(save(window), writable ? saved() : shown("Names not saved", "修改名称失败", "NameSetting"));
        QCOMPARE(announced.count(), writable ? 1 : 0);
        if (writable) {
            // A restart of the tool: the names come from the settings file alone.
            tools->configMap.clear();
            tools->openEverything();
        }
        QCOMPARE(tools->configMap.value(shownKey) + ',' + tools->configMap.value(key), stored + ',' + stored);
    }

    void cancelDropsUnsavedEdits()
    {
        NameSetting window;
        window.show();
        table(window, false)->item(0, 0)->setText(QStringLiteral("Lamp"));
        QTest::mouseClick(window.findChild<QPushButton *>("pushButton_cacel"), Qt::LeftButton);
        QVERIFY(window.isHidden());
        window.show();
        QCOMPARE(table(window, false)->item(0, 0)->text(), QStringLiteral("IN1"));
        QVERIFY(QtTools::instance()->configMap.isEmpty());
    }
};

QTEST_MAIN(TestNameSetting)
#include "tst_namesetting.moc"
