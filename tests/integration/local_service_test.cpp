// The local service as run.sh starts it, over real HTTPS with the certificates made for the run.
#include "local_service_process.hpp"

#include "account/account_client.hpp"
#include "account/account_test_support.hpp"
#include "platform/qt_http_transport.hpp"
#include "platform/system_clock.hpp"
#include "profiles/access_input.hpp"
#include "profiles/data_usage.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <QUrl>
#include <QUuid>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

namespace tessaron::testing {
namespace {

using PairingFailure = TessaronPairingErrorKind;
using AccountFailure = TessaronAccountErrorKind;

const QString consentVersion = QStringLiteral("tessaron-access-v1");

// The pairing failure a task ends with, or none when it succeeds.
template <typename T> std::optional<PairingFailure> pairingFailureOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
        return std::nullopt;
    } catch (const TessaronPairingError& error) {
        return error.kind();
    }
}

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

    // The code the service printed for this address.
    static QString printedCode(const QString& email) {
        const auto line = service->awaitLine(
            QStringLiteral("^e-mail code for %1: (\\d{6})$").arg(QRegularExpression::escape(email)));
        EXPECT_TRUE(line) << email.toStdString();
        return line ? line->captured(1) : QString();
    }

    SignedIn signIn(const QString& email, const QUuid& installationID, const QString& deviceName) {
        const auto challenge = runTask(account.startEmailChallenge(email, installationID));
        const auto session = runTask(
            account.verifyEmailCode(challenge.challengeID, printedCode(email), installationID, deviceName));
        return {session.sessionToken, session.account};
    }

    QCoro::Task<TessaronProfileEnvelope> grantProfile(const SignedIn& signedIn, const QUuid& installationID,
                                                      const QString& deviceName, bool deviceSwap = false) {
        return account.fetchProfile(signedIn.token, signedIn.grantID(), installationID, deviceName,
                                    deviceSwap);
    }

    static inline LocalServiceProcess* service = nullptr;
    static inline const QUuid europeInstallation = QUuid::createUuid();

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

TEST_F(LocalServiceTest, RedeemAnswersEveryCaseOfTheInvitationTable) {
    const QString americas = invitationCode(QStringLiteral("^invitation code for Americas .*: (\\S+)$"));
    const QString usedUp =
        invitationCode(QStringLiteral("^invitation code already used elsewhere .*: (\\S+)$"));
    const QString europe = invitationCode(QStringLiteral("^invitation code for Europe .*: (\\S+)$"));
    // What it prints must pass the app's own rule for a pasted code.
    for (const QString& code : {americas, usedUp, europe})
        EXPECT_EQ(TessaronAccessInput::parse(code), TessaronAccessInput::invitationToken(code));

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
        ASSERT_TRUE(response.health.contains(profile.id) && response.geo.contains(profile.id));
        paused += response.health[profile.id].paused;
        busy += response.health[profile.id].busy;
    }
    EXPECT_EQ(paused, 1);
    EXPECT_EQ(busy, 1);
    ASSERT_TRUE(response.usage);
    EXPECT_EQ(response.usage->level(), TessaronDataUsage::Level::warning);

    // A managed profile answers for its whole group.
    EXPECT_EQ(runTask(roster(response.profiles.back().id)).profiles, response.profiles);

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
    const auto challenge =
        runTask(account.startEmailChallenge(QStringLiteral("  Code-Sign-In@Example.com "), installation));
    const QString code = printedCode(email);
    const QString wrongCode = code == u"000000" ? QStringLiteral("000001") : QStringLiteral("000000");
    EXPECT_EQ(accountErrorOf(account.verifyEmailCode(challenge.challengeID, wrongCode, installation, "Desk")),
              TessaronAccountError::invalidCode(4));

    const auto session = runTask(account.verifyEmailCode(challenge.challengeID, code, installation, "Desk"));
    EXPECT_EQ(session.account.email, email);
    EXPECT_EQ(std::count_if(session.account.grants.begin(), session.account.grants.end(),
                            [](const TessaronAccount::Grant& grant) { return grant.isActive(); }),
              1);
    EXPECT_EQ(runTask(account.fetchAccount(session.sessionToken)), session.account);

    // The grant's profile validates, and its roster is served too, so the app can show the grant's nodes.
    const SignedIn signedIn{session.sessionToken, session.account};
    const TessaronProfile profile = runTask(grantProfile(signedIn, installation, "Desk")).profile;
    EXPECT_EQ(runTask(roster(profile.id)).profiles.front(), profile);
    const QString retired = session.account.grants.front().id;
    ASSERT_NE(retired, signedIn.grantID());
    EXPECT_EQ(accountErrorOf(account.fetchProfile(signedIn.token, retired, installation, "Desk", false)),
              TessaronAccountError(AccountFailure::grantNotActive));
}

TEST_F(LocalServiceTest, ASecondComputerMustSwapTheSlotAndThenWaits) {
    const QString email = QStringLiteral("two-computers@example.com");
    const QUuid first = QUuid::createUuid();
    const QUuid second = QUuid::createUuid();
    const SignedIn onFirst = signIn(email, first, QStringLiteral("First laptop"));
    runTask(grantProfile(onFirst, first, QStringLiteral("First laptop")));

    const SignedIn onSecond = signIn(email, second, QStringLiteral("Second laptop"));
    EXPECT_EQ(accountErrorOf(grantProfile(onSecond, second, QStringLiteral("Second laptop"))),
              TessaronAccountError::deviceSlot(TessaronDeviceSlotError::Taken{
                  TessaronDeviceSlot::computer, QStringLiteral("First laptop")}));
    runTask(grantProfile(onSecond, second, QStringLiteral("Second laptop"), true));
    // The computer that lost the slot is signed out.
    EXPECT_EQ(accountErrorOf(account.fetchAccount(onFirst.token)),
              TessaronAccountError(AccountFailure::unauthorized));

    const SignedIn backOnFirst = signIn(email, first, QStringLiteral("First laptop"));
    const auto locked =
        accountErrorOf(grantProfile(backOnFirst, first, QStringLiteral("First laptop"), true));
    const auto slotError = locked ? locked->deviceSlotError() : std::nullopt;
    ASSERT_TRUE(slotError && slotError->locked());
    const auto& refusal = *slotError->locked();
    EXPECT_EQ(refusal.slot, TessaronDeviceSlot::computer);
    ASSERT_TRUE(refusal.nextSwapAt);
    EXPECT_GT(*refusal.nextSwapAt, QDateTime::currentDateTimeUtc().addDays(29));
}

} // namespace
} // namespace tessaron::testing
