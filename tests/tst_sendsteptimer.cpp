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
    void firesOnceNeverEarly();
    void restartCountsFromTheNewStart_data();
    void restartCountsFromTheNewStart();
    void stopCancels_data();
    void stopCancels();

private:
    // Runs the event loop itself (QTRY_ sleeps between looks, which would hide an early
    // expiry) until the timer fires; returns when it did.
    static steady_clock::time_point waitForTimeout(SendStepTimer &timer)
    {
        QEventLoop loop;
        steady_clock::time_point firedAt;
        connect(&timer, &SendStepTimer::timeout, &loop, [&]() {
            firedAt = steady_clock::now();
            loop.quit();
        });
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        return firedAt;
    }
    // A turn of the event loop within the pause, or the loop held up (as by a busy
    // thread) past the pause's end, so the expiry is signalled but not yet handled.
    static void interrupt(bool pastTheEnd)
    {
        if (!pastTheEnd) {
            QCoreApplication::processEvents();
            return;
        }
        const auto end = steady_clock::now() + milliseconds(40);
        while (steady_clock::now() < end) {
        }
    }
};

void TestSendStepTimer::firesOnceNeverEarly()
{
    SendStepTimer timer(milliseconds(20));
    QSignalSpy spy(&timer, &SendStepTimer::timeout);
    for (int round = 0; round < 20; ++round) {
        spy.clear();
        const auto started = steady_clock::now();
        timer.start();
        QVERIFY(timer.isActive());
        const auto firedAt = waitForTimeout(timer);
        QCOMPARE(spy.count(), 1);
        QVERIFY(!timer.isActive());
        QVERIFY(firedAt - started >= milliseconds(20));
    }
    QTest::qWait(60);
    QCOMPARE(spy.count(), 1);
}

void TestSendStepTimer::restartCountsFromTheNewStart_data()
{
    QTest::addColumn<bool>("expired");
    QTest::newRow("while the pause runs") << false;
    QTest::newRow("after an expiry not yet handled") << true;
}

void TestSendStepTimer::restartCountsFromTheNewStart()
{
    QFETCH(bool, expired);
    SendStepTimer timer(milliseconds(20));
    QSignalSpy spy(&timer, &SendStepTimer::timeout);
    timer.start();
    interrupt(expired);
    const auto restarted = steady_clock::now();
    timer.start();
    const auto firedAt = waitForTimeout(timer);
    QCOMPARE(spy.count(), 1);
    QVERIFY(firedAt - restarted >= milliseconds(20));
    QTest::qWait(60);
    QCOMPARE(spy.count(), 1);
}

void TestSendStepTimer::stopCancels_data()
{
    restartCountsFromTheNewStart_data();
}

void TestSendStepTimer::stopCancels()
{
    QFETCH(bool, expired);
    SendStepTimer timer(milliseconds(20));
    QSignalSpy spy(&timer, &SendStepTimer::timeout);
    timer.start();
    interrupt(expired);
    timer.stop();
    QVERIFY(!timer.isActive());
    QTest::qWait(80);
    QCOMPARE(spy.count(), 0);
}

QTEST_GUILESS_MAIN(TestSendStepTimer)
#include "tst_sendsteptimer.moc"
