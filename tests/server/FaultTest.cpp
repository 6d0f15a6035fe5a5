// Faults on purpose, observed from the terminal's side: each mode ends the exchange the
// way the client's failure table says.

#include "ServerTestSupport.h"
#include "tests/support/ClientTarget.h"
#include "util/util.h"

using namespace quorvanta;
using ServerTest::Gbk;

namespace
{

class FaultTest : public ServerTest::ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        StartServer();
    }

    static FaultOptions Fault(FaultMode mode, int32_t funId = 0)
    {
        FaultOptions fault;
        fault.mode = mode;
        fault.funId = funId;
        return fault;
    }

    // A login through the client, from a session that already holds a token.
    bool LoginFromToken(const std::string& token, MsgLogin_res& res)
    {
        g_strTokenKey = token;
        MsgLogin_req req;
        req.set_op_branch_no(9999);
        req.set_op_entrust_way("5");
        req.set_input_content("10001234");
        req.set_content_type("0");
        req.set_account_content("10001234");
        req.set_password("888888");
        return m_client->ReqLogin(req, res);
    }
};

TEST_F(FaultTest, NoUsableReplyLooksLikeNoReplyAtAll)
{
    const TestSupport::ScopedTransportTimeouts timeouts(
        {std::chrono::milliseconds(300), std::chrono::milliseconds(1500)});
    for (const FaultMode mode : {FaultMode::CloseAtOnce, FaultMode::Garbage, FaultMode::NeverAnswer,
                                 FaultMode::Oversize}) {
        SCOPED_TRACE(std::string(FaultModeName(mode)));
        m_server->SetFault(Fault(mode));
        MsgLogin_res res;
        EXPECT_FALSE(LoginFromToken("previous-token", res));
        EXPECT_EQ(m_client->GetErrorCode(), 0);
        EXPECT_EQ(m_client->GetErrorMsg(), "");
        EXPECT_EQ(g_strTokenKey, "previous-token");
        EXPECT_EQ(res.fund_account(), "");
    }
    // The server is still well after all of that.
    m_server->SetFault({});
    EXPECT_TRUE(Login());
}

TEST_F(FaultTest, NeverAnswerHoldsTheClientUntilItsDeadline)
{
    const TestSupport::ScopedTransportTimeouts timeouts(
        {std::chrono::milliseconds(300), std::chrono::milliseconds(400)});
    m_server->SetFault(Fault(FaultMode::NeverAnswer));
    const auto begin = std::chrono::steady_clock::now();
    MsgLogin_res res;
    EXPECT_FALSE(LoginFromToken("", res));
    const auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(waited, std::chrono::milliseconds(350));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
}

TEST_F(FaultTest, ReplyWithoutTokenFailsEvenWithErrorCodeZero)
{
    m_server->SetFault(Fault(FaultMode::NoToken));
    MsgLogin_res res;
    EXPECT_FALSE(LoginFromToken("previous-token", res));
    EXPECT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(g_strTokenKey, "previous-token");
    EXPECT_EQ(res.fund_account(), "") << "the payload is not read";
}

TEST_F(FaultTest, RefusalWithGivenCodeAndText)
{
    FaultOptions fault = Fault(FaultMode::Refuse);
    fault.refuseCode = -77;
    fault.refuseText = "系统维护中，请稍后再试";
    m_server->SetFault(fault);
    MsgLogin_res res;
    // A refusal carries a token: the call itself succeeds, the error code tells.
    EXPECT_TRUE(LoginFromToken("", res));
    EXPECT_EQ(m_client->GetErrorCode(), -77);
    EXPECT_EQ(m_client->GetErrorMsg(), Gbk("系统维护中，请稍后再试"));
    EXPECT_FALSE(g_strTokenKey.empty());
    EXPECT_EQ(res.fund_account(), "");
}

TEST_F(FaultTest, MalformedBuffFailsAfterTheTokenIsTaken)
{
    m_server->SetFault(Fault(FaultMode::MalformedBuff));
    MsgLogin_res res;
    EXPECT_FALSE(LoginFromToken("previous-token", res));
    EXPECT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(g_strTokenKey.size(), 32u) << "the new token was taken over: " << g_strTokenKey;
}

TEST_F(FaultTest, TrickledReplyIsJoinedWithinTheDeadline)
{
    const TestSupport::ScopedTransportTimeouts timeouts(
        {std::chrono::milliseconds(300), std::chrono::milliseconds(3000)});
    FaultOptions fault = Fault(FaultMode::Trickle);
    fault.pieceBytes = 7;
    fault.pause = std::chrono::milliseconds(5);
    m_server->SetFault(fault);
    MsgLogin_res res;
    EXPECT_TRUE(LoginFromToken("", res));
    EXPECT_EQ(m_client->GetErrorCode(), 0);
    EXPECT_EQ(res.fund_account(), "10001234");
    EXPECT_EQ(res.client_name(), Gbk("张伟"));
}

TEST_F(FaultTest, TrickleSlowerThanTheDeadlineFails)
{
    const TestSupport::ScopedTransportTimeouts timeouts(
        {std::chrono::milliseconds(300), std::chrono::milliseconds(400)});
    FaultOptions fault = Fault(FaultMode::Trickle);
    fault.pieceBytes = 4;
    fault.pause = std::chrono::milliseconds(100);
    m_server->SetFault(fault);
    MsgLogin_res res;
    EXPECT_FALSE(LoginFromToken("previous-token", res));
    EXPECT_EQ(g_strTokenKey, "previous-token");
}

TEST_F(FaultTest, FaultLimitedToOneFunction)
{
    ASSERT_TRUE(Login());
    m_server->SetFault(Fault(FaultMode::CloseAtOnce, 9865));

    MsgQryStockAcc_res_collection accounts;
    EXPECT_TRUE(m_client->ReqQryStockAcc(StockAccReq(), accounts));
    EXPECT_EQ(accounts.res_collection_size(), 2);

    MsgEntrust_res placed;
    EXPECT_FALSE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", "200"), placed));
    EXPECT_EQ(m_client->GetErrorMsg(), "");
    // Closing at once serves nothing: no order was placed.
    EXPECT_EQ(Amounts("A123456789", "1000012"),
              std::make_pair(std::string("3000"), std::string("500")));

    FaultOptions refuse = Fault(FaultMode::Refuse, 9865);
    refuse.refuseCode = 3999;
    refuse.refuseText = "交易所系统繁忙";
    m_server->SetFault(refuse);
    EXPECT_TRUE(m_client->ReqEntrust(EntrustReq("A123456789", "1000012", "200"), placed));
    EXPECT_EQ(m_client->GetErrorCode(), 3999);
    EXPECT_EQ(m_client->GetErrorMsg(), Gbk("交易所系统繁忙"));
    MsgCanEntrust_res cancelled;
    EXPECT_TRUE(m_client->ReqCanEntrust(CancelReq("5006", "1"), cancelled));
    EXPECT_EQ(m_client->GetErrorCode(), 0);
}

TEST(FaultNames, CommandLineNamesRoundTrip)
{
    for (const FaultMode mode : {FaultMode::None, FaultMode::CloseAtOnce, FaultMode::Garbage,
                                 FaultMode::NoToken, FaultMode::Refuse, FaultMode::MalformedBuff,
                                 FaultMode::Trickle, FaultMode::NeverAnswer, FaultMode::Oversize}) {
        FaultMode parsed = FaultMode::None;
        ASSERT_TRUE(ParseFaultMode(FaultModeName(mode), parsed)) << FaultModeName(mode);
        EXPECT_EQ(parsed, mode);
    }
    FaultMode parsed = FaultMode::Garbage;
    EXPECT_FALSE(ParseFaultMode("Close", parsed));
    EXPECT_FALSE(ParseFaultMode("", parsed));
    EXPECT_EQ(parsed, FaultMode::Garbage);
}

} // namespace
