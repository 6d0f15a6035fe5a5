// Shows the login and lock dialogs in real windows with the built-in skin and saves
// what the screen shows of them, for the pictures under docs/. Run under an X server
// (scripts/screenshots.sh starts Xvfb):  halvorn_ui_screenshots <output folder>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QWidget>

#include <cstdio>
#include <functional>

#include "config/ClientConfig.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/WindowPos.h"
#include "ui/skin/SkinEngine.h"
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
    if (!ok)
        std::fprintf(stderr, "a screenshot could not be taken\n");
    return ok ? 0 : 1;
}
