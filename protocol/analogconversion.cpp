#include "protocol/analogconversion.h"

#include <algorithm>
#include <cmath>

namespace AnalogConversion {

namespace {

// The precision field shows 6 significant digits; reading that text back must
// give the maximum it was shown for, not the count below it.
constexpr double kShownDigitsTolerance = 1e-5;
// Plain floating point noise: 0.7 / 10 * (10 / 0.1) is 6.999999999999999.
constexpr double kRoundingTolerance = 1e-9;
// Values are shown with 6 significant digits; a value within that resolution of
// the next count names that count.
constexpr double kValueDigitsTolerance = 5e-6;

// A value within the tolerance of an integer is that integer; anything else keeps
// its fraction.
double snapped(double value, double tolerance)
{
    const double nearest = std::round(value);
    if (nearest != 0.0 && std::abs(value - nearest) <= tolerance * std::abs(nearest))
        return nearest;
    return value;
}

// interval / precision as a real number, with the 0xFFFF and 0 limits.
double realMaximum(const OutputMode &mode, double precision)
{
    if (!(precision >= mode.interval / kRegisterLimit)) // also 0 and NaN
        return kRegisterLimit;
    if (precision > mode.top)
        return 0.0;
    return std::min(snapped(mode.interval / precision, kShownDigitsTolerance),
                    double(kRegisterLimit));
}

} // namespace

const QVector<OutputMode> &modes()
{
    static const QVector<OutputMode> table = {
        { 0x0000, "4~20mA", "mA", 4.0, 16.0, 20.0 },
        { 0x0001, "0~20mA", "mA", 0.0, 20.0, 20.0 },
        { 0x0002, "1~5V", "V", 1.0, 4.0, 5.0 },
        { 0x0003, "0~5V", "V", 0.0, 5.0, 5.0 },
        { 0x0004, "0~10V", "V", 0.0, 10.0, 10.0 },
    };
    return table;
}

int modeIndexForText(const QString &text)
{
    const QVector<OutputMode> &table = modes();
    for (int i = 0; i < table.size(); ++i) {
        if (text == QLatin1String(table.at(i).text))
            return i;
    }
    return -1;
}

int modeIndexForWord(quint16 word)
{
    // A module fresh from the factory reads back FFFF: it runs 4~20mA.
    if (word == 0xFFFF)
        return 0;
    const QVector<OutputMode> &table = modes();
    for (int i = 0; i < table.size(); ++i) {
        if (table.at(i).code == word)
            return i;
    }
    return -1;
}

quint16 maximumRegister(const OutputMode &mode, double precision)
{
    return quint16(std::trunc(realMaximum(mode, precision)));
}

QString precisionText(const OutputMode &mode, quint16 maximum)
{
    if (maximum == 0)
        return QString::number(mode.top);
    return QString::number(mode.interval / maximum, 'g', 6);
}

quint16 valueRegister(const OutputMode &mode, double value, double precision, quint16 typedMaximum)
{
    if (value > mode.top)
        return typedMaximum;
    if (!(value >= mode.bottom)) // also NaN
        return 0;
    const double maximum = realMaximum(mode, precision);
    const double count = (value - mode.bottom) / mode.interval * maximum;
    const double resolution = std::min(0.5, kValueDigitsTolerance * value / mode.interval * maximum
                                               + kRoundingTolerance * count);
    const double nearest = std::round(count);
    const double whole = nearest - count <= resolution ? nearest : std::trunc(count);
    return quint16(std::clamp(whole, 0.0, double(kRegisterLimit)));
}

double physicalValue(const OutputMode &mode, quint16 value, quint16 maximum)
{
    return mode.bottom + mode.interval * value / maximum;
}

QString physicalValueText(const OutputMode &mode, quint16 value, quint16 maximum)
{
    if (maximum == 0)
        return QStringLiteral("0.000");
    return QString::number(physicalValue(mode, value, maximum), 'g', 6);
}

double fieldNumber(const QString &text)
{
    // A decimal comma is read as the point, whatever the desktop's locale.
    QString number = text.trimmed();
    if (!number.contains(QLatin1Char('.')) && number.count(QLatin1Char(',')) == 1)
        number.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

} // namespace AnalogConversion
