#pragma once

// How long characters and the silence between Modbus RTU frames last on a serial line.
namespace SerialTiming {

// A character on the line: a start bit, the data bits, a parity bit if any, the stop
// bits. Modbus RTU counts 11 bits (8 data with parity, or without it and 2 stops).
struct Framing
{
    int dataBits = 8;
    bool parity = true;
    int stopBits = 1;

    int bits() const { return 1 + dataBits + (parity ? 1 : 0) + stopBits; }
};

// A frame ends after 3.5 character times of silence; above 19200 baud the silence is
// fixed at 1750 µs, so fast lines need not time single characters.
constexpr double kSilenceCharacters = 3.5;
constexpr int kFixedSilenceAboveBaud = 19200;
constexpr double kFixedSilenceMicros = 1750.0;

// Microseconds one character takes; 0 for a rate of 0 or less.
double characterMicros(int baudRate, const Framing &framing = Framing());
// The silence that ends a frame, in microseconds; the fixed silence for a rate of 0 or less.
double silenceMicros(int baudRate, const Framing &framing = Framing());

} // namespace SerialTiming
