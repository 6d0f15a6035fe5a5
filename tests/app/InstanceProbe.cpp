// The terminal's start-up as a test program: it runs CHalvornApp under the name it was
// started by, exactly as the terminal's main does, and takes itself to one state so that
// tests can start copies of it as real processes.
//
//   halvorn_instance_probe --state logging-in|logged-in|locked [--max-seconds N]
//
// Standard output, one line each: "ready NAME" once the state is reached and "forward
// NAME" whenever a later start has brought it forward, NAME being the objectName of the
// window the user sees (loginDialog, mainWindow, lockDialog). The copy ends its run on
// its own after N seconds (default 20) or when its standard input is closed, so nothing
// is left running.

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include <unistd.h>

#include "app/HalvornApp.h"
#include "config/ClientConfig.h"
#include "server/DemoServer.h"
#include "ui/HalvornDlg.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/MessageBoxes.h"

namespace
{
enum class State
{
    LoggingIn,
    LoggedIn,
    Locked,
};

void PrintLine(const QString& what, const QWidget* window)
{
    const QByteArray line = (what + QLatin1Char(' ') + window->objectName()).toUtf8();
    std::fprintf(stdout, "%s\n", line.constData());
    std::fflush(stdout);
}

/// Calls `then` once `condition` holds, checking every few milliseconds.
void WhenTrue(QObject* context, std::function<bool()> condition, std::function<void()> then)
{
    auto* const poll = new QTimer(context); // owned by the context
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, context, [poll, condition, then] {
        if (!condition())
            return;
        poll->stop();
        poll->deleteLater();
        then();
    });
    poll->start();
}

/// Types the demo account into the login dialog and clicks 登录, as a user would.
void LogIn(CHalvornDlg& window)
{
    CLoginDlg* const login = window.LoginDialog();
    auto* const user = login->findChild<QLineEdit*>(QStringLiteral("userNameEdit"));
    auto* const password = login->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    auto* const code = login->findChild<QLineEdit*>(QStringLiteral("checkCodeEdit"));
    auto* const button = login->findChild<QPushButton*>(QStringLiteral("loginButton"));
    if (!user || !password || !code || !button)
        return;
    // A remembered account is already in its box.
    if (user->text() != QLatin1String(DemoAccounts::kMainAccount)) {
        user->clear();
        QTest::keyClicks(user, QString::fromLatin1(DemoAccounts::kMainAccount));
    }
    QTest::keyClicks(password, QString::fromLatin1(DemoAccounts::kMainPassword));
    QTest::keyClicks(code, QString::fromStdString(login->CheckCode()));
    QTest::mouseClick(button, Qt::LeftButton);
}

/// Takes the window, inside its run, to the state.
void Reach(CHalvornDlg& window, State state)
{
    if (state == State::LoggingIn) {
        PrintLine(QStringLiteral("ready"), window.WindowToBringForward());
        return;
    }
    LogIn(window);
    WhenTrue(
        &window, [&window] { return window.isVisible(); },
        [&window, state] {
            if (state == State::LoggedIn) {
                PrintLine(QStringLiteral("ready"), window.WindowToBringForward());
                return;
            }
            // 锁定 runs the lock dialog modally; it says so from inside that run.
            QTimer::singleShot(0, &window, [&window] {
                if (window.LockDialog())
                    PrintLine(QStringLiteral("ready"), window.WindowToBringForward());
            });
            if (auto* const lock = window.findChild<QPushButton*>(QStringLiteral("lockButton")))
                QTest::mouseClick(lock, Qt::LeftButton);
        });
}

/// Ends the run the way the terminal's own exits do, also from under the lock dialog.
void EndRun(CHalvornDlg& window)
{
    window.EndDialog(CHalvornDlg::kResultOk);
    if (CLockDlg* const lock = window.LockDialog())
        lock->done(QDialog::Rejected);
}

bool ParseArguments(const QStringList& arguments, State& state, int& maxSeconds)
{
    for (int i = 1; i + 1 < arguments.size(); i += 2) {
        const QString& name = arguments[i];
        const QString& value = arguments[i + 1];
        if (name == QLatin1String("--state")) {
            if (value == QLatin1String("logging-in"))
                state = State::LoggingIn;
            else if (value == QLatin1String("logged-in"))
                state = State::LoggedIn;
            else if (value == QLatin1String("locked"))
                state = State::Locked;
            else
                return false;
        } else if (name == QLatin1String("--max-seconds")) {
            bool ok = false;
            maxSeconds = value.toInt(&ok);
            if (!ok || maxSeconds <= 0)
                return false;
        } else {
            return false;
        }
    }
    return arguments.size() % 2 == 1;
}
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    CHalvornApp::SetIdentity();

    State state = State::LoggingIn;
    int maxSeconds = 20;
    if (!ParseArguments(QCoreApplication::arguments(), state, maxSeconds)) {
        std::fprintf(stderr, "usage: %s --state logging-in|logged-in|locked [--max-seconds N]\n",
                     argv[0]);
        return 64;
    }

    // A box would wait for a click nobody gives; its text goes to standard error instead.
    MessageBoxes::SetHandler([](const MessageBoxes::Request& request) {
        std::fprintf(stderr, "box: %s\n", request.text.toUtf8().constData());
        return MessageBoxes::kOk;
    });

    std::unique_ptr<DemoServer> server;
    CHalvornApp halvorn(CHalvornApp::ProgramBaseName(QString::fromLocal8Bit(argv[0])));
    // Called only in the copy that runs: a later copy never gets this far.
    halvorn.SetMainWindowObserver([&](CHalvornDlg& window) {
        QObject::connect(&window, &CHalvornDlg::BroughtForward, &window,
                         [](QWidget* shown) { PrintLine(QStringLiteral("forward"), shown); });
        if (state != State::LoggingIn) {
            DemoServerOptions options;
            options.logRequests = false;
            server = std::make_unique<DemoServer>(options);
            std::string error;
            if (!server->Start(error)) {
                std::fprintf(stderr, "demo server: %s\n", error.c_str());
                return;
            }
            g_ClientConfig.SetTradeSrvIP("127.0.0.1");
            g_ClientConfig.SetTradeSrvPort(std::to_string(server->Port()));
        }
        QTimer::singleShot(0, &window, [&window, state] { Reach(window, state); });
        QTimer::singleShot(maxSeconds * 1000, &window, [&window] { EndRun(window); });
        auto* const input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &window);
        QObject::connect(input, &QSocketNotifier::activated, &window, [&window, input] {
            char buffer[256];
            if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
                input->setEnabled(false);
                EndRun(window);
            }
        });
    });
    return halvorn.InitInstance();
}
