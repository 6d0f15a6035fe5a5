// Reply bytes into each of the eight client operations through a loopback peer. The first
// input byte chooses the operation; the rest is what the peer answers, exactly as given,
// before it closes. Properties (the session's reply contract): the request that went out
// decodes and carries the operation's function number; the operation succeeds exactly when
// the reply is a well-formed envelope with a token and a Buff that parses as the reply
// message, which then holds what Buff holds; GetErrorCode and GetErrorMsg are the code and
// text as sent (0 and empty when no envelope could be read); the session token becomes the
// reply's token when it carries one and stays as it was otherwise.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>

#include "WrappedMessage.pb.h"
#include "config/ClientConfig.h"
#include "fuzz/FuzzCheck.h"
#include "net/ClientUtil.h"
#include "net/FunctionNumbers.h"
#include "net/RequestFrame.h"
#include "util/FileDescriptor.h"

using namespace quorvanta;

namespace
{
// Requests of the terminal are a few hundred bytes; anything far larger is not one.
constexpr std::size_t kMaxRequestBytes = 64 * 1024;
const std::string kTokenBefore = "token-before-the-call";

/// The loopback peer: one connection at a time, reads until the bytes form a request,
/// records its function number, writes the scripted bytes and closes.
class ReplyPeer
{
public:
    ReplyPeer() : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        FUZZ_CHECK(m_listener.IsOpen() &&
                       ::bind(m_listener.Get(), reinterpret_cast<sockaddr*>(&address),
                              sizeof address) == 0 &&
                       ::listen(m_listener.Get(), 16) == 0 &&
                       ::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&address),
                                     &length) == 0,
                   "the peer listens on 127.0.0.1");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~ReplyPeer()
    {
        m_stopping = true;
        ::shutdown(m_listener.Get(), SHUT_RDWR);
        m_thread.join();
    }
    ReplyPeer(const ReplyPeer&) = delete;
    ReplyPeer& operator=(const ReplyPeer&) = delete;

    uint16_t Port() const { return m_port; }

    /// The bytes the next connection gets; forgets the request seen last.
    void Script(std::string_view reply)
    {
        const std::lock_guard lock(m_mutex);
        m_reply.assign(reply);
        m_seen = false;
    }
    /// Whether the last connection sent a decodable request, and its function number.
    bool LastRequest(int32_t& funId) const
    {
        const std::lock_guard lock(m_mutex);
        funId = m_funId;
        return m_seen;
    }

private:
    void Serve()
    {
        while (!m_stopping) {
            const FileDescriptor connection(
                ::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!connection.IsOpen())
                continue;
            std::string received;
            WrappedMessage request;
            bool decoded = false;
            char chunk[4096];
            while (!decoded && received.size() < kMaxRequestBytes) {
                const ssize_t n = ::recv(connection.Get(), chunk, sizeof chunk, 0);
                if (n <= 0)
                    break;
                received.append(chunk, static_cast<std::size_t>(n));
                decoded = TryDecodeRequest(received, request);
            }
            std::string reply;
            {
                const std::lock_guard lock(m_mutex);
                m_seen = decoded;
                m_funId = request.funid();
                reply = m_reply;
            }
            std::size_t sent = 0;
            while (sent < reply.size()) {
                const ssize_t n = ::send(connection.Get(), reply.data() + sent, reply.size() - sent,
                                         MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<std::size_t>(n);
            }
        }
    }

    FileDescriptor m_listener;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::string m_reply;
    bool m_seen = false;
    int32_t m_funId = 0;
    std::thread m_thread;
};

/// The session, pointed at the peer, with its configuration in a folder of its own.
struct Setup
{
    Setup()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "halvorn-fuzz-XXXXXX").string();
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr, "a private temporary folder");
        folder = pattern;
        g_ClientConfig.LoadConfig(folder);
        g_ClientConfig.SetTradeSrvIP("127.0.0.1");
        g_ClientConfig.SetTradeSrvPort(std::to_string(peer.Port()));
        // The peer always answers at once; the bounds only matter if it cannot.
        SetTransportTimeouts({std::chrono::milliseconds(1000), std::chrono::milliseconds(2000)});
    }
    ~Setup()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    ReplyPeer peer;
    std::string folder;
    CClientUtil session;
};

template <typename Req, typename Res>
void Check(Setup& setup, bool (CClientUtil::*operation)(const Req&, Res&), int32_t funId,
           std::string_view replyBytes)
{
    setup.peer.Script(replyBytes);
    g_strTokenKey = kTokenBefore;
    const Req req;
    Res res;
    const bool ok = (setup.session.*operation)(req, res);

    int32_t sentFunId = 0;
    FUZZ_CHECK(setup.peer.LastRequest(sentFunId) && sentFunId == funId,
               "the request decodes and carries the operation's function number");

    WrappedMessage sent;
    const bool envelope =
        sent.ParsePartialFromArray(replyBytes.data(), static_cast<int>(replyBytes.size()));
    if (!envelope) {
        FUZZ_CHECK(!ok, "a malformed reply fails");
        FUZZ_CHECK(setup.session.GetErrorCode() == 0 && setup.session.GetErrorMsg().empty(),
                   "a malformed reply reports no code and no text");
        FUZZ_CHECK(g_strTokenKey == kTokenBefore, "a malformed reply leaves the token");
        FUZZ_CHECK(res.ByteSizeLong() == 0, "a malformed reply leaves the reply message");
        return;
    }
    FUZZ_CHECK(setup.session.GetErrorCode() == sent.errorcode(), "the error code as sent");
    const std::string& text = sent.msgdesc();
    FUZZ_CHECK(setup.session.GetErrorMsg() == text.substr(0, text.find('\0')),
               "the error text as sent, up to its first zero byte");
    if (sent.tokenkey().empty()) {
        FUZZ_CHECK(!ok, "a reply without a token fails");
        FUZZ_CHECK(g_strTokenKey == kTokenBefore, "a reply without a token leaves the token");
        FUZZ_CHECK(res.ByteSizeLong() == 0, "a reply without a token leaves the reply message");
        return;
    }
    FUZZ_CHECK(g_strTokenKey == sent.tokenkey(), "the reply's token is taken over");
    Res expected;
    const bool payload = expected.ParsePartialFromString(sent.buff());
    FUZZ_CHECK(ok == payload, "success exactly when the payload parses");
    if (ok)
        FUZZ_CHECK(res.SerializePartialAsString() == expected.SerializePartialAsString(),
                   "the reply message holds what Buff holds");
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static Setup setup;
    const std::string_view reply(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 8) {
    case 0:
        Check(setup, &CClientUtil::ReqLogin, kFunLogin, reply);
        break;
    case 1:
        Check(setup, &CClientUtil::ReqEntrust, kFunEntrust, reply);
        break;
    case 2:
        Check(setup, &CClientUtil::ReqCanEntrust, kFunCanEntrust, reply);
        break;
    case 3:
        Check(setup, &CClientUtil::ReqQryStockAcc, kFunQryStockAcc, reply);
        break;
    case 4:
        Check(setup, &CClientUtil::ReqQryEntrust, kFunQryEntrust, reply);
        break;
    case 5:
        Check(setup, &CClientUtil::ReqQryHisEntrust, kFunQryHisEntrust, reply);
        break;
    case 6:
        Check(setup, &CClientUtil::ReqQryOptCode, kFunQryOptCode, reply);
        break;
    default:
        Check(setup, &CClientUtil::ReqQryPosCode, kFunQryPosCode, reply);
        break;
    }
    return 0;
}
