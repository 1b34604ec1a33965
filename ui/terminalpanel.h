#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QListView;
class QTextEdit;

class OutputLog;
class Sender;
class Session;

// The send/receive terminal: the operator's typed frames, checked before they go, sent
// once or periodically, and the output log below with its polling, pause, case and save
// controls.
class TerminalPanel : public QObject
{
    Q_OBJECT

public:
    // The form's widgets the panel drives; the log's own controls are added beside
    // `clearLog`.
    struct Widgets
    {
        QTextEdit *sendText = nullptr;
        QListView *logView = nullptr;
        QCheckBox *timedSend = nullptr;
        QLineEdit *period = nullptr;
        // The link's baud box: periodic sending keeps to what the line can carry.
        QComboBox *baud = nullptr;
        QCheckBox *upperCase = nullptr;
        QCheckBox *lowerCase = nullptr;
        QPushButton *clearLog = nullptr;
    };

    TerminalPanel(Session *session, const Widgets &widgets, QObject *parent = nullptr);

    OutputLog *log() const { return outputLog; }

    // Sends the typed frame, or says in the log why not.
    void send();
    void setTimedSend(bool on);
    // The received bytes shown in upper case (one of the two case boxes was ticked).
    void setUpperCase(bool upper);
    // Asks where to save the log and saves it.
    void saveLogAs();

signals:
    void request(Sender *sender);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void refuseTypedFrame(const QString &reason);

    Session *session;
    Widgets form;
    OutputLog *outputLog = nullptr;
    QTimer sendTimer;
    QString lastRefusal;
};
