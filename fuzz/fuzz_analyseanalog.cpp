// Analog input replies, as the link could deliver them, through the analysis.
#include "fuzz/fuzzcheck.h"
#include "link/modbuscodec.h"

#include <QRegularExpression>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString reply = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    const QString result = ModbusCodec::analyseAnalog_03(reply);
    bool ascii = true;
    for (size_t i = 0; i < size; ++i)
        ascii = ascii && data[i] < 0x80;
    // Hex digits in either case give the same result.
    if (ascii)
        FUZZ_CHECK(ModbusCodec::analyseAnalog_03(reply.toUpper()) == result);

    if (result.contains(QStringLiteral("Error")))
        return 0;
    // A success is one value per whole register, each with exactly three decimals.
    static const QRegularExpression value(QStringLiteral("^[0-9]{1,2}\\.[0-9]{3}$"));
    const QStringList values = result.isEmpty() ? QStringList() : result.split(QLatin1Char(' '));
    for (const QString &v : values)
        FUZZ_CHECK(value.match(v).hasMatch());
    const QByteArray text = ModbusCodec::removeBlanks(reply.toUtf8());
    const int count = text.mid(4, 2).toInt(nullptr, 16);
    FUZZ_CHECK(values.size() == count / 2);
    return 0;
}
