// Settings files as they might be found on disk, through the reader and writer.
#include "fuzz/fuzzcheck.h"
#include "QtLibrary/QtTools/qttools.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QMap<QString, QString> map;
    QtTools::parseConfigText(QByteArray(reinterpret_cast<const char *>(data), int(size)), &map);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        FUZZ_CHECK(!it.key().contains(QLatin1Char(':')));
        FUZZ_CHECK(!it.key().contains(QLatin1Char('\n')) && !it.value().contains(QLatin1Char('\n')));
    }

    // Written and read back, every entry survives except that the file's text is
    // trimmed: blanks at the start of the first key and the end of the last value.
    const QString text = QtTools::configText(map);
    QMap<QString, QString> again;
    QtTools::parseConfigText(text.toUtf8(), &again);
    const QString lastKey = map.isEmpty() ? QString() : map.lastKey();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key() != lastKey && !it.key().isEmpty() && !it.key().at(0).isSpace())
            FUZZ_CHECK(again.value(it.key()) == it.value());
    }

    // Each round can only trim, so writing and reading settles.
    QString previous = text;
    bool settled = false;
    for (int round = 0; round <= map.size() + 1 && !settled; ++round) {
        QMap<QString, QString> next;
        QtTools::parseConfigText(previous.toUtf8(), &next);
        const QString written = QtTools::configText(next);
        settled = written == previous;
        previous = written;
    }
    FUZZ_CHECK(settled);
    return 0;
}
