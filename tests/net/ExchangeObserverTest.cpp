// How each exchange ended, as the session and the exchange observer tell it, for every
// way an exchange can end.

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/ClientConfig.h"
#include "net/ClientUtil.h"
#include "net/ExchangeObserver.h"
#include "net/FunctionNumbers.h"
#include "tests/support/ClientTarget.h"
#include "tests/support/ScriptedServer.h"

namespace
{
using namespace std::chrono_literals;
using TestSupport::ScriptedReply;

/// Keeps what it is told, and checks that starts and ends come in pairs.
class RecordingObserver : public IExchangeObserver
{
public:
    RecordingObserver() : m_previous(SetExchangeObserver(this)) {}
    ~RecordingObserver() override { SetExchangeObserver(m_previous); }
    RecordingObserver(const RecordingObserver&) = delete;
    RecordingObserver& operator=(const RecordingObserver&) = delete;

    void OnExchangeStarted(int32_t funId) override
    {
        EXPECT_EQ(m_open, 0) << "a start before the last exchange ended";
        ++m_open;
        m_started.push_back(funId);
    }
    void OnExchangeFinished(const ExchangeReport& report) override
    {
        EXPECT_EQ(m_open, 1) << "an end without its start";
        --m_open;
        m_finished.push_back(report);
    }

    std::vector<int32_t> m_started;
    std::vector<ExchangeReport> m_finished;
    int m_open = 0;

private:
    IExchangeObserver* m_previous;
};

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

quorvanta::MsgQryEntrust_res_collection OneRow()
{
    quorvanta::MsgQryEntrust_res_collection rows;
    rows.add_res_collection()->set_entrust_no("1001");
    return rows;
}

TEST(ExchangeOutcomeTest, EachWayAnExchangeEndsIsToldApart)
{
    TestSupport::ResetSessionToken();
    TestSupport::ScriptedServer server;
    const TestSupport::ScopedTransportTimeouts timeouts({300ms, 600ms});
    const FullListener full;
    ASSERT_NE(full.Port(), 0);
    quorvanta::MsgQryEntrust_res_collection huge;
    huge.add_res_collection()->set_sopt_name(std::string(5 * 1024 * 1024, 'h'));
    quorvanta::WrappedMessage noToken;
    noToken.set_errorcode(0);
    noToken.set_buff(OneRow().SerializePartialAsString());
    const std::string gbkText = "\xB9\xF1\xCC\xA8"; // GBK for 柜台

    const struct
    {
        const char* what;
        std::function<uint16_t()> arrange; ///< the port to point the client at
        std::string address;
        bool result;
        ExchangeOutcome outcome;
        int32_t errorCode;
        std::string errorMsg;
    } cases[] = {
        {"success",
         [&] {
             server.Script(ScriptedReply::Success("T1", OneRow()));
             return server.Port();
         },
         "127.0.0.1", true, ExchangeOutcome::Completed, 0, ""},
        {"refused by the server",
         [&] {
             server.Script(ScriptedReply::Refusal("T2", 31, gbkText));
             return server.Port();
         },
         "127.0.0.1", true, ExchangeOutcome::Completed, 31, gbkText},
        {"address not dotted IPv4", [&] { return server.Port(); }, "localhost", false,
         ExchangeOutcome::BadAddress, 0, ""},
        {"nothing listens", [] { return TestSupport::UnusedLoopbackPort(); }, "127.0.0.1", false,
         ExchangeOutcome::ConnectionRefused, 0, ""},
        {"connect not answered", [&] { return full.Port(); }, "127.0.0.1", false,
         ExchangeOutcome::ConnectTimedOut, 0, ""},
        {"never answers",
         [&] {
             server.Script(ScriptedReply::NeverAnswer());
             return server.Port();
         },
         "127.0.0.1", false, ExchangeOutcome::ReplyTimedOut, 0, ""},
        {"closes without answering",
         [&] {
             server.Script(ScriptedReply::CloseWithoutAnswer());
             return server.Port();
         },
         "127.0.0.1", false, ExchangeOutcome::ClosedWithoutReply, 0, ""},
        {"closes at once",
         [&] {
             server.Script(ScriptedReply::CloseAtOnce());
             return server.Port();
         },
         "127.0.0.1", false, ExchangeOutcome::ClosedWithoutReply, 0, ""},
        {"garbage",
         [&] {
             server.Script(ScriptedReply::Raw(std::string("\x42\xff\x7f\x01\x02", 5)));
             return server.Port();
         },
         "127.0.0.1", false, ExchangeOutcome::ReplyUnreadable, 0, ""},
        {"over 4 MiB",
         [&] {
             server.Script(ScriptedReply::Success("T3", huge));
             return server.Port();
         },
         "127.0.0.1", false, ExchangeOutcome::ReplyTooLong, 0, ""},
        {"no token",
         [&] {
             server.Script(ScriptedReply::Message(noToken));
             return server.Port();
         },
         "127.0.0.1", false, ExchangeOutcome::NoToken, 0, ""},
        {"payload not a message",
         [&] {
             server.Script(ScriptedReply::Envelope(0, "", "T4", std::string("\x0a\x7f\x01", 3)));
             return server.Port();
         },
         "127.0.0.1", false, ExchangeOutcome::PayloadUnreadable, 0, ""},
    };
    CClientUtil session;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RecordingObserver observer;
        const uint16_t port = c.arrange();
        TestSupport::PointClientAt(port);
        g_ClientConfig.SetTradeSrvIP(c.address);
        quorvanta::MsgQryEntrust_res_collection result;
        EXPECT_EQ(session.ReqQryEntrust({}, result), c.result);
        EXPECT_EQ(session.GetLastOutcome(), c.outcome);

        EXPECT_EQ(observer.m_started, std::vector<int32_t>{kFunQryEntrust});
        ASSERT_EQ(observer.m_finished.size(), 1u);
        const ExchangeReport& report = observer.m_finished[0];
        EXPECT_EQ(report.funId, kFunQryEntrust);
        EXPECT_EQ(report.outcome, c.outcome);
        EXPECT_EQ(report.errorCode, c.errorCode);
        EXPECT_EQ(report.errorMsg, c.errorMsg);
        EXPECT_EQ(report.serverHost, c.address);
        EXPECT_EQ(report.serverPort, port);
        EXPECT_EQ(report.Succeeded(), c.outcome == ExchangeOutcome::Completed && c.errorCode == 0);
    }
    g_ClientConfig.SetTradeSrvIP("127.0.0.1");
    TestSupport::ResetSessionToken();
}

TEST(ExchangeOutcomeTest, EveryOperationIsObservedWithItsFunctionNumber)
{
    TestSupport::ResetSessionToken();
    TestSupport::ScriptedServer server;
    server.PointClientHere();
    RecordingObserver observer;
    CClientUtil session;
    quorvanta::MsgLogin_res login;
    quorvanta::MsgEntrust_res entrust;
    quorvanta::MsgCanEntrust_res cancel;
    quorvanta::MsgQryStockAcc_res_collection accounts;
    quorvanta::MsgQryEntrust_res_collection orders;
    quorvanta::MsgQryHisEntrust_res_collection history;
    quorvanta::MsgQryOptCode_res_collection codes;
    quorvanta::MsgQryPosCode_res_collection positions;
    // The script is empty: each connection is closed unanswered, and still observed.
    session.ReqLogin({}, login);
    session.ReqEntrust({}, entrust);
    session.ReqCanEntrust({}, cancel);
    session.ReqQryStockAcc({}, accounts);
    session.ReqQryEntrust({}, orders);
    session.ReqQryHisEntrust({}, history);
    session.ReqQryOptCode({}, codes);
    session.ReqQryPosCode({}, positions);
    const std::vector<int32_t> expected = {kFunLogin,       kFunEntrust,    kFunCanEntrust,
                                           kFunQryStockAcc, kFunQryEntrust, kFunQryHisEntrust,
                                           kFunQryOptCode,  kFunQryPosCode};
    EXPECT_EQ(observer.m_started, expected);
    ASSERT_EQ(observer.m_finished.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(observer.m_finished[i].funId, expected[i]);
        EXPECT_EQ(observer.m_finished[i].outcome, ExchangeOutcome::ClosedWithoutReply);
    }
    EXPECT_EQ(observer.m_open, 0);
}

TEST(ExchangeOutcomeTest, InstallingReturnsThePreviousObserver)
{
    RecordingObserver first;
    RecordingObserver second;
    EXPECT_EQ(GetExchangeObserver(), &second);
    EXPECT_EQ(SetExchangeObserver(&first), &second);
    EXPECT_EQ(SetExchangeObserver(&second), &first);
}
} // namespace
