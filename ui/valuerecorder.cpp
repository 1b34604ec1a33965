#include "ui/valuerecorder.h"

#include "protocol/csv.h"

#include <QDateTime>
#include <QFileInfo>

ValueRecorder::ValueRecorder(QObject *parent) : QObject(parent)
{
    m_flushTimer.setInterval(kFlushMs);
    connect(&m_flushTimer, &QTimer::timeout, this, &ValueRecorder::flushFile);
}

ValueRecorder::~ValueRecorder()
{
    stop();
}

QString ValueRecorder::csvHeader()
{
    return Csv::line({QStringLiteral("time"), QStringLiteral("channel"), QStringLiteral("value"),
                      QStringLiteral("unit")});
}

QString ValueRecorder::csvLine(const PolledSample &sample)
{
    return Csv::line({QDateTime::fromMSecsSinceEpoch(sample.timeMs)
                          .toString(QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz")),
                      sample.channel, QString::number(sample.value, 'g', 10), sample.unit});
}

bool ValueRecorder::openFile(QString *error)
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error)
            *error = m_file.errorString();
        return false;
    }
    if (m_file.size() == 0)
        m_file.write(csvHeader().toUtf8());
    return true;
}

bool ValueRecorder::start(const QString &path, QString *error)
{
    stop();
    m_file.setFileName(path);
    if (!openFile(error))
        return false;
    m_file.flush();
    m_flushTimer.start();
    emit recordingChanged(true);
    return true;
}

void ValueRecorder::stop()
{
    if (!m_file.isOpen())
        return;
    m_flushTimer.stop();
    m_file.close();
    emit recordingChanged(false);
}

void ValueRecorder::record(const PolledSample &sample)
{
    if (!m_file.isOpen())
        return;
    if (m_file.write(csvLine(sample).toUtf8()) < 0) {
        const QString reason = m_file.errorString();
        stop();
        emit failed(reason);
    }
}

void ValueRecorder::flushFile()
{
    if (!m_file.isOpen())
        return;
    if (!m_file.flush()) {
        const QString reason = m_file.errorString();
        stop();
        emit failed(reason);
        return;
    }
    if (m_rotateBytes <= 0 || m_file.size() < m_rotateBytes)
        return;
    const QString path = m_file.fileName();
    const QString older = path + QStringLiteral(".1");
    m_file.close();
    QFile::remove(older);
    QFile::rename(path, older);
    QString reason;
    if (!openFile(&reason)) {
        emit recordingChanged(false);
        emit failed(reason);
    }
}
