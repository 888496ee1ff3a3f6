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

TEST(PairingServiceConfigTest, TheOriginComesFromTheConfiguredURL) {
    const auto configured = bundleWith(QStringLiteral(" https://Pair.Example:8443/v0\n"));
    EXPECT_TRUE(isPairingServiceConfigured(configured));
    const auto origin = makePairingOrigin(configured);
    EXPECT_EQ(origin.host(), QStringLiteral("pair.example"));
    EXPECT_EQ(origin.port(), 8443);

    struct Case {
        QVariant value;
        bool configured;
    };
    // An https URL without a host is configured, but no origin.
    const Case refused[] = {{QVariant(), false},
                            {QStringLiteral("http://pair.example"), false},
                            {QByteArray("https://pair.example"), false},
                            {QStringLiteral("https:///no-host"), true}};
    for (const auto& c : refused) {
        const auto bundle = bundleWith(c.value);
        EXPECT_EQ(isPairingServiceConfigured(bundle), c.configured) << c.value.toString().toStdString();
        try {
            makePairingOrigin(bundle);
            ADD_FAILURE() << "accepted " << c.value.toString().toStdString();
        } catch (const TessaronPairingError& error) {
            EXPECT_EQ(error.kind(), TessaronPairingErrorKind::invalidBaseURL);
        }
    }
}
