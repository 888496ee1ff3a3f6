#include "profiles/pending_redemption.hpp"

#include "keychain_failure.hpp"
#include "support/fake_keychain.hpp"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <functional>

namespace tessaron::testing {
namespace {

const QString group = QStringLiteral("TEAM.shared");
const QString service = QStringLiteral("com.hallmere.tessaron.pending-redemption");
const QString account = QStringLiteral("pending");

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

class PendingRedemptionStoreTest : public ::testing::Test {
protected:
    std::optional<QByteArray> storedItem() const { return keychain.item(group, service, account); }

    FakeKeychain keychain;
    TessaronPendingRedemptionStore store{
        keychain, BundleInfo({{QStringLiteral("TessaronKeychainAccessGroup"), group}}, {})};
};

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

TEST(PendingRedemptionTest, EncodesTheStoredFormAndReadsItBack) {
    const auto record = sampleRecord();
    EXPECT_EQ(
        record.toJSON(),
        R"({"code":"Invite-Code_0123456789abcdefghijklmnop","commitAttempts":3,)"
        R"("installationID":"6F9619FF-8B86-D011-B42D-00CF4FC964FF","redeemed":true,)"
        R"("redeemedProfileJSON":"eyJpZCI6IkEifQ==","redemptionID":"3F2504E0-4F89-11D3-9A0C-0305E82C3301",)"
        R"("retryUsed":true,"startedAt":1717171717.25})");
    EXPECT_EQ(TessaronPendingRedemption::fromJSON(record.toJSON()), record);

    auto withoutJSON = record;
    withoutJSON.redeemedProfileJSON.reset();
    EXPECT_FALSE(withoutJSON.toJSON().contains("redeemedProfileJSON"));
    EXPECT_EQ(TessaronPendingRedemption::fromJSON(withoutJSON.toJSON()), withoutJSON);
}

TEST(PendingRedemptionTest, DecodingRefusesDamagedRecords) {
    const auto valid = QJsonDocument::fromJson(sampleRecord().toJSON()).object();
    // An undefined value removes the key.
    const std::pair<const char*, QJsonValue> cases[] = {
        {"code", QJsonValue::Undefined},
        {"installationID", QStringLiteral("{6F9619FF-8B86-D011-B42D-00CF4FC964FF}")},
        {"startedAt", 1e300},
        {"commitAttempts", 1.5},
        {"redeemedProfileJSON", QStringLiteral("not base64!")},
    };
    for (const auto& [key, value] : cases) {
        auto object = valid;
        if (value.isUndefined())
            object.remove(QString::fromLatin1(key));
        else
            object.insert(QString::fromLatin1(key), value);
        EXPECT_FALSE(TessaronPendingRedemption::fromJSON(QJsonDocument(object).toJson())) << key;
    }
    EXPECT_FALSE(TessaronPendingRedemption::fromJSON("{"));

    auto nullProfile = valid;
    nullProfile.insert(QStringLiteral("redeemedProfileJSON"), QJsonValue::Null);
    const auto decoded = TessaronPendingRedemption::fromJSON(QJsonDocument(nullProfile).toJson());
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->redeemedProfileJSON);
}

TEST_F(PendingRedemptionStoreTest, RefusesARecordOverTheSizeLimitWithoutWriting) {
    auto record = sampleRecord();
    record.code.clear();
    const auto overhead = record.toJSON().size();

    record.code = QString(TessaronPendingRedemptionStore::maxRecordBytes - overhead, u'a');
    ASSERT_EQ(record.toJSON().size(), 4096);
    store.save(record);
    EXPECT_EQ(store.load(), record);

    auto larger = record;
    larger.code.append(u'a');
    EXPECT_EQ(keychainFailure([&] { store.save(larger); }), TessaronKeychainErrorKind::unexpectedResult);
    EXPECT_EQ(store.load(), record);
}

TEST_F(PendingRedemptionStoreTest, FailuresThrowTheirCaseAndLeaveTheItemAsItWas) {
    const TessaronPendingRedemptionStore withoutGroup(keychain, BundleInfo());
    EXPECT_EQ(keychainFailure([&] { withoutGroup.load(); }), TessaronKeychainErrorKind::missingAccessGroup);
    const std::function<void()> actions[] = {[&] { store.save(sampleRecord()); }, [&] { store.load(); },
                                             [&] {
                                                 store.remove();
                                             }};
    for (const auto& action : actions) {
        keychain.failNext(keychain_status::notAvailable);
        const auto error = keychainError(action);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->keychainStatus(), keychain_status::notAvailable);
    }
    EXPECT_EQ(keychain.itemCount(), 0);

    keychain.setItem(group, service, account, "{\"code\":");
    EXPECT_EQ(keychainFailure([&] { store.load(); }), TessaronKeychainErrorKind::unexpectedResult);
    EXPECT_EQ(storedItem(), QByteArray("{\"code\":"));
}

} // namespace
} // namespace tessaron::testing
