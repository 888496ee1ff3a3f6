#include "account/session_token_store.hpp"
#include "account/subscription_link_store.hpp"
#include "support/fake_keychain.hpp"

#include <gtest/gtest.h>

using namespace tessaron;
using namespace tessaron::testing;

namespace {

const QString group = QStringLiteral("test.tessaron.shared");

BundleInfo bundleWithGroup(const QString& value) {
    return BundleInfo(QVariantMap{{QStringLiteral("TessaronKeychainAccessGroup"), value}},
                      ProgramLocations{});
}

class AccountStoresTest : public ::testing::Test {
protected:
    FakeKeychain keychain;
    BundleInfo bundle = bundleWithGroup(group);
    TessaronSessionTokenStore tokens{keychain, bundle};
    TessaronSubscriptionLinkStore links{keychain, bundle};
};

} // namespace

TEST_F(AccountStoresTest, TokensAreMeasuredInUtf8BytesAndARefusedOneKeepsTheStoredToken) {
    const std::pair<QString, bool> cases[] = {{QString(4096, u'a'), true},
                                              {QString(4097, u'a'), false},
                                              {QString(2000, QChar(0x20AC)), false},
                                              {{}, false}};
    for (const auto& [token, stored] : cases) {
        tokens.save(QStringLiteral("older"));
        EXPECT_EQ(tokens.save(token), stored) << token.size();
        EXPECT_EQ(tokens.load(), stored ? token : QStringLiteral("older")) << token.size();
    }
    EXPECT_EQ(keychain.itemCount(), 1);
    keychain.failNext(keychain_status::notAvailable); // the existence check
    EXPECT_FALSE(tokens.save(QStringLiteral("third")));
    EXPECT_EQ(tokens.load(), QStringLiteral("older"));
}

TEST_F(AccountStoresTest, UnreadableItemsReadAsNoToken) {
    for (const QByteArray& data : {QByteArray("\xff\xfe"), QByteArray(), QByteArray(4097, 'a')}) {
        keychain.setItem(group, accountKeychainService, TessaronSessionTokenStore::keychainAccount, data);
        EXPECT_EQ(tokens.load(), std::nullopt) << data.size();
    }
}

TEST_F(AccountStoresTest, LinksHonourTheirLimitsAndReadBackOnlyHttps) {
    const QString id96(96, u'x');
    const QString prefix = QStringLiteral("https://a.test/");
    const QUrl atLimit(prefix + QString(2048 - prefix.size(), u'p'));
    links.write(atLimit, id96);
    links.write(atLimit, id96 + u'x');
    links.write(QUrl(prefix + QString(2049 - prefix.size(), u'p')), QStringLiteral("over"));
    EXPECT_EQ(links.readURL(id96), atLimit);
    EXPECT_EQ(keychain.itemCount(), 1);
    for (const QByteArray& stored : {QByteArray("http://a.test/v1/sub/x"), QByteArray("not a url")}) {
        keychain.setItem(group, accountKeychainService, QStringLiteral("tessaron.subscription.acct"), stored);
        EXPECT_EQ(links.readURL(QStringLiteral("acct")), std::nullopt) << stored.constData();
    }
}
