#pragma once

// The main window's whole run against the in-process demo server, shared by the tests of
// the main window.

#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "server/DemoServer.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/TradeData.h"
#include "trade/TradeUi.h"
#include "ui/HalvornDlg.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/QtTradeUi.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/skin/SkinList.h"

namespace MainWindowTesting
{
/// What a run ended by the watchdog returns: the steps left it running.
constexpr int kStuck = -1;
constexpr int kWatchdogMs = 15000;
constexpr int kWaitMs = 5000;

const QString kCloseQuestion = QStringLiteral(" 行权终端退出！");
const QString kCloseCaption = QStringLiteral("Vellora股权业务自主行权终端");

/// Rows of a page's list, or -1 when the page or the list is missing.
inline int ListRows(const QWidget* page, const char* listName)
{
    if (!page)
        return -1;
    const auto* const list = page->findChild<CSkinListCtrl*>(QString::fromLatin1(listName));
    return list ? list->GetItemCount() : -1;
}

/// The main window that keeps, for every window message it handled, the rows of the
/// three lists at the moment its handler returned.
class ObservedMainWindow : public CHalvornDlg
{
public:
    struct Handled
    {
        int message;
        int curRows;
        int hisRows;
        int posRows;
    };

    const std::vector<Handled>& HandledMessages() const { return m_handled; }
    int CurRows() const { return ListRows(CurEntrustPage(), "entrustList"); }
    int HisRows() const { return ListRows(HisEntrustPage(), "hisEntrustList"); }
    int PosRows() const { return ListRows(EntrustPage(), "positionList"); }

protected:
    bool event(QEvent* event) override
    {
        const CWindowMessageEvent* const message = AsWindowMessage(event);
        if (!message)
            return CHalvornDlg::event(event);
        const int number = message->Message();
        const bool handled = CHalvornDlg::event(event);
        m_handled.push_back({number, CurRows(), HisRows(), PosRows()});
        return handled;
    }

private:
    std::vector<Handled> m_handled;
};

/// The main window's whole run against the in-process demo server, as start-up sets it
/// up: the window receives the window messages, the trading core reports through the Qt
/// user interface, and every box is answered by the recorder.
class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestSupport::ResetSessionToken();
        g_TradeData.ClearAll();
        g_TradeData.m_login = login_result{};
        m_server = TestSupport::StartDemoServer();
        ASSERT_TRUE(m_server);
        // The temporary configuration remembers no account, so the login form starts empty.
        g_ClientConfig.SetTradeSrvIP("127.0.0.1");
        g_ClientConfig.SetTradeSrvPort(std::to_string(m_server->Port()));
        SetTradeUi(&m_tradeUi);
        NewWindow();
    }

    void TearDown() override
    {
        m_window.reset();
        SetMainWindow(nullptr);
        SetTradeUi(nullptr);
        g_TradeData.ClearAll();
        g_TradeData.m_login = login_result{};
    }

    void NewWindow()
    {
        m_window.reset();
        m_window = std::make_unique<ObservedMainWindow>();
        SetMainWindow(m_window.get());
    }

    /// DoModal with `steps` acting inside its run. A watchdog ends a run the steps leave
    /// running (closing any modal dialog on top first), so a fault shows as kStuck.
    int Run(const std::function<void()>& steps)
    {
        QTimer::singleShot(0, m_window.get(), steps);
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, m_window.get(), [this] {
            for (int i = 0; i < 5; ++i) {
                auto* const modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (!modal)
                    break;
                modal->done(QDialog::Rejected);
            }
            m_window->EndDialog(kStuck);
        });
        watchdog.start(kWatchdogMs);
        return m_window->DoModal();
    }

    /// Logs in through the login dialog as a user would, then lets the messages the login
    /// posted arrive. True once the window is up at its maximised size.
    bool LogIn(const char* account = DemoAccounts::kMainAccount,
               const char* password = DemoAccounts::kMainPassword)
    {
        CLoginDlg* const login = m_window->LoginDialog();
        if (!login)
            return false;
        auto* const user = Child<QLineEdit>(*login, "userNameEdit");
        auto* const secret = Child<QLineEdit>(*login, "passwordEdit");
        auto* const code = Child<QLineEdit>(*login, "checkCodeEdit");
        auto* const button = Child<QPushButton>(*login, "loginButton");
        if (!user || !secret || !code || !button)
            return false;
        // An account remembered by an earlier login of the test is already in its box.
        if (user->text() != QLatin1String(account)) {
            user->clear();
            TypeText(user, QString::fromLatin1(account));
        }
        TypeText(secret, QString::fromLatin1(password));
        TypeText(code, QString::fromStdString(login->CheckCode()));
        QTest::mouseClick(button, Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return m_window->isVisible(); }, kWaitMs)) {
            ADD_FAILURE() << "the window did not come up; boxes: " << m_boxes.Requests().size();
            return false;
        }
        QCoreApplication::sendPostedEvents();
        // Maximised: the window with its frame takes the screen's work area.
        const QSize maximised = m_window->screen()->availableGeometry().size();
        if (!QTest::qWaitFor([&] { return m_window->frameGeometry().size() == maximised; },
                             kWaitMs)) {
            ADD_FAILURE() << "not maximised: " << m_window->frameGeometry().width() << "x"
                          << m_window->frameGeometry().height();
            return false;
        }
        return true;
    }

    QPushButton* Button(const char* name) { return Child<QPushButton>(*m_window, name); }

    /// A tab button's name and its page.
    struct TabAndPage
    {
        const char* tab;
        QWidget* page;
    };
    /// The three tabs and their pages, in the order of the tabs.
    std::vector<TabAndPage> TabsAndPages() const
    {
        return {{"entrustTabButton", m_window->EntrustPage()},
                {"curEntrustTabButton", m_window->CurEntrustPage()},
                {"hisEntrustTabButton", m_window->HisEntrustPage()}};
    }

    /// Clicks a row of a list with the mouse.
    static void ClickRow(CSkinListCtrl& list, int row)
    {
        const QRect cell = list.visualRect(list.model()->index(row, 1));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }

    /// The first row whose cell in `column` reads `text`, or -1.
    static int FindRow(const CSkinListCtrl& list, int column, const QString& text)
    {
        for (int row = 0; row < list.GetItemCount(); ++row)
            if (list.Model().Text(row, column) == text)
                return row;
        return -1;
    }

    /// Calls `open`, which runs a modal dialog, and `step` from inside that run; the step
    /// is dropped when no run starts.
    static void InsideModalRun(const std::function<void()>& open, const std::function<void()>& step)
    {
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, step);
        timer.start(0);
        open();
    }

    /// The window is the active one, so its shortcuts work.
    bool Activate()
    {
        m_window->activateWindow();
        return QTest::qWaitForWindowActive(m_window.get(), kWaitMs);
    }

    /// Types the login password into the lock dialog and presses 解锁.
    static void Unlock(CLockDlg& lock)
    {
        auto* const edit = Child<QLineEdit>(lock, "lockPasswordEdit");
        auto* const unlock = Child<QPushButton>(lock, "unlockButton");
        ASSERT_TRUE(edit && unlock);
        edit->clear();
        TypeText(edit, QString::fromLatin1(DemoAccounts::kMainPassword));
        QTest::mouseClick(unlock, Qt::LeftButton);
    }

    /// Locks with 锁定 and unlocks with the login password; `whileLocked` looks at the
    /// terminal from inside the lock dialog's run. True once unlocked.
    bool LockAndUnlock(const std::function<void(CLockDlg&)>& whileLocked = {})
    {
        bool unlocked = false;
        const auto lockButton = [this] { QTest::mouseClick(Button("lockButton"), Qt::LeftButton); };
        InsideModalRun(lockButton, [&] {
            CLockDlg* const lock = m_window->LockDialog();
            ASSERT_NE(lock, nullptr);
            if (whileLocked)
                whileLocked(*lock);
            Unlock(*lock);
            unlocked = lock->IsUnlocked();
        });
        return unlocked && m_window->LockDialog() == nullptr;
    }

    MessageRecorder m_boxes;
    ScopedTempConfig m_config;
    CQtTradeUi m_tradeUi;
    std::unique_ptr<DemoServer> m_server;
    std::unique_ptr<ObservedMainWindow> m_window;
};
} // namespace MainWindowTesting
