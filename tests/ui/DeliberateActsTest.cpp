// Every order and cancel follows one deliberate act, and nothing else sends a request: Enter
// wherever the focus was before, random keys and clicks, a window locked while a box waits,
// and a request that waits long while the windows keep painting and take no input.

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "UiTestSupport.h"
#include "net/FunctionNumbers.h"
#include "tests/support/ClientTarget.h"
#include "ui/ExchangeActivity.h"
#include "ui/MessageBoxes.h"
#include "ui/ResponsiveWait.h"
#include "ui/pages/ConfirmDlg.h"

namespace
{
using namespace MainWindowTesting;
using namespace std::chrono_literals;

/// The main window's run against a demo server that tells the test every request it gets.
class DeliberateActsTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(MainWindowTest::SetUp());
        DemoServerOptions options;
        options.requestObserver = [this](int32_t funId, const std::string&) { OnRequest(funId); };
        m_server = TestSupport::StartDemoServer(std::move(options));
        ASSERT_TRUE(m_server);
        g_ClientConfig.SetTradeSrvPort(std::to_string(m_server->Port()));
    }

    void TearDown() override
    {
        MainWindowTest::TearDown();
        // The server's threads call back into this fixture: they end first.
        m_server.reset();
    }

    /// Called on the server's threads for every request.
    virtual void OnRequest(int32_t funId)
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(funId);
    }

    /// The requests seen since the last call.
    std::vector<int32_t> TakeRequests()
    {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_requests, {});
    }

    CCurEntrustDlg* CurPage() { return m_window->CurEntrustPage(); }

    void SetFault(FaultMode mode, int32_t funId)
    {
        FaultOptions fault;
        fault.mode = mode;
        fault.funId = funId;
        m_server->SetFault(fault);
    }

    std::mutex m_mutex;
    std::vector<int32_t> m_requests;
};

// Once 撤 单 or 刷 新 has had the focus, Enter on a tab button or on 锁定 must still do
// nothing: no button of the window is ever a default one.
TEST_F(DeliberateActsTest, EnterOnATabOrOnLockSendsNothingWhateverHadTheFocusBefore)
{
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        ASSERT_TRUE(Activate());
        QPushButton* const curTab = Button("curEntrustTabButton");
        QTest::mouseClick(curTab, Qt::LeftButton);
        auto* const cancel = Child<QPushButton>(*CurPage(), "cancelEntrustButton");
        auto* const refresh = Child<QPushButton>(*CurPage(), "refreshEntrustButton");
        auto* const list = Child<CSkinListCtrl>(*CurPage(), "entrustList");
        ASSERT_TRUE(cancel && refresh && list);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTest::mouseClick(refresh, Qt::LeftButton);
        QCoreApplication::sendPostedEvents();
        ASSERT_GE(list->GetItemCount(), 2);
        ClickRow(*list, 1);
        QTest::mouseClick(curTab, Qt::LeftButton);
        TakeRequests();
        m_boxes.Clear();

        for (const char* name : {"curEntrustTabButton", "entrustTabButton", "lockButton"}) {
            SCOPED_TRACE(name);
            QPushButton* const button = Button(name);
            button->setFocus(Qt::TabFocusReason);
            ASSERT_EQ(QApplication::focusWidget(), button);
            QTest::keyClick(button, Qt::Key_Return);
            QTest::keyClick(button, Qt::Key_Enter, Qt::KeypadModifier);
            EXPECT_TRUE(TakeRequests().empty());
            EXPECT_TRUE(m_boxes.Texts().empty());
            EXPECT_EQ(m_window->LockDialog(), nullptr) << "Enter on 锁定 locks nothing";
        }
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

/// Drives a run from timers, whatever modal loop is innermost: answers a real box, unlocks
/// the lock dialog, notes what was on screen at each step.
class Poller
{
public:
    explicit Poller(std::function<bool()> step) : m_step(std::move(step))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_step())
                m_timer.stop();
        });
        m_timer.start(20);
    }
    bool Done() const { return !m_timer.isActive(); }

private:
    std::function<bool()> m_step;
    QTimer m_timer;
};

// The idle lock fires while a real box waits for its answer: the box and the window go out
// of sight, and after unlocking the box is there again and still takes its answer. The close
// prompt is answered with Cancel: after unlocking the window is as it was.
TEST_F(DeliberateActsTest, IdleLocksOverAnOpenBoxAndOverTheClosePrompt)
{
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        // Real boxes from here on.
        const MessageBoxes::Handler recorder = MessageBoxes::SetHandler({});
        struct Seen
        {
            bool boxHiddenWhileLocked = false;
            bool windowHiddenWhileLocked = false;
            QString boxBack;
            bool windowBack = false;
        } seen;
        int phase = 0;

        // A box waiting for its answer, as after an order: "委托成功…".
        m_window->SetIdleLockInterval(150ms);
        const Poller underBox([&] {
            const std::vector<MessageBoxes::OpenBox> open = MessageBoxes::OpenBoxes();
            CLockDlg* const lock = m_window->LockDialog();
            if (phase == 0 && lock) {
                seen.boxHiddenWhileLocked = !open.empty() && !open.front().box->isVisible();
                seen.windowHiddenWhileLocked = !m_window->isVisible();
                m_window->SetIdleLockInterval(60s);
                phase = 1;
                Unlock(*lock);
                return false;
            }
            if (phase == 1 && !lock && !open.empty() && open.front().box->isVisible()) {
                auto* const box = qobject_cast<QMessageBox*>(open.front().box);
                seen.boxBack = box ? box->text() : QString();
                seen.windowBack = m_window->isVisible();
                QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
                return true;
            }
            return false;
        });
        MessageBoxes::ShowApplication(QStringLiteral("委托成功，委托号是：100099"));
        EXPECT_TRUE(underBox.Done());
        EXPECT_TRUE(seen.boxHiddenWhileLocked);
        EXPECT_TRUE(seen.windowHiddenWhileLocked);
        EXPECT_EQ(seen.boxBack, QStringLiteral("委托成功，委托号是：100099"));
        EXPECT_TRUE(seen.windowBack);
        EXPECT_TRUE(MessageBoxes::OpenBoxes().empty());

        // The close prompt.
        phase = 0;
        bool promptGone = false;
        m_window->SetIdleLockInterval(150ms);
        const Poller underPrompt([&] {
            CLockDlg* const lock = m_window->LockDialog();
            if (!lock)
                return false;
            // Answered with Cancel, it leaves its loop once the lock has ended.
            const std::vector<MessageBoxes::OpenBox> open = MessageBoxes::OpenBoxes();
            promptGone = std::none_of(open.begin(), open.end(),
                                      [](const auto& box) { return box.box->isVisible(); }) &&
                         !m_window->isVisible();
            m_window->SetIdleLockInterval(60s);
            Unlock(*lock);
            return true;
        });
        m_window->close();
        EXPECT_TRUE(underPrompt.Done());
        EXPECT_TRUE(promptGone);
        EXPECT_FALSE(m_window->IsEnded()) << "the prompt was answered with Cancel";
        EXPECT_TRUE(m_window->isVisible());
        MessageBoxes::SetHandler(recorder);
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

// A slow query after login: the windows are served meanwhile, the login dialog says what is
// waited for, and the ready messages still come after the login handler, in order.
TEST_F(DeliberateActsTest, ASlowQueryAfterLoginKeepsTheFillOrderAndSaysWhatItWaitsFor)
{
    const TestSupport::ScopedTransportTimeouts bound({2000ms, 1300ms});
    SetFault(FaultMode::NeverAnswer, kFunQryHisEntrust);
    std::vector<std::pair<bool, QString>> loginShows;
    const int result = Run([&] {
        QObject::connect(m_window->Activity(), &CExchangeActivity::WaitingChanged, m_window.get(),
                         [&](const QString& text) {
                             if (!text.isEmpty())
                                 loginShows.emplace_back(m_window->LoginDialog()->isVisible(),
                                                         m_window->LoginDialog()->ReasonText());
                         });
        ASSERT_TRUE(LogIn());
        EXPECT_FALSE(m_window->LoginDialog()->isVisible());
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
    std::vector<int> handled;
    for (const ObservedMainWindow::Handled& entry : m_window->HandledMessages())
        handled.push_back(entry.message);
    EXPECT_EQ(handled, (std::vector<int>{WM_LOGIN_SUCCESS, WM_CURENTRUST_READY, WM_POSITION_READY}))
        << "nothing handled inside the login handler";
    ASSERT_FALSE(loginShows.empty());
    EXPECT_TRUE(loginShows.back().first);
    EXPECT_EQ(loginShows.back().second, QStringLiteral("正在查询历史委托，已等待 1 秒"));
    EXPECT_EQ(m_boxes.Texts(),
              std::vector<QString>{QStringLiteral("查询历史委托列表失败,错误原因:")});
}

// While 刷 新 waits on a server that does not answer, the main window repaints and says how
// long it has waited; a key and a click that arrive meanwhile reach no widget.
TEST_F(DeliberateActsTest, AWaitingRequestRepaintsAndTakesNoInput)
{
    const TestSupport::ScopedTransportTimeouts bound({2000ms, 1300ms});
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        ASSERT_TRUE(Activate());
        QTest::mouseClick(Button("curEntrustTabButton"), Qt::LeftButton);
        auto* const cancel = Child<QPushButton>(*CurPage(), "cancelEntrustButton");
        auto* const refresh = Child<QPushButton>(*CurPage(), "refreshEntrustButton");
        auto* const quantity = Child<QLineEdit>(*m_window->EntrustPage(), "quantityEdit");
        ASSERT_TRUE(cancel && refresh && quantity);
        TakeRequests();
        m_boxes.Clear();
        SetFault(FaultMode::NeverAnswer, kFunQryEntrust);

        // Counts paints in the window between the start of the request and the end of its
        // wait; notes the status lines shown meanwhile.
        struct PaintCounter : QObject
        {
            QWidget* window = nullptr;
            bool counting = false;
            int paints = 0;
            bool eventFilter(QObject* watched, QEvent* event) override
            {
                auto* const widget = qobject_cast<QWidget*>(watched);
                if (counting && event->type() == QEvent::Paint && widget &&
                    widget->window() == window)
                    ++paints;
                return false;
            }
        } counter;
        counter.window = m_window.get();
        qApp->installEventFilter(&counter);
        std::vector<QString> statuses;
        QObject::connect(m_window->Activity(), &CExchangeActivity::ExchangeStarted, &counter,
                         [&] { counter.counting = true; });
        QObject::connect(m_window->Wait(), &CResponsiveWait::WaitEnded, &counter,
                         [&] { counter.counting = false; });
        QObject::connect(m_window->Activity(), &CExchangeActivity::StatusChanged, &counter,
                         [&](const QString& text) { statuses.push_back(text); });

        // Input queued before the click is handled only while the request waits.
        QCoreApplication::postEvent(quantity, new QKeyEvent(QEvent::KeyPress, Qt::Key_7,
                                                            Qt::NoModifier, QStringLiteral("7")));
        const QPointF centre = QRectF(cancel->rect()).center();
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(
                cancel,
                new QMouseEvent(type, centre, cancel->mapToGlobal(centre), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
        const auto quantityBefore = quantity->text();
        QTest::mouseClick(refresh, Qt::LeftButton);
        qApp->removeEventFilter(&counter);

        EXPECT_GT(counter.paints, 0) << "the window painted while the request waited";
        EXPECT_EQ(quantity->text(), quantityBefore) << "the key reached no widget";
        EXPECT_EQ(TakeRequests(), std::vector<int32_t>{kFunQryEntrust}) << "no cancel";
        EXPECT_EQ(m_boxes.Texts(),
                  std::vector<QString>{QStringLiteral("查询委托列表失败,错误原因:")})
            << "the click reached no button";
        EXPECT_TRUE(std::any_of(statuses.begin(), statuses.end(), [](const QString& text) {
            return text.endsWith(QStringLiteral(" · 正在查询当日委托，已等待 1 秒"));
        }));
        EXPECT_FALSE(m_window->StatusText().contains(QStringLiteral("正在")));
        SetFault(FaultMode::None, 0);
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

// ---------------------------------------------------------------------------------------
// Random input: long sequences of keys and clicks, against the rule that an order goes out
// only from 确认, a cancel only from 撤 单 (clicked, or Space on them), and queries only from
// 刷 新, F5 and the refresh after an order or a cancel.

/// The requests one act may cause.
std::set<int32_t> AllowedFor(const QString& target, bool click, int key,
                             Qt::KeyboardModifiers modifiers)
{
    const bool pressed = click || (key == Qt::Key_Space && modifiers == Qt::NoModifier);
    if (pressed && target == QLatin1String("confirmButton"))
        return {kFunEntrust, kFunQryPosCode, kFunQryEntrust};
    if (pressed && target == QLatin1String("cancelEntrustButton"))
        return {kFunCanEntrust, kFunQryPosCode, kFunQryEntrust};
    if (pressed && target == QLatin1String("refreshEntrustButton"))
        return {kFunQryEntrust};
    if (pressed && target == QLatin1String("refreshPositionButton"))
        return {kFunQryPosCode};
    if (!click && key == Qt::Key_F5 && modifiers == Qt::NoModifier)
        return {kFunQryEntrust, kFunQryPosCode};
    return {};
}

class RandomInputTest : public DeliberateActsTest
{
protected:
    struct Act
    {
        std::string text;
        std::set<int32_t> allowed;
        std::vector<int32_t> requests;
    };

    void OnRequest(int32_t funId) override
    {
        const std::lock_guard lock(m_mutex);
        if (m_current >= 0)
            m_acts[static_cast<std::size_t>(m_current)].requests.push_back(funId);
    }

    /// The window keys go to and clicks land in: a menu or a modal window when one is open,
    /// else one of the terminal's visible windows.
    QWidget* TargetWindow()
    {
        if (QWidget* const modal = QApplication::activeModalWidget())
            return modal;
        std::vector<QWidget*> windows;
        for (QWidget* const window : QApplication::topLevelWidgets()) {
            if (window->isVisible() && !qobject_cast<QMenu*>(window))
                windows.push_back(window);
        }
        if (windows.empty())
            return nullptr;
        return windows[std::uniform_int_distribution<std::size_t>(0, windows.size() - 1)(m_random)];
    }

    /// One act of the user, picked at random.
    void DoRandomAct()
    {
        const std::size_t index = m_acts.size();
        // A menu that opened takes the next key: Escape, so no menu entry runs.
        if (QWidget* const popup = QApplication::activePopupWidget()) {
            Send(index, "Escape in a menu", {},
                 [popup] { QTest::keyClick(popup, Qt::Key_Escape); });
            return;
        }
        // Locked: now and then the user types the password and Enter (that sends nothing).
        if (CLockDlg* const lock = m_window->LockDialog(); lock && Chance(5)) {
            Send(index, "unlock", {}, [lock] {
                auto* const edit = Child<QLineEdit>(*lock, "lockPasswordEdit");
                edit->clear();
                TypeText(edit, QString::fromLatin1(DemoAccounts::kMainPassword));
                QTest::keyClick(edit, Qt::Key_Return);
            });
            return;
        }
        QWidget* const window = TargetWindow();
        if (!window)
            return;
        if (Chance(3)) {
            const QPoint point(
                std::uniform_int_distribution<int>(0, window->width() - 1)(m_random),
                std::uniform_int_distribution<int>(0, window->height() - 1)(m_random));
            QWidget* const child = window->childAt(point);
            QWidget* const target = child ? child : window;
            const QPoint local = target->mapFrom(window, point);
            const QString name = target->objectName();
            Send(index,
                 "click " + window->objectName().toStdString() + " at " +
                     std::to_string(point.x()) + "," + std::to_string(point.y()) + " on " +
                     name.toStdString(),
                 AllowedFor(name, true, 0, {}),
                 [target, local] { QTest::mouseClick(target, Qt::LeftButton, {}, local); });
            return;
        }
        static const struct
        {
            int key;
            Qt::KeyboardModifiers modifiers;
        } keys[] = {
            {Qt::Key_Return, {}},
            {Qt::Key_Enter, Qt::KeypadModifier},
            {Qt::Key_Space, {}},
            {Qt::Key_Tab, {}},
            {Qt::Key_Backtab, Qt::ShiftModifier},
            {Qt::Key_Escape, {}},
            {Qt::Key_Up, {}},
            {Qt::Key_Down, {}},
            {Qt::Key_Left, {}},
            {Qt::Key_Right, {}},
            {Qt::Key_Down, Qt::ShiftModifier},
            {Qt::Key_0, {}},
            {Qt::Key_1, {}},
            {Qt::Key_5, {}},
            {Qt::Key_9, {}},
            {Qt::Key_A, {}},
            {Qt::Key_Q, {}},
            {Qt::Key_Backspace, {}},
            {Qt::Key_Delete, {}},
            {Qt::Key_Home, {}},
            {Qt::Key_End, {}},
            {Qt::Key_PageDown, {}},
            {Qt::Key_F1, {}},
            {Qt::Key_F2, {}},
            {Qt::Key_F5, {}},
            {Qt::Key_F10, Qt::ShiftModifier},
            {Qt::Key_Menu, {}},
            {Qt::Key_1, Qt::ControlModifier},
            {Qt::Key_2, Qt::ControlModifier},
            {Qt::Key_3, Qt::ControlModifier},
            {Qt::Key_L, Qt::ControlModifier},
            {Qt::Key_C, Qt::ControlModifier},
            {Qt::Key_A, Qt::ControlModifier},
        };
        const auto& key =
            keys[std::uniform_int_distribution<std::size_t>(0, std::size(keys) - 1)(m_random)];
        QWidget* const focus = window->focusWidget() ? window->focusWidget() : window;
        const QString name = focus->objectName();
        Send(index,
             "key " + QKeySequence(key.key | key.modifiers).toString().toStdString() + " on " +
                 name.toStdString() + " in " + window->objectName().toStdString(),
             AllowedFor(name, false, key.key, key.modifiers), [focus, key] {
                 QTest::keyClick(focus, static_cast<Qt::Key>(key.key), key.modifiers);
             });
    }

    /// Sends one act, noting the requests it caused. Acts nest when one opens a modal loop
    /// (About, the lock, a menu): what the outer act causes after it returns is its own.
    void Send(std::size_t index, std::string text, std::set<int32_t> allowed,
              const std::function<void()>& send)
    {
        int previous = -1;
        {
            const std::lock_guard lock(m_mutex);
            m_acts.push_back({std::move(text), std::move(allowed), {}});
            previous = std::exchange(m_current, static_cast<int>(index));
        }
        send();
        const std::lock_guard lock(m_mutex);
        m_current = previous;
    }

    /// The first `count` acts, one a line, with the requests each caused.
    std::string ActList(std::size_t count)
    {
        const std::lock_guard lock(m_mutex);
        return ActListLocked(count);
    }
    std::string ActListLocked(std::size_t count) const
    {
        std::ostringstream out;
        for (std::size_t j = 0; j < count && j < m_acts.size(); ++j) {
            out << "  " << j << ": " << m_acts[j].text;
            for (const int32_t funId : m_acts[j].requests)
                out << " [" << funId << ']';
            out << '\n';
        }
        return out.str();
    }

    bool Chance(int oneIn) { return std::uniform_int_distribution<int>(1, oneIn)(m_random) == 1; }

    /// The first act that caused a request it may not, with every act up to it; empty when
    /// every request was allowed.
    std::string Violations()
    {
        const std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < m_acts.size(); ++i) {
            for (const int32_t funId : m_acts[i].requests) {
                if (m_acts[i].allowed.count(funId))
                    continue;
                std::ostringstream out;
                out << "act " << i << " sent function " << funId << "; acts so far:\n";
                return out.str() + ActListLocked(i + 1);
            }
        }
        return {};
    }

    /// Logs in and acts until `count` acts are done; a run the acts end (Escape on the
    /// window) starts again with a new login.
    void ActUntil(std::size_t count)
    {
        while (m_acts.size() < count) {
            NewWindow();
            const int result = Run([&] {
                ASSERT_TRUE(LogIn());
                m_window->SetIdleLockInterval(0ms);
                Tick(count);
            });
            ASSERT_NE(result, kStuck) << "stuck; acts so far:\n" << ActList(m_acts.size());
            if (HasFatalFailure())
                return;
        }
    }

    /// One act, with the next one queued first: an act that opens a modal loop (About, the
    /// lock, a menu) finds the next acts running inside it. A timer of its own for each, as
    /// a timer does not fire again inside its own handler.
    void Tick(std::size_t count)
    {
        if (m_acts.size() >= count) {
            Finish();
            return;
        }
        QTimer::singleShot(1, m_window.get(), [this, count] { Tick(count); });
        DoRandomAct();
    }

    /// Closes what the acts left open and ends the run.
    void Finish()
    {
        QTimer::singleShot(1, m_window.get(), [this] {
            if (QWidget* const popup = QApplication::activePopupWidget()) {
                popup->close();
                Finish();
                return;
            }
            if (CLockDlg* const lock = m_window->LockDialog()) {
                Unlock(*lock);
                Finish();
                return;
            }
            if (auto* const modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                modal->reject();
                Finish();
                return;
            }
            m_window->EndDialog(CHalvornDlg::kResultOk);
        });
    }

    std::mt19937 m_random;
    std::vector<Act> m_acts;
    int m_current = -1;
};

// Seeds 1 to 3 with 1,500 acts each; HALVORN_RANDOM_INPUT="SEEDS ACTS" runs seeds 1 to SEEDS
// with ACTS acts each, for a longer search. A failure names the seed and lists the acts.
TEST_F(RandomInputTest, NoRequestWithoutItsOwnAct)
{
    unsigned seeds = 3;
    std::size_t acts = 1500;
    if (const char* const setting = std::getenv("HALVORN_RANDOM_INPUT")) {
        std::istringstream in(setting);
        in >> seeds >> acts;
    }
    for (unsigned seed = 1; seed <= seeds; ++seed) {
        SCOPED_TRACE(seed);
        m_random.seed(seed);
        {
            const std::lock_guard lock(m_mutex);
            m_acts.clear();
        }
        ActUntil(acts);
        const std::string violations = Violations();
        EXPECT_TRUE(violations.empty()) << "seed " << seed << ": " << violations;
        // The acts reached the places that send.
        const bool sentSome = std::any_of(m_acts.begin(), m_acts.end(),
                                          [](const Act& act) { return !act.requests.empty(); });
        EXPECT_TRUE(sentSome) << "seed " << seed;
    }
}
} // namespace
