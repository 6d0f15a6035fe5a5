// The demo book: refusals of a faulty book at start, and the built-in book that a
// newcomer meets (the demo accounts, both exchanges, today's orders, ninety days of
// history).

#include <algorithm>
#include <ctime>
#include <functional>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "ServerTestSupport.h"
#include "server/DemoBook.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/DemoServerTarget.h"
#include "util/Clock.h"
#include "util/util.h"

using namespace quorvanta;
using ServerTest::Gbk;

namespace
{

class BookLoadTest : public ServerTest::ServerFixture
{
protected:
    // Starts a server on the given book text; returns Start's error ("" on success).
    std::string StartError(const std::string& book)
    {
        DemoServerOptions options;
        options.logRequests = false;
        options.bookPath = m_dir.Write("bad.json", book);
        DemoServer server(options);
        std::string error;
        if (server.Start(error))
            return "";
        EXPECT_EQ(error.rfind("bad demo book " + options.bookPath + ": ", 0), 0u) << error;
        return error;
    }

    // The test book with one change made to its JSON.
    static std::string Edited(const std::function<void(nlohmann::json&)>& edit)
    {
        nlohmann::json book = nlohmann::json::parse(ServerTest::kTestBook);
        edit(book);
        return book.dump();
    }
};

TEST_F(BookLoadTest, TheTestBookLoads)
{
    EXPECT_EQ(StartError(ServerTest::kTestBook), "");
}

TEST_F(BookLoadTest, FaultyBooksAreRefusedWithTheEntryNamed)
{
    using nlohmann::json;
    struct Case
    {
        const char* name;
        std::string book;
        std::string expected; ///< a part of the message
    };
    const std::vector<Case> cases = {
        {"not JSON", "{ \"options\": [", "not valid JSON"},
        {"not an object", "[1, 2]", "the book must be an object"},
        {"no customers", R"({"options": [], "customers": []})", "the book has no customer"},
        {"option without a price", Edited([](json& b) { b["options"][1].erase("apply_price"); }),
         "option 2: \"apply_price\" is missing"},
        {"unit of zero", Edited([](json& b) { b["options"][0]["apply_unit"] = 0; }),
         "option 1: \"apply_unit\" is out of range (1 to 2305843009213693951)"},
        {"amount as text", Edited([](json& b) { b["options"][0]["apply_unit"] = "100"; }),
         "option 1: \"apply_unit\" must be a whole number"},
        {"window reversed", Edited([](json& b) { b["options"][0]["apply_end_day"] = -11; }),
         "option 1: the exercise window ends before it begins"},
        {"maximum below minimum",
         Edited([](json& b) { b["options"][0]["apply_high_amount"] = 100; }),
         "option 1: apply_high_amount is below apply_low_amount"},
        {"exchange 3", Edited([](json& b) { b["options"][0]["exchange_type"] = "3"; }),
         "option 1: exchange_type must be \"1\" (Shanghai) or \"2\" (Shenzhen)"},
        {"option twice", Edited([](json& b) { b["options"][1]["sopt_code"] = "1000012"; }),
         "option 2: option code \"1000012\" is listed twice"},
        {"position of an unknown option",
         Edited([](json& b) { b["customers"][0]["positions"][1]["sopt_code"] = "777"; }),
         "customer 1, position 2: unknown option code \"777\""},
        {"position of another's account",
         Edited([](json& b) { b["customers"][0]["positions"][0]["stock_account"] = "A987654321"; }),
         "customer 1, position 1: the customer has no shareholder account \"A987654321\""},
        {"position across exchanges",
         Edited([](json& b) { b["customers"][0]["positions"][1]["sopt_code"] = "1000099"; }),
         "customer 1, position 2: the option and the shareholder account are on different "
         "exchanges"},
        {"negative amount",
         Edited([](json& b) { b["customers"][0]["positions"][0]["enable_amount"] = -1; }),
         "customer 1, position 1: \"enable_amount\" is out of range (0 to 2305843009213693951)"},
        {"order status X",
         Edited([](json& b) { b["customers"][0]["orders"][0]["entrust_status"] = "X"; }),
         "customer 1, order 1: entrust_status must be one of \"0\" to \"9\""},
        {"order time 250000",
         Edited([](json& b) { b["customers"][0]["orders"][0]["entrust_time"] = "250000"; }),
         "customer 1, order 1: entrust_time must be a time HHMMSS"},
        {"order in the future", Edited([](json& b) { b["customers"][0]["orders"][0]["day"] = 1; }),
         "customer 1, order 1: \"day\" is out of range (-3650 to 0)"},
        {"open orders above frozen",
         Edited([](json& b) { b["customers"][0]["positions"][0]["frozen_amount"] = 100; }),
         "customer 1: today's open orders of \"1000012\" exceed its frozen_amount"},
        {"same login twice", Edited([](json& b) { b["customers"][1]["account"] = "10001234"; }),
         "customer 2: account \"10001234\" is listed twice"},
        {"fund account not a number",
         Edited([](json& b) { b["customers"][1]["fund_account"] = "2000x"; }),
         "customer 2: fund_account must be a number of at most 4294967295"},
        {"fund account too large",
         Edited([](json& b) { b["customers"][1]["fund_account"] = "4294967296"; }),
         "customer 2: fund_account must be a number of at most 4294967295"},
        {"shareholder account twice", Edited([](json& b) {
             b["customers"][1]["shareholder_accounts"][0]["stock_account"] = "A123456789";
             b["customers"][1]["positions"] = json::array();
             b["customers"][1]["orders"] = json::array();
         }),
         "customer 2: shareholder account \"A123456789\" is listed twice"},
        {"no shareholder account",
         Edited([](json& b) { b["customers"][1]["shareholder_accounts"] = json::array(); }),
         "customer 2: a customer needs at least one shareholder account"},
        {"empty password", Edited([](json& b) { b["customers"][1]["password"] = ""; }),
         "customer 2: \"password\" must not be empty"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string error = StartError(c.book);
        ASSERT_FALSE(error.empty());
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST_F(BookLoadTest, MissingBookFileIsReported)
{
    DemoServerOptions options;
    options.logRequests = false;
    options.bookPath = m_dir.Path() + "/absent.json";
    DemoServer server(options);
    std::string error;
    EXPECT_FALSE(server.Start(error));
    EXPECT_EQ(error,
              "cannot read the demo book " + options.bookPath + ": No such file or directory");
}

TEST(BookDates, DayOffsetsResolveAgainstTheStartDay)
{
    DemoBook book;
    std::string error;
    std::chrono::sys_days start{};
    ASSERT_TRUE(ParseDate("20240301", start));
    ASSERT_TRUE(LoadDemoBook(ServerTest::kTestBook, start, book, error)) << error;
    // The window -10..+10 around 1 March 2024 crosses the leap day.
    EXPECT_EQ(book.options[0].applyBeginDate, "20240220");
    EXPECT_EQ(book.options[0].applyEndDate, "20240311");
    std::vector<std::string> dates;
    for (const auto& order : book.customers[0].orders)
        dates.push_back(order.initDate);
    EXPECT_EQ(dates, (std::vector<std::string>{"20231127", "20231203", "20240131", "20240229",
                                               "20240301", "20240301"}));
    EXPECT_EQ(book.nextEntrustNo, 5008u);

    for (const char* bad : {"2024030", "20240230", "2024022a", "abcdefgh", "20241301"}) {
        std::chrono::sys_days day{};
        EXPECT_FALSE(ParseDate(bad, day)) << bad;
    }
}

TEST(BookDates, DatesAndTimesOfDayKeepTheirFixedWidth)
{
    using namespace std::chrono;
    // Every field zero-padded, at both ends of four-digit years.
    const std::vector<std::pair<sys_days, std::string>> dates = {
        {sys_days{year{2026} / 12 / 11}, "20261211"}, {sys_days{year{2024} / 2 / 29}, "20240229"},
        {sys_days{year{1} / 1 / 1}, "00010101"},      {sys_days{year{987} / 6 / 5}, "09870605"},
        {sys_days{year{9999} / 12 / 31}, "99991231"},
    };
    for (const auto& [day, text] : dates) {
        EXPECT_EQ(FormatDate(day), text);
        sys_days back{};
        ASSERT_TRUE(ParseDate(text, back)) << text;
        EXPECT_EQ(back, day) << text;
    }

    // Local time of day: build the moment from local fields, so any time zone agrees.
    for (const auto& [hour, minute, second, text] :
         std::vector<std::tuple<int, int, int, std::string>>{
             {0, 0, 0, "000000"}, {9, 5, 7, "090507"}, {23, 59, 59, "235959"}}) {
        std::tm local{};
        local.tm_year = 2026 - 1900;
        local.tm_mon = 11;
        local.tm_mday = 11;
        local.tm_hour = hour;
        local.tm_min = minute;
        local.tm_sec = second;
        local.tm_isdst = -1;
        EXPECT_EQ(FormatTimeOfDay(std::mktime(&local)), text);
    }
}

class BuiltInBookTest : public ServerTest::ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        m_server = TestSupport::StartDemoServer();
        ASSERT_NE(m_server, nullptr);
        TestSupport::PointClientAt(m_server->Port());
    }
};

bool HasChinese(const std::string& gbk)
{
    return std::any_of(gbk.begin(), gbk.end(), [](char c) { return (c & 0x80) != 0; });
}

TEST_F(BuiltInBookTest, MainDemoAccountHoldsOnTwoExchanges)
{
    MsgLogin_res login;
    ASSERT_TRUE(Login(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword, &login));
    EXPECT_EQ(login.fund_account(), "10001234");
    EXPECT_EQ(login.branch_no(), "3101");
    EXPECT_EQ(login.client_name(), Gbk("张伟"));
    EXPECT_EQ(login.exchange_type(), "1");

    MsgQryStockAcc_res_collection accounts;
    ASSERT_TRUE(m_client->ReqQryStockAcc(StockAccReq(), accounts));
    ASSERT_EQ(accounts.res_collection_size(), 2);
    EXPECT_EQ(accounts.res_collection(0).exchange_type(), "1");
    EXPECT_EQ(accounts.res_collection(0).main_flag(), "0");
    EXPECT_EQ(accounts.res_collection(1).exchange_type(), "2");
    EXPECT_EQ(accounts.res_collection(1).main_flag(), "1");

    for (const auto& account : accounts.res_collection()) {
        MsgQryPosCode_res_collection positions;
        ASSERT_TRUE(m_client->ReqQryPosCode(PosCodeReq(account.stock_account()), positions));
        EXPECT_GE(positions.res_collection_size(), 1) << account.stock_account();
    }

    MsgQryOptCode_res_collection codes;
    ASSERT_TRUE(m_client->ReqQryOptCode(OptCodeReq(), codes));
    ASSERT_GE(codes.res_collection_size(), 3);
    for (const auto& code : codes.res_collection()) {
        EXPECT_TRUE(HasChinese(code.sopt_name())) << code.sopt_code();
        EXPECT_TRUE(HasChinese(code.stock_name())) << code.sopt_code();
    }

    MsgQryEntrust_res_collection today;
    ASSERT_TRUE(m_client->ReqQryEntrust(EntrustQryReq(), today));
    std::set<std::string> statuses;
    for (const auto& order : today.res_collection()) {
        EXPECT_EQ(order.init_date(), "20240315");
        statuses.insert(order.entrust_status());
    }
    EXPECT_GE(statuses.size(), 3u) << "today's orders in several statuses";

    // The terminal's history range on the test day: the ninety days before it.
    MsgQryHisEntrust_res_collection history;
    ASSERT_TRUE(m_client->ReqQryHisEntrust(HisEntrustReq("20231216", "20240314"), history));
    ASSERT_GE(history.res_collection_size(), 5);
    std::set<std::string> dates;
    std::set<std::string> historyAccounts;
    for (const auto& order : history.res_collection()) {
        dates.insert(order.init_date());
        historyAccounts.insert(order.stock_account());
    }
    EXPECT_LE(*dates.begin(), "20240115") << "history reaches back two months and more";
    EXPECT_GE(*dates.rbegin(), "20240301") << "and up to recent days";
    EXPECT_EQ(historyAccounts.size(), 2u);
}

TEST_F(BuiltInBookTest, NewcomerCanExerciseAndCancel)
{
    ASSERT_TRUE(Login(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword));
    MsgEntrust_res placed;
    ASSERT_TRUE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", "100"), placed));
    ASSERT_EQ(m_client->GetErrorCode(), 0) << AnsiToUtf8(m_client->GetErrorMsg());
    MsgCanEntrust_res cancelled;
    ASSERT_TRUE(m_client->ReqCanEntrust(CancelReq(placed.entrust_no(), "1"), cancelled));
    EXPECT_EQ(m_client->GetErrorCode(), 0) << AnsiToUtf8(m_client->GetErrorMsg());
}

TEST_F(BuiltInBookTest, OtherDemoAccountHasOneShareholderAccount)
{
    MsgLogin_res login;
    ASSERT_TRUE(Login(DemoAccounts::kOtherAccount, DemoAccounts::kOtherPassword, &login));
    MsgQryStockAcc_req req = StockAccReq();
    req.set_fund_account(static_cast<uint32_t>(std::stoul(login.fund_account())));
    req.set_password(DemoAccounts::kOtherPassword);
    req.set_branch_no(login.branch_no());
    MsgQryStockAcc_res_collection accounts;
    ASSERT_TRUE(m_client->ReqQryStockAcc(req, accounts));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    ASSERT_EQ(accounts.res_collection_size(), 1);
    EXPECT_EQ(accounts.res_collection(0).stock_account(), login.stock_account());
}

} // namespace
