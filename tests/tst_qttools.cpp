#include "QtLibrary/QtTools/qttools.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

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

// Hex texts, the Modbus CRC and the settings file.
class TestQtTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_locations = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
        QVERIFY(!m_locations.isEmpty());
        m_tools = QtTools::instance();
        m_tools->applicationName = QStringLiteral("MeroviTest");
    }

    void init()
    {
        for (const QString &location : qAsConst(m_locations))
            QDir(location).removeRecursively();
        m_tools->configMap.clear();
        m_tools->modified = false;
    }

    // Good hex texts (blanks, either case, an odd final digit dropped) are the fuzz corpus's.
    void badHexText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("non-hex stops, bytes so far kept") << "0103zz05" << QByteArray::fromHex("0103");
        QTest::newRow("non-hex odd final character") << "01x" << QByteArray::fromHex("01");
    }

    void badHexText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        bool converted = true;
        QCOMPARE(QtTools::hexStringToByteArray(text, &converted), bytes);
        QVERIFY(!converted);
    }

    void crc16_data()
    {
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("crc");
        QTest::addColumn<QString>("tcpHeader");

        QTest::newRow("blanks ignored, leading zero kept") << "0103 0004 0004" << "05C8" << "000000000006";
        QTest::newRow("reboot") << "0110fde80001020001" << "5C77" << "000000000009";
        QTest::newRow("empty text, empty CRC") << "" << "" << "000000000000";
    }

    void crc16()
    {
        QFETCH(QString, frame);
        QFETCH(QString, crc);
        QFETCH(QString, tcpHeader);
        QCOMPARE(QtTools::crc16Hex(frame), crc);
        QCOMPARE(QtTools::appendCrc16(frame), frame + crc);
        // The module's replies carry the CRC in lower case.
        QVERIFY(QtTools::checkCrc16(frame, crc.toLower()));
        const QString compact = QString(frame).remove(QLatin1Char(' '));
        QCOMPARE(QtTools::toModbusTcpFrame(compact), tcpHeader + compact);
    }

    void crc16FollowsTheBitwiseRule()
    {
        // One byte reaches every entry of both tables; the bitwise rule is 0xA001 reflected.
        for (int b = 0; b < 256; ++b) {
            const uchar byte = uchar(b);
            quint16 crc = 0xFFFF ^ byte;
            for (int i = 0; i < 8; ++i)
                crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
            // The first wire byte (the low byte) is kept in the high half.
            QCOMPARE(QtTools::crc16(&byte, 1), quint16((crc & 0xFF) << 8 | crc >> 8));
        }
    }

    void settingsLines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("values");

        QTest::newRow("a value may hold colons") << QByteArray("url:http://host:80/x")
                                                 << QStringList{ "url" } << QStringList{ "http://host:80/x" };
        QTest::newRow("a later line replaces, CR kept") << QByteArray("k:first\r\nk:second\r")
                                                        << QStringList{ "k" } << QStringList{ "second\r" };
        const char damaged[] = "a:1\nno colon\n\nnul:x\0y\nbad:\xff\xfe\nc:\x01odd but UTF-8\nhalf:\xe4\xb8\nd:4";
        QTest::newRow("damaged and colon-less lines alone dropped") << QByteArray(damaged, sizeof damaged - 1)
                << QStringList{ "a", "c", "d" } << QStringList{ "1", "\x01odd but UTF-8", "4" };
    }

    void settingsLines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, values);
        QMap<QString, QString> map;
        QtTools::parseConfigText(file, &map);
        QCOMPARE(map.keys(), keys);
        QCOMPARE(map.values(), values);
    }

    void settingsFile()
    {
        // Setting a value it already has changes nothing to write.
        m_tools->configMap.insert(QStringLiteral("a"), QStringLiteral("1"));
        m_tools->setValue(QStringLiteral("a"), QStringLiteral("1"));
        QCOMPARE(m_tools->saveEverything(), int(QtTools::NothingModified));
        QVERIFY(!QFile::exists(path()));
        m_tools->setValue(QStringLiteral("a"), QStringLiteral("2"));
        QCOMPARE(m_tools->saveEverything(), int(QtTools::SavedInCreatedDirectory));
        QCOMPARE(readFile(path()), QByteArray("a:2"));

        // Read and written again, byte for byte: sorted lines, no final line break.
        const QByteArray golden = readFile(QStringLiteral(MEROVI_SOURCE_DIR "/tests/data/configMeroviTest.golden"));
        writeFile(path(), golden);
        m_tools->configMap.clear();
        m_tools->modified = false;
        m_tools->openEverything();
        QVERIFY(!m_tools->modified);
        m_tools->modified = true;
        QVERIFY(QFile::remove(path()));
        QCOMPARE(m_tools->saveEverything(), int(QtTools::SavedInExistingDirectory));
        QCOMPARE(readFile(path()), golden);
    }

    void interruptedSaveKeepsPreviousFile()
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
        QCOMPARE(m_tools->configMap.value(QStringLiteral("a")), QString(4096, QLatin1Char('x')));
    }

private:
    QString directory() const { return m_locations.first(); }
    QString path() const { return directory() + QStringLiteral("/configMeroviTest"); }

    QStringList m_locations;
    QtTools *m_tools = nullptr;
};

QTEST_GUILESS_MAIN(TestQtTools)
#include "tst_qttools.moc"
