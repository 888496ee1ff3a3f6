#include "platform/bundle_info.hpp"
#include "profiles/build_label.hpp"
#include "profiles/keychain_access.hpp"
#include "profiles/keychain_error.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// A bundle holding the keys whose values are valid.
BundleInfo infoWith(std::initializer_list<std::pair<const char*, QVariant>> keys) {
    QVariantMap map;
    for (const auto& [key, value] : keys)
        if (value.isValid())
            map.insert(QString::fromLatin1(key), value);
    return BundleInfo(map, {});
}

TEST(BundleKeysTest, TheBuildLabelFiltersEachPartAndFallsBackWhenNothingUsableRemains) {
    const std::tuple<QVariant, QVariant, const char*> cases[] = {
        {QStringLiteral("1.4.2"), QStringLiteral("317"), "macos-direct/1.4.2/317"},
        {{}, {}, "macos-direct/0.0.0/0"},
        {QStringLiteral("1.4 beta\n"), QStringLiteral("3 17"), "macos-direct/1.4beta/317"},
        {QStringLiteral("  "), QStringLiteral("é€"), "macos-direct/0.0.0/0"},
        {QStringLiteral("2.0-rc/1"), 42, "macos-direct/2.0-rc/1/0"},
    };
    for (const auto& [version, build, expected] : cases)
        EXPECT_EQ(
            clientBuildLabel(infoWith({{"CFBundleShortVersionString", version}, {"CFBundleVersion", build}})),
            expected)
            << version.toString().toStdString();
}

TEST(BundleKeysTest, TheKeychainGroupIsTrimmedTextAndNeverAnUnexpandedSetting) {
    const std::tuple<QVariant, std::optional<QString>> cases[] = {
        {QVariant(), std::nullopt},
        {QStringLiteral(" \t\n"), std::nullopt},
        {QStringLiteral("$(TEAM_ID).com.hallmere.tessaron"), std::nullopt},
        {QStringLiteral("  TEAM.shared\n"), QStringLiteral("TEAM.shared")},
        {QStringLiteral("team$shared"), QStringLiteral("team$shared")},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(keychainAccessGroup(infoWith({{"TessaronKeychainAccessGroup", value}})), expected)
            << value.toString().toStdString();
    EXPECT_EQ(TessaronKeychainError::status(-25308).userMessage(),
              QStringLiteral("The Keychain could not complete the request (status -25308)."));
}

} // namespace
} // namespace tessaron::testing
