#include "platform/json_file_preferences.hpp"
#include "platform/system_log.hpp"
#include "support/manual_clock.hpp"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QUrl>

#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>

using tessaron::JsonFilePreferences;
using tessaron::Preferences;
using tessaron::SystemLog;
using tessaron::testing::ManualClock;

namespace {

class JsonFilePreferencesTest : public ::testing::Test {
protected:
    QString path() const { return directory_.filePath(QStringLiteral("suite.json")); }
    JsonFilePreferences open() const { return JsonFilePreferences(path(), clock_); }

    void writeFile(const QByteArray& contents) const {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QTemporaryDir directory_;
    ManualClock clock_;
    SystemLog::Capture log_;
};

// Equal values of the same stored type, element by element: QVariant's own == would let an integer that
// came back as a double pass.
void expectSameTyped(const QVariant& actual, const QVariant& expected, const QString& where) {
    ASSERT_EQ(Preferences::typeOf(actual), Preferences::typeOf(expected)) << where.toStdString();
    if (Preferences::typeOf(expected) == Preferences::Type::array) {
        const auto actualList = actual.toList(), expectedList = expected.toList();
        ASSERT_EQ(actualList.size(), expectedList.size()) << where.toStdString();
        for (qsizetype i = 0; i < expectedList.size(); ++i)
            expectSameTyped(actualList[i], expectedList[i], where + QStringLiteral("[%1]").arg(i));
    } else if (Preferences::typeOf(expected) == Preferences::Type::dictionary) {
        const auto actualMap = actual.toMap(), expectedMap = expected.toMap();
        ASSERT_EQ(actualMap.keys(), expectedMap.keys()) << where.toStdString();
        for (const auto& key : expectedMap.keys())
            expectSameTyped(actualMap[key], expectedMap[key], where + QLatin1Char('.') + key);
    } else {
        EXPECT_EQ(actual, expected) << where.toStdString();
    }
}

TEST_F(JsonFilePreferencesTest, KeepsEveryValueAndItsTypeAcrossANewInstance) {
    const QDateTime withMilliseconds(QDate(2026, 3, 4), QTime(5, 6, 7, 89), QTimeZone(3600));
    const QVariantMap values{
        {QStringLiteral("no"), false},
        {QStringLiteral("largest"), std::numeric_limits<qint64>::max()},
        {QStringLiteral("beyondDoublePrecision"), (qint64(1) << 53) + 1},
        {QStringLiteral("fraction"), 0.1},
        {QStringLiteral("infinite"), std::numeric_limits<double>::infinity()},
        {QStringLiteral("empty"), QString()},
        {QStringLiteral("textFalse"), QStringLiteral("false")},
        {QStringLiteral("textOne"), QStringLiteral("1")},
        {QStringLiteral("data"), QByteArray("\0a\0\xff\n", 5)},
        {QStringLiteral("date"), withMilliseconds},
        {QStringLiteral("nested"), QVariantList{1, QStringLiteral("two"), QVariantList{false, 2.5},
                                                QVariantMap{{QStringLiteral("when"), withMilliseconds}}}},
        {QStringLiteral("dictionary"),
         QVariantMap{{QStringLiteral("inner"), QVariantMap{{QStringLiteral("bytes"), QByteArray(3, '\0')},
                                                           {QStringLiteral("list"), QVariantList{}}}}}},
    };
    {
        auto writer = open();
        for (auto it = values.begin(); it != values.end(); ++it)
            writer.setValue(it.key(), it.value());
    }

    const auto reader = open();
    EXPECT_EQ(reader.keys(), values.keys());
    for (auto it = values.begin(); it != values.end(); ++it)
        expectSameTyped(reader.value(it.key()), Preferences::normalized(it.value()), it.key());
    // Text that looks like another type stays text.
    EXPECT_EQ(reader.boolean(QStringLiteral("textFalse")), std::nullopt);
    EXPECT_EQ(reader.integer(QStringLiteral("textOne")), std::nullopt);
    EXPECT_TRUE(log_.lines().isEmpty());
}

// A file that is not a JSON object is set aside whole; one that is loses only the entries it cannot
// decode, and a copy of the original is kept.
TEST_F(JsonFilePreferencesTest, DamageCostsOnlyWhatCannotBeReadAndTheOriginalIsKeptAside) {
    const struct {
        const char* damage;
        QByteArray contents;
        QStringList kept;
        // Entries dropped one by one; none when the whole file is set aside.
        int dropped = 0;
    } damages[] = {
        {"not JSON", "{\"a\": {\"type\": \"text\"", {}},
        {"not an object", "[1, 2, 3]", {}},
        {"entry that is not tagged",
         R"({"a": true, "ok": {"type": "text", "value": "x"}, "b": 1})",
         {"ok"},
         2},
        {"integer as a JSON number", R"({"a": {"type": "integer", "value": 5}})", {}, 1},
        {"integer beyond 64 bits",
         R"({"ok": {"type": "boolean", "value": true}, "a": {"type": "integer", "value": "9223372036854775808"}})",
         {"ok"},
         1},
        {"bad element deep inside",
         R"({"ok": {"type": "text", "value": "x"}, "a": {"type": "array", "value": [)"
         R"({"type": "dictionary", "value": {"b": {"type": "number", "value": "many"}}}]}})",
         {"ok"},
         1},
    };
    // Each damage at the same moment gets a copy of its own.
    const auto asideBase = QStringLiteral("suite.json.damaged-20260101T000000.000Z");
    QStringList aside;
    for (const auto& [damage, contents, kept, dropped] : damages) {
        SCOPED_TRACE(damage);
        writeFile(contents);
        const auto linesBefore = log_.lines().size();

        auto preferences = open();
        EXPECT_EQ(preferences.keys(), kept);
        aside.append(aside.isEmpty() ? asideBase : asideBase + QStringLiteral("-%1").arg(aside.size() + 1));
        QFile copy(directory_.filePath(aside.last()));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
        EXPECT_EQ(copy.readAll(), contents);
        // Reported once: the bad entries are gone from the file, and a second reader finds nothing amiss.
        EXPECT_EQ(open().keys(), kept);
        EXPECT_EQ(log_.lines().size() - linesBefore, dropped + 1)
            << log_.messages().join(u'\n').toStdString();
        EXPECT_EQ(QDir(directory_.path()).entryList({QStringLiteral("*.damaged-*")}, QDir::Files, QDir::Name),
                  aside);

        preferences.setValue(QStringLiteral("fresh"), true);
        EXPECT_EQ(open().boolean(QStringLiteral("fresh")), true);
    }
}

TEST_F(JsonFilePreferencesTest, SeesAndKeepsWhatAnotherWriterStored) {
    auto ours = open();
    auto theirs = open();
    ours.setValue(QStringLiteral("ours"), 1);
    EXPECT_EQ(theirs.integer(QStringLiteral("ours")), 1);

    // Both have read the file; a write from each must keep the other's latest keys and removals.
    theirs.setValue(QStringLiteral("theirs"), QStringLiteral("changed"));
    ours.setValue(QStringLiteral("more"), 2.5);
    theirs.remove(QStringLiteral("ours"));

    const auto later = open();
    EXPECT_EQ(later.keys(), (QStringList{QStringLiteral("more"), QStringLiteral("theirs")}));
    EXPECT_EQ(later.text(QStringLiteral("theirs")), QStringLiteral("changed"));
    EXPECT_EQ(ours.keys(), later.keys());
}

TEST_F(JsonFilePreferencesTest, RefusesAValueThatCannotBeStoredAndKeepsTheOldOne) {
    const std::pair<const char*, QVariant> refused[] = {
        {"URL", QUrl(QStringLiteral("https://example.org"))},
        {"unsigned beyond qint64", QVariant::fromValue(std::numeric_limits<quint64>::max())},
        {"dictionary holding a far date",
         QVariantMap{{QStringLiteral("ok"), 1},
                     {QStringLiteral("far"), QDateTime(QDate(12000, 1, 1), QTime(0, 0), Qt::UTC)}}},
    };
    auto preferences = open();
    preferences.setValue(QStringLiteral("key"), QStringLiteral("before"));
    for (const auto& [kind, value] : refused) {
        SCOPED_TRACE(kind);
        EXPECT_THROW(preferences.setValue(QStringLiteral("key"), value), std::invalid_argument);
        EXPECT_THROW(preferences.setValue(QStringLiteral("new"), value), std::invalid_argument);
        EXPECT_EQ(open().keys(), QStringList{QStringLiteral("key")});
        EXPECT_EQ(preferences.text(QStringLiteral("key")), QStringLiteral("before"));
    }
}

} // namespace
