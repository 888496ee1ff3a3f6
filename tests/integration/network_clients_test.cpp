// The clients of the network as they run over real sockets: the HTTPS transport, the connection check on
// it, the service clients' redirects, and the latency probe.
#include "account/account_client.hpp"
#include "health/connection_health_checker.hpp"
#include "health/latency_monitor.hpp"
#include "health/tcp_connect_probe.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "platform/trusted_authorities.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/pairing_error.hpp"
#include "support/https_test_server.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"
#include "support/qt_printers.hpp"
#include "support/run_task.hpp"
#include "support/silent_peers.hpp"
#include "updates/crash_uploader.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QSslCertificateExtension>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using Kind = HttpFailure::Kind;
using Reply = HttpsTestServer::Reply;

// The outcome on one line, so that a table row can state all of it.
std::string summary(const HttpOutcome& outcome) {
    if (const auto* failure = std::get_if<HttpFailure>(&outcome)) {
        const char* kinds[] = {"cancelled", "timed out", "too large", "transport"};
        return kinds[int(failure->kind)] + std::string(failure->detail.isEmpty() ? "" : " (with detail)");
    }
    const auto& response = std::get<HttpResponse>(outcome);
    return std::to_string(response.status) + " " +
           (response.body.size() > 40 ? std::to_string(response.body.size()) + " bytes"
                                      : response.body.toStdString()) +
           (response.truncated ? ", cut" : "");
}

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

class HttpTransportTest : public ::testing::Test {
protected:
    void serve(const QByteArray& path, const Reply& reply) {
        server.on("GET", path, [reply](const auto&) { return reply; });
    }

    HttpRequest request(const QString& path) const {
        HttpRequest call;
        call.url = server.url(path);
        call.timeout = 2s;
        return call;
    }

    HttpOutcome send(HttpRequest request, CancellationToken cancellation = {}) {
        return runTask(transport.send(std::move(request), std::move(cancellation)));
    }

    QList<QByteArray> pathsReceived() const {
        QList<QByteArray> paths;
        for (const auto& received : server.requests())
            paths.append(received.path);
        return paths;
    }

    HttpsTestServer server;
    // Declared after the server so that it closes its connections before the server stops.
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
};

// Any status is a response (Qt answers 401 and 407 itself unless told not to); no cookie is kept.
TEST_F(HttpTransportTest, RoundTripCarriesHeadersAndBodyBothWaysWhateverTheStatus) {
    for (const int status : {201, 401, 407, 599}) {
        SCOPED_TRACE(status);
        server.on("PUT", "/items/7", [status](const HttpsTestServer::Request& received) {
            return Reply{.status = status,
                         .headers = {{"X-Reply", "yes"}, {"Set-Cookie", "session=abc; Path=/"}},
                         .body = "stored " + received.body};
        });
        auto put = request(QStringLiteral("/items/7"));
        put.method = "PUT";
        put.headers = {{"X-Token", "abc"}, {"Content-Type", "application/json"}};
        put.body = R"({"a":1})";
        const auto outcome = send(put);
        EXPECT_EQ(summary(outcome), std::to_string(status) + R"( stored {"a":1})");
        EXPECT_EQ(std::get<HttpResponse>(outcome).header("x-reply"), "yes");
        const auto received = server.requests().last();
        EXPECT_EQ(received.header("x-token") + ' ' + received.header("content-type") + ' ' + received.body,
                  R"(abc application/json {"a":1})");
        EXPECT_EQ(received.header("cookie"), QByteArray()) << "no cookie is kept";
    }
}

// Local-service builds trust the test authority: it vouches for this machine only, and its key is gone.
TEST_F(HttpTransportTest, TrustsOnlyTheGivenAuthoritiesAndTheTestOneOnlyForThisMachine) {
    serve("/", {.body = "ok"});
    const std::tuple<const char*, QtHttpTransportOptions, std::string> cases[] = {
        {"the system's authorities only", {}, "transport (with detail)"},
        {"the system's and the test CA",
         {.trustedAuthorities = systemAuthoritiesPlus(server.caPath())},
         "200 ok"},
        {"the test CA only", {.trustedAuthorities = server.caCertificates()}, "200 ok"},
    };
    for (const auto& [name, options, expected] : cases) {
        QtHttpTransport trusting(options);
        EXPECT_EQ(summary(runTask(trusting.send(request(QStringLiteral("/"))))), expected) << name;
    }
    EXPECT_EQ(server.requests().size(), 2) << "an untrusted server hears nothing";

    EXPECT_FALSE(QFileInfo::exists(QFileInfo(server.caPath()).dir().filePath(QStringLiteral("ca.key"))));
    QStringList constraints;
    for (const auto& extension : server.caCertificates().value(0).extensions()) {
        if (extension.name() == QLatin1String("nameConstraints") && extension.isCritical())
            constraints.append(extension.value().toString().simplified());
    }
    EXPECT_EQ(constraints,
              QStringList{QStringLiteral("Permitted: IP:127.0.0.1/255.255.255.255 DNS:localhost")});
}

// Returned as the reply unless the caller follows it; then at most 16 are followed.
TEST_F(HttpTransportTest, RedirectIsReturnedUnlessTheCallerFollowsIt) {
    serve("/from", {.status = 302, .headers = {{"Location", "/to"}}, .body = "moved"});
    serve("/to", {.body = "arrived"});
    serve("/loop", {.status = 307, .headers = {{"Location", "/loop"}}});
    EXPECT_EQ(summary(send(request(QStringLiteral("/from")))), "302 moved");
    auto follow = request(QStringLiteral("/from"));
    follow.followRedirects = true;
    EXPECT_EQ(summary(send(follow)), "200 arrived");
    EXPECT_EQ(pathsReceived(), (QList<QByteArray>{"/from", "/from", "/to"}));

    follow.url = server.url(QStringLiteral("/loop"));
    EXPECT_EQ(summary(send(follow)), "transport (with detail)");
    EXPECT_EQ(pathsReceived().count("/loop"), 17);
}

// The cap is the returned response's: a followed redirect's own long body is dropped unread, a returned one
// is held to the cap, and so is the final answer.
TEST_F(HttpTransportTest, TheCapHoldsForTheReturnedResponseNotForAFollowedRedirect) {
    constexpr qint64 cap = 128 * 1024;
    const auto longRedirect = [](const char* to) {
        return Reply{.status = 302, .headers = {{"Location", to}}, .body = pattern(cap + 1)};
    };
    serve("/long-from", longRedirect("/to"));
    serve("/to", {.body = "arrived"});
    serve("/long-to-long", longRedirect("/long"));
    serve("/long", {.body = pattern(cap + 1)});
    serve("/long-to-plain", longRedirect("http://127.0.0.1/to"));
    const std::tuple<const char*, bool, std::string> cases[] = {
        {"/long-from", true, "200 arrived"},
        {"/long-from", false, "too large"},
        {"/long-to-long", true, "too large"},
        {"/long-to-plain", true, "too large"},
    };
    for (const auto& [path, followed, expected] : cases) {
        SCOPED_TRACE(::testing::Message() << path << (followed ? " followed" : " returned"));
        auto call = request(QString::fromLatin1(path));
        call.maxBodyBytes = cap;
        call.followRedirects = followed;
        EXPECT_EQ(summary(send(call)), expected);
    }
}

TEST_F(HttpTransportTest, BodyPastTheCapIsRefusedOrCut) {
    using Overflow = HttpRequest::Overflow;
    constexpr qint64 cap = 65'536;
    const std::tuple<qsizetype, Overflow, std::string> cases[] = {
        {cap, Overflow::fail, "200 65536 bytes"},
        {cap + 1, Overflow::fail, "too large"},
        {cap + 1, Overflow::truncate, "200 65536 bytes, cut"},
        {1 << 20, Overflow::truncate, "200 65536 bytes, cut"},
    };
    for (const auto& [served, overflow, expected] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << served << " bytes, truncate " << (overflow == Overflow::truncate));
        serve("/body", {.body = pattern(served)});
        auto call = request(QStringLiteral("/body"));
        call.maxBodyBytes = cap;
        call.overflow = overflow;
        const auto outcome = send(call);
        EXPECT_EQ(summary(outcome), expected);
        if (const auto* response = std::get_if<HttpResponse>(&outcome)) {
            EXPECT_EQ(response->body, pattern(cap)) << "the start of the body is kept";
        }
    }
}

TEST_F(HttpTransportTest, SilentServerTimesOutAfterTheStallTimeOut) {
    serve("/silent", HttpsTestServer::silence());
    for (const auto& [timeout, divisor, effective] :
         {std::tuple{200ms, 1, 200ms}, std::tuple{30'000ms, 100, 300ms}}) {
        SCOPED_TRACE(::testing::Message() << timeout.count() << " ms / " << divisor);
        QtHttpTransport shortened({.trustedAuthorities = server.caCertificates(), .timeoutDivisor = divisor});
        auto call = request(QStringLiteral("/silent"));
        call.timeout = timeout;
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_EQ(summary(runTask(shortened.send(call), 2s)), "timed out");
        // Qt's transfer timer is coarse: it may fire a few per cent early.
        EXPECT_GE(elapsed.elapsed(), effective.count() * 9 / 10);
    }
    EXPECT_EQ(pathsReceived(), (QList<QByteArray>{"/silent", "/silent"}));
}

// Cancelled before it starts, from the server's thread while it waits, or by the transport's end.
TEST_F(HttpTransportTest, CancellationOrTheTransportsEndEndsTheRequestAsCancelled) {
    CancellationSource early;
    early.cancel();
    EXPECT_EQ(summary(send(request(QStringLiteral("/silent")), early.token())), "cancelled");
    EXPECT_TRUE(server.requests().isEmpty());

    CancellationSource midway;
    server.on("GET", "/silent", [&midway](const auto&) {
        midway.cancel();
        return HttpsTestServer::silence();
    });
    EXPECT_EQ(summary(send(request(QStringLiteral("/silent")), midway.token())), "cancelled");

    auto doomed = std::make_unique<QtHttpTransport>(
        QtHttpTransportOptions{.trustedAuthorities = server.caCertificates()});
    auto pending = doomed->send(request(QStringLiteral("/silent")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.requests().size() == 2; }, 2000));
    doomed.reset();
    EXPECT_EQ(summary(runTask(std::move(pending), 1s)), "cancelled");
}

QCoro::Task<HttpOutcome> sendAsLastOwner(std::shared_ptr<QtHttpTransport> transport, HttpRequest request) {
    auto outcome = co_await transport->send(std::move(request));
    co_return outcome;
}

// A client that shares its transport can be the last to hold it while a request runs: the transport then
// ends inside the continuation of its own reply, or with replies still running. Neither may touch a reply
// after it is gone.
TEST_F(HttpTransportTest, ATransportEndingInsideItsOwnRepliesContinuationLeavesNoReplyBehind) {
    serve("/fast", {.body = "ok"});
    serve("/slow", {.status = 200, .headers = {}, .body = "late", .delay = 300ms});
    for (const char* path : {"/fast", "/slow"}) {
        SCOPED_TRACE(path);
        auto shared = std::make_shared<QtHttpTransport>(
            QtHttpTransportOptions{.trustedAuthorities = server.caCertificates()});
        std::weak_ptr<QtHttpTransport> watched = shared;
        auto pending = sendAsLastOwner(std::move(shared), request(QString::fromLatin1(path)));
        EXPECT_EQ(summary(runTask(std::move(pending), 5s)),
                  std::string("200 ") + (path[1] == 'f' ? "ok" : "late"));
        EXPECT_TRUE(watched.expired());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// How each reply is judged and logged is pinned by the checker's unit tests; this pins what it asks of the
// real transport: how much of the page is read, redirects followed, and the real stall timer.
TEST_F(HttpTransportTest, TheConnectionCheckReadsOnlyTheStartOfThePageFollowsRedirectsAndTimesOut) {
    serve("/success", {.body = "<HTML><BODY>Success</BODY></HTML>"});
    serve("/large-early", {.body = "Success" + QByteArray(64 * 1024, 'x')});
    serve("/large-late", {.body = QByteArray(8192, 'x') + "Success"});
    serve("/moved", {.status = 302, .headers = {{"Location", "/success"}}});
    serve("/silent", HttpsTestServer::silence());
    const auto probe = [this](const char* path, ReachabilityTimeouts timeouts = {}) {
        return runTask(ConnectionHealthChecker(
                           transport, SystemClock::shared(), [](const QString&) {},
                           server.url(QString::fromLatin1(path)), timeouts)
                           .probeOnce(1));
    };
    const auto failure = [](TessaronProbeFailure why) {
        return TessaronProbeOutcome{TessaronProbeResult::failure, why};
    };
    const TessaronProbeOutcome success{TessaronProbeResult::success, std::nullopt};
    EXPECT_EQ(probe("/large-early"), success);
    EXPECT_EQ(probe("/large-late"), failure(TessaronProbeFailure::noSuccess()));
    EXPECT_EQ(probe("/moved"), success);
    EXPECT_EQ(pathsReceived().last(), "/success") << "the redirect was followed";

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(probe("/silent", {.stall = 300ms, .total = 500ms}), failure(TessaronProbeFailure::timeout()));
    // The transport's stall timer is a coarse Qt timer, which may fire a little early.
    EXPECT_GE(elapsed.elapsed(), 250);
    EXPECT_LT(elapsed.elapsed(), 2000);
}

// The account client and the crash upload follow a redirect as the transport does: the token goes on only
// within its origin, and never down to plain HTTP; the pairing client refuses every redirect.
TEST_F(HttpTransportTest, TheServiceClientsFollowRedirectsUnderTheTransportsRulesAndPairingRefusesThem) {
    HttpsTestServer other;
    const QByteArray account =
        R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z"})";
    for (auto* target : {&server, &other})
        target->on("GET", "/moved", [account](const auto&) { return Reply{.body = account}; });
    const TessaronAccountClient client(server.baseUrl(),
                                       std::make_shared<QtHttpTransport>(QtHttpTransportOptions{
                                           .trustedAuthorities = server.caCertificates()}),
                                       SystemClock::shared(), {});
    // The token the moved request carried, among the requests after the first `skipped` of each server.
    const auto tokenAtTheTarget = [&](qsizetype skippedHere,
                                      qsizetype skippedThere) -> std::optional<QString> {
        for (const auto& received :
             server.requests().sliced(skippedHere) + other.requests().sliced(skippedThere)) {
            if (received.path == "/moved")
                return QString::fromLatin1(received.header("Authorization"));
        }
        return std::nullopt;
    };
    auto plainHTTP = other.url(QStringLiteral("/moved"));
    plainHTTP.setScheme(QStringLiteral("http"));
    // Where the account service sends the request; the account read, and the token the target was given.
    const std::tuple<const char*, QUrl, std::optional<QString>, std::optional<QString>> rows[] = {
        {"the same origin", server.url(QStringLiteral("/moved")), "ann@example.com", "Bearer tok-1"},
        {"another origin", other.url(QStringLiteral("/moved")), "ann@example.com", ""},
        {"down to plain HTTP", plainHTTP, std::nullopt, std::nullopt},
    };
    for (const auto& [name, location, email, token] : rows) {
        SCOPED_TRACE(name);
        server.on("GET", "/v1/account", [location](const auto&) {
            return Reply{.status = 302, .headers = {{"Location", location.toEncoded()}}};
        });
        const auto heardHere = server.requests().size(), heardThere = other.requests().size();
        std::optional<QString> read;
        try {
            read = runTask(client.fetchAccount(QStringLiteral("tok-1"))).email;
        } catch (const TessaronAccountError& error) {
            EXPECT_EQ(error.serverStatus(), 302) << "the refused step is the final reply";
        }
        EXPECT_EQ(std::pair(read, tokenAtTheTarget(heardHere, heardThere)), std::pair(email, token));
    }

    // A moved diagnostics endpoint takes the report; the pairing service's redirect is a failure.
    const QByteArray report = R"({"id":"2f1c0d9e-5b7a-4c1e-9a43-0c8e7f6b1d22","platform":"macos",)"
                              R"("installationID":"7d5e3a10-2b4c-4f6a-8e9d-1c2b3a4d5e6f","signal":"11"})";
    server.on("POST", "/v1/diagnostics/crash", [&other](const auto&) {
        return Reply{.status = 307,
                     .headers = {{"Location", other.url(QStringLiteral("/crash")).toEncoded()}}};
    });
    other.on("POST", "/crash", [](const auto&) { return Reply{.status = 202}; });
    PairingCrashUploader uploader(
        server.baseUrl(), transport, SystemClock::shared(), [](int, std::optional<QByteArray>) {},
        [] { return QStringLiteral("macos-direct/1.4.2/142"); });
    EXPECT_TRUE(runTask(uploader.upload(TessaronCrashReport::decoded(report))));
    EXPECT_EQ(other.requests().last().body, TessaronCrashReport::decoded(report).encoded());

    const auto otherHeard = other.requests().size();
    server.on("POST", "/v1/profiles", [&other](const auto&) {
        return Reply{.status = 307,
                     .headers = {{"Location", other.url(QStringLiteral("/crash")).toEncoded()}}};
    });
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate(preferences);
    const TessaronPairingClient pairing(TessaronPairingOrigin(server.baseUrl()), transport,
                                        SystemClock::shared(), gate);
    EXPECT_THROW(runTask(pairing.roster(QUuid::createUuid(), QUuid::createUuid())), TessaronPairingError);
    EXPECT_EQ(other.requests().size(), otherHeard);
}

// Figures for listeners, by address or by name, and none without an answer: refused at once, or silent
// until the deadline.
TEST(ProbeTest, MeasuresAListenerAndGivesNoFigureWithoutAnAnswer) {
    TcpConnectProbe probe{SystemClock::shared(), 400ms};
    const auto measure = [&](const char* host, int port) {
        return QCoro::waitFor(probe.measure(QString::fromLatin1(host), port));
    };
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const auto milliseconds = measure("127.0.0.1", server.serverPort());
    EXPECT_TRUE(milliseconds && *milliseconds >= 0 && *milliseconds < 100) << milliseconds.value_or(-1);
    EXPECT_TRUE(measure("localhost", server.serverPort()));
    const auto closedPort = server.serverPort();
    server.close();

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(measure("127.0.0.1", closedPort));
    EXPECT_LT(elapsed.elapsed(), 300) << "a refused connection answers at once";
    for (const int port : {0, 65536})
        EXPECT_FALSE(measure("127.0.0.2", port)) << port;
    EXPECT_FALSE(measure("no-such-host.invalid", 443));

    const SilentListener silent("127.0.0.6");
    elapsed.restart();
    EXPECT_FALSE(measure("127.0.0.6", silent.port()));
    EXPECT_GE(elapsed.elapsed(), 400);
    EXPECT_LT(elapsed.elapsed(), 1500);
}

std::size_t threadCount() {
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

// A round over a long list waits for every node at once, but without a thread per node: each thread a
// process starts leaves its stack and heap arena behind for the rest of the run.
TEST(ProbeTest, ARoundOverManySilentNodesWaitsForAllAtOnceOnAFewThreads) {
    const SilentListener silent("127.0.0.7");
    QList<LatencyTarget> targets;
    for (int node = 0; node < 130; ++node)
        targets.append({QUuid::createUuid(), QStringLiteral("127.0.0.7"), silent.port()});
    TcpConnectProbe probe{SystemClock::shared(), 400ms};
    LatencyMonitor monitor(probe, SystemClock::shared());
    // Only the round probes: the monitor's own loop stays off.
    monitor.setActive(false);
    monitor.update(targets, std::nullopt, 10s, 30s);
    const auto threadsBefore = threadCount();
    QElapsedTimer elapsed;
    elapsed.start();
    QCoro::waitFor(monitor.measureAll(2s));
    EXPECT_LT(elapsed.elapsed(), 1500) << "every node waited for its own deadline, not in turn";
    EXPECT_TRUE(monitor.samples().isEmpty());
    EXPECT_LE(threadCount(), threadsBefore + 2);
}

// A session's monitor, probe and clock go away together while the workers still wait for silent peers;
// the workers finish afterwards and must find nothing of theirs destroyed.
TEST(ProbeTeardownTest, MeasurementsInFlightOutliveTheirMonitorProbeAndClock) {
    SilentListener silent("127.0.0.10");
    const QList<LatencyTarget> targets{{QUuid::createUuid(), QStringLiteral("127.0.0.10"), silent.port()},
                                       {QUuid::createUuid(), QStringLiteral("127.0.0.10"), silent.port()}};
    for (int round = 0; round < 300; ++round) {
        auto clock = std::make_unique<ManualClock>();
        auto probe = std::make_unique<TcpConnectProbe>(*clock, 20ms);
        auto monitor = std::make_unique<LatencyMonitor>(*probe, *clock);
        monitor->update(targets, targets.first().id, 10s, 30s);
        monitor->measureAll(1s);
        // Each round ends with the monitor, the probe and the clock destroyed in that order.
    }
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace
} // namespace tessaron::testing
