#pragma once

#include <QStringList>
#include <QVector>

// What a module can say about itself: values that no working module holds, named one by
// one. A generic Modbus server with blank registers reads as such values, so these rules
// are what tells it from a module.
namespace Plausibility {

// The 25 registers of the network block. Empty when every value is possible.
QStringList networkProblems(const QVector<quint16> &block);
// One analog output's maximum and mode registers.
QStringList analogOutputProblems(quint16 maximum, quint16 mode);
// The address an identification reply carries.
QStringList addressProblems(int address);

} // namespace Plausibility
