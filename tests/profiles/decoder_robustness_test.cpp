#include "profile_samples.hpp"

#include "profiles/decoding_error.hpp"
#include "profiles/importer.hpp"
#include "profiles/pairing_replies.hpp"
#include "profiles/profile_error.hpp"

#include <gtest/gtest.h>

#include <random>

namespace tessaron::testing {
namespace {

// A valid document broken the ways a faulty or hostile peer breaks it: every truncation, random byte
// damage, and every value swapped for a hostile token. The same seed gives the same corpus.
QList<QByteArray> malformedJSON(const QByteArray& seed, unsigned randomSeed) {
    QList<QByteArray> corpus;
    for (qsizetype length = 0; length < seed.size(); ++length)
        corpus.append(seed.left(length));
    std::mt19937 random(randomSeed);
    std::uniform_int_distribution<qsizetype> position(0, seed.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 300; ++i)
        corpus.append(QByteArray(seed).replace(position(random), 1, QByteArray(1, char(byte(random)))));
    const QByteArray tokens[] = {"null",
                                 "[]",
                                 "{}",
                                 "1.5",
                                 "-1",
                                 "1e400",
                                 "9223372036854775808",
                                 "\"\xff\xfe\"",
                                 "\"\\ud800\"",
                                 QByteArray(5000, '[') + QByteArray(5000, ']'),
                                 '"' + QByteArray(70'000, 'a') + '"'};
    // Each JSON scalar of the seed in turn, found as the text after a colon or in an array.
    for (qsizetype at = seed.indexOf(':'); at >= 0; at = seed.indexOf(':', at + 1)) {
        qsizetype end = at + 1;
        while (end < seed.size() && !QByteArrayView(",}]").contains(seed[end]))
            ++end;
        for (const auto& token : tokens)
            corpus.append(QByteArray(seed).replace(at + 1, end - at - 1, token));
    }
    corpus.append({QByteArray(100'000, '['), "\xef\xbb\xbf" + seed, seed + seed});
    return corpus;
}

// Whatever a decoder accepts from damaged input must be something it would accept again from the stored
// form; everything else is refused with the decoder's own error, never a crash or another exception.
TEST(DecoderRobustnessTest, DamagedProfilesAndRostersAreRefusedOrRoundTrip) {
    QList<QByteArray> profiles = malformedJSON(bytesOf(realityProfileObject()), 20240501);
    profiles.append(malformedJSON(bytesOf(tlsProfileObject()), 20240502));
    int accepted = 0;
    for (const QByteArray& input : profiles) {
        try {
            const auto profile = TessaronImporter::decodeInvitationJSON(input, true, true);
            ++accepted;
            EXPECT_EQ(TessaronImporter::decodeInvitationJSON(profile.canonicalJSON(), false, false), profile)
                << input.left(300).toStdString();
        } catch (const TessaronProfileError&) {
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, profiles.size() / 2);

    for (const QByteArray& input : malformedJSON(bytesOf(rosterObject()), 20240504)) {
        try {
            const auto roster = TessaronRosterResponse::decode(input);
            EXPECT_EQ(TessaronRosterResponse::decode(bytesOf(roster.toJSON())), roster)
                << input.left(300).toStdString();
        } catch (const JsonDecodingError&) {
        } catch (const TessaronProfileError&) {
        }
    }
}

} // namespace
} // namespace tessaron::testing
