#include "tests/support/ClientTarget.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "config/ClientConfig.h"

namespace TestSupport
{
namespace
{
/// A folder of this test program's own for the configuration file; gone at exit.
class PrivateConfigFolder
{
public:
    PrivateConfigFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "halvorn-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr)
            m_path = pattern;
    }
    ~PrivateConfigFolder()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    PrivateConfigFolder(const PrivateConfigFolder&) = delete;
    PrivateConfigFolder& operator=(const PrivateConfigFolder&) = delete;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void UsePrivateConfigFolder()
{
    static PrivateConfigFolder folder;
    static const bool moved = [] {
        if (folder.Path().empty())
            return false;
        g_ClientConfig.LoadConfig(folder.Path());
        return true;
    }();
    ASSERT_TRUE(moved) << "cannot create a temporary folder for the configuration";
}
} // namespace

void PointClientAt(uint16_t port)
{
    UsePrivateConfigFolder();
    g_ClientConfig.SetTradeSrvIP("127.0.0.1");
    g_ClientConfig.SetTradeSrvPort(std::to_string(port));
}

uint16_t UnusedLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ADD_FAILURE() << "socket: " << std::strerror(errno);
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    EXPECT_NE(port, 0) << "cannot find a free loopback port";
    return port;
}

void ResetSessionToken()
{
    g_strTokenKey.clear();
}

ScopedTransportTimeouts::ScopedTransportTimeouts(TransportTimeouts timeouts)
    : m_previous(GetTransportTimeouts())
{
    SetTransportTimeouts(timeouts);
}

ScopedTransportTimeouts::~ScopedTransportTimeouts()
{
    SetTransportTimeouts(m_previous);
}

ScopedNetworkAdapters::ScopedNetworkAdapters(std::vector<NetworkAdapter> adapters)
{
    SetNetworkAdapterSource([adapters = std::move(adapters)] { return adapters; });
}

ScopedNetworkAdapters::~ScopedNetworkAdapters()
{
    SetNetworkAdapterSource({});
}

} // namespace TestSupport
