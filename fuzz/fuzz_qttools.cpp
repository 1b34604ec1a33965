// Text as the operator types it and settings files as they might be found on disk,
// through the hex converter, the CRC helpers and the settings reader and writer.
#include "fuzz/fuzzcheck.h"
#include "QtLibrary/QtTools/qttools.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const QString text = QString::fromUtf8(input);
    bool ok = false;
    const QByteArray bytes = QtTools::hexStringToByteArray(text, &ok);
    FUZZ_CHECK(bytes.size() <= text.size() / 2);
    if (ok) {
        // Every byte came from a digit pair: written back and read again it is the same.
        QString digits = text;
        digits.remove(QLatin1Char(' '));
        const QString written = QString::fromLatin1(bytes.toHex());
        FUZZ_CHECK(bytes.size() == digits.size() / 2 && written == digits.left(2 * bytes.size()).toLower());
        FUZZ_CHECK(QtTools::hexStringToByteArray(written, &ok) == bytes && ok);
    }
    FUZZ_CHECK(QtTools::crc16Hex(text).isEmpty() || QtTools::crc16Hex(text).size() == 4);

    QMap<QString, QString> map;
    QtTools::parseConfigText(input, &map);
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        FUZZ_CHECK(!it.key().contains(QLatin1Char(':')) && !(it.key() + it.value()).contains(QLatin1Char('\n')));
    // Written and read back, every entry survives except that the file's text is
    // trimmed: blanks at the start of the first key and the end of the last value.
    QString written = QtTools::configText(map);
    QMap<QString, QString> again;
    QtTools::parseConfigText(written.toUtf8(), &again);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key() != map.lastKey() && !it.key().isEmpty() && !it.key().at(0).isSpace())
            FUZZ_CHECK(again.value(it.key()) == it.value());
    }
    // Each round can only trim, so writing and reading settles.
    for (int round = 0; QtTools::configText(again) != written; ++round) {
        FUZZ_CHECK(round <= map.size() + 1);
        written = QtTools::configText(again);
        again.clear();
        QtTools::parseConfigText(written.toUtf8(), &again);
    }
    return 0;
}
