#include "profiles/upgrade_gate.hpp"

#include "support/memory_preferences.hpp"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
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

class UpgradeGateTest : public ::testing::Test {
protected:
    MemoryPreferences preferences;
    QObject context;
};

TEST_F(UpgradeGateTest, ReadsTheRequirementOfA426LenientlyAndStoresIt) {
    const QUrl page(QStringLiteral("https://tessaron.test/update?from=1.0"));
    const std::tuple<const char*, QJsonObject, TessaronUpgradeRequirement> cases[] = {
        {"complete",
         {{"minimumBuild", 120}, {"minimumVersion", "2.1.0"}, {"page", page.toString()}},
         {120, QStringLiteral("2.1.0"), page}},
        {"build with a fraction", {{"minimumBuild", 1.5}}, {0, {}, std::nullopt}},
        {"build beyond 64 bits", {{"minimumBuild", 1e30}}, {0, {}, std::nullopt}},
        {"version of another type", {{"minimumVersion", 3}}, {0, {}, std::nullopt}},
        {"plain http page", {{"page", "http://tessaron.test/update"}}, {0, {}, std::nullopt}},
        {"upper-case scheme",
         {{"page", "HTTPS://tessaron.test/u"}},
         {0, {}, QUrl(QStringLiteral("https://tessaron.test/u"))}},
    };
    for (const auto& [name, fields, expected] : cases) {
        TessaronServerUpgradeGate gate(preferences);
        gate.observe(426, upgradeBody(fields));
        EXPECT_EQ(gate.requirement(), expected) << name;
        EXPECT_EQ(TessaronServerUpgradeGate(preferences).requirement(), expected) << name << ": stored";
        preferences.remove(key);
    }
}

// Only a 426 that says "upgrade_required" sets a requirement; only a success clears it, announcing once.
TEST_F(UpgradeGateTest, OnlyAnUpgradeReplySetsTheRequirementAndOnlyASuccessClearsIt) {
    const TessaronUpgradeRequirement stored{40, QStringLiteral("1.9"),
                                            QUrl(QStringLiteral("https://x.test/a"))};
    preferences.setValue(key, json(stored.toJson()));
    TessaronServerUpgradeGate gate(preferences);
    QList<OptionalUpgradeRequirement> announced;
    gate.subscribe(&context, [&](const OptionalUpgradeRequirement& value) { announced.append(value); });

    for (const auto& [status, body] : std::initializer_list<std::pair<int, std::optional<QByteArray>>>{
             {426, std::nullopt},
             {426, QByteArray("upgrade_required")},
             {426, QByteArray(R"({"error":"UPGRADE_REQUIRED"})")},
             {199, upgradeBody({})},
             {300, upgradeBody({})},
             {425, upgradeBody({})}})
        gate.observe(status, body);
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

TEST_F(UpgradeGateTest, AStoredValueThatDoesNotDecodeLeavesNoRequirementUntilASuccessRemovesIt) {
    const QVariant values[] = {
        QByteArray("[]"),
        json({{"minimumBuild", 1.25}, {"minimumVersion", "1.0"}}),
        json({{"minimumBuild", 1}, {"minimumVersion", "1.0"}, {"page", "ftp://x.test/"}}),
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
