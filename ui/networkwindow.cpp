#include "ui/networkwindow.h"
#include "ui_networkwindow.h"

#include "QtLibrary/QtTools/qttools.h"
#include "protocol/modbusrequest.h"
#include "protocol/sender.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QToolBar>

namespace {

constexpr int kNarrowScreen = 1920;
constexpr int kNarrowWidth = 500;
constexpr int kWideWidthPer1920 = 550;
constexpr int kCentralMaximumHeight = 1500;
constexpr int kPortDigits = 5;
constexpr quint64 kMaximumPort = 65535;

enum Register {
    ModuleIp = 0,
    SubnetMask = 4,
    Gateway = 8,
    ModulePort = 12,
    RemoteIp = 13,
    RemotePort = 17,
    WorkingMode = 18,
    Mac = 19
};

enum Mode { Server = 0, Client = 1, Udp = 2 };

// Four octets from a field under the mask "000.000.000.000".
bool parseAddress(const QString &text, const QString &name, QVector<quint16> *block, int first,
                  QStringList *problems)
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
    if (parts.size() != 4) {
        problems->append(NetworkWindow::tr("%1 is incomplete", " %1 不完整 ").arg(name));
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        const uint octet = parts.at(i).trimmed().toUInt(&ok);
        if (!ok || octet > 255) {
            problems->append(NetworkWindow::tr("%1 has an octet above 255", " %1 有大于255的字节 ").arg(name));
            return false;
        }
        (*block)[first + i] = quint16(octet);
    }
    return true;
}

bool parsePort(const QString &text, const QString &name, QVector<quint16> *block, int index,
               QStringList *problems)
{
    if (text.trimmed().isEmpty()) {
        problems->append(NetworkWindow::tr("%1 is empty", " %1 为空 ").arg(name));
        return false;
    }
    bool ok = false;
    const quint64 port = text.trimmed().toULongLong(&ok);
    if (!ok || port > kMaximumPort) {
        problems->append(NetworkWindow::tr("%1 is above 65535", " %1 大于65535 ").arg(name));
        return false;
    }
    (*block)[index] = quint16(port);
    return true;
}

} // namespace

NetworkWindow::NetworkWindow(MainWindow *mainWindow)
    : QMainWindow(nullptr),
      ui(new Ui::NetworkWindow),
      mainWindow(mainWindow)
{
    ui->setupUi(this);

    const QScreen *screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() : kNarrowScreen;
    ui->centralwidget->setMaximumWidth(centralMaximumWidth(screenWidth));
    ui->centralwidget->setMaximumHeight(kCentralMaximumHeight);

    upperCaseAction = new QAction(tr("Display uppercase", " 大写显示 "), this);
    upperCaseAction->setStatusTip(tr("Display uppercase", " 大写显示 "));
    lowerCaseAction = new QAction(tr("Display Lowercase", " 小写显示 "), this);
    lowerCaseAction->setStatusTip(tr("Display Lowercase", " 小写显示 "));
    rebootAction = new QAction(tr("Reboot", " 重启 "), this);
    rebootAction->setStatusTip(tr("Reboot", " 重启 "));
    bigLittleToolBar = addToolBar(QStringLiteral("bigLittle"));
    bigLittleToolBar->setObjectName(QStringLiteral("bigLittle"));
    bigLittleToolBar->addAction(upperCaseAction);
    bigLittleToolBar->addAction(lowerCaseAction);
    bigLittleToolBar->addAction(rebootAction);

    ui->lineEdit_MAC->setEnabled(false);
    for (QLineEdit *port : {ui->lineEdit_portNumber, ui->lineEdit_farPortNumber}) {
        port->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]+$")), port));
        port->setMaxLength(kPortDigits);
        port->setPlaceholderText(QStringLiteral("0-65535"));
    }
    ui->lineEdit_portNumber->setText(QStringLiteral("8080"));
    ui->lineEdit_farPortNumber->setText(QStringLiteral("4000"));

    if (mainWindow) {
        connect(this, &NetworkWindow::write, mainWindow, &MainWindow::write);
        connect(mainWindow, &MainWindow::netWorkProcessing, this, &NetworkWindow::netWorkProcessing);
    }
    connect(ui->lineEdit_farPortNumber, &QLineEdit::textEdited, this, &NetworkWindow::on_lineEdit_portNumber_textEdited);
    connect(upperCaseAction, &QAction::triggered, this, &NetworkWindow::slotBigLittle);
    connect(lowerCaseAction, &QAction::triggered, this, &NetworkWindow::slotBigLittle);
    connect(rebootAction, &QAction::triggered, this, &NetworkWindow::slotReboot);
}

NetworkWindow::~NetworkWindow()
{
    delete ui;
}

int NetworkWindow::centralMaximumWidth(int screenWidth)
{
    if (screenWidth <= kNarrowScreen)
        return kNarrowWidth;
    return int(qint64(screenWidth) * kWideWidthPer1920 / kNarrowScreen);
}

void NetworkWindow::showWarning(const QString &text)
{
    // Window-modal but not blocking: the link keeps being served meanwhile.
    auto *box = new QMessageBox(QMessageBox::Warning, tr("warning", " 警告 "), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void NetworkWindow::on_switchBt_netWorkParameter_get_clicked()
{
    if (!mainWindow || !mainWindow->session()->linkUp()) {
        showWarning(tr("Unable to get module network parameters until open the serial port.",
                       " 串口没有打开，无法获取模块网络参数。 "));
        return;
    }
    emit write(new Sender(ModbusRequest::kReadNetwork, ModbusRequest::networkRead()));
}

void NetworkWindow::netWorkProcessing(QString text)
{
    const QStringList items = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (items.size() < 8)
        return;
    ui->lineEdit_IP->setText(items.at(0));
    ui->lineEdit_mask->setText(items.at(1));
    ui->lineEdit_gateway->setText(items.at(2));
    ui->lineEdit_portNumber->setText(items.at(3));
    ui->lineEdit_farIP->setText(items.at(4));
    ui->lineEdit_farPortNumber->setText(items.at(5));
    bool ok = false;
    const uint mode = items.at(6).toUInt(&ok);
    if (ok && mode == Server)
        ui->radioButton_server->setChecked(true);
    else if (ok && mode == Client)
        ui->radioButton_client->setChecked(true);
    else if (ok && mode == Udp)
        ui->radioButton_UDP->setChecked(true);
    showMac(items.at(7));
}

void NetworkWindow::showMac(const QString &mac)
{
    ui->lineEdit_MAC->setText(upperCase ? mac.toUpper() : mac.toLower());
}

QVector<quint16> NetworkWindow::blockFromFields(QStringList *problems) const
{
    QVector<quint16> block(ModbusRequest::kNetworkRegisters, 0);
    parseAddress(ui->lineEdit_IP->text(), tr("Module IP", " 模块IP "), &block, ModuleIp, problems);
    parseAddress(ui->lineEdit_mask->text(), tr("Subnet mask", " 子网掩码 "), &block, SubnetMask, problems);
    parseAddress(ui->lineEdit_gateway->text(), tr("Gateway", " 网关 "), &block, Gateway, problems);
    parsePort(ui->lineEdit_portNumber->text(), tr("Module port number", " 模块端口号 "), &block, ModulePort, problems);
    parseAddress(ui->lineEdit_farIP->text(), tr("Remote IP", " 远程IP "), &block, RemoteIp, problems);
    parsePort(ui->lineEdit_farPortNumber->text(), tr("Remote port number", " 远程端口号 "), &block, RemotePort, problems);

    if (ui->radioButton_server->isChecked())
        block[WorkingMode] = Server;
    else if (ui->radioButton_client->isChecked())
        block[WorkingMode] = Client;
    else if (ui->radioButton_UDP->isChecked())
        block[WorkingMode] = Udp;
    else
        problems->append(tr("no module working mode is checked", " 没有选择模块工作模式 "));

    // The MAC is only ever what the module reported; it is written back unchanged.
    const QStringList macParts = ui->lineEdit_MAC->text().split(QLatin1Char('-'), Qt::SkipEmptyParts);
    bool macOk = macParts.size() == 6;
    for (int i = 0; macOk && i < 6; ++i) {
        const uint byte = macParts.at(i).toUInt(&macOk, 16);
        macOk = macOk && macParts.at(i).size() == 2 && byte <= 0xFF;
        if (macOk)
            block[Mac + i] = quint16(byte);
    }
    if (!macOk)
        problems->append(tr("the MAC Hardware Address is missing: get the parameters first",
                            " 缺少MAC地址，请先获取参数 "));
    return block;
}

void NetworkWindow::on_switchBt_netWorkParameter_write_clicked()
{
    if (!mainWindow || !mainWindow->session()->linkUp()) {
        showWarning(tr("UUnable to write module network parameters until open the serial port.",
                       " 串口没有打开，无法写入模块网络参数。 "));
        return;
    }
    QStringList problems;
    const QVector<quint16> block = blockFromFields(&problems);
    if (!problems.isEmpty()) {
        showWarning(tr("The network parameters were not written:", " 网络参数没有写入： ")
                    + QLatin1Char('\n') + problems.join(QLatin1Char('\n')));
        return;
    }
    emit write(new Sender(ModbusRequest::kWriteNetwork, ModbusRequest::networkWrite(block)));
}

void NetworkWindow::on_lineEdit_portNumber_textEdited(const QString &arg1)
{
    auto *field = qobject_cast<QLineEdit *>(sender());
    if (!field)
        field = ui->lineEdit_portNumber;
    if (arg1.toULongLong() > kMaximumPort)
        field->setText(QString::number(kMaximumPort));
}

void NetworkWindow::slotBigLittle()
{
    const auto *action = qobject_cast<QAction *>(sender());
    upperCase = action && action->text() == tr("Display uppercase", " 大写显示 ") ? 1 : 0;
    upperCaseAction->setEnabled(upperCase == 0);
    lowerCaseAction->setEnabled(upperCase == 1);
    showMac(ui->lineEdit_MAC->text());
}

void NetworkWindow::slotReboot()
{
    emit write(new Sender(ModbusRequest::kReboot, ModbusRequest::reboot()));
}
