#include "link/framecutter.h"
#include "link/framelog.h"

#include <QtTest>

// Reassembly of module replies from received chunks, serial line and Modbus TCP.
class TestFrameCutter : public QObject
{
    Q_OBJECT

private slots:
    void serial_data();
    void serial();
    void tcp_data();
    void tcp();
    void keepsIncompleteFrameUntilCleared();
    void timeOutKeepsTcpStreamInStep();
    void fuzzedChunksNeverLoseAGoodReply();
    void floodInOneReadIsCutWhole_data();
    void floodInOneReadIsCutWhole();
    void frameTracesAreOffByDefault();

private:
    static QStringList describe(const QVector<CutEvent> &events);
    static QVector<CutEvent> feed(FrameCutter &cutter, const QString &chunks, bool tcp);
};

QStringList TestFrameCutter::describe(const QVector<CutEvent> &events)
{
    QStringList out;
    for (const CutEvent &event : events) {
        switch (event.type) {
        case CutEvent::Reply:
            out << QStringLiteral("reply:") + event.text;
            break;
        case CutEvent::ExceptionReply:
            out << QStringLiteral("exception:%1:%2").arg(event.function).arg(event.exceptionCode);
            break;
        case CutEvent::Identification:
            out << QStringLiteral("id:%1:%2:%3").arg(event.address).arg(event.typeCode).arg(event.shownAddress);
            break;
        case CutEvent::ErrorWord:
            out << QStringLiteral("error");
            break;
        case CutEvent::Garbage:
            out << QStringLiteral("garbage");
            break;
        case CutEvent::Oversized:
            out << QStringLiteral("oversized");
            break;
        case CutEvent::TcpFrame:
            out << QStringLiteral("tcp:") + event.text;
            break;
        case CutEvent::TcpDiscarded:
            out << QStringLiteral("tcpdiscarded");
            break;
        case CutEvent::TcpOutOfStep:
            out << QStringLiteral("outofstep");
            break;
        }
    }
    return out;
}

// Chunks are separated by "|"; each is handed over as one arrival of bytes.
QVector<CutEvent> TestFrameCutter::feed(FrameCutter &cutter, const QString &chunks, bool tcp)
{
    QVector<CutEvent> all;
    for (const QString &chunk : chunks.split(QLatin1Char('|'))) {
        const QByteArray bytes = QByteArray::fromHex(chunk.toLatin1());
        all += tcp ? cutter.feedTcp(bytes) : cutter.feedSerial(bytes);
    }
    return all;
}

void TestFrameCutter::serial_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("chunks");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("left");

    const QString read = QStringLiteral("010302000a3843");
    const QStringList one{QStringLiteral("reply:") + read};
    const QStringList two{one + one};

    QTest::newRow("read reply in one piece") << "01" << read << one << "";
    QTest::newRow("read reply split after the byte count") << "01" << "010302|000a3843" << one << "";
    QTest::newRow("read reply split in the address") << "01" << "|01|0302000a38|43" << one << "";
    QTest::newRow("read reply one byte at a time")
        << "01" << "01|03|02|00|0a|38|43" << one << "";
    QTest::newRow("two replies in one chunk") << "01" << read + read << two << "";
    QTest::newRow("three replies in one chunk")
        << "01" << read + read + read << QStringList(two + one) << "";
    // A run of bytes that are no frame is reported once, however long.
    const QStringList garbageThenOne = QStringList{"garbage"} + one;
    QTest::newRow("garbage before") << "01" << "ff00a5" + read << garbageThenOne << "";
    QTest::newRow("garbage between")
        << "01" << read + "aabbcc" + read << QStringList(one + garbageThenOne) << "";
    QTest::newRow("garbage after is dropped")
        << "01" << read + "77" << QStringList(one + QStringList{"garbage"}) << "";
    QTest::newRow("garbage run over two arrivals counts once")
        << "01" << "ff00|a5" + read << garbageThenOne << "";
    QTest::newRow("stray 45 before a reply") << "01" << "45" + read << garbageThenOne << "";
    QTest::newRow("stray 49 before a reply") << "01" << "4944" + read << garbageThenOne << "";
    QTest::newRow("reply of another address")
        << "01" << "020302000a3843" << QStringList{"garbage"} << "";
    QTest::newRow("unknown function code")
        << "01" << "0104020005" << QStringList{"garbage"} << "";
    QTest::newRow("write single coil acknowledged")
        << "01" << "01050002|ff002dfa" << QStringList{"reply:01050002ff002dfa"} << "";
    QTest::newRow("write multiple acknowledged")
        << "01" << "01100000000241c8" << QStringList{"reply:01100000000241c8"} << "";
    QTest::newRow("bad CRC still delivered for the dispatch to judge")
        << "01" << "010302000a0000" << QStringList{"reply:010302000a0000"} << "";
    QTest::newRow("byte count 0x40 of a 32-channel analog module")
        << "01" << "010340" + QString(128, QLatin1Char('0')) + "1234"
        << QStringList{"reply:010340" + QString(128, QLatin1Char('0')) + "1234"} << "";
    QTest::newRow("byte count 250 is still a frame")
        << "01" << "0103fa" + QString(500, QLatin1Char('1')) + "abcd"
        << QStringList{"reply:0103fa" + QString(500, QLatin1Char('1')) + "abcd"} << "";
    QTest::newRow("byte count above 250 empties the buffer")
        << "01" << "0103fb0000" << QStringList{"oversized", "garbage"} << "";
    QTest::newRow("incomplete read reply waits")
        << "01" << "0103040001" << QStringList() << "0103040001";
    QTest::newRow("exception reply")
        << "01" << "018302c0f1" << QStringList{"exception:3:2"} << "";
    QTest::newRow("exception reply split, then a reply")
        << "01" << "0183|02c0f1" + read << QStringList{"exception:3:2", "reply:" + read} << "";
    QTest::newRow("exception reply with bad CRC is dropped")
        << "01" << "0183020000" + read << garbageThenOne << "";
    QTest::newRow("identification reply")
        << "01" << "49443a" "0005" "000000000000" "00dc" "0000"
        << QStringList{"id:05:220:5"} << "";
    QTest::newRow("identification reply in pieces, then a reply at the new address")
        << "01" << "4944|3a0005000000|000000|00e6|0000|050302000a"
        << QStringList{"id:05:230:5"} << "050302000a";
    QTest::newRow("ERROR word") << "01" << "4552524f52" + read << QStringList{"error", "reply:" + read} << "";
    QTest::newRow("upper-case address matches lower-case reply")
        << "0A" << "0a0302000a9d82" << QStringList{"reply:0a0302000a9d82"} << "";
}

void TestFrameCutter::serial()
{
    QFETCH(QString, address);
    QFETCH(QString, chunks);
    QFETCH(QStringList, expected);
    QFETCH(QString, left);

    FrameCutter cutter;
    cutter.setDeviceAddress(address);
    const QVector<CutEvent> events = feed(cutter, chunks, false);
    QCOMPARE(describe(events), expected);
    if (!left.isEmpty())
        QCOMPARE(cutter.buffer(), left);
    else
        QVERIFY(cutter.buffer().isEmpty());
}

void TestFrameCutter::tcp_data()
{
    QTest::addColumn<QString>("chunks");
    QTest::addColumn<QStringList>("expected");

    const QString frame = QStringLiteral("000000000005010302000a");
    const QStringList one{"tcp:" + frame, "reply:010302000a3843"};

    QTest::newRow("read reply") << frame << one;
    QTest::newRow("read reply split in the header") << "0000000000|05010302000a" << one;
    QTest::newRow("read reply split in the data") << "000000000005010302|000a" << one;
    QTest::newRow("two frames in one chunk keep the second") << frame + frame
                                                           << QStringList(one + one);
    QTest::newRow("frame and the start of the next") << frame + "00000000|0005010302000a"
                                                     << QStringList(one + one);
    QTest::newRow("non-zero transaction identifier is dropped, the next frame stays")
        << "000100000005010302000a" + frame << QStringList(QStringList{"tcpdiscarded"} + one);
    QTest::newRow("exception reply of 9 bytes is consumed")
        << "000000000003018302" + frame
        << QStringList(QStringList{"tcp:000000000003018302", "exception:3:2"} + one);
    QTest::newRow("write acknowledged")
        << "00000000000601050002ff00"
        << QStringList{"tcp:00000000000601050002ff00", "reply:01050002ff002DFA"};
    QTest::newRow("length that no frame has empties the buffer")
        << "000000000000" + frame << QStringList{"outofstep"};
    QTest::newRow("reply of another unit id is not delivered")
        << "000000000005020302000a" << QStringList{"tcp:000000000005020302000a", "garbage"};
}

void TestFrameCutter::tcp()
{
    QFETCH(QString, chunks);
    QFETCH(QStringList, expected);

    FrameCutter cutter;
    const QVector<CutEvent> events = feed(cutter, chunks, true);
    QStringList got = describe(events);
    // The link computes the CRC of TCP replies; its digits are upper case.
    for (QString &line : got) {
        if (line.startsWith(QLatin1String("reply:")))
            line = line.left(line.size() - 4) + line.right(4).toLower();
    }
    QStringList want = expected;
    for (QString &line : want) {
        if (line.startsWith(QLatin1String("reply:")))
            line = line.left(line.size() - 4) + line.right(4).toLower();
    }
    QCOMPARE(got, want);
    QVERIFY(cutter.tcpBuffer().isEmpty());
}

void TestFrameCutter::keepsIncompleteFrameUntilCleared()
{
    FrameCutter cutter;
    QVERIFY(cutter.feedSerial(QByteArray::fromHex("01030a0001")).isEmpty());
    cutter.clear();
    // After a time-out the rest of the old frame is noise; the next reply is found.
    const QVector<CutEvent> events = cutter.feedSerial(QByteArray::fromHex("010302000a3843"));
    QCOMPARE(describe(events), QStringList{"reply:010302000a3843"});
}

void TestFrameCutter::timeOutKeepsTcpStreamInStep()
{
    FrameCutter cutter;
    QVERIFY(cutter.feedSerial(QByteArray::fromHex("01030a00")).isEmpty());
    QVERIFY(cutter.feedTcp(QByteArray::fromHex("0000000000050103")).isEmpty());
    cutter.clearSerial();
    QVERIFY(cutter.buffer().isEmpty());
    // The late rest of the TCP reply still completes its frame.
    const QVector<CutEvent> events = cutter.feedTcp(QByteArray::fromHex("02000a"));
    QCOMPARE(describe(events).size(), 2);
    QCOMPARE(describe(events).last().toLower(), QStringLiteral("reply:010302000a3843"));
}

void TestFrameCutter::fuzzedChunksNeverLoseAGoodReply()
{
    // Random noise free of the address byte, then a good reply, cut at random places.
    QRandomGenerator random(4711);
    for (int round = 0; round < 500; ++round) {
        QByteArray stream;
        const int noise = random.bounded(20);
        for (int i = 0; i < noise; ++i) {
            char byte = char(random.bounded(256));
            if (byte == 0x01)
                byte = 0x02;
            stream.append(byte);
        }
        const QByteArray reply = QByteArray::fromHex("010302000a3843");
        stream += reply;
        FrameCutter cutter;
        QStringList got;
        int at = 0;
        while (at < stream.size()) {
            const int size = 1 + random.bounded(6);
            got += describe(cutter.feedSerial(stream.mid(at, size)));
            at += size;
        }
        QVERIFY2(got.contains(QStringLiteral("reply:010302000a3843")),
                 qPrintable(stream.toHex()));
    }
}

void TestFrameCutter::floodInOneReadIsCutWhole_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("eventsPerFrame");

    // A peer flooding small valid frames; cutting one read costs its size, not its square.
    QTest::newRow("Modbus TCP exception replies") << true << QByteArray::fromHex("000000000003018302") << 2;
    QTest::newRow("serial read replies") << false << QByteArray::fromHex("010302000a3843") << 1;
}

void TestFrameCutter::floodInOneReadIsCutWhole()
{
    QFETCH(bool, tcp);
    QFETCH(QByteArray, frame);
    QFETCH(int, eventsPerFrame);

    const int frames = 3 * 1024 * 1024 / frame.size();
    const QByteArray flood = frame.repeated(frames);
    FrameCutter cutter;
    // Half a frame more stays behind for the next read.
    const QByteArray half = frame.left(frame.size() / 2);
    const QVector<CutEvent> events = tcp ? cutter.feedTcp(flood + half) : cutter.feedSerial(flood + half);
    QCOMPARE(events.size(), frames * eventsPerFrame);
    QCOMPARE(describe({events.first()}), describe({events.at(events.size() - eventsPerFrame)}));
    QCOMPARE(tcp ? cutter.tcpBuffer() : cutter.buffer(), QString::fromLatin1(half.toHex()));
    const QVector<CutEvent> rest = tcp ? cutter.feedTcp(frame.mid(half.size())) : cutter.feedSerial(frame.mid(half.size()));
    QCOMPARE(rest.size(), eventsPerFrame);
}

void TestFrameCutter::frameTracesAreOffByDefault()
{
    QVERIFY(!lcFrames().isDebugEnabled());
}

QTEST_APPLESS_MAIN(TestFrameCutter)
#include "tst_framecutter.moc"
