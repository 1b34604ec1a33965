#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringView>

class QDebug;

// Hex text, number and CRC conversions that every Modbus frame passes through,
// and the process-wide key/value settings kept in the user's data directory.
class QtTools : public QObject
{
    Q_OBJECT

public:
    // Status of saveEverything(); a result below 1 is a failure.
    enum SaveStatus {
        SavedInExistingDirectory = 1,
        SavedInCreatedDirectory = 2,
        NoApplicationName = -1,
        NoDataLocation = -2,
        NoDirectoryCreated = -3,
        NothingModified = -4,
        FileNotWritten = -5
    };

    static QtTools *instance();

    // Conversions. Numbers become upper-case text; received bytes are lower case.
    // A character that is not a hex digit (or a blank where a byte begins) stops the
    // conversion: the bytes read so far are returned and *ok is set to false.
    static QByteArray hexStringToByteArray(const QString &hex, bool *ok = nullptr);
    static QString toHex(quint32 value);
    static quint16 byteArrayToUShort(const QByteArray &bytes);
    static qint16 byteArrayToShort(const QByteArray &bytes);
    static quint32 byteArrayToUInt(const QByteArray &bytes);
    static quint64 byteArrayToULongLong(const QByteArray &bytes);
    static qint64 byteArrayToLongLong(const QByteArray &bytes);

    // The one reader of hex digits: 0-9, A-F, a-f give their value, anything else -1.
    static int hexDigitValue(QChar c);
    // Whether the text is not empty and made of hex digits only.
    static bool isHexDigits(QStringView text);

    // Modbus RTU CRC-16; the first byte on the wire is the high half of the result.
    static quint16 crc16(const uchar *data, quint8 length);
    static QString crc16Hex(const QString &frame);
    // The one CRC comparison: the CRC of the frame text, in lower case, against the
    // given CRC text, compared with the given case rule.
    static bool crcMatches(const QString &frame, const QString &crc, Qt::CaseSensitivity cs);
    // Received CRC text, which is lower case: an upper-case CRC does not match.
    static bool checkCrc16(const QString &frame, const QString &crc);
    static QString appendCrc16(const QString &frame);
    // The bytes with their CRC appended as it goes on the wire.
    static QByteArray withCrc16(const QByteArray &frame);

    // The one writer of the Modbus TCP header: transaction and protocol identifier 0,
    // then the length (unit identifier and PDU, in bytes).
    static QString modbusTcpHeader(quint32 length);
    // The frame (no blanks) behind its Modbus TCP header.
    static QString toModbusTcpFrame(const QString &frame);

    // Settings.
    void setValue(const QString &key, const QString &value);
    void openEverything();
    int saveEverything();
    void openConfig(const QString &directory);
    bool saveConfig(const QString &directory);

    // The settings file as text and back; exposed for tests and fuzzing.
    static QString configText(const QMap<QString, QString> &map);
    static void parseConfigText(const QByteArray &utf8, QMap<QString, QString> *map);

    // The coloured line written for file operations: file red, function magenta,
    // line cyan, message blue. Stream the message and values into the result;
    // QtLibrary/QtTools/diagnostic.h has the macro that fills in function and line.
    static QDebug diagnostic(const char *file, const char *function, int line);

    bool modified = false;
    QString applicationName;
    QMap<QString, QString> configMap;

private:
    QtTools() = default;
    QString configPath(const QString &directory) const;
};
