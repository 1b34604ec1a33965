#include "tests/loopbackwindow.h"
#include "protocol/modelcatalogue.h"
#include "simulator/modulesimulator.h"
#include "ui/applicationfont.h"
#include "ui/communicationtimeout.h"
#include "ui/helpwidget.h"
#include "ui/mainwindow.h"
#include "ui/modulecheckwindow.h"
#include "ui/namesetting.h"
#include "ui/networkwindow.h"
#include "ui/stationwindow.h"
#include "ui/trafficview.h"
#include "ui/trafficviews.h"
#include "ui/trendview.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QPushButton>
#include <QScrollArea>
#include <QTextEdit>
#include <QtTest>

#include <cmath>

// Pictures of the window for the README, taken on the simulated module over
// 127.0.0.1: scripts/screenshots runs this program.

namespace {

QString outputDirectory;

void settle(int ms = 400)
{
    QTest::qWait(ms);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

bool save(QWidget *widget, const char *name)
{
    settle(100);
    const QString path = QDir(outputDirectory).filePath(QLatin1String(name) + QStringLiteral(".png"));
    const bool saved = widget->grab().save(path);
    qInfo().noquote() << (saved ? "wrote" : "FAILED") << path << widget->size();
    return saved;
}

void choose(MainWindow *window, const char *model)
{
    window->modelAction(ModelCatalogue::indexOf(QString::fromUtf8(model)))->trigger();
    settle(1500);
}

template<typename T>
T *topLevel()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *widget : windows) {
        if (auto *found = qobject_cast<T *>(widget); found && found->isVisible())
            return found;
    }
    return nullptr;
}

// The production station after two boards: the first passed, the second has a stuck Y2.
int stationPicture(const QSize &size)
{
    QTemporaryDir dir;
    ModuleSimulator good, bad;
    for (ModuleSimulator *module : { &good, &bad }) {
        module->setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs"));
        if (!module->listenTcp(0))
            return 1;
    }
    bad.core().setStuckOutput(1);
    QtTools *tools = QtTools::instance();
    tools->setValue(QLatin1String(StationWindow::kHostKey), QStringLiteral("127.0.0.1"));
    tools->setValue(QLatin1String(StationWindow::kPortKey), QString::number(good.tcpPort()));
    tools->setValue(QLatin1String(StationWindow::kModelKey),
                    QStringLiteral("Switch 32-channel outputs 16-channel inputs"));
    tools->setValue(QLatin1String(StationWindow::kReportFolderKey), dir.filePath(QStringLiteral("reports")));
    tools->setValue(QLatin1String(StationWindow::kResultsKey), dir.filePath(QStringLiteral("results.sqlite")));
    tools->setValue(QLatin1String(StationWindow::kNameKey), QStringLiteral("line 1 station 3"));
    tools->setValue(QLatin1String(StationWindow::kOperatorKey), QStringLiteral("Wang Fang"));
    StationWindow station;
    station.setGeometry(QRect(QPoint(0, 0), size));
    station.show();
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, []() {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    answer.start(50);
    auto *field = station.findChild<QLineEdit *>(QStringLiteral("lineEdit_serialNumber"));
    const auto scan = [&](const QString &serial) {
        QTest::keyClicks(field, serial);
        QTest::keyClick(field, Qt::Key_Return);
        // The first scan asks first: the run starts once the question is answered.
        return QTest::qWaitFor([&station]() { return station.busy(); }, 10000)
            && QTest::qWaitFor([&station]() { return !station.busy(); }, 60000);
    };
    settle(1000);
    if (!scan(QStringLiteral("MV-00231")))
        return 1;
    station.findChild<QSpinBox *>(QStringLiteral("spinBox_port"))->setValue(bad.tcpPort());
    if (!scan(QStringLiteral("MV-00232")))
        return 1;
    // Held a while, so the screen can be taken from outside as well.
    settle(qEnvironmentVariableIntValue("MEROVI_STATION_HOLD_MS"));
    return save(&station, "station") ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    ApplicationFont::install();
    // MEROVI_TEST_LANGUAGE=zh takes the pictures of the Chinese interface.
    if (!installTestLanguage())
        return 1;
    outputDirectory = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(outputDirectory);
    const QSize windowSize = argc > 3 ? QSize(QString::fromLatin1(argv[2]).toInt(), QString::fromLatin1(argv[3]).toInt())
                                      : QSize(1366, 740);

    if (argc > 4 && qstrcmp(argv[4], "station") == 0)
        return stationPicture(windowSize);

    ModuleSimulator module;
    module.setModel(QStringLiteral("Switch 32-channel outputs 16-channel inputs"));
    if (!module.listenTcp(0))
        return 1;
    MainWindow *window = newLoopbackWindow(module.tcpPort());
    window->setGeometry(QRect(QPoint(0, 0), windowSize));
    window->show();
    if (!QTest::qWaitFor([window]() { return window->session()->link() == LinkKind::Tcp; }, 10000))
        return 1;
    int failures = 0;

    choose(window, "Switch 32-channel outputs 16-channel inputs");
    for (int channel : { 0, 3, 4, 9 })
        window->switchOutputs()->buttons().at(channel)->click();
    module.setInputPattern(0x8421);
    settle(1500);
    failures += !save(window, "switch-outputs-inputs");

    // A module check of a board whose Y3 relay ignores what it is told.
    module.core().setStuckOutput(2);
    window->action(QStringLiteral("moduleCheckAction"))->trigger();
    if (auto *box = window->findChild<QMessageBox *>(QStringLiteral("moduleCheckConfirmBox")))
        box->button(QMessageBox::Yes)->click();
    if (QTest::qWaitFor([]() { return topLevel<ModuleCheckWindow>() != nullptr; }, 30000)) {
        ModuleCheckWindow *results = topLevel<ModuleCheckWindow>();
        results->resize(1100, 600);
        failures += !save(results, "module-check");
        results->close();
    } else {
        ++failures;
    }
    module.core().clearModuleFaults();

    window->action(QStringLiteral("action_timeout"))->trigger();
    settle(1000);
    if (auto *timeout = topLevel<CommunicationTimeout>()) {
        // Written back as read: the window shows the module's answer beside OK.
        timeout->findChild<QPushButton *>(QStringLiteral("pushButton_ok"))->click();
        settle(1000);
        timeout->findChild<QScrollArea *>()->ensureWidgetVisible(
            timeout->findChild<QWidget *>(QStringLiteral("label_answer")));
        failures += !save(timeout, "timeout-setting");
        timeout->close();
    } else {
        ++failures;
    }
    window->action(QStringLiteral("action_networkParameters"))->trigger();
    settle();
    NetworkWindow *network = openWindows<NetworkWindow>().value(0);
    if (network) {
        network->findChild<QPushButton *>(QStringLiteral("switchBt_netWorkParameter_get"))->click();
        settle(1000);
    }
    failures += !(network && save(network, "network-parameters"));
    if (network)
        network->close();
    window->action(QStringLiteral("action_nameSetting"))->trigger();
    settle();
    NameSetting *names = openWindows<NameSetting>().value(0);
    failures += !(names && save(names, "name-setting"));
    if (names)
        names->close();
    window->action(QStringLiteral("action_help"))->trigger();
    settle();
    if (auto *help = topLevel<HelpWidget>()) {
        failures += !save(help, "help");
        help->close();
    } else {
        ++failures;
    }

    // The module is still the switch board: the analog model is the wrong one.
    choose(window, "Analog voltage  8-channel outputs");
    failures += !save(window, "wrong-model");

    module.setModel(QStringLiteral("Analog voltage  8-channel outputs"));
    choose(window, "Analog voltage  8-channel outputs");
    failures += !save(window, "analog-outputs");

    module.setModel(QStringLiteral("Analog current 16-channel inputs"));
    choose(window, "Analog current 16-channel inputs");
    window->findChild<QPushButton *>(QStringLiteral("pushButton_check_analog_in"))->click();
    settle(1500);
    failures += !save(window, "analog-inputs");

    // A 4–20 mA input moving: AI0 swings while the trend follows, AI2 is pinned at 4 mA.
    {
        TrendView *trend = window->trafficViews()->trendView();
        trend->setWindowMinutes(1);
        window->trafficViews()->trendAction()->trigger();
        trend->resize(1300, 700);
        int step = 0;
        QTimer vary;
        QObject::connect(&vary, &QTimer::timeout, [&module, &step]() {
            module.setAnalogInputValue(0, quint16(12000 + 7000 * std::sin(step++ * 0.12)));
        });
        module.setAnalogInputValue(2, 4000);
        vary.start(250);
        settle(25000);
        vary.stop();
        for (int i = 0; i < 16; ++i) {
            if (i != 0 && i != 2)
                trend->setChannelShown(QStringLiteral("AI%1").arg(i), false);
        }
        trend->setChannelShown(QStringLiteral("Response"), true);
        settle(600);
        failures += !save(trend, "trend");
        trend->close();
        window->trafficViews()->trafficAction()->trigger();
        TrafficView *traffic = window->trafficViews()->trafficView();
        traffic->resize(1350, 700);
        settle(600);
        failures += !save(traffic, "traffic");
        traffic->close();
    }

    // With detection off nothing polls, and the typed request and its answer stay in view.
    window->findChild<QPushButton *>(QStringLiteral("pushButton_check_analog_in"))->click();
    settle();
    window->findChild<QPushButton *>(QStringLiteral("recvTextClear"))->click();
    window->findChild<QTextEdit *>(QStringLiteral("sendText"))->setPlainText(QStringLiteral("01 03 00 20 00 04"));
    window->findChild<QPushButton *>(QStringLiteral("sendBt"))->click();
    settle();
    failures += !save(window, "terminal");

    settleLink(window);
    delete window;
    return failures == 0 ? 0 : 1;
}
