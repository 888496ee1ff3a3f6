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

TEST(PairingServiceConfigTest, AcceptsOnlyHttpsTextAsTheBaseURL) {
    struct Case {
        QVariant value;
        std::optional<QUrl> expected;
    };
    const Case cases[] = {
        {QStringLiteral("https://pair.example/base"), QUrl("https://pair.example/base")},
        {QStringLiteral(" \tHTTPS://pair.example:8443\n"), QUrl("HTTPS://pair.example:8443")},
        {QStringLiteral("http://pair.example"), std::nullopt},
        {QStringLiteral("pair.example"), std::nullopt},
        {QStringLiteral("https://pair example"), std::nullopt},
        {QStringLiteral(" \n"), std::nullopt},
        {QStringLiteral(""), std::nullopt},
        {QByteArray("https://pair.example"), std::nullopt},
        {QStringList{QStringLiteral("https://pair.example")}, std::nullopt},
        {true, std::nullopt},
        {QVariant(), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto bundle = bundleWith(c.value);
        EXPECT_EQ(pairingBaseURL(bundle), c.expected) << c.value.toString().toStdString();
        EXPECT_EQ(isPairingServiceConfigured(bundle), c.expected.has_value());
    }
}

TEST(PairingServiceConfigTest, TheOriginComesFromTheConfiguredURL) {
    const auto origin = makePairingOrigin(bundleWith(QStringLiteral("https://Pair.Example:8443/v0")));
    EXPECT_EQ(origin.host(), QStringLiteral("pair.example"));
    EXPECT_EQ(origin.port(), 8443);

    for (const auto& value : {QVariant(), QVariant(QStringLiteral("http://pair.example")),
                              QVariant(QStringLiteral("https:///no-host"))}) {
        try {
            makePairingOrigin(bundleWith(value));
            ADD_FAILURE() << "accepted " << value.toString().toStdString();
        } catch (const TessaronPairingError& error) {
            EXPECT_EQ(error.kind(), TessaronPairingErrorKind::invalidBaseURL);
        }
    }
}
