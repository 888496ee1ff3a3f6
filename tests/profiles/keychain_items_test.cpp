#include "profiles/installation_identity.hpp"
#include "profiles/installation_identity_error.hpp"
#include "profiles/keychain_access.hpp"
#include "profiles/keychain_error.hpp"
#include "profiles/keychain_store.hpp"
#include "profiles/pending_redemption.hpp"
#include "profiles/profile_error.hpp"

#include "profile_samples.hpp"
#include "support/fake_keychain.hpp"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <variant>

namespace tessaron::testing {
namespace {

using enum TessaronKeychainErrorKind;
using IdentityKind = TessaronInstallationIdentityErrorKind;
using enum TessaronInstallationIdentityErrorKind;
using namespace keychain_status;
using KeychainFailure = std::pair<TessaronKeychainErrorKind, qint32>;

const QString group = QStringLiteral("TEAM.shared");
const QString profileService = QStringLiteral("com.hallmere.tessaron.profile");
const QString pendingService = QStringLiteral("com.hallmere.tessaron.pending-redemption");
const QString identityService = QStringLiteral("com.hallmere.tessaron.installation");

// A Keychain error as its case and the Keychain's status (0 unless the case is `status`).
KeychainFailure failed(TessaronKeychainErrorKind kind, qint32 status = 0) {
    return {kind, status};
}

// The Keychain error an action throws, if any.
template <typename Action> std::optional<KeychainFailure> keychainFailure(Action action) {
    try {
        action();
    } catch (const TessaronKeychainError& error) {
        return KeychainFailure(error.kind(), error.keychainStatus());
    }
    return std::nullopt;
}

QByteArray annotated(const TessaronProfile& profile, TessaronTransport transport) {
    return TessaronKeychainStore::annotatedProfileData(profile, transport);
}

TessaronPendingRedemption sampleRecord() {
    return {
        .code = QStringLiteral("Invite-Code_0123456789abcdefghijklmnop"),
        .redemptionID = QUuid::fromString(QStringLiteral("3f2504e0-4f89-11d3-9a0c-0305e82c3301")),
        .installationID = QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00cf4fc964ff")),
        .startedAt = QDateTime::fromMSecsSinceEpoch(1'717'171'717'250, Qt::UTC),
        .retryUsed = true,
        .redeemedProfileJSON = QByteArray(R"({"id":"A"})"),
        .redeemed = true,
        .commitAttempts = 3,
    };
}

// Every kind of item the application keeps in the Keychain, in one fake Keychain of the bundle's group.
class KeychainItemsTest : public ::testing::Test {
protected:
    void put(const QString& service, const QString& account, const QByteArray& data) {
        keychain.setItem(group, service, account, data);
    }
    void putProfile(const QString& account, const QByteArray& data) { put(profileService, account, data); }
    static QString account(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

    const TessaronProfile tls = TessaronProfile::fromJSON(tlsProfileObject());
    const TessaronProfile reality = TessaronProfile::fromJSON(realityProfileObject());
    FakeKeychain keychain;
    const BundleInfo info{{{QStringLiteral("TessaronKeychainAccessGroup"), group}}, {}};
    TessaronKeychainStore store{keychain, info};
    TessaronPendingRedemptionStore pending{keychain, info};
};

TEST_F(KeychainItemsTest, TheInstallationIdentifierIsCreatedOnceAndReadByEveryLaterCall) {
    const auto first = installationID(keychain, info);
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(keychain.item(group, identityService, "installation"),
              first.toString(QUuid::WithoutBraces).toUtf8());
    EXPECT_EQ(installationID(keychain, info), first);
    EXPECT_EQ(keychain.itemCount(), 1);
}

TEST_F(KeychainItemsTest, TheInstallationIdentifierIsTakenFromAnotherWriterOrFailsWithItsCase) {
    const QByteArray theirs = "6f9619ff-8b86-d011-b42d-00cf4fc964ff";
    // What another writer stored, the statuses the next Keychain calls fail with, and the identifier read or
    // the case it failed with. What was stored stays as it was.
    const std::tuple<const char*, std::optional<QByteArray>, QList<qint32>,
                     std::variant<QByteArray, IdentityKind>>
        rows[] = {
            {"upper case", "6F9619FF-8B86-D011-B42D-00CF4FC964FF", {}, theirs},
            // Two first launches at once: the one that loses the add must take the winner's value.
            {"losing the creation race", theirs, {itemNotFound}, theirs},
            {"nil", "00000000-0000-0000-0000-000000000000", {}, malformedIdentifier},
            {"braced", "{6f9619ff-8b86-d011-b42d-00cf4fc964ff}", {}, malformedIdentifier},
            {"line feed", theirs + '\n', {}, malformedIdentifier},
            {"read fails", std::nullopt, {notAvailable}, keychainUnavailable},
            {"add fails", std::nullopt, {itemNotFound, notAvailable}, keychainUnavailable},
            {"read back finds nothing",
             std::nullopt,
             {itemNotFound, duplicateItem, itemNotFound},
             keychainUnavailable},
        };
    for (const auto& [what, stored, failures, expected] : rows) {
        FakeKeychain keychain;
        if (stored)
            keychain.setItem(group, identityService, "installation", *stored);
        for (const auto status : failures)
            keychain.failNext(status);
        std::variant<QByteArray, IdentityKind> outcome;
        try {
            outcome = installationID(keychain, info).toString(QUuid::WithoutBraces).toUtf8();
        } catch (const TessaronInstallationIdentityError& error) {
            outcome = error.kind();
        }
        EXPECT_EQ(outcome, expected) << what;
        EXPECT_EQ(keychain.item(group, identityService, "installation"), stored) << what;
    }
}

TEST_F(KeychainItemsTest, ProfileAnnotationPutsTheTransportBetweenShortIDAndUserIDWithinTheCap) {
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

TEST_F(KeychainItemsTest, ProfileFailedStepsThrowTheirStatusAndMissingDamagedOrMisfiledItemsFailToRead) {
    // The add fails; an update after a duplicate fails; the reference fails.
    const QList<qint32> steps[] = {{notAvailable}, {duplicateItem, itemNotFound}, {success, badParameter}};
    for (const auto& statuses : steps) {
        for (const auto code : statuses)
            keychain.failNext(code);
        EXPECT_EQ(keychainFailure([&] { store.storeItem(tls.canonicalJSON(), tls.id); }),
                  failed(status, statuses.last()));
    }

    EXPECT_EQ(keychainFailure([&] { store.profile(tls.id); }), failed(status, itemNotFound));
    putProfile(account(tls.id), "{\"version\":");
    EXPECT_THROW(store.profile(tls.id), TessaronProfileError);
    putProfile(account(tls.id), reality.canonicalJSON());
    EXPECT_EQ(keychainFailure([&] { store.profile(tls.id); }), failed(unexpectedResult));
}

TEST_F(KeychainItemsTest, ProfileItemsAreUpdatedInPlaceAndListedInAccountOrderCountingTheUnreadable) {
    EXPECT_EQ(store.listProfiles(), TessaronKeychainListing{});
    auto renamed = reality;
    const auto first = store.storeItem(reality.canonicalJSON(), reality.id);
    renamed.name = QStringLiteral("Zürich 2");
    // Storing again, annotated, updates the item under the same reference.
    const auto second = store.storeItem(annotated(renamed, TessaronTransport::xhttp), reality.id);
    EXPECT_FALSE(first.isEmpty());
    EXPECT_EQ(second, first);
    EXPECT_EQ(keychain.resolve(second).value, annotated(renamed, TessaronTransport::xhttp));
    EXPECT_EQ(store.profile(reality.id), renamed);
    EXPECT_EQ(keychain.itemCount(), 1);

    putProfile(account(tls.id), tls.canonicalJSON());
    putProfile(QStringLiteral("00000000-0000-0000-0000-000000000001"), "not json");
    putProfile(QStringLiteral("FFFFFFFF-0000-0000-0000-000000000000"), tls.canonicalJSON());
    putProfile(account(tls.id).toLower(), tls.canonicalJSON());
    const auto summary = TessaronProfileSummary::summary;
    EXPECT_EQ(store.listProfiles(),
              (TessaronKeychainListing{{summary(tls), summary(renamed)}, 3, {reality.id}}));
    store.remove(tls.id);
    store.remove(tls.id);
    EXPECT_EQ(store.listProfiles().summaries, QList{summary(renamed)});
}

TEST(PendingRedemptionTest, StartDecidesFromTheLoadedRecord) {
    auto unredeemed = sampleRecord();
    unredeemed.redeemed = false;
    unredeemed.redeemedProfileJSON.reset();
    auto redeemedWithoutJSON = sampleRecord();
    redeemedWithoutJSON.redeemedProfileJSON.reset();
    using Start = TessaronRedemptionStart;
    const std::tuple<std::optional<TessaronPendingRedemption>, QString, Start> cases[] = {
        {std::nullopt, sampleRecord().code, Start::fresh()},
        {unredeemed, unredeemed.code, Start::retrySameCode(unredeemed)},
        {unredeemed, unredeemed.code.toUpper(), Start::fresh()},
        {sampleRecord(), QStringLiteral("other"), Start::recoverRedeemed(sampleRecord())},
        {redeemedWithoutJSON, QStringLiteral("other"), Start::redeemedUnrecoverable()},
    };
    for (const auto& [record, code, expected] : cases)
        EXPECT_EQ(TessaronPendingRedemptionStore::start(record, code), expected) << code.toStdString();
}

TEST(PendingRedemptionTest, EncodesTheStoredFormAndReadsBackOnlyUndamagedRecords) {
    const auto record = sampleRecord();
    EXPECT_EQ(
        record.toJSON(),
        R"({"code":"Invite-Code_0123456789abcdefghijklmnop","commitAttempts":3,)"
        R"("installationID":"6F9619FF-8B86-D011-B42D-00CF4FC964FF","redeemed":true,)"
        R"("redeemedProfileJSON":"eyJpZCI6IkEifQ==","redemptionID":"3F2504E0-4F89-11D3-9A0C-0305E82C3301",)"
        R"("retryUsed":true,"startedAt":1717171717.25})");
    auto withoutJSON = record;
    withoutJSON.redeemedProfileJSON.reset();
    EXPECT_FALSE(withoutJSON.toJSON().contains("redeemedProfileJSON"));

    // An undefined value removes the key.
    const auto changed = [valid = QJsonDocument::fromJson(record.toJSON()).object()](
                             const char* key, const QJsonValue& value) {
        auto object = valid;
        value.isUndefined() ? void(object.remove(key)) : void(object.insert(key, value));
        return QJsonDocument(object).toJson();
    };
    const std::tuple<const char*, QByteArray, std::optional<TessaronPendingRedemption>> rows[] = {
        {"as written", record.toJSON(), record},
        {"without profile JSON", withoutJSON.toJSON(), withoutJSON},
        {"profile JSON null", changed("redeemedProfileJSON", QJsonValue::Null), withoutJSON},
        {"code absent", changed("code", QJsonValue::Undefined), std::nullopt},
        {"braced UUID", changed("installationID", "{6F9619FF-8B86-D011-B42D-00CF4FC964FF}"), std::nullopt},
        {"far date", changed("startedAt", 1e300), std::nullopt},
        {"fractional count", changed("commitAttempts", 1.5), std::nullopt},
        {"profile JSON not base64", changed("redeemedProfileJSON", "not base64!"), std::nullopt},
        {"not JSON", "{", std::nullopt},
    };
    for (const auto& [what, json, expected] : rows)
        EXPECT_EQ(TessaronPendingRedemption::fromJSON(json), expected) << what;
}

TEST_F(KeychainItemsTest, PendingRecordsOverTheSizeLimitOrFailuresLeaveTheItemAsItWas) {
    auto record = sampleRecord();
    record.code.clear();
    record.code = QString(TessaronPendingRedemptionStore::maxRecordBytes - record.toJSON().size(), u'a');
    ASSERT_EQ(record.toJSON().size(), 4096);
    pending.save(record);
    EXPECT_EQ(pending.load(), record);

    auto larger = record;
    larger.code.append(u'a');
    EXPECT_EQ(keychainFailure([&] { pending.save(larger); }), failed(unexpectedResult));
    EXPECT_EQ(pending.load(), record);

    // A failed step throws its case.
    const auto unavailable = [&](auto action) {
        keychain.failNext(notAvailable);
        return keychainFailure(action);
    };
    for (const auto& failure : {unavailable([&] { pending.save(sampleRecord()); }),
                                unavailable([&] { pending.load(); }), unavailable([&] { pending.remove(); })})
        EXPECT_EQ(failure, failed(status, notAvailable));
    EXPECT_EQ(pending.load(), record);

    put(pendingService, "pending", "{\"code\":");
    EXPECT_EQ(keychainFailure([&] { pending.load(); }), failed(unexpectedResult));
    EXPECT_EQ(keychain.item(group, pendingService, "pending"), QByteArray("{\"code\":"));
}

// Every item query is built through one helper that needs the group; one operation of each store shows it.
TEST_F(KeychainItemsTest, EveryItemNeedsAConfiguredGroup) {
    const TessaronKeychainStore profiles(keychain, BundleInfo());
    const TessaronPendingRedemptionStore redemptions(keychain, BundleInfo());
    EXPECT_EQ(keychainFailure([&] { profiles.listProfiles(); }), failed(missingAccessGroup));
    EXPECT_EQ(keychainFailure([&] { redemptions.load(); }), failed(missingAccessGroup));
    try {
        installationID(keychain, BundleInfo());
        ADD_FAILURE() << "an identifier without a group";
    } catch (const TessaronInstallationIdentityError& error) {
        EXPECT_EQ(error.kind(), accessGroupUnavailable);
    }
    EXPECT_EQ(keychain.itemCount(), 0);
}

TEST(KeychainAccessGroupTest, IsTrimmedTextAndNeverAnUnexpandedSetting) {
    const std::tuple<QVariant, std::optional<QString>> cases[] = {
        {QVariant(), std::nullopt},
        {QStringLiteral(" \t\n"), std::nullopt},
        {QStringLiteral("$(TEAM_ID).com.hallmere.tessaron"), std::nullopt},
        {QStringLiteral("  TEAM.shared\n"), QStringLiteral("TEAM.shared")},
        {QStringLiteral("team$shared"), QStringLiteral("team$shared")},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(
            keychainAccessGroup(BundleInfo(
                value.isValid() ? QVariantMap{{"TessaronKeychainAccessGroup", value}} : QVariantMap(), {})),
            expected)
            << value.toString().toStdString();
    EXPECT_EQ(TessaronKeychainError::status(-25308).userMessage(),
              QStringLiteral("The Keychain could not complete the request (status -25308)."));
}

} // namespace
} // namespace tessaron::testing
