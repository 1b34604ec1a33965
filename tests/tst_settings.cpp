#include "QtLibrary/QtTools/qttools.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

QStringList messages;

void recordMessage(QtMsgType, const QMessageLogContext &context, const QString &message)
{
    messages << QString::fromLatin1(context.category) + QLatin1Char('|') + message;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void unmodifiedSaveWritesNothing();
    void writesSortedLinesWithoutFinalBreak();
    void createsMissingDirectory();
    void readsOldFilesAndColonValues();
    void laterLineReplacesEarlier();
    void damagedLinesAloneAreDropped();
    void goldenFileRoundTrip();
    void missingFileReportsAndKeepsMap();
    void noDirectoryReported();
    void unwritableTargetReportsFailure();
    void interruptedSaveKeepsPreviousFile();
    void diagnosticLineFormat();

private:
    QString directory() const { return m_locations.first(); }
    QString path() const { return directory() + QStringLiteral("/configMeroviTest"); }

    QStringList m_locations;
    QtTools *m_tools = nullptr;
};

void TestSettings::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    m_locations = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    QVERIFY(!m_locations.isEmpty());
    m_tools = QtTools::instance();
}

void TestSettings::init()
{
    for (const QString &location : qAsConst(m_locations))
        QDir(location).removeRecursively();
    m_tools->applicationName = QStringLiteral("MeroviTest");
    m_tools->configMap.clear();
    m_tools->modified = false;
    messages.clear();
}

void TestSettings::cleanup()
{
    qInstallMessageHandler(nullptr);
    for (const QString &location : qAsConst(m_locations))
        QDir(location).removeRecursively();
}

void TestSettings::unmodifiedSaveWritesNothing()
{
    m_tools->configMap.insert(QStringLiteral("a"), QStringLiteral("1"));
    QCOMPARE(m_tools->saveEverything(), int(QtTools::NothingModified));
    QVERIFY(!QFile::exists(path()));

    m_tools->setValue(QStringLiteral("a"), QStringLiteral("1"));
    m_tools->applicationName.clear();
    QCOMPARE(m_tools->saveEverything(), int(QtTools::NoApplicationName));
}

void TestSettings::writesSortedLinesWithoutFinalBreak()
{
    QVERIFY(QDir().mkpath(directory()));
    m_tools->setValue(QStringLiteral("b"), QStringLiteral("2"));
    m_tools->setValue(QStringLiteral("a"), QStringLiteral("1"));
    QCOMPARE(m_tools->saveEverything(), int(QtTools::SavedInExistingDirectory));
    QCOMPARE(readFile(path()), QByteArray("a:1\nb:2"));
    // Saving does not clear the modified flag: a second save writes again.
    QCOMPARE(m_tools->saveEverything(), int(QtTools::SavedInExistingDirectory));
}

void TestSettings::createsMissingDirectory()
{
    m_tools->setValue(QStringLiteral("Y1Output ON"), QStringLiteral("Pump"));
    QCOMPARE(m_tools->saveEverything(), int(QtTools::SavedInCreatedDirectory));
    QCOMPARE(readFile(path()), QByteArray("Y1Output ON:Pump"));
}

void TestSettings::readsOldFilesAndColonValues()
{
    QVERIFY(QDir().mkpath(directory()));
    writeFile(path(), "a:1\nno colon here\n\nurl:http://host:80/x\ntrail:kept  \nlast:v");
    m_tools->configMap.insert(QStringLiteral("kept"), QStringLiteral("from memory"));
    m_tools->openEverything();
    QCOMPARE(m_tools->configMap.value(QStringLiteral("a")), QString("1"));
    QCOMPARE(m_tools->configMap.value(QStringLiteral("url")), QString("http://host:80/x"));
    QCOMPARE(m_tools->configMap.value(QStringLiteral("trail")), QString("kept  "));
    QCOMPARE(m_tools->configMap.value(QStringLiteral("last")), QString("v"));
    QCOMPARE(m_tools->configMap.value(QStringLiteral("kept")), QString("from memory"));
    QVERIFY(!m_tools->configMap.contains(QStringLiteral("no colon here")));
    QCOMPARE(m_tools->configMap.size(), 5);
    QVERIFY(!m_tools->modified);
}

void TestSettings::laterLineReplacesEarlier()
{
    QMap<QString, QString> map;
    QtTools::parseConfigText("k:first\r\nk:second", &map);
    QCOMPARE(map.value(QStringLiteral("k")), QString("second"));
    QtTools::parseConfigText("k:first\r\n", &map);
    QCOMPARE(map.value(QStringLiteral("k")), QString("first\r"));
}

void TestSettings::damagedLinesAloneAreDropped()
{
    QVERIFY(QDir().mkpath(directory()));
    const char damaged[] = "a:1\nnul:x\0y\nb:2\nbad:\xff\xfe\nc:\x01odd but UTF-8\nhalf:\xe4\xb8\nd:4";
    writeFile(path(), QByteArray(damaged, sizeof damaged - 1));
    m_tools->openEverything();
    m_tools->modified = true;
    QCOMPARE(m_tools->saveEverything(), 1);
    QCOMPARE(readFile(path()), QByteArray("a:1\nb:2\nc:\x01odd but UTF-8\nd:4"));
}

void TestSettings::goldenFileRoundTrip()
{
    const QByteArray golden = readFile(QStringLiteral(MEROVI_SOURCE_DIR "/tests/data/configMeroviTest.golden"));
    QVERIFY(!golden.isEmpty());
    QVERIFY(QDir().mkpath(directory()));
    writeFile(path(), golden);
    m_tools->openEverything();
    QCOMPARE(m_tools->configMap.value(QStringLiteral("Y1Output OFF")), QString("Pump: off "));
    QCOMPARE(m_tools->configMap.value(QString::fromUtf8("地址[1]")), QString("Bench A"));
    m_tools->modified = true;
    QVERIFY(QFile::remove(path()));
    QCOMPARE(m_tools->saveEverything(), int(QtTools::SavedInExistingDirectory));
    QCOMPARE(readFile(path()), golden);
}

void TestSettings::missingFileReportsAndKeepsMap()
{
    QVERIFY(QDir().mkpath(directory()));
    qInstallMessageHandler(recordMessage);
    m_tools->openEverything();
    qInstallMessageHandler(nullptr);
    QVERIFY(m_tools->configMap.isEmpty());
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.first().contains(QString::fromUtf8("打开配置 失败 !file.open(QIODevice::ReadWrite)===")));
}

void TestSettings::noDirectoryReported()
{
    qInstallMessageHandler(recordMessage);
    m_tools->openEverything();
    qInstallMessageHandler(nullptr);
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.first().contains(QString::fromUtf8(" 能运行到这里,说明打开文件,文件打不开!")));
}

void TestSettings::unwritableTargetReportsFailure()
{
    // A directory where the file should be: the file cannot be written.
    QVERIFY(QDir().mkpath(path()));
    m_tools->setValue(QStringLiteral("a"), QStringLiteral("1"));
    QVERIFY(m_tools->saveEverything() < 1);
    QCOMPARE(m_tools->saveEverything(), int(QtTools::FileNotWritten));
    QCOMPARE(m_tools->configMap.value(QStringLiteral("a")), QString("1"));
}

void TestSettings::interruptedSaveKeepsPreviousFile()
{
    QVERIFY(QDir().mkpath(directory()));
    writeFile(path(), "a:old");
    m_tools->setValue(QStringLiteral("a"), QString(4096, QLatin1Char('x')));

    // A disk that fills up mid-save: writes beyond 64 bytes fail (root ignores
    // permissions, but not the file size limit).
    rlimit saved;
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int status = m_tools->saveEverything();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(status, int(QtTools::FileNotWritten));
    QCOMPARE(readFile(path()), QByteArray("a:old"));
    QCOMPARE(QDir(directory()).entryList(QDir::Files), QStringList({ "configMeroviTest" }));
}

void TestSettings::diagnosticLineFormat()
{
    QVERIFY(QDir().mkpath(directory()));
    m_tools->setValue(QStringLiteral("a"), QStringLiteral("1"));
    qInstallMessageHandler(recordMessage);
    m_tools->saveEverything();
    qInstallMessageHandler(nullptr);
    QCOMPARE(messages.size(), 1);
    const QString line = messages.first();
    QVERIFY2(line.startsWith(QStringLiteral("default|\033[31mQtLibrary/QtTools/QtTools->\033[1m\033[35m[saveConfig]\033[36m[")), qPrintable(line));
    QVERIFY(line.contains(QStringLiteral("]\033[0m \033[34m ")));
    QVERIFY(line.contains(QString::fromUtf8("保存配置  成功 config===== \"") + path() + QLatin1Char('"')));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
