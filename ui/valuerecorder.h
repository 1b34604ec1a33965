#pragma once

#include "protocol/polledvalues.h"

#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

// Appends every polled value, with its time, to a CSV file while it records. The file is
// flushed at least once a second, so a tool that is killed loses at most the last
// second; a later recording into the same file appends to it. A file that has grown past
// the rotation size is renamed to "<name>.1" (replacing an older one) and a new file is
// begun.
class ValueRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int kFlushMs = 1000;
    static constexpr qint64 kDefaultRotateBytes = 64LL * 1024 * 1024;

    explicit ValueRecorder(QObject *parent = nullptr);
    ~ValueRecorder() override;

    // False with the reason when the file cannot be opened for appending.
    bool start(const QString &path, QString *error = nullptr);
    void stop();
    bool isRecording() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }
    void setRotateBytes(qint64 bytes) { m_rotateBytes = bytes; }

    // "2026-12-07T14:02:03.412,AI0,4.012,mA": local time with ms, channel, value, unit.
    static QString csvLine(const PolledSample &sample);
    static QString csvHeader();

public slots:
    void record(const PolledSample &sample);

signals:
    void recordingChanged(bool recording);
    // Writing failed (disk full, file gone); recording has stopped.
    void failed(QString reason);

private:
    bool openFile(QString *error);
    void flushFile();

    QFile m_file;
    QTimer m_flushTimer;
    qint64 m_rotateBytes = kDefaultRotateBytes;
};
