#include <QApplication>

#include "app/HalvornApp.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvorn"));
    QApplication::setApplicationDisplayName(QStringLiteral("Halvorn"));
    QApplication::setDesktopFileName(QStringLiteral("halvorn"));

    CHalvornApp halvorn(CHalvornApp::ProgramBaseName(QString::fromLocal8Bit(argv[0])));
    return halvorn.InitInstance();
}
