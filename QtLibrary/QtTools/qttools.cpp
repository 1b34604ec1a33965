#include "QtLibrary/QtTools/qttools.h"

#include "QtLibrary/QtTools/diagnostic.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageLogger>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace {

const char kSourceName[] = "QtLibrary/QtTools/QtTools";

// The table pair published with the Modbus serial line specification
// (CRC-16, polynomial 0xA001 reflected, initial value 0xFFFF).
static const uchar kCrcHighTable[256] = {
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40, 0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41,
    0x00, 0xC1, 0x81, 0x40, 0x01, 0xC0, 0x80, 0x41, 0x01, 0xC0, 0x80, 0x41, 0x00, 0xC1, 0x81, 0x40
};

static const uchar kCrcLowTable[256] = {
    0x00, 0xC0, 0xC1, 0x01, 0xC3, 0x03, 0x02, 0xC2, 0xC6, 0x06, 0x07, 0xC7, 0x05, 0xC5, 0xC4, 0x04,
    0xCC, 0x0C, 0x0D, 0xCD, 0x0F, 0xCF, 0xCE, 0x0E, 0x0A, 0xCA, 0xCB, 0x0B, 0xC9, 0x09, 0x08, 0xC8,
    0xD8, 0x18, 0x19, 0xD9, 0x1B, 0xDB, 0xDA, 0x1A, 0x1E, 0xDE, 0xDF, 0x1F, 0xDD, 0x1D, 0x1C, 0xDC,
    0x14, 0xD4, 0xD5, 0x15, 0xD7, 0x17, 0x16, 0xD6, 0xD2, 0x12, 0x13, 0xD3, 0x11, 0xD1, 0xD0, 0x10,
    0xF0, 0x30, 0x31, 0xF1, 0x33, 0xF3, 0xF2, 0x32, 0x36, 0xF6, 0xF7, 0x37, 0xF5, 0x35, 0x34, 0xF4,
    0x3C, 0xFC, 0xFD, 0x3D, 0xFF, 0x3F, 0x3E, 0xFE, 0xFA, 0x3A, 0x3B, 0xFB, 0x39, 0xF9, 0xF8, 0x38,
    0x28, 0xE8, 0xE9, 0x29, 0xEB, 0x2B, 0x2A, 0xEA, 0xEE, 0x2E, 0x2F, 0xEF, 0x2D, 0xED, 0xEC, 0x2C,
    0xE4, 0x24, 0x25, 0xE5, 0x27, 0xE7, 0xE6, 0x26, 0x22, 0xE2, 0xE3, 0x23, 0xE1, 0x21, 0x20, 0xE0,
    0xA0, 0x60, 0x61, 0xA1, 0x63, 0xA3, 0xA2, 0x62, 0x66, 0xA6, 0xA7, 0x67, 0xA5, 0x65, 0x64, 0xA4,
    0x6C, 0xAC, 0xAD, 0x6D, 0xAF, 0x6F, 0x6E, 0xAE, 0xAA, 0x6A, 0x6B, 0xAB, 0x69, 0xA9, 0xA8, 0x68,
    0x78, 0xB8, 0xB9, 0x79, 0xBB, 0x7B, 0x7A, 0xBA, 0xBE, 0x7E, 0x7F, 0xBF, 0x7D, 0xBD, 0xBC, 0x7C,
    0xB4, 0x74, 0x75, 0xB5, 0x77, 0xB7, 0xB6, 0x76, 0x72, 0xB2, 0xB3, 0x73, 0xB1, 0x71, 0x70, 0xB0,
    0x50, 0x90, 0x91, 0x51, 0x93, 0x53, 0x52, 0x92, 0x96, 0x56, 0x57, 0x97, 0x55, 0x95, 0x94, 0x54,
    0x9C, 0x5C, 0x5D, 0x9D, 0x5F, 0x9F, 0x9E, 0x5E, 0x5A, 0x9A, 0x9B, 0x5B, 0x99, 0x59, 0x58, 0x98,
    0x88, 0x48, 0x49, 0x89, 0x4B, 0x8B, 0x8A, 0x4A, 0x4E, 0x8E, 0x8F, 0x4F, 0x8D, 0x4D, 0x4C, 0x8C,
    0x44, 0x84, 0x85, 0x45, 0x87, 0x47, 0x46, 0x86, 0x82, 0x42, 0x43, 0x83, 0x41, 0x81, 0x80, 0x40
};

QString hex4(quint16 value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QtTools *QtTools::instance()
{
    static QtTools *tools = new QtTools;
    return tools;
}

int QtTools::hexDigitValue(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

bool QtTools::isHexDigits(QStringView text)
{
    for (const QChar c : text) {
        if (hexDigitValue(c) < 0)
            return false;
    }
    return !text.isEmpty();
}

QByteArray QtTools::hexStringToByteArray(const QString &hex, bool *ok)
{
    QByteArray bytes;
    bytes.reserve(hex.size() / 2);
    bool good = true;
    int i = 0;
    const int size = hex.size();
    while (i < size) {
        if (hex.at(i) == QLatin1Char(' ')) {
            ++i;
            continue;
        }
        const int high = hexDigitValue(hex.at(i));
        if (i + 1 >= size) {
            // An odd final character has no partner and is dropped.
            good = high >= 0;
            break;
        }
        const int low = hexDigitValue(hex.at(i + 1));
        if (high < 0 || low < 0) {
            good = false;
            break;
        }
        bytes.append(char(high << 4 | low));
        i += 2;
    }
    if (ok)
        *ok = good;
    return bytes;
}

QString QtTools::toHex(quint32 value)
{
    if (value <= 0xFFFF)
        return hex4(quint16(value));
    return hex4(quint16(value >> 16)) + hex4(quint16(value & 0xFFFF));
}

quint16 QtTools::byteArrayToUShort(const QByteArray &bytes)
{
    if (bytes.size() >= 2)
        return quint16(uchar(bytes.at(0)) << 8 | uchar(bytes.at(1)));
    if (bytes.size() == 1)
        return uchar(bytes.at(0));
    return 0;
}

qint16 QtTools::byteArrayToShort(const QByteArray &bytes)
{
    if (bytes.size() == 1)
        return uchar(bytes.at(0));
    return qint16(byteArrayToUShort(bytes));
}

quint32 QtTools::byteArrayToUInt(const QByteArray &bytes)
{
    if (bytes.size() <= 2)
        return byteArrayToUShort(bytes);
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = value << 8 | (i < bytes.size() ? uchar(bytes.at(i)) : 0u);
    return value;
}

quint64 QtTools::byteArrayToULongLong(const QByteArray &bytes)
{
    if (bytes.size() < 5)
        return byteArrayToUInt(bytes);
    quint64 value = 0;
    for (int i = 0; i < 8; ++i)
        value = value << 8 | (i < bytes.size() ? uchar(bytes.at(i)) : 0u);
    return value;
}

qint64 QtTools::byteArrayToLongLong(const QByteArray &bytes)
{
    return qint64(byteArrayToULongLong(bytes));
}

quint16 QtTools::crc16(const uchar *data, quint8 length)
{
    uchar hi = 0xFF;
    uchar lo = 0xFF;
    for (quint8 i = 0; i < length; ++i) {
        const uchar index = hi ^ data[i];
        hi = lo ^ kCrcHighTable[index];
        lo = kCrcLowTable[index];
    }
    return quint16(hi << 8 | lo);
}

QString QtTools::crc16Hex(const QString &frame)
{
    QString text = frame;
    text.remove(QLatin1Char(' '));
    if (text.isEmpty())
        return QString();
    const QByteArray bytes = hexStringToByteArray(text);
    return toHex(crc16(reinterpret_cast<const uchar *>(bytes.constData()),
                       quint8(bytes.size() % 256)));
}

bool QtTools::crcMatches(const QString &frame, const QString &crc, Qt::CaseSensitivity cs)
{
    return crc16Hex(frame).toLower().compare(crc, cs) == 0;
}

bool QtTools::checkCrc16(const QString &frame, const QString &crc)
{
    return crcMatches(frame, crc, Qt::CaseSensitive);
}

QByteArray QtTools::withCrc16(const QByteArray &frame)
{
    const quint16 crc = crc16(reinterpret_cast<const uchar *>(frame.constData()),
                              quint8(frame.size()));
    QByteArray bytes = frame;
    bytes.append(char(crc >> 8));
    bytes.append(char(crc & 0xFF));
    return bytes;
}

QString QtTools::appendCrc16(const QString &frame)
{
    return frame + crc16Hex(frame);
}

QString QtTools::modbusTcpHeader(quint32 length)
{
    return QStringLiteral("00000000") + toHex(length);
}

QString QtTools::toModbusTcpFrame(const QString &frame)
{
    return modbusTcpHeader(quint32(frame.size() / 2)) + frame;
}

void QtTools::setValue(const QString &key, const QString &value)
{
    // The file is written at exit only when a value really changed.
    const auto found = configMap.constFind(key);
    if (found != configMap.cend() && found.value() == value)
        return;
    modified = true;
    configMap.insert(key, value);
}

QString QtTools::configPath(const QString &directory) const
{
    return directory + QStringLiteral("/config") + applicationName;
}

QString QtTools::configText(const QMap<QString, QString> &map)
{
    QString text;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        text += it.key() + QLatin1Char(':') + it.value() + QLatin1Char('\n');
    return text.trimmed();
}

void QtTools::parseConfigText(const QByteArray &utf8, QMap<QString, QString> *map)
{
    const QList<QByteArray> lines = utf8.split('\n');
    for (const QByteArray &bytes : lines) {
        // A damaged line (a NUL, bytes that are not UTF-8) is dropped on its own;
        // the lines after it are still read.
        const QString line = QString::fromUtf8(bytes);
        if (bytes.contains('\0') || line.toUtf8() != bytes)
            continue;
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        // Everything after the first colon is the value, so a name may hold colons.
        map->insert(line.left(colon), line.mid(colon + 1));
    }
}

void QtTools::openEverything()
{
    if (applicationName.isEmpty())
        return;
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    if (locations.isEmpty()) {
        MEROVI_DIAGNOSTIC(kSourceName) << " 打开文件 失败=====AppDataLocations.isEmpty";
        return;
    }
    for (const QString &location : locations) {
        if (QDir(location).exists()) {
            openConfig(location);
            return;
        }
    }
    MEROVI_DIAGNOSTIC(kSourceName) << " 能运行到这里,说明打开文件,文件打不开!";
}

void QtTools::openConfig(const QString &directory)
{
    QFile file(configPath(directory));
    if (!file.open(QIODevice::ReadOnly)) {
        MEROVI_DIAGNOSTIC(kSourceName) << "打开配置 失败 !file.open(QIODevice::ReadWrite)==="
                                       << file.fileName();
        return;
    }
    parseConfigText(file.readAll(), &configMap);
    file.close();
    MEROVI_DIAGNOSTIC(kSourceName) << "打开配置  成功 config=====" << file.fileName() << configMap;
}

int QtTools::saveEverything()
{
    if (!modified)
        return NothingModified;
    if (applicationName.isEmpty())
        return NoApplicationName;
    const QStringList locations = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    if (locations.isEmpty()) {
        MEROVI_DIAGNOSTIC(kSourceName) << " 保存配置 失败=====AppDataLocations.isEmpty";
        return NoDataLocation;
    }
    for (const QString &location : locations) {
        if (QDir(location).exists())
            return saveConfig(location) ? SavedInExistingDirectory : FileNotWritten;
    }
    MEROVI_DIAGNOSTIC(kSourceName) << " 能运行到这里,说明保存失败,文件打不开!";
    for (const QString &location : locations) {
        if (QDir().mkpath(location))
            return saveConfig(location) ? SavedInCreatedDirectory : FileNotWritten;
        MEROVI_DIAGNOSTIC(kSourceName) << "创建目录 失败!" << location;
    }
    MEROVI_DIAGNOSTIC(kSourceName) << "能运行到这里,说明保存失败, 也创建不了目录!";
    return NoDirectoryCreated;
}

bool QtTools::saveConfig(const QString &directory)
{
    // Written beside the old file and renamed over it, so an interrupted save
    // never leaves a truncated settings file behind.
    QSaveFile file(configPath(directory));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        MEROVI_DIAGNOSTIC(kSourceName) << "保存配置 失败 !file.open(QIODevice::ReadWrite)==="
                                       << file.fileName();
        return false;
    }
    // Unbuffered, so a short write (disk full, file size limit) is seen here:
    // a buffered flush would let the truncated file be committed.
    const QByteArray bytes = configText(configMap).toUtf8();
    if (file.write(bytes) != bytes.size())
        file.cancelWriting();
    if (!file.commit()) {
        MEROVI_DIAGNOSTIC(kSourceName) << "保存配置 失败 !file.commit()===" << file.fileName()
                                       << file.errorString();
        return false;
    }
    MEROVI_DIAGNOSTIC(kSourceName) << "保存配置  成功 config=====" << file.fileName();
    return true;
}

QDebug QtTools::diagnostic(const char *file, const char *function, int line)
{
    const QByteArray header = QByteArray("\033[31m") + file + "->\033[1m\033[35m[" + function
            + "]\033[36m[" + QByteArray::number(line) + "]\033[0m";
    QDebug debug = QMessageLogger(file, line, function, "default").debug();
    debug << header.constData() << "\033[34m";
    return debug;
}
