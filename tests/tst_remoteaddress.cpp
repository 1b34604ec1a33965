#include "protocol/remoteaddress.h"
#include "tests/toolrun.h"

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

// The module's address as the operator gives it, in the field or with --remote:
// decimal octets whatever their leading zeros, ports that never wrap.
class TestRemoteAddress : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("normalised"); // empty: refused
        QTest::addColumn<int>("number"); // 0: refused

        QTest::newRow("leading zeros are decimal") << "010.168.001.080" << "01504" << "10.168.1.80" << 1504;
        QTest::newRow("blanks the mask leaves") << " 192.168.1  .80 " << " 502 " << "192.168.1.80" << 502;
        QTest::newRow("highest") << "255.255.255.255" << "65535" << "255.255.255.255" << 65535;
        QTest::newRow("lowest") << "000.000.000.000" << "1" << "0.0.0.0" << 1;
        QTest::newRow("empty mask, port 0") << "   .   .   .   " << "0" << "" << 0;
        QTest::newRow("port one above, not wrapped to 0") << "127.0.0.1" << "65536" << "127.0.0.1" << 0;
        QTest::newRow("octet above 255") << "127.0.0.256" << "502" << "" << 502;
        QTest::newRow("two parts, inet_aton style") << "127.1" << "502" << "" << 502;
        QTest::newRow("empty part") << "1..2.3" << "502" << "" << 502;
        QTest::newRow("hex octet") << "0x7f.0.0.1" << "502" << "" << 502;
        QTest::newRow("overflowing digits") << "4294967423.0.0.1" << "502" << "" << 502;
        QTest::newRow("non-ASCII digits") << QString::fromUtf8("١٢٧.0.0.1") << "502" << "" << 502;
    }

    void parse()
    {
        QFETCH(QString, host);
        QFETCH(QString, port);
        QFETCH(QString, normalised);
        QFETCH(int, number);
        const RemoteAddress::Host parsedHost = RemoteAddress::parseHost(host);
        QCOMPARE(parsedHost.valid, !normalised.isEmpty());
        QCOMPARE(parsedHost.text, normalised);
        QCOMPARE(parsedHost.error.isEmpty(), parsedHost.valid);
        if (parsedHost.valid)
            QCOMPARE(parsedHost.ipv4, QHostAddress(normalised).toIPv4Address());
        const RemoteAddress::Port parsedPort = RemoteAddress::parsePort(port);
        QCOMPARE(parsedPort.valid, number != 0);
        QCOMPARE(int(parsedPort.number), number);
        QCOMPARE(parsedPort.error.isEmpty(), parsedPort.valid);
    }

    // HOST[:PORT] as --remote, --check and --find take it.
    void endpoint_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("endpoint"); // empty: refused
        QTest::addColumn<bool>("portGiven");

        QTest::newRow("host alone: the module's factory port") << "192.168.1.80" << "192.168.1.80:8080" << false;
        QTest::newRow("leading zeros") << "127.000.000.001:0502" << "127.0.0.1:502" << true;
        QTest::newRow("colon without a port") << "127.0.0.1:" << "" << true;
        QTest::newRow("two colons") << "127.0.0.1:80:80" << "" << true;
        QTest::newRow("port alone") << ":502" << "" << true;
    }

    void endpoint()
    {
        QFETCH(QString, text);
        QFETCH(QString, endpoint);
        QFETCH(bool, portGiven);
        const RemoteAddress::Endpoint parsed = RemoteAddress::parseEndpoint(text);
        QCOMPARE(parsed.valid(), !endpoint.isEmpty());
        QCOMPARE(parsed.error().isEmpty(), parsed.valid());
        QCOMPARE(parsed.portGiven, portGiven);
        if (parsed.valid())
            QCOMPARE(parsed.text(), endpoint);
    }

    void remoteOptionConnectsOnceToItsPort()
    {
        QTcpServer defaultPort;
        if (!defaultPort.listen(QHostAddress::LocalHost, 8080))
            QSKIP("127.0.0.1:8080 is taken here");
        QTcpServer given;
        QVERIFY(given.listen(QHostAddress::LocalHost));
        QSignalSpy onDefault(&defaultPort, &QTcpServer::newConnection);
        QSignalSpy onGiven(&given, &QTcpServer::newConnection);

        QProcess tool;
        startWindowTool(tool, { QStringLiteral("--remote"), QStringLiteral("127.0.0.1:%1").arg(given.serverPort()) },
                        home.path());
        QVERIFY(tool.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(onGiven.count(), 1, 20000);
        // A second attempt would follow within the 600 ms an edit takes to settle.
        QTest::qWait(1000);
        QCOMPARE(onGiven.count(), 1);
        QCOMPARE(onDefault.count(), 0);
        tool.kill();
        tool.waitForFinished();
    }

    void badRemoteOptionExits2()
    {
        QProcess tool;
        startWindowTool(tool, { QStringLiteral("--remote"), QStringLiteral("127.0.0.1:70000") }, home.path());
        QVERIFY2(tool.waitForFinished(20000), "the tool kept running");
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 2);
        const QString message = QString::fromUtf8(tool.readAllStandardError());
        QVERIFY2(message.contains(QStringLiteral("merovitest: --remote")), qPrintable(message));
    }

private:
    QTemporaryDir home;
};

QTEST_GUILESS_MAIN(TestRemoteAddress)
#include "tst_remoteaddress.moc"
