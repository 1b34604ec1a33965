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
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

namespace {

const QColor kSeparatorColor = QColor::fromRgba64(0x2B2B, 0x5757, 0x9A9A, 0xFFFF);
const QString kSeparatorLong = QStringLiteral("===================");
const QString kSeparatorShort = QStringLiteral("========");
constexpr int kMaxTerminalFrameBytes = 254;
constexpr int kLogFlushMs = 50;

// The function codes the request queue sends after the device address.
const QStringList kSendableFunctionCodes = {
    QStringLiteral("01"), QStringLiteral("02"), QStringLiteral("03"), QStringLiteral("05"),
    QStringLiteral("06"), QStringLiteral("0f"), QStringLiteral("10"),
};

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

QString logPrefix(const QDateTime &time)
{
    return QLatin1Char('[') + time.toString(QStringLiteral("hh:mm:ss")) + QStringLiteral("]    ");
}

const QColor kSentColor = QColor(0, 0, 255);

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
    if (!kSendableFunctionCodes.contains(function)) {
        refuseTypedFrame(tr("Not sent: function code %1 is not supported (%2)",
                            " 未发送：不支持功能码 %1（%2） ")
                             .arg(function, kSendableFunctionCodes.join(QLatin1Char(' '))));
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
    logPending.clear();
    logHistory.clear();
    logDropped = 0;
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

void MainWindow::initTerminal()
{
    displayUpperCase = 0;
    ui->checkBox_out_3->setChecked(true);

    QTextEdit *view = ui->recvText;
    view->setUndoRedoEnabled(false);
    view->document()->setMaximumBlockCount(kLogHistoryLines);
    logFlushTimer.setSingleShot(true);
    logFlushTimer.setInterval(kLogFlushMs);
    connect(&logFlushTimer, &QTimer::timeout, this, &MainWindow::flushLogLines);

    QWidget *clear = ui->recvTextClear;
    QWidget *row = clear->parentWidget();
    showPollingBox = new QCheckBox(tr("Show polling", " 显示轮询 "), row);
    showPollingBox->setObjectName(QStringLiteral("checkBox_showPolling"));
    showPollingBox->setChecked(true);
    connect(showPollingBox, &QCheckBox::toggled, this, &MainWindow::rebuildLogView);
    pauseLogBox = new QCheckBox(tr("Pause", " 暂停 "), row);
    pauseLogBox->setObjectName(QStringLiteral("checkBox_pauseLog"));
    connect(pauseLogBox, &QCheckBox::toggled, this, [this](bool paused) {
        if (!paused)
            rebuildLogView();
    });
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

bool MainWindow::logFull()
{
    if (logPending.size() < kLogPendingLines)
        return false;
    ++logDropped;
    return true;
}

void MainWindow::appendLog(const QString &text, const QColor &color)
{
    if (logFull())
        return;
    queueLogLine({QDateTime::currentDateTime(), text, color});
}

void MainWindow::queueLogLine(const LogLine &line)
{
    logPending.append(line);
    if (!logFlushTimer.isActive())
        logFlushTimer.start();
}

void MainWindow::flushLog()
{
    flushLogLines();
}

void MainWindow::flushLogLines()
{
    logFlushTimer.stop();
    QList<LogLine> lines;
    lines.swap(logPending);
    if (logDropped > 0) {
        lines.append({QDateTime::currentDateTime(),
                      tr("%1 log lines dropped: more came in than the view can take",
                         " 丢弃了 %1 行日志：来得比显示得快 ")
                          .arg(logDropped),
                      QColor(Qt::red)});
        logDropped = 0;
    }
    if (lines.isEmpty())
        return;
    logHistory.append(lines);
    const int excess = logHistory.size() - kLogHistoryLines;
    if (excess > 0)
        logHistory.erase(logHistory.begin(), logHistory.begin() + excess);
    if (!pauseLogBox->isChecked())
        showLogLines(lines);
}

void MainWindow::showLogLines(const QList<LogLine> &lines)
{
    const bool showPolling = showPollingBox->isChecked();
    QTextEdit *view = ui->recvText;
    QTextDocument *document = view->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::End);
    cursor.beginEditBlock();
    bool shown = false;
    for (const LogLine &line : lines) {
        if (line.polling && !showPolling)
            continue;
        QTextCharFormat format;
        format.setForeground(line.color.isValid() ? QBrush(line.color) : view->palette().text());
        if (!document->isEmpty())
            cursor.insertBlock();
        cursor.insertText(logPrefix(line.time) + line.text, format);
        shown = true;
    }
    cursor.endEditBlock();
    if (!shown)
        return;
    view->moveCursor(QTextCursor::End);
    view->ensureCursorVisible();
}

void MainWindow::rebuildLogView()
{
    // A paused view stays as it is; resuming rebuilds it.
    if (pauseLogBox->isChecked())
        return;
    ui->recvText->clear();
    showLogLines(logHistory);
}

bool MainWindow::saveLog(const QString &path, QString *error)
{
    flushLog();
    QByteArray text;
    for (const LogLine &line : qAsConst(logHistory)) {
        text += (QLatin1Char('[') + line.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"))
                 + QStringLiteral("]    ") + line.text + QLatin1Char('\n'))
                    .toUtf8();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
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
    appendReceived(data, false);
}

void MainWindow::appendReceived(const QString &hex, bool polling)
{
    if (logFull())
        return;
    QString shown;
    shown.reserve(hex.size() * 3 / 2 + 2);
    for (int i = 0; i <= hex.size(); i += 2)
        shown += hex.midRef(i, 2) + QLatin1Char(' ');
    shown = displayUpperCase == 1 ? shown.toUpper() : shown.toLower();
    LogLine line{QDateTime::currentDateTime(), shown, QColor()};
    line.polling = polling;
    queueLogLine(line);
}

void MainWindow::showExchange(const ExchangeRecord &record)
{
    using Result = ExchangeRecord::Result;
    if (record.direction == ExchangeRecord::Direction::Sent) {
        if (logFull())
            return;
        const QDateTime now = QDateTime::currentDateTime();
        LogLine separator{now, kSeparatorLong, kSeparatorColor};
        separator.separator = true;
        separator.polling = record.polling;
        queueLogLine(separator);
        if (logFull())
            return;
        LogLine sent{now,
                     tr("Send: %1", " 发送：%1 ").arg(QString::fromLatin1(record.bytes.toHex(' '))),
                     kSentColor};
        sent.polling = record.polling;
        queueLogLine(sent);
        return;
    }
    // Time-outs and withdrawals have their own notices; a frame received is shown as it came.
    if (record.result == Result::TimedOut || record.result == Result::NotSent || record.bytes.isEmpty())
        return;
    appendReceived(QString::fromLatin1(record.bytes.toHex()), record.polling);
}

void MainWindow::showNotice(const LinkNotice &notice)
{
    using Severity = LinkNotice::Severity;
    QColor color(Qt::black);
    switch (notice.severity) {
    case Severity::Info:
        break;
    case Severity::Success:
        color = QColor(0, 128, 0);
        break;
    case Severity::Warning:
        color = QColor(200, 120, 0);
        break;
    case Severity::Error:
        color = QColor(Qt::red);
        break;
    }
    appendLog(notice.text, color);
}

void MainWindow::writeOutputWidget(QString data, QColor color)
{
    appendLog(data, color);
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
        if (logFull())
            return;
        LogLine line{QDateTime::currentDateTime(), kSeparatorLong, kSeparatorColor};
        line.separator = true;
        queueLogLine(line);
    } else if (draw == 1) {
        appendLog(kSeparatorLong, kSeparatorColor);
        appendLog(kSeparatorShort + tr("New", " 新建 ") + kSeparatorShort, kSeparatorColor);
        appendLog(kSeparatorLong, kSeparatorColor);
    } else {
        appendLog(QString(), kSeparatorColor);
    }
}

void MainWindow::writeOutputWidget()
{
    writeOutputWidget(0);
}
