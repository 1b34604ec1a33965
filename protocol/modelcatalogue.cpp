#include "protocol/modelcatalogue.h"

#include <QCoreApplication>

QString ModelEntry::text() const
{
    return QCoreApplication::translate("MainWindow", english, chinese);
}

namespace ModelCatalogue {

namespace {

constexpr int kNone = -1;

// A model title: the English text and the Chinese one, seen by the translation tools.
struct Title
{
    const char *english;
    const char *chinese;
};

ModelEntry switchModel(bool separator, Title title, int outputs, int inputs, int typeCode = 0)
{
    return { ModelEntry::SwitchMenu, separator, title.english, title.chinese, outputs, inputs,
             kNone, kNone, kNone, kNone, typeCode };
}

ModelEntry analogModel(bool separator, Title title, int voltageOut, int currentOut, int voltageIn,
                       int currentIn)
{
    return { ModelEntry::AnalogMenu, separator, title.english, title.chinese, kNone, kNone,
             voltageOut, currentOut, voltageIn, currentIn, 0 };
}

QVector<ModelEntry> buildCatalogue()
{
    return {
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch  4-channel outputs", " 开关量4路输出  "), 4, kNone),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch  8-channel outputs", " 开关量8路输出  "), 8, kNone),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 12-channel outputs", " 开关量12路输出 "), 12, kNone),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 16-channel outputs", " 开关量16路输出 "), 16, kNone),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 20-channel outputs", " 开关量20路输出 "), 20, kNone),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 24-channel outputs", " 开关量24路输出 "), 24, kNone),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 32-channel outputs", " 开关量32路输出 "), 32, kNone),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 64-channel outputs", " 开关量64路输出 "), 64, kNone, 220),
        switchModel(true, QT_TRANSLATE_NOOP3("MainWindow", "Switch  4-channel inputs", " 开关量4路输入  "), kNone, 4),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch  8-channel inputs", " 开关量8路输入  "), kNone, 8),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 12-channel inputs", " 开关量12路输入 "), kNone, 12),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 16-channel inputs", " 开关量16路输入 "), kNone, 16),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 20-channel inputs", " 开关量20路输入 "), kNone, 20),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 24-channel inputs", " 开关量24路输入 "), kNone, 24),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 32-channel inputs", " 开关量32路输入 "), kNone, 32),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 64-channel inputs", " 开关量64路输入 "), kNone, 64, 230),
        switchModel(true, QT_TRANSLATE_NOOP3("MainWindow", "Switch  8-channel outputs  8-channel inputs", " 开关量8路输出8路输入   "), 8, 8),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 16-channel outputs 16-channel inputs", " 开关量16路输出16路输入 "), 16, 16),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 32-channel outputs 16-channel inputs", " 开关量32路输出16路输入 "), 32, 16),
        switchModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Switch 32-channel outputs 32-channel inputs", " 开关量32路输出32路输入 "), 32, 32),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage  2-channel outputs", " 模拟量电压2 路输出 "), 2, kNone, kNone, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage  8-channel outputs", " 模拟量电压8 路输出 "), 8, kNone, kNone, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage 12-channel outputs", " 模拟量电压12路输出 "), 12, kNone, kNone, kNone),
        analogModel(true, QT_TRANSLATE_NOOP3("MainWindow", "Analog current  2-channel outputs", " 模拟量电流2 路输出 "), kNone, 2, kNone, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog current  8-channel outputs", " 模拟量电流8 路输出 "), kNone, 8, kNone, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog current 12-channel outputs", " 模拟量电流12路输出 "), kNone, 12, kNone, kNone),
        analogModel(true, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage  4-channel inputs", " 模拟量电压4 路输入 "), kNone, kNone, 4, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage  8-channel inputs", " 模拟量电压8 路输入 "), kNone, kNone, 8, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage 12-channel inputs", " 模拟量电压12路输入 "), kNone, kNone, 12, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage 16-channel inputs", " 模拟量电压16路输入 "), kNone, kNone, 16, kNone),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog voltage 32-channel inputs", " 模拟量电压32路输入 "), kNone, kNone, 32, kNone),
        analogModel(true, QT_TRANSLATE_NOOP3("MainWindow", "Analog current  4-channel inputs", " 模拟量电流4 路输入 "), kNone, kNone, kNone, 4),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog current  8-channel inputs", " 模拟量电流8 路输入 "), kNone, kNone, kNone, 8),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog current 12-channel inputs", " 模拟量电流12路输入 "), kNone, kNone, kNone, 12),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog current 16-channel inputs", " 模拟量电流16路输入 "), kNone, kNone, kNone, 16),
        analogModel(false, QT_TRANSLATE_NOOP3("MainWindow", "Analog current 32-channel inputs", " 模拟量电流32路输入 "), kNone, kNone, kNone, 32),
    };
}

} // namespace

const QVector<ModelEntry> &models()
{
    static const QVector<ModelEntry> catalogue = buildCatalogue();
    return catalogue;
}

int indexOf(const QString &englishText)
{
    // Some menu texts hold double blanks; a name typed on a command line rarely does.
    const QString wanted = englishText.simplified();
    const QVector<ModelEntry> &all = models();
    for (int i = 0; i < all.size(); ++i) {
        if (wanted == QString::fromLatin1(all.at(i).english).simplified())
            return i;
    }
    return -1;
}

int indexForTypeCode(int code)
{
    const QVector<ModelEntry> &all = models();
    for (int i = 0; i < all.size(); ++i) {
        if (code != 0 && all.at(i).typeCode == code)
            return i;
    }
    return -1;
}

} // namespace ModelCatalogue
