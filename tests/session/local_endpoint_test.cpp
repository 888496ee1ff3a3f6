#include "session/local_endpoint.hpp"

#include "platform/linux_interface_addresses.hpp"
#include "support/fake_interface_addresses.hpp"

#include <gtest/gtest.h>

using tessaron::InterfaceAddress;
using tessaron::isLocalEndpoint;
using tessaron::LinuxInterfaceAddresses;
using tessaron::testing::FakeInterfaceAddresses;

namespace {

FakeInterfaceAddresses machine() {
    FakeInterfaceAddresses interfaces;
    interfaces.entries = QList<InterfaceAddress>{
        {InterfaceAddress::Family::none, {}},
        FakeInterfaceAddresses::entry("127.0.0.1"),
        FakeInterfaceAddresses::entry("::1"),
        {InterfaceAddress::Family::other, {}},
        FakeInterfaceAddresses::entry("192.0.2.2"),
        FakeInterfaceAddresses::entry("fe80::fc:ff:fe00:1"),
        FakeInterfaceAddresses::entry("::ffff:10.0.0.5"),
    };
    return interfaces;
}

} // namespace

TEST(LocalEndpointTest, MatchesOnlyAddressLiteralsOfThisMachine) {
    struct Case {
        QString host;
        bool local;
    };
    const Case cases[] = {
        {" 127.0.0.1\n", true},
        {"::1", true},
        {"0:0:0:0:0:0:0:1", true},
        {"::ffff:127.0.0.1", true},
        {"192.0.2.2", true},
        {"FE80::FC:FF:FE00:1", true},
        // The machine carries 10.0.0.5 in its IPv4-mapped form only.
        {"10.0.0.5", true},
        // Nodes of the local test service listen here; the loopback interface carries 127.0.0.1 alone.
        {"127.0.0.2", false},
        {"localhost", false},
        {"[::1]", false},
        {"fe80::fc:ff:fe00:1%eth0", false},
        {"127.1", false},
        {"127.0.0.1:443", false},
        {QStringLiteral("127.0.0.1") + QChar(0) + QStringLiteral("x"), false},
        {QStringLiteral("127.0.0.１"), false},
        {"", false},
    };
    const auto interfaces = machine();
    for (const auto& c : cases)
        EXPECT_EQ(isLocalEndpoint(c.host, interfaces), c.local) << c.host.toStdString();
}

TEST(LocalEndpointTest, AnswersNoWhenTheInterfacesCannotBeRead) {
    FakeInterfaceAddresses failing;
    failing.entries = std::nullopt;
    EXPECT_FALSE(isLocalEndpoint("127.0.0.1", failing));
}

TEST(LocalEndpointTest, OnThisMachineLoopbackIsLocalButOtherLoopbackAddressesAreNot) {
    const LinuxInterfaceAddresses interfaces;
    EXPECT_TRUE(isLocalEndpoint("127.0.0.1", interfaces));
    EXPECT_TRUE(isLocalEndpoint("::ffff:127.0.0.1", interfaces));
    EXPECT_FALSE(isLocalEndpoint("127.0.0.2", interfaces));
}
