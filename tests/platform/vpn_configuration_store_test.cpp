#include "vpn_samples.hpp"

#include "platform/system_log.hpp"
#include "platform/vpn_configuration_store.hpp"
#include "support/manual_clock.hpp"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tessaron::testing {
namespace {

class VpnConfigurationStoreTest : public ::testing::Test {
protected:
    QString path() const { return directory_.filePath(QStringLiteral("tessaron/vpn-configurations.json")); }
    VpnConfigurationStore open() const { return VpnConfigurationStore(path(), clock_); }

    QUuid save(TunnelProviderManager manager) {
        QUuid identifier;
        open().update([&](auto& managers) { identifier = applySave(managers, std::move(manager)); });
        return identifier;
    }

    QTemporaryDir directory_;
    ManualClock clock_;
    SystemLog::Capture log_;
};

// Saves assign stable identifiers and leave the last one enabled the only one enabled.
TEST_F(VpnConfigurationStoreTest, KeepsEveryFieldAndTypeAcrossInstancesWithOneConfigurationEnabled) {
    auto written = sampleManager((qint64(1) << 53) + 1);
    written.tunnelProvider()->providerConfiguration->insert(QStringLiteral("fraction"),
                                                            ProviderValue::number(ProviderNumber(2.5)));
    auto other = sampleManager();
    other.onDemandEnabled = false;
    other.onDemandRules = {};
    other.protocolConfiguration =
        BuiltInVpnProtocol{QStringLiteral("ikev2"), QStringLiteral("vpn.example.org")};
    auto bare = sampleManager();
    bare.enabled = false;
    bare.protocolConfiguration = std::monostate{};

    written.identifier = save(written);
    other.identifier = save(other);
    bare.identifier = save(bare);
    written.enabled = false;
    // The file keeps integers as integers: number objects are what loading makes of them, not what is stored.
    EXPECT_EQ(open().load(), (QList{written, other, bare}));

    written.localizedDescription = QStringLiteral("renamed");
    written.enabled = true;
    EXPECT_EQ(save(written), written.identifier);
    other.enabled = false;
    EXPECT_EQ(open().load(), (QList{written, other, bare})) << "a save under a known identifier replaces";
    EXPECT_TRUE(log_.lines().isEmpty());
}

TEST_F(VpnConfigurationStoreTest, ADamagedFileIsKeptAsideAndTheListStartsEmpty) {
    const std::pair<const char*, QByteArray> damages[] = {
        {"not JSON", "{\"configurations\": ["},
        {"integer that is not one",
         R"({"configurations": [{"identifier": "6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c",
            "protocolConfiguration": {"kind": "tunnelProvider", "providerConfiguration":
            {"version": {"type": "integer", "value": "3.5"}}}}]})"},
    };
    for (const auto& [name, contents] : damages) {
        SCOPED_TRACE(name);
        QDir(directory_.path()).removeRecursively();
        QDir().mkpath(QFileInfo(path()).absolutePath());
        {
            QFile file(path());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(contents);
        }
        EXPECT_TRUE(open().load().isEmpty());
        EXPECT_EQ(QDir(QFileInfo(path()).absolutePath()).entryList(QDir::Files),
                  QStringList{QStringLiteral("vpn-configurations.json.damaged-20260101T000000.000Z")});
        // The next save starts a fresh file.
        auto fresh = sampleManager();
        fresh.identifier = save(fresh);
        EXPECT_EQ(open().load(), QList{fresh});
    }
}

TEST(ProviderNumberTest, IntegerValueCutsFractionsTowardZeroAndHoldsTheRange) {
    constexpr auto largest = std::numeric_limits<qint64>::max();
    constexpr auto smallest = std::numeric_limits<qint64>::min();
    const std::pair<ProviderNumber, qint64> cases[] = {
        {ProviderNumber(qint64(3)), 3},    {ProviderNumber(largest), largest},
        {ProviderNumber(2.9), 2},          {ProviderNumber(-2.9), -2},
        {ProviderNumber(1e30), largest},   {ProviderNumber(-1e30), smallest},
        {ProviderNumber(std::nan("")), 0},
    };
    for (const auto& [number, expected] : cases)
        EXPECT_EQ(number.integerValue(), expected) << number.doubleValue();
}

} // namespace
} // namespace tessaron::testing
