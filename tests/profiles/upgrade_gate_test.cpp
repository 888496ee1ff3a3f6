#include "profiles/upgrade_gate.hpp"

#include "support/memory_preferences.hpp"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

using tessaron::OptionalUpgradeRequirement;
using tessaron::TessaronServerUpgradeGate;
using tessaron::TessaronUpgradeRequirement;
using tessaron::testing::MemoryPreferences;

namespace {

const QString key = TessaronServerUpgradeGate::storageKey;

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray upgradeBody(QJsonObject fields) {
    fields.insert(QStringLiteral("error"), QStringLiteral("upgrade_required"));
    return json(fields);
}

const TessaronUpgradeRequirement stored{.minimumBuild = 40,
                                        .minimumVersion = QStringLiteral("1.9"),
                                        .page = QUrl(QStringLiteral("https://x.test/a"))};

class UpgradeGateTest : public ::testing::Test {
protected:
    // A gate that starts out holding `stored`.
    std::unique_ptr<TessaronServerUpgradeGate> gateHoldingRequirement() {
        preferences.setValue(key, json(stored.toJson()));
        auto gate = std::make_unique<TessaronServerUpgradeGate>(preferences);
        EXPECT_EQ(gate->requirement(), stored);
        return gate;
    }

    MemoryPreferences preferences;
};

TEST_F(UpgradeGateTest, ReadsTheRequirementOfA426Leniently) {
    struct Case {
        const char* name;
        QJsonObject fields;
        TessaronUpgradeRequirement expected;
    };
    const QUrl page(QStringLiteral("https://tessaron.test/update?from=1.0"));
    const Case cases[] = {
        {"complete",
         {{"minimumBuild", 120}, {"minimumVersion", "2.1.0"}, {"page", page.toString()}},
         {120, QStringLiteral("2.1.0"), page}},
        {"nothing but the error", {}, {0, {}, std::nullopt}},
        {"build as text", {{"minimumBuild", "120"}}, {0, {}, std::nullopt}},
        {"build with a fraction", {{"minimumBuild", 1.5}}, {0, {}, std::nullopt}},
        {"build beyond 64 bits", {{"minimumBuild", 1e30}}, {0, {}, std::nullopt}},
        {"version of another type", {{"minimumVersion", 3}}, {0, {}, std::nullopt}},
        {"plain http page", {{"page", "http://tessaron.test/update"}}, {0, {}, std::nullopt}},
        {"relative page", {{"page", "/update"}}, {0, {}, std::nullopt}},
        {"page of another type", {{"page", 7}}, {0, {}, std::nullopt}},
        {"upper-case scheme",
         {{"page", "HTTPS://tessaron.test/u"}},
         {0, {}, QUrl(QStringLiteral("https://tessaron.test/u"))}},
        {"non-ASCII path",
         {{"page", QStringLiteral("https://tessaron.test/\u00fcber")}},
         {0, {}, QUrl(QStringLiteral("https://tessaron.test/\u00fcber"))}},
    };
    for (const auto& c : cases) {
        TessaronServerUpgradeGate gate(preferences);
        gate.observe(426, upgradeBody(c.fields));
        EXPECT_EQ(gate.requirement(), c.expected) << c.name;
        const auto restored = TessaronServerUpgradeGate(preferences).requirement();
        EXPECT_EQ(restored, c.expected) << c.name << ": stored copy";
        preferences.remove(key);
    }
}

TEST_F(UpgradeGateTest, IgnoresA426WithoutAnUpgradeBodyAndEveryOtherFailure) {
    struct Case {
        const char* name;
        int status;
        std::optional<QByteArray> body;
    };
    const Case cases[] = {
        {"426 without a body", 426, std::nullopt},
        {"426 with an empty body", 426, QByteArray()},
        {"426 with text", 426, QByteArray("upgrade_required")},
        {"426 with an array", 426, QByteArray(R"(["upgrade_required"])")},
        {"426 with another error", 426, QByteArray(R"({"error":"rate_limited","minimumBuild":99})")},
        {"426 with the error in another case", 426, QByteArray(R"({"error":"UPGRADE_REQUIRED"})")},
        {"426 with a non-text error", 426, QByteArray(R"({"error":1})")},
        {"199", 199, upgradeBody({})},
        {"300", 300, upgradeBody({})},
        {"401", 401, upgradeBody({})},
        {"425", 425, upgradeBody({})},
        {"500", 500, upgradeBody({})},
    };
    for (const auto& c : cases) {
        auto gate = gateHoldingRequirement();
        QSignalSpy changes(gate.get(), &TessaronServerUpgradeGate::requirementChanged);
        gate->observe(c.status, c.body);
        EXPECT_EQ(gate->requirement(), stored) << c.name;
        EXPECT_EQ(changes.count(), 0) << c.name;
        EXPECT_EQ(TessaronServerUpgradeGate(preferences).requirement(), stored) << c.name;
    }
}

TEST_F(UpgradeGateTest, AnySuccessClearsTheRequirementAndItsStoredCopy) {
    for (const int status : {200, 204, 299}) {
        auto gate = gateHoldingRequirement();
        QSignalSpy changes(gate.get(), &TessaronServerUpgradeGate::requirementChanged);
        gate->observe(status, std::nullopt);
        EXPECT_EQ(gate->requirement(), std::nullopt) << status;
        EXPECT_FALSE(preferences.keys().contains(key)) << status;
        ASSERT_EQ(changes.count(), 1) << status;
        EXPECT_EQ(changes[0][0].value<OptionalUpgradeRequirement>(), std::nullopt);
    }
}

TEST_F(UpgradeGateTest, ASuccessAlsoRemovesAStoredValueThatDidNotDecode) {
    preferences.setValue(key, QByteArray("{broken"));
    TessaronServerUpgradeGate gate(preferences);
    gate.observe(200, QByteArray("{}"));
    EXPECT_FALSE(preferences.keys().contains(key));
}

TEST_F(UpgradeGateTest, AStoredValueThatDoesNotDecodeLeavesNoRequirementAndStaysStored) {
    const QVariant values[] = {
        QByteArray("not json"),
        QByteArray("[]"),
        json({{"minimumVersion", "1.0"}}),
        json({{"minimumBuild", 1}}),
        json({{"minimumBuild", 1.25}, {"minimumVersion", "1.0"}}),
        json({{"minimumBuild", 1}, {"minimumVersion", "1.0"}, {"page", "ftp://x.test/"}}),
        // The right JSON, but as text rather than bytes.
        QString::fromUtf8(json(stored.toJson())),
    };
    for (const auto& value : values) {
        preferences.setValue(key, value);
        TessaronServerUpgradeGate gate(preferences);
        EXPECT_EQ(gate.requirement(), std::nullopt) << value.toString().toStdString();
        EXPECT_EQ(preferences.value(key), tessaron::Preferences::normalized(value)) << "left in place";
    }
}

TEST_F(UpgradeGateTest, SubscribersGetTheCurrentValueFirstThenOnlyChanges) {
    auto gate = gateHoldingRequirement();
    QObject context;
    QList<OptionalUpgradeRequirement> seen;
    gate->subscribe(&context, [&](const OptionalUpgradeRequirement& value) { seen.append(value); });
    ASSERT_EQ(seen, QList<OptionalUpgradeRequirement>{stored});

    const auto newer = upgradeBody({{"minimumBuild", 41}, {"minimumVersion", "2.0"}});
    gate->observe(426, newer);
    gate->observe(426, newer);
    gate->observe(204, std::nullopt);
    gate->observe(200, std::nullopt);

    const TessaronUpgradeRequirement expected{41, QStringLiteral("2.0"), std::nullopt};
    EXPECT_EQ(seen, (QList<OptionalUpgradeRequirement>{stored, expected, std::nullopt}));
}

TEST_F(UpgradeGateTest, ASubscriptionEndsWithItsContext) {
    TessaronServerUpgradeGate gate(preferences);
    int calls = 0;
    {
        QObject context;
        gate.subscribe(&context, [&](const OptionalUpgradeRequirement&) { ++calls; });
    }
    gate.observe(426, upgradeBody({{"minimumBuild", 3}}));
    EXPECT_EQ(calls, 1);
}

TEST_F(UpgradeGateTest, ReportsFromAWorkerThreadAreObservedOnTheGatesThread) {
    TessaronServerUpgradeGate gate(preferences);
    QThread* observedOn = nullptr;
    QObject context;
    gate.subscribe(&context,
                   [&](const OptionalUpgradeRequirement&) { observedOn = QThread::currentThread(); });
    observedOn = nullptr;

    std::thread worker([&] { gate.report(426, upgradeBody({{"minimumBuild", 9}})); });
    worker.join();
    EXPECT_EQ(gate.requirement(), std::nullopt) << "observed before the main thread ran";

    QCoreApplication::sendPostedEvents(&gate);
    ASSERT_TRUE(gate.requirement().has_value());
    EXPECT_EQ(gate.requirement()->minimumBuild, 9);
    EXPECT_EQ(observedOn, QThread::currentThread());
}

TEST_F(UpgradeGateTest, AReportOnTheGatesThreadIsObservedAtOnce) {
    TessaronServerUpgradeGate gate(preferences);
    gate.report(426, upgradeBody({{"minimumBuild", 5}}));
    ASSERT_TRUE(gate.requirement().has_value());
    EXPECT_EQ(gate.requirement()->minimumBuild, 5);
}

} // namespace
