// The trading context without a server: the account number conversion, the option-code
// lookups and the code-name tables.

#include <cstdint>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "trade/TradeData.h"

namespace
{
struct AccountCase
{
    const char* text;
    uint32_t expected;
};

void PrintTo(const AccountCase& c, std::ostream* os)
{
    *os << '"' << c.text << '"';
}

class FundAccountNumberTest : public ::testing::TestWithParam<AccountCase>
{};

TEST_P(FundAccountNumberTest, ConvertsLikeTheCLibraryWithClamping)
{
    EXPECT_EQ(FundAccountNumber(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FundAccountNumberTest,
    ::testing::Values(
        AccountCase{"10001234", 10001234u}, AccountCase{"3000000000", 2147483647u},
        AccountCase{"-1", 4294967295u}, AccountCase{"123abc", 123u}, AccountCase{"abc", 0u},
        AccountCase{" 42", 42u}, AccountCase{"", 0u}, AccountCase{"\t\n\v\f\r 7", 7u},
        AccountCase{"+15", 15u}, AccountCase{"- 5", 0u}, AccountCase{"0x10", 0u},
        AccountCase{"2147483647", 2147483647u}, AccountCase{"2147483648", 2147483647u},
        AccountCase{"-2147483648", 2147483648u}, AccountCase{"-3000000000", 2147483648u},
        AccountCase{"00000000000000000000012", 12u},
        AccountCase{"99999999999999999999999999999", 2147483647u},
        AccountCase{"-99999999999999999999999999999", 2147483648u}, AccountCase{"12 34", 12u}));

TEST(TradeDataTest, StartsEmptyWithBothTablesFilled)
{
    const CTradeData data;
    EXPECT_TRUE(data.m_login.fund_account.empty());
    EXPECT_TRUE(data.m_login.branch_no.empty());
    EXPECT_TRUE(data.m_login.password.empty());
    EXPECT_TRUE(data.m_login.client_name.empty());
    EXPECT_EQ(FundAccountNumber(data.m_login.fund_account), 0u);
    EXPECT_TRUE(data.m_stockAccounts.empty());
    EXPECT_TRUE(data.m_curEntrusts.empty());
    EXPECT_TRUE(data.m_hisEntrusts.empty());
    EXPECT_TRUE(data.m_optCodes.empty());
    EXPECT_TRUE(data.m_positions.empty());
    EXPECT_EQ(data.m_statusNames.size(), 10u);
    EXPECT_EQ(data.m_propNames.size(), 14u);

    // The process-wide context is ready before anything runs.
    EXPECT_EQ(g_TradeData.m_statusNames.size(), 10u);
    EXPECT_EQ(g_TradeData.m_propNames.size(), 14u);
}

TEST(TradeDataTest, ClearAllEmptiesEveryListAndNothingElse)
{
    CTradeData data;
    data.m_login.fund_account = "1";
    data.m_stockAccounts.resize(2);
    data.m_curEntrusts.resize(3);
    data.m_hisEntrusts.resize(4);
    data.m_optCodes.resize(5);
    data.m_positions.resize(6);

    data.ClearAll();

    EXPECT_TRUE(data.m_stockAccounts.empty());
    EXPECT_TRUE(data.m_curEntrusts.empty());
    EXPECT_TRUE(data.m_hisEntrusts.empty());
    EXPECT_TRUE(data.m_optCodes.empty());
    EXPECT_TRUE(data.m_positions.empty());
    EXPECT_EQ(data.m_login.fund_account, "1");
    EXPECT_EQ(data.m_statusNames.size(), 10u);
}

// --- option-code lookups ---------------------------------------------------------------

struct Lookup
{
    const char* name;
    std::string (CTradeData::*get)(const std::string&) const;
    std::string qry_opt_code_result::*field;
};

void PrintTo(const Lookup& lookup, std::ostream* os)
{
    *os << lookup.name;
}

qry_opt_code_result OptCode(const std::string& code, const std::string& tag)
{
    qry_opt_code_result record;
    record.sopt_code = code;
    record.sopt_name = "name-" + tag;
    record.apply_price = "price-" + tag;
    record.source_code = "source-" + tag;
    record.stock_name = "stock-" + tag;
    return record;
}

class OptCodeLookupTest : public ::testing::TestWithParam<Lookup>
{
protected:
    std::string Get(const std::string& code) const { return (m_data.*GetParam().get)(code); }
    const std::string& FieldOf(const qry_opt_code_result& record) const
    {
        return record.*GetParam().field;
    }

    CTradeData m_data;
};

TEST_P(OptCodeLookupTest, FirstExactMatchAnswers)
{
    EXPECT_EQ(Get("1000012"), "") << "empty list";

    m_data.m_optCodes = {OptCode("037021", "a"), OptCode("1000012", "first"),
                         OptCode("1000012", "second"), OptCode("SZ01", "c")};
    const auto before = m_data.m_optCodes.size();

    EXPECT_EQ(Get("037021"), FieldOf(m_data.m_optCodes[0]));
    EXPECT_EQ(Get("1000012"), FieldOf(m_data.m_optCodes[1])) << "the first of two wins";
    EXPECT_NE(Get("1000012"), FieldOf(m_data.m_optCodes[2]));
    EXPECT_EQ(Get("SZ01"), FieldOf(m_data.m_optCodes[3]));

    for (const char* near : {"1000012 ", " 1000012", "100001", "10000120", "sz01", "", "999999"})
        EXPECT_EQ(Get(near), "") << "code \"" << near << "\" must not match";
    EXPECT_EQ(m_data.m_optCodes.size(), before) << "lookups leave the list alone";
}

INSTANTIATE_TEST_SUITE_P(
    Getters, OptCodeLookupTest,
    ::testing::Values(
        Lookup{"ApplyPrice", &CTradeData::GetApplyPrice, &qry_opt_code_result::apply_price},
        Lookup{"SoptName", &CTradeData::GetSoptName, &qry_opt_code_result::sopt_name},
        Lookup{"SourceCode", &CTradeData::GetSourceCode, &qry_opt_code_result::source_code},
        Lookup{"StockName", &CTradeData::GetStockName, &qry_opt_code_result::stock_name}),
    [](const auto& info) { return std::string(info.param.name); });

// --- code-name tables --------------------------------------------------------------------

struct NameRow
{
    const char* code;
    const char* gbkName;
};

void PrintTo(const NameRow& row, std::ostream* os)
{
    *os << '"' << row.code << '"';
}

// The names as GBK bytes, written out independently of the codec the terminal uses.
class StatusNameTest : public ::testing::TestWithParam<NameRow>
{};

TEST_P(StatusNameTest, EveryRow)
{
    const CTradeData data;
    EXPECT_EQ(data.GetStatusName(GetParam().code), GetParam().gbkName);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StatusNameTest,
    ::testing::Values(NameRow{"0", "\xCE\xB4\xB1\xA8"},                 // 未报
                      NameRow{"1", "\xB4\xFD\xB1\xA8"},                 // 待报
                      NameRow{"2", "\xD2\xD1\xB1\xA8"},                 // 已报
                      NameRow{"3", "\xD2\xD1\xB1\xA8\xB4\xFD\xB3\xB7"}, // 已报待撤
                      NameRow{"4", "\xB2\xBF\xB3\xC9\xB4\xFD\xB3\xB7"}, // 部成待撤
                      NameRow{"5", "\xB2\xBF\xB3\xB7"},                 // 部撤
                      NameRow{"6", "\xD2\xD1\xB3\xB7"},                 // 已撤
                      NameRow{"7", "\xB2\xBF\xB3\xC9"},                 // 部成
                      NameRow{"8", "\xD2\xD1\xB3\xC9"},                 // 已成
                      NameRow{"9", "\xB7\xCF\xB5\xA5"}));               // 废单

class PropNameTest : public ::testing::TestWithParam<NameRow>
{};

TEST_P(PropNameTest, EveryRow)
{
    const CTradeData data;
    EXPECT_EQ(data.GetPropName(GetParam().code), GetParam().gbkName);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PropNameTest,
    ::testing::Values(NameRow{"0", "\xC2\xF2\xC2\xF4"}, // 买卖
                      NameRow{"1", "\xC5\xE4\xB9\xC9"}, // 配股
                      NameRow{"2", "\xD7\xAA\xCD\xD0"}, // 转托
                      NameRow{"3", "\xC9\xEA\xB9\xBA"}, // 申购
                      NameRow{"4", "\xBB\xD8\xB9\xBA"}, // 回购
                      NameRow{"5", "\xC5\xE4\xCA\xDB"}, // 配售
                      NameRow{"6", "\xD6\xB8\xB6\xA8"}, // 指定
                      NameRow{"7", "\xD7\xAA\xB9\xC9"}, // 转股
                      NameRow{"8", "\xBB\xD8\xCA\xDB"}, // 回售
                      NameRow{"9", "\xB9\xC9\xCF\xA2"}, // 股息
                      NameRow{"A",
                              "\xC9\xEE\xDB\xDA\xC5\xE4\xCA\xDB\xC8\xB7\xC8\xCF"}, // 深圳配售确认
                      NameRow{"B", "\xC5\xE4\xCA\xDB\xB7\xC5\xC6\xFA"},            // 配售放弃
                      NameRow{"G", "\xC5\xE4\xCA\xDB\xB3\xE5\xD5\xFD"},            // 配售冲正
                      NameRow{"P", "\xC8\xA8\xD6\xA4\xD0\xD0\xC8\xA8"}));          // 权证行权

TEST(CodeNameTest, AbsentCodesGiveEmptyTextAndLeaveTheTablesAlone)
{
    const CTradeData data;
    const auto statusBefore = data.m_statusNames;
    const auto propBefore = data.m_propNames;

    for (int pass = 0; pass < 2; ++pass) {
        for (const char* code : {"", "10", "a", "C", "4 ", " 4", "\xB2\xBF"}) {
            EXPECT_EQ(data.GetStatusName(code), "") << "status \"" << code << "\"";
            EXPECT_EQ(data.GetPropName(code), "") << "prop \"" << code << "\"";
        }
        for (const char* code : {"C", "D", "E", "F", "H", "O", "a", "p"})
            EXPECT_EQ(data.GetPropName(code), "") << "prop \"" << code << "\"";
    }
    EXPECT_EQ(data.m_statusNames, statusBefore);
    EXPECT_EQ(data.m_propNames, propBefore);
}
} // namespace
