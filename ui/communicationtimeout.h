#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QVector>
#include <QWidget>

class MainWindow;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QRadioButton;
class Sender;

namespace Ui {
class CommunicationTimeout;
}

// Editor of the module's communication watchdog: the timeout and the state each
// output falls back to when the module hears nothing for longer than that.
class CommunicationTimeout : public QWidget
{
    Q_OBJECT

public:
    // data: the timeout in decimal, then one state digit per channel (0 off, 1 on,
    // 2 unchanged), whole groups of 16, blank separated.
    CommunicationTimeout(MainWindow *mainWindow, const QString &data);
    ~CommunicationTimeout() override;

    int channelCount() const { return n; }
    quint32 timeoutValue() const { return timeout; }
    QVector<int> channelStates() const { return states; }

    static constexpr quint64 kMaximumTimeout = 4294967295ULL;

public slots:
    // The end of a request: shown here when it is this window's write. `reason` is
    // the queue's ("timeout", "exception 02", "not sent") when not accepted.
    void showAnswer(const QString &kind, bool accepted, const QString &reason);

signals:
    void write(Sender *sender);

private slots:
    void slotRadioButton_out_clicked();
    void exit();
    void on_lineEdit_textEdited(const QString &arg1);

private:
    void paintButton(int index);

    Ui::CommunicationTimeout *ui;
    QPointer<MainWindow> mainWindow;
    int n = 0;
    quint32 timeout = 0;
    QVector<int> states;
    QList<QRadioButton *> radioButtons;
    QGridLayout *buttonGrid = nullptr;
    QHBoxLayout *okRow = nullptr;
    QPushButton *okButton = nullptr;
    // The module's answer to the last write, beside OK.
    QLabel *answerLabel = nullptr;
    bool awaitingAnswer = false;
    QString styleSheets[3];
};
