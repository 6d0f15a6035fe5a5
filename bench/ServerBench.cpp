// The demo trade server under load and at size:
// - 8 clients placing 1,000 orders each at once, beside the same exchanges (same byte
//   counts, same client code, request bytes made once on both sides) against a bare peer of
//   two threads; every order must be taken exactly once, which is checked after the timed
//   run. ratio = bare time / demo server time (1 means as fast as the bare peer).
// - the server's own work for one order (decrypt, decode, serve, serialise), no network.
// - a history of 10,000 and of 100,000 orders: loading the book and the history query.
//   ratio = time at 100,000 / time at 10,000 (10 means linear).
// - a login right after 3,000 silent connections were opened and kept open, beside a login
//   alone. ratio = behind / alone; the target is a login behind them within 50 ms.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "WrappedMessage.pb.h"
#include "bench/BareLoopback.h"
#include "bench/BenchRatio.h"
#include "net/Crc32.h"
#include "net/FunctionNumbers.h"
#include "net/ProtobufDiagnostics.h"
#include "net/RequestFrame.h"
#include "server/DemoBook.h"
#include "server/DemoServer.h"
#include "server/TradeService.h"
#include "trade/LoginRequest.h"
#include "util/Clock.h"

using namespace quorvanta;
using nlohmann::json;

namespace
{
using Steady = std::chrono::steady_clock;

constexpr int kClients = 8;
constexpr int kOrdersPerClient = 1000;
const std::string kPassword = "123456";

json Option(const std::string& code)
{
    return {{"exchange_type", "1"},    {"sopt_code", code},           {"sopt_name", "期权" + code},
            {"source_code", "600123"}, {"stock_name", "华信科技"},    {"apply_price", "12.50"},
            {"apply_begin_day", -100}, {"apply_end_day", 100},        {"apply_unit", 1},
            {"apply_low_amount", 1},   {"apply_high_amount", 1000000}};
}

// A customer with one shareholder account and one large position of option "9000001".
json Customer(int number, int historyOrders)
{
    const std::string id = std::to_string(30000000 + number);
    json orders = json::array();
    for (int i = 0; i < historyOrders; ++i) {
        char time[8];
        std::snprintf(time, sizeof time, "%02d%02d%02d", 9 + (i / 3600) % 6, (i / 60) % 60, i % 60);
        orders.push_back({{"day", -1 - (i % 89)},
                          {"stock_account", "A" + id},
                          {"sopt_code", "9000001"},
                          {"entrust_amount", 100},
                          {"entrust_status", "8"},
                          {"entrust_time", time}});
    }
    return {
        {"account", id},
        {"password", kPassword},
        {"fund_account", id},
        {"branch_no", "3101"},
        {"client_name", "客户" + id},
        {"shareholder_accounts",
         json::array({{{"exchange_type", "1"}, {"stock_account", "A" + id}, {"main_flag", "0"}}})},
        {"positions", json::array({{{"stock_account", "A" + id},
                                    {"sopt_code", "9000001"},
                                    {"enable_amount", 100000000}}})},
        {"orders", orders}};
}

std::string Book(int customers, int historyOrders)
{
    json book = {{"options", json::array({Option("9000001")})}, {"customers", json::array()}};
    for (int c = 0; c < customers; ++c)
        book["customers"].push_back(Customer(c, c == 0 ? historyOrders : 0));
    return book.dump();
}

WrappedMessage Envelope(const std::string& token, int32_t funId, const std::string& buff)
{
    WrappedMessage request;
    request.set_tokenkey(token);
    request.set_macid("0242AC110002");
    request.set_funid(funId);
    request.set_buff(buff);
    request.set_crc(CCrc32().Calc(buff));
    return request;
}

// An order for one option of the customer's position, in the session of token.
WrappedMessage OrderOfOne(const std::string& id, const std::string& token)
{
    MsgEntrust_req order;
    order.set_fund_account(static_cast<uint32_t>(std::stoul(id)));
    order.set_exchange_type("1");
    order.set_stock_account("A" + id);
    order.set_sopt_code("9000001");
    order.set_amount("12.50");
    order.set_entrust_amount("1");
    order.set_password(kPassword);
    order.set_branch_no("3101");
    return Envelope(token, kFunEntrust, order.SerializePartialAsString());
}

WrappedMessage Call(uint16_t port, const WrappedMessage& request)
{
    std::string bytes;
    BareLoopback::Exchange(port, EncodeRequest(request), &bytes);
    WrappedMessage reply;
    if (!reply.ParsePartialFromString(bytes))
        reply.Clear();
    return reply;
}

// ---------------------------------------------------------------------------------------
// 8 clients x 1,000 orders.

class OrderLoad
{
public:
    ~OrderLoad()
    {
        m_bare.reset();
        m_server.reset();
        std::error_code ignored;
        std::filesystem::remove(m_bookPath, ignored);
    }

    static OrderLoad* Get(std::string& error)
    {
        static std::string failure;
        static const std::unique_ptr<OrderLoad> load = []() -> std::unique_ptr<OrderLoad> {
            try {
                return std::unique_ptr<OrderLoad>(new OrderLoad);
            } catch (const std::exception& e) {
                failure = e.what();
                return nullptr;
            }
        }();
        error = failure;
        return load.get();
    }

    /// The reply bytes of every order, by client.
    using Replies = std::vector<std::vector<std::string>>;

    /// All clients at once, each placing its orders (the same request bytes every time,
    /// as the bare side sends the same bytes).
    void RunDemo(Replies& replies)
    {
        replies.assign(kClients, {});
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&, c] {
                replies[c].resize(kOrdersPerClient);
                for (std::string& reply : replies[c])
                    BareLoopback::Exchange(m_server->Port(), m_encodedOrders[c], &reply);
            });
        for (auto& client : clients)
            client.join();
    }

    /// Checked after the timed run: every order was taken and got an order number of its
    /// own.
    static bool EveryOrderTakenOnce(const Replies& replies)
    {
        std::set<std::string> distinct;
        for (const auto& list : replies)
            for (const std::string& bytes : list) {
                WrappedMessage reply;
                MsgEntrust_res res;
                if (!reply.ParsePartialFromString(bytes) || reply.errorcode() != 0 ||
                    reply.tokenkey().empty() || !res.ParsePartialFromString(reply.buff()))
                    return false;
                distinct.insert(res.entrust_no());
            }
        return distinct.size() == static_cast<std::size_t>(kClients * kOrdersPerClient);
    }

    /// The same exchanges against the bare peer; false unless every one got its reply.
    bool RunBare()
    {
        std::vector<int> complete(kClients, 0);
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; ++c)
            clients.emplace_back([&, c] {
                for (int i = 0; i < kOrdersPerClient; ++i)
                    if (BareLoopback::Exchange(m_bare->Port(), m_bareRequest) == m_replyBytes)
                        ++complete[c];
            });
        for (auto& client : clients)
            client.join();
        for (const int count : complete)
            if (count != kOrdersPerClient)
                return false;
        return true;
    }

private:
    OrderLoad()
    {
        SilenceProtobufDiagnostics();
        m_bookPath = (std::filesystem::temp_directory_path() /
                      ("halvorn-bench-book-" + std::to_string(::getpid()) + ".json"))
                         .string();
        std::ofstream(m_bookPath) << Book(kClients, 0);
        DemoServerOptions options;
        options.logRequests = false;
        options.bookPath = m_bookPath;
        m_server = std::make_unique<DemoServer>(options);
        std::string error;
        if (!m_server->Start(error))
            throw std::runtime_error("the demo server does not start: " + error);
        for (int c = 0; c < kClients; ++c) {
            const std::string id = std::to_string(30000000 + c);
            const WrappedMessage login =
                Call(m_server->Port(),
                     Envelope("", kFunLogin,
                              MakeLoginRequest(id, kPassword).SerializePartialAsString()));
            if (login.errorcode() != 0 || login.tokenkey().empty())
                throw std::runtime_error("a login of the order load fails");
            m_orders.push_back(OrderOfOne(id, login.tokenkey()));
            m_encodedOrders.push_back(EncodeRequest(m_orders.back()));
        }
        // The byte counts of one order exchange, for the bare peer.
        std::string replyBytes;
        const std::string encoded = EncodeRequest(m_orders.front());
        BareLoopback::Exchange(m_server->Port(), encoded, &replyBytes);
        m_replyBytes = replyBytes.size();
        m_bareRequest.assign(encoded.size(), 'q');
        m_bare = std::make_unique<BareLoopback::Peer>(
            std::vector<BareLoopback::Peer::ByteCounts>{{encoded.size(), m_replyBytes}}, 2);
    }

    std::string m_bookPath;
    std::unique_ptr<DemoServer> m_server;
    std::unique_ptr<BareLoopback::Peer> m_bare;
    std::vector<WrappedMessage> m_orders; ///< one per client
    /// The same orders as the bytes on the wire: every order of a client is the same
    /// request, so it is encoded once, as the bare side's request is made once.
    std::vector<std::string> m_encodedOrders;
    std::string m_bareRequest;
    std::size_t m_replyBytes = 0;
};

void BM_EightClientsOrdersRatio(benchmark::State& state)
{
    std::string error;
    OrderLoad* const load = OrderLoad::Get(error);
    if (!load) {
        state.SkipWithError(error.c_str());
        return;
    }
    RatioTimes times;
    bool demoFirst = true;
    for (auto _ : state) {
        OrderLoad::Replies replies;
        bool bareOk = false;
        Steady::duration demoTime{};
        Steady::duration bareTime{};
        const auto runDemo = [&] {
            const auto t0 = Steady::now();
            load->RunDemo(replies);
            demoTime = Steady::now() - t0;
        };
        const auto runBare = [&] {
            const auto t0 = Steady::now();
            bareOk = load->RunBare();
            bareTime = Steady::now() - t0;
        };
        // The sides take turns going first, so that neither always starts among the other's
        // closing connections.
        if (demoFirst) {
            runDemo();
            runBare();
        } else {
            runBare();
            runDemo();
        }
        demoFirst = !demoFirst;
        const bool demoOk = OrderLoad::EveryOrderTakenOnce(replies);
        if (!demoOk || !bareOk) {
            state.SkipWithError(demoOk ? "a bare exchange failed"
                                       : "an order was lost or numbered twice");
            break;
        }
        // Throughput against the bare peer: its time over the server's.
        times.Add(bareTime, demoTime);
    }
    times.Report(state, "bare_us", "demo_us");
}
BENCHMARK(BM_EightClientsOrdersRatio)->Unit(benchmark::kMillisecond)->Iterations(8);

// ---------------------------------------------------------------------------------------
// The demo server's own work for one order, without the network: decrypt and decode the
// request, serve it, serialise the reply. What the order load spends beyond the bare peer.

void BM_OrderServerWork(benchmark::State& state)
{
    SilenceProtobufDiagnostics();
    DemoBook book;
    std::string error;
    if (!LoadDemoBook(Book(1, 0), LocalDay(Clock::Now()), book, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    TradeService service(std::move(book), std::chrono::hours(8));
    const std::string id = std::to_string(30000000);
    const WrappedMessage login = service.Handle(
        Envelope("", kFunLogin, MakeLoginRequest(id, kPassword).SerializePartialAsString()));
    const std::string encoded = EncodeRequest(OrderOfOne(id, login.tokenkey()));
    for (auto _ : state) {
        WrappedMessage request;
        if (!TryDecodeRequest(encoded, request)) {
            state.SkipWithError("the order does not decode");
            break;
        }
        const std::string reply = service.Handle(request).SerializePartialAsString();
        benchmark::DoNotOptimize(reply.data());
    }
    state.counters["request_bytes"] = static_cast<double>(encoded.size());
}
BENCHMARK(BM_OrderServerWork)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------------------------------
// 10,000 and 100,000 history orders.

struct History
{
    std::string json;
    std::unique_ptr<TradeService> service;
    WrappedMessage query;
};

History& HistoryOf(int orders)
{
    static std::map<int, History> histories;
    History& history = histories[orders];
    if (history.json.empty()) {
        SilenceProtobufDiagnostics();
        history.json = Book(1, orders);
        DemoBook book;
        std::string error;
        if (!LoadDemoBook(history.json, LocalDay(Clock::Now()), book, error))
            throw std::runtime_error("the history book does not load: " + error);
        history.service = std::make_unique<TradeService>(std::move(book), std::chrono::hours(8));
        const std::string id = std::to_string(30000000);
        const WrappedMessage login = history.service->Handle(
            Envelope("", kFunLogin, MakeLoginRequest(id, kPassword).SerializePartialAsString()));
        const auto day = LocalDay(Clock::Now());
        MsgQryHisEntrust_req req;
        req.set_fund_account(30000000);
        req.set_stock_account("");
        req.set_position_str("");
        req.set_request_num(std::to_string(orders));
        req.set_start_date(FormatDate(day - std::chrono::days{90}));
        req.set_end_date(FormatDate(day));
        req.set_password(kPassword);
        req.set_branch_no("3101");
        history.query =
            Envelope(login.tokenkey(), kFunQryHisEntrust, req.SerializePartialAsString());
    }
    return history;
}

Steady::duration TimeLoad(const History& history)
{
    const auto t0 = Steady::now();
    DemoBook book;
    std::string error;
    const bool loaded = LoadDemoBook(history.json, LocalDay(Clock::Now()), book, error);
    const auto t1 = Steady::now();
    benchmark::DoNotOptimize(loaded);
    return t1 - t0;
}

Steady::duration TimeQuery(History& history, int expectedRows, bool& ok)
{
    const auto t0 = Steady::now();
    const WrappedMessage reply = history.service->Handle(history.query);
    const auto t1 = Steady::now();
    MsgQryHisEntrust_res_collection rows;
    ok = reply.errorcode() == 0 && rows.ParsePartialFromString(reply.buff()) &&
         rows.res_collection_size() == expectedRows;
    return t1 - t0;
}

void BM_HistoryLoadScaling(benchmark::State& state)
{
    History& small = HistoryOf(10'000);
    History& large = HistoryOf(100'000);
    RatioTimes times;
    for (auto _ : state)
        times.Add(TimeLoad(large), TimeLoad(small));
    times.Report(state, "load_100k_us", "load_10k_us");
}
BENCHMARK(BM_HistoryLoadScaling)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_HistoryQueryScaling(benchmark::State& state)
{
    History& small = HistoryOf(10'000);
    History& large = HistoryOf(100'000);
    RatioTimes times;
    for (auto _ : state) {
        bool smallOk = false;
        bool largeOk = false;
        const auto largeTime = TimeQuery(large, 100'000, largeOk);
        const auto smallTime = TimeQuery(small, 10'000, smallOk);
        if (!smallOk || !largeOk) {
            state.SkipWithError("the history query does not return every order");
            break;
        }
        times.Add(largeTime, smallTime);
    }
    times.Report(state, "query_100k_us", "query_10k_us");
}
BENCHMARK(BM_HistoryQueryScaling)->Unit(benchmark::kMillisecond)->Iterations(5);
} // namespace

// ---------------------------------------------------------------------------------------
// A login right after 3,000 connections were opened and left silent (kept open), beside a
// login without them. ratio = login behind the silent connections / login alone; the
// target is a login behind them within 50 ms.

void BM_LoginBehindIdleConnections(benchmark::State& state)
{
    constexpr int kIdle = 3000;
    DemoServerOptions options;
    options.logRequests = false;
    DemoServer server(options);
    std::string error;
    if (!server.Start(error)) {
        state.SkipWithError(("the demo server does not start: " + error).c_str());
        return;
    }
    const WrappedMessage login =
        Envelope("", kFunLogin,
                 MakeLoginRequest(DemoAccounts::kMainAccount, DemoAccounts::kMainPassword)
                     .SerializePartialAsString());
    const auto timedLogin = [&](Steady::duration& took) {
        const Steady::time_point begin = Steady::now();
        const WrappedMessage reply = Call(server.Port(), login);
        took = Steady::now() - begin;
        return reply.errorcode() == 0 && !reply.tokenkey().empty();
    };
    RatioTimes times;
    for (auto _ : state) {
        Steady::duration alone{};
        Steady::duration behind{};
        bool ok = timedLogin(alone);
        std::vector<FileDescriptor> idle;
        idle.reserve(kIdle);
        for (int i = 0; i < kIdle; ++i) {
            FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            const sockaddr_in address = BareLoopback::Loopback(server.Port());
            if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
                0)
                break;
            idle.push_back(std::move(fd));
        }
        ok = ok && idle.size() == kIdle && timedLogin(behind);
        idle.clear();
        if (!ok) {
            state.SkipWithError("a login failed, or the silent connections could not be opened");
            return;
        }
        times.Add(behind, alone);
        state.counters["behind_ms"] = std::chrono::duration<double, std::milli>(behind).count();
    }
    times.Report(state, "behind_us", "alone_us");
}
BENCHMARK(BM_LoginBehindIdleConnections)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
