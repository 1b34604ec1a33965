#include "tests/loopbackwindow.h"
#include "link/modbusrequest.h"
#include "link/sender.h"
#include "ui/mainwindow.h"
#include "ui/networkwindow.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QToolBar>
#include <QtTest>

// The network window in front of a main window that is connected to a silent peer
// on 127.0.0.1: what it shows from a read and what it does or refuses to write.
class TestNetworkWindow : public QObject
{
    Q_OBJECT

private:
    static constexpr const char *kReadText =
            "192.168.1.80 255.255.255.0 192.168.1.1 8080 192.168.1.100 4000 1 00-1a-2b-3c-4d-5e";

    QTcpServer silentPeer;
    MainWindow *mainWindow = nullptr;

    // A window whose requests stay with the test instead of going to the queue.
    NetworkWindow *newWindow()
    {
        auto *window = new NetworkWindow(mainWindow);
        QObject::disconnect(window, &NetworkWindow::write, mainWindow, &MainWindow::write);
        return window;
    }

    template<typename T>
    static T *child(QObject *window, const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    // Clicks a button with the link as given; returns the one request sent (its kind,
    // "|" and its frame without blanks), or the warning box's text.
    QString click(NetworkWindow *window, const char *button, int linkReady = 1)
    {
        QSignalSpy spy(window, &NetworkWindow::write);
        mainWindow->linkReady = linkReady;
        child<QPushButton>(window, button)->click();
        if (auto *box = window->findChild<QMessageBox *>()) {
            const QString text = QStringLiteral("box ") + box->windowTitle() + QLatin1Char('|') + box->text();
            delete box;
            return spy.isEmpty() ? text : text + QStringLiteral(" and a request");
        }
        if (spy.count() != 1)
            return QStringLiteral("%1 requests").arg(spy.count());
        auto *sender = spy.first().first().value<Sender *>();
        const QString result = sender->kind + QLatin1Char('|') + QString(sender->data).remove(QLatin1Char(' '));
        delete sender;
        return result;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Sender *>();
        QVERIFY(silentPeer.listen(QHostAddress::LocalHost));
        mainWindow = newLoopbackWindow(silentPeer.serverPort());
        const QLabel *state = mainWindow->findChild<QLabel *>(QStringLiteral("label_network"));
        QTRY_COMPARE_WITH_TIMEOUT(state->text(), QStringLiteral("Connect"), 10000);
    }

    void cleanupTestCase()
    {
        delete mainWindow;
    }

    void shortOrOddReadsChangeLittle()
    {
        QScopedPointer<NetworkWindow> window(newWindow());
        window->netWorkProcessing(QStringLiteral("10.0.0.1 255.0.0.0 10.0.0.254 502 10.0.0.2 503 0"));
        QCOMPARE(child<QLineEdit>(window.data(), "lineEdit_IP")->text(), QStringLiteral("..."));
        QCOMPARE(child<QLineEdit>(window.data(), "lineEdit_portNumber")->text(), QStringLiteral("8080"));

        window->netWorkProcessing(QStringLiteral("10.0.0.1 255.0.0.0 10.0.0.254 502 10.0.0.2 503 2 aa-bb-cc-dd-ee-ff"));
        QVERIFY(child<QRadioButton>(window.data(), "radioButton_UDP")->isChecked());
        window->netWorkProcessing(QStringLiteral("10.0.0.9  255.0.0.0 10.0.0.254 502 10.0.0.2 503 7 aa-bb-cc-dd-ee-ff"));
        QCOMPARE(child<QLineEdit>(window.data(), "lineEdit_IP")->text(), QStringLiteral("10.0.0.9"));
        QVERIFY(child<QRadioButton>(window.data(), "radioButton_UDP")->isChecked());
    }

    void writeSendsTheFieldsBack()
    {
        QScopedPointer<NetworkWindow> window(newWindow());
        window->netWorkProcessing(QLatin1String(kReadText));
        // The MAC is shown, not edited: the write sends back what the read showed.
        QVERIFY(!child<QLineEdit>(window.data(), "lineEdit_MAC")->isEnabled());
        child<QRadioButton>(window.data(), "radioButton_server")->setChecked(true);
        QCOMPARE(click(window.data(), "switchBt_netWorkParameter_write"),
                 QStringLiteral("Write NetWork|0110271000193200C000A80001005000FF00FF00FF000000C000A800010001"
                                "1F9000C000A800010064" "0FA0" "0000" "0000001A002B003C004D005E"));
    }

    void incompleteInputIsRefused_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named");
        QTest::newRow("module IP partly blank") << "lineEdit_IP" << "192.168..80" << "Module IP is incomplete";
        QTest::newRow("gateway octet above 255") << "lineEdit_gateway" << "192.168.1.300" << "Gateway has an octet above 255";
        QTest::newRow("remote IP empty") << "lineEdit_farIP" << "" << "Remote IP is incomplete";
        QTest::newRow("module port empty") << "lineEdit_portNumber" << "" << "Module port number is empty";
        QTest::newRow("remote port above 65535") << "lineEdit_farPortNumber" << "70000" << "Remote port number is above 65535";
        QTest::newRow("MAC never read") << "lineEdit_MAC" << "" << "the MAC Hardware Address is missing";
        QTest::newRow("no working mode") << "radioButton_client" << "" << "no module working mode is checked";
    }

    void incompleteInputIsRefused()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, named);

        QScopedPointer<NetworkWindow> window(newWindow());
        window->netWorkProcessing(QLatin1String(kReadText));
        if (field.startsWith(QLatin1String("radioButton"))) {
            // Only a fresh window has no mode checked.
            window.reset(newWindow());
            window->netWorkProcessing(QStringLiteral("1.2.3.4 255.0.0.0 1.2.3.1 502 1.2.3.5 503 9 aa-bb-cc-dd-ee-ff"));
        } else {
            window->findChild<QLineEdit *>(field)->setText(text);
        }
        const QString result = click(window.data(), "switchBt_netWorkParameter_write");
        QVERIFY2(result.startsWith(QStringLiteral("box warning|")), qPrintable(result));
        QVERIFY2(result.contains(named), qPrintable(result));
        QVERIFY2(!result.endsWith(QStringLiteral("a request")), qPrintable(result));
    }

    void portFieldsAreClamped_data()
    {
        QTest::addColumn<QString>("field");
        QTest::newRow("module port") << "lineEdit_portNumber";
        QTest::newRow("remote port") << "lineEdit_farPortNumber";
    }

    void portFieldsAreClamped()
    {
        QFETCH(QString, field);
        QScopedPointer<NetworkWindow> window(newWindow());
        auto *port = window->findChild<QLineEdit *>(field);
        port->clear();
        QTest::keyClicks(port, QStringLiteral("70000"));
        QCOMPARE(port->text(), QStringLiteral("65535"));
        port->clear();
        QTest::keyClicks(port, QStringLiteral("5x0-2"));
        QCOMPARE(port->text(), QStringLiteral("502"));
    }

    void nothingIsSentWithoutALink_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("warning");
        QTest::newRow("read") << "switchBt_netWorkParameter_get"
                              << "box warning|Unable to get module network parameters until open the serial port.";
        QTest::newRow("write") << "switchBt_netWorkParameter_write"
                               << "box warning|UUnable to write module network parameters until open the serial port.";
    }

    void nothingIsSentWithoutALink()
    {
        QFETCH(QString, button);
        QFETCH(QString, warning);
        QScopedPointer<NetworkWindow> window(newWindow());
        window->netWorkProcessing(QLatin1String(kReadText));
        QCOMPARE(click(window.data(), qPrintable(button), 0), warning);
        mainWindow->linkReady = 1;
    }

    void rebootAndHexCaseActions()
    {
        QScopedPointer<NetworkWindow> window(newWindow());
        window->netWorkProcessing(QLatin1String(kReadText));
        const QList<QAction *> actions = window->findChild<QToolBar *>(QStringLiteral("bigLittle"))->actions();
        QCOMPARE(actions.size(), 3);

        QSignalSpy spy(window.data(), &NetworkWindow::write);
        actions.at(2)->trigger();
        QCOMPARE(spy.count(), 1);
        QScopedPointer<Sender> reboot(spy.first().first().value<Sender *>());
        QCOMPARE(reboot->kind, QStringLiteral("Reboot"));
        QCOMPARE(reboot->data, QStringLiteral("0110fde80001020001"));

        actions.at(0)->trigger();
        QCOMPARE(window->hexCase(), 1);
        QVERIFY(!actions.at(0)->isEnabled());
        QVERIFY(actions.at(1)->isEnabled());
        QCOMPARE(child<QLineEdit>(window.data(), "lineEdit_MAC")->text(), QStringLiteral("00-1A-2B-3C-4D-5E"));
        actions.at(1)->trigger();
        QCOMPARE(window->hexCase(), 0);
        QVERIFY(actions.at(0)->isEnabled());
        QVERIFY(!actions.at(1)->isEnabled());
        QCOMPARE(child<QLineEdit>(window.data(), "lineEdit_MAC")->text(), QStringLiteral("00-1a-2b-3c-4d-5e"));
    }

    void panelWidthFollowsTheScreen_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("width");
        QTest::newRow("1366") << 1366 << 500;
        QTest::newRow("1920") << 1920 << 500;
        QTest::newRow("2560") << 2560 << 733;
        QTest::newRow("3840") << 3840 << 1100;
    }

    void panelWidthFollowsTheScreen()
    {
        QFETCH(int, screen);
        QFETCH(int, width);
        QCOMPARE(NetworkWindow::centralMaximumWidth(screen), width);
    }
};

QTEST_MAIN(TestNetworkWindow)
#include "tst_networkwindow.moc"
