#include "session/pairing_service_config.hpp"

#include "profiles/pairing_error.hpp"
#include "support/thrown_error.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

// The origin is the configured URL's (whose reading the bundle's and the origin's tests pin), or none.
TEST(PairingServiceConfigTest, TheOriginComesFromTheConfiguredURL) {
    const BundleInfo configured({{"TessaronPairingBaseURL", "https://pair.example:8443/v0"}}, {});
    const auto origin = makePairingOrigin(configured);
    EXPECT_EQ(std::pair(origin.host(), origin.port()),
              std::pair(QStringLiteral("pair.example"), std::optional(8443)));
    EXPECT_EQ(tessaron::testing::thrownError([] { makePairingOrigin(BundleInfo({}, {})); }),
              PlatformError::from(TessaronPairingError(TessaronPairingErrorKind::invalidBaseURL)));
}

TEST(PairingServiceConfigTest, ConfiguredOnlyWithAnHttpsBaseURL) {
    const std::pair<std::optional<QString>, bool> rows[] = {
        {"https://pair.example", true}, {"http://pair.example", false}, {"  ", false}, {std::nullopt, false}};
    for (const auto& [url, configured] : rows) {
        QVariantMap info;
        if (url)
            info.insert(QStringLiteral("TessaronPairingBaseURL"), *url);
        EXPECT_EQ(isPairingServiceConfigured(BundleInfo(info, {})), configured)
            << url.value_or("absent").toStdString();
    }
}
