// Text typed into the terminal, through the hex converter.
#include "fuzz/fuzzcheck.h"
#include "QtLibrary/QtTools/qttools.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    bool ok = false;
    const QByteArray bytes = QtTools::hexStringToByteArray(text, &ok);
    FUZZ_CHECK(bytes.size() <= text.size() / 2);

    if (ok) {
        // Every byte came from a digit pair: written back and read again it is the same.
        QString digits = text;
        digits.remove(QLatin1Char(' '));
        FUZZ_CHECK(bytes.size() == digits.size() / 2);
        bool again = false;
        FUZZ_CHECK(QtTools::hexStringToByteArray(QString::fromLatin1(bytes.toHex()), &again) == bytes);
        FUZZ_CHECK(again);
        FUZZ_CHECK(QString::fromLatin1(bytes.toHex()) == digits.left(bytes.size() * 2).toLower());
    }
    // The CRC helpers accept whatever the converter makes of the text.
    const QString crc = QtTools::crc16Hex(text);
    FUZZ_CHECK(crc.isEmpty() || crc.size() == 4);
    return 0;
}
