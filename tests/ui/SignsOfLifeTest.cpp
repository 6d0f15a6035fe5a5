// Around the main window's described behaviour: the wait cursor and the status line, the
// idle lock, the keyboard shortcuts, the Tab order and the accessible names.

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "UiTestSupport.h"
#include "net/FunctionNumbers.h"
#include "tests/support/ClientTarget.h"
#include "ui/AboutDlg.h"
#include "ui/Accessibility.h"
#include "ui/ExchangeActivity.h"
#include "ui/IdleWatcher.h"
#include "ui/pages/ConfirmDlg.h"
#include "util/Clock.h"

namespace
{
using namespace MainWindowTesting;
using namespace std::chrono_literals;

/// "Now" fixed for the test, the system clock again afterwards.
class ScopedNow
{
public:
    explicit ScopedNow(std::time_t now) { Set(now); }
    ~ScopedNow() { Clock::SetNowForTesting(std::nullopt); }
    ScopedNow(const ScopedNow&) = delete;
    ScopedNow& operator=(const ScopedNow&) = delete;
    void Set(std::time_t now) { Clock::SetNowForTesting(now); }
};

/// The local time of day as the status line shows it.
std::string TimeOfDay(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

/// Answers every box with OK and notes, with its text, whether a cursor of the
/// application's own was showing when it came up.
class BoxesAndCursor
{
public:
    struct Box
    {
        QString text;
        bool overrideCursor;
    };
    BoxesAndCursor()
    {
        m_previous = MessageBoxes::SetHandler([this](const MessageBoxes::Request& request) {
            m_boxes.push_back({request.text, QApplication::overrideCursor() != nullptr});
            return MessageBoxes::kOk;
        });
    }
    ~BoxesAndCursor() { MessageBoxes::SetHandler(m_previous); }
    BoxesAndCursor(const BoxesAndCursor&) = delete;
    BoxesAndCursor& operator=(const BoxesAndCursor&) = delete;
    const std::vector<Box>& Boxes() const { return m_boxes; }
    void Clear() { m_boxes.clear(); }

private:
    MessageBoxes::Handler m_previous;
    std::vector<Box> m_boxes;
};

/// Input as the user gives it: a mouse move and a key that types nothing.
void SomeInput(QWidget& target)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), target.mapToGlobal(QPointF(5, 5)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &move);
    QTest::keyClick(&target, Qt::Key_Shift);
}

class SignsOfLifeTest : public MainWindowTest
{
protected:
    QLabel* StatusLabel() { return Child<QLabel>(*m_window, "statusLabel"); }

    /// The status line, whole, as the label offers it.
    QString Status()
    {
        QLabel* const label = StatusLabel();
        EXPECT_EQ(label->toolTip(), m_window->StatusText());
        return m_window->StatusText();
    }

    QString Server() const
    {
        return QStringLiteral("服务器 127.0.0.1:") + QString::number(m_server->Port());
    }

    /// From now on, once the terminal is locked (whatever locked it), runs `whileLocked`
    /// inside the lock dialog's run and unlocks with the login password.
    void UnlockWhenLocked(std::function<void(CLockDlg&)> whileLocked = {})
    {
        m_unlocked = false;
        m_lockPoller.stop();
        m_lockPoller.disconnect();
        m_lockPoller.setInterval(20);
        QObject::connect(&m_lockPoller, &QTimer::timeout, m_window.get(),
                         [this, whileLocked = std::move(whileLocked)] {
                             CLockDlg* const lock = m_window->LockDialog();
                             if (!lock)
                                 return;
                             m_lockPoller.stop();
                             if (whileLocked)
                                 whileLocked(*lock);
                             Unlock(*lock);
                             m_unlocked = lock->IsUnlocked();
                         });
        m_lockPoller.start();
    }

    /// Waits, boundedly, until UnlockWhenLocked has unlocked the terminal again.
    bool WaitUntilUnlocked(int ms = kWaitMs)
    {
        const bool unlocked =
            QTest::qWaitFor([this] { return m_unlocked && !m_window->LockDialog(); }, ms);
        m_lockPoller.stop();
        return unlocked;
    }

    QTimer m_lockPoller;
    bool m_unlocked = false;
};

TEST(IdleLockConfigurationTest, MinutesFromTheIniWithDefaultsForWhatIsNotAWholeNumber)
{
    const struct
    {
        const char* ini;
        int minutes;
    } cases[] = {
        {"", 15},
        {"[Lock]\n", 15},
        {"[Lock]\nIDLE_MINUTES = 5\n", 5},
        {"[Lock]\nIDLE_MINUTES = 0\n", 0},
        {"[Lock]\nIDLE_MINUTES = 007\n", 7},
        {"[Lock]\nIDLE_MINUTES = 1440\n", 1440},
        {"[Lock]\nIDLE_MINUTES = 1441\n", 1440},
        {"[Lock]\nIDLE_MINUTES = 99999999999999999999\n", 1440},
        {"[Lock]\nIDLE_MINUTES = -5\n", 15},
        {"[Lock]\nIDLE_MINUTES = 2.5\n", 15},
        {"[Lock]\nIDLE_MINUTES = ten\n", 15},
        {"[Lock]\nIDLE_MINUTES = 10 min\n", 15},
        {"[Lock]\nIDLE_MINUTES =\n", 15},
        {"[lock]\nidle_minutes = 3\n", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        const ScopedTempConfig config(std::string("[TradeSrv]\nIP = 127.0.0.1\n") + c.ini);
        EXPECT_EQ(g_ClientConfig.GetIdleLockMinutes(), c.minutes);
    }
}

TEST(AccessibilityTest, SpokenLabelsDropMnemonicsAndTheSpacingOfChineseLabels)
{
    const struct
    {
        const char* label;
        const char* spoken;
    } cases[] = {
        {"刷 新", "刷新"},  {"撤 单", "撤单"},
        {"登 录", "登录"},  {"关于 Halvorn(&A)...", "关于 Halvorn(A)..."},
        {"R&&D", "R&D"},    {"委托行权", "委托行权"},
        {" 锁定 ", "锁定"}, {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Accessibility::SpokenLabel(QString::fromUtf8(c.label)),
                  QString::fromUtf8(c.spoken));
    }
}

// The watch restarts with every input and reports only a full interval without any.
TEST(IdleWatcherTest, InputRestartsTheIntervalAndZeroTurnsItOff)
{
    // Not shown: the window system's own events on showing a window are no user input.
    QWidget target;
    target.resize(100, 100);
    CIdleWatcher watcher;
    int idle = 0;
    QObject::connect(&watcher, &CIdleWatcher::Idle, [&] { ++idle; });

    watcher.SetInterval(0ms);
    watcher.Start();
    EXPECT_FALSE(watcher.IsWatching()) << "0 turns the watch off";

    watcher.SetInterval(60s);
    EXPECT_TRUE(watcher.IsWatching());
    QTest::qWait(300);
    const int before = watcher.RemainingMs();
    EXPECT_LE(before, 60000 - 250);
    SomeInput(target);
    EXPECT_GT(watcher.RemainingMs(), 60000 - 100) << "input restarts the interval";

    // Events that are not input leave it running down.
    QTest::qWait(300);
    const int beforePaint = watcher.RemainingMs();
    QEvent paint(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&target, &paint);
    EXPECT_LE(watcher.RemainingMs(), beforePaint);

    watcher.SetInterval(100ms);
    EXPECT_TRUE(QTest::qWaitFor([&] { return idle >= 2; }, 5000)) << "again after each interval";
    watcher.Stop();
    EXPECT_FALSE(watcher.IsWatching());
    EXPECT_EQ(watcher.RemainingMs(), -1);
}

// Every way a request can fail shows in the status line in words, while the described
// box keeps its text (with nothing after the prefix where the server said nothing). The
// wait cursor shows during each request and is gone before any box.
TEST_F(SignsOfLifeTest, StatusLineShowsTheServerTheLastRefreshAndWhyARequestFailed)
{
    const std::time_t loginTime = std::time(nullptr);
    ScopedNow now(loginTime);
    BoxesAndCursor boxes;
    std::vector<bool> cursorWhileSending;
    const QString boxPrefix = QStringLiteral("查询委托列表失败,错误原因:");
    const QString failed = QStringLiteral("查询当日委托失败：");

    const int result = Run([&] {
        QObject::connect(m_window->Activity(), &CExchangeActivity::ExchangeStarted, m_window.get(),
                         [&](int32_t) {
                             const QCursor* const cursor = QApplication::overrideCursor();
                             cursorWhileSending.push_back(cursor &&
                                                          cursor->shape() == Qt::WaitCursor);
                         });
        ASSERT_TRUE(LogIn());
        EXPECT_EQ(Status(), Server() + QStringLiteral(" · 最近刷新 ") +
                                QString::fromStdString(TimeOfDay(loginTime)));
        // Left of the tabs, on their row.
        QLabel* const label = StatusLabel();
        const QRect tabs = Button("entrustTabButton")->geometry();
        EXPECT_LT(label->geometry().right(), tabs.left());
        EXPECT_EQ(label->geometry().top(), tabs.top());
        EXPECT_EQ(label->geometry().bottom(), tabs.bottom());
        EXPECT_EQ(label->accessibleName(), QStringLiteral("连接状态"));
        EXPECT_TRUE(boxes.Boxes().empty());
        // Login and the five queries (positions once per shareholder account).
        EXPECT_GE(cursorWhileSending.size(), 6u);
        EXPECT_EQ(std::count(cursorWhileSending.begin(), cursorWhileSending.end(), false), 0);

        QTest::mouseClick(Button("curEntrustTabButton"), Qt::LeftButton);
        QPushButton* const refresh =
            Child<QPushButton>(*m_window->CurEntrustPage(), "refreshEntrustButton");
        const std::string port = std::to_string(m_server->Port());
        const uint16_t unused = TestSupport::UnusedLoopbackPort();

        const struct
        {
            const char* what;
            FaultMode mode;
            bool refused;
            QString reason;
            QString boxReason;
        } cases[] = {
            {"refused connection", FaultMode::None, true,
             QStringLiteral("连接被拒绝，服务器没有运行，或地址、端口不对"), QString()},
            {"closed at once", FaultMode::CloseAtOnce, false,
             QStringLiteral("服务器没有应答就关闭了连接"), QString()},
            {"garbage", FaultMode::Garbage, false, QStringLiteral("服务器的应答无法读取"),
             QString()},
            {"no token", FaultMode::NoToken, false, QStringLiteral("服务器的应答缺少会话令牌"),
             QString()},
            {"malformed payload", FaultMode::MalformedBuff, false,
             QStringLiteral("服务器的应答内容无法读取"), QString()},
            {"never answers", FaultMode::NeverAnswer, false, QStringLiteral("等待服务器应答超时"),
             QString()},
            {"refused by the server", FaultMode::Refuse, false,
             QStringLiteral("服务器拒绝：柜台暂停服务"), QStringLiteral("柜台暂停服务")},
        };
        std::time_t refreshTime = loginTime;
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            boxes.Clear();
            cursorWhileSending.clear();
            FaultOptions fault;
            fault.mode = c.mode;
            fault.funId = kFunQryEntrust;
            fault.refuseText = "柜台暂停服务";
            m_server->SetFault(fault);
            if (c.refused)
                g_ClientConfig.SetTradeSrvPort(std::to_string(unused));
            std::optional<TestSupport::ScopedTransportTimeouts> timeouts;
            if (c.mode == FaultMode::NeverAnswer)
                timeouts.emplace(TransportTimeouts{1000ms, 1500ms});

            QTest::mouseClick(refresh, Qt::LeftButton);
            const QString server =
                c.refused ? QStringLiteral("服务器 127.0.0.1:") + QString::number(unused)
                          : Server();
            EXPECT_EQ(Status(), server + QStringLiteral(" · 最近刷新 ") +
                                    QString::fromStdString(TimeOfDay(refreshTime)) +
                                    QStringLiteral(" · ") + failed + c.reason);
            ASSERT_EQ(boxes.Boxes().size(), 1u);
            EXPECT_EQ(boxes.Boxes()[0].text, boxPrefix + c.boxReason);
            EXPECT_FALSE(boxes.Boxes()[0].overrideCursor) << "the wait cursor is gone first";
            EXPECT_EQ(cursorWhileSending, std::vector<bool>{true});
            EXPECT_EQ(QApplication::overrideCursor(), nullptr);
            EXPECT_FALSE(m_window->Activity()->IsBusy());

            // The next request that goes through clears the reason and shows its time.
            timeouts.reset();
            m_server->SetFault(FaultOptions{});
            g_ClientConfig.SetTradeSrvPort(port);
            refreshTime += 61;
            now.Set(refreshTime);
            boxes.Clear();
            QTest::mouseClick(refresh, Qt::LeftButton);
            EXPECT_TRUE(boxes.Boxes().empty());
            EXPECT_EQ(Status(), Server() + QStringLiteral(" · 最近刷新 ") +
                                    QString::fromStdString(TimeOfDay(refreshTime)));
        }
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A narrow window shows the line shortened, never cut off; the whole text stays at hand.
TEST_F(SignsOfLifeTest, ALongStatusLineIsElidedToItsPlace)
{
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        m_window->showNormal();
        m_window->resize(640, 400);
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->width() == 640; }, kWaitMs));
        QLabel* const label = StatusLabel();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
        EXPECT_TRUE(m_window->StatusText().startsWith(Server()));
        EXPECT_EQ(label->toolTip(), m_window->StatusText());
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

TEST_F(SignsOfLifeTest, IdleTimeFromTheConfigurationAndZeroTurnsTheLockOff)
{
    for (const char* const minutes : {"", "7", "0"}) {
        SCOPED_TRACE(minutes);
        NewWindow();
        TestSupport::ResetSessionToken();
        std::string ini =
            "[TradeSrv]\nIP = 127.0.0.1\nPORT = " + std::to_string(m_server->Port()) + "\n";
        if (*minutes)
            ini += std::string("[Lock]\nIDLE_MINUTES = ") + minutes + "\n";
        const ScopedTempConfig config(ini);
        std::chrono::milliseconds interval{-1};
        const int result = Run([&] {
            ASSERT_TRUE(LogIn());
            interval = m_window->IdleLockInterval();
            m_window->reject();
        });
        EXPECT_EQ(result, CHalvornDlg::kResultCancel);
        const std::chrono::minutes expected{*minutes ? std::atoi(minutes) : 15};
        EXPECT_EQ(interval, expected);
    }
}

// Idle for the interval: locked as 锁定 locks (an order waiting in its confirmation goes
// out of sight too); idle again while locked: nothing more.
TEST_F(SignsOfLifeTest, IdleLocksOnceAndIdleWhileLockedDoesNothing)
{
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        CEntrustDlg& entrust = *m_window->EntrustPage();
        auto* const positions = Child<CSkinListCtrl>(entrust, "positionList");
        ASSERT_TRUE(positions && positions->GetItemCount() > 0);
        ClickRow(*positions, 0);
        TypeText(Child<QLineEdit>(entrust, "quantityEdit"), QStringLiteral("100"));
        QTest::mouseClick(Child<QPushButton>(entrust, "entrustButton"), Qt::LeftButton);
        CConfirmDlg* const confirm = entrust.ConfirmDialog();
        ASSERT_TRUE(confirm->isVisible());

        const QSignalSpy locking(m_window.get(), &CHalvornDlg::Locking);
        bool hidden = false;
        int locksWhileLocked = -1;
        int lockDialogs = 0;
        UnlockWhenLocked([&](CLockDlg& lock) {
            hidden = !m_window->isVisible() && !confirm->isVisible() && lock.isVisible();
            // Several idle periods pass while locked.
            QTest::qWait(1000);
            locksWhileLocked = locking.count();
            for (QWidget* const window : QApplication::topLevelWidgets())
                lockDialogs += qobject_cast<CLockDlg*>(window) && window->isVisible() ? 1 : 0;
        });
        m_window->SetIdleLockInterval(200ms);
        ASSERT_TRUE(WaitUntilUnlocked(10000));
        EXPECT_TRUE(hidden);
        EXPECT_EQ(locksWhileLocked, 1);
        EXPECT_EQ(lockDialogs, 1);
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_TRUE(confirm->isVisible()) << "the order still waits";
        QTest::mouseClick(Child<QPushButton>(*confirm, "cancelConfirmButton"), Qt::LeftButton);

        // Locked by 锁定 instead: the idle periods while locked do nothing either.
        m_window->SetIdleLockInterval(60s);
        const QSignalSpy buttonLocking(m_window.get(), &CHalvornDlg::Locking);
        int whileLocked = -1;
        UnlockWhenLocked([&](CLockDlg&) {
            m_window->SetIdleLockInterval(100ms);
            QTest::qWait(600);
            whileLocked = buttonLocking.count();
            m_window->SetIdleLockInterval(60s);
        });
        QTest::mouseClick(Button("lockButton"), Qt::LeftButton);
        EXPECT_TRUE(WaitUntilUnlocked());
        EXPECT_EQ(whileLocked, 1);
        EXPECT_TRUE(m_boxes.Requests().empty()) << "nothing sent, nothing shown";
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

// Input that keeps coming keeps the terminal open; once it stops, the lock follows, also
// while About is open: About closes, and after unlocking the window is as it was.
TEST_F(SignsOfLifeTest, InputKeepsTheTerminalOpenAndIdleLocksOverAbout)
{
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        const QSignalSpy locking(m_window.get(), &CHalvornDlg::Locking);
        QWidget* const target = Child<QLineEdit>(*m_window->EntrustPage(), "quantityEdit");
        // Input every 20 ms for about three intervals of 1 s.
        m_window->SetIdleLockInterval(1000ms);
        for (int i = 0; i < 150; ++i) {
            SomeInput(*target);
            QTest::qWait(20);
        }
        EXPECT_EQ(locking.count(), 0);
        EXPECT_EQ(m_window->LockDialog(), nullptr);

        // About is open when the idle time runs out: it closes and the terminal locks.
        bool aboutShownWhileLocked = true;
        UnlockWhenLocked([&](CLockDlg&) {
            aboutShownWhileLocked = false;
            for (QWidget* const window : QApplication::topLevelWidgets()) {
                if (qobject_cast<CAboutDlg*>(window) && window->isVisible())
                    aboutShownWhileLocked = true;
            }
        });
        InsideModalRun([this] { m_window->OnAbout(); },
                       [&] { m_window->SetIdleLockInterval(300ms); });
        EXPECT_TRUE(WaitUntilUnlocked(10000));
        EXPECT_EQ(locking.count(), 1);
        EXPECT_FALSE(aboutShownWhileLocked);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "About has closed";
        EXPECT_TRUE(m_window->isVisible());
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

TEST_F(SignsOfLifeTest, IdleBeforeLoginDoesNotLock)
{
    const int result = Run([&] {
        const QSignalSpy locking(m_window.get(), &CHalvornDlg::Locking);
        m_window->SetIdleLockInterval(50ms);
        QTest::qWait(400);
        EXPECT_EQ(locking.count(), 0);
        EXPECT_EQ(m_window->LockDialog(), nullptr);
        m_window->LoginDialog()->close();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultOk);
}

// Ctrl+1, Ctrl+2, Ctrl+3 are the tabs; F5 is the visible page's 刷 新 (the history has
// none); Ctrl+L is 锁定. They work from anywhere in the window, pages included.
TEST_F(SignsOfLifeTest, ShortcutsSwitchTabsRefreshTheVisiblePageAndLock)
{
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        ASSERT_TRUE(Activate());
        QWidget* const pages[] = {m_window->EntrustPage(), m_window->CurEntrustPage(),
                                  m_window->HisEntrustPage()};
        const char* const tabs[] = {"entrustTabButton", "curEntrustTabButton",
                                    "hisEntrustTabButton"};
        const Qt::Key keys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3};
        // Requests each page's F5 sends: positions once per shareholder account.
        const std::vector<int32_t> refreshes[] = {
            std::vector<int32_t>(g_TradeData.m_stockAccounts.size(), kFunQryPosCode),
            {kFunQryEntrust},
            {},
        };
        ASSERT_FALSE(refreshes[0].empty());
        QSignalSpy sent(m_window->Activity(), &CExchangeActivity::ExchangeStarted);

        for (const int page : {1, 2, 0, 2, 1, 0}) {
            SCOPED_TRACE(tabs[page]);
            QWidget* const focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            QTest::keyClick(focus, keys[page], Qt::ControlModifier);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(pages[i]->isVisible(), i == page);
                EXPECT_EQ(Button(tabs[i])->isChecked(), i == page);
            }
            sent.clear();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F5);
            std::vector<int32_t> funIds;
            for (const QList<QVariant>& call : sent)
                funIds.push_back(call.at(0).value<int32_t>());
            EXPECT_EQ(funIds, refreshes[page]);
        }
        EXPECT_TRUE(m_boxes.Requests().empty());

        // From inside a page too.
        QWidget* const quantity = Child<QLineEdit>(*m_window->EntrustPage(), "quantityEdit");
        quantity->setFocus();
        QTest::keyClick(quantity, Qt::Key_2, Qt::ControlModifier);
        EXPECT_TRUE(m_window->CurEntrustPage()->isVisible());

        const QSignalSpy locking(m_window.get(), &CHalvornDlg::Locking);
        bool locked = false;
        UnlockWhenLocked([&](CLockDlg& lock) { locked = lock.isVisible(); });
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
        EXPECT_TRUE(WaitUntilUnlocked());
        EXPECT_TRUE(locked);
        EXPECT_EQ(locking.count(), 1);
        EXPECT_TRUE(m_window->isVisible());
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

/// The controls Tab visits, in order, from `start` until the focus comes back to it.
std::vector<std::string> TabChain(QWidget* start, int limit = 40)
{
    std::vector<std::string> names;
    start->setFocus(Qt::TabFocusReason);
    QWidget* focus = QApplication::focusWidget();
    for (int i = 0; i < limit && focus; ++i) {
        QTest::keyClick(focus, Qt::Key_Tab);
        focus = QApplication::focusWidget();
        if (!focus || focus == start)
            break;
        names.push_back(focus->objectName().toStdString());
    }
    return names;
}

/// Whether a widget is a part of a composite control below root (the line edit and the
/// drop-down of a combo box, the corner button of a list): the control speaks for it.
bool IsPartOfAControl(const QWidget& root, const QWidget& widget)
{
    for (const QWidget* parent = widget.parentWidget(); parent && parent != &root;
         parent = parent->parentWidget()) {
        if (qobject_cast<const QComboBox*>(parent) ||
            qobject_cast<const QAbstractItemView*>(parent))
            return true;
    }
    return false;
}

/// Controls below root that the keyboard reaches or that can be pressed, without a name
/// for a screen reader.
std::vector<std::string> Unnamed(QWidget& root)
{
    std::vector<std::string> unnamed;
    for (QWidget* const widget : root.findChildren<QWidget*>()) {
        if (IsPartOfAControl(root, *widget))
            continue;
        const bool control =
            qobject_cast<QAbstractButton*>(widget) || (widget->focusPolicy() & Qt::TabFocus) != 0;
        if (control && widget->accessibleName().isEmpty())
            unnamed.push_back(widget->objectName().toStdString() + '/' +
                              widget->metaObject()->className());
    }
    return unnamed;
}

TEST_F(SignsOfLifeTest, TabWalksEachPageInReadingOrderAndEveryControlHasAName)
{
    std::vector<std::string> loginUnnamed;
    const int result = Run([&] {
        loginUnnamed = Unnamed(*m_window->LoginDialog());
        EXPECT_EQ(m_window->LoginDialog()
                      ->findChild<QLineEdit*>(QStringLiteral("userNameEdit"))
                      ->accessibleName(),
                  QStringLiteral("资金账号"));
        ASSERT_TRUE(LogIn());
        ASSERT_TRUE(Activate());

        // Each page in reading order, then the header: the tabs are one stop (the checked
        // one; the arrow keys move among them, as among radio buttons), then 锁定.
        const auto then = [](std::vector<std::string> names, const char* tab) {
            names.insert(names.end(), {tab, "lockButton"});
            return names;
        };
        const struct
        {
            const char* tab;
            QWidget* page;
            const char* first;
            std::vector<std::string> chain;
        } pages[] = {
            {"entrustTabButton", m_window->EntrustPage(), "accountComboBox",
             then({"codeEdit", "quantityEdit", "entrustButton", "positionList",
                   "refreshPositionButton", "previousPageButton", "nextPageButton"},
                  "entrustTabButton")},
            {"curEntrustTabButton", m_window->CurEntrustPage(), "entrustList",
             then({"cancelEntrustButton", "refreshEntrustButton", "previousPageButton",
                   "nextPageButton"},
                  "curEntrustTabButton")},
            {"hisEntrustTabButton", m_window->HisEntrustPage(), "hisEntrustList",
             then({"previousPageButton", "nextPageButton"}, "hisEntrustTabButton")},
        };
        for (const auto& page : pages) {
            SCOPED_TRACE(page.first);
            QTest::mouseClick(Button(page.tab), Qt::LeftButton);
            QWidget* const first = Child<QWidget>(*page.page, page.first);
            ASSERT_NE(first, nullptr);
            const std::vector<std::string> chain = TabChain(first);
            EXPECT_EQ(chain, page.chain);
        }

        EXPECT_EQ(Unnamed(*m_window), std::vector<std::string>{});
        const struct
        {
            QWidget* root;
            const char* name;
            const char* spoken;
        } names[] = {
            {m_window.get(), "statusLabel", "连接状态"},
            {m_window.get(), "entrustTabButton", "委托行权"},
            {m_window.get(), "lockButton", "锁定"},
            {m_window->EntrustPage(), "quantityEdit", "行权数量"},
            {m_window->EntrustPage(), "refreshPositionButton", "刷新"},
            {m_window->EntrustPage(), "entrustButton", "委托行权"},
            {m_window->CurEntrustPage(), "cancelEntrustButton", "撤单"},
            {m_window->CurEntrustPage(), "nextPageButton", "下一页"},
            {m_window->EntrustPage()->ConfirmDialog(), "confirmButton", "确认"},
        };
        for (const auto& entry : names) {
            SCOPED_TRACE(entry.name);
            QWidget* const widget = Child<QWidget>(*entry.root, entry.name);
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(widget->accessibleName(), QString::fromUtf8(entry.spoken));
        }

        std::vector<std::string> lockUnnamed{"not looked at"};
        QString lockPasswordName;
        UnlockWhenLocked([&](CLockDlg& lock) {
            lockUnnamed = Unnamed(lock);
            lockPasswordName = Child<QLineEdit>(lock, "lockPasswordEdit")->accessibleName();
        });
        QTest::mouseClick(Button("lockButton"), Qt::LeftButton);
        EXPECT_TRUE(WaitUntilUnlocked());
        EXPECT_EQ(lockUnnamed, std::vector<std::string>{});
        EXPECT_EQ(lockPasswordName, QStringLiteral("登录密码"));
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
    EXPECT_EQ(loginUnnamed, std::vector<std::string>{});
}
} // namespace

// Without the mouse: the tabs switch pages through the accessibility interface's Toggle as
// by a click; arrows and Space pick a position (the form fills, the keyboard goes on to
// 行权数量) and an order of today (撤 单 then cancels that one); the confirmation's lines
// read whole, caption and value.
TEST_F(SignsOfLifeTest, TabsByAccessibleToggleRowsBySpaceAndTheConfirmationReadWhole)
{
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        ASSERT_TRUE(Activate());
        // Away from the exercise page and back to it.
        const std::vector<TabAndPage> tabs = TabsAndPages();
        for (const std::size_t i : {1u, 2u, 0u}) {
            const TabAndPage& t = tabs[i];
            SCOPED_TRACE(t.tab);
            QAccessibleInterface* const tab = QAccessible::queryAccessibleInterface(Button(t.tab));
            ASSERT_TRUE(tab && tab->actionInterface());
            tab->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
            EXPECT_TRUE(Button(t.tab)->isChecked());
            for (const auto& other : tabs)
                EXPECT_EQ(other.page->isVisible(), other.page == t.page) << other.tab;
        }

        // A position by arrows and Space.
        CEntrustDlg& entrust = *m_window->EntrustPage();
        auto* const positions = Child<CSkinListCtrl>(entrust, "positionList");
        auto* const quantity = Child<QLineEdit>(entrust, "quantityEdit");
        ASSERT_TRUE(positions && quantity);
        positions->setFocus(Qt::TabFocusReason);
        QTest::keyClick(positions, Qt::Key_Down);
        QTest::keyClick(positions, Qt::Key_Down);
        const int row = positions->currentIndex().row();
        ASSERT_GE(row, 0);
        QTest::keyClick(positions, Qt::Key_Space);
        const qry_pos_code_result& position =
            g_TradeData.m_positions[static_cast<std::size_t>(row)];
        EXPECT_EQ(Child<QLineEdit>(entrust, "codeEdit")->text(),
                  QString::fromStdString(position.sopt_code));
        EXPECT_EQ(QApplication::focusWidget(), quantity);

        // The confirmation's lines, as a screen reader reads them.
        TypeText(quantity, QStringLiteral("100"));
        QTest::keyClick(quantity, Qt::Key_Return);
        CConfirmDlg* const confirm = entrust.ConfirmDialog();
        ASSERT_TRUE(confirm && confirm->isVisible());
        for (const char* name : {"estimateLabel", "fundsLabel", "warningLabel"}) {
            SCOPED_TRACE(name);
            auto* const label = Child<QLabel>(*confirm, name);
            QAccessibleInterface* const spoken = QAccessible::queryAccessibleInterface(label);
            ASSERT_NE(spoken, nullptr);
            EXPECT_FALSE(label->text().isEmpty());
            EXPECT_EQ(spoken->text(QAccessible::Name), label->text());
        }
        EXPECT_TRUE(Child<QLabel>(*confirm, "estimateLabel")
                        ->text()
                        .startsWith(QStringLiteral("预计行权金额：")));
        QTest::keyClick(Child<QPushButton>(*confirm, "cancelConfirmButton"), Qt::Key_Space);
        ASSERT_FALSE(confirm->isVisible());

        // An order of today by arrows and Space, cancelled with Space on 撤 单.
        QTest::keyClick(quantity, Qt::Key_2, Qt::ControlModifier);
        CCurEntrustDlg& today = *m_window->CurEntrustPage();
        ASSERT_TRUE(today.isVisible());
        auto* const orders = Child<CSkinListCtrl>(today, "entrustList");
        ASSERT_NE(orders, nullptr);
        // An order the demo server lets cancel.
        const int orderRow = FindRow(*orders, 9, QStringLiteral("待报"));
        ASSERT_GE(orderRow, 0);
        orders->setFocus(Qt::TabFocusReason);
        QTest::keyClick(orders, Qt::Key_Home);
        for (int i = 0; i < orderRow; ++i)
            QTest::keyClick(orders, Qt::Key_Down);
        ASSERT_EQ(orders->currentIndex().row(), orderRow);
        QTest::keyClick(orders, Qt::Key_Space);
        EXPECT_EQ(orders->FirstSelectedRow(), orderRow);
        const QString entrustNo = orders->Model().Text(orderRow, 2);
        m_boxes.Clear();
        auto* const cancel = Child<QPushButton>(today, "cancelEntrustButton");
        cancel->setFocus(Qt::TabFocusReason);
        QTest::keyClick(cancel, Qt::Key_Space);
        ASSERT_FALSE(m_boxes.Texts().empty());
        EXPECT_EQ(m_boxes.Texts().front(), QStringLiteral("撤单委托成功，委托号是：") + entrustNo);
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

namespace
{
/// What below root (root included) a screen reader cannot name, as the accessibility
/// interface tells it: a control or a readable label without a name, or named only by its
/// own value. The combo box is left out: on Linux Qt names it by its value and
/// relies on its label's relation instead.
std::vector<std::string> Unspoken(QWidget& root)
{
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.prepend(&root);
    std::vector<std::string> unnamed;
    for (QWidget* const widget : widgets) {
        if (!widget->isVisibleTo(&root) || qobject_cast<QComboBox*>(widget) ||
            qobject_cast<QComboBox*>(widget->parentWidget()))
            continue;
        const auto* const label = qobject_cast<QLabel*>(widget);
        const bool readable = label && !label->text().isEmpty();
        if (widget != &root && widget->focusPolicy() == Qt::NoFocus && !readable)
            continue;
        QAccessibleInterface* const spoken = QAccessible::queryAccessibleInterface(widget);
        const QString name = spoken ? spoken->text(QAccessible::Name) : QString();
        const auto* const edit = qobject_cast<QLineEdit*>(widget);
        if (name.isEmpty() || (edit && !edit->text().isEmpty() && name == edit->text()))
            unnamed.push_back(widget->objectName().toStdString() + " (" +
                              widget->metaObject()->className() + ")");
    }
    return unnamed;
}
} // namespace

// Every window, page and control a screen reader reaches has a name, and none is named by
// its value: the login dialog, the main window on each page, the confirmation, the lock
// dialog and a message box.
TEST_F(SignsOfLifeTest, EveryWindowPageAndControlHasANameThatIsNotItsValue)
{
    const int result = Run([&] {
        EXPECT_EQ(Unspoken(*m_window->LoginDialog()), std::vector<std::string>{});
        ASSERT_TRUE(LogIn());
        for (const TabAndPage& page : TabsAndPages()) {
            SCOPED_TRACE(page.tab);
            QTest::mouseClick(Button(page.tab), Qt::LeftButton);
            EXPECT_EQ(Unspoken(*m_window), std::vector<std::string>{});
            EXPECT_EQ(QAccessible::queryAccessibleInterface(page.page)->text(QAccessible::Name),
                      Button(page.tab)->text())
                << "a page is named as its tab";
        }
        QTest::mouseClick(Button("entrustTabButton"), Qt::LeftButton);
        CEntrustDlg& entrust = *m_window->EntrustPage();
        auto* const positions = Child<CSkinListCtrl>(entrust, "positionList");
        ASSERT_NE(positions, nullptr);
        ClickRow(*positions, 0);
        TypeText(Child<QLineEdit>(entrust, "quantityEdit"), QStringLiteral("150"));
        QTest::mouseClick(Child<QPushButton>(entrust, "entrustButton"), Qt::LeftButton);
        CConfirmDlg* const confirm = entrust.ConfirmDialog();
        ASSERT_TRUE(confirm && confirm->isVisible());
        EXPECT_EQ(Unspoken(*confirm), std::vector<std::string>{});
        confirm->OnCancelConfirm();
        // The terms panel reads each term with its value.
        auto* const price = Child<QLabel>(entrust, "termsPriceLabel");
        ASSERT_NE(price, nullptr);
        EXPECT_EQ(QAccessible::queryAccessibleInterface(price)->text(QAccessible::Name),
                  QStringLiteral("行权价格：") + price->text());

        EXPECT_TRUE(LockAndUnlock(
            [](CLockDlg& lock) { EXPECT_EQ(Unspoken(lock), std::vector<std::string>{}); }));

        // A real box: named, its text as its description.
        const MessageBoxes::Handler recorder = MessageBoxes::SetHandler({});
        QString boxName;
        QString boxDescription;
        std::vector<std::string> boxUnnamed;
        InsideModalRun(
            [] { MessageBoxes::ShowOwned(nullptr, QStringLiteral("委托失败,错误原因:")); },
            [&] {
                auto* const box = QApplication::activeModalWidget();
                ASSERT_NE(box, nullptr);
                QAccessibleInterface* const spoken = QAccessible::queryAccessibleInterface(box);
                boxName = spoken->text(QAccessible::Name);
                boxDescription = spoken->text(QAccessible::Description);
                boxUnnamed = Unspoken(*box);
                qobject_cast<QDialog*>(box)->accept();
            });
        MessageBoxes::SetHandler(recorder);
        EXPECT_EQ(boxName, QStringLiteral("提示"));
        EXPECT_EQ(boxDescription, QStringLiteral("委托失败,错误原因:"));
        EXPECT_EQ(boxUnnamed, std::vector<std::string>{});
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}
