#include "profiles/keychain_access.hpp"

#include "keychain_failure.hpp"
#include "support/fake_keychain.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

const QString groupKey = QStringLiteral("TessaronKeychainAccessGroup");

TEST(KeychainAccessGroupTest, ReadsTrimmedTextAndRefusesWhatIsNoUsableGroup) {
    struct Case {
        const char* name;
        QVariant value;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"missing", {}, std::nullopt},
        {"blank", QStringLiteral(" \t\n"), std::nullopt},
        {"unexpanded setting", QStringLiteral("$(TEAM_ID).com.hallmere.tessaron"), std::nullopt},
        {"padded", QStringLiteral("  TEAM.shared\n"), QStringLiteral("TEAM.shared")},
        {"lone dollar", QStringLiteral("team$shared"), QStringLiteral("team$shared")},
    };
    for (const auto& c : cases) {
        QVariantMap keys;
        if (c.value.isValid())
            keys.insert(groupKey, c.value);
        EXPECT_EQ(keychainAccessGroup(BundleInfo(keys, {})), c.expected) << c.name;
    }
}

TEST(KeychainAccessGroupTest, RemovingCountsAnAbsentItemAsDoneAndThrowsOtherStatuses) {
    FakeKeychain keychain;
    const KeychainQuery query{QStringLiteral("group"), QStringLiteral("service"), QStringLiteral("account")};
    keychain.setItem(QStringLiteral("group"), QStringLiteral("service"), QStringLiteral("account"), "x");

    removeItem(keychain, query);
    EXPECT_EQ(keychain.itemCount(), 0);
    removeItem(keychain, query);

    keychain.failNext(keychain_status::notAvailable);
    const auto error = keychainError([&] { removeItem(keychain, query); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), TessaronKeychainErrorKind::status);
    EXPECT_EQ(error->keychainStatus(), keychain_status::notAvailable);
}

TEST(KeychainErrorTest, StatusKeepsTheKeychainCodeApartFromTheCaseCode) {
    const auto error = TessaronKeychainError::status(-25308);
    EXPECT_EQ(error.domain(), QStringLiteral("TessaronKeychainError"));
    EXPECT_EQ(error.code(), 0);
    EXPECT_EQ(error.userMessage(),
              QStringLiteral("The Keychain could not complete the request (status -25308)."));
    EXPECT_EQ(TessaronKeychainError::invalidTransportAnnotation().code(), 3);
}

} // namespace
} // namespace tessaron::testing
