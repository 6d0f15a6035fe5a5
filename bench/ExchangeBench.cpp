// One full exchange through CClientUtil against the demo trade server on loopback, beside
// a bare TCP exchange of the same byte counts (connect, write, read to close). The ratio
// says what the protocol work costs on top of the connection itself: envelope, CRC,
// padding, 3DES both ways, decoding and serving.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "config/ClientConfig.h"
#include "net/ClientUtil.h"
#include "net/Crc32.h"
#include "net/RequestFrame.h"
#include "server/DemoServer.h"
#include "trade/LoginRequest.h"
#include "util/FileDescriptor.h"

namespace
{
using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A client exchange with nothing but TCP: connect, write the request, read to the close.
std::size_t BareExchange(uint16_t port, const std::string& request)
{
    const FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return 0;
    WriteAll(fd.Get(), request.data(), request.size());
    char chunk[1024];
    std::size_t received = 0;
    for (;;) {
        const ssize_t n = ::recv(fd.Get(), chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        received += static_cast<std::size_t>(n);
    }
    return received;
}

// The bare peer: reads a request of known length, writes a reply of known length, closes.
class BarePeer
{
public:
    BarePeer(std::size_t requestBytes, std::size_t replyBytes)
        : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
          m_requestBytes(requestBytes), m_reply(replyBytes, 'r')
    {
        const int on = 1;
        ::setsockopt(m_listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        if (::bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
                0 ||
            ::listen(m_listener.Get(), 64) != 0 ||
            ::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("the bare peer cannot listen on 127.0.0.1");
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~BarePeer()
    {
        m_stopping = true;
        ::shutdown(m_listener.Get(), SHUT_RDWR);
        m_thread.join();
    }
    uint16_t Port() const { return m_port; }

private:
    void Serve()
    {
        std::string buffer(m_requestBytes, '\0');
        while (!m_stopping) {
            const FileDescriptor connection(
                ::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.Get() < 0) {
                if (!m_stopping)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            std::size_t got = 0;
            while (got < m_requestBytes) {
                const ssize_t n =
                    ::recv(connection.Get(), buffer.data() + got, m_requestBytes - got, 0);
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            WriteAll(connection.Get(), m_reply.data(), m_reply.size());
        }
    }

    FileDescriptor m_listener;
    std::size_t m_requestBytes;
    std::string m_reply;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};

// The demo server, a logged-in session and the byte counts of one shareholder-account
// query, set up once for all benchmarks.
class Environment
{
public:
    /// The one environment, or null with the reason in error when it cannot be set up.
    static Environment* Get(std::string& error)
    {
        static std::string failure;
        static const std::unique_ptr<Environment> environment =
            []() -> std::unique_ptr<Environment> {
            try {
                return std::unique_ptr<Environment>(new Environment);
            } catch (const std::exception& e) {
                failure = e.what();
                return nullptr;
            }
        }();
        error = failure;
        return environment.get();
    }
    ~Environment()
    {
        m_bare.reset();
        m_client.reset();
        m_server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_configDir, ignored);
    }

    quorvanta::MsgQryStockAcc_req m_query;
    std::size_t m_requestBytes = 0;
    std::size_t m_replyBytes = 0;
    std::unique_ptr<CClientUtil> m_client;
    std::unique_ptr<BarePeer> m_bare;

private:
    Environment()
    {
        // The client reads the server's address from its configuration; keep that file
        // in a folder of our own.
        m_configDir = std::filesystem::temp_directory_path() /
                      ("halvorn-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_configDir);
        g_ClientConfig.LoadConfig(m_configDir.string());

        DemoServerOptions options;
        options.logRequests = false;
        m_server = std::make_unique<DemoServer>(options);
        std::string error;
        if (!m_server->Start(error))
            throw std::runtime_error("the demo server does not start: " + error);
        g_ClientConfig.SetTradeSrvIP("127.0.0.1");
        g_ClientConfig.SetTradeSrvPort(std::to_string(m_server->Port()));

        m_client = std::make_unique<CClientUtil>();
        const quorvanta::MsgLogin_req login =
            MakeLoginRequest(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword);
        quorvanta::MsgLogin_res res;
        if (!m_client->ReqLogin(login, res) || m_client->GetErrorCode() != 0)
            throw std::runtime_error("the demo login fails");

        m_query.set_fund_account(10001234);
        m_query.set_password(DemoAccounts::kMainPassword);
        m_query.set_branch_no(res.branch_no());
        m_query.set_position_str("1");
        m_query.set_request_num("50");

        // The same bytes a session writes and reads for this query.
        quorvanta::WrappedMessage request;
        request.set_tokenkey(g_strTokenKey);
        request.set_macid(m_client->MacAddress());
        request.set_funid(kFunQryStockAcc);
        request.set_buff(m_query.SerializePartialAsString());
        request.set_crc(CCrc32().Calc(request.buff()));
        m_requestBytes = (request.ByteSizeLong() + 7) / 8 * 8;
        quorvanta::MsgQryStockAcc_res_collection rows;
        if (!m_client->ReqQryStockAcc(m_query, rows) || m_client->GetErrorCode() != 0)
            throw std::runtime_error("the demo query fails");
        quorvanta::WrappedMessage reply;
        reply.set_errorcode(0);
        reply.set_msgdesc("");
        reply.set_tokenkey(g_strTokenKey);
        reply.set_macid(m_client->MacAddress());
        reply.set_funid(kFunQryStockAcc);
        reply.set_buff(rows.SerializePartialAsString());
        reply.set_crc(CCrc32().Calc(reply.buff()));
        reply.set_buffsize(static_cast<int32_t>(reply.buff().size()));
        m_replyBytes = reply.ByteSizeLong();
        // The same request sent by hand must draw a reply of exactly that size.
        const std::string encoded = EncodeRequest(request);
        if (encoded.size() != m_requestBytes ||
            BareExchange(m_server->Port(), encoded) != m_replyBytes)
            throw std::runtime_error("the byte counts of the exchange are not as computed");

        m_bare = std::make_unique<BarePeer>(m_requestBytes, m_replyBytes);
    }

    std::filesystem::path m_configDir;
    std::unique_ptr<DemoServer> m_server;
};

bool ClientExchange(Environment& env)
{
    quorvanta::MsgQryStockAcc_res_collection rows;
    return env.m_client->ReqQryStockAcc(env.m_query, rows) && env.m_client->GetErrorCode() == 0 &&
           rows.res_collection_size() > 0;
}

/// The shared environment, or null after marking the benchmark skipped with the reason.
Environment* EnvironmentOrSkip(benchmark::State& state)
{
    std::string error;
    Environment* const environment = Environment::Get(error);
    if (!environment)
        state.SkipWithError(error.c_str());
    return environment;
}

void BM_ClientUtilExchange(benchmark::State& state)
{
    Environment* const environment = EnvironmentOrSkip(state);
    if (!environment)
        return;
    Environment& env = *environment;
    for (auto _ : state) {
        if (!ClientExchange(env)) {
            state.SkipWithError("the exchange failed");
            break;
        }
    }
    state.counters["request_bytes"] = static_cast<double>(env.m_requestBytes);
    state.counters["reply_bytes"] = static_cast<double>(env.m_replyBytes);
}
BENCHMARK(BM_ClientUtilExchange)->Unit(benchmark::kMicrosecond);

void BM_BareTcpExchange(benchmark::State& state)
{
    Environment* const environment = EnvironmentOrSkip(state);
    if (!environment)
        return;
    Environment& env = *environment;
    const std::string request(env.m_requestBytes, 'q');
    for (auto _ : state) {
        if (BareExchange(env.m_bare->Port(), request) != env.m_replyBytes) {
            state.SkipWithError("the bare exchange failed");
            break;
        }
    }
}
BENCHMARK(BM_BareTcpExchange)->Unit(benchmark::kMicrosecond);

// Both side by side in the same iterations, so that the ratio compares like with like.
void BM_ExchangeRatio(benchmark::State& state)
{
    Environment* const environment = EnvironmentOrSkip(state);
    if (!environment)
        return;
    Environment& env = *environment;
    const std::string request(env.m_requestBytes, 'q');
    Clock::duration client{};
    Clock::duration bare{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const bool clientOk = ClientExchange(env);
        const auto t1 = Clock::now();
        const bool bareOk = BareExchange(env.m_bare->Port(), request) == env.m_replyBytes;
        const auto t2 = Clock::now();
        if (!clientOk || !bareOk) {
            state.SkipWithError("an exchange failed");
            break;
        }
        client += t1 - t0;
        bare += t2 - t1;
    }
    const double iterations = static_cast<double>(state.iterations());
    if (iterations > 0 && bare.count() > 0) {
        using Micro = std::chrono::duration<double, std::micro>;
        state.counters["client_us"] = Micro(client).count() / iterations;
        state.counters["bare_us"] = Micro(bare).count() / iterations;
        state.counters["ratio"] = Micro(client).count() / Micro(bare).count();
    }
}
BENCHMARK(BM_ExchangeRatio)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
