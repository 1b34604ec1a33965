#pragma once

#include "protocol/linkevents.h"

#include <QHash>
#include <QString>
#include <QVector>

// One value that polling brought in: a channel's state or measurement, or the time the
// module took to answer.
struct PolledSample
{
    enum class Kind { SwitchOutput, SwitchInput, AnalogInput, AnalogOutput, ResponseTime };

    qint64 timeMs = 0; // QDateTime::currentMSecsSinceEpoch() of the reply
    Kind kind = Kind::AnalogInput;
    QString channel;   // "AI0", "AO1", "IN3", "Y2", "Response"
    double value = 0;
    QString unit;      // "V", "mA", "ms"; empty for switch states
};

// Turns the link's exchange records into the values they carry, with the reply
// decoders the panels use: output and input states, analog inputs, analog output
// read-back (in the unit of the mode read back) and the response time.
class PolledValues
{
public:
    // Channels of the chosen model (0 for a kind it lacks); the analog input unit is
    // "V" or "mA".
    void setChannels(int outputs, int inputs, int analogOutputs, const QString &analogInputUnit);
    QVector<PolledSample> take(const ExchangeRecord &record);

    static constexpr int kMaxOpenRequests = 1024;

private:
    QHash<quint64, QString> m_kinds; // requests on the wire, by id
    QHash<int, quint16> m_modes;     // analog output mode words, by channel
    QHash<int, quint16> m_maxima;    // analog output maximum registers, by channel
    int m_outputs = 0;
    int m_inputs = 0;
    int m_analogOutputs = 0;
    QString m_analogInputUnit;
};
