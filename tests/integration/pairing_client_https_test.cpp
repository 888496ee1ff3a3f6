#include "platform/qt_http_transport.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/profile_samples.hpp"
#include "support/https_test_server.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <atomic>

namespace tessaron::testing {
namespace {

using Kind = TessaronPairingErrorKind;
using Reply = HttpsTestServer::Reply;

const QUuid redemptionID = QUuid::fromString(u"{5B0E7C59-2E3A-4B7D-9C1E-8F2A3B4C5D6E}");
const QUuid installationID = QUuid::fromString(u"{C0FFEE00-1234-4ABC-8DEF-0123456789AB}");
const QString code = QStringLiteral("Zk3_q-9aPmR2xW8vYt4LnB6cHd1JfG0s");

QByteArray redeemReply() {
    return bytesOf({{"profile", tlsProfileObject()}});
}

Reply json(int status, QByteArray body) {
    return Reply{
        .status = status, .headers = {{"Content-Type", "application/json"}}, .body = std::move(body)};
}

template <typename T> std::optional<Kind> failureOf(QCoro::Task<T> task) {
    try {
        runTask(std::move(task));
        return std::nullopt;
    } catch (const TessaronPairingError& error) {
        return error.kind();
    }
}

// The pairing client over the real transport, against a local HTTPS service.
class PairingClientHttpsTest : public ::testing::Test {
protected:
    QCoro::Task<TessaronRedeemResult> redeem(const TessaronPairingClient& client) {
        return client.redeem(code, redemptionID, installationID, QStringLiteral("tessaron-access-v1"));
    }
    QCoro::Task<TessaronRedeemResult> redeem() { return redeem(client); }
    QCoro::Task<TessaronRosterResponse> roster() {
        return client.roster(QUuid::fromString(tlsID), installationID);
    }

    HttpsTestServer server;
    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    QtHttpTransport transport{{.trustedAuthorities = server.caCertificates()}};
    TessaronPairingClient client{TessaronPairingOrigin(server.url(QStringLiteral("/ignored/base"))),
                                 transport, gate};
};

TEST_F(PairingClientHttpsTest, RedeemsAnInvitation) {
    server.on("POST", "/v1/redeem", [](const auto&) { return json(200, redeemReply()); });

    const auto result = runTask(redeem());

    EXPECT_EQ(result.profile.id, QUuid::fromString(tlsID));
    ASSERT_EQ(server.requests().size(), 1);
    const auto& received = server.requests().front();
    EXPECT_EQ(received.header("Content-Type"), "application/json");
    EXPECT_EQ(received.header("Accept"), "application/json");
    EXPECT_TRUE(received.header("X-Tessaron-Client").startsWith("macos-direct/"));
    const auto body = QJsonDocument::fromJson(received.body).object();
    EXPECT_EQ(body.value("code").toString(), code);
    EXPECT_EQ(body.value("redemptionID").toString(), u"5b0e7c59-2e3a-4b7d-9c1e-8f2a3b4c5d6e");
    EXPECT_EQ(body.value("installationID").toString(), u"c0ffee00-1234-4abc-8def-0123456789ab");
    EXPECT_EQ(body.value("consentVersion").toString(), u"tessaron-access-v1");
}

TEST_F(PairingClientHttpsTest, PullsARoster) {
    server.on("POST", "/v1/profiles", [](const auto&) { return json(200, bytesOf(rosterObject())); });

    const auto roster = runTask(this->roster());

    EXPECT_EQ(roster.profiles.size(), 2);
    EXPECT_TRUE(roster.usage.has_value());
    const auto body = QJsonDocument::fromJson(server.requests().front().body).object();
    EXPECT_EQ(body.value("profileID").toString(), tlsID);
    EXPECT_EQ(body.value("installationID").toString(), u"c0ffee00-1234-4abc-8def-0123456789ab");
}

TEST_F(PairingClientHttpsTest, MapsEveryFailedStatusOfBothEndpoints) {
    struct Case {
        int status;
        QByteArray body;
        Kind redeem;
        Kind roster;
    };
    const auto error = [](const char* text) {
        return bytesOf({{"error", text}});
    };
    const Case cases[] = {
        {400, error("invalid_consent"), Kind::invalidConsent, Kind::invalidConsent},
        {403, error("invalid_consent"), Kind::invalidConsent, Kind::invalidConsent},
        {400, error("invalid_code"), Kind::invitationUnavailable, Kind::unexpectedStatus},
        {403, {}, Kind::invitationUnavailable, Kind::unexpectedStatus},
        {404, {}, Kind::invitationUnavailable, Kind::profileUnknown},
        {409, error("already_redeemed"), Kind::invitationUnavailable, Kind::unexpectedStatus},
        {410, {}, Kind::invitationUnavailable, Kind::profileUnknown},
        {426, error("upgrade_required"), Kind::upgradeRequired, Kind::upgradeRequired},
        {429, {}, Kind::rateLimited, Kind::rateLimited},
        {500, {}, Kind::serviceUnavailable, Kind::serviceUnavailable},
        {502, {}, Kind::serviceUnavailable, Kind::serviceUnavailable},
        {503, {}, Kind::serviceUnavailable, Kind::serviceUnavailable},
        {504, {}, Kind::serviceUnavailable, Kind::serviceUnavailable},
        {401, {}, Kind::unexpectedStatus, Kind::unexpectedStatus},
        {418, {}, Kind::unexpectedStatus, Kind::unexpectedStatus},
        {501, {}, Kind::unexpectedStatus, Kind::unexpectedStatus},
    };
    std::atomic<std::size_t> current = 0;
    const auto reply = [&](const auto&) {
        return json(cases[current].status, cases[current].body);
    };
    server.on("POST", "/v1/redeem", reply);
    server.on("POST", "/v1/profiles", reply);

    for (std::size_t index = 0; index < std::size(cases); ++index) {
        current = index;
        const auto& c = cases[index];
        EXPECT_EQ(failureOf(redeem()), c.redeem) << "redeem " << c.status;
        EXPECT_EQ(failureOf(roster()), c.roster) << "roster " << c.status;
    }
    EXPECT_TRUE(gate.requirement().has_value()) << "the 426 reached the gate";
}

TEST_F(PairingClientHttpsTest, ReadsRepliesUpToTheCapAndNoFurther) {
    std::atomic<qsizetype> size = 0;
    server.on("POST", "/v1/redeem", [&](const auto&) {
        auto body = redeemReply();
        body.append(QByteArray(size - body.size(), ' '));
        return json(200, body);
    });

    size = 65'536;
    EXPECT_EQ(failureOf(redeem()), std::nullopt);
    size = 65'537;
    EXPECT_EQ(failureOf(redeem()), Kind::invalidResponse);
}

TEST_F(PairingClientHttpsTest, DoesNotFollowARedirect) {
    server.on("POST", "/v1/redeem", [&](const auto&) {
        return Reply{.status = 307,
                     .headers = {{"Location", server.url(QStringLiteral("/v1/moved")).toEncoded()}}};
    });
    server.on("POST", "/v1/moved", [](const auto&) { return json(200, redeemReply()); });

    EXPECT_EQ(failureOf(redeem()), Kind::unexpectedStatus);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().front().path, "/v1/redeem");
}

TEST_F(PairingClientHttpsTest, GivesUpOnAStalledReplyAfterItsTimeOut) {
    server.on("POST", "/v1/redeem", [](const auto&) { return HttpsTestServer::silence(); });
    // Fifteen seconds of stall, compressed to fifteen milliseconds.
    QtHttpTransport impatient{{.trustedAuthorities = server.caCertificates(), .timeoutDivisor = 1000}};
    const TessaronPairingClient client(TessaronPairingOrigin(server.baseUrl()), impatient, gate);

    EXPECT_EQ(failureOf(redeem(client)), Kind::timedOut);
}

} // namespace
} // namespace tessaron::testing
