#include "server/DemoServer.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "net/RequestFrame.h"
#include "server/DemoBook.h"
#include "server/TradeService.h"
#include "util/Clock.h"
#include "util/util.h"

using asio::ip::tcp;

namespace
{
constexpr std::size_t kIoThreads = 2;
// Requests up to this size are decoded whenever their bytes may be complete.
constexpr std::size_t kEagerDecodeBytes = 64 * 1024;
// How long a large request must stay unchanged before it is decoded again.
constexpr std::chrono::milliseconds kSettleTime{5};

struct FaultName
{
    FaultMode mode;
    std::string_view name;
};
constexpr std::array<FaultName, 9> kFaultNames{{
    {FaultMode::None, "none"},
    {FaultMode::CloseAtOnce, "close"},
    {FaultMode::Garbage, "garbage"},
    {FaultMode::NoToken, "no-token"},
    {FaultMode::Refuse, "refuse"},
    {FaultMode::MalformedBuff, "bad-buff"},
    {FaultMode::Trickle, "trickle"},
    {FaultMode::NeverAnswer, "silent"},
    {FaultMode::Oversize, "oversize"},
}};

// Bytes that cannot parse as an envelope: field 8 announces far more bytes than follow.
std::string GarbageBytes()
{
    std::string bytes = "\x42\xff\x7f";
    std::random_device seed;
    std::mt19937 random(seed());
    while (bytes.size() < 64)
        bytes += static_cast<char>(random() & 0xff);
    return bytes;
}

// A Buff that no reply message parses: field 1 announces 127 bytes, 3 follow.
const std::string kMalformedBuff("\x0a\x7f\x01\x02\x03", 5);

// Appends an undeclared length-delimited field (number 15), so that the reply stays a
// well-formed envelope and only its size is at fault.
void AppendFiller(std::string& bytes, std::size_t fillerBytes)
{
    bytes += static_cast<char>((15 << 3) | 2);
    std::size_t length = fillerBytes;
    while (length >= 0x80) {
        bytes += static_cast<char>((length & 0x7f) | 0x80);
        length >>= 7;
    }
    bytes += static_cast<char>(length);
    bytes.append(fillerBytes, 'x');
}

std::string Timestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}
} // namespace

std::string_view FaultModeName(FaultMode mode)
{
    for (const auto& entry : kFaultNames)
        if (entry.mode == mode)
            return entry.name;
    return "none";
}

bool ParseFaultMode(std::string_view name, FaultMode& mode)
{
    for (const auto& entry : kFaultNames)
        if (entry.name == name) {
            mode = entry.mode;
            return true;
        }
    return false;
}

namespace
{
// What every connection shares: the options, the business and the fault setting.
struct ServerCore
{
    explicit ServerCore(DemoServerOptions opts) : options(std::move(opts)) {}

    FaultOptions FaultFor(int32_t funId);
    std::string RefuseTextGbk();
    void Log(const std::string& line);

    DemoServerOptions options;
    std::unique_ptr<TradeService> service;

    std::mutex faultMutex;
    FaultOptions fault;
    std::string refuseTextGbk;

    std::mutex logMutex;
};

// One connection: read one request, answer it (or misbehave as told), close. All its
// handlers run on one strand.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(tcp::socket socket, ServerCore& server)
        : m_socket(std::move(socket)), m_deadline(m_socket.get_executor()),
          m_pause(m_socket.get_executor()), m_settle(m_socket.get_executor()), m_server(server),
          m_begin(std::chrono::steady_clock::now())
    {
        std::error_code ec;
        const tcp::endpoint peer = m_socket.remote_endpoint(ec);
        if (!ec)
            m_peer = peer.address().to_string() + ":" + std::to_string(peer.port());
        // Each write leaves at once: a trickled reply really arrives in pieces.
        m_socket.set_option(tcp::no_delay(true), ec);
    }

    void Start()
    {
        ArmDeadline(m_server.options.requestTimeout, [](Connection& self) {
            self.Finish("dropped: no complete request within " +
                        std::to_string(self.m_server.options.requestTimeout.count()) + " ms (" +
                        std::to_string(self.m_received.size()) + " bytes)");
        });
        ReadRequest();
    }

private:
    enum class Phase
    {
        Reading,
        Replying,
        Holding,
        Done
    };

    template <typename OnExpiry>
    void ArmDeadline(std::chrono::milliseconds after, OnExpiry onExpiry)
    {
        m_deadline.expires_after(after);
        m_deadline.async_wait([self = shared_from_this(), onExpiry](std::error_code ec) {
            if (!ec && self->m_phase != Phase::Done)
                onExpiry(*self);
        });
    }

    void ReadRequest()
    {
        m_readPending = true;
        m_socket.async_read_some(asio::buffer(m_chunk),
                                 [self = shared_from_this()](std::error_code ec, std::size_t n) {
                                     self->OnRead(ec, n);
                                 });
    }

    void OnRead(std::error_code ec, std::size_t n)
    {
        m_readPending = false;
        if (m_phase == Phase::Holding) {
            // Whatever else the peer sends is dropped; its close ends the wait.
            if (ec)
                Finish(m_outcome + ", peer closed");
            else
                ReadRequest();
            return;
        }
        if (m_phase != Phase::Reading)
            return;
        if (ec) {
            Finish("dropped: connection closed before a complete request (" +
                   std::to_string(m_received.size()) + " bytes)");
            return;
        }
        m_received.append(m_chunk.data(), n);
        if (m_received.size() > m_server.options.maxRequestBytes) {
            Finish("dropped: request over " + std::to_string(m_server.options.maxRequestBytes) +
                   " bytes");
            return;
        }
        // The client never half-closes: the request ends where the bytes first decode,
        // which can only be at a multiple of 8 with nothing more already queued.
        if (m_received.size() % 8 == 0 && NothingQueued()) {
            if (m_received.size() <= kEagerDecodeBytes ||
                m_received.size() >= 2 * m_lastAttemptSize) {
                if (TryDecode())
                    return;
            } else {
                // Every attempt decrypts everything so far. For a large request that
                // grew little since the last one, wait until the bytes stop coming.
                const std::size_t size = m_received.size();
                m_settle.expires_after(kSettleTime);
                m_settle.async_wait([self = shared_from_this(), size](std::error_code waitEc) {
                    if (!waitEc && self->m_phase == Phase::Reading &&
                        self->m_received.size() == size)
                        self->TryDecode();
                });
            }
        }
        ReadRequest();
    }

    bool TryDecode()
    {
        m_lastAttemptSize = m_received.size();
        quorvanta::WrappedMessage request;
        if (!TryDecodeRequest(m_received, request))
            return false;
        OnRequest(request);
        return true;
    }

    bool NothingQueued()
    {
        std::error_code ec;
        const std::size_t queued = m_socket.available(ec);
        return ec || queued == 0;
    }

    void OnRequest(const quorvanta::WrappedMessage& request)
    {
        m_deadline.cancel();
        m_funId = std::to_string(request.funid());
        if (m_server.options.requestObserver)
            m_server.options.requestObserver(request.funid(), request.buff());
        const FaultOptions fault = m_server.FaultFor(request.funid());
        const std::string faultNote =
            std::string(", fault ") + std::string(FaultModeName(fault.mode));

        switch (fault.mode) {
        case FaultMode::CloseAtOnce:
            Finish("closed unanswered" + faultNote);
            return;
        case FaultMode::NeverAnswer:
            Hold(faultNote);
            return;
        case FaultMode::Garbage:
            Reply(GarbageBytes(), "garbage sent" + faultNote);
            return;
        case FaultMode::Refuse: {
            quorvanta::WrappedMessage reply;
            reply.set_errorcode(fault.refuseCode);
            reply.set_msgdesc(m_server.RefuseTextGbk());
            std::string token = request.tokenkey();
            if (token.empty())
                token = TradeService::NewToken();
            reply.set_tokenkey(token.empty() ? std::string("0") : token);
            reply.set_macid(request.macid());
            reply.set_funid(request.funid());
            reply.set_crc(0xFFFFFFFFu);
            reply.set_buffsize(0);
            reply.set_buff(std::string());
            Reply(reply.SerializePartialAsString(),
                  "refused code=" + std::to_string(fault.refuseCode) + faultNote);
            return;
        }
        default:
            break;
        }

        quorvanta::WrappedMessage reply = m_server.service->Handle(request);
        std::string outcome = reply.errorcode() == 0
                                  ? std::string("ok")
                                  : "refused code=" + std::to_string(reply.errorcode());
        std::size_t pieceBytes = 0;
        std::string bytes;
        switch (fault.mode) {
        case FaultMode::NoToken:
            reply.clear_tokenkey();
            outcome += faultNote;
            break;
        case FaultMode::MalformedBuff:
            reply.set_buff(kMalformedBuff);
            reply.set_buffsize(static_cast<int32_t>(kMalformedBuff.size()));
            outcome += faultNote;
            break;
        case FaultMode::Trickle:
            pieceBytes = std::max<std::size_t>(1, fault.pieceBytes);
            outcome += faultNote;
            break;
        default:
            break;
        }
        bytes = reply.SerializePartialAsString();
        if (fault.mode == FaultMode::Oversize) {
            AppendFiller(bytes, 4u * 1024u * 1024u + 1024u);
            outcome += faultNote;
        }
        Reply(std::move(bytes), outcome, pieceBytes, fault.pause);
    }

    // Writes the reply (in pieces with pauses when pieceBytes is not 0), then closes.
    void Reply(std::string bytes, std::string outcome, std::size_t pieceBytes = 0,
               std::chrono::milliseconds pause = {})
    {
        m_phase = Phase::Replying;
        m_reply = std::move(bytes);
        m_outcome = std::move(outcome);
        m_pieceBytes = pieceBytes;
        m_pauseTime = pause;
        // A reader that stops reading cannot hold the connection for ever either.
        std::chrono::milliseconds limit = m_server.options.requestTimeout;
        if (pieceBytes != 0)
            limit += pause * static_cast<long>(m_reply.size() / pieceBytes + 1);
        ArmDeadline(limit, [](Connection& self) {
            self.Finish(self.m_outcome + ", reply not taken within the time limit");
        });
        WriteNext();
    }

    void WriteNext()
    {
        const std::size_t remaining = m_reply.size() - m_sent;
        const std::size_t n = m_pieceBytes == 0 ? remaining : std::min(m_pieceBytes, remaining);
        asio::async_write(m_socket, asio::buffer(m_reply.data() + m_sent, n),
                          [self = shared_from_this()](std::error_code ec, std::size_t written) {
                              self->OnWritten(ec, written);
                          });
    }

    void OnWritten(std::error_code ec, std::size_t written)
    {
        if (m_phase != Phase::Replying)
            return;
        if (ec) {
            Finish(m_outcome + ", reply not delivered: " + ec.message());
            return;
        }
        m_sent += written;
        if (m_sent >= m_reply.size()) {
            std::error_code ignored;
            m_socket.shutdown(tcp::socket::shutdown_send, ignored);
            Finish(m_outcome);
            return;
        }
        m_pause.expires_after(m_pauseTime);
        m_pause.async_wait([self = shared_from_this()](std::error_code waitEc) {
            if (!waitEc && self->m_phase == Phase::Replying)
                self->WriteNext();
        });
    }

    // Never answers: waits for the peer to give up (or the limit), then closes.
    void Hold(const std::string& faultNote)
    {
        m_phase = Phase::Holding;
        m_outcome = "never answered" + faultNote;
        ArmDeadline(m_server.options.neverAnswerLimit,
                    [](Connection& self) { self.Finish(self.m_outcome + ", let go"); });
        if (!m_readPending)
            ReadRequest();
    }

    void Finish(const std::string& outcome)
    {
        if (m_phase == Phase::Done)
            return;
        m_phase = Phase::Done;
        m_deadline.cancel();
        m_pause.cancel();
        m_settle.cancel();
        std::error_code ignored;
        m_socket.shutdown(tcp::socket::shutdown_both, ignored);
        m_socket.close(ignored);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - m_begin)
                            .count();
        m_server.Log("fun=" + m_funId + " result=" + outcome + " time=" + std::to_string(ms) +
                     "ms peer=" + m_peer);
    }

    tcp::socket m_socket;
    asio::steady_timer m_deadline;
    asio::steady_timer m_pause;
    asio::steady_timer m_settle;
    ServerCore& m_server;
    const std::chrono::steady_clock::time_point m_begin;
    std::string m_peer = "?";
    std::string m_funId = "?";
    Phase m_phase = Phase::Reading;
    std::array<char, 16384> m_chunk{};
    std::string m_received;
    std::string m_reply;
    std::string m_outcome;
    std::size_t m_sent = 0;
    std::size_t m_lastAttemptSize = 0;
    bool m_readPending = false;
    std::size_t m_pieceBytes = 0;
    std::chrono::milliseconds m_pauseTime{0};
};
} // namespace

struct DemoServer::Impl
{
    explicit Impl(DemoServerOptions options) : core(std::move(options)) {}

    void Accept();

    ServerCore core;
    std::unique_ptr<asio::io_context> io;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::unique_ptr<asio::steady_timer> acceptRetry;
    std::vector<std::thread> threads;
    uint16_t port = 0;
    bool started = false;
};

void DemoServer::Impl::Accept()
{
    acceptor->async_accept(asio::make_strand(*io), [this](std::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !acceptor->is_open())
            return;
        if (!ec) {
            std::make_shared<Connection>(std::move(socket), core)->Start();
            Accept();
            return;
        }
        // Out of descriptors and the like: try again shortly instead of spinning.
        core.Log("accept failed: " + ec.message());
        acceptRetry->expires_after(std::chrono::milliseconds(100));
        acceptRetry->async_wait([this](std::error_code waitEc) {
            if (!waitEc)
                Accept();
        });
    });
}

FaultOptions ServerCore::FaultFor(int32_t funId)
{
    const std::lock_guard lock(faultMutex);
    if (fault.mode == FaultMode::None || (fault.funId != 0 && fault.funId != funId))
        return {};
    return fault;
}

std::string ServerCore::RefuseTextGbk()
{
    const std::lock_guard lock(faultMutex);
    return refuseTextGbk;
}

void ServerCore::Log(const std::string& line)
{
    if (!options.logRequests)
        return;
    const std::lock_guard lock(logMutex);
    if (options.logSink)
        options.logSink(line);
    else
        std::fprintf(stderr, "%s %s\n", Timestamp().c_str(), line.c_str());
}

DemoServer::DemoServer(DemoServerOptions options)
    : m_impl(std::make_unique<Impl>(std::move(options)))
{}

DemoServer::~DemoServer()
{
    Stop();
}

bool DemoServer::Start(std::string& error)
{
    Impl& d = *m_impl;
    if (d.started) {
        error = "the server is already running";
        return false;
    }

    std::string json;
    std::string bookName = "built-in demo book";
    if (d.core.options.bookPath.empty()) {
        json = BuiltInDemoBookJson();
    } else {
        bookName = "demo book " + d.core.options.bookPath;
        std::ifstream file(d.core.options.bookPath, std::ios::binary);
        if (!file) {
            error = "cannot read the " + bookName + ": " + std::strerror(errno);
            return false;
        }
        std::ostringstream text;
        text << file.rdbuf();
        json = text.str();
    }
    DemoBook book;
    std::string why;
    if (!LoadDemoBook(json, LocalDay(Clock::Now()), book, why)) {
        error = "bad " + bookName + ": " + why;
        return false;
    }

    std::error_code ec;
    const asio::ip::address address = asio::ip::make_address(d.core.options.listenAddress, ec);
    if (ec) {
        error = "invalid listen address \"" + d.core.options.listenAddress + "\"";
        return false;
    }
    const tcp::endpoint endpoint(address, d.core.options.port);
    const std::string where =
        d.core.options.listenAddress + ":" + std::to_string(d.core.options.port);

    auto io = std::make_unique<asio::io_context>();
    auto acceptor = std::make_unique<tcp::acceptor>(*io);
    acceptor->open(endpoint.protocol(), ec);
    if (!ec)
        acceptor->set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec)
        acceptor->bind(endpoint, ec);
    if (!ec)
        acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        if (ec == asio::error::address_in_use)
            error = "cannot listen on " + where + ": the port is already in use";
        else
            error = "cannot listen on " + where + ": " + ec.message();
        return false;
    }
    d.port = acceptor->local_endpoint(ec).port();

    d.core.service =
        std::make_unique<TradeService>(std::move(book), d.core.options.sessionIdleTimeout);
    SetFault(d.core.options.fault);
    d.acceptRetry = std::make_unique<asio::steady_timer>(*io);
    d.io = std::move(io);
    d.acceptor = std::move(acceptor);
    d.Accept();
    for (std::size_t i = 0; i < kIoThreads; ++i)
        d.threads.emplace_back([&d] { d.io->run(); });
    d.started = true;
    return true;
}

uint16_t DemoServer::Port() const
{
    return m_impl->port;
}

void DemoServer::Stop()
{
    Impl& d = *m_impl;
    if (!d.started)
        return;
    d.io->stop();
    for (auto& thread : d.threads)
        thread.join();
    d.threads.clear();
    // Destroying the context drops every pending handler and with it every connection,
    // which closes their sockets.
    d.acceptRetry.reset();
    d.acceptor.reset();
    d.io.reset();
    d.started = false;
}

void DemoServer::SetFault(const FaultOptions& fault)
{
    const std::string text = Utf8ToAnsi(fault.refuseText);
    ServerCore& core = m_impl->core;
    const std::lock_guard lock(core.faultMutex);
    core.fault = fault;
    core.refuseTextGbk = text;
}
