#include "app/HalvornApp.h"

#include <QApplication>
#include <QFileInfo>

#include <utility>

#include "trade/TradeUi.h"
#include "ui/HalvornDlg.h"
#include "ui/QtTradeUi.h"
#include "ui/SingleInstance.h"
#include "ui/WindowEvents.h"
#include "ui/skin/SkinEngine.h"

CHalvornApp::CHalvornApp(QString programName, QString lockFolder)
    : m_programName(std::move(programName)), m_lockFolder(std::move(lockFolder))
{}

CHalvornApp::~CHalvornApp() = default;

void CHalvornApp::SetMainWindowObserver(std::function<void(CHalvornDlg&)> observer)
{
    m_observer = std::move(observer);
}

QString CHalvornApp::ProgramBaseName(const QString& programPath)
{
    return QFileInfo(programPath).completeBaseName();
}

int CHalvornApp::InitInstance()
{
    // Sockets need no start-up here. The skin's result is not examined: without a skin
    // file the built-in one is used.
    dsLoadSkin("optionSkin.pmf", 1);

    CSingleInstance instance(m_programName, m_lockFolder);
    if (!instance.Acquire()) {
        // Another copy runs: it comes forward, this one ends without a word.
        instance.NotifyRunningCopy();
        return 0;
    }

    CQtTradeUi tradeUi;
    SetTradeUi(&tradeUi);
    {
        CHalvornDlg mainWindow;
        SetMainWindow(&mainWindow);
        QObject::connect(&instance, &CSingleInstance::ActivationRequested, &mainWindow,
                         &CHalvornDlg::BringForward);
        if (m_observer)
            m_observer(mainWindow);
        mainWindow.DoModal();
        SetMainWindow(nullptr);
    }
    SetTradeUi(nullptr);
    return 0;
}

void CHalvornApp::SetIdentity()
{
    QApplication::setApplicationName(QStringLiteral("Halvorn"));
    QApplication::setDesktopFileName(QStringLiteral("halvorn"));
}
