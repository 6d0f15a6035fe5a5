#include <QApplication>
#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "MainWindowFixture.h"
#include "UiTestSupport.h"
#include "net/FunctionNumbers.h"
#include "server/DemoServer.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/TradeData.h"
#include "trade/TradeUi.h"
#include "ui/HalvornDlg.h"
#include "ui/LockDlg.h"
#include "ui/LoginDlg.h"
#include "ui/QtTradeUi.h"
#include "ui/pages/ConfirmDlg.h"
#include "ui/pages/CurEntrustDlg.h"
#include "ui/pages/EntrustDlg.h"
#include "ui/pages/HisEntrustDlg.h"
#include "ui/skin/SkinList.h"

namespace
{
using namespace MainWindowTesting;

TEST_F(MainWindowTest, BeforeLoginOnlyTheLoginDialogShowsAndClosingItEndsTheRun)
{
    bool checked = false;
    const int result = Run([&] {
        CLoginDlg* const login = m_window->LoginDialog();
        ASSERT_NE(login, nullptr);
        std::vector<QWidget*> visible;
        for (QWidget* const window : QApplication::topLevelWidgets())
            if (window->isVisible())
                visible.push_back(window);
        EXPECT_EQ(visible, std::vector<QWidget*>{login});
        EXPECT_FALSE(m_window->isVisible());
        EXPECT_EQ(m_window->geometry(), QRect(0, 0, 0, 0));
        EXPECT_EQ(m_window->WindowToBringForward(), login);
        const QSignalSpy forward(m_window.get(), &CHalvornDlg::BroughtForward);
        m_window->BringForward();
        ASSERT_EQ(forward.count(), 1);
        EXPECT_EQ(forward.at(0).at(0).value<QWidget*>(), login);
        EXPECT_FALSE(m_window->isVisible()) << "the window itself stays hidden";
        checked = true;
        login->close();
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(result, CHalvornDlg::kResultOk);
    EXPECT_TRUE(m_boxes.Requests().empty()) << "no prompt";
    EXPECT_TRUE(m_window->IsEnded());
}

TEST_F(MainWindowTest, LoginShowsTheExercisePageMaximisedAndFillsTheListsAfterTheHandler)
{
    bool checked = false;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        EXPECT_TRUE(m_window->isMaximized());
        EXPECT_TRUE(m_window->EntrustPage()->isVisible());
        EXPECT_FALSE(m_window->CurEntrustPage()->isVisible());
        EXPECT_FALSE(m_window->HisEntrustPage()->isVisible());
        EXPECT_TRUE(Button("entrustTabButton")->isChecked());
        EXPECT_FALSE(Button("curEntrustTabButton")->isChecked());
        EXPECT_FALSE(Button("hisEntrustTabButton")->isChecked());
        EXPECT_EQ(Child<QLabel>(*m_window, "greetingLabel")->text(), QStringLiteral("您好，张伟"));
        EXPECT_EQ(m_window->WindowToBringForward(), m_window.get());
        EXPECT_TRUE(m_boxes.Requests().empty());
        m_window->showMinimized();
        const QSignalSpy forward(m_window.get(), &CHalvornDlg::BroughtForward);
        m_window->BringForward();
        ASSERT_EQ(forward.count(), 1);
        EXPECT_EQ(forward.at(0).at(0).value<QWidget*>(), m_window.get());
        EXPECT_FALSE(m_window->isMinimized()) << "restored";
        EXPECT_TRUE(m_window->isMaximized()) << "as it was";

        // Nothing was filled by the time the login handler returned; then the ready
        // messages fill one list each, in the order the queries ran.
        const auto& handled = m_window->HandledMessages();
        ASSERT_EQ(handled.size(), 4u);
        EXPECT_EQ(handled[0].message, WM_LOGIN_SUCCESS);
        EXPECT_EQ(handled[0].curRows + handled[0].hisRows + handled[0].posRows, 0);
        EXPECT_EQ(handled[1].message, WM_CURENTRUST_READY);
        EXPECT_GT(handled[1].curRows, 0);
        EXPECT_EQ(handled[1].hisRows + handled[1].posRows, 0);
        EXPECT_EQ(handled[2].message, WM_HISENTRUST_READY);
        EXPECT_GT(handled[2].hisRows, 0);
        EXPECT_EQ(handled[2].posRows, 0);
        EXPECT_EQ(handled[3].message, WM_POSITION_READY);
        EXPECT_GT(handled[3].posRows, 0);
        EXPECT_EQ(m_window->CurRows(), static_cast<int>(g_TradeData.m_curEntrusts.size()));
        EXPECT_EQ(m_window->HisRows(), static_cast<int>(g_TradeData.m_hisEntrusts.size()));
        EXPECT_EQ(m_window->PosRows(), static_cast<int>(g_TradeData.m_positions.size()));
        checked = true;
        QTest::keyClick(Button("lockButton"), Qt::Key_Escape);
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

// One query refused: its own box, its list stays empty, the others fill, the window
// comes up all the same.
TEST_F(MainWindowTest, AFailedQueryShowsItsBoxAndTheOthersStillFill)
{
    const struct
    {
        int32_t funId;
        const char* prefix;
    } cases[] = {
        {kFunQryEntrust, "查询委托列表失败,错误原因:"},
        {kFunQryHisEntrust, "查询历史委托列表失败,错误原因:"},
        {kFunQryPosCode, "查询失败,错误原因:"},
    };
    const QString reason = QStringLiteral("柜台暂停服务");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.funId);
        NewWindow();
        m_boxes.Clear();
        TestSupport::ResetSessionToken();
        g_TradeData.ClearAll();
        FaultOptions fault;
        fault.mode = FaultMode::Refuse;
        fault.funId = c.funId;
        fault.refuseText = reason.toStdString();
        m_server->SetFault(fault);

        const int result = Run([&] {
            ASSERT_TRUE(LogIn());
            EXPECT_TRUE(m_window->isMaximized());
            // Positions are asked for one shareholder account at a time, each with its box.
            const std::size_t boxes =
                c.funId == kFunQryPosCode ? g_TradeData.m_stockAccounts.size() : 1;
            EXPECT_EQ(m_boxes.Texts(),
                      std::vector<QString>(boxes, QString::fromUtf8(c.prefix) + reason));
            EXPECT_EQ(m_window->CurRows() == 0, c.funId == kFunQryEntrust);
            EXPECT_EQ(m_window->HisRows() == 0, c.funId == kFunQryHisEntrust);
            EXPECT_EQ(m_window->PosRows() == 0, c.funId == kFunQryPosCode);
            m_window->reject();
        });
        EXPECT_EQ(result, CHalvornDlg::kResultCancel);
        m_server->SetFault(FaultOptions{});
    }
}

TEST_F(MainWindowTest, EachTabShowsExactlyItsPageAndChecksOnlyItsButton)
{
    bool checked = false;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        QWidget* const pages[] = {m_window->EntrustPage(), m_window->CurEntrustPage(),
                                  m_window->HisEntrustPage()};
        const char* const tabs[] = {"entrustTabButton", "curEntrustTabButton",
                                    "hisEntrustTabButton"};
        ASSERT_TRUE(Button(tabs[0])->group() && Button(tabs[0])->group()->exclusive());
        for (const int clicked : {1, 2, 0, 2, 1}) {
            SCOPED_TRACE(tabs[clicked]);
            QTest::mouseClick(Button(tabs[clicked]), Qt::LeftButton);
            for (int i = 0; i < 3; ++i) {
                EXPECT_EQ(pages[i]->isVisible(), i == clicked)
                    << pages[i]->objectName().toStdString();
                EXPECT_EQ(Button(tabs[i])->isChecked(), i == clicked) << tabs[i];
            }
        }
        // The registry unchecks the checked button of the exclusive group too.
        ASSERT_TRUE(Button("curEntrustTabButton")->isChecked());
        m_window->Registry().ShowOnly(CHalvornDlg::kEntrustPageId);
        EXPECT_FALSE(Button("curEntrustTabButton")->isChecked());
        EXPECT_FALSE(m_window->CurEntrustPage()->isVisible());
        checked = true;
        m_window->reject();
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

// An order waiting in its confirmation goes out of sight with the window and comes back.
TEST_F(MainWindowTest, LockHidesTheWindowAndUnlockShowsItAgain)
{
    bool checked = false;
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

        bool hiddenWhileLocked = false;
        EXPECT_TRUE(LockAndUnlock([&](CLockDlg& lock) {
            hiddenWhileLocked = !m_window->isVisible() && !confirm->isVisible() && lock.isVisible();
            EXPECT_EQ(m_window->WindowToBringForward(), &lock);
            const QSignalSpy forward(m_window.get(), &CHalvornDlg::BroughtForward);
            m_window->BringForward();
            ASSERT_EQ(forward.count(), 1);
            EXPECT_EQ(forward.at(0).at(0).value<QWidget*>(), &lock);
            EXPECT_FALSE(m_window->isVisible()) << "the data stay behind the lock";
        }));
        EXPECT_TRUE(hiddenWhileLocked);
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_TRUE(m_window->isMaximized());
        EXPECT_TRUE(confirm->isVisible()) << "the order still waits";
        EXPECT_EQ(m_window->WindowToBringForward(), m_window.get());
        QTest::mouseClick(Child<QPushButton>(*confirm, "cancelConfirmButton"), Qt::LeftButton);
        EXPECT_TRUE(m_boxes.Requests().empty()) << "nothing sent";
        checked = true;
        m_window->reject();
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

TEST_F(MainWindowTest, CloseAsksAndCancelKeepsItRunningOkEndsTheRun)
{
    bool keptRunning = false;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        m_boxes.SetAnswer(MessageBoxes::kCancel);
        m_window->close();
        keptRunning = m_window->isVisible() && !m_window->IsEnded();
        m_boxes.SetAnswer(MessageBoxes::kOk);
        m_window->close();
    });
    EXPECT_TRUE(keptRunning);
    EXPECT_EQ(result, CHalvornDlg::kResultOk);
    ASSERT_EQ(m_boxes.Requests().size(), 2u);
    for (const MessageBoxes::Request& box : m_boxes.Requests()) {
        EXPECT_EQ(box.kind, MessageBoxes::Kind::Skinned);
        EXPECT_EQ(box.owner, m_window.get());
        EXPECT_EQ(box.text, kCloseQuestion);
        EXPECT_EQ(box.caption, kCloseCaption);
        EXPECT_TRUE(box.withCancel);
    }
}

// Enter on the window's own controls does nothing; Escape there ends the run at once.
TEST_F(MainWindowTest, EnterDoesNothingAndEscapeEndsTheRun)
{
    bool stillRunning = false;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        for (const char* const name :
             {"lockButton", "entrustTabButton", "curEntrustTabButton", "hisEntrustTabButton"}) {
            QTest::keyClick(Button(name), Qt::Key_Return);
            QTest::keyClick(Button(name), Qt::Key_Enter, Qt::KeypadModifier);
        }
        stillRunning = m_window->isVisible() && !m_window->IsEnded() &&
                       m_window->EntrustPage()->isVisible() && !m_window->LockDialog();
        QTest::keyClick(Button("curEntrustTabButton"), Qt::Key_Escape);
    });
    EXPECT_TRUE(stillRunning);
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
    EXPECT_TRUE(m_boxes.Requests().empty()) << "no prompt";
}

// Keys inside a page stay in the page: the run goes on.
TEST_F(MainWindowTest, EscapeAndEnterInsideAPageDoNotEndTheRun)
{
    bool stillRunning = false;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        const struct
        {
            QWidget* page;
            const char* tab;
            const char* control;
        } places[] = {
            {m_window->EntrustPage(), "entrustTabButton", "quantityEdit"},
            {m_window->CurEntrustPage(), "curEntrustTabButton", "entrustList"},
            {m_window->HisEntrustPage(), "hisEntrustTabButton", "hisEntrustList"},
        };
        for (const auto& place : places) {
            SCOPED_TRACE(place.control);
            QTest::mouseClick(Button(place.tab), Qt::LeftButton);
            auto* const control = Child<QWidget>(*place.page, place.control);
            ASSERT_NE(control, nullptr);
            QTest::keyClick(control, Qt::Key_Escape);
            QTest::keyClick(control, Qt::Key_Return);
            EXPECT_TRUE(m_window->isVisible());
            EXPECT_FALSE(m_window->IsEnded());
        }
        // Enter on the exercise page presses its 委托行权, which finds the code empty.
        EXPECT_EQ(m_boxes.Texts(), std::vector<QString>{QStringLiteral("权证代码不能为空！")});
        stillRunning = !m_window->IsEnded();
        m_window->reject();
    });
    EXPECT_TRUE(stillRunning);
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

TEST_F(MainWindowTest, SizeLaysOutTheHeaderAndThePages)
{
    bool checked = false;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        m_window->showNormal();
        for (const QSize size : {QSize(1000, 500), QSize(1280, 720)}) {
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
            m_window->resize(size);
            ASSERT_TRUE(QTest::qWaitFor([&] { return m_window->size() == size; }, kWaitMs));
            const int w = size.width();
            const int h = size.height();
            const struct
            {
                QWidget* window;
                int left, top, right, bottom;
            } table[] = {
                {Child<QLabel>(*m_window, "greetingLabel"), w - 246, 4, w - 145, 20},
                {Button("lockButton"), w - 140, 4, w - 100, 18},
                {Button("entrustTabButton"), w - 360, 55, w - 281, 85},
                {Button("curEntrustTabButton"), w - 279, 55, w - 200, 85},
                {Button("hisEntrustTabButton"), w - 198, 55, w - 119, 85},
                {m_window->EntrustPage(), 7, 86, w - 7, h - 4},
                {m_window->CurEntrustPage(), 7, 86, w - 7, h - 4},
                {m_window->HisEntrustPage(), 7, 86, w - 7, h - 4},
            };
            for (const auto& row : table) {
                ASSERT_NE(row.window, nullptr);
                EXPECT_EQ(row.window->geometry(),
                          QRect(row.left, row.top, row.right - row.left, row.bottom - row.top))
                    << row.window->objectName().toStdString();
            }
        }
        checked = true;
        m_window->reject();
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
}

TEST_F(MainWindowTest, F1OpensTheAboutBox)
{
    QString caption;
    QString text;
    QString ok;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get(), kWaitMs));
        const auto f1 = [this] { QTest::keyClick(Button("lockButton"), Qt::Key_F1); };
        InsideModalRun(f1, [&] {
            auto* const about = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(about, nullptr);
            caption = about->windowTitle();
            text = Child<QLabel>(*about, "aboutTextLabel")->text();
            auto* const button = Child<QPushButton>(*about, "aboutOkButton");
            ok = button->text();
            QTest::mouseClick(button, Qt::LeftButton);
        });
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the box is closed";
        m_window->reject();
    });
    EXPECT_EQ(result, CHalvornDlg::kResultCancel);
    EXPECT_EQ(caption, QStringLiteral("关于 Halvorn"));
    EXPECT_EQ(text, QStringLiteral("Halvorn，1.0 版"));
    EXPECT_EQ(ok, QStringLiteral("确定"));
}

// A working day as a user goes through it: log in, exercise part of a position, see the
// order and the lower available quantity, cancel the order, lock and unlock, close.
TEST_F(MainWindowTest, AWorkingDayFromLoginToClose)
{
    const QString account = QStringLiteral("A123456789");
    const QString code = QStringLiteral("1000012");
    bool reachedTheEnd = false;
    const int result = Run([&] {
        ASSERT_TRUE(LogIn());
        CEntrustDlg& entrust = *m_window->EntrustPage();
        auto* const positions = Child<CSkinListCtrl>(entrust, "positionList");
        ASSERT_NE(positions, nullptr);
        const int position = FindRow(*positions, 1, code);
        ASSERT_GE(position, 0);
        ASSERT_EQ(positions->Model().Text(position, 0), account);
        const int availableBefore = positions->Model().Text(position, 4).toInt();
        ASSERT_GE(availableBefore, 100);

        // Pick the position, type the quantity, 委托行权, 确认.
        ClickRow(*positions, position);
        auto* const quantity = Child<QLineEdit>(entrust, "quantityEdit");
        EXPECT_EQ(Child<QLineEdit>(entrust, "codeEdit")->text(), code);
        EXPECT_EQ(entrust.focusWidget(), quantity);
        TypeText(quantity, QStringLiteral("100"));
        QTest::mouseClick(Child<QPushButton>(entrust, "entrustButton"), Qt::LeftButton);
        CConfirmDlg* const confirm = entrust.ConfirmDialog();
        ASSERT_TRUE(confirm && confirm->isVisible());
        EXPECT_EQ(Child<QLineEdit>(*confirm, "confirmQuantityEdit")->text(), QStringLiteral("100"));
        QTest::mouseClick(Child<QPushButton>(*confirm, "confirmButton"), Qt::LeftButton);
        const QString orderNo = QString::fromStdString(confirm->EntrustReply().entrust_no());
        ASSERT_FALSE(orderNo.isEmpty());
        EXPECT_EQ(m_boxes.Texts(),
                  std::vector<QString>{QStringLiteral("委托成功，委托号是：") + orderNo});
        QCoreApplication::sendPostedEvents();

        // The order among today's orders, the position lower by the quantity.
        const int positionAfter = FindRow(*positions, 1, code);
        ASSERT_GE(positionAfter, 0);
        EXPECT_EQ(positions->Model().Text(positionAfter, 4).toInt(), availableBefore - 100);
        QTest::mouseClick(Button("curEntrustTabButton"), Qt::LeftButton);
        auto* const orders = Child<CSkinListCtrl>(*m_window->CurEntrustPage(), "entrustList");
        ASSERT_NE(orders, nullptr);
        const int orderRow = FindRow(*orders, 2, orderNo);
        ASSERT_GE(orderRow, 0);
        EXPECT_EQ(orders->Model().Text(orderRow, 5), code);
        EXPECT_EQ(orders->Model().Text(orderRow, 8), QStringLiteral("100"));
        EXPECT_EQ(orders->Model().Text(orderRow, 9), QStringLiteral("已报"));

        // Select it, 撤 单: the status turns to cancelled and the quantity comes back.
        ClickRow(*orders, orderRow);
        m_boxes.Clear();
        QTest::mouseClick(Child<QPushButton>(*m_window->CurEntrustPage(), "cancelEntrustButton"),
                          Qt::LeftButton);
        EXPECT_EQ(m_boxes.Texts(),
                  std::vector<QString>{QStringLiteral("撤单委托成功，委托号是：") + orderNo});
        QCoreApplication::sendPostedEvents();
        const int cancelledRow = FindRow(*orders, 2, orderNo);
        ASSERT_GE(cancelledRow, 0);
        EXPECT_EQ(orders->Model().Text(cancelledRow, 9), QStringLiteral("已撤"));
        EXPECT_EQ(positions->Model().Text(FindRow(*positions, 1, code), 4).toInt(),
                  availableBefore);

        // Away for a moment: lock, then unlock to the same page.
        EXPECT_TRUE(LockAndUnlock());
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_TRUE(m_window->CurEntrustPage()->isVisible());

        // Done for the day: close and confirm.
        m_boxes.Clear();
        reachedTheEnd = true;
        m_window->close();
    });
    EXPECT_TRUE(reachedTheEnd);
    EXPECT_EQ(result, CHalvornDlg::kResultOk);
    EXPECT_EQ(m_boxes.Texts(), std::vector<QString>{kCloseQuestion});
}
} // namespace
