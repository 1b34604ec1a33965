#include "ui/applicationfont.h"

#include <QApplication>
#include <QFont>

namespace ApplicationFont {

void install()
{
    QFont font = QApplication::font();
    font.setFamily(QStringLiteral("等线"));
    font.setWeight(75);
    font.setPointSize(12);
    QApplication::setFont(font);
}

} // namespace ApplicationFont
