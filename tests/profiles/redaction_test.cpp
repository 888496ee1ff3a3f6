#include "profiles/redaction.hpp"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

using tessaron::redactBase64Runs;
using tessaron::redactEmailAddresses;
using tessaron::redactionMark;
using tessaron::redactIPv4Addresses;
using tessaron::redactPersonalData;

using namespace Qt::Literals::StringLiterals;

namespace {

// Written with "#" for the mark to keep the table readable.
QString marked(const char* text) {
    return QString::fromUtf8(text).replace(u'#', redactionMark);
}

TEST(RedactionTest, ReplacesPersonalDataAndNothingElse) {
    const std::pair<const char*, const char*> cases[] = {
        // IPv4
        {"node 192.168.1.20 up", "node # up"},
        {"dial 10.0.0.1:443 failed", "dial #:443 failed"},
        {"reached 10.0.0.1.", "reached #."},
        {"bogus 999.300.256.1", "bogus #"},
        {"a1.2.3.4", "a#"},
        {"version 1.2.3.4.5", "version 1.2.3.4.5"},
        {"peer 10.0.0.1.000000000000000000000000 closed", "peer #.# closed"},
        {"tcpdump 10.0.0.1.443 >", "tcpdump #.443 >"},
        // IPv6, as the tunnel's routing line and the roster write it
        {"smart routing via 2001:db8::1:443 over udp", "smart routing via # over udp"},
        {"dial [2001:db8::1]:443", "dial [#]:443"},
        {"full 2001:db8:0:0:0:0:0:1:443 refused", "full #:443 refused"},
        {"node:fe80::1%eth0 up", "node:#%eth0 up"},
        {"mapped ::ffff:10.0.0.1.", "mapped #."},
        {"at 12:30:45 from aa:bb:cc:dd:ee:ff via Error::Fa",
         "at 12:30:45 from aa:bb:cc:dd:ee:ff via Error::Fa"},
        {"short 1.2.3", "short 1.2.3"},
        {"long group 1.2.3.4567", "long group 1.2.3.4567"},
        {"two 1.1.1.1 2.2.2.2", "two # #"},
        // e-mail
        {"user jane.doe+vpn@mail.example.co.uk signed in", "user # signed in"},
        {"to a@b.c.", "to #."},
        {"local only me@localhost", "local only me@localhost"},
        {"empty label a@b..c", "empty label a@b..c"},
        {"two a@b.c,d@e.f", "two #,#"},
        // base64-like runs: 23 characters stay, 24 go
        {"key ABCDEFGHIJKLMNOPQRSTUVW end", "key ABCDEFGHIJKLMNOPQRSTUVW end"},
        {"key ABCDEFGHIJKLMNOPQRSTUVWX end", "key # end"},
        {"pad ABCDEFGHIJKLMNOPQRSTUVWX== end", "pad # end"},
        {"pad ABCDEFGHIJKLMNOPQRSTUVWX=== end", "pad #= end"},
        {"profile 3F2504E0-4F89-41D3-9A0C-0305E82C3301 stored", "profile # stored"},
        // The local part alone would be a base64-like run; redacting it first would leave the domain behind.
        {"averyveryverylongusername1234@x.example", "#"},
        // text beyond ASCII
        {"\xc3\xa9 10.0.0.1 \xf0\x9f\x87\xa9\xf0\x9f\x87\xaa b@c.de",
         "\xc3\xa9 # \xf0\x9f\x87\xa9\xf0\x9f\x87\xaa #"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(redactPersonalData(QString::fromUtf8(input)), marked(expected)) << input;
}

// The hand-written passes must agree with the textbook patterns, which std::regex can run on ASCII.
TEST(RedactionTest, PassesAgreeWithTheirRegularExpressions) {
    const std::tuple<QString (*)(QStringView), const char*, std::string, unsigned> oracles[] = {
        {redactEmailAddresses, R"([A-Za-z0-9._%+-]+@[A-Za-z0-9-]+(?:\.[A-Za-z0-9-]+)+)",
         "ab9._%+-@@..- Z=", 30},
        {redactBase64Runs, R"([A-Za-z0-9+/_-]{24,}={0,2})", "aZ09+/_-aZ09+/_-aZ09+/_-== .@", 70},
        // Not after a digit group and a dot; not before a dot and a group worth a fifth octet.
        {redactIPv4Addresses,
         R"((^|[^\d.]|^\.|[^\d]\.)\d{1,3}(\.\d{1,3}){3}(?!\d)(?!\.(25[0-5]|2[0-4]\d|[01]?\d?\d)(?!\d)))",
         "1209..5.:a", 40},
    };
    std::mt19937 random(20260101);
    for (const auto& [pass, pattern, alphabet, longest] : oracles) {
        const std::regex regex(pattern);
        for (int round = 0; round < 2000; ++round) {
            std::string input;
            for (auto n = random() % (longest + 1); n > 0; --n)
                input += alphabet[random() % alphabet.size()];
            const auto expected = QString::fromStdString(std::regex_replace(input, regex, "$1#"));
            ASSERT_EQ(pass(QString::fromStdString(input)).replace(redactionMark, u"#"_s), expected) << input;
        }
    }
}

// Pieces of every kind the passes redact, joined at random, so that one kind's edge meets another's.
TEST(RedactionTest, RedactedTextIsFinal) {
    const char* const pieces[] = {"10.0.0.1", ".",   "5", "443", ":", "::",   "a",
                                  "@",        "b.c", " ", "[",   "]", "fe80", "AAAAAAAAAAAAAAAAAAAAAAAA",
                                  "x",        "==",  "0", "-"};
    std::mt19937 random(4242);
    for (int round = 0; round < 5000; ++round) {
        QString input;
        for (auto n = 1 + random() % 12; n > 0; --n)
            input += QLatin1StringView(pieces[random() % std::size(pieces)]);
        const auto once = redactPersonalData(input);
        ASSERT_EQ(redactPersonalData(once), once) << input.toStdString();
    }
}

// Redaction sees every line the session logs, including text that came off the network: broken UTF-16
// passes through, and long inputs take linear time.
TEST(RedactionTest, SurvivesHostileInputAndKeepsTextBeyondAsciiIntact) {
    const QString broken = QString(QChar(0xD800)) + u"10.0.0.1 caf\u00e9"_s + QChar(0xDC00);
    EXPECT_EQ(redactPersonalData(broken),
              QString(QChar(0xD800)) + redactionMark + u" caf\u00e9"_s + QChar(0xDC00));
    const QString longInputs[] = {u"1."_s.repeated(100'000), u"a.a@a.a"_s.repeated(50'000),
                                  u"x"_s.repeated(200'000) + u'@', u"1::"_s.repeated(100'000),
                                  QString(u'A').repeated(300'000)};
    for (const auto& input : longInputs)
        EXPECT_LT(redactPersonalData(input).size(), input.size() + 1) << input.left(10).toStdString();
}

} // namespace
