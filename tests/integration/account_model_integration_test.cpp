// The account's stores over the real Secret Service. The sign-in flows that fill and clear them are pinned
// by the account model's own suite, over the same stores on a scripted keychain.
#include "account/session_token_store.hpp"
#include "account/subscription_link_store.hpp"
#include "platform/secret_service_keychain.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

TEST(AccountStoresIntegrationTest, TheStoresAddUpdateReadBackAndSweepTheirItems) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("TESSARON_TEST_KEYRING_PASSWORD"))
        << "run this suite through tests/support/with-keyring.sh";
    const QString group = QString::fromUtf8(::testing::UnitTest::GetInstance()->current_test_info()->name());
    const BundleInfo bundle{QVariantMap{{QStringLiteral("TessaronKeychainAccessGroup"), group}},
                            ProgramLocations{}};
    SecretServiceKeychain keychain;
    const auto accountItems = [&] {
        QStringList accounts;
        for (const auto& item : keychain.copyAll({group, accountKeychainService, std::nullopt}).value)
            accounts.append(item.account);
        return accounts;
    };
    const TessaronSessionTokenStore tokens(keychain, bundle);
    const TessaronSubscriptionLinkStore links(keychain, bundle);
    const QUrl first(QStringLiteral("https://a.test/v1/sub/1")),
        second(QStringLiteral("https://a.test/v1/sub/2"));
    for (const auto& url : {first, second}) {
        EXPECT_TRUE(tokens.save(url.path()));
        links.write(url, QStringLiteral("acct-1"));
    }
    links.write(first, QStringLiteral("acct-2"));
    EXPECT_EQ(tokens.load(), second.path());
    EXPECT_EQ(links.readURL(QStringLiteral("acct-1")), second);
    EXPECT_EQ(accountItems().size(), 3);
    links.removeAll();
    EXPECT_EQ(accountItems(), QStringList{TessaronSessionTokenStore::keychainAccount});
    tokens.remove();
    EXPECT_TRUE(accountItems().isEmpty());
}

} // namespace
} // namespace tessaron::testing
