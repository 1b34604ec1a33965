#include "ui/trafficviews.h"

#include "ui/inputhistory.h"
#include "ui/trafficmodel.h"
#include "ui/trafficview.h"
#include "ui/trendview.h"
#include "ui/valuerecorder.h"

#include <QAction>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

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

void TrafficViews::setChannels(int outputs, int inputs, int analogOutputs,
                               const QString &analogInputUnit)
{
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
