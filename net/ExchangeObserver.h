#pragma once

#include <cstdint>
#include <functional>
#include <string>

/// How one exchange with the trade server ended, as far as the transport can tell. A
/// session's operation returns true exactly for Completed; the server may still have
/// refused the request then (a non-zero ErrorCode in the reply).
enum class ExchangeOutcome
{
    Completed,          ///< a reply with a token whose payload parsed
    BadAddress,         ///< the configured server address is not dotted IPv4 text
    BadPort,            ///< the configured port is not a number from 1 to 65535
    LocalFailure,       ///< the request could not be built or no socket was had
    ConnectionRefused,  ///< nothing listens at the server's address and port
    ConnectFailed,      ///< the server could not be reached (no route, network down, ...)
    ConnectTimedOut,    ///< connecting took longer than the connect time-out
    ReplyTimedOut,      ///< connected, but no complete reply before the exchange's deadline
    ClosedWithoutReply, ///< the server closed the connection without writing anything
    ReplyUnreadable,    ///< the reply bytes are no envelope
    ReplyTooLong,       ///< the reply is longer than the terminal accepts
    NoToken,            ///< the reply envelope carries no session token
    PayloadUnreadable,  ///< the reply envelope's payload is not the expected message
};

/// One finished exchange, as an observer sees it.
struct ExchangeReport
{
    int32_t funId = 0;
    ExchangeOutcome outcome = ExchangeOutcome::Completed;
    int32_t errorCode = 0;  ///< ErrorCode of the reply envelope; 0 when none came
    std::string errorMsg;   ///< its MsgDesc up to the first zero byte (GBK); empty when none
    std::string serverHost; ///< the address text the exchange used
    uint16_t serverPort = 0;

    /// The request went through: completed and not refused by the server.
    bool Succeeded() const { return outcome == ExchangeOutcome::Completed && errorCode == 0; }
};

/// Told about every exchange of every session, so that a user interface can show that a
/// request is in flight and how the last one ended. Called on the thread that runs the
/// exchange, at its start and at its end, always in pairs.
class IExchangeObserver
{
public:
    virtual ~IExchangeObserver() = default;
    virtual void OnExchangeStarted(int32_t funId) = 0;
    virtual void OnExchangeFinished(const ExchangeReport& report) = 0;
};

/// Installs the process-wide observer (nullptr: none) and returns the previous one.
IExchangeObserver* SetExchangeObserver(IExchangeObserver* observer);
IExchangeObserver* GetExchangeObserver();

/// Runs the part of an exchange that waits on the network (connect, send, receive). The
/// call returns only once that work has ended, so the exchange's order of work is the same
/// whoever runs it. Without a waiter the work runs in place; a user interface installs one
/// that runs it on a thread of its own and keeps its windows painting meanwhile.
class IExchangeWaiter
{
public:
    virtual ~IExchangeWaiter() = default;
    /// Runs `work` to its end; `funId` says which request waits.
    virtual void WaitFor(int32_t funId, const std::function<void()>& work) = 0;
};

/// Installs the process-wide waiter (nullptr: none) and returns the previous one.
IExchangeWaiter* SetExchangeWaiter(IExchangeWaiter* waiter);
IExchangeWaiter* GetExchangeWaiter();
