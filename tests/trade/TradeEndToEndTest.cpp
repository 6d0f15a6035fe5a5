// The trading context against the demo trade server: log in, run the five queries in the
// order the main window runs them, and find the demo book in the lists.

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TradeTestSupport.h"
#include "server/DemoBook.h"
#include "server/DemoServer.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/DemoServerTarget.h"
#include "trade/LoginRequest.h"
#include "trade/TradeData.h"
#include "trade/WindowMessages.h"
#include "util/Clock.h"

using namespace quorvanta;
using namespace TradeTest;

namespace
{
class TradeEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestSupport::ResetSessionToken();
        m_server = TestSupport::StartDemoServer();
        ASSERT_NE(m_server, nullptr);
        TestSupport::PointClientAt(m_server->Port());

        // The book as the server sees it: day offsets resolved against the same today.
        std::string error;
        ASSERT_TRUE(LoadDemoBook(BuiltInDemoBookJson(), LocalDay(Clock::Now()), m_book, error))
            << error;
    }
    void TearDown() override
    {
        m_server.reset();
        TestSupport::ResetSessionToken();
    }

    const BookCustomer* Customer(const std::string& account) const
    {
        for (const auto& customer : m_book.customers) {
            if (customer.account == account)
                return &customer;
        }
        return nullptr;
    }

    /// Logs in as the login dialog does and fills m_login as the main window does.
    bool LogIn(const std::string& account, const std::string& password)
    {
        const MsgLogin_req req = MakeLoginRequest(account, password);
        MsgLogin_res res;
        CClientUtil session;
        if (!session.ReqLogin(req, res) || session.GetErrorCode() != 0)
            return false;

        login_result& login = m_data.m_login;
        login.content_type = res.content_type();
        login.account_content = res.account_content();
        login.branch_no = res.branch_no();
        login.fund_account = res.fund_account();
        login.client_id = res.client_id();
        login.client_name = res.client_name();
        login.fundaccount_count = res.fundaccount_count();
        login.money_count = res.money_count();
        login.money_type = res.money_type();
        login.square_flag = res.square_flag();
        login.enable_balance = res.enable_balance();
        login.current_balance = res.current_balance();
        login.client_rights = res.client_rights();
        login.bank_no = res.bank_no();
        login.exchange_type = res.exchange_type();
        login.exchange_name = res.exchange_name();
        login.stock_account = res.stock_account();
        login.password = password;
        return true;
    }

    TestSupport::ScopedTransportTimeouts m_timeouts{
        {std::chrono::milliseconds(2000), std::chrono::milliseconds(5000)}};
    std::unique_ptr<DemoServer> m_server;
    DemoBook m_book;
    RecordingTradeUi m_ui;
    ScopedTradeUi m_installUi{&m_ui};
    CTradeData m_data;
};

TEST_F(TradeEndToEndTest, LoginAndTheFiveQueriesShowTheDemoBook)
{
    const BookCustomer* customer = Customer(DemoAccounts::kMainAccount);
    ASSERT_NE(customer, nullptr);
    ASSERT_TRUE(LogIn(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword));
    EXPECT_EQ(m_data.m_login.fund_account, customer->fundAccount);
    EXPECT_EQ(m_data.m_login.branch_no, customer->branchNo);
    EXPECT_EQ(m_data.m_login.client_name, customer->clientName);

    // The main window's order: the positions query walks the accounts loaded first.
    EXPECT_EQ(m_data.QueryStockAcc(), 0);
    EXPECT_EQ(m_data.QueryOptCode(), 0);
    EXPECT_EQ(m_data.QueryEntrust(), 0);
    EXPECT_EQ(m_data.QueryHisEntrust(), 0);
    EXPECT_EQ(m_data.QueryPosCode(), 0);

    EXPECT_TRUE(m_ui.Messages().empty());
    EXPECT_EQ(m_ui.Posts(),
              (std::vector<int>{WM_CURENTRUST_READY, WM_HISENTRUST_READY, WM_POSITION_READY}));

    // Shareholder accounts, in book order.
    ASSERT_EQ(m_data.m_stockAccounts.size(), customer->shareholderAccounts.size());
    ASSERT_GE(m_data.m_stockAccounts.size(), 2u) << "the main demo customer has two accounts";
    for (std::size_t i = 0; i < m_data.m_stockAccounts.size(); ++i) {
        EXPECT_EQ(m_data.m_stockAccounts[i].stock_account,
                  customer->shareholderAccounts[i].stockAccount);
        EXPECT_EQ(m_data.m_stockAccounts[i].exchange_type,
                  customer->shareholderAccounts[i].exchangeType);
    }

    // Positions: grouped by shareholder account in the order of the accounts.
    std::vector<const BookPosition*> expectedPositions;
    for (const auto& account : customer->shareholderAccounts) {
        for (const auto& position : customer->positions) {
            if (position.stockAccount == account.stockAccount)
                expectedPositions.push_back(&position);
        }
    }
    ASSERT_EQ(m_data.m_positions.size(), expectedPositions.size());
    ASSERT_FALSE(m_data.m_positions.empty());
    for (std::size_t i = 0; i < expectedPositions.size(); ++i) {
        const auto& row = m_data.m_positions[i];
        EXPECT_EQ(row.stock_account, expectedPositions[i]->stockAccount) << i;
        EXPECT_EQ(row.sopt_code, expectedPositions[i]->soptCode) << i;
        EXPECT_EQ(row.enable_amount, std::to_string(expectedPositions[i]->enableAmount)) << i;
    }

    // Option codes: every held code is there, with its terms, for the lookups.
    for (const BookPosition* position : expectedPositions) {
        const auto option =
            std::find_if(m_book.options.begin(), m_book.options.end(),
                         [&](const BookOption& o) { return o.soptCode == position->soptCode; });
        ASSERT_NE(option, m_book.options.end());
        EXPECT_EQ(m_data.GetApplyPrice(option->soptCode), option->applyPrice);
        EXPECT_EQ(m_data.GetSoptName(option->soptCode), option->soptName);
        EXPECT_EQ(m_data.GetSourceCode(option->soptCode), option->sourceCode);
        EXPECT_EQ(m_data.GetStockName(option->soptCode), option->stockName);
    }

    // Orders: today's in one list, the ninety days before today in the other.
    const std::string today = FormatDate(LocalDay(Clock::Now()));
    const std::string firstDay = FormatDate(LocalDay(Clock::Now() - 90 * 24 * 60 * 60));
    std::vector<std::string> expectedToday;
    std::vector<std::string> expectedHistory;
    for (const auto& order : customer->orders) {
        if (order.initDate == today)
            expectedToday.push_back(std::to_string(order.entrustNo));
        else if (order.initDate >= firstDay && order.initDate < today)
            expectedHistory.push_back(std::to_string(order.entrustNo));
    }
    std::vector<std::string> todayOrders;
    for (const auto& order : m_data.m_curEntrusts)
        todayOrders.push_back(order.entrust_no);
    std::vector<std::string> history;
    for (const auto& order : m_data.m_hisEntrusts)
        history.push_back(order.entrust_no);
    EXPECT_FALSE(expectedToday.empty());
    EXPECT_FALSE(expectedHistory.empty());
    EXPECT_EQ(todayOrders, expectedToday);
    EXPECT_EQ(history, expectedHistory);
    for (const auto& order : m_data.m_curEntrusts) {
        EXPECT_FALSE(m_data.GetStatusName(order.entrust_status).empty()) << order.entrust_no;
        EXPECT_EQ(order.init_date, today);
    }
}

TEST_F(TradeEndToEndTest, WrongPasswordAfterLoginIsReportedWithTheServersText)
{
    ASSERT_TRUE(LogIn(DemoAccounts::kOtherAccount, DemoAccounts::kOtherPassword));
    m_data.m_login.password = "not-the-password";

    EXPECT_EQ(m_data.QueryEntrust(), -1);

    const auto messages = m_ui.Messages();
    ASSERT_EQ(messages.size(), 1u);
    // "查询委托列表失败,错误原因:" in GBK, then whatever the server said, kept whole.
    const std::string prefix = "\xB2\xE9\xD1\xAF\xCE\xAF\xCD\xD0\xC1\xD0\xB1\xED\xCA\xA7\xB0\xDC,"
                               "\xB4\xED\xCE\xF3\xD4\xAD\xD2\xF2:";
    EXPECT_EQ(messages[0].rfind(prefix, 0), 0u);
    EXPECT_GT(messages[0].size(), prefix.size()) << "the server's description follows";
    EXPECT_TRUE(m_ui.Posts().empty());
}
} // namespace
