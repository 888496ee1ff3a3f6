// The local service as run.sh starts it, over real HTTPS with the certificates made for the run.
#include "local_service_process.hpp"

#include "platform/qt_http_transport.hpp"
#include "profiles/data_usage.hpp"
#include "profiles/json_values.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>
#include <QUrlQuery>
#include <QUuid>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <ostream>
#include <string>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using PairingFailure = TessaronPairingErrorKind;

const QString consentVersion = QStringLiteral("tessaron-access-v1");

struct Reply {
    int status = 0;
    QByteArray body;
    QByteArray location;

    QJsonObject object() const { return QJsonDocument::fromJson(body).object(); }
    QString error() const { return object().value(QStringLiteral("error")).toString(); }
};

std::ostream& operator<<(std::ostream& stream, const Reply& reply) {
    return stream << reply.status << ' ' << reply.body.toStdString();
}

// The pairing failure a task ends with, or none when it succeeds.
template <typename T> std::optional<PairingFailure> pairingFailureOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
        return std::nullopt;
    } catch (const TessaronPairingError& error) {
        return error.kind();
    }
}

QString lowerText(const QUuid& id) {
    return id.toString(QUuid::WithoutBraces);
}

// The alphabet of invitation codes and of subscription-link tokens.
bool isTokenText(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c.isLetterOrNumber() && c.unicode() < 128) || c == u'-' || c == u'_';
    });
}

QString activeGrantID(const QJsonObject& account) {
    for (const QJsonValue grant : account.value(QStringLiteral("grants")).toArray()) {
        if (grant[QStringLiteral("status")] == QStringLiteral("active"))
            return grant[QStringLiteral("id")].toString();
    }
    return {};
}

struct SignedIn {
    QString token;
    QJsonObject account;
};

class LocalServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service = new LocalServiceProcess; }
    static void TearDownTestSuite() {
        delete service;
        service = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(service->isRunning()) << service->startError().toStdString(); }

    Reply request(const QByteArray& method, const QString& path, const std::optional<QJsonObject>& body = {},
                  const QString& token = {}, HttpHeaders headers = {}) {
        if (!token.isEmpty())
            headers.append(qMakePair(QByteArray("Authorization"), "Bearer " + token.toUtf8()));
        if (body)
            headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
        return send({.method = method,
                     .url = QUrl(service->baseURL() + path),
                     .headers = std::move(headers),
                     .body = body ? QJsonDocument(*body).toJson(QJsonDocument::Compact) : QByteArray(),
                     .timeout = 5s});
    }

    Reply post(const QString& path, const QJsonObject& body, const QString& token = {},
               HttpHeaders headers = {}) {
        return request("POST", path, body, token, std::move(headers));
    }

    // What a browser sends when the sign-in page's form is submitted.
    Reply postForm(const QString& path, const QUrlQuery& form) {
        return send({.method = "POST",
                     .url = QUrl(service->baseURL() + path),
                     .headers = {{"Content-Type", "application/x-www-form-urlencoded"}},
                     .body = form.toString(QUrl::FullyEncoded).toUtf8(),
                     .timeout = 5s});
    }

    Reply send(HttpRequest request) {
        const HttpOutcome outcome = runTask(transport.send(std::move(request)));
        if (const auto* failure = std::get_if<HttpFailure>(&outcome)) {
            ADD_FAILURE() << "no reply: " << failure->detail.toStdString();
            return {};
        }
        const auto* response = std::get_if<HttpResponse>(&outcome);
        return {response->status, response->body, response->header("Location")};
    }

    static QString invitationCode(const QString& pattern) {
        const auto lines = service->linesMatching(pattern);
        return lines.isEmpty() ? QString() : lines.front().captured(1);
    }

    QCoro::Task<TessaronRedeemResult> redeem(const QString& code, const QUuid& installationID,
                                             const QString& consent = consentVersion) {
        return pairing.redeem(code, QUuid::createUuid(), installationID, consent);
    }

    TessaronRedeemResult redeemEurope() {
        return runTask(redeem(invitationCode(QStringLiteral("^invitation code for Europe .*: (\\S+)$")),
                              europeInstallation));
    }

    QCoro::Task<TessaronRosterResponse> roster(const QUuid& profileID) {
        return pairing.roster(profileID, europeInstallation);
    }

    SignedIn signIn(const QString& email, const QUuid& installationID, const QString& deviceName) {
        const Reply challenge = post(QStringLiteral("/v1/auth/email/start"),
                                     {{QStringLiteral("email"), email},
                                      {QStringLiteral("installationID"), lowerText(installationID)}});
        EXPECT_EQ(challenge.status, 200) << challenge;
        const auto code = service->awaitLine(
            QStringLiteral("^e-mail code for %1: (\\d{6})$").arg(QRegularExpression::escape(email)));
        EXPECT_TRUE(code);
        const Reply session =
            post(QStringLiteral("/v1/auth/email/verify"),
                 {{QStringLiteral("challengeID"), challenge.object()[QStringLiteral("challengeID")]},
                  {QStringLiteral("code"), code ? code->captured(1) : QString()},
                  {QStringLiteral("installationID"), lowerText(installationID)},
                  {QStringLiteral("deviceName"), deviceName},
                  {QStringLiteral("platform"), QStringLiteral("macos")}});
        EXPECT_EQ(session.status, 200) << session;
        return {session.object()[QStringLiteral("sessionToken")].toString(),
                session.object()[QStringLiteral("account")].toObject()};
    }

    Reply grantProfile(const SignedIn& signedIn, const QUuid& installationID, const QString& deviceName,
                       bool deviceSwap = false) {
        HttpHeaders headers;
        if (deviceSwap)
            headers.append(qMakePair(QByteArray("X-Tessaron-Device-Swap"), QByteArray("1")));
        return post(QStringLiteral("/v1/account/profile"),
                    {{QStringLiteral("grantID"), activeGrantID(signedIn.account)},
                     {QStringLiteral("installationID"), lowerText(installationID)},
                     {QStringLiteral("deviceName"), deviceName}},
                    signedIn.token, headers);
    }

    static inline LocalServiceProcess* service = nullptr;
    static inline const QUuid europeInstallation = QUuid::createUuid();

    QtHttpTransport transport{{.trustedAuthorities = QSslCertificate::fromPath(service->caFile())}};
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    TessaronPairingClient pairing{TessaronPairingOrigin(QUrl(service->baseURL())), transport, gate};
};

TEST_F(LocalServiceTest, RedeemAnswersEveryCaseOfTheInvitationTable) {
    const QString americas = invitationCode(QStringLiteral("^invitation code for Americas .*: (\\S+)$"));
    const QString usedUp =
        invitationCode(QStringLiteral("^invitation code already used elsewhere .*: (\\S+)$"));
    const QString europe = invitationCode(QStringLiteral("^invitation code for Europe .*: (\\S+)$"));
    for (const QString& code : {americas, usedUp, europe}) {
        EXPECT_GE(code.size(), 32);
        EXPECT_TRUE(isTokenText(code)) << code.toStdString();
    }

    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    const struct {
        const char* name;
        QString code;
        QUuid installation;
        QString consent;
        std::optional<PairingFailure> failure;
    } cases[] = {
        {"a seeded code", americas, first, consentVersion, std::nullopt},
        {"the same code again, as after a lost reply", americas, first, consentVersion, std::nullopt},
        {"the same code from another installation", americas, second, consentVersion,
         PairingFailure::invitationUnavailable},
        {"a code used before the service started", usedUp, first, consentVersion,
         PairingFailure::invitationUnavailable},
        {"an unknown code", QString(40, u'x'), first, consentVersion, PairingFailure::invitationUnavailable},
        {"another consent version", europe, first, QStringLiteral("tessaron-access-v0"),
         PairingFailure::invalidConsent},
    };
    std::optional<TessaronRedeemResult> firstResult;
    for (const auto& example : cases) {
        SCOPED_TRACE(example.name);
        if (example.failure) {
            EXPECT_EQ(pairingFailureOf(redeem(example.code, example.installation, example.consent)),
                      example.failure);
            continue;
        }
        // The client decodes every profile with the record's validating decoder, within the reply cap.
        const TessaronRedeemResult result =
            runTask(redeem(example.code, example.installation, example.consent));
        EXPECT_EQ(result.profiles.value_or(QList<TessaronProfile>()).size(), 2);
        if (!firstResult)
            firstResult = result;
        EXPECT_EQ(result, *firstResult);
    }
}

TEST_F(LocalServiceTest, RosterReportsTheGroupWithEveryNodeState) {
    const TessaronRedeemResult redeemed = redeemEurope();
    const TessaronRosterResponse response = runTask(roster(redeemed.profile.id));
    ASSERT_EQ(response.profiles.size(), 3);
    EXPECT_EQ(response.profiles.front(), redeemed.profile);
    int paused = 0;
    int busy = 0;
    for (const TessaronProfile& profile : response.profiles) {
        ASSERT_TRUE(response.health.contains(profile.id)) << profile.name.toStdString();
        ASSERT_TRUE(response.geo.contains(profile.id)) << profile.name.toStdString();
        const TessaronNodeHealth& health = response.health[profile.id];
        paused += health.paused;
        busy += health.busy;
        EXPECT_EQ(health.resumesAt.has_value(), health.paused);
    }
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(busy, 1);
    ASSERT_TRUE(response.usage);
    EXPECT_EQ(response.usage->level(), TessaronDataUsage::Level::warning);
    EXPECT_TRUE(response.clientGeo);

    // A managed profile answers for its whole group.
    const TessaronRosterResponse managed = runTask(roster(response.profiles.back().id));
    EXPECT_EQ(managed.profiles, response.profiles);
    EXPECT_EQ(managed.geo, response.geo);

    EXPECT_EQ(pairingFailureOf(roster(QUuid::createUuid())), PairingFailure::profileUnknown);
}

TEST_F(LocalServiceTest, NodesAcceptAndHoldConnections) {
    const TessaronRedeemResult redeemed = redeemEurope();
    QList<TessaronProfile> nodes = redeemed.profiles.value_or(QList<TessaronProfile>());
    nodes.prepend(redeemed.profile);
    for (const TessaronProfile& node : nodes) {
        SCOPED_TRACE(node.name.toStdString());
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(node.port));
        ASSERT_EQ(inet_pton(AF_INET, node.server.toLatin1().constData(), &address.sin_addr), 1);
        const int connection = socket(AF_INET, SOCK_STREAM, 0);
        ASSERT_EQ(connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0)
            << std::strerror(errno);
        ASSERT_EQ(::send(connection, "hello", 5, MSG_NOSIGNAL), 5);
        // Held open: nothing to read and no hang-up.
        pollfd watched{connection, POLLIN, 0};
        EXPECT_EQ(poll(&watched, 1, 50), 0);
        close(connection);
    }
}

TEST_F(LocalServiceTest, EmailSignInGivesAnAccountWithOneActiveGrantAndItsProfile) {
    const QUuid installation = QUuid::createUuid();
    const QString email = QStringLiteral("code-sign-in@example.com");
    const Reply challenge = post(QStringLiteral("/v1/auth/email/start"),
                                 {{QStringLiteral("email"), QStringLiteral("  Code-Sign-In@Example.com ")},
                                  {QStringLiteral("installationID"), lowerText(installation)}});
    ASSERT_EQ(challenge.status, 200) << challenge;
    EXPECT_TRUE(challenge.object()[QStringLiteral("resendAfterSeconds")].isDouble());
    const auto printed =
        service->awaitLine(QStringLiteral("^e-mail code for code-sign-in@example\\.com: (\\d{6})$"));
    ASSERT_TRUE(printed);
    const QString code = printed->captured(1);

    QJsonObject verification{
        {QStringLiteral("challengeID"), challenge.object()[QStringLiteral("challengeID")]},
        {QStringLiteral("code"), code == u"000000" ? QStringLiteral("000001") : QStringLiteral("000000")},
        {QStringLiteral("installationID"), lowerText(installation)},
        {QStringLiteral("deviceName"), QStringLiteral("Workstation")},
        {QStringLiteral("platform"), QStringLiteral("macos")}};
    const Reply wrong = post(QStringLiteral("/v1/auth/email/verify"), verification);
    EXPECT_EQ(wrong.status, 401) << wrong;
    EXPECT_EQ(wrong.error(), "invalid_code");
    EXPECT_EQ(wrong.object()[QStringLiteral("attemptsLeft")], 4);

    verification[QStringLiteral("code")] = code;
    const Reply session = post(QStringLiteral("/v1/auth/email/verify"), verification);
    ASSERT_EQ(session.status, 200) << session;
    const SignedIn signedIn{session.object()[QStringLiteral("sessionToken")].toString(),
                            session.object()[QStringLiteral("account")].toObject()};
    EXPECT_FALSE(signedIn.token.isEmpty());
    EXPECT_EQ(signedIn.account[QStringLiteral("email")], email);
    EXPECT_TRUE(dateFromText(signedIn.account[QStringLiteral("createdAt")].toString()));
    const QJsonArray grants = signedIn.account[QStringLiteral("grants")].toArray();
    EXPECT_EQ(std::count_if(grants.begin(), grants.end(),
                            [](const QJsonValue& grant) {
                                return grant[QStringLiteral("status")] == QStringLiteral("active");
                            }),
              1);

    const Reply account = request("GET", QStringLiteral("/v1/account"), {}, signedIn.token);
    ASSERT_EQ(account.status, 200) << account;
    EXPECT_EQ(account.object(), signedIn.account);

    const Reply profile = grantProfile(signedIn, installation, QStringLiteral("Workstation"));
    ASSERT_EQ(profile.status, 200) << profile;
    EXPECT_NO_THROW(TessaronProfile::fromJSON(profile.object()[QStringLiteral("profile")]));
    // The profile's roster is served too, so the app can show the grant's nodes.
    EXPECT_NO_THROW(
        runTask(roster(TessaronProfile::fromJSON(profile.object()[QStringLiteral("profile")]).id)));
}

TEST_F(LocalServiceTest, ASecondComputerMustSwapTheSlotAndThenWaits) {
    const QString email = QStringLiteral("two-computers@example.com");
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    const SignedIn onFirst = signIn(email, first, QStringLiteral("First laptop"));
    ASSERT_EQ(grantProfile(onFirst, first, QStringLiteral("First laptop")).status, 200);

    const SignedIn onSecond = signIn(email, second, QStringLiteral("Second laptop"));
    const Reply taken = grantProfile(onSecond, second, QStringLiteral("Second laptop"));
    EXPECT_EQ(taken.status, 409) << taken;
    EXPECT_EQ(taken.error(), "device_slot_taken");
    EXPECT_EQ(taken.object()[QStringLiteral("slot")], "computer");
    EXPECT_EQ(taken.object()[QStringLiteral("deviceName")], "First laptop");

    const Reply swapped = grantProfile(onSecond, second, QStringLiteral("Second laptop"), true);
    EXPECT_EQ(swapped.status, 200) << swapped;
    EXPECT_EQ(request("GET", QStringLiteral("/v1/account"), {}, onFirst.token).status, 401);

    const SignedIn backOnFirst = signIn(email, first, QStringLiteral("First laptop"));
    const Reply locked = grantProfile(backOnFirst, first, QStringLiteral("First laptop"), true);
    EXPECT_EQ(locked.status, 409) << locked;
    EXPECT_EQ(locked.error(), "device_slot_locked");
    const auto nextSwapAt = dateFromText(locked.object()[QStringLiteral("nextSwapAt")].toString());
    ASSERT_TRUE(nextSwapAt);
    EXPECT_GT(*nextSwapAt, QDateTime::currentDateTimeUtc().addDays(29));
}

TEST_F(LocalServiceTest, WebSignInCompletesOnTheLocalPage) {
    const QUuid installation = QUuid::createUuid();
    const auto start = [&](const QString& provider) {
        const Reply reply = post(QStringLiteral("/v1/auth/oauth/start"),
                                 {{QStringLiteral("provider"), provider},
                                  {QStringLiteral("installationID"), lowerText(installation)}});
        EXPECT_EQ(reply.status, 200) << reply;
        return reply.object();
    };
    const auto stateOf = [](const QJsonObject& started) {
        return started[QStringLiteral("state")].toString();
    };

    const QJsonObject started = start(QStringLiteral("google"));
    const QString state = stateOf(started);
    const QUrl authorize(started[QStringLiteral("authorizeURL")].toString());
    EXPECT_EQ(authorize.scheme(), "https");
    EXPECT_EQ(authorize.host(), "127.0.0.1");
    const Reply page = request("GET", authorize.path() + u'?' + authorize.query());
    EXPECT_EQ(page.status, 200) << page;
    EXPECT_TRUE(page.body.contains("action=\"/oauth/complete\""));

    const struct {
        const char* name;
        QString state;
        QString action;
        QString email;
        const char* callbackQuery;
    } outcomes[] = {
        {"a cancelled page",
         stateOf(start(QStringLiteral("whop"))),
         QStringLiteral("cancel"),
         {},
         "error=access_denied"},
        {"an implausible address", stateOf(start(QStringLiteral("whop"))), QStringLiteral("continue"),
         QStringLiteral("nobody"), "error=email_required"},
        {"a completed page", state, QStringLiteral("continue"), QStringLiteral("web-sign-in@example.com"),
         "code="},
        {"the same page again", state, QStringLiteral("continue"), QStringLiteral("web-sign-in@example.com"),
         "error=invalid_state"},
    };
    QString code;
    for (const auto& outcome : outcomes) {
        SCOPED_TRACE(outcome.name);
        QUrlQuery form;
        form.setQueryItems({{QStringLiteral("state"), outcome.state},
                            {QStringLiteral("action"), outcome.action},
                            {QStringLiteral("email"), outcome.email}});
        const Reply reply = postForm(QStringLiteral("/oauth/complete"), form);
        EXPECT_EQ(reply.status, 303) << reply;
        const QUrl callback(QString::fromUtf8(reply.location));
        EXPECT_EQ(callback.scheme(), "tessaron");
        EXPECT_TRUE(callback.query().startsWith(QLatin1String(outcome.callbackQuery)))
            << reply.location.toStdString();
        if (code.isEmpty())
            code = QUrlQuery(callback).queryItemValue(QStringLiteral("code"));
    }

    const QJsonObject exchange{{QStringLiteral("code"), code},
                               {QStringLiteral("installationID"), lowerText(installation)},
                               {QStringLiteral("deviceName"), QStringLiteral("Workstation")},
                               {QStringLiteral("platform"), QStringLiteral("macos")}};
    const Reply session = post(QStringLiteral("/v1/auth/oauth/exchange"), exchange);
    ASSERT_EQ(session.status, 200) << session;
    const QJsonObject account = session.object()[QStringLiteral("account")].toObject();
    EXPECT_EQ(account[QStringLiteral("email")], "web-sign-in@example.com");
    EXPECT_EQ(account[QStringLiteral("providers")], QJsonArray{QStringLiteral("google")});
    EXPECT_EQ(post(QStringLiteral("/v1/auth/oauth/exchange"), exchange).status, 400);
}

TEST_F(LocalServiceTest, SubscriptionLinkPassesTheAppsTrustRuleAndRecordsItsFetches) {
    const SignedIn signedIn =
        signIn(QStringLiteral("other-devices@example.com"), QUuid::createUuid(), "Desk");
    const QString path = QStringLiteral("/v1/account/subscription-link");
    const auto status = [&] {
        return request("GET", path, {}, signedIn.token).object();
    };
    EXPECT_EQ(status(), (QJsonObject{{QStringLiteral("active"), false}}));

    const Reply created =
        post(path, {{QStringLiteral("deviceName"), QStringLiteral("Windows / Android")}}, signedIn.token);
    ASSERT_EQ(created.status, 200) << created;
    const QUrl link(created.object()[QStringLiteral("url")].toString());
    EXPECT_EQ(link.scheme(), "https");
    EXPECT_EQ(link.host(), "127.0.0.1");
    EXPECT_FALSE(link.hasQuery() || link.hasFragment() || !link.userInfo().isEmpty());
    const QString prefix = QStringLiteral("/v1/sub/");
    ASSERT_TRUE(link.path().startsWith(prefix));
    const QString token = link.path().mid(prefix.size());
    EXPECT_EQ(token.size(), 43);
    EXPECT_TRUE(isTokenText(token)) << token.toStdString();
    EXPECT_TRUE(dateFromText(created.object()[QStringLiteral("createdAt")].toString()));

    EXPECT_EQ(request("GET", link.path()).status, 200);
    const QJsonObject fetched = status();
    EXPECT_EQ(fetched[QStringLiteral("active")], true);
    EXPECT_EQ(fetched[QStringLiteral("deviceName")], "Windows / Android");
    EXPECT_TRUE(dateFromText(fetched[QStringLiteral("lastFetchedAt")].toString()));

    EXPECT_EQ(request("DELETE", path, {}, signedIn.token).status, 204);
    EXPECT_EQ(status(), (QJsonObject{{QStringLiteral("active"), false}}));
    EXPECT_EQ(request("GET", link.path()).status, 404);
}

TEST_F(LocalServiceTest, LinkingClaimsAnInvitationProfileForOneAccount) {
    const TessaronRedeemResult redeemed = redeemEurope();
    const SignedIn owner = signIn(QStringLiteral("link-owner@example.com"), QUuid::createUuid(), "Desk");
    const SignedIn stranger =
        signIn(QStringLiteral("link-stranger@example.com"), QUuid::createUuid(), "Desk");
    const auto link = [&](const SignedIn& signedIn, const QUuid& profileID) {
        return post(QStringLiteral("/v1/account/link"),
                    {{QStringLiteral("profileID"), lowerText(profileID)},
                     {QStringLiteral("installationID"), lowerText(QUuid::createUuid())}},
                    signedIn.token);
    };

    const Reply linked = link(owner, redeemed.profile.id);
    EXPECT_EQ(linked.status, 200) << linked;
    EXPECT_EQ(linked.object()[QStringLiteral("id")], owner.account[QStringLiteral("id")]);
    EXPECT_EQ(link(owner, redeemed.profile.id).status, 200);

    for (const Reply& refused : {link(stranger, redeemed.profile.id), link(owner, QUuid::createUuid())}) {
        EXPECT_EQ(refused.status, 403) << refused;
        EXPECT_EQ(refused.error(), "not_your_grant");
    }
}

TEST_F(LocalServiceTest, LogoutAndDeletionEndTheSession) {
    const QString email = QStringLiteral("leaving@example.com");
    const QUuid installation = QUuid::createUuid();
    const SignedIn first = signIn(email, installation, "Desk");
    EXPECT_EQ(request("POST", QStringLiteral("/v1/auth/logout"), {}, first.token).status, 204);
    EXPECT_EQ(request("GET", QStringLiteral("/v1/account"), {}, first.token).status, 401);

    const SignedIn second = signIn(email, installation, "Desk");
    EXPECT_EQ(second.account[QStringLiteral("id")], first.account[QStringLiteral("id")]);
    EXPECT_EQ(request("DELETE", QStringLiteral("/v1/account"), {}, second.token).status, 204);
    EXPECT_EQ(request("GET", QStringLiteral("/v1/account"), {}, second.token).status, 401);

    const SignedIn afterDeletion = signIn(email, installation, "Desk");
    EXPECT_NE(afterDeletion.account[QStringLiteral("id")], first.account[QStringLiteral("id")]);
}

} // namespace
} // namespace tessaron::testing
