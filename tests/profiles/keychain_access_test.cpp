#include "profiles/keychain_access.hpp"

#include "platform/bundle_info.hpp"
#include "profiles/keychain_error.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

const QString groupKey = QStringLiteral("TessaronKeychainAccessGroup");

TEST(KeychainAccessGroupTest, ReadsTrimmedTextAndRefusesWhatIsNoUsableGroup) {
    const std::tuple<const char*, QVariant, std::optional<QString>> cases[] = {
        {"missing", {}, std::nullopt},
        {"blank", QStringLiteral(" \t\n"), std::nullopt},
        {"unexpanded setting", QStringLiteral("$(TEAM_ID).com.hallmere.tessaron"), std::nullopt},
        {"padded", QStringLiteral("  TEAM.shared\n"), QStringLiteral("TEAM.shared")},
        {"lone dollar", QStringLiteral("team$shared"), QStringLiteral("team$shared")},
    };
    for (const auto& [name, value, expected] : cases) {
        QVariantMap keys;
        if (value.isValid())
            keys.insert(groupKey, value);
        EXPECT_EQ(keychainAccessGroup(BundleInfo(keys, {})), expected) << name;
    }
}

TEST(KeychainErrorTest, AStatusIsShownWithItsKeychainCode) {
    EXPECT_EQ(TessaronKeychainError::status(-25308).userMessage(),
              QStringLiteral("The Keychain could not complete the request (status -25308)."));
}

} // namespace
} // namespace tessaron::testing
