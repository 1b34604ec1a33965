#include "link/modbusrequest.h"
#include "link/sender.h"
#include "ui/communicationtimeout.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

// The watchdog window on its own: what it shows from a read and what it writes.
class TestCommunicationTimeout : public QObject
{
    Q_OBJECT

private:
    // Clicks OK and returns the written frame without blanks.
    static QString okFrame(CommunicationTimeout &window)
    {
        QSignalSpy spy(&window, &CommunicationTimeout::write);
        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pushButton_ok")), Qt::LeftButton);
        if (spy.count() != 1)
            return QStringLiteral("%1 writes").arg(spy.count());
        auto *sender = spy.first().first().value<Sender *>();
        const QString frame = sender->kind == ModbusRequest::kChangeCommunicationTimeout
                ? QString(sender->data).remove(QLatin1Char(' ')) : QStringLiteral("kind ") + sender->kind;
        delete sender;
        return frame;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<Sender *>();
    }

    void writesTheBlock_data()
    {
        QTest::addColumn<QString>("handOver");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<int>("buttons");

        const QString off16 = QStringLiteral(" 0").repeated(16);
        QTest::newRow("8 outputs: ON ON OFF unchanged")
                << QStringLiteral("5000 1 1 0 2 0 0 0 0 0 0 0 0 0 0 0 0")
                << QStringLiteral("01107530000408000013880003000B") << 16;
        QTest::newRow("timeout 70000 needs the high word")
                << QStringLiteral("70000") + off16
                << QStringLiteral("011075300004080001117000000000") << 16;
        QTest::newRow("all unchanged: OR 0000, AND FFFF")
                << QStringLiteral("0") + QStringLiteral(" 2").repeated(16)
                << QStringLiteral("0110753000040800000000" "0000FFFF") << 16;
        QTest::newRow("no outputs: timeout only")
                << QStringLiteral("1000")
                << QStringLiteral("0110753000020400" "0003E8") << 0;
        QTest::newRow("64 outputs: four pairs in group order")
                << QStringLiteral("4294967295") + QStringLiteral(" 1") + QStringLiteral(" 0").repeated(15)
                   + QStringLiteral(" 0 2") + QStringLiteral(" 0").repeated(14)
                   + off16 + QStringLiteral(" 0").repeated(15) + QStringLiteral(" 1")
                << QStringLiteral("01107530000A14FFFFFFFF" "00010001" "00000002" "00000000" "80008000") << 64;
        QTest::newRow("state outside 0..2 is OFF")
                << QStringLiteral("10 7 -1") + QStringLiteral(" 0").repeated(14)
                << QStringLiteral("01107530000408" "0000000A" "00000000") << 16;
        QTest::newRow("unreadable timeout is 0")
                << QStringLiteral("x5") + off16
                << QStringLiteral("01107530000408" "00000000" "00000000") << 16;
        QTest::newRow("empty hand-over: nothing to show")
                << QString() << QStringLiteral("0110753000020400000000") << 0;
        QTest::newRow("half a group: no masks for it")
                << QStringLiteral("300 1 1 1 1 1 1 1 1")
                << QStringLiteral("0110753000020400" "00012C") << 8;
    }

    void writesTheBlock()
    {
        QFETCH(QString, handOver);
        QFETCH(QString, frame);
        QFETCH(int, buttons);

        CommunicationTimeout window(nullptr, handOver);
        QCOMPARE(window.findChildren<QRadioButton *>().size(), buttons);
        QCOMPARE(okFrame(window), frame);
    }

    void cyclingChangesTheWrittenMasks()
    {
        CommunicationTimeout window(nullptr, QStringLiteral("5000") + QStringLiteral(" 0").repeated(16));
        auto *third = window.findChild<QRadioButton *>(QStringLiteral("radioButton_3"));
        QVERIFY(third);
        QCOMPARE(third->text(), QStringLiteral("NO.3"));
        const QString offStyle = third->styleSheet();
        QVERIFY(offStyle.contains(QStringLiteral("rgb(255,0,0)")));

        QTest::mouseClick(third, Qt::LeftButton);
        QVERIFY(third->styleSheet().contains(QStringLiteral("rgb(0,255,0)")));
        QCOMPARE(okFrame(window), QStringLiteral("01107530000408" "00001388" "00040004"));

        QTest::mouseClick(third, Qt::LeftButton);
        QVERIFY(third->styleSheet().contains(QStringLiteral("rgb(0,0,255)")));
        QCOMPARE(okFrame(window), QStringLiteral("01107530000408" "00001388" "00000004"));

        QTest::mouseClick(third, Qt::LeftButton);
        QCOMPARE(third->styleSheet(), offStyle);
        QCOMPARE(okFrame(window), QStringLiteral("01107530000408" "00001388" "00000000"));
    }

    void timeoutFieldIsClampedAndDigitsOnly()
    {
        CommunicationTimeout window(nullptr, QStringLiteral("0"));
        auto *field = window.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
        QVERIFY(field);
        field->clear();
        QTest::keyClicks(field, QStringLiteral("9999999999"));
        QCOMPARE(field->text(), QStringLiteral("4294967295"));
        QCOMPARE(okFrame(window), QStringLiteral("01107530000204FFFFFFFF"));

        field->clear();
        QTest::keyClicks(field, QStringLiteral("-12a3"));
        QCOMPARE(field->text(), QStringLiteral("123"));
        QTest::keyClicks(field, QStringLiteral("45678901234"));
        QCOMPARE(field->text().size(), 10);
    }

    void emptyFieldIsWrittenAsZero()
    {
        CommunicationTimeout window(nullptr, QStringLiteral("5000"));
        auto *field = window.findChild<QLineEdit *>(QStringLiteral("lineEdit"));
        QCOMPARE(field->text(), QStringLiteral("5000"));
        field->clear();
        QCOMPARE(okFrame(window), QStringLiteral("0110753000020400000000"));
        QCOMPARE(field->text(), QStringLiteral("0"));
    }
};

QTEST_MAIN(TestCommunicationTimeout)
#include "tst_communicationtimeout.moc"
