#include "profiles/pending_redemption.hpp"

#include "keychain_failure.hpp"
#include "support/fake_keychain.hpp"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

using enum TessaronKeychainErrorKind;

const QString group = QStringLiteral("TEAM.shared");

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

TEST_F(PendingRedemptionStoreTest, RefusesARecordOverTheSizeLimitWithoutWriting) {
    auto record = sampleRecord();
    record.code.clear();
    record.code = QString(TessaronPendingRedemptionStore::maxRecordBytes - record.toJSON().size(), u'a');
    ASSERT_EQ(record.toJSON().size(), 4096);
    store.save(record);
    EXPECT_EQ(store.load(), record);

    auto larger = record;
    larger.code.append(u'a');
    EXPECT_EQ(keychainFailure([&] { store.save(larger); }), failed(unexpectedResult));
    EXPECT_EQ(store.load(), record);
}

TEST_F(PendingRedemptionStoreTest, FailuresThrowTheirCaseAndLeaveTheItemAsItWas) {
    const TessaronPendingRedemptionStore withoutGroup(keychain, BundleInfo());
    EXPECT_EQ(keychainFailure([&] { withoutGroup.load(); }), failed(missingAccessGroup));
    const auto unavailable = [&](auto action) {
        keychain.failNext(keychain_status::notAvailable);
        return keychainFailure(action);
    };
    for (const auto& failure : {unavailable([&] { store.save(sampleRecord()); }),
                                unavailable([&] { store.load(); }), unavailable([&] { store.remove(); })})
        EXPECT_EQ(failure, failed(status, keychain_status::notAvailable));
    EXPECT_EQ(keychain.itemCount(), 0);

    const auto service = QStringLiteral("com.hallmere.tessaron.pending-redemption");
    keychain.setItem(group, service, "pending", "{\"code\":");
    EXPECT_EQ(keychainFailure([&] { store.load(); }), failed(unexpectedResult));
    EXPECT_EQ(keychain.item(group, service, "pending"), QByteArray("{\"code\":"));
}

} // namespace
} // namespace tessaron::testing
