#include "ui/trafficviews.h"

#include "QtLibrary/QtTools/qttools.h"
#include "link/threadadministrator.h"
#include "link/threadserialport.h"
#include "ui/inputhistory.h"
#include "ui/trafficmodel.h"
#include "ui/trafficview.h"
#include "ui/trendview.h"
#include "ui/valuerecorder.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

#include <memory>

TrafficViews::TrafficViews(QWidget *window)
    : QObject(window),
      m_window(window),
      m_traffic(new TrafficModel(this)),
      m_history(new InputHistory(this)),
      m_recorder(new ValueRecorder(this)),
      m_trend(new TrendView(window))
{
    qRegisterMetaType<ExchangeRecord>();
    qRegisterMetaType<LinkNotice>();
    m_trend->setWindowFlag(Qt::Window);
    m_trend->hide();
    connect(this, &TrafficViews::sampleTaken, m_trend, &TrendView::addSample);
    connect(this, &TrafficViews::sampleTaken, m_history, &InputHistory::addSample);
    connect(this, &TrafficViews::sampleTaken, m_recorder, &ValueRecorder::record);
    connect(m_recorder, &ValueRecorder::recordingChanged, this, &TrafficViews::showRecording);
    connect(m_recorder, &ValueRecorder::failed, this, [this](const QString &reason) {
        QMessageBox::warning(m_window, QStringLiteral("warning"),
                             tr("Recording stopped: %1", " 记录已停止：%1 ").arg(reason));
    });
}

TrafficViews::~TrafficViews() = default;

void TrafficViews::addActions(QMenu *viewMenu)
{
    m_trafficAction = viewMenu->addAction(tr("Traffic", " 通信记录 "), this, &TrafficViews::showTraffic);
    m_trafficAction->setObjectName(QStringLiteral("trafficAction"));
    m_trendAction = viewMenu->addAction(tr("Trend", " 趋势 "), this, &TrafficViews::showTrend);
    m_trendAction->setObjectName(QStringLiteral("trendAction"));
    viewMenu->addSeparator();
    m_recordAction = viewMenu->addAction(tr("Record to file…", " 记录到文件… "));
    m_recordAction->setObjectName(QStringLiteral("recordAction"));
    m_recordAction->setCheckable(true);
    connect(m_recordAction, &QAction::triggered, this, &TrafficViews::recordTriggered);
}

void TrafficViews::setModel(const QString &model, int outputs, int inputs, int analogOutputs,
                            const QString &analogInputUnit)
{
    LinkNotice notice;
    notice.text = tr("Model: %1", " 型号：%1 ").arg(model.simplified());
    notice.timeMs = QDateTime::currentMSecsSinceEpoch();
    addNotice(notice);
    m_values.setChannels(outputs, inputs, analogOutputs, analogInputUnit);
    m_history->resetStates();
    m_trend->clear();
}

TrafficView *TrafficViews::trafficView()
{
    if (!m_trafficView) {
        m_trafficView = new TrafficView(m_traffic, m_history, m_window);
        m_trafficView->setWindowFlag(Qt::Window);
    }
    return m_trafficView;
}

void TrafficViews::showTraffic()
{
    TrafficView *view = trafficView();
    view->show();
    view->raise();
}

void TrafficViews::showTrend()
{
    m_trend->show();
    m_trend->raise();
}

void TrafficViews::addExchange(const ExchangeRecord &record)
{
    m_traffic->addExchange(record);
    for (const PolledSample &sample : m_values.take(record))
        emit sampleTaken(sample);
}

void TrafficViews::addNotice(const LinkNotice &notice)
{
    m_traffic->addNotice(notice);
}

bool TrafficViews::startRecording(const QString &path, QString *error)
{
    return m_recorder->start(path, error);
}

void TrafficViews::stopRecording()
{
    m_recorder->stop();
}

void TrafficViews::recordTriggered()
{
    if (m_recorder->isRecording()) {
        m_recorder->stop();
        return;
    }
    showRecording(false);
    // An existing file is appended to, not replaced.
    const QString path = QFileDialog::getSaveFileName(
        m_window, tr("Record polled values", " 记录轮询数值 "), QString(),
        tr("CSV files (*.csv)", " CSV 文件 (*.csv) "), nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        return;
    QString error;
    if (!m_recorder->start(path, &error))
        QMessageBox::warning(m_window, QStringLiteral("warning"),
                             tr("Cannot record to %1: %2", " 无法记录到 %1：%2 ").arg(path, error));
}

void TrafficViews::showRecording(bool recording)
{
    if (!m_recordAction)
        return;
    m_recordAction->setChecked(recording);
    m_recordAction->setText(recording ? tr("Stop recording (%1)", " 停止记录（%1） ")
                                            .arg(m_recorder->path())
                                      : tr("Record to file…", " 记录到文件… "));
}

void TrafficViews::followQueue(ThreadAdministrator *queue, ThreadSerialport *link)
{
    // One request is on the wire at a time: each reply or failure ends the last one sent.
    struct Wire
    {
        quint64 id = 0;
        bool open = false;
        bool tcp = false;
        qint64 sentAt = 0;
        QString kind;
    };
    auto wire = std::make_shared<Wire>();
    auto framed = [](const QByteArray &pdu, bool tcp) {
        return tcp ? QByteArray::fromHex(QtTools::modbusTcpHeader(quint32(pdu.size())).toLatin1()) + pdu
                   : QtTools::withCrc16(pdu);
    };
    auto sent = [this, wire, framed](const QString &frame, bool tcp) {
        ExchangeRecord record;
        record.requestId = ++wire->id;
        record.link = tcp ? LinkKind::Tcp : LinkKind::Serial;
        record.bytes = framed(QByteArray::fromHex(frame.toLatin1()), tcp);
        record.unit = quint8(record.bytes.at(tcp ? 6 : 0));
        record.timeMs = QDateTime::currentMSecsSinceEpoch();
        wire->open = true;
        wire->tcp = tcp;
        wire->sentAt = record.timeMs;
        addExchange(record);
    };
    auto ended = [this, wire](const QString &kind, ExchangeRecord record) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        record.direction = ExchangeRecord::Direction::Received;
        record.kind = kind;
        record.polling = ThreadAdministrator::isPolling(kind);
        record.link = wire->tcp ? LinkKind::Tcp : LinkKind::Serial;
        record.timeMs = now;
        if (wire->open && record.result != ExchangeRecord::Result::NotSent) {
            record.requestId = wire->id;
            record.responseMs = now - wire->sentAt;
            wire->open = false;
        }
        addExchange(record);
    };
    connect(queue, &ThreadAdministrator::writeSerialPort, this,
            [sent](const QString &frame) { sent(frame, true); });
    connect(queue, &ThreadAdministrator::writeSerialPort_CRC16, this,
            [sent](const QString &frame) { sent(frame, false); });
    connect(queue, &ThreadAdministrator::replyReceived, this,
            [ended, wire, framed](const QString &kind, const QString &reply) {
                ExchangeRecord record;
                record.result = ExchangeRecord::Result::Ok;
                const QByteArray bytes = QByteArray::fromHex(reply.toLatin1());
                record.bytes = framed(bytes.left(bytes.size() - 2), wire->tcp);
                ended(kind, record);
            });
    connect(queue, &ThreadAdministrator::requestFailed, this,
            [ended](const QString &kind, const QString &reason) {
                ExchangeRecord record;
                if (reason == QLatin1String("timeout")) {
                    record.result = ExchangeRecord::Result::TimedOut;
                } else if (reason.startsWith(QLatin1String("exception"))) {
                    record.result = ExchangeRecord::Result::Exception;
                    record.exceptionCode = quint8(reason.midRef(10).toUInt(nullptr, 16));
                } else {
                    record.result = ExchangeRecord::Result::NotSent;
                }
                ended(kind, record);
            });
    auto notice = [this](LinkNotice::Severity severity, const QString &text) {
        LinkNotice event;
        event.severity = severity;
        event.text = text;
        event.timeMs = QDateTime::currentMSecsSinceEpoch();
        addNotice(event);
    };
    connect(link, &ThreadSerialport::networkConnected, this, [notice]() {
        notice(LinkNotice::Severity::Success, tr("Connected (TCP)", " 已连接（TCP） "));
    });
    connect(link, &ThreadSerialport::networkDisconnected, this, [notice]() {
        notice(LinkNotice::Severity::Warning, tr("Connection lost (TCP)", " 连接断开（TCP） "));
    });
    connect(link, &ThreadSerialport::networkReconnecting, this, [notice](int seconds) {
        notice(LinkNotice::Severity::Info,
               tr("Reconnecting in %1 s", " %1 秒后重新连接 ").arg(seconds));
    });
    connect(link, &ThreadSerialport::serialPortOpened, this, [notice]() {
        notice(LinkNotice::Severity::Success, tr("Serial port opened", " 串口已打开 "));
    });
    connect(link, &ThreadSerialport::serialPortError, this, [notice](const QString &reason, bool lost) {
        notice(lost ? LinkNotice::Severity::Error : LinkNotice::Severity::Warning,
               lost ? tr("Serial port lost: %1", " 串口丢失：%1 ").arg(reason)
                    : tr("Serial port error: %1", " 串口错误：%1 ").arg(reason));
    });
    // A serial frame whose CRC is wrong answers nothing; the queue only counts it.
    connect(link, &ThreadSerialport::dealWithData, this, [this, wire](const QString &reply) {
        if (wire->tcp || reply.size() < 8
            || QtTools::checkCrc16(reply.left(reply.size() - 4), reply.right(4)))
            return;
        ExchangeRecord record;
        record.direction = ExchangeRecord::Direction::Received;
        record.result = ExchangeRecord::Result::BadCrc;
        record.link = LinkKind::Serial;
        record.bytes = QByteArray::fromHex(reply.toLatin1());
        record.timeMs = QDateTime::currentMSecsSinceEpoch();
        addExchange(record);
    });
}
