#include "link/remoteaddress.h"

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
    void host_data();
    void host();
    void port_data();
    void port();
    void remoteOptionConnectsOnceToItsPort();
    void badRemoteOptionExits2_data();
    void badRemoteOptionExits2();

private:
    QProcess *startTool(const QStringList &arguments);
    QTemporaryDir home;
};

void TestRemoteAddress::host_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised"); // empty: refused

    QTest::newRow("plain") << "192.168.1.80" << "192.168.1.80";
    QTest::newRow("leading zeros are decimal") << "192.168.001.080" << "192.168.1.80";
    QTest::newRow("010 last is ten, not octal eight") << "127.0.0.010" << "127.0.0.10";
    QTest::newRow("010 first is ten") << "010.0.0.1" << "10.0.0.1";
    QTest::newRow("0127 is 127") << "0127.0.0.1" << "127.0.0.1";
    QTest::newRow("leading blank") << " 127.0.0.1" << "127.0.0.1";
    QTest::newRow("blanks the mask leaves") << "192.168.1  .80 " << "192.168.1.80";
    QTest::newRow("limits") << "255.255.255.255" << "255.255.255.255";
    QTest::newRow("zeros") << "000.000.000.000" << "0.0.0.0";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("empty mask") << "   .   .   .   " << "";
    QTest::newRow("octet above 255") << "127.0.0.256" << "";
    QTest::newRow("three parts") << "127.0.1" << "";
    QTest::newRow("two parts, inet_aton style") << "127.1" << "";
    QTest::newRow("five parts") << "1.2.3.4.5" << "";
    QTest::newRow("empty part") << "1..2.3" << "";
    QTest::newRow("host name") << "localhost" << "";
    QTest::newRow("hex octet") << "0x7f.0.0.1" << "";
    QTest::newRow("sign") << "+1.2.3.4" << "";
    QTest::newRow("negative") << "1.2.3.-4" << "";
    QTest::newRow("overflowing digits") << "4294967423.0.0.1" << "";
    QTest::newRow("non-ASCII digits") << QString::fromUtf8("١٢٧.0.0.1") << "";
    QTest::newRow("tab") << "127.0.0.1\t" << "";
}

void TestRemoteAddress::host()
{
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    const RemoteAddress::Host host = RemoteAddress::parseHost(text);
    QCOMPARE(host.valid, !normalised.isEmpty());
    QCOMPARE(host.text, normalised);
    if (host.valid) {
        QCOMPARE(host.ipv4, QHostAddress(normalised).toIPv4Address());
        QVERIFY(host.error.isEmpty());
    } else {
        QVERIFY(host.error.contains(QStringLiteral("remote IP")));
    }
}

void TestRemoteAddress::port_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number"); // 0: refused

    QTest::newRow("default") << "8080" << 8080;
    QTest::newRow("leading zero") << "01504" << 1504;
    QTest::newRow("blanks") << " 502 " << 502;
    QTest::newRow("lowest") << "1" << 1;
    QTest::newRow("highest") << "65535" << 65535;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("one above, not wrapped to 0") << "65536" << 0;
    QTest::newRow("70000, not wrapped to 4464") << "70000" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("negative") << "-1" << 0;
    QTest::newRow("trailing letter") << "80a" << 0;
}

void TestRemoteAddress::port()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    const RemoteAddress::Port port = RemoteAddress::parsePort(text);
    QCOMPARE(port.valid, number != 0);
    QCOMPARE(int(port.number), number);
    QCOMPARE(port.error.isEmpty(), port.valid);
}

QProcess *TestRemoteAddress::startTool(const QStringList &arguments)
{
    auto *tool = new QProcess(this);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Settings of its own, never the user's.
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
    tool->setProcessEnvironment(environment);
    tool->start(QStringLiteral(MEROVITEST_PATH), arguments);
    return tool;
}

void TestRemoteAddress::remoteOptionConnectsOnceToItsPort()
{
    QTcpServer defaultPort;
    if (!defaultPort.listen(QHostAddress::LocalHost, 8080))
        QSKIP("127.0.0.1:8080 is taken here");
    QTcpServer given;
    QVERIFY(given.listen(QHostAddress::LocalHost));
    QSignalSpy onDefault(&defaultPort, &QTcpServer::newConnection);
    QSignalSpy onGiven(&given, &QTcpServer::newConnection);

    QProcess *tool = startTool({ QStringLiteral("--remote"),
                                 QStringLiteral("127.0.0.1:%1").arg(given.serverPort()) });
    QVERIFY(tool->waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(onGiven.count(), 1, 20000);
    QTest::qWait(1500);
    QCOMPARE(onGiven.count(), 1);
    QCOMPARE(onDefault.count(), 0);
    tool->kill();
    tool->waitForFinished();
}

void TestRemoteAddress::badRemoteOptionExits2_data()
{
    QTest::addColumn<QString>("remote");
    QTest::newRow("port above 65535") << "127.0.0.1:70000";
    QTest::newRow("empty port") << "127.0.0.1:";
    QTest::newRow("octet above 255") << "127.0.0.256:502";
    QTest::newRow("host name") << "localhost";
}

void TestRemoteAddress::badRemoteOptionExits2()
{
    QFETCH(QString, remote);
    QProcess *tool = startTool({ QStringLiteral("--remote"), remote });
    if (!tool->waitForFinished(20000)) {
        tool->kill();
        tool->waitForFinished();
        QFAIL("the tool kept running");
    }
    QCOMPARE(tool->exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool->exitCode(), 2);
    const QString message = QString::fromUtf8(tool->readAllStandardError());
    QVERIFY2(message.contains(QStringLiteral("merovitest: --remote")), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral(" not ")) || message.contains(QStringLiteral("needs")),
             qPrintable(message));
}

QTEST_GUILESS_MAIN(TestRemoteAddress)
#include "tst_remoteaddress.moc"
