#include "platform/qt_http_transport.hpp"
#include "platform/trusted_authorities.hpp"
#include "support/https_test_server.hpp"
#include "support/run_task.hpp"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSslCertificateExtension>
#include <QTest>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using Kind = HttpFailure::Kind;

// Throws, failing the test, when the outcome is a failure.
HttpResponse responseOf(const HttpOutcome& outcome) {
    return std::get<HttpResponse>(outcome);
}

std::optional<Kind> failureOf(const HttpOutcome& outcome) {
    if (const auto* failure = std::get_if<HttpFailure>(&outcome))
        return failure->kind;
    return std::nullopt;
}

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

class HttpTransportTest : public ::testing::Test {
protected:
    HttpRequest request(const QString& path, QByteArray method = "GET") const {
        HttpRequest request;
        request.method = std::move(method);
        request.url = server.url(path);
        request.timeout = 2s;
        return request;
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
            return HttpsTestServer::Reply{
                .status = status,
                .headers = {{"X-Reply", "yes"}, {"Set-Cookie", "session=abc; Path=/"}},
                .body = "stored " + received.body};
        });
        auto put = request(QStringLiteral("/items/7"), "PUT");
        put.headers = {{"X-Token", "abc"}, {"Content-Type", "application/json"}};
        put.body = R"({"a":1})";

        const auto response = responseOf(send(put));

        EXPECT_EQ(response.status, status);
        EXPECT_EQ(response.header("x-reply"), "yes");
        EXPECT_EQ(response.body, R"(stored {"a":1})");
        const auto received = server.requests().last();
        EXPECT_EQ(received.header("x-token"), "abc");
        EXPECT_EQ(received.header("content-type"), "application/json");
        EXPECT_EQ(received.body, R"({"a":1})");
        EXPECT_EQ(received.header("cookie"), QByteArray()) << "no cookie is kept";
    }
}

// Local-service builds trust the test authority: it vouches for this machine only, and its key is gone.
TEST(HttpTransportTrustTest, TrustsOnlyTheGivenAuthoritiesAndTheTestOneOnlyForThisMachine) {
    HttpsTestServer server;
    server.on("GET", "/",
              [](const HttpsTestServer::Request&) { return HttpsTestServer::Reply{.body = "ok"}; });
    const std::tuple<const char*, QtHttpTransportOptions, std::optional<Kind>> cases[] = {
        {"the system's authorities only", {}, Kind::transport},
        {"the system's and the test CA", {.trustedAuthorities = systemAuthoritiesPlus(server.caPath())}, {}},
        {"the test CA only", {.trustedAuthorities = server.caCertificates()}, {}},
    };
    for (const auto& [name, options, failure] : cases) {
        SCOPED_TRACE(name);
        QtHttpTransport transport(options);
        HttpRequest call;
        call.url = server.baseUrl();
        const auto outcome = runTask(transport.send(call));
        EXPECT_EQ(failureOf(outcome), failure);
        if (failure)
            EXPECT_FALSE(std::get<HttpFailure>(outcome).detail.isEmpty());
        else
            EXPECT_EQ(responseOf(outcome).body, "ok");
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
    server.on("GET", "/from", [](const HttpsTestServer::Request&) {
        return HttpsTestServer::Reply{.status = 302, .headers = {{"Location", "/to"}}, .body = "moved"};
    });
    server.on("GET", "/to",
              [](const HttpsTestServer::Request&) { return HttpsTestServer::Reply{.body = "arrived"}; });
    server.on("GET", "/loop", [](const HttpsTestServer::Request&) {
        return HttpsTestServer::Reply{.status = 307, .headers = {{"Location", "/loop"}}};
    });

    const auto returned = responseOf(send(request(QStringLiteral("/from"))));
    EXPECT_EQ(returned.status, 302);
    EXPECT_EQ(returned.body, "moved");
    auto follow = request(QStringLiteral("/from"));
    follow.followRedirects = true;
    EXPECT_EQ(responseOf(send(follow)).body, "arrived");
    EXPECT_EQ(pathsReceived(), (QList<QByteArray>{"/from", "/from", "/to"}));

    follow.url = server.url(QStringLiteral("/loop"));
    EXPECT_EQ(failureOf(send(follow)), Kind::transport);
    EXPECT_EQ(pathsReceived().count("/loop"), 17);
}

TEST_F(HttpTransportTest, BodyPastTheCapIsRefusedOrCut) {
    using Overflow = HttpRequest::Overflow;
    constexpr qint64 cap = 65'536;
    struct Case {
        qsizetype served;
        Overflow overflow;
        std::optional<Kind> failure;
        qsizetype kept;
        bool truncated;
    };
    const Case cases[] = {
        {cap, Overflow::fail, std::nullopt, cap, false},
        {cap + 1, Overflow::fail, Kind::tooLarge, 0, false},
        {cap + 1, Overflow::truncate, std::nullopt, cap, true},
        {1 << 20, Overflow::truncate, std::nullopt, cap, true},
    };
    for (const auto& [served, overflow, failure, kept, truncated] : cases) {
        SCOPED_TRACE(::testing::Message()
                     << served << " bytes, truncate " << (overflow == Overflow::truncate));
        const auto body = pattern(served);
        server.on("GET", "/body",
                  [body](const HttpsTestServer::Request&) { return HttpsTestServer::Reply{.body = body}; });
        auto call = request(QStringLiteral("/body"));
        call.maxBodyBytes = cap;
        call.overflow = overflow;

        const auto outcome = send(call);

        EXPECT_EQ(failureOf(outcome), failure);
        if (!failure) {
            const auto response = responseOf(outcome);
            EXPECT_EQ(response.status, 200);
            EXPECT_EQ(response.body, body.first(kept));
            EXPECT_EQ(response.truncated, truncated);
        }
    }
}

TEST_F(HttpTransportTest, SilentServerTimesOutAfterTheStallTimeOut) {
    server.on("GET", "/silent", [](const HttpsTestServer::Request&) { return HttpsTestServer::silence(); });
    struct Case {
        std::chrono::milliseconds timeout;
        int divisor;
        std::chrono::milliseconds effective;
    };
    for (const auto& [timeout, divisor, effective] : {Case{200ms, 1, 200ms}, Case{15s, 1000, 15ms}}) {
        SCOPED_TRACE(::testing::Message() << timeout.count() << " ms / " << divisor);
        QtHttpTransport shortened({.trustedAuthorities = server.caCertificates(), .timeoutDivisor = divisor});
        auto call = request(QStringLiteral("/silent"));
        call.timeout = timeout;
        QElapsedTimer elapsed;
        elapsed.start();

        const auto outcome = runTask(shortened.send(call), 2s);

        EXPECT_EQ(failureOf(outcome), Kind::timedOut);
        // Qt's transfer timer is coarse: it may fire a few per cent early.
        EXPECT_GE(elapsed.elapsed(), effective.count() * 9 / 10);
    }
    EXPECT_EQ(pathsReceived(), (QList<QByteArray>{"/silent", "/silent"}));
}

// Cancelled before it starts, from the server's thread while it waits, or by the transport's end.
TEST_F(HttpTransportTest, CancellationOrTheTransportsEndEndsTheRequestAsCancelled) {
    CancellationSource early;
    early.cancel();
    EXPECT_EQ(failureOf(send(request(QStringLiteral("/silent")), early.token())), Kind::cancelled);
    EXPECT_TRUE(server.requests().isEmpty());

    CancellationSource midway;
    server.on("GET", "/silent", [&midway](const HttpsTestServer::Request&) {
        midway.cancel();
        return HttpsTestServer::silence();
    });
    EXPECT_EQ(failureOf(send(request(QStringLiteral("/silent")), midway.token())), Kind::cancelled);

    auto doomed = std::make_unique<QtHttpTransport>(
        QtHttpTransportOptions{.trustedAuthorities = server.caCertificates()});
    auto pending = doomed->send(request(QStringLiteral("/silent")));
    ASSERT_TRUE(QTest::qWaitFor([this] { return server.requests().size() == 2; }, 2000));
    doomed.reset();
    EXPECT_EQ(failureOf(runTask(std::move(pending), 1s)), Kind::cancelled);
}

} // namespace
} // namespace tessaron::testing
