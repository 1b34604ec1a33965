#include "QtLibrary/QtTools/qttools.h"

#include <QApplication>
#include <QFont>
#include <QTextCodec>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("utf-8"));
    QFont font = application.font();
    font.setFamily(QStringLiteral("等线"));
    font.setWeight(75);
    font.setPointSize(12);
    QApplication::setFont(font);
    QtTools::instance()->applicationName = QStringLiteral("MeroviTest");
    QtTools::instance()->openEverything();
    return 0;
}
