#pragma once

#include <QString>

// Decodes the module's replies and decides what the request queue does with them.
namespace ReplyDecoder {

// Input states of a read reply: "1" or "0" per input, bit 0 of the first register first.
QString inputBits(const QString &reply);
// Communication time-out block: the time-out in ms, then per output " 1" (on),
// " 0" (off) or " 2" (unchanged).
QString timeoutBlock(const QString &reply);
// Network block: IP, mask, gateway, port, remote IP, remote port, mode, MAC.
QString networkBlock(const QString &reply);

// What the queue does with one reply to its head request.
struct Dispatch
{
    enum Signal {
        NoSignal,
        ChangeCtlOuts,
        ChangeInputs,
        AnalogInput,
        ReadAnalogOutput,
        CommunicationTimeOut,
        NetworkProcessing,
        ClickButton,
        AllOpen,
        Log
    };
    enum Then { Stay, Pop, Requeue };

    bool showRaw = false;  // the reply goes to the terminal
    bool accepted = false; // address, function code and CRC are right
    Signal signal = NoSignal;
    Then then = Stay;
    bool popBeforeSignal = false;
    QString text;
    int number = 0;
};

// The reply (hex text, CRC last) to the head request of the given kind, for the
// given device address; network replies carry a computed CRC and are not checked.
Dispatch dispatch(const QString &reply, const QString &headKind, const QString &deviceAddress,
                  bool network);

} // namespace ReplyDecoder
