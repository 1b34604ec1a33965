#pragma once

#include <QtGlobal>

// The module's registers: where each block starts and how the network block is laid
// out. The tool's requests and the simulated module both read their addresses here.
namespace RegisterMap {

// Holding registers; 16 channels per state register, channel i in bit i mod 16.
constexpr quint16 kOutputStates = 0x0000;
constexpr quint16 kInputStates = 0x0004;
constexpr quint16 kAnalogOutputValues = 0x0009;
constexpr quint16 kAnalogInputValues = 0x0020;
constexpr quint16 kNetworkBlock = 0x2710;
constexpr quint16 kNetworkRegisters = 25;
// Switch modules: the communication timeout (high, low word) and an OR and an AND
// mask per 16 outputs. Analog modules keep their channel modes at the same address.
constexpr quint16 kTimeoutBlock = 0x7530;
constexpr quint16 kAnalogOutputModes = 0x7530;
constexpr quint16 kAnalogOutputMaxima = 0x7594;
// Writing kRestartValue here restarts the module.
constexpr quint16 kRestart = 0xFDE8;
constexpr quint16 kRestartValue = 0x0001;

// Offsets inside the network block; one octet, port, mode or MAC byte per register.
enum NetworkOffset : int {
    kNetworkModuleIp = 0,
    kNetworkSubnetMask = 4,
    kNetworkGateway = 8,
    kNetworkModulePort = 12,
    kNetworkRemoteIp = 13,
    kNetworkRemotePort = 17,
    kNetworkWorkingMode = 18,
    kNetworkMac = 19
};

enum WorkingMode : quint16 { kModeServer = 0, kModeClient = 1, kModeUdp = 2 };

} // namespace RegisterMap
