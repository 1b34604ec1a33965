#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// One analog output channel of the panel: its fields, buttons and register view
// inside the orange frame, and the registers last read back or written for it.
class AnalogOutputRow : public QWidget
{
    Q_OBJECT

public:
    AnalogOutputRow(int channel, const QString &unit, QWidget *parent = nullptr);

    void setButtonsEnabled(bool enabled);
    // The row has edits the module has not seen while its write button is enabled.
    bool hasPendingEdits() const;
    // The maximum field read as hex, 0 when it holds no number.
    quint16 typedMaximum() const;

    int channel = 0;

    QLabel *channelLabel = nullptr;
    QLineEdit *valueEdit = nullptr;
    QLabel *valueUnit = nullptr;
    QLabel *precisionCaption = nullptr;
    QLineEdit *precisionEdit = nullptr;
    QLabel *precisionUnit = nullptr;
    QLabel *maximumCaption = nullptr;
    QLineEdit *maximumEdit = nullptr;
    QLabel *modeCaption = nullptr;
    QComboBox *modeBox = nullptr;
    QPushButton *writeButton = nullptr;
    QPushButton *cancelButton = nullptr;
    QWidget *controls = nullptr;

    QLabel *modeFrameLabel = nullptr;
    QLabel *valueFrameLabel = nullptr;
    QLabel *maximumFrameLabel = nullptr;
    QWidget *registerView = nullptr;

    QWidget *frame = nullptr; // "widgetTotal"
    QCheckBox *viewCheckBox = nullptr;

    // A fresh frame label reads 0xFFFF, so a mode read-back before any value or
    // maximum read-back computes with both at FFFF.
    quint16 valueWord = 0xFFFF;
    quint16 maximumWord = 0xFFFF;
};
