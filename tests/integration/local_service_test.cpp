// The local service as run.sh starts it, over real HTTPS: a smoke test of what the app relies on. Its
// invitations and nodes are walked through end to end by the session's suite.
#include "local_service_process.hpp"

#include "account/account_client.hpp"
#include "account/account_test_support.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/pairing_client.hpp"
#include "sign-in/email_code.hpp"
#include "sign-in/sign_in_options.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"
#include "updates/crash_uploader.hpp"
#include "updates/release_feed.hpp"

#include <QSet>
#include <QUrlQuery>
#include <QUuid>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaron::testing {
namespace {

class LocalServiceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(service.isRunning()) << service.startError().toStdString(); }

    QCoro::Task<TessaronProfileEnvelope> grantProfile(const TessaronAuthSession& signedIn,
                                                      const QUuid& installationID, const QString& deviceName,
                                                      bool deviceSwap = false) {
        return account.fetchProfile(signedIn.sessionToken,
                                    signedIn.account.activeGrant().value_or(TessaronAccount::Grant()).id,
                                    installationID, deviceName, deviceSwap);
    }

    // A page as the browser would load it; a form is posted.
    HttpResponse fetch(const QUrl& url, const QByteArray& form = {}) {
        HttpRequest request{
            .method = form.isEmpty() ? "GET" : "POST", .url = url, .headers = {}, .body = form};
        if (!form.isEmpty())
            request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
        const auto outcome = runTask(transport->send(request));
        EXPECT_TRUE(std::holds_alternative<HttpResponse>(outcome));
        return std::holds_alternative<HttpResponse>(outcome) ? std::get<HttpResponse>(outcome)
                                                             : HttpResponse();
    }

    LocalServiceProcess service;

    std::shared_ptr<QtHttpTransport> transport = std::make_shared<QtHttpTransport>(
        QtHttpTransportOptions{.trustedAuthorities = QSslCertificate::fromPath(service.caFile())});
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    TessaronPairingClient pairing{TessaronPairingOrigin(QUrl(service.baseURL())), *transport,
                                  SystemClock::shared(), gate};
    TessaronAccountClient account{QUrl(service.baseURL()), transport, SystemClock::shared(), nullptr};
};

// One computer signs in on the web page, another by e-mail code as the sign-in tool reads it: the second must
// swap the account's one computer slot, which signs the first out.
TEST_F(LocalServiceTest, SignsInOnTheWebAndByEmailSwapsTheSlotTakesCrashReportsAndNamesAnOlderRelease) {
    const QString email = QStringLiteral("two-computers@example.com");
    const QUuid first = QUuid::createUuid(), second = QUuid::createUuid();
    const TessaronOAuthStart started = runTask(account.startOAuth(TessaronOAuthProvider::google, first));
    const QUrl authorize(started.authorizeURL);
    EXPECT_EQ(authorize.authority(), QStringLiteral("127.0.0.1:%1").arg(service.port()));
    EXPECT_TRUE(fetch(authorize).body.contains("/oauth/complete"));
    const QUrlQuery form{{QStringLiteral("state"), started.state},
                         {QStringLiteral("email"), email},
                         {QStringLiteral("action"), QStringLiteral("continue")}};
    const QUrlQuery callback(
        QUrl::fromEncoded(fetch(authorize.resolved(QUrl(QStringLiteral("/oauth/complete"))),
                                form.toString(QUrl::FullyEncoded).toUtf8())
                              .header("Location")));
    EXPECT_EQ(callback.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded), started.state);
    const auto onFirst =
        runTask(account.exchangeOAuthCode(callback.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded),
                                          first, QStringLiteral("First laptop")));
    EXPECT_EQ(onFirst.account.email, email);
    // The page of a finished sign-in sends the app an error for the same state.
    const QUrl replayed = QUrl::fromEncoded(fetch(authorize).header("Location"));
    EXPECT_EQ(replayed.scheme() + ' ' + QUrlQuery(replayed).queryItemValue(QStringLiteral("error")),
              u"tessaron invalid_state");
    EXPECT_EQ(std::ranges::count_if(onFirst.account.grants, &TessaronAccount::Grant::isActive), 1);
    const TessaronProfile profile =
        runTask(grantProfile(onFirst, first, QStringLiteral("First laptop"))).profile;
    EXPECT_EQ(runTask(pairing.roster(profile.id, first)).profiles.value(0), profile);

    const auto challenge = runTask(account.startEmailChallenge(email, second));
    // Read as the sign-in tool reads the service's log.
    const auto printed = service.awaitLine(QStringLiteral("^e-mail code for .*$"));
    const auto code = sign_in::emailCodeInLog(printed ? printed->captured() : QString(), email.toUpper());
    ASSERT_TRUE(code);
    const auto onSecond = runTask(
        account.verifyEmailCode(challenge.challengeID, *code, second, QStringLiteral("Second laptop")));
    EXPECT_EQ(accountErrorOf(grantProfile(onSecond, second, QStringLiteral("Second laptop"))),
              TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Taken{
                  TessaronDeviceSlot::computer, QStringLiteral("First laptop")}));
    runTask(grantProfile(onSecond, second, QStringLiteral("Second laptop"), true));
    EXPECT_EQ(accountErrorOf(account.fetchAccount(onFirst.sessionToken)),
              TessaronAccountError(TessaronAccountErrorKind::unauthorized));

    // The diagnostics endpoint takes a crash report, and the release feed names an older release.
    PairingCrashUploader uploader(
        QUrl(service.baseURL()), *transport, SystemClock::shared(), [](int, std::optional<QByteArray>) {},
        [] { return QStringLiteral("macos-direct/0.1.0/1"); });
    TessaronCrashReport report;
    report.id = QUuid::createUuid();
    report.platform = QStringLiteral("macos");
    report.installationID = QUuid::createUuid();
    EXPECT_TRUE(runTask(uploader.upload(report))) << "only a 202 counts as delivered";

    const auto release =
        runTask(ReleaseFeed(*transport, SystemClock::shared(),
                            QUrl(service.baseURL() + QStringLiteral("/releases/mac/latest.json")))
                    .fetchLatest());
    ASSERT_TRUE(release);
    EXPECT_FALSE(compareVersions(QStringLiteral("0.1.0"), release->version));
    EXPECT_EQ(release->url, QUrl(service.baseURL() + QStringLiteral("/download/mac")));
}

// A listener on `address` as another running service holds it, sharing its port with whoever asks.
std::pair<int, int> sharedListener(const char* address) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    for (const int option : {SO_REUSEADDR, SO_REUSEPORT})
        ::setsockopt(listener, SOL_SOCKET, option, &yes, sizeof yes);
    sockaddr_in socketAddress{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {}, .sin_zero = {}};
    ::inet_pton(AF_INET, address, &socketAddress.sin_addr);
    socklen_t length = sizeof socketAddress;
    auto* generic = reinterpret_cast<sockaddr*>(&socketAddress);
    EXPECT_EQ(::bind(listener, generic, length) | ::listen(listener, 1) |
                  ::getsockname(listener, generic, &length),
              0);
    return {listener, ntohs(socketAddress.sin_port)};
}

// The service started with 127 extra nodes in the account's group, for measuring a long node list.
class ExtraNodesEnvironment {
protected:
    ExtraNodesEnvironment() { qputenv("TESSARON_LOCAL_SERVICE_EXTRA_NODES", "127"); }
    ~ExtraNodesEnvironment() { qunsetenv("TESSARON_LOCAL_SERVICE_EXTRA_NODES"); }
};

class LocalServiceExtraNodesTest : private ExtraNodesEnvironment, public LocalServiceTest {};

// The account's group grows to 130 nodes, each on a loopback address of its own, and its roster still
// passes the client's cap on a reply.
TEST_F(LocalServiceExtraNodesTest, GrowsTheAccountsGroupWithinTheRosterCap) {
    // The account group's first node, as the service names it.
    const QUuid primary = QUuid::createUuidV5(QUuid(QStringLiteral("{6f2b7c1e-3d4a-4f5b-9c8d-1e2f3a4b5c6d}")),
                                              QStringLiteral("node:sin"));
    const auto roster = runTask(pairing.roster(primary, QUuid::createUuid()));
    QSet<QString> addresses;
    for (const auto& profile : roster.profiles) {
        EXPECT_TRUE(profile.server.startsWith(QStringLiteral("127."))) << profile.server.toStdString();
        addresses.insert(profile.server);
    }
    EXPECT_EQ(roster.profiles.size(), 130);
    EXPECT_EQ(addresses.size(), 130);
    EXPECT_EQ(roster.profiles.back().server, QStringLiteral("127.1.0.127"));
}

TEST(LocalServiceStartTest, RefusesToStartWhenItsPortOrANodesPortIsTaken) {
    // The node addresses start at 127.0.0.2.
    for (const char* address : {"127.0.0.1", "127.0.0.2"}) {
        const auto [listener, port] = sharedListener(address);
        const LocalServiceProcess second(port);
        EXPECT_FALSE(second.isRunning()) << address;
        EXPECT_TRUE(second.startError().contains(QStringLiteral("%1:%2").arg(address).arg(port)))
            << second.startError().toStdString();
        ::close(listener);
    }
}

// The sign-in tool reaches the configured service with the build's trust; a local one only with its own.
TEST(SignInOptionsTest, OnlyALocalServiceReplacesTheBuildsTrust) {
    const HttpsTestServer server;
    const QString ca = server.caPath();
    struct Row {
        QStringList arguments;
        // Whether the line is taken, a service named, and the trust replaced.
        std::tuple<bool, bool, bool> expected;
    };
    const QList<Row> rows{
        {{"ann@example.com"}, {true, false, false}},
        {{"ann@example.com", "--code-log", "/tmp/log"}, {true, false, false}},
        {{"ann@example.com", "--service", "https://127.0.0.1:8443", "--ca", ca}, {true, true, true}},
        {{"ann@example.com", "--service", "http://127.0.0.1:8443", "--ca", ca}, {false, false, false}},
        {{"ann@example.com", "--service", "https://127.0.0.1:8443"}, {false, false, false}},
        {{}, {false, false, false}},
    };
    for (const auto& row : rows) {
        QCommandLineParser parser;
        const auto parsed = sign_in::parseOptions(parser, QStringList{"tessaron-sign-in"} + row.arguments);
        const auto* options = std::get_if<sign_in::Options>(&parsed);
        EXPECT_EQ(std::tuple(options != nullptr, options && options->service.has_value(),
                             options && options->authorities.has_value()),
                  row.expected)
            << row.arguments.join(u' ').toStdString();
    }
}

} // namespace
} // namespace tessaron::testing
