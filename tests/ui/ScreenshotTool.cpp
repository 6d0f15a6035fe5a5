// Shows the terminal's windows for real with the built-in skin, logged in to an
// in-process demo trade server on loopback, and saves what the screen shows of them for
// the pictures under docs/. Run under an X server (scripts/screenshots.sh starts Xvfb):
//   halvorn_ui_screenshots <output folder>                 every picture
//   halvorn_ui_screenshots <output folder> main-window-2x  only the main window, named for
//                                                           a run with QT_SCALE_FACTOR=2

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <functional>
#include <string>

#include "config/ClientConfig.h"
#include "server/DemoServer.h"
#include "trade/TradeUi.h"
#include "ui/AboutDlg.h"
#include "ui/HalvornDlg.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/QtTradeUi.h"
#include "ui/WindowEvents.h"
#include "ui/WindowPos.h"
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/skin/SkinEngine.h"
#include "ui/skin/SkinList.h"
#include "util/Clock.h"

namespace
{
bool Capture(QWidget& window, const QString& path, const std::function<void()>& settle = {})
{
    window.show();
    CenterWindowPos(&window, CenterMode::kScreen);
    window.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window, 5000))
        return false;
    if (settle)
        settle();
    QTest::qWait(300); // let the window manager and the first paints settle
    QPixmap shot = window.screen()->grabWindow(window.winId());
    if (shot.isNull())
        shot = window.grab();
    return shot.save(path, "PNG");
}

/// What the screen shows, whole: a window with the windows over it.
bool CaptureScreen(const QString& path)
{
    QTest::qWait(300);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    return !shot.isNull() && shot.save(path, "PNG");
}

bool CaptureShown(QWidget& window, const QString& path)
{
    QTest::qWait(300);
    QPixmap shot = window.screen()->grabWindow(window.winId());
    if (shot.isNull())
        shot = window.grab();
    return shot.save(path, "PNG");
}

/// Clicks the middle of a list row, as the user does.
void ClickRow(CSkinListCtrl& list, int row)
{
    const QRect rect = list.visualRect(list.model()->index(row, 1));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

/// A working day in pictures: the main window after login, the confirmation of an order
/// over the exercise page, today's orders with an order selected, the About box. With
/// mainWindowAs set, only the main window after login, under that name.
bool CaptureTradingDay(const QDir& out, const QString& mainWindowAs = {})
{
    DemoServerOptions options;
    options.logRequests = false;
    DemoServer server(options);
    std::string error;
    if (!server.Start(error)) {
        std::fprintf(stderr, "the demo server does not start: %s\n", error.c_str());
        return false;
    }
    g_ClientConfig.SetTradeSrvIP("127.0.0.1");
    g_ClientConfig.SetTradeSrvPort(std::to_string(server.Port()));

    CQtTradeUi tradeUi;
    SetTradeUi(&tradeUi);
    CHalvornDlg mainWindow;
    SetMainWindow(&mainWindow);
    bool ok = false;
    QTimer::singleShot(0, &mainWindow, [&] {
        CLoginDlg* const login = mainWindow.LoginDialog();
        ok = QTest::qWaitForWindowExposed(login, 5000);
        login->findChild<QLineEdit*>(QStringLiteral("passwordEdit"))
            ->setText(QStringLiteral("888888"));
        login->findChild<QLineEdit*>(QStringLiteral("checkCodeEdit"))
            ->setText(QString::fromStdString(login->CheckCode()));
        login->findChild<QPushButton*>(QStringLiteral("loginButton"))->click();
        QTest::qWait(800);
        ok = QTest::qWaitForWindowExposed(&mainWindow, 5000) && ok;
        // Xvfb has no window manager to carry out the maximise: give the window the work
        // area as one would.
        mainWindow.setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        QTest::qWait(300);

        CEntrustDlg* const entrust = mainWindow.EntrustPage();
        auto* const positions = entrust->findChild<CSkinListCtrl*>(QStringLiteral("positionList"));
        ok = positions && positions->GetItemCount() > 0 && ok;
        ok = ok && CaptureShown(mainWindow, out.filePath(mainWindowAs.isEmpty()
                                                             ? QStringLiteral("main-window.png")
                                                             : mainWindowAs));
        if (!mainWindowAs.isEmpty()) {
            mainWindow.EndDialog(CHalvornDlg::kResultOk);
            return;
        }

        if (positions)
            ClickRow(*positions, 0);
        QTest::keyClicks(entrust->findChild<QLineEdit*>(QStringLiteral("quantityEdit")),
                         QStringLiteral("1050"));
        entrust->findChild<QPushButton*>(QStringLiteral("entrustButton"))->click();
        ok = QTest::qWaitForWindowExposed(entrust->ConfirmDialog(), 5000) && ok;
        ok = CaptureScreen(out.filePath(QStringLiteral("entrust-confirm.png"))) && ok;
        entrust->ConfirmDialog()->hide();

        mainWindow.findChild<QPushButton*>(QStringLiteral("curEntrustTabButton"))->click();
        CCurEntrustDlg* const today = mainWindow.CurEntrustPage();
        auto* const orders = today->findChild<CSkinListCtrl*>(QStringLiteral("entrustList"));
        if (orders && orders->GetItemCount() > 1)
            ClickRow(*orders, 1);
        ok = CaptureShown(mainWindow, out.filePath(QStringLiteral("cur-entrust.png"))) && ok;

        QTimer::singleShot(500, &mainWindow, [&] {
            if (auto* const about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
                ok = Capture(*about, out.filePath(QStringLiteral("about-box.png"))) && ok;
                about->accept();
            } else {
                ok = false;
            }
        });
        mainWindow.OnAbout();
        mainWindow.EndDialog(CHalvornDlg::kResultOk);
    });
    mainWindow.DoModal();
    SetMainWindow(nullptr);
    SetTradeUi(nullptr);
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Halvorn"));
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create the output folder\n");
        return 1;
    }

    // No skin file here: the built-in copy is what the pictures show.
    dsLoadSkin("", 1);

    // A remembered demo account in a throw-away configuration, as a returning user sees it.
    QTemporaryDir config;
    QDir(config.path()).mkpath(QStringLiteral("config"));
    QFile ini(config.filePath(QStringLiteral("config/ClientConfig.ini")));
    if (ini.open(QIODevice::WriteOnly))
        ini.write("[ClientID]\nISRECORD = true\nCLIENTID = 10001234\n");
    ini.close();
    g_ClientConfig.LoadConfig(config.path().toStdString());
    Clock::SetNowForTesting(1700000000);

    if (argc > 2) {
        if (std::string(argv[2]) != "main-window-2x") {
            std::fprintf(stderr, "unknown picture: %s\n", argv[2]);
            return 2;
        }
        const bool ok = CaptureTradingDay(out, QStringLiteral("main-window-2x.png"));
        if (!ok)
            std::fprintf(stderr, "a screenshot could not be taken\n");
        return ok ? 0 : 1;
    }

    bool ok = true;
    {
        CLoginDlg login;
        auto* const password = login.findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
        if (password)
            QTest::keyClicks(password, QStringLiteral("888888"));
        ok = Capture(login, out.filePath(QStringLiteral("login-dialog.png")),
                     [password] {
                         if (password)
                             password->deselect();
                     }) &&
             ok;
    }
    {
        CLockDlg lock;
        ok = Capture(lock, out.filePath(QStringLiteral("lock-dialog.png"))) && ok;
    }
    ok = CaptureTradingDay(out) && ok;
    if (!ok)
        std::fprintf(stderr, "a screenshot could not be taken\n");
    return ok ? 0 : 1;
}
