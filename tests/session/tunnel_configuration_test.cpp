#include "session/tunnel_configuration.hpp"

#include "profiles/identifiers.hpp"
#include "support/memory_preferences.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

const QString lowerCaseID = QStringLiteral("6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c");
const TessaronProfileSummary summary{QUuid::fromString(lowerCaseID), 3, QStringLiteral("Zürich"),
                                     QStringLiteral("zrh.example.net"), 443};

TunnelProviderManager managerFor(const TessaronProfileSummary& profile, bool enabled = true) {
    // No identifier or description yet, and no on-demand rules.
    return {{}, {}, enabled, false, {}, tunnelProtocol(profile, "ref", true, std::nullopt)};
}

TEST(TunnelConfigurationTest, TheProtocolRoutesEverythingAndCarriesTheKillSwitchOnlyAsAValue) {
    const auto protocol = tunnelProtocol(summary, "ref", false, QByteArray("{}"));
    EXPECT_EQ(protocol.providerBundleIdentifier, QStringLiteral("com.hallmere.tessaron.PacketTunnel"));
    EXPECT_EQ(protocol.serverAddress, summary.server);
    EXPECT_TRUE(protocol.includeAllNetworks && protocol.enforceRoutes && protocol.excludeLocalNetworks);
    const ProviderConfiguration expected{{"killSwitch", ProviderValue::boolean(false)},
                                         {"name", ProviderValue::text(summary.name)},
                                         {"profile", ProviderValue::data("{}")},
                                         {"profileID", ProviderValue::text(lowerCaseID.toUpper())},
                                         {"routingMode", ProviderValue::text("smart")},
                                         {"version", ProviderValue::integer(3)}};
    EXPECT_EQ(protocol.providerConfiguration, expected);
    EXPECT_FALSE(
        tunnelProtocol(summary, "ref", true, std::nullopt).providerConfiguration->contains("profile"));
}

TEST(TunnelConfigurationTest, AnInstalledConfigurationMatchesOnlyWhatTheSystemMustKeep) {
    using Change = std::function<void(TunnelProviderManager&)>;
    const auto setValue = [](const QString& key, ProviderValue value) -> Change {
        return [key, value](auto& manager) {
            manager.tunnelProvider()->providerConfiguration->insert(key, value);
        };
    };
    const std::tuple<const char*, Change, bool> cases[] = {
        {"as written", [](auto&) {}, true},
        {"as reloaded", [](auto& manager) { manager = asReloaded(manager); }, true},
        {"another kill switch", setValue("killSwitch", ProviderValue::boolean(false)), true},
        {"dropped protocol", [](auto& manager) { manager.protocolConfiguration = {}; }, false},
        {"other tunnel", [](auto& m) { m.tunnelProvider()->providerBundleIdentifier = "x.y"; }, false},
        {"partial routing", [](auto& m) { m.tunnelProvider()->includeAllNetworks = false; }, false},
        {"other server", [](auto& m) { m.tunnelProvider()->serverAddress = "zrh2.example.net"; }, false},
        {"lower-case id", setValue("profileID", ProviderValue::text(lowerCaseID)), false},
        {"version as text", setValue("version", ProviderValue::text("3")), false},
    };
    for (const auto& [name, change, matches] : cases) {
        auto manager = managerFor(summary);
        change(manager);
        EXPECT_EQ(installedConfigurationMatches(manager, summary), matches) << name;
    }
}

TEST(TunnelConfigurationTest, TheSessionPrefersItsOwnConfigurationForTheProfile) {
    auto other = summary;
    other.id = QUuid::createUuid();
    const TunnelProviderManager foreign{{}, {}, true, false, {}, BuiltInVpnProtocol{"ikev2", std::nullopt}};
    const auto disabledOwn = managerFor(other, false), enabledOwn = managerFor(other, true);
    const auto forProfile = managerFor(summary, false);

    using Selection = TessaronManagerSelection;
    EXPECT_FALSE(Selection::preferred({foreign}, summary.id));
    EXPECT_EQ(Selection::preferred({foreign, disabledOwn, enabledOwn, forProfile}, summary.id), forProfile);
    EXPECT_EQ(Selection::preferred({foreign, disabledOwn, enabledOwn}, summary.id), enabledOwn);
    EXPECT_EQ(Selection::preferred({disabledOwn}, std::nullopt), disabledOwn);
    EXPECT_EQ(Selection::ownManagers({foreign, disabledOwn}), QList<TunnelProviderManager>{disabledOwn});
}

TEST(TunnelConfigurationTest, ABlankRoutingLineReadsAsNone) {
    tessaron::testing::MemoryPreferences group;
    EXPECT_FALSE(sharedRoutingLine(group));
    group.setValue(QStringLiteral("tessaron.tunnel.routing"), QStringLiteral(" \n\t "));
    EXPECT_FALSE(sharedRoutingLine(group));
    group.setValue(QStringLiteral("tessaron.tunnel.routing"), QStringLiteral("  smart: 12 rules\n"));
    EXPECT_EQ(sharedRoutingLine(group), QStringLiteral("smart: 12 rules"));
}

} // namespace
