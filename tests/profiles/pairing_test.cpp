#include "profile_samples.hpp"
#include "profiles/build_label.hpp"
#include "profiles/pairing_client.hpp"
#include "profiles/pairing_error.hpp"
#include "profiles/upgrade_gate.hpp"
#include "support/fake_http_transport.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"
#include "support/run_task.hpp"
#include "support/stalled_http_transport.hpp"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace tessaron::testing {
namespace {

using Kind = TessaronPairingErrorKind;
using enum TessaronPairingErrorKind;

// The pairing failure a call ends with; none when it succeeds.
std::optional<Kind> failureOf(const std::function<void()>& call) {
    try {
        call();
        return std::nullopt;
    } catch (const TessaronPairingError& error) {
        return error.kind();
    }
}

template <typename T> std::optional<Kind> failureOf(QCoro::Task<T> task) {
    return failureOf([&] { runTask(std::move(task)); });
}

const QUuid installationID = QUuid::fromString(u"{C0FFEE00-1234-4ABC-8DEF-0123456789AB}");
const QString code = QStringLiteral("Zk3_q-9aPmR2xW8vYt4LnB6cHd1JfG0s");

QByteArray redeemReply() {
    return bytesOf({{"profile", tlsProfileObject()}, {"profiles", QJsonArray{realityProfileObject()}}});
}

QByteArray errorBody(const char* error) {
    return bytesOf({{"error", error}});
}

QUrl url(const char* text) {
    return QUrl(QString::fromUtf8(text));
}

// A bundle holding the keys whose values are valid.
BundleInfo infoWith(std::initializer_list<std::pair<const char*, QVariant>> keys) {
    QVariantMap map;
    for (const auto& [key, value] : keys)
        if (value.isValid())
            map.insert(QString::fromLatin1(key), value);
    return BundleInfo(map, {});
}

TEST(BuildLabelTest, FiltersEachPartAndFallsBackWhenNothingUsableRemains) {
    const std::tuple<QVariant, QVariant, const char*> cases[] = {
        {QStringLiteral("1.4.2"), QStringLiteral("317"), "macos-direct/1.4.2/317"},
        {{}, {}, "macos-direct/0.0.0/0"},
        {QStringLiteral("1.4 beta\n"), QStringLiteral("3 17"), "macos-direct/1.4beta/317"},
        {QStringLiteral("  "), QStringLiteral("é€"), "macos-direct/0.0.0/0"},
        {QStringLiteral("2.0-rc/1"), 42, "macos-direct/2.0-rc/1/0"},
    };
    for (const auto& [version, build, expected] : cases)
        EXPECT_EQ(
            clientBuildLabel(infoWith({{"CFBundleShortVersionString", version}, {"CFBundleVersion", build}})),
            expected)
            << version.toString().toStdString();
}

class PairingClientTest : public ::testing::Test {
protected:
    QCoro::Task<TessaronRedeemResult> redeem(CancellationToken cancellation = {}) {
        return redeemAt(client, std::move(cancellation));
    }
    static QCoro::Task<TessaronRedeemResult> redeemAt(const TessaronPairingClient& from,
                                                      CancellationToken cancellation = {}) {
        return from.redeem(code, QUuid::fromString(u"{5B0E7C59-2E3A-4B7D-9C1E-8F2A3B4C5D6E}"), installationID,
                           QStringLiteral("tessaron-access-v1"), std::move(cancellation));
    }
    QCoro::Task<TessaronRosterResponse> roster() {
        return client.roster(QUuid::fromString(tlsID), installationID);
    }

    MemoryPreferences preferences;
    TessaronServerUpgradeGate gate{preferences};
    FakeHttpTransport transport;
    ManualClock clock;
    TessaronPairingClient client{
        TessaronPairingOrigin(url("https://Pairing.Example.NET:8443/base/path?q=1#f")), transport, clock,
        gate, BundleInfo({{"CFBundleShortVersionString", "2.3.1"}, {"CFBundleVersion", "77"}}, {})};
};

TEST(PairingOriginTest, KeepsOnlyTheHostAndPortOfAnHttpsBase) {
    EXPECT_EQ(
        TessaronPairingOrigin(url("https://[2001:db8::1]:9443/x")).url(TessaronPairingClient::redeemPath),
        url("https://[2001:db8::1]:9443/v1/redeem"));
    for (const char* base : {"pairing.example.net", "http://pairing.example.net", "https:///path",
                             "https://user@pairing.example.net", "https://pairing.example.net:0",
                             "https://pairing.example.net:65536"})
        EXPECT_EQ(failureOf([&] { TessaronPairingOrigin{url(base)}; }), invalidBaseURL) << base;
}

TEST_F(PairingClientTest, PostsExactlyTheseRequestsAndOnlyA426ReachesTheGate) {
    const auto upgrade = bytesOf({{"error", "upgrade_required"}, {"minimumBuild", 90}});
    transport.enqueue(426, upgrade);
    EXPECT_EQ(failureOf(redeem()), upgradeRequired);
    EXPECT_EQ(gate.requirement(), (TessaronUpgradeRequirement{90, {}, std::nullopt}));

    // A pairing success is not the account service's verdict: the requirement stays.
    transport.enqueue(200, redeemReply());
    EXPECT_EQ(runTask(redeem()).profile.id, QUuid::fromString(tlsID));
    transport.enqueue(200, bytesOf(rosterObject()));
    EXPECT_EQ(runTask(roster()).profiles.size(), 2);
    EXPECT_TRUE(gate.requirement().has_value());

    ASSERT_EQ(transport.requests().size(), 3);
    const auto& request = transport.requests()[1];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.url, url("https://pairing.example.net:8443/v1/redeem"));
    EXPECT_EQ(request.headers, (HttpHeaders{{"Content-Type", "application/json"},
                                            {"Accept", "application/json"},
                                            {"X-Tessaron-Client", "macos-direct/2.3.1/77"}}));
    EXPECT_EQ(request.body, "{\"code\":\"Zk3_q-9aPmR2xW8vYt4LnB6cHd1JfG0s\","
                            "\"consentVersion\":\"tessaron-access-v1\","
                            "\"installationID\":\"c0ffee00-1234-4abc-8def-0123456789ab\","
                            "\"redemptionID\":\"5b0e7c59-2e3a-4b7d-9c1e-8f2a3b4c5d6e\"}");
    EXPECT_EQ(request.timeout, std::chrono::seconds(15));
    EXPECT_EQ(transport.requests().last().url, url("https://pairing.example.net:8443/v1/profiles"));
    EXPECT_EQ(transport.requests().last().body,
              "{\"installationID\":\"c0ffee00-1234-4abc-8def-0123456789ab\","
              "\"profileID\":\"6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c\"}");

    // Nor is a 426 the client could not read in full.
    gate.observe(200, std::nullopt);
    transport.enqueue(426, upgrade + QByteArray(65'536, ' '));
    EXPECT_EQ(failureOf(roster()), invalidResponse);
    EXPECT_FALSE(gate.requirement().has_value());
}

TEST_F(PairingClientTest, MapsFailedStatusesAndUndecodableSuccessesByEndpoint) {
    const std::tuple<int, QByteArray, Kind, Kind> cases[] = {
        {400, errorBody("invalid_consent"), invalidConsent, invalidConsent},
        {403, errorBody("invalid_consent"), invalidConsent, invalidConsent},
        {400, errorBody("invalid_code"), invitationUnavailable, unexpectedStatus},
        {403, QByteArray("invalid_consent"), invitationUnavailable, unexpectedStatus},
        {404, errorBody("invalid_consent"), invitationUnavailable, profileUnknown},
        {410, errorBody("expired"), invitationUnavailable, profileUnknown},
        {429, {}, rateLimited, rateLimited},
        {500, {}, serviceUnavailable, serviceUnavailable},
        {504, {}, serviceUnavailable, serviceUnavailable},
        {501, {}, unexpectedStatus, unexpectedStatus},
        {302, redeemReply(), unexpectedStatus, unexpectedStatus},
        {600, redeemReply(), invalidResponse, invalidResponse},
        // A success that does not decode fails as a whole.
        {200,
         bytesOf({{"profile", tlsProfileObject()},
                  {"profiles", QJsonArray{with(tlsProfileObject(), "id", "x")}}}),
         invalidResponse, invalidResponse},
        {200, bytesOf(with(rosterObject(), "health", QJsonObject{{"not-a-uuid", healthObject()}})),
         invalidResponse, invalidResponse},
    };
    for (const auto& [status, body, onRedeem, onRoster] : cases) {
        transport.enqueue(status, body);
        EXPECT_EQ(failureOf(redeem()), onRedeem) << "redeem " << status << " " << body.constData();
        transport.enqueue(status, body);
        EXPECT_EQ(failureOf(roster()), onRoster) << "roster " << status << " " << body.constData();
    }
}

TEST_F(PairingClientTest, MapsTransportFailuresCancellationAndTheEndOfTheExchange) {
    const std::pair<HttpOutcome, Kind> cases[] = {
        {HttpFailure{HttpFailure::Kind::timedOut, {}}, timedOut},
        {HttpFailure{HttpFailure::Kind::transport, {}}, transportFailure},
        {HttpFailure{HttpFailure::Kind::tooLarge, {}}, invalidResponse},
        {HttpResponse{.status = 200, .headers = {}, .body = redeemReply(), .truncated = true},
         invalidResponse},
    };
    for (const auto& [outcome, expected] : cases) {
        transport.enqueue(outcome);
        EXPECT_EQ(failureOf(redeem()), expected);
    }
    CancellationSource source;
    source.cancel();
    transport.enqueue(200, redeemReply());
    EXPECT_EQ(failureOf(redeem(source.token())), cancelled);
    // A cancelled redemption and a roster of an unknown profile say nothing to the user.
    for (const Kind kind : {cancelled, profileUnknown, timedOut})
        EXPECT_EQ(TessaronPairingError(kind).userMessage().has_value(), kind == timedOut);
    // Users quote the code from the failure message, so the last case keeps its number.
    EXPECT_EQ(TessaronPairingError(profileUnknown).code(), 13);

    // The whole exchange ends after 15 seconds on the clock, however slowly the reply trickles in.
    StalledHttpTransport trickling(clock);
    const TessaronPairingClient slow(client.origin(), trickling, clock, gate);
    auto redemption = redeemAt(slow);
    clock.advance(std::chrono::milliseconds(14'999));
    EXPECT_FALSE(redemption.isReady());
    clock.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(failureOf(std::move(redemption)), timedOut);
}

// A reply past the cap fails like any unreadable reply, but only it carries the mark that tells the person
// why servers are missing, whichever way the transport stopped it.
TEST_F(PairingClientTest, AReplyPastTheCapIsAnInvalidResponseMarkedTooLarge) {
    const auto cap = TessaronPairingClient::maximumReplyBytes;
    const auto padded = [](qsizetype size) {
        auto body = bytesOf(rosterObject());
        return body + QByteArray(size - body.size(), ' ');
    };
    // What the transport gives; the failure and its mark (none: the roster is read).
    const std::tuple<const char*, HttpOutcome, std::optional<std::pair<Kind, bool>>> cases[] = {
        {"a roster at the cap", HttpResponse{200, {}, padded(cap), false}, std::nullopt},
        {"a roster a byte past the cap", HttpResponse{200, {}, padded(cap + 1), false},
         std::pair(invalidResponse, true)},
        {"a reply the transport cut", HttpResponse{200, {}, padded(cap), true},
         std::pair(invalidResponse, true)},
        {"a reply that does not decode", HttpResponse{200, {}, "{", false},
         std::pair(invalidResponse, false)},
        {"a reply that never ended", HttpFailure{HttpFailure::Kind::timedOut, {}},
         std::pair(timedOut, false)},
    };
    for (const auto& [name, outcome, expected] : cases) {
        SCOPED_TRACE(name);
        transport.enqueue(outcome);
        std::optional<std::pair<Kind, bool>> failure;
        try {
            runTask(roster());
        } catch (const TessaronPairingError& error) {
            failure = std::pair(error.kind(), error.isReplyTooLarge());
        }
        EXPECT_EQ(failure, expected);
    }
}

const QString key = TessaronServerUpgradeGate::storageKey;

QByteArray upgradeBody(QJsonObject fields) {
    fields.insert(QStringLiteral("error"), QStringLiteral("upgrade_required"));
    return bytesOf(fields);
}

class UpgradeGateTest : public ::testing::Test {
protected:
    MemoryPreferences preferences;
    QObject context;
};

TEST_F(UpgradeGateTest, ReadsA426LenientlyStoresItAndDropsAnUndecodableStoredValueOnSuccess) {
    const QUrl page(QStringLiteral("https://tessaron.test/update?from=1.0"));
    const TessaronUpgradeRequirement bare{0, {}, std::nullopt};
    const std::tuple<const char*, QJsonObject, TessaronUpgradeRequirement> cases[] = {
        {"complete",
         {{"minimumBuild", 120}, {"minimumVersion", "2.1.0"}, {"page", page.toString()}},
         {120, QStringLiteral("2.1.0"), page}},
        {"build with a fraction", {{"minimumBuild", 1.5}}, bare},
        {"build beyond 64 bits", {{"minimumBuild", 1e30}}, bare},
        {"version of another type", {{"minimumVersion", 3}}, bare},
        {"plain http page", {{"page", "http://tessaron.test/update"}}, bare},
        {"upper-case scheme",
         {{"page", "HTTPS://tessaron.test/u"}},
         {0, {}, QUrl("https://tessaron.test/u")}},
    };
    for (const auto& [name, fields, expected] : cases) {
        TessaronServerUpgradeGate gate(preferences);
        gate.observe(426, upgradeBody(fields));
        EXPECT_EQ(gate.requirement(), expected) << name;
        EXPECT_EQ(TessaronServerUpgradeGate(preferences).requirement(), expected) << name << ": stored";
        preferences.remove(key);
    }

    // A stored value that does not decode leaves no requirement until a success removes it.
    const QVariant values[] = {
        QByteArray("[]"),
        bytesOf({{"minimumBuild", 1.25}, {"minimumVersion", "1.0"}}),
        bytesOf({{"minimumBuild", 1}, {"minimumVersion", "1.0"}, {"page", "ftp://x.test/"}}),
        // The right JSON, but as text rather than bytes.
        QStringLiteral(R"({"minimumBuild":1,"minimumVersion":"1.0"})"),
    };
    for (const auto& value : values) {
        preferences.setValue(key, value);
        TessaronServerUpgradeGate gate(preferences);
        EXPECT_EQ(gate.requirement(), std::nullopt) << value.toString().toStdString();
        EXPECT_EQ(preferences.value(key), tessaron::Preferences::normalized(value)) << "left in place";
        gate.observe(200, QByteArray("{}"));
        EXPECT_FALSE(preferences.keys().contains(key));
    }
}

// Only a 426 that says "upgrade_required" sets a requirement; only a success clears it, announcing once.
TEST_F(UpgradeGateTest, OnlyAnUpgradeReplySetsTheRequirementAndOnlyASuccessClearsIt) {
    const TessaronUpgradeRequirement stored{40, "1.9", QUrl("https://x.test/a")};
    preferences.setValue(key, bytesOf(stored.toJson()));
    TessaronServerUpgradeGate gate(preferences);
    QList<OptionalUpgradeRequirement> announced;
    gate.subscribe(&context, [&](const OptionalUpgradeRequirement& value) { announced.append(value); });

    for (const auto& body :
         {QByteArray(), QByteArray("upgrade_required"), QByteArray(R"({"error":"UPGRADE_REQUIRED"})")})
        gate.observe(426, body.isNull() ? std::nullopt : std::optional(body));
    for (const int status : {199, 300, 425})
        gate.observe(status, upgradeBody({}));
    const auto newer = upgradeBody({{"minimumBuild", 41}});
    gate.observe(426, newer);
    gate.observe(426, newer);
    gate.observe(299, std::nullopt);
    gate.observe(204, std::nullopt);
    // The current value comes first.
    EXPECT_EQ(announced, (QList<OptionalUpgradeRequirement>{
                             stored, TessaronUpgradeRequirement{41, {}, std::nullopt}, std::nullopt}));
    EXPECT_FALSE(preferences.keys().contains(key));
}

// A subscription ends with its context.
TEST_F(UpgradeGateTest, ReportsFromAWorkerThreadAreObservedOnTheGatesThreadBySubscribersAlive) {
    TessaronServerUpgradeGate gate(preferences);
    QThread* observedOn = nullptr;
    gate.subscribe(&context,
                   [&](const OptionalUpgradeRequirement&) { observedOn = QThread::currentThread(); });
    int ended = 0;
    {
        QObject gone;
        gate.subscribe(&gone, [&](const OptionalUpgradeRequirement&) { ++ended; });
    }
    observedOn = nullptr;

    std::thread worker([&] { gate.report(426, upgradeBody({{"minimumBuild", 9}})); });
    worker.join();
    EXPECT_EQ(gate.requirement(), std::nullopt) << "observed before the main thread ran";
    QCoreApplication::sendPostedEvents(&gate);
    ASSERT_TRUE(gate.requirement().has_value());
    EXPECT_EQ(gate.requirement()->minimumBuild, 9);
    EXPECT_EQ(observedOn, QThread::currentThread());
    EXPECT_EQ(ended, 1) << "only the current value, at subscription";

    // On the gate's own thread a report is observed at once.
    gate.report(426, upgradeBody({{"minimumBuild", 5}}));
    EXPECT_EQ(gate.requirement()->minimumBuild, 5);
}

} // namespace
} // namespace tessaron::testing
