#include "session/pairing_service_config.hpp"

#include "profiles/pairing_error.hpp"

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

BundleInfo bundleWith(const QVariant& baseURL) {
    QVariantMap info;
    if (baseURL.isValid())
        info.insert(QStringLiteral("TessaronPairingBaseURL"), baseURL);
    return BundleInfo(info, {});
}

} // namespace

// An https URL without a host is configured, but gives no origin.
TEST(PairingServiceConfigTest, TheOriginComesFromTheConfiguredURL) {
    const std::tuple<QVariant, bool, std::optional<std::pair<QString, std::optional<int>>>> cases[] = {
        {QStringLiteral(" https://Pair.Example:8443/v0\n"), true,
         std::pair(QStringLiteral("pair.example"), std::optional(8443))},
        {QVariant(), false, std::nullopt},
        {QStringLiteral("http://pair.example"), false, std::nullopt},
        {QByteArray("https://pair.example"), false, std::nullopt},
        {QStringLiteral("https:///no-host"), true, std::nullopt},
    };
    for (const auto& [value, configured, origin] : cases) {
        SCOPED_TRACE(value.toString().toStdString());
        const auto bundle = bundleWith(value);
        EXPECT_EQ(isPairingServiceConfigured(bundle), configured);
        try {
            const auto made = makePairingOrigin(bundle);
            EXPECT_EQ(std::optional(std::pair(made.host(), made.port())), origin);
        } catch (const TessaronPairingError& error) {
            EXPECT_FALSE(origin);
            EXPECT_EQ(error.kind(), TessaronPairingErrorKind::invalidBaseURL);
        }
    }
}
