#include "ui/helpwidget.h"
#include "ui_helpwidget.h"

#include "ui/language.h"

#include <QDateTime>
#include <QPixmap>

// The pictures are compiled into the static core library; its resources must be
// registered by hand, and only from outside any namespace.
static void initHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace {

constexpr int kClockIntervalMs = 1000;

} // namespace

HelpWidget::HelpWidget(QWidget *parent)
    : QWidget(parent),
      ui(new Ui::HelpWidget)
{
    initHelpResources();
    ui->setupUi(this);
    ui->label_8->setPixmap(QPixmap(Language::picture(QStringLiteral(":/piture/boma.png"))));
    ui->label_6->setPixmap(QPixmap(Language::picture(QStringLiteral(":/piture/connectWire.png"))));

    connect(&timer, &QTimer::timeout, this, &HelpWidget::changeTime);
    timer.start(kClockIntervalMs);
    changeTime();

    ui->textBrowser->setText(tr("1* Automatic detection after opening the software, the default device address is 1,485 module, if the detection is successful, it will automatically connect \n2* If connection fails, please check whether wiring and module dial code are correct, refer to hardware wiring help \n3* Model test default Baud rate 115200, data bit 8, stop bit 1, check bit no \n4* The receiver receives the feedback information from the module, and each instruction sends a feedback message \n5* Output control terminal control output \n6* Input detection terminal to detect input. Click \"To start detection\"\n before detection.\n* Pay special attention * The sender does not need to enter CRC check \n again to send instructions "));
}

HelpWidget::~HelpWidget()
{
    delete ui;
}

void HelpWidget::changeTime()
{
    ui->label_time->setText(Language::clockText(QDateTime::currentDateTime()));
}

void HelpWidget::on_pushButton_soft_clicked()
{
    ui->widget_soft->show();
    ui->widget_hard->hide();
}

void HelpWidget::on_pushButton_hard_clicked()
{
    ui->widget_soft->hide();
    ui->widget_hard->show();
}
