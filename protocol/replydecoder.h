#pragma once

#include <QString>
#include <QVector>

// Decodes the module's replies and decides what the request queue does with them.
namespace ReplyDecoder {

// Input states of a read reply: "1" or "0" per input, bit 0 of the first register first.
QString inputBits(const QString &reply);
// Communication time-out block: the time-out in ms, then per output " 1" (on),
// " 0" (off) or " 2" (unchanged).
QString timeoutBlock(const QString &reply);
// Network block: IP, mask, gateway, port, remote IP, remote port, mode, MAC.
QString networkBlock(const QString &reply);

// Channel states carried by a read of state registers (address, function code, byte
// count, data): 16 per register, bit 0 first. Only registers that are complete in the
// text and made of hex digits count; decoding stops at the first that is not.
QVector<int> decodeRegisterBits(const QString &reply);
// The registers of a read reply (address, function code, byte count, data), first
// first, under the same rules.
QVector<quint16> decodeRegisters(const QString &reply);

// The last known states updated by a decoded reply: channels the reply does not
// cover keep their state, and the list never gets shorter.
QVector<int> mergeStates(const QVector<int> &known, const QVector<int> &decoded);

// Input channels from the blank-separated "1"/"0" text; a missing token is off.
QVector<bool> decodeInputTokens(const QString &bits, int count);

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
    enum Rejection { NotRejected, WrongAddress, BadCrc, Unmatched };

    bool showRaw = false;  // the reply goes to the terminal
    bool accepted = false; // address, function code and CRC are right
    Rejection rejection = NotRejected;
    Signal signal = NoSignal;
    Then then = Stay;
    bool popBeforeSignal = false;
    QString text;
    int number = 0;
};

// Whether a reply can be the answer to a request frame (hex text, no CRC): the same
// function code and, for reads, the byte count the quantity asks for, for writes the
// echo of address and value or quantity. A late answer to an earlier request of
// another shape is told apart this way.
bool answers(const QString &reply, const QString &requestFrame);

// The reply (hex text, CRC last) to the head request of the given kind, for the
// given device address; network replies carry a computed CRC and are not checked.
// With the head's frame, a reply that does not answer it is not accepted.
Dispatch dispatch(const QString &reply, const QString &headKind, const QString &deviceAddress,
                  bool network, const QString &headFrame = QString());

} // namespace ReplyDecoder
