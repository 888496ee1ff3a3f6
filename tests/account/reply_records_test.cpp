#include "account/reply_records.hpp"
#include "profiles/decoding_error.hpp"

#include "account_test_support.hpp"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <functional>

using namespace tessaron;

namespace {

const QByteArray account = R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z"})";

QJsonObject object(const QByteArray& text) {
    return QJsonDocument::fromJson(text).object();
}

} // namespace

TEST(ReplyRecordsTest, DecodeOrFailAsAWhole) {
    const std::tuple<const char*, QByteArray, std::function<void(const QJsonValue&)>, bool> cases[] = {
        {"session without evicted", R"({"sessionToken":"t","account":)" + account + "}",
         TessaronAuthSession::fromJSON, true},
        {"session whose account has no creation date",
         R"({"sessionToken":"t","account":{"id":"a","email":"e"}})", TessaronAuthSession::fromJSON, false},
        {"session with a bad evicted device",
         R"({"sessionToken":"t","account":)" + account + R"(,"evicted":[{"deviceName":"Pixel"}]})",
         TessaronAuthSession::fromJSON, false},
        {"challenge", R"({"challengeID":"c1","resendAfterSeconds":30})", TessaronEmailChallenge::fromJSON,
         true},
        {"challenge with a fractional delay", R"({"challengeID":"c1","resendAfterSeconds":30.5})",
         TessaronEmailChallenge::fromJSON, false},
        {"web sign-in start without state", R"({"authorizeURL":"https://id.example/auth"})",
         TessaronOAuthStart::fromJSON, false},
        {"link status with a bad creation date", R"({"active":true,"createdAt":"yesterday"})",
         TessaronSubscriptionLinkStatus::fromJSON, false},
        {"link status with a null fetch date", R"({"active":true,"lastFetchedAt":null})",
         TessaronSubscriptionLinkStatus::fromJSON, true},
        {"link whose url is no URL",
         R"({"url":"https://a b","deviceName":"d","createdAt":"2026-03-05T14:30:00Z"})",
         TessaronSubscriptionLink::fromJSON, false},
        {"link with a date alone",
         R"({"url":"https://a.example/","deviceName":"d","createdAt":"2026-03-05"})",
         TessaronSubscriptionLink::fromJSON, false},
    };
    for (const auto& [name, json, decode, decodes] : cases) {
        if (decodes)
            EXPECT_NO_THROW(decode(object(json))) << name;
        else
            EXPECT_THROW(decode(object(json)), JsonDecodingError) << name;
    }
}

TEST(ReplyRecordsTest, AnAbsentEvictedListIsNotAnEmptyOne) {
    const auto evicted = [](const QByteArray& member) {
        return TessaronAuthSession::fromJSON(
                   object(R"({"sessionToken":"t",)" + member + R"("account":)" + account + "}"))
            .evicted;
    };
    EXPECT_EQ(evicted(""), std::nullopt);
    EXPECT_EQ(evicted(R"("evicted":null,)"), std::nullopt);
    EXPECT_EQ(evicted(R"("evicted":[],)"), QList<TessaronEvictedDevice>{});
}
