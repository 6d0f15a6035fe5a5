// CClientUtil against a scripted server on a loopback port: what goes on the wire, the
// token rule, replies good and bad, and every way an exchange can fail.

#include <chrono>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "WireHelpers.h"
#include "config/ClientConfig.h"
#include "net/ClientUtil.h"
#include "net/DesCipher.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/ScriptedServer.h"

namespace
{
using namespace std::chrono_literals;
using TestSupport::ScriptedReply;
using SteadyClock = std::chrono::steady_clock;

constexpr const char* kMac = "525400ABCDEF";

quorvanta::MsgLogin_req LoginRequest()
{
    quorvanta::MsgLogin_req request;
    request.set_op_branch_no(12);
    request.set_op_entrust_way("7");
    request.set_input_content("1");
    request.set_content_type("0");
    request.set_account_content("10001234");
    request.set_password("secret");
    return request;
}

quorvanta::MsgQryEntrust_res_collection EntrustRows(int count)
{
    quorvanta::MsgQryEntrust_res_collection rows;
    for (int i = 0; i < count; ++i) {
        auto* row = rows.add_res_collection();
        row->set_entrust_no(std::to_string(1000 + i));
        row->set_status_name(NetTest::kGbkFilled);
        row->set_sopt_code("1000" + std::to_string(i % 10));
        row->set_position_str(std::string(24, static_cast<char>('A' + i % 26)));
    }
    return rows;
}

std::string Decrypted(const std::string& raw)
{
    std::string plain;
    EXPECT_TRUE(DesCipher::DecryptBytes(raw, plain));
    return plain;
}

class Exchange : public testing::Test
{
protected:
    void SetUp() override
    {
        TestSupport::ResetSessionToken();
        m_server.PointClientHere();
    }
    void TearDown() override { TestSupport::ResetSessionToken(); }

    /// The session reports a failed exchange: false already checked, nothing to show.
    void ExpectNothingReported(const CClientUtil& session) const
    {
        EXPECT_EQ(session.GetErrorCode(), 0);
        EXPECT_EQ(session.GetErrorMsg(), "");
    }

    /// Leaves the session with an error of its own, so that a later check for "nothing
    /// reported" shows that the next operation cleared it.
    void LeaveAnError(CClientUtil& session)
    {
        m_server.Script(ScriptedReply::Refusal("TOKEN-BEFORE", 7, NetTest::kGbkNoAccount));
        quorvanta::MsgEntrust_res ignored;
        session.ReqEntrust({}, ignored);
        ASSERT_EQ(session.GetErrorCode(), 7);
    }

    // A known interface, so MACID is known; built before the session that reads it.
    TestSupport::ScopedNetworkAdapters m_adapters{
        {{"eth0", {0x52, 0x54, 0x00, 0xAB, 0xCD, 0xEF}, "192.0.2.1"}}};
    TestSupport::ScopedTransportTimeouts m_timeouts{{5s, 10s}};
    TestSupport::ScriptedServer m_server;
    CClientUtil m_session;
};

TEST_F(Exchange, FirstRequestCarriesAnEmptyTokenAndOnlyTheClientFields)
{
    quorvanta::MsgLogin_res reply;
    reply.set_client_name(NetTest::kGbkFilled);
    m_server.Script(ScriptedReply::Success("TOKEN-1", reply));

    const auto request = LoginRequest();
    quorvanta::MsgLogin_res result;
    ASSERT_TRUE(m_session.ReqLogin(request, result));
    EXPECT_EQ(result.client_name(), NetTest::kGbkFilled);
    EXPECT_EQ(g_strTokenKey, "TOKEN-1");

    const auto received = m_server.LastRequest();
    ASSERT_TRUE(received.decoded);
    const std::string expected =
        NetTest::ClientEnvelope("", kMac, 200, request.SerializePartialAsString())
            .SerializePartialAsString();
    const std::string plain = Decrypted(received.raw);
    ASSERT_EQ(plain.size(), (expected.size() + 7) / 8 * 8);
    EXPECT_EQ(plain.substr(0, expected.size()), expected);
    EXPECT_EQ(plain.substr(expected.size()), std::string(plain.size() - expected.size(), '\0'));

    const std::string envelopeBytes = plain.substr(0, expected.size());
    EXPECT_EQ(NetTest::FieldNumbersInOrder(envelopeBytes), (std::vector<int>{3, 4, 5, 6, 8}));
    EXPECT_EQ(envelopeBytes.substr(0, 2), std::string("\x1A\x00", 2)); // TokenKey, length 0

    // The bytes on the wire are what an independent 3DES implementation makes of them.
    EXPECT_EQ(NetTest::OpenSslEncrypt(plain), received.raw);
}

TEST_F(Exchange, EnvelopesArePaddedToWholeBlocks)
{
    const struct
    {
        std::size_t envelopeSize;
        std::size_t wireSize;
    } cases[] = {{40, 40}, {41, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.envelopeSize);
        TestSupport::ResetSessionToken();

        // Grow one field until the envelope the client will build has the wanted size.
        quorvanta::MsgLogin_req request;
        std::string expected;
        for (std::size_t length = 0; length < 64 && expected.size() != c.envelopeSize; ++length) {
            request.set_input_content(std::string(length, 'c'));
            expected = NetTest::ClientEnvelope("", kMac, 200, request.SerializePartialAsString())
                           .SerializePartialAsString();
        }
        ASSERT_EQ(expected.size(), c.envelopeSize);

        m_server.Script(ScriptedReply::Success("TOKEN", quorvanta::MsgLogin_res()));
        quorvanta::MsgLogin_res result;
        ASSERT_TRUE(m_session.ReqLogin(request, result));

        const auto received = m_server.LastRequest();
        ASSERT_EQ(received.raw.size(), c.wireSize);
        const std::string plain = Decrypted(received.raw);
        EXPECT_EQ(plain.substr(0, c.envelopeSize), expected);
        EXPECT_EQ(plain.substr(c.envelopeSize), std::string(c.wireSize - c.envelopeSize, '\0'));
    }
}

TEST_F(Exchange, EachOperationSendsItsFunctionNumberAndReadsItsReply)
{
    const auto check = [this](auto operation, int32_t funId, const auto& request,
                              const auto& reply) {
        SCOPED_TRACE(funId);
        m_server.Script(ScriptedReply::Success("TOKEN-" + std::to_string(funId), reply));
        std::remove_cvref_t<decltype(reply)> result;
        ASSERT_TRUE((m_session.*operation)(request, result));
        EXPECT_EQ(result.SerializePartialAsString(), reply.SerializePartialAsString());
        const auto received = m_server.LastRequest();
        EXPECT_EQ(received.FunId(), funId);
        EXPECT_EQ(received.Payload(), request.SerializePartialAsString());
        EXPECT_EQ(received.envelope.crc(), CCrc32().Calc(received.Payload()));
        EXPECT_EQ(received.envelope.macid(), kMac);
    };

    quorvanta::MsgLogin_res login;
    login.set_fund_account("10001234");
    check(&CClientUtil::ReqLogin, 200, LoginRequest(), login);

    quorvanta::MsgEntrust_req entrust;
    entrust.set_fund_account(10001234);
    entrust.set_sopt_code("10000001");
    entrust.set_amount("3.21");
    entrust.set_entrust_amount("1000");
    quorvanta::MsgEntrust_res entrustReply;
    entrustReply.set_entrust_no("88");
    check(&CClientUtil::ReqEntrust, 9865, entrust, entrustReply);

    quorvanta::MsgCanEntrust_req cancel;
    cancel.set_entrust_no("88");
    quorvanta::MsgCanEntrust_res cancelReply;
    cancelReply.set_entrust_no("89");
    check(&CClientUtil::ReqCanEntrust, 9866, cancel, cancelReply);

    quorvanta::MsgQryStockAcc_req stockAcc;
    stockAcc.set_request_num("100");
    quorvanta::MsgQryStockAcc_res_collection stockAccReply;
    stockAccReply.add_res_collection()->set_register_("1");
    check(&CClientUtil::ReqQryStockAcc, 407, stockAcc, stockAccReply);

    quorvanta::MsgQryEntrust_req entrusts;
    entrusts.set_position_str("");
    check(&CClientUtil::ReqQryEntrust, 9867, entrusts, EntrustRows(3));

    quorvanta::MsgQryHisEntrust_req history;
    history.set_start_date("20260101");
    quorvanta::MsgQryHisEntrust_res_collection historyReply;
    historyReply.add_res_collection()->set_status_name(NetTest::kGbkFilled);
    check(&CClientUtil::ReqQryHisEntrust, 9868, history, historyReply);

    quorvanta::MsgQryOptCode_req optCode;
    optCode.set_sopt_code("10000001");
    quorvanta::MsgQryOptCode_res_collection optCodeReply;
    optCodeReply.add_res_collection()->set_apply_price("3.21");
    check(&CClientUtil::ReqQryOptCode, 9869, optCode, optCodeReply);

    quorvanta::MsgQryPosCode_req positions;
    positions.set_stock_account("A123456789");
    quorvanta::MsgQryPosCode_res_collection positionsReply;
    positionsReply.add_res_collection()->set_enable_amount("5000");
    check(&CClientUtil::ReqQryPosCode, 9870, positions, positionsReply);
}

TEST_F(Exchange, TokenOfOneSessionIsSentByTheOthers)
{
    CClientUtil other;
    quorvanta::MsgLogin_res login;
    m_server.Script(ScriptedReply::Success("TOKEN-A", login));
    ASSERT_TRUE(m_session.ReqLogin(LoginRequest(), login));
    EXPECT_EQ(m_server.LastRequest().envelope.tokenkey(), "");

    quorvanta::MsgQryPosCode_res_collection positions;
    m_server.Script(ScriptedReply::Success("TOKEN-B", positions));
    ASSERT_TRUE(other.ReqQryPosCode({}, positions));
    EXPECT_EQ(m_server.LastRequest().envelope.tokenkey(), "TOKEN-A");

    quorvanta::MsgQryEntrust_res_collection entrusts;
    m_server.Script(ScriptedReply::Success("TOKEN-B", entrusts));
    ASSERT_TRUE(m_session.ReqQryEntrust({}, entrusts));
    EXPECT_EQ(m_server.LastRequest().envelope.tokenkey(), "TOKEN-B");
    EXPECT_EQ(g_strTokenKey, "TOKEN-B");
}

TEST_F(Exchange, ReplyWithoutTokenFailsWhateverItsErrorCode)
{
    const std::string rows = EntrustRows(2).SerializePartialAsString();
    quorvanta::WrappedMessage noTokenField;
    noTokenField.set_errorcode(0);
    noTokenField.set_buff(rows);

    const struct
    {
        const char* what;
        ScriptedReply reply;
        int32_t errorCode;
    } cases[] = {
        {"empty token, code 0", ScriptedReply::Envelope(0, "", "", rows), 0},
        {"no token field", ScriptedReply::Message(noTokenField), 0},
        {"empty token, code 3", ScriptedReply::Envelope(3, NetTest::kGbkNoAccount, "", rows), 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_strTokenKey = "TOKEN-KEPT";
        m_server.Script(c.reply);
        quorvanta::MsgQryEntrust_res_collection result;
        result.add_res_collection()->set_entrust_no("BEFORE");

        EXPECT_FALSE(m_session.ReqQryEntrust({}, result));
        EXPECT_EQ(g_strTokenKey, "TOKEN-KEPT");
        EXPECT_EQ(m_server.LastRequest().envelope.tokenkey(), "TOKEN-KEPT");
        EXPECT_EQ(m_session.GetErrorCode(), c.errorCode);
        // The payload is not read: the caller's reply message is as it was.
        ASSERT_EQ(result.res_collection_size(), 1);
        EXPECT_EQ(result.res_collection(0).entrust_no(), "BEFORE");
    }
}

TEST_F(Exchange, RefusalHandsOverTokenAndGbkDescription)
{
    m_server.Script(ScriptedReply::Refusal("TOKEN-R", 1001, NetTest::kGbkNoAccount));
    quorvanta::MsgEntrust_res result;
    EXPECT_TRUE(m_session.ReqEntrust({}, result)); // the empty payload parses
    EXPECT_EQ(m_session.GetErrorCode(), 1001);
    EXPECT_EQ(m_session.GetErrorMsg(), NetTest::kGbkNoAccount);
    EXPECT_EQ(g_strTokenKey, "TOKEN-R");

    // Another session's success leaves this one's last reply alone.
    CClientUtil other;
    m_server.Script(ScriptedReply::Success("TOKEN-S", quorvanta::MsgEntrust_res()));
    ASSERT_TRUE(other.ReqEntrust({}, result));
    EXPECT_EQ(other.GetErrorCode(), 0);
    EXPECT_EQ(m_session.GetErrorCode(), 1001);

    // The session's own next operation starts afresh.
    m_server.Script(ScriptedReply::Success("TOKEN-S", quorvanta::MsgEntrust_res()));
    ASSERT_TRUE(m_session.ReqEntrust({}, result));
    EXPECT_EQ(m_session.GetErrorCode(), 0);
    EXPECT_EQ(m_session.GetErrorMsg(), "");
}

TEST_F(Exchange, ErrorTextEndsAtItsFirstZeroByte)
{
    m_server.Script(
        ScriptedReply::Refusal("TOKEN", 5, NetTest::kGbkNoAccount + std::string("\0tail", 5)));
    quorvanta::MsgCanEntrust_res result;
    m_session.ReqCanEntrust({}, result);
    EXPECT_EQ(m_session.GetErrorCode(), 5);
    EXPECT_EQ(m_session.GetErrorMsg(), NetTest::kGbkNoAccount);
}

TEST_F(Exchange, MalformedReplyFailsWithNothingReported)
{
    quorvanta::WrappedMessage refusal;
    refusal.set_errorcode(9);
    refusal.set_msgdesc("half");
    refusal.set_tokenkey("TOKEN-BAD");
    const std::string refusalBytes = refusal.SerializePartialAsString();

    const struct
    {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"length past the end", std::string("\x1A\x05"
                                            "ab",
                                            4)},
        {"padded like a request", refusalBytes + std::string(3, '\0')},
        {"cut short", refusalBytes.substr(0, refusalBytes.size() - 2)},
        {"noise", "\xFF\xFF\xFF\xFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LeaveAnError(m_session);
        g_strTokenKey = "TOKEN-KEPT";
        m_server.Script(ScriptedReply::Raw(c.bytes));
        quorvanta::MsgEntrust_res result;
        result.set_entrust_no("BEFORE");
        EXPECT_FALSE(m_session.ReqEntrust({}, result));
        ExpectNothingReported(m_session);
        EXPECT_EQ(g_strTokenKey, "TOKEN-KEPT");
        EXPECT_EQ(result.entrust_no(), "BEFORE");
    }
}

TEST_F(Exchange, MalformedPayloadFailsAfterTheTokenIsTaken)
{
    m_server.Script(ScriptedReply::Envelope(0, "", "TOKEN-P",
                                            std::string("\x0A\x09"
                                                        "abc",
                                                        5)));
    quorvanta::MsgQryPosCode_res_collection result;
    EXPECT_FALSE(m_session.ReqQryPosCode({}, result));
    EXPECT_EQ(g_strTokenKey, "TOKEN-P");
}

TEST_F(Exchange, EmptyPayloadWithTokenIsAnEmptyReply)
{
    m_server.Script(ScriptedReply::Envelope(0, "", "TOKEN-E", ""));
    quorvanta::MsgQryPosCode_res_collection result;
    result.add_res_collection()->set_sopt_code("BEFORE");
    EXPECT_TRUE(m_session.ReqQryPosCode({}, result));
    EXPECT_EQ(result.res_collection_size(), 0);
    EXPECT_EQ(m_session.GetErrorCode(), 0);
}

TEST_F(Exchange, ReplyPiecesAreJoinedInOrder)
{
    // Larger than the 16384 bytes a fixed reply buffer would hold.
    const auto rows = EntrustRows(400);
    ASSERT_GT(rows.ByteSizeLong(), 16384u);
    const struct
    {
        std::size_t pieceSize;
        std::chrono::milliseconds pause;
    } cases[] = {{1, 0ms}, {7, 0ms}, {1000, 1ms}, {6000, 5ms}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pieceSize);
        m_server.Script(ScriptedReply::Success("TOKEN", rows).InPieces(c.pieceSize, c.pause));
        quorvanta::MsgQryEntrust_res_collection result;
        ASSERT_TRUE(m_session.ReqQryEntrust({}, result));
        EXPECT_EQ(result.SerializePartialAsString(), rows.SerializePartialAsString());
    }
}

TEST_F(Exchange, ReplyUpToTheCeilingArrives)
{
    quorvanta::MsgQryOptCode_res_collection rows;
    rows.add_res_collection()->set_stock_name(std::string(kMaxReplyBytes - 64, 'n'));
    m_server.Script(ScriptedReply::Success("TOKEN", rows));
    quorvanta::MsgQryOptCode_res_collection result;
    ASSERT_TRUE(m_session.ReqQryOptCode({}, result));
    ASSERT_EQ(result.res_collection_size(), 1);
    EXPECT_EQ(result.res_collection(0).stock_name().size(), kMaxReplyBytes - 64);
}

TEST_F(Exchange, FailedExchangesFailCleanlyWithNothingReported)
{
    quorvanta::MsgQryOptCode_res_collection huge;
    huge.add_res_collection()->set_stock_name(std::string(5 * 1024 * 1024, 'h'));
    quorvanta::MsgLogin_req hugeRequest = LoginRequest();
    hugeRequest.set_input_content(std::string(8 * 1024 * 1024, 'r'));

    const struct
    {
        const char* what;
        std::function<void()> arrange;
        quorvanta::MsgLogin_req request;
    } cases[] = {
        {"refused connection",
         [] { TestSupport::PointClientAt(TestSupport::UnusedLoopbackPort()); }, LoginRequest()},
        {"closes at once", [this] { m_server.Script(ScriptedReply::CloseAtOnce()); },
         LoginRequest()},
        {"closes while a large request is sent",
         [this] { m_server.Script(ScriptedReply::CloseAtOnce()); }, hugeRequest},
        {"closes without answering",
         [this] { m_server.Script(ScriptedReply::CloseWithoutAnswer()); }, LoginRequest()},
        {"5 MiB reply", [&] { m_server.Script(ScriptedReply::Success("TOKEN-HUGE", huge)); },
         LoginRequest()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_server.PointClientHere();
        LeaveAnError(m_session);
        g_strTokenKey = "TOKEN-KEPT";
        c.arrange();
        quorvanta::MsgLogin_res result;
        result.set_client_name("BEFORE");
        EXPECT_FALSE(m_session.ReqLogin(c.request, result));
        ExpectNothingReported(m_session);
        EXPECT_EQ(g_strTokenKey, "TOKEN-KEPT");
        EXPECT_EQ(result.client_name(), "BEFORE");
    }
}

TEST_F(Exchange, SilentOrTricklingServerIsLeftAtTheDeadline)
{
    const TestSupport::ScopedTransportTimeouts shortTimeouts({300ms, 400ms});
    const struct
    {
        const char* what;
        ScriptedReply reply;
    } cases[] = {
        {"never answers", ScriptedReply::NeverAnswer()},
        {"trickles", ScriptedReply::Success("TOKEN-SLOW", EntrustRows(20)).InPieces(1, 20ms)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_server.Script(c.reply);
        quorvanta::MsgQryEntrust_res_collection result;
        const auto start = SteadyClock::now();
        EXPECT_FALSE(m_session.ReqQryEntrust({}, result));
        const auto elapsed = SteadyClock::now() - start;
        ExpectNothingReported(m_session);
        EXPECT_EQ(g_strTokenKey, "");
        EXPECT_GE(elapsed, 390ms);
        EXPECT_LT(elapsed, 5s) << "the exchange was not bounded";
    }
}

/// A loopback listener whose accept queue is full, so that a further connect is never
/// answered.
class FullListener
{
public:
    FullListener()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_listener, 0) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
        for (int i = 0; i < 4; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            m_fillers.push_back(fd);
        }
        ::usleep(50 * 1000);
    }
    ~FullListener()
    {
        for (const int fd : m_fillers)
            ::close(fd);
        ::close(m_listener);
    }
    FullListener(const FullListener&) = delete;
    FullListener& operator=(const FullListener&) = delete;

    uint16_t Port() const { return m_port; }

private:
    int m_listener = -1;
    uint16_t m_port = 0;
    std::vector<int> m_fillers;
};

TEST_F(Exchange, ConnectingGivesUpAfterTheConnectTimeout)
{
    const FullListener listener;
    ASSERT_NE(listener.Port(), 0);
    TestSupport::PointClientAt(listener.Port());
    const TestSupport::ScopedTransportTimeouts timeouts({200ms, 4s});

    quorvanta::MsgLogin_res result;
    const auto start = SteadyClock::now();
    EXPECT_FALSE(m_session.ReqLogin(LoginRequest(), result));
    const auto elapsed = SteadyClock::now() - start;
    ExpectNothingReported(m_session);
    EXPECT_GE(elapsed, 190ms);
    EXPECT_LT(elapsed, 3s) << "connecting waited for the exchange deadline instead";
}

TEST_F(Exchange, AddressAndPortAreReadFromTheConfigurationEachTime)
{
    const std::string port = std::to_string(m_server.Port());
    // Text-to-integer conversion of the port.
    for (const std::string& portText : {" " + port, "\t+" + port, port + "junk"}) {
        SCOPED_TRACE(portText);
        g_ClientConfig.SetTradeSrvPort(portText);
        m_server.Script(ScriptedReply::Success("TOKEN", quorvanta::MsgLogin_res()));
        quorvanta::MsgLogin_res result;
        EXPECT_TRUE(m_session.ReqLogin(LoginRequest(), result));
    }

    // A port outside 1 to 65535 names no port: nothing is connected to (taken modulo 65536,
    // the port plus 65536 would reach this very server).
    std::size_t connections = m_server.ConnectionCount();
    for (const std::string& portText :
         {std::to_string(m_server.Port() + 65536), std::string("0"), std::string("-1"),
          std::string("abc"), std::string("99999999999999999999")}) {
        SCOPED_TRACE(portText);
        g_ClientConfig.SetTradeSrvPort(portText);
        quorvanta::MsgLogin_res result;
        EXPECT_FALSE(m_session.ReqLogin(LoginRequest(), result));
        EXPECT_EQ(m_session.GetLastOutcome(), ExchangeOutcome::BadPort);
        ExpectNothingReported(m_session);
    }
    EXPECT_EQ(m_server.ConnectionCount(), connections);

    // Only dotted IPv4 text is an address; nothing else is looked up or connected to. (Blanks
    // at either end are not kept by the configuration.)
    g_ClientConfig.SetTradeSrvPort(port);
    connections = m_server.ConnectionCount();
    for (const char* address : {"localhost", "", "127.0.0.256", "127.1", "127.0.0.1 x"}) {
        SCOPED_TRACE(address);
        g_ClientConfig.SetTradeSrvIP(address);
        quorvanta::MsgLogin_res result;
        EXPECT_FALSE(m_session.ReqLogin(LoginRequest(), result));
        ExpectNothingReported(m_session);
    }
    EXPECT_EQ(m_server.ConnectionCount(), connections);
}

} // namespace
