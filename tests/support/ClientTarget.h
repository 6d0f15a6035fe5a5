#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "net/ClientUtil.h"

namespace TestSupport
{

/// Points g_ClientConfig at 127.0.0.1:port. The first call of a test program moves the
/// configuration into a private temporary folder (removed at exit), so tests never
/// write into the shared working directory.
void PointClientAt(uint16_t port);

/// A loopback port on which nothing listens (bound and released again), for refused
/// connections.
uint16_t UnusedLoopbackPort();

/// Empties the process-wide session token, as at program start. Call it in fixtures:
/// the token survives from one test to the next otherwise.
void ResetSessionToken();

/// Short transport timeouts for the lifetime of the object; the previous ones come back
/// afterwards. The defaults suit tests that wait for a deadline on purpose.
class ScopedTransportTimeouts
{
public:
    explicit ScopedTransportTimeouts(TransportTimeouts timeouts = {std::chrono::milliseconds(300),
                                                                   std::chrono::milliseconds(400)});
    ~ScopedTransportTimeouts();
    ScopedTransportTimeouts(const ScopedTransportTimeouts&) = delete;
    ScopedTransportTimeouts& operator=(const ScopedTransportTimeouts&) = delete;

private:
    TransportTimeouts m_previous;
};

/// Replaces the network adapter list that sessions built meanwhile see; the system's list
/// comes back afterwards. A session reads the list once, when it is constructed.
class ScopedNetworkAdapters
{
public:
    explicit ScopedNetworkAdapters(std::vector<NetworkAdapter> adapters);
    ~ScopedNetworkAdapters();
    ScopedNetworkAdapters(const ScopedNetworkAdapters&) = delete;
    ScopedNetworkAdapters& operator=(const ScopedNetworkAdapters&) = delete;
};

} // namespace TestSupport
