#include "profile_samples.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/json_values.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile_error.hpp"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromUtf8(text), Qt::ISODateWithMs);
}

TEST(RosterRecordsTest, DecodesARosterReplyWithOrWithoutItsOptionalParts) {
    const TessaronRosterResponse roster = TessaronRosterResponse::decode(bytesOf(rosterObject()));
    ASSERT_EQ(roster.profiles.size(), 2);
    EXPECT_EQ(roster.profiles[1].security, TessaronProfile::Security::reality);

    const QUuid tls = QUuid::fromString(tlsID);
    const QUuid reality = QUuid::fromString(realityID);
    // Keyed by UUIDs in either letter case, dated with an offset or not.
    EXPECT_EQ(
        roster.health,
        (QHash<QUuid, TessaronNodeHealth>{
            {tls, {true, utc("2024-05-01T12:00:00.250Z"), false, std::nullopt, 0.25, false}},
            {reality,
             {false, utc("2024-05-01T12:00:00Z"), true, utc("2024-06-01T00:00:00Z"), std::nullopt, true}}}));
    EXPECT_EQ(roster.geo[tls], (TessaronNodeGeo{"CH", 47.37, 8.54, TessaronNodeGeo::Purpose::exit}));
    EXPECT_EQ(roster.geo[reality],
              (TessaronNodeGeo{"NL", std::nullopt, std::nullopt, TessaronNodeGeo::Purpose::homebound}));
    EXPECT_EQ(roster.usage, (TessaronDataUsage{5'000'000'000, 8'000'000'000, utc("2024-06-01T00:00:00Z")}));
    EXPECT_EQ(roster.clientGeo, (TessaronClientGeo{"DE", "Berlin", 52.52, 13.4}));

    const TessaronRosterResponse bare = TessaronRosterResponse::decode(
        bytesOf({{"profiles", QJsonArray()}, {"usage", QJsonValue::Null}, {"clientGeo", QJsonValue::Null}}));
    EXPECT_FALSE(bare.usage || bare.clientGeo) << "optional parts may be absent or null";
}

TEST(RecordDateTest, ReadsTheInternetFormWithItsOffsetAndNothingLooser) {
    const std::pair<const char*, const char*> read[] = {
        {"2024-05-01T12:00:00Z", "2024-05-01T12:00:00.000Z"},
        {"2024-05-01T12:00:00.25Z", "2024-05-01T12:00:00.250Z"},
        {"2024-05-01T14:00:00.250+02:00", "2024-05-01T12:00:00.250Z"},
        {"2024-05-01T11:30:00-00:30", "2024-05-01T12:00:00.000Z"},
    };
    for (const auto& [text, instant] : read)
        EXPECT_EQ(dateFromText(QString::fromUtf8(text)), utc(instant)) << text;
    for (const char* refused :
         {"2024-05-01T12:00:00", "2024-05-01T12:00:00.250", "2024-05-01", "2024-05-01T12:00+02:00",
          "2024-05-01 12:00:00Z", "2024-05-01T12:00:00+0100", "2024-05-01T12:00:00+01",
          "2024-05-01T12:00:00,250Z", "2024-05-01T24:00:00Z", "2024-02-30T12:00:00Z"})
        EXPECT_EQ(dateFromText(QString::fromUtf8(refused)), std::nullopt) << refused;
}

TEST(RosterRecordsTest, RefusesAMalformedReplyAsAWhole) {
    using enum JsonDecodingErrorKind;
    const QJsonObject roster = rosterObject();
    const auto withHealth = [&](const QJsonObject& health) {
        return bytesOf(with(roster, "health", QJsonObject{{tlsID, health}}));
    };
    const std::tuple<const char*, QByteArray, JsonDecodingErrorKind, const char*> cases[] = {
        {"not JSON", "{\"profiles\":", dataCorrupted, ""},
        {"profiles absent", bytesOf(without(roster, "profiles")), keyNotFound, "profiles"},
        {"health keyed by a name", bytesOf(with(roster, "health", QJsonObject{{"node-1", healthObject()}})),
         dataCorrupted, "health"},
        {"load above 1", withHealth(with(healthObject(), "load", 1.01)), dataCorrupted, "load"},
        {"up absent", withHealth(without(healthObject(), "up")), keyNotFound, "up"},
        {"date without zone", withHealth(with(healthObject(), "checkedAt", "2024-05-01T12:00:00")),
         dataCorrupted, "checkedAt"},
        {"unknown purpose",
         bytesOf(
             with(roster, "geo", QJsonObject{{tlsID, QJsonObject{{"country", "CH"}, {"purpose", "relay"}}}})),
         dataCorrupted, "purpose"},
        {"usage beyond 64 bits",
         bytesOf(with(roster, "usage", with(roster["usage"].toObject(), "capBytes", 1e19))), dataCorrupted,
         "capBytes"},
    };
    for (const auto& [what, body, kind, key] : cases) {
        try {
            TessaronRosterResponse::decode(body);
            ADD_FAILURE() << what << " was accepted";
        } catch (const JsonDecodingError& error) {
            EXPECT_EQ(error.kind(), kind) << what;
            EXPECT_EQ(error.key(), QString::fromUtf8(key)) << what;
        }
    }
}

TEST(RosterRecordsTest, EncodesWhatItDecodesWithStableDates) {
    const TessaronRosterResponse roster = TessaronRosterResponse::decode(bytesOf(rosterObject()));
    const QJsonObject encoded = roster.toJSON();
    EXPECT_EQ(TessaronRosterResponse::fromJSON(encoded), roster);

    const QJsonObject health = encoded["health"].toObject()[realityID.toUpper()].toObject();
    EXPECT_EQ(health["checkedAt"], "2024-05-01T12:00:00.000Z");
    EXPECT_EQ(health["resumesAt"], "2024-06-01T00:00:00.000Z");
    EXPECT_FALSE(health.contains("load"));
    EXPECT_FALSE(encoded["geo"].toObject()[realityID.toUpper()].toObject().contains("lat"));
}

TEST(RosterRecordsTest, ARedeemReplyMayLackItsListButNotItsProfile) {
    const auto single = TessaronRedeemResult::decode(
        bytesOf({{"profile", realityProfileObject()}, {"profiles", QJsonValue::Null}}));
    EXPECT_FALSE(single.profiles);
    EXPECT_EQ(TessaronRedeemResult::fromJSON(single.toJSON()), single);
    EXPECT_THROW(TessaronRedeemResult::decode(bytesOf({{"profiles", QJsonArray()}})), JsonDecodingError);
}

TEST(DataUsageTest, LevelFollowsTheShareOfTheCap) {
    using enum TessaronDataUsage::Level;
    const std::tuple<qint64, qint64, TessaronDataUsage::Level> cases[] = {
        {0, 0, exhausted},       // a cap of 0 is used up from the start
        {799, 1000, normal},     // 79.9 %
        {800, 1000, warning},    // 80 %
        {1000, 1000, exhausted}, // equal
        {-5, 1000, normal},      // negative use
        {0, -1, exhausted},      // at or above a negative cap
        {std::numeric_limits<qint64>::max() - 1, std::numeric_limits<qint64>::max(), warning},
    };
    for (const auto& [used, cap, expected] : cases)
        EXPECT_EQ((TessaronDataUsage{used, cap, {}}.level()), expected) << used << " of " << cap;

    // Counters decode over the whole 64-bit range, beyond a double's precision.
    constexpr qint64 largest = std::numeric_limits<qint64>::max();
    const TessaronDataUsage usage = TessaronDataUsage::fromJSON(
        QJsonObject{{"usedBytes", largest - 1}, {"capBytes", largest}, {"resetsAt", "2024-06-01T00:00:00Z"}});
    EXPECT_EQ(usage.usedBytes, largest - 1);
    EXPECT_EQ(usage.capBytes, largest);
}

} // namespace
} // namespace tessaron::testing
