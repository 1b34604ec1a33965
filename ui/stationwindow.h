#pragma once

#include "check/modulecheck.h"
#include "check/modulefinder.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSpinBox;
class QThread;
class QTimer;
class ResultsStore;
class ThreadSerialport;

// The production station: the operator scans a board's serial number, and the station
// connects, identifies, checks, shows PASS or FAIL large, files the HTML and JUnit reports
// under the serial number, records the run and waits for the next board.
class StationWindow : public QWidget
{
    Q_OBJECT

public:
    explicit StationWindow(QWidget *parent = nullptr);
    ~StationWindow() override;

    // Settings keys, kept in the tool's settings file.
    static constexpr const char *kLinkKey = "station/link"; // "tcp" or "serial"
    static constexpr const char *kHostKey = "station/host";
    static constexpr const char *kPortKey = "station/port";
    static constexpr const char *kSerialPortKey = "station/serialPort";
    static constexpr const char *kBaudKey = "station/baud";
    static constexpr const char *kModelKey = "station/model"; // English name; empty: identified
    static constexpr const char *kReportFolderKey = "station/reportFolder";
    static constexpr const char *kResultsKey = "station/results";
    static constexpr const char *kNameKey = "station/name";
    static constexpr const char *kOperatorKey = "station/operator";

    static constexpr int kConnectWaitMs = 6000;
    static constexpr int kDeliveryIntervalMs = 60000;

    bool busy() const { return m_busy; }
    void addSerialPortPath(const QString &path);

signals:
    // A board's scan came to its end (verdict shown, or the reason it was not checked).
    void scanFinished();

private:
    enum class Shown { Idle, Testing, Pass, Fail, Error };

    QWidget *buildSettings();
    void loadSettings();
    void keepSettings();
    void scanned();
    void begin(const QString &serial);
    void identified(ModuleFinder::Outcome outcome);
    void connectLink();
    void checkFinished(const CheckRun &run);
    void refuse(const QString &headline, const QString &reason);
    void showState(Shown state, const QString &headline, const QStringList &details = {});
    void endScan();
    void tearDownLink();
    void countBoard(const QString &serial, bool passed);
    void showFigures();
    void showQueue(int waiting);
    // The store lives in a thread of its own: a server that is slow to answer never holds
    // up the window.
    void withStore(const std::function<void(ResultsStore *store)> &work);
    void recorded(const QString &error, int waiting);
    void deliverQueued();

    // Settings.
    QComboBox *linkCombo = nullptr;
    QLineEdit *hostEdit = nullptr;
    QSpinBox *portSpin = nullptr;
    QComboBox *serialPortCombo = nullptr;
    QComboBox *baudCombo = nullptr;
    QComboBox *modelCombo = nullptr;
    QLineEdit *reportFolderEdit = nullptr;
    QLineEdit *resultsEdit = nullptr;
    QLineEdit *stationEdit = nullptr;
    QLineEdit *operatorEdit = nullptr;
    // The line.
    QLineEdit *serialEdit = nullptr;
    QLabel *verdictLabel = nullptr;
    QLabel *boardLabel = nullptr;
    QListWidget *detailList = nullptr;
    QLabel *queueLabel = nullptr;
    QLabel *testedLabel = nullptr;
    QLabel *passedLabel = nullptr;
    QLabel *failedLabel = nullptr;
    QLabel *yieldLabel = nullptr;

    bool m_armed = false;
    bool m_busy = false;
    QString m_serial;
    CheckSetup m_setup;
    ModuleFinder *m_finder = nullptr;
    ModuleCheck *m_check = nullptr;
    QThread *m_linkThread = nullptr;
    QPointer<ThreadSerialport> m_link;
    int m_linkAddress = -1; // as the module announced it on the link
    QTimer *m_connectTimer = nullptr;
    QTimer *m_deliveryTimer = nullptr;
    QThread *m_storeThread = nullptr;
    QObject *m_storeContext = nullptr; // lives in m_storeThread
    ResultsStore *m_store = nullptr;   // used in m_storeThread only
    QString m_storeText;
    bool m_storeMade = false;
    // The scan whose record is on its way.
    bool m_pendingPassed = false;
    QStringList m_pendingDetails;
    QStringList m_pendingLost;
    // This shift's boards: whether the first run passed, whether the latest did.
    QHash<QString, QPair<bool, bool>> m_boards;
};
