#include "link/sendsteptimer.h"

#include <QtTest>

#include <chrono>

using namespace std::chrono;

// The pause before each request: once per start, never early, and never left over from
// an earlier start or a stop.
class TestSendStepTimer : public QObject
{
    Q_OBJECT

private slots:
    void pause_data();
    void pause();
};

void TestSendStepTimer::pause_data()
{
    QTest::addColumn<QString>("then"); // what follows the first start
    QTest::addColumn<bool>("held");    // the loop is held up (as by a busy thread) past the pause's end first
    QTest::newRow("fires once, never early") << "" << false;
    QTest::newRow("restart within the pause") << "restart" << false;
    QTest::newRow("restart after an expiry not yet handled") << "restart" << true;
    QTest::newRow("stop within the pause") << "stop" << false;
    QTest::newRow("stop after an expiry not yet handled") << "stop" << true;
}

void TestSendStepTimer::pause()
{
    QFETCH(QString, then);
    QFETCH(bool, held);
    SendStepTimer timer(milliseconds(20));
    QSignalSpy spy(&timer, &SendStepTimer::timeout);
    // The loop is run here: QTRY_ sleeps between looks, which would hide an early expiry.
    QEventLoop loop;
    steady_clock::time_point firedAt;
    connect(&timer, &SendStepTimer::timeout, &loop, [&] {
        firedAt = steady_clock::now();
        loop.quit();
    });
    const int rounds = then.isEmpty() ? 10 : 1;
    for (int round = 0; round < rounds; ++round) {
        auto started = steady_clock::now();
        timer.start();
        if (!then.isEmpty()) {
            const auto end = steady_clock::now() + milliseconds(40);
            while (held && steady_clock::now() < end) {
            }
            if (!held)
                QCoreApplication::processEvents();
            started = steady_clock::now();
            if (then == QLatin1String("stop"))
                timer.stop();
            else
                timer.start();
        }
        QTimer::singleShot(then == QLatin1String("stop") ? 80 : 10000, &loop, &QEventLoop::quit);
        loop.exec();
        QVERIFY(then == QLatin1String("stop") || firedAt - started >= milliseconds(20));
    }
    QTest::qWait(60);
    QCOMPARE(spy.count(), then == QLatin1String("stop") ? 0 : rounds);
    QVERIFY(!timer.isActive());
}

QTEST_GUILESS_MAIN(TestSendStepTimer)
#include "tst_sendsteptimer.moc"
