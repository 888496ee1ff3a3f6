#include "profiles/connection_log.hpp"
#include "profiles/redaction.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <regex>
#include <string>

namespace tessaron::testing {
namespace {

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;

const QString key = TessaronConnectionLog::storageKey;

// Sets the process time zone for one test, so that local times are known.
struct ScopedTimeZone {
    explicit ScopedTimeZone(const char* zone) { qputenv("TZ", zone), tzset(); }
    ~ScopedTimeZone() { previous ? qputenv("TZ", *previous) : qunsetenv("TZ"), tzset(); }
    const std::optional<QByteArray> previous =
        qEnvironmentVariableIsSet("TZ") ? std::optional(qgetenv("TZ")) : std::nullopt;
};

class ConnectionLogTest : public ::testing::Test {
protected:
    MemoryPreferences preferences;
    ManualClock clock;
};

TEST_F(ConnectionLogTest, AppendRedactsStampsStoresAndNotifiesExportLocalisesAndClearForgets) {
    const ScopedTimeZone zone("XST-05:45");
    TessaronConnectionLog log(preferences, clock);
    EXPECT_EQ(log.exportText(), u"");
    QSignalSpy changes(&log, &TessaronConnectionLog::entriesChanged);
    clock.advance(7ms);
    log.append(u"dial 203.0.113.9:443"_s);

    const TessaronConnectionLog::Entry expected{clock.now(), "dial " + redactionMark + ":443"};
    EXPECT_EQ(log.entries(), TessaronConnectionLog::Entries{expected});
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].value<TessaronConnectionLog::Entries>(), log.entries());
    EXPECT_FALSE(preferences.data(key)->contains("203.0.113.9")) << "only redacted text is stored";
    EXPECT_EQ(TessaronConnectionLog(preferences, clock).entries(), log.entries());

    clock.advance(18h + 14min + 59s + 993ms);
    log.append(u"tunnel phase: blocked"_s);
    // Local times to the millisecond: the manual clock starts at midnight UTC; the zone is 5:45 ahead.
    EXPECT_EQ(log.exportText(),
              "05:45:00.007  dial " + redactionMark + ":443\n00:00:00.000  tunnel phase: blocked");

    log.clear();
    EXPECT_TRUE(log.entries().isEmpty());
    EXPECT_EQ(changes.count(), 3);
    EXPECT_FALSE(preferences.keys().contains(key));
}

TEST_F(ConnectionLogTest, KeepsTheNewest300AndRestoresNothingFromAStoredValueThatDoesNotDecode) {
    TessaronConnectionLog log(preferences, clock);
    for (int n = 0; n < 302; ++n)
        log.append(QStringLiteral("event %1").arg(n));
    ASSERT_EQ(log.entries().size(), 300);
    EXPECT_EQ(std::pair(log.entries().front().text, log.entries().back().text),
              std::pair(u"event 2"_s, u"event 301"_s));

    QByteArray stored = "[";
    for (int n = 0; n < 310; ++n)
        stored += QStringLiteral(R"(%1{"at":%2.5,"text":"e%2"})").arg(n ? "," : "").arg(n).toUtf8();
    preferences.setValue(key, stored + "]");
    const TessaronConnectionLog restored(preferences, clock);
    ASSERT_EQ(restored.entries().size(), 300);
    EXPECT_EQ(restored.entries().front(),
              (TessaronConnectionLog::Entry{QDateTime::fromMSecsSinceEpoch(10'500, Qt::UTC), u"e10"_s}));

    // A stored value that does not decode gives an empty log.
    const QVariant values[] = {
        QByteArray("[{\"at\":1,\"text\":\"ok\"}"),
        QByteArray("[{\"at\":1,\"text\":\"ok\"},{\"at\":\"1\",\"text\":\"bad\"}]"),
        QByteArray("[{\"at\":1e300,\"text\":\"far\"}]"),
        QByteArray(100'000, '['),
        QStringLiteral("[{\"at\":1,\"text\":\"as text\"}]"),
    };
    for (const auto& value : values) {
        preferences.setValue(key, value);
        EXPECT_TRUE(TessaronConnectionLog(preferences, clock).entries().isEmpty())
            << value.toByteArray().left(40).toStdString();
    }
}

// A new line adds its own stored form to the others' rather than encoding the log anew; the value stays the
// compact JSON array of {at, text} that every build reads, through restores, drops at capacity and Clear.
TEST_F(ConnectionLogTest, TheStoredValueIsTheWholeLogsArrayAfterEveryChange) {
    const auto wholeLog = [](const TessaronConnectionLog::Entries& entries) {
        QJsonArray array;
        for (const auto& entry : entries)
            array.append(
                QJsonObject{{"at", double(entry.at.toMSecsSinceEpoch()) / 1000}, {"text", entry.text}});
        return QJsonDocument(array).toJson(QJsonDocument::Compact);
    };
    auto log = std::make_unique<TessaronConnectionLog>(preferences, clock);
    // Whether the log is restored from the store first, then the lines appended (-1: Clear).
    const std::pair<bool, int> steps[] = {{false, 1}, {true, 2},   {false, 299},
                                          {true, 5},  {false, -1}, {true, 1}};
    int next = 0;
    for (const auto& [restore, lines] : steps) {
        if (restore)
            log = std::make_unique<TessaronConnectionLog>(preferences, clock);
        if (lines < 0)
            log->clear();
        for (int n = 0; n < lines; ++n) {
            clock.advance(1'234ms);
            log->append(QStringLiteral("line \"%1\" \u00fc\\").arg(next++));
        }
        EXPECT_EQ(preferences.data(key).value_or(QByteArray()),
                  lines < 0 ? QByteArray() : wholeLog(log->entries()))
            << next;
    }
    EXPECT_EQ(log->entries().size(), 1);
}

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
        // A redacted run frees the IPv6 next to it, which the following pass takes.
        {"to ::AAAAAAAAAAAAAAAAAAAAAAAA end", "to ## end"},
        // e-mail
        {"user jane.doe+vpn@mail.example.co.uk signed in", "user # signed in"},
        {"to a@b.c.", "to #."},
        {"local only me@localhost", "local only me@localhost"},
        {"empty label a@b..c", "empty label a@b..c"},
        {"two a@b.c,d@e.f", "two #,#"},
        // base64-like runs: 24 characters and up to two "=" go
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
} // namespace tessaron::testing
