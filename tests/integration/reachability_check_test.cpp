#include "health/connection_health_checker.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using Reply = HttpsTestServer::Reply;

const auto success = TessaronProbeOutcome{TessaronProbeResult::success, std::nullopt};

TessaronProbeOutcome failure(TessaronProbeFailure why) {
    return {TessaronProbeResult::failure, why};
}

struct ReachabilityTest : ::testing::Test {
    ConnectionHealthChecker checker(const QString& path, ReachabilityTimeouts timeouts = {}) {
        return ConnectionHealthChecker(
            transport, SystemClock::shared(), [](const QString&) {}, server.url(path), timeouts);
    }

    TessaronProbeOutcome probe(const QString& path) { return runTask(checker(path).probeOnce(1)); }

    HttpsTestServer server;
    // Declared after the server so that it closes its connections before the server stops.
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
};

// How each reply is judged and logged is pinned by the unit tests; these pin what the real transport adds:
// how much of the page is read, redirects and the real stall timer.
TEST_F(ReachabilityTest, ReadsOnlyTheStartOfTheWholePageFollowsRedirectsAndTimesOut) {
    server.on("GET", "/success",
              [](const auto&) { return Reply{.body = "<HTML><BODY>Success</BODY></HTML>"}; });
    server.on("GET", "/large-early",
              [](const auto&) { return Reply{.body = "Success" + QByteArray(64 * 1024, 'x')}; });
    server.on("GET", "/large-late",
              [](const auto&) { return Reply{.body = QByteArray(8192, 'x') + "Success"}; });
    server.on("GET", "/moved", [](const auto&) {
        return Reply{.status = 302, .headers = {{"Location", "/success"}}};
    });
    const std::pair<const char*, TessaronProbeOutcome> cases[] = {
        {"/large-early", success},
        {"/large-late", failure(TessaronProbeFailure::noSuccess())},
        {"/moved", success},
    };
    for (const auto& [path, outcome] : cases)
        EXPECT_EQ(probe(QString::fromLatin1(path)), outcome) << path;
    EXPECT_EQ(server.requests().last().path, "/success") << "the redirect was followed";

    server.on("GET", "/silent", [](const auto&) { return HttpsTestServer::silence(); });
    QElapsedTimer elapsed;
    elapsed.start();
    const auto outcome =
        runTask(checker(QStringLiteral("/silent"), {.stall = 300ms, .total = 500ms}).probeOnce(1));
    EXPECT_EQ(outcome, failure(TessaronProbeFailure::timeout()));
    // The transport's stall timer is a coarse Qt timer, which may fire a little early.
    EXPECT_GE(elapsed.elapsed(), 250);
    EXPECT_LT(elapsed.elapsed(), 2000);
}

} // namespace
} // namespace tessaron::testing
