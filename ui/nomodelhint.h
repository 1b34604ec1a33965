#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

// Stands in the panel area while the tool is connected and no model is chosen: says where
// to choose one and offers to ask the module what it is.
class NoModelHint : public QFrame
{
    Q_OBJECT

public:
    explicit NoModelHint(QWidget *parent = nullptr);

    // Whether the hint belongs on screen: a link to talk over, and nothing to show on it.
    static bool wanted(bool connected, bool modelChosen);
    // Shows or hides the hint for the window's state of now.
    void showFor(bool connected, bool modelChosen);

signals:
    // The operator pressed "Identify module".
    void identifyRequested();

private:
    QLabel *text = nullptr;
    QPushButton *identifyButton = nullptr;
};
