// The demo trade server's side of the transport, seen from raw sockets: where a request
// ends, what is dropped unanswered, envelope-level refusals, start-up, logging, stopping.

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "ServerTestSupport.h"
#include "net/RequestFrame.h"
#include "server/ServerErrors.h"
#include "trade/LoginRequest.h"
#include "util/FileDescriptor.h"
#include "util/WaitReady.h"

using namespace quorvanta;
using ServerTest::Gbk;
using ServerTest::MakeRequest;
using ServerTest::RawCall;
using ServerTest::RawExchange;

namespace
{

std::string LoginPayload(const std::string& account = "10001234",
                         const std::string& password = "888888")
{
    return MakeLoginRequest(account, password).SerializePartialAsString();
}

// The reply must be the whole of what was written: one plain envelope, not padded.
WrappedMessage ParseWholeReply(const ServerTest::RawResult& result)
{
    WrappedMessage reply;
    EXPECT_TRUE(result.closedByPeer) << "the server closes after answering";
    EXPECT_TRUE(reply.ParsePartialFromString(result.bytes)) << result.bytes.size() << " bytes";
    return reply;
}

void ExpectLoggedIn(const WrappedMessage& reply)
{
    EXPECT_EQ(reply.errorcode(), 0);
    EXPECT_EQ(reply.tokenkey().size(), 32u);
    MsgLogin_res res;
    EXPECT_TRUE(res.ParsePartialFromString(reply.buff()));
    EXPECT_EQ(res.fund_account(), "10001234");
}

class ProtocolTest : public ServerTest::ServerFixture
{
protected:
    void SetUp() override
    {
        ServerFixture::SetUp();
        DemoServerOptions options;
        options.requestTimeout = std::chrono::milliseconds(300);
        options.logSink = [this](const std::string& line) {
            const std::lock_guard lock(m_logMutex);
            m_log.push_back(line);
        };
        StartServer(options);
    }

    std::vector<std::string> Log()
    {
        const std::lock_guard lock(m_logMutex);
        return m_log;
    }

    // The log line of a connection is written as it closes; give the server a moment. Lines
    // of connections served one after the other may still come in either order, when the
    // serving thread of the first is slower than the next exchange.
    std::vector<std::string> LogAfter(std::size_t lines)
    {
        for (int i = 0; i < 200 && Log().size() < lines; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return Log();
    }

    static std::ptrdiff_t LinesWith(const std::vector<std::string>& log, const std::string& text)
    {
        return std::count_if(log.begin(), log.end(), [&](const std::string& line) {
            return line.find(text) != std::string::npos;
        });
    }

    std::mutex m_logMutex;
    std::vector<std::string> m_log;
};

TEST_F(ProtocolTest, RequestsWithEachPaddingLengthAreParsed)
{
    // Growing MACID shifts the envelope's length through every remainder modulo 8.
    std::set<std::size_t> paddings;
    for (std::size_t macLength = 0; macLength < 16; ++macLength) {
        WrappedMessage request = MakeRequest(200, "", LoginPayload());
        request.set_macid(std::string(macLength, 'A'));
        const std::size_t padding = (8 - request.ByteSizeLong() % 8) % 8;
        SCOPED_TRACE("padding " + std::to_string(padding));
        paddings.insert(padding);
        const std::string bytes = EncodeRequest(request);
        ASSERT_EQ(bytes.size(), request.ByteSizeLong() + padding);
        ExpectLoggedIn(ParseWholeReply(RawExchange(m_server->Port(), {bytes})));
    }
    EXPECT_EQ(paddings.size(), 8u) << "every padding length 0 to 7 was tried";
}

TEST_F(ProtocolTest, RequestSplitOverSeveralSegments)
{
    const std::string bytes = EncodeRequest(MakeRequest(200, "", LoginPayload()));
    ASSERT_GT(bytes.size(), 40u);
    // Cuts inside a block, at block ends that are not the end, and a last lone byte.
    const std::vector<std::size_t> cuts = {5, 16, 19, 32, bytes.size() - 1};
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (const std::size_t cut : cuts) {
        pieces.push_back(bytes.substr(from, cut - from));
        from = cut;
    }
    pieces.push_back(bytes.substr(from));
    ExpectLoggedIn(
        ParseWholeReply(RawExchange(m_server->Port(), pieces, std::chrono::milliseconds(40))));
}

TEST_F(ProtocolTest, IncompleteRequestIsClosedUnanswered)
{
    const std::string bytes = EncodeRequest(MakeRequest(200, "", LoginPayload()));
    struct Case
    {
        const char* name;
        std::string sent;
    };
    const std::vector<Case> cases = {
        {"first blocks of a request", bytes.substr(0, 16)},
        {"a request less its last byte", bytes.substr(0, bytes.size() - 1)},
        {"blocks that never decode", std::string(64, '\x5a')},
        {"nothing at all", std::string()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto begin = std::chrono::steady_clock::now();
        const ServerTest::RawResult result = RawExchange(m_server->Port(), {c.sent});
        EXPECT_TRUE(result.closedByPeer) << "closed by the server's wait, not by ours";
        EXPECT_EQ(result.bytes, "");
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(2500));
    }
    const auto log = LogAfter(cases.size());
    ASSERT_EQ(log.size(), cases.size());
    for (const auto& line : log) {
        EXPECT_NE(line.find("fun=?"), std::string::npos) << line;
        EXPECT_NE(line.find("dropped: no complete request within 300 ms"), std::string::npos)
            << line;
    }
}

// A login whose payload carries an undeclared field of filler, sized so that the
// encrypted request is exactly `total` bytes long.
std::string LoginOfSize(std::size_t total)
{
    const auto build = [](std::size_t filler) {
        std::string payload = LoginPayload();
        payload += static_cast<char>((15 << 3) | 2);
        std::size_t length = filler;
        while (length >= 0x80) {
            payload += static_cast<char>((length & 0x7f) | 0x80);
            length >>= 7;
        }
        payload += static_cast<char>(length);
        payload.append(filler, 'f');
        return MakeRequest(200, "", payload);
    };
    const std::size_t guess = total - 200;
    const std::size_t size = build(guess).ByteSizeLong();
    const WrappedMessage request = build(guess + total - size);
    EXPECT_EQ(request.ByteSizeLong(), total);
    return EncodeRequest(request);
}

TEST_F(ProtocolTest, RequestsUpToOneMebibyteAreServedLargerOnesDropped)
{
    const std::string largest = LoginOfSize(1024 * 1024);
    ASSERT_EQ(largest.size(), 1024u * 1024u);
    ExpectLoggedIn(ParseWholeReply(RawExchange(m_server->Port(), {largest})));

    const std::string oversize = LoginOfSize(1024 * 1024 + 8);
    ASSERT_EQ(oversize.size(), 1024u * 1024u + 8u);
    const ServerTest::RawResult result = RawExchange(m_server->Port(), {oversize});
    EXPECT_TRUE(result.closedByPeer);
    EXPECT_EQ(result.bytes, "");
    const auto log = LogAfter(2);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(LinesWith(log, "fun=200 result=ok"), 1) << log[0] << "\n" << log[1];
    EXPECT_EQ(LinesWith(log, "dropped: request over 1048576 bytes"), 1) << log[0] << "\n" << log[1];
}

TEST_F(ProtocolTest, EnvelopeRefusals)
{
    struct Case
    {
        const char* name;
        WrappedMessage request;
        int32_t error;
        std::string text;
    };
    WrappedMessage badCrc = MakeRequest(200, "", LoginPayload());
    badCrc.set_crc(badCrc.crc() ^ 1u);
    WrappedMessage noCrc = MakeRequest(200, "", LoginPayload());
    noCrc.clear_crc();
    const std::vector<Case> cases = {
        {"CRC off by one bit", badCrc, DemoError::kBadCrc, Gbk("校验码错误")},
        {"CRC missing", noCrc, DemoError::kBadCrc, Gbk("校验码错误")},
        {"unknown function", MakeRequest(12345, "", LoginPayload()), DemoError::kUnknownFunction,
         Gbk("不支持的功能号12345")},
        {"login payload that is no message", MakeRequest(200, "", std::string("\x0a\x7f\x01", 3)),
         DemoError::kBadPayload, Gbk("请求数据格式错误")},
        {"order payload that is no message", MakeRequest(9865, "", std::string("\x12\x05\x31", 3)),
         DemoError::kBadPayload, Gbk("请求数据格式错误")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WrappedMessage reply;
        ASSERT_TRUE(RawCall(m_server->Port(), c.request, reply));
        EXPECT_EQ(reply.errorcode(), c.error);
        EXPECT_EQ(reply.msgdesc(), c.text);
        EXPECT_FALSE(reply.tokenkey().empty()) << "a refusal carries a token as well";
        EXPECT_EQ(reply.buff(), "");
    }
    // "校验码错误" in GBK, byte for byte.
    EXPECT_EQ(Gbk("校验码错误"), "\xd0\xa3\xd1\xe9\xc2\xeb\xb4\xed\xce\xf3");
}

TEST_F(ProtocolTest, ReplyEnvelopeCarriesEveryField)
{
    WrappedMessage reply;
    ASSERT_TRUE(RawCall(m_server->Port(), MakeRequest(200, "", LoginPayload()), reply));
    EXPECT_TRUE(reply.has_errorcode());
    EXPECT_TRUE(reply.has_msgdesc());
    EXPECT_EQ(reply.macid(), "0A1B2C3D4E5F");
    EXPECT_EQ(reply.funid(), 200);
    EXPECT_EQ(reply.crc(), CCrc32().Calc(reply.buff()));
    EXPECT_EQ(reply.buffsize(), static_cast<int32_t>(reply.buff().size()));
    EXPECT_FALSE(reply.buff().empty());
}

TEST_F(ProtocolTest, OneLogLinePerRequestWithoutThePassword)
{
    WrappedMessage reply;
    ASSERT_TRUE(RawCall(m_server->Port(), MakeRequest(200, "", LoginPayload()), reply));
    ASSERT_TRUE(RawCall(m_server->Port(),
                        MakeRequest(200, "", LoginPayload("10001234", "secret-pw-123")), reply));
    ASSERT_EQ(reply.errorcode(), DemoError::kBadLogin);
    const auto log = LogAfter(2);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(LinesWith(log, "fun=200 result=ok time="), 1) << log[0] << "\n" << log[1];
    EXPECT_EQ(LinesWith(log, "fun=200 result=refused code=2001 time="), 1) << log[0] << "\n"
                                                                           << log[1];
    for (const auto& line : log) {
        EXPECT_NE(line.find("ms peer=127.0.0.1:"), std::string::npos) << line;
        EXPECT_EQ(line.find("888888"), std::string::npos) << line;
        EXPECT_EQ(line.find("secret-pw-123"), std::string::npos) << line;
    }
}

TEST_F(ProtocolTest, PeerThatLeavesEarlyIsLogged)
{
    const std::string bytes = EncodeRequest(MakeRequest(200, "", LoginPayload()));
    {
        // Sends half a request and closes at once (a zero wait).
        RawExchange(m_server->Port(), {bytes.substr(0, 12)}, {}, std::chrono::milliseconds(0));
    }
    const auto log = LogAfter(1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("dropped: connection closed before a complete request (12 bytes)"),
              std::string::npos)
        << log[0];
}

class ServerLifecycleTest : public ServerTest::ServerFixture
{};

TEST_F(ServerLifecycleTest, PortInUseIsReportedClearly)
{
    StartServer();
    DemoServerOptions options;
    options.port = m_server->Port();
    options.logRequests = false;
    DemoServer second(options);
    std::string error;
    EXPECT_FALSE(second.Start(error));
    EXPECT_EQ(error, "cannot listen on 127.0.0.1:" + std::to_string(m_server->Port()) +
                         ": the port is already in use");
}

// The reply and the end of the stream arrive together, so a client reads both at one
// wake-up: once anything is readable, everything up to the close already is. (A serving
// thread that loses its core between the two for long enough may still let the reply go
// alone, so one miss is allowed; a server that closes apart misses several times.)
TEST_F(ServerLifecycleTest, ReplyAndCloseArriveTogether)
{
    DemoServerOptions options;
    options.logRequests = false;
    StartServer(options);
    const std::string login = EncodeRequest(MakeRequest(200, "", LoginPayload()));
    constexpr int kAttempts = 200;
    int closedApart = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        SCOPED_TRACE(attempt);
        const FileDescriptor fd = ServerTest::ConnectLoopback(m_server->Port());
        ASSERT_TRUE(fd.IsOpen());
        ASSERT_EQ(::send(fd.Get(), login.data(), login.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(login.size()));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        ASSERT_TRUE(WaitReady(fd.Get(), POLLIN, deadline));
        std::string reply;
        char chunk[4096];
        ssize_t n = 0;
        while ((n = ::recv(fd.Get(), chunk, sizeof chunk, MSG_DONTWAIT)) > 0)
            reply.append(chunk, static_cast<std::size_t>(n));
        if (n != 0) {
            ++closedApart;
            // Read the rest as a client would, so the reply is still checked whole.
            while (WaitReady(fd.Get(), POLLIN, deadline) &&
                   (n = ::recv(fd.Get(), chunk, sizeof chunk, 0)) > 0)
                reply.append(chunk, static_cast<std::size_t>(n));
        }
        ExpectLoggedIn(ParseWholeReply({reply, true}));
    }
    EXPECT_LE(closedApart, 1) << "the close came after the reply, not with it";
}

// Clients that connect and send nothing (or stall mid-request) must not hold up the next
// terminal: each serving thread passes such a connection on after a short wait, so a
// request is answered long before the silent ones reach their timeout.
TEST_F(ServerLifecycleTest, SilentClientsDoNotHoldUpOthers)
{
    DemoServerOptions options;
    options.requestTimeout = std::chrono::milliseconds(10000);
    options.logRequests = false;
    StartServer(options);
    const std::string login = EncodeRequest(MakeRequest(200, "", LoginPayload()));

    // More silent connections than there can be serving threads (at most 32), half of them
    // mid-request.
    std::vector<FileDescriptor> silent;
    for (int i = 0; i < 40; ++i) {
        FileDescriptor fd = ServerTest::ConnectLoopback(m_server->Port());
        ASSERT_TRUE(fd.IsOpen());
        if (i % 2 == 1) {
            ASSERT_EQ(::send(fd.Get(), login.data(), 16, MSG_NOSIGNAL), 16);
        }
        silent.push_back(std::move(fd));
    }

    const auto begin = std::chrono::steady_clock::now();
    ExpectLoggedIn(ParseWholeReply(RawExchange(m_server->Port(), {login})));
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(5000))
        << "answered only when silent connections timed out";

    // The silent ones are still open and waiting: nothing was dropped early.
    for (const FileDescriptor& fd : silent) {
        char byte = 0;
        EXPECT_EQ(::recv(fd.Get(), &byte, 1, MSG_DONTWAIT), -1);
        EXPECT_EQ(errno, EAGAIN);
    }
}

// Connections that wait for their request are bounded per client address and in all:
// past a bound the oldest go, those that have sent nothing before those that have sent part
// of a request; the rest stay open and a login is still answered.
TEST_F(ServerLifecycleTest, WaitingConnectionsAreBoundedAndTheOldestSilentOnesGoFirst)
{
    const struct
    {
        const char* name;
        std::size_t perAddress;
        std::size_t total;
    } cases[] = {
        {"per address", 8, 100},
        {"in all", 100, 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DemoServerOptions options;
        options.requestTimeout = std::chrono::milliseconds(10000);
        options.logRequests = false;
        // Every connection is handed over at once, so the silent ones reach the bound too.
        options.deferAcceptSeconds = 0;
        options.maxWaitingPerAddress = c.perAddress;
        options.maxWaitingConnections = c.total;
        StartServer(options);
        const std::string login = EncodeRequest(MakeRequest(200, "", LoginPayload()));

        // Six that sent part of a request, then six silent ones: twelve for eight places.
        std::vector<FileDescriptor> slow;
        std::vector<FileDescriptor> silent;
        for (int i = 0; i < 6; ++i) {
            slow.push_back(ServerTest::ConnectLoopback(m_server->Port()));
            ASSERT_EQ(::send(slow.back().Get(), login.data(), 16, MSG_NOSIGNAL), 16);
        }
        for (int i = 0; i < 6; ++i) {
            silent.push_back(ServerTest::ConnectLoopback(m_server->Port()));
            // One at a time, so that "oldest" is well defined.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        const auto closed = [](const FileDescriptor& fd) {
            char byte = 0;
            return ::recv(fd.Get(), &byte, 1, MSG_DONTWAIT) == 0;
        };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_TRUE(WaitReady(silent[i].Get(), POLLIN, deadline) && closed(silent[i]))
                << "silent connection " << i << " is one of the four oldest silent ones";
        for (std::size_t i = 4; i < silent.size(); ++i)
            EXPECT_FALSE(closed(silent[i])) << "silent connection " << i;
        for (std::size_t i = 0; i < slow.size(); ++i)
            EXPECT_FALSE(closed(slow[i])) << "slow connection " << i;
        ExpectLoggedIn(ParseWholeReply(RawExchange(m_server->Port(), {login})));
    }
}

TEST_F(ServerLifecycleTest, BadListenAddressIsReportedClearly)
{
    DemoServerOptions options;
    options.listenAddress = "127.0.0.x";
    options.logRequests = false;
    DemoServer server(options);
    std::string error;
    EXPECT_FALSE(server.Start(error));
    EXPECT_EQ(error, "invalid listen address \"127.0.0.x\"");
}

TEST_F(ServerLifecycleTest, StopClosesTheListenerAndHeldConnections)
{
    DemoServerOptions options;
    options.fault.mode = FaultMode::NeverAnswer;
    StartServer(options);
    const uint16_t port = m_server->Port();

    ServerTest::RawResult held;
    std::thread client([&] {
        held = RawExchange(port, {EncodeRequest(MakeRequest(200, "", LoginPayload()))}, {},
                           std::chrono::milliseconds(5000));
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto begin = std::chrono::steady_clock::now();
    m_server->Stop();
    client.join();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(2000));
    EXPECT_TRUE(held.closedByPeer);
    EXPECT_EQ(held.bytes, "");

    // Nothing listens any more: the terminal sees no reply.
    CClientUtil client2;
    MsgLogin_res res;
    MsgLogin_req req;
    req.ParsePartialFromString(LoginPayload());
    EXPECT_FALSE(client2.ReqLogin(req, res));
    EXPECT_EQ(client2.GetErrorCode(), 0);
    EXPECT_EQ(client2.GetErrorMsg(), "");

    // Stopping twice, and destroying a stopped server, are harmless.
    m_server->Stop();
}

TEST_F(ServerLifecycleTest, BuiltInBookIsUsedWithoutABookFile)
{
    DemoServerOptions options;
    options.logRequests = false;
    m_server = std::make_unique<DemoServer>(options);
    std::string error;
    ASSERT_TRUE(m_server->Start(error)) << error;
    EXPECT_NE(m_server->Port(), 0);
    WrappedMessage reply;
    ASSERT_TRUE(RawCall(
        m_server->Port(),
        MakeRequest(200, "", LoginPayload(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword)),
        reply));
    EXPECT_EQ(reply.errorcode(), 0);
}

} // namespace
