#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

#include "UiTestSupport.h"
#include "trade/TradeUi.h"
#include "trade/WindowMessages.h"
#include "ui/QtTradeUi.h"
#include "ui/WindowEvents.h"
#include "ui/WindowPos.h"
#include "util/util.h"

namespace
{
struct CentreCase
{
    int width, height, areaRight, areaBottom;
    int x, y;
};

TEST(CenterWindowPosTest, ArithmeticRoundsTowardZero)
{
    const CentreCase cases[] = {
        {800, 600, 1920, 1080, 560, 240},   // the usual case
        {801, 601, 1920, 1080, 559, 239},   // odd remainders drop
        {2000, 1200, 1920, 1080, -40, -60}, // larger than the screen
        {2001, 1081, 1920, 1080, -40, 0},   // -81/2 is -40 and -1/2 is 0, not -41 and -1
        {0, 0, 1366, 768, 683, 384},
    };
    for (const CentreCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        EXPECT_EQ(CenteredWindowPoint(c.width, c.height, c.areaRight, c.areaBottom),
                  QPoint(c.x, c.y));
    }
}

TEST(CenterWindowPosTest, MovesTheWindowToTheMiddleOfTheScreenOrWorkArea)
{
    const QScreen* const screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect work = screen->availableGeometry();
    const struct
    {
        int mode;
        int right;
        int bottom;
    } cases[] = {{CenterMode::kScreen, screen->size().width(), screen->size().height()},
                 {CenterMode::kWorkArea, work.x() + work.width(), work.y() + work.height()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        QWidget window;
        window.resize(301, 207);
        window.move(3, 5);
        ASSERT_TRUE(CenterWindowPos(&window, c.mode));
        const QSize outer = window.frameGeometry().size();
        EXPECT_EQ(window.pos(),
                  CenteredWindowPoint(outer.width(), outer.height(), c.right, c.bottom));
        EXPECT_EQ(window.size(), QSize(301, 207));
    }
}

TEST(CenterWindowPosTest, UnknownModeOrNoWindowMovesNothing)
{
    QWidget window;
    window.move(7, 9);
    for (const int mode : {0, 2, 4, -1}) {
        EXPECT_FALSE(CenterWindowPos(&window, mode));
        EXPECT_EQ(window.pos(), QPoint(7, 9));
    }
    EXPECT_FALSE(CenterWindowPos(nullptr, CenterMode::kScreen));
}

TEST(WindowMessageTest, PostedMessagesArriveLaterInOrderWithTheirParameters)
{
    MessageCatcher catcher;
    const int reply = 42;
    ASSERT_TRUE(PostWindowMessage(WM_LOGIN_SUCCESS, 0, &reply));
    ASSERT_TRUE(PostWindowMessage(WM_CURENTRUST_READY));
    ASSERT_TRUE(PostWindowMessage(WM_HISENTRUST_READY));
    ASSERT_TRUE(PostWindowMessage(WM_POSITION_READY));
    ASSERT_TRUE(PostWindowMessage(WM_LOGIN_CANCEL));
    EXPECT_TRUE(catcher.Messages().empty()) << "posted, not sent";

    catcher.Deliver();
    ASSERT_EQ(catcher.Messages().size(), 5u);
    const int expected[] = {2025, 2034, 2035, 2036, 2026};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(catcher.Messages()[i].message, expected[i]);
    EXPECT_EQ(catcher.Messages()[0].lParam, &reply);
    EXPECT_EQ(catcher.Messages()[1].lParam, nullptr);
    EXPECT_EQ(catcher.Messages()[0].wParam, 0u);
}

TEST(WindowMessageTest, WithoutMainWindowMessagesAreDropped)
{
    SetMainWindow(nullptr);
    EXPECT_FALSE(PostWindowMessage(WM_LOGIN_CANCEL));
    {
        auto window = std::make_unique<QObject>();
        SetMainWindow(window.get());
        EXPECT_EQ(GetMainWindow(), window.get());
    }
    // A destroyed main window reads back as none.
    EXPECT_EQ(GetMainWindow(), nullptr);
    EXPECT_FALSE(PostWindowMessage(WM_POSITION_READY));
}

TEST(WindowMessageTest, PlainEventsWithAMessageNumberCarryNoParameters)
{
    const QEvent plain(static_cast<QEvent::Type>(WM_LOGIN_SUCCESS));
    EXPECT_EQ(AsWindowMessage(&plain), nullptr);
    const CWindowMessageEvent other(1234, 0, nullptr);
    EXPECT_EQ(AsWindowMessage(&other), nullptr);
    const CWindowMessageEvent login(WM_LOGIN_SUCCESS, 0, nullptr);
    EXPECT_EQ(AsWindowMessage(&login), &login);
    EXPECT_EQ(AsWindowMessage(nullptr), nullptr);
}

TEST(QtTradeUiTest, ShowsCoreMessagesDecodedAndPostsToTheMainWindow)
{
    CQtTradeUi ui;
    SetTradeUi(&ui);
    MessageRecorder recorder;
    MessageCatcher catcher;

    GetTradeUi()->ShowMessage(Utf8ToAnsi("查询持仓失败,错误原因:") + Utf8ToAnsi("资金账号不存在"));
    GetTradeUi()->PostToMainWindow(WM_POSITION_READY);
    catcher.Deliver();
    SetTradeUi(nullptr);

    ASSERT_EQ(recorder.Requests().size(), 1u);
    EXPECT_EQ(recorder.Requests()[0].kind, MessageBoxes::Kind::Application);
    EXPECT_EQ(recorder.Requests()[0].text, QStringLiteral("查询持仓失败,错误原因:资金账号不存在"));
    ASSERT_EQ(catcher.Messages().size(), 1u);
    EXPECT_EQ(catcher.Messages()[0].message, WM_POSITION_READY);
    EXPECT_EQ(catcher.Messages()[0].lParam, nullptr);
}
} // namespace
