#include "protocol/polledvalues.h"

#include "protocol/analogconversion.h"
#include "protocol/exchangefields.h"
#include "protocol/modbuscodec.h"
#include "protocol/modbusrequest.h"
#include "protocol/replydecoder.h"

#include <QStringList>

void PolledValues::setChannels(int outputs, int inputs, int analogOutputs,
                               const QString &analogInputUnit)
{
    m_analogOutputs = qMax(analogOutputs, 0);
    m_outputs = qMax(outputs, 0);
    m_inputs = qMax(inputs, 0);
    m_analogInputUnit = analogInputUnit;
    m_modes.clear();
    m_maxima.clear();
}

QVector<PolledSample> PolledValues::take(const ExchangeRecord &record)
{
    QVector<PolledSample> samples;
    if (record.requestId == 0)
        return samples;
    if (record.direction == ExchangeRecord::Direction::Sent) {
        // A request never answered nor ended must not keep the table growing.
        if (m_kinds.size() >= kMaxOpenRequests)
            m_kinds.clear();
        m_kinds.insert(record.requestId, record.kind);
        return samples;
    }
    const QString sentKind = m_kinds.take(record.requestId);
    if (record.result != ExchangeRecord::Result::Ok)
        return samples;
    const QString kind = record.kind.isEmpty() ? sentKind : record.kind;
    const QString reply = ExchangeFields::replyText(record.bytes, record.link);
    auto add = [&](PolledSample::Kind sampleKind, const QString &channel, double value,
                   const QString &unit) {
        PolledSample sample;
        sample.timeMs = record.timeMs;
        sample.kind = sampleKind;
        sample.channel = channel;
        sample.value = value;
        sample.unit = unit;
        samples.append(sample);
    };
    if (record.responseMs >= 0)
        add(PolledSample::Kind::ResponseTime, QStringLiteral("Response"), double(record.responseMs),
            QStringLiteral("ms"));

    if (kind == ModbusRequest::kCheckStatus) {
        const QVector<int> states = ReplyDecoder::decodeRegisterBits(reply);
        for (int k = 0; k < m_outputs && k < states.size(); ++k)
            add(PolledSample::Kind::SwitchOutput, QStringLiteral("Y%1").arg(k + 1), states.at(k),
                QString());
    } else if (kind == ModbusRequest::kStartDetecting) {
        const QVector<bool> states =
            ReplyDecoder::decodeInputTokens(ReplyDecoder::inputBits(reply), m_inputs);
        for (int k = 0; k < states.size(); ++k)
            add(PolledSample::Kind::SwitchInput, QStringLiteral("IN%1").arg(k + 1),
                states.at(k) ? 1 : 0, QString());
    } else if (kind == ModbusRequest::kAnalogStartDetecting) {
        const QString values = ModbusCodec::analyseAnalog_03(reply);
        if (values.contains(QLatin1String("error"), Qt::CaseInsensitive) || values.isEmpty())
            return samples;
        const QStringList pieces = values.split(QLatin1Char(' '));
        for (int c = 0; c < pieces.size(); ++c)
            add(PolledSample::Kind::AnalogInput, QStringLiteral("AI%1").arg(c),
                pieces.at(c).toDouble(), m_analogInputUnit);
    } else if (kind.startsWith(ModbusRequest::kReadAnalogOutputPrefix)) {
        const QVector<quint16> registers = ReplyDecoder::decodeRegisters(reply);
        // The read-back reads whole blocks; registers past the channels are not outputs.
        for (int c = 0; c < registers.size() && c < m_analogOutputs; ++c) {
            const quint16 word = registers.at(c);
            if (kind == ModbusRequest::kReadAnalogOutputMode) {
                m_modes.insert(c, word);
            } else if (kind == ModbusRequest::kReadAnalogOutputMax) {
                m_maxima.insert(c, word);
            } else if (kind == ModbusRequest::kReadAnalogOutputValue) {
                // The value means something only with the channel's mode and maximum.
                const int mode = AnalogConversion::modeIndexForWord(m_modes.value(c, 0xFFFF));
                const quint16 maximum = m_maxima.value(c, 0);
                if (mode < 0 || maximum == 0)
                    continue;
                const AnalogConversion::OutputMode &output = AnalogConversion::modes().at(mode);
                add(PolledSample::Kind::AnalogOutput, QStringLiteral("AO%1").arg(c),
                    AnalogConversion::physicalValue(output, word, maximum),
                    QString::fromLatin1(output.unit));
            }
        }
    }
    return samples;
}
