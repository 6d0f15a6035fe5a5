// Faults on purpose, observed from the terminal's side: each mode ends the exchange the
// way the client's failure table says.

#include "ServerTestSupport.h"
#include "net/RequestFrame.h"
#include "tests/support/ClientTarget.h"
#include "trade/LoginRequest.h"
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

    static std::string LoginPayload()
    {
        return MakeLoginRequest("10001234", "888888").SerializePartialAsString();
    }

    // A login through the client, from a session that already holds a token.
    bool LoginFromToken(const std::string& token, MsgLogin_res& res)
    {
        g_strTokenKey = token;
        MsgLogin_req req;
        req.ParsePartialFromString(LoginPayload());
        return m_client->ReqLogin(req, res);
    }
};

TEST_F(FaultTest, NoUsableReplyLooksLikeNoReplyAtAll)
{
    const TestSupport::ScopedTransportTimeouts timeouts(
        {std::chrono::milliseconds(300), std::chrono::milliseconds(600)});
    const std::string request = EncodeRequest(ServerTest::MakeRequest(200, "", LoginPayload()));
    struct Case
    {
        FaultMode mode;
        bool closes;       ///< the server ends the connection by itself
        bool parses;       ///< what it wrote is a well-formed envelope
        std::size_t least; ///< it wrote at least this many bytes
    };
    for (const Case c :
         {Case{FaultMode::CloseAtOnce, true, true, 0}, Case{FaultMode::Garbage, true, false, 1},
          Case{FaultMode::NeverAnswer, false, true, 0},
          Case{FaultMode::Oversize, true, true, kMaxReplyBytes + 1}}) {
        SCOPED_TRACE(std::string(FaultModeName(c.mode)));
        m_server->SetFault(Fault(c.mode));

        // What the server does, seen from a raw socket.
        const ServerTest::RawResult raw = ServerTest::RawExchange(m_server->Port(), {request}, {},
                                                                  std::chrono::milliseconds(500));
        EXPECT_EQ(raw.closedByPeer, c.closes);
        EXPECT_GE(raw.bytes.size(), c.least);
        WrappedMessage envelope;
        EXPECT_EQ(envelope.ParsePartialFromString(raw.bytes), c.parses);
        if (c.mode == FaultMode::Oversize)
            EXPECT_EQ(envelope.tokenkey().size(), 32u) << "well formed, only too large";
        else
            EXPECT_LE(raw.bytes.size(), 64u);

        // What the terminal makes of it: no reply at all.
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
    fault.pieceBytes = 16;
    fault.pause = std::chrono::milliseconds(20);
    m_server->SetFault(fault);

    // The reply really comes in pieces, paced by the pause.
    const auto begin = std::chrono::steady_clock::now();
    const ServerTest::RawResult raw = ServerTest::RawExchange(
        m_server->Port(), {EncodeRequest(ServerTest::MakeRequest(200, "", LoginPayload()))});
    const auto took = std::chrono::steady_clock::now() - begin;
    ASSERT_TRUE(raw.closedByPeer);
    const std::size_t pieces = (raw.bytes.size() + 15) / 16;
    ASSERT_GE(pieces, 5u);
    EXPECT_GE(took, fault.pause * static_cast<long>(pieces - 1));

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
