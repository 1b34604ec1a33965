// The traffic table, the input changes and the recording, fed with exchange records as
// the link makes them.
#include "protocol/modbusrequest.h"
#include "tests/exchangerecords.h"
#include "ui/inputhistory.h"
#include "ui/trafficmodel.h"
#include "ui/trafficview.h"
#include "ui/valuerecorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

class TestTrafficModel : public QObject
{
    Q_OBJECT

private slots:
    void rows_data();
    void rows();
    void ringKeepsTheNewest();
    void filter_data();
    void filter();
    void inputChanges();
    void recorder();
};

void TestTrafficModel::rows_data()
{
    QTest::addColumn<QList<ExchangeRecord>>("records");
    QTest::addColumn<QStringList>("expected"); // Link, Unit, Function, Address, Quantity, Data, Result, Response
    const auto Ok = ExchangeRecord::Result::Ok;

    QTest::newRow("read of analog inputs, serial, values decoded")
        << QList<ExchangeRecord>{sent(1, ModbusRequest::kAnalogStartDetecting, "010300200002"),
                                 answer(1, Ok, "0103040fa04e20")}
        << QStringList{"Serial", "1", "03 Read holding registers", "0x0020", "2", "4.000 20.000",
                       "OK", "12"};
    QTest::newRow("read over TCP, registers in hex")
        << QList<ExchangeRecord>{sent(2, ModbusRequest::kReadAnalogOutputValue, "010300090002", LinkKind::Tcp),
                                 answer(2, Ok, "01030400051234", LinkKind::Tcp, 7)}
        << QStringList{"TCP", "1", "03 Read holding registers", "0x0009", "2", "0005 1234", "OK", "7"};
    QTest::newRow("write single coil shows what was written")
        << QList<ExchangeRecord>{sent(3, ModbusRequest::buttonKind(2), "01050002ff00"),
                                 answer(3, Ok, "01050002ff00")}
        << QStringList{"Serial", "1", "05 Write single coil", "0x0002", "1", "ON", "OK", "12"};
    QTest::newRow("exception with its meaning")
        << QList<ExchangeRecord>{sent(5, ModbusRequest::kCheckStatus, "010300000004"),
                                 answer(5, ExchangeRecord::Result::Exception, "018302")}
        << QStringList{"Serial", "1", "03 Read holding registers", "0x0000", "4", "",
                       "Exception 02: Illegal data address", "12"};
    QTest::newRow("time-out")
        << QList<ExchangeRecord>{sent(6, ModbusRequest::kStartDetecting, "010300040001", LinkKind::Serial, true),
                                 answer(6, ExchangeRecord::Result::TimedOut, QByteArray(), LinkKind::Serial, 1000)}
        << QStringList{"Serial", "1", "03 Read holding registers", "0x0004", "1", "", "Time-out",
                       "1000"};
    QTest::newRow("bad CRC is a row of its own")
        << QList<ExchangeRecord>{[] {
               ExchangeRecord record = answer(0, ExchangeRecord::Result::BadCrc, QByteArray(), LinkKind::Serial, -1);
               record.bytes = QByteArray::fromHex("0103020005b846");
               return record;
           }()}
        << QStringList{"Serial", "1", "03 Read holding registers", "", "", "01 03 02 00 05 B8 46",
                       "Bad CRC", ""};
    QTest::newRow("unmatched frame is a row of its own")
        << QList<ExchangeRecord>{answer(0, ExchangeRecord::Result::Unmatched, "010600090005", LinkKind::Tcp, -1)}
        << QStringList{"TCP", "1", "06 Write single register", "0x0009", "1",
                       "00 00 00 00 00 06 01 06 00 09 00 05", "Unmatched", ""};
    QTest::newRow("withdrawn write of registers shows the words")
        << QList<ExchangeRecord>{sent(7, ModbusRequest::kAllOpen, "0a1000000002040000ffff"),
                                 answer(7, ExchangeRecord::Result::NotSent, QByteArray(), LinkKind::Serial, -1)}
        << QStringList{"Serial", "10", "10 Write multiple registers", "0x0000", "2", "0000 FFFF",
                       "Not sent", ""};
}

void TestTrafficModel::rows()
{
    QFETCH(QList<ExchangeRecord>, records);
    QFETCH(QStringList, expected);
    // Below a good reply: every other result has its own colour, a plain row would hide a
    // failure among the OKs.
    TrafficModel model;
    model.addExchange(sent(100, QString(), "010300000001"));
    model.addExchange(answer(100, ExchangeRecord::Result::Ok, "0103020000"));
    for (const ExchangeRecord &record : records)
        model.addExchange(record);
    model.flush();
    QCOMPARE(model.rowCount(), 2);
    QStringList shown;
    for (int column = TrafficModel::Link; column <= TrafficModel::Response; ++column)
        shown << model.data(model.index(1, column)).toString();
    QCOMPARE(shown, expected);
    const QVariant background = model.data(model.index(1, 0), Qt::BackgroundRole);
    QVERIFY(background.isValid());
    QCOMPARE(background == model.data(model.index(0, 0), Qt::BackgroundRole), expected.at(6) == QLatin1String("OK"));
}

void TestTrafficModel::ringKeepsTheNewest()
{
    TrafficModel model(nullptr, 5);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    for (quint64 id = 1; id <= 12; ++id)
        model.addExchange(sent(id, ModbusRequest::kCheckStatus, "010300000001"));
    // The reply to a request still shown completes its row; one whose row is gone
    // becomes a row of its own.
    model.addExchange(answer(10, ExchangeRecord::Result::Ok, "0103020003"));
    model.addExchange(answer(2, ExchangeRecord::Result::TimedOut, QByteArray()));
    model.flush();
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(inserted.count(), 1); // one batch, not a row at a time
    QCOMPARE(model.row(0).requestId, quint64(9));
    QCOMPARE(model.row(1).requestId, quint64(10));
    QCOMPARE(model.row(1).result, TrafficRow::Result::Ok);
    QCOMPARE(model.row(4).requestId, quint64(2));
    QCOMPARE(model.row(4).result, TrafficRow::Result::TimedOut);

    // A reply to a shown row after the ring turned round still finds it.
    model.addExchange(answer(12, ExchangeRecord::Result::Ok, "0103020001"));
    model.flush();
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.row(3).requestId, quint64(12));
    QCOMPARE(model.row(3).result, TrafficRow::Result::Ok);

    // Paused, the table holds still; resumed, it shows the newest.
    model.setPaused(true);
    for (quint64 id = 13; id <= 30; ++id)
        model.addExchange(sent(id, ModbusRequest::kCheckStatus, "010300000001"));
    model.flush();
    QCOMPARE(model.row(0).requestId, quint64(9));
    model.setPaused(false);
    QTRY_COMPARE_WITH_TIMEOUT(model.row(4).requestId, quint64(30), 10000);
    QCOMPARE(model.rowCount(), 5);
    QCOMPARE(model.row(0).requestId, quint64(26));
}

void TestTrafficModel::filter_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hidePolling");
    QTest::addColumn<QList<quint64>>("shown");
    using R = TrafficFilter::ResultFilter;
    QTest::newRow("everything") << -1 << int(R::All) << QString() << false
                                << QList<quint64>{1, 2, 3, 4, 0};
    QTest::newRow("function 05") << 0x05 << int(R::All) << QString() << false << QList<quint64>{2};
    QTest::newRow("time-outs") << -1 << int(R::TimedOut) << QString() << false << QList<quint64>{3};
    QTest::newRow("failed") << -1 << int(R::Failed) << QString() << false << QList<quint64>{3, 4};
    QTest::newRow("link events") << -1 << int(R::Event) << QString() << false << QList<quint64>{0};
    QTest::newRow("text in kind, any case") << -1 << int(R::All) << QStringLiteral("qpushbutton") << false
                                            << QList<quint64>{2};
    QTest::newRow("polling hidden") << -1 << int(R::All) << QString() << true
                                    << QList<quint64>{2, 4, 0};
}

// The view's own controls, found by name, drive the filter as an operator would.
void TestTrafficModel::filter()
{
    QFETCH(int, function);
    QFETCH(int, result);
    QFETCH(QString, text);
    QFETCH(bool, hidePolling);
    QFETCH(QList<quint64>, shown);
    TrafficModel model;
    InputHistory history;
    TrafficView view(&model, &history);
    model.addExchange(sent(1, ModbusRequest::kAnalogStartDetecting, "010300200002", LinkKind::Serial, true));
    model.addExchange(answer(1, ExchangeRecord::Result::Ok, "0103040fa04e20"));
    model.addExchange(sent(2, ModbusRequest::buttonKind(3), "01050003ff00"));
    model.addExchange(answer(2, ExchangeRecord::Result::Ok, "01050003ff00"));
    model.addExchange(sent(3, ModbusRequest::kStartDetecting, "010300040001", LinkKind::Serial, true));
    model.addExchange(answer(3, ExchangeRecord::Result::TimedOut, QByteArray()));
    model.addExchange(sent(4, ModbusRequest::kCheckStatus, "010300000001"));
    model.addExchange(answer(4, ExchangeRecord::Result::Exception, "018302"));
    LinkNotice notice;
    notice.text = QStringLiteral("Connection lost, retrying");
    model.addNotice(notice);
    model.flush();

    auto *functions = view.findChild<QComboBox *>(QStringLiteral("trafficFunction"));
    functions->setCurrentIndex(functions->findData(function));
    auto *results = view.findChild<QComboBox *>(QStringLiteral("trafficResult"));
    results->setCurrentIndex(results->findData(result));
    QTest::keyClicks(view.findChild<QLineEdit *>(QStringLiteral("trafficText")), text);
    view.findChild<QCheckBox *>(QStringLiteral("trafficHidePolling"))->setChecked(hidePolling);
    const TrafficFilter *filter = view.filter();
    QCOMPARE(view.findChild<QTableView *>(QStringLiteral("trafficTable"))->model()->rowCount(), shown.size());
    QList<quint64> ids;
    for (int r = 0; r < filter->rowCount(); ++r)
        ids << model.row(filter->mapToSource(filter->index(r, 0)).row()).requestId;
    QCOMPARE(ids, shown);
    // The export writes what the table shows, below its header; the notice keeps its comma
    // inside its one field (quotes and line breaks: tst_checkreports).
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.csv"));
    QVERIFY(filter->exportCsv(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), shown.size() + 1);
    QCOMPARE(lines.at(0).split(QLatin1Char(',')).size(), int(TrafficModel::ColumnCount));
    if (shown.contains(0))
        QVERIFY2(lines.last().contains(QStringLiteral(",\"Connection lost, retrying\"")), qPrintable(lines.last()));
}

void TestTrafficModel::inputChanges()
{
    InputHistory history;
    auto input = [](int channel, bool on, qint64 time) {
        PolledSample sample;
        sample.kind = PolledSample::Kind::SwitchInput;
        sample.channel = QStringLiteral("IN%1").arg(channel);
        sample.value = on ? 1 : 0;
        sample.timeMs = time;
        return sample;
    };
    const qint64 t0 = QDateTime(QDate(2026, 12, 7), QTime(14, 2, 3, 412)).toMSecsSinceEpoch();
    history.addSample(input(3, false, t0 - 500)); // the first state is known, not a change
    history.addSample(input(3, true, t0));
    history.addSample(input(3, true, t0 + 500));
    history.addSample(input(3, false, t0 + 1000));
    QCOMPARE(history.rowCount(), 2);
    QCOMPARE(history.data(history.index(0)).toString(), QStringLiteral("IN3 on 14:02:03.412"));
    QCOMPARE(history.data(history.index(1)).toString(), QStringLiteral("IN3 off 14:02:04.412"));
    QCOMPARE(history.csv().split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1),
             (QStringList{"2026-12-07T14:02:03.412,IN3,on", "2026-12-07T14:02:04.412,IN3,off"}));
}

// Values reach the disk within a second while the file stays open; a second recording
// appends below the one header; past the rotation size the file moves to .1 and a new one
// begins with its header.
void TestTrafficModel::recorder()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("values.csv"));
    const auto onDisk = [&path]() {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QString header = QStringLiteral("time,channel,value,unit\n");
    const QString line = QStringLiteral("2026-12-07T14:02:03.412,AI0,4.012,mA\n");
    PolledSample sample;
    sample.timeMs = QDateTime(QDate(2026, 12, 7), QTime(14, 2, 3, 412)).toMSecsSinceEpoch();
    sample.channel = QStringLiteral("AI0");
    sample.value = 4.012;
    sample.unit = QStringLiteral("mA");
    for (int recording = 1; recording <= 2; ++recording) {
        ValueRecorder recorder;
        QVERIFY(recorder.start(path));
        recorder.record(sample);
        QTRY_COMPARE_WITH_TIMEOUT(onDisk(), header + line.repeated(recording), 5000);
    }

    ValueRecorder recorder;
    recorder.setRotateBytes(100);
    QVERIFY(recorder.start(path));
    for (int i = 0; i < 5; ++i)
        recorder.record(sample);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(path + QStringLiteral(".1")), 5000);
    recorder.stop();
    QCOMPARE(onDisk(), header);
}

QTEST_MAIN(TestTrafficModel)
#include "tst_trafficmodel.moc"
