// One full exchange through CClientUtil against the demo trade server on loopback, beside
// a bare TCP exchange of the same byte counts (connect, write, read to close). The ratio
// says what the protocol work costs on top of the connection itself: envelope, CRC,
// padding, 3DES both ways, decoding and serving.

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "bench/BareLoopback.h"
#include "bench/BenchRatio.h"
#include "config/ClientConfig.h"
#include "net/ClientUtil.h"
#include "net/Crc32.h"
#include "net/RequestFrame.h"
#include "server/DemoBook.h"
#include "server/DemoServer.h"
#include "trade/LoginRequest.h"
#include "util/Clock.h"
#include "util/FileDescriptor.h"

namespace
{
using Clock = std::chrono::steady_clock;
using BareLoopback::Exchange;
using BarePeer = BareLoopback::Peer;

std::size_t BareExchange(uint16_t port, const std::string& request)
{
    return Exchange(port, request);
}

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
        m_bareSessionPeer.reset();
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

    /// What the terminal does after the login dialog's OK: the login and the five queries
    /// of the main window, through the session.
    std::vector<std::function<bool()>> m_sessionStart;
    /// The same six exchanges with nothing but TCP, against a peer of the same byte counts.
    std::vector<std::string> m_bareSessionStart;
    std::unique_ptr<BarePeer> m_bareSessionPeer;

private:
    // One step of the session start: the typed call for the subject, and the byte counts
    // of the same exchange, found by sending exactly the session's bytes to the server.
    template <typename Req, typename Res>
    void AddStep(bool (CClientUtil::*operation)(const Req&, Res&), int32_t funId, const Req& req,
                 std::vector<BarePeer::ByteCounts>& counts)
    {
        quorvanta::WrappedMessage request;
        request.set_tokenkey(g_strTokenKey);
        request.set_macid(m_client->MacAddress());
        request.set_funid(funId);
        request.set_buff(req.SerializePartialAsString());
        request.set_crc(CCrc32().Calc(request.buff()));
        const std::string encoded = EncodeRequest(request);
        std::string replyBytes;
        Exchange(m_server->Port(), encoded, &replyBytes);
        quorvanta::WrappedMessage reply;
        if (!reply.ParsePartialFromString(replyBytes) || reply.errorcode() != 0)
            throw std::runtime_error("a step of the session start fails");
        g_strTokenKey = reply.tokenkey();
        counts.emplace_back(encoded.size(), replyBytes.size());
        m_bareSessionStart.emplace_back(encoded.size(), 'q');
        m_sessionStart.push_back([this, operation, req] {
            Res res;
            return (m_client.get()->*operation)(req, res) && m_client->GetErrorCode() == 0;
        });
    }

    void SetUpSessionStart(const std::string& branchNo)
    {
        const uint32_t fund = 10001234;
        const std::string password = DemoAccounts::kMainPassword;
        std::vector<BarePeer::ByteCounts> counts;
        AddStep(&CClientUtil::ReqLogin, kFunLogin,
                MakeLoginRequest(DemoAccounts::kMainAccount, password), counts);

        quorvanta::MsgQryStockAcc_req stock;
        stock.set_fund_account(fund);
        stock.set_password(password);
        stock.set_branch_no(branchNo);
        stock.set_position_str("");
        stock.set_request_num("50");
        AddStep(&CClientUtil::ReqQryStockAcc, kFunQryStockAcc, stock, counts);

        quorvanta::MsgQryOptCode_req options;
        options.set_fund_account(fund);
        options.set_sopt_code("");
        options.set_position_str("");
        options.set_request_num("50");
        options.set_password(password);
        options.set_branch_no(branchNo);
        AddStep(&CClientUtil::ReqQryOptCode, kFunQryOptCode, options, counts);

        quorvanta::MsgQryEntrust_req today;
        today.set_fund_account(fund);
        today.set_stock_account("");
        today.set_position_str("");
        today.set_request_num("50");
        today.set_password(password);
        today.set_branch_no(branchNo);
        AddStep(&CClientUtil::ReqQryEntrust, kFunQryEntrust, today, counts);

        const auto day = LocalDay(::Clock::Now());
        quorvanta::MsgQryHisEntrust_req history;
        history.set_fund_account(fund);
        history.set_stock_account("");
        history.set_position_str("");
        history.set_request_num("500");
        history.set_start_date(FormatDate(day - std::chrono::days{90}));
        history.set_end_date(FormatDate(day));
        history.set_password(password);
        history.set_branch_no(branchNo);
        AddStep(&CClientUtil::ReqQryHisEntrust, kFunQryHisEntrust, history, counts);

        quorvanta::MsgQryPosCode_req positions;
        positions.set_fund_account(fund);
        positions.set_position_str("");
        positions.set_request_num("50");
        positions.set_password(password);
        positions.set_branch_no(branchNo);
        positions.set_stock_account("");
        AddStep(&CClientUtil::ReqQryPosCode, kFunQryPosCode, positions, counts);

        m_bareSessionPeer = std::make_unique<BarePeer>(std::move(counts));
    }

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

        m_bare = std::make_unique<BarePeer>(
            std::vector<BarePeer::ByteCounts>{{m_requestBytes, m_replyBytes}});
        SetUpSessionStart(res.branch_no());
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
    RatioTimes times;
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
        times.Add(t1 - t0, t2 - t1);
    }
    times.Report(state);
}
BENCHMARK(BM_ExchangeRatio)->Unit(benchmark::kMicrosecond);

// The login and the five queries of the main window for the main demo account, beside six
// bare exchanges of the same byte counts, interleaved.
void BM_SessionStartRatio(benchmark::State& state)
{
    Environment* const environment = EnvironmentOrSkip(state);
    if (!environment)
        return;
    Environment& env = *environment;
    RatioTimes times;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        bool ok = true;
        for (const auto& step : env.m_sessionStart)
            ok = step() && ok;
        const auto t1 = Clock::now();
        for (const std::string& request : env.m_bareSessionStart)
            ok = Exchange(env.m_bareSessionPeer->Port(), request) > 0 && ok;
        const auto t2 = Clock::now();
        if (!ok) {
            state.SkipWithError("an exchange failed");
            break;
        }
        times.Add(t1 - t0, t2 - t1);
    }
    times.Report(state);
}
BENCHMARK(BM_SessionStartRatio)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
