#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

/// Demo accounts of the built-in demo book (also listed in the README).
namespace DemoAccounts
{
inline constexpr const char* kMainAccount = "10001234"; ///< two shareholder accounts
inline constexpr const char* kMainPassword = "888888";
inline constexpr const char* kOtherAccount = "20005678"; ///< one shareholder account
inline constexpr const char* kOtherPassword = "666666";
} // namespace DemoAccounts

/// Ways the server misbehaves on purpose, so that every failure path of the terminal can
/// be shown. Each applies once a complete request has been read.
enum class FaultMode
{
    None,
    CloseAtOnce,   ///< close without writing anything
    Garbage,       ///< write bytes that are no envelope, then close
    NoToken,       ///< serve the request, but the reply carries no token
    Refuse,        ///< refuse with the given code and text, serving nothing
    MalformedBuff, ///< serve the request, but the reply's Buff is not a message
    Trickle,       ///< serve the request and write the reply in small pieces with pauses
    NeverAnswer,   ///< keep the connection open and never write
    Oversize,      ///< serve the request and write a well-formed reply of over 4 MiB
};

/// The command-line name of a fault ("close", "garbage", "no-token", "refuse",
/// "bad-buff", "trickle", "silent", "oversize"; "none").
std::string_view FaultModeName(FaultMode mode);
/// Reads a command-line fault name; false for an unknown one.
bool ParseFaultMode(std::string_view name, FaultMode& mode);

struct FaultOptions
{
    FaultMode mode = FaultMode::None;
    int32_t funId = 0;         ///< 0: every request; otherwise only requests of this function
    int32_t refuseCode = 9999; ///< ErrorCode of FaultMode::Refuse
    std::string refuseText;    ///< MsgDesc of FaultMode::Refuse, UTF-8 (sent as GBK)
    std::chrono::milliseconds pause{100}; ///< FaultMode::Trickle: pause between pieces
    std::size_t pieceBytes = 16;          ///< FaultMode::Trickle: bytes per piece
};

struct DemoServerOptions
{
    std::string listenAddress = "127.0.0.1";
    uint16_t port = 0;       ///< 0 picks a free port; read it back with Port()
    std::string bookPath;    ///< JSON demo book; empty uses the built-in one
    bool logRequests = true; ///< one line per request on standard error

    /// A request larger than this is dropped unanswered.
    std::size_t maxRequestBytes = 1024 * 1024;
    /// A request not complete this long after the connection opened is dropped unanswered.
    std::chrono::milliseconds requestTimeout{5000};
    /// A session unused this long has expired; its next request is refused. The terminal
    /// cannot log in again within a run, so the default spans a trading day.
    std::chrono::milliseconds sessionIdleTimeout{std::chrono::hours{8}};
    /// The system holds a new connection back until its first bytes are in, for at most
    /// about this long (TCP_DEFER_ACCEPT), so silent clients wake no serving thread; 0 hands
    /// every connection over at once.
    int deferAcceptSeconds = 1;
    /// Connections that wait for their request (idle or slow senders) from one client
    /// address, and in all; past either bound the oldest are closed, those that have sent
    /// nothing first.
    std::size_t maxWaitingPerAddress = 256;
    std::size_t maxWaitingConnections = 2048;
    /// FaultMode::NeverAnswer lets a connection go after this long at the latest.
    std::chrono::milliseconds neverAnswerLimit{std::chrono::minutes{10}};
    FaultOptions fault;
    /// Receives each log line instead of standard error (tests).
    std::function<void(const std::string&)> logSink;
    /// Sees each decoded request before it is served or faulted: its function number and
    /// the serialized inner request (which may hold a password; never log it). Tests use
    /// it to check exactly what the terminal sent. Called on the serving threads.
    std::function<void(int32_t funId, const std::string& payload)> requestObserver;
};

/// The demo trade server, serving on background threads so that tests can run it in
/// process. One request per connection.
class DemoServer
{
public:
    explicit DemoServer(DemoServerOptions options = {});
    ~DemoServer(); ///< stops serving
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    /// Loads the book, binds and starts serving. On failure returns false with a
    /// clear message in error (port in use, bad book, ...).
    bool Start(std::string& error);
    /// The port actually listened on (after Start).
    uint16_t Port() const;
    void Stop();

    /// Replaces the fault behaviour for the requests that arrive from now on.
    void SetFault(const FaultOptions& fault);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
