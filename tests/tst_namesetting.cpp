#include "tests/loopbackwindow.h"
#include "QtLibrary/QtTools/qttools.h"
#include "ui/namesetting.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QtTest>

// The channel-name window against the real settings store in a throw-away data
// directory.
class TestNameSetting : public QObject
{
    Q_OBJECT

private:
    QString dataDirectory() const
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    }

    QString configPath() const
    {
        return dataDirectory() + QStringLiteral("/configMeroviTest");
    }

    static QTableWidget *outputs(NameSetting &window)
    {
        return window.findChild<QTableWidget *>(QStringLiteral("tableWidget_Y"));
    }

    static QTableWidget *inputs(NameSetting &window)
    {
        return window.findChild<QTableWidget *>(QStringLiteral("tableWidget_IN"));
    }

    // Clicks save and returns the text of the box it shows.
    static QString save(NameSetting &window)
    {
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton_save")), Qt::LeftButton);
        auto *box = window.findChild<QMessageBox *>();
        if (!box)
            return QStringLiteral("no box");
        const QString text = box->windowTitle() + QLatin1Char('|') + box->text();
        delete box;
        return text;
    }

    // Channel-name keys in the language of the run: "Y3Output ON" or "Y3闭合".
    static QString outputKey(int channel, bool on)
    {
        return QStringLiteral("Y%1").arg(channel)
            + (on ? shown("Output ON", "闭合") : shown("Output OFF", "断开"));
    }

    static QString inputKey(int channel, bool on)
    {
        return QStringLiteral("IN%1").arg(channel)
            + (on ? shown("Input ON", "通") : shown("Input OFF", "断"));
    }

    static QString box(const char *source, const char *chinese)
    {
        return shown("Notice", "通知", "NameSetting") + QLatin1Char('|')
            + shown(source, chinese, "NameSetting");
    }

    QMap<QString, QString> fileContents() const
    {
        QFile file(configPath());
        QMap<QString, QString> map;
        if (file.open(QIODevice::ReadOnly))
            QtTools::parseConfigText(file.readAll(), &map);
        return map;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(installTestLanguage());
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setApplicationName(QStringLiteral("merovitest-namesetting-test"));
    }

    void init()
    {
        QDir(dataDirectory()).removeRecursively();
        QtTools *tools = QtTools::instance();
        tools->configMap.clear();
        tools->modified = false;
        tools->applicationName = QStringLiteral("MeroviTest");
    }

    void cleanupTestCase()
    {
        QDir(dataDirectory()).removeRecursively();
    }

    void freshSettingsShowDefaultsUnderTheirKeys()
    {
        QtTools::instance()->configMap.insert(outputKey(3, true), QStringLiteral("Pump"));
        NameSetting window;
        QTableWidget *y = outputs(window);
        QTableWidget *in = inputs(window);
        QCOMPARE(y->rowCount(), 128);
        QCOMPARE(in->rowCount(), 128);
        QCOMPARE(y->verticalHeaderItem(0)->text(), outputKey(1, false));
        QCOMPARE(y->item(0, 0)->text(), QStringLiteral("Y1"));
        QCOMPARE(y->verticalHeaderItem(5)->text(), outputKey(3, true));
        QCOMPARE(y->item(5, 0)->text(), QStringLiteral("Pump"));
        QCOMPARE(y->item(4, 0)->text(), QStringLiteral("Y3"));
        QCOMPARE(y->verticalHeaderItem(127)->text(), outputKey(64, true));
        QCOMPARE(in->verticalHeaderItem(2)->text(), inputKey(2, false));
        QCOMPARE(in->item(127, 0)->text(), QStringLiteral("IN64"));
    }

    // A name the file holds under the other language's key is shown, and a save
    // writes it under the key of the language shown and updates the old one.
    void nameUnderEitherLanguagesKey_data()
    {
        QTest::addColumn<QString>("key");
        QTest::newRow("written in English") << QStringLiteral("Y3Output ON");
        QTest::newRow("written in Chinese") << QStringLiteral("Y3闭合");
    }

    void nameUnderEitherLanguagesKey()
    {
        QFETCH(QString, key);
        QtTools::instance()->setValue(key, QStringLiteral("Pump"));
        NameSetting window;
        QCOMPARE(outputs(window)->item(5, 0)->text(), QStringLiteral("Pump"));

        outputs(window)->item(5, 0)->setText(QStringLiteral("Fan"));
        QCOMPARE(save(window), box("Names saved", "修改名称成功"));
        const QMap<QString, QString> file = fileContents();
        QCOMPARE(file.value(outputKey(3, true)), QStringLiteral("Fan"));
        QCOMPARE(file.value(key), QStringLiteral("Fan"));
    }

    void savedNameSurvivesTheSettingsFile_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("plain") << QStringLiteral("Pump") << QStringLiteral("Pump");
        QTest::newRow("surrounding blanks are trimmed") << QStringLiteral("  Pump 2  ") << QStringLiteral("Pump 2");
        QTest::newRow("colon in the name") << QStringLiteral("Pump: main") << QStringLiteral("Pump: main");
        QTest::newRow("two colons") << QStringLiteral("a:b:c") << QStringLiteral("a:b:c");
        QTest::newRow("Chinese") << QStringLiteral("水泵一") << QStringLiteral("水泵一");
        QTest::newRow("line break cannot split the file") << QStringLiteral("Pump\nY9:x") << QStringLiteral("Pump Y9:x");
    }

    void savedNameSurvivesTheSettingsFile()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);

        NameSetting window;
        QSignalSpy saved(&window, &NameSetting::saveSuccess);
        outputs(window)->item(1, 0)->setText(typed);
        inputs(window)->item(0, 0)->setText(typed);
        QCOMPARE(save(window), box("Names saved", "修改名称成功"));
        QCOMPARE(saved.count(), 1);

        const QMap<QString, QString> file = fileContents();
        QCOMPARE(file.value(outputKey(1, true)), stored);
        QCOMPARE(file.value(inputKey(1, false)), stored);
        QCOMPARE(file.value(outputKey(1, false)), QStringLiteral("Y1"));
        QCOMPARE(file.size(), 256);

        // A restart of the tool: the map comes from the file alone.
        QtTools::instance()->configMap.clear();
        QtTools::instance()->openEverything();
        NameSetting reopened;
        QCOMPARE(outputs(reopened)->item(1, 0)->text(), stored);
        QCOMPARE(inputs(reopened)->item(0, 0)->text(), stored);
    }

    void clearedCellKeepsTheStoredName()
    {
        QtTools::instance()->setValue(outputKey(2, false), QStringLiteral("Fan"));
        NameSetting window;
        outputs(window)->item(2, 0)->setText(QStringLiteral("   "));
        QCOMPARE(save(window), box("Names saved", "修改名称成功"));
        QCOMPARE(QtTools::instance()->configMap.value(outputKey(2, false)), QStringLiteral("Fan"));
        QCOMPARE(fileContents().value(outputKey(2, false)), QStringLiteral("Fan"));
    }

    void failedSaveIsReportedAndNotAnnounced_data()
    {
        QTest::addColumn<bool>("blockFile");
        QTest::addColumn<QString>("applicationName");
        QTest::newRow("settings file cannot be written") << true << QStringLiteral("MeroviTest");
        QTest::newRow("no application name") << false << QString();
    }

    void failedSaveIsReportedAndNotAnnounced()
    {
        QFETCH(bool, blockFile);
        QFETCH(QString, applicationName);

        // A directory where the file should be cannot be opened for writing, not even by root.
        if (blockFile)
            QVERIFY(QDir().mkpath(configPath()));
        QtTools::instance()->applicationName = applicationName;

        NameSetting window;
        QSignalSpy saved(&window, &NameSetting::saveSuccess);
        outputs(window)->item(0, 0)->setText(QStringLiteral("Valve"));
        QCOMPARE(save(window), box("Names not saved", "修改名称失败"));
        QCOMPARE(saved.count(), 0);
        // The name stays in memory for a later attempt.
        QCOMPARE(QtTools::instance()->configMap.value(outputKey(1, false)), QStringLiteral("Valve"));
    }

    void cancelDropsUnsavedEdits()
    {
        NameSetting window;
        window.show();
        outputs(window)->item(0, 0)->setText(QStringLiteral("Lamp"));
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton_cacel")), Qt::LeftButton);
        QVERIFY(window.isHidden());
        QVERIFY(QtTools::instance()->configMap.isEmpty());
        QVERIFY(!QFile::exists(configPath()));

        // Shown again, the window holds what is stored, and a save keeps the old name.
        window.show();
        QCOMPARE(outputs(window)->item(0, 0)->text(), QStringLiteral("Y1"));
        QCOMPARE(save(window), box("Names saved", "修改名称成功"));
        QCOMPARE(fileContents().value(outputKey(1, false)), QStringLiteral("Y1"));
    }
};

QTEST_MAIN(TestNameSetting)
#include "tst_namesetting.moc"
