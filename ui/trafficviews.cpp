#include "ui/trafficviews.h"

#include "link/session.h"
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

void TrafficViews::followSession(Session *session)
{
    connect(session, &Session::exchange, this, &TrafficViews::addExchange);
    connect(session, &Session::notice, this, &TrafficViews::addNotice);
    // The link's state changes as rows of their own; trying to connect is no event.
    auto previous = std::make_shared<Session::LinkState>(session->state());
    connect(session, &Session::stateChanged, this, [this, session, previous](Session::LinkState state) {
        using S = Session::LinkState;
        const S before = *previous;
        *previous = state;
        LinkNotice event;
        event.timeMs = QDateTime::currentMSecsSinceEpoch();
        switch (state) {
        case S::Open:
            event.severity = LinkNotice::Severity::Success;
            event.text = tr("Serial port open", " 串口已打开 ");
            break;
        case S::Connected:
            event.severity = LinkNotice::Severity::Success;
            event.text = before == S::Reconnecting ? tr("Reconnected (TCP)", " 已重新连接（TCP） ")
                                                   : tr("Connected (TCP)", " 已连接（TCP） ");
            break;
        case S::Reconnecting:
            if (before == S::Reconnecting)
                return;
            event.severity = LinkNotice::Severity::Warning;
            event.text = tr("Connection lost; reconnecting", " 连接断开，正在重新连接 ");
            break;
        case S::Closed:
            if (before == S::Connecting || before == S::Opening)
                return;
            event.severity = LinkNotice::Severity::Warning;
            event.text = tr("Link closed", " 链路已关闭 ");
            break;
        case S::Failed:
            event.severity = LinkNotice::Severity::Error;
            event.text = tr("Serial port failed: %1", " 串口失败：%1 ").arg(session->failure());
            break;
        case S::Opening:
        case S::Connecting:
            return;
        }
        addNotice(event);
    });
}
