#include <QApplication>

#include "app/HalvornApp.h"
#include "util/ProcessHardening.h"

int main(int argc, char** argv)
{
    // Before anything holds a password: no core dump may carry it away.
    DisableCoreDumps();
    QApplication app(argc, argv);
    CHalvornApp::SetIdentity();

    CHalvornApp halvorn(CHalvornApp::ProgramBaseName(QString::fromLocal8Bit(argv[0])));
    return halvorn.InitInstance();
}
