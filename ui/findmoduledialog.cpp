#include "ui/findmoduledialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column { PortColumn, BaudColumn, FramingColumn, AddressColumn, TypeColumn, ModelColumn,
              MacColumn, HowColumn, ColumnCount };

} // namespace

FindModuleDialog::FindModuleDialog(QWidget *parent)
    : QDialog(parent)
    , m_summary(new QLabel(this))
    , m_table(new QTableWidget(0, ColumnCount, this))
{
    setObjectName(QStringLiteral("findModuleDialog"));
    setWindowTitle(tr("Find module", " 查找模块 "));
    m_summary->setObjectName(QStringLiteral("label_findSummary"));
    m_summary->setWordWrap(true);
    m_table->setObjectName(QStringLiteral("tableWidget_found"));
    m_table->setHorizontalHeaderLabels({ tr("Port", " 端口 "), tr("Baud rate", " 波特率 "),
                                         tr("Framing", " 数据格式 "), tr("Address", " 地址 "),
                                         tr("Type code", " 类型码 "), tr("Model", " 型号 "),
                                         tr("MAC", " MAC "), tr("Found by", " 查找方式 ") });
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *buttons = new QDialogButtonBox(this);
    m_use = buttons->addButton(tr("Use", " 使用 "), QDialogButtonBox::AcceptRole);
    m_use->setObjectName(QStringLiteral("pushButton_use"));
    QPushButton *close = buttons->addButton(tr("Close", " 关闭 "), QDialogButtonBox::RejectRole);
    close->setObjectName(QStringLiteral("pushButton_findClose"));
    connect(m_use, &QPushButton::clicked, this, &FindModuleDialog::useSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &FindModuleDialog::useSelected);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this]() { m_use->setEnabled(m_table->currentRow() >= 0); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_table);
    layout->addWidget(buttons);
    resize(820, 320);
}

void FindModuleDialog::showResults(const QList<FoundModule> &modules, const QString &error)
{
    m_modules = modules;
    m_table->setRowCount(modules.size());
    for (int row = 0; row < modules.size(); ++row) {
        const FoundModule &module = modules.at(row);
        const QString none = QStringLiteral("-");
        const QStringList cells = {
            module.port,
            module.network ? none : QString::number(module.baudRate),
            module.framingText(),
            QString::number(module.address),
            module.typeCode >= 0 ? QString::number(module.typeCode) : none,
            module.modelIndex >= 0 ? module.modelText() : none,
            module.mac.isEmpty() ? none : module.mac,
            module.how == FoundModule::ByIdentification ? tr("identification", " 身份报告 ")
                : module.everyAddress
                ? tr("answers every address (a gateway or a generic Modbus server)",
                     " 每个地址都应答（网关或通用 Modbus 服务器） ")
                : tr("address sweep", " 地址扫描 ")
        };
        for (int column = 0; column < cells.size(); ++column)
            m_table->setItem(row, column, new QTableWidgetItem(cells.at(column)));
    }
    m_table->resizeColumnsToContents();

    QString summary;
    if (modules.isEmpty()) {
        summary = tr("Nothing found", " 未找到模块 ");
    } else if (modules.size() == 1) {
        const FoundModule &module = modules.first();
        const QString where = module.network
            ? module.port
            : tr("%1 baud %2", " %1 波特 %2 ").arg(module.baudRate).arg(module.framingText());
        summary = tr("One module answered: %1, address %2. Use it now?",
                     " 找到一个模块：%1，地址 %2。现在使用吗？ ")
                      .arg(where)
                      .arg(module.address);
    } else {
        summary = tr("%1 modules answered: choose one and click \"Use\"",
                     " 找到 %1 个模块：选择一个并点击“使用” ")
                      .arg(modules.size());
    }
    if (!error.isEmpty())
        summary += QLatin1Char('\n') + tr("The search stopped: %1", " 查找中止：%1 ").arg(error);
    m_summary->setText(summary);

    m_use->setEnabled(!modules.isEmpty());
    if (!modules.isEmpty())
        m_table->selectRow(0);
    m_use->setDefault(modules.size() == 1);
    if (modules.size() == 1)
        m_use->setFocus();
}

void FindModuleDialog::useSelected()
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_modules.size())
        return;
    const FoundModule module = m_modules.at(row);
    accept();
    emit useRequested(module);
}
