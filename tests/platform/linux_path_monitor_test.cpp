#include "platform/linux_path_monitor.hpp"

#include <gtest/gtest.h>

using tessaron::LinuxPathMonitor;

namespace {

const char* ipv4Header =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

QString ipv4Table(const char* rows) {
    return QString::fromLatin1(ipv4Header) + QString::fromLatin1(rows);
}

// The kernel's reject route for IPv6 destinations nobody serves: present on every machine.
const char* ipv6Unreachable =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";

} // namespace

TEST(LinuxPathMonitorTest, ASatisfiedPathNeedsAUsableDefaultRoute) {
    struct Case {
        const char* name;
        QString ipv4;
        QString ipv6;
        bool satisfied;
    };
    const Case cases[] = {
        {"IPv4 default via a gateway",
         ipv4Table("eth0\t00000000\t010200C0\t0003\t0\t0\t0\t00000000\t0\t0\t0\n"
                   "eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"),
         ipv6Unreachable, true},
        {"only the local subnet", ipv4Table("eth0\t000200C0\t00000000\t0001\t0\t0\t0\t00FFFFFF\t0\t0\t0\n"),
         ipv6Unreachable, false},
        {"a default route that is down",
         ipv4Table("eth0\t00000000\t010200C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"), ipv6Unreachable, false},
        {"an IPv4 reject default", ipv4Table("eth0\t00000000\t00000000\t0201\t0\t0\t0\t00000000\t0\t0\t0\n"),
         "", false},
        {"a default over loopback", ipv4Table("lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n"),
         "", false},
        {"IPv6 only", ipv4Table(""),
         QString::fromLatin1(ipv6Unreachable) +
             "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
             "fd000000000000000000000000000001 00000400 00000002 00000000 00000003     eth0\n",
         true},
        {"an IPv6 /64 is no default", ipv4Table(""),
         "fd000000000000000000000000000000 40 00000000000000000000000000000000 00 "
         "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n",
         false},
        {"unreadable tables", "", "", false},
        {"garbage", "Iface\nnonsense\tline\n", "too short\n", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LinuxPathMonitor::hasDefaultRoute(c.ipv4, c.ipv6), c.satisfied) << c.name;
}

TEST(LinuxPathMonitorTest, ReportsTheCurrentPathOnceAsItStarts) {
    LinuxPathMonitor monitor;
    int reports = 0;
    monitor.start([&reports](LinuxPathMonitor::Status) { ++reports; });
    EXPECT_EQ(reports, 1);
}
