#include "profile_samples.hpp"
#include "profiles/decoding_error.hpp"
#include "profiles/identifiers.hpp"
#include "profiles/importer.hpp"
#include "profiles/json_values.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile_error.hpp"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

TessaronProfile decode(const QByteArray& json, bool assignIDIfMissing = false) {
    return TessaronImporter::decodeInvitationJSON(json, assignIDIfMissing, false);
}

// What decoding gives: the canonical JSON, or "!<case> <key>" for a refusal.
std::string outcome(const QByteArray& json, bool allowTransportKeys = false) {
    static const char* const cases[] = {"malformed", "tooLarge", "missing", "invalid", "transportKey"};
    try {
        const auto profile = TessaronImporter::decodeInvitationJSON(json, false, allowTransportKeys);
        // What the session stores must decode, with both flags off, to the same profile.
        EXPECT_EQ(decode(profile.canonicalJSON()), profile);
        return profile.canonicalJSON().toStdString();
    } catch (const TessaronProfileError& error) {
        return ('!' + QString::fromLatin1(cases[error.code()]) + u' ' + error.field())
            .trimmed()
            .toStdString();
    }
}

QJsonArray servers(int count) {
    QJsonArray list;
    for (int i = 1; i <= count; ++i)
        list.append(QStringLiteral("10.0.0.%1").arg(i));
    return list;
}

TEST(ProfileCodecTest, DecodesToCanonicalJSONOrRefusesNamingTheKeyAndAssignsMissingIDsOnlyWhenAsked) {
    const QJsonObject tls = tlsProfileObject();
    const QJsonObject reality = realityProfileObject();
    const QJsonObject xhttp = reality["xhttp"].toObject();
    const auto T = [&](const char* key, const QJsonValue& value) {
        return bytesOf(with(tls, key, value));
    };
    const auto R = [&](const char* key, const QJsonValue& value) {
        return bytesOf(with(reality, key, value));
    };
    const auto X = [&](const char* key, const QJsonValue& value) {
        return R("xhttp", with(xhttp, key, value));
    };
    const std::string plainTLS = outcome(bytesOf(tls));
    const std::string plainReality = outcome(bytesOf(reality));
    QJsonObject noisy = with(tls, "comment", QJsonObject{{"nested", true}});
    for (const char* key : {"fingerprint", "dnsServers", "xhttp", "publicKey", "shortID"})
        noisy.insert(key, QJsonValue::Null);
    QByteArray atCap = bytesOf(tls);
    atCap.append(QByteArray(TessaronIdentifiers::profileByteCap - atCap.size(), ' '));

    // "" stands for any accepted profile.
    struct Row {
        const char* what;
        QByteArray input;
        std::string expected;
        bool allowTransportKeys = false;
    };
    const Row rows[] = {
        // Another key order, lower-case UUIDs, an escaped "/", an unknown key and a null.
        {"golden TLS",
         R"({"version":3,"userID":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","server":"zrh.example.net",)"
         R"("name":"Caf\u00e9 \/ Z\u00fcrich","id":"6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c","port":443,)"
         R"("security":"tls","serverName":"zrh.example.net","flow":"xtls-rprx-vision","fingerprint":"chrome",)"
         R"("dnsServers":["1.1.1.1","2606:4700:4700::1111"],"xhttp":null,"comment":"ignored"})",
         R"({"dnsServers":["1.1.1.1","2606:4700:4700::1111"],"fingerprint":"chrome","flow":"xtls-rprx-vision",)"
         R"("id":"6F1C2B4A-9D3E-4F5A-8B7C-1D2E3F4A5B6C","name":"Café / Zürich","port":443,"security":"tls",)"
         R"("server":"zrh.example.net","serverName":"zrh.example.net",)"
         R"("userID":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","version":3})"},
        {"golden Reality", bytesOf(reality),
         R"({"flow":"xtls-rprx-vision","id":"A7E3C1D0-5B2F-4C8E-9A6D-3F1B0E2C4D5A","name":"Amsterdam 2",)"
         R"("port":8443,"publicKey":"Qm9vdHN0cmFwLWtleS1mb3ItdGVzdGluZy0xMjM0NTY","security":"reality",)"
         R"("server":"203.0.113.7","serverName":"www.example.com","shortID":"0123abcd",)"
         R"("userID":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","version":1,)"
         R"("xhttp":{"path":"/tessaron/x","serverName":"cdn.example.org"}})"},
        {"nulls and unknown keys", bytesOf(noisy), plainTLS},
        {"empty server list", T("dnsServers", QJsonArray()), plainTLS},
        {"not JSON", "{\"version\":", "!malformed"},
        {"empty", "", "!malformed"},
        {"an array", "[]", "!malformed"},
        {"two objects", "{} {}", "!malformed"},
        // White space counts towards the cap: it is the size of what was handed over.
        {"at the cap", atCap, plainTLS},
        {"over the cap", atCap + ' ', "!tooLarge"},
        {"version absent", bytesOf(without(tls, "version")), "!missing version"},
        {"version 0", T("version", 0), "!invalid version"},
        {"version 2^31", T("version", qint64(2147483648)), "!invalid version"},
        {"version 2^31 - 1", T("version", qint64(2147483647)), ""},
        {"version fraction", T("version", 1.5), "!invalid version"},
        {"id absent", bytesOf(without(tls, "id")), "!missing id"},
        {"id in braces", T("id", "{6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c}"), "!invalid id"},
        {"nil id", T("id", "00000000-0000-0000-0000-000000000000"), ""},
        {"name only spaces", T("name", "   "), "!invalid name"},
        {"name 128 characters, padded", T("name", "  " + QString(128, u'é') + "  "), ""},
        {"name 128 characters, one beyond the basic plane",
         T("name", QString::fromUcs4(U"😀") + QString(127, u'x')), ""},
        {"name 129 characters", T("name", QString(129, u'é')), "!invalid name"},
        {"name with a line feed", T("name", "Zurich\n"), "!invalid name"},
        {"name with a lone surrogate", T("name", QString(QChar(0xD800))), "!invalid name"},
        {"server with underscore", T("server", "zrh_1.example.net"), "!invalid server"},
        {"server not ASCII", T("server", "bücher.example"), "!invalid server"},
        {"server 253 bytes", T("server", QString(253, u'a')), ""},
        {"server 254 bytes", T("server", QString(254, u'a')), "!invalid server"},
        {"server bracketed IPv6", T("server", "[2001:db8::1]"), "!invalid server"},
        {"server scoped IPv6", T("server", "fe80::1%eth0"), "!invalid server"},
        {"server not IPv6", T("server", "2001:db8::1::2"), "!invalid server"},
        {"port 0", T("port", 0), "!invalid port"},
        {"port 65535", T("port", 65535), ""},
        {"port 65536", T("port", 65536), "!invalid port"},
        {"port fraction", T("port", 443.5), "!invalid port"},
        {"userID not a UUID", T("userID", "user-1"), "!invalid userID"},
        {"security upper case", T("security", "TLS"), "!invalid security"},
        {"publicKey with TLS", T("publicKey", reality["publicKey"]), "!invalid publicKey"},
        {"publicKey missing for Reality", bytesOf(without(reality, "publicKey")), "!missing publicKey"},
        {"publicKey 42 characters", R("publicKey", QString(42, u'A')), "!invalid publicKey"},
        {"publicKey standard base64", R("publicKey", QString(42, u'A') + u'+'), "!invalid publicKey"},
        {"shortID empty", R("shortID", ""), ""},
        {"shortID 16 characters", R("shortID", "0123456789ABCDEF"), ""},
        {"shortID odd length", R("shortID", "abc"), "!invalid shortID"},
        {"shortID 18 characters", R("shortID", QString(18, u'a')), "!invalid shortID"},
        {"fingerprint 32 characters", T("fingerprint", QString(32, u'_')), ""},
        {"fingerprint 33 characters", T("fingerprint", QString(33, u'a')), "!invalid fingerprint"},
        {"flow other", T("flow", "xtls-rprx-direct"), "!invalid flow"},
        {"dnsServers eight", T("dnsServers", servers(8)), ""},
        {"dnsServers nine", T("dnsServers", servers(9)), "!invalid dnsServers"},
        {"dnsServers short IPv4", T("dnsServers", QJsonArray{"127.1"}), "!invalid dnsServers"},
        {"dnsServers host name", T("dnsServers", QJsonArray{"dns.google"}), "!invalid dnsServers"},
        {"xhttp without path", R("xhttp", without(xhttp, "path")), "!missing xhttp.path"},
        {"xhttp relative path", X("path", "x"), "!invalid xhttp.path"},
        {"xhttp path 256 bytes", X("path", u'/' + QString(255, u'a')), ""},
        {"xhttp path 257 bytes", X("path", u'/' + QString(256, u'a')), "!invalid xhttp.path"},
        {"xhttp bad serverName", X("serverName", "a b"), "!invalid xhttp.serverName"},
        // The transport annotation is read, then dropped, only where the importer allows it.
        {"transport not allowed", T("transport", "tcp"), "!transportKey"},
        {"transport tcp", T("transport", "tcp"), plainTLS, true},
        {"transport xhttp", R("transport", "xhttp"), plainReality, true},
        {"transport xhttp without a section", T("transport", "xhttp"), "!invalid transport", true},
        {"transport upper case", T("transport", "TCP"), "!invalid transport", true},
    };
    for (const auto& [what, input, expected, allowTransportKeys] : rows) {
        const std::string actual = outcome(input, allowTransportKeys);
        if (expected.empty())
            EXPECT_FALSE(actual.starts_with('!')) << what << ": " << actual;
        else
            EXPECT_EQ(actual, expected) << what;
    }
    // fromJSON, used for profiles nested in service replies, never takes the annotation.
    EXPECT_THROW(TessaronProfile::fromJSON(with(reality, "transport", "xhttp")), TessaronProfileError);
    EXPECT_EQ(TessaronProfileError::invalidField("xhttp.path").userMessage(),
              "The connection details contain an invalid value (xhttp.path).");

    // An id is assigned, a fresh one each time, only when asked and missing.
    const QByteArray anonymous = bytesOf(without(tlsProfileObject(), "id"));
    const TessaronProfile first = decode(anonymous, true);
    EXPECT_FALSE(first.id.isNull());
    EXPECT_NE(first.id, decode(anonymous, true).id);
    EXPECT_EQ(decode(bytesOf(tlsProfileObject()), true).id, QUuid::fromString(tlsID));
}

QDateTime utc(const char* text) {
    return QDateTime::fromString(QString::fromUtf8(text), Qt::ISODateWithMs);
}

TEST(RosterRecordsTest, DecodesEveryPartOfARosterReplyAndEncodesItWithStableDates) {
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

    // Encoded with stable dates, leaving out what is unknown.
    const QJsonObject health = roster.toJSON()["health"].toObject()[realityID.toUpper()].toObject();
    EXPECT_EQ(health["checkedAt"], "2024-05-01T12:00:00.000Z");
    EXPECT_EQ(health["resumesAt"], "2024-06-01T00:00:00.000Z");
    EXPECT_FALSE(health.contains("load"));
    EXPECT_FALSE(roster.toJSON()["geo"].toObject()[realityID.toUpper()].toObject().contains("lat"));
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

// What decoding a reply gives: "" when it decodes and its encoding decodes back to it, else "!<case> <key>".
template <typename Reply> std::string replyOutcome(const QByteArray& body) {
    static const char* const kinds[] = {"keyNotFound", "valueNotFound", "typeMismatch", "dataCorrupted"};
    try {
        const Reply reply = Reply::decode(body);
        EXPECT_EQ(Reply::fromJSON(reply.toJSON()), reply);
        return "";
    } catch (const JsonDecodingError& error) {
        return QString('!' + QString::fromLatin1(kinds[error.code()]) + ' ' + error.key())
            .trimmed()
            .toStdString();
    }
}

TEST(RosterRecordsTest, RoundTripsRepliesAndRefusesAMalformedOneAsAWhole) {
    const QJsonObject roster = rosterObject();
    const auto R = [&](const char* key, const QJsonValue& value) {
        return bytesOf(with(roster, key, value));
    };
    const auto H = [&](const QJsonObject& health) {
        return R("health", QJsonObject{{tlsID, health}});
    };
    const std::tuple<const char*, QByteArray, std::string> rows[] = {
        {"every part", bytesOf(roster), ""},
        {"optional parts absent or null",
         bytesOf({{"profiles", QJsonArray()}, {"usage", QJsonValue::Null}, {"clientGeo", QJsonValue::Null}}),
         ""},
        {"not JSON", "{\"profiles\":", "!dataCorrupted"},
        {"profiles absent", bytesOf(without(roster, "profiles")), "!keyNotFound profiles"},
        {"health keyed by a name", R("health", QJsonObject{{"node-1", healthObject()}}),
         "!dataCorrupted health"},
        {"load above 1", H(with(healthObject(), "load", 1.01)), "!dataCorrupted load"},
        {"up absent", H(without(healthObject(), "up")), "!keyNotFound up"},
        {"date without zone", H(with(healthObject(), "checkedAt", "2024-05-01T12:00:00")),
         "!dataCorrupted checkedAt"},
        {"unknown purpose",
         R("geo", QJsonObject{{tlsID, QJsonObject{{"country", "CH"}, {"purpose", "relay"}}}}),
         "!dataCorrupted purpose"},
        {"usage beyond 64 bits", R("usage", with(roster["usage"].toObject(), "capBytes", 1e19)),
         "!dataCorrupted capBytes"},
    };
    for (const auto& [what, body, expected] : rows)
        EXPECT_EQ(replyOutcome<TessaronRosterResponse>(body), expected) << what;

    // A redeem reply may lack its list but not its profile.
    const auto single = bytesOf({{"profile", realityProfileObject()}, {"profiles", QJsonValue::Null}});
    EXPECT_EQ(replyOutcome<TessaronRedeemResult>(single), "");
    EXPECT_FALSE(TessaronRedeemResult::decode(single).profiles);
    EXPECT_EQ(replyOutcome<TessaronRedeemResult>(bytesOf({{"profiles", QJsonArray()}})),
              "!keyNotFound profile");
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
