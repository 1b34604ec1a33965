#pragma once

#include "protocol/linkhealth.h"
#include "protocol/sender.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>

class QTimer;

// One step of a module check: what was asked, what the module gave, and the verdict.
struct CheckStep
{
    enum Result { Pass, Fail, NotApplicable };

    QString group; // "Outputs", "Inputs", "Analog outputs", ...
    QString name;  // "Y3 on", "AO0 50 %", ...
    Result result = NotApplicable;
    QString expected;
    QString read;
    qint64 ms = -1; // response time of the exchange, -1 without one

    static QString resultText(Result result);
};

// What the check is run against.
struct CheckSetup
{
    int modelIndex = -1;    // ModelCatalogue row
    QString endpoint;       // "127.0.0.1:502" or "/dev/ttyUSB0 9600 8N1"
    bool network = false;
    int baudRate = 0;       // serial only
    int deviceAddress = 1;
    // Known before the check (announced on this link, or found by the search); -1 when not:
    // then the check asks the module itself.
    int identifiedAddress = -1;
    int identifiedType = -1;
    // Inputs as wired on the bench (IN1 = bit 0); without it inputs are only listed.
    bool inputsExpected = false;
    quint64 expectedInputs = 0;
    // An identity the module did not confirm fails the check.
    bool requireIdentity = false;
};

// The outcome of one run.
struct CheckRun
{
    CheckSetup setup;
    QString model;   // English menu text
    QString version; // MEROVI_VERSION
    QDateTime started;
    qint64 durationMs = 0;
    QVector<CheckStep> steps;
    bool cancelled = false;
    bool interrupted = false; // cancelled by a signal to the process
    // "confirmed: ...", "wrong model: ..." or "identity not confirmed: ...".
    QString identity;
    int identifiedType = -1; // the type code the identity was judged on, -1 without one
    bool restoreNeeded = false;
    bool restoreOk = true;
    QString restoreText;
    LinkHealth health; // the run's own figures

    int count(CheckStep::Result result) const;
    // "PASS", "FAIL", "CANCELLED" or "INTERRUPTED".
    QString verdict() const;
    bool passed() const { return !cancelled && !interrupted && count(CheckStep::Fail) == 0; }
};

// Runs a check of the chosen model over the request queue: every channel switched
// and read back, analog outputs written and read back, the rest read and listed; what
// it changed is put back at the end, also after a cancel or a failure. Lives in the
// caller's thread; `write` goes to the queue, its replies come back through
// `replyReceived` / `requestFailed`.
class ModuleCheck : public QObject
{
    Q_OBJECT

public:
    explicit ModuleCheck(QObject *parent = nullptr);

    static constexpr const char *kKindPrefix = "Module check ";

    // The identity step for what the identification said (type code -1: no answer), and
    // the mark every report carries.
    static CheckStep identityStep(const CheckSetup &setup, int address, int typeCode,
                                  QString *mark);
    // The percent of its range an analog channel is given at a point of the check.
    static int analogPercent(int point, int channel);

    void start(const CheckSetup &setup);
    bool running() const { return active; }
    const CheckRun &result() const { return run; }
    // Requests in the plan so far, for the progress shown.
    int plannedExchanges() const { return planned; }

signals:
    void write(Sender *sender);
    // Asks the owner to send the identification request on the link; the answer comes
    // back through `identified`.
    void identificationRequested();
    // Withdraws every queued request whose kind begins with the prefix (the queue's
    // sendersClear).
    void withdraw(const QString &kindPrefix);
    void stepDone(const CheckStep &step);
    void progress(int done, int total, const QString &text);
    void finished(const CheckRun &run);

public slots:
    void cancel();
    // A cancel by a signal to the process: the run is marked interrupted.
    void interrupt();
    // The serial line or the TCP connection went away: the check ends at once, as failed.
    void linkLost(const QString &reason);
    // The module identified itself (address and type code of its reply).
    void identified(int address, int typeCode);
    void replyReceived(const QString &kind, const QString &reply);
    void requestFailed(const QString &kind, const QString &reason);
    // The queue's figures; the run reports the bad frames it saw meanwhile.
    void setLinkHealth(const LinkHealth &health);

private:
    using Done = std::function<void(const QString &reply, const QString &failure, qint64 ms)>;

    void request(const QString &label, const QString &frame, const Done &done);
    void then(const std::function<void()> &item);
    void next();
    void complete(const QString &reply, const QString &failure);
    void addStep(const QString &group, const QString &name, CheckStep::Result result,
                 const QString &expected, const QString &read, qint64 ms = -1);
    void notApplicable(const QString &group, const QString &name, const QString &why);
    void planOutputs();
    void planInputs();
    void planAnalogOutputs();
    void planAnalogInputs();
    void planBlocks();
    void planRestore();
    void finish();
    void askIdentity();
    void judgeIdentity(int address, int typeCode);
    void problemsStep(const QString &group, const QString &name, const QStringList &problems);

    // Output registers as written and as read back, masked to the channels that exist.
    QVector<quint16> outputMask() const;
    QString outputText(const QVector<quint16> &registers) const;
    void outputStep(const QString &name, const QVector<quint16> &expected, bool on);
    void analogRanges(int channel);
    void analogPoint(int point, int channel);

    quint16 heldValue(int channel) const;
    void readAnalogBlocks(const std::function<void(bool ok, const QVector<quint16> &value,
                                                   const QVector<quint16> &max,
                                                   const QVector<quint16> &mode, qint64 ms,
                                                   const QString &failure)> &done);

    CheckRun run;
    bool active = false;
    bool cancelRequested = false;
    bool aborted = false;
    bool restoring = false;
    int sequence = 0;
    int planned = 0;
    int doneExchanges = 0;
    int consecutiveTimeouts = 0;
    QList<std::function<void()>> plan;
    QString pendingKind;
    Done pendingDone;
    QString pendingFrame;
    bool identitySettling = false;
    bool retryAfterIdentity = false;
    QElapsedTimer pendingSince;
    QElapsedTimer clock;
    QTimer *guard = nullptr;
    QTimer *identityWait = nullptr;
    LinkHealth latestHealth;
    LinkHealth startHealth;

    int outputs = -1;
    int inputs = -1;
    int analogOutputs = -1;
    int analogInputs = -1;
    QString analogUnit;
    QVector<quint16> originalOutputs;
    bool outputsRead = false;
    bool outputsTouched = false;
    QVector<quint16> originalValue, originalMax, originalMode;
    bool analogRead = false;
    QVector<bool> analogTouched;
    QVector<bool> analogWritten; // the value of the current point went out
    QVector<QList<int>> readBackOffsets; // read back minus written, per point

};

Q_DECLARE_METATYPE(CheckStep)
Q_DECLARE_METATYPE(CheckRun)
