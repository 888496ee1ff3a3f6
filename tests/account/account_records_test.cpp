#include "account/account_records.hpp"
#include "profiles/decoding_error.hpp"

#include "account_test_support.hpp"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace tessaron;

namespace {

QJsonValue jsonValue(const QByteArray& text) {
    return QJsonDocument::fromJson("[" + text + "]").array().first();
}

// A valid account with one key replaced, or removed when the value is none.
QJsonObject accountWith(const QString& key, const std::optional<QByteArray>& value) {
    QJsonObject object{{"id", "acct-1"}, {"email", "ann@example.com"}, {"createdAt", "2026-03-05T14:30:00Z"}};
    if (value)
        object.insert(key, jsonValue(*value));
    else
        object.remove(key);
    return object;
}

QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

QJsonObject grantWithStatus(const QString& id, const QString& status,
                            const QJsonValue& expiresAt = QJsonValue::Undefined) {
    QJsonObject grant{{"id", id}, {"type", "subscription"}, {"status", status}};
    if (!expiresAt.isUndefined())
        grant.insert("expiresAt", expiresAt);
    return grant;
}

} // namespace

TEST(AccountDecodingTest, LenientFieldsFallBackInsteadOfFailing) {
    const std::tuple<const char*, std::optional<QByteArray>, qint64, bool, QStringList> cases[] = {
        {"sessions", std::nullopt, 0, true, {}},
        {"sessions", "3", 3, true, {}},
        {"sessions", "[{}, \"x\", null]", 3, true, {}},
        {"sessions", "2.5", 0, true, {}},
        {"subscriptionLinks", "null", 0, true, {}},
        {"subscriptionLinks", "false", 0, false, {}},
        {"providers", "[\"email\", \"apple\"]", 0, true, {"email", "apple"}},
        {"grants", "null", 0, true, {}},
    };
    for (const auto& [key, value, sessions, subscriptionLinks, providers] : cases) {
        SCOPED_TRACE(std::string(key) + " = " + value.value_or("absent").toStdString());
        const auto account = TessaronAccount::fromJSON(accountWith(key, value));
        EXPECT_EQ(account.sessions, sessions);
        EXPECT_EQ(account.subscriptionLinks, subscriptionLinks);
        EXPECT_EQ(account.providers, providers);
        EXPECT_TRUE(account.grants.isEmpty());
    }
}

TEST(AccountDecodingTest, StrictFieldsFailTheWholeAccount) {
    using enum JsonDecodingErrorKind;
    const std::tuple<const char*, std::optional<QByteArray>, JsonDecodingErrorKind, const char*> cases[] = {
        {"id", std::nullopt, keyNotFound, "id"},
        {"email", "5", typeMismatch, "email"},
        {"createdAt", "\"2026-03-05\"", dataCorrupted, "createdAt"},
        {"createdAt", "\"2026-03-05T14:30:00\"", dataCorrupted, "createdAt"},
        {"subscriptionLinks", "\"yes\"", typeMismatch, "subscriptionLinks"},
        {"providers", "[\"email\", 1]", typeMismatch, "providers"},
        {"grants", R"([{"id":"g1","type":"t","status":"active"},{"id":"g2","type":"t"}])", keyNotFound,
         "status"},
        {"grants", R"([{"id":"g1","type":"t","status":"active","label":7}])", typeMismatch, "label"},
    };
    for (const auto& [key, value, kind, failingKey] : cases) {
        SCOPED_TRACE(std::string(key) + " = " + value.value_or("absent").toStdString());
        try {
            TessaronAccount::fromJSON(accountWith(key, value));
            ADD_FAILURE() << "decoded";
        } catch (const JsonDecodingError& error) {
            EXPECT_EQ(error.kind(), kind);
            EXPECT_EQ(error.key(), QString::fromUtf8(failingKey));
        }
    }
}

TEST(AccountDecodingTest, TheActiveGrantIsTheFirstExactlyActiveOneAndAnUnreadableEndIsNone) {
    auto object = accountWith("grants", "[]");
    EXPECT_EQ(TessaronAccount::fromJSON(object).activeGrant(), std::nullopt);

    object.insert("grants", QJsonArray{grantWithStatus("g1", "expired", "2026-04-01T00:00:00Z"),
                                       grantWithStatus("g2", "ACTIVE", 1775001600),
                                       grantWithStatus("g3", "active", QJsonValue::Null),
                                       grantWithStatus("g4", "active")});
    const auto account = TessaronAccount::fromJSON(object);
    ASSERT_TRUE(account.activeGrant());
    EXPECT_EQ(account.activeGrant()->id, QStringLiteral("g3"));
    const QList<std::optional<QDateTime>> ends{utc(2026, 4, 1, 0, 0, 0), std::nullopt, std::nullopt,
                                               std::nullopt};
    for (qsizetype i = 0; i < ends.size(); ++i)
        EXPECT_EQ(account.grants[i].expiresAt, ends[i]) << i;
}

TEST(AccountEncodingTest, ReadsBackWhatItWrites) {
    const TessaronAccount account{
        .id = "acct-1",
        .email = "ann@example.com",
        .providers = {"email", "google"},
        .createdAt = utc(2026, 3, 5, 14, 30, 0, 250),
        .grants = {{.id = "g1",
                    .type = "subscription",
                    .status = "active",
                    .label = "Family",
                    .expiresAt = utc(2027, 1, 1, 0, 0, 0)},
                   {.id = "g2",
                    .type = "trial",
                    .status = "expired",
                    .label = std::nullopt,
                    .expiresAt = std::nullopt}},
        .sessions = 2,
        .subscriptionLinks = false,
    };
    const auto json = account.toJSON();
    EXPECT_EQ(TessaronAccount::fromJSON(json), account);
    // A grant leaves out what it does not have rather than writing null.
    EXPECT_EQ(json["grants"].toArray()[1].toObject().keys(), QStringList({"id", "status", "type"}));
}

TEST(ProvidersDecodingTest, MissingFlagsAreOffAndForeignTypesFail) {
    EXPECT_EQ(TessaronProviders::fromJSON(QJsonObject{}), TessaronProviders{});
    EXPECT_EQ(TessaronProviders::fromJSON(
                  QJsonObject{{"email", true}, {"whop", true}, {"google", QJsonValue::Null}}),
              (TessaronProviders{.email = true, .apple = false, .google = false, .whop = true}));
    EXPECT_THROW(TessaronProviders::fromJSON(QJsonObject{{"apple", "yes"}}), JsonDecodingError);
}
