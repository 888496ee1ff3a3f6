#include "profiles/connection_log.hpp"

#include "profiles/redaction.hpp"
#include "support/manual_clock.hpp"
#include "support/memory_preferences.hpp"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace std::chrono_literals;
using namespace Qt::Literals::StringLiterals;
using tessaron::TessaronConnectionLog;
using tessaron::testing::ManualClock;
using tessaron::testing::MemoryPreferences;

namespace {

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

TEST_F(ConnectionLogTest, AppendRedactsStampsStoresAndNotifiesAndClearForgets) {
    TessaronConnectionLog log(preferences, clock);
    QSignalSpy changes(&log, &TessaronConnectionLog::entriesChanged);
    clock.advance(1500ms);
    log.append(QStringLiteral("dial 203.0.113.9:443"));

    const TessaronConnectionLog::Entry expected{
        clock.now(), QStringLiteral("dial ") + tessaron::redactionMark + QStringLiteral(":443")};
    EXPECT_EQ(log.entries(), TessaronConnectionLog::Entries{expected});
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes[0][0].value<TessaronConnectionLog::Entries>(), log.entries());
    EXPECT_FALSE(preferences.data(key)->contains("203.0.113.9")) << "only redacted text is stored";
    EXPECT_EQ(TessaronConnectionLog(preferences, clock).entries(), log.entries());

    log.clear();
    EXPECT_TRUE(log.entries().isEmpty());
    EXPECT_EQ(changes.count(), 2);
    EXPECT_FALSE(preferences.keys().contains(key));
}

TEST_F(ConnectionLogTest, KeepsTheNewest300WhenAppendingAndWhenRestoringAnOverlongLog) {
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
}

TEST_F(ConnectionLogTest, AStoredValueThatDoesNotDecodeGivesAnEmptyLog) {
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

TEST_F(ConnectionLogTest, ExportsLocalTimesToTheMillisecond) {
    const ScopedTimeZone zone("XST-05:45");
    TessaronConnectionLog log(preferences, clock);
    EXPECT_EQ(log.exportText(), u"");

    clock.advance(7ms);
    log.append(QStringLiteral("connect tapped"));
    clock.advance(18h + 14min + 59s + 993ms);
    log.append(QStringLiteral("tunnel phase: blocked"));

    // The manual clock starts at midnight UTC; the zone is 5:45 ahead.
    EXPECT_EQ(log.exportText(), u"05:45:00.007  connect tapped\n"
                                u"00:00:00.000  tunnel phase: blocked");
}

} // namespace
