// The local service as run.sh starts it, over real HTTPS: a smoke test of what the app relies on.
#include "local_service_process.hpp"

#include "account/account_client.hpp"
#include "account/account_test_support.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/pairing_client.hpp"
#include "sign-in/email_code.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <QTcpSocket>
#include <QUrlQuery>
#include <QUuid>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

const QString consentVersion = QStringLiteral("tessaron-access-v1");

struct SignedIn {
    QString token;
    TessaronAccount account;

    QString grantID() const { return account.activeGrant().value_or(TessaronAccount::Grant()).id; }
};

class LocalServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service = new LocalServiceProcess; }
    static void TearDownTestSuite() {
        delete service;
        service = nullptr;
    }

    void SetUp() override { ASSERT_TRUE(service->isRunning()) << service->startError().toStdString(); }

    SignedIn signIn(const QString& email, const QUuid& installationID, const QString& deviceName) {
        const auto challenge = runTask(account.startEmailChallenge(email, installationID));
        // Read as the sign-in tool reads the service's log.
        const auto printed = service->awaitLine(QStringLiteral("^e-mail code for .*$"));
        const auto code = sign_in::emailCodeInLog(printed ? printed->captured() : QString(), email.toUpper());
        EXPECT_TRUE(code) << email.toStdString();
        const auto session = runTask(account.verifyEmailCode(challenge.challengeID, code.value_or(QString()),
                                                             installationID, deviceName));
        return {session.sessionToken, session.account};
    }

    QCoro::Task<TessaronProfileEnvelope> grantProfile(const SignedIn& signedIn, const QUuid& installationID,
                                                      const QString& deviceName, bool deviceSwap = false) {
        return account.fetchProfile(signedIn.token, signedIn.grantID(), installationID, deviceName,
                                    deviceSwap);
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

    static inline LocalServiceProcess* service = nullptr;

    std::shared_ptr<QtHttpTransport> transport = std::make_shared<QtHttpTransport>(
        QtHttpTransportOptions{.trustedAuthorities = QSslCertificate::fromPath(service->caFile())});
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    TessaronPairingClient pairing{TessaronPairingOrigin(QUrl(service->baseURL())), *transport,
                                  SystemClock::shared(), gate};
    TessaronAccountClient account{QUrl(service->baseURL()), transport, SystemClock::shared(),
                                  [this](int status, const QByteArray& body) {
                                      gate.observe(status, body);
                                  }};
};

TEST_F(LocalServiceTest, APrintedInvitationGivesAGroupWhoseNodesAcceptConnections) {
    // Printed at start-up.
    const auto printed = service->linesMatching(QStringLiteral("^invitation code for Europe .*: (\\S+)$"));
    ASSERT_FALSE(printed.isEmpty());
    const QString code = printed.front().captured(1);
    const QUuid installation = QUuid::createUuid();
    const TessaronRedeemResult redeemed =
        runTask(pairing.redeem(code, QUuid::createUuid(), installation, consentVersion));
    const TessaronRosterResponse roster = runTask(pairing.roster(redeemed.profile.id, installation));
    ASSERT_FALSE(roster.profiles.isEmpty());
    EXPECT_EQ(roster.profiles.front(), redeemed.profile);
    for (const TessaronProfile& node : roster.profiles) {
        QTcpSocket connection;
        connection.connectToHost(node.server, quint16(node.port));
        EXPECT_TRUE(connection.waitForConnected(2000)) << node.name.toStdString();
    }
}

TEST_F(LocalServiceTest, EmailSignInGivesOneActiveGrantAndASecondComputerMustSwapTheSlot) {
    const QString email = QStringLiteral("two-computers@example.com");
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    const SignedIn onFirst = signIn(email, first, QStringLiteral("First laptop"));
    EXPECT_EQ(std::ranges::count_if(onFirst.account.grants, &TessaronAccount::Grant::isActive), 1);
    const TessaronProfile profile =
        runTask(grantProfile(onFirst, first, QStringLiteral("First laptop"))).profile;
    EXPECT_EQ(runTask(pairing.roster(profile.id, first)).profiles.value(0), profile);

    const SignedIn onSecond = signIn(email, second, QStringLiteral("Second laptop"));
    EXPECT_EQ(accountErrorOf(grantProfile(onSecond, second, QStringLiteral("Second laptop"))),
              TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Taken{
                  TessaronDeviceSlot::computer, QStringLiteral("First laptop")}));
    runTask(grantProfile(onSecond, second, QStringLiteral("Second laptop"), true));
    // The computer that lost the slot is signed out.
    EXPECT_EQ(accountErrorOf(account.fetchAccount(onFirst.token)),
              TessaronAccountError(TessaronAccountErrorKind::unauthorized));
}

TEST_F(LocalServiceTest, WebSignInPageRedirectsToTheAppWithCodeAndState) {
    const QUuid installation = QUuid::createUuid();
    const TessaronOAuthStart started =
        runTask(account.startOAuth(TessaronOAuthProvider::google, installation));
    const QUrl authorize(started.authorizeURL);
    EXPECT_EQ(authorize.scheme(), u"https");
    EXPECT_EQ(authorize.port(), service->port());

    const HttpResponse page = fetch(authorize);
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.body.contains("/oauth/complete"));

    QUrlQuery form;
    form.addQueryItem(QStringLiteral("state"), started.state);
    form.addQueryItem(QStringLiteral("email"), QStringLiteral("web@example.com"));
    form.addQueryItem(QStringLiteral("action"), QStringLiteral("continue"));
    const HttpResponse completed = fetch(authorize.resolved(QUrl(QStringLiteral("/oauth/complete"))),
                                         form.toString(QUrl::FullyEncoded).toUtf8());
    const QUrl callback = QUrl::fromEncoded(completed.header("Location"));
    EXPECT_EQ(callback.scheme(), u"tessaron");
    const QUrlQuery query(callback);
    EXPECT_EQ(query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded), started.state);

    const auto session = runTask(account.exchangeOAuthCode(
        query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded), installation, "Desk"));
    EXPECT_EQ(session.account.email, u"web@example.com");
    // The page of a finished sign-in sends the app an error for the same state.
    const QUrl replayed = QUrl::fromEncoded(fetch(authorize).header("Location"));
    EXPECT_EQ(QUrlQuery(replayed).queryItemValue(QStringLiteral("error")), u"invalid_state");
}

} // namespace
} // namespace tessaron::testing
