// The checks before an exercise order: exact amounts on the decimal texts, the exercise
// window in local calendar days, and the warnings of an order against its terms, its
// position and the funds.

#include <algorithm>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "trade/OrderCheck.h"
#include "trade/RequestEnding.h"
#include "trade/TradeData.h"
#include "util/util.h"

using OrderCheck::Warning;
using OrderCheck::WindowState;

namespace
{
/// Midday of a local calendar day.
std::time_t LocalMidday(int year, int month, int day)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = 12;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

std::string Utf8(const std::string& gbk)
{
    return AnsiToUtf8(gbk);
}

TEST(OrderCheckAmountTest, PriceTimesQuantityIsExactAndKeepsThePriceDecimals)
{
    const struct
    {
        const char* price;
        const char* quantity;
        const char* amount;
    } cases[] = {
        {"12.50", "100", "1250.00"},
        {"8", "100000000", "800000000"},
        {"8.3", "100000000", "830000000.0"},
        {"12.50", "100000000", "1250000000.00"},
        {"8.365", "100000000", "836500000.000"},
        {"9.99", "999", "9980.01"},
        {"0.001", "7", "0.007"},
        {".5", "3", "1.5"},
        {"007.10", "3", "21.30"},
        {" 12.50 ", "\t100 ", "1250.00"},
        {"12.50", "0", "0.00"},
        // Far beyond any 64-bit integer: worked out digit by digit.
        {"99999.999", "100000000000000000000", "9999999900000000000000000.000"},
        // Nothing to estimate from.
        {"12.50", "", ""},
        {"12.50", "   ", ""},
        {"12.50", "-100", ""},
        {"12.50", "+100", ""},
        {"12.50", "100.0", ""},
        {"12.50", "1e3", ""},
        {"12.50", "1 000", ""},
        {"", "100", ""},
        {".", "100", ""},
        {"abc", "100", ""},
        {"-12.50", "100", ""},
        {"1.2.3", "100", ""},
        {"12,50", "100", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.price + "' x '" + c.quantity + "'");
        EXPECT_EQ(OrderCheck::EstimateAmount(c.price, c.quantity), c.amount);
    }
}

TEST(OrderCheckAmountTest, DecimalsCompareByValue)
{
    const struct
    {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"1250.00", "1250", 0}, {"1250.01", "1250", 1}, {"0.5", "0.49", 1},
        {"007", "7.000", 0},    {"99", "100", -1},      {"256380.50", "1000000.00", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        const auto a = OrderCheck::ParseDecimal(c.a);
        const auto b = OrderCheck::ParseDecimal(c.b);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(OrderCheck::Compare(*a, *b), c.order);
        EXPECT_EQ(OrderCheck::Compare(*b, *a), -c.order);
    }
}

TEST(OrderCheckWindowTest, TodayIsPlacedInTheWindowByCalendarDays)
{
    const struct
    {
        const char* begin;
        const char* end;
        int year, month, day;
        WindowState state;
        const char* text;
        bool endsWithinAWeek;
    } cases[] = {
        {"20240110", "20240120", 2024, 1, 5, WindowState::kNotStarted, "未到行权期", false},
        {"20240110", "20240120", 2024, 1, 10, WindowState::kOpen, "还剩 11 天", false},
        {"20240110", "20240120", 2024, 1, 13, WindowState::kOpen, "还剩 8 天", false},
        {"20240110", "20240120", 2024, 1, 14, WindowState::kOpen, "还剩 7 天", true},
        {"20240110", "20240120", 2024, 1, 20, WindowState::kOpen, "还剩 1 天", true},
        {"20240110", "20240120", 2024, 1, 21, WindowState::kOver, "行权期已过", false},
        {"20231220", "20240105", 2023, 12, 31, WindowState::kOpen, "还剩 6 天", true},
        {"20240229", "20240301", 2024, 2, 28, WindowState::kNotStarted, "未到行权期", true},
        {"20240110", "20240112", 2024, 1, 8, WindowState::kNotStarted, "未到行权期", true},
        {" 20240110", "20240120 ", 2024, 1, 15, WindowState::kOpen, "还剩 6 天", true},
        // Dates that cannot be placed.
        {"2024011", "20240120", 2024, 1, 15, WindowState::kUnknown, "", false},
        {"20230229", "20240120", 2024, 1, 15, WindowState::kUnknown, "", false},
        {"20240120", "20240110", 2024, 1, 15, WindowState::kUnknown, "", false},
        {"", "", 2024, 1, 15, WindowState::kUnknown, "", false},
        {"2024-1-1", "20240120", 2024, 1, 15, WindowState::kUnknown, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.begin) + "-" + c.end + " on " + std::to_string(c.year) + "-" +
                     std::to_string(c.month) + "-" + std::to_string(c.day));
        const OrderCheck::WindowStatus status =
            OrderCheck::ExerciseWindow(c.begin, c.end, LocalMidday(c.year, c.month, c.day));
        EXPECT_EQ(status.state, c.state);
        EXPECT_EQ(Utf8(OrderCheck::WindowText(status)), c.text);
        EXPECT_EQ(OrderCheck::EndsWithin(status, 7), c.endsWithinAWeek);
    }
    // Early morning and late evening of one day are the same day.
    for (const int hour : {0, 23}) {
        std::tm local{};
        local.tm_year = 2024 - 1900;
        local.tm_mon = 0;
        local.tm_mday = 20;
        local.tm_hour = hour;
        local.tm_min = 30;
        local.tm_isdst = -1;
        const auto status = OrderCheck::ExerciseWindow("20240110", "20240120", std::mktime(&local));
        EXPECT_EQ(status.state, WindowState::kOpen) << hour;
        EXPECT_EQ(status.DaysLeft(), 1) << hour;
    }
    EXPECT_EQ(OrderCheck::FormatDate("20240105"), "2024-01-05");
    EXPECT_EQ(OrderCheck::FormatDate("2024015"), "2024015");
}

// One order against its terms, position, funds and day; each row changes what its name
// says from an order that passes.
TEST(OrderCheckWarningsTest, EachRuleGivesItsWarningInPlainWords)
{
    struct Case
    {
        const char* name;
        const char* quantity = "1000";
        const char* funds = "256380.50";
        int month = 1, day = 15; ///< of 2024; the window is January 2024
        bool withOption = true;
        bool withPosition = true;
        bool codeInPositions = true;
        const char* price = "12.50";
        const char* unit = "100";
        const char* low = "100";
        const char* high = "50000";
        const char* begin = "20240101";
        const char* end = "20240131";
        const char* available = "20000";
        const char* amount = "12500.00";
        std::vector<std::pair<Warning, const char*>> warnings = {};
    };
    const Case cases[] = {
        {.name = "passes"},
        {.name = "funds exactly enough", .quantity = "100", .funds = "1250", .amount = "1250.00"},
        {.name = "blanks around the quantity", .quantity = " 1000 "},
        {.name = "before login, no funds known", .funds = ""},
        {.name = "empty quantity",
         .quantity = "",
         .amount = "",
         .warnings = {{Warning::kQuantityNotWhole, "行权数量不是正整数"}}},
        {.name = "blanks only",
         .quantity = "   ",
         .amount = "",
         .warnings = {{Warning::kQuantityNotWhole, "行权数量不是正整数"}}},
        {.name = "a sign",
         .quantity = "-100",
         .amount = "",
         .warnings = {{Warning::kQuantityNotWhole, "行权数量不是正整数"}}},
        {.name = "a fraction",
         .quantity = "100.5",
         .amount = "",
         .warnings = {{Warning::kQuantityNotWhole, "行权数量不是正整数"}}},
        {.name = "zero",
         .quantity = "000",
         .amount = "",
         .warnings = {{Warning::kQuantityNotWhole, "行权数量不是正整数"}}},
        {.name = "letters",
         .quantity = "abc",
         .amount = "",
         .warnings = {{Warning::kQuantityNotWhole, "行权数量不是正整数"}}},
        {.name = "not a multiple of the unit",
         .quantity = "150",
         .amount = "1875.00",
         .warnings = {{Warning::kNotMultipleOfUnit, "行权数量不是行权单位 100 的整数倍"}}},
        {.name = "below the lower amount",
         .quantity = "200",
         .low = "300",
         .amount = "2500.00",
         .warnings = {{Warning::kBelowLowAmount, "行权数量低于行权下限 300"}}},
        {.name = "below the unit and the lower amount",
         .quantity = "50",
         .amount = "625.00",
         .warnings = {{Warning::kNotMultipleOfUnit, "行权数量不是行权单位 100 的整数倍"},
                      {Warning::kBelowLowAmount, "行权数量低于行权下限 100"}}},
        {.name = "above the upper amount",
         .quantity = "60000",
         .available = "100000",
         .amount = "750000.00",
         .warnings = {{Warning::kAboveHighAmount, "行权数量高于行权上限 50000"},
                      {Warning::kAboveFunds, "预计行权金额 750000.00 超过可用资金 256380.50"}}},
        {.name = "above the available quantity",
         .quantity = "20100",
         .amount = "251250.00",
         .warnings = {{Warning::kAboveAvailable, "行权数量超过可用数量 20000"}}},
        {.name = "before the window",
         .month = 1,
         .day = 0, // 31 December 2023
         .warnings = {{Warning::kBeforeWindow, "未到行权期：行权期从 2024-01-01 开始"}}},
        {.name = "after the window",
         .month = 2,
         .day = 1,
         .warnings = {{Warning::kAfterWindow, "行权期已过：行权期已于 2024-01-31 结束"}}},
        {.name = "above the funds",
         .quantity = "100",
         .funds = "1000.00",
         .amount = "1250.00",
         .warnings = {{Warning::kAboveFunds, "预计行权金额 1250.00 超过可用资金 1000.00"}}},
        {.name = "code not among the positions",
         .withPosition = false,
         .codeInPositions = false,
         .warnings = {{Warning::kCodeNotInPositions, "持仓中没有权证代码 1000012"}}},
        {.name = "code held under another account",
         .withPosition = false,
         .warnings = {{Warning::kAccountWithoutPosition,
                       "股东帐号 A123456789 没有权证 1000012 的持仓"}}},
        {.name = "code without terms or position",
         .withOption = false,
         .withPosition = false,
         .codeInPositions = false,
         .price = "",
         .amount = "",
         .warnings = {{Warning::kCodeNotInPositions, "持仓中没有权证代码 1000012"},
                      {Warning::kNoTerms, "找不到权证代码 1000012 的行权条款，无法估算行权金额"}}},
        {.name = "unreadable terms from the server",
         .price = "n/a",
         .unit = "x",
         .low = "",
         .high = "-1",
         .begin = "",
         .end = "soon",
         .available = "?",
         .amount = "",
         .warnings = {{Warning::kPriceUnreadable, "行权价格无法识别，无法估算行权金额"}}},
        {.name = "a huge quantity",
         .quantity = "100000000000000000000",
         .amount = "1250000000000000000000.00",
         .warnings = {{Warning::kAboveHighAmount, "行权数量高于行权上限 50000"},
                      {Warning::kAboveAvailable, "行权数量超过可用数量 20000"},
                      {Warning::kAboveFunds,
                       "预计行权金额 1250000000000000000000.00 超过可用资金 256380.50"}}},
        {.name = "everything at once",
         .quantity = "30050",
         .funds = "0.00",
         .month = 3,
         .day = 1,
         .withPosition = false,
         .high = "30000",
         .amount = "375625.00",
         .warnings = {{Warning::kNotMultipleOfUnit, "行权数量不是行权单位 100 的整数倍"},
                      {Warning::kAboveHighAmount, "行权数量高于行权上限 30000"},
                      {Warning::kAfterWindow, "行权期已过：行权期已于 2024-01-31 结束"},
                      {Warning::kAboveFunds, "预计行权金额 375625.00 超过可用资金 0.00"},
                      {Warning::kAccountWithoutPosition,
                       "股东帐号 A123456789 没有权证 1000012 的持仓"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        qry_opt_code_result option;
        option.sopt_code = "1000012";
        option.apply_price = c.price;
        option.apply_unit = c.unit;
        option.apply_low_amount = c.low;
        option.apply_high_amount = c.high;
        option.apply_begin_date = c.begin;
        option.apply_end_date = c.end;
        qry_pos_code_result position;
        position.stock_account = "A123456789";
        position.sopt_code = "1000012";
        position.enable_amount = c.available;

        OrderCheck::Context context;
        context.option = c.withOption ? &option : nullptr;
        context.position = c.withPosition ? &position : nullptr;
        context.codeInPositions = c.codeInPositions;
        context.funds = c.funds;
        context.now = LocalMidday(2024, c.month, c.day);
        const OrderCheck::Order order{"A123456789", "1000012", c.price, c.quantity};

        const OrderCheck::Preview preview = OrderCheck::CheckOrder(order, context);
        EXPECT_EQ(preview.amount, c.amount);
        std::vector<std::pair<Warning, std::string>> shown;
        for (const OrderCheck::Finding& finding : preview.warnings)
            shown.emplace_back(finding.kind, Utf8(finding.text));
        std::vector<std::pair<Warning, std::string>> expected;
        for (const auto& [kind, text] : c.warnings)
            expected.emplace_back(kind, text);
        EXPECT_EQ(shown, expected);
    }
    EXPECT_EQ(Utf8(OrderCheck::PassedText()), "已通过委托前检查");
}

TEST(OrderCheckContextTest, FindsTheFirstTermsThePositionOfTheAccountAndTheFunds)
{
    CTradeData trade;
    trade.m_login.enable_balance = "256380.50";
    qry_opt_code_result first;
    first.sopt_code = "1000012";
    first.apply_price = "12.50";
    qry_opt_code_result second = first;
    second.apply_price = "99.00";
    qry_opt_code_result other;
    other.sopt_code = "037021";
    trade.m_optCodes = {other, first, second};
    qry_pos_code_result elsewhere;
    elsewhere.stock_account = "0123456789";
    elsewhere.sopt_code = "1000012";
    qry_pos_code_result mine = elsewhere;
    mine.stock_account = "A123456789";
    mine.enable_amount = "20000";
    trade.m_positions = {elsewhere, mine};

    const struct
    {
        const char* account;
        const char* code;
        const qry_opt_code_result* option;
        const qry_pos_code_result* position;
        bool codeInPositions;
    } cases[] = {
        {"A123456789", "1000012", &trade.m_optCodes[1], &trade.m_positions[1], true},
        {"0123456789", "1000012", &trade.m_optCodes[1], &trade.m_positions[0], true},
        {"B000000000", "1000012", &trade.m_optCodes[1], nullptr, true},
        {"A123456789", "037021", &trade.m_optCodes[0], nullptr, false},
        {"A123456789", "1000012 ", nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.account) + "/" + c.code);
        const OrderCheck::Context context = OrderCheck::ContextFor(trade, c.account, c.code, 42);
        EXPECT_EQ(context.option, c.option);
        EXPECT_EQ(context.position, c.position);
        EXPECT_EQ(context.codeInPositions, c.codeInPositions);
        EXPECT_EQ(context.funds, "256380.50");
        EXPECT_EQ(context.now, 42);
    }
}

qry_entrust_result TodaysOrder(const char* entrustNo, const char* account, const char* code,
                               const char* amount, const char* status)
{
    qry_entrust_result entrust;
    entrust.entrust_no = entrustNo;
    entrust.stock_account = account;
    entrust.sopt_code = code;
    entrust.entrust_amount = amount;
    entrust.entrust_status = status;
    return entrust;
}

// The same account, code and quantity as an order of today that still stands is a possible
// second order: warned, never blocked. A cancelled or refused one, or another quantity, is not.
TEST(OrderCheckTest, AnOrderLikeAStandingOrderOfTodayIsWarnedOf)
{
    const OrderCheck::Order order{"A123456789", "1000012", "12.50", " 1000"};
    const struct
    {
        const char* name;
        qry_entrust_result today;
        bool warned;
    } cases[] = {
        {"reported", TodaysOrder("1", "A123456789", "1000012", "1000", "2"), true},
        {"filled", TodaysOrder("1", "A123456789", "1000012", "1000", "8"), true},
        {"waiting to be cancelled", TodaysOrder("1", "A123456789", "1000012", "1000", "3"), true},
        {"quantity written with decimals",
         TodaysOrder("1", "A123456789", "1000012", "1000.00", "2"), true},
        {"cancelled", TodaysOrder("1", "A123456789", "1000012", "1000", "6"), false},
        {"partly cancelled", TodaysOrder("1", "A123456789", "1000012", "1000", "5"), false},
        {"refused", TodaysOrder("1", "A123456789", "1000012", "1000", "9"), false},
        {"another quantity", TodaysOrder("1", "A123456789", "1000012", "2000", "2"), false},
        {"another account", TodaysOrder("1", "0123456789", "1000012", "1000", "2"), false},
        {"another code", TodaysOrder("1", "A123456789", "1000013", "1000", "2"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<qry_entrust_result> today = {
            TodaysOrder("0", "A123456789", "1000012", "500", "2"), c.today};
        OrderCheck::Context context;
        context.sameOrderToday = OrderCheck::FindStandingSameOrder(today, order);
        EXPECT_EQ(context.sameOrderToday != nullptr, c.warned);
        const OrderCheck::Preview preview = OrderCheck::CheckOrder(order, context);
        const auto same = std::find_if(preview.warnings.begin(), preview.warnings.end(),
                                       [](const OrderCheck::Finding& finding) {
                                           return finding.kind == Warning::kSameOrderToday;
                                       });
        ASSERT_EQ(same != preview.warnings.end(), c.warned);
        if (c.warned) {
            EXPECT_EQ(same->text, Utf8ToAnsi("今日已有相同的委托（委托号 1），股东帐号、权证代码和"
                                             "数量都相同，请确认不是重复委托"));
        }
    }
}

// Only the server's answer says whether an order or a cancel was placed: a request that
// went out without a usable answer is unknown, never failed; one never sent is not sent.
TEST(RequestEndingTest, EachTransportOutcomeEndsAsItMust)
{
    const struct
    {
        ExchangeOutcome outcome;
        int32_t errorCode;
        RequestEnding ending;
    } cases[] = {
        {ExchangeOutcome::Completed, 0, RequestEnding::Accepted},
        {ExchangeOutcome::Completed, 9999, RequestEnding::Refused},
        {ExchangeOutcome::NoToken, 17, RequestEnding::Refused},
        {ExchangeOutcome::BadAddress, 0, RequestEnding::NotSent},
        {ExchangeOutcome::LocalFailure, 0, RequestEnding::NotSent},
        {ExchangeOutcome::ConnectionRefused, 0, RequestEnding::NotSent},
        {ExchangeOutcome::ConnectFailed, 0, RequestEnding::NotSent},
        {ExchangeOutcome::ConnectTimedOut, 0, RequestEnding::NotSent},
        {ExchangeOutcome::ReplyTimedOut, 0, RequestEnding::Unknown},
        {ExchangeOutcome::ClosedWithoutReply, 0, RequestEnding::Unknown},
        {ExchangeOutcome::ReplyUnreadable, 0, RequestEnding::Unknown},
        {ExchangeOutcome::ReplyTooLong, 0, RequestEnding::Unknown},
        {ExchangeOutcome::NoToken, 0, RequestEnding::Unknown},
        {ExchangeOutcome::PayloadUnreadable, 0, RequestEnding::Unknown},
    };
    for (const auto& c : cases) {
        ExchangeReport report;
        report.outcome = c.outcome;
        report.errorCode = c.errorCode;
        EXPECT_EQ(EndingOf(report), c.ending) << static_cast<int>(c.outcome) << " " << c.errorCode;
    }
}

// After a lost answer: the order that is new since the request went out and the same as
// it, the last one when there are several; an order known before does not count.
TEST(RequestEndingTest, ANewSameOrderIsOneNotListedBefore)
{
    const OrderCheck::Order order{"A123456789", "1000012", "12.50", "1000"};
    const std::vector<qry_entrust_result> today = {
        TodaysOrder("100001", "A123456789", "1000012", "1000", "2"),
        TodaysOrder("100007", "A123456789", "1000012", "2000", "2"),
        TodaysOrder("100008", "A123456789", "1000012", "1000", "9"),
    };
    EXPECT_EQ(FindNewSameOrder(today, {"100001", "100007", "100008"}, order), nullptr);
    const qry_entrust_result* const found = FindNewSameOrder(today, {"100001"}, order);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->entrust_no, "100008") << "refused, but placed: the user must see it";
    EXPECT_EQ(FindOrderByNumber(today, "100007"), &today[1]);
    EXPECT_EQ(FindOrderByNumber(today, "100009"), nullptr);
}

} // namespace
