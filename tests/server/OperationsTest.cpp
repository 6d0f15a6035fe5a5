// The eight operations of the demo trade server, driven through the terminal's own
// CClientUtil over loopback: happy paths with every field, then every refusal.

#include <set>
#include <thread>

#include "ServerTestSupport.h"
#include "server/ServerErrors.h"
#include "tests/support/ClientTarget.h"
#include "util/Clock.h"
#include "util/util.h"

using namespace quorvanta;
using ServerTest::Gbk;

namespace
{

class OperationsTest : public ServerTest::ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        StartServer();
    }
};

bool IsHexToken(const std::string& token)
{
    return token.size() == 32 && token.find_first_not_of("0123456789abcdef") == std::string::npos;
}

TEST_F(OperationsTest, LoginAnswersTheAccountRecordAndAFreshToken)
{
    MsgLogin_res res;
    ASSERT_TRUE(Login("10001234", "888888", &res));
    EXPECT_TRUE(IsHexToken(g_strTokenKey)) << g_strTokenKey;
    EXPECT_EQ(res.content_type(), "0");
    EXPECT_EQ(res.account_content(), "10001234");
    EXPECT_EQ(res.branch_no(), "3101");
    EXPECT_EQ(res.fund_account(), "10001234");
    EXPECT_EQ(res.client_id(), "310100001234");
    EXPECT_EQ(res.client_name(), Gbk("张伟"));
    EXPECT_EQ(res.fundaccount_count(), "1");
    EXPECT_EQ(res.money_count(), "1");
    EXPECT_EQ(res.money_type(), "0");
    EXPECT_EQ(res.square_flag(), "0");
    EXPECT_EQ(res.enable_balance(), "1000.00");
    EXPECT_EQ(res.current_balance(), "1200.00");
    EXPECT_EQ(res.client_rights(), "0e");
    EXPECT_EQ(res.bank_no(), "2");
    // The main shareholder account (main_flag "0") speaks for the login.
    EXPECT_EQ(res.exchange_type(), "1");
    EXPECT_EQ(res.exchange_name(), Gbk("上海"));
    EXPECT_EQ(res.stock_account(), "A123456789");

    const std::string first = g_strTokenKey;
    ASSERT_TRUE(Login());
    EXPECT_NE(g_strTokenKey, first) << "every login gets its own token";
}

TEST_F(OperationsTest, LoginRefusalOpensNoSession)
{
    for (const auto& [account, password] :
         std::vector<std::pair<std::string, std::string>>{{"10001234", "000000"},
                                                          {"10001234", "8888888"},
                                                          {"10001234", ""},
                                                          {"99999999", "888888"},
                                                          {"20005678", "888888"}}) {
        SCOPED_TRACE(account + " / " + password);
        TestSupport::ResetSessionToken();
        MsgLogin_res res;
        EXPECT_FALSE(Login(account, password, &res));
        EXPECT_EQ(m_client->GetErrorCode(), DemoError::kBadLogin);
        // "账号或密码错误" in GBK, byte for byte.
        EXPECT_EQ(m_client->GetErrorMsg(),
                  "\xd5\xcb\xba\xc5\xbb\xf2\xc3\xdc\xc2\xeb\xb4\xed\xce\xf3");
        EXPECT_EQ(res.fund_account(), "");

        // The refusal carried a token, but it is nobody's session.
        EXPECT_FALSE(g_strTokenKey.empty());
        MsgQryStockAcc_res_collection accounts;
        m_client->ReqQryStockAcc(StockAccReq(), accounts);
        EXPECT_EQ(m_client->GetErrorCode(), DemoError::kSessionExpired);
        EXPECT_EQ(accounts.res_collection_size(), 0);
    }
}

TEST_F(OperationsTest, ShareholderAccountsInBookOrder)
{
    ASSERT_TRUE(Login());
    const std::string token = g_strTokenKey;
    MsgQryStockAcc_res_collection res;
    ASSERT_TRUE(m_client->ReqQryStockAcc(StockAccReq(), res));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(g_strTokenKey, token) << "the session's token comes back";
    ASSERT_EQ(res.res_collection_size(), 2);

    const MsgQryStockAcc_res& sh = res.res_collection(0);
    EXPECT_EQ(sh.exchange_type(), "1");
    EXPECT_EQ(sh.exchange_name(), Gbk("上海"));
    EXPECT_EQ(sh.stock_account(), "A123456789");
    EXPECT_EQ(sh.holder_status(), "0");
    EXPECT_EQ(sh.holder_rights(), "");
    EXPECT_EQ(sh.main_flag(), "0");
    EXPECT_EQ(sh.register_(), "1");
    EXPECT_EQ(sh.seat_no(), "23456");
    EXPECT_EQ(sh.enable_amount(), "0");

    const MsgQryStockAcc_res& sz = res.res_collection(1);
    EXPECT_EQ(sz.exchange_type(), "2");
    EXPECT_EQ(sz.exchange_name(), Gbk("深圳"));
    EXPECT_EQ(sz.stock_account(), "0123456789");
    EXPECT_EQ(sz.main_flag(), "1");
    EXPECT_EQ(sz.seat_no(), "012345");
}

TEST_F(OperationsTest, OptionCodesAreThoseTheCustomerHolds)
{
    ASSERT_TRUE(Login());
    MsgQryOptCode_res_collection res;
    ASSERT_TRUE(m_client->ReqQryOptCode(OptCodeReq(), res));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    ASSERT_EQ(res.res_collection_size(), 3) << "1000099 is held by nobody";

    const MsgQryOptCode_res& row = res.res_collection(0);
    EXPECT_EQ(row.exchange_type(), "1");
    EXPECT_EQ(row.exchange_type_name(), Gbk("上海"));
    EXPECT_EQ(row.sopt_code(), "1000012");
    EXPECT_EQ(row.sopt_name(), Gbk("华信科技期权1"));
    EXPECT_EQ(row.apply_code(), "7000012");
    EXPECT_EQ(row.source_code(), "600123");
    EXPECT_EQ(row.stock_name(), Gbk("华信科技"));
    EXPECT_EQ(row.grant_price(), "12.00");
    EXPECT_EQ(row.apply_price(), "12.50");
    EXPECT_EQ(row.apply_begin_date(), "20240305");
    EXPECT_EQ(row.apply_end_date(), "20240325");
    EXPECT_EQ(row.apply_unit(), "100");
    EXPECT_EQ(row.apply_low_amount(), "200");
    EXPECT_EQ(row.apply_high_amount(), "5000");
    EXPECT_EQ(row.sopttax_kind(), "1");
    EXPECT_EQ(row.sopttax_kind_name(), Gbk("递延纳税"));
    EXPECT_EQ(row.seat_no(), "23456");
    EXPECT_EQ(row.apply_status(), "0");
    EXPECT_EQ(row.status_name(), Gbk("正常"));
    EXPECT_EQ(row.tax_months(), "12");
    EXPECT_EQ(row.soptwindow_flag(), "1");
    EXPECT_EQ(row.soptwindow_flag_name(), Gbk("行权窗口期内"));
    EXPECT_EQ(row.position_str(), "000001");

    EXPECT_EQ(res.res_collection(1).sopt_code(), "037021");
    EXPECT_EQ(res.res_collection(1).exchange_type(), "2");
    const MsgQryOptCode_res& closed = res.res_collection(2);
    EXPECT_EQ(closed.sopt_code(), "037022");
    EXPECT_EQ(closed.apply_begin_date(), "20240320");
    EXPECT_EQ(closed.apply_end_date(), "20240414");
    EXPECT_EQ(closed.soptwindow_flag(), "0");
    EXPECT_EQ(closed.soptwindow_flag_name(), Gbk("非行权窗口期"));

    MsgQryOptCode_res_collection one;
    ASSERT_TRUE(m_client->ReqQryOptCode(OptCodeReq("037021"), one));
    ASSERT_EQ(one.res_collection_size(), 1);
    EXPECT_EQ(one.res_collection(0).sopt_code(), "037021");
}

TEST_F(OperationsTest, PositionsPerShareholderAccount)
{
    ASSERT_TRUE(Login());
    MsgQryPosCode_res_collection sh;
    ASSERT_TRUE(m_client->ReqQryPosCode(PosCodeReq("A123456789"), sh));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    ASSERT_EQ(sh.res_collection_size(), 1);
    const MsgQryPosCode_res& row = sh.res_collection(0);
    EXPECT_EQ(row.exchange_type(), "1");
    EXPECT_EQ(row.exchange_type_name(), Gbk("上海"));
    EXPECT_EQ(row.stock_account(), "A123456789");
    EXPECT_EQ(row.sopt_code(), "1000012");
    EXPECT_EQ(row.sopt_name(), Gbk("华信科技期权1"));
    EXPECT_EQ(row.source_code(), "600123");
    EXPECT_EQ(row.stock_name(), Gbk("华信科技"));
    EXPECT_EQ(row.register_amount(), "4500");
    EXPECT_EQ(row.confirm_amount(), "4500");
    EXPECT_EQ(row.used_amount(), "1000");
    EXPECT_EQ(row.frozen_amount(), "500");
    EXPECT_EQ(row.enable_amount(), "3000");
    EXPECT_EQ(row.sopttax_kind(), "1");
    EXPECT_EQ(row.sopttax_kind_name(), Gbk("递延纳税"));
    EXPECT_EQ(row.seat_no(), "23456");
    EXPECT_EQ(row.executives_flag(), "1");
    EXPECT_EQ(row.limitsell_days(), "180");
    EXPECT_EQ(row.soptmatch_flag(), "1");
    EXPECT_EQ(row.soptreg_status(), "0");
    EXPECT_EQ(row.status_name(), Gbk("正常"));
    EXPECT_EQ(row.tax_months(), "12");
    EXPECT_EQ(row.sum_payable_tax(), "100.00");
    EXPECT_EQ(row.sum_paid_tax(), "40.00");
    EXPECT_EQ(row.position_str(), "000001");

    MsgQryPosCode_res_collection sz;
    ASSERT_TRUE(m_client->ReqQryPosCode(PosCodeReq("0123456789"), sz));
    ASSERT_EQ(sz.res_collection_size(), 2);
    EXPECT_EQ(sz.res_collection(0).sopt_code(), "037021");
    EXPECT_EQ(sz.res_collection(0).exchange_type(), "2");
    EXPECT_EQ(sz.res_collection(0).enable_amount(), "800");
    EXPECT_EQ(sz.res_collection(1).sopt_code(), "037022");
    EXPECT_EQ(sz.res_collection(1).enable_amount(), "600");
}

TEST_F(OperationsTest, TodaysOrdersAreTheCustomersOwnOfToday)
{
    ASSERT_TRUE(Login());
    MsgQryEntrust_res_collection res;
    ASSERT_TRUE(m_client->ReqQryEntrust(EntrustQryReq(), res));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    ASSERT_EQ(res.res_collection_size(), 2) << "5005 is the other customer's";

    const MsgQryEntrust_res& row = res.res_collection(0);
    EXPECT_EQ(row.init_date(), "20240315");
    EXPECT_EQ(row.entrust_no(), "5006");
    EXPECT_EQ(row.exchange_type(), "1");
    EXPECT_EQ(row.exchange_type_name(), Gbk("上海"));
    EXPECT_EQ(row.stock_account(), "A123456789");
    EXPECT_EQ(row.sopt_code(), "1000012");
    EXPECT_EQ(row.sopt_name(), Gbk("华信科技期权1"));
    EXPECT_EQ(row.entrust_bs(), "1");
    EXPECT_EQ(row.entrust_price(), "12.50");
    EXPECT_EQ(row.entrust_amount(), "500");
    EXPECT_EQ(row.report_no(), "5006");
    EXPECT_EQ(row.report_time(), "093015");
    EXPECT_EQ(row.entrust_type(), "0");
    EXPECT_EQ(row.type_name(), Gbk("委托"));
    EXPECT_EQ(row.entrust_status(), "2");
    EXPECT_EQ(row.status_name(), Gbk("已报"));
    EXPECT_EQ(row.entrust_way(), "5");
    EXPECT_EQ(row.entrust_way_name(), Gbk("网上委托"));
    EXPECT_EQ(row.entrust_time(), "093015");
    EXPECT_EQ(row.entrust_prop(), "P");
    EXPECT_EQ(row.cancel_info(), "");
    EXPECT_EQ(row.withdraw_flag(), "0");
    EXPECT_EQ(row.position_str(), "202403155006");

    const MsgQryEntrust_res& filled = res.res_collection(1);
    EXPECT_EQ(filled.entrust_no(), "5007");
    EXPECT_EQ(filled.exchange_type(), "2");
    EXPECT_EQ(filled.exchange_type_name(), Gbk("深圳"));
    EXPECT_EQ(filled.entrust_status(), "8");
    EXPECT_EQ(filled.status_name(), Gbk("已成"));
}

TEST_F(OperationsTest, HistoryIsTheRequestedDaysBeforeToday)
{
    ASSERT_TRUE(Login());
    struct Case
    {
        std::string start, end, requestNum;
        std::vector<std::string> numbers;
    };
    const std::vector<Case> cases = {
        // The terminal's range on 15 March 2024: the ninety days before today.
        {"20231216", "20240314", "100", {"5002", "5003", "5004"}},
        // A range reaching into today still leaves today's orders out.
        {"20240101", "20240315", "100", {"5003", "5004"}},
        {"20231201", "20231231", "100", {"5001", "5002"}},
        {"20240314", "20240314", "100", {"5004"}},
        {"20200101", "20200131", "100", {}},
        {"20231216", "20240314", "2", {"5002", "5003"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start + ".." + c.end + " num " + c.requestNum);
        MsgQryHisEntrust_req req = HisEntrustReq(c.start, c.end);
        req.set_request_num(c.requestNum);
        MsgQryHisEntrust_res_collection res;
        ASSERT_TRUE(m_client->ReqQryHisEntrust(req, res));
        ASSERT_EQ(m_client->GetErrorCode(), 0);
        std::vector<std::string> numbers;
        for (const auto& row : res.res_collection())
            numbers.push_back(row.entrust_no());
        EXPECT_EQ(numbers, c.numbers);
    }

    MsgQryHisEntrust_res_collection res;
    ASSERT_TRUE(m_client->ReqQryHisEntrust(HisEntrustReq("20240314", "20240314"), res));
    ASSERT_EQ(res.res_collection_size(), 1);
    const MsgQryHisEntrust_res& row = res.res_collection(0);
    EXPECT_EQ(row.init_date(), "20240314");
    EXPECT_EQ(row.entrust_time(), "100000");
    EXPECT_EQ(row.entrust_amount(), "200");
    EXPECT_EQ(row.entrust_status(), "8");
    EXPECT_EQ(row.status_name(), Gbk("已成"));
    EXPECT_EQ(row.entrust_prop(), "P");
}

TEST_F(OperationsTest, ExerciseOrderFreezesTheQuantityAndShowsToday)
{
    ASSERT_TRUE(Login());
    MsgEntrust_res res;
    ASSERT_TRUE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", "300"), res));
    ASSERT_EQ(m_client->GetErrorCode(), 0) << AnsiToUtf8(m_client->GetErrorMsg());
    EXPECT_EQ(res.entrust_no(), "5008");
    EXPECT_EQ(res.init_date(), "20240315");
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("2700"), std::string("800")));

    // Blanks typed around the digits do not change the quantity; numbers keep rising.
    MsgEntrust_res second;
    ASSERT_TRUE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", " 200 "), second));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(second.entrust_no(), "5009");
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("2500"), std::string("1000")));

    MsgQryEntrust_res_collection today;
    ASSERT_TRUE(m_client->ReqQryEntrust(EntrustQryReq(), today));
    ASSERT_EQ(today.res_collection_size(), 4);
    const MsgQryEntrust_res& row = today.res_collection(2);
    EXPECT_EQ(row.entrust_no(), "5008");
    EXPECT_EQ(row.init_date(), "20240315");
    EXPECT_EQ(row.entrust_time(), "100000");
    EXPECT_EQ(row.entrust_status(), "2");
    EXPECT_EQ(row.status_name(), Gbk("已报"));
    EXPECT_EQ(row.entrust_prop(), "P");
    EXPECT_EQ(row.entrust_amount(), "300");
    EXPECT_EQ(row.entrust_price(), "12.50");
    EXPECT_EQ(row.stock_account(), "A123456789");
    EXPECT_EQ(today.res_collection(3).entrust_amount(), "200");

    // Not history: the order is today's.
    MsgQryHisEntrust_res_collection history;
    ASSERT_TRUE(m_client->ReqQryHisEntrust(HisEntrustReq("20240101", "20240315"), history));
    for (const auto& old : history.res_collection())
        EXPECT_NE(old.entrust_no(), "5008");
}

TEST_F(OperationsTest, ExerciseOnTheSecondExchangeTakesTheAccountsExchange)
{
    ASSERT_TRUE(Login());
    // The terminal sends the login account's exchange type ("1") for every order.
    MsgEntrust_res res;
    ASSERT_TRUE(m_client->ReqEntrust(EntrustReq("0123456789", "037021", "100"), res));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(Amounts("0123456789", "037021"),
              std::make_pair(std::string("700"), std::string("100")));

    MsgQryEntrust_res_collection today;
    ASSERT_TRUE(m_client->ReqQryEntrust(EntrustQryReq(), today));
    ASSERT_EQ(today.res_collection_size(), 3);
    EXPECT_EQ(today.res_collection(2).entrust_no(), res.entrust_no());
    EXPECT_EQ(today.res_collection(2).exchange_type(), "2");

    // Its cancel names exchange "2", as the order row says.
    MsgCanEntrust_res cancelled;
    ASSERT_TRUE(m_client->ReqCanEntrust(CancelReq(res.entrust_no(), "2"), cancelled));
    EXPECT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(Amounts("0123456789", "037021"),
              std::make_pair(std::string("800"), std::string("0")));
}

TEST_F(OperationsTest, ExerciseRefusals)
{
    ASSERT_TRUE(Login());
    struct Case
    {
        std::string account, code, quantity;
        int32_t error;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"A123456789", "9999999", "200", DemoError::kUnknownOptionCode, "权证代码不存在"},
        {"A123456789", "1000012 ", "200", DemoError::kUnknownOptionCode, "权证代码不存在"},
        {"A000000000", "1000012", "200", DemoError::kUnknownStockAccount, "股东帐号不存在"},
        {"A987654321", "1000012", "200", DemoError::kUnknownStockAccount, "股东帐号不存在"},
        {"A123456789", "1000099", "200", DemoError::kNoPosition, "该股东帐号没有此权证的持仓"},
        {"A123456789", "037021", "200", DemoError::kNoPosition, "该股东帐号没有此权证的持仓"},
        {"0123456789", "037022", "100", DemoError::kOutsideWindow,
         "不在行权期内，行权期为20240320至20240414"},
        {"A123456789", "1000012", "12.5", DemoError::kNotWholeNumber, "行权数量必须是正整数"},
        {"A123456789", "1000012", "abc", DemoError::kNotWholeNumber, "行权数量必须是正整数"},
        {"A123456789", "1000012", "", DemoError::kNotWholeNumber, "行权数量必须是正整数"},
        {"A123456789", "1000012", " ", DemoError::kNotWholeNumber, "行权数量必须是正整数"},
        {"A123456789", "1000012", "-200", DemoError::kNotWholeNumber, "行权数量必须是正整数"},
        {"A123456789", "1000012", "2 00", DemoError::kNotWholeNumber, "行权数量必须是正整数"},
        {"A123456789", "1000012", "0", DemoError::kBelowMinimum, "行权数量低于最低行权数量200"},
        {"A123456789", "1000012", "100", DemoError::kBelowMinimum, "行权数量低于最低行权数量200"},
        {"A123456789", "1000012", "5100", DemoError::kAboveMaximum, "行权数量超过最高行权数量5000"},
        {"A123456789", "1000012", "99999999999999999999999", DemoError::kAboveMaximum,
         "行权数量超过最高行权数量5000"},
        {"A123456789", "1000012", "250", DemoError::kNotMultipleOfUnit,
         "行权数量必须是行权单位100的整数倍"},
        {"A123456789", "1000012", "3100", DemoError::kAboveAvailable,
         "行权数量超过可用数量，可用数量为3000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.account + " " + c.code + " [" + c.quantity + "]");
        MsgEntrust_res res;
        EXPECT_TRUE(m_client->ReqEntrust(EntrustReq(c.account, c.code, c.quantity), res));
        EXPECT_EQ(m_client->GetErrorCode(), c.error);
        EXPECT_EQ(m_client->GetErrorMsg(), Gbk(c.text));
        EXPECT_EQ(res.entrust_no(), "");
    }
    // Nothing moved, no order was made, and no order number was used up.
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("3000"), std::string("500")));
    MsgQryEntrust_res_collection today;
    ASSERT_TRUE(m_client->ReqQryEntrust(EntrustQryReq(), today));
    EXPECT_EQ(today.res_collection_size(), 2);
    MsgEntrust_res res;
    ASSERT_TRUE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", "3000"), res));
    EXPECT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(res.entrust_no(), "5008");
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("0"), std::string("3500")));
}

TEST_F(OperationsTest, ExerciseWindowFollowsTheDay)
{
    ASSERT_TRUE(Login());
    // 037022 opens on 20 March (day +5) and closes on 14 April (day +30).
    struct Case
    {
        int days;
        int32_t error;
    };
    for (const Case c : {Case{4, DemoError::kOutsideWindow}, Case{5, 0}, Case{30, 0},
                         Case{31, DemoError::kOutsideWindow}}) {
        SCOPED_TRACE(c.days);
        Clock::SetNowForTesting(ServerTest::TestDay() + c.days * 86400);
        MsgEntrust_res res;
        ASSERT_TRUE(m_client->ReqEntrust(EntrustReq("0123456789", "037022", "100"), res));
        EXPECT_EQ(m_client->GetErrorCode(), c.error) << AnsiToUtf8(m_client->GetErrorMsg());
    }
}

TEST_F(OperationsTest, CancelGivesTheQuantityBack)
{
    ASSERT_TRUE(Login());
    MsgCanEntrust_res res;
    ASSERT_TRUE(m_client->ReqCanEntrust(CancelReq("5006", "1"), res));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(res.entrust_no(), "5006");
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("3500"), std::string("0")));

    MsgQryEntrust_res_collection today;
    ASSERT_TRUE(m_client->ReqQryEntrust(EntrustQryReq(), today));
    ASSERT_GE(today.res_collection_size(), 1);
    EXPECT_EQ(today.res_collection(0).entrust_no(), "5006");
    EXPECT_EQ(today.res_collection(0).entrust_status(), "6");
    EXPECT_EQ(today.res_collection(0).status_name(), Gbk("已撤"));
    EXPECT_EQ(today.res_collection(0).cancel_info(), Gbk("客户撤单"));

    // A second cancel of the same order is refused, and gives nothing back twice.
    ASSERT_TRUE(m_client->ReqCanEntrust(CancelReq("5006", "1"), res));
    EXPECT_EQ(m_client->GetErrorCode(), DemoError::kNotCancellable);
    EXPECT_EQ(m_client->GetErrorMsg(), Gbk("已撤状态的委托不能撤单"));
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("3500"), std::string("0")));
}

TEST_F(OperationsTest, CancelOfANewOrder)
{
    ASSERT_TRUE(Login());
    MsgEntrust_res placed;
    ASSERT_TRUE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", "1000"), placed));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    MsgCanEntrust_res res;
    ASSERT_TRUE(m_client->ReqCanEntrust(CancelReq(placed.entrust_no(), "1"), res));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(res.entrust_no(), placed.entrust_no());
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("3000"), std::string("500")));
}

TEST_F(OperationsTest, CancelRefusals)
{
    ASSERT_TRUE(Login());
    struct Case
    {
        std::string entrustNo, exchangeType;
        int32_t error;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"5007", "2", DemoError::kNotCancellable, "已成状态的委托不能撤单"},
        {"5004", "1", DemoError::kNotTodaysOrder, "只能撤销当日委托"},
        {"5006", "2", DemoError::kExchangeMismatch, "交易类别与委托不符"},
        {"5005", "1", DemoError::kOrderNotFound, "委托号不存在"}, // the other customer's
        {"9999", "1", DemoError::kOrderNotFound, "委托号不存在"},
        {"abc", "1", DemoError::kOrderNotFound, "委托号不存在"},
        {"", "1", DemoError::kOrderNotFound, "委托号不存在"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("[" + c.entrustNo + "] " + c.exchangeType);
        MsgCanEntrust_res res;
        EXPECT_TRUE(m_client->ReqCanEntrust(CancelReq(c.entrustNo, c.exchangeType), res));
        EXPECT_EQ(m_client->GetErrorCode(), c.error);
        EXPECT_EQ(m_client->GetErrorMsg(), Gbk(c.text));
    }
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("3000"), std::string("500")));
}

TEST_F(OperationsTest, EveryLaterRequestChecksTheSession)
{
    ASSERT_TRUE(Login());
    const std::string token = g_strTokenKey;
    struct Case
    {
        const char* name;
        std::string token;
        uint32_t fundAccount;
        std::string password, branch;
        int32_t error;
        const char* text;
    };
    const std::vector<Case> cases = {
        {"unknown token", std::string(32, 'f'), 10001234, "888888", "3101",
         DemoError::kSessionExpired, "会话已过期，请重新登录"},
        {"no token", "", 10001234, "888888", "3101", DemoError::kSessionExpired,
         "会话已过期，请重新登录"},
        {"other fund account", token, 20005678, "888888", "3101", DemoError::kFundAccountMismatch,
         "资金账号与登录账号不符"},
        {"wrong password", token, 10001234, "888889", "3101", DemoError::kWrongPassword,
         "密码错误"},
        {"other branch", token, 10001234, "888888", "3102", DemoError::kBranchMismatch,
         "营业部号与登录账号不符"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_strTokenKey = c.token;
        MsgQryStockAcc_req req = StockAccReq();
        req.set_fund_account(c.fundAccount);
        req.set_password(c.password);
        req.set_branch_no(c.branch);
        MsgQryStockAcc_res_collection res;
        EXPECT_TRUE(m_client->ReqQryStockAcc(req, res));
        EXPECT_EQ(m_client->GetErrorCode(), c.error);
        EXPECT_EQ(m_client->GetErrorMsg(), Gbk(c.text));
        EXPECT_EQ(res.res_collection_size(), 0);
        EXPECT_FALSE(g_strTokenKey.empty()) << "refusals carry a token too";

        // The same check guards the order: nothing is placed.
        MsgEntrust_req order = EntrustReq("A123456789", "1000012", "200");
        order.set_fund_account(c.fundAccount);
        order.set_password(c.password);
        order.set_branch_no(c.branch);
        g_strTokenKey = c.token;
        MsgEntrust_res placed;
        m_client->ReqEntrust(order, placed);
        EXPECT_EQ(m_client->GetErrorCode(), c.error);
    }
    g_strTokenKey = token;
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("3000"), std::string("500")));
}

TEST_F(OperationsTest, QueriesRefuseARowCountThatIsNoNumber)
{
    ASSERT_TRUE(Login());
    for (const char* num : {"", " ", "0", "abc", "-5", "5x"}) {
        SCOPED_TRACE(std::string("[") + num + "]");
        MsgQryStockAcc_req req = StockAccReq();
        req.set_request_num(num);
        MsgQryStockAcc_res_collection res;
        EXPECT_TRUE(m_client->ReqQryStockAcc(req, res));
        EXPECT_EQ(m_client->GetErrorCode(), DemoError::kBadRequestNum);
        EXPECT_EQ(m_client->GetErrorMsg(), Gbk("请求行数无效"));
    }
    MsgQryStockAcc_req req = StockAccReq();
    req.set_request_num("1");
    MsgQryStockAcc_res_collection res;
    ASSERT_TRUE(m_client->ReqQryStockAcc(req, res));
    EXPECT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(res.res_collection_size(), 1);
}

TEST_F(OperationsTest, HistoryRefusesBadDates)
{
    ASSERT_TRUE(Login());
    for (const auto& [start, end] :
         std::vector<std::pair<std::string, std::string>>{{"2024031", "20240314"},
                                                          {"20240230", "20240314"},
                                                          {"20231216", "2024-03-14"},
                                                          {"abcdefgh", "20240314"},
                                                          {"", ""},
                                                          {"20240314", "20231216"}}) {
        SCOPED_TRACE(start + ".." + end);
        MsgQryHisEntrust_res_collection res;
        EXPECT_TRUE(m_client->ReqQryHisEntrust(HisEntrustReq(start, end), res));
        EXPECT_EQ(m_client->GetErrorCode(), DemoError::kBadDates);
        EXPECT_EQ(m_client->GetErrorMsg(), Gbk("起止日期无效"));
    }
}

TEST_F(OperationsTest, PositionsOfAnAccountNotTheCustomers)
{
    ASSERT_TRUE(Login());
    MsgQryPosCode_res_collection res;
    EXPECT_TRUE(m_client->ReqQryPosCode(PosCodeReq("A987654321"), res));
    EXPECT_EQ(m_client->GetErrorCode(), DemoError::kUnknownStockAccount);
    EXPECT_EQ(m_client->GetErrorMsg(), Gbk("股东帐号不存在"));
    EXPECT_EQ(res.res_collection_size(), 0);
}

TEST_F(OperationsTest, TwoCustomersKeepTheirOwnSessions)
{
    ASSERT_TRUE(Login("10001234", "888888"));
    const std::string first = g_strTokenKey;
    ASSERT_TRUE(Login("20005678", "666666"));
    const std::string second = g_strTokenKey;

    g_strTokenKey = first;
    EXPECT_EQ(Amounts("A123456789", "1000012").first, "3000");

    g_strTokenKey = second;
    MsgQryPosCode_req req = PosCodeReq("A987654321");
    req.set_fund_account(20005678);
    req.set_password("666666");
    req.set_branch_no("3102");
    MsgQryPosCode_res_collection res;
    ASSERT_TRUE(m_client->ReqQryPosCode(req, res));
    ASSERT_EQ(m_client->GetErrorCode(), 0);
    ASSERT_EQ(res.res_collection_size(), 1);
    EXPECT_EQ(res.res_collection(0).enable_amount(), "100");
    EXPECT_EQ(res.res_collection(0).frozen_amount(), "200");

    // The first customer's credentials with the second customer's session are refused.
    g_strTokenKey = second;
    MsgQryStockAcc_res_collection accounts;
    m_client->ReqQryStockAcc(StockAccReq(), accounts);
    EXPECT_EQ(m_client->GetErrorCode(), DemoError::kFundAccountMismatch);
}

class SessionIdleTest : public ServerTest::ServerFixture
{};

TEST_F(SessionIdleTest, AnIdleSessionExpiresAndUseKeepsItAlive)
{
    DemoServerOptions options;
    options.sessionIdleTimeout = std::chrono::milliseconds(500);
    StartServer(options);
    ASSERT_TRUE(Login());
    // Each request renews the session: together they outlast the idle time.
    for (int i = 0; i < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        MsgQryStockAcc_res_collection res;
        ASSERT_TRUE(m_client->ReqQryStockAcc(StockAccReq(), res));
        ASSERT_EQ(m_client->GetErrorCode(), 0) << "request " << i;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    MsgQryStockAcc_res_collection res;
    EXPECT_TRUE(m_client->ReqQryStockAcc(StockAccReq(), res));
    EXPECT_EQ(m_client->GetErrorCode(), DemoError::kSessionExpired);
    EXPECT_EQ(m_client->GetErrorMsg(), Gbk("会话已过期，请重新登录"));
}

} // namespace
