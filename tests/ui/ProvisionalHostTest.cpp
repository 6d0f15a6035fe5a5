#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

#include "UiTestSupport.h"
#include "server/DemoServer.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/TradeData.h"
#include "ui/LoginDlg.h"
#include "ui/ProvisionalHost.h"
#include "util/Clock.h"

namespace
{
CLoginDlg* ShownLoginDialog()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* const window : windows) {
        if (auto* const login = qobject_cast<CLoginDlg*>(window); login && login->isVisible())
            return login;
    }
    return nullptr;
}

/// Runs the application's event loop as start-up does; `steps` acts inside it. Returns
/// false when the loop had to be ended by the watchdog instead of by the host.
bool RunApplication(const std::function<void()>& steps)
{
    bool timedOut = false;
    QTimer act;
    act.setSingleShot(true);
    QObject::connect(&act, &QTimer::timeout, steps);
    act.start(0);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    watchdog.start(5000);
    QApplication::exec();
    return !timedOut;
}

class ProvisionalHostTest : public ::testing::Test
{
protected:
    void SetUp() override { Clock::SetNowForTesting(1700000000); }
    void TearDown() override
    {
        Clock::SetNowForTesting(std::nullopt);
        g_TradeData.m_login = login_result{};
    }

    ScopedTempConfig m_config;
    MessageRecorder m_boxes;
};

TEST_F(ProvisionalHostTest, LoginTakesOverTheReplySaysSoAndEnds)
{
    const auto server = TestSupport::StartDemoServer();
    ASSERT_NE(server, nullptr);
    g_ClientConfig.SetTradeSrvIP("127.0.0.1");
    g_ClientConfig.SetTradeSrvPort(std::to_string(server->Port()));

    CProvisionalLoginHost host;
    host.Start();
    EXPECT_EQ(GetMainWindow(), &host);
    CLoginDlg* const login = ShownLoginDialog();
    ASSERT_NE(login, nullptr);

    const bool endedByHost = RunApplication([login] {
        login->findChild<QLineEdit*>(QStringLiteral("userNameEdit"))->clear();
        TypeText(login->findChild<QLineEdit*>(QStringLiteral("userNameEdit")),
                 QString::fromLatin1(DemoAccounts::kMainAccount));
        TypeText(login->findChild<QLineEdit*>(QStringLiteral("passwordEdit")),
                 QString::fromLatin1(DemoAccounts::kMainPassword));
        TypeText(login->findChild<QLineEdit*>(QStringLiteral("checkCodeEdit")),
                 QString::fromStdString(login->CheckCode()));
        QTest::mouseClick(login->findChild<QPushButton*>(QStringLiteral("loginButton")),
                          Qt::LeftButton);
    });
    ASSERT_TRUE(endedByHost);
    EXPECT_EQ(m_boxes.Texts(), std::vector<QString>{QStringLiteral("登录成功")});
    const quorvanta::MsgLogin_res& reply = login->LoginReply();
    EXPECT_FALSE(reply.fund_account().empty());
    EXPECT_EQ(g_TradeData.m_login.fund_account, reply.fund_account());
    EXPECT_EQ(g_TradeData.m_login.client_name, reply.client_name());
    EXPECT_EQ(g_TradeData.m_login.branch_no, reply.branch_no());
    EXPECT_EQ(g_TradeData.m_login.stock_account, reply.stock_account());
    EXPECT_TRUE(g_TradeData.m_login.password == DemoAccounts::kMainPassword);
}

TEST_F(ProvisionalHostTest, ClosingTheLoginDialogEnds)
{
    CProvisionalLoginHost host;
    host.Start();
    CLoginDlg* const login = ShownLoginDialog();
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(RunApplication([login] { login->close(); }));
    EXPECT_TRUE(m_boxes.Requests().empty());
}
} // namespace
