// MainWindow: the send/receive terminal and the output log.

#include "ui/mainwindow.h"
#include "ui_mainwindow.h"

#include "link/modbusrequest.h"

#include <QDebug>
#include <QRegularExpression>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTime>

namespace {

const QColor kSeparatorColor = QColor::fromRgba64(0x2B2B, 0x5757, 0x9A9A, 0xFFFF);
const QString kSeparatorLong = QStringLiteral("===================");
const QString kSeparatorShort = QStringLiteral("========");
constexpr int kTrimAbove = 0x3C00;
constexpr int kTrimKeep = 0x400;
constexpr int kMaxTerminalFrameBytes = 254;

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

QString logPrefix()
{
    return QLatin1Char('[') + QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))
        + QStringLiteral("]    ");
}

} // namespace

void MainWindow::on_sendBt_clicked()
{
    if (linkReady != 1)
        return;
    QString text = ui->sendText->toPlainText();
    if (text.isEmpty())
        return;
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression hexOnly(QStringLiteral("^[0-9A-Fa-f]*$"));
    if (!hexOnly.match(text).hasMatch()) {
        writeOutputWidget(tr("Not sent: only hex digits and blanks can be sent", " 未发送：只能发送十六进制数字和空格 "),
                          QColor(Qt::red));
        return;
    }
    if (text.isEmpty() || text.size() % 2 != 0)
        return;
    // A Modbus RTU frame is at most 256 bytes with its CRC; a longer one would carry a wrong CRC.
    if (text.size() / 2 > kMaxTerminalFrameBytes) {
        writeOutputWidget(tr("Not sent: a frame holds at most %1 bytes before its CRC",
                             " 未发送：一帧在校验码之前最多 %1 字节 ")
                              .arg(kMaxTerminalFrameBytes),
                          QColor(Qt::red));
        return;
    }
    emit write(new Sender(ModbusRequest::kUiText, text));
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
    ui->recvText->clear();
}

void MainWindow::on_sendBtClear_clicked()
{
    ui->sendText->clear();
}

void MainWindow::on_checkBox_out_2_stateChanged(int arg1)
{
    displayUpperCase = arg1 ? 1 : 0;
    const QSignalBlocker blocker(ui->checkBox_out_3);
    ui->checkBox_out_3->setChecked(!arg1);
}

void MainWindow::on_checkBox_out_3_stateChanged(int arg1)
{
    displayUpperCase = arg1 ? 0 : 1;
    const QSignalBlocker blocker(ui->checkBox_out_2);
    ui->checkBox_out_2->setChecked(!arg1);
}

void MainWindow::appendLog(const QString &text, const QColor &color)
{
    QTextEdit *view = ui->recvText;
    // Received data and log lines alike: the view keeps a bounded tail.
    if (view->document()->characterCount() - 1 > kTrimAbove)
        view->setPlainText(view->toPlainText().right(kTrimKeep));
    QTextCursor cursor(view->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    if (color.isValid())
        format.setForeground(color);
    else
        format.setForeground(view->palette().text());
    if (!view->document()->isEmpty())
        cursor.insertBlock();
    cursor.insertText(text, format);
    view->setTextCursor(cursor);
    view->ensureCursorVisible();
}

void MainWindow::UIappendData(QString data)
{
    QString shown;
    for (int i = 0; i <= data.size(); i += 2)
        shown += data.mid(i, 2) + QLatin1Char(' ');
    shown = displayUpperCase == 1 ? shown.toUpper() : shown.toLower();
    appendLog(shown, QColor());
}

void MainWindow::writeOutputWidget(QString data, QColor color)
{
    appendLog(logPrefix() + data, color);
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
    appendLog(logPrefix() + data, color);
}

void MainWindow::writeOutputWidget(int draw)
{
    QString text;
    if (draw == 0) {
        text = logPrefix() + kSeparatorLong;
    } else if (draw == 1) {
        text = logPrefix() + kSeparatorLong + QLatin1Char('\n');
        text += logPrefix() + kSeparatorShort + tr("New", " 新建 ") + kSeparatorShort
            + QLatin1Char('\n');
        text += logPrefix() + kSeparatorLong;
    } else {
        text = logPrefix();
    }
    appendLog(text, kSeparatorColor);
}

void MainWindow::writeOutputWidget()
{
    writeOutputWidget(0);
}
