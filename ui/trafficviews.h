#pragma once

#include "protocol/linkevents.h"
#include "protocol/polledvalues.h"

#include <QObject>
#include <QPointer>
#include <QString>

class InputHistory;
class QAction;
class QMenu;
class QWidget;
class TrafficModel;
class Session;
class TrafficView;
class TrendView;
class ValueRecorder;

// What the View menu offers, fed by the link's exchange records: the traffic table, the
// trend, the input changes and the recording of polled values to a file. Each keeps
// collecting while its window is closed.
class TrafficViews : public QObject
{
    Q_OBJECT

public:
    explicit TrafficViews(QWidget *window);
    ~TrafficViews() override;

    // "Traffic", "Trend", "Record to file…".
    void addActions(QMenu *viewMenu);
    // The chosen model (its menu text, a link event in the table) and its channels, -1
    // or 0 for a kind it lacks; unit "V" or "mA".
    void setModel(const QString &model, int outputs, int inputs, int analogOutputs,
                  const QString &analogInputUnit);
    // Recording into the file (appended); false with the reason.
    bool startRecording(const QString &path, QString *error = nullptr);
    void stopRecording();

    TrafficModel *trafficModel() const { return m_traffic; }
    InputHistory *inputHistory() const { return m_history; }
    ValueRecorder *recorder() const { return m_recorder; }
    TrendView *trendView() const { return m_trend; }
    TrafficView *trafficView();
    QAction *trafficAction() const { return m_trafficAction; }
    QAction *trendAction() const { return m_trendAction; }
    QAction *recordAction() const { return m_recordAction; }

    // The session's exchange records and notices, and its link state as events.
    void followSession(Session *session);

public slots:
    void addExchange(const ExchangeRecord &record);
    void addNotice(const LinkNotice &notice);
    void showTraffic();
    void showTrend();

signals:
    void sampleTaken(PolledSample sample);

private:
    void recordTriggered();
    void showRecording(bool recording);

    QWidget *m_window;
    PolledValues m_values;
    TrafficModel *m_traffic;
    InputHistory *m_history;
    ValueRecorder *m_recorder;
    TrendView *m_trend;
    QPointer<TrafficView> m_trafficView;
    QAction *m_trafficAction = nullptr;
    QAction *m_trendAction = nullptr;
    QAction *m_recordAction = nullptr;
};
