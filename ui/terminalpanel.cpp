#include "ui/terminalpanel.h"

#include "link/session.h"
#include "protocol/modbusrequest.h"
#include "protocol/sender.h"
#include "ui/lastfolder.h"
#include "ui/outputlog.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QListView>
#include <QTextEdit>

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

TerminalPanel::TerminalPanel(Session *session, const Widgets &widgets, QObject *parent)
    : QObject(parent), session(session), form(widgets)
{
    QWidget *clear = form.clearLog;
    QWidget *row = clear->parentWidget();
    auto *showPolling = new QCheckBox(tr("Show polling", " 显示轮询 "), row);
    showPolling->setObjectName(QStringLiteral("checkBox_showPolling"));
    showPolling->setChecked(true);
    auto *pause = new QCheckBox(tr("Pause", " 暂停 "), row);
    pause->setObjectName(QStringLiteral("checkBox_pauseLog"));
    outputLog = new OutputLog(form.logView, showPolling, pause, this);
    setUpperCase(false);
    auto *save = new QPushButton(tr("Save log…", " 保存日志… "), row);
    save->setObjectName(QStringLiteral("pushButton_saveLog"));
    connect(save, &QPushButton::clicked, this, &TerminalPanel::saveLogAs);

    // Beside "Clear display", wherever the form puts it.
    if (QBoxLayout *layout = boxLayoutHolding(row->layout(), clear)) {
        int at = layout->indexOf(clear);
        layout->insertWidget(at++, showPolling);
        layout->insertWidget(at++, pause);
        layout->insertWidget(at, save);
    }

    connect(&sendTimer, &QTimer::timeout, this, &TerminalPanel::send);
    form.sendText->installEventFilter(this);
}

bool TerminalPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == form.sendText && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            send();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TerminalPanel::send()
{
    if (!session->linkUp())
        return;
    QString text = form.sendText->toPlainText();
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
        && address.compare(session->deviceAddressHex(), Qt::CaseInsensitive) != 0) {
        refuseTypedFrame(tr("Not sent: address %1 is not the device address %2",
                            " 未发送：地址 %1 不是设备地址 %2 ")
                             .arg(address.toUpper(), session->deviceAddressHex()));
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
    emit request(new Sender(ModbusRequest::kUiText, text));
}

void TerminalPanel::refuseTypedFrame(const QString &reason)
{
    // Periodic sending repeats the same text: its refusal is said once.
    if (sendTimer.isActive() && reason == lastRefusal)
        return;
    lastRefusal = reason;
    outputLog->append(reason, QColor(Qt::red));
    // The operator's own action: the answer shows at once.
    outputLog->flush();
}

void TerminalPanel::setTimedSend(bool on)
{
    if (!on) {
        sendTimer.stop();
        return;
    }
    const QString baud = form.baud->currentText();
    for (const SendPeriodRow &row : kSendPeriods) {
        if (baud != QLatin1String(row.baud))
            continue;
        const int period = form.period->text().toInt();
        if (period >= row.limit) {
            sendTimer.start(period);
        } else {
            form.period->setText(QLatin1String(row.fieldText));
            sendTimer.start(row.interval);
        }
        return;
    }
}

void TerminalPanel::setUpperCase(bool upper)
{
    outputLog->setUpperCase(upper);
    const QSignalBlocker upperBlocker(form.upperCase);
    const QSignalBlocker lowerBlocker(form.lowerCase);
    form.upperCase->setChecked(upper);
    form.lowerCase->setChecked(!upper);
}

void TerminalPanel::saveLogAs()
{
    const QString name = QStringLiteral("MeroviTest-log-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"))
        + QStringLiteral(".txt");
    const QString path = QFileDialog::getSaveFileName(
        form.logView->window(), tr("Save log", " 保存日志 "), LastFolder::suggest(name),
        tr("Text files (*.txt)", " 文本文件 (*.txt) "));
    if (path.isEmpty())
        return;
    LastFolder::remember(path);
    QString error;
    if (outputLog->save(path, &error))
        outputLog->append(tr("Log saved to %1", " 日志已保存到 %1 ").arg(path), QColor(Qt::black));
    else
        outputLog->append(tr("Log not saved to %1: %2", " 日志未保存到 %1：%2 ").arg(path, error),
                          QColor(Qt::red));
}
