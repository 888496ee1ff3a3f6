#include "malformed_corpus.hpp"
#include "profile_samples.hpp"

#include "profiles/access_input.hpp"
#include "profiles/decoding_error.hpp"
#include "profiles/importer.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile_error.hpp"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tessaron::testing {
namespace {

// What validation promises of any profile it let through, checked independently of how it checks.
void expectValidProfile(const TessaronProfile& profile, const QByteArray& input) {
    const auto context = [&] {
        return input.left(300).toStdString();
    };
    EXPECT_TRUE(profile.version >= 1 && profile.version <= 2'147'483'647) << context();
    EXPECT_TRUE(profile.port >= 1 && profile.port <= 65'535) << context();
    EXPECT_FALSE(profile.name.trimmed().isEmpty()) << context();
    EXPECT_FALSE(profile.server.isEmpty() || profile.serverName.isEmpty()) << context();
    EXPECT_EQ(profile.flow, "xtls-rprx-vision") << context();
    if (profile.security == TessaronProfile::Security::reality) {
        EXPECT_TRUE(profile.publicKey && profile.publicKey->size() == 43) << context();
    } else {
        EXPECT_FALSE(profile.publicKey || profile.shortID) << context();
    }
    EXPECT_TRUE(!profile.dnsServers || (!profile.dnsServers->isEmpty() && profile.dnsServers->size() <= 8))
        << context();
    EXPECT_TRUE(!profile.xhttp || profile.xhttp->path.startsWith(u'/')) << context();
    // Whatever was accepted must survive the form it is stored in.
    EXPECT_EQ(TessaronImporter::decodeInvitationJSON(profile.canonicalJSON(), false, false), profile)
        << context();
}

TEST(DecoderRobustnessTest, ProfileDecoderRefusesMalformedInputCleanly) {
    QList<QByteArray> corpus = malformedJSON(bytesOf(realityProfileObject()), 20240501);
    corpus.append(malformedJSON(bytesOf(tlsProfileObject()), 20240502));
    int accepted = 0;
    for (const QByteArray& input : corpus) {
        for (const bool flags : {false, true}) {
            try {
                expectValidProfile(TessaronImporter::decodeInvitationJSON(input, flags, flags), input);
                ++accepted;
            } catch (const TessaronProfileError&) {
            }
        }
    }
    // Damage to an unknown key or a harmless byte is accepted; most of the corpus must not be.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, corpus.size());
}

TEST(DecoderRobustnessTest, AccessInputClassifierNeverAcceptsWhatTheRulesRefuse) {
    const QString code = QStringLiteral("Ab3_x-Ab3_x-Ab3_x-Ab3_x-Ab3_x-Ab3_x-");
    const QList<QString> corpus = malformedTexts(
        {code, "https://tessaron.app/connect#invite=" + code, "tessaron://redeem?code=" + code + "&x=1"},
        20240503);
    for (const QString& text : corpus) {
        const TessaronAccessInput input = TessaronAccessInput::parse(text);
        const QString trimmed = text.trimmed();
        switch (input.kind()) {
        case TessaronAccessInput::Kind::invitationToken:
            EXPECT_EQ(input.token(), trimmed);
            EXPECT_TRUE(trimmed.size() >= 32 && trimmed.size() <= 128) << trimmed.toStdString();
            EXPECT_FALSE(trimmed.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]"))));
            break;
        case TessaronAccessInput::Kind::invitationLink: {
            const QString lowered = trimmed.toLower();
            EXPECT_TRUE(input.link().isValid());
            EXPECT_TRUE(lowered.startsWith(QStringLiteral("https://")) ||
                        lowered.startsWith(QStringLiteral("tessaron://")));
            EXPECT_TRUE(lowered.contains(QStringLiteral("invite=")) ||
                        lowered.contains(QStringLiteral("code=")));
            break;
        }
        case TessaronAccessInput::Kind::invalid:
            break;
        }
        // Links taken from anywhere, broken ones included, yield a well-formed code or none.
        if (const auto found = invitationCode(QUrl(trimmed))) {
            EXPECT_TRUE(found->size() >= 32 && found->size() <= 128) << trimmed.toStdString();
            EXPECT_FALSE(found->contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]"))));
        }
    }
}

TEST(DecoderRobustnessTest, RosterDecoderRefusesMalformedRepliesCleanly) {
    const QList<QByteArray> corpus = malformedJSON(bytesOf(rosterObject()), 20240504);
    int accepted = 0;
    for (const QByteArray& input : corpus) {
        try {
            const TessaronRosterResponse roster = TessaronRosterResponse::decode(input);
            ++accepted;
            for (const TessaronProfile& profile : roster.profiles)
                expectValidProfile(profile, input);
            for (const TessaronNodeHealth& health : roster.health) {
                EXPECT_TRUE(health.checkedAt.isValid());
                EXPECT_TRUE(!health.load || (*health.load >= 0 && *health.load <= 1))
                    << input.left(300).toStdString();
            }
            EXPECT_TRUE(!roster.usage || roster.usage->resetsAt.isValid());
        } catch (const JsonDecodingError&) {
        } catch (const TessaronProfileError&) {
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, corpus.size());
}

} // namespace
} // namespace tessaron::testing
