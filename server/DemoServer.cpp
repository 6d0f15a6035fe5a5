#include "server/DemoServer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <list>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <thread>
#include <unordered_map>
#include <vector>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <asio.hpp>

#include "net/RequestFrame.h"
#include "server/DemoBook.h"
#include "server/TradeService.h"
#include "util/Clock.h"
#include "util/FileDescriptor.h"
#include "util/WaitReady.h"
#include "util/util.h"

using asio::ip::tcp;

namespace
{
// A serving thread blocks only for the moment a sound client needs to send its request, and
// passes on any connection that takes longer, so two per core keep every core busy. More
// only add switches between threads and colder caches per request: with eight clients on two
// cores, eight serving threads served about 5% fewer orders per second than four.
std::size_t ServingThreads()
{
    constexpr std::size_t kPerCore = 2;
    constexpr std::size_t kFewest = 4;
    constexpr std::size_t kMost = 32;
    const std::size_t cores = std::thread::hardware_concurrency(); // 0 when unknown
    return std::clamp(cores * kPerCore, kFewest, kMost);
}
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
class Connection;

// What every connection shares: the options, the business, the fault setting and the
// waiting loop.
struct ServerCore
{
    explicit ServerCore(DemoServerOptions opts) : options(std::move(opts)) {}

    FaultOptions FaultFor(int32_t funId);
    std::string RefuseTextGbk();
    void Log(const std::string& line);
    bool Logging() const { return options.logRequests; }

    DemoServerOptions options;
    std::unique_ptr<TradeService> service;

    std::mutex faultMutex;
    FaultOptions fault;
    std::string refuseTextGbk;

    std::mutex logMutex;

    /// Runs every connection that has to wait (for the rest of a request, for the reader
    /// of a long or trickled reply, or for ever), so that no serving thread waits for one.
    std::unique_ptr<asio::io_context> waiting;

    /// The connections on the waiting loop still waiting for their request, oldest first,
    /// with their number per client address; touched only by the waiting loop's thread.
    std::list<std::weak_ptr<Connection>> waitingForRequest;
    std::unordered_map<std::string, std::size_t> waitingPerAddress;
    tcp protocol = tcp::v4();
};

// One connection: read one request, answer it (or misbehave as told), close.
//
// The serving thread that accepted the connection serves it itself as long as nothing
// has to wait: a request that arrives within kServingWait and a reply that fits the
// socket's buffer, which is every exchange of a terminal on a sound network. That path
// is plain blocking calls on the descriptor: no timer, no event registration and no other
// thread. A connection that has to wait moves, once, to the waiting loop, which finishes
// it with timers and asynchronous reads and writes.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(FileDescriptor socket, ServerCore& server)
        : m_fd(std::move(socket)), m_server(server), m_logging(server.Logging()),
          m_begin(std::chrono::steady_clock::now())
    {}

    /// Serves the connection on the calling serving thread, or passes it to the waiting
    /// loop as soon as something has to wait.
    void Serve()
    {
        if (m_logging)
            m_peer = PeerText();
        const auto passOnAt = m_begin + std::min<std::chrono::milliseconds>(
                                            kServingWait, m_server.options.requestTimeout);
        // Reads on a serving thread go through that thread's own buffer.
        thread_local std::array<char, kChunkBytes> chunk;
        for (;;) {
            const ssize_t n = ::recv(m_fd.Get(), chunk.data(), chunk.size(), MSG_DONTWAIT);
            if (n > 0) {
                if (Take(chunk.data(), static_cast<std::size_t>(n)))
                    return;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                FinishDropped();
                return;
            }
            // A client that has sent nothing yet holds no serving thread: the listener
            // hands over connections once their first bytes are in, so this one waited
            // already and may well stay silent.
            if (m_received.empty())
                break;
            if (!WaitReady(m_fd.Get(), POLLIN, passOnAt))
                break;
        }
        // The bytes stopped before a request was whole. A large request may be complete
        // now that they have settled.
        if (m_received.size() % 8 == 0 && m_received.size() != m_lastAttemptSize && TryDecode())
            return;
        OnWaitingLoopDo([](Connection& self) { self.WaitForRequest(); });
    }

private:
    // A serving thread waits this long for a request itself before it passes the
    // connection on: long enough for a client that was not scheduled at once, short
    // enough that a client that sends nothing holds no serving thread.
    static constexpr std::chrono::milliseconds kServingWait{20};
    static constexpr std::size_t kChunkBytes = 16384;

    enum class Phase
    {
        Reading,
        Replying,
        Holding,
        Done
    };

    bool OnWaitingLoop() const { return m_socket.has_value(); }

    std::string PeerText() const
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(m_fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return "?";
        tcp::endpoint peer;
        if (length > peer.capacity())
            return "?";
        std::memcpy(peer.data(), &address, length);
        return peer.address().to_string() + ":" + std::to_string(peer.port());
    }

    // Goes on with `resume` on the waiting loop: at once when the connection is there
    // already, otherwise after handing it over. From then on only that loop's thread
    // touches it.
    template <typename Resume> void OnWaitingLoopDo(Resume resume)
    {
        if (OnWaitingLoop()) {
            resume(*this);
            return;
        }
        asio::post(*m_server.waiting, [self = shared_from_this(), resume] {
            std::error_code ec;
            self->m_socket.emplace(*self->m_server.waiting);
            const int fd = self->m_fd.Release();
            self->m_socket->assign(self->m_server.protocol, fd, ec);
            if (ec) {
                ::close(fd);
                self->Finish([&] { return "dropped: " + ec.message(); });
                return;
            }
            resume(*self);
        });
    }

    asio::steady_timer& Timer(std::optional<asio::steady_timer>& timer)
    {
        if (!timer)
            timer.emplace(*m_server.waiting);
        return *timer;
    }

    template <typename OnExpiry>
    void ArmDeadline(std::chrono::steady_clock::duration after, OnExpiry onExpiry)
    {
        asio::steady_timer& deadline = Timer(m_deadline);
        deadline.expires_after(after);
        deadline.async_wait([self = shared_from_this(), onExpiry](std::error_code ec) {
            if (!ec && self->m_phase != Phase::Done)
                onExpiry(*self);
        });
    }

    // On the waiting loop: joins the connections that wait for their request. Idle and
    // slow connections are bounded per client address and in all: past a bound the oldest
    // go first, those that have sent nothing before those that have sent part of a request.
    void EnterWaitingList()
    {
        if (m_waitingEntry)
            return;
        m_address = PeerAddress();
        std::list<std::weak_ptr<Connection>>& waiting = m_server.waitingForRequest;
        m_waitingEntry = waiting.insert(waiting.end(), weak_from_this());
        const std::size_t fromAddress = ++m_server.waitingPerAddress[m_address];
        if (fromAddress > m_server.options.maxWaitingPerAddress)
            DropOldestWaiting(&m_address);
        if (waiting.size() > m_server.options.maxWaitingConnections)
            DropOldestWaiting(nullptr);
    }

    void LeaveWaitingList()
    {
        if (!m_waitingEntry)
            return;
        m_server.waitingForRequest.erase(*m_waitingEntry);
        m_waitingEntry.reset();
        const auto count = m_server.waitingPerAddress.find(m_address);
        if (count != m_server.waitingPerAddress.end() && --count->second == 0)
            m_server.waitingPerAddress.erase(count);
    }

    // Closes the oldest waiting connection (of that address, when one is given), preferring
    // one that has sent nothing.
    void DropOldestWaiting(const std::string* address)
    {
        std::shared_ptr<Connection> oldest;
        for (const std::weak_ptr<Connection>& entry : m_server.waitingForRequest) {
            std::shared_ptr<Connection> candidate = entry.lock();
            if (!candidate || (address && candidate->m_address != *address))
                continue;
            if (candidate->m_received.empty()) {
                oldest = std::move(candidate);
                break;
            }
            if (!oldest)
                oldest = std::move(candidate);
        }
        if (!oldest)
            return;
        const std::string why = address ? "from " + *address : std::string("in all");
        oldest->Finish(
            [&] { return "dropped: too many connections waiting for a request " + why; });
    }

    std::string PeerAddress()
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(Descriptor(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return "?";
        tcp::endpoint peer;
        if (length > peer.capacity())
            return "?";
        std::memcpy(peer.data(), &address, length);
        return peer.address().to_string();
    }

    // On the waiting loop: the rest of the request, until the request timeout counted
    // from the connection's start.
    void WaitForRequest()
    {
        EnterWaitingList();
        if (m_phase == Phase::Done)
            return; // it was the one to go
        ArmDeadline(m_begin + m_server.options.requestTimeout - std::chrono::steady_clock::now(),
                    [](Connection& self) {
                        self.Finish([&] {
                            return "dropped: no complete request within " +
                                   std::to_string(self.m_server.options.requestTimeout.count()) +
                                   " ms (" + std::to_string(self.m_received.size()) + " bytes)";
                        });
                    });
        ReadRequest();
    }

    void ReadRequest()
    {
        m_readPending = true;
        if (!m_chunk)
            m_chunk = std::make_unique<std::array<char, kChunkBytes>>();
        m_socket->async_read_some(asio::buffer(*m_chunk),
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
                Finish([&] { return m_outcome + ", peer closed"; });
            else
                ReadRequest();
            return;
        }
        if (m_phase != Phase::Reading)
            return;
        if (ec) {
            FinishDropped();
            return;
        }
        if (!Take(m_chunk->data(), n))
            ReadRequest();
    }

    void FinishDropped()
    {
        Finish([&] {
            return "dropped: connection closed before a complete request (" +
                   std::to_string(m_received.size()) + " bytes)";
        });
    }

    // Adds n bytes to the request. True when reading is over: the request was served (or
    // faulted) or the connection dropped.
    bool Take(const char* bytes, std::size_t n)
    {
        m_received.append(bytes, n);
        if (m_received.size() > m_server.options.maxRequestBytes) {
            Finish([&] {
                return "dropped: request over " + std::to_string(m_server.options.maxRequestBytes) +
                       " bytes";
            });
            return true;
        }
        // The client never half-closes: the request ends where the bytes first decode,
        // which can only be at a multiple of 8. A well-formed request never decodes early,
        // since its last field, Buff, runs to its very end.
        if (m_received.size() % 8 != 0)
            return false;
        if (m_received.size() <= kEagerDecodeBytes || m_received.size() >= 2 * m_lastAttemptSize)
            return TryDecode();
        // Every attempt decrypts everything so far. For a large request that grew little
        // since the last one, wait until the bytes stop coming: on a serving thread that is
        // when its wait runs out; on the waiting loop, a short timer.
        if (!OnWaitingLoop())
            return false;
        const std::size_t size = m_received.size();
        asio::steady_timer& settle = Timer(m_settle);
        settle.expires_after(kSettleTime);
        settle.async_wait([self = shared_from_this(), size](std::error_code waitEc) {
            if (!waitEc && self->m_phase == Phase::Reading && self->m_received.size() == size)
                self->TryDecode();
        });
        return false;
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

    void OnRequest(const quorvanta::WrappedMessage& request)
    {
        LeaveWaitingList();
        if (m_deadline)
            m_deadline->cancel();
        if (m_logging)
            m_funId = std::to_string(request.funid());
        if (m_server.options.requestObserver)
            m_server.options.requestObserver(request.funid(), request.buff());
        const FaultOptions fault = m_server.FaultFor(request.funid());
        const auto faultNote = [&] {
            return std::string(", fault ") + std::string(FaultModeName(fault.mode));
        };

        switch (fault.mode) {
        case FaultMode::CloseAtOnce:
            Finish([&] { return "closed unanswered" + faultNote(); });
            return;
        case FaultMode::NeverAnswer:
            m_phase = Phase::Holding;
            m_outcome = "never answered" + faultNote();
            OnWaitingLoopDo([](Connection& self) { self.Hold(); });
            return;
        case FaultMode::Garbage:
            Reply(GarbageBytes(), m_logging ? "garbage sent" + faultNote() : std::string());
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
                  m_logging ? "refused code=" + std::to_string(fault.refuseCode) + faultNote()
                            : std::string());
            return;
        }
        default:
            break;
        }

        quorvanta::WrappedMessage reply = m_server.service->Handle(request);
        std::string outcome;
        if (m_logging)
            outcome = reply.errorcode() == 0 ? std::string("ok")
                                             : "refused code=" + std::to_string(reply.errorcode());
        std::size_t pieceBytes = 0;
        switch (fault.mode) {
        case FaultMode::NoToken:
            reply.clear_tokenkey();
            break;
        case FaultMode::MalformedBuff:
            reply.set_buff(kMalformedBuff);
            reply.set_buffsize(static_cast<int32_t>(kMalformedBuff.size()));
            break;
        case FaultMode::Trickle:
            pieceBytes = std::max<std::size_t>(1, fault.pieceBytes);
            break;
        default:
            break;
        }
        std::string bytes = reply.SerializePartialAsString();
        if (fault.mode == FaultMode::Oversize)
            AppendFiller(bytes, 4u * 1024u * 1024u + 1024u);
        if (m_logging && fault.mode != FaultMode::None)
            outcome += faultNote();
        Reply(std::move(bytes), std::move(outcome), pieceBytes, fault.pause);
    }

    int Descriptor() { return OnWaitingLoop() ? m_socket->native_handle() : m_fd.Get(); }

    // Writes the reply (in pieces with pauses when pieceBytes is not 0), then closes.
    void Reply(std::string bytes, std::string outcome, std::size_t pieceBytes = 0,
               std::chrono::milliseconds pause = {})
    {
        m_phase = Phase::Replying;
        m_reply = std::move(bytes);
        m_outcome = std::move(outcome);
        m_pieceBytes = pieceBytes;
        m_pauseTime = pause;
        if (pieceBytes == 0) {
            // Most replies fit the socket's buffer and leave in one call. MSG_MORE holds the
            // last bytes back until the close right after, which sends them with the end of
            // the stream: the client reads its reply and the close at one wake-up instead of
            // waiting again for the close. Whatever does not fit is pushed by later writes.
            const ssize_t n = ::send(Descriptor(), m_reply.data(), m_reply.size(),
                                     MSG_DONTWAIT | MSG_NOSIGNAL | MSG_MORE);
            if (n > 0)
                m_sent = static_cast<std::size_t>(n);
            if (m_sent >= m_reply.size()) {
                Delivered();
                return;
            }
        }
        OnWaitingLoopDo([](Connection& self) { self.WriteRest(); });
    }

    // On the waiting loop: the rest of the reply, at the reader's pace or in trickled pieces.
    void WriteRest()
    {
        if (m_pieceBytes != 0) {
            // Each write leaves at once: a trickled reply really arrives in pieces.
            std::error_code ignored;
            m_socket->set_option(tcp::no_delay(true), ignored);
        }
        // A reader that stops reading cannot hold the connection for ever either.
        std::chrono::milliseconds limit = m_server.options.requestTimeout;
        if (m_pieceBytes != 0)
            limit += m_pauseTime * static_cast<long>(m_reply.size() / m_pieceBytes + 1);
        ArmDeadline(limit, [](Connection& self) {
            self.Finish([&] { return self.m_outcome + ", reply not taken within the time limit"; });
        });
        WriteNext();
    }

    void WriteNext()
    {
        const std::size_t remaining = m_reply.size() - m_sent;
        const std::size_t n = m_pieceBytes == 0 ? remaining : std::min(m_pieceBytes, remaining);
        asio::async_write(*m_socket, asio::buffer(m_reply.data() + m_sent, n),
                          [self = shared_from_this()](std::error_code ec, std::size_t written) {
                              self->OnWritten(ec, written);
                          });
    }

    void OnWritten(std::error_code ec, std::size_t written)
    {
        if (m_phase != Phase::Replying)
            return;
        if (ec) {
            Finish([&] { return m_outcome + ", reply not delivered: " + ec.message(); });
            return;
        }
        m_sent += written;
        if (m_sent >= m_reply.size()) {
            Delivered();
            return;
        }
        asio::steady_timer& pauseTimer = Timer(m_pause);
        pauseTimer.expires_after(m_pauseTime);
        pauseTimer.async_wait([self = shared_from_this()](std::error_code waitEc) {
            if (!waitEc && self->m_phase == Phase::Replying)
                self->WriteNext();
        });
    }

    // The whole reply is out and the request was read to its end, so closing sends the end
    // of the stream right behind the reply; no shutdown is needed first.
    void Delivered()
    {
        m_closeOnly = true;
        Finish([&] { return m_outcome; });
    }

    // On the waiting loop: never answers; waits for the peer to give up (or the limit),
    // then closes.
    void Hold()
    {
        ArmDeadline(m_server.options.neverAnswerLimit, [](Connection& self) {
            self.Finish([&] { return self.m_outcome + ", let go"; });
        });
        if (!m_readPending)
            ReadRequest();
    }

    // Closes the connection and logs its outcome, which describe() makes only when the
    // server logs at all.
    template <typename Describe> void Finish(Describe describe)
    {
        if (m_phase == Phase::Done)
            return;
        m_phase = Phase::Done;
        LeaveWaitingList();
        for (std::optional<asio::steady_timer>* timer : {&m_deadline, &m_pause, &m_settle})
            if (*timer)
                (*timer)->cancel();
        if (OnWaitingLoop()) {
            std::error_code ignored;
            if (!m_closeOnly)
                m_socket->shutdown(tcp::socket::shutdown_both, ignored);
            m_socket->close(ignored);
        } else {
            if (!m_closeOnly)
                ::shutdown(m_fd.Get(), SHUT_RDWR);
            m_fd.Reset();
        }
        if (!m_logging)
            return;
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - m_begin)
                            .count();
        m_server.Log("fun=" + m_funId + " result=" + describe() + " time=" + std::to_string(ms) +
                     "ms peer=" + m_peer);
    }

    FileDescriptor m_fd;                 ///< while on the serving thread
    std::optional<tcp::socket> m_socket; ///< once on the waiting loop
    std::optional<asio::steady_timer> m_deadline;
    std::optional<asio::steady_timer> m_pause;
    std::optional<asio::steady_timer> m_settle;
    ServerCore& m_server;
    const bool m_logging;
    const std::chrono::steady_clock::time_point m_begin;
    std::string m_peer = "?";
    std::string m_funId = "?";
    Phase m_phase = Phase::Reading;
    /// The waiting loop's read buffer, made when first needed; filled by every read
    /// before it is looked at.
    std::unique_ptr<std::array<char, kChunkBytes>> m_chunk;
    std::string m_received;
    std::string m_reply;
    std::string m_outcome;
    std::size_t m_sent = 0;
    std::size_t m_lastAttemptSize = 0;
    bool m_readPending = false;
    bool m_closeOnly = false;
    std::size_t m_pieceBytes = 0;
    std::chrono::milliseconds m_pauseTime{0};
    /// While on the list of connections waiting for their request: the entry, and the
    /// client address it counts for.
    std::optional<std::list<std::weak_ptr<Connection>>::iterator> m_waitingEntry;
    std::string m_address;
};
} // namespace

struct DemoServer::Impl
{
    explicit Impl(DemoServerOptions options) : core(std::move(options)) {}

    // One serving thread: takes a connection, serves it, takes the next.
    void ServeConnections();

    ServerCore core;
    FileDescriptor listener;
    std::atomic<bool> stopping{false};
    std::vector<std::thread> serving;
    std::thread waitingThread;
    uint16_t port = 0;
    bool started = false;
};

void DemoServer::Impl::ServeConnections()
{
    const int listening = listener.Get();
    while (!stopping) {
        FileDescriptor socket(::accept4(listening, nullptr, nullptr, SOCK_CLOEXEC));
        if (socket.IsOpen()) {
            std::make_shared<Connection>(std::move(socket), core)->Serve();
            continue;
        }
        if (stopping || errno == EINVAL) // the listener was shut down
            return;
        if (errno == EINTR || errno == ECONNABORTED || errno == EAGAIN)
            continue;
        // Out of descriptors and the like: try again shortly instead of spinning.
        core.Log(std::string("accept failed: ") + std::strerror(errno));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
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

    // The listening socket is set up through asio for its address handling and errors,
    // then released: the serving threads accept on it with plain blocking calls, and an
    // event loop that watched it would wake for every connection for nothing.
    auto waiting = std::make_unique<asio::io_context>(1);
    FileDescriptor listening;
    {
        tcp::acceptor acceptor(*waiting);
        acceptor.open(endpoint.protocol(), ec);
        if (!ec)
            acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec)
            acceptor.bind(endpoint, ec);
        if (!ec)
            acceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (!ec)
            d.port = acceptor.local_endpoint(ec).port(); // the port picked when 0 was asked for
        if (!ec)
            listening = FileDescriptor(acceptor.release(ec));
        // The system hands a connection over once its first bytes are in, so a client that
        // connects and stays silent does not even wake a serving thread for a while.
        if (!ec && d.core.options.deferAcceptSeconds > 0) {
            const int seconds = d.core.options.deferAcceptSeconds;
            ::setsockopt(listening.Get(), IPPROTO_TCP, TCP_DEFER_ACCEPT, &seconds, sizeof seconds);
        }
        if (ec) {
            error = ec == asio::error::address_in_use
                        ? "cannot listen on " + where + ": the port is already in use"
                        : "cannot listen on " + where + ": " + ec.message();
            return false;
        }
    }

    d.core.service =
        std::make_unique<TradeService>(std::move(book), d.core.options.sessionIdleTimeout);
    d.core.protocol = endpoint.protocol();
    d.core.waiting = std::move(waiting);
    d.listener = std::move(listening);
    SetFault(d.core.options.fault);
    d.stopping = false;
    d.waitingThread = std::thread([&d] {
        const auto work = asio::make_work_guard(*d.core.waiting);
        d.core.waiting->run();
    });
    // All serving threads take connections from the one listening socket, as a blocking
    // server does: the system wakes one idle thread per connection.
    const std::size_t servingThreads = ServingThreads();
    for (std::size_t i = 0; i < servingThreads; ++i)
        d.serving.emplace_back([&d] { d.ServeConnections(); });
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
    // Shutting the listener down wakes every serving thread blocked in accept; a thread
    // serving a connection finishes it first (its own waits are short).
    d.stopping = true;
    ::shutdown(d.listener.Get(), SHUT_RDWR);
    for (auto& thread : d.serving)
        thread.join();
    d.serving.clear();
    d.core.waiting->stop();
    d.waitingThread.join();
    // Destroying the waiting loop drops every pending handler and with it every connection
    // that waits, which closes their sockets.
    d.listener.Reset();
    d.core.waiting.reset();
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
