#include "platform/bundle_info.hpp"
#include "platform/http_redirect.hpp"
#include "platform/linux_path_monitor.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace tessaron::testing {
namespace {

TEST(BundleInfoTest, PairingBaseURLMustBeHttpsText) {
    const struct {
        QVariant value;
        std::optional<QUrl> expected;
    } cases[] = {
        {QStringLiteral("https://pair.example/base"), QUrl("https://pair.example/base")},
        {QStringLiteral("  HTTPS://pair.example:8443\n"), QUrl("HTTPS://pair.example:8443")},
        {QStringLiteral("http://pair.example"), std::nullopt},
        {QStringLiteral("https://pair example"), std::nullopt},
        {42, std::nullopt},
        {QVariant(), std::nullopt},
    };
    for (const auto& c : cases) {
        QVariantMap keys;
        if (c.value.isValid())
            keys.insert(QStringLiteral("TessaronPairingBaseURL"), c.value);
        EXPECT_EQ(BundleInfo(keys, {}).pairingBaseURL(), c.expected) << c.value.toString().toStdString();
    }
}

bool hasHeader(const HttpHeaders& headers, const QByteArray& name) {
    return std::any_of(headers.begin(), headers.end(), [&name](const auto& header) {
        return header.first.compare(name, Qt::CaseInsensitive) == 0;
    });
}

struct RedirectCase {
    const char* name;
    QByteArray method;
    int status;
    QByteArray location;
    // Empty when the redirect is not followed.
    QByteArray expectedMethod;
    QString expectedUrl;
    bool keepsBody;
    bool keepsCredentials;
};

const RedirectCase redirectCases[] = {
    {"relative location", "GET", 302, "/next?page=2", "GET", "https://api.example/next?page=2", true, true},
    {"see other after a post", "POST", 303, "/done", "GET", "https://api.example/done", false, true},
    {"see other after a head", "HEAD", 303, "/done", "HEAD", "https://api.example/done", true, true},
    {"found after a post", "POST", 302, "/moved", "GET", "https://api.example/moved", false, true},
    {"moved after a put", "PUT", 301, "/moved", "PUT", "https://api.example/moved", true, true},
    {"temporary keeps the post", "POST", 307, "/again", "POST", "https://api.example/again", true, true},
    {"permanent keeps the put", "PUT", 308, "/again", "PUT", "https://api.example/again", true, true},
    {"other host", "GET", 302, "https://cdn.example/file", "GET", "https://cdn.example/file", true, false},
    {"other port", "GET", 302, "https://api.example:8443/x", "GET", "https://api.example:8443/x", true,
     false},
    {"never down to http", "GET", 302, "http://api.example/plain", {}, {}, false, false},
    {"not modified", "GET", 304, "/elsewhere", {}, {}, false, false},
    {"no location", "GET", 302, {}, {}, {}, false, false},
};

TEST(HttpRedirectTest, FollowsOnlyWhatIsSafeToFollow) {
    for (const auto& c : redirectCases) {
        SCOPED_TRACE(c.name);
        HttpRequest request;
        request.method = c.method;
        request.url = QUrl(QStringLiteral("https://api.example/start"));
        request.headers = {
            {"Authorization", "Bearer t"}, {"Content-Type", "application/json"}, {"X-Trace", "1"}};
        request.body = "{}";
        HttpResponse response{.status = c.status, .headers = {}, .body = {}};
        if (!c.location.isEmpty())
            response.headers.append({"location", c.location});

        const auto next = redirectedRequest(request, response);

        if (c.expectedMethod.isEmpty()) {
            EXPECT_FALSE(next.has_value());
            continue;
        }
        ASSERT_TRUE(next.has_value());
        EXPECT_EQ(next->method, c.expectedMethod);
        EXPECT_EQ(next->url, QUrl(c.expectedUrl));
        EXPECT_EQ(next->body, c.keepsBody ? request.body : QByteArray());
        EXPECT_EQ(hasHeader(next->headers, "Content-Type"), c.keepsBody);
        EXPECT_EQ(hasHeader(next->headers, "Authorization"), c.keepsCredentials);
        EXPECT_TRUE(hasHeader(next->headers, "X-Trace"));
    }
}

const char* ipv4Header =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

QString ipv4Table(const char* rows) {
    return QString::fromLatin1(ipv4Header) + QString::fromLatin1(rows);
}

// The kernel's reject route for IPv6 destinations nobody serves: present on every machine.
const char* ipv6Unreachable =
    "00000000000000000000000000000000 00 00000000000000000000000000000000 00 "
    "00000000000000000000000000000000 ffffffff 00000001 00000000 00200200       lo\n";

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

} // namespace
} // namespace tessaron::testing
