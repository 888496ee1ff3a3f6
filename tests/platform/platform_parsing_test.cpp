#include "platform/bundle_info.hpp"
#include "platform/http_redirect.hpp"
#include "platform/linux_path_monitor.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace tessaron::testing {
namespace {

TEST(BundleInfoTest, PairingBaseURLMustBeHttpsText) {
    const std::pair<QVariant, std::optional<QUrl>> cases[] = {
        {"https://pair.example/base", QUrl("https://pair.example/base")},
        {"  HTTPS://pair.example:8443\n", QUrl("HTTPS://pair.example:8443")},
        {"http://pair.example", std::nullopt},
        {"https://pair example", std::nullopt},
        {42, std::nullopt},
        {QByteArray("https://pair.example"), std::nullopt},
        {QVariant(), std::nullopt},
    };
    for (const auto& [value, expected] : cases) {
        const auto keys = value.isValid() ? QVariantMap{{"TessaronPairingBaseURL", value}} : QVariantMap();
        EXPECT_EQ(BundleInfo(keys, {}).pairingBaseURL(), expected) << value.toString().toStdString();
    }
}

bool hasHeader(const HttpHeaders& headers, const QByteArray& name) {
    return std::any_of(headers.begin(), headers.end(), [&name](const auto& header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

// A followed request as "<method> <url>" and what it still carries; "stays" when the redirect is not
// followed. Tracing headers always travel.
std::string followed(const std::optional<HttpRequest>& next) {
    if (!next)
        return "stays";
    EXPECT_TRUE(hasHeader(next->headers, "X-Trace"));
    EXPECT_EQ(next->body.isEmpty(), !hasHeader(next->headers, "Content-Type")) << "a body goes with its type";
    return (next->method + ' ' + next->url.toEncoded() + (next->body.isEmpty() ? "" : " +body") +
            (hasHeader(next->headers, "Authorization") ? " +credentials" : ""))
        .toStdString();
}

TEST(HttpRedirectTest, FollowsOnlyWhatIsSafeToFollow) {
    const std::tuple<QByteArray, int, QByteArray, const char*> cases[] = {
        {"GET", 302, "/next?page=2", "GET https://api.example/next?page=2 +body +credentials"},
        {"POST", 303, "/done", "GET https://api.example/done +credentials"},
        {"HEAD", 303, "/done", "HEAD https://api.example/done +body +credentials"},
        {"POST", 302, "/moved", "GET https://api.example/moved +credentials"},
        {"PUT", 301, "/moved", "PUT https://api.example/moved +body +credentials"},
        {"POST", 307, "/again", "POST https://api.example/again +body +credentials"},
        {"PUT", 308, "/again", "PUT https://api.example/again +body +credentials"},
        {"GET", 302, "https://cdn.example/file", "GET https://cdn.example/file +body"},
        {"GET", 302, "https://api.example:8443/x", "GET https://api.example:8443/x +body"},
        {"GET", 302, "http://api.example/plain", "stays"},
        {"GET", 304, "/elsewhere", "stays"},
        {"GET", 302, {}, "stays"},
    };
    for (const auto& [method, status, location, expected] : cases) {
        const HttpRequest request{.method = method,
                                  .url = QUrl("https://api.example/start"),
                                  .headers = {{"Authorization", "Bearer t"},
                                              {"Content-Type", "application/json"},
                                              {"X-Trace", "1"}},
                                  .body = "{}"};
        HttpResponse response{.status = status, .headers = {}, .body = {}};
        if (!location.isEmpty())
            response.headers.append({"location", location});
        EXPECT_EQ(followed(redirectedRequest(request, response)), expected) << method.data() << ' ' << status;
    }
}

// A route table as the kernel lists it, from rows of interface, destination, gateway, flags and mask.
QString ipv4Table(std::initializer_list<std::array<const char*, 5>> rows) {
    QString table = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";
    for (const auto& [iface, destination, gateway, flags, mask] : rows)
        table +=
            QString("%1\t%2\t%3\t%4\t0\t0\t0\t%5\t0\t0\t0\n").arg(iface, destination, gateway, flags, mask);
    return table;
}

// The kernel's reject route for IPv6 destinations nobody serves: present on every machine.
const char* ipv6Unreachable =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";

TEST(LinuxPathMonitorTest, ASatisfiedPathNeedsAUsableDefaultRoute) {
    const auto subnet = std::array{"eth0", "000200C0", "00000000", "0001", "00FFFFFF"};
    const std::tuple<const char*, QString, QString, bool> cases[] = {
        {"IPv4 default via a gateway",
         ipv4Table({{"eth0", "00000000", "010200C0", "0003", "00000000"}, subnet}), ipv6Unreachable, true},
        {"only the local subnet", ipv4Table({subnet}), ipv6Unreachable, false},
        {"a default route that is down", ipv4Table({{"eth0", "00000000", "010200C0", "0002", "00000000"}}),
         ipv6Unreachable, false},
        {"an IPv4 reject default", ipv4Table({{"eth0", "00000000", "00000000", "0201", "00000000"}}), "",
         false},
        {"a default over loopback", ipv4Table({{"lo", "00000000", "00000000", "0001", "00000000"}}), "",
         false},
        {"IPv6 only", ipv4Table({}),
         QString::fromLatin1(ipv6Unreachable) +
             "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
             "fd000000000000000000000000000001 00000400 00000002 00000000 00000003     eth0\n",
         true},
        {"an IPv6 /64 is no default", ipv4Table({}),
         "fd000000000000000000000000000000 40 00000000000000000000000000000000 00 "
         "00000000000000000000000000000000 00000100 00000001 00000000 00000001     eth0\n",
         false},
        {"unreadable tables", "", "", false},
        {"garbage", "Iface\nnonsense\tline\n", "too short\n", false},
    };
    for (const auto& [name, ipv4, ipv6, satisfied] : cases)
        EXPECT_EQ(LinuxPathMonitor::hasDefaultRoute(ipv4, ipv6), satisfied) << name;
}

TEST(LinuxPathMonitorTest, ReportsTheCurrentPathOnceAsItStarts) {
    LinuxPathMonitor monitor;
    int reports = 0;
    monitor.start([&reports](LinuxPathMonitor::Status) { ++reports; });
    EXPECT_EQ(reports, 1);
}

} // namespace
} // namespace tessaron::testing
