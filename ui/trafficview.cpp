#include "ui/trafficview.h"

#include "protocol/modbusrequest.h"
#include "ui/inputhistory.h"
#include "ui/trafficmodel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

TrafficView::TrafficView(TrafficModel *model, InputHistory *history, QWidget *parent)
    : QWidget(parent), m_model(model), m_history(history)
{
    setObjectName(QStringLiteral("trafficView"));
    setWindowTitle(tr("Traffic", " 通信记录 "));

    m_filter = new TrafficFilter(this);
    m_filter->setSourceModel(model);

    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("trafficTable"));
    m_table->setModel(m_filter);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Fixed row heights and column widths: no measuring of 100,000 rows.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->horizontalHeader()->setStretchLastSection(false);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[TrafficModel::ColumnCount] = {13, 6, 5, 27, 8, 8, 30, 26, 14};
    for (int column = 0; column < TrafficModel::ColumnCount; ++column)
        m_table->setColumnWidth(column, widths[column] * digit);

    m_functionBox = new QComboBox(this);
    m_functionBox->setObjectName(QStringLiteral("trafficFunction"));
    m_functionBox->addItem(tr("All functions", " 全部功能码 "), -1);
    for (const int code : {0x03, 0x05, 0x06, 0x10, 0x01, 0x02, 0x0F})
        m_functionBox->addItem(QStringLiteral("%1 %2").arg(code, 2, 16, QLatin1Char('0'))
                                   .arg(ModbusRequest::functionName(code)),
                               code);
    connect(m_functionBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this]() { m_filter->setFunction(m_functionBox->currentData().toInt()); });

    using R = TrafficFilter::ResultFilter;
    m_resultBox = new QComboBox(this);
    m_resultBox->setObjectName(QStringLiteral("trafficResult"));
    const QList<QPair<QString, R>> results = {
        {tr("All results", " 全部结果 "), R::All},
        {tr("OK", " 成功 "), R::Ok},
        {tr("Failed", " 失败 "), R::Failed},
        {tr("Exception", " 异常 "), R::Exception},
        {tr("Time-out", " 超时 "), R::TimedOut},
        {tr("Bad CRC", " CRC 错误 "), R::BadCrc},
        {tr("Unmatched", " 无对应请求 "), R::Unmatched},
        {tr("Link events", " 链路事件 "), R::Event},
    };
    for (const auto &result : results)
        m_resultBox->addItem(result.first, int(result.second));
    connect(m_resultBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this]() {
        m_filter->setResult(R(m_resultBox->currentData().toInt()));
    });

    m_textEdit = new QLineEdit(this);
    m_textEdit->setObjectName(QStringLiteral("trafficText"));
    m_textEdit->setPlaceholderText(tr("Text in any column", " 任一列中的文字 "));
    m_textEdit->setClearButtonEnabled(true);
    connect(m_textEdit, &QLineEdit::textChanged, m_filter, &TrafficFilter::setText);

    m_hidePollingBox = new QCheckBox(tr("Hide polling", " 隐藏轮询 "), this);
    m_hidePollingBox->setObjectName(QStringLiteral("trafficHidePolling"));
    connect(m_hidePollingBox, &QCheckBox::toggled, m_filter, &TrafficFilter::setHidePolling);

    m_pauseBox = new QCheckBox(tr("Pause", " 暂停 "), this);
    m_pauseBox->setObjectName(QStringLiteral("trafficPause"));
    m_pauseBox->setChecked(model->isPaused());
    connect(m_pauseBox, &QCheckBox::toggled, model, &TrafficModel::setPaused);

    m_followBox = new QCheckBox(tr("Follow", " 跟随 "), this);
    m_followBox->setObjectName(QStringLiteral("trafficFollow"));
    m_followBox->setChecked(true);
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, &TrafficView::followNewRows);

    auto *exportButton = new QPushButton(tr("Export CSV…", " 导出 CSV… "), this);
    exportButton->setObjectName(QStringLiteral("trafficExport"));
    connect(exportButton, &QPushButton::clicked, this, &TrafficView::exportTraffic);
    auto *clearButton = new QPushButton(tr("Clear", " 清除 "), this);
    clearButton->setObjectName(QStringLiteral("trafficClear"));
    connect(clearButton, &QPushButton::clicked, model, &TrafficModel::clear);

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_functionBox);
    controls->addWidget(m_resultBox);
    controls->addWidget(m_textEdit, 1);
    controls->addWidget(m_hidePollingBox);
    controls->addWidget(m_pauseBox);
    controls->addWidget(m_followBox);
    controls->addWidget(clearButton);
    controls->addWidget(exportButton);

    m_historyList = new QListView(this);
    m_historyList->setObjectName(QStringLiteral("inputHistory"));
    m_historyList->setModel(history);
    m_historyList->setUniformItemSizes(true);
    auto *historyExport = new QPushButton(tr("Export CSV…", " 导出 CSV… "), this);
    historyExport->setObjectName(QStringLiteral("inputHistoryExport"));
    connect(historyExport, &QPushButton::clicked, this, &TrafficView::exportHistory);
    connect(history, &QAbstractItemModel::rowsInserted, m_historyList, &QListView::scrollToBottom);

    auto *splitter = new QSplitter(this);
    splitter->addWidget(m_table);
    auto *historyPane = new QWidget(splitter);
    auto *historyLayout = new QVBoxLayout(historyPane);
    historyLayout->setContentsMargins(0, 0, 0, 0);
    historyLayout->addWidget(new QLabel(tr("Input changes", " 输入变化 "), historyPane));
    historyLayout->addWidget(m_historyList);
    historyLayout->addWidget(historyExport);
    splitter->addWidget(historyPane);
    splitter->setStretchFactor(0, 1);
    splitter->setSizes({1000, 220});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(splitter);
    resize(1300, 650);
}

void TrafficView::followNewRows()
{
    if (m_followBox->isChecked() && isVisible())
        m_table->scrollToBottom();
}

void TrafficView::exportTraffic()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export traffic", " 导出通信记录 "),
                                                      QString(), tr("CSV files (*.csv)", " CSV 文件 (*.csv) "));
    if (path.isEmpty())
        return;
    QString error;
    if (!m_filter->exportCsv(path, &error))
        QMessageBox::warning(this, QStringLiteral("warning"),
                             tr("The rows could not be saved: %1", " 记录无法保存：%1 ").arg(error));
}

void TrafficView::exportHistory()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Export input changes", " 导出输入变化 "),
                                                      QString(), tr("CSV files (*.csv)", " CSV 文件 (*.csv) "));
    if (path.isEmpty())
        return;
    QString error;
    if (!m_history->exportCsv(path, &error))
        QMessageBox::warning(this, QStringLiteral("warning"),
                             tr("The rows could not be saved: %1", " 记录无法保存：%1 ").arg(error));
}
