// The network address a session sends as MACID, and where the system's list comes from.

#include <string>
#include <vector>

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include "net/ClientUtil.h"
#include "tests/support/ClientTarget.h"

namespace
{

NetworkAdapter Adapter(std::string name, std::vector<unsigned char> hardware, std::string gateway)
{
    return {std::move(name), std::move(hardware), std::move(gateway)};
}

const std::vector<unsigned char> kLoopbackHw(6, 0);
const std::vector<unsigned char> kEthHw = {0x52, 0x54, 0x00, 0x0a, 0xbc, 0xde};
const std::vector<unsigned char> kWlanHw = {0xF0, 0x0D, 0xBE, 0xEF, 0x01, 0x02};

TEST(MacAddress, IsTheFirstInterfaceWithADefaultGateway)
{
    const struct
    {
        const char* what;
        std::vector<NetworkAdapter> adapters;
        std::string expected;
    } cases[] = {
        {"gateway on the second",
         {Adapter("lo", kLoopbackHw, "0.0.0.0"), Adapter("eth0", kEthHw, "192.0.2.1")},
         "5254000ABCDE"},
        {"first of two with gateways",
         {Adapter("wlan0", kWlanHw, "198.51.100.1"), Adapter("eth0", kEthHw, "192.0.2.1")},
         "F00DBEEF0102"},
        {"every gateway 0.0.0.0",
         {Adapter("lo", kLoopbackHw, "0.0.0.0"), Adapter("eth0", kEthHw, "0.0.0.0")},
         ""},
        {"no interfaces", {}, ""},
        {"longer hardware address",
         {Adapter("ib0", {1, 2, 3, 4, 5, 6, 7, 8}, "192.0.2.1")},
         "010203040506"},
        {"shorter hardware address",
         {Adapter("sl0", {0xAA, 0xBB, 0xCC, 0xDD}, "192.0.2.1")},
         "AABBCCDD0000"},
        {"no hardware address", {Adapter("tun0", {}, "192.0.2.1")}, "000000000000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TestSupport::ScopedNetworkAdapters adapters(c.adapters);
        const CClientUtil session;
        EXPECT_EQ(session.MacAddress(), c.expected);
    }
}

TEST(MacAddress, IsFoundOnceWhenTheSessionIsBuilt)
{
    std::unique_ptr<TestSupport::ScopedNetworkAdapters> adapters =
        std::make_unique<TestSupport::ScopedNetworkAdapters>(
            std::vector<NetworkAdapter>{Adapter("eth0", kEthHw, "192.0.2.1")});
    const CClientUtil session;
    adapters = std::make_unique<TestSupport::ScopedNetworkAdapters>(
        std::vector<NetworkAdapter>{Adapter("wlan0", kWlanHw, "192.0.2.1")});
    EXPECT_EQ(session.MacAddress(), "5254000ABCDE");
}

TEST(MacAddress, SystemListIsWellFormed)
{
    const std::vector<NetworkAdapter> adapters = ListNetworkAdapters();
    bool anyGateway = false;
    for (const NetworkAdapter& adapter : adapters) {
        SCOPED_TRACE(adapter.name);
        EXPECT_FALSE(adapter.name.empty());
        in_addr parsed{};
        EXPECT_EQ(::inet_pton(AF_INET, adapter.gateway.c_str(), &parsed), 1) << adapter.gateway;
        anyGateway = anyGateway || adapter.gateway != "0.0.0.0";
    }
    const CClientUtil session;
    const std::string& mac = session.MacAddress();
    if (!anyGateway) {
        EXPECT_EQ(mac, "");
        return;
    }
    ASSERT_EQ(mac.size(), 12u);
    EXPECT_EQ(mac.find_first_not_of("0123456789ABCDEF"), std::string::npos) << mac;
}

TEST(DefaultGateways, AreReadFromTheRouteTable)
{
    // The kernel prints the network-order words as host integers: little-endian here.
    const std::string table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "eth0\t00000000\t0201A8C0\t0003\t0\t0\t200\t00000000\t0\t0\t0\n"
        "wg0\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"
        "tun0\t00000000\t0100080A\t0003\t0\t0\t0\t00000080\t0\t0\t0\n"
        "broken line\n"
        "wlan0\t00000000\tZZ00080A\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
        "wlan1\t00000000\t0100000A\t0003\t0\t0\t600\t00000000\t0\t0\t0\n";
    const std::vector<DefaultGateway> gateways = ParseDefaultGateways(table);
    ASSERT_EQ(gateways.size(), 2u);
    EXPECT_EQ(gateways[0].interfaceName, "eth0");
    EXPECT_EQ(gateways[0].gateway, "192.168.1.1");
    EXPECT_EQ(gateways[1].interfaceName, "wlan1");
    EXPECT_EQ(gateways[1].gateway, "10.0.0.1");

    EXPECT_TRUE(ParseDefaultGateways("").empty());
    EXPECT_TRUE(ParseDefaultGateways("Iface\tDestination\n").empty());
}

} // namespace
