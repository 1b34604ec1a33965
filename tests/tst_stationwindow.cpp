#include "QtLibrary/QtTools/qttools.h"
#include "check/resultsstore.h"
#include "simulator/modulesimulator.h"
#include "tests/loopbackwindow.h"
#include "ui/stationwindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

// The production station against simulated modules over TCP on 127.0.0.1: two boards
// scanned one after the other, with verdicts, report files, the record and the shift
// figures; and every way a scan can end without a check, shown red and never PASS.
class TestStationWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void twoBoards();
    void notChecked_data();
    void notChecked();

private:
    void configure(quint16 port, const QString &model, const QString &results);
    void scan(StationWindow *station, const QString &serial);
    template<typename T> T *child(QWidget *station, const char *name)
    {
        return station->findChild<T *>(QLatin1String(name));
    }

    static constexpr const char *kModel = "Switch  4-channel outputs";
    QTemporaryDir m_dir;
    QString m_reports;
};

void TestStationWindow::initTestCase()
{
    QVERIFY(installTestLanguage());
    QVERIFY(m_dir.isValid());
    // The settings file is this program's own.
    QtTools::instance()->applicationName = QStringLiteral("MeroviTest-tst_stationwindow");
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
}

void TestStationWindow::init()
{
    m_reports = m_dir.filePath(QStringLiteral("reports-%1").arg(QTest::currentDataTag()).replace(QLatin1Char(' '), QLatin1Char('_')));
}

void TestStationWindow::configure(quint16 port, const QString &model, const QString &results)
{
    QtTools *tools = QtTools::instance();
    tools->setValue(QLatin1String(StationWindow::kLinkKey), QStringLiteral("tcp"));
    tools->setValue(QLatin1String(StationWindow::kHostKey), QStringLiteral("127.0.0.1"));
    tools->setValue(QLatin1String(StationWindow::kPortKey), QString::number(port));
    tools->setValue(QLatin1String(StationWindow::kModelKey), model);
    tools->setValue(QLatin1String(StationWindow::kReportFolderKey), m_reports);
    tools->setValue(QLatin1String(StationWindow::kResultsKey), results);
    tools->setValue(QLatin1String(StationWindow::kNameKey), QStringLiteral("line 1 station 3"));
    tools->setValue(QLatin1String(StationWindow::kOperatorKey), QStringLiteral("Wang Fang"));
}

// A barcode scanner: the number typed, then Enter.
void TestStationWindow::scan(StationWindow *station, const QString &serial)
{
    QLineEdit *field = child<QLineEdit>(station, "lineEdit_serialNumber");
    QTRY_VERIFY(field->hasFocus());
    QTest::keyClicks(field, serial);
    QTest::keyClick(field, Qt::Key_Return);
}

void TestStationWindow::twoBoards()
{
    ModuleSimulator good, bad;
    for (ModuleSimulator *module : { &good, &bad }) {
        QVERIFY(module->setModel(QLatin1String(kModel)));
        QVERIFY(module->listenTcp());
    }
    bad.core().setStuckOutput(1);
    const QString results = m_dir.filePath(QStringLiteral("station.sqlite"));
    configure(good.tcpPort(), QLatin1String(kModel), QStringLiteral("sqlite:") + results);
    StationWindow station;
    station.show();
    QVERIFY(QTest::qWaitForWindowActive(&station));
    QSignalSpy finished(&station, &StationWindow::scanFinished);
    QLabel *verdict = child<QLabel>(&station, "label_verdict");

    // Armed once: the first scan asks, and is answered yes.
    bool asked = false;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&asked]() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            asked = true;
            box->button(QMessageBox::Yes)->click();
        }
    });
    answer.start(20);
    const QString firstSerial = QStringLiteral("MV 0001/A");
    scan(&station, firstSerial);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QVERIFY(asked);
    QCOMPARE(verdict->property("verdict").toString(), QStringLiteral("pass"));
    QCOMPARE(verdict->text(), shown("PASS", " 合格 ", "StationWindow"));
    QCOMPARE(child<QLineEdit>(&station, "lineEdit_serialNumber")->text(), QString());

    // The second board does not ask again, and fails.
    asked = false;
    child<QSpinBox>(&station, "spinBox_port")->setValue(bad.tcpPort());
    scan(&station, QStringLiteral("MV-0002"));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 60000);
    QVERIFY(!asked);
    QCOMPARE(verdict->property("verdict").toString(), QStringLiteral("fail"));
    QCOMPARE(verdict->text(), shown("FAIL", " 不合格 ", "StationWindow"));
    QListWidget *details = child<QListWidget>(&station, "listWidget_details");
    QVERIFY(details->count() > 0);
    // In the operator's language: "输出 / Y2 闭合" in Chinese.
    QVERIFY2(details->item(0)->text().startsWith(shown("Outputs", " 输出 ", "CheckTexts") + QStringLiteral(" / Y2 ")
                                                 + shown("on", " 闭合 ", "CheckTexts")),
             qPrintable(details->item(0)->text()));

    // Reports under the serial number, unsafe characters replaced.
    const QStringList files = QDir(m_reports).entryList(QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 4);
    const QRegularExpression name(QStringLiteral("^(MV_0001_A|MV-0002)_\\d{8}-\\d{6}\\.(html|xml)$"));
    for (const QString &file : files)
        QVERIFY2(name.match(file).hasMatch(), qPrintable(file));

    // Recorded under the exact serial, by the station and operator set.
    ResultsStore store(StoreLocation::parse(results));
    QVector<RunRecord> runs;
    QString error;
    QVERIFY2(store.history(firstSerial, &runs, &error), qPrintable(error));
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.at(0).verdict, QStringLiteral("PASS"));
    QCOMPARE(runs.at(0).station, QStringLiteral("line 1 station 3"));
    QCOMPARE(runs.at(0).operatorName, QStringLiteral("Wang Fang"));
    QVERIFY(files.contains(QFileInfo(runs.at(0).htmlReport).fileName()));
    QVERIFY(store.history(QStringLiteral("MV-0002"), &runs, &error));
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs.at(0).verdict, QStringLiteral("FAIL"));

    QCOMPARE(child<QLabel>(&station, "label_tested")->text(), shown("Tested %1", " 已测 %1 ", "StationWindow").arg(2));
    QCOMPARE(child<QLabel>(&station, "label_passed")->text(), shown("Passed %1", " 合格 %1 ", "StationWindow").arg(1));
    QCOMPARE(child<QLabel>(&station, "label_failed")->text(), shown("Failed %1", " 不合格 %1 ", "StationWindow").arg(1));
    QCOMPARE(child<QLabel>(&station, "label_yield")->text(),
             shown("First-pass yield %1 %", " 一次通过率 %1 % ", "StationWindow").arg(QStringLiteral("50.0")));
}

void TestStationWindow::notChecked_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("headline");
    QTest::addColumn<QString>("detail");
    QTest::newRow("nothing listens") << "closed port" << "NO CONNECTION" << "";
    QTest::newRow("no model chosen, module not in the catalogue") << "identification" << "NOT IDENTIFIED"
                                                                   << "is not in the catalogue";
    QTest::newRow("module says it is another model") << "other model" << "WRONG MODEL"
                                                     << "Switch 64-channel outputs";
    QTest::newRow("damaged results file") << "damaged store" << "NOT RECORDED" << "not recorded";
}

void TestStationWindow::notChecked()
{
    QFETCH(QString, fault);
    QFETCH(QString, headline);
    QFETCH(QString, detail);
    ModuleSimulator module;
    QVERIFY(module.setModel(QLatin1String(kModel)));
    if (fault == QLatin1String("other model"))
        module.setTypeCode(220);
    QVERIFY(module.listenTcp());
    const quint64 outputs = module.outputBits();
    QString results = m_dir.filePath(QStringLiteral("not-checked.sqlite"));
    if (fault == QLatin1String("damaged store")) {
        results = m_dir.filePath(QStringLiteral("damaged.sqlite"));
        QFile damaged(results);
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write(QByteArray(8192, '\x33'));
    }
    configure(fault == QLatin1String("closed port") ? closedLocalPort() : module.tcpPort(),
              fault == QLatin1String("identification") ? QString() : QLatin1String(kModel), results);
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
    scan(&station, QStringLiteral("SN-") + fault);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 60000);
    QLabel *verdict = child<QLabel>(&station, "label_verdict");
    QCOMPARE(verdict->property("verdict").toString(), QStringLiteral("error"));
    QVERIFY2(verdict->text() != shown("PASS", " 合格 ", "StationWindow"), qPrintable(verdict->text()));
    QListWidget *details = child<QListWidget>(&station, "listWidget_details");
    QVERIFY(details->count() > 0);
    if (Language::current() != Language::kChinese) {
        QCOMPARE(verdict->text(), headline);
        QVERIFY2(details->item(0)->text().contains(detail, Qt::CaseInsensitive), qPrintable(details->item(0)->text()));
    }
    // Only a board that was checked counts in the shift's figures.
    const bool checked = fault == QLatin1String("damaged store");
    QCOMPARE(child<QLabel>(&station, "label_tested")->text(),
             shown("Tested %1", " 已测 %1 ", "StationWindow").arg(checked ? 1 : 0));
    if (!checked)
        QCOMPARE(module.outputBits(), outputs);
    else
        QCOMPARE(QDir(m_reports).entryList(QDir::Files).size(), 2);
}

QTEST_MAIN(TestStationWindow)
#include "tst_stationwindow.moc"
