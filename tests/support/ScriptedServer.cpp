#include "tests/support/ScriptedServer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "net/RequestFrame.h"
#include "tests/support/ClientTarget.h"
#include "util/FileDescriptor.h"

namespace TestSupport
{
namespace
{
// A client that stops half-way must not hold a test forever, nor may a flood fill memory.
constexpr std::chrono::milliseconds kPeerPatience{10000};
constexpr std::size_t kMaxRequestBytes = 1024 * 1024;

enum class Wait
{
    Ready,
    Stopped,
    TimedOut
};
} // namespace

struct ScriptedServer::Impl
{
    FileDescriptor listener;
    FileDescriptor wake{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    std::atomic<bool> stopping{false};
    std::thread thread;

    mutable std::mutex mutex;
    std::deque<ScriptedReply> script;
    ScriptedReply defaultReply = ScriptedReply::CloseWithoutAnswer();
    std::vector<ReceivedRequest> requests;
    std::size_t connections = 0;

    /// Waits for events on fd, or for Stop, for at most `patience`.
    Wait WaitFor(int fd, short events, std::chrono::milliseconds patience) const
    {
        pollfd entries[2] = {{fd, events, 0}, {wake.Get(), POLLIN, 0}};
        const int ready = ::poll(entries, 2, static_cast<int>(patience.count()));
        if (stopping.load() || (ready > 0 && entries[1].revents != 0))
            return Wait::Stopped;
        if (ready > 0)
            return Wait::Ready;
        return ready == 0 ? Wait::TimedOut : Wait::Ready; // EINTR: let the caller look again
    }

    bool Pause(std::chrono::milliseconds duration) const
    {
        if (duration.count() <= 0)
            return !stopping.load();
        pollfd entry{wake.Get(), POLLIN, 0};
        ::poll(&entry, 1, static_cast<int>(duration.count()));
        return !stopping.load();
    }

    ScriptedReply NextReply()
    {
        const std::lock_guard lock(mutex);
        ++connections;
        if (script.empty())
            return defaultReply;
        ScriptedReply next = std::move(script.front());
        script.pop_front();
        return next;
    }

    void ReadRequest(int fd, ReceivedRequest& request) const
    {
        char chunk[4096];
        while (request.raw.size() < kMaxRequestBytes) {
            if (WaitFor(fd, POLLIN, kPeerPatience) != Wait::Ready)
                return;
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            if (got <= 0)
                return;
            request.raw.append(chunk, static_cast<std::size_t>(got));
            if (TryDecodeRequest(request.raw, request.envelope)) {
                request.decoded = true;
                return;
            }
        }
    }

    void WriteAnswer(int fd, const ScriptedReply& reply) const
    {
        std::string_view rest = reply.bytes;
        const std::size_t piece = reply.pieceSize == 0 ? rest.size() : reply.pieceSize;
        bool first = true;
        while (!rest.empty()) {
            if (!first && !Pause(reply.pause))
                return;
            first = false;
            std::string_view current = rest.substr(0, piece);
            rest.remove_prefix(current.size());
            while (!current.empty()) {
                const ssize_t sent = ::send(fd, current.data(), current.size(), MSG_NOSIGNAL);
                if (sent > 0) {
                    current.remove_prefix(static_cast<std::size_t>(sent));
                    continue;
                }
                if (sent < 0 && errno == EINTR)
                    continue;
                if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
                    WaitFor(fd, POLLOUT, kPeerPatience) == Wait::Ready)
                    continue;
                return; // the client has gone (it gave up, or refused a flood)
            }
        }
    }

    void HoldUntilClientLeaves(int fd) const
    {
        char chunk[4096];
        for (;;) {
            if (WaitFor(fd, POLLIN, kPeerPatience) != Wait::Ready)
                return;
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
                return;
        }
    }

    void Serve(FileDescriptor connection)
    {
        const ScriptedReply reply = NextReply();
        if (reply.action == ScriptedReply::Action::CloseAtOnce)
            return;

        ReceivedRequest request;
        ReadRequest(connection.Get(), request);
        {
            // Recorded before answering, so the client's call has returned only after
            // the test can see what it sent.
            const std::lock_guard lock(mutex);
            requests.push_back(request);
        }

        switch (reply.action) {
        case ScriptedReply::Action::Answer:
            WriteAnswer(connection.Get(), reply);
            break;
        case ScriptedReply::Action::NeverAnswer:
            HoldUntilClientLeaves(connection.Get());
            break;
        case ScriptedReply::Action::CloseAtOnce:
        case ScriptedReply::Action::CloseWithoutAnswer:
            break;
        }
    }

    void Run()
    {
        while (!stopping.load()) {
            const Wait wait = WaitFor(listener.Get(), POLLIN, std::chrono::milliseconds(1000));
            if (wait == Wait::Stopped)
                return;
            if (wait != Wait::Ready)
                continue;
            FileDescriptor connection(
                ::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (connection.IsOpen())
                Serve(std::move(connection));
        }
    }
};

// ---------------------------------------------------------------------------------------

ScriptedReply ScriptedReply::Envelope(int32_t errorCode, std::string msgDesc, std::string tokenKey,
                                      std::string buff)
{
    quorvanta::WrappedMessage envelope;
    envelope.set_errorcode(errorCode);
    envelope.set_msgdesc(std::move(msgDesc));
    envelope.set_tokenkey(std::move(tokenKey));
    envelope.set_buff(std::move(buff));
    return Message(envelope);
}

ScriptedReply ScriptedReply::Success(std::string tokenKey,
                                     const google::protobuf::MessageLite& payload)
{
    return Envelope(0, {}, std::move(tokenKey), payload.SerializePartialAsString());
}

ScriptedReply ScriptedReply::Refusal(std::string tokenKey, int32_t errorCode, std::string msgDesc)
{
    quorvanta::WrappedMessage envelope;
    envelope.set_errorcode(errorCode);
    envelope.set_msgdesc(std::move(msgDesc));
    envelope.set_tokenkey(std::move(tokenKey));
    return Message(envelope);
}

ScriptedReply ScriptedReply::Message(const quorvanta::WrappedMessage& envelope)
{
    return Raw(envelope.SerializePartialAsString());
}

ScriptedReply ScriptedReply::Raw(std::string bytes)
{
    ScriptedReply reply;
    reply.action = Action::Answer;
    reply.bytes = std::move(bytes);
    return reply;
}

ScriptedReply ScriptedReply::CloseAtOnce()
{
    ScriptedReply reply;
    reply.action = Action::CloseAtOnce;
    return reply;
}

ScriptedReply ScriptedReply::CloseWithoutAnswer()
{
    ScriptedReply reply;
    reply.action = Action::CloseWithoutAnswer;
    return reply;
}

ScriptedReply ScriptedReply::NeverAnswer()
{
    ScriptedReply reply;
    reply.action = Action::NeverAnswer;
    return reply;
}

ScriptedReply ScriptedReply::InPieces(std::size_t size,
                                      std::chrono::milliseconds pauseBetween) const
{
    ScriptedReply reply = *this;
    reply.pieceSize = size;
    reply.pause = pauseBetween;
    return reply;
}

// ---------------------------------------------------------------------------------------

ScriptedServer::ScriptedServer() : m_impl(std::make_unique<Impl>())
{
    Impl& impl = *m_impl;
    EXPECT_TRUE(impl.wake.IsOpen()) << "eventfd: " << std::strerror(errno);
    impl.listener =
        FileDescriptor(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!impl.listener.IsOpen() || !impl.wake.IsOpen() ||
        ::bind(impl.listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
            0 ||
        ::listen(impl.listener.Get(), 16) != 0 ||
        ::getsockname(impl.listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ADD_FAILURE() << "the scripted server cannot listen on 127.0.0.1: " << std::strerror(errno);
        return;
    }
    m_port = ntohs(address.sin_port);
    impl.thread = std::thread([&impl] { impl.Run(); });
}

ScriptedServer::~ScriptedServer()
{
    m_impl->stopping.store(true);
    if (m_impl->wake.IsOpen()) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_impl->wake.Get(), &one, sizeof one);
    }
    if (m_impl->thread.joinable())
        m_impl->thread.join();
}

void ScriptedServer::PointClientHere() const
{
    PointClientAt(m_port);
}

void ScriptedServer::Script(ScriptedReply reply)
{
    const std::lock_guard lock(m_impl->mutex);
    m_impl->script.push_back(std::move(reply));
}

void ScriptedServer::SetDefaultReply(ScriptedReply reply)
{
    const std::lock_guard lock(m_impl->mutex);
    m_impl->defaultReply = std::move(reply);
}

std::vector<ReceivedRequest> ScriptedServer::Requests() const
{
    const std::lock_guard lock(m_impl->mutex);
    return m_impl->requests;
}

ReceivedRequest ScriptedServer::LastRequest() const
{
    const std::lock_guard lock(m_impl->mutex);
    if (m_impl->requests.empty()) {
        ADD_FAILURE() << "the scripted server has received no request";
        return {};
    }
    return m_impl->requests.back();
}

std::size_t ScriptedServer::RequestCount() const
{
    const std::lock_guard lock(m_impl->mutex);
    return m_impl->requests.size();
}

std::size_t ScriptedServer::ConnectionCount() const
{
    const std::lock_guard lock(m_impl->mutex);
    return m_impl->connections;
}

} // namespace TestSupport
