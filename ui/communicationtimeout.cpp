#include "ui/communicationtimeout.h"
#include "ui_communicationtimeout.h"

#include "protocol/modbusrequest.h"
#include "protocol/sender.h"
#include "ui/mainwindow.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace {

const QFont kButtonFont(QStringLiteral("Arial"), 12);
constexpr int kButtonMinimumHeight = 30;
constexpr int kColumns = 4;
constexpr int kTimeoutDigits = 10;

} // namespace

CommunicationTimeout::CommunicationTimeout(MainWindow *mainWindow, const QString &data)
    : QWidget(nullptr),
      ui(new Ui::CommunicationTimeout),
      mainWindow(mainWindow)
{
    const QStringList items = data.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (!items.isEmpty()) {
        bool ok = false;
        const qulonglong value = items.first().toULongLong(&ok);
        timeout = ok ? quint32(qMin<qulonglong>(value, kMaximumTimeout)) : 0;
    }
    n = qMax(0, items.size() - 1);
    states.reserve(n);
    for (int i = 1; i <= n; ++i) {
        const int state = items.at(i).toInt();
        // Only the three states the two mask bits can encode; anything else is OFF.
        states.append(state >= 0 && state <= 2 ? state : 0);
    }

    ui->setupUi(this);
    ui->textBrowser->setText(tr("Communication timeout description: If the communication is interrupted for some reason and the failure time is greater than the time set in the timeout register, the communication timeout is considered.\nIf the timeout response time is 0 or null, no timeout response is generated.",
                                " 通讯超时说明：若因某种原因导致通信中断，且故障时间大于超时寄存器中所设定的时间，即认为通讯超时。\n若超时响应时间为0或者空，则不会产生超时响应。 "));
    styleSheets[0] = QStringLiteral("QRadioButton::indicator {background-color:rgb(255,0,0);}QRadioButton::indicator {width:31px;height:31px;border-radius:15px}");
    styleSheets[1] = QStringLiteral("QRadioButton::indicator {background-color:rgb(0,255,0);}QRadioButton::indicator {width:31px;height:31px;border-radius:15px}");
    styleSheets[2] = QStringLiteral("QRadioButton::indicator {background-color:rgb(0,0,255);}QRadioButton::indicator {width:31px;height:31px;border-radius:15px}");

    ui->lineEdit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]+")), ui->lineEdit));
    ui->lineEdit->setMaxLength(kTimeoutDigits);
    ui->lineEdit->setText(QString::number(timeout));

    buttonGrid = new QGridLayout;
    for (int r = 0; r < n / kColumns; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            const int i = kColumns * r + c;
            auto *button = new QRadioButton(QStringLiteral("NO.") + QString::number(i + 1));
            button->setObjectName(QStringLiteral("radioButton_%1").arg(i + 1));
            button->setFont(kButtonFont);
            button->setMinimumHeight(kButtonMinimumHeight);
            // The colour is the state; a checked mark would only mislead.
            button->setCheckable(false);
            buttonGrid->addWidget(button, r, c);
            radioButtons.append(button);
            paintButton(i);
            // The coloured indicator is taller than the plain minimum.
            button->setMinimumHeight(qMax(kButtonMinimumHeight, button->minimumSizeHint().height()));
            connect(button, &QRadioButton::clicked, this, &CommunicationTimeout::slotRadioButton_out_clicked);
        }
    }

    okRow = new QHBoxLayout;
    answerLabel = new QLabel(this);
    answerLabel->setObjectName(QStringLiteral("label_answer"));
    answerLabel->setWordWrap(true);
    okRow->addWidget(answerLabel, 1);
    okButton = new QPushButton(tr("OK", " 确认 "));
    okButton->setObjectName(QStringLiteral("pushButton_ok"));
    okButton->setFont(kButtonFont);
    okButton->setMinimumHeight(kButtonMinimumHeight);
    okRow->addWidget(okButton);
    connect(okButton, &QPushButton::clicked, this, &CommunicationTimeout::exit);

    ui->verticalLayout->addLayout(buttonGrid);
    ui->verticalLayout->addLayout(okRow);

    setWindowTitle(tr("Timeout Setting", " 通讯超时设置 "));

    if (mainWindow) {
        connect(this, &CommunicationTimeout::write, mainWindow, &MainWindow::write);
        connect(mainWindow, &MainWindow::requestEnded, this, &CommunicationTimeout::showAnswer);
    }
}

CommunicationTimeout::~CommunicationTimeout()
{
    qDeleteAll(radioButtons);
    delete buttonGrid;
    delete okButton;
    delete okRow;
    delete ui;
}

void CommunicationTimeout::paintButton(int index)
{
    radioButtons.at(index)->setStyleSheet(styleSheets[states.at(index)]);
}

void CommunicationTimeout::slotRadioButton_out_clicked()
{
    const int index = radioButtons.indexOf(qobject_cast<QRadioButton *>(sender()));
    if (index < 0)
        return;
    states[index] = (states.at(index) + 1) % 3;
    paintButton(index);
}

void CommunicationTimeout::on_lineEdit_textEdited(const QString &arg1)
{
    if (arg1.toULongLong() > kMaximumTimeout)
        ui->lineEdit->setText(QString::number(kMaximumTimeout));
}

void CommunicationTimeout::exit()
{
    if (ui->lineEdit->text().isEmpty())
        ui->lineEdit->setText(QStringLiteral("0"));
    const quint32 t = quint32(qMin<qulonglong>(ui->lineEdit->text().toULongLong(), kMaximumTimeout));
    // Only whole groups of 16 channels have masks in the module.
    const QVector<int> groups = states.mid(0, (n / 16) * 16);
    awaitingAnswer = true;
    answerLabel->setStyleSheet(QString());
    answerLabel->setText(tr("Writing to the module…", " 正在写入模块… "));
    emit write(new Sender(ModbusRequest::kChangeCommunicationTimeout, ModbusRequest::timeoutWrite(t, groups)));
}

void CommunicationTimeout::showAnswer(const QString &kind, bool accepted, const QString &reason)
{
    if (!awaitingAnswer || kind != ModbusRequest::kChangeCommunicationTimeout)
        return;
    awaitingAnswer = false;
    if (accepted) {
        answerLabel->setStyleSheet(QStringLiteral("color: rgb(0, 128, 0);"));
        answerLabel->setText(tr("Communication timeout set successfully", " 通讯超时设置成功 "));
        return;
    }
    QString why;
    if (reason == QLatin1String("timeout"))
        why = tr("the module did not answer in time", " 模块未及时回复 ");
    else if (reason == QLatin1String("not sent"))
        why = tr("it was not sent: no link to the module", " 未发送：没有连接模块 ");
    else if (reason.startsWith(QLatin1String("exception ")))
        why = tr("the module refused it (exception %1)", " 模块拒绝（异常 %1） ").arg(reason.mid(10));
    else
        why = reason;
    answerLabel->setStyleSheet(QStringLiteral("color: rgb(220, 0, 0);"));
    answerLabel->setText(tr("Not set: %1", " 未设置：%1 ").arg(why));
}
