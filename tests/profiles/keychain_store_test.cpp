#include "profiles/keychain_store.hpp"
#include "profiles/profile_error.hpp"

#include "keychain_failure.hpp"
#include "profile_samples.hpp"
#include "support/fake_keychain.hpp"

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using enum TessaronKeychainErrorKind;

const QString group = QStringLiteral("TEAM.shared");

QByteArray annotated(const TessaronProfile& profile, TessaronTransport transport) {
    return TessaronKeychainStore::annotatedProfileData(profile, transport);
}

class KeychainStoreTest : public ::testing::Test {
protected:
    const TessaronProfile tls = TessaronProfile::fromJSON(tlsProfileObject());
    const TessaronProfile reality = TessaronProfile::fromJSON(realityProfileObject());
    void put(const QString& account, const QByteArray& data) {
        keychain.setItem(group, QStringLiteral("com.hallmere.tessaron.profile"), account, data);
    }
    static QString account(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

    FakeKeychain keychain;
    TessaronKeychainStore store{keychain,
                                BundleInfo({{QStringLiteral("TessaronKeychainAccessGroup"), group}}, {})};
};

TEST_F(KeychainStoreTest, AnnotationPutsTheTransportBetweenShortIDAndUserIDWithinTheCap) {
    auto expected = reality.canonicalJSON();
    expected.insert(expected.indexOf(R"(,"userID")"), R"(,"transport":"xhttp")");
    EXPECT_EQ(annotated(reality, TessaronTransport::xhttp), expected);

    auto large = tls;
    large.name.clear();
    large.name = QString(65'536 - annotated(large, TessaronTransport::tcp).size(), u'n');
    EXPECT_EQ(annotated(large, TessaronTransport::tcp).size(), 65'536);
    large.name.append(u'n');
    // Too large, and xhttp for a profile without the section.
    for (const auto& [profile, transport] :
         {std::pair(large, TessaronTransport::tcp), std::pair(tls, TessaronTransport::xhttp)})
        EXPECT_EQ(keychainFailure([&] { annotated(profile, transport); }),
                  failed(invalidTransportAnnotation));
}

TEST_F(KeychainStoreTest, RestoringAnAnnotatedItemUpdatesItUnderTheSameReference) {
    auto profile = reality;
    const auto first = store.storeItem(profile.canonicalJSON(), profile.id);
    profile.name = QStringLiteral("Zürich 2");
    const auto second = store.storeItem(annotated(profile, TessaronTransport::xhttp), profile.id);

    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(second, first);
    EXPECT_EQ(keychain.resolve(second).value, annotated(profile, TessaronTransport::xhttp));
    EXPECT_EQ(store.profile(profile.id), profile);
    EXPECT_EQ(keychain.itemCount(), 1);
}

TEST_F(KeychainStoreTest, FailedStepsThrowTheirStatusAndMissingDamagedOrMisfiledItemsFailToRead) {
    // The add fails; an update after a duplicate fails; the reference fails.
    const QList<qint32> steps[] = {{keychain_status::notAvailable},
                                   {keychain_status::duplicateItem, keychain_status::itemNotFound},
                                   {keychain_status::success, keychain_status::badParameter}};
    for (const auto& statuses : steps) {
        for (const auto code : statuses)
            keychain.failNext(code);
        EXPECT_EQ(keychainFailure([&] { store.storeItem(tls.canonicalJSON(), tls.id); }),
                  failed(status, statuses.last()));
    }

    EXPECT_EQ(keychainFailure([&] { store.profile(tls.id); }), failed(status, keychain_status::itemNotFound));
    put(account(tls.id), "{\"version\":");
    EXPECT_THROW(store.profile(tls.id), TessaronProfileError);
    put(account(tls.id), reality.canonicalJSON());
    EXPECT_EQ(keychainFailure([&] { store.profile(tls.id); }), failed(unexpectedResult));
}

TEST_F(KeychainStoreTest, ListingSummarisesReadableItemsInAccountOrderAndCountsTheRest) {
    EXPECT_EQ(store.listProfiles(), TessaronKeychainListing{});
    put(account(reality.id), reality.canonicalJSON());
    put(account(tls.id), tls.canonicalJSON());
    put(QStringLiteral("00000000-0000-0000-0000-000000000001"), "not json");
    put(QStringLiteral("FFFFFFFF-0000-0000-0000-000000000000"), tls.canonicalJSON());
    put(account(tls.id).toLower(), tls.canonicalJSON());

    const auto summary = TessaronProfileSummary::summary;
    EXPECT_EQ(store.listProfiles(), (TessaronKeychainListing{{summary(tls), summary(reality)}, 3}));
    store.remove(tls.id);
    store.remove(tls.id);
    EXPECT_EQ(store.listProfiles().summaries, QList{summary(reality)});
}

TEST_F(KeychainStoreTest, EveryItemOperationNeedsAConfiguredGroup) {
    const TessaronKeychainStore without(keychain, BundleInfo());
    EXPECT_EQ(keychainFailure([&] { without.listProfiles(); }), failed(missingAccessGroup));
    EXPECT_EQ(keychainFailure([&] { without.profile(tls.id); }), failed(missingAccessGroup));
    EXPECT_EQ(keychainFailure([&] { without.storeItem(tls.canonicalJSON(), tls.id); }),
              failed(missingAccessGroup));
    EXPECT_EQ(keychainFailure([&] { without.remove(tls.id); }), failed(missingAccessGroup));
    EXPECT_EQ(keychain.itemCount(), 0);
}

} // namespace
} // namespace tessaron::testing
