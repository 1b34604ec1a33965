#pragma once

#include <QtGlobal>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The widgets of one analog output channel and the registers last read back or
// written for it. Lives as long as its cell widget.
struct AnalogOutputRow
{
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
    QWidget *cell = nullptr;  // what the grid holds

    // A fresh frame label reads 0xFFFF, so a mode read-back before any value or
    // maximum read-back computes with both at FFFF.
    quint16 valueWord = 0xFFFF;
    quint16 maximumWord = 0xFFFF;
};
