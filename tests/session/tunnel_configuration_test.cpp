#include "session/tunnel_configuration.hpp"

#include "profiles/identifiers.hpp"
#include "support/memory_preferences.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

const TessaronProfileSummary summary{
    QUuid::fromString(QStringLiteral("6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c")), 3, QStringLiteral("Zürich"),
    QStringLiteral("zrh.example.net"), 443};

TunnelProviderManager managerFor(const TessaronProfileSummary& profile, bool enabled = true) {
    TunnelProviderManager manager;
    manager.enabled = enabled;
    manager.protocolConfiguration = tunnelProtocol(profile, "ref", true, std::nullopt);
    return manager;
}

TEST(TunnelConfigurationTest, TheProtocolRoutesEverythingAndCarriesTheKillSwitchOnlyAsAValue) {
    const auto protocol = tunnelProtocol(summary, "ref", false, QByteArray("{}"));
    EXPECT_EQ(protocol.providerBundleIdentifier, QStringLiteral("com.hallmere.tessaron.PacketTunnel"));
    EXPECT_EQ(protocol.serverAddress, summary.server);
    EXPECT_TRUE(protocol.includeAllNetworks && protocol.enforceRoutes && protocol.excludeLocalNetworks);
    const ProviderConfiguration expected{
        {"killSwitch", ProviderValue::boolean(false)},
        {"name", ProviderValue::text(summary.name)},
        {"profile", ProviderValue::data("{}")},
        {"profileID", ProviderValue::text("6F1C2B4A-9D3E-4F5A-8B7C-1D2E3F4A5B6C")},
        {"routingMode", ProviderValue::text("smart")},
        {"version", ProviderValue::integer(3)},
    };
    EXPECT_EQ(protocol.providerConfiguration, expected);
    EXPECT_FALSE(
        tunnelProtocol(summary, "ref", true, std::nullopt).providerConfiguration->contains("profile"));
}

TEST(TunnelConfigurationTest, AnInstalledConfigurationMatchesOnlyWhatTheSystemMustKeep) {
    struct Case {
        const char* name;
        std::function<void(TunnelProviderManager&)> change;
        bool matches;
    };
    const auto setValue = [](const QString& key, ProviderValue value) {
        return [key, value](TunnelProviderManager& manager) {
            manager.tunnelProvider()->providerConfiguration->insert(key, value);
        };
    };
    const Case cases[] = {
        {"as written", [](TunnelProviderManager&) {}, true},
        {"as reloaded", [](TunnelProviderManager& manager) { manager = asReloaded(manager); }, true},
        {"another kill switch", setValue("killSwitch", ProviderValue::boolean(false)), true},
        {"dropped protocol", [](TunnelProviderManager& manager) { manager.protocolConfiguration = {}; },
         false},
        {"other tunnel",
         [](auto& m) { m.tunnelProvider()->providerBundleIdentifier = QStringLiteral("x.y"); }, false},
        {"partial routing", [](auto& m) { m.tunnelProvider()->includeAllNetworks = false; }, false},
        {"other server",
         [](auto& m) { m.tunnelProvider()->serverAddress = QStringLiteral("zrh2.example.net"); }, false},
        {"lower-case id", setValue("profileID", ProviderValue::text("6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c")),
         false},
        {"version as text", setValue("version", ProviderValue::text("3")), false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        auto manager = managerFor(summary);
        testCase.change(manager);
        EXPECT_EQ(installedConfigurationMatches(manager, summary), testCase.matches);
    }
}

TEST(TunnelConfigurationTest, TheSessionPrefersItsOwnConfigurationForTheProfile) {
    auto other = summary;
    other.id = QUuid::createUuid();
    TunnelProviderManager foreign;
    foreign.enabled = true;
    foreign.protocolConfiguration = BuiltInVpnProtocol{QStringLiteral("ikev2"), std::nullopt};
    const auto disabledOwn = managerFor(other, false);
    auto enabledOwn = managerFor(other, true);
    enabledOwn.localizedDescription = QStringLiteral("enabled");
    auto forProfile = managerFor(summary, false);
    forProfile.localizedDescription = QStringLiteral("for profile");

    using Selection = TessaronManagerSelection;
    EXPECT_FALSE(Selection::preferred({foreign}, summary.id));
    EXPECT_EQ(Selection::preferred({foreign, disabledOwn, enabledOwn, forProfile}, summary.id)
                  ->localizedDescription,
              QStringLiteral("for profile"));
    EXPECT_EQ(Selection::preferred({foreign, disabledOwn, enabledOwn}, summary.id)->localizedDescription,
              QStringLiteral("enabled"));
    EXPECT_EQ(Selection::preferred({disabledOwn}, std::nullopt), disabledOwn);
    EXPECT_EQ(Selection::ownManagers({foreign, disabledOwn}), QList<TunnelProviderManager>{disabledOwn});
}

TEST(TunnelConfigurationTest, ABlankRoutingLineReadsAsNone) {
    tessaron::testing::MemoryPreferences group;
    EXPECT_FALSE(sharedRoutingLine(group));
    const std::pair<QString, std::optional<QString>> cases[] = {{" \n\t ", std::nullopt},
                                                                {"  smart: 12 rules\n", "smart: 12 rules"}};
    for (const auto& [stored, line] : cases) {
        group.setValue(QStringLiteral("tessaron.tunnel.routing"), stored);
        EXPECT_EQ(sharedRoutingLine(group), line);
    }
}

} // namespace
