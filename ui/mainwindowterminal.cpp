// MainWindow: the send/receive terminal and the output log.

#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include "protocol/modbusrequest.h"
#include "link/threadserialport.h"
#include "ui/lastfolder.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

constexpr int kMaxTerminalFrameBytes = 254;

// The function codes the request queue sends after the device address.
QStringList sendableFunctionCodes()
{
    QStringList codes;
    for (const ModbusRequest::FunctionCode &code : ModbusRequest::functionCodes())
        codes << code.text();
    return codes;
}

struct SendPeriodRow
{
    const char *baud;
    int limit;
    const char *fieldText;
    int interval;
};

// Shortest periodic sending the line can carry, per baud rate.
const SendPeriodRow kSendPeriods[] = {
    {"1200", 200, "200", 200},
    {"2400", 100, "100", 150},
    {"4800", 100, "50", 100},
    {"9600", 70, "20", 70},
    {"19200", 50, "20", 50},
    {"38400", 30, "30", 30},
    {"57600", 20, "20", 20},
    {"115200", 20, "20", 20},
};


QBoxLayout *boxLayoutHolding(QLayout *layout, QWidget *widget)
{
    if (!layout)
        return nullptr;
    auto *box = qobject_cast<QBoxLayout *>(layout);
    if (box && box->indexOf(widget) >= 0)
        return box;
    for (int i = 0; i < layout->count(); ++i) {
        if (QBoxLayout *found = boxLayoutHolding(layout->itemAt(i)->layout(), widget))
            return found;
    }
    return nullptr;
}

} // namespace

void MainWindow::on_sendBt_clicked()
{
    if (!session()->linkUp())
        return;
    QString text = ui->sendText->toPlainText();
    if (text.isEmpty())
        return;
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    if (text.isEmpty())
        return;
    static const QRegularExpression hexOnly(QStringLiteral("^[0-9A-Fa-f]*$"));
    if (!hexOnly.match(text).hasMatch()) {
        refuseTypedFrame(tr("Not sent: only hex digits and blanks can be sent",
                            " 未发送：只能发送十六进制数字和空格 "));
        return;
    }
    if (text.size() % 2 != 0) {
        refuseTypedFrame(tr("Not sent: an odd number of hex digits (%1)",
                            " 未发送：十六进制数字个数为奇数（%1） ")
                             .arg(text.size()));
        return;
    }
    // A Modbus RTU frame is at most 256 bytes with its CRC; a longer one would carry a wrong CRC.
    if (text.size() / 2 > kMaxTerminalFrameBytes) {
        refuseTypedFrame(tr("Not sent: a frame holds at most %1 bytes before its CRC",
                            " 未发送：一帧在校验码之前最多 %1 字节 ")
                             .arg(kMaxTerminalFrameBytes));
        return;
    }
    if (text.size() < 4) {
        refuseTypedFrame(tr("Not sent: a frame starts with an address and a function code",
                            " 未发送：一帧以地址和功能码开头 "));
        return;
    }
    // The queue puts the device address in place of 01 and sends nothing for another one.
    const QString address = text.left(2);
    if (address != QLatin1String("01")
        && address.compare(session()->deviceAddressHex(), Qt::CaseInsensitive) != 0) {
        refuseTypedFrame(tr("Not sent: address %1 is not the device address %2",
                            " 未发送：地址 %1 不是设备地址 %2 ")
                             .arg(address.toUpper(), session()->deviceAddressHex()));
        return;
    }
    const QString function = text.mid(2, 2).toLower();
    if (!ModbusRequest::isSupportedFunction(function)) {
        refuseTypedFrame(tr("Not sent: function code %1 is not supported (%2)",
                            " 未发送：不支持功能码 %1（%2） ")
                             .arg(function, sendableFunctionCodes().join(QLatin1Char(' '))));
        return;
    }
    text.replace(2, 2, function);
    lastRefusal.clear();
    emit write(new Sender(ModbusRequest::kUiText, text));
}

void MainWindow::refuseTypedFrame(const QString &reason)
{
    // Periodic sending repeats the same text: its refusal is said once.
    if (sendTimer.isActive() && reason == lastRefusal)
        return;
    lastRefusal = reason;
    appendLog(reason, QColor(Qt::red));
    // The operator's own action: the answer shows at once.
    flushLog();
}

void MainWindow::on_checkBox_timeSend_stateChanged(int arg1)
{
    if (arg1 == 0) {
        sendTimer.stop();
        return;
    }
    const QString baud = ui->rateCbb->currentText();
    for (const SendPeriodRow &row : kSendPeriods) {
        if (baud != QLatin1String(row.baud))
            continue;
        const int period = ui->lineEdit_timeSend->text().toInt();
        if (period >= row.limit) {
            sendTimer.start(period);
        } else {
            ui->lineEdit_timeSend->setText(QLatin1String(row.fieldText));
            sendTimer.start(row.interval);
        }
        return;
    }
}

void MainWindow::on_lineEdit_timeSend_textEdited()
{
    if (sendTimer.isActive())
        qDebug() << "ui->lineEdit_timeSend->text().toInt():" << ui->lineEdit_timeSend->text().toInt();
}

void MainWindow::on_recvTextClear_clicked()
{
    log->clear();
}

void MainWindow::on_sendBtClear_clicked()
{
    ui->sendText->clear();
}

void MainWindow::on_checkBox_out_2_stateChanged(int arg1)
{
    displayUpperCase = arg1 ? 1 : 0;
    log->setUpperCase(displayUpperCase == 1);
    const QSignalBlocker blocker(ui->checkBox_out_3);
    ui->checkBox_out_3->setChecked(!arg1);
}

void MainWindow::on_checkBox_out_3_stateChanged(int arg1)
{
    displayUpperCase = arg1 ? 0 : 1;
    log->setUpperCase(displayUpperCase == 1);
    const QSignalBlocker blocker(ui->checkBox_out_2);
    ui->checkBox_out_2->setChecked(!arg1);
}

void MainWindow::initTerminal()
{
    displayUpperCase = 0;

    QWidget *clear = ui->recvTextClear;
    QWidget *row = clear->parentWidget();
    showPollingBox = new QCheckBox(tr("Show polling", " 显示轮询 "), row);
    showPollingBox->setObjectName(QStringLiteral("checkBox_showPolling"));
    showPollingBox->setChecked(true);
    pauseLogBox = new QCheckBox(tr("Pause", " 暂停 "), row);
    pauseLogBox->setObjectName(QStringLiteral("checkBox_pauseLog"));
    log = new OutputLog(ui->recvText, showPollingBox, pauseLogBox, this);
    ui->checkBox_out_3->setChecked(true);
    saveLogButton = new QPushButton(tr("Save log…", " 保存日志… "), row);
    saveLogButton->setObjectName(QStringLiteral("pushButton_saveLog"));
    connect(saveLogButton, &QPushButton::clicked, this, &MainWindow::slotSaveLog);

    // Beside "Clear display", wherever the form puts it.
    if (QBoxLayout *layout = boxLayoutHolding(row->layout(), clear)) {
        int at = layout->indexOf(clear);
        layout->insertWidget(at++, showPollingBox);
        layout->insertWidget(at++, pauseLogBox);
        layout->insertWidget(at, saveLogButton);
    }
}

void MainWindow::flushLog()
{
    log->flush();
}

void MainWindow::appendLog(const QString &text, const QColor &color)
{
    log->append(text, color);
}

bool MainWindow::saveLog(const QString &path, QString *error)
{
    return log->save(path, error);
}

void MainWindow::slotSaveLog()
{
    const QString name = QStringLiteral("MeroviTest-log-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))
        + QStringLiteral(".txt");
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Save log", " 保存日志 "),
        LastFolder::suggest(name),
        tr("Text files (*.txt)", " 文本文件 (*.txt) "));
    if (path.isEmpty())
        return;
    LastFolder::remember(path);
    QString error;
    if (saveLog(path, &error))
        writeOutputWidget(tr("Log saved to %1", " 日志已保存到 %1 ").arg(path), QColor(Qt::black));
    else
        writeOutputWidget(tr("Log not saved to %1: %2", " 日志未保存到 %1：%2 ").arg(path, error),
                          QColor(Qt::red));
}

void MainWindow::UIappendData(QString data)
{
    log->appendReceived(data, false);
}

void MainWindow::showExchange(const ExchangeRecord &record)
{
    log->showExchange(record);
}

void MainWindow::showNotice(const LinkNotice &notice)
{
    log->showNotice(notice);
}

void MainWindow::writeOutputWidget(QString data, QColor color)
{
    log->append(data, color);
}

void MainWindow::writeOutputWidget(QString data)
{
    writeOutputWidget(data, QColor(Qt::black));
}

void MainWindow::writeOutputWidget(QString data, int R, int G, int B)
{
    // A component out of range gives Qt's invalid colour: the view's own text colour.
    QColor color;
    if (R >= 0 && R < 256 && G >= 0 && G < 256 && B >= 0 && B < 256)
        color = QColor(R, G, B);
    appendLog(data, color);
}

void MainWindow::writeOutputWidget(int draw)
{
    if (draw == 0) {
        log->appendSeparator();
    } else if (draw == 1) {
        log->appendBanner(tr("New", " 新建 "));
    } else {
        log->appendBanner(QString());
    }
}

void MainWindow::writeOutputWidget()
{
    writeOutputWidget(0);
}
