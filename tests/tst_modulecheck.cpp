#include "simulator/modulesimulator.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// `merovitest --check` against a faulty simulated module over TCP on 127.0.0.1: the
// steps each fault fails, the module left as it was found, and the three reports.
class TestModuleCheck : public QObject
{
    Q_OBJECT

private slots:
    void faultFailsItsSteps_data();
    void faultFailsItsSteps();
};

void TestModuleCheck::faultFailsItsSteps_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("stuckOutput");
    QTest::addColumn<int>("analogOffset"); // of AO1's value register
    QTest::addColumn<QStringList>("failing");
    // Beyond the first output register: Y18 is bit 1 of the second.
    QTest::newRow("stuck relay Y18") << "Switch 20-channel outputs" << 17 << 0
                                     << QStringList{ "Outputs/Y18 on", "Outputs/all on" };
    // Reading back 7 less than it holds, the module cannot be given its value back.
    QTest::newRow("AO1 reads low") << "Analog voltage  2-channel outputs" << -1 << -7
                                   << QStringList{ "Analog outputs/AO1 50 %", "Analog outputs/AO1 100 %",
                                                   "Restore/AO1 registers" };
}

void TestModuleCheck::faultFailsItsSteps()
{
    QFETCH(QString, model);
    QFETCH(int, stuckOutput);
    QFETCH(int, analogOffset);
    QFETCH(QStringList, failing);
    ModuleSimulator module;
    QVERIFY(module.setModel(model));
    if (stuckOutput >= 0) {
        module.core().setStuckOutput(stuckOutput);
        module.setCoil(0, true);
        module.setCoil(16, true);
    } else {
        module.core().setAnalogOffset(1, analogOffset);
        module.setHoldingRegister(0x0009 + 1, 0x0200);
    }
    QVERIFY(module.listenTcp());
    const quint64 outputs = module.outputBits();

    QTemporaryDir dir;
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    tool.setProcessEnvironment(environment);
    tool.start(QStringLiteral(MEROVITEST_PATH),
               { "--check", "--model", model, "--remote", QStringLiteral("127.0.0.1:%1").arg(module.tcpPort()),
                 "--report", dir.filePath("r.html"), "--csv", dir.filePath("r.csv"),
                 "--junit", dir.filePath("r.xml") });
    // The module answers from this thread's event loop.
    QTRY_COMPARE_WITH_TIMEOUT(tool.state(), QProcess::NotRunning, 60000);
    QCOMPARE(tool.exitCode(), 1);
    QCOMPARE(module.outputBits(), outputs);

    // Every step printed and reported, with the same failures in each.
    const QString out = QString::fromUtf8(tool.readAllStandardOutput());
    QStringList printed;
    QRegularExpressionMatchIterator lines =
        QRegularExpression(QStringLiteral("^FAIL (.+) / (.+): expected "), QRegularExpression::MultilineOption)
            .globalMatch(out);
    while (lines.hasNext()) {
        const QRegularExpressionMatch line = lines.next();
        printed << line.captured(1) + QLatin1Char('/') + line.captured(2);
    }
    QCOMPARE(printed, failing);
    QVERIFY2(out.contains(QStringLiteral("\nFAIL: ")), qPrintable(out));
    const auto file = [&dir](const char *name) {
        QFile file(dir.filePath(QLatin1String(name)));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QString csv = file("r.csv"), html = file("r.html"), junit = file("r.xml");
    QCOMPARE(csv.count(QStringLiteral(",fail,")), failing.size());
    QCOMPARE(html.count(QStringLiteral("<tr class=\"fail\">")), failing.size());
    QCOMPARE(junit.count(QStringLiteral("<failure message=\"expected ")), failing.size());
    for (const QString &step : failing) {
        const QString group = step.section(QLatin1Char('/'), 0, 0), name = step.section(QLatin1Char('/'), 1);
        QVERIFY2(csv.contains(QStringLiteral(",FAIL,%1,%2,fail,").arg(group, name)), qPrintable(step));
        QVERIFY2(html.contains(QStringLiteral("<tr class=\"fail\"><td>%1</td><td>%2</td>").arg(group, name)),
                 qPrintable(step));
        QVERIFY2(junit.contains(QRegularExpression(
                     QStringLiteral("classname=\"%1\" name=\"%2\"[^>]*>\\s*<failure ").arg(group, name))),
                 qPrintable(step));
    }
}

QTEST_MAIN(TestModuleCheck)
#include "tst_modulecheck.moc"
