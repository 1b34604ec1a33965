#pragma once

#include "protocol/serialtiming.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class ModuleSimulator;
class QSocketNotifier;
class QTcpSocket;

namespace MeroviSim {

// One way to the tool: it cuts requests out of the bytes it receives and hands them to
// the module, and writes the module's replies, on time or late and whole or in pieces.
class Endpoint : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Rtu, Tcp };

    Endpoint(ModuleSimulator *module, Kind kind);
    ~Endpoint() override;

    Kind kind() const { return m_kind; }
    virtual QString name() const = 0;
    virtual bool peerPresent() const = 0;
    // Bytes for the peer after delayMs; split writes them in pieces of 1 to 4 bytes
    // kSplitPauseMs apart. after runs once the last byte is written.
    void enqueue(const QByteArray &bytes, int delayMs, bool split, quint32 splitSeed,
                 std::function<void()> after = {});
    bool idle() const { return m_queue.isEmpty(); }

    static constexpr int kSplitPauseMs = 4;

protected:
    virtual void writeNow(const QByteArray &bytes) = 0;
    virtual void queueDrained() {}
    ModuleSimulator *m_module;

private:
    void pump();

    struct Item {
        qint64 due;
        QByteArray bytes;
        std::function<void()> after;
    };
    Kind m_kind;
    QList<Item> m_queue;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// One Modbus TCP client connection: MBAP header in, MBAP header out.
class TcpLink : public Endpoint
{
    Q_OBJECT

public:
    TcpLink(ModuleSimulator *module, QTcpSocket *socket, int id);
    ~TcpLink() override;

    QString name() const override;
    bool peerPresent() const override;
    QTcpSocket *socket() const { return m_socket; }
    // Closes the connection once the replies already queued are written.
    void closeAfterWrites();
    bool closing() const { return m_closing; }
    int requests = 0; // requests received on this connection, for --disconnect-after

protected:
    void writeNow(const QByteArray &bytes) override;
    void queueDrained() override;

private:
    void onReadyRead();

    QTcpSocket *m_socket;
    int m_id;
    QByteArray m_rx;
    bool m_closing = false;
};

// Modbus RTU on the master side of a pseudo-terminal: frames cut by their expected
// length and by 3.5 character times of silence, CRC checked.
class PtyLink : public Endpoint
{
    Q_OBJECT

public:
    explicit PtyLink(ModuleSimulator *module);
    ~PtyLink() override;

    bool open();
    QString slavePath() const { return m_path; }
    QString name() const override { return QStringLiteral("rtu"); }
    bool peerPresent() const override { return m_peerOpen; }
    void setBaudRate(int baud);
    // Bytes received while the line is set to another rate are noise (0: any rate).
    void setRequiredBaud(int baud);
    int lineSpeed() const; // the rate the tool set on the line, 0 if unknown
    // Silence that ends a frame, in whole microseconds.
    static int silenceMicros(int baud);

protected:
    void writeNow(const QByteArray &bytes) override;

private:
    void onReadable();
    void onPoll();
    void onSilence();
    bool readPending();
    void hangUp();
    void cutFrames();
    void frameEndedBySilence();
    // Bytes a frame starting like the buffer needs: >0 known, 0 unknown (wait for silence).
    int expectedLength() const;
    void deliver(const QByteArray &frame);

    int m_master = -1;
    QString m_path;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_poll;
    QTimer m_silence;
    QElapsedTimer m_lastByte;
    QByteArray m_rx;
    bool m_discard = false;
    bool m_peerOpen = false;
    int m_silenceMicros = int(SerialTiming::kFixedSilenceMicros);
    int m_requiredBaud = 0;
};

} // namespace MeroviSim
