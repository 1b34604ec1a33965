#pragma once

#include "protocol/polledvalues.h"

#include <QHash>
#include <QPointF>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace QtCharts {
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;
}

// Live charts of what polling brings in: analog inputs, analog output read-back,
// switch inputs as step lines and the module's response time, over a window of 1 min
// to 1 h. The operator picks the channels, pauses, zooms and pans, and exports the
// samples (CSV) and the picture (PNG).
class TrendView : public QWidget
{
    Q_OBJECT

public:
    static constexpr qint64 kKeepMs = 60LL * 60 * 1000;
    static constexpr int kRefreshMs = 250;
    static constexpr int kSpacingMs = 200; // closest kept samples of a channel

    // Collects samples from the start; the chart is made when the trend is first shown.
    explicit TrendView(QWidget *parent = nullptr);
    ~TrendView() override;

    void setVisible(bool visible) override;

    QStringList channels() const;
    // Points the channel's line holds (a step line holds two per change).
    int pointCount(const QString &channel) const;
    QtCharts::QLineSeries *series(const QString &channel) const;
    QtCharts::QChart *chart() const { return m_chart; }

    void setWindowMinutes(int minutes);
    int windowMinutes() const;
    void setPaused(bool paused);
    bool isPaused() const { return m_paused; }
    void setChannelShown(const QString &channel, bool shown);
    // Whether the chart and its controls exist: they are made when the trend is first shown.
    bool isBuilt() const { return m_chart != nullptr; }

    // The samples of the shown channels inside the time window: time, channel, value, unit.
    QString csv() const;
    bool exportCsv(const QString &path, QString *error = nullptr) const;
    bool exportPng(const QString &path) const;
    // Forgets every channel (another model).
    void clear();

public slots:
    void addSample(const PolledSample &sample);
    // Follows the newest samples again after a zoom or pan.
    void resetZoom();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Channel
    {
        QtCharts::QLineSeries *series = nullptr;
        QString unit;
        PolledSample::Kind kind = PolledSample::Kind::AnalogInput;
        QVector<QPointF> points;  // all kept, x in ms since the epoch
        int shownPoints = 0;      // of them, already in the series
        QListWidgetItem *item = nullptr;
        bool shown = true;
    };

    void build();
    void addToChart(const QString &name, Channel &channel);
    Channel &channelFor(const PolledSample &sample);
    void refresh();
    void updateAxes(qint64 now);
    void exportCsvClicked();
    void exportPngClicked();

    QHash<QString, Channel> m_channels;
    QtCharts::QChart *m_chart = nullptr;
    QtCharts::QChartView *m_view = nullptr;
    QtCharts::QDateTimeAxis *m_timeAxis = nullptr;
    QtCharts::QValueAxis *m_valueAxis = nullptr;
    QtCharts::QValueAxis *m_msAxis = nullptr;
    QListWidget *m_channelList = nullptr;
    QComboBox *m_windowBox = nullptr;
    QCheckBox *m_pauseBox = nullptr;
    QTimer m_refreshTimer;
    int m_windowMinutes = 5;
    bool m_paused = false;
    bool m_following = true;
    bool m_settingRange = false;
    qint64 m_lastSampleMs = 0;
};
