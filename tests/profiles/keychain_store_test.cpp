#include "profiles/keychain_store.hpp"
#include "profiles/profile_error.hpp"

#include "keychain_failure.hpp"
#include "profile_samples.hpp"
#include "support/fake_keychain.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace tessaron::testing {
namespace {

using ErrorKind = TessaronKeychainErrorKind;

const QString group = QStringLiteral("TEAM.shared");
const QString service = QStringLiteral("com.hallmere.tessaron.profile");

TessaronProfile tlsProfile() {
    return TessaronProfile::fromJSON(tlsProfileObject());
}

TessaronProfile realityProfile() {
    return TessaronProfile::fromJSON(realityProfileObject());
}

BundleInfo infoWithGroup(const QVariant& value) {
    return BundleInfo({{QStringLiteral("TessaronKeychainAccessGroup"), value}}, {});
}

class KeychainStoreTest : public ::testing::Test {
protected:
    void putItem(const QString& account, const QByteArray& data) {
        keychain.setItem(group, service, account, data);
    }
    void putProfile(const TessaronProfile& profile) {
        putItem(uuidText(profile.id), profile.canonicalJSON());
    }
    static QString uuidText(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

    FakeKeychain keychain;
    TessaronKeychainStore store{keychain, infoWithGroup(group)};
};

TEST(KeychainStoreAnnotationTest, PutsTheTransportBetweenShortIDAndUserIDWithinTheCap) {
    auto expected = realityProfile().canonicalJSON();
    expected.insert(expected.indexOf(R"(,"userID")"), R"(,"transport":"xhttp")");
    EXPECT_EQ(TessaronKeychainStore::annotatedProfileData(realityProfile(), TessaronTransport::xhttp),
              expected);
    EXPECT_EQ(keychainFailure([] {
                  TessaronKeychainStore::annotatedProfileData(tlsProfile(), TessaronTransport::xhttp);
              }),
              ErrorKind::invalidTransportAnnotation)
        << "xhttp without a section";

    auto large = tlsProfile();
    large.name.clear();
    const auto overhead = TessaronKeychainStore::annotatedProfileData(large, TessaronTransport::tcp).size();
    large.name = QString(65'536 - overhead, u'n');
    EXPECT_EQ(TessaronKeychainStore::annotatedProfileData(large, TessaronTransport::tcp).size(), 65'536);
    large.name.append(u'n');
    EXPECT_EQ(
        keychainFailure([&] { TessaronKeychainStore::annotatedProfileData(large, TessaronTransport::tcp); }),
        ErrorKind::invalidTransportAnnotation);
}

TEST_F(KeychainStoreTest, RestoringAnAnnotatedItemUpdatesItUnderTheSameReference) {
    auto profile = realityProfile();
    const auto first = store.storeItem(profile.canonicalJSON(), profile.id);
    profile.name = QStringLiteral("Zürich 2");
    const auto annotated = TessaronKeychainStore::annotatedProfileData(profile, TessaronTransport::xhttp);
    const auto second = store.storeItem(annotated, profile.id);

    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(second, first);
    EXPECT_EQ(keychain.resolve(second).value, annotated);
    EXPECT_EQ(store.profile(profile.id), profile);
    EXPECT_EQ(keychain.itemCount(), 1);
}

TEST_F(KeychainStoreTest, StoringThrowsTheStatusOfAFailedStep) {
    const auto profile = tlsProfile();
    // The add fails; an update after a duplicate fails; the reference fails.
    const QList<qint32> steps[] = {{keychain_status::notAvailable},
                                   {keychain_status::duplicateItem, keychain_status::itemNotFound},
                                   {keychain_status::success, keychain_status::badParameter}};
    for (const auto& statuses : steps) {
        for (const auto status : statuses)
            keychain.failNext(status);
        const auto error = keychainError([&] { store.storeItem(profile.canonicalJSON(), profile.id); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), ErrorKind::status);
        EXPECT_EQ(error->keychainStatus(), statuses.last());
    }
}

TEST_F(KeychainStoreTest, ReadingAProfileFailsForMissingDamagedOrMisfiledItems) {
    const auto profile = tlsProfile();
    const auto missing = keychainError([&] { store.profile(profile.id); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->keychainStatus(), keychain_status::itemNotFound);

    putItem(uuidText(profile.id), "{\"version\":");
    EXPECT_THROW(store.profile(profile.id), TessaronProfileError);

    putItem(uuidText(profile.id), realityProfile().canonicalJSON());
    EXPECT_EQ(keychainFailure([&] { store.profile(profile.id); }), ErrorKind::unexpectedResult);
}

TEST_F(KeychainStoreTest, ListingSummarisesReadableItemsInAccountOrderAndCountsTheRest) {
    EXPECT_EQ(store.listProfiles(), TessaronKeychainListing{});
    const auto tls = tlsProfile();
    const auto reality = realityProfile();
    putProfile(reality);
    putProfile(tls);
    putItem(QStringLiteral("00000000-0000-0000-0000-000000000001"), "not json");
    putItem(QStringLiteral("FFFFFFFF-0000-0000-0000-000000000000"), tls.canonicalJSON());
    putItem(uuidText(tls.id).toLower(), tls.canonicalJSON());

    const auto listing = store.listProfiles();
    EXPECT_EQ(listing.summaries,
              (QList{TessaronProfileSummary::summary(tls), TessaronProfileSummary::summary(reality)}));
    EXPECT_EQ(listing.unreadableCount, 3);

    store.remove(tls.id);
    store.remove(tls.id);
    EXPECT_EQ(store.listProfiles().summaries, QList{TessaronProfileSummary::summary(reality)});
}

TEST(KeychainStoreGroupTest, EveryItemOperationNeedsAConfiguredGroup) {
    FakeKeychain keychain;
    const auto profile = tlsProfile();
    for (const auto& info : {BundleInfo(), infoWithGroup(QStringLiteral("$(TEAM_ID).shared"))}) {
        const TessaronKeychainStore store(keychain, info);
        const std::function<void()> operations[] = {
            [&] { store.listProfiles(); }, [&] { store.profile(profile.id); },
            [&] { store.storeItem(profile.canonicalJSON(), profile.id); },
            [&] {
                store.remove(profile.id);
            }};
        for (const auto& operation : operations)
            EXPECT_EQ(keychainFailure(operation), ErrorKind::missingAccessGroup);
    }
    EXPECT_EQ(keychain.itemCount(), 0);
}

} // namespace
} // namespace tessaron::testing
