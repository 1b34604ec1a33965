#include "ui/modulecheckwindow.h"

#include "check/checkreport.h"
#include "check/checktexts.h"
#include "ui/lastfolder.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

ModuleCheckWindow::ModuleCheckWindow(const CheckRun &run, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , run(run)
{
    setObjectName(QStringLiteral("moduleCheckWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The run keeps its English texts for the saved reports; the window shows them in the
    // interface language.
    const CheckRun shown = CheckTexts::translated(run);
    setWindowTitle(tr("Module check", " 模块检测 ") + QStringLiteral(": ") + shown.model);

    verdictLabel = new QLabel(this);
    verdictLabel->setObjectName(QStringLiteral("verdictLabel"));
    verdictLabel->setText(QStringLiteral("%1 %2 · %3 · %4\n%5")
                              .arg(CheckTexts::verdict(run), shown.model, run.setup.endpoint,
                                   run.started.toString(Qt::ISODate), CheckReport::summaryLine(shown)));
    verdictLabel->setStyleSheet(run.passed() ? QStringLiteral("color: rgb(0, 128, 0);")
                                             : QStringLiteral("color: rgb(200, 0, 0);"));
    verdictLabel->setWordWrap(true);

    filterEdit = new QLineEdit(this);
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    filterEdit->setPlaceholderText(tr("Filter steps", " 筛选步骤 "));
    connect(filterEdit, &QLineEdit::textChanged, this, &ModuleCheckWindow::applyFilter);

    stepTable = new QTableWidget(this);
    stepTable->setObjectName(QStringLiteral("stepTable"));
    stepTable->setColumnCount(6);
    stepTable->setHorizontalHeaderLabels({tr("Result", " 结果 "), tr("Group", " 类别 "), tr("Step", " 步骤 "),
                                          tr("Expected", " 期望 "), tr("Read", " 读取 "), QStringLiteral("ms")});
    stepTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    stepTable->verticalHeader()->hide();
    stepTable->horizontalHeader()->setStretchLastSection(false);
    stepTable->horizontalHeader()->setSectionResizeMode(4, QHeaderView::Stretch);

    QVector<CheckStep> steps = shown.steps;
    std::stable_sort(steps.begin(), steps.end(), [](const CheckStep &a, const CheckStep &b) {
        return a.result == CheckStep::Fail && b.result != CheckStep::Fail;
    });
    stepTable->setRowCount(steps.size());
    for (int row = 0; row < steps.size(); ++row) {
        const CheckStep &step = steps.at(row);
        const QStringList cells = {CheckTexts::resultText(step.result), step.group, step.name, step.expected,
                                   step.read, step.ms < 0 ? QString() : QString::number(step.ms)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            if (step.result == CheckStep::Fail)
                item->setBackground(QColor(255, 204, 204));
            stepTable->setItem(row, column, item);
        }
    }
    stepTable->resizeColumnsToContents();

    auto *saveHtml = new QPushButton(tr("Save HTML report", " 保存HTML报告 "), this);
    saveHtml->setObjectName(QStringLiteral("saveHtmlButton"));
    connect(saveHtml, &QPushButton::clicked, this, [this]() { saveAs(QStringLiteral("html")); });
    auto *saveCsv = new QPushButton(tr("Save CSV", " 保存CSV "), this);
    saveCsv->setObjectName(QStringLiteral("saveCsvButton"));
    connect(saveCsv, &QPushButton::clicked, this, [this]() { saveAs(QStringLiteral("csv")); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(filterEdit, 1);
    buttons->addWidget(saveHtml);
    buttons->addWidget(saveCsv);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(verdictLabel);
    layout->addLayout(buttons);
    layout->addWidget(stepTable, 1);
    resize(1000, 600);
}

void ModuleCheckWindow::applyFilter(const QString &text)
{
    for (int row = 0; row < stepTable->rowCount(); ++row) {
        bool match = text.isEmpty();
        for (int column = 0; !match && column < stepTable->columnCount(); ++column)
            match = stepTable->item(row, column)->text().contains(text, Qt::CaseInsensitive);
        stepTable->setRowHidden(row, !match);
    }
}

bool ModuleCheckWindow::saveReport(const QString &path, QString *error) const
{
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    return CheckReport::save(path, csv ? CheckReport::csv(run) : CheckReport::html(run), error);
}

void ModuleCheckWindow::saveAs(const QString &suffix)
{
    const QString suggested = LastFolder::suggest(CheckReport::suggestedFileName(run, suffix));
    const QString path = QFileDialog::getSaveFileName(this, tr("Save report", " 保存报告 "), suggested,
                                                      suffix == QLatin1String("csv")
                                                          ? QStringLiteral("CSV (*.csv)")
                                                          : QStringLiteral("HTML (*.html)"));
    if (path.isEmpty())
        return;
    LastFolder::remember(path);
    QString error;
    if (!saveReport(path, &error))
        QMessageBox::warning(this, tr("warning", " 警告 "), tr("Could not save the report: %1", " 无法保存报告：%1 ").arg(error));
}
