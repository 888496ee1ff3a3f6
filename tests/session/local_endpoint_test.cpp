#include "session/local_endpoint.hpp"

#include "platform/linux_interface_addresses.hpp"
#include "support/fake_interface_addresses.hpp"

#include <gtest/gtest.h>

using namespace tessaron;
using namespace tessaron::testing;

TEST(LocalEndpointTest, MatchesOnlyAddressLiteralsOfThisMachine) {
    using Fake = FakeInterfaceAddresses;
    Fake interfaces;
    // The machine carries 10.0.0.5 in its IPv4-mapped form only.
    interfaces.entries = QList<InterfaceAddress>{
        {InterfaceAddress::Family::none, {}},  Fake::entry("127.0.0.1"), Fake::entry("::1"),
        {InterfaceAddress::Family::other, {}}, Fake::entry("192.0.2.2"), Fake::entry("fe80::fc:ff:fe00:1"),
        Fake::entry("::ffff:10.0.0.5")};
    const QStringList local{" 127.0.0.1\n",     "::1",       "0:0:0:0:0:0:0:1",
                            "::ffff:127.0.0.1", "192.0.2.2", "FE80::FC:FF:FE00:1",
                            "10.0.0.5"};
    // Nodes of the local test service listen on 127.0.0.2; the loopback interface carries 127.0.0.1 alone.
    const QString withNul = QStringLiteral("127.0.0.1") + QChar(0) + QStringLiteral("x");
    const QStringList foreign{"127.0.0.2", "localhost",     "[::1]", "fe80::fc:ff:fe00:1%eth0",
                              "127.1",     "127.0.0.1:443", withNul, QStringLiteral("127.0.0.１"),
                              ""};
    for (const auto& [hosts, isLocal] : {std::pair(local, true), std::pair(foreign, false)})
        for (const auto& host : hosts)
            EXPECT_EQ(isLocalEndpoint(host, interfaces), isLocal) << host.toStdString();

    // Interfaces that cannot be read make nothing local.
    interfaces.entries = std::nullopt;
    EXPECT_FALSE(isLocalEndpoint("127.0.0.1", interfaces));
}

TEST(LocalEndpointTest, OnThisMachineLoopbackIsLocalButOtherLoopbackAddressesAreNot) {
    const LinuxInterfaceAddresses interfaces;
    EXPECT_TRUE(isLocalEndpoint("127.0.0.1", interfaces));
    EXPECT_TRUE(isLocalEndpoint("::ffff:127.0.0.1", interfaces));
    EXPECT_FALSE(isLocalEndpoint("127.0.0.2", interfaces));
}
