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
    const struct {
        QString token;
        bool stored;
    } cases[] = {
        {QString(4096, u'a'), true},
        {QString(4097, u'a'), false},
        {QString(2000, QChar(0x20AC)), false}, // 6000 bytes
        {QString(), false},
    };
    for (const auto& item : cases) {
        tokens.save(QStringLiteral("older"));
        EXPECT_EQ(tokens.save(item.token), item.stored) << item.token.size();
        EXPECT_EQ(tokens.load(), item.stored ? item.token : QStringLiteral("older")) << item.token.size();
    }
    tokens.save(QStringLiteral("second"));
    EXPECT_EQ(keychain.itemCount(), 1);

    keychain.failNext(keychain_status::notAvailable); // the existence check
    EXPECT_FALSE(tokens.save(QStringLiteral("third")));
    EXPECT_EQ(tokens.load(), QStringLiteral("second"));
}

TEST_F(AccountStoresTest, UnreadableItemsAndUnusableGroupsReadAsNoToken) {
    for (const QByteArray& data : {QByteArray("\xff\xfe"), QByteArray(), QByteArray(4097, 'a')}) {
        keychain.setItem(group, accountKeychainService, TessaronSessionTokenStore::keychainAccount, data);
        EXPECT_EQ(tokens.load(), std::nullopt) << data.size();
    }
    tokens.save(QStringLiteral("kept"));
    for (const QString& value : {QStringLiteral("$(AppIdentifierPrefix)shared"), QStringLiteral("  ")}) {
        const BundleInfo broken = bundleWithGroup(value);
        const TessaronSessionTokenStore store(keychain, broken);
        EXPECT_FALSE(store.save(QStringLiteral("new")));
        EXPECT_EQ(store.load(), std::nullopt);
        store.remove();
    }
    EXPECT_EQ(tokens.load(), QStringLiteral("kept"));

    const auto fixed = TessaronSessionTokenStore::fixed(QStringLiteral("preview"));
    fixed.save(QStringLiteral("other"));
    fixed.remove();
    EXPECT_EQ(fixed.load(), QStringLiteral("preview"));
}

TEST_F(AccountStoresTest, LinksHonourTheirLimitsAndReadBackOnlyHttps) {
    const QString id96(96, u'x');
    const QUrl url(QStringLiteral("https://accounts.test/v1/sub/") + QString(43, u'A'));
    links.write(url, id96);
    links.write(url, id96 + u'x');
    EXPECT_EQ(links.readURL(id96), url);
    EXPECT_EQ(links.readURL(id96 + u'x'), std::nullopt);

    const QString prefix = QStringLiteral("https://a.test/");
    links.write(QUrl(prefix + QString(2048 - prefix.size(), u'p')), QStringLiteral("at-limit"));
    links.write(QUrl(prefix + QString(2049 - prefix.size(), u'p')), QStringLiteral("over-limit"));
    EXPECT_TRUE(links.readURL(QStringLiteral("at-limit")));
    EXPECT_FALSE(links.readData(QStringLiteral("over-limit")));

    for (const QByteArray& stored : {QByteArray("http://accounts.test/v1/sub/x"), QByteArray("not a url")}) {
        keychain.setItem(group, accountKeychainService, QStringLiteral("tessaron.subscription.acct"), stored);
        EXPECT_EQ(links.readURL(QStringLiteral("acct")), std::nullopt) << stored.constData();
    }
}

TEST_F(AccountStoresTest, RemovingAllLinksLeavesTheTokenAndOtherServices) {
    tokens.save(QStringLiteral("token"));
    links.write(QUrl(QStringLiteral("https://a.test/1")), QStringLiteral("first"));
    links.write(QUrl(QStringLiteral("https://a.test/2")), QStringLiteral("second"));
    keychain.setItem(group, QStringLiteral("com.hallmere.tessaron.profile"),
                     QStringLiteral("tessaron.subscription.x"), "profile");
    links.removeAll();
    EXPECT_EQ(keychain.itemCount(), 2);
    EXPECT_EQ(tokens.load(), QStringLiteral("token"));
}
