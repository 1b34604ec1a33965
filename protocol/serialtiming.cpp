#include "protocol/serialtiming.h"

namespace SerialTiming {

double characterMicros(int baudRate, const Framing &framing)
{
    if (baudRate <= 0)
        return 0.0;
    return framing.bits() * 1e6 / baudRate;
}

double silenceMicros(int baudRate, const Framing &framing)
{
    if (baudRate <= 0 || baudRate > kFixedSilenceAboveBaud)
        return kFixedSilenceMicros;
    return kSilenceCharacters * characterMicros(baudRate, framing);
}

} // namespace SerialTiming
