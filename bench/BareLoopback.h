#pragma once

// Plain TCP on loopback, the baseline of the exchange benchmarks: a client exchange that is
// nothing but connect, write, read to the close, and a peer that reads a request of known
// length, writes a reply of known length and closes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "util/FileDescriptor.h"

namespace BareLoopback
{
inline sockaddr_in Loopback(uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

inline bool WriteAll(int fd, const char* data, std::size_t size)
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

/// Connects, writes the request and reads until the peer closes; the reply's bytes go to
/// reply when it is not null. Returns the number of bytes received.
inline std::size_t Exchange(uint16_t port, const std::string& request, std::string* reply = nullptr)
{
    const FileDescriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = Loopback(port);
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return 0;
    WriteAll(fd.Get(), request.data(), request.size());
    char chunk[16384];
    std::size_t received = 0;
    for (;;) {
        const ssize_t n = ::recv(fd.Get(), chunk, sizeof chunk, 0);
        if (n <= 0)
            break;
        received += static_cast<std::size_t>(n);
        if (reply)
            reply->append(chunk, static_cast<std::size_t>(n));
    }
    return received;
}

/// The bare peer on 127.0.0.1. Connection k gets the byte counts of exchanges[k % size]:
/// it reads that many request bytes, writes that many reply bytes and closes. Served by
/// `threads` threads that each accept and serve whole connections.
class Peer
{
public:
    using ByteCounts = std::pair<std::size_t, std::size_t>; ///< request, reply

    explicit Peer(std::vector<ByteCounts> exchanges, std::size_t threads = 1)
        : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
          m_exchanges(std::move(exchanges))
    {
        const int on = 1;
        ::setsockopt(m_listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address = Loopback(0);
        socklen_t length = sizeof address;
        if (m_exchanges.empty() ||
            ::bind(m_listener.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
                0 ||
            ::listen(m_listener.Get(), 128) != 0 ||
            ::getsockname(m_listener.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("the bare peer cannot listen on 127.0.0.1");
        m_port = ntohs(address.sin_port);
        std::size_t largest = 0;
        for (const auto& counts : m_exchanges)
            largest = std::max(largest, counts.second);
        m_reply.assign(largest, 'r');
        for (std::size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { Serve(); });
    }
    ~Peer()
    {
        m_stopping = true;
        ::shutdown(m_listener.Get(), SHUT_RDWR);
        for (auto& thread : m_threads)
            thread.join();
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    uint16_t Port() const { return m_port; }

private:
    void Serve()
    {
        std::string buffer;
        while (!m_stopping) {
            const FileDescriptor connection(
                ::accept4(m_listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (connection.Get() < 0) {
                if (!m_stopping)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            const ByteCounts counts = m_exchanges[m_next++ % m_exchanges.size()];
            buffer.resize(counts.first);
            std::size_t got = 0;
            while (got < counts.first) {
                const ssize_t n =
                    ::recv(connection.Get(), buffer.data() + got, counts.first - got, 0);
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
            }
            WriteAll(connection.Get(), m_reply.data(), counts.second);
        }
    }

    FileDescriptor m_listener;
    std::vector<ByteCounts> m_exchanges;
    std::string m_reply;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<std::size_t> m_next{0};
    std::vector<std::thread> m_threads;
};
} // namespace BareLoopback
