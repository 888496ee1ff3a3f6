#include "profile_samples.hpp"

#include "profiles/identifiers.hpp"
#include "profiles/importer.hpp"
#include "profiles/profile_error.hpp"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

TessaronProfile decode(const QByteArray& json, bool assignIDIfMissing = false,
                       bool allowTransportKeys = false) {
    return TessaronImporter::decodeInvitationJSON(json, assignIDIfMissing, allowTransportKeys);
}

// Runs the decoder and returns the error it threw, failing the test when it accepted the input.
TessaronProfileError refusal(const QByteArray& json, bool allowTransportKeys = false) {
    try {
        decode(json, false, allowTransportKeys);
    } catch (const TessaronProfileError& error) {
        return error;
    }
    ADD_FAILURE() << "accepted " << json.toStdString();
    return TessaronProfileError::malformed();
}

TEST(ProfileCodecTest, WritesGoldenCanonicalJSON) {
    struct Case {
        const char* input;
        const char* canonical;
    };
    // Inputs come in another key order, with lower-case UUIDs, an escaped "/", an unknown key and nulls.
    const Case cases[] = {
        {R"({"version":3,"userID":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","server":"zrh.example.net",)"
         R"("name":"Caf\u00e9 \/ Z\u00fcrich","id":"6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c","port":443,)"
         R"("security":"tls","serverName":"zrh.example.net","flow":"xtls-rprx-vision","fingerprint":"chrome",)"
         R"("dnsServers":["1.1.1.1","2606:4700:4700::1111"],"xhttp":null,"comment":"ignored"})",
         R"({"dnsServers":["1.1.1.1","2606:4700:4700::1111"],"fingerprint":"chrome","flow":"xtls-rprx-vision",)"
         R"("id":"6F1C2B4A-9D3E-4F5A-8B7C-1D2E3F4A5B6C","name":"Café / Zürich","port":443,"security":"tls",)"
         R"("server":"zrh.example.net","serverName":"zrh.example.net",)"
         R"("userID":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","version":3})"},
        {R"({"xhttp":{"serverName":"cdn.example.org","path":"/tessaron/x"},"shortID":"0123abcd",)"
         R"("publicKey":"Qm9vdHN0cmFwLWtleS1mb3ItdGVzdGluZy0xMjM0NTY","security":"reality","port":8443,)"
         R"("flow":"xtls-rprx-vision","serverName":"www.example.com","server":"203.0.113.7","name":"Amsterdam 2",)"
         R"("userID":"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d","id":"a7e3c1d0-5b2f-4c8e-9a6d-3f1b0e2c4d5a",)"
         R"("version":1})",
         R"({"flow":"xtls-rprx-vision","id":"A7E3C1D0-5B2F-4C8E-9A6D-3F1B0E2C4D5A","name":"Amsterdam 2",)"
         R"("port":8443,"publicKey":"Qm9vdHN0cmFwLWtleS1mb3ItdGVzdGluZy0xMjM0NTY","security":"reality",)"
         R"("server":"203.0.113.7","serverName":"www.example.com","shortID":"0123abcd",)"
         R"("userID":"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D","version":1,)"
         R"("xhttp":{"path":"/tessaron/x","serverName":"cdn.example.org"}})"},
    };
    for (const auto& c : cases) {
        const TessaronProfile profile = decode(c.input);
        EXPECT_EQ(profile.canonicalJSON(), QByteArray(c.canonical));

        // What the session stores must decode, with both flags off, to the same bytes.
        const TessaronProfile again = decode(profile.canonicalJSON());
        EXPECT_EQ(again.canonicalJSON(), profile.canonicalJSON());
        EXPECT_EQ(again, profile);
    }
}

TEST(ProfileCodecTest, RefusesEveryInvalidField) {
    struct Case {
        const char* what;
        QJsonObject object;
        TessaronProfileErrorKind kind;
        const char* field;
    };
    using enum TessaronProfileErrorKind;
    const QJsonObject tls = tlsProfileObject();
    const QJsonObject reality = realityProfileObject();
    const QJsonObject xhttp = reality["xhttp"].toObject();
    QJsonArray nineServers;
    for (int i = 1; i <= 9; ++i)
        nineServers.append(QStringLiteral("10.0.0.%1").arg(i));

    const Case cases[] = {
        {"version absent", without(tls, "version"), missingField, "version"},
        {"version 0", with(tls, "version", 0), invalidField, "version"},
        {"version 2^31", with(tls, "version", qint64(2147483648)), invalidField, "version"},
        {"version fraction", with(tls, "version", 1.5), invalidField, "version"},
        {"id in braces", with(tls, "id", "{6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c}"), invalidField, "id"},
        {"name only spaces", with(tls, "name", "   "), invalidField, "name"},
        {"name 129 characters", with(tls, "name", QString(129, u'é')), invalidField, "name"},
        {"name with a line feed", with(tls, "name", "Zurich\n"), invalidField, "name"},
        {"name with a lone surrogate", with(tls, "name", QString(QChar(0xD800))), invalidField, "name"},
        {"server with underscore", with(tls, "server", "zrh_1.example.net"), invalidField, "server"},
        {"server not ASCII", with(tls, "server", "bücher.example"), invalidField, "server"},
        {"server 254 bytes", with(tls, "server", QString(254, u'a')), invalidField, "server"},
        {"server bracketed IPv6", with(tls, "server", "[2001:db8::1]"), invalidField, "server"},
        {"server scoped IPv6", with(tls, "server", "fe80::1%eth0"), invalidField, "server"},
        {"server not IPv6", with(tls, "server", "2001:db8::1::2"), invalidField, "server"},
        {"port 0", with(tls, "port", 0), invalidField, "port"},
        {"port 65536", with(tls, "port", 65536), invalidField, "port"},
        {"port fraction", with(tls, "port", 443.5), invalidField, "port"},
        {"userID not a UUID", with(tls, "userID", "user-1"), invalidField, "userID"},
        {"security upper case", with(tls, "security", "TLS"), invalidField, "security"},
        {"publicKey with TLS", with(tls, "publicKey", reality["publicKey"]), invalidField, "publicKey"},
        {"publicKey missing for Reality", without(reality, "publicKey"), missingField, "publicKey"},
        {"publicKey 42 characters", with(reality, "publicKey", QString(42, u'A')), invalidField, "publicKey"},
        {"publicKey standard base64", with(reality, "publicKey", QString(42, u'A') + u'+'), invalidField,
         "publicKey"},
        {"shortID odd length", with(reality, "shortID", "abc"), invalidField, "shortID"},
        {"shortID 18 characters", with(reality, "shortID", QString(18, u'a')), invalidField, "shortID"},
        {"fingerprint 33 characters", with(tls, "fingerprint", QString(33, u'a')), invalidField,
         "fingerprint"},
        {"flow other", with(tls, "flow", "xtls-rprx-direct"), invalidField, "flow"},
        {"dnsServers nine", with(tls, "dnsServers", nineServers), invalidField, "dnsServers"},
        {"dnsServers short IPv4", with(tls, "dnsServers", QJsonArray{"127.1"}), invalidField, "dnsServers"},
        {"dnsServers host name", with(tls, "dnsServers", QJsonArray{"dns.google"}), invalidField,
         "dnsServers"},
        {"xhttp without path", with(reality, "xhttp", without(xhttp, "path")), missingField, "xhttp.path"},
        {"xhttp relative path", with(reality, "xhttp", with(xhttp, "path", "x")), invalidField, "xhttp.path"},
        {"xhttp path 257 bytes", with(reality, "xhttp", with(xhttp, "path", u'/' + QString(256, u'a'))),
         invalidField, "xhttp.path"},
        {"xhttp bad serverName", with(reality, "xhttp", with(xhttp, "serverName", "a b")), invalidField,
         "xhttp.serverName"},
    };
    for (const auto& c : cases) {
        const TessaronProfileError error = refusal(bytesOf(c.object));
        EXPECT_EQ(error.kind(), c.kind) << c.what;
        EXPECT_EQ(error.field(), QString::fromUtf8(c.field)) << c.what;
    }
}

TEST(ProfileCodecTest, AcceptsTheEdgesOfEveryRange) {
    const QJsonObject tls = tlsProfileObject();
    const QJsonObject reality = realityProfileObject();
    QJsonArray eightServers;
    for (int i = 1; i <= 8; ++i)
        eightServers.append(QStringLiteral("10.0.0.%1").arg(i));
    const QJsonObject accepted[] = {
        with(tls, "version", qint64(2147483647)),
        with(tls, "name", QStringLiteral("  ") + QString(128, u'é') + QStringLiteral("  ")),
        // 128 characters, one of them outside the basic plane.
        with(tls, "name", QString::fromUcs4(U"😀") + QString(127, u'x')),
        with(tls, "server", QString(253, u'a')),
        with(tls, "port", 65535),
        with(tls, "id", "00000000-0000-0000-0000-000000000000"),
        with(tls, "dnsServers", eightServers),
        with(tls, "fingerprint", QString(32, u'_')),
        with(reality, "shortID", ""),
        with(reality, "shortID", "0123456789ABCDEF"),
        with(reality, "xhttp", with(reality["xhttp"].toObject(), "path", u'/' + QString(255, u'a'))),
    };
    for (const QJsonObject& object : accepted)
        EXPECT_NO_THROW(decode(bytesOf(object))) << bytesOf(object).toStdString();
}

TEST(ProfileCodecTest, ReadsNullAsAbsentAndDropsUnknownKeys) {
    const TessaronProfile plain = decode(bytesOf(tlsProfileObject()));
    QJsonObject noisy = tlsProfileObject();
    for (const char* key : {"fingerprint", "dnsServers", "xhttp", "publicKey", "shortID"})
        noisy.insert(key, QJsonValue::Null);
    noisy.insert("comment", QJsonObject{{"nested", true}});
    EXPECT_EQ(decode(bytesOf(noisy)).canonicalJSON(), plain.canonicalJSON());

    // An empty server list says nothing either.
    EXPECT_FALSE(decode(bytesOf(with(tlsProfileObject(), "dnsServers", QJsonArray()))).dnsServers);
}

TEST(ProfileCodecTest, TransportKeyFollowsTheImporterFlag) {
    const QJsonObject tls = tlsProfileObject();
    const QJsonObject reality = realityProfileObject();
    using enum TessaronProfileErrorKind;

    EXPECT_EQ(refusal(bytesOf(with(tls, "transport", "tcp"))).kind(), unexpectedTransportKey);
    // fromJSON, used for profiles nested in service replies, never takes it.
    EXPECT_THROW(TessaronProfile::fromJSON(with(reality, "transport", "xhttp")), TessaronProfileError);

    const TessaronProfile annotated = decode(bytesOf(with(reality, "transport", "xhttp")), false, true);
    EXPECT_EQ(annotated, decode(bytesOf(reality)));
    EXPECT_FALSE(annotated.canonicalJSON().contains("transport"));
    EXPECT_NO_THROW(decode(bytesOf(with(tls, "transport", "tcp")), false, true));

    for (const QJsonObject& object : {with(tls, "transport", "xhttp"), with(tls, "transport", "TCP")}) {
        const TessaronProfileError error = refusal(bytesOf(object), true);
        EXPECT_EQ(error.kind(), invalidField) << bytesOf(object).toStdString();
        EXPECT_EQ(error.field(), "transport");
    }
}

TEST(ProfileCodecTest, AssignsAnIDOnlyWhenAsked) {
    const QByteArray anonymous = bytesOf(without(tlsProfileObject(), "id"));
    EXPECT_EQ(refusal(anonymous).kind(), TessaronProfileErrorKind::missingField);

    const TessaronProfile first = decode(anonymous, true);
    const TessaronProfile second = decode(anonymous, true);
    EXPECT_FALSE(first.id.isNull());
    EXPECT_NE(first.id, second.id);

    const TessaronProfile named = decode(bytesOf(tlsProfileObject()), true);
    EXPECT_EQ(named.id, QUuid::fromString(QStringLiteral("6f1c2b4a-9d3e-4f5a-8b7c-1d2e3f4a5b6c")));
}

TEST(ProfileCodecTest, RefusesWhatIsNotOneJSONObjectOrIsTooLarge) {
    using enum TessaronProfileErrorKind;
    for (const char* text : {"", "[]", "{\"version\":", "{} {}"})
        EXPECT_EQ(refusal(text).kind(), malformed) << text;

    // White space counts towards the cap: it is the size of what was handed over.
    QByteArray atCap = bytesOf(tlsProfileObject());
    atCap.append(QByteArray(TessaronIdentifiers::profileByteCap - atCap.size(), ' '));
    EXPECT_NO_THROW(decode(atCap));
    EXPECT_EQ(refusal(atCap + ' ').kind(), tooLarge);
}

TEST(ProfileCodecTest, ErrorsTellTheUserWhichKeyFailed) {
    EXPECT_EQ(TessaronProfileError::invalidField("xhttp.path").userMessage(),
              "The connection details contain an invalid value (xhttp.path).");
}

} // namespace
} // namespace tessaron::testing
