#pragma once

#include <QString>
#include <QVector>

// One module model of the catalogue: its menu entry and its six channel counts
// (-1 for a kind the model lacks).
struct ModelEntry
{
    enum Menu { SwitchMenu, AnalogMenu };

    Menu menu;
    bool separatorBefore;
    const char *english;
    const char *chinese;
    int outputCount;
    int inputCount;
    int voltageOutputCount;
    int currentOutputCount;
    int voltageInputCount;
    int currentInputCount;
    int typeCode; // reported by the module's identification reply; 0 when none selects it

    // The menu text in force (English source, Chinese disambiguation, context MainWindow).
    QString text() const;
};

// The 36 models in menu order.
namespace ModelCatalogue {

const QVector<ModelEntry> &models();
// Index of the model whose English menu text is given (runs of blanks count as one), or -1.
int indexOf(const QString &englishText);
// Index of the model a module type code selects, or -1.
int indexForTypeCode(int code);

} // namespace ModelCatalogue
