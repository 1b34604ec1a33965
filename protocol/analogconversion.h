#pragma once

#include <QString>
#include <QVector>

// The analog output modes and the conversions between a physical value, the
// output precision and the module's maximum and value registers.
namespace AnalogConversion {

struct OutputMode
{
    quint16 code;     // mode register word
    const char *text; // mode box text
    const char *unit;
    double bottom;    // lower end of the range
    double interval;  // width of the range
    double top;       // upper end of the range
};

constexpr quint16 kRegisterLimit = 0xFFFF;

// 4~20mA, 0~20mA, 1~5V, 0~5V, 0~10V, in mode box order.
const QVector<OutputMode> &modes();
// Index in modes() of a mode box text, or -1.
int modeIndexForText(const QString &text);
// Index in modes() of a mode register word as read back, or -1 for an unknown word.
int modeIndexForWord(quint16 word);

// Maximum register for a precision (physical step of one count): 0xFFFF below
// interval / 65535, 0 above the top, otherwise interval / precision truncated.
quint16 maximumRegister(const OutputMode &mode, double precision);
// Precision shown for a maximum register; the top of the range for 0.
QString precisionText(const OutputMode &mode, quint16 maximum);
// Value register for a physical value. Above the top it is the maximum typed by
// the operator; below the bottom it is 0.
quint16 valueRegister(const OutputMode &mode, double value, double precision, quint16 typedMaximum);
// Physical value of a value register; the maximum must not be 0.
double physicalValue(const OutputMode &mode, quint16 value, quint16 maximum);
// The value field text for a read-back pair: "0.000" when the maximum is 0.
QString physicalValueText(const OutputMode &mode, quint16 value, quint16 maximum);

// A number typed in a field, with a decimal point or comma; 0 when none.
double fieldNumber(const QString &text);

} // namespace AnalogConversion
