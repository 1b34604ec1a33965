#include "ui/nomodelhint.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

NoModelHint::NoModelHint(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("noModelHint"));
    setFrameShape(QFrame::StyledPanel);
    text = new QLabel(tr("Choose the model from 'Switch model selection' or 'Analog model selection'",
                         " 请从“开关量型号选择”或“模拟量型号选择”中选择型号 "),
                      this);
    text->setObjectName(QStringLiteral("label_noModelHint"));
    text->setWordWrap(true);
    identifyButton = new QPushButton(tr("Identify module", " 识别模块 "), this);
    identifyButton->setObjectName(QStringLiteral("identifyModuleButton"));
    identifyButton->setToolTip(tr("Ask the module for its type code and choose the model it names.",
                                  " 向模块查询类型码并选择对应型号。 "));
    auto *layout = new QHBoxLayout(this);
    layout->addWidget(text, 1);
    layout->addWidget(identifyButton);
    connect(identifyButton, &QPushButton::clicked, this, &NoModelHint::identifyRequested);
    hide();
}

bool NoModelHint::wanted(bool connected, bool modelChosen)
{
    return connected && !modelChosen;
}

void NoModelHint::showFor(bool connected, bool modelChosen)
{
    setVisible(wanted(connected, modelChosen));
}
