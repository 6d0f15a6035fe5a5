// The five queries against a scripted loopback peer: what goes on the wire, what is
// stored, what the user interface is told.

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "TradeTestSupport.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/ScriptedServer.h"
#include "trade/TradeData.h"
#include "trade/WindowMessages.h"
#include "util/Clock.h"

using namespace quorvanta;
using TestSupport::ScriptedReply;
using namespace TradeTest;

namespace
{
constexpr const char* kToken = "TK-0001";
constexpr const char* kPassword = "pw-for-tests";

// The failure prefixes as GBK bytes.
const std::string kQueryFailed =
    "\xB2\xE9\xD1\xAF\xCA\xA7\xB0\xDC,\xB4\xED\xCE\xF3\xD4\xAD\xD2\xF2:"; // 查询失败,错误原因:
const std::string kQueryEntrustFailed =
    "\xB2\xE9\xD1\xAF\xCE\xAF\xCD\xD0\xC1\xD0\xB1\xED\xCA\xA7\xB0\xDC,"
    "\xB4\xED\xCE\xF3\xD4\xAD\xD2\xF2:"; // 查询委托列表失败,错误原因:
const std::string kQueryHisEntrustFailed =
    "\xB2\xE9\xD1\xAF\xC0\xFA\xCA\xB7\xCE\xAF\xCD\xD0\xC1\xD0\xB1\xED\xCA\xA7\xB0\xDC,"
    "\xB4\xED\xCE\xF3\xD4\xAD\xD2\xF2:"; // 查询历史委托列表失败,错误原因:
// "服务器繁忙" in GBK: a server description with bytes above 0x7F.
const std::string kServerBusy = "\xB7\xFE\xCE\xF1\xC6\xF7\xB7\xB1\xC3\xA6";

qry_stock_account_result StockAccount(const std::string& code)
{
    qry_stock_account_result account;
    account.stock_account = code;
    return account;
}

class TradeQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestSupport::ResetSessionToken();
        m_server.PointClientHere();
        m_data.m_login.fund_account = "10001234";
        m_data.m_login.branch_no = "3101";
        m_data.m_login.password = kPassword;
    }
    void TearDown() override
    {
        Clock::SetNowForTesting(std::nullopt);
        TestSupport::ResetSessionToken();
    }

    template <typename Message> Message SentRequest(std::size_t index) const
    {
        const auto requests = m_server.Requests();
        if (index >= requests.size()) {
            ADD_FAILURE() << "no request number " << index;
            return {};
        }
        return requests[index].PayloadAs<Message>();
    }

    TestSupport::ScopedTransportTimeouts m_timeouts;
    TestSupport::ScriptedServer m_server;
    RecordingTradeUi m_ui;
    ScopedTradeUi m_installUi{&m_ui};
    CTradeData m_data;
};

// --- what each query sends -----------------------------------------------------------------

struct QueryShape
{
    const char* name;
    int (CTradeData::*query)();
    int32_t funId;
    std::function<ScriptedReply()> emptySuccess;
    std::function<std::unique_ptr<google::protobuf::Message>(const TestSupport::ReceivedRequest&)>
        parse;
    std::map<std::string, std::string> fields; ///< besides fund_account, password, branch_no
};

void PrintTo(const QueryShape& shape, std::ostream* os)
{
    *os << shape.name;
}

template <typename Message>
std::unique_ptr<google::protobuf::Message> Parse(const TestSupport::ReceivedRequest& request)
{
    return std::make_unique<Message>(request.PayloadAs<Message>());
}

template <typename Collection> std::function<ScriptedReply()> EmptySuccess()
{
    return [] { return ScriptedReply::Success(kToken, Collection()); };
}

std::vector<QueryShape> QueryShapes()
{
    return {
        {"QueryStockAcc",
         &CTradeData::QueryStockAcc,
         407,
         EmptySuccess<MsgQryStockAcc_res_collection>(),
         &Parse<MsgQryStockAcc_req>,
         {{"position_str", "1"}, {"request_num", "50"}}},
        {"QueryOptCode",
         &CTradeData::QueryOptCode,
         9869,
         EmptySuccess<MsgQryOptCode_res_collection>(),
         &Parse<MsgQryOptCode_req>,
         {{"sopt_code", " "}, {"position_str", " "}, {"request_num", "50"}}},
        {"QueryPosCode",
         &CTradeData::QueryPosCode,
         9870,
         EmptySuccess<MsgQryPosCode_res_collection>(),
         &Parse<MsgQryPosCode_req>,
         {{"position_str", ""}, {"request_num", "50"}, {"stock_account", "A123456789"}}},
        {"QueryEntrust",
         &CTradeData::QueryEntrust,
         9867,
         EmptySuccess<MsgQryEntrust_res_collection>(),
         &Parse<MsgQryEntrust_req>,
         {{"stock_account", " "}, {"position_str", ""}, {"request_num", "50"}}},
        {"QueryHisEntrust",
         &CTradeData::QueryHisEntrust,
         9868,
         EmptySuccess<MsgQryHisEntrust_res_collection>(),
         &Parse<MsgQryHisEntrust_req>,
         {{"stock_account", " "},
          {"position_str", " "},
          {"request_num", "100"},
          {"start_date", "20231216"},
          {"end_date", "20240314"}}},
    };
}

class QueryRequestTest : public TradeQueryTest, public ::testing::WithParamInterface<QueryShape>
{};

TEST_P(QueryRequestTest, SendsEveryFieldAsTabled)
{
    const QueryShape& shape = GetParam();
    const ScopedTimeZone shanghai("Asia/Shanghai");
    Clock::SetNowForTesting(LocalMoment(2024, 3, 15, 10, 0));
    m_data.m_stockAccounts = {StockAccount("A123456789")};
    m_server.Script(shape.emptySuccess());

    EXPECT_EQ((m_data.*shape.query)(), 0);

    ASSERT_EQ(m_server.RequestCount(), 1u);
    const auto sent = m_server.LastRequest();
    EXPECT_EQ(sent.FunId(), shape.funId);
    auto expected = shape.fields;
    expected["fund_account"] = "10001234";
    expected["password"] = kPassword;
    expected["branch_no"] = "3101";
    ExpectRequestFields(*shape.parse(sent), expected);
    EXPECT_TRUE(m_ui.Messages().empty());
}

INSTANTIATE_TEST_SUITE_P(Queries, QueryRequestTest, ::testing::ValuesIn(QueryShapes()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(TradeQueryTest, AccountNumberIsConvertedAndSentEvenWithoutDigits)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"3000000000", 2147483647u}, {"-1", 4294967295u}, {"123abc", 123u}, {"abc", 0u}};
    for (const auto& [text, number] : cases) {
        m_data.m_login.fund_account = text;
        m_server.Script(ScriptedReply::Success(kToken, MsgQryEntrust_res_collection()));
        m_data.QueryEntrust();
        EXPECT_EQ(SentRequest<MsgQryEntrust_req>(m_server.RequestCount() - 1).fund_account(),
                  number)
            << text;
    }
    EXPECT_EQ(m_server.RequestCount(), 4u);
}

// --- the history's date range ---------------------------------------------------------------

struct DateCase
{
    const char* zone;
    int year, month, day, hour, minute;
    const char* startDate;
    const char* endDate;
};

void PrintTo(const DateCase& c, std::ostream* os)
{
    *os << c.zone << ' ' << c.year << '-' << c.month << '-' << c.day << ' ' << c.hour << ':'
        << c.minute;
}

class HistoryDateTest : public TradeQueryTest, public ::testing::WithParamInterface<DateCase>
{};

TEST_P(HistoryDateTest, CoversTheNinetyDaysBeforeToday)
{
    const DateCase& c = GetParam();
    const ScopedTimeZone zone(c.zone);
    Clock::SetNowForTesting(LocalMoment(c.year, c.month, c.day, c.hour, c.minute));
    m_server.Script(ScriptedReply::Success(kToken, MsgQryHisEntrust_res_collection()));

    m_data.QueryHisEntrust();

    const auto sent = SentRequest<MsgQryHisEntrust_req>(0);
    EXPECT_EQ(sent.start_date(), c.startDate);
    EXPECT_EQ(sent.end_date(), c.endDate);
}

INSTANTIATE_TEST_SUITE_P(
    Days, HistoryDateTest,
    ::testing::Values(DateCase{"Asia/Shanghai", 2024, 3, 15, 12, 0, "20231216", "20240314"},
                      DateCase{"Asia/Shanghai", 2024, 3, 15, 0, 0, "20231216", "20240314"},
                      DateCase{"Asia/Shanghai", 2024, 3, 15, 23, 59, "20231216", "20240314"},
                      DateCase{"Asia/Shanghai", 2024, 1, 1, 12, 0, "20231003", "20231231"},
                      DateCase{"Asia/Shanghai", 2023, 3, 1, 12, 0, "20221201", "20230228"},
                      // The start lies before the change to summer time, the call after it.
                      DateCase{"Europe/Berlin", 2024, 4, 15, 12, 0, "20240116", "20240414"},
                      // Calendar days, not 24-hour periods: in the first hour after the
                      // night that lost an hour, yesterday is still the end date.
                      DateCase{"Europe/Berlin", 2024, 4, 1, 0, 30, "20240102", "20240331"},
                      DateCase{"Europe/Berlin", 2024, 10, 28, 0, 30, "20240730", "20241027"}));

// --- what each query stores ------------------------------------------------------------------

TEST_F(TradeQueryTest, StockAccountsAreStoredFieldByFieldAndAppended)
{
    m_data.m_stockAccounts = {StockAccount("OLD")};
    const auto reply = MakeCollection<MsgQryStockAcc_res_collection>("acc", 3);
    m_server.Script(ScriptedReply::Success(kToken, reply));

    EXPECT_EQ(m_data.QueryStockAcc(), 0);

    ASSERT_EQ(m_data.m_stockAccounts.size(), 4u);
    EXPECT_EQ(m_data.m_stockAccounts[0].stock_account, "OLD");
    const std::vector<qry_stock_account_result> added(m_data.m_stockAccounts.begin() + 1,
                                                      m_data.m_stockAccounts.end());
    ExpectListHoldsRows(added, reply, StockAccountFields());
    EXPECT_TRUE(m_ui.Events().empty()) << "nothing posted, nothing shown";
}

TEST_F(TradeQueryTest, OptionCodesAreStoredFieldByFieldAndAppended)
{
    const auto first = MakeCollection<MsgQryOptCode_res_collection>("opt", 2);
    const auto second = MakeCollection<MsgQryOptCode_res_collection>("more", 1);
    m_server.Script(ScriptedReply::Success(kToken, first));
    m_server.Script(ScriptedReply::Success(kToken, second));

    EXPECT_EQ(m_data.QueryOptCode(), 0);
    ExpectListHoldsRows(m_data.m_optCodes, first, OptCodeFields());
    EXPECT_EQ(m_data.QueryOptCode(), 0);

    ASSERT_EQ(m_data.m_optCodes.size(), 3u);
    ExpectRecordHoldsRow(m_data.m_optCodes[2], second.res_collection(0), OptCodeFields());
    EXPECT_TRUE(m_ui.Events().empty());
}

TEST_F(TradeQueryTest, TodaysOrdersAreReplacedAndAnnouncedOnce)
{
    const auto five = MakeCollection<MsgQryEntrust_res_collection>("five", 5);
    const auto three = MakeCollection<MsgQryEntrust_res_collection>("three", 3);
    m_server.Script(ScriptedReply::Success(kToken, five));
    m_server.Script(ScriptedReply::Success(kToken, three));

    EXPECT_EQ(m_data.QueryEntrust(), 0);
    ExpectListHoldsRows(m_data.m_curEntrusts, five, EntrustFields());
    m_ui.Clear();

    EXPECT_EQ(m_data.QueryEntrust(), 0);
    ExpectListHoldsRows(m_data.m_curEntrusts, three, EntrustFields());
    EXPECT_EQ(m_ui.Posts(), std::vector<int>{WM_CURENTRUST_READY});
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_F(TradeQueryTest, HistoryIsReplacedAndAnnouncedOnce)
{
    m_data.m_hisEntrusts.resize(7);
    const auto reply = MakeCollection<MsgQryHisEntrust_res_collection>("his", 4);
    m_server.Script(ScriptedReply::Success(kToken, reply));

    EXPECT_EQ(m_data.QueryHisEntrust(), 0);

    ExpectListHoldsRows(m_data.m_hisEntrusts, reply, HisEntrustFields());
    EXPECT_EQ(m_ui.Posts(), std::vector<int>{WM_HISENTRUST_READY});
}

TEST_F(TradeQueryTest, EmptyReplyEmptiesTheOrderListsAndStillAnnounces)
{
    m_data.m_curEntrusts.resize(2);
    m_data.m_hisEntrusts.resize(2);
    m_server.Script(ScriptedReply::Success(kToken, MsgQryEntrust_res_collection()));
    m_server.Script(ScriptedReply::Success(kToken, MsgQryHisEntrust_res_collection()));

    EXPECT_EQ(m_data.QueryEntrust(), 0);
    EXPECT_EQ(m_data.QueryHisEntrust(), 0);

    EXPECT_TRUE(m_data.m_curEntrusts.empty());
    EXPECT_TRUE(m_data.m_hisEntrusts.empty());
    EXPECT_EQ(m_ui.Posts(), (std::vector<int>{WM_CURENTRUST_READY, WM_HISENTRUST_READY}));
}

TEST_F(TradeQueryTest, MoreRowsThanAskedForAreAllKeptAndFewerAskNoMore)
{
    const auto many = MakeCollection<MsgQryEntrust_res_collection>("many", 60);
    m_server.Script(ScriptedReply::Success(kToken, many));
    m_data.QueryEntrust();
    ExpectListHoldsRows(m_data.m_curEntrusts, many, EntrustFields());

    const auto few = MakeCollection<MsgQryHisEntrust_res_collection>("few", 2);
    m_server.Script(ScriptedReply::Success(kToken, few));
    m_data.QueryHisEntrust();
    EXPECT_EQ(m_data.m_hisEntrusts.size(), 2u);
    EXPECT_EQ(m_server.RequestCount(), 2u) << "one request per query, no paging";
}

TEST_F(TradeQueryTest, RowWithMissingFieldsLeavesThemEmpty)
{
    MsgQryOptCode_res_collection reply;
    auto* row = reply.add_res_collection();
    row->set_sopt_code("1000012");
    row->set_apply_price("12.50");
    m_server.Script(ScriptedReply::Success(kToken, reply));

    m_data.QueryOptCode();

    ASSERT_EQ(m_data.m_optCodes.size(), 1u);
    const auto& record = m_data.m_optCodes[0];
    EXPECT_EQ(record.sopt_code, "1000012");
    EXPECT_EQ(record.apply_price, "12.50");
    for (const auto& [name, member] : OptCodeFields()) {
        if (std::string(name) != "sopt_code" && std::string(name) != "apply_price") {
            EXPECT_EQ(record.*member, "") << name;
        }
    }
    EXPECT_EQ(m_data.GetApplyPrice("1000012"), "12.50");
}

// --- failures --------------------------------------------------------------------------------

enum class Failure
{
    NoReply, ///< the server closes without a word
    Refusal, ///< a token, a non-zero code and a GBK description
    NoToken, ///< ErrorCode 0 and a description, but no session token
    Garbage, ///< bytes that are no envelope
};

struct FailingQuery
{
    const char* name;
    int (CTradeData::*query)();
    const std::string* prefix;
    std::size_t (*listSize)(const CTradeData&);
    int postAnyway; ///< 0: nothing is posted after a failure
};

void PrintTo(const FailingQuery& q, std::ostream* os)
{
    *os << q.name;
}

const FailingQuery kFailingQueries[] = {
    {"QueryStockAcc", &CTradeData::QueryStockAcc, &kQueryFailed,
     [](const CTradeData& d) { return d.m_stockAccounts.size(); }, 0},
    {"QueryOptCode", &CTradeData::QueryOptCode, &kQueryFailed,
     [](const CTradeData& d) { return d.m_optCodes.size(); }, 0},
    {"QueryPosCode", &CTradeData::QueryPosCode, &kQueryFailed,
     [](const CTradeData& d) { return d.m_positions.size(); }, WM_POSITION_READY},
    {"QueryEntrust", &CTradeData::QueryEntrust, &kQueryEntrustFailed,
     [](const CTradeData& d) { return d.m_curEntrusts.size(); }, 0},
    {"QueryHisEntrust", &CTradeData::QueryHisEntrust, &kQueryHisEntrustFailed,
     [](const CTradeData& d) { return d.m_hisEntrusts.size(); }, 0},
};

class QueryFailureTest : public TradeQueryTest,
                         public ::testing::WithParamInterface<std::tuple<FailingQuery, Failure>>
{};

TEST_P(QueryFailureTest, ShowsPrefixAndServerTextAndKeepsTheList)
{
    const auto& [query, failure] = GetParam();
    m_data.m_stockAccounts = {StockAccount("A1"), StockAccount("A2")};
    m_data.m_optCodes.resize(2);
    m_data.m_positions.resize(2);
    m_data.m_curEntrusts.resize(2);
    m_data.m_hisEntrusts.resize(2);
    const std::size_t before = query.listSize(m_data);

    std::string expectedText = *query.prefix;
    switch (failure) {
    case Failure::NoReply:
        m_server.SetDefaultReply(ScriptedReply::CloseWithoutAnswer());
        break;
    case Failure::Refusal:
        m_server.SetDefaultReply(ScriptedReply::Refusal(kToken, -61, kServerBusy));
        expectedText += kServerBusy;
        break;
    case Failure::NoToken:
        m_server.SetDefaultReply(ScriptedReply::Envelope(0, kServerBusy, "", ""));
        expectedText += kServerBusy;
        break;
    case Failure::Garbage:
        m_server.SetDefaultReply(ScriptedReply::Raw("\xFF\xFF\xFF\xFF not an envelope"));
        break;
    }

    EXPECT_EQ((m_data.*query.query)(), -1);

    // The positions query asks once per shareholder account and reports each failure.
    const std::size_t requests = query.postAnyway != 0 ? 2u : 1u;
    EXPECT_EQ(m_server.RequestCount(), requests);
    EXPECT_EQ(m_ui.Messages(), std::vector<std::string>(requests, expectedText));
    EXPECT_EQ(query.listSize(m_data), before) << "a failed query leaves its list alone";
    if (query.postAnyway != 0) {
        ASSERT_FALSE(m_ui.Events().empty());
        EXPECT_EQ(m_ui.Posts(), std::vector<int>{query.postAnyway});
        EXPECT_FALSE(m_ui.Events().back().isMessage) << "posted after the last box";
    } else {
        EXPECT_TRUE(m_ui.Posts().empty());
    }
}

std::string FailureCaseName(const ::testing::TestParamInfo<std::tuple<FailingQuery, Failure>>& info)
{
    static const char* const kFailureNames[] = {"NoReply", "Refusal", "NoToken", "Garbage"};
    return std::string(std::get<0>(info.param).name) + "_" +
           kFailureNames[static_cast<int>(std::get<1>(info.param))];
}

INSTANTIATE_TEST_SUITE_P(Replies, QueryFailureTest,
                         ::testing::Combine(::testing::ValuesIn(kFailingQueries),
                                            ::testing::Values(Failure::NoReply, Failure::Refusal,
                                                              Failure::NoToken, Failure::Garbage)),
                         &FailureCaseName);

TEST_F(TradeQueryTest, WithoutUserInterfaceFailuresAndPostsAreDropped)
{
    const ScopedTradeUi none(nullptr);
    m_data.m_stockAccounts = {StockAccount("A1")};
    EXPECT_EQ(m_data.QueryEntrust(), -1);
    EXPECT_EQ(m_data.QueryPosCode(), -1);
    EXPECT_TRUE(m_ui.Events().empty());
}

// --- positions over several shareholder accounts ----------------------------------------------

class PositionsTest : public TradeQueryTest
{
protected:
    void SetUp() override
    {
        TradeQueryTest::SetUp();
        m_data.m_stockAccounts = {StockAccount("A100000001"), StockAccount("0100000002")};
    }

    /// The rows of both accounts, as the server would send them.
    const MsgQryPosCode_res_collection m_first =
        MakeCollection<MsgQryPosCode_res_collection>("first", 2);
    const MsgQryPosCode_res_collection m_second =
        MakeCollection<MsgQryPosCode_res_collection>("second", 3);

    std::vector<std::string> SentStockAccounts() const
    {
        std::vector<std::string> accounts;
        for (const auto& request : m_server.Requests()) {
            EXPECT_EQ(request.FunId(), 9870);
            accounts.push_back(request.PayloadAs<MsgQryPosCode_req>().stock_account());
        }
        return accounts;
    }

    void ExpectPositions(const std::vector<const MsgQryPosCode_res*>& rows) const
    {
        ASSERT_EQ(m_data.m_positions.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE("position " + std::to_string(i));
            ExpectRecordHoldsRow(m_data.m_positions[i], *rows[i], PosCodeFields());
        }
    }
    std::vector<const MsgQryPosCode_res*> Rows(const MsgQryPosCode_res_collection& c) const
    {
        std::vector<const MsgQryPosCode_res*> rows;
        for (const auto& row : c.res_collection())
            rows.push_back(&row);
        return rows;
    }
    std::vector<const MsgQryPosCode_res*> AllRows() const
    {
        auto rows = Rows(m_first);
        const auto second = Rows(m_second);
        rows.insert(rows.end(), second.begin(), second.end());
        return rows;
    }
};

TEST_F(PositionsTest, OneRequestPerAccountRowsGroupedInAccountOrder)
{
    m_data.m_positions.resize(4); // an earlier refresh
    m_server.Script(ScriptedReply::Success(kToken, m_first));
    m_server.Script(ScriptedReply::Success(kToken, m_second));

    EXPECT_EQ(m_data.QueryPosCode(), 0);

    EXPECT_EQ(SentStockAccounts(), (std::vector<std::string>{"A100000001", "0100000002"}));
    ExpectPositions(AllRows());
    EXPECT_EQ(m_ui.Posts(), std::vector<int>{WM_POSITION_READY});
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_F(PositionsTest, SecondAccountFailing)
{
    m_server.Script(ScriptedReply::Success(kToken, m_first));
    m_server.Script(ScriptedReply::Refusal(kToken, 7, kServerBusy));

    m_data.QueryPosCode();

    EXPECT_EQ(m_server.RequestCount(), 2u);
    ExpectPositions(Rows(m_first));
    EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{kQueryFailed + kServerBusy});
    EXPECT_EQ(m_ui.Posts(), std::vector<int>{WM_POSITION_READY});
}

TEST_F(PositionsTest, NoAccountsSendsNothingKeepsTheListAndStillAnnounces)
{
    m_data.m_stockAccounts.clear();
    m_data.m_positions.resize(3);

    m_data.QueryPosCode();

    EXPECT_EQ(m_server.ConnectionCount(), 0u);
    EXPECT_EQ(m_data.m_positions.size(), 3u);
    EXPECT_EQ(m_ui.Posts(), std::vector<int>{WM_POSITION_READY});
}

TEST_F(PositionsTest, FirstAccountFailingAfterAFullRefreshShowsNoRowTwice)
{
    m_server.Script(ScriptedReply::Success(kToken, m_first));
    m_server.Script(ScriptedReply::Success(kToken, m_second));
    m_data.QueryPosCode();
    ExpectPositions(AllRows());
    m_ui.Clear();

    m_server.Script(ScriptedReply::CloseWithoutAnswer());
    m_server.Script(ScriptedReply::Success(kToken, m_second));
    m_data.QueryPosCode();

    ExpectPositions(Rows(m_second));
    EXPECT_EQ(m_ui.Messages(), std::vector<std::string>{kQueryFailed});
    EXPECT_EQ(m_ui.Posts(), std::vector<int>{WM_POSITION_READY});
}

TEST_F(PositionsTest, EveryAccountFailingKeepsTheOldList)
{
    m_server.Script(ScriptedReply::Success(kToken, m_first));
    m_server.Script(ScriptedReply::Success(kToken, m_second));
    m_data.QueryPosCode();
    m_ui.Clear();

    m_server.SetDefaultReply(ScriptedReply::Refusal(kToken, 7, kServerBusy));
    m_data.QueryPosCode();

    ExpectPositions(AllRows());
    EXPECT_EQ(m_ui.Messages().size(), 2u) << "one box per failing account";
    EXPECT_EQ(m_ui.Posts(), std::vector<int>{WM_POSITION_READY});
}

TEST_F(PositionsTest, EmptyReplyOfTheFirstAccountStillEmptiesTheList)
{
    m_data.m_positions.resize(4);
    m_server.Script(ScriptedReply::Success(kToken, MsgQryPosCode_res_collection()));
    m_server.Script(ScriptedReply::Success(kToken, m_second));

    m_data.QueryPosCode();

    ExpectPositions(Rows(m_second));
}
} // namespace
