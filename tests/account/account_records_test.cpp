#include "account/account_records.hpp"
#include "account/device_name.hpp"
#include "account/device_slot.hpp"
#include "account/login_flow.hpp"
#include "account/oauth_callback.hpp"
#include "account/reply_records.hpp"
#include "account/session_token_store.hpp"
#include "account/subscription_link_store.hpp"
#include "profiles/decoding_error.hpp"
#include "support/fake_keychain.hpp"

#include "account_test_support.hpp"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <functional>

using namespace tessaron;
using namespace tessaron::testing;

namespace {

using Kind = TessaronAccountErrorKind;
using E = TessaronAccountError;
using Slot = TessaronDeviceSlot;
using Taken = TessaronDeviceSlotError::Taken;
using Locked = TessaronDeviceSlotError::Locked;

const QByteArray accountJson =
    R"({"id":"acct-1","email":"ann@example.com","createdAt":"2026-03-05T14:30:00Z"})";
const QDateTime swapAt(QDate(2026, 3, 5), QTime(14, 30), Qt::UTC);

QJsonValue jsonValue(const QByteArray& text) {
    return QJsonDocument::fromJson("[" + text + "]").array().first();
}

// A valid account with one key replaced, or removed when the value is none.
QJsonObject accountWith(const QString& key, const std::optional<QByteArray>& value) {
    auto object = jsonValue(accountJson).toObject();
    if (value)
        object.insert(key, jsonValue(*value));
    else
        object.remove(key);
    return object;
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
        EXPECT_EQ(
            std::tuple(account.sessions, account.subscriptionLinks, account.providers, account.grants.size()),
            std::tuple(sessions, subscriptionLinks, providers, 0));
    }
}

TEST(AccountDecodingTest, StrictFieldsFailTheWholeAccount) {
    using enum JsonDecodingErrorKind;
    // Only an unreadable date says why.
    const QString notADate = QStringLiteral("Not an ISO8601 date.");
    const std::tuple<const char*, std::optional<QByteArray>, JsonDecodingErrorKind, const char*, QString>
        cases[] = {
            {"id", std::nullopt, keyNotFound, "id", {}},
            {"email", "5", typeMismatch, "email", {}},
            {"createdAt", "\"2026-03-05\"", dataCorrupted, "createdAt", notADate},
            {"createdAt", "\"2026-03-05T14:30:00\"", dataCorrupted, "createdAt", notADate},
            {"createdAt", "1772721000", typeMismatch, "createdAt", {}},
            {"subscriptionLinks", "\"yes\"", typeMismatch, "subscriptionLinks", {}},
            {"providers", "[\"email\", 1]", typeMismatch, "providers", {}},
            {"grants",
             R"([{"id":"g1","type":"t","status":"active"},{"id":"g2","type":"t"}])",
             keyNotFound,
             "status",
             {}},
            {"grants", R"([{"id":"g1","type":"t","status":"active","label":7}])", typeMismatch, "label", {}},
        };
    for (const auto& [key, value, kind, failingKey, description] : cases) {
        SCOPED_TRACE(std::string(key) + " = " + value.value_or("absent").toStdString());
        try {
            TessaronAccount::fromJSON(accountWith(key, value));
            ADD_FAILURE() << "decoded";
        } catch (const JsonDecodingError& error) {
            EXPECT_EQ(std::tuple(error.kind(), error.key(), error.description()),
                      std::tuple(kind, QString::fromUtf8(failingKey), description));
        }
    }
}

TEST(AccountDecodingTest, TheActiveGrantIsTheFirstExactlyActiveOneAndAnUnreadableEndIsNone) {
    EXPECT_EQ(TessaronAccount::fromJSON(accountWith("grants", "[]")).activeGrant(), std::nullopt);
    const auto account = TessaronAccount::fromJSON(accountWith(
        "grants",
        R"([{"id":"g1","type":"t","status":"expired","expiresAt":"2026-04-01T00:00:00Z"},)"
        R"({"id":"g2","type":"t","status":"ACTIVE","expiresAt":1775001600},)"
        R"({"id":"g3","type":"t","status":"active","expiresAt":null},{"id":"g4","type":"t","status":"active"}])"));
    EXPECT_EQ(account.activeGrant().value_or(TessaronAccount::Grant{}).id, QStringLiteral("g3"));
    QList<std::optional<QDateTime>> ends;
    for (const auto& grant : account.grants)
        ends.append(grant.expiresAt);
    EXPECT_EQ(ends, (QList<std::optional<QDateTime>>{
                        QDateTime(QDate(2026, 4, 1), QTime(0, 0), Qt::UTC), {}, {}, {}}));
}

// A grant leaves out what it does not have rather than writing null.
TEST(AccountEncodingTest, WritesBackWhatItReads) {
    const auto json = jsonValue(
        R"({"id":"acct-1","email":"ann@example.com","providers":["email","google"],)"
        R"("createdAt":"2026-03-05T14:30:00.250Z","sessions":2,"subscriptionLinks":false,"grants":[)"
        R"({"id":"g1","type":"subscription","status":"active","label":"Family","expiresAt":"2027-01-01T00:00:00.000Z"},)"
        R"({"id":"g2","type":"trial","status":"expired"}]})");
    EXPECT_EQ(TessaronAccount::fromJSON(json).toJSON(), json.toObject());
}

TEST(ProvidersDecodingTest, MissingFlagsAreOffAndForeignTypesFail) {
    EXPECT_EQ(TessaronProviders::fromJSON(QJsonObject{}), TessaronProviders{});
    EXPECT_EQ(TessaronProviders::fromJSON(
                  QJsonObject{{"email", true}, {"whop", true}, {"google", QJsonValue::Null}}),
              (TessaronProviders{.email = true, .apple = false, .google = false, .whop = true}));
    EXPECT_THROW(TessaronProviders::fromJSON(QJsonObject{{"apple", "yes"}}), JsonDecodingError);
}

TEST(ReplyRecordsTest, DecodeOrFailAsAWholeAndAnAbsentEvictedListIsNotAnEmptyOne) {
    using Decode = std::function<void(const QJsonValue&)>;
    const Decode session = TessaronAuthSession::fromJSON, challenge = TessaronEmailChallenge::fromJSON,
                 status = TessaronSubscriptionLinkStatus::fromJSON, link = TessaronSubscriptionLink::fromJSON;
    const std::tuple<Decode, QByteArray, bool> cases[] = {
        {session, R"({"sessionToken":"t","account":{"id":"a","email":"e"}})", false}, // no creation date
        {session, R"({"sessionToken":"t","account":)" + accountJson + R"(,"evicted":[{"deviceName":"P"}]})",
         false},
        {challenge, R"({"challengeID":"c1","resendAfterSeconds":30.5})", false},
        {TessaronOAuthStart::fromJSON, R"({"authorizeURL":"https://id.example/auth"})", false},
        {status, R"({"active":true,"createdAt":"yesterday"})", false},
        {status, R"({"active":true,"lastFetchedAt":null})", true},
        {link, R"({"url":"https://a b","deviceName":"d","createdAt":"2026-03-05T14:30:00Z"})", false},
        {link, R"({"url":"https://a.example/","deviceName":"d","createdAt":"2026-03-05"})", false},
    };
    for (const auto& [decode, json, decodes] : cases) {
        if (decodes)
            EXPECT_NO_THROW(decode(jsonValue(json))) << json.constData();
        else
            EXPECT_THROW(decode(jsonValue(json)), JsonDecodingError) << json.constData();
    }
    // An absent evicted list is not an empty one.
    const auto evicted = [](const QByteArray& member) {
        return TessaronAuthSession::fromJSON(
                   jsonValue(R"({"sessionToken":"t",)" + member + R"("account":)" + accountJson + "}"))
            .evicted;
    };
    EXPECT_EQ(QList({evicted(""), evicted(R"("evicted":null,)"), evicted(R"("evicted":[],)")}),
              QList<std::optional<QList<TessaronEvictedDevice>>>(
                  {std::nullopt, std::nullopt, QList<TessaronEvictedDevice>{}}));
}

// The messages the account scenarios do not already show.
TEST(AccountErrorTest, EveryCaseHasItsMessage) {
    const std::pair<E, QString> cases[] = {
        {E::deviceSlot(Taken{Slot::computer, "Ann's Mac"}), "Tessaron is set up on another device."},
        {E::deviceSlot(TessaronDeviceSlotError::Locked{Slot::computer, std::nullopt}),
         "Tessaron is set up on another Mac. You can switch devices once every 30 days."},
        {E::deviceSlot(TessaronDeviceSlotError::Locked{Slot::phone, swapAt}),
         TessaronDeviceSlotError::cooldownText(Slot::phone, swapAt)},
        {E(Kind::invalidEmail), "That email address doesn’t look right."},
        {E(Kind::challengeExpired), "That code has expired. Request a new one."},
        {E(Kind::emailRequired), "Your Apple ID doesn’t share an email address. Add one, then try again."},
        {E(Kind::providerConflict), "This email already has an account with a different sign-in method."},
        {E(Kind::notYourGrant), "That access doesn’t belong to this account."},
        {E(Kind::grantNotActive), "That access is no longer active."},
        {E(Kind::noAccess), "Get access first."},
        {E(Kind::deviceLimit), "Device limit reached. Sign out another device first."},
        {E(Kind::upgradeRequired), "Update Tessaron to continue."},
    };
    for (const auto& [error, message] : cases)
        EXPECT_EQ(error.userMessage(), message) << error.what();
}

TEST(AccountErrorTest, EqualOnlyWithTheSameCaseAndValue) {
    EXPECT_NE(E::server(500), E::server(418));
    EXPECT_NE(E::network("transport"), E::network("cancelled"));
    EXPECT_NE(E::deviceSlot(Taken{Slot::phone, "a"}), E::deviceSlot(Taken{Slot::phone, std::nullopt}));
    // Logs name the case by its position in the declaration.
    EXPECT_EQ(E(Kind::upgradeRequired).code(), 15);
    EXPECT_EQ(E(Kind::upgradeRequired).domain(), QStringLiteral("TessaronAccountError"));
}

TEST(DeviceSlotErrorTest, ReadsOnlyConflictRepliesOf409) {
    const auto read = [](int status, const QByteArray& json) {
        return TessaronDeviceSlotError::fromReply(
            status, json.isNull() ? std::nullopt : std::optional(jsonValue(json).toObject()));
    };
    const std::pair<QByteArray, std::optional<TessaronDeviceSlotError>> cases[] = {
        {R"("device_slot_taken","slot":"phone","deviceName":7)", Taken{Slot::phone, {}}},
        {R"("device_slot_taken")", Taken{Slot::phone, {}}},
        {R"("device_slot_locked","slot":"tablet")", Locked{Slot::phone, {}}},
        {R"("device_slot_locked","slot":"computer","nextSwapAt":"2026-03-05T14:30:00Z")",
         Locked{Slot::computer, swapAt}},
        {R"("device_slot_locked","slot":"computer","nextSwapAt":"2026-03-05")", Locked{Slot::computer, {}}},
        {R"("device_slot_locked","slot":"COMPUTER","nextSwapAt":1772721000)", Locked{Slot::phone, {}}},
        {R"("device_limit","slot":"computer")", std::nullopt},
        {R"("Device_Slot_Taken")", std::nullopt},
    };
    for (const auto& [members, expected] : cases)
        EXPECT_EQ(read(409, R"({"error":)" + members + "}"), expected) << members.constData();
    EXPECT_EQ(read(403, R"({"error":"device_slot_taken","slot":"computer"})"), std::nullopt);
    EXPECT_EQ(read(409, QByteArray()), std::nullopt) << "no object";
}

TEST(DeviceSlotErrorTest, CooldownTextNamesTheSlotAndTheDateInTheUsersLocale) {
    const std::tuple<Slot, const char*, const char*, QString, QStringList> cases[] = {
        {Slot::computer, "en_US", "UTC", "Mac", {"Mar 5, 2026", "2:30"}},
        {Slot::phone, "de_DE", "Europe/Berlin", "iPhone or iPad", {"05.03.2026", "15:30"}},
    };
    for (const auto& [slot, locale, zone, device, parts] : cases) {
        const auto text =
            TessaronDeviceSlotError::cooldownText(slot, swapAt, QLocale(locale), QTimeZone(zone));
        EXPECT_TRUE(text.startsWith("Tessaron is set up on another " + device +
                                    ". You can switch devices once every 30 days. Next switch: "))
            << text.toStdString();
        for (const auto& part : parts)
            EXPECT_TRUE(text.contains(part)) << text.toStdString();
    }
}

TEST(DeviceNameTest, PrefersThePrettyNameThenTheHostNameThenMac) {
    const QString flag = QString::fromUtf8("🇩🇪");
    const QString accented = QString::fromUtf8("e\u0301");
    const std::tuple<std::optional<QString>, QString, QString> cases[] = {
        {"Ann’s Laptop", "ann-laptop", "Ann’s Laptop"},
        {std::nullopt, "ann-laptop", "ann-laptop"},
        {"   ", "ann-laptop", "ann-laptop"},
        {std::nullopt, "", "Mac"},
        {QString(70, u'x'), "h", QString(64, u'x')},
        {QString(64, u'x'), "h", QString(64, u'x')},
        // Cut by what the user sees as one character, never inside a flag or an accented letter.
        {flag.repeated(70), "h", flag.repeated(64)},
        {QString(63, u'x') + accented + "yz", "h", QString(63, u'x') + accented},
    };
    for (const auto& [pretty, host, expected] : cases)
        EXPECT_EQ(deviceName(pretty, host), expected) << expected.toStdString();
}

TEST(DeviceNameTest, ReadsThePrettyHostNameAsSystemdWritesIt) {
    const std::pair<QByteArray, std::optional<QString>> cases[] = {
        {"PRETTY_HOSTNAME=Studio\n", "Studio"},
        {"CHASSIS=laptop\nPRETTY_HOSTNAME=\"Ann's \\\"Laptop\\\"\"\nDEPLOYMENT=production\n",
         "Ann's \"Laptop\""},
        {"PRETTY_HOSTNAME='Büro PC'\n", QString::fromUtf8("Büro PC")},
        {"CHASSIS=desktop\n", std::nullopt},
    };
    for (const auto& [machineInfo, expected] : cases)
        EXPECT_EQ(prettyHostNameFromMachineInfo(machineInfo), expected) << machineInfo.toStdString();
}

TEST(LoginFlowTest, AnAddressNeedsSomethingOnBothSidesOfTheAtSign) {
    for (const auto& [email, plausible] : std::initializer_list<std::pair<const char*, bool>>{
             {"   ", false}, {"@x", false}, {"ann@", false}, {" Ann@Example.COM \n", true}, {"a@b", true}}) {
        TessaronLoginFlow flow;
        flow.email = QString::fromUtf8(email);
        EXPECT_EQ(flow.isEmailPlausible(), plausible) << email;
    }
}

TEST(LoginFlowTest, TheCodeKeepsTheFirstSixAsciiDigitsOfTheFieldsFirst24Characters) {
    const std::tuple<QString, QString, bool> cases[] = {
        {QStringLiteral("1 2 3-4 5 6 7"), QStringLiteral("123456"), true},
        {QString(24, u'x') + QStringLiteral("123456"), QString(), false},
        {QStringLiteral("١٢٣٤٥٦"), QString(), false},                      // not ASCII digits
        {QStringLiteral("1\u0301a23456"), QStringLiteral("23456"), false}, // a digit with a mark is no digit
    };
    for (const auto& [typed, code, completes] : cases) {
        TessaronLoginFlow flow;
        EXPECT_EQ(flow.acceptCode(typed), completes) << typed.toStdString();
        EXPECT_EQ(flow.code, code) << typed.toStdString();
        EXPECT_FALSE(completes && flow.acceptCode(typed + u'9')) << "already complete: no second submit";
    }
}

TEST(OAuthCallbackTest, OnlyANonEmptyCodeItemOfTheApplicationsSchemeSignsIn) {
    const QString failed = QStringLiteral("Sign-in failed. Please try again.");
    const std::pair<const char*, QString> cases[] = {
        {"tessaron://auth?Code=abc", failed},
        {"tessaron://auth?code=&error=access_denied", QStringLiteral("Sign-in was cancelled.")},
        {"tessaron://auth?error=invalid_state", QStringLiteral("Sign-in expired. Please try again.")},
        {"tessaron://auth?error=email_required",
         QStringLiteral(
             "This sign-in needs a verified email address. Verify it with the provider, then try again.")},
        {"https://auth?code=abc", failed},
    };
    for (const auto& [url, text] : cases) {
        const auto callback = parseOAuthCallback(QUrl(QString::fromUtf8(url)));
        EXPECT_EQ(callback.code.has_value(), text.isEmpty()) << url;
        EXPECT_EQ(callback.code ? QString() : oauthErrorText(callback.error), text) << url;
    }
}

TEST(AccountStoresTest, TokensAndLinksKeepTheirLimitsAndJunkReadsAsNone) {
    const QString group = QStringLiteral("test.tessaron.shared");
    FakeKeychain keychain;
    const BundleInfo bundle{QVariantMap{{QStringLiteral("TessaronKeychainAccessGroup"), group}}, {}};
    TessaronSessionTokenStore tokens{keychain, bundle};
    TessaronSubscriptionLinkStore links{keychain, bundle};
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
    // Unreadable items read as no token.
    for (const QByteArray& data : {QByteArray("\xff\xfe"), QByteArray(), QByteArray(4097, 'a')}) {
        keychain.setItem(group, accountKeychainService, TessaronSessionTokenStore::keychainAccount, data);
        EXPECT_EQ(tokens.load(), std::nullopt) << data.size();
    }

    // Links honour their limits and read back only https.
    const QString id96(96, u'x');
    const QString prefix = QStringLiteral("https://a.test/");
    const QUrl atLimit(prefix + QString(2048 - prefix.size(), u'p'));
    links.write(atLimit, id96);
    links.write(atLimit, id96 + u'x');
    links.write(QUrl(prefix + QString(2049 - prefix.size(), u'p')), QStringLiteral("over"));
    EXPECT_EQ(links.readURL(id96), atLimit);
    EXPECT_EQ(keychain.itemCount(), 2) << "the token and one link";
    for (const QByteArray& stored : {QByteArray("http://a.test/v1/sub/x"), QByteArray("not a url")}) {
        keychain.setItem(group, accountKeychainService, QStringLiteral("tessaron.subscription.acct"), stored);
        EXPECT_EQ(links.readURL(QStringLiteral("acct")), std::nullopt) << stored.constData();
    }
}
