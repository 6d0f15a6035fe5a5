#pragma once

#include <cstdint>
#include <memory>
#include <string>

/// Demo accounts of the built-in demo book (also listed in the README).
namespace DemoAccounts
{
inline constexpr const char* kMainAccount = "10001234"; ///< two shareholder accounts
inline constexpr const char* kMainPassword = "888888";
inline constexpr const char* kOtherAccount = "20005678"; ///< one shareholder account
inline constexpr const char* kOtherPassword = "666666";
} // namespace DemoAccounts

struct DemoServerOptions
{
    std::string listenAddress = "127.0.0.1";
    uint16_t port = 0;       ///< 0 picks a free port; read it back with Port()
    std::string bookPath;    ///< JSON demo book; empty uses the built-in one
    bool logRequests = true; ///< one line per request on standard error
    // Fault injection options are added by the server's owner.
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

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
