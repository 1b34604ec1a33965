#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

class MainWindow;
class QAction;
class QLineEdit;
class QToolBar;
class Sender;

namespace Ui {
class NetworkWindow;
}

// Reads and writes the module's network parameter block and restarts the module
// so that written parameters take effect.
class NetworkWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit NetworkWindow(MainWindow *mainWindow);
    ~NetworkWindow() override;

    // Widest the parameter panel may get on a screen of the given width.
    static int centralMaximumWidth(int screenWidth);

    // 1 shows the MAC in upper case, 0 in lower case.
    int hexCase() const { return upperCase; }

signals:
    void write(Sender *sender);

public slots:
    void on_switchBt_netWorkParameter_get_clicked();
    // Blank-separated: IP, mask, gateway, port, remote IP, remote port, mode, MAC.
    void netWorkProcessing(QString text);
    void on_lineEdit_portNumber_textEdited(const QString &arg1);
    void slotBigLittle();

private slots:
    void on_switchBt_netWorkParameter_write_clicked();
    void slotReboot();

private:
    // The 25 registers of the block from the fields; what is missing or out of
    // range is listed in problems instead.
    QVector<quint16> blockFromFields(QStringList *problems) const;
    void showWarning(const QString &text);
    void showMac(const QString &mac);

    Ui::NetworkWindow *ui;
    QPointer<MainWindow> mainWindow;
    QAction *upperCaseAction = nullptr;
    QAction *lowerCaseAction = nullptr;
    QAction *rebootAction = nullptr;
    QToolBar *bigLittleToolBar = nullptr;
    int upperCase = 0;
};
