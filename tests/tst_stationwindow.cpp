#include "QtLibrary/QtTools/qttools.h"
#include "simulator/modulesimulator.h"
#include "tests/loopbackwindow.h"
#include "ui/stationwindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

// The production station against a simulated module over TCP on 127.0.0.1: a board that
// fails, and every way a scan can end without a good record, shown red and never PASS (a
// shift of checked boards is in tst_shownfigures).
class TestStationWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void notPassed_data();
    void notPassed();

private:
    static constexpr const char *kModel = "Switch  4-channel outputs";
    QTemporaryDir m_dir;
};

void TestStationWindow::initTestCase()
{
    QVERIFY(installTestLanguage());
    QVERIFY(m_dir.isValid());
    // The settings file is this program's own.
    QtTools::instance()->applicationName = QStringLiteral("MeroviTest-tst_stationwindow");
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
}

void TestStationWindow::notPassed_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("headline");
    QTest::addColumn<QString>("detail");
    QTest::newRow("no model chosen, module not in the catalogue") << "identification" << "NOT IDENTIFIED"
                                                                   << "is not in the catalogue";
    QTest::newRow("module says it is another model") << "other model" << "WRONG MODEL"
                                                     << "Switch 64-channel outputs";
    QTest::newRow("damaged results file") << "damaged store" << "NOT RECORDED" << "not recorded";
    // Failed steps as the operator reads them: "输出 / Y2 闭合" in Chinese.
    QTest::newRow("relay Y1 stuck") << "stuck output" << "FAIL"
                                    << shown("Outputs", " 输出 ", "CheckTexts") + QStringLiteral(" / Y2 ")
                                           + shown("on", " 闭合 ", "CheckTexts");
}

void TestStationWindow::notPassed()
{
    QFETCH(QString, fault);
    QFETCH(QString, headline);
    QFETCH(QString, detail);
    ModuleSimulator module;
    QVERIFY(module.setModel(QLatin1String(kModel)));
    if (fault == QLatin1String("other model"))
        module.setTypeCode(220);
    const bool failed = fault == QLatin1String("stuck output");
    if (failed)
        module.core().setStuckOutput(1);
    QVERIFY(module.listenTcp());
    const quint64 outputs = module.outputBits();
    const QString reports = m_dir.filePath(QStringLiteral("reports of ") + fault);
    QString results = m_dir.filePath(QStringLiteral("not-checked.sqlite"));
    if (fault == QLatin1String("damaged store")) {
        results = m_dir.filePath(QStringLiteral("damaged.sqlite"));
        QFile damaged(results);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(8192, '\x33'));
    }
    QtTools *tools = QtTools::instance();
    tools->setValue(QLatin1String(StationWindow::kLinkKey), QStringLiteral("tcp"));
    tools->setValue(QLatin1String(StationWindow::kHostKey), QStringLiteral("127.0.0.1"));
    tools->setValue(QLatin1String(StationWindow::kPortKey), QString::number(module.tcpPort()));
    tools->setValue(QLatin1String(StationWindow::kModelKey),
                    fault == QLatin1String("identification") ? QString() : QLatin1String(kModel));
    tools->setValue(QLatin1String(StationWindow::kReportFolderKey), reports);
    tools->setValue(QLatin1String(StationWindow::kResultsKey), results);
    tools->setValue(QLatin1String(StationWindow::kNameKey), QStringLiteral("line 1 station 3"));
    tools->setValue(QLatin1String(StationWindow::kOperatorKey), QStringLiteral("Wang Fang"));
    StationWindow station;
    station.show();
    QVERIFY(QTest::qWaitForWindowActive(&station));
    QSignalSpy finished(&station, &StationWindow::scanFinished);
    QTimer answer;
    connect(&answer, &QTimer::timeout, []() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    answer.start(20);
    // A barcode scanner: the number typed, then Enter.
    QLineEdit *field = station.findChild<QLineEdit *>(QStringLiteral("lineEdit_serialNumber"));
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClicks(field, QStringLiteral("SN-") + fault);
    QTest::keyClick(field, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QLabel *verdict = station.findChild<QLabel *>(QStringLiteral("label_verdict"));
    QCOMPARE(verdict->property("verdict").toString(), failed ? QStringLiteral("fail") : QStringLiteral("error"));
    QListWidget *details = station.findChild<QListWidget *>(QStringLiteral("listWidget_details"));
    QVERIFY(details->count() > 0);
    if (failed)
        QVERIFY2(details->item(0)->text().startsWith(detail), qPrintable(details->item(0)->text()));
    else if (Language::current() != Language::kChinese)
        QVERIFY2(details->item(0)->text().contains(detail, Qt::CaseInsensitive), qPrintable(details->item(0)->text()));
    if (Language::current() != Language::kChinese)
        QCOMPARE(verdict->text(), headline);
    // Only a board that was checked counts in the shift's figures.
    const bool checked = failed || fault == QLatin1String("damaged store");
    QCOMPARE(station.findChild<QLabel *>(QStringLiteral("label_tested"))->text(),
             shown("Tested %1", " 已测 %1 ", "StationWindow").arg(checked ? 1 : 0));
    if (!checked)
        QCOMPARE(module.outputBits(), outputs);
    else
        QCOMPARE(QDir(reports).entryList(QDir::Files).size(), 2);
}

QTEST_MAIN(TestStationWindow)
#include "tst_stationwindow.moc"
