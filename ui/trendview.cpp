#include "ui/trendview.h"

#include "protocol/csv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

using namespace QtCharts;

namespace {

const int kWindowMinutes[] = {1, 5, 10, 30, 60};

bool isStep(PolledSample::Kind kind)
{
    return kind == PolledSample::Kind::SwitchInput || kind == PolledSample::Kind::SwitchOutput;
}

// AI2 before AI10: the letters, then the channel number.
bool channelBefore(const QString &a, const QString &b)
{
    auto split = [](const QString &name) {
        int digits = name.size();
        while (digits > 0 && name.at(digits - 1).isDigit())
            --digits;
        return qMakePair(name.left(digits), name.mid(digits).toInt());
    };
    return split(a) < split(b);
}

// A chart view that zooms with the wheel or a dragged rectangle and pans with the
// arrow keys or a drag with the middle button.
class TrendChartView : public QChartView
{
public:
    explicit TrendChartView(QChart *chart, QWidget *parent) : QChartView(chart, parent)
    {
        setRubberBand(QChartView::RectangleRubberBand);
        setRenderHint(QPainter::Antialiasing);
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        chart()->zoom(event->angleDelta().y() > 0 ? 1.25 : 0.8);
        event->accept();
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const qreal step = 20;
        switch (event->key()) {
        case Qt::Key_Left:
            chart()->scroll(-step, 0);
            break;
        case Qt::Key_Right:
            chart()->scroll(step, 0);
            break;
        case Qt::Key_Up:
            chart()->scroll(0, step);
            break;
        case Qt::Key_Down:
            chart()->scroll(0, -step);
            break;
        case Qt::Key_Plus:
            chart()->zoomIn();
            break;
        case Qt::Key_Minus:
            chart()->zoomOut();
            break;
        default:
            QChartView::keyPressEvent(event);
        }
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::MiddleButton) {
            m_panFrom = event->pos();
            m_panning = true;
            event->accept();
            return;
        }
        QChartView::mousePressEvent(event);
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (m_panning) {
            const QPoint delta = event->pos() - m_panFrom;
            chart()->scroll(-delta.x(), delta.y());
            m_panFrom = event->pos();
            event->accept();
            return;
        }
        QChartView::mouseMoveEvent(event);
    }

    void mouseReleaseEvent(QMouseEvent *event) override
    {
        if (event->button() == Qt::MiddleButton) {
            m_panning = false;
            event->accept();
            return;
        }
        QChartView::mouseReleaseEvent(event);
    }

private:
    QPoint m_panFrom;
    bool m_panning = false;
};

} // namespace

TrendView::TrendView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("trendView"));
    setWindowTitle(tr("Trend", " 趋势 "));
    // Samples are kept (and the oldest let go) whether or not the chart exists.
    m_refreshTimer.setInterval(kRefreshMs);
    connect(&m_refreshTimer, &QTimer::timeout, this, &TrendView::refresh);
    m_refreshTimer.start();
    resize(1000, 600);
}

void TrendView::setVisible(bool visible)
{
    if (visible)
        build();
    QWidget::setVisible(visible);
}

void TrendView::build()
{
    if (m_chart)
        return;
    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
    m_timeAxis->setTitleText(tr("Time", " 时间 "));
    m_valueAxis = new QValueAxis;
    m_valueAxis->setTitleText(tr("Value (V, mA, on = 1)", " 数值（V、mA，通 = 1） "));
    m_msAxis = new QValueAxis;
    m_msAxis->setTitleText(tr("Response (ms)", " 响应（毫秒） "));
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(m_valueAxis, Qt::AlignLeft);
    m_chart->addAxis(m_msAxis, Qt::AlignRight);
    m_view = new TrendChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("trendChart"));

    m_channelList = new QListWidget(this);
    m_channelList->setObjectName(QStringLiteral("trendChannels"));
    connect(m_channelList, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        setChannelShown(item->data(Qt::UserRole).toString(), item->checkState() == Qt::Checked);
    });

    m_windowBox = new QComboBox(this);
    m_windowBox->setObjectName(QStringLiteral("trendWindow"));
    for (const int minutes : kWindowMinutes) {
        m_windowBox->addItem(minutes < 60 ? tr("%1 min", " %1 分钟 ").arg(minutes)
                                          : tr("1 h", " 1 小时 "),
                             minutes);
    }
    m_windowBox->setCurrentIndex(m_windowBox->findData(m_windowMinutes));
    connect(m_windowBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this]() {
        m_windowMinutes = m_windowBox->currentData().toInt();
        resetZoom();
    });

    m_pauseBox = new QCheckBox(tr("Pause", " 暂停 "), this);
    m_pauseBox->setObjectName(QStringLiteral("trendPause"));
    m_pauseBox->setChecked(m_paused);
    connect(m_pauseBox, &QCheckBox::toggled, this, &TrendView::setPaused);

    auto *resetButton = new QPushButton(tr("Follow", " 跟随 "), this);
    resetButton->setObjectName(QStringLiteral("trendFollow"));
    resetButton->setToolTip(tr("Undo zoom and pan and follow the newest values",
                               " 取消缩放和平移，跟随最新数值 "));
    connect(resetButton, &QPushButton::clicked, this, &TrendView::resetZoom);
    auto *csvButton = new QPushButton(tr("Export CSV…", " 导出 CSV… "), this);
    csvButton->setObjectName(QStringLiteral("trendExportCsv"));
    connect(csvButton, &QPushButton::clicked, this, &TrendView::exportCsvClicked);
    auto *pngButton = new QPushButton(tr("Export PNG…", " 导出 PNG… "), this);
    pngButton->setObjectName(QStringLiteral("trendExportPng"));
    connect(pngButton, &QPushButton::clicked, this, &TrendView::exportPngClicked);

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Window", " 时间窗 "), this));
    controls->addWidget(m_windowBox);
    controls->addWidget(m_pauseBox);
    controls->addWidget(resetButton);
    controls->addStretch();
    controls->addWidget(csvButton);
    controls->addWidget(pngButton);

    auto *splitter = new QSplitter(this);
    auto *channelPane = new QWidget(splitter);
    auto *channelLayout = new QVBoxLayout(channelPane);
    channelLayout->setContentsMargins(0, 0, 0, 0);
    channelLayout->addWidget(new QLabel(tr("Channels", " 通道 "), channelPane));
    channelLayout->addWidget(m_channelList);
    splitter->addWidget(channelPane);
    splitter->addWidget(m_view);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({160, 800});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(splitter);

    // An axis moved by the operator (zoom, pan) stops the chart following.
    connect(m_timeAxis, &QDateTimeAxis::rangeChanged, this, [this]() {
        if (!m_settingRange)
            m_following = false;
    });

    for (const QString &name : channels())
        addToChart(name, m_channels[name]);
}

TrendView::~TrendView() = default;

QStringList TrendView::channels() const
{
    QStringList names = m_channels.keys();
    std::sort(names.begin(), names.end(), channelBefore);
    return names;
}

int TrendView::pointCount(const QString &channel) const
{
    const auto it = m_channels.constFind(channel);
    return it == m_channels.constEnd() ? 0 : it->points.size();
}

QLineSeries *TrendView::series(const QString &channel) const
{
    const auto it = m_channels.constFind(channel);
    return it == m_channels.constEnd() ? nullptr : it->series;
}

void TrendView::setWindowMinutes(int minutes)
{
    if (std::find(std::begin(kWindowMinutes), std::end(kWindowMinutes), minutes)
        == std::end(kWindowMinutes))
        return;
    m_windowMinutes = minutes;
    if (m_windowBox)
        m_windowBox->setCurrentIndex(m_windowBox->findData(minutes));
}

int TrendView::windowMinutes() const
{
    return m_windowMinutes;
}

void TrendView::setPaused(bool paused)
{
    m_paused = paused;
    if (m_pauseBox && m_pauseBox->isChecked() != paused)
        m_pauseBox->setChecked(paused);
    if (!paused)
        refresh();
}

void TrendView::setChannelShown(const QString &channel, bool shown)
{
    const auto it = m_channels.find(channel);
    if (it == m_channels.end())
        return;
    it->shown = shown;
    if (it->series)
        it->series->setVisible(shown);
    if (it->item && (it->item->checkState() == Qt::Checked) != shown)
        it->item->setCheckState(shown ? Qt::Checked : Qt::Unchecked);
}

TrendView::Channel &TrendView::channelFor(const PolledSample &sample)
{
    auto it = m_channels.find(sample.channel);
    if (it != m_channels.end())
        return *it;
    Channel channel;
    channel.kind = sample.kind;
    channel.unit = sample.unit;
    // Switch inputs can be many: they are there to pick, not shown from the start.
    channel.shown = sample.kind != PolledSample::Kind::SwitchInput;
    Channel &added = *m_channels.insert(sample.channel, channel);
    if (m_chart)
        addToChart(sample.channel, added);
    return added;
}

void TrendView::addToChart(const QString &channelName, Channel &channel)
{
    channel.series = new QLineSeries;
    const QString name = channel.unit.isEmpty()
        ? channelName
        : QStringLiteral("%1 (%2)").arg(channelName, channel.unit);
    channel.series->setName(name);
    m_chart->addSeries(channel.series);
    channel.series->attachAxis(m_timeAxis);
    channel.series->attachAxis(channel.kind == PolledSample::Kind::ResponseTime ? m_msAxis
                                                                                : m_valueAxis);
    channel.series->setVisible(channel.shown);
    channel.shownPoints = 0;
    channel.item = new QListWidgetItem(name);
    channel.item->setData(Qt::UserRole, channelName);
    channel.item->setFlags(channel.item->flags() | Qt::ItemIsUserCheckable);
    const QSignalBlocker blocker(m_channelList);
    channel.item->setCheckState(channel.shown ? Qt::Checked : Qt::Unchecked);
    int row = 0;
    while (row < m_channelList->count()
           && channelBefore(m_channelList->item(row)->data(Qt::UserRole).toString(), channelName))
        ++row;
    m_channelList->insertItem(row, channel.item);
}

void TrendView::addSample(const PolledSample &sample)
{
    if (sample.kind == PolledSample::Kind::SwitchOutput)
        return;
    Channel &channel = channelFor(sample);
    const QPointF point(double(sample.timeMs), sample.value);
    // An hour of fast polling would be hundreds of thousands of points per line: one per
    // spacing is kept, and every change of a switch.
    if (!channel.points.isEmpty()) {
        const QPointF &last = channel.points.last();
        const bool change = isStep(channel.kind) && last.y() != sample.value;
        if (!change && point.x() - last.x() < kSpacingMs)
            return;
    }
    // A switch holds its state until the next sample: a step, not a slope.
    if (isStep(channel.kind) && !channel.points.isEmpty()
        && channel.points.last().y() != sample.value)
        channel.points.append(QPointF(point.x(), channel.points.last().y()));
    channel.points.append(point);
    m_lastSampleMs = qMax(m_lastSampleMs, sample.timeMs);
}

void TrendView::refresh()
{
    if (m_paused)
        return;
    const qint64 now = qMax(QDateTime::currentMSecsSinceEpoch(), m_lastSampleMs);
    const double oldest = double(now - kKeepMs);
    for (Channel &channel : m_channels) {
        int old = 0;
        while (old < channel.points.size() && channel.points.at(old).x() < oldest)
            ++old;
        if (old > 0) {
            const int fromSeries = qMin(old, channel.shownPoints);
            channel.points.remove(0, old);
            if (fromSeries > 0)
                channel.series->removePoints(0, fromSeries);
            channel.shownPoints -= fromSeries;
        }
        if (channel.series && channel.shownPoints < channel.points.size()) {
            channel.series->append(channel.points.mid(channel.shownPoints).toList());
            channel.shownPoints = channel.points.size();
        }
    }
    if (m_following && isVisible())
        updateAxes(now);
}

void TrendView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
}

void TrendView::updateAxes(qint64 now)
{
    const qint64 windowMs = qint64(windowMinutes()) * 60 * 1000;
    const double from = double(now - windowMs);
    double low = 0, high = 1, msHigh = 10;
    bool any = false;
    for (const Channel &channel : qAsConst(m_channels)) {
        if (!channel.shown)
            continue;
        for (const QPointF &point : channel.points) {
            if (point.x() < from)
                continue;
            if (channel.kind == PolledSample::Kind::ResponseTime) {
                msHigh = qMax(msHigh, point.y());
                continue;
            }
            low = any ? qMin(low, point.y()) : qMin(0.0, point.y());
            high = any ? qMax(high, point.y()) : qMax(1.0, point.y());
            any = true;
        }
    }
    m_settingRange = true;
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(now - windowMs),
                         QDateTime::fromMSecsSinceEpoch(now));
    m_valueAxis->setRange(low, high + (high - low) * 0.05);
    m_msAxis->setRange(0, msHigh * 1.1);
    m_settingRange = false;
}

void TrendView::resetZoom()
{
    if (!m_chart)
        return;
    m_chart->zoomReset();
    m_following = true;
    updateAxes(qMax(QDateTime::currentMSecsSinceEpoch(), m_lastSampleMs));
}

QString TrendView::csv() const
{
    QString text = Csv::line({QStringLiteral("time"), QStringLiteral("channel"),
                              QStringLiteral("value"), QStringLiteral("unit")});
    const qint64 now = qMax(QDateTime::currentMSecsSinceEpoch(), m_lastSampleMs);
    const double from = double(now - qint64(windowMinutes()) * 60 * 1000);
    for (const QString &name : channels()) {
        const Channel &channel = m_channels[name];
        if (!channel.shown)
            continue;
        for (const QPointF &point : channel.points) {
            if (point.x() < from)
                continue;
            text += Csv::line({QDateTime::fromMSecsSinceEpoch(qint64(point.x()))
                                   .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")),
                               name, QString::number(point.y(), 'g', 10), channel.unit});
        }
    }
    return text;
}

bool TrendView::exportCsv(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv().toUtf8()) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool TrendView::exportPng(const QString &path) const
{
    return m_view && m_view->grab().save(path, "PNG");
}

void TrendView::clear()
{
    for (Channel &channel : m_channels) {
        if (channel.series) {
            m_chart->removeSeries(channel.series);
            delete channel.series;
        }
    }
    m_channels.clear();
    if (m_channelList)
        m_channelList->clear();
}

void TrendView::exportCsvClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export trend samples", " 导出趋势数据 "),
                                                      QString(), tr("CSV files (*.csv)", " CSV 文件 (*.csv) "));
    if (path.isEmpty())
        return;
    QString error;
    if (!exportCsv(path, &error))
        QMessageBox::warning(this, QStringLiteral("warning"),
                             tr("The samples could not be saved: %1", " 数据无法保存：%1 ").arg(error));
}

void TrendView::exportPngClicked()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export trend picture", " 导出趋势图 "),
                                                      QString(), tr("PNG pictures (*.png)", " PNG 图片 (*.png) "));
    if (path.isEmpty())
        return;
    if (!exportPng(path))
        QMessageBox::warning(this, QStringLiteral("warning"),
                             tr("The picture could not be saved to %1", " 图片无法保存到 %1 ").arg(path));
}
