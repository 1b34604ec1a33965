#include "protocol/framecutter.h"

#include <QtTest>

// Reassembly of module replies from received chunks, serial line and Modbus TCP.
class TestFrameCutter : public QObject
{
    Q_OBJECT

private slots:
    void cut_data();
    void cut();
    void floodInOneReadIsCutWhole();

private:
    static QStringList describe(const QVector<CutEvent> &events)
    {
        static const char *const names[] = {"reply",   "exception", "id",         "error",  "oversized",
                                            "tcp",     "foreign",   "outofstep", "garbage"};
        QStringList out;
        for (const CutEvent &event : events) {
            QString line = QString::fromLatin1(names[event.type]);
            if (event.type == CutEvent::Reply || event.type == CutEvent::TcpFrame)
                line += QLatin1Char(':') + event.text.toLower();
            else if (event.type == CutEvent::ExceptionReply)
                line += QStringLiteral(":%1:%2").arg(event.function).arg(event.exceptionCode);
            else if (event.type == CutEvent::Identification)
                line += QStringLiteral(":%1:%2:%3").arg(event.address).arg(event.typeCode).arg(event.shownAddress);
            out << line;
        }
        return out;
    }
};

void TestFrameCutter::cut_data()
{
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("address");
    // Arrivals separated by "|"; "-" is a reply time-out (the serial line drops its half frame).
    QTest::addColumn<QString>("chunks");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("left");

    const QString read = QStringLiteral("010302000a3843");
    const QString one = "reply:" + read;
    QTest::newRow("read reply one byte at a time, after an empty arrival")
        << false << "01" << "|01|03|02|00|0a|38|43" << QStringList{one} << "";
    QTest::newRow("two replies and the start of a third in one arrival")
        << false << "01" << read + read + "0103040001" << QStringList{one, one} << "0103040001";
    // A run of bytes that are no frame is reported once, however long and however it arrives.
    QTest::newRow("garbage run over two arrivals") << false << "01" << "ff00|a5" + read
                                                   << QStringList{"garbage", one} << "";
    QTest::newRow("a read header half a byte off is no frame")
        << false << "01" << "f0103f" + read << QStringList{"garbage", one} << "";
    QTest::newRow("stray starts of ID: and ERROR") << false << "01" << "4944|45|" + read
                                                  << QStringList{"garbage", one} << "";
    QTest::newRow("reply of another address, unknown function code")
        << false << "01" << "020302000a3843|0104020005" << QStringList{"garbage"} << "";
    QTest::newRow("write acknowledgements, the first split")
        << false << "01" << "01050002|ff002dfa010f00000010540701100000000241c8"
        << QStringList{"reply:01050002ff002dfa", "reply:010f000000105407", "reply:01100000000241c8"} << "";
    QTest::newRow("bad CRC delivered for the dispatch to judge")
        << false << "01" << "010302000a0000" + read << QStringList{"reply:010302000a0000", one} << "";
    QTest::newRow("byte count above 250, then a good reply")
        << false << "01" << "0103fb" + read << QStringList{"oversized", "garbage", one} << "";
    QTest::newRow("exception reply with bad CRC is dropped")
        << false << "01" << "0183020000" + read << QStringList{"garbage", one} << "";
    // The module at address 0x49 ("I") still announces itself, then answers at its new address.
    QTest::newRow("identification in pieces") << false << "49" << "4944|3a0005000000|000000|00e6|0000|050302000a"
                                              << QStringList{"id:05:230:5"} << "050302000a";
    QTest::newRow("ERROR word") << false << "01" << "4552524f52" + read << QStringList{"error", one} << "";
    QTest::newRow("time-out drops the half frame") << false << "01" << "01030a0001|-|" + read
                                                   << QStringList{one} << "";

    const QString frame = QStringLiteral("000000000005010302000a");
    const QStringList tcpOne{"tcp:" + frame, one};
    QTest::newRow("TCP frames split in the header and in the data")
        << true << "01" << "0000000000|05010302|000a00000000|0005010302000a" << QStringList(tcpOne + tcpOne) << "";
    QTest::newRow("TCP: other transaction dropped, the next frame stays")
        << true << "01" << "000100000005010302000a" + frame << QStringList(QStringList{"foreign"} + tcpOne) << "";
    QTest::newRow("TCP exception reply of 9 bytes")
        << true << "01" << "000000000003018302" << QStringList{"tcp:000000000003018302", "exception:3:2"} << "";
    const QString longest = "0000000000fe0110" + QString(504, QLatin1Char('0'));
    QTest::newRow("TCP frame of 254 bytes, the longest there is")
        << true << "01" << longest << QStringList{"tcp:" + longest, "reply:0110000000000000", "garbage"} << "";
    QTest::newRow("TCP length 255 is out of step") << true << "01" << "0000000000ff0103" << QStringList{"outofstep"} << "";
    QTest::newRow("TCP identification reply, its own CRC no garbage")
        << true << "01" << "00000000000f49443a000500000000000000e60000"
        << QStringList{"tcp:00000000000f49443a000500000000000000e60000", "id:05:230:5"} << "";
    QTest::newRow("TCP stream stays in step over a time-out")
        << true << "01" << "0000000000050103|-|02000a" << tcpOne << "";
}

void TestFrameCutter::cut()
{
    QFETCH(bool, tcp);
    QFETCH(QString, address);
    QFETCH(QString, chunks);
    QFETCH(QStringList, expected);
    QFETCH(QString, left);

    FrameCutter cutter;
    cutter.setDeviceAddress(address);
    QVector<CutEvent> events;
    for (const QString &chunk : chunks.split(QLatin1Char('|'))) {
        const QByteArray bytes = QByteArray::fromHex(chunk.toLatin1());
        if (chunk == QLatin1String("-"))
            cutter.clearSerial();
        else
            events += tcp ? cutter.feedTcp(bytes) : cutter.feedSerial(bytes);
    }
    QCOMPARE(describe(events), expected);
    QCOMPARE(tcp ? cutter.tcpBuffer() : cutter.buffer(), left);
}

// A peer flooding small valid frames; cutting one read costs its size, not its square.
void TestFrameCutter::floodInOneReadIsCutWhole()
{
    for (const bool tcp : {true, false}) {
        const QByteArray frame = QByteArray::fromHex(tcp ? "000000000003018302" : "010302000a3843");
        const int frames = 1024 * 1024 / frame.size();
        const QByteArray half = frame.left(frame.size() / 2);
        FrameCutter cutter;
        auto feed = [&](const QByteArray &bytes) { return tcp ? cutter.feedTcp(bytes) : cutter.feedSerial(bytes); };
        QCOMPARE(feed(frame.repeated(frames) + half).size(), frames * (tcp ? 2 : 1));
        QCOMPARE(tcp ? cutter.tcpBuffer() : cutter.buffer(), QString::fromLatin1(half.toHex()));
        QCOMPARE(feed(frame.mid(half.size())).size(), tcp ? 2 : 1);
    }
}

QTEST_APPLESS_MAIN(TestFrameCutter)
#include "tst_framecutter.moc"
