#include "ui/namesetting.h"
#include "ui_namesetting.h"

#include "QtLibrary/QtTools/diagnostic.h"
#include "QtLibrary/QtTools/qttools.h"
#include "ui/switchstates.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QMessageBox>
#include <QScroller>
#include <QScrollerProperties>
#include <QTableWidget>

namespace {

void enableKineticScrolling(QTableWidget *table)
{
    QWidget *viewport = table->viewport();
    QScroller::grabGesture(viewport, QScroller::LeftMouseButtonGesture);
    QScroller *scroller = QScroller::scroller(viewport);
    QScrollerProperties properties = scroller->scrollerProperties();
    properties.setScrollMetric(QScrollerProperties::DragStartDistance, 0.2);
    properties.setScrollMetric(QScrollerProperties::DragVelocitySmoothingFactor, 0.001);
    properties.setScrollMetric(QScrollerProperties::DecelerationFactor, 1);
    properties.setScrollMetric(QScrollerProperties::MaximumVelocity, 0.05);
    properties.setScrollMetric(QScrollerProperties::FrameRate, QScrollerProperties::Fps60);
    scroller->setScrollerProperties(properties);
}

// A name is one line of the settings file: line breaks would split it.
QString cleanName(const QString &text)
{
    QString name = text;
    name.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return name.trimmed();
}

} // namespace

NameSetting::NameSetting(QWidget *parent)
    : QWidget(parent),
      ui(new Ui::NameSetting)
{
    ui->setupUi(this);
    setWindowTitle(tr("Name Setting", " 名称设置 "));

    setUpTable(ui->tableWidget_Y);
    setUpTable(ui->tableWidget_IN);
    fillTable(ui->tableWidget_Y, true);
    fillTable(ui->tableWidget_IN, false);
}

NameSetting::~NameSetting()
{
    delete ui;
}

void NameSetting::setUpTable(QTableWidget *table)
{
    table->setColumnCount(1);
    table->setRowCount(2 * kChannels);
    table->setHorizontalHeaderItem(0, new QTableWidgetItem(tr("Name", "名称")));
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    enableKineticScrolling(table);
}

void NameSetting::fillTable(QTableWidget *table, bool outputs)
{
    const QMap<QString, QString> &config = QtTools::instance()->configMap;
    for (int n = 1; n <= kChannels; ++n) {
        for (int on = 0; on < 2; ++on) {
            const int row = 2 * (n - 1) + on;
            const QString key = outputs ? SwitchStates::outputNameKey(n, on)
                                        : SwitchStates::inputNameKey(n, on);
            const QString fallback = outputs ? SwitchStates::defaultOutputCaption(n)
                                             : SwitchStates::defaultInputCaption(n);
            table->setVerticalHeaderItem(row, new QTableWidgetItem(key));
            auto *item = new QTableWidgetItem(SwitchStates::caption(config, key, fallback));
            item->setTextAlignment(Qt::AlignCenter);
            table->setItem(row, 0, item);
        }
    }
}

void NameSetting::storeTable(QTableWidget *table)
{
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *header = table->verticalHeaderItem(row);
        const QTableWidgetItem *cell = table->item(row, 0);
        if (!header || !cell)
            continue;
        const QString name = cleanName(cell->text());
        if (name.isEmpty())
            continue;
        // Written under the key of the language shown; a spelling the file already
        // holds from the other language gets the same name, so both agree.
        const QStringList keys = SwitchStates::nameKeys(header->text());
        QtTools *store = QtTools::instance();
        for (const QString &key : keys) {
            if (key == keys.first() || store->configMap.contains(key))
                store->setValue(key, name);
        }
    }
}

void NameSetting::on_pushButton_save_clicked()
{
    MEROVI_DIAGNOSTIC("NameSetting") << " on_pushButton_save_clicked=====";
    storeTable(ui->tableWidget_Y);
    storeTable(ui->tableWidget_IN);

    const bool saved = QtTools::instance()->saveEverything() > 0;
    if (saved)
        emit saveSuccess();
    // Not modal for the application: the window stays usable while the box is up.
    auto *box = new QMessageBox(saved ? QMessageBox::Information : QMessageBox::Warning,
                                tr("Notice", "通知"),
                                saved ? tr("Names saved", "修改名称成功")
                                      : tr("Names not saved", "修改名称失败"),
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void NameSetting::on_pushButton_cacel_clicked()
{
    close();
}

void NameSetting::closeEvent(QCloseEvent *event)
{
    // Unsaved edits are dropped, so that the next save cannot store them unseen.
    fillTable(ui->tableWidget_Y, true);
    fillTable(ui->tableWidget_IN, false);
    QWidget::closeEvent(event);
}
