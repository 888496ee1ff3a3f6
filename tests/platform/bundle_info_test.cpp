#include "platform/bundle_info.hpp"

#include <gtest/gtest.h>

using tessaron::BundleInfo;

TEST(BundleInfoTest, PairingBaseURLMustBeHttpsText) {
    const struct {
        QVariant value;
        std::optional<QUrl> expected;
    } cases[] = {
        {QStringLiteral("https://pair.example/base"), QUrl("https://pair.example/base")},
        {QStringLiteral("  HTTPS://pair.example:8443\n"), QUrl("HTTPS://pair.example:8443")},
        {QStringLiteral("http://pair.example"), std::nullopt},
        {QStringLiteral("https://pair example"), std::nullopt},
        {42, std::nullopt},
        {QVariant(), std::nullopt},
    };
    for (const auto& c : cases) {
        QVariantMap keys;
        if (c.value.isValid())
            keys.insert(QStringLiteral("TessaronPairingBaseURL"), c.value);
        EXPECT_EQ(BundleInfo(keys, {}).pairingBaseURL(), c.expected) << c.value.toString().toStdString();
    }
}
